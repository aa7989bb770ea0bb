// Fuzz target: arbitrary bytes as the bridge sites file. read_sites takes a
// file (no error among its findings) exactly when the strict reference takes
// it, with the same sites.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "kit/files/sites.h"
#include "table_reference.h"

namespace {

using surge_fuzz::number;

std::optional<std::vector<kit::Site>> reference(std::string_view text) {
  const std::optional<surge_fuzz::Table> table = surge_fuzz::strict_table(text);
  if (!table) return std::nullopt;
  const int location = surge_fuzz::column(*table, "location");
  const int name = surge_fuzz::column(*table, "name");
  const int alongshore = surge_fuzz::column(*table, "alongshore_km");
  const int low_chord = surge_fuzz::column(*table, "low_chord_m");
  const int datum_offset = surge_fuzz::column(*table, "datum_offset_m");
  const int tide_amplitude = surge_fuzz::column(*table, "tide_amplitude_m");
  if (location < 0 || name < 0 || alongshore < 0 || low_chord == -2 || datum_offset == -2 ||
      tide_amplitude == -2) {
    return std::nullopt;
  }
  // An optional column's field, blank meaning not given: a number within
  // [least, most], or the file is refused.
  auto optional_in = [](const std::vector<std::string>& row, int at, double least, double most) {
    if (at < 0 || row[at].find_first_not_of(" \t") == std::string::npos) return true;
    const auto v = number(row[at]);
    return v && std::isfinite(*v) && *v >= least && *v <= most;
  };
  std::array<std::optional<kit::Site>, 21> by_location;
  for (const auto& row : table->rows) {
    if (row.size() != table->header.size()) return std::nullopt;
    kit::Site site;
    const auto l = number(row[location]);
    if (!l || !(*l >= 1 && *l <= 20) || *l != std::floor(*l)) return std::nullopt;
    site.location = static_cast<int>(*l);
    site.name = row[name];
    const auto a = number(row[alongshore]);
    if (!a || !std::isfinite(*a)) return std::nullopt;
    site.alongshore_km = *a;
    if (low_chord >= 0 && row[low_chord].find_first_not_of(" \t") != std::string::npos) {
      const auto c = number(row[low_chord]);
      if (!c || !std::isfinite(*c) || !(*c >= 0)) return std::nullopt;
      site.has_low_chord = true;
      site.low_chord_m = *c;
    }
    // The datum offset within 1000 m either way, the tide's amplitude 0 to 20 m.
    if (!optional_in(row, datum_offset, -1000, 1000)) return std::nullopt;
    if (!optional_in(row, tide_amplitude, 0, 20)) return std::nullopt;
    if (by_location[site.location]) return std::nullopt;  // given twice
    by_location[site.location] = site;
  }
  std::vector<kit::Site> sites;
  for (int k = 1; k <= 20; ++k) {
    if (!by_location[k]) return std::nullopt;
    sites.push_back(*by_location[k]);
  }
  return sites;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string_view text = bytes;
  std::FILE* in = fmemopen(bytes.data(), bytes.size(), "rb");
  if (in == nullptr) return 0;
  std::vector<kit::Site> sites;
  const std::vector<kit::Finding> findings = kit::read_sites(in, "sites.csv", &sites);
  std::fclose(in);
  for (const kit::Finding& f : findings) {
    if (f.file != "sites.csv" || f.message.empty()) surge_fuzz::fail("a finding without its file", text);
  }
  const bool taken = !kit::has_error(findings);
  const auto want = reference(text);
  if (taken != want.has_value()) {
    surge_fuzz::fail(taken ? "read_sites takes a file the strict reading refuses"
                           : "read_sites refuses a file the strict reading takes",
                     text);
  }
  if (!taken) return 0;
  if (sites.size() != 20) surge_fuzz::fail("not 20 sites", text);
  for (size_t i = 0; i < 20; ++i) {
    const kit::Site& a = sites[i];
    const kit::Site& b = (*want)[i];
    if (a.location != b.location || a.name != b.name || a.alongshore_km != b.alongshore_km ||
        a.has_low_chord != b.has_low_chord || (a.has_low_chord && a.low_chord_m != b.low_chord_m)) {
      surge_fuzz::fail("site " + std::to_string(i + 1) + " read otherwise", text);
    }
  }
  return 0;
}
