#include "base/thread.h"

#include <gtest/gtest.h>

#include <atomic>

#include "platform/clock.h"
#include "platform/messages.h"

namespace {

std::atomic<int> g_loops{0};
std::atomic<bool> g_unwound{false};

struct UnwindMarker {
  ~UnwindMarker() { g_unwound = true; }
};

// A worker that never looks at its queue: only the staged exit's last stage
// (termination at a safe point) can end it.
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

class ThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_loops = 0;
    g_unwound = false;
  }
  static void WaitForLoops(int n) {
    while (g_loops < n) plat::Sleep(1);
  }
};

TEST_F(ThreadTest, ExitEndsListeningDeafAndTwiceSuspendedWorkers) {
  struct Case {
    const char* name;
    ThreadProc proc;
    int suspensions;
  };
  for (const Case& c : {Case{"listening", ListeningWorker, 0}, Case{"deaf", DeafWorker, 0},
                        Case{"suspended twice", ListeningWorker, 2}}) {
    SCOPED_TRACE(c.name);
    SetUp();
    cThread t;
    ASSERT_TRUE(t.Create(c.proc, nullptr));
    WaitForLoops(3);
    for (int i = 0; i < c.suspensions; ++i) ASSERT_TRUE(t.Suspend());
    t.Exit();
    EXPECT_TRUE(g_unwound);  // its stack was unwound, not abandoned
    EXPECT_FALSE(t.Running());
    EXPECT_EQ(t.ThreadId(), 0u);
  }
}

// A worker that returns at once.
uint32_t ShortWorker(void*) { return 7; }

// A slot is finished when no thread runs in it: one that never held a
// thread, one whose thread was ended, and one whose thread has returned by
// itself (still held until it is joined). Those who wait on a worker (the
// hand-shake that posts to the game thread's queue until it takes the
// message, the stage read that pumps messages until the loader is done)
// stop waiting on such a slot instead of waiting for ever.
TEST_F(ThreadTest, ASlotWithoutARunningThreadIsFinished) {
  cThread never;
  EXPECT_TRUE(never.Finished()) << "a new slot";
  EXPECT_FALSE(never.Running());

  cThread ended;
  ASSERT_TRUE(ended.Create(ListeningWorker, nullptr));
  WaitForLoops(3);
  EXPECT_FALSE(ended.Finished()) << "its thread runs";
  ended.Exit();
  EXPECT_TRUE(ended.Finished()) << "after Exit";
  EXPECT_FALSE(ended.Running());

  cThread returned;
  ASSERT_TRUE(returned.Create(ShortWorker, nullptr));
  while (!returned.Finished()) plat::Sleep(1);
  EXPECT_TRUE(returned.Running()) << "held until it is joined";
  returned.Wait();
  EXPECT_TRUE(returned.Finished()) << "after Wait";
  EXPECT_FALSE(returned.Running());
}

TEST_F(ThreadTest, SuspendingTheWorkersStopsAndResumingRestartsThem) {
  ASSERT_TRUE(thGame.Create(ListeningWorker, nullptr));
  WaitForLoops(3);
  SuspendWorkerThreads();  // the idle workers are no threads: nothing happens to them
  EXPECT_EQ(thGame.SuspendCount(), 1);
  ResumeWorkerThreads();
  EXPECT_EQ(thGame.SuspendCount(), 0);
  const int resumed = g_loops;
  WaitForLoops(resumed + 5);
  thGame.Exit();
  EXPECT_TRUE(thPause.Suspend());  // no thread: true
  EXPECT_TRUE(thPause.Resume());
}

}  // namespace
