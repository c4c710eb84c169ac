// The project database: ten lists naming the resources a game uses, each
// read from its own file under "data\database\" at start-up and never written
// by the game. A database file is the version word, a u32 element count and
// that many element bodies (no body of its own).
//
// After loading, start-up copies the graphic-effect and screen-effect lists
// into their second lists (whose entries the reversed effect runs change) and
// builds the runtime tables: PrepareDatabaseTables does both.
#pragma once

#include <cstdint>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "data/database_records.h"
#include "data/record.h"

class cDatabase : public cRecord {
 public:
  // Built with the default contents of a new project.
  cDatabase();
  PELMORA_RECORD_CLASS(cDatabase)
  // Declares nothing: the database has no file of its own.
  void DefineFields(int32_t version) override { ClearDeclarations(); }

  // The contents of a new project: one animation set, animations "なし" and
  // "アクションA", one sword type, two entries in every other list (entry 0
  // standing for none); the second effect lists empty.
  void SetDefaults();
  // Kind 0 for entry 0 of the graphic-effect and screen-effect lists, whatever
  // the files held: entry 0 is the "no effect" entry.
  void ResetFirstEffectEntries();
  // The second lists become element-by-element copies of the loaded ones.
  void CopyEffectListsForReversal();

  cSafeVector<cAnimeSetRecord> m_AnimeSets;        // "AnimeSet.dat"
  cSafeVector<cAnimeRecord> m_Animes;              // "Anime.dat"
  cSafeVector<cBmpCharaExcRecord> m_BmpCharaExcs;  // "Bmp_CharaExc.dat"
  cSafeVector<cSwordTypeRecord> m_SwordTypes;      // "SwordType.dat"
  cSafeVector<cEffectRecord> m_Effects;            // "Effect.dat"
  cSafeVector<cCharaEffectRecord> m_CharaEffects;  // "CharaEffect.dat"
  cSafeVector<cScrEffectRecord> m_ScrEffects;      // "ScrEffect.dat"
  cSafeVector<cPictureRecord> m_Pictures;          // "Picture.dat"
  cSafeVector<cSoundRecord> m_Sounds;              // "Sound.dat"
  cSafeVector<cBgmRecord> m_Bgms;                  // "Bgm.dat"
  // Copies of the two effect lists; reversed runs swap their start and end
  // parameters in place here, never in the loaded lists.
  cSafeVector<cCharaEffectRecord> m_CharaEffects2;
  cSafeVector<cScrEffectRecord> m_ScrEffects2;
};

// The project's database; built with the defaults before the program starts,
// filled by LoadDatabase at start-up, read-only afterwards (but for the
// second effect lists, prepared once by PrepareDatabaseTables).
extern cDatabase Database;

// The ten database files, in loading order, stand at every second entry of
// the path table from kPathDatabaseFirst.
inline constexpr int kDatabaseFileCount = 10;

// Loads the ten files in order; at the first that cannot be read (missing,
// newer than the program, broken, or more than memory holds) reports it
// with ReportDataFileLoadFailure and returns 0, the lists read before it
// keeping their new contents and the rest their old. 1 when all ten were
// read. The runtime tables go with the lists they point into: built afresh
// (PrepareDatabaseTables) when all were read, left empty when a file failed.
int LoadDatabase();

// What LoadDatabase does with the files that `read` gives (the whole file,
// version word first, of database file `index` in loading order; false when
// it cannot be read), without the report and without building the runtime
// tables (it empties them): -1 when all ten were read, else the index of the
// first that failed.
using DatabaseFileReader = std::function<bool(int index, std::string& bytes)>;
int LoadDatabaseFiles(const DatabaseFileReader& read);
// "AnimeSet.dat", "Anime.dat", ... in loading order.
const char* DatabaseFileName(int index);

// "%s の読み込みに失敗しました！" with the path, and the line about a newer
// program when the file was too new; to the report log and an error box.
void ReportDataFileLoadFailure(const std::string& path);

