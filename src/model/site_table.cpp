// The site table and its loading.
#include "model/site_table.h"

#include <array>
#include <cstring>

#include "recio/input.h"
#include "recio/units.h"

namespace surge {
namespace {

SiteTable g_table;

constexpr int32_t kParameterUnit = 1;
constexpr int32_t kSlopeUnit = 2;

// Where each location's parameter values go, fixed when the program is built:
// the table never moves, and the files are read again for every case.
using RowTargets = std::array<std::array<void*, kParameterCount>, kLocations + 1>;
constexpr RowTargets make_row_targets() {
  RowTargets rows{};
  for (int location = 1; location <= kLocations; ++location) {
    for (int k = 0; k < kParameterCount; ++k) {
      rows[location][k] = &(g_table.*kParameterColumns[k])[location];
    }
  }
  return rows;
}
constinit const RowTargets kRowTargets = make_row_targets();

}  // namespace

SiteTable& site_table() { return g_table; }

void load_site_tables() {
  recio::open_unit(kParameterUnit, {.file = "srfparamsVelko.dat", .action = "read", .status = "UNKNOWN"});
  // Each file's statements run one after another: the unit is held across them.
  {
    recio::UnitHold hold(kParameterUnit);
    for (int location = 1; location <= kLocations; ++location) {
      recio::input_statement(kParameterUnit, recio::ItemKind::kReal32,
                             kRowTargets[location].data(), kParameterCount);
    }
  }
  recio::open_unit(kSlopeUnit, {.file = "pslope.dat", .action = "read", .status = "UNKNOWN"});
  recio::UnitHold hold(kSlopeUnit);
  for (int location = 1; location <= kLocations; ++location) {
    void* slope = &g_table.slope[location];
    recio::input_statement(kSlopeUnit, recio::ItemKind::kReal32, &slope, 1);
  }
}

void reset_site_table_for_test() { std::memset(&g_table, 0, sizeof g_table); }

}  // namespace surge
