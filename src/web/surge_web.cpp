// The model's C interface for the report page's WebAssembly build: the page
// sets the coefficient table once, value by value, from single-precision bit
// patterns, then evaluates cases one at a time and reads the last result.
//
// Only the model's evaluation is compiled in: the table comes from surgekit,
// which read and checked the coefficient files, so no file reading is here.
#include <cstdint>
#include <cstring>

#include "model/surge.h"

namespace {

surge::SiteTable table{};
surge::CaseResult last{};

// The 21 parameter columns in the parameter file's order, then the slope.
constexpr int kColumns = surge::kParameterCount + 1;

surge::SiteTable::Column& column_at(int column) {
  return column < surge::kParameterCount ? table.*surge::kParameterColumns[column] : table.slope;
}

}  // namespace

extern "C" {

int surge_web_column_count() { return kColumns; }

// Sets the value of `column` (0 to 21) at `location` (1 to 20) to the float
// whose bits are `bits`. Returns 0, changing nothing, for a column or location
// out of range.
int surge_web_set(int column, int location, uint32_t bits) {
  if (column < 0 || column >= kColumns || location < 1 || location > surge::kLocations) return 0;
  float value;
  std::memcpy(&value, &bits, sizeof value);
  column_at(column)[location] = value;
  return 1;
}

// The bits of the value held at `column` and `location` (0 when out of range),
// so that the page can confirm the table arrived intact.
uint32_t surge_web_get(int column, int location) {
  if (column < 0 || column >= kColumns || location < 1 || location > surge::kLocations) return 0;
  uint32_t bits;
  std::memcpy(&bits, &column_at(column)[location], sizeof bits);
  return bits;
}

// Evaluates one case. The model only asserts its location, so it is checked
// here: for a location outside 1 to 20 nothing is evaluated and 0 returned.
int surge_web_evaluate(int location, double pressure_mb, double radius_km, double distance_km) {
  if (location < 1 || location > surge::kLocations) return 0;
  last = surge::evaluate_surge(surge::StormCase{.location = location,
                                                .pressure_mb = pressure_mb,
                                                .radius_km = radius_km,
                                                .distance_km = distance_km},
                               table);
  return 1;
}

// The last evaluated case's results.
double surge_web_surge() { return last.surge_m; }
double surge_web_x() { return last.x; }
double surge_web_response() { return last.response; }

// 0 none, 1 left, 2 tail, 3 right.
int surge_web_curve() {
  switch (last.curve) {
    case surge::Curve::kLeft:
      return 1;
    case surge::Curve::kTail:
      return 2;
    case surge::Curve::kRight:
      return 3;
    case surge::Curve::kNone:
      break;
  }
  return 0;
}

// 0 when X is not a number, 1 LEFT, 2 RIGHT.
int surge_web_side() {
  if (last.side == surge::kLeftLabel) return 1;
  if (last.side == surge::kRightLabel) return 2;
  return 0;
}

}  // extern "C"
