// The result screen of a clear: the ranking registered into the stage's
// ranking file (never by a replay), and the result drawn over the stage.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>
#include <vector>

#include "../../gfx/surface_pixels.h"
#include "data/labels.h"
#include "data/rankings.h"
#include "data/system_data.h"
#include "data/user_records.h"
#include "data/world_map.h"
#include "gfx/fonts.h"
#include "gfx/game_fonts.h"
#include "platform/keys.h"
#include "play/world/stage_scene.h"
#include "scene/input.h"
#include "scene/play_record.h"
#include "scene/scene.h"
#include "support/harness.h"
#include "support/stage_builder.h"

namespace {

// A free-play session whose play mode ranks scores: the stage's score switch
// on, a fixed name registered on decide. Globals it touches are put back.
struct RankedSession {
  RankedSession() {
    cStageScene::s_pWaitPacer = PressDecideEveryOtherFrame;
    SystemData.m_Ranking.resize(4);
    SystemData.m_Ranking.At(kPlayFree).m_bOn = 1;
    SystemData.m_Ranking.At(kPlayFree).m_Genres = {1, 0, 0, 0, 0};  // the score only
    StageData.m_RankingSwitches = {1, 0, 0, 0, 0};
    OptionData.m_nRankingMode = 3;
    OptionData.m_strRankingName = "abc";
    bRankingOn = 1;
    RankingFile = cRankingFile();
  }
  ~RankedSession() {
    plat::SetKeyState('Z', false);
    cStageScene::s_pWaitPacer = pacer;
    OptionData = savedOptions;
    bRankingOn = 0;
    RankingFile = cRankingFile();
  }
  // The ranking list waits for decide: it comes every other frame.
  static void PressDecideEveryOtherFrame() {
    static bool down = false;
    down = !down;
    plat::SetKeyState('Z', down);
  }
  std::string RankingPath() const { return MakeRankingFileName(kPlayFree, StageData.m_strLoadedPath, 0, 0, 0); }

  void (*pacer)() = cStageScene::s_pWaitPacer;
  cOptionData savedOptions = OptionData;
  StageBuilder builder = std::move(StageBuilder(20, 15).Floor(10, 0, 19).Hero(2, 9));
  StageSession session{builder};
};

}  // namespace

// A clear in free play writes the score in first place under the fixed
// name; the same clear in a replay's playback finds its place and is
// registered when the replay mode keeps rankings, but its play kind has no
// ranking file: nothing is written. A replay mode without rankings
// registers nothing.
TEST(StageResult, AClearRegistersTheScoreAndAReplayWritesNoFile) {
  const struct {
    int32_t titleAction, playMode, rankingOn;
    int registered;
    bool written;
  } cases[] = {{kTitleFreePlay, kPlayFree, 1, 1, true},
               {kTitleReplay, kPlayReplay, 1, 1, false},
               {kTitleReplay, kPlayReplay, 0, 0, false}};
  for (const auto& c : cases) {
    RankedSession r;
    ASSERT_TRUE(r.session.Loaded());
    cStageScene& scene = r.session.Scene();
    SceneManager.m_nLastTitleAction = c.titleAction;
    SceneManager.m_nPlayMode = c.playMode;
    SystemData.m_Ranking.At(kPlayReplay) = SystemData.m_Ranking.At(kPlayFree);
    bRankingOn = c.rankingOn;
    SaveData.m_nScore = 1234;
    scene.EndStage();
    ASSERT_EQ(scene.m_RankingPositions[kRankingGenreScore], c.rankingOn ? 0 : -1);
    EXPECT_EQ(scene.RunRankingEntry(), c.registered);
    EXPECT_EQ(scene.m_bRankingRegistered, c.registered);

    cRankingFile read;
    EXPECT_EQ(read.LoadFile(r.RankingPath()), c.written ? RankingLoad::kLoaded : RankingLoad::kMissing);
    if (!c.written) continue;
    const auto& entries = read.List(kRankingGenreScore).m_Entries;
    EXPECT_EQ(std::tie(entries[0].m_bUsed, entries[0].m_nScore, entries[0].m_strName),
              std::make_tuple(1, SaveData.m_nStagePoints, std::string("abc")));
    EXPECT_EQ(entries[1].m_bUsed + read.List(kRankingGenreTimeLeft).m_Entries[0].m_bUsed, 0);
    // Registered once: a second decide does not insert the result again.
    EXPECT_EQ(scene.RunRankingEntry(), 0);
  }
}

