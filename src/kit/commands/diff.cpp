// surgekit diff: how far the surge moves between two coefficient sets, over a
// grid of the storms the curves were fitted for, location by location.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
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
#include "kit/studies/parallel.h"
#include "kit/studies/set_change.h"
#include "model/surge.h"

namespace kit {
namespace {

constexpr const char* kWho = "surgekit diff";

// A whole-number limit, or a span of them, as an option bound.
constexpr int whole(double limit) { return static_cast<int>(limit); }

struct DiffOptions {
  std::string old_dir, new_dir;
  SetChangeGrid grid;
  double tolerance_m = 0;
  int threads = 0;  // 0: one per core
};

// "location 3", "locations 2, 5" or "every location".
std::string locations_text(const std::vector<int>& locations) {
  if (locations.size() == static_cast<size_t>(surge::kLocations)) return "every location";
  std::string text = locations.size() == 1 ? "location " : "locations ";
  for (size_t i = 0; i < locations.size(); ++i) {
    text += (i > 0 ? ", " : "") + std::to_string(locations[i]);
  }
  return text;
}

// Writes the table; false when standard output cannot be written.
bool write_changes(const std::vector<LocationChange>& changes, Sink& sink) {
  OutputFile file;
  if (!open_output("-", &file, sink)) return false;
  CsvWriter out(file.stream());
  for (const char* name :
       {"location", "largest_change_m", "old_surge_m", "new_surge_m", "pressure_mb", "radius_km",
        "distance_km", "x", "curve", "cases", "changed_cases", "nonfinite_cases"}) {
    out.field(name);
  }
  out.end_row();
  for (int location = 1; location <= surge::kLocations; ++location) {
    const LocationChange& c = changes[location];
    out.number(location);
    if (c.found) {
      // Signed: new minus old at the case of the largest change.
      out.number(c.new_result.surge_m - c.old_result.surge_m);
      out.number(c.old_result.surge_m);
      out.number(c.new_result.surge_m);
      out.number(c.at.pressure_mb);
      out.number(c.at.radius_km);
      out.number(c.at.distance_km);
      out.number(c.new_result.x);
      out.field(curve_name(c.new_result.curve));
    } else {  // no finite change to point at: 0, or NaN when every change is non-finite
      out.number(c.changed > 0 ? std::nan("") : 0.0);
      for (int i = 0; i < 7; ++i) out.field("");
    }
    out.number(static_cast<double>(c.cases));
    out.number(static_cast<double>(c.changed));
    out.number(static_cast<double>(c.nonfinite));
    out.end_row();
  }
  out.flush();
  if (!commit_output(&file, sink)) return false;
  std::vector<int> unchanged, only_nonfinite;
  for (int location = 1; location <= surge::kLocations; ++location) {
    const LocationChange& c = changes[location];
    if (c.nonfinite > 0) {
      sink.note("location " + std::to_string(location) + ": " +
                counted(static_cast<long long>(c.nonfinite), "case") +
                " where a set gives an infinite or NaN surge (left out of largest_change_m)");
    }
    if (!c.found) (c.changed == 0 ? unchanged : only_nonfinite).push_back(location);
  }
  // The case fields are empty where there is no finite change to point at.
  if (!only_nonfinite.empty()) {
    sink.note("no finite change at " + locations_text(only_nonfinite) +
              ", so largest_change_m is nan and the fields of the case are empty");
  }
  if (!unchanged.empty()) {
    sink.note("no case changes at " + locations_text(unchanged) +
              ", so largest_change_m is 0 and the fields of the case are empty");
  }
  return true;
}

// Whether the sets differ beyond the tolerance: a finite change larger than
// it, or a case where only one set's surge is finite or the non-finite ones differ.
int locations_beyond(const std::vector<LocationChange>& changes, double tolerance_m) {
  int count = 0;
  for (int location = 1; location <= surge::kLocations; ++location) {
    const LocationChange& c = changes[location];
    if ((c.found && c.largest > tolerance_m) || c.nonfinite > 0) ++count;
  }
  return count;
}

int diff_sets(const DiffOptions& options, const CommonOptions& common) {
  Sink sink(kWho);
  CoefficientSet old_set, new_set;
  const bool old_ok = load_coefficient_set(options.old_dir, common.strict, sink, &old_set);
  const bool new_ok = load_coefficient_set(options.new_dir, common.strict, sink, &new_set);
  if (!old_ok || !new_ok) return sink.status();
  const std::vector<LocationChange> changes =
      compare_sets(old_set.table, new_set.table, options.grid,
                   options.threads > 0 ? options.threads : default_thread_count());
  if (!write_changes(changes, sink)) return sink.status();
  const int beyond = locations_beyond(changes, options.tolerance_m);
  if (beyond > 0) {
    sink.summary("the sets differ by more than " + shortest_text(options.tolerance_m) + " m at " +
                 counted(beyond, "location"));
    return sink.status() == kStatusOk ? kStatusFindings : sink.status();
  }
  return sink.status();
}

}  // namespace

CommandEntry define_diff(CLI::App& sub, const CommonOptions& common) {
  auto options = std::make_shared<DiffOptions>();
  sub.add_option("old", options->old_dir, "folder of the old coefficient files")
      ->required()
      ->check(CLI::ExistingDirectory);
  sub.add_option("new", options->new_dir, "folder of the new coefficient files")
      ->required()
      ->check(CLI::ExistingDirectory);
  sub.add_option("--pressure-step", options->grid.pressure_step_mb, "grid step of the pressure, mb")
      ->capture_default_str()
      ->check(CLI::Range(1, whole(kFittedPressureMaxMb - kFittedPressureMinMb)));
  sub.add_option("--radius-step", options->grid.radius_step_km, "grid step of the radius, km")
      ->capture_default_str()
      ->check(CLI::Range(1, whole(kFittedRadiusMaxKm - kFittedRadiusMinKm)));
  sub.add_option("--distance-step", options->grid.distance_step_km, "grid step of the distance, km")
      ->capture_default_str()
      ->check(real_range_validator(0.1, 1000));
  sub.add_option("--tolerance", options->tolerance_m,
                 "largest change of the surge, m, that still counts as no difference")
      ->capture_default_str()
      ->check(non_negative_validator());
  add_threads_option(sub, &options->threads);
  // The two folders are the arguments: the shared --data has nothing to name,
  // so the parser refuses it rather than ignore it.
  sub.remove_option(sub.get_option("--data"));
  sub.footer(
      "Exit status 1 when the sets differ by more than --tolerance at some location.\n"
      "For each location, the largest change of the surge between the two sets over\n"
      "pressures " +
      whole_text(kFittedPressureMinMb) + "-" + whole_text(kFittedPressureMaxMb) + " mb, radii " +
      whole_text(kFittedRadiusMinKm) + "-" + whole_text(kFittedRadiusMaxKm) +
      " km and distances that put X between " + whole_text(surge::kRightFrom) + "\nand " +
      whole_text(surge::kTailTo) +
      ", with the case where it happens, as CSV on stdout. The folders are\n"
      "the arguments.\n"
      "Example: surgekit diff examples refit");
  return [options, &common] { return diff_sets(*options, common); };
}

}  // namespace kit
