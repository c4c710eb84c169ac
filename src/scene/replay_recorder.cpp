#include "scene/replay_recorder.h"

#include "base/errors.h"
#include "data/stage_data.h"
#include "platform/text.h"
#include "scene/input.h"
#include "scene/scene.h"

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
  m_bF1Held = m_bF2Held = false;
  m_PlaybackRecord = cSaveData();
}

uint32_t cReplayRecorder::StartAttempt(bool playback, bool replaysEnabled, cSaveData& record, uint32_t clockSeed) {
  if (playback) {
    // Every start of a playback is the replay's attempt again.
    KeyLogRecord.Rewind();
    record = m_PlaybackRecord;
    return KeyLogRecord.m_nSeed;
  }
  if (replaysEnabled) BeginAttempt(record, clockSeed);
  return clockSeed;
}

void cReplayRecorder::BeginPlayback(const cSaveData& record) {
  m_PlaybackRecord = record;
  KeyLogRecord.Rewind();
}

bool cReplayRecorder::FeedFrame(cInput& input) {
  input.m_wDirection = 0;
  input.m_wButtons = 0;
  if (KeyLogRecord.GetFrame(input.m_wDirection, input.m_wButtons) != 0) return false;
  input.m_wButtons &= static_cast<uint16_t>(~cKeyLog::kWaitFrameMark);
  input.m_nDirection = cInput::GetDirectionNumber(input.m_wDirection);
  return true;
}

void cReplayRecorder::RecordFrame(const cInput& input) { KeyLogRecord.AddFrame(input.m_wDirection, input.m_wButtons); }

void cReplayRecorder::RecordWaitFrame(const cInput& input) { RecordWaitFrame(input.m_wDirection, input.m_wButtons); }

void cReplayRecorder::RecordWaitFrame(uint16_t direction, uint16_t buttons) {
  KeyLogRecord.AddFrame(direction, static_cast<uint16_t>(buttons | cKeyLog::kWaitFrameMark));
}

bool cReplayRecorder::FeedWaitFrame(cInput& input, bool mayDecide) {
  if (FeedRecordedWaitFrame(input)) return true;
  input.m_wDirection = 0;
  input.m_wButtons = 0;
  uint16_t direction = 0, buttons = 0;
  if (!KeyLogRecord.PeekFrame(direction, buttons)) return false;
  if (mayDecide) input.m_wButtons = 1;
  input.m_nDirection = cInput::GetDirectionNumber(input.m_wDirection);
  return true;
}

bool cReplayRecorder::FeedRecordedWaitFrame(cInput& input) {
  uint16_t direction = 0, buttons = 0;
  if (!KeyLogRecord.PeekFrame(direction, buttons) || !(buttons & cKeyLog::kWaitFrameMark)) return false;
  KeyLogRecord.GetFrame(input.m_wDirection, input.m_wButtons);
  input.m_wButtons &= static_cast<uint16_t>(~cKeyLog::kWaitFrameMark);
  input.m_nDirection = cInput::GetDirectionNumber(input.m_wDirection);
  return true;
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

cReplayRecorder::SaveRequest cReplayRecorder::PollSaveKeys(bool f1Down, bool f2Down, bool playback,
                                                           bool replaysEnabled) {
  const bool f1Pressed = f1Down && !m_bF1Held;
  const bool f2Pressed = f2Down && !m_bF2Held;
  m_bF1Held = f1Down;
  m_bF2Held = f2Down;
  return CheckSaveKeys(f1Pressed, f2Pressed, playback, replaysEnabled);
}

bool cReplayRecorder::SaveAttempt(bool previous, const std::string& path, cStageData& stage, cStageData& master) {
  cKeyLog& log = previous ? KeyLogPrevious : KeyLogRecord;
  cSaveData& snapshot = previous ? m_PreviousSnapshot : m_CurrentSnapshot;
  if (SaveReplay(log, path, stage, master, snapshot)) return true;
  // A replay that cannot be written costs the player that replay only.
  ShowError(plat::Sjis("リプレイファイル %s を保存できませんでした！").c_str(), path.c_str());
  return false;
}

int32_t ReplayPlaybackVersion() {
  return SceneManager.m_nLastTitleAction == kTitleReplay ? KeyLogRecord.m_nFileVersion : 0;
}
