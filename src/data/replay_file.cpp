#include "data/replay_file.h"

#include <cstdio>
#include <new>

#include "base/logs.h"
#include "base/text_path.h"
#include "data/save_slots.h"
#include "data/stage_data.h"
#include "data/stage_load.h"
#include "platform/files.h"

cKeyLog KeyLogRecord;
cKeyLog KeyLogPrevious;

// ---- the key log ----

void cKeyLog::DefineFields(int32_t) {
  ClearDeclarations();
  Declare(m_nSeed, "seed");
}

void cKeyLog::Reset() {
  Clear();
  m_nFileVersion = kDataVersion;
  m_Directions.clear();
  m_Buttons.clear();
  m_DirectionRuns.clear();
  m_ButtonRuns.clear();
  Rewind();
}

void cKeyLog::Rewind() { m_nDirectionIndex = m_nButtonIndex = m_nDirectionCount = m_nButtonCount = 0; }

namespace {

// One word's stream: the last value lasts one frame more, or a new value
// starts a run of one.
void AddToStream(std::vector<uint16_t>& values, std::vector<uint32_t>& runs, uint16_t word) {
  if (!values.empty() && values.back() == word && !runs.empty() && runs.back() != UINT32_MAX) {
    ++runs.back();
    return;
  }
  values.push_back(word);
  runs.push_back(1);
}

// Whether a stream can be played: a run for every value, none of zero
// frames; `frames` gets the frames it covers.
bool StreamPlayable(const std::vector<uint16_t>& values, const std::vector<uint32_t>& runs, uint64_t& frames) {
  frames = 0;
  if (values.size() != runs.size()) return false;
  for (uint32_t run : runs) {
    if (run == 0) return false;
    frames += run;
  }
  return true;
}

}  // namespace

void cKeyLog::AddFrame(uint16_t direction, uint16_t buttons) {
  AddToStream(m_Directions, m_DirectionRuns, direction);
  AddToStream(m_Buttons, m_ButtonRuns, buttons);
}

int cKeyLog::GetFrame(uint16_t& direction, uint16_t& buttons) {
  if (m_nDirectionIndex >= m_Directions.size() || m_nButtonIndex >= m_Buttons.size() ||
      m_nDirectionIndex >= m_DirectionRuns.size() || m_nButtonIndex >= m_ButtonRuns.size())
    return 1;
  direction = m_Directions[m_nDirectionIndex];
  if (++m_nDirectionCount >= m_DirectionRuns[m_nDirectionIndex]) {
    m_nDirectionCount = 0;
    ++m_nDirectionIndex;
  }
  buttons = m_Buttons[m_nButtonIndex];
  if (++m_nButtonCount >= m_ButtonRuns[m_nButtonIndex]) {
    m_nButtonCount = 0;
    ++m_nButtonIndex;
  }
  return 0;
}

bool cKeyLog::PeekFrame(uint16_t& direction, uint16_t& buttons) const {
  if (m_nDirectionIndex >= m_Directions.size() || m_nButtonIndex >= m_Buttons.size() ||
      m_nDirectionIndex >= m_DirectionRuns.size() || m_nButtonIndex >= m_ButtonRuns.size())
    return false;
  direction = m_Directions[m_nDirectionIndex];
  buttons = m_Buttons[m_nButtonIndex];
  return true;
}

uint64_t cKeyLog::FrameCount() const {
  uint64_t frames = 0;
  for (uint32_t run : m_DirectionRuns) frames += run;
  return frames;
}

bool cKeyLog::Read(cDataReader& in) {
  if (!cRecord::Read(in) || !ReadValueList(in, m_Directions) || !ReadValueList(in, m_Buttons) ||
      !ReadValueList(in, m_DirectionRuns) || !ReadValueList(in, m_ButtonRuns))
    return false;
  uint64_t directionFrames = 0, buttonFrames = 0;
  if (!StreamPlayable(m_Directions, m_DirectionRuns, directionFrames) ||
      !StreamPlayable(m_Buttons, m_ButtonRuns, buttonFrames) || directionFrames != buttonFrames) {
    WriteECLog("a replay's key log cannot be played (%zu/%zu direction values/runs, %zu/%zu button values/runs)",
               m_Directions.size(), m_DirectionRuns.size(), m_Buttons.size(), m_ButtonRuns.size());
    return in.Fail();
  }
  Rewind();
  return true;
}

void cKeyLog::Write(cDataWriter& out) {
  cRecord::Write(out);
  WriteValueList(out, m_Directions);
  WriteValueList(out, m_Buttons);
  WriteValueList(out, m_DirectionRuns);
  WriteValueList(out, m_ButtonRuns);
}

void cKeyLog::DumpLists(cJsonWriter& json) {
  const struct {
    const char* key;
    const std::vector<uint16_t>* values;
    const std::vector<uint32_t>* runs;
  } streams[] = {{"directions", &m_Directions, &m_DirectionRuns}, {"buttons", &m_Buttons, &m_ButtonRuns}};
  for (const auto& s : streams) {
    json.Key(s.key);
    json.BeginArray();
    for (size_t i = 0; i < s.values->size(); ++i) {
      json.BeginArray();
      json.UInt((*s.values)[i]);
      json.UInt(i < s.runs->size() ? (*s.runs)[i] : 0);
      json.EndArray();
    }
    json.EndArray();
  }
}

// ---- the file ----

