// Runs a command several times and prints its best wall time and peak resident
// memory: measure RUNS STDIN_FILE STDOUT_FILE PROGRAM [ARGS...]
// ("-" leaves a stream as it is; "pipe:FILE" feeds FILE through a pipe).
// Prints "seconds peak_kib exit_status" (the peak of the measured program only).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

double now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: measure RUNS STDIN STDOUT PROGRAM [ARGS...]\n");
    return 2;
  }
  int runs = std::atoi(argv[1]);
  double best = 1e30;
  long peak = 0;
  int status = 0;
  for (int i = 0; i < runs; ++i) {
    double start = now();
    pid_t pid = fork();
    if (pid == 0) {
      if (std::strncmp(argv[2], "pipe:", 5) == 0) {
        int fds[2];
        if (pipe(fds) != 0) _exit(126);
        if (fork() == 0) {  // the feeder: copies the file into the pipe
          close(fds[0]);
          int in = open(argv[2] + 5, O_RDONLY);
          char buf[65536];
          ssize_t n;
          while (in >= 0 && (n = read(in, buf, sizeof buf)) > 0) {
            if (write(fds[1], buf, n) != n) break;
          }
          _exit(0);
        }
        close(fds[1]);
        dup2(fds[0], 0);
        close(fds[0]);
      } else if (std::strcmp(argv[2], "-") != 0) {
        int fd = open(argv[2], O_RDONLY);
        if (fd < 0) _exit(126);
        dup2(fd, 0);
      }
      if (std::strcmp(argv[3], "-") != 0) {
        int fd = open(argv[3], O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) _exit(126);
        dup2(fd, 1);
      }
      execv(argv[4], argv + 4);
      _exit(127);
    }
    int wstatus = 0;
    rusage usage{};
    wait4(pid, &wstatus, 0, &usage);
    double elapsed = now() - start;
    if (elapsed < best) best = elapsed;
    if (usage.ru_maxrss > peak) peak = usage.ru_maxrss;
    status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  }
  std::printf("%.6f %ld %d\n", best, peak, status);
  return 0;
}
