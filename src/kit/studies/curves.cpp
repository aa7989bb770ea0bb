// Samples of the model along landfall distance and along X.
#include "kit/studies/curves.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace kit {
namespace {

// The fewest decimals (up to 9) that write v exactly enough.
int decimals_of(double v) {
  double scaled = v;
  for (int k = 0; k < 9; ++k, scaled *= 10) {
    if (std::fabs(scaled - std::round(scaled)) < 1e-6) return k;
  }
  return 9;
}

// The largest 1, 2 or 5 times a power of ten not above v (> 0).
double nice_floor(double v) {
  const double power = std::pow(10.0, std::floor(std::log10(v)));
  for (double m : {5.0, 2.0, 1.0}) {
    if (m * power <= v * (1 + 1e-12)) return m * power;
  }
  return power;
}

// X in hundredths, for the ends of the fitted ranges (whole hundredths).
int hundredths(double x) { return static_cast<int>(std::lround(100 * x)); }

}  // namespace

std::vector<double> grid_distances(const DistanceGrid& grid) {
  assert(grid.step > 0 && grid.from <= grid.to);
  const int decimals = std::max(decimals_of(grid.from), decimals_of(grid.step));
  const double scale = std::pow(10.0, decimals);
  const long count = static_cast<long>(std::floor((grid.to - grid.from) / grid.step + 1e-9)) + 1;
  std::vector<double> distances;
  distances.reserve(static_cast<size_t>(count));
  for (long i = 0; i < count; ++i) {
    const double d = grid.from + static_cast<double>(i) * grid.step;
    distances.push_back(std::round(d * scale) / scale);
  }
  return distances;
}

DistanceGrid default_distance_grid(const surge::SiteTable& t, const std::vector<int>& locations,
                                   double radius_km) {
  double narrowest = 0.25;  // a step of 1/20 radius at most
  for (int i : locations) {
    for (const float* w : {t.left_width1, t.left_width2, t.left_width3, t.right_width1,
                           t.right_width2, t.right_width3}) {
      const double width = std::fabs(static_cast<double>(w[i]));
      if (width > 0 && std::isfinite(width)) narrowest = std::min(narrowest, width);
    }
  }
  const double step = nice_floor(std::max(radius_km * narrowest / 5, 1e-3));
  DistanceGrid grid;
  grid.step = step;
  grid.from = std::floor(radius_km * (surge::kRightFrom + surge::kDistanceOrigin) / step) * step;
  grid.to = std::ceil(radius_km * (surge::kTailTo + surge::kDistanceOrigin) / step) * step;
  return grid;
}

std::vector<surge::CaseResult> sample_distances(const surge::SiteTable& table, int location,
                                                double pressure_mb, double radius_km,
                                                const std::vector<double>& distances) {
  std::vector<surge::CaseResult> results;
  results.reserve(distances.size());
  for (double d : distances) {
    results.push_back(
        surge::evaluate_surge(surge::StormCase{location, pressure_mb, radius_km, d}, table));
  }
  return results;
}

std::vector<surge::CaseResult> sample_response(const surge::SiteTable& table, int location,
                                               int first_hundredth, int last_hundredth) {
  assert(first_hundredth <= last_hundredth);
  constexpr double kRadius = 100;  // no small-radius shift
  std::vector<surge::CaseResult> results;
  results.reserve(static_cast<size_t>(last_hundredth - first_hundredth) + 1);
  for (int k = first_hundredth; k <= last_hundredth; ++k) {
    const double d = kRadius * (k / 100.0 + surge::kDistanceOrigin);
    results.push_back(surge::evaluate_surge(surge::StormCase{location, 1000, kRadius, d}, table));
  }
  return results;
}

ResponseCurves sample_response_curves(const surge::SiteTable& table, int location) {
  ResponseCurves curves;
  curves.all =
      sample_response(table, location, hundredths(surge::kRightFrom), hundredths(surge::kTailTo));
  curves.tail =
      sample_response(table, location, hundredths(surge::kLeftTo) + 1, hundredths(surge::kTailTo));
  return curves;
}

LocationSamples sample_location(const surge::SiteTable& table, int location, double radius_km,
                                const std::vector<int>& pressures_mb) {
  LocationSamples samples;
  samples.location = location;
  samples.response = sample_response_curves(table, location);
  samples.distances = grid_distances(default_distance_grid(table, {location}, radius_km));
  samples.pressures_mb = pressures_mb;
  for (int p : pressures_mb) {
    samples.surges.push_back(sample_distances(table, location, p, radius_km, samples.distances));
  }
  return samples;
}

}  // namespace kit
