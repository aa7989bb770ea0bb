// Forecast ensembles against closed forms and quadrature.
#include "kit/studies/forecast.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "kit/studies/sampling.h"
#include "kit/studies/test_tables.h"
#include "model/surge.h"

namespace kit {
namespace {

using testing::evenly_spaced_sites;

double normal_cdf(double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); }

// Three standard errors of a share p estimated from n samples, plus a little
// for a quadrature's own error (about 2e-4 where it is used).
double three_se(double p, uint64_t n) {
  return 3 * std::sqrt(p * (1 - p) / static_cast<double>(n)) + 2e-4;
}

std::vector<BridgeForecast> run(const ForecastSpec& setup, const surge::SiteTable& table,
                                const std::vector<Site>& sites, int threads) {
  return run_forecast(setup, table, sites, threads).bridges;
}

TEST(Sampling, DrawsStandardNormals) {
  const CounterRandom random(42);
  const uint64_t n = 400000;
  double sum[3] = {}, squares[3] = {}, cross = 0;
  uint64_t below = 0;
  for (uint64_t i = 0; i < n; ++i) {
    Normal3 z = normal3(random, i);
    for (int k = 0; k < 3; ++k) {
      sum[k] += z.z[k];
      squares[k] += z.z[k] * z.z[k];
    }
    cross += z.z[0] * z.z[2];
    below += z.z[1] < -1.5;
  }
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(sum[k] / n, 0.0, 3 / std::sqrt(double(n))) << k;
    EXPECT_NEAR(squares[k] / n, 1.0, 3 * std::sqrt(2.0 / n)) << k;
  }
  EXPECT_NEAR(cross / n, 0.0, 3 / std::sqrt(double(n)));
  EXPECT_NEAR(double(below) / n, normal_cdf(-1.5), three_se(normal_cdf(-1.5), n));
  // A fixed function of seed and counter.
  EXPECT_EQ(CounterRandom(42).value(12345), random.value(12345));
  EXPECT_NE(CounterRandom(43).value(12345), random.value(12345));
}

TEST(Forecast, PressureAloneMatchesTheNormalDistribution) {
  // Zero amplitudes: surge = 0.5 h^2, above Z exactly when the pressure lies
  // below 1013 - 98.0665 sqrt(2 Z), so P(surge > Z) = Phi((that - P) / sd).
  ForecastSpec setup{.landfall_km = 50, .pressure_mb = 940, .radius_km = 30,
                    .sd_landfall_km = 30, .sd_pressure_mb = 10, .sd_log_radius = 0.3,
                    .samples = 200000, .seed = 5, .thresholds_m = {0.2, 0.28, 0.4}};
  auto results = run(setup, testing::zero_amplitude_table(), evenly_spaced_sites(10), 2);
  const BridgeForecast& r = results[4];
  for (size_t t = 0; t < setup.thresholds_m.size(); ++t) {
    const double p_star = 1013 - 98.0665 * std::sqrt(2 * setup.thresholds_m[t]);
    const double expected = normal_cdf((p_star - 940) / 10);
    EXPECT_NEAR(r.p_above[t], expected, three_se(expected, setup.samples)) << t;
  }
  // The surge falls as the pressure rises: its median is the median storm's.
  EXPECT_NEAR(r.median_m, testing::pressure_only_surge(940), 0.002);
  EXPECT_NEAR(r.p90_m, testing::pressure_only_surge(940 - 10 * 1.2815516), 0.004);
  EXPECT_NEAR(r.p10_m, testing::pressure_only_surge(940 + 10 * 1.2815516), 0.004);
}

TEST(Forecast, LeavesOutLandfallsRightOfBridgesEighteenToTwenty) {
  ForecastSpec setup{.landfall_km = 170, .pressure_mb = 940, .radius_km = 30,
                    .sd_landfall_km = 20, .samples = 100000, .seed = 9, .thresholds_m = {}};
  auto results = run(setup, testing::zero_amplitude_table(), evenly_spaced_sites(10), 1);
  for (int k : {18, 19, 20}) {  // at alongshore 170, 180, 190
    const double expected = 1 - normal_cdf((10.0 * (k - 1) - 170) / 20);
    const double share = double(results[k - 1].left_out) / setup.samples;
    EXPECT_NEAR(share, expected, three_se(expected, setup.samples)) << k;
    EXPECT_EQ(results[k - 1].kept + results[k - 1].left_out, setup.samples);
  }
  EXPECT_EQ(results[16].left_out, 0u);  // location 17 keeps every landfall
}

