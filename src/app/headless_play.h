// A scripted play of the game in this process (`pelmora-tool play`): the real
// entry point on the headless window host and the virtual clock, as fast as
// the machine allows, for a number of frames or until the game ends, with
// scripted keys, a frame trace (frame_trace.h) and screenshots.
//
// The same project, script and frame count give byte-identical traces and
// screenshots: time is the virtual clock, keys change only between frames
// (on the presenting thread, right after a frame is presented, for the next
// one), and the trace and pictures are taken on that thread too.
//
// A trace or a sound that cannot take a frame (a full disk, a pipe whose
// reader has gone) ends the run after that frame, which fails naming the
// file and why.
//
// ESC closes the game window, as it does for a player: the run ends with
// the frame that holds it (the frames the closing game still makes depend
// on the machine's timing and are left out).
//
// The caller provides the surroundings: the working folder is the project
// folder, and the environment names a runtime folder of the run's own
// (PELMORA_RUNTIME_DIR) so that another running copy is not taken for this
// one. No audio device opens: the mix is left unpulled.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/play_script.h"
#include "platform/window_host.h"

struct HeadlessPlayOptions {
  std::string commandLine;  // CP932 stage file to play, or empty for the title
  int showCommand = plat::SW_SHOWNORMAL;  // the entry point's; SW_SHOW (5): the editor started the game
  uint32_t frames = 0;      // frames to play (0: none; start-up only)
  PlayScript script;
  std::string tracePath;    // UTF-8 file for the JSON lines; empty: no trace
  std::string shotFolder;   // UTF-8 folder for frame-NNNNNN.png; empty: none
  uint32_t every = 1;       // a screenshot of every frame whose number this divides
  // UTF-8 file for the mix a player hears (a 44100 Hz stereo 16-bit WAV, 735
  // sample frames a game frame); empty: none. Written only by a run that ends
  // with exit code 0, through a temporary file renamed over it at the end (a
  // device or a pipe is written in place, never replaced).
  std::string soundPath;
  // A file's name as the messages print it (the tool's escaping of bytes
  // that are no text); empty: as it is.
  std::function<std::string(const std::string& path)> nameShown;
};

struct HeadlessPlayResult {
  int exitCode = 0;          // 0 played; 1 start-up failed, a file could not be written, or the game hung
  uint32_t framesPlayed = 0; // frames presented and traced (at most the frames asked for)
  bool gameEnded = false;    // the game ended by itself before the last frame
  std::string error;         // what went wrong, for the caller to print (UTF-8)
  // A start that failed: why, as its error boxes said it (CP932, in order;
  // StartReasonText tells one).
  std::vector<std::string> startReasons;
};

HeadlessPlayResult RunHeadlessPlay(const HeadlessPlayOptions& options);

// "frame-000042.png": the screenshot name of a frame.
std::string ScreenshotName(uint32_t frame);
// That name in `folder`.
std::string ScreenshotPath(const std::string& folder, uint32_t frame);
