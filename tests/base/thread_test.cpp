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
