// Sampling forecast storms and summarising their surge at each bridge.
#include "kit/studies/forecast.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
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


// The samples as the bridges use them, ordered by landfall to within a
// bucket (one counting pass, one scattering pass), with each pressure's factor
// worked out once for every bridge. Every result at a bridge is a count or a
// quantile, which the order leaves alone; in this order the curve a sample
// falls on changes seldom from one sample to the next, which the processor
// predicts.
struct OrderedSamples {
  std::vector<double> landfall_km, radius_km, factor, tide_uniform;
  std::vector<uint8_t> deficit;  // kDeficit, kNoDeficit or kNoStorm
};

// What a sample's pressure makes of it: a storm with a pressure deficit; one
// with none (at or above kNoDeficitPressureMb), which raises no surge; or no
// storm at all (0 mb or less, drawn by a very wide spread), which is left out.
enum : uint8_t { kNoDeficit = 0, kDeficit = 1, kNoStorm = 2 };

uint8_t deficit_of(double pressure_mb) {
  if (!is_physical_pressure(pressure_mb)) {
    return pressure_mb >= kNoDeficitPressureMb ? kNoDeficit : kNoStorm;
  }
  return kDeficit;
}

OrderedSamples by_landfall(const ForecastSamples& s) {
  constexpr size_t kBuckets = size_t{1} << 16;
  const size_t n = s.landfall_km.size();
  OrderedSamples o;
  o.landfall_km.resize(n);
  o.radius_km.resize(n);
  o.factor.resize(n);
  o.deficit.resize(n);
  const bool tide = !s.tide_uniform.empty();
  if (tide) o.tide_uniform.resize(n);
  double from = 0, scale = 0;
  if (n > 0) {
    const auto [lo, hi] = std::minmax_element(s.landfall_km.begin(), s.landfall_km.end());
    const double span = *hi - *lo;
    if (span > 0 && std::isfinite(span)) {
      from = *lo;
      scale = static_cast<double>(kBuckets - 1) / span;
    }
  }
  auto bucket = [&](double landfall) { return static_cast<size_t>((landfall - from) * scale); };
  std::vector<uint32_t> start(kBuckets + 1, 0);
  for (double l : s.landfall_km) ++start[bucket(l) + 1];
  for (size_t b = 0; b < kBuckets; ++b) start[b + 1] += start[b];
  for (size_t i = 0; i < n; ++i) {
    const uint32_t at = start[bucket(s.landfall_km[i])]++;
    o.landfall_km[at] = s.landfall_km[i];
    o.radius_km[at] = s.radius_km[i];
    o.deficit[at] = deficit_of(s.pressure_mb[i]);
    o.factor[at] = surge::pressure_factor(s.pressure_mb[i]);
    if (tide) o.tide_uniform[at] = s.tide_uniform[i];
  }
  return o;
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

std::vector<BridgeForecast> run_forecast(const ForecastSpec& setup, const ForecastSamples& drawn,
                                         const surge::SiteTable& table,
                                         const std::vector<Site>& sites, int threads) {
  std::vector<BridgeForecast> out(sites.size());
  const size_t n = drawn.landfall_km.size();
  const OrderedSamples samples = by_landfall(drawn);
  for_each_index(threads, sites.size(), [&](size_t k) {
    const Site& site = sites[k];
    BridgeForecast& r = out[k];
    r.location = site.location;
    const bool positive_only = needs_positive_distance(site.location);
    const float slope = table.slope[site.location];
    // Room for every sample's surge, filled from the front: a kept surge is
    // written without a check of the room left.
    const std::unique_ptr<double[]> kept_surges(new double[n]);
    size_t kept = 0;
    std::vector<double> clearance;
    // The shares over the thresholds (and the low chord, last) and the
    // quantiles' first counts, taken as the surges come.
    std::vector<double> thresholds = setup.thresholds_m;
    thresholds.push_back(site.low_chord_m);
    const size_t threshold_count = thresholds.size();
    std::vector<uint64_t> above(threshold_count, 0);
    LeadingCounts counts;
    if (setup.total_water) clearance.reserve(n);
    const double gain = 1 + setup.wave_setup;
    // The site's tide A cos(phase) swings about mean sea level, which lies the
    // datum offset above the site's datum; a given tide is a height in the
    // site's datum already, so the offset is not added to it.
    const double offsets = setup.sea_level_rise_m +
                           (setup.tide == ForecastSpec::Tide::kPhase ? site.datum_offset_m : 0.0);
    const double* const landfall = samples.landfall_km.data();
    const double* const radius = samples.radius_km.data();
    const double* const factor = samples.factor.data();
    const uint8_t* const deficit = samples.deficit.data();
    // The samples a bridge takes are evaluated in runs, which the model
    // works through quicker than one at a time.
    constexpr size_t kRun = 256;
    double run_radius[kRun], run_distance[kRun], responses[kRun];
    size_t run_sample[kRun];
    surge::Curve curves[kRun];
    for (size_t next = 0; next < n;) {
      size_t waiting = 0;
      for (; next < n && waiting < kRun; ++next) {
        const double distance = site.alongshore_km - landfall[next];
        if ((positive_only && !(distance > 0)) || deficit[next] == kNoStorm) continue;
        run_radius[waiting] = radius[next];
        run_distance[waiting] = distance;
        run_sample[waiting] = next;
        ++waiting;
      }
      surge::evaluate_responses(site.location, {run_radius, waiting}, {run_distance, waiting},
                                table, {responses, waiting}, {curves, waiting});
      for (size_t j = 0; j < waiting; ++j) {
        const size_t i = run_sample[j];
        // Beyond every fitted curve the model says nothing about this
        // landfall here, whatever the pressure; within them a pressure with
        // no deficit raises no surge.
        if (!within_fitted_curves(curves[j])) continue;
        const double surge =
            deficit[i] == kDeficit ? surge::surge_from(factor[i], responses[j], slope) : 0.0;
        if (std::isnan(surge)) {
          ++r.no_number;
          continue;
        }
        kept_surges[kept++] = surge;
        counts.add(surge);
        for (size_t t = 0; t < threshold_count; ++t) above[t] += surge > thresholds[t];
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
    }
    r.kept = kept;
    r.left_out = n - kept - r.no_number;
    const double kept_count = static_cast<double>(kept);
    for (size_t t = 0; t < setup.thresholds_m.size(); ++t) {
      r.p_above.push_back(kept == 0 ? kNaN : static_cast<double>(above[t]) / kept_count);
    }
    r.p_over_low_chord =
        site.has_low_chord && kept > 0 ? static_cast<double>(above.back()) / kept_count : kNaN;
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
    const std::vector<double> q = sample_quantiles({kept_surges.get(), kept}, {0.1, 0.5, 0.9}, &counts);
    r.p10_m = q[0];
    r.median_m = q[1];
    r.p90_m = q[2];
  });
  return out;
}

}  // namespace kit
