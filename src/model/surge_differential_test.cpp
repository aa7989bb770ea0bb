// Differential test: the evaluation with real pressure and radius against a
// frozen copy of the integer evaluation the calculator shipped before it, bit
// for bit, over random integer cases and random (also absurd) tables.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "model/surge.h"
#include "platform/platform.h"

namespace surge {
namespace {

// ---- The integer evaluation as it stood, copied unchanged but for names. ----
namespace frozen {

constexpr double widen(float f) { return static_cast<double>(f); }

constexpr int64_t kReferencePressureMb = 1013;
const double kHeadDivisor = widen(98.0665f);
const double kOffsetFactor = widen(0.834f);
const double kShiftSlopeRight = widen(-1.035f);
const double kShiftInterceptRight = widen(0.16037f);
const double kShiftSlopeLeft = widen(3.2968f);
const double kShiftInterceptLeft = widen(-0.66642f);
constexpr int32_t kShiftRadiusLimitKm = 25;
constexpr double kRadiusFactorDivisor = 25;

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

double tail_curve(double x, float norm, float centre, float scale) {
  double z = (x - widen(centre)) / widen(scale);
  double t = std::exp(z);
  double u = std::exp(0.0 - t);
  const float reciprocal = 1.0f / norm;
  double f = widen(reciprocal);
  return (f * t) * u;
}

// Kept out of line, as the shipped function was: inlined into the loop below
// the compiler may swap the operands of a commutative operation, and which of
// two NaN operands an x86 instruction passes on (payload and sign) follows
// the operand order.
[[gnu::noinline]] CaseResult evaluate_surge(const CaseInput& input, const SiteTable& t) {
  const int i = input.location;
  CaseResult result;
  const double h =
      static_cast<double>(kReferencePressureMb - int64_t{input.pressure_mb}) / kHeadDivisor;
  const double r = static_cast<double>(input.radius_km);
  const double offset = kOffsetFactor * r;
  double x = (input.distance_km - offset) / r;
  const double s = kOffsetFactor + x;
  if (s > 0 && x <= kOffsetFactor && input.radius_km < kShiftRadiusLimitKm) {
    const double q = static_cast<double>(int64_t{kShiftRadiusLimitKm} - int64_t{input.radius_km}) /
                     kRadiusFactorDivisor;
    if (x < 0) {
      x = x + (q * kShiftSlopeRight + kShiftInterceptRight);
    } else {
      x = x + (q * kShiftSlopeLeft + kShiftInterceptLeft);
    }
  }
  double response = 0;
  if (x > 0) {
    result.side = kLeftLabel;
    if (x <= 10) {
      response = three_gaussians(x, t.left_amp1[i], t.left_centre1[i], t.left_width1[i],
                                 t.left_amp2[i], t.left_centre2[i], t.left_width2[i],
                                 t.left_amp3[i], t.left_centre3[i], t.left_width3[i]);
    } else if (x <= 25) {
      response = tail_curve(x, t.tail_norm[i], t.tail_centre[i], t.tail_scale[i]);
    }
  } else if (x <= 0) {
    result.side = kRightLabel;
    if (x > -6) {
      response = three_gaussians(x, t.right_amp1[i], t.right_centre1[i], t.right_width1[i],
                                 t.right_amp2[i], t.right_centre2[i], t.right_width2[i],
                                 t.right_amp3[i], t.right_centre3[i], t.right_width3[i]);
    }
  }
  result.response = response;
  double m = 0.5 * h;
  m = m * h;
  const double n = widen(t.slope[i]) + response;
  result.surge_m = m * n;
  return result;
}

}  // namespace frozen

// ---- Random inputs -------------------------------------------------------------

using Rng = std::mt19937_64;

template <typename T>
T pick(Rng& rng, std::initializer_list<T> values) {
  std::uniform_int_distribution<size_t> index(0, values.size() - 1);
  return values.begin()[index(rng)];
}

float bits_float(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// A coefficient: mostly plausible, often one of the values that break a curve.
float random_coefficient(Rng& rng) {
  std::uniform_int_distribution<int> kind(0, 9);
  switch (kind(rng)) {
    case 0:
      return pick<float>(
          rng, {0.0f, -0.0f, std::numeric_limits<float>::infinity(),
                -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::max(),
                std::numeric_limits<float>::denorm_min()});
    case 1:  // a NaN with a random payload and sign
      return bits_float(0x7FC00000u | static_cast<uint32_t>(rng() & 0x803FFFFFu));
    case 2:  // any bit pattern at all
      return bits_float(static_cast<uint32_t>(rng()));
    default:
      return std::uniform_real_distribution<float>(-30.0f, 30.0f)(rng);
  }
}

SiteTable random_table(Rng& rng) {
  SiteTable t{};
  for (auto column : kParameterColumns) {
    for (int i = 1; i <= kLocations; ++i) (t.*column)[i] = random_coefficient(rng);
  }
  for (int i = 1; i <= kLocations; ++i) t.slope[i] = random_coefficient(rng);
  return t;
}

int32_t random_pressure(Rng& rng) {
  std::uniform_int_distribution<int> kind(0, 5);
  switch (kind(rng)) {
    case 0:
      return pick<int32_t>(rng, {INT32_MIN, INT32_MIN + 1, -1, 0, 1013, 1014, INT32_MAX});
    case 1:
      return static_cast<int32_t>(rng());
    default:
      return std::uniform_int_distribution<int32_t>(850, 1030)(rng);
  }
}

int32_t random_radius(Rng& rng) {
  std::uniform_int_distribution<int> kind(0, 5);
  switch (kind(rng)) {
    case 0:
      return pick<int32_t>(rng, {INT32_MIN, -25, -1, 0, 24, 25, 26, INT32_MAX});
    case 1:
      return static_cast<int32_t>(rng());
    default:
      return std::uniform_int_distribution<int32_t>(-5, 80)(rng);
  }
}

// A distance: often one that puts X on a chosen side of a range bound, so that
// every curve, the shift and the bounds themselves are reached.
double random_distance(Rng& rng, int32_t radius) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  std::uniform_int_distribution<int> kind(0, 9);
  switch (kind(rng)) {
    case 0:
      return pick<double>(rng, {0.0, -0.0, kInf, -kInf, std::numeric_limits<double>::quiet_NaN(),
                                -std::numeric_limits<double>::quiet_NaN(), 1e308, -1e308,
                                std::numeric_limits<double>::denorm_min()});
    case 1: {
      double target = pick<double>(rng, {-6.0, 0.0, 10.0, 25.0, 0.834});
      return (target + static_cast<double>(0.834f)) * radius;
    }
    case 2:
      return std::uniform_real_distribution<double>(-1e6, 1e6)(rng);
    default: {
      double x = std::uniform_real_distribution<double>(-8.0, 28.0)(rng);
      return (x + static_cast<double>(0.834f)) * radius;
    }
  }
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(SurgeDifferential, IntegerCasesGiveTheFrozenEvaluationBitForBit) {
  platform::enable_flush_to_zero();
  Rng rng(20261207);
  constexpr int kTables = 200;
  constexpr int kCasesPerTable = 5000;
  int mismatches = 0;
  for (int table_no = 0; table_no < kTables; ++table_no) {
    const SiteTable table = random_table(rng);
    for (int n = 0; n < kCasesPerTable; ++n) {
      CaseInput in;
      in.location = static_cast<int16_t>(std::uniform_int_distribution<int>(1, 20)(rng));
      in.pressure_mb = random_pressure(rng);
      in.radius_km = random_radius(rng);
      in.distance_km = random_distance(rng, in.radius_km);

      const CaseResult want = frozen::evaluate_surge(in, table);
      const StormCase storm{in.location, static_cast<double>(in.pressure_mb),
                            static_cast<double>(in.radius_km), in.distance_km};
      for (const CaseResult& got : {evaluate_surge(in, table), evaluate_surge(storm, table)}) {
        const bool same = same_bits(got.surge_m, want.surge_m) &&
                          same_bits(got.response, want.response) && got.side == want.side;
        if (!same && ++mismatches <= 10) {
          ADD_FAILURE() << "table " << table_no << " location " << in.location << " pressure "
                        << in.pressure_mb << " radius " << in.radius_km << " distance "
                        << in.distance_km << ": surge " << got.surge_m << " vs " << want.surge_m
                        << ", response " << got.response << " vs " << want.response << ", side '"
                        << got.side << "' vs '" << want.side << "'";
        }
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// A storm grid evaluated as the studies do: one response per location,
// radius and distance, reused for every pressure. Each surge must be
// evaluate_surge's, bit for bit, on plausible and absurd tables alike. A NaN
// only has to be a NaN: which of two NaN operands an instruction passes on
// follows the operand order the compiler picks at each call site, and no
// output shows a NaN's sign or payload.
TEST(SurgeDifferential, OneResponseForEveryPressureGivesEvaluateSurgeBitForBit) {
  platform::enable_flush_to_zero();
  Rng rng(7);
  int mismatches = 0, finite = 0;
  for (int table_no = 0; table_no < 100; ++table_no) {
    const SiteTable table = random_table(rng);
    std::vector<double> pressures;
    for (int p = 0; p < 12; ++p) {
      // Real pressures too: the studies sample them.
      pressures.push_back(p % 3 == 0 ? std::uniform_real_distribution<double>(850, 1013)(rng)
                                     : static_cast<double>(random_pressure(rng)));
    }
    for (int n = 0; n < 300; ++n) {
      const int location = std::uniform_int_distribution<int>(1, 20)(rng);
      const double radius = n % 4 == 0 ? std::uniform_real_distribution<double>(5, 70)(rng)
                                       : static_cast<double>(random_radius(rng));
      const double distance = random_distance(rng, static_cast<int32_t>(radius));
      const Response part = evaluate_response(location, radius, distance, table);
      for (double pressure : pressures) {
        const double surge = surge_from(pressure_factor(pressure), part.response, table.slope[location]);
        const CaseResult want = evaluate_surge(StormCase{location, pressure, radius, distance}, table);
        finite += std::isfinite(surge) ? 1 : 0;
        const bool same_surge =
            same_bits(surge, want.surge_m) || (std::isnan(surge) && std::isnan(want.surge_m));
        const bool same = same_surge && same_bits(part.x, want.x) &&
                          same_bits(part.response, want.response) && part.side == want.side &&
                          part.curve == want.curve;
        if (!same && ++mismatches <= 10) {
          ADD_FAILURE() << "table " << table_no << " location " << location << " pressure "
                        << pressure << " radius " << radius << " distance " << distance
                        << ": surge " << surge << " vs " << want.surge_m;
        }
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_GT(finite, 100000);  // most of the grid is ordinary numbers
}

// The responses of a whole run of cases, as the ensemble takes them, against
// evaluate_response one case at a time: the same response bits and curve,
// on runs of every length around the model's inner run of 64 cases, with
// curves mixed from one case to the next.
TEST(SurgeDifferential, ResponsesOfARunAreEvaluateResponseBitForBit) {
  platform::enable_flush_to_zero();
  Rng rng(24);
  int mismatches = 0, cases = 0;
  for (int table_no = 0; table_no < 60; ++table_no) {
    const SiteTable table = random_table(rng);
    for (size_t length : {0, 1, 63, 64, 65, 200}) {
      const int location = std::uniform_int_distribution<int>(1, 20)(rng);
      std::vector<double> radius(length), distance(length), response(length, -1.0);
      std::vector<Curve> curve(length, Curve::kNone);
      for (size_t j = 0; j < length; ++j) {
        radius[j] = j % 3 == 0 ? std::uniform_real_distribution<double>(5, 70)(rng)
                               : static_cast<double>(random_radius(rng));
        distance[j] = random_distance(rng, static_cast<int32_t>(radius[j]));
      }
      evaluate_responses(location, radius, distance, table, response, curve);
      for (size_t j = 0; j < length; ++j, ++cases) {
        const Response want = evaluate_response(location, radius[j], distance[j], table);
        const bool same = (same_bits(response[j], want.response) ||
                           (std::isnan(response[j]) && std::isnan(want.response))) &&
                          curve[j] == want.curve;
        if (!same && ++mismatches <= 10) {
          ADD_FAILURE() << "table " << table_no << " location " << location << " radius "
                        << radius[j] << " distance " << distance[j] << ": response "
                        << response[j] << " vs " << want.response;
        }
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(cases, 60 * (0 + 1 + 63 + 64 + 65 + 200));
}

// The inputs above must reach every branch of the evaluation, or the
// comparison proves less than it seems to.
TEST(SurgeDifferential, RandomCasesReachEveryCurveAndTheShift) {
  platform::enable_flush_to_zero();
  Rng rng(20261207);
  const SiteTable table = random_table(rng);
  int curves[4] = {};
  int nan_x = 0, shifted = 0;
  for (int n = 0; n < 20000; ++n) {
    int32_t radius = random_radius(rng);
    double distance = random_distance(rng, radius);
    CaseResult r = evaluate_surge(CaseInput{1, 950, radius, distance}, table);
    ++curves[static_cast<int>(r.curve)];
    if (std::isnan(r.x)) ++nan_x;
    double unshifted = (distance - static_cast<double>(0.834f) * radius) / radius;
    if (!std::isnan(r.x) && !same_bits(unshifted, r.x)) ++shifted;
  }
  for (int c = 0; c < 4; ++c) EXPECT_GT(curves[c], 100) << "curve " << c;
  EXPECT_GT(nan_x, 10);
  EXPECT_GT(shifted, 100);
}

}  // namespace
}  // namespace surge
