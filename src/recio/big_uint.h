// A fixed-capacity unsigned big integer, for exact decimal-to-binary conversion.
#ifndef SURGE_RECIO_BIG_UINT_H_
#define SURGE_RECIO_BIG_UINT_H_

#include <cassert>
#include <cstdint>

namespace recio {

// Little-endian 64-bit limbs. The capacity covers the largest operand that
// real conversion forms (a 801-digit mantissa against 10^1124, shifted by a
// double's full exponent range); exceeding it is a programming error.
class BigUint {
 public:
  static constexpr int kLimbs = 72;

  explicit BigUint(uint64_t v = 0) : size_(v != 0 ? 1 : 0) { limb_[0] = v; }

  bool is_zero() const { return size_ == 0; }
  int bit_length() const {
    return size_ == 0 ? 0 : 64 * (size_ - 1) + (64 - __builtin_clzll(limb_[size_ - 1]));
  }

  // *this = *this * m + a.
  void mul_add(uint64_t m, uint64_t a) {
    unsigned __int128 carry = a;
    for (int i = 0; i < size_; ++i) {
      carry += static_cast<unsigned __int128>(limb_[i]) * m;
      limb_[i] = static_cast<uint64_t>(carry);
      carry >>= 64;
    }
    if (carry != 0) push(static_cast<uint64_t>(carry));
  }

  void shift_left(int bits) {
    assert(bits >= 0);
    if (size_ == 0 || bits == 0) return;
    const int words = bits / 64;
    const int rest = bits % 64;
    assert(size_ + words + 1 <= kLimbs);
    if (rest != 0) {
      limb_[size_] = 0;
      for (int i = size_; i > 0; --i) {
        limb_[i] = (limb_[i] << rest) | (limb_[i - 1] >> (64 - rest));
      }
      limb_[0] <<= rest;
      ++size_;
    }
    if (words != 0) {
      for (int i = size_ - 1; i >= 0; --i) limb_[i + words] = limb_[i];
      for (int i = 0; i < words; ++i) limb_[i] = 0;
      size_ += words;
    }
    trim();
  }

  void shift_right_one() {
    for (int i = 0; i < size_; ++i) {
      const uint64_t high = i + 1 < size_ ? limb_[i + 1] << 63 : 0;
      limb_[i] = (limb_[i] >> 1) | high;
    }
    trim();
  }

  // *this -= other; requires *this >= other.
  void subtract(const BigUint& other) {
    assert(compare(*this, other) >= 0);
    uint64_t borrow = 0;
    for (int i = 0; i < size_; ++i) {
      const uint64_t o = i < other.size_ ? other.limb_[i] : 0;
      const uint64_t d = limb_[i] - o - borrow;
      borrow = (limb_[i] < o || (limb_[i] == o && borrow)) ? 1 : 0;
      limb_[i] = d;
    }
    trim();
  }

  // Negative, zero or positive as a < b, a == b, a > b.
  friend int compare(const BigUint& a, const BigUint& b) {
    if (a.size_ != b.size_) return a.size_ < b.size_ ? -1 : 1;
    for (int i = a.size_ - 1; i >= 0; --i) {
      if (a.limb_[i] != b.limb_[i]) return a.limb_[i] < b.limb_[i] ? -1 : 1;
    }
    return 0;
  }

 private:
  void push(uint64_t v) {
    assert(size_ < kLimbs);
    limb_[size_++] = v;
  }
  void trim() {
    while (size_ > 0 && limb_[size_ - 1] == 0) --size_;
  }

  uint64_t limb_[kLimbs];
  int size_;
};

}  // namespace recio

#endif  // SURGE_RECIO_BIG_UINT_H_
