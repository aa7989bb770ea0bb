// The unit table, opening and closing units, and the normal end of the process.
#include "recio/units.h"

#include <atomic>
#include <cassert>
#include <chrono>
#include <map>
#include <mutex>
#include <new>

#include "recio/messages.h"
#include "recio/record_reader.h"

namespace recio {
namespace {

std::mutex g_table_lock;
std::map<int32_t, std::unique_ptr<UnitBlock>> g_units;
std::atomic<bool> g_stopping{false};

using unit_detail::g_direct;
using unit_detail::kDirectUnits;
using unit_detail::kFirstDirectUnit;

std::atomic<UnitBlock*>* direct_slot(int32_t unit) {
  const int64_t index = int64_t{unit} - kFirstDirectUnit;
  return index >= 0 && index < kDirectUnits ? &g_direct[index] : nullptr;
}

// The block of a unit, created on first use: from the table, under its lock.
[[gnu::noinline]] UnitBlock& find_or_create_in_table(int32_t unit,
                                                     std::atomic<UnitBlock*>* direct) {
  std::lock_guard<std::mutex> guard(g_table_lock);
  auto& slot = g_units[unit];
  if (!slot) {
    slot = std::make_unique<UnitBlock>();
    slot->number = unit;
  }
  if (direct != nullptr) direct->store(slot.get(), std::memory_order_release);
  return *slot;
}

// The block of a unit, created on first use.
inline UnitBlock& find_or_create(int32_t unit) {
  std::atomic<UnitBlock*>* direct = direct_slot(unit);
  if (direct != nullptr) {
    if (UnitBlock* block = direct->load(std::memory_order_acquire)) return *block;
  }
  return find_or_create_in_table(unit, direct);
}

// The program never sets a locale, so upper case is that of the "C" locale:
// ASCII letters only.
char ascii_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Upper case, trailing blanks removed: the form in which specifier texts match.
std::string specifier_text(std::string_view text) {
  std::string out(text);
  while (!out.empty() && out.back() == ' ') out.pop_back();
  for (char& c : out) c = ascii_upper(c);
  return out;
}

// True when `text` in the form above is `word` (upper case). Compares in
// place: names are matched several times an open, which should not allocate.
bool matches_specifier(std::string_view text, std::string_view word) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.size() != word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (ascii_upper(text[i]) != word[i]) return false;
  }
  return true;
}

struct Keyword {
  std::string_view text;
  uint8_t code;
};
constexpr Keyword kActions[] = {{"READ", 1}, {"READWRITE", 2}, {"WRITE", 3}};
constexpr Keyword kStatuses[] = {
    {"OLD", 1}, {"NEW", 2}, {"SCRATCH", 3}, {"UNKNOWN", 4}, {"REPLACE", 5}};

template <size_t N>
bool decode_keyword(const Keyword (&table)[N], std::string_view text, uint8_t* code) {
  for (const Keyword& row : table) {
    if (matches_specifier(text, row.text)) {
      *code = row.code;
      return true;
    }
  }
  return false;
}

// Device names compare without regard to case, "CON" standing for "CONOUT$".
std::string device_key(std::string_view name) {
  std::string key = specifier_text(name);
  return key == "CON" ? std::string("CONOUT$") : key;
}

// Connects the block to the console for a device name. This system has no
// printers, serial lines or null device of those names: only the console ones
// connect, to the process's standard input or output.
bool connect_device(UnitBlock& block, bool output) {
  std::string key = specifier_text(block.file_name);
  if (output && (key == "CON" || key == "CONOUT$")) {
    block.handle = platform::standard_output();
    block.text_mode = platform::is_character_device(block.handle);
    return true;
  }
  if (!output && (key == "CON" || key == "CONIN$")) {
    block.handle = platform::standard_input();
    block.byte_reads = !platform::is_character_device(block.handle);
    return true;
  }
  return false;
}

