// Agreement of `surgekit run` with the calculator: random cases answered to
// the calculator through FOR_READ and sent to surgekit as CSV give the same
// printed surge and the same side label, case by case.
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "program_runner.h"

namespace surge_test {
namespace {

constexpr int kCases = 100000;

struct RandomCase {
  int location;
  std::string pressure, radius, distance;  // as typed
};

using Rng = std::mt19937_64;

int uniform(Rng& rng, int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(rng);
}

std::string integer_text(Rng& rng, int low, int high, std::initializer_list<long long> extremes) {
  if (uniform(rng, 0, 9) == 0)
    return std::to_string(extremes.begin()[uniform(rng, 0, static_cast<int>(extremes.size()) - 1)]);
  return std::to_string(uniform(rng, low, high));
}

// A distance in one of the forms an answer may take, mostly putting X on one
// of the fitted curves; positive (or NaN) at locations 18 to 20, where the
// calculator would ask again.
std::string distance_text(Rng& rng, int location, const std::string& radius) {
  const bool right_only = location >= 18;
  switch (uniform(rng, 0, 19)) {
    case 0:
      return right_only ? "NaN" : "-Infinity";
    case 1:
      return right_only ? "Infinity" : "0";
    case 2:
      return std::to_string(uniform(rng, right_only ? 1 : -300, 900));
    case 3:
      return std::to_string(uniform(rng, 1, 99)) + "D1";
    default:
      break;
  }
  double r = std::stod(radius);
  if (!(r > 0 && r < 1000)) r = 30;
  double d = (std::uniform_real_distribution<double>(-8.0, 28.0)(rng) + 0.834) * r;
  if (right_only && d <= 0) d = -d + 0.25;
  char buffer[32];
  auto end = std::to_chars(buffer, buffer + sizeof buffer, d).ptr;
  return std::string(buffer, end);
}

std::vector<RandomCase> random_cases(int count) {
  Rng rng(10);
  std::vector<RandomCase> cases(count);
  for (RandomCase& c : cases) {
    c.location = uniform(rng, 1, 20);
    c.pressure = integer_text(rng, 880, 1020, {-2147483647 - 1, 0, 1013, 2147483647});
    c.radius = integer_text(rng, 5, 80, {0, -30, 2147483647});
    c.distance = distance_text(rng, c.location, c.radius);
  }
  return cases;
}

// What the calculator printed for one case.
struct Printed {
  std::string surge;           // the surge row's field, without its blanks
  std::string landfall_surge;  // the landfall row's surge field
  std::string label;           // the five characters of the side label
};

std::string trimmed(std::string s) {
  s.erase(0, s.find_first_not_of(' '));
  return s;
}

std::vector<Printed> printed_reports(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<Printed> reports;
  const std::string surge_head = "A peak surge= ", side_head = "km away to the ",
                    location_head = " side of a bridge location No.";
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind(surge_head, 0) == 0) {
      reports.push_back({trimmed(line.substr(surge_head.size(), 4)), "", ""});
    } else if (line.rfind("making landfall ", 0) == 0 && !reports.empty()) {
      size_t at = line.find(side_head);
      if (at == std::string::npos) continue;
      reports.back().label = line.substr(at + side_head.size(), 5);
      size_t is = line.find(" is", at + side_head.size() + 5 + location_head.size());
      if (is != std::string::npos) reports.back().landfall_surge = trimmed(line.substr(is + 3, 4));
    }
  }
  return reports;
}

std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1) {
    fields.push_back(line.substr(start, comma - start));
  }
  fields.push_back(line.substr(start));
  return fields;
}

class RunAgreementTest : public ProgramTest {};

