// Conversion of a scanned value into the kind of its item.
#ifndef SURGE_RECIO_CONVERT_H_
#define SURGE_RECIO_CONVERT_H_

#include <cstdint>

#include "recio/input_fault.h"
#include "recio/item_kind.h"

namespace recio {

struct ValueToken;

// A converted value, held until it is stored; only the member of the kind is set.
struct ItemValue {
  int16_t int16 = 0;
  int32_t int32 = 0;
  float real32 = 0;
  double real64 = 0;
};

// Converts a numeric or logical token for an item of `kind`. Integer form goes
// exactly into an integer item; real form is converted as a double and truncated
// toward zero, and must fit the item. Reals are rounded straight from the
// decimal text into their own format. A quoted token is kQuotedValue.
InputFault convert_value(const ValueToken& token, ItemKind kind, ItemValue* value);

// Stores the member of `kind` at `destination`.
void write_value(const ItemValue& value, ItemKind kind, void* destination);

}  // namespace recio

#endif  // SURGE_RECIO_CONVERT_H_
