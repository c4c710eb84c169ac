#include "platform/files.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/sandbox.h"

namespace fs = std::filesystem;

namespace {

// UTF-8 spellings on disk and CP932 spellings in program paths. "ソ" and "表"
// end in 0x5C, which must not split a path.
const char kSoHyouUtf8[] = "ソ表";
const char kSoHyouCp932[] = "\x83\x5c\x95\x5c";
const char kNouTxtUtf8[] = "能.txt";
const char kNouTxtCp932[] = "\x94\x5c.txt";

class FilesTest : public testing::Test {
 protected:
  // A program path below the temporary folder, written Windows-style, and
  // the Linux path it should reach.
  std::string P(const std::string& rest) const { return root_ + "\\" + rest; }
  std::string L(const std::string& rest) const { return folder_ / rest; }
  void Write(const std::string& rest, const std::string& text) const { folder_.Write(rest, text); }
  std::string Read(const std::string& rest) const { return folder_.Read(rest); }
  static std::string ReadThroughLayer(const std::string& programPath) {
    FILE* f = plat::OpenFile(programPath, "rb");
    if (f == nullptr) return "<cannot open>";
    std::string out;
    char buf[256];
    for (size_t n; (n = fread(buf, 1, sizeof(buf), f)) > 0;) out.append(buf, n);
    fclose(f);
    return out;
  }