// P(surge > z) at one bridge, z > 0. Given the landfall and radius the surge
// is 0.5 h^2 n with n = slope + response, so it exceeds z exactly when
// |1013 - P| > 98.0665 sqrt(2 z / n): the pressure is integrated in closed
// form, the landfall and ln radius by the midpoint rule.
double quadrature_above(const ForecastSpec& s, const surge::SiteTable& table, const Site& site,
                        double z, int n = 800) {
  const double span = 8, h = 2 * span / n;
  std::vector<double> u(n), w(n);
  for (int i = 0; i < n; ++i) {
    u[i] = -span + (i + 0.5) * h;
    w[i] = std::exp(-0.5 * u[i] * u[i]) / std::sqrt(2 * M_PI) * h;
  }
  const double head = 98.0665;
  double total = 0;
  for (int a = 0; a < n; ++a) {
    for (int c = 0; c < n; ++c) {
      const surge::StormCase storm{site.location, s.pressure_mb,
                                   s.radius_km * std::exp(s.sd_log_radius * u[c]),
                                   site.alongshore_km - (s.landfall_km + s.sd_landfall_km * u[a])};
      const double slope_plus_response =
          double(table.slope[site.location]) + surge::evaluate_surge(storm, table).response;
      if (!(slope_plus_response > 0)) continue;
      const double deficit = head * std::sqrt(2 * z / slope_plus_response);
      const double p = normal_cdf((1013 - deficit - s.pressure_mb) / s.sd_pressure_mb) +
                       (1 - normal_cdf((1013 + deficit - s.pressure_mb) / s.sd_pressure_mb));
      total += w[a] * w[c] * p;
    }
  }
  return total;
}

TEST(Forecast, MonteCarloAgreesWithQuadrature) {
  const surge::SiteTable table = testing::worked_example_table();
  ForecastSpec setup{.landfall_km = 20, .pressure_mb = 945, .radius_km = 30,
                    .sd_landfall_km = 25, .sd_pressure_mb = 8, .sd_log_radius = 0.25,
                    .samples = 200000, .seed = 11, .thresholds_m = {0.2, 0.3}};
  std::vector<Site> sites = evenly_spaced_sites(0);
  sites[0].alongshore_km = 60;
  sites.resize(1);
  const BridgeForecast r = run(setup, table, sites, 2)[0];
  for (size_t t = 0; t < setup.thresholds_m.size(); ++t) {
    const double q = quadrature_above(setup, table, sites[0], setup.thresholds_m[t]);
    EXPECT_GT(q, 0.05);
    EXPECT_LT(q, 0.95);
    EXPECT_NEAR(r.p_above[t], q, three_se(q, setup.samples)) << setup.thresholds_m[t];
  }
  // The quantiles too: the quadrature's exceedance at each is its complement.
  EXPECT_NEAR(quadrature_above(setup, table, sites[0], r.median_m), 0.5, three_se(0.5, setup.samples));
  EXPECT_NEAR(quadrature_above(setup, table, sites[0], r.p90_m), 0.1, three_se(0.1, setup.samples));
}

TEST(Forecast, GivesTheSameResultsForAnyThreadCount) {
  const surge::SiteTable table = testing::worked_example_table();
  ForecastSpec setup{.landfall_km = 80, .pressure_mb = 930, .radius_km = 25,
                    .sd_landfall_km = 40, .sd_pressure_mb = 9, .sd_log_radius = 0.2,
                    .samples = 50001, .seed = 3, .thresholds_m = {0.5}};
  std::vector<Site> sites = evenly_spaced_sites(9);
  sites[2].has_low_chord = true;
  sites[2].low_chord_m = 0.4;
  auto one = run(setup, table, sites, 1), two = run(setup, table, sites, 2);
  for (size_t k = 0; k < sites.size(); ++k) {
    EXPECT_EQ(one[k].median_m, two[k].median_m);
    EXPECT_EQ(one[k].p10_m, two[k].p10_m);
    EXPECT_EQ(one[k].p_above, two[k].p_above);
    EXPECT_EQ(one[k].left_out, two[k].left_out);
  }
  EXPECT_GT(one[2].p_over_low_chord, 0.0);
  EXPECT_TRUE(std::isnan(one[3].p_over_low_chord));
}

