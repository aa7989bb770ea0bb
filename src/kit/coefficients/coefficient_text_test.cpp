// The written coefficient files: shortest round-trip values, the calculator's
// layout, and the notes after the 20th group.
#include "kit/coefficients/coefficient_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#include "kit/coefficients/check.h"

namespace kit {
namespace {

TEST(CoefficientTextTest, ShortestTextsAreExactAndReadBack) {
  const struct {
    float value;
    const char* text;
  } cases[] = {
      {6.5604f, "6.5604"},  {-0.2645f, "-0.2645"}, {0.1f, "0.1"},      {1e-30f, "1E-30"},
      {1e8f, "1E+08"},      {0.0f, "0"},           {-6.0662f, "-6.0662"},
      {16777217.0f, "16777216"},  // not a float: rounds to 2^24 on the way in
      {std::nextafter(1.0f, 2.0f), "1.0000001"},
      {std::numeric_limits<float>::max(), "3.4028235E+38"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(shortest_float_text(c.value), c.text);
    EXPECT_EQ(std::strtof(c.text, nullptr), c.value) << c.text;
  }
}

TEST(CoefficientTextTest, TheCheckFindsNothingInAWrittenSet) {
  surge::SiteTable table{};
  for (int location = 1; location <= surge::kLocations; ++location) {
    for (int k = 0; k < surge::kParameterCount; ++k) {
      // Values of every kind: negative, tiny, with exponents, many digits.
      (table.*surge::kParameterColumns[k])[location] =
          static_cast<float>((k % 3 == 2 ? 1 : -1) * std::pow(10.0, (k + location) % 11 - 5) / 3);
    }
    table.slope[location] = 1.0f / static_cast<float>(location);
  }
  const std::string dir = ::testing::TempDir() + "/coefficient_text_test";
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/srfparamsVelko.dat")
      << parameter_file_text(table, "Notes: after the groups\n1.5 never read\n");
  std::ofstream(dir + "/pslope.dat") << slope_file_text(table, "Notes: after the slopes");
  const CheckReport report = check_coefficient_files(dir);
  EXPECT_EQ(report.errors, 0);
  EXPECT_EQ(report.warnings, 0);
  EXPECT_EQ(report.locations_read, surge::kLocations);
  EXPECT_EQ(std::memcmp(&report.set.table, &table, sizeof table), 0);
  std::filesystem::remove_all(dir);
}

TEST(CoefficientTextTest, OneLineAGroupThenABlankLineAndTheNotes) {
  surge::SiteTable table{};
  table.left_amp1[1] = 6.4234f;
  table.right_width3[20] = 2.0336f;
  table.slope[2] = 0.8662f;
  const std::string parameters = parameter_file_text(table, "Notes: here");
  EXPECT_EQ(parameters.substr(0, 11), "  6.4234  0");
  size_t lines = 0;
  for (char c : parameters) lines += c == '\n';
  EXPECT_EQ(lines, 22u);
  EXPECT_NE(parameters.find("  0  2.0336\n\nNotes: here\n"), std::string::npos);
  EXPECT_EQ(slope_file_text(table, ""), std::string(" 0\n 0.8662\n") + [] {
              std::string rest;
              for (int i = 3; i <= 20; ++i) rest += " 0\n";
              return rest;
            }());
}

}  // namespace
}  // namespace kit
