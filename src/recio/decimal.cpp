// Decimal-to-binary conversion of numeric text.
#include "recio/decimal.h"

#include <cassert>
#include <cstring>
#include <limits>

#include "recio/big_uint.h"

namespace recio {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_sign(char c) { return c == '+' || c == '-'; }
bool is_exponent_letter(char c) {
  switch (c) {
    case 'E': case 'e': case 'D': case 'd': case 'Q': case 'q': return true;
    default: return false;
  }
}
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Length of the prefix of [p, end) that spells `word` in any case.
size_t match_word(const char* p, const char* end, const char* word) {
  size_t n = 0;
  while (word[n] != '\0' && p + n < end && upper(p[n]) == word[n]) ++n;
  return n;
}

// A number's parts as they stand in the text. The mantissa's digits are
// [digits_begin, digits_end), which holds at most one full stop.
struct DecimalText {
  bool negative = false;
  const char* digits_begin = nullptr;
  const char* digits_end = nullptr;
  const char* point = nullptr;  // the full stop, or nullptr
  int64_t exponent = 0;         // the written exponent, when not huge
  int huge_exponent = 0;        // +1 or -1: more than six significant exponent digits
  const char* end = nullptr;    // where the number stops
};

// Reads "[sign] mantissa [exponent]". False when no mantissa digit is there.
bool parse_decimal(const char* p, const char* end, DecimalText* d) {
  if (p < end && is_sign(*p)) d->negative = *p++ == '-';
  d->digits_begin = p;
  bool any_digit = false;
  while (p < end && is_digit(*p)) ++p, any_digit = true;
  if (p < end && *p == '.') {
    d->point = p++;
    while (p < end && is_digit(*p)) ++p, any_digit = true;
  }
  if (!any_digit) return false;
  d->digits_end = p;
  d->end = p;

  // The exponent: a letter with an optional sign, or a bare sign, then digits.
  const char* q = p;
  if (q < end && is_exponent_letter(*q)) ++q;
  else if (!(q < end && is_sign(*q))) return true;
  bool exponent_negative = false;
  if (q < end && is_sign(*q)) exponent_negative = *q++ == '-';
  if (!(q < end && is_digit(*q))) return true;  // not an exponent after all
  while (q < end && *q == '0') ++q;
  int significant = 0;
  int64_t value = 0;
  for (; q < end && is_digit(*q); ++q) {
    if (++significant <= 6) value = value * 10 + (*q - '0');
  }
  if (significant > 6) {
    d->huge_exponent = exponent_negative ? -1 : 1;
  } else {
    d->exponent = exponent_negative ? -value : value;
  }
  d->end = q;
  return true;
}

// The parameters of an IEEE binary format.
struct Format {
  int precision;       // significand bits, the hidden one included
  int min_exponent;    // exponent of the smallest normal value
  int max_exponent;    // exponent of the largest finite value
  int max_decimal;     // values of 10^max_decimal and more overflow
  int min_decimal;     // values below 10^min_decimal round to zero
};
constexpr Format kSingle{24, -126, 127, 39, -46};
constexpr Format kDouble{53, -1022, 1023, 309, -324};

// Beyond this many significant digits only whether the rest is zero matters:
// every value of either format, and every midpoint between two of them, has at
// most 767 significant digits.
constexpr int64_t kMaxDigits = 800;

// The significant digits of a mantissa, the full stop skipped.
class DigitCursor {
 public:
  DigitCursor(const char* p, const char* end) : p_(p), end_(end) {}
  bool done() const { return p_ >= end_; }
  int next() {
    if (*p_ == '.') ++p_;
    return *p_++ - '0';
  }

