// Whole-program tests of free-form input: answers at the prompts and the
// layouts of the two data files.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "program_runner.h"

namespace surge_test {
namespace {

class InputProgramTest : public ProgramTest {
 protected:
  // Parameter rows that differ by location, so that a group read out of place
  // changes the result: row i scales the example's amplitudes.
  static std::vector<std::vector<std::string>> parameter_rows() {
    std::vector<std::vector<std::string>> rows;
    for (int i = 1; i <= 20; ++i) {
      const std::string a = std::to_string(i) + ".25";
      rows.push_back({a,     "1.0", "2.0", "0.5", "3.0",  "1.0", "0.25", "0.0", "4.0", "1.0", "15.0",
                      "2.0", "0.8", "-1.0", "1.5", "0.4", "-3.0", "1.0", "0.2", "0.5", "2.0"});
    }
    return rows;
  }
  // The rows written with `per_line(k)` numbers on the k-th line of each
  // group, lines ended by `eol`.
  static std::string parameter_file(const std::vector<std::vector<std::string>>& rows,
                                    std::vector<int> per_line, const std::string& eol) {
    std::string text;
    for (const auto& row : rows) {
      size_t n = 0;
      for (size_t line = 0; n < row.size(); ++line) {
        const size_t take = per_line[line % per_line.size()];
        for (size_t k = 0; k < take && n < row.size(); ++k) text += row[n++] + " ";
        text += eol;
      }
    }
    return text;
  }
  static std::string slope_file(const std::string& eol) {
    std::string text;
    for (int i = 1; i <= 20; ++i) text += "0." + std::to_string(i) + " 7" + eol;
    return text;
  }
  // Two cases, at locations 5 and 20; the report depends on both groups.
  static std::string two_cases() {
    return answers({"5", "950", "30", "60", "1", "20", "940", "40", "25", "0"});
  }
  // The output of the two cases with the plain layout: 20 lines of 21 numbers.
  RunResult plain_run() {
    write_file("srfparamsVelko.dat", parameter_file(parameter_rows(), {21}, "\n"));
    write_file("pslope.dat", slope_file("\n"));
    return run(two_cases());
  }

  // Reports without the call-stack listing.
  static RunOptions quiet() {
    RunOptions options;
    options.env = {"FOR_DISABLE_STACK_TRACE=1"};
    return options;
  }

