// Pixel effect blits that move pixels around: strips (wave, split, burst,
// rotation in depth, circle), the rotation blit and the lens. The stretch
// blit they build on is DDBltStretch (gfx/dd.h). All coordinates and sizes
// are signed pixels; `flags` 1 skips transparent source pixels, 0 copies
// them. Nothing is read outside the source surface or written outside the
// destination, whatever the arguments.
#pragma once

#include <cstdint>

#include "gfx/dd.h"

// Strips of width `strip` shifted by a sine: columns != 0 shifts vertical
// strips up and down, 0 shifts horizontal strips left and right. The strip
// at distance p gets the offset trunc(sin((phase + a) × frequency°) × amplitude),
// a growing by 360 / size per strip pixel before its first use.
void DDBltWave(DDSURFACEDATA* lpDst, int x, int y, int w, int h, int nFrequency, double dAmplitude, int nPhase,
               int nStrip, DDSURFACEDATA* lpSrc, int sx, int sy, uint32_t dwFlags, uint32_t bColumns);
// Strips alternately moved by −offset (odd) and +offset (even); the
// remainder beyond whole strips is not drawn. Strip 0: one plain blit.
void DDBltSplit(DDSURFACEDATA* lpDst, int x, int y, int w, int h, int nStrip, int nOffset, DDSURFACEDATA* lpSrc,
                int sx, int sy, uint32_t dwFlags, uint32_t bColumns);
// The four quarters of the picture moved apart diagonally by `offset`.
void DDBltBurst(DDSURFACEDATA* lpDst, int x, int y, int w, int h, DDSURFACEDATA* lpSrc, int sx, int sy, int nOffset,
                uint32_t dwFlags);
// A picture card turning about its vertical (axis 0) or horizontal (axis 1)
// axis: front and back alternate each half turn, squeezed by a triangle wave.
void DDBltRotateDepth(DDSURFACEDATA* lpDst, int x, int y, int w, int h, DDSURFACEDATA* lpFront, int fsx, int fsy,
                      DDSURFACEDATA* lpBack, int bsx, int bsy, int nSrcW, int nSrcH, uint32_t dwFlags, int nPhase,
                      int nAxis);
// The picture seen through a circle of `radius` around (cx, cy), cut to the
// half width and height around the source centre, in strips of `strip` rows.
void DDBltCircle(DDSURFACEDATA* lpDst, int cx, int cy, int nHalfW, int nHalfH, int nRadius, int nStrip,
                 DDSURFACEDATA* lpSrc, int scx, int scy, uint32_t dwFlags);
// The w × h picture at (sx, sy) turned by `angle` degrees about (cx, cy)
// (relative to the picture), that centre drawn at (dx, dy). 1 after drawing,
// 0 when a lock failed.
int DDBltRotate(DDSURFACEDATA* lpDst, int dx, int dy, int w, int h, int cx, int cy, int nAngle, DDSURFACEDATA* lpSrc,
                int sx, int sy, uint32_t dwFlags);
// A round lens of `radius` around (cx, cy) showing the source around
// (scx, scy) bulged by `depth`. `bFill` (device, 32 bits) clears the square's
// pixels the lens does not draw. 1 after drawing, 0 when declined or a lock
// failed.
int DDBltLens(DDSURFACEDATA* lpDst, int cx, int cy, int nRadius, int nDepth, DDSURFACEDATA* lpSrc, int scx, int scy,
              uint32_t dwFlags, uint32_t bFill, const DDDRAWSTATE* lpState = nullptr);

namespace fx {
// The processor road of the stretch blit (device mode, when the quad cannot
// be drawn): same-size copies, or nearest scaling with 32-bit float ratios
// and truncation; a negative source width reads the columns right to left
// from sx − 1. Surfaces as the stretch blit resolved them.
void ProcessorStretch(DDSURFACEDATA* lpDst, int dx, int dy, int dw, int dh, DDSURFACEDATA* lpSrc, int sx, int sy,
                      int sw, int sh, uint32_t dwFlags);
}  // namespace fx
