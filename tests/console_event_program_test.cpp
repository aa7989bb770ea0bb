// Whole-program tests of console events: control-C typed at a terminal, and
// the quit and hang-up signals sent to a program waiting for an answer.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "program_runner.h"

extern char** environ;

namespace surge_test {
namespace {

constexpr const char* kLocationPromptEnd =
    "[refer to Quillon_Site_Grid.pdf for bridge locations and numbers] ";
constexpr const char* kListingHeader =
    "Image              PC        Routine            Line        Source             \r\n";
constexpr int kTimeoutMs = 20000;

double now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// A running program: its console (a terminal or a pipe pair) and its error pipe.
struct Child {
  pid_t pid = -1;
  int input = -1;   // what the test writes: the terminal's master, or a pipe
  int output = -1;  // what the program writes to standard output
  int error = -1;   // the program's standard error
  std::string out;
  std::string err;
};

std::vector<char*> program_environment(std::vector<std::string>& storage) {
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "FOR", 3) != 0 && std::strncmp(*e, "TBK_", 4) != 0) storage.push_back(*e);
  }
  std::vector<char*> envp;
  for (std::string& e : storage) envp.push_back(e.data());
  envp.push_back(nullptr);
  return envp;
}

// Starts the program in `dir`. With `terminal`, standard input and output are
// a new pseudo-terminal that is the program's controlling terminal; otherwise
// they are pipes. Standard error is a pipe either way.
Child start(const std::string& dir, bool terminal) {
  Child child;
  int err_pipe[2];
  if (pipe(err_pipe) != 0) ADD_FAILURE() << "pipe";
  int in_pipe[2] = {-1, -1};
  int out_pipe[2] = {-1, -1};
  std::string terminal_name;
  if (terminal) {
    child.input = posix_openpt(O_RDWR | O_NOCTTY);
    if (child.input < 0 || grantpt(child.input) != 0 || unlockpt(child.input) != 0) {
      ADD_FAILURE() << "no pseudo-terminal";
    }
    terminal_name = ptsname(child.input);
    child.output = child.input;
  } else if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0) {
    ADD_FAILURE() << "pipe";
  }
  std::vector<std::string> storage;
  std::vector<char*> envp = program_environment(storage);
  child.pid = fork();
  if (child.pid == 0) {
    if (terminal) {
      setsid();  // a new session, so that the terminal becomes its controlling one
      int slave = open(terminal_name.c_str(), O_RDWR);
      if (slave < 0) _exit(126);
      dup2(slave, 0);
      dup2(slave, 1);
    } else {
      dup2(in_pipe[0], 0);
      dup2(out_pipe[1], 1);
    }
    dup2(err_pipe[1], 2);
    for (int fd = 3; fd < 256; ++fd) close(fd);
    signal(SIGPIPE, SIG_DFL);
    if (chdir(dir.c_str()) != 0) _exit(127);
    char* argv[] = {const_cast<char*>(program_path()), nullptr};
    execve(program_path(), argv, envp.data());
    _exit(127);
  }
  close(err_pipe[1]);
  child.error = err_pipe[0];
  if (!terminal) {
    close(in_pipe[0]);
    close(out_pipe[1]);
    child.input = in_pipe[1];
    child.output = out_pipe[0];
  }
  return child;
}

// Reads what the program writes until `until` returns true or the time runs out.
template <typename Done>
bool pump(Child& child, Done until) {
  const double deadline = now_ms() + kTimeoutMs;
  while (!until()) {
    pollfd fds[2] = {{child.output, POLLIN, 0}, {child.error, POLLIN, 0}};
    int remaining = static_cast<int>(deadline - now_ms());
    if (remaining <= 0) return false;
    if (poll(fds, 2, remaining) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[4096];
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 0 ? child.out : child.err).append(buffer, n);
      } else {  // end of the stream (a terminal reports EIO)
        close(fds[i].fd);
        (i == 0 ? child.output : child.error) = -1;
        if (i == 0 && child.input == fds[i].fd) child.input = -1;
      }
    }
    if (child.output < 0 && child.error < 0) return until();
  }
  return true;
}

// Waits for the program to end; returns its exit status, or -1 after a signal.
int finish(Child& child) {
  bool ended = pump(child, [&] { return child.error < 0; });
  if (!ended) kill(child.pid, SIGKILL);
  EXPECT_TRUE(ended) << "the program did not end";
  int status = 0;
  waitpid(child.pid, &status, 0);
  if (child.input >= 0 && child.input != child.output) close(child.input);
  if (child.output >= 0) close(child.output);
  if (child.error >= 0) close(child.error);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string event_line(const char* event) {
  return std::string("forrtl: error (200): program aborting due to ") + event + " event\r\r\n";
}

class ConsoleEventTest : public ProgramTest {
 protected:
  // Starts the program, waits for the location prompt, then raises the event.
  template <typename Raise>
  int run_until_prompt(bool terminal, Raise raise, Child* child) {
    *child = start(dir_, terminal);
    bool prompted = pump(*child, [&] { return child->out.find(kLocationPromptEnd) != std::string::npos; });
    EXPECT_TRUE(prompted) << child->out;
    raise(*child);
    return finish(*child);
  }
  void expect_event_report(const Child& child, const char* event) {
    EXPECT_TRUE(child.err.starts_with(event_line(event) + kListingHeader)) << child.err;
    // The listing is the handler's own thread, not the main thread's read.
    EXPECT_NE(child.err.find("on_console_event"), std::string::npos) << child.err;
    EXPECT_EQ(child.err.find("terminated abnormally"), std::string::npos) << child.err;
  }
};

TEST_F(ConsoleEventTest, SignalsToAProgramWaitingOnPipedInput) {
  struct Row {
    int signal;
    const char* event;
    int status;
  } rows[] = {
      {SIGINT, "control-C", 130},
      {SIGQUIT, "control-BREAK", 1},
      {SIGHUP, "window-CLOSE", 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.event);
    Child child;
    int status = run_until_prompt(false, [&](Child& c) { kill(c.pid, row.signal); }, &child);
    EXPECT_EQ(status, row.status);
    expect_event_report(child, row.event);
  }
}

TEST_F(ConsoleEventTest, KeysTypedAtATerminalPrompt) {
  struct Row {
    char key;
    const char* event;
    int status;
  } rows[] = {
      {'\x03', "control-C", 130},     // the terminal's interrupt key
      {'\x1c', "control-BREAK", 1},  // its quit key, control-backslash
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.event);
    Child child;
    int status = run_until_prompt(
        true, [&](Child& c) { EXPECT_EQ(write(c.input, &row.key, 1), 1); }, &child);
    EXPECT_EQ(status, row.status);
    expect_event_report(child, row.event);
  }
}

TEST_F(ConsoleEventTest, ClosingTheTerminalIsWindowCloseEveryTime) {
  // The hang-up fails the program's read and raises SIGHUP at about the same
  // moment: the event must win the race every time, never an input error.
  for (int trial = 0; trial < 10; ++trial) {
    SCOPED_TRACE(trial);
    Child child;
    int status = run_until_prompt(
        true,
        [&](Child& c) {
          close(c.input);
          c.input = c.output = -1;
        },
        &child);
    EXPECT_EQ(status, 2);
    expect_event_report(child, "window-CLOSE");
  }
}

}  // namespace
}  // namespace surge_test
