// The 8-bit blend table and palette rotation the screen palettes of 8-bit
// mode are made with.
#pragma once

#include <cstdint>

#include "gfx/dd.h"

// 256 × 256 palette numbers: entry [a][b] shows the half-and-half mix of
// palette colours a and b (8-bit DirectDraw only). One table serves all.
extern uint8_t g_BlendTable[65536];

// Loads a 65,536-byte blend table file into `lpTable`. Direct3D mode: true
// at once. False (the table as it was) when the file cannot be opened or is
// shorter than a whole table.
bool DDLoadBlendTable(uint8_t* lpTable, const char* szPath);

// Copies all 256 entries of `lpSrc` to `lpDst`, rotating first..last by n
// places: direction 0 moves them up (the last n come to the front), 1 down
// (the first n go to the end); other directions only copy. Only at colour
// depths 8, 16 and 32.
void DDRotatePalette(PALETTEENTRY* lpDst, int nFirst, int nLast, int nPlaces, int nDirection, const PALETTEENTRY* lpSrc);
