// Stages built in code for scenario tests, and a stage scene set up on one.
//
// StageBuilder makes a cStageData the way the editor would save it (blocks,
// a hero, characters, items placed by block; speed level, gravity, time
// limit), and writes it as a stage file through the data layer's writer.
// StageSession then plays it the way scene 4 does after its entry: the file
// is loaded by StartStage (with the game's set-up check), a cStageScene
// becomes the current stage scene and SetStage builds the running stage;
// frames are stepped by the scene's Run.
// The session owns every piece of global state it touches (working folder,
// display, stage records, play record, input, scene manager, system data)
// and puts it back when it ends, so sessions never leak into other tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/stage_data.h"
#include "data/system_data.h"
#include "play/world/stage_object.h"
#include "support/display.h"

class cStageScene;
class cFlowHost;
class cFlowHooks;

class StageBuilder {
 public:
  // A stage of width x height blocks at speed level 1, gravity 0.4, no time
  // limit, no start or result banners.
  explicit StageBuilder(int32_t width = 20, int32_t height = 15);

  StageBuilder& SpeedLevel(int32_t level);
  StageBuilder& Gravity(double gravity);
  StageBuilder& TimeLimit(int32_t seconds);
  StageBuilder& Banners(bool first, bool second);
  // A block of the given solidity (1 solid, 2 deadly) at stage block (x, y).
  StageBuilder& Block(int32_t x, int32_t y, uint8_t solidity = 1);
  // Solid blocks on row y from column x0 to x1 inclusive.
  StageBuilder& Floor(int32_t y, int32_t x0, int32_t x1);
  // The hero (player-controlled, graphic 1) at stage block (x, y).
  StageBuilder& Hero(int32_t x, int32_t y);
  // A computer-controlled character at stage block (x, y).
  StageBuilder& Character(int32_t x, int32_t y);
  StageBuilder& Item(int32_t x, int32_t y);

  cStageData& Data() { return data_; }
  // The stage file's bytes, as the writer stores them.
  std::string Bytes();

 private:
  cStageData data_;
};

class StageSession {
 public:
  // Writes the stage to "data\stg4\test.stg4", loads it and sets the scene
  // up on it in the play mode (mode 2) with the banners skipped, on a
  // windowed display of `bpp` bits (the desktop's depth is made the same),
  // DirectDraw or, with `direct3d`, Direct3D.
  explicit StageSession(StageBuilder& builder, int32_t bpp = 32, uint32_t direct3d = 0);
  // The same with a stage file's bytes as they are (a file another writer
  // made); Loaded() tells whether the game took it.
  explicit StageSession(const std::string& stageFile, int32_t bpp = 32, uint32_t direct3d = 0);
  ~StageSession();
  StageSession(const StageSession&) = delete;
  StageSession& operator=(const StageSession&) = delete;

  bool Loaded() const { return loaded_; }
  cStageScene& Scene() { return *scene_; }
  // The scene's Run, `n` times (one frame each).
  void Frames(int32_t n);
  // The system data of the session (restored afterwards).
  cSystemData& System() { return SystemData; }
  const Sandbox& Files() const { return display_; }
  // Sound effects the scene asked the main window for (WM_USER+5), in order;
  // and whether the scene asked it to close.
  const std::vector<int32_t>& Sounds() const { return *sounds_; }
  bool CloseRequested();

 private:
  void Start(const std::string& stageFile, int32_t bpp, uint32_t direct3d);

  DisplaySandbox display_;
  cSystemData savedSystem_;
  std::unique_ptr<cStageScene> scene_;
  bool loaded_ = false;
  // The window that stands in for the main window.
  std::shared_ptr<std::vector<int32_t>> sounds_ = std::make_shared<std::vector<int32_t>>();
  std::shared_ptr<bool> closed_ = std::make_shared<bool>(false);
  uint64_t window_ = 0;
  uint64_t savedMainWindow_ = 0;
  std::string (*savedSetUpCheck_)(const cStageData&) = nullptr;
  int32_t savedActive_ = 0;  // the program counts as active while the session runs
};

// For tests of stage objects without a scene: keeps the working stage's
// numbers (fields and speed step) and puts them back at the end, and stands
// in for the scene's view of the two axes while it lives (the test fills
// `x` and `y`).
// The running game's flows (host and hooks) for a test's length; what was
// installed before is put back.
class StageFlowsInstalled {
 public:
  StageFlowsInstalled();
  ~StageFlowsInstalled();
  StageFlowsInstalled(const StageFlowsInstalled&) = delete;
  StageFlowsInstalled& operator=(const StageFlowsInstalled&) = delete;

 private:
  cFlowHost* host_;
  cFlowHooks* hooks_;
};

class ScopedStageRunning {
 public:
  ScopedStageRunning();
  ~ScopedStageRunning();
  ScopedStageRunning(const ScopedStageRunning&) = delete;
  ScopedStageRunning& operator=(const ScopedStageRunning&) = delete;
  // The running values of speed level `level` with the stage gravity.
  static void SetLevel(int32_t level, double gravity);

  cAxisView x, y;

 private:
  int32_t savedInts_[kStageFieldCount + 1];
  double savedDoubles_[kStageFieldCount + 1];
  int32_t savedStep_ = 0;
};

// While it lives, the stage's waits neither draw nor present their kept
// frames (for tests that keep an hour of frames and check only what the
// wait polls, counts and ends on); drawing is back on when it goes.
class ScopedWaitWithoutDrawing {
 public:
  ScopedWaitWithoutDrawing();
  ~ScopedWaitWithoutDrawing();
  ScopedWaitWithoutDrawing(const ScopedWaitWithoutDrawing&) = delete;
  ScopedWaitWithoutDrawing& operator=(const ScopedWaitWithoutDrawing&) = delete;
};
