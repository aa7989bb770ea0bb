// Whole-program tests of surgekit's shared conventions: the exit status and
// the shape of every line on standard error, over every subcommand and each
// class of trouble; "-" for standard input and output; run's refusals; diff's
// status.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "program_runner.h"

namespace surge_test {
namespace {

const std::string kExamples = SURGE_EXAMPLES_DIR;

class KitConventionsTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    for (const char* name : {"srfparamsVelko.dat", "pslope.dat", "sites.csv", "storms.csv",
                             "cases.csv", "simulations.csv"}) {
      std::filesystem::copy_file(kExamples + "/" + name, path(name));
    }
    std::filesystem::create_directory(path("broken"));  // a data folder without its files
    // Data folders whose coefficients read but whose sites file is missing,
    // or a folder in its place.
    for (const char* dir : {"nosites", "foldersites"}) {
      std::filesystem::create_directory(path(dir));
      for (const char* name : {"srfparamsVelko.dat", "pslope.dat"}) {
        std::filesystem::copy_file(kExamples + "/" + name, path(std::string(dir) + "/" + name));
      }
    }
    std::filesystem::create_directory(path("foldersites/sites.csv"));
    write_file("landfall.csv", "pressure_mb,radius_km,rate,landfall_km\n930,30,0.01,100\n");
  }
  RunResult kit(std::vector<std::string> args, std::string_view input = {}) {
    RunOptions options;
    options.program = SURGEKIT_PROGRAM;
    options.args = std::move(args);
    options.timeout_seconds = 120;
    return run(input, options);
  }
  // The same with standard output on /dev/full, where every write fails.
  RunResult kit_to_full_disk(const std::vector<std::string>& args) {
    std::vector<std::string> shell = {"-c", "exec \"$0\" \"$@\" >/dev/full", SURGEKIT_PROGRAM};
    shell.insert(shell.end(), args.begin(), args.end());
    RunOptions options;
    options.program = "/bin/sh";
    options.args = std::move(shell);
    options.timeout_seconds = 300;
    return run({}, options);
  }
  // Lines of standard error that start neither with "surgekit SUBCOMMAND: "
  // nor with a place in a file ("file:line[:column]: severity: ").
  static std::vector<std::string> misshapen(const std::string& err, const std::string& command) {
    const std::regex place(R"(^[^:\s]+(:\d+(:\d+)?)?: (error|warning|note): .+)");
    std::vector<std::string> bad;
    size_t start = 0;
    while (start < err.size()) {
      const size_t end = err.find('\n', start);
      const std::string line = err.substr(start, end - start);
      if (line.rfind(command + ": ", 0) != 0 && !std::regex_match(line, place)) bad.push_back(line);
      if (end == std::string::npos) break;
      start = end + 1;
    }
    return bad;
  }
};

