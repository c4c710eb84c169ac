// Headless harness: runs the real entry point and frame step in this process,
// with the headless window host, in a fresh working folder of its own. Tests
// feed keys and dialog answers, step frames on a virtual clock (or let them
// run in real time), and read back the presented frames.
//
// One harness per process at a time (the game's state is global; ctest runs
// every test in a process of its own).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "platform/window_host.h"
#include "scene/scene.h"

class GameHarness {
 public:
  struct Options {
    bool virtualClock = true;
    std::string dialogAnswers;  // PELMORA_DIALOG_ANSWERS for this run
    std::string commandLine;    // CP932 stage file, or empty
    int showCommand = 1;
    bool writeProject = true;  // the smallest project the game starts in
    std::string iniLines;      // extra "System.ini" lines
  };

  GameHarness();
  explicit GameHarness(Options options);
  ~GameHarness();  // closes the game if it runs, restores the working folder

  // The fresh working folder (a Linux path) and a path inside it.
  const std::string& Folder() const { return folder_; }
  std::string PathOf(const std::string& relative) const;
  std::string ReadFile(const std::string& relative) const;
  std::string DialogLog() const { return ReadFile("dialogs.log"); }

  // Starts the entry point on a thread that plays the main thread's part;
  // returns once start-up has finished and the game thread runs (false when
  // the entry point returned first or 5 s passed).
  bool Start();
  bool Running() const;

  // Virtual clock: advances time a millisecond at a time while the game
  // thread sleeps, until `frames` more frames were made (false after 5 s of
  // real time without getting there).
  bool StepFrames(uint32_t frames);
  uint32_t FrameCounter() const;

  void PressKey(int virtualKey);
  void ReleaseKey(int virtualKey);
  void Post(uint32_t message, uint64_t wParam = 0, int64_t lParam = 0);

  uint64_t FramesPresented() const;
  bool LastFrame(plat::Frame& out) const;

  // Waits (real time) for the entry point to return; its exit code, or -1
  // when it did not return within timeoutMs.
  int WaitForExit(uint32_t timeoutMs = 5000);
  // Switches the virtual clock off, closes the game without the quit question
  // and waits for the entry point: its exit code, or -1.
  int Close(uint32_t timeoutMs = 5000);

 private:
  Options options_;
  std::string folder_;
  std::string previousFolder_;
  plat::HeadlessWindowHost* host_ = nullptr;
  std::thread mainThread_;
  std::atomic<int> exitCode_{-1};
  std::atomic<bool> returned_{false};
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
