// Reading the storm set and the coast for the joint-probability method.
#include "kit/hazard_input.h"

#include <cmath>
#include <cstdio>

#include "kit/number.h"

namespace kit {
namespace {
constexpr size_t kWarningsNamed = 20;  // outside-range rows listed before a count
}  // namespace

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
                 "%s: note: %llu of %zu storm rows lie outside the fitted ranges (pressure 890 "
                 "to 960 mb, radius 11 to 65 km)%s\n",
                 who, static_cast<unsigned long long>(set->outside_fit), set->storms.size(),
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

}  // namespace kit
