// The worst-landfall search against a brute-force scan: on the example table,
// on tables built to put the maximum on each boundary, and on random tables.
#include "kit/studies/landfall.h"

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <functional>
#include <random>

#include "kit/coefficients/coefficients.h"
#include "kit/core/fp_environment.h"

namespace kit {
namespace {

using surge::Curve;
using surge::SiteTable;
using surge::StormCase;

constexpr double kTolerance = 1e-9;  // metres

surge::CaseResult at(const SiteTable& t, int loc, double p, double r, double d) {
  return surge::evaluate_surge(StormCase{loc, p, r, d}, t);
}

// The largest surge on a dense grid of distances (0.001 radii; 0.0001 radii
// where the small-radius shift acts), plus the exact edges of every change of
// curve or jump in X between grid neighbours, found by bisection to adjacent
// doubles. Only where a fitted curve applies and the calculator takes the
// landfall (a positive distance at locations 18 to 20) does a surge count.
double brute_force_max(const SiteTable& t, int loc, double p, double r) {
  double best = -INFINITY;
  auto visit = [&](double d) {
    surge::CaseResult c = at(t, loc, p, r, d);
    const bool counts = c.curve != surge::Curve::kNone && !(loc >= 18 && !(d > 0));
    if (counts && c.surge_m > best) best = c.surge_m;
    return c;
  };
  auto scan = [&](double from, double to, double step) {
    surge::CaseResult prev = visit(from);
    double prev_d = from;
    for (long i = 1; from + i * step <= to; ++i) {
      const double d = from + i * step;
      const surge::CaseResult c = visit(d);
      if (c.curve != prev.curve || std::fabs(c.x - prev.x) > 100 * step / r) {
        double lo = prev_d, hi = d;
        const double x_lo = prev.x, x_hi = c.x;
        while (std::nextafter(lo, hi) != hi) {
          const double mid = lo + (hi - lo) / 2;
          if (mid == lo || mid == hi) break;
          const surge::CaseResult m = visit(mid);
          const bool like_lo =
              m.curve == prev.curve && std::fabs(m.x - x_lo) < std::fabs(m.x - x_hi);
          (like_lo ? lo : hi) = mid;
        }
        visit(lo);
        visit(hi);
      }
      prev = c;
      prev_d = d;
    }
  };
  const double a = 0.834f;
  scan(r * (-7 + a), r * (26 + a), 0.001 * r);
  scan(-0.05 * r, r * (2 * a + 0.05), 0.0001 * r);
  return best;
}

void expect_true_maximum(const SiteTable& t, int loc, double p, double r) {
  const WorstLandfall w = worst_over_distance(t, loc, p, r);
  const double brute = brute_force_max(t, loc, p, r);
  EXPECT_GE(w.result.surge_m, brute - kTolerance)
      << "location " << loc << " pressure " << p << " radius " << r;
  // Attained where reported, exactly.
  EXPECT_EQ(at(t, loc, p, r, w.distance_km).surge_m, w.result.surge_m);
}

class WorstLandfallTest : public ::testing::Test {
 protected:
  void SetUp() override { use_model_fp_environment(); }
};

TEST_F(WorstLandfallTest, ExampleTableMatchesBruteForce) {
  CoefficientSet set;
  std::vector<Finding> errors;
  ASSERT_TRUE(load_coefficients(KIT_EXAMPLES_DIR, &set, &errors));
  for (int loc = 1; loc <= surge::kLocations; ++loc) {
    for (double r : {11.0, 18.0, 24.0, 24.9, 25.0, 40.0, 65.0}) {
      expect_true_maximum(set.table, loc, 930, r);
    }
  }
  expect_true_maximum(set.table, 7, 1040, 20);  // h < 0: still the largest surge
}

// One location's coefficients: three LEFT Gaussians, a tail, three RIGHT.
struct Row {
  float left[9], tail[3], right[9], slope;
};

SiteTable table_of(const Row& row) {
  SiteTable t{};
  for (int k = 0; k < 9; ++k) (t.*surge::kParameterColumns[k])[1] = row.left[k];
  for (int k = 0; k < 3; ++k) (t.*surge::kParameterColumns[9 + k])[1] = row.tail[k];
  for (int k = 0; k < 9; ++k) (t.*surge::kParameterColumns[12 + k])[1] = row.right[k];
  t.slope[1] = row.slope;
  return t;
}

// Tables whose maximum sits on a range boundary or at a shift jump.
TEST_F(WorstLandfallTest, MaximumOnEachBoundary) {
  struct Case {
    const char* name;
    Row row;
    double radius;
    Curve curve;
    double x;  // where the maximum is, approached from inside the curve's range
  };
  const float kSmall[9] = {0.01f, 5, 1, 0, 0, 1, 0, 0, 1};  // a low bump
  auto row = [&](std::initializer_list<float> left, std::initializer_list<float> tail,
                 std::initializer_list<float> right) {
    Row r{};
    std::copy(kSmall, kSmall + 9, r.left);
    std::copy(kSmall, kSmall + 9, r.right);
    std::copy(left.begin(), left.end(), r.left);
    std::copy(tail.begin(), tail.end(), r.tail);
    std::copy(right.begin(), right.end(), r.right);
    r.slope = 0.5f;
    return r;
  };
  // Radius 11: the shifted RIGHT branch ends, open, as X approaches this.
  const double shifted_end = 0.56 * double{-1.035f} + double{0.16037f};
  const Case cases[] = {
      {"LEFT rising to X = 10", row({3, 14, 4}, {1, 15, -5}, {}), 40, Curve::kLeft, 10},
      {"LEFT falling from X = 0+", row({3, -1, 1}, {100, 15, -5}, {}), 40, Curve::kLeft, 0},
      {"RIGHT rising to X = 0", row({}, {100, 15, -5}, {3, 1, 1}), 40, Curve::kRight, 0},
      {"RIGHT falling from X = -6+", row({}, {100, 15, -5}, {3, -8, 1}), 40, Curve::kRight, -6},
      {"tail rising to X = 25", row({}, {0.2f, 40, 5}, {}), 40, Curve::kTail, 25},
      {"tail falling from X = 10+", row({}, {0.2f, 5, -5}, {}), 40, Curve::kTail, 10},
      // X climbs to -a at the landfall point, then the shift moves it to -0.715.
      {"RIGHT peak in the gap before the shift", row({}, {100, 15, -5}, {3, -0.78f, 0.03f}), 24,
       Curve::kRight, -0.834},
      {"RIGHT peak beyond the shifted branch's end", row({}, {100, 15, -5}, {3, -0.2f, 0.2f}),
       11, Curve::kRight, shifted_end},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SiteTable t = table_of(c.row);
    const WorstLandfall w = worst_over_distance(t, 1, 930, c.radius);
    EXPECT_EQ(w.result.curve, c.curve);
    EXPECT_NEAR(w.result.x, c.x, 1e-6);
    EXPECT_GE(w.result.surge_m, brute_force_max(t, 1, 930, c.radius) - kTolerance);
  }
}

TEST_F(WorstLandfallTest, RandomTablesMatchBruteForce) {
  std::mt19937_64 random(20261207);
  auto uniform = [&](double lo, double hi) {
    return static_cast<float>(std::uniform_real_distribution<double>(lo, hi)(random));
  };
  for (int trial = 0; trial < 12; ++trial) {
    SiteTable t{};
    for (int loc = 1; loc <= surge::kLocations; ++loc) {
      float* left[9] = {&t.left_amp1[loc], &t.left_centre1[loc], &t.left_width1[loc],
                        &t.left_amp2[loc], &t.left_centre2[loc], &t.left_width2[loc],
                        &t.left_amp3[loc], &t.left_centre3[loc], &t.left_width3[loc]};
      float* right[9] = {&t.right_amp1[loc], &t.right_centre1[loc], &t.right_width1[loc],
                         &t.right_amp2[loc], &t.right_centre2[loc], &t.right_width2[loc],
                         &t.right_amp3[loc], &t.right_centre3[loc], &t.right_width3[loc]};
      for (int g = 0; g < 3; ++g) {
        *left[3 * g] = uniform(-2, 10);
        *left[3 * g + 1] = uniform(-3, 14);
        *left[3 * g + 2] = uniform(0.2, 4);
        *right[3 * g] = uniform(-2, 5);
        *right[3 * g + 1] = uniform(-9, 3);
        *right[3 * g + 2] = uniform(0.2, 3);
      }
      t.tail_norm[loc] = uniform(0.1, 12);
      t.tail_centre[loc] = uniform(0, 35);
      t.tail_scale[loc] = uniform(2, 8) * (trial % 2 ? 1 : -1);
      t.slope[loc] = uniform(-0.5, 1.5);
    }
    const double radius = (trial % 4 == 0) ? 24.5 : 11 + 4 * trial;
    for (int loc = 1; loc <= surge::kLocations; ++loc) {
      expect_true_maximum(t, loc, trial % 3 ? 930 : 1030, radius);
    }
  }
}

TEST_F(WorstLandfallTest, RadiusRangeTakesTheLargestOverRadii) {
  CoefficientSet set;
  std::vector<Finding> errors;
  ASSERT_TRUE(load_coefficients(KIT_EXAMPLES_DIR, &set, &errors));
  const std::vector<int> radii = {11, 20, 30, 65};
  for (int loc : {1, 10, 20}) {
    const WorstLandfall w = worst_over_radii(set.table, loc, 930, radii);
    for (int r : radii) {
      const double s = worst_over_distance(set.table, loc, 930, r).result.surge_m;
      EXPECT_GE(w.result.surge_m, s * (1 - 1e-12));
      if (r < w.radius_km) {  // an earlier radius would have been reported
        EXPECT_LT(s, w.result.surge_m * (1 - 1e-12));
      }
    }
    EXPECT_EQ(at(set.table, loc, 930, w.radius_km, w.distance_km).surge_m, w.result.surge_m);
  }
}

// Every radius of a list that reaches the largest surge to half a millimetre
// is in the reported runs and no other, a radius that falls short lies between
// any two runs, the reported radius is the first of the list that reaches it,
// and the reach's ends are the smallest and largest such radii. The lists
// start at a radius that often reaches it, so that skipping the first radius
// changes what is reported; in the third the shift keeps 24 short.
TEST_F(WorstLandfallTest, ReachHoldsEveryRadiusThatReachesTheMaximum) {
  CoefficientSet set;
  std::vector<Finding> errors;
  ASSERT_TRUE(load_coefficients(KIT_EXAMPLES_DIR, &set, &errors));
  int first_radius_reported = 0, with_a_gap = 0;
  for (const std::vector<int>& radii :
       {std::vector<int>{17, 18, 19, 20, 25, 30, 50, 65}, std::vector<int>{11, 12, 13, 14, 15},
        std::vector<int>{20, 21, 22, 23, 24, 25, 26}}) {
    for (int loc = 1; loc <= surge::kLocations; ++loc) {
      std::vector<WorstLandfall> each;
      double best = -INFINITY;
      for (int r : radii) {
        each.push_back(worst_over_distance(set.table, loc, 930, r));
        best = std::max(best, each.back().result.surge_m);
      }
      const WorstLandfall w = worst_over_radii(set.table, loc, 930, radii);
      size_t first = 0;
      while (each[first].result.surge_m < best * (1 - 1e-12)) ++first;
      EXPECT_EQ(w.radius_km, radii[first]) << loc;
      first_radius_reported += w.radius_km == radii.front();
      double lo = 1e9, hi = -1, d_lo = 0, d_hi = 0;
      std::vector<int> reaching;
      for (size_t i = 0; i < radii.size(); ++i) {
        if (std::fabs(each[i].result.surge_m - w.result.surge_m) > 0.0005) continue;
        reaching.push_back(radii[i]);
        if (radii[i] < lo) lo = radii[i], d_lo = each[i].distance_km;
        if (radii[i] > hi) hi = radii[i], d_hi = each[i].distance_km;
      }
      EXPECT_EQ(w.reach.radius_min_km, lo) << loc;
      EXPECT_EQ(w.reach.radius_max_km, hi) << loc;
      EXPECT_EQ(w.reach.distance_at_min_km, d_lo) << loc;
      EXPECT_EQ(w.reach.distance_at_max_km, d_hi) << loc;
      // The radii of the list that the runs span, and one left out between
      // each two runs.
      std::vector<int> spanned;
      for (size_t k = 0; k < w.reach.runs.size(); ++k) {
        const RadiusRun& run = w.reach.runs[k];
        EXPECT_LE(run.first_km, run.last_km) << loc;
        for (int r : radii) {
          if (r >= run.first_km && r <= run.last_km) spanned.push_back(r);
        }
        if (k == 0) continue;
        const double previous = w.reach.runs[k - 1].last_km;
        EXPECT_TRUE(std::any_of(radii.begin(), radii.end(), [&](int r) {
          return r > previous && r < run.first_km;
        })) << loc;
      }
      EXPECT_EQ(spanned, reaching) << loc;
      with_a_gap += w.reach.runs.size() > 1;
    }
  }
  EXPECT_GT(first_radius_reported, 0);  // the first radius was the answer somewhere
  EXPECT_GT(with_a_gap, 0);             // and the radii that reach it were split somewhere
}

// A spike a hundredth of a radius wide, between grid points of the search,
// far above the rest of the curve: the search must land on it.
TEST_F(WorstLandfallTest, FindsANarrowPeak) {
  for (float centre : {3.137f, 0.4551f, 7.0093f}) {
    Row row{};
    const float left[9] = {1.0f, 2.0f, 1.5f, 40.0f, centre, 0.01f, 0.0f, 5.0f, 1.0f};
    std::copy(std::begin(left), std::end(left), row.left);
    const float right[9] = {0.5f, -2.0f, 1.0f, 0, -1, 1, 0, -1, 1};
    std::copy(std::begin(right), std::end(right), row.right);
    row.tail[0] = 1, row.tail[1] = 12, row.tail[2] = -2;
    row.slope = 0.1f;
    const SiteTable t = table_of(row);
    for (double radius : {30.0, 47.0}) {
      const WorstLandfall w = worst_over_distance(t, 1, 930, radius);
      // At the spike's centre (no small-radius shift at these radii) X = centre.
      const double peak =
          at(t, 1, 930, radius, radius * (centre + surge::kDistanceOrigin)).surge_m;
      EXPECT_GE(w.result.surge_m, peak * (1 - 1e-6)) << centre << " " << radius;
      EXPECT_NEAR(w.result.x, centre, 0.001) << centre << " " << radius;
    }
  }
}

}  // namespace
}  // namespace kit
