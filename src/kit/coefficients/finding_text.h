// The wording of findings: text from a file as a finding shows it, and why a
// value cannot be read.
#ifndef SURGE_KIT_COEFFICIENTS_FINDING_TEXT_H_
#define SURGE_KIT_COEFFICIENTS_FINDING_TEXT_H_

#include <string>
#include <string_view>

#include "kit/coefficients/group_reader.h"

namespace kit {

// `text` in double quotes, with quotes, backslashes and bytes outside
// printable ASCII escaped (\xEF), cut after 40 bytes with "...".
std::string quote_text(std::string_view text);

// True when `text` starts with the UTF-8 byte-order mark.
bool starts_with_byte_order_mark(std::string_view text);

// True when `text` holds bytes outside printable ASCII other than tab and CR.
bool has_unreadable_bytes(std::string_view text);

// Why an item's value cannot be read, for a fault that leaves the rest of the
// file readable: '"1.4x3" is not a number'.
std::string fault_message(const ItemTrace& item);

}  // namespace kit

#endif  // SURGE_KIT_COEFFICIENTS_FINDING_TEXT_H_
