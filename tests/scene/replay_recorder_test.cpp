#include "scene/replay_recorder.h"

#include <gtest/gtest.h>

#include "data/stage_data.h"
#include "support/sandbox.h"

namespace {

// The recorder and its two logs, put back after a test.
struct ScopedRecorder {
  ScopedRecorder() { ReplayRecorder.Reset(); }
  ~ScopedRecorder() { ReplayRecorder.Reset(); }
};

TEST(ReplayRecorderTest, AttemptsAndSaveKeys) {
  ScopedRecorder scope;
  using R = cReplayRecorder::SaveRequest;
  cReplayRecorder& r = ReplayRecorder;
  cSaveData record;
  record.m_nScore = 11;
  r.BeginAttempt(record, 5);
  r.AddFrame(1, 0);
  r.AddFrame(1, 1);
  // F2 before a second attempt: the buzzer, then 60 frames of silence.
  EXPECT_EQ(r.CheckSaveKeys(false, true, false, true), R::kRefused);
  for (int i = 1; i < cReplayRecorder::kRefusedCooldown; ++i) ASSERT_EQ(r.CheckSaveKeys(false, true, false, true), R::kNone) << i;
  EXPECT_EQ(r.CheckSaveKeys(false, true, false, true), R::kRefused);
  EXPECT_EQ(r.CheckSaveKeys(true, true, false, true), R::kCurrent);
  EXPECT_EQ(r.CheckSaveKeys(true, false, true, true), R::kNone);  // playback

  record.m_nScore = 22;
  r.BeginAttempt(record, 6);
  EXPECT_EQ(KeyLogPrevious.FrameCount(), 2u);
  EXPECT_EQ(r.m_PreviousSnapshot.m_nScore, 11);
  EXPECT_EQ(r.m_CurrentSnapshot.m_nScore, 22);
  EXPECT_TRUE(KeyLogRecord.Empty());
  EXPECT_EQ(r.CheckSaveKeys(false, true, false, true), R::kPrevious);
}

TEST(ReplayRecorderTest, ReplaysOffKeepNoLogAndAHeldSaveKeyAsksOnce) {
  ScopedRecorder scope;
  cSaveData record;
  EXPECT_EQ(ReplayRecorder.StartAttempt(false, false, record, 7), 7u);
  EXPECT_EQ(KeyLogRecord.m_nSeed, 0u);
  KeyLogRecord.AddFrame(2, 0);
  using R = cReplayRecorder::SaveRequest;
  const bool f1[] = {true, true, false, true};
  const R expected[] = {R::kCurrent, R::kNone, R::kNone, R::kCurrent};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(ReplayRecorder.PollSaveKeys(f1[i], false, false, true), expected[i]) << i;
}

TEST(ReplayRecorderTest, AFailedSaveShowsAMessage) {
  Sandbox box;
  ScopedRecorder scope;
  ReplayRecorder.BeginAttempt(cSaveData(), 1);
  ReplayRecorder.AddFrame(2, 0);
  cStageData stage, master;
  // A folder where the file should go: it cannot be written.
  box.Write("taken/x", "");
  EXPECT_FALSE(ReplayRecorder.SaveAttempt(false, "taken", stage, master));
  EXPECT_NE(box.DialogLog().find("taken"), std::string::npos);
  ASSERT_TRUE(ReplayRecorder.SaveAttempt(false, "ok.rpl4_873", stage, master));
  cKeyLog log;
  cStageData loaded, running;
  cSaveData record;
  ASSERT_EQ(LoadReplay(log, "ok.rpl4_873", loaded, running, record), ReplayLoad::kOk);
  EXPECT_EQ(log.m_Directions, std::vector<uint16_t>{2});
}

}  // namespace
