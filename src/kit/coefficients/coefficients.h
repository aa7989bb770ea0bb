// The coefficient set every surgekit subcommand evaluates with: both files read
// from one folder with exactly the calculator's reading rules.
#ifndef SURGE_KIT_COEFFICIENTS_COEFFICIENTS_H_
#define SURGE_KIT_COEFFICIENTS_COEFFICIENTS_H_

#include <string>
#include <vector>

#include "kit/core/diagnostics.h"
#include "kit/files/data_folder.h"
#include "model/site_table.h"

namespace kit {

struct CoefficientSet {
  surge::SiteTable table{};      // zero where a null value or slash left a column unset
  std::string parameter_sha256;  // hex digests of the two files' bytes
  std::string slope_sha256;
};

// Reads the two files in `dir` into *set, as `surgekit check` reads them. When
// the calculator would end with a report on them, appends each error to
// *errors and returns false; *set is then unchanged. Warnings and notes are
// left out.
bool load_coefficients(const std::string& dir, CoefficientSet* set, std::vector<Finding>* errors);

}  // namespace kit

#endif  // SURGE_KIT_COEFFICIENTS_COEFFICIENTS_H_
