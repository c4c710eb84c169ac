// Save slots and the challenge progress file: the user files that hold a
// player's play record between runs of the program.
//
// The play record itself (cSaveData) belongs to the scene layer; this layer
// knows it through cSaveRecordBase, which carries what the slot files need
// of it (the save time and the lives rule), so the slot list can be rebuilt
// and slots loaded and saved without any game state.
//
// Files are written to a temporary sibling and renamed over the slot, so a
// crash or a full disk during a save leaves the previous slot whole; a
// failed write is reported as a failure and leaves the slot list alone.
// Files are read into a copy of the record, which replaces the record only
// when the whole file was read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/record.h"

class cTextTarget;

// A local date and time as the slot files hold it: eight little-endian
// 16-bit words in this order (16 bytes).
struct cSaveTime {
  uint16_t wYear = 0;
  uint16_t wMonth = 0;
  uint16_t wDayOfWeek = 0;
  uint16_t wDay = 0;
  uint16_t wHour = 0;
  uint16_t wMinute = 0;
  uint16_t wSecond = 0;
  uint16_t wMilliseconds = 0;

  static constexpr size_t kBytes = 16;
  void Write(cDataWriter& out) const;
  bool Read(cDataReader& in);
  bool operator==(const cSaveTime&) const = default;
};

// The local time now (the platform clock's calendar time).
cSaveTime GetLocalSaveTime();

// What the slot files need of a play record. The scene layer's cSaveData
// derives from it.
class cSaveRecordBase : public cRecord {
 public:
  // Stamped by SaveSlot; written after the declared fields.
  cSaveTime m_SaveTime;

  // Lives after a load: with `unlimited` set, continues and lives become
  // kUnlimitedLives; otherwise lives of kUnlimitedLives become `startLives`
  // (a file never brings unlimited lives into a mode that does not grant them).
  virtual void ApplyLivesRule(int32_t unlimited, int32_t startLives) = 0;
};

// Lives and continues of this value never run out.
inline constexpr int32_t kUnlimitedLives = 999999;

// The slots the front end offers.
inline constexpr int kSaveSlotCount = 10;

// Play modes that index the system data's per-mode lists (start lives,
// unlimited-lives flags).
enum : int { kPlayModeStory = 0, kPlayModeChallenge = 1, kPlayModeFree = 2 };

// "user_data\story\Story01.dat" for slot 0 … "Story10.dat" for slot 9.
std::string MakeSaveSlotFileName(int slot);
// "user_data\challenge\Challenge.dat".
std::string ChallengeProgressFileName();

// "_c%03d_%d" of the second and third numbers after the name (a trailing "."
// stays last); nothing when n1 is 0. "abc." with 1, 7, 2 → "abc_c007_2.".
// The stage-keyed user files (best results, rankings, replays) are named
// through it.
void GetStageFileName(std::string& name, int32_t n1, int32_t n2, int32_t n3);

// What a slot's file holds, as the slot list shows it.
enum class SlotState : int32_t {
  kEmpty,    // no file
  kUsed,     // a whole play record; the save time is known
  kBroken,   // a file that cannot be read (cut short, damaged, or written by a
             // newer program): shown as taken, so that only a deliberate save
             // replaces it
};

struct cSaveSlotEntry {
  int32_t bUsed = 0;  // 1: the slot holds a file (kUsed or kBroken)
  SlotState nState = SlotState::kEmpty;
  cSaveTime time;
};

class cSaveSlotList {
 public:
  cSaveSlotList() : m_Entries(kSaveSlotCount) {}

  // Reads every slot's file into a scratch copy of `prototype` and notes its
  // save time; a missing file makes the entry empty, an unreadable one broken.
  void Rebuild(const cSaveRecordBase& prototype);

  size_t Size() const { return m_Entries.size(); }
  // Entry of a slot; null outside 0..Size()-1.
  const cSaveSlotEntry* Entry(int slot) const;
  void SetEntry(int slot, const cSaveSlotEntry& entry);

 private:
  std::vector<cSaveSlotEntry> m_Entries;
};

// Result of a slot operation.
enum class SlotResult : int32_t {
  kOk,
  kBadSlot,      // slot outside 0..kSaveSlotCount-1: nothing written or read
  kMissing,      // no such file
  kTooNew,       // written by a newer program
  kBroken,       // cut short or damaged
  kWriteFailed,  // the file could not be written; the old file is whole
};

// Stamps the local time (or `time` when given) into the record, writes it to
// the slot's file and, on success, marks the slot's list entry used with that
// time. The record's save time is left as it was when the write fails.
SlotResult SaveSlot(cSaveRecordBase& record, cSaveSlotList& list, int slot, const cSaveTime* time = nullptr);
// Reads the slot's file into the record (the record is left as it was when
// the file cannot be read), then applies the story mode's lives rule.
SlotResult LoadSlot(cSaveRecordBase& record, int slot);

// The challenge progress file: read with the challenge mode's lives rule.
// A file that exists but cannot be read is moved aside to "….dat.bak" (once:
// an existing .bak is kept) so that the next save cannot destroy what a newer
// program or a repair could still read.
SlotResult LoadChallengeProgress(cSaveRecordBase& record);
SlotResult SaveChallengeProgress(cSaveRecordBase& record);

// "YYYY/MM/DD hh:mm\n" of a used entry; empty for an empty one; dashes in
// place of the digits for a broken one (taken, but its time is unknown).
std::string FormatSaveTime(const cSaveSlotEntry& entry);
// Draws that text at (x, y) with the system font; nothing when it is empty.
void FormatSaveTime(const cSaveSlotEntry& entry, int32_t x, int32_t y, cTextTarget& target);

// Makes the folders of `path` that are missing, then writes the file as
// WriteFileOrReportWhy does; false (the file untouched, the log saying why)
// on any failure.
bool WriteUserFileAtomically(const std::string& path, const std::string& bytes);
