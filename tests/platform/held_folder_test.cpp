// Folders a run builds in and holds while it lasts: a sweep at their place
// removes those that no run holds any more (their lock free, or no lock
// file at all) and leaves every other entry as it was: a folder still held,
// one still taking its lock (".new"), and whatever only looks like one.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "platform/held_folder.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kStem = ".demo.~";
constexpr const char* kLock = "build.lock";

std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

// A folder is made under its held name with its lock file in it, and
// nothing else is left beside it (no ".new" folder). While it is held a
// sweep keeps it; once its lock is let go the next sweep removes it with
// everything in it.
TEST(HeldFolderTest, AFolderStaysWhileHeldAndGoesOnceLetGo) {
  TempFolder place("held");
  plat::HeldFolder held;
  ASSERT_EQ(held.Make(place.Path(), kStem, kLock), "");
  const fs::path made = held.Path();
  const std::string name = made.filename().string();
  ASSERT_EQ(name.size(), std::string(kStem).size() + 16 + 4) << name;
  EXPECT_EQ(name.rfind(kStem, 0), 0u) << name;
  EXPECT_EQ(name.substr(name.size() - 4), ".tmp") << name;
  EXPECT_EQ(Names(place.Path()), std::set<std::string>{name});
  EXPECT_TRUE(fs::is_regular_file(made / kLock));
  place.Write(name + "/project/data/System.dat", "built");

  EXPECT_EQ(plat::RemoveUnheldFolders(place.Path(), kStem, kLock), 0);
  EXPECT_TRUE(fs::exists(made / "project/data/System.dat"));

  // A second folder for the same place has a name of its own.
  plat::HeldFolder other;
  ASSERT_EQ(other.Make(place.Path(), kStem, kLock), "");
  EXPECT_NE(other.Path(), held.Path());
  other.Release();

  held.Release();
  EXPECT_EQ(plat::RemoveUnheldFolders(place.Path(), kStem, kLock), 2);
  EXPECT_TRUE(Names(place.Path()).empty());
}

// What a sweep takes and what it leaves, entry by entry.
TEST(HeldFolderTest, TheSweepRemovesOnlyUnheldFoldersOfItsOwnNames) {
  TempFolder place("sweep");
  const std::string digits = "0123456789abcdef";
  struct Entry {
    const char* what;
    std::string name;
    enum Kind { kFolderWithFreeLock, kFolderWithoutLock, kFolderWithFolderAsLock, kFile, kLinkToLeftover } kind;
    bool removed;
  };
  const Entry entries[] = {
      {"a leftover: its lock file is there and free", kStem + digits + ".tmp", Entry::kFolderWithFreeLock, true},
      {"a leftover of a run before the lock", ".demo.~fedcba9876543210.tmp", Entry::kFolderWithoutLock, true},
      {"a run still taking its lock", kStem + digits + ".new", Entry::kFolderWithFreeLock, false},
      {"a lock file that is no file", ".demo.~00000000000000aa.tmp", Entry::kFolderWithFolderAsLock, false},
      {"a file of a leftover's name", ".demo.~00000000000000bb.tmp", Entry::kFile, false},
      {"a link of a leftover's name", ".demo.~00000000000000cc.tmp", Entry::kLinkToLeftover, false},
      {"fifteen digits", kStem + digits.substr(1) + ".tmp", Entry::kFolderWithFreeLock, false},
      {"capital digits", ".demo.~0123456789ABCDEF.tmp", Entry::kFolderWithFreeLock, false},
      {"another target's", ".demos.~" + digits + ".tmp", Entry::kFolderWithFreeLock, false},
      {"not hidden", "demo.~" + digits + ".tmp", Entry::kFolderWithFreeLock, false},
  };
  const std::string elsewhere = place.Write("elsewhere/" + std::string(kLock), "");
  for (const Entry& e : entries) {
    const std::string path = place / e.name;
    switch (e.kind) {
      case Entry::kFolderWithFreeLock: place.Write(e.name + "/" + kLock, ""); break;
      case Entry::kFolderWithoutLock: place.Write(e.name + "/project/System.ini", "x"); break;
      case Entry::kFolderWithFolderAsLock: fs::create_directories(path + "/" + kLock); break;
      case Entry::kFile: place.Write(e.name, "a file"); break;
      case Entry::kLinkToLeftover: fs::create_directory_symlink(place / "elsewhere", path); break;
    }
  }
  EXPECT_EQ(plat::RemoveUnheldFolders(place.Path(), kStem, kLock), 2);
  const std::set<std::string> left = Names(place.Path());
  for (const Entry& e : entries) EXPECT_EQ(left.count(e.name), e.removed ? 0u : 1u) << e.what;
  EXPECT_TRUE(fs::exists(elsewhere)) << "a link is never followed";
}

// A lock that another open of the lock file holds (another run, here this
// process through its own descriptor) keeps the folder, however it was made.
TEST(HeldFolderTest, ALockHeldThroughAnotherDescriptorKeepsTheFolder) {
  TempFolder place("other");
  const std::string leftover = std::string(kStem) + "00000000000000dd.tmp";
  const std::string lockFile = place.Write(leftover + "/" + kLock, "");
  const int fd = open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(plat::RemoveUnheldFolders(place.Path(), kStem, kLock), 0);
  EXPECT_TRUE(fs::exists(lockFile));
  close(fd);
  EXPECT_EQ(plat::RemoveUnheldFolders(place.Path(), kStem, kLock), 1);
  EXPECT_FALSE(fs::exists(place / leftover));
}

// A place that cannot take a folder says why, and leaves nothing.
TEST(HeldFolderTest, APlaceWithoutRoomSaysWhy) {
  TempFolder place("none");
  plat::HeldFolder held;
  EXPECT_EQ(held.Make(place / "missing", kStem, kLock), "No such file or directory");
  EXPECT_EQ(held.Path(), "");
  place.Write("file", "x");
  EXPECT_EQ(held.Make(place / "file", kStem, kLock), "Not a directory");
  EXPECT_EQ(Names(place.Path()), std::set<std::string>{"file"});
}

}  // namespace
