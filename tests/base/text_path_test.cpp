#include "base/text_path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "support/sandbox.h"

namespace fs = std::filesystem;

namespace {

// A MAX_PATH buffer followed by guard bytes that no helper may touch.
struct GuardedBuffer {
  static constexpr int kGuard = 64;
  char bytes[MAX_PATH + kGuard];

  explicit GuardedBuffer(const std::string& text = "") {
    std::memset(bytes, '#', sizeof(bytes));
    std::memcpy(bytes, text.c_str(), text.size() + 1);
  }
  char* get() { return bytes; }
  std::string str() const { return std::string(bytes, strnlen(bytes, MAX_PATH)); }
  bool terminated() const { return std::memchr(bytes, '\0', MAX_PATH) != nullptr; }
  bool guardIntact() const { return std::string(bytes + MAX_PATH, kGuard) == std::string(kGuard, '#'); }
};

// A fresh folder that is also the working folder for the test's duration.
class InTempFolder : public testing::Test {
 protected:
  void Touch(const std::string& linuxPath) {
    fs::create_directories(fs::path(linuxPath).parent_path());
    std::ofstream(linuxPath) << "x";
  }
  TempFolder folder_{"textpath"};
  ScopedWorkingFolder working_{folder_.Path()};
  std::string root_ = folder_.Path();
};

TEST(TextHelpers, CountCharactersOfShiftJisText) {
  EXPECT_EQ(CountCharacters("\x83\x58\x83\x65\x81\x5b"), 3);  // "ステー"
  EXPECT_EQ(CountCharacters("\xb1\xb2"), 2);                 // single-byte katakana
  EXPECT_EQ(CountCharacters("\x95\x5c\n\x95\x5c"), 2);       // trail 0x5C is part of its pair
  EXPECT_EQ(CountCharacters("a\x81\nb"), 3);                 // lead byte before LF: no pair
  EXPECT_EQ(CountCharacters("a\x81"), 2);                    // lead byte at the end
  EXPECT_EQ(CountCharacters(nullptr), 0);
  EXPECT_TRUE(IsDoubleByteChar("\x83\x5c"));
  EXPECT_FALSE(IsDoubleByteChar("\x83"));
  EXPECT_FALSE(IsDoubleByteChar("\xb1\x5c"));
}

TEST(TextHelpers, StripDirectory) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"a\\b\\c.txt", "c.txt"},
      {"\x83\x5c\x95\x5c\\a.txt", "a.txt"},   // folder "ソ表", then a real separator
      {"bgm\\\x83\x5cx.mid", "\x83\x5cx.mid"},  // "ソ" after the separator
      {"\x83\x5cx.mid", "\x83\x5cx.mid"},      // its 0x5C is no separator
      {"a\\b\\", "b\\"},                       // a final "\" is not looked at
      {"\\", "\\"},
      {"", ""},
  };
  for (const auto& c : cases) {
    GuardedBuffer buf(c.in);
    StripDirectory(buf.get());
    EXPECT_EQ(buf.str(), c.out) << c.in;
  }
}

TEST(TextHelpers, ChangeAndStripExtension) {
  const struct {
    const char* in;
    const char* ext;
    int result;
    const char* out;
  } changes[] = {
      {"bgm\\a.MID", "mid", 1, "bgm\\a.mid"},
      {"a.txt", nullptr, 1, "a"},
      {"x", "mid", 0, "x"},
      {"a.", "ogg", 1, "a.ogg"},
      {"dir.v2\\file", "mid", 1, "dir.mid"},  // the last "." of the whole path counts
  };
  for (const auto& c : changes) {
    char dst[MAX_PATH];
    EXPECT_EQ(ChangeExtension(dst, c.in, c.ext), c.result) << c.in;
    EXPECT_STREQ(dst, c.out) << c.in;
  }
  // Source and destination may be the same buffer.
  char same[MAX_PATH] = "s.stg4";
  EXPECT_EQ(ChangeExtension(same, same, "rkg"), 1);
  EXPECT_STREQ(same, "s.rkg");

  for (auto [in, result, out] : {std::tuple{"a.b.stg4", 1, "a.b"}, {"\x95\x5cx", 0, "\x95\x5cx"}}) {
    GuardedBuffer name(in);
    EXPECT_EQ(StripExtension(name.get()), result) << in;
    EXPECT_EQ(name.str(), out);
  }
  for (auto [in, result, out] : {std::tuple{"stage01.stg4", 1, "stage01"}, std::tuple{"stage01", 0, "stage01"},
                                 std::tuple{"ends.", 1, "ends"}}) {
    std::string s = in;
    EXPECT_EQ(StripExtensionString(s), result) << in;
    EXPECT_EQ(s, out);
  }
}

