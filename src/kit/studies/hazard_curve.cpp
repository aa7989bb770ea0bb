// Exceedance rates, return levels and hazard curves per bridge.
#include "kit/studies/hazard_curve.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

#include "kit/core/limits.h"
#include "kit/studies/parallel.h"
#include "model/surge.h"

namespace kit {
namespace {

constexpr double kCurveFloorAep = 1e-6;
// Beyond nine standard deviations the normal's tail is below 1.2e-19: cases
// that far below a level add nothing a double could hold.
constexpr double kNegligibleSigmas = 9;
// With an error term, cases are pooled in bins this wide (m), each standing at
// its rates' mean surge; surges beyond the limit share the end bins.
constexpr double kFineBinM = 1e-4;
constexpr double kFineLimitM = 1000;
// The coarser pooling that only guides the search for a return level (m).
constexpr double kPooledBinM = 0.01;
// The tide's phase quadrature: the fewest nodes tried, and the bound M of the
// normal's tail within one unit of the real line.
constexpr int kFirstPhaseNodes = 16;
const double kPhaseBoundM = 1 + std::exp(0.5) / std::sqrt(2 * std::numbers::pi);

// At and below this argument, erfc is 2 in double precision (its distance
// from 2 is below 2e-17, under half a unit in the last place).
constexpr double kErfcTwoFrom = -6;

double aep_of(double rate) { return -std::expm1(-rate); }

// The largest j >= 0 with level_of_mm(j) < s, for s > 0, capped at kMaxLevelMm.
int64_t bin_of(double s) {
  if (!(s < level_of_mm(kMaxLevelMm))) return kMaxLevelMm;
  const double t = s * 1000.0;
  const double c = std::ceil(t);
  int64_t j = static_cast<int64_t>(c) - 1;
  // Away from a whole millimetre the product's rounding cannot move it across
  // one; near one, compare with the level itself.
  if (c - t > 1e-6 && c - t < 1 - 1e-6) return j;
  while (j + 1 < kMaxLevelMm && level_of_mm(j + 1) < s) ++j;
  while (j > 0 && !(level_of_mm(j) < s)) --j;
  return j;
}

int64_t fine_bin_of(double s) {
  const double clamped = std::clamp(s, -kFineLimitM, kFineLimitM);
  // floor() of a quotient within +-1e7, without the library call.
  const double v = clamped / kFineBinM;
  const auto whole = static_cast<int64_t>(v);  // toward zero
  return whole - (v < static_cast<double>(whole) ? 1 : 0);
}
// The responses of one bridge to a storm set's cases, by storm. Along a coast
// a response depends on the radius and the landfall, never on the pressure:
// radii shared by several storms (a grid's) keep one row of responses over
// the landfalls for all of them, within a memory budget; the others get theirs
// when asked. A row lists every landfall's response and whether the case
// counts (a fitted curve applies and the landfall is on the bridge's allowed
// side).
struct ResponseRow {
  const double* response = nullptr;
  const uint8_t* fitted = nullptr;
  size_t size = 0;
};

class StormResponses {
 public:
  StormResponses(const StormSet& set, const CoastGrid& grid, const Site& site,
                 const surge::SiteTable& table, bool along_coast)
      : set_(set), site_(site), table_(table), along_coast_(along_coast) {
    if (along_coast_) {
      distance_.reserve(grid.landfall_km.size());
      for (double landfall : grid.landfall_km) distance_.push_back(site.alongshore_km - landfall);
    } else {
      distance_.resize(1);
    }
    scratch_.resize(distance_.size());
    scratch_fitted_.resize(distance_.size());
    if (along_coast_) share_radii();
  }

  // Storm s's row; valid until the next call.
  ResponseRow row(size_t s) const {
    const size_t n = distance_.size();
    if (along_coast_ && shared_[s] != kNotShared) {
      const size_t at = shared_[s] * n;
      return {responses_.data() + at, fitted_.data() + at, n};
    }
    const Storm& storm = set_.storms[s];
    if (!along_coast_) distance_[0] = site_.alongshore_km - storm.landfall_km;
    fill(storm.radius_km, scratch_.data(), scratch_fitted_.data());
    return {scratch_.data(), scratch_fitted_.data(), n};
  }

