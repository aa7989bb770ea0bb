// Field numbers: the calculator's syntax accepted, anything else refused, and
// written numbers that read back exactly.
#include "kit/core/number.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "recio/number_format.h"

namespace kit {
namespace {

TEST(ParseReal, AcceptsTheCalculatorsForms) {
  struct Row {
    const char* text;
    double value;
  } rows[] = {
      {"950", 950},      {" 60.5 ", 60.5}, {"-12", -12},    {"+3", 3},
      {"1.5e2", 150},    {"1.5D2", 150},   {"2q1", 20},     {".5", 0.5},
      {"5.", 5},         {"1E+02", 100},   {"0.1", 0.1},    {"-0", -0.0},
      {"123456789012345678901234", 123456789012345678901234.0},
      {"9007199254740993", 9007199254740992.0},  // 2^53 + 1: ties to even
      {"-9999999999999999", -1e16},
      {"+007", 7},
  };
  for (const Row& r : rows) {
    double v = -999;
    ASSERT_TRUE(parse_real(r.text, &v)) << r.text;
    EXPECT_EQ(std::memcmp(&v, &r.value, sizeof v), 0) << r.text << " gave " << v;
  }
  double v;
  ASSERT_TRUE(parse_real("Infinity", &v));
  EXPECT_TRUE(std::isinf(v));
  ASSERT_TRUE(parse_real("NaN", &v));
  EXPECT_TRUE(std::isnan(v));
}

// Plain decimals, read the quick way, give the correctly rounded double that
// from_chars gives: every count of digits and place of the point, with signs,
// leading zeros and the lengths where the quick way ends.
TEST(ParseReal, PlainDecimalsAreCorrectlyRounded) {
  std::mt19937_64 random(7);
  for (int i = 0; i < 200000; ++i) {
    const int digits = 1 + static_cast<int>(random() % 18);
    std::string text;
    for (int k = 0; k < digits; ++k) text.push_back(static_cast<char>('0' + random() % 10));
    const int point = static_cast<int>(random() % (digits + 2)) - 1;  // -1: none
    if (point >= 0) text.insert(static_cast<size_t>(point), ".");
    const uint64_t sign = random() % 3;
    double expected;
    ASSERT_EQ(std::from_chars(text.data(), text.data() + text.size(), expected).ec, std::errc())
        << text;
    if (sign == 1) expected = -expected;
    if (sign != 0) text.insert(0, sign == 1 ? "-" : "+");
    double v = 0;
    ASSERT_TRUE(parse_real(text, &v)) << text;
    ASSERT_EQ(std::memcmp(&v, &expected, sizeof v), 0) << text << " gave " << v;
  }
}

TEST(ParseReal, RefusesWhatIsNotOneNumber) {
  for (const char* text : {"", "  ", "1,5", "1 5", "x", "1.4x3", "2*3", "/", "'1'", "1e", "--1",
                           "(1,2)", "1..2"}) {
    double v = 7;
    EXPECT_FALSE(parse_real(text, &v)) << text;
    EXPECT_EQ(v, 7) << text;
  }
}

TEST(AppendShortest, ReadsBackExactlyAndNamesNonFiniteValues) {
  std::mt19937_64 random(42);
  for (int i = 0; i < 20000; ++i) {
    uint64_t bits = random();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (!std::isfinite(d)) continue;
    std::string s;
    append_shortest(&s, d);
    double back;
    ASSERT_TRUE(parse_real(s, &back)) << s;
    ASSERT_EQ(std::memcmp(&back, &d, sizeof d), 0) << s;
  }
  std::string s;
  append_shortest(&s, std::numeric_limits<double>::quiet_NaN());
  s += ' ';
  append_shortest(&s, -std::numeric_limits<double>::quiet_NaN());
  s += ' ';
  append_shortest(&s, -std::numeric_limits<double>::infinity());
  EXPECT_EQ(s, "nan nan -inf");
}

// The shortest text is the library's shortest form, character for character:
// at the ends of the range worked out in integers and past them, where the
// spacing of doubles changes, for short decimals and for any value.
TEST(AppendShortest, IsTheLibrarysShortestForm) {
  auto library = [](double d) {
    char buffer[64];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, d).ptr);
  };
  std::vector<double> values = {0.5,    0.1,     1,       60.5,    65535.5,  123.456,
                                0.002,  0.00195, 1e-3,    1e5,     10000,    99999.99999999999,
                                0.3,    2.0 / 3, 1.0 / 3, 1e-300,  1e300,    4.35,
                                0.0625, 5e-324,  0,       1234567, 9.999999999999999e15};
  for (int k = -12; k <= 18; ++k) {  // powers of two and their neighbours
    const double p = std::ldexp(1.0, k);
    for (double d : {p, std::nextafter(p, 0.0), std::nextafter(p, 1e9)}) values.push_back(d);
  }
  std::mt19937_64 random(11);
  for (int i = 0; i < 100000; ++i) {
    values.push_back(std::ldexp(1.0 + static_cast<double>(random() >> 12) * 0x1p-52,
                                static_cast<int>(random() % 30) - 12));
    values.push_back(static_cast<double>(random() % 10000000) /
                     std::pow(10.0, static_cast<double>(random() % 9)));
  }
  for (double v : values) {
    for (double d : {v, -v}) {
      std::string s;
      append_shortest(&s, d);
      ASSERT_EQ(s, library(d)) << std::hexfloat << d;
    }
  }
}

