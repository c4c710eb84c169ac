#include "platform/frame_hand_over.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>

#include "platform/clock.h"
#include "platform/messages.h"
#include "platform/thread_state.h"
#include "platform/threads.h"

namespace plat {

namespace {

using detail::ThreadState;

// Deliberately leaked, like the virtual clock: a thread may still be leaving
// a hand-over while static objects are destroyed.
struct HandOver {
  std::atomic<bool> holding{false};
  std::atomic<uint64_t> handed{0};   // frames handed over since holding went on
  std::atomic<uint64_t> allowed{0};  // the thread stops once `handed` reaches it
  std::atomic<int64_t> heldAt{-1};   // `handed` of the thread standing held; -1: none
  std::mutex m;
  std::shared_ptr<ThreadState> waiter;  // guarded by m: the thread standing there
};

HandOver& State() {
  static HandOver* handOver = new HandOver;
  return *handOver;
}

void WakeWaiter(HandOver& h) {
  std::shared_ptr<ThreadState> waiter;
  {
    std::lock_guard lk(h.m);
    waiter = h.waiter;
  }
  if (waiter) detail::Wake(*waiter);
}

// Whether the thread is held at `handed` frames (holding on, none left).
bool Held(const HandOver& h, uint64_t handed) { return h.holding.load() && handed >= h.allowed.load(); }

// A WM_QUIT in the thread's queue (self.m held): the thread must get to it.
bool QuitWaiting(const ThreadState& self) {
  return std::any_of(self.posted.begin(), self.posted.end(), [](const Message& m) { return m.message == WM_QUIT; });
}

}  // namespace

void FrameHandOver(bool presented) {
  HandOver& h = State();
  if (!h.holding.load()) return;
  const uint64_t handed = presented ? h.handed.fetch_add(1) + 1 : h.handed.load();
  if (!Held(h, handed)) return;
  SafePoint();
  const std::shared_ptr<ThreadState> self = detail::Self();
  {
    std::lock_guard lk(h.m);
    h.waiter = self;
  }
  for (;;) {
    // Stored after everything the thread wrote for its frame: a driver that
    // loads it sees all of that.
    h.heldAt.store(static_cast<int64_t>(handed));
    WakeVirtualClockDriver();  // the driver may be waiting for this
    bool serve = false;
    {
      BlockingWaitScope blocked;
      std::unique_lock lk(self->m);
      detail::WaitSelf(lk, *self, [&] { return !Held(h, handed) || QuitWaiting(*self) || !self->sent.empty(); });
      serve = Held(h, handed) && !QuitWaiting(*self) && !self->sent.empty() && !CurrentThreadTerminating();
    }
    h.heldAt.store(-1);
    if (!serve) break;
    // A message sent to this thread is answered (it may change the game's
    // state: the driver does not count it as held meanwhile); then it
    // stands again.
    ServeSentMessages();
  }
  {
    std::lock_guard lk(h.m);
    if (h.waiter == self) h.waiter.reset();
  }
  SafePoint();
}

void HoldFramesAtHandOver(bool on) {
  HandOver& h = State();
  if (on) {
    h.handed.store(0);
    h.allowed.store(0);
    h.heldAt.store(-1);
  }
  h.holding.store(on);
  if (!on) WakeWaiter(h);
}

bool HoldingFramesAtHandOver() { return State().holding.load(); }

uint64_t LetFramesGo(uint64_t frames) {
  HandOver& h = State();
  const uint64_t handed = h.handed.load();
  const uint64_t stop = frames >= kAllFrames - handed ? kAllFrames : handed + frames;
  h.allowed.store(stop);
  WakeWaiter(h);
  return stop;
}

uint64_t FramesHandedOver() { return State().handed.load(); }

bool HeldAtHandOver(uint64_t handed) { return State().heldAt.load() == static_cast<int64_t>(handed); }

}  // namespace plat
