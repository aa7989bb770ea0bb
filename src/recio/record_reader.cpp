// Record input from a unit's handle.
#include "recio/record_reader.h"

#include <cassert>
#include <cstring>
#include <new>
#include <thread>

namespace recio {
namespace {

// Grows the buffer to twice its size, keeping its first `filled` bytes.
bool double_buffer(InputRecord& in, size_t filled) {
  if (in.capacity > SIZE_MAX / 2) return false;
  const size_t bigger = in.capacity * 2;
  char* grown = new (std::nothrow) char[bigger];
  if (grown == nullptr) return false;
  std::memcpy(grown, in.buffer.get(), filled);
  in.buffer.reset(grown);
  in.capacity = bigger;
  return true;
}

// Makes [begin, end) the current record, without its trailing CRs.
void set_record(InputRecord& in, size_t begin, size_t end) {
  while (end > begin && in.buffer[end - 1] == '\r') --end;
  in.record_begin = begin;
  in.record_end = end;
  ++in.records_read;
}

InputFault read_failure(const platform::Status& status, ReadMode mode, int* os_error) {
  *os_error = status.os_code;
  if (status.kind == platform::ErrorKind::kBrokenPipe && mode.standard_input) {
    return InputFault::kEndOfFile;
  }
  // An aborted read gives the thread that aborted it (a console event) the
  // chance to run first.
  if (status.kind == platform::ErrorKind::kAborted) std::this_thread::yield();
  return InputFault::kReadFailed;
}

}  // namespace

InputFault read_record(InputRecord& in, ByteSource& bytes, ReadMode mode, int* os_error) {
  if (!in.buffer) {
    char* fresh = new (std::nothrow) char[kInitialRecordBuffer];
    if (fresh == nullptr) return InputFault::kNoRecordMemory;
    in.buffer.reset(fresh);
    in.capacity = kInitialRecordBuffer;
    in.kept_begin = in.kept_end = 0;
  }
  char* base = in.buffer.get();
  const size_t kept = in.kept_end - in.kept_begin;
  if (const void* lf = kept > 0 ? std::memchr(base + in.kept_begin, '\n', kept) : nullptr) {
    const size_t end = static_cast<const char*>(lf) - base;
    const size_t begin = in.kept_begin;
    in.kept_begin = end + 1;
    set_record(in, begin, end);
    return InputFault::kNone;
  }

  // No whole line is kept: move the partial one to the front and read on.
  in.first_block_only = false;
  if (kept > 0) std::memmove(base, base + in.kept_begin, kept);
  size_t filled = kept;
  in.kept_begin = 0;
  in.kept_end = filled;
  in.record_begin = in.record_end = 0;
  if (mode.byte_reads && !in.first_read_pending) {
    // One byte a read, as from a pipe, so that nothing after the line is taken.
    for (;;) {
      if (filled == in.capacity && !double_buffer(in, filled)) return InputFault::kNoRecordMemory;
      size_t got = 0;
      const platform::Status status = bytes.read(in.buffer.get() + filled, 1, &got);
      if (!status.ok() && status.kind != platform::ErrorKind::kEndOfFile) {
        return read_failure(status, mode, os_error);
      }
      if (got == 0) {
        if (filled == 0) return InputFault::kEndOfFile;
        in.kept_begin = in.kept_end = filled;  // a last line without its LF
        set_record(in, 0, filled);
        return InputFault::kNone;
      }
      const char c = in.buffer[filled++];
      in.kept_end = filled;
      if (c == '\n') {
        in.kept_begin = filled;
        set_record(in, 0, filled - 1);
        return InputFault::kNone;
      }
    }
  }
  for (;;) {
    if (filled == in.capacity && !double_buffer(in, filled)) return InputFault::kNoRecordMemory;
    const size_t want = mode.byte_reads ? 1 : in.capacity - filled;
    size_t got = 0;
    platform::Status status;
    if (in.first_read_pending) {
      // Made as the file opened, into the same place and for the same size.
      assert(filled == 0 && want == in.capacity);
      in.first_read_pending = false;
      status = in.first_read;
      got = in.first_read_got;
    } else {
      status = bytes.read(in.buffer.get() + filled, want, &got);
    }
    const bool ended = status.ok() || status.kind == platform::ErrorKind::kEndOfFile;
    if (!ended) return read_failure(status, mode, os_error);
    if (got == 0) {
      if (filled == 0) return InputFault::kEndOfFile;
      in.kept_begin = in.kept_end = filled;  // a last line without its LF
      set_record(in, 0, filled);
      return InputFault::kNone;
    }
    const char* fresh = in.buffer.get() + filled;
    filled += got;
    in.kept_end = filled;
    // A byte a read, as from a pipe: that byte is the LF or not.
    const void* lf = got == 1 ? (*fresh == '\n' ? fresh : nullptr) : std::memchr(fresh, '\n', got);
    if (lf != nullptr) {
      const size_t end = static_cast<const char*>(lf) - in.buffer.get();
      in.kept_begin = end + 1;
      set_record(in, 0, end);
      return InputFault::kNone;
    }
    if (got < want) {
      // A short read without LF: a console line ended by end-of-input, or the
      // last piece of a file. It completes the record.
      in.kept_begin = filled;
      set_record(in, 0, filled);
      return InputFault::kNone;
    }
  }
}

}  // namespace recio
