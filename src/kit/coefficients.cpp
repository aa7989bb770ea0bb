// Loading the coefficient set: the check's reading, which is the calculator's.
#include "kit/coefficients.h"

#include "kit/findings.h"

namespace kit {

std::string path_in(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir == ".") return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

bool load_coefficients(const std::string& dir, CoefficientSet* set, std::FILE* diagnostics) {
  CheckReport report = check_coefficient_files(dir);
  if (report.errors > 0) {
    for (const Finding& finding : report.findings) {
      if (finding.severity != Severity::kError) continue;
      std::fprintf(diagnostics, "%s\n", format_finding(finding).c_str());
    }
    return false;
  }
  *set = std::move(report.set);
  return true;
}

}  // namespace kit
