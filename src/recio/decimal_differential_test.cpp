// Differential test of real conversion against the C library's correctly
// rounded strtof and strtod, over a million generated decimal strings: random
// numbers across both formats' ranges, ties between adjacent values and their
// close neighbours, the overflow and subnormal boundaries, and plain numbers
// as data files write them. Every string is converted twice, the second time
// with flush-to-zero on, as the program runs; the quick plain form must agree
// with the full conversion wherever it takes a string.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fenv.h>
#include <random>
#include <string>

#include "platform/platform.h"
#include "recio/decimal.h"

namespace recio {
namespace {

// One input in this system's syntax and in the C library's.
struct Case {
  std::string text;
  std::string c_text;
};

class Generator {
 public:
  explicit Generator(uint64_t seed) : rng_(seed) {}

  // Random significant digits, a full stop somewhere, and an exponent written
  // with any of the accepted letters (or a bare sign).
  Case random_number(int min_exponent, int max_exponent) {
    const int digits = pick(0, 3) == 0 ? pick(20, 45) : pick(1, 19);
    std::string mantissa;
    for (int k = 0; k < digits; ++k) mantissa += static_cast<char>('0' + pick(k == 0 ? 1 : 0, 9));
    const int point = pick(0, digits);
    mantissa.insert(point, ".");
    if (pick(0, 3) == 0) mantissa.insert(0, std::string(pick(1, 3), '0'));
    const std::string sign = pick(0, 2) == 0 ? "-" : (pick(0, 4) == 0 ? "+" : "");
    const int exponent = pick(min_exponent, max_exponent);
    const std::string exp_digits = std::to_string(std::abs(exponent));
    const char* letters[] = {"E", "e", "D", "d", "Q", "q", ""};
    const char* letter = letters[pick(0, 6)];
    std::string exp_sign = exponent < 0 ? "-" : (*letter == '\0' || pick(0, 1) ? "+" : "");
    Case c;
    c.text = sign + mantissa + letter + exp_sign + exp_digits;
    c.c_text = sign + mantissa + "e" + (exponent < 0 ? "-" : "+") + exp_digits;
    return c;
  }

  // "[sign]digits[.digits]" with 1 to 19 digits, as a data file holds them,
  // or an E exponent after it.
  Case plain_number() {
    const int digits = pick(1, 19);
    std::string text = pick(0, 2) == 0 ? "-" : "";
    for (int k = 0; k < digits; ++k) text += static_cast<char>('0' + pick(0, 9));
    if (pick(0, 5) != 0) text.insert(text.size() - pick(0, digits), ".");
    if (pick(0, 3) == 0) text += (pick(0, 1) ? "E" : "e") + std::to_string(pick(-50, 50));
    return {text, text};
  }

  uint64_t bits() { return rng_(); }
  int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

