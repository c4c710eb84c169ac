// Per-thread message queues and windows: the small part of a window system's
// messaging that the game relies on. Threads hand work to each other only
// through these queues (and a few atomic flags).
//
// - Every thread gets an id of ours (never 0). Its queue is created by its
//   first PeekMessage/GetMessage/WaitMessage; until then PostThreadMessage to
//   it fails (the start hand-shake of the game thread depends on that).
// - A window is a handle bound to a procedure and to the thread that created
//   it. PostMessage appends to that thread's queue; SendMessage from another
//   thread blocks until the owner has run the procedure ("sent" messages are
//   served before posted ones, inside Peek/Get/Wait and inside every modal
//   loop that calls ServeSentMessages). SendMessage from the owner calls the
//   procedure directly.
// - Every blocking call here is a safe point of the calling worker thread
//   (see threads.h): a suspended worker parks there, a terminated one unwinds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <functional>

namespace plat {

using ThreadId = uint32_t;
using WindowHandle = uint32_t;

// Message numbers, the same values as the window system the games were made for.
enum : uint32_t {
  WM_NULL = 0x0000,
  WM_CREATE = 0x0001,
  WM_DESTROY = 0x0002,
  WM_MOVE = 0x0003,
  WM_SIZE = 0x0005,
  WM_ACTIVATE = 0x0006,
  WM_SETFOCUS = 0x0007,
  WM_KILLFOCUS = 0x0008,
  WM_PAINT = 0x000F,
  WM_CLOSE = 0x0010,
  WM_QUIT = 0x0012,
  WM_ACTIVATEAPP = 0x001C,
  WM_GETMINMAXINFO = 0x0024,
  WM_COPYDATA = 0x004A,
  WM_KEYDOWN = 0x0100,
  WM_KEYUP = 0x0101,
  WM_CHAR = 0x0102,
  WM_SYSKEYDOWN = 0x0104,
  WM_SYSKEYUP = 0x0105,
  WM_INITDIALOG = 0x0110,
  WM_COMMAND = 0x0111,
  WM_SYSCOMMAND = 0x0112,
  WM_MOUSEMOVE = 0x0200,
  WM_LBUTTONDOWN = 0x0201,
  WM_LBUTTONUP = 0x0202,
  WM_RBUTTONDOWN = 0x0204,
  WM_RBUTTONUP = 0x0205,
  WM_QUERYNEWPALETTE = 0x030F,
  WM_PALETTECHANGED = 0x0311,
  WM_USER = 0x0400,
  WM_APP = 0x8000,
};

// The name of a window message ("WM_SIZE"), or its number in decimal when
// it has none. For the windows' message trace.
std::string GetMessageName(uint32_t message);

// wParam of a WM_CLOSE that must not ask the player first (termination signal,
// a second copy of the game closing this one). Ordinary closes use 0.
inline constexpr uint64_t kCloseWithoutAsking = 0x5051u;

struct Message {
  WindowHandle window = 0;  // 0 for thread messages
  uint32_t message = 0;
  uint64_t wParam = 0;
  int64_t lParam = 0;
};

using WindowProc = std::function<int64_t(WindowHandle, uint32_t, uint64_t, int64_t)>;

// Id of the calling thread (assigned on first use, never 0).
ThreadId CurrentThreadId();

// Marks the calling thread as the program's main thread (the one that owns the
// game window, runs dialogs and sound). RunOnMainThread targets it.
void SetMainThread();
// Takes the mark away again (a program run inside a longer-lived process,
// such as a test, has ended): RunOnMainThread then runs tasks directly.
void ClearMainThread();
ThreadId MainThreadId();
bool IsMainThread();

// Creates the calling thread's queue if it has none yet.
void EnsureQueue();

// Windows. The creating thread owns the window and serves its messages.
WindowHandle CreateWindowEntry(WindowProc proc);
void DestroyWindowEntry(WindowHandle window);
bool IsWindowEntry(WindowHandle window);
ThreadId WindowOwner(WindowHandle window);  // 0 when no such window

// Posting never blocks. PostMessage with window 0 posts a thread message to
// the caller's own queue. Both fail (false) when the target has no queue, or
// when its queue holds as many messages as it takes (10000): then only a
// WM_QUIT is still taken, when none waits there already.
bool PostMessage(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam);
bool PostThreadMessage(ThreadId thread, uint32_t message, uint64_t wParam, int64_t lParam);
// Posts WM_QUIT with the exit code as wParam to the caller's own queue.
void PostQuitMessage(int exitCode);
// Tests: how many posted messages a queue takes (10000 unless set); the
// previous bound is returned.
size_t SetPostedMessageBoundForTest(size_t bound);

// Blocks until the owner ran the window's procedure; returns its result.
// Returns 0 at once when the window does not exist (or its owner has gone).
int64_t SendMessage(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam);

// Runs `task` on the main thread as a sent message (served before posted
// messages and inside modal loops) and returns its result; runs it directly
// when called on the main thread or before a main thread was set.
int64_t RunOnMainThread(const std::function<int64_t()>& task);

// Serves the sent messages waiting for the calling thread; then, when one is
// posted, takes it (remove = true) or copies it (remove = false).
bool PeekMessage(Message& out, bool remove = true);
// Blocks until a posted message arrives (sent ones are served meanwhile).
// Returns false for WM_QUIT (the message is still stored in `out`).
bool GetMessage(Message& out);
// Blocks until any message (sent or posted) is waiting, serving sent ones.
void WaitMessage();
// As WaitMessage, but gives up after `timeoutMs` real milliseconds; true when
// a posted message is waiting.
bool WaitMessageTimeout(uint32_t timeoutMs);
// Ends the thread's message wait (WaitMessage, WaitMessageTimeout), or its
// next one, without queueing anything: a worker that has finished what the
// thread waits for wakes it so, and leaves no message behind for whoever
// reads that queue later.
void WakeThread(ThreadId thread);
// Serves the sent messages waiting for the calling thread (modal loops).
void ServeSentMessages();
// Calls the procedure of msg.window; thread messages are dropped (returns 0).
int64_t DispatchMessage(const Message& msg);

// Test and shutdown support: drops the caller's queue (pending senders are
// released with result 0). A later Peek creates a fresh one.
void DropQueue();

// Called on every post or send to the main thread's queue, from the posting
// thread: lets the window host wake an event wait. May be empty.
void SetMainQueueWaker(std::function<void()> waker);

}  // namespace plat
