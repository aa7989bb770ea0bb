// The joint-probability method against sums written down by hand.
#include "kit/studies/hazard_curve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <numbers>

#include "kit/core/limits.h"
#include "kit/studies/test_tables.h"
#include "model/surge.h"

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

// The fitted reach is exact: for the largest radius a landfall just inside
// either end lies on a fitted curve, one just outside on none (at locations
// 18 to 20 the east end is the bridge itself, which the calculator refuses).
// Radii below 25 km take the small-radius shift, which moves neither end; a
// smaller radius reaches no further.
TEST(Hazard, FittedReachEndsWhereTheCurvesEnd) {
  const surge::SiteTable table = testing::worked_example_table();
  struct Row {
    int location;
    double alongshore_km, radius_km;
  };
  const Row rows[] = {{1, 25, 65}, {7, 188, 11}, {17, 460, 24.5}, {19, 527, 65}, {20, -40, 11}};
  constexpr double kNear = 1e-6;  // km
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message()
                 << "location " << row.location << " radius " << row.radius_km);
    Site site;
    site.location = row.location;
    site.alongshore_km = row.alongshore_km;
    const CoastReach reach = fitted_reach(site, row.radius_km);
    auto curve_at = [&](double landfall_km) {
      return surge::evaluate_response(row.location, row.radius_km, row.alongshore_km - landfall_km,
                                      table)
          .curve;
    };
    EXPECT_EQ(curve_at(reach.from_km + kNear), surge::Curve::kTail);
    EXPECT_EQ(curve_at(reach.from_km - kNear), surge::Curve::kNone);
    EXPECT_EQ(curve_at(reach.to_km - kNear), surge::Curve::kRight);
    if (needs_positive_distance(row.location)) {
      EXPECT_EQ(reach.to_km, row.alongshore_km);
    } else {
      EXPECT_EQ(curve_at(reach.to_km + kNear), surge::Curve::kNone);
    }
    const CoastReach smaller = fitted_reach(site, row.radius_km / 2);
    EXPECT_GT(smaller.from_km, reach.from_km);
    EXPECT_LE(smaller.to_km, reach.to_km);
  }
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

