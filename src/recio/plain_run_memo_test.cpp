// Tests that values replayed from the memo of a file's records are exactly the
// values a fresh read gives, whatever was edited between two reads.
#include "recio/plain_run_memo.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "recio/input.h"
#include "recio/input_testing.h"
#include "recio/scanner.h"
#include "recio/units.h"

namespace recio {
namespace {

namespace fs = std::filesystem;

constexpr int kRows = 4;
constexpr int kColumns = 5;
constexpr uint32_t kUntouched = 0x7fc0beef;  // a NaN that no value read can give

// What a load stores, compared bit for bit. Every slot starts as kUntouched,
// so that a value left unchanged (null, slash) is seen as such.
struct Loaded {
  float table[kRows][kColumns];
  float single[kRows];
  bool operator==(const Loaded& other) const {
    return std::memcmp(this, &other, sizeof *this) == 0;
  }
};

// Each test runs in a fresh folder that is also its working directory.
class PlainRunMemoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/surge-memo-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = fs::canonical(name).string();
    old_cwd_ = fs::current_path();
    fs::current_path(dir_);
    setenv("FOR_DISABLE_STACK_TRACE", "1", 1);
    reset_input_for_test();
  }
  void TearDown() override {
    reset_input_for_test();
    reset_units_for_test();
    fs::current_path(old_cwd_);
    fs::remove_all(dir_);
  }
  void write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
  }
  // Reads the two files as the site tables are read: a statement of kColumns
  // reals per row from one, a statement of one real per row from the other,
  // each file opened before and closed after.
  // With `whole`, each statement is one input_statement call.
  Loaded load(bool whole = false) {
    Loaded out;
    uint32_t untouched[sizeof out / sizeof(uint32_t)];
    std::fill(std::begin(untouched), std::end(untouched), kUntouched);
    std::memcpy(&out, untouched, sizeof out);
    open_unit(1, {"table.dat"});
    for (auto& row : out.table) {
      void* items[kColumns];
      for (int k = 0; k < kColumns; ++k) items[k] = &row[k];
      if (whole) {
        input_statement(1, ItemKind::kReal32, items, kColumns);
        continue;
      }
      begin_input(1);
      input_items(ItemKind::kReal32, items, kColumns, true);
    }
    close_unit(1);
    open_unit(2, {"single.dat"});
    for (float& value : out.single) {
      void* item = &value;
      if (whole) {
        input_statement(2, ItemKind::kReal32, &item, 1);
        continue;
      }
      begin_input(2);
      input_item(ItemKind::kReal32, &value, true);
    }
    close_unit(2);
    return out;
  }

  std::string dir_;
  fs::path old_cwd_;
};

const std::string kTable =
    "  6.4234   0.3388   0.8934   3.0859   1.4148\n"
    "  4.8276   0.3438   1.0414   2.6536   1.4008\n"
    "  4.7727   0.2624   1.0778   2.9108   1.5907\n"
    " -1.5067   1.2803   0.4267  -3.6817   2.1885\n";
const std::string kSingle = " 0.8711\n 0.8662\n 0.9314\n 0.7\n";

TEST_F(PlainRunMemoTest, ReadingAgainAfterAnEditGivesWhatAFreshReadGives) {
  struct Edit {
    const char* what;
    std::string table;
    std::string single;
  };
  auto replace = [](std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
  };
  const Edit edits[] = {
      {"nothing", kTable, kSingle},
      {"a changed digit", replace(kTable, "0.3438", "0.3439"), replace(kSingle, "0.8662", "0.8663")},
      {"a null added", replace(kTable, "4.8276 ", "4.8276, ,"), replace(kSingle, " 0.8662", ",")},
      {"a slash", replace(kTable, "2.6536", "/ 2.6536"), replace(kSingle, " 0.8662", " /")},
      {"a record split differently", replace(kTable, "1.0414 ", "1.0414\n"),
       replace(kSingle, " 0.8711\n", " 0.8711 0.8662\n")},
      {"a value moved by a blank", replace(kTable, "  4.7727", "   4.7727"),
       replace(kSingle, " 0.9314", "0.9314")},
      {"records ended by CR LF", replace(replace(kTable, "1.4008\n", "1.4008\r\n"), "1.4148\n", "1.4148\r\n"),
       replace(kSingle, "0.8711\n", "0.8711\r\n")},
      {"an exponent", replace(kTable, "0.2624", "0.2624E1"), replace(kSingle, "0.9314", "9.314D-1")},
      {"a repeat count", replace(kTable, "0.3438   1.0414", "2*1.0414"), replace(kSingle, " 0.7", "2*0.7")},
      {"a short record", replace(kTable, "   1.5907\n", "\n1.5907\n"), kSingle + " 5\n"},
      {"a long mantissa", replace(kTable, "6.4234", "6.42340000000000000001"),
       replace(kSingle, "0.8711", "0.87110000000000000000001")},
      {"another sign", replace(kTable, "-1.5067", "+1.5067"), replace(kSingle, "0.7", "-0.7")},
  };
  for (const Edit& edit : edits) {
    SCOPED_TRACE(edit.what);
    reset_input_for_test();
    write("table.dat", kTable);
    write("single.dat", kSingle);
    const Loaded before = load();
    write("table.dat", edit.table);
    write("single.dat", edit.single);
    const Loaded again = load();
    reset_input_for_test();
    const Loaded fresh = load();
    EXPECT_TRUE(again == fresh);
    if (edit.table == kTable && edit.single == kSingle) {
      EXPECT_TRUE(again == before);
    }
    // The same through whole statements, which replay records without the scan.
    reset_input_for_test();
    write("table.dat", kTable);
    write("single.dat", kSingle);
    EXPECT_TRUE(load(true) == before);
    EXPECT_TRUE(load(true) == before);
    write("table.dat", edit.table);
    write("single.dat", edit.single);
    EXPECT_TRUE(load(true) == fresh);
    EXPECT_TRUE(load(true) == fresh);
  }
}

