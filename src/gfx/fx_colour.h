// The colour effects: whole-surface fades and tints, colour change toward a
// palette colour, the half-transparent blit, box blur and mosaic.
//
// The blits share the argument order of the pixel effects (destination,
// its x and y, width, height, the effect's own values, source, its x and y,
// transparency flag, optional draw state) and return 1 after drawing, 0 when
// they declined or a lock failed. Every source read lies inside the source
// surface and every write inside the destination; sizes of 0 or below draw
// nothing.
//
// Colour table: 256 PALETTEENTRY (red, green, blue, fourth byte), the
// palette as 16- and 32-bit colour uses it (DDSetPalette_UnPal): DirectDraw
// holds the display's channel ranges, Direct3D 0..255.
// Blend table: 65,536 palette numbers, [a][b] at a × 256 + b, the 50 % mix of
// palette colours a and b (8-bit colour only; see palette_tools.h). A null
// table makes the 8-bit paths draw nothing.
#pragma once

#include <cstdint>

#include "gfx/dd.h"

// DirectDraw 16/32-bit: every pixel of the destination set to the source
// pixel at the same place mixed with the colour: (c × weight + colour ×
// (256 − weight)) >> 8 on 0..255 channels. Weight 0..256 (clamped). Only the
// area both surfaces cover is touched. Direct3D: logs that it is not
// available there and does nothing.
void DDFade_UnPal(DDSURFACEDATA* lpDstSD, int nWeight, uint8_t bRed, uint8_t bGreen, uint8_t bBlue,
                  DDSURFACEDATA* lpSrcSD);

// Direct3D: the source's texture drawn over the whole destination, modulated
// by the colour with alpha 255 − nAlpha. A surface tinted by itself that has
// no texture (the device back buffer while no virtual back buffer stands in
// for it) gets the same arithmetic on its pixels. DirectDraw: logs that it
// is not available there. x, y, width and height are not used (the whole
// surface is tinted). Returns 1.
int DDChangeColor(DDSURFACEDATA* lpDstSD, int x, int y, int nWidth, int nHeight, DDSURFACEDATA* lpSrcSD, int nAlpha,
                  uint8_t bRed, uint8_t bGreen, uint8_t bBlue);
// DDChangeColor with the destination as its own source.
int DDChangeColorAll(DDSURFACEDATA* lpDstSD, int x, int y, int nWidth, int nHeight, int nAlpha, uint8_t bRed,
                     uint8_t bGreen, uint8_t bBlue);

// Pulls each source pixel toward colour `nPalNum` (0..255) of the colour
// table by `nLevel` halvings (8-bit: repeated blend-table lookups
// [p][nPalNum]). Level ≤ 0 draws nothing and returns 1.
int DDBltColorChange(DDSURFACEDATA* lpDstSD, int dx, int dy, int w, int h, DDSURFACEDATA* lpSrcSD, int sx, int sy,
                     uint32_t dwFlags, const PALETTEENTRY* lpColorTable, const uint8_t* lpBlendTable, int nPalNum,
                     int nLevel, const DDDRAWSTATE* lpState = nullptr);

// The source drawn half-transparently over the destination (8-bit: blend
// table [destination][source]). `nLevel` 0..255 is the transparency of the
// Direct3D quad (alpha 255 − level); the processor paths always mix half and
// half.
int DDBltTranslucent(DDSURFACEDATA* lpDstSD, int dx, int dy, int w, int h, DDSURFACEDATA* lpSrcSD, int sx, int sy,
                     uint32_t dwFlags, const uint8_t* lpBlendTable, int nLevel);
// DDBltTranslucent with level 128.
int DDBltTranslucentHalf(DDSURFACEDATA* lpDstSD, int dx, int dy, int w, int h, DDSURFACEDATA* lpSrcSD, int sx, int sy,
                         uint32_t dwFlags, const uint8_t* lpBlendTable);

// Box blur (16/32-bit): each pixel the mean of the opaque source pixels of
// the window of rows −ry..ry−1 and columns −rx..rx−1 around it, limited to
// the w × h rectangle and to the source surface. rx or ry ≤ 0 draws nothing.
// Source and destination may be one surface (the pass reads what it has
// already written).
int DDBltBlur(DDSURFACEDATA* lpDstSD, int dx, int dy, int w, int h, int rx, int ry, DDSURFACEDATA* lpSrcSD, int sx,
              int sy, uint32_t dwFlags, const DDDRAWSTATE* lpState = nullptr);

// Mosaic: squares of `nSize` dots, each of one colour (8-bit: its top-left
// source pixel; 16/32-bit: the mean of its opaque pixels). nSize ≤ 0 draws
// nothing.
int DDBltMosaic(DDSURFACEDATA* lpDstSD, int dx, int dy, int w, int h, int nSize, DDSURFACEDATA* lpSrcSD, int sx,
                int sy, uint32_t dwFlags, const DDDRAWSTATE* lpState = nullptr);
