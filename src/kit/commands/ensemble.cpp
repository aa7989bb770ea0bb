// surgekit ensemble: the chance of each bridge's surge from a forecast's errors.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "kit/coefficients/coefficients.h"
#include "kit/commands/commands.h"
#include "kit/commands/shared.h"
#include "kit/core/selection.h"
#include "kit/files/csv.h"
#include "kit/studies/forecast.h"
#include "kit/core/number.h"
#include "kit/studies/parallel.h"
#include "kit/files/sites.h"
#include "kit/files/output_file.h"
#include "kit/core/limits.h"

namespace kit {
namespace {

constexpr const char* kWho = "surgekit ensemble";

struct Options {
  ForecastSpec setup;
  WaterOptions water;
  double tide_m = 0;
  std::string tide_range;
  int threads = default_thread_count();
};

// Reads "LO:HI" (m, LO not above HI) into the setup's uniform tide.
void parse_tide_range(const std::string& text, ForecastSpec* setup) {
  const size_t colon = text.find(':');
  const std::string_view view(text);
  double from = 0, to = 0;
  if (colon == std::string::npos || !parse_real(view.substr(0, colon), &from) ||
      !parse_real(view.substr(colon + 1), &to) || !std::isfinite(from) || !std::isfinite(to)) {
    throw UsageError{"--tide-range \"" + text + "\" is not LO:HI in m"};
  }
  if (from > to) throw UsageError{"--tide-range " + text + ": LO must not lie above HI"};
  setup->tide = ForecastSpec::Tide::kRange;
  setup->tide_from_m = from;
  setup->tide_to_m = to;
}

// Chances and shares have six significant digits; surges three decimals.
constexpr int kChanceDigits = 6;

// A chance (six significant digits) or a surge (`decimals` places), or an
// empty field where there is none.
void number_or_empty(CsvWriter& out, double value, int decimals = -1) {
  if (std::isnan(value)) {
    out.field("");
  } else if (decimals >= 0) {
    out.fixed(value, decimals);
  } else {
    out.separate();
    append_significant(&out.raw(), value, kChanceDigits);
  }
}

bool write_forecast(const Options& o, const std::vector<Site>& sites,
                    const std::vector<BridgeForecast>& results, Sink& sink) {
  OutputFile file;
  if (!open_output("-", &file, sink)) return false;
  CsvWriter out(file.stream());
  // Surges above mean sea level are named "surge" (as hazard names its levels
  // surge_Ty_m), the total water level above the site's datum "total_water".
  for (const char* h : {"location", "name", "samples_kept", "left_out_share", "surge_median_m",
                        "surge_p10_m", "surge_p90_m"}) {
    out.field(h);
  }
  for (double z : o.setup.thresholds_m) {
    std::string name = "p_surge_above_";
    append_shortest(&name, z);
    out.field(name + "_m");
  }
  out.field("low_chord_m");
  if (o.setup.total_water) {
    for (const char* h : {"datum_offset_m", "p_total_water_over_low_chord", "clearance_p10_m",
                          "clearance_p50_m", "clearance_p90_m"}) {
      out.field(h);
    }
  } else {
    out.field("p_surge_over_low_chord");
  }
  out.end_row();
  for (size_t k = 0; k < results.size(); ++k) {
    const BridgeForecast& r = results[k];
    out.integer(r.location);
    out.field(sites[k].name);
    out.integer(static_cast<long long>(r.kept));
    number_or_empty(out, static_cast<double>(r.left_out) / static_cast<double>(o.setup.samples));
    number_or_empty(out, r.median_m, 3);
    number_or_empty(out, r.p10_m, 3);
    number_or_empty(out, r.p90_m, 3);
    for (double p : r.p_above) number_or_empty(out, p);
    if (sites[k].has_low_chord) {
      out.fixed(sites[k].low_chord_m, 3);  // metres to the millimetre, as the surges
    } else {
      out.field("");
    }
    if (o.setup.total_water) {
      out.number(sites[k].datum_offset_m);
      number_or_empty(out, r.p_total_over_low_chord);
      number_or_empty(out, r.clearance_p10_m, 3);
      number_or_empty(out, r.clearance_p50_m, 3);
      number_or_empty(out, r.clearance_p90_m, 3);
    } else {
      number_or_empty(out, r.p_over_low_chord);
    }
    out.end_row();
  }
  out.flush();
  if (!commit_output(&file, sink)) return false;
  // Every empty field says why, naming the columns of this mode.
  const bool total = o.setup.total_water;
  for (size_t k = 0; k < results.size(); ++k) {
    const std::string where = "location " + std::to_string(results[k].location) + ": ";
    if (results[k].kept == 0) {
      sink.note(where + "no sample is kept at this bridge, so its surges and chances" +
                (total ? " and clearances" : "") + " are empty");
    }
    if (!sites[k].has_low_chord) {
      sink.note(where + "sites.csv gives no low chord, so low_chord_m and " +
                (total ? "p_total_water_over_low_chord, clearance_p10_m, clearance_p50_m and "
                         "clearance_p90_m are empty"
                       : "p_surge_over_low_chord are empty"));
    }
  }
  // Without the total water the chance over the low chord mixes two datums.
  const bool datums = std::any_of(sites.begin(), sites.end(), [](const Site& s) {
    return s.has_low_chord && s.has_datum_offset;
  });
  if (!total && datums) {
    sink.note("p_surge_over_low_chord compares the surge above mean sea level with the low chord "
              "above the site's datum; sites.csv gives the datum offsets, so --total-water gives "
              "the chance that the total water level in that datum exceeds the low chord");
  }
  return true;
}

}  // namespace

CommandEntry define_ensemble(CLI::App& sub, const CommonOptions& common) {
  auto o = std::make_shared<Options>();
  ForecastSpec& s = o->setup;
  sub.add_option("--landfall-km", s.landfall_km, "forecast landfall, alongshore km")
      ->required()
      ->check(finite_validator());
  sub.add_option("--pressure", s.pressure_mb, "forecast central pressure, mb")
      ->required()
      ->check(pressure_validator());
  sub.add_option("--radius", s.radius_km, "forecast radius to maximum wind, km")
      ->required()
      ->check(radius_validator());
  sub.add_option("--sd-landfall", s.sd_landfall_km, "standard deviation of the landfall, km")
      ->capture_default_str()
      ->check(non_negative_validator());
  sub.add_option("--sd-pressure", s.sd_pressure_mb, "standard deviation of the pressure, mb")
      ->capture_default_str()
      ->check(non_negative_validator());
  sub.add_option("--sd-radius", s.sd_log_radius,
                 "standard deviation of ln radius (0.2 is about 20 %)")
      ->capture_default_str()
      ->check(real_range_validator(0, 3));
  sub.add_option("--samples", s.samples, "number of sampled storms")
      ->capture_default_str()
      ->check(CLI::Range(uint64_t{1}, uint64_t{100000000}));
  sub.add_option("--seed", s.seed, "seed of the samples; the same seed gives the same output")
      ->capture_default_str();
  sub.add_option("--threshold", s.thresholds_m, "a surge in m whose exceedance is wanted "
                                                "(repeatable; a repeated one is taken once)")
      ->check(finite_validator());
  add_water_options(sub, &o->water);
  CLI::Option* total = sub.get_option("--total-water");
  CLI::Option* tide_m =
      sub.add_option("--tide-m", o->tide_m,
                     "with --total-water: the predicted tide at the landfall, m above the "
                     "sites' datum, taken as it is (default: each site's A cos(phase) above its "
                     "mean sea level, the phase uniform)")
          ->check(finite_validator())
          ->needs(total);
  sub.add_option("--tide-range", o->tide_range,
                 "with --total-water: LO:HI, the tide taken uniformly from LO to HI m above the "
                 "sites' datum")
      ->needs(total)
      ->excludes(tide_m);
  add_threads_option(sub, &o->threads);
  sub.footer(
      "For each bridge of sites.csv: the median, 10 % and 90 % surge above mean sea level and\n"
      "the chance of exceeding each threshold and the low chord; with --total-water the chance\n"
      "that the total water level above the site's datum exceeds the low chord, and the 10, 50\n"
      "and 90 % clearances (low chord - total water level). Samples with pressure at or above\n" +
      whole_text(kNoDeficitPressureMb) + " mb count as no surge; at locations " +
      std::to_string(kFirstWestOnlyLocation) + " to " + std::to_string(kLastLocation) +
      " landfalls on or right of the bridge are\n"
      "left out.\n"
      "Example: surgekit ensemble --data examples --landfall-km 300 --pressure 935 --radius 35 \\\n"
      "           --sd-landfall 40 --sd-pressure 8 --sd-radius 0.2 --threshold 2 --seed 7");
  return [o, &common, tide_m] {
    if (!std::isfinite(o->setup.landfall_km) || !std::isfinite(o->setup.pressure_mb) ||
        !std::isfinite(o->setup.radius_km)) {
      throw UsageError{"the landfall, pressure and radius must be finite numbers"};
    }
    o->setup.thresholds_m = taken_once(o->setup.thresholds_m);
    ForecastSpec& forecast = o->setup;
    forecast.total_water = o->water.total_water;
    forecast.sea_level_rise_m = o->water.sea_level_rise_m;
    forecast.wave_setup = o->water.wave_setup;
    if (!o->tide_range.empty()) {
      parse_tide_range(o->tide_range, &forecast);
    } else if (tide_m->count() > 0) {
      forecast.tide = ForecastSpec::Tide::kGiven;
      forecast.tide_from_m = o->tide_m;
    }
    // Notes come after every usage check, so that a refused command line
    // begins with its error.
    Sink sink(kWho);
    if (o->setup.sd_landfall_km == 0 && o->setup.sd_pressure_mb == 0 && o->setup.sd_log_radius == 0) {
      sink.note("no --sd-landfall, --sd-pressure or --sd-radius above 0: every sample is the "
                "forecast storm itself, so all samples are the same");
    }
    CoefficientSet set;
    if (!load_coefficient_set(common.data_dir, common.strict, sink, &set)) return sink.status();
    std::vector<Site> sites;
    if (!load_site_list(common.data_dir, sink, &sites)) return sink.status();
    if (forecast.total_water && !sites_have_datums(sites, common.data_dir, sink)) {
      return sink.status();
    }
    const Forecast result = run_forecast(o->setup, set.table, sites, o->threads);
    if (result.outside_fit > 0) {
      sink.note(std::to_string(result.outside_fit) + " of " +
                counted(static_cast<long long>(o->setup.samples), "sample") +
                (result.outside_fit == 1 ? " lies" : " lie") + " outside the fitted ranges (" +
                fitted_ranges_text() + ")");
    }
    for (const BridgeForecast& r : result.bridges) {
      if (r.no_number > 0) {
        sink.warning("location " + std::to_string(r.location) + ": " +
                     counted(static_cast<long long>(r.no_number), "sample") +
                     (r.no_number == 1 ? " gives" : " give") +
                     " no number for the surge (see surgekit check) and " +
                     (r.no_number == 1 ? "is" : "are") + " left out");
      }
    }
    write_forecast(*o, sites, result.bridges, sink);
    return sink.status();
  };
}

}  // namespace kit
