// A surface's pixels as the screen would show them (8-bit surfaces through
// the game's palette DDState.DDPalette), for the commands that write PNGs.
#pragma once

#include "gfx/dd.h"
#include "platform/window_host.h"

// False when the surface has no picture or cannot be locked.
bool SurfaceToFrame(DDSURFACEDATA* sd, plat::Frame& frame);
