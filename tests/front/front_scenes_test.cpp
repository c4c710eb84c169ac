// The front end played through the real game on the demo project: keys in,
// scenes, the hero's cell, sounds and the files written out.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "audio/sound.h"
#include "data/stage_data.h"
#include "data/user_records.h"
#include "front/front_scenes.h"
#include "platform/keys.h"
#include "scene/play_record.h"
#include "scene/scene.h"
#include "support/harness.h"

namespace {

constexpr int kDecide = 'Z';
constexpr int kCancel = 'X';

// Holds a key for two frames, then lets it go for two.
void Tap(GameHarness& game, int key, int times = 1) {
  for (int i = 0; i < times; ++i) {
    game.PressKey(key);
    ASSERT_TRUE(game.StepFrames(2));
    game.ReleaseKey(key);
    ASSERT_TRUE(game.StepFrames(2));
  }
}

// Until the menu scene `id` runs its menu (its fade-in done), or a frame
// limit.
bool WaitForScene(GameHarness& game, int32_t id) {
  for (int i = 0; i < 120; ++i) {
    if (SceneManager.m_nCurrent.load() == id && SceneManager.Scene(id)) {
      const auto* menu = dynamic_cast<const cMenuScene*>(SceneManager.Scene(id));
      if (menu && menu->Phase() >= 1) return true;
    }
    if (!game.StepFrames(1)) return false;
  }
  return false;
}

struct StartedGame {
  GameHarness game{[] {
    GameHarness::Options options;
    options.dialogAnswers = "ok;ok;ok";  // the start dialog, then any message
    return options;
  }()};
};

TEST(FrontScenesTest, NewGameWalksTheMapAndStartsTheFirstWorldsStage) {
  StartedGame started;
  GameHarness& game = started.game;
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(WaitForScene(game, kSceneTitle));
  Tap(game, kDecide);  // new game
  Tap(game, kDecide);  // the first slot, empty
  ASSERT_TRUE(WaitForScene(game, kSceneWorldMap));

  // The demo map: start (3, 7) on a road; water round the edge, mountains
  // on row 5; the first world at (5, 7).
  struct Step {
    int key;
    int32_t column, row, facing;
  };
  const Step steps[] = {
      {plat::VK_UP, 3, 6, 1},    {plat::VK_UP, 3, 6, 1},    // mountains
      {plat::VK_LEFT, 2, 6, 2},  {plat::VK_LEFT, 1, 6, 2},  {plat::VK_LEFT, 1, 6, 2},  // water
      {plat::VK_DOWN, 1, 7, 0},  {plat::VK_RIGHT, 2, 7, 3}, {plat::VK_RIGHT, 3, 7, 3}, {plat::VK_RIGHT, 4, 7, 3},
  };
  for (const Step& step : steps) {
    Tap(game, step.key);
    int32_t column = -1, row = -1, facing = -1;
    ASSERT_TRUE(WorldMapHeroPosition(column, row, facing));
    EXPECT_EQ(column, step.column);
    EXPECT_EQ(row, step.row);
    EXPECT_EQ(facing, step.facing);
  }
  // Onto the unopened world: its box opens at once, on "no".
  Tap(game, plat::VK_RIGHT);
  const auto* map = dynamic_cast<const cMenuScene*>(SceneManager.Scene(kSceneWorldMap));
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map->Phase(), 2);
  Tap(game, plat::VK_UP);
  Tap(game, kDecide);
  ASSERT_TRUE(game.StepFrames(20));
  EXPECT_EQ(SceneManager.m_nCurrent.load(), kSceneStage);
  EXPECT_EQ(SaveData.m_nWorld, 1);
  EXPECT_EQ(SaveData.nCurrentSlot, 0);
  EXPECT_EQ(game.Close(), 0);
}

