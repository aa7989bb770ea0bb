// Table tests of the value scan: each row is input text, the kinds of the
// statements' items, and the values stored or the fault met.
#include "recio/scanner.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "recio/input_testing.h"

namespace recio {
namespace {

using Expected = std::optional<double>;  // nullopt: the item kept its value
constexpr std::nullopt_t kKeep = std::nullopt;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kSentinel = -4321;  // every item's value before the statement

struct Outcome {
  std::vector<Expected> values;
  InputFault fault = InputFault::kNone;
};

ItemKind kind_of(char c) {
  switch (c) {
    case 'h': return ItemKind::kInt16;
    case 'i': return ItemKind::kInt32;
    case 'f': return ItemKind::kReal32;
    default: return ItemKind::kReal64;
  }
}

// Runs statements on `input`. `kinds` names each item (h Int16, i Int32,
// f Real32, d Real64); '|' starts the next statement on the same records.
Outcome run(std::string_view input, std::string_view kinds,
            size_t capacity = kInitialRecordBuffer, bool byte_reads = false) {
  MemoryRecords records{std::string(input), capacity, byte_reads};
  InputStatement statement;
  Outcome out;
  bool starting = true;
  for (size_t k = 0; k < kinds.size() && out.fault == InputFault::kNone; ++k) {
    if (kinds[k] == '|') {
      starting = true;
      continue;
    }
    if (starting) {
      out.fault = statement.begin(&records);
      starting = false;
      if (out.fault != InputFault::kNone) break;
    }
    int16_t h = kSentinel;
    int32_t i = kSentinel;
    float f = kSentinel;
    double d = kSentinel;
    void* destinations[] = {&h, &i, &f, &d};
    const ItemKind kind = kind_of(kinds[k]);
    out.fault = statement.input_item(kind, destinations[static_cast<int>(kind)]);
    const double got = kind == ItemKind::kInt16   ? h
                       : kind == ItemKind::kInt32 ? i
                       : kind == ItemKind::kReal32 ? f
                                                   : d;
    out.values.push_back(got == kSentinel ? kKeep : Expected(got));
  }
  statement.end();
  return out;
}

bool same(const Expected& a, const Expected& b) {
  if (!a || !b) return !a && !b;
  if (std::isnan(*a) || std::isnan(*b)) return std::isnan(*a) && std::isnan(*b);
  return *a == *b && std::signbit(*a) == std::signbit(*b);
}

std::string show(const std::vector<Expected>& values) {
  std::string s;
  for (const Expected& v : values) s += v ? std::to_string(*v) + " " : "keep ";
  return s;
}

struct AcceptRow {
  const char* input;
  const char* kinds;
  std::vector<Expected> values;
};

struct RejectRow {
  const char* input;
  const char* kinds;
  InputFault fault;
  int message;
};

void check_accepts(const std::vector<AcceptRow>& rows) {
  for (const AcceptRow& row : rows) {
    // The same values from block reads into any buffer size, and byte reads.
    for (int way = 0; way < 3; ++way) {
      const size_t capacity = way == 1 ? 1 : kInitialRecordBuffer;
      Outcome out = run(row.input, row.kinds, capacity, way == 2);
      EXPECT_EQ(out.fault, InputFault::kNone) << '"' << row.input << "\" way " << way;
      bool match = out.values.size() == row.values.size();
      for (size_t k = 0; match && k < out.values.size(); ++k) {
        match = same(out.values[k], row.values[k]);
      }
      EXPECT_TRUE(match) << '"' << row.input << "\" " << row.kinds << " way " << way
                         << ": got " << show(out.values) << " want " << show(row.values);
    }
  }
}

void check_rejects(const std::vector<RejectRow>& rows) {
  for (const RejectRow& row : rows) {
    Outcome out = run(row.input, row.kinds);
    EXPECT_EQ(out.fault, row.fault) << '"' << row.input << "\" " << row.kinds;
    EXPECT_EQ(message_number(out.fault), row.message) << '"' << row.input << '"';
  }
}

TEST(ScannerTest, SeparatorsAndNulls) {
  check_accepts({
      {"5 6", "ii", {5, 6}},
      {"5,6", "ii", {5, 6}},
      {"5\t6", "ii", {5, 6}},
      {"  5  ,  6  ", "ii", {5, 6}},
      {"5 ,6", "ii", {5, 6}},
      {",", "i", {kKeep}},
      {",5", "ii", {kKeep, 5}},
      {",,5", "iii", {kKeep, kKeep, 5}},
      {"5,,6", "iii", {5, kKeep, 6}},
      {"5, ,6", "iii", {5, kKeep, 6}},
      {"5, , ,6", "iiii", {5, kKeep, kKeep, 6}},
      {"1,2,3,,", "iiii", {1, 2, 3, kKeep}},
      // A record end between two values is a blank; a comma that ended its
      // record still pairs with a comma on the next.
      {"5\n,6", "ii", {5, 6}},
      {"5,\n6", "ii", {5, 6}},
      {"5,\n,6", "iii", {5, kKeep, 6}},
      {",\n,5", "iii", {kKeep, kKeep, 5}},
      {"5\n, ,6", "iii", {5, kKeep, 6}},
      {"\n,5", "ii", {kKeep, 5}},
      // A statement takes one value of a line; the next starts on a new record.
      {"5 6\n7", "i|i", {5, 7}},
      {"5,6\n7", "i|i", {5, 7}},
  });
  check_rejects({
      {"5 6", "i|i", InputFault::kEndOfFile, 24},
      {"5,", "ii", InputFault::kEndOfFile, 24},
  });
}

TEST(ScannerTest, Slashes) {
  check_accepts({
      {"/", "i", {kKeep}},
      {"1 2 /", "iiii", {1, 2, kKeep, kKeep}},
      {"1/", "ii", {1, kKeep}},
      {"1,/", "ii", {1, kKeep}},
      {"1 2 / 3\n4", "iii|i", {1, 2, kKeep, 4}},
      {"/ 5\n7", "i|i", {kKeep, 7}},
      {"2*/ 5", "iii", {kKeep, kKeep, kKeep}},
      {"1\n/\n2", "iii|i", {1, kKeep, kKeep, 2}},
  });
}

TEST(ScannerTest, RepeatCounts) {
  check_accepts({
      {"3*7", "iii", {7, 7, 7}},
      {"3*7", "i", {7}},
      {"3*7\n9", "i|i", {7, 9}},
      {"2*7 8", "iii", {7, 7, 8}},
      {"2*", "ii", {kKeep, kKeep}},
      {"2* 5", "iii", {kKeep, kKeep, 5}},
      {"2*,5", "iii", {kKeep, kKeep, 5}},
      {"2*,,5", "iiii", {kKeep, kKeep, kKeep, 5}},
      {"1*7 8", "ii", {7, 8}},
      {"0*7 8", "ii", {7, 8}},
      {"-2*7 8", "ii", {7, 8}},
      {"+2*7", "ii", {7, 7}},
      {"2*T", "if", {-1, -1}},
      {"2*1.5", "hd", {1, 1.5}},
      {"2*(1.5, 2) 3", "ddd", {1.5, 1.5, 3}},
      {"2*(1.5,\n2) 3", "ddd", {1.5, 1.5, 3}},
  });
  check_rejects({
      {"*5", "i", InputFault::kEmptyRepeatCount, 59},
      {"+*3", "i", InputFault::kSignWithoutDigit, 59},
      {"2*3*4", "i", InputFault::kBadCharacter, 59},
      {"2*)", "i", InputFault::kRightParenthesis, 59},
      {"2*'a'", "i", InputFault::kQuotedValue, 64},
      {"1.5*3", "i", InputFault::kBadRepeatCount, 64},
      {"1E2*3", "i", InputFault::kBadRepeatCount, 64},
      {"3000000000*1", "i", InputFault::kBadRepeatCount, 64},
  });
}

TEST(ScannerTest, LogicalAndQuotedValues) {
  check_accepts({
      {"T", "i", {-1}},
      {"t", "h", {-1}},
      {".TRUE.", "i", {-1}},
      {"true", "i", {-1}},
      {"t5", "i", {-1}},
      {"F", "i", {0}},
      {".false.", "i", {0}},
      {"T", "d", {-1.0}},
      {"F", "f", {0.0}},
      {".t,5", "ii", {-1, 5}},
      {"T/", "ii", {-1, kKeep}},
  });
  const std::string longest(kMaxQuotedLength, 'x');
  const std::string too_long = longest + "x";
  const std::string split_longest = "'" + longest.substr(0, 1000) + "\n" + longest.substr(1000) + "'";
  const std::string split_too_long = "'" + too_long.substr(0, 1000) + "\n" + too_long.substr(1000) + "'";
  const std::string quoted_longest = "'" + longest + "'";
  const std::string quoted_too_long = "'" + too_long + "'";
  check_rejects({
      {"'5'", "i", InputFault::kQuotedValue, 64},
      {"\"5\"", "d", InputFault::kQuotedValue, 64},
      {"'it''s'", "f", InputFault::kQuotedValue, 64},
      {"'ab\ncd'", "i", InputFault::kQuotedValue, 64},
      {"'abc", "i", InputFault::kEndInQuotes, 59},
      {"'abc\n", "i", InputFault::kEndInQuotes, 59},
      {"'it'''", "i", InputFault::kQuotedValue, 64},
      {"'it''s", "i", InputFault::kEndInQuotes, 59},  // a doubled mark does not close
      {"'a\"", "i", InputFault::kEndInQuotes, 59},
      {quoted_longest.c_str(), "i", InputFault::kQuotedValue, 64},
      {quoted_too_long.c_str(), "i", InputFault::kQuotedTooLong, 59},
      {split_longest.c_str(), "i", InputFault::kQuotedValue, 64},
      {split_too_long.c_str(), "i", InputFault::kQuotedTooLong, 59},
  });
}

TEST(ScannerTest, PairForms) {
  check_accepts({
      {"(3.5, 1)", "d", {3.5}},
      {"(3.5,1) 7", "dd", {3.5, 7}},
      {"( 3.5 ,\n -1.5E2 ) 7", "dd", {3.5, 7}},
      {"(3.5\n, 1)", "d", {3.5}},
      {"(\n3.5, 1)", "d", {3.5}},
      {"(3.5, 1)", "f", {3.5}},
      {"(3.5, inf)", "d", {3.5}},
      {"(3.5, -NaN)", "d", {3.5}},
      {"(3.5, i)", "d", {3.5}},
      {"(3.5, +5.)", "d", {3.5}},
      {"(3.5, 1D5)", "d", {3.5}},
      {"(3.5, 1)", "i", {3}},
      {"(12.7, x)", "i", {12}},  // an integer item takes the first number only
  });
  check_rejects({
      {"(3.5)", "d", InputFault::kMalformedPair, 59},
      {"(3.5, .5)", "d", InputFault::kMalformedPair, 59},
      {"(3.5, infx)", "d", InputFault::kMalformedPair, 59},
      {"(3.5, 1E)", "d", InputFault::kMalformedPair, 59},
      {"(3.5, 1E-3)", "d", InputFault::kMalformedPair, 59},
      {"(3.5, 1 2)", "d", InputFault::kMalformedPair, 59},
      {"(3.5 1)", "d", InputFault::kMalformedPair, 59},
      {"((3.5, 1)", "d", InputFault::kNestedParenthesis, 59},
      {"( (3.5, 1)", "d", InputFault::kNestedParenthesis, 59},
      {")", "d", InputFault::kRightParenthesis, 59},
      {"5 )", "ii", InputFault::kRightParenthesis, 59},
      {"(T, 1)", "d", InputFault::kBadCharacter, 59},
      {"(, 1)", "d", InputFault::kNoDigits, 59},
      {"(3.5, 1", "d", InputFault::kEndOfFile, 24},
      {"(1E400, 1)", "d", InputFault::kOutOfRange, 64},
  });
}

TEST(ScannerTest, NumericSyntaxAndExponents) {
  check_accepts({
      {"12 +12 -0012", "iii", {12, 12, -12}},
      {"1.5 .5 5. -.5", "dddd", {1.5, 0.5, 5, -0.5}},
      {"1.5D3 1.5E3 1.5Q3 1.5+3", "dddd", {1500, 1500, 1500, 1500}},
      {"1.5d3 1.5e+3 1.5q-3 1.5-3", "dddd", {1500, 1500, 0.0015, 0.0015}},
      {"5+3", "d", {5000}},
      {"1E0000002", "d", {100}},
      {"1E-1234567 -1E-1234567 0E1234567", "ddd", {0.0, -0.0, 0.0}},
      {"12.7 -12.7 -0.5 1E2 1.5D1", "iiiii", {12, -12, 0, 100, 15}},
      {"7.9", "h", {7}},
  });
  check_rejects({
      {"abc", "i", InputFault::kBadCharacter, 59},
      {"1;2", "i", InputFault::kBadCharacter, 59},
      {"1:2", "d", InputFault::kBadCharacter, 59},
      {"5'", "d", InputFault::kBadCharacter, 59},
      {"1i", "d", InputFault::kBadCharacter, 59},
      {"1.2.3", "i", InputFault::kSecondFullStop, 59},
      {"1E5E3", "d", InputFault::kMisplacedExponent, 59},
      {"E5", "d", InputFault::kMisplacedExponent, 59},
      {"+E5", "d", InputFault::kMisplacedExponent, 59},
      {".E5", "d", InputFault::kMisplacedExponent, 59},
      {"+-5", "d", InputFault::kSignAfterSign, 59},
      {"12-", "d", InputFault::kSignWithoutDigit, 59},
      {"-", "d", InputFault::kSignWithoutDigit, 59},
      {"1-.", "d", InputFault::kSignWithoutDigit, 59},
      {".", "d", InputFault::kNoDigits, 59},
      {"Y", "i", InputFault::kBadCharacter, 59},
      {"1E5.2", "d", InputFault::kTrailingCharacters, 64},
      {"1.5E", "d", InputFault::kTrailingCharacters, 64},
      {"1.5+3E2", "d", InputFault::kTrailingCharacters, 64},
      {"5+3", "i", InputFault::kInnerSign, 64},
      {"1E1234567", "d", InputFault::kOutOfRange, 64},
  });
}

TEST(ScannerTest, SpecialWords) {
  check_accepts({
      {"inf -Infinity +INF", "ddd", {kInf, -kInf, kInf}},
      {"nan NaN +nan", "ddd", {kNaN, kNaN, kNaN}},
      {"infinity -inf nan", "fff", {kInf, -kInf, kNaN}},
  });
  check_rejects({
      {"infin", "d", InputFault::kTrailingCharacters, 64},
      {"infinit", "d", InputFault::kTrailingCharacters, 64},
      {"infinityx", "d", InputFault::kTrailingCharacters, 64},
      {"nanx", "f", InputFault::kTrailingCharacters, 64},
      {"in", "d", InputFault::kTrailingCharacters, 64},
      {"N5", "d", InputFault::kTrailingCharacters, 64},
      {"inf", "i", InputFault::kWordForInteger, 64},
      {"-nan", "h", InputFault::kWordForInteger, 64},
  });
}

TEST(ScannerTest, RangeErrors) {
  check_accepts({
      {"32767 -32768 32767.9 -32768.9", "hhhh", {32767, -32768, 32767, -32768}},
      {"2147483647 -2147483648 2147483647.5", "iii", {2147483647, -2147483648.0, 2147483647}},
      {"1E-400 -1E-400 1E-320", "ddd", {0.0, -0.0, 1E-320}},
      {"1E-50 1.4E-45 3.4028235E38", "fff", {0.0, 0x1p-149, FLT_MAX}},
      {"1.7976931348623157E308 4.9406564584124654E-324", "dd", {DBL_MAX, 0x1p-1074}},
  });
  check_rejects({
      {"70000", "h", InputFault::kOutOfRange, 64},
      {"32768", "h", InputFault::kOutOfRange, 64},
      {"-32769", "h", InputFault::kOutOfRange, 64},
      {"65537.0", "h", InputFault::kOutOfRange, 64},
      {"70000.0", "h", InputFault::kOutOfRange, 64},
      {"-32769.0", "h", InputFault::kOutOfRange, 64},
      {"2147483648", "i", InputFault::kOutOfRange, 64},
      {"-2147483649", "i", InputFault::kOutOfRange, 64},
      {"99999999999999999999999", "i", InputFault::kOutOfRange, 64},
      {"2147483648.0", "i", InputFault::kOutOfRange, 64},
      {"1E10", "i", InputFault::kOutOfRange, 64},
      {"1E400", "d", InputFault::kOutOfRange, 64},
      {"-1E400", "d", InputFault::kOutOfRange, 64},
      {"1.7976931348623159E308", "d", InputFault::kOutOfRange, 64},
      {"1E39", "f", InputFault::kOutOfRange, 64},
      {"3.4028236E38", "f", InputFault::kOutOfRange, 64},
      {"1E400", "i", InputFault::kOutOfRange, 64},
      {"1 2 99999", "hhh", InputFault::kOutOfRange, 64},
  });
}

TEST(ScannerTest, ValuesBeforeAFaultStayStored) {
  Outcome out = run("1 2 x", "iii");
  EXPECT_EQ(out.fault, InputFault::kBadCharacter);
  ASSERT_EQ(out.values.size(), 3u);
  EXPECT_TRUE(same(out.values[0], 1) && same(out.values[1], 2) && same(out.values[2], kKeep));
}

// A statement's items of one kind in one call store the same values and meet
// the same fault as one call per item.
TEST(ScannerTest, ItemsInOneCallMatchOneCallEach) {
  struct Row {
    const char* input;
    ItemKind kind;
    size_t count;
  } rows[] = {
      {"  6.4234   0.3388  -6.0662\n  10.4245 1e3", ItemKind::kReal32, 5},
      {"1.5 2,,3 / 4", ItemKind::kReal64, 5},
      {"2*7.25 , 4 3*", ItemKind::kReal32, 6},
      {"(1,2) 3 .T", ItemKind::kReal64, 3},
      {"1 2 x 4", ItemKind::kReal32, 4},
      {"1 2 'q' 4", ItemKind::kInt32, 4},
      {"1 2", ItemKind::kInt16, 3},
  };
  for (const Row& row : rows) {
    std::vector<double> each(row.count, kSentinel);
    std::vector<double> together(row.count, kSentinel);
    std::vector<float> each32(row.count, kSentinel);
    std::vector<float> together32(row.count, kSentinel);
    std::vector<int32_t> each_int(row.count, kSentinel);
    std::vector<int32_t> together_int(row.count, kSentinel);
    std::vector<int16_t> each16(row.count, kSentinel);
    std::vector<int16_t> together16(row.count, kSentinel);
    auto destination = [&](bool one_call, size_t k) -> void* {
      switch (row.kind) {
        case ItemKind::kInt16: return one_call ? &together16[k] : &each16[k];
        case ItemKind::kInt32: return one_call ? &together_int[k] : &each_int[k];
        case ItemKind::kReal32: return one_call ? &together32[k] : &each32[k];
        default: return one_call ? &together[k] : &each[k];
      }
    };
    InputFault fault_each = InputFault::kNone;
    {
      MemoryRecords records{row.input, kInitialRecordBuffer, false};
      InputStatement statement;
      fault_each = statement.begin(&records);
      for (size_t k = 0; k < row.count && fault_each == InputFault::kNone; ++k) {
        fault_each = statement.input_item(row.kind, destination(false, k));
      }
    }
    MemoryRecords records{row.input, kInitialRecordBuffer, false};
    InputStatement statement;
    std::vector<void*> destinations;
    for (size_t k = 0; k < row.count; ++k) destinations.push_back(destination(true, k));
    InputFault fault = statement.begin(&records);
    if (fault == InputFault::kNone) {
      fault = statement.input_items(row.kind, destinations.data(), destinations.size());
    }
    EXPECT_EQ(fault, fault_each) << row.input;
    EXPECT_EQ(together, each) << row.input;
    EXPECT_EQ(together32, each32) << row.input;
    EXPECT_EQ(together_int, each_int) << row.input;
    EXPECT_EQ(together16, each16) << row.input;
  }
}

TEST(ScannerTest, RecordEndsAndCarriageReturns) {
  check_accepts({
      {"5\r\n6", "i|i", {5, 6}},
      {"5\r\r\n6\r\n", "i|i", {5, 6}},
      {"5\r", "i", {5}},
      {"5", "i", {5}},
      {"1 2\n3", "iii", {1, 2, 3}},
      {"1\r\n2\r\n3", "iii", {1, 2, 3}},
  });
  check_rejects({
      {"5\r6", "i", InputFault::kBadCharacter, 59},
      {"5\x1a", "i", InputFault::kBadCharacter, 59},
  });
}

TEST(ScannerTest, BlankRecords) {
  check_accepts({
      {"\n5", "i", {5}},
      {"   \n \t \n5", "i", {5}},
      {"\r\n5", "i", {5}},
      {"1\n\n\n2", "ii", {1, 2}},
      {"1\n\n2\n\n\n3", "i|i|i", {1, 2, 3}},
  });
  check_rejects({
      {"", "i", InputFault::kEndOfFile, 24},
      {"\n\n", "i", InputFault::kEndOfFile, 24},
      {"  \n\t\n", "d", InputFault::kEndOfFile, 24},
  });
}

TEST(ScannerTest, LongRecords) {
  const std::string blanks_then_value = std::string(100000, ' ') + "7";
  std::string many_values;
  for (int k = 0; k < 30000; ++k) many_values += "1 ";
  many_values += "\n9";
  const std::string long_mantissa = "1" + std::string(5000, '0') + "E-5000";
  const std::string long_fraction = "0." + std::string(4000, '0') + "1E4001";
  check_accepts({
      {blanks_then_value.c_str(), "i", {7}},
      {many_values.c_str(), "i|i", {1, 9}},
      {long_mantissa.c_str(), "d", {1.0}},
      {long_fraction.c_str(), "d", {1.0}},
  });
}

// Integer items whose values are plain integers are taken in one step. Over
// every text of up to five characters from an alphabet of digits, signs,
// separators, a repeat star, a point and line ends, statements of Int16 and
// Int32 items (with a Real64 among them) store the same values, meet the same
// faults and leave the scan where the general path leaves it.
TEST(ScannerTest, PlainIntegersInOneStepMatchTheGeneralScan) {
  const std::string alphabet = "17-+ ,/*.\n";
  const std::string_view kinds = "hidi|ih";
  struct Trace {
    std::vector<int64_t> stored;
    std::vector<size_t> positions;
    std::vector<std::string> tokens;
    std::vector<int64_t> repeats;
    InputFault fault = InputFault::kNone;
    bool operator==(const Trace&) const = default;
  };
  auto trace = [&](const std::string& text, bool plain) {
    MemoryRecords records{text, kInitialRecordBuffer, false};
    InputStatement statement;
    statement.take_plain_integers(plain);
    Trace t;
    bool starting = true;
    for (char k : kinds) {
      if (k == '|') {
        statement.end();
        starting = true;
        continue;
      }
      if (starting && (t.fault = statement.begin(&records)) != InputFault::kNone) break;
      starting = false;
      int16_t h = 11;
      int32_t i = 22;
      double d = 33;
      void* destination = k == 'h' ? static_cast<void*>(&h) : k == 'i' ? static_cast<void*>(&i) : &d;
      t.fault = statement.input_item(kind_of(k), destination);
      t.stored.push_back(k == 'h' ? h : k == 'i' ? i : static_cast<int64_t>(d * 8));
      t.positions.push_back(statement.position());
      t.tokens.push_back(std::string(statement.token().text));
      t.repeats.push_back(statement.repeats_left() * 2 + statement.slash_seen());
      if (t.fault != InputFault::kNone) break;
    }
    return t;
  };
  size_t texts = 0;
  std::vector<size_t> digits;
  for (size_t length = 1; length <= 5; ++length) {
    digits.assign(length, 0);
    for (;;) {
      std::string text;
      for (size_t d : digits) text.push_back(alphabet[d]);
      ++texts;
      ASSERT_TRUE(trace(text, true) == trace(text, false)) << "\"" << text << "\"";
      size_t at = 0;
      while (at < length && ++digits[at] == alphabet.size()) digits[at++] = 0;
      if (at == length) break;
    }
  }
  // Values at the ends of the ranges, and just past them.
  for (const char* text : {"32767 2147483647", "-32768 -2147483648", "32768 1", "1 2147483648",
                           "-32769 -2147483649", "007 -0", "+5\t6", "99999999999999999999 1"}) {
    ASSERT_TRUE(trace(text, true) == trace(text, false)) << "\"" << text << "\"";
  }
  EXPECT_EQ(texts, 111110u);
}

}  // namespace
}  // namespace recio
