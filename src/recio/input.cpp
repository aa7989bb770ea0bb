// Free-form input statements on units: the record source of a unit, and the
// one place where input faults become run-time error reports.
#include "recio/input.h"

#include <cassert>
#include <cstring>

#include "recio/messages.h"
#include "recio/record_reader.h"
#include "recio/scanner.h"
#include "recio/units.h"

namespace recio {
namespace {

// The bytes of a unit's handle.
class HandleBytes : public ByteSource {
 public:
  explicit HandleBytes(platform::Handle handle) : handle_(handle) {}
  platform::Status read(char* buffer, size_t n, size_t* got) override {
    return platform::read(handle_, buffer, n, got);
  }

 private:
  platform::Handle handle_;
};

// The records of a unit, viewed where they stand in its record buffer, with
// the memo of its plain real values when it has one.
class UnitRecords : public RecordSource {
 public:
  void bind(UnitBlock* unit, PlainRunMemo* memo, bool standard_input) {
    unit_ = unit;
    memo_ = memo;
    if (unit != nullptr) {
      mode_ = ReadMode{.byte_reads = unit->byte_reads, .standard_input = standard_input};
    }
  }
  InputFault next_record(std::string_view* record) override {
    HandleBytes bytes(unit_->handle);
    InputFault f = next_kept_record(unit_->in, bytes, mode_, &unit_->os_error);
    if (f != InputFault::kNone) return f;
    *record = std::string_view(unit_->in.buffer.get() + unit_->in.record_begin,
                               unit_->in.record_end - unit_->in.record_begin);
    slot_ = memo_ != nullptr ? memo_->slot(unit_->in.records_read) : nullptr;
    return InputFault::kNone;
  }

 private:
  UnitBlock* unit_ = nullptr;
  PlainRunMemo* memo_ = nullptr;
  ReadMode mode_;
};

// The memos of the units that read files, by unit number modulo their count.
// A file's records are read again and again from the first, as a data file
// reloaded for every case is, and mostly hold the same bytes each time. A memo
// outlives its unit's connection, as a file is closed and opened again between
// readings; it is only an aid, since a run is replayed only from the same bytes.
constexpr size_t kMemoUnits = 4;
struct UnitMemo {
  bool used = false;
  int32_t unit = 0;
  PlainRunMemo runs;

