// Output statements on a captured channel: free-form layout and wrapping,
// format walks, buffer growth, and the faults a statement can meet.
#include "recio/output_statement.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace recio {
namespace {

// Keeps every completed record (without its CR LF, which it checks) and can
// refuse writes and allocations.
class CaptureChannel : public RecordChannel {
 public:
  std::vector<std::string> records;
  bool fail_writes = false;
  size_t allocation_limit = SIZE_MAX;
  std::vector<size_t> allocations;

  bool write_record(const char* bytes, size_t size) override {
    std::string record(bytes, size);
    EXPECT_TRUE(record.ends_with("\r\n")) << record;
    record.resize(size - 2);
    records.push_back(record);
    return !fail_writes;
  }
  std::unique_ptr<char[]> allocate(size_t size) override {
    if (size > allocation_limit) return nullptr;
    allocations.push_back(size);
    return RecordChannel::allocate(size);
  }
};

using Records = std::vector<std::string>;

OutputItem text(std::string_view s) { return OutputItem::text_item(s); }
OutputItem i16(int16_t v) { return OutputItem::int16(v); }
OutputItem i32(int32_t v) { return OutputItem::int32(v); }
OutputItem r64(double v) { return OutputItem::real64(v); }

class OutputStatementTest : public ::testing::Test {
 protected:
  // Runs one statement, marking the final item last (or finishing when there
  // are none), and returns the records it completed.
  Records run(FormatProgram format, std::vector<OutputItem> items) {
    channel_.records.clear();
    EXPECT_EQ(statement_.begin(record_, channel_, format), OutputFault::kNone);
    if (items.empty()) {
      EXPECT_EQ(statement_.finish(), OutputFault::kNone);
    } else {
      items.back().last = true;
      for (const OutputItem& item : items) {
        EXPECT_EQ(statement_.item(item), OutputFault::kNone);
      }
    }
    EXPECT_FALSE(statement_.active());
    expect_fresh_record();
    return channel_.records;
  }
  Records free_form(std::vector<OutputItem> items) { return run({}, std::move(items)); }

  // Between statements the unit holds a fresh record: blank, empty, room 80.
  void expect_fresh_record() {
    EXPECT_EQ(record_.position, 0u);
    EXPECT_EQ(record_.high_water, 0u);
    EXPECT_EQ(record_.room, 80);
    ASSERT_GE(record_.capacity, 80u);
    std::string buffer(record_.buffer.get(), record_.capacity + 2);
    EXPECT_EQ(buffer.find_first_not_of(' '), std::string::npos) << "|" << buffer << "|";
  }

  OutputRecord record_;
  CaptureChannel channel_;
  OutputStatement statement_;
};

// ---- Free-form output --------------------------------------------------------

const std::string k24 = "Warning!! For bridge No.";
const std::string k34 = ", surges due to hurricanes making ";

std::string repeat(char c, size_t n) { return std::string(n, c); }
std::string letters(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('a' + i % 26));
  return s;
}

