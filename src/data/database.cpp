#include "data/database.h"

#include "base/logs.h"
#include "data/data_paths.h"
#include "data/effect_runs.h"
#include "platform/text.h"

cDatabase Database;
AnimeTable AnimeRunTable;
AnimeTable EffectRunTable;


// ---- defaults ----

cDatabase::cDatabase() { SetDefaults(); }

void cDatabase::SetDefaults() {
  Clear();
  m_AnimeSets.assign(1, cAnimeSetRecord());
  m_Animes.assign(2, cAnimeRecord());
  m_Animes[0].m_strName = plat::Sjis("なし");
  m_Animes[1].m_strName = plat::Sjis("アクションA");
  m_BmpCharaExcs.assign(2, cBmpCharaExcRecord());
  m_SwordTypes.assign(1, cSwordTypeRecord());
  m_Effects.assign(2, cEffectRecord());
  m_CharaEffects.assign(2, cCharaEffectRecord());
  m_ScrEffects.assign(2, cScrEffectRecord());
  m_Pictures.assign(2, cPictureRecord());
  m_Sounds.assign(2, cSoundRecord());
  m_Bgms.assign(2, cBgmRecord());
  m_CharaEffects2.clear();
  m_ScrEffects2.clear();
}

namespace {
// Kind 0 for entry 0; an empty list has no entry 0: the checked access
// reports it.
template <class T>
void ResetFirstKind(cSafeVector<T>& list) {
  if (list.empty()) {
    list.At(0);
    return;
  }
  for (T& first : list) {
    first.m_nKind = 0;
    break;
  }
}
}  // namespace

void cDatabase::ResetFirstEffectEntries() {
  ResetFirstKind(m_CharaEffects);
  ResetFirstKind(m_ScrEffects);
}

void cDatabase::CopyEffectListsForReversal() {
  m_CharaEffects2.resize(m_CharaEffects.size());
  for (size_t i = 0; i < m_CharaEffects.size(); ++i) m_CharaEffects2[i] = m_CharaEffects[i];
  m_ScrEffects2.resize(m_ScrEffects.size());
  for (size_t i = 0; i < m_ScrEffects.size(); ++i) m_ScrEffects2[i] = m_ScrEffects[i];
}

// ---- loading ----

void ReportDataFileLoadFailure(const std::string& path) {
  if (bFileTooNew)
    WriteReportAndShowError(
        plat::Sjis("%s の読み込みに失敗しました！\n実行ファイル(.exe)より上位のバージョンのファイルは使用できません。").c_str(),
        path.c_str());
  else
    WriteReportAndShowError(plat::Sjis("%s の読み込みに失敗しました！").c_str(), path.c_str());
}

namespace {

// Reads database file `index` through `read` into `list`.
template <class T>
bool LoadOne(cSafeVector<T>& list, int index, const DatabaseFileReader& read) {
  // A file too short to hold a version word says nothing about versions.
  bFileTooNew = 0;
  std::string bytes;
  return read(index, bytes) && LoadDatabaseListFromBytes(list, bytes);
}

}  // namespace

const char* DatabaseFileName(int index) {
  static const char* const kNames[kDatabaseFileCount] = {
      "AnimeSet.dat", "Anime.dat", "Bmp_CharaExc.dat", "SwordType.dat", "Effect.dat",
      "CharaEffect.dat", "ScrEffect.dat", "Picture.dat", "Sound.dat", "Bgm.dat"};
  return index >= 0 && index < kDatabaseFileCount ? kNames[index] : "";
}

int LoadDatabaseFiles(const DatabaseFileReader& read) {
  cDatabase& db = Database;
  // The effect runs point into the lists about to be replaced.
  ClearDatabaseTables();
  if (!LoadOne(db.m_AnimeSets, 0, read)) return 0;
  if (!LoadOne(db.m_Animes, 1, read)) return 1;
  if (!LoadOne(db.m_BmpCharaExcs, 2, read)) return 2;
  if (!LoadOne(db.m_SwordTypes, 3, read)) return 3;
  // Editors before 828 allowed more sword types than the game has room for.
  if (nFileVersion < 828 && db.m_SwordTypes.size() > 128) {
    db.m_SwordTypes.resize(128);
    db.m_SwordTypes.shrink_to_fit();
  }
  if (!LoadOne(db.m_Effects, 4, read)) return 4;
  if (!LoadOne(db.m_CharaEffects, 5, read)) return 5;
  if (!LoadOne(db.m_ScrEffects, 6, read)) return 6;
  if (!LoadOne(db.m_Pictures, 7, read)) return 7;
  if (!LoadOne(db.m_Sounds, 8, read)) return 8;
  if (!LoadOne(db.m_Bgms, 9, read)) return 9;
  db.ResetFirstEffectEntries();
  return -1;
}

