// Numbers in fields: the calculator's value syntax, and exact round trips.
#include "kit/core/number.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

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

using Wide = unsigned __int128;

// "00" to "99", two characters each.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the four decimal digits of `n` (below 10000) ending at `end`.
void four_digits_before(char* end, uint32_t n) {
  std::memcpy(end - 2, kDigitPairs + 2 * (n % 100), 2);
  std::memcpy(end - 4, kDigitPairs + 2 * (n / 100), 2);
}

// Writes the decimal digits of `n` ending at `end`; returns where they begin.
// Eight digits at a time in two independent halves, two digits a step.
char* digits_before(char* end, uint64_t n) {
  while (n >= 100000000) {
    const auto eight = static_cast<uint32_t>(n % 100000000);
    n /= 100000000;
    four_digits_before(end, eight % 10000);
    four_digits_before(end - 4, eight / 10000);
    end -= 8;
  }
  auto rest = static_cast<uint32_t>(n);
  while (rest >= 100) {
    end -= 2;
    std::memcpy(end, kDigitPairs + 2 * (rest % 100), 2);
    rest /= 100;
  }
  if (rest >= 10) {
    end -= 2;
    std::memcpy(end, kDigitPairs + 2 * rest, 2);
  } else {
    *--end = static_cast<char>('0' + rest);
  }
  return end;
}

constexpr uint64_t kPow10[] = {1,
                               10,
                               100,
                               1000,
                               10000,
                               100000,
                               1000000,
                               10000000,
                               100000000,
                               1000000000,
                               10000000000,
                               100000000000,
                               1000000000000,
                               10000000000000,
                               100000000000000,
                               1000000000000000,
                               10000000000000000,
                               100000000000000000,
                               1000000000000000000,
                               10000000000000000000u};

// The count of decimal digits of `n` (1 for 0): the bit length gives it to
// within one, log10(2) being about 1233 / 4096.
int decimal_digits(uint64_t n) {
  const int guess = std::bit_width(n) * 1233 >> 12;
  return guess + (n >= kPow10[guess] ? 1 : 0) + (n == 0 ? 1 : 0);
}

// Writes the eight decimal digits of `n` (below 10^8), leading zeros
// included, at `out`: four pairs from the table, in two independent halves.
void eight_digits(char* out, uint32_t n) {
  four_digits_before(out + 8, n % 10000);
  four_digits_before(out + 4, n / 10000);
}

