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

// Starts the program with its standard streams on pipes (standard input from
// stdin_fd instead when that is not -1).
Child start_child(const std::string& dir, int stdin_fd, const RunOptions& options) {
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
  std::string program = options.program.empty() ? program_path() : options.program;
  std::vector<std::string> args = options.args;
  std::vector<char*> argv{program.data()};
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t pid = fork();
  if (pid == 0) {
    dup2(stdin_fd >= 0 ? stdin_fd : in_pipe[0], 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    for (int fd = 3; fd < 256; ++fd) close(fd);
    signal(SIGPIPE, SIG_DFL);
    if (chdir(cwd.c_str()) != 0) _exit(127);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  if (stdin_fd < 0) close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  signal(SIGPIPE, SIG_IGN);
  return Child{pid, in_pipe[1], out_pipe[0], err_pipe[0]};
}

// Feeds `input` to the child, collects both outputs until they close (or the
// deadline passes, which kills the child), and waits for it to end.
RunResult finish_child(Child& child, std::string_view input, RunResult result, double deadline,
                       bool close_input = true) {
  size_t written = 0;
  if (child.in >= 0) fcntl(child.in, F_SETFL, O_NONBLOCK);
  if (child.in >= 0 && input.empty() && close_input) {
    close(child.in);
    child.in = -1;
  }
  int open_outputs = (child.out >= 0) + (child.err >= 0);
  while (open_outputs > 0) {
    const bool feeding = child.in >= 0 && written < input.size();
    pollfd fds[3] = {
        {child.out, POLLIN, 0}, {child.err, POLLIN, 0}, {feeding ? child.in : -1, POLLOUT, 0}};
    int remaining_ms = static_cast<int>((deadline - now_seconds()) * 1000);
    if (remaining_ms <= 0) {
      kill(child.pid, SIGKILL);
      ADD_FAILURE() << "program did not finish in time";
      break;
    }
    if (poll(fds, 3, remaining_ms) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
        char buf[65536];
        ssize_t n = read(fds[i].fd, buf, sizeof buf);
        if (n > 0) {
          (i == 0 ? result.out : result.err).append(buf, n);
        } else {
          close(fds[i].fd);
          (i == 0 ? child.out : child.err) = -1;
          --open_outputs;
        }
      }
    }
    if (feeding && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t n = write(child.in, input.data() + written, input.size() - written);
      if (n > 0) written += n;
      if (n < 0 || (written == input.size() && close_input)) {
        close(child.in);
        child.in = -1;
      }
    }
  }
  for (int* fd : {&child.in, &child.out, &child.err}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
  int wstatus = 0;
  waitpid(child.pid, &wstatus, 0);
  if (WIFEXITED(wstatus)) {
    result.status = WEXITSTATUS(wstatus);
  } else if (WIFSIGNALED(wstatus)) {
    result.signal = WTERMSIG(wstatus);
  }
  return result;
}

RunResult run_child(const std::string& dir, std::string_view input, int stdin_fd,
                    const RunOptions& options) {
  Child child = start_child(dir, stdin_fd, options);
  return finish_child(child, input, RunResult{}, now_seconds() + options.timeout_seconds);
}

}  // namespace

Session::Session(const std::string& dir, const RunOptions& options)
    : child_(start_child(dir, -1, options)), timeout_seconds_(options.timeout_seconds) {}

Session::~Session() {
  if (child_.pid > 0) finish();
}

void Session::send(std::string_view text) {
  size_t written = 0;
  while (written < text.size()) {
    ssize_t n = write(child_.in, text.data() + written, text.size() - written);
    if (n <= 0) {
      ADD_FAILURE() << "could not write to the program";
      return;
    }
    written += n;
  }
}

bool Session::wait_for(std::string_view marker) {
  const double deadline = now_seconds() + timeout_seconds_;
  while (result_.out.find(marker, seen_) == std::string::npos) {
    int remaining_ms = static_cast<int>((deadline - now_seconds()) * 1000);
    pollfd fd{child_.out, POLLIN, 0};
    if (remaining_ms <= 0 || poll(&fd, 1, remaining_ms) <= 0) return false;
    char buf[65536];
    ssize_t n = read(child_.out, buf, sizeof buf);
    if (n <= 0) return false;
    result_.out.append(buf, n);
  }
  seen_ = result_.out.find(marker, seen_) + marker.size();
  return true;
}

RunResult Session::finish(std::string_view input) {
  RunResult result = finish_child(child_, input, result_, now_seconds() + timeout_seconds_);
  child_.pid = -1;
  return result;
}

RunResult Session::wait_for_end() {
  RunResult result =
      finish_child(child_, {}, result_, now_seconds() + timeout_seconds_, /*close_input=*/false);
  child_.pid = -1;
  return result;
}

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
