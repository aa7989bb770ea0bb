// surgekit run: a CSV file of cases in, the same rows with their surge out.
//
// The input is read in chunks of whole records (RecordChunks). Worker threads
// each take a chunk, read and check its rows, evaluate them and write them
// into the chunk's own output; this thread writes the chunks' outputs and
// findings in input order (for_each_in_order), so that the bytes and the
// diagnostics are the same on any number of threads. Memory is a few chunks
// and the longest record, whatever the number of rows.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
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
#include "kit/files/record_chunks.h"
#include "kit/files/table_reader.h"
#include "kit/studies/parallel.h"
#include "platform/platform.h"

namespace kit {
namespace {

constexpr const char* kWho = "surgekit run";

struct RunOptions {
  std::string input = "-";
  std::string output = "-";
  bool keep_going = false;
  bool timing = false;
  int threads = 0;  // 0: one per core
};

using Clock = std::chrono::steady_clock;

// Within a chunk, rows go through in batches: read and check a batch,
// evaluate it, write it, so that the three phases can be timed apart.
constexpr size_t kBatchRows = 1024;
constexpr int kErrorsShown = 100;  // with --keep-going, the rest are only counted
constexpr std::string_view kAddedColumns[] = {"surge_m", "surge_report", "side",
                                              "x",       "curve",        "flags"};

// The calling thread's CPU time, in the unit the phase sums keep.
std::chrono::nanoseconds thread_cpu_time() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::duration<double>(platform::thread_cpu_seconds()));
}

struct PhaseTimes {
  std::chrono::nanoseconds reading{}, evaluating{}, writing{};
  void add(const PhaseTimes& other) {
    reading += other.reading;
    evaluating += other.evaluating;
    writing += other.writing;
  }
};

// A row that cannot be used, at its place in its chunk (lines counted from 1
// at the chunk's start).
struct ChunkFinding {
  FieldPlace place;
  std::string message;
};

// Text written by pointer: a batch makes room for its longest possible rows
// at once, then writes them without a check per character and without the
// zero fill of a string's resize.
class OutputText {
 public:
  void clear() { size_ = 0; }
  // At least `more` bytes of room past the text; returns where they begin.
  char* room(size_t more) {
    if (capacity_ - size_ < more) {
      const size_t capacity = std::max(2 * capacity_, size_ + more);
      std::unique_ptr<char[]> bigger(new char[capacity]);
      if (size_ > 0) std::memcpy(bigger.get(), data_.get(), size_);
      data_ = std::move(bigger);
      capacity_ = capacity;
    }
    return data_.get() + size_;
  }
  // Ends the text at `end`, within the room made.
  void set_end(const char* end) { size_ = static_cast<size_t>(end - data_.get()); }
  std::string_view view() const { return {data_.get(), size_}; }

 private:
  std::unique_ptr<char[]> data_;
  size_t size_ = 0, capacity_ = 0;
};

// One chunk of the input and all that its rows give.
struct Chunk {
  std::string input;   // whole records
  OutputText output;   // the rows that could be used, as written
  std::vector<ChunkFinding> findings;  // the first kErrorsShown rows that could not
  uint64_t good_rows = 0, bad_rows = 0;
  uint64_t lines = 0;  // line ends in the input, when read to its end
  bool stop = false;   // the run ends here: a row without --keep-going, or a read fault
  PhaseTimes times;
};

// A checked row waiting for its surge: the case, and the row's own fields
// already encoded: a plain record as it stands in the chunk, or at
// [begin, end) of the batch's encoded text.
struct PendingRow {
  surge::StormCase storm;
  std::string_view plain;
  size_t begin = 0, end = 0;
};

// Reads, checks, evaluates and writes the rows of one chunk at a time. Each
// thread has its own.
class ChunkWorker {
 public:
  ChunkWorker(const surge::SiteTable& table, const CaseColumns& columns, bool keep_going)
      : table_(table), columns_(columns), keep_going_(keep_going), rows_(kBatchRows),
        results_(kBatchRows) {}

  void process(Chunk* chunk);

 private:
  size_t read_batch(Chunk* chunk, bool* more);
  void write_batch(size_t count, OutputText* out);
  void report(Chunk* chunk, const FieldPlace& place, const std::string& message);

  const surge::SiteTable& table_;
  const CaseColumns& columns_;
  const bool keep_going_;
  CsvReader reader_;
  std::vector<PendingRow> rows_;
  std::vector<surge::CaseResult> results_;
  std::string encoded_;  // the batch's quoted rows, encoded as written
  std::string error_;
};

void ChunkWorker::report(Chunk* chunk, const FieldPlace& place, const std::string& message) {
  if (++chunk->bad_rows > kErrorsShown) return;
  chunk->findings.push_back(ChunkFinding{place, message});
}

