#include "scene/play_record.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "data/system_data.h"
#include "support/project_files.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

// Little-endian file bytes, written from the file layout (not through the
// record's writer).
struct FileBytes {
  std::string b;
  FileBytes& U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>(v >> (8 * i)));
    return *this;
  }
  FileBytes& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
  FileBytes& U16(uint16_t v) {
    b.push_back(static_cast<char>(v & 0xFF));
    b.push_back(static_cast<char>(v >> 8));
    return *this;
  }
  FileBytes& Str(const std::string& s) {
    if (s.empty()) return U32(1);
    U32(static_cast<uint32_t>(s.size() + 1));
    b += s;
    b.push_back('\0');
    return *this;
  }
};

// The declared numbers in file order: field number, first version that
// stores it, and the member.
struct NumericField {
  int number;
  int since;
  std::function<int32_t&(cSaveData&)> at;
};
#define F(n, since, expr) NumericField{n, since, [](cSaveData& s) -> int32_t& { return s.expr; }}
const std::vector<NumericField> kFields = {
    F(1, 0, m_bKeptHeroState), F(2, 0, m_nMapX), F(3, 0, m_nMapY), F(4, 0, m_nValue4), F(5, 0, m_nRound),
    F(8, 758, m_nStageNumber[0]), F(9, 758, m_nStageNumber[1]), F(10, 758, m_nStageNumber[2]),
    F(11, 0, m_nWorld), F(12, 0, m_nStage), F(13, 0, m_nContinues), F(14, 0, m_nLives), F(15, 0, m_nScore),
    F(16, 0, m_nStagePoints), F(17, 0, m_nTotalPoints), F(18, 0, m_nTimeLeftSum), F(19, 0, m_nClearTimeSum),
    F(20, 182, m_nHpLeftSum), F(21, 182, m_nSpLeftSum), F(22, 0, m_bFirstStage), F(23, 0, m_nValue23),
    F(24, 166, m_nValue24), F(25, 194, m_nMapFacing), F(26, 190, m_bStepBack), F(27, 191, m_nPreMoveX),
    F(28, 191, m_nPreMoveY), F(29, 0, m_nOpenedWorlds), F(30, 0, nCurrentSlot), F(31, 169, bAutoSave),
    F(33, 0, bShowRanking), F(34, 0, nRankingGenre), F(35, 678, m_bStartGiven), F(36, 678, m_nStartX),
    F(37, 678, m_nStartY), F(38, 679, m_nStartFacing),
};
#undef F

// A play record file of `version` as the format describes it: every stored
// number is its field number × 10.
std::string MakeFile(int version) {
  FileBytes f;
  f.U32(static_cast<uint32_t>(version));
  uint32_t count = 0;
  for (const NumericField& field : kFields) count += field.since <= version;
  f.U32(count);
  for (const NumericField& field : kFields)
    if (field.since <= version) f.I32(field.number * 10);
  f.U32(version >= 724 ? 3 : 2).Str("w1-3.stg");
  if (version >= 724) f.Str("w1-3.");
  f.Str("bob");
  for (uint16_t w : {2024, 5, 3, 17, 21, 9, 30, 500}) f.U16(w);
  if (version > 500) {
    f.U32(25);
    for (int i = 0; i < 25; ++i) f.U32(i == 13 ? 1 : 0);
  }
  f.U32(0);  // kept heroes
  f.U32(1);  // one best result
  f.U32(version >= 759 ? 4 : 1);
  if (version >= 759) f.I32(1).I32(7).I32(2);
  f.I32(4321);
  f.U32(version >= 759 ? 2 : 1).Str("w1-1.stg");
  if (version >= 759) f.Str("w1-1_c007_2.");
  f.U32(2);  // world progress
  for (int i = 0; i < 2; ++i) f.U32(2).I32(i + 1).I32(-(i + 1)).U32(0);
  f.U32(1000);
  for (int i = 0; i < 1000; ++i) f.U32(i == 0 || i == 5 ? 1 : 0);
  f.U32(1001);
  for (int i = 0; i < 1001; ++i) f.I32(i == 7 ? -3 : 0);
  return f.b;
}

