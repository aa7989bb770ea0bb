// Reading the simulated peak surges.
#include "kit/files/simulations.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "kit/core/limits.h"
#include "kit/core/number.h"
#include "kit/files/cases.h"
#include "kit/files/sha256.h"
#include "kit/files/table_reader.h"

namespace kit {
namespace {

enum SimulationColumn : size_t { kLocation, kPressure, kRadius, kDistance, kSurge, kWeight };
constexpr ColumnSpec kSimulationSpecs[] = {
    {kLocationColumn, true, location_rule}, {kPressureColumn, true, pressure_rule},
    {kRadiusColumn, true, radius_rule},     {kDistanceColumn, true, distance_rule},
    {kSurgeColumn, true, surge_rule},       {kWeightColumn, false, weight_rule},
};

}  // namespace

bool read_simulations(std::string_view name, const std::string& bytes, SimulationSet* set,
                      std::vector<Finding>* findings) {
  set->rows.clear();
  set->sha256 = sha256_hex(bytes);
  set->bad_rows = 0;
  const size_t errors_before = findings->size();
  auto error = [&](uint64_t line, std::string message) {
    findings->push_back(Finding{std::string(name), line, 0, Severity::kError, std::move(message)});
  };
  if (bytes.empty()) {
    error(1, "the file is empty: no header row");
    return false;
  }
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(
      fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb"), std::fclose);
  if (!in) {
    error(0, "cannot read the file");
    return false;
  }
  TableReader table(in.get(), std::string(name), kSimulationSpecs);
  const TableReader::Header header = table.read_header(false, findings);
  if (header == TableReader::Header::kEmpty) error(1, "no header row");
  if (header != TableReader::Header::kRead) return false;
  // Row errors are listed up to a limit; the rest are counted.
  auto row_error = [&](Finding finding) {
    if (++set->bad_rows <= kRowErrorsShown) findings->push_back(std::move(finding));
  };
  for (TableReader::Row status; (status = table.next()) != TableReader::Row::kEnd;) {
    if (status == TableReader::Row::kFault) {
      row_error(table.fault());
      continue;
    }
    SimulationRow row;
    row.location = static_cast<int>(table.value(kLocation));
    row.pressure_mb = table.value(kPressure);
    row.radius_km = table.value(kRadius);
    row.distance_km = table.value(kDistance);
    row.surge_m = table.value(kSurge);
    row.weight = table.has(kWeight) ? table.value(kWeight) : 1;
    row.line = table.line();
    if (needs_positive_distance(row.location) && !(row.distance_km > 0)) {
      row_error(table.error_at(kDistance, "distance_km: location " + std::to_string(row.location) +
                                              " takes only a positive distance (landfall west "
                                              "of the bridge)"));
      continue;
    }
    set->rows.push_back(row);
  }
  if (table.read_failed()) row_error(table.fault());
  if (set->bad_rows > kRowErrorsShown) {
    const uint64_t more = set->bad_rows - kRowErrorsShown;
    error(0, std::to_string(more) + (more == 1 ? " more row" : " more rows") +
                 " could not be used (" + std::to_string(set->bad_rows) + " in all)");
  }
  if (set->rows.empty() && findings->size() == errors_before) {
    error(0, "the file holds no rows of simulations");
  }
  return findings->size() == errors_before;
}

}  // namespace kit
