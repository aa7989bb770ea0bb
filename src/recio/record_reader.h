// Record input: carving lines out of the bytes that a unit's handle delivers.
#ifndef SURGE_RECIO_RECORD_READER_H_
#define SURGE_RECIO_RECORD_READER_H_

#include <cstddef>
#include <cstring>
#include <string_view>

#include "platform/platform.h"
#include "recio/input_fault.h"
#include "recio/units.h"

namespace recio {

// Where a unit's bytes come from: the OS handle in the product, a string in tests.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads at most n bytes into buffer; *got receives the count. End of input is
  // a count of 0 (an ErrorKind::kEndOfFile status is taken the same way).
  virtual platform::Status read(char* buffer, size_t n, size_t* got) = 0;
};

// Bytes served from memory the caller keeps alive, as a file handle serves them.
class ViewBytes : public ByteSource {
 public:
  explicit ViewBytes(std::string_view data) : data_(data) {}
  platform::Status read(char* buffer, size_t n, size_t* got) override {
    *got = n < data_.size() - pos_ ? n : data_.size() - pos_;
    std::memcpy(buffer, data_.data() + pos_, *got);
    pos_ += *got;
    return {};
  }

 private:
  std::string_view data_;
  size_t pos_ = 0;
};

// How a unit is read.
struct ReadMode {
  bool byte_reads = false;      // one byte per read: nothing past the record is taken
  bool standard_input = false;  // a broken pipe then ends the input instead of failing
};

// The bytes of a record buffer's first allocation.
inline constexpr size_t kInitialRecordBuffer = 4096;

// Makes the next record current in `in`: [record_begin, record_end) holds the
// line without its LF and without trailing CRs; bytes read past it are kept for
// the next call. A last line without LF is a record. On failure the record state
// is left consistent, and *os_error receives the OS code of a failed read.
InputFault read_record(InputRecord& in, ByteSource& bytes, ReadMode mode, int* os_error);

// The next record when a whole line of it is kept already: where it begins
// and ends (without its trailing CRs) and where the kept bytes go on after
// its LF. False when no whole line is kept. Changes nothing. find_line looks
// in [begin, kept_end) of a buffer.
struct KeptLine {
  size_t begin;
  size_t end;
  size_t next;
};
inline bool find_line(const char* base, size_t begin, size_t kept_end, KeptLine* line) {
  const void* lf = std::memchr(base + begin, '\n', kept_end - begin);
  if (lf == nullptr) return false;
  size_t end = static_cast<const char*>(lf) - base;
  line->next = end + 1;
  while (end > begin && base[end - 1] == '\r') --end;  // trailing CRs are not data
  line->begin = begin;
  line->end = end;
  return true;
}
inline bool peek_kept_line(const InputRecord& in, KeptLine* line) {
  return in.buffer && find_line(in.buffer.get(), in.kept_begin, in.kept_end, line);
}

// Makes a line that peek_kept_line found the current record.
inline void take_kept_line(InputRecord& in, const KeptLine& line) {
  in.kept_begin = line.next;
  in.record_begin = line.begin;
  in.record_end = line.end;
  ++in.records_read;
}

// read_record for the common case, inline: a whole line already kept.
inline InputFault next_kept_record(InputRecord& in, ByteSource& bytes, ReadMode mode,
                                   int* os_error) {
  KeptLine line;
  if (peek_kept_line(in, &line)) {
    take_kept_line(in, line);
    return InputFault::kNone;
  }
  return read_record(in, bytes, mode, os_error);
}

}  // namespace recio

#endif  // SURGE_RECIO_RECORD_READER_H_
