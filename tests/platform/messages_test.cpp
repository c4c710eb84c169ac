#include "platform/messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/threads.h"

namespace plat {
namespace {

// Waits that only a hang would end (ctest's timeout reports it).
constexpr uint32_t kForever = 0x7FFFFFFF;

// Counts deliveries to the main thread's queue through the main-queue waker,
// so a test knows a send from a worker is queued before it serves.
struct DeliveryCounter {
  std::atomic<int> count{0};
  std::atomic<ThreadId> lastWaker{0};
  void Install() {
    SetMainQueueWaker([this] { lastWaker = CurrentThreadId(), ++count; });
  }
  void WaitFor(int n) {
    while (count.load() < n) std::this_thread::yield();
  }
};

class MessagesTest : public ::testing::Test {
 protected:
  void SetUp() override { SetMainThread(); }
  void TearDown() override {
    SetMainQueueWaker(nullptr);
    for (WindowHandle w : windows_) DestroyWindowEntry(w);
    DropQueue();
    ClearMainThread();
  }
  WindowHandle MakeWindow(WindowProc proc) {
    WindowHandle w = CreateWindowEntry(std::move(proc));
    windows_.push_back(w);
    return w;
  }
  std::vector<WindowHandle> windows_;
};

TEST_F(MessagesTest, WindowsPostPeekDispatchAndDestroy) {
  std::vector<uint32_t> seen;
  ThreadId procThread = 0;
  WindowHandle w = MakeWindow([&](WindowHandle, uint32_t msg, uint64_t wp, int64_t lp) -> int64_t {
    seen.push_back(msg);
    procThread = CurrentThreadId();
    return static_cast<int64_t>(wp) + lp;
  });
  ASSERT_NE(w, 0u);
  EXPECT_TRUE(IsWindowEntry(w) && WindowOwner(w) == CurrentThreadId());

  // The owner's send is a direct call.
  EXPECT_EQ(SendMessage(w, WM_USER, 40, 2), 42);
  EXPECT_EQ(procThread, CurrentThreadId());

  ASSERT_TRUE(PostMessage(w, WM_USER + 1, 5, 6));
  ASSERT_TRUE(PostMessage(0, WM_APP, 7, 8));
  Message msg;
  ASSERT_TRUE(PeekMessage(msg, false));  // copy only
  EXPECT_EQ(msg.window, w);
  ASSERT_TRUE(PeekMessage(msg, true));
  EXPECT_EQ(msg.message, WM_USER + 1u);
  EXPECT_EQ(DispatchMessage(msg), 11);
  ASSERT_TRUE(PeekMessage(msg));
  EXPECT_EQ(std::tuple(msg.window, msg.message, msg.wParam), std::tuple(WindowHandle{0}, uint32_t{WM_APP}, uint64_t{7}));  // a thread message
  EXPECT_EQ(DispatchMessage(msg), 0);  // thread messages have no procedure
  EXPECT_FALSE(PeekMessage(msg));
  EXPECT_EQ(seen, (std::vector<uint32_t>{WM_USER, WM_USER + 1}));

  DestroyWindowEntry(w);
  EXPECT_FALSE(IsWindowEntry(w) || WindowOwner(w) != 0 || PostMessage(w, WM_USER, 0, 0));
  EXPECT_EQ(SendMessage(w, WM_USER, 1, 1), 0);
  EXPECT_EQ(seen.size(), 2u);

  // GetMessage ends on the quit message, with its code.
  PostMessage(0, WM_USER, 0, 0);
  PostQuitMessage(-3);
  EXPECT_TRUE(GetMessage(msg) && msg.message == WM_USER);
  EXPECT_FALSE(GetMessage(msg));
  EXPECT_EQ(std::pair(msg.message, static_cast<int>(msg.wParam)), std::pair(uint32_t{WM_QUIT}, -3));
}

TEST_F(MessagesTest, SentMessagesAreServedBeforePostedOnes) {
  std::vector<uint32_t> order;
  WindowHandle w = MakeWindow([&](WindowHandle, uint32_t msg, uint64_t, int64_t) -> int64_t {
    order.push_back(msg);
    return 99;
  });
  ASSERT_TRUE(PostMessage(w, WM_USER + 1, 0, 0));

  DeliveryCounter deliveries;
  deliveries.Install();
  std::atomic<int64_t> reply{-1};
  std::atomic<ThreadId> senderId{0};
  std::thread sender([&] {
    senderId = CurrentThreadId();
    reply = SendMessage(w, WM_USER + 2, 0, 0);
  });
  deliveries.WaitFor(1);
  EXPECT_EQ(reply.load(), -1);  // still waiting: nobody served it yet
  EXPECT_EQ(deliveries.lastWaker.load(), senderId.load());  // the waker runs on the delivering thread

  Message msg;
  ASSERT_TRUE(PeekMessage(msg));  // serves the send, then returns the post
  EXPECT_EQ(msg.message, WM_USER + 1u);
  DispatchMessage(msg);
  ServeSentMessages();  // only matters when Peek failed to serve it
  sender.join();
  EXPECT_EQ(reply.load(), 99);
  EXPECT_EQ(order, (std::vector<uint32_t>{WM_USER + 2, WM_USER + 1}));
  EXPECT_EQ(deliveries.count.load(), 1);
}

TEST_F(MessagesTest, ModalLoopServesSendsAndRunOnMainThreadButKeepsPosts) {
  WindowHandle w = MakeWindow([](WindowHandle, uint32_t, uint64_t wp, int64_t) -> int64_t {
    return static_cast<int64_t>(wp) * 2;
  });
  ASSERT_TRUE(PostMessage(w, WM_USER, 0, 0));
  // Runs directly on the main thread itself.
  EXPECT_EQ(RunOnMainThread([] { return IsMainThread() ? 5 : -5; }), 5);

  DeliveryCounter deliveries;
  deliveries.Install();
  std::atomic<bool> done{false};
  int64_t sendReply = 0, taskReply = 0;
  std::thread worker([&] {
    sendReply = SendMessage(w, WM_USER + 1, 21, 0);
    taskReply = RunOnMainThread([] { return IsMainThread() ? 7 : -7; });
    done = true;
  });
  // A modal loop that never looks at posted messages.
  for (int served = 0; !done.load();) {
    if (deliveries.count.load() > served) served = deliveries.count.load(), ServeSentMessages();
    std::this_thread::yield();
  }
  worker.join();
  EXPECT_EQ(std::pair(sendReply, taskReply), std::pair(int64_t{42}, int64_t{7}));
  Message msg;
  ASSERT_TRUE(PeekMessage(msg));
  EXPECT_EQ(msg.message, uint32_t{WM_USER});
}

TEST_F(MessagesTest, PostThreadMessageNeedsTheTargetsQueue) {
  std::latch gate(1), queueMade(1);
  std::vector<uint32_t> received;
  Thread worker;
  ASSERT_TRUE(worker.Start([&]() -> uint32_t {
    gate.wait();
    Message msg;
    PeekMessage(msg);  // creates the queue, as the game thread's loop does
    queueMade.count_down();
    while (GetMessage(msg)) received.push_back(msg.message);
    return static_cast<uint32_t>(msg.wParam);
  }));
  EXPECT_FALSE(PostThreadMessage(worker.Id(), WM_APP, 0, 0));
  gate.count_down();
  queueMade.wait();
  ASSERT_TRUE(PostThreadMessage(worker.Id(), WM_APP, 0, 0));
  ASSERT_TRUE(PostThreadMessage(worker.Id(), WM_APP + 1, 0, 0));
  ASSERT_TRUE(PostThreadMessage(worker.Id(), WM_QUIT, 7, 0));
  worker.Join(kForever);
  EXPECT_EQ(worker.ExitCode(), 7u);
  EXPECT_EQ(received, (std::vector<uint32_t>{WM_APP, WM_APP + 1}));
  // The ended thread's queue is gone.
  EXPECT_FALSE(PostThreadMessage(worker.Id(), WM_APP, 0, 0));
}

TEST_F(MessagesTest, ThreadsSendingToEachOtherServeWhileWaiting) {
  std::atomic<WindowHandle> workerWindow{0};
  WindowHandle mainWindow = MakeWindow([&](WindowHandle, uint32_t, uint64_t wp, int64_t) -> int64_t {
    // The worker is blocked sending to us; it must still serve this.
    return SendMessage(workerWindow.load(), WM_USER, wp + 1, 0) * 10;
  });
  DeliveryCounter deliveries;
  deliveries.Install();
  int64_t reply = 0;
  std::thread worker([&] {
    WindowHandle own = CreateWindowEntry([](WindowHandle, uint32_t, uint64_t wp, int64_t) -> int64_t {
      return static_cast<int64_t>(wp) + 100;
    });
    workerWindow = own;
    reply = SendMessage(mainWindow, WM_USER, 1, 0);
    DestroyWindowEntry(own);
  });
  deliveries.WaitFor(1);
  ServeSentMessages();
  worker.join();
  EXPECT_EQ(reply, 1020);
}

TEST_F(MessagesTest, DroppingTheQueueReleasesSendersAndRefusesPosts) {
  WindowHandle w = MakeWindow([](WindowHandle, uint32_t, uint64_t, int64_t) -> int64_t { return 1; });
  DeliveryCounter deliveries;
  deliveries.Install();
  int64_t reply = -1;
  std::thread worker([&] { reply = SendMessage(w, WM_USER, 0, 0); });
  deliveries.WaitFor(1);
  DropQueue();
  worker.join();
  EXPECT_EQ(reply, 0);
  EXPECT_FALSE(PostThreadMessage(CurrentThreadId(), WM_USER, 0, 0) || PostMessage(w, WM_USER, 0, 0));
  EnsureQueue();
  EXPECT_TRUE(PostMessage(w, WM_USER, 0, 0));
}

TEST_F(MessagesTest, WaitMessageTimeoutGivesUpOrWakesOnPost) {
  EnsureQueue();
  EXPECT_FALSE(WaitMessageTimeout(20));
  ThreadId self = CurrentThreadId();
  std::thread poster([&] { PostThreadMessage(self, WM_USER, 0, 0); });
  EXPECT_TRUE(WaitMessageTimeout(kForever));
  poster.join();
  EXPECT_TRUE(WaitMessageTimeout(0));  // still waiting, nothing consumed
  WaitMessage();                       // returns at once while a post waits
  Message msg;
  EXPECT_TRUE(PeekMessage(msg));
}

// A wake from another thread ends the wait, before or during it, and leaves
// the queue as it was: the next post is the first thing read.
TEST_F(MessagesTest, AWakeEndsTheWaitAndLeavesNothingQueued) {
  EnsureQueue();
  const ThreadId self = CurrentThreadId();
  for (bool beforeTheWait : {true, false}) {
    SCOPED_TRACE(beforeTheWait ? "woken before the wait" : "woken during the wait");
    std::thread waker;
    if (beforeTheWait) WakeThread(self);
    else waker = std::thread([self] { WakeThread(self); });
    EXPECT_FALSE(WaitMessageTimeout(kForever));  // woken, nothing posted
    if (waker.joinable()) waker.join();
    EXPECT_FALSE(WaitMessageTimeout(0));  // the wake was used up
    Message msg;
    EXPECT_FALSE(PeekMessage(msg));
  }
  WakeThread(0);  // no such thread: nothing happens
  ASSERT_TRUE(PostMessage(0, WM_USER, 0, 0));
  Message msg;
  ASSERT_TRUE(PeekMessage(msg));
  EXPECT_EQ(msg.message, uint32_t{WM_USER});
}

TEST_F(MessagesTest, PostedQueueIsBounded) {
  EnsureQueue();
  int accepted = 0;
  while (accepted < 20000 && PostMessage(0, WM_USER, 0, 0)) ++accepted;
  EXPECT_TRUE(accepted >= 1000 && accepted < 20000) << accepted;
  Message msg;
  ASSERT_TRUE(PeekMessage(msg));
  EXPECT_TRUE(PostMessage(0, WM_USER, 0, 0));  // room again after taking one
}

// A window's thread whose queue a stage filled (a close asked on every frame
// while the thread was held up saving the window's place) still gets the
// quit that ends its loop, posted by itself or by another thread; a second
// one past the bound is not kept, so the queue stays bounded.
TEST_F(MessagesTest, AFullQueueStillTakesOneQuit) {
  for (bool fromAnother : {false, true}) {
    SCOPED_TRACE(fromAnother ? "posted by another thread" : "posted by itself");
    EnsureQueue();
    int accepted = 0;
    while (accepted < 20000 && PostMessage(0, WM_CLOSE, 0, 0)) ++accepted;
    ASSERT_LT(accepted, 20000);
    const ThreadId self = CurrentThreadId();
    if (fromAnother) {
      bool posted = false, again = true;
      std::thread([&] {
        posted = PostThreadMessage(self, WM_QUIT, 7, 0);
        again = PostThreadMessage(self, WM_QUIT, 8, 0);
      }).join();
      EXPECT_TRUE(posted);
      EXPECT_FALSE(again);
    } else {
      PostQuitMessage(7);
    }
    EXPECT_FALSE(PostMessage(0, WM_USER, 0, 0)) << "only the quit is taken past the bound";
    Message msg;
    int closes = 0;
    while (PeekMessage(msg) && msg.message == WM_CLOSE) ++closes;
    EXPECT_EQ(closes, accepted);
    EXPECT_EQ(msg.message, uint32_t{WM_QUIT});
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(PeekMessage(msg)) << "one quit, and nothing after it";
  }
}

}  // namespace
}  // namespace plat