// A stage named on the command line is played as a test play that ranks as
// free play does (the demo's free-play settings keep rankings): its clear
// finds its places, and F3 on the result screen registers them under the
// name typed into the name box, writing the stage's ranking file.
TEST(StageResultGame, F3OnTheResultScreenOfATestPlayWritesItsRanking) {
  StageBuilder builder(20, 15);
  builder.Floor(10, 0, 19).Hero(2, 9);
  builder.Data().m_RankingSwitches = {1, 0, 0, 0, 0};
  cEdCmd clear;
  clear.m_nKind = kCmdStageClear;
  clear.m_vParams.assign(9, 0);
  cEdFlow flow;
  flow.m_nTrigger = kTriggerAlways;
  flow.m_vCmds = {clear};
  builder.Data().m_PlacedCharacters.front().m_vFlows = {flow};
  GameHarness::Options options;
  options.commandLine = "data\\stg4\\clear.stg4";
  options.dialogAnswers = "ok;text:abc";  // the start dialog, then the name box
  GameHarness game(options);
  std::ofstream(game.PathOf("data/stg4/clear.stg4"), std::ios::binary) << builder.Bytes();
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(game.StepFrames(30));
  const auto* stage = dynamic_cast<const cStageScene*>(SceneManager.Scene(kSceneStage));
  ASSERT_NE(stage, nullptr);
  EXPECT_EQ(stage->m_nMode, kStageModeResult);
  EXPECT_EQ(stage->m_RankingPositions[kRankingGenreScore], 0) << "the clear ranks first in an empty list";
  const std::string file = game.PathOf("user_data/free/clear.rkg");
  EXPECT_FALSE(std::filesystem::exists(file)) << "nothing is written before F3";
  game.PressKey(plat::VK_F3);
  game.StepFrames(4);
  game.ReleaseKey(plat::VK_F3);
  game.StepFrames(4);
  game.PressKey('Z');  // decide leaves the ranking list
  game.StepFrames(4);
  game.ReleaseKey('Z');
  game.StepFrames(4);
  EXPECT_EQ(stage->m_bRankingRegistered, 1);
  ASSERT_TRUE(std::filesystem::exists(file));
  cRankingFile read;
  ASSERT_EQ(read.LoadFile("user_data\\free\\clear.rkg"), RankingLoad::kLoaded);
  const auto& first = read.List(kRankingGenreScore).m_Entries.at(0);
  EXPECT_EQ(std::tie(first.m_bUsed, first.m_strName), std::make_tuple(1, std::string("abc")));
  EXPECT_EQ(game.Close(), 0);
}

// Free play has no world map: a stage chosen after another one ranks in its
// own file, not in the file the earlier stage left the ranking keyed to.
TEST(StageResult, ASecondFreePlayStageRanksInItsOwnFile) {
  RankedSession r;
  ASSERT_TRUE(r.session.Loaded());
  const std::string earlier = MakeRankingFileName(kPlayFree, "data\\stg4\\earlier.stg4_1", 0, 0, 0);
  ASSERT_NE(earlier, r.RankingPath());
  RankingFile.Load(kPlayFree, "data\\stg4\\earlier.stg4_1", 0, 0, 0);
  cStageScene& scene = r.session.Scene();
  SceneManager.m_nLastTitleAction = kTitleFreePlay;
  scene.LoadStageRanking();
  SaveData.m_nScore = 1234;
  scene.EndStage();
  ASSERT_EQ(scene.RunRankingEntry(), 1);
  cRankingFile read;
  EXPECT_EQ(read.LoadFile(r.RankingPath()), RankingLoad::kLoaded);
  EXPECT_EQ(read.LoadFile(earlier), RankingLoad::kMissing);
}

// The result mode draws the play record box over the still stage.
TEST(StageResult, TheResultScreenDrawsOverTheStage) {
  RankedSession r;
  ASSERT_TRUE(r.session.Loaded());
  std::vector<PALETTEENTRY> palette(std::begin(DDState.DDPalette), std::end(DDState.DDPalette));
  for (int i = 0; i < 256; ++i) DDState.DDPalette[i] = PALETTEENTRY{uint8_t(i), uint8_t(i), uint8_t(i), 0};
  SetPinnedFontFile("/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf");
  ASSERT_TRUE(CreateGameFonts(GameFontOptions{59, 0, 0, 1, 0, 0}));
  cStageScene& scene = r.session.Scene();
  SaveData.m_nScore = 777;
  scene.m_nEndRequest = kEndClear;
  r.session.Frames(1);
  ASSERT_EQ(scene.m_nMode, kStageModeResult);

  scene.DrawFrame(0, 1, 0, 1);
  const auto still = SurfacePixels(DDBackBuffer(), 336, 224, 270, 56);  // the box's place
  r.session.Frames(60);  // the count is done by now, with or without the banner
  ASSERT_EQ(scene.m_nMode, kStageModeResult);
  EXPECT_NE(SurfacePixels(DDBackBuffer(), 336, 224, 270, 56), still);
  ReleaseGameFonts();
  SetPinnedFontFile("");
  std::copy(palette.begin(), palette.end(), std::begin(DDState.DDPalette));
}

