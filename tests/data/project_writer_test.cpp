// Project files written by an independent writer (tests/data/project_writer.py,
// from the file formats alone), in older versions, read through our readers
// and resaved by pelmora-tool in the current layout.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "base/logs.h"
#include "data/common_palette.h"
#include "data/database.h"
#include "data/stage_data.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/text.h"
#include "support/game_data.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

uint32_t WordAt(const std::string& b, size_t offset) {
  uint32_t v = 0;
  if (offset + 4 <= b.size()) std::memcpy(&v, b.data() + offset, 4);
  return v;
}

class ProjectWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string command = "python3 " PELMORA_SOURCE_DIR "/tests/data/project_writer.py " + dir_;
    ASSERT_EQ(std::system(command.c_str()), 0);
    bStripCarriageReturns = 1;
  }
  int Resave(const std::string& in, const std::string& out) {
    std::string command = std::string(PELMORA_TOOL) + " resave '" + in + "' '" + out + "'";
    return std::system(command.c_str());
  }
  Sandbox sandbox_{"ok;ok"};
  ScopedGameData data_;
  const std::string dir_ = sandbox_.Folder().Path();
};

TEST_F(ProjectWriterTest, OldDatabaseFilesLoadUpgraded) {
  ASSERT_EQ(LoadDatabase(), 1) << Slurp(dir_ + "/Report_Game.txt");
  const cDatabase& db = Database;
  ASSERT_EQ(db.m_AnimeSets.size(), 2u);
  ASSERT_EQ(db.m_AnimeSets[0].m_Animes.size(), 4u);  // two read, two new
  EXPECT_EQ(db.m_AnimeSets[0].m_Animes[1].m_strName, "b");
  EXPECT_EQ(db.m_AnimeSets[0].m_Animes[2].m_strName, plat::Sjis("飛行"));
  EXPECT_EQ(db.m_AnimeSets[1].m_Animes[3].m_strName, plat::Sjis("飛行移動"));
  EXPECT_EQ(db.m_AnimeSets[0].m_nValue3, 0);
  EXPECT_EQ(db.m_Animes[1].m_strName, "walk\nline");
  EXPECT_EQ(db.m_Animes[1].m_nValue3, -3);
  EXPECT_EQ(db.m_BmpCharaExcs[1].m_strText2, "file.bmp");
  ASSERT_EQ(db.m_SwordTypes.size(), 128u);  // 130 in a file before 828
  EXPECT_EQ(db.m_SwordTypes[127].m_Entries[0].m_nValues[9], 136);
  EXPECT_EQ(db.m_SwordTypes[5].m_nNumber, 1005);
  EXPECT_TRUE(db.m_Effects[2].m_Frames.empty());
  EXPECT_EQ(db.m_Effects[1].m_nValue2, 48);
  EXPECT_EQ(db.m_Effects[1].m_Frames[1].m_nSecond, 3);
  EXPECT_EQ(db.m_CharaEffects[0].m_nKind, 0);  // entry 0 is "none"
  EXPECT_EQ(db.m_CharaEffects[1].m_nParams[4], 2);
  EXPECT_EQ(db.m_CharaEffects[2].m_nParams[3], 2);
  EXPECT_EQ(db.m_CharaEffects[3].m_nParams[4], 99);
  EXPECT_EQ(db.m_ScrEffects[1].m_nParams[4], 10);
  EXPECT_EQ(db.m_ScrEffects[2].m_nParams[3], 8);
  EXPECT_EQ(db.m_Pictures[1].m_nNumber, 0);
  EXPECT_EQ(db.m_Sounds[1].m_strText2, "a.wav");
  EXPECT_EQ(db.m_Sounds[1].m_nNumber, 0);
  EXPECT_EQ(db.m_Bgms[2].m_nNumber, 5);
  EXPECT_EQ(db.m_Bgms[2].m_nValue2, 0);

  // Resaved in the current layout: version 873, every field declared.
  ASSERT_EQ(Resave(dir_ + "/data/database/Bgm.dat", dir_ + "/Bgm873.dat"), 0);
  std::string bgm = Slurp(dir_ + "/Bgm873.dat");
  EXPECT_EQ(WordAt(bgm, 0), 873u);
  EXPECT_EQ(WordAt(bgm, 4), 3u);
  EXPECT_EQ(WordAt(bgm, 8), 2u);  // number and value 2
  cSafeVector<cBgmRecord> bgms;
  ASSERT_TRUE(LoadDatabaseListFromBytes(bgms, bgm));
  EXPECT_EQ(bgms[2].m_nNumber, 5);
  ASSERT_EQ(Resave(dir_ + "/data/database/AnimeSet.dat", dir_ + "/AnimeSet873.dat"), 0);
  cSafeVector<cAnimeSetRecord> sets;
  ASSERT_TRUE(LoadDatabaseListFromBytes(sets, Slurp(dir_ + "/AnimeSet873.dat")));
  EXPECT_EQ(sets[1].m_Animes.size(), 4u);
}

