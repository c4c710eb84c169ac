// The front end played through the real game on the demo project: keys in,
// scenes, the hero's cell, sounds and the files written out.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "audio/sound.h"
#include "base/text_path.h"
#include "data/rankings.h"
#include "data/stage_data.h"
#include "data/system_data.h"
#include "data/user_records.h"
#include "data/world_map.h"
#include "front/front_scenes.h"
#include "front/world_map_model.h"
#include "gfx/dd.h"
#include "platform/keys.h"
#include "play/world/stage_scene.h"
#include "scene/menu_cursor.h"
#include "scene/play_record.h"
#include "scene/scene.h"
#include "support/bmp_writer.h"
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

// Whether the menu scene `id` runs its menu (its fade-in done) now.
bool WaitForSceneNow(int32_t id) {
  if (SceneManager.m_nCurrent.load() != id) return false;
  const auto* menu = dynamic_cast<const cMenuScene*>(SceneManager.Scene(id));
  return menu && menu->Phase() >= 1;
}

// From the title's menu: a new game in the first save slot, on the map.
void NewGameOnTheMap(GameHarness& game) {
  Tap(game, kDecide);
  Tap(game, kDecide);  // the first slot, empty
  ASSERT_TRUE(WaitForScene(game, kSceneWorldMap));
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

// Keys held through frames of play counted from the stage's first frame of
// play (0): `first`..`last`.
struct RouteKey {
  int key;
  int first, last;
};

// The first stage to its goal: two warps, the goal's message, the result
// screen; F3 registers (the name is typed), decide closes the ranking, then
// the result screen.
const std::vector<RouteKey> kToTheGoalAndTheRanking = {
    {plat::VK_RIGHT, 40, 90}, {'V', 100, 101}, {'V', 140, 141}, {plat::VK_RIGHT, 150, 190},
    {kDecide, 180, 181},      {plat::VK_F3, 265, 266}, {kDecide, 290, 291}, {kDecide, 320, 321}};

// Steps until the stage plays, then `frames` more frames with the route's
// keys.
void PlayRoute(GameHarness& game, const std::vector<RouteKey>& route, int frames) {
  for (int i = 0; i < 600; ++i) {
    const auto* stage = dynamic_cast<const cStageScene*>(SceneManager.Scene(kSceneStage));
    if (SceneManager.m_nCurrent.load() == kSceneStage && stage && stage->m_nMode == kStageModePlay) break;
    ASSERT_TRUE(game.StepFrames(1));
  }
  for (int frame = 1; frame <= frames; ++frame) {
    for (const RouteKey& r : route) {
      if (frame == r.first) game.PressKey(r.key);
      if (frame == r.last + 1) game.ReleaseKey(r.key);
    }
    ASSERT_TRUE(game.StepFrames(1));
  }
}

// The world of the node at (column, row) as the play record lets it show.
const cMapWorld* WorldAt(int32_t column, int32_t row) {
  return SelectMapWorld(WorldMapModel.FindNodeAt(column, row), SaveData);
}

// A new story game clears the first world (its first stage the demo's play
// stage, its second taken away, so that the world is that one stage) and
// registers its result in the ranking with F3 and a typed name; back on the
// map the slot is saved by itself. To the title and continued from the
// slot, the hero stands where he stood, the second world is open and the
// world's ranking is read back from "user_data\story\", under the stage's
// base name.
TEST(FrontScenesTest, AStoryClearIsAutoSavedRankedAndContinuedFromItsSlot) {
  GameHarness::Options options;
  options.dialogAnswers = "ok;text:abc";  // the start dialog, the ranking name
  GameHarness game(options);
  std::filesystem::copy_file(game.PathOf("data/stg4/demo.stg4_1"), game.PathOf("data/stg4/c01-1.stg4_001"),
                             std::filesystem::copy_options::overwrite_existing);
  std::filesystem::remove(game.PathOf("data/stg4/c01-2.stg4_001"));
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(WaitForScene(game, kSceneTitle));
  Tap(game, kDecide);  // new game
  Tap(game, kDecide);  // the first slot
  ASSERT_TRUE(WaitForScene(game, kSceneWorldMap));
  // The second world's node holds its stage world once the first world's
  // flag is set; until then what stands there is no stage.
  const cMapWorld* second = WorldAt(9, 7);
  EXPECT_TRUE(second == nullptr || second->nKind != kWorldKindStage);
  Tap(game, plat::VK_RIGHT, 2);  // onto the first world: its box opens
  Tap(game, plat::VK_UP);
  Tap(game, kDecide);
  PlayRoute(game, kToTheGoalAndTheRanking, 330);
  ASSERT_TRUE(WaitForScene(game, kSceneWorldMap));
  EXPECT_NE(game.DialogLog().find("result 1 (text:abc)"), std::string::npos) << game.DialogLog();

  // What the clear left on disk: the slot, auto-saved, and the ranking.
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(game.PathOf("user_data/story")))
    files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"Story01.dat", "c01.rkg"}));
  cSaveData saved;
  ASSERT_TRUE(saved.LoadFromFile(game.PathOf("user_data/story/Story01.dat")));
  EXPECT_EQ(saved.m_nMapX, 5);
  EXPECT_EQ(saved.m_nMapY, 7);
  EXPECT_EQ(saved.nCurrentSlot, 0);
  EXPECT_TRUE(saved.IsWorldCleared(1));

  Tap(game, kCancel);  // the world-map menu
  ASSERT_TRUE(WaitForScene(game, kSceneWorldMapMenu));
  Tap(game, plat::VK_DOWN, 3);  // to the title
  Tap(game, kDecide);
  Tap(game, plat::VK_UP);  // "to the title" in its box
  Tap(game, kDecide);
  ASSERT_TRUE(WaitForScene(game, kSceneTitle));
  SaveData.Reset();  // nothing of the game in memory is carried over
  RankingFile.Reset();
  Tap(game, plat::VK_DOWN);  // continue
  Tap(game, kDecide);
  Tap(game, kDecide);  // the first slot
  ASSERT_TRUE(WaitForScene(game, kSceneWorldMap));
  int32_t column = -1, row = -1, facing = -1;
  ASSERT_TRUE(WorldMapHeroPosition(column, row, facing));
  EXPECT_EQ(column, 5);
  EXPECT_EQ(row, 7);
  second = WorldAt(9, 7);
  ASSERT_NE(second, nullptr) << "the second world is open";
  EXPECT_EQ(second->nKind, kWorldKindStage);
  EXPECT_EQ(second->nNumber, 2);
  EXPECT_EQ(RankingFile.m_nLastLoad, RankingLoad::kLoaded);
  const cRankingEntry& best = RankingFile.List(kRankingGenreScore).m_Entries.at(0);
  EXPECT_EQ(best.m_bUsed, 1);
  EXPECT_EQ(best.m_strName, "abc");
  EXPECT_EQ(game.Close(), 0);
}

