// Tests of name resolution, opening, re-opening and closing units.
#include "recio/units.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "recio/input.h"

namespace recio {
namespace {

namespace fs = std::filesystem;
using std::string_literals::operator""s;

// Each test runs in a fresh folder that is also its working directory.
class UnitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/surge-units-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = fs::canonical(name).string();
    old_cwd_ = fs::current_path();
    fs::current_path(dir_);
    unsetenv("FOR_READ");
    unsetenv("FOR_PRINT");
    setenv("FOR_DISABLE_STACK_TRACE", "1", 1);
  }
  void TearDown() override {
    reset_units_for_test();
    fs::current_path(old_cwd_);
    fs::remove_all(dir_);
  }
  void write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
  }
  int32_t read_int(int32_t unit) {
    int32_t value = -1;
    begin_input(unit);
    input_item(ItemKind::kInt32, &value, true);
    return value;
  }

  std::string dir_;
  fs::path old_cwd_;
};

TEST_F(UnitsTest, ResolveFileName) {
  const std::string many(300, 'a');
  const std::string blanks_past_cut = "x" + std::string(255, ' ') + "yz";
  struct Row {
    std::string given;
    std::string expected;  // "@" stands for the working directory
  } rows[] = {
      {"data.dat", "@/data.dat"},
      {"   data.dat  ", "@/data.dat"},
      {"data.dat \0 \0"s, "@/data.dat"},
      {"./sub/../data.dat", "@/data.dat"},
      {"sub//data.dat", "@/sub/data.dat"},
      {"sub/", "@/sub/"},
      {"../up.dat", fs::path(dir_).parent_path().string() + "/up.dat"},
      {"/abs//x/./y/../z", "/abs/x/z"},
      {"con", "con"},
      {"  CONIN$ ", "CONIN$"},
      {"Nul", "Nul"},
      {"LPT4", "LPT4"},
      {"CON.dat", "@/CON.dat"},
      {"COM5", "@/COM5"},
      {"   ", ""},
      {many, many.substr(0, 256)},      // cut to 256; its full path is too long
      {blanks_past_cut, "@/x"},         // cut first, then trimmed
  };
  for (const Row& row : rows) {
    std::string expected = row.expected;
    if (expected.starts_with("@")) expected = dir_ + expected.substr(1);
    EXPECT_EQ(resolve_file_name(row.given), expected) << "given \"" << row.given << "\"";
  }
}

TEST_F(UnitsTest, ResolveFileNameKeepsFullPathOnlyBelow257Characters) {
  for (size_t full_length : {255u, 256u, 257u, 258u}) {
    const std::string name(full_length - dir_.size() - 1, 'n');
    const std::string expected = full_length < 257 ? dir_ + "/" + name : name;
    EXPECT_EQ(resolve_file_name(name), expected) << "full path of " << full_length;
  }
}

// Each row opens unit 1 on a name that cannot be read, in a child process,
// and checks the first line of the report and the exit status.
TEST_F(UnitsTest, OpenFailuresMapToMessages) {
  write("plain.dat", "1\n");
  fs::create_directory(dir_ + "/adir");
  const std::string too_long(256, 'a');
  struct Row {
    OpenSpec request;
    int status;
    std::string line;
  } rows[] = {
      {{"absent.dat"}, 29, "forrtl: severe (29): file not found, unit 1, file @/absent.dat"},
      {{"nodir/absent.dat"}, 29, "forrtl: severe (29): file not found, unit 1, file @/nodir/absent.dat"},
      {{"plain.dat/x"}, 29, "forrtl: severe (29): file not found, unit 1, file @/plain.dat/x"},
      {{"adir"}, 9, "forrtl: severe (9): permission to access file denied, unit 1, file @/adir"},
      {{"adir/"}, 9, "forrtl: severe (9): permission to access file denied, unit 1, file @/adir/"},
      {{"plain.dat/"}, 29, "forrtl: severe (29): file not found, unit 1, file @/plain.dat/"},
      {{too_long}, 43, "forrtl: severe (43): file name specification error, unit 1, file " + too_long},
      {{"PRN"}, 42, "forrtl: severe (42): no such device, unit 1, file PRN"},
      {{"CONOUT$"}, 42, "forrtl: severe (42): no such device, unit 1, file CONOUT$"},
      {{"plain.dat", "READONLY"}, 45,
       "forrtl: severe (45): keyword value error in OPEN statement, unit 1, file @/plain.dat"},
      {{"plain.dat", "read", "OLDISH"}, 45,
       "forrtl: severe (45): keyword value error in OPEN statement, unit 1, file @/plain.dat"},
  };
  for (const Row& row : rows) {
    std::string line = row.line;
    if (size_t at = line.find('@'); at != std::string::npos) line.replace(at, 1, dir_);
    EXPECT_EXIT(open_unit(1, row.request), ::testing::ExitedWithCode(row.status),
                ::testing::StrEq(line + "\r\r\n"))
        << "file \"" << row.request.file << "\"";
  }
}

