#include "platform/threads.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/thread_state.h"

namespace plat {

using detail::ThreadState;

struct ThreadControl {
  // Prepared by Start before the thread runs, so the thread can be signalled
  // (resumed, terminated) from the first moment.
  std::shared_ptr<ThreadState> state;
  // Joined or detached once, by whichever of the threads ending it comes
  // first; the others find it no longer joinable.
  std::mutex handleMutex;
  std::thread thread;  // guarded by handleMutex

  std::atomic<int> suspendCount{0};
  std::atomic<bool> terminate{false};
  std::atomic<bool> parked{false};  // waiting in SafePoint for a resume
  std::atomic<int> blocking{0};     // depth of BlockingWaitScope
  std::atomic<uint64_t> safePoints{0};  // safe points passed
  std::atomic<bool> finished{false};
  std::atomic<uint32_t> exitCode{0};

  // Threads waiting in Suspend or Join for parked/blocking/finished to change.
  std::mutex watchMutex;
  std::vector<std::shared_ptr<ThreadState>> watchers;
};

namespace {

thread_local ThreadControl* tls_control = nullptr;  // set on threads started through Thread

void NotifyWatchers(ThreadControl& control) {
  std::vector<std::shared_ptr<ThreadState>> copy;
  {
    std::lock_guard lk(control.watchMutex);
    if (control.watchers.empty()) return;
    copy = control.watchers;
  }
  for (auto& watcher : copy) detail::Wake(*watcher);
}

// How a wait for another thread treats a termination request for the caller.
enum class CallerTerminated { kEndsTheWait, kWaitsOn };

// Waits on the calling thread's own condition until `ready()` or `deadline`.
// The watcher is registered before the first check, so a change made after
// that check always wakes it.
template <class Ready>
bool WaitForControl(ThreadControl& control, Ready ready, std::chrono::steady_clock::time_point deadline,
                    CallerTerminated onTerminated = CallerTerminated::kEndsTheWait) {
  std::shared_ptr<ThreadState> self = detail::Self();
  {
    std::lock_guard lk(control.watchMutex);
    control.watchers.push_back(self);
  }
  bool result = false;
  {
    std::unique_lock lk(self->m);
    if (onTerminated == CallerTerminated::kWaitsOn)
      result = self->cv.wait_until(lk, deadline, ready);
    else
      result = detail::WaitSelf(lk, *self, ready, &deadline);
  }
  std::lock_guard lk(control.watchMutex);
  auto it = std::find(control.watchers.begin(), control.watchers.end(), self);
  if (it != control.watchers.end()) control.watchers.erase(it);
  return result;
}

void Entry(std::shared_ptr<ThreadControl> control, std::function<uint32_t()> body) {
  detail::AdoptSelf(control->state);
  tls_control = control.get();
  uint32_t code = 0;
  try {
    code = body();
  } catch (const ThreadTerminated&) {
    code = 0;
  }
  body = nullptr;  // the body's captures die before the thread counts as finished
  detail::ReleaseQueue(*control->state);
  tls_control = nullptr;
  control->exitCode.store(code);
  control->finished.store(true);
  NotifyWatchers(*control);
}

}  // namespace

Thread::Thread() = default;

Thread::~Thread() { Detach(); }

bool Thread::Start(std::function<uint32_t()> body, bool withQueue) {
  if (control_) {
    std::lock_guard lk(control_->handleMutex);
    if (control_->thread.joinable()) {
      if (!control_->finished.load()) return false;
      control_->thread.join();  // ended already: returns at once
    }
  }
  if (!body) return false;
  auto control = std::make_shared<ThreadControl>();
  control->state = std::make_shared<ThreadState>(detail::NextThreadId());
  if (withQueue) detail::OpenQueue(control->state);
  try {
    control->thread = std::thread(Entry, control, std::move(body));
  } catch (const std::system_error&) {
    detail::ReleaseQueue(*control->state);
    return false;  // out of threads or memory
  }
  control_ = std::move(control);
  return true;
}

bool Thread::Started() const {
  if (!control_) return false;
  std::lock_guard lk(control_->handleMutex);
  return control_->thread.joinable();
}

bool Thread::Finished() const { return control_ && control_->finished.load(); }

ThreadId Thread::Id() const { return control_ ? control_->state->id : 0; }

uint32_t Thread::ExitCode() const { return Finished() ? control_->exitCode.load() : 0; }

int Thread::Suspend() {
  if (!Started() || control_->finished.load()) return -1;
  ThreadControl& control = *control_;
  int previous = control.suspendCount.fetch_add(1);
  if (tls_control == &control) {
    SafePoint();  // suspending oneself parks at once
    return previous;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
  WaitForControl(
      control,
      [&] { return control.parked.load() || control.blocking.load() > 0 || control.finished.load(); },
      deadline);
  return previous;
}

int Thread::Resume() {
  if (!Started() || control_->finished.load()) return -1;
  ThreadControl& control = *control_;
  int previous = control.suspendCount.load();
  while (previous > 0 && !control.suspendCount.compare_exchange_weak(previous, previous - 1)) {
  }
  if (previous <= 0) return 0;
  if (previous == 1) detail::Wake(*control.state);
  return previous;
}

void Thread::ResumeFully() {
  if (!control_) return;
  control_->suspendCount.store(0);
  detail::Wake(*control_->state);
}

int Thread::SuspendCount() const { return control_ ? control_->suspendCount.load() : 0; }

bool Thread::Waiting() const {
  return control_ && (control_->parked.load() || control_->blocking.load() > 0);
}

uint64_t Thread::SafePointsPassed() const {
  return control_ ? control_->safePoints.load(std::memory_order_relaxed) : 0;
}

void Thread::RequestTerminate() {
  if (!control_) return;
  control_->terminate.store(true);
  detail::Wake(*control_->state);
}

bool Thread::TerminateRequested() const { return control_ && control_->terminate.load(); }

bool Thread::Join(uint32_t timeoutMs) {
  if (!Started()) return true;  // nothing of ours runs
  ThreadControl& control = *control_;
  if (tls_control == &control) return false;  // a thread cannot wait for itself
  if (!control.finished.load()) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    WaitForControl(control, [&] { return control.finished.load(); }, deadline, CallerTerminated::kWaitsOn);
    if (!control.finished.load()) return false;
  }
  // Another thread ending this one may have joined (or detached) it meanwhile.
  std::lock_guard lk(control.handleMutex);
  if (control.thread.joinable()) control.thread.join();
  return true;
}

void Thread::Detach() {
  if (!control_) return;
  std::lock_guard lk(control_->handleMutex);
  if (control_->thread.joinable()) control_->thread.detach();
}

int Thread::Watchers() const {
  if (!control_) return 0;
  std::lock_guard lk(control_->watchMutex);
  return static_cast<int>(control_->watchers.size());
}

void SafePoint() {
  ThreadControl* control = tls_control;
  if (control == nullptr) return;
  control->safePoints.fetch_add(1, std::memory_order_relaxed);
  if (control->terminate.load()) throw ThreadTerminated{};
  if (control->suspendCount.load() <= 0) return;
  control->parked.store(true);
  NotifyWatchers(*control);
  {
    ThreadState& self = *control->state;
    std::unique_lock lk(self.m);
    detail::WaitSelf(lk, self, [&] { return control->suspendCount.load() <= 0; });
  }
  control->parked.store(false);
  if (control->terminate.load()) throw ThreadTerminated{};
}

BlockingWaitScope::BlockingWaitScope() {
  if (ThreadControl* control = tls_control) {
    control->blocking.fetch_add(1);
    NotifyWatchers(*control);
  }
}

BlockingWaitScope::~BlockingWaitScope() {
  if (ThreadControl* control = tls_control) control->blocking.fetch_sub(1);
}

bool CurrentThreadTerminating() {
  ThreadControl* control = tls_control;
  return control != nullptr && control->terminate.load();
}

}  // namespace plat