// The same clear where nothing can be written under "user_data" (a file
// stands in its place; this stops root too): the boxes the player sees are
// as they are for any failed save, and the report log names each file that
// could not be written and why, once each: the start dialog's choice, the
// ranking, the auto-save, the window's place at the close.
TEST(FrontScenesTest, AClearWhoseFilesCannotBeWrittenNamesEachInTheLog) {
  GameHarness::Options options;
  options.dialogAnswers = "ok;text:abc;ok;ok;ok;ok";  // the start dialog, the ranking name, any box
  options.iniLines = "WindowMode=1\n";
  GameHarness game(options);
  std::filesystem::copy_file(game.PathOf("data/stg4/demo.stg4_1"), game.PathOf("data/stg4/c01-1.stg4_001"),
                             std::filesystem::copy_options::overwrite_existing);
  std::filesystem::remove(game.PathOf("data/stg4/c01-2.stg4_001"));
  std::filesystem::remove_all(game.PathOf("user_data"));
  std::ofstream(game.PathOf("user_data")) << "a file";
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(WaitForScene(game, kSceneTitle));
  Tap(game, kDecide);  // new game
  Tap(game, kDecide);  // the first slot
  ASSERT_TRUE(WaitForScene(game, kSceneWorldMap));
  Tap(game, plat::VK_RIGHT, 2);  // onto the first world: its box opens
  Tap(game, plat::VK_UP);
  Tap(game, kDecide);
  PlayRoute(game, kToTheGoalAndTheRanking, 330);
  ASSERT_TRUE(WaitForScene(game, kSceneWorldMap));
  EXPECT_EQ(game.Close(), 0);
  const std::string report = game.ReadFile("Report_Game.txt");
  for (const char* file : {"Boot.dat", "story\\c01.rkg", "story\\Story01.dat", "Window.dat"}) {
    const std::string line = std::string("\nuser_data\\") + file + " cannot be written (Not a directory)\n";
    const size_t at = report.find(line);
    EXPECT_NE(at, std::string::npos) << line << report;
    EXPECT_EQ(report.find(line, at + 1), std::string::npos) << "twice: " << line;
  }
  const std::string boxes = game.DialogLog();
  EXPECT_NE(boxes.find("ランキング\tランキングを保存できませんでした。\tok"), std::string::npos) << boxes;
  EXPECT_NE(boxes.find("エラー\tオートセーブに失敗しました！\tok"), std::string::npos) << boxes;
  EXPECT_EQ(game.ReadFile("user_data"), "a file");
}