TEST(PlayRecordTest, CurrentFilesRoundTripByteForByte) {
  const std::string file = MakeFile(873);
  cSaveData record;
  ASSERT_TRUE(record.LoadFromBytes(file));
  EXPECT_EQ(record.SaveToBytes(), file);
  EXPECT_EQ(record.m_SaveTime.wYear, 2024);
  EXPECT_EQ(record.m_SaveTime.wMilliseconds, 500);
  EXPECT_EQ(record.GetCommonVariable(7), -3);
  EXPECT_EQ(record.GetProgressFlag(5), 1);
  EXPECT_EQ(record.GetStageBest("w1-1_c007_2."), 4321);
  ASSERT_EQ(record.m_WorldProgress.size(), 2u);
  EXPECT_EQ(record.m_WorldProgress[1].m_nValue[1], -2);
}

TEST(PlayRecordTest, OlderFilesGetTheDefaultsOfWhatTheyLack) {
  for (int version : {165, 168, 181, 189, 190, 193, 400, 500, 501, 677, 678, 723, 757, 758, 759, 872}) {
    SCOPED_TRACE(version);
    cSaveData record;
    // What a file replaces must not show through where the file is silent.
    for (const NumericField& field : kFields) field.at(record) = 12345;
    ASSERT_TRUE(record.LoadFromBytes(MakeFile(version)));
    for (const NumericField& field : kFields) {
      SCOPED_TRACE(field.number);
      int32_t expected = field.number * 10;
      if (field.since > version) expected = field.number == 24 ? 1 : 0;
      EXPECT_EQ(field.at(record), expected);
    }
    EXPECT_EQ(record.m_StoredParts.size(), 25u);
    EXPECT_EQ(record.m_StoredParts[13], version > 500 ? 1u : 0u);
    ASSERT_EQ(record.m_BestResults.size(), 1u);
    const cStageBestRecord& best = record.m_BestResults[0];
    EXPECT_EQ(best.m_strStageName, version >= 759 ? "w1-1_c007_2." : "w1-1.stg");
    EXPECT_EQ(best.m_nStageNumber[0], version >= 759 ? 1 : 0);
    EXPECT_EQ(best.m_nBestPoints, 4321);
    EXPECT_EQ(record.m_strStageName, version >= 724 ? "w1-3." : "");
    EXPECT_EQ(record.m_strName, "bob");
  }
}

TEST(PlayRecordTest, DamagedFilesFailAndLeaveTheRecordAsItWas) {
  cSaveData record;
  record.m_nLives = 3;
  record.SetCommonVariable(1, 99);
  const std::string before = record.SaveToBytes();
  const std::string file = MakeFile(873);
  // Every cut of a whole file.
  for (size_t n = 0; n < file.size(); n += (n < 400 ? 1 : 97)) {
    ASSERT_FALSE(record.LoadFromBytes(file.substr(0, n))) << n;
  }
  // Counts that claim more than the file holds.
  std::string lying = file;
  const size_t variablesCount = file.size() - 1001 * 4 - 4;
  for (int i = 0; i < 4; ++i) lying[variablesCount + i] = '\xFF';
  EXPECT_FALSE(record.LoadFromBytes(lying));
  EXPECT_EQ(record.SaveToBytes(), before);
}

// The files sit in a project's user_data, whose database their kept heroes
// are read after.
TEST(PlayRecordTest, ToolResavesSlotAndChallengeFiles) {
  Sandbox box;
  const std::string dir = box.Folder().Path();
  WriteDefaultProject(dir);
  const struct {
    const char* name;
    int version;
  } files[] = {{"user_data/story/Story03.dat", 873}, {"user_data/challenge/Challenge.dat", 400}};
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    box.Write(f.name, MakeFile(f.version));
    const std::string out = dir + "/resaved.bin";
    ASSERT_EQ(std::system((std::string(PELMORA_TOOL) + " resave '" + dir + "/" + f.name + "' '" + out + "' > /dev/null 2>&1").c_str()), 0);
    cSaveData record;
    ASSERT_TRUE(record.LoadFromBytes(MakeFile(f.version)));
    EXPECT_EQ(Slurp(out), record.SaveToBytes());
  }
}

struct StageNameCase {
  const char* name;
  int32_t n1, n2, n3;
  const char* secondName;
  int32_t firstStage;
};

