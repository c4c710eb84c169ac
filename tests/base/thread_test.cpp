#include "base/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "platform/clock.h"
#include "platform/messages.h"

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> g_loops{0};
std::atomic<bool> g_unwound{false};

struct UnwindMarker {
  ~UnwindMarker() { g_unwound = true; }
};

// A worker that never looks at its queue: only the staged exit's last stage
// can end it.
uint32_t DeafWorker(void*) {
  UnwindMarker marker;
  for (;;) {
    ++g_loops;
    plat::Sleep(1);
  }
}

// A worker that leaves on WM_QUIT, as the game's threads do.
uint32_t ListeningWorker(void*) {
  UnwindMarker marker;
  for (;;) {
    plat::Message msg;
    while (plat::PeekMessage(msg, true))
      if (msg.message == plat::WM_QUIT) return 1;
    ++g_loops;
    plat::Sleep(1);
  }
}

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

class ThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_loops = 0;
    g_unwound = false;
  }
};

TEST_F(ThreadTest, ExitEndsAListeningWorkerAtOnce) {
  cThread t;
  ASSERT_TRUE(t.Create(ListeningWorker, nullptr));
  while (g_loops < 3) plat::Sleep(1);
  auto start = Clock::now();
  t.Exit();
  EXPECT_LT(ElapsedMs(start), 150);
  EXPECT_TRUE(g_unwound);
  EXPECT_FALSE(t.Running());
}

TEST_F(ThreadTest, ExitUnwindsAWorkerThatIgnoresItsQueueAfterTheTwoHundredPolls) {
  cThread t;
  ASSERT_TRUE(t.Create(DeafWorker, nullptr));
  while (g_loops < 3) plat::Sleep(1);
  auto start = Clock::now();
  t.Exit();
  long ms = ElapsedMs(start);
  EXPECT_GE(ms, 195);
  EXPECT_LT(ms, 1000);
  EXPECT_TRUE(g_unwound);  // its stack was unwound, not abandoned
  EXPECT_FALSE(t.Running());
}

TEST_F(ThreadTest, ExitEndsAWorkerSuspendedTwice) {
  cThread t;
  ASSERT_TRUE(t.Create(ListeningWorker, nullptr));
  while (g_loops < 3) plat::Sleep(1);
  ASSERT_TRUE(t.Suspend());
  ASSERT_TRUE(t.Suspend());
  int parked = g_loops;
  plat::Sleep(30);
  EXPECT_LE(g_loops - parked, 1);
  auto start = Clock::now();
  t.Exit();
  EXPECT_LT(ElapsedMs(start), 150);
  EXPECT_TRUE(g_unwound);
}

TEST_F(ThreadTest, SuspendingTheWorkersStopsAndResumingRestartsThem) {
  ASSERT_TRUE(thGame.Create(ListeningWorker, nullptr));
  while (g_loops < 3) plat::Sleep(1);
  SuspendWorkerThreads();  // the idle workers are no threads: nothing happens to them
  int parked = g_loops;
  plat::Sleep(40);
  EXPECT_LE(g_loops - parked, 1);
  ResumeWorkerThreads();
  auto start = Clock::now();
  while (g_loops < parked + 5 && ElapsedMs(start) < 1000) plat::Sleep(1);
  EXPECT_GE(g_loops, parked + 5);
  thGame.Exit();
  EXPECT_TRUE(thPause.Suspend());  // no thread: true
  EXPECT_TRUE(thPause.Resume());
}

}  // namespace
