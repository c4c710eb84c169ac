// Music a running game asks its main window for: a stage's music and a
// flow's music command loop when their keep value is 1 and play once when
// it is 0; the menu screens' music loops as the system data's per-screen
// loop flags say; a retry of a stage whose tune is still playing lets it go
// on; a screen whose looping tune a stage played once asks for it again.
// The demo's stage tune is still heard after its length has passed.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "audio/bgm.h"
#include "data/database.h"
#include "data/labels.h"
#include "data/stage_data.h"
#include "data/system_data.h"
#include "platform/audio_mixer.h"
#include "platform/midi_stream_device.h"
#include "platform/keys.h"
#include "platform/modules.h"
#include "play/world/stage_scene.h"
#include "scene/scene.h"
#include "support/game_data.h"
#include "support/harness.h"
#include "support/stage_builder.h"

namespace {

// The MIDI library stands in for the built-in player: the music player then
// hands it each tune with the loop flag it plays it with.
struct Played {
  std::string file;
  int loop;
  bool operator==(const Played& other) const { return file == other.file && loop == other.loop; }
};
std::ostream& operator<<(std::ostream& out, const Played& p) { return out << p.file << " loop " << p.loop; }

std::mutex g_mutex;  // the library is called on the main window's thread
std::string g_added;
std::vector<Played> g_played;

int OpenDevice(int, uintptr_t) { return 0; }
void CloseDevice() {}
int AddList(const char* path, int, int) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_added = path;
  return 0;
}
void SetMasterVolume(int) {}
int PlayList(int loop, int, int, int, int) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_played.push_back({g_added, loop});
  return 0;
}
int StopPlay(int) { return 0; }
void PausePlay() {}
void Status(void*, int) {}

// The demo's music list.
constexpr uint32_t kTitleTune = 1, kMapTune = 2, kMeadowTune = 3, kTowerTune = 4;
const char* const kTitleFile = "bgm\\Title.mid";
const char* const kMapFile = "bgm\\Map.mid";
const char* const kMeadowFile = "bgm\\Meadow.mid";
const char* const kTowerFile = "bgm\\Tower.mid";

// Steps the game until its stage is in play (the stage is loaded on a
// thread of its own, whose time the virtual clock does not count: how many
// frames that takes varies), then `more` frames.
void StepUntilPlaying(GameHarness& game, uint32_t more) {
  for (int i = 0; i < 3000; ++i) {
    const auto* scene = dynamic_cast<const cStageScene*>(SceneManager.Scene(kSceneStage));
    if (scene && scene->m_nMode == kStageModePlay) break;
    ASSERT_TRUE(game.StepFrames(1));
  }
  const auto* scene = dynamic_cast<const cStageScene*>(SceneManager.Scene(kSceneStage));
  ASSERT_TRUE(scene && scene->m_nMode == kStageModePlay);
  ASSERT_TRUE(game.StepFrames(more));
}

// Writes `stage` as the harness game's "data\stg4\music.stg4" (or `file`).
// The writer checks music numbers against the music list: the project's is
// loaded for it.
void WriteStage(GameHarness& game, StageBuilder& stage, const char* file = "data/stg4/music.stg4") {
  ScopedGameData data;
  ASSERT_TRUE(LoadDatabase());
  std::ofstream(game.PathOf(file), std::ios::binary) << stage.Bytes();
}

class MusicRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Forget();
    plat::RegisterModule("GuruGuruSMF4.dll",
                         {{"GGS4OpenDevice", reinterpret_cast<void*>(&OpenDevice)},
                          {"GGS4CloseDevice", reinterpret_cast<void*>(&CloseDevice)},
                          {"GGS4AddListFromFileA", reinterpret_cast<void*>(&AddList)},
                          {"GGS4SetMasterVolume", reinterpret_cast<void*>(&SetMasterVolume)},
                          {"GGS4Play", reinterpret_cast<void*>(&PlayList)},
                          {"GGS4Stop", reinterpret_cast<void*>(&StopPlay)},
                          {"GGS4Pause", reinterpret_cast<void*>(&PausePlay)},
                          {"GGS4GetPlayerStatus", reinterpret_cast<void*>(&Status)}});
  }
  void TearDown() override { plat::UnregisterModule("GuruGuruSMF4.dll"); }

  // Each case of a test starts with nothing played.
  static void Forget() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_added.clear();
    g_played.clear();
  }
  static std::vector<Played> PlayedSoFar() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_played;
  }

  // A test play of `stage` (started from the command line), `frames`
  // frames into its play; the tunes played, in order.
  static std::vector<Played> PlayStage(StageBuilder& stage, uint32_t frames) {
    GameHarness::Options options;
    options.commandLine = "data\\stg4\\music.stg4";
    GameHarness game(options);
    WriteStage(game, stage);
    EXPECT_TRUE(game.Start());
    StepUntilPlaying(game, frames);
    EXPECT_EQ(game.Close(), 0);
    return PlayedSoFar();
  }
};

