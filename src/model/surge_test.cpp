// Tests of the surge evaluation: worked examples, range boundaries, IEEE edge cases.
#include "model/surge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace surge {
namespace {

constexpr double kA = static_cast<double>(0.834f);  // the distance origin, in radii

// The worked example's coefficients at every location.
SiteTable example_table() {
  SiteTable t{};
  for (int i = 1; i <= kLocations; ++i) {
    t.left_amp1[i] = 1.0f, t.left_centre1[i] = 1.0f, t.left_width1[i] = 2.0f;
    t.left_amp2[i] = 0.5f, t.left_centre2[i] = 3.0f, t.left_width2[i] = 1.0f;
    t.left_amp3[i] = 0.25f, t.left_centre3[i] = 0.0f, t.left_width3[i] = 4.0f;
    t.tail_norm[i] = 2.0f, t.tail_centre[i] = 15.0f, t.tail_scale[i] = 3.0f;
    t.right_amp1[i] = 0.8f, t.right_centre1[i] = -1.0f, t.right_width1[i] = 1.5f;
    t.right_amp2[i] = 0.4f, t.right_centre2[i] = -3.0f, t.right_width2[i] = 1.0f;
    t.right_amp3[i] = 0.2f, t.right_centre3[i] = 0.5f, t.right_width3[i] = 2.0f;
    t.slope[i] = 0.1f;
  }
  return t;
}

CaseResult evaluate(int32_t pressure, int32_t radius, double distance, const SiteTable& t) {
  return evaluate_surge(CaseInput{5, pressure, radius, distance}, t);
}

// Half the squared head for a pressure, written out independently.
double half_head_squared(int32_t pressure) {
  double h = (1013.0 - pressure) / 98.06649780273438;
  return 0.5 * h * h;
}

TEST(Surge, WorkedExamples) {
  SiteTable t = example_table();
  CaseResult left = evaluate(950, 30, 60, t);
  EXPECT_EQ(left.side, kLeftLabel);
  EXPECT_NEAR(left.response, 1.240075, 5e-7);
  EXPECT_NEAR(left.surge_m, 0.276528, 5e-7);

  CaseResult right = evaluate(950, 20, 10, t);
  EXPECT_EQ(right.side, kRightLabel);
  EXPECT_NEAR(right.response, 0.839767, 5e-7);
  EXPECT_NEAR(right.surge_m, 0.193923, 5e-7);
}

TEST(Surge, ConstantsAreSinglePrecisionWidened) {
  // A distance of exactly a*R puts X at 0 (RIGHT), which needs the widened
  // single-precision a: with the decimal 0.834 the product differs.
  SiteTable t = example_table();
  EXPECT_EQ(evaluate(950, 30, kA * 30, t).side, kRightLabel);
  EXPECT_EQ(evaluate(950, 30, 0.834 * 30, t).side, kLeftLabel);
}

struct RangeCase {
  const char* what;
  int32_t radius;
  double distance;
  std::string_view side;
  enum Curve { kNone, kLeft, kTail, kRight } curve;
};

// Expected response of a curve at the X the case produces, computed in the
// test from the unshifted formula (none of these cases is shifted).
double curve_value(RangeCase::Curve curve, double x, const SiteTable& t) {
  auto g = [x](float c, float w) {
    double d = (x - c) / w;
    return std::exp(-(d * d));
  };
  switch (curve) {
    case RangeCase::kLeft:
      return (t.left_amp1[5] * g(t.left_centre1[5], t.left_width1[5]) +
              t.left_amp2[5] * g(t.left_centre2[5], t.left_width2[5])) +
             t.left_amp3[5] * g(t.left_centre3[5], t.left_width3[5]);
    case RangeCase::kRight:
      return (t.right_amp1[5] * g(t.right_centre1[5], t.right_width1[5]) +
              t.right_amp2[5] * g(t.right_centre2[5], t.right_width2[5])) +
             t.right_amp3[5] * g(t.right_centre3[5], t.right_width3[5]);
    case RangeCase::kTail: {
      double tt = std::exp((x - t.tail_centre[5]) / t.tail_scale[5]);
      return static_cast<double>(1.0f / t.tail_norm[5]) * tt * std::exp(-tt);
    }
    case RangeCase::kNone:
      return 0;
  }
  return 0;
}

TEST(Surge, RangeBoundariesPickCurveAndSide) {
  SiteTable t = example_table();
  const RangeCase cases[] = {
      // Radius 1 km: X = distance - a exactly; X above a is never shifted.
      {"X = 10 is the LEFT curve", 1, 10 + kA, kLeftLabel, RangeCase::kLeft},
      {"X just above 10 is the tail", 1, std::nextafter(10 + kA, 100), kLeftLabel, RangeCase::kTail},
      {"X = 25 is the tail", 1, 25 + kA, kLeftLabel, RangeCase::kTail},
      {"X just above 25 has no curve", 1, std::nextafter(25 + kA, 100), kLeftLabel, RangeCase::kNone},
      {"X = -6 has no curve", 1, kA - 6, kRightLabel, RangeCase::kNone},
      {"X just above -6 is the RIGHT curve", 1, std::nextafter(kA - 6, 0), kRightLabel, RangeCase::kRight},
      {"X = 0 is RIGHT", 30, kA * 30, kRightLabel, RangeCase::kRight},
      {"positive distance below a*R is RIGHT", 30, 20, kRightLabel, RangeCase::kRight},
      {"775.1 km at 30 km passes 25", 30, 775.1, kLeftLabel, RangeCase::kNone},
      {"775.0 km at 30 km is the tail", 30, 775.0, kLeftLabel, RangeCase::kTail},
      {"-155 km at 30 km is beyond -6", 30, -155.0, kRightLabel, RangeCase::kNone},
      {"-154.9 km at 30 km is the RIGHT curve", 30, -154.9, kRightLabel, RangeCase::kRight},
  };
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(c.what);
    CaseResult r = evaluate(950, c.radius, c.distance, t);
    EXPECT_EQ(r.side, c.side);
    double x = (c.distance - kA * c.radius) / c.radius;
    EXPECT_DOUBLE_EQ(r.response, curve_value(c.curve, x, t));
    if (c.curve != RangeCase::kNone) {
      EXPECT_NE(r.response, 0);
    }
    EXPECT_DOUBLE_EQ(r.surge_m, half_head_squared(950) * (0.1f + r.response));
  }
}

