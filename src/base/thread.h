// The game's worker threads and their staged exit.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/threads.h"

using ThreadProc = uint32_t (*)(void* argument);

// One worker slot. Besides its starter, other threads end it: the window's
// close ends every worker while the game thread may be ending or starting the
// stage-loading thread itself. So the held thread is taken under a lock and
// shared by whoever works on it; the slot is cleared only of the thread the
// caller worked on (one started meanwhile stays held).
class cThread {
 public:
  cThread() = default;
  ~cThread();  // Exit(); at program exit the thread has normally ended already
  cThread(const cThread&) = delete;
  cThread& operator=(const cThread&) = delete;

  // Starts `proc`(argument) at once; false (and no thread) when it cannot
  // start or a thread is held already.
  bool Create(ThreadProc proc, void* argument);
  // Waits for the thread to end by itself (the caller's own safe points stay
  // live meanwhile), then forgets it.
  void Wait();
  // True without a thread.
  bool Suspend();
  bool Resume();
  // The staged end: resume (every pending suspension), post WM_QUIT, poll
  // every 1 ms re-posting it; from the 200th poll the thread is told to unwind
  // at its next safe point. Returns only once the thread has ended, however
  // long that takes: none is left running behind its caller. Nothing when no
  // thread runs. Several threads may end the same thread at once: each
  // returns once it has ended, and it is joined once.
  void Exit();

  bool Running() const;   // a thread is held
  bool Finished() const;  // no thread is held, or the held one has ended
  uint32_t ThreadId() const { return m_nThreadId.load(); }  // 0 when none is held
  int SuspendCount() const;
  // How many threads wait on the held thread right now (in Exit, Wait or
  // Suspend); tests line threads up with it.
  int Waiters() const;

 private:
  std::shared_ptr<plat::Thread> Held() const;
  // Clears the slot when it still holds `thread`.
  void Forget(const std::shared_ptr<plat::Thread>& thread);

  mutable std::mutex m_Lock;
  std::shared_ptr<plat::Thread> m_hThread;  // null when no thread runs; guarded by m_Lock
  std::atomic<uint32_t> m_nThreadId{0};
};

// The worker threads: the game thread, the pause/wait thread of stage play
// and the stage-loading thread. The ranking list shown after a registration
// keeps its frames on the game thread, as the other waits of stage play do.
extern cThread thGame;
extern cThread thPause;
extern cThread thStageLoad;

// Around modal dialogs: suspend / resume the four workers in this order.
void SuspendWorkerThreads();
void ResumeWorkerThreads();

// Test seam: when set, Exit calls it on the ending thread once the thread
// has been joined and before the slot forgets it, so a test can hold that
// thread there while others end or start the slot's thread. Null (the
// default) calls nothing; the game never sets it.
using ThreadJoinedHook = void (*)(cThread& slot);
void SetThreadJoinedHookForTest(ThreadJoinedHook hook);
// Test seam: when set, Exit calls it on the ending thread after each poll
// that found the thread still running, with the number of polls so far, so
// that a test can keep a thread busy for a given number of polls.
using ThreadExitPollHook = void (*)(cThread& slot, int polls);
void SetThreadExitPollHookForTest(ThreadExitPollHook hook);
