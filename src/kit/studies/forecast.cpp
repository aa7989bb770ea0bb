// Sampling forecast storms and summarising their surge at each bridge.
#include "kit/studies/forecast.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "kit/core/limits.h"
#include "kit/studies/order_statistics.h"
#include "kit/studies/parallel.h"
#include "kit/studies/sampling.h"
#include "model/surge.h"

namespace kit {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr size_t kBlock = 1 << 14;  // samples drawn per piece of work

double share_above(const std::vector<double>& values, double z) {
  if (values.empty()) return kNaN;
  // Four counts side by side, so that the compares need not wait on one sum.
  uint64_t n[4] = {0, 0, 0, 0};
  const size_t size = values.size(), whole = size - size % 4;
  for (size_t i = 0; i < whole; i += 4) {
    n[0] += values[i] > z;
    n[1] += values[i + 1] > z;
    n[2] += values[i + 2] > z;
    n[3] += values[i + 3] > z;
  }
  for (size_t i = whole; i < size; ++i) n[0] += values[i] > z;
  return static_cast<double>((n[0] + n[1]) + (n[2] + n[3])) / static_cast<double>(size);
}

}  // namespace

ForecastSamples draw_forecast_samples(const ForecastSpec& setup, int threads) {
  ForecastSamples s;
  const size_t n = setup.samples;
  s.landfall_km.resize(n);
  s.pressure_mb.resize(n);
  s.radius_km.resize(n);
  const CounterRandom random(setup.seed);
  const size_t blocks = (n + kBlock - 1) / kBlock;
  std::vector<uint64_t> outside(blocks, 0);
  for_each_index(threads, blocks, [&](size_t b) {
    const size_t end = std::min(n, (b + 1) * kBlock);
    for (size_t i = b * kBlock; i < end; ++i) {
      const Normal3 z = normal3(random, i);
      s.landfall_km[i] = setup.landfall_km + setup.sd_landfall_km * z.z[0];
      s.pressure_mb[i] = setup.pressure_mb + setup.sd_pressure_mb * z.z[1];
      s.radius_km[i] = setup.radius_km * std::exp(setup.sd_log_radius * z.z[2]);
      outside[b] += !pressure_in_fitted_range(s.pressure_mb[i]) ||
                    !radius_in_fitted_range(s.radius_km[i]);
    }
  });
  for (uint64_t o : outside) s.outside_fit += o;
  if (setup.total_water) {
    s.tide_uniform.resize(n);
    for_each_index(threads, blocks, [&](size_t b) {
      const size_t end = std::min(n, (b + 1) * kBlock);
      for (size_t i = b * kBlock; i < end; ++i) s.tide_uniform[i] = fourth_uniform(random, i);
    });
  }
  return s;
}

std::vector<BridgeForecast> run_forecast(const ForecastSpec& setup, const ForecastSamples& samples,
                                         const surge::SiteTable& table,
                                         const std::vector<Site>& sites, int threads) {
  std::vector<BridgeForecast> out(sites.size());
  const size_t n = samples.landfall_km.size();
  for_each_index(threads, sites.size(), [&](size_t k) {
    const Site& site = sites[k];
    BridgeForecast& r = out[k];
    r.location = site.location;
    const bool positive_only = needs_positive_distance(site.location);
    const float slope = table.slope[site.location];
    std::vector<double> kept, clearance;
    kept.reserve(n);
    if (setup.total_water) clearance.reserve(n);
    const double gain = 1 + setup.wave_setup;
    const double offsets = site.datum_offset_m + setup.sea_level_rise_m;
    for (size_t i = 0; i < n; ++i) {
      const double distance = site.alongshore_km - samples.landfall_km[i];
      if (positive_only && !(distance > 0)) continue;
      const double p = samples.pressure_mb[i];
      double surge = 0;
      if (p < kNoDeficitPressureMb) {
        const surge::Response part =
            surge::evaluate_response(site.location, samples.radius_km[i], distance, table);
        // Beyond every fitted curve the model says nothing about this sample here.
        if (part.curve == surge::Curve::kNone) continue;
        surge = surge::surge_from(surge::pressure_factor(p), part.response, slope);
      }
      if (std::isnan(surge)) {
        ++r.no_number;
        continue;
      }
      kept.push_back(surge);
      if (setup.total_water) {
        const double u = samples.tide_uniform[i];
        double tide = setup.tide_from_m;
        if (setup.tide == ForecastSpec::Tide::kPhase) {
          tide = site.tide_amplitude_m * std::cos(std::numbers::pi * u);
        } else if (setup.tide == ForecastSpec::Tide::kRange) {
          tide = setup.tide_from_m + (setup.tide_to_m - setup.tide_from_m) * u;
        }
        clearance.push_back(site.low_chord_m - (gain * surge + tide + offsets));
      }
    }
    r.kept = kept.size();
    r.left_out = n - kept.size() - r.no_number;
    for (double z : setup.thresholds_m) r.p_above.push_back(share_above(kept, z));
    r.p_over_low_chord = site.has_low_chord ? share_above(kept, site.low_chord_m) : kNaN;
    r.p_total_over_low_chord = r.clearance_p10_m = r.clearance_p50_m = r.clearance_p90_m = kNaN;
    if (setup.total_water && site.has_low_chord && !clearance.empty()) {
      uint64_t over = 0;
      for (double c : clearance) over += c < 0;
      r.p_total_over_low_chord =
          static_cast<double>(over) / static_cast<double>(clearance.size());
      const std::vector<double> q = sample_quantiles(clearance, {0.1, 0.5, 0.9});
      r.clearance_p10_m = q[0];
      r.clearance_p50_m = q[1];
      r.clearance_p90_m = q[2];
    }
    const std::vector<double> q = sample_quantiles(kept, {0.1, 0.5, 0.9});
    r.p10_m = q[0];
    r.median_m = q[1];
    r.p90_m = q[2];
  });
  return out;
}

}  // namespace kit
