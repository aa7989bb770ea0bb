// Output statements on units: claiming the unit, writing completed records to
// its handle, and reporting what fails.
#include "recio/output.h"

#include <cstdlib>
#include <string>

#include "recio/messages.h"
#include "recio/output_statement.h"
#include "recio/units.h"

namespace recio {
namespace {

// Writes each completed record to the unit's handle in one write, at once.
// Standard output that is a terminal goes through the text-mode path, which
// turns the LF of the line end into CR LF again.
class UnitChannel final : public RecordChannel {
 public:
  UnitBlock* unit = nullptr;

  bool write_record(const char* bytes, size_t size) override {
    platform::Status status = unit->text_mode ? platform::write_text_mode(unit->handle, bytes, size)
                                              : platform::write(unit->handle, bytes, size);
    if (!status.ok()) unit->os_error = status.os_code;
    return status.ok();
  }
};

// Statements on one thread never overlap, so one of each per thread serves.
thread_local UnitChannel t_channel;
thread_local OutputStatement t_statement;

// A misuse is a fault of the calling code, not of the run: it has no message
// number, so it is said plainly and the process stops at once.
[[noreturn]] void refuse_statement(const char* why) {
  std::string line = "output statement refused: ";
  line += why;
  if (t_channel.unit != nullptr) line += ", unit " + std::to_string(t_channel.unit->number);
  line += '\n';
  platform::write(platform::standard_error(), line.data(), line.size());
  std::abort();
}

// Reports a fault (ending the process), or releases the unit when the
// statement has ended. The routines take the thread's objects once each: every
// use of a thread-local object with a constructor checks its initialisation.
void settle(OutputFault fault, UnitChannel& channel, OutputStatement& statement) {
  if (fault == OutputFault::kMisuse) refuse_statement(statement.misuse());
  if (fault != OutputFault::kNone) report_io_error(output_fault_message(fault), *channel.unit);
  if (!statement.active() && channel.unit != nullptr) {
    UnitBlock& unit = *channel.unit;
    channel.unit = nullptr;
    release_unit(unit);
  }
}

// Claims the unit for a statement that `start` begins on the unit's record.
template <typename Start>
void start_statement(int32_t unit_number, Start start) {
  OutputStatement& statement = t_statement;
  UnitChannel& channel = t_channel;
  if (statement.active()) refuse_statement("a statement began inside another");
  UnitBlock& unit = claim_unit(unit_number);
  channel.unit = &unit;
  settle(start(statement, unit.out, channel), channel, statement);
}

}  // namespace

void begin_output(int32_t unit_number, FormatProgram format) {
  start_statement(unit_number, [format](OutputStatement& s, OutputRecord& r, UnitChannel& c) {
    return s.begin(r, c, format);
  });
}

void output_text_record(int32_t unit_number, std::string_view text) {
  start_statement(unit_number, [text](OutputStatement& s, OutputRecord& r, UnitChannel& c) {
    return s.text_record(r, c, text);
  });
}

void output_item(const OutputItem& item) {
  OutputStatement& statement = t_statement;
  settle(statement.item(item), t_channel, statement);
}

void finish_output() {
  OutputStatement& statement = t_statement;
  settle(statement.finish(), t_channel, statement);
}

void reset_output_for_test() {
  t_statement = OutputStatement{};
  t_channel.unit = nullptr;
}

}  // namespace recio
