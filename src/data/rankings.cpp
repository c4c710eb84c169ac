#include "data/rankings.h"

#include <cstdio>
#include <cstdlib>

#include "base/logs.h"
#include "base/text_path.h"
#include "data/data_paths.h"
#include "data/save_slots.h"
#include "platform/files.h"

cRankingFile RankingFile;

// ---- entries and lists ----

void cRankingEntry::DefineFields(int32_t) {
  ClearDeclarations();
  Declare(m_bUsed, "used");
  DeclareString(m_strName, "name");
  Declare(m_nScore, "score");
}

void cRankingList::DefineFields(int32_t) {
  ClearDeclarations();
  Declare(m_bHigherFirst, "higherFirst");
}

void cRankingList::Reset() {
  Clear();
  if (m_Entries.size() > kEntryCount) m_Entries.resize(kEntryCount);
  while (m_Entries.size() < kEntryCount) m_Entries.emplace_back();
}

bool cRankingList::Read(cDataReader& in) { return cRecord::Read(in) && ReadRecordList(in, m_Entries); }

void cRankingList::Write(cDataWriter& out) {
  cRecord::Write(out);
  WriteRecordList(out, m_Entries);
}

void cRankingList::DumpLists(cJsonWriter& json) { DumpRecordList(json, "entries", m_Entries); }

int cRankingList::FindRank(int32_t score) const {
  for (size_t i = 0; i < m_Entries.size(); ++i) {
    const cRankingEntry& e = m_Entries[i];
    if (!e.m_bUsed) return static_cast<int>(i);
    if (m_bHigherFirst ? score > e.m_nScore : score < e.m_nScore) return static_cast<int>(i);
  }
  return -1;
}

void cRankingList::InsertScore(const std::string& name, int32_t score) {
  cRankingEntry entry;
  entry.m_bUsed = 1;
  entry.m_strName = name;
  entry.m_nScore = score;
  const int place = FindRank(score);
  if (place < 0 || m_Entries.empty())
    m_Entries.push_back(std::move(entry));
  else
    m_Entries.insert(m_Entries.begin() + place, std::move(entry));
  m_Entries.pop_back();
}

// ---- the file ----

namespace {

constexpr int32_t kDefaultOrder[kRankingGenreCount] = {1, 1, 0, 1, 1};

}  // namespace

void cRankingFile::Reset() {
  Clear();
  m_Lists.assign(kRankingGenreCount, cRankingList());
  for (int i = 0; i < kRankingGenreCount; ++i) m_Lists[i].m_bHigherFirst = kDefaultOrder[i];
}

bool cRankingFile::Read(cDataReader& in) {
  if (!cRecord::Read(in) || !ReadRecordList(in, m_Lists)) return false;
  const bool old = nFileVersion <= 180;
  // Drawing and registering rely on five lists of twenty entries: a list
  // the file lacks is a default one, and every list holds exactly twenty.
  const size_t had = m_Lists.size();
  m_Lists.resize(kRankingGenreCount);
  for (size_t i = 0; i < m_Lists.size(); ++i) {
    m_Lists[i].m_Entries.resize(cRankingList::kEntryCount);
    if (i >= had) m_Lists[i].m_bHigherFirst = old ? 0 : kDefaultOrder[i];
  }
  if (old) m_Lists[3].m_bHigherFirst = m_Lists[4].m_bHigherFirst = 1;
  return true;
}

void cRankingFile::Write(cDataWriter& out) {
  cRecord::Write(out);
  WriteRecordList(out, m_Lists);
}

void cRankingFile::DumpLists(cJsonWriter& json) { DumpRecordList(json, "lists", m_Lists); }

cRankingList& cRankingFile::List(int genre) {
  if (m_Lists.empty()) Reset();
  if (genre < 0 || static_cast<size_t>(genre) >= m_Lists.size()) {
    WriteReportAndECLog("err V[%d] ( %d , %d )", genre, static_cast<int>(m_Lists.size()),
                        static_cast<int>(sizeof(cRankingList)));
    genre = 0;
  }
  return m_Lists[genre];
}

RankingLoad cRankingFile::LoadFile(const std::string& path) {
  m_strUnreadablePath.clear();
  if (path.empty()) {
    Reset();
    return m_nLastLoad = RankingLoad::kNoFile;
  }
  if (!plat::FileExists(path)) {
    Reset();
    return m_nLastLoad = RankingLoad::kMissing;
  }
  if (LoadFromFile(path)) return m_nLastLoad = RankingLoad::kLoaded;
  Reset();
  m_strUnreadablePath = path;
  WriteReportLog("ranking file %s cannot be read", path.c_str());
  return m_nLastLoad = RankingLoad::kUnreadable;
}

