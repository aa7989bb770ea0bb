// The coefficient set every surgekit subcommand evaluates with: both files read
// from one folder with exactly the calculator's reading rules.
#ifndef SURGE_KIT_COEFFICIENTS_H_
#define SURGE_KIT_COEFFICIENTS_H_

#include <cstdio>
#include <string>

#include "model/site_table.h"

namespace kit {

inline constexpr const char* kParameterFileName = "srfparamsVelko.dat";
inline constexpr const char* kSlopeFileName = "pslope.dat";

struct CoefficientSet {
  surge::SiteTable table{};      // zero where a null value or slash left a column unset
  std::string parameter_sha256;  // hex digests of the two files' bytes
  std::string slope_sha256;
};

// Reads the two files in `dir` into *set, as `surgekit check` reads them. When
// the calculator would end with a report on them, writes each error as
// "file:line:column: error: message" to `diagnostics` and returns false; *set
// is then unchanged. Warnings and notes are not written.
bool load_coefficients(const std::string& dir, CoefficientSet* set,
                       std::FILE* diagnostics = stderr);

// `dir` joined with a file name ("." gives the name alone).
std::string path_in(const std::string& dir, const std::string& name);

}  // namespace kit

#endif  // SURGE_KIT_COEFFICIENTS_H_
