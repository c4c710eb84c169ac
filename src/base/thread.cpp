#include "base/thread.h"

#include "base/logs.h"
#include "platform/clock.h"
#include "platform/messages.h"

cThread thGame;
cThread thPause;
cThread thStageLoad;

namespace {
constexpr int kPollsBeforeTerminate = 200;
constexpr int kPollsBeforeGivingUp = kPollsBeforeTerminate + 2000;
}  // namespace

cThread::~cThread() { Exit(); }

bool cThread::Create(ThreadProc proc, void* argument) {
  if (m_hThread) return false;
  auto thread = std::make_unique<plat::Thread>();
  if (!thread->Start([proc, argument]() { return proc(argument); })) return false;
  m_nThreadId = thread->Id();
  m_hThread = std::move(thread);
  return true;
}

void cThread::Wait() {
  if (!m_hThread) return;
  while (!m_hThread->Join(1)) plat::SafePoint();
  m_hThread.reset();
}

bool cThread::Suspend() {
  if (!m_hThread) return true;
  return m_hThread->Suspend() >= 0;
}

bool cThread::Resume() {
  if (!m_hThread) return true;
  return m_hThread->Resume() >= 0;
}

void cThread::Exit() {
  if (!m_hThread) return;
  // A thread suspended more than once would otherwise stay parked for ever.
  m_hThread->ResumeFully();
  WriteECLog("Exit A");
  plat::PostThreadMessage(m_nThreadId, plat::WM_QUIT, 0, 0);
  WriteECLog("Exit B");
  WriteECLog("Exit C");
  int polls = 0;
  while (!m_hThread->Join(1)) {
    plat::PostThreadMessage(m_nThreadId, plat::WM_QUIT, 0, 0);
    ++polls;
    if (polls == kPollsBeforeTerminate) m_hThread->RequestTerminate();
    if (polls >= kPollsBeforeGivingUp) {
      WriteReportAndECLog("thread %u did not end; left running", m_nThreadId);
      m_hThread->Detach();
      break;
    }
  }
  WriteECLog("Exit D");
  m_hThread.reset();
  m_nThreadId = 0;
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
