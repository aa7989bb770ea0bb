// The strict reference reading of CSV tables.
#include "table_reference.h"

#include <cstdio>
#include <cstdlib>

#include "kit/core/number.h"

namespace surge_fuzz {
namespace {

std::string trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return std::string(s);
}

// A line of spaces and tabs alone, its line end left out.
bool blank(std::string_view raw) {
  if (!raw.empty() && raw.back() == '\n') raw.remove_suffix(1);
  if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
  return trimmed(raw).empty();
}

}  // namespace

std::optional<Table> strict_table(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::vector<std::string>> records;
  std::vector<bool> blanks;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    std::vector<std::string> record;
    const size_t start = i;
    for (;;) {  // one field
      std::string field;
      if (i < n && text[i] == '"') {
        ++i;
        for (;;) {
          if (i >= n) return std::nullopt;  // not closed
          if (text[i] == '"') {
            if (i + 1 < n && text[i + 1] == '"') {
              field += '"';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          field += text[i++];
        }
        // After the closing quote: a comma, or the record's end.
        if (i < n && text[i] != ',' && text[i] != '\n' &&
            !(text[i] == '\r' && (i + 1 == n || text[i + 1] == '\n'))) {
          return std::nullopt;
        }
      } else {
        while (i < n && text[i] != ',' && text[i] != '\n') {
          if (text[i] == '"') return std::nullopt;
          field += text[i++];
        }
        // A CR before the line's end belongs to the line end.
        if (!field.empty() && field.back() == '\r' && (i == n || text[i] == '\n')) field.pop_back();
      }
      record.push_back(std::move(field));
      if (i < n && text[i] == '\r') ++i;  // only before a line end, as checked above
      if (i < n && text[i] == ',') {
        ++i;
        continue;
      }
      if (i < n && text[i] == '\n') ++i;
      break;
    }
    records.push_back(std::move(record));
    blanks.push_back(blank(text.substr(start, i - start)));
  }
  Table table;
  bool header = false;
  for (size_t r = 0; r < records.size(); ++r) {
    auto& record = records[r];
    if (blanks[r]) continue;
    if (!header) {
      for (const std::string& name : record) {
        std::string lower = trimmed(name);
        for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
        table.header.push_back(lower);
      }
      header = true;
      continue;
    }
    table.rows.push_back(std::move(record));
  }
  if (!header) return std::nullopt;
  return table;
}

int column(const Table& table, std::string_view name) {
  int found = -1;
  for (size_t i = 0; i < table.header.size(); ++i) {
    if (table.header[i] != name) continue;
    if (found >= 0) return -2;
    found = static_cast<int>(i);
  }
  return found;
}

std::optional<double> number(std::string_view text) {
  const std::string t = trimmed(text);
  size_t i = 0, digits = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
  }
  if (digits > 0 && digits < 16 && i == t.size()) return std::strtod(t.c_str(), nullptr);
  double value = 0;
  if (kit::parse_real(text, &value)) return value;
  return std::nullopt;
}

void fail(const std::string& what, std::string_view input) {
  std::fprintf(stderr, "finding: %s\ninput: \"%.*s\"\n", what.c_str(), static_cast<int>(input.size()),
               input.data());
  std::abort();
}

}  // namespace surge_fuzz