 private:
  const char* p_;
  const char* end_;
};

// A finite value as binary parts: significand bits and biased exponent.
struct BinaryValue {
  uint64_t bits = 0;  // the format's bit pattern without the sign
  bool overflow = false;
};

// Rounds D * 10^e10 (D given by n digits at cursor) into the format, exactly.
BinaryValue round_exactly(DigitCursor digits, int64_t n, bool sticky, int64_t e10,
                          const Format& f) {
  BigUint a;
  uint64_t chunk = 0;
  int chunk_digits = 0;
  for (int64_t i = 0; i < n; ++i) {
    chunk = chunk * 10 + digits.next();
    if (++chunk_digits == 19) {
      a.mul_add(10000000000000000000ULL, chunk);
      chunk = 0;
      chunk_digits = 0;
    }
  }
  uint64_t scale = 1;
  for (int i = 0; i < chunk_digits; ++i) scale *= 10;
  a.mul_add(scale, chunk);
  if (sticky) a.mul_add(10, 1);

  // value = a / b.
  BigUint b(1);
  BigUint& powered = e10 >= 0 ? a : b;
  for (int64_t k = e10 >= 0 ? e10 : -e10; k > 0; k -= 19) {
    uint64_t p = 1;
    for (int64_t i = 0; i < (k < 19 ? k : 19); ++i) p *= 10;
    powered.mul_add(p, 0);
  }

  // The binary exponent: 2^e2 <= a / b < 2^(e2 + 1).
  int e2 = a.bit_length() - b.bit_length();
  {
    BigUint x = a;
    BigUint y = b;
    if (e2 >= 0) y.shift_left(e2);
    else x.shift_left(-e2);
    if (compare(x, y) < 0) --e2;
  }
  if (e2 > f.max_exponent) return {0, true};

  // m = a / (b * 2^q), with q the exponent of the last significand bit.
  const int q = (e2 > f.min_exponent ? e2 : f.min_exponent) - (f.precision - 1);
  BigUint remainder = a;
  BigUint divisor = b;
  if (q >= 0) divisor.shift_left(q);
  else remainder.shift_left(-q);
  BigUint step = divisor;
  step.shift_left(f.precision);
  uint64_t m = 0;
  for (int i = f.precision - 1; i >= 0; --i) {
    step.shift_right_one();
    if (compare(remainder, step) >= 0) {
      remainder.subtract(step);
      m |= uint64_t{1} << i;
    }
  }
  // Round half to even on the remainder.
  remainder.shift_left(1);
  const int half = compare(remainder, divisor);
  if (half > 0 || (half == 0 && (m & 1) != 0)) ++m;

  const uint64_t hidden = uint64_t{1} << (f.precision - 1);
  int exponent = q + (f.precision - 1);
  if (m == hidden << 1) {
    m = hidden;
    ++exponent;
  }
  if (m < hidden) return {m, false};  // subnormal, or zero
  if (exponent > f.max_exponent) return {0, true};
  const uint64_t biased = static_cast<uint64_t>(exponent + f.max_exponent);
  return {(biased << (f.precision - 1)) | (m & (hidden - 1)), false};
}

// An exactly representable mantissa and power of ten give a correctly rounded
// product or quotient in one IEEE operation; the results are normal numbers,
// so the flush-to-zero mode cannot touch them.
template <typename Real>
bool fast_path(uint64_t mantissa, int64_t e10, Real* out) {
  using Exact = plain_decimal::Exact<Real>;
  constexpr int64_t kMax = static_cast<int64_t>(std::size(Exact::kPowers)) - 1;
  if (mantissa > Exact::kMaxMantissa || e10 < -kMax || e10 > kMax) return false;
  const Real m = static_cast<Real>(mantissa);
  *out = e10 < 0 ? m / Exact::kPowers[-e10] : m * Exact::kPowers[e10];
  return true;
}

template <typename Real, typename Bits>
Real from_bits(Bits bits) {
  static_assert(sizeof(Real) == sizeof(Bits));
  Real r;
  std::memcpy(&r, &bits, sizeof r);
  return r;
}

template <typename Real, typename Bits>
ConvertResult convert_real(std::string_view text, const Format& f, Real* value) {
  const char* p = text.data();
  const char* end = p + text.size();
  const char* after_sign = p < end && is_sign(*p) ? p + 1 : p;
  const bool negative = after_sign != p && *p == '-';
  const Bits sign_bit = negative ? Bits{1} << (8 * sizeof(Bits) - 1) : 0;
  if (bool point; const char* stop = plain_decimal_to_real(p, end, value, &point)) {
    return {stop, ConvertError::kNone};
  }

  // Words.
  const char initial = after_sign < end ? upper(*after_sign) : '\0';
  if (size_t n = initial == 'I' ? match_word(after_sign, end, "INFINITY") : 0; n >= 3) {
    *value = from_bits<Real>(static_cast<Bits>(
        sign_bit | from_bits<Bits>(std::numeric_limits<Real>::infinity())));
    return {after_sign + (n == 8 ? 8 : 3), ConvertError::kNone};
  }
  if (initial == 'N' && match_word(after_sign, end, "NAN") == 3) {
    *value = std::numeric_limits<Real>::quiet_NaN();
    return {after_sign + 3, ConvertError::kNone};
  }

  DecimalText d;
  if (!parse_decimal(p, end, &d)) return {p, ConvertError::kNoNumber};

  // The significant digits: first and last non-zero digit.
  const char* first = d.digits_begin;
  while (first < d.digits_end && (*first == '0' || *first == '.')) ++first;
  if (first == d.digits_end) {
    *value = from_bits<Real>(sign_bit);
    return {d.end, ConvertError::kNone};
  }
  if (d.huge_exponent < 0) {
    *value = from_bits<Real>(sign_bit);
    return {d.end, ConvertError::kNone};
  }
  if (d.huge_exponent > 0) return {d.end, ConvertError::kOutOfRange};
  const char* last = d.digits_end - 1;
  while (*last == '0' || *last == '.') --last;

  // value = D * 10^e10, D the n digits from first to last.
  const char* point = d.point ? d.point : d.digits_end;
  int64_t n = last - first + 1;
  if (first < point && last > point) --n;
  const int64_t last_weight = last < point ? point - last - 1 : -(last - point);
  int64_t e10 = last_weight + d.exponent;
  const int64_t magnitude = n + e10;  // 10^(magnitude-1) <= value < 10^magnitude

  Real result;
  if (magnitude > f.max_decimal) return {d.end, ConvertError::kOutOfRange};
  if (magnitude < f.min_decimal) {
    result = from_bits<Real>(sign_bit);
  } else {
    uint64_t mantissa = 0;
    bool fast = false;
    if (n <= 19) {
      DigitCursor c(first, last + 1);
      while (!c.done()) mantissa = mantissa * 10 + c.next();
      fast = fast_path(mantissa, e10, &result);
    }
    if (fast) {
      if (negative) result = -result;
    } else {
      bool sticky = false;
      if (n > kMaxDigits) {
        // Every digit left out is known non-zero at its end: one 1 stands for them.
        e10 += n - kMaxDigits - 1;
        n = kMaxDigits;
        sticky = true;
      }
      BinaryValue b = round_exactly(DigitCursor(first, last + 1), n, sticky, e10, f);
      if (b.overflow) return {d.end, ConvertError::kOutOfRange};
      result = from_bits<Real>(static_cast<Bits>(sign_bit | b.bits));
    }
  }
  *value = result;
  return {d.end, ConvertError::kNone};
}

}  // namespace

ConvertResult decimal_to_integer(std::string_view text, int64_t min, int64_t max, int64_t* value) {
  assert(min <= 0 && max >= 0 && -min < INT64_MAX / 10 && max < INT64_MAX / 10);
  const char* p = text.data();
  const char* end = p + text.size();
  bool negative = false;
  if (p < end && is_sign(*p)) negative = *p++ == '-';
  if (!(p < end && is_digit(*p))) return {text.data(), ConvertError::kNoNumber};
  // The magnitude's limit: -min and max both fit, as min > INT64_MIN.
  const int64_t limit = negative ? -min : max;
  int64_t magnitude = 0;
  for (; p < end && is_digit(*p); ++p) {
    magnitude = magnitude * 10 + (*p - '0');
    if (magnitude > limit) return {p, ConvertError::kOutOfRange};
  }
  *value = negative ? -magnitude : magnitude;
  return {p, ConvertError::kNone};
}

ConvertResult decimal_to_real(std::string_view text, float* value) {
  return convert_real<float, uint32_t>(text, kSingle, value);
}

ConvertResult decimal_to_real(std::string_view text, double* value) {
  return convert_real<double, uint64_t>(text, kDouble, value);
}

}  // namespace recio