TEST_F(KitConventionsTest, EverySubcommandGivesTheStatusAndMessageShapeOfItsTrouble) {
  struct Row {
    std::vector<std::string> args;
    int status;
    const char* first_line;  // standard error's first line begins so
  };
  const Row rows[] = {
      // The command line is wrong: 2, named under the subcommand.
      {{"check", "--nosuch"}, 2, "surgekit check: error: The following argument"},
      {{"run", "--nosuch"}, 2, "surgekit run: error: The following argument"},
      {{"diff", "."}, 2, "surgekit diff: error: new is required"},
      {{"curve", "--location", "3", "--pressure", "930"}, 2,
       "surgekit curve: error: --radius is required"},
      {{"curve", "--location", "21", "--pressure", "930", "--radius", "30"}, 2,
       "surgekit curve: error: --location: \"21\" is not a location"},
      {{"worst", "--pressure", "930", "--radius-range", "0:20"}, 2,
       "surgekit worst: error: --radius-range: \"0:20\": radii must be 1 km or more"},
      {{"envelope", "--pressures", "960:890"}, 2,
       "surgekit envelope: error: --pressures: \"960:890\" is not FIRST:LAST or FIRST:LAST:STEP"},
      {{"report", "--coast", "0:600"}, 2, "surgekit report: error: --coast requires --storms"},
      {{"report", "--step", "2"}, 2, "surgekit report: error: --step requires --storms"},
      {{"ensemble", "--landfall-km", "300", "--pressure", "935", "--radius", "35",
        "--sd-landfall", "-5"},
       2, "surgekit ensemble: error: --sd-landfall: \"-5\" is not a finite number of zero or more"},
      {{"hazard", "storms.csv", "--coast", "abc"}, 2,
       "surgekit hazard: error: --coast \"abc\" is not FROM:TO in km"},
      {{"hazard", "storms.csv", "--coast", "600:100"}, 2,
       "surgekit hazard: error: --coast \"600:100\" is an empty coast range"},
      {{"hazard", "storms.csv", "--step", "-1"}, 2,
       "surgekit hazard: error: --step: \"-1\" is not a finite number above zero"},
      {{"--bogus"}, 2, "surgekit: error: unknown option \"--bogus\": a subcommand comes first"},
      {{"chek"}, 2, "surgekit: error: unknown subcommand \"chek\" (did you mean \"check\"?)"},
      {{"help", "nosuch"}, 2, "surgekit help: error: unknown subcommand \"nosuch\""},
      // Grids beyond their stated limits, refused before the coefficients are read.
      {{"curve", "--data", "broken", "--location", "3", "--pressure", "930", "--radius", "30",
        "--step", "1e-6", "--from", "-1e6", "--to", "1e6"},
       2,
       "surgekit curve: error: --step: 0.000001 km gives more than a million distances from "
       "-1000000 to 1000000 km: take a larger --step"},
      // The limits themselves pass the check and go on to read the coefficients.
      {{"curve", "--data", "broken", "--location", "3", "--pressure", "930", "--radius", "30",
        "--step", "1", "--from", "0", "--to", "1000000"},
       2,
       "surgekit curve: error: --step: 1 km gives more than a million distances from 0 to "
       "1000000 km"},
      {{"curve", "--data", "broken", "--location", "3", "--pressure", "930", "--radius", "30",
        "--step", "1", "--from", "0", "--to", "999999"},
       2, "surgekit curve: error: cannot read broken/srfparamsVelko.dat: "},
      {{"hazard", "--data", "broken", "storms.csv", "--coast", "0:600", "--step", "1e-9"}, 2,
       "surgekit hazard: error: --step: 0.000000001 km gives more than 100000 landfalls over the "
       "coast 0:600: take a larger --step"},
      {{"hazard", "--data", "broken", "storms.csv", "--coast", "0:100001", "--step", "1"}, 2,
       "surgekit hazard: error: --step: 1 km gives more than 100000 landfalls"},
      {{"hazard", "--data", "broken", "storms.csv", "--coast", "0:100000", "--step", "1"}, 2,
       "surgekit hazard: error: cannot read broken/srfparamsVelko.dat: "},
      {{"ensemble", "--landfall-km", "300", "--pressure", "935", "--radius", "35",
        "--total-water", "--tide-range", "2:1"},
       2, "surgekit ensemble: error: --tide-range 2:1: LO must not lie above HI"},
      // An option that would do nothing is refused, not ignored.
      {{"diff", "--data", ".", ".", "."}, 2, "surgekit diff: error: The following argument"},
      {{"hazard", "storms.csv", "--coast", "0:600", "--curve-step", "0.01"}, 2,
       "surgekit hazard: error: --curve-step requires --curve: it sets the step of that curve\n"},
      {{"hazard", "landfall.csv", "--step", "2"}, 2,
       "surgekit hazard: error: --step: the storms have landfall_km, so there is no coast to "
       "step along (leave --step out, or give --coast)\n"},
      {{"report", "--storms", "landfall.csv", "--step", "2", "-o", "r.html"}, 2,
       "surgekit report: error: --step: the storms have landfall_km, so there is no coast to "
       "step along"},
      {{"hazard", "landfall.csv", "--curve", "c.csv", "--curve-step", "0.01", "-o", "l.csv"}, 0,
       ""},
      {{"hazard", "landfall.csv", "--coast", "0:600", "--step", "2", "-o", "l.csv"}, 0,
       "surgekit hazard: note: the storms have landfall_km, so --coast is not used\n"},
      // A real option's range: its bounds in their shortest plain text.
      {{"hazard", "storms.csv", "--coast", "0:600", "--curve", "c.csv", "--curve-step", "20"}, 2,
       "surgekit hazard: error: --curve-step: \"20\" is not from 0.001 to 10\n"},
      {{"curve", "--location", "3", "--pressure", "930", "--radius", "30", "--step", "0"}, 2,
       "surgekit curve: error: --step: \"0\" is not from 0.000001 to 1000000\n"},
      // Two outputs on standard output at once.
      {{"curve", "--location", "3", "--pressure", "930", "--radius", "30", "--svg", "-"}, 2,
       "surgekit curve: error: the table (-o) and --svg both go to standard output"},
      {{"envelope", "--svg", "-"}, 2,
       "surgekit envelope: error: the table (-o) and --svg both go to standard output"},
      {{"hazard", "storms.csv", "--coast", "0:600", "--curve", "-"}, 2,
       "surgekit hazard: error: the levels (-o) and --curve both go to standard output"},
      // An input that cannot be read: 2, with the path and the system's reason.
      {{"run", "nosuch.csv"}, 2,
       "surgekit run: error: cases: cannot read nosuch.csv: No such file or directory"},
      {{"hazard", "nosuch.csv", "--coast", "0:600"}, 2,
       "surgekit hazard: error: STORMS: cannot read nosuch.csv: No such file or directory"},
      {{"report", "--storms", "nosuch.csv"}, 2,
       "surgekit report: error: --storms: cannot read nosuch.csv: No such file or directory"},
      {{"ensemble", "--data", "nosites", "--landfall-km", "300", "--pressure", "935", "--radius",
        "35", "--sd-landfall", "40"},
       2, "surgekit ensemble: error: cannot read nosites/sites.csv: No such file or directory"},
      {{"ensemble", "--data", "foldersites", "--landfall-km", "300", "--pressure", "935",
        "--radius", "35", "--sd-landfall", "40"},
       2, "surgekit ensemble: error: cannot read foldersites/sites.csv: it is a folder"},
      {{"hazard", "--data", "nosites", "storms.csv", "--coast", "0:600"}, 2,
       "surgekit hazard: error: cannot read nosites/sites.csv: No such file or directory"},
      {{"hazard", "--data", "foldersites", "storms.csv", "--coast", "0:600"}, 2,
       "surgekit hazard: error: cannot read foldersites/sites.csv: it is a folder"},
      {{"report", "--data", "nosites", "--storms", "storms.csv", "-o", "r.html"}, 2,
       "surgekit report: error: cannot read nosites/sites.csv: No such file or directory"},
      {{"report", "--data", "foldersites", "--storms", "storms.csv", "-o", "r.html"}, 2,
       "surgekit report: error: cannot read foldersites/sites.csv: it is a folder"},
      // An output that cannot be written: 2, the user's path, never a temporary name.
      {{"run", "cases.csv", "-o", "nodir/out.csv"}, 2,
       "surgekit run: error: cannot create nodir/out.csv: No such file or directory"},
      {{"report", "-o", "nodir/r.html"}, 2,
       "surgekit report: error: cannot create nodir/r.html: No such file or directory"},
      {{"curve", "--location", "3", "--pressure", "930", "--radius", "30", "--svg",
        "nodir/c.svg"},
       2, "surgekit curve: error: cannot create nodir/c.svg: No such file or directory"},
      {{"envelope", "--svg", "nodir/e.svg"}, 2,
       "surgekit envelope: error: cannot create nodir/e.svg: No such file or directory"},
      {{"hazard", "storms.csv", "--coast", "0:600", "--curve", "nodir/c.csv"}, 2,
       "surgekit hazard: error: cannot create nodir/c.csv: No such file or directory"},
      {{"hazard", "storms.csv", "--coast", "0:600", "-o", "nodir/l.csv"}, 2,
       "surgekit hazard: error: cannot create nodir/l.csv: No such file or directory"},
      // The data hold errors: 1, the findings at their place in the file.
      {{"check", "--data", "broken"}, 1, ""},  // its findings are its output: below
      {{"run", "--data", "broken", "cases.csv"}, 2, "surgekit run: error: cannot read broken/srfparamsVelko.dat: "},
      {{"diff", ".", "broken"}, 2, "surgekit diff: error: cannot read broken/srfparamsVelko.dat: "},
      {{"curve", "--data", "broken", "--location", "3", "--pressure", "930", "--radius", "30"}, 2,
       "surgekit curve: error: cannot read broken/srfparamsVelko.dat: "},
      {{"worst", "--data", "broken", "--pressure", "930"}, 2, "surgekit worst: error: cannot read broken/srfparamsVelko.dat: "},
      {{"envelope", "--data", "broken"}, 2, "surgekit envelope: error: cannot read broken/srfparamsVelko.dat: "},
      {{"report", "--data", "broken", "-o", "r.html"}, 2, "surgekit report: error: cannot read broken/srfparamsVelko.dat: "},
      {{"ensemble", "--data", "broken", "--landfall-km", "300", "--pressure", "935", "--radius",
        "35", "--sd-landfall", "40"},
       2, "surgekit ensemble: error: cannot read broken/srfparamsVelko.dat: "},
      {{"hazard", "--data", "broken", "storms.csv", "--coast", "0:600"}, 2,
       "surgekit hazard: error: cannot read broken/srfparamsVelko.dat: "},
      {{"run", "-"}, 1, "<stdin>:1: error:"},  // no header
#ifdef SURGE_KIT_FIT
      // fit checks its command line before reading the simulations (here an
      // empty standard input, which would be a data error, status 1).
      {{"fit", "-", "-o", "out", "--base", "nosuchdir"}, 2,
       "surgekit fit: error: --base: no folder nosuchdir"},
      {{"fit", "-", "-o", "cases.csv"}, 2,
       "surgekit fit: error: -o: cannot make the folder cases.csv: a file is in the way"},
      // Options that would do nothing in fit are refused.
      {{"fit", "-", "-o", "out", "--data", "."}, 2, "surgekit fit: error: The following argument"},
      {{"fit", "-", "-o", "out", "--strict"}, 2, "surgekit fit: error: --strict requires --base"},
      {{"fit", "-", "-o", "out", "--params", "-"}, 2,
       "surgekit fit: error: the statistics and --params both go to standard output"},
      {{"fit", "-", "-o", "out", "--starts", "-"}, 2,
       "surgekit fit: error: the statistics and --starts both go to standard output"},
      {{"fit", "nosuch.csv", "-o", "out"}, 2,
       "surgekit fit: error: cannot read nosuch.csv: No such file or directory"},
      // Its outputs are opened before the fit, which then never runs.
      {{"fit", "simulations.csv", "-o", "out", "--params", "nodir/p.csv"}, 2,
       "surgekit fit: error: cannot create nodir/p.csv: No such file or directory"},
      {{"fit", "-", "-o", "out"}, 1, "<stdin>:1: error:"},
#endif
  };
  for (const Row& r : rows) {
    const RunResult result = kit(r.args);
    std::string shown;
    for (const std::string& a : r.args) shown += a + " ";
    EXPECT_EQ(result.status, r.status) << shown << "\n" << result.err;
    EXPECT_EQ(result.err.rfind(r.first_line, 0), 0u) << shown << "\n" << result.err;
    const std::string command =
        r.args[0] == "chek" || r.args[0][0] == '-' ? "surgekit" : "surgekit " + r.args[0];
    EXPECT_EQ(misshapen(result.err, command), std::vector<std::string>{}) << shown;
    EXPECT_EQ(result.err.find(".partial-"), std::string::npos) << shown << result.err;
    EXPECT_EQ(result.err.find("e+308"), std::string::npos) << shown << result.err;
    if (r.status == 2) {
      EXPECT_EQ(result.out, "") << shown;
    }
  }
  // A refused fit leaves nothing behind: no folder, no coefficient files.
  EXPECT_FALSE(std::filesystem::exists(path("out")));
}

