// surgekit run: a CSV file of cases in, the same rows with their surge out.
//
// Rows go through in batches: read and check a batch, evaluate it, write it.
// Memory is the batch and the longest record, whatever the number of rows,
// and the three phases can be timed apart (--timing).
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kit/core/names.h"
#include "kit/files/cases.h"
#include "kit/coefficients/coefficients.h"
#include "kit/commands/commands.h"
#include "kit/commands/shared.h"
#include "kit/files/csv.h"
#include "kit/core/number.h"
#include "kit/files/output_file.h"
#include "kit/files/table_reader.h"

namespace kit {
namespace {

constexpr const char* kWho = "surgekit run";

struct RunOptions {
  std::string input = "-";
  std::string output = "-";
  bool keep_going = false;
  bool timing = false;
};

constexpr size_t kBatchRows = 1024;
constexpr int kErrorsShown = 100;  // with --keep-going, the rest are only counted
constexpr std::string_view kAddedColumns[] = {"surge_m", "surge_report", "side",
                                              "x",       "curve",        "flags"};

// A checked row waiting for its surge: the case, and the row's own fields
// already encoded, at [begin, end) of the batch's text.
struct PendingRow {
  surge::StormCase storm;
  size_t begin = 0, end = 0;
};

using Clock = std::chrono::steady_clock;

class CaseRun {
 public:
  CaseRun(const RunOptions& options, const surge::SiteTable& table, std::FILE* in, std::FILE* out,
          Sink& sink)
      : options_(options),
        sink_(sink),
        table_(table),
        input_name_(options.input == "-" ? "<stdin>" : options.input),
        reader_(in),
        writer_(out),
        rows_(kBatchRows),
        results_(kBatchRows) {}

  // Copies the header and every row; false when a row could not be used or
  // the output could not be written.
  bool run();
  uint64_t bad_rows() const { return bad_rows_; }
  // False when the header could not be used: then nothing is worth keeping.
  bool header_ok() const { return header_ok_; }
  void print_timing() const;

 private:
  bool read_header();
  size_t read_batch();  // sets stop_ on an error that ends the run
  void write_batch(size_t count);
  // A row that cannot be used, located at its fault (column 0: the row).
  void report(const FieldPlace& place, const std::string& message);
  void header_error(uint64_t line, const std::string& message, uint64_t column = 0);

  const RunOptions& options_;
  Sink& sink_;
  const surge::SiteTable& table_;
  std::string input_name_;
  CsvReader reader_;
  CsvWriter writer_;
  CaseColumns columns_;
  std::vector<PendingRow> rows_;
  std::vector<surge::CaseResult> results_;
  std::string fields_;  // the batch's rows, encoded
  std::string error_;
  bool stop_ = false;
  bool header_ok_ = true;
  uint64_t good_rows_ = 0, bad_rows_ = 0;
  Clock::duration reading_{}, evaluating_{}, writing_{};
};

void CaseRun::header_error(uint64_t line, const std::string& message, uint64_t column) {
  header_ok_ = false;
  sink_.add(Finding{input_name_, line, column, Severity::kError, message});
}

void CaseRun::report(const FieldPlace& place, const std::string& message) {
  ++bad_rows_;
  if (bad_rows_ > kErrorsShown) return;
  sink_.add(Finding{input_name_, place.line, place.column, Severity::kError, message});
}

// Header names compared as a reader of headers compares them: blanks around
// them and case do not count.
bool same_column_name(std::string_view a, std::string_view b) {
  auto trim = [](std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    return t;
  };
  a = trim(a);
  b = trim(b);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool CaseRun::read_header() {
  uint64_t line = 0;
  if (!read_case_header(reader_, &columns_, &error_, &line)) {
    header_error(line, error_);
    return false;
  }
  // An input column named as one run adds would give the output two columns
  // of one name: refused, so that no reader takes the wrong one.
  for (size_t i = 0; i < reader_.fields().size(); ++i) {
    for (std::string_view added : kAddedColumns) {
      if (!same_column_name(reader_.fields()[i], added)) continue;
      header_error(reader_.line(),
                   "the input has a column '" + std::string(reader_.fields()[i]) +
                       "', which run adds to every row: rename or remove it (the input may be "
                       "an earlier output of run)",
                   i + 1);
    }
  }
  if (!header_ok_) return false;
  for (std::string_view name : reader_.fields()) writer_.field(name);
  for (std::string_view name : kAddedColumns) writer_.field(name);
  writer_.end_row();
  return true;
}

size_t CaseRun::read_batch() {
  fields_.clear();
  size_t count = 0;
  while (count < kBatchRows) {
    if (!reader_.next()) {
      if (!reader_.error().empty()) {
        report(FieldPlace{reader_.line(), 0}, reader_.error());
        stop_ = true;
      }
      break;
    }
    const std::vector<std::string_view>& fields = reader_.fields();
    if (is_blank_record(reader_.record())) continue;
    PendingRow& row = rows_[count];
    FieldPlace place;
    if (!read_case(reader_, columns_, &row.storm, &error_, &place)) {
      report(place, error_);
      if (options_.keep_going) continue;
      stop_ = true;
      break;
    }
    row.begin = fields_.size();
    if (reader_.plain()) {
      fields_.append(reader_.record());
    } else {
      for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) fields_.push_back(',');
        append_field(&fields_, fields[i]);
      }
    }
    row.end = fields_.size();
    ++count;
  }
  return count;
}

void CaseRun::write_batch(size_t count) {
  const std::string_view all = fields_;
  for (size_t i = 0; i < count; ++i) {
    const PendingRow& row = rows_[i];
    const surge::CaseResult& result = results_[i];
    writer_.encoded(all.substr(row.begin, row.end - row.begin));
    writer_.number(result.surge_m);
    writer_.separate();
    append_report_surge(&writer_.raw(), result.surge_m);
    writer_.field(side_name(result.side));
    writer_.number(result.x);
    writer_.field(curve_name(result.curve));
    writer_.separate();
    append_case_flags(&writer_.raw(), row.storm, result);
    writer_.end_row();
  }
}

bool CaseRun::run() {
  if (!read_header()) return false;
  while (!stop_) {
    const Clock::time_point start = Clock::now();
    const size_t count = read_batch();
    const Clock::time_point read = Clock::now();
    for (size_t i = 0; i < count; ++i) results_[i] = surge::evaluate_surge(rows_[i].storm, table_);
    const Clock::time_point evaluated = Clock::now();
    write_batch(count);
    const Clock::time_point written = Clock::now();
    reading_ += read - start;
    evaluating_ += evaluated - read;
    writing_ += written - evaluated;
    good_rows_ += count;
    if (count < kBatchRows) break;  // the end of the input, or an error
  }
  const Clock::time_point start = Clock::now();
  const bool flushed = writer_.flush();
  writing_ += Clock::now() - start;
  if (!flushed) {
    sink_.io_error("cannot write " +
                   (options_.output == "-" ? std::string("standard output") : options_.output) +
                   ": " + std::strerror(errno));
    return false;
  }
  return bad_rows_ == 0;
}

void CaseRun::print_timing() const {
  const double n = good_rows_ > 0 ? static_cast<double>(good_rows_) : 1;
  auto per_case = [n](Clock::duration d) {
    return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(d).count()) / n;
  };
  std::fprintf(stderr,
               "surgekit run: note: timing: %llu cases, ns per case: reading %.1f, evaluating %.1f, writing %.1f, "
               "total %.1f\n",
               static_cast<unsigned long long>(good_rows_), per_case(reading_),
               per_case(evaluating_), per_case(writing_),
               per_case(reading_ + evaluating_ + writing_));
}

