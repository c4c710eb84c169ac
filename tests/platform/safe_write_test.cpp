// The one writer of the tools' files and the sound capture: a file written
// as it goes stays out of its target's place until it is committed whole;
// a device is written in place and stays a device; a folder is refused.
#include "platform/safe_write.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

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

// A device takes the bytes in place and stays a device: the full one fails
// the commit with its reason, the null one takes them. A folder is refused
// before anything is written. As root the devices are nodes of the test's
// own, so that a writer that replaced them would harm nothing.
TEST(SafeWriteTest, ADeviceIsWrittenInPlaceAndAFolderIsRefused) {
  TempFolder folder("safewrite");
  const auto device = [&](const char* name, unsigned minor) {
    const std::string own = folder / name;
    if (geteuid() == 0 && mknod(own.c_str(), S_IFCHR | 0666, makedev(1, minor)) == 0) return own;
    return std::string("/dev/") + name;
  };
  const struct {
    std::string path;
    std::string why;
  } cases[] = {{device("full", 7), "No space left on device"}, {device("null", 3), ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    plat::SafeFile file;
    ASSERT_EQ(file.Open(c.path), "");
    EXPECT_TRUE(file.InPlace());
    const std::string block(8192, 'x');  // more than the stream holds before it writes
    file.Write(block.data(), block.size());
    EXPECT_EQ(file.Commit(), c.why);
    EXPECT_TRUE(fs::is_character_file(c.path));
    EXPECT_EQ(plat::WriteFileSafely(c.path, block), c.why);
    EXPECT_TRUE(fs::is_character_file(c.path));
  }
  plat::SafeFile file;
  fs::create_directory(folder / "taken");
  EXPECT_EQ(file.Open(folder / "taken"), "it is a folder");
  EXPECT_TRUE(fs::is_empty(folder / "taken"));
}

}  // namespace
