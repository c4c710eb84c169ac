// Old project files from the independent writer (tests/data/project_writer.py)
// resaved by pelmora-tool in the current layout and read back alike. Their
// upgrades, threshold by threshold, are checked in project_writer_versions_test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "data/common_palette.h"
#include "data/database.h"
#include "data/stage_data.h"
#include "data/stage_load.h"
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
    ASSERT_EQ(std::system(("python3 " PELMORA_SOURCE_DIR "/tests/data/project_writer.py " + dir_).c_str()), 0);
    bStripCarriageReturns = 1;
  }
  // The resaved bytes of `in` (a path below the project folder).
  std::string Resave(const std::string& in) {
    const std::string out = dir_ + "/resaved.bin";
    EXPECT_EQ(std::system((std::string(PELMORA_TOOL) + " resave '" + dir_ + "/" + in + "' '" + out + "'").c_str()), 0)
        << in;
    return Slurp(out);
  }
  Sandbox sandbox_{"ok;ok"};
  ScopedGameData data_;
  const std::string dir_ = sandbox_.Folder().Path();
};

TEST_F(ProjectWriterTest, OldFilesResaveInTheCurrentLayout) {
  // Database: version 873, every field declared (number and value 2).
  const std::string bgm = Resave("data/database/Bgm.dat");
  EXPECT_EQ(std::vector<uint32_t>({WordAt(bgm, 0), WordAt(bgm, 4), WordAt(bgm, 8)}), std::vector<uint32_t>({873, 3, 2}));
  cSafeVector<cBgmRecord> bgms;
  ASSERT_TRUE(LoadDatabaseListFromBytes(bgms, bgm));
  EXPECT_EQ(bgms[2].m_nNumber, 5);
  cSafeVector<cAnimeSetRecord> sets;
  ASSERT_TRUE(LoadDatabaseListFromBytes(sets, Resave("data/database/AnimeSet.dat")));
  EXPECT_EQ(sets[1].m_Animes.size(), 4u);  // two read, two added by the upgrade

  // A version-150 stage: 98 fields and the trailer. The tool reads a stage
  // after its project's database and common palette; this project gets a new
  // project's palette.
  Database.m_Bgms.resize(3);
  std::ofstream(dir_ + "/data/CommonPalette.cplt4", std::ios::binary) << cCommonPalette().SaveToBytes();
  const std::string bytes = Resave("data/stg4/old.stg4_1");
  EXPECT_EQ(WordAt(bytes, 0), 873u);
  EXPECT_EQ(WordAt(bytes, 4), 98u);
  EXPECT_EQ(WordAt(bytes, bytes.size() - 4), kStageTrailer);
  cStageData again;
  ASSERT_TRUE(again.LoadFromBytes(bytes));
  EXPECT_EQ(again.m_strName, plat::Sjis("古いステージ"));
  EXPECT_EQ(again.Int(kStageScrollLeft), 80);  // 500 clamped to width - 20
  EXPECT_EQ(again.m_Texts.size(), 1000u);
  EXPECT_FALSE(again.HasHero());
  cStageData hero;
  ASSERT_EQ(CheckStageFileTrailer("data\\stg4\\hero.stg4_1"), 1);
  ASSERT_EQ(hero.LoadFromFile("data\\stg4\\hero.stg4_1"), 1);
  EXPECT_EQ(hero.FindHeroIndex(), 0);
  EXPECT_EQ(hero.m_PaletteBlocks[1].m_strName, plat::Sjis("ブロック"));
}

}  // namespace