TEST_F(OutputStatementTest, FreeFormLayout) {
  const std::string t70 = repeat('x', 70), t79 = letters(79), t80 = letters(80),
                    t200 = letters(200), t100 = letters(100);
  const std::string n72 =
      "           1           2           3           4           5           6";
  struct Row {
    const char* what;
    std::vector<OutputItem> items;
    Records records;
  };
  const Row rows[] = {
      {"no items: one blank", {}, {" "}},
      {"a text after the leading blank", {text("Hello")}, {" Hello"}},
      {"trailing blanks kept", {text("ends in a blank ")}, {" ends in a blank "}},
      {"an empty text", {text("")}, {" "}},
      {"no separator between texts", {text("abc"), text("def")}, {" abcdef"}},
      {"an Int16 in 7 columns, no leading blank", {i16(19)}, {"     19"}},
      {"an Int32 in 12 columns", {i32(900)}, {"         900"}},
      {"the most negative Int16", {i16(-32768)}, {" -32768"}},
      {"no separator between numbers", {i16(1), i16(2)}, {"      1      2"}},
      {"a text then a number", {text("ab"), i32(-5)}, {" ab          -5"}},
      {"the location warning: 67 columns",
       {text(k24), i16(19), text(k34)},
       {" " + k24 + "     19 " + k34}},
      {"79 bytes fill the line", {text(t79)}, {" " + t79}},
      {"70 then 9 bytes fill the line", {text(t70), text("123456789")}, {" " + t70 + "123456789"}},
      {"70 then 10 bytes: the second starts a record",
       {text(t70), text("0123456789")},
       {" " + t70, " 0123456789"}},
      {"80 bytes: split, the continuation begins with a blank",
       {text(t80)},
       {" " + t80.substr(0, 79), " " + t80.substr(79)}},
      {"200 bytes: split over three records",
       {text(t200)},
       {" " + t200.substr(0, 79), " " + t200.substr(79, 79), " " + t200.substr(158)}},
      {"a number that does not fit starts a record",
       {i32(1), i32(2), i32(3), i32(4), i32(5), i32(6), i32(7)},
       {n72, "           7"}},
      {"a number that just fits",
       {i32(1), i32(2), i32(3), i32(4), i32(5), i32(6), i16(7)},
       {n72 + "      7"}},
      {"a text that just fits behind a number and its separator",
       {i32(1), i32(2), i32(3), i32(4), i32(5), i32(6), text("abcdefg")},
       {n72 + " abcdefg"}},
      {"a text as long as the room before its separator is split",
       {i32(1), i32(2), i32(3), i32(4), i32(5), i32(6), text("abcdefgh")},
       {n72 + " abcdefg", " h"}},
      {"a longer text goes to a fresh record; the separator stays behind",
       {i32(1), i32(2), i32(3), i32(4), i32(5), i32(6), text("abcdefghi")},
       {n72 + " ", " abcdefghi"}},
      {"a full line of numbers, then a text",
       {i32(1), i32(2), i16(3), i16(4), i16(5), i16(6), i16(7), i16(8), i16(9), i16(10), text("x")},
       {"           1           2      3      4      5      6      7      8      9     10", " x"}},
      {"a long text behind a number",
       {i16(5), text(t100)},
       {"      5 ", " " + t100.substr(0, 79), " " + t100.substr(79)}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(free_form(row.items), row.records) << row.what;
  }
}

TEST_F(OutputStatementTest, FreeFormRecordsNeverPassEightyColumns) {
  // Mixed items of every length: each record at most 80 columns, each
  // starting with a blank unless a number opens it, and no byte lost.
  std::vector<std::string> texts;
  for (size_t n = 0; n < 170; n += 7) texts.push_back(letters(n));
  for (size_t first = 0; first < texts.size(); ++first) {
    std::vector<OutputItem> items = {i16(1), text(texts[first]), i32(2),
                                     text(texts[texts.size() - 1 - first]), text("z")};
    std::string all_bytes;
    for (const std::string& record : free_form(items)) {
      ASSERT_LE(record.size(), 80u) << record;
      all_bytes += record;
    }
    std::string letters_only;
    for (char c : all_bytes) {
      if (c >= 'a' && c <= 'z') letters_only.push_back(c);
    }
    EXPECT_EQ(letters_only, texts[first] + texts[texts.size() - 1 - first] + "z");
  }
}

TEST_F(OutputStatementTest, FreeFormRefusesReals) {
  ASSERT_EQ(statement_.begin(record_, channel_, {}), OutputFault::kNone);
  EXPECT_EQ(statement_.item(r64(1.0)), OutputFault::kMisuse);
  EXPECT_FALSE(statement_.active());
}

// ---- Formatted output --------------------------------------------------------

TEST_F(OutputStatementTest, FormatWalk) {
  constexpr auto literal = make_format_program<Lit<"text">>();
  constexpr auto slash_first = make_format_program<Slash, Lit<"a">, Slash, Lit<"b">>();
  constexpr auto slashes = make_format_program<Slash, Slash>();
  constexpr auto empty = make_format_program<>();
  constexpr auto after_last = make_format_program<Lit<"n=">, I, Slash, Lit<"next">>();
  constexpr auto fields = make_format_program<Iw<3>, A, I, F<6, 2>, Lit<"|">>();
  constexpr auto adjacent = make_format_program<A, A, Iw<2>, Iw<2>>();
  struct Row {
    const char* what;
    FormatProgram program;
    std::vector<OutputItem> items;
    Records records;
  };
  const Row rows[] = {
      {"a literal, no leading blank", literal, {}, {"text"}},
      {"a leading slash writes an empty record", slash_first, {}, {"", "a", "b"}},
      {"slashes alone", slashes, {}, {"", "", ""}},
      {"an empty format writes an empty record", empty, {}, {""}},
      {"what follows the last item is still written", after_last, {i16(5)}, {"n=      5", "next"}},
      {"an Int32 under I takes 12 columns", after_last, {i32(5)}, {"n=           5", "next"}},
      {"a walk without its items stops at the descriptor", after_last, {}, {"n="}},
      {"fields side by side",
       fields,
       {i32(-12), text("LEFT "), i16(7), r64(-0.125)},
       {"-12LEFT       7 -0.12|"}},
      {"fields that overflow",
       fields,
       {i32(1000), text(""), i16(1), r64(1000)},
       {"***      1******|"}},
      {"texts of any length under A",
       adjacent,
       {text("ab"), text(""), i16(1), i32(-1)},
       {"ab 1-1"}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(run(row.program, row.items), row.records) << row.what;
  }
}

TEST_F(OutputStatementTest, RepeatCountsAndMinimumDigits) {
  // Hand-built: (I repeated 3 times, "/" repeated 2 times, I5.3 repeated 2 times).
  const uint32_t program[] = {0x36, 0x0003004d, 0x00020047, 0x03000024, 2, 5, 0x37};
  ASSERT_TRUE(is_valid_format_program(program));
  EXPECT_EQ(run(program, {i16(1), i16(2), i16(3), i32(7), i32(-7)}),
            (Records{"      1      2      3", "", "  007 -007"}));
}

TEST_F(OutputStatementTest, BufferGrowsByTheLargestOfShortfallHalfKilobyteAndAnEighth) {
  // Lengths of successive formatted records and the capacity after each.
  struct Row {
    size_t length;
    size_t capacity;
  };
  const Row rows[] = {
      {80, 80},        // a full free-form line fits the first buffer
      {85, 592},       // short by 5: grows by 512
      {592, 592},      //
      {700, 1104},     // short by 108: grows by 512
      {10000, 10000},  // short by 8896
      {10100, 11250},  // short by 100: grows by an eighth, 1250
      {12, 11250},     // never shrinks
  };
  for (const Row& row : rows) {
    const std::string text = letters(row.length);
    const uint32_t header = 0x0000001c | static_cast<uint32_t>(row.length) << 16;
    std::vector<uint32_t> program = {0x36, header};
    for (size_t i = 0; i < row.length; i += 4) {
      uint32_t word = 0;
      for (size_t k = 0; k < 4 && i + k < row.length; ++k) {
        word |= uint32_t{static_cast<uint8_t>(text[i + k])} << (8 * k);
      }
      program.push_back(word);
    }
    program.push_back(0x37);
    EXPECT_EQ(run(program, {}), Records{text}) << row.length;
    EXPECT_EQ(record_.capacity, row.capacity) << row.length;
  }
  // A field grows the buffer as a literal does; free-form still wraps at 80.
  constexpr auto wide = make_format_program<Lit<"x">, F<1000, 1>>();
  EXPECT_EQ(run(wide, {r64(2.5)}), Records{"x" + repeat(' ', 997) + "2.5"});
  const std::string long_text = letters(100);
  EXPECT_EQ(free_form({text(long_text)}).size(), 2u);
}

TEST_F(OutputStatementTest, RecordsEndAtTheirHighWaterMark) {
  // A long record followed by short ones: nothing of the long one shows.
  constexpr auto long_record = make_format_program<Lit<"0123456789">, F<90, 1>>();
  constexpr auto short_record = make_format_program<Lit<"ab">>();
  run(long_record, {r64(1)});
  EXPECT_EQ(run(short_record, {}), Records{"ab"});
  EXPECT_EQ(free_form({}), Records{" "});
  EXPECT_EQ(free_form({i16(3)}), Records{"      3"});
}

// A program begun again replays the walk kept from its first start. Over a
// sequence that begins more programs than are kept, one program's words
// changed in place, and a buffer too small for a kept walk, every statement
// writes what a statement that keeps nothing writes.
TEST_F(OutputStatementTest, BegunAgainAProgramWritesWhatItsWalkWrote) {
  constexpr auto prompt = make_format_program<Slash, Lit<"Enter it">, Slash, Lit<"(integer)">>();
  constexpr auto row = make_format_program<Lit<"n=">, I, Slash, Lit<"next">>();
  constexpr auto fields = make_format_program<Lit<"[">, Iw<3>, A, Lit<"]">>();
  constexpr auto wide = make_format_program<Lit<"0123456789">, F<200, 1>>();
  constexpr auto long_literals = make_format_program<
      Lit<"0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789">,
      Slash,
      Lit<"0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789">>();
  std::vector<uint32_t> changing(prompt.begin(), prompt.end());
  std::vector<std::array<uint32_t, 5>> others;  // nine one-literal programs
  for (char c = 'a'; c < 'j'; ++c) {
    const uint32_t word = static_cast<uint32_t>(c) | uint32_t{'!'} << 8;
    others.push_back({0x36, 0x0002001c, word, 0x37, 0});
    others.back()[3] = 0x37;
  }
  struct Step {
    FormatProgram program;
    std::vector<OutputItem> items;
  };
  std::vector<Step> steps = {{prompt, {}}, {prompt, {}}, {row, {i16(4)}}, {row, {i16(-5)}},
                             {fields, {i32(7), text("ab")}}, {fields, {i32(1000), text("")}},
                             {changing, {}}, {changing, {}}, {changing, {}}};
  for (const auto& other : others) steps.push_back({std::span(other).first(4), {}});
  steps.push_back({prompt, {}});  // pushed out of the kept walks by now
  steps.push_back({prompt, {}});
  steps.push_back({changing, {}});
  for (const Step& step : steps) {
    OutputRecord fresh_record;
    CaptureChannel fresh_channel;
    OutputStatement fresh;
    ASSERT_EQ(fresh.begin(fresh_record, fresh_channel, step.program), OutputFault::kNone);
    std::vector<OutputItem> items = step.items;
    if (items.empty()) {
      EXPECT_EQ(fresh.finish(), OutputFault::kNone);
    } else {
      items.back().last = true;
      for (const OutputItem& item : items) EXPECT_EQ(fresh.item(item), OutputFault::kNone);
    }
    EXPECT_EQ(run(step.program, step.items), fresh_channel.records);
    if (step.program.data() == changing.data()) changing[3] ^= 0x20;  // the words change, not where they are
  }
  // A walk kept in a buffer grown past a line is not replayed into a new
  // one: the buffer grows as it did.
  const std::string digits = "0123456789";
  std::string hundred;
  while (hundred.size() < 100) hundred += digits;
  run(wide, {r64(1)});
  run(long_literals, {});
  run(long_literals, {});
  record_ = OutputRecord{};
  EXPECT_EQ(run(long_literals, {}), (Records{hundred, hundred}));
  EXPECT_GE(record_.capacity, 100u);
}

// A kept walk whose records cannot be written fails as the walk does, after
// the same records.
TEST_F(OutputStatementTest, ReplayedWalkThatCannotBeWrittenIsMessage38) {
  constexpr auto two_records = make_format_program<Lit<"a">, Slash, Lit<"b">, Slash, Lit<"c">>();
  run(two_records, {});
  channel_.records.clear();
  channel_.fail_writes = true;
  EXPECT_EQ(statement_.begin(record_, channel_, two_records), OutputFault::kWriteFailed);
  EXPECT_EQ(channel_.records, Records{"a"});
  EXPECT_FALSE(statement_.active());
  channel_.fail_writes = false;
  expect_fresh_record();
  EXPECT_EQ(run(two_records, {}), (Records{"a", "b", "c"}));
}

// A one-text record, written whole, gives what the statement of that one text
// item gives, whatever the record held before and whatever the text's length;
// and it leaves a fresh record behind.
TEST_F(OutputStatementTest, OneTextRecordIsTheStatementOfThatText) {
  constexpr auto long_record = make_format_program<Lit<"0123456789">, F<200, 1>>();
  const std::string texts[] = {"", "a", k24, letters(78), letters(79), letters(80),
                               letters(81), letters(200)};
  for (bool grown : {false, true}) {
    for (const std::string& t : texts) {
      record_ = OutputRecord{};
      if (grown) run(long_record, {r64(1)});  // a buffer grown past a line, now blank
      const Records expected = free_form({text(t)});
      record_ = OutputRecord{};
      if (grown) run(long_record, {r64(1)});
      channel_.records.clear();
      EXPECT_EQ(statement_.text_record(record_, channel_, t), OutputFault::kNone);
      EXPECT_EQ(channel_.records, expected) << t.size() << (grown ? " grown" : "");
      EXPECT_FALSE(statement_.active());
      expect_fresh_record();
    }
  }
  // The first statement on a unit: the buffer is made as for any statement.
  record_ = OutputRecord{};
  channel_.records.clear();
  EXPECT_EQ(statement_.text_record(record_, channel_, "x"), OutputFault::kNone);
  EXPECT_EQ(channel_.records, Records{" x"});
  expect_fresh_record();
}

TEST_F(OutputStatementTest, OneTextRecordThatCannotBeWrittenIsMessage38) {
  for (const std::string& t : {std::string("short"), letters(150)}) {
    run({}, {});  // the buffer exists
    channel_.fail_writes = true;
    EXPECT_EQ(statement_.text_record(record_, channel_, t), OutputFault::kWriteFailed) << t;
    EXPECT_FALSE(statement_.active());
    channel_.fail_writes = false;
    expect_fresh_record();
    EXPECT_EQ(free_form({i16(7)}), Records{"      7"}) << "after " << t;
  }
}

// ---- Faults ------------------------------------------------------------------

TEST_F(OutputStatementTest, KindMismatchIsMessage61) {
  constexpr auto integer = make_format_program<I>();
  constexpr auto sized = make_format_program<Iw<3>>();
  constexpr auto real = make_format_program<F<4, 1>>();
  constexpr auto characters = make_format_program<A>();
  struct Row {
    FormatProgram program;
    OutputItem item;
  };
  const Row rows[] = {
      {integer, r64(1)}, {integer, text("1")}, {sized, r64(1)},      {real, i16(1)},
      {real, i32(1)},    {real, text("1")},    {characters, i16(1)},
  };
  for (const Row& row : rows) {
    ASSERT_EQ(statement_.begin(record_, channel_, row.program), OutputFault::kNone);
    OutputItem item = row.item;
    item.last = true;
    EXPECT_EQ(statement_.item(item), OutputFault::kTypeMismatch);
    EXPECT_FALSE(statement_.active());
  }
  EXPECT_EQ(output_fault_message(OutputFault::kTypeMismatch), 61);
}

TEST_F(OutputStatementTest, UnsupportedProgramsAndExtraItemsAreRefused) {
  const uint32_t unknown_code[] = {0x36, 0x00000004, 0x37};
  const uint32_t no_begin[] = {0x0001004d, 0x37};
  const uint32_t unknown_after_item[] = {0x36, 0x0001004d, 0x00010099, 0x37};
  EXPECT_EQ(statement_.begin(record_, channel_, unknown_code), OutputFault::kMisuse);
  EXPECT_EQ(statement_.begin(record_, channel_, no_begin), OutputFault::kMisuse);
  ASSERT_EQ(statement_.begin(record_, channel_, unknown_after_item), OutputFault::kNone);
  EXPECT_EQ(statement_.item(i16(1)), OutputFault::kMisuse);

  constexpr auto one_item = make_format_program<I>();
  ASSERT_EQ(statement_.begin(record_, channel_, one_item), OutputFault::kNone);
  EXPECT_EQ(statement_.item(i16(1)), OutputFault::kNone);
  EXPECT_EQ(statement_.item(i16(2)), OutputFault::kMisuse);
  EXPECT_EQ(statement_.item(i16(2)), OutputFault::kMisuse);  // no statement any more
  EXPECT_EQ(statement_.finish(), OutputFault::kMisuse);
}

TEST_F(OutputStatementTest, FailedWriteIsMessage38) {
  channel_.fail_writes = true;
  ASSERT_EQ(statement_.begin(record_, channel_, {}), OutputFault::kNone);
  EXPECT_EQ(statement_.finish(), OutputFault::kWriteFailed);
  EXPECT_FALSE(statement_.active());
  // A slash's record fails the statement at once: the rest is not processed.
  constexpr auto two_records = make_format_program<Lit<"a">, Slash, Lit<"b">>();
  channel_.records.clear();
  EXPECT_EQ(statement_.begin(record_, channel_, two_records), OutputFault::kWriteFailed);
  EXPECT_EQ(channel_.records, Records{"a"});
  EXPECT_EQ(output_fault_message(OutputFault::kWriteFailed), 38);
}

TEST_F(OutputStatementTest, BufferThatCannotGrowIsMessage66) {
  run(make_format_program<>(), {});  // creates the 80-byte buffer
  channel_.allocation_limit = 1000;
  constexpr auto wide_field = make_format_program<Lit<"x">, F<2000, 1>>();
  ASSERT_EQ(statement_.begin(record_, channel_, wide_field), OutputFault::kNone);
  EXPECT_EQ(statement_.item(r64(1)), OutputFault::kRecordOverflow);
  EXPECT_FALSE(statement_.active());
  EXPECT_EQ(output_fault_message(OutputFault::kRecordOverflow), 66);
  // The unit is usable again afterwards, with its old buffer.
  EXPECT_EQ(record_.capacity, 80u);
  EXPECT_EQ(free_form({text("ok")}), Records{" ok"});
}

TEST_F(OutputStatementTest, BufferThatCannotBeCreatedIsMessage98) {
  channel_.allocation_limit = 10;
  EXPECT_EQ(statement_.begin(record_, channel_, {}), OutputFault::kNoBuffer);
  EXPECT_EQ(output_fault_message(OutputFault::kNoBuffer), 98);
}

}  // namespace
}  // namespace recio

namespace recio {
namespace {

// Through the unit-facing calls a misuse stops the process at once, saying why.
TEST(OutputStatementDeathTest, MisuseStopsTheProcess) {
  EXPECT_DEATH(finish_output(), "output statement refused: finish outside a statement");
  const uint32_t unknown_code[] = {0x36, 0x00010099, 0x37};
  EXPECT_DEATH(begin_output(kConsoleOutputUnit, unknown_code),
               "output statement refused: an unsupported or malformed format element, unit -1");
}

}  // namespace
}  // namespace recio
