// Test support: input statements run on records served from memory.
#ifndef SURGE_RECIO_INPUT_TESTING_H_
#define SURGE_RECIO_INPUT_TESTING_H_

#include <algorithm>
#include <cstdint>
#include <memory>
#include <cstring>
#include <string>
#include <string_view>

#include "recio/record_reader.h"
#include "recio/scanner.h"

namespace recio {

// Bytes served from a string, at most `chunk` per read, counting the reads. A
// file delivers as many bytes as asked until its end; a console delivers less.
class MemoryBytes : public ByteSource {
 public:
  explicit MemoryBytes(std::string data, size_t chunk = SIZE_MAX)
      : data_(std::move(data)), chunk_(chunk) {}
  platform::Status read(char* buffer, size_t n, size_t* got) override {
    ++reads_;
    *got = std::min({n, chunk_, data_.size() - pos_});
    std::memcpy(buffer, data_.data() + pos_, *got);
    pos_ += *got;
    return {};
  }
  size_t consumed() const { return pos_; }
  int reads() const { return reads_; }

 private:
  std::string data_;
  size_t chunk_;
  size_t pos_ = 0;
  int reads_ = 0;
};

// Records carved from memory by the unit record reader, as from a file read in
// blocks into a buffer of `capacity` bytes at first, or one byte per read. With
// a memo, the runs of plain reals are kept in it as a file unit keeps them.
class MemoryRecords : public RecordSource {
 public:
  explicit MemoryRecords(std::string data, size_t capacity = kInitialRecordBuffer,
                         bool byte_reads = false, PlainRunMemo* memo = nullptr)
      : bytes_(std::move(data), SIZE_MAX), mode_{.byte_reads = byte_reads}, memo_(memo) {
    in_.buffer = std::make_unique<char[]>(capacity);
    in_.capacity = capacity;
  }
  InputFault next_record(std::string_view* record) override {
    int os_error = 0;
    InputFault f = read_record(in_, bytes_, mode_, &os_error);
    if (f == InputFault::kNone) {
      *record = std::string_view(in_.buffer.get() + in_.record_begin,
                                 in_.record_end - in_.record_begin);
      slot_ = memo_ != nullptr ? memo_->slot(in_.records_read) : nullptr;
    }
    return f;
  }

 private:
  InputRecord in_;
  MemoryBytes bytes_;
  ReadMode mode_;
  PlainRunMemo* memo_;
};

}  // namespace recio

#endif  // SURGE_RECIO_INPUT_TESTING_H_
