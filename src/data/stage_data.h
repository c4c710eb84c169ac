// A stage file ("data\stg4\*.stg4_*"): the stage's 98 numeric settings and
// name, its own palette of block, character and item types, the blocks,
// characters and items placed on it, its backgrounds, a list of texts the game
// carries but does not read, five parameter sets and the ranking switches,
// closed by the trailer word 123456789.
//
// Body order in the file (the palettes come before the placed lists, the
// reverse of the order the class lists its members in): base body (98 fields, the name); ranking switches
// (u32 n, n words); parameter sets 1..5; palette blocks, characters, items
// (counted lists); placed blocks, characters, items (u32 n, then per element
// a u32 0 and the body); backgrounds; texts; the trailer (read from version
// 173 on, checked before loading from 174 on).
//
// Every read and write goes through Normalize (scroll range clamps, the
// derived speed values, the music index, two entries at least in each palette
// list, and the reference checks of every type).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/block.h"
#include "data/character.h"
#include "data/item.h"
#include "data/record.h"

inline constexpr uint32_t kStageTrailer = 123456789;  // bytes 15 CD 5B 07
inline constexpr int kStageFieldCount = 98;

// Numbers of the stage's fields (1-based, file order) that the program names.
enum StageField : int {
  kStageWidth = 1,            // blocks
  kStageHeight = 4,           // blocks
  kStageScrollLeftOn = 5,     // horizontal range starts at kStageScrollLeft
  kStageScrollRightOn = 6,    // horizontal range ends after kStageScrollRight
  kStageScrollTopOn = 7,
  kStageScrollBottomOn = 8,
  kStageScrollLeft = 9,       // column; at most width - 20
  kStageScrollRight = 10,     // column; at most width - 1
  kStageScrollTop = 11,       // row; at most height - 15
  kStageScrollBottom = 12,    // row; at most height - 1
  kStageFrameRate = 13,       // frames a second; above 60 no vertical-blank wait
  kStageTimeLimitOn = 14,
  kStageTimeLimit = 15,       // seconds
  kStageForcedScrollXOn = 17,
  kStageForcedScrollYOn = 18,
  kStageForcedScrollXSpeed = 19,
  kStageForcedScrollYSpeed = 20,
  kStageGravity = 21,         // f64; divided by L² into the gravity per sub-step
  kStageSpeedLevel = 22,
  kStageMusic = 24,           // index into the database's Bgm list
  kStageSubSteps = 87,        // effective speed level L (recomputed)
  kStageFrameScale = 88,      // f64 L
  kStageSpeedScale = 89,      // f64 L²
  kStageThirdScale = 90,      // f64 60 for levels 11..19, else 6 L
  kStageGravityPerStep = 91,  // f64 gravity / L²
  kStageMaxSpeed = 92,        // f64 third scale / L
  kStageLandingConstant = 93, // 8 L
};
// ---- Stage scene (scene): the settings the scene's modes and set-up read ----
// The banner, result and game-over switches follow the order in which the
// stage's screens use them (start banner, second banner, result, game over).
enum StageSceneField : int {
  kStageHitChecksPerFrame = 23,  // 0: hits are resolved in every sub-step
  kStageMusicKeep = 25,          // the music keep value handed to the music request
  kStageMusicNoRestart = 26,     // a first start leaves the same track playing
  kStageAutomaticResult = 29,    // the result screen leaves by itself after its count
  kStageHeroCarryOver = 30,      // the hero's carried state is restored at set-up
  kStageStoreHero = 31,          // the tally stores the hero's state for the next stage
  kStageBannerOn = 32,
  kStageSecondBannerOn = 33,
  kStageResultBannerOn = 34,
  kStageGameOverStripOn = 35,
};
// The five removal areas are parameter sets 1..5 (cStageParam): ordinary
// characters, block characters, items, shots of player-controlled shooters,
// other shots; values 1..4 are the side switches (left, right, top, bottom),
// 5..8 the distances in blocks.
enum StageRemovalArea : int {
  kRemovalCharacters = 0,
  kRemovalBlockCharacters = 1,
  kRemovalItems = 2,
  kRemovalPlayerShots = 3,
  kRemovalOtherShots = 4,
};
// ---- Characters, hero and items (chars): the size fields by meaning ----
// A: the hero falling (move mode 0), B: the hero in the free-vertical modes.
enum StageSizeField : int {
  kStageHeroWidthA = 36, kStageHeroHeightA = 37,
  kStageHeroWidthB = 38, kStageHeroHeightB = 39,
  kStageHeroHit1WidthA = 40, kStageHeroHit1HeightA = 41,
  kStageHeroHit1WidthB = 42, kStageHeroHit1HeightB = 43,
  kStageHeroHit2Width = 44, kStageHeroHit2Height = 45,   // attack rectangle
  kStageHeroHit3Width = 46, kStageHeroHit3Height = 47,   // item rectangle
  kStageHeroBottomA = 48, kStageHeroBottomB = 49,        // body bottom-aligned
  kStageHeroHit1BottomA = 50, kStageHeroHit1BottomB = 51,
  kStageHeroHitAreaMode = 52,    // 52..55: display mode of hit-area kinds 0..3
  kStageHeroHitAreaColour = 56,  // 56..59: colour of hit-area kinds 0..3
  kStageCharWidth = 60, kStageCharHeight = 61,           // falling characters' body
  kStageFlyCharWidth = 62, kStageFlyCharHeight = 63,     // free-vertical characters' body
  kStageCharHitWidth = 64, kStageCharHitHeight = 65,     // hit-size mode 0, falling
  kStageFlyCharHitWidth = 66, kStageFlyCharHitHeight = 67,  // hit-size mode 0, free vertical
  kStageCharHit1Width = 68, kStageCharHit1Height = 69,   // hit-size mode 1, the attack rectangle
  kStageCharBottom = 70, kStageFlyCharBottom = 71,       // body bottom-aligned
  kStageCharHitBottom = 72, kStageFlyCharHitBottom = 73, // mode-0 rectangle bottom-aligned
  kStageItemHitWidth = 74, kStageItemHitHeight = 75,
  kStageHeroHitKind2Width = 76, kStageHeroHitKind2Height = 77,  // hero drawn from item pictures
  kStageCharHit2Width = 80, kStageCharHit2Height = 81,   // hit-size mode 2
  kStageHeroInvincibility = 95, kStageEnemyInvincibility = 96,
  kStageHeroInvincibilityPer = 97, kStageEnemyInvincibilityPer = 98,
};
// ---- end of characters, hero and items ----
// ---- Stage drawing (stage_draw.cpp): the settings the frame's painters read ----
enum StageDrawField : int {
  kStageTimeWarning = 16,   // seconds left from which the time-limit warning sounds (once a second)
  kStageDrawingLayers = 27, // objects are drawn in eight layers by their "Z" value (else all in one)
};
// ---- end of stage drawing ----
// True for the fields stored as doubles (21 and 88..92).
constexpr bool IsStageDoubleField(int k) { return k == 21 || (k >= 88 && k <= 92); }