// Cases added a piece at a time give the sums of adding them one by one,
// bit for bit: both kinds of bins, pieces shorter and longer than add_all's
// own, surges growing the bins both ways, zeros, negatives, beyond the
// levels, and NaNs and infinities counted and left out.
TEST(ExceedanceRates, AddingAPieceIsAddingEachCase) {
  std::mt19937_64 rng(12);
  std::uniform_real_distribution<double> rate(0.001, 2);
  std::vector<double> surges;
  for (int i = 0; i < 3000; ++i) surges.push_back(std::ldexp(rate(rng), i % 13 - 6) - 0.01);
  const double inf = std::numeric_limits<double>::infinity();
  for (double s : {0.0, -0.0, 2000.0, -2000.0, 1.0, 1e-4, std::nan(""), inf, -inf}) {
    surges.insert(surges.begin() + static_cast<std::ptrdiff_t>(rng() % surges.size()), s);
  }
  for (const double sigma : {0.0, 0.05}) {
    ExceedanceRates one(sigma, 0), piece(sigma, 0);
    size_t at = 0;
    for (size_t length : {1, 700, 0, 255, 256, 257, 5000}) {
      const size_t end = std::min(surges.size(), at + length);
      const double w = rate(rng);
      for (size_t i = at; i < end; ++i) one.add(surges[i], w);
      piece.add_all({surges.data() + at, end - at}, w);
      at = end;
    }
    one.finish();
    piece.finish();
    EXPECT_EQ(piece.nan_cases(), 3u);
    EXPECT_EQ(piece.nan_cases(), one.nan_cases());
    for (int64_t mm : {0, 1, 10, 37, 100, 999, 1000, 5000, 30000}) {
      EXPECT_EQ(piece.rate_above_mm(mm), one.rate_above_mm(mm)) << sigma << " at " << mm;
    }
  }
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

// The responses shared by storms of one radius, and the quick tail far below
// a case, against every case evaluated whole and added in storm order: the
// same rates to the last bit, with and without an error term.
TEST(Hazard, SharedResponsesGiveTheSumsOfEveryCaseEvaluatedWhole) {
  StormSet set;
  for (int i = 0; i < 60; ++i) {
    // Radii 12 to 26.7 shared by four pressures each, then radii of their own.
    const double radius = i < 40 ? 12 + 1.5 * (i % 10) : 13.3 + 0.7 * i;
    set.storms.push_back(storm(890 + 1.25 * i, radius, 1e-5 * (1 + i % 7)));
  }
  const std::vector<Site> sites = evenly_spaced_sites(10);
  const surge::SiteTable& table = testing::worked_example_table();
  for (double sigma : {0.0, 0.08}) {
    HazardSpec setup;
    setup.integrate_coast = true;
    setup.coast_from_km = -300;
    setup.coast_to_km = 400;
    setup.step_km = 2;
    setup.sigma_m = sigma;
    setup.sigma_rel = sigma;
    setup.return_periods = {10, 100, 1000};
    setup.want_curve = true;
    setup.curve_step_mm = 50;
    const auto got = compute_hazard(setup, set, table, sites, 2);
    const CoastGrid grid = make_coast_grid(-300, 400, 2);
    for (size_t k = 0; k < sites.size(); ++k) {
      ExceedanceRates rates(sigma, sigma);
      for (const Storm& s : set.storms) {
        for (double landfall : grid.landfall_km) {
          const double d = sites[k].alongshore_km - landfall;
          if (needs_positive_distance(sites[k].location) && !(d > 0)) continue;
          const surge::CaseResult r = surge::evaluate_surge(
              surge::StormCase{sites[k].location, s.pressure_mb, s.radius_km, d}, table);
          if (r.curve != surge::Curve::kNone) rates.add(r.surge_m, s.rate * grid.width_km);
        }
      }
      rates.finish();
      for (size_t t = 0; t < 3; ++t) {
        EXPECT_EQ(got[k].levels_m[t],
                  level_of_mm(rates.least_level_mm(1 / setup.return_periods[t])))
            << "sigma " << sigma << " site " << k << " period " << t;
      }
      ASSERT_GT(got[k].curve.size(), 5u);
      for (size_t i = 0; i < got[k].curve.size(); ++i) {
        EXPECT_EQ(got[k].curve[i].rate_per_year, rates.rate_above_mm(50 * static_cast<int64_t>(i)))
            << "sigma " << sigma << " site " << k << " point " << i;
      }
    }
  }
}

// The quick tail counts a case six units or more below the level at its full
// rate: that is what erfc gives there, to the last bit.
TEST(ExceedanceRates, ErfcIsTwoFromSixUnitsBelow) {
  for (double x = -6; x > -40; x -= 1.0 / 1024) ASSERT_EQ(std::erfc(x), 2.0) << x;
  EXPECT_LT(std::erfc(-5.5), 2.0);  // and the threshold is not far too generous
}

// The sites of evenly_spaced_sites(10), each with the tide amplitude and datum offset given.
std::vector<Site> tidal_sites(double amplitude, double offset) {
  std::vector<Site> sites = evenly_spaced_sites(10);
  for (Site& s : sites) {
    s.tide_amplitude_m = amplitude;
    s.has_datum_offset = true;
    s.datum_offset_m = offset;
  }
  return sites;
}

TEST(ExceedanceRates, TheTideAloneFollowsTheArcsineLaw) {
  // P(A cos(phase) > t) = arccos(t / A) / pi, 1 at and below -A, 0 at and above A.
  const double a = 0.8;
  ExceedanceRates r(0, 0, a);
  struct Row {
    double t, p;
  } rows[] = {{-0.9, 1}, {-0.8, 1}, {-0.4, 2.0 / 3}, {0, 0.5}, {0.4, 1.0 / 3},
              {0.8 * std::sqrt(0.5), 0.25}, {0.8, 0}, {5, 0}};
  for (const Row& row : rows) EXPECT_NEAR(r.tail(row.t, 0), row.p, 1e-15) << row.t;
  // One case of surge 0.5 m and rate 2 per year: Lambda(eta) = 2 arccos((eta - 0.5) / A) / pi.
  r.add(0.5, 2);
  r.finish();
  for (int64_t j : {0, 100, 300, 500, 777, 1299, 1300, 2000}) {
    const double t = std::clamp((j / 1000.0 - 0.5) / a, -1.0, 1.0);
    EXPECT_NEAR(r.rate_above_mm(j), 2 * std::acos(t) / std::numbers::pi, 1e-12) << j;
  }
}

TEST(ExceedanceRates, TideAndErrorTogetherMatchAFineQuadrature) {
  // The phase quadrature against Simpson's rule on 20,000 panels over [0, pi],
  // where the integrand's fourth derivative keeps the rule far below 1e-10.
  struct Row {
    double amplitude, sd, t;
  } rows[] = {{0.5, 0.1, 0.3}, {0.5, 0.1, -0.55}, {1.0, 0.01, 0.2}, {1.0, 0.02, 0.999},
              {0.3, 0.3, 0.9}, {0.05, 0.4, 0.1}, {1.2, 0.004, -1.1}};
  for (const Row& row : rows) {
    ExceedanceRates r(row.sd, 0, row.amplitude);
    const int n = 20000;
    auto f = [&](double phi) {
      return 0.5 * std::erfc((row.t - row.amplitude * std::cos(phi)) / (row.sd * std::sqrt(2.0)));
    };
    double sum = f(0) + f(std::numbers::pi);
    for (int k = 1; k < n; ++k) sum += (k % 2 ? 4 : 2) * f(k * std::numbers::pi / n);
    const double expected = sum / (3 * n);
    EXPECT_NEAR(r.tail(row.t, row.sd), expected, 2e-10) << row.amplitude << " " << row.sd;
  }
}

TEST(Hazard, TotalWaterLevelsFollowTheArcsineLawToTheMillimetre) {
  // Two pressure-only storms whose surges s1 = 0.4497 m and s2 = 0.0566 m lie
  // further apart than twice the tide amplitude 0.15 m. With Lambda* =
  // -ln(1 - 1/T): above s2 + A only storm 1 counts, Lambda = r1 arccos((eta -
  // s1) / A) / pi, so eta = s1 + A cos(pi Lambda* / r1) for Lambda* < r1; below
  // s1 - A storm 1 counts whole and eta = s2 + A cos(pi (Lambda* - r1) / r2).
  StormSet set;
  set.has_landfall = true;
  const double r1 = 0.05, r2 = 0.2, a = 0.15;
  set.storms = {storm(920, 30, r1, -5), storm(980, 30, r2, -5)};
  const double s1 = pressure_only_surge(920), s2 = pressure_only_surge(980);
  ASSERT_GT(s1 - a, s2 + a);
  HazardSpec setup;
  setup.total_water = true;
  setup.return_periods = {10, 25, 50, 100, 200, 500};
  auto results = compute_hazard(setup, set, testing::zero_amplitude_table(), tidal_sites(a, 0), 2);
  std::vector<double> expected;
  for (double t : setup.return_periods) {
    const double lambda = -std::log1p(-1 / t);
    const double eta = lambda < r1 ? s1 + a * std::cos(std::numbers::pi * lambda / r1)
                                   : s2 + a * std::cos(std::numbers::pi * (lambda - r1) / r2);
    expected.push_back(ceil_mm(eta));
  }
  // By hand: T = 100 gives Lambda* = 0.0100503, eta = 0.44967 + 0.15 cos(0.63148) = 0.57074 m;
  // T = 10 gives Lambda* = 0.1053605, eta = 0.05662 + 0.15 cos(0.87138) = 0.15339 m.
  EXPECT_EQ(expected[3], 0.571);
  EXPECT_EQ(expected[0], 0.154);
  for (int k : {1, 7, 20}) {
    ASSERT_EQ(results[k - 1].levels_m.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_NEAR(results[k - 1].levels_m[i], expected[i], 1e-12) << k << " " << i;
    }
  }
}

TEST(Hazard, DatumOffsetSeaLevelRiseAndWaveSetupMoveEveryLevel) {
  StormSet set;
  set.has_landfall = true;
  set.storms = {storm(900, 30, 0.002, -5), storm(930, 20, 0.01, -5), storm(950, 40, 0.03, -5),
                storm(970, 50, 0.1, -5)};
  struct Row {
    double amplitude, sigma_m, offset, rise;
  } rows[] = {{0, 0, 0.37, 0}, {0.6, 0, 0, 0.25}, {0.6, 0, -0.4, 0.9}, {0.4, 0.08, 1.25, 0.5}};
  for (const Row& row : rows) {
    HazardSpec setup;
    setup.total_water = true;
    setup.sigma_m = row.sigma_m;
    setup.return_periods = {10, 50, 100, 500};
    setup.want_curve = true;
    const auto table = testing::zero_amplitude_table();
    const auto base = compute_hazard(setup, set, table, tidal_sites(row.amplitude, 0), 1);
    setup.sea_level_rise_m = row.rise;
    const auto moved = compute_hazard(setup, set, table, tidal_sites(row.amplitude, row.offset), 1);
    for (size_t k : {0, 9}) {
      for (size_t i = 0; i < base[k].levels_m.size(); ++i) {
        EXPECT_NEAR(moved[k].levels_m[i] - base[k].levels_m[i], row.offset + row.rise, 1e-12);
      }
      ASSERT_EQ(moved[k].curve.size(), base[k].curve.size());
      EXPECT_NEAR(moved[k].curve[3].level_m, 0.15 + row.offset + row.rise, 1e-12);
      EXPECT_EQ(moved[k].curve[3].rate_per_year, base[k].curve[3].rate_per_year);
    }
  }
  // Without tide or error a wave setup F makes each level the ceiling of (1 + F) s.
  HazardSpec setup;
  setup.total_water = true;
  setup.wave_setup = 0.25;
  setup.return_periods = {50, 200};
  const auto got =
      compute_hazard(setup, set, testing::zero_amplitude_table(), tidal_sites(0, 0), 1);
  EXPECT_EQ(got[4].levels_m, (std::vector<double>{ceil_mm(1.25 * pressure_only_surge(950)),
                                                  ceil_mm(1.25 * pressure_only_surge(930))}));
}

}  // namespace
}  // namespace kit
