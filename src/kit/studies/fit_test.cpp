// The coefficient fit on simulations made from a known set: noise-free and
// noisy recovery on held-out storms, curves without rows, locations with too
// few, a solver stopped short, and independence from the thread count.
#include "kit/studies/fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "kit/coefficients/coefficients.h"
#include "kit/core/fp_environment.h"
#include "model/surge.h"

namespace kit {
namespace {

surge::SiteTable example_table() {
  CoefficientSet set;
  std::vector<Finding> errors;
  EXPECT_TRUE(load_coefficients(KIT_EXAMPLES_DIR, &set, &errors));
  return set.table;
}

// Storms over the fitted ranges with X from -7 to 27 (so some rows lie beyond
// the curves), positive distance only at locations 18 to 20 when `west_only`.
std::vector<surge::StormCase> storms(int location, int count, uint64_t seed, double x_from = -7,
                                     double x_to = 27) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> pressure(890, 960), radius(11, 65), x(x_from, x_to);
  std::vector<surge::StormCase> out;
  while (static_cast<int>(out.size()) < count) {
    const double r = radius(rng);
    const double d = (x(rng) + surge::kDistanceOrigin) * r;
    if (location >= 18 && !(d > 0)) continue;
    out.push_back({location, pressure(rng), r, d});
  }
  return out;
}

std::vector<SimulationRow> simulate(const surge::SiteTable& truth, std::initializer_list<int> at,
                                    int per_location, double noise_m, uint64_t seed) {
  std::mt19937_64 rng(seed + 1000);
  std::normal_distribution<double> noise(0, noise_m);
  std::vector<SimulationRow> rows;
  for (int location : at) {
    for (const surge::StormCase& s : storms(location, per_location, seed + location)) {
      const double surge = surge::evaluate_surge(s, truth).surge_m;
      rows.push_back({location, s.pressure_mb, s.radius_km, s.distance_km,
                      surge + (noise_m > 0 ? noise(rng) : 0.0), 1.0, rows.size() + 2});
    }
  }
  return rows;
}

// RMS difference of the two sets' surges on fresh storms at `location`.
double held_out_rms(const surge::SiteTable& fitted, const surge::SiteTable& truth, int location,
                    double x_from = -7) {
  double sum = 0;
  const std::vector<surge::StormCase> cases = storms(location, 2000, 99, x_from);
  for (const surge::StormCase& s : cases) {
    const double e = surge::evaluate_surge(s, fitted).surge_m - surge::evaluate_surge(s, truth).surge_m;
    sum += e * e;
  }
  return std::sqrt(sum / static_cast<double>(cases.size()));
}

class FitTest : public ::testing::Test {
 protected:
  void SetUp() override { use_model_fp_environment(); }
  // A base of flat curves (amplitudes of zero, a tail factor of 1e-30):
  // locations without rows keep it, and as a starting point it is of no help,
  // so what is recovered comes from the data.
  static surge::SiteTable flat() {
    surge::SiteTable t{};
    for (int i = 1; i <= surge::kLocations; ++i) {
      for (auto* width : {&t.left_width1, &t.left_width2, &t.left_width3, &t.right_width1,
                          &t.right_width2, &t.right_width3}) {
        (*width)[i] = 1;
      }
      t.tail_norm[i] = 1e30f;
      t.tail_scale[i] = -1;
    }
    return t;
  }
  const surge::SiteTable zeros_ = flat();
  const surge::SiteTable truth_ = example_table();
};

TEST_F(FitTest, NoiseFreeSimulationsComeBackWithinAMillimetre) {
  FitSettings settings;
  settings.base = &zeros_;
  settings.threads = 2;
  const FitResult result = fit_coefficients(simulate(truth_, {2, 7, 12}, 300, 0, 1), settings);
  for (const Finding& f : result.findings) ADD_FAILURE() << format_finding(f);
  for (int location : {2, 7, 12}) {
    const LocationFit& f = result.locations[location];
    EXPECT_TRUE(f.converged);
    EXPECT_EQ(f.rows, 300);
    EXPECT_EQ(f.curve_rows[0] + f.curve_rows[1] + f.curve_rows[2] + f.rows_beyond, 300);
    EXPECT_LT(f.rms, 0.001) << location;
    EXPECT_LT(f.cv_rms, 0.001) << location;
    EXPECT_GT(f.r2, 0.9999);
    EXPECT_LT(held_out_rms(result.table, truth_, location), 0.001) << location;
  }
  // Locations without rows keep the base.
  EXPECT_EQ(std::memcmp(&result.table.left_amp1[5], &zeros_.left_amp1[5], sizeof(float)), 0);
  EXPECT_EQ(result.table.tail_norm[5], 1e30f);
  EXPECT_FALSE(result.locations[5].fitted);
}

TEST_F(FitTest, FiveCentimetreNoiseComesBackWithinTwoCentimetres) {
  FitSettings settings;
  settings.base = &zeros_;
  settings.threads = 2;
  const FitResult result = fit_coefficients(simulate(truth_, {3, 16}, 800, 0.05, 2), settings);
  ASSERT_FALSE(has_error(result.findings));
  for (int location : {3, 16}) {
    const LocationFit& f = result.locations[location];
    EXPECT_LT(held_out_rms(result.table, truth_, location), 0.02) << location;
    // The residuals are the noise: its spread comes back as the constant part.
    EXPECT_NEAR(f.rms, 0.05, 0.006) << location;
    EXPECT_NEAR(f.cv_rms, 0.05, 0.008) << location;
    EXPECT_NEAR(f.sigma_m, 0.05, 0.01) << location;
    EXPECT_LT(f.sigma_rel, 0.02) << location;
    EXPECT_LT(std::fabs(f.bias), 0.01) << location;
    // Standard errors exist for every fitted coefficient.
    for (double se : f.std_error) EXPECT_TRUE(std::isfinite(se) && se >= 0);
  }
}

TEST_F(FitTest, ACurveWithoutRowsKeepsTheBaseOrZeroAmplitudesWithAWarning) {
  // Location 19 takes landfalls west of the bridge only: X > 0 here.
  std::vector<SimulationRow> rows;
  for (const surge::StormCase& s : storms(19, 200, 5, 1, 27)) {
    rows.push_back({19, s.pressure_mb, s.radius_km, s.distance_km,
                    surge::evaluate_surge(s, truth_).surge_m, 1, rows.size() + 2});
  }
  FitSettings settings;
  // Without a base the other locations are errors; location 19 is still fitted.
  FitResult result = fit_coefficients(rows, settings);
  ASSERT_EQ(result.findings.size(), 20u);
  EXPECT_EQ(format_finding(result.findings[18]),
            "simulations: warning: location 19: the RIGHT curve has 0 rows in its range, fewer "
            "than the 18 needed to fit it: it keeps amplitudes of zero");
  EXPECT_EQ(result.table.right_amp1[19], 0.0f);
  EXPECT_EQ(result.table.right_amp2[19], 0.0f);
  EXPECT_EQ(result.table.right_amp3[19], 0.0f);
  EXPECT_TRUE(result.locations[19].curve_fitted[0]);
  EXPECT_FALSE(result.locations[19].curve_fitted[2]);
  EXPECT_TRUE(std::isnan(result.locations[19].std_error[12]));  // right_amp1: not fitted
  EXPECT_LT(held_out_rms(result.table, truth_, 19, 1), 0.001);  // in the same domain, X > 1

  settings.base = &truth_;
  result = fit_coefficients(rows, settings);
  ASSERT_EQ(result.findings.size(), 1u);
  EXPECT_NE(result.findings[0].message.find("it keeps the base set's coefficients"),
            std::string::npos);
  for (int k = 12; k < surge::kParameterCount; ++k) {
    EXPECT_EQ((result.table.*surge::kParameterColumns[k])[19],
              (truth_.*surge::kParameterColumns[k])[19]);
  }
}

TEST_F(FitTest, ATailWithTooFewRowsIsNamedAtTheBoundary) {
  // 5 tail rows are one short of the 6 its three coefficients need; 6 fit it.
  for (int tail_rows : {5, 6}) {
    std::vector<SimulationRow> rows = simulate(truth_, {4}, 200, 0, 7);
    std::erase_if(rows, [&](const SimulationRow& r) {
      const double x = (r.distance_km - surge::kDistanceOrigin * r.radius_km) / r.radius_km;
      return x > 10 && x <= 25;
    });
    for (int i = 0; i < tail_rows; ++i) {
      const surge::StormCase s{4, 930, 40, (12 + 2 * i + surge::kDistanceOrigin) * 40};
      rows.push_back({4, s.pressure_mb, s.radius_km, s.distance_km,
                      surge::evaluate_surge(s, truth_).surge_m, 1, 0});
    }
    FitSettings settings;
    settings.base = &zeros_;
    const FitResult result = fit_coefficients(rows, settings);
    EXPECT_EQ(result.locations[4].curve_rows[1], tail_rows);
    EXPECT_EQ(result.locations[4].curve_fitted[1], tail_rows == 6);
    EXPECT_EQ(result.findings.size(), tail_rows == 6 ? 0u : 1u);
    if (tail_rows == 5) {
      EXPECT_NE(result.findings[0].message.find("the tail curve has 5 rows"), std::string::npos);
    }
  }
}

TEST_F(FitTest, ALocationWithFewerRowsThanCoefficientsIsAnError) {
  FitSettings settings;
  settings.base = &zeros_;
  for (int count : {21, 22}) {
    const FitResult result = fit_coefficients(simulate(truth_, {9}, count, 0, 3), settings);
    if (count == 21) {
      ASSERT_EQ(result.findings.size(), 1u);
      EXPECT_EQ(format_finding(result.findings[0]),
                "simulations: error: location 9: 21 rows, fewer than its 22 coefficients");
      EXPECT_FALSE(result.locations[9].converged);
    } else {
      EXPECT_FALSE(has_error(result.findings));  // curves may be warned about, not the location
    }
  }
}

TEST_F(FitTest, EveryLocationNeedsRowsWithoutABase) {
  const FitResult result = fit_coefficients(simulate(truth_, {1}, 100, 0, 4), FitSettings{});
  int errors = 0;
  for (const Finding& f : result.findings) {
    if (f.severity != Severity::kError) continue;
    ++errors;
    EXPECT_NE(f.message.find("no rows, and no base set"), std::string::npos) << f.message;
    EXPECT_EQ(f.message.find("location 1:"), std::string::npos);
  }
  EXPECT_EQ(errors, 19);
}

TEST_F(FitTest, ASolverStoppedShortIsNamed) {
  FitSettings settings;
  settings.base = &zeros_;
  settings.max_iterations = 1;
  const FitResult result = fit_coefficients(simulate(truth_, {6}, 100, 0.05, 5), settings);
  ASSERT_TRUE(has_error(result.findings));
  EXPECT_NE(result.findings.back().message.find("location 6: the fit does not converge"),
            std::string::npos);
  EXPECT_FALSE(result.locations[6].converged);
}

TEST_F(FitTest, TheResultDoesNotDependOnTheThreadCount) {
  const std::vector<SimulationRow> rows = simulate(truth_, {1, 8, 20}, 120, 0.05, 6);
  FitSettings settings;
  settings.base = &truth_;
  settings.threads = 1;
  const FitResult one = fit_coefficients(rows, settings);
  settings.threads = 2;
  const FitResult two = fit_coefficients(rows, settings);
  EXPECT_EQ(std::memcmp(&one.table, &two.table, sizeof one.table), 0);
  for (int location : {1, 8, 20}) {
    EXPECT_EQ(one.locations[location].cv_rms, two.locations[location].cv_rms);
    EXPECT_EQ(one.locations[location].sigma_m, two.locations[location].sigma_m);
  }
}

TEST_F(FitTest, JumpsAreTheRoundedCurvesDifferencesAtTheRangeEnds) {
  FitSettings settings;
  settings.base = &zeros_;
  const FitResult result = fit_coefficients(simulate(truth_, {11}, 200, 0, 8), settings);
  const surge::SiteTable& t = result.table;
  const LocationFit& f = result.locations[11];
  // Just past each end, the model's own response against the curve before it.
  auto response = [&](double x) {
    const double r = 40;
    return surge::evaluate_surge(surge::StormCase{11, 940, r, (x + surge::kDistanceOrigin) * r}, t)
        .response;
  };
  EXPECT_NEAR(f.jump_0, response(1e-9) - response(-1e-9), 1e-6);
  EXPECT_NEAR(f.jump_10, response(10 + 1e-9) - response(10 - 1e-9), 1e-6);
  EXPECT_NEAR(f.jump_25, response(25 + 1e-9) - response(25 - 1e-9), 1e-6);
  EXPECT_GT(std::fabs(f.jump_25), 0.0);
  EXPECT_EQ(response(25 + 1e-9), 0.0);
}

}  // namespace
}  // namespace kit