// A damaged stage file chosen for free play: the loader's message, and the
// title's menu stays; the game goes on.
TEST(FrontScenesTest, ADamagedStageChosenForFreePlayLeavesTheGameOnItsTitle) {
  GameHarness::Options options;
  options.dialogAnswers = "ok;file:bad.stg4_1;ok";  // the start dialog, the file, the message
  GameHarness game(options);
  std::ofstream(game.PathOf("data/stg4/bad.stg4_1"), std::ios::binary) << std::string(64, '\x07');
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(WaitForScene(game, kSceneTitle));
  Tap(game, plat::VK_DOWN, 3);  // free play
  Tap(game, kDecide);
  ASSERT_TRUE(game.StepFrames(120));
  EXPECT_EQ(SceneManager.m_nCurrent.load(), kSceneTitle);
  const auto* title = dynamic_cast<const cMenuScene*>(SceneManager.Scene(kSceneTitle));
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->Phase(), 1);
  EXPECT_NE(game.DialogLog().find("bad.stg4_1"), std::string::npos) << game.DialogLog();
  Tap(game, plat::VK_DOWN);  // the menu still answers
  EXPECT_EQ(SceneManager.m_nCurrent.load(), kSceneTitle);
  EXPECT_EQ(game.Close(), 0);
}

// The game's system data with number n set to `value`.
void SetSystemNumber(GameHarness& game, int n, int32_t value) {
  cSystemData system;
  ASSERT_TRUE(system.LoadFromFile(game.PathOf("data/System.dat")));
  system.m_n[n] = value;
  ASSERT_TRUE(system.SaveToFile(game.PathOf("data/System.dat")));
}