 private:
  std::mt19937_64 rng_;
};

// The exact decimal expansion of v without trailing zeros.
std::string exact(long double v) {
  char text[1300];
  snprintf(text, sizeof text, "%.1100Le", v);
  std::string s = text;
  const size_t e = s.find('e');
  size_t last = e;
  while (s[last - 1] == '0') --last;
  if (s[last - 1] == '.') --last;
  return s.substr(0, last) + s.substr(e);
}

// The tie `text` (an exact expansion), slightly above it, and slightly below.
void add_tie_and_neighbours(const std::string& tie, std::vector<Case>* out) {
  out->push_back({tie, tie});
  const size_t e = tie.find('e');
  std::string above = tie;
  above.insert(e, tie.find('.') < e ? "000001" : ".000001");
  out->push_back({above, above});
  std::string below = tie;
  size_t last = e - 1;  // the last digit of an exact expansion of a tie is 5
  below[last] = '4';
  below.insert(last + 1, below.find('.') < e ? "99999" : "");
  out->push_back({below, below});
}

template <typename Real>
Real reference(const std::string& c_text) {
  if constexpr (sizeof(Real) == 4) return std::strtof(c_text.c_str(), nullptr);
  else return std::strtod(c_text.c_str(), nullptr);
}

// Checks one case in one format against the reference value; returns false
// (once reported) on mismatch.
template <typename Real>
bool agrees(const Case& c, Real want, const char* mode, int* reported) {
  Real got = 7;
  ConvertResult r = decimal_to_real(c.text, &got);
  bool ok;
  if (std::isinf(want)) {
    ok = r.ec == ConvertError::kOutOfRange;
  } else {
    ok = r.ec == ConvertError::kNone && r.ptr == c.text.data() + c.text.size() &&
         std::memcmp(&got, &want, sizeof got) == 0;
  }
  // The quick form takes what it can and must then give the same.
  Real quick = 7;
  bool point = false;
  const char* end = c.text.data() + c.text.size();
  if (const char* stop = plain_decimal_to_real(c.text.data(), end, &quick, &point)) {
    ok = ok && stop == end && std::memcmp(&quick, &want, sizeof quick) == 0 &&
         point == (c.text.find('.') != std::string::npos);
  }
  if (!ok && ++*reported <= 10) {
    ADD_FAILURE() << (sizeof(Real) == 4 ? "Real32 " : "Real64 ") << mode << c.text << ": got "
                  << static_cast<double>(got) << " (error " << static_cast<int>(r.ec)
                  << "), quick " << static_cast<double>(quick) << ", want "
                  << static_cast<double>(want);
  }
  return ok;
}

std::vector<Case> generate() {
  Generator g(20261207);
  std::vector<Case> cases;
  // Random numbers across the ranges of both formats and past their edges.
  for (int k = 0; k < 320000; ++k) cases.push_back(g.random_number(-345, 315));
  for (int k = 0; k < 320000; ++k) cases.push_back(g.random_number(-52, 45));
  // Plain numbers, the data files' form.
  for (int k = 0; k < 100000; ++k) cases.push_back(g.plain_number());
  // Ties between adjacent doubles (exact in long double) and floats, with
  // their neighbours just above and below.
  for (int k = 0; k < 50000; ++k) {
    uint64_t b = g.bits() & 0x7fefffffffffffffULL;
    double x;
    std::memcpy(&x, &b, sizeof x);
    const long double tie = (static_cast<long double>(x) + std::nextafter(x, INFINITY)) / 2;
    add_tie_and_neighbours(exact(tie), &cases);
  }
  for (int k = 0; k < 60000; ++k) {
    uint32_t b = static_cast<uint32_t>(g.bits()) & 0x7f7fffffU;
    float x;
    std::memcpy(&x, &b, sizeof x);
    const long double tie = (static_cast<long double>(x) + std::nextafter(x, INFINITY)) / 2;
    add_tie_and_neighbours(exact(tie), &cases);
  }
  // Near the edges: the largest finite values, the subnormal range's ends,
  // the smallest normal values, written with 1 to 25 significant digits.
  const long double edges[] = {
      DBL_MAX, std::nextafter(DBL_MAX, 0.0), std::ldexp(1.0L, 1024),
      std::ldexp(1.0L, -1074), std::ldexp(1.0L, -1075), std::ldexp(3.0L, -1075),
      DBL_MIN, std::nextafter(DBL_MIN, 0.0), std::ldexp(1.0L, -1023),
      FLT_MAX, std::nextafter(FLT_MAX, 0.0f), std::ldexp(1.0L, 128),
      std::ldexp(1.0L, -149), std::ldexp(1.0L, -150), std::ldexp(3.0L, -150),
      FLT_MIN, std::nextafter(FLT_MIN, 0.0f), std::ldexp(1.0L, -127),
  };
  for (long double edge : edges) {
    add_tie_and_neighbours(exact(edge * 1.5L), &cases);
    for (int digits = 1; digits <= 25; ++digits) {
      for (int step = -40; step <= 40; ++step) {
        char text[64];
        const long double v = edge * (1 + step * 1e-17L * (digits % 7 + 1));
        snprintf(text, sizeof text, "%.*Le", digits - 1, v);
        cases.push_back({text, text});
      }
    }
  }
  return cases;
}

TEST(DecimalDifferentialTest, AgreesWithCorrectlyRoundedReference) {
  const std::vector<Case> cases = generate();
  ASSERT_GE(cases.size(), 1000000u);
  // The references, worked out in the default floating-point environment.
  std::vector<double> want_double;
  std::vector<float> want_float;
  for (const Case& c : cases) {
    want_double.push_back(reference<double>(c.c_text));
    want_float.push_back(reference<float>(c.c_text));
  }
  fenv_t saved;
  ASSERT_EQ(fegetenv(&saved), 0);
  int reported = 0;
  size_t mismatches = 0;
  for (const char* mode : {"", "flush-to-zero "}) {
    if (*mode != '\0') platform::enable_flush_to_zero();
    for (size_t i = 0; i < cases.size(); ++i) {
      if (!agrees(cases[i], want_double[i], mode, &reported)) ++mismatches;
      if (!agrees(cases[i], want_float[i], mode, &reported)) ++mismatches;
    }
  }
  fesetenv(&saved);
  EXPECT_EQ(mismatches, 0u) << "of " << cases.size() << " strings in two formats, two modes";
}

}  // namespace
}  // namespace recio
