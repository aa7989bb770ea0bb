// Number fields of output records: the characters of integers and of
// fixed-point reals, and the one routine that places characters in a field.
//
// The text routines only make characters; fill_field decides between
// right-justified text and a field of asterisks for every kind alike.
#ifndef SURGE_RECIO_NUMBER_FORMAT_H_
#define SURGE_RECIO_NUMBER_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace recio {

// Room for integer_text: a sign and up to 255 digits (the largest minimum
// digit count a format can hold).
inline constexpr size_t kIntegerTextCapacity = 1 + 255;

// Room for fixed_text: a sign, the 309 integer digits of the largest double,
// a "0", the point and up to 255 fraction digits.
inline constexpr size_t kFixedTextCapacity = 1 + 309 + 1 + 1 + 255;

// Writes the characters of v into out: a minus sign for a negative v, then the
// digits of its magnitude with zeros in front up to min_digits (1 to 255).
// No plus sign, no padding. Returns the number of characters.
size_t integer_text(int64_t v, int min_digits, char* out);

// Writes the characters of x in fixed-point form with `digits` (0 to 255)
// digits after the point into out, for a field of `width` columns:
//   - NaN is "NaN"; an infinity is "Infinity" with its sign when that fits
//     the width, else "Inf" with its sign;
//   - otherwise |x| rounded to the nearest multiple of 10^-digits of its exact
//     binary value, ties to the even last digit; a minus sign only when the
//     rounded value is not zero; the integer digits (none for 0), the point,
//     the fraction digits; a "0" before the point when the integer part is 0
//     and the text is still shorter than the width.
// The text may be longer than the width; fill_field turns that into asterisks.
size_t fixed_text(double x, int width, int digits, char* out);

// Fills a field of `width` columns: the text right-justified with blanks to
// its left, or `width` asterisks when the text is longer than the field.
void fill_field(char* field, size_t width, std::string_view text);

}  // namespace recio

#endif  // SURGE_RECIO_NUMBER_FORMAT_H_
