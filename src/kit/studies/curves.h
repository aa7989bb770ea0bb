// Sampling the model along landfall distance and along X (for `curve` and the
// report).
#ifndef SURGE_KIT_STUDIES_CURVES_H_
#define SURGE_KIT_STUDIES_CURVES_H_

#include <string>
#include <vector>

#include "model/site_table.h"
#include "model/surge.h"

namespace kit {

// Distances from, from + step, ... up to to (km). Each is the double nearest
// the decimal it prints as, so a CSV reader gets back exactly what was
// evaluated.
struct DistanceGrid {
  double from = 0, to = 0, step = 1;
};
std::vector<double> grid_distances(const DistanceGrid& grid);

// The distances over which X runs from -6 to 25 for `radius_km`, in a 1-2-5
// step no coarser than 1/20 radius nor a fifth of the narrowest Gaussian
// width of the locations.
DistanceGrid default_distance_grid(const surge::SiteTable& table, const std::vector<int>& locations,
                                   double radius_km);

// The model at each distance, for one location and storm.
std::vector<surge::CaseResult> sample_distances(const surge::SiteTable& table, int location,
                                                double pressure_mb, double radius_km,
                                                const std::vector<double>& distances);

// The model along X at radius 100 km, where no small-radius shift applies, at
// X = k / 100 for each k from `first_hundredth` to `last_hundredth` (at
// least first_hundredth), for a storm of 1000 mb: each result's x, curve
// and response.
std::vector<surge::CaseResult> sample_response(const surge::SiteTable& table, int location,
                                               int first_hundredth, int last_hundredth);

// A location's response curves as the report draws them, at every
// hundredth of X: over all the fitted ranges, X from surge::kRightFrom to
// surge::kTailTo, and over the tail's alone, X above surge::kLeftTo up to
// surge::kTailTo.
struct ResponseCurves {
  std::vector<surge::CaseResult> all;
  std::vector<surge::CaseResult> tail;
};
ResponseCurves sample_response_curves(const surge::SiteTable& table, int location);

// What the report plots for one location at one radius: its response
// curves, and the surge at each distance of default_distance_grid for the
// location and radius, once per central pressure.
struct LocationSamples {
  int location = 0;
  ResponseCurves response;
  std::vector<double> distances;
  std::vector<int> pressures_mb;
  std::vector<std::vector<surge::CaseResult>> surges;  // [pressure][distance]
};
LocationSamples sample_location(const surge::SiteTable& table, int location, double radius_km,
                                const std::vector<int>& pressures_mb);

}  // namespace kit

#endif  // SURGE_KIT_STUDIES_CURVES_H_
