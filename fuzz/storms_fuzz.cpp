// Fuzz target: arbitrary bytes as a storm set. read_storms takes a file (no
// error among its findings) exactly when the strict reference takes it, with
// the same storms.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "kit/files/storms.h"
#include "table_reference.h"

namespace {

using surge_fuzz::number;

std::optional<kit::StormSet> reference(std::string_view text) {
  const std::optional<surge_fuzz::Table> table = surge_fuzz::strict_table(text);
  if (!table) return std::nullopt;
  const int pressure = surge_fuzz::column(*table, "pressure_mb");
  const int radius = surge_fuzz::column(*table, "radius_km");
  const int rate = surge_fuzz::column(*table, "rate");
  const int landfall = surge_fuzz::column(*table, "landfall_km");
  const int name = surge_fuzz::column(*table, "name");
  if (pressure < 0 || radius < 0 || rate < 0 || landfall == -2 || name == -2) return std::nullopt;
  kit::StormSet set;
  set.has_landfall = landfall >= 0;
  for (const auto& row : table->rows) {
    if (row.size() != table->header.size()) return std::nullopt;
    kit::Storm s;
    const auto p = number(row[pressure]);
    const auto r = number(row[radius]);
    const auto q = number(row[rate]);
    if (!p || !std::isfinite(*p) || !(*p > 0 && *p < 1013)) return std::nullopt;
    if (!r || !std::isfinite(*r) || !(*r > 0)) return std::nullopt;
    if (!q || !std::isfinite(*q) || !(*q >= 0)) return std::nullopt;
    s.pressure_mb = *p;
    s.radius_km = *r;
    s.rate = *q;
    if (landfall >= 0) {
      const auto l = number(row[landfall]);
      if (!l || !std::isfinite(*l)) return std::nullopt;
      s.landfall_km = *l;
    }
    set.storms.push_back(s);
  }
  if (set.storms.empty()) return std::nullopt;
  return set;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string_view text = bytes;
  std::FILE* in = fmemopen(bytes.data(), bytes.size(), "rb");
  if (in == nullptr) return 0;
  kit::StormSet set;
  const std::vector<kit::Finding> findings = kit::read_storms(in, "storms.csv", &set);
  std::fclose(in);
  const bool taken = !kit::has_error(findings);
  const auto want = reference(text);
  if (taken != want.has_value()) {
    surge_fuzz::fail(taken ? "read_storms takes a file the strict reading refuses"
                           : "read_storms refuses a file the strict reading takes",
                     text);
  }
  if (!taken) return 0;
  if (set.has_landfall != want->has_landfall || set.storms.size() != want->storms.size()) {
    surge_fuzz::fail("another shape of storm set", text);
  }
  for (size_t i = 0; i < set.storms.size(); ++i) {
    const kit::Storm& a = set.storms[i];
    const kit::Storm& b = want->storms[i];
    if (a.pressure_mb != b.pressure_mb || a.radius_km != b.radius_km || a.rate != b.rate ||
        a.landfall_km != b.landfall_km) {
      surge_fuzz::fail("storm " + std::to_string(i + 1) + " read otherwise", text);
    }
  }
  return 0;
}
