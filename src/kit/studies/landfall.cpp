// The worst landfall distance, found by evaluating the model on candidates
// that cannot miss a maximum: range boundaries from both sides, the
// small-radius shift's jumps, and refined interior maxima.
#include "kit/studies/landfall.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <functional>
#include <limits>

#include "kit/core/limits.h"
#include "kit/studies/parallel.h"

namespace kit {
namespace {

using surge::CaseResult;
using surge::StormCase;

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kGridRadii = 0.02;        // interior grid step, in radii (X units)
constexpr int kMaxGridSteps = 1 << 20;     // a piece's grid, at most
constexpr double kInvGolden = 0.6180339887498949;  // (sqrt(5) - 1) / 2
// The ends of the fitted ranges of X: RIGHT (-6, 0], LEFT (0, 10], tail (10, 25].
constexpr double kRangeEnds[] = {surge::kRightFrom, 0, surge::kLeftTo, surge::kTailTo};

// True when surge `a` is to replace the best so far, `b`: larger by more than
// rounding (radii that reach the same peak of the response differ only in the
// last bits), or b is NaN.
bool clearly_larger(double a, double b) {
  return a > b + 1e-12 * std::fabs(b) || (std::isnan(b) && !std::isnan(a));
}

// The case's result from its two parts: the same as evaluate_surge gives.
CaseResult whole_result(const surge::Response& part, double pressure_mb, float slope) {
  return CaseResult{.surge_m = surge::surge_from(surge::pressure_factor(pressure_mb), part.response, slope),
                    .side = part.side,
                    .response = part.response,
                    .x = part.x,
                    .curve = part.curve};
}

// One search over landfall distance for a location, pressure and radius. The
// key compared is the response: the surge grows with it for every pressure.
class DistanceSearch {
 public:
  DistanceSearch(const surge::SiteTable& table, int location, double pressure_mb,
                 double radius_km)
      : table_(table),
        storm_{.location = location, .pressure_mb = pressure_mb, .radius_km = radius_km} {}

  WorstLandfall run();

 private:
  // Evaluates the model at distance d and keeps it when it beats the best.
  double at(double d);
  void around_boundary(double b);
  void scan_piece(double lo, double hi);
  void refine(double lo, double hi);

