// surgekit report: one self-contained HTML page on a coefficient set: its
// identity and check, worst cases, envelopes, the curves of every location,
// and with --sims how the set reproduces simulated surges.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "kit/commands/commands.h"
#include "kit/page/html_page.h"
#include "kit/commands/shared.h"
#include "kit/studies/parallel.h"
#include "kit/page/report_hazard.h"
#include "kit/page/report_interactive.h"
#include "kit/page/report_sections.h"
#include "kit/page/report_simulations.h"
#include "kit/page/web_assets.h"
#include "kit/core/limits.h"
#include "kit/core/selection.h"
#include "kit/studies/curves.h"
#include "kit/studies/model_errors.h"

namespace kit {
namespace {

struct ReportOptions {
  std::string output = "report.html";
  std::string pressures = range_text(kFittedPressureMinMb, kFittedPressureMaxMb, 10);
  std::string radius_range = range_text(kFittedRadiusMinKm, kFittedRadiusMaxKm);
  // Three curves a plot, up to the strongest fitted storm.
  std::string plot_pressures = range_text(900, kFittedPressureMaxMb, 30);
  double plot_radius_km = 30;
  int worst_pressure_mb = 930;
  std::string location = "all";
  std::string storms;  // a storm set for the hazard section, when given
  std::string coast;
  std::string sims;  // simulated surges to set beside the model, when given
  double step_km = 1;
  bool step_given = false;  // --step was on the command line
  bool no_interactive = false;  // leave the interactive section (and its scripts) out
  WaterOptions water;
};

// The page, section by section; the model's sections only when the
// coefficient files load.
std::string assemble_page(const ReportInput& input, const HazardReport* hazard,
                          const SimulationReport* simulations,
                          const InteractiveInput& interactive, bool refused) {
  HtmlPage page("Storm-surge coefficient report");
  const CheckReport& check = input.check;
  // A banner before anything else when the check found more than notes.
  if (refused) {
    page.note("This coefficient set is refused: its check found " +
              counted(check.errors + check.kit_errors, "error") + " and " +
              counted(check.warnings, "warning") + " (see the coefficient check below). "
              "The sections that evaluate the model are left out.");
  } else if (check.warnings > 0) {
    page.note("Caution: the coefficient check found " + counted(check.warnings, "warning") +
              " (see the coefficient check below). The surges on this page are "
              "what the calculator gives for these files, which may not be what they meant.");
  }
  add_identity_section(input, &page);
  add_scope_section(input, &page);
  add_findings_section(input, &page);
  if (!refused) {
    add_worst_section(input, &page);
    add_envelope_section(input, &page);
    add_location_sections(input, &page);
    add_interactive_section(interactive, &page);
    if (hazard != nullptr) add_hazard_section(*hazard, input.locations, &page);
    if (simulations != nullptr) add_simulations_section(*simulations, input.locations, &page);
  }
  return page.finish();
}

// Reads the sites of `data_dir` and the storm set, and computes the return
// levels and curves. `coast` may be empty when the storms have landfalls.
// False, with the faults on stderr, on bad input.
bool compute_hazard_report(const std::string& storms_path, const HazardSpec& coast,
                           double step_km, bool step_given, const WaterOptions& water,
                           const std::string& data_dir,
                           const surge::SiteTable& table, Sink& sink, HazardReport* report) {
  report->storms_path = storms_path;
  HazardSpec& setup = report->setup;
  setup.integrate_coast = coast.integrate_coast;
  setup.coast_from_km = coast.coast_from_km;
  setup.coast_to_km = coast.coast_to_km;
  setup.step_km = step_km;
  setup.return_periods.assign(std::begin(kStandardReturnPeriods), std::end(kStandardReturnPeriods));
  setup.want_curve = true;
  setup.curve_step_mm = 10;
  setup.total_water = water.total_water;
  setup.sea_level_rise_m = water.sea_level_rise_m;
  setup.wave_setup = water.wave_setup;
  if (!load_site_list(data_dir, sink, &report->sites)) return false;
  if (setup.total_water && !sites_have_datums(report->sites, data_dir, sink)) {
    return false;
  }
  StormSet storms;
  if (!load_storm_set(storms_path, &storms, sink)) return false;
  if (!settle_landfalls(storms, step_given, &setup, sink)) return false;
  report->coast_warning = warn_if_coast_cuts(setup, storms, report->sites, sink);
  report->storm_count = storms.storms.size();
  report->outside_fit = storms.outside_fit;
  report->results = compute_hazard(setup, storms, table, report->sites, default_thread_count());
  return true;
}

int run_report(const ReportOptions& options, const CommonOptions& common) {
  // The coast is read before any file.
  HazardSpec coast;
  std::string error;
  if (!options.coast.empty() && !parse_coast_range(options.coast, &coast, &error)) {
    throw UsageError{error};
  }
  if (!options.coast.empty()) {
    refuse_too_many_landfalls(options.coast, coast.coast_from_km, coast.coast_to_km,
                              options.step_km);
  }
  if (options.storms == "-" && options.sims == "-") {
    throw UsageError{"--storms and --sims cannot both read standard input"};
  }
  Sink sink("surgekit report");
  ReportInput input;
  input.data_dir = common.data_dir;
  parse_locations(options.location, &input.locations);
  parse_integer_range(options.pressures, &input.pressures);
  parse_integer_range(options.radius_range, &input.radii);
  parse_integer_range(options.plot_pressures, &input.plot_pressures);
  input.radius_range = options.radius_range;
  input.plot_radius_km = options.plot_radius_km;
  input.worst_pressure_mb = options.worst_pressure_mb;
  if (!coefficient_files_readable(common.data_dir, sink)) return sink.status();
  input.check = check_coefficient_files(common.data_dir);
  const bool refused = !print_check(input.check, common.data_dir, common.strict, sink);

  if (!refused) {
    // One search per location and radius serves the envelope's pressures and
    // the worst case's.
    std::vector<double> pressures(input.pressures.begin(), input.pressures.end());
    pressures.push_back(input.worst_pressure_mb);
    input.envelope = envelope_table(input.check.set.table, input.locations, pressures, input.radii);
    for (auto& row : input.envelope) {
      input.worst.push_back(row.back());
      row.pop_back();
    }
    for (int location : input.locations) {
      input.location_samples.push_back(sample_location(input.check.set.table, location,
                                                       input.plot_radius_km, input.plot_pressures));
    }
  }
  // The simulations are read before the work, so that a fault in them ends the run at once.
  SimulationSet simulations;
  if (!options.sims.empty() && !load_simulations(options.sims, &simulations, sink)) {
    return sink.status();
  }
  SimulationReport sims;
  const bool with_sims = !options.sims.empty() && !refused;
  if (with_sims) {
    sims.path = options.sims == "-" ? "standard input" : options.sims;
    sims.sha256 = simulations.sha256;
    sims.rows = simulations.rows.size();
    sims.locations = compare_with_model(simulations.rows, input.check.set.table,
                                        kSimulationPointsPlotted);
  }
  HazardReport hazard;
  const bool with_hazard = !options.storms.empty() && !refused;
  if (with_hazard && !compute_hazard_report(options.storms, coast, options.step_km,
                                            options.step_given, options.water,
                                            common.data_dir, input.check.set.table, sink,
                                            &hazard)) {
    return sink.status();
  }
  // The interactive section places the bridges along the coast when the data
  // folder has a sites file; otherwise it shows one location at a time.
  InteractiveInput interactive;
  interactive.table = &input.check.set.table;
  interactive.locations = input.locations;
  if (options.no_interactive) {
    interactive.missing_reason = "left out by --no-interactive";
  } else {
    interactive.model_script = web_model_script();
    interactive.missing_reason = web_model_missing_reason();
  }
  std::vector<Site> sites;
  if (!refused) {
    const std::string sites_path = path_in(common.data_dir, kSitesFileName);
    if (std::FILE* probe = std::fopen(sites_path.c_str(), "rb")) {
      std::fclose(probe);
      if (load_site_list(common.data_dir, sink, &sites)) {
        interactive.sites = &sites;
      } else {
        interactive.sites_note = "The bridge sites file " + sites_path +
                                 " could not be read (see \"surgekit check\"): the section shows "
                                 "one location at a time, by its distance from the landfall.";
      }
    } else {
      interactive.sites_note = "The data folder has no bridge sites file (" +
                               std::string(kSitesFileName) +
                               "): the section shows one location at a time, by its distance "
                               "from the landfall.";
    }
  }
  if (!write_output(options.output,
                    assemble_page(input, with_hazard ? &hazard : nullptr,
                                  with_sims ? &sims : nullptr, interactive, refused),
                    sink)) {
    return sink.status();
  }
  if (refused) sink.summary("the page shows the coefficient check only");
  return sink.status();
}

}  // namespace

CommandEntry define_report(CLI::App& sub, const CommonOptions& common) {
  auto options = std::make_shared<ReportOptions>();
  sub.add_option("-o,--output", options->output, "the page to write (\"-\" for stdout)")
      ->capture_default_str();
  sub.add_option("--pressures", options->pressures,
                 "the envelope's central pressures, FIRST:LAST or FIRST:LAST:STEP (mb); a "
                 "step that misses LAST still ends at LAST")
      ->capture_default_str()
      ->check(pressure_range_validator("FIRST:LAST[:STEP]"));
  sub.add_option("--radius-range", options->radius_range,
                 "integer radii searched for worst cases, FIRST:LAST or FIRST:LAST:STEP (km); "
                 "a step that misses LAST still ends at LAST")
      ->capture_default_str()
      ->check(radius_range_validator("FIRST:LAST[:STEP]"));
  sub.add_option("--plot-pressures", options->plot_pressures,
                 "one surge line each in the location plots, FIRST:LAST or FIRST:LAST:STEP (mb); "
                 "a step that misses LAST still ends at LAST")
      ->capture_default_str()
      ->check(pressure_range_validator("FIRST:LAST[:STEP]"));
  sub.add_option("--plot-radius", options->plot_radius_km, "radius of the location plots (km)")
      ->capture_default_str()
      ->check(radius_validator());
  sub.add_option("--worst-pressure", options->worst_pressure_mb,
                 "central pressure of the worst-case table (mb)")
      ->capture_default_str()
      ->check(pressure_validator());
  sub.add_option("--location", options->location, "location number or \"all\"")
      ->capture_default_str()
      ->check(location_validator());
  CLI::Option* storms =
      sub.add_option("--storms", options->storms,
                     "add return-period surge at each bridge of sites.csv from this storm set "
                     "(as surgekit hazard reads it; - for standard input)")
          ->check(input_file_validator());
  sub.add_option("--coast", options->coast, "with --storms: FROM:TO km of coast to integrate "
                                            "landfalls over")
      ->needs(storms);
  CLI::Option* step =
      sub.add_option("--step", options->step_km, "with --storms: landfall step along the coast, km (at most 100000 landfalls)")
          ->capture_default_str()
          ->check(positive_validator())
          ->needs(storms);
  sub.add_option("--sims", options->sims,
                 "add the set's errors against simulated peak surges, per location, from this "
                 "CSV file (as surgekit fit reads it; - for standard input)")
      ->check(input_file_validator());
  sub.add_flag("--no-interactive", options->no_interactive,
               "leave out the interactive section: the page then holds no script");
  add_water_options(sub, &options->water);
  sub.get_option("--total-water")->needs(storms);
  sub.footer("Example: surgekit report --data examples -o report.html\n"
             "Writes one HTML page with inline plots and tables; it fetches nothing and\n"
             "prints on A4. Exit status 1 when the coefficient files hold errors.");
  return [options, &common, step] {
    options->step_given = step->count() > 0;
    return run_report(*options, common);
  };
}

}  // namespace kit
