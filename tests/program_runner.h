// Runs the built program in a temporary folder, for whole-program tests.
#ifndef SURGE_TESTS_PROGRAM_RUNNER_H_
#define SURGE_TESTS_PROGRAM_RUNNER_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace surge_test {

// What one run of the program left behind.
struct RunResult {
  std::string out;   // standard output, bytes as written
  std::string err;   // standard error
  int status = -1;   // exit status, or -1 when killed by a signal
  int signal = 0;    // the signal that killed it, or 0
};

// Options of a run beyond the answers.
struct RunOptions {
  std::vector<std::string> env;  // "NAME=value" entries added to the environment
  std::string cwd;               // working folder; the test's folder when empty
  int timeout_seconds = 30;
  std::string program{};          // the program to run; the calculator when empty
  std::vector<std::string> args{};  // its command-line arguments
};

// The worked-example coefficients, the same for all 20 locations: 20 lines of
// 21 numbers, and 20 slope lines.
std::string example_parameter_file();
std::string example_slope_file();

// The answers' lines joined with LF, each one terminated.
std::string answers(std::initializer_list<std::string_view> lines);

// Replaces CR LF by LF, for comparing texts that are not about line ends.
std::string without_cr(std::string_view text);

// The descriptors of a running child process.
struct Child {
  int pid = -1;
  int in = -1;
  int out = -1;
  int err = -1;
};

// A running program that a test talks to step by step: it can wait for a text
// on standard output before it sends the next answers.
class Session {
 public:
  Session(const std::string& dir, const RunOptions& options = {});
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Writes bytes to the program's standard input.
  void send(std::string_view text);
  // Reads standard output until `marker` appears after the last marker found.
  // False when the program ends or the time runs out first.
  bool wait_for(std::string_view marker);
  // Sends the rest of the input, closes it and collects everything to the end.
  RunResult finish(std::string_view input = {});
  // Collects everything to the end with standard input left open, for a
  // program that is to end by itself (on a signal, say).
  RunResult wait_for_end();
  int pid() const { return child_.pid; }

 private:
  Child child_;
  RunResult result_;
  size_t seen_ = 0;
  int timeout_seconds_;
};

// A fixture with its own temporary folder, removed after the test.
class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes a file relative to the test folder (or at an absolute path).
  void write_file(const std::string& name, std::string_view content);
  std::string read_file(const std::string& name);
  // Writes both data files with the worked-example coefficients.
  void write_example_data();
  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  // Runs the program with the given bytes on standard input (a pipe).
  RunResult run(std::string_view input, const RunOptions& options = {});
  // Runs the program with standard input redirected from a file.
  RunResult run_with_input_file(const std::string& input_file, const RunOptions& options = {});

  std::string dir_;
};

// The program under test.
const char* program_path();

}  // namespace surge_test

#endif  // SURGE_TESTS_PROGRAM_RUNNER_H_
