#include "scene/replay_recorder.h"

#include "base/errors.h"
#include "data/stage_data.h"
#include "platform/text.h"

cReplayRecorder ReplayRecorder;

void cReplayRecorder::BeginAttempt(const cSaveData& record, uint32_t seed) {
  m_PreviousSnapshot = m_CurrentSnapshot;
  m_CurrentSnapshot = record;
  KeyLogPrevious = KeyLogRecord;
  KeyLogPrevious.Rewind();
  KeyLogRecord.Reset();
  KeyLogRecord.m_nSeed = seed;
}

void cReplayRecorder::Reset() {
  KeyLogRecord.Reset();
  KeyLogPrevious.Reset();
  m_CurrentSnapshot = cSaveData();
  m_PreviousSnapshot = cSaveData();
  m_nCooldown = 0;
}

cReplayRecorder::SaveRequest cReplayRecorder::CheckSaveKeys(bool f1Down, bool f2Down, bool playback,
                                                            bool replaysEnabled) {
  if (playback || !replaysEnabled) return SaveRequest::kNone;
  if (m_nCooldown > 0) --m_nCooldown;
  if (!f1Down && !f2Down) return SaveRequest::kNone;
  const cKeyLog& chosen = f1Down ? KeyLogRecord : KeyLogPrevious;
  if (chosen.Empty()) {
    if (m_nCooldown > 0) return SaveRequest::kNone;
    m_nCooldown = kRefusedCooldown;
    return SaveRequest::kRefused;
  }
  return f1Down ? SaveRequest::kCurrent : SaveRequest::kPrevious;
}

bool cReplayRecorder::SaveAttempt(bool previous, const std::string& path, cStageData& stage, cStageData& master) {
  cKeyLog& log = previous ? KeyLogPrevious : KeyLogRecord;
  cSaveData& snapshot = previous ? m_PreviousSnapshot : m_CurrentSnapshot;
  if (SaveReplay(log, path, stage, master, snapshot)) return true;
  // A replay that cannot be written costs the player that replay only.
  ShowError(plat::Sjis("リプレイファイル %s を保存できませんでした！").c_str(), path.c_str());
  return false;
}
