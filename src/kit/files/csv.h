// CSV as RFC 4180 writes it: a streaming reader (quoted fields, CR LF, a UTF-8
// byte-order mark) and a buffered writer that quotes only where it must.
#ifndef SURGE_KIT_FILES_CSV_H_
#define SURGE_KIT_FILES_CSV_H_

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kit {

// Reads records one at a time from a stream it does not own, or from text in
// memory. Fields are views valid until the next call. Memory is bounded by the
// longest record.
class CsvReader {
 public:
  explicit CsvReader(std::FILE* in);
  // A reader of text in memory, which reads nothing until reset().
  CsvReader();

  // Starts reading the records of `text`, which the caller keeps unchanged
  // until the next reset. The text continues a file: no byte-order mark is
  // looked for, and lines are counted from 1 at its start.
  void reset(std::string_view text);

  // Makes the next record current; false at the end of the input or on a
  // fault (then error() says which). An empty line is a record of one empty
  // field.
  bool next();

  const std::vector<std::string_view>& fields() const { return fields_; }
  // The line on which the current record begins, counted from 1.
  uint64_t line() const { return record_line_; }
  // The current record as it stands in the input, without its line end (and
  // without a byte-order mark); valid until the next call.
  std::string_view record() const { return record_; }
  // True when the record holds no quote and no CR: its text is then exactly
  // its fields joined by commas, as CsvWriter writes them.
  bool plain() const { return plain_; }
  // Empty unless the last next() failed for a reason other than the end.
  const std::string& error() const { return error_; }
  // The line on which the next record begins: after the last record of a
  // text that ends in a line end, one more than the line ends read.
  uint64_t next_line() const { return line_; }

  // The bytes read from the stream and not yet taken as records, valid until
  // the next call; and whether the stream has ended. A caller that reads the
  // rest of the stream itself starts from these.
  std::string_view unread() const { return {data_ + start_, end_ - start_}; }
  bool at_end() const { return eof_; }

 private:
  bool fill();  // reads more bytes, keeping [start_, end_)
  // The next record when it is whole in the buffer and holds no quote; false,
  // with nothing consumed, otherwise.
  bool next_plain();

  std::FILE* in_;
  std::unique_ptr<char[]> buffer_;  // what is read from the stream
  const char* data_;                // the bytes read from: buffer_, or the text
  size_t capacity_;
  size_t start_ = 0, end_ = 0;  // unread bytes
  bool eof_ = false;
  bool first_ = true;
  uint64_t line_ = 1, record_line_ = 0;
  std::vector<std::string_view> fields_;
  std::string_view record_;
  bool plain_ = false;
  std::string unquoted_;  // the current record's quoted fields, unescaped
  std::string error_;
};

// Writes records to a stream it does not own, buffered. Fields that hold a
// comma, a quote or a line break are quoted, with quotes doubled.
class CsvWriter {
 public:
  explicit CsvWriter(std::FILE* out) : out_(out) { buffer_.reserve(kFlushAt + 4096); }
  ~CsvWriter() { flush(); }

  void field(std::string_view text);
  // Fields already encoded as this writer writes them, joined by commas (as
  // append_field builds them), written as they stand.
  void encoded(std::string_view fields);
  // A number, written as the shortest text that reads back to it.
  void number(double value);
  // A whole number: a count or a location.
  void integer(long long value);
  // A number with a fixed count of decimals.
  void fixed(double value, int decimals);
  void end_row();
  // Whole rows already encoded, each with its line end, written after what
  // is buffered.
  void rows(std::string_view text);
  // Writes what is buffered; false when the stream reported an error.
  bool flush();

  // The buffer, for writers that format a field themselves; call separate()
  // before appending the field's text.
  std::string& raw() { return buffer_; }
  void separate();

 private:
  static constexpr size_t kFlushAt = 1 << 16;
  std::FILE* out_;
  std::string buffer_;
  bool row_started_ = false;
  bool failed_ = false;
};

// The length of the longest start of `text` made of whole records, each with
// its line end: up to and including the last LF outside quotes, found as
// CsvReader finds the ends of records (each quote opens or closes a quoted
// run). 0 when no record ends in `text`.
size_t whole_records_size(std::string_view text);

// Appends `text` as one field: quoted, with quotes doubled, when it holds a
// comma, a quote or a line break.
void append_field(std::string* out, std::string_view text);

// The index of `name` among the header's fields, or -1.
int column_index(const std::vector<std::string>& header, std::string_view name);

}  // namespace kit

#endif  // SURGE_KIT_FILES_CSV_H_
