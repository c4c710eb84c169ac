#include "platform/messages.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "platform/thread_state.h"
#include "platform/threads.h"

namespace plat {

namespace {

using detail::SentRecord;
using detail::ThreadState;

// The window system the games were made for dropped posts beyond this many
// waiting messages; we do the same so a runaway poster cannot eat memory.
constexpr size_t kMaxPostedMessages = 10000;
std::atomic<size_t> g_maxPosted{kMaxPostedMessages};  // tests may lower it

struct WindowEntry {
  std::shared_ptr<const WindowProc> proc;  // shared: a running call survives DestroyWindowEntry
  ThreadId owner = 0;
  std::weak_ptr<ThreadState> ownerState;
};

// Deliberately leaked: thread-exit cleanup (thread_local destructors) may run
// after static destructors would have torn it down.
struct Registry {
  std::mutex m;
  std::unordered_map<ThreadId, std::shared_ptr<ThreadState>> queues;  // threads that have a queue
  std::unordered_map<WindowHandle, WindowEntry> windows;
  WindowHandle nextWindow = 1;
  std::shared_ptr<const std::function<void()>> mainWaker;
};

Registry& Reg() {
  static Registry* registry = new Registry;
  return *registry;
}

std::atomic<ThreadId> g_nextThreadId{1};
std::atomic<ThreadId> g_mainThread{0};

thread_local ThreadId tls_threadId = 0;

// Owns the calling thread's state; a thread that ends drops its queue, which
// releases whoever is still waiting on a send to it.
struct SelfSlot {
  std::shared_ptr<ThreadState> state;
  ~SelfSlot() {
    if (state) detail::ReleaseQueue(*state);
  }
};
thread_local SelfSlot tls_self;

std::shared_ptr<ThreadState> FindQueue(ThreadId thread) {
  Registry& reg = Reg();
  std::lock_guard lk(reg.m);
  auto it = reg.queues.find(thread);
  return it == reg.queues.end() ? nullptr : it->second;
}

bool FindWindow(WindowHandle window, WindowEntry& out) {
  if (window == 0) return false;
  Registry& reg = Reg();
  std::lock_guard lk(reg.m);
  auto it = reg.windows.find(window);
  if (it == reg.windows.end()) return false;
  out = it->second;
  return true;
}

int64_t CallProc(const WindowEntry& entry, WindowHandle window, uint32_t message, uint64_t wParam,
                 int64_t lParam) {
  if (!entry.proc || !*entry.proc) return 0;
  return (*entry.proc)(window, message, wParam, lParam);
}

void EnsureQueueOf(const std::shared_ptr<ThreadState>& self) {
  {
    std::lock_guard lk(self->m);
    if (self->hasQueue) return;
    self->hasQueue = true;
  }
  Registry& reg = Reg();
  std::lock_guard lk(reg.m);
  reg.queues[self->id] = self;
}

// Runs after a post or send reached `target`'s queue, on the delivering thread.
void AfterDelivery(const ThreadState& target) {
  if (target.id != g_mainThread.load()) return;
  std::shared_ptr<const std::function<void()>> waker;
  {
    Registry& reg = Reg();
    std::lock_guard lk(reg.m);
    waker = reg.mainWaker;
  }
  if (waker && *waker) (*waker)();
}

// Whether a WM_QUIT waits in `posted` (its thread's mutex held).
bool QuitWaiting(const std::deque<Message>& posted) {
  return std::any_of(posted.begin(), posted.end(), [](const Message& m) { return m.message == WM_QUIT; });
}

bool PostTo(ThreadState& target, const Message& msg) {
  {
    std::lock_guard lk(target.m);
    if (!target.hasQueue) return false;
    // A full queue still takes a quit when none waits: a thread whose queue
    // a busy poster has filled (a stage asking its window to close on every
    // frame while the window's thread is held up) must still leave its loop.
    if (target.posted.size() >= g_maxPosted.load() && (msg.message != WM_QUIT || QuitWaiting(target.posted)))
      return false;
    target.posted.push_back(msg);
  }
  target.cv.notify_all();
  AfterDelivery(target);
  return true;
}

void CompleteRecord(SentRecord& rec, int64_t result) {
  ThreadState& sender = *rec.sender;
  {
    std::lock_guard lk(sender.m);
    if (rec.done) return;
    rec.done = true;
    rec.result = result;
  }
  sender.cv.notify_all();
}

// Completes a record with 0 when its handler leaves by an exception (a
// terminated worker receiver), so its sender is never left waiting.
class CompletionGuard {
 public:
  explicit CompletionGuard(SentRecord& rec) : rec_(rec) {}
  ~CompletionGuard() {
    if (!completed_) CompleteRecord(rec_, 0);
  }
  CompletionGuard(const CompletionGuard&) = delete;
  CompletionGuard& operator=(const CompletionGuard&) = delete;
  void Complete(int64_t result) {
    completed_ = true;
    CompleteRecord(rec_, result);
  }