TEST_F(KitConventionsTest, AFailedWriteOfStandardOutputIsStatusTwoWithTheReason) {
  const std::vector<std::vector<std::string>> commands = {
      {"--help"},
      {"--version"},
      {"help"},
      {"help", "run"},
      {"run", "--help"},
      {"check"},
      {"run", "cases.csv"},
      {"diff", ".", "."},
      {"curve", "--location", "3", "--pressure", "930", "--radius", "30"},
      {"worst", "--pressure", "930", "--location", "3"},
      {"envelope", "--location", "1", "--pressures", "930:940:10"},
      {"report", "-o", "-", "--location", "3"},
      {"ensemble", "--landfall-km", "300", "--pressure", "935", "--radius", "35", "--samples",
       "50", "--sd-landfall", "40"},
      {"hazard", "storms.csv", "--coast", "0:600"},
      {"hazard", "storms.csv", "--coast", "0:600", "--curve", "-", "-o", "levels.csv"},
#ifdef SURGE_KIT_FIT
      {"fit", "simulations.csv", "-o", "refit", "--base", "."},
#endif
  };
  for (const std::vector<std::string>& args : commands) {
    std::string shown;
    for (const std::string& a : args) shown += a + " ";
    const RunResult result = kit_to_full_disk(args);
    EXPECT_EQ(result.status, 2) << shown << "\n" << result.err;
    const std::string who =
        args[0][0] == '-' ? "surgekit" : "surgekit " + args[0];
    const std::string line =
        who + ": error: cannot write standard output: No space left on device\n";
    EXPECT_NE(result.err.find(line), std::string::npos) << shown << "\n" << result.err;
    EXPECT_EQ(misshapen(result.err, who), std::vector<std::string>{}) << shown;
  }
  // The fit's statistics could not be written: its files are not either.
  EXPECT_FALSE(std::filesystem::exists(path("refit")));
}