TEST(Surge, SmallRadiusShift) {
  SiteTable t = example_table();
  // 20 km at 24 km: X = (20 - a*24)/24 is just below 0, and the shift
  // q*(-1.035) + 0.16037 with q = 0.04 moves it into the LEFT range.
  CaseResult shifted = evaluate(950, 24, 20, t);
  EXPECT_EQ(shifted.side, kLeftLabel);
  double x = (20 - kA * 24) / 24;
  x = x + (0.04 * static_cast<double>(-1.035f) + static_cast<double>(0.16037f));
  EXPECT_DOUBLE_EQ(shifted.response, curve_value(RangeCase::kLeft, x, t));

  // Radius 25 is never shifted: the same small negative X stays RIGHT.
  EXPECT_EQ(evaluate(950, 25, 20.8, t).side, kRightLabel);

  // X above a is not shifted even for a small radius.
  CaseResult far = evaluate(950, 20, 40, t);
  double x_far = (40 - kA * 20) / 20;
  EXPECT_DOUBLE_EQ(far.response, curve_value(RangeCase::kLeft, x_far, t));

  // s = a + X not above 0: no shift, X stays negative.
  CaseResult behind = evaluate(950, 20, -10, t);
  double x_behind = (-10 - kA * 20) / 20;
  EXPECT_DOUBLE_EQ(behind.response, curve_value(RangeCase::kRight, x_behind, t));
}

TEST(Surge, PressureHead) {
  SiteTable t = example_table();
  EXPECT_EQ(evaluate(1013, 30, 60, t).surge_m, 0.0);
  EXPECT_EQ(evaluate(1020, 30, 60, t).surge_m, evaluate(1006, 30, 60, t).surge_m);
  // Extreme pressures cannot overflow the integer difference.
  double extreme = evaluate(std::numeric_limits<int32_t>::min(), 30, 60, t).surge_m;
  EXPECT_TRUE(std::isfinite(extreme));
  EXPECT_GT(extreme, 0);
}

TEST(Surge, RadiusZeroAndNotANumber) {
  SiteTable t = example_table();
  const double slope_only = half_head_squared(950) * static_cast<double>(0.1f);
  CaseResult ahead = evaluate(950, 0, 10, t);
  EXPECT_EQ(ahead.side, kLeftLabel);
  EXPECT_EQ(ahead.response, 0);
  EXPECT_DOUBLE_EQ(ahead.surge_m, slope_only);

  CaseResult behind = evaluate(950, 0, -10, t);
  EXPECT_EQ(behind.side, kRightLabel);
  EXPECT_EQ(behind.response, 0);
  EXPECT_DOUBLE_EQ(behind.surge_m, slope_only);

  CaseResult undefined = evaluate(950, 0, 0, t);  // 0/0
  EXPECT_TRUE(undefined.side.empty());
  EXPECT_EQ(undefined.response, 0);
  EXPECT_DOUBLE_EQ(undefined.surge_m, slope_only);

  CaseResult nan_distance = evaluate(950, 30, std::nan(""), t);
  EXPECT_TRUE(nan_distance.side.empty());
  EXPECT_DOUBLE_EQ(nan_distance.surge_m, slope_only);
}

TEST(Surge, ZeroCoefficientsGiveIeeeResults) {
  SiteTable t = example_table();
  t.left_width1[5] = 0;  // Gaussian 1 collapses to 0 away from its centre ...
  CaseResult away = evaluate(950, 30, 60, t);
  EXPECT_NEAR(away.response, curve_value(RangeCase::kLeft, (60 - kA * 30) / 30, example_table()) -
                                 std::exp(-std::pow((60 - kA * 30) / 30 - 1.0, 2) / 4), 1e-12);
  CaseResult at_centre = evaluate(950, 1, 1 + kA, t);  // ... and is 0/0 at X = 1, its centre
  EXPECT_TRUE(std::isnan(at_centre.response));
  EXPECT_TRUE(std::isnan(at_centre.surge_m));

  SiteTable tail = example_table();
  tail.tail_norm[5] = 0;  // 1/0 in single precision is +infinity
  CaseResult r = evaluate(950, 1, 15 + kA, tail);
  EXPECT_TRUE(std::isinf(r.surge_m));
  EXPECT_GT(r.surge_m, 0);
}

TEST(Surge, RepeatableWhateverCameBefore) {
  SiteTable t = example_table();
  CaseResult first = evaluate(950, 30, 60, t);
  evaluate(900, 0, 0, t);
  evaluate(1013, 12, -40, t);
  CaseResult again = evaluate(950, 30, 60, t);
  EXPECT_EQ(first.surge_m, again.surge_m);
  EXPECT_EQ(first.side, again.side);
}

}  // namespace
}  // namespace surge
