// An attempt played with scripted keys and saved with F1 plays back from the
// title's replay row as it was played, frame for frame.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>

#include "platform/keys.h"
#include "play/world/stage_draw.h"
#include "play/world/stage_scene.h"
#include "scene/frame_trace.h"
#include "scene/input.h"
#include "support/harness.h"

namespace {

// The trace lines of the frames that stepped the stage, without the frame
// number, with the attempt's seed and the words the frame played with.
// `keys` runs after each with the count so far (presenting thread).
struct PlayFrames {
  explicit PlayFrames(std::function<void(size_t)> keys = {}) : keys(std::move(keys)) {
    InstallStageTraceFiller();
    SetFramePresentedObserver([this] {
      FrameTrace trace = CaptureFrameTrace(0);
      const auto* stage = dynamic_cast<const cStageScene*>(SceneManager.Scene(kSceneStage));
      if (trace.mode != kStageModePlay || !stage || stage->m_nFrameCounter == 0 || stage->m_nFrameCounter == stepped)
        return;
      stepped = stage->m_nFrameCounter;
      trace.hint.reset();  // the key hint tells the run (a test play or a replay), not the attempt
      const cInput& input = InputRecords.At(0);
      std::lock_guard<std::mutex> lock(mutex);
      lines.push_back(FrameTraceJson(trace) + " " + std::to_string(stage->m_nRandomSeed) + " " +
                      std::to_string(input.m_wDirection) + " " + std::to_string(input.m_wButtons));
      if (this->keys) this->keys(lines.size());
    });
  }
  ~PlayFrames() { SetFramePresentedObserver(nullptr); }
  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> lock(mutex);
    return lines;
  }
  std::function<void(size_t)> keys;
  int32_t stepped = 0;
  std::mutex mutex;
  std::vector<std::string> lines;
};

// kRecorded play frames of a test play of the demo stage with scripted
// keys, saved with F1: the trace lines and the replay file's bytes.
constexpr size_t kRecorded = 150;
void RecordAttempt(std::vector<std::string>& recorded, std::string& replay) {
  GameHarness::Options options;
  options.commandLine = "data\\stg4\\demo.stg4_1";
  options.dialogAnswers = "ok";  // the save dialog keeps the offered name
  GameHarness game(options);
  PlayFrames frames([&](size_t n) {
    auto hold = [&](int key, bool down) { down ? game.PressKey(key) : game.ReleaseKey(key); };
    hold(plat::VK_RIGHT, n < 60);
    hold('Z', (n >= 20 && n < 35) || (n >= 90 && n < 100));
    hold(plat::VK_LEFT, n >= 70 && n < kRecorded);
    hold(plat::VK_F1, n == kRecorded);
  });
  ASSERT_TRUE(game.Start());
  for (int i = 0; i < 600 && frames.Lines().size() < kRecorded + 5; ++i) ASSERT_TRUE(game.StepFrames(1));
  recorded = frames.Lines();
  recorded.resize(kRecorded);
  EXPECT_EQ(game.Close(), 0);
  for (const auto& entry : std::filesystem::directory_iterator(game.PathOf("user_data/rpl4")))
    replay = game.ReadFile("user_data/rpl4/" + entry.path().filename().string());
}

TEST(ReplayTest, AnAttemptSavedWithF1PlaysBackFrameForFrame) {
  std::vector<std::string> recorded;
  std::string replay;
  RecordAttempt(recorded, replay);
  ASSERT_FALSE(replay.empty());

  GameHarness::Options options;
  options.dialogAnswers = "ok;file:r.rpl4_873";  // the start dialog, then the replay
  GameHarness game(options);
  std::filesystem::create_directories(game.PathOf("user_data/rpl4"));
  std::ofstream(game.PathOf("user_data/rpl4/r.rpl4_873"), std::ios::binary) << replay;
  PlayFrames frames;
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(game.StepFrames(90));  // the title's fade-in
  for (int key : {int{plat::VK_DOWN}, int{plat::VK_DOWN}, int{plat::VK_DOWN}, int{plat::VK_DOWN}, int{'Z'}}) {
    game.PressKey(key);
    ASSERT_TRUE(game.StepFrames(2));
    game.ReleaseKey(key);
    ASSERT_TRUE(game.StepFrames(2));
  }
  game.PressKey(plat::VK_LEFT);  // the player's keys change nothing
  for (int i = 0; i < 600 && frames.Lines().size() <= kRecorded; ++i) ASSERT_TRUE(game.StepFrames(1));
  EXPECT_EQ(SceneManager.m_nPlayMode, kPlayReplay);
  const std::vector<std::string> played = frames.Lines();
  ASSERT_GT(played.size(), kRecorded);
  for (size_t i = 0; i < kRecorded; ++i) ASSERT_EQ(played[i], recorded[i]) << "play frame " << i + 1;
  EXPECT_EQ(played[kRecorded], recorded[0]);  // the end of the log starts it again
  EXPECT_EQ(game.Close(), 0);
}

// The stage list of free play offers replay files too: one chosen there
// plays as a replay, as from the replay command.
TEST(ReplayTest, AReplayChosenInFreePlayPlaysAsAReplay) {
  std::vector<std::string> recorded;
  std::string replay;
  RecordAttempt(recorded, replay);
  ASSERT_FALSE(replay.empty());

  GameHarness::Options options;
  options.dialogAnswers = "ok;file:r.rpl4_873";  // the start dialog, then the file among the stages
  GameHarness game(options);
  std::ofstream(game.PathOf("data/stg4/r.rpl4_873"), std::ios::binary) << replay;
  PlayFrames frames;
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(game.StepFrames(90));
  for (int key : {int{plat::VK_DOWN}, int{plat::VK_DOWN}, int{plat::VK_DOWN}, int{'Z'}}) {  // free play
    game.PressKey(key);
    ASSERT_TRUE(game.StepFrames(2));
    game.ReleaseKey(key);
    ASSERT_TRUE(game.StepFrames(2));
  }
  for (int i = 0; i < 600 && frames.Lines().size() < kRecorded; ++i) ASSERT_TRUE(game.StepFrames(1));
  EXPECT_EQ(SceneManager.m_nPlayMode, kPlayReplay);
  EXPECT_EQ(SceneManager.m_nLastTitleAction, kTitleReplay);
  const std::vector<std::string> played = frames.Lines();
  ASSERT_GE(played.size(), kRecorded);
  for (size_t i = 0; i < kRecorded; ++i) ASSERT_EQ(played[i], recorded[i]) << "play frame " << i + 1;
  EXPECT_EQ(game.DialogLog().find("破損"), std::string::npos) << game.DialogLog();
  EXPECT_EQ(game.Close(), 0);
}

}  // namespace
