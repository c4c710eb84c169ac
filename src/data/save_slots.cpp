#include "data/save_slots.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "base/logs.h"
#include "data/system_data.h"
#include "platform/files.h"

// ---- the save time ----

void cSaveTime::Write(cDataWriter& out) const {
  // Written word by word: the file form is eight little-endian u16, whatever
  // the struct's layout in memory.
  for (uint16_t w : {wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds}) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(w & 0xFF), static_cast<uint8_t>(w >> 8)};
    out.Write(bytes, 2);
  }
}

bool cSaveTime::Read(cDataReader& in) {
  uint8_t bytes[kBytes];
  if (!in.Read(bytes, kBytes)) return false;
  uint16_t* words[8] = {&wYear, &wMonth, &wDayOfWeek, &wDay, &wHour, &wMinute, &wSecond, &wMilliseconds};
  for (int i = 0; i < 8; ++i) *words[i] = static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  return true;
}

cSaveTime GetLocalSaveTime() {
  using namespace std::chrono;
  const system_clock::time_point now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  // std::localtime shares one buffer among threads.
  static std::mutex lock;
  std::tm local{};
  {
    std::lock_guard<std::mutex> hold(lock);
    if (const std::tm* t = std::localtime(&seconds)) local = *t;
  }
  cSaveTime time;
  time.wYear = static_cast<uint16_t>(local.tm_year + 1900);
  time.wMonth = static_cast<uint16_t>(local.tm_mon + 1);
  time.wDayOfWeek = static_cast<uint16_t>(local.tm_wday);
  time.wDay = static_cast<uint16_t>(local.tm_mday);
  time.wHour = static_cast<uint16_t>(local.tm_hour);
  time.wMinute = static_cast<uint16_t>(local.tm_min);
  time.wSecond = static_cast<uint16_t>(local.tm_sec);
  time.wMilliseconds = static_cast<uint16_t>(ms < 0 ? 0 : ms);
  return time;
}

// ---- file names ----

namespace {

constexpr const char* kStoryPrefix = "user_data\\story\\Story";
constexpr const char* kChallengeFile = "user_data\\challenge\\Challenge.dat";

bool ValidSlot(int slot) { return slot >= 0 && slot < kSaveSlotCount; }

// Creates the folders of `path` (a program path with "\" separators) that do
// not exist yet.
void CreateFoldersOf(const std::string& path) {
  for (size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1)) {
    const std::string folder = path.substr(0, at);
    if (!folder.empty() && !plat::IsDirectory(folder)) plat::CreateDirectory(folder);
  }
}

// Reads `path` into a copy of `record` (the record untouched on failure).
SlotResult LoadInto(cSaveRecordBase& record, const std::string& path) {
  if (!plat::FileExists(path)) return SlotResult::kMissing;
  // Set by the version check only: a file cut short before its version word
  // leaves it as an earlier load left it.
  bFileTooNew = 0;
  if (record.LoadFromFile(path)) return SlotResult::kOk;
  return bFileTooNew ? SlotResult::kTooNew : SlotResult::kBroken;
}

int32_t ModeValue(const cSafeVector<uint32_t>& list, int mode) {
  return mode >= 0 && static_cast<size_t>(mode) < list.size() ? static_cast<int32_t>(list[mode]) : 0;
}

void ApplyModeLivesRule(cSaveRecordBase& record, int mode) {
  record.ApplyLivesRule(ModeValue(SystemData.m_UnlimitedLives, mode), ModeValue(SystemData.m_StartLives, mode));
}

}  // namespace

std::string MakeSaveSlotFileName(int slot) {
  char name[64];
  std::snprintf(name, sizeof name, "%s%02d.dat", kStoryPrefix, slot + 1);
  return name;
}

std::string ChallengeProgressFileName() { return kChallengeFile; }

void GetStageFileName(std::string& name, int32_t n1, int32_t n2, int32_t n3) {
  if (n1 == 0) return;
  std::string text(name.c_str());  // up to its first zero byte
  const bool dot = !text.empty() && text.back() == '.';
  if (dot) text.pop_back();
  char suffix[40];
  std::snprintf(suffix, sizeof suffix, "_c%03d_%d", n2, n3);
  text += suffix;
  if (dot) text += '.';
  name = text;
}