cEdCmd Command(int kind, std::vector<uint32_t> words) {
  cEdCmd c;
  c.m_nKind = static_cast<uint8_t>(kind);
  c.m_vParams = std::move(words);
  return c;
}

// The hero's flow asks once for `track` with keep value `keep` (then waits
// past the test's end).
void HeroAsksForMusic(StageBuilder& stage, uint32_t track, uint32_t keep) {
  cEdCmd wait = Command(kCmdWait, {});
  wait.m_nDuration = 6000;
  cEdFlow flow;
  flow.m_nTrigger = kTriggerAlways;
  flow.m_vCmds = {Command(kCmdPlayBgm, {track, keep}), wait};
  stage.Data().m_PlacedCharacters.front().m_vFlows = {flow};
}

// The stage's music and the music command each loop by their own keep
// value: the one does not carry over to the other.
TEST_F(MusicRequestTest, StageMusicAndTheMusicCommandLoopByTheirKeepValue) {
  const struct {
    uint32_t stageKeep, commandKeep;
  } cases[] = {{1, 0}, {0, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "stage keep " << c.stageKeep << ", command keep " << c.commandKeep);
    Forget();
    StageBuilder stage(20, 15);
    stage.Floor(10, 0, 19).Hero(2, 9);
    stage.Data().Int(kStageMusic) = kMeadowTune;
    stage.Data().Int(kStageMusicKeep) = static_cast<int32_t>(c.stageKeep);
    HeroAsksForMusic(stage, kTowerTune, c.commandKeep);
    EXPECT_EQ(PlayStage(stage, 5), (std::vector<Played>{{kMeadowFile, static_cast<int>(c.stageKeep)},
                                                         {kTowerFile, static_cast<int>(c.commandKeep)}}));
  }
}

// A hero who dies on a deadly block starts the stage again: its looping
// tune, still playing, goes on (it is not asked for again); a tune the
// stage's flow changed to is replaced by the stage's own again, each time.
TEST_F(MusicRequestTest, ARetryLetsTheStagesTuneGoOnWhenItStillPlays) {
  for (bool command : {false, true}) {
    SCOPED_TRACE(command);
    Forget();
    StageBuilder stage(20, 15);
    stage.Floor(10, 0, 19).Hero(2, 8).Block(2, 9, 2);
    stage.Data().Int(kStageMusic) = kMeadowTune;
    stage.Data().Int(kStageMusicKeep) = 1;
    if (command) HeroAsksForMusic(stage, kTowerTune, 1);
    GameHarness::Options options;
    options.commandLine = "data\\stg4\\music.stg4";
    GameHarness game(options);
    WriteStage(game, stage);
    ASSERT_TRUE(game.Start());
    StepUntilPlaying(game, 1);
    // Until the stage has started again (its frame counter starts again).
    int32_t retries = 0, lastCounter = 0;
    for (int i = 0; i < 2000 && retries < 1; ++i) {
      ASSERT_TRUE(game.StepFrames(1));
      const auto* scene = dynamic_cast<const cStageScene*>(SceneManager.Scene(kSceneStage));
      ASSERT_NE(scene, nullptr);
      retries += scene->m_nFrameCounter < lastCounter;
      lastCounter = scene->m_nFrameCounter;
    }
    ASSERT_EQ(retries, 1);
    ASSERT_TRUE(game.StepFrames(5));
    const std::vector<Played> played = PlayedSoFar();
    if (!command) {
      EXPECT_EQ(played, (std::vector<Played>{{kMeadowFile, 1}}));
    } else {
      ASSERT_GE(played.size(), 4u);
      for (size_t i = 0; i < played.size(); ++i)
        EXPECT_EQ(played[i], (Played{i % 2 == 0 ? kMeadowFile : kTowerFile, 1})) << i;
    }
    EXPECT_EQ(game.Close(), 0);
  }
}

// The title's music loops as the system data's loop flag of the title
// screen says.
TEST_F(MusicRequestTest, ScreenMusicLoopsByItsScreensLoopFlag) {
  for (uint8_t loop : {0, 1}) {
    SCOPED_TRACE(loop);
    Forget();
    GameHarness game;
    {
      // The project's system data with the title's flag changed.
      ScopedGameData data;
      ASSERT_TRUE(LoadDatabase());
      cSystemData system;
      ASSERT_TRUE(system.LoadFromFile("data\\System.dat"));
      ASSERT_EQ(system.m_ScreenMusic.At(0), kTitleTune);
      system.m_ScreenMusicLoop.At(0) = loop;
      ASSERT_TRUE(system.SaveToFile("data\\System.dat"));
    }
    ASSERT_TRUE(game.Start());
    for (int i = 0; i < 600 && PlayedSoFar().empty(); ++i) ASSERT_TRUE(game.StepFrames(1));
    ASSERT_TRUE(game.StepFrames(5));
    EXPECT_EQ(PlayedSoFar(), (std::vector<Played>{{kTitleFile, loop}}));
    EXPECT_EQ(game.Close(), 0);
  }
}