 private:
  static constexpr uint32_t kNotShared = UINT32_MAX;
  // Cached responses, at most: 2 Mi cases, 18 MiB per thread.
  static constexpr size_t kBudgetCases = size_t{1} << 21;

  void fill(double radius_km, double* response, uint8_t* fitted) const {
    const bool positive_only = needs_positive_distance(site_.location);
    for (size_t j = 0; j < distance_.size(); ++j) {
      const double d = distance_[j];
      const surge::Response r = surge::evaluate_response(site_.location, radius_km, d, table_);
      response[j] = r.response;
      fitted[j] = within_fitted_curves(r.curve) && !(positive_only && !(d > 0));
    }
  }

  // Gives each radius that two or more storms share a cached row, the most
  // shared first, while the budget lasts.
  void share_radii() {
    const std::vector<Storm>& storms = set_.storms;
    std::vector<uint32_t> order(storms.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    auto radius = [&](uint32_t i) { return storms[i].radius_km; };
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return radius(a) < radius(b); });
    struct Group {
      size_t begin, end;
    };
    std::vector<Group> groups;
    for (size_t k = 0; k < order.size();) {
      size_t e = k + 1;
      while (e < order.size() && radius(order[e]) == radius(order[k])) ++e;
      if (e - k >= 2) groups.push_back({k, e});
      k = e;
    }
    std::stable_sort(groups.begin(), groups.end(), [](const Group& a, const Group& b) {
      return a.end - a.begin > b.end - b.begin;
    });
    shared_.assign(storms.size(), kNotShared);
    const size_t n = distance_.size();
    const size_t rows = std::min(groups.size(), n == 0 ? groups.size() : kBudgetCases / n);
    responses_.resize(rows * n);
    fitted_.resize(rows * n);
    for (size_t g = 0; g < rows; ++g) {
      const Group& group = groups[g];
      fill(radius(order[group.begin]), responses_.data() + g * n, fitted_.data() + g * n);
      for (size_t k = group.begin; k < group.end; ++k) shared_[order[k]] = static_cast<uint32_t>(g);
    }
  }

  const StormSet& set_;
  const Site& site_;
  const surge::SiteTable& table_;
  const bool along_coast_;
  mutable std::vector<double> distance_;
  std::vector<uint32_t> shared_;  // storm -> cached row, or kNotShared
  std::vector<double> responses_;
  std::vector<uint8_t> fitted_;
  mutable std::vector<double> scratch_;
  mutable std::vector<uint8_t> scratch_fitted_;
};

}  // namespace

CoastGrid make_coast_grid(double from_km, double to_km, double step_km) {
  assert(from_km < to_km && step_km > 0);
  CoastGrid grid;
  const double span = to_km - from_km;
  // Whole steps fill the span; a step that does not divide it is shortened.
  const auto n = static_cast<size_t>(std::max(1.0, std::ceil(span / step_km - 1e-9)));
  grid.width_km = span / static_cast<double>(n);
  grid.landfall_km.resize(n);
  for (size_t j = 0; j < n; ++j) {
    grid.landfall_km[j] = from_km + (static_cast<double>(j) + 0.5) * grid.width_km;
  }
  return grid;
}

ExceedanceRates::ExceedanceRates(double sigma_m, double sigma_rel, double tide_amplitude_m)
    : indicator_(sigma_m == 0 && sigma_rel == 0 && tide_amplitude_m == 0),
      sigma_m_(sigma_m),
      sigma_rel_(sigma_rel),
      amplitude_(tide_amplitude_m) {
  if (amplitude_ > 0 && !(sigma_m == 0 && sigma_rel == 0)) {
    for (int n = kFirstPhaseNodes; n <= kMaxPhaseNodes; n *= 2) {
      std::vector<double> c(static_cast<size_t>(n));
      for (int k = 0; k < n; ++k) {
        c[k] = amplitude_ * std::cos((k + 0.5) * std::numbers::pi / n);
      }
      phase_cos_.push_back(std::move(c));
    }
  }
}

