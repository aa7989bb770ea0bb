// The CSV table reader shared by the cases, sites, storms and simulations.
#include "kit/files/table_reader.h"

#include <cmath>
#include <utility>

#include "kit/core/limits.h"
#include "kit/core/number.h"

namespace kit {
namespace {

// At most this many of the header's names are listed when a column is missing.
constexpr size_t kNamesListed = 20;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view text) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Reads a number, or says that the text is not one.
bool number(std::string_view text, double* value, std::string* problem) {
  if (parse_real(text, value)) return true;
  *problem = "is not a number";
  return false;
}

bool refuse(std::string* problem, std::string text) {
  *problem = std::move(text);
  return false;
}

}  // namespace

bool location_rule(std::string_view text, double* value, std::string* problem) {
  double v = 0;
  if (!parse_real(text, &v) || !(v >= kFirstLocation && v <= kLastLocation) || std::trunc(v) != v) {
    return refuse(problem, "is not a location number " + std::to_string(kFirstLocation) + " to " +
                               std::to_string(kLastLocation));
  }
  *value = v;
  return true;
}

bool pressure_rule(std::string_view text, double* value, std::string* problem) {
  if (!number(text, value, problem)) return false;
  return is_physical_pressure(*value) || refuse(problem, "is not " + physical_pressure_text());
}

bool radius_rule(std::string_view text, double* value, std::string* problem) {
  if (!number(text, value, problem)) return false;
  return is_physical_radius(*value) || refuse(problem, "is not a positive radius");
}

bool distance_rule(std::string_view text, double* value, std::string* problem) {
  if (!number(text, value, problem)) return false;
  return std::isfinite(*value) || refuse(problem, "is not a finite distance");
}

bool finite_rule(std::string_view text, double* value, std::string* problem) {
  if (parse_real(text, value) && std::isfinite(*value)) return true;
  return refuse(problem, "is not a finite number");
}

bool rate_rule(std::string_view text, double* value, std::string* problem) {
  if (!number(text, value, problem)) return false;
  return (std::isfinite(*value) && *value >= 0) || refuse(problem, "is not a rate of zero or more");
}

bool weight_rule(std::string_view text, double* value, std::string* problem) {
  if (!number(text, value, problem)) return false;
  return (std::isfinite(*value) && *value > 0) ||
         refuse(problem, "is not a finite weight above 0");
}

bool surge_rule(std::string_view text, double* value, std::string* problem) {
  if (!number(text, value, problem)) return false;
  return std::isfinite(*value) || refuse(problem, "is not a finite surge");
}

bool low_chord_rule(std::string_view text, double* value, std::string* problem) {
  if (trim(text).empty()) {
    *value = std::nan("");  // unknown; a NaN written out is refused below
    return true;
  }
  if (!parse_real(text, value) || !std::isfinite(*value)) {
    return refuse(problem, "is not a finite number (leave it empty when unknown)");
  }
  return *value >= 0 || refuse(problem, "is below 0: a low chord lies above the site's datum");
}

bool datum_offset_rule(std::string_view text, double* value, std::string* problem) {
  if (trim(text).empty()) {
    *value = std::nan("");
    return true;
  }
  if (!parse_real(text, value) || !std::isfinite(*value)) {
    return refuse(problem, "is not a finite number (leave it empty when unknown)");
  }
  return is_physical_datum_offset(*value) || refuse(problem, "is " + datum_offset_limit_text());
}

bool tide_amplitude_rule(std::string_view text, double* value, std::string* problem) {
  if (trim(text).empty()) {
    *value = std::nan("");
    return true;
  }
  if (!parse_real(text, value) || !std::isfinite(*value)) {
    return refuse(problem, "is not a finite number (leave it empty for no tide)");
  }
  if (*value < 0) return refuse(problem, "is below 0: it is half the tidal range");
  return is_physical_tide_amplitude(*value) || refuse(problem, "is " + tide_amplitude_limit_text());
}

bool header_name_matches(std::string_view name, std::string_view wanted) {
  name = trim(name);
  if (name.size() != wanted.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (lower(name[i]) != lower(wanted[i])) return false;
  }
  return true;
}