// ---- Where a stage's objects stand ----
// Placed objects stand at signed 16-bit columns and rows, so the game lays
// out no stage wider or higher than 32,768 blocks; a scroll range's first
// and last column and row lie in the same 16-bit space (a stage narrower
// than the view takes them below 0). The reader keeps every number as the
// file gives it: these are limits of the set-up (play/world/stage_limits.h).
inline constexpr int32_t kStageMaxSide = 32768;
inline constexpr int32_t kStageMinScrollBlock = -32768;

// Eight signed numbers (values 2..4 from version 125).
class cStageParam : public cRecord {
 public:
  cStageParam() { Clear(); }
  PELMORA_RECORD_CLASS(cStageParam)
  void DefineFields(int32_t version) override;

  int32_t m_nValues[8] = {};  // values 1..8 at indices 0..7
};

// A background layer.
class cStageBackground : public cRecord {
 public:
  cStageBackground();
  PELMORA_RECORD_CLASS(cStageBackground)
  void DefineFields(int32_t version) override;

  int32_t m_nLayer1 = 0;      // from 62; 1 for a new background
  int32_t m_nSource = 0;      // 0: the bitmap file is loaded into the background slot
  int32_t m_nLayer2 = 0;      // 16 for a new background
  int32_t m_nLayer3 = 0;
  double m_dScrollSpeedX = 0; // dots a frame, from 61; 0.1 for a new background
  double m_dScrollSpeedY = 0;
  int32_t m_bAutoScrollX = 0; // from 61
  int32_t m_bAutoScrollY = 0;
  std::string m_strFile;      // bitmap file name
  double m_dScrollX = 0;      // dots, from 62
  double m_dScrollY = 0;
  // Words older files hold where later ones have other fields; read and
  // dropped.
  int32_t m_nDropped[2] = {};
};

// A text the stage carries (not interpreted by the game).
class cStageText : public cRecord {
 public:
  cStageText() = default;
  PELMORA_RECORD_CLASS(cStageText)
  void DefineFields(int32_t version) override;

  std::string m_strText;
};

// A record of the stage data with five numbers of which it stores only the
// first; a copy carries all five.
class cStageRecord : public cRecord {
 public:
  cStageRecord() = default;
  PELMORA_RECORD_CLASS(cStageRecord)
  void DefineFields(int32_t version) override;

