// Whole-program tests of the case dialogue.
#include "program_runner.h"

namespace surge_test {
namespace {

class DialogueTest : public ProgramTest {};

TEST_F(DialogueTest, Smoke) {
  write_example_data();
  RunResult r = run(answers({"5", "950", "30", "60", "0"}));
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("A peak surge=  0.3 m\r\n"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace surge_test