TEST(PlayRecordTest, SetStageMakesTheBaseFormAndSecondName) {
  const StageNameCase cases[] = {
      {"abc-1.stg", 0, 0, 0, "abc.", 1},
      {"abc-2.stg", 0, 0, 0, "abc-2.", 0},
      {"abc-1.stg", 1, 7, 2, "abc_c007_2.", 1},
      {"abc-10.stg", 0, 0, 0, "abc.", 1},          // any "-1" counts, scanning from the end
      {"my-1st-stage-2.stg", 0, 0, 0, "my.", 1},
      {"abc-1", 0, 0, 0, "abc.", 1},
      {"noext", 0, 0, 0, "", 0},                   // no "." at all: nothing is left
      {"", 0, 0, 0, "", 0},
      {"a.b.stg4", 0, 0, 0, "a.b.", 0},
  };
  for (const StageNameCase& c : cases) {
    SCOPED_TRACE(c.name);
    cSaveData record;
    record.SetStage(c.name, c.n1, c.n2, c.n3);
    EXPECT_EQ(record.m_strStageName, c.secondName);
    EXPECT_EQ(record.m_bFirstStage, c.firstStage);
  }
  std::string name = "abc.";
  GetStageFileName(name, 0, 7, 2);
  EXPECT_EQ(name, "abc.");
  GetStageFileName(name, 3, 12345, 0);
  EXPECT_EQ(name, "abc_c12345_0.");
}

TEST(PlayRecordTest, StoredStageNameReadsAsTheBaseFormAfterASave) {
  cSaveData record;
  record.SetStage("w2-1.stg", 0, 0, 0);
  EXPECT_EQ(record.StageBaseName(), "w2.");
  cSaveData loaded;
  ASSERT_TRUE(loaded.LoadFromBytes(record.SaveToBytes()));
  EXPECT_EQ(loaded.m_strStageFile, "w2.");
  EXPECT_EQ(loaded.m_strStageName, "w2.");
}

TEST(PlayRecordTest, BestResultsKeepTheHighestPointsAndTheTotal) {
  cSaveData record;
  const int32_t numbers[3] = {0, 0, 0};
  record.RecordStageResult("a-1.stg", "a.", numbers, 500);
  record.RecordStageResult("b-1.stg", "b.", numbers, 100);
  EXPECT_EQ(record.m_nTotalPoints, 600);
  record.RecordStageResult("a-1.stg", "a.", numbers, 300);
  EXPECT_EQ(record.m_nTotalPoints, 600);
  EXPECT_EQ(record.GetStageBest("a."), 500);
  record.RecordStageResult("a-1.stg", "a.", numbers, 800);
  EXPECT_EQ(record.m_nTotalPoints, 900);
  EXPECT_EQ(record.GetStageBest("a."), 800);
  EXPECT_EQ(record.GetStageBest("c."), 0);
  EXPECT_EQ(record.m_BestResults.size(), 2u);
  record.RecountTotal([](const cStageBestRecord& b, void*) { return b.m_strStageName == "b."; });
  EXPECT_EQ(record.m_nTotalPoints, 100);
}

// Restores the system data's carry-over settings after a test.
struct ScopedCarrySettings {
  cSafeVector<uint8_t> carry = SystemData.m_CarryOver, reset = SystemData.m_ResetFlags;
  ~ScopedCarrySettings() {
    SystemData.m_CarryOver = carry;
    SystemData.m_ResetFlags = reset;
  }
};

TEST(PlayRecordTest, CarriesOnlyTheEnabledParts) {
  ScopedCarrySettings settings;
  SystemData.m_CarryOver.assign(25, 0);
  SystemData.m_CarryOver[kCarryMaxHp] = 1;
  SystemData.m_CarryOver[kCarryLives] = 1;
  cSaveData record;
  cEdCharacter hero;
  hero.m_nParam40 = 250;  // maximum HP
  hero.m_nParam41 = 70;   // maximum SP
  hero.m_nGraphic = 9;
  cHeroCarryValues values;
  values.nLives = 4;
  values.nCounterA = 11;
  record.StoreHeroState(0, hero, values);

  // Through a file, as between runs of the program.
  cSaveData loaded;
  ASSERT_TRUE(loaded.LoadFromBytes(record.SaveToBytes()));
  EXPECT_EQ(loaded.SaveToBytes(), record.SaveToBytes());

  cEdCharacter next;
  const cEdCharacter fresh;
  loaded.m_nLives = 1;
  cHeroCarryValues restored;
  EXPECT_EQ(loaded.RestoreHeroState(0, next, &restored), (1u << kCarryMaxHp) | (1u << kCarryLives));
  EXPECT_EQ(next.m_nParam40, 250);
  EXPECT_EQ(next.m_nParam41, fresh.m_nParam41);
  EXPECT_EQ(next.m_nGraphic, fresh.m_nGraphic);
  EXPECT_EQ(loaded.m_nLives, 4);
  int32_t a = -1, b = -1;
  loaded.RestoreHeroCounters(0, a, b);
  EXPECT_EQ(a, -1);

  // A part the system resets between stages is forgotten.
  SystemData.m_ResetFlags.assign(25, 0);
  SystemData.m_ResetFlags[kCarryMaxHp] = 1;
  loaded.ForgetResetParts();
  EXPECT_EQ(loaded.RestoreHeroState(0, next), 1u << kCarryLives);
  // No kept state, or another hero: nothing.
  EXPECT_EQ(cSaveData().RestoreHeroState(0, next), 0u);
  EXPECT_EQ(loaded.RestoreHeroState(1, next), 0u);
}

