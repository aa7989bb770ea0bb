// Numbers in the calculator's syntax, read from a field of text, and numbers
// written so that they read back exactly.
#ifndef SURGE_KIT_CORE_NUMBER_H_
#define SURGE_KIT_CORE_NUMBER_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace kit {

// Reads `text` (blanks around it allowed) as one value the calculator would
// accept for a real answer: a sign, digits, a point, an E, D or Q exponent,
// Infinity or NaN. False, with *value unchanged, when the text is empty, holds
// anything else or more than one value.
bool parse_real(std::string_view text, double* value);

// Appends the shortest text that reads back as the same double: "nan", "inf"
// and "-inf" for the non-finite values.
void append_shortest(std::string* out, double value);

// Room that write_shortest and write_report_surge may fill.
inline constexpr size_t kNumberTextCapacity = 32;

// The same written at `out`, which has room for kNumberTextCapacity
// characters; returns the end of the text.
char* write_shortest(char* out, double value);

// Appends a whole number in decimal digits, with a minus sign when negative:
// the one way counts and location numbers are written.
void append_integer(std::string* out, long long value);

// The shortest text that reads back as the same single-precision value,
// with an "e" exponent where that is shorter: "6.5604", "1e-30"; "nan", "inf"
// and "-inf" for the non-finite values. The coefficient files' values are
// single precision, and are written and named so.
std::string shortest_single_text(float value);

// Appends `value` rounded to `decimals` places in fixed notation ("nan",
// "inf", "-inf" for the non-finite values; no minus sign on a zero).
void append_fixed(std::string* out, double value, int decimals);

// Appends `value` rounded to `digits` significant digits (1 to 17) in plain
// decimal notation, never with an exponent, and without trailing zeros after
// the point: 0.23999786820000002 gives "0.239998", 7e-05 gives "0.00007",
// 1234567 gives "1234570". Zero (of either sign) gives "0"; "nan", "inf",
// "-inf" for the non-finite values. Rates, shares and chances are written so.
void append_significant(std::string* out, double value, int digits);

// Appends the surge as the calculator's report prints it: the report's own
// edit descriptor for the surge (one decimal, asterisks when it does not fit)
// through the calculator's formatting code, without the field's leading blanks.
void append_report_surge(std::string* out, double surge_m);
// The same written at `out` (room for kNumberTextCapacity); returns its end.
char* write_report_surge(char* out, double surge_m);

// The same two forms as new strings, for texts put together elsewhere.
std::string shortest_text(double value);
std::string fixed_text(double value, int decimals);
std::string significant_text(double value, int digits);

// "1 error", "2 errors": a count with its noun, singular or plural (the
// singular with an "s" when no plural is given).
std::string counted(long long n, std::string_view singular, std::string_view plural = {});

}  // namespace kit

#endif  // SURGE_KIT_CORE_NUMBER_H_
