#include "support/demo_story.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "data/key_config.h"
#include "data/save_slots.h"
#include "play/world/stage_draw.h"
#include "scene/frame_trace.h"
#include "scene/play_record.h"
#include "scene/scene.h"
#include "support/test_files.h"

namespace {

// The demo's worlds on its map: their columns by number, all on one row
// (tools/demo_game_map.cpp).
constexpr int32_t kWorldColumns[] = {5, 9, 14};
constexpr int32_t kWorldRow = 7;
// つづきから on the title (a row down from はじめから), then the first slot.
constexpr const char* kContinueKeys = "100 DOWN\n110 B1\n150 B1\n";
// After decide on the map's box, the stage shows on the route's tenth frame.
constexpr uint32_t kStageShowsOnRouteFrame = 10;
// A new game's lives (the demo's five, one of them given to the first
// attempt) and continues.
constexpr int32_t kStartLives = 4, kStartContinues = 5;

}  // namespace

std::string DemoRoute(const char* name) { return Slurp(std::string(PELMORA_SOURCE_DIR "/tests/routes/demo/") + name); }

DemoStory::DemoStory(const DemoStoryStart& start) : clearedWorlds_(start.clearedWorlds) {
  GameHarness::Options options;
  options.writeProject = false;
  options.dialogAnswers = start.dialogAnswers;
  game_ = std::make_unique<GameHarness>(options);
  const std::string make = std::string(PELMORA_TOOL) + " make-demo --force '" + game_->Folder() + "' > /dev/null";
  if (std::system(make.c_str()) != 0) {
    ADD_FAILURE() << "make-demo failed";
    return;
  }
  std::string error;
  if (!title_.Parse(clearedWorlds_ == 0 ? DemoRoute("01-title.txt") : std::string(kContinueKeys) + start.mapKeys,
                    error)) {
    ADD_FAILURE() << "the title's keys: " << error;
    return;
  }
  for (const std::string& text : start.scripts) {
    PlayScript script;
    if (!script.Parse(text, error) || !scripts_.Append(script)) {
      ADD_FAILURE() << "a script: " << error;
      return;
    }
  }
  if (clearedWorlds_ == 0) {
    scriptsBegin_ = title_.Length() + 1;
  } else {
    const int on = start.standOn != 0 ? start.standOn : clearedWorlds_ + 1;
    if (on < 1 || on > static_cast<int>(std::size(kWorldColumns)) || on > clearedWorlds_ + 1) {
      ADD_FAILURE() << "no world " << on << " to stand on with " << clearedWorlds_ << " cleared";
      return;
    }
    // The record as the map would keep it, the hero standing on the world
    // (the harness's folder is the working folder).
    cSaveData save;
    save.m_nMapX = kWorldColumns[on - 1];
    save.m_nMapY = kWorldRow;
    for (int world = 1; world <= clearedWorlds_; ++world) save.SetProgressFlag(world, 1);
    save.m_nOpenedWorlds = clearedWorlds_ + 1;
    save.m_nLives = kStartLives;
    save.m_nContinues = kStartContinues;
    save.nCurrentSlot = 0;
    save.bAutoSave = 1;
    std::filesystem::create_directories(game_->PathOf("user_data/story"));
    cSaveSlotList slots;
    if (SaveSlot(save, slots, 0) != SlotResult::kOk) {
      ADD_FAILURE() << "the save could not be written";
      return;
    }
  }
  ready_ = true;
}

DemoStory::~DemoStory() {
  game_.reset();  // the game has ended: no frame reaches the trace's observer now
  SetFramePresentedObserver(nullptr);
}

PlayKeySet DemoStory::KeysAt(uint32_t frame) const {
  PlayKeySet keys = title_.KeysAt(frame);
  if (scriptsBegin_ != 0 && frame >= scriptsBegin_) keys |= scripts_.KeysAt(frame - scriptsBegin_ + 1);
  return keys;
}

bool DemoStory::Play(uint32_t frames, const std::function<bool(uint32_t frame)>& afterFrame) {
  if (!ready_) return false;
  // The trace, taken on the presenting thread after each frame as the tool
  // takes it.
  InstallStageTraceFiller();
  SetFramePresentedObserver([this] {
    trace_.push_back(FrameTraceJson(CaptureFrameTrace(static_cast<uint32_t>(trace_.size()) + 1)));
  });
  if (!game_->Start()) return false;
  cKeyConfig config;
  SetDefaultKeys(config);
  PlayKeySet held = 0;
  for (uint32_t frame = 1; frame <= frames; ++frame) {
    // The frame's keys go down before it polls them, as the tool's do.
    const PlayKeySet wanted = KeysAt(frame);
    for (int k = 0; k < kPlayKeyCount; ++k) {
      const PlayKeySet bit = PlayKeySet{1} << k;
      if ((wanted & bit) == (held & bit)) continue;
      if (wanted & bit)
        game_->PressKey(PlayKeyCode(k, config));
      else
        game_->ReleaseKey(PlayKeyCode(k, config));
    }
    held = wanted;
    if (!game_->StepFrames(1)) return false;
    if (!stageShown_ && SceneManager.m_nCurrent.load() == kSceneStage) {
      stageShown_ = true;
      // A continued game's scripts count from here; a new game's stage
      // shows where the title's route says (the frames from the map's
      // decide to the stage are those a continued game takes for them).
      if (scriptsBegin_ == 0)
        scriptsBegin_ = frame - (kStageShowsOnRouteFrame - 1);
      else
        EXPECT_EQ(frame, scriptsBegin_ + kStageShowsOnRouteFrame - 1) << "the first stage shows on another frame";
    }
    if (afterFrame(frame)) return true;
  }
  return false;
}