  const surge::SiteTable& table_;
  StormCase storm_;
  double scale_ = 0;  // a distance typical of the fitted ranges, in km
  bool found_ = false;
  double best_key_ = -kInfinity;
  double best_distance_ = 0;
  surge::Response best_;
};

double DistanceSearch::at(double d) {
  // The response alone: the pressure's part is the same for every distance.
  const surge::Response r =
      surge::evaluate_response(storm_.location, storm_.radius_km, d, table_);
  const double key = std::isnan(r.response) ? -kInfinity : r.response;
  // Only where a fitted curve applies, and where the calculator takes the
  // landfall, is there a surge to report.
  const bool fitted =
      within_fitted_curves(r.curve) && !(needs_positive_distance(storm_.location) && !(d > 0));
  if (!fitted) return -kInfinity;
  if (!found_ || key > best_key_) {
    found_ = true;
    best_key_ = key;
    best_distance_ = d;
    best_ = r;
  }
  return key;
}

// Both sides of a boundary whose estimate b is within a few parts in 1e12 of
// where the model switches: the neighbouring doubles, then steps from 1e-15 to
// 1e-9 of the scale, so that some candidate on each side lies within a few
// units in the last place of the switch or, at worst, 1e-9 of the scale.
void DistanceSearch::around_boundary(double b) {
  at(b);
  double up = b, down = b;
  for (int k = 0; k < 4; ++k) {
    up = std::nextafter(up, kInfinity);
    down = std::nextafter(down, -kInfinity);
    at(up);
    at(down);
  }
  for (double step = 1e-15; step < 2e-9; step *= 10) {
    at(b + step * scale_);
    at(b - step * scale_);
  }
}

// Golden-section search for the maximum inside [lo, hi], a grid bracket around
// a local maximum of the grid.
void DistanceSearch::refine(double lo, double hi) {
  const double tolerance = 1e-12 * scale_;
  double x1 = hi - kInvGolden * (hi - lo), x2 = lo + kInvGolden * (hi - lo);
  double f1 = at(x1), f2 = at(x2);
  for (int i = 0; i < 200 && hi - lo > tolerance; ++i) {
    if (f1 < f2) {
      lo = x1;
      x1 = x2;
      f1 = f2;
      x2 = lo + kInvGolden * (hi - lo);
      f2 = at(x2);
    } else {
      hi = x2;
      x2 = x1;
      f2 = f1;
      x1 = hi - kInvGolden * (hi - lo);
      f1 = at(x1);
    }
  }
}

// A piece between two boundaries, on which X is a continuous function of the
// distance and one curve applies: a grid of 0.02 radii, each grid maximum
// refined. The ends are the boundaries' business.
void DistanceSearch::scan_piece(double lo, double hi) {
  const double length = hi - lo;
  if (!(length > 1e-6 * scale_)) return;
  const double inset = 1e-9 * scale_;
  const double wanted = std::ceil(length / (kGridRadii * storm_.radius_km));
  const int steps = static_cast<int>(std::clamp(wanted, 8.0, double{kMaxGridSteps}));
  auto point = [&](int j) {
    if (j == 0) return lo + inset;
    if (j == steps) return hi - inset;
    return lo + length * j / steps;
  };
  double d0 = point(0), d1 = point(1);
  double v0 = at(d0), v1 = at(d1);
  // A maximum between an end and the first grid point inside.
  if (v0 > v1) refine(d0, d1);
  for (int j = 2; j <= steps; ++j) {
    const double d2 = point(j);
    const double v2 = at(d2);
    if (v1 >= v0 && v1 >= v2 && (v1 > v0 || v1 > v2)) refine(d0, d2);
    d0 = d1, v0 = v1;
    d1 = d2, v1 = v2;
  }
  if (v1 > v0) refine(d0, d1);
}

WorstLandfall DistanceSearch::run() {
  const double r = storm_.radius_km;
  assert(r > 0 && std::isfinite(r));
  scale_ = 30 * r;

  // X's origin lies a radii from the landfall, X = distance / r - a; the
  // small-radius shifts add a constant to X for distances in (0, a r) and
  // [a r, 2 a r]. All three are measured from the model itself, far from the
  // jumps, so that the estimates follow the model rather than restate it.
  auto x_at = [&](double radius, double d) {
    return surge::evaluate_surge(
               StormCase{storm_.location, storm_.pressure_mb, radius, d}, table_)
        .x;
  };
  const double a = -x_at(100, 0);
  const double right_shift = x_at(r, 0.5 * a * r) - (0.5 * a * r - a * r) / r;
  const double left_shift = x_at(r, 1.5 * a * r) - (1.5 * a * r - a * r) / r;

  // Where the curve or the shift changes, in distance (estimates; the
  // boundary candidates cover the rounding), and two points in the flat
  // ranges beyond the fitted ones.
  double bounds[3 * 4 + 5];
  int n = 0;
  for (double end : kRangeEnds) {
    bounds[n++] = r * (end + a);
    bounds[n++] = r * (end - right_shift + a);
    bounds[n++] = r * (end - left_shift + a);
  }
  bounds[n++] = 0;
  bounds[n++] = a * r;
  bounds[n++] = 2 * a * r;
  bounds[n++] = r * (kRangeEnds[0] + a) - r;
  bounds[n++] = r * (kRangeEnds[3] + a) + r;
  std::sort(bounds, bounds + n);
  n = static_cast<int>(std::unique(bounds, bounds + n) - bounds);

  for (int i = 0; i < n; ++i) {
    if (std::isfinite(bounds[i])) around_boundary(bounds[i]);
  }
  for (int i = 0; i + 1 < n; ++i) {
    if (std::isfinite(bounds[i]) && std::isfinite(bounds[i + 1])) {
      scan_piece(bounds[i], bounds[i + 1]);
    }
  }
  return WorstLandfall{.distance_km = best_distance_,
                       .radius_km = r,
                       .result = found_ ? whole_result(best_, storm_.pressure_mb,
                                                        table_.slope[storm_.location])
                                        : CaseResult{},
                       .reach = {{{r, r}}, r, r, best_distance_, best_distance_}};
}

}  // namespace

WorstLandfall worst_over_distance(const surge::SiteTable& table, int location,
                                  double pressure_mb, double radius_km) {
  return DistanceSearch(table, location, pressure_mb, radius_km).run();
}

std::vector<WorstLandfall> worst_per_pressure(const surge::SiteTable& table, int location,
                                              const std::vector<double>& pressures_mb,
                                              const std::vector<int>& radii_km) {
  assert(!pressures_mb.empty() && !radii_km.empty());
  assert(std::adjacent_find(radii_km.begin(), radii_km.end(), std::greater_equal<int>()) ==
         radii_km.end());
  // The distance that maximises the response for a radius does so for every
  // pressure; each pressure then compares the radii at its own surge.
  std::vector<double> distances;
  distances.reserve(radii_km.size());
  for (int radius : radii_km) {
    distances.push_back(worst_over_distance(table, location, pressures_mb[0], radius).distance_km);
  }
  // Each radius's response at its worst distance, once for every pressure.
  std::vector<surge::Response> responses;
  responses.reserve(radii_km.size());
  for (size_t i = 0; i < radii_km.size(); ++i) {
    responses.push_back(surge::evaluate_response(location, radii_km[i], distances[i], table));
  }
  const float slope = table.slope[location];
  std::vector<WorstLandfall> worst(pressures_mb.size());
  std::vector<double> surges(radii_km.size());
  for (size_t p = 0; p < pressures_mb.size(); ++p) {
    for (size_t i = 0; i < radii_km.size(); ++i) {
      const CaseResult r = whole_result(responses[i], pressures_mb[p], slope);
      surges[i] = r.surge_m;
      if (i == 0 || clearly_larger(r.surge_m, worst[p].result.surge_m)) {
        worst[p] = WorstLandfall{distances[i], static_cast<double>(radii_km[i]), r, {}};
      }
    }
    // Every radius whose worst surge reaches the largest to the millimetre,
    // in runs of neighbours in the list, and the worst distances of the
    // first and last.
    WorstLandfall& w = worst[p];
    RadiusReach& reach = w.reach;
    size_t last = radii_km.size();
    for (size_t i = 0; i < radii_km.size(); ++i) {
      if (!(std::fabs(surges[i] - w.result.surge_m) <= kReachToleranceM)) continue;
      const double radius = radii_km[i];
      if (reach.runs.empty()) {
        reach.radius_min_km = radius;
        reach.distance_at_min_km = distances[i];
      }
      if (!reach.runs.empty() && last + 1 == i) {
        reach.runs.back().last_km = radius;
      } else {
        reach.runs.push_back({radius, radius});
      }
      reach.radius_max_km = radius;
      reach.distance_at_max_km = distances[i];
      last = i;
    }
    // A NaN surge reaches nothing: the reported radius stands alone.
    if (reach.runs.empty()) {
      reach = {
          {{w.radius_km, w.radius_km}}, w.radius_km, w.radius_km, w.distance_km, w.distance_km};
    }
  }
  return worst;
}

WorstLandfall worst_over_radii(const surge::SiteTable& table, int location, double pressure_mb,
                               const std::vector<int>& radii_km) {
  return worst_per_pressure(table, location, {pressure_mb}, radii_km).front();
}

std::vector<std::vector<WorstLandfall>> envelope_table(const surge::SiteTable& table,
                                                       const std::vector<int>& locations,
                                                       const std::vector<double>& pressures_mb,
                                                       const std::vector<int>& radii_km) {
  std::vector<std::vector<WorstLandfall>> rows(locations.size());
  for_each_parallel(locations.size(), [&](size_t i) {
    rows[i] = worst_per_pressure(table, locations[i], pressures_mb, radii_km);
  });
  return rows;
}

}  // namespace kit
