// Simulated peak surges as rows of a CSV file, the input of the coefficient
// fit: location,pressure_mb,radius_km,distance_km,surge_m in any order, an
// optional weight, any further columns ignored.
#ifndef SURGE_KIT_FILES_SIMULATIONS_H_
#define SURGE_KIT_FILES_SIMULATIONS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kit/core/diagnostics.h"

namespace kit {

inline constexpr std::string_view kSurgeColumn = "surge_m";
inline constexpr std::string_view kWeightColumn = "weight";

// One simulated storm at one location.
struct SimulationRow {
  int location = 0;  // 1 to 20
  double pressure_mb = 0, radius_km = 0, distance_km = 0;
  double surge_m = 0;
  double weight = 1;  // > 0: the row's squared error counts this many times
  uint64_t line = 0;  // where the row begins in the file
};

struct SimulationSet {
  std::vector<SimulationRow> rows;  // in file order
  std::string sha256;               // of the file's bytes
  uint64_t bad_rows = 0;            // rows refused (each has an error finding, up to a limit)
};

// At most this many row errors are listed; the rest are counted in one more.
inline constexpr size_t kRowErrorsShown = 20;

// Reads the CSV text `bytes` of the file `name`. Every row must hold a
// location 1 to 20, a pressure above 0 and below 1013 mb, a positive radius,
// a finite distance (positive at locations 18 to 20, the only landfalls the
// calculator takes there) and a finite surge; a weight, when the column is
// there, must be finite and positive. Faults go to *findings as
// "name:line:column" errors.
// False when there is any error.
bool read_simulations(std::string_view name, const std::string& bytes, SimulationSet* set,
                      std::vector<Finding>* findings);

}  // namespace kit

#endif  // SURGE_KIT_FILES_SIMULATIONS_H_
