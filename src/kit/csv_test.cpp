// CSV records in and out.
#include "kit/csv.h"

#include <gtest/gtest.h>

#include <cstdio>
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
