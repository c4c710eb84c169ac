// The play record: what a player's game carries from stage to stage and from
// run to run of the program — the stage and world being played, lives and
// continues, score and result sums, the common variables, the hero's state
// carried between stages, per-stage best results and progress flags.
//
// One instance (SaveData) lives for the whole run. It is written as a save
// slot, as the challenge progress file and inside replay files.
//
// File form: the record's declared fields (version-gated, see DefineFields),
// then the save time (16 bytes), the stored-part flags, the kept heroes, the
// best results, the world progress, the progress flags and the common
// variables, each list as a u32 count and its elements.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/character.h"
#include "data/save_slots.h"

// Carry-over parts: groups of the hero's state that a stage can hand to the
// next one, each enabled by a system setting (cSystemData::m_CarryOver) and
// remembered by a stored flag.
enum : int {
  kCarryGraphic = 0,        // graphic kind, number (at least 1 when restored), set
  kCarryPart1 = 1,          // a 16-bit value
  kCarryLayer = 2,          // drawing layer
  kCarryTransparency = 3,
  kCarryRunningState = 4,   // a 16-bit and two 8-bit values of the running hero
  kCarryFacingFixed = 5,
  kCarryFlying = 6,
  kCarryInvincible = 7,
  kCarryScale = 8,
  kCarryFollowsScroll = 9,
  kCarrySight = 10,         // an 8-bit value and the sight range
  kCarryCounterA = 11,      // two 32-bit hero counters (stage play keeps the hero's HP and SP in them)
  kCarryCounterB = 12,
  kCarryMaxHp = 13,
  kCarryMaxSp = 14,
  kCarryPart15 = 15,        // an 8-bit value
  kCarryContactPower = 16,
  kCarryContactImpact = 17,
  kCarryDefence = 18,
  kCarryImpactResistance = 19,
  kCarryStoppingEase = 20,
  kCarryFlows = 21,         // the hero's flow list, whole
  kCarryStageValue = 22,    // a value of the running stage
  kCarryLives = 23,
  kCarryMusicTrack = 24,
  kCarryPartCount = 25,
};

// Values of the carry-over parts that are not fields of the hero's
// definition: what stage play passes to StoreHeroState and gets back from
// RestoreHeroState.
struct cHeroCarryValues {
  int32_t nCounterA = 0;       // part 11
  int32_t nCounterB = 0;       // part 12
  int16_t nRunningWord = 0;    // part 4
  uint8_t nRunningByteA = 0;   // part 4
  uint8_t nRunningByteB = 0;   // part 4
  int32_t nStageValue = 0;     // part 22
  int32_t nLives = 0;          // part 23
  int32_t nMusicTrack = 0;     // part 24
};

// One kept hero: its definition holding the carried values of parts 0-10 and
// 13-21, and five declared words for parts 11, 12, 22, 23, 24.
class cSavedCharacter : public cRecord {
 public:
  static constexpr size_t kMinBodyBytes = 8 + cEdCharacter::kMinBodyBytes;
  cSavedCharacter() { Clear(); }
  PELMORA_RECORD_CLASS(cSavedCharacter)
  void DefineFields(int32_t version) override;
  // The declared words, then the embedded definition.
  bool Read(cDataReader& in) override;
  void Write(cDataWriter& out) override;
  void DumpLists(cJsonWriter& json) override;

  int32_t m_nCounterA = 0;    // part 11
  int32_t m_nCounterB = 0;    // part 12
  int32_t m_nStageValue = 0;  // part 22
  int32_t m_nLives = 0;       // part 23
  int32_t m_nMusicTrack = 0;  // part 24
  cEdCharacter m_Character;
};

// The best result of one stage; looked up by its second name.
class cStageBestRecord : public cRecord {
 public:
  cStageBestRecord() { Clear(); }
  PELMORA_RECORD_CLASS(cStageBestRecord)
  void DefineFields(int32_t version) override;
  // Files older than the second name get the stage name as second name and
  // a first stage number of 0.
  bool Read(cDataReader& in) override;

  std::string m_strStageFile;
  std::string m_strStageName;
  int32_t m_nStageNumber[3] = {};
  int32_t m_nBestPoints = 0;
};

// One world's entry of the world progress list. The challenge mode keeps
// its stage entries here: cleared flag and best total score.
class cWorldProgressRecord : public cRecord {
 public:
  cWorldProgressRecord() { Clear(); }
  PELMORA_RECORD_CLASS(cWorldProgressRecord)
  void DefineFields(int32_t version) override;
  int32_t& Cleared() { return m_nValue[0]; }
  int32_t& BestTotal() { return m_nValue[1]; }
  int32_t m_nValue[2] = {};
};

