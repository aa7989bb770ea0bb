// Whole-program tests of console output: the exact bytes of records, report
// fields rendered from chosen coefficients, and what happens when the output
// cannot be written (a vanished pipe reader, a full device) or goes to a
// terminal.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "model/site_table.h"
#include "model/surge.h"
#include "program_runner.h"

extern char** environ;

namespace surge_test {
namespace {

const std::string kCrLf = "\r\n";

// The records of an output, split at CR LF. Fails the test when a record
// holds a stray CR or LF or the output does not end with CR LF.
std::vector<std::string> records_of(const std::string& out) {
  std::vector<std::string> records;
  size_t at = 0;
  while (at < out.size()) {
    size_t end = out.find(kCrLf, at);
    if (end == std::string::npos) {
      ADD_FAILURE() << "output does not end with CR LF: |" << out.substr(at) << "|";
      break;
    }
    std::string record = out.substr(at, end - at);
    EXPECT_EQ(record.find_first_of("\r\n"), std::string::npos) << "|" << record << "|";
    records.push_back(record);
    at = end + 2;
  }
  return records;
}

// ---- Coefficients chosen for a surge --------------------------------------
//
// All 20 locations get the same row. The three LEFT Gaussians are centred at
// 0 with a width of 1e30, so each one is exactly 1 for any moderate X, and the
// response is the sum of the three amplitudes. The RIGHT curve is zero and the
// tail curve is set per test.
struct Coefficients {
  float left_amp[3] = {0, 0, 0};
  float tail_norm = 1, tail_centre = 15, tail_scale = 2;
  float slope = 0;
};

std::string float_text(float f) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(f));
  return text;
}

std::string parameter_line(const Coefficients& c) {
  // clang-format off
  const float row[21] = {
      c.left_amp[0], 0, 1e30f,  c.left_amp[1], 0, 1e30f,  c.left_amp[2], 0, 1e30f,  // LEFT
      c.tail_norm, c.tail_centre, c.tail_scale,                                  // tail
      0, -1, 1,  0, -3, 1,  0, 0.5, 2,                                           // RIGHT
  };
  // clang-format on
  std::string line;
  for (float value : row) line += float_text(value) + " ";
  line.back() = '\n';
  return line;
}

// The surge that the model gives these coefficients, computed in this process
// by the same evaluation as the program's.
double model_surge(const Coefficients& c, const surge::CaseInput& input) {
  static surge::SiteTable table;
  for (int k = 1; k <= surge::kLocations; ++k) {
    table.left_amp1[k] = c.left_amp[0];
    table.left_centre1[k] = 0;
    table.left_width1[k] = 1e30f;
    table.left_amp2[k] = c.left_amp[1];
    table.left_centre2[k] = 0;
    table.left_width2[k] = 1e30f;
    table.left_amp3[k] = c.left_amp[2];
    table.left_centre3[k] = 0;
    table.left_width3[k] = 1e30f;
    table.tail_norm[k] = c.tail_norm;
    table.tail_centre[k] = c.tail_centre;
    table.tail_scale[k] = c.tail_scale;
    table.right_amp1[k] = table.right_amp2[k] = table.right_amp3[k] = 0;
    table.right_centre1[k] = -1;
    table.right_width1[k] = 1;
    table.right_centre2[k] = -3;
    table.right_width2[k] = 1;
    table.right_centre3[k] = 0.5f;
    table.right_width3[k] = 2;
    table.slope[k] = c.slope;
  }
  return surge::evaluate_surge(input, table).surge_m;
}

// Coefficients for which the model's surge is exactly `target` for a case at
// the given distance and radius, trying pressures from 950 mb down. The factor
// n = slope + response is split into a single-precision slope and amplitudes
// that add up to it exactly. Sets *pressure to the pressure used.
bool coefficients_for_exact_surge(double target, int16_t location, int32_t radius, double distance,
                                  Coefficients* c, int32_t* pressure) {
  for (int32_t p = 950; p > 900; --p) {
    surge::CaseInput input{location, p, radius, distance};
    Coefficients unit;
    unit.slope = 1;
    const double m = model_surge(unit, input);  // 0.5 h^2 exactly
    double n = target / m;
    for (int k = 0; k < 8; ++k) n = std::nextafter(n, 0.0);
    for (int k = 0; k < 16; ++k, n = std::nextafter(n, INFINITY)) {
      if (m * n != target) continue;
      Coefficients found;
      found.slope = static_cast<float>(n);
      // volatile: g++ 12.2 at -O2 miscompiles this split when its SLP
      // vectorizer pairs the steps (the residual comes out as zero).
      volatile double rest = n - found.slope;
      for (float& amp : found.left_amp) {
        amp = static_cast<float>(rest);
        rest = rest - amp;
      }
      if (model_surge(found, input) == target) {
        *c = found;
        *pressure = p;
        return true;
      }
    }
  }
  return false;
}