// Each bounded option at its edge: the value just inside is accepted (0) and
// the value just outside refused (2) with the option named.
TEST_F(KitConventionsTest, EveryBoundedOptionAcceptsItsEdgeAndRefusesBeyond) {
  const std::vector<std::string> hazard = {"hazard", "storms.csv", "--coast", "0:600", "-o", "l.csv"};
  const std::vector<std::string> hazard_curve = {"hazard", "storms.csv", "--coast", "0:600",
                                                 "-o", "l.csv", "--curve", "c.csv"};
  const std::vector<std::string> ensemble = {"ensemble", "--landfall-km", "300", "--pressure",
                                             "935", "--radius", "35", "--sd-landfall", "40",
                                             "--samples", "50"};
  const std::vector<std::string> ensemble_few = {"ensemble", "--landfall-km", "300",
                                                 "--pressure", "935", "--radius", "35",
                                                 "--sd-landfall", "40"};
  const std::vector<std::string> worst = {"worst", "--pressure", "930"};
  const std::vector<std::string> envelope = {"envelope", "--radius-range", "30:30"};
  const std::vector<std::string> report = {"report", "--no-interactive", "-o", "r.html"};
  struct Row {
    const std::vector<std::string>* base;
    const char* option;
    const char* inside;   // accepted: status 0
    const char* outside;  // refused: status 2
  };
  const Row rows[] = {
      {&hazard, "--return-period", "1.001", "1"},
      {&hazard_curve, "--curve-step", "0.001", "0.0009"},
      {&hazard_curve, "--curve-step", "10", "10.001"},
      {&hazard, "--sigma-rel", "0", "-0.001"},
      {&ensemble, "--sd-radius", "0", "-0.001"},
      {&ensemble, "--sd-radius", "3", "3.001"},
      {&ensemble_few, "--samples", "1", "0"},
      {&report, "--worst-pressure", "1012", "1013"},
      {&worst, "--radius-range", "1:20", "0:20"},
      {&envelope, "--pressures", "1012:1012", "1013:1013"},
  };
  for (const Row& r : rows) {
    for (const bool inside : {true, false}) {
      std::vector<std::string> args = *r.base;
      args.push_back(r.option);
      args.push_back(inside ? r.inside : r.outside);
      const RunResult result = kit(args);
      const std::string shown = args[0] + " " + r.option + " " + args.back();
      EXPECT_EQ(result.status, inside ? 0 : 2) << shown << "\n" << result.err;
      if (!inside) {
        EXPECT_EQ(result.err.rfind("surgekit " + args[0] + ": error: " + r.option, 0), 0u)
            << shown << "\n" << result.err;
      }
    }
  }
}

