// CSV records in and out.
#include "kit/files/csv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace kit {
namespace {

// Reads every record of `text`; a failed read adds "!" and the error.
std::vector<std::vector<std::string>> read_all(const std::string& text) {
  std::FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  CsvReader reader(in);
  std::vector<std::vector<std::string>> records;
  while (reader.next()) {
    records.emplace_back(reader.fields().begin(), reader.fields().end());
    records.back().insert(records.back().begin(), std::to_string(reader.line()));
  }
  if (!reader.error().empty()) records.push_back({"!", reader.error()});
  std::fclose(in);
  return records;
}

using Records = std::vector<std::vector<std::string>>;

TEST(CsvReader, ReadsRecordsAsWritten) {
  struct Row {
    std::string text;
    Records records;  // each starts with its line number
  } rows[] = {
      {"a,b\n1,2\n", {{"1", "a", "b"}, {"2", "1", "2"}}},
      {"a,b\r\n1,2", {{"1", "a", "b"}, {"2", "1", "2"}}},
      {"\xEF\xBB\xBF" "a,b\n", {{"1", "a", "b"}}},
      {"\"x,y\",\"say \"\"hi\"\"\"\n", {{"1", "x,y", "say \"hi\""}}},
      {"\"two\nlines\",z\nnext\n", {{"1", "two\nlines", "z"}, {"3", "next"}}},
      {",\n\n", {{"1", "", ""}, {"2", ""}}},
      {"\"open\n", {{"!", "a quoted field is not closed before the end of the input"}}},
  };
  for (const Row& r : rows) EXPECT_EQ(read_all(r.text), r.records) << r.text;
}

TEST(CsvReader, ReadsRecordsLongerThanItsBuffer) {
  std::string big(200000, 'x');
  Records records = read_all("h\n" + big + ",1\nlast\n");
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1][1], big);
  EXPECT_EQ(records[2], (std::vector<std::string>{"3", "last"}));
}

// Random records, plain and quoted, with CR LF or LF, read back through the
// quick path and the general one alike; a plain record's text is its fields.
TEST(CsvReader, ReadsRandomRecordsBackAsWritten) {
  std::mt19937 rng(7);
  auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  for (int n = 0; n < 300; ++n) {
    Records want;
    std::string text = n % 5 == 0 ? "\xEF\xBB\xBF" : "";
    uint64_t line = 1;
    const int count = pick(n % 10 == 0 ? 5000 : 20) + 1;
    for (int r = 0; r < count; ++r) {
      std::vector<std::string> record{std::to_string(line)};
      const int fields = pick(5) + 1;
      for (int f = 0; f < fields; ++f) {
        std::string field;
        const int length = pick(8);
        if (pick(4) == 0) {  // quoted: anything at all
          for (int i = 0; i < length; ++i) field.push_back(",\"\r\nab"[pick(6)]);
          text += '"';
          for (char c : field) text += c == '"' ? std::string("\"\"") : std::string(1, c);
          text += '"';
          line += static_cast<uint64_t>(std::count(field.begin(), field.end(), '\n'));
        } else {  // plain: a CR only inside
          for (int i = 0; i < length; ++i) field.push_back("ab1\r"[pick(i + 1 < length ? 4 : 3)]);
          text += field;
        }
        record.push_back(field);
        if (f + 1 < fields) text += ',';
      }
      text += pick(3) == 0 ? "\r\n" : "\n";
      ++line;
      want.push_back(record);
    }
    std::FILE* in = fmemopen(text.data(), text.size(), "r");
    CsvReader reader(in);
    Records got;
    while (reader.next()) {
      got.emplace_back(reader.fields().begin(), reader.fields().end());
      got.back().insert(got.back().begin(), std::to_string(reader.line()));
      if (!reader.plain()) continue;
      std::string joined;
      for (size_t i = 0; i < reader.fields().size(); ++i) {
        joined += (i > 0 ? "," : "") + std::string(reader.fields()[i]);
      }
      EXPECT_EQ(reader.record(), joined);
      EXPECT_EQ(joined.find_first_of("\"\r"), std::string::npos) << joined;
    }
    std::fclose(in);
    ASSERT_EQ(got, want) << n;
  }
}

// Whole records end at the last LF outside quotes, where the reader ends
// them; a quoted LF, or an LF after a quote left open, ends none.
TEST(WholeRecords, EndAtTheLastLineEndOutsideQuotes) {
  struct Row {
    std::string text;
    size_t size;
  } rows[] = {
      {"", 0},
      {"a,b", 0},
      {"a,b\n", 4},
      {"a\nb\nc", 4},
      {"\"x\ny\"\n", 6},
      {"a\n\"x\ny", 2},
      {"a\n\"x\"\"\n\"", 2},
      {"a\n\"x\"\"\"\nb", 8},
      {"a\nb\"c\nd\"e\nf", 10},
      {"\"\"\n\"", 3},
  };
  for (const Row& r : rows) EXPECT_EQ(whole_records_size(r.text), r.size) << r.text;
}

// Text cut at whole records reads, piece by piece in memory, as the whole
// stream reads: the same records, lines counted from each piece's start.
TEST(CsvReader, ReadsPiecesInMemoryAsTheStream) {
  std::string text = "h,i\n";
  for (int i = 0; i < 400; ++i) {
    text += i % 3 == 0 ? "\"q\n" + std::to_string(i) + ",\"\"\",x\r\n" : std::to_string(i) + ",y\n";
  }
  text += "\"open,";
  const Records whole = read_all(text);
  for (size_t cut : {size_t{1}, size_t{7}, size_t{100}, size_t{1000}}) {
    Records got;
    CsvReader reader;
    uint64_t first_line = 1;
    std::string_view rest = text;
    while (!rest.empty()) {
      size_t size = whole_records_size(rest.substr(0, cut));
      if (size == 0) size = whole_records_size(rest);
      if (size == 0) size = rest.size();
      reader.reset(rest.substr(0, size));
      while (reader.next()) {
        got.emplace_back(reader.fields().begin(), reader.fields().end());
        got.back().insert(got.back().begin(), std::to_string(first_line + reader.line() - 1));
      }
      if (!reader.error().empty()) got.push_back({"!", reader.error()});
      first_line += reader.next_line() - 1;
      rest.remove_prefix(size);
    }
    EXPECT_EQ(got, whole) << cut;
  }
}

TEST(CsvWriter, QuotesOnlyWhereNeeded) {
  char* data = nullptr;
  size_t size = 0;
  std::FILE* out = open_memstream(&data, &size);
  {
    CsvWriter writer(out);
    writer.field("plain");
    writer.field("a,b");
    writer.field("q\"t");
    writer.number(0.1);
    writer.fixed(1.23456, 3);
    writer.end_row();
  }
  std::fclose(out);
  EXPECT_EQ(std::string(data, size), "plain,\"a,b\",\"q\"\"t\",0.1,1.235\n");
  free(data);
}

}  // namespace
}  // namespace kit
