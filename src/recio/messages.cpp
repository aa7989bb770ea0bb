// The message catalogue, the run-time error report and its call-stack listing.
#include "recio/messages.h"

#include <algorithm>
#include <cassert>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "recio/units.h"

namespace recio {
namespace {

// In number order; looked up by a linear search.
constexpr MessageRow kCatalog[] = {
    {9, 4, "permission to access file denied, unit %d, file %s"},
    {10, 4, "cannot overwrite existing file, unit %d, file %s"},
    {22, 4, "input record too long, unit %d, file %s"},
    {24, 4, "end-of-file during read, unit %d, file %s"},
    {29, 4, "file not found, unit %d, file %s"},
    {30, 4, "open failure, unit %d, file %s"},
    {38, 4, "error during write, unit %d, file %s"},
    {39, 4, "error during read, unit %d, file %s"},
    {41, 4, "insufficient virtual memory"},
    {42, 4, "no such device, unit %d, file %s"},
    {43, 4, "file name specification error, unit %d, file %s"},
    {45, 4, "keyword value error in OPEN statement, unit %d, file %s"},
    {59, 4, "list-directed I/O syntax error, unit %d, file %s"},
    {61, 4, "format/variable-type mismatch, unit %d, file %s"},
    {63, 4, "output conversion error, unit %d, file %s"},
    {64, 4, "input conversion error, unit %d, file %s"},
    {66, 4, "output statement overflows record, unit %d, file %s"},
    {98, 4, "cannot allocate memory for the file buffer - out of memory, unit %d, file %s"},
    {157, 4, "Program Exception - access violation"},
    {200, 3, "program aborting due to %s event"},
};

// Indexed by severity; each is formatted with the message number.
constexpr const char* kPrefixes[] = {
    "forrtl: ",
    "forrtl: info (%i): ",
    "forrtl: warning (%i): ",
    "forrtl: error (%i): ",
    "forrtl: severe (%i): ",
};

const char* known_or_unknown(const std::string& text) {
  return text.empty() ? "Unknown" : text.c_str();
}

bool visit_default(const platform::StackFrame& frame, void* context) {
  auto* report = static_cast<ReportText*>(context);
  std::string routine(unqualified_name(frame.routine));
  char line[16] = "Unknown";
  if (frame.line > 0) std::snprintf(line, sizeof line, "%d", frame.line);
  report->appendf("%-17.17s  %8.8X  %-17.17s  %10.10s  %s\n", frame.module.c_str(),
                  static_cast<unsigned>(frame.module_offset), known_or_unknown(routine), line,
                  known_or_unknown(frame.source));
  return !report->full();
}

struct VerboseWalk {
  ReportText* report;
  int number = 0;
};

bool visit_verbose(const platform::StackFrame& frame, void* context) {
  auto* walk = static_cast<VerboseWalk*>(context);
  ReportText* report = walk->report;
  char line[16] = "Unknown";
  if (frame.line > 0) std::snprintf(line, sizeof line, "%d", frame.line);
  report->appendf("--------- Frame # %d\n", walk->number++);
  report->appendf("Image: %s\n", frame.module.c_str());
  report->appendf("PC: %8.8X\n", static_cast<unsigned>(frame.module_offset));
  report->appendf("Routine name: %s\n", known_or_unknown(frame.routine));
  report->appendf("Source file: %s\n", known_or_unknown(frame.source));
  report->appendf("Line number: %s\n", line);
  report->appendf("Return address: %016lX\nStack frame: %016lX\n\n",
                  static_cast<unsigned long>(frame.pc),
                  static_cast<unsigned long>(frame.frame_address));
  return !report->full();
}

// One report at a time. The console handler keeps it until the process ends,
// so that no other report can follow its own.
std::recursive_mutex g_report_lock;
ReportText g_report;  // too big for a thread's stack
bool g_first_report = true;

}  // namespace

void ReportText::append(std::string_view text) {
  size_t n = std::min(text.size(), kReportSize - size_);
  std::memcpy(data_ + size_, text.data(), n);
  size_ += n;
}

void ReportText::appendf(const char* format, ...) {
  char line[1024];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n > 0) append(std::string_view(line, std::min(static_cast<size_t>(n), sizeof line - 1)));
}

const MessageRow* find_message(int32_t number) {
  for (const MessageRow& row : kCatalog) {
    if (row.number == number) return &row;
  }
  return nullptr;
}

