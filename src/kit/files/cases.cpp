// Case rows: header columns, field checks, flags and names.
#include "kit/files/cases.h"

#include <cmath>

#include "kit/core/limits.h"
#include "kit/core/number.h"

namespace kit {
namespace {

void quote_into(std::string* error, std::string_view name, std::string_view text,
                const std::string& problem) {
  error->assign(name);
  error->append(": \"");
  error->append(text);
  error->append("\" ");
  error->append(problem);
}

bool parse_number(std::string_view name, std::string_view text, double* value, std::string* error) {
  if (parse_real(text, value)) return true;
  quote_into(error, name, text, "is not a number");
  return false;
}

// A finite value with decimals, which the calculator would truncate.
bool has_fraction(double v) { return std::isfinite(v) && std::trunc(v) != v; }

void add_flag(std::string* out, size_t start, std::string_view flag) {
  if (out->size() > start) out->push_back(';');
  out->append(flag);
}

}  // namespace

bool find_case_columns(const std::vector<std::string_view>& header, CaseColumns* columns,
                       std::string* error) {
  const std::string_view names[] = {kLocationColumn, kPressureColumn, kRadiusColumn,
                                    kDistanceColumn};
  size_t* slots[] = {&columns->location, &columns->pressure, &columns->radius, &columns->distance};
  for (int k = 0; k < 4; ++k) {
    int found = 0;
    for (size_t i = 0; i < header.size(); ++i) {
      if (header[i] != names[k]) continue;
      *slots[k] = i;
      ++found;
    }
    if (found != 1) {
      *error = "the header ";
      error->append(found == 0 ? "has no column " : "names twice the column ");
      error->append(names[k]);
      error->append(" (it needs location,pressure_mb,radius_km,distance_km in any order)");
      return false;
    }
  }
  columns->count = header.size();
  return true;
}

bool parse_case(const std::vector<std::string_view>& fields, const CaseColumns& columns,
                surge::StormCase* storm, std::string* error) {
  if (fields.size() != columns.count) {
    *error = "the row has " + std::to_string(fields.size()) + " fields where the header has " +
             std::to_string(columns.count);
    const std::pair<size_t, std::string_view> wanted[] = {{columns.location, kLocationColumn},
                                                          {columns.pressure, kPressureColumn},
                                                          {columns.radius, kRadiusColumn},
                                                          {columns.distance, kDistanceColumn}};
    for (const auto& [index, name] : wanted) {
      if (index < fields.size()) continue;
      error->insert(0, std::string(name) + ": missing field (");
      error->push_back(')');
      break;
    }
    return false;
  }
  double location;
  const std::string_view location_text = fields[columns.location];
  if (!parse_real(location_text, &location) || !(location >= kFirstLocation && location <= kLastLocation) ||
      std::trunc(location) != location) {
    quote_into(error, kLocationColumn, location_text, "is not a location number 1 to 20");
    return false;
  }
  storm->location = static_cast<int>(location);
  if (!parse_number(kPressureColumn, fields[columns.pressure], &storm->pressure_mb, error) ||
      !parse_number(kRadiusColumn, fields[columns.radius], &storm->radius_km, error) ||
      !parse_number(kDistanceColumn, fields[columns.distance], &storm->distance_km, error)) {
    return false;
  }
  // A storm outside physics has no surge to give: refused, never evaluated.
  if (!is_physical_pressure(storm->pressure_mb)) {
    quote_into(error, kPressureColumn, fields[columns.pressure],
               "is not " + physical_pressure_text());
    return false;
  }
  if (!is_physical_radius(storm->radius_km)) {
    quote_into(error, kRadiusColumn, fields[columns.radius], "is not a positive radius");
    return false;
  }
  if (!std::isfinite(storm->distance_km)) {
    quote_into(error, kDistanceColumn, fields[columns.distance], "is not a finite distance");
    return false;
  }
  return true;
}

void append_case_flags(std::string* out, const surge::StormCase& storm,
                       const surge::CaseResult& result) {
  const size_t start = out->size();
  if (!pressure_in_fitted_range(storm.pressure_mb)) {
    add_flag(out, start, "pressure_range");
  }
  if (!radius_in_fitted_range(storm.radius_km)) {
    add_flag(out, start, "radius_range");
  }
  // The calculator asks again for a distance that is not positive here; a NaN passes.
  if (needs_positive_distance(storm.location) && storm.distance_km <= 0) {
    add_flag(out, start, "distance_side");
  }
  if (result.curve == surge::Curve::kNone) add_flag(out, start, "distance_range");
  if (has_fraction(storm.pressure_mb)) add_flag(out, start, "pressure_fraction");
  if (has_fraction(storm.radius_km)) add_flag(out, start, "radius_fraction");
}

}  // namespace kit
