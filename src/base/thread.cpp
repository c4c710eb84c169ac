#include "base/thread.h"

#include "base/logs.h"
#include "platform/clock.h"
#include "platform/messages.h"

cThread thGame;
cThread thPause;
cThread thStageLoad;

namespace {
constexpr int kPollsBeforeTerminate = 200;
// A thread still running this long after it was told to unwind is named in
// the error-check log (once); the close goes on waiting for it.
constexpr int kPollsBeforeNaming = kPollsBeforeTerminate + 2000;
std::atomic<ThreadJoinedHook> g_joinedHook{nullptr};
std::atomic<ThreadExitPollHook> g_pollHook{nullptr};
}  // namespace

void SetThreadJoinedHookForTest(ThreadJoinedHook hook) { g_joinedHook.store(hook); }
void SetThreadExitPollHookForTest(ThreadExitPollHook hook) { g_pollHook.store(hook); }

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
  if (!thread->Start([proc, argument]() { return proc(argument); })) return false;
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
  int polls = 0;
  while (!thread->Join(1)) {
    plat::PostThreadMessage(id, plat::WM_QUIT, 0, 0);
    ++polls;
    if (polls >= kPollsBeforeTerminate) {
      thread->RequestTerminate();
      if (self) plat::SafePoint();  // a thread ending itself unwinds here
    }
    if (polls == kPollsBeforeNaming) WriteECLog("thread %u has not ended yet; waiting for it", id);
    if (ThreadExitPollHook hook = g_pollHook.load()) hook(*this, polls);
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
