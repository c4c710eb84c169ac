#include "platform/clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "platform/threads.h"

namespace plat {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 2000ms) {
  auto deadline = Clock::now() + timeout;
  while (!done()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

class ClockTest : public ::testing::Test {
 protected:
  void TearDown() override { UseVirtualClock(false); }
};

TEST_F(ClockTest, RealSleepReallySleepsAndTheTickFollowsTheMonotonicClock) {
  ASSERT_FALSE(VirtualClockActive());
  uint64_t tick0 = TickCount64();
  auto start = Clock::now();
  Sleep(20);
  auto slept = Clock::now() - start;
  uint64_t tick1 = TickCount64();
  EXPECT_GE(slept, 20ms);
  EXPECT_LT(slept, 1000ms);
  EXPECT_GE(tick1 - tick0, 20u);
  EXPECT_LT(tick1 - tick0, 1000u);
  // The 32-bit tick is the low half of the same clock.
  uint32_t low = TickCount();
  EXPECT_LE(static_cast<uint32_t>(low - static_cast<uint32_t>(tick1)), 1000u);
}

TEST_F(ClockTest, VirtualSleeperWakesOnlyWhenTheClockPassesItsDeadline) {
  UseVirtualClock(true, 1000);
  EXPECT_TRUE(VirtualClockActive());
  EXPECT_EQ(TickCount64(), 1000u);
  std::atomic<bool> woke{false};
  std::atomic<uint64_t> wokeAt{0};
  std::thread sleeper([&] {
    Sleep(50);
    wokeAt = TickCount64();
    woke = true;
  });
  ASSERT_TRUE(WaitUntil([] { return VirtualClockSleepers() == 1; }));
  AdvanceVirtualClock(49);
  std::this_thread::sleep_for(15ms);
  EXPECT_FALSE(woke.load());
  EXPECT_EQ(VirtualClockSleepers(), 1);
  AdvanceVirtualClock(1);
  sleeper.join();
  EXPECT_TRUE(woke.load());
  EXPECT_EQ(wokeAt.load(), 1050u);
  EXPECT_EQ(VirtualClockSleepers(), 0);
  Sleep(0);  // due at once, no advance needed
}

TEST_F(ClockTest, SwitchingTheVirtualClockOffReleasesSleepers) {
  UseVirtualClock(true, 0);
  std::atomic<int> done{0};
  std::thread a([&] { Sleep(1000000); ++done; });
  std::thread b([&] { Sleep(5); ++done; });
  ASSERT_TRUE(WaitUntil([] { return VirtualClockSleepers() == 2; }));
  UseVirtualClock(false);
  a.join();
  b.join();
  EXPECT_EQ(done.load(), 2);
  EXPECT_EQ(VirtualClockSleepers(), 0);
  EXPECT_FALSE(VirtualClockActive());
}

TEST_F(ClockTest, TickCountWrapsAndElapsedTimeSurvivesTheWrap) {
  UseVirtualClock(true, 0xFFFFFFF0u);
  uint32_t before = TickCount();
  EXPECT_EQ(before, 0xFFFFFFF0u);
  AdvanceVirtualClock(0x20);
  uint32_t after = TickCount();
  EXPECT_EQ(after, 0x10u);
  EXPECT_EQ(static_cast<uint32_t>(after - before), 0x20u);
  EXPECT_EQ(TickCount64(), 0x100000010u);
}

TEST_F(ClockTest, TerminatingAVirtualSleeperUnwindsIt) {
  UseVirtualClock(true, 0);
  std::atomic<bool> returned{false};
  Thread thread;
  ASSERT_TRUE(thread.Start([&]() -> uint32_t {
    Sleep(10);
    returned = true;
    return 1;
  }));
  ASSERT_TRUE(WaitUntil([] { return VirtualClockSleepers() == 1; }));
  thread.RequestTerminate();
  ASSERT_TRUE(thread.Join(2000));
  EXPECT_FALSE(returned.load());
  EXPECT_EQ(VirtualClockSleepers(), 0);
}

}  // namespace
}  // namespace plat
