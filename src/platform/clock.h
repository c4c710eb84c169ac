// Time: a steady millisecond clock (32-bit, wrapping like the multimedia
// timer the games were paced with), 1 ms sleeps, and a virtual clock for tests.
#pragma once

#include <cstdint>

namespace plat {

// Milliseconds of the steady clock, truncated to 32 bits (wraps every ~49.7 days).
uint32_t TickCount();
// The same clock in 64 bits.
uint64_t TickCount64();

// Sleeps `ms` milliseconds; a safe point of worker threads (threads.h).
// Under the virtual clock it waits until the clock has been advanced past
// the deadline (or the virtual clock is switched off).
void Sleep(uint32_t ms);

// Virtual clock for tests: while on, TickCount returns the virtual time and
// Sleep waits for AdvanceVirtualClock. Switching it off releases every sleeper.
void UseVirtualClock(bool on, uint64_t startMs = 0);
bool VirtualClockActive();
void AdvanceVirtualClock(uint32_t ms);
// Number of threads blocked in Sleep on the virtual clock whose deadline has
// not been reached yet (those a further advance would wake).
int VirtualClockSleepers();
// The thread that advances the virtual clock waits here for something to do:
// it returns when a thread starts sleeping on the virtual clock (or one sleeps
// already) or when WakeVirtualClockDriver is called (true), or after
// `timeoutUs` microseconds (false).
bool WaitForVirtualClockWork(uint32_t timeoutUs);
// Ends that wait (a frame was presented, a run ended: what the driver waits
// for may have come).
void WakeVirtualClockDriver();

}  // namespace plat
