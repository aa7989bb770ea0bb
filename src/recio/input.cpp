// Free-form input statements.
#include "recio/input.h"

#include <cassert>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "recio/messages.h"
#include "recio/units.h"

namespace recio {
namespace {

constexpr size_t kInitialBuffer = 4096;

struct InputStatement {
  UnitBlock* unit = nullptr;
  size_t position = 0;
  bool slash_seen = false;
};

thread_local InputStatement t_statement;

// Makes the next record of the unit current.
void read_record(UnitBlock& unit) {
  InputRecord& in = unit.in;
  if (!in.buffer) {
    in.buffer = std::make_unique<char[]>(kInitialBuffer);
    in.capacity = kInitialBuffer;
  }
  char* kept = in.buffer.get() + in.kept_begin;
  size_t kept_size = in.kept_end - in.kept_begin;
  if (void* lf = std::memchr(kept, '\n', kept_size)) {
    size_t end = static_cast<char*>(lf) - in.buffer.get();
    in.record_begin = in.kept_begin;
    in.record_end = end;
    in.kept_begin = end + 1;
  } else {
    std::memmove(in.buffer.get(), kept, kept_size);
    size_t filled = kept_size;
    in.record_begin = 0;
    for (;;) {
      if (filled == in.capacity) {
        auto bigger = std::make_unique<char[]>(in.capacity * 2);
        std::memcpy(bigger.get(), in.buffer.get(), filled);
        in.buffer = std::move(bigger);
        in.capacity *= 2;
      }
      size_t want = unit.byte_reads ? 1 : in.capacity - filled;
      size_t got = 0;
      platform::Status status = platform::read(unit.handle, in.buffer.get() + filled, want, &got);
      if (!status.ok() || got == 0) {
        if (filled > 0 && (status.ok() || status.kind == platform::ErrorKind::kEndOfFile)) {
          in.record_end = filled;  // a last line without a terminator
          in.kept_begin = in.kept_end = filled;
          break;
        }
        unit.os_error = status.os_code;
        bool end = status.kind == platform::ErrorKind::kEndOfFile ||
                   status.kind == platform::ErrorKind::kBrokenPipe || status.ok();
        report_io_error(end ? 24 : 39, unit);
      }
      void* lf = std::memchr(in.buffer.get() + filled, '\n', got);
      filled += got;
      if (lf) {
        in.record_end = static_cast<char*>(lf) - in.buffer.get();
        in.kept_begin = in.record_end + 1;
        in.kept_end = filled;
        break;
      }
    }
  }
  while (in.record_end > in.record_begin && in.buffer[in.record_end - 1] == '\r') --in.record_end;
  ++in.records_read;
  t_statement.position = in.record_begin;
}

bool is_separator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r'; }

// The next value's text, reading records as needed; empty for a slash.
std::string next_value(UnitBlock& unit) {
  InputStatement& s = t_statement;
  InputRecord& in = unit.in;
  for (;;) {
    while (s.position < in.record_end && is_separator(in.buffer[s.position])) ++s.position;
    if (s.position < in.record_end) break;
    read_record(unit);
  }
  size_t start = s.position;
  while (s.position < in.record_end && !is_separator(in.buffer[s.position]) &&
         in.buffer[s.position] != '/') {
    ++s.position;
  }
  return std::string(in.buffer.get() + start, s.position - start);
}

void end_statement() {
  UnitBlock& unit = *t_statement.unit;
  unit.in.record_begin = unit.in.record_end = unit.in.kept_begin;
  t_statement.unit = nullptr;
  release_unit(unit);
}

}  // namespace

void begin_input(int32_t unit_number) {
  UnitBlock& unit = claim_unit(unit_number);
  t_statement = InputStatement{};
  t_statement.unit = &unit;
  read_record(unit);
}

void input_item(ItemKind kind, void* destination, bool last) {
  InputStatement& s = t_statement;
  assert(s.unit != nullptr && "input_item outside a statement");
  UnitBlock& unit = *s.unit;
  if (!s.slash_seen) {
    std::string text = next_value(unit);
    if (text.empty()) {
      s.slash_seen = true;
    } else {
      char* end = nullptr;
      errno = 0;
      if (kind == ItemKind::kReal32 || kind == ItemKind::kReal64) {
        double v = kind == ItemKind::kReal32 ? std::strtof(text.c_str(), &end)
                                             : std::strtod(text.c_str(), &end);
        if (*end != '\0') report_io_error(59, unit);
        if (errno == ERANGE && std::isinf(v)) report_io_error(64, unit);
        if (kind == ItemKind::kReal32) {
          *static_cast<float*>(destination) = static_cast<float>(v);
        } else {
          *static_cast<double*>(destination) = v;
        }
      } else {
        long long v = std::strtoll(text.c_str(), &end, 10);
        if (*end != '\0') report_io_error(59, unit);
        const long long lo = kind == ItemKind::kInt16 ? -32768 : -2147483648LL;
        const long long hi = kind == ItemKind::kInt16 ? 32767 : 2147483647LL;
        if (errno == ERANGE || v < lo || v > hi) report_io_error(64, unit);
        if (kind == ItemKind::kInt16) {
          *static_cast<int16_t*>(destination) = static_cast<int16_t>(v);
        } else {
          *static_cast<int32_t*>(destination) = static_cast<int32_t>(v);
        }
      }
    }
  }
  if (last) end_statement();
}

}  // namespace recio
