// The shape of a surgekit subcommand: its options are declared on a CLI11
// subcommand, and its entry runs after the command line has been parsed.
#ifndef SURGE_KIT_COMMANDS_COMMAND_H_
#define SURGE_KIT_COMMANDS_COMMAND_H_

#include <functional>
#include <string>

namespace CLI {
class App;
}

namespace kit {

// Exit statuses, one table for every subcommand.
inline constexpr int kStatusOk = 0;        // all went well
inline constexpr int kStatusFindings = 1;  // the data or the cases hold errors, or diff found
                                           // sets that differ beyond its tolerance
inline constexpr int kStatusUsage = 2;     // the command line is wrong, or an input cannot be
                                           // read or an output cannot be written

// Options every subcommand shares, declared once by the program.
struct CommonOptions {
  std::string data_dir = ".";  // where the coefficient files (and sites.csv) are
  bool strict = false;         // the coefficient check's warnings refuse the set too
};

// Gives every real option declared on the subcommands of `app` (CLI11's FLOAT
// type, alone or in a list) a check that refuses NaN and infinities, naming
// the option (status 2). Called once after every subcommand is declared, so
// that no real option goes without it.
void refuse_non_finite_reals(CLI::App& app);

// Runs a parsed subcommand; returns the exit status.
using CommandEntry = std::function<int()>;

// One subcommand: declares its options on `sub` (keeping their storage alive
// in the entry it returns) and gives the entry to run.
struct CommandSpec {
  const char* name;
  const char* summary;
  CommandEntry (*define)(CLI::App& sub, const CommonOptions& common);
};

// A usage fault found after parsing (an option's value that does not fit the
// others): the program prints it with the subcommand's usage and exits 2.
struct UsageError {
  std::string message;
};

// An input that cannot be read or an output that cannot be written, thrown
// where the run cannot go on: the program prints it and exits 2.
struct IoError {
  std::string message;
};

}  // namespace kit

#endif  // SURGE_KIT_COMMANDS_COMMAND_H_