// The same file, by identity (device and inode), not by name.
bool same_file(const std::string& a, const std::string& b) {
  if (a == "-" || b == "-") return false;
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec) && !ec;
}

int run_cases(const RunOptions& options, const CommonOptions& common) {
  Sink sink(kWho);
  if (same_file(options.input, options.output)) {
    throw UsageError{"the output " + options.output + " is the input " + options.input +
                     ": run would write over its own cases; give another -o"};
  }
  CoefficientSet set;
  if (!load_coefficient_set(common.data_dir, common.strict, sink, &set)) return sink.status();

  std::FILE* in = stdin;
  if (options.input != "-") {
    in = std::fopen(options.input.c_str(), "rb");
    if (in == nullptr) throw IoError{"cannot read " + options.input + ": " + std::strerror(errno)};
  }
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in_closer(in == stdin ? nullptr : in,
                                                            std::fclose);
  OutputFile out;
  if (!open_output(options.output, &out, sink)) return sink.status();

  CaseRun run(options, set.table, in, out.stream(), sink);
  const bool ok = run.run();
  if (std::ferror(in)) {  // the reader takes a failed read for the end: say so
    sink.io_error("cannot read " +
                  (options.input == "-" ? std::string("standard input") : options.input) + ": " +
                  std::strerror(errno));
    out.discard();
    return sink.status();
  }
  if (sink.io_failed()) {
    out.discard();
    return sink.status();
  }
  if (options.timing) run.print_timing();
  if (run.bad_rows() > 0) {
    sink.summary(counted(static_cast<long long>(run.bad_rows()), "row") + " could not be used" +
              (options.keep_going      ? "; the others were written"
               : options.output == "-" ? "; stopped there"
                                       : "; nothing was written"));
  }
  if (!ok && (!options.keep_going || !run.header_ok())) {
    out.discard();
    return sink.status();
  }
  if (!commit_output(&out, sink)) return sink.status();
  return sink.status();
}

}  // namespace

CommandEntry define_run(CLI::App& sub, const CommonOptions& common) {
  auto options = std::make_shared<RunOptions>();
  sub.add_option("cases", options->input,
                 "CSV of cases with the columns location,pressure_mb,radius_km,distance_km "
                 "(any order, other columns kept); - or nothing for standard input")
      ->capture_default_str()
      ->check(input_file_validator());
  sub.add_option("-o,--output", options->output,
                 "where to write the rows, - for standard output; never the input itself")
      ->capture_default_str();
  sub.add_flag("--keep-going", options->keep_going,
               "write the rows that can be used and count the others (still exit 1)");
  sub.add_flag("--timing", options->timing,
               "also write to standard error the time per case spent reading, evaluating and "
               "writing");
  sub.footer(
      "Each row gains surge_m, surge_report (as the calculator prints it), side, x,\n"
      "curve and flags; an input that already has a column of these names is refused.\n"
      "An output that is the input file itself is refused. Pressure and radius may have decimals; the calculator reads\n"
      "them as integers, so such rows are flagged.\n"
      "Example: surgekit run --data examples examples/cases.csv -o surges.csv");
  return [options, &common] { return run_cases(*options, common); };
}

}  // namespace kit
