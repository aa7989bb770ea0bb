// Integer and fixed-point characters, rounded exactly in integer arithmetic.
#include "recio/number_format.h"

#include <bit>
#include <cassert>
#include <cstring>

namespace recio {
namespace {

constexpr uint64_t kPowersOfTen[] = {1ULL,
                                     10ULL,
                                     100ULL,
                                     1000ULL,
                                     10000ULL,
                                     100000ULL,
                                     1000000ULL,
                                     10000000ULL,
                                     100000000ULL,
                                     1000000000ULL,
                                     10000000000ULL,
                                     100000000000ULL,
                                     1000000000000ULL,
                                     10000000000000ULL,
                                     100000000000000ULL,
                                     1000000000000000ULL,
                                     10000000000000000ULL,
                                     100000000000000000ULL,
                                     1000000000000000000ULL,
                                     10000000000000000000ULL};
constexpr int kMaxPowerOfTen = 19;

// Writes the decimal digits of v (at least one) backwards ending at `end`;
// returns the first digit.
char* digits_backwards(uint64_t v, char* end) {
  do {
    *--end = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  return end;
}

// How the bits dropped by a right shift compare with half of their weight.
enum class Dropped { kBelowHalf, kHalf, kAboveHalf };

// A nonnegative integer large enough for m * 10^255 * 2^971, the largest
// scaled magnitude a double and 255 fraction digits can need (under 1900 bits).
class BigUnsigned {
 public:
  explicit BigUnsigned(uint64_t v) {
    while (v != 0) {
      limbs_[size_++] = static_cast<uint32_t>(v);
      v >>= 32;
    }
  }

  bool is_zero() const { return size_ == 0; }
  bool is_odd() const { return size_ > 0 && (limbs_[0] & 1) != 0; }

  void multiply(uint32_t factor) {
    uint64_t carry = 0;
    for (int i = 0; i < size_; ++i) {
      uint64_t product = uint64_t{limbs_[i]} * factor + carry;
      limbs_[i] = static_cast<uint32_t>(product);
      carry = product >> 32;
    }
    if (carry != 0) push(static_cast<uint32_t>(carry));
  }

  void multiply_by_power_of_ten(int exponent) {
    for (; exponent >= 9; exponent -= 9) multiply(1000000000u);
    if (exponent > 0) multiply(static_cast<uint32_t>(kPowersOfTen[exponent]));
  }

  void shift_left(int bits) {
    if (is_zero() || bits == 0) return;
    const int words = bits / 32;
    const int rest = bits % 32;
    assert(size_ + words + 1 <= kLimbs);
    limbs_[size_] = 0;
    for (int i = size_; i >= 0; --i) {
      uint32_t high = limbs_[i] << rest;
      uint32_t low = (rest != 0 && i > 0) ? limbs_[i - 1] >> (32 - rest) : 0;
      limbs_[i + words] = high | low;
    }
    for (int i = 0; i < words; ++i) limbs_[i] = 0;
    size_ += words + 1;
    trim();
  }

  // Divides by 2^bits, dropping the remainder, and tells how the remainder
  // compared with 2^(bits-1).
  Dropped shift_right(int bits) {
    if (bits == 0) return Dropped::kBelowHalf;
    const int half_bit = bits - 1;
    Dropped dropped = Dropped::kBelowHalf;
    if (bit(half_bit)) dropped = any_bit_below(half_bit) ? Dropped::kAboveHalf : Dropped::kHalf;
    const int words = bits / 32;
    const int rest = bits % 32;
    if (words >= size_) {
      size_ = 0;
      return dropped;
    }
    for (int i = 0; i + words < size_; ++i) {
      uint32_t low = limbs_[i + words] >> rest;
      uint32_t high =
          (rest != 0 && i + words + 1 < size_) ? limbs_[i + words + 1] << (32 - rest) : 0;
      limbs_[i] = low | high;
    }
    size_ -= words;
    trim();
    return dropped;
  }

  void increment() {
    for (int i = 0; i < size_; ++i) {
      if (++limbs_[i] != 0) return;
    }
    push(1);
  }

  // Writes the decimal digits (at least one) backwards ending at `end`;
  // returns the first digit. Consumes the value.
  char* digits_backwards(char* end) {
    while (size_ > 0) {
      uint32_t chunk = divide(1000000000u);
      if (size_ == 0) return recio::digits_backwards(chunk, end);
      for (int i = 0; i < 9; ++i, chunk /= 10) *--end = static_cast<char>('0' + chunk % 10);
    }
    *--end = '0';
    return end;
  }

 private:
  static constexpr int kLimbs = 64;

  void push(uint32_t limb) {
    assert(size_ < kLimbs);
    limbs_[size_++] = limb;
  }
  void trim() {
    while (size_ > 0 && limbs_[size_ - 1] == 0) --size_;
  }
  bool bit(int index) const {
    const int word = index / 32;
    return word < size_ && ((limbs_[word] >> (index % 32)) & 1) != 0;
  }
  bool any_bit_below(int index) const {
    const int word = index / 32;
    const int limit = word < size_ ? word : size_;
    for (int i = 0; i < limit; ++i) {
      if (limbs_[i] != 0) return true;
    }
    return word < size_ && (limbs_[word] & ((uint32_t{1} << (index % 32)) - 1)) != 0;
  }
  // Divides in place; returns the remainder.
  uint32_t divide(uint32_t divisor) {
    uint64_t remainder = 0;
    for (int i = size_ - 1; i >= 0; --i) {
      uint64_t current = (remainder << 32) | limbs_[i];
      limbs_[i] = static_cast<uint32_t>(current / divisor);
      remainder = current % divisor;
    }
    trim();
    return static_cast<uint32_t>(remainder);
  }

  uint32_t limbs_[kLimbs] = {};
  int size_ = 0;
};

bool round_up(Dropped dropped, bool odd) {
  return dropped == Dropped::kAboveHalf || (dropped == Dropped::kHalf && odd);
}

// The decimal digits of round(mantissa * 2^exponent * 10^digits), ties to
// even, written backwards ending at `end`; returns the first digit.
// Small cases stay in 64 bits; the rest use BigUnsigned.
char* scaled_digits(uint64_t mantissa, int exponent, int digits, char* end) {
  if (mantissa == 0) {
    *--end = '0';
    return end;
  }
  if (digits <= kMaxPowerOfTen && mantissa <= UINT64_MAX / kPowersOfTen[digits]) {
    const uint64_t scaled = mantissa * kPowersOfTen[digits];
    if (exponent >= 0 && exponent < 64 && scaled <= (UINT64_MAX >> exponent)) {
      return digits_backwards(scaled << exponent, end);
    }
    if (exponent < 0) {
      const int shift = -exponent;
      uint64_t quotient = 0;
      Dropped dropped = Dropped::kBelowHalf;
      if (shift < 64) {
        quotient = scaled >> shift;
        const uint64_t remainder = scaled & ((uint64_t{1} << shift) - 1);
        const uint64_t half = uint64_t{1} << (shift - 1);
        if (remainder > half) dropped = Dropped::kAboveHalf;
        if (remainder == half) dropped = Dropped::kHalf;
      } else if (shift == 64) {
        const uint64_t half = uint64_t{1} << 63;
        if (scaled > half) dropped = Dropped::kAboveHalf;
        if (scaled == half) dropped = Dropped::kHalf;
      }
      if (round_up(dropped, (quotient & 1) != 0)) ++quotient;
      return digits_backwards(quotient, end);
    }
  }
  BigUnsigned value(mantissa);
  value.multiply_by_power_of_ten(digits);
  if (exponent >= 0) {
    value.shift_left(exponent);
  } else {
    Dropped dropped = value.shift_right(-exponent);
    if (round_up(dropped, value.is_odd())) value.increment();
  }
  return value.digits_backwards(end);
}

char* append(char* out, std::string_view text) {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

}  // namespace

size_t integer_text(int64_t v, int min_digits, char* out) {
  assert(min_digits >= 1 && min_digits <= 255);
  char digits[kIntegerTextCapacity];
  char* const end = digits + sizeof digits;
  const uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  char* first = digits_backwards(magnitude, end);
  while (end - first < min_digits) *--first = '0';
  char* p = out;
  if (v < 0) *p++ = '-';
  p = append(p, std::string_view(first, static_cast<size_t>(end - first)));
  return static_cast<size_t>(p - out);
}

size_t fixed_text(double x, int width, int digits, char* out) {
  assert(digits >= 0 && digits <= 255);
  const uint64_t bits = std::bit_cast<uint64_t>(x);
  const bool sign = (bits >> 63) != 0;
  const int biased_exponent = static_cast<int>((bits >> 52) & 0x7ff);
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  char* p = out;
  if (biased_exponent == 0x7ff) {
    if (fraction != 0) return static_cast<size_t>(append(p, "NaN") - out);
    const int sign_width = sign ? 1 : 0;
    if (sign) *p++ = '-';
    p = append(p, 8 + sign_width <= width ? "Infinity" : "Inf");
    return static_cast<size_t>(p - out);
  }
  // |x| = mantissa * 2^exponent exactly; subnormals have no hidden bit.
  const uint64_t mantissa = biased_exponent == 0 ? fraction : fraction | (uint64_t{1} << 52);
  const int exponent = (biased_exponent == 0 ? 1 : biased_exponent) - 1075;

  char scaled[kFixedTextCapacity];
  char* const end = scaled + sizeof scaled;
  const char* first = scaled_digits(mantissa, exponent, digits, end);
  const size_t count = static_cast<size_t>(end - first);
  const bool zero = count == 1 && *first == '0';
  const size_t fraction_digits = static_cast<size_t>(digits);
  // The integer part has the digits in front of the last `digits`; none when
  // the rounded value is below 1 (or zero).
  const size_t integer_digits = !zero && count > fraction_digits ? count - fraction_digits : 0;

  if (sign && !zero) *p++ = '-';
  const size_t length = static_cast<size_t>(p - out) + integer_digits + 1 + fraction_digits;
  if (integer_digits == 0 && length < static_cast<size_t>(width)) *p++ = '0';
  p = append(p, std::string_view(first, integer_digits));
  *p++ = '.';
  const size_t shown = zero ? 0 : count - integer_digits;  // digits after the point present
  for (size_t i = shown; i < fraction_digits; ++i) *p++ = '0';
  p = append(p, std::string_view(first + integer_digits, shown));
  return static_cast<size_t>(p - out);
}

void fill_field(char* field, size_t width, std::string_view text) {
  if (text.size() > width) {
    std::memset(field, '*', width);
    return;
  }
  const size_t pad = width - text.size();
  std::memset(field, ' ', pad);
  std::memcpy(field + pad, text.data(), text.size());
}

}  // namespace recio
