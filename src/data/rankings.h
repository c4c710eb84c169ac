// Ranking files: per play kind and stage, the best twenty results in each of
// five genres (score, time left, clear time, HP left, SP left).
//
// File form after the version word: the file's record (no fields), u32 list
// count, then per list its record (the order flag), u32 entry count and the
// entries (used flag, score; the name). A loaded file always has five lists
// of twenty entries, whatever the file held.
//
// Files live in "user_data\story\", "…\challenge\" or "…\free\" (play kinds
// 0, 1, 2) under the stage's base name and the extension "rkg": "abc.rkg".
// They are written to a temporary file and renamed. A file that exists but
// cannot be read (damaged, or written by a newer program) is moved aside to
// "….rkg.bak" before the first save over it; when that name is taken too,
// the save is refused rather than destroy it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/record.h"

enum : int {
  kRankingGenreScore = 0,
  kRankingGenreTimeLeft = 1,
  kRankingGenreClearTime = 2,  // hundredths of a second; lower is better
  kRankingGenreHpLeft = 3,
  kRankingGenreSpLeft = 4,
  kRankingGenreCount = 5,
};

class cRankingEntry : public cRecord {
 public:
  cRankingEntry() { Clear(); }
  PELMORA_RECORD_CLASS(cRankingEntry)
  void DefineFields(int32_t version) override;

  int32_t m_bUsed = 0;  // 0: an empty place
  std::string m_strName;
  int32_t m_nScore = 0;
};

class cRankingList : public cRecord {
 public:
  static constexpr int kEntryCount = 20;
  static constexpr size_t kMinBodyBytes = 8 + 4;  // the record and the entry count
  cRankingList() { Reset(); }
  // A list a file is about to fill: no default entries (the file's replace
  // them), so that a file of many empty lists costs no more than its size.
  explicit cRankingList(cForReading) { Clear(); }
  PELMORA_RECORD_CLASS(cRankingList)
  void DefineFields(int32_t version) override;
  bool Read(cDataReader& in) override;
  void Write(cDataWriter& out) override;
  void DumpLists(cJsonWriter& json) override;

  // The order flag cleared, the entries cut or padded with empty ones to 20.
  void Reset();
  // The place (0-based) a score takes: the first empty place or the first
  // entry it beats strictly (equal scores go after the ones there); -1 when
  // it enters nowhere.
  int FindRank(int32_t score) const;
  // Inserts a used entry at FindRank's place (appended when -1) and drops
  // the last entry: a score that does not enter leaves the list as it was.
  void InsertScore(const std::string& name, int32_t score);

  int32_t m_bHigherFirst = 0;  // 1: higher values rank first
  std::vector<cRankingEntry> m_Entries;
};

// How the last Load went.
enum class RankingLoad : int32_t {
  kLoaded,
  kMissing,     // no file yet: the defaults (the next save creates it)
  kUnreadable,  // damaged or too new: the defaults, the file kept aside on save
  kNoFile,      // the play kind keeps no rankings, or no stage name
};

class cRankingFile : public cRecord {
 public:
  static constexpr size_t kMinBodyBytes = 8 + 4;
  cRankingFile() { Reset(); }
  PELMORA_RECORD_CLASS(cRankingFile)
  void DefineFields(int32_t version) override { ClearDeclarations(); }
  // Files up to version 180 are brought to five lists, lists 3 and 4 ranking
  // higher values first; every file then has five lists of 20 entries.
  bool Read(cDataReader& in) override;
  void Write(cDataWriter& out) override;
  void DumpLists(cJsonWriter& json) override;

  // Five lists of 20 empty entries; genre 2 ranks lower values first.
  void Reset();
  // The list of a genre; list 0 for a genre outside 0..4 (logged).
  cRankingList& List(int genre);

  // Reads the ranking of a stage; the defaults (and 0) when there is none or
  // it cannot be read. `stageName` is a stage path; play kind 0 extends it
  // with the three stage numbers.
  int Load(int playKind, const std::string& stageName, int32_t n1, int32_t n2, int32_t n3);
  // Writes it atomically; 0 when nothing was written (no file for that play
  // kind, a write failure, or an unreadable file in the way, see above).
  int Save(int playKind, const std::string& stageName, int32_t n1, int32_t n2, int32_t n3);
  // The same over a file name.
  RankingLoad LoadFile(const std::string& path);
  bool SaveFile(const std::string& path);

  RankingLoad m_nLastLoad = RankingLoad::kNoFile;
  std::vector<cRankingList> m_Lists;
  // The stage the last Load named (play kind -1: none yet), so that a result
  // is registered into the file the world map showed for that stage.
  int m_nKeyPlayKind = -1;
  std::string m_strKeyStage;
  int32_t m_nKeyNumbers[3] = {};

 private:
  // The path of the last load when that file could not be read.
  std::string m_strUnreadablePath;
};

// Registers a result: the stage's ranking file is read again by the name it
// will be saved under (so the entries go into that stage's file, whatever
// was shown last), `name` and values[genre] are inserted into every genre
// whose `wanted` flag is set, and the file is saved. `places` (optional)
// gets the place each genre's value took, -1 where it took none. 1 when the
// file was saved; 0 otherwise (the file as it was).
int RegisterRankingResult(cRankingFile& file, int playKind, const std::string& stageName, int32_t n1, int32_t n2,
                          int32_t n3, const bool wanted[kRankingGenreCount], const int32_t values[kRankingGenreCount],
                          const std::string& name, int places[kRankingGenreCount] = nullptr);

// The base form of a stage path as the play record keeps it: cut at its
// last "-1" (that "-" becoming "."), else after its last "."; empty without
// either. A base form gives itself: "data\stg4\abc-1.stg4_001" and
// "data\stg4\abc." both give "data\stg4\abc.".
std::string RankingStageBaseName(const std::string& stagePath);

// "user_data\story\abc.rkg" and the like: the folder of the play kind, the
// file name of the stage's base form (extended for play kind 0 with the
// three stage numbers when the first is not 0) and "rkg". A stage file path
// and its base form name the same file. Empty for a play kind other than 0,
// 1, 2 or a stage without a base form.
std::string MakeRankingFileName(int playKind, const std::string& stageName, int32_t n1, int32_t n2, int32_t n3);

// A time in hundredths of a second as "mm:ss.hh" (minutes at least two
// digits; a negative part written with "-"): 6543 → "01:05.43".
std::string FormatFrameTime(int32_t value);
// At least `digits` digits, leading zeros, "-" before a negative value.
std::string FormatNumberPadded(int32_t value, int digits);
// Decimal digits of a value, its sign not counted (1 for 0).
int CountDecimalDigits(int32_t value);

// The ranking being shown or registered into.
extern cRankingFile RankingFile;