bool match_header(const std::vector<std::string_view>& header, std::span<const ColumnSpec> declared,
                  HeaderColumns* columns, std::string* error, int* error_field) {
  columns->index.assign(declared.size(), -1);
  columns->width = header.size();
  std::vector<std::string_view> missing;
  for (size_t k = 0; k < declared.size(); ++k) {
    for (size_t i = 0; i < header.size(); ++i) {
      if (!header_name_matches(header[i], declared[k].name)) continue;
      if (columns->index[k] >= 0) {
        *error = "the header names twice the column " + std::string(declared[k].name);
        *error_field = static_cast<int>(i);
        return false;
      }
      columns->index[k] = static_cast<int>(i);
    }
    if (columns->index[k] < 0 && declared[k].required) missing.push_back(declared[k].name);
  }
  if (missing.empty()) return true;

  *error = missing.size() == 1 ? "the header has no column " : "the header has no columns ";
  for (size_t m = 0; m < missing.size(); ++m) {
    if (m > 0) error->append(m + 1 == missing.size() ? " and " : ", ");
    error->append(missing[m]);
  }
  error->append(" (it needs ");
  bool first = true;
  for (const ColumnSpec& declared_column : declared) {
    if (!declared_column.required) continue;
    if (!first) error->push_back(',');
    error->append(declared_column.name);
    first = false;
  }
  error->append(" in any order; it has ");
  bool semicolon = false, tab = false;
  for (size_t i = 0; i < header.size(); ++i) {
    semicolon |= header[i].find(';') != std::string_view::npos;
    tab |= header[i].find('\t') != std::string_view::npos;
    if (i >= kNamesListed) continue;
    if (i > 0) error->append(", ");
    error->push_back('"');
    error->append(header[i]);
    error->push_back('"');
  }
  if (header.size() > kNamesListed) {
    error->append(" and " + std::to_string(header.size() - kNamesListed) + " more");
  }
  if (semicolon || tab) {
    error->append("; columns are separated by commas, not ");
    error->append(semicolon && tab ? "semicolons or tabs" : semicolon ? "semicolons" : "tabs");
  }
  error->push_back(')');
  *error_field = -1;
  return false;
}

FieldPlace locate_field(std::string_view record, uint64_t record_line, size_t index) {
  // Splits as CsvReader does: a field that begins with a quote runs to its
  // closing quote (a doubled quote is a quote) and on to the next comma; any
  // other field runs to the next comma.
  size_t pos = 0;
  for (size_t field = 0; field < index && pos < record.size(); ++field) {
    if (record[pos] == '"') {
      ++pos;
      while (pos < record.size()) {
        if (record[pos] != '"') {
          ++pos;
        } else if (pos + 1 < record.size() && record[pos + 1] == '"') {
          pos += 2;
        } else {
          ++pos;
          break;
        }
      }
    }
    while (pos < record.size() && record[pos] != ',') ++pos;
    if (pos < record.size()) ++pos;  // the comma
  }
  return locate_offset(record, record_line, pos);
}

FieldPlace locate_offset(std::string_view record, uint64_t record_line, size_t offset) {
  FieldPlace place{record_line, 1};
  for (size_t i = 0; i < offset && i < record.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(record[i]);
    if (c == '\n') {
      ++place.line;
      place.column = 1;
    } else if ((c & 0xC0) != 0x80) {
      ++place.column;
    }
  }
  return place;
}

size_t misplaced_quote(std::string_view record) {
  size_t pos = 0;
  for (;;) {
    if (pos < record.size() && record[pos] == '"') {
      for (++pos;; ++pos) {
        if (pos >= record.size()) return std::string_view::npos;  // CsvReader reports it
        if (record[pos] != '"') continue;
        if (pos + 1 < record.size() && record[pos + 1] == '"') {
          ++pos;
          continue;
        }
        ++pos;
        break;
      }
      if (pos < record.size() && record[pos] != ',') return pos;
    } else {
      while (pos < record.size() && record[pos] != ',') {
        if (record[pos] == '"') return pos;
        ++pos;
      }
    }
    if (pos >= record.size()) return std::string_view::npos;
    ++pos;  // the comma
  }
}

std::string field_message(std::string_view name, std::string_view text, std::string_view problem) {
  std::string message(name);
  message.append(": \"");
  message.append(text);
  message.append("\" ");
  message.append(problem);
  return message;
}

