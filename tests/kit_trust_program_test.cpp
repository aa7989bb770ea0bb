// surgekit's one rule, whole-program: a number only where the fitted curves
// can give one. Every subcommand refuses a corrupt coefficient set and storms
// outside physics; warnings go on unless --strict; far landfalls count for
// nothing; a worst surge names every radius that reaches it.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "program_runner.h"

namespace surge_test {
namespace {

class KitTrustTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    for (const char* name : {"srfparamsVelko.dat", "pslope.dat", "sites.csv", "storms.csv"}) {
      write_file(name, source(name));
    }
    write_file("cases.csv", "location,pressure_mb,radius_km,distance_km\n7,930,30,20\n");
  }
  static std::string source(const std::string& name) {
    std::ifstream in(std::string(SURGE_EXAMPLES_DIR) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // The parameter file with line `n` (from 1) changed by `edit`, and `extra`
  // inserted after the 20th group.
  template <typename Edit>
  void edit_parameters(int n, Edit edit, const std::string& extra = "") {
    std::vector<std::string> lines = lines_of(source("srfparamsVelko.dat"));
    edit(lines[n - 1]);
    if (!extra.empty()) lines.insert(lines.begin() + 20, extra);
    std::string text;
    for (const std::string& l : lines) text += l + "\n";
    write_file("srfparamsVelko.dat", text);
  }
  // One number deleted on line 7 and a 21st group added: every later location
  // reads its neighbour's row, which the calculator accepts without a word.
  void shift_parameters() {
    const std::string twentieth = lines_of(source("srfparamsVelko.dat"))[19];
    edit_parameters(7, [](std::string& l) { l.erase(l.find_last_not_of(' ', l.rfind(' ')) + 1); },
                    twentieth);
  }
  RunResult kit(std::vector<std::string> args) {
    return run("", RunOptions{.env = {}, .cwd = {}, .timeout_seconds = 60,
                              .program = SURGEKIT_PROGRAM, .args = std::move(args)});
  }
};

// Each subcommand that evaluates the model, as a user would run it.
const std::vector<std::vector<std::string>> kEvaluating = {
    {"run", "cases.csv"},
    {"worst", "--pressure", "930", "--location", "7"},
    {"envelope", "--location", "7", "--pressures", "900:960:30"},
    {"curve", "--location", "7", "--pressure", "930", "--radius", "30"},
    {"report", "-o", "page.html"},
    {"ensemble", "--landfall-km", "300", "--pressure", "935", "--radius", "35", "--sd-landfall",
     "40", "--samples", "2000"},
    {"hazard", "storms.csv", "--coast", "-1720:861"},
};

TEST_F(KitTrustTest, EverySubcommandRefusesANonFiniteCoefficient) {
  edit_parameters(3, [](std::string& l) { l.replace(l.find_first_not_of(' '), 6, "NaN   "); });
  for (const auto& args : kEvaluating) {
    SCOPED_TRACE(args[0]);
    const RunResult r = kit(args);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("srfparamsVelko.dat:3:"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("error"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("nan"), std::string::npos) << r.out;
  }
}

// A finite tail scale that sends the tail's exponential to infinity inside
// its fitted range: the calculator prints nan for location 7 at 700 km; every
// subcommand refuses the set, naming the tail at its line.
TEST_F(KitTrustTest, EverySubcommandRefusesACoefficientWhoseCurveGivesNaN) {
  for (const char* scale : {"0.0100", "1e-30 "}) {
    SCOPED_TRACE(scale);
    edit_parameters(7, [&](std::string& l) { l.replace(l.find("-5.2382"), 7, scale); });
    write_file("cases.csv", "location,pressure_mb,radius_km,distance_km\n7,930,30,700\n");
    for (const auto& args : kEvaluating) {
      SCOPED_TRACE(args[0]);
      const RunResult r = kit(args);
      EXPECT_EQ(r.status, 1) << r.err;
      EXPECT_NE(r.err.find("srfparamsVelko.dat:7:83: error: location 7, tail_norm to tail_scale: "
                           "the tail gives a NaN response "),
                std::string::npos)
          << r.err;
      EXPECT_EQ(r.out.find("nan"), std::string::npos) << r.out;
    }
    const RunResult check = kit({"check"});
    EXPECT_EQ(check.status, 1) << check.out;
  }
}

TEST_F(KitTrustTest, AShiftedFileWarnsAndGoesOnUnlessStrict) {
  shift_parameters();
  for (const auto& args : kEvaluating) {
    SCOPED_TRACE(args[0]);
    const RunResult warned = kit(args);
    EXPECT_EQ(warned.status, 0) << warned.err;
    EXPECT_NE(warned.err.find("srfparamsVelko.dat:7:"), std::string::npos) << warned.err;
    std::vector<std::string> strict_args = args;
    strict_args.push_back("--strict");
    const RunResult refused = kit(strict_args);
    EXPECT_EQ(refused.status, 1) << refused.err;
    EXPECT_NE(refused.err.find("srfparamsVelko.dat:7:"), std::string::npos) << refused.err;
    if (args[0] != "report") {
      EXPECT_EQ(refused.out, "");
    }
  }
  EXPECT_NE(read_file("page.html").find("This coefficient set is refused"), std::string::npos);
}

TEST_F(KitTrustTest, StormsOutsidePhysicsAreRefused) {
  const struct {
    std::vector<std::string> args;
    int status;
  } rows[] = {
      {{"worst", "--pressure", "1013"}, 2},
      {{"worst", "--pressure", "930", "--radius", "0"}, 2},
      {{"worst", "--pressure", "930", "--radius-range", "0:20"}, 2},
      {{"envelope", "--pressures", "1000:1013:13"}, 2},
      {{"curve", "--location", "7", "--pressure", "930", "--radius", "-30"}, 2},
      {{"curve", "--location", "7", "--pressure", "nan", "--radius", "30"}, 2},
      {{"report", "--plot-radius", "0"}, 2},
      {{"report", "--plot-pressures", "900:1020:60"}, 2},
      {{"ensemble", "--landfall-km", "inf", "--pressure", "935", "--radius", "35"}, 2},
      {{"ensemble", "--landfall-km", "300", "--pressure", "1013", "--radius", "35"}, 2},
      {{"ensemble", "--landfall-km", "300", "--pressure", "935", "--radius", "0"}, 2},
      // Not finite, and pressures at or below 0.
      {{"worst", "--pressure", "nan"}, 2},
      {{"worst", "--pressure", "0"}, 2},
      {{"worst", "--pressure", "-50"}, 2},
      {{"worst", "--pressure", "930", "--radius", "inf"}, 2},
      {{"worst", "--pressure", "930", "--radius", "nan"}, 2},
      {{"envelope", "--pressures", "0:960"}, 2},
      {{"envelope", "--pressures", "nan:960"}, 2},
      {{"envelope", "--radius-range", "inf:20"}, 2},
      {{"curve", "--location", "7", "--pressure", "930", "--radius", "30", "--from", "nan"}, 2},
      {{"curve", "--location", "7", "--pressure", "930", "--radius", "30", "--step", "inf"}, 2},
      {{"report", "--plot-radius", "nan"}, 2},
      {{"report", "--worst-pressure", "nan"}, 2},
      {{"report", "--worst-pressure", "0"}, 2},
      {{"report", "--storms", "storms.csv", "--coast", "-1720:861", "--step", "nan"}, 2},
      {{"report", "--storms", "storms.csv", "--coast", "-1720:861", "--total-water",
        "--sea-level-rise", "inf"},
       2},
      {{"ensemble", "--landfall-km", "300", "--pressure", "0", "--radius", "35"}, 2},
      {{"ensemble", "--landfall-km", "300", "--pressure", "935", "--radius", "35", "--sd-radius",
        "nan"},
       2},
      {{"ensemble", "--landfall-km", "300", "--pressure", "935", "--radius", "35",
        "--sd-pressure", "inf"},
       2},
      {{"hazard", "storms.csv", "--coast", "-1720:861", "--step", "nan"}, 2},
      {{"hazard", "storms.csv", "--coast", "-1720:861", "--curve-step", "nan"}, 2},
      {{"hazard", "storms.csv", "--coast", "-1720:861", "--sigma-m", "inf"}, 2},
      {{"hazard", "storms.csv", "--coast", "-1720:861", "--return-period", "nan"}, 2},
      {{"hazard", "storms.csv", "--coast", "nan:861"}, 2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args[0] + " " + row.args[1] + " " + row.args[2]);
    const RunResult r = kit(row.args);
    EXPECT_EQ(r.status, row.status) << r.err;
    EXPECT_EQ(r.out, "");
  }
  // The highest fitted pressure and the smallest radius above 0 are taken.
  EXPECT_EQ(kit({"worst", "--pressure", "1012.9", "--radius", "0.5"}).status, 0);
  // A storm row and a run row: located errors.
  for (const char* pressure : {"1013", "0"}) {
    write_file("storms.csv", "name,pressure_mb,radius_km,rate\na," + std::string(pressure) +
                                 ",30,1e-4\n");
    const RunResult hazard = kit({"hazard", "storms.csv", "--coast", "-1720:861"});
    EXPECT_EQ(hazard.status, 1);
    EXPECT_NE(hazard.err.find("storms.csv:2:3: error: pressure_mb: \"" + std::string(pressure) +
                              "\" is not a pressure above 0 and below 1013 mb"),
              std::string::npos)
        << hazard.err;
    EXPECT_EQ(hazard.out, "");
  }
  // Each run row outside physics is an error at its field: the run stops
  // there, after the header; with --keep-going the other row is written, and
  // the status is still 1.
  const struct {
    const char* row;
    const char* error;
  } cases[] = {
      {"7,0,30,20", "cases.csv:2:3: error: pressure_mb: \"0\" is not a pressure above 0 and "
                    "below 1013 mb"},
      {"7,NaN,30,20", "cases.csv:2:3: error: pressure_mb: \"NaN\" is not a pressure above 0 "
                      "and below 1013 mb"},
      {"7,930,0,20", "cases.csv:2:7: error: radius_km: \"0\" is not a positive radius"},
      {"7,930,-30,20", "cases.csv:2:7: error: radius_km: \"-30\" is not a positive radius"},
      {"7,930,Inf,20", "cases.csv:2:7: error: radius_km: \"Inf\" is not a positive radius"},
      {"7,930,NaN,20", "cases.csv:2:7: error: radius_km: \"NaN\" is not a positive radius"},
      {"7,930,30,NaN", "cases.csv:2:10: error: distance_km: \"NaN\" is not a finite distance"},
      {"7,930,30,-Inf", "cases.csv:2:10: error: distance_km: \"-Inf\" is not a finite distance"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.row);
    write_file("cases.csv", "location,pressure_mb,radius_km,distance_km\n" + std::string(c.row) +
                                "\n7,930,30,20\n");
    const RunResult refused = kit({"run", "cases.csv"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err.rfind(std::string(c.error) + "\n", 0), 0u) << refused.err;
    EXPECT_EQ(std::count(refused.out.begin(), refused.out.end(), '\n'), 1) << refused.out;
    const RunResult kept = kit({"run", "cases.csv", "--keep-going"});
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(kept.err.rfind(std::string(c.error) + "\n", 0), 0u) << kept.err;
    EXPECT_EQ(std::count(kept.out.begin(), kept.out.end(), '\n'), 2) << kept.out;
  }
  write_file("cases.csv", "location,pressure_mb,radius_km,distance_km\n7,1013,30,20\n");
  const RunResult run = kit({"run", "cases.csv"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cases.csv:2:3: error: pressure_mb: \"1013\" is not a pressure above 0 "
                         "and below 1013 mb"),
            std::string::npos)
      << run.err;
}

// Past every bridge's fitted reach a wider coast adds only landfalls that the
// curves say nothing about: the return levels stay, to the millimetre.
TEST_F(KitTrustTest, HazardLevelsDoNotDependOnCoastBeyondTheReach) {
  const RunResult covered = kit({"hazard", "storms.csv", "--coast", "-1720:861"});
  const RunResult wider = kit({"hazard", "storms.csv", "--coast", "-20000:20600"});
  ASSERT_EQ(covered.status, 0) << covered.err;
  ASSERT_EQ(wider.status, 0) << wider.err;
  EXPECT_EQ(covered.err, "");
  auto levels = [](const std::string& out) {  // each row up to its rate column
    std::string kept;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
      size_t cut = line.size();
      for (int k = 0; k < 2; ++k) cut = line.rfind(',', cut - 1);
      kept += line.substr(0, cut) + "\n";
    }
    return kept;
  };
  EXPECT_EQ(levels(covered.out), levels(wider.out));
  // A coast that stops short of the reach says which bridges it cuts.
  const RunResult cut = kit({"hazard", "storms.csv", "--coast", "-1000:861"});
  EXPECT_NE(cut.err.find("cuts into the landfalls that reach bridges 1, 2,"), std::string::npos)
      << cut.err;
  const RunResult east = kit({"hazard", "storms.csv", "--coast", "-1720:800"});
  EXPECT_NE(east.err.find("reach bridge"), std::string::npos) << east.err;
}

// The radii that reach the worst surge, against a search of every radius alone.
TEST_F(KitTrustTest, WorstNamesEveryRadiusThatReachesTheMaximum) {
  for (int location : {7, 19}) {
    SCOPED_TRACE(location);
    const std::string loc = std::to_string(location);
    double best = -1;
    std::vector<double> surges;
    for (int radius = 11; radius <= 65; ++radius) {
      const RunResult one = kit({"worst", "--pressure", "930", "--location", loc, "--radius",
                                 std::to_string(radius)});
      ASSERT_EQ(one.status, 0) << one.err;
      const std::string row = lines_of(one.out).at(1);
      const double surge = std::strtod(row.c_str() + row.find(',') + 1, nullptr);
      surges.push_back(surge);
      best = std::max(best, surge);
    }
    int first = 0, last = 0;
    for (int radius = 11; radius <= 65; ++radius) {
      if (surges[radius - 11] < best - 0.0015) continue;  // printed to the millimetre
      if (first == 0) first = radius;
      last = radius;
    }
    const RunResult all = kit({"worst", "--pressure", "930", "--location", loc});
    ASSERT_EQ(all.status, 0) << all.err;
    std::vector<std::string> f;
    std::istringstream row(lines_of(all.out).at(1));
    for (std::string field; std::getline(row, field, ',');) f.push_back(field);
    ASSERT_EQ(f.size(), 11u);
    // Columns: location, surge, distance, radius, side, curve, x, min, max, d(min), d(max).
    EXPECT_NEAR(std::strtod(f[1].c_str(), nullptr), best, 0.0005);
    EXPECT_LE(std::abs(std::atoi(f[7].c_str()) - first), 1) << all.out;
    EXPECT_LE(std::abs(std::atoi(f[8].c_str()) - last), 1) << all.out;
    EXPECT_LE(std::atoi(f[7].c_str()), std::atoi(f[3].c_str()));
    EXPECT_GE(std::atoi(f[8].c_str()), std::atoi(f[3].c_str()));
    EXPECT_GT(std::strtod(f[10].c_str(), nullptr), std::strtod(f[9].c_str(), nullptr));
    EXPECT_NE(f[5], "none");
  }
}

}  // namespace
}  // namespace surge_test
