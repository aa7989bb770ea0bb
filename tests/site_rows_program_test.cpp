// Whole-program test that each location reads its own row of both data files.
//
// The files give every location its own coefficients, all 440 of them
// distinct: location i's value in column c is (base + step * i) hundredths
// followed by the column number as the third and fourth decimals, so 5.7501 is
// column 1 and 0.3920 column 20. Within a curve the amplitudes, the slope and
// the tail's reciprocal normaliser shrink from row to row while the tail
// centre moves away, so that at each chosen distance another location's row
// (or only its slope, or only its 21 curve values) prints another surge.
//
// The expected surges were worked out apart from the program, from the surge
// formula in double precision with the data's and the constants' single-
// precision values, and each lies at least 0.02 m from a rounding tie of the
// printed tenth.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "program_runner.h"

namespace surge_test {
namespace {

// Column c (1 to 22, the slope last): value at location i is base + step * i,
// in hundredths.
struct ColumnRule {
  int base;
  int step;
};
constexpr ColumnRule kColumns[22] = {
    {600, -25},  // left_amp1
    {100, 2},    // left_centre1
    {200, 1},    // left_width1
    {200, -5},   // left_amp2
    {300, 3},    // left_centre2
    {150, 2},    // left_width2
    {100, -3},   // left_amp3
    {30, 1},     // left_centre3
    {400, 5},    // left_width3
    {20, 1},     // tail_norm
    {1100, 50},  // tail_centre
    {100, 1},    // tail_scale
    {500, -20},  // right_amp1
    {-50, -5},   // right_centre1
    {250, 2},    // right_width1
    {150, -4},   // right_amp2
    {-300, -5},  // right_centre2
    {120, 1},    // right_width2
    {80, -2},    // right_amp3
    {40, -1},    // right_centre3
    {300, 3},    // right_width3
    {430, -20},  // slope
};

std::string coefficient(int column, int location) {
  const ColumnRule rule = kColumns[column - 1];
  const int hundredths = rule.base + rule.step * location;
  char text[24];
  std::snprintf(text, sizeof text, "%s%d.%02d%02d", hundredths < 0 ? "-" : "",
                std::abs(hundredths) / 100, std::abs(hundredths) % 100, column);
  return text;
}

// 20 lines of the 21 curve coefficients.
std::string parameter_file() {
  std::string text;
  for (int location = 1; location <= 20; ++location) {
    for (int column = 1; column <= 21; ++column) {
      text += coefficient(column, location);
      text += column < 21 ? ' ' : '\n';
    }
  }
  return text;
}

// 20 lines of one slope each.
std::string slope_file() {
  std::string text;
  for (int location = 1; location <= 20; ++location) text += coefficient(22, location) + "\n";
  return text;
}

struct Case {
  const char* location;
  const char* pressure;
  const char* radius;
  const char* distance;
  const char* surge;  // as printed, F4.1
  const char* km;     // whole kilometres, I3
  const char* side;
};

// Locations 1, 2, 19 and 20, each in the LEFT range, the tail range and the
// RIGHT range. At 19 and 20 only positive distances are taken, so a distance
// below 0.834 radii gives the RIGHT range. X is the dimensionless distance.
constexpr Case kCases[] = {
    {"1", "900", "30", "60", " 7.4", " 60", "LEFT "},    // X = 1.166, 7.4249 m
    {"1", "900", "40", "465", " 3.7", "465", "LEFT "},   // X = 10.791, 3.6732 m
    {"1", "900", "30", "-11", " 6.2", " 11", "RIGHT"},   // X = -1.201, 6.1943 m
    {"2", "904", "35", "100", " 6.3", "100", "LEFT "},   // X = 2.023, 6.3268 m
    {"2", "902", "28", "340", " 3.4", "340", "LEFT "},   // X = 11.309, 3.3854 m
    {"2", "905", "45", "-20", " 5.4", " 20", "RIGHT"},   // X = -1.278, 5.4029 m
    {"19", "895", "50", "80", " 1.6", " 80", "LEFT "},   // X = 0.766, 1.5932 m
    {"19", "892", "26", "538", " 1.0", "538", "LEFT "},  // X = 19.858, 1.0158 m
    {"19", "900", "60", "22", " 1.3", " 22", "RIGHT"},   // X = -0.467, 1.3142 m
    {"20", "890", "32", "80", " 1.6", " 80", "LEFT "},   // X = 1.666, 1.5907 m
    {"20", "898", "33", "693", " 0.7", "693", "LEFT "},  // X = 20.166, 0.7272 m
    {"20", "893", "64", "5", " 1.2", "  5", "RIGHT"},    // X = -0.756, 1.2108 m
};

// The first record of the output that begins with `head`, without its CR LF;
// empty when there is none.
std::string record_starting(const std::string& out, const std::string& head) {
  size_t at = out.starts_with(head) ? 0 : out.find("\r\n" + head);
  if (at == std::string::npos) return {};
  if (at != 0) at += 2;
  return out.substr(at, out.find("\r\n", at) - at);
}

class SiteRowsTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    write_file("srfparamsVelko.dat", parameter_file());
    write_file("pslope.dat", slope_file());
  }
};

TEST_F(SiteRowsTest, EachLocationReadsItsOwnRowInEveryRange) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string("location ") + c.location + ", distance " + c.distance);
    RunResult r = run(answers({c.location, c.pressure, c.radius, c.distance, "0"}));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.find("Warning!!"), std::string::npos);
    const std::string location = std::string(7 - std::strlen(c.location), ' ') + c.location;
    EXPECT_EQ(record_starting(r.out, "A peak surge="), std::string("A peak surge= ") + c.surge + " m");
    EXPECT_EQ(record_starting(r.out, "making landfall"),
              std::string("making landfall ") + c.km + "km away to the " + c.side +
                  " side of a bridge location No." + location + " is" + c.surge + " m");
  }
}

}  // namespace
}  // namespace surge_test