// The same over random doubles of the range worked out in integers, with
// every mantissa and exponent as likely, and over the values whose text is
// shortest in each way: one digit, only decimals with leading zeros, the
// most decimals, whole numbers and ties of the last digit. SURGE_SHORTEST_SAMPLES
// sets how many random values (more for a long run by hand).
TEST(AppendShortest, MatchesTheLibraryOverTheIntegerRange) {
  long samples = 300000;
  if (const char* given = std::getenv("SURGE_SHORTEST_SAMPLES")) samples = std::atol(given);
  auto library = [](double d) {
    char buffer[64];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, d).ptr);
  };
  auto check = [&](double d) {
    char buffer[kNumberTextCapacity];
    const std::string_view s(buffer, static_cast<size_t>(write_shortest(buffer, d) - buffer));
    ASSERT_EQ(s, library(d)) << std::hexfloat << d;
  };
  const double low = 0x1p-9, high = 0x1p16;
  for (double d : {low, std::nextafter(low, 0.0), std::nextafter(low, 1.0), high,
                   std::nextafter(high, 0.0), 0.001953125, 0.002, 0.00195312500000001, 65535.0,
                   65535.99999999999, 1e4, 1e-2, 9.999999999999998, 0.1 + 0.2}) {
    check(d);
    check(-d);
  }
  for (int k = -9; k < 16; ++k) {  // every mantissa's ends at every exponent
    for (uint64_t low_bits : {uint64_t{0}, uint64_t{1}, (uint64_t{1} << 52) - 1}) {
      check(std::ldexp(1.0 + static_cast<double>(low_bits) * 0x1p-52, k));
    }
  }
  std::mt19937_64 random(2024);
  for (long i = 0; i < samples; ++i) {
    const uint64_t r = random();
    const double d =
        std::ldexp(1.0 + static_cast<double>(r >> 12) * 0x1p-52, static_cast<int>(r % 25) - 9);
    check(d);
    // Decimals of up to 19 places near the value, and their neighbours.
    const int places = static_cast<int>((r >> 5) % 20);
    const double rounded = std::round(d * std::pow(10.0, places)) / std::pow(10.0, places);
    if (rounded >= low && rounded < high) {
      check(rounded);
      check(std::nextafter(rounded, 0.0));
      check(std::nextafter(rounded, high));
    }
  }
}

// The report's field agrees with the calculator's fixed-point text for any
// value: near the ties of tenths, at the widths' ends, and at random.
TEST(AppendReportSurge, AgreesWithTheCalculatorsFieldEverywhere) {
  auto calculator = [](double d) {
    char text[recio::kFixedTextCapacity];
    const size_t size = recio::fixed_text(d, 4, 1, text);
    char field[4];
    recio::fill_field(field, 4, std::string_view(text, size));
    std::string s(field, 4);
    return s.substr(s.find_first_not_of(' '));
  };
  std::vector<double> values = {0.25, 0.75, 0.05, 0.15, 99.95, 99.25, 9.95, 9.85, 0x1p-11,
                                0x1p-12, 0x1p52, 0x1p53, 1e-320, 999.9, 0.04999999999999999};
  std::mt19937_64 random(5);
  for (int i = 0; i < 100000; ++i) {
    values.push_back(static_cast<double>(random() % 2000) / 20);  // ties and their neighbours
    values.push_back(std::nextafter(values.back(), 0.0));
    values.push_back(std::ldexp(1.0 + static_cast<double>(random() >> 12) * 0x1p-52,
                                static_cast<int>(random() % 80) - 70));
  }
  for (double v : values) {
    for (double d : {v, -v}) {
      std::string s;
      append_report_surge(&s, d);
      ASSERT_EQ(s, calculator(d)) << std::hexfloat << d;
    }
  }
}

TEST(AppendFixed, RoundsAndDropsTheSignOfZero) {
  struct Row {
    double value;
    int decimals;
    const char* text;
  } rows[] = {{1.23456, 3, "1.235"}, {-0.0004, 3, "0.000"}, {2.5, 0, "2"}, {-1.25, 1, "-1.2"}};
  for (const Row& r : rows) {
    std::string s;
    append_fixed(&s, r.value, r.decimals);
    EXPECT_EQ(s, r.text) << r.value;
  }
}

// The report's surge field (four columns, one decimal), without its blanks.
TEST(AppendReportSurge, WritesTheReportsFieldWithoutItsPadding) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Row {
    double value;
    const char* text;
  } rows[] = {
      {0.276528, "0.3"}, {0.25, "0.2"},   {0.05, "0.1"},   {-0.04, "0.0"},  {-0.0, "0.0"},
      {99.94, "99.9"},   {99.96, "****"}, {-9.94, "-9.9"}, {-9.96, "****"}, {1e300, "****"},
      {NAN, "NaN"},      {inf, "Inf"},    {-inf, "-Inf"},
  };
  for (const Row& r : rows) {
    std::string out = "x";
    append_report_surge(&out, r.value);
    EXPECT_EQ(out, std::string("x") + r.text) << r.value;
  }
}