// The pilot changes what is stored, never a result: with no pilot every
// bridge is evaluated a second time, with a short one the rest are filtered
// by a rough guess, with one as long as the samples nothing is filtered.
TEST(Forecast, ThePilotLeavesEveryResultAlone) {
  const surge::SiteTable table = testing::worked_example_table();
  ForecastSpec setup{.landfall_km = 60, .pressure_mb = 935, .radius_km = 25,
                    .sd_landfall_km = 50, .sd_pressure_mb = 12, .sd_log_radius = 0.3,
                    .samples = 50001, .seed = 11, .thresholds_m = {0.3, 1.1}};
  std::vector<Site> sites = evenly_spaced_sites(9);
  sites[4].has_low_chord = true;
  sites[4].low_chord_m = 0.6;
  setup.pilot_samples = 50001;
  const std::vector<BridgeForecast> whole = run(setup, table, sites, 1);
  for (uint64_t pilot : {0, 256, 4000, 65536}) {
    setup.pilot_samples = pilot;
    const std::vector<BridgeForecast> got = run(setup, table, sites, 2);
    for (size_t k = 0; k < sites.size(); ++k) {
      EXPECT_EQ(got[k].kept, whole[k].kept) << pilot << " " << k;
      EXPECT_EQ(got[k].left_out, whole[k].left_out) << pilot << " " << k;
      EXPECT_EQ(got[k].p10_m, whole[k].p10_m) << pilot << " " << k;
      EXPECT_EQ(got[k].median_m, whole[k].median_m) << pilot << " " << k;
      EXPECT_EQ(got[k].p90_m, whole[k].p90_m) << pilot << " " << k;
      EXPECT_EQ(got[k].p_above, whole[k].p_above) << pilot << " " << k;
    }
    EXPECT_EQ(got[4].p_over_low_chord, whole[4].p_over_low_chord) << pilot;
  }
  EXPECT_GT(whole[4].kept, 10000u);
  EXPECT_GT(whole[4].p_over_low_chord, 0.0);
}

TEST(Forecast, CountsPressuresWithoutADeficitAsNoSurge) {
  // Centred on 1013 mb: half the storms have no deficit, and the model's
  // surge for them would be positive.
  ForecastSpec setup{.landfall_km = 0, .pressure_mb = 1013, .radius_km = 30,
                    .sd_pressure_mb = 20, .samples = 20000, .seed = 1, .thresholds_m = {0.0}};
  const BridgeForecast r = run(setup, testing::zero_amplitude_table(), evenly_spaced_sites(1), 1)[0];
  EXPECT_NEAR(r.p_above[0], 0.5, three_se(0.5, setup.samples));
  EXPECT_EQ(r.p10_m, 0.0);  // about half the samples have no surge
}

// A landfall beyond every fitted curve is left out whatever the pressure; one
// within them with no deficit counts as no surge, and a pressure of 0 mb or
// less is no storm and is left out. Bridge 1 at alongshore 0,
// radius 30: a landfall at 0 puts X at -0.834 (RIGHT), one at +-5000 km far
// beyond the curves on either side.
TEST(Forecast, LeavesOutFarLandfallsWhateverThePressure) {
  struct Row {
    double landfall_km, pressure_mb;
    uint64_t kept;
    double median_m;
  };
  constexpr uint64_t n = 64;
  const Row rows[] = {
      {5000, 1013, 0, NAN},
      {5000, 1012, 0, NAN},
      {5000, 940, 0, NAN},
      {-5000, 1040, 0, NAN},
      {0, 1013, n, 0.0},
      {0, 1040, n, 0.0},
      {0, 940, n, testing::pressure_only_surge(940)},
      {0, 1, n, testing::pressure_only_surge(1)},  // a storm still, however deep
      {0, 0, 0, NAN},                              // no storm: left out
      {0, -50, 0, NAN},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.landfall_km << " km, " << row.pressure_mb << " mb");
    const ForecastSpec setup{.landfall_km = row.landfall_km,
                             .pressure_mb = row.pressure_mb,
                             .radius_km = 30,
                             .samples = n,
                             .seed = 3,
                             .thresholds_m = {0.0}};
    const BridgeForecast r =
        run(setup, testing::zero_amplitude_table(), evenly_spaced_sites(0), 1)[0];
    EXPECT_EQ(r.kept, row.kept);
    EXPECT_EQ(r.left_out, n - row.kept);
    if (row.kept == 0) {
      EXPECT_TRUE(std::isnan(r.median_m));
      EXPECT_TRUE(std::isnan(r.p_above[0]));
    } else {
      EXPECT_EQ(r.median_m, row.median_m);
      EXPECT_EQ(r.p_above[0], row.median_m > 0 ? 1.0 : 0.0);
    }
  }
}