double ExceedanceRates::tail(double t, double sd) const {
  if (amplitude_ == 0) {
    if (sd == 0) return t < 0 ? 1.0 : 0.0;
    return 0.5 * std::erfc(t / (sd * std::numbers::sqrt2));
  }
  if (sd == 0) {
    if (t <= -amplitude_) return 1.0;
    if (t >= amplitude_) return 0.0;
    return std::acos(t / amplitude_) / std::numbers::pi;
  }
  // The fewest nodes whose bound is below the tolerance: the integrand, a
  // function of the phase, is analytic and 2 pi periodic; in the strip
  // |Im phase| < asinh(sd / A) the normal's argument moves by at most one
  // unit off the real line, where the tail is at most M.
  const double strip = std::asinh(sd / amplitude_);
  const double needed = std::log(2 * kPhaseBoundM / kPhaseTolerance + 1) / (2 * strip);
  size_t which = 0;
  while (which + 1 < phase_cos_.size() && phase_cos_[which].size() < needed) ++which;
  const std::vector<double>& nodes = phase_cos_[which];
  const double scale = 1 / (sd * std::numbers::sqrt2);
  double sum = 0;
  for (double c : nodes) sum += std::erfc((t - c) * scale);
  return 0.5 * sum / static_cast<double>(nodes.size());
}

void ExceedanceRates::make_room(int64_t j) {
  const auto at = static_cast<size_t>(j);
  if (at >= bins_.size()) {
    bins_.resize(std::min<size_t>(std::max(at + 1, 2 * bins_.size()), kMaxLevelMm + 1), 0.0);
  }
}

void ExceedanceRates::make_fine_room(int64_t j) {
  if (fine_.empty()) {
    fine_base_ = j;
    fine_.resize(1);
  } else if (j < fine_base_) {  // grow downward, at least doubling
    const auto grow = static_cast<size_t>(std::max<int64_t>(fine_base_ - j, fine_.size()));
    fine_.insert(fine_.begin(), grow, FineBin{});
    fine_base_ -= static_cast<int64_t>(grow);
  } else if (j - fine_base_ >= static_cast<int64_t>(fine_.size())) {
    fine_.resize(std::max<size_t>(j - fine_base_ + 1, 2 * fine_.size()));
  }
}

void ExceedanceRates::add(double s, double rate) { add_all({&s, 1}, rate); }

// The bins of a piece of cases first, each on its own so that they overlap,
// then the room for the highest and lowest, then the sums in the cases' order.
void ExceedanceRates::add_all(std::span<const double> surges, double rate) {
  constexpr size_t kPiece = 256;
  // Below every bin of either kind (a fine bin is at least -1e7).
  constexpr int64_t kLeftOut = std::numeric_limits<int64_t>::min();
  int64_t bin[kPiece];
  for (size_t from = 0; from < surges.size(); from += kPiece) {
    const double* const s = surges.data() + from;
    const size_t count = std::min(kPiece, surges.size() - from);
    int64_t lo = std::numeric_limits<int64_t>::max(), hi = std::numeric_limits<int64_t>::min();
    for (size_t i = 0; i < count; ++i) {
      if (!std::isfinite(s[i])) {  // a coefficient fault; an infinity would poison the sums
        ++nan_cases_;
        bin[i] = kLeftOut;
        continue;
      }
      if (indicator_ && !(s[i] > 0)) {
        bin[i] = kLeftOut;
        continue;
      }
      bin[i] = indicator_ ? bin_of(s[i]) : fine_bin_of(s[i]);
      lo = std::min(lo, bin[i]);
      hi = std::max(hi, bin[i]);
    }
    if (lo > hi) continue;
    if (indicator_) {
      make_room(hi);
      for (size_t i = 0; i < count; ++i) {
        if (bin[i] != kLeftOut) bins_[static_cast<size_t>(bin[i])] += rate;
      }
      continue;
    }
    make_fine_room(lo);
    make_fine_room(hi);
    for (size_t i = 0; i < count; ++i) {
      if (bin[i] == kLeftOut) continue;
      FineBin& b = fine_[static_cast<size_t>(bin[i] - fine_base_)];
      b.rate += rate;
      b.rate_surge += rate * s[i];
    }
  }
}

