// Loading the coefficient set: the check's reading, which is the calculator's.
#include "kit/coefficients/coefficients.h"

#include "kit/coefficients/check.h"

namespace kit {

bool load_coefficients(const std::string& dir, CoefficientSet* set, std::vector<Finding>* errors) {
  CheckReport report = check_coefficient_files(dir);
  if (report.errors > 0) {
    for (const Finding& finding : report.findings) {
      if (finding.severity == Severity::kError) errors->push_back(finding);
    }
    return false;
  }
  *set = std::move(report.set);
  return true;
}

}  // namespace kit