TEST(PlayRecordTest, RestoredGraphicIsAtLeastOne) {
  ScopedCarrySettings settings;
  SystemData.m_CarryOver.assign(25, 0);
  SystemData.m_CarryOver[kCarryGraphic] = 1;
  cSaveData record;
  cEdCharacter hero;
  hero.m_nGraphic = 0;
  hero.m_nGraphicSource = 2;
  record.StoreHeroState(0, hero, {});
  cEdCharacter next;
  record.RestoreHeroState(0, next);
  EXPECT_EQ(next.m_nGraphic, 1);
  EXPECT_EQ(next.m_nGraphicSource, 2);
}

TEST(PlayRecordTest, LivesRules) {
  struct Case {
    int32_t lives;
    bool testPlay;
    int result;
    int32_t after;
  } takeLife[] = {{3, false, 1, 2}, {1, false, 1, 0}, {0, false, 0, 0}, {-5, false, 0, -5},
                  {kUnlimitedLives, false, 1, kUnlimitedLives}, {3, true, 1, 3}};
  for (const Case& c : takeLife) {
    cSaveData record;
    record.m_nLives = c.lives;
    EXPECT_EQ(record.TakeLife(c.testPlay), c.result) << c.lives;
    EXPECT_EQ(record.m_nLives, c.after) << c.lives;
  }
  cSaveData record;
  record.m_nLives = kUnlimitedLives;
  record.ApplyLivesRule(0, 5);
  EXPECT_EQ(record.m_nLives, 5);
  record.ApplyLivesRule(1, 5);
  EXPECT_EQ(record.m_nLives, kUnlimitedLives);
  EXPECT_EQ(record.m_nContinues, kUnlimitedLives);
}

TEST(PlayRecordTest, AttemptCountersAndKeptVariables) {
  cSaveData record;
  record.m_nContinues = 4;
  record.m_nScore = 77;
  record.m_nHpLeftSum = 8;
  record.m_bStartGiven = 1;
  record.m_bPendingVariable = 1;
  record.m_nPendingVariable = 12;
  record.m_nPendingValue = 6;
  record.ResetPlayCounters(true);  // replay playback: no assignment
  EXPECT_EQ(record.GetCommonVariable(12), 0);
  record.ResetPlayCounters(false);
  EXPECT_EQ(record.GetCommonVariable(12), 6);
  EXPECT_EQ(record.m_nLives, 4);
  EXPECT_EQ(record.m_nScore, 0);
  EXPECT_EQ(record.m_nHpLeftSum, 0);
  EXPECT_EQ(record.m_bStartGiven, 0);

  record.m_nStagePoints = 100;
  record.KeepVariables();
  record.SetCommonVariable(12, 50);
  record.m_nStagePoints = 300;
  record.m_nLives = 1;
  record.RestoreVariables(false, false);
  EXPECT_EQ(record.GetCommonVariable(12), 50);
  EXPECT_EQ(record.m_nStagePoints, 100);
  record.RestoreVariables(false, true);
  EXPECT_EQ(record.GetCommonVariable(12), 6);
  EXPECT_EQ(record.m_nLives, 1);
  record.RestoreVariables(true, true);
  EXPECT_EQ(record.m_nLives, 4);

  // Variable numbers outside 1..1000 are neither read nor written.
  record.SetCommonVariable(0, 1);
  record.SetCommonVariable(1001, 1);
  EXPECT_EQ(record.GetCommonVariable(0), 0);
  EXPECT_EQ(record.GetCommonVariable(1001), 0);
  EXPECT_EQ(record.GetCommonVariable(-4), 0);
}

