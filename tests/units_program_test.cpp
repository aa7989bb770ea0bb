// Whole-program tests of opening the data files, the run-time error report,
// its call-stack listing and the environment variables that redirect them.
#include <stdio.h>
#include <sys/stat.h>

#include <filesystem>
#include <regex>
#include <string>

#include "program_runner.h"

namespace surge_test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kParameterFile = "srfparamsVelko.dat";
constexpr const char* kSlopeFile = "pslope.dat";
// The last line of the distance prompt: every answer has been accepted.
constexpr const char* kDistancePromptEnd =
    "(-) for bridge located on the left (west) side of the hurricane landfall\r\n";
constexpr const char* kRadiusPromptEnd = "(integer only, between 11 and 65 km)\r\n";
constexpr const char* kLocationPromptEnd =
    "[refer to Quillon_Site_Grid.pdf for bridge locations and numbers] \r\n";
constexpr const char* kListingHeader =
    "Image              PC        Routine            Line        Source             \r\n";

const std::string kCaseAnswers = answers({"5", "950", "30", "60"});

RunOptions with_env(std::vector<std::string> env) {
  RunOptions options;
  options.env = std::move(env);
  return options;
}

std::string first_line(const std::string& text) {
  size_t end = text.find('\n');
  return end == std::string::npos ? text : text.substr(0, end + 1);
}

std::string report_line(int number, const std::string& text) {
  return "forrtl: severe (" + std::to_string(number) + "): " + text + "\r\r\n";
}

class UnitsProgramTest : public ProgramTest {
 protected:
  // The working folder as the program sees it (no symbolic links).
  std::string here() const { return fs::canonical(dir_).string(); }
  std::string missing_parameters_line() const {
    return report_line(29, "file not found, unit 1, file " + here() + "/" + kParameterFile);
  }
};

TEST_F(UnitsProgramTest, ParameterFileMissingEndsTheFirstCaseAfterItsAnswers) {
  // Opening this slope "file" would be report 9: it is never opened.
  fs::create_directory(path(kSlopeFile));
  RunResult r = run(kCaseAnswers);
  EXPECT_EQ(r.status, 29);
  EXPECT_EQ(first_line(r.err), missing_parameters_line());
  EXPECT_TRUE(r.out.ends_with(kDistancePromptEnd)) << r.out;
}

