// Loading a stage for play: the trailer check, then the read on the
// stage-loading thread while the calling thread keeps serving its window
// messages, then the hero check and the master copy.
#pragma once

#include <cstdint>
#include <string>

class cStageData;
class cEdCharacter;

// Loads the stage file `path` (a program path) into the working stage
// StageData. With `numbered` set, `path` is a base name: its extension becomes
// the stage extension and the highest-numbered existing "name_NNN" is loaded
// (none: 0). 1 when loaded; 0 after the trailer check failed, the read failed
// ("ステージファイル %s の読み込みに失敗しました！"), the stage has no hero
// ("主人公が配置されていないのでプレイできません！" and the fault road), or WM_QUIT
// arrived meanwhile (the loader thread is stopped). On success `master` (when
// not null) gets the stage's settings (CopySettingsFrom) and `hero` (when not
// null) the hero's placed-character record.
// Called on the game thread (or the thread of its caller, which must own its
// message queue).
int StartStage(const std::string& path, int32_t numbered, cStageData* master, cEdCharacter* hero);

// Body of the stage-loading thread: StageData.LoadFromFile of its loaded-path
// text; sets StageData.m_bLoaded on success. A stage read whole that the
// set-up check refuses leaves StageData as it was, as a broken file does.
uint32_t LoadStageThread(void* argument);

// Why a stage that was read could not be laid out for play (empty: it
// could). Stage play installs the check (InstallStageSetUpCheck); the stage
// loader and the replay reader ask it of every stage before they take it,
// on the thread that read it. Without a check installed every stage passes.
using StageSetUpCheck = std::string (*)(const cStageData& stage);
// Returns the check installed before.
StageSetUpCheck SetStageSetUpCheck(StageSetUpCheck check);
std::string StageSetUpRefusal(const cStageData& stage);
// The report log's line for a stage that was read and refused: the file
// `where` (a stage or a replay file), then "the stage cannot be played: "
// and `why`.
void ReportStageRefused(const std::string& where, const std::string& why);

// Test seam: when set, the stage-loading thread calls it before it reads the
// file, so that a test can hold the read there. Null (the default) calls
// nothing; the game never sets it.
using StageReadHook = void (*)();
void SetStageReadHookForTest(StageReadHook hook);
