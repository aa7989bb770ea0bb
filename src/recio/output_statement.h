// The record-building side of an output statement: free-form layout, the walk
// of a format program, fields, and the completion of records. It knows nothing
// of units or handles: completed records go to a RecordChannel, and faults are
// returned for the caller to report.
#ifndef SURGE_RECIO_OUTPUT_STATEMENT_H_
#define SURGE_RECIO_OUTPUT_STATEMENT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "recio/format_program.h"
#include "recio/output.h"
#include "recio/units.h"

namespace recio {

// Columns of a free-form line, and so the smallest record buffer.
inline constexpr int kFreeFormLineLength = 80;

// Why a statement stopped. Every fault abandons the statement; the record in
// progress is lost.
enum class OutputFault : uint8_t {
  kNone,
  kWriteFailed,     // the channel refused a completed record (message 38)
  kTypeMismatch,    // an A, I, Iw or Fw.d met an item of another kind (message 61)
  kRecordOverflow,  // a formatted record's buffer could not be enlarged (message 66)
  kNoBuffer,        // the unit's record buffer could not be created (message 98)
  kMisuse,          // a programming error: an unsupported format element, more
                    // items than data edit descriptors, an item kind that
                    // free-form output does not write, calls out of order
};

// The run-time message of a fault other than kNone and kMisuse.
int output_fault_message(OutputFault fault);

// Where completed records go, and where record buffers come from.
class RecordChannel {
 public:
  virtual ~RecordChannel() = default;
  // Writes one completed record with its CR LF in one write. False on failure.
  virtual bool write_record(const char* bytes, size_t size) = 0;
  // A buffer of `size` bytes, or nullptr when memory is exhausted.
  virtual std::unique_ptr<char[]> allocate(size_t size);
};

// One output statement in progress on a record, from begin to its end. Between
// statements the record holds a fresh record: blank, empty, room 80.
//
// The record's buffer keeps two bytes past `capacity` for the line end, and
// every byte from the high-water mark on is a blank.
class OutputStatement {
 public:
  // Starts a statement: free-form when `format` is empty, else formatted, with
  // the walk run up to the first data edit descriptor (literals and slashes
  // before it are written). Creates the record buffer on first use.
  OutputFault begin(OutputRecord& record, RecordChannel& channel, FormatProgram format);
  // Transfers one item; ends the statement after an item marked last.
  OutputFault item(const OutputItem& item);
  // Ends the statement where it stands.
  OutputFault finish();
  // A free-form statement of one text item, whole: begin, then the item
  // marked last. A text that fits the line is written without the walk
  // through the record's fields.
  OutputFault text_record(OutputRecord& record, RecordChannel& channel, std::string_view text);

  bool active() const { return record_ != nullptr; }
  // For kMisuse: what was wrong.
  const char* misuse() const { return misuse_; }

 private:
  enum class Previous : uint8_t { kNone, kNumber, kText };

  // What the walk of a program from its start up to its first item writes and
  // leaves, which depends on the program's words alone: kept so that a
  // program begun again (a prompt, a report row) is not walked again.
  struct KeptWalk {
    const uint32_t* program = nullptr;  // where the program was, a quick first test
    std::vector<uint32_t> words;        // and what it held
    std::string records;                // the records completed, each with its CR LF
    std::vector<size_t> record_ends;    // where each of them ends in `records`
    std::string pending;                // the record left in progress, to its high-water mark
    size_t position = 0;                // and its position
    size_t widest = 0;                  // the longest record: no buffer grew for it
    size_t element = 0;                 // where the walk stopped
    int32_t repeat_left = 0;
    bool at_end = false;
  };
  static constexpr size_t kKeptWalks = 8;
  static constexpr size_t kKeptWalkBytes = 1024;

  const KeptWalk* find_kept_walk(FormatProgram format) const;
  OutputFault replay_walk(const KeptWalk& kept);
  void keep_walk(FormatProgram format, KeptWalk& kept);

  OutputFault free_form_item(const OutputItem& item);
  OutputFault free_form_number(int64_t value, int width);
  OutputFault free_form_text(const char* text, size_t size);
  OutputFault formatted_item(const OutputItem& item);
  OutputFault walk();
  OutputFault end();
  OutputFault fail(OutputFault fault);
  OutputFault refuse(const char* why);

  void start_record();
  OutputFault complete_record();
  // A field of n bytes at the position, growing the buffer if needed; the
  // position moves past it. nullptr when the buffer cannot grow.
  char* claim(size_t n);
  bool put(const char* bytes, size_t n);
  bool put_blank();

  OutputRecord* record_ = nullptr;
  RecordChannel* channel_ = nullptr;
  FormatProgram format_;
  size_t element_ = 0;       // word index of the current format element
  int32_t repeat_left_ = 0;  // items the current data descriptor still serves
  bool at_end_ = false;      // the walk has reached FMT_END
  bool first_item_ = true;   // free-form: nothing written into this record yet
  Previous previous_ = Previous::kNone;
  const char* misuse_ = "";

  KeptWalk kept_walks_[kKeptWalks];
  size_t next_kept_walk_ = 0;
  KeptWalk* recording_ = nullptr;  // the walk being kept, while begin() walks
};

}  // namespace recio

#endif  // SURGE_RECIO_OUTPUT_STATEMENT_H_
