// Runs the whole program in-process on the in-memory OS layer, for fuzz targets.
#ifndef SURGE_FUZZ_WHOLE_PROGRAM_H_
#define SURGE_FUZZ_WHOLE_PROGRAM_H_

#include <optional>
#include <string>
#include <string_view>

namespace surge_fuzz {

// Coefficient files that load cleanly: the same row at every location.
std::string good_parameter_file();
std::string good_slope_file();

// Runs the program from a clean state with the given console input and data
// files (in the working folder), and checks how it ended: status 0 with
// nothing on standard error, or a catalogue message number with a complete
// report line that names it; standard output always whole records. Aborts
// (a finding) when a check fails.
void run_and_check(std::string_view console_input, std::string_view parameter_file,
                   std::string_view slope_file);

// Runs the program from a clean state (a zero site table) through one case
// at location 5 and the answer 0, with the given data files; a file given as
// nullopt is missing. Returns the exit status; surge::site_table() then holds
// what the run loaded.
int run_one_case(std::optional<std::string_view> parameter_file,
                 std::optional<std::string_view> slope_file);

}  // namespace surge_fuzz

#endif  // SURGE_FUZZ_WHOLE_PROGRAM_H_