// The shortest text of a double whose magnitude is in [2^-9, 2^16), found
// exactly in 128-bit integers. In that range the shortest form never has an
// exponent: fixed notation is as short or shorter. Writes the text at `out`
// (room for kNumberTextCapacity) and returns its end, or returns nullptr for
// a value outside the range.
//
// |value| = m * 2^-E with m in [2^52, 2^53) and E in [37, 61]. The reals that
// read back to it lie within half a spacing each side (the ends belong to it
// when m is even); in units of 2^-(E+2) they are [4m - g, 4m + 2], g being 1
// when m is 2^52 (the spacing below is half the one above), else 2. A decimal
// D / 10^p is among them when the same bounds hold for D * 2^(E+2-p) / 5^p.
// The text is the D of the fewest decimals p that has one, the nearest to the
// value when there are several (ties to the even D).
char* write_shortest_fixed(char* out, double value) {
  static constexpr uint64_t kPow5[] = {1,
                                       5,
                                       25,
                                       125,
                                       625,
                                       3125,
                                       15625,
                                       78125,
                                       390625,
                                       1953125,
                                       9765625,
                                       48828125,
                                       244140625,
                                       1220703125,
                                       6103515625,
                                       30517578125,
                                       152587890625,
                                       762939453125,
                                       3814697265625,
                                       19073486328125,
                                       95367431640625,
                                       476837158203125,
                                       2384185791015625};
  constexpr int kMaxDecimals = static_cast<int>(std::size(kPow5)) - 1;
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const int e = 1075 - static_cast<int>((bits >> 52) & 0x7ff);
  if (e < 37 || e > 61) return nullptr;
  const uint64_t m = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
  const uint64_t odd = m & 1;  // the ends of the reals belong to the value when m is even
  const uint64_t lower = 4 * m - (m == uint64_t{1} << 52 ? 1 : 2), upper = 4 * m + 2;

  // The least and greatest D with p decimals among the reals of the value.
  // The shift is within (0, 64) for every p tried: e + 2 - p with e at most
  // 61 and p from 0 to kMaxDecimals; and D fits 64 bits (17 digits do).
  auto bounds = [&](int p, uint64_t* least, uint64_t* greatest) {
    const int shift = e + 2 - p;
    if (shift <= 0 || shift >= 64) __builtin_unreachable();
    const uint64_t mask = (uint64_t{1} << shift) - 1;
    const Wide a = Wide{lower} * kPow5[p], b = Wide{upper} * kPow5[p];
    // Without branches: whether m is odd is as likely as not.
    *least = static_cast<uint64_t>(a >> shift) +
             (static_cast<uint64_t>((static_cast<uint64_t>(a) & mask) != 0) | odd);
    *greatest = static_cast<uint64_t>(b >> shift) -
                (static_cast<uint64_t>((static_cast<uint64_t>(b) & mask) == 0) & odd);
    return *least <= *greatest;
  };
  // With ceil(E log10 2) decimals the step 10^-p is below the spacing 2^-E,
  // so that the reals of the value, over half a spacing wide each side, hold
  // a D: usually the first bounds suffice, and the search only guards.
  int p = (e * 1233 >> 12) + 1;
  uint64_t least, greatest;
  while (!bounds(p, &least, &greatest)) {
    if (++p > kMaxDecimals) return nullptr;  // not reached: 17 digits always do
  }
  // D / 10^(p-1) is among the reals when 10 D is among those with p
  // decimals: fewer decimals while a multiple of ten lies in [least, greatest].
  // One step is taken about two times in five, so unpredictably: it is
  // worked out without a branch, and the rare further steps with one.
  {
    const uint64_t fewer_least = (least + 9) / 10, fewer_greatest = greatest / 10;
    const bool fewer = p > 0 && fewer_least <= fewer_greatest;
    const uint64_t take = uint64_t{0} - static_cast<uint64_t>(fewer);  // all ones or zero
    least ^= (least ^ fewer_least) & take;
    greatest ^= (greatest ^ fewer_greatest) & take;
    p -= static_cast<int>(fewer);
  }
  while (p > 0 && greatest / 10 * 10 >= least) {
    least = (least + 9) / 10;
    greatest /= 10;
    --p;
  }
  const int shift = e + 2 - p;
  if (shift <= 0 || shift >= 64) __builtin_unreachable();
  const Wide center = Wide{4 * m} * kPow5[p];
  uint64_t d = static_cast<uint64_t>(center >> shift);
  const uint64_t rest = static_cast<uint64_t>(center) & ((uint64_t{1} << shift) - 1);
  const uint64_t half = uint64_t{1} << (shift - 1);
  // Rounding up is as likely as not: added without a branch.
  d += static_cast<uint64_t>(rest > half) | (static_cast<uint64_t>(rest == half) & d & 1);
  d = d < least ? least : d;
  d = d > greatest ? greatest : d;

  char* o = out;
  if ((bits >> 63) != 0) *o++ = '-';
  const size_t decimals = static_cast<size_t>(p);
  if (d >= kPow10[17] || decimals > 19) {
    // Not reached (17 digits, 19 decimals at most), but written correctly.
    char digits[24];
    char* const digits_end = digits + sizeof digits;
    const char* first = digits_before(digits_end, d);
    const size_t count = static_cast<size_t>(digits_end - first);
    if (count <= decimals) {
      *o++ = '0';
      *o++ = '.';
      std::memset(o, '0', decimals - count);
      o += decimals - count;
      std::memcpy(o, first, count);
      return o + count;
    }
    const size_t whole = count - decimals;
    std::memcpy(o, first, whole);
    o += whole;
    if (decimals == 0) return o;
    *o++ = '.';
    std::memcpy(o, first + whole, decimals);
    return o + decimals;
  }
  // The 17 digits of D, leading zeros included, end at digits + 24, behind
  // seven more zeros; twice as many bytes as that so that the copies below
  // read whole blocks of fixed size.
  char digits[48];
  std::memset(digits, '0', sizeof digits);
  const uint64_t high = d / 100000000;
  digits[7] = static_cast<char>('0' + high / 100000000);
  eight_digits(digits + 8, static_cast<uint32_t>(high % 100000000));
  eight_digits(digits + 16, static_cast<uint32_t>(d % 100000000));
  const char* const end = digits + 24;
  // The whole part, at most five digits (the value is below 2^16), or when
  // there is none the zero that the buffer's leading zeros hold before the
  // decimals: one way for both, as either is about as likely. Then the point
  // and the decimals. Fixed-size copies, whose tail the next write or the
  // returned end leaves out; sign, 5 + 1 + 24 bytes fit the room.
  const size_t whole = static_cast<size_t>(std::max(decimal_digits(d) - p, 1));
  std::memcpy(o, end - decimals - whole, 8);
  o += whole;
  if (decimals == 0) return o;
  *o++ = '.';
  std::memcpy(o, end - decimals, 24);
  return o + decimals;
}

}  // namespace

