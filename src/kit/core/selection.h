// Command-line selections the plotting subcommands share: which locations
// ("all" or one number) and integer ranges written "first:last[:step]".
#ifndef SURGE_KIT_CORE_SELECTION_H_
#define SURGE_KIT_CORE_SELECTION_H_

#include <string>
#include <string_view>
#include <vector>

namespace kit {

// Reads "all" (every location, in order) or one location number 1 to 20 into
// *locations. False, with *locations unchanged, for anything else.
bool parse_locations(std::string_view text, std::vector<int>* locations);

// Reads "first:last" or "first:last:step" (integers, first <= last, step > 0)
// into the values first, first + step, ... up to last, and last itself when
// the step misses it (890:960:100 gives 890 and 960). False, with *values
// unchanged, for anything else or more than `max_count` values.
bool parse_integer_range(std::string_view text, std::vector<int>* values,
                         size_t max_count = 10000);

}  // namespace kit

#endif  // SURGE_KIT_CORE_SELECTION_H_