TEST(TextHelpers, GetExtensionAndNumberedName) {
  char dst[MAX_PATH];
  for (auto [in, result, out] : {std::tuple{"a.b.ogg", 1, "ogg"}, {"name.", 1, ""}, {"bgm\\noext", 0, ""}}) {
    EXPECT_EQ(GetExtension(dst, in), result) << in;
    EXPECT_STREQ(dst, out);
  }

  for (auto [in, number, result, out] :
       {std::tuple{"Stage.stg4_1", 2, 1, "Stage (2).stg4_1"},
        {"user_data\\rpl4\\s__2024__01_02__03_04.rpl4_873", 999, 1,
         "user_data\\rpl4\\s__2024__01_02__03_04 (999).rpl4_873"},
        {"noext", 2, 0, "noext"}}) {
    EXPECT_EQ(MakeNumberedName(dst, in, number), result) << in;
    EXPECT_STREQ(dst, out);
  }
}

TEST(TextHelpers, OverlongInputsFailWithoutOverrun) {
  const std::string name250(250, 'n');
  GuardedBuffer dst;

  // Results one byte too long for MAX_PATH (260 with the terminator).
  EXPECT_EQ(ChangeExtension(dst.get(), (name250 + ".a").c_str(), "123456789"), 0);
  EXPECT_EQ(dst.str(), "");
  EXPECT_TRUE(dst.guardIntact());
  EXPECT_EQ(MakeNumberedName(dst.get(), (name250 + ".abc").c_str(), 100), 0);
  EXPECT_EQ(dst.str(), "");
  EXPECT_TRUE(dst.guardIntact());
  // The longest result that fits.
  EXPECT_EQ(ChangeExtension(dst.get(), (name250 + ".a").c_str(), "12345678"), 1);
  EXPECT_EQ(dst.str().size(), 259u);
  EXPECT_TRUE(dst.guardIntact());

  // Sources not terminated within MAX_PATH bytes.
  const std::string name400(400, 'n');
  EXPECT_EQ(ChangeExtension(dst.get(), (name400 + ".x").c_str(), "y"), 0);
  EXPECT_EQ(GetExtension(dst.get(), (name400 + ".x").c_str()), 0);
  EXPECT_EQ(dst.str(), "");
  EXPECT_TRUE(dst.guardIntact());

  // An in-place buffer without a terminator gets one in its last byte.
  GuardedBuffer full;
  std::memset(full.bytes, 'a', MAX_PATH);
  full.bytes[10] = '.';
  EXPECT_EQ(StripExtension(full.get()), 0);
  EXPECT_TRUE(full.terminated());
  EXPECT_TRUE(full.guardIntact());
  std::memset(full.bytes, '\\', MAX_PATH);
  StripDirectory(full.get());
  EXPECT_TRUE(full.terminated());
  EXPECT_TRUE(full.guardIntact());
}

TEST_F(InTempFolder, AbsoluteAndRelativeAgainstTheWorkingFolder) {
  GuardedBuffer path("Report_Game.txt");
  ASSERT_EQ(MakeAbsolutePath(path.get()), 1);
  EXPECT_EQ(path.str(), root_ + "\\Report_Game.txt");
  ASSERT_EQ(MakeRelativePath(path.get()), 1);
  EXPECT_EQ(path.str(), "Report_Game.txt");

  GuardedBuffer dots("data\\.\\x\\..\\stg4\\\\y.stg4");
  ASSERT_EQ(MakeAbsolutePath(dots.get()), 1);
  EXPECT_EQ(dots.str(), root_ + "\\data\\stg4\\y.stg4");

  char already[MAX_PATH] = "/etc/x.txt";
  EXPECT_EQ(MakeAbsolutePath(already), 1);
  EXPECT_STREQ(already, "/etc/x.txt");

  for (auto [in, result, out] : {
           std::tuple<std::string, int, std::string>{"/etc/x.txt", 1, "..\\..\\etc\\x.txt"},  // two levels below "/"
           {root_ + "/DATA/Stg4/../stg4/y.stg4", 1, "DATA\\stg4\\y.stg4"},  // the folder matched ignoring case
           {root_, 1, "."},
           {"data\\x", 1, "data\\x"},
           {"C:\\game\\data", 0, "C:\\game\\data"},
       }) {
    EXPECT_EQ(MakeRelativePathString(in), result) << out;
    EXPECT_EQ(in, out);
  }

  // A result that does not fit leaves the buffer as it was.
  const std::string longName(MAX_PATH - 2, 'q');
  GuardedBuffer tooLong(longName);
  EXPECT_EQ(MakeAbsolutePath(tooLong.get()), 0);
  EXPECT_EQ(tooLong.str(), longName);
  EXPECT_TRUE(tooLong.guardIntact());
}

