// The per-location coefficients of the surge response curves, and their loading
// from the two data files.
#ifndef SURGE_MODEL_SITE_TABLE_H_
#define SURGE_MODEL_SITE_TABLE_H_

#include <cstdint>

namespace surge {

inline constexpr int kLocations = 20;

// 22 columns of single-precision values, each indexed by location number 1 to
// 20 (index 0 unused). Columns 1 to 21 come from the parameter file in this
// order, `slope` from the slope file.
struct SiteTable {
  using Column = float[kLocations + 1];
  Column left_amp1, left_centre1, left_width1;
  Column left_amp2, left_centre2, left_width2;
  Column left_amp3, left_centre3, left_width3;
  Column tail_norm, tail_centre, tail_scale;
  Column right_amp1, right_centre1, right_width1;
  Column right_amp2, right_centre2, right_width2;
  Column right_amp3, right_centre3, right_width3;
  Column slope;
};

// The parameter file's 21 columns, in the order of each group, and their
// names as users see them.
inline constexpr int kParameterCount = 21;
inline constexpr SiteTable::Column SiteTable::*kParameterColumns[kParameterCount] = {
    &SiteTable::left_amp1,  &SiteTable::left_centre1,  &SiteTable::left_width1,
    &SiteTable::left_amp2,  &SiteTable::left_centre2,  &SiteTable::left_width2,
    &SiteTable::left_amp3,  &SiteTable::left_centre3,  &SiteTable::left_width3,
    &SiteTable::tail_norm,  &SiteTable::tail_centre,   &SiteTable::tail_scale,
    &SiteTable::right_amp1, &SiteTable::right_centre1, &SiteTable::right_width1,
    &SiteTable::right_amp2, &SiteTable::right_centre2, &SiteTable::right_width2,
    &SiteTable::right_amp3, &SiteTable::right_centre3, &SiteTable::right_width3,
};
inline constexpr const char* kParameterNames[kParameterCount] = {
    "left_amp1",  "left_centre1",  "left_width1",  "left_amp2",  "left_centre2",
    "left_width2", "left_amp3",    "left_centre3", "left_width3", "tail_norm",
    "tail_centre", "tail_scale",   "right_amp1",   "right_centre1", "right_width1",
    "right_amp2",  "right_centre2", "right_width2", "right_amp3",  "right_centre3",
    "right_width3",
};

// The program's one table, zero before the first load; it keeps its values
// between loads.
SiteTable& site_table();

// Reads "srfparamsVelko.dat" on unit 1 (20 statements of 21 values) and then
// "pslope.dat" on unit 2 (20 statements of one value) into site_table(). Both
// units stay open. Any failure ends the process with a run-time error report.
void load_site_tables();

// Test only: sets every value back to 0.
void reset_site_table_for_test();

}  // namespace surge

#endif  // SURGE_MODEL_SITE_TABLE_H_
