// Table tests of decimal conversion: accept rows give the value and where the
// conversion stopped; reject rows the error.
#include "recio/decimal.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace recio {
namespace {

TEST(DecimalTest, IntegerStopsAndChecksAtEachDigit) {
  struct Row {
    const char* text;
    ConvertError ec;
    int64_t value;  // -1: unchanged
    size_t stop;
  };
  const Row rows[] = {
      {"-0", ConvertError::kNone, 0, 2},
      {"000000000000000000000000007", ConvertError::kNone, 7, 27},
      {"5+3", ConvertError::kNone, 5, 1},
      {"12.5", ConvertError::kNone, 12, 2},
      {"", ConvertError::kNoNumber, -1, 0},
      {"+", ConvertError::kNoNumber, -1, 0},
      {".5", ConvertError::kNoNumber, -1, 0},
      {"2147483650", ConvertError::kOutOfRange, -1, 9},
      {"-2147483649", ConvertError::kOutOfRange, -1, 10},
      {"99999999999999999999999999", ConvertError::kOutOfRange, -1, 9},
  };
  for (const Row& row : rows) {
    int64_t v = -1;
    ConvertResult r = decimal_to_integer(row.text, INT32_MIN, INT32_MAX, &v);
    EXPECT_EQ(r.ec, row.ec) << row.text;
    EXPECT_EQ(v, row.value) << row.text;
    EXPECT_EQ(static_cast<size_t>(r.ptr - row.text), row.stop) << row.text;
  }
}

template <typename Real>
bool same_bits(Real a, Real b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(DecimalTest, RealAccepts) {
  struct Row {
    const char* text;
    double d;  // the Real64 result
    float f;   // the Real32 result
    size_t stop;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const Row rows[] = {
      {"1.5D3", 1500, 1500, 5},
      {"1.5e+3", 1500, 1500, 6},
      {"1.5q-3", 0.0015, 0.0015f, 6},
      {"1.5+3", 1500, 1500, 5},
      {"1.5-3", 0.0015, 0.0015f, 5},
      {"-.5", -0.5, -0.5f, 3},
      {"5.", 5, 5, 2},
      {"0.1", 0.1, 0.1f, 3},
      {"-0", -0.0, -0.0f, 2},
      {"0E999999", 0, 0, 8},
      {"0E99999999", 0, 0, 10},
      {"1E-99999999", 0, 0, 11},
      {"1E0000000000005", 1e5, 1e5f, 15},
      {"1E5.2", 1e5, 1e5f, 3},
      {"1.5E", 1.5, 1.5f, 3},
      {"1.5E+", 1.5, 1.5f, 3},
      {"5+", 5, 5, 1},
      {"123456789012345678901234567890", 123456789012345678901234567890.0,
       123456789012345678901234567890.0f, 30},
      {"1E-400", 0, 0, 6},
      {"-1E-400", -0.0, -0.0f, 7},
      // Through a double this lands on the float midpoint and ties to even.
      {"1.000000059604644775390625001", 1.000000059604644775390625001, 0x1.000002p0f, 29},
      {"1.000000059604644775390625", 1.000000059604644775390625, 1.0f, 26},
      {"1.000000178813934326171875", 1.000000178813934326171875, 0x1.000004p0f, 26},
      {"9007199254740993", 9007199254740992.0, 9007199254740992.0f, 16},
      {"9007199254740993.0000000000000000000000001", 9007199254740994.0, 9007199254740992.0f, 42},
      {"inf", inf, INFINITY, 3},
      {"-Infinity", -inf, -INFINITY, 9},
      {"INFIN", inf, INFINITY, 3},
      {"infinityx", inf, INFINITY, 8},
  };
  for (const Row& row : rows) {
    double d = 7;
    ConvertResult r = decimal_to_real(row.text, &d);
    const bool d_range = std::fabs(row.d) <= DBL_MAX || std::isinf(row.d);
    if (d_range) {
      EXPECT_EQ(r.ec, ConvertError::kNone) << row.text;
      EXPECT_TRUE(same_bits(d, row.d)) << row.text << " gave " << d;
      EXPECT_EQ(static_cast<size_t>(r.ptr - row.text), row.stop) << row.text;
    }
    float f = 7;
    r = decimal_to_real(row.text, &f);
    if (std::fabs(row.d) < 3.5e38 || std::isinf(row.d)) {
      EXPECT_EQ(r.ec, ConvertError::kNone) << row.text;
      EXPECT_TRUE(same_bits(f, row.f)) << row.text << " gave " << f;
      EXPECT_EQ(static_cast<size_t>(r.ptr - row.text), row.stop) << row.text;
    }
  }
  float nan_f = 0;
  double nan_d = 0;
  EXPECT_EQ(decimal_to_real("NaN", &nan_d).ec, ConvertError::kNone);
  EXPECT_EQ(decimal_to_real("-nan", &nan_f).ec, ConvertError::kNone);
  EXPECT_TRUE(std::isnan(nan_d) && std::isnan(nan_f));
}

TEST(DecimalTest, RealRejects) {
  struct Row {
    const char* text;
    ConvertError d_error;  // as a Real64
    ConvertError f_error;  // as a Real32
  };
  const Row rows[] = {
      {"", ConvertError::kNoNumber, ConvertError::kNoNumber},
      {"+", ConvertError::kNoNumber, ConvertError::kNoNumber},
      {".", ConvertError::kNoNumber, ConvertError::kNoNumber},
      {"E5", ConvertError::kNoNumber, ConvertError::kNoNumber},
      {"in", ConvertError::kNoNumber, ConvertError::kNoNumber},
      {"na", ConvertError::kNoNumber, ConvertError::kNoNumber},
      {"1E400", ConvertError::kOutOfRange, ConvertError::kOutOfRange},
      {"-1E400", ConvertError::kOutOfRange, ConvertError::kOutOfRange},
      {"1E1000000", ConvertError::kOutOfRange, ConvertError::kOutOfRange},
      {"1.7976931348623159E308", ConvertError::kOutOfRange, ConvertError::kOutOfRange},
      {"1E39", ConvertError::kNone, ConvertError::kOutOfRange},
      {"3.4028236E38", ConvertError::kNone, ConvertError::kOutOfRange},
      {"-3.40282357E38", ConvertError::kNone, ConvertError::kOutOfRange},
  };
  for (const Row& row : rows) {
    double d = 7;
    float f = 7;
    EXPECT_EQ(decimal_to_real(row.text, &d).ec, row.d_error) << row.text;
    EXPECT_EQ(decimal_to_real(row.text, &f).ec, row.f_error) << row.text;
    if (row.d_error != ConvertError::kNone) {
      EXPECT_EQ(d, 7) << row.text << ": unchanged";
    }
    EXPECT_EQ(f, 7) << row.text << ": unchanged";
  }
}

TEST(DecimalTest, ConvertsWhereTheTextStands) {
  // The text is not terminated: conversion must stop at the view's end.
  const char buffer[] = "12345";
  double d = 0;
  ConvertResult r = decimal_to_real(std::string_view(buffer, 3), &d);
  EXPECT_EQ(d, 123);
  EXPECT_EQ(r.ptr, buffer + 3);
  int64_t i = 0;
  decimal_to_integer(std::string_view(buffer, 2), INT32_MIN, INT32_MAX, &i);
  EXPECT_EQ(i, 12);
}

}  // namespace
}  // namespace recio
