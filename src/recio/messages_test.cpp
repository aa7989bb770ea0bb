// Tests of the catalogue, the switch rule, the report and its listing layout.
#include "recio/messages.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace recio {
namespace {

using ::testing::ExitedWithCode;
using ::testing::StartsWith;
using ::testing::StrEq;

TEST(Messages, SwitchRule) {
  struct Row {
    const char* value;
    bool on;
  } rows[] = {
      {"", false},     {"0", false},   {"000", false}, {"1", true},    {"007", true},
      {"10", true},    {"t", true},    {"True", true}, {"yes", true},  {"Y", true},
      {"f", false},    {"no", false},  {"n", false},   {"1a", false},  {" 1", false},
      {"-1", false},   {"+1", false},  {"on", false},  {"99999999999999999999", true},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(switch_value_on(row.value), row.on) << "\"" << row.value << "\"";
  }
}

TEST(Messages, CatalogIsInNumberOrderWithUnitAndFileForIoMessages) {
  int previous = 0;
  for (const MessageRow* row = message_catalog_begin(); row != message_catalog_end(); ++row) {
    EXPECT_GT(row->number, previous);
    previous = row->number;
    EXPECT_GE(row->severity, 0);
    EXPECT_LE(row->severity, 4);
    const std::string text = row->text;
    const bool takes_unit = row->number != 41 && row->number != 157 && row->number != 200;
    EXPECT_EQ(text.ends_with(", unit %d, file %s"), takes_unit) << row->number;
  }
  for (int number : {9, 10, 22, 24, 29, 30, 38, 39, 41, 42, 43, 45, 59, 61, 63, 64, 66, 98, 157}) {
    ASSERT_NE(find_message(number), nullptr) << number;
    EXPECT_EQ(find_message(number)->severity, 4) << number;
  }
  ASSERT_NE(find_message(200), nullptr);
  EXPECT_EQ(find_message(200)->severity, 3);
  EXPECT_EQ(find_message(1), nullptr);
}

TEST(Messages, UnqualifiedName) {
  struct Row {
    const char* qualified;
    const char* shown;
  } rows[] = {
      {"main", "main"},
      {"recio::open_unit", "open_unit"},
      {"surge::(anonymous namespace)::run_case", "run_case"},
      {"ns::f<a::b>", "f<a::b>"},
      {"std::vector<int, std::allocator<int> >::push_back", "push_back"},
      {"", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(unqualified_name(row.qualified), row.shown);
}

// A stack walker that hands out fixed frames, then succeeds or breaks off.
std::vector<platform::StackFrame> g_frames;
bool g_walk_completes = true;

bool fake_walk(int, platform::FrameVisitor visit, void* context) {
  for (const platform::StackFrame& frame : g_frames) {
    if (!visit(frame, context)) return true;
  }
  return g_walk_completes;
}

platform::StackFrame frame(const char* module, uintptr_t offset, const char* routine,
                           const char* source, int line) {
  platform::StackFrame f;
  f.module = module;
  f.module_offset = offset;
  f.pc = 0x555500000000 + offset;
  f.frame_address = 0x7ffd00001000 + offset;
  f.routine = routine;
  f.source = source;
  f.line = line;
  return f;
}

std::string listing(bool verbose) {
  static ReportText report;
  report.clear();
  append_stack_listing(&report, verbose, fake_walk);
  return std::string(report.view());
}

constexpr const char* kHeader =
    "Image              PC        Routine            Line        Source             \n";

TEST(Listing, DefaultLayout) {
  g_frames = {
      frame("surge", 0x6d83, "recio::open_unit", "units.cpp", 174),
      frame("surge", 0x50a2, "surge::(anonymous namespace)::a_rather_long_routine_name",
            "a_source_file_with_a_long_name.cpp", 1234567),
      frame("libstdc++.so.6.0.30-and-more", 0xd44a3, "", "", 0),
      frame("libc.so.6", 0x12345678, "clone3", "", 0),
      frame("", 0, "", "", 0),
  };
  g_walk_completes = true;
  EXPECT_EQ(listing(false),
            std::string(kHeader) +
                "surge              00006D83  open_unit                 174  units.cpp\n"
                "surge              000050A2  a_rather_long_rou     1234567  "
                "a_source_file_with_a_long_name.cpp\n"
                "libstdc++.so.6.0.  000D44A3  Unknown               Unknown  Unknown\n"
                "libc.so.6          12345678  clone3                Unknown  Unknown\n"
                "                   00000000  Unknown               Unknown  Unknown\n");
}

TEST(Listing, WalkThatBreaksOffEndsAbnormally) {
  g_frames = {frame("surge", 0x10, "main", "main.cpp", 7)};
  g_walk_completes = false;
  EXPECT_EQ(listing(false), std::string(kHeader) +
                                "surge              00000010  main                        7  "
                                "main.cpp\n\nStack trace terminated abnormally.\n");
  g_frames.clear();
  EXPECT_EQ(listing(false), std::string(kHeader) + "\nStack trace terminated abnormally.\n");
}

TEST(Listing, CutAtTheEndOfTheReportBuffer) {
  g_frames.assign(1000, frame("surge", 0xabc, "deep", "deep.cpp", 42));
  g_walk_completes = true;
  const std::string text = listing(false);
  ASSERT_EQ(text.size(), kReportSize);
  const std::string line = "surge              00000ABC  deep                       42  deep.cpp\n";
  const size_t body = kReportSize - std::string(kHeader).size();
  EXPECT_EQ(text.substr(text.size() - body % line.size()), line.substr(0, body % line.size()));
}

TEST(Listing, VerboseLayout) {
  g_frames = {frame("surge", 0x6d83, "recio::open_unit", "units.cpp", 174),
              frame("libc.so.6", 0x27305, "", "", 0)};
  g_walk_completes = true;
  EXPECT_EQ(listing(true),
            "\n\nTraceback symbolic or hex stack dump follows:\n\n"
            "--------- Frame # 0\n"
            "Image: surge\n"
            "PC: 00006D83\n"
            "Routine name: recio::open_unit\n"
            "Source file: units.cpp\n"
            "Line number: 174\n"
            "Return address: 0000555500006D83\n"
            "Stack frame: 00007FFD00007D83\n\n"
            "--------- Frame # 1\n"
            "Image: libc.so.6\n"
            "PC: 00027305\n"
            "Routine name: Unknown\n"
            "Source file: Unknown\n"
            "Line number: Unknown\n"
            "Return address: 0000555500027305\n"
            "Stack frame: 00007FFD00028305\n\n");
}

TEST(Listing, RealWalkNamesThisTest) {
  static ReportText report;
  report.clear();
  append_stack_listing(&report, false);
  const std::string text(report.view());
  EXPECT_THAT(text, StartsWith(kHeader));
  EXPECT_NE(text.find("messages_test.cpp"), std::string::npos) << text;
  EXPECT_EQ(text.find("Stack trace terminated abnormally."), std::string::npos) << text;
}

// The reports below run in a child process: severity 4 ends it.
class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"FORT0", "FOR_DIAGNOSTIC_LOG_FILE", "FOR_DISABLE_DIAGNOSTIC_DISPLAY",
                             "FOR_ENABLE_VERBOSE_STACK_TRACE", "TBK_ENABLE_VERBOSE_STACK_TRACE"}) {
      unsetenv(name);
    }
    setenv("FOR_DISABLE_STACK_TRACE", "1", 1);
  }
  void TearDown() override { unsetenv("FOR_DISABLE_STACK_TRACE"); }
};

TEST_F(ReportTest, SevereMessageEndsTheProcessWithItsNumber) {
  EXPECT_EXIT(issue_message(29, 1, "/work/srfparamsVelko.dat"), ExitedWithCode(29),
              StrEq("forrtl: severe (29): file not found, unit 1, file "
                    "/work/srfparamsVelko.dat\r\r\n"));
  EXPECT_EXIT(issue_message(41), ExitedWithCode(41),
              StrEq("forrtl: severe (41): insufficient virtual memory\r\r\n"));
}

TEST_F(ReportTest, ErrorSeverityReturnsAndCarriesTheListing) {
  unsetenv("FOR_DISABLE_STACK_TRACE");
  EXPECT_EXIT(
      {
        issue_message(200, "control-C");
        std::exit(77);
      },
      ExitedWithCode(77),
      StartsWith("forrtl: error (200): program aborting due to control-C event\r\r\n"
                 "Image              PC        Routine            Line        Source             "
                 "\r\n"));
}

}  // namespace
}  // namespace recio