void ExceedanceRates::finish() {
  if (indicator_) {
    // Lambda_j is the rate of all bins from j up.
    double sum = 0;
    for (size_t j = bins_.size(); j-- > 0;) {
      sum += bins_[j];
      bins_[j] = sum;
    }
    return;
  }
  // The occupied bins, in surge order, each at its mean surge.
  for (const FineBin& b : fine_) {
    if (b.rate > 0) cases_.emplace_back(b.rate_surge / b.rate, b.rate);
  }
  fine_ = {};
  max_surge_ = cases_.empty() ? 0 : cases_.back().first;
  case_root2_sd_.reserve(cases_.size());
  for (const auto& c : cases_) {
    case_root2_sd_.push_back(std::hypot(sigma_m_, sigma_rel_ * c.first) * std::numbers::sqrt2);
  }
  // The same cases pooled by the centimetre, each group at its mean surge.
  for (size_t i = 0; i < cases_.size();) {
    const double group = std::floor(cases_[i].first / kPooledBinM);
    double rate = 0, rate_surge = 0;
    for (; i < cases_.size() && std::floor(cases_[i].first / kPooledBinM) == group; ++i) {
      rate += cases_[i].second;
      rate_surge += cases_[i].second * cases_[i].first;
    }
    pooled_.emplace_back(rate_surge / rate, rate);
  }
}

double ExceedanceRates::pooled_rate_above_mm(int64_t j) const {
  const double eta = level_of_mm(j);
  double sum = 0;
  for (const auto& [s, rate] : pooled_) sum += rate * tail(eta - s, std::hypot(sigma_m_, sigma_rel_ * s));
  return sum;
}

double ExceedanceRates::rate_above_mm(int64_t j) const {
  assert(j >= 0 && j <= kMaxLevelMm);
  if (indicator_) return static_cast<size_t>(j) < bins_.size() ? bins_[j] : 0.0;
  const auto known = known_rates_.find(j);
  if (known != known_rates_.end()) return known->second;
  const double rate = sum_rates_above(j);
  known_rates_.emplace(j, rate);
  return rate;
}

double ExceedanceRates::sum_rates_above(int64_t j) const {
  const double eta = level_of_mm(j);
  const double sigma_eta = std::hypot(sigma_m_, sigma_rel_ * eta);
  // Cases from 0 up to eta - A - 9 sigma(eta) lie at least nine of their own
  // standard deviations below eta - A (sigma grows with the surge): skip them.
  auto by_surge = [](const std::pair<double, double>& c, double v) { return c.first < v; };
  const auto first_nonnegative = std::lower_bound(cases_.begin(), cases_.end(), 0.0, by_surge);
  auto resume = first_nonnegative;
  const double cut = eta - amplitude_ - kNegligibleSigmas * sigma_eta;
  if (cut > 0) resume = std::lower_bound(first_nonnegative, cases_.end(), cut, by_surge);
  double sum = 0;
  auto add_range = [&](auto from, auto to) {
    for (auto c = from; c != to; ++c) {
      const double s = c->first;
      const double root2_sd = case_root2_sd_[c - cases_.begin()];
      if (amplitude_ == 0 && root2_sd > 0) {
        // tail() without a tide, with the standard deviation worked out once
        // per case. Six or more of its units above the level, erfc is 2 to
        // the last bit and the case counts at its full rate.
        const double q = (eta - s) / root2_sd;
        sum += q <= kErfcTwoFrom ? c->second : c->second * (0.5 * std::erfc(q));
      } else {
        sum += c->second * tail(eta - s, std::hypot(sigma_m_, sigma_rel_ * s));
      }
    }
  };
  add_range(cases_.begin(), first_nonnegative);
  add_range(resume, cases_.end());
  return sum;
}

