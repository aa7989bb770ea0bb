// surgekit diff: how far the surge moves between two coefficient sets, over a
// grid of the storms the curves were fitted for, location by location.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "kit/cases.h"
#include "kit/coefficients.h"
#include "kit/commands.h"
#include "kit/selection.h"
#include "kit/csv.h"
#include "kit/fp_environment.h"
#include "model/surge.h"

namespace kit {
namespace {

struct DiffOptions {
  std::string old_dir, new_dir;
  int pressure_step_mb = 5;
  int radius_step_km = 1;
  double distance_step_km = 1;
  int threads = 0;  // 0: one per core
};

// The grid: pressures 890 to 960 mb and radii 11 to 65 km (both ends always
// included), and for each radius the distances, in steps, that put the
// unshifted X = d / R - a between -6 and 25.
constexpr int kLowestPressureMb = 890, kHighestPressureMb = 960;
constexpr int kSmallestRadiusKm = 11, kLargestRadiusKm = 65;
constexpr double kLowestX = -6, kHighestX = 25;
const double kOffsetFactor = static_cast<double>(0.834f);  // a: the distance origin, in radii

std::vector<int> steps(int first, int last, int step) {
  std::vector<int> values;
  for (int v = first; v < last; v += step) values.push_back(v);
  values.push_back(last);
  return values;
}

// What one location's comparison found.
struct LocationChange {
  double largest = 0;  // the largest |new - old| where both are finite
  bool found = false;  // a finite pair exists
  surge::StormCase at{};
  surge::CaseResult old_result{}, new_result{};
  uint64_t cases = 0;
  uint64_t changed = 0;    // cases whose surge differs in any bit
  uint64_t nonfinite = 0;  // cases where either surge is an infinity or NaN, and they differ
};

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

LocationChange compare_location(int location, const surge::SiteTable& old_table,
                                const surge::SiteTable& new_table, const DiffOptions& options) {
  LocationChange change;
  for (int pressure : steps(kLowestPressureMb, kHighestPressureMb, options.pressure_step_mb)) {
    for (int radius : steps(kSmallestRadiusKm, kLargestRadiusKm, options.radius_step_km)) {
      const double step = options.distance_step_km;
      const double first = std::ceil((kLowestX + kOffsetFactor) * radius / step);
      const double last = std::floor((kHighestX + kOffsetFactor) * radius / step);
      for (double k = first; k <= last; k += 1) {
        const surge::StormCase storm{location, static_cast<double>(pressure),
                                     static_cast<double>(radius), k * step};
        const surge::CaseResult a = surge::evaluate_surge(storm, old_table);
        const surge::CaseResult b = surge::evaluate_surge(storm, new_table);
        ++change.cases;
        if (same_bits(a.surge_m, b.surge_m)) continue;
        ++change.changed;
        if (!std::isfinite(a.surge_m) || !std::isfinite(b.surge_m)) {
          ++change.nonfinite;
          continue;
        }
        const double delta = std::fabs(b.surge_m - a.surge_m);
        if (!change.found || delta > change.largest) {
          change.found = true;
          change.largest = delta;
          change.at = storm;
          change.old_result = a;
          change.new_result = b;
        }
      }
    }
  }
  return change;
}

// Locations are independent: threads take them in turn, each with the
// model's floating-point setting, and each result has its own slot.
std::vector<LocationChange> compare_sets(const surge::SiteTable& old_table,
                                         const surge::SiteTable& new_table,
                                         const DiffOptions& options) {
  std::vector<LocationChange> changes(surge::kLocations + 1);
  unsigned threads = options.threads > 0 ? static_cast<unsigned>(options.threads)
                                         : std::max(1u, std::thread::hardware_concurrency());
  threads = std::min<unsigned>(threads, surge::kLocations);
  auto work = [&](unsigned first) {
    use_model_fp_environment();
    for (int location = 1 + static_cast<int>(first); location <= surge::kLocations;
         location += static_cast<int>(threads)) {
      changes[location] = compare_location(location, old_table, new_table, options);
    }
  };
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work, t);
  work(0);
  for (std::thread& thread : pool) thread.join();
  return changes;
}

void write_changes(const std::vector<LocationChange>& changes) {
  CsvWriter out(stdout);
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
      out.number(c.largest);
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
  for (int location = 1; location <= surge::kLocations; ++location) {
    if (changes[location].nonfinite == 0) continue;
    std::fprintf(stderr,
                 "surgekit diff: location %d: %llu cases where a set gives an infinite or NaN "
                 "surge (left out of largest_change_m)\n",
                 location, static_cast<unsigned long long>(changes[location].nonfinite));
  }
}

int diff_sets(const DiffOptions& options) {
  CoefficientSet old_set, new_set;
  const bool old_ok = load_coefficients(options.old_dir, &old_set);
  const bool new_ok = load_coefficients(options.new_dir, &new_set);
  if (!old_ok || !new_ok) return kStatusFindings;
  write_changes(compare_sets(old_set.table, new_set.table, options));
  return kStatusOk;
}

}  // namespace

CommandEntry define_diff(CLI::App& sub, const CommonOptions&) {
  auto options = std::make_shared<DiffOptions>();
  sub.add_option("old", options->old_dir, "folder of the old coefficient files")
      ->required()
      ->check(CLI::ExistingDirectory);
  sub.add_option("new", options->new_dir, "folder of the new coefficient files")
      ->required()
      ->check(CLI::ExistingDirectory);
  sub.add_option("--pressure-step", options->pressure_step_mb, "grid step of the pressure, mb")
      ->capture_default_str()
      ->check(CLI::Range(1, 70));
  sub.add_option("--radius-step", options->radius_step_km, "grid step of the radius, km")
      ->capture_default_str()
      ->check(CLI::Range(1, 54));
  sub.add_option("--distance-step", options->distance_step_km, "grid step of the distance, km")
      ->capture_default_str()
      ->check(CLI::Range(0.1, 1000.0));
  add_threads_option(sub, &options->threads);
  sub.footer(
      "For each location, the largest change of the surge between the two sets over\n"
      "pressures 890-960 mb, radii 11-65 km and distances that put X between -6\n"
      "and 25, with the case where it happens, as CSV on stdout. The folders are\n"
      "the arguments; --data is not used.\n"
      "Example: surgekit diff examples refit");
  return [options] { return diff_sets(*options); };
}

}  // namespace kit
