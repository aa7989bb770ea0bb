// Reading a coefficient file group by group with the calculator's own input
// statement, keeping where each value stood, and going on after a fault.
#ifndef SURGE_KIT_COEFFICIENTS_GROUP_READER_H_
#define SURGE_KIT_COEFFICIENTS_GROUP_READER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "recio/input_fault.h"
#include "recio/record_reader.h"
#include "recio/scanner.h"
#include "recio/units.h"

namespace kit {

// How one item of a group got (or did not get) its value.
enum class ItemSource : uint8_t {
  kValue,       // a value of its own
  kRepeat,      // the first of the values a repeat count "r*v" hands out
  kRepeated,    // a later value of that repeat count
  kNull,        // a null value: a comma where a value should be
  kRepeatNull,  // the first of the null values that "r*" hands out
  kRepeatedNull,
  kSlash,       // the slash that ends the group's values
  kAfterSlash,  // left unset by an earlier slash
  kFault,       // the value cannot be read; the calculator stops here
  kUnread,      // never reached: the file ended first
};

// Where an item's value stood and what it looked like. For repeated values,
// the place of the repeat count that handed them out.
struct ItemTrace {
  ItemSource source = ItemSource::kUnread;
  recio::InputFault fault = recio::InputFault::kNone;
  uint64_t line = 0;    // counted from 1; 0 when unknown
  uint64_t column = 0;  // counted from 1; 0 when unknown
  std::string text;     // as written ("3*1.0", "(1,2)", ","); bytes unchanged
  int64_t repeat_count = 0;  // kRepeat, kRepeatNull: the count r
  bool pair = false;     // a pair form "(a,b)": only its first number is stored
  bool logical = false;  // a logical value (T, .FALSE.): stored as -1 or 0
  bool decimal_comma = false;  // digits, a comma, digits: "1,0571" reads as two values
  bool sign_exponent = false;  // a sign after digits with no exponent letter: "1-5" is 1E-5
  uint64_t mark_line = 0;      // a byte-order mark stood before the value, here: the
  uint64_t mark_column = 0;    // calculator stops at it, the check reads on after it
};

// One group: the items of one input statement.
struct GroupTrace {
  std::vector<ItemTrace> items;
  bool ended = false;  // the file ended (or could not be read) in or before this group
  recio::InputFault end_fault = recio::InputFault::kNone;  // what ended it
  uint64_t end_line = 0;       // the last line read when it ended
  bool faults = false;         // some item could not be read
  bool abandoned = false;      // so many faults that the rest of the group was skipped
  uint64_t first_line = 0;     // lines of its first and last value (0: no value)
  uint64_t last_line = 0;
  std::string leftover;        // text after its last value on that line, never read
  uint64_t leftover_line = 0;
  uint64_t leftover_column = 0;
  int64_t repeats_left = 0;    // values of a repeat count left over after the last item
};

// Text after the last group, which the calculator never reads.
struct TrailingText {
  uint64_t first_line = 0;  // the first line that holds a non-blank character; 0: none
  std::string first_text;   // that line, as it stands
  uint64_t lines = 0;       // lines from there to the end of the file
  bool unreadable = false;  // holds bytes outside printable ASCII (a byte-order mark, say)
};

// True for the faults after which nothing more of a file can be read: its end
// (also inside quotes), a failed read, no memory for a record.
bool fault_ends_file(recio::InputFault fault);

// Faults in one group after which its other values are not looked at.
inline constexpr int kMaxGroupFaults = 5;

// Reads groups of 4-byte reals from a file's bytes as the calculator's
// statements read them: up to the first fault, the very same values. After a
// fault it starts afresh just after the faulty value, so that later values and
// groups can still be checked. `bytes` must outlive the reader.
class GroupReader {
 public:
  explicit GroupReader(std::string_view bytes);
  GroupReader(const GroupReader&) = delete;
  GroupReader& operator=(const GroupReader&) = delete;

  // Reads the next group of `count` values into *destinations[k]; an item that
  // gets no value leaves its destination unchanged. Fills *trace.
  void read_group(int count, float* const* destinations, GroupTrace* trace);

  // After the last group: whatever follows it in the file.
  TrailingText rest_of_file();

 private:
  // The file's records, carved as the calculator's unit carves them; after a
  // fault, the rest of a record may be handed out once more as a record.
  class Records : public recio::RecordSource {
   public:
    explicit Records(std::string_view bytes);
    recio::InputFault next_record(std::string_view* record) override;
    void resume_with(std::string_view rest, uint64_t column_base);
    uint64_t line() const { return in_.records_read; }
    uint64_t column_base() const { return column_base_; }

   private:
    recio::InputRecord in_;
    std::unique_ptr<recio::ByteSource> bytes_;
    std::string_view resume_;
    bool resume_pending_ = false;
    uint64_t column_base_ = 0;  // column offset of the record handed out last
  };

  void describe_value(ItemTrace* item) const;
  void describe_fault(recio::InputFault fault, ItemTrace* item, size_t* resume_at) const;
  uint64_t column_at(size_t offset) const { return records_.column_base() + offset + 1; }
  bool resume_after(size_t offset);

  Records records_;
  recio::InputStatement statement_;
};

}  // namespace kit

#endif  // SURGE_KIT_COEFFICIENTS_GROUP_READER_H_
