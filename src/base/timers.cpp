#include "base/timers.h"

#include <cmath>

#include "platform/clock.h"

namespace {

uint32_t g_stopwatchStart = 0;
uint32_t g_stopwatchReading = 0;
uint32_t g_callCounter = 0;

bool g_fpsStarted = false;
uint32_t g_fpsWindowStart = 0;
uint32_t g_fpsFrames = 0;
uint32_t g_fpsLast = 0;

bool g_frameStarted = false;
uint32_t g_frameNextDue = 0;
uint32_t g_frameRemainder = 0;  // accumulated 1000 % fps, in 1/fps ms

bool g_presentStarted = false;
uint32_t g_presentSecondStart = 0;
uint32_t g_presentIndex = 0;

// now is at or after `due`, read across the clock's wrap.
bool Reached(uint32_t now, uint32_t due) { return static_cast<int32_t>(now - due) >= 0; }

}  // namespace

void ResetStopwatch() { g_stopwatchStart = plat::TickCount(); }
void StartStopwatch() { g_stopwatchStart = plat::TickCount(); }

uint32_t ResetStopwatchWhen(int restart) {
  uint32_t elapsed = plat::TickCount() - g_stopwatchStart;
  if (restart) g_stopwatchStart = plat::TickCount();
  return elapsed;
}

uint32_t ReadStopwatch(int measure) {
  if (measure) g_stopwatchReading = plat::TickCount() - g_stopwatchStart;
  return g_stopwatchReading;
}

uint32_t CountCalls(int mode, uint32_t n) {
  if (mode == 0) {
    g_callCounter = 0;
    return 0;
  }
  if (mode == 2) return g_callCounter == 0 ? 1 : 0;
  if (++g_callCounter >= n) {
    g_callCounter = 0;
    return 1;
  }
  return 0;
}

uint32_t CountFramesPerSecond(int count) {
  uint32_t now = plat::TickCount();
  if (!g_fpsStarted) {
    g_fpsStarted = true;
    g_fpsWindowStart = now;
  }
  if (count == 0) return g_fpsLast;
  if (now - g_fpsWindowStart >= 1000) {
    g_fpsLast = g_fpsFrames;
    g_fpsWindowStart = now;
    g_fpsFrames = 0;
    return g_fpsLast;
  }
  ++g_fpsFrames;
  return g_fpsLast;
}

bool IsFrameDue(uint32_t framesPerSecond) {
  uint32_t now = plat::TickCount();
  if (!g_frameStarted) {
    g_frameStarted = true;
    g_frameNextDue = now;
    g_frameRemainder = 0;
  }
  if (framesPerSecond == 0) return true;
  if (!Reached(now, g_frameNextDue)) return false;
  uint32_t interval = 1000 / framesPerSecond;
  g_frameRemainder += 1000 % framesPerSecond;
  if (g_frameRemainder >= framesPerSecond) {
    g_frameRemainder -= framesPerSecond;
    ++interval;
  }
  uint32_t next = g_frameNextDue + interval;
  // More than a whole frame behind (a long stall, a dialog): start afresh.
  g_frameNextDue = Reached(now, next) ? now + interval : next;
  return true;
}

uint32_t MillisecondsUntilFrameDue() {
  if (!g_frameStarted) return 0;
  int32_t left = static_cast<int32_t>(g_frameNextDue - plat::TickCount());
  return left > 0 ? static_cast<uint32_t>(left) : 0;
}

// When present g_presentIndex falls due, in ms after its second's start.
double PresentDueOffset(uint32_t framesPerSecond) { return 1000.0 / framesPerSecond * g_presentIndex; }

bool IsPresentDue(uint32_t framesPerSecond) {
  if (framesPerSecond == 0) return true;
  uint32_t now = plat::TickCount();
  if (!g_presentStarted) {
    g_presentStarted = true;
    g_presentSecondStart = now;
    g_presentIndex = 0;
  }
  double elapsed = static_cast<double>(static_cast<int32_t>(now - g_presentSecondStart));
  if (elapsed < PresentDueOffset(framesPerSecond)) return false;
  if (++g_presentIndex >= framesPerSecond) {
    // The next second starts where this one ends, so that each second holds
    // exactly the rate (anchoring at the last frame's time would squeeze one
    // frame more into every second); after a stall it starts from now.
    g_presentIndex = 0;
    uint32_t nextSecond = g_presentSecondStart + 1000;
    g_presentSecondStart = Reached(now, nextSecond + 1000) ? now : nextSecond;
  }
  return true;
}

uint32_t MillisecondsUntilPresentDue(uint32_t framesPerSecond) {
  if (framesPerSecond == 0 || !g_presentStarted) return 0;
  const double elapsed = static_cast<double>(static_cast<int32_t>(plat::TickCount() - g_presentSecondStart));
  // The first whole millisecond at or after the due offset.
  const double left = std::ceil(PresentDueOffset(framesPerSecond)) - elapsed;
  return left > 0 ? static_cast<uint32_t>(left) : 0;
}

void ResetTimersForTest() {
  g_stopwatchStart = g_stopwatchReading = g_callCounter = 0;
  g_fpsStarted = false;
  g_fpsWindowStart = g_fpsFrames = g_fpsLast = 0;
  g_frameStarted = false;
  g_frameNextDue = g_frameRemainder = 0;
  g_presentStarted = false;
  g_presentSecondStart = g_presentIndex = 0;
}
