// Findings about the user's files and cases, in the form compilers use:
// "file:line:column: error|warning|note: message".
#ifndef SURGE_KIT_CORE_DIAGNOSTICS_H_
#define SURGE_KIT_CORE_DIAGNOSTICS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace kit {

enum class Severity : uint8_t {
  kError,    // the data cannot be used as it stands
  kWarning,  // accepted, but likely a slip or giving infinities or NaNs
  kNote,     // worth knowing; nothing is wrong
};

struct Finding {
  std::string file;     // as given to the reader: the folder joined with the file name
  uint64_t line = 0;    // counted from 1; 0 for the file as a whole
  uint64_t column = 0;  // counted from 1; 0 when the line as a whole is meant
  Severity severity = Severity::kError;
  std::string message;
};

// "file:line:column: severity: message", leaving out a line or column of 0.
std::string format_finding(const Finding& finding);

// True when any of `findings` is an error.
bool has_error(const std::vector<Finding>& findings);

}  // namespace kit

#endif  // SURGE_KIT_CORE_DIAGNOSTICS_H_