  TempFolder folder_{"files"};
  const std::string root_ = folder_.Path();
};

TEST_F(FilesTest, EveryComponentResolvesIgnoringCase) {
  Write("data/stg4/x.stg4_873", "stage");
  EXPECT_EQ(plat::ResolvePath(P("DATA\\Stg4\\X.STG4_873")), L("data/stg4/x.stg4_873"));
  EXPECT_EQ(ReadThroughLayer(P("DATA\\Stg4\\X.STG4_873")), "stage");
  EXPECT_TRUE(plat::FileExists(P("dAtA\\sTg4\\X.stg4_873")) && plat::IsDirectory(P("DATA\\STG4")));
  EXPECT_FALSE(plat::IsDirectory(P("DATA\\STG4\\X.STG4_873")));
  // "." and ".." are taken by name, before the lookup.
  EXPECT_EQ(ReadThroughLayer(P("DATA\\.\\nothing\\..\\STG4\\\\X.STG4_873")), "stage");
  // An exact name wins over one that differs in case only.
  Write("Data/stg4/x.stg4_873", "other");
  EXPECT_EQ(ReadThroughLayer(P("data\\stg4\\x.stg4_873")), "stage");
  EXPECT_EQ(ReadThroughLayer(P("Data\\stg4\\x.stg4_873")), "other");
}

TEST_F(FilesTest, MissingComponentsKeepTheirSpelling) {
  Write("data/stg4/x.stg4_873", "stage");
  EXPECT_EQ(plat::ResolvePath(P("DATA\\New.Sav")), L("data/New.Sav"));
  EXPECT_EQ(plat::ResolvePath(P("DATA\\Missing\\STG4\\X.STG4_873")), L("data/Missing/STG4/X.STG4_873"));
  EXPECT_FALSE(plat::FileExists(P("DATA\\Missing\\STG4\\X.STG4_873")));

  FILE* f = plat::OpenFile(P("DATA\\New.Sav"), "wt");
  ASSERT_NE(f, nullptr);
  fputs("saved\n", f), fclose(f);
  EXPECT_EQ(Read("data/New.Sav"), "saved\n");
}

// A name is there when the system finds something by it, also something it
// cannot follow to a file (a chain of links that loops), which a read then
// fails on; it is not there when nothing is (a link to nothing, a name below
// a file).
TEST_F(FilesTest, ANameIsThereWhenSomethingIsEvenWhatCannotBeFollowed) {
  Write("data/stg4/x.stg4_873", "stage");
  fs::create_symlink(L("data/stg4/loop-b.stg4_873"), L("data/stg4/loop-a.stg4_873"));
  fs::create_symlink(L("data/stg4/loop-a.stg4_873"), L("data/stg4/loop-b.stg4_873"));
  fs::create_symlink(L("data/stg4/none.stg4_873"), L("data/stg4/dangling.stg4_873"));
  const struct {
    const char* path;
    bool there;
  } rows[] = {
      {"data\\stg4\\x.stg4_873", true},
      {"DATA\\STG4", true},
      {"data\\stg4\\loop-a.stg4_873", true},
      {"data\\stg4\\LOOP-B.stg4_873", true},
      {"data\\stg4\\dangling.stg4_873", false},
      {"data\\stg4\\none.stg4_873", false},
      {"data\\stg4\\x.stg4_873\\below", false},
  };
  for (const auto& row : rows) EXPECT_EQ(plat::FileExists(P(row.path)), row.there) << row.path;
  EXPECT_EQ(ReadThroughLayer(P("data\\stg4\\loop-a.stg4_873")), "<cannot open>");
}

TEST_F(FilesTest, TrailByte5CIsNotASeparator) {
  Write(std::string(kSoHyouUtf8) + "/" + kNouTxtUtf8, "ok");
  const std::string folder = P(kSoHyouCp932);
  EXPECT_EQ(plat::ResolvePath(folder + "\\" + kNouTxtCp932),
            L(std::string(kSoHyouUtf8) + "/" + kNouTxtUtf8));
  EXPECT_EQ(ReadThroughLayer(folder + "\\" + kNouTxtCp932), "ok");
  EXPECT_EQ(ReadThroughLayer(folder + "\\\x94\x5c.TXT"), "ok");
  EXPECT_TRUE(plat::IsDirectory(folder));
  EXPECT_EQ(plat::ListDirectory(folder), std::vector<std::string>{kNouTxtCp932});

  // A new folder and file under such names are created with the right names.
  ASSERT_TRUE(plat::CreateDirectory(P("\x95\x5c")));
  ASSERT_TRUE(plat::WriteFileAtomically(P("\x95\x5c\\\x83\x5c"), "x", 1));
  EXPECT_EQ(Read("表/ソ"), "x");
}

TEST_F(FilesTest, BadPathsFailCleanly) {
  EXPECT_EQ(plat::OpenFile("", "rb"), nullptr);
  EXPECT_FALSE(plat::FileExists(""));
  // A lead byte followed by a space does not decode.
  const std::string bad = P("\x81 x");
  EXPECT_EQ(plat::ResolvePath(bad), "");
  EXPECT_FALSE(plat::CreateDirectory(bad));
  EXPECT_EQ(plat::OpenFile(bad, "wb"), nullptr);
  std::string why;
  EXPECT_FALSE(plat::WriteFileAtomically(bad, "x", 1, &why));
  EXPECT_EQ(why, "the name cannot be given to the file system");
  for (const std::string& p : {std::string(), std::string("a\0b", 3), std::string("C:\\Windows")})
    EXPECT_EQ(plat::ResolvePath(p), "") << p;
  EXPECT_TRUE(fs::is_empty(root_));
}

TEST_F(FilesTest, RelativePathsAndTheWorkingFolder) {
  Write("data/stg4/x.stg4_873", "stage");
  ScopedWorkingFolder back(fs::current_path().string());  // put back however the test ends
  ASSERT_TRUE(plat::SetCurrentDirectory(P("DATA")));
  EXPECT_EQ(plat::GetCurrentDirectory(), L("data"));
  EXPECT_EQ(plat::ResolvePath("STG4\\X.STG4_873"), "stg4/x.stg4_873");
  EXPECT_EQ(plat::ResolvePath("..\\DATA\\stg4\\x.stg4_873"), "../data/stg4/x.stg4_873");
  EXPECT_EQ(plat::ResolvePath("a\\..\\..\\..\\b"), "../../b");
  EXPECT_EQ(plat::ResolvePath("stg4\\"), "stg4/");
  EXPECT_EQ(plat::ResolvePath("\\..\\.."), "/");
  EXPECT_EQ(plat::ListDirectory("."), std::vector<std::string>{"stg4"});
}

TEST(Files, AbsolutePathForms) {
  for (const char* p : {"/tmp", "\\data", "C:\\data", "c:/data"}) EXPECT_TRUE(plat::IsAbsolutePath(p)) << p;
  for (const char* p : {"C:data", "data\\x", "", "1:\\x"}) EXPECT_FALSE(plat::IsAbsolutePath(p)) << p;
}

TEST_F(FilesTest, CreateRemoveRenameIgnoringCase) {
  EXPECT_TRUE(plat::CreateDirectory(P("Save")));
  EXPECT_FALSE(plat::CreateDirectory(P("SAVE")));  // exists under another case
  EXPECT_FALSE(plat::CreateDirectory(P("none\\sub")));
  Write("Save/slot1.dat", "old");
  Write("Save/tmp.dat", "new");
  EXPECT_TRUE(plat::RenameFile(P("SAVE\\TMP.DAT"), P("save\\SLOT1.DAT")));
  EXPECT_EQ(Read("Save/slot1.dat"), "new");
  EXPECT_EQ(plat::ListDirectory(P("Save")), std::vector<std::string>{"slot1.dat"});
  EXPECT_FALSE(plat::RemoveFile(P("save")));  // a folder is not a file
  EXPECT_TRUE(plat::RemoveFile(P("SAVE\\Slot1.Dat")) && !plat::RemoveFile(P("SAVE\\Slot1.Dat")));
  EXPECT_TRUE(fs::is_empty(L("Save")));
}

TEST_F(FilesTest, ListingGivesSortedCp932NamesItCanOpenAgain) {
  // "é" has no CP932 form; CP932 would turn "¥" into a separator.
  for (const char* name : {"b.txt", "A.txt", "表.txt", "é.txt", "¥.txt", "dir/"}) Write(name, "");  // "dir/": a folder
  const std::vector<std::string> expected = {"A.txt", "b.txt", "dir", "\x95\x5c.txt"};
  EXPECT_EQ(plat::ListDirectory(root_), expected);
  EXPECT_TRUE(plat::ListDirectory(P("missing")).empty());
}

TEST_F(FilesTest, AtomicWriteReplacesWholeOrLeavesTheTargetUntouched) {
  Write("user_data/save.dat", "older");
  ASSERT_TRUE(plat::WriteFileAtomically(P("USER_DATA\\SAVE.DAT"), "old", 3));
  ASSERT_TRUE(plat::WriteFileAtomically(P("user_data\\empty.dat"), nullptr, 0));
  EXPECT_EQ(Read("user_data/empty.dat"), "");
  fs::create_directories(L("user_data/folder/inside"));

  // Each failure says why.
  std::string why;
  // The target is a folder.
  EXPECT_FALSE(plat::WriteFileAtomically(P("user_data\\FOLDER"), "new", 3, &why));
  EXPECT_EQ(why, "Is a directory");
  EXPECT_TRUE(fs::is_directory(L("user_data/folder/inside")));
  // The folder does not exist.
  EXPECT_FALSE(plat::WriteFileAtomically(P("nowhere\\save.dat"), "new", 3, &why));
  EXPECT_EQ(why, "No such file or directory");
  EXPECT_FALSE(fs::exists(L("nowhere")));
  // A file stands where a folder of the path should be.
  EXPECT_FALSE(plat::WriteFileAtomically(P("user_data\\save.dat\\inner.dat"), "new", 3, &why));
  EXPECT_EQ(why, "Not a directory");
  // A device in its place is never written in place of a save.
  fs::create_symlink("/dev/full", L("user_data/device.dat"));
  EXPECT_FALSE(plat::WriteFileAtomically(P("user_data\\device.dat"), "new", 3, &why));
  EXPECT_EQ(why, "it is not a regular file");
  fs::remove(L("user_data/device.dat"));

  // The data cannot be written: a file size limit makes write() fail.
  {
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 1024;
    struct sigaction ignore {}, old {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string big(8192, 'n');
    const bool written = plat::WriteFileAtomically(P("user_data\\save.dat"), big.data(), big.size(), &why);
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &old, nullptr);
    EXPECT_FALSE(written);
    EXPECT_EQ(why, "File too large");
  }

  // The folder is not writable (root ignores permissions, so only as a user).
  if (geteuid() != 0) {
    fs::permissions(L("user_data"), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(plat::WriteFileAtomically(P("user_data\\save.dat"), "new", 3, &why));
    EXPECT_EQ(why, "Permission denied");
    fs::permissions(L("user_data"), fs::perms::owner_all);
  }

  EXPECT_EQ(Read("user_data/save.dat"), "old");
  EXPECT_EQ(plat::ListDirectory(P("user_data")), (std::vector<std::string>{"empty.dat", "folder", "save.dat"}));
}

}  // namespace
