// Test reference for fixed-point fields: the exact decimal expansion of a
// double, worked out digit by digit in base 10, then rounded and laid out by
// the plain rules. Deliberately slow and simple; shares no code with the
// runtime's conversion.
#ifndef SURGE_RECIO_EXACT_DECIMAL_REFERENCE_H_
#define SURGE_RECIO_EXACT_DECIMAL_REFERENCE_H_

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace recio_test {

// Decimal digits, least significant first.
using Digits = std::vector<uint8_t>;

inline void multiply(Digits& digits, uint64_t factor) {
  uint64_t carry = 0;
  for (uint8_t& d : digits) {
    uint64_t v = d * factor + carry;
    d = static_cast<uint8_t>(v % 10);
    carry = v / 10;
  }
  for (; carry != 0; carry /= 10) digits.push_back(static_cast<uint8_t>(carry % 10));
}

// The exact value of a finite, nonnegative double as decimal integer and
// fraction digits (most significant first; the integer part "0" when < 1).
struct ExactDecimal {
  std::string integer;
  std::string fraction;
};

inline ExactDecimal exact_decimal(double magnitude) {
  int exponent = 0;
  const double m = std::frexp(magnitude, &exponent);             // magnitude = m * 2^exponent
  uint64_t mantissa = static_cast<uint64_t>(std::ldexp(m, 53));  // 53 bits, exact
  exponent -= 53;
  Digits digits;
  for (uint64_t v = mantissa; v != 0; v /= 10) digits.push_back(static_cast<uint8_t>(v % 10));
  size_t fraction_digits = 0;
  if (exponent >= 0) {
    for (; exponent >= 29; exponent -= 29) multiply(digits, uint64_t{1} << 29);
    multiply(digits, uint64_t{1} << exponent);
  } else {
    // m / 2^s = m * 5^s / 10^s.
    fraction_digits = static_cast<size_t>(-exponent);
    int s = -exponent;
    for (; s >= 13; s -= 13) multiply(digits, 1220703125ULL);  // 5^13
    uint64_t rest = 1;
    while (s-- > 0) rest *= 5;
    multiply(digits, rest);
  }
  while (digits.size() < fraction_digits + 1) digits.push_back(0);
  ExactDecimal out;
  for (size_t i = digits.size(); i-- > fraction_digits;)
    out.integer.push_back(char('0' + digits[i]));
  for (size_t i = fraction_digits; i-- > 0;) out.fraction.push_back(char('0' + digits[i]));
  while (out.integer.size() > 1 && out.integer[0] == '0') out.integer.erase(0, 1);
  return out;
}

// The field Fw.d gives a finite x: exact rounding with ties to even, no sign
// on zero, a "0" before the point only when a column is free, asterisks when
// the characters do not fit.
inline std::string reference_fixed_field(double x, int width, int d) {
  ExactDecimal exact = exact_decimal(std::fabs(x));
  std::string fraction = exact.fraction;
  if (fraction.size() < static_cast<size_t>(d)) fraction.append(d - fraction.size(), '0');
  std::string kept = exact.integer + fraction.substr(0, d);
  std::string rest = fraction.substr(d);
  bool above = false;
  bool tie = false;
  if (!rest.empty() && rest[0] >= '5') {
    above = rest[0] > '5' || rest.find_first_not_of('0', 1) != std::string::npos;
    tie = !above;
  }
  if (above || (tie && (kept.back() - '0') % 2 == 1)) {
    size_t i = kept.size();
    while (i > 0 && kept[i - 1] == '9') kept[--i] = '0';
    if (i == 0) {
      kept.insert(kept.begin(), '1');
    } else {
      ++kept[i - 1];
    }
  }
  std::string integer = kept.substr(0, kept.size() - d);
  std::string digits_after = kept.substr(kept.size() - d);
  integer.erase(0, integer.find_first_not_of('0'));  // "0" becomes empty
  const bool zero = integer.empty() && digits_after.find_first_not_of('0') == std::string::npos;
  std::string text = (std::signbit(x) && !zero ? "-" : "") + integer + "." + digits_after;
  if (integer.empty() && text.size() < static_cast<size_t>(width)) {
    text.insert(text[0] == '-' ? 1 : 0, "0");
  }
  if (text.size() > static_cast<size_t>(width)) return std::string(width, '*');
  return std::string(width - text.size(), ' ') + text;
}

}  // namespace recio_test

#endif  // SURGE_RECIO_EXACT_DECIMAL_REFERENCE_H_