// Every real option of every subcommand, as the program's own help lists them
// (CLI11's type FLOAT), refuses NaN and the infinities with status 2 and the
// option's name: a new real option is covered without a new row.
TEST_F(KitConventionsTest, EveryRealOptionRefusesNaNAndInfinity) {
  const std::string listing = kit({"--help"}).out;
  std::vector<std::string> commands;
  const std::regex command_line(R"(^  ([a-z]+) +\S.*)");
  size_t start = listing.find("\nSubcommands:\n");
  ASSERT_NE(start, std::string::npos) << listing;
  start = listing.find('\n', start + 1) + 1;
  for (size_t end; (end = listing.find('\n', start)) != std::string::npos && end > start;
       start = end + 1) {
    std::smatch m;
    const std::string line = listing.substr(start, end - start);
    if (std::regex_match(line, m, command_line)) commands.push_back(m[1]);
  }
  EXPECT_GE(commands.size(), 9u) << listing;
  const std::regex real_option(R"(^  (?:-\w,)?(--[a-z-]+) FLOAT\b.*)");
  std::vector<std::string> covered;
  for (const std::string& command : commands) {
    const std::string help = kit({"help", command}).out;
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);) {
      std::smatch m;
      if (!std::regex_match(line, m, real_option)) continue;
      const std::string option = m[1];
      covered.push_back(command + " " + option);
      for (const char* value : {"nan", "NaN", "inf", "-Infinity", "1e999"}) {
        const RunResult r = kit({command, option, value});
        EXPECT_EQ(r.status, 2) << command << " " << option << " " << value << "\n" << r.err;
        EXPECT_EQ(r.out, "") << command << " " << option << " " << value;
        EXPECT_EQ(r.err.rfind("surgekit " + command + ": error: " + option + ": ", 0), 0u)
            << command << " " << option << " " << value << "\n" << r.err;
      }
    }
  }
  // The options the parser's ranges let NaN through before.
  for (const char* named : {"curve --from", "curve --to", "curve --step", "ensemble --sd-radius",
                            "ensemble --sd-landfall", "hazard --curve-step",
                            "diff --distance-step", "worst --pressure", "report --plot-radius",
                            "hazard --return-period", "ensemble --threshold"}) {
    EXPECT_NE(std::find(covered.begin(), covered.end(), named), covered.end()) << named;
  }
}

