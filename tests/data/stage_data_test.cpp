#include "data/stage_data.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "data/common_palette.h"
#include "data/database.h"
#include "data/stage_load.h"
#include "platform/text.h"
#include "support/game_data.h"
#include "support/quit_requests.h"
#include "support/sandbox.h"

namespace {

std::string U32(uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }
uint32_t WordAt(const std::string& b, size_t offset) {
  uint32_t v;
  std::memcpy(&v, b.data() + offset, 4);
  return v;
}

// A stage with a hero at (3, 4), a palette block and a placed block.
cStageData HeroStage() {
  cStageData s;
  s.m_strName = "hero";
  s.Int(kStageWidth) = 40;
  s.Int(kStageHeight) = 15;
  cEdCharacter hero;
  hero.m_strName = plat::Sjis("主人公");
  hero.m_nGraphic = 5;
  hero.m_nControl = 0;
  hero.m_nWord1 = 3;
  hero.m_nWord2 = 4;
  hero.m_nPlacedItem = -1;
  cEdCharacter other = hero;
  other.m_nControl = 1;  // computer-controlled: never the hero
  s.m_PlacedCharacters = {other, hero};
  cEdBlock block;
  block.m_strName = "b";
  block.m_nGraphic = 3;
  s.m_PaletteBlocks.push_back(block);
  s.m_PlacedBlocks.push_back(block);
  s.m_Texts.resize(2);
  s.m_Texts[1].m_strText = "t";
  return s;
}

TEST(StageDataTest, FileLayoutAndRoundTrip) {
  cStageData stage = HeroStage();
  std::string bytes = stage.SaveToBytes();
  EXPECT_EQ(WordAt(bytes, 0), 873u);
  EXPECT_EQ(WordAt(bytes, 4), 98u);              // 98 declared fields
  EXPECT_EQ(WordAt(bytes, 8 + 416), 1u);          // of 416 bytes, then one string
  EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\x15\xCD\x5B\x07", 4));
  cStageData back;
  ASSERT_TRUE(back.LoadFromBytes(bytes));
  EXPECT_EQ(back.SaveToBytes(), bytes);
  EXPECT_EQ(back.FindHeroIndex(), 1);
  EXPECT_EQ(back.m_PlacedCharacters[1].m_strName, plat::Sjis("主人公"));
  EXPECT_EQ(back.m_Texts.size(), 2u);
  // The derived speed values are written as recomputed (level 10: L = 10).
  EXPECT_EQ(back.Int(kStageSubSteps), 10);
  EXPECT_DOUBLE_EQ(back.Dbl(kStageGravityPerStep), 0.4 / 100);
}

TEST(StageDataTest, SpeedLevels) {
  cStageData s;
  s.Dbl(kStageGravity) = 0.5;
  s.ApplySpeedLevel(15);
  EXPECT_EQ(s.Int(kStageSubSteps), 5);
  EXPECT_EQ(s.m_nSpeedStep, 30);
  EXPECT_DOUBLE_EQ(s.Dbl(kStageThirdScale), 60.0);
  EXPECT_DOUBLE_EQ(s.Dbl(kStageMaxSpeed), 12.0);
  EXPECT_DOUBLE_EQ(s.Dbl(kStageGravityPerStep), 0.02);
  EXPECT_EQ(s.Int(kStageLandingConstant), 40);
  // Level 0 moves as level 1 instead of dividing by zero.
  s.ApplySpeedLevel(0);
  EXPECT_EQ(s.Int(kStageSpeedLevel), 0);
  EXPECT_EQ(s.Int(kStageSubSteps), 1);
  EXPECT_TRUE(std::isfinite(s.Dbl(kStageMaxSpeed)) && std::isfinite(s.Dbl(kStageGravityPerStep)));
  s.ApplySpeedLevel(INT32_MAX);
  EXPECT_EQ(s.Int(kStageLandingConstant), INT32_MAX);
}

TEST(StageDataTest, NormalizeClampsAndFixes) {
  ScopedGameData data;
  Database.m_Bgms.resize(5);
  cStageData s;
  s.Int(kStageWidth) = 100;
  s.Int(kStageHeight) = 20;
  s.Int(kStageScrollLeft) = 500;
  s.Int(kStageScrollRight) = 98;  // not above its bound: unchanged
  s.Int(kStageScrollTop) = 6;
  s.Int(kStageScrollBottom) = 20;
  s.Int(kStageMusic) = 7;
  s.Normalize();
  EXPECT_EQ(std::vector<int>({s.Int(kStageScrollLeft), s.Int(kStageScrollRight), s.Int(kStageScrollTop),
                              s.Int(kStageScrollBottom), s.Int(kStageMusic)}),
            std::vector<int>({80, 98, 5, 19, 0}));
  EXPECT_EQ(std::pair(s.m_PaletteBlocks.size(), s.m_PaletteItems.size()), std::pair(size_t{2}, size_t{2}));
  s.Int(kStageMusic) = 4;
  s.Int(kStageWidth) = INT32_MIN;  // bounds below INT32_MIN saturate
  s.Normalize();
  EXPECT_EQ(std::pair(s.Int(kStageMusic), s.Int(kStageScrollLeft)), std::pair(4, INT32_MIN));
}

TEST(StageDataTest, PaletteEntryZeroIsAlwaysTheNewType) {
  cStageData s = HeroStage();
  cEdBlock& zero = s.m_PaletteBlocks[0];
  zero.m_strName = "named";
  zero.m_nGraphic = 9;
  zero.m_nOption3 = 5;
  zero.m_vInherit.assign(11, 1);
  zero.m_vInherit[0] = 0;
  s.m_PaletteBlocks.resize(1);  // padded back to two on reading
  cStageData back;
  ASSERT_TRUE(back.LoadFromBytes(s.SaveToBytes()));
  ASSERT_EQ(back.m_PaletteBlocks.size(), 2u);
  const cEdBlock& b = back.m_PaletteBlocks[0];
  EXPECT_EQ(b.m_strName, "");
  EXPECT_EQ(b.m_nGraphic, 0);
  EXPECT_EQ(b.m_nOption3, -1);
  EXPECT_EQ(b.m_vInherit, std::vector<uint8_t>(11, 0));
}

TEST(StageDataTest, BrokenStagesFailWithoutHarm) {
  cStageData good = HeroStage();
  std::string bytes = good.SaveToBytes();
  cStageData target;
  target.m_strName = "kept";
  for (size_t cut = 0; cut + 4 < bytes.size(); ++cut)
    ASSERT_FALSE(target.LoadFromBytes(bytes.substr(0, cut))) << cut;
  EXPECT_EQ(target.m_strName, "kept");
  EXPECT_TRUE(target.LoadFromBytes(bytes.substr(0, bytes.size() - 4) + U32(0)));  // the trailer is not compared
  // Huge counts: ranking switches, placed lists.
  std::string huge = bytes;
  size_t ranking = 8 + 416 + 4 + 4 + 5;  // after the name "hero"
  ASSERT_EQ(WordAt(huge, ranking), 5u);
  std::memcpy(&huge[ranking], "\xFF\xFF\xFF\x7F", 4);
  EXPECT_FALSE(target.LoadFromBytes(huge));
  EXPECT_FALSE(target.LoadFromBytes(U32(873) + U32(99)));  // more fields than declared
  EXPECT_FALSE(target.LoadFromBytes(U32(874)));
}

TEST(StageDataTest, ReplayFormAndMasterCopy) {
  cStageData master = HeroStage();
  master.m_strName = "start";
  master.m_Texts.resize(3);
  cStageData running = HeroStage();
  running.m_strName = "changed";
  running.m_PlacedBlocks.clear();
  cDataWriter out;
  out.WriteU32(873);
  running.WriteForReplay(out, master);
  cStageData back;
  ASSERT_TRUE(back.LoadFromBytes(out.Bytes()));
  EXPECT_EQ(back.m_strName, "start");
  EXPECT_EQ(back.m_Texts.size(), 3u);
  EXPECT_TRUE(back.m_PlacedBlocks.empty());

  cStageData copy;
  copy.CopySettingsFrom(master);
  EXPECT_EQ(copy.m_strName, "start");
  EXPECT_EQ(copy.m_Texts.size(), 3u);
  EXPECT_TRUE(copy.m_PlacedCharacters.empty());
  EXPECT_TRUE(copy.m_PaletteBlocks.empty());
}

// A working folder with stage files, the boxes answered "ok".
class StageFileTest : public ::testing::Test {
 protected:
  void Write(const std::string& name, const std::string& bytes) { sandbox_.Write("data/stg4/" + name, bytes); }
  int ClosesPosted() { return quits_.Take(); }
  std::string DialogLog() { return sandbox_.DialogLog(); }
  Sandbox sandbox_{"ok;ok;ok;ok"};
  ScopedGameData data_;
  QuitRequests quits_;
};

TEST_F(StageFileTest, TrailerCheck) {
  std::string good = HeroStage().SaveToBytes();
  Write("good.stg4_1", good);
  EXPECT_EQ(CheckStageFileTrailer("data\\stg4\\good.stg4_1"), 1);
  EXPECT_EQ(CheckStageFileTrailer("data\\stg4\\missing.stg4_1"), 1);  // the load reports it
  Write("bad.stg4_1", good.substr(0, good.size() - 1) + "x");
  EXPECT_EQ(CheckStageFileTrailer("data\\stg4\\bad.stg4_1"), 0);
  EXPECT_EQ(ClosesPosted(), 1);
  EXPECT_NE(DialogLog().find("ステージファイル data\\stg4\\bad.stg4_1 が破損しています！"), std::string::npos);
  Write("tiny.stg4_1", U32(200));  // too short to hold a trailer
  EXPECT_EQ(CheckStageFileTrailer("data\\stg4\\tiny.stg4_1"), 0);
  EXPECT_EQ(ClosesPosted(), 1);
}

TEST_F(StageFileTest, StartStageLoadsOnTheLoaderThread) {
  Write("hero.stg4_003", HeroStage().SaveToBytes());
  cStageData later = HeroStage();
  later.m_strName = "ten";
  Write("hero.stg4_010", later.SaveToBytes());
  cStageData master;
  cEdCharacter heroRecord;
  ASSERT_EQ(StartStage("data\\stg4\\hero.stg4", 1, &master, &heroRecord), 1);
  EXPECT_EQ(std::pair(StageData.m_strLoadedPath, StageData.m_bLoaded), std::pair(std::string("data\\stg4\\hero.stg4_010"), 1u));
  EXPECT_EQ(std::pair(master.m_strName, master.m_PlacedCharacters.size()), std::pair(std::string("ten"), size_t{0}));
  EXPECT_EQ(heroRecord.m_strName, plat::Sjis("主人公"));
  EXPECT_EQ(ClosesPosted(), 0);

  cStageData noHero;
  noHero.Int(kStageWidth) = 20;
  noHero.Int(kStageHeight) = 15;
  Write("nohero.stg4_1", noHero.SaveToBytes());
  EXPECT_EQ(StartStage("data\\stg4\\nohero.stg4_1", 0, nullptr, nullptr), 0);
  EXPECT_EQ(ClosesPosted(), 1);
  EXPECT_NE(DialogLog().find("主人公が配置されていないのでプレイできません！"), std::string::npos);

  EXPECT_EQ(StartStage("data\\stg4\\missing.stg4_1", 0, nullptr, nullptr), 0);
  EXPECT_NE(DialogLog().find("ステージファイル data\\stg4\\missing.stg4_1 の読み込みに失敗しました！"),
            std::string::npos);
  EXPECT_EQ(StartStage("data\\stg4\\none.stg4", 1, nullptr, nullptr), 0);
}

// A stage read whole that the set-up check refuses is a stage that cannot
// be loaded: the game keeps the stage it had, and the report log says why
// before the box. Without a check every stage that reads passes.
TEST_F(StageFileTest, AStageTheSetUpCheckRefusesIsNotTaken) {
  struct ScopedCheck {
    explicit ScopedCheck(StageSetUpCheck check) : previous(SetStageSetUpCheck(check)) {}
    ~ScopedCheck() { SetStageSetUpCheck(previous); }
    StageSetUpCheck previous;
  };
  ScopedCheck none(nullptr);
  cStageData refused = HeroStage();
  refused.m_strName = "refused";
  Write("refused.stg4_1", refused.SaveToBytes());
  Write("hero.stg4_1", HeroStage().SaveToBytes());
  ASSERT_EQ(StartStage("data\\stg4\\refused.stg4_1", 0, nullptr, nullptr), 1);
  ASSERT_EQ(StartStage("data\\stg4\\hero.stg4_1", 0, nullptr, nullptr), 1);

  ScopedCheck check([](const cStageData& stage) {
    return stage.m_strName == "refused" ? std::string("too much to lay out") : std::string();
  });
  cStageData master;
  master.m_strName = "kept";
  EXPECT_EQ(StartStage("data\\stg4\\refused.stg4_1", 0, &master, nullptr), 0);
  EXPECT_EQ(StageData.m_strName, "hero");
  EXPECT_EQ(StageData.m_bLoaded, 0u);
  EXPECT_EQ(master.m_strName, "kept");
  EXPECT_EQ(ClosesPosted(), 0);
  const std::string box = "ステージファイル data\\stg4\\refused.stg4_1 の読み込みに失敗しました！";
  EXPECT_NE(DialogLog().find(box), std::string::npos) << DialogLog();
  const std::string report = sandbox_.Report();
  const size_t why = report.find("data\\stg4\\refused.stg4_1 : the stage cannot be played: too much to lay out\n");
  ASSERT_NE(why, std::string::npos) << report;
  EXPECT_NE(report.find(box, why), std::string::npos) << "the reason comes before the box";

  // The next stage is taken, and a failed read says no reason of the last.
  EXPECT_EQ(StartStage("data\\stg4\\hero.stg4_1", 0, nullptr, nullptr), 1);
  EXPECT_EQ(StartStage("data\\stg4\\missing.stg4_1", 0, nullptr, nullptr), 0);
  EXPECT_EQ(sandbox_.Report().find("too much to lay out", report.size()), std::string::npos);
}

TEST(CommonPaletteTest, ReadResetsEntryZeroAndInheritance) {
  cEdBlock named;
  named.m_strName = "zero";
  named.m_nGraphic = 4;
  cEdCharacter inheriting;
  inheriting.m_vInherit.assign(37, 0);
  inheriting.m_vInherit[5] = 1;
  inheriting.m_nBaseKind = 1;
  inheriting.m_nBaseIndex = 0;
  cDataWriter out;
  for (uint32_t w : {873, 0, 0, 2}) out.WriteU32(w);
  named.Write(out);
  named.Write(out);
  out.WriteU32(2);
  cEdCharacter().Write(out);
  inheriting.Write(out);
  out.WriteU32(0);  // no items
  cCommonPalette palette;
  ASSERT_TRUE(palette.LoadFromBytes(out.Bytes()));
  ASSERT_EQ(palette.m_Items.size(), 2u);
  EXPECT_EQ(palette.m_Blocks[0].m_strName, "");
  EXPECT_EQ(palette.m_Blocks[0].m_nGraphic, 0);
  EXPECT_EQ(palette.m_Blocks[1].m_strName, "zero");
  EXPECT_EQ(palette.m_Characters[1].m_vInherit, std::vector<uint8_t>(37, 0));
  // Written back: version, empty base body, three lists.
  std::string bytes = palette.SaveToBytes();
  EXPECT_EQ(bytes.substr(0, 16), U32(873) + U32(0) + U32(0) + U32(2));
  for (size_t cut = 0; cut < bytes.size(); ++cut) ASSERT_FALSE(palette.LoadFromBytes(bytes.substr(0, cut))) << cut;
}

}  // namespace
