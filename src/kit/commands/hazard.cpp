// surgekit hazard: return-period surge at every bridge from a storm set.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "kit/coefficients/coefficients.h"
#include "kit/commands/commands.h"
#include "kit/core/selection.h"
#include "kit/files/csv.h"
#include "kit/studies/hazard_curve.h"
#include "kit/commands/shared.h"
#include "kit/core/number.h"
#include "kit/studies/parallel.h"
#include "kit/files/sites.h"
#include "kit/files/storms.h"
#include "kit/files/output_file.h"

namespace kit {
namespace {

constexpr const char* kWho = "surgekit hazard";

struct Options {
  std::string storms_path;
  std::string coast;
  double step_km = 1;
  double sigma_m = 0, sigma_rel = 0;
  std::vector<double> extra_periods;
  std::string curve_path;
  std::string output = "-";
  double curve_step_m = 0.05;
  WaterOptions water;
  int threads = default_thread_count();
};


// "surge_100y_m" (surge above mean sea level), "total_water_100y_m" (above
// the site's datum) or "clearance_100y_m".
std::string period_column(const char* what, double t) {
  std::string name = what;
  name += '_';
  append_shortest(&name, t);
  return name + "y_m";
}

void level_or_empty(CsvWriter& out, double level) {
  if (std::isnan(level)) {
    out.field("");
  } else {
    out.fixed(level, 3);
  }
}

bool write_levels(OutputFile& file, const HazardSpec& setup, const std::vector<Site>& sites,
                  const std::vector<BridgeHazard>& results, Sink& sink) {
  CsvWriter out(file.stream());
  out.field("location");
  out.field("name");
  const char* what = setup.total_water ? "total_water" : "surge";
  for (double t : setup.return_periods) out.field(period_column(what, t));
  if (setup.total_water) {
    out.field("low_chord_m");
    for (double t : setup.return_periods) out.field(period_column("clearance", t));
  }
  out.field("rate_per_year");
  out.field("left_out_share");
  out.end_row();
  for (size_t k = 0; k < results.size(); ++k) {
    const BridgeHazard& h = results[k];
    out.integer(h.location);
    out.field(sites[k].name);
    for (double level : h.levels_m) level_or_empty(out, level);
    if (setup.total_water) {
      const Site& site = sites[k];
      if (site.has_low_chord) {
        out.fixed(site.low_chord_m, 3);  // metres to the millimetre, as the levels
      } else {
        out.field("");
      }
      // The clearance is the low chord less the level, both in the site's datum.
      for (double level : h.levels_m) {
        level_or_empty(out, site.has_low_chord ? site.low_chord_m - level : NAN);
      }
    }
    significant(out, h.rate_kept);
    const double total = h.rate_kept + h.rate_left_out;
    significant(out, total > 0 ? h.rate_left_out / total : 0.0);
    out.end_row();
  }
  out.flush();
  if (!commit_output(&file, sink)) return false;
  // Every empty field says why.
  for (size_t k = 0; k < results.size(); ++k) {
    const std::string where = "location " + std::to_string(results[k].location) + ": ";
    if (setup.total_water && !sites[k].has_low_chord) {
      sink.note(where + "sites.csv gives no low chord, so low_chord_m and " +
                period_column("clearance", setup.return_periods.front()) + " to " +
                period_column("clearance", setup.return_periods.back()) + " are empty");
    }
    size_t empty = 0;
    for (double level : results[k].levels_m) empty += std::isnan(level) ? 1 : 0;
    if (empty == 0) continue;
    const bool clearances = setup.total_water && sites[k].has_low_chord;
    sink.note(where + counted(static_cast<long long>(empty), "return level") +
              (clearances ? " and " + std::string(empty == 1 ? "its clearance" : "their clearances")
                          : std::string()) +
              (empty == 1 && !clearances ? " is" : " are") + " empty: the storm set reaches no " +
              (setup.total_water ? "total water level" : "surge") +
              " with so small a chance (the levels stop at 1000 m" +
              (setup.total_water ? " above mean sea level and its rise)" : ")"));
  }
  return true;
}

bool write_curve(OutputFile& file, bool total_water, const std::vector<BridgeHazard>& results,
                 Sink& sink) {
  CsvWriter out(file.stream());
  for (const char* h :
       {"location", total_water ? "total_water_m" : "surge_m", "rate_per_year", "aep"}) {
    out.field(h);
  }
  out.end_row();
  for (const BridgeHazard& h : results) {
    for (const CurvePoint& p : h.curve) {
      out.integer(h.location);
      out.fixed(p.level_m, 3);
      significant(out, p.rate_per_year);
      significant(out, p.aep);
      out.end_row();
    }
  }
  out.flush();
  return commit_output(&file, sink);
}

}  // namespace

CommandEntry define_hazard(CLI::App& sub, const CommonOptions& common) {
  auto o = std::make_shared<Options>();
  sub.add_option("STORMS", o->storms_path,
                 "storm set CSV: pressure_mb,radius_km,rate[,landfall_km][,name] (- for standard "
                 "input)")
      ->required()
      ->check(input_file_validator());
  sub.add_option("--coast", o->coast,
                 "FROM:TO km: integrate landfalls over this coast (storms without landfall_km)");
  CLI::Option* step = sub.add_option("--step", o->step_km, "landfall step along the coast, km (at most 100000 landfalls)")
                          ->capture_default_str()
                          ->check(positive_validator());
  sub.add_option("--sigma-m", o->sigma_m, "error term: fixed standard deviation, m")
      ->capture_default_str()
      ->check(non_negative_validator());
  sub.add_option("--sigma-rel", o->sigma_rel, "error term: standard deviation per m of surge")
      ->capture_default_str()
      ->check(non_negative_validator());
  sub.add_option("--return-period", o->extra_periods,
                 "another return period in years, > 1 (repeatable; 10, 25, 50, 100, 200 and 500 "
                 "are always given; a repeated one is taken once)");
  sub.add_option("--curve", o->curve_path,
                 "write the hazard curve (surge, rate, AEP) per bridge to this file (- for "
                 "standard output, with -o sending the levels to a file)");
  sub.add_option("-o,--output", o->output, "where to write the return levels, - for standard output")
      ->capture_default_str();
  CLI::Option* curve_step =
      sub.add_option("--curve-step", o->curve_step_m, "surge step of the curve, m (whole mm)")
          ->capture_default_str()
          ->check(real_range_validator(0.001, 10));
  add_water_options(sub, &o->water);
  add_threads_option(sub, &o->threads);
  sub.footer(
      "Return-period surge above mean sea level at each bridge of sites.csv: the least surge, to\n"
      "the millimetre, whose annual exceedance probability 1 - exp(-rate) is at most 1/T. With\n"
      "--total-water: the total water level above the site's datum, the tide A cos(phase)\n"
      "convolved with a uniform phase, and the clearance (low chord - level).\n"
      "Example: surgekit hazard --data examples examples/storms.csv --coast -1720:861 "
      "--curve c.csv");
  return [o, &common, step, curve_step] {
    if (curve_step->count() > 0 && o->curve_path.empty()) {
      throw UsageError{"--curve-step requires --curve: it sets the step of that curve"};
    }
    HazardSpec setup;
    setup.step_km = o->step_km;
    setup.sigma_m = o->sigma_m;
    setup.sigma_rel = o->sigma_rel;
    setup.want_curve = !o->curve_path.empty();
    setup.total_water = o->water.total_water;
    setup.sea_level_rise_m = o->water.sea_level_rise_m;
    setup.wave_setup = o->water.wave_setup;
    setup.curve_step_mm = std::max<int64_t>(1, std::llround(o->curve_step_m * 1000));
    setup.return_periods.assign(std::begin(kStandardReturnPeriods),
                               std::end(kStandardReturnPeriods));
    for (double t : o->extra_periods) {
      if (!(t > 1) || !std::isfinite(t)) {
        throw UsageError{"--return-period must be a number of years above 1"};
      }
      setup.return_periods.push_back(t);
    }
    std::sort(setup.return_periods.begin(), setup.return_periods.end());
    setup.return_periods.erase(std::unique(setup.return_periods.begin(), setup.return_periods.end()),
                              setup.return_periods.end());
    std::string error;
    if (!o->coast.empty() && !parse_coast_range(o->coast, &setup, &error)) throw UsageError{error};
    if (!o->coast.empty()) refuse_too_many_landfalls(o->coast, setup.coast_from_km,
                                                     setup.coast_to_km, setup.step_km);
    if (setup.want_curve) refuse_shared_stdout(o->output, "the levels (-o)", o->curve_path, "--curve");

    Sink sink(kWho);
    // The outputs are opened before any work, so that one that cannot be
    // written stops the run at once and leaves nothing half done.
    OutputFile levels_file, curve_file;
    if (!open_output(o->output, &levels_file, sink)) return sink.status();
    if (setup.want_curve && !open_output(o->curve_path, &curve_file, sink)) return sink.status();
    CoefficientSet set;
    if (!load_coefficient_set(common.data_dir, common.strict, sink, &set)) return sink.status();
    std::vector<Site> sites;
    if (!load_site_list(common.data_dir, sink, &sites)) return sink.status();
    if (setup.total_water && !sites_have_datums(sites, common.data_dir, sink)) {
      return sink.status();
    }
    StormSet storms;
    if (!load_storm_set(o->storms_path, &storms, sink)) return sink.status();
    if (!settle_landfalls(storms, step->count() > 0, &setup, sink)) return sink.status();

    warn_if_coast_cuts(setup, storms, sites, sink);
    const std::vector<BridgeHazard> results =
        compute_hazard(setup, storms, set.table, sites, o->threads);
    for (const BridgeHazard& h : results) {
      if (h.nan_cases > 0) {
        sink.warning("location " + std::to_string(h.location) + ": " +
                     counted(static_cast<long long>(h.nan_cases), "case") +
                     (h.nan_cases == 1 ? " gives" : " give") +
                     " no finite surge (see surgekit check) and " +
                     (h.nan_cases == 1 ? "is" : "are") + " left out");
      }
    }
    if (!write_levels(levels_file, setup, sites, results, sink)) return sink.status();
    if (setup.want_curve) write_curve(curve_file, setup.total_water, results, sink);
    return sink.status();
  };
}

}  // namespace kit
