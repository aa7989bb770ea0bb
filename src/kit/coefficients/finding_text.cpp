// The wording of findings.
#include "kit/coefficients/finding_text.h"

#include <algorithm>
#include <cstdio>

#include "kit/coefficients/check.h"

namespace kit {

using recio::InputFault;

std::string quote_text(std::string_view text) {
  constexpr size_t kLongest = 40;
  std::string out = "\"";
  for (size_t i = 0; i < text.size() && i < kLongest; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += text[i];
    } else if (byte < 0x20 || byte >= 0x7f) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    } else {
      out += text[i];
    }
  }
  if (text.size() > kLongest) out += "...";
  return out + "\"";
}

bool starts_with_byte_order_mark(std::string_view text) { return text.starts_with("\xEF\xBB\xBF"); }

bool has_unreadable_bytes(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x7f || (byte < 0x20 && c != '\t' && c != '\r');
  });
}

std::string fault_message(const ItemTrace& item) {
  const std::string text = quote_text(item.text);
  if (starts_with_byte_order_mark(item.text)) {
    return "a byte-order mark, which the calculator cannot read: save the file without one";
  }
  switch (item.fault) {
    case InputFault::kSignAfterSign: return text + " is not a number (a sign after a sign)";
    case InputFault::kSignWithoutDigit: return text + " is not a number (a sign without digits)";
    case InputFault::kSecondFullStop: return text + " is not a number (two full stops)";
    case InputFault::kMisplacedExponent:
      return text + " is not a number (a misplaced exponent letter)";
    case InputFault::kNoDigits: return text + " is not a number (no digits)";
    case InputFault::kEmptyRepeatCount:
      return text + " is not a number (an asterisk without a repeat count)";
    case InputFault::kRightParenthesis: return text + " is not a number (a \")\" before a value)";
    case InputFault::kNestedParenthesis:
    case InputFault::kMalformedPair: return text + " is a malformed pair \"(a,b)\"";
    case InputFault::kQuotedTooLong:
    case InputFault::kQuotedValue: return text + " is quoted text, not a number";
    case InputFault::kOutOfRange: return text + " is beyond the range of a 4-byte real";
    case InputFault::kBadRepeatCount:
      return text + " has a repeat count that is not a 4-byte integer";
    default: return text + " is not a number";
  }
}


}  // namespace kit
