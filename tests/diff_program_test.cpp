// Whole-program tests of `surgekit diff`: where the surge moves between two
// coefficient sets, checked against `surgekit run` on the case it names.
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "program_runner.h"

namespace surge_test {
namespace {

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t end; (end = text.find(separator, start)) != std::string::npos; start = end + 1) {
    parts.push_back(text.substr(start, end - start));
  }
  if (start < text.size()) parts.push_back(text.substr(start));
  return parts;
}

class DiffCommandTest : public ProgramTest {
 protected:
  // A set in folder `name`: the example's coefficients, with the parameter
  // line of `location` (if any) replaced.
  void write_set(const std::string& name, int location = 0, const std::string& line = "") {
    std::filesystem::create_directory(path(name));
    std::vector<std::string> lines = split(example_parameter_file(), '\n');
    if (location > 0) lines[location - 1] = line;
    std::string text;
    for (const std::string& l : lines) text += l + "\n";
    write_file(name + "/srfparamsVelko.dat", text);
    write_file(name + "/pslope.dat", example_slope_file());
  }
  RunResult surgekit(std::vector<std::string> args) {
    RunOptions options;
    options.program = SURGEKIT_PROGRAM;
    options.args = std::move(args);
    options.timeout_seconds = 120;
    return run("", options);
  }
  // The rows of diff's output after the header, split into fields.
  static std::vector<std::vector<std::string>> rows(const std::string& out) {
    std::vector<std::vector<std::string>> result;
    std::vector<std::string> lines = split(out, '\n');
    for (size_t i = 1; i < lines.size(); ++i) result.push_back(split(lines[i] + ",", ','));
    return result;
  }
};

// Column numbers of diff's output.
enum {
  kLocation,
  kLargest,
  kOld,
  kNew,
  kPressure,
  kRadius,
  kDistance,
  kX,
  kCurve,
  kCases,
  kChanged,
  kNonfinite
};

TEST_F(DiffCommandTest, FindsTheLargestChangeAndTheCaseWhereItHappens) {
  write_set("old");
  // Location 3: the first LEFT Gaussian twice as high; location 12: the RIGHT
  // curve's third width changed.
  write_set(
      "new", 3,
      "2.0 1.0 2.0 0.5 3.0 1.0 0.25 0.0 4.0 1.0 15.0 2.0 0.8 -1.0 1.5 0.4 -3.0 1.0 0.2 0.5 2.0");
  std::vector<std::string> lines = split(read_file("new/srfparamsVelko.dat"), '\n');
  lines[11] =
      "1.0 1.0 2.0 0.5 3.0 1.0 0.25 0.0 4.0 1.0 15.0 2.0 0.8 -1.0 1.5 0.4 -3.0 1.0 0.2 0.5 2.5";
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  write_file("new/srfparamsVelko.dat", text);

  RunResult result =
      surgekit({"diff", "old", "new", "--pressure-step", "10", "--radius-step", "3"});
  ASSERT_EQ(result.status, 1) << result.err;  // the sets differ
  EXPECT_EQ(split(result.out, '\n')[0],
            "location,largest_change_m,old_surge_m,new_surge_m,pressure_mb,radius_km,"
            "distance_km,x,curve,cases,changed_cases,nonfinite_cases");
  auto found = rows(result.out);
  ASSERT_EQ(found.size(), 20u);
  for (int location = 1; location <= 20; ++location) {
    const std::vector<std::string>& r = found[location - 1];
    SCOPED_TRACE(location);
    ASSERT_EQ(r.size(), 12u);
    EXPECT_EQ(r[kLocation], std::to_string(location));
    EXPECT_EQ(r[kNonfinite], "0");
    if (location != 3 && location != 12) {
      EXPECT_EQ(r[kLargest], "0");
      EXPECT_EQ(r[kChanged], "0");
      continue;
    }
    EXPECT_GT(std::stod(r[kChanged]), 0);
    EXPECT_EQ(r[kCurve], location == 3 ? "left" : "right");
    // The largest change is at the lowest pressure; the case it names gives
    // that change when run through the two sets.
    EXPECT_EQ(r[kPressure], "890");
    write_file("case.csv", "location,pressure_mb,radius_km,distance_km\n" + r[kLocation] + "," +
                               r[kPressure] + "," + r[kRadius] + "," + r[kDistance] + "\n");
    RunResult old_run = surgekit({"run", "case.csv", "--data", "old"});
    RunResult new_run = surgekit({"run", "case.csv", "--data", "new"});
    ASSERT_EQ(old_run.status + new_run.status, 0);
    const std::string old_surge = split(split(old_run.out, '\n')[1], ',')[4];
    const std::string new_surge = split(split(new_run.out, '\n')[1], ',')[4];
    EXPECT_EQ(old_surge, r[kOld]);
    EXPECT_EQ(new_surge, r[kNew]);
    // Signed: new minus old.
    EXPECT_DOUBLE_EQ(std::stod(new_surge) - std::stod(old_surge), std::stod(r[kLargest]));
  }
  // Location 3's first Gaussian peaks at X = 1, where doubling it moves the
  // surge most.
  EXPECT_NEAR(std::stod(found[2][kX]), 1.0, 0.1);
}

