// The whole game run in this process without a window system: the real
// entry point, start-up, scene manager and frame step, on a thread that
// plays the main thread's part, with the headless window host and (by
// default) the virtual clock. The caller advances time, feeds keys and reads
// back presented frames. Used by `pelmora-tool play`, the test harness and
// the benchmarks.
//
// The game's state is process-wide: one run at a time. The run installs its
// window host and clock when it is made and puts them back (no host, real
// clock, game globals reset) when it goes; the working folder, environment
// and audio device are the caller's.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "platform/window_host.h"

class HeadlessRun {
 public:
  struct Options {
    bool virtualClock = true;  // false: the game runs in real time (benchmarks)
    std::string commandLine;   // CP932 stage file, or empty
    // The show command the entry point is called with, as `pelmora
    // --show-command=N` gives it: SW_SHOW (5) is the editor's start, whose
    // notifications go to the editor's socket in the runtime folder (the
    // caller's PELMORA_RUNTIME_DIR; dropped at once when nothing listens).
    int showCommand = plat::SW_SHOWNORMAL;
  };

  explicit HeadlessRun(Options options);
  ~HeadlessRun();
  HeadlessRun(const HeadlessRun&) = delete;
  HeadlessRun& operator=(const HeadlessRun&) = delete;

  // Starts the entry point; returns once start-up has finished and the game
  // thread runs (false when the entry point returned first). On the virtual
  // clock the game thread stops before its first frame (see StepFrames).
  bool Start();
  bool Running() const;
  bool Returned() const { return returned_.load(); }

  // Lets the game thread run on freely and moves the virtual clock a
  // millisecond at a time, each time every thread on it sleeps, until
  // `done` holds. False only when the game hangs (a minute of machine time
  // without `done`).
  bool AdvanceUntil(const std::function<bool()>& done);
  // Until `frames` more frames were presented (false when the game ended
  // first). On the virtual clock it returns once the game thread stands at
  // the hand-over after the last of them (platform/frame_hand_over.h), and
  // the thread stays there until the next call that lets it go: the game's
  // state read and the keys set meanwhile are those of the frame presented
  // last and of the next one, whatever the load.
  bool StepFrames(uint32_t frames);

  void PressKey(int virtualKey);
  void ReleaseKey(int virtualKey);

  uint64_t FramesPresented() const;
  bool LastFrame(plat::Frame& out) const;
  plat::HeadlessWindowHost& Host() { return *host_; }

  // Keeps the clock moving until the entry point returns; its exit code
  // (-1 only when it hangs).
  int WaitForExit();
  // Closes the game without the quit question and waits for the entry point.
  int Close();

 private:
  // AdvanceUntil without letting the game thread go.
  bool Drive(const std::function<bool()>& done);

  Options options_;
  plat::HeadlessWindowHost* host_ = nullptr;
  std::thread mainThread_;
  std::atomic<int> exitCode_{-1};
  std::atomic<bool> returned_{false};
};

// The globals a game run leaves behind (start-up flags, settings, scenes,
// timers, logs, display, frame-trace hooks), back to their start.
void ResetGameStateAfterRun();
