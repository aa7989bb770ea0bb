// A coefficient set written as the calculator's two files, each value as the
// shortest text that reads back to the same single-precision number.
#ifndef SURGE_KIT_COEFFICIENTS_COEFFICIENT_TEXT_H_
#define SURGE_KIT_COEFFICIENTS_COEFFICIENT_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "model/site_table.h"

namespace kit {

// The shortest decimal text that reads back as `value` (with an E exponent
// where that is shorter), e.g. "6.5604", "-0.2645", "1E-30".
std::string shortest_float_text(float value);

// srfparamsVelko.dat: one line of 21 values per location, then a blank line and
// `notes` (after the 20th group, where the calculator never reads). Each line
// of `notes` must begin with a word, not a number.
std::string parameter_file_text(const surge::SiteTable& table, std::string_view notes);

// pslope.dat: one slope per line, then a blank line and `notes`.
std::string slope_file_text(const surge::SiteTable& table, std::string_view notes);

// The first words of the note `surgekit fit` writes after the 20th group.
// `surgekit check` takes text after the groups whose first non-blank line
// begins with them for that note, and says nothing about it.
inline constexpr std::string_view kFitNoteMarker = "Fitted by surgekit fit to simulations of";

// The note `surgekit fit` writes after the groups: the simulations' SHA-256
// and row count, the user's note (on one line; "(none)" when empty) and what
// the file's lines hold (`parameters`: srfparamsVelko.dat, else pslope.dat).
// Every line begins with a word.
std::string fit_note_text(std::string_view sha256, uint64_t rows, std::string_view note,
                          bool parameters);

}  // namespace kit

#endif  // SURGE_KIT_COEFFICIENTS_COEFFICIENT_TEXT_H_
