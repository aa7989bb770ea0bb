// The coefficient check: both files read with the calculator's statements,
// every fault and doubtful value turned into a finding.
#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string_view>

#include "kit/coefficients/finding_text.h"
#include "kit/coefficients/check.h"
#include "kit/coefficients/coefficient_text.h"
#include "kit/coefficients/group_reader.h"
#include "kit/core/limits.h"
#include "kit/core/number.h"
#include "kit/files/sha256.h"
#include "model/site_table.h"
#include "model/surge.h"
#include "platform/platform.h"
#include "recio/units.h"

namespace kit {
namespace {

using recio::InputFault;

constexpr int kTailNorm = 9;
constexpr int kTailScale = 11;
bool is_width(int item) { return item % 3 == 2 && item != kTailScale; }

// The fitted curves with the items of a group that hold their coefficients
// and the range of X each was fitted over, lower end excluded.
struct CurveSpan {
  surge::Curve curve;
  int first_item, last_item;
  double x_from, x_to;
};
constexpr CurveSpan kCurveSpans[] = {
    {surge::Curve::kRight, 12, 20, surge::kRightFrom, 0},
    {surge::Curve::kLeft, 0, 8, 0, surge::kLeftTo},
    {surge::Curve::kTail, 9, 11, surge::kLeftTo, surge::kTailTo},
};
constexpr int kCurves = 3;
int curve_index(int item) { return item <= 8 ? 1 : item <= 11 ? 2 : 0; }  // into kCurveSpans

const char* curve_words(surge::Curve c) {
  switch (c) {
    case surge::Curve::kLeft: return "the LEFT curve";
    case surge::Curve::kRight: return "the RIGHT curve";
    case surge::Curve::kTail: return "the tail";
    case surge::Curve::kNone: break;
  }
  return "no curve";
}

// True when the first blank- or comma-separated word of `text` is a number.
bool starts_with_number(std::string_view text) {
  double number = 0;
  return parse_real(text.substr(0, text.find_first_of(" \t,")), &number);
}

// The findings of one file.
class FileCheck {
 public:
  FileCheck(const CoefficientFile& file, bool parameters, CheckReport* report)
      : file_(file), parameters_(parameters), count_(parameters ? surge::kParameterCount : 1),
        report_(report) {}

  // Reads the file and checks each value and the layout of its groups.
  void run();
  // The parameter file, after both files are read: each location's curves
  // evaluated over their fitted ranges (the slope file's check in `slopes`).
  void check_curves(const FileCheck& slopes);
  // Hands the findings, in file order, to the report.
  void finish();
  // Whether location i (from 1) was read from this file without a fault.
  bool complete(int location) const { return complete_[location - 1]; }