TEST_F(KitConventionsTest, CheckWritesItsFindingsToStandardOutput) {
  const RunResult check = kit({"check", "--data", "broken"});
  EXPECT_EQ(check.status, 1);
  EXPECT_EQ(check.err, "");
  EXPECT_EQ(check.out.rfind("broken/srfparamsVelko.dat: error: cannot open the file: No such file "
                            "or directory\n",
                            0),
            0u)
      << check.out;
}

TEST_F(KitConventionsTest, HelpNamesTheSubcommandAsHelpDoes) {
  const RunResult help = kit({"help", "run"});
  ASSERT_EQ(help.status, 0) << help.err;
  EXPECT_EQ(help.out, kit({"run", "--help"}).out);
  EXPECT_NE(help.out.find("--timing"), std::string::npos);
  EXPECT_EQ(kit({"help"}).out, kit({"--help"}).out);
  EXPECT_NE(kit({"help", "envelope"}).out.find("FIRST:LAST or FIRST:LAST:STEP"), std::string::npos);
}

TEST_F(KitConventionsTest, DashIsStandardInputAndOutputForEveryFile) {
  // The storm set from standard input, the curve to standard output and the
  // levels to a file.
  const RunResult hazard =
      kit({"hazard", "-", "--coast", "0:600", "--curve", "-", "-o", "levels.csv"},
          read_file("storms.csv"));
  ASSERT_EQ(hazard.status, 0) << hazard.err;
  EXPECT_EQ(hazard.out.rfind("location,surge_m,rate_per_year,aep\n", 0), 0u);
  EXPECT_EQ(read_file("levels.csv").rfind("location,name,surge_10y_m,", 0), 0u);
  EXPECT_FALSE(std::filesystem::exists(path("-")));
  // The same levels whichever way they leave.
  const RunResult direct = kit({"hazard", "storms.csv", "--coast", "0:600"});
  EXPECT_EQ(direct.out, read_file("levels.csv"));

  const RunResult curve = kit({"curve", "--location", "3", "--pressure", "930", "--radius", "30",
                               "--svg", "-", "-o", "table.csv"});
  ASSERT_EQ(curve.status, 0) << curve.err;
  EXPECT_EQ(curve.out.find("location,"), std::string::npos);
  EXPECT_NE(curve.out.find("<svg"), std::string::npos);
  EXPECT_EQ(read_file("table.csv").rfind("location,distance_km,surge_m,", 0), 0u);

  const RunResult cases = kit({"run", "-", "-o", "-"}, read_file("cases.csv"));
  ASSERT_EQ(cases.status, 0) << cases.err;
  EXPECT_EQ(cases.out, kit({"run", "cases.csv"}).out);
  const RunResult report = kit({"report", "-o", "-", "--location", "3"});
  ASSERT_EQ(report.status, 0) << report.err;
  EXPECT_EQ(report.out.rfind("<!DOCTYPE html>", 0), 0u);
}