// The world map's facts the play record clamps to (from "data\WorldMap.dat"
// and the system data; the front end fills them, tests set them).
struct cWorldMapBounds {
  int32_t nWidth = 0;     // cells; 0: no map (cursor checks are skipped)
  int32_t nHeight = 0;
  int32_t nStartX = 0;
  int32_t nStartY = 0;
  // World groups of the system data; -1: not known yet (the world progress
  // list and the opened-world count are left alone).
  int32_t nGroupCount = -1;
};

class cSaveData : public cSaveRecordBase {
 public:
  static constexpr int kProgressFlagCount = 1000;
  static constexpr int kCommonVariableCount = 1001;  // numbers 1..1000

  cSaveData();
  PELMORA_RECORD_CLASS(cSaveData)
  void DefineFields(int32_t version) override;
  // Declared fields, then the tail; older files get their defaults; then
  // Validate.
  bool Read(cDataReader& in) override;
  // Validate, the declared fields, then the tail.
  void Write(cDataWriter& out) override;
  void DumpLists(cJsonWriter& json) override;
  // A file replaces the whole stored record: fields an older file lacks get
  // a new record's values, not those of the record it replaces. What is
  // held in memory only is carried over.
  std::unique_ptr<cRecord> CloneForReading() const override;
  void ApplyLivesRule(int32_t unlimited, int32_t startLives) override;

  // Construction and new game: empty lists, flags and variables zero
  // (progress flag 0 set), one opened world, no current slot, name "aaa",
  // auto-save off.
  void Reset();
  // Cursor inside the map, world progress sized to the world groups, the
  // opened-world count within it.
  void Validate();

  // Stage name and the three stage numbers; sets the first-stage flag and
  // the second name (the base form). See the .cpp for the exact rule.
  void SetStage(const char* name, int32_t n1, int32_t n2, int32_t n3);
  // The stored stage file name as text (up to its first zero byte): after
  // SetStage the base form, e.g. "abc." for "abc-1.stg".
  std::string StageBaseName() const { return std::string(m_strStageFile.c_str()); }
  void RecordStageResult(const std::string& stageFile, const std::string& stageName, const int32_t numbers[3],
                         int32_t points);
  int32_t GetStageBest(const std::string& stageName) const;
  // Total points = best points of the stages whose world still exists
  // (`worldExists` tells; null counts every stage).
  void RecountTotal(bool (*worldExists)(const cStageBestRecord&, void*) = nullptr, void* context = nullptr);

  // The copy of the common variables (and lives, stage points) a retry
  // restores.
  void KeepVariables();
  // Stage points := kept; the common variables := kept when
  // `restoreVariables` (the current play mode's option) is on; forced (a
  // retry, the end of a replay's key log) also lives := kept lives.
  void RestoreVariables(bool forced, bool restoreVariables);

  // Copies the enabled parts of the hero's state into its kept element.
  void StoreHeroState(int hero, const cEdCharacter& definition, const cHeroCarryValues& values);
  // Copies the parts stored and enabled back into `definition` (part 23 into
  // the record's lives); `values` receives parts 4, 11, 12, 22-24. Returns a
  // mask of the parts restored (bit p for part p); 0 without a kept state.
  uint32_t RestoreHeroState(int hero, cEdCharacter& definition, cHeroCarryValues* values = nullptr);
  // Parts 11 and 12 into the hero's counters when stored and enabled.
  void RestoreHeroCounters(int hero, int32_t& counterA, int32_t& counterB) const;
  // Clears the stored flags of the parts the system resets between stages.
  void ForgetResetParts();

  // A new play-through: count + 1, progress flags cleared (flag 0 set),
  // cursor to the map's start.
  void BeginNextRound();

  // The play record's part of a stage attempt's start (the scene resets its
  // own state): the pending variable assignment (outside replay playback),
  // lives := the start lives (continues field), score, stage points, result
  // sums and the pending start point := 0.
  void ResetPlayCounters(bool replayPlayback);
  // One life for an attempt: 1 without change in test play or with
  // unlimited lives; 0 when none is left; else lives - 1 and 1.
  int TakeLife(bool testPlay);
  // A replay or an editor test play counts its results from zero: score,
  // stage points and the four result sums := 0.
  void ClearStageCounters();

  // Common variable n (1..1000); 0 / ignored outside.
  int32_t GetCommonVariable(int n) const;
  void SetCommonVariable(int n, int32_t value);
  int32_t GetProgressFlag(int n) const;
  void SetProgressFlag(int n, int32_t value);
  // A world is cleared when the progress flag of its number is set.
  bool IsWorldCleared(int world) const { return GetProgressFlag(world) != 0; }
  // The challenge entry of world `world` (1..): m_WorldProgress[world - 1];
  // null outside the list.
  cWorldProgressRecord* ChallengeEntry(int world);
  // In the challenge mode the opened-world count is the challenge progress
  // and the total points the challenge total score.

