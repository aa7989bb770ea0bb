// Reading a storm set.
#include "kit/files/storms.h"

#include <cmath>

#include "kit/files/table_reader.h"
#include "kit/core/limits.h"
#include "kit/core/number.h"

namespace kit {
namespace {

enum StormColumn : size_t { kPressure, kRadius, kRate, kLandfall, kName };
constexpr ColumnSpec kStormSpecs[] = {
    {"pressure_mb", true, pressure_rule},
    {"radius_km", true, radius_rule},
    {"rate", true, rate_rule},
    {"landfall_km", false, finite_rule},
    {"name", false, nullptr},
};

}  // namespace

std::vector<Finding> read_storms(std::FILE* in, const std::string& file, StormSet* set) {
  std::vector<Finding> findings;
  TableReader table(in, file, kStormSpecs);
  const TableReader::Header header = table.read_header(true, &findings);
  if (header == TableReader::Header::kEmpty) {
    findings.push_back({file, 0, 0, Severity::kError, "the storm set is empty: it needs a header row"});
  }
  if (header != TableReader::Header::kRead) return findings;
  StormSet read;
  read.has_landfall = table.has(kLandfall);
  bool failed = false;
  for (TableReader::Row row; (row = table.next()) != TableReader::Row::kEnd;) {
    if (row == TableReader::Row::kFault) {
      findings.push_back(table.fault());
      failed = true;
      continue;
    }
    Storm s;
    s.line = table.line();
    s.pressure_mb = table.value(kPressure);
    s.radius_km = table.value(kRadius);
    s.rate = table.value(kRate);
    if (read.has_landfall) s.landfall_km = table.value(kLandfall);
    const bool p_in = pressure_in_fitted_range(s.pressure_mb);
    const bool r_in = radius_in_fitted_range(s.radius_km);
    if (!p_in || !r_in) {
      ++read.outside_fit;
      std::string what =
          table.has(kName) ? "storm \"" + std::string(table.text(kName)) + "\"" : "the storm";
      std::string message = what + " lies outside the fitted ranges:";
      if (!p_in) message += " pressure " + shortest_text(s.pressure_mb) + " mb (fitted " + whole_text(kFittedPressureMinMb) + " to " +
                            whole_text(kFittedPressureMaxMb) + ")";
      if (!r_in) message += " radius " + shortest_text(s.radius_km) + " km (fitted " + whole_text(kFittedRadiusMinKm) + " to " +
                            whole_text(kFittedRadiusMaxKm) + ")";
      findings.push_back({file, s.line, 0, Severity::kWarning, std::move(message)});
    }
    read.storms.push_back(s);
  }
  if (table.read_failed()) {
    findings.push_back(table.fault());
    failed = true;
  } else if (!failed && read.storms.empty()) {
    findings.push_back({file, 0, 0, Severity::kError, "the storm set has no storms"});
    failed = true;
  }
  if (!failed) *set = std::move(read);
  return findings;
}

}  // namespace kit
