// Cases as rows of a CSV file: finding the four case columns in a header,
// reading one row into a storm case, and the flags that qualify a result.
#ifndef SURGE_KIT_FILES_CASES_H_
#define SURGE_KIT_FILES_CASES_H_

#include <string>
#include <string_view>
#include <vector>

#include "kit/files/csv.h"
#include "kit/files/table_reader.h"
#include "model/surge.h"

namespace kit {

// The header names of the four case columns.
inline constexpr std::string_view kLocationColumn = "location";
inline constexpr std::string_view kPressureColumn = "pressure_mb";
inline constexpr std::string_view kRadiusColumn = "radius_km";
inline constexpr std::string_view kDistanceColumn = "distance_km";

// Where the case columns are in a record, and how many fields a record has.
struct CaseColumns {
  size_t location = 0, pressure = 0, radius = 0, distance = 0;
  size_t count = 0;
};

// Finds the four case columns among the header's fields (in any order, other
// columns allowed; names trimmed of blanks and matched regardless of case). False, with *error saying which, when one is missing or
// named twice, or when any two columns share a name (run passes every column
// on, and would write two of one name); *field, when given, is then the index
// of the field at fault (the second of the two), or -1 for the header as a whole.
bool find_case_columns(const std::vector<std::string_view>& header, CaseColumns* columns,
                       std::string* error, int* field = nullptr);

// What parse_case puts in *field for a fault of the row as a whole.
inline constexpr size_t kWholeRow = static_cast<size_t>(-1);

// Reads a record's case: a location number 1 to 20 and three numbers in the
// calculator's syntax (pressure and radius may have decimals). A storm outside
// physics (a pressure not above 0 or not below 1013 mb, a radius not above 0,
// a value that is not finite) is refused. False, with *error naming the field (and, when
// `field` is given, *field its index in the record, or kWholeRow), when the
// record has the wrong number of fields or a field cannot be used; *storm is
// then unspecified. Header names match as the table reader matches them.
bool parse_case(const std::vector<std::string_view>& fields, const CaseColumns& columns,
                surge::StormCase* storm, std::string* error, size_t* field = nullptr);

// Reads the header of the cases in `reader`, skipping blank lines before it,
// and finds the case columns. False, with *error and *line (the line at
// fault) and, when given, *column (the column at fault, counted from 1, or 0
// for the line as a whole), when the input ends first, cannot be read, lacks
// a column or names one twice.
bool read_case_header(CsvReader& reader, CaseColumns* columns, std::string* error, uint64_t* line,
                      uint64_t* column = nullptr);

// Reads the current record of `reader` as a case: its quoting (see
// misplaced_quote), then parse_case. False, with *error and *place (column 0
// for the row as a whole), when it cannot be used.
bool read_case(const CsvReader& reader, const CaseColumns& columns, surge::StormCase* storm,
               std::string* error, FieldPlace* place);

// Appends why the case lies outside what the curves were fitted for or what
// the calculator accepts, as words separated by ';' (nothing when none):
//   pressure_range     pressure not within 890 to 960 mb
//   radius_range       radius not within 11 to 65 km
//   distance_side      distance not positive at locations 18 to 20
//   distance_range     X in no curve's fitted range: the curves say nothing
//                      there, and the surge is the slope term alone
//   pressure_fraction  pressure not a whole number (the calculator reads an integer)
//   radius_fraction    radius not a whole number
void append_case_flags(std::string* out, const surge::StormCase& storm,
                       const surge::CaseResult& result);

// Room that write_case_flags may fill: all six words and their separators.
inline constexpr size_t kCaseFlagsCapacity = 96;

// The same written at `out`, which has room for kCaseFlagsCapacity
// characters; returns the end of the text.
char* write_case_flags(char* out, const surge::StormCase& storm, const surge::CaseResult& result);

}  // namespace kit

#endif  // SURGE_KIT_FILES_CASES_H_
