// The attempts stage play keeps for replays: the running attempt's key log
// and play record as it began, and those of the attempt before it, and the
// save keys (F1 the running attempt, F2 the one before).
//
// Threads: game thread only; the caller sends the save request to the main
// window and the main window calls SaveAttempt.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "data/replay_file.h"
#include "scene/play_record.h"

class cStageData;
class cInput;

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

  // The seed of an attempt being set up, which the caller gives the random
  // generator. In playback the log goes back to its first frame and the play
  // record to the one the replay began with, and the seed is the replay's.
  // Otherwise `clockSeed`; while replays are enabled it starts a new attempt
  // (BeginAttempt).
  uint32_t StartAttempt(bool playback, bool replaysEnabled, cSaveData& record, uint32_t clockSeed);
  // A replay just loaded into KeyLogRecord: `record` is the play record it
  // begins with, restored at every start of its playback.
  void BeginPlayback(const cSaveData& record);
  // Playback: both words of `input` replaced by the log's next frame; false
  // (the words cleared) once the log is played out.
  bool FeedFrame(cInput& input);
  // Recording: the words of `input` as stage play used them this frame.
  void RecordFrame(const cInput& input);

  // A frame of a wait inside a play frame (the stage standing still while a
  // message waits for decide or a timed wait runs). Recording: the words
  // polled, marked as a wait's (cKeyLog::kWaitFrameMark), so that playback
  // ends the wait where the player ended it. Playback: `input` gets the
  // next marked frame's words; a log without marked frames there (a replay
  // written by another program, which keeps play frames only) answers the
  // wait at once: decide when `mayDecide` (the wait would take a press now),
  // else nothing, the log untouched. False when the log is played out (the
  // wait then ends, and the next play frame starts the replay again).
  void RecordWaitFrame(const cInput& input);
  void RecordWaitFrame(uint16_t direction, uint16_t buttons);
  bool FeedWaitFrame(cInput& input, bool mayDecide);
  // Playback: the log's next frame into `input` when it is a wait's (marked);
  // false, nothing read and `input` untouched, when it is not or the log is
  // played out. A wait the viewer ended early reads the rest of its
  // recorded frames through this.
  bool FeedRecordedWaitFrame(cInput& input);

  enum class SaveRequest : int32_t {
    kNone,      // no key, playback, replays off, or a refusal within the cool-down
    kRefused,   // the chosen attempt has no frames: the caller sounds the buzzer
    kCurrent,   // F1: save the running attempt
    kPrevious,  // F2: save the attempt before it
  };
  // Once a frame, with the keys' state.
  SaveRequest CheckSaveKeys(bool f1Down, bool f2Down, bool playback, bool replaysEnabled);

  // As CheckSaveKeys, for the keys' state as polled: a key acts when it
  // goes down, so a key still held after its save does not ask again.
  SaveRequest PollSaveKeys(bool f1Down, bool f2Down, bool playback, bool replaysEnabled);

  // Writes the chosen attempt with the stage (`stage` the working stage,
  // `master` its master copy). A file that cannot be written shows a message
  // and gives false; the game goes on either way.
  bool SaveAttempt(bool previous, const std::string& path, cStageData& stage, cStageData& master);

  // Sends the save request to the main window and waits for it (the
  // front end installs it): 1 when saved. Unset, a save request does
  // nothing.
  std::function<int32_t(int32_t previousAttempt)> m_AskSave;

  cSaveData m_CurrentSnapshot;
  cSaveData m_PreviousSnapshot;
  cSaveData m_PlaybackRecord;
  int32_t m_nCooldown = 0;
  bool m_bF1Held = false;
  bool m_bF2Held = false;
};

// The game's recorder (its logs are KeyLogRecord and KeyLogPrevious).
extern cReplayRecorder ReplayRecorder;

// The data version of the replay being played back (the title's replay
// command); 0 outside playback.
int32_t ReplayPlaybackVersion();
