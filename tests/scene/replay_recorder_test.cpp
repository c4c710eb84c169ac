#include "scene/replay_recorder.h"

#include <gtest/gtest.h>

#include "data/stage_data.h"
#include "scene/input.h"
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

TEST(ReplayRecorderTest, PlaybackStartsOverAndHeldKeysAskOnce) {
  ScopedRecorder scope;
  cReplayRecorder& r = ReplayRecorder;
  cSaveData record;
  // Replays off: the attempt keeps no log, the seed is the clock's.
  EXPECT_EQ(r.StartAttempt(false, false, record, 7), 7u);
  EXPECT_EQ(KeyLogRecord.m_nSeed, 0u);

  // A loaded replay of two frames, its play record with score 5.
  KeyLogRecord.m_nSeed = 99;
  KeyLogRecord.AddFrame(2, 0);
  KeyLogRecord.AddFrame(0, 1);
  record.m_nScore = 5;
  r.BeginPlayback(record);
  cInput input;
  for (int start = 0; start < 2; ++start) {
    record.m_nScore = 77;
    EXPECT_EQ(r.StartAttempt(true, true, record, 7), 99u);
    EXPECT_EQ(record.m_nScore, 5);
    std::string played;
    input.m_wDirection = input.m_wButtons = 8;
    while (r.FeedFrame(input)) played += std::to_string(input.m_wDirection) + std::to_string(input.m_wButtons) + " ";
    EXPECT_EQ(played, "20 01 ");
    EXPECT_EQ(input.m_wDirection | input.m_wButtons, 0);  // the player's keys are never used
  }

  // A save key held down asks once; let go and pressed again, once more.
  using R = cReplayRecorder::SaveRequest;
  const bool f1[] = {true, true, true, false, true};
  const R expected[] = {R::kCurrent, R::kNone, R::kNone, R::kNone, R::kCurrent};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(r.PollSaveKeys(f1[i], false, false, true), expected[i]) << i;
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
