// surgekit: the calculator's companion for work one dialogue cannot do.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <iostream>
#include <string>
#include <string_view>
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

// Writes `text` to standard error with `prefix` before each of its lines.
void print_lines(const std::string& prefix, std::string_view text) {
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    if (!line.empty()) std::cerr << prefix << line << "\n";
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

// The edit distance between two names, for suggesting the nearest subcommand.
size_t edit_distance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

const CommandSpec* find_command(std::string_view name) {
  for (const CommandSpec& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

// "unknown subcommand \"chek\" (did you mean \"check\"?)", or the list of them
// when none is near.
std::string unknown_command_message(std::string_view name) {
  const CommandSpec* nearest = nullptr;
  size_t best = 0;
  std::string all;
  for (const CommandSpec& command : kCommands) {
    const size_t d = edit_distance(name, command.name);
    if (nearest == nullptr || d < best) {
      nearest = &command;
      best = d;
    }
    all += std::string(all.empty() ? "" : ", ") + command.name;
  }
  std::string message = "unknown subcommand \"" + std::string(name) + "\"";
  if (nearest != nullptr && best <= std::max<size_t>(2, name.size() / 2)) {
    return message + " (did you mean \"" + nearest->name + "\"?)";
  }
  return message + " (the subcommands: " + all + ", help)";
}

// Flushes standard output at the end of a run that wrote only to it: a
// failed write is an error of status 2 with the system's reason.
int flushed(int status, const std::string& who) {
  std::cout.flush();
  const bool failed = !std::cout || std::fflush(stdout) != 0 || std::ferror(stdout);
  if (!failed) return status;
  const int error = errno;
  std::cerr << who << ": error: cannot write standard output: "
            << std::strerror(error != 0 ? error : EIO) << "\n";
  return kit::kStatusUsage;
}

// The first argument that is not an option: the subcommand the user meant.
std::string named_subcommand(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] != '-') return argv[i];
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  kit::use_model_fp_environment();

  CLI::App app{"surgekit: many cases at once, coefficient checks, curves, worst cases,\n"
               "ensembles and return-period surge, with the calculator's model.",
               "surgekit"};
  app.set_version_flag("--version", "surgekit " SURGE_VERSION);
  app.require_subcommand(1);
  app.footer("Example: surgekit check --data examples\n"
             "Run \"surgekit SUBCOMMAND --help\" or \"surgekit help SUBCOMMAND\" for a "
             "subcommand's\n"
             "options. Exit status: 0 success; 1 the data or the cases hold errors (or diff\n"
             "found sets that differ); 2 the command line is wrong, or a file cannot be read\n"
             "or written.");

  kit::CommonOptions common;
  std::vector<kit::CommandEntry> entries;
  std::vector<CLI::App*> subs;
  for (const CommandSpec& command : kCommands) {
    CLI::App* sub = app.add_subcommand(command.name, command.summary);
    sub->add_option("--data", common.data_dir,
                    "folder of srfparamsVelko.dat and pslope.dat (default: the working directory)")
        ->check(CLI::ExistingDirectory);
    sub->add_flag("--strict", common.strict,
                  "refuse a coefficient set that \"surgekit check\" warns about, not only one "
                  "with errors");
    entries.push_back(command.define(*sub, common));
    subs.push_back(sub);
  }
  kit::refuse_non_finite_reals(app);

  // Before the parser: a subcommand the program does not know is named, and
  // "help [SUBCOMMAND]" prints the help that --help would.
  const std::string named = named_subcommand(argc, argv);
  if (named == "help") {
    int first = 1;
    while (first < argc && std::string_view(argv[first]) != "help") ++first;
    if (first + 1 >= argc) {
      std::cout << app.help();
      return flushed(kit::kStatusOk, "surgekit help");
    }
    const std::string wanted = argv[first + 1];
    if (first + 2 < argc) {
      std::cerr << "surgekit help: error: give one subcommand, not \"" << argv[first + 2] << "\"\n";
      return kit::kStatusUsage;
    }
    if (find_command(wanted) == nullptr) {
      std::cerr << "surgekit help: error: " << unknown_command_message(wanted) << "\n";
      return kit::kStatusUsage;
    }
    std::cout << app.get_subcommand(wanted)->help("surgekit");
    return flushed(kit::kStatusOk, "surgekit help");
  }
  if (!named.empty() && find_command(named) == nullptr) {
    std::cerr << "surgekit: error: " << unknown_command_message(named) << "\n"
              << "surgekit: run \"surgekit --help\" for the subcommands\n";
    return kit::kStatusUsage;
  }
  const std::string who = named.empty() ? "surgekit" : "surgekit " + named;

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    // Help or the version, on standard output.
    return flushed(app.exit(e) == 0 ? kit::kStatusOk : kit::kStatusUsage, who);
  } catch (const CLI::ParseError& e) {
    if (named.empty() && argc > 1) {
      // Only options, and none that the program itself takes: the parser
      // would ask for a subcommand without naming what it was given.
      std::cerr << "surgekit: error: unknown option \"" << argv[1]
                << "\": a subcommand comes first, its options after it\n"
                << "surgekit: run \"surgekit --help\" for the subcommands\n";
      return kit::kStatusUsage;
    }
    print_lines(who + ": error: ", e.what());
    std::cerr << who << ": run \"" << who << " --help\" for "
              << (named.empty() ? "the subcommands" : "its options") << "\n";
    return kit::kStatusUsage;
  }

  for (size_t i = 0; i < subs.size(); ++i) {
    if (!subs[i]->parsed()) continue;
    const std::string prefix = "surgekit " + subs[i]->get_name() + ": ";
    try {
      const int status = entries[i]();
      // A subcommand that found nothing wrong may still leave its output in
      // the buffer of standard output: a failed flush is not success.
      return status == kit::kStatusOk ? flushed(status, "surgekit " + subs[i]->get_name()) : status;
    } catch (const kit::UsageError& e) {
      print_lines(prefix + "error: ", e.message);
      std::cerr << prefix << "run \"surgekit " << subs[i]->get_name()
                << " --help\" for its options\n";
      return kit::kStatusUsage;
    } catch (const kit::IoError& e) {
      print_lines(prefix + "error: ", e.message);
      return kit::kStatusUsage;
    } catch (const std::bad_alloc&) {
      std::cerr << prefix << "error: out of memory\n";
      return kit::kStatusUsage;
    } catch (const std::exception& e) {
      print_lines(prefix + "error: ", std::string("could not go on: ") + e.what());
      return kit::kStatusUsage;
    } catch (...) {
      std::cerr << prefix << "error: could not go on (an unexpected fault)\n";
      return kit::kStatusUsage;
    }
  }
  return kit::kStatusUsage;
}
