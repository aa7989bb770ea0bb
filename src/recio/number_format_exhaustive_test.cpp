// Exhaustive check, run on purpose (SURGE_EXHAUSTIVE, label "exhaustive"):
// every single-precision value of magnitude 2^-8 to 2^7, widened to double,
// in F4.1 and F6.3 against the exact decimal reference. Together these cover
// every surge that a single-precision computation could hand the report, in
// the range where F4.1 shows digits. Takes about six minutes.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>

#include "recio/exact_decimal_reference.h"
#include "recio/number_format.h"

namespace recio {
namespace {

void check_all_floats(int width, int digits) {
  // Biased single-precision exponents 119 (2^-8) to 133 (2^6, below 2^7).
  const uint32_t first = uint32_t{119} << 23;
  const uint32_t last = uint32_t{134} << 23;
  uint64_t mismatches = 0;
  char text[kFixedTextCapacity];
  for (uint32_t bits = first; bits < last; ++bits) {
    for (uint32_t sign : {0u, 0x80000000u}) {
      const double x = std::bit_cast<float>(bits | sign);
      std::string field(static_cast<size_t>(width), '?');
      fill_field(field.data(), field.size(),
                 std::string_view(text, fixed_text(x, width, digits, text)));
      if (field != recio_test::reference_fixed_field(x, width, digits) && ++mismatches <= 10) {
        ADD_FAILURE() << "F" << width << "." << digits << " of " << x << ": |" << field << "|";
      }
    }
  }
  EXPECT_EQ(mismatches, 0u);
}

TEST(FixedFieldExhaustive, EverySinglePrecisionValueInF4_1) { check_all_floats(4, 1); }
TEST(FixedFieldExhaustive, EverySinglePrecisionValueInF6_3) { check_all_floats(6, 3); }

}  // namespace
}  // namespace recio