 private:
  SentRecord& rec_;
  bool completed_ = false;
};

// Serves every sent message waiting in `self`'s queue, oldest first.
void ServeSent(ThreadState& self) {
  for (;;) {
    std::shared_ptr<SentRecord> rec;
    {
      std::lock_guard lk(self.m);
      if (!self.hasQueue || self.sent.empty()) return;
      rec = std::move(self.sent.front());
      self.sent.pop_front();
    }
    CompletionGuard guard(*rec);
    int64_t result = 0;
    if (rec->task) {
      result = rec->task();
    } else {
      // Looked up now, not at send time: a window destroyed meanwhile answers 0.
      WindowEntry entry;
      if (FindWindow(rec->window, entry)) result = CallProc(entry, rec->window, rec->message, rec->wParam, rec->lParam);
    }
    guard.Complete(result);
  }
}

// Takes back a record its terminated sender no longer waits for, unless the
// receiver has already taken it (then the receiver's copy keeps it alive).
void Withdraw(ThreadState& target, const std::shared_ptr<SentRecord>& rec) {
  std::lock_guard lk(target.m);
  for (auto it = target.sent.begin(); it != target.sent.end(); ++it) {
    if (*it == rec) {
      target.sent.erase(it);
      return;
    }
  }
}

// Queues `rec` at `target` and waits for the reply, serving messages sent to
// the calling thread meanwhile (two threads sending to each other do not
// deadlock). A safe point while it waits.
int64_t Deliver(const std::shared_ptr<ThreadState>& target, const std::shared_ptr<SentRecord>& rec) {
  {
    std::lock_guard lk(target->m);
    if (!target->hasQueue) return 0;
    target->sent.push_back(rec);
  }
  target->cv.notify_all();
  AfterDelivery(*target);

  ThreadState& self = *rec->sender;
  for (;;) {
    bool replied = false;
    bool withdrawn = false;
    int64_t result = 0;
    {
      BlockingWaitScope blocked;
      std::unique_lock lk(self.m);
      detail::WaitSelf(lk, self, [&] { return rec->done || (self.hasQueue && !self.sent.empty()); });
      replied = rec->done;
      result = rec->result;
      if (!replied && CurrentThreadTerminating()) {
        lk.unlock();
        Withdraw(*target, rec);
        withdrawn = true;
      }
    }
    SafePoint();  // parks if suspended during the wait; unwinds when terminated
    if (replied) return result;
    if (withdrawn) return 0;
    ServeSent(self);
  }
}

}  // namespace

namespace detail {

ThreadId NextThreadId() {
  for (;;) {
    ThreadId id = g_nextThreadId.fetch_add(1);
    if (id != 0) return id;  // skips 0 when the counter wraps
  }
}

const std::shared_ptr<ThreadState>& Self() {
  if (!tls_self.state) tls_self.state = std::make_shared<ThreadState>(CurrentThreadId());
  return tls_self.state;
}

void AdoptSelf(const std::shared_ptr<ThreadState>& state) {
  tls_threadId = state->id;
  tls_self.state = state;
}

void OpenQueue(const std::shared_ptr<ThreadState>& state) { EnsureQueueOf(state); }

void ReleaseQueue(ThreadState& state) {
  std::deque<std::shared_ptr<SentRecord>> pending;
  {
    std::lock_guard lk(state.m);
    if (!state.hasQueue) return;
    state.hasQueue = false;
    pending.swap(state.sent);
    state.posted.clear();
  }
  {
    Registry& reg = Reg();
    std::lock_guard lk(reg.m);
    auto it = reg.queues.find(state.id);
    if (it != reg.queues.end() && it->second.get() == &state) reg.queues.erase(it);
  }
  for (auto& rec : pending) CompleteRecord(*rec, 0);
}

void Wake(ThreadState& state) {
  { std::lock_guard lk(state.m); }
  state.cv.notify_all();
}

}  // namespace detail

ThreadId CurrentThreadId() {
  if (tls_threadId == 0) tls_threadId = detail::NextThreadId();
  return tls_threadId;
}

void SetMainThread() {
  g_mainThread.store(CurrentThreadId());
  EnsureQueue();
}

void ClearMainThread() { g_mainThread.store(0); }

ThreadId MainThreadId() { return g_mainThread.load(); }

bool IsMainThread() {
  ThreadId main = g_mainThread.load();
  return main != 0 && main == CurrentThreadId();
}

void EnsureQueue() { EnsureQueueOf(detail::Self()); }

WindowHandle CreateWindowEntry(WindowProc proc) {
  // The owner serves the window's messages, so it needs a queue from now on.
  EnsureQueue();
  WindowEntry entry;
  entry.proc = std::make_shared<const WindowProc>(std::move(proc));
  entry.owner = CurrentThreadId();
  entry.ownerState = detail::Self();
  Registry& reg = Reg();
  std::lock_guard lk(reg.m);
  WindowHandle handle = reg.nextWindow;
  while (handle == 0 || reg.windows.count(handle) != 0) ++handle;
  reg.nextWindow = handle + 1;
  reg.windows.emplace(handle, std::move(entry));
  return handle;
}

void DestroyWindowEntry(WindowHandle window) {
  std::shared_ptr<const WindowProc> proc;  // released outside the lock
  Registry& reg = Reg();
  std::lock_guard lk(reg.m);
  auto it = reg.windows.find(window);
  if (it == reg.windows.end()) return;
  proc = std::move(it->second.proc);
  reg.windows.erase(it);
}

bool IsWindowEntry(WindowHandle window) {
  WindowEntry entry;
  return FindWindow(window, entry);
}

ThreadId WindowOwner(WindowHandle window) {
  WindowEntry entry;
  return FindWindow(window, entry) ? entry.owner : 0;
}

bool PostMessage(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam) {
  Message msg{window, message, wParam, lParam};
  if (window == 0) {
    EnsureQueue();  // posting to oneself gives the caller its queue
    return PostTo(*detail::Self(), msg);
  }
  WindowEntry entry;
  if (!FindWindow(window, entry)) return false;
  std::shared_ptr<ThreadState> owner = entry.ownerState.lock();
  return owner && PostTo(*owner, msg);
}

bool PostThreadMessage(ThreadId thread, uint32_t message, uint64_t wParam, int64_t lParam) {
  std::shared_ptr<ThreadState> target = FindQueue(thread);
  return target && PostTo(*target, Message{0, message, wParam, lParam});
}

size_t SetPostedMessageBoundForTest(size_t bound) { return g_maxPosted.exchange(bound); }

void PostQuitMessage(int exitCode) {
  // Sign-extended, so an exit code of -1 reads back as -1.
  PostMessage(0, WM_QUIT, static_cast<uint64_t>(static_cast<int64_t>(exitCode)), 0);
}

int64_t SendMessage(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam) {
  SafePoint();
  WindowEntry entry;
  if (!FindWindow(window, entry)) return 0;
  if (entry.owner == CurrentThreadId()) return CallProc(entry, window, message, wParam, lParam);
  std::shared_ptr<ThreadState> owner = entry.ownerState.lock();
  if (!owner) return 0;
  auto rec = std::make_shared<SentRecord>();
  rec->window = window;
  rec->message = message;
  rec->wParam = wParam;
  rec->lParam = lParam;
  rec->sender = detail::Self();
  return Deliver(owner, rec);
}

int64_t RunOnMainThread(const std::function<int64_t()>& task) {
  SafePoint();
  if (!task) return 0;
  ThreadId main = g_mainThread.load();
  if (main == 0 || main == CurrentThreadId()) return task();
  std::shared_ptr<ThreadState> target = FindQueue(main);
  if (!target) return 0;  // the main thread dropped its queue (shutting down)
  auto rec = std::make_shared<SentRecord>();
  // Copied: the record may outlive this call when the caller is terminated
  // while the main thread runs it. Whatever the task captures by reference
  // must therefore outlive the caller's stack, or be captured by value.
  rec->task = task;
  rec->sender = detail::Self();
  return Deliver(target, rec);
}

bool PeekMessage(Message& out, bool remove) {
  SafePoint();
  const std::shared_ptr<ThreadState>& self = detail::Self();
  EnsureQueueOf(self);
  ServeSent(*self);
  std::lock_guard lk(self->m);
  if (self->posted.empty()) return false;
  out = self->posted.front();
  if (remove) self->posted.pop_front();
  return true;
}

bool GetMessage(Message& out) {
  const std::shared_ptr<ThreadState>& self = detail::Self();
  EnsureQueueOf(self);
  for (;;) {
    SafePoint();
    ServeSent(*self);
    {
      std::lock_guard lk(self->m);
      if (!self->posted.empty()) {
        out = self->posted.front();
        self->posted.pop_front();
        return out.message != WM_QUIT;
      }
    }
    BlockingWaitScope blocked;
    std::unique_lock lk(self->m);
    detail::WaitSelf(lk, *self, [&] { return !self->posted.empty() || !self->sent.empty(); });
  }
}

namespace {

// Common part of WaitMessage and WaitMessageTimeout; deadline may be null.
bool WaitForAnyMessage(const std::chrono::steady_clock::time_point* deadline) {
  SafePoint();
  const std::shared_ptr<ThreadState>& self = detail::Self();
  EnsureQueueOf(self);
  ServeSent(*self);
  bool waiting = false;
  {
    std::lock_guard lk(self->m);
    waiting = !self->posted.empty();
  }
  if (!waiting) {
    {
      BlockingWaitScope blocked;
      std::unique_lock lk(self->m);
      detail::WaitSelf(
          lk, *self, [&] { return !self->posted.empty() || !self->sent.empty() || self->woken; }, deadline);
      self->woken = false;
    }
    SafePoint();
    ServeSent(*self);
  }
  std::lock_guard lk(self->m);
  return !self->posted.empty();
}

}  // namespace

void WaitMessage() { WaitForAnyMessage(nullptr); }

bool WaitMessageTimeout(uint32_t timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  return WaitForAnyMessage(&deadline);
}

void WakeThread(ThreadId thread) {
  std::shared_ptr<ThreadState> target = FindQueue(thread);
  if (!target) return;
  {
    std::lock_guard lk(target->m);
    target->woken = true;
  }
  target->cv.notify_all();
}

void ServeSentMessages() {
  SafePoint();
  ServeSent(*detail::Self());
}

int64_t DispatchMessage(const Message& msg) {
  WindowEntry entry;
  if (!FindWindow(msg.window, entry)) return 0;
  return CallProc(entry, msg.window, msg.message, msg.wParam, msg.lParam);
}

void DropQueue() {
  if (tls_self.state) detail::ReleaseQueue(*tls_self.state);
}

void SetMainQueueWaker(std::function<void()> waker) {
  auto shared = waker ? std::make_shared<const std::function<void()>>(std::move(waker)) : nullptr;
  Registry& reg = Reg();
  std::lock_guard lk(reg.m);
  reg.mainWaker = std::move(shared);
}

std::string GetMessageName(uint32_t message) {
  static const struct {
    uint32_t number;
    const char* name;
  } kNames[] = {
      {WM_NULL, "WM_NULL"},
      {WM_CREATE, "WM_CREATE"},
      {WM_DESTROY, "WM_DESTROY"},
      {WM_MOVE, "WM_MOVE"},
      {WM_SIZE, "WM_SIZE"},
      {WM_ACTIVATE, "WM_ACTIVATE"},
      {WM_SETFOCUS, "WM_SETFOCUS"},
      {WM_KILLFOCUS, "WM_KILLFOCUS"},
      {WM_PAINT, "WM_PAINT"},
      {WM_CLOSE, "WM_CLOSE"},
      {WM_QUIT, "WM_QUIT"},
      {WM_ACTIVATEAPP, "WM_ACTIVATEAPP"},
      {WM_GETMINMAXINFO, "WM_GETMINMAXINFO"},
      {WM_COPYDATA, "WM_COPYDATA"},
      {WM_KEYDOWN, "WM_KEYDOWN"},
      {WM_KEYUP, "WM_KEYUP"},
      {WM_CHAR, "WM_CHAR"},
      {WM_SYSKEYDOWN, "WM_SYSKEYDOWN"},
      {WM_SYSKEYUP, "WM_SYSKEYUP"},
      {WM_INITDIALOG, "WM_INITDIALOG"},
      {WM_COMMAND, "WM_COMMAND"},
      {WM_SYSCOMMAND, "WM_SYSCOMMAND"},
      {WM_MOUSEMOVE, "WM_MOUSEMOVE"},
      {WM_LBUTTONDOWN, "WM_LBUTTONDOWN"},
      {WM_LBUTTONUP, "WM_LBUTTONUP"},
      {WM_RBUTTONDOWN, "WM_RBUTTONDOWN"},
      {WM_RBUTTONUP, "WM_RBUTTONUP"},
      {WM_QUERYNEWPALETTE, "WM_QUERYNEWPALETTE"},
      {WM_PALETTECHANGED, "WM_PALETTECHANGED"},
      {WM_USER, "WM_USER"},
      {WM_APP, "WM_APP"},
  };
  for (const auto& entry : kNames)
    if (entry.number == message) return entry.name;
  return std::to_string(message);
}

}  // namespace plat
