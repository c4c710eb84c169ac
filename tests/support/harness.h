// Runs the real entry point and frame step in this process, headless, in a
// fresh working folder: tests feed keys and dialog answers, step frames on the
// virtual clock (benchmarks: real time) and read back the presented frames.
// When it goes, the game is closed and its process-wide state put back. One
// harness at a time (the game's state is global).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <memory>

#include "app/headless_run.h"
#include "platform/window_host.h"
#include "scene/scene.h"
#include "support/sandbox.h"

class GameHarness {
 public:
  struct Options {
    bool virtualClock = true;   // false: the game runs in real time (benchmarks)
    std::string dialogAnswers;  // PELMORA_DIALOG_ANSWERS for this run
    std::string commandLine;    // CP932 stage file, or empty
    bool writeProject = true;   // the smallest project the game starts in
    std::string iniLines;       // extra "System.ini" lines
  };

  GameHarness();
  explicit GameHarness(Options options);
  ~GameHarness();

  // The fresh working folder (a Linux path) and paths inside it.
  const std::string& Folder() const { return folder_.Path(); }
  std::string PathOf(const std::string& relative) const { return folder_ / relative; }
  std::string ReadFile(const std::string& relative) const { return folder_.Read(relative); }
  std::string DialogLog() const { return ReadFile("dialogs.log"); }

  // Starts the entry point on a thread that plays the main thread's part;
  // returns once start-up has finished and the game thread runs (false when
  // the entry point returned first).
  bool Start() { return run_->Start(); }
  bool Running() const { return run_->Running(); }

  // Advances the virtual clock a millisecond at a time while every thread on
  // it sleeps, until `frames` more frames were presented (false when the game
  // ended first). On the virtual clock the game thread then stands between
  // frames until the next step: read the game's state and press keys only
  // between steps (the keys go to the next frame).
  bool StepFrames(uint32_t frames) { return run_->StepFrames(frames); }
  uint32_t FrameCounter() const;

  void PressKey(int virtualKey) { run_->PressKey(virtualKey); }
  void ReleaseKey(int virtualKey) { run_->ReleaseKey(virtualKey); }

  uint64_t FramesPresented() const { return run_->FramesPresented(); }
  bool LastFrame(plat::Frame& out) const { return run_->LastFrame(out); }

  // Keeps the virtual clock moving until the entry point returns; its exit
  // code. -1 when the game is still running after `frames` more frames were
  // presented (a game that shows frames on instead of ending; Close or the
  // harness's end closes it), or when it hangs. The default leaves the main
  // thread all the time a busy machine may take to get to a close request
  // while the game thread presents on.
  static constexpr uint32_t kExitFrames = 60 * 60 * 10;  // ten minutes of game time
  int WaitForExit(uint32_t frames = kExitFrames);
  // Closes the game without the quit question and waits for the entry point.
  int Close() { return run_->Close(); }

  // The run underneath (the real entry point on the headless host).
  HeadlessRun& Run() { return *run_; }

 private:
  Options options_;
  TempFolder folder_;
  ScopedWorkingFolder working_;
  ScopedEnv env_;
  ScopedManualAudioPull pull_;  // sound is mixed, no device opens
  int cursorCount_;
  std::unique_ptr<HeadlessRun> run_;
};

// A scene for tests: counts its frames and fills the back buffer with a colour
// that changes every frame (so presented frames can be told apart), and runs
// an optional hook each frame.
class TestScene : public cScene {
 public:
  explicit TestScene(std::function<void(TestScene&)> onRun = {}) : onRun_(std::move(onRun)) {}
  int Run() override;
  uint32_t runs = 0;

 private:
  std::function<void(TestScene&)> onRun_;
};
// Palette number TestScene fills the screen with in its n-th run (1-based),
// and the colour that gives on a 32-bit display.
uint32_t TestScenePaletteNumber(uint32_t run);
uint32_t TestSceneColour(uint32_t run);