int64_t ExceedanceRates::least_level_mm(double aep) const {
  if (aep_of(rate_above_mm(0)) <= aep) return 0;
  // hi: a level known to be exceeded rarely enough.
  int64_t hi;
  if (indicator_) {
    hi = static_cast<int64_t>(bins_.size());  // Lambda is 0 there
    if (hi > kMaxLevelMm) {  // surges above the top of the grid
      hi = kMaxLevelMm;
      if (aep_of(rate_above_mm(hi)) > aep) return -1;
    }
  } else {
    int64_t reach = 1000;
    hi = std::min<int64_t>(
        static_cast<int64_t>(std::ceil(std::max(0.0, max_surge_ + amplitude_) * 1000)) + 1,
        kMaxLevelMm);
    while (aep_of(rate_above_mm(hi)) > aep) {
      if (hi == kMaxLevelMm) return -1;
      hi = std::min(hi + reach, kMaxLevelMm);
      reach *= 2;
    }
  }
  int64_t lo = 0;  // exceeded too often
  if (indicator_) {
    while (hi - lo > 1) {
      const int64_t mid = lo + (hi - lo) / 2;
      if (aep_of(rate_above_mm(mid)) <= aep) {
        hi = mid;
      } else {
        lo = mid;
      }
    }
    return hi;
  }
  // Each rate with an error term is a sum over every case. The cases pooled
  // by the centimetre give a level within a millimetre or so for a few
  // hundred terms a rate; the exact rates then bracket the level from there,
  // in steps that double, and a bisection closes the bracket. The rate never
  // rises with the level, so the least level passing the test is the one any
  // search finds.
  const auto passes = [&](int64_t j) { return aep_of(rate_above_mm(j)) <= aep; };
  int64_t guess_lo = 0, guess_hi = hi;
  while (guess_hi - guess_lo > 1) {
    const int64_t mid = guess_lo + (guess_hi - guess_lo) / 2;
    if (aep_of(pooled_rate_above_mm(mid)) <= aep) {
      guess_hi = mid;
    } else {
      guess_lo = mid;
    }
  }
  const int64_t guess = guess_hi;
  if (guess < hi && passes(guess)) {
    hi = guess;
    for (int64_t step = 1;; step *= 2) {
      const int64_t below = std::max<int64_t>(hi - step, 0);
      if (below <= lo) break;
      if (!passes(below)) {
        lo = below;
        break;
      }
      hi = below;
    }
  } else if (guess > lo) {
    lo = std::min(guess, hi - 1);
    for (int64_t step = 1;; step *= 2) {
      const int64_t above = std::min(lo + step, hi);
      if (above >= hi) break;
      if (passes(above)) {
        hi = above;
        break;
      }
      lo = above;
    }
  }
  while (hi - lo > 1) {
    const int64_t mid = lo + (hi - lo) / 2;
    if (passes(mid)) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
  return hi;
}

CoastReach fitted_reach(const Site& site, double largest_radius_km) {
  // The distance d = alongshore - landfall puts X = d / R - a inside the curves
  // for d in (R (-6 + a), R (25 + a)], a widening range as R grows. The
  // small-radius shift changes X only for X in (-a, a], well inside, and keeps
  // it inside (it moves it by less than 2.7), so it moves neither end.
  const double r = largest_radius_km;
  CoastReach reach;
  reach.from_km = site.alongshore_km - r * (surge::kTailTo + surge::kDistanceOrigin);
  reach.to_km = needs_positive_distance(site.location)
                    ? site.alongshore_km
                    : site.alongshore_km - r * (surge::kRightFrom + surge::kDistanceOrigin);
  return reach;
}

std::vector<int> sites_cut_by_coast(const HazardSpec& setup, const StormSet& storms,
                                    const std::vector<Site>& sites) {
  std::vector<int> cut;
  if (!setup.integrate_coast || storms.storms.empty()) return cut;
  double largest = 0;
  for (const Storm& s : storms.storms) largest = std::max(largest, s.radius_km);
  for (const Site& site : sites) {
    const CoastReach reach = fitted_reach(site, largest);
    if (setup.coast_from_km > reach.from_km || setup.coast_to_km < reach.to_km) {
      cut.push_back(site.location);
    }
  }
  return cut;
}

std::vector<BridgeHazard> compute_hazard(const HazardSpec& setup, const StormSet& set,
                                         const surge::SiteTable& table,
                                         const std::vector<Site>& sites, int threads) {
  CoastGrid grid;
  if (setup.integrate_coast) {
    grid = make_coast_grid(setup.coast_from_km, setup.coast_to_km, setup.step_km);
  }
  const size_t per_storm = setup.integrate_coast ? grid.landfall_km.size() : 1;
  std::vector<BridgeHazard> out(sites.size());
  for_each_index(threads, sites.size(), [&](size_t k) {
    const Site& site = sites[k];
    BridgeHazard& h = out[k];
    h.location = site.location;
    // The total water scales the surge and its error by 1 + the wave setup,
    // adds the tide in the rates and the offsets to the levels found.
    const double gain = setup.total_water ? 1 + setup.wave_setup : 1.0;
    const double shift =
        setup.total_water ? site.datum_offset_m + setup.sea_level_rise_m : 0.0;
    ExceedanceRates rates(setup.sigma_m * gain, setup.sigma_rel,
                          setup.total_water ? site.tide_amplitude_m : 0.0);
    const double slope = table.slope[site.location];
    const StormResponses responses(set, grid, site, table, setup.integrate_coast);
    std::vector<double> surges(per_storm);  // a storm's surges at its fitted landfalls
    for (size_t s = 0; s < set.storms.size(); ++s) {
      const Storm& storm = set.storms[s];
      const double weight = setup.integrate_coast ? storm.rate * grid.width_km : storm.rate;
      // The pressure's part once per storm, the response's part once per
      // radius and landfall: the same bits as evaluating each case whole.
      const double factor = surge::pressure_factor(storm.pressure_mb);
      const ResponseRow row = responses.row(s);
      size_t kept = 0;
      for (size_t j = 0; j < row.size; ++j) {
        // Beyond every fitted curve, or on the landfall's wrong side for a
        // bridge that needs it to the right, the model says nothing here.
        if (!row.fitted[j]) continue;
        surges[kept++] = gain * surge::surge_from(factor, row.response[j], slope);
      }
      rates.add_all({surges.data(), kept}, weight);
      // Summed per storm, so that the totals carry one rounding per storm.
      h.cases += kept;
      h.rate_kept += weight * static_cast<double>(kept);
      h.rate_left_out += weight * static_cast<double>(per_storm - kept);
    }
    rates.finish();
    h.nan_cases = rates.nan_cases();
    for (double t : setup.return_periods) {
      const int64_t mm = rates.least_level_mm(1.0 / t);
      h.levels_m.push_back(mm < 0 ? std::numeric_limits<double>::quiet_NaN()
                                  : level_of_mm(mm) + shift);
    }
    if (setup.want_curve) {
      for (int64_t j = 0; j <= kMaxLevelMm; j += setup.curve_step_mm) {
        const double rate = rates.rate_above_mm(j);
        h.curve.push_back({level_of_mm(j) + shift, rate, aep_of(rate)});
        if (!(aep_of(rate) > kCurveFloorAep)) break;
      }
    }
  });
  return out;
}

}  // namespace kit
