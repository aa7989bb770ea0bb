// The joint-probability method: the annual rate at which each bridge's surge
// is exceeded, summed over a storm set, and the return-period surges from it.
#ifndef SURGE_KIT_STUDIES_HAZARD_CURVE_H_
#define SURGE_KIT_STUDIES_HAZARD_CURVE_H_

#include <cstdint>
#include <span>
#include <utility>
#include <unordered_map>
#include <vector>

#include "kit/files/sites.h"
#include "kit/files/storms.h"
#include "model/site_table.h"

namespace kit {

// Levels are sought on a grid of whole millimetres from 0 m up to this many.
inline constexpr int64_t kMaxLevelMm = 1000000;  // 1000 m

// The level j millimetres, as every comparison uses it.
inline double level_of_mm(int64_t j) { return static_cast<double>(j) / 1000.0; }

// The return periods a study reports when none are asked for (years).
inline constexpr double kStandardReturnPeriods[] = {10, 25, 50, 100, 200, 500};

struct HazardSpec {
  bool integrate_coast = false;       // the storms have no landfall: integrate over the coast
  double coast_from_km = 0, coast_to_km = 0;  // from < to
  double step_km = 1;                 // > 0; shortened so that whole steps fill the coast
  double sigma_m = 0, sigma_rel = 0;  // the error term's standard deviation, both parts >= 0
  std::vector<double> return_periods;  // years, each > 1
  bool want_curve = false;
  int64_t curve_step_mm = 50;
  // The total water level above each site's datum instead of the surge above
  // mean sea level: (1 + wave_setup) (surge + error) + A cos(phase) + the
  // site's datum offset + sea_level_rise_m, with A the site's tide amplitude
  // and the phase uniform (a storm's timing is independent of the tide).
  bool total_water = false;
  double sea_level_rise_m = 0;  // finite
  double wave_setup = 0;        // a fraction of the surge, finite and >= 0
};

// The landfall positions of the midpoint rule and the width each one stands for.
struct CoastGrid {
  std::vector<double> landfall_km;
  double width_km = 0;
};
CoastGrid make_coast_grid(double from_km, double to_km, double step_km);

// Lambda(eta), the annual rate of surge + error above eta, from the weighted
// cases (surge, rate) of one bridge. Without an error term the cases go into
// one bin per millimetre, so Lambda at a whole millimetre is exact. With one,
// the cases are pooled in bins of 0.1 mm, each at its rates' mean surge, and
// summed with the normal's tail: pooling moves no case by more than 0.1 mm and
// errs only in the second order of (0.1 mm / sigma).
//
// With a tide of amplitude A > 0 the cases are pooled the same way and each
// adds rate x P(error + A cos(phase) > eta - surge), the phase uniform. Without
// an error term that is the arcsine law, exactly: P(A cos(phase) > t) =
// arccos(t / A) / pi for |t| < A. With one it is the mean over N equally
// spaced phases of the normal's tail, N a power of two chosen per case so that
// the periodic trapezoidal rule's bound 2 M / (exp(2 N asinh(sd / A)) - 1),
// M = 1 + exp(1/2) / sqrt(2 pi), is below kPhaseTolerance (N at most
// kMaxPhaseNodes, which reaches it for sd / A >= 0.003). Pooling moves no case
// by more than 0.1 mm, so the pooled Lambda(eta) lies between the exact
// Lambda(eta + 0.1 mm) and Lambda(eta - 0.1 mm).
inline constexpr double kPhaseTolerance = 1e-10;
inline constexpr int kMaxPhaseNodes = 4096;
class ExceedanceRates {
 public:
  ExceedanceRates(double sigma_m, double sigma_rel, double tide_amplitude_m = 0);
  // A NaN or infinite surge is counted and left out.
  void add(double surge_m, double rate);
  // add(s, rate) for every s in turn, the same sums bit for bit, with the
  // checks and the room made once for a few hundred cases.
  void add_all(std::span<const double> surges_m, double rate);
  void finish();                          // call once, after the last add()
  // Lambda at j millimetres, 0 <= j <= kMaxLevelMm.
  double rate_above_mm(int64_t j) const;
  // The least whole millimetre j with 1 - exp(-Lambda) <= aep, by bisection;
  // -1 when it lies above kMaxLevelMm.
  int64_t least_level_mm(double aep) const;
  uint64_t nan_cases() const { return nan_cases_; }
  // P(error + A cos(phase) > t) for an error with standard deviation sd, as above.
  double tail(double t, double sd) const;

 private:
  void make_room(int64_t j);       // bins_ holds bin j (indicator)
  void make_fine_room(int64_t j);  // fine_ holds bin j (error term)
  double sum_rates_above(int64_t j) const;  // rate_above_mm with an error term, worked out
  double pooled_rate_above_mm(int64_t j) const;  // the same, near enough, from pooled_

  bool indicator_;
  double sigma_m_, sigma_rel_, amplitude_;
  std::vector<std::vector<double>> phase_cos_;  // A cos of 16, 32, ... midpoint phases
  std::vector<double> bins_;    // indicator: rate of cases with bin index j, then Lambda_j
  struct FineBin {
    double rate = 0, rate_surge = 0;  // sums of rate and rate x surge
  };
  std::vector<FineBin> fine_;  // with an error term, while adding: bin j at j - fine_base_
  int64_t fine_base_ = 0;
  std::vector<std::pair<double, double>> cases_;  // then: (mean surge, rate) in surge order
  std::vector<std::pair<double, double>> pooled_;  // cases_ pooled by the centimetre
  std::vector<double> case_root2_sd_;  // sqrt(2) times each case's standard deviation
  // Lambda at the levels asked so far: the return periods' bisections share
  // their first steps.
  mutable std::unordered_map<int64_t, double> known_rates_;
  double max_surge_ = 0;
  uint64_t nan_cases_ = 0;
};

struct CurvePoint {
  double level_m, rate_per_year, aep;
};

struct BridgeHazard {
  int location = 0;
  double rate_kept = 0, rate_left_out = 0;  // per year: storms counted, and left out (landfalls
                                            // the calculator refuses at 18 to 20, or beyond
                                            // every fitted curve)
  uint64_t cases = 0, nan_cases = 0;
  std::vector<double> levels_m;  // per return period; NaN above kMaxLevelMm
  std::vector<CurvePoint> curve;  // every curve_step_mm from 0 while the AEP is above 1e-6
};

// The landfall positions along the coast from which a storm of radius up to
// `largest_radius_km` reaches the site within the fitted curves (X in
// (-6, 25]) and that the calculator takes (west of the bridge at 18 to 20):
// [from_km, to_km), exactly, up to the rounding of X.
struct CoastReach {
  double from_km = 0, to_km = 0;
};
CoastReach fitted_reach(const Site& site, double largest_radius_km);

// The sites whose fitted reach the setup's coast range cuts into, for the
// storms' largest radius; empty when the coast is not integrated.
std::vector<int> sites_cut_by_coast(const HazardSpec& setup, const StormSet& storms,
                                    const std::vector<Site>& sites);

// Evaluates every storm (at every coast position) at every site, one thread
// per site at a time, and finds the return levels (and the curve when asked).
std::vector<BridgeHazard> compute_hazard(const HazardSpec& setup, const StormSet& storms,
                                         const surge::SiteTable& table,
                                         const std::vector<Site>& sites, int threads);

}  // namespace kit

#endif  // SURGE_KIT_STUDIES_HAZARD_CURVE_H_
