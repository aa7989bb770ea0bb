// The plots drawn from samples of the model.
#include "kit/page/plots.h"

#include <cmath>

#include "kit/core/names.h"

namespace kit {

std::vector<PlotBand> side_bands(const std::vector<double>& distances,
                                 const std::vector<surge::CaseResult>& results) {
  std::vector<PlotBand> bands;
  for (size_t i = 0; i < results.size(); ++i) {
    // Where no fitted curve applies the model says nothing: shaded apart.
    const std::string side = results[i].curve == surge::Curve::kNone
                                 ? std::string(kNoCurveBand)
                                 : std::string(side_name(results[i].side));
    const double lower = i == 0 ? distances[i] : (distances[i - 1] + distances[i]) / 2;
    const double upper = i + 1 == results.size() ? distances[i] : (distances[i] + distances[i + 1]) / 2;
    if (!bands.empty() && bands.back().label == side) {
      bands.back().to = upper;
    } else {
      bands.push_back(PlotBand{lower, upper, side});
      if (side == kNoCurveBand) bands.back().fill = kNoCurveFill;
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
    const double d = kRadius * (k / 100.0 + surge::kDistanceOrigin);
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
  plot.bands = {PlotBand{surge::kRightFrom, 0, "RIGHT"}, PlotBand{0, surge::kLeftTo, "LEFT"},
                PlotBand{surge::kLeftTo, surge::kTailTo, "tail"}};
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
