// Fuzz target: arbitrary bytes as the cases file of `surgekit run`, read as
// run reads it (read_case_header, then read_case on each record that is not
// blank). A file is taken exactly when the strict reference takes it, with
// the same cases.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "kit/files/cases.h"
#include "table_reference.h"

namespace {

using surge_fuzz::number;

// The reference's cases, or nothing when it refuses the file.
std::optional<std::vector<surge::StormCase>> reference(std::string_view text) {
  const std::optional<surge_fuzz::Table> table = surge_fuzz::strict_table(text);
  if (!table) return std::nullopt;
  int at[4];
  const char* names[4] = {"location", "pressure_mb", "radius_km", "distance_km"};
  for (int k = 0; k < 4; ++k) {
    at[k] = surge_fuzz::column(*table, names[k]);
    if (at[k] < 0) return std::nullopt;
  }
  std::vector<surge::StormCase> cases;
  // A name given twice (blank names aside) is refused, whichever column it is.
  for (size_t i = 1; i < table->header.size(); ++i) {
    for (size_t k = 0; k < i; ++k) {
      if (!table->header[k].empty() && table->header[k] == table->header[i]) return std::nullopt;
    }
  }
  for (const auto& row : table->rows) {
    if (row.size() != table->header.size()) return std::nullopt;
    const auto location = number(row[at[0]]);
    const auto pressure = number(row[at[1]]);
    const auto radius = number(row[at[2]]);
    const auto distance = number(row[at[3]]);
    if (!location || !(*location >= 1 && *location <= 20) || *location != std::floor(*location)) {
      return std::nullopt;
    }
    if (!pressure || !std::isfinite(*pressure) || !(*pressure > 0 && *pressure < 1013)) {
      return std::nullopt;
    }
    if (!radius || !std::isfinite(*radius) || !(*radius > 0)) return std::nullopt;
    if (!distance || !std::isfinite(*distance)) return std::nullopt;
    surge::StormCase c;
    c.location = static_cast<int>(*location);
    c.pressure_mb = *pressure;
    c.radius_km = *radius;
    c.distance_km = *distance;
    cases.push_back(c);
  }
  return cases;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string_view text = bytes;
  std::FILE* in = fmemopen(bytes.data(), bytes.size(), "rb");
  if (in == nullptr) return 0;
  std::vector<surge::StormCase> cases;
  bool taken = true;
  {
    kit::CsvReader reader(in);
    kit::CaseColumns columns;
    std::string error;
    uint64_t line = 0;
    if (size == 0 || !kit::read_case_header(reader, &columns, &error, &line)) {
      taken = false;
    } else {
      while (reader.next()) {
        if (kit::is_blank_record(reader.record())) continue;
        surge::StormCase c;
        kit::FieldPlace place;
        if (!kit::read_case(reader, columns, &c, &error, &place)) {
          taken = false;
          if (place.line < reader.line()) surge_fuzz::fail("a fault placed before its record", text);
          continue;
        }
        cases.push_back(c);
      }
      if (!reader.error().empty()) taken = false;
    }
  }
  std::fclose(in);
  const auto want = reference(text);
  if (taken != want.has_value()) {
    surge_fuzz::fail(taken ? "run takes a file the strict reading refuses"
                           : "run refuses a file the strict reading takes",
                     text);
  }
  if (!taken) return 0;
  if (want->size() != cases.size()) surge_fuzz::fail("another count of cases", text);
  for (size_t i = 0; i < cases.size(); ++i) {
    const surge::StormCase& a = cases[i];
    const surge::StormCase& b = (*want)[i];
    if (a.location != b.location || a.pressure_mb != b.pressure_mb || a.radius_km != b.radius_km ||
        a.distance_km != b.distance_km) {
      surge_fuzz::fail("case " + std::to_string(i + 1) + " read otherwise", text);
    }
  }
  return 0;
}
