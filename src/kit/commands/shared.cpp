// Option validators and file loading shared by the subcommands.
#include "kit/commands/shared.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "kit/core/limits.h"
#include "kit/core/names.h"
#include "kit/commands/command.h"
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
        return "\"" + text + "\" is not a location: give \"all\" or a number from 1 to " +
               std::to_string(surge::kLocations);
      },
      "N|all");
}

CLI::Validator integer_range_validator(const char* description) {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        std::vector<int> unused;
        if (parse_integer_range(text, &unused)) return {};
        return "\"" + text +
               "\" is not FIRST:LAST or FIRST:LAST:STEP (integers, FIRST <= LAST, STEP > 0)";
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
          return "\"" + text +
                 "\" is not FIRST:LAST or FIRST:LAST:STEP (integers, FIRST <= LAST, STEP > 0)";
        }
        if (values.front() < least || values.back() > most) return "\"" + text + "\": " + bounds;
        return {};
      },
      description);
}

CLI::Validator real_validator(bool (*ok)(double), std::string what, const char* description) {
  return CLI::Validator(
      [ok, what](std::string& text) -> std::string {
        char* end = nullptr;
        const double v = std::strtod(text.c_str(), &end);
        if (end == text.c_str() || *end != '\0') return "\"" + text + "\" is not a number";
        return ok(v) ? std::string() : "\"" + text + "\" is not " + what;
      },
      description);
}

bool is_finite(double v) { return std::isfinite(v); }
bool is_finite_fraction(double v) { return std::isfinite(v) && v >= 0; }
bool is_non_negative(double v) { return std::isfinite(v) && v >= 0; }
bool is_positive(double v) { return std::isfinite(v) && v > 0; }

}  // namespace

CLI::Validator radius_range_validator(const char* description) {
  return bounded_range_validator(description, 1, 1 << 30, "radii must be 1 km or more");
}

CLI::Validator pressure_range_validator(const char* description) {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        std::vector<int> values;
        if (!parse_integer_range(text, &values)) {
          return "\"" + text +
                 "\" is not FIRST:LAST or FIRST:LAST:STEP (integers, FIRST <= LAST, STEP > 0)";
        }
        for (int p : {values.front(), values.back()}) {  // the lowest and the highest
          if (!is_physical_pressure(p)) {
            return "\"" + text + "\": " + std::to_string(p) + " is not " + physical_pressure_text();
          }
        }
        return {};
      },
      description);
}

CLI::Validator pressure_validator() {
  return real_validator(is_physical_pressure, physical_pressure_text(), "MB");
}
CLI::Validator radius_validator() { return real_validator(is_physical_radius, "a radius above 0 km", "KM"); }
CLI::Validator finite_validator() { return real_validator(is_finite, "a finite number", "NUMBER"); }
CLI::Validator non_negative_validator() {
  return real_validator(is_non_negative, "a finite number of zero or more", "NUMBER");
}
CLI::Validator positive_validator() {
  return real_validator(is_positive, "a finite number above zero", "NUMBER");
}

CLI::Validator real_range_validator(double low, double high) {
  // Fifteen significant digits give back any bound written with fifteen or
  // fewer, in plain decimals: 1e-6 reads "0.000001", never "1e-06".
  const std::string bounds_low = significant_text(low, 15), bounds_high = significant_text(high, 15);
  return CLI::Validator(
      [low, high, bounds_low, bounds_high](std::string& text) -> std::string {
        char* end = nullptr;
        const double v = std::strtod(text.c_str(), &end);
        if (end == text.c_str() || *end != '\0') return "\"" + text + "\" is not a number";
        if (v >= low && v <= high) return {};  // false for NaN
        return "\"" + text + "\" is not from " + bounds_low + " to " + bounds_high;
      },
      "FLOAT in [" + bounds_low + " - " + bounds_high + "]");
}