TEST(FrontScenesTest, TheWorldMapMenuSavesToTheChosenSlotAndGoesBackToTheMap) {
  StartedGame started;
  GameHarness& game = started.game;
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(WaitForScene(game, kSceneTitle));
  Tap(game, kDecide);
  Tap(game, kDecide);  // new game in the first slot
  ASSERT_TRUE(WaitForScene(game, kSceneWorldMap));
  Tap(game, plat::VK_UP);  // off the start cell, so the save holds a move
  Tap(game, kCancel);
  ASSERT_TRUE(WaitForScene(game, kSceneWorldMapMenu));
  Tap(game, kDecide);        // save
  Tap(game, plat::VK_DOWN);  // the second slot
  Tap(game, kDecide);
  Tap(game, plat::VK_UP);  // "save" in the confirm box
  Tap(game, kDecide);
  EXPECT_EQ(SaveData.nCurrentSlot, 1);
  cSaveData saved;
  ASSERT_TRUE(saved.LoadFromFile(game.PathOf("user_data/story/Story02.dat")));
  EXPECT_EQ(saved.m_nMapY, 6);
  EXPECT_EQ(saved.nCurrentSlot, 1);
  EXPECT_FALSE(std::filesystem::exists(game.PathOf("user_data/story/Story01.dat")));
  Tap(game, kCancel);  // out of the slot list
  Tap(game, kCancel);  // the menu's cancel: back to the map
  ASSERT_TRUE(WaitForScene(game, kSceneWorldMap));
  int32_t column = -1, row = -1, facing = -1;
  ASSERT_TRUE(WorldMapHeroPosition(column, row, facing));
  EXPECT_EQ(row, 6);
  EXPECT_EQ(game.Close(), 0);
}

TEST(FrontScenesTest, ChallengeStartsTheChosenWorldsFirstStage) {
  StartedGame started;
  GameHarness& game = started.game;
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(WaitForScene(game, kSceneTitle));
  Tap(game, plat::VK_DOWN, 2);  // challenge
  Tap(game, kDecide);
  ASSERT_TRUE(WaitForScene(game, kSceneWorldSelect));
  Tap(game, plat::VK_DOWN);  // the second world
  Tap(game, kDecide);
  ASSERT_TRUE(game.StepFrames(20));
  EXPECT_EQ(SceneManager.m_nCurrent.load(), kSceneStage);
  EXPECT_EQ(SceneManager.m_nPlayMode, kPlayChallenge);
  EXPECT_EQ(StageData.m_strLoadedPath, "data\\stg4\\c02-1.stg4_001");
  EXPECT_EQ(SaveData.m_nWorld, 2);
  EXPECT_EQ(SaveData.m_nStage, 1);
  EXPECT_EQ(game.Close(), 0);
}

TEST(FrontScenesTest, OptionsChangedAndLeftAreSaved) {
  StartedGame started;
  GameHarness& game = started.game;
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(WaitForScene(game, kSceneTitle));
  Tap(game, plat::VK_UP, 2);  // from new game round to the options
  Tap(game, kDecide);
  ASSERT_TRUE(WaitForScene(game, kSceneOptions));
  Tap(game, plat::VK_DOWN, 2);  // the volume
  Tap(game, kDecide);
  Tap(game, plat::VK_UP);  // 7 -> 8, taken
  Tap(game, kDecide);
  Tap(game, plat::VK_UP, 2);  // the palette row
  Tap(game, kDecide);
  Tap(game, plat::VK_DOWN);  // 0 -> 23, then cancelled
  Tap(game, kCancel);
  Tap(game, kCancel);  // leave: the options are written
  ASSERT_TRUE(WaitForScene(game, kSceneTitle));
  cOptionData saved;
  ASSERT_TRUE(saved.LoadFromFile(game.PathOf("user_data/Option.dat")));
  EXPECT_EQ(saved.m_nSoundVolume, 8);
  EXPECT_EQ(saved.m_nPalette, 0);
  // The sound effects play at the volume taken.
  ASSERT_FALSE(g_SoundList.empty());
  EXPECT_EQ(g_SoundList.At(0).GetVolume(0), -80);
  EXPECT_EQ(game.Close(), 0);
}

TEST(FrontScenesTest, ContinueFromADamagedSlotIsRefusedWithAMessage) {
  StartedGame started;
  GameHarness& game = started.game;
  std::filesystem::create_directories(game.PathOf("user_data/story"));
  std::ofstream(game.PathOf("user_data/story/Story01.dat"), std::ios::binary) << "broken";
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(WaitForScene(game, kSceneTitle));
  Tap(game, plat::VK_DOWN);  // continue
  Tap(game, kDecide);
  Tap(game, kDecide);  // the damaged first slot
  ASSERT_TRUE(game.StepFrames(20));
  EXPECT_EQ(SceneManager.m_nCurrent.load(), kSceneTitle);
  const auto* title = dynamic_cast<const cMenuScene*>(SceneManager.Scene(kSceneTitle));
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->Phase(), 3);  // still on the slot list
  EXPECT_NE(game.DialogLog().find("セーブデータを読み込めません"), std::string::npos) << game.DialogLog();
  EXPECT_EQ(game.ReadFile("user_data/story/Story01.dat"), "broken");
  EXPECT_EQ(game.Close(), 0);
}

}  // namespace
