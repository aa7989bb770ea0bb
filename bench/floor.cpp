// The floor for the batch benchmarks: the system calls that a case needs and
// nothing else. Per case it reads the answers (from a file in blocks, or from
// standard input one byte per call), opens, reads and closes both data files,
// and writes a case's records one write each: the calls the program makes. Like the program, it first
// starts an idle thread that waits for the console signals: a second thread
// alone makes every system call dearer (the kernel's quicker descriptor lookup
// serves single-threaded processes only), and the program's design needs it.
//
// Usage: floor RECORDS_FILE [ANSWERS_FILE]
//   RECORDS_FILE: one case's output (CR LF records), written once per case.
//   ANSWERS_FILE: answers read in blocks; without it, standard input byte by byte.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kAnswersPerCase = 5;
constexpr ssize_t kBlock = 4096;  // the program's first record buffer
char g_block[65536];

// Reads one line: byte by byte from a pipe, or carved from block reads.
struct LineReader {
  int fd;
  bool byte_reads;
  std::string kept;

  bool next_line() {
    if (byte_reads) {
      char c;
      for (;;) {
        if (read(fd, &c, 1) != 1) return false;
        if (c == '\n') return true;
      }
    }
    for (;;) {
      size_t lf = kept.find('\n');
      if (lf != std::string::npos) {
        kept.erase(0, lf + 1);
        return true;
      }
      ssize_t n = read(fd, g_block, kBlock);
      if (n <= 0) return false;
      kept.append(g_block, n);
    }
  }
};

// The console signals blocked in every thread and awaited in one, as the
// program's OS layer does it.
void start_signal_thread() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGQUIT);
  sigaddset(&set, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread([set] {
    for (;;) {
      int sig = 0;
      if (sigwait(&set, &sig) == 0) _exit(128 + sig);
    }
  }).detach();
}

// Reads a data file in blocks up to the first short one. For a file shorter
// than a block, as the example files are, that is the program's one read: it
// stops when it has the file's 20 records, and does not read on to the end.
void read_data_file(const char* name) {
  int fd = open(name, O_RDONLY);
  if (fd < 0) _exit(29);
  while (read(fd, g_block, kBlock) == kBlock) {
  }
  close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  start_signal_thread();
  std::vector<std::string> records;
  {
    int fd = open(argv[1], O_RDONLY);
    if (fd < 0) return 2;
    std::string all;
    ssize_t n;
    while ((n = read(fd, g_block, sizeof g_block)) > 0) all.append(g_block, n);
    close(fd);
    for (size_t start = 0, end; (end = all.find("\r\n", start)) != std::string::npos;
         start = end + 2) {
      records.push_back(all.substr(start, end - start + 2));
    }
  }
  LineReader answers{0, true, {}};
  if (argc > 2) {
    answers.fd = open(argv[2], O_RDONLY);
    answers.byte_reads = false;
    if (answers.fd < 0) return 2;
  }
  for (;;) {
    for (int i = 0; i < kAnswersPerCase; ++i) {
      if (!answers.next_line()) return 0;
    }
    read_data_file("srfparamsVelko.dat");
    read_data_file("pslope.dat");
    for (const std::string& record : records) {
      if (write(1, record.data(), record.size()) < 0) return 38;
    }
  }
}