TEST(PlayRecordTest, ResetAndNewRoundAndMapBounds) {
  const cWorldMapBounds saved = cSaveData::s_MapBounds;
  cSaveData::s_MapBounds = {.nWidth = 10, .nHeight = 8, .nStartX = 2, .nStartY = 3, .nGroupCount = 4};
  cSaveData record;
  record.bAutoSave = 1;
  record.nCurrentSlot = 3;
  record.m_nOpenedWorlds = 9;
  record.m_nMapX = 10;
  record.m_nMapY = 7;
  record.SetProgressFlag(0, 0);
  record.SetProgressFlag(9, 1);
  record.Validate();
  EXPECT_EQ(record.m_nMapX, 2);
  EXPECT_EQ(record.m_nMapY, 7);
  EXPECT_EQ(record.m_WorldProgress.size(), 4u);
  EXPECT_EQ(record.m_nOpenedWorlds, 4);
  record.BeginNextRound();
  EXPECT_EQ(record.m_nRound, 1);
  EXPECT_EQ(record.GetProgressFlag(0), 1);
  EXPECT_EQ(record.GetProgressFlag(9), 0);
  EXPECT_EQ(record.m_nMapY, 3);
  record.Reset();
  EXPECT_EQ(record.bAutoSave, 0);
  EXPECT_EQ(record.nCurrentSlot, -1);
  EXPECT_EQ(record.m_nOpenedWorlds, 1);
  EXPECT_EQ(record.m_strName, "aaa");
  EXPECT_EQ(record.m_CommonVariables.size(), 1001u);
  cSaveData::s_MapBounds = saved;
}

}  // namespace

// ---- the slot list on screen ----

#include "gfx/dd.h"
#include "gfx/fonts.h"
#include "platform/text.h"
#include "support/display.h"

namespace {

constexpr uint32_t kInk = 241, kBack = 3, kFrame = 240;

// Dots of a row of the back buffer that differ from the background.
int InkIn(int x, int y, int w, int h) {
  int count = 0;
  cSurfaceLock lock(DDBackBuffer());
  if (!lock.Locked()) return -1;
  for (int r = y; r < y + h; ++r)
    for (int c = x; c < x + w; ++c) count += lock.Bits()[static_cast<size_t>(r) * lock.Pitch() + c] != kBack;
  return count;
}

TEST(SaveSlotListDrawingTest, RowsNumbersTimesAndSeparators) {
  DisplaySandbox display;
  ASSERT_TRUE(DDInit(0, 0, 640, 480, 8, 0, 0, 1, 60, 0, nullptr, nullptr, 0));
  SetPinnedFontFile("/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf");
  cFont font;
  ASSERT_TRUE(font.Create(plat::Sjis("ＭＳ ゴシック").c_str(), 0, 16, 16, 16, kInk, nullptr, 1, kFrame, nullptr, 0));
  DDFillRect(DDBackBuffer(), 0, 0, 640, 480, kBack);

  cSaveSlotList list;
  cSaveSlotEntry used;
  used.bUsed = 1;
  used.nState = SlotState::kUsed;
  used.time = cSaveTime{2024, 1, 0, 2, 3, 4, 5, 6};
  list.SetEntry(8, used);
  // Rows for slots 8, 9 and (past the end of the list) none.
  constexpr int x = 100, y = 200;
  DrawSaveSlotList(DDBackBuffer(), font, x, y, list, 8, 3);

  EXPECT_EQ(InkIn(x + 16, y + 15, 304, 1), 304);        // separator under row 0
  EXPECT_EQ(InkIn(x + 16, y + 31, 304, 1), 304);        // and under row 1
  EXPECT_EQ(InkIn(x + 16, y + 47, 304, 1), 0);          // not under the last row
  EXPECT_GT(InkIn(x + 16, y, 32, 15), 0);               // "9"
  EXPECT_GT(InkIn(x + 64, y, 240, 15), 0);              // its time
  EXPECT_GT(InkIn(x + 16, y + 16, 32, 15), 0);          // "10"
  EXPECT_EQ(InkIn(x + 64, y + 16, 240, 15), 0);         // an empty slot has no time
  EXPECT_EQ(InkIn(x + 16, y + 32, 300, 15), 0);         // the list ended
  font.Release();
  SetPinnedFontFile("");
}

}  // namespace
