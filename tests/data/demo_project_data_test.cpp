// The demo project that pelmora-tool make-demo writes, read back through the
// runtime's readers: the ten database files, the common palette, the system
// data's title music, and every stage (trailer, hero, bases resolved).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "data/common_palette.h"
#include "data/database.h"
#include "data/stage_data.h"
#include "data/stage_load.h"
#include "data/system_data.h"
#include "platform/files.h"
#include "platform/text.h"
#include "support/test_files.h"
#include "support/game_data.h"
#include "support/sandbox.h"

namespace {

class DemoProjectDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(std::system((std::string(PELMORA_TOOL) + " make-demo . > /dev/null").c_str()), 0);
  }
  Sandbox sandbox_{"ok;ok"};
  ScopedGameData data_;
  const std::string root_ = sandbox_.Folder().Path();
};

TEST_F(DemoProjectDataTest, EveryFileLoads) {
  ASSERT_EQ(LoadDatabase(), 1);
  ASSERT_EQ(Database.m_Sounds.size(), 10u);
  for (size_t k = 1; k < Database.m_Sounds.size(); ++k)
    EXPECT_TRUE(plat::FileExists(Database.m_Sounds[k].m_strName)) << Database.m_Sounds[k].m_strName;
  ASSERT_EQ(Database.m_Bgms.size(), 2u);
  EXPECT_GT(Database.m_Bgms[1].m_nValue2, 0);  // audible
  EXPECT_TRUE(plat::FileExists(Database.m_Bgms[1].m_strName));

  cSystemData system;
  ASSERT_EQ(system.LoadFromFile("data\\System.dat"), 1);
  EXPECT_EQ(system.m_ScreenMusic.At(0), 1u);  // the title tune

  ASSERT_EQ(CommonPalette.LoadFromFile("data\\CommonPalette.cplt4"), 1);
  ASSERT_GE(CommonPalette.m_Characters.size(), 4u);
  EXPECT_FALSE(CommonPalette.m_Characters[2].m_vFlows.empty());

  int stages = 0;
  for (const auto& entry : std::filesystem::directory_iterator(root_ + "/data/stg4")) {
    const std::string path = "data\\stg4\\" + entry.path().filename().string();
    ++stages;
    EXPECT_EQ(CheckStageFileTrailer(path), 1) << path;
    cStageData stage;
    ASSERT_EQ(stage.LoadFromFile(path), 1) << path;
    const int32_t hero = stage.FindHeroIndex();
    ASSERT_NE(hero, -1) << path;
    EXPECT_EQ(stage.Int(kStageMusic), 1);
    // The stage's palette character takes everything from common entry 2.
    EXPECT_EQ(stage.m_PaletteCharacters[1].m_strName, CommonPalette.m_Characters[2].m_strName);
    EXPECT_EQ(stage.m_PaletteCharacters[1].m_vFlows.size(), CommonPalette.m_Characters[2].m_vFlows.size());
    // Its brick keeps its own graphic and takes the rest.
    EXPECT_EQ(stage.m_PaletteBlocks[1].m_strName, CommonPalette.m_Blocks[2].m_strName);
    EXPECT_NE(stage.m_PaletteBlocks[1].m_nGraphic, CommonPalette.m_Blocks[2].m_nGraphic);
    const std::string background = stage.m_Backgrounds.At(0).m_strFile;
    EXPECT_TRUE(plat::FileExists(background)) << background;
  }
  EXPECT_GE(stages, 2);
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
  const std::string lone = std::string(mkdtemp(pattern)) + "/stage1.stg4_1";
  std::filesystem::copy_file(root_ + "/data/stg4/stage1.stg4_1", lone);
  std::filesystem::remove(out);
  EXPECT_EQ(resave(lone, ""), 1);
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_NE(Slurp(root_ + "/err.txt").find("--project"), std::string::npos);
  ASSERT_EQ(resave(lone, " --project '" + root_ + "'"), 0) << Slurp(root_ + "/err.txt");
  EXPECT_EQ(Slurp(out), Slurp(lone));
  std::filesystem::remove_all(std::filesystem::path(lone).parent_path());
}

}  // namespace
