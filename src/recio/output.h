// Output statements: free-form and formatted records on a unit.
//
// A statement is begin_output, then one output_item per item with `last` set on
// the final one, or finish_output when it has no items. Every record that a
// statement completes is written at once with CR LF; nothing is held back
// between statements. Any failure ends the process with a run-time error report.
#ifndef SURGE_RECIO_OUTPUT_H_
#define SURGE_RECIO_OUTPUT_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "recio/format_program.h"
#include "recio/item_kind.h"

namespace recio {

// One item of an output statement: its kind, its value and whether it is the
// statement's last. A Text item refers to bytes that the caller keeps alive
// until output_item returns; they are written byte for byte, trailing blanks
// included.
struct OutputItem {
  ItemKind kind;
  bool last;
  union {
    int16_t i16;
    int32_t i32;
    double r64;
    struct {
      const char* data;
      size_t size;
    } text;
  };

  static OutputItem int16(int16_t v, bool last = false) {
    OutputItem item{ItemKind::kInt16, last, {}};
    item.i16 = v;
    return item;
  }
  static OutputItem int32(int32_t v, bool last = false) {
    OutputItem item{ItemKind::kInt32, last, {}};
    item.i32 = v;
    return item;
  }
  static OutputItem real64(double v, bool last = false) {
    OutputItem item{ItemKind::kReal64, last, {}};
    item.r64 = v;
    return item;
  }
  static OutputItem text_item(std::string_view v, bool last = false) {
    OutputItem item{ItemKind::kText, last, {}};
    item.text.data = v.data();
    item.text.size = v.size();
    return item;
  }
};

// Starts an output statement on the unit: free-form when `format` is empty,
// else formatted by the program, whose walk runs at once up to its first data
// edit descriptor. Claims the unit (connecting the console output unit on its
// first use) until the statement ends.
void begin_output(int32_t unit, FormatProgram format = {});

// A whole free-form statement of one text item on the unit: begin_output,
// then output_item of the text marked last.
void output_text_record(int32_t unit, std::string_view text);

// Transfers one item of the current statement; ends the statement after an
// item marked last.
void output_item(const OutputItem& item);

// Ends the current statement: the one without items, or a formatted one whose
// walk stops for good where it stands.
void finish_output();

// Test only: forgets a statement that a run ended half-way (by an exception
// standing in for the end of the process). The unit table is reset separately.
void reset_output_for_test();

}  // namespace recio

#endif  // SURGE_RECIO_OUTPUT_H_
