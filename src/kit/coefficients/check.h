// What `surgekit check` finds in a coefficient set, in the form compilers use:
// "file:line:column: error|warning|note: message".
#ifndef SURGE_KIT_COEFFICIENTS_CHECK_H_
#define SURGE_KIT_COEFFICIENTS_CHECK_H_

#include <cstdint>
#include <string>
#include <vector>

#include "kit/coefficients/coefficients.h"
#include "kit/core/diagnostics.h"

namespace kit {

// Everything one check of a folder found.
struct CheckReport {
  std::vector<Finding> findings;  // in file order, parameter file first
  CoefficientSet set;             // the values the calculator would hold after loading
  int locations_read = 0;         // locations read without a fault from both files
  int errors = 0, warnings = 0, notes = 0;  // errors: those that stop the calculator
  int kit_errors = 0;  // errors only surgekit refuses: the calculator loads such a set,
                       // but its surges become infinite or NaN (listed in `findings` as
                       // errors too)
  int calculator_message = 0;     // the run-time error the calculator ends with at the
                                  // first error (24, 29, 59, 64...); 0 with no error
};

// Reads both coefficient files in `dir` with the calculator's rules and lists
// every finding instead of stopping at the first. No error exactly when the
// calculator loads the files without a report; then report.set holds its values.
CheckReport check_coefficient_files(const std::string& dir);

// One coefficient file as found on disk: its name as given, and its bytes or
// why it could not be opened.
struct CoefficientFile {
  std::string path;
  bool found = false;
  std::string bytes;
  std::string failure;   // why it could not be opened, when not found
  int open_message = 0;  // the calculator's run-time error for that (29: no such file)
};

// check_coefficient_files on files already read: what a test or fuzz target
// hands in without touching the disk.
CheckReport check_coefficient_contents(const CoefficientFile& parameters,
                                       const CoefficientFile& slopes);

// Reads a file for check_coefficient_contents.
CoefficientFile read_coefficient_file(const std::string& path);

}  // namespace kit

#endif  // SURGE_KIT_COEFFICIENTS_CHECK_H_
