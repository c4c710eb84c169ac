// Internal to the platform layer: the per-thread record behind messages.h,
// threads.h and clock.h.
//
// Every blocking wait of a thread waits on that thread's own condition
// variable (ThreadState::cv under ThreadState::m). Whoever changes something a
// thread may be waiting for (a post, a reply, a resume, a termination request,
// a virtual-clock advance) changes it, then locks that thread's mutex and
// notifies. The predicate of every wait includes the termination request, so a
// terminated worker is woken wherever it blocks.
//
// Lock rule: a thread never holds one ThreadState mutex while taking another
// (nor while taking a registry mutex), so no two of them can deadlock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/messages.h"
#include "platform/threads.h"

namespace plat::detail {

struct ThreadState;

// A message sent to another thread, waiting there to be served. Shared by the
// sender's stack and the receiver's queue: a sender that unwinds (terminated)
// while the receiver runs the procedure leaves the record to the receiver.
struct SentRecord {
  WindowHandle window = 0;
  uint32_t message = 0;
  uint64_t wParam = 0;
  int64_t lParam = 0;
  std::function<int64_t()> task;  // set instead of a window for RunOnMainThread
  std::shared_ptr<ThreadState> sender;
  // Guarded by sender->m.
  bool done = false;
  int64_t result = 0;
};

struct ThreadState {
  explicit ThreadState(ThreadId threadId) : id(threadId) {}
  const ThreadId id;
  std::mutex m;
  std::condition_variable cv;
  // Guarded by m.
  bool hasQueue = false;
  std::deque<Message> posted;
  std::deque<std::shared_ptr<SentRecord>> sent;
  bool woken = false;  // WakeThread: the next message wait ends without a message
};

// A fresh thread id from our counter (never 0).
ThreadId NextThreadId();

// The calling thread's state (created on first use; no queue until EnsureQueue).
const std::shared_ptr<ThreadState>& Self();

// Called first thing on a thread started through Thread: adopts the id and the
// state its creator prepared (so the creator could signal it before it ran).
void AdoptSelf(const std::shared_ptr<ThreadState>& state);

// Gives the thread its queue now (as its first message call would), so that
// posts to it succeed before it runs.
void OpenQueue(const std::shared_ptr<ThreadState>& state);

// Drops the thread's queue: pending senders get 0, later posts fail. Called
// for DropQueue and when a thread ends.
void ReleaseQueue(ThreadState& state);

// Locks `state` and wakes its waits.
void Wake(ThreadState& state);

// Waits on the calling thread's own condition (`lk` holds self.m) until
// `ready()` holds, `deadline` passes (when given) or termination of the
// calling thread is requested. Returns ready() at the end.
template <class Ready>
bool WaitSelf(std::unique_lock<std::mutex>& lk, ThreadState& self, Ready ready,
              const std::chrono::steady_clock::time_point* deadline = nullptr) {
  for (;;) {
    if (ready()) return true;
    if (CurrentThreadTerminating()) return false;
    if (deadline != nullptr) {
      if (self.cv.wait_until(lk, *deadline) == std::cv_status::timeout) return ready();
    } else {
      self.cv.wait(lk);
    }
  }
}

}  // namespace plat::detail
