// surgekit: the calculator's companion for work one dialogue cannot do.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <vector>

#include "kit/commands/command.h"
#include "kit/commands/commands.h"
#include "kit/core/fp_environment.h"

namespace {

using kit::CommandSpec;

constexpr CommandSpec kCommands[] = {
    {"check", "List every fault and doubtful value of the coefficient files", kit::define_check},
    {"run", "Evaluate a CSV file of cases, one output row per case", kit::define_run},
    {"diff", "Largest change of the surge between two coefficient sets, per location",
     kit::define_diff},
    {"curve", "Surge, side, curve and X along landfall distance, as CSV or a plot", kit::define_curve},
    {"worst", "The landfall (and radius) that gives each location its largest surge", kit::define_worst},
    {"envelope", "The worst surge per location and pressure over distance and radius", kit::define_envelope},
    {"report", "One self-contained HTML page of plots and tables for the coefficient set", kit::define_report},
    {"ensemble", "Chances of each bridge's surge from a forecast's track, intensity and size errors", kit::define_ensemble},
    {"hazard", "Return-period surge at every bridge from a storm set (joint probability)", kit::define_hazard},
#ifdef SURGE_KIT_FIT
    {"fit", "Fit the coefficient files to simulated peak surges, with how well they fit", kit::define_fit},
#endif
};

}  // namespace

int main(int argc, char** argv) {
  kit::use_model_fp_environment();

  CLI::App app{"surgekit: many cases at once, coefficient checks, curves, worst cases,\n"
               "ensembles and return-period surge, with the calculator's model.",
               "surgekit"};
  app.set_version_flag("--version", "surgekit " SURGE_VERSION);
  app.require_subcommand(1);
  app.footer("Example: surgekit check --data examples\n"
             "Run 'surgekit SUBCOMMAND --help' for a subcommand's options.");

  kit::CommonOptions common;
  std::vector<kit::CommandEntry> entries;
  std::vector<CLI::App*> subs;
  for (const CommandSpec& command : kCommands) {
    CLI::App* sub = app.add_subcommand(command.name, command.summary);
    sub->add_option("--data", common.data_dir,
                    "folder of srfparamsVelko.dat and pslope.dat (default: the working directory)")
        ->check(CLI::ExistingDirectory);
    sub->add_flag("--strict", common.strict,
                  "refuse a coefficient set that 'surgekit check' warns about, not only one "
                  "with errors");
    entries.push_back(command.define(*sub, common));
    subs.push_back(sub);
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);  // prints help, the version or the fault
    return code == 0 ? kit::kStatusOk : kit::kStatusUsage;
  }

  for (size_t i = 0; i < subs.size(); ++i) {
    if (!subs[i]->parsed()) continue;
    try {
      return entries[i]();
    } catch (const kit::UsageError& e) {
      std::cerr << "surgekit " << subs[i]->get_name() << ": " << e.message << "\n"
                << "Run with --help for more information.\n";
      return kit::kStatusUsage;
    }
  }
  return kit::kStatusUsage;
}
