// The demo project that pelmora-tool make-demo writes, read back through the
// runtime's readers: the ten database files with every sound and tune they
// name, the system data's title music and sounds, the common palette, and
// every stage (trailer, hero, music, backgrounds, bases resolved).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "data/common_palette.h"
#include "data/database.h"
#include "data/stage_data.h"
#include "data/stage_load.h"
#include "data/system_data.h"
#include "platform/files.h"
#include "platform/image_decode.h"
#include "platform/text.h"
#include "support/test_files.h"
#include "support/game_data.h"
#include "support/sandbox.h"

namespace {

class DemoProjectDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(std::system((std::string(PELMORA_TOOL) + " make-demo --force . > /dev/null").c_str()), 0);
  }
  Sandbox sandbox_{"ok;ok"};
  ScopedGameData data_;
  const std::string root_ = sandbox_.Folder().Path();
};

TEST_F(DemoProjectDataTest, EveryFileLoads) {
  ASSERT_EQ(LoadDatabase(), 1);
  // Every sound and tune the lists name is there (entry 0 stands for none).
  ASSERT_GE(Database.m_Sounds.size(), 10u);
  for (size_t k = 1; k < Database.m_Sounds.size(); ++k)
    EXPECT_TRUE(plat::FileExists(Database.m_Sounds[k].m_strName)) << Database.m_Sounds[k].m_strName;
  ASSERT_GE(Database.m_Bgms.size(), 2u);
  for (size_t k = 1; k < Database.m_Bgms.size(); ++k) {
    EXPECT_GT(Database.m_Bgms[k].m_nValue2, 0) << k;  // audible
    EXPECT_TRUE(plat::FileExists(Database.m_Bgms[k].m_strName)) << Database.m_Bgms[k].m_strName;
  }

  cSystemData system;
  ASSERT_EQ(system.LoadFromFile("data\\System.dat"), 1);
  EXPECT_EQ(system.m_ScreenMusic.At(0), 1u);  // the title tune
  ASSERT_EQ(system.m_SystemSounds.size(), 17u);
  for (size_t k = 0; k < system.m_SystemSounds.size(); ++k)  // each one the game plays, by its role
    EXPECT_TRUE(plat::FileExists(system.m_SystemSounds.At(static_cast<int>(k)))) << k;

  ASSERT_EQ(CommonPalette.LoadFromFile("data\\CommonPalette.cplt4"), 1);
  ASSERT_GE(CommonPalette.m_Characters.size(), 4u);
  EXPECT_FALSE(CommonPalette.m_Characters[2].m_vFlows.empty());

  int stages = 0;
  std::set<int32_t> music;
  for (const auto& entry : std::filesystem::directory_iterator(root_ + "/data/stg4")) {
    const std::string path = "data\\stg4\\" + entry.path().filename().string();
    ++stages;
    EXPECT_EQ(CheckStageFileTrailer(path), 1) << path;
    cStageData stage;
    ASSERT_EQ(stage.LoadFromFile(path), 1) << path;
    EXPECT_NE(stage.FindHeroIndex(), -1) << path;
    const int32_t track = stage.Int(kStageMusic);
    ASSERT_GT(track, 0) << path;
    ASSERT_LT(static_cast<size_t>(track), Database.m_Bgms.size()) << path;
    music.insert(track);
    for (size_t b = 0; b < stage.m_Backgrounds.size(); ++b) {
      const std::string background = stage.m_Backgrounds.At(static_cast<int>(b)).m_strFile;
      EXPECT_TRUE(plat::FileExists(background)) << path << " " << background;
    }
  }
  // The showcase stage, the game's five and its ending's, each with a tune
  // of its own but the showcase, which plays the title's.
  EXPECT_EQ(stages, 7);
  EXPECT_EQ(music.size(), 7u);

  // The showcase stage's palette: its character takes everything from
  // common entry 2, its brick all but the graphic from the common brick.
  cStageData showcase;
  ASSERT_EQ(showcase.LoadFromFile("data\\stg4\\demo.stg4_1"), 1);
  EXPECT_EQ(showcase.m_PaletteCharacters[1].m_strName, CommonPalette.m_Characters[2].m_strName);
  EXPECT_EQ(showcase.m_PaletteCharacters[1].m_vFlows.size(), CommonPalette.m_Characters[2].m_vFlows.size());
  EXPECT_EQ(showcase.m_PaletteBlocks[1].m_strName, CommonPalette.m_Blocks[2].m_strName);
  EXPECT_NE(showcase.m_PaletteBlocks[1].m_nGraphic, CommonPalette.m_Blocks[2].m_nGraphic);
}

