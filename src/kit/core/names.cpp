// Names of curves and sides.
#include "kit/core/names.h"

namespace kit {

std::string_view curve_name(surge::Curve curve) {
  switch (curve) {
    case surge::Curve::kLeft:
      return "left";
    case surge::Curve::kTail:
      return "tail";
    case surge::Curve::kRight:
      return "right";
    case surge::Curve::kNone:
      break;
  }
  return "none";
}

std::string_view side_name(std::string_view side_label) {
  if (side_label == surge::kLeftLabel) return "LEFT";
  if (side_label == surge::kRightLabel) return "RIGHT";
  return {};
}

}  // namespace kit
