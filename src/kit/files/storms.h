// A storm set for the joint-probability method: storms with their rates.
#ifndef SURGE_KIT_FILES_STORMS_H_
#define SURGE_KIT_FILES_STORMS_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "kit/core/diagnostics.h"

namespace kit {

struct Storm {
  double pressure_mb = 0;  // above 0 and below 1013
  double radius_km = 0;    // > 0
  double rate = 0;         // >= 0: per year, or per year and km of coast without a landfall
  double landfall_km = 0;  // alongshore, when the set has landfalls
  uint64_t line = 0;       // where it was read
};

struct StormSet {
  std::vector<Storm> storms;
  bool has_landfall = false;  // the file has a landfall_km column
  uint64_t outside_fit = 0;   // rows outside the fitted pressure or radius range
};

// Reads a CSV with a header naming pressure_mb, radius_km and rate, and
// optionally landfall_km and name (other columns are ignored with a warning),
// naming it `file` in findings. Each row outside the fitted ranges gives a
// warning naming it (by its name column when there is one). *set holds the
// rows when no finding is an error.
std::vector<Finding> read_storms(std::FILE* in, const std::string& file, StormSet* set);

}  // namespace kit

#endif  // SURGE_KIT_FILES_STORMS_H_
