// What `surgekit hazard` and the report's hazard section share: reading the
// storm set and settling where its storms land.
#ifndef SURGE_KIT_HAZARD_INPUT_H_
#define SURGE_KIT_HAZARD_INPUT_H_

#include <string>

#include "kit/hazard_curve.h"
#include "kit/storms.h"

namespace kit {

inline constexpr double kStandardReturnPeriods[] = {10, 25, 50, 100, 200, 500};

// Reads "FROM:TO" (km) into setup's coast; false with *error set when it is not
// two numbers or the range is empty (FROM not below TO).
bool parse_coast_range(const std::string& text, HazardSpec* setup, std::string* error);

// Reads the storm set at `path` ("-": standard input), writing its findings to
// stderr (the first 20 outside-range rows named, then a count, under `who`).
// False when any finding is an error.
bool load_storm_set(const std::string& path, StormSet* set, const char* who);

// With landfalls in the set the coast is not used (a note says so); without
// them a coast is needed: false with *error set when none was given.
bool settle_landfalls(const StormSet& set, HazardSpec* setup, const char* who, std::string* error);

}  // namespace kit

#endif  // SURGE_KIT_HAZARD_INPUT_H_
