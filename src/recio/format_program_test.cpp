// Format programs: the words the builder lays out, and which programs the
// decoder accepts.
#include "recio/format_program.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace recio {
namespace {

// The bytes of a program as they lie in memory.
template <size_t N>
std::vector<uint8_t> bytes_of(const std::array<uint32_t, N>& words) {
  std::vector<uint8_t> bytes(sizeof words);
  std::memcpy(bytes.data(), words.data(), sizeof words);
  return bytes;
}

TEST(FormatBuilder, ElementLayouts) {
  // "(/, 'abcde', I, A, I3, F12.5)"
  constexpr auto program = make_format_program<Slash, Lit<"abcde">, I, A, Iw<3>, F<12, 5>>();
  const std::vector<uint8_t> expected = {
      0x36, 0x00, 0x00, 0x00,                                   // FMT_BEGIN
      0x47, 0x00, 0x01, 0x00,                                   // FMT_SLASH, repeat 1
      0x1c, 0x00, 0x05, 0x00, 'a', 'b', 'c', 'd',               // FMT_LITERAL, 5 bytes
      'e',  0x00, 0x00, 0x00,                                   //   padded to the word
      0x4d, 0x00, 0x01, 0x00,                                   // FMT_I, repeat 1
      0x48, 0x00, 0x01, 0x00,                                   // FMT_A, repeat 1
      0x24, 0x00, 0x00, 0x00, 1,   0,   0,   0,   3,  0, 0, 0,  // FMT_I_W, repeat 1, w 3
      0x21, 0x00, 0x00, 0x05, 1,   0,   0,   0,   12, 0, 0, 0,  // FMT_F_W_D, d 5, repeat 1, w 12
      0x37, 0x00, 0x00, 0x00,                                   // FMT_END
  };
  EXPECT_EQ(bytes_of(program), expected);
}

TEST(FormatBuilder, LiteralPadding) {
  // Texts of 0 to 5 bytes take 1, 1, 1, 1, 2 and 2 words after their head.
  EXPECT_EQ(make_format_program<Lit<"">>().size(), 3u);
  EXPECT_EQ(make_format_program<Lit<"a">>().size(), 4u);
  EXPECT_EQ(make_format_program<Lit<"abcd">>().size(), 4u);
  EXPECT_EQ(make_format_program<Lit<"abcde">>().size(), 5u);
  const std::vector<uint8_t> expected = {0x36, 0,   0,   0,   0x1c, 0, 4, 0,
                                         'a',  'b', 'c', 'd', 0x37, 0, 0, 0};
  EXPECT_EQ(bytes_of(make_format_program<Lit<"abcd">>()), expected);
}

TEST(FormatDecoder, DecodesEachElementOnce) {
  constexpr auto program = make_format_program<Lit<"xy">, Iw<3>, F<4, 1>, Slash, I, A>();
  struct Row {
    uint8_t code;
    int32_t repeat;
    int32_t width;
    uint8_t digits;
    const char* text;
    size_t words;
  };
  const Row rows[] = {
      {FMT_BEGIN, 0, 0, 0, "", 1}, {FMT_LITERAL, 0, 0, 0, "xy", 2}, {FMT_I_W, 1, 3, 0, "", 3},
      {FMT_F_W_D, 1, 4, 1, "", 3}, {FMT_SLASH, 1, 0, 0, "", 1},     {FMT_I, 1, 0, 0, "", 1},
      {FMT_A, 1, 0, 0, "", 1},     {FMT_END, 0, 0, 0, "", 1},
  };
  size_t at = 0;
  for (const Row& row : rows) {
    FormatElement element;
    ASSERT_TRUE(decode_element(program, at, &element)) << "word " << at;
    EXPECT_EQ(element.code, row.code) << "word " << at;
    EXPECT_EQ(element.repeat, row.repeat) << "word " << at;
    EXPECT_EQ(element.width, row.width) << "word " << at;
    EXPECT_EQ(element.digits, row.digits) << "word " << at;
    EXPECT_EQ(element.text, row.text) << "word " << at;
    EXPECT_EQ(element.words, row.words) << "word " << at;
    at += element.words;
  }
  EXPECT_EQ(at, program.size());
  EXPECT_EQ(count_items(program), 4u);
}

TEST(FormatDecoder, RefusesWhatItDoesNotSupport) {
  constexpr uint32_t kBegin = 0x36, kEnd = 0x37;
  struct Row {
    const char* what;
    std::vector<uint32_t> words;
  };
  const Row rows[] = {
      {"empty", {}},
      {"no FMT_BEGIN", {0x00010047, kEnd}},
      {"no FMT_END", {kBegin, 0x00010047}},
      {"words after FMT_END", {kBegin, kEnd, kEnd}},
      {"a second FMT_BEGIN", {kBegin, kBegin, kEnd}},
      {"an unknown code", {kBegin, 0x00010099, kEnd}},
      {"a repeat count of 0", {kBegin, 0x0000004d, kEnd}},
      {"a nonzero reserved byte", {kBegin, 0x0001014d, kEnd}},
      {"an operand on FMT_BEGIN", {0x00010036, kEnd}},
      {"a literal running past the end", {kBegin, 0x000c001c, 0x61616161, kEnd}},
      {"a long element cut short", {kBegin, 0x01000021, 1}},
      {"flags on a long element", {kBegin, 0x01000121, 1, 4, kEnd}},
      {"a width of 0", {kBegin, 0x01000021, 1, 0, kEnd}},
      {"a negative width", {kBegin, 0x00000024, 1, 0xfffffffd, kEnd}},
      {"a repeat count of 0 on a long element", {kBegin, 0x00000024, 0, 3, kEnd}},
  };
  for (const Row& row : rows) {
    EXPECT_FALSE(is_valid_format_program(row.words)) << row.what;
  }
  // The smallest valid programs.
  EXPECT_TRUE(is_valid_format_program(std::vector<uint32_t>{kBegin, kEnd}));
  EXPECT_TRUE(is_valid_format_program(std::vector<uint32_t>{kBegin, 0x0002004d, kEnd}));
}

}  // namespace
}  // namespace recio
