// The OS layer on POSIX systems (Linux with glibc and the GNU unwinder).
#include <cxxabi.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <fenv.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <unwind.h>

#include <backtrace.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

#include "platform/paths.h"
#include "platform/platform.h"

namespace platform {
namespace {

// The one place where OS error numbers become portable kinds.
Status posix_error(int err) {
  ErrorKind kind;
  switch (err) {
    case 0: kind = ErrorKind::kNone; break;
    case ENOENT:
    case ENOTDIR: kind = ErrorKind::kNotFound; break;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: kind = ErrorKind::kAccessDenied; break;
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ: kind = ErrorKind::kBadName; break;
    case ENODEV:
    case ENXIO: kind = ErrorKind::kNoDevice; break;
    case EEXIST: kind = ErrorKind::kExists; break;
    case ETXTBSY: kind = ErrorKind::kSharingViolation; break;
    case EPIPE: kind = ErrorKind::kBrokenPipe; break;
    case ECANCELED: kind = ErrorKind::kAborted; break;
    default: kind = ErrorKind::kOther; break;
  }
  return Status{kind, err};
}

// open(2), retried when a signal interrupts it. A name holding a NUL cannot be
// passed to the OS at all: it is an invalid name.
int open_path(const std::string& path, int flags, int* err) {
  if (path.find('\0') != std::string::npos) {
    *err = EINVAL;
    return -1;
  }
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  *err = fd < 0 ? errno : 0;
  return fd;
}

std::string base_name(const char* path) {
  if (path == nullptr) return std::string();
  const char* slash = std::strrchr(path, '/');
  return std::string(slash ? slash + 1 : path);
}

}  // namespace

void prepare_process() { signal(SIGPIPE, SIG_IGN); }

Handle standard_input() { return STDIN_FILENO; }
Handle standard_output() { return STDOUT_FILENO; }
Handle standard_error() { return STDERR_FILENO; }

bool is_character_device(Handle h) {
  struct stat st;
  return fstat(h, &st) == 0 && S_ISCHR(st.st_mode) && isatty(h);
}

Status open_for_read(const std::string& path, Handle* h, FirstRead* first) {
  *h = kNoHandle;
  int err;
  int fd = open_path(path, O_RDONLY | O_NOCTTY, &err);
  if (fd < 0) return posix_error(err);
  // Opening a directory succeeds here, and a directory is not a data file:
  // its first read fails with EISDIR, or, without one, the OS is asked.
  bool directory;
  if (first != nullptr && first->size > 0) {
    first->got = 0;
    first->status = read(fd, first->buffer, first->size, &first->got);
    directory = first->status.os_code == EISDIR;
  } else {
    struct stat st;
    directory = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
  }
  if (directory) {
    ::close(fd);
    return posix_error(EISDIR);
  }
  *h = fd;
  return Status{};
}

std::string describe_error(const Status& status) {
  return status.kind == ErrorKind::kNone ? std::string() : std::strerror(status.os_code);
}

Status open_for_write(const std::string& path, Handle* h) {
  *h = kNoHandle;
  int err;
  int fd = open_path(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY, &err);
  if (fd < 0) return posix_error(err);
  *h = fd;
  return Status{};
}

namespace {
void let_console_event_finish();
}  // namespace

Status read(Handle h, void* buffer, size_t n, size_t* got) {
  *got = 0;
  ssize_t r;
  do {
    r = ::read(h, buffer, n);
  } while (r < 0 && errno == EINTR);
  // A terminal that hangs up fails the read and raises SIGHUP together; the
  // event's report, which ends the process, goes first. (A hung-up terminal
  // no longer answers isatty, but it is still a character device.)
  if (r <= 0 && n > 0) {
    const int err = errno;
    struct stat st;
    if (fstat(h, &st) == 0 && S_ISCHR(st.st_mode)) let_console_event_finish();
    errno = err;
  }
  if (r < 0) return posix_error(errno);
  if (r == 0 && n > 0) return Status{ErrorKind::kEndOfFile, 0};
  *got = static_cast<size_t>(r);
  return Status{};
}

Status write(Handle h, const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    ssize_t r = ::write(h, p, n);
    if (r < 0) {
      if (errno == EINTR) continue;
      return posix_error(errno);
    }
    p += r;
    n -= static_cast<size_t>(r);
  }
  return Status{};
}

Status write_text_mode(Handle h, const char* data, size_t n) {
  // A report (at most 16384 bytes) is translated on the stack, so that it can
  // still be written when memory is exhausted.
  char local[2 * 16384];
  std::string heap;
  char* out = local;
  if (2 * n > sizeof local) {
    heap.resize(2 * n);
    out = heap.data();
  }
  size_t size = 0;
  for (size_t i = 0; i < n; ++i) {
    if (data[i] == '\n') out[size++] = '\r';
    out[size++] = data[i];
  }
  return write(h, out, size);
}