class OutputProgramTest : public ProgramTest {
 protected:
  void write_data(const Coefficients& c) {
    std::string parameters, slopes;
    for (int k = 0; k < 20; ++k) {
      parameters += parameter_line(c);
      slopes += float_text(c.slope) + "\n";
    }
    write_file("srfparamsVelko.dat", parameters);
    write_file("pslope.dat", slopes);
  }
};

// ---- Exact bytes -----------------------------------------------------------

TEST_F(OutputProgramTest, WholeCaseByteForByte) {
  write_example_data();
  RunResult r = run(answers({"5", "950", "30", "60", "0"}));
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string banner_rule = " " + std::string(78, '-') + kCrLf;
  // The banner: 24 free-form records, its empty ones the bytes 32 13 10.
  ASSERT_TRUE(r.out.starts_with(banner_rule + " \r\n")) << r.out.substr(0, 200);
  std::vector<std::string> records = records_of(r.out);
  ASSERT_GT(records.size(), 24u);
  for (size_t i = 0; i < 24; ++i) {
    EXPECT_EQ(records[i][0], ' ') << "banner row " << i + 1;
    EXPECT_LE(records[i].size(), 80u) << "banner row " << i + 1;
  }
  EXPECT_EQ(records[23] + kCrLf, banner_rule);

  const std::string after_banner =
      " Enter location number near the bridge of interest\r\n"
      " (integer only, between 1 and 20)\r\n"
      " [refer to Quillon_Site_Grid.pdf for bridge locations and numbers] \r\n"
      "\r\n"
      "Enter expected lowest central pressure of the hurricane in [mb]\r\n"
      "(integer only, between 890 and 960 mb)\r\n"
      "\r\n"
      "Enter hurricane radius [center to the maximum wind speed] in [km] \r\n"
      "(integer only, between 11 and 65 km)\r\n"
      "\r\n"
      "Enter distance between hurricane landfall and location of the bridge in [km]\r\n"
      "(+) for bridge located on the right (east) side of the hurricane landfall\r\n"
      "(-) for bridge located on the left (west) side of the hurricane landfall\r\n"
      "A peak surge=  0.3 m\r\n"
      " \r\n"
      " " +
      std::string(77, '-') +
      "\r\n"
      " \r\n"
      "Evaluated at a location of bridge No.      5\r\n"
      "A peak surge level forced by a hurricane\r\n"
      "with the lowest central intensity (Cp):         950mb, \r\n"
      "Radius (Rp):          30km, and\r\n"
      "making landfall  60km away to the LEFT  side of a bridge location No.      5 is 0.3 m\r\n"
      " \r\n"
      " " +
      std::string(78, '-') +
      "\r\n"
      " \r\n"
      " Note!! A peak surge level evaluated through this program ONLY takes the effect\r\n"
      " of hurricane meteorological forcing into account.\r\n"
      " It does NOT include the effect of other forcing factors \r\n"
      " such as wave setup, astronomical tides, and wave runup.\r\n"
      " \r\n"
      " \r\n"
      " Run another case? [Y=1 or N=0]\r\n"
      " End of program.\r\n";
  size_t banner_end = 0;
  for (int i = 0; i < 24; ++i) banner_end = r.out.find(kCrLf, banner_end) + 2;
  EXPECT_EQ(r.out.substr(banner_end), after_banner);
}

TEST_F(OutputProgramTest, LocationWarningIsSixtySevenColumns) {
  write_example_data();
  RunResult r = run(answers({"19", "950", "30", "-5", "60", "0"}));
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string warning = " Warning!! For bridge No.     19 , surges due to hurricanes making ";
  ASSERT_EQ(warning.size(), 67u);
  const std::string expected =
      "(-) for bridge located on the left (west) side of the hurricane landfall\r\n" + warning +
      "\r\n"
      " landfall to the left side of the bridge locations are evaluated.\r\n"
      "\r\n"
      "Enter distance between hurricane landfall and location of the bridge in [km]\r\n"
      "(+) for bridge located on the right (east) side of the hurricane landfall\r\n"
      "A peak surge=";
  EXPECT_NE(r.out.find(expected), std::string::npos) << r.out;
}

// ---- Report fields from chosen coefficients ---------------------------------

