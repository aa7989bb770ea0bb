// Runs the built program as a child process with piped standard streams.
#include "program_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace surge_test {
namespace {

// The worked example's curves: LEFT (1.0, 1.0, 2.0), (0.5, 3.0, 1.0),
// (0.25, 0.0, 4.0); tail (1, 15, 2); RIGHT (0.8, -1.0, 1.5), (0.4, -3.0, 1.0),
// (0.2, 0.5, 2.0).
constexpr const char* kExampleRow =
    "1.0 1.0 2.0 0.5 3.0 1.0 0.25 0.0 4.0 1.0 15.0 2.0 0.8 -1.0 1.5 0.4 -3.0 1.0 0.2 0.5 2.0";

// Variables the runtime reads: a test sets them only on purpose.
bool is_runtime_variable(const char* entry) {
  return std::strncmp(entry, "FOR", 3) == 0 || std::strncmp(entry, "TBK_", 4) == 0;
}

std::vector<std::string> child_environment(const RunOptions& options) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (!is_runtime_variable(*e)) env.emplace_back(*e);
  }
  for (const std::string& extra : options.env) env.push_back(extra);
  return env;
}

double now_seconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

// stdin_fd: a descriptor for the child's standard input, or -1 for a pipe fed
// with `input`.
RunResult run_child(const std::string& dir, std::string_view input, int stdin_fd,
                    const RunOptions& options) {
  int in_pipe[2] = {-1, -1};
  int out_pipe[2];
  int err_pipe[2];
  if (stdin_fd < 0 && pipe(in_pipe) != 0) ADD_FAILURE() << "pipe";
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) ADD_FAILURE() << "pipe";
  std::vector<std::string> env = child_environment(options);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string cwd = options.cwd.empty() ? dir : options.cwd;

  pid_t pid = fork();
  if (pid == 0) {
    dup2(stdin_fd >= 0 ? stdin_fd : in_pipe[0], 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    for (int fd = 3; fd < 256; ++fd) close(fd);
    signal(SIGPIPE, SIG_DFL);
    if (chdir(cwd.c_str()) != 0) _exit(127);
    char* argv[] = {const_cast<char*>(program_path()), nullptr};
    execve(program_path(), argv, envp.data());
    _exit(127);
  }
  if (stdin_fd < 0) close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);

  RunResult result;
  size_t written = 0;
  int to_child = in_pipe[1];
  if (to_child >= 0) fcntl(to_child, F_SETFL, O_NONBLOCK);
  if (to_child >= 0 && input.empty()) {
    close(to_child);
    to_child = -1;
  }
  signal(SIGPIPE, SIG_IGN);
  int open_outputs = 2;
  const double deadline = now_seconds() + options.timeout_seconds;
  while (open_outputs > 0) {
    pollfd fds[3] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}, {to_child, POLLOUT, 0}};
    int remaining_ms = static_cast<int>((deadline - now_seconds()) * 1000);
    if (remaining_ms <= 0) {
      kill(pid, SIGKILL);
      ADD_FAILURE() << "program did not finish within " << options.timeout_seconds << " s";
      break;
    }
    if (poll(fds, to_child >= 0 ? 3 : 2, remaining_ms) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP))) {
        char buf[65536];
        ssize_t n = read(fds[i].fd, buf, sizeof buf);
        if (n > 0) {
          (i == 0 ? result.out : result.err).append(buf, n);
        } else {
          close(fds[i].fd);
          (i == 0 ? out_pipe[0] : err_pipe[0]) = -1;
          --open_outputs;
        }
      }
    }
    if (to_child >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t n = write(to_child, input.data() + written, input.size() - written);
      if (n > 0) written += n;
      if (n < 0 || written == input.size()) {
        close(to_child);
        to_child = -1;
      }
    }
  }
  if (to_child >= 0) close(to_child);
  if (out_pipe[0] >= 0) close(out_pipe[0]);
  if (err_pipe[0] >= 0) close(err_pipe[0]);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  if (WIFEXITED(wstatus)) {
    result.status = WEXITSTATUS(wstatus);
  } else if (WIFSIGNALED(wstatus)) {
    result.signal = WTERMSIG(wstatus);
  }
  return result;
}

}  // namespace

const char* program_path() { return SURGE_PROGRAM; }

std::string example_parameter_file() {
  std::string text;
  for (int i = 0; i < 20; ++i) text += std::string(kExampleRow) + "\n";
  return text;
}

std::string example_slope_file() {
  std::string text;
  for (int i = 0; i < 20; ++i) text += "0.1\n";
  return text;
}

std::string answers(std::initializer_list<std::string_view> lines) {
  std::string text;
  for (std::string_view line : lines) {
    text.append(line);
    text.push_back('\n');
  }
  return text;
}

std::string without_cr(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i]);
  }
  return out;
}

void ProgramTest::SetUp() {
  char name[] = "/tmp/surge-test-XXXXXX";
  ASSERT_NE(mkdtemp(name), nullptr);
  dir_ = name;
}

void ProgramTest::TearDown() {
  std::error_code ignored;
  std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(dir_, ignored);
}

void ProgramTest::write_file(const std::string& name, std::string_view content) {
  std::string full = name.starts_with("/") ? name : path(name);
  std::ofstream file(full, std::ios::binary | std::ios::trunc);
  file.write(content.data(), static_cast<std::streamsize>(content.size()));
  ASSERT_TRUE(file.good()) << full;
}

std::string ProgramTest::read_file(const std::string& name) {
  std::string full = name.starts_with("/") ? name : path(name);
  std::ifstream file(full, std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  return content.str();
}

void ProgramTest::write_example_data() {
  write_file("srfparamsVelko.dat", example_parameter_file());
  write_file("pslope.dat", example_slope_file());
}

RunResult ProgramTest::run(std::string_view input, const RunOptions& options) {
  return run_child(dir_, input, -1, options);
}

RunResult ProgramTest::run_with_input_file(const std::string& input_file,
                                           const RunOptions& options) {
  std::string full = input_file.starts_with("/") ? input_file : path(input_file);
  int fd = open(full.c_str(), O_RDONLY);
  EXPECT_GE(fd, 0) << full;
  RunResult result = run_child(dir_, {}, fd, options);
  close(fd);
  return result;
}

}  // namespace surge_test