// Whole statements whose kind or item count differ from the run a record's
// slot keeps, mixed with statements of items: the file is read four times,
// each time by the next script, so that records are read again by statements
// of other shapes. Every value, and where each statement leaves the file, is
// as statements of items give them.
TEST_F(PlainRunMemoTest, WholeStatementsReplayOnlyTheirOwnRuns) {
  struct Step {
    ItemKind kind;
    size_t count;
    bool whole;
  };
  const std::vector<std::vector<Step>> scripts = {
      {{ItemKind::kReal32, 5, true}, {ItemKind::kReal32, 5, true}, {ItemKind::kReal32, 5, true}},
      {{ItemKind::kReal32, 3, true}, {ItemKind::kReal64, 5, true}, {ItemKind::kReal32, 7, true}},
      {{ItemKind::kReal64, 5, true}, {ItemKind::kReal32, 5, false}, {ItemKind::kReal64, 2, true}},
      {{ItemKind::kReal32, 6, true}, {ItemKind::kReal32, 4, true}, {ItemKind::kInt32, 1, true}},
  };
  write("table.dat", kTable);
  for (size_t s = 0; s < scripts.size(); ++s) {
    std::vector<std::vector<uint64_t>> by_way[2];  // [whole allowed?] one list per pass
    for (int way = 0; way < 2; ++way) {
      reset_input_for_test();
      for (size_t pass = 0; pass < 4; ++pass) {
        std::vector<uint64_t> bits;
        open_unit(1, {"table.dat"});
        for (const Step& step : scripts[(s + pass) % scripts.size()]) {
          std::vector<double> doubles(step.count, -7.0);
          std::vector<float> floats(step.count, -7.0f);
          std::vector<int32_t> ints(step.count, -7);
          std::vector<void*> items;
          for (size_t i = 0; i < step.count; ++i) {
            items.push_back(step.kind == ItemKind::kReal64   ? static_cast<void*>(&doubles[i])
                            : step.kind == ItemKind::kReal32 ? static_cast<void*>(&floats[i])
                                                             : static_cast<void*>(&ints[i]));
          }
          if (way == 1 && step.whole) {
            input_statement(1, step.kind, items.data(), step.count);
          } else {
            begin_input(1);
            input_items(step.kind, items.data(), step.count, true);
          }
          for (size_t i = 0; i < step.count; ++i) {
            uint64_t b = 0;
            if (step.kind == ItemKind::kReal64) std::memcpy(&b, &doubles[i], 8);
            if (step.kind == ItemKind::kReal32) std::memcpy(&b, &floats[i], 4);
            if (step.kind == ItemKind::kInt32) std::memcpy(&b, &ints[i], 4);
            bits.push_back(b);
          }
        }
        close_unit(1);
        by_way[way].push_back(bits);
      }
    }
    EXPECT_EQ(by_way[1], by_way[0]) << "script " << s;
  }
}