TEST_F(OutputProgramTest, ExactTieAtLandfallRowIsTheEightyFiveCharacterRecord) {
  // Location 7, radius 30 km, 50 km: X = 0.8327, "LEFT ", the LEFT curve.
  Coefficients c;
  int32_t pressure = 0;
  ASSERT_TRUE(coefficients_for_exact_surge(3.25, 7, 30, 50, &c, &pressure));
  write_data(c);
  RunResult r = run(answers({"7", std::to_string(pressure), "30", "50", "0"}));
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string row7 =
      "making landfall  50km away to the LEFT  side of a bridge location No.      7 is 3.2 m";
  ASSERT_EQ(row7.size(), 85u);
  EXPECT_NE(r.out.find("\r\n" + row7 + "\r\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\r\nA peak surge=  3.2 m\r\n"), std::string::npos) << r.out;
}

TEST_F(OutputProgramTest, SurgeAndDistanceFields) {
  struct Row {
    const char* what;
    Coefficients coefficients;
    std::string distance;
    std::string surge_field;
    std::string kilometres_field;
  };
  // 99.96 m: slope chosen for 950 mb (0.5 h^2 = 0.2063525).
  Coefficients rounds_to_100;
  rounds_to_100.slope = static_cast<float>(99.96 / model_surge({.slope = 1}, {7, 950, 30, 50}));
  Coefficients negative;
  negative.slope = -0.15f;  // 0.2063525 * -0.15 = -0.031: rounds to zero
  const Row rows[] = {
      {"a surge that rounds to 100.0", rounds_to_100, "50", "****", " 50"},
      {"a negative surge that rounds to zero", negative, "-47.9", " 0.0", " 47"},
      {"whole kilometres of 1000", negative, "1000", " 0.0", "***"},
      {"whole kilometres that overflow", negative, "3e9", " 0.0", "***"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    write_data(row.coefficients);
    RunResult r = run(answers({"7", "950", "30", row.distance, "0"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\r\nA peak surge= " + row.surge_field + " m\r\n"), std::string::npos)
        << r.out;
    const std::string row7_start =
        "\r\nmaking landfall " + row.kilometres_field + "km away to the ";
    const size_t at = r.out.find(row7_start);
    ASSERT_NE(at, std::string::npos) << r.out;
    const std::string row7 = r.out.substr(at + 2, r.out.find(kCrLf, at + 2) - at - 2);
    EXPECT_EQ(row7.size(), 85u) << row7;
    EXPECT_TRUE(row7.ends_with(" is" + row.surge_field + " m")) << row7;
  }
}

// ---- Where the records go ----------------------------------------------------

// The environment for a child: this process's, less the runtime's variables.
std::vector<std::string> child_environment(const std::vector<std::string>& extra) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "FOR", 3) != 0 && std::strncmp(*e, "TBK_", 4) != 0) env.emplace_back(*e);
  }
  env.insert(env.end(), extra.begin(), extra.end());
  return env;
}

// Starts the program with the given descriptors as its standard streams, in
// `dir`. Returns the child's pid.
pid_t start_program(int in_fd, int out_fd, int err_fd, const std::string& dir) {
  std::vector<std::string> env = child_environment({});
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in_fd, 0);
    dup2(out_fd, 1);
    dup2(err_fd, 2);
    for (int fd = 3; fd < 256; ++fd) close(fd);
    signal(SIGPIPE, SIG_DFL);  // the program itself must keep a broken pipe from killing it
    if (chdir(dir.c_str()) != 0) _exit(127);
    char* argv[] = {const_cast<char*>(program_path()), nullptr};
    execve(program_path(), argv, envp.data());
    _exit(127);
  }
  return pid;
}

std::string read_all(int fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      return text;  // end of file, or EIO once a terminal's other side is closed
    }
  }
}

struct Exit {
  int status = -1;
  int signal = 0;
};
Exit wait_for(pid_t pid) {
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  Exit e;
  if (WIFEXITED(wstatus)) e.status = WEXITSTATUS(wstatus);
  if (WIFSIGNALED(wstatus)) e.signal = WTERMSIG(wstatus);
  return e;
}

// The report's line: the text-mode error stream turns its CR LF into CR CR LF.
const char kWriteErrorLine[] =
    "forrtl: severe (38): error during write, unit -1, file CONOUT$\r\r\n";

