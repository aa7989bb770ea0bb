// Format programs: the stored form of a format, built at compile time.
//
// A program is an array of 32-bit little-endian words holding elements that each
// start on a word boundary:
//   short   (1 word):  code, 0, 16-bit operand
//   long    (3 words): code, flags, e digits, d digits | repeat count | width
//   literal:           short element with operand n, then n text bytes padded
//                      with zero bytes to the next word.
#ifndef SURGE_RECIO_FORMAT_PROGRAM_H_
#define SURGE_RECIO_FORMAT_PROGRAM_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace recio {

// Element codes.
inline constexpr uint8_t FMT_BEGIN = 0x36;    // "(": start of the format
inline constexpr uint8_t FMT_END = 0x37;      // ")": end of the format
inline constexpr uint8_t FMT_LITERAL = 0x1c;  // literal text of n bytes
inline constexpr uint8_t FMT_SLASH = 0x47;    // "/": end of record
inline constexpr uint8_t FMT_A = 0x48;        // A: text in its own length
inline constexpr uint8_t FMT_I = 0x4d;        // I: integer in its kind's width
inline constexpr uint8_t FMT_I_W = 0x24;      // Iw
inline constexpr uint8_t FMT_F_W_D = 0x21;    // Fw.d

// A program as the runtime sees it: read-only words.
using FormatProgram = std::span<const uint32_t>;

namespace format_detail {

constexpr uint32_t pack(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
  return uint32_t{b0} | uint32_t{b1} << 8 | uint32_t{b2} << 16 | uint32_t{b3} << 24;
}
constexpr uint32_t short_element(uint8_t code, uint16_t operand) {
  return pack(code, 0, static_cast<uint8_t>(operand & 0xff), static_cast<uint8_t>(operand >> 8));
}

// A string literal usable as a template argument.
template <size_t N>
struct FixedText {
  char text[N]{};
  constexpr FixedText(const char (&s)[N]) {
    for (size_t i = 0; i < N; ++i) text[i] = s[i];
  }
  static constexpr size_t length = N - 1;
};

}  // namespace format_detail

// Elements of a program, each knowing its size in words and how to emit itself.
template <format_detail::FixedText T>
struct Lit {
  static_assert(T.length < 65536);
  static constexpr size_t kWords = 1 + (T.length + 3) / 4;
  static constexpr void emit(uint32_t* out) {
    out[0] = format_detail::short_element(FMT_LITERAL, static_cast<uint16_t>(T.length));
    for (size_t i = 0; i < T.length; ++i) {
      out[1 + i / 4] |= uint32_t{static_cast<uint8_t>(T.text[i])} << (8 * (i % 4));
    }
  }
};

template <uint8_t Code>
struct ShortRepeat {
  static constexpr size_t kWords = 1;
  static constexpr void emit(uint32_t* out) { out[0] = format_detail::short_element(Code, 1); }
};
using Slash = ShortRepeat<FMT_SLASH>;
using A = ShortRepeat<FMT_A>;
using I = ShortRepeat<FMT_I>;

template <uint8_t Code, int W, int D>
struct LongElement {
  static_assert(W > 0 && D >= 0 && D < 256);
  static constexpr size_t kWords = 3;
  static constexpr void emit(uint32_t* out) {
    out[0] = format_detail::pack(Code, 0, 0, static_cast<uint8_t>(D));
    out[1] = 1;  // repeat count
    out[2] = static_cast<uint32_t>(W);
  }
};
template <int W>
using Iw = LongElement<FMT_I_W, W, 0>;
template <int W, int D>
using F = LongElement<FMT_F_W_D, W, D>;

// The whole program: FMT_BEGIN, the elements in order, FMT_END.
template <typename... Elements>
constexpr auto make_format_program() {
  std::array<uint32_t, 2 + (size_t{0} + ... + Elements::kWords)> words{};
  words[0] = format_detail::short_element(FMT_BEGIN, 0);
  size_t at = 1;
  ((Elements::emit(&words[at]), at += Elements::kWords), ...);
  words[at] = format_detail::short_element(FMT_END, 0);
  return words;
}

}  // namespace recio

#endif  // SURGE_RECIO_FORMAT_PROGRAM_H_