void refuse_non_finite_reals(CLI::App& app) {
  const CLI::Validator finite(
      [](std::string& text) -> std::string {
        char* end = nullptr;
        const double v = std::strtod(text.c_str(), &end);
        // Text that is no number at all is left to the option's conversion.
        if (end == text.c_str() || *end != '\0' || std::isfinite(v)) return {};
        return "\"" + text + "\" is not a finite number";
      },
      "");  // no description: the option's help keeps its own
  for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) {
    for (CLI::Option* option : sub->get_options()) {
      if (option->get_type_name().starts_with("FLOAT")) option->check(finite);
    }
  }
}

CLI::Validator input_file_validator() {
  return CLI::Validator(
      [](std::string& path) -> std::string {
        if (path == "-") return {};
        std::error_code ec;
        if (std::filesystem::is_directory(path, ec)) return "cannot read " + path + ": it is a folder";
        std::FILE* probe = std::fopen(path.c_str(), "rb");
        if (probe == nullptr) return "cannot read " + path + ": " + std::strerror(errno);
        std::fclose(probe);
        return {};
      },
      "FILE|-");
}

void add_water_options(CLI::App& sub, WaterOptions* water) {
  CLI::Option* total = sub.add_flag(
      "--total-water", water->total_water,
      "give the total water level above each site's datum (surge + tide + the site's "
      "datum_offset_m + sea-level rise + wave setup) instead of the surge above mean sea level");
  sub.add_option("--sea-level-rise", water->sea_level_rise_m,
                 "with --total-water: sea-level rise added to every level, m")
      ->capture_default_str()
      ->check(finite_validator())
      ->needs(total);
  sub.add_option("--wave-setup", water->wave_setup,
                 "with --total-water: wave setup as a fraction of the surge (0 by default)")
      ->check(real_validator(is_finite_fraction, "a finite fraction of 0 or more", "F"))
      ->needs(total);
}

bool sites_have_datums(const std::vector<Site>& sites, const std::string& dir, Sink& sink) {
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
  sink.error("--total-water needs the height of mean sea level above each site's datum "
             "(column datum_offset_m) in " + path_in(dir, kSitesFileName) + "; " + which);
  return false;
}

void add_threads_option(CLI::App& sub, int* threads) {
  sub.add_option("--threads", *threads, "threads to use (default: one per core)")
      ->check(CLI::Range(1, 256));
}

bool set_refused(const CheckReport& report, bool strict) {
  return report.errors + report.kit_errors > 0 || (strict && report.warnings > 0);
}

bool coefficient_files_readable(const std::string& dir, Sink& sink) {
  // A coefficient file that cannot be read at all is an input fault, not a
  // finding about its contents.
  for (const char* name : {kParameterFileName, kSlopeFileName}) {
    const CoefficientFile file = read_coefficient_file(path_in(dir, name));
    if (!file.found) {
      sink.io_error("cannot read " + file.path + ": " + file.failure);
      return false;
    }
  }
  return true;
}

bool load_coefficient_set(const std::string& dir, bool strict, Sink& sink, CoefficientSet* set) {
  if (!coefficient_files_readable(dir, sink)) return false;
  CheckReport report = check_coefficient_files(dir);
  if (!print_check(report, dir, strict, sink)) return false;
  *set = std::move(report.set);
  return true;
}

bool print_check(const CheckReport& report, const std::string& dir, bool strict, Sink& sink) {
  const bool refused = set_refused(report, strict);
  for (Finding f : report.findings) {
    if (f.severity == Severity::kNote) continue;
    if (strict && f.severity == Severity::kWarning) f.severity = Severity::kError;
    sink.add(f);
  }
  const std::string folder = dir.empty() ? std::string(".") : dir;
  if (refused) {
    const int errors = report.errors + report.kit_errors + (strict ? report.warnings : 0);
    sink.error("the coefficient set in " + folder + " holds " + counted(errors, "error") +
               (strict && report.warnings > 0 ? " (warnings count as errors with --strict)" : "") +
               ": nothing was evaluated");
    return false;
  }
  if (report.warnings > 0) {
    sink.warning("the coefficient set in " + folder + " has " +
                 counted(report.warnings, "warning") +
                 ": the results are what the calculator gives for it (--strict refuses such a "
                 "set)");
  }
  return true;
}

