// The coefficient check: both files read with the calculator's statements,
// every fault and doubtful value turned into a finding.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string_view>

#include "kit/coefficients/finding_text.h"
#include "kit/coefficients/check.h"
#include "kit/coefficients/group_reader.h"
#include "kit/core/number.h"
#include "kit/files/sha256.h"
#include "model/site_table.h"
#include "platform/platform.h"
#include "recio/units.h"

namespace kit {
namespace {

using recio::InputFault;

constexpr int kTailNorm = 9;
constexpr int kTailScale = 11;
bool is_width(int item) { return item % 3 == 2 && item != kTailScale; }

// The findings of one file.
class FileCheck {
 public:
  FileCheck(const CoefficientFile& file, bool parameters, CheckReport* report)
      : file_(file), parameters_(parameters), count_(parameters ? surge::kParameterCount : 1),
        report_(report) {}

  void run();

 private:
  void add(uint64_t line, uint64_t column, Severity severity, std::string message) {
    found_.push_back(Finding{file_.path, line, column, severity, std::move(message)});
  }
  float* cell(int location, int item) {
    surge::SiteTable& t = report_->set.table;
    return parameters_ ? &(t.*surge::kParameterColumns[item])[location] : &t.slope[location];
  }
  const char* name(int item) const { return parameters_ ? surge::kParameterNames[item] : "slope"; }
  std::string where(int location, int item) const {
    return "location " + std::to_string(location) + ", " + name(item);
  }
  std::string columns(int first, int last) const {
    return first == last ? std::string(name(first))
                         : std::string(name(first)) + " to " + name(last);
  }
  // The last item that a repeat count at item k reaches (a count below 1
  // still hands out one value).
  int last_repeated(int k, int64_t count) const {
    return static_cast<int>(std::clamp<int64_t>(k + count - 1, k, count_ - 1));
  }
  std::string last_value() const { return count_ == 1 ? "its value" : "its 21st value"; }

  void check_item(int location, int k, const GroupTrace& group);
  void check_value(int location, int k, const ItemTrace& item);
  void check_end(int location, const GroupTrace& group);
  void check_layout(const std::vector<GroupTrace>& groups);
  void note_leftover(int location, const GroupTrace& group);

