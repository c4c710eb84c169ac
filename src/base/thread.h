// The game's worker threads and their staged exit.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/threads.h"

using ThreadProc = uint32_t (*)(void* argument);

class cThread {
 public:
  cThread() = default;
  ~cThread();  // Exit(); at program exit the thread has normally ended already
  cThread(const cThread&) = delete;
  cThread& operator=(const cThread&) = delete;

  // Starts `proc`(argument) at once; false (and no thread) when it cannot start.
  bool Create(ThreadProc proc, void* argument);
  // Waits for the thread to end by itself (the caller's own safe points stay
  // live meanwhile), then forgets it.
  void Wait();
  // True without a thread.
  bool Suspend();
  bool Resume();
  // The staged end: resume (every pending suspension), post WM_QUIT, poll
  // every 1 ms re-posting it; from the 200th poll the thread is told to unwind
  // at its next safe point; one that still runs 2 s later is given up
  // (logged and left running unowned). Nothing when no thread runs.
  void Exit();

  bool Running() const { return m_hThread != nullptr; }
  uint32_t ThreadId() const { return m_nThreadId; }

  uint32_t m_nThreadId = 0;
  std::unique_ptr<plat::Thread> m_hThread;  // null when no thread runs
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
