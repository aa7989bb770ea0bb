// Whole-program tests of the case dialogue: texts, order, checks and endings.
#include <string>
#include <vector>

#include "program_runner.h"

namespace surge_test {
namespace {

// Records of an output, split at CR LF (the last, unterminated piece dropped).
std::vector<std::string> records(const std::string& out) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = out.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(out.substr(start, end - start));
  }
  return lines;
}

const std::string kLocationPrompt =
    " Enter location number near the bridge of interest\r\n"
    " (integer only, between 1 and 20)\r\n"
    " [refer to Quillon_Site_Grid.pdf for bridge locations and numbers] \r\n";
const std::string kPressurePrompt =
    "\r\n"
    "Enter expected lowest central pressure of the hurricane in [mb]\r\n"
    "(integer only, between 890 and 960 mb)\r\n";
const std::string kRadiusPrompt =
    "\r\n"
    "Enter hurricane radius [center to the maximum wind speed] in [km] \r\n"
    "(integer only, between 11 and 65 km)\r\n";
const std::string kDistancePromptHead =
    "\r\n"
    "Enter distance between hurricane landfall and location of the bridge in [km]\r\n"
    "(+) for bridge located on the right (east) side of the hurricane landfall\r\n";
const std::string kDistancePrompt =
    kDistancePromptHead + "(-) for bridge located on the left (west) side of the hurricane landfall\r\n";
const std::string kRule78(78, '-');
const std::string kRule77(77, '-');

std::string report(const std::string& surge, const std::string& location,
                   const std::string& pressure, const std::string& radius, const std::string& km,
                   const std::string& side) {
  return "A peak surge= " + surge + " m\r\n" +
         " \r\n"
         " " + kRule77 + "\r\n"
         " \r\n"
         "Evaluated at a location of bridge No." + location + "\r\n"
         "A peak surge level forced by a hurricane\r\n"
         "with the lowest central intensity (Cp):" + pressure + "mb, \r\n"
         "Radius (Rp):" + radius + "km, and\r\n"
         "making landfall " + km + "km away to the " + side + " side of a bridge location No." +
         location + " is" + surge + " m\r\n"
         " \r\n"
         " " + kRule78 + "\r\n"
         " \r\n"
         " Note!! A peak surge level evaluated through this program ONLY takes the effect\r\n"
         " of hurricane meteorological forcing into account.\r\n"
         " It does NOT include the effect of other forcing factors \r\n"
         " such as wave setup, astronomical tides, and wave runup.\r\n"
         " \r\n"
         " \r\n"
         " Run another case? [Y=1 or N=0]\r\n";
}

const std::string kExampleReport =
    report(" 0.3", "      5", "         950", "          30", " 60", "LEFT ");

class DialogueTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    write_example_data();
  }
  // Standard output after the 24 banner records.
  static std::string after_banner(const std::string& out) {
    size_t at = 0;
    for (int i = 0; i < 24 && at != std::string::npos; ++i) {
      at = out.find("\r\n", at);
      if (at != std::string::npos) at += 2;
    }
    return at == std::string::npos ? std::string() : out.substr(at);
  }
};

TEST_F(DialogueTest, BannerHasTwentyFourFreeFormRecords) {
  RunResult r = run(answers({"5", "950", "30", "60", "0"}));
  std::vector<std::string> lines = records(r.out);
  ASSERT_GE(lines.size(), 24u);
  EXPECT_EQ(lines[0], " " + kRule78);
  EXPECT_EQ(lines[23], " " + kRule78);
  // Lengths of rows 3 to 22 (without the record's leading blank); 0 is empty.
  const size_t lengths[] = {68, 0, 55, 58, 48, 0, 78, 78, 0, 59, 0, 72, 62, 77, 0, 76, 77, 0, 77, 77};
  for (int row = 2; row <= 22; ++row) {
    SCOPED_TRACE(row);
    if (row == 2 || lengths[row - 3] == 0) {
      EXPECT_EQ(lines[row - 1], " ");
      continue;
    }
    EXPECT_EQ(lines[row - 1].size(), lengths[row - 3] + 1);
    EXPECT_TRUE(lines[row - 1].starts_with("  ")) << "rows begin with a blank of their own";
  }
  // The second and third author lines are indented by 11 blanks, under the
  // first name.
  EXPECT_EQ(lines[4].find_first_not_of(' ', 11), lines[5].find_first_not_of(' '));
  EXPECT_EQ(lines[5].find_first_not_of(' '), 12u);
  EXPECT_EQ(lines[6].find_first_not_of(' '), 12u);
}

TEST_F(DialogueTest, OneWholeCaseByteForByte) {
  RunResult r = run(answers({"5", "950", "30", "60", "0"}));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(after_banner(r.out), kLocationPrompt + kPressurePrompt + kRadiusPrompt +
                                     kDistancePrompt + kExampleReport + " End of program.\r\n");
}

TEST_F(DialogueTest, RightSideCase) {
  RunResult r = run(answers({"5", "950", "20", "10", "0"}));
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find(report(" 0.2", "      5", "         950", "          20", " 10", "RIGHT")),
            std::string::npos);
}

