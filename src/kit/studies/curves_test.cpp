// The distance grid of curves, and the samples of the model along X and
// along distance.
#include "kit/studies/curves.h"

#include <gtest/gtest.h>

#include "kit/coefficients/coefficients.h"
#include "kit/core/fp_environment.h"
#include "kit/core/number.h"

namespace kit {
namespace {

// Grid distances are the doubles of the decimals they print as.
TEST(Curves, GridDistancesPrintAsDecimals) {
  const std::vector<double> d = grid_distances(DistanceGrid{-0.3, 0.3, 0.1});
  ASSERT_EQ(d.size(), 7u);
  std::string text;
  for (double v : d) {
    append_shortest(&text, v);
    text += ' ';
  }
  EXPECT_EQ(text, "-0.3 -0.2 -0.1 0 0.1 0.2 0.3 ");
  EXPECT_EQ(grid_distances(DistanceGrid{5, 5, 1}).size(), 1u);
}

class ExampleSamples : public ::testing::Test {
 protected:
  void SetUp() override {
    use_model_fp_environment();
    std::vector<Finding> errors;
    ASSERT_TRUE(load_coefficients(KIT_EXAMPLES_DIR, &set_, &errors));
  }
  CoefficientSet set_;
};

// A sample at X = k / 100 lies on the curve whose range holds it: RIGHT on
// (-6, 0], LEFT on (0, 10], the tail on (10, 25], none beyond, with the side
// of X's sign (east of the origin, positive X, is LEFT).
TEST_F(ExampleSamples, ResponseAtEachHundredthOnTheCurveOfItsRange) {
  using surge::Curve;
  const struct {
    int k;
    Curve curve;
    std::string_view side;
  } rows[] = {
      {-700, Curve::kNone, surge::kRightLabel}, {-601, Curve::kNone, surge::kRightLabel},
      {-600, Curve::kNone, surge::kRightLabel}, {-599, Curve::kRight, surge::kRightLabel},
      {-1, Curve::kRight, surge::kRightLabel},  {0, Curve::kRight, surge::kRightLabel},
      {1, Curve::kLeft, surge::kLeftLabel},     {1000, Curve::kLeft, surge::kLeftLabel},
      {1001, Curve::kTail, surge::kLeftLabel},  {2500, Curve::kTail, surge::kLeftLabel},
      {2501, Curve::kNone, surge::kLeftLabel},  {3000, Curve::kNone, surge::kLeftLabel},
  };
  for (int location : {1, 18}) {
    for (const auto& r : rows) {
      SCOPED_TRACE("location " + std::to_string(location) + ", k " + std::to_string(r.k));
      const auto samples = sample_response(set_.table, location, r.k, r.k);
      ASSERT_EQ(samples.size(), 1u);
      EXPECT_DOUBLE_EQ(samples[0].x, r.k / 100.0);  // no small-radius shift
      EXPECT_EQ(samples[0].curve, r.curve);
      EXPECT_EQ(samples[0].side, r.side);
      if (r.curve == Curve::kNone) {
        EXPECT_EQ(samples[0].response, 0);
      }
    }
  }
}

// The report's response curves: every hundredth over all the ranges, from
// X = -6 to 25, and the tail's alone from 10.01, the same samples again.
TEST_F(ExampleSamples, ResponseCurvesCoverTheFittedRanges) {
  const ResponseCurves curves = sample_response_curves(set_.table, 7);
  ASSERT_EQ(curves.all.size(), 3101u);
  EXPECT_DOUBLE_EQ(curves.all.front().x, surge::kRightFrom);
  EXPECT_DOUBLE_EQ(curves.all.back().x, surge::kTailTo);
  ASSERT_EQ(curves.tail.size(), 1500u);
  EXPECT_DOUBLE_EQ(curves.tail.front().x, surge::kLeftTo + 0.01);
  EXPECT_DOUBLE_EQ(curves.tail.back().x, surge::kTailTo);
  for (size_t i = 0; i < curves.tail.size(); ++i) {
    EXPECT_EQ(curves.tail[i].curve, surge::Curve::kTail) << i;
    EXPECT_EQ(curves.tail[i].response, curves.all[i + 1601].response) << i;
  }
}

// A location's plot samples: the grid that spans the fitted ranges at the
// radius, and one row of surges per pressure, in the order given.
TEST_F(ExampleSamples, LocationSamplesOnePerPressure) {
  const double radius = 30;
  const LocationSamples s = sample_location(set_.table, 19, radius, {960, 900});
  EXPECT_EQ(s.location, 19);
  EXPECT_EQ(s.pressures_mb, (std::vector<int>{960, 900}));
  ASSERT_FALSE(s.distances.empty());
  EXPECT_LE(s.distances.front(), radius * (surge::kRightFrom + surge::kDistanceOrigin));
  EXPECT_GE(s.distances.back(), radius * (surge::kTailTo + surge::kDistanceOrigin));
  ASSERT_EQ(s.surges.size(), 2u);
  double largest[2] = {0, 0};
  for (size_t p = 0; p < 2; ++p) {
    ASSERT_EQ(s.surges[p].size(), s.distances.size());
    for (const surge::CaseResult& r : s.surges[p]) largest[p] = std::max(largest[p], r.surge_m);
  }
  EXPECT_GT(largest[1], largest[0]);  // the deeper storm, second, raises more water
  EXPECT_EQ(s.response.all.size(), 3101u);
}

}  // namespace
}  // namespace kit
