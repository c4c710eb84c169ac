#include "platform/clock.h"

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/thread_state.h"
#include "platform/threads.h"

namespace plat {

namespace {

using detail::ThreadState;

uint64_t MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

// Deliberately leaked, like the message registry: sleepers may still be
// leaving while static objects are destroyed.
struct VirtualClock {
  std::mutex m;
  // Written under m, read by sleepers under their own mutex.
  std::atomic<bool> on{false};
  std::atomic<uint64_t> now{0};         // ms
  std::atomic<uint64_t> generation{0};  // bumped by UseVirtualClock: releases older sleepers
  struct Sleeper {
    std::shared_ptr<ThreadState> state;
    uint64_t deadline;  // virtual ms
  };
  std::vector<Sleeper> sleepers;  // guarded by m
  // The driver (the thread that advances the clock) waits on `work` for a
  // new sleeper or a wake; `events` counts both (guarded by m).
  std::condition_variable work;
  uint64_t events = 0;
};

VirtualClock& Virtual() {
  static VirtualClock* clock = new VirtualClock;
  return *clock;
}

void WakeAll(const std::vector<VirtualClock::Sleeper>& threads) {
  for (const auto& sleeper : threads) detail::Wake(*sleeper.state);
}

void SleepReal(uint32_t ms) {
  if (ms == 0) {
    std::this_thread::yield();
    return;
  }
  // steady_clock is CLOCK_MONOTONIC, the clock TickCount reads.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  ThreadState& self = *detail::Self();
  BlockingWaitScope blocked;
  std::unique_lock lk(self.m);
  // Posts to this thread's queue also wake it; it only leaves at the deadline
  // or to unwind.
  detail::WaitSelf(lk, self, [] { return false; }, &deadline);
}

void SleepVirtual(uint32_t ms) {
  VirtualClock& clock = Virtual();
  std::shared_ptr<ThreadState> self = detail::Self();
  uint64_t generation = 0;
  uint64_t deadline = 0;
  {
    std::lock_guard lk(clock.m);
    if (!clock.on.load()) return;  // switched off between the caller's check and here
    generation = clock.generation.load();
    deadline = clock.now.load() + ms;
    clock.sleepers.push_back({self, deadline});
    ++clock.events;
  }
  clock.work.notify_all();
  {
    BlockingWaitScope blocked;
    std::unique_lock lk(self->m);
    detail::WaitSelf(lk, *self, [&] {
      return clock.generation.load() != generation || clock.now.load() >= deadline;
    });
  }
  std::lock_guard lk(clock.m);
  auto it = std::find_if(clock.sleepers.begin(), clock.sleepers.end(),
                         [&](const VirtualClock::Sleeper& s) { return s.state == self; });
  if (it != clock.sleepers.end()) clock.sleepers.erase(it);
}

}  // namespace

uint32_t TickCount() { return static_cast<uint32_t>(TickCount64()); }

uint64_t TickCount64() {
  VirtualClock& clock = Virtual();
  if (clock.on.load()) return clock.now.load();
  return MonotonicMs();
}

void Sleep(uint32_t ms) {
  SafePoint();
  if (Virtual().on.load()) {
    SleepVirtual(ms);
  } else {
    SleepReal(ms);
  }
  SafePoint();
}

void UseVirtualClock(bool on, uint64_t startMs) {
  VirtualClock& clock = Virtual();
  std::vector<VirtualClock::Sleeper> released;
  {
    std::lock_guard lk(clock.m);
    clock.on.store(on);
    if (on) clock.now.store(startMs);
    clock.generation.fetch_add(1);
    released = clock.sleepers;
  }
  WakeAll(released);
}

bool VirtualClockActive() { return Virtual().on.load(); }

void AdvanceVirtualClock(uint32_t ms) {
  VirtualClock& clock = Virtual();
  std::vector<VirtualClock::Sleeper> sleepers;
  {
    std::lock_guard lk(clock.m);
    if (!clock.on.load()) return;
    clock.now.fetch_add(ms);
    sleepers = clock.sleepers;
  }
  WakeAll(sleepers);
}

namespace {

// Sleepers the next advance would bring nearer their deadline (clock.m held):
// one whose deadline has passed is already on its way out.
int WaitingSleepers(const VirtualClock& clock) {
  const uint64_t now = clock.now.load();
  return static_cast<int>(std::count_if(clock.sleepers.begin(), clock.sleepers.end(),
                                        [now](const VirtualClock::Sleeper& s) { return s.deadline > now; }));
}

}  // namespace

int VirtualClockSleepers() {
  VirtualClock& clock = Virtual();
  std::lock_guard lk(clock.m);
  return WaitingSleepers(clock);
}

bool WaitForVirtualClockWork(uint32_t timeoutUs) {
  VirtualClock& clock = Virtual();
  std::unique_lock lk(clock.m);
  const uint64_t seen = clock.events;
  return clock.work.wait_for(lk, std::chrono::microseconds(timeoutUs),
                             [&] { return clock.events != seen || WaitingSleepers(clock) > 0; });
}

void WakeVirtualClockDriver() {
  VirtualClock& clock = Virtual();
  {
    std::lock_guard lk(clock.m);
    ++clock.events;
  }
  clock.work.notify_all();
}

}  // namespace plat
