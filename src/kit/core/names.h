// The words that name the model's results in tables and plots.
#ifndef SURGE_KIT_CORE_NAMES_H_
#define SURGE_KIT_CORE_NAMES_H_

#include <string_view>

#include "model/surge.h"

namespace kit {

// "left", "tail", "right" or "none".
std::string_view curve_name(surge::Curve curve);

// "LEFT" or "RIGHT" (the calculator's label without its blank), or empty.
std::string_view side_name(std::string_view side_label);

}  // namespace kit

#endif  // SURGE_KIT_CORE_NAMES_H_