TEST_F(ProjectWriterTest, StagesOfVersion150And873) {
  Database.m_Bgms.resize(3);
  cStageData old;
  ASSERT_EQ(old.LoadFromFile("data\\stg4\\old.stg4_1"), 1);
  EXPECT_EQ(old.m_strName, plat::Sjis("古いステージ"));
  EXPECT_EQ(old.Int(kStageScrollLeft), 80);   // 500 clamped to width - 20
  EXPECT_EQ(old.Int(kStageScrollRight), 99);  // 120 clamped to width - 1
  EXPECT_EQ(old.Int(kStageMusic), 0);         // 7 is past the three tracks
  EXPECT_EQ(old.Int(kStageSubSteps), 5);      // level 15
  EXPECT_DOUBLE_EQ(old.Dbl(kStageMaxSpeed), 12.0);
  EXPECT_DOUBLE_EQ(old.Dbl(kStageGravityPerStep), 0.02);
  EXPECT_EQ(old.Int(42), 20);
  EXPECT_EQ(old.Int(43), 28);
  EXPECT_EQ(old.Int(66), 11);
  EXPECT_EQ(old.Int(25), 1);
  EXPECT_EQ(old.Int(56), 5);
  EXPECT_EQ(old.Int(61), 30);
  EXPECT_EQ(old.m_RankingSwitches, (cSafeVector<uint32_t>{1, 1, 1, 0, 0}));
  EXPECT_EQ(old.m_Params[0].m_nValues[1], 2);  // values 2..4 are in files from 125 on
  EXPECT_EQ(old.m_Params[4].m_nValues[7], 8);
  ASSERT_EQ(old.m_Texts.size(), 1000u);
  EXPECT_EQ(old.m_Texts[1].m_strText, plat::Sjis("二"));
  ASSERT_EQ(old.m_Backgrounds.size(), 1u);
  EXPECT_EQ(old.m_Backgrounds[0].m_nLayer1, 1);
  EXPECT_EQ(old.m_Backgrounds[0].m_nLayer3, 2);
  EXPECT_DOUBLE_EQ(old.m_Backgrounds[0].m_dScrollSpeedX, 0.1);
  EXPECT_EQ(old.m_Backgrounds[0].m_strFile, "bg.bmp");
  EXPECT_EQ(old.m_PaletteCharacters.size(), 2u);
  EXPECT_FALSE(old.HasHero());

  cStageData hero;
  ASSERT_EQ(CheckStageFileTrailer("data\\stg4\\hero.stg4_1"), 1);
  ASSERT_EQ(hero.LoadFromFile("data\\stg4\\hero.stg4_1"), 1);
  ASSERT_EQ(hero.FindHeroIndex(), 0);
  EXPECT_EQ(hero.m_PlacedCharacters[0].m_strName, plat::Sjis("主人公"));
  EXPECT_EQ(hero.m_PlacedCharacters[0].m_nWord2, 4);
  EXPECT_EQ(hero.m_PlacedCharacters[0].m_nPlacedItem, -1);
  EXPECT_EQ(hero.m_PaletteBlocks[0].m_strName, "");  // entry 0 reset
  EXPECT_EQ(hero.m_PaletteBlocks[1].m_strName, plat::Sjis("ブロック"));
  EXPECT_EQ(hero.m_PlacedBlocks[0].m_nWord1, 1);
  EXPECT_EQ(hero.m_RankingSwitches[1], 0u);

  // Resaved: 873 with 98 fields and the trailer; reads back alike. The tool
  // reads a stage after its project's database and common palette; this
  // project gets a new project's palette.
  cCommonPalette palette;
  std::ofstream(dir_ + "/data/CommonPalette.cplt4", std::ios::binary) << palette.SaveToBytes();
  ASSERT_EQ(Resave(dir_ + "/data/stg4/old.stg4_1", dir_ + "/old873.stg4_1"), 0);
  std::string bytes = Slurp(dir_ + "/old873.stg4_1");
  EXPECT_EQ(WordAt(bytes, 0), 873u);
  EXPECT_EQ(WordAt(bytes, 4), 98u);
  EXPECT_EQ(WordAt(bytes, bytes.size() - 4), kStageTrailer);
  cStageData again;
  ASSERT_TRUE(again.LoadFromBytes(bytes));
  EXPECT_EQ(again.Int(42), 20);
  EXPECT_EQ(again.m_Texts.size(), 1000u);
  EXPECT_EQ(again.m_Backgrounds[0].m_strFile, "bg.bmp");
}

}  // namespace
