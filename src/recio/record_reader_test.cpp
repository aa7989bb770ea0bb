// Tests of record input: records carved from reads of any size.
#include "recio/record_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recio/input_testing.h"

namespace recio {
namespace {

// A source that serves `data` one byte per read, then fails.
class FailingBytes : public ByteSource {
 public:
  FailingBytes(std::string data, platform::Status failure)
      : data_(std::move(data)), failure_(failure) {}
  platform::Status read(char* buffer, size_t n, size_t* got) override {
    *got = 0;
    if (pos_ == data_.size() || n == 0) return failure_;
    buffer[0] = data_[pos_++];
    *got = 1;
    return {};
  }

 private:
  std::string data_;
  platform::Status failure_;
  size_t pos_ = 0;
};

std::string current(const InputRecord& in) {
  return std::string(in.buffer.get() + in.record_begin, in.record_end - in.record_begin);
}

// Every record of `data` and the fault that ended them.
std::vector<std::string> records_of(ByteSource& bytes, ReadMode mode, InputFault* last,
                                    size_t capacity = kInitialRecordBuffer) {
  InputRecord in;
  in.buffer = std::make_unique<char[]>(capacity);
  in.capacity = capacity;
  std::vector<std::string> out;
  int os_error = 0;
  while ((*last = read_record(in, bytes, mode, &os_error)) == InputFault::kNone) {
    out.push_back(current(in));
  }
  return out;
}

TEST(RecordReaderTest, CarvesTheSameRecordsIntoAnyBuffer) {
  struct Row {
    std::string data;
    std::vector<std::string> records;
  };
  const std::string long_line(10000, 'x');
  const std::vector<Row> rows = {
      {"a\nbc\n", {"a", "bc"}},
      {"a\r\nbc\r\r\n\r\n", {"a", "bc", ""}},
      {"a\nlast", {"a", "last"}},
      {"last\r", {"last"}},
      {"\n\n", {"", ""}},
      {"", {}},
      {"a\rb\n", {"a\rb"}},
      {long_line + "\n" + long_line + "y", {long_line, long_line + "y"}},
  };
  for (const Row& row : rows) {
    for (size_t capacity : {size_t{1}, size_t{2}, size_t{5}, size_t{4096}, size_t{100000}}) {
      for (bool byte_reads : {false, true}) {
        MemoryBytes bytes(row.data);
        InputFault last = InputFault::kNone;
        EXPECT_EQ(records_of(bytes, {.byte_reads = byte_reads}, &last, capacity), row.records)
            << "capacity " << capacity << (byte_reads ? " byte reads" : "");
        EXPECT_EQ(last, InputFault::kEndOfFile);
      }
    }
  }
}

TEST(RecordReaderTest, ByteReadsTakeNothingPastTheRecord) {
  MemoryBytes bytes("12\nrest of the file\n");
  InputRecord in;
  int os_error = 0;
  ASSERT_EQ(read_record(in, bytes, {.byte_reads = true}, &os_error), InputFault::kNone);
  EXPECT_EQ(current(in), "12");
  EXPECT_EQ(bytes.consumed(), 3u);
}

TEST(RecordReaderTest, BlockReadsCarveSeveralRecordsFromOneRead) {
  MemoryBytes bytes("1\n2\n3\n");
  InputFault last;
  EXPECT_EQ(records_of(bytes, {}, &last), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(bytes.reads(), 2);  // one read for the data, one that finds the end
}

TEST(RecordReaderTest, ShortReadWithoutLineFeedEndsTheRecord) {
  // A console read ended by end-of-input mid-line delivers the line alone.
  MemoryBytes bytes("typed", 5);
  InputRecord in;
  in.buffer.reset(new char[8]);
  in.capacity = 8;
  int os_error = 0;
  ASSERT_EQ(read_record(in, bytes, {}, &os_error), InputFault::kNone);
  EXPECT_EQ(current(in), "typed");
  EXPECT_EQ(bytes.reads(), 1);
}

TEST(RecordReaderTest, ReadFailures) {
  struct Row {
    platform::ErrorKind kind;
    bool standard_input;
    InputFault fault;
  };
  const Row rows[] = {
      {platform::ErrorKind::kEndOfFile, false, InputFault::kEndOfFile},
      {platform::ErrorKind::kBrokenPipe, true, InputFault::kEndOfFile},
      {platform::ErrorKind::kBrokenPipe, false, InputFault::kReadFailed},
      {platform::ErrorKind::kAborted, true, InputFault::kReadFailed},
      {platform::ErrorKind::kOther, false, InputFault::kReadFailed},
  };
  for (const Row& row : rows) {
    for (const char* before : {"", "ab"}) {
      FailingBytes bytes(before, {row.kind, 77});
      InputRecord in;
      int os_error = 0;
      const ReadMode mode{.byte_reads = true, .standard_input = row.standard_input};
      InputFault fault = read_record(in, bytes, mode, &os_error);
      if (row.kind == platform::ErrorKind::kEndOfFile && before[0] != '\0') {
        EXPECT_EQ(fault, InputFault::kNone) << "a last line without its LF is a record";
      } else {
        EXPECT_EQ(fault, row.fault) << static_cast<int>(row.kind) << " after '" << before << "'";
        if (row.fault == InputFault::kReadFailed) {
          EXPECT_EQ(os_error, 77);
        }
      }
    }
  }
}

}  // namespace
}  // namespace recio
