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
  // `name` says which thread it holds in the report log ("the game thread").
  explicit cThread(const char* name = "a worker thread") : m_szName(name) {}
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
  // every 1 ms re-posting it; once 200 polls have found the thread waiting
  // (parked, or blocked in a platform wait) or past a safe point since the
  // poll before, it is told to unwind at its next safe point. The other
  // polls do not count: a thread that a busy machine keeps from running, or
  // that is still working out its frame on its way to its message loop,
  // ends as it would on an idle machine.
  // Returns only once the thread has ended: none is left running behind its
  // caller, who goes on to free what it uses. A thread still running 10 s
  // after its end began never comes to a safe point (a read on a hung file
  // system, a library call that does not return): the report log and the
  // standard error name it, and the process ends there with status 1,
  // running nothing more. Nothing when no thread runs. Several threads may
  // end the same thread at once: each returns once it has ended, and it is
  // joined once.
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

  const char* const m_szName;
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
// How long Exit waits for a thread before the process ends without it, in
// milliseconds of machine time (10000 unless a test sets another bound);
// the previous bound is returned.
inline constexpr uint32_t kThreadExitGiveUpMs = 10000;
uint32_t SetThreadExitGiveUpForTest(uint32_t milliseconds);
// The status the process ends with then.
inline constexpr int kExitThreadDidNotEnd = 1;

// Waits for a thread of the platform's that was told to end (not one of
// the slots above), as long as Exit waits for a slot's: past that bound,
// the process ends the same way, naming the thread ("the MIDI player's
// thread"). Whoever frees what that thread uses calls it first.
void AwaitToldThread(plat::Thread& thread, const char* name);
