#include "data/system_data.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "data/database.h"
#include "platform/text.h"
#include "support/alloc_counter.h"
#include "support/game_data.h"
#include "support/project_files.h"
#include "support/test_files.h"

namespace {

std::string J(const char* utf8) { return plat::Utf8ToCp932(utf8); }

// System.dat files of older versions, written by the independent writer.
class OlderSystemDataTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/pelmora-sysdat-XXXXXX";
    dir_ = mkdtemp(pattern);
    std::string cmd = "python3 " PELMORA_SOURCE_DIR "/tests/data/write_system_dat.py " + dir_;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(dir_); }
  static cSystemData Load(int version) {
    cSystemData data;
    EXPECT_TRUE(data.LoadFromFile(dir_ + "/sys_" + std::to_string(version) + ".dat")) << version;
    return data;
  }
  static std::string dir_;
  ScopedGameData data_;  // the loaders check music numbers against the database
};
std::string OlderSystemDataTest::dir_;

TEST(SystemDataTest, DefaultFileWritesBackByteForByteWithTheCurrentLayout) {
  cSystemData defaults;
  std::string bytes = defaults.SaveToBytes();
  EXPECT_EQ(defaults.DeclaredFieldCount(), 79);  // #1..#80 without the dropped #33
  EXPECT_EQ(defaults.DeclaredStringCount(), 1);
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x69\x03\x00\x00\x4F\x00\x00\x00", 8));
  cSystemData back;
  ASSERT_TRUE(back.LoadFromBytes(bytes));
  EXPECT_EQ(back.SaveToBytes(), bytes);
  EXPECT_EQ(back.m_TitleCmds[6].m_strLabel, J("しゅうりょう"));
}

TEST_F(OlderSystemDataTest, Version150GetsEveryLaterSwitchAndTheInsertedTexts) {
  cSystemData d = Load(150);
  EXPECT_EQ(d.m_strTitle, "Old Game");
  // Numbers the file holds keep their values.
  for (int k : {2, 4, 5, 8, 13, 16, 17}) EXPECT_EQ(d.Num(k), 1000 + k) << k;
  // Numbers it does not hold get the values of the older behaviour.
  struct Expect {
    int field;
    int32_t value;
  };
  for (Expect e : {Expect{11, 0}, {18, 1}, {7, 0}, {10, 1}, {1, 1}, {28, 0}, {30, 177}, {20, 1}, {14, 0},
                   {27, 1}, {6, 60}, {32, 1}, {21, 0}, {34, 1}, {35, 0}, {38, 1}, {37, 16}, {42, 1}, {79, 0},
                   {80, 2}, {39, 0}, {12, 0}, {70, 0}, {77, 0}, {3, 1}, {9, 1}, {78, 1}})
    EXPECT_EQ(d.Num(e.field), e.value) << "#" << e.field;
  ASSERT_EQ(d.m_Texts.size(), 29u);
  EXPECT_EQ(d.m_Texts[9], J("残りSP"));
  EXPECT_EQ(d.m_Texts[10], "t8");
  EXPECT_EQ(d.m_Texts[16], J("保存先が不明です！一度は「セーブ」して下さい！"));
  EXPECT_EQ(d.m_Texts[23], J("リトライ"));
  // The world-map menu gains its automatic save.
  ASSERT_EQ(d.m_WorldMapCmds.size(), 4u);
  EXPECT_EQ(d.m_WorldMapCmds[1].m_strLabel, J("オートセーブ"));
  EXPECT_EQ(d.m_WorldMapCmds[2].m_strLabel, "Back");
  // Older lists are completed; lists the file lacks keep the upgrades' values.
  EXPECT_EQ(d.m_UnlimitedLives, (cSafeVector<uint32_t>{0, 0, 0, 1}));
  EXPECT_EQ(d.m_ScreenMusicLoop, (cSafeVector<uint8_t>{1, 1, 1, 1}));
  EXPECT_EQ(d.m_ResetFlags, cSafeVector<uint8_t>(25, 0));
  ASSERT_EQ(d.m_Hud.size(), 5u);
  EXPECT_EQ(d.m_Hud[2].m_nLimit, 33);
  // The key table of an old file becomes today's order.
  std::vector<std::string> keys;
  for (cOptionKey& k : d.m_Keys) keys.push_back(k.m_strKey);
  EXPECT_EQ(keys, (std::vector<std::string>{"Direct3D", "WindowMode", "Bpp", "VSync", "D3D_FontCache",
                                            "DD_FontCache", "DD_VideoStretch", "ShowFps", "FreeStage", "English",
                                            "Midi_DirectMusic"}));
  EXPECT_EQ(d.m_Keys[0].m_nDefault, 1);
  EXPECT_EQ(d.m_Keys[5].m_nDefault, 1);
  // Carry-over flags: inserted at 16 (before 168), 14 (before 201) and 9 (before 210).
  std::vector<int> flags(d.m_CarryOver.begin(), d.m_CarryOver.end());
  EXPECT_EQ(flags, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 10, 11, 12, 13, 14, 0, 15, 16, 1, 17, 18, 19, 20,
                                     21, 22}));
}

