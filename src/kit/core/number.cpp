// Numbers in fields: the calculator's value syntax, and exact round trips.
#include "kit/core/number.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "model/report_format.h"
#include "recio/format_program.h"
#include "recio/number_format.h"
#include "recio/scanner.h"

namespace kit {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

// One record holding the field's text, served once.
class FieldRecord : public recio::RecordSource {
 public:
  explicit FieldRecord(std::string_view text) : text_(text) {}
  recio::InputFault next_record(std::string_view* record) override {
    if (served_) return recio::InputFault::kEndOfFile;
    served_ = true;
    *record = text_;
    return recio::InputFault::kNone;
  }

 private:
  std::string_view text_;
  bool served_ = false;
};

// Runs one free-form input statement of one item on the text. A text that
// the statement takes as null, a slash or several values is refused: a field
// holds exactly one number.
bool scan_one(std::string_view text, recio::ItemKind kind, void* destination) {
  text = trim(text);
  if (text.empty()) return false;
  for (char c : text) {
    if (c == ',' || c == '/' || c == '*' || is_blank(c) || c == '\'' || c == '"' || c == '(') {
      return false;
    }
  }
  FieldRecord record(text);
  recio::InputStatement statement;
  bool ok = statement.begin(&record) == recio::InputFault::kNone &&
            statement.input_item(kind, destination) == recio::InputFault::kNone;
  statement.end();
  return ok;
}

// The plain form [+-]digits[.digits][(e|E)[+-]digits] with at least one digit
// before the exponent: both the calculator and from_chars round it correctly,
// so the quick conversion gives the same double.
bool is_plain(std::string_view s) {
  size_t i = 0, n = s.size();
  if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  while (i < n && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  if (i < n && s[i] == '.') {
    ++i;
    while (i < n && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  }
  if (digits == 0 || digits > 19) return false;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
    size_t exponent_digits = 0;
    while (i < n && s[i] >= '0' && s[i] <= '9') ++i, ++exponent_digits;
    if (exponent_digits == 0 || exponent_digits > 4) return false;
  }
  return i == n;
}

// The report's surge field: the one fixed-point descriptor of its surge row.
constexpr recio::FormatElement report_surge_descriptor() {
  recio::FormatElement element;
  for (size_t at = 1; recio::decode_element(surge::kReportSurge, at, &element);
       at += element.words) {
    if (element.code == recio::FMT_F_W_D) return element;
  }
  return recio::FormatElement{};
}
constexpr recio::FormatElement kReportSurgeField = report_surge_descriptor();
static_assert(kReportSurgeField.code == recio::FMT_F_W_D && kReportSurgeField.repeat == 1);

// "nan", "inf" or "-inf" for a value that is not finite; false for the others.
bool append_non_finite(std::string* out, double value) {
  if (std::isnan(value)) {
    out->append("nan");
    return true;
  }
  if (std::isinf(value)) {
    out->append(value > 0 ? "inf" : "-inf");
    return true;
  }
  return false;
}

}  // namespace

bool parse_real(std::string_view text, double* value) {
  // Whole numbers of up to 15 digits, the usual case, are exact in a double.
  if (!text.empty() && text.size() <= 16) {
    size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
    if (i < text.size()) {
      int64_t whole = 0;
      for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        whole = whole * 10 + (text[i] - '0');
      }
      if (i == text.size()) {
        const double magnitude = static_cast<double>(whole);
        *value = text[0] == '-' ? -magnitude : magnitude;
        return true;
      }
    }
  }
  std::string_view t = trim(text);
  if (is_plain(t)) {
    std::string_view digits = t.front() == '+' ? t.substr(1) : t;
    double v;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (ec == std::errc() && end == digits.data() + digits.size()) {
      *value = v;
      return true;
    }
    // Out of range: the calculator's own conversion decides.
  }
  double v;
  if (!scan_one(t, recio::ItemKind::kReal64, &v)) return false;
  *value = v;
  return true;
}

bool parse_integer(std::string_view text, int32_t* value) {
  int32_t v;
  if (!scan_one(text, recio::ItemKind::kInt32, &v)) return false;
  *value = v;
  return true;
}

void append_shortest(std::string* out, double value) {
  if (std::isnan(value)) {
    out->append("nan");
    return;
  }
  char buffer[32];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  out->append(buffer, end);
}

void append_fixed(std::string* out, double value, int decimals) {
  if (append_non_finite(out, value)) return;
  char buffer[400];
  auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  std::string_view s(buffer, end - buffer);
  // A negative value that rounds to zero prints without its sign.
  if (s.front() == '-' && s.find_first_not_of("-0.") == std::string_view::npos) s.remove_prefix(1);
  out->append(s);
}

void append_significant(std::string* out, double value, int digits) {
  if (append_non_finite(out, value)) return;
  if (value == 0) {
    out->push_back('0');
    return;
  }
  digits = digits < 1 ? 1 : digits > 17 ? 17 : digits;
  // The scientific form rounds once, to the digits wanted: "d.ddddde+XX".
  char buffer[48];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value,
                                 std::chars_format::scientific, digits - 1);
  const std::string_view text(buffer, static_cast<size_t>(end - buffer));
  const size_t e_at = text.find('e');
  std::string mantissa;
  for (char c : text.substr(0, e_at)) {
    if (c >= '0' && c <= '9') mantissa.push_back(c);
  }
  int exponent = 0;
  std::from_chars(text.data() + e_at + 1 + (text[e_at + 1] == '+'), text.data() + text.size(),
                  exponent);
  std::string plain;
  const int count = static_cast<int>(mantissa.size());
  if (exponent >= count - 1) {
    plain = mantissa + std::string(static_cast<size_t>(exponent - count + 1), '0');
  } else if (exponent >= 0) {
    plain = mantissa.substr(0, static_cast<size_t>(exponent) + 1) + "." +
            mantissa.substr(static_cast<size_t>(exponent) + 1);
  } else {
    plain = "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + mantissa;
  }
  if (plain.find('.') != std::string::npos) {
    plain.erase(plain.find_last_not_of('0') + 1);
    if (plain.back() == '.') plain.pop_back();
  }
  if (value < 0) out->push_back('-');
  out->append(plain);
}

void append_report_surge(std::string* out, double surge_m) {
  constexpr size_t kWidth = static_cast<size_t>(kReportSurgeField.width);
  char text[recio::kFixedTextCapacity];
  const size_t size =
      recio::fixed_text(surge_m, kReportSurgeField.width, kReportSurgeField.digits, text);
  char field[kWidth];
  recio::fill_field(field, kWidth, std::string_view(text, size));
  size_t first = 0;
  while (first < kWidth && field[first] == ' ') ++first;
  out->append(field + first, kWidth - first);
}

std::string shortest_text(double value) {
  std::string s;
  append_shortest(&s, value);
  return s;
}

std::string fixed_text(double value, int decimals) {
  std::string s;
  append_fixed(&s, value, decimals);
  return s;
}

std::string significant_text(double value, int digits) {
  std::string s;
  append_significant(&s, value, digits);
  return s;
}

}  // namespace kit
