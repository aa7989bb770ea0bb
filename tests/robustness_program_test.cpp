// Whole-program tests that no completed record is ever lost: whatever ends the
// run, every record written before the end is on standard output, whole and in
// order.
#include <signal.h>

#include <string>
#include <vector>

#include "program_runner.h"

namespace surge_test {
namespace {

const std::vector<std::string> kAnswers = {"5", "950", "30", "60", "1", "18", "940",
                                           "20", "-3", "40", "0"};

std::string first_answers(size_t n) {
  std::string text;
  for (size_t i = 0; i < n; ++i) text += kAnswers[i] + "\n";
  return text;
}

class RecordsKeptTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    write_example_data();
  }
};

TEST_F(RecordsKeptTest, EndOfInputAfterEveryAnswerKeepsAllRecordsBeforeIt) {
  RunResult full = run(first_answers(kAnswers.size()));
  ASSERT_EQ(full.status, 0);
  for (size_t n = 0; n < kAnswers.size(); ++n) {
    SCOPED_TRACE(n);
    RunResult cut = run(first_answers(n));
    EXPECT_EQ(cut.status, 24);
    // A prefix of the full run that ends at a record boundary ...
    ASSERT_LE(cut.out.size(), full.out.size());
    EXPECT_EQ(full.out.compare(0, cut.out.size(), cut.out), 0);
    EXPECT_TRUE(cut.out.ends_with("\r\n"));
    // ... holding at least the prompt of the answer that never came.
    RunResult one_more = run(first_answers(n + 1));
    EXPECT_GT(one_more.out.size(), cut.out.size());
  }
}

TEST_F(RecordsKeptTest, BadAnswerKeepsThePromptsBeforeTheReport) {
  RunResult good = run(first_answers(3));
  RunResult bad = run(first_answers(3) + "abc\n");
  EXPECT_EQ(bad.status, 59);
  EXPECT_EQ(bad.out, good.out);
  EXPECT_TRUE(bad.err.starts_with("forrtl: severe (59): ")) << bad.err;
}

TEST_F(RecordsKeptTest, InterruptKeepsEveryRecordWrittenBeforeIt) {
  RunResult reference = run(first_answers(2));  // ends at the radius prompt
  Session session(dir_);
  session.send(first_answers(2));
  ASSERT_TRUE(session.wait_for("(integer only, between 11 and 65 km)\r\n"));
  kill(session.pid(), SIGINT);
  RunResult r = session.wait_for_end();
  EXPECT_EQ(r.status, 130);
  EXPECT_EQ(r.out, reference.out);
  EXPECT_TRUE(r.err.starts_with("forrtl: error (200): program aborting due to control-C event"))
      << r.err;
}

}  // namespace
}  // namespace surge_test
