// Comparing two coefficient sets case by case over the fitted storms.
#include "kit/studies/set_change.h"

#include <cmath>
#include <cstring>

#include "kit/core/limits.h"
#include "kit/studies/parallel.h"

namespace kit {
namespace {

std::vector<int> steps(int first, int last, int step) {
  std::vector<int> values;
  for (int v = first; v < last; v += step) values.push_back(v);
  values.push_back(last);
  return values;
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

LocationChange compare_location(int location, const surge::SiteTable& old_table,
                                const surge::SiteTable& new_table, const SetChangeGrid& grid) {
  LocationChange change;
  const auto pressures = steps(static_cast<int>(kFittedPressureMinMb),
                               static_cast<int>(kFittedPressureMaxMb), grid.pressure_step_mb);
  const auto radii = steps(static_cast<int>(kFittedRadiusMinKm),
                           static_cast<int>(kFittedRadiusMaxKm), grid.radius_step_km);
  for (int pressure : pressures) {
    for (int radius : radii) {
      const double step = grid.distance_step_km;
      const double first = std::ceil((surge::kRightFrom + surge::kDistanceOrigin) * radius / step);
      const double last = std::floor((surge::kTailTo + surge::kDistanceOrigin) * radius / step);
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

}  // namespace

std::vector<LocationChange> compare_sets(const surge::SiteTable& old_table,
                                         const surge::SiteTable& new_table,
                                         const SetChangeGrid& grid, int threads) {
  std::vector<LocationChange> changes(surge::kLocations + 1);
  for_each_index(threads, surge::kLocations, [&](size_t i) {
    const int location = static_cast<int>(i) + 1;
    changes[location] = compare_location(location, old_table, new_table, grid);
  });
  return changes;
}

}  // namespace kit