size_t ChunkWorker::read_batch(Chunk* chunk, bool* more) {
  encoded_.clear();
  size_t count = 0;
  while (count < kBatchRows) {
    if (!reader_.next()) {
      if (!reader_.error().empty()) {
        report(chunk, FieldPlace{reader_.line(), 0}, reader_.error());
        chunk->stop = true;
      }
      *more = false;
      break;
    }
    if (is_blank_record(reader_.record())) continue;
    PendingRow& row = rows_[count];
    FieldPlace place;
    if (!read_case(reader_, columns_, &row.storm, &error_, &place)) {
      report(chunk, place, error_);
      if (keep_going_) continue;
      chunk->stop = true;
      *more = false;
      break;
    }
    if (reader_.plain()) {
      row.plain = reader_.record();
    } else {
      row.plain = {};
      row.begin = encoded_.size();
      const std::vector<std::string_view>& fields = reader_.fields();
      for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) encoded_.push_back(',');
        append_field(&encoded_, fields[i]);
      }
      row.end = encoded_.size();
    }
    ++count;
  }
  return count;
}

// Copies a short name (a side or a curve) to `out`; returns its end.
char* put_name(char* out, std::string_view name) {
  for (char c : name) *out++ = c;
  return out;
}

// The most that write_batch adds to a row's own fields: the six added
// fields (the side's and the curve's names are a word of a few letters, see
// names.h), their commas and the line end.
constexpr size_t kNameRoom = 16;
constexpr size_t kAddedRoom = 3 * kNumberTextCapacity + 2 * kNameRoom + kCaseFlagsCapacity + 7;

void ChunkWorker::write_batch(size_t count, OutputText* out) {
  size_t room = encoded_.size();
  for (size_t i = 0; i < count; ++i) room += rows_[i].plain.size() + kAddedRoom;
  char* o = out->room(room);
  for (size_t i = 0; i < count; ++i) {
    const PendingRow& row = rows_[i];
    const surge::CaseResult& result = results_[i];
    const std::string_view fields =
        row.plain.data() != nullptr
            ? row.plain
            : std::string_view(encoded_).substr(row.begin, row.end - row.begin);
    std::memcpy(o, fields.data(), fields.size());
    o += fields.size();
    *o++ = ',';
    o = write_shortest(o, result.surge_m);
    *o++ = ',';
    o = write_report_surge(o, result.surge_m);
    *o++ = ',';
    o = put_name(o, side_name(result.side));
    *o++ = ',';
    o = write_shortest(o, result.x);
    *o++ = ',';
    o = put_name(o, curve_name(result.curve));
    *o++ = ',';
    o = write_case_flags(o, row.storm, result);
    *o++ = '\n';
  }
  out->set_end(o);
}

void ChunkWorker::process(Chunk* chunk) {
  chunk->output.clear();
  chunk->findings.clear();
  chunk->good_rows = chunk->bad_rows = chunk->lines = 0;
  chunk->stop = false;
  chunk->times = {};
  reader_.reset(chunk->input);
  bool more = true;
  while (more) {
    const auto start = thread_cpu_time();
    const size_t count = read_batch(chunk, &more);
    const auto read = thread_cpu_time();
    for (size_t i = 0; i < count; ++i) results_[i] = surge::evaluate_surge(rows_[i].storm, table_);
    const auto evaluated = thread_cpu_time();
    write_batch(count, &chunk->output);
    const auto written = thread_cpu_time();
    chunk->times.reading += read - start;
    chunk->times.evaluating += evaluated - read;
    chunk->times.writing += written - evaluated;
    chunk->good_rows += count;
  }
  chunk->lines = reader_.next_line() - 1;
}

class CaseRun {
 public:
  CaseRun(const RunOptions& options, const surge::SiteTable& table, std::FILE* in, std::FILE* out,
          Sink& sink)
      : options_(options),
        sink_(sink),
        table_(table),
        input_name_(options.input == "-" ? "<stdin>" : options.input),
        in_(in),
        reader_(in),
        writer_(out) {}

  // Copies the header and every row; false when a row could not be used or
  // the output could not be written.
  bool run();
  uint64_t bad_rows() const { return bad_rows_; }
  // False when the header could not be used: then nothing is worth keeping.
  bool header_ok() const { return header_ok_; }
  void print_timing() const;

 private:
  bool read_header();
  // Reads the next chunk, timed as reading; false at the end of the input.
  bool read_chunk(RecordChunks& source, Chunk* chunk);
  // Writes a processed chunk's rows and findings, the next in input order;
  // false when the run stops with it.
  bool take(Chunk& chunk);
  void header_error(uint64_t line, const std::string& message, uint64_t column = 0);