void close(Handle h) {
  if (h == kNoHandle || h == STDIN_FILENO || h == STDOUT_FILENO || h == STDERR_FILENO) return;
  ::close(h);  // not retried on EINTR: the descriptor is released either way
}

bool identify(Handle h, FileId* id) {
  struct stat st;
  if (fstat(h, &st) != 0) return false;
  *id = FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  return true;
}

bool identify_path(const std::string& path, FileId* id) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  *id = FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  return true;
}

std::string full_path(std::string_view name) {
  if (name.empty()) return std::string();
  if (name.front() == '/') return fold_full_path(std::string_view(), name);
  // Most working directories fit on the stack: no allocation per open.
  char local[4096];
  if (getcwd(local, sizeof local) != nullptr) return fold_full_path(local, name);
  char* dir = getcwd(nullptr, 0);
  if (dir == nullptr) return std::string();
  std::string full = fold_full_path(dir, name);
  std::free(dir);
  return full;
}

std::optional<std::string> environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

bool redirect_error_stream(const std::string& path) {
  int err;
  int fd = open_path(path, O_WRONLY | O_APPEND | O_CREAT | O_NOCTTY, &err);
  if (fd < 0) return false;
  int r = dup2(fd, STDERR_FILENO);
  ::close(fd);
  return r >= 0;
}

bool append_text_mode(const std::string& path, const char* data, size_t n) {
  int err;
  int fd = open_path(path, O_WRONLY | O_APPEND | O_CREAT | O_NOCTTY, &err);
  if (fd < 0) return false;
  bool ok = write_text_mode(fd, data, n).ok();
  ::close(fd);
  return ok;
}

void exit_process(int status) { _exit(status); }

void mask_floating_point_exceptions() {
  fedisableexcept(FE_ALL_EXCEPT);  // x87 and SSE masks alike
  fesetround(FE_TONEAREST);
}

void enable_flush_to_zero() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_setcsr(_mm_getcsr() | 0x8000);  // MXCSR.FTZ
#elif defined(__aarch64__)
  uint64_t fpcr;
  __asm__ __volatile__("mrs %0, fpcr" : "=r"(fpcr));
  fpcr |= (1ull << 24);  // FPCR.FZ
  __asm__ __volatile__("msr fpcr, %0" : : "r"(fpcr));
#endif
}

double thread_cpu_seconds() {
  timespec t{};
  if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t) != 0) return 0;
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// ---- Stack walking -------------------------------------------------------

namespace {

// Deeper stacks than this are listed up to this depth: a report's buffer holds
// far fewer lines anyway.
constexpr int kMaxFrames = 1024;

struct RawFrame {
  uintptr_t pc;
  uintptr_t cfa;
};

struct UnwindState {
  RawFrame* frames;
  int count;
  int skip;
};

// The unwinder treats any answer but _URC_NO_REASON as a failure of the walk,
// so a full table is told apart by the count, not by the answer.
_Unwind_Reason_Code collect_frame(struct _Unwind_Context* context, void* arg) {
  auto* state = static_cast<UnwindState*>(arg);
  uintptr_t pc = _Unwind_GetIP(context);
  if (pc == 0 || state->count == kMaxFrames) return _URC_NO_REASON;
  if (state->skip > 0) {
    --state->skip;
    return _URC_NO_REASON;
  }
  state->frames[state->count++] = RawFrame{pc, _Unwind_GetCFA(context)};
  return state->count == kMaxFrames ? _URC_NORMAL_STOP : _URC_NO_REASON;
}

void ignore_backtrace_error(void*, const char*, int) {}

backtrace_state* symbol_state() {
  // Created once and kept: libbacktrace's state is never freed.
  static backtrace_state* state =
      backtrace_create_state(nullptr, /*threaded=*/1, ignore_backtrace_error, nullptr);
  return state;
}

// The demangled name without its return type and parameter list:
// "void ns::(anonymous namespace)::f<int>(int) const" gives
// "ns::(anonymous namespace)::f<int>".
std::string routine_name(const char* symbol) {
  if (symbol == nullptr) return std::string();
  int status = 0;
  char* demangled = abi::__cxa_demangle(symbol, nullptr, nullptr, &status);
  std::string name = (status == 0 && demangled) ? demangled : symbol;
  std::free(demangled);
  static constexpr std::string_view kAnonymous = "(anonymous namespace)";
  size_t begin = 0;
  size_t end = name.size();
  int depth = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (depth == 0 && std::string_view(name).substr(i).starts_with(kAnonymous)) {
      i += kAnonymous.size() - 1;
    } else if (c == '<') {
      ++depth;
    } else if (c == '>') {
      if (depth > 0) --depth;
    } else if (depth == 0 && c == ' ') {
      begin = i + 1;  // what came before was the return type
    } else if (depth == 0 && c == '(' && !std::string_view(name).substr(0, i).ends_with("operator")) {
      end = i;
      break;
    }
  }
  if (begin >= end) begin = 0;
  return name.substr(begin, end - begin);
}