TEST(Forecast, QuantilesInterpolateBetweenOrderStatistics) {
  const surge::SiteTable table = testing::worked_example_table();
  const std::vector<Site> sites = evenly_spaced_sites(0);
  for (uint64_t n : {1, 2, 3, 4, 5, 7, 10, 11, 12, 1001, 10007}) {
    ForecastSpec setup{.landfall_km = -20, .pressure_mb = 940, .radius_km = 30,
                      .sd_landfall_km = 30, .sd_pressure_mb = 10, .sd_log_radius = 0.3,
                      .samples = n, .seed = 4, .thresholds_m = {}};
    const CounterRandom random(setup.seed);
    std::vector<double> sorted;
    for (size_t i = 0; i < n; ++i) {
      const ForecastStorm s = forecast_storm(setup, random, i);
      const surge::StormCase c{1, s.pressure_mb, s.radius_km, -s.landfall_km};
      sorted.push_back(surge::evaluate_surge(c, table).surge_m);
    }
    std::sort(sorted.begin(), sorted.end());
    auto expected = [&](double p) {
      const double h = double(n - 1) * p;
      const size_t lo = size_t(h);
      const double b = lo + 1 < n ? sorted[lo + 1] : sorted[lo];
      return sorted[lo] + (h - double(lo)) * (b - sorted[lo]);
    };
    const BridgeForecast r = run_forecast(setup, table, sites, 1).bridges[0];
    EXPECT_EQ(r.p10_m, expected(0.1)) << n;
    EXPECT_EQ(r.median_m, expected(0.5)) << n;
    EXPECT_EQ(r.p90_m, expected(0.9)) << n;
  }
}

TEST(Forecast, SetsSurgesThatAreNoNumberApart) {
  // A zero tail normaliser and a tiny scale: far left of the bridge the tail
  // gives infinity times zero.
  surge::SiteTable table = testing::worked_example_table();
  table.tail_norm[1] = 0;
  table.tail_scale[1] = 0.01f;
  ForecastSpec setup{.landfall_km = -600, .pressure_mb = 940, .radius_km = 30,
                    .sd_landfall_km = 100, .samples = 1000, .seed = 2, .thresholds_m = {0.1}};
  const BridgeForecast r = run(setup, table, evenly_spaced_sites(0), 1)[0];
  EXPECT_GT(r.no_number, 0u);
  EXPECT_GT(r.kept, 0u);
  // Landfalls beyond the tail's range are left out, not counted as a surge.
  EXPECT_GT(r.left_out, 0u);
  EXPECT_EQ(r.kept + r.no_number + r.left_out, setup.samples);
  EXPECT_FALSE(std::isnan(r.p_above[0]));
}

// The sample stream of a seed is part of what users rely on: a guide's or a
// report's ensemble reproduces only if every draw stays where it was. The
// first draws of seed 7, exactly.
TEST(Forecast, ASeedGivesTheSameSamplesAlways) {
  const ForecastSpec setup{.landfall_km = 300, .pressure_mb = 935, .radius_km = 35,
                           .sd_landfall_km = 40, .sd_pressure_mb = 8, .sd_log_radius = 0.2,
                           .samples = 6, .seed = 7, .thresholds_m = {}};
  const double expected[6][3] = {
      {280.95483537091286, 929.77774491523257, 29.42188004751517},
      {323.98617304141612, 945.58658502057756, 37.481236564459408},
      {312.81354340268803, 938.50314992181268, 32.348142146250872},
      {341.73018650907397, 957.72586855303746, 36.832294869493495},
      {298.32779488641683, 935.8042447409839, 46.396686771400375},
      {309.42329766203682, 918.52962636961468, 29.774828042117718},
  };
  const CounterRandom random(setup.seed);
  for (int i = 0; i < 6; ++i) {
    const ForecastStorm s = forecast_storm(setup, random, static_cast<uint64_t>(i));
    EXPECT_EQ(s.landfall_km, expected[i][0]) << i;
    EXPECT_EQ(s.pressure_mb, expected[i][1]) << i;
    EXPECT_EQ(s.radius_km, expected[i][2]) << i;
  }
}

// P(total water > low chord) for the zero-amplitude table and a normal
// pressure: with z = (low chord - offsets - tide) / (1 + F), the offsets being
// the sea-level rise and, for the site's own tide about mean sea level, the
// datum offset (a given tide is in the site's datum already), the surge exceeds
// z for every sample when z < 0, else when the pressure lies below
// 1013 - 98.0665 sqrt(2 z). The tide is averaged by the midpoint rule over
// 4000 phases (arcsine tide) or 4000 levels (uniform tide).
double quadrature_total_over(const ForecastSpec& s, const Site& site) {
  const int n = 4000;
  double sum = 0;
  for (int k = 0; k < n; ++k) {
    const double u = (k + 0.5) / n;
    const double tide =
        s.tide == ForecastSpec::Tide::kPhase
            ? site.tide_amplitude_m * std::cos(std::numbers::pi * u)
            : s.tide == ForecastSpec::Tide::kRange ? s.tide_from_m + (s.tide_to_m - s.tide_from_m) * u
                                                   : s.tide_from_m;
    const double offset = s.tide == ForecastSpec::Tide::kPhase ? site.datum_offset_m : 0.0;
    const double z = (site.low_chord_m - offset - s.sea_level_rise_m - tide) / (1 + s.wave_setup);
    sum += z < 0 ? 1.0
                 : normal_cdf((1013 - 98.0665 * std::sqrt(2 * z) - s.pressure_mb) /
                              s.sd_pressure_mb);
  }
  return sum / n;
}