TEST_F(DialogueTest, RefusedLocationsAskAgain) {
  RunResult r = run(answers({"0", "21", "-3", "5", "950", "30", "60", "0"}));
  EXPECT_EQ(r.status, 0);
  const std::string warning = " Warning!! Bridge No. has to be 1 or 2-digit integer.\r\n";
  EXPECT_EQ(after_banner(r.out),
            kLocationPrompt + warning + kLocationPrompt + warning + kLocationPrompt + warning +
                kLocationPrompt + kPressurePrompt + kRadiusPrompt + kDistancePrompt +
                kExampleReport + " End of program.\r\n");
}

TEST_F(DialogueTest, BoundaryLocationsAreAccepted) {
  for (const char* location : {"1", "20"}) {
    SCOPED_TRACE(location);
    RunResult r = run(answers({location, "950", "30", "60", "0"}));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("Warning!!"), std::string::npos);
  }
}

TEST_F(DialogueTest, NonPositiveDistanceAtLocation18IsAskedAgain) {
  RunResult r = run(answers({"18", "950", "30", "0", "-5", "60", "0"}));
  EXPECT_EQ(r.status, 0);
  const std::string warning =
      " Warning!! For bridge No.     18 , surges due to hurricanes making \r\n"
      " landfall to the left side of the bridge locations are evaluated.\r\n" +
      kDistancePromptHead;
  EXPECT_EQ(after_banner(r.out),
            kLocationPrompt + kPressurePrompt + kRadiusPrompt + kDistancePrompt + warning +
                warning + report(" 0.3", "     18", "         950", "          30", " 60", "LEFT ") +
                " End of program.\r\n");
}

TEST_F(DialogueTest, NonPositiveDistanceElsewhereIsAccepted) {
  RunResult r = run(answers({"17", "950", "30", "-47.9", "0"}));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.find("Warning!!"), std::string::npos);
  // The number drops the sign; the label carries the side.
  EXPECT_NE(r.out.find("making landfall  47km away to the RIGHT side"), std::string::npos);
}

TEST_F(DialogueTest, AnswerOneRunsAnotherCaseReadingEditedData) {
  Session session(dir_);
  session.send(answers({"5", "950", "30", "60"}));
  ASSERT_TRUE(session.wait_for("Run another case? [Y=1 or N=0]\r\n"));
  // Change the slope of location 5 before the second case reads the files.
  std::string slopes;
  for (int i = 1; i <= 20; ++i) slopes += i == 5 ? "10.0\n" : "0.1\n";
  write_file("pslope.dat", slopes);
  RunResult r = session.finish(answers({"1", "5", "950", "30", "60", "0"}));
  EXPECT_EQ(r.status, 0);
  // 0.5 h^2 (10 + 1.240075) with h = 63 / 98.0665: 2.32 m.
  std::string second = kLocationPrompt + kPressurePrompt + kRadiusPrompt + kDistancePrompt +
                       report(" 2.3", "      5", "         950", "          30", " 60", "LEFT ") +
                       " End of program.\r\n";
  std::string out = after_banner(r.out);
  EXPECT_EQ(out, kLocationPrompt + kPressurePrompt + kRadiusPrompt + kDistancePrompt +
                     kExampleReport + second);
  // The banner's two rules and one in each report: the banner is written once.
  size_t rules = 0;
  for (const std::string& line : records(r.out)) rules += line == " " + kRule78;
  EXPECT_EQ(rules, 4u);
}

TEST_F(DialogueTest, AnswersOtherThanOneEndTheRun) {
  struct Row {
    const char* answer;
    bool end_line;
  };
  for (Row row : {Row{"0", true}, Row{"2", false}, Row{"-1", false}}) {
    SCOPED_TRACE(row.answer);
    RunResult r = run(answers({"5", "950", "30", "60", row.answer, "5"}));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const std::string tail = row.end_line ? kExampleReport + " End of program.\r\n" : kExampleReport;
    ASSERT_GE(r.out.size(), tail.size());
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
  }
}

TEST_F(DialogueTest, UndefinedSideShowsBlanksThenKeepsThePreviousLabel) {
  // Radius 0 and distance 0 make the dimensionless distance 0/0: no label.
  RunResult r = run(answers({"5", "950", "0", "0", "1", "5", "950", "30", "60", "1", "5", "950",
                             "0", "0", "0"}));
  EXPECT_EQ(r.status, 0);
  const std::string blanks = "making landfall   0km away to the       side of";
  const std::string kept = "making landfall   0km away to the LEFT  side of";
  size_t first = r.out.find(blanks);
  ASSERT_NE(first, std::string::npos) << r.out;
  EXPECT_EQ(r.out.find('\0'), std::string::npos);
  EXPECT_NE(r.out.find(kept, first), std::string::npos);
}

TEST_F(DialogueTest, SameInputsGiveTheSameReport) {
  RunResult r = run(answers({"5", "950", "30", "60", "1", "7", "900", "45", "-20", "1", "5", "950",
                             "30", "60", "0"}));
  EXPECT_EQ(r.status, 0);
  size_t first = r.out.find(kExampleReport);
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(r.out.find(kExampleReport, first + 1), std::string::npos);
}

}  // namespace
}  // namespace surge_test