  const RunOptions& options_;
  Sink& sink_;
  const surge::SiteTable& table_;
  std::string input_name_;
  std::FILE* in_;
  CsvReader reader_;
  CsvWriter writer_;
  CaseColumns columns_;
  std::string error_;
  bool header_ok_ = true;
  uint64_t next_line_ = 0;  // the line on which the next chunk begins
  uint64_t good_rows_ = 0, bad_rows_ = 0;
  PhaseTimes times_;
  Clock::duration wall_{};
};

void CaseRun::header_error(uint64_t line, const std::string& message, uint64_t column) {
  header_ok_ = false;
  sink_.add(Finding{input_name_, line, column, Severity::kError, message});
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
  uint64_t line = 0, column = 0;
  if (!read_case_header(reader_, &columns_, &error_, &line, &column)) {
    header_error(line, error_, column);
    return false;
  }
  // An input column named as one run adds would give the output two columns
  // of one name: refused, so that no reader takes the wrong one.
  for (size_t i = 0; i < reader_.fields().size(); ++i) {
    for (std::string_view added : kAddedColumns) {
      if (!same_column_name(reader_.fields()[i], added)) continue;
      header_error(reader_.line(),
                   "the input has a column \"" + std::string(reader_.fields()[i]) +
                       "\", which run adds to every row: rename or remove it (the input may be "
                       "an earlier output of run)",
                   i + 1);
    }
  }
  if (!header_ok_) return false;
  for (std::string_view name : reader_.fields()) writer_.field(name);
  for (std::string_view name : kAddedColumns) writer_.field(name);
  writer_.end_row();
  next_line_ = reader_.next_line();
  return true;
}

bool CaseRun::read_chunk(RecordChunks& source, Chunk* chunk) {
  const auto start = thread_cpu_time();
  const bool got = source.next(&chunk->input);
  times_.reading += thread_cpu_time() - start;
  return got;
}

bool CaseRun::take(Chunk& chunk) {
  for (const ChunkFinding& found : chunk.findings) {
    if (++bad_rows_ > kErrorsShown) continue;
    sink_.add(Finding{input_name_, next_line_ + found.place.line - 1, found.place.column,
                      Severity::kError, found.message});
  }
  bad_rows_ += chunk.bad_rows - chunk.findings.size();
  good_rows_ += chunk.good_rows;
  next_line_ += chunk.lines;
  times_.add(chunk.times);
  const auto start = thread_cpu_time();
  writer_.rows(chunk.output.view());
  times_.writing += thread_cpu_time() - start;
  return !chunk.stop;
}

bool CaseRun::run() {
  const Clock::time_point began = Clock::now();
  if (!read_header()) return false;
  RecordChunks source(in_, reader_.unread(), reader_.at_end());
  const int threads = options_.threads > 0 ? options_.threads : default_thread_count();
  std::vector<Chunk> chunks(ordered_slot_count(threads));
  // Each worker made on its own thread, when it takes its first chunk.
  std::vector<std::optional<ChunkWorker>> workers(static_cast<size_t>(threads));
  for_each_in_order(
      threads, [&](size_t slot) { return read_chunk(source, &chunks[slot]); },
      [&](int worker, size_t slot) {
        std::optional<ChunkWorker>& w = workers[static_cast<size_t>(worker)];
        if (!w) w.emplace(table_, columns_, options_.keep_going);
        w->process(&chunks[slot]);
      },
      [&](size_t slot) { return take(chunks[slot]); });
  const auto start = thread_cpu_time();
  const bool flushed = writer_.flush();
  times_.writing += thread_cpu_time() - start;
  wall_ = Clock::now() - began;
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
  auto per_case = [n](auto d) {
    return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(d).count()) / n;
  };
  char times[200];
  std::snprintf(times, sizeof times,
                "CPU ns per case (all threads): reading %.1f, evaluating %.1f, writing %.1f, "
                "total %.1f; wall ns per case %.1f",
                per_case(times_.reading), per_case(times_.evaluating), per_case(times_.writing),
                per_case(times_.reading + times_.evaluating + times_.writing), per_case(wall_));
  sink_.note("timing: " + counted(static_cast<long long>(good_rows_), "case") + ", " + times);
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
  add_threads_option(sub, &options->threads);
  sub.add_flag("--timing", options->timing,
               "also write to standard error the CPU time per case spent reading, evaluating and "
               "writing (summed over the threads), and the wall time per case");
  sub.footer(
      "Each row gains surge_m, surge_report (as the calculator prints it), side, x,\n"
      "curve and flags; an input that already has a column of these names is refused.\n"
      "An output that is the input file itself is refused. Pressure and radius may have decimals; the calculator reads\n"
      "them as integers, so such rows are flagged.\n"
      "Example: surgekit run --data examples examples/cases.csv -o surges.csv");
  return [options, &common] { return run_cases(*options, common); };
}

}  // namespace kit
