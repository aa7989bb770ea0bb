// Sampling forecast storms and summarising their surge at each bridge.
#include "kit/studies/forecast.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <span>

#include "kit/core/limits.h"
#include "kit/studies/order_statistics.h"
#include "kit/studies/parallel.h"
#include "kit/studies/sampling.h"
#include "model/surge.h"

namespace kit {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The samples go in blocks: each block is drawn, put in landfall order and
// written to its place by one thread, with its storms on that thread's stack.
constexpr size_t kBlock = 1 << 12;
constexpr size_t kBlockBuckets = 1 << 10;

// The samples as the bridges use them, each block ordered by landfall to
// within a bucket (one counting pass, one scattering pass), with each
// pressure's factor worked out once for every bridge. Every result at a
// bridge is a count or a quantile, which the order leaves alone; in this
// order the curve a sample falls on changes seldom from one sample to the
// next, which the processor predicts.
struct OrderedSamples {
  std::vector<double> landfall_km, radius_km, factor, tide_uniform;
  std::vector<uint8_t> deficit;  // kDeficit, kNoDeficit or kNoStorm
  uint64_t outside_fit = 0;
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

OrderedSamples draw_by_landfall(const ForecastSpec& setup, int threads) {
  const size_t n = setup.samples;
  OrderedSamples o;
  o.landfall_km.resize(n);
  o.radius_km.resize(n);
  o.factor.resize(n);
  o.deficit.resize(n);
  if (setup.total_water) o.tide_uniform.resize(n);
  const CounterRandom random(setup.seed);
  const size_t blocks = (n + kBlock - 1) / kBlock;
  std::vector<uint64_t> outside(blocks, 0);
  for_each_index(threads, blocks, [&](size_t b) {
    const size_t from = b * kBlock;
    const size_t count = std::min(kBlock, n - from);
    ForecastStorm storms[kBlock];
    for (size_t j = 0; j < count; ++j) {
      storms[j] = forecast_storm(setup, random, from + j);
      outside[b] += !pressure_in_fitted_range(storms[j].pressure_mb) ||
                    !radius_in_fitted_range(storms[j].radius_km);
    }
    double lo = storms[0].landfall_km, hi = lo;
    for (size_t j = 1; j < count; ++j) {
      lo = std::min(lo, storms[j].landfall_km);
      hi = std::max(hi, storms[j].landfall_km);
    }
    const double span = hi - lo;
    const double scale =
        span > 0 && std::isfinite(span) ? static_cast<double>(kBlockBuckets - 1) / span : 0;
    auto bucket = [&](double landfall) { return static_cast<size_t>((landfall - lo) * scale); };
    uint32_t start[kBlockBuckets + 1] = {};
    for (size_t j = 0; j < count; ++j) ++start[bucket(storms[j].landfall_km) + 1];
    for (size_t k = 0; k < kBlockBuckets; ++k) start[k + 1] += start[k];
    for (size_t j = 0; j < count; ++j) {
      const ForecastStorm& storm = storms[j];
      const size_t at = from + start[bucket(storm.landfall_km)]++;
      o.landfall_km[at] = storm.landfall_km;
      o.radius_km[at] = storm.radius_km;
      o.deficit[at] = deficit_of(storm.pressure_mb);
      o.factor[at] = surge::pressure_factor(storm.pressure_mb);
      if (setup.total_water) o.tide_uniform[at] = fourth_uniform(random, from + j);
    }
  });
  for (uint64_t k : outside) o.outside_fit += k;
  return o;
}

// The runs in which a bridge's samples go to the model.
constexpr size_t kRun = 256;

// Per bucket of the surges' histogram (see LeadingCounts), 1 where a bridge
// stores its surges after the pilot, whose surges `counts` counts: about
// each quantile, the buckets from six standard errors of its rank below to
// six above (and 64 ranks more each way), and the thresholds' own buckets.
// The quantile of all the samples lies among them unless the pilot is far
// off; run_forecast checks that, and evaluates once more if not.
std::vector<uint8_t> buckets_to_store(const LeadingCounts& counts,
                                      const std::vector<double>& probabilities,
                                      const std::vector<double>& thresholds) {
  std::vector<uint8_t> wanted(counts.counts().size(), 0);
  const size_t m = counts.total();
  for (double p : probabilities) {
    if (m == 0) break;
    const double h = static_cast<double>(m - 1) * p;
    const double spread = 6 * std::sqrt(static_cast<double>(m) * p * (1 - p)) + 64;
    const auto lo = static_cast<size_t>(std::max(0.0, std::floor(h - spread)));
    const auto hi =
        static_cast<size_t>(std::min(static_cast<double>(m - 1), std::ceil(h + 1 + spread)));
    const std::vector<size_t> ends = rank_buckets(counts, {lo, hi});
    std::fill(wanted.begin() + static_cast<std::ptrdiff_t>(ends.front()),
              wanted.begin() + static_cast<std::ptrdiff_t>(ends.back()) + 1, 1);
  }
  for (double t : thresholds) {
    if (!std::isnan(t)) wanted[LeadingCounts::leading_bits(t)] = 1;
  }
  return wanted;
}

}  // namespace

ForecastStorm forecast_storm(const ForecastSpec& setup, const CounterRandom& random,
                             uint64_t index) {
  const Normal3 z = normal3(random, index);
  return {.landfall_km = setup.landfall_km + setup.sd_landfall_km * z.z[0],
          .pressure_mb = setup.pressure_mb + setup.sd_pressure_mb * z.z[1],
          .radius_km = setup.radius_km * std::exp(setup.sd_log_radius * z.z[2])};
}

Forecast run_forecast(const ForecastSpec& setup, const surge::SiteTable& table,
                      const std::vector<Site>& sites, int threads) {
  const size_t n = setup.samples;
  const OrderedSamples samples = draw_by_landfall(setup, threads);
  Forecast forecast;
  forecast.outside_fit = samples.outside_fit;
  std::vector<BridgeForecast>& out = forecast.bridges;
  out.resize(sites.size());
  for_each_index(threads, sites.size(), [&](size_t k) {
    const Site& site = sites[k];
    BridgeForecast& r = out[k];
    r.location = site.location;
    const bool positive_only = needs_positive_distance(site.location);
    const float slope = table.slope[site.location];
    // Room for every sample's surge, filled from the front: a stored surge
    // is written without a check of the room left (room never written costs
    // next to nothing).
    const std::unique_ptr<double[]> stored_surges(new double[n]);
    size_t kept = 0, stored = 0;
    std::vector<double> clearance;
    if (setup.total_water) clearance.reserve(n);
    // The quantiles' first counts, taken as the surges come.
    LeadingCounts counts;
    const std::vector<double> probabilities = {0.1, 0.5, 0.9};
    std::vector<double> thresholds = setup.thresholds_m;
    thresholds.push_back(site.low_chord_m);
    std::vector<uint8_t> wanted;  // per bucket, 1 where the surges are stored after the pilot
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
    // One pass over the samples, storing every kept surge of the first
    // `pilot` (a multiple of kRun) and after them those that `wanted` marks.
    auto tally = [&](size_t pilot) {
      kept = stored = 0;
      r.no_number = 0;
      counts = LeadingCounts();
      clearance.clear();
      const uint8_t* store = nullptr;  // null: every kept surge is stored
      // The samples are evaluated in runs, which the model works through
      // quicker than one at a time.
      double run_distance[kRun], responses[kRun];
      surge::Curve curves[kRun];
      for (size_t from = 0; from < n; from += kRun) {
        if (from == pilot) {
          wanted = buckets_to_store(counts, probabilities, thresholds);
          store = wanted.data();
        }
        const size_t count = std::min(kRun, n - from);
        for (size_t j = 0; j < count; ++j) {
          run_distance[j] = site.alongshore_km - landfall[from + j];
        }
        surge::evaluate_responses(site.location, {radius + from, count}, {run_distance, count},
                                  table, {responses, count}, {curves, count});
        for (size_t j = 0; j < count; ++j) {
          const size_t i = from + j;
          if ((positive_only && !(run_distance[j] > 0)) || deficit[i] == kNoStorm) continue;
          // Beyond every fitted curve the model says nothing about this
          // landfall here, whatever the pressure; within them a pressure
          // with no deficit raises no surge.
          if (!within_fitted_curves(curves[j])) continue;
          const double surge =
              deficit[i] == kDeficit ? surge::surge_from(factor[i], responses[j], slope) : 0.0;
          if (std::isnan(surge)) {
            ++r.no_number;
            continue;
          }
          ++kept;
          const uint64_t key = LeadingCounts::order_key(surge);
          counts.add_key(key);
          stored_surges[stored] = surge;
          stored += store == nullptr || store[LeadingCounts::bucket_of_key(key)] != 0;
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
    };
    const uint64_t pilot = (std::min<uint64_t>(setup.pilot_samples, n) + kRun - 1) / kRun * kRun;
    tally(pilot);
    if (pilot < n) {
      for (size_t bucket : quantile_buckets(counts, probabilities)) {
        if (wanted[bucket] == 0) {
          tally(n);  // the pilot misled: store them all
          break;
        }
      }
    }
    // The quantiles, and from the same pass the counts over the thresholds
    // and over the low chord (last).
    std::vector<uint64_t> above;
    const std::vector<double> q = sample_quantiles({stored_surges.get(), stored}, probabilities,
                                                   &counts, thresholds, &above);
    r.p10_m = q[0];
    r.median_m = q[1];
    r.p90_m = q[2];
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
      const std::vector<double> c = sample_quantiles(clearance, {0.1, 0.5, 0.9});
      r.clearance_p10_m = c[0];
      r.clearance_p50_m = c[1];
      r.clearance_p90_m = c[2];
    }
  });
  return forecast;
}

}  // namespace kit
