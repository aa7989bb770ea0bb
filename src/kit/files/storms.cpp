// Reading a storm set.
#include "kit/files/storms.h"

#include <cmath>

#include "kit/files/csv.h"
#include "kit/core/limits.h"
#include "kit/core/number.h"

namespace kit {
namespace {

bool is_blank_record(const std::vector<std::string_view>& fields) {
  return fields.size() == 1 && fields[0].find_first_not_of(" \t\r") == std::string_view::npos;
}

}  // namespace

std::vector<Finding> read_storms(std::FILE* in, const std::string& file, StormSet* set) {
  std::vector<Finding> findings;
  auto add = [&](uint64_t line, Severity severity, std::string message) {
    findings.push_back({file, line, 0, severity, std::move(message)});
  };
  CsvReader csv(in);
  StormSet read;
  std::vector<std::string> header;
  int pressure = -1, radius = -1, rate = -1, landfall = -1, name = -1;
  bool failed = false;
  while (csv.next()) {
    const std::vector<std::string_view>& f = csv.fields();
    if (is_blank_record(f)) continue;
    if (header.empty()) {
      header.assign(f.begin(), f.end());
      pressure = column_index(header, "pressure_mb");
      radius = column_index(header, "radius_km");
      rate = column_index(header, "rate");
      landfall = column_index(header, "landfall_km");
      name = column_index(header, "name");
      for (auto [index, column] : {std::pair{pressure, "pressure_mb"},
                                   std::pair{radius, "radius_km"}, std::pair{rate, "rate"}}) {
        if (index < 0) {
          add(csv.line(), Severity::kError, std::string("the header has no column '") + column +
                                                "' (it needs pressure_mb, radius_km and rate)");
          failed = true;
        }
      }
      if (failed) break;
      for (const std::string& h : header) {
        if (h != "pressure_mb" && h != "radius_km" && h != "rate" && h != "landfall_km" &&
            h != "name") {
          add(csv.line(), Severity::kWarning, "column '" + h + "' is not used");
        }
      }
      read.has_landfall = landfall >= 0;
      continue;
    }
    if (f.size() != header.size()) {
      add(csv.line(), Severity::kError,
          "the row has " + std::to_string(f.size()) + " fields; the header has " +
              std::to_string(header.size()));
      failed = true;
      continue;
    }
    Storm s;
    s.line = csv.line();
    auto number = [&](int column, double* value, const char* rule, auto ok) {
      if (!parse_real(f[column], value) || !ok(*value)) {
        add(csv.line(), Severity::kError,
            header[column] + ": '" + std::string(f[column]) + "' is not " + rule);
        failed = true;
        return false;
      }
      return true;
    };
    bool row_ok =
        number(pressure, &s.pressure_mb, physical_pressure_text().c_str(), is_physical_pressure) &
        number(radius, &s.radius_km, "a positive radius", is_physical_radius) &
        number(rate, &s.rate, "a rate of zero or more",
               [](double v) { return std::isfinite(v) && v >= 0; });
    if (landfall >= 0) {
      row_ok &= number(landfall, &s.landfall_km, "a finite number",
                       [](double v) { return std::isfinite(v); });
    }
    if (!row_ok) continue;
    const bool p_in = pressure_in_fitted_range(s.pressure_mb);
    const bool r_in = radius_in_fitted_range(s.radius_km);
    if (!p_in || !r_in) {
      ++read.outside_fit;
      std::string what = name >= 0 ? "storm '" + std::string(f[name]) + "'" : "the storm";
      std::string message = what + " lies outside the fitted ranges:";
      if (!p_in) message += " pressure " + shortest_text(s.pressure_mb) + " mb (fitted " + whole_text(kFittedPressureMinMb) + " to " +
                            whole_text(kFittedPressureMaxMb) + ")";
      if (!r_in) message += " radius " + shortest_text(s.radius_km) + " km (fitted " + whole_text(kFittedRadiusMinKm) + " to " +
                            whole_text(kFittedRadiusMaxKm) + ")";
      add(csv.line(), Severity::kWarning, message);
    }
    read.storms.push_back(s);
  }
  if (!csv.error().empty()) {
    add(csv.line(), Severity::kError, csv.error());
    failed = true;
  } else if (header.empty()) {
    add(0, Severity::kError, "the storm set is empty: it needs a header row");
    failed = true;
  } else if (!failed && read.storms.empty()) {
    add(0, Severity::kError, "the storm set has no storms");
    failed = true;
  }
  if (!failed) *set = std::move(read);
  return findings;
}

}  // namespace kit
