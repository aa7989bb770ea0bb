// A forecast ensemble: storms sampled about a forecast landfall, pressure and
// radius, each evaluated at every bridge with the calculator's model.
#ifndef SURGE_KIT_STUDIES_FORECAST_H_
#define SURGE_KIT_STUDIES_FORECAST_H_

#include <cstdint>
#include <vector>

#include "kit/files/sites.h"
#include "kit/studies/sampling.h"
#include "model/site_table.h"

namespace kit {

struct ForecastSpec {
  double landfall_km = 0;       // forecast landfall, alongshore
  double pressure_mb = 0;       // forecast central pressure
  double radius_km = 0;         // forecast radius to maximum wind, > 0
  double sd_landfall_km = 0;    // normal error across the track
  double sd_pressure_mb = 0;    // normal error of the pressure
  double sd_log_radius = 0;     // standard deviation of ln radius (log-normal radius)
  uint64_t samples = 100000;    // > 0
  uint64_t seed = 1;
  std::vector<double> thresholds_m;  // surges whose exceedance is asked for
  // The total water level above each site's datum, set against its low chord:
  // (1 + wave_setup) surge + tide + sea_level_rise_m. The tide is the site's
  // A cos(phase) with the phase uniform plus the site's datum offset (kPhase:
  // the tide swings about mean sea level), or a height in the site's datum
  // taken as it is: tide_from_m (kGiven), or uniform on [tide_from_m,
  // tide_to_m] (kRange).
  bool total_water = false;
  double sea_level_rise_m = 0;  // finite
  double wave_setup = 0;        // finite, >= 0
  enum class Tide { kPhase, kGiven, kRange } tide = Tide::kPhase;
  double tide_from_m = 0, tide_to_m = 0;
  // A tuning that leaves every result alone: at each bridge the surges of
  // the first pilot_samples samples are all kept, and of the rest only those
  // near where the pilot puts the quantiles (see run_forecast).
  uint64_t pilot_samples = uint64_t{1} << 16;
};

// One sampled storm.
struct ForecastStorm {
  double landfall_km = 0, pressure_mb = 0, radius_km = 0;
};

// Sample `index`'s storm: it takes the normals of draw `index` of the seed's
// stream, landfall = L + sd z0, pressure = P + sd z1, radius = R exp(sd z2).
// With the total water, its tide's uniform is fourth_uniform of the same draw.
ForecastStorm forecast_storm(const ForecastSpec& setup, const CounterRandom& random,
                             uint64_t index);

struct BridgeForecast {
  int location = 0;
  uint64_t kept = 0;            // samples evaluated at this bridge
  uint64_t left_out = 0;        // landfalls on or right of a bridge at 18 to 20, and
                                // landfalls beyond every fitted curve
  uint64_t no_number = 0;       // NaN surges (from faulty coefficients), also left out
  double median_m = 0, p10_m = 0, p90_m = 0;  // NaN when no sample is kept
  std::vector<double> p_above;  // per threshold: share of kept samples above it
  double p_over_low_chord = 0;  // NaN without a low chord or kept samples
  // With the total water: the share of kept samples whose total water level
  // lies above the low chord, and the 10, 50 and 90 % points of the clearance
  // (low chord - total water level); NaN without a low chord or kept samples.
  double p_total_over_low_chord = 0;
  double clearance_p10_m = 0, clearance_p50_m = 0, clearance_p90_m = 0;
};

struct Forecast {
  std::vector<BridgeForecast> bridges;  // one per site, in the sites' order
  uint64_t outside_fit = 0;  // samples outside the fitted pressure or radius range
};

// Draws setup.samples storms (forecast_storm 0, 1, ...) and evaluates every
// one at every site; the same seed gives the same results whatever the thread
// count. A landfall beyond every fitted curve at a bridge (or on or right of a
// bridge at 18 to 20) is left out there, whatever its pressure. Within them, a
// sample with pressure at or above 1013 mb has no pressure deficit: its surge
// counts as 0 m rather than the model's value for a negative deficit.
// Quantiles interpolate linearly between order statistics (the sample
// quantile at (n - 1) p); shares are of the kept samples. Every kept surge is
// counted, but after the pilot only those the quantiles can need are stored
// for them; when a quantile falls elsewhere after all, the bridge's samples
// are evaluated once more, storing every surge.
Forecast run_forecast(const ForecastSpec& setup, const surge::SiteTable& table,
                      const std::vector<Site>& sites, int threads);

}  // namespace kit

#endif  // SURGE_KIT_STUDIES_FORECAST_H_