bool parse_real(std::string_view text, double* value) {
  // Plain decimals of a few digits, the usual case: [+-]digits[.digits]. The
  // digits as a whole number, below 10^16, convert correctly rounded; with a
  // point, up to 15 digits and their power of ten are both exact in a double,
  // so that one division, correctly rounded, gives the correctly rounded
  // value, the one from_chars gives.
  static constexpr double kTens[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                     1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  if (!text.empty() && text.size() <= 17) {
    size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
    int64_t whole = 0;
    int digits = 0, decimals = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
      const char c = text[i];
      if (c >= '0' && c <= '9') {
        whole = whole * 10 + (c - '0');
        ++digits;
        decimals += point ? 1 : 0;
      } else if (c == '.' && !point) {
        point = true;
      } else {
        break;
      }
    }
    if (i == text.size() && digits > 0 && (!point || digits <= 15)) {
      const double magnitude = static_cast<double>(whole) / kTens[decimals];
      *value = text[0] == '-' ? -magnitude : magnitude;
      return true;
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

char* write_shortest(char* out, double value) {
  if (char* end = write_shortest_fixed(out, value)) return end;
  if (std::isnan(value)) {
    std::memcpy(out, "nan", 3);
    return out + 3;
  }
  return std::to_chars(out, out + kNumberTextCapacity, value).ptr;
}

void append_shortest(std::string* out, double value) {
  char buffer[kNumberTextCapacity];
  out->append(buffer, write_shortest(buffer, value));
}

void append_integer(std::string* out, long long value) {
  char buffer[kNumberTextCapacity];
  out->append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

std::string shortest_single_text(float value) {
  if (std::isnan(value)) return "nan";  // never "-nan", as for doubles
  char buffer[kNumberTextCapacity];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
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

char* write_report_surge(char* out, double surge_m) {
  constexpr size_t kWidth = static_cast<size_t>(kReportSurgeField.width);
  static_assert(kWidth < kNumberTextCapacity);
  // A normal value below 2^52 in magnitude rounds to tenths exactly in
  // integers: |surge_m| = m * 2^-e, and ten times it rounds, ties to the even
  // tenth, as the calculator's fixed-point text rounds the exact value.
  const uint64_t bits = std::bit_cast<uint64_t>(surge_m);
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  const int e = 1075 - biased;
  if (kReportSurgeField.digits == 1 && kWidth >= 4 && biased != 0 && e >= 1 && e <= 1075) {
    uint64_t tenths = 0;
    if (e < 64) {
      const uint64_t ten_m = 10 * ((bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52));
      const uint64_t rest = ten_m & ((uint64_t{1} << e) - 1), half = uint64_t{1} << (e - 1);
      tenths = ten_m >> e;
      if (rest > half || (rest == half && (tenths & 1) != 0)) ++tenths;
    }  // else below 2^-11: zero tenths
    // "[-]I.F", the integer part "0" when it is zero and the field has room
    // for it, which a field of this width always has.
    char text[32];
    char* const text_end = text + sizeof text;
    char* first = text_end;
    *--first = static_cast<char>('0' + tenths % 10);
    *--first = '.';
    first = digits_before(first, tenths / 10);
    if ((bits >> 63) != 0 && tenths != 0) *--first = '-';
    const size_t size = static_cast<size_t>(text_end - first);
    if (size > kWidth) {
      std::memset(out, '*', kWidth);
      return out + kWidth;
    }
    std::memcpy(out, first, size);
    return out + size;
  }
  char text[recio::kFixedTextCapacity];
  const size_t size =
      recio::fixed_text(surge_m, kReportSurgeField.width, kReportSurgeField.digits, text);
  char field[kWidth];
  recio::fill_field(field, kWidth, std::string_view(text, size));
  size_t first = 0;
  while (first < kWidth && field[first] == ' ') ++first;
  std::memcpy(out, field + first, kWidth - first);
  return out + (kWidth - first);
}

void append_report_surge(std::string* out, double surge_m) {
  char buffer[kNumberTextCapacity];
  out->append(buffer, write_report_surge(buffer, surge_m));
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

std::string counted(long long n, std::string_view singular, std::string_view plural) {
  std::string text = std::to_string(n) + " ";
  if (n == 1) return text + std::string(singular);
  return text + (plural.empty() ? std::string(singular) + "s" : std::string(plural));
}

}  // namespace kit
