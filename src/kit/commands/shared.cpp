// Option validators and file loading shared by the subcommands.
#include "kit/commands/shared.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>

#include "kit/core/limits.h"
#include "kit/core/number.h"
#include "kit/core/selection.h"
#include "kit/files/output_file.h"
#include "model/site_table.h"

namespace kit {
namespace {
constexpr size_t kWarningsNamed = 20;  // outside-range rows listed before a count
}  // namespace

CLI::Validator location_validator() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        std::vector<int> unused;
        if (parse_locations(text, &unused)) return {};
        return "a location is 'all' or a number from 1 to " +
               std::to_string(surge::kLocations) + ": " + text;
      },
      "N|all");
}

CLI::Validator integer_range_validator(const char* description) {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        std::vector<int> unused;
        if (parse_integer_range(text, &unused)) return {};
        return "expected FIRST:LAST or FIRST:LAST:STEP (integers, FIRST <= LAST, STEP > 0): " +
               text;
      },
      description);
}

void add_threads_option(CLI::App& sub, int* threads) {
  sub.add_option("--threads", *threads, "threads to use (default: one per core)")
      ->check(CLI::Range(1, 256));
}

void print_findings(const std::vector<Finding>& findings) {
  for (const Finding& f : findings) std::fprintf(stderr, "%s\n", format_finding(f).c_str());
}

bool load_coefficient_set(const std::string& dir, CoefficientSet* set) {
  std::vector<Finding> errors;
  if (load_coefficients(dir, set, &errors)) return true;
  print_findings(errors);
  return false;
}

bool load_site_list(const std::string& dir, std::vector<Site>* sites) {
  std::vector<Finding> findings;
  const bool ok = load_sites(dir, sites, &findings);
  print_findings(findings);
  return ok;
}

bool parse_coast_range(const std::string& text, HazardSpec* setup, std::string* error) {
  const size_t colon = text.find(':');
  double from = 0, to = 0;
  const std::string_view view(text);
  if (colon == std::string::npos || !parse_real(view.substr(0, colon), &from) ||
      !parse_real(view.substr(colon + 1), &to) || !std::isfinite(from) || !std::isfinite(to)) {
    *error = "--coast '" + text + "' is not FROM:TO in km";
    return false;
  }
  if (!(from < to)) {
    *error = "--coast " + text + " is an empty coast range: FROM must lie below TO";
    return false;
  }
  setup->integrate_coast = true;
  setup->coast_from_km = from;
  setup->coast_to_km = to;
  return true;
}

bool load_storm_set(const std::string& path, StormSet* set, const char* who) {
  std::FILE* in = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    std::fprintf(stderr, "%s: error: cannot open the storm set %s\n", who, path.c_str());
    return false;
  }
  const std::vector<Finding> findings = read_storms(in, path == "-" ? "<stdin>" : path, set);
  if (in != stdin) std::fclose(in);
  bool failed = false;
  size_t warnings = 0;
  for (const Finding& f : findings) {
    failed = failed || f.severity == Severity::kError;
    if (f.severity == Severity::kWarning && ++warnings > kWarningsNamed) continue;
    std::fprintf(stderr, "%s\n", format_finding(f).c_str());
  }
  if (!failed && set->outside_fit > 0) {
    std::fprintf(stderr,
                 "%s: note: %llu of %zu storm rows lie outside the fitted ranges (%s)%s\n",
                 who, static_cast<unsigned long long>(set->outside_fit), set->storms.size(),
                 fitted_ranges_text().c_str(),
                 warnings > kWarningsNamed ? "; the first 20 are named above" : "");
  }
  return !failed;
}

bool settle_landfalls(const StormSet& set, HazardSpec* setup, const char* who, std::string* error) {
  if (set.has_landfall && setup->integrate_coast) {
    std::fprintf(stderr, "%s: note: the storms have landfall_km, so --coast is not used\n", who);
    setup->integrate_coast = false;
  } else if (!set.has_landfall && !setup->integrate_coast) {
    *error = "the storm set has no landfall_km column: give the coast to integrate over with "
             "--coast FROM:TO";
    return false;
  }
  return true;
}

bool write_output(const std::string& path, std::string_view text, const char* who) {
  std::string error;
  if (write_output_file(path, text, &error)) return true;
  std::fprintf(stderr, "%s: %s\n", who, error.c_str());
  return false;
}

}  // namespace kit
