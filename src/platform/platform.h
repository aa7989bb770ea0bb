// The operating-system layer: everything the record I/O runtime needs from the OS.
//
// Callers see only these small operations; one source file per OS implements them
// (platform_posix.cpp here), chosen by the build. OS error codes are mapped to the
// portable error kinds below in one place inside that file, and interrupted system
// calls are retried there, never by callers.
#ifndef SURGE_PLATFORM_PLATFORM_H_
#define SURGE_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// An open OS handle (a file descriptor here). kNoHandle marks "none".
using Handle = int;
inline constexpr Handle kNoHandle = -1;

// Portable classes of OS failure. The runtime turns them into message numbers.
enum class ErrorKind {
  kNone,
  kNotFound,          // the file or a directory on its path does not exist
  kAccessDenied,      // permission denied, read-only file system, or a directory
  kBadName,           // the name or path is invalid or too long
  kNoDevice,          // no such device
  kExists,            // the file exists already
  kSharingViolation,  // another process holds the file in a conflicting way
  kEndOfFile,         // a read found the end of its input
  kBrokenPipe,        // the other end of a pipe has gone
  kAborted,           // the operation was aborted
  kOther,             // anything else
};

// Outcome of one OS operation: the portable kind and the raw OS error code.
struct Status {
  ErrorKind kind = ErrorKind::kNone;
  int os_code = 0;
  bool ok() const { return kind == ErrorKind::kNone; }
};

// Prepares the process for the runtime: a write to a pipe whose reader has gone
// fails with kBrokenPipe instead of killing the process. Called once at start-up.
void prepare_process();

// Standard handles of the process.
Handle standard_input();
Handle standard_output();
Handle standard_error();

// True when the handle is a character device (an interactive terminal).
bool is_character_device(Handle h);

// The first bytes of a file, read as it is opened. A directory shows itself by
// failing that read, which spares the OS a query of its own for every open.
struct FirstRead {
  void* buffer = nullptr;  // where the bytes go
  size_t size = 0;         // at most this many; 0 reads nothing
  size_t got = 0;          // how many came
  Status status;           // the read's outcome, kEndOfFile when it found none
};

// Opens an existing file for reading only; never creates one. A directory is
// refused as kAccessDenied. With `first`, also reads the file's first bytes: a
// failed read (a directory's aside) leaves the file open, its outcome in
// first->status. On failure *h is kNoHandle.
Status open_for_read(const std::string& path, Handle* h, FirstRead* first = nullptr);

// Opens (creating if needed) a file for writing, truncating it. Used for a
// redirected console output unit.
Status open_for_write(const std::string& path, Handle* h);

// The OS's own words for a failure ("No such file or directory"), for
// messages that are not run-time error reports.
std::string describe_error(const Status& status);

// Reads at most n bytes; *got receives the count (0 at end of file, which is
// also reported as ErrorKind::kEndOfFile). Retries interrupted reads.
Status read(Handle h, void* buffer, size_t n, size_t* got);

// Writes all n bytes in as few calls as the OS allows (one for a record).
// A vanished pipe reader is kBrokenPipe, never a signal.
Status write(Handle h, const void* data, size_t n);

// Writes n bytes turning every LF into CR LF, as a text-mode stream does, so a
// CR LF in the data goes out as CR CR LF. The translated bytes go out in one
// write.
Status write_text_mode(Handle h, const char* data, size_t n);

// Closes a handle; a standard handle is left open.
void close(Handle h);

// Identity of an open file or of a path, for telling whether two names are the
// same file.
struct FileId {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileId&) const = default;
};
bool identify(Handle h, FileId* id);
bool identify_path(const std::string& path, FileId* id);

// The full path of a name formed lexically from the current directory ("." and
// ".." segments and repeated slashes folded, symbolic links left as they are, a
// trailing slash kept). Empty on failure, and for an empty name.
std::string full_path(std::string_view name);

// The value of an environment variable, or nothing when it is not set.
std::optional<std::string> environment(const char* name);

// Reopens the standard error stream in append mode on the named file, so that
// every later report goes there. Returns false when the file cannot be opened.
bool redirect_error_stream(const std::string& path);

// Appends bytes to a file in text mode (LF becomes CR LF), creating it if needed.
bool append_text_mode(const std::string& path, const char* data, size_t n);

// Ends the process at once with the given status.
[[noreturn]] void exit_process(int status);

// Floating-point control: mask every exception (no traps), round to nearest.
void mask_floating_point_exceptions();
// Results that would be subnormal become zero (flush-to-zero), on the calling
// thread. Subnormal operands are still used as they are.
void enable_flush_to_zero();

// The CPU time the calling thread has used, in seconds: unlike wall time, not
// inflated when other work on the machine takes the core. 0 when the OS cannot
// tell.
double thread_cpu_seconds();

// One frame of a call stack, as far as symbols are known (empty text when not).
struct StackFrame {
  uintptr_t pc = 0;             // return address of the frame's call
  uintptr_t module_offset = 0;  // pc relative to the load address of its module
  uintptr_t frame_address = 0;  // the frame's canonical stack address
  std::string module;           // file name of the module, no directory
  std::string routine;          // qualified name, without return type or parameters
  std::string source;           // source file name, no directory
  int line = 0;                 // 0 when unknown
};

// Walks the calling thread's stack from the caller of walk_stack outward,
// skipping the given number of innermost frames. Calls visit(frame, context)
// for each and stops early when it returns false. Returns false when the walk
// could not start or broke off; the frames found before that were visited.
using FrameVisitor = bool (*)(const StackFrame& frame, void* context);
bool walk_stack(int skip, FrameVisitor visit, void* context);

// Console events that end the process: interrupt (SIGINT, control-C), quit
// (SIGQUIT, control-\) and hang-up (SIGHUP, the terminal closed).
enum class ConsoleEvent { kControlC, kControlBreak, kClose };

// Installs a handler for console events. It runs on a thread of its own (the
// signals are blocked in every other thread), so it may format and write freely
// while the main thread waits in a read; it must end the process. Must be
// called before any other thread is started.
void install_console_event_handler(void (*handler)(ConsoleEvent));

}  // namespace platform

#endif  // SURGE_PLATFORM_PLATFORM_H_
