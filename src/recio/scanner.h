// The value scan of a free-form input statement, independent of any OS handle.
#ifndef SURGE_RECIO_SCANNER_H_
#define SURGE_RECIO_SCANNER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "recio/input_fault.h"
#include "recio/item_kind.h"
#include "recio/plain_run_memo.h"

namespace recio {

// Where a statement's records come from: a unit in the product, strings in tests.
class RecordSource {
 public:
  virtual ~RecordSource() = default;
  // Makes the next record current and views it in *record (no line terminator).
  // The view stays valid until the next call.
  virtual InputFault next_record(std::string_view* record) = 0;
  // Where the plain real values taken from the current record may be kept for
  // the next time the same bytes are read there, or nullptr (the default) when
  // they are not kept.
  PlainRun* plain_run_slot() const { return slot_; }

 protected:
  // Set by a source that keeps runs, with each record that next_record makes
  // current (a member, not a second virtual call: it is asked for every record).
  PlainRun* slot_ = nullptr;
};

// Bytes a quoted value may hold, and the size of the buffer that holds them.
inline constexpr size_t kQuotedBufferSize = 2050;
inline constexpr size_t kMaxQuotedLength = kQuotedBufferSize - 1;

// The class of a value found in the input.
enum class ValueClass : uint8_t { kNull, kNumeric, kLogical, kQuoted, kSlash };

// A value found in the input. Numeric text is viewed where it stands.
struct ValueToken {
  ValueClass kind = ValueClass::kNull;
  std::string_view text;      // numeric: the value's text
  bool integer_form = false;  // numeric: no full stop and no exponent letter
  bool word = false;          // numeric: starts with I or N (Infinity, NaN)
  bool truth = false;         // logical: true or false
};

// Where a numeric token's text stands in `record`: [*start, *end). False when
// the token is not numeric or its text lies elsewhere (a pair's part that was
// read on an earlier record); the outputs are then unchanged.
inline bool numeric_token_extent(std::string_view record, const ValueToken& token, size_t* start,
                                 size_t* end) {
  if (token.kind != ValueClass::kNumeric || token.text.data() < record.data() ||
      token.text.data() + token.text.size() > record.data() + record.size()) {
    return false;
  }
  *start = static_cast<size_t>(token.text.data() - record.data());
  *end = *start + token.text.size();
  return true;
}

// One free-form input statement in progress: finds values in the records of
// its source, converts them and stores them. Faults are returned, never
// reported; after a fault the statement must not be continued, only ended.
class InputStatement {
 public:
  InputStatement() = default;
  InputStatement(const InputStatement&) = delete;
  InputStatement& operator=(const InputStatement&) = delete;

  // Starts a statement: clears the state, allocates the quoted-value buffer
  // and reads the first record from `source`, which must outlive the statement.
  InputFault begin(RecordSource* source);

  // Finds the next value and stores it in `destination` (an int16_t, int32_t,
  // float or double as `kind` says), or leaves the destination unchanged for a
  // null value and after a slash. On a fault the destination is unchanged.
  InputFault input_item(ItemKind kind, void* destination);

  // Stores the values of `count` items of one kind in order, as `count` calls
  // of input_item would, and stops at the first fault, which it returns.
  InputFault input_items(ItemKind kind, void* const* destinations, size_t count);

  // The whole statement at once, from a record read again with the bytes that
  // a statement of the same `count` items of this kind took all its values
  // from the last time: stores them as input_items would and returns true,
  // after which the statement may only be ended. Returns false, having
  // changed nothing, in any other case.
  bool replay_statement(ItemKind kind, void* const* destinations, size_t count);

  // Whether integer items whose values are plain integers are taken in one
  // step (the default) or by the general scan: for tests that compare the two.
  void take_plain_integers(bool on) { plain_integers_ = on; }

  // Ends the statement: frees the buffer and drops the rest of the record and
  // any outstanding repetitions.
  void end();

  // Read-only views for tools that explain what a statement read. The record
  // in hand and the offset of the next character to be scanned in it.
  std::string_view record() const { return record_; }
  size_t position() const { return pos_; }
  // The value found for the last item (its text views the record, or a copy
  // kept for a pair that crossed records); repetitions still to hand out; and
  // whether the statement met a slash.
  const ValueToken& token() const { return token_; }
  int64_t repeats_left() const { return repeat_left_; }
  bool slash_seen() const { return slash_seen_; }

 private:
  // Records and characters.
  InputFault read_next_record();
  bool at_end() const { return pos_ >= record_.size(); }
  char peek(size_t ahead = 0) const {
    return pos_ + ahead < record_.size() ? record_[pos_ + ahead] : '\0';
  }
  bool consume_if(char c);
  bool last_nonblank_is_comma() const;

  template <typename Real>
  size_t take_plain_reals(void* const* destinations, size_t count);
  template <typename Real>
  size_t replay_plain_run(void* const* destinations, size_t count);
  template <typename Real>
  bool replay_whole_run(void* const* destinations, size_t count);
  template <typename Real>
  void keep_plain_run(size_t count, const Real* values, size_t taken, size_t stop,
                      size_t last_start, bool last_point);
  void end_plain_run(size_t stop, size_t last_start, bool last_point);
  bool take_plain_real(ItemKind kind, void* destination);
  template <typename Int>
  bool take_plain_integer(void* destination);

  // Finding a value.
  InputFault find_value();
  InputFault skip_to_nonblank();
  bool comma_marks_null();
  InputFault scan_value(bool allow_repeat);
  InputFault scan_numeric(bool allow_repeat);
  InputFault scan_repeat(std::string_view count_text);
  InputFault scan_logical();
  InputFault scan_quoted();
  InputFault scan_pair();
  InputFault scan_pair_rest();
  InputFault skip_blanks_in_pair();

  // Conversion.
  InputFault store(const ValueToken& token, ItemKind kind, void* destination);

  RecordSource* source_ = nullptr;
  std::string_view record_;
  size_t pos_ = 0;
  PlainRun* run_slot_ = nullptr;  // the current record's slot in its source's memo
  std::unique_ptr<char[]> quoted_;  // a quoted value's contents
  size_t quoted_length_ = 0;

  ValueToken token_;       // the value found for the current item
  ValueToken repeated_;    // the value handed out again by a repeat count
  int64_t repeat_left_ = 0;
  std::string held_text_;  // a pair's first number, kept when its rest crosses records
  bool pair_rest_pending_ = false;

  bool separator_pending_ = false;  // a separating comma has no value after it yet
  bool new_record_ = false;         // a record was read since the last value was converted
  bool record_end_passed_ = false;  // this value's search went past a record end
  bool nonblank_seen_ = false;      // a non-blank character was met in this statement
  bool slash_seen_ = false;         // the statement met a slash
  bool plain_integers_ = true;      // see take_plain_integers()
};

}  // namespace recio

#endif  // SURGE_RECIO_SCANNER_H_