TEST_F(UnitsTest, OpenDecodesSpecifiersWithoutRegardToCaseOrTrailingBlanks) {
  write("a.dat", "1\n");
  for (OpenSpec request : {OpenSpec{"a.dat", "read", "unknown"}, OpenSpec{"a.dat", "Read  ", "OLD "},
                        OpenSpec{"a.dat", "READ", "Unknown"}}) {
    open_unit(1, request);
    EXPECT_EQ(read_int(1), 1) << request.action << " " << request.status;
    close_unit(1);
  }
}

TEST_F(UnitsTest, ReopenKeepsTheSameFileAndRestartsOnAnother) {
  write("a.dat", "1\n2\n3\n4\n");
  write("b.dat", "7\n8\n");
  fs::create_symlink(dir_ + "/a.dat", dir_ + "/link.dat");
  struct Step {
    const char* open;  // nullptr: close unit 1 instead
    int32_t next;      // the value that the next statement reads
  } steps[] = {
      {"a.dat", 1},    {"a.dat", 2}, {"./a.dat ", 3}, {"link.dat", 4},
      {"b.dat", 7},    {nullptr, -1}, {"a.dat", 1},  {"b.dat", 7},
  };
  for (const Step& step : steps) {
    if (step.open == nullptr) {
      close_unit(1);
      continue;
    }
    open_unit(1, {step.open});
    EXPECT_EQ(read_int(1), step.next) << "after opening " << step.open;
  }
}

// A file's first block is read as it opens and kept for the first statement;
// the record buffer outlives a connection. Each row opens its file on unit 1
// after the previous row's, and reads the first value and a last line that
// has no line end.
TEST_F(UnitsTest, EachConnectionStartsFromItsFilesFirstBytes) {
  const std::string long_line = std::string(5000, ' ') + "6";
  struct Row {
    const char* name;
    std::string text;
    int32_t first;
    int32_t second;  // -1: not read
  } rows[] = {
      {"long.dat", long_line + "\n9", 6, 9},   // grows the buffer past its first size
      {"short.dat", "4\n5", 4, 5},             // a smaller file in the grown buffer
      {"edge.dat", std::string(4095, ' ') + "\n3", 3, -1},  // the line end at the block's last byte
      {"nolf.dat", "  8", 8, -1},
      {"long.dat", long_line + "\n9", 6, 9},
  };
  for (const Row& row : rows) {
    write(row.name, row.text);
    open_unit(1, {row.name});
    EXPECT_EQ(read_int(1), row.first) << row.name;
    if (row.second >= 0) {
      EXPECT_EQ(read_int(1), row.second) << row.name;
    }
  }
  write("empty.dat", "");
  open_unit(1, {"empty.dat"});
  EXPECT_EXIT(read_int(1), ::testing::ExitedWithCode(24),
              ::testing::StartsWith("forrtl: severe (24): end-of-file during read, unit 1, file " +
                                    dir_ + "/empty.dat"));
}

