// Exhaustive check of Real32 conversion: every finite float, written with nine
// significant digits, converts back to itself, and the exact tie between it
// and the next float agrees with the correctly rounded strtof. Hours of work:
// registered only with SURGE_EXHAUSTIVE. SURGE_EXHAUSTIVE_STRIDE=n checks
// every n-th float instead.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "recio/decimal.h"

namespace recio {
namespace {

TEST(DecimalExhaustiveTest, EveryFloatAndEveryTie) {
  const char* stride_text = std::getenv("SURGE_EXHAUSTIVE_STRIDE");
  const uint64_t stride = stride_text ? std::strtoull(stride_text, nullptr, 10) : 1;
  uint64_t mismatches = 0;
  for (uint64_t b = 0; b < 0x7f800000u; b += stride) {
    float x;
    const uint32_t bits = static_cast<uint32_t>(b);
    std::memcpy(&x, &bits, sizeof x);
    char text[160];
    snprintf(text, sizeof text, "%.8e", x);
    float got = 0;
    if (decimal_to_real(text, &got).ec != ConvertError::kNone || got != x) {
      if (++mismatches <= 10) ADD_FAILURE() << text;
    }
    // The tie is exact in double; 120 digits hold its whole expansion.
    const double tie = (static_cast<double>(x) + std::nextafter(x, INFINITY)) / 2;
    snprintf(text, sizeof text, "%.120e", tie);
    const float want = std::strtof(text, nullptr);
    const ConvertResult r = decimal_to_real(text, &got);
    const bool ok = std::isinf(want) ? r.ec == ConvertError::kOutOfRange
                                     : r.ec == ConvertError::kNone && got == want;
    if (!ok && ++mismatches <= 10) ADD_FAILURE() << text;
  }
  EXPECT_EQ(mismatches, 0u);
}

}  // namespace
}  // namespace recio
