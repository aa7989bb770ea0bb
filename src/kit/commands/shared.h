// What several subcommands share: option validators, and loading the user's
// files with every finding given to the subcommand's sink.
#ifndef SURGE_KIT_COMMANDS_SHARED_H_
#define SURGE_KIT_COMMANDS_SHARED_H_

#include <string>
#include <string_view>
#include <vector>

#include "kit/coefficients/check.h"
#include "kit/coefficients/coefficients.h"
#include "kit/commands/sink.h"
#include "kit/core/diagnostics.h"
#include "kit/files/csv.h"
#include "kit/files/output_file.h"
#include "kit/files/simulations.h"
#include "kit/files/sites.h"
#include "kit/files/storms.h"
#include "kit/studies/hazard_curve.h"
#include "kit/studies/landfall.h"

namespace CLI {
class App;
class Validator;
}

namespace kit {

// CLI11 validators for a location ("all" or 1 to 20) and for an integer
// range "first:last[:step]", with the accepted form as description.
CLI::Validator location_validator();
CLI::Validator integer_range_validator(const char* description);

// The same for integer radii (every value above 0) and pressures (every value
// above 0 and below the ambient 1013 mb): a storm outside physics is refused.
CLI::Validator radius_range_validator(const char* description);
CLI::Validator pressure_range_validator(const char* description);

// One real option's value: a storm's pressure (above 0 and below 1013 mb),
// radius (above 0), any finite number, a number of zero or more, or above
// zero. NaN and infinities are refused. Messages quote the value as given, never a bound
// with hundreds of digits.
CLI::Validator pressure_validator();
CLI::Validator radius_validator();
CLI::Validator finite_validator();
CLI::Validator non_negative_validator();
CLI::Validator positive_validator();

// A real option's value from `low` to `high`, both included; NaN and the
// infinities refused. The bounds appear in the help ("FLOAT in [0.001 - 10]")
// and in the message ("'20' is not from 0.001 to 10") in their shortest plain
// decimal text.
CLI::Validator real_range_validator(double low, double high);

// A file to read: "-" (standard input) or a file that can be opened, else
// "cannot read PATH: the system's reason".
CLI::Validator input_file_validator();

// The total water level's options, shared by hazard, ensemble and report:
// --total-water, and with it --sea-level-rise M (finite) and --wave-setup F
// (a finite fraction of the surge, 0 or more).
struct WaterOptions {
  bool total_water = false;
  double sea_level_rise_m = 0;
  double wave_setup = 0;
};
void add_water_options(CLI::App& sub, WaterOptions* water);

// With the total water every site needs its datum offset: false, naming the
// sites without one in an error under `who`, when any lacks it.
bool sites_have_datums(const std::vector<Site>& sites, const std::string& dir, Sink& sink);

// Declares --threads (1 to 256) on `sub`, stored in *threads; the default left
// in *threads means one thread per core.
void add_threads_option(CLI::App& sub, int* threads);

// Loads the coefficient set of `dir` through the coefficient check. Its errors
// (and, with `strict`, its warnings) refuse the set: they go to `sink` with a
// summary, and the result is false. Its warnings otherwise go with a summary,
// and the work goes on.
bool load_coefficient_set(const std::string& dir, bool strict, Sink& sink, CoefficientSet* set);

// False, with an input fault (status 2) in the sink, when either coefficient
// file of `dir` cannot be opened and read.
bool coefficient_files_readable(const std::string& dir, Sink& sink);

// Gives a check's errors and warnings (not its notes) to `sink` with the
// summary above; false when they refuse the set.
bool print_check(const CheckReport& report, const std::string& dir, bool strict, Sink& sink);

// Whether a check's findings refuse its set, by the rule above.
bool set_refused(const CheckReport& report, bool strict);

// Loads the sites file of `dir`, its findings to `sink`; false when any is an
// error, or when the file cannot be read (an I/O error in `sink`: status 2).
bool load_site_list(const std::string& dir, Sink& sink, std::vector<Site>* sites);

// Reads "FROM:TO" (km) into setup's coast; false with *error set when it is not
// two numbers or the range is empty (FROM not below TO).
bool parse_coast_range(const std::string& text, HazardSpec* setup, std::string* error);

// Each landfall along an integrated coast is evaluated for every storm at
// every bridge: more than this many is refused before anything is read.
inline constexpr long kMaxCoastLandfalls = 100000;

// Refuses (a UsageError naming --step) a coast `coast_text` from `from_km` to
// `to_km` that `step_km` cuts into more than kMaxCoastLandfalls landfalls.
void refuse_too_many_landfalls(const std::string& coast_text, double from_km, double to_km,
                               double step_km);

// Reads the storm set at `path` ("-": standard input), its findings to `sink`
// (the first 20 outside-range rows named, then a count). False when any
// finding is an error, or the file cannot be read (an I/O error).
bool load_storm_set(const std::string& path, StormSet* set, Sink& sink);

// The whole of `path` ("-": standard input) in *bytes; false with *error set
// ("cannot read PATH: the system's reason") when it cannot be read.
bool read_whole_input(const std::string& path, std::string* bytes, std::string* error);

// Reads the simulated surges at `path` ("-": standard input), their findings
// (errors at their line and column) to `sink`. False when any is an error, or
// the file cannot be read (an I/O error).
bool load_simulations(const std::string& path, SimulationSet* set, Sink& sink);

// With landfalls in the set the coast is not used (a note says so); without
// them a coast is needed: false, with the error in `sink`, when none was given.
// `step_given` says --step was on the command line: with landfalls and no
// coast it has nothing to step along, and is refused (a UsageError).
bool settle_landfalls(const StormSet& set, bool step_given, HazardSpec* setup, Sink& sink);

// Warns, naming the bridges, when the coast range integrated over cuts into
// the landfalls from which the storm set's largest storm reaches a bridge
// within the fitted curves: their return levels then leave storms out. The
// warning's message, for the report page; empty when nothing is cut.
std::string warn_if_coast_cuts(const HazardSpec& setup, const StormSet& storms,
                               const std::vector<Site>& sites, Sink& sink);

// The columns of a worst landfall after its surge: distance, radius, side,
// curve, X, the smallest and largest radius that reach it with their
// distances, and every radius that reaches it as runs of the searched radii,
// "FIRST-LAST" (or one radius alone) separated by spaces: "17-23 25-65".
inline constexpr const char* kWorstColumns[] = {
    "distance_km", "radius_km", "side", "curve", "x", "radius_min_km", "radius_max_km",
    "distance_at_min_km", "distance_at_max_km", "radius_runs_km"};
void write_worst_columns(CsvWriter& csv, const WorstLandfall& w);

// A field of a rate, share, chance or ratio: six significant digits in plain
// decimal form, the one way the tables write them.
void significant(CsvWriter& out, double value);

// Opens a table's output and, when `plot_path` is not empty, a plot's, before
// any work: one that cannot be written stops the run at once and leaves
// nothing half done. False, with the fault in the sink, when either fails.
bool open_table_and_plot(const std::string& table_path, const std::string& plot_path,
                         OutputFile* table, OutputFile* plot, Sink& sink);

// Writes `text` whole to `path` ("-": standard output); on failure an I/O
// error in `sink` (the user's path and the system's reason), and false.
bool write_output(const std::string& path, std::string_view text, Sink& sink);

// Opens `path` ("-": standard output) for a result written in pieces, and
// commits it; on failure an I/O error in `sink`, and false.
bool open_output(const std::string& path, OutputFile* out, Sink& sink);
bool commit_output(OutputFile* out, Sink& sink);
// Writes `text` to an output opened early, and commits it.
bool finish_output(OutputFile* out, std::string_view text, Sink& sink);

// Refuses (a UsageError) two outputs sent to standard output at once, which
// would mix two formats in one stream: `first` and `second` name the options.
void refuse_shared_stdout(const std::string& first_path, const char* first,
                          const std::string& second_path, const char* second);

// The values of `values` with repeats left out, in their first order.
std::vector<double> taken_once(const std::vector<double>& values);

}  // namespace kit

#endif  // SURGE_KIT_COMMANDS_SHARED_H_