 private:
  // A finding, and whether it is an error the calculator does not stop at.
  struct Pending {
    Finding finding;
    bool kit_only = false;
  };
  void add(uint64_t line, uint64_t column, Severity severity, std::string message) {
    found_.push_back({Finding{file_.path, line, column, severity, std::move(message)}, false});
  }
  // An error that only surgekit refuses: the calculator loads the value.
  void add_kit_error(uint64_t line, uint64_t column, std::string message) {
    found_.push_back({Finding{file_.path, line, column, Severity::kError, std::move(message)}, true});
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
  void check_gaps(const std::vector<GroupTrace>& groups);
  void note_leftover(int location, const GroupTrace& group);
  void note_jumps(const GroupTrace& group, int location);
  void note_missing_lines();
  int first_misplaced_location(int before) const;
  std::string shifted_after(int location) const;

  const CoefficientFile& file_;
  const bool parameters_;
  const int count_;
  CheckReport* report_;
  std::vector<Pending> found_;
  int first_message_ = 0;
  std::array<bool, surge::kLocations> complete_{};
  std::vector<GroupTrace> groups_;
  // Curves (by kCurveSpans index) with a coefficient already refused.
  std::array<std::array<bool, kCurves>, surge::kLocations> refused_curve_{};
};

void FileCheck::run() {
  if (!file_.found) {
    add(0, 0, Severity::kError, "cannot open the file: " + file_.failure);
    first_message_ = file_.open_message;
  } else {
    GroupReader reader(file_.bytes);
    groups_.assign(surge::kLocations, GroupTrace{});
    std::vector<GroupTrace>& groups = groups_;
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
      complete_[location - 1] = !group.faults && !group.ended;
    }
    // Also when the file ended early: a missing number shows as a group that
    // spans more lines than the others, long before the end.
    check_layout(groups);
    check_gaps(groups);
    note_missing_lines();
    if (parameters_) {
      for (int location = 1; location <= surge::kLocations; ++location) {
        if (complete(location)) note_jumps(groups[location - 1], location);
      }
    }
    if (!ended) {
      // The note fit writes there is expected; readable, it goes unmentioned.
      const TrailingText rest = reader.rest_of_file();
      const bool fit_note = rest.first_text.starts_with(kFitNoteMarker) && !rest.unreadable;
      if (rest.first_line != 0 && !fit_note) {
        add(rest.first_line, 0, rest.unreadable ? Severity::kWarning : Severity::kNote,
            "text after the 20th group is never read (" + std::to_string(rest.lines) +
                (rest.lines == 1 ? " line)" : " lines)") +
                (rest.unreadable ? ": it holds bytes the calculator cannot read" : ""));
      }
    }
  }
}

void FileCheck::finish() {
  std::stable_sort(found_.begin(), found_.end(), [](const Pending& a, const Pending& b) {
    return a.finding.line != b.finding.line ? a.finding.line < b.finding.line
                                            : a.finding.column < b.finding.column;
  });
  for (Pending& p : found_) {
    const Severity severity = p.finding.severity;
    if (severity == Severity::kError) ++(p.kit_only ? report_->kit_errors : report_->errors);
    if (severity == Severity::kWarning) ++report_->warnings;
    if (severity == Severity::kNote) ++report_->notes;
    report_->findings.push_back(std::move(p.finding));
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
                shortest_single_text(*cell(location, k)));
        return;
      } else if (item.sign_exponent) {
        add(item.line, item.column, Severity::kWarning,
            at + ": " + quote_text(item.text) + " reads as " +
                shortest_single_text(*cell(location, k)) +
                ": a sign after its digits starts an exponent");
      } else if (item.decimal_comma && parameters_) {
        add(item.line, item.column, Severity::kWarning,
            at + ": " + quote_text(item.text) +
                " looks like a decimal comma: it reads as two numbers, and every later "
                "column shifts");
      } else if (item.decimal_comma) {
        // One value per line: the number after the comma is the rest of the
        // line, which the calculator skips; the next location reads its own line.
        add(item.line, item.column, Severity::kWarning,
            at + ": " + quote_text(item.text) +
                " looks like a decimal comma: it reads as two numbers, the slope is the "
                "first, " + shortest_single_text(*cell(location, k)) +
                ", and the second is never read");
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
  auto refuse = [&](const std::string& message) {
    add_kit_error(item.line, item.column, at + message);
    if (parameters_) refused_curve_[location - 1][curve_index(k)] = true;
  };
  if (!std::isfinite(value)) {
    refuse(quote_text(item.text) + " gives " + shortest_single_text(value) +
           ": this location's surges become infinite or NaN");
    return;
  }
  if (!parameters_) return;
  // A tail scale below zero is the usual fitted form (the tail falls off as X
  // grows); only zero breaks it.
  if (is_width(k) && value == 0) {
    refuse("a width of 0 divides by zero: the curve's surges become NaN");
  } else if (is_width(k) && value < 0) {
    warn("a width below zero (" + shortest_single_text(value) + ") makes no sense");
  } else if (k == kTailScale && value == 0) {
    refuse("a tail scale of 0 divides by zero: the tail's surges become infinite or NaN");
  }
  if (k == kTailNorm) {
    const float factor = 1.0f / value;  // as the model forms it, in single precision
    if (value == 0) {
      refuse("a tail normaliser of 0 makes the tail curve's factor infinite");
    } else if (!std::isfinite(factor)) {
      refuse("a tail normaliser of " + shortest_single_text(value) +
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
    if (!parameters_) {
      // One value per line: text after it shifts nothing, unless it is the
      // next location's value on a line joined to this one.
      // A line with nothing after its value shifts nothing; a decimal comma
      // has a warning of its own.
      if (g.leftover.empty() || g.items.front().decimal_comma) continue;
      message += " leaves " + quote_text(g.leftover) + " unread after its value, unlike the others";
      if (starts_with_number(g.leftover)) {
        message += ": if two lines were joined here, " + shifted_after(location + 1);
      }
      add(g.leftover_line, g.leftover_column, Severity::kWarning, std::move(message));
      continue;
    }
    if (lines != usual.first) {
      message += " spans " + std::to_string(lines) + " lines where the others span " +
                 std::to_string(usual.first);
      if (!g.leftover.empty()) message += ", and leaves " + quote_text(g.leftover) + " unread";
      // A group that takes numbers from a line and leaves the rest of it
      // unread has taken them from the next group: the later groups start a
      // line late.
      if (lines > usual.first && starts_with_number(g.leftover) && location < surge::kLocations) {
        add(line, column, Severity::kWarning,
            message + ": a missing or extra number shifts every later column: " +
                shifted_after(location + 1));
        continue;
      }
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

// "locations 8 to 20 read their neighbour's values", from `first` on.
std::string FileCheck::shifted_after(int first) const {
  if (first >= surge::kLocations) {
    return "location " + std::to_string(surge::kLocations) + " reads its neighbour's " +
           (parameters_ ? "values" : "value");
  }
  return "locations " + std::to_string(first) + " to " + std::to_string(surge::kLocations) +
         " read their neighbour's " + (parameters_ ? "values" : "value");
}

// Blank lines between groups that elsewhere follow one another: the
// calculator skips them, so a location whose values were emptied there makes
// every later location read the next one's.
void FileCheck::check_gaps(const std::vector<GroupTrace>& groups) {
  auto read = [](const GroupTrace& g) { return !g.faults && !g.ended && g.first_line != 0; };
  std::map<uint64_t, int> tally;  // lines from one group's last line to the next's first
  for (int i = 1; i < surge::kLocations; ++i) {
    if (read(groups[i - 1]) && read(groups[i])) ++tally[groups[i].first_line - groups[i - 1].last_line];
  }
  uint64_t usual = 0;
  int most = 0;
  for (const auto& [gap, n] : tally) {
    if (n > most) usual = gap, most = n;
  }
  if (most < 2) return;
  for (int i = 1; i < surge::kLocations; ++i) {
    const GroupTrace& before = groups[i - 1];
    const GroupTrace& g = groups[i];
    if (!read(before) || !read(g) || g.first_line - before.last_line <= usual) continue;
    const int location = i + 1;
    const uint64_t blank = before.last_line + usual;  // the first line more than usual
    add(blank, 0, Severity::kWarning,
        "line " + std::to_string(blank) + " is blank where the others hold " +
            (parameters_ ? "values" : "a value") +
            ": the calculator skips it; if location " + std::to_string(location) + "'s " +
            (parameters_ ? "values were" : "value was") + " deleted there, " +
            shifted_after(location));
  }
}

// Jumps of the response where one curve piece hands over to the next. The
// LEFT and RIGHT curves are fitted to opposite sides of the track and
// commonly differ by half the peak at X = 0, so that join has a larger share.
void FileCheck::note_jumps(const GroupTrace& group, int location) {
  struct Join {
    double x;
    double share;  // of the location's peak |response|
    surge::Curve below, above;
  };
  static constexpr Join kJoins[] = {
      {surge::kRightFrom, 0.10, surge::Curve::kNone, surge::Curve::kRight},
      {0, 0.75, surge::Curve::kRight, surge::Curve::kLeft},
      {surge::kLeftTo, 0.10, surge::Curve::kLeft, surge::Curve::kTail},
      {surge::kTailTo, 0.10, surge::Curve::kTail, surge::Curve::kNone},
  };
  // A radius of 100 km is never shifted; X = (d - a R) / R.
  constexpr double kRadius = 100;
  const surge::SiteTable& table = report_->set.table;
  auto at_distance = [&](double d) {
    return surge::evaluate_surge(
        surge::StormCase{.location = location, .pressure_mb = 950, .radius_km = kRadius, .distance_km = d},
        table);
  };
  auto distance_of = [&](double x) { return x * kRadius + surge::kDistanceOrigin * kRadius; };
  // The response on `curve` as close to the join as double steps of the
  // distance reach from `x` towards `direction`.
  auto response_on = [&](double x, surge::Curve curve, double direction) {
    double d = distance_of(x);
    for (int step = 0; step < 64; ++step) {
      const surge::CaseResult r = at_distance(d);
      if (r.curve == curve) return r.response;
      d = std::nextafter(d, direction * HUGE_VAL);
    }
    return std::nan("");
  };
  double peak = 0;
  // X over the curves' whole range in steps of 0.01.
  const int steps = static_cast<int>((surge::kTailTo - surge::kRightFrom) * 100);
  for (int n = 0; n <= steps; ++n) {
    const double r = at_distance(distance_of(surge::kRightFrom + n * 0.01)).response;
    if (std::isfinite(r)) peak = std::max(peak, std::fabs(r));
  }
  for (const Join& join : kJoins) {
    const double below = join.below == surge::Curve::kNone ? 0 : response_on(join.x, join.below, -1);
    const double above = join.above == surge::Curve::kNone ? 0 : response_on(join.x, join.above, 1);
    if (!std::isfinite(below) || !std::isfinite(above) || peak == 0) continue;
    if (std::fabs(above - below) <= join.share * peak) continue;
    char text[256];
    std::snprintf(text, sizeof text,
                  "location %d: the response jumps at X = %g from %.4g (%s) to %.4g (%s), "
                  "more than %g %% of its peak |response| %.4g",
                  location, join.x, below, curve_words(join.below), above, curve_words(join.above),
                  join.share * 100, peak);
    add(group.first_line, 0, Severity::kNote, text);
  }
}

// Finite coefficients can still give a NaN or infinite response: a tail
// scale near zero sends exp() to infinity, and infinity times the factor
// exp(-t) = 0 is NaN. Each curve is evaluated by the model itself over its
// fitted range, on a grid of X and at both ends (the excluded one as close as
// the distances reach), at the lowest fitted pressure.
void FileCheck::check_curves(const FileCheck& slopes) {
  assert(parameters_);
  if (!file_.found) return;
  // A radius of 32 km is never shifted, and X = (d - a R) / R is exact at the
  // range ends: R and a R are exact in binary.
  constexpr double kRadius = 32;
  constexpr double kStep = 0.01;
  const surge::SiteTable& table = report_->set.table;
  for (int location = 1; location <= surge::kLocations; ++location) {
    if (!complete(location) || !slopes.complete(location) ||
        !std::isfinite(table.slope[location])) {
      continue;  // its errors are already named
    }
    // The case at X, walked by whole doubles of the distance towards
    // `direction` until it falls on `curve`; its curve is kNone if it never does.
    auto at_x = [&](double x, surge::Curve curve, double direction) {
      double d = x * kRadius + surge::kDistanceOrigin * kRadius;
      surge::CaseResult r;
      for (int step = 0; step < 64; ++step) {
        r = surge::evaluate_surge(surge::StormCase{.location = location,
                                                   .pressure_mb = kFittedPressureMinMb,
                                                   .radius_km = kRadius,
                                                   .distance_km = d},
                                  table);
        if (r.curve == curve) return r;
        d = std::nextafter(d, direction * HUGE_VAL);
      }
      r.curve = surge::Curve::kNone;
      return r;
    };
    for (int c = 0; c < kCurves; ++c) {
      if (refused_curve_[location - 1][c]) continue;
      const CurveSpan& span = kCurveSpans[c];
      const int steps = static_cast<int>(std::lround((span.x_to - span.x_from) / kStep));
      for (int n = 0; n <= steps; ++n) {
        const double x = n == steps ? span.x_to : span.x_from + n * kStep;
        const surge::CaseResult r = at_x(x, span.curve, n == 0 ? 1 : -1);
        if (r.curve != span.curve) continue;
        if (std::isfinite(r.response) && std::isfinite(r.surge_m)) continue;
        const ItemTrace& first = groups_[location - 1].items[span.first_item];
        const bool response_bad = !std::isfinite(r.response);
        const double bad = response_bad ? r.response : r.surge_m;
        std::string what =
            std::string(std::isnan(bad) ? "a NaN " : "an infinite ") +
            (response_bad ? "response" : "surge at " + whole_text(kFittedPressureMinMb) + " mb");
        // The excluded end is reached only as the next double above it.
        const std::string at = n == 0 ? "just above X = " + shortest_text(span.x_from)
                                      : "at X = " + significant_text(r.x, 6);
        add_kit_error(first.line, first.column,
                      where(location, span.first_item) + " to " + name(span.last_item) + ": " +
                          curve_words(span.curve) + " gives " + what + " " + at +
                          ", inside its fitted range " + shortest_text(span.x_from) +
                          " < X <= " + shortest_text(span.x_to) +
                          ": the calculator's surges there are infinite or NaN");
        break;
      }
    }
  }
}

// True for an item that the calculator read as a number.
bool is_number(const ItemTrace& item) {
  return (item.source == ItemSource::kValue && !item.logical) ||
         item.source == ItemSource::kRepeat || item.source == ItemSource::kRepeated;
}

// The values run out before the 20th group: a word starts a line where a
// group should start or go on, or the file ends. When fewer lines of values
// come before it than the layout needs, whole lines are missing and every
// later location reads its neighbour's values; the calculator's error there
// names only the word or the end.
void FileCheck::note_missing_lines() {
  int failed = 0;  // the first location not read whole
  while (failed < surge::kLocations && !groups_[failed].faults && !groups_[failed].ended) ++failed;
  if (failed == 0 || failed == surge::kLocations) return;  // no value at all, or none missing
  const GroupTrace& g = groups_[failed];
  int k = 0;
  while (k < count_ && is_number(g.items[k])) ++k;
  if (k == count_) return;
  const ItemTrace& item = g.items[k];
  uint64_t line = 0, column = 0;
  const char* met = nullptr;
  if (g.ended && g.end_fault == InputFault::kEndOfFile &&
      (item.source == ItemSource::kUnread ||
       (item.source == ItemSource::kFault && item.fault == InputFault::kEndOfFile))) {
    line = g.end_line, met = "the end of the file";
  } else if (item.source == ItemSource::kFault || item.logical) {
    // A word (not a mistyped number) first on its line.
    const char c = item.text.empty() ? '0' : item.text.front();
    const bool word = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    const bool line_start = k == 0 || g.items[k - 1].line != item.line;
    if (!word || !line_start) return;
    line = item.line, column = item.column, met = "this text";
  } else {
    return;
  }
  // Lines that hold values, per group and in all.
  std::map<uint64_t, int> group_sizes;  // lines a group's values stand on -> groups
  std::vector<uint64_t> lines;
  for (int i = 0; i < failed; ++i) {
    std::vector<uint64_t> own;
    for (const ItemTrace& value : groups_[i].items) {
      if (value.line != 0 && (own.empty() || own.back() != value.line)) own.push_back(value.line);
    }
    ++group_sizes[own.size()];
    lines.insert(lines.end(), own.begin(), own.end());
  }
  for (int i = 0; i < k; ++i) lines.push_back(g.items[i].line);
  std::sort(lines.begin(), lines.end());
  lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
  uint64_t per_group = 0;
  int most = 0;
  for (const auto& [size, n] : group_sizes) {
    if (n > most) per_group = size, most = n;
  }
  const uint64_t needed = per_group * surge::kLocations;
  if (lines.size() >= needed) return;  // a missing number, not a line: the layout warns
  const uint64_t missing = needed - lines.size();
  const int values = failed * count_ + k;
  std::string message = missing == 1 ? std::string("a line of values is missing: ")
                                     : std::to_string(missing) + " lines of values are missing: ";
  message += std::to_string(values) + (values == 1 ? " value is read" : " values are read");
  if (parameters_) message += " from " + std::to_string(lines.size()) + " lines";
  message += " before " + std::string(met) + ", where " +
             (parameters_ ? "20 groups of 21 values on " + std::to_string(needed) + " lines"
                          : std::string("20")) +
             " are needed; every location after the missing line reads its neighbour's " +
             (parameters_ ? "values" : "value");
  const int first = first_misplaced_location(failed);
  if (first != 0) {
    message += "; the first location whose line could be the missing one is location " +
               std::to_string(first) + " (the first laid out unlike location 1, or after " +
               "more blank lines)";
  } else {
    message += "; which line is missing cannot be told";
    if (per_group == 1) {
      message += parameters_ ? " (each group is one line)" : " (one value a line)";
    }
  }
  add(line, column, Severity::kNote, std::move(message));
}

// The first of locations 2 to `before` whose group is laid out unlike
// location 1's (values per line, text left after them), or, from location 3,
// that follows its neighbour with more blank lines between than location 2
// follows location 1; 0 when none.
int FileCheck::first_misplaced_location(int before) const {
  auto shape = [](const GroupTrace& g) {
    std::vector<std::pair<uint64_t, int>> per_line;  // line -> values on it, in order
    for (const ItemTrace& item : g.items) {
      if (item.line == 0) continue;
      if (per_line.empty() || per_line.back().first != item.line) {
        per_line.push_back({item.line, 0});
      }
      ++per_line.back().second;
    }
    std::vector<int> counts;
    for (const auto& [line, n] : per_line) counts.push_back(n);
    return std::make_pair(counts, g.leftover.empty());
  };
  const auto usual = shape(groups_[0]);
  for (int i = 1; i < before && i < surge::kLocations; ++i) {
    if (shape(groups_[i]) != usual) return i + 1;
    if (i >= 2 && groups_[i].first_line - groups_[i - 1].last_line >
                      groups_[1].first_line - groups_[0].last_line) {
      return i + 1;
    }
  }
  return 0;
}

// Numbers after the last value are noted (a slip often puts them there); a
// comment in words is what a template invites, and is left alone.
void FileCheck::note_leftover(int location, const GroupTrace& g) {
  if (g.leftover.empty()) return;
  const bool bad = has_unreadable_bytes(g.leftover);
  if (!bad && !starts_with_number(g.leftover)) return;
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
    file.open_message = recio::message_number(InputFault::kReadFailed);
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
  FileCheck parameter_check(parameters, true, &report);
  parameter_check.run();
  FileCheck slope_check(slopes, false, &report);
  slope_check.run();
  parameter_check.check_curves(slope_check);
  parameter_check.finish();
  slope_check.finish();
  for (int location = 1; location <= surge::kLocations; ++location) {
    if (parameter_check.complete(location) && slope_check.complete(location)) ++report.locations_read;
  }
  return report;
}

CheckReport check_coefficient_files(const std::string& dir) {
  return check_coefficient_contents(read_coefficient_file(path_in(dir, kParameterFileName)),
                                    read_coefficient_file(path_in(dir, kSlopeFileName)));
}

}  // namespace kit
