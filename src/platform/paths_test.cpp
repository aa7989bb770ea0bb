// Table tests of lexical path folding: plain joins and the folded forms.
#include "platform/paths.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(PathsTest, FoldFullPath) {
  struct Row {
    const char* cwd;
    const char* name;
    const char* full;
  } rows[] = {
      // Plain names in folded directories: joined.
      {"/tmp/work", "data.dat", "/tmp/work/data.dat"},
      {"/", "data.dat", "/data.dat"},
      {"/a", "x y .dat", "/a/x y .dat"},
      {"/a", "...", "/a/..."},
      {"/a", ".hidden", "/a/.hidden"},
      // Directories that are not folded, and names with segments: folded.
      {"/tmp/work/", "data.dat", "/tmp/work/data.dat"},
      {"/tmp//work", "data.dat", "/tmp/work/data.dat"},
      {"/tmp/./work", "data.dat", "/tmp/work/data.dat"},
      {"/tmp/w/..", "data.dat", "/tmp/data.dat"},
      {"/tmp/w/.", "data.dat", "/tmp/w/data.dat"},
      {"", "data.dat", "/data.dat"},
      {"/tmp/work", ".", "/tmp/work"},
      {"/tmp/work", "..", "/tmp"},
      {"/", "..", "/"},
      {"/tmp/work", "sub/data.dat", "/tmp/work/sub/data.dat"},
      {"/tmp/work", "../x/./y.dat", "/tmp/x/y.dat"},
      {"/tmp/work", "dir/", "/tmp/work/dir/"},
      {"/tmp/work", "/abs//x.dat", "/abs/x.dat"},
      {"relative", "x.dat", "/relative/x.dat"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(fold_full_path(row.cwd, row.name), row.full) << row.cwd << " + " << row.name;
  }
}

}  // namespace
}  // namespace platform