TEST(AppendSignificant, PlainDecimalWithSixSignificantDigits) {
  struct Row {
    double value;
    int digits;
    const char* text;
  } rows[] = {
      {0.23999786820000002, 6, "0.239998"},
      {7e-05, 6, "0.00007"},
      {0.000070000049, 6, "0.00007"},
      {0.000070000051, 6, "0.0000700001"},  // rounds up in the sixth digit
      {1.2345e-9, 6, "0.0000000012345"},
      {0.9999996, 6, "1"},                 // rounding carries into a new digit
      {0.9999994, 6, "0.999999"},
      {1, 6, "1"},
      {0.5, 6, "0.5"},
      {1234567, 6, "1234570"},
      {123456, 6, "123456"},
      {100000, 6, "100000"},
      {12.5, 6, "12.5"},
      {-0.0012345678, 6, "-0.00123457"},
      {0.0, 6, "0"},
      {-0.0, 6, "0"},
      {2.0 / 3.0, 3, "0.667"},
      {2.0 / 3.0, 1, "0.7"},
      {1e20, 6, "100000000000000000000"},
      {std::numeric_limits<double>::denorm_min(), 2, ""},  // checked below by shape
  };
  for (const Row& r : rows) {
    std::string s = "x";
    append_significant(&s, r.value, r.digits);
    if (r.text[0] == '\0') {
      EXPECT_EQ(s.rfind("x0.000", 0), 0u) << s;
      EXPECT_EQ(s.find('e'), std::string::npos) << s;
      EXPECT_EQ(s.substr(s.size() - 2), "49") << s;  // 4.9e-324
      continue;
    }
    EXPECT_EQ(s, std::string("x") + r.text) << r.value;
  }
  EXPECT_EQ(significant_text(std::nan(""), 6), "nan");
  EXPECT_EQ(significant_text(INFINITY, 6), "inf");
  EXPECT_EQ(significant_text(-INFINITY, 6), "-inf");
}

TEST(AppendSignificant, ReadsBackWithinHalfAUnitOfTheLastDigit) {
  std::mt19937_64 rng(20);
  std::uniform_real_distribution<double> mantissa(1, 10);
  std::uniform_int_distribution<int> exponent(-12, 6);
  for (int i = 0; i < 20000; ++i) {
    const double v = mantissa(rng) * std::pow(10.0, exponent(rng));
    const std::string s = significant_text(v, 6);
    ASSERT_EQ(s.find_first_not_of("0123456789."), std::string::npos) << s;
    const double back = std::strtod(s.c_str(), nullptr);
    const double unit = std::pow(10.0, std::floor(std::log10(v)) - 5);
    EXPECT_LE(std::fabs(back - v), unit * 0.5000001) << v << " gave " << s;
  }
}

TEST(ShortestSingleText, WritesEachFloatWithTheFewestDigitsThatReadBack) {
  const float denormal = std::numeric_limits<float>::denorm_min();
  struct Row {
    float value;
    const char* text;
  } rows[] = {
      {6.5604f, "6.5604"},   {-0.2645f, "-0.2645"}, {0.1f, "0.1"},         {1e-30f, "1e-30"},
      {1e30f, "1e+30"},      {0.0f, "0"},           {-0.0f, "-0"},         {100000.0f, "1e+05"},
      {1e7f, "1e+07"},       {16777217.0f, "16777216"},  // 2^24 + 1 rounds to 2^24
      {denormal, "1e-45"},   {std::numeric_limits<float>::max(), "3.4028235e+38"},
      {std::numeric_limits<float>::infinity(), "inf"},
      {-std::numeric_limits<float>::infinity(), "-inf"},
      {std::numeric_limits<float>::quiet_NaN(), "nan"},
      {-std::numeric_limits<float>::quiet_NaN(), "nan"},
  };
  for (const Row& r : rows) EXPECT_EQ(shortest_single_text(r.value), r.text) << r.text;

  // Random bit patterns read back as the same float.
  std::mt19937 random(20);
  for (int i = 0; i < 100000; ++i) {
    const float f = std::bit_cast<float>(static_cast<uint32_t>(random()));
    if (!std::isfinite(f)) continue;
    const std::string text = shortest_single_text(f);
    ASSERT_EQ(std::strtof(text.c_str(), nullptr), f) << text;
  }
}

TEST(Counted, TakesTheSingularForOneOnly) {
  struct Row {
    long long n;
    const char* singular;
    const char* plural;
    const char* text;
  } rows[] = {
      {0, "error", "", "0 errors"}, {1, "error", "", "1 error"},  {2, "error", "", "2 errors"},
      {-1, "error", "", "-1 errors"}, {1, "box", "boxes", "1 box"},
      {21, "box", "boxes", "21 boxes"},
  };
  for (const Row& r : rows) EXPECT_EQ(counted(r.n, r.singular, r.plural), r.text) << r.text;
}

}  // namespace
}  // namespace kit
