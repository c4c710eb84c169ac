// Millisecond timers of the frame loop: the stopwatch that measures a frame's
// work, an every-n-calls counter, the frames-per-second counter and the two
// frame pacers. All read plat::TickCount; all comparisons are safe across the
// 32-bit wrap of that clock. Used by whichever thread makes frames at the
// time (the game thread, or a waiting thread of stage play while the game
// thread blocks), one at a time.
#pragma once

#include <cstdint>

void ResetStopwatch();
void StartStopwatch();
// Milliseconds since the stopwatch started; restarts it when `restart` != 0.
uint32_t ResetStopwatchWhen(int restart);
// With `measure` != 0 the kept reading becomes the time since the start;
// returns the kept reading.
uint32_t ReadStopwatch(int measure);

// Mode 0 restarts the count (0); mode 2 tells whether the count is at 0;
// other modes count one call and return 1 on every n-th.
uint32_t CountCalls(int mode, uint32_t n);

// Frames counted in the last full second (0 during the first second). With
// `count` == 0 only reads the last result.
uint32_t CountFramesPerSecond(int count);

// Pacing before a frame: true when the next frame is due, then schedules the
// one after. Frames fall due at an exact average of `framesPerSecond` per
// second (intervals of 1000/fps ms rounded down or up in turn); a caller that
// fell more than a frame behind starts afresh from now instead of rushing.
bool IsFrameDue(uint32_t framesPerSecond);

// Milliseconds until IsFrameDue will next say yes (0 when it would now).
uint32_t MillisecondsUntilFrameDue();

// Pacing inside the present: frame i of a second is due at the second's start
// + 1000.0 / fps × i; after fps frames the next second begins (at now, when
// the frames fell more than a second behind).
bool IsPresentDue(uint32_t framesPerSecond);

// Milliseconds until IsPresentDue(framesPerSecond) will next say yes (0 when
// it would now, or before its first call).
uint32_t MillisecondsUntilPresentDue(uint32_t framesPerSecond);

// Tests: forget the first-use state of every timer.
void ResetTimersForTest();
