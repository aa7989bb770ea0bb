// The message catalogue, the run-time error report and its call-stack listing.
#include "recio/messages.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

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

constexpr const char* kPrefixes[] = {
    "forrtl: ",
    "forrtl: info (%i): ",
    "forrtl: warning (%i): ",
    "forrtl: error (%i): ",
    "forrtl: severe (%i): ",
};

constexpr size_t kReportSize = 16384;

// The report being built: a fixed buffer that silently cuts what does not fit.
struct ReportBuffer {
  char data[kReportSize];
  size_t used = 0;

  void append(const char* text, size_t n) {
    size_t room = kReportSize - 1 - used;
    if (n > room) n = room;
    std::memcpy(data + used, text, n);
    used += n;
  }
  void appendf(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    char line[1024];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n > 0) append(line, std::min(static_cast<size_t>(n), sizeof line - 1));
  }
};

bool visit_default(const platform::StackFrame& frame, void* context) {
  auto* report = static_cast<ReportBuffer*>(context);
  const bool known = !frame.routine.empty() || !frame.source.empty();
  char line_number[16] = "Unknown";
  if (known && frame.line > 0) std::snprintf(line_number, sizeof line_number, "%d", frame.line);
  report->appendf("%-17.17s  %8.8X  %-17.17s  %10.10s  %s\n", frame.module.c_str(),
                  static_cast<unsigned>(frame.module_offset),
                  known && !frame.routine.empty() ? frame.routine.c_str() : "Unknown",
                  line_number, known && !frame.source.empty() ? frame.source.c_str() : "Unknown");
  return report->used < kReportSize - 1;
}

struct VerboseWalk {
  ReportBuffer* report;
  int number = 0;
};

bool visit_verbose(const platform::StackFrame& frame, void* context) {
  auto* walk = static_cast<VerboseWalk*>(context);
  ReportBuffer* report = walk->report;
  const bool known = !frame.routine.empty() || !frame.source.empty();
  report->appendf("--------- Frame # %d\n", walk->number++);
  report->appendf("Image: %s\n", frame.module.c_str());
  report->appendf("PC: %8.8X\n", static_cast<unsigned>(frame.module_offset));
  report->appendf("Routine name: %s\n", known && !frame.routine.empty() ? frame.routine.c_str() : "Unknown");
  report->appendf("Source file: %s\n", known && !frame.source.empty() ? frame.source.c_str() : "Unknown");
  if (known && frame.line > 0) {
    report->appendf("Line number: %d\n", frame.line);
  } else {
    report->appendf("Line number: Unknown\n");
  }
  report->appendf("Frame address: %016lX\nProgram counter: %016lX\n\n",
                  static_cast<unsigned long>(frame.frame_address),
                  static_cast<unsigned long>(frame.pc));
  return report->used < kReportSize - 1;
}

void append_stack_listing(ReportBuffer* report) {
  bool ok;
  if (switch_on("FOR_ENABLE_VERBOSE_STACK_TRACE") || switch_on("TBK_ENABLE_VERBOSE_STACK_TRACE")) {
    report->appendf("\n\nTraceback symbolic or hex stack dump follows:\n\n");
    VerboseWalk walk{report};
    ok = platform::walk_stack(2, visit_verbose, &walk);
  } else {
    report->appendf("%-19.19s%-10.10s%-19.19s%-12.12s%-19.19s\n", "Image", "PC", "Routine", "Line",
                    "Source");
    ok = platform::walk_stack(2, visit_default, report);
  }
  if (!ok) report->appendf("\nStack trace terminated abnormally.\n");
}

std::atomic<bool> g_first_report{true};

}  // namespace

const MessageRow* find_message(int32_t number) {
  for (const MessageRow& row : kCatalog) {
    if (row.number == number) return &row;
  }
  return nullptr;
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
  static ReportBuffer report;  // one report at a time; too big for a thread's stack
  const MessageRow* row = find_message(number);
  int severity = row ? row->severity : 4;
  const char* text = row ? row->text : "unknown message";

  char body[1024];
  va_list args;
  va_start(args, number);
  std::vsnprintf(body, sizeof body, text, args);
  va_end(args);
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, kPrefixes[severity], static_cast<int>(number));

  report.used = 0;
  report.appendf("%s%s\r\n", prefix, body);
  if (severity >= 3 && !switch_on("FOR_DISABLE_STACK_TRACE")) append_stack_listing(&report);

  if (g_first_report.exchange(false)) {
    if (auto fort0 = platform::environment("FORT0")) platform::redirect_error_stream(*fort0);
  }
  if (auto log = platform::environment("FOR_DIAGNOSTIC_LOG_FILE")) {
    platform::append_text_mode(*log, report.data, report.used);
  }
  if (!switch_on("FOR_DISABLE_DIAGNOSTIC_DISPLAY")) {
    platform::write_text_mode(platform::standard_error(), report.data, report.used);
  }
  if (severity == 4) {
    close_all_units();
    platform::exit_process(number);
  }
}

void report_io_error(int32_t number, const UnitBlock& block) {
  issue_message(number, static_cast<int>(block.number), block.file_name.c_str());
  platform::exit_process(number);  // every I/O message is severe; never reached
}

void on_console_event(platform::ConsoleEvent event) {
  const char* name = "control-C";
  int status = 130;  // an interrupted run is not a success
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
