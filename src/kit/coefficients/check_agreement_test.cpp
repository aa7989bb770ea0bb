// The coefficient check agrees with the calculator's loading: no error exactly
// when the calculator loads the files, and then the same 440 values, bit for bit.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <string>

#include "check_agreement.h"
#include "kit/coefficients/check.h"

namespace {

using surge_fuzz::check_disagreement;

std::string slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string example(const char* name) { return slurp(std::string(SURGE_EXAMPLES) + "/" + name); }

// Replaces the first `from` on line `line` (from 1) of `text` with `to`.
std::string edit_line(std::string text, int line, const std::string& from, const std::string& to) {
  size_t start = 0;
  for (int i = 1; i < line; ++i) start = text.find('\n', start) + 1;
  const size_t at = text.find(from, start);
  EXPECT_NE(at, std::string::npos) << from;
  return text.replace(at, from.size(), to);
}

TEST(CheckAgreement, DataFuzzCorpusEveryWayRound) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(SURGE_DATA_CORPUS)) {
    std::string input = slurp(entry.path());
    ASSERT_FALSE(input.empty());
    ++files;
    for (char way = 0; way < 4; ++way) {
      input[0] = way;
      const surge_fuzz::FilePair pair = surge_fuzz::files_from_fuzz_input(input);
      EXPECT_EQ(check_disagreement(pair.parameters, pair.slopes), "")
          << entry.path() << " read way " << int(way);
    }
  }
  EXPECT_GE(files, 4);
}

TEST(CheckAgreement, EditedExamples) {
  const std::string p = example("srfparamsVelko.dat");
  const std::string s = example("pslope.dat");
  const std::string head = p.substr(0, p.find("\n\n") + 1);  // the 20 groups alone
  struct Case {
    const char* what;
    std::string parameters, slopes;
  };
  const Case cases[] = {
      {"examples as they are", p, s},
      {"a letter in line 7", edit_line(p, 7, "1.4594", "1.4x94"), s},
      {"a byte-order mark", "\xEF\xBB\xBF" + p, s},
      {"a decimal comma", edit_line(p, 7, "1.0571", "1,0571"), s},
      {"a stray slash", edit_line(p, 7, "1.4152", "/"), s},
      {"a null value", edit_line(p, 7, "   2.8158", ",,2.8158"), s},
      {"a repeat count", edit_line(p, 7, "0.2836   1.0571", "2*0.2836"), s},
      {"a repeated null", edit_line(p, 7, "0.2836   1.0571", "2* "), s},
      {"D, Q and E exponents", edit_line(edit_line(p, 3, "0.2624", "26.24D-2"), 4, "0.2829", "2.829q-1"), s},
      {"a logical value", edit_line(p, 2, "1.0414", "T"), s},
      {"a pair", edit_line(p, 2, "1.0414", "(1.0414,7)"), s},
      {"a pair over two lines", edit_line(p, 2, "1.0414", "(1.0414,\n7)"), s},
      {"Infinity and NaN", edit_line(edit_line(p, 2, "1.0414", "Infinity"), 3, "1.0778", "-nan"), s},
      {"out of range", edit_line(p, 2, "1.0414", "1e39"), s},
      {"a missing number, notes after", edit_line(p, 7, "   1.4152", ""), s},
      {"a missing number, 20 lines", edit_line(head, 7, "   1.4152", ""), s},
      {"a missing number, a group after", edit_line(head, 7, "   1.4152", "") + head, s},
      {"an extra number", edit_line(p, 7, "0.2836", "0.5 0.2836"), s},
      {"groups over two lines", edit_line(p, 3, "   8.3555", "\n\n8.3555"), s},
      {"CR LF line ends", std::regex_replace(p, std::regex("\n"), "\r\n"), s},
      {"19 groups", head.substr(0, head.rfind('\n', head.size() - 2) + 1), s},
      {"empty files", "", ""},
      {"a slope file of commas", p, ",\n,\n,\n,\n,\n,\n,\n,\n,\n,\n,\n,\n,\n,\n,\n,\n,\n,\n,\n,\n"},
      {"a quote never closed", p, "'0.5\n" + s},
      {"a slope decimal comma", p, edit_line(s, 3, "0.9314", "0,9314")},
      {"a slope line too short", p, s.substr(0, s.find("Illus"))},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(check_disagreement(c.parameters, c.slopes), "") << c.what;
  }
  EXPECT_EQ(check_disagreement(std::nullopt, s), "") << "no parameter file";
  EXPECT_EQ(check_disagreement(p, std::nullopt), "") << "no slope file";
}

