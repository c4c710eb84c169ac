// The one writer of the tools' files and the sound capture, as a stream: a
// file written as it goes stays out of its target's place until it is
// committed whole. (Devices, full disks and folders: the tools' process
// tests, tests/app/tool_failures_test.cpp.)
#include "platform/safe_write.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

// Streamed over a file that was there: while it is written the old file
// stands (the new bytes in one temporary file beside it); a header written
// over the start at the end goes in its place; committed, the file holds the
// header and every chunk, and nothing else is left. Discarded instead, the
// old file stands and nothing is left either.
TEST(SafeWriteTest, AStreamedFileTakesItsPlaceOnlyWhenCommitted) {
  TempFolder folder("safewrite");
  const std::string target = folder.Write("capture.wav", "the old capture");
  for (const bool commit : {false, true}) {
    SCOPED_TRACE(commit ? "committed" : "discarded");
    plat::SafeFile file;
    ASSERT_EQ(file.Open(target), "");
    EXPECT_FALSE(file.InPlace());
    ASSERT_TRUE(file.Write("....", 4));
    for (int chunk = 0; chunk < 3; ++chunk) ASSERT_TRUE(file.Write("abc", 3));
    ASSERT_TRUE(file.Overwrite(0, "HEAD", 4));
    ASSERT_TRUE(file.Write("!", 1));
    EXPECT_EQ(Slurp(target), "the old capture");
    EXPECT_EQ(Names(folder.Path()).size(), 2u);
    if (commit) {
      EXPECT_EQ(file.Commit(), "");
      EXPECT_EQ(Slurp(target), "HEADabcabcabc!");
    } else {
      file.Discard();
      EXPECT_EQ(Slurp(target), "the old capture");
    }
    EXPECT_EQ(Names(folder.Path()), std::set<std::string>{"capture.wav"});
  }
}

}  // namespace
