// The game's dialogs as requests: the game thread never opens a dialog
// itself. It sends a private message to the game window, which runs the
// dialog on the main thread with the worker threads suspended, and waits
// for the request's done flag. The done flag is set on every way out: a
// confirmed dialog, a cancelled one, a dialog closed with its window, and a
// game window that has gone (the request then answers 0 at once).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/messages.h"

enum : uint32_t {
  kTextEntryRequest = plat::WM_USER + 1,   // text-entry dialog
  kLoadStageRequest = plat::WM_USER + 2,   // choose a stage file and play it
  kLoadReplayRequest = plat::WM_USER + 3,  // choose a replay and load it
  kSaveReplayRequest = plat::WM_USER + 4,  // save a replay (wParam 0 this attempt, 1 the previous)
  kOptionApplyRequest = plat::WM_USER + 7, // wParam 0: the music option, 1: the sound volume option
};

extern std::atomic<int32_t> g_bTextEntryDone;
extern std::atomic<int32_t> g_bFileRequestDone;
extern std::atomic<int32_t> g_nFileRequestResult;  // 1 confirmed (and done), 0 cancelled or failed
// The stage request's answer when the file chosen was a replay, loaded as
// the replay request loads one.
inline constexpr int32_t kFileRequestReplayLoaded = 2;

// Whether a file name's extension is a replay's ("rpl4_" and the data
// version, in any case).
bool IsReplayFileName(const std::string& path);

// The stage's ranking name: the text-entry dialog edits it when a stage
// scene exists and the options screen is not the one asking.
extern std::string g_strStageRankingName;

// What the replay requests do with the chosen file; empty functions make
// those requests answer 0 after the dialog.
struct ReplayFileOps {
  std::function<bool(const std::string& path)> load;
  std::function<bool(const std::string& path, int32_t previousAttempt)> save;
  std::function<bool(std::string& proposedName)> makeName;
};
extern ReplayFileOps g_ReplayFileOps;
// Start-up: the replay requests load into the current key log, the working
// stage, its master copy and the play record, and save the recorder's
// attempts; stage play's F1 and F2 send the save request. A replay that
// cannot be read or written shows a message and answers 0.
void InstallReplayFileOps();

// Game thread: send the request to the game window and wait for its done
// flag. The file requests return the request's result: AskFreePlayStage 1
// for a stage, kFileRequestReplayLoaded for a replay, 0 for nothing loaded
// (cancelled, or a file that could not be read, which the request has
// reported).
void AskTextEntry();
int32_t AskFreePlayStage();
int32_t AskReplayFile();
int32_t AskSaveReplay(int32_t previousAttempt);

// Game thread: the main thread, which owns the music player and the sound
// effects, makes them follow the option record: the player set up or
// released by the music option, or every sound effect at the volume of the
// volume option.
void AskMusicOption();
void AskSoundVolumeOption();

// Main thread, the game window's handler of the requests above.
void ServeDialogRequest(uint32_t message, uint64_t wParam);
