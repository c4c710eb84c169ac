// The hand-over between two frames: the moment after a frame has been
// presented (and its observers have run) and before the next one starts,
// when the presenting thread has finished with the frame. A driver that
// steps the game frame by frame on the virtual clock (the test harness)
// holds the thread there, so that it reads the game's state and sets the
// next frame's keys while nothing of the game moves: the frame it reads is
// the one presented last, and the keys it sets are those the next frame
// polls, however busy the machine.
//
// While holding is on, the thread stops at a hand-over once it has handed
// over as many frames as it was let go for, and waits there until the
// driver lets it go on (or it must end: a WM_QUIT waiting in its queue, or
// termination). What the thread wrote before it stopped is visible to the
// driver once HeldAtHandOver answers it (the hand-over's atomics order it).
// With holding off a hand-over does nothing.
#pragma once

#include <cstdint>

namespace plat {

// The presenting thread: a frame was presented (`presented` true), or the
// first frame is about to start (false). Waits while held; a safe point.
void FrameHandOver(bool presented);

// The driver: holding on (the count of frames handed over starts again at
// 0, none let go) or off (a thread standing at a hand-over goes on).
void HoldFramesAtHandOver(bool on);
bool HoldingFramesAtHandOver();
// Lets the thread go on until `frames` more frames have been handed over
// (counted from those handed over so far); kAllFrames: without stopping.
// Returns the count of frames handed over at which it stops.
inline constexpr uint64_t kAllFrames = UINT64_MAX;
uint64_t LetFramesGo(uint64_t frames);
// Frames handed over since holding went on.
uint64_t FramesHandedOver();
// True while the thread stands at a hand-over, held, after `handed` frames
// (FramesHandedOver then).
bool HeldAtHandOver(uint64_t handed);

}  // namespace plat
