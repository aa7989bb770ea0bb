// Chunks of whole records: where they are cut, what is carried over, and
// that a quoted line break never ends one.
#include "kit/files/record_chunks.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "kit/files/csv.h"

namespace kit {
namespace {

using Chunks = std::vector<std::string>;

// The chunks of `text`, of which the first `read_ahead` bytes were read
// before (as a header reader reads ahead), the rest coming from the stream.
Chunks chunks_of(const std::string& text, size_t read_ahead, size_t chunk_bytes) {
  std::string rest = text.substr(read_ahead);
  std::FILE* in =
      rest.empty() ? std::fopen("/dev/null", "rb") : fmemopen(rest.data(), rest.size(), "rb");
  RecordChunks source(in, std::string_view(text).substr(0, read_ahead), rest.empty(), chunk_bytes);
  Chunks chunks;
  std::string chunk = "left over";
  while (source.next(&chunk)) chunks.push_back(chunk);
  EXPECT_EQ(chunk, "");               // emptied at the end
  EXPECT_FALSE(source.next(&chunk));  // and stays at the end
  std::fclose(in);
  return chunks;
}

TEST(RecordChunks, CutsAtTheLastRecordEndOfEachRead) {
  struct Row {
    std::string text;
    size_t read_ahead, chunk_bytes;
    Chunks chunks;
  } rows[] = {
      {"", 0, 4, {}},
      {"a\nb\nc\n", 0, 2, {"a\n", "b\n", "c\n"}},
      {"a\nb\nc\n", 0, 4, {"a\nb\n", "c\n"}},
      {"a\nb\nc\n", 0, 5, {"a\nb\n", "c\n"}},  // "c" is carried over
      {"a\nb\nc\n", 0, 6, {"a\nb\nc\n"}},
      {"a\nb\nc\n", 0, 100, {"a\nb\nc\n"}},
      // The last record without its line end comes as it stands.
      {"a\nbc", 0, 2, {"a\n", "bc"}},
      {"a\nbcdef", 0, 2, {"a\n", "bcdef"}},
      // CR LF: the LF ends the record.
      {"a\r\nb\r\n", 0, 3, {"a\r\n", "b\r\n"}},
      {"a\r\nb\r\n", 0, 2, {"a\r\n", "b\r\n"}},
      // A record longer than a read: reads twice as much, and again, and
      // takes every record that ends within the longer read.
      {"abcde\nfg\n", 0, 2, {"abcde\n", "fg\n"}},
      {"abcdefghi\nj\nk\nlmnopq\n", 0, 2, {"abcdefghi\nj\nk\n", "lmnopq\n"}},
      // A line break inside quotes ends no chunk; one after them does.
      {"\"x\ny\"\nz\n", 0, 3, {"\"x\ny\"\n", "z\n"}},
      {"a,\"x\n\ny\"\nb\n", 0, 5, {"a,\"x\n\ny\"\n", "b\n"}},
      {"a\n\"b\nc\"\n", 0, 4, {"a\n", "\"b\nc\"\n"}},
      {"\"\"\"\n\"\nz\n", 0, 6, {"\"\"\"\n\"\n", "z\n"}},  // an escaped quote, a quoted LF
      {"\"unclosed\nx\n", 0, 4, {"\"unclosed\nx\n"}},
      // What a header reader read ahead comes first.
      {"a\nb\nc\n", 2, 4, {"a\nb\n", "c\n"}},
      {"a\nb\nc\n", 3, 2, {"a\n", "b\n", "c\n"}},
      {"a\nb\nc\n", 6, 4, {"a\nb\nc\n"}},  // all of it, the stream at its end: one chunk
      {"a\nb\nc\n", 6, 100, {"a\nb\nc\n"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text + " (read ahead " + std::to_string(r.read_ahead) + ", reads of " +
                 std::to_string(r.chunk_bytes) + ")");
    EXPECT_EQ(chunks_of(r.text, r.read_ahead, r.chunk_bytes), r.chunks);
  }
}

// The records of `text`, each field list as read.
std::vector<std::vector<std::string>> records_of(const std::string& text) {
  CsvReader reader;
  reader.reset(text);
  std::vector<std::vector<std::string>> records;
  while (reader.next()) records.emplace_back(reader.fields().begin(), reader.fields().end());
  EXPECT_EQ(reader.error(), "");
  return records;
}

// On random CSV full of quoted line breaks, at many read sizes: the chunks
// put together give the input back, every chunk but the last ends with a
// record, and the chunks read one by one give the input's records.
TEST(RecordChunks, ChunksReadAsTheWhole) {
  std::mt19937 random(18);
  const char* pieces[] = {"1", "22", "\"q\nq\"", "\"a,\"\"b\"\"\"", "\"\r\n\"", "x y", ""};
  std::string text;
  for (int row = 0; row < 300; ++row) {
    const int fields = 1 + static_cast<int>(random() % 4);
    for (int f = 0; f < fields; ++f) {
      if (f > 0) text += ',';
      text += pieces[random() % std::size(pieces)];
    }
    text += row % 5 == 0 ? "\r\n" : "\n";
  }
  const auto whole = records_of(text);
  ASSERT_EQ(whole.size(), 300u);
  for (size_t chunk_bytes : std::initializer_list<size_t>{1, 2, 3, 7, 16, 61, 500, 4096, 100000}) {
    for (size_t read_ahead : std::initializer_list<size_t>{0, 5, 333}) {
      SCOPED_TRACE("reads of " + std::to_string(chunk_bytes) + ", read ahead " +
                   std::to_string(read_ahead));
      const Chunks chunks = chunks_of(text, read_ahead, chunk_bytes);
      std::string joined;
      std::vector<std::vector<std::string>> records;
      for (const std::string& chunk : chunks) {
        ASSERT_FALSE(chunk.empty());
        ASSERT_EQ(whole_records_size(chunk), chunk.size());
        joined += chunk;
        for (auto& r : records_of(chunk)) records.push_back(std::move(r));
      }
      EXPECT_EQ(joined, text);
      EXPECT_EQ(records, whole);
    }
  }
}

}  // namespace
}  // namespace kit
