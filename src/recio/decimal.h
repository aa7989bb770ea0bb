// Decimal text to binary numbers: exact integers and correctly rounded reals.
//
// Both conversions read the text where it stands and stop at the first
// character that cannot continue the number, like std::from_chars. The caller
// decides what characters left over mean.
#ifndef SURGE_RECIO_DECIMAL_H_
#define SURGE_RECIO_DECIMAL_H_

#include <cstdint>
#include <iterator>
#include <string_view>

namespace recio {

enum class ConvertError : uint8_t {
  kNone,
  kNoNumber,    // the text does not begin with a number
  kOutOfRange,  // beyond the range of the target
};

// Where a conversion stopped and how it ended.
struct ConvertResult {
  const char* ptr;
  ConvertError ec;
};

// Integer form: an optional sign and decimal digits. The value must lie in
// [min, max], checked at each digit. On any error *value is unchanged; on
// kOutOfRange ptr is at the digit that left the range.
ConvertResult decimal_to_integer(std::string_view text, int64_t min, int64_t max, int64_t* value);

// Real form, rounded to nearest (ties to even) straight into the target format:
//   [sign] (digits [. [digits]] | . digits) [exponent]   or   [sign] word
//   exponent: (E|D|Q in either case) [sign] digits, or a sign and digits
//   word: INF, INFINITY or NAN in any case
// An exponent with more than six significant digits is out of range: overflow
// when positive, a signed zero when negative. Values below the normal range
// become subnormal or signed zero without error; a zero mantissa is zero
// whatever its exponent. A magnitude beyond the largest finite value is
// kOutOfRange. An exponent letter without digits is not part of the number.
// On any error *value is unchanged.
ConvertResult decimal_to_real(std::string_view text, float* value);
ConvertResult decimal_to_real(std::string_view text, double* value);

// The quick form of decimal_to_real for the commonest text, a prefix
// "[sign]digits[.digits]" of [p, end) with at most 19 digits and no exponent
// (letter or sign) after it: converts it when one IEEE operation rounds it
// exactly, with the same result as decimal_to_real. Returns where it stopped
// and tells in *had_point whether it had a full stop; returns nullptr, storing
// nothing, for anything else. Inline: a data file is made of such numbers.
template <typename Real>
const char* plain_decimal_to_real(const char* p, const char* end, Real* value, bool* had_point);

// ---- Implementation --------------------------------------------------------

namespace plain_decimal {

// Powers of ten that the format holds exactly, and the largest mantissa that
// it holds exactly: a quotient of two such numbers is correctly rounded, and
// it is a normal number, so the flush-to-zero mode cannot touch it.
template <typename Real>
struct Exact;
template <>
struct Exact<float> {
  static constexpr float kPowers[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                      1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
  static constexpr uint64_t kMaxMantissa = uint64_t{1} << 24;
};
template <>
struct Exact<double> {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  static constexpr uint64_t kMaxMantissa = uint64_t{1} << 53;
};

// Appends the run of digits at p to *mantissa (wrapping around past 19
// digits) and returns where the run ends.
inline const char* take_digits(const char* p, const char* end, uint64_t* mantissa) {
  uint64_t m = *mantissa;
  for (; p < end; ++p) {
    const unsigned digit = static_cast<unsigned char>(*p) - unsigned{'0'};
    if (digit > 9) break;
    m = m * 10 + digit;
  }
  *mantissa = m;
  return p;
}

}  // namespace plain_decimal

template <typename Real>
inline const char* plain_decimal_to_real(const char* p, const char* end, Real* value,
                                         bool* had_point) {
  using Exact = plain_decimal::Exact<Real>;
  const bool negative = p < end && *p == '-';
  if (p < end && (*p == '-' || *p == '+')) ++p;
  const char* const integer = p;
  uint64_t mantissa = 0;
  p = plain_decimal::take_digits(p, end, &mantissa);
  const long integer_digits = p - integer;
  long fraction_digits = 0;
  const bool point = p < end && *p == '.';
  if (point) {
    const char* const fraction = ++p;
    p = plain_decimal::take_digits(p, end, &mantissa);
    fraction_digits = p - fraction;
  }
  const long digits = integer_digits + fraction_digits;
  if (digits == 0 || digits > 19) return nullptr;
  if (p < end) {
    const char c = static_cast<char>(*p | 0x20);  // lower case for letters
    if (c == 'e' || c == 'd' || c == 'q' || *p == '+' || *p == '-') return nullptr;
  }
  if (mantissa > Exact::kMaxMantissa ||
      fraction_digits >= static_cast<long>(std::size(Exact::kPowers))) {
    return nullptr;
  }
  const Real result = static_cast<Real>(mantissa) / Exact::kPowers[fraction_digits];
  *value = negative ? -result : result;
  *had_point = point;
  return p;
}

}  // namespace recio

#endif  // SURGE_RECIO_DECIMAL_H_