  int32_t m_nValues[5] = {};  // values 1..5 at indices 0..4; only value 1 is stored
};

class cStageData : public cRecord {
 public:
  cStageData();
  PELMORA_RECORD_CLASS(cStageData)
  // The settings and what the loader keeps, not the lists: a read replaces
  // every list.
  std::unique_ptr<cRecord> CloneForReading() const override;
  void DefineFields(int32_t version) override;
  bool Read(cDataReader& in) override;
  void Write(cDataWriter& out) override;
  void DumpLists(cJsonWriter& json) override;

  // The contents of a new stage (numbers, one type in each palette list, one
  // background shown from the start, five ranking switches on).
  void SetDefaults();
  // Clamps, derived speed values, music index, palette padding, reference
  // checks. Read and Write run it.
  void Normalize();
  // Field 22 := level, and the derived fields 87..93 and the speed step.
  void ApplySpeedLevel(int32_t level);

  // Index of the first placed character with a graphic that the player
  // controls (control 0); -1 when there is none.
  int32_t FindHeroIndex() const;
  bool HasHero() const { return FindHeroIndex() != -1; }

  // The stage body as a replay keeps it: the settings parts (fields and name,
  // ranking switches, parameter sets, backgrounds, texts) from `settings`
  // (the stage as the play started), the palettes and placed lists from this
  // record; Read reads it back as a stage.
  void WriteForReplay(cDataWriter& out, cStageData& settings);
  // The master copy of a loaded stage: the declared fields and name, the
  // backgrounds, texts, parameter sets and ranking switches of `stage`; the
  // six definition lists emptied.
  void CopySettingsFrom(cStageData& stage);

  // Whole stage files in memory: the version word, the body, the trailer.
  bool LoadStageBytes(const std::string& bytes) { return LoadFromBytes(bytes); }
  std::string SaveStageBytes() { return SaveToBytes(); }

  int32_t& Int(int k) { return m_nFields[k]; }
  double& Dbl(int k) { return m_dFields[k]; }
  int32_t Int(int k) const { return m_nFields[k]; }
  double Dbl(int k) const { return m_dFields[k]; }

  std::string m_strName;
  // Field k (1..98) lives in m_nFields[k], or m_dFields[k] for the doubles.
  int32_t m_nFields[kStageFieldCount + 1] = {};
  double m_dFields[kStageFieldCount + 1] = {};

  cSafeVector<cEdBlock> m_PaletteBlocks;
  cSafeVector<cEdCharacter> m_PaletteCharacters;
  cSafeVector<cEdItem> m_PaletteItems;
  // Placed objects: the first and second tail words are the map column and
  // row (signed); a placed character's 32-bit tail word is -1 or the index
  // of the placed item it receives.
  cSafeVector<cEdBlock> m_PlacedBlocks;
  cSafeVector<cEdCharacter> m_PlacedCharacters;
  cSafeVector<cEdItem> m_PlacedItems;
  cSafeVector<cStageBackground> m_Backgrounds;  // at most eight are used
  cSafeVector<cStageText> m_Texts;
  // Score, time left, clear time, HP left, SP left.
  cSafeVector<uint32_t> m_RankingSwitches;
  cStageParam m_Params[5];

  // Not stored: kept by the stage loader.
  std::string m_strLoadedPath;   // the stage file last loaded
  uint32_t m_nStartArgument = 0; // StartStage's numbered flag
  uint32_t m_bLoaded = 0;        // set by the loader thread on success
  int32_t m_nSpeedStep = 0;      // 6 L: the repeat period of periodic commands

 private:
  // `afterRead`: the types were read just now (see ValidateDefinitions).
  void Normalize(bool afterRead);
};

// The working stage (every stage is loaded into it; play changes it) and the
// master copy (the settings as the stage started, restored on a retry).
extern cStageData StageData;
extern cStageData StageMasterData;

// The trailer check made before a stage file is loaded: 1 when it passes
// (also when the file cannot be opened: the load then reports that); 0 for a
// file of version 174 or later whose last word is not the trailer (or which
// is too short to hold one), after the message
// "ステージファイル %s が破損しています！" (ReportStageFailure) and the
// fault road (RequestQuit).
int CheckStageFileTrailer(const std::string& path);
// Why a stage cannot be played (CP932): a line of the report log, where it
// stays after the game has ended (or never started), then the error box.
void ReportStageFailure(const std::string& text);
// The same test without the message: false only for a file of version 174
// or later that does not end with the trailer. The file version goes into
// nFileVersion as the opener would put it.
bool StageFileTrailerIntact(const std::string& path);
// The same over a whole file in memory.
bool StageTrailerIntact(const std::string& bytes);
