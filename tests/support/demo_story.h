// The demo's story played in this process on the test harness, frame by
// frame, with key scripts as `pelmora-tool play` takes them (each counting
// its frames on from the end of the one before): the demo made into the
// harness's folder, a start from its title (a new game by the title's
// route, or a game continued from a save of the test's own), then the
// scripts. Between frames the game stands still (the harness holds it), so
// the caller reads the game's state after each frame as that frame left
// it; the frame trace is kept as the tool writes it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/play_script.h"
#include "support/harness.h"

struct DemoStoryStart {
  // 0: a new game from the title: the title's route (tests/routes/demo/
  // 01-title.txt, onto the first world, whose stage it starts), then the
  // scripts. n: a game saved in the first slot with worlds 1 to n cleared,
  // continued from the title (the scripts count as if the first stage had
  // been started by decide on the map's box: the first script's frame 1 is
  // the frame after that decide).
  int clearedWorlds = 0;
  // Where the saved game's hero stands: 0, on world n + 1, never entered,
  // whose stage the map starts at once; else on that world (one cleared,
  // whose box `mapKeys` opens).
  int standOn = 0;
  // Keys after the continue's, counted from the run's first frame (a script
  // without a length line).
  std::string mapKeys;
  std::vector<std::string> scripts;  // route texts, each with its length line
  std::string dialogAnswers;         // the game's dialogs' answers (PELMORA_DIALOG_ANSWERS)
};

// A route of tests/routes/demo, as its file holds it.
std::string DemoRoute(const char* name);

class DemoStory {
 public:
  // Makes the demo (and the save) in a fresh harness; failures are
  // recorded (gtest) and leave it not Ready.
  explicit DemoStory(const DemoStoryStart& start);
  ~DemoStory();
  bool Ready() const { return ready_; }

  // Starts the game, then plays frame by frame until `afterFrame` (called
  // after each frame with its number, counted from 1) returns true. False
  // when the game did not start, ended, or played `frames` frames first.
  bool Play(uint32_t frames, const std::function<bool(uint32_t frame)>& afterFrame);

  // The frame of the run on which the scripts' frame 1 fell (0 until it is
  // known: for a continued game, once the stage shows).
  uint32_t ScriptsBegan() const { return scriptsBegin_; }
  // The frames the scripts cover together.
  uint32_t ScriptsLength() const { return scripts_.Length(); }
  // The frame trace so far, a line a frame from the run's first, as
  // `pelmora-tool play --trace` writes it.
  const std::vector<std::string>& Trace() const { return trace_; }
  GameHarness& Game() { return *game_; }

 private:
  PlayKeySet KeysAt(uint32_t frame) const;

  int clearedWorlds_ = 0;
  std::unique_ptr<GameHarness> game_;
  PlayScript title_;    // the keys from the title's first frame
  PlayScript scripts_;  // the scripts, one after another
  uint32_t scriptsBegin_ = 0;
  bool stageShown_ = false;
  std::vector<std::string> trace_;  // written by the presenting thread, read between frames
  bool ready_ = false;
};