TEST_F(OlderSystemDataTest, Version280GetsTheDrawingModeKeyAndAnAutomaticVSync) {
  cSystemData d = Load(280);
  EXPECT_EQ(std::tuple(d.m_Keys[0].m_strKey, d.m_Keys[0].m_nDefault, d.m_Keys[3].m_strKey, d.m_Keys[3].m_nDefault),
            std::tuple(std::string("Direct3D"), 1, std::string("VSync"), 2));
  EXPECT_EQ(d.Num(6), 1006);  // held since 205
  EXPECT_EQ(d.Num(38), 0);    // before 289 palette cycling follows #28, which this file sets
}

TEST_F(OlderSystemDataTest, SwitchesOfTheLastVersionsAndTheMusicCheck) {
  Database.m_Bgms.resize(100);
  cSystemData d = Load(820);
  EXPECT_EQ(d.Num(70), 1);    // files 817..832
  EXPECT_EQ(d.Num(12), 0);    // before 821
  EXPECT_EQ(d.Num(66), 1019 + 47);  // held since 819
  EXPECT_EQ(d.m_ScreenMusic[2], 99u);  // a track the project has
  Database.m_Bgms.resize(4);
  cSystemData checked = Load(820);
  EXPECT_EQ(checked.m_ScreenMusic, (cSafeVector<uint32_t>{0, 1, 0, 3}));
}

TEST_F(OlderSystemDataTest, CurrentVersionIsTakenAsItIsAndOlderOnesResaveToIt) {
  cSystemData d = Load(873);
  EXPECT_EQ(d.m_Keys.size(), 5u);  // no upgrade step lengthens a current file's key table
  EXPECT_EQ(d.Num(70), 1070);
  const std::string resaved = Load(205).SaveToBytes();
  cSystemData again;
  ASSERT_TRUE(again.LoadFromBytes(resaved));
  EXPECT_EQ(again.SaveToBytes(), resaved);
  // pelmora-tool writes what the runtime's reader made of the file, read
  // after a project's database (here a new project's, as this test's).
  const std::string project = dir_ + "/project";
  WriteDefaultProject(project);
  std::string out = dir_ + "/resaved.dat";
  std::string cmd = std::string(PELMORA_TOOL) + " resave " + dir_ + "/sys_150.dat " + out + " --kind system --project " + project;
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  cSystemData direct = Load(150);
  EXPECT_EQ(Slurp(out), direct.SaveToBytes());
  // A file from the future is refused with exit 1.
  std::string future = Slurp(dir_ + "/sys_873.dat");
  future[0] = 0x6A;
  std::ofstream(dir_ + "/future.dat", std::ios::binary) << future;
  cmd = std::string(PELMORA_TOOL) + " resave " + dir_ + "/future.dat " + out + " --kind system --project " + project +
        " 2>/dev/null";
  EXPECT_EQ(WEXITSTATUS(std::system(cmd.c_str())), 1);
}

