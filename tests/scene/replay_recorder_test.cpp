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

// A wait inside a play frame (a message waiting for decide) is recorded with
// its frames marked; playback hands them back to the wait and the play
// frames to the frame. A log of play frames only (another program's) has
// the wait answered at once, the log untouched.
TEST(ReplayRecorderTest, WaitFramesGoBackToTheWaitTheyWereRecordedIn) {
  ScopedRecorder scope;
  cReplayRecorder& r = ReplayRecorder;
  r.BeginAttempt(cSaveData(), 3);
  cInput input;
  const struct {
    bool wait;
    uint16_t direction, buttons;
  } frames[] = {{false, 2, 0}, {true, 0, 0}, {true, 0, 0}, {true, 0, 1}, {false, 2, 0}, {false, 0, 1}};
  for (const auto& f : frames) {
    input.m_wDirection = f.direction;
    input.m_wButtons = f.buttons;
    f.wait ? r.RecordWaitFrame(input) : r.RecordFrame(input);
  }
  EXPECT_EQ(KeyLogRecord.m_Buttons, (std::vector<uint16_t>{0, 0x8000, 0x8001, 0, 1}));

  KeyLogRecord.Rewind();
  for (const auto& f : frames) {
    ASSERT_TRUE(f.wait ? r.FeedWaitFrame(input, false) : r.FeedFrame(input));
    EXPECT_EQ(input.m_wDirection, f.direction);
    EXPECT_EQ(input.m_wButtons, f.buttons);
  }
  EXPECT_FALSE(r.FeedWaitFrame(input, true));  // played out: the wait ends
  EXPECT_FALSE(r.FeedFrame(input));

  // Play frames only: the wait gets decide once it may take it.
  KeyLogRecord.Reset();
  KeyLogRecord.AddFrame(8, 0);
  ASSERT_TRUE(r.FeedWaitFrame(input, false));
  EXPECT_EQ(input.m_wButtons, 0);
  ASSERT_TRUE(r.FeedWaitFrame(input, true));
  EXPECT_EQ(input.m_wButtons, 1);
  EXPECT_EQ(input.m_wDirection, 0);
  ASSERT_TRUE(r.FeedFrame(input));
  EXPECT_EQ(input.m_wDirection, 8);
}

TEST(ReplayRecorderTest, AFailedSaveShowsAMessage) {
  Sandbox box;
  ScopedRecorder scope;
  ReplayRecorder.BeginAttempt(cSaveData(), 1);
  ReplayRecorder.AddFrame(2, 0);
  cStageData stage, master;
  master.Int(kStageWidth) = 20;  // a stage the game lays out (a check may be installed)
  master.Int(kStageHeight) = 15;
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