  const CoefficientFile& file_;
  const bool parameters_;
  const int count_;
  CheckReport* report_;
  std::vector<Finding> found_;
  int first_message_ = 0;
};

void FileCheck::run() {
  if (!file_.found) {
    add(0, 0, Severity::kError, "cannot open the file: " + file_.failure);
    first_message_ = file_.open_message;
  } else {
    GroupReader reader(file_.bytes);
    std::vector<GroupTrace> groups(surge::kLocations);
    bool ended = false;
    for (int location = 1; location <= surge::kLocations && !ended; ++location) {
      float* destinations[surge::kParameterCount];
      for (int k = 0; k < count_; ++k) destinations[k] = cell(location, k);
      GroupTrace& group = groups[location - 1];
      reader.read_group(count_, destinations, &group);
      for (int k = 0; k < count_; ++k) check_item(location, k, group);
      ended = group.ended;
      if (ended) check_end(location, group);
      if (group.abandoned) {
        const ItemTrace& last = *std::find_if(
            group.items.rbegin(), group.items.rend(),
            [](const ItemTrace& item) { return item.source == ItemSource::kFault; });
        add(last.line, last.column, Severity::kNote,
            "location " + std::to_string(location) + ": " + std::to_string(kMaxGroupFaults) +
                " faults in one group: the rest of it is not checked");
      }
      if (parameters_ && !group.faults && !group.ended) ++report_->locations_read;
    }
    // Also when the file ended early: a missing number shows as a group that
    // spans more lines than the others, long before the end.
    check_layout(groups);
    if (!ended) {
      const TrailingText rest = reader.rest_of_file();
      if (rest.first_line != 0) {
        add(rest.first_line, 0, rest.unreadable ? Severity::kWarning : Severity::kNote,
            "text after the 20th group is never read (" + std::to_string(rest.lines) +
                (rest.lines == 1 ? " line)" : " lines)") +
                (rest.unreadable ? ": it holds bytes the calculator cannot read" : ""));
      }
    }
  }
  std::stable_sort(found_.begin(), found_.end(), [](const Finding& a, const Finding& b) {
    return a.line != b.line ? a.line < b.line : a.column < b.column;
  });
  for (Finding& f : found_) {
    if (f.severity == Severity::kError) ++report_->errors;
    if (f.severity == Severity::kWarning) ++report_->warnings;
    if (f.severity == Severity::kNote) ++report_->notes;
    report_->findings.push_back(std::move(f));
  }
  if (report_->calculator_message == 0) report_->calculator_message = first_message_;
}

void FileCheck::check_item(int location, int k, const GroupTrace& group) {
  const ItemTrace& item = group.items[k];
  const std::string at = where(location, k);
  if (item.mark_line != 0) {
    if (first_message_ == 0) first_message_ = recio::message_number(InputFault::kBadCharacter);
    add(item.mark_line, item.mark_column, Severity::kError,
        at + ": a byte-order mark, which the calculator cannot read: save the file without one");
  }
  const std::string unset = "the calculator keeps the value of its previous load (0 at the first)";
  switch (item.source) {
    case ItemSource::kFault:
      if (first_message_ == 0) first_message_ = recio::message_number(item.fault);
      if (!fault_ends_file(item.fault)) {  // check_end reports those
        add(item.line, item.column, Severity::kError, at + ": " + fault_message(item));
      }
      return;
    case ItemSource::kNull:
      add(item.line, item.column, Severity::kWarning,
          at + ": a null value (a comma where a number should be) leaves it unset: " + unset);
      return;
    case ItemSource::kRepeatNull: {
      const int last = last_repeated(k, item.repeat_count);
      add(item.line, item.column, Severity::kWarning,
          at + ": repeat count " + quote_text(item.text) + " leaves " + columns(k, last) +
              " unset: " + unset);
      return;
    }
    case ItemSource::kSlash:
      add(item.line, item.column, Severity::kWarning,
          "location " + std::to_string(location) + ": a slash ends the group early: " +
              columns(k, count_ - 1) + (k == count_ - 1 ? " is" : " are") + " left unset: " +
              unset);
      return;
    case ItemSource::kRepeat: {
      const int last = last_repeated(k, item.repeat_count);
      std::string message = at + ": repeat count " + quote_text(item.text) + " gives " +
                            columns(k, last) + " the same value";
      if (item.repeat_count < 1) message = at + ": repeat count " + quote_text(item.text) +
                                           " is below 1: it still gives one value";
      const int64_t dropped = item.repeat_count - (last - k + 1);
      if (dropped > 0) message += "; " + std::to_string(dropped) + " more are dropped";
      add(item.line, item.column, Severity::kWarning, std::move(message));
      break;
    }
    case ItemSource::kValue:
      if (item.pair) {
        add(item.line, item.column, Severity::kWarning,
            at + ": " + quote_text(item.text) + " is a pair: only its first number is read");
      } else if (item.logical) {
        add(item.line, item.column, Severity::kWarning,
            at + ": " + quote_text(item.text) + " reads as a logical value, stored as " +
                shortest_float(*cell(location, k)));
        return;
      } else if (item.sign_exponent) {
        add(item.line, item.column, Severity::kWarning,
            at + ": " + quote_text(item.text) + " reads as " + shortest_float(*cell(location, k)) +
                ": a sign after its digits starts an exponent");
      } else if (item.decimal_comma) {
        add(item.line, item.column, Severity::kWarning,
            at + ": " + quote_text(item.text) +
                " looks like a decimal comma: it reads as two numbers, and every later "
                "column shifts");
      }
      break;
    case ItemSource::kRepeated: break;
    case ItemSource::kRepeatedNull:
    case ItemSource::kAfterSlash:
    case ItemSource::kUnread: return;
  }
  check_value(location, k, item);
}

// Values that the calculator accepts but that give infinities or NaNs, or make
// no sense for their column.
void FileCheck::check_value(int location, int k, const ItemTrace& item) {
  const float value = *cell(location, k);
  const std::string at = where(location, k) + ": ";
  auto warn = [&](const std::string& message) {
    add(item.line, item.column, Severity::kWarning, at + message);
  };
  if (!std::isfinite(value)) {
    warn(quote_text(item.text) + " gives " + shortest_float(value) +
         ": this location's surges become infinite or NaN");
    return;
  }
  if (!parameters_) return;
  // A tail scale below zero is the usual fitted form (the tail falls off as X
  // grows); only zero breaks it.
  if (is_width(k) && value == 0) {
    warn("a width of 0 divides by zero: the curve's surges become NaN");
  } else if (is_width(k) && value < 0) {
    warn("a width below zero (" + shortest_float(value) + ") makes no sense");
  } else if (k == kTailScale && value == 0) {
    warn("a tail scale of 0 divides by zero: the tail's surges become infinite or NaN");
  }
  if (k == kTailNorm) {
    const float factor = 1.0f / value;  // as the model forms it, in single precision
    if (value == 0) {
      warn("a tail normaliser of 0 makes the tail curve's factor infinite");
    } else if (!std::isfinite(factor)) {
      warn("a tail normaliser of " + shortest_float(value) +
           " is so small that the tail curve's factor overflows to infinity");
    }
  }
}

void FileCheck::check_end(int location, const GroupTrace& group) {
  const std::string loc = "location " + std::to_string(location);
  int k = -1;
  for (int i = 0; i < count_; ++i) {
    if (group.items[i].source == ItemSource::kFault) k = i;
  }
  if (first_message_ == 0) first_message_ = recio::message_number(group.end_fault);
  std::string message;
  switch (group.end_fault) {
    case InputFault::kEndOfFile:
      if (k <= 0) {  // no value of the group was read
        message = group.end_line == 0 ? std::string("the file is empty: ")
                                      : "the file ends before " + loc + ": ";
        message += parameters_ ? "20 groups of 21 values are needed"
                               : "20 lines with a value are needed";
      } else {
        message = where(location, k) + ": the file ends inside the group, after " +
                  std::to_string(k) + " of its " + std::to_string(count_) + " values";
      }
      break;
    case InputFault::kEndInQuotes:
      message = where(location, k) + ": the file ends inside quoted text";
      break;
    case InputFault::kNoRecordMemory:
      message = loc + ": a line too long to hold in memory";
      break;
    default: message = loc + ": the file cannot be read"; break;
  }
  add(group.end_line, 0, Severity::kError, std::move(message));
}

// Groups laid out unlike the others of the file: a missing or extra number
// shifts every later column and the calculator says nothing.
void FileCheck::check_layout(const std::vector<GroupTrace>& groups) {
  using Layout = std::pair<uint64_t, bool>;  // lines spanned, text left after the last value
  auto layout_of = [](const GroupTrace& g) {
    return Layout{g.last_line - g.first_line + 1, !g.leftover.empty()};
  };
  auto complete = [&](const GroupTrace& g) {
    return !g.faults && !g.ended && g.first_line != 0 &&
           g.items.back().source != ItemSource::kAfterSlash &&
           g.items.back().source != ItemSource::kSlash;
  };
  std::map<Layout, int> tally;
  for (const GroupTrace& g : groups) {
    if (complete(g)) ++tally[layout_of(g)];
  }
  Layout usual{0, false};
  int most = 0;
  for (const auto& [layout, n] : tally) {
    if (n > most) usual = layout, most = n;  // ties go to the fewer lines, nothing left
  }
  for (int location = 1; location <= surge::kLocations; ++location) {
    const GroupTrace& g = groups[location - 1];
    const std::string loc = "location " + std::to_string(location);
    const bool odd = most >= 2 && complete(g) && layout_of(g) != usual;
    if (!odd) {
      note_leftover(location, g);
      continue;
    }
    const uint64_t lines = layout_of(g).first;
    std::string message = loc;
    uint64_t line = g.first_line;
    uint64_t column = g.items.front().column;
    if (lines != usual.first) {
      message += " spans " + std::to_string(lines) + " lines where the others span " +
                 std::to_string(usual.first);
      if (!g.leftover.empty()) message += ", and leaves " + quote_text(g.leftover) + " unread";
    } else if (!g.leftover.empty()) {
      message += " leaves " + quote_text(g.leftover) + " unread after " + last_value() +
                 ", unlike the others";
      line = g.leftover_line;
      column = g.leftover_column;
    } else {
      message += " has nothing after " + last_value() + " where the others have more";
      line = g.last_line;
      column = 0;
    }
    add(line, column, Severity::kWarning,
        message + ": a missing or extra number shifts every later column");
  }
}

// Numbers after the last value are noted (a slip often puts them there); a
// comment in words is what a template invites, and is left alone.
void FileCheck::note_leftover(int location, const GroupTrace& g) {
  if (g.leftover.empty()) return;
  const bool bad = has_unreadable_bytes(g.leftover);
  double number = 0;
  const std::string_view first = std::string_view(g.leftover).substr(0, g.leftover.find_first_of(" \t,"));
  if (!bad && !parse_real(first, &number)) return;
  add(g.leftover_line, g.leftover_column, bad ? Severity::kWarning : Severity::kNote,
      "location " + std::to_string(location) + ": " + quote_text(g.leftover) + " after " +
          last_value() + " is never read" +
          (bad ? ": it holds bytes the calculator cannot read" : ""));
}

}  // namespace

CoefficientFile read_coefficient_file(const std::string& path) {
  CoefficientFile file;
  file.path = path;
  platform::Handle handle = platform::kNoHandle;
  const platform::Status opened = platform::open_for_read(path, &handle);
  if (!opened.ok()) {
    std::error_code ec;
    file.failure = std::filesystem::is_directory(path, ec) ? std::string("it is a folder")
                                                           : platform::describe_error(opened);
    file.open_message = recio::open_failure_message(opened.kind);
    return file;
  }
  char buffer[65536];
  size_t got = 0;
  platform::Status status;
  while ((status = platform::read(handle, buffer, sizeof buffer, &got)).ok() && got > 0) {
    file.bytes.append(buffer, got);
  }
  platform::close(handle);
  if (!status.ok() && status.kind != platform::ErrorKind::kEndOfFile) {
    file.failure = "a read failed: " + platform::describe_error(status);
    file.bytes.clear();
    return file;
  }
  file.found = true;
  return file;
}

CheckReport check_coefficient_contents(const CoefficientFile& parameters,
                                       const CoefficientFile& slopes) {
  CheckReport report;
  if (parameters.found) report.set.parameter_sha256 = sha256_hex(parameters.bytes);
  if (slopes.found) report.set.slope_sha256 = sha256_hex(slopes.bytes);
  FileCheck(parameters, true, &report).run();
  FileCheck(slopes, false, &report).run();
  return report;
}

CheckReport check_coefficient_files(const std::string& dir) {
  return check_coefficient_contents(read_coefficient_file(path_in(dir, kParameterFileName)),
                                    read_coefficient_file(path_in(dir, kSlopeFileName)));
}

}  // namespace kit
