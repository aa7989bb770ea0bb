// What several subcommands share: option validators, and loading the user's
// files with every finding written to standard error.
#ifndef SURGE_KIT_COMMANDS_SHARED_H_
#define SURGE_KIT_COMMANDS_SHARED_H_

#include <string>
#include <string_view>
#include <vector>

#include "kit/coefficients/check.h"
#include "kit/coefficients/coefficients.h"
#include "kit/core/diagnostics.h"
#include "kit/files/sites.h"
#include "kit/files/storms.h"
#include "kit/studies/hazard_curve.h"

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

// One real option's value: a storm's pressure (below 1013 mb), radius (above
// 0), or any finite number. NaN and infinities are refused.
CLI::Validator pressure_validator();
CLI::Validator radius_validator();
CLI::Validator finite_validator();

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
bool sites_have_datums(const std::vector<Site>& sites, const std::string& dir, const char* who);

// Declares --threads (1 to 256) on `sub`, stored in *threads; the default left
// in *threads means one thread per core.
void add_threads_option(CLI::App& sub, int* threads);

// Writes each finding to standard error, one a line.
void print_findings(const std::vector<Finding>& findings);

// Loads the coefficient set of `dir` through the coefficient check. Its errors
// (and, with `strict`, its warnings) refuse the set: they are written to
// standard error with a summary under `who`, and the result is false. Its
// warnings otherwise are written with a summary, and the work goes on.
bool load_coefficient_set(const std::string& dir, bool strict, const char* who,
                          CoefficientSet* set);

// Writes a check's errors and warnings (not its notes) to standard error with
// the summary above; false when they refuse the set.
bool print_check(const CheckReport& report, const std::string& dir, bool strict,
                 const char* who);

// Whether a check's findings refuse its set, by the rule above.
bool set_refused(const CheckReport& report, bool strict);

// Loads the sites file of `dir`, writing its findings to standard error;
// false when any is an error.
bool load_site_list(const std::string& dir, std::vector<Site>* sites);

// Reads "FROM:TO" (km) into setup's coast; false with *error set when it is not
// two numbers or the range is empty (FROM not below TO).
bool parse_coast_range(const std::string& text, HazardSpec* setup, std::string* error);

// Reads the storm set at `path` ("-": standard input), writing its findings to
// stderr (the first 20 outside-range rows named, then a count, under `who`).
// False when any finding is an error.
bool load_storm_set(const std::string& path, StormSet* set, const char* who);

// With landfalls in the set the coast is not used (a note says so); without
// them a coast is needed: false with *error set when none was given.
bool settle_landfalls(const StormSet& set, HazardSpec* setup, const char* who, std::string* error);

// Warns, naming the bridges, when the coast range integrated over cuts into
// the landfalls from which the storm set's largest storm reaches a bridge
// within the fitted curves: their return levels then leave storms out.
void warn_if_coast_cuts(const HazardSpec& setup, const StormSet& storms,
                        const std::vector<Site>& sites, const char* who);

// Writes `text` whole to `path` ("-": standard output); on failure writes
// "who: reason" to standard error and returns false.
bool write_output(const std::string& path, std::string_view text, const char* who);

}  // namespace kit

#endif  // SURGE_KIT_COMMANDS_SHARED_H_
