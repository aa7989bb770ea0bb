// Run-time error reports: the message catalogue, the report with its call-stack
// listing, and the console event handler.
#ifndef SURGE_RECIO_MESSAGES_H_
#define SURGE_RECIO_MESSAGES_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace recio {

struct UnitBlock;

// One row of the catalogue. Texts are printf formats; I/O messages take the
// unit number and the file name.
struct MessageRow {
  int32_t number;
  int severity;  // 0 to 4; 4 ends the process
  const char* text;
};

// The catalogue row of a message number, or nullptr.
const MessageRow* find_message(int32_t number);

// Writes the report for a message with the arguments of its text. Severity 4
// closes every unit and ends the process with the number as exit status.
void issue_message(int32_t number, ...);

// Reports a failed statement on a unit: the message with the unit number and
// the unit's file name. Never returns.
[[noreturn]] void report_io_error(int32_t number, const UnitBlock& block);

// Handles a console event: message 200 with the event's name and the listing,
// then every unit closed and the process ended.
void on_console_event(platform::ConsoleEvent event);

// True when an environment switch is on: a non-empty value that begins with
// t, T, y or Y, or is all decimal digits and not zero.
bool switch_value_on(std::string_view value);
bool switch_on(const char* name);

}  // namespace recio

#endif  // SURGE_RECIO_MESSAGES_H_
