// Decimal text to binary numbers: exact integers and correctly rounded reals.
//
// Both conversions read the text where it stands and stop at the first
// character that cannot continue the number, like std::from_chars. The caller
// decides what characters left over mean.
#ifndef SURGE_RECIO_DECIMAL_H_
#define SURGE_RECIO_DECIMAL_H_

#include <cstdint>
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
// "[sign]digits[.digits]" of at most 19 digits with no exponent after it:
// converts it when one IEEE operation rounds it exactly, with the same result
// as decimal_to_real, and tells where it stopped and whether it had a full
// stop. Returns false, storing nothing, for anything else.
bool plain_decimal_to_real(std::string_view text, float* value, const char** stop,
                           bool* had_point);
bool plain_decimal_to_real(std::string_view text, double* value, const char** stop,
                           bool* had_point);

}  // namespace recio

#endif  // SURGE_RECIO_DECIMAL_H_
