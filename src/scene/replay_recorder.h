// The attempts stage play keeps for replays: the running attempt's key log
// and play record as it began, and those of the attempt before it, and the
// save keys (F1 the running attempt, F2 the one before).
//
// Threads: game thread only; the caller sends the save request to the main
// window and the main window calls SaveAttempt.
#pragma once

#include <cstdint>
#include <string>

#include "data/replay_file.h"
#include "scene/play_record.h"

class cStageData;

class cReplayRecorder {
 public:
  // Frames the save keys are ignored after a refused press.
  static constexpr int kRefusedCooldown = 60;

  // A new attempt outside playback: the running attempt becomes the previous
  // one (log and play record), the play record as it is now is kept for the
  // new one, and its log starts empty with `seed` (the caller seeds the
  // random generator with it).
  void BeginAttempt(const cSaveData& record, uint32_t seed);
  // The running attempt's input of one frame.
  void AddFrame(uint16_t direction, uint16_t buttons) { KeyLogRecord.AddFrame(direction, buttons); }
  // Forgets both attempts (the first entry into stage play from a menu).
  void Reset();

  enum class SaveRequest : int32_t {
    kNone,      // no key, playback, replays off, or a refusal within the cool-down
    kRefused,   // the chosen attempt has no frames: the caller sounds the buzzer
    kCurrent,   // F1: save the running attempt
    kPrevious,  // F2: save the attempt before it
  };
  // Once a frame, with the keys' state.
  SaveRequest CheckSaveKeys(bool f1Down, bool f2Down, bool playback, bool replaysEnabled);

  // Writes the chosen attempt with the stage (`stage` the working stage,
  // `master` its master copy). A file that cannot be written shows a message
  // and gives false; the game goes on either way.
  bool SaveAttempt(bool previous, const std::string& path, cStageData& stage, cStageData& master);

  cSaveData m_CurrentSnapshot;
  cSaveData m_PreviousSnapshot;
  int32_t m_nCooldown = 0;
};

// The game's recorder (its logs are KeyLogRecord and KeyLogPrevious).
extern cReplayRecorder ReplayRecorder;
