// Replays through the real game: an attempt played with scripted keys and
// saved with F1 plays back from the title's replay row exactly as it was
// played, frame for frame.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "data/replay_file.h"
#include "front/menu_scene.h"
#include "platform/keys.h"
#include "play/stage_draw.h"
#include "play/stage_scene.h"
#include "scene/frame_trace.h"
#include "scene/input.h"
#include "scene/scene.h"
#include "support/harness.h"

namespace {

constexpr int kDecide = 'Z';
constexpr int32_t kPlayMode = 2;  // the stage scene's play mode

// The stage-play frames of a run as trace lines without their frame
// number, taken on the presenting thread, each with the attempt's random
// seed and the input words the frame played with.
class PlayFrames {
 public:
  // `keys` runs after each play frame with the number of play frames so far.
  explicit PlayFrames(std::function<void(uint32_t)> keys = {}) : keys_(std::move(keys)) {
    InstallStageTraceFiller();
    SetFramePresentedObserver([this] { OnPresented(); });
  }
  ~PlayFrames() { SetFramePresentedObserver(nullptr); }
  std::vector<std::string> Lines(size_t limit) {
    std::lock_guard<std::mutex> lock(mutex_);
    return {lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(std::min(limit, lines_.size()))};
  }
  size_t Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_.size();
  }

 private:
  void OnPresented() {
    FrameTrace trace = CaptureFrameTrace(++frame_);
    // A frame that stepped the stage (the frame the banner hands over to
    // play is drawn in play mode but steps nothing).
    const auto* stage = dynamic_cast<const cStageScene*>(SceneManager.Scene(kSceneStage));
    if (trace.mode != kPlayMode || !stage || stage->m_nFrameCounter == 0 || stage->m_nFrameCounter == stepped_) return;
    stepped_ = stage->m_nFrameCounter;
    trace.frame = 0;
    const cInput& input = InputRecords.At(0);
    const std::string line = FrameTraceJson(trace) + " seed " + std::to_string(stage->m_nRandomSeed) +
                             " keys " + std::to_string(input.m_wDirection) + " " + std::to_string(input.m_wButtons);
    uint32_t count = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.push_back(line);
      count = static_cast<uint32_t>(lines_.size());
    }
    if (keys_) keys_(count);
  }
  std::function<void(uint32_t)> keys_;
  uint32_t frame_ = 0;
  int64_t stepped_ = -1;
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

void Tap(GameHarness& game, int key) {
  game.PressKey(key);
  ASSERT_TRUE(game.StepFrames(2));
  game.ReleaseKey(key);
  ASSERT_TRUE(game.StepFrames(2));
}

bool WaitForTitleMenu(GameHarness& game) {
  for (int i = 0; i < 120; ++i) {
    const auto* menu = dynamic_cast<const cMenuScene*>(SceneManager.Scene(kSceneTitle));
    if (SceneManager.m_nCurrent.load() == kSceneTitle && menu && menu->Phase() >= 1) return true;
    if (!game.StepFrames(1)) return false;
  }
  return false;
}

TEST(ReplayTest, AnAttemptSavedWithF1PlaysBackFrameForFrame) {
  constexpr uint32_t kRecorded = 150;  // play frames before F1
  std::string replay;
  std::vector<std::string> recorded;
  {
    GameHarness::Options options;
    options.commandLine = "data\\stg4\\demo.stg4_1";
    options.dialogAnswers = "ok";  // the save dialog keeps the offered name
    GameHarness game(options);
    // Run right, jump on the way, turn back, then F1 (the keys of frame
    // `n + 1` are set after play frame n).
    std::atomic<bool> saveAsked{false};
    PlayFrames frames([&](uint32_t n) {
      auto hold = [&](int key, bool down) { down ? game.PressKey(key) : game.ReleaseKey(key); };
      hold(plat::VK_RIGHT, n < 60);
      hold(kDecide, (n >= 20 && n < 35) || (n >= 90 && n < 100));
      hold(plat::VK_LEFT, n >= 70 && n < kRecorded);
      hold(plat::VK_F1, n == kRecorded);
      if (n == kRecorded) saveAsked.store(true);
    });
    ASSERT_TRUE(game.Start());
    for (int i = 0; i < 600 && !saveAsked.load(); ++i) ASSERT_TRUE(game.StepFrames(1));
    ASSERT_TRUE(saveAsked.load());
    ASSERT_TRUE(game.StepFrames(10));
    recorded = frames.Lines(kRecorded);
    EXPECT_EQ(game.Close(), 0);
    for (const auto& entry : std::filesystem::directory_iterator(game.PathOf("user_data/rpl4"))) {
      EXPECT_TRUE(replay.empty()) << "one replay saved";
      replay = game.ReadFile("user_data/rpl4/" + entry.path().filename().string());
    }
  }
  ASSERT_EQ(recorded.size(), kRecorded);
  ASSERT_FALSE(replay.empty());

  GameHarness::Options options;
  options.dialogAnswers = "ok;file:r.rpl4_873";  // the start dialog, then the replay chosen
  GameHarness game(options);
  std::filesystem::create_directories(game.PathOf("user_data/rpl4"));
  std::ofstream(game.PathOf("user_data/rpl4/r.rpl4_873"), std::ios::binary) << replay;
  PlayFrames frames;
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(WaitForTitleMenu(game));
  for (int row = 0; row < kTitleReplay; ++row) Tap(game, plat::VK_DOWN);
  // The player's keys are not the replay's: held throughout, they change nothing.
  game.PressKey(plat::VK_LEFT);
  Tap(game, kDecide);
  for (int i = 0; i < 600 && frames.Count() < kRecorded + 1; ++i) ASSERT_TRUE(game.StepFrames(1));
  EXPECT_EQ(SceneManager.m_nPlayMode, kPlayReplay);
  const std::vector<std::string> played = frames.Lines(kRecorded);
  ASSERT_EQ(played.size(), kRecorded);
  for (size_t i = 0; i < kRecorded; ++i) ASSERT_EQ(played[i], recorded[i]) << "play frame " << i + 1;
  // At its end the replay starts again from its first frame.
  EXPECT_EQ(frames.Lines(kRecorded + 1).back(), recorded.front());
  game.ReleaseKey(plat::VK_LEFT);
  EXPECT_EQ(game.Close(), 0);
}

}  // namespace