// Opens the block's resolved name: for reading, or for writing when the block
// is a redirected console output unit. Reports every failure.
void connect_named(UnitBlock& block, bool output) {
  if (is_device_name(block.file_name)) {
    if (!connect_device(block, output)) report_io_error(42, block);
  } else if (output) {
    platform::Status status = platform::open_for_write(block.file_name, &block.handle);
    if (!status.ok()) {
      block.os_error = status.os_code;
      report_io_error(open_failure_message(status.kind), block);
    }
  } else {
    // The file's first block is read as it opens, where and as the first
    // statement would read it, and kept for that statement to take.
    InputRecord& in = block.in;
    if (!in.buffer) {
      in.buffer.reset(new (std::nothrow) char[kInitialRecordBuffer]);
      in.capacity = in.buffer ? kInitialRecordBuffer : 0;
    }
    platform::FirstRead first{.buffer = in.buffer.get(), .size = in.capacity, .got = 0, .status = {}};
    platform::Status status = platform::open_for_read(block.file_name, &block.handle, &first);
    if (status.ok() && in.capacity > 0) {
      in.first_read_pending = true;
      in.first_read_got = first.got;
      in.first_read = first.status;
      in.first_block_only = true;
    }
    ++block.connection;
    if (!status.ok()) {
      block.os_error = status.os_code;
      report_io_error(open_failure_message(status.kind), block);
    }
  }
  block.connected = true;
}

// Connects a console unit on its first use, honouring its redirection variable.
void connect_console_unit(UnitBlock& block) {
  const bool output = block.number == kConsoleOutputUnit;
  block.action = output ? Action::kWrite : Action::kRead;
  block.read_only = !output;
  auto redirect = platform::environment(output ? "FOR_PRINT" : "FOR_READ");
  if (redirect && !redirect->empty()) {
    block.file_name = resolve_file_name(*redirect);
  } else {
    block.file_name = output ? "CONOUT$" : "CONIN$";
  }
  connect_named(block, output);
}

// True when a connected block's file is the one that a resolved name names:
// files by identity, devices by name.
bool same_file(const UnitBlock& block, const std::string& name) {
  const bool old_device = is_device_name(block.file_name);
  const bool new_device = is_device_name(name);
  if (old_device || new_device) {
    return old_device && new_device && device_key(block.file_name) == device_key(name);
  }
  platform::FileId connected_id;
  platform::FileId new_id;
  return platform::identify(block.handle, &connected_id) &&
         platform::identify_path(name, &new_id) && connected_id == new_id;
}

// Releases the OS side of a connected block.
void disconnect(UnitBlock& block) {
  if (block.connected) platform::close(block.handle);
  block.connected = false;
  block.handle = platform::kNoHandle;
}

}  // namespace

int open_failure_message(platform::ErrorKind kind) {
  switch (kind) {
    case platform::ErrorKind::kNotFound: return 29;
    case platform::ErrorKind::kAccessDenied: return 9;
    case platform::ErrorKind::kBadName: return 43;
    case platform::ErrorKind::kNoDevice: return 42;
    case platform::ErrorKind::kExists: return 10;
    default: return 30;
  }
}

void start_runtime() {
  platform::prepare_process();
  platform::mask_floating_point_exceptions();
  platform::install_console_event_handler(on_console_event);
}