  // ---- declared fields, in file order ----
  int32_t m_bKeptHeroState = 0;   // 1
  int32_t m_nMapX = 0;            // 2 world-map cursor
  int32_t m_nMapY = 0;            // 3
  int32_t m_nValue4 = 0;          // 4
  int32_t m_nRound = 0;           // 5 play-through count
  std::string m_strStageFile;     // 6 (reads as the base form after SetStage)
  std::string m_strStageName;     // 7 second name: key of the best results
  int32_t m_nStageNumber[3] = {}; // 8-10
  int32_t m_nWorld = 0;           // 11
  int32_t m_nStage = 0;           // 12
  // 13: the lives every attempt from the map starts with (ResetPlayCounters);
  // kUnlimitedLives: unlimited.
  int32_t m_nContinues = 0;
  int32_t m_nLives = 0;           // 14 (kUnlimitedLives: unlimited)
  int32_t m_nScore = 0;           // 15 this attempt's score, 0..999999
  int32_t m_nStagePoints = 0;     // 16 scores of a chain's cleared stages
  int32_t m_nTotalPoints = 0;     // 17 sum of the best results
  int32_t m_nTimeLeftSum = 0;     // 18
  int32_t m_nClearTimeSum = 0;    // 19
  int32_t m_nHpLeftSum = 0;       // 20
  int32_t m_nSpLeftSum = 0;       // 21
  // 22: set by SetStage for a first stage ("…-1.…"); it is also the chain
  // switch: only a stage entered as a first stage leads on to "…-2", "…-3".
  int32_t m_bFirstStage = 0;
  int32_t m_nValue23 = 0;         // 23
  int32_t m_nValue24 = 0;         // 24
  int32_t m_nMapFacing = 0;       // 25 the hero's facing on the world map
  int32_t m_bStepBack = 0;        // 26 left a stage for the map without clearing it
  int32_t m_nPreMoveX = 0;        // 27
  int32_t m_nPreMoveY = 0;        // 28
  int32_t m_nOpenedWorlds = 1;    // 29
  int32_t nCurrentSlot = -1;      // 30 slot of save and auto-save; -1 none
  int32_t bAutoSave = 0;          // 31
  std::string m_strName;          // 32
  int32_t bShowRanking = 0;       // 33
  int32_t nRankingGenre = 0;      // 34 0..4
  int32_t m_bStartGiven = 0;      // 35 the next stage starts at the given block
  int32_t m_nStartX = 0;          // 36
  int32_t m_nStartY = 0;          // 37
  int32_t m_nStartFacing = 0;     // 38

  // ---- stored after the declared fields ----
  std::vector<uint32_t> m_StoredParts;            // kCarryPartCount flags
  std::vector<cSavedCharacter> m_KeptHeroes;
  std::vector<cStageBestRecord> m_BestResults;
  std::vector<cWorldProgressRecord> m_WorldProgress;
  std::vector<int32_t> m_ProgressFlags;           // kProgressFlagCount
  std::vector<int32_t> m_CommonVariables;         // kCommonVariableCount

  // ---- memory only ----
  std::vector<int32_t> m_KeptVariables;
  int32_t m_nKeptLives = 0;
  int32_t m_nKeptStagePoints = 0;
  // A variable assignment to make when the next attempt starts.
  int32_t m_bPendingVariable = 0;
  int32_t m_nPendingVariable = 0;  // common variable number
  int32_t m_nPendingValue = 0;
  // Music track stage play is playing (0: none): the number the main window
  // was last asked to play for the stage or a flow (WM_USER+6, 4).
  int32_t m_nTrackPlaying = 0;

  // The world map the record clamps to (Validate, BeginNextRound).
  static cWorldMapBounds s_MapBounds;
};

// The one play record of the run.
extern cSaveData SaveData;

// The slot list as the title and world-map menus draw it onto `surface` with
// `font` (the system font): the font's frame box 320 dots wide and rows × 16
// high; per row from slot `first` on, the slot number at x + 16 and its save
// time at x + 64, and a 1-dot separator 15 dots below the row top (none after
// the last row). Drawing stops at the end of the list.
struct DDSURFACEDATA;
class cFont;
void DrawSaveSlotList(DDSURFACEDATA* surface, cFont& font, int32_t x, int32_t y, const cSaveSlotList& list, int first,
                      int rows);
