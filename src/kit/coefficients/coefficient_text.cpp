// Writing the coefficient files.
#include "kit/coefficients/coefficient_text.h"

#include <cmath>

#include "kit/core/number.h"

namespace kit {
namespace {

void append_notes(std::string* out, std::string_view notes) {
  if (notes.empty()) return;
  out->push_back('\n');
  out->append(notes);
  if (notes.back() != '\n') out->push_back('\n');
}

// The note as one line: line breaks and other control characters become blanks.
std::string one_line(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return line;
}

}  // namespace

std::string shortest_float_text(float value) {
  std::string text = shortest_single_text(value);
  // "1e-30" and "1e+30": the calculator reads an E exponent with or without a sign.
  for (char& c : text) {
    if (c == 'e') c = 'E';
  }
  return text;
}

std::string parameter_file_text(const surge::SiteTable& table, std::string_view notes) {
  std::string out;
  for (int location = 1; location <= surge::kLocations; ++location) {
    for (int k = 0; k < surge::kParameterCount; ++k) {
      out += "  ";
      out += shortest_float_text((table.*surge::kParameterColumns[k])[location]);
    }
    out.push_back('\n');
  }
  append_notes(&out, notes);
  return out;
}

std::string slope_file_text(const surge::SiteTable& table, std::string_view notes) {
  std::string out;
  for (int location = 1; location <= surge::kLocations; ++location) {
    out += " ";
    out += shortest_float_text(table.slope[location]);
    out.push_back('\n');
  }
  append_notes(&out, notes);
  return out;
}

std::string fit_note_text(std::string_view sha256, uint64_t rows, std::string_view note,
                          bool parameters) {
  std::string text(kFitNoteMarker);
  text += " SHA-256 ";
  text += sha256;
  text += "\nRows of simulations: " + std::to_string(rows) + "\n";
  text += "Note: " + (note.empty() ? std::string("(none)") : one_line(note)) + "\n";
  if (parameters) {
    text +=
        "Columns: LEFT curve (amplitude, centre, width) x 3, tail (normaliser, centre,\n"
        "scale), RIGHT curve (amplitude, centre, width) x 3.\n";
  } else {
    text += "Lines: the slope term of each location, one per line.\n";
  }
  return text;
}

}  // namespace kit