// Values the calculator loads but whose surges are infinite or NaN are errors
// that only surgekit refuses: counted apart, so that `errors` still agrees.
TEST(CheckAgreement, ErrorsOnlySurgekitRefusesAreCountedApart) {
  const std::string p = example("srfparamsVelko.dat");
  const std::string s = example("pslope.dat");
  struct Case {
    const char* what;
    std::string parameters, slopes;
    int kit_errors;
  };
  const Case cases[] = {
      {"a NaN amplitude", edit_line(p, 2, "4.8276", "NaN"), s, 1},
      {"an infinite centre", edit_line(p, 2, "0.3438", "-Inf"), s, 1},
      {"a width of 0", edit_line(p, 2, "1.0414", "0"), s, 1},
      {"a width of -0", edit_line(p, 2, "1.0414", "-0.0"), s, 1},
      {"a negative width", edit_line(p, 2, "1.0414", "-1.0414"), s, 0},
      {"a tail scale of 0", edit_line(p, 2, "-6.8133", "0"), s, 1},
      // Finite, but the tail's exponential overflows inside its fitted range.
      {"a tail scale of 0.01", edit_line(p, 2, "-6.8133", "0.0100"), s, 1},
      {"a tail scale of 1e-30", edit_line(p, 2, "-6.8133", "1e-30"), s, 1},
      {"a tail scale of -0.01", edit_line(p, 2, "-6.8133", "-0.0100"), s, 0},
      {"a tail normaliser of 0", edit_line(p, 2, "8.7824", "0"), s, 1},
      {"a reciprocal that overflows", edit_line(p, 2, "8.7824", "2.9e-39"), s, 1},
      {"a tiny normaliser whose reciprocal is finite", edit_line(p, 2, "8.7824", "2.95e-39"), s, 0},
      {"an infinite slope", p, edit_line(s, 3, "0.9314", "Inf"), 1},
      {"two at once", edit_line(p, 2, "4.8276   0.3438", "NaN NaN"), s, 2},
  };
  for (const Case& c : cases) {
    kit::CoefficientFile parameters, slopes;
    parameters.path = "p", parameters.found = true, parameters.bytes = c.parameters;
    slopes.path = "s", slopes.found = true, slopes.bytes = c.slopes;
    const kit::CheckReport report = kit::check_coefficient_contents(parameters, slopes);
    EXPECT_EQ(report.errors, 0) << c.what;
    EXPECT_EQ(report.kit_errors, c.kit_errors) << c.what;
    EXPECT_EQ(report.calculator_message, 0) << c.what;
    bool loaded = false;
    EXPECT_EQ(check_disagreement(c.parameters, c.slopes, &loaded), "") << c.what;
    EXPECT_TRUE(loaded) << c.what;
  }
}

// Random edits of the examples: bytes replaced, inserted or removed, drawn
// from the characters that matter to the value syntax.
TEST(CheckAgreement, RandomEditsOfTheExamples) {
  const std::string p = example("srfparamsVelko.dat");
  const std::string s = example("pslope.dat");
  static constexpr char kBytes[] = " \t\n\r,/*()'\"+-.0123456789eEdDqQtTfFiInN\xEF\xBB\xBF";
  std::mt19937_64 random(20261207);
  int loaded = 0;
  for (int run = 0; run < 1500; ++run) {
    std::string files[2] = {p, s};
    std::string& target = files[run % 2];
    const int edits = 1 + static_cast<int>(random() % 3);
    for (int e = 0; e < edits; ++e) {
      const size_t at = random() % target.size();
      const char c = kBytes[random() % (sizeof kBytes - 1)];
      switch (random() % 3) {
        case 0: target[at] = c; break;
        case 1: target.insert(at, 1, c); break;
        default: target.erase(at, 1); break;
      }
    }
    bool calculator_loaded = false;
    ASSERT_EQ(check_disagreement(files[0], files[1], &calculator_loaded), "")
        << "run " << run << ":\n" << target;
    loaded += calculator_loaded;
  }
  EXPECT_GT(loaded, 0);
}

}  // namespace
