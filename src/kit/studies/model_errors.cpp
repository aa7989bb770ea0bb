// The model beside simulated surges, and the statistics of its errors.
#include "kit/studies/model_errors.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

#include "kit/core/limits.h"
#include "model/surge.h"

namespace kit {

std::vector<ModelPoint> model_points(const std::vector<const SimulationRow*>& rows,
                                     const surge::SiteTable& table) {
  std::vector<ModelPoint> points;
  points.reserve(rows.size());
  for (const SimulationRow* row : rows) {
    const surge::StormCase storm{row->location, row->pressure_mb, row->radius_km,
                                 row->distance_km};
    const surge::CaseResult result = surge::evaluate_surge(storm, table);
    points.push_back(ModelPoint{result.x, row->surge_m, result.surge_m,
                                 within_fitted_curves(result.curve)});
  }
  return points;
}

ErrorSummary summarize_errors(const std::vector<ModelPoint>& points) {
  assert(!points.empty());
  double mean_surge = 0;
  for (const ModelPoint& p : points) mean_surge += p.simulated_m;
  const double n = static_cast<double>(points.size());
  mean_surge /= n;
  double sum = 0, sum_sq = 0, largest = 0, total = 0;
  for (const ModelPoint& p : points) {
    const double error = p.model_m - p.simulated_m;
    sum += error;
    sum_sq += error * error;
    largest = std::max(largest, std::fabs(error));
    total += (p.simulated_m - mean_surge) * (p.simulated_m - mean_surge);
  }
  ErrorSummary summary;
  summary.rows = points.size();
  summary.rms = std::sqrt(sum_sq / n);
  summary.bias = sum / n;
  summary.max_abs = largest;
  summary.r2 = total > 0 ? 1 - sum_sq / total : std::numeric_limits<double>::quiet_NaN();
  return summary;
}

std::vector<LocationErrors> compare_with_model(const std::vector<SimulationRow>& rows,
                                               const surge::SiteTable& table,
                                               size_t max_plotted) {
  assert(max_plotted >= 2);
  std::vector<std::vector<const SimulationRow*>> by_location(surge::kLocations + 1);
  for (const SimulationRow& row : rows) by_location[row.location].push_back(&row);
  std::vector<LocationErrors> out(surge::kLocations + 1);
  for (int location = 1; location <= surge::kLocations; ++location) {
    LocationErrors& l = out[location];
    l.location = location;
    std::vector<ModelPoint> points = model_points(by_location[location], table);
    const auto beyond = std::remove_if(points.begin(), points.end(),
                                       [](const ModelPoint& p) { return !p.on_curve; });
    l.beyond = static_cast<uint64_t>(points.end() - beyond);
    points.erase(beyond, points.end());
    if (points.empty()) continue;
    l.errors = summarize_errors(points);
    if (points.size() <= max_plotted) {
      l.plotted = std::move(points);
      continue;
    }
    // One place is kept for the largest error, so that the worst row is seen.
    const size_t n = points.size(), kept = max_plotted - 1;
    l.stride = (n + kept - 1) / kept;
    size_t worst = 0;
    for (size_t i = 1; i < n; ++i) {
      if (std::fabs(points[i].model_m - points[i].simulated_m) >
          std::fabs(points[worst].model_m - points[worst].simulated_m)) {
        worst = i;
      }
    }
    for (size_t i = 0; i < n; ++i) {
      if (i % l.stride == 0 || i == worst) l.plotted.push_back(points[i]);
    }
  }
  return out;
}

}  // namespace kit