// Each row: the data files as they stand, and the report that ends the case.
// A parameter file one group short ends on unit 1 although the slope file is
// missing too: the slope file is opened only after all 20 groups were read.
TEST_F(UnitsProgramTest, DataFileFailures) {
  struct Row {
    const char* name;
    const char* parameters;  // nullptr: missing; "dir": a directory
    const char* slopes;
    int status;
    std::string text;  // "@" stands for the working folder
  };
  const std::string nineteen_groups = example_parameter_file().substr(
      0, example_parameter_file().size() / 20 * 19);
  const std::string full = example_parameter_file();
  const Row rows[] = {
      {"slope file missing", full.c_str(), nullptr, 29, "file not found, unit 2, file @/pslope.dat"},
      {"parameter file short", nineteen_groups.c_str(), nullptr, 24,
       "end-of-file during read, unit 1, file @/srfparamsVelko.dat"},
      {"parameter directory", "dir", nullptr, 9,
       "permission to access file denied, unit 1, file @/srfparamsVelko.dat"},
      {"slope directory", full.c_str(), "dir", 9,
       "permission to access file denied, unit 2, file @/pslope.dat"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(path(kParameterFile));
    fs::remove_all(path(kSlopeFile));
    for (auto [name, content] : {std::pair{kParameterFile, row.parameters},
                                 std::pair{kSlopeFile, row.slopes}}) {
      if (content == nullptr) continue;
      if (std::string(content) == "dir") {
        fs::create_directory(path(name));
      } else {
        write_file(name, content);
      }
    }
    std::string text = row.text;
    text.replace(text.find('@'), 1, here());
    RunResult r = run(kCaseAnswers);
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(first_line(r.err), report_line(row.status, text));
    EXPECT_TRUE(r.out.ends_with(kDistancePromptEnd)) << r.out;
  }
}

// The report quotes the full path while it stays shorter than 257 characters,
// and the bare name from there on.
TEST_F(UnitsProgramTest, LongWorkingFolderGivesTheBareName) {
  const std::string name_part = std::string("/") + kParameterFile;
  for (size_t full_length : {255u, 256u, 257u, 258u}) {
    // Nested folders of at most 100 characters each, to reach the length.
    std::string folder = here();
    size_t rest = full_length - name_part.size() - folder.size();
    while (rest > 102) {
      folder += "/" + std::string(100, 'd');
      rest -= 101;
    }
    folder += "/" + std::string(rest - 1, 'e');
    ASSERT_EQ(folder.size() + name_part.size(), full_length);
    fs::create_directories(folder);
    RunResult r = run(kCaseAnswers, RunOptions{.env = {}, .cwd = folder});
    const std::string quoted = full_length < 257 ? folder + name_part : kParameterFile;
    EXPECT_EQ(r.status, 29);
    EXPECT_EQ(first_line(r.err), report_line(29, "file not found, unit 1, file " + quoted))
        << "full path of " << full_length;
  }
}

// Each row: the answers piped in, what the answers file named by FOR_READ
// holds (nullptr: not set), the report's first line and what output ends with.
TEST_F(UnitsProgramTest, EndOfConsoleInput) {
  write_example_data();
  write_file("answers.txt", answers({"5", "950"}));
  struct Row {
    const char* name;
    std::string piped;
    const char* for_read;
    std::string line;
    const char* output_end;
  } rows[] = {
      {"nothing piped", "", nullptr,
       report_line(24, "end-of-file during read, unit -4, file CONIN$"), kLocationPromptEnd},
      {"input ends after two answers", answers({"5", "950"}), nullptr,
       report_line(24, "end-of-file during read, unit -4, file CONIN$"), kRadiusPromptEnd},
      {"answers file runs out", answers({"5", "950", "30", "60", "0"}), " answers.txt ",
       report_line(24, "end-of-file during read, unit -4, file " + here() + "/answers.txt"),
       kRadiusPromptEnd},
      {"answers file missing", answers({"5"}), "absent.txt",
       report_line(29, "file not found, unit -4, file " + here() + "/absent.txt"),
       kLocationPromptEnd},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RunOptions options;
    if (row.for_read) options.env.push_back(std::string("FOR_READ=") + row.for_read);
    RunResult r = run(row.piped, options);
    EXPECT_EQ(first_line(r.err), row.line);
    EXPECT_EQ(r.status, row.line.starts_with("forrtl: severe (24)") ? 24 : 29);
    EXPECT_TRUE(r.out.ends_with(row.output_end)) << r.out;
  }
}

TEST_F(UnitsProgramTest, AnswersFromForReadRunAWholeCase) {
  write_example_data();
  write_file("answers.txt", answers({"5", "950", "30", "60", "0"}));
  RunResult r = run("", with_env({"FOR_READ=answers.txt"}));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(r.out.ends_with("End of program.\r\n")) << r.out;
}

TEST_F(UnitsProgramTest, ForPrintSendsConsoleOutputToItsFile) {
  RunResult r = run(kCaseAnswers, with_env({"FOR_PRINT=printed.txt"}));
  EXPECT_EQ(r.status, 29);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(first_line(r.err), missing_parameters_line());
  const std::string printed = read_file("printed.txt");
  EXPECT_TRUE(printed.starts_with(
      " ------------------------------------------------------------------------------\r\n"))
      << printed;
  EXPECT_TRUE(printed.ends_with(kDistancePromptEnd)) << printed;
}

TEST_F(UnitsProgramTest, Fort0AppendsReportsToItsFile) {
  write_file("reports.txt", "earlier\n");
  RunResult r = run(kCaseAnswers, with_env({"FORT0=reports.txt"}));
  EXPECT_EQ(r.status, 29);
  EXPECT_EQ(r.err, "");
  const std::string reports = read_file("reports.txt");
  EXPECT_EQ(first_line(reports), "earlier\n");
  EXPECT_EQ(first_line(reports.substr(8)), missing_parameters_line());
  EXPECT_EQ(reports.substr(8 + missing_parameters_line().size()).substr(0, 81), kListingHeader);
}

// Each row: the variables set, then whether standard error and the log file
// show the report, and whether the listing follows its line.
TEST_F(UnitsProgramTest, LogFileAndDisplaySwitches) {
  struct Row {
    std::vector<std::string> env;
    bool displayed;
    bool logged;
    bool listing;
  } rows[] = {
      {{"FOR_DIAGNOSTIC_LOG_FILE=log.txt"}, true, true, true},
      {{"FOR_DIAGNOSTIC_LOG_FILE=log.txt", "FOR_DISABLE_DIAGNOSTIC_DISPLAY=1"}, false, true, true},
      {{"FOR_DISABLE_DIAGNOSTIC_DISPLAY=yes"}, false, false, true},
      {{"FOR_DISABLE_DIAGNOSTIC_DISPLAY=0"}, true, false, true},
      {{"FOR_DISABLE_STACK_TRACE=1"}, true, false, false},
      {{"FOR_DISABLE_STACK_TRACE=True", "FOR_DIAGNOSTIC_LOG_FILE=log.txt"}, true, true, false},
      {{"FOR_DISABLE_STACK_TRACE=no"}, true, false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.env));
    write_file("log.txt", "old\n");
    RunResult r = run(kCaseAnswers, with_env(row.env));
    EXPECT_EQ(r.status, 29);
    const std::string log = read_file("log.txt");
    EXPECT_TRUE(log.starts_with("old\n"));
    const std::string logged = log.substr(4);
    if (row.logged && row.displayed) {
      EXPECT_EQ(logged, r.err);
    }
    for (auto [shown, text] : {std::pair{row.displayed, r.err}, std::pair{row.logged, logged}}) {
      if (!shown) {
        EXPECT_EQ(text, "");
        continue;
      }
      if (row.listing) {
        EXPECT_EQ(text.substr(0, missing_parameters_line().size() + 81),
                  missing_parameters_line() + kListingHeader);
      } else {
        EXPECT_EQ(text, missing_parameters_line());
      }
    }
  }
}