bool cRankingFile::SaveFile(const std::string& path) {
  if (path.empty()) return false;
  if (!m_strUnreadablePath.empty() && m_strUnreadablePath == path && plat::FileExists(path)) {
    // What could not be read may still be read by a newer program or a
    // repair: it is kept, never written over.
    const std::string backup = path + ".bak";
    if (plat::FileExists(backup) || !plat::RenameFile(path, backup)) {
      WriteReportLog("ranking file %s cannot be read and %s is taken: not saved", path.c_str(), backup.c_str());
      return false;
    }
    WriteReportLog("ranking file %s cannot be read; kept as %s", path.c_str(), backup.c_str());
  }
  m_strUnreadablePath.clear();
  return WriteUserFileAtomically(path, SaveToBytes());
}

int cRankingFile::Load(int playKind, const std::string& stageName, int32_t n1, int32_t n2, int32_t n3) {
  m_nKeyPlayKind = playKind;
  m_strKeyStage = stageName;
  m_nKeyNumbers[0] = n1;
  m_nKeyNumbers[1] = n2;
  m_nKeyNumbers[2] = n3;
  return LoadFile(MakeRankingFileName(playKind, stageName, n1, n2, n3)) == RankingLoad::kLoaded ? 1 : 0;
}

int cRankingFile::Save(int playKind, const std::string& stageName, int32_t n1, int32_t n2, int32_t n3) {
  return SaveFile(MakeRankingFileName(playKind, stageName, n1, n2, n3)) ? 1 : 0;
}

int RegisterRankingResult(cRankingFile& file, int playKind, const std::string& stageName, int32_t n1, int32_t n2,
                          int32_t n3, const bool wanted[kRankingGenreCount], const int32_t values[kRankingGenreCount],
                          const std::string& name, int places[kRankingGenreCount]) {
  const std::string path = MakeRankingFileName(playKind, stageName, n1, n2, n3);
  file.LoadFile(path);
  for (int genre = 0; genre < kRankingGenreCount; ++genre) {
    int place = -1;
    if (wanted[genre]) {
      cRankingList& list = file.List(genre);
      place = list.FindRank(values[genre]);
      if (place >= 0) list.InsertScore(name, values[genre]);
    }
    if (places) places[genre] = place;
  }
  return file.SaveFile(path) ? 1 : 0;
}

std::string RankingStageBaseName(const std::string& stagePath) {
  std::string name(stagePath.c_str());
  // The last "-" followed by "1" ends the name as "."; else the name ends
  // after its last "."; a name without either has no base form.
  for (size_t i = name.size(); i-- > 0;) {
    if (name[i] == '-' && i + 1 < name.size() && name[i + 1] == '1') {
      name.resize(i);
      return name + ".";
    }
  }
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return std::string();
  name.resize(dot + 1);
  return name;
}

std::string MakeRankingFileName(int playKind, const std::string& stageName, int32_t n1, int32_t n2, int32_t n3) {
  if (playKind < 0 || playKind > 2) return std::string();
  std::string name = RankingStageBaseName(stageName);
  if (name.empty()) return std::string();
  // A path given with "/" loses its folders as one given with "\" does.
  for (char& c : name)
    if (c == '/') c = '\\';
  if (playKind == 0) GetStageFileName(name, n1, n2, n3);
  if (name.size() >= MAX_PATH) return std::string();
  char buffer[MAX_PATH];
  std::snprintf(buffer, sizeof buffer, "%s", name.c_str());
  StripDirectory(buffer);
  return DataPaths.At(kPathRankingFirst + playKind) + buffer + DataExtensions.At(kExtRanking);
}

// ---- numbers as text ----

namespace {

// |value| with at least `digits` digits, "-" before it when negative.
std::string Padded(int64_t value, int digits) {
  const bool negative = value < 0;
  uint64_t magnitude = negative ? static_cast<uint64_t>(-value) : static_cast<uint64_t>(value);
  std::string text;
  do {
    text.insert(text.begin(), static_cast<char>('0' + magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  if (static_cast<int>(text.size()) < digits) text.insert(0, static_cast<size_t>(digits) - text.size(), '0');
  return negative ? "-" + text : text;
}

}  // namespace

std::string FormatFrameTime(int32_t value) {
  const int64_t v = value;
  return Padded(v / 6000, 2) + ":" + Padded(v / 100 % 60, 2) + "." + Padded(v % 100, 2);
}

std::string FormatNumberPadded(int32_t value, int digits) { return Padded(value, digits); }

int CountDecimalDigits(int32_t value) { return static_cast<int>(Padded(value, 1).size()) - (value < 0 ? 1 : 0); }
