// The site table and its loading.
#include "model/site_table.h"

#include <cstring>

#include "recio/input.h"
#include "recio/units.h"

namespace surge {
namespace {

SiteTable g_table;

// The parameter file's 21 columns, in the order of each group.
constexpr SiteTable::Column SiteTable::*kParameterColumns[] = {
    &SiteTable::left_amp1,  &SiteTable::left_centre1,  &SiteTable::left_width1,
    &SiteTable::left_amp2,  &SiteTable::left_centre2,  &SiteTable::left_width2,
    &SiteTable::left_amp3,  &SiteTable::left_centre3,  &SiteTable::left_width3,
    &SiteTable::tail_norm,  &SiteTable::tail_centre,   &SiteTable::tail_scale,
    &SiteTable::right_amp1, &SiteTable::right_centre1, &SiteTable::right_width1,
    &SiteTable::right_amp2, &SiteTable::right_centre2, &SiteTable::right_width2,
    &SiteTable::right_amp3, &SiteTable::right_centre3, &SiteTable::right_width3,
};
constexpr int kParameterCount = sizeof kParameterColumns / sizeof kParameterColumns[0];
static_assert(kParameterCount == 21);

constexpr int32_t kParameterUnit = 1;
constexpr int32_t kSlopeUnit = 2;

}  // namespace

SiteTable& site_table() { return g_table; }

void load_site_tables() {
  recio::open_unit(kParameterUnit, {.file = "srfparamsVelko.dat", .action = "read", .status = "UNKNOWN"});
  for (int location = 1; location <= kLocations; ++location) {
    void* row[kParameterCount];
    for (int k = 0; k < kParameterCount; ++k) row[k] = &(g_table.*kParameterColumns[k])[location];
    recio::begin_input(kParameterUnit);
    recio::input_items(recio::ItemKind::kReal32, row, kParameterCount, true);
  }
  recio::open_unit(kSlopeUnit, {.file = "pslope.dat", .action = "read", .status = "UNKNOWN"});
  for (int location = 1; location <= kLocations; ++location) {
    recio::begin_input(kSlopeUnit);
    recio::input_item(recio::ItemKind::kReal32, &g_table.slope[location], true);
  }
}

void reset_site_table_for_test() { std::memset(&g_table, 0, sizeof g_table); }

}  // namespace surge
