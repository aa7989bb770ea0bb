// Findings as text.
#include "kit/core/diagnostics.h"

#include <algorithm>

namespace kit {

std::string format_finding(const Finding& finding) {
  std::string text = finding.file;
  if (finding.line != 0) {
    text += ":" + std::to_string(finding.line);
    if (finding.column != 0) text += ":" + std::to_string(finding.column);
  }
  static constexpr const char* kSeverity[] = {"error", "warning", "note"};
  text += ": ";
  text += kSeverity[static_cast<int>(finding.severity)];
  return text + ": " + finding.message;
}

bool has_error(const std::vector<Finding>& findings) {
  return std::any_of(findings.begin(), findings.end(),
                     [](const Finding& f) { return f.severity == Severity::kError; });
}

}  // namespace kit
