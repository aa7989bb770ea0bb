// Run-time error reports: the message catalogue, the report with its call-stack
// listing, and the console event handler.
#ifndef SURGE_RECIO_MESSAGES_H_
#define SURGE_RECIO_MESSAGES_H_

#include <cstddef>
#include <cstdint>
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

// The whole catalogue, in number order.
const MessageRow* message_catalog_begin();
const MessageRow* message_catalog_end();

// The most bytes a report (message line and listing) can hold.
inline constexpr size_t kReportSize = 16384;

// A report being built. What does not fit in kReportSize bytes is cut.
class ReportText {
 public:
  void append(std::string_view text);
  void appendf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  std::string_view view() const { return std::string_view(data_, size_); }
  bool full() const { return size_ == kReportSize; }
  void clear() { size_ = 0; }

 private:
  char data_[kReportSize];
  size_t size_ = 0;
};

// Walks the calling thread's stack as platform::walk_stack does.
using StackWalker = bool (*)(int skip, platform::FrameVisitor visit, void* context);

// Appends the call-stack listing of the calling thread, from the caller of
// this routine outward: a header and one line per frame, or the verbose
// blocks. A walk that breaks off ends with "Stack trace terminated abnormally.".
void append_stack_listing(ReportText* report, bool verbose,
                          StackWalker walk = platform::walk_stack);

// The last component of a qualified routine name: "ns::f<a::b>" gives "f<a::b>".
std::string_view unqualified_name(std::string_view routine);

// Writes the report for a message with the arguments of its text (for I/O
// messages the unit number, then the file name as a C string), to standard
// error or where the environment sends it. Severity 4 closes every unit and
// ends the process with the number as exit status.
void issue_message(int32_t number, ...);

// Reports a failed statement on a unit: the message with the unit number and
// the unit's file name. Never returns.
[[noreturn]] void report_io_error(int32_t number, const UnitBlock& block);

// Handles a console event: message 200 with the event's name and the listing,
// then every unit closed and the process ended with 130 (control-C), 1
// (control-BREAK) or 2 (the console closed).
[[noreturn]] void on_console_event(platform::ConsoleEvent event);

// True when an environment switch is on: a non-empty value that begins with
// t, T, y or Y, or is all decimal digits and not zero.
bool switch_value_on(std::string_view value);
bool switch_on(const char* name);

}  // namespace recio

#endif  // SURGE_RECIO_MESSAGES_H_
