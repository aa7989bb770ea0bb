// How far the surge moves between two coefficient sets, over a grid of the
// storms the curves were fitted for, location by location.
#ifndef SURGE_KIT_STUDIES_SET_CHANGE_H_
#define SURGE_KIT_STUDIES_SET_CHANGE_H_

#include <cstdint>
#include <vector>

#include "model/site_table.h"
#include "model/surge.h"

namespace kit {

// The grid: the fitted pressures and radii in these steps (both ends always
// included), and for each radius the distances, in steps, that put the
// unshifted X = d / R - a within the curves' ranges.
struct SetChangeGrid {
  int pressure_step_mb = 5;    // > 0
  int radius_step_km = 1;      // > 0
  double distance_step_km = 1; // > 0
};

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

// Element [location] for locations 1 to 20 (element 0 unused), computed on up
// to `threads` threads; the outcome does not depend on the thread count.
std::vector<LocationChange> compare_sets(const surge::SiteTable& old_table,
                                         const surge::SiteTable& new_table,
                                         const SetChangeGrid& grid, int threads);

}  // namespace kit

#endif  // SURGE_KIT_STUDIES_SET_CHANGE_H_
