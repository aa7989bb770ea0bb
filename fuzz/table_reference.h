// A strict, independent reading of the user's CSV tables for the fuzz
// targets: RFC 4180 records (a quote only at the start of a field, doubled
// inside it, its closing quote followed by a comma or the record's end),
// header names compared trimmed and in lower case, and each table's rules
// restated from its documentation. The targets compare surgekit's readers
// with it.
#ifndef SURGE_FUZZ_TABLE_REFERENCE_H_
#define SURGE_FUZZ_TABLE_REFERENCE_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace surge_fuzz {

struct Table {
  std::vector<std::string> header;                  // names trimmed, in lower case
  std::vector<std::vector<std::string>> rows;       // blank records left out
};

// The table in `text`, or nothing when its quoting is not strict, a quoted
// field is not closed, or there is no header.
std::optional<Table> strict_table(std::string_view text);

// The index of `name` in the header when it appears exactly once; -1 when
// absent; -2 when named twice.
int column(const Table& table, std::string_view name);

// A number as the tables take it: the plain decimal form read here, any
// other form as the calculator's syntax reads it. Nothing when neither.
std::optional<double> number(std::string_view text);

// Aborts with `what` on standard error: a finding.
[[noreturn]] void fail(const std::string& what, std::string_view input);

}  // namespace surge_fuzz

#endif  // SURGE_FUZZ_TABLE_REFERENCE_H_
