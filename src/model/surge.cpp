// The surge response: dimensionless distance, curve choice, and surge formula.
//
// Every operation runs in the order written, in double precision, with the
// single-precision constants and coefficients widened exactly: the printed
// surge is reproducible bit for bit.
#include "model/surge.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace surge {
namespace {

// Constants with decimals were fitted and stored in single precision; the
// arithmetic uses their exact widened values.
constexpr double widen(float f) { return static_cast<double>(f); }

constexpr double kReferencePressureMb = 1013;
const double kHeadDivisor = widen(98.0665f);  // ten times standard gravity
const double kOffsetFactor = kDistanceOrigin;  // a: the distance origin, in radii
const double kShiftSlopeRight = widen(-1.035f);
const double kShiftInterceptRight = widen(0.16037f);
const double kShiftSlopeLeft = widen(3.2968f);
const double kShiftInterceptLeft = widen(-0.66642f);
constexpr double kShiftRadiusLimitKm = 25;
constexpr double kRadiusFactorDivisor = 25;

// Sum of three Gaussians: (a1 g1 + a2 g2) + a3 g3, g = exp(0 - ((X - c) / w)^2).
double gaussian(double x, float centre, float width) {
  double d = (x - widen(centre)) / widen(width);
  return std::exp(0.0 - d * d);
}

double three_gaussians(double x, float a1, float c1, float w1, float a2, float c2, float w2,
                       float a3, float c3, float w3) {
  double g1 = gaussian(x, c1, w1);
  double g2 = gaussian(x, c2, w2);
  double g3 = gaussian(x, c3, w3);
  return (widen(a1) * g1 + widen(a2) * g2) + widen(a3) * g3;
}

// Double-exponential tail: f t exp(-t), t = exp((X - centre) / scale), with the
// factor f = 1 / norm rounded to single precision.
double tail_curve(double x, float norm, float centre, float scale) {
  double z = (x - widen(centre)) / widen(scale);
  double t = std::exp(z);
  double u = std::exp(0.0 - t);
  const float reciprocal = 1.0f / norm;  // the quotient is rounded to single precision
  double f = widen(reciprocal);
  return (f * t) * u;
}

// Distance in radii from a point a radii from the landfall, with small
// hurricanes' X shifted near the landfall.
[[gnu::always_inline]] inline double dimensionless_distance(double radius_km, double distance_km) {
  const double r = radius_km;
  const double offset = kOffsetFactor * r;
  double x = (distance_km - offset) / r;

  // A NaN fails s > 0.
  const double s = kOffsetFactor + x;
  if (s > 0 && x <= kOffsetFactor && radius_km < kShiftRadiusLimitKm) {
    // Exact for an integer radius, as the integer difference would be.
    const double q = (kShiftRadiusLimitKm - radius_km) / kRadiusFactorDivisor;
    if (x < 0) {
      x = x + (q * kShiftSlopeRight + kShiftInterceptRight);
    } else {
      x = x + (q * kShiftSlopeLeft + kShiftInterceptLeft);
    }
  }
  return x;
}

// For runs of cases at one location: the Gaussians' coefficients widened
// once, the exp's argument and the sum written as three_gaussians has them.
// three_gaussians itself stays as it is: rebuilt from these, evaluate_surge
// compiles to other operand orders and passes on other NaNs than it did.
struct Gaussians {
  double amp[3], centre[3], width[3];
};

Gaussians left_gaussians(int i, const SiteTable& t) {
  return {{widen(t.left_amp1[i]), widen(t.left_amp2[i]), widen(t.left_amp3[i])},
          {widen(t.left_centre1[i]), widen(t.left_centre2[i]), widen(t.left_centre3[i])},
          {widen(t.left_width1[i]), widen(t.left_width2[i]), widen(t.left_width3[i])}};
}

Gaussians right_gaussians(int i, const SiteTable& t) {
  return {{widen(t.right_amp1[i]), widen(t.right_amp2[i]), widen(t.right_amp3[i])},
          {widen(t.right_centre1[i]), widen(t.right_centre2[i]), widen(t.right_centre3[i])},
          {widen(t.right_width1[i]), widen(t.right_width2[i]), widen(t.right_width3[i])}};
}

inline double gaussian_exponent(double x, const Gaussians& c, int k) {
  double d = (x - c.centre[k]) / c.width[k];
  return 0.0 - d * d;
}

inline double gaussian_sum(const Gaussians& c, const double g[3]) {
  return (c.amp[0] * g[0] + c.amp[1] * g[1]) + c.amp[2] * g[2];
}

// The curve X falls on, as response_part picks it.
inline Curve curve_of(double x) {
  if (x > 0) return x <= kLeftTo ? Curve::kLeft : x <= kTailTo ? Curve::kTail : Curve::kNone;
  if (x <= 0) return x > kRightFrom ? Curve::kRight : Curve::kNone;
  return Curve::kNone;  // a NaN X
}

// The two parts, inlined into evaluate_surge so that it compiles as one
// function: which of two NaN operands an instruction passes on follows the
// operand order the compiler picks for the whole.
[[gnu::always_inline]] inline Response response_part(int i, double radius_km, double distance_km,
                                                     const SiteTable& t) {
  assert(i >= 1 && i <= kLocations);
  Response result;
  double x = dimensionless_distance(radius_km, distance_km);

  double response = 0;
  if (x > 0) {
    result.side = kLeftLabel;
    if (x <= kLeftTo) {
      result.curve = Curve::kLeft;
      response = three_gaussians(x, t.left_amp1[i], t.left_centre1[i], t.left_width1[i],
                                 t.left_amp2[i], t.left_centre2[i], t.left_width2[i],
                                 t.left_amp3[i], t.left_centre3[i], t.left_width3[i]);
    } else if (x <= kTailTo) {
      result.curve = Curve::kTail;
      response = tail_curve(x, t.tail_norm[i], t.tail_centre[i], t.tail_scale[i]);
    }
  } else if (x <= 0) {
    result.side = kRightLabel;
    if (x > kRightFrom) {
      result.curve = Curve::kRight;
      response = three_gaussians(x, t.right_amp1[i], t.right_centre1[i], t.right_width1[i],
                                 t.right_amp2[i], t.right_centre2[i], t.right_width2[i],
                                 t.right_amp3[i], t.right_centre3[i], t.right_width3[i]);
    }
  }  // a NaN X takes no range: no label, response 0
  result.response = response;
  result.x = x;
  return result;
}

[[gnu::always_inline]] inline double pressure_part(double pressure_mb) {
  // Pressure deficit as a head of water. For a 32-bit integer pressure the
  // difference is exact in double, as it would be in 64-bit integers.
  const double h = (kReferencePressureMb - pressure_mb) / kHeadDivisor;
  double m = 0.5 * h;
  m = m * h;
  return m;
}

}  // namespace

