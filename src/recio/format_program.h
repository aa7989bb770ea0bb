// Format programs: the stored form of a format, its elements, and a builder
// that lays them out at compile time.
//
// A program is a read-only array of 32-bit little-endian words holding
// elements, each starting on a word boundary:
//   short   (1 word):   byte 0 code, byte 1 zero, bytes 2-3 unsigned operand
//   long    (3 words):  byte 0 code, byte 1 flags, byte 2 exponent digits,
//                       byte 3 digits after the point (or minimum digits)
//                       | signed repeat count | signed field width
//   literal:            a short element whose operand is the text length n,
//                       then the n text bytes and zero bytes up to a word.
// Every program begins with FMT_BEGIN and ends with FMT_END.
#ifndef SURGE_RECIO_FORMAT_PROGRAM_H_
#define SURGE_RECIO_FORMAT_PROGRAM_H_

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace recio {

// Literal texts are copied straight out of the words, so the words must hold
// their bytes in little-endian order in memory.
static_assert(std::endian::native == std::endian::little,
              "format program words are stored little-endian");

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

// One element decoded from its words: everything the walker needs, taken out
// of the byte layout once.
struct FormatElement {
  uint8_t code = 0;
  int32_t repeat = 0;     // slash and data descriptors; 1 in the system's programs
  int32_t width = 0;      // Iw and Fw.d; 0 where the item decides (I, A)
  uint8_t digits = 0;     // Fw.d: d; Iw: minimum digit count (0 taken as 1)
  std::string_view text;  // FMT_LITERAL: the text bytes
  size_t words = 0;       // size of the element in words
};

// True for the codes that take an item.
constexpr bool is_data_descriptor(uint8_t code) {
  return code == FMT_A || code == FMT_I || code == FMT_I_W || code == FMT_F_W_D;
}

// Decodes the element starting at word `at`. Returns false, leaving *element
// unspecified, when the element is not one this runtime supports: an unknown
// code, a nonzero reserved byte or flags (operands computed at run time), a
// repeat count or width below 1, or an element running past the program.
// Literal texts are only decoded at run time (reading bytes needs a cast).
constexpr bool decode_element(FormatProgram program, size_t at, FormatElement* element) {
  if (at >= program.size()) return false;
  const uint32_t word = program[at];
  const uint8_t code = static_cast<uint8_t>(word);
  const uint8_t byte1 = static_cast<uint8_t>(word >> 8);
  const uint16_t operand = static_cast<uint16_t>(word >> 16);
  *element = FormatElement{};
  element->code = code;
  switch (code) {
    case FMT_BEGIN:
    case FMT_END:
      element->words = 1;
      return byte1 == 0 && operand == 0;
    case FMT_SLASH:
    case FMT_A:
    case FMT_I:
      element->words = 1;
      element->repeat = operand;
      return byte1 == 0 && operand >= 1;
    case FMT_LITERAL:
      element->words = 1 + (size_t{operand} + 3) / 4;
      if (byte1 != 0 || program.size() - at < element->words) return false;
      if (!std::is_constant_evaluated()) {
        element->text = std::string_view(reinterpret_cast<const char*>(&program[at + 1]), operand);
      }
      return true;
    case FMT_I_W:
    case FMT_F_W_D: {
      element->words = 3;
      if (byte1 != 0 || program.size() - at < 3) return false;
      element->digits = static_cast<uint8_t>(word >> 24);
      element->repeat = static_cast<int32_t>(program[at + 1]);
      element->width = static_cast<int32_t>(program[at + 2]);
      return element->repeat >= 1 && element->width >= 1;
    }
    default:
      return false;
  }
}

// True when the program is FMT_BEGIN, supported elements, and FMT_END as its
// last word. Usable in static_assert.
constexpr bool is_valid_format_program(FormatProgram program) {
  FormatElement element;
  if (!decode_element(program, 0, &element) || element.code != FMT_BEGIN) return false;
  size_t at = 1;
  for (;;) {
    if (!decode_element(program, at, &element) || element.code == FMT_BEGIN) return false;
    if (element.code == FMT_END) return at + 1 == program.size();
    at += element.words;
  }
}

// The number of items a program takes: its data descriptors times their repeats.
constexpr size_t count_items(FormatProgram program) {
  size_t items = 0;
  FormatElement element;
  for (size_t at = 1; decode_element(program, at, &element) && element.code != FMT_END;
       at += element.words) {
    if (is_data_descriptor(element.code)) items += static_cast<size_t>(element.repeat);
  }
  return items;
}

// ---- Compile-time builder ---------------------------------------------------
//
// make_format_program<Lit<"A peak surge= ">, F<4, 1>, Lit<" m">>() gives the
// words of the format ("A peak surge= ", F4.1, " m") as a std::array.

namespace format_detail {

constexpr uint32_t pack(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
  return uint32_t{b0} | uint32_t{b1} << 8 | uint32_t{b2} << 16 | uint32_t{b3} << 24;
}
constexpr uint32_t short_element(uint8_t code, uint16_t operand) {
  return pack(code, 0, static_cast<uint8_t>(operand & 0xff), static_cast<uint8_t>(operand >> 8));
}

// A string literal usable as a template argument; the terminating NUL is not
// part of the text.
template <size_t N>
struct FixedText {
  char text[N]{};
  constexpr FixedText(const char (&s)[N]) {
    for (size_t i = 0; i < N; ++i) text[i] = s[i];
  }
  static constexpr size_t length = N - 1;
};

}  // namespace format_detail

// A literal text element.
template <format_detail::FixedText T>
struct Lit {
  static_assert(T.length < 65536, "a literal holds at most 65535 bytes");
  static constexpr size_t kWords = 1 + (T.length + 3) / 4;
  static constexpr void emit(uint32_t* out) {
    out[0] = format_detail::short_element(FMT_LITERAL, static_cast<uint16_t>(T.length));
    for (size_t i = 0; i < T.length; ++i) {
      out[1 + i / 4] |= uint32_t{static_cast<uint8_t>(T.text[i])} << (8 * (i % 4));
    }
  }
};

// A short element with a repeat count of 1: "/", A, I.
template <uint8_t Code>
struct ShortRepeat {
  static constexpr size_t kWords = 1;
  static constexpr void emit(uint32_t* out) { out[0] = format_detail::short_element(Code, 1); }
};
using Slash = ShortRepeat<FMT_SLASH>;
using A = ShortRepeat<FMT_A>;
using I = ShortRepeat<FMT_I>;

// A long element with a repeat count of 1, no flags and no exponent digits.
template <uint8_t Code, int W, int D>
struct LongElement {
  static_assert(W > 0 && D >= 0 && D < 256);
  static constexpr size_t kWords = 3;
  static constexpr void emit(uint32_t* out) {
    out[0] = format_detail::pack(Code, 0, 0, static_cast<uint8_t>(D));
    out[1] = 1;
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
