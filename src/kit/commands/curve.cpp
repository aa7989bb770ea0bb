// surgekit curve: surge, side, curve and X along landfall distance, as CSV and
// optionally as a plot.
#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "kit/coefficients/coefficients.h"
#include "kit/commands/commands.h"
#include "kit/commands/shared.h"
#include "kit/core/limits.h"
#include "kit/core/names.h"
#include "kit/core/number.h"
#include "kit/core/selection.h"
#include "kit/files/cases.h"
#include "kit/files/csv.h"
#include "kit/files/output_file.h"
#include "kit/page/plots.h"
#include "kit/page/svg_plot.h"
#include "kit/studies/curves.h"
#include "kit/studies/landfall.h"
#include "model/surge.h"

namespace kit {
namespace {

constexpr const char* kWho = "surgekit curve";

constexpr double kMaxPoints = 1e6;  // per location

// Refuses (a UsageError naming --step) a grid of more than kMaxPoints
// distances.
void check_grid_size(const DistanceGrid& grid) {
  if ((grid.to - grid.from) / grid.step + 1 > kMaxPoints) {
    throw UsageError{"--step: " + significant_text(grid.step, 6) + " km gives more than a "
                     "million distances from " + significant_text(grid.from, 6) + " to " +
                     significant_text(grid.to, 6) + " km: take a larger --step"};
  }
}

struct CurveOptions {
  std::string location;
  double pressure_mb = 0;
  double radius_km = 0;
  double from_km = NAN, to_km = NAN, step_km = NAN;
  std::string svg_file;
  std::string output = "-";
};

int run_curve(const CurveOptions& options, const CommonOptions& common) {
  std::vector<int> locations;
  parse_locations(options.location, &locations);
  refuse_shared_stdout(options.output, "the table (-o)", options.svg_file, "--svg");
  if (!std::isnan(options.from_km) && !std::isnan(options.to_km) && options.from_km > options.to_km) {
    throw UsageError{"--from must not exceed --to"};
  }
  // With both ends given the grid is known before the coefficients are read.
  if (!std::isnan(options.from_km) && !std::isnan(options.to_km) && !std::isnan(options.step_km)) {
    check_grid_size(DistanceGrid{options.from_km, options.to_km, options.step_km});
  }
  Sink sink(kWho);
  OutputFile table, plot;
  if (!open_table_and_plot(options.output, options.svg_file, &table, &plot, sink)) {
    return sink.status();
  }
  CoefficientSet set;
  if (!load_coefficient_set(common.data_dir, common.strict, sink, &set)) return sink.status();

  DistanceGrid grid = default_distance_grid(set.table, locations, options.radius_km);
  if (!std::isnan(options.from_km)) grid.from = options.from_km;
  if (!std::isnan(options.to_km)) grid.to = options.to_km;
  if (!std::isnan(options.step_km)) grid.step = options.step_km;
  if (grid.from > grid.to) throw UsageError{"--from must not exceed --to"};
  check_grid_size(grid);
  const std::vector<double> distances = grid_distances(grid);

  std::vector<SurgeSeries> series;
  for (int location : locations) {
    series.push_back(SurgeSeries{
        "location " + std::to_string(location),
        sample_distances(set.table, location, options.pressure_mb, options.radius_km, distances)});
  }

  CsvWriter csv(table.stream());
  for (const char* name : {"location", "distance_km", "surge_m", "side", "curve", "x", "flags"}) {
    csv.field(name);
  }
  csv.end_row();
  for (size_t s = 0; s < series.size(); ++s) {
    for (size_t i = 0; i < distances.size(); ++i) {
      const surge::CaseResult& r = series[s].results[i];
      csv.number(locations[s]);
      csv.number(distances[i]);
      csv.number(r.surge_m);
      csv.field(side_name(r.side));
      csv.field(curve_name(r.curve));
      csv.number(r.x);
      csv.separate();
      append_case_flags(&csv.raw(),
                        surge::StormCase{locations[s], options.pressure_mb, options.radius_km,
                                         distances[i]},
                        r);
      csv.end_row();
    }
  }
  csv.flush();
  if (!commit_output(&table, sink)) return sink.status();

  if (!options.svg_file.empty()) {
    std::string storm;
    append_shortest(&storm, options.pressure_mb);
    storm += " mb, radius ";
    append_shortest(&storm, options.radius_km);
    storm += " km";
    std::string svg;
    if (locations.size() == 1) {
      append_line_plot(&svg, surge_plot("Surge along landfall distance, location " +
                                            std::to_string(locations[0]) + ", " + storm,
                                        locations[0], options.radius_km, distances, series));
    } else {
      // One small panel per location, on shared axes.
      SmallMultiples figure;
      figure.title = "Surge along landfall distance, " + storm;
      figure.x_label = kDistanceAxisName;
      figure.y_label = "surge (m)";
      for (size_t s = 0; s < series.size(); ++s) {
        LinePlot panel = surge_plot(series[s].name, locations[s], options.radius_km, distances,
                                    {series[s]});
        panel.series.front().name.clear();
        figure.panels.push_back(std::move(panel));
      }
      append_small_multiples(&svg, figure);
    }
    if (!finish_output(&plot, svg, sink)) return sink.status();
  }
  return sink.status();
}

}  // namespace

CommandEntry define_curve(CLI::App& sub, const CommonOptions& common) {
  auto options = std::make_shared<CurveOptions>();
  sub.add_option("--location", options->location, "location number or \"all\" (one series each)")
      ->required()
      ->check(location_validator());
  sub.add_option("--pressure", options->pressure_mb, "central pressure (mb)")
      ->required()
      ->check(pressure_validator());
  sub.add_option("--radius", options->radius_km, "radius to maximum winds (km)")
      ->required()
      ->check(radius_validator());
  sub.add_option("--from", options->from_km,
                 "first distance (km); default: where X is " + whole_text(surge::kRightFrom))
      ->check(real_range_validator(-1e6, 1e6));
  sub.add_option("--to", options->to_km,
                 "last distance (km); default: where X is " + whole_text(surge::kTailTo))
      ->check(real_range_validator(-1e6, 1e6));
  sub.add_option("--step", options->step_km,
                 "distance step (km); default: fine enough for the narrowest Gaussian")
      ->check(real_range_validator(1e-6, 1e6));
  sub.add_option("--svg", options->svg_file,
                 "also draw the curves into this SVG file (- for standard output, with -o "
                 "sending the table to a file)");
  sub.add_option("-o,--output", options->output, "where to write the table, - for standard output")
      ->capture_default_str();
  sub.footer("Example: surgekit curve --data examples --location 3 --pressure 930 --radius 30 "
             "--svg curve.svg\n"
             "Prints location,distance_km,surge_m,side,curve,x, one row per distance.");
  return [options, &common] { return run_curve(*options, common); };
}

}  // namespace kit