TEST_F(KitConventionsTest, RunRefusesAHeaderThatNamesAColumnTwice) {
  struct Row {
    const char* header;
    const char* first_line;
  } rows[] = {
      {"location,note,pressure_mb,radius_km,distance_km,note",
       "twice.csv:1:49: error: the header names twice the column note"},
      {"location,Note ,pressure_mb,radius_km,distance_km, note",
       "twice.csv:1:50: error: the header names twice the column Note"},
      {"location,pressure_mb,radius_km,distance_km,LOCATION",
       "twice.csv:1:44: error: the header names twice the column location"},
  };
  for (const Row& r : rows) {
    write_file("twice.csv", std::string(r.header) + "\n3,930,30,10,x,y\n");
    const RunResult twice = kit({"run", "twice.csv"});
    EXPECT_EQ(twice.status, 1) << r.header;
    EXPECT_EQ(twice.err, std::string(r.first_line) + "\n") << r.header;
    EXPECT_EQ(twice.out, "") << r.header;
  }
  // Columns without a name are passed on, as before.
  write_file("blank.csv", "location,pressure_mb,radius_km,distance_km,,\n3,930,30,10,,\n");
  EXPECT_EQ(kit({"run", "blank.csv"}).status, 0);
}

TEST_F(KitConventionsTest, RunRefusesToWriteOverItsInputOrToRepeatAColumn) {
  const std::string before = read_file("cases.csv");
  for (const char* output : {"cases.csv", "./cases.csv"}) {
    const RunResult same = kit({"run", "cases.csv", "-o", output});
    EXPECT_EQ(same.status, 2) << output;
    EXPECT_EQ(same.err.rfind(std::string("surgekit run: error: the output ") + output +
                                 " is the input cases.csv: run would write over its own cases",
                             0),
              0u)
        << same.err;
    EXPECT_EQ(read_file("cases.csv"), before);
  }
  std::filesystem::create_hard_link(path("cases.csv"), path("linked.csv"));
  EXPECT_EQ(kit({"run", "cases.csv", "-o", "linked.csv"}).status, 2);
  EXPECT_EQ(read_file("cases.csv"), before);

  // Its own output as input: each added column is refused at its place.
  ASSERT_EQ(kit({"run", "cases.csv", "-o", "once.csv"}).status, 0);
  const RunResult twice = kit({"run", "once.csv", "-o", "twice.csv"});
  EXPECT_EQ(twice.status, 1);
  EXPECT_FALSE(std::filesystem::exists(path("twice.csv")));
  const size_t width = std::count(before.begin(), before.begin() + before.find('\n'), ',') + 1;
  const std::string first = "once.csv:1:" + std::to_string(width + 1) +
                            ": error: the input has a column \"surge_m\", which run adds to every "
                            "row: rename or remove it (the input may be an earlier output of run)\n";
  EXPECT_EQ(twice.err.rfind(first, 0), 0u) << twice.err;
  EXPECT_EQ(std::count(twice.err.begin(), twice.err.end(), '\n'), 6) << twice.err;
  // A clash is found whatever the case or blanks of the name.
  write_file("clash.csv", "location,pressure_mb,radius_km,distance_km, Side \n3,930,30,10,x\n");
  const RunResult clash = kit({"run", "clash.csv"});
  EXPECT_EQ(clash.status, 1);
  EXPECT_EQ(clash.err.rfind("clash.csv:1:5: error: the input has a column \" Side \"", 0), 0u)
      << clash.err;
  EXPECT_EQ(clash.out, "");
}

TEST_F(KitConventionsTest, DiffExitsOneWhenTheSetsDifferBeyondItsTolerance) {
  std::filesystem::create_directory(path("same"));
  std::filesystem::create_directory(path("lower"));
  for (const char* name : {"srfparamsVelko.dat", "pslope.dat"}) {
    std::filesystem::copy_file(path(name), path(std::string("same/") + name));
  }
  std::string slope = read_file("pslope.dat");
  write_file("lower/srfparamsVelko.dat", read_file("srfparamsVelko.dat"));
  const RunResult same = kit({"diff", ".", "same", "--pressure-step", "35", "--radius-step", "27",
                              "--distance-step", "20"});
  EXPECT_EQ(same.status, 0) << same.err;
  EXPECT_EQ(same.err,
            "surgekit diff: note: no case changes at every location, so largest_change_m is 0 "
            "and the fields of the case are empty\n");

  // The same set with location 1's slope set to 0: only location 1 changes.
  const size_t end = slope.find('\n');
  std::string first = slope.substr(0, end);
  const size_t last_blank = first.find_last_of(" \t");
  first = first.substr(0, last_blank + 1) + "0";
  write_file("lower/pslope.dat", first + slope.substr(end));
  const std::vector<std::string> grid = {"--pressure-step", "35", "--radius-step", "27",
                                         "--distance-step", "20"};
  std::vector<std::string> args = {"diff", ".", "lower"};
  args.insert(args.end(), grid.begin(), grid.end());
  const RunResult changed = kit(args);
  ASSERT_EQ(changed.status, 1) << changed.err;
  EXPECT_EQ(changed.err,
            "surgekit diff: note: no case changes at locations 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, "
            "12, 13, 14, 15, 16, 17, 18, 19, 20, so largest_change_m is 0 and the fields of the "
            "case are empty\n"
            "surgekit diff: the sets differ by more than 0 m at 1 location\n");
  // Location 1's change is signed: new minus old.
  const std::string row1 = changed.out.substr(changed.out.find("\n1,") + 3);
  const double largest = std::stod(row1.substr(0, row1.find(',')));
  const size_t old_at = row1.find(',') + 1;
  const double old_surge = std::stod(row1.substr(old_at));
  const double new_surge = std::stod(row1.substr(row1.find(',', old_at) + 1));
  EXPECT_EQ(largest, new_surge - old_surge);
  EXPECT_NE(largest, 0);

  args.insert(args.end(), {"--tolerance", std::to_string(std::abs(largest))});
  const RunResult tolerated = kit(args);
  EXPECT_EQ(tolerated.status, 0) << tolerated.err;
  args.back() = std::to_string(std::abs(largest) * 0.999);
  EXPECT_EQ(kit(args).status, 1);
}

