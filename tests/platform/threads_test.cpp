#include "platform/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "platform/messages.h"

namespace plat {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Polls `done` every millisecond for up to `timeout` (test side only).
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 2000ms) {
  auto deadline = Clock::now() + timeout;
  while (!done()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
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

TEST_F(ThreadsTest, RunsBodyReportsIdAndExitCodeAndRestarts) {
  Thread thread;
  EXPECT_EQ(thread.Id(), 0u);
  EXPECT_EQ(thread.Suspend(), -1);
  EXPECT_EQ(thread.Resume(), -1);
  std::atomic<ThreadId> inside{0};
  ASSERT_TRUE(thread.Start([&]() -> uint32_t {
    inside = CurrentThreadId();
    return 42;
  }));
  EXPECT_NE(thread.Id(), 0u);
  EXPECT_NE(thread.Id(), CurrentThreadId());
  ASSERT_TRUE(thread.Join(2000));
  EXPECT_FALSE(thread.Started());
  EXPECT_TRUE(thread.Finished());
  EXPECT_EQ(thread.ExitCode(), 42u);
  EXPECT_EQ(inside.load(), thread.Id());

  ThreadId first = thread.Id();
  ASSERT_TRUE(thread.Start([] { return 1u; }));
  EXPECT_NE(thread.Id(), first);
  ASSERT_TRUE(thread.Join(2000));
  EXPECT_EQ(thread.ExitCode(), 1u);
}

TEST_F(ThreadsTest, SuspendStopsTheLoopAndResumeRestartsIt) {
  std::atomic<bool> stop{false};
  std::atomic<int> counter{0};
  Thread thread;
  ASSERT_TRUE(thread.Start([&]() -> uint32_t {
    while (!stop.load()) {
      ++counter;
      Sleep(1);
    }
    return 0;
  }));
  ASSERT_TRUE(WaitUntil([&] { return counter.load() > 3; }));

  EXPECT_EQ(thread.Suspend(), 0);
  EXPECT_EQ(thread.Suspend(), 1);
  EXPECT_EQ(thread.SuspendCount(), 2);
  int frozen = counter.load();
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(counter.load(), frozen);

  EXPECT_EQ(thread.Resume(), 2);  // still suspended once
  std::this_thread::sleep_for(10ms);
  EXPECT_EQ(counter.load(), frozen);
  EXPECT_EQ(thread.Resume(), 1);
  EXPECT_TRUE(WaitUntil([&] { return counter.load() > frozen + 3; }));
  EXPECT_EQ(thread.Resume(), 0);  // never below zero

  thread.Suspend();
  thread.Suspend();
  thread.ResumeFully();
  EXPECT_EQ(thread.SuspendCount(), 0);
  int after = counter.load();
  EXPECT_TRUE(WaitUntil([&] { return counter.load() > after + 3; }));
  stop = true;
  ASSERT_TRUE(thread.Join(2000));
  EXPECT_EQ(thread.Suspend(), -1);
}

TEST_F(ThreadsTest, SuspendOfABlockedSenderIsQuickAndItParksWhenTheReplyComes) {
  MakeMainWindow();
  std::atomic<int64_t> reply{0};
  Thread thread;
  ASSERT_TRUE(thread.Start([&]() -> uint32_t {
    reply = SendMessage(window_, WM_USER, 17, 0);
    return 0;
  }));
  ASSERT_TRUE(WaitUntil([&] { return delivered_.load() == 1; }));

  auto start = Clock::now();
  EXPECT_EQ(thread.Suspend(), 0);
  EXPECT_LT(Clock::now() - start, 60ms);  // not the 100 ms give-up

  ServeSentMessages();  // the main thread answers while the worker is suspended
  EXPECT_EQ(handled_.load(), 1);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(reply.load(), 0);  // parked before SendMessage returned
  EXPECT_FALSE(thread.Finished());

  thread.Resume();
  ASSERT_TRUE(thread.Join(2000));
  EXPECT_EQ(reply.load(), 17);
}

TEST_F(ThreadsTest, TerminateUnwindsWorkersWhereverTheyBlock) {
  MakeMainWindow();
  struct Case {
    const char* name;
    std::function<void()> block;  // never returns on its own
  };
  const Case cases[] = {
      {"sleep loop", [] { for (;;) Sleep(1); }},
      {"long sleep", [] { Sleep(600000); }},
      {"get message", [] {
         Message msg;
         while (GetMessage(msg)) {
         }
       }},
      {"wait message", [] { for (;;) WaitMessage(); }},
      {"send message", [this] { SendMessage(window_, WM_USER, 0, 0); }},
      {"run on main thread", [] { RunOnMainThread([] { return int64_t{1}; }); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::atomic<bool> entered{false};
    std::atomic<bool> unwound{false};
    std::atomic<bool> fellThrough{false};
    Thread thread;
    ASSERT_TRUE(thread.Start([&]() -> uint32_t {
      UnwindGuard guard{unwound};
      entered = true;
      c.block();
      fellThrough = true;
      return 5;
    }));
    ASSERT_TRUE(WaitUntil([&] { return entered.load(); }));
    std::this_thread::sleep_for(5ms);  // let it reach its wait
    auto start = Clock::now();
    thread.RequestTerminate();
    EXPECT_TRUE(thread.TerminateRequested());
    ASSERT_TRUE(thread.Join(2000));
    EXPECT_LT(Clock::now() - start, 500ms);
    EXPECT_TRUE(unwound.load());
    EXPECT_FALSE(fellThrough.load());
    EXPECT_EQ(thread.ExitCode(), 0u);
  }
  // The withdrawn sends are not served after their senders left.
  ServeSentMessages();
  EXPECT_EQ(handled_.load(), 0);
}

TEST_F(ThreadsTest, TerminateWakesAParkedThread) {
  std::atomic<bool> unwound{false};
  std::atomic<int> counter{0};
  Thread thread;
  ASSERT_TRUE(thread.Start([&]() -> uint32_t {
    UnwindGuard guard{unwound};
    for (;;) {
      ++counter;
      Sleep(1);
    }
  }));
  ASSERT_TRUE(WaitUntil([&] { return counter.load() > 0; }));
  thread.Suspend();
  thread.RequestTerminate();
  ASSERT_TRUE(thread.Join(2000));
  EXPECT_TRUE(unwound.load());
  EXPECT_EQ(thread.SuspendCount(), 1);
}

// The receiver is still running the handler when the sender unwinds: the
// reply is written into the record after its sender is gone.
TEST_F(ThreadsTest, SenderUnwindingDuringTheHandlerLeavesNoDanglingReply) {
  Thread thread;
  std::atomic<bool> unwound{false};
  WindowHandle w = CreateWindowEntry([&](WindowHandle, uint32_t, uint64_t, int64_t) -> int64_t {
    thread.RequestTerminate();
    EXPECT_TRUE(thread.Join(2000));
    return 123;
  });
  std::atomic<int> delivered{0};
  SetMainQueueWaker([&] { ++delivered; });
  ASSERT_TRUE(thread.Start([&]() -> uint32_t {
    UnwindGuard guard{unwound};
    SendMessage(w, WM_USER, 0, 0);
    return 9;
  }));
  ASSERT_TRUE(WaitUntil([&] { return delivered.load() == 1; }));
  ServeSentMessages();
  EXPECT_TRUE(thread.Finished());
  EXPECT_TRUE(unwound.load());
  EXPECT_EQ(thread.ExitCode(), 0u);
  DestroyWindowEntry(w);
}

TEST_F(ThreadsTest, JoinGivesUpOnABusyThreadWhichCanBeDetached) {
  std::atomic<bool> stop{false};
  Thread thread;
  ASSERT_TRUE(thread.Start([&]() -> uint32_t {
    while (!stop.load()) {
      // No safe point: neither suspension nor termination can reach it.
    }
    return 3;
  }));
  thread.RequestTerminate();
  auto start = Clock::now();
  auto suspendStart = Clock::now();
  EXPECT_EQ(thread.Suspend(), 0);  // gives up after about 100 ms
  EXPECT_GE(Clock::now() - suspendStart, 90ms);
  EXPECT_FALSE(thread.Join(20));
  EXPECT_GE(Clock::now() - start, 20ms);
  EXPECT_FALSE(thread.Start([] { return 0u; }));  // one still runs
  thread.Detach();
  EXPECT_FALSE(thread.Started());
  stop = true;
  EXPECT_TRUE(WaitUntil([&] { return thread.Finished(); }));
  EXPECT_EQ(thread.ExitCode(), 3u);
}

}  // namespace
}  // namespace plat