// ---- database list files ----

// Reads a database file held in memory (version word first) into `list`,
// replacing it; false, with `list` unchanged, when the file is too new or
// broken (bFileTooNew tells which).
template <class T>
bool LoadDatabaseListFromBytes(cSafeVector<T>& list, const std::string& bytes);
// The file as the runtime would store it (version 873).
template <class T>
std::string SaveDatabaseListToBytes(cSafeVector<T>& list);
template <class T>
void WriteDatabaseList(cSafeVector<T>& list, cDataWriter& out);
// Reads the file at `path` (a program path); 0 when it cannot be opened or
// read, 1 when read. Carriage returns are stripped when bStripCarriageReturns.
template <class T>
int LoadDatabaseList(cSafeVector<T>& list, const std::string& path);

// ---- runtime tables ----

// A frame of a runtime animation: cell (or a negative code: -2 loop,
// -4 end), duration in frames (60 a second), and the uninterruptible flag.
struct cAnimeTableFrame {
  int32_t nCell = 0;
  int32_t nDuration = 0;
  int32_t nHold = 0;
  bool operator==(const cAnimeTableFrame&) const = default;
};
using AnimeTable = std::vector<std::vector<cAnimeTableFrame>>;

// One runtime animation per database animation: durations in frames (tenths
// × 6), the hold flag from the first frame that asks for it to the end, and
// a closing code frame. Animation 0 (none) holds its cells for good: every
// duration 0, every flag 1, closed by {-2, 0, 1}; the others close with
// {-4, 0, 0}.
void BuildAnimeTable(AnimeTable& table);
// The same for the effects' frame lists (no hold flags but for effect 0).
void BuildEffectTable(AnimeTable& table);

// The runtime tables of stage play, built by PrepareDatabaseTables.
extern AnimeTable AnimeRunTable;
extern AnimeTable EffectRunTable;

// The second effect lists become copies of the loaded ones, then the
// animation, effect, graphic-effect and screen-effect tables are built (the
// load does this; so does whoever changes the lists after it).
void PrepareDatabaseTables();
// Empties those tables: the graphic- and screen-effect runs point into the
// lists, so they must not outlive lists that are replaced.
void ClearDatabaseTables();

// ---- template definitions ----

template <class T>
bool LoadDatabaseListFromBytes(cSafeVector<T>& list, const std::string& bytes) {
  if (!ReadFileVersion(bytes)) return false;
  try {
    cDataReader in(reinterpret_cast<const uint8_t*>(bytes.data()) + 4, bytes.size() - 4);
    cSafeVector<T> fresh;
    // The elements are read into new ones (without the default lists a new
    // element carries: the file gives them).
    const bool ok = ReadRecordList(in, fresh) && !in.Failed();
    nLastLoadFailure = ok ? LoadFailure::kNone : in.Failed() ? in.Failure() : LoadFailure::kBroken;
    if (!ok) return false;
    if (bStripCarriageReturns)
      for (T& element : fresh) element.RemoveCarriageReturns();
    list.swap(fresh);
    return true;
  } catch (const std::bad_alloc&) {
    ReportLoadOutOfMemory(bytes.size());
    return false;
  }
}

template <class T>
void WriteDatabaseList(cSafeVector<T>& list, cDataWriter& out) {
  out.WriteU32(static_cast<uint32_t>(nDataVersion));
  out.WriteU32(static_cast<uint32_t>(list.size()));
  for (T& element : list) element.Write(out);
}

template <class T>
std::string SaveDatabaseListToBytes(cSafeVector<T>& list) {
  cDataWriter out;
  WriteDatabaseList(list, out);
  return out.Bytes();
}

template <class T>
int LoadDatabaseList(cSafeVector<T>& list, const std::string& path) {
  std::string bytes;
  if (!OpenDataFileForRead(path, bytes)) return 0;
  return LoadDatabaseListFromBytes(list, bytes) ? 1 : 0;
}
