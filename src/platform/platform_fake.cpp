// The OS layer in memory: console streams as strings, files in a map, the end of
// the process thrown as an exception. Linked instead of the real layer into
// whole-program fuzz targets and tests that run the program in-process.
#include <map>

#include "platform/paths.h"
#include "platform/platform.h"
#include "platform/platform_fake.h"

namespace platform {
namespace {

constexpr Handle kStdin = 0;
constexpr Handle kStdout = 1;
constexpr Handle kStderr = 2;

struct OpenFile {
  std::string path;
  size_t position = 0;
  bool writing = false;
};

FakeSystem g_system;
std::map<Handle, OpenFile> g_open;
Handle g_next_handle = 3;
size_t g_stdin_position = 0;
size_t g_writes = 0;

// Directories are the parents of the files the fake holds.
bool is_directory(const std::string& path) {
  std::string prefix = path.ends_with("/") ? path : path + "/";
  for (const auto& [name, content] : g_system.files) {
    if (name.starts_with(prefix)) return true;
  }
  return path == "/";
}

// A name as the files are kept: relative ones against the working directory.
std::string absolute(const std::string& name) {
  return name.starts_with("/") ? name : fold_full_path(g_system.current_directory, name);
}

Status error(ErrorKind kind) { return Status{kind, static_cast<int>(kind)}; }

}  // namespace

FakeSystem& fake_system() { return g_system; }

void reset_fake_system() {
  g_system = FakeSystem{};
  g_open.clear();
  g_next_handle = 3;
  g_stdin_position = 0;
  g_writes = 0;
}

void prepare_process() {}

Handle standard_input() { return kStdin; }
Handle standard_output() { return kStdout; }
Handle standard_error() { return kStderr; }

bool is_character_device(Handle h) {
  return (h == kStdin || h == kStdout) && g_system.console_is_terminal;
}

Status open_for_read(const std::string& name, Handle* h, FirstRead* first) {
  *h = kNoHandle;
  if (name.empty() || name.find('\0') != std::string::npos) return error(ErrorKind::kBadName);
  const std::string path = absolute(name);
  if (is_directory(path)) return error(ErrorKind::kAccessDenied);
  if (g_system.files.count(path) == 0) return error(ErrorKind::kNotFound);
  *h = g_next_handle++;
  g_open[*h] = OpenFile{path, 0, false};
  if (first != nullptr && first->size > 0) {
    first->status = read(*h, first->buffer, first->size, &first->got);
  }
  return Status{};
}

std::string describe_error(const Status& status) {
  switch (status.kind) {
    case ErrorKind::kNone: return {};
    case ErrorKind::kNotFound: return "No such file or directory";
    case ErrorKind::kAccessDenied: return "Permission denied";
    default: return "I/O error";
  }
}

Status open_for_write(const std::string& path, Handle* h) {
  *h = kNoHandle;
  if (path.empty() || path.find('\0') != std::string::npos) return error(ErrorKind::kBadName);
  if (is_directory(path)) return error(ErrorKind::kAccessDenied);
  g_system.files[path].clear();
  *h = g_next_handle++;
  g_open[*h] = OpenFile{path, 0, true};
  return Status{};
}

Status read(Handle h, void* buffer, size_t n, size_t* got) {
  *got = 0;
  const std::string* source = nullptr;
  size_t* position = nullptr;
  if (h == kStdin) {
    source = &g_system.console_input;
    position = &g_stdin_position;
  } else if (auto it = g_open.find(h); it != g_open.end() && !it->second.writing) {
    source = &g_system.files[it->second.path];
    position = &it->second.position;
  } else {
    return error(ErrorKind::kOther);
  }
  if (n == 0) return Status{};
  if (*position >= source->size()) return error(ErrorKind::kEndOfFile);
  *got = std::min(n, source->size() - *position);
  source->copy(static_cast<char*>(buffer), *got, *position);
  *position += *got;
  return Status{};
}

Status write(Handle h, const void* data, size_t n) {
  if (g_writes++ >= g_system.fail_write_after) return error(ErrorKind::kBrokenPipe);
  const char* bytes = static_cast<const char*>(data);
  if (h == kStdout) {
    g_system.console_output.append(bytes, n);
  } else if (h == kStderr) {
    g_system.error_output.append(bytes, n);
  } else if (auto it = g_open.find(h); it != g_open.end() && it->second.writing) {
    g_system.files[it->second.path].append(bytes, n);
  } else {
    return error(ErrorKind::kOther);
  }
  return Status{};
}

Status write_text_mode(Handle h, const char* data, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    if (data[i] == '\n') out.push_back('\r');
    out.push_back(data[i]);
  }
  return write(h, out.data(), out.size());
}

void close(Handle h) { g_open.erase(h); }

bool identify(Handle h, FileId* id) {
  auto it = g_open.find(h);
  return it != g_open.end() && identify_path(it->second.path, id);
}

bool identify_path(const std::string& path, FileId* id) {
  auto it = g_system.files.find(absolute(path));
  if (it == g_system.files.end()) return false;
  *id = FileId{1, static_cast<uint64_t>(std::distance(g_system.files.begin(), it)) + 1};
  return true;
}

std::string full_path(std::string_view name) {
  if (name.empty()) return std::string();
  return fold_full_path(g_system.current_directory, name);
}

std::optional<std::string> environment(const char* name) {
  auto it = g_system.environment.find(name);
  if (it == g_system.environment.end()) return std::nullopt;
  return it->second;
}

bool redirect_error_stream(const std::string&) { return false; }

bool append_text_mode(const std::string& path, const char* data, size_t n) {
  std::string& file = g_system.files[path];
  for (size_t i = 0; i < n; ++i) {
    if (data[i] == '\n') file.push_back('\r');
    file.push_back(data[i]);
  }
  return true;
}

void exit_process(int status) { throw ProcessExit{status}; }

void mask_floating_point_exceptions() {}
void enable_flush_to_zero() {}
double thread_cpu_seconds() { return 0; }  // a clock that stands still

bool walk_stack(int, FrameVisitor visit, void* context) {
  StackFrame frame;
  frame.module = "surge";
  visit(frame, context);
  return true;
}

void install_console_event_handler(void (*)(ConsoleEvent)) {}

}  // namespace platform
