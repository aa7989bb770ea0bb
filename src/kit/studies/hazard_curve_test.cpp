// The joint-probability method against sums written down by hand.
#include "kit/studies/hazard_curve.h"

#include <gtest/gtest.h>

#include <cmath>

#include "kit/studies/test_tables.h"

namespace kit {
namespace {

using testing::evenly_spaced_sites;
using testing::pressure_only_surge;

Storm storm(double pressure, double radius, double rate, double landfall = 0) {
  return Storm{pressure, radius, rate, landfall, 0};
}

double ceil_mm(double s) { return std::ceil(s * 1000) / 1000; }

TEST(Hazard, ReturnLevelsOfPressureOnlyStormsAreTheirSurges) {
  // With zero amplitudes each storm's surge is 0.5 h^2 wherever it lands.
  // Cumulative rates from the highest surge down: 0.002, 0.012, 0.042, 0.142.
  // T-year rates -ln(1 - 1/T): 10: 0.1054, 25: 0.0408, 50: 0.0202,
  // 100: 0.01005, 200: 0.00501, 500: 0.002002.
  StormSet set;
  set.has_landfall = true;
  set.storms = {storm(900, 30, 0.002, 40), storm(920, 20, 0.01, 70), storm(940, 40, 0.03, 10),
                storm(960, 50, 0.1, 90)};
  HazardSpec setup;
  setup.return_periods = {10, 25, 50, 100, 200, 500};
  auto results = compute_hazard(setup, set, testing::zero_amplitude_table(),
                                evenly_spaced_sites(10), 2);
  const double s940 = pressure_only_surge(940), s920 = pressure_only_surge(920),
               s960 = pressure_only_surge(960);
  const std::vector<double> expected = {ceil_mm(s960), ceil_mm(s940), ceil_mm(s940),
                                        ceil_mm(s920), ceil_mm(s920), ceil_mm(s920)};
  for (int k : {1, 5, 17}) {
    EXPECT_EQ(results[k - 1].levels_m, expected) << k;
    EXPECT_DOUBLE_EQ(results[k - 1].rate_kept, 0.142);
  }
  // Location 20 lies at 190 km, right of every landfall; 18 at 170 km too.
  EXPECT_EQ(results[19].rate_left_out, 0.0);
  EXPECT_EQ(results[19].levels_m, expected);
  // Location 2 at 10 km: the storm landing at 10 km is left out only at 18 to 20.
  EXPECT_EQ(results[1].rate_left_out, 0.0);
}

TEST(Hazard, IntegratesTheCoastAndLeavesOutLandfallsRightOfBridges) {
  StormSet set;
  set.storms = {storm(930, 30, 1e-4), storm(950, 30, 4e-4)};
  HazardSpec setup;
  setup.integrate_coast = true;
  setup.coast_from_km = 0;
  setup.coast_to_km = 300;
  setup.step_km = 1;
  setup.return_periods = {100};
  std::vector<Site> sites = evenly_spaced_sites(10);
  sites[18].alongshore_km = 100;  // location 19: landfalls 0.5 to 99.5 km kept
  auto results = compute_hazard(setup, set, testing::zero_amplitude_table(), sites, 1);
  // Location 5 at 40 km: landfalls from 195 km on put X at or below -6, beyond
  // every fitted curve, and are left out.
  EXPECT_NEAR(results[4].rate_kept, 5e-4 * 195, 1e-15);
  EXPECT_NEAR(results[4].rate_left_out, 5e-4 * 105, 1e-15);
  EXPECT_NEAR(results[18].rate_kept, 5e-4 * 100, 1e-15);
  EXPECT_NEAR(results[18].rate_left_out, 5e-4 * 200, 1e-15);
  // Location 5: the 950 mb storm alone comes 0.12 times a year, more often
  // than once in 100 years (0.01005), and the 930 mb one 0.03 times a year.
  EXPECT_EQ(results[4].levels_m[0], ceil_mm(pressure_only_surge(930)));
  // Location 19: 0.01 and 0.04 per year; 0.01 is just rare enough.
  EXPECT_EQ(results[18].levels_m[0], ceil_mm(pressure_only_surge(950)));
}

TEST(Hazard, CoastGridUsesWholeStepsAndMidpoints) {
  CoastGrid g = make_coast_grid(10, 13, 1);
  EXPECT_EQ(g.landfall_km, (std::vector<double>{10.5, 11.5, 12.5}));
  EXPECT_EQ(g.width_km, 1.0);
  g = make_coast_grid(0, 10, 4);  // shortened to 3 steps of 10/3 km
  ASSERT_EQ(g.landfall_km.size(), 3u);
  EXPECT_DOUBLE_EQ(g.width_km, 10.0 / 3);
  EXPECT_DOUBLE_EQ(g.landfall_km[2], 25.0 / 3);
}

TEST(ExceedanceRates, CountsOnlySurgesStrictlyAboveTheLevel) {
  ExceedanceRates r(0, 0);
  r.add(1.0, 0.5);    // exactly 1000 mm
  r.add(0.0004, 2);   // in the first millimetre
  r.add(-0.3, 7);     // never above a level of 0 or more
  r.add(NAN, 9);
  r.add(INFINITY, 9);
  r.finish();
  EXPECT_EQ(r.rate_above_mm(0), 2.5);
  EXPECT_EQ(r.rate_above_mm(1), 0.5);
  EXPECT_EQ(r.rate_above_mm(999), 0.5);
  EXPECT_EQ(r.rate_above_mm(1000), 0.0);
  EXPECT_EQ(r.rate_above_mm(kMaxLevelMm), 0.0);
  EXPECT_EQ(r.nan_cases(), 2u);
  EXPECT_EQ(r.least_level_mm(1 - std::exp(-0.5)), 1);
  EXPECT_EQ(r.least_level_mm(0.39), 1000);  // 1 - exp(-0.5) = 0.3935 is too often
}

TEST(ExceedanceRates, WithAnErrorTermSumsNormalTails) {
  const double sigma_m = 0.1, sigma_rel = 0.2;
  const double surges[] = {0.3, 0.8, 1.5, 2.2, -0.2};
  const double rates[] = {0.2, 0.05, 0.01, 0.002, 1.0};
  ExceedanceRates r(sigma_m, sigma_rel);
  for (int i = 0; i < 5; ++i) r.add(surges[i], rates[i]);
  r.finish();
  auto expected = [&](double eta) {
    double sum = 0;
    for (int i = 0; i < 5; ++i) {
      const double sd = std::sqrt(sigma_m * sigma_m + sigma_rel * sigma_rel * surges[i] * surges[i]);
      sum += rates[i] * 0.5 * std::erfc((eta - surges[i]) / (sd * std::sqrt(2.0)));
    }
    return sum;
  };
  for (int64_t j : {0, 250, 800, 1500, 2600, 4000}) {
    EXPECT_NEAR(r.rate_above_mm(j), expected(j / 1000.0), 1e-15 + 1e-12 * expected(j / 1000.0))
        << j;
  }
  for (double t : {10.0, 100.0, 500.0}) {
    const int64_t level = r.least_level_mm(1 / t);
    ASSERT_GT(level, 0);
    EXPECT_LE(-std::expm1(-expected(level / 1000.0)), 1 / t) << t;
    EXPECT_GT(-std::expm1(-expected((level - 1) / 1000.0)), 1 / t) << t;
  }
}

TEST(ExceedanceRates, PoolingCasesChangesTheSumOnlyInTheSecondOrder) {
  // 40,000 surges, many sharing a 0.1 mm bin, against the plain sum.
  const double sigma_m = 0.02, sigma_rel = 0.1;
  std::vector<std::pair<double, double>> cases;
  uint64_t x = 12345;
  for (int i = 0; i < 40000; ++i) {
    x = x * 6364136223846793005ull + 1442695040888963407ull;
    const double s = 3.0 * static_cast<double>(x >> 11) * 0x1.0p-53 - 0.1;
    cases.emplace_back(s, 1e-5 * (1 + i % 7));
  }
  ExceedanceRates r(sigma_m, sigma_rel);
  for (auto [s, w] : cases) r.add(s, w);
  r.finish();
  for (int64_t j : {0, 100, 1000, 2000, 2900, 3200}) {
    const double eta = j / 1000.0;
    double exact = 0;
    for (auto [s, w] : cases) {
      const double sd = std::hypot(sigma_m, sigma_rel * s);
      exact += w * 0.5 * std::erfc((eta - s) / (sd * std::sqrt(2.0)));
    }
    EXPECT_NEAR(r.rate_above_mm(j), exact, 1e-6 * exact) << j;
  }
}

TEST(Hazard, RateNeverRisesWithTheLevel) {
  StormSet set;
  for (int p = 900; p <= 960; p += 10) {
    for (int radius = 12; radius <= 60; radius += 12) set.storms.push_back(storm(p, radius, 1e-4));
  }
  for (double sigma : {0.0, 0.15}) {
    HazardSpec setup;
    setup.integrate_coast = true;
    setup.coast_to_km = 200;
    setup.step_km = 2;
    setup.sigma_m = sigma;
    setup.sigma_rel = sigma;
    setup.return_periods = {50};
    setup.want_curve = true;
    setup.curve_step_mm = 10;
    auto results = compute_hazard(setup, set, testing::worked_example_table(),
                                  evenly_spaced_sites(10), 2);
    for (const BridgeHazard& h : results) {
      ASSERT_GT(h.curve.size(), 5u);
      for (size_t i = 1; i < h.curve.size(); ++i) {
        EXPECT_LE(h.curve[i].rate_per_year, h.curve[i - 1].rate_per_year)
            << h.location << " " << h.curve[i].level_m;
      }
    }
  }
}

TEST(Hazard, GivesTheSameResultsForAnyThreadCount) {
  StormSet set;
  for (int i = 0; i < 40; ++i) set.storms.push_back(storm(895 + i, 12 + i, 1e-5 * (i + 1)));
  HazardSpec setup;
  setup.integrate_coast = true;
  setup.coast_to_km = 190;
  setup.sigma_m = 0.05;
  setup.return_periods = {10, 100};
  setup.want_curve = true;
  auto one = compute_hazard(setup, set, testing::worked_example_table(), evenly_spaced_sites(10), 1);
  auto two = compute_hazard(setup, set, testing::worked_example_table(), evenly_spaced_sites(10), 2);
  for (size_t k = 0; k < one.size(); ++k) {
    EXPECT_EQ(one[k].levels_m, two[k].levels_m);
    ASSERT_EQ(one[k].curve.size(), two[k].curve.size());
    for (size_t i = 0; i < one[k].curve.size(); ++i) {
      EXPECT_EQ(one[k].curve[i].rate_per_year, two[k].curve[i].rate_per_year);
    }
  }
}

}  // namespace
}  // namespace kit
