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

// A worker busy outside every safe point (a stage being read, a long frame
// on a saturated machine) until the Exit that ends it has polled this many
// times: well past the termination stage and past any wait after which a
// close might give up on it.
constexpr int kHeldPolls = 3000;
std::atomic<bool> g_released{false};
std::atomic<int> g_pollsSeen{0};

void ReleaseAfterHeldPolls(cThread&, int polls) {
  g_pollsSeen = polls;
  if (polls >= kHeldPolls) g_released = true;
}

uint32_t BusyUntilReleased(void*) {
  UnwindMarker marker;
  while (!g_released.load()) continue;  // no safe point in here
  for (;;) plat::Sleep(1);              // the first safe point unwinds it
}

// Whoever ends a worker goes on to free what the worker uses (the window's
// close frees the scenes and surfaces the game thread draws with): Exit
// returns only once the worker has ended, however long it is kept from its
// next safe point.
TEST_F(ThreadTest, ExitWaitsForAWorkerBusyOutsideItsSafePointsHoweverLongItTakes) {
  g_released = false;
  g_pollsSeen = 0;
  cThread t;
  ASSERT_TRUE(t.Create(BusyUntilReleased, nullptr));
  SetThreadExitPollHookForTest(ReleaseAfterHeldPolls);
  t.Exit();
  SetThreadExitPollHookForTest(nullptr);
  const bool endedFirst = g_unwound.load();
  g_released = true;  // a worker left running ends all the same
  EXPECT_TRUE(endedFirst) << "Exit returned after " << g_pollsSeen.load() << " polls, its worker still running";
  EXPECT_GE(g_pollsSeen.load(), kHeldPolls);
  EXPECT_FALSE(t.Running());
}

// Never destroyed: a worker that fails to end itself spins on in its Exit.
cThread& SelfEndingSlot() {
  static cThread* slot = new cThread;
  return *slot;
}

uint32_t EndsItsOwnSlot(void*) {
  UnwindMarker marker;
  SelfEndingSlot().Exit();
  return 5;  // not reached: the termination stage unwinds it
}

// A worker cannot wait for itself: ending its own slot unwinds it at the
// termination stage, as the other stages cannot end it.
TEST_F(ThreadTest, AWorkerEndingItsOwnSlotIsUnwound) {
  cThread& slot = SelfEndingSlot();
  ASSERT_TRUE(slot.Create(EndsItsOwnSlot, nullptr));
  // A hang guard only: the worker is not waited on for its time.
  for (int i = 0; i < 60000 && !slot.Finished(); ++i) plat::Sleep(1);
  ASSERT_TRUE(slot.Finished()) << "the worker still spins in its own Exit";
  EXPECT_TRUE(g_unwound.load());
  slot.Wait();
  EXPECT_FALSE(slot.Running());
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
