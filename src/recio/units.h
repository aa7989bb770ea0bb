// Logical units: the unit table, connecting units to the console and to files,
// and the normal end of the process.
#ifndef SURGE_RECIO_UNITS_H_
#define SURGE_RECIO_UNITS_H_

#include <atomic>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "platform/platform.h"

namespace recio {

inline constexpr int32_t kConsoleOutputUnit = -1;
inline constexpr int32_t kConsoleInputUnit = -4;

// The longest file name a unit keeps; a full path is kept only when shorter
// than kMaxFileName + 1 characters.
inline constexpr size_t kMaxFileName = 256;

enum class Action : uint8_t { kRead = 1, kReadWrite = 2, kWrite = 3 };
enum class OpenStatus : uint8_t { kOld = 1, kNew = 2, kScratch = 3, kUnknown = 4, kReplace = 5 };

// An open request: the file name (not terminated) and the action and status
// texts, matched without regard to case or trailing blanks. Only reading opens
// are supported: action READ, status OLD or UNKNOWN.
struct OpenSpec {
  std::string_view file;
  std::string_view action = "READ";
  std::string_view status = "UNKNOWN";
};

// Record state of an output unit: the record being built. The buffer always
// holds a full free-form line; formatted records may grow it.
struct OutputRecord {
  std::unique_ptr<char[]> buffer;
  size_t capacity = 0;
  size_t position = 0;    // where the next byte goes
  size_t high_water = 0;  // end of the bytes written into this record
  int room = 0;           // columns left on a free-form line
};

// Record state of an input unit: the current record and the bytes read past it.
struct InputRecord {
  std::unique_ptr<char[]> buffer;
  size_t capacity = 0;
  size_t record_begin = 0;  // the current record is [record_begin, record_end)
  size_t record_end = 0;
  size_t kept_begin = 0;    // bytes read past the record: [kept_begin, kept_end)
  size_t kept_end = 0;
  uint64_t records_read = 0;
  // The read made as the file was opened, its bytes at the buffer's start:
  // the first read of the first record, which is then not made again.
  bool first_read_pending = false;
  size_t first_read_got = 0;
  platform::Status first_read;
  // The buffer holds the bytes of that first read where it put them: no
  // bytes were moved or read since.
  bool first_block_only = false;

  // Back to the state of a fresh connection, keeping the buffer.
  void restart() {
    record_begin = record_end = kept_begin = kept_end = 0;
    records_read = 0;
    first_read_pending = false;
    first_read_got = 0;
    first_read = {};
    first_block_only = false;
  }
};

// The lock that a statement holds on its unit from its start to its end. The
// thread that holds it may take it again (it counts). Taking and releasing it
// when it is free costs one atomic exchange, as a statement claims a unit
// many times a case and another thread almost never wants it; a thread that
// finds it held yields, then sleeps, until it is free.
// A mark of the calling thread, told apart from every other live thread's:
// the place of a thread-local byte, found without a call.
inline constinit thread_local char t_thread_mark = 0;
inline const void* this_thread_mark() { return &t_thread_mark; }

class UnitLock {
 public:
  void lock() {
    if (take_again()) return;  // held by this thread already: no exchange
    // Free, as it nearly always is: one exchange takes it.
    if (!held_.exchange(true, std::memory_order_acquire)) {
      owner_.store(this_thread_mark(), std::memory_order_relaxed);
      depth_ = 1;
      return;
    }
    lock_held();
  }
  bool try_lock();
  void unlock() {
    assert(depth_ > 0 && owner_.load(std::memory_order_relaxed) == this_thread_mark());
    if (--depth_ > 0) return;
    owner_.store(nullptr, std::memory_order_relaxed);
    held_.store(false, std::memory_order_release);
  }

 private:
  void lock_held();  // lock() when the exchange found it held
  // True, counting one more hold, when this thread holds it already.
  bool take_again() {
    if (owner_.load(std::memory_order_relaxed) != this_thread_mark()) return false;
    ++depth_;
    return true;
  }