// A story world without a next stage: after its clear the map comes back,
// a new round begins, or the title comes back, as the world says.
TEST(StageResult, TheWorldsAfterClearActionChoosesWhatFollows) {
  const struct { int32_t action, scene, roundsAdded; } cases[] = {
      {0, kSceneWorldMap, 0}, {1, kSceneWorldMap, 1}, {2, kSceneTitle, 0}};
  for (const auto& c : cases) {
    RankedSession r;
    ASSERT_TRUE(r.session.Loaded());
    const cWorldMap savedMap = WorldMapData;
    cWorld world;
    world.m_nWord[0] = kWorldKindStage;
    world.m_nWord[2] = 3;
    world.m_nWord[5] = c.action;
    WorldMapData.m_Groups.resize(1);
    WorldMapData.m_Groups[0].m_Worlds = {world};
    SceneManager.m_nLastTitleAction = kTitleNewGame;
    SaveData.m_nWorld = 3;
    const int32_t round = SaveData.m_nRound;
    EXPECT_EQ(r.session.Scene().Tally(), c.scene) << c.action;
    EXPECT_EQ(SaveData.m_nRound, round + c.roundsAdded) << c.action;
    // A new round starts with every world open again.
    EXPECT_EQ(SaveData.IsWorldCleared(3), c.roundsAdded == 0) << c.action;
    WorldMapData = savedMap;
  }
}

// The ranking list shown after a registration waits for decide however long
// it takes: past an hour of frames the first fresh press ends it with the
// decide sound. The window's close (its end message, or WM_QUIT) ends it
// too, and the window is then asked to close.
TEST(StageResult, TheRankingListWaitsUntilDecideOrTheClose) {
  constexpr int kPastAnHour = 60 * 60 * 60 + 50;
  const struct {
    int pressAt;
    uint32_t postAt3;  // 0: decide pressed at pressAt; else this message posted at pass 3
  } cases[] = {{kPastAnHour, 0}, {0, kEndFrameKeeping}, {0, static_cast<uint32_t>(plat::WM_QUIT)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.postAt3);
    RankedSession r;
    ScopedWaitWithoutDrawing undrawn;  // an hour of frames: only the list's own work
    ASSERT_TRUE(r.session.Loaded());
    cStageScene& scene = r.session.Scene();
    SceneManager.m_nLastTitleAction = kTitleFreePlay;
    SceneManager.m_nPlayMode = kPlayFree;
    SaveData.m_nScore = 1234;
    scene.EndStage();
    // The clear's own waits (an extra life's message) ran with the session's
    // pacer, which may have left decide held: the list starts with it let go.
    plat::SetKeyState('Z', false);
    static int passes, pressAt;
    static uint32_t postAt3;
    passes = 0;
    pressAt = c.pressAt;
    postAt3 = c.postAt3;
    cStageScene::s_pWaitPacer = [] {
      ++passes;
      if (passes == pressAt) plat::SetKeyState('Z', true);
      if (passes == 3 && postAt3 != 0) plat::PostMessage(0, postAt3, 0, 0);
      // A list that missed its end fails the test instead of waiting on.
      if (passes == std::max(pressAt, 3) + 600) plat::PostMessage(0, kEndFrameKeeping, 0, 0);
    };
    const size_t soundsBefore = r.session.Sounds().size();
    ASSERT_EQ(scene.RunRankingEntry(), 1);
    const std::vector<int32_t> sounds(r.session.Sounds().begin() + static_cast<long>(soundsBefore),
                                      r.session.Sounds().end());
    if (c.postAt3 == 0) {
      EXPECT_EQ(passes, c.pressAt) << "the pass that sees the press ends the list; key mode " << KeyConfig.m_nMode
                                   << ", latch " << InputRecords.At(0).m_bLatch << ", buttons "
                                   << InputRecords.At(0).m_wButtons;
      EXPECT_EQ(sounds, (std::vector<int32_t>{kSoundRanking, kSoundDecide}));
      EXPECT_FALSE(r.session.CloseRequested());
    } else {
      EXPECT_EQ(passes, 3);
      EXPECT_EQ(sounds, std::vector<int32_t>{kSoundRanking});
      EXPECT_TRUE(r.session.CloseRequested());
    }
  }
}
