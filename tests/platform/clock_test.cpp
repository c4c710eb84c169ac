#include "platform/clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/threads.h"

namespace plat {
namespace {

void WaitForSleepers(int n) {
  while (VirtualClockSleepers() != n) std::this_thread::yield();
}

class ClockTest : public ::testing::Test {
 protected:
  void TearDown() override { UseVirtualClock(false); }
};

TEST_F(ClockTest, VirtualSleeperWakesOnlyWhenTheClockPassesItsDeadline) {
  UseVirtualClock(true, 1000);
  EXPECT_TRUE(VirtualClockActive());
  EXPECT_EQ(TickCount64(), 1000u);
  std::atomic<uint64_t> wokeAt{0};
  std::thread sleeper([&] { Sleep(50), wokeAt = TickCount64(); });
  WaitForSleepers(1);
  AdvanceVirtualClock(49);
  EXPECT_EQ(VirtualClockSleepers(), 1);  // its deadline is still ahead
  EXPECT_EQ(wokeAt.load(), 0u);
  AdvanceVirtualClock(1);
  sleeper.join();
  EXPECT_EQ(wokeAt.load(), 1050u);
  EXPECT_EQ(VirtualClockSleepers(), 0);
  Sleep(0);  // due at once, no advance needed
}

TEST_F(ClockTest, SwitchingTheVirtualClockOffReleasesSleepersAndTerminationUnwindsThem) {
  UseVirtualClock(true, 0);
  std::atomic<int> done{0};
  std::thread a([&] { Sleep(1000000); ++done; });
  std::thread b([&] { Sleep(5); ++done; });
  std::atomic<bool> returned{false};
  Thread c;
  ASSERT_TRUE(c.Start([&]() -> uint32_t { return Sleep(10), returned = true, 1; }));
  WaitForSleepers(3);
  c.RequestTerminate();
  ASSERT_TRUE(c.Join(0x7FFFFFFF));
  EXPECT_FALSE(returned.load());
  EXPECT_EQ(VirtualClockSleepers(), 2);
  UseVirtualClock(false);
  a.join(), b.join();
  EXPECT_EQ(done.load(), 2);
  EXPECT_EQ(VirtualClockSleepers(), 0);
  EXPECT_FALSE(VirtualClockActive());
}

// The driver's wait ends when a thread starts sleeping (or sleeps already)
// and when it is woken; only a missed wake would reach the long timeout.
TEST_F(ClockTest, TheDriversWaitEndsWithANewSleeperOrAWake) {
  constexpr uint32_t kLong = 60u * 1000u * 1000u;
  UseVirtualClock(true, 1000);
  EXPECT_FALSE(WaitForVirtualClockWork(1));  // nobody sleeps, nobody wakes it
  std::thread sleeper([] { Sleep(5); });
  EXPECT_TRUE(WaitForVirtualClockWork(kLong));
  EXPECT_EQ(VirtualClockSleepers(), 1);
  EXPECT_TRUE(WaitForVirtualClockWork(1));  // one sleeps already
  AdvanceVirtualClock(5);
  sleeper.join();
  EXPECT_EQ(VirtualClockSleepers(), 0);

  std::atomic<bool> returned{false};
  std::thread waker([&] {
    while (!returned.load()) WakeVirtualClockDriver(), std::this_thread::yield();
  });
  EXPECT_TRUE(WaitForVirtualClockWork(kLong));
  returned = true;
  waker.join();
}

TEST_F(ClockTest, TickCountWrapsAndElapsedTimeSurvivesTheWrap) {
  UseVirtualClock(true, 0xFFFFFFF0u);
  const uint32_t before = TickCount();
  EXPECT_EQ(before, 0xFFFFFFF0u);
  AdvanceVirtualClock(0x20);
  EXPECT_EQ(static_cast<uint32_t>(TickCount() - before), 0x20u);
  EXPECT_EQ(TickCount64(), 0x100000010u);
}

}  // namespace
}  // namespace plat