TEST_F(KitConventionsTest, OptionsAreTakenOnceAndRangesKeepTheirEnd) {
  const RunResult envelope = kit({"envelope", "--location", "1", "--pressures", "890:960:100"});
  ASSERT_EQ(envelope.status, 0) << envelope.err;
  EXPECT_EQ(std::count(envelope.out.begin(), envelope.out.end(), '\n'), 3);
  EXPECT_NE(envelope.out.find("\n1,890,"), std::string::npos);
  EXPECT_NE(envelope.out.find("\n1,960,"), std::string::npos);

  const std::vector<std::string> forecast = {"ensemble", "--landfall-km", "300", "--pressure",
                                             "935", "--radius", "35", "--samples", "50"};
  std::vector<std::string> args = forecast;
  args.insert(args.end(), {"--threshold", "1.5", "--threshold", "1.5", "--threshold", "0.5"});
  const RunResult ensemble = kit(args);
  ASSERT_EQ(ensemble.status, 0) << ensemble.err;
  const std::string header = ensemble.out.substr(0, ensemble.out.find('\n'));
  EXPECT_EQ(header,
            "location,name,samples_kept,left_out_share,surge_median_m,surge_p10_m,surge_p90_m,"
            "p_surge_above_1.5_m,p_surge_above_0.5_m,low_chord_m,p_surge_over_low_chord");
  EXPECT_EQ(ensemble.err.rfind("surgekit ensemble: note: no --sd-landfall, --sd-pressure or "
                               "--sd-radius above 0: every sample is the forecast storm itself, "
                               "so all samples are the same\n",
                               0),
            0u)
      << ensemble.err;
  args.insert(args.end(), {"--sd-radius", "0.2"});
  EXPECT_EQ(kit(args).err.find("all samples are the same"), std::string::npos);
}

TEST_F(KitConventionsTest, RatesAndChancesHaveSixSignificantDigitsInPlainDecimals) {
  const RunResult levels = kit({"hazard", "storms.csv", "--coast", "0:600", "--curve", "c.csv"});
  ASSERT_EQ(levels.status, 0) << levels.err;
  const std::regex chance(R"(^(0|[1-9]\d*)(\.\d+)?$)");
  auto significant_digits = [](const std::string& field) {
    std::string digits;
    for (char c : field) {
      if (c >= '0' && c <= '9') digits.push_back(c);
    }
    digits.erase(0, digits.find_first_not_of('0'));
    return digits.size();
  };
  const std::string curve = read_file("c.csv");
  size_t start = curve.find('\n') + 1, checked = 0;
  while (start < curve.size()) {
    const std::string line = curve.substr(start, curve.find('\n', start) - start);
    start += line.size() + 1;
    const size_t a = line.find(',', line.find(',') + 1) + 1;
    const size_t b = line.find(',', a) + 1;
    for (const std::string& field : {line.substr(a, b - a - 1), line.substr(b)}) {
      ASSERT_TRUE(std::regex_match(field, chance)) << line;
      ASSERT_LE(significant_digits(field), 6u) << line;
      ++checked;
    }
  }
  EXPECT_GT(checked, 100u);
}

}  // namespace
}  // namespace surge_test
