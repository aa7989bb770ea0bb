// Building output records: free-form layout, format walks, fields, line ends.
#include "recio/output_statement.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "recio/number_format.h"

namespace recio {
namespace {

constexpr size_t kLineEnd = 2;  // CR LF, kept room for past the capacity
constexpr size_t kMinimumGrowth = 512;

int free_form_width(ItemKind kind) { return kind == ItemKind::kInt16 ? 7 : 12; }

bool is_integer(ItemKind kind) { return kind == ItemKind::kInt16 || kind == ItemKind::kInt32; }

int64_t integer_value(const OutputItem& item) {
  return item.kind == ItemKind::kInt16 ? item.i16 : item.i32;
}

}  // namespace

int output_fault_message(OutputFault fault) {
  switch (fault) {
    case OutputFault::kWriteFailed:
      return 38;
    case OutputFault::kTypeMismatch:
      return 61;
    case OutputFault::kRecordOverflow:
      return 66;
    case OutputFault::kNoBuffer:
      return 98;
    case OutputFault::kNone:
    case OutputFault::kMisuse:
      break;
  }
  return 0;
}

std::unique_ptr<char[]> RecordChannel::allocate(size_t size) {
  return std::unique_ptr<char[]>(new (std::nothrow) char[size]);
}

// ---- Records ---------------------------------------------------------------

void OutputStatement::start_record() {
  OutputRecord& r = *record_;
  // Only the written part can hold anything but blanks.
  std::memset(r.buffer.get(), ' ', r.high_water);
  r.position = 0;
  r.high_water = 0;
  r.room = kFreeFormLineLength;
  first_item_ = true;
  previous_ = Previous::kNone;
}

OutputFault OutputStatement::complete_record() {
  OutputRecord& r = *record_;
  char* line_end = r.buffer.get() + r.high_water;
  line_end[0] = '\r';
  line_end[1] = '\n';
  const bool written = channel_->write_record(r.buffer.get(), r.high_water + kLineEnd);
  if (recording_ != nullptr && written) {
    recording_->records.append(r.buffer.get(), r.high_water + kLineEnd);
    recording_->record_ends.push_back(recording_->records.size());
    recording_->widest = std::max(recording_->widest, r.high_water);
  }
  line_end[0] = ' ';
  line_end[1] = ' ';
  start_record();
  return written ? OutputFault::kNone : fail(OutputFault::kWriteFailed);
}

char* OutputStatement::claim(size_t n) {
  OutputRecord& r = *record_;
  if (r.position + n > r.capacity) {
    // Grow by the largest of the shortfall, 512 bytes and an eighth.
    const size_t shortfall = r.position + n - r.capacity;
    const size_t capacity = r.capacity + std::max({shortfall, kMinimumGrowth, r.capacity / 8});
    std::unique_ptr<char[]> bigger = channel_->allocate(capacity + kLineEnd);
    if (!bigger) return nullptr;
    std::memcpy(bigger.get(), r.buffer.get(), r.high_water);
    std::memset(bigger.get() + r.high_water, ' ', capacity + kLineEnd - r.high_water);
    r.buffer = std::move(bigger);
    r.capacity = capacity;
  }
  char* field = r.buffer.get() + r.position;
  r.position += n;
  r.high_water = std::max(r.high_water, r.position);
  return field;
}

bool OutputStatement::put(const char* bytes, size_t n) {
  char* field = claim(n);
  if (field == nullptr) return false;
  std::memcpy(field, bytes, n);
  return true;
}

bool OutputStatement::put_blank() {
  --record_->room;
  return put(" ", 1);
}

// ---- Statements ------------------------------------------------------------

OutputFault OutputStatement::begin(OutputRecord& record, RecordChannel& channel,
                                   FormatProgram format) {
  if (active()) return refuse("a statement began inside another");
  if (record.capacity < static_cast<size_t>(kFreeFormLineLength)) {
    // The unit's first statement: a buffer that holds a full free-form line.
    const size_t capacity = kFreeFormLineLength;
    std::unique_ptr<char[]> buffer = channel.allocate(capacity + kLineEnd);
    if (!buffer) return OutputFault::kNoBuffer;
    std::memset(buffer.get(), ' ', capacity + kLineEnd);
    record.buffer = std::move(buffer);
    record.capacity = capacity;
    record.high_water = 0;
  }
  record_ = &record;
  channel_ = &channel;
  format_ = format;
  element_ = 1;
  repeat_left_ = 0;
  at_end_ = false;
  start_record();
  if (format.empty()) return OutputFault::kNone;
  if (const KeptWalk* kept = find_kept_walk(format);
      kept != nullptr && record.capacity >= kept->widest) {
    return replay_walk(*kept);
  }
  FormatElement first;
  if (!decode_element(format, 0, &first) || first.code != FMT_BEGIN) {
    return refuse("a format program that does not begin with FMT_BEGIN");
  }
  // The walk is kept when it completes without a fault and without growing
  // the buffer, which a later walk might not need to do.
  KeptWalk& kept = kept_walks_[next_kept_walk_];
  kept = KeptWalk{};
  recording_ = &kept;
  const size_t capacity = record.capacity;
  const OutputFault fault = walk();
  recording_ = nullptr;
  if (fault == OutputFault::kNone && record.capacity == capacity) keep_walk(format, kept);
  return fault;
}

const OutputStatement::KeptWalk* OutputStatement::find_kept_walk(FormatProgram format) const {
  for (const KeptWalk& kept : kept_walks_) {
    if (kept.program != format.data()) continue;  // the quick test first
    if (kept.words.size() == format.size() &&
        std::memcmp(kept.words.data(), format.data(), format.size_bytes()) == 0) {
      return &kept;
    }
  }
  return nullptr;
}

// Writes the kept records and leaves the record and the walk as the walk did.
OutputFault OutputStatement::replay_walk(const KeptWalk& kept) {
  size_t begin = 0;
  for (size_t end : kept.record_ends) {
    if (!channel_->write_record(kept.records.data() + begin, end - begin)) {
      return fail(OutputFault::kWriteFailed);
    }
    begin = end;
  }
  OutputRecord& r = *record_;
  std::memcpy(r.buffer.get(), kept.pending.data(), kept.pending.size());
  r.high_water = kept.pending.size();
  r.position = kept.position;
  element_ = kept.element;
  repeat_left_ = kept.repeat_left;
  at_end_ = kept.at_end;
  return OutputFault::kNone;
}

void OutputStatement::keep_walk(FormatProgram format, KeptWalk& kept) {
  const OutputRecord& r = *record_;
  if (kept.records.size() + r.high_water > kKeptWalkBytes || format.size() > kKeptWalkBytes) {
    kept = KeptWalk{};
    return;
  }
  kept.program = format.data();
  kept.words.assign(format.begin(), format.end());
  kept.pending.assign(r.buffer.get(), r.high_water);
  kept.position = r.position;
  kept.widest = std::max(kept.widest, r.high_water);
  kept.element = element_;
  kept.repeat_left = repeat_left_;
  kept.at_end = at_end_;
  next_kept_walk_ = (next_kept_walk_ + 1) % kKeptWalks;
}

OutputFault OutputStatement::text_record(OutputRecord& record, RecordChannel& channel,
                                         std::string_view text) {
  if (active() || record.capacity < static_cast<size_t>(kFreeFormLineLength) ||
      text.size() >= static_cast<size_t>(kFreeFormLineLength)) {
    OutputFault fault = begin(record, channel, FormatProgram());
    if (fault != OutputFault::kNone) return fault;
    return item(OutputItem::text_item(text, true));
  }
  // Between statements the buffer is blank throughout: the record is its
  // leading blank, the text and the line end, and is left blank again.
  char* line = record.buffer.get();
  std::memcpy(line + 1, text.data(), text.size());
  line[text.size() + 1] = '\r';
  line[text.size() + 2] = '\n';
  const bool written = channel.write_record(line, text.size() + 1 + kLineEnd);
  std::memset(line + 1, ' ', text.size() + kLineEnd);
  // The state a statement leaves behind.
  record.position = 0;
  record.high_water = 0;
  record.room = kFreeFormLineLength;
  format_ = FormatProgram();
  element_ = 1;
  repeat_left_ = 0;
  at_end_ = false;
  first_item_ = true;
  previous_ = Previous::kNone;
  return written ? OutputFault::kNone : OutputFault::kWriteFailed;
}

OutputFault OutputStatement::item(const OutputItem& item) {
  if (!active()) return refuse("an item outside a statement");
  OutputFault fault = format_.empty() ? free_form_item(item) : formatted_item(item);
  if (fault != OutputFault::kNone) return fault;
  return item.last ? end() : OutputFault::kNone;
}

OutputFault OutputStatement::finish() {
  if (!active()) return refuse("finish outside a statement");
  return end();
}

OutputFault OutputStatement::end() {
  // A free-form statement without items writes a record holding one blank.
  if (format_.empty() && first_item_ && !put_blank()) return fail(OutputFault::kNoBuffer);
  OutputFault fault = complete_record();
  record_ = nullptr;
  channel_ = nullptr;
  return fault;
}

OutputFault OutputStatement::fail(OutputFault fault) {
  if (record_ != nullptr) start_record();
  record_ = nullptr;
  channel_ = nullptr;
  return fault;
}

OutputFault OutputStatement::refuse(const char* why) {
  misuse_ = why;
  return fail(OutputFault::kMisuse);
}

// ---- Free-form output ------------------------------------------------------

OutputFault OutputStatement::free_form_item(const OutputItem& item) {
  if (is_integer(item.kind))
    return free_form_number(integer_value(item), free_form_width(item.kind));
  if (item.kind == ItemKind::kText) return free_form_text(item.text.data, item.text.size);
  return refuse("an item kind that free-form output does not write");
}

OutputFault OutputStatement::free_form_number(int64_t value, int width) {
  // A number that does not fit the line goes to a fresh record. Its own
  // leading blanks separate it: no blank is added before or after it.
  if (record_->room < width) {
    OutputFault fault = complete_record();
    if (fault != OutputFault::kNone) return fault;
  }
  char text[kIntegerTextCapacity];
  const size_t size = integer_text(value, 1, text);
  char* field = claim(static_cast<size_t>(width));
  if (field == nullptr) return fail(OutputFault::kNoBuffer);
  fill_field(field, static_cast<size_t>(width), std::string_view(text, size));
  record_->room -= width;
  first_item_ = false;
  previous_ = Previous::kNumber;
  return OutputFault::kNone;
}

OutputFault OutputStatement::free_form_text(const char* text, size_t size) {
  // The free-form record never grows past its 80 columns, so put() cannot
  // fail here: the buffer always holds a full line.
  OutputRecord& r = *record_;
  const size_t room_before = static_cast<size_t>(r.room);
  const bool record_empty = first_item_;
  if (record_empty) {
    // Every record starts with a blank, also one that a text longer than the
    // line fills: such a text is cut where each line is full.
    put_blank();
  } else if (previous_ == Previous::kNumber && r.room > 0) {
    put_blank();  // the separator between a number and a text
  }
  if (!record_empty && size > room_before) {
    // A text that does not fit behind what the record holds starts a record
    // of its own.
    OutputFault fault = complete_record();
    if (fault != OutputFault::kNone) return fault;
    put_blank();
  }
  while (size > static_cast<size_t>(r.room)) {
    const size_t piece = static_cast<size_t>(r.room);
    put(text, piece);
    text += piece;
    size -= piece;
    OutputFault fault = complete_record();
    if (fault != OutputFault::kNone) return fault;
    put_blank();  // every continuation record begins with a blank
  }
  put(text, size);
  r.room -= static_cast<int>(size);
  first_item_ = false;
  previous_ = Previous::kText;
  return OutputFault::kNone;
}

// ---- Formatted output ------------------------------------------------------

// Runs from the current element up to the next data edit descriptor (where it
// pauses for an item) or FMT_END, copying literals and completing a record for
// every slash.
OutputFault OutputStatement::walk() {
  for (;;) {
    FormatElement element;
    if (!decode_element(format_, element_, &element)) {
      return refuse("an unsupported or malformed format element");
    }
    switch (element.code) {
      case FMT_LITERAL:
        if (!put(element.text.data(), element.text.size())) {
          return fail(OutputFault::kRecordOverflow);
        }
        break;
      case FMT_SLASH:
        for (int32_t i = 0; i < element.repeat; ++i) {
          OutputFault fault = complete_record();
          if (fault != OutputFault::kNone) return fault;
        }
        break;
      case FMT_A:
      case FMT_I:
      case FMT_I_W:
      case FMT_F_W_D:
        if (repeat_left_ == 0) repeat_left_ = element.repeat;
        return OutputFault::kNone;
      case FMT_END:
        at_end_ = true;
        return OutputFault::kNone;
      default:
        return refuse("FMT_BEGIN inside a format program");
    }
    element_ += element.words;
  }
}

OutputFault OutputStatement::formatted_item(const OutputItem& item) {
  if (at_end_) return refuse("more items than the format program's data edit descriptors");
  FormatElement element;
  decode_element(format_, element_, &element);  // walk() stopped here, so it decodes

  char text[kFixedTextCapacity];
  size_t size = 0;
  size_t width = 0;
  switch (element.code) {
    case FMT_A:
      if (item.kind != ItemKind::kText) return fail(OutputFault::kTypeMismatch);
      if (!put(item.text.data, item.text.size)) return fail(OutputFault::kRecordOverflow);
      break;
    case FMT_I:
    case FMT_I_W:
      if (!is_integer(item.kind)) return fail(OutputFault::kTypeMismatch);
      width = element.code == FMT_I ? static_cast<size_t>(free_form_width(item.kind))
                                    : static_cast<size_t>(element.width);
      size = integer_text(integer_value(item), std::max<int>(1, element.digits), text);
      break;
    case FMT_F_W_D:
      if (item.kind != ItemKind::kReal64) return fail(OutputFault::kTypeMismatch);
      width = static_cast<size_t>(element.width);
      size = fixed_text(item.r64, element.width, element.digits, text);
      break;
  }
  if (element.code != FMT_A) {
    char* field = claim(width);
    if (field == nullptr) return fail(OutputFault::kRecordOverflow);
    fill_field(field, width, std::string_view(text, size));
  }
  if (--repeat_left_ == 0) element_ += element.words;
  return walk();
}

}  // namespace recio
