// The plots drawn from samples of the model.
#include "kit/page/plots.h"

#include <algorithm>
#include <cmath>

#include "kit/core/limits.h"
#include "kit/core/names.h"

namespace kit {

namespace {

PlotBand band_of(surge::Curve curve) {
  switch (curve) {
    case surge::Curve::kRight:
      return PlotBand{0, 0, kRightBand, kRightFill};
    case surge::Curve::kLeft:
      return PlotBand{0, 0, kLeftBand, kLeftFill};
    case surge::Curve::kTail:
      return PlotBand{0, 0, kTailBand, kTailFill};
    case surge::Curve::kNone:
      break;
  }
  return PlotBand{0, 0, kNoCurveBand, kNoCurveFill};
}

}  // namespace

std::vector<PlotBand> curve_bands(int location, const std::vector<double>& distances,
                                  const std::vector<surge::CaseResult>& results) {
  std::vector<PlotBand> bands;
  const bool refuses = needs_positive_distance(location);
  const size_t n = std::min(distances.size(), results.size());
  for (size_t i = 0; i < n; ++i) {
    const double lower = i == 0 ? distances[i] : (distances[i - 1] + distances[i]) / 2;
    const double upper = i + 1 == n ? distances[i] : (distances[i] + distances[i + 1]) / 2;
    PlotBand band = band_of(results[i].curve);
    if (refuses && distances[i] <= 0) band = PlotBand{0, 0, kRefusedBand, kRefusedFill};
    if (!bands.empty() && bands.back().label == band.label) {
      bands.back().to = upper;
      continue;
    }
    // The refused stretch ends at 0 exactly: the calculator takes any positive distance.
    if (!bands.empty() && bands.back().label == kRefusedBand) {
      bands.back().to = 0;
      band.from = 0;
    } else {
      band.from = lower;
    }
    band.to = upper;
    bands.push_back(band);
  }
  return bands;
}

void shown_distances(const std::vector<double>& distances,
                     const std::vector<std::vector<surge::CaseResult>>& results, double* from,
                     double* to) {
  *from = INFINITY, *to = -INFINITY;
  for (const auto& r : results) {
    double largest = 0;
    for (const surge::CaseResult& c : r) {
      if (std::isfinite(c.response)) largest = std::max(largest, std::fabs(c.response));
    }
    if (!(largest > 0)) continue;
    for (size_t i = 0; i < r.size() && i < distances.size(); ++i) {
      if (std::fabs(r[i].response) >= kShownResponseShare * largest) {
        *from = std::min(*from, distances[i]);
        *to = std::max(*to, distances[i]);
      }
    }
  }
  if (distances.empty()) {
    *from = 0, *to = 1;
    return;
  }
  if (*from > *to) {
    *from = distances.front(), *to = distances.back();
    return;
  }
  *from = std::min(*from, 0.0);
  *to = std::max(*to, 0.0);
  const double margin = 0.04 * (*to - *from);
  *from -= margin, *to += margin;
  const double least = 0.1 * (distances.back() - distances.front());
  if (*to - *from < least) {
    const double widen = (least - (*to - *from)) / 2;
    *from -= widen, *to += widen;
  }
  *from = std::max(*from, distances.front());
  *to = std::min(*to, distances.back());
}

LinePlot surge_plot(const std::string& title, int location, double radius_km,
                    const std::vector<double>& distances, const std::vector<SurgeSeries>& series) {
  LinePlot plot;
  plot.title = title;
  plot.x_label = kDistanceAxisName;
  plot.y_label = "surge (m)";
  const bool refuses = needs_positive_distance(location);
  // The line breaks where the model jumps: where the curve changes, and where
  // the small-radius shift moves X by more than the step in distance does.
  auto jump = [&](const surge::CaseResult& a, const surge::CaseResult& b, double step_km) {
    const double expected = step_km / radius_km;
    return a.curve != b.curve || std::fabs((b.x - a.x) - expected) > 0.5 * expected;
  };
  std::vector<std::vector<surge::CaseResult>> results;
  for (const SurgeSeries& s : series) {
    results.push_back(s.results);
    PlotSeries line{s.name, {}, {}};
    for (size_t i = 0; i < s.results.size() && i < distances.size(); ++i) {
      if (refuses && distances[i] <= 0) continue;  // the calculator gives no surge there
      if (!line.x.empty() && jump(s.results[i - 1], s.results[i], distances[i] - distances[i - 1])) {
        line.x.push_back(NAN);
        line.y.push_back(NAN);
      }
      line.x.push_back(distances[i]);
      line.y.push_back(s.results[i].surge_m);
    }
    plot.series.push_back(std::move(line));
  }
  shown_distances(distances, results, &plot.x_from, &plot.x_to);
  if (!series.empty()) plot.bands = curve_bands(location, distances, series.front().results);
  plot.markers.push_back(PlotMarker{0, "landfall at the bridge (0 km)"});
  return plot;
}

namespace {

// The samples as one line, broken where the curve changes; X beyond every
// curve is left out.
PlotSeries response_series(const std::vector<surge::CaseResult>& samples) {
  PlotSeries line{"", {}, {}};
  surge::Curve previous = surge::Curve::kNone;
  for (const surge::CaseResult& r : samples) {
    if (!within_fitted_curves(r.curve)) continue;
    if (r.curve != previous && !line.x.empty()) {
      line.x.push_back(NAN);
      line.y.push_back(NAN);
    }
    previous = r.curve;
    line.x.push_back(r.x);
    line.y.push_back(r.response);
  }
  return line;
}

}  // namespace

LinePlot response_plot(int location, const ResponseCurves& curves) {
  LinePlot plot;
  plot.title = "Response curves, location " + std::to_string(location);
  plot.x_label = "dimensionless distance X (radii)";
  plot.y_label = "response (1/m)";
  plot.series.push_back(response_series(curves.all));
  plot.bands = {PlotBand{surge::kRightFrom, 0, kRightBand, kRightFill},
                PlotBand{0, surge::kLeftTo, kLeftBand, kLeftFill},
                PlotBand{surge::kLeftTo, surge::kTailTo, kTailBand, kTailFill}};
  // The tail, small beside the Gaussians' peaks, again at its own scale.
  LinePlot tail;
  tail.title = "tail, own scale";
  tail.series.push_back(response_series(curves.tail));
  tail.x_from = surge::kLeftTo;
  tail.x_to = surge::kTailTo;
  tail.bands = {PlotBand{surge::kLeftTo, surge::kTailTo, kTailBand, kTailFill}};
  plot.inset.push_back(std::move(tail));
  plot.inset_from = surge::kLeftTo;
  plot.inset_to = surge::kTailTo;
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
