// Frames: a rectangle's outline of fills, and a box picture with a frame
// around it (the message windows and the boxes of the game's fonts).
#pragma once

#include <cstdint>

#include "gfx/dd.h"

// Four fills of palette number `dwPalNum`, `nThickness` dots wide, along the
// inside of the rectangle, inside one fill batch.
void DDDrawFrame(DDSURFACEDATA* lpSD, int x, int y, int nWidth, int nHeight, int nThickness, uint32_t dwPalNum);
// The box picture's top-left width × height at (x, y) (keyed), then a frame
// of `nThickness` outside it: the whole is width + 2 × thickness wide.
void DDDrawFrameBox(DDSURFACEDATA* lpSD, int x, int y, int nWidth, int nHeight, DDSURFACEDATA* lpBoxSD,
                    int nThickness, uint32_t dwPalNum);
