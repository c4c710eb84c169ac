// The 8-bit blend table, palette blending and rotation, and the whole-screen
// fades of every mode.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gfx/dd.h"

// The bytes of a blend table (and of its file, "bmp\hbt\hbtNN.dat").
inline constexpr size_t kBlendTableBytes = 65536;

// 256 × 256 palette numbers: entry [a][b] shows the half-and-half mix of
// palette colours a and b (8-bit DirectDraw only). One table serves all.
extern uint8_t g_BlendTable[kBlendTableBytes];

// Loads a blend table file's first 65,536 bytes into `lpTable` (what
// follows them is not read). Direct3D mode: true at once. False (the table
// as it was) when the file cannot be opened or is shorter than a table
// (whose missing rows would mix colours at random).
bool DDLoadBlendTable(uint8_t* lpTable, const char* szPath);
// The table of a blend table file's bytes, its first 65,536; false (the
// table as it was) when there are fewer.
bool DDBlendTableFromBytes(uint8_t* lpTable, const uint8_t* bytes, size_t size);

// Copies all 256 entries of `lpSrc` to `lpDst`, rotating first..last by n
// places: direction 0 moves them up (the last n come to the front), 1 down
// (the first n go to the end); other directions only copy. Only at colour
// depths 8, 16 and 32.
void DDRotatePalette(PALETTEENTRY* lpDst, int nFirst, int nLast, int nPlaces, int nDirection, const PALETTEENTRY* lpSrc);

// Copies entries first..last of `lpSrc` to `lpDst` mixed with the colour:
// channel = (source × weight + colour × (256 − weight)) >> 8, flags
// PC_RESERVED. Weight 256 keeps the source, 0 gives the colour (clamped to
// 0..256). The range is cut to 0..255; a reversed range does nothing.
void DDBlendPalette(PALETTEENTRY* lpDst, int nFirst, int nLast, int nWeight, uint8_t bRed, uint8_t bGreen,
                    uint8_t bBlue, const PALETTEENTRY* lpSrc);

// One frame of a whole-screen fade toward the colour (out) or back from it
// (in); called once a frame until it returns true. The angle (degrees) runs
// 90 → 0 (out) or 0 → 90 (in) by `dStep` a call; the picture's share is
// trunc(sin(angle) × 256) (× 255 in Direct3D mode). 8-bit DirectDraw blends
// the palette entries first..last of `lpSrc` into `lpDst` and sets them on
// the display; deeper DirectDraw displays mix "BackBuffer" from a snapshot
// taken when the fade starts; Direct3D draws a black quad with alpha
// 255 − share over the back buffer. `bFinishNow` jumps to the end picture.
// The call that draws the end picture returns true and resets the angle. A
// step that is not above 0 finishes the fade in one more call.
bool DDFadePaletteOut(PALETTEENTRY* lpDst, int nFirst, int nLast, uint8_t bRed, uint8_t bGreen, uint8_t bBlue,
                      double dStep, const PALETTEENTRY* lpSrc, uint8_t bFinishNow);
bool DDFadePaletteIn(PALETTEENTRY* lpDst, int nFirst, int nLast, uint8_t bRed, uint8_t bGreen, uint8_t bBlue,
                     double dStep, const PALETTEENTRY* lpSrc, uint8_t bFinishNow);

// Direct3D: one frame's picture of those fades, drawn over the whole of
// `lpDstSD`: a black quad with alpha 255 − weight (weight 0..255, the
// picture's share; 255 leaves it as it is). False when nothing could be
// drawn (no Direct3D device, a surface that is not a render target).
bool DDShadeToBlack(DDSURFACEDATA* lpDstSD, int nWeight);