TEST(Forecast, TotalWaterOverTheLowChordAgreesWithQuadrature) {
  using Tide = ForecastSpec::Tide;
  struct Row {
    Tide tide;
    double from, to, amplitude, offset, rise, setup;
  } rows[] = {
      {Tide::kPhase, 0, 0, 0.8, 0.3, 0, 0},      {Tide::kPhase, 0, 0, 0.5, -0.2, 0.4, 0.2},
      {Tide::kRange, -0.6, 0.9, 0, 0.3, 0.1, 0}, {Tide::kGiven, 0.45, 0, 0.8, 0.1, 0.2, 0.1},
  };
  for (const Row& row : rows) {
    ForecastSpec setup{.landfall_km = -20, .pressure_mb = 945, .radius_km = 30,
                      .sd_pressure_mb = 12, .samples = 100000, .seed = 9, .thresholds_m = {}};
    setup.total_water = true;
    setup.tide = row.tide;
    setup.tide_from_m = row.from;
    setup.tide_to_m = row.to;
    setup.sea_level_rise_m = row.rise;
    setup.wave_setup = row.setup;
    std::vector<Site> sites = evenly_spaced_sites(10);
    sites.resize(1);
    sites[0].has_low_chord = true;
    sites[0].low_chord_m = 0.9;
    sites[0].has_datum_offset = true;
    sites[0].datum_offset_m = row.offset;
    sites[0].tide_amplitude_m = row.amplitude;
    const BridgeForecast r = run(setup, testing::zero_amplitude_table(), sites, 2)[0];
    const double q = quadrature_total_over(setup, sites[0]);
    EXPECT_GT(q, 0.05);
    EXPECT_LT(q, 0.95);
    EXPECT_NEAR(r.p_total_over_low_chord, q, three_se(q, setup.samples)) << row.offset;
    // The median clearance is the low chord less the median total water level.
    EXPECT_LT(r.clearance_p10_m, r.clearance_p50_m);
    EXPECT_LT(r.clearance_p50_m, r.clearance_p90_m);
    if (row.tide == Tide::kGiven) {
      // A fixed tide moves every sample alike: the clearance's points are the
      // surge's, mirrored and scaled by 1 + F. The tide is in the site's
      // datum, so the datum offset is not added to it.
      const double top = 0.9 - row.rise - row.from;
      EXPECT_NEAR(r.clearance_p50_m, top - (1 + row.setup) * r.median_m, 1e-12);
      EXPECT_NEAR(r.clearance_p10_m, top - (1 + row.setup) * r.p90_m, 1e-12);
      EXPECT_NEAR(r.clearance_p90_m, top - (1 + row.setup) * r.p10_m, 1e-12);
    }
  }
}

TEST(Forecast, WithoutTheTotalWaterLeavesTheClearanceEmpty) {
  ForecastSpec setup{.landfall_km = -20, .pressure_mb = 945, .radius_km = 30,
                    .sd_pressure_mb = 12, .samples = 1000, .seed = 9, .thresholds_m = {}};
  std::vector<Site> sites = evenly_spaced_sites(10);
  sites[0].has_low_chord = true;
  sites[0].low_chord_m = 0.9;
  // A datum and a tide in the sites file do not make the run one of the total water.
  sites[0].has_datum_offset = true;
  sites[0].datum_offset_m = 0.2;
  sites[0].tide_amplitude_m = 0.5;
  const BridgeForecast r = run(setup, testing::zero_amplitude_table(), sites, 1)[0];
  EXPECT_TRUE(std::isnan(r.p_total_over_low_chord));
  EXPECT_TRUE(std::isnan(r.clearance_p10_m));
  EXPECT_TRUE(std::isnan(r.clearance_p50_m));
  EXPECT_TRUE(std::isnan(r.clearance_p90_m));
  EXPECT_FALSE(std::isnan(r.p_over_low_chord));
}

}  // namespace
}  // namespace kit
