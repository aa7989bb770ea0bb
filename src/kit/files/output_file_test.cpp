// Outputs that appear whole or not at all, and failures that name the user's
// path with the system's reason, never the temporary file.
#include "kit/files/output_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace kit {
namespace {

namespace fs = std::filesystem;

class OutputFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("output_file_test." + std::to_string(getpid()));
    fs::remove_all(folder_);
    fs::create_directory(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string Path(const char* name) const { return (folder_ / name).string(); }
  std::string Read(const char* name) const {
    std::ifstream in(folder_ / name);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // The names in the folder, in order.
  std::string Listing() const {
    std::string names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names += entry.path().filename().string() + " ";
    }
    return names;
  }

  fs::path folder_;
};

TEST_F(OutputFileTest, CommitReplacesTheFileWhole) {
  std::ofstream(Path("out.csv")) << "old";
  OutputFile out;
  std::string error;
  ASSERT_TRUE(out.open(Path("out.csv"), &error)) << error;
  std::fputs("new", out.stream());
  EXPECT_EQ(Read("out.csv"), "old");  // untouched until committed
  ASSERT_TRUE(out.commit(&error)) << error;
  EXPECT_EQ(Read("out.csv"), "new");
  EXPECT_EQ(Listing(), "out.csv ");
}

TEST_F(OutputFileTest, DiscardLeavesNothingBehind) {
  {
    OutputFile out;
    std::string error;
    ASSERT_TRUE(out.open(Path("out.csv"), &error)) << error;
    std::fputs("half", out.stream());
  }
  EXPECT_EQ(Listing(), "");
}

TEST_F(OutputFileTest, FailuresNameTheUsersPathAndTheReason) {
  struct Row {
    const char* name;
    bool in_the_way;  // a folder takes the name after the output is opened
    bool opens;
    const char* error;
  };
  const Row rows[] = {
      {"out.csv", true, true, "cannot replace {}/out.csv: Is a directory"},
      {"no/out.csv", false, false, "cannot create {}/no/out.csv: No such file or directory"},
  };
  for (const Row& row : rows) {
    std::string expected = row.error;
    expected.replace(expected.find("{}"), 2, folder_.string());
    OutputFile out;
    std::string error;
    ASSERT_EQ(out.open(Path(row.name), &error), row.opens) << row.name;
    if (row.opens) {
      std::fputs("text", out.stream());
      if (row.in_the_way) fs::create_directory(Path(row.name));
      EXPECT_FALSE(out.commit(&error)) << row.name;
    }
    EXPECT_EQ(error, expected);
    // Nothing left but what the row put in the way.
    EXPECT_EQ(Listing(), row.in_the_way ? std::string(row.name) + " " : "") << row.name;
    fs::remove_all(Path(row.name));
  }
}

}  // namespace
}  // namespace kit