TEST(SystemDataTest, MenuHelpers) {
  cSystemData d;
  // "はじめから" .. : widest of texts 10..11 ("ステージに挑む", 7 characters).
  EXPECT_EQ(d.GetMenuLeft(320, 10, 2, false), 320 - (7 * 16) / 2);
  EXPECT_EQ(d.GetMenuLeft(320, 10, 2, true), 320 - (8 * 16) / 2);
  EXPECT_EQ(d.MenuLabelText(17, 2, true), " " + d.m_Texts[17] + "\n " + d.m_Texts[18] + "\n");
  EXPECT_EQ(d.CountSetFlags(0), 5);
  EXPECT_EQ(d.CountSetFlags(3), 0);
  d.m_Hud[2].m_nLimit = 33;
  d.m_Hud[2].m_bPercent = 1;
  EXPECT_TRUE(d.IsWithinThreshold(2, 33, 100));
  EXPECT_FALSE(d.IsWithinThreshold(2, 34, 100));
}

// The default file with its first list count replaced, padded to 1 MB.
std::string WithCountAt(size_t offset, uint32_t count, size_t size) {
  cSystemData defaults;
  std::string bytes = defaults.SaveToBytes();
  std::memcpy(&bytes[offset], &count, 4);
  bytes.resize(size, '\x01');
  return bytes;
}

// A large file with counts that lie must fail without allocating what the
// counts claim.
TEST(HostileSystemDataTest, LyingCountsInAMegabyteFailWithBoundedMemory) {
  cSystemData probe;
  std::string plain = probe.SaveToBytes();
  // The first list (carry-over flags) follows the body: 4 + 4 + 79 fields + 4 + title.
  size_t bodyEnd = 4 + 4 + 76 * 4 + 3 + 4 + 4;
  ASSERT_EQ(plain.substr(bodyEnd, 4), std::string("\x19\x00\x00\x00", 4));  // 25 flags
  const size_t oneMegabyte = 1 << 20;
  const std::string cases[] = {
      WithCountAt(bodyEnd, 0xFFFFFFFFu, oneMegabyte),       // more flags than the file holds
      WithCountAt(bodyEnd + 4 + 25 + 4 + 25, 130000u, oneMegabyte),  // HUD items: as many as could fit
  };
  for (const std::string& file : cases) {
    cSystemData record;
    record.m_strTitle = "kept";
    bool counting = AllocationCountingAvailable();
    if (counting) StartCountingAllocations();
    bool loaded = record.LoadFromBytes(file);
    size_t peak = counting ? StopCountingAllocations() : 0;
    EXPECT_FALSE(loaded);
    EXPECT_EQ(record.m_strTitle, "kept");
    if (counting) {
      EXPECT_LT(peak, 4 * oneMegabyte) << "peak " << peak;
    }
  }
}

// The number of worlds (#16) the play record keeps an entry for each of:
// up to 2^20 the file loads (below 0 is none); above, the read fails, the
// record stays as it was, and the reason names the number.
TEST(HostileSystemDataTest, MoreWorldsThanAGameCanHoldAreRefusedNamingTheNumber) {
  struct Row {
    int32_t worlds;
    const char* refusal;  // nullptr: it loads
  };
  const Row rows[] = {
      {INT32_MIN, nullptr},
      {-1, nullptr},
      {0, nullptr},
      {kSysMaxWorldCount, nullptr},
      {kSysMaxWorldCount + 1, "its number of worlds (#16) is 1048577, more than 1048576"},
      {INT32_MAX, "its number of worlds (#16) is 2147483647, more than 1048576"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.worlds);
    cSystemData written;
    written.SetNum(kSysWorldCount, row.worlds);
    cSystemData read;
    read.m_strTitle = "kept";
    const bool loaded = read.LoadFromBytes(written.SaveToBytes());
    if (!row.refusal) {
      EXPECT_TRUE(loaded);
      EXPECT_EQ(read.Num(kSysWorldCount), row.worlds);
      EXPECT_EQ(LastSystemDataLimitProblem(), "");
      continue;
    }
    EXPECT_FALSE(loaded);
    EXPECT_EQ(read.m_strTitle, "kept");
    EXPECT_EQ(LastSystemDataLimitProblem(), row.refusal);
  }
}

}  // namespace
