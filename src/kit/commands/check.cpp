// surgekit check: the coefficient files, read as the calculator reads them,
// with every fault and doubtful value listed as compilers list theirs.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "kit/coefficients/coefficients.h"
#include "kit/commands/commands.h"
#include "kit/commands/shared.h"
#include "kit/coefficients/check.h"
#include "kit/files/sites.h"

namespace kit {
namespace {

std::string counted(int n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

void print_summary(const CheckReport& report, const std::string& dir) {
  std::printf("%d of %d locations read: %s, %s, %s\n", report.locations_read, surge::kLocations,
              counted(report.errors, "error").c_str(), counted(report.warnings, "warning").c_str(),
              counted(report.notes, "note").c_str());
  if (report.calculator_message != 0) {
    std::printf("the calculator stops at the first error with run-time error %d\n",
                report.calculator_message);
  }
  // The coefficient set's identity, in the form sha256sum --check reads.
  const std::pair<const char*, const std::string*> files[] = {
      {kParameterFileName, &report.set.parameter_sha256},
      {kSlopeFileName, &report.set.slope_sha256}};
  for (const auto& [name, digest] : files) {
    if (digest->empty()) continue;
    std::printf("SHA256 (%s) = %s\n", path_in(dir, name).c_str(), digest->c_str());
  }
}

}  // namespace

CommandEntry define_check(CLI::App& sub, const CommonOptions& common) {
  sub.footer(
      "Checks srfparamsVelko.dat, pslope.dat and, when present, sites.csv.\n"
      "Prints one line per finding (file:line:column: error|warning|note: message),\n"
      "then a summary with each file's SHA-256. Exit status 1 when there are errors.\n"
      "Example: surgekit check --data examples");
  return [&common] {
    CheckReport report = check_coefficient_files(common.data_dir);
    // The bridge sites file, when the folder has one, is checked with the set.
    for (Finding& finding : check_sites_file(common.data_dir)) {
      int& count = finding.severity == Severity::kError     ? report.errors
                   : finding.severity == Severity::kWarning ? report.warnings
                                                            : report.notes;
      ++count;
      report.findings.push_back(std::move(finding));
    }
    for (const Finding& finding : report.findings) {
      std::printf("%s\n", format_finding(finding).c_str());
    }
    print_summary(report, common.data_dir);
    std::fflush(stdout);
    return report.errors > 0 ? kStatusFindings : kStatusOk;
  };
}

}  // namespace kit
