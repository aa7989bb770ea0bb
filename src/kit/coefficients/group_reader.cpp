// Groups of a coefficient file, read with the calculator's input statement.
#include "kit/coefficients/group_reader.h"

#include <algorithm>
#include <cassert>
#include <charconv>

#include "recio/record_reader.h"

namespace kit {
namespace {

using recio::InputFault;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
// Characters that separate the pieces of text shown in a finding.
bool separates(char c) { return is_blank(c) || c == ','; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool fault_ends_file(InputFault fault) {
  switch (fault) {
    case InputFault::kEndOfFile:
    case InputFault::kReadFailed:
    case InputFault::kNoRecordMemory:
    case InputFault::kNoQuoteMemory:
    case InputFault::kEndInQuotes: return true;
    default: return false;
  }
}

namespace {

// [sign] digits, nothing else: the first half of a decimal comma.
bool is_plain_integer(std::string_view text) {
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) text.remove_prefix(1);
  return !text.empty() && std::all_of(text.begin(), text.end(), is_digit);
}

// The start of the repeat count that stands before the asterisk at `star`.
size_t repeat_count_start(std::string_view record, size_t star) {
  size_t start = star;
  while (start > 0 && !separates(record[start - 1])) --start;
  return start;
}

int64_t parse_count(std::string_view text) {
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  int64_t count = 0;
  std::from_chars(text.data(), text.data() + text.size(), count);
  return count;
}

}  // namespace

// ---- Records ----------------------------------------------------------------

GroupReader::Records::Records(std::string_view bytes)
    : bytes_(std::make_unique<recio::ViewBytes>(bytes)) {}

InputFault GroupReader::Records::next_record(std::string_view* record) {
  if (resume_pending_) {
    resume_pending_ = false;
    *record = resume_;
    return InputFault::kNone;
  }
  int os_error = 0;
  InputFault f = recio::read_record(in_, *bytes_, {}, &os_error);
  if (f == InputFault::kNone) {
    *record = std::string_view(in_.buffer.get() + in_.record_begin,
                               in_.record_end - in_.record_begin);
    column_base_ = 0;
  }
  return f;
}

// The view stays valid: no record is read before it has been handed out.
void GroupReader::Records::resume_with(std::string_view rest, uint64_t column_base) {
  resume_ = rest;
  resume_pending_ = true;
  column_base_ = column_base;
}

// ---- Groups -----------------------------------------------------------------

GroupReader::GroupReader(std::string_view bytes) : records_(bytes) {}

void GroupReader::read_group(int count, float* const* destinations, GroupTrace* trace) {
  *trace = GroupTrace{};
  trace->items.resize(static_cast<size_t>(count));
  if (InputFault f = statement_.begin(&records_); f != InputFault::kNone) {
    trace->ended = true;
    trace->end_fault = f;
    trace->end_line = records_.line();
    statement_.end();
    return;
  }
  size_t origin = 0;  // the item whose repeat count hands out the values now
  int faults = 0;
  for (size_t k = 0; k < trace->items.size(); ++k) {
    ItemTrace& item = trace->items[k];
    if (statement_.slash_seen()) {
      item.source = ItemSource::kAfterSlash;
      continue;
    }
    const bool repeating = statement_.repeats_left() > 0;
    const InputFault f = statement_.input_item(recio::ItemKind::kReal32, destinations[k]);
    if (f != InputFault::kNone) {
      size_t resume_at = 0;
      describe_fault(f, &item, &resume_at);
      trace->faults = true;
      if (fault_ends_file(f)) {
        trace->ended = true;
        trace->end_fault = f;
        trace->end_line = records_.line();
        statement_.end();
        return;
      }
      if (f == InputFault::kBadCharacter && item.mark_line == 0 &&
          std::string_view(item.text).starts_with(kByteOrderMark)) {
        // A byte-order mark takes no column: read the same item again after it.
        const ItemTrace mark = item;
        item = ItemTrace{};
        item.mark_line = mark.line;
        item.mark_column = mark.column;
        resume_at = static_cast<size_t>(mark.column - 1 - records_.column_base()) +
                    kByteOrderMark.size();
        if (!resume_after(resume_at)) break;
        --k;
        continue;
      }
      if (++faults == kMaxGroupFaults) {
        trace->abandoned = true;
        break;
      }
      if (!resume_after(resume_at)) break;
      continue;
    }
    if (repeating) {
      const ItemTrace& first = trace->items[origin];
      item.source = first.source == ItemSource::kRepeatNull ? ItemSource::kRepeatedNull
                                                            : ItemSource::kRepeated;
      item.line = first.line;
      item.column = first.column;
      item.text = first.text;
      continue;
    }
    if (statement_.slash_seen()) {
      item.source = ItemSource::kSlash;
      item.line = records_.line();
      item.column = column_at(statement_.position());
      item.text = "/";
    } else {
      describe_value(&item);
      origin = k;
    }
    if (trace->first_line == 0) trace->first_line = item.line;
    trace->last_line = item.line;
  }
  if (!statement_.slash_seen() && !trace->abandoned) {
    const std::string_view record = statement_.record();
    size_t from = std::min(statement_.position(), record.size());
    while (from < record.size() && separates(record[from])) ++from;
    if (from < record.size()) {
      trace->leftover.assign(record.substr(from));
      trace->leftover_line = records_.line();
      trace->leftover_column = column_at(from);
    }
    trace->repeats_left = statement_.repeats_left();
  }
  statement_.end();
}

// Hands the rest of the record after `offset` to a fresh statement, past one
// separating comma (which would otherwise read as a null value).
bool GroupReader::resume_after(size_t offset) {
  const std::string_view record = statement_.record();
  size_t at = std::min(offset, record.size());
  while (at < record.size() && is_blank(record[at])) ++at;
  if (at < record.size() && record[at] == ',') ++at;
  records_.resume_with(record.substr(at), records_.column_base() + at);
  return statement_.begin(&records_) == InputFault::kNone;
}

// After a value was stored: where it stood and how it was written.
void GroupReader::describe_value(ItemTrace* item) const {
  const std::string_view record = statement_.record();
  const recio::ValueToken& token = statement_.token();
  const size_t pos = std::min(statement_.position(), record.size());
  item->line = records_.line();
  if (token.kind == recio::ValueClass::kNull) {
    // A repeated null "r*" ends at the asterisk or just past one blank or comma.
    size_t p = pos;
    if (p > 1 && separates(record[p - 1]) && record[p - 2] == '*') --p;
    if (p > 0 && record[p - 1] == '*') {
      const size_t start = repeat_count_start(record, p - 1);
      item->source = ItemSource::kRepeatNull;
      item->text.assign(record.substr(start, p - start));
      item->repeat_count = parse_count(item->text);
      item->column = column_at(start);
    } else {
      item->source = ItemSource::kNull;
      item->text = ",";
      item->column = column_at(pos > 0 ? pos - 1 : 0);
    }
    return;
  }
  size_t start = pos;
  size_t end = pos;
  const bool in_record = recio::numeric_token_extent(record, token, &start, &end);
  if (!in_record) {
    while (start > 0 && !separates(record[start - 1])) --start;
  }
  item->source = ItemSource::kValue;
  item->logical = token.kind == recio::ValueClass::kLogical;
  if (in_record && start > 0 && record[start - 1] == '*') {
    const size_t count_start = repeat_count_start(record, start - 1);
    item->source = ItemSource::kRepeat;
    item->repeat_count = parse_count(record.substr(count_start, start - 1 - count_start));
    start = count_start;
  } else if (in_record && start > 0 && record[start - 1] == '(') {
    item->pair = true;
    --start;
    end = std::max(end, pos);  // the statement has read the pair up to its ")"
  } else if (!in_record && token.kind == recio::ValueClass::kNumeric) {
    item->pair = true;  // a pair whose rest stood on a later record
  }
  if (in_record && !token.word) {
    const std::string_view t = token.text;
    const bool letter = t.find_first_of("EeDdQq") != std::string_view::npos;
    for (size_t i = 1; i < t.size() && !letter; ++i) {
      if ((t[i] == '+' || t[i] == '-') && (is_digit(t[i - 1]) || t[i - 1] == '.')) {
        item->sign_exponent = true;
      }
    }
  }
  if (in_record && !item->pair && is_plain_integer(token.text) && end + 1 < record.size() &&
      record[end] == ',' && is_digit(record[end + 1])) {
    item->decimal_comma = true;
    size_t next = end + 1;
    while (next < record.size() && is_digit(record[next])) ++next;
    end = next;
  }
  item->text.assign(record.substr(start, end - start));
  item->column = column_at(start);
}

// After a fault: the text around the place where the scan stopped, and where
// a fresh statement could take up the record.
void GroupReader::describe_fault(InputFault fault, ItemTrace* item, size_t* resume_at) const {
  item->source = ItemSource::kFault;
  item->fault = fault;
  item->line = records_.line();
  const std::string_view record = statement_.record();
  const size_t pos = std::min(statement_.position(), record.size());
  *resume_at = pos;
  if (fault_ends_file(fault)) return;
  size_t start = pos;
  while (start > 0 && !separates(record[start - 1])) --start;
  size_t end = pos;
  while (end < record.size() && !separates(record[end]) && (end == pos || record[end] != '/')) {
    ++end;
  }
  if (end == start && end < record.size()) ++end;  // a lone character where a value should start
  item->text.assign(record.substr(start, end - start));
  item->column = column_at(start);
  *resume_at = end;
}

TrailingText GroupReader::rest_of_file() {
  TrailingText rest;
  std::string_view record;
  while (records_.next_record(&record) == InputFault::kNone) {
    const bool blank = std::all_of(record.begin(), record.end(), is_blank);
    if (rest.first_line == 0 && blank) continue;
    if (rest.first_line == 0) {
      rest.first_line = records_.line();
      rest.first_text.assign(record);
    }
    rest.lines = records_.line() - rest.first_line + 1;
    for (char c : record) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte >= 0x7f || (byte < 0x20 && !is_blank(c))) rest.unreadable = true;
    }
  }
  return rest;
}

}  // namespace kit
