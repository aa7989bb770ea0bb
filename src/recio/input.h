// Free-form input statements: values read from a unit's records into variables.
//
// A statement is begin_input, then one input_item per variable with `last` set
// on the final one. Values are separated by blanks, commas or record ends; a null
// value or a slash leaves its variable unchanged. Any fault ends the process
// with a run-time error report.
#ifndef SURGE_RECIO_INPUT_H_
#define SURGE_RECIO_INPUT_H_

#include <cstddef>
#include <cstdint>

#include "recio/item_kind.h"

namespace recio {

// Starts an input statement on the unit (claiming it) and reads its first record.
void begin_input(int32_t unit);

// Finds the next value, converts it to `kind` and stores it at `destination`
// (an int16_t, int32_t, float or double as the kind says), or leaves it
// unchanged for a null value or after a slash. Ends the statement when `last`.
void input_item(ItemKind kind, void* destination, bool last);

// The same as input_item for each of `count` items of one kind, in order, with
// `last` on the final one: a statement's items in one call.
void input_items(ItemKind kind, void* const* destinations, size_t count, bool last);

// A whole statement of `count` items of one kind: begin_input, then
// input_items with `last`. A data file's record read again with the bytes
// that last gave all its values has them stored at once.
void input_statement(int32_t unit, ItemKind kind, void* const* destinations, size_t count);

// Test only: forgets a statement that a run ended half-way (by an exception
// standing in for the end of the process), and every converted value kept for
// records read again. The unit table is reset separately.
void reset_input_for_test();

}  // namespace recio

#endif  // SURGE_RECIO_INPUT_H_