TEST_F(RunAgreementTest, EveryPrintedSurgeAndSideLabelMatchesTheCalculator) {
  const std::string examples = SURGE_EXAMPLES_DIR;
  write_file("srfparamsVelko.dat", read_file(examples + "/srfparamsVelko.dat"));
  write_file("pslope.dat", read_file(examples + "/pslope.dat"));

  const std::vector<RandomCase> cases = random_cases(kCases);
  std::string answers, csv = "id,distance_km,location,radius_km,pressure_mb\n";
  for (size_t i = 0; i < cases.size(); ++i) {
    const RandomCase& c = cases[i];
    answers += std::to_string(c.location) + "\n" + c.pressure + "\n" + c.radius + "\n" +
               c.distance + "\n" + (i + 1 < cases.size() ? "1\n" : "0\n");
    csv += std::to_string(i) + "," + c.distance + "," + std::to_string(c.location) + "," +
           c.radius + "," + c.pressure + "\n";
  }
  write_file("answers.txt", answers);
  write_file("cases.csv", csv);

  RunOptions calculator_run;
  calculator_run.env = {"FOR_READ=" + path("answers.txt"), "FOR_PRINT=" + path("calculator.out")};
  calculator_run.timeout_seconds = 600;
  RunResult calculator = run("", calculator_run);
  ASSERT_EQ(calculator.status, 0) << calculator.err.substr(0, 2000);
  RunOptions kit_run;
  kit_run.program = SURGEKIT_PROGRAM;
  kit_run.args = {"run", "cases.csv", "-o", "surgekit.csv", "--keep-going"};
  kit_run.timeout_seconds = 120;
  RunResult kit = run("", kit_run);
  // Storms outside physics are refused, row by row; every other row agrees.
  auto physical = [](const RandomCase& c) {
    const double d = std::strtod(c.distance.c_str(), nullptr);
    const long long p = std::stoll(c.pressure);
    return p > 0 && p < 1013 && std::stoll(c.radius) > 0 &&
           c.distance.find("Inf") == std::string::npos && c.distance != "NaN" && d == d;
  };
  size_t refused = 0;
  for (const RandomCase& c : cases) refused += physical(c) ? 0 : 1;
  ASSERT_GT(refused, 100u);  // the refusals were exercised
  ASSERT_EQ(kit.status, 1) << kit.err.substr(0, 2000);
  EXPECT_NE(kit.err.find(std::to_string(refused) + " rows could not be used"), std::string::npos)
      << kit.err.substr(kit.err.size() > 2000 ? kit.err.size() - 2000 : 0);

  const std::vector<Printed> printed = printed_reports(path("calculator.out"));
  ASSERT_EQ(printed.size(), cases.size());
  std::ifstream rows(path("surgekit.csv"));
  std::string line;
  ASSERT_TRUE(std::getline(rows, line));
  ASSERT_EQ(
      line,
      "id,distance_km,location,radius_km,pressure_mb,surge_m,surge_report,side,x,curve,flags");

  int mismatches = 0, unlabelled = 0;
  std::string last_label;
  for (size_t i = 0; i < cases.size(); ++i) {
    if (!physical(cases[i])) {
      last_label = printed[i].label;
      continue;
    }
    ASSERT_TRUE(std::getline(rows, line)) << "row " << i;
    const std::vector<std::string> f = split(line);
    ASSERT_EQ(f.size(), 11u) << line;
    const std::string& report = f[6];
    const std::string& side = f[7];
    // Where X is not a number the model assigns no label and the calculator
    // prints the one it holds from an earlier case.
    std::string want_label = side.empty() ? last_label : (side == "LEFT" ? "LEFT " : side);
    if (side.empty()) ++unlabelled;
    const Printed& p = printed[i];
    const bool same = report == p.surge && report == p.landfall_surge &&
                      (want_label.empty() || want_label == p.label);
    if (!same && ++mismatches <= 10) {
      ADD_FAILURE() << "case " << i << " (" << cases[i].location << ", " << cases[i].pressure
                    << ", " << cases[i].radius << ", " << cases[i].distance << "): surgekit "
                    << report << " " << side << ", calculator " << p.surge << "/"
                    << p.landfall_surge << " '" << p.label << "'";
    }
    last_label = p.label;
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_FALSE(std::getline(rows, line)) << "more rows than cases";
  EXPECT_EQ(unlabelled, 0);  // a storm whose X is not a number is refused first
}

}  // namespace
}  // namespace surge_test
