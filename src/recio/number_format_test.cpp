// Integer and fixed-point fields: worked examples, the width rules, and
// a differential check of the rounding against an exact decimal reference.
#include "recio/number_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "recio/exact_decimal_reference.h"

namespace recio {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string integer_field(int64_t v, int width, int min_digits = 1) {
  char text[kIntegerTextCapacity];
  std::string field(width, '?');
  fill_field(field.data(), field.size(), std::string_view(text, integer_text(v, min_digits, text)));
  return field;
}

std::string fixed_field(double x, int width, int digits) {
  char text[kFixedTextCapacity];
  std::string field(width, '?');
  fill_field(field.data(), field.size(),
             std::string_view(text, fixed_text(x, width, digits, text)));
  return field;
}

struct IntegerRow {
  int64_t value;
  int width;
  int min_digits;
  const char* field;
};

TEST(IntegerField, Examples) {
  const IntegerRow rows[] = {
      // I3
      {50, 3, 1, " 50"},
      {0, 3, 1, "  0"},
      {-99, 3, 1, "-99"},
      {-100, 3, 1, "***"},
      {1000, 3, 1, "***"},
      {999, 3, 1, "999"},
      {INT32_MIN, 3, 1, "***"},
      // I of an Int16: 7 columns; of an Int32: 12 columns
      {5, 7, 1, "      5"},
      {-32768, 7, 1, " -32768"},
      {32767, 7, 1, "  32767"},
      {900, 12, 1, "         900"},
      {INT32_MIN, 12, 1, " -2147483648"},
      {INT32_MAX, 12, 1, "  2147483647"},
      {INT32_MIN, 11, 1, "-2147483648"},
      {INT32_MIN, 10, 1, "**********"},
      // at least m digits, zeros in front
      {7, 5, 3, "  007"},
      {-7, 5, 3, " -007"},
      {-7, 3, 3, "***"},
      {0, 3, 2, " 00"},
      {12345, 6, 3, " 12345"},
      // a field of one column
      {0, 1, 1, "0"},
      {-1, 1, 1, "*"},
  };
  for (const IntegerRow& row : rows) {
    EXPECT_EQ(integer_field(row.value, row.width, row.min_digits), row.field)
        << "value " << row.value << ", width " << row.width << ", digits " << row.min_digits;
  }
}

struct FixedRow {
  double value;
  int width;
  int digits;
  const char* field;
};

TEST(FixedField, F4_1Examples) {
  const FixedRow rows[] = {
      {3.25, 4, 1, " 3.2"},   // a tie, to even
      {0.75, 4, 1, " 0.8"},   // a tie, to even
      {0.25, 4, 1, " 0.2"},   // a tie, to even
      {0.35, 4, 1, " 0.3"},   // stored just below .35
      {3.35, 4, 1, " 3.4"},   // stored just above 3.35
      {0.05, 4, 1, " 0.1"},   // stored just above .05
      {0.15, 4, 1, " 0.1"},   // stored just below .15
      {-0.04, 4, 1, " 0.0"},  // rounds to zero: no sign
      {-0.05, 4, 1, "-0.1"}, {-0.3, 4, 1, "-0.3"},     {9.96, 4, 1, "10.0"},
      {99.94, 4, 1, "99.9"}, {99.96, 4, 1, "****"},    {-9.94, 4, 1, "-9.9"},
      {-9.96, 4, 1, "****"}, {0.0, 4, 1, " 0.0"},      {-0.0, 4, 1, " 0.0"},
      {2.276, 4, 1, " 2.3"}, {0.276528, 4, 1, " 0.3"}, {kNaN, 4, 1, " NaN"},
      {-kNaN, 4, 1, " NaN"}, {kInf, 4, 1, " Inf"},     {-kInf, 4, 1, "-Inf"},
      {1e300, 4, 1, "****"}, {4.9e-324, 4, 1, " 0.0"}, {-4.9e-324, 4, 1, " 0.0"},
  };
  for (const FixedRow& row : rows) {
    EXPECT_EQ(fixed_field(row.value, row.width, row.digits), row.field) << "value " << row.value;
  }
}

TEST(FixedField, WidthRules) {
  const FixedRow rows[] = {
      // the "0" before the point only when a column is free
      {0.25, 5, 1, "  0.2"},
      {0.25, 3, 1, "0.2"},
      {0.25, 2, 1, ".2"},
      {-0.25, 3, 1, "-.2"},
      {-0.25, 4, 1, "-0.2"},
      {0.0, 2, 1, ".0"},
      {0.0, 1, 1, "*"},
      {0.5, 6, 3, " 0.500"},
      {0.0005, 5, 3, "0.001"},   // stored just above the tie
      {0.0625, 6, 3, " 0.062"},  // an exact tie, to even
      {0.1875, 6, 3, " 0.188"},  // an exact tie, to even
      // no digits after the point
      {2.5, 4, 0, "  2."},
      {3.5, 4, 0, "  4."},
      {0.4, 3, 0, " 0."},
      {0.4, 1, 0, "."},
      {-0.6, 3, 0, "-1."},
      {-0.6, 2, 0, "**"},
      // integer part that just fits, and one that does not
      {12345.678, 9, 2, " 12345.68"},
      {12345.678, 8, 2, "12345.68"},
      {12345.678, 7, 2, "*******"},
      {-12345.678, 8, 2, "********"},
      // large and small magnitudes in wide fields
      {1e20, 25, 1, "  100000000000000000000.0"},
      {123456789012345678.0, 22, 1, "  123456789012345680.0"},
      {1e-5, 12, 10, "0.0000100000"},
      {0.1, 22, 20, "0.10000000000000000555"},
      // NaN and the infinities by the width
      {kNaN, 3, 1, "NaN"},
      {kNaN, 2, 1, "**"},
      {kInf, 3, 1, "Inf"},
      {-kInf, 3, 1, "***"},
      {kInf, 7, 1, "    Inf"},
      {kInf, 8, 1, "Infinity"},
      {-kInf, 8, 1, "    -Inf"},
      {-kInf, 9, 1, "-Infinity"},
      {kInf, 12, 3, "    Infinity"},
  };
  for (const FixedRow& row : rows) {
    EXPECT_EQ(fixed_field(row.value, row.width, row.digits), row.field)
        << "value " << row.value << ", F" << row.width << "." << row.digits;
  }
}

TEST(FixedField, LargestMagnitudes) {
  // Every digit of the largest double and of the smallest subnormal, exactly.
  const double largest = std::numeric_limits<double>::max();
  const std::string integer = recio_test::exact_decimal(largest).integer;
  ASSERT_EQ(integer.size(), 309u);
  EXPECT_EQ(fixed_field(largest, 320, 2), std::string(8, ' ') + integer + ".00");
  EXPECT_EQ(fixed_field(-largest, 312, 1), "-" + integer + ".0");
  EXPECT_EQ(fixed_field(largest, 311, 2), std::string(311, '*'));

  const double smallest = std::numeric_limits<double>::denorm_min();  // 4.94e-324
  EXPECT_EQ(fixed_field(smallest, 6, 255).find_first_not_of('*'), std::string::npos);
  std::string tiny = fixed_field(smallest, 258, 255);
  EXPECT_EQ(tiny, " 0." + std::string(255, '0'));
  std::string near_one = fixed_field(1.0 - 0x1p-53, 258, 255);
  EXPECT_EQ(near_one.substr(0, 12), " 0.999999999");
  EXPECT_EQ(near_one, recio_test::reference_fixed_field(1.0 - 0x1p-53, 258, 255));
}

// ---- Differential check against the exact decimal reference ----------------

struct FieldShape {
  int width;
  int digits;
};

// F4.1 as the report uses it, and shapes that take the 64-bit path and the
// wide-integer path of the conversion.
constexpr FieldShape kShapes[] = {{4, 1},  {5, 2},  {6, 3},   {8, 1},
                                  {10, 0}, {12, 5}, {25, 17}, {40, 25}};

// A value of one of several families: plain random values of the field's
// size, values next to the rounding boundaries of its last digit, exact
// binary ties, values next to the width's overflow, and random bit patterns
// of any magnitude.
double next_value(std::mt19937_64& random, const FieldShape& shape) {
  const double scale = std::pow(10.0, shape.digits);
  const double field_limit = std::pow(10.0, shape.width - shape.digits);
  std::uniform_int_distribution<int> family(0, 99);
  std::uniform_int_distribution<int> ulps(-3, 3);
  const int f = family(random);
  double x;
  if (f < 40) {
    x = std::uniform_real_distribution<double>(0, field_limit)(random);
  } else if (f < 70) {
    // Near a halfway point n + 1/2 of the last digit.
    const double n = std::floor(std::uniform_real_distribution<double>(0, field_limit)(random) *
                                std::min(scale, 1e15));
    x = (n + 0.5) / std::min(scale, 1e15);
    for (int k = ulps(random); k != 0; k += (k > 0 ? -1 : 1)) {
      x = std::nextafter(x, k > 0 ? kInf : 0.0);
    }
  } else if (f < 80) {
    // Exact binary fractions, which are exact decimal ties for some digits.
    x = std::ldexp(static_cast<double>(random() % 100000), -static_cast<int>(random() % 12));
  } else if (f < 88) {
    // Next to the value that no longer fits the width.
    x = (field_limit / (shape.digits == 0 ? 1 : 10)) - 0.5 / scale;
    for (int k = ulps(random); k != 0; k += (k > 0 ? -1 : 1)) {
      x = std::nextafter(x, k > 0 ? kInf : 0.0);
    }
  } else if (f < 96) {
    // Tiny values around the smallest nonzero result.
    x = std::uniform_real_distribution<double>(0, 2.0 / scale)(random);
  } else {
    do {
      x = std::bit_cast<double>(random());
    } while (!std::isfinite(x));
  }
  return (random() & 1) ? -x : x;
}

// A million values in all; a quarter of that in the sanitizer build, which is
// unoptimised and checks memory rather than arithmetic.
#ifdef __SANITIZE_ADDRESS__
constexpr int kValuesPerShape = 31250;
#else
constexpr int kValuesPerShape = 125000;
#endif

TEST(FixedField, MatchesExactDecimalReference) {
  std::mt19937_64 random(20240611);
  int mismatches = 0;
  for (const FieldShape& shape : kShapes) {
    for (int i = 0; i < kValuesPerShape; ++i) {
      const double x = next_value(random, shape);
      const std::string expected = recio_test::reference_fixed_field(x, shape.width, shape.digits);
      const std::string actual = fixed_field(x, shape.width, shape.digits);
      if (actual != expected && ++mismatches <= 10) {
        ADD_FAILURE() << "F" << shape.width << "." << shape.digits << " of " << std::hexfloat << x
                      << std::defaultfloat << " (" << x << "): got |" << actual << "|, expected |"
                      << expected << "|";
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
  RecordProperty("values", kValuesPerShape * static_cast<int>(std::size(kShapes)));
}

}  // namespace
}  // namespace recio