  std::atomic<bool> held_{false};
  std::atomic<const void*> owner_{nullptr};  // set and cleared by the holder only
  int depth_ = 0;                         // used by the holder only
};

// One unit in use. Owned by the unit table from first use to close.
struct UnitBlock {
  int32_t number = 0;
  bool connected = false;
  std::string file_name;  // resolved name, at most 256 bytes (see reported_file_name)
  platform::Handle handle = platform::kNoHandle;
  Action action = Action::kRead;
  bool read_only = false;
  OpenStatus status = OpenStatus::kUnknown;
  int os_error = 0;           // the OS code of the last failure on this unit
  uint64_t connection = 0;    // counts the unit's connections to files for reading
  bool byte_reads = false;    // standard input that is a pipe or file: one byte per read
  bool text_mode = false;     // standard output that is a terminal: LF becomes CR LF
  UnitLock lock;              // held by a statement from its start to its end
  OutputRecord out;
  InputRecord in;
};

// Prepares the runtime before the main routine: the unit table, the console
// event handler, the floating-point environment.
void start_runtime();

namespace unit_detail {
// The blocks of the unit numbers that programs use most, found without taking
// the table lock: a statement claims its unit many times a case. Set and
// cleared under the table lock, next to the map that owns the blocks.
inline constexpr int32_t kFirstDirectUnit = -8;
inline constexpr int32_t kDirectUnits = 72;
extern std::atomic<UnitBlock*> g_direct[kDirectUnits];
// claim_unit for a unit without a direct block or not connected.
UnitBlock& claim_unit_slowly(int32_t unit);
}  // namespace unit_detail

// Finds the unit's block, connecting a console unit on its first use, and takes
// its lock for one statement. Reports and ends the process when the console
// unit's redirection cannot be opened.
inline UnitBlock& claim_unit(int32_t unit) {
  const int64_t index = int64_t{unit} - unit_detail::kFirstDirectUnit;
  if (index >= 0 && index < unit_detail::kDirectUnits) {
    if (UnitBlock* block = unit_detail::g_direct[index].load(std::memory_order_acquire)) {
      block->lock.lock();
      if (block->connected) return *block;
      block->lock.unlock();
    }
  }
  return unit_detail::claim_unit_slowly(unit);
}
// Releases the lock that claim_unit took.
inline void release_unit(UnitBlock& block) { block.lock.unlock(); }

// Holds a unit across a run of statements of this thread: each statement's own
// claim then takes the lock again, without the atomic exchange that taking a
// free lock costs. Another thread finds the unit busy for the whole run, as
// it would during any one of the statements.
class UnitHold {
 public:
  explicit UnitHold(int32_t unit) : block_(claim_unit(unit)) {}
  ~UnitHold() { release_unit(block_); }
  UnitHold(const UnitHold&) = delete;
  UnitHold& operator=(const UnitHold&) = delete;

 private:
  UnitBlock& block_;
};

// Connects the unit to an existing file for reading, from its first record.
// The resolved name is stored before the file is opened, so a report about the
// open quotes it. A unit already connected to the same file keeps its
// connection and position; one connected elsewhere is closed first. Returns
// only on success; every failure is a run-time error report (an unknown action
// or status text is message 45).
void open_unit(int32_t unit, const OpenSpec& request);

// The run-time message number an open that failed with `kind` is reported
// with (29: file not found, 9: access denied, ...).
int open_failure_message(platform::ErrorKind kind);

// Disconnects the unit, keeping the file. A unit that is not connected is left
// alone without a message.
void close_unit(int32_t unit);

// Closes every connected unit. Units busy in a statement of another thread are
// left to the end of the process.
void close_all_units();

// The normal end: closes every unit and ends the process with status 0.
// A second call while the first runs ends the process at once.
[[noreturn]] void stop_program();

// The name a unit keeps for a given file name: cut to 256 characters, leading
// blanks and trailing blanks and NULs dropped, device names (CON, CONIN$, NUL,
// ...) kept as they are, otherwise the full path when it is shorter than 257
// characters, else the trimmed name.
std::string resolve_file_name(std::string_view name);

// The name a report quotes for the unit's file: its full path when that is
// shorter than 257 characters, else the name as kept. A unit opened on a plain
// file name keeps it relative and opens it so: the full path, which costs the
// OS a query, is made only here.
std::string reported_file_name(const UnitBlock& block);

// True for the names that stand for devices rather than files, in any case.
bool is_device_name(std::string_view name);

// Closes every unit and forgets them all, as at start-up. For tests.
void reset_units_for_test();

}  // namespace recio

#endif  // SURGE_RECIO_UNITS_H_