// Collects the report of a program whose output reader has gone, and checks
// that it ended with report 38, not by a signal. Closes both descriptors.
void expect_write_error_report(pid_t pid, int input, int error) {
  std::string report = read_all(error);
  close(error);
  close(input);
  Exit e = wait_for(pid);
  EXPECT_EQ(e.signal, 0) << "killed by a signal";
  EXPECT_EQ(e.status, 38);
  EXPECT_TRUE(report.starts_with(kWriteErrorLine)) << report;
}

TEST_F(OutputProgramTest, ReaderGoneBeforeTheFirstRecordIsReport38) {
  int in[2], out[2], err[2];
  ASSERT_EQ(pipe(in), 0);
  ASSERT_EQ(pipe(out), 0);
  ASSERT_EQ(pipe(err), 0);
  close(out[0]);  // nobody will ever read the program's output
  pid_t pid = start_program(in[0], out[1], err[1], dir_);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  expect_write_error_report(pid, in[1], err[0]);
}

TEST_F(OutputProgramTest, ReaderThatClosesEarlyIsReport38) {
  write_example_data();
  int in[2], out[2], err[2];
  ASSERT_EQ(pipe(in), 0);
  ASSERT_EQ(pipe(out), 0);
  ASSERT_EQ(pipe(err), 0);
  pid_t pid = start_program(in[0], out[1], err[1], dir_);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  // Read up to the location prompt, where the program waits for an answer,
  // then go away and answer.
  std::string seen;
  char buffer[256];
  while (seen.find("numbers] \r\n") == std::string::npos) {
    ssize_t n = read(out[0], buffer, sizeof buffer);
    ASSERT_GT(n, 0) << seen;
    seen.append(buffer, static_cast<size_t>(n));
  }
  close(out[0]);
  ASSERT_EQ(write(in[1], "5\n", 2), 2);
  expect_write_error_report(pid, in[1], err[0]);
}

TEST_F(OutputProgramTest, RedirectedOutputFileGetsTheSameBytes) {
  write_example_data();
  const std::string input = answers({"5", "950", "30", "60", "0"});
  RunResult plain = run(input);
  ASSERT_EQ(plain.status, 0) << plain.err;
  RunResult redirected = run(input, {.env = {"FOR_PRINT=console.txt"}, .cwd = {}});
  ASSERT_EQ(redirected.status, 0) << redirected.err;
  EXPECT_EQ(redirected.out, "");
  EXPECT_EQ(read_file("console.txt"), plain.out);
}

TEST_F(OutputProgramTest, FullRedirectedOutputIsReport38NamingTheFile) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full on this machine";
  RunResult r = run(answers({"5"}), {.env = {"FOR_PRINT=/dev/full"}, .cwd = {}});
  EXPECT_EQ(r.status, 38);
  EXPECT_TRUE(
      r.err.starts_with("forrtl: severe (38): error during write, unit -1, file /dev/full\r\r\n"))
      << r.err;
}

TEST_F(OutputProgramTest, TerminalReceivesTextModeLineEnds) {
  write_example_data();
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string slave_name = ptsname(master);
  int slave = open(slave_name.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  // Raw mode: the terminal passes the program's bytes through unchanged.
  termios mode;
  ASSERT_EQ(tcgetattr(slave, &mode), 0);
  cfmakeraw(&mode);
  ASSERT_EQ(tcsetattr(slave, TCSANOW, &mode), 0);
  const std::string input = answers({"5", "950", "30", "60", "0"});
  int in[2];
  ASSERT_EQ(pipe(in), 0);
  ASSERT_EQ(write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  close(in[1]);
  int devnull = open("/dev/null", O_WRONLY);
  pid_t pid = start_program(in[0], slave, devnull, dir_);
  close(in[0]);
  close(slave);
  close(devnull);
  std::string out = read_all(master);
  close(master);
  Exit e = wait_for(pid);
  ASSERT_EQ(e.status, 0);
  // Every record ends in CR CR LF; there is no other line end.
  EXPECT_TRUE(out.starts_with(" " + std::string(78, '-') + "\r\r\n \r\r\n")) << out.substr(0, 100);
  EXPECT_NE(out.find("\r\r\nA peak surge=  0.3 m\r\r\n"), std::string::npos) << out;
  EXPECT_TRUE(out.ends_with(" End of program.\r\r\n"));
  size_t line_ends = 0;
  for (size_t at = out.find('\n'); at != std::string::npos; at = out.find('\n', at + 1)) {
    ++line_ends;
    ASSERT_GE(at, 2u);
    EXPECT_EQ(out.substr(at - 2, 2), "\r\r") << "line end " << line_ends;
  }
  RunResult piped = run(input);
  EXPECT_EQ(line_ends, records_of(piped.out).size());
}

}  // namespace
}  // namespace surge_test
