// The storms the response curves were fitted for.
#ifndef SURGE_KIT_FITTED_RANGE_H_
#define SURGE_KIT_FITTED_RANGE_H_

namespace kit {

inline constexpr double kFittedPressureMinMb = 890, kFittedPressureMaxMb = 960;
inline constexpr double kFittedRadiusMinKm = 11, kFittedRadiusMaxKm = 65;

// Pressure below this has no deficit: the storm forces no surge.
inline constexpr double kNoDeficitPressureMb = 1013;

inline bool pressure_in_fitted_range(double p) {
  return p >= kFittedPressureMinMb && p <= kFittedPressureMaxMb;
}
inline bool radius_in_fitted_range(double r) {
  return r >= kFittedRadiusMinKm && r <= kFittedRadiusMaxKm;
}

}  // namespace kit

#endif  // SURGE_KIT_FITTED_RANGE_H_
