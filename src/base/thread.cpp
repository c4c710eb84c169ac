#include "base/thread.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "base/errors.h"
#include "base/logs.h"
#include "base/program.h"
#include "platform/clock.h"
#include "platform/messages.h"

cThread thGame("the game thread");
cThread thPause("the pause thread");
cThread thStageLoad("the stage-loading thread");

namespace {
// Polls that found the thread waiting or past a safe point before it is told
// to unwind.
constexpr int kPollsBeforeTerminate = 200;
// A thread still running after this many polls is named in the error-check
// log (once); the close goes on waiting for it.
constexpr int kPollsBeforeNaming = kPollsBeforeTerminate + 2000;
std::atomic<ThreadJoinedHook> g_joinedHook{nullptr};
std::atomic<ThreadExitPollHook> g_pollHook{nullptr};
std::atomic<uint32_t> g_giveUpMs{kThreadExitGiveUpMs};

// The thread named never came to a safe point: what its ender would free
// next it may still use, so nothing more of the program runs.
[[noreturn]] void EndWithoutThread(const char* name, uint32_t milliseconds) {
  char line[256];
  std::snprintf(line, sizeof line,
                "%s did not end within %u ms of being told to (it never came to a point where it could stop): "
                "the program ends without it",
                name, milliseconds);
  WriteReportLog("%s", line);
  std::fprintf(stderr, "pelmora: %s\n", line);
  std::fflush(stderr);
  std::_Exit(kExitThreadDidNotEnd);
}

// Ends the program once the thread named has been waited for, since `began`,
// past the give-up bound.
void EndIfPastBound(std::chrono::steady_clock::time_point began, const char* name) {
  const uint32_t giveUp = g_giveUpMs.load();
  if (std::chrono::steady_clock::now() - began >= std::chrono::milliseconds(giveUp)) EndWithoutThread(name, giveUp);
}
}  // namespace

void SetThreadJoinedHookForTest(ThreadJoinedHook hook) { g_joinedHook.store(hook); }
void SetThreadExitPollHookForTest(ThreadExitPollHook hook) { g_pollHook.store(hook); }
uint32_t SetThreadExitGiveUpForTest(uint32_t milliseconds) { return g_giveUpMs.exchange(milliseconds); }

cThread::~cThread() { Exit(); }

std::shared_ptr<plat::Thread> cThread::Held() const {
  std::lock_guard lock(m_Lock);
  return m_hThread;
}

void cThread::Forget(const std::shared_ptr<plat::Thread>& thread) {
  std::lock_guard lock(m_Lock);
  if (m_hThread != thread) return;
  m_hThread.reset();
  m_nThreadId.store(0);
}

bool cThread::Create(ThreadProc proc, void* argument) {
  std::lock_guard lock(m_Lock);
  if (m_hThread) return false;
  auto thread = std::make_shared<plat::Thread>();
  // Memory that runs out on a worker (a frame, a stage being read) is said,
  // and ends the game by the fault road: the thread cannot go on with what
  // it was doing.
  auto body = [proc, argument, name = m_szName]() -> uint32_t {
    try {
      return proc(argument);
    } catch (const std::bad_alloc&) {
      char doing[96];
      std::snprintf(doing, sizeof doing, "on %s", name);
      ReportOutOfMemory(doing);
      RequestQuit();
      return 0;
    }
  };
  if (!thread->Start(body)) return false;
  m_nThreadId.store(thread->Id());
  m_hThread = std::move(thread);
  return true;
}

void cThread::Wait() {
  const std::shared_ptr<plat::Thread> thread = Held();
  if (!thread) return;
  while (!thread->Join(1)) plat::SafePoint();
  Forget(thread);
}

bool cThread::Suspend() {
  const std::shared_ptr<plat::Thread> thread = Held();
  return !thread || thread->Suspend() >= 0;
}

bool cThread::Resume() {
  const std::shared_ptr<plat::Thread> thread = Held();
  return !thread || thread->Resume() >= 0;
}

bool cThread::Running() const { return Held() != nullptr; }

bool cThread::Finished() const {
  const std::shared_ptr<plat::Thread> thread = Held();
  return !thread || thread->Finished();
}

int cThread::SuspendCount() const {
  const std::shared_ptr<plat::Thread> thread = Held();
  return thread ? thread->SuspendCount() : 0;
}

int cThread::Waiters() const {
  const std::shared_ptr<plat::Thread> thread = Held();
  return thread ? thread->Watchers() : 0;
}

void AwaitToldThread(plat::Thread& thread, const char* name) {
  const auto began = std::chrono::steady_clock::now();
  while (!thread.Join(10)) EndIfPastBound(began, name);
}

void cThread::Exit() {
  const std::shared_ptr<plat::Thread> thread = Held();
  if (!thread) return;
  const uint32_t id = thread->Id();
  // A thread suspended more than once would otherwise stay parked for ever.
  thread->ResumeFully();
  WriteECLog("Exit A");
  plat::PostThreadMessage(id, plat::WM_QUIT, 0, 0);
  WriteECLog("Exit B");
  WriteECLog("Exit C");
  // Only an ended thread is let go: what the caller frees next (the window,
  // the scenes, the surfaces) is still in use by a thread that runs, however
  // long a busy machine keeps it from its next safe point.
  const bool self = id == plat::CurrentThreadId();
  const auto began = std::chrono::steady_clock::now();
  int polls = 0;
  // Polls that found the thread waiting, or past a safe point since the
  // poll before: it had its chances to see the quit. One that a busy
  // machine did not let run meanwhile, or that worked on without a
  // platform call, had none.
  int waited = 0;
  uint64_t safePoints = thread->SafePointsPassed();
  while (!thread->Join(1)) {
    plat::PostThreadMessage(id, plat::WM_QUIT, 0, 0);
    ++polls;
    const uint64_t passed = thread->SafePointsPassed();
    // A thread ending itself waits for nothing here: each of its polls counts.
    if (self || thread->Waiting() || passed != safePoints) ++waited;
    safePoints = passed;
    if (waited >= kPollsBeforeTerminate) {
      thread->RequestTerminate();
      if (self) plat::SafePoint();  // a thread ending itself unwinds here
    }
    if (polls == kPollsBeforeNaming) WriteECLog("thread %u has not ended yet; waiting for it", id);
    if (ThreadExitPollHook hook = g_pollHook.load()) hook(*this, polls);
    if (!self) EndIfPastBound(began, m_szName);
  }
  WriteECLog("Exit D");
  if (ThreadJoinedHook hook = g_joinedHook.load()) hook(*this);
  Forget(thread);
  WriteECLog("Exit E");
}

void SuspendWorkerThreads() {
  thGame.Suspend();
  thPause.Suspend();
  thStageLoad.Suspend();
}

void ResumeWorkerThreads() {
  thGame.Resume();
  thPause.Resume();
  thStageLoad.Resume();
}
