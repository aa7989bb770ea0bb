// The limits every subcommand applies, in one place: the storms the response
// curves were fitted for, what is physically a storm, and which landfalls a
// location takes. Messages are built from these constants.
#ifndef SURGE_KIT_CORE_LIMITS_H_
#define SURGE_KIT_CORE_LIMITS_H_

#include <cmath>
#include <string>

#include "model/site_table.h"
#include "model/surge.h"

namespace kit {

// The storms the curves were fitted for; outside them a result is flagged.
inline constexpr double kFittedPressureMinMb = 890, kFittedPressureMaxMb = 960;
inline constexpr double kFittedRadiusMinKm = 11, kFittedRadiusMaxKm = 65;

inline bool pressure_in_fitted_range(double p) {
  return p >= kFittedPressureMinMb && p <= kFittedPressureMaxMb;
}
inline bool radius_in_fitted_range(double r) {
  return r >= kFittedRadiusMinKm && r <= kFittedRadiusMaxKm;
}

// A limit as text: the limits are whole numbers.
inline std::string whole_text(double limit) { return std::to_string(static_cast<long>(limit)); }

// A range option's text from whole-number limits: "FIRST:LAST", or with a
// step "FIRST:LAST:STEP", as the option defaults are written.
inline std::string range_text(double first, double last) {
  return whole_text(first) + ":" + whole_text(last);
}
inline std::string range_text(double first, double last, double step) {
  return range_text(first, last) + ":" + whole_text(step);
}

// "pressure 890 to 960 mb, radius 11 to 65 km", for messages.
inline std::string fitted_ranges_text() {
  return "pressure " + whole_text(kFittedPressureMinMb) + " to " +
         whole_text(kFittedPressureMaxMb) + " mb, radius " + whole_text(kFittedRadiusMinKm) +
         " to " + whole_text(kFittedRadiusMaxKm) + " km";
}

// A storm's central pressure lies below this ambient pressure: at or above
// it there is no deficit, and the surge formula would square a negative one.
inline constexpr double kNoDeficitPressureMb = 1013;

// What is physically a storm: finite values, a pressure above 0 with a
// deficit, and a positive radius. Anything else is refused, never evaluated
// (at 0 mb or below the formula squares a deficit larger than the atmosphere).
inline bool is_physical_pressure(double p) {
  return std::isfinite(p) && p > 0 && p < kNoDeficitPressureMb;
}
inline bool is_physical_radius(double r) { return std::isfinite(r) && r > 0; }

// "a pressure above 0 and below 1013 mb": the one text every refusal of a
// pressure gives.
inline std::string physical_pressure_text() {
  return "a pressure above 0 and below " + whole_text(kNoDeficitPressureMb) + " mb";
}

// Locations are numbered 1 to 20. Locations 18 to 20 were fitted only for
// landfalls west (left) of the bridge, that is a positive distance: the
// calculator asks again for any other.
inline constexpr int kFirstLocation = 1, kLastLocation = surge::kLocations;
inline constexpr int kFirstWestOnlyLocation = 18;

inline bool needs_positive_distance(int location) { return location >= kFirstWestOnlyLocation; }

// What is physically a site's tide and datum. Half the largest tidal range on
// Earth is about 8 m, so an amplitude above kMaxTideAmplitudeM is a slip (a
// range, or feet or millimetres, for an amplitude in metres), not a tide.
// Mean sea level lies within tens of metres of any vertical datum a low chord
// is surveyed in; an offset beyond kMaxDatumOffsetM either way is a wrong unit
// or column, and would print levels with hundreds of digits.
inline constexpr double kMaxTideAmplitudeM = 20;
inline constexpr double kMaxDatumOffsetM = 1000;

inline bool is_physical_tide_amplitude(double a) { return a >= 0 && a <= kMaxTideAmplitudeM; }
inline bool is_physical_datum_offset(double d) { return std::fabs(d) <= kMaxDatumOffsetM; }

// "above 20 m: half the largest tidal range on Earth is about 8 m", for messages.
inline std::string tide_amplitude_limit_text() {
  return "above " + whole_text(kMaxTideAmplitudeM) +
         " m: half the largest tidal range on Earth is about 8 m";
}
// "beyond -1000 to 1000 m: ...", for messages.
inline std::string datum_offset_limit_text() {
  return "beyond -" + whole_text(kMaxDatumOffsetM) + " to " + whole_text(kMaxDatumOffsetM) +
         " m: mean sea level lies within tens of metres of any vertical datum";
}

// True when a fitted curve applies at the case's X (RIGHT on (-6, 0], LEFT on
// (0, 10], the tail on (10, 25]). Elsewhere (curve `none`, or X is NaN) the
// curves give no answer: the model's surge there is the slope term alone, so
// `run` and `curve` flag it, `worst` and `envelope` do not search there, and
// `ensemble`, `hazard` and the simulated-surge comparison leave the case out.
inline bool within_fitted_curves(surge::Curve curve) { return curve != surge::Curve::kNone; }

}  // namespace kit

#endif  // SURGE_KIT_CORE_LIMITS_H_
