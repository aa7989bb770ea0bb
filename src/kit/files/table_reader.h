// One reader for every CSV table the user hands in (cases, sites, storms,
// simulations), declared by its columns: where the header is (blank lines
// before it skipped), how its names match (blanks trimmed, case ignored), the
// width of a row, which rows are blank, and how a field is checked. Faults
// come back as findings located at the field, "file:line:column".
#ifndef SURGE_KIT_FILES_TABLE_READER_H_
#define SURGE_KIT_FILES_TABLE_READER_H_

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kit/core/diagnostics.h"
#include "kit/files/csv.h"

namespace kit {

// Checks one field: reads `text` into *value and returns true, or returns
// false with *problem set to what follows the quoted text in the message
// ("is not a number"). A rule may leave *value alone for text it keeps as text.
using FieldRule = bool (*)(std::string_view text, double* value, std::string* problem);

// The rules the tables share, each in the calculator's number syntax.
bool location_rule(std::string_view text, double* value, std::string* problem);  // whole, 1 to 20
bool pressure_rule(std::string_view text, double* value, std::string* problem);  // in (0, 1013) mb
bool radius_rule(std::string_view text, double* value, std::string* problem);    // finite, above 0
bool distance_rule(std::string_view text, double* value, std::string* problem);  // finite
bool finite_rule(std::string_view text, double* value, std::string* problem);    // finite
bool rate_rule(std::string_view text, double* value, std::string* problem);      // finite, 0 or more
bool weight_rule(std::string_view text, double* value, std::string* problem);    // finite, above 0
bool surge_rule(std::string_view text, double* value, std::string* problem);     // finite
// Empty (or blank) for "unknown", else a finite height of 0 or more.
bool low_chord_rule(std::string_view text, double* value, std::string* problem);
// Empty (or blank) for "unknown", else a finite offset within kMaxDatumOffsetM of 0.
bool datum_offset_rule(std::string_view text, double* value, std::string* problem);
// Empty (or blank) for "no tide", else an amplitude from 0 to kMaxTideAmplitudeM.
bool tide_amplitude_rule(std::string_view text, double* value, std::string* problem);

struct ColumnSpec {
  std::string_view name;      // as the header names it, in lower case
  bool required = true;       // false: the column may be left out of the header
  FieldRule rule = nullptr;   // nullptr: any text
};

// The index of each declared column among the header's fields, -1 when absent.
struct HeaderColumns {
  std::vector<int> index;
  size_t width = 0;  // the header's count of fields
};

// True when `name`, with blanks (spaces, tabs) trimmed, is `wanted` regardless
// of ASCII case.
bool header_name_matches(std::string_view name, std::string_view wanted);

// Finds each declared column among the header's fields. False, with *error and
// *error_field (the field at fault, or -1 for the header as a whole), when a
// required column is missing or any is named twice. A missing column's
// message lists the columns found and, when the header holds ';' or a tab,
// says that columns are separated by commas.
bool match_header(const std::vector<std::string_view>& header, std::span<const ColumnSpec> declared,
                  HeaderColumns* columns, std::string* error, int* error_field);

// Where field `index` of a record begins: the line (the record's first line
// plus the line breaks inside quoted fields before it) and the column counted
// in characters from 1 (UTF-8 continuation bytes not counted). A field past
// the record's end is placed just after its last character.
struct FieldPlace {
  uint64_t line = 0, column = 0;
};
FieldPlace locate_field(std::string_view record, uint64_t record_line, size_t index);

// Quoting as RFC 4180 has it: a field holding a quote begins with one, its
// quotes inside are doubled, and its closing quote ends it. The offset in
// `record` of the first character that breaks this (a quote inside a field
// that does not begin with one, or whatever follows a closing quote other
// than a comma), or npos. CsvReader takes such text as it stands; a table
// refuses it, since the field's value is then a guess.
size_t misplaced_quote(std::string_view record);
inline constexpr std::string_view kMisplacedQuoteMessage =
    "a quote out of place: a field that holds quotes is quoted whole, each quote inside doubled";

// The line and column (as locate_field counts them) of byte `offset` of a
// record that begins on `record_line`.
FieldPlace locate_offset(std::string_view record, uint64_t record_line, size_t offset);

// `name: "text" problem`, the one form of a field's error.
std::string field_message(std::string_view name, std::string_view text, std::string_view problem);

// "the row has N fields where the header has M", prefixed with the first
// required column the row is too short to hold ("distance_km: missing field
// (...)").
std::string width_message(size_t fields, const HeaderColumns& columns,
                          std::span<const ColumnSpec> declared);

// A record that is an empty line or one of spaces and tabs alone (a quoted
// empty field is not blank: it is a row of one field).
bool is_blank_record(std::string_view record);

// Reads a table from a stream it does not own, naming it `file` in findings.
class TableReader {
 public:
  TableReader(std::FILE* in, std::string file, std::span<const ColumnSpec> declared);

  enum class Header { kRead, kFault, kEmpty };
  // Reads the header, skipping blank lines. kFault: the header's fault (or
  // the input's) is in *findings. kEmpty: the input held no record at all;
  // the caller says what the file needed. With `warn_unused`, each column
  // that no declaration names gives a warning.
  Header read_header(bool warn_unused, std::vector<Finding>* findings);

  enum class Row { kRead, kFault, kEnd };
  // Reads the next row that is not blank. kRead: every field passed its rule
  // (see value(), text(), has()). kFault: fault() says what is wrong with the
  // row; reading goes on with the next. kEnd: the end of the input, or a read
  // fault, then in fault() (see read_failed()).
  Row next();
  const Finding& fault() const { return fault_; }
  bool read_failed() const { return read_failed_; }

  // The current row's fields by declared index.
  bool has(size_t column) const { return columns_.index[column] >= 0; }
  double value(size_t column) const { return values_[column]; }
  std::string_view text(size_t column) const {
    return has(column) ? csv_.fields()[static_cast<size_t>(columns_.index[column])] : std::string_view();
  }
  uint64_t line() const { return csv_.line(); }
  // An error about a declared column's field of the current row, located at it.
  Finding error_at(size_t column, std::string message) const;
  // The same for the row as a whole.
  Finding row_error(std::string message) const;

  const CsvReader& csv() const { return csv_; }
  const HeaderColumns& columns() const { return columns_; }

 private:
  CsvReader csv_;
  std::string file_;
  // The current record's misplaced quote as fault_, or nullptr.
  const Finding* quoting_fault();

  std::span<const ColumnSpec> specs_;
  HeaderColumns columns_;
  std::vector<double> values_;
  Finding fault_;
  bool read_failed_ = false;
};

}  // namespace kit

#endif  // SURGE_KIT_FILES_TABLE_READER_H_