const MessageRow* message_catalog_begin() { return std::begin(kCatalog); }
const MessageRow* message_catalog_end() { return std::end(kCatalog); }

std::string_view unqualified_name(std::string_view routine) {
  size_t start = 0;
  int depth = 0;
  for (size_t i = 0; i < routine.size(); ++i) {
    char c = routine[i];
    if (c == '<' || c == '(') {
      ++depth;
    } else if ((c == '>' || c == ')') && depth > 0) {
      --depth;
    } else if (depth == 0 && c == ':' && i + 1 < routine.size() && routine[i + 1] == ':') {
      start = i + 2;
      ++i;
    }
  }
  return routine.substr(start);
}

// Not inlined, so that skipping its own frame starts the listing at its caller.
[[gnu::noinline]] void append_stack_listing(ReportText* report, bool verbose, StackWalker walk) {
  bool complete;
  if (verbose) {
    report->append("\n\nTraceback symbolic or hex stack dump follows:\n\n");
    VerboseWalk context{report};
    complete = walk(1, visit_verbose, &context);
  } else {
    report->appendf("%-19.19s%-10.10s%-19.19s%-12.12s%-19.19s\n", "Image", "PC", "Routine",
                    "Line", "Source");
    complete = walk(1, visit_default, report);
  }
  if (!complete) report->append("\nStack trace terminated abnormally.\n");
}

bool switch_value_on(std::string_view value) {
  if (value.empty()) return false;
  char c = value.front();
  if (c == 't' || c == 'T' || c == 'y' || c == 'Y') return true;
  bool nonzero = false;
  for (char d : value) {
    if (d < '0' || d > '9') return false;
    if (d != '0') nonzero = true;
  }
  return nonzero;
}

bool switch_on(const char* name) {
  auto value = platform::environment(name);
  return value && switch_value_on(*value);
}

void issue_message(int32_t number, ...) {
  std::lock_guard<std::recursive_mutex> guard(g_report_lock);
  const MessageRow* row = find_message(number);
  assert(row != nullptr && "message number missing from the catalogue");
  const int severity = row ? row->severity : 4;

  char text[1024];
  va_list args;
  va_start(args, number);
  std::vsnprintf(text, sizeof text, row ? row->text : "unknown message %d", args);
  va_end(args);
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, kPrefixes[severity], static_cast<int>(number));

  g_report.clear();
  g_report.appendf("%s%s\r\n", prefix, text);
  if (severity >= 3 && !switch_on("FOR_DISABLE_STACK_TRACE")) {
    append_stack_listing(&g_report, switch_on("FOR_ENABLE_VERBOSE_STACK_TRACE") ||
                                        switch_on("TBK_ENABLE_VERBOSE_STACK_TRACE"));
  }

  // Reports go through text-mode streams: every LF leaves as CR LF.
  const std::string_view bytes = g_report.view();
  if (g_first_report) {
    g_first_report = false;
    auto fort0 = platform::environment("FORT0");
    if (fort0 && !fort0->empty()) platform::redirect_error_stream(*fort0);
  }
  auto log = platform::environment("FOR_DIAGNOSTIC_LOG_FILE");
  if (log && !log->empty()) platform::append_text_mode(*log, bytes.data(), bytes.size());
  if (!switch_on("FOR_DISABLE_DIAGNOSTIC_DISPLAY")) {
    platform::write_text_mode(platform::standard_error(), bytes.data(), bytes.size());
  }
  if (severity == 4) {
    close_all_units();
    platform::exit_process(number);
  }
}

void report_io_error(int32_t number, const UnitBlock& block) {
  issue_message(number, static_cast<int>(block.number), reported_file_name(block).c_str());
  platform::exit_process(number);  // every I/O message is severe: not reached
}

void on_console_event(platform::ConsoleEvent event) {
  // Held to the end: a report that the main thread starts meanwhile waits.
  g_report_lock.lock();
  const char* name = "control-C";
  int status = 130;  // an interrupted run is not a success: the shells' status
  if (event == platform::ConsoleEvent::kControlBreak) {
    name = "control-BREAK";
    status = 1;
  } else if (event == platform::ConsoleEvent::kClose) {
    name = "window-CLOSE";
    status = 2;
  }
  issue_message(200, name);
  close_all_units();
  platform::exit_process(status);
}

}  // namespace recio
