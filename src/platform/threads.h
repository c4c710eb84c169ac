// Worker threads with cooperative suspension and termination.
//
// A worker cannot be stopped from outside at an arbitrary instruction (that
// would leave locks held and state half-changed). Instead every platform call
// a worker makes (Sleep, the message calls, waits) is a safe point: there a
// suspended worker parks until resumed, and a worker whose termination was
// requested unwinds by throwing ThreadTerminated, which only the thread's own
// entry wrapper catches. Game code never catches it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/messages.h"

namespace plat {

struct ThreadTerminated {};

struct ThreadControl;  // shared between the owner object and the running thread

// Start belongs to the object's owner. Everything else may be called from
// several threads at once (the window's close and the game thread may both
// end the stage-loading thread): the thread is joined or detached exactly
// once, whoever gets there first.
class Thread {
 public:
  Thread();
  ~Thread();  // detaches a thread still running; never blocks
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts `body` on a new thread. Its queue is created by the body's first
  // message call, or, with `withQueue`, before Start returns: then a post to
  // the thread succeeds from the moment it exists, however late it first
  // runs. False when the thread could not be started or one still runs
  // under this object.
  bool Start(std::function<uint32_t()> body, bool withQueue = false);

  bool Started() const;       // Start succeeded and the thread was not joined/detached
  bool Finished() const;      // the body has returned (or unwound)
  ThreadId Id() const;        // 0 when not started
  uint32_t ExitCode() const;  // the body's result; 0 after termination

  // Raises / lowers the suspend count; return the previous count, or -1 when
  // no thread runs. Suspend waits (at most about 100 ms) until the thread is
  // parked at a safe point or blocked in a platform wait.
  int Suspend();
  int Resume();
  // Sets the count to 0 and wakes the thread.
  void ResumeFully();
  int SuspendCount() const;

  // True while the thread is parked at a safe point or blocked in a
  // platform wait (a sleep, a message wait, a send, a frame hand-over): it
  // is waiting for something, not working on its own.
  bool Waiting() const;
  // How many safe points the thread has passed so far.
  uint64_t SafePointsPassed() const;

  // From now on every safe point of the thread throws ThreadTerminated; a
  // thread blocked in a platform wait is woken to do so.
  void RequestTerminate();
  bool TerminateRequested() const;

  // Waits up to timeoutMs real milliseconds for the body to end; true (and
  // the thread joined) when it has. Not cut short when the calling worker is
  // itself told to end: a thread it is ending must not be left behind.
  bool Join(uint32_t timeoutMs);
  // Gives up on a thread that does not end (it keeps running unowned).
  void Detach();

  // How many threads wait in Join or Suspend for this one right now (tests
  // line threads up with it).
  int Watchers() const;

 private:
  std::shared_ptr<ThreadControl> control_;
};

// Safe point of the calling thread: parks while suspended, throws
// ThreadTerminated when termination was requested. No-op on threads not
// started through Thread.
void SafePoint();

// Marks the calling thread as blocked in a platform wait while the guard
// lives (a suspender does not wait for such a thread to park).
class BlockingWaitScope {
 public:
  BlockingWaitScope();
  ~BlockingWaitScope();
  BlockingWaitScope(const BlockingWaitScope&) = delete;
  BlockingWaitScope& operator=(const BlockingWaitScope&) = delete;
};

// True when the calling thread was started through Thread and must unwind.
bool CurrentThreadTerminating();

}  // namespace plat