struct PcInfo {
  StackFrame* frame;
  bool found;
};

int take_pc_info(void* data, uintptr_t, const char* filename, int lineno, const char* function) {
  auto* info = static_cast<PcInfo*>(data);
  if (info->found) return 0;  // keep the innermost (inlined) routine only
  if (function == nullptr && filename == nullptr) return 0;
  info->found = true;
  info->frame->routine = routine_name(function);
  info->frame->source = base_name(filename);
  info->frame->line = lineno;
  return 0;
}

void take_symbol(void* data, uintptr_t, const char* symname, uintptr_t, uintptr_t) {
  auto* frame = static_cast<StackFrame*>(data);
  if (symname != nullptr) frame->routine = routine_name(symname);
}

// Everything known about one code address.
StackFrame describe_frame(const RawFrame& raw) {
  StackFrame frame;
  frame.pc = raw.pc;
  frame.frame_address = raw.cfa;
  // A return address points after the call; look up the call itself.
  uintptr_t lookup = raw.pc - 1;
  Dl_info dl{};
  const bool in_module = dladdr(reinterpret_cast<void*>(lookup), &dl) != 0;
  if (in_module) {
    frame.module = base_name(dl.dli_fname);
    frame.module_offset = raw.pc - reinterpret_cast<uintptr_t>(dl.dli_fbase);
  }
  backtrace_state* symbols = symbol_state();
  PcInfo info{&frame, false};
  if (symbols != nullptr) {
    backtrace_pcinfo(symbols, lookup, take_pc_info, ignore_backtrace_error, &info);
  }
  // Without debug information the symbol tables may still name the routine.
  if (frame.routine.empty() && symbols != nullptr) {
    backtrace_syminfo(symbols, lookup, take_symbol, ignore_backtrace_error, &frame);
  }
  if (frame.routine.empty() && in_module && dl.dli_sname != nullptr) {
    frame.routine = routine_name(dl.dli_sname);
  }
  return frame;
}

}  // namespace

bool walk_stack(int skip, FrameVisitor visit, void* context) {
  RawFrame frames[kMaxFrames];
  UnwindState state{frames, 0, skip + 1};  // +1: this routine itself
  _Unwind_Reason_Code rc = _Unwind_Backtrace(collect_frame, &state);
  // The walk ends normally at the outermost frame, or when the table is full.
  bool complete = rc == _URC_END_OF_STACK || state.count == kMaxFrames;
  try {
    for (int i = 0; i < state.count; ++i) {
      if (!visit(describe_frame(frames[i]), context)) return true;
    }
  } catch (const std::bad_alloc&) {
    return false;  // out of memory while naming the frames
  }
  return complete && state.count > 0;
}

// ---- Console events ------------------------------------------------------

namespace {

void (*g_console_handler)(ConsoleEvent) = nullptr;

sigset_t console_signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGQUIT);
  sigaddset(&set, SIGHUP);
  return set;
}

// Set once the waiting thread has taken an event: its handler ends the process.
std::atomic<bool> g_event_taken{false};

void wait_for_console_events() {
  sigset_t set = console_signals();
  for (;;) {
    int sig = 0;
    if (sigwait(&set, &sig) != 0) continue;
    g_event_taken = true;
    switch (sig) {
      case SIGINT: g_console_handler(ConsoleEvent::kControlC); break;
      case SIGQUIT: g_console_handler(ConsoleEvent::kControlBreak); break;
      case SIGHUP: g_console_handler(ConsoleEvent::kClose); break;
      default: break;
    }
  }
}

// Waits while a console event is pending or being handled (its handler ends
// the process), for a second at most. The hang-up signal may follow the
// failed read by a moment, so the first 50 ms are waited for in any case.
void let_console_event_finish() {
  const sigset_t events = console_signals();
  for (int i = 0; i < 100; ++i) {
    sigset_t pending;
    sigpending(&pending);
    bool event = g_event_taken;
    for (int sig : {SIGINT, SIGQUIT, SIGHUP}) {
      event = event || (sigismember(&pending, sig) && sigismember(&events, sig));
    }
    if (!event && i >= 5) return;
    usleep(10000);
  }
}

}  // namespace

void install_console_event_handler(void (*handler)(ConsoleEvent)) {
  g_console_handler = handler;
  // Block the signals here, so that every later thread inherits the mask and
  // only the waiting thread ever receives them.
  sigset_t set = console_signals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  symbol_state();  // prepare symbols before any event can need them
  std::thread(wait_for_console_events).detach();
}

}  // namespace platform