// Switch 11 off: the title's menu is the menu picture's strips, one 32-dot
// strip a command, in the rows of the enabled commands, right of the
// cursor's column; its left is 288 - the picture's width / 2.
TEST(FrontScenesTest, TheTitleMenuIsThePicturesStripsWhenSwitch11IsOff) {
  StartedGame started;
  GameHarness& game = started.game;
  SetSystemNumber(game, 11, 0);
  // Seven strips of 128 x 32, each one colour.
  const uint32_t colours[7] = {0x102030, 0x405060, 0x708090, 0xA0B0C0, 0x203040, 0x506070, 0x8090A0};
  testbmp::Spec spec;
  spec.width = 128;
  spec.height = 7 * 32;
  std::vector<uint32_t> pixels;
  for (int y = 0; y < spec.height; ++y)
    for (int x = 0; x < spec.width; ++x) pixels.push_back(colours[y / 32]);
  const std::vector<uint8_t> file = testbmp::Build(spec, testbmp::PackRows(spec, pixels));
  std::ofstream(game.PathOf("bmp/GameMode.bmp"), std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(WaitForScene(game, kSceneTitle));
  ASSERT_TRUE(game.StepFrames(2));
  plat::Frame frame;
  ASSERT_TRUE(game.LastFrame(frame));
  const int left = 288 - 128 / 2 + 32;
  for (int row = 0; row < 7; ++row)
    for (int x : {left, left + 127}) {
      const uint32_t pixel = frame.pixels[static_cast<size_t>(240 + row * 32 + 16) * frame.width + x] & 0xFFFFFF;
      EXPECT_EQ(pixel, colours[row]) << "row " << row << " x " << x;
    }
  // The cursor's column stays the title picture's.
  EXPECT_NE(frame.pixels[static_cast<size_t>(240 + 32 * 3 + 16) * frame.width + left - 8] & 0xFFFFFF, colours[3]);
  EXPECT_EQ(game.Close(), 0);
}

// A slot whose best results name a stage the map no longer has: on the map
// the total points count only the stages of its worlds.
TEST(FrontScenesTest, TotalPointsCountOnlyTheStagesOfWorldsOnTheMap) {
  StartedGame started;
  GameHarness& game = started.game;
  cSaveData slot;
  slot.m_nMapX = 3;
  slot.m_nMapY = 7;
  slot.nCurrentSlot = 0;
  slot.RecordStageResult("data\\stg4\\c01.", "data\\stg4\\c01.", slot.m_nStageNumber, 100);
  slot.RecordStageResult("data\\stg4\\gone.", "data\\stg4\\gone.", slot.m_nStageNumber, 50);
  ASSERT_EQ(slot.m_nTotalPoints, 150);
  std::filesystem::create_directories(game.PathOf("user_data/story"));
  ASSERT_TRUE(slot.SaveToFile(game.PathOf("user_data/story/Story01.dat")));
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(WaitForScene(game, kSceneTitle));
  Tap(game, plat::VK_DOWN);  // continue
  Tap(game, kDecide);
  Tap(game, kDecide);
  ASSERT_TRUE(WaitForScene(game, kSceneWorldMap));
  EXPECT_EQ(SaveData.m_nTotalPoints, 100);
  EXPECT_EQ(game.Close(), 0);
}

// A map background picture wider than the screen scrolls with the view:
// with the hero at column 15 of a 20-column map the view starts at column
// 6, and where the view is past the map's last column the picture shows
// its own columns from 6 x 32 dots on.
TEST(FrontScenesTest, AWideMapBackgroundScrollsWithTheView) {
  StartedGame started;
  GameHarness& game = started.game;
  cWorldMap map;
  ASSERT_TRUE(map.LoadFromFile(game.PathOf("data/WorldMap.dat")));
  ASSERT_EQ(map.Width(), 20);
  map.StartX() = 15;
  map.StartY() = 7;
  map.BackgroundPicture() = 1;
  map.m_strText = "bmp\\Wide.bmp";
  ASSERT_TRUE(map.SaveToFile(game.PathOf("data/WorldMap.dat")));
  // 40 bands of 32 columns, each its own colour.
  auto band = [](int n) { return static_cast<uint32_t>(0x204000 + n * 0x000503); };
  testbmp::Spec spec;
  spec.width = 1280;
  spec.height = 480;
  std::vector<uint32_t> pixels;
  for (int y = 0; y < spec.height; ++y)
    for (int x = 0; x < spec.width; ++x) pixels.push_back(band(x / 32));
  const std::vector<uint8_t> file = testbmp::Build(spec, testbmp::PackRows(spec, pixels));
  std::ofstream(game.PathOf("bmp/Wide.bmp"), std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(WaitForScene(game, kSceneTitle));
  Tap(game, kDecide);  // new game
  Tap(game, kDecide);
  ASSERT_TRUE(WaitForScene(game, kSceneWorldMap));
  ASSERT_TRUE(game.StepFrames(2));
  plat::Frame frame;
  ASSERT_TRUE(game.LastFrame(frame));
  for (int x : {448, 500, 639}) {
    const uint32_t pixel = frame.pixels[static_cast<size_t>(100) * frame.width + x] & 0xFFFFFF;
    EXPECT_EQ(pixel, band((x + 6 * 32) / 32)) << "x " << x;
  }
  EXPECT_EQ(game.Close(), 0);
}

// The game's box picture ("bmp\Window.bmp", 640 x 480) as a pattern whose
// every pixel tells where in the picture it was taken from (never the
// transparent colour).
uint32_t BoxPattern(int x, int y) { return 0x310000u | static_cast<uint32_t>(x & 0xFF) << 8 | (y & 0xFF); }

void WriteBoxPicture(GameHarness& game, uint32_t (*colour)(int, int)) {
  testbmp::Spec spec;
  spec.width = 640;
  spec.height = 480;
  std::vector<uint32_t> pixels;
  for (int y = 0; y < spec.height; ++y)
    for (int x = 0; x < spec.width; ++x) pixels.push_back(colour(x, y));
  const std::vector<uint8_t> file = testbmp::Build(spec, testbmp::PackRows(spec, pixels));
  std::ofstream(game.PathOf("bmp/Window.bmp"), std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
}

uint32_t PixelAt(const plat::Frame& frame, int x, int y) {
  return frame.pixels[static_cast<size_t>(y) * frame.width + x] & 0xFFFFFF;
}

uint32_t PaletteColour(int n) {
  const auto& entry = DDState.DDPalette[n];
  return static_cast<uint32_t>(entry.peRed) << 16 | static_cast<uint32_t>(entry.peGreen) << 8 | entry.peBlue;
}

// Each menu screen draws its panel or menu as a frame box: the box picture,
// from its top-left corner, inside a one-dot frame of palette 240 lying just
// outside it. Points are taken where no text or cursor is drawn.
TEST(FrontScenesTest, EveryMenuDrawsItsFrameBoxWithTheBoxPicture) {
  struct Point {
    int dx, dy;  // inside the box, from its top-left corner
  };
  struct Row {
    const char* what;
    int32_t scene;
    std::function<void(GameHarness&)> reach;
    // The box on the screen, from the system data once the game runs.
    std::function<plat::Rect()> box;
    std::vector<Point> inside;
  };
  auto widest = [](const cSafeVector<cCmd>& commands) {
    int w = 0;
    for (int32_t command : EnabledCommands(commands))
      w = std::max(w, CountCharacters(commands.At(command).m_strLabel.c_str()));
    return w;
  };
  auto rows = [](const cSafeVector<cCmd>& commands) { return static_cast<int>(EnabledCommands(commands).size()); };
  const plat::Rect panel{1, 1, 639, 479};
  const Row table[] = {
      {"options", kSceneOptions, [](GameHarness& g) { Tap(g, plat::VK_UP, 2); Tap(g, kDecide); },
       [&] { return panel; }, {{619, 459}, {20, 459}, {619, 10}}},
      {"world select", kSceneWorldSelect, [](GameHarness& g) { Tap(g, plat::VK_DOWN, 2); Tap(g, kDecide); },
       [&] { return panel; }, {{619, 459}, {20, 459}, {619, 10}}},
      {"world-map menu", kSceneWorldMapMenu,
       [](GameHarness& g) {
         NewGameOnTheMap(g);
         Tap(g, kCancel);
       },
       [&] {
         const cSafeVector<cCmd>& c = SystemData.m_WorldMapCmds;
         return plat::Rect{264, 192, 264 + (widest(c) + 1) * 16, 192 + rows(c) * 16};
       },
       {{4, -8}, {12, -3}}},  // the cursor's column, below its row (dy < 0: from the bottom)
      {"the title's text menu", kSceneTitle, [](GameHarness&) {},
       [&] {
         const cSafeVector<cCmd>& c = SystemData.m_TitleCmds;
         return plat::Rect{193, 241, 193 + widest(c) * 32 + 32, 241 + rows(c) * 32};
       },
       {{8, -8}, {24, -20}}},
  };
  for (const Row& row : table) {
    SCOPED_TRACE(row.what);
    StartedGame started;
    GameHarness& game = started.game;
    SetSystemNumber(game, 11, 1);  // the title's menu as text
    WriteBoxPicture(game, BoxPattern);
    ASSERT_TRUE(game.Start());
    ASSERT_TRUE(WaitForScene(game, kSceneTitle));
    row.reach(game);
    ASSERT_TRUE(WaitForScene(game, row.scene));
    ASSERT_TRUE(game.StepFrames(2));
    plat::Frame frame;
    ASSERT_TRUE(game.LastFrame(frame));
    const plat::Rect box = row.box();
    ASSERT_GT(box.Height(), 16);
    for (const Point& p : row.inside) {
      const int dy = p.dy >= 0 ? p.dy : box.Height() + p.dy;
      EXPECT_EQ(PixelAt(frame, box.left + p.dx, box.top + dy), BoxPattern(p.dx, dy)) << p.dx << "," << dy;
    }
    // The frame: just outside the box on all four sides.
    const uint32_t frameColour = PaletteColour(240);
    const int midX = (box.left + box.right) / 2, midY = (box.top + box.bottom) / 2;
    EXPECT_EQ(PixelAt(frame, box.left - 1, midY), frameColour);
    EXPECT_EQ(PixelAt(frame, box.right, midY), frameColour);
    EXPECT_EQ(PixelAt(frame, midX, box.top - 1), frameColour);
    EXPECT_EQ(PixelAt(frame, midX, box.bottom), frameColour);
    EXPECT_EQ(game.Close(), 0);
  }
}

// On the world map the chosen world's name stands in a box above the hero;
// with its best points shown, the name moves up and the points box takes
// its place, below the name and clear of the hero (32 x 32 at (288, 224)).
// Each box is its line and the frame margin above and below it.
TEST(FrontScenesTest, TheBestPointsBoxStandsBelowTheNameAndClearOfTheHero) {
  constexpr uint32_t kBox = 0x31A2B3;
  for (bool pointsShown : {true, false}) {
    SCOPED_TRACE(pointsShown ? "best points shown" : "no best points shown");
    StartedGame started;
    GameHarness& game = started.game;
    SetSystemNumber(game, 18, pointsShown ? 1 : 0);
    WriteBoxPicture(game, [](int, int) { return kBox; });
    // A slot standing on the first world, cleared with 330 points.
    cSaveData slot;
    slot.m_nMapX = 5;
    slot.m_nMapY = 7;
    slot.nCurrentSlot = 0;
    slot.SetProgressFlag(1, 1);
    slot.RecordStageResult("data\\stg4\\c01.", "data\\stg4\\c01.", slot.m_nStageNumber, 330);
    std::filesystem::create_directories(game.PathOf("user_data/story"));
    ASSERT_TRUE(slot.SaveToFile(game.PathOf("user_data/story/Story01.dat")));
    ASSERT_TRUE(game.Start());
    ASSERT_TRUE(WaitForScene(game, kSceneTitle));
    Tap(game, plat::VK_DOWN);  // continue
    Tap(game, kDecide);
    Tap(game, kDecide);
    ASSERT_TRUE(WaitForScene(game, kSceneWorldMap));
    ASSERT_TRUE(game.StepFrames(2));
    plat::Frame frame;
    ASSERT_TRUE(game.LastFrame(frame));
    // Rows of the screen where the box picture shows around x 304.
    auto boxOnRow = [&](int y) {
      for (int x = 200; x < 410; ++x)
        if (PixelAt(frame, x, y) == kBox) return true;
      return false;
    };
    for (int y : {152, 183}) EXPECT_EQ(boxOnRow(y), pointsShown) << "the name's box above, row " << y;
    for (int y = 184; y < 188; ++y) EXPECT_FALSE(boxOnRow(y)) << "between the boxes, row " << y;
    for (int y : {188, 219}) EXPECT_TRUE(boxOnRow(y)) << "the box above the hero, row " << y;
    for (int y = 220; y < 256; ++y) EXPECT_FALSE(boxOnRow(y)) << "row " << y;
    EXPECT_EQ(game.Close(), 0);
  }
}

// A refused box sends the hero back from a world not yet open, and its
// cursor level then holds the map's cursor there: the hero's cell and his
// fixed place on the screen.
TEST(FrontScenesTest, RefusingAnUnopenedWorldSendsTheHeroBackWithTheMapsCursor) {
  StartedGame started;
  GameHarness& game = started.game;
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(WaitForScene(game, kSceneTitle));
  NewGameOnTheMap(game);  // the start (3, 7)
  Tap(game, plat::VK_RIGHT);  // (4, 7)
  const int depth = MenuCursor.Depth();
  Tap(game, plat::VK_RIGHT);  // onto the first world: its box, on "no"
  const auto* map = dynamic_cast<const cMenuScene*>(SceneManager.Scene(kSceneWorldMap));
  ASSERT_NE(map, nullptr);
  ASSERT_EQ(map->Phase(), 2);
  EXPECT_EQ(MenuCursor.Depth(), depth + 1);
  Tap(game, kDecide);  // "no"
  EXPECT_EQ(map->Phase(), 1);
  int32_t column = -1, row = -1, facing = -1;
  ASSERT_TRUE(WorldMapHeroPosition(column, row, facing));
  EXPECT_EQ(std::pair(column, row), std::pair(4, 7));
  const MenuCursorRecord& cursor = MenuCursor.Current();
  EXPECT_EQ(std::vector<int32_t>({cursor.m_nColumn, cursor.m_nRow, cursor.m_nX, cursor.m_nY}),
            std::vector<int32_t>({4, 7, 288, 224}));
  EXPECT_EQ(game.Close(), 0);
}

// The play record's mark of a play that the world select started: set by
// choosing a world there, cleared by a new story game (and kept in the
// challenge progress the stage writes).
TEST(FrontScenesTest, TheWorldSelectMarksThePlayRecordAndANewGameClearsTheMark) {
  StartedGame started;
  GameHarness& game = started.game;
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(WaitForScene(game, kSceneTitle));
  SaveData.m_nValue4 = 7;
  NewGameOnTheMap(game);
  EXPECT_EQ(SaveData.m_nValue4, 0);
  Tap(game, kCancel);
  ASSERT_TRUE(WaitForScene(game, kSceneWorldMapMenu));
  Tap(game, plat::VK_DOWN, 3);  // to the title
  Tap(game, kDecide);
  Tap(game, plat::VK_UP);
  Tap(game, kDecide);
  ASSERT_TRUE(WaitForScene(game, kSceneTitle));
  Tap(game, plat::VK_DOWN, 2);  // challenge
  Tap(game, kDecide);
  ASSERT_TRUE(WaitForScene(game, kSceneWorldSelect));
  EXPECT_EQ(SaveData.m_nValue4, 0);
  Tap(game, kDecide);  // the first world
  ASSERT_TRUE(game.StepFrames(20));
  EXPECT_EQ(SceneManager.m_nCurrent.load(), kSceneStage);
  EXPECT_EQ(SaveData.m_nValue4, 1);
  EXPECT_EQ(game.Close(), 0);
}

// The average brightness of a frame (0 for black).
double Brightness(const plat::Frame& frame) {
  double sum = 0;
  for (uint32_t p : frame.pixels) sum += ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF);
  return sum / static_cast<double>(frame.pixels.size());
}

// In full-screen DirectDraw at 8 bits a menu leaves through the palette too:
// the title's fade-out falls frame by frame to black, and the options that
// come next rise from black to their picture (the title's and a stage's
// fade-in are the screen fade tests').
TEST(FrontScenesTest, AMenuFadesOutAndTheNextFadesInThroughThePaletteAtEightBits) {
  GameHarness::Options options;
  options.iniLines = "Direct3D=0\nWindowMode=0\nBpp=8\nShowFps=0\n";
  GameHarness game(options);
  ASSERT_TRUE(game.Start());
  ASSERT_EQ(DDState.nBpp, 8);
  ASSERT_TRUE(WaitForScene(game, kSceneTitle));
  Tap(game, plat::VK_UP, 2);  // the options
  plat::Frame frame;
  ASSERT_TRUE(game.LastFrame(frame));
  std::vector<double> levels{Brightness(frame)};
  game.PressKey(kDecide);
  for (int i = 0; i < 60 && !WaitForSceneNow(kSceneOptions); ++i) {
    ASSERT_TRUE(game.StepFrames(1));
    ASSERT_TRUE(game.LastFrame(frame));
    levels.push_back(Brightness(frame));
  }
  game.ReleaseKey(kDecide);
  ASSERT_TRUE(WaitForSceneNow(kSceneOptions));
  // Down to black, then up from it.
  const size_t dark = static_cast<size_t>(std::min_element(levels.begin(), levels.end()) - levels.begin());
  EXPECT_EQ(levels[dark], 0.0) << ::testing::PrintToString(levels);
  int falls = 0, rises = 0;
  for (size_t i = 1; i < levels.size(); ++i) {
    if (i <= dark) {
      EXPECT_LE(levels[i], levels[i - 1]) << "fading out, frame " << i << " of " << ::testing::PrintToString(levels);
      falls += levels[i] < levels[i - 1];
    } else {
      EXPECT_GE(levels[i], levels[i - 1]) << "fading in, frame " << i << " of " << ::testing::PrintToString(levels);
      rises += levels[i] > levels[i - 1];
    }
  }
  EXPECT_GE(falls, 5);
  EXPECT_GE(rises, 5);
  EXPECT_GT(levels.back(), 0.0);
  EXPECT_EQ(game.Close(), 0);
}

// The game's system data with title command n enabled when bit n of
// `enabled` is set, and the save-slot choice of a new game off (a new game
// goes straight to the world map).
void SetTitleCommands(GameHarness& game, uint32_t enabled) {
  cSystemData system;
  ASSERT_TRUE(system.LoadFromFile(game.PathOf("data/System.dat")));
  ASSERT_EQ(system.m_TitleCmds.size(), 7u);
  for (size_t n = 0; n < 7; ++n) system.m_TitleCmds.At(n).m_bEnabled = (enabled >> n) & 1;
  system.SetNum(kSysNewGameSlotChoice, 0);
  ASSERT_TRUE(system.SaveToFile(game.PathOf("data/System.dat")));
}

// The title's rows are its enabled commands in order (one row of "new game"
// when none is); the cursor starts on the row of the last command chosen,
// or on the first row when that command has no row. Decide runs the row's
// command: a new game goes to the world map, the options to theirs.
TEST(FrontScenesTest, TheTitlesCursorStartsOnTheLastCommandChosenOrTheFirstRow) {
  const struct {
    const char* what;
    uint32_t enabled;
    int32_t lastAction;
    int downs;        // cursor moves down before deciding
    int32_t row;      // where the cursor starts
    int32_t command;  // what decide runs
    int32_t scene;
  } cases[] = {
      {"none enabled, last quit", 0, kTitleQuit, 0, 0, kTitleNewGame, kSceneWorldMap},
      {"none enabled, one row to move over", 0, kTitleNewGame, 1, 0, kTitleNewGame, kSceneWorldMap},
      {"last free play, not enabled", 0b1110001, kTitleFreePlay, 0, 0, kTitleNewGame, kSceneWorldMap},
      {"last options, on the second row", 0b1100010, kTitleOptions, 0, 1, kTitleOptions, kSceneOptions},
      {"last options, all enabled", 0b1111111, kTitleOptions, 0, 5, kTitleOptions, kSceneOptions},
      {"last continue, moved down to the options", 0b1100011, kTitleContinue, 1, 1, kTitleOptions, kSceneOptions},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StartedGame started;
    GameHarness& game = started.game;
    SetTitleCommands(game, c.enabled);
    SceneManager.m_nLastTitleAction = c.lastAction;  // what an earlier visit to the title left
    ASSERT_TRUE(game.Start());
    ASSERT_TRUE(WaitForScene(game, kSceneTitle));
    EXPECT_EQ(MenuCursor.Current().m_nRow, c.row);
    EXPECT_EQ(MenuCursor.Current().m_nY, 240 + 32 * c.row);
    Tap(game, plat::VK_DOWN, c.downs);
    Tap(game, kDecide);
    EXPECT_EQ(SceneManager.m_nLastTitleAction, c.command);
    EXPECT_TRUE(WaitForScene(game, c.scene));
    EXPECT_EQ(game.Close(), 0);
  }
}

// Quit on the title ends the game at once: no question, though a windowed
// game asks before it closes anywhere else.
TEST(FrontScenesTest, QuitOnTheTitleEndsTheGameWithoutAQuestion) {
  GameHarness::Options options;
  options.dialogAnswers = "ok;no";  // the start dialog; "no" to a question, which must not come
  options.iniLines = "WindowMode=1\n";
  GameHarness game(options);
  SceneManager.m_nLastTitleAction = kTitleQuit;
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(WaitForScene(game, kSceneTitle));
  ASSERT_EQ(MenuCursor.Current().m_nRow, kTitleQuit);
  game.PressKey(kDecide);
  // The main thread closes the window when it gets to the request; the game
  // may present many frames before it does on a busy machine (the wait
  // allows ten minutes of them). A question answered "no", or a title that
  // stays, keeps the game running (-1).
  EXPECT_EQ(game.WaitForExit(), 0) << "scene " << SceneManager.m_nCurrent.load() << ", last action "
                                   << SceneManager.m_nLastTitleAction;
  EXPECT_EQ(game.DialogLog().find("終了確認"), std::string::npos) << game.DialogLog();
}

}  // namespace