// The title's menu: the rows of the menu picture in the demo (system switch
// 11 off; one 32-dot strip a title command), its labels as text in the
// variant made with --text-menu. The picture is made for it, and so is
// every character sheet the game loads (eight).
TEST_F(DemoProjectDataTest, TheTitleMenuIsThePicturesStripsOrInTheVariantText) {
  cSystemData system;
  ASSERT_EQ(system.LoadFromFile("data\\System.dat"), 1);
  EXPECT_EQ(system.Num(kSysTitleTextMenu), 0);
  int width = 0, height = 0;
  ASSERT_TRUE(plat::ReadImageSize("bmp\\GameMode.bmp", width, height));
  EXPECT_EQ(height, 32 * static_cast<int>(system.m_TitleCmds.size()));
  for (int n = 1; n <= 8; ++n)
    EXPECT_TRUE(plat::FileExists("bmp\\Character" + std::to_string(n) + ".bmp")) << n;

  ASSERT_EQ(std::system((std::string(PELMORA_TOOL) + " make-demo text --text-menu > /dev/null").c_str()), 0);
  cSystemData text;
  ASSERT_EQ(text.LoadFromFile("text\\data\\System.dat"), 1);
  EXPECT_EQ(text.Num(kSysTitleTextMenu), 1);
}

// Each creature of the demo's first character sheet keeps to its 32-dot
// cells: in every frame of the hero, the slime, the ghost and the bird the
// top row of the cell is transparent (the top-left colour of the sheet), so
// no frame spills over into the frame below it (a slime that did showed a
// bar over its head).
TEST_F(DemoProjectDataTest, TheDemosCreaturesKeepToTheirCells) {
  plat::DecodedImage sheet;
  std::string error;
  ASSERT_TRUE(plat::LoadImageFile("bmp\\Character1.bmp", sheet, error)) << error;
  ASSERT_EQ(std::pair(sheet.width, sheet.height), std::pair(480, 640));
  const uint32_t key = sheet.argb[0];
  for (int graphic = 1; graphic <= 4; ++graphic)
    for (int frame = 0; frame < 20; ++frame) {
      int spilt = 0;
      for (int x = 0; x < 32; ++x)
        spilt += sheet.argb[static_cast<size_t>(frame * 32) * 480 + static_cast<size_t>(graphic * 32 + x)] != key;
      EXPECT_EQ(spilt, 0) << "graphic " << graphic << ", frame " << frame;
    }
}

// pelmora-tool resave reads a stage after its project's database and common
// palette (found above the stage, or named): every demo stage comes back
// byte for byte. A stage with no project to be found is refused, not written.
TEST_F(DemoProjectDataTest, ResaveOfEveryStageGivesItsBytesBack) {
  const std::string out = root_ + "/resaved.bin";
  auto resave = [&](const std::string& in, const std::string& extra) {
    const std::string command =
        std::string(PELMORA_TOOL) + " resave '" + in + "' '" + out + "'" + extra + " 2> '" + root_ + "/err.txt'";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  int stages = 0;
  for (const auto& entry : std::filesystem::directory_iterator(root_ + "/data/stg4")) {
    if (!entry.is_regular_file()) continue;
    ++stages;
    const std::string path = entry.path().string();
    ASSERT_EQ(resave(path, ""), 0) << path << Slurp(root_ + "/err.txt");
    EXPECT_EQ(Slurp(out), Slurp(path)) << path;
  }
  EXPECT_GE(stages, 2);

  char pattern[] = "/tmp/pelmora-lone-stage-XXXXXX";
  const std::string lone = std::string(mkdtemp(pattern)) + "/c01-1.stg4_001";
  std::filesystem::copy_file(root_ + "/data/stg4/c01-1.stg4_001", lone);
  std::filesystem::remove(out);
  EXPECT_EQ(resave(lone, ""), 1);
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_NE(Slurp(root_ + "/err.txt").find("--project"), std::string::npos);
  ASSERT_EQ(resave(lone, " --project '" + root_ + "'"), 0) << Slurp(root_ + "/err.txt");
  EXPECT_EQ(Slurp(out), Slurp(lone));
  std::filesystem::remove_all(std::filesystem::path(lone).parent_path());
}

}  // namespace