// One listing line: module, PC, routine, line and source in their columns.
const std::regex kFrameLine(R"((.{17})  ([0-9A-F]{8})  (.{17})  (.{10})  (.*)\r\n)");

TEST_F(UnitsProgramTest, ListingNamesTheMainRoutinesCode) {
  RunResult r = run(kCaseAnswers);
  ASSERT_EQ(r.status, 29);
  ASSERT_TRUE(r.err.starts_with(missing_parameters_line() + kListingHeader)) << r.err;
  std::string rest = r.err.substr(missing_parameters_line().size() + 81);
  int frames = 0;
  std::string dialogue_pc;
  std::string dialogue_line;
  for (std::smatch m; std::regex_search(rest, m, kFrameLine,
                                        std::regex_constants::match_continuous);
       rest = m.suffix()) {
    ++frames;
    std::string routine = m[3].str();
    routine.erase(routine.find_last_not_of(' ') + 1);
    std::string line = m[4].str();
    line.erase(0, line.find_first_not_of(' '));
    if (m[5] == "dialogue.cpp" && routine != "Unknown" && line != "Unknown") {
      EXPECT_EQ(m[1].str(), "surge            ");
      EXPECT_TRUE(std::regex_match(line, std::regex("[0-9]+"))) << line;
      if (dialogue_pc.empty()) {
        dialogue_pc = m[2].str();
        dialogue_line = line;
      }
    }
  }
  EXPECT_EQ(rest, "") << "not a listing line";
  EXPECT_GE(frames, 3);
  ASSERT_FALSE(dialogue_pc.empty()) << r.err;

  // The PC is the return address relative to the program's load address, so
  // the usual tools resolve it (one byte back: the call itself).
  char command[512];
  std::snprintf(command, sizeof command, "addr2line -e '%s' 0x%lx", program_path(),
                std::stoul(dialogue_pc, nullptr, 16) - 1);
  FILE* pipe = popen(command, "r");
  ASSERT_NE(pipe, nullptr);
  char answer[512] = "";
  if (fgets(answer, sizeof answer, pipe) == nullptr) answer[0] = '\0';
  pclose(pipe);
  EXPECT_TRUE(std::string(answer).ends_with("dialogue.cpp:" + dialogue_line + "\n"))
      << command << " gave " << answer;
}

TEST_F(UnitsProgramTest, VerboseListing) {
  for (const char* variable : {"FOR_ENABLE_VERBOSE_STACK_TRACE=y", "TBK_ENABLE_VERBOSE_STACK_TRACE=1"}) {
    SCOPED_TRACE(variable);
    RunResult r = run(kCaseAnswers, with_env({variable}));
    EXPECT_EQ(r.status, 29);
    EXPECT_TRUE(r.err.starts_with(missing_parameters_line() +
                                  "\r\n\r\nTraceback symbolic or hex stack dump follows:\r\n\r\n"
                                  "--------- Frame # 0\r\nImage: surge\r\nPC: "))
        << r.err;
    for (const char* field : {"\r\nRoutine name: surge::load_site_tables\r\n", "\r\nSource file: dialogue.cpp\r\n",
                              "\r\nLine number: "}) {
      EXPECT_NE(r.err.find(field), std::string::npos) << field;
    }
  }
}

}  // namespace
}  // namespace surge_test