bool load_site_list(const std::string& dir, Sink& sink, std::vector<Site>* sites) {
  std::vector<Finding> findings;
  std::string unreadable;
  const bool ok = load_sites(dir, sites, &findings, &unreadable);
  if (!unreadable.empty()) sink.io_error(unreadable);
  sink.add(findings);
  return ok;
}

bool parse_coast_range(const std::string& text, HazardSpec* setup, std::string* error) {
  const size_t colon = text.find(':');
  double from = 0, to = 0;
  const std::string_view view(text);
  if (colon == std::string::npos || !parse_real(view.substr(0, colon), &from) ||
      !parse_real(view.substr(colon + 1), &to) || !std::isfinite(from) || !std::isfinite(to)) {
    *error = "--coast \"" + text + "\" is not FROM:TO in km";
    return false;
  }
  if (!(from < to)) {
    *error = "--coast \"" + text + "\" is an empty coast range: FROM must lie below TO";
    return false;
  }
  setup->integrate_coast = true;
  setup->coast_from_km = from;
  setup->coast_to_km = to;
  return true;
}

bool load_storm_set(const std::string& path, StormSet* set, Sink& sink) {
  std::FILE* in = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    sink.io_error("cannot read the storm set " + path + ": " + std::strerror(errno));
    return false;
  }
  const std::vector<Finding> findings = read_storms(in, path == "-" ? "<stdin>" : path, set);
  const bool read_failed = std::ferror(in) != 0;
  const int read_errno = errno;
  if (in != stdin) std::fclose(in);
  if (read_failed) {
    sink.io_error("cannot read the storm set " + (path == "-" ? std::string("from standard input") : path) +
                  ": " + std::strerror(read_errno));
    return false;
  }
  bool failed = false;
  size_t warnings = 0;
  for (const Finding& f : findings) {
    failed = failed || f.severity == Severity::kError;
    if (f.severity == Severity::kWarning && ++warnings > kWarningsNamed) continue;
    sink.add(f);
  }
  if (!failed && set->outside_fit > 0) {
    sink.note(std::to_string(set->outside_fit) + " of " +
              counted(static_cast<long long>(set->storms.size()), "storm row") +
              (set->outside_fit == 1 ? " lies" : " lie") + " outside the fitted ranges (" +
              fitted_ranges_text() + ")" +
              (warnings > kWarningsNamed ? "; the first 20 are named above" : ""));
  }
  return !failed;
}

bool read_whole_input(const std::string& path, std::string* bytes, std::string* error) {
  if (path == "-") {
    std::ostringstream text;
    text << std::cin.rdbuf();
    *bytes = text.str();
    if (std::cin.bad()) {
      *error = "cannot read standard input";
      return false;
    }
    return true;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in || std::filesystem::is_directory(path)) {
    *error = "cannot read " + path + ": " + (in ? "it is a folder" : std::strerror(errno));
    return false;
  }
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    *error = "cannot read " + path;
    return false;
  }
  return true;
}

bool load_simulations(const std::string& path, SimulationSet* set, Sink& sink) {
  std::string bytes, error;
  if (!read_whole_input(path, &bytes, &error)) {
    sink.io_error(error);
    return false;
  }
  std::vector<Finding> findings;
  const bool read = read_simulations(path == "-" ? "<stdin>" : path, bytes, set, &findings);
  sink.add(findings);
  return read;
}

bool settle_landfalls(const StormSet& set, bool step_given, HazardSpec* setup, Sink& sink) {
  if (set.has_landfall && !setup->integrate_coast && step_given) {
    throw UsageError{"--step: the storms have landfall_km, so there is no coast to step along "
                     "(leave --step out, or give --coast)"};
  }
  if (set.has_landfall && setup->integrate_coast) {
    sink.note("the storms have landfall_km, so --coast is not used");
    setup->integrate_coast = false;
  } else if (!set.has_landfall && !setup->integrate_coast) {
    sink.error("the storm set has no landfall_km column: give the coast to integrate over with "
               "--coast FROM:TO");
    return false;
  }
  return true;
}

