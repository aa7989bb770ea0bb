// surgekit worst: per location, the landfall (and radius) that gives the
// largest surge for a pressure.
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
#include "kit/studies/landfall.h"
#include "kit/studies/parallel.h"
#include "kit/core/selection.h"
#include "kit/files/output_file.h"

namespace kit {
namespace {

constexpr const char* kWho = "surgekit worst";

struct WorstOptions {
  double pressure_mb = 0;
  double radius_km = 0;
  std::string radius_range = range_text(kFittedRadiusMinKm, kFittedRadiusMaxKm);
  std::string location = "all";
};

int run_worst(const WorstOptions& options, bool single_radius, const CommonOptions& common) {
  std::vector<int> locations, radii;
  parse_locations(options.location, &locations);
  parse_integer_range(options.radius_range, &radii);

  Sink sink(kWho);
  CoefficientSet set;
  if (!load_coefficient_set(common.data_dir, common.strict, sink, &set)) return sink.status();

  std::vector<WorstLandfall> worst(locations.size());
  for_each_parallel(locations.size(), [&](size_t i) {
    worst[i] = single_radius
                   ? worst_over_distance(set.table, locations[i], options.pressure_mb,
                                         options.radius_km)
                   : worst_over_radii(set.table, locations[i], options.pressure_mb, radii);
  });

  OutputFile table;
  if (!open_output("-", &table, sink)) return sink.status();
  CsvWriter csv(table.stream());
  csv.field("location");
  csv.field("surge_m");
  for (const char* name : kWorstColumns) csv.field(name);
  csv.end_row();
  for (size_t i = 0; i < locations.size(); ++i) {
    const WorstLandfall& w = worst[i];
    csv.number(locations[i]);
    csv.fixed(w.result.surge_m, 3);
    write_worst_columns(csv, w);
    csv.end_row();
  }
  csv.flush();
  commit_output(&table, sink);
  return sink.status();
}

}  // namespace

CommandEntry define_worst(CLI::App& sub, const CommonOptions& common) {
  auto options = std::make_shared<WorstOptions>();
  sub.add_option("--pressure", options->pressure_mb, "central pressure (mb)")
      ->required()
      ->check(pressure_validator());
  CLI::Option* radius = sub.add_option("--radius", options->radius_km,
                                       "radius to maximum winds (km); default: every integer "
                                       "radius of --radius-range")
                            ->check(radius_validator());
  sub.add_option("--radius-range", options->radius_range,
                 "integer radii searched, FIRST:LAST or FIRST:LAST:STEP (km, 1 or more)")
      ->capture_default_str()
      ->check(radius_range_validator("FIRST:LAST[:STEP]"))
      ->excludes(radius);
  sub.add_option("--location", options->location, "location number or \"all\"")
      ->capture_default_str()
      ->check(location_validator());
  sub.footer("Example: surgekit worst --data examples --pressure 930 --radius-range 11:65\n"
             "Prints location,surge_m,distance_km,radius_km,side,curve,x: the largest surge\n"
             "over every landfall distance (and radius), and where it occurs.");
  return [options, radius, &common] { return run_worst(*options, radius->count() > 0, common); };
}

}  // namespace kit