bool WriteUserFileAtomically(const std::string& path, const std::string& bytes) {
  CreateFoldersOf(path);
  return WriteFileOrReportWhy(path, bytes);
}

// ---- the slot list ----

const cSaveSlotEntry* cSaveSlotList::Entry(int slot) const {
  return slot >= 0 && static_cast<size_t>(slot) < m_Entries.size() ? &m_Entries[slot] : nullptr;
}

void cSaveSlotList::SetEntry(int slot, const cSaveSlotEntry& entry) {
  if (slot >= 0 && static_cast<size_t>(slot) < m_Entries.size()) m_Entries[slot] = entry;
}

void cSaveSlotList::Rebuild(const cSaveRecordBase& prototype) {
  for (size_t i = 0; i < m_Entries.size(); ++i) {
    cSaveSlotEntry& entry = m_Entries[i];
    entry = cSaveSlotEntry{};
    std::unique_ptr<cRecord> scratch = prototype.CloneRecord();
    auto& record = static_cast<cSaveRecordBase&>(*scratch);
    const std::string path = MakeSaveSlotFileName(static_cast<int>(i));
    switch (LoadInto(record, path)) {
      case SlotResult::kMissing: break;
      case SlotResult::kOk:
        entry.bUsed = 1;
        entry.nState = SlotState::kUsed;
        entry.time = record.m_SaveTime;
        break;
      default:
        // Kept as taken: "new game" must not pick it and overwrite it.
        entry.bUsed = 1;
        entry.nState = SlotState::kBroken;
        WriteReportLog("save slot %s cannot be read", path.c_str());
        break;
    }
  }
}

// ---- slots and the challenge file ----

SlotResult SaveSlot(cSaveRecordBase& record, cSaveSlotList& list, int slot, const cSaveTime* time) {
  if (!ValidSlot(slot)) return SlotResult::kBadSlot;
  const cSaveTime before = record.m_SaveTime;
  record.m_SaveTime = time ? *time : GetLocalSaveTime();
  if (!WriteUserFileAtomically(MakeSaveSlotFileName(slot), record.SaveToBytes())) {
    record.m_SaveTime = before;
    return SlotResult::kWriteFailed;
  }
  cSaveSlotEntry entry;
  entry.bUsed = 1;
  entry.nState = SlotState::kUsed;
  entry.time = record.m_SaveTime;
  list.SetEntry(slot, entry);
  return SlotResult::kOk;
}

SlotResult LoadSlot(cSaveRecordBase& record, int slot) {
  if (!ValidSlot(slot)) return SlotResult::kBadSlot;
  const SlotResult result = LoadInto(record, MakeSaveSlotFileName(slot));
  if (result == SlotResult::kOk) ApplyModeLivesRule(record, kPlayModeStory);
  return result;
}

SlotResult LoadChallengeProgress(cSaveRecordBase& record) {
  const std::string path = ChallengeProgressFileName();
  const SlotResult result = LoadInto(record, path);
  if (result == SlotResult::kOk) {
    ApplyModeLivesRule(record, kPlayModeChallenge);
  } else if (result != SlotResult::kMissing) {
    // The caller starts fresh progress and will save it over this file:
    // keep what could not be read.
    const std::string backup = path + ".bak";
    if (!plat::FileExists(backup) && plat::RenameFile(path, backup))
      WriteReportLog("challenge progress cannot be read; kept as %s", backup.c_str());
  }
  return result;
}

SlotResult SaveChallengeProgress(cSaveRecordBase& record) {
  return WriteUserFileAtomically(ChallengeProgressFileName(), record.SaveToBytes()) ? SlotResult::kOk
                                                                                    : SlotResult::kWriteFailed;
}

// ---- the save time as text ----

std::string FormatSaveTime(const cSaveSlotEntry& entry) {
  if (entry.nState == SlotState::kBroken) return "----/--/-- --:--\n";
  if (!entry.bUsed) return std::string();
  char text[64];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d\n", entry.time.wYear, entry.time.wMonth, entry.time.wDay,
                entry.time.wHour, entry.time.wMinute);
  return text;
}

void FormatSaveTime(const cSaveSlotEntry& entry, int32_t x, int32_t y, cTextTarget& target) {
  const std::string text = FormatSaveTime(entry);
  if (!text.empty()) target.DrawSystemText(x, y, text);
}
