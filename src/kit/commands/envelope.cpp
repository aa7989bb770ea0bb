// surgekit envelope: for every location and pressure, the worst surge over
// landfall distance and radius (a maximum of envelopes).
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "kit/core/limits.h"
#include "kit/core/names.h"
#include "kit/files/cases.h"
#include "kit/coefficients/coefficients.h"
#include "kit/commands/commands.h"
#include "kit/commands/shared.h"
#include "kit/files/csv.h"
#include "kit/page/plots.h"
#include "kit/studies/curves.h"
#include "kit/studies/landfall.h"
#include "kit/files/output_file.h"
#include "kit/core/selection.h"
#include "kit/page/svg_plot.h"

namespace kit {
namespace {

constexpr const char* kWho = "surgekit envelope";

struct EnvelopeOptions {
  std::string pressures = range_text(kFittedPressureMinMb, kFittedPressureMaxMb, 10);
  std::string radius_range = range_text(kFittedRadiusMinKm, kFittedRadiusMaxKm);
  std::string location = "all";
  std::string svg_file;
  std::string output = "-";
};

int run_envelope(const EnvelopeOptions& options, const CommonOptions& common) {
  std::vector<int> locations, pressures, radii;
  parse_locations(options.location, &locations);
  parse_integer_range(options.pressures, &pressures);
  parse_integer_range(options.radius_range, &radii);
  refuse_shared_stdout(options.output, "the table (-o)", options.svg_file, "--svg");
  Sink sink(kWho);
  OutputFile table, plot;
  if (!open_table_and_plot(options.output, options.svg_file, &table, &plot, sink)) {
    return sink.status();
  }
  CoefficientSet set;
  if (!load_coefficient_set(common.data_dir, common.strict, sink, &set)) return sink.status();

  const std::vector<double> pressures_mb(pressures.begin(), pressures.end());
  const auto rows = envelope_table(set.table, locations, pressures_mb, radii);

  CsvWriter csv(table.stream());
  for (const char* name : {"location", "pressure_mb", "surge_m"}) csv.field(name);
  for (const char* name : kWorstColumns) csv.field(name);
  csv.end_row();
  for (size_t i = 0; i < locations.size(); ++i) {
    for (size_t p = 0; p < pressures.size(); ++p) {
      const WorstLandfall& w = rows[i][p];
      csv.number(locations[i]);
      csv.number(pressures[p]);
      csv.fixed(w.result.surge_m, 3);
      write_worst_columns(csv, w);
      csv.end_row();
    }
  }
  csv.flush();
  if (!commit_output(&table, sink)) return sink.status();
  if (!options.svg_file.empty()) {
    std::string svg;
    append_cell_grid(&svg, envelope_grid(locations, pressures, rows, options.radius_range));
    if (!finish_output(&plot, svg, sink)) return sink.status();
  }
  return sink.status();
}

}  // namespace

CommandEntry define_envelope(CLI::App& sub, const CommonOptions& common) {
  auto options = std::make_shared<EnvelopeOptions>();
  sub.add_option("--pressures", options->pressures,
                 "central pressures, FIRST:LAST or FIRST:LAST:STEP (mb, below " +
                     whole_text(kNoDeficitPressureMb) +
                     "); a step that misses LAST still ends at LAST")
      ->capture_default_str()
      ->check(pressure_range_validator("FIRST:LAST[:STEP]"));
  sub.add_option("--radius-range", options->radius_range,
                 "integer radii searched, FIRST:LAST or FIRST:LAST:STEP (km, 1 or more)")
      ->capture_default_str()
      ->check(radius_range_validator("FIRST:LAST[:STEP]"));
  sub.add_option("--location", options->location, "location number or \"all\"")
      ->capture_default_str()
      ->check(location_validator());
  sub.add_option("--svg", options->svg_file,
                 "also draw the table as coloured cells in this SVG file (- for standard output, "
                 "with -o sending the table to a file)");
  sub.add_option("-o,--output", options->output, "where to write the table, - for standard output")
      ->capture_default_str();
  sub.footer("Example: surgekit envelope --data examples --pressures 890:960:10 --svg envelope.svg\n"
             "Prints location,pressure_mb,surge_m,distance_km,radius_km,side,curve.");
  return [options, &common] { return run_envelope(*options, common); };
}

}  // namespace kit