// Where a file's records lie is learnt from its first block and used again
// only where the bytes are the same. Units 1 and 5 share a memo; the files
// have the same lengths but for a changed digit, or are longer than the first
// read. Every connection's values are those of a fresh read of its file.
TEST_F(PlainRunMemoTest, RecordPlacesServeOnlyTheSameBytes) {
  std::string long_table;
  for (int row = 0; long_table.size() < 3 * kInitialRecordBuffer; ++row) {
    long_table += "  " + std::to_string(row) + ".25 1.5 -2.75 3e1 4\n";
  }
  std::string edited = kTable;
  edited[edited.find("0.3388")] = '1';
  const std::pair<const char*, const std::string*> files[] = {
      {"table.dat", &kTable}, {"edited.dat", &edited}, {"long.dat", &long_table}};
  auto read_all = [](int32_t unit, const char* name, bool whole) {
    std::vector<uint32_t> bits;
    open_unit(unit, {name});
    for (int row = 0; row < 8; ++row) {
      float values[kColumns];
      void* items[kColumns];
      for (int k = 0; k < kColumns; ++k) {
        values[k] = -9.0f;
        items[k] = &values[k];
      }
      if (whole) {
        input_statement(unit, ItemKind::kReal32, items, kColumns);
      } else {
        begin_input(unit);
        input_items(ItemKind::kReal32, items, kColumns, true);
      }
      for (float v : values) {
        uint32_t b;
        std::memcpy(&b, &v, sizeof b);
        bits.push_back(b);
      }
      if (row == kRows - 1 && name != std::string("long.dat")) break;  // a short file's last row
    }
    close_unit(unit);
    return bits;
  };
  std::map<std::string, std::vector<uint32_t>> fresh;
  for (const auto& [name, text] : files) {
    write(name, *text);
    reset_input_for_test();
    fresh[name] = read_all(1, name, false);
  }
  reset_input_for_test();
  // The same unit reads a file again, then the edited one and back; unit 5
  // takes the memo over in between; and statements of items read the edited
  // file between whole statements on the first.
  struct Step {
    int file;
    int32_t unit;
    bool whole;
  };
  const Step steps[] = {{0, 1, true},  {0, 1, true},  {1, 1, true},  {1, 1, true},
                        {0, 1, true},  {0, 5, true},  {0, 5, true},  {0, 1, true},
                        {2, 1, true},  {2, 1, true},  {0, 1, true},  {1, 1, true},
                        {0, 1, true},  {0, 1, true},  {1, 1, false}, {0, 1, true}};
  for (size_t i = 0; i < std::size(steps); ++i) {
    const char* name = files[steps[i].file].first;
    EXPECT_EQ(read_all(steps[i].unit, name, steps[i].whole), fresh[name]) << "step " << i << ", " << name;
  }
}

// Reads `count` items of `kind` from `text`; the values come back as doubles.
std::vector<double> read_items(const std::string& text, ItemKind kind, size_t count,
                               PlainRunMemo* memo) {
  MemoryRecords records(text, kInitialRecordBuffer, false, memo);
  InputStatement statement;
  EXPECT_EQ(statement.begin(&records), InputFault::kNone);
  std::vector<float> floats(count, -1.0f);
  std::vector<double> doubles(count, -1.0);
  std::vector<void*> items;
  for (size_t i = 0; i < count; ++i) {
    items.push_back(kind == ItemKind::kReal32 ? static_cast<void*>(&floats[i]) : &doubles[i]);
  }
  EXPECT_EQ(statement.input_items(kind, items.data(), count), InputFault::kNone);
  statement.end();
  if (kind == ItemKind::kReal32) return std::vector<double>(floats.begin(), floats.end());
  return doubles;
}

// The memo is trusted: a run kept for the same start is replayed without a
// scan. Marking a kept value shows which reads replay it; every start that
// differs in the least must convert afresh.
TEST(PlainRunTest, ReplayedOnlyForTheSameStart) {
  struct Row {
    const char* what;
    std::string text;
    ItemKind kind;
    size_t count;
    bool replayed;
  };
  const Row rows[] = {
      {"the same start", "1.5 2.5 3.5", ItemKind::kReal32, 3, true},
      {"another byte", "1.5 2.5 3.6", ItemKind::kReal32, 3, false},
      {"a byte more", "1.5 2.5 3.5 ", ItemKind::kReal32, 3, false},
      {"fewer items", "1.5 2.5 3.5", ItemKind::kReal32, 2, false},
      {"more items", "1.5 2.5 3.5\n4.5", ItemKind::kReal32, 4, false},
      {"another format", "1.5 2.5 3.5", ItemKind::kReal64, 3, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    PlainRunMemo memo;
    EXPECT_EQ(read_items("1.5 2.5 3.5", ItemKind::kReal32, 3, &memo),
              (std::vector<double>{1.5, 2.5, 3.5}));
    PlainRun& run = *memo.slot(1);
    ASSERT_EQ(run.real_size, sizeof(float));
    ASSERT_EQ(run.taken, 3u);
    const float marked = 99.0f;
    std::memcpy(run.values.data(), &marked, sizeof marked);
    const std::vector<double> again = read_items(row.text, row.kind, row.count, &memo);
    EXPECT_EQ(again[0], row.replayed ? 99.0 : 1.5);
    EXPECT_EQ(again == read_items(row.text, row.kind, row.count, nullptr), !row.replayed);
  }
}

// Memory stays bounded: records past the first kRecords have no slot, and a
// run from a record longer than kRecordBytes is not kept.
TEST(PlainRunTest, KeptOnlyWithinBounds) {
  PlainRunMemo memo;
  EXPECT_NE(memo.slot(PlainRunMemo::kRecords), nullptr);
  EXPECT_EQ(memo.slot(PlainRunMemo::kRecords + 1), nullptr);
  EXPECT_EQ(memo.slot(0), nullptr);

  std::string wide(PlainRunMemo::kRecordBytes - 3, ' ');
  read_items(wide + "1.5", ItemKind::kReal32, 1, &memo);
  EXPECT_EQ(memo.slot(1)->real_size, sizeof(float));
  read_items(wide + " 1.5", ItemKind::kReal32, 1, &memo);
  EXPECT_EQ(memo.slot(1)->real_size, 0);
}

}  // namespace
}  // namespace recio