// A pipe's first read may be short: what it gave completes the record, as a
// read made by the statement itself would, and nothing more is awaited. The
// writer keeps its end open until the reader is done, or gives up after 5 s.
TEST_F(UnitsTest, AShortFirstReadFromAPipeCompletesTheRecord) {
  struct Row {
    const char* written;
    int32_t value;
  } rows[] = {{"12", 12}, {"  7 ", 7}, {"5\n", 5}};
  for (const Row& row : rows) {
    ASSERT_EQ(mkfifo((dir_ + "/pipe.dat").c_str(), 0600), 0);
    std::atomic<bool> done{false};
    bool gave_up = false;
    std::thread writer([&] {
      std::ofstream out(dir_ + "/pipe.dat", std::ios::binary);
      out << row.written << std::flush;
      const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (!done && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      gave_up = !done;
    });
    open_unit(1, {"pipe.dat"});
    EXPECT_EQ(read_int(1), row.value) << "\"" << row.written << "\"";
    done = true;
    writer.join();
    EXPECT_FALSE(gave_up) << "the read waited for the writer to close: \"" << row.written << "\"";
    close_unit(1);
    fs::remove(dir_ + "/pipe.dat");
  }
}

TEST_F(UnitsTest, ClosingUnitsThatWereNeverOpenedDoesNothing) {
  close_unit(1);
  close_unit(-4);
  close_unit(12345);
  close_all_units();
  write("a.dat", "5\n");
  open_unit(1, {"a.dat"});
  EXPECT_EQ(read_int(1), 5);
}

TEST(DeviceNameTest, AnyCaseAndTrailingBlanksButNothingElse) {
  struct Row {
    const char* name;
    bool device;
  } rows[] = {
      {"CON", true},      {"con", true},     {"Con  ", true},   {"conout$", true},
      {"CONIN$ ", true},  {"lpt4", true},    {"Nul", true},     {"com1", true},
      {"CO", false},      {"CONS", false},   {" CON", false},   {"CON\t", false},
      {"com5", false},    {"", false},       {"   ", false},    {"CONOUT", false},
      {"LPT1.dat", false}, {"nul/", false},
  };
  for (const Row& row : rows) EXPECT_EQ(is_device_name(row.name), row.device) << '"' << row.name << '"';
}

// Unit numbers inside and outside the range that is found without the table
// lock: each reads its own file, and after a close a reopened unit starts anew.
TEST_F(UnitsTest, UnitsOfAnyNumberKeepTheirOwnConnection) {
  const int32_t units[] = {-9, -8, 1, 63, 64, 100000, -2147483647};
  for (int32_t unit : units) {
    write("u" + std::to_string(unit), std::to_string(unit) + "\n42\n");
    open_unit(unit, {"u" + std::to_string(unit)});
  }
  for (int32_t unit : units) EXPECT_EQ(read_int(unit), unit);
  for (int32_t unit : units) close_unit(unit);
  for (int32_t unit : units) {
    open_unit(unit, {"u" + std::to_string(unit)});
    EXPECT_EQ(read_int(unit), unit) << "unit " << unit << " after a close";
    EXPECT_EQ(read_int(unit), 42);
  }
}

// Another thread (the console event's) only tries the lock: it fails while a
// statement holds the unit, however often its own thread took it again, and
// succeeds once it is free; a thread that waits for it gets it on release.
// A unit held across statements: they run as they would alone, and another
// thread finds the unit busy from the hold's start to its end, between the
// statements too, so that closing every unit from there leaves it open.
TEST_F(UnitsTest, AHoldKeepsTheUnitBusyAcrossItsStatements) {
  write("a.dat", "1\n2\n3\n");
  open_unit(1, {"a.dat"});
  UnitBlock& block = claim_unit(1);
  release_unit(block);
  auto elsewhere = [](auto work) { std::thread(work).join(); };
  auto free_elsewhere = [&] {
    bool got = false;
    elsewhere([&] {
      got = block.lock.try_lock();
      if (got) block.lock.unlock();
    });
    return got;
  };
  {
    UnitHold hold(1);
    EXPECT_EQ(read_int(1), 1);
    EXPECT_FALSE(free_elsewhere());
    elsewhere([] { close_all_units(); });
    EXPECT_TRUE(block.connected);
    EXPECT_EQ(read_int(1), 2);
  }
  EXPECT_TRUE(free_elsewhere());
  elsewhere([] { close_all_units(); });
  EXPECT_FALSE(block.connected);
}

TEST(UnitLockTest, HeldAcrossThreadsUntilFullyReleased) {
  UnitLock lock;
  auto other_thread_gets_it = [&lock] {
    bool got = false;
    std::thread([&] {
      got = lock.try_lock();
      if (got) lock.unlock();
    }).join();
    return got;
  };
  EXPECT_TRUE(other_thread_gets_it());
  lock.lock();
  EXPECT_TRUE(lock.try_lock());  // taken again by its holder
  lock.lock();
  EXPECT_FALSE(other_thread_gets_it());
  lock.unlock();
  lock.unlock();
  EXPECT_FALSE(other_thread_gets_it());
  lock.unlock();
  EXPECT_TRUE(other_thread_gets_it());

  lock.lock();
  std::atomic<bool> taken{false};
  std::thread waiter([&] {
    lock.lock();
    taken = true;
    lock.unlock();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(taken);
  lock.unlock();
  waiter.join();
  EXPECT_TRUE(taken);
}

TEST_F(UnitsTest, ConsoleUnitsConnectOnFirstUseWithTheirRedirection) {
  write("answers.txt", "1\n");
  struct Row {
    const char* variable;
    const char* value;  // nullptr: not set
    int32_t unit;
    std::string name;
  } rows[] = {
      {"FOR_READ", nullptr, kConsoleInputUnit, "CONIN$"},
      {"FOR_READ", "", kConsoleInputUnit, "CONIN$"},
      {"FOR_READ", "  answers.txt ", kConsoleInputUnit, dir_ + "/answers.txt"},
      {"FOR_READ", "con", kConsoleInputUnit, "con"},
      {"FOR_PRINT", nullptr, kConsoleOutputUnit, "CONOUT$"},
      {"FOR_PRINT", "printed.txt", kConsoleOutputUnit, dir_ + "/printed.txt"},
      {"FOR_PRINT", "CON", kConsoleOutputUnit, "CON"},
  };
  for (const Row& row : rows) {
    if (row.value) {
      setenv(row.variable, row.value, 1);
    } else {
      unsetenv(row.variable);
    }
    UnitBlock& block = claim_unit(row.unit);
    EXPECT_TRUE(block.connected);
    EXPECT_EQ(block.file_name, row.name) << row.variable << "=" << (row.value ? row.value : "");
    EXPECT_EQ(block.read_only, row.unit == kConsoleInputUnit);
    release_unit(block);
    reset_units_for_test();
    unsetenv(row.variable);
  }
  EXPECT_TRUE(fs::exists(dir_ + "/printed.txt"));
}

TEST_F(UnitsTest, MissingRedirectionFileIsReportedOnTheConsoleUnit) {
  setenv("FOR_READ", "absent.txt", 1);
  EXPECT_EXIT(claim_unit(kConsoleInputUnit), ::testing::ExitedWithCode(29),
              ::testing::StrEq("forrtl: severe (29): file not found, unit -4, file " + dir_ +
                               "/absent.txt\r\r\n"));
}

}  // namespace
}  // namespace recio
