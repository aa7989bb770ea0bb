// Whole-program tests of `surgekit fit` on the example simulations: the files
// it writes are read by the calculator as `surgekit run` reads them, are
// clean to `surgekit check`, and are the same bytes on one thread or two;
// faults end with the documented statuses and messages.
#include <filesystem>
#include <string>
#include <vector>

#include "program_runner.h"

namespace surge_test {
namespace {

const std::string kSimulations = std::string(SURGE_EXAMPLES_DIR) + "/simulations.csv";

class FitCommandTest : public ProgramTest {
 protected:
  RunResult surgekit(std::vector<std::string> args) {
    RunOptions options;
    options.program = SURGEKIT_PROGRAM;
    options.args = std::move(args);
    options.timeout_seconds = 300;
    return run("", options);
  }
};

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

std::string trimmed(std::string s) {
  s.erase(0, s.find_first_not_of(' '));
  return s;
}

TEST_F(FitCommandTest, TheCalculatorReadsTheFittedFilesAsSurgekitRunDoes) {
  const RunResult fit = surgekit({"fit", kSimulations, "-o", path("fitted"), "--note", "a test"});
  ASSERT_EQ(fit.status, 0) << fit.err;
  // The statistics: a header and one row per location.
  ASSERT_EQ(lines_of(fit.out).size(), 21u) << fit.out;
  EXPECT_EQ(fit.out.rfind("location,source,rows,", 0), 0u);
  // Locations 18 to 20 see only landfalls west of the bridge: too few RIGHT rows.
  for (int location : {18, 19, 20}) {
    EXPECT_NE(fit.err.find("surgekit fit: warning: location " + std::to_string(location) +
                           ": the RIGHT curve has "),
              std::string::npos)
        << fit.err;
  }

  // The check says nothing of the note fit leaves after the groups (its
  // other notes are on the fitted curves' jumps).
  const RunResult check = surgekit({"check", "--data", path("fitted")});
  EXPECT_EQ(check.status, 0);
  EXPECT_EQ(check.out.find("after the 20th group"), std::string::npos) << check.out;
  EXPECT_NE(check.out.find("20 of 20 locations read: 0 errors, 0 warnings"), std::string::npos)
      << check.out;

  // Kept from the base at 18 to 20, the RIGHT curves jump no more than the
  // example set's: nothing at all to say.
  ASSERT_EQ(surgekit({"fit", kSimulations, "-o", path("based"), "--base", SURGE_EXAMPLES_DIR}).status,
            0);
  const RunResult based = surgekit({"check", "--data", path("based")});
  EXPECT_EQ(based.status, 0);
  EXPECT_EQ(based.out.find("note:"), std::string::npos) << based.out;
  EXPECT_NE(based.out.find("20 of 20 locations read: 0 errors, 0 warnings, 0 notes"),
            std::string::npos)
      << based.out;

  // The report on the fitted set compares the rows on a fitted curve: fit's
  // rows less those beyond the curves.
  const RunResult report = surgekit(
      {"report", "--data", path("fitted"), "--sims", kSimulations, "-o", path("report.html")});
  ASSERT_EQ(report.status, 0) << report.err;
  const std::string page = read_file(path("report.html"));
  const std::vector<std::string> stats = lines_of(fit.out);
  for (int location = 1; location <= 20; ++location) {
    // location,source,rows,...,x_max,rms_m,bias_m,max_abs_error_m,...
    std::vector<std::string> f;
    size_t start = 0;
    const std::string& line = stats[location];
    for (size_t end; (end = line.find(',', start)) != std::string::npos; start = end + 1) {
      f.push_back(line.substr(start, end - start));
    }
    const std::string on_curves = std::to_string(std::stoi(f[2]) - std::stoi(f[6]));
    const std::string row = "<tr><td>" + f[0] + "</td><td>" + on_curves +
                            "</td><td class=\"text\">all " + on_curves + "</td><td>";
    if (f[6] == "0") {  // no row beyond: the same errors as fit states
      EXPECT_NE(page.find(row + f[14] + "</td><td>" + f[15] + "</td><td>" + f[16] + "</td></tr>"),
                std::string::npos)
          << row;
    }
    EXPECT_NE(page.find(row), std::string::npos) << row;
  }

  // Cases on every curve, beyond them, and in the small-radius shift.
  const std::vector<std::vector<std::string>> cases = {
      {"1", "950", "30", "60"},   {"7", "900", "40", "-100"}, {"7", "930", "20", "10"},
      {"12", "890", "65", "900"}, {"17", "960", "11", "-60"}, {"19", "920", "50", "5"},
      {"20", "940", "25", "400"}, {"3", "910", "15", "500"},  {"5", "955", "50", "-400"}};
  std::string answers, csv = "location,pressure_mb,radius_km,distance_km\n";
  for (size_t i = 0; i < cases.size(); ++i) {
    for (const std::string& answer : cases[i]) answers += answer + "\n";
    answers += i + 1 < cases.size() ? "1\n" : "0\n";
    csv += cases[i][0] + "," + cases[i][1] + "," + cases[i][2] + "," + cases[i][3] + "\n";
  }
  write_file("cases.csv", csv);
  RunOptions in_fitted;
  in_fitted.cwd = path("fitted");
  const RunResult calculator = run(answers, in_fitted);
  ASSERT_EQ(calculator.status, 0) << calculator.err;
  std::vector<std::string> printed;
  for (const std::string& line : lines_of(without_cr(calculator.out))) {
    const std::string head = "A peak surge= ";
    const size_t at = line.find(head);
    if (at != std::string::npos) printed.push_back(trimmed(line.substr(at + head.size(), 4)));
  }
  const RunResult kit = surgekit({"run", "--data", path("fitted"), path("cases.csv")});
  ASSERT_EQ(kit.status, 0) << kit.err;
  const std::vector<std::string> rows = lines_of(kit.out);
  ASSERT_EQ(printed.size(), cases.size()) << calculator.out;
  ASSERT_EQ(rows.size(), cases.size() + 1);
  for (size_t i = 0; i < cases.size(); ++i) {
    // location,pressure_mb,radius_km,distance_km,surge_m,surge_report,...
    std::string report = rows[i + 1];
    for (int field = 0; field < 5; ++field) report.erase(0, report.find(',') + 1);
    report.erase(report.find(','));
    EXPECT_EQ(printed[i], report) << "case " << i;
  }

  // The notes after the 20th group name the input by its digest.
  RunOptions sha;
  sha.program = "/usr/bin/sha256sum";
  sha.args = {kSimulations};
  const RunResult digest = run("", sha);
  ASSERT_EQ(digest.status, 0);
  const std::string parameters = read_file(path("fitted/srfparamsVelko.dat"));
  EXPECT_NE(parameters.find("\n\nFitted by surgekit fit to simulations of SHA-256 " +
                            digest.out.substr(0, 64) + "\nRows of simulations: 4000\nNote: a test\n"),
            std::string::npos)
      << parameters;
  EXPECT_NE(read_file(path("fitted/pslope.dat")).find("\nNote: a test\n"), std::string::npos);
}

TEST_F(FitCommandTest, OneThreadOrTwoGiveTheSameBytes) {
  const RunResult one = surgekit({"fit", kSimulations, "-o", path("one"), "--threads", "1",
                                  "--params", path("one.csv")});
  const RunResult two = surgekit({"fit", kSimulations, "-o", path("two"), "--threads", "2",
                                  "--params", path("two.csv")});
  ASSERT_EQ(one.status, 0);
  ASSERT_EQ(two.status, 0);
  EXPECT_EQ(one.out, two.out);
  EXPECT_EQ(one.err, two.err);
  for (const char* name : {"srfparamsVelko.dat", "pslope.dat"}) {
    EXPECT_EQ(read_file(path(std::string("one/") + name)),
              read_file(path(std::string("two/") + name)));
  }
  const std::string params = read_file(path("one.csv"));
  EXPECT_EQ(params, read_file(path("two.csv")));
  EXPECT_EQ(lines_of(params).size(), 1u + 20 * 22);
  EXPECT_EQ(params.rfind("location,coefficient,value,std_error\n1,left_amp1,", 0), 0u);
}

TEST_F(FitCommandTest, FaultsEndWithTheirStatusAndNothingWritten) {
  const RunResult missing = surgekit({"fit", path("none.csv"), "-o", path("out")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err.rfind("surgekit fit: error: cannot read " + path("none.csv"), 0), 0u) << missing.err;

  write_file("bad.csv",
             "location,pressure_mb,radius_km,distance_km,surge_m\n7,950,30,60,1.5\n7,1013,30,60,1\n");
  const RunResult bad = surgekit({"fit", path("bad.csv"), "-o", path("out")});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err, path("bad.csv") + ":3:3: error: pressure_mb: \"1013\" is not a pressure above 0 "
                                       "and below 1013 mb\n");
  EXPECT_FALSE(std::filesystem::exists(path("out")));

  const RunResult stopped =
      surgekit({"fit", kSimulations, "-o", path("out"), "--max-iterations", "1"});
  EXPECT_EQ(stopped.status, 1);
  EXPECT_NE(stopped.err.find("surgekit fit: error: location 1: the fit does not converge"),
            std::string::npos)
      << stopped.err;
  EXPECT_NE(stopped.err.find("surgekit fit: no coefficient files written"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(path("out")));

  write_file("plain", "");
  const RunResult unwritable = surgekit({"fit", kSimulations, "-o", path("plain/out")});
  EXPECT_EQ(unwritable.status, 2);
  EXPECT_EQ(unwritable.err, "surgekit fit: error: -o: cannot make the folder " + path("plain/out") +
                                ": a file is in the way\n"
                                "surgekit fit: run \"surgekit fit --help\" for its options\n");
}

}  // namespace
}  // namespace surge_test
