// surgekit check: the coefficient files, read as the calculator reads them,
// with every fault and doubtful value listed as compilers list theirs.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "kit/coefficients/coefficients.h"
#include "kit/commands/commands.h"
#include "kit/commands/shared.h"
#include "kit/coefficients/check.h"
#include "kit/files/sha256.h"
#include "kit/files/sites.h"

namespace kit {
namespace {

// The SHA-256 of the folder's sites file, or "" when it has none that reads.
std::string sites_sha256(const std::string& dir) {
  const std::string path = path_in(dir, kSitesFileName);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return "";
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return in.bad() ? std::string() : sha256_hex(bytes);
}

// With `strict`, the warnings are counted as errors, and a line says so.
void print_summary(const CheckReport& report, const std::string& dir, bool strict) {
  const int strict_errors = strict ? report.warnings : 0;
  std::printf("%d of %d locations read: %s, %s, %s\n", report.locations_read, surge::kLocations,
              counted(report.errors + report.kit_errors + strict_errors, "error").c_str(),
              counted(report.warnings - strict_errors, "warning").c_str(),
              counted(report.notes, "note").c_str());
  if (strict_errors > 0) {
    std::printf("%s with --strict: %s\n", counted(strict_errors, "warning").c_str(),
                strict_errors == 1 ? "it counts as an error" : "they count as errors");
  }
  if (report.calculator_message != 0) {
    std::printf("the calculator stops at the first error with run-time error %d\n",
                report.calculator_message);
  }
  if (report.kit_errors > 0) {
    std::printf("%s only surgekit refuses: the calculator does not stop at %s\n",
                counted(report.kit_errors, "error").c_str(), report.kit_errors == 1 ? "it" : "them");
  }
  // The files' identity, in the form sha256sum --check reads.
  const std::string sites_digest = sites_sha256(dir);
  const std::pair<const char*, const std::string*> files[] = {
      {kParameterFileName, &report.set.parameter_sha256},
      {kSlopeFileName, &report.set.slope_sha256},
      {kSitesFileName, &sites_digest}};
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
      "then a summary with each file's SHA-256. Exit status 1 when there are errors,\n"
      "also those the calculator does not stop at (and with --strict, warnings).\n"
      "Example: surgekit check --data examples");
  return [&common] {
    CheckReport report = check_coefficient_files(common.data_dir);
    // The bridge sites file, when the folder has one, is checked with the set;
    // the calculator never reads it, so its errors are surgekit's alone.
    for (Finding& finding : check_sites_file(common.data_dir)) {
      int& count = finding.severity == Severity::kError     ? report.kit_errors
                   : finding.severity == Severity::kWarning ? report.warnings
                                                            : report.notes;
      ++count;
      report.findings.push_back(std::move(finding));
    }
    for (Finding& finding : report.findings) {
      if (common.strict && finding.severity == Severity::kWarning) {
        finding.severity = Severity::kError;
      }
      std::printf("%s\n", format_finding(finding).c_str());
    }
    print_summary(report, common.data_dir, common.strict);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
      Sink sink("surgekit check");
      sink.io_error(std::string("cannot write standard output: ") + std::strerror(errno));
      return sink.status();
    }
    return set_refused(report, common.strict) ? kStatusFindings : kStatusOk;
  };
}

}  // namespace kit