TEST_F(InTempFolder, WorkingFolderEndingInTrailByte5C) {
  // "ソ" is 0x83 0x5C: its last byte must not pass for a separator.
  fs::create_directory(root_ + "/ソ");
  fs::current_path(root_ + "/ソ");
  GuardedBuffer path("a.txt");
  ASSERT_EQ(MakeAbsolutePath(path.get()), 1);
  EXPECT_EQ(path.str(), root_ + "/\x83\x5c\\a.txt");
  ASSERT_EQ(MakeRelativePath(path.get()), 1);
  EXPECT_EQ(path.str(), "a.txt");
}

TEST_F(InTempFolder, FindLastNumberedFile) {
  Touch(root_ + "/data/Save.stg4_000");
  Touch(root_ + "/data/Save.stg4_007");
  GuardedBuffer dst;
  ASSERT_EQ(FindLastNumberedFile(dst.get(), "data\\Save.txt", "stg4"), 1);
  EXPECT_EQ(dst.str(), "data\\Save.stg4_007");

  // Found only through the case-insensitive lookup; the name stays as built.
  Touch(root_ + "/DATA/save.STG4_012");
  fs::remove_all(root_ + "/data");
  ASSERT_EQ(FindLastNumberedFile(dst.get(), "data\\Save.txt", "stg4"), 1);
  EXPECT_EQ(dst.str(), "data\\Save.stg4_012");

  EXPECT_EQ(FindLastNumberedFile(dst.get(), "data\\Other.txt", "stg4"), 0);
  EXPECT_EQ(dst.str(), "");

  // Only three digits after "_" count, a folder counts as an entry, and the
  // highest number wins whatever order the folder lists its entries in.
  Touch(root_ + "/DATA/save.STG4_1000");
  Touch(root_ + "/DATA/save.STG4_99");
  Touch(root_ + "/DATA/save.STG4_0x9");
  Touch(root_ + "/DATA/xsave.STG4_500");
  fs::create_directories(root_ + "/DATA/Save.stg4_040");
  Touch(root_ + "/DATA/save.stg4_031");
  ASSERT_EQ(FindLastNumberedFile(dst.get(), "data\\Save.txt", "stg4"), 1);
  EXPECT_EQ(dst.str(), "data\\Save.stg4_040");
  fs::remove_all(root_ + "/DATA");

  // A null extension removes it; a base without "." is used as it is.
  Touch(root_ + "/Replay_003");
  std::string found = "stale";
  ASSERT_EQ(FindLastNumberedFileString(found, "Replay.rpl4", nullptr), 1);
  EXPECT_EQ(found, "Replay_003");
  EXPECT_EQ(FindLastNumberedFileString(found, "None", "x"), 0);
  EXPECT_EQ(found, "");

  // Beyond MAX_PATH only the string form can give the name.
  const std::string base = std::string(130, 'd') + "\\" + std::string(130, 's') + ".e";
  Touch(root_ + "/" + std::string(130, 'd') + "/" + std::string(130, 's') + ".e_001");
  EXPECT_EQ(FindLastNumberedFile(dst.get(), base.c_str(), "e"), 0);
  EXPECT_TRUE(dst.guardIntact());
  ASSERT_EQ(FindLastNumberedFileString(found, base, "e"), 1);
  EXPECT_EQ(found, base + "_001");
}

}  // namespace