// The demo's world map loops its tune. A stage entered from it that plays
// the same tune once (keep 0), and clears at once with no stage after it,
// leaves the tune to end by itself: back on the map, the map asks for its
// looping tune again.
TEST_F(MusicRequestTest, AScreenAsksAgainForItsTuneThatAStagePlayedOnce) {
  GameHarness game;
  {
    StageBuilder stage(20, 15);
    stage.Floor(10, 0, 19).Hero(2, 9);
    stage.Data().Int(kStageMusic) = kMapTune;
    stage.Data().Int(kStageMusicKeep) = 0;
    cEdFlow flow;
    flow.m_nTrigger = kTriggerAlways;
    flow.m_vCmds = {Command(kCmdStageClear, {1, 0})};  // the stage after it: none
    stage.Data().m_PlacedCharacters.front().m_vFlows = {flow};
    WriteStage(game, stage, "data/stg4/c01-1.stg4_001");
  }
  ASSERT_TRUE(game.Start());
  // The title's new game in the first slot, two steps east on the map to
  // the first world and its stage (tests/routes/demo/01-title.txt).
  const struct {
    uint32_t frame;
    int key;
  } route[] = {{100, 'Z'}, {140, 'Z'}, {200, plat::VK_RIGHT}, {210, plat::VK_RIGHT}, {250, plat::VK_UP}, {260, 'Z'}};
  for (uint32_t frame = 1; frame <= 260; ++frame) {
    for (const auto& step : route)
      if (step.frame == frame) game.PressKey(step.key);
    ASSERT_TRUE(game.StepFrames(1));
    for (const auto& step : route)
      if (step.frame == frame) game.ReleaseKey(step.key);
  }
  // The stage clears; decide, tapped, leaves its result screen.
  bool staged = false;
  for (int i = 0; i < 3000 && !(staged && SceneManager.m_nCurrent.load() == kSceneWorldMap); ++i) {
    staged = staged || SceneManager.m_nCurrent.load() == kSceneStage;
    if (staged && i % 4 == 0) game.PressKey('Z');
    ASSERT_TRUE(game.StepFrames(1));
    game.ReleaseKey('Z');
  }
  ASSERT_TRUE(staged);
  ASSERT_EQ(SceneManager.m_nCurrent.load(), kSceneWorldMap);
  ASSERT_TRUE(game.StepFrames(30));
  EXPECT_EQ(PlayedSoFar(),
            (std::vector<Played>{{kTitleFile, 1}, {kMapFile, 1}, {kMapFile, 0}, {kMapFile, 1}}));
  EXPECT_EQ(game.Close(), 0);
}

// The demo's test stage through the built-in MIDI player: once its tune's
// length has passed in the mix, the tune is still playing and heard.
TEST(StageMusicHeard, TheDemoStagesTuneIsStillHeardAfterItsLength) {
  GameHarness::Options options;
  options.commandLine = "data\\stg4\\demo.stg4_1";
  GameHarness game(options);
  ASSERT_TRUE(game.Start());
  StepUntilPlaying(game, 5);
  if (!plat::MidiSynthReady()) GTEST_SKIP() << "no SoundFont installed";
  ASSERT_FALSE(g_BGMPlayer.UsesMidiLibrary());
  cMidiStream* tune = g_BGMPlayer.StreamPlayer(0);
  ASSERT_NE(tune, nullptr);
  ASSERT_EQ(tune->State(), cMidiStream::kPlaying);
  const double length = tune->Length();
  ASSERT_GT(length, 1.0);
  // The mix pulled in blocks, the player refilling between them, until two
  // seconds past the tune's end; the loudness of those last two seconds.
  constexpr int kBlock = 256;
  const int64_t end = static_cast<int64_t>(length * plat::kMixRate);
  const int64_t total = end + 2 * plat::kMixRate;
  std::vector<float> block(kBlock * plat::kMixChannels);
  double sum = 0;
  int64_t counted = 0;
  for (int64_t done = 0; done < total; done += kBlock) {
    plat::GlobalMixer().Render(block.data(), kBlock);
    if (done >= end) {
      for (int i = 0; i < kBlock; ++i) sum += block[plat::kMixChannels * i] * block[plat::kMixChannels * i];
      counted += kBlock;
    }
    ASSERT_TRUE(plat::WaitMidiCallbacksHandled(60000));
  }
  EXPECT_EQ(tune->State(), cMidiStream::kPlaying);
  EXPECT_GT(std::sqrt(sum / static_cast<double>(counted)), 1e-3) << "silence after the tune's end";
  EXPECT_EQ(game.Close(), 0);
}

}  // namespace
