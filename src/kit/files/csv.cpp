// CSV reading and writing.
#include "kit/files/csv.h"

#include <algorithm>
#include <cstring>

#include "kit/core/number.h"

namespace kit {

namespace {
constexpr size_t kInitialBuffer = 1 << 16;
}  // namespace

CsvReader::CsvReader(std::FILE* in)
    : in_(in),
      buffer_(new char[kInitialBuffer]),
      data_(buffer_.get()),
      capacity_(kInitialBuffer) {}

CsvReader::CsvReader() : in_(nullptr), data_(""), capacity_(0), eof_(true), first_(false) {}

void CsvReader::reset(std::string_view text) {
  data_ = text.data();
  start_ = 0;
  end_ = text.size();
  line_ = 1;
  record_line_ = 0;
  fields_.clear();
  record_ = {};
  plain_ = false;
  error_.clear();
}

bool CsvReader::fill() {
  if (eof_) return false;  // always so for text in memory
  if (start_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + start_, end_ - start_);
    end_ -= start_;
    start_ = 0;
  }
  if (end_ == capacity_) {  // one record fills the buffer: grow it
    std::unique_ptr<char[]> bigger(new char[capacity_ * 2]);
    std::memcpy(bigger.get(), buffer_.get(), end_);
    buffer_ = std::move(bigger);
    data_ = buffer_.get();
    capacity_ *= 2;
  }
  size_t got = std::fread(buffer_.get() + end_, 1, capacity_ - end_, in_);
  end_ += got;
  if (got == 0) eof_ = true;
  return got > 0;
}

bool CsvReader::next_plain() {
  const char* const from = data_ + start_;
  const char* const lf = static_cast<const char*>(std::memchr(from, '\n', end_ - start_));
  if (lf == nullptr) return false;
  bool cr = false;
  const char* field = from;
  for (const char* p = from; p < lf; ++p) {
    const char c = *p;
    if (c == ',') {
      fields_.emplace_back(field, static_cast<size_t>(p - field));
      field = p + 1;
    } else if (c == '"') {
      fields_.clear();
      return false;
    } else if (c == '\r') {
      cr = true;
    }
  }
  const char* record_end = lf;
  if (record_end > from && record_end[-1] == '\r') --record_end;
  fields_.emplace_back(field, static_cast<size_t>(record_end - field));
  record_ = std::string_view(from, static_cast<size_t>(record_end - from));
  // Plain unless a CR stands elsewhere than before the LF.
  plain_ = !cr || (record_end < lf && std::memchr(from, '\r', record_.size()) == nullptr);
  record_line_ = line_++;
  start_ = static_cast<size_t>(lf - data_) + 1;
  return true;
}