  // Where the records of a connection's first block lie, learnt as they are
  // replayed: a later connection whose first block holds the same bytes finds
  // its records there without looking for their line ends, and replays a run
  // already compared with a record's bytes without comparing them again.
  struct Line {
    KeptLine at;
    uint32_t compared = 0;  // the slot's generation + 1 when its run matched these bytes
  };
  std::string block;          // the first block the lines lie in
  std::vector<Line> lines;    // the k-th record at lines[k - 1]
  uint64_t connection = 0;    // the unit's connection whose first block this is; 0: none
};

// At the first record of a connection: the lines serve it when its first
// block holds the bytes they were learnt in, and are forgotten otherwise.
void learn_first_block(UnitMemo& memo, const UnitBlock& unit) {
  const std::string_view first(unit.in.buffer.get(), unit.in.first_read_got);
  if (first != memo.block) {
    memo.block.assign(first);
    memo.lines.clear();
  }
  memo.connection = unit.connection;
}

// The memo for a statement on the unit, or nullptr for standard input (the
// console or its redirection), whose records are answers that seldom repeat.
// A unit that takes another's place starts with an empty memo.
PlainRunMemo* memo_for(UnitMemo (&memos)[kMemoUnits], const UnitBlock& unit,
                       bool standard_input) {
  if (standard_input) return nullptr;
  UnitMemo& memo = memos[static_cast<uint32_t>(unit.number) % kMemoUnits];
  if (!memo.used || memo.unit != unit.number) {
    memo.runs.clear();
    memo.block.clear();
    memo.lines.clear();
    memo.connection = 0;
    memo.used = true;
    memo.unit = unit.number;
  }
  return &memo.runs;
}

// The statement in progress on this thread.
struct ActiveStatement {
  UnitBlock* unit = nullptr;
  UnitRecords records;
  InputStatement scan;
  UnitMemo memos[kMemoUnits];
};
thread_local ActiveStatement t_active;

[[noreturn]] void fail(InputFault fault, UnitBlock& unit) {
  report_io_error(message_number(fault), unit);
}

void end_statement() {
  ActiveStatement& active = t_active;
  UnitBlock& unit = *active.unit;
  active.scan.end();
  active.records.bind(nullptr, nullptr, false);
  active.unit = nullptr;
  release_unit(unit);
}

}  // namespace

// Each routine takes the thread's statement once: every use of a
// thread-local object with a constructor goes through its initialisation check.
void begin_input(int32_t unit_number) {
  ActiveStatement& active = t_active;
  assert(active.unit == nullptr && "an input statement is already in progress");
  UnitBlock& unit = claim_unit(unit_number);
  active.unit = &unit;
  const bool standard_input = unit.handle == platform::standard_input();
  active.records.bind(&unit, memo_for(active.memos, unit, standard_input), standard_input);
  if (InputFault f = active.scan.begin(&active.records); f != InputFault::kNone) {
    fail(f, unit);
  }
}

void input_item(ItemKind kind, void* destination, bool last) {
  ActiveStatement& active = t_active;
  assert(active.unit != nullptr && "input_item outside a statement");
  if (last && active.scan.replay_statement(kind, &destination, 1)) {
    end_statement();
    return;
  }
  if (InputFault f = active.scan.input_item(kind, destination); f != InputFault::kNone) {
    fail(f, *active.unit);
  }
  if (last) end_statement();
}

void input_items(ItemKind kind, void* const* destinations, size_t count, bool last) {
  ActiveStatement& active = t_active;
  assert(active.unit != nullptr && "input_items outside a statement");
  // A data file's statement whose record is read again with the same bytes.
  if (last && active.scan.replay_statement(kind, destinations, count)) {
    end_statement();
    return;
  }
  if (InputFault f = active.scan.input_items(kind, destinations, count); f != InputFault::kNone) {
    fail(f, *active.unit);
  }
  if (last) end_statement();
}

namespace {

// input_statement's quick way: the unit's next record is kept whole in its
// buffer and its memo slot holds a run of exactly these items from its first
// byte, taken from the same bytes. The record is then taken and the values
// stored as the statement would store them, and true returned; otherwise the
// record and the destinations are as they were (the memo may have learnt the
// connection's first block).
template <typename Real>
bool replay_next_record(ActiveStatement& active, UnitBlock& unit, void* const* destinations,
                        size_t count) {
  // The first record after the open is in the bytes of the read made then,
  // which read_record takes as they stand when they hold a whole line.
  InputRecord& in = unit.in;
  if (unit.byte_reads || !in.buffer) return false;
  const uint32_t unit_number = static_cast<uint32_t>(unit.number);
  UnitMemo& memo = active.memos[unit_number % kMemoUnits];
  if (!memo.used || memo.unit != unit.number) return false;
  const bool first = in.first_read_pending && in.first_read.ok() && in.first_read_got > 0;
  const size_t kept_end = first ? in.first_read_got : in.kept_end;
  if (first && in.first_block_only) learn_first_block(memo, unit);
  const uint64_t k = in.records_read + 1;
  const bool lines_serve = in.first_block_only && memo.connection == unit.connection;
  UnitMemo::Line* known = nullptr;
  KeptLine line;
  if (lines_serve && k <= memo.lines.size() && memo.lines[k - 1].at.begin == in.kept_begin &&
      memo.lines[k - 1].at.next <= kept_end) {
    known = &memo.lines[k - 1];
    line = known->at;
  } else if (!find_line(in.buffer.get(), in.kept_begin, kept_end, &line)) {
    return false;
  }
  const PlainRun* run = memo.runs.kept(k);
  if (run == nullptr || run->real_size != sizeof(Real) || run->offset != 0 ||
      run->asked != count || run->taken != count) {
    return false;
  }
  if (known == nullptr || known->compared != run->generation + 1) {
    const std::string_view record(in.buffer.get() + line.begin, line.end - line.begin);
    if (run->record != record) return false;
    if (known != nullptr) {
      known->compared = run->generation + 1;
    } else if (lines_serve && k == memo.lines.size() + 1 && line.next <= memo.block.size()) {
      memo.lines.push_back({line, run->generation + 1});
    }
  }
  if (first) {
    in.first_read_pending = false;
    in.kept_end = kept_end;
  }
  take_kept_line(in, line);
  const unsigned char* value = run->values.data();
#pragma GCC unroll 4
  for (size_t i = 0; i < count; ++i) {
    std::memcpy(destinations[i], value + i * sizeof(Real), sizeof(Real));
  }
  return true;
}

}  // namespace

void input_statement(int32_t unit_number, ItemKind kind, void* const* destinations, size_t count) {
  ActiveStatement& active = t_active;
  assert(active.unit == nullptr && "an input statement is already in progress");
  if (kind == ItemKind::kReal32 || kind == ItemKind::kReal64) {
    UnitBlock& unit = claim_unit(unit_number);
    // The console's answers seldom repeat: they go the general way.
    const bool replayed =
        unit.number != kConsoleInputUnit &&
        (kind == ItemKind::kReal32 ? replay_next_record<float>(active, unit, destinations, count)
                                   : replay_next_record<double>(active, unit, destinations, count));
    release_unit(unit);
    if (replayed) return;
  }
  begin_input(unit_number);
  input_items(kind, destinations, count, true);
}

void reset_input_for_test() {
  t_active.scan.end();
  t_active.records.bind(nullptr, nullptr, false);
  t_active.unit = nullptr;
  for (UnitMemo& memo : t_active.memos) memo = UnitMemo{};
}

}  // namespace recio
