#include "platform/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/messages.h"

namespace plat {
namespace {

// Waits that only a hang would end (ctest's timeout reports it).
constexpr uint32_t kForever = 0x7FFFFFFF;

void WaitUntil(const std::function<bool()>& done) {
  while (!done()) std::this_thread::yield();
}

// Sets a flag from its destructor: proves the worker's stack was unwound.
struct UnwindGuard {
  std::atomic<bool>& flag;
  ~UnwindGuard() { flag = true; }
};

class ThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override { SetMainThread(); }
  void TearDown() override {
    SetMainQueueWaker(nullptr);
    if (window_ != 0) DestroyWindowEntry(window_);
    DropQueue();
    ClearMainThread();
    UseVirtualClock(false);
  }
  // A window of the main thread that counts and answers sends; the main
  // thread serves it only when a test calls ServeSentMessages.
  void MakeMainWindow() {
    window_ = CreateWindowEntry([this](WindowHandle, uint32_t, uint64_t wp, int64_t) -> int64_t {
      ++handled_;
      return static_cast<int64_t>(wp);
    });
    SetMainQueueWaker([this] { ++delivered_; });
  }
  WindowHandle window_ = 0;
  std::atomic<int> handled_{0};
  std::atomic<int> delivered_{0};
};

TEST_F(ThreadsTest, RunsBodyReportsIdAndExitCode) {
  Thread thread;
  EXPECT_EQ(thread.Id(), 0u);
  EXPECT_TRUE(thread.Suspend() == -1 && thread.Resume() == -1);  // nothing runs yet
  std::atomic<ThreadId> inside{0};
  ASSERT_TRUE(thread.Start([&]() -> uint32_t { return inside = CurrentThreadId(), 42; }));
  EXPECT_NE(thread.Id(), 0u);
  EXPECT_NE(thread.Id(), CurrentThreadId());
  ASSERT_TRUE(thread.Join(kForever));
  EXPECT_TRUE(!thread.Started() && thread.Finished());
  EXPECT_EQ(thread.ExitCode(), 42u);
  EXPECT_EQ(inside.load(), thread.Id());
}

// A thread started with its queue takes posts before it first runs, in
// their order; one started without has none until its first message call.
TEST_F(ThreadsTest, AThreadStartedWithItsQueueKeepsWhatIsPostedBeforeItRuns) {
  std::atomic<bool> go{false};
  std::vector<uint64_t> got;
  auto body = [&]() -> uint32_t {
    WaitUntil([&] { return go.load(); });
    for (Message m; GetMessage(m);) got.push_back(m.wParam);
    return 0;
  };
  Thread with, without;
  ASSERT_TRUE(with.Start(body, true));
  EXPECT_TRUE(PostThreadMessage(with.Id(), WM_APP, 1, 0));
  EXPECT_TRUE(PostThreadMessage(with.Id(), WM_APP, 2, 0));
  ASSERT_TRUE(without.Start([&]() -> uint32_t { return WaitUntil([&] { return go.load(); }), 0; }));
  EXPECT_FALSE(PostThreadMessage(without.Id(), WM_APP, 1, 0));
  go = true;
  WaitUntil([&] { return PostThreadMessage(with.Id(), WM_QUIT, 0, 0); });
  ASSERT_TRUE(with.Join(kForever) && without.Join(kForever));
  EXPECT_EQ(got, (std::vector<uint64_t>{1, 2}));
  EXPECT_FALSE(PostThreadMessage(with.Id(), WM_APP, 3, 0));  // an ended thread's queue is gone
}

// On the virtual clock a loop of Sleep(1) makes exactly one round per
// millisecond the test advances; a suspended one parks at Sleep's safe point.
TEST_F(ThreadsTest, SuspendCountsNestAndAParkedLoopMakesNoRound) {
  UseVirtualClock(true, 0);
  std::atomic<bool> stop{false};
  std::atomic<int> rounds{0};
  Thread thread;
  ASSERT_TRUE(thread.Start([&]() -> uint32_t {
    while (!stop.load()) ++rounds, Sleep(1);
    return 0;
  }));
  auto sleeping = [] { return VirtualClockSleepers() == 1; };
  WaitUntil(sleeping);
  EXPECT_EQ(rounds.load(), 1);

  EXPECT_EQ(thread.Suspend(), 0);
  EXPECT_EQ(thread.Suspend(), 1);
  AdvanceVirtualClock(1);  // wakes it: it parks before its next round
  WaitUntil([] { return VirtualClockSleepers() == 0; });
  EXPECT_EQ(thread.Resume(), 2);  // still suspended once
  EXPECT_EQ(rounds.load(), 1);
  EXPECT_EQ(thread.Resume(), 1);
  WaitUntil(sleeping);
  EXPECT_EQ(rounds.load(), 2);
  EXPECT_EQ(thread.Resume(), 0);  // never below zero

  thread.Suspend(), thread.Suspend();
  thread.ResumeFully();
  EXPECT_EQ(thread.SuspendCount(), 0);
  AdvanceVirtualClock(1);
  WaitUntil([&] { return rounds.load() == 3 && sleeping(); });
  stop = true;
  AdvanceVirtualClock(1);
  ASSERT_TRUE(thread.Join(kForever));
  EXPECT_EQ(rounds.load(), 3);
  EXPECT_EQ(thread.Suspend(), -1);
}

TEST_F(ThreadsTest, ASuspendedSenderParksWhenItsReplyComes) {
  MakeMainWindow();
  std::atomic<int64_t> reply{0};
  std::atomic<bool> returned{false};
  Thread thread;
  ASSERT_TRUE(thread.Start([&]() -> uint32_t { return reply = SendMessage(window_, WM_USER, 17, 0), returned = true, 0; }));
  WaitUntil([&] { return delivered_.load() == 1; });
  // Blocked in a platform wait: the suspend does not wait for it to park.
  EXPECT_EQ(thread.Suspend(), 0);
  ServeSentMessages();  // the main thread answers while the worker is suspended
  EXPECT_EQ(handled_.load(), 1);
  EXPECT_FALSE(thread.Join(0));
  EXPECT_FALSE(returned.load());  // parked before SendMessage returned
  thread.Resume();
  ASSERT_TRUE(thread.Join(kForever));
  EXPECT_EQ(reply.load(), 17);
}

TEST_F(ThreadsTest, TerminateUnwindsWorkersWhereverTheyBlockOrPark) {
  MakeMainWindow();
  struct Case {
    const char* name;
    std::function<void()> block;  // never returns on its own
    bool suspend;                 // parked as well
  };
  const Case cases[] = {
      {"sleep loop", [] { for (;;) Sleep(1); }, false},
      {"parked sleep loop", [] { for (;;) Sleep(1); }, true},
      {"long sleep", [] { Sleep(600000); }, false},
      {"get message", [] { for (Message msg; GetMessage(msg);) continue; }, false},
      {"wait message", [] { for (;;) WaitMessage(); }, false},
      {"send message", [this] { SendMessage(window_, WM_USER, 0, 0); }, false},
      {"run on main thread", [] { RunOnMainThread([] { return int64_t{1}; }); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::atomic<bool> entered{false}, unwound{false}, fellThrough{false};
    Thread thread;
    ASSERT_TRUE(thread.Start([&]() -> uint32_t {
      UnwindGuard guard{unwound};
      entered = true;
      c.block();
      fellThrough = true;
      return 5;
    }));
    WaitUntil([&] { return entered.load(); });
    if (c.suspend) thread.Suspend();
    thread.RequestTerminate();
    EXPECT_TRUE(thread.TerminateRequested());
    ASSERT_TRUE(thread.Join(kForever));
    EXPECT_TRUE(unwound.load() && !fellThrough.load());
    EXPECT_EQ(thread.ExitCode(), 0u);
    EXPECT_EQ(thread.SuspendCount(), c.suspend ? 1 : 0);
  }
  // The withdrawn sends are not served after their senders left.
  ServeSentMessages();
  EXPECT_EQ(handled_.load(), 0);
}

// The receiver is still running the handler when the sender unwinds: the
// reply is written into the record after its sender is gone.
TEST_F(ThreadsTest, SenderUnwindingDuringTheHandlerLeavesNoDanglingReply) {
  Thread thread;
  std::atomic<bool> unwound{false};
  window_ = CreateWindowEntry([&](WindowHandle, uint32_t, uint64_t, int64_t) -> int64_t {
    thread.RequestTerminate();
    EXPECT_TRUE(thread.Join(kForever));
    return 123;
  });
  std::atomic<int> delivered{0};
  SetMainQueueWaker([&] { ++delivered; });
  ASSERT_TRUE(thread.Start([&]() -> uint32_t {
    UnwindGuard guard{unwound};
    SendMessage(window_, WM_USER, 0, 0);
    return 9;
  }));
  WaitUntil([&] { return delivered.load() == 1; });
  ServeSentMessages();
  EXPECT_TRUE(thread.Finished() && unwound.load());
  EXPECT_EQ(thread.ExitCode(), 0u);
}

TEST_F(ThreadsTest, ABusyThreadOutsideEverySafePointIsGivenUpOnAndCanBeDetached) {
  std::atomic<bool> stop{false};
  Thread thread;
  // No safe point in its loop: neither suspension nor termination can reach it.
  ASSERT_TRUE(thread.Start([&]() -> uint32_t {
    while (!stop.load()) continue;
    return 3;
  }));
  thread.RequestTerminate();
  EXPECT_EQ(thread.Suspend(), 0);  // gives up waiting for it to park
  EXPECT_FALSE(thread.Join(20));
  EXPECT_FALSE(thread.Start([] { return 0u; }));  // one still runs
  thread.Detach();
  EXPECT_FALSE(thread.Started());
  stop = true;
  WaitUntil([&] { return thread.Finished(); });
  EXPECT_EQ(thread.ExitCode(), 3u);
}

// The window's close and the game thread both end the stage-loading thread:
// two threads wait for it in Join when it ends. Each sees it joined, and
// neither joins what the other has joined already.
TEST_F(ThreadsTest, TwoThreadsJoiningTheSameThreadSeeItJoinedOnce) {
  Thread target;
  ASSERT_TRUE(target.Start([]() -> uint32_t {
    for (Message msg; GetMessage(msg);) continue;
    return 7;
  }));
  struct Joiner {
    std::atomic<bool> joined{false}, threw{false};
    void Join(Thread& thread) {
      try {
        joined = thread.Join(kForever);
      } catch (const std::system_error&) {
        threw = true;
      }
    }
  } worker, plain;  // a worker of ours (the game thread) and any other thread (the window's)
  Thread workerThread;
  ASSERT_TRUE(workerThread.Start([&]() -> uint32_t { return worker.Join(target), 0; }));
  std::thread plainThread([&] { plain.Join(target); });
  WaitUntil([&] { return target.Watchers() == 2; });
  while (!PostThreadMessage(target.Id(), WM_QUIT, 0, 0)) std::this_thread::yield();  // its queue may be new
  ASSERT_TRUE(workerThread.Join(kForever));
  plainThread.join();
  EXPECT_TRUE(worker.joined && plain.joined);
  EXPECT_FALSE(worker.threw || plain.threw);
  EXPECT_TRUE(!target.Started() && target.Finished());
  EXPECT_EQ(target.ExitCode(), 7u);
}

// A game thread told to end while it ends the stage loader still waits for
// the loader: the loader is not left running behind it.
TEST_F(ThreadsTest, AWorkerToldToEndStillWaitsOutItsJoin) {
  std::atomic<bool> go{false}, release{false}, returned{false}, joined{false}, targetEnded{false}, unwound{false};
  Thread target;  // a loader between safe points: only `release` ends it
  ASSERT_TRUE(target.Start([&]() -> uint32_t {
    while (!release.load()) continue;
    return 4;
  }));
  Thread worker;
  ASSERT_TRUE(worker.Start([&]() -> uint32_t {
    UnwindGuard guard{unwound};
    while (!go.load()) continue;
    joined = target.Join(kForever);
    targetEnded = target.Finished();
    returned = true;
    SafePoint();  // unwinds here
    return 1;
  }));
  worker.RequestTerminate();
  go = true;
  WaitUntil([&] { return target.Watchers() == 1 || returned.load(); });
  release = true;
  ASSERT_TRUE(worker.Join(kForever));
  EXPECT_TRUE(joined && targetEnded);
  EXPECT_TRUE(unwound.load());
  EXPECT_EQ(worker.ExitCode(), 0u);
  target.Join(kForever);
}

}  // namespace
}  // namespace plat