TEST_F(DiffCommandTest, GivesTheSameBytesOnOneThreadOrMany) {
  write_set("old");
  write_set(
      "new", 7,
      "1.0 1.0 2.0 0.5 3.0 1.0 0.25 0.0 4.0 1.0 15.0 2.0 0.8 -1.0 1.5 0.4 -3.0 0.1 0.2 0.5 2.0");
  RunResult one = surgekit({"diff", "old", "new", "--threads", "1", "--pressure-step", "35"});
  RunResult many = surgekit({"diff", "old", "new", "--threads", "3", "--pressure-step", "35"});
  ASSERT_EQ(one.status, 1) << one.err;  // the sets differ
  EXPECT_EQ(one.out, many.out);
  EXPECT_EQ(one.err, many.err);
}

// A tail normaliser of zero gives NaN or infinite surges in the new set: the
// set is refused at the value's place before anything is compared.
TEST_F(DiffCommandTest, RefusesASetWhoseSurgesAreNotNumbers) {
  write_set("old");
  write_set(
      "new", 5,
      "1.0 1.0 2.0 0.5 3.0 1.0 0.25 0.0 4.0 0 15.0 2.0 0.8 -1.0 1.5 0.4 -3.0 1.0 0.2 0.5 2.0");
  RunResult result = surgekit({"diff", "old", "new", "--pressure-step", "70"});
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err.rfind("new/srfparamsVelko.dat:5:38: error: location 5, tail_norm: ", 0), 0u)
      << result.err;
  EXPECT_NE(result.err.find("surgekit diff: error: the coefficient set in new holds 1 error"),
            std::string::npos)
      << result.err;
}

TEST_F(DiffCommandTest, ReportsUsageAndDataFaults) {
  write_set("old");
  std::filesystem::create_directory(path("empty"));
  struct Row {
    std::vector<std::string> args;
    int status;
    const char* error;
  } rows[] = {
      {{"diff", "old"}, 2, "new"},
      {{"diff", "old", "nowhere"}, 2, "nowhere"},
      {{"diff", "old", "old", "--radius-step", "0"}, 2, "radius-step"},
      {{"diff", "old", "old", "--distance-step", "x"}, 2, "distance-step"},
      {{"diff", "old", "empty"}, 2, "srfparamsVelko.dat"},
      {{"diff", "empty", "old"}, 2, "srfparamsVelko.dat"},
  };
  for (const Row& r : rows) {
    RunResult result = surgekit(r.args);
    EXPECT_EQ(result.status, r.status) << r.args.back() << ": " << result.err;
    EXPECT_NE(result.err.find(r.error), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
  }
}

}  // namespace
}  // namespace surge_test