int LoadDatabase() {
  // The ten files stand at every second entry of the path table from 16.
  auto path = [](int index) { return DataPaths.At(kPathDatabaseFirst + 2 * index); };
  const int failed =
      LoadDatabaseFiles([&](int index, std::string& bytes) { return OpenDataFileForRead(path(index), bytes); });
  if (failed < 0) {
    PrepareDatabaseTables();
    return 1;
  }
  ReportDataFileLoadFailure(path(failed));
  return 0;
}

// ---- runtime tables ----

namespace {

// Tenths of a second to frames at 60 a second, saturating (a stored duration
// is any 32-bit number).
int32_t TenthsToFrames(int32_t tenths) {
  int64_t frames = static_cast<int64_t>(tenths) * 6;
  if (frames > INT32_MAX) return INT32_MAX;
  if (frames < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(frames);
}

}  // namespace

void BuildAnimeTable(AnimeTable& table) {
  cSafeVector<cAnimeRecord>& animes = Database.m_Animes;
  table.resize(animes.size());
  for (int i = 0; i < static_cast<int>(animes.size()); ++i) {
    cAnimeRecord& anime = animes.At(i);
    std::vector<cAnimeTableFrame>& frames = table[static_cast<size_t>(i)];
    frames.assign(anime.m_Frames.size() + 1, cAnimeTableFrame());
    bool hold = false;
    for (size_t j = 0; j < anime.m_Frames.size(); ++j) {
      const cAnimeFrame& src = anime.m_Frames[j];
      cAnimeTableFrame& dst = frames[j];
      dst.nCell = src.m_nCell;
      if (i == 0) {
        dst.nDuration = 0;
        dst.nHold = 1;
      } else {
        if (src.m_nHold != 0) hold = true;
        dst.nDuration = TenthsToFrames(src.m_nDuration);
        dst.nHold = hold ? 1 : 0;
      }
    }
    frames.back() = i == 0 ? cAnimeTableFrame{-2, 0, 1} : cAnimeTableFrame{-4, 0, 0};
  }
}

void BuildEffectTable(AnimeTable& table) {
  cSafeVector<cEffectRecord>& effects = Database.m_Effects;
  table.resize(effects.size());
  for (int i = 0; i < static_cast<int>(effects.size()); ++i) {
    cEffectRecord& effect = effects.At(i);
    std::vector<cAnimeTableFrame>& frames = table[static_cast<size_t>(i)];
    frames.assign(effect.m_Frames.size() + 1, cAnimeTableFrame());
    for (size_t j = 0; j < effect.m_Frames.size(); ++j) {
      frames[j].nCell = effect.m_Frames[j].m_nFirst;
      frames[j].nDuration = i == 0 ? 0 : TenthsToFrames(effect.m_Frames[j].m_nSecond);
      frames[j].nHold = i == 0 ? 1 : 0;
    }
    frames.back() = i == 0 ? cAnimeTableFrame{-2, 0, 1} : cAnimeTableFrame{-4, 0, 0};
  }
}

void PrepareDatabaseTables() {
  Database.CopyEffectListsForReversal();
  BuildAnimeTable(AnimeRunTable);
  BuildEffectTable(EffectRunTable);
  BuildCharaEffectTable(GraphicEffectRuns, GraphicEffectRunsReversed);
  BuildScrEffectTable(ScreenEffectRuns, ScreenEffectRunsReversed);
}

void ClearDatabaseTables() {
  AnimeRunTable.clear();
  EffectRunTable.clear();
  GraphicEffectRuns.clear();
  GraphicEffectRunsReversed.clear();
  ScreenEffectRuns.clear();
  ScreenEffectRunsReversed.clear();
}
