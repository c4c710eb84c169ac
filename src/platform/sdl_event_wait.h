// The main thread's event wait on an X11 display, woken from other threads
// without the display server.
//
// SDL_WaitEventTimeout sleeps on the display's connection, and a wake from
// another thread (SDL_PushEvent while it sleeps) is an event sent through
// the X server and read back: for every presented frame the drawing thread
// writes to the server's socket and the main thread reads a message from
// it. Here the main thread polls the connection beside an eventfd of its
// own, and a wake is one write to that eventfd.
#pragma once

#include <cstdint>

struct SDL_Window;

namespace plat {

enum class DisplayWait {
  Unavailable,  // another window system, or libX11 not found: wait in SDL_WaitEventTimeout
  TimedOut,
  Woken,         // by WakeDisplayWait (or an event already in SDL's queue) only
  DisplayInput,  // the display has events for SDL to read (SDL_PumpEvents)
};

// Main thread: sleeps until the display connection of `window` has input,
// WakeDisplayWait is called or `timeoutMs` passes. From then on every wake
// goes to this wait (DisplayWaitInUse).
DisplayWait WaitOnDisplayConnection(SDL_Window* window, uint32_t timeoutMs);

// Any thread: ends a WaitOnDisplayConnection sleeping now or about to. One
// write a wait at most, however many threads wake it.
void WakeDisplayWait();

// True while the main thread waits on the display connection (from its
// first such wait until LeaveDisplayWait).
bool DisplayWaitInUse();

// Main thread, before it waits in SDL_WaitEventTimeout instead: wakes go to
// SDL's queue again. True when a wake had gone to the eventfd and was not
// taken yet (the caller must not sleep then).
bool LeaveDisplayWait();

}  // namespace plat