std::string width_message(size_t fields, const HeaderColumns& columns,
                          std::span<const ColumnSpec> declared) {
  std::string message = "the row has " + std::to_string(fields) +
                        (fields == 1 ? " field" : " fields") + " where the header has " +
                        std::to_string(columns.width);
  for (size_t k = 0; k < declared.size(); ++k) {
    if (columns.index[k] < 0 || static_cast<size_t>(columns.index[k]) < fields) continue;
    return std::string(declared[k].name) + ": missing field (" + message + ")";
  }
  return message;
}

bool is_blank_record(std::string_view record) { return trim(record).empty(); }

TableReader::TableReader(std::FILE* in, std::string file, std::span<const ColumnSpec> declared)
    : csv_(in), file_(std::move(file)), specs_(declared), values_(declared.size(), 0) {}

TableReader::Header TableReader::read_header(bool warn_unused, std::vector<Finding>* findings) {
  for (;;) {
    if (!csv_.next()) {
      if (csv_.error().empty()) return Header::kEmpty;
      read_failed_ = true;
      findings->push_back({file_, csv_.line(), 0, Severity::kError, csv_.error()});
      return Header::kFault;
    }
    if (!is_blank_record(csv_.record())) break;
  }
  if (const Finding* fault = quoting_fault()) {
    findings->push_back(*fault);
    return Header::kFault;
  }
  std::string error;
  int error_field = -1;
  if (!match_header(csv_.fields(), specs_, &columns_, &error, &error_field)) {
    FieldPlace place{csv_.line(), 0};
    if (error_field >= 0) place = locate_field(csv_.record(), csv_.line(), error_field);
    findings->push_back({file_, place.line, place.column, Severity::kError, std::move(error)});
    return Header::kFault;
  }
  if (warn_unused) {
    const std::vector<std::string_view>& fields = csv_.fields();
    for (size_t i = 0; i < fields.size(); ++i) {
      bool used = false;
      for (int index : columns_.index) used |= index == static_cast<int>(i);
      if (used) continue;
      const FieldPlace place = locate_field(csv_.record(), csv_.line(), i);
      findings->push_back({file_, place.line, place.column, Severity::kWarning,
                           "column \"" + std::string(fields[i]) + "\" is not used"});
    }
  }
  return Header::kRead;
}

TableReader::Row TableReader::next() {
  for (;;) {
    if (!csv_.next()) {
      if (!csv_.error().empty()) {
        read_failed_ = true;
        fault_ = {file_, csv_.line(), 0, Severity::kError, csv_.error()};
      }
      return Row::kEnd;
    }
    if (!is_blank_record(csv_.record())) break;
  }
  if (quoting_fault() != nullptr) return Row::kFault;
  const std::vector<std::string_view>& fields = csv_.fields();
  if (fields.size() != columns_.width) {
    fault_ = row_error(width_message(fields.size(), columns_, specs_));
    return Row::kFault;
  }
  std::string problem;
  for (size_t k = 0; k < specs_.size(); ++k) {
    values_[k] = 0;
    if (!has(k) || specs_[k].rule == nullptr) continue;
    const std::string_view field = text(k);
    if (!specs_[k].rule(field, &values_[k], &problem)) {
      fault_ = error_at(k, field_message(specs_[k].name, field, problem));
      return Row::kFault;
    }
  }
  return Row::kRead;
}

const Finding* TableReader::quoting_fault() {
  if (csv_.plain()) return nullptr;
  const size_t at = misplaced_quote(csv_.record());
  if (at == std::string_view::npos) return nullptr;
  const FieldPlace place = locate_offset(csv_.record(), csv_.line(), at);
  fault_ = {file_, place.line, place.column, Severity::kError, std::string(kMisplacedQuoteMessage)};
  return &fault_;
}

Finding TableReader::error_at(size_t column, std::string message) const {
  const FieldPlace place =
      locate_field(csv_.record(), csv_.line(), static_cast<size_t>(columns_.index[column]));
  return {file_, place.line, place.column, Severity::kError, std::move(message)};
}

Finding TableReader::row_error(std::string message) const {
  return {file_, csv_.line(), 0, Severity::kError, std::move(message)};
}

}  // namespace kit
