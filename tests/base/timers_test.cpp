#include "base/timers.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/clock.h"

namespace {

// Every test runs on the virtual clock; the pacers are asked once per virtual
// millisecond, as a tight loop around 1 ms sleeps would.
class TimersTest : public ::testing::Test {
 protected:
  void Start(uint64_t at) {
    plat::UseVirtualClock(true, at);
    ResetTimersForTest();
  }
  void TearDown() override { plat::UseVirtualClock(false); }
  // Milliseconds (relative to the start) at which IsFrameDue said yes.
  std::vector<uint32_t> FrameDueTimes(uint32_t fps, uint32_t durationMs) {
    std::vector<uint32_t> times;
    uint32_t start = plat::TickCount();
    for (uint32_t t = 0; t < durationMs; ++t) {
      if (IsFrameDue(fps)) times.push_back(plat::TickCount() - start);
      plat::AdvanceVirtualClock(1);
    }
    return times;
  }
};

TEST_F(TimersTest, FramePacerHoldsTheExactRateWithWholeMillisecondStepsAcrossTheClockWrap) {
  Start(0xFFFFFFFFull - 500);  // the 32-bit clock wraps half a second in
  std::vector<uint32_t> due = FrameDueTimes(60, 10000);
  EXPECT_EQ(due.size(), 600u);
  for (size_t i = 1; i < due.size(); ++i) {
    uint32_t gap = due[i] - due[i - 1];
    ASSERT_TRUE(gap == 16 || gap == 17) << "gap " << gap << " at frame " << i;  // not a fixed 16 ms step
  }
}

TEST_F(TimersTest, FramePacerStartsAfreshAfterAStallInsteadOfRushing) {
  Start(100);
  ASSERT_TRUE(IsFrameDue(60));
  plat::AdvanceVirtualClock(1000);  // a dialog held the game for a second
  ASSERT_TRUE(IsFrameDue(60));
  int caughtUp = 0;
  for (int t = 0; t < 15; ++t) {
    plat::AdvanceVirtualClock(1);
    caughtUp += IsFrameDue(60);
  }
  EXPECT_EQ(caughtUp, 0);
  EXPECT_TRUE(IsFrameDue(0));
}

// A pacer's loop sleeps for the wait the pacer names instead of asking
// every millisecond: it must wake exactly at each due time (a millisecond
// earlier is not due), and so keep the times of the millisecond loop.
TEST_F(TimersTest, PacersNameTheExactWaitToTheNextDueTime) {
  struct Pacer {
    const char* name;
    bool (*due)(uint32_t);
    uint32_t (*until)(uint32_t);
  };
  const Pacer pacers[] = {{"frame", IsFrameDue, [](uint32_t) { return MillisecondsUntilFrameDue(); }},
                          {"present", IsPresentDue, MillisecondsUntilPresentDue}};
  for (const Pacer& pacer : pacers) {
    for (uint32_t fps : {60u, 30u, 50u, 144u, 7u}) {
      SCOPED_TRACE(testing::Message() << pacer.name << " at " << fps);
      Start(0xFFFFFFFFull - 1500);
      const uint32_t start = plat::TickCount();
      std::vector<uint32_t> polled;
      for (uint32_t t = 0; t < 3000; ++t) {
        if (pacer.due(fps)) polled.push_back(plat::TickCount() - start);
        plat::AdvanceVirtualClock(1);
      }
      Start(0xFFFFFFFFull - 1500);
      std::vector<uint32_t> slept;
      while (plat::TickCount() - start < 3000) {
        if (pacer.due(fps)) {
          slept.push_back(plat::TickCount() - start);
          continue;
        }
        const uint32_t wait = pacer.until(fps);
        ASSERT_GE(wait, 1u);
        plat::AdvanceVirtualClock(wait - 1);
        ASSERT_FALSE(pacer.due(fps)) << "woken early at " << plat::TickCount() - start;
        plat::AdvanceVirtualClock(1);
      }
      EXPECT_EQ(slept, polled);
      EXPECT_EQ(polled.size(), fps * 3);  // exactly the rate, across the wrap
    }
  }
}

TEST_F(TimersTest, FrameRateCounterAndCallCounter) {
  Start(0xFFFFFFFFull - 300);
  uint32_t reported = 0;
  for (int ms = 0; ms < 999; ++ms) {
    reported = CountFramesPerSecond(1);
    plat::AdvanceVirtualClock(1);
  }
  EXPECT_EQ(reported, 0u);  // nothing during the first second
  plat::AdvanceVirtualClock(1);
  EXPECT_EQ(CountFramesPerSecond(1), 999u);
  EXPECT_EQ(CountFramesPerSecond(0), 999u);

  std::vector<uint32_t> calls;
  for (int i = 0; i < 6; ++i) calls.push_back(CountCalls(1, 3));
  EXPECT_EQ(calls, (std::vector<uint32_t>{0, 0, 1, 0, 0, 1}));
  CountCalls(1, 3);
  EXPECT_EQ(CountCalls(2, 0), 0u);
  EXPECT_EQ(CountCalls(0, 3), 0u);
  EXPECT_EQ(CountCalls(2, 0), 1u);
}

TEST_F(TimersTest, StopwatchMeasuresAcrossTheWrap) {
  Start(0xFFFFFFFFull - 5);
  StartStopwatch();
  plat::AdvanceVirtualClock(20);
  EXPECT_EQ(ReadStopwatch(0), 0u);
  EXPECT_EQ(ReadStopwatch(1), 20u);
  EXPECT_EQ(ResetStopwatchWhen(1), 20u);
  plat::AdvanceVirtualClock(3);
  EXPECT_EQ(ResetStopwatchWhen(0), 3u);
}

}  // namespace
