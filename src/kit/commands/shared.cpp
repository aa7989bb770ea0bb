// Option validators and file loading shared by the subcommands.
#include "kit/commands/shared.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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

namespace {

CLI::Validator bounded_range_validator(const char* description, int least, int most,
                                       std::string bounds) {
  return CLI::Validator(
      [least, most, bounds](std::string& text) -> std::string {
        std::vector<int> values;
        if (!parse_integer_range(text, &values)) {
          return "expected FIRST:LAST or FIRST:LAST:STEP (integers, FIRST <= LAST, STEP > 0): " +
                 text;
        }
        if (values.front() < least || values.back() > most) return bounds + ": " + text;
        return {};
      },
      description);
}

CLI::Validator real_validator(bool (*ok)(double), std::string what, const char* description) {
  return CLI::Validator(
      [ok, what](std::string& text) -> std::string {
        char* end = nullptr;
        const double v = std::strtod(text.c_str(), &end);
        if (end == text.c_str() || *end != '\0') return {};  // the conversion names it
        return ok(v) ? std::string() : "not " + what + ": " + text;
      },
      description);
}

bool is_finite(double v) { return std::isfinite(v); }
bool is_finite_fraction(double v) { return std::isfinite(v) && v >= 0; }

}  // namespace

CLI::Validator radius_range_validator(const char* description) {
  return bounded_range_validator(description, 1, 1 << 30, "radii must be 1 km or more");
}

CLI::Validator pressure_range_validator(const char* description) {
  const int below = static_cast<int>(kNoDeficitPressureMb);
  return bounded_range_validator(description, 1, below - 1,
                                 "pressures must lie between 1 and " + std::to_string(below - 1) +
                                     " mb (a storm's pressure is below " +
                                     std::to_string(below) + " mb)");
}

CLI::Validator pressure_validator() {
  return real_validator(is_physical_pressure, physical_pressure_text(), "MB");
}
CLI::Validator radius_validator() { return real_validator(is_physical_radius, "a radius above 0 km", "KM"); }
CLI::Validator finite_validator() { return real_validator(is_finite, "a finite number", "NUMBER"); }

void add_water_options(CLI::App& sub, WaterOptions* water) {
  CLI::Option* total = sub.add_flag(
      "--total-water", water->total_water,
      "give the total water level above each site's datum (surge + tide + the site's "
      "datum_offset_m + sea-level rise + wave setup) instead of the surge above mean sea level");
  sub.add_option("--sea-level-rise", water->sea_level_rise_m,
                 "with --total-water: sea-level rise added to every level, m")
      ->check(finite_validator())
      ->needs(total);
  sub.add_option("--wave-setup", water->wave_setup,
                 "with --total-water: wave setup as a fraction of the surge (0 by default)")
      ->check(real_validator(is_finite_fraction, "a finite fraction of 0 or more", "F"))
      ->needs(total);
}

bool sites_have_datums(const std::vector<Site>& sites, const std::string& dir, const char* who) {
  std::string missing;
  size_t count = 0;
  for (const Site& s : sites) {
    if (s.has_datum_offset) continue;
    missing += (count++ == 0 ? "" : ", ") + std::to_string(s.location);
  }
  if (count == 0) return true;
  std::string which;
  if (count == sites.size()) {
    which = "no location has one";
  } else {
    which = (count == 1 ? "location " : "locations ") + missing +
            (count == 1 ? " has none" : " have none");
  }
  std::fprintf(stderr,
               "%s: error: --total-water needs the height of mean sea level above each site's "
               "datum (column datum_offset_m) in %s; %s\n",
               who, path_in(dir, kSitesFileName).c_str(), which.c_str());
  return false;
}

void add_threads_option(CLI::App& sub, int* threads) {
  sub.add_option("--threads", *threads, "threads to use (default: one per core)")
      ->check(CLI::Range(1, 256));
}

void print_findings(const std::vector<Finding>& findings) {
  for (const Finding& f : findings) std::fprintf(stderr, "%s\n", format_finding(f).c_str());
}

bool set_refused(const CheckReport& report, bool strict) {
  return report.errors + report.kit_errors > 0 || (strict && report.warnings > 0);
}

bool load_coefficient_set(const std::string& dir, bool strict, const char* who,
                          CoefficientSet* set) {
  CheckReport report = check_coefficient_files(dir);
  if (!print_check(report, dir, strict, who)) return false;
  *set = std::move(report.set);
  return true;
}

bool print_check(const CheckReport& report, const std::string& dir, bool strict,
                 const char* who) {
  const bool refused = set_refused(report, strict);
  for (Finding f : report.findings) {
    if (f.severity == Severity::kNote) continue;
    if (strict && f.severity == Severity::kWarning) f.severity = Severity::kError;
    std::fprintf(stderr, "%s\n", format_finding(f).c_str());
  }
  const std::string folder = dir.empty() ? std::string(".") : dir;
  auto counted = [](int n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
  };
  if (refused) {
    const int errors = report.errors + report.kit_errors + (strict ? report.warnings : 0);
    std::fprintf(stderr,
                 "%s: error: the coefficient set in %s holds %s%s: nothing was evaluated\n", who,
                 folder.c_str(), counted(errors, "error").c_str(),
                 strict && report.warnings > 0 ? " (warnings count as errors with --strict)" : "");
    return false;
  }
  if (report.warnings > 0) {
    std::fprintf(stderr,
                 "%s: warning: the coefficient set in %s has %s: the results are what the "
                 "calculator gives for it (--strict refuses such a set)\n",
                 who, folder.c_str(), counted(report.warnings, "warning").c_str());
  }
  return true;
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

void warn_if_coast_cuts(const HazardSpec& setup, const StormSet& storms,
                        const std::vector<Site>& sites, const char* who) {
  const std::vector<int> cut = sites_cut_by_coast(setup, storms, sites);
  if (cut.empty()) return;
  std::string names;
  for (int location : cut) names += (names.empty() ? "" : ", ") + std::to_string(location);
  double from = 1e300, to = -1e300, largest = 0;
  for (const Storm& s : storms.storms) largest = std::max(largest, s.radius_km);
  for (const Site& site : sites) {
    const CoastReach reach = fitted_reach(site, largest);
    from = std::min(from, reach.from_km);
    to = std::max(to, reach.to_km);
  }
  std::fprintf(stderr,
               "%s: warning: the coast range %s:%s km cuts into the landfalls that reach "
               "bridge%s %s within the fitted curves; their levels leave those storms out "
               "(--coast %s:%s covers every bridge)\n",
               who, shortest_text(setup.coast_from_km).c_str(),
               shortest_text(setup.coast_to_km).c_str(), cut.size() == 1 ? "" : "s",
               names.c_str(), shortest_text(std::floor(from)).c_str(),
               shortest_text(std::ceil(to)).c_str());
}

bool write_output(const std::string& path, std::string_view text, const char* who) {
  std::string error;
  if (write_output_file(path, text, &error)) return true;
  std::fprintf(stderr, "%s: %s\n", who, error.c_str());
  return false;
}

}  // namespace kit
