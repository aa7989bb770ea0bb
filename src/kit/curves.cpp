// Samples of the model for curves and the plots drawn from them.
#include "kit/curves.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "kit/landfall.h"

namespace kit {
namespace {

// X's origin, in radii from the landfall (rounded: it only places ranges).
constexpr double kOriginRadii = 0.834;

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
  grid.from = std::floor(radius_km * (-6 + kOriginRadii) / step) * step;
  grid.to = std::ceil(radius_km * (25 + kOriginRadii) / step) * step;
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

std::vector<PlotBand> side_bands(const std::vector<double>& distances,
                                 const std::vector<surge::CaseResult>& results) {
  std::vector<PlotBand> bands;
  for (size_t i = 0; i < results.size(); ++i) {
    const std::string side(side_name(results[i].side));
    const double lower = i == 0 ? distances[i] : (distances[i - 1] + distances[i]) / 2;
    const double upper = i + 1 == results.size() ? distances[i] : (distances[i] + distances[i + 1]) / 2;
    if (!bands.empty() && bands.back().label == side) {
      bands.back().to = upper;
    } else {
      bands.push_back(PlotBand{lower, upper, side});
    }
  }
  return bands;
}

LinePlot surge_plot(const std::string& title, double radius_km,
                    const std::vector<double>& distances, const std::vector<SurgeSeries>& series) {
  LinePlot plot;
  plot.title = title;
  plot.x_label = "distance of the bridge from the landfall, east positive (km)";
  plot.y_label = "surge (m)";
  // The line breaks where the model jumps: where the curve changes, and where
  // the small-radius shift moves X by more than the step in distance does.
  auto jump = [&](const surge::CaseResult& a, const surge::CaseResult& b, double step_km) {
    const double expected = step_km / radius_km;
    return a.curve != b.curve || std::fabs((b.x - a.x) - expected) > 0.5 * expected;
  };
  for (const SurgeSeries& s : series) {
    PlotSeries line{s.name, {}, {}};
    for (size_t i = 0; i < s.results.size() && i < distances.size(); ++i) {
      if (i > 0 && jump(s.results[i - 1], s.results[i], distances[i] - distances[i - 1])) {
        line.x.push_back(NAN);
        line.y.push_back(NAN);
      }
      line.x.push_back(distances[i]);
      line.y.push_back(s.results[i].surge_m);
    }
    plot.series.push_back(std::move(line));
  }
  if (!series.empty()) plot.bands = side_bands(distances, series.front().results);
  plot.markers.push_back(PlotMarker{0, "bridge (distance 0)"});
  return plot;
}

LinePlot response_plot(const surge::SiteTable& table, int location) {
  constexpr double kRadius = 100;  // no small-radius shift
  LinePlot plot;
  plot.title = "Response curves, location " + std::to_string(location);
  plot.x_label = "dimensionless distance X (radii)";
  plot.y_label = "response (1/m)";
  PlotSeries line{"", {}, {}};
  surge::Curve previous = surge::Curve::kNone;
  for (int k = -600; k <= 2500; ++k) {
    const double d = kRadius * (k / 100.0 + kOriginRadii);
    const surge::CaseResult r =
        surge::evaluate_surge(surge::StormCase{location, 1000, kRadius, d}, table);
    if (r.curve == surge::Curve::kNone) continue;
    if (r.curve != previous && !line.x.empty()) {
      line.x.push_back(NAN);
      line.y.push_back(NAN);
    }
    previous = r.curve;
    line.x.push_back(r.x);
    line.y.push_back(r.response);
  }
  plot.series.push_back(std::move(line));
  plot.bands = {PlotBand{-6, 0, "RIGHT"}, PlotBand{0, 10, "LEFT"}, PlotBand{10, 25, "tail"}};
  return plot;
}

CellGrid envelope_grid(const std::vector<int>& locations, const std::vector<int>& pressures,
                       const std::vector<std::vector<WorstLandfall>>& rows,
                       const std::string& radius_range) {
  CellGrid grid;
  grid.title = "Worst surge over landfall distance and radius " + radius_range + " km";
  grid.row_label = "location";
  grid.column_label = "central pressure (mb)";
  grid.value_label = "surge (m)";
  for (int location : locations) grid.rows.push_back(std::to_string(location));
  for (int p : pressures) grid.columns.push_back(std::to_string(p));
  for (const auto& row : rows) {
    for (const WorstLandfall& w : row) grid.values.push_back(w.result.surge_m);
  }
  return grid;
}

}  // namespace kit