Response evaluate_response(int location, double radius_km, double distance_km,
                           const SiteTable& table) {
  return response_part(location, radius_km, distance_km, table);
}

namespace {

// Two doubles that one instruction works on together, lane by lane, each
// lane rounded as the scalar operation would round it.
typedef double Pair __attribute__((vector_size(16)));

Pair load_pair(const double* p) {
  Pair v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}

void store_pair(double* p, Pair v) { __builtin_memcpy(p, &v, sizeof v); }

constexpr size_t kRun = 64;

// The three Gaussians' sum at xs[0] .. xs[m - 1], m <= kRun: the exps'
// arguments two at a time (the divisions are most of their cost), the exps
// back to back, then the sums two at a time; the operations of
// gaussian_exponent and gaussian_sum, in their order.
void gaussian_sums(const Gaussians& c, const double* xs, size_t m, double* out) {
  double e[3][kRun];
  for (int k = 0; k < 3; ++k) {
    size_t i = 0;
    for (; i + 2 <= m; i += 2) {
      const Pair d = (load_pair(xs + i) - c.centre[k]) / c.width[k];
      store_pair(e[k] + i, 0.0 - d * d);
    }
    if (i < m) e[k][i] = gaussian_exponent(xs[i], c, k);
  }
  for (int k = 0; k < 3; ++k) {
    for (size_t i = 0; i < m; ++i) e[k][i] = std::exp(e[k][i]);
  }
  size_t i = 0;
  for (; i + 2 <= m; i += 2) {
    const Pair sum = (c.amp[0] * load_pair(e[0] + i) + c.amp[1] * load_pair(e[1] + i)) +
                     c.amp[2] * load_pair(e[2] + i);
    store_pair(out + i, sum);
  }
  if (i < m) {
    const double g[3] = {e[0][i], e[1][i], e[2][i]};
    out[i] = gaussian_sum(c, g);
  }
}

}  // namespace

// The cases go in runs: every case's X and curve first, then the cases on
// each side's Gaussians together (see gaussian_sums).
void evaluate_responses(int location, std::span<const double> radius_km,
                        std::span<const double> distance_km, const SiteTable& t,
                        std::span<double> response, std::span<Curve> curve) {
  assert(location >= 1 && location <= kLocations);
  assert(radius_km.size() == distance_km.size() && response.size() == radius_km.size() &&
         curve.size() == radius_km.size());
  const Gaussians left = left_gaussians(location, t);
  const Gaussians right = right_gaussians(location, t);
  const size_t n = response.size();
  for (size_t from = 0; from < n; from += kRun) {
    const size_t count = std::min(kRun, n - from);
    // The Gaussian cases' X and place in the run, by side.
    double x_left[kRun], x_right[kRun], sum_left[kRun], sum_right[kRun];
    size_t at_left[kRun], at_right[kRun];
    size_t lefts = 0, rights = 0;
    for (size_t j = from; j < from + count; ++j) {
      const double x = dimensionless_distance(radius_km[j], distance_km[j]);
      const Curve c = curve_of(x);
      curve[j] = c;
      response[j] = 0;
      if (c == Curve::kLeft) {
        x_left[lefts] = x;
        at_left[lefts++] = j;
      } else if (c == Curve::kRight) {
        x_right[rights] = x;
        at_right[rights++] = j;
      } else if (c == Curve::kTail) {
        response[j] = tail_curve(x, t.tail_norm[location], t.tail_centre[location],
                                 t.tail_scale[location]);
      }
    }
    gaussian_sums(left, x_left, lefts, sum_left);
    gaussian_sums(right, x_right, rights, sum_right);
    for (size_t i = 0; i < lefts; ++i) response[at_left[i]] = sum_left[i];
    for (size_t i = 0; i < rights; ++i) response[at_right[i]] = sum_right[i];
  }
}

double pressure_factor(double pressure_mb) { return pressure_part(pressure_mb); }

CaseResult evaluate_surge(const StormCase& input, const SiteTable& t) {
  const Response part = response_part(input.location, input.radius_km, input.distance_km, t);
  CaseResult result;
  result.side = part.side;
  result.response = part.response;
  result.x = part.x;
  result.curve = part.curve;
  result.surge_m = surge_from(pressure_part(input.pressure_mb), part.response, t.slope[input.location]);
  return result;
}

CaseResult evaluate_surge(const CaseInput& input, const SiteTable& table) {
  return evaluate_surge(StormCase{.location = input.location,
                                  .pressure_mb = static_cast<double>(input.pressure_mb),
                                  .radius_km = static_cast<double>(input.radius_km),
                                  .distance_km = input.distance_km},
                        table);
}

}  // namespace surge
