// Case rows: header columns, field checks, flags and names.
#include "kit/files/cases.h"

#include <cmath>
#include <cstring>
#include <iterator>

#include "kit/core/limits.h"
#include "kit/core/number.h"
#include "kit/files/table_reader.h"

namespace kit {
namespace {

// The case columns, in the order of CaseColumns' fields.
constexpr ColumnSpec kCaseSpecs[] = {
    {kLocationColumn, true, location_rule},
    {kPressureColumn, true, pressure_rule},
    {kRadiusColumn, true, radius_rule},
    {kDistanceColumn, true, distance_rule},
};

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A finite value with decimals, which the calculator would truncate.
bool has_fraction(double v) { return std::isfinite(v) && std::trunc(v) != v; }

// The flags' words, in the order they are written.
constexpr std::string_view kFlagWords[] = {"pressure_range",    "radius_range",
                                           "distance_side",     "distance_range",
                                           "pressure_fraction", "radius_fraction"};
constexpr size_t flags_length() {
  size_t length = std::size(kFlagWords) - 1;  // the separators
  for (std::string_view word : kFlagWords) length += word.size();
  return length;
}
static_assert(flags_length() <= kCaseFlagsCapacity);

}  // namespace

bool find_case_columns(const std::vector<std::string_view>& header, CaseColumns* columns,
                       std::string* error, int* field) {
  HeaderColumns found;
  int error_field = -1;
  if (field != nullptr) *field = -1;
  if (!match_header(header, kCaseSpecs, &found, error, &error_field)) {
    if (field != nullptr) *field = error_field;
    return false;
  }
  // Columns without a name (a trailing comma) are passed on as they are.
  for (size_t i = 1; i < header.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (trim(header[j]).empty() || !header_name_matches(header[i], trim(header[j]))) continue;
      *error = "the header names twice the column " + std::string(trim(header[j]));
      if (field != nullptr) *field = static_cast<int>(i);
      return false;
    }
  }
  columns->location = static_cast<size_t>(found.index[0]);
  columns->pressure = static_cast<size_t>(found.index[1]);
  columns->radius = static_cast<size_t>(found.index[2]);
  columns->distance = static_cast<size_t>(found.index[3]);
  columns->count = found.width;
  return true;
}

bool parse_case(const std::vector<std::string_view>& fields, const CaseColumns& columns,
                surge::StormCase* storm, std::string* error, size_t* field) {
  const size_t index[] = {columns.location, columns.pressure, columns.radius, columns.distance};
  if (fields.size() != columns.count) {
    const HeaderColumns header{{static_cast<int>(index[0]), static_cast<int>(index[1]),
                                static_cast<int>(index[2]), static_cast<int>(index[3])},
                               columns.count};
    *error = width_message(fields.size(), header, kCaseSpecs);
    if (field != nullptr) *field = kWholeRow;
    return false;
  }
  double values[4];
  std::string problem;
  for (size_t k = 0; k < 4; ++k) {
    const std::string_view text = fields[index[k]];
    if (!kCaseSpecs[k].rule(text, &values[k], &problem)) {
      *error = field_message(kCaseSpecs[k].name, text, problem);
      if (field != nullptr) *field = index[k];
      return false;
    }
  }
  storm->location = static_cast<int>(values[0]);
  storm->pressure_mb = values[1];
  storm->radius_km = values[2];
  storm->distance_km = values[3];
  return true;
}

bool read_case_header(CsvReader& reader, CaseColumns* columns, std::string* error, uint64_t* line,
                      uint64_t* column) {
  if (column != nullptr) *column = 0;
  bool got = reader.next();
  while (got && is_blank_record(reader.record())) got = reader.next();
  *line = reader.line() > 0 ? reader.line() : 1;
  if (!got) {
    *error = reader.error().empty() ? "no header row" : reader.error();
    return false;
  }
  if (!reader.plain() && misplaced_quote(reader.record()) != std::string_view::npos) {
    *error = kMisplacedQuoteMessage;
    return false;
  }
  int field = -1;
  if (find_case_columns(reader.fields(), columns, error, &field)) return true;
  if (column != nullptr && field >= 0) {
    *column = locate_field(reader.record(), reader.line(), static_cast<size_t>(field)).column;
  }
  return false;
}

bool read_case(const CsvReader& reader, const CaseColumns& columns, surge::StormCase* storm,
               std::string* error, FieldPlace* place) {
  if (!reader.plain()) {
    const size_t at = misplaced_quote(reader.record());
    if (at != std::string_view::npos) {
      *error = kMisplacedQuoteMessage;
      *place = locate_offset(reader.record(), reader.line(), at);
      return false;
    }
  }
  size_t field = kWholeRow;
  if (parse_case(reader.fields(), columns, storm, error, &field)) return true;
  *place = field == kWholeRow ? FieldPlace{reader.line(), 0}
                              : locate_field(reader.record(), reader.line(), field);
  return false;
}

char* write_case_flags(char* out, const surge::StormCase& storm, const surge::CaseResult& result) {
  const bool raised[] = {
      !pressure_in_fitted_range(storm.pressure_mb),
      !radius_in_fitted_range(storm.radius_km),
      // The calculator asks again for a distance that is not positive here; a NaN passes.
      needs_positive_distance(storm.location) && storm.distance_km <= 0,
      !within_fitted_curves(result.curve),
      has_fraction(storm.pressure_mb),
      has_fraction(storm.radius_km),
  };
  static_assert(std::size(raised) == std::size(kFlagWords));
  char* o = out;
  for (size_t k = 0; k < std::size(kFlagWords); ++k) {
    if (!raised[k]) continue;
    if (o != out) *o++ = ';';
    std::memcpy(o, kFlagWords[k].data(), kFlagWords[k].size());
    o += kFlagWords[k].size();
  }
  return o;
}

void append_case_flags(std::string* out, const surge::StormCase& storm,
                       const surge::CaseResult& result) {
  char text[kCaseFlagsCapacity];
  out->append(text, write_case_flags(text, storm, result));
}

}  // namespace kit
