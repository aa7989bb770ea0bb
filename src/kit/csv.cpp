// CSV reading and writing.
#include "kit/csv.h"

#include <cstring>

#include "kit/number.h"

namespace kit {

namespace {
constexpr size_t kInitialBuffer = 1 << 16;
}  // namespace

CsvReader::CsvReader(std::FILE* in)
    : in_(in), buffer_(new char[kInitialBuffer]), capacity_(kInitialBuffer) {}

bool CsvReader::fill() {
  if (eof_) return false;
  if (start_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + start_, end_ - start_);
    end_ -= start_;
    start_ = 0;
  }
  if (end_ == capacity_) {  // one record fills the buffer: grow it
    std::unique_ptr<char[]> bigger(new char[capacity_ * 2]);
    std::memcpy(bigger.get(), buffer_.get(), end_);
    buffer_ = std::move(bigger);
    capacity_ *= 2;
  }
  size_t got = std::fread(buffer_.get() + end_, 1, capacity_ - end_, in_);
  end_ += got;
  if (got == 0) eof_ = true;
  return got > 0;
}

bool CsvReader::next() {
  fields_.clear();
  error_.clear();
  // Find a complete record: scan for an LF outside quotes, refilling as needed.
  size_t scan = start_;
  bool quoted = false;
  uint64_t breaks = 0;
  for (;;) {
    if (scan == end_) {
      size_t offset = scan - start_;
      bool more = fill();  // may move the unread bytes to the front
      scan = start_ + offset;
      if (!more) break;
      continue;
    }
    char c = buffer_[scan];
    if (c == '"') quoted = !quoted;
    if (c == '\n') {
      ++breaks;
      if (!quoted) break;
    }
    ++scan;
  }
  if (scan == start_ && scan == end_) return false;  // nothing left
  if (quoted) {
    error_ = "a quoted field is not closed before the end of the input";
    record_line_ = line_;
    start_ = end_;
    return false;
  }

  const char* p = buffer_.get() + start_;
  const char* record_end = buffer_.get() + scan;
  start_ = scan < end_ ? scan + 1 : scan;  // past the LF
  record_line_ = line_;
  line_ += breaks > 0 ? breaks : 1;
  if (record_end > p && record_end[-1] == '\r') --record_end;
  if (first_) {
    first_ = false;
    if (record_end - p >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;
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

void CsvWriter::separate() {
  if (row_started_) buffer_.push_back(',');
  row_started_ = true;
}

void append_field(std::string* out, std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
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

void CsvWriter::fixed(double value, int decimals) {
  separate();
  append_fixed(&buffer_, value, decimals);
}

void CsvWriter::end_row() {
  buffer_.push_back('\n');
  row_started_ = false;
  if (buffer_.size() >= kFlushAt) flush();
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
