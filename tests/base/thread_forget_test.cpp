// Two threads ending the same worker slot: the window's close ends every
// worker while the game thread may itself end the stage loader and start the
// next one. The close, held between its join and its forget, must leave the
// loader started meanwhile in the slot.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "base/thread.h"
#include "platform/clock.h"
#include "platform/messages.h"

namespace {

std::atomic<int> g_loops{0};
std::atomic<bool> g_stop{false};  // ends a worker the slot no longer holds

// A stage loader that leaves on WM_QUIT, as the game's workers do.
uint32_t Loader(void*) {
  while (!g_stop.load()) {
    plat::Message msg;
    while (plat::PeekMessage(msg, true))
      if (msg.message == plat::WM_QUIT) return 1;
    ++g_loops;
    plat::Sleep(1);
  }
  return 0;
}

// The close is held in the seam until the test lets it go.
struct Gate {
  std::mutex m;
  std::condition_variable cv;
  cThread* slot = nullptr;
  bool held = false, released = false;
};
Gate g_gate;
thread_local bool tls_closing = false;  // set on the thread playing the window's close

void HoldTheClose(cThread& slot) {
  if (!tls_closing || &slot != g_gate.slot) return;
  std::unique_lock lock(g_gate.m);
  g_gate.held = true;
  g_gate.cv.notify_all();
  g_gate.cv.wait(lock, [] { return g_gate.released; });
}

void Release() {
  std::lock_guard lock(g_gate.m);
  g_gate.released = true;
  g_gate.cv.notify_all();
}

struct SeamInstalled {
  explicit SeamInstalled(cThread& slot) {
    g_gate.slot = &slot;
    g_gate.held = g_gate.released = false;
    SetThreadJoinedHookForTest(HoldTheClose);
  }
  ~SeamInstalled() {
    SetThreadJoinedHookForTest(nullptr);
    Release();  // never leave a close waiting
    g_gate.slot = nullptr;
  }
};

// The close ends the first loader and is held once it has joined it. Then
// the game thread ends the same loader (already joined: the slot is
// emptied) and starts the next one. When the close goes on, its forget
// concerns the first loader only: the slot still holds the second, which
// still runs until it is ended in turn.
TEST(ThreadForget, ACloseThatEndedTheOldLoaderLeavesTheNewOneHeld) {
  g_loops = 0;
  g_stop = false;
  struct EndLostLoaders {
    ~EndLostLoaders() { g_stop = true; }  // a loader no slot holds any more ends too
  } endLost;
  cThread loader;
  ASSERT_TRUE(loader.Create(Loader, nullptr));
  uint32_t next = 0;
  {
    SeamInstalled seam(loader);
    std::thread close([&] {
      tls_closing = true;
      loader.Exit();
    });
    {
      std::unique_lock lock(g_gate.m);
      g_gate.cv.wait(lock, [] { return g_gate.held; });
    }
    loader.Exit();  // the game thread's own end of the first loader
    EXPECT_FALSE(loader.Running());
    const bool started = loader.Create(Loader, nullptr);
    next = loader.ThreadId();
    Release();
    close.join();
    ASSERT_TRUE(started) << "the slot is free for the next loader";
  }
  EXPECT_TRUE(loader.Running()) << "the close forgot the loader started after its join";
  EXPECT_EQ(loader.ThreadId(), next);
  EXPECT_FALSE(loader.Finished());
  const int seen = g_loops;
  while (g_loops < seen + 3) plat::Sleep(1);  // the second loader runs on
  loader.Exit();
  EXPECT_FALSE(loader.Running());
}

}  // namespace