std::string warn_if_coast_cuts(const HazardSpec& setup, const StormSet& storms,
                               const std::vector<Site>& sites, Sink& sink) {
  const std::vector<int> cut = sites_cut_by_coast(setup, storms, sites);
  if (cut.empty()) return "";
  std::string names;
  for (int location : cut) names += (names.empty() ? "" : ", ") + std::to_string(location);
  double from = 1e300, to = -1e300, largest = 0;
  for (const Storm& s : storms.storms) largest = std::max(largest, s.radius_km);
  for (const Site& site : sites) {
    const CoastReach reach = fitted_reach(site, largest);
    from = std::min(from, reach.from_km);
    to = std::max(to, reach.to_km);
  }
  const std::string message =
      "the coast range " + shortest_text(setup.coast_from_km) + ":" +
      shortest_text(setup.coast_to_km) + " km cuts into the landfalls that reach bridge" +
      (cut.size() == 1 ? "" : "s") + " " + names +
      " within the fitted curves; their levels leave those storms out (--coast " +
      shortest_text(std::floor(from)) + ":" + shortest_text(std::ceil(to)) +
      " covers every bridge)";
  sink.warning(message);
  return message;
}

void significant(CsvWriter& out, double value) {
  out.separate();
  append_significant(&out.raw(), value, 6);
}

void write_worst_columns(CsvWriter& csv, const WorstLandfall& w) {
  csv.fixed(w.distance_km, 2);
  csv.number(w.radius_km);
  csv.field(side_name(w.result.side));
  csv.field(curve_name(w.result.curve));
  csv.number(w.result.x);
  csv.number(w.reach.radius_min_km);
  csv.number(w.reach.radius_max_km);
  csv.fixed(w.reach.distance_at_min_km, 2);
  csv.fixed(w.reach.distance_at_max_km, 2);
  std::string runs;
  for (const RadiusRun& run : w.reach.runs) {
    if (!runs.empty()) runs += ' ';
    append_shortest(&runs, run.first_km);
    if (run.last_km != run.first_km) {
      runs += '-';
      append_shortest(&runs, run.last_km);
    }
  }
  csv.field(runs);
}

bool open_table_and_plot(const std::string& table_path, const std::string& plot_path,
                         OutputFile* table, OutputFile* plot, Sink& sink) {
  if (!open_output(table_path, table, sink)) return false;
  return plot_path.empty() || open_output(plot_path, plot, sink);
}

bool write_output(const std::string& path, std::string_view text, Sink& sink) {
  std::string error;
  if (write_output_file(path, text, &error)) return true;
  sink.io_error(error);
  return false;
}

bool open_output(const std::string& path, OutputFile* out, Sink& sink) {
  std::string error;
  if (out->open(path, &error)) return true;
  sink.io_error(error);
  return false;
}

bool commit_output(OutputFile* out, Sink& sink) {
  std::string error;
  if (out->commit(&error)) return true;
  sink.io_error(error);
  return false;
}

bool finish_output(OutputFile* out, std::string_view text, Sink& sink) {
  std::fwrite(text.data(), 1, text.size(), out->stream());
  return commit_output(out, sink);  // a short write leaves the stream's error set
}

void refuse_shared_stdout(const std::string& first_path, const char* first,
                          const std::string& second_path, const char* second) {
  if (first_path == "-" && second_path == "-") {
    throw UsageError{std::string(first) + " and " + second +
                     " both go to standard output, which would mix two formats: send one of "
                     "them to a file"};
  }
}

void refuse_too_many_landfalls(const std::string& coast_text, double from_km, double to_km,
                               double step_km) {
  if ((to_km - from_km) / step_km <= static_cast<double>(kMaxCoastLandfalls)) return;
  throw UsageError{"--step: " + significant_text(step_km, 6) + " km gives more than " +
                   std::to_string(kMaxCoastLandfalls) + " landfalls over the coast " + coast_text +
                   ": take a larger --step"};
}

std::vector<double> taken_once(const std::vector<double>& values) {
  std::vector<double> once;
  for (double v : values) {
    if (std::find(once.begin(), once.end(), v) == once.end()) once.push_back(v);
  }
  return once;
}

}  // namespace kit