std::string MakeReplayBytes(cKeyLog& log, cStageData& stage, cStageData& settings, cRecord& snapshot) {
  cDataWriter out;
  out.WriteU32(static_cast<uint32_t>(nDataVersion));
  stage.WriteForReplay(out, settings);
  log.Write(out);
  snapshot.Write(out);
  return out.Bytes();
}

bool SaveReplay(cKeyLog& log, const std::string& path, cStageData& stage, cStageData& settings, cRecord& snapshot) {
  if (path.empty()) return false;
  std::string bytes;
  try {
    bytes = MakeReplayBytes(log, stage, settings, snapshot);
  } catch (const std::bad_alloc&) {
    WriteReportLog("not enough memory to save the replay %s", path.c_str());
    return false;
  }
  return WriteUserFileAtomically(path, bytes);
}

ReplayLoad LoadReplayBytes(const std::string& bytes, cKeyLog& log, cStageData& stage, cStageData& running,
                           cRecord& playRecord, std::string* refusal) {
  if (!ReadFileVersion(bytes)) return bFileTooNew ? ReplayLoad::kTooNew : ReplayLoad::kBroken;
  const int32_t fileVersion = nFileVersion;
  try {
    cDataReader in(reinterpret_cast<const uint8_t*>(bytes.data()) + 4, bytes.size() - 4);
    std::unique_ptr<cRecord> newStage = stage.CloneForReading();
    cKeyLog newLog;
    if (!newStage->Read(in) || !newLog.Read(in)) return ReplayLoad::kBroken;
    std::unique_ptr<cRecord> newRecord;
    if (nFileVersion >= 173) {
      newRecord = playRecord.CloneForReading();
      if (!newRecord->Read(in)) return ReplayLoad::kBroken;
    }
    if (in.Failed()) return ReplayLoad::kBroken;
    if (std::string why = StageSetUpRefusal(static_cast<cStageData&>(*newStage)); !why.empty()) {
      if (refusal) *refusal = std::move(why);
      return ReplayLoad::kBroken;
    }
    // Whole: the copies replace what the game holds.
    stage.TakeContents(*newStage);
    running.CopySettingsFrom(stage);
    log = std::move(newLog);
    log.m_nFileVersion = fileVersion;
    log.Rewind();
    if (newRecord) playRecord.TakeContents(*newRecord);
    return ReplayLoad::kOk;
  } catch (const std::bad_alloc&) {
    ReportLoadOutOfMemory(bytes.size());
    return ReplayLoad::kBroken;
  }
}

ReplayLoad LoadReplay(cKeyLog& log, const std::string& path, cStageData& stage, cStageData& running,
                      cRecord& playRecord) {
  if (!plat::FileExists(path)) return ReplayLoad::kMissing;
  std::string bytes;
  bFileTooNew = 0;
  if (!OpenDataFileForRead(path, bytes)) return bFileTooNew ? ReplayLoad::kTooNew : ReplayLoad::kBroken;
  std::string refusal;
  const ReplayLoad result = LoadReplayBytes(bytes, log, stage, running, playRecord, &refusal);
  if (!refusal.empty()) ReportStageRefused(path, refusal);
  return result;
}

// ---- names ----

std::string ReplayExtension() { return "rpl4_" + std::to_string(kDataVersion); }

std::string MakeReplayBaseName(const std::string& stagePath, int32_t n1, int32_t n2, int32_t n3,
                               const cSaveTime& time) {
  std::string title(stagePath.c_str());
  if (title.empty() || title.size() >= MAX_PATH) return std::string();
  // A path given with "/" (a stage named on the command line) loses its
  // folders as one given with "\" does. ("/" is never a second byte of a
  // double-byte character.)
  for (char& c : title)
    if (c == '/') c = '\\';
  char buffer[MAX_PATH];
  std::snprintf(buffer, sizeof buffer, "%s", title.c_str());
  StripDirectory(buffer);
  StripExtension(buffer);
  title = buffer;
  GetStageFileName(title, n1, n2, n3);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "__%04d__%02d_%02d__%02d_%02d.", time.wYear, time.wMonth, time.wDay, time.wHour,
                time.wMinute);
  return kReplayFolder + title + stamp + ReplayExtension();
}

bool MakeNumberedName(const std::string& path, std::string& out) {
  if (!plat::FileExists(path)) {
    out = path;
    return true;
  }
  const size_t dot = path.rfind('.');
  const size_t separator = path.find_last_of("\\/");
  const bool hasExtension = dot != std::string::npos && (separator == std::string::npos || dot > separator);
  const std::string stem = hasExtension ? path.substr(0, dot) : path;
  const std::string extension = hasExtension ? path.substr(dot + 1) : std::string();
  for (int n = 2; n <= 999; ++n) {
    std::string candidate = stem + " (" + std::to_string(n) + ")";
    if (hasExtension) candidate += "." + extension;
    if (!plat::FileExists(candidate)) {
      out = candidate;
      return true;
    }
  }
  out.clear();
  return false;
}

bool MakeReplayFileName(std::string& out, const std::string& stagePath, int32_t n1, int32_t n2, int32_t n3,
                        const cSaveTime& time) {
  out.clear();
  const std::string base = MakeReplayBaseName(stagePath, n1, n2, n3, time);
  std::string numbered;
  if (base.empty() || !MakeNumberedName(base, numbered)) return false;
  if (numbered.size() >= MAX_PATH) return false;
  char buffer[MAX_PATH];
  std::snprintf(buffer, sizeof buffer, "%s", numbered.c_str());
  if (!MakeAbsolutePath(buffer)) return false;
  out = buffer;
  return true;
}
