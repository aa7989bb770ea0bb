// Reading the simulated peak surges.
#include "kit/files/simulations.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "kit/core/limits.h"
#include "kit/core/number.h"
#include "kit/files/cases.h"
#include "kit/files/csv.h"
#include "kit/files/sha256.h"

namespace kit {
namespace {

// The column (from 1) at which each field of `record` begins, counting bytes
// of the record as it stands in the file; quoted commas do not separate.
std::vector<uint64_t> field_columns(std::string_view record) {
  std::vector<uint64_t> columns{1};
  bool quoted = false;
  for (size_t i = 0; i < record.size(); ++i) {
    if (record[i] == '"') quoted = !quoted;
    if (record[i] == ',' && !quoted) columns.push_back(i + 2);
  }
  return columns;
}

class SimulationReader {
 public:
  SimulationReader(std::string_view name, std::vector<Finding>* findings)
      : name_(name), findings_(findings) {}

  void error(uint64_t line, uint64_t column, std::string message) {
    findings_->push_back(Finding{name_, line, column, Severity::kError, std::move(message)});
  }

  bool read_header(CsvReader& reader);
  // Reads the current record into *row; false, with an error listed (up to
  // the limit), when it cannot be used.
  bool read_row(const CsvReader& reader, SimulationRow* row);
  void row_error(uint64_t line, uint64_t column, std::string message) {
    if (++bad_rows_ <= kRowErrorsShown) error(line, column, std::move(message));
  }
  uint64_t bad_rows() const { return bad_rows_; }

 private:
  std::string name_;
  std::vector<Finding>* findings_;
  size_t location_ = 0, pressure_ = 0, radius_ = 0, distance_ = 0, surge_ = 0;
  int weight_ = -1;
  size_t count_ = 0;
  uint64_t bad_rows_ = 0;
};

bool SimulationReader::read_header(CsvReader& reader) {
  if (!reader.next()) {
    error(reader.line() > 0 ? reader.line() : 1, 0,
          reader.error().empty() ? "no header row" : reader.error());
    return false;
  }
  const std::vector<std::string_view>& fields = reader.fields();
  const std::vector<uint64_t> columns = field_columns(reader.record());
  count_ = fields.size();
  const std::string_view names[] = {kLocationColumn, kPressureColumn, kRadiusColumn,
                                    kDistanceColumn, kSurgeColumn};
  size_t* slots[] = {&location_, &pressure_, &radius_, &distance_, &surge_};
  for (size_t k = 0; k < std::size(names); ++k) {
    int found = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
      if (fields[i] != names[k]) continue;
      if (++found == 2) {
        error(reader.line(), i < columns.size() ? columns[i] : 0,
              "the header names the column " + std::string(names[k]) + " twice");
        return false;
      }
      *slots[k] = i;
    }
    if (found == 0) {
      error(reader.line(), 0,
            "the header has no column " + std::string(names[k]) +
                " (it needs location,pressure_mb,radius_km,distance_km,surge_m in any order)");
      return false;
    }
  }
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i] == kWeightColumn) weight_ = static_cast<int>(i);
  }
  return true;
}

bool SimulationReader::read_row(const CsvReader& reader, SimulationRow* row) {
  const std::vector<std::string_view>& fields = reader.fields();
  const uint64_t line = reader.line();
  if (fields.size() != count_) {
    row_error(line, 0,
              "the row has " + std::to_string(fields.size()) + " fields where the header has " +
                  std::to_string(count_));
    return false;
  }
  const std::vector<uint64_t> columns = field_columns(reader.record());
  auto column_of = [&](size_t i) -> uint64_t { return i < columns.size() ? columns[i] : 0; };
  auto number = [&](size_t i, std::string_view what, double* value) {
    if (parse_real(fields[i], value)) return true;
    row_error(line, column_of(i),
              std::string(what) + ": \"" + std::string(fields[i]) + "\" is not a number");
    return false;
  };
  double location = 0;
  if (!parse_real(fields[location_], &location) || !(location >= kFirstLocation) ||
      !(location <= kLastLocation) || location != std::floor(location)) {
    row_error(line, column_of(location_),
              "location: \"" + std::string(fields[location_]) + "\" is not a location number 1 to 20");
    return false;
  }
  row->location = static_cast<int>(location);
  row->line = line;
  if (!number(pressure_, kPressureColumn, &row->pressure_mb) ||
      !number(radius_, kRadiusColumn, &row->radius_km) ||
      !number(distance_, kDistanceColumn, &row->distance_km) ||
      !number(surge_, kSurgeColumn, &row->surge_m)) {
    return false;
  }
  if (!is_physical_pressure(row->pressure_mb)) {
    row_error(line, column_of(pressure_),
              "pressure_mb: " + std::string(fields[pressure_]) + " is not " +
                  physical_pressure_text());
    return false;
  }
  if (!is_physical_radius(row->radius_km)) {
    row_error(line, column_of(radius_),
              "radius_km: " + std::string(fields[radius_]) + " is not a positive radius");
    return false;
  }
  if (!std::isfinite(row->distance_km)) {
    row_error(line, column_of(distance_), "distance_km: the distance is not finite");
    return false;
  }
  if (needs_positive_distance(row->location) && !(row->distance_km > 0)) {
    row_error(line, column_of(distance_),
              "distance_km: location " + std::to_string(row->location) +
                  " takes only a positive distance (landfall west of the bridge)");
    return false;
  }
  if (!std::isfinite(row->surge_m)) {
    row_error(line, column_of(surge_), "surge_m: the surge is not finite");
    return false;
  }
  row->weight = 1;
  if (weight_ >= 0) {
    const size_t w = static_cast<size_t>(weight_);
    if (!number(w, kWeightColumn, &row->weight)) return false;
    if (!std::isfinite(row->weight) || !(row->weight > 0)) {
      row_error(line, column_of(w), "weight: " + std::string(fields[w]) +
                                        " is not a finite weight above 0");
      return false;
    }
  }
  return true;
}

}  // namespace

bool read_simulations(std::string_view name, const std::string& bytes, SimulationSet* set,
                      std::vector<Finding>* findings) {
  set->rows.clear();
  set->sha256 = sha256_hex(bytes);
  set->bad_rows = 0;
  const size_t errors_before = findings->size();
  SimulationReader reader(name, findings);
  if (bytes.empty()) {
    reader.error(1, 0, "the file is empty: no header row");
    return false;
  }
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(
      fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb"), std::fclose);
  if (!in) {
    reader.error(0, 0, "cannot read the file");
    return false;
  }
  CsvReader csv(in.get());
  if (!reader.read_header(csv)) return false;
  while (csv.next()) {
    const std::vector<std::string_view>& fields = csv.fields();
    if (fields.size() == 1 && fields[0].empty()) continue;  // a blank line
    SimulationRow row;
    if (reader.read_row(csv, &row)) set->rows.push_back(row);
  }
  if (!csv.error().empty()) reader.row_error(csv.line(), 0, csv.error());
  set->bad_rows = reader.bad_rows();
  if (set->bad_rows > kRowErrorsShown) {
    reader.error(0, 0,
                 std::to_string(set->bad_rows - kRowErrorsShown) +
                     " more rows could not be used (" + std::to_string(set->bad_rows) +
                     " in all)");
  }
  if (set->rows.empty() && findings->size() == errors_before) {
    reader.error(0, 0, "the file holds no rows of simulations");
  }
  return findings->size() == errors_before;
}

}  // namespace kit
