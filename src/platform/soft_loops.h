// The software device's loops over many pixels, as the device calls them:
// each Pick function hands over the loop compiled for a draw's texture and
// target formats (null where none fits and the device takes its general
// road). Internal to the device.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "platform/soft_pixels.h"

namespace plat::soft {

// Where the rows of texels a quad reads start: a table of one pointer a
// row, or (no table) `first` and each next row `pitch` bytes on (a pitch
// of 0: every row reads the same run).
struct TexelRows {
  const uint8_t* const* table;
  const uint8_t* first;
  ptrdiff_t pitch;
  const uint8_t* operator[](int r) const { return table ? table[r] : first + r * pitch; }
};

// Rows of texels onto rows of a separate target picture: row r reads
// `count` texels from texRows[r] and writes them at out + r × outPitch.
using SelectRectFn = void (*)(const TexelRows&, int, int, uint8_t*, ptrdiff_t, const uint8_t (*)[256]);
// The same, also writing a fill value where no texel lands.
using SelectRectOverFillFn = void (*)(const TexelRows&, int, int, uint8_t*, ptrdiff_t, const uint8_t (*)[256],
                                      uint32_t);
// One pixel run of a triangle: the texel of each pixel at its byte offset
// from the texture's first byte, shaded into `out`.
using GatherRowFn = void (*)(const uint8_t*, const uint32_t*, int, uint8_t*, const uint8_t (*)[256]);
// A run of texels whose stage results are affine in the texel, blended.
using AffineRowFn = void (*)(const uint8_t*, int, uint8_t*, const uint32_t*, const uint32_t*);
// A run of texels at `columns` (or contiguous from columns[0]) shaded onto a row.
using ShadeRowFn = void (*)(const uint8_t*, const int32_t*, int, uint8_t*, const uint8_t (*)[256]);

SelectRectFn PickSelectRect(PixelKind tex, PixelKind out, bool blend);
SelectRectFn PickSelectRectBackwards(PixelKind tex, PixelKind out, bool blend);
SelectRectOverFillFn PickSelectRectOverFill(PixelKind tex, PixelKind out, bool blend);
GatherRowFn PickGatherRow(PixelKind tex, PixelKind out, bool identity, bool blend);
AffineRowFn PickAffineRow(PixelKind tex, PixelKind out);
ShadeRowFn PickShadeRow(PixelKind tex, PixelKind out, bool identity, bool contiguous, bool blend);

// Rows x0..x1 × y0..y1 (inclusive) of one shaded colour; false for a target
// format without a loop of its own.
bool SolidRectFor(PixelKind out, PixelImage& target, int x0, int x1, int y0, int y1, uint32_t c, bool blend);

// A vertex edge on a pixel boundary: n − 0.5 for a whole n, small enough
// that every edge function of the rasteriser is exact in double.
// v − floor(v) == 0.5 with |v| below 2^20, by integer arithmetic (no
// library call for floor on baseline x86-64): there the difference is
// exact, so it holds exactly when twice v is an odd whole number.
inline bool OnPixelEdge(float v) {
  if (!(std::fabs(v) < 1048576.0f)) return false;
  const float twice = v * 2.0f;
  const int32_t whole = static_cast<int32_t>(twice);
  return static_cast<float>(whole) == twice && (whole & 1) != 0;
}

// floor(v) and "v is whole" for |v| below 2^31, by truncation (the callers
// check the range first; the sign of a zero result does not matter to them).
inline double FloorSmall(double v) {
  const double t = static_cast<double>(static_cast<int64_t>(v));
  return t > v ? t - 1.0 : t;
}
inline bool WholeSmall(double v) { return static_cast<double>(static_cast<int64_t>(v)) == v; }

// out[i] = the texel at column columns[i] of `row` (`bytes`: 4 or 2 each).
void GatherTexels(const uint8_t* row, const int32_t* columns, int count, size_t bytes, uint8_t* out);
// out[i] = the texel i places left of column `start` of `row`.
void ReverseTexels(const uint8_t* row, int32_t start, int count, size_t bytes, uint8_t* out);
// out[i] = the texel at byte offset offsets[i] from `bits`.
void GatherTexelsAt(const uint8_t* bits, const uint32_t* offsets, int count, size_t bytes, uint8_t* out);

// The texel index ShadePixel picks for texture coordinate `t` (already
// multiplied by the texture size). False when t lies so close to the
// snapping threshold that the rasteriser's own rounding could decide
// either way; the caller then leaves the quad to the general road.
inline bool TexelIndex(double t, int size, int32_t& index) {
  const double r = std::nearbyint(t);
  const double off = std::fabs(t - r);
  if (std::fabs(off - 1e-4) < 1e-7) return false;
  if (off < 1e-4) t = r;
  index = Wrap(static_cast<int>(std::floor(t)), size);
  return true;
}

// The texel byte offsets of a run of pixels whose 24.40 fixed-point texel
// coordinates (snap already added) start at fu, fv and change by du, dv a
// pixel. A texel is decided when both fractions lie in [lo, hi] and both
// whole parts inside the texture; `undecided` marks the others, and the
// result says whether there were any. No branches, so the compiler
// vectorises the loop.
struct StepRun {
  int64_t fu, fv, du, dv;
  int64_t lo, hi;  // the decided range of fractions
  int64_t width, height;
  uint32_t pitch, bytes;
};
bool StepOffsets(const StepRun& r, int count, uint32_t* offsets, uint8_t* undecided);

}  // namespace plat::soft
