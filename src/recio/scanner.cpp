// The value scan of free-form input statements.
//
// Accepted input, a statement's values in order (a record end counts as a blank):
//
//   input    = { blank | separator | value }          blank = space tab CR LF
//   value    = null | "/" | [count "*"] single | count "*" null-end
//   null     = "," by the comma rules: a comma after a comma, or before any value
//   null-end = space | tab | "," | record end      (a repeated null value)
//   single   = numeric | logical | quoted | pair
//   numeric  = chars up to space, tab, ",", "/", ")" or record end, where
//              digits anywhere; a sign not after a sign and followed by a digit;
//              at most one "."; one exponent letter E D Q after a digit;
//              or [sign] I|N and anything: an Infinity or NaN word
//   logical  = ["."] (T|F|t|f) { any char but a numeric's terminators }
//   quoted   = "'" { char | "''" } "'"  |  '"' { char | '""' } '"'   (across records)
//   pair     = "(" numeric "," [sign] (word | digits ["." digits] [letter digits]) ")"
//
// The rest of a pair is examined only for real items.
#include "recio/scanner.h"

#include <cstring>
#include <limits>
#include <new>

#include "recio/convert.h"
#include "recio/decimal.h"

namespace recio {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_sign(char c) { return c == '+' || c == '-'; }
bool is_logical_letter(char c) { return c == 'T' || c == 'F' || c == 't' || c == 'f'; }
bool is_exponent_letter(char c) {
  switch (c) {
    case 'E': case 'e': case 'D': case 'd': case 'Q': case 'q': return true;
    default: return false;
  }
}
// Characters that end a numeric or logical value.
bool ends_value(char c) { return c == ' ' || c == '\t' || c == ')' || c == ',' || c == '/'; }
bool is_real(ItemKind kind) { return kind == ItemKind::kReal32 || kind == ItemKind::kReal64; }
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

InputFault InputStatement::begin(RecordSource* source) {
  if (source_ != nullptr) end();  // ended statements are already clear
  source_ = source;
  // The quoted-value buffer is kept from one statement to the next: a data
  // file's statements would otherwise cost an allocation each.
  if (!quoted_) quoted_.reset(new (std::nothrow) char[kQuotedBufferSize]);
  if (!quoted_) return InputFault::kNoQuoteMemory;
  return read_next_record();
}

void InputStatement::end() {
  source_ = nullptr;
  record_ = {};
  pos_ = 0;
  run_slot_ = nullptr;
  quoted_length_ = 0;
  // Each cleared on its own: a chained assignment copies one freshly written
  // token into the other, a load that cannot be served from the pending stores.
  token_ = ValueToken{};
  repeated_ = ValueToken{};
  repeat_left_ = 0;
  held_text_.clear();
  pair_rest_pending_ = false;
  separator_pending_ = new_record_ = record_end_passed_ = false;
  nonblank_seen_ = slash_seen_ = false;
}

// The commonest case in one pass: real items whose values are plain numbers
// on the current record, taken while they last. Leaves the statement exactly
// as the general path would after them; the state is written once, after the
// last one. Returns how many items it stored. A run that the record's memo
// slot holds is replayed; one that it does not is kept there.
template <typename Real>
size_t InputStatement::take_plain_reals(void* const* destinations, size_t count) {
  if (run_slot_ != nullptr) {
    if (const size_t taken = replay_plain_run<Real>(destinations, count); taken > 0) return taken;
  }
  const char* const begin = record_.data();
  const char* const end = begin + record_.size();
  const char* p = begin + pos_;
  const char* start = nullptr;
  bool point = false;
  Real kept[PlainRunMemo::kValues];
  size_t taken = 0;
  for (; taken < count; ++taken) {
    const char* first = p;
    while (first < end && *first == ' ') ++first;  // the usual blanks, first
    while (first < end && is_blank(*first)) ++first;
    if (first == end) break;
    Real value;
    bool had_point;
    const char* stop = plain_decimal_to_real<Real>(first, end, &value, &had_point);
    if (stop == nullptr || (stop < end && !ends_value(*stop))) break;
    *static_cast<Real*>(destinations[taken]) = value;
    if (taken < PlainRunMemo::kValues) kept[taken] = value;
    start = first;
    point = had_point;
    p = stop;
  }
  if (taken > 0) {
    const size_t stop = static_cast<size_t>(p - begin);
    const size_t last_start = static_cast<size_t>(start - begin);
    if (run_slot_ != nullptr) keep_plain_run(count, kept, taken, stop, last_start, point);
    end_plain_run(stop, last_start, point);
  }
  return taken;
}

// The run in the slot started from the same record bytes, offset, item count
// and format, so it came to what this one would: its values are stored again
// in the same order (a destination named twice ends with the later value) and
// the statement is left as the scan left it. Returns 0 when the run differs.
template <typename Real>
size_t InputStatement::replay_plain_run(void* const* destinations, size_t count) {
  const PlainRun& run = *run_slot_;
  if (run.real_size != sizeof(Real) || run.offset != pos_ || run.asked != count ||
      run.record != record_) {
    return 0;
  }
  const unsigned char* value = run.values.data();
  for (size_t i = 0; i < run.taken; ++i, value += sizeof(Real)) {
    std::memcpy(destinations[i], value, sizeof(Real));
  }
  end_plain_run(run.stop, run.last_start, run.last_point);
  return run.taken;
}

bool InputStatement::replay_statement(ItemKind kind, void* const* destinations, size_t count) {
  // Nothing may have been taken from the record yet: the run starts at its
  // first byte, and must have filled every item.
  if (run_slot_ == nullptr || pos_ != 0 || !new_record_ || repeat_left_ != 0 || slash_seen_) {
    return false;
  }
  if (kind == ItemKind::kReal32) return replay_whole_run<float>(destinations, count);
  if (kind == ItemKind::kReal64) return replay_whole_run<double>(destinations, count);
  return false;
}

// replay_plain_run for a run that is the whole statement, which then ends:
// the state after its values is not set.
template <typename Real>
bool InputStatement::replay_whole_run(void* const* destinations, size_t count) {
  const PlainRun& run = *run_slot_;
  if (run.real_size != sizeof(Real) || run.offset != 0 || run.asked != count ||
      run.taken != count || run.record != record_) {
    return false;
  }
  const unsigned char* value = run.values.data();
  for (size_t i = 0; i < count; ++i, value += sizeof(Real)) {
    std::memcpy(destinations[i], value, sizeof(Real));
  }
  return true;
}

// Keeps a run that began at pos_ in the slot, replacing what it held; a run
// past the memo's bounds empties the slot instead.
template <typename Real>
void InputStatement::keep_plain_run(size_t count, const Real* values, size_t taken, size_t stop,
                                    size_t last_start, bool last_point) {
  PlainRun& run = *run_slot_;
  run.real_size = 0;
  ++run.generation;
  if (record_.size() > PlainRunMemo::kRecordBytes || taken > PlainRunMemo::kValues ||
      count > UINT32_MAX) {
    return;
  }
  run.record.assign(record_);
  run.offset = static_cast<uint32_t>(pos_);
  run.asked = static_cast<uint32_t>(count);
  run.taken = static_cast<uint32_t>(taken);
  run.stop = static_cast<uint32_t>(stop);
  run.last_start = static_cast<uint32_t>(last_start);
  run.last_point = last_point;
  run.values.resize(taken * sizeof(Real));
  std::memcpy(run.values.data(), values, taken * sizeof(Real));
  run.real_size = sizeof(Real);
}

// The state after a run of plain values that ended at `stop`, the last of
// them starting at `last_start`.
void InputStatement::end_plain_run(size_t stop, size_t last_start, bool last_point) {
  token_.kind = ValueClass::kNumeric;
  token_.text = record_.substr(last_start, stop - last_start);
  token_.integer_form = !last_point;
  token_.word = token_.truth = false;
  pos_ = stop;
  nonblank_seen_ = true;
  separator_pending_ = record_end_passed_ = pair_rest_pending_ = new_record_ = false;
}

// The commonest answer in one step: an integer item whose value is a plain
// integer (an optional sign and digits) on the current record, in the item's
// range. Leaves the statement as the general path would; anything else (a
// repeat count, a point, a value out of range) is left to it, with nothing
// changed.
template <typename Int>
bool InputStatement::take_plain_integer(void* destination) {
  const char* const begin = record_.data();
  const char* const end = begin + record_.size();
  const char* first = begin + pos_;
  while (first < end && *first == ' ') ++first;
  while (first < end && is_blank(*first)) ++first;
  const char* stop = first;
  if (stop < end && is_sign(*stop)) ++stop;
  const char* const digits = stop;
  while (stop < end && is_digit(*stop)) ++stop;
  if (stop == digits || (stop < end && !ends_value(*stop))) return false;
  int64_t value = 0;
  const ConvertResult r =
      decimal_to_integer(std::string_view(first, static_cast<size_t>(stop - first)),
                         std::numeric_limits<Int>::min(), std::numeric_limits<Int>::max(), &value);
  if (r.ec != ConvertError::kNone || r.ptr != stop) return false;
  *static_cast<Int*>(destination) = static_cast<Int>(value);
  end_plain_run(static_cast<size_t>(stop - begin), static_cast<size_t>(first - begin), false);
  return true;
}

bool InputStatement::take_plain_real(ItemKind kind, void* destination) {
  return kind == ItemKind::kReal32 ? take_plain_reals<float>(&destination, 1) == 1
                                   : take_plain_reals<double>(&destination, 1) == 1;
}

InputFault InputStatement::input_item(ItemKind kind, void* destination) {
  if (slash_seen_) return InputFault::kNone;
  if (repeat_left_ == 0 && is_real(kind) && take_plain_real(kind, destination)) {
    return InputFault::kNone;
  }
  if (repeat_left_ == 0 && plain_integers_ &&
      ((kind == ItemKind::kInt32 && take_plain_integer<int32_t>(destination)) ||
       (kind == ItemKind::kInt16 && take_plain_integer<int16_t>(destination)))) {
    return InputFault::kNone;
  }
  if (repeat_left_ > 0) {
    --repeat_left_;
    token_ = repeated_;
  } else if (InputFault f = find_value(); f != InputFault::kNone) {
    return f;
  }
  InputFault fault = InputFault::kNone;
  if (token_.kind == ValueClass::kSlash) {
    slash_seen_ = true;
  } else if (token_.kind != ValueClass::kNull) {
    ItemValue value;
    fault = convert_value(token_, kind, &value);
    if (fault == InputFault::kNone && pair_rest_pending_ && is_real(kind)) fault = scan_pair_rest();
    if (fault == InputFault::kNone) write_value(value, kind, destination);
  }
  pair_rest_pending_ = false;
  new_record_ = false;
  return fault;
}

InputFault InputStatement::input_items(ItemKind kind, void* const* destinations, size_t count) {
  size_t i = 0;
  while (i < count) {
    if (!slash_seen_ && repeat_left_ == 0) {
      if (kind == ItemKind::kReal32) i += take_plain_reals<float>(destinations + i, count - i);
      if (kind == ItemKind::kReal64) i += take_plain_reals<double>(destinations + i, count - i);
      if (i == count) break;
    }
    if (InputFault f = input_item(kind, destinations[i]); f != InputFault::kNone) return f;
    ++i;
  }
  return InputFault::kNone;
}

// ---- Records and characters ----------------------------------------------

InputFault InputStatement::read_next_record() {
  run_slot_ = nullptr;
  InputFault f = source_->next_record(&record_);
  if (f != InputFault::kNone) return f;
  run_slot_ = source_->plain_run_slot();
  pos_ = 0;
  new_record_ = true;
  return InputFault::kNone;
}

bool InputStatement::consume_if(char c) {
  if (at_end() || record_[pos_] != c) return false;
  ++pos_;
  return true;
}

bool InputStatement::last_nonblank_is_comma() const {
  size_t i = record_.size();
  while (i > 0 && is_blank(record_[i - 1])) --i;
  return i > 0 && record_[i - 1] == ',';
}

// ---- Finding a value --------------------------------------------------------

InputFault InputStatement::find_value() {
  separator_pending_ = false;
  record_end_passed_ = false;
  for (;;) {
    if (InputFault f = skip_to_nonblank(); f != InputFault::kNone) return f;
    if (peek() != ',') return scan_value(true);
    const bool null = comma_marks_null();
    ++pos_;
    if (null) {
      token_ = ValueToken{};
      return InputFault::kNone;
    }
  }
}

// Skips blanks and blank records up to the next non-blank character.
InputFault InputStatement::skip_to_nonblank() {
  for (;;) {
    while (!at_end() && is_blank(record_[pos_])) ++pos_;
    if (!at_end()) {
      nonblank_seen_ = true;
      return InputFault::kNone;
    }
    if (nonblank_seen_) {
      record_end_passed_ = true;
      if (!separator_pending_ && last_nonblank_is_comma()) separator_pending_ = true;
    }
    if (InputFault f = read_next_record(); f != InputFault::kNone) return f;
  }
}

// At a comma: true when it stands for a null value, false when it separates
// (the state then records the separator). The caller consumes it either way.
bool InputStatement::comma_marks_null() {
  if (new_record_) {
    if (!record_end_passed_ || separator_pending_) return true;
    new_record_ = false;  // the separator after the previous record's last value
    return false;
  }
  if (separator_pending_) return true;
  if (pos_ > 0 && record_[pos_ - 1] == ',') return true;
  size_t i = pos_;
  while (i > 0 && is_blank(record_[i - 1])) --i;
  if (i > 0 && record_[i - 1] == ',') return true;
  separator_pending_ = true;
  return false;
}

// One value, classified by its first character.
InputFault InputStatement::scan_value(bool allow_repeat) {
  token_ = ValueToken{};
  switch (peek()) {
    case '/':
      token_.kind = ValueClass::kSlash;  // left in place: the statement's values end here
      return InputFault::kNone;
    case '\'':
    case '"': return scan_quoted();
    case '(': return scan_pair();
    case ')': return InputFault::kRightParenthesis;
    case 'T': case 'F': case 't': case 'f': return scan_logical();
    case '.':
      if (is_logical_letter(peek(1))) return scan_logical();
      return scan_numeric(allow_repeat);
    default: return scan_numeric(allow_repeat);
  }
}

InputFault InputStatement::scan_numeric(bool allow_repeat) {
  const size_t start = pos_;
  // Most values are plain "[sign]digits[.digits]" and break no rule: take them
  // without the character-by-character checks below.
  {
    size_t p = pos_;
    if (p < record_.size() && is_sign(record_[p])) ++p;
    const size_t first = p;
    while (p < record_.size() && is_digit(record_[p])) ++p;
    size_t digits = p - first;
    const bool point = p < record_.size() && record_[p] == '.';
    if (point) {
      const size_t fraction = ++p;
      while (p < record_.size() && is_digit(record_[p])) ++p;
      digits += p - fraction;
    }
    if (digits > 0 && (p == record_.size() || ends_value(record_[p]))) {
      pos_ = p;
      token_.kind = ValueClass::kNumeric;
      token_.text = record_.substr(start, p - start);
      token_.integer_form = !point;
      return InputFault::kNone;
    }
  }
  bool any_digit = false;
  bool sign_seen = false;
  bool digit_since_sign = false;  // since the last sign, or the start
  bool point = false;
  bool exponent = false;
  for (; !at_end() && !ends_value(record_[pos_]); ++pos_) {
    const char c = record_[pos_];
    if (is_digit(c)) {
      any_digit = digit_since_sign = true;
    } else if (is_sign(c)) {
      if (pos_ > start && is_sign(record_[pos_ - 1])) return InputFault::kSignAfterSign;
      sign_seen = true;
      digit_since_sign = false;
    } else if (c == '.') {
      if (point) return InputFault::kSecondFullStop;
      point = true;
    } else if (is_exponent_letter(c)) {
      if (exponent || !digit_since_sign) return InputFault::kMisplacedExponent;
      exponent = true;
    } else if ((upper(c) == 'I' || upper(c) == 'N') &&
               (pos_ == start || (pos_ == start + 1 && is_sign(record_[start])))) {
      while (!at_end() && !ends_value(record_[pos_])) ++pos_;
      token_.kind = ValueClass::kNumeric;
      token_.text = record_.substr(start, pos_ - start);
      token_.integer_form = true;
      token_.word = true;
      return InputFault::kNone;
    } else if (c == '*' && allow_repeat) {
      if (pos_ == start) return InputFault::kEmptyRepeatCount;
      break;
    } else {
      return InputFault::kBadCharacter;
    }
  }
  if (sign_seen && !digit_since_sign) return InputFault::kSignWithoutDigit;
  if (!any_digit) return InputFault::kNoDigits;
  const std::string_view text = record_.substr(start, pos_ - start);
  if (!at_end() && record_[pos_] == '*') return scan_repeat(text);
  token_.kind = ValueClass::kNumeric;
  token_.text = text;
  token_.integer_form = !point && !exponent;
  return InputFault::kNone;
}

// At the asterisk after a repeat count: the repeated value or null.
InputFault InputStatement::scan_repeat(std::string_view count_text) {
  int64_t count = 0;
  const ConvertResult r = decimal_to_integer(count_text, INT32_MIN, INT32_MAX, &count);
  if (r.ec != ConvertError::kNone || r.ptr != count_text.data() + count_text.size()) {
    return InputFault::kBadRepeatCount;
  }
  ++pos_;  // the asterisk
  if (at_end() || peek() == ' ' || peek() == '\t' || peek() == ',') {
    if (!at_end()) ++pos_;
    token_ = ValueToken{};
  } else if (InputFault f = scan_value(false); f != InputFault::kNone) {
    return f;
  }
  repeat_left_ = count > 1 ? count - 1 : 0;
  repeated_ = token_;
  return InputFault::kNone;
}

InputFault InputStatement::scan_logical() {
  consume_if('.');
  token_.kind = ValueClass::kLogical;
  token_.truth = !(peek() == 'F' || peek() == 'f');
  while (!at_end() && !ends_value(record_[pos_])) ++pos_;
  return InputFault::kNone;
}

InputFault InputStatement::scan_quoted() {
  const char mark = record_[pos_++];
  quoted_length_ = 0;
  for (;;) {
    if (at_end()) {
      // The value goes on in the next record; the record break adds nothing.
      InputFault f = read_next_record();
      if (f == InputFault::kNoRecordMemory) return f;
      if (f != InputFault::kNone) return InputFault::kEndInQuotes;
      continue;
    }
    const char c = record_[pos_++];
    if (c == mark && !consume_if(mark)) break;
    if (quoted_length_ == kMaxQuotedLength) return InputFault::kQuotedTooLong;
    quoted_[quoted_length_++] = c;
  }
  token_.kind = ValueClass::kQuoted;
  return InputFault::kNone;
}

// At "(": the first number of a pair form.
InputFault InputStatement::scan_pair() {
  ++pos_;
  if (InputFault f = skip_to_nonblank(); f != InputFault::kNone) return f;
  if (peek() == '(') return InputFault::kNestedParenthesis;
  if (InputFault f = scan_numeric(false); f != InputFault::kNone) return f;
  pair_rest_pending_ = true;
  return InputFault::kNone;
}

// Blanks and record ends between the parts of a pair. A record read here
// would leave the first number's text behind, so it is kept first.
InputFault InputStatement::skip_blanks_in_pair() {
  for (;;) {
    while (!at_end() && is_blank(record_[pos_])) ++pos_;
    if (!at_end()) return InputFault::kNone;
    if (token_.text.data() != held_text_.data()) {
      const bool repeated = repeated_.text.data() == token_.text.data();
      held_text_.assign(token_.text);
      token_.text = held_text_;
      if (repeated) repeated_.text = held_text_;
    }
    if (InputFault f = read_next_record(); f != InputFault::kNone) return f;
  }
}

// After a pair's first number: "," [sign] (word | digits ["." digits] [letter digits]) ")".
InputFault InputStatement::scan_pair_rest() {
  if (InputFault f = skip_blanks_in_pair(); f != InputFault::kNone) return f;
  if (!consume_if(',')) return InputFault::kMalformedPair;
  if (InputFault f = skip_blanks_in_pair(); f != InputFault::kNone) return f;
  if (is_sign(peek())) ++pos_;
  const char first = upper(peek());
  if (first == 'I' || first == 'N') {
    const char* word = first == 'I' ? "INFINITY" : "NAN";
    while (*word != '\0' && !at_end() && upper(peek()) == *word) ++pos_, ++word;
  } else {
    if (!is_digit(peek())) return InputFault::kMalformedPair;
    while (is_digit(peek())) ++pos_;
    if (consume_if('.')) {
      while (is_digit(peek())) ++pos_;
    }
    if (is_exponent_letter(peek())) {
      ++pos_;
      if (!is_digit(peek())) return InputFault::kMalformedPair;
      while (is_digit(peek())) ++pos_;
    }
  }
  if (InputFault f = skip_blanks_in_pair(); f != InputFault::kNone) return f;
  if (!consume_if(')')) return InputFault::kMalformedPair;
  return InputFault::kNone;
}

}  // namespace recio