void UnitLock::lock_held() {
  for (int tries = 0; held_.exchange(true, std::memory_order_acquire); ++tries) {
    if (tries < 100) {
      std::this_thread::yield();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  owner_.store(this_thread_mark(), std::memory_order_relaxed);
  depth_ = 1;
}

bool UnitLock::try_lock() {
  if (take_again()) return true;
  if (held_.exchange(true, std::memory_order_acquire)) return false;
  owner_.store(this_thread_mark(), std::memory_order_relaxed);
  depth_ = 1;
  return true;
}


namespace unit_detail {

std::atomic<UnitBlock*> g_direct[kDirectUnits];

UnitBlock& claim_unit_slowly(int32_t unit) {
  UnitBlock& block = find_or_create(unit);
  block.lock.lock();
  if (!block.connected && (unit == kConsoleOutputUnit || unit == kConsoleInputUnit)) {
    connect_console_unit(block);
  }
  assert(block.connected && "a file unit is opened before its first statement");
  return block;
}

}  // namespace unit_detail


bool is_device_name(std::string_view name) {
  static constexpr std::string_view kDevices[] = {
      "CON",  "USER", "PRN", "COM1", "COM2", "COM3", "COM4",    "LPT1",  "LPT2",
      "LPT3", "LPT4", "NUL", "AUX",  "ERR",  "LINE", "CONOUT$", "CONIN$"};
  // Most names are longer than any device's, blanks after them aside.
  const size_t last = name.find_last_not_of(' ');
  if (last == std::string_view::npos || last >= 7) return false;
  for (std::string_view device : kDevices) {
    if (matches_specifier(name, device)) return true;
  }
  return false;
}

namespace {

// A file name cut to its longest and without its leading blanks and trailing
// blanks and NULs.
std::string_view trim_file_name(std::string_view name) {
  if (name.size() > kMaxFileName) name = name.substr(0, kMaxFileName);
  while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.remove_suffix(1);
  return name;
}

// The name an open keeps. A plain file name (no slash, not "." or "..") is
// kept relative: opened so, it finds the file that its full path names, and
// the full path, which costs the OS a query, is made when a report quotes it.
// Any other name is resolved into *resolved, which the result then views.
std::string_view open_file_name(std::string_view given, std::string* resolved) {
  const std::string_view name = trim_file_name(given);
  if (!name.empty() && name.find('/') == std::string_view::npos && name != "." &&
      name != ".." && !is_device_name(name)) {
    return name;
  }
  *resolved = resolve_file_name(name);
  return *resolved;
}

}  // namespace

std::string reported_file_name(const UnitBlock& block) {
  const std::string& name = block.file_name;
  if (name.empty() || name.front() == '/' || is_device_name(name)) return name;
  return resolve_file_name(name);
}

std::string resolve_file_name(std::string_view name) {
  name = trim_file_name(name);
  if (is_device_name(name)) return std::string(name);
  std::string full = platform::full_path(name);
  if (!full.empty() && full.size() < kMaxFileName + 1) return full;
  return std::string(name);
}

void open_unit(int32_t unit, const OpenSpec& request) {
  UnitBlock& block = find_or_create(unit);
  std::lock_guard<UnitLock> guard(block.lock);
  std::string resolved;
  const std::string_view name = open_file_name(request.file, &resolved);
  uint8_t action = 0;
  uint8_t status = 0;
  if (!decode_keyword(kActions, request.action, &action) ||
      !decode_keyword(kStatuses, request.status, &status)) {
    block.file_name.assign(name);
    report_io_error(45, block);
  }
  assert(action == static_cast<uint8_t>(Action::kRead) && "only reading opens are supported");
  assert((status == static_cast<uint8_t>(OpenStatus::kOld) ||
          status == static_cast<uint8_t>(OpenStatus::kUnknown)) &&
         "only existing files are opened");
  if (block.connected) {
    if (same_file(block, std::string(name))) return;  // connection and position unchanged
    disconnect(block);
  }
  block.file_name.assign(name);  // into the name's old room: no allocation per open
  block.action = static_cast<Action>(action);
  block.status = static_cast<OpenStatus>(status);
  block.read_only = true;
  block.os_error = 0;
  block.byte_reads = false;
  block.text_mode = false;
  block.out = OutputRecord{};
  block.in.restart();
  connect_named(block, /*output=*/false);
}

void close_unit(int32_t unit) {
  // The block stays in the table for the unit's next open: a data file closed
  // and opened again for every case then costs no allocation. It is left as a
  // new block would be, but for the room of its name and record buffers.
  UnitBlock* block;
  {
    std::lock_guard<std::mutex> guard(g_table_lock);
    auto it = g_units.find(unit);
    if (it == g_units.end()) return;
    block = it->second.get();
  }
  std::lock_guard<UnitLock> guard(block->lock);
  disconnect(*block);
  block->file_name.clear();
  block->action = Action::kRead;
  block->read_only = false;
  block->status = OpenStatus::kUnknown;
  block->os_error = 0;
  block->byte_reads = false;
  block->text_mode = false;
  block->out = OutputRecord{};
  block->in.restart();
}

void close_all_units() {
  std::lock_guard<std::mutex> guard(g_table_lock);
  for (auto& [number, block] : g_units) {
    // A unit held by a statement on another thread (a console read that an
    // event interrupts) is left to the end of the process.
    if (!block->lock.try_lock()) continue;
    disconnect(*block);
    block->lock.unlock();
  }
}

void reset_units_for_test() {
  std::lock_guard<std::mutex> guard(g_table_lock);
  for (auto& [number, block] : g_units) disconnect(*block);
  g_units.clear();
  for (auto& direct : g_direct) direct.store(nullptr, std::memory_order_release);
  g_stopping = false;
}

void stop_program() {
  if (g_stopping.exchange(true)) platform::exit_process(0);
  close_all_units();
  platform::exit_process(0);
}

}  // namespace recio
