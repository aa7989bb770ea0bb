// What runs of plain real values on a file's records were converted to, kept so
// that a record read again with the same bytes is not converted again.
#ifndef SURGE_RECIO_PLAIN_RUN_MEMO_H_
#define SURGE_RECIO_PLAIN_RUN_MEMO_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace recio {

// One run of plain real values that a statement took from one record: what it
// started from and what it came to. The outcome is a pure function of the
// start (the record's bytes, the offset, the items asked for, the real
// format): the values depend on nothing else, the rounding mode being set to
// nearest before the first statement and never changed. So a run that starts
// from the same four again may be replayed instead of scanned.
struct PlainRun {
  // The start.
  std::string record;     // the record's bytes, whole
  uint32_t offset = 0;    // where the scan began in it
  uint32_t asked = 0;     // the items asked for
  uint8_t real_size = 0;  // 4 or 8: the real format; 0 while nothing is kept
  // The outcome.
  uint32_t taken = 0;       // values stored, at least 1
  uint32_t stop = 0;        // offset where the scan stopped
  uint32_t last_start = 0;  // offset of the last value's text
  bool last_point = false;  // whether that text has a full stop
  std::vector<unsigned char> values;  // the values stored, real_size bytes each
  uint32_t generation = 0;  // counts the runs kept in the slot: a change of run shows
};

// The runs of one file's records, a slot per record from the first. Memory
// stays bounded whatever is read: only the first kRecords records have a slot,
// and a slot keeps only a run from a record of at most kRecordBytes bytes that
// took at most kValues values.
class PlainRunMemo {
 public:
  static constexpr uint64_t kRecords = 32;
  static constexpr size_t kRecordBytes = 512;
  static constexpr size_t kValues = 64;

  // The slot of the record with this number (1 for the first), or nullptr past
  // the bound. The slot stays valid until clear().
  PlainRun* slot(uint64_t record_number) {
    if (record_number - 1 < runs_.size()) return &runs_[record_number - 1];
    if (record_number == 0 || record_number > kRecords) return nullptr;
    if (runs_.capacity() == 0) runs_.reserve(kRecords);  // slots never move
    if (runs_.size() < record_number) runs_.resize(record_number);
    return &runs_[record_number - 1];
  }

  // The run kept for the record with this number, or nullptr when its slot
  // has never been made. Makes no slot.
  const PlainRun* kept(uint64_t record_number) const {
    return record_number - 1 < runs_.size() ? &runs_[record_number - 1] : nullptr;
  }

  // Forgets every run; the slots keep their memory for the next ones.
  void clear() {
    for (PlainRun& run : runs_) run.real_size = 0;
  }

 private:
  std::vector<PlainRun> runs_;
};

}  // namespace recio

#endif  // SURGE_RECIO_PLAIN_RUN_MEMO_H_
