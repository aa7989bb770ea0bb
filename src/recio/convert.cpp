// Conversion of scanned values into items.
#include "recio/convert.h"

#include <cassert>
#include <cmath>
#include <limits>

#include "recio/decimal.h"
#include "recio/scanner.h"

namespace recio {
namespace {

bool is_sign(char c) { return c == '+' || c == '-'; }

// What is left after a number that does not end its text.
InputFault leftover_fault(const ConvertResult& r, const char* end) {
  if (r.ec == ConvertError::kOutOfRange) return InputFault::kOutOfRange;
  if (r.ec == ConvertError::kNoNumber || r.ptr != end) return InputFault::kTrailingCharacters;
  return InputFault::kNone;
}

template <typename Real>
InputFault convert_real(std::string_view text, Real* value) {
  const ConvertResult r = decimal_to_real(text, value);
  return leftover_fault(r, text.data() + text.size());
}

template <typename Int>
InputFault convert_integer(const ValueToken& token, Int* value) {
  constexpr int64_t kMin = std::numeric_limits<Int>::min();
  constexpr int64_t kMax = std::numeric_limits<Int>::max();
  if (token.word) return InputFault::kWordForInteger;
  const char* end = token.text.data() + token.text.size();
  if (token.integer_form) {
    int64_t v = 0;
    const ConvertResult r = decimal_to_integer(token.text, kMin, kMax, &v);
    if (r.ec == ConvertError::kOutOfRange) return InputFault::kOutOfRange;
    if (r.ec == ConvertError::kNone && r.ptr != end && is_sign(*r.ptr)) {
      return InputFault::kInnerSign;
    }
    if (InputFault f = leftover_fault(r, end); f != InputFault::kNone) return f;
    *value = static_cast<Int>(v);
    return InputFault::kNone;
  }
  // Real form: a double truncated toward zero, which must fit the item.
  double d = 0;
  if (InputFault f = convert_real(token.text, &d); f != InputFault::kNone) return f;
  if (!std::isfinite(d)) return InputFault::kNotFiniteForInteger;
  const double whole = std::trunc(d);
  if (whole < static_cast<double>(kMin) || whole > static_cast<double>(kMax)) {
    return InputFault::kOutOfRange;
  }
  *value = static_cast<Int>(whole);
  return InputFault::kNone;
}

}  // namespace

InputFault convert_value(const ValueToken& token, ItemKind kind, ItemValue* value) {
  switch (token.kind) {
    case ValueClass::kQuoted: return InputFault::kQuotedValue;
    case ValueClass::kLogical:
      value->int16 = token.truth ? -1 : 0;
      value->int32 = token.truth ? -1 : 0;
      value->real32 = token.truth ? -1.0f : 0.0f;
      value->real64 = token.truth ? -1.0 : 0.0;
      return InputFault::kNone;
    case ValueClass::kNumeric: break;
    case ValueClass::kNull:
    case ValueClass::kSlash: assert(false && "no value to convert"); return InputFault::kNone;
  }
  switch (kind) {
    case ItemKind::kInt16: return convert_integer(token, &value->int16);
    case ItemKind::kInt32: return convert_integer(token, &value->int32);
    case ItemKind::kReal32: return convert_real(token.text, &value->real32);
    case ItemKind::kReal64: return convert_real(token.text, &value->real64);
    case ItemKind::kText: break;
  }
  assert(false && "input has no text items");
  return InputFault::kNone;
}

void write_value(const ItemValue& value, ItemKind kind, void* destination) {
  switch (kind) {
    case ItemKind::kInt16: *static_cast<int16_t*>(destination) = value.int16; break;
    case ItemKind::kInt32: *static_cast<int32_t*>(destination) = value.int32; break;
    case ItemKind::kReal32: *static_cast<float*>(destination) = value.real32; break;
    case ItemKind::kReal64: *static_cast<double*>(destination) = value.real64; break;
    case ItemKind::kText: assert(false && "input has no text items"); break;
  }
}

}  // namespace recio
