// One-to-one rectangle copies of the colour effects: which destination rows
// and columns have a source pixel inside the source surface, worked out once
// per call so that the pixel loops carry no bound tests.
#pragma once

#include <algorithm>
#include <cstdint>

#include "gfx/fx_frame.h"

namespace fx {

// Destination (dx + i, dy + j) for i < w, j < h takes source column sx + i,
// or sx − 1 − i when sw is negative (a mirrored source: sx is its far
// edge), and row sy + j, or sy − 1 − j when sh is negative.
struct SourceRect {
  int dx = 0, dy = 0, w = 0, h = 0;
  int sx = 0, sy = 0, sw = 0, sh = 0;
};

// Indexes i in [0, n) with `start + i` (or `start − 1 − i` when `mirrored`)
// inside [0, limit), intersected with [first, last).
inline void CutSpan(int start, bool mirrored, int limit, int& first, int& last) {
  long long lo, hi;
  if (mirrored) {
    lo = static_cast<long long>(start) - limit;
    hi = start;
  } else {
    lo = -static_cast<long long>(start);
    hi = static_cast<long long>(limit) - start;
  }
  first = static_cast<int>(std::max<long long>(first, lo));
  last = static_cast<int>(std::min<long long>(last, hi));
  if (last < first) last = first;
}

class RowColumnSpans {
 public:
  RowColumnSpans(const EffectFrame& f, const SourceRect& r) : f_(f), r_(r) {
    bytes_ = f.bits / 8;
    ClipSpan(r.dx, r.w, f.dst.width, col0_, col1_);
    CutSpan(r.sx, r.sw < 0, f.src.width, col0_, col1_);
    ClipSpan(r.dy, r.h, f.dst.height, row0_, row1_);
    CutSpan(r.sy, r.sh < 0, f.src.height, row0_, row1_);
  }
  bool Empty() const { return col0_ >= col1_ || row0_ >= row1_; }
  // fn(out, in, count, step): `out` at the row's first destination pixel,
  // `in` at its source pixel, `step` the bytes from one source pixel to the
  // next (negative when mirrored). Rows run top to bottom, so a copy onto
  // its own surface reads what earlier rows wrote.
  template <typename Fn>
  void ForEach(Fn&& fn) const {
    if (Empty()) return;
    const int count = col1_ - col0_;
    const int step = r_.sw < 0 ? -bytes_ : bytes_;
    const int firstColumn = r_.sw < 0 ? r_.sx - 1 - col0_ : r_.sx + col0_;
    for (int j = row0_; j < row1_; ++j) {
      const int sy = r_.sh < 0 ? r_.sy - 1 - j : r_.sy + j;
      uint8_t* out = f_.dst.Row(r_.dy + j) + static_cast<size_t>(r_.dx + col0_) * bytes_;
      const uint8_t* in = f_.src.Row(sy) + static_cast<ptrdiff_t>(firstColumn) * bytes_;
      fn(out, in, count, step);
    }
  }

 private:
  const EffectFrame& f_;
  SourceRect r_;
  int bytes_ = 1;
  int col0_ = 0, col1_ = 0, row0_ = 0, row1_ = 0;
};

}  // namespace fx