  static int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }
};

TEST_F(InputProgramTest, BlankLinesAtAPromptAreSkippedWithoutANewPrompt) {
  write_example_data();
  RunResult r = run(answers({"", "   ", "\t", "5", "950", "", "30", "60", "0"}));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(count(r.out, "Enter location number"), 1);
  EXPECT_EQ(count(r.out, "Enter hurricane radius"), 1);
  EXPECT_NE(r.out.find("Evaluated at a location of bridge No.      5"), std::string::npos);
}

TEST_F(InputProgramTest, AnAnswerLineGivesItsFirstValueOnly) {
  write_example_data();
  for (const char* line : {"5 6", "5,6", "5, 6 7", "  5/"}) {
    RunResult r = run(answers({line, "950 3", "30,31", "60", "0"}));
    EXPECT_EQ(r.status, 0) << line << r.err;
    const std::string report = without_cr(r.out);
    EXPECT_NE(report.find("location of bridge No.      5\n"), std::string::npos) << line;
    EXPECT_NE(report.find("(Cp):         950mb"), std::string::npos) << line;
    EXPECT_NE(report.find("(Rp):          30km"), std::string::npos) << line;
  }
}

TEST_F(InputProgramTest, NullAnswersKeepThePreviousCaseValues) {
  write_example_data();
  RunResult r = run(answers({"5", "950", "30", "60", "1",  //
                             ",", "/", "2*", "3*7", "0"}));
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string out = without_cr(r.out);
  const size_t second = out.find("Run another case?");
  ASSERT_NE(second, std::string::npos);
  const std::string case2 = out.substr(second);
  EXPECT_NE(case2.find("location of bridge No.      5\n"), std::string::npos) << case2;
  EXPECT_NE(case2.find("(Cp):         950mb"), std::string::npos);
  EXPECT_NE(case2.find("(Rp):          30km"), std::string::npos);
  EXPECT_NE(case2.find("making landfall   7km"), std::string::npos);
}

TEST_F(InputProgramTest, SyntaxAndRangeErrorsEndTheRun) {
  write_example_data();
  struct Row {
    std::vector<std::string_view> lines;
    int status;
    const char* message;
  };
  const Row rows[] = {
      {{"5", "950", "30", "60", "Y"}, 59, "forrtl: severe (59): list-directed I/O syntax error, unit -4, file CONIN$"},
      {{"70000"}, 64, "forrtl: severe (64): input conversion error, unit -4, file CONIN$"},
      {{"65537.0"}, 64, "forrtl: severe (64): input conversion error, unit -4, file CONIN$"},
      {{"5", "1E10"}, 64, "forrtl: severe (64): input conversion error, unit -4, file CONIN$"},
      {{"5", "950", "30", "'60'"}, 64, "forrtl: severe (64): input conversion error, unit -4, file CONIN$"},
      {{"5", "950"}, 24, "forrtl: severe (24): end-of-file during read, unit -4, file CONIN$"},
  };
  for (const Row& row : rows) {
    std::string input;
    for (std::string_view line : row.lines) input += std::string(line) + "\n";
    RunResult r = run(input, quiet());
    EXPECT_EQ(r.status, row.status) << input;
    EXPECT_EQ(r.err.substr(0, r.err.find_first_of("\r\n")), row.message) << input;
  }
}

TEST_F(InputProgramTest, RealFormLocationsTruncateWhenTheyFit) {
  write_example_data();
  RunResult r = run(answers({"7.9", "950", "30", "60", "0"}));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(without_cr(r.out).find("location of bridge No.      7\n"), std::string::npos);
}

TEST_F(InputProgramTest, DataFileLayoutsReadTheSameAsThePlainOne) {
  const RunResult plain = plain_run();
  ASSERT_EQ(plain.status, 0) << plain.err;
  struct Layout {
    const char* name;
    std::string parameters;
    std::string slopes;
  };
  const auto rows = parameter_rows();
  std::string blank_lines = "\n  \n";
  for (const auto& row : rows) {
    for (const auto& v : row) blank_lines += v + " ";
    blank_lines += "\n\n\t\n";
  }
  std::string no_last_terminator = parameter_file(rows, {21}, "\n");
  no_last_terminator.pop_back();
  std::string slopes_no_terminator = slope_file("\n");
  slopes_no_terminator.pop_back();
  std::string extra_numbers;
  for (const auto& row : rows) {
    for (const auto& v : row) extra_numbers += v + " ";
    extra_numbers += "9 9 9 9\n";
  }
  const Layout layouts[] = {
      {"CR LF lines", parameter_file(rows, {21}, "\r\n"), slope_file("\r\n")},
      {"blank lines", blank_lines, "\n" + slope_file("\n\n")},
      {"no last terminator", no_last_terminator, slopes_no_terminator},
      {"40 lines of 10 and 11", parameter_file(rows, {10, 11}, "\n"), slope_file("\n")},
      {"25 numbers a line", extra_numbers, slope_file("\n")},
      {"commas", parameter_file(rows, {21}, ",\n"), slope_file(",\n")},
  };
  for (const Layout& layout : layouts) {
    write_file("srfparamsVelko.dat", layout.parameters);
    write_file("pslope.dat", layout.slopes);
    RunResult r = run(two_cases());
    EXPECT_EQ(r.status, 0) << layout.name << r.err;
    EXPECT_EQ(r.out, plain.out) << layout.name;
  }
  // The check itself can see a group out of place.
  write_file("srfparamsVelko.dat", "\n" + parameter_file(rows, {21}, "\n").substr(
                                              parameter_file(rows, {21}, "\n").find('\n') + 1) +
                                       parameter_file(rows, {21}, "\n").substr(0, 200));
  RunResult shifted = run(two_cases());
  EXPECT_NE(shifted.out, plain.out);
}

TEST_F(InputProgramTest, NineteenGroupsEndWithEndOfFileOnUnitOne) {
  const auto rows = parameter_rows();
  const std::vector<std::vector<std::string>> nineteen(rows.begin(), rows.end() - 1);
  write_file("srfparamsVelko.dat", parameter_file(nineteen, {21}, "\n"));
  write_file("pslope.dat", slope_file("\n"));
  RunResult r = run(two_cases(), quiet());
  EXPECT_EQ(r.status, 24);
  EXPECT_NE(r.err.find("end-of-file during read, unit 1, file " + path("srfparamsVelko.dat")),
            std::string::npos)
      << r.err;
}

// Runs the program, answering case 1, then calls `between` once the question
// for another case is out, and answers case 2.
std::string run_two_cases_with_pause(const std::string& dir, const std::string& case1,
                                     const std::string& case2, const std::function<void()>& between) {
  int in[2];
  int out[2];
  if (pipe(in) != 0 || pipe(out) != 0) return "pipe failed";
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    for (int fd = 3; fd < 256; ++fd) close(fd);
    if (chdir(dir.c_str()) != 0) _exit(127);
    execl(program_path(), program_path(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  std::string output;
  bool paused = false;
  if (write(in[1], case1.data(), case1.size()) != static_cast<ssize_t>(case1.size())) return "write";
  char buf[4096];
  for (;;) {
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, 30000) <= 0) break;
    ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    output.append(buf, n);
    if (!paused && output.find("Run another case?") != std::string::npos) {
      paused = true;
      between();
      if (write(in[1], case2.data(), case2.size()) != static_cast<ssize_t>(case2.size())) break;
      close(in[1]);
    }
  }
  if (!paused) close(in[1]);
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return output;
}

TEST_F(InputProgramTest, ASlashEndsAGroupAndKeepsThePreviousLoadsValues) {
  const auto rows = parameter_rows();
  const std::string full = parameter_file(rows, {21}, "\n");
  // Group 5 ends after its first two numbers: the rest keeps what the last
  // load put there.
  std::string slashed;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (i == 4) {
      slashed += rows[i][0] + " " + rows[i][1] + " / 99 99\n";
    } else {
      for (const auto& v : rows[i]) slashed += v + " ";
      slashed += "\n";
    }
  }
  write_file("pslope.dat", slope_file("\n"));
  write_file("srfparamsVelko.dat", full);
  const std::string one_case = answers({"5", "950", "30", "60", "1"});
  const std::string output = run_two_cases_with_pause(
      dir_, one_case, answers({"5", "950", "30", "60", "0"}),
      [&] { write_file("srfparamsVelko.dat", slashed); });
  const std::string landfall = "making landfall  60km away to the LEFT  side of a bridge location No.      5 is";
  const size_t first = output.find(landfall);
  ASSERT_NE(first, std::string::npos) << output;
  const size_t second = output.find(landfall, first + 1);
  ASSERT_NE(second, std::string::npos) << output;
  const std::string case1 = output.substr(first, output.find('\n', first) - first);
  const std::string case2 = output.substr(second, output.find('\n', second) - second);
  EXPECT_EQ(case1, case2);
  // In a fresh run the same file leaves those columns at zero: another result.
  RunResult fresh = run(answers({"5", "950", "30", "60", "0"}));
  const size_t at = fresh.out.find(landfall);
  ASSERT_NE(at, std::string::npos) << fresh.out << fresh.err;
  EXPECT_NE(fresh.out.substr(at, fresh.out.find('\n', at) - at), case1);
}

TEST_F(InputProgramTest, PipedAnswersLeaveTheRestOfTheFileUnread) {
  write_example_data();
  write_file("answers", answers({"5", "950", "30", "60", "0", "left for the next reader"}));
  const std::string command = "cd '" + dir_ + "' && ('" + program_path() +
                              "'; cat) < answers > out 2> err";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string out = read_file("out");
  EXPECT_NE(out.find("End of program.\r\nleft for the next reader\n"), std::string::npos) << out;
}

}  // namespace
}  // namespace surge_test