bool CsvReader::next() {
  fields_.clear();
  error_.clear();
  if (!first_ && next_plain()) return true;
  // Find a complete record: an LF outside quotes, refilling as needed. Runs
  // between quotes and line ends are skipped with memchr.
  size_t scan = start_;
  bool quoted = false, has_quote = false;
  uint64_t breaks = 0;
  for (;;) {
    if (scan == end_) {
      size_t offset = scan - start_;
      bool more = fill();  // may move the unread bytes to the front
      scan = start_ + offset;
      if (!more) break;
      continue;
    }
    const char* from = data_ + scan;
    const size_t left = end_ - scan;
    if (!quoted) {
      const char* lf = static_cast<const char*>(std::memchr(from, '\n', left));
      const size_t upto = lf != nullptr ? static_cast<size_t>(lf - from) : left;
      const char* quote = static_cast<const char*>(std::memchr(from, '"', upto));
      if (quote == nullptr) {
        scan += upto;
        if (lf == nullptr) continue;
        ++breaks;
        break;
      }
      scan += static_cast<size_t>(quote - from) + 1;
      quoted = has_quote = true;
    } else {
      const char* quote = static_cast<const char*>(std::memchr(from, '"', left));
      const size_t upto = quote != nullptr ? static_cast<size_t>(quote - from) : left;
      breaks += static_cast<uint64_t>(std::count(from, from + upto, '\n'));
      scan += upto;
      if (quote != nullptr) {
        ++scan;
        quoted = false;
      }
    }
  }
  if (scan == start_ && scan == end_) return false;  // nothing left
  if (quoted) {
    error_ = "a quoted field is not closed before the end of the input";
    record_line_ = line_;
    start_ = end_;
    return false;
  }

  const char* p = data_ + start_;
  const char* record_end = data_ + scan;
  start_ = scan < end_ ? scan + 1 : scan;  // past the LF
  record_line_ = line_;
  line_ += breaks > 0 ? breaks : 1;
  if (record_end > p && record_end[-1] == '\r') --record_end;
  if (first_) {
    first_ = false;
    if (record_end - p >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;
  }

  record_ = std::string_view(p, static_cast<size_t>(record_end - p));
  plain_ = !has_quote && std::memchr(p, '\r', record_.size()) == nullptr;
  if (!has_quote) {  // no quotes: fields end at commas
    for (;;) {
      const char* comma =
          static_cast<const char*>(std::memchr(p, ',', static_cast<size_t>(record_end - p)));
      if (comma == nullptr) {
        fields_.emplace_back(p, static_cast<size_t>(record_end - p));
        return true;
      }
      fields_.emplace_back(p, static_cast<size_t>(comma - p));
      p = comma + 1;
    }
  }

  // Split into fields. Quoted fields are unescaped into unquoted_, reserved
  // up front so that views into it stay valid.
  unquoted_.clear();
  unquoted_.reserve(record_end - p);
  for (;;) {
    if (p < record_end && *p == '"') {
      size_t begin = unquoted_.size();
      ++p;
      while (p < record_end) {
        if (*p == '"') {
          if (p + 1 < record_end && p[1] == '"') {
            unquoted_.push_back('"');
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        unquoted_.push_back(*p++);
      }
      // Text between the closing quote and the separator is kept as it stands.
      while (p < record_end && *p != ',') unquoted_.push_back(*p++);
      fields_.emplace_back(unquoted_.data() + begin, unquoted_.size() - begin);
    } else {
      const char* begin = p;
      while (p < record_end && *p != ',') ++p;
      fields_.emplace_back(begin, p - begin);
    }
    if (p >= record_end) break;
    ++p;  // the comma
  }
  return true;
}

size_t whole_records_size(std::string_view text) {
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  auto last_lf = [](const char* from, const char* to) -> const char* {
    return static_cast<const char*>(memrchr(from, '\n', static_cast<size_t>(to - from)));
  };
  const char* first_quote = static_cast<const char*>(std::memchr(begin, '"', text.size()));
  if (first_quote == nullptr) {  // the usual case: the last LF ends the last record
    const char* lf = last_lf(begin, end);
    return lf != nullptr ? static_cast<size_t>(lf - begin) + 1 : 0;
  }
  // Runs outside quotes alternate with quoted runs; an LF ends a record only
  // in the first kind.
  size_t size = 0;
  const char* p = begin;
  for (;;) {
    const char* quote = static_cast<const char*>(std::memchr(p, '"', static_cast<size_t>(end - p)));
    const char* run_end = quote != nullptr ? quote : end;
    if (const char* lf = last_lf(p, run_end)) size = static_cast<size_t>(lf - begin) + 1;
    if (quote == nullptr) return size;
    const char* closing =
        static_cast<const char*>(std::memchr(quote + 1, '"', static_cast<size_t>(end - quote - 1)));
    if (closing == nullptr) return size;  // the quoted run goes on past the text
    p = closing + 1;
  }
}

void CsvWriter::separate() {
  if (row_started_) buffer_.push_back(',');
  row_started_ = true;
}

void append_field(std::string* out, std::string_view text) {
  bool plain = true;
  for (char c : text) plain &= c != ',' && c != '"' && c != '\r' && c != '\n';
  if (plain) {
    out->append(text);
    return;
  }
  out->push_back('"');
  for (char c : text) {
    if (c == '"') out->push_back('"');
    out->push_back(c);
  }
  out->push_back('"');
}

void CsvWriter::field(std::string_view text) {
  separate();
  append_field(&buffer_, text);
}

void CsvWriter::encoded(std::string_view fields) {
  separate();
  buffer_.append(fields);
}

void CsvWriter::number(double value) {
  separate();
  append_shortest(&buffer_, value);
}

void CsvWriter::integer(long long value) {
  separate();
  append_integer(&buffer_, value);
}

void CsvWriter::fixed(double value, int decimals) {
  separate();
  append_fixed(&buffer_, value, decimals);
}

void CsvWriter::end_row() {
  buffer_.push_back('\n');
  row_started_ = false;
  if (buffer_.size() >= kFlushAt) flush();
}

void CsvWriter::rows(std::string_view text) {
  if (buffer_.size() + text.size() <= kFlushAt) {
    buffer_.append(text);
    return;
  }
  flush();
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), out_) != text.size()) failed_ = true;
}

bool CsvWriter::flush() {
  if (!buffer_.empty()) {
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size()) failed_ = true;
    buffer_.clear();
  }
  if (std::fflush(out_) != 0) failed_ = true;
  return !failed_;
}

int column_index(const std::vector<std::string>& header, std::string_view name) {
  for (size_t i = 0; i < header.size(); ++i) {
    if (header[i] == name) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace kit
