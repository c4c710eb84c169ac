// Effects that move pixels: the strip effects (built from ordinary blits),
// the rotation blit and the lens.
//
// Positions and sizes are signed 32-bit, but the sums and products the
// effects form (offsets, squared radii, fixed-point products) are worked out
// in 64 bits so that no argument can overflow them; positions handed on to
// the blits are held to ±2^30, far outside any surface.
#include "gfx/fx_geom.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/angles.h"
#include "gfx/fx_frame.h"

namespace {

using i64 = int64_t;

constexpr i64 kFar = i64{1} << 30;
int Pos(i64 v) { return static_cast<int>(std::clamp(v, -kFar, kFar)); }

// A double cut toward zero into 64 bits, held far from the limits.
i64 TruncWide(double v) {
  if (!(v == v)) return 0;
  constexpr double kLimit = 4.0e18;
  return static_cast<i64>(std::clamp(v, -kLimit, kLimit));
}

// trunc(sqrt(n)) of a non-negative integer, exact also where a double root
// would round up to the next integer.
i64 RootTrunc(i64 n) {
  if (n <= 0) return 0;
  i64 r = static_cast<i64>(std::sqrt(static_cast<double>(n)));
  while (r > 0 && r * r > n) --r;
  while ((r + 1) * (r + 1) <= n) ++r;
  return r;
}

i64 FloorDiv(i64 a, i64 b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
i64 CeilDiv(i64 a, i64 b) { return -FloorDiv(-a, b); }

// The steps i in [first, last) of a line x0 + i × step that stay in
// [lo, hi): cuts [first, last) to them.
void KeepWhere(i64 x0, i64 step, i64 lo, i64 hi, i64& first, i64& last) {
  i64 a, b;
  if (step == 0) {
    a = 0;
    b = (lo <= x0 && x0 < hi) ? INT64_MAX : 0;
  } else if (step > 0) {
    a = CeilDiv(lo - x0, step);
    b = CeilDiv(hi - x0, step);
  } else {
    a = FloorDiv(x0 - hi, -step) + 1;
    b = FloorDiv(x0 - lo, -step) + 1;
  }
  first = std::max(first, a);
  last = std::min(last, b);
}

}  // namespace

// ---- strips ----

void DDBltWave(DDSURFACEDATA* lpDst, int x, int y, int w, int h, int nFrequency, double dAmplitude, int nPhase,
               int nStrip, DDSURFACEDATA* lpSrc, int sx, int sy, uint32_t dwFlags, uint32_t bColumns) {
  if (nStrip <= 0 || !lpDst) return;
  const int size = bColumns ? w : h;
  if (size <= 0) return;
  // Strips that start past the destination's far edge draw nothing.
  const i64 start = bColumns ? x : y, edge = bColumns ? lpDst->nWidth : lpDst->nHeight;
  DDBeginBatch(0);
  const double k = nFrequency * kRadiansPerDegree;
  const double step = 360.0 / size;
  double a = 0.0;
  for (i64 p = 0; p < size && start + p < edge; p += nStrip) {
    // The angle grows before its first use (also over strips not drawn).
    a += step * nStrip;
    if (start + p + nStrip <= 0) continue;
    const i64 off = TruncWide(std::sin((nPhase + a) * k) * dAmplitude);
    const int part = static_cast<int>(p + nStrip <= size ? nStrip : size - p);
    if (bColumns)
      DDBlt(lpDst, Pos(x + p), Pos(y + off), part, h, lpSrc, Pos(sx + p), sy, dwFlags);
    else
      DDBlt(lpDst, Pos(x + off), Pos(y + p), w, part, lpSrc, sx, Pos(sy + p), dwFlags);
  }
  DDEndBatch();
}

void DDBltSplit(DDSURFACEDATA* lpDst, int x, int y, int w, int h, int nStrip, int nOffset, DDSURFACEDATA* lpSrc,
                int sx, int sy, uint32_t dwFlags, uint32_t bColumns) {
  if (nStrip == 0) {
    DDBlt(lpDst, x, y, w, h, lpSrc, sx, sy, dwFlags);
    return;
  }
  if (nStrip < 0 || !lpDst) return;
  const i64 n = (bColumns ? w : h) / nStrip;
  if (n <= 0) return;
  // Only strips that can reach the destination are handed on (the strips
  // move across, not along, the direction they are laid out in).
  const i64 start = bColumns ? x : y, edge = bColumns ? lpDst->nWidth : lpDst->nHeight;
  const i64 lo = std::max<i64>(0, -start / nStrip - 1), hi = std::min<i64>(n, (edge - start) / nStrip + 1);
  DDBeginBatch(0);
  // The odd strips first (moved back by the offset), then the even ones.
  for (int parity = 1; parity >= 0; --parity) {
    const i64 shift = parity ? -i64{nOffset} : i64{nOffset};
    for (i64 i = lo + ((lo & 1) != parity); i < hi; i += 2) {
      const i64 at = i * nStrip;
      if (bColumns)
        DDBlt(lpDst, Pos(x + at), Pos(y + shift), nStrip, h, lpSrc, Pos(sx + at), sy, dwFlags);
      else
        DDBlt(lpDst, Pos(x + shift), Pos(y + at), w, nStrip, lpSrc, sx, Pos(sy + at), dwFlags);
    }
  }
  DDEndBatch();
}

void DDBltBurst(DDSURFACEDATA* lpDst, int x, int y, int w, int h, DDSURFACEDATA* lpSrc, int sx, int sy, int nOffset,
                uint32_t dwFlags) {
  const int hw = w >> 1, hh = h >> 1;
  const i64 o = nOffset;
  DDBeginBatch(0);
  DDBlt(lpDst, Pos(x - o), Pos(y - o), hw, hh, lpSrc, sx, sy, dwFlags);
  DDBlt(lpDst, Pos(x + i64{hw} + o), Pos(y - o), hw, hh, lpSrc, Pos(i64{sx} + hw), sy, dwFlags);
  DDBlt(lpDst, Pos(x - o), Pos(y + i64{hh} + o), hw, hh, lpSrc, sx, Pos(i64{sy} + hh), dwFlags);
  DDBlt(lpDst, Pos(x + i64{hw} + o), Pos(y + i64{hh} + o), hw, hh, lpSrc, Pos(i64{sx} + hw), Pos(i64{sy} + hh),
        dwFlags);
  DDEndBatch();
}

void DDBltRotateDepth(DDSURFACEDATA* lpDst, int x, int y, int w, int h, DDSURFACEDATA* lpFront, int fsx, int fsy,
                      DDSURFACEDATA* lpBack, int bsx, int bsy, int nSrcW, int nSrcH, uint32_t dwFlags, int nPhase,
                      int nAxis) {
  if (nAxis != 0 && nAxis != 1) return;
  const int size = nAxis == 0 ? w : h;
  if (size <= 0) return;
  const i64 half = size >> 1;
  i64 inset = 0;
  bool back = false;
  // A picture one pixel across cannot narrow: it shows its front unmoved.
  if (half > 0) {
    const i64 q = nPhase / half, m = nPhase % half;
    inset = (q % 2 == 0) ? m : half - m - 1;  // a triangle wave between 0 and half − 1
    back = ((half + nPhase) / size) % 2 != 0;
  }
  DDSURFACEDATA* pic = back ? lpBack : lpFront;
  const int psx = back ? bsx : fsx, psy = back ? bsy : fsy;
  const int squeezed = Pos(size - 2 * inset);
  if (nAxis == 0)
    DDBltStretch(lpDst, Pos(x + inset), y, squeezed, h, pic, psx, psy, nSrcW, nSrcH, dwFlags);
  else
    DDBltStretch(lpDst, x, Pos(y + inset), w, squeezed, pic, psx, psy, nSrcW, nSrcH, dwFlags);
}

void DDBltCircle(DDSURFACEDATA* lpDst, int cx, int cy, int nHalfW, int nHalfH, int nRadius, int nStrip,
                 DDSURFACEDATA* lpSrc, int scx, int scy, uint32_t dwFlags) {
  if (nRadius < 1 || nStrip < 1 || !lpDst || !lpSrc) return;
  DDSubstituteMirror(&lpDst);
  DDSubstituteMirror(&lpSrc);
  const i64 r = nRadius, s = nStrip, halfH = nHalfH;
  const i64 left = std::max<i64>(0, i64{scx} - nHalfW);
  const i64 right = std::min<i64>(i64{scx} + nHalfW, lpSrc->nWidth);
  const i64 dstH = lpDst->nHeight;
  auto draw = [&](i64 t, i64 c, i64 rows) {
    i64 chord = RootTrunc(r * r - c * c);
    if (chord >= r) chord = r - 1;
    i64 srcX = scx - chord, width = 2 * chord, dstX = cx - chord;
    if (srcX < left) {
      dstX += left - srcX;
      width -= left - srcX;
      srcX = left;
    }
    if (srcX + width >= right) width = right - srcX;
    const int wd = Pos(width), ht = static_cast<int>(rows);
    if (lpDTCon)
      DDBltStretch(lpDst, Pos(dstX), Pos(cy + t), wd, ht, lpSrc, Pos(srcX), Pos(scy + t), wd, ht, dwFlags);
    else
      DDBlt(lpDst, Pos(dstX), Pos(cy + t), wd, ht, lpSrc, Pos(srcX), Pos(scy + t), dwFlags);
  };
  // Strips are taken top down (t falls by the strip height). Strips wholly
  // below or above the destination draw nothing, so the walk jumps over
  // them: a huge radius or half height costs no more than the screen.
  auto jumpBelow = [&](i64 t, i64 limit) {  // first t of the walk below `limit`
    return t < limit ? t : t - ((t - limit) / s + 1) * s;
  };
  DDBeginBatch(0);
  if (s > 1) {
    i64 t = jumpBelow(r - s, halfH);  // rows at or past the half height are skipped
    bool first = true;
    while (t >= -r) {
      if (t + s <= -halfH) break;
      if (t + s > halfH) {
        t = halfH - s;
      } else if (t < -halfH) {
        t = -halfH;
      } else if (!first) {
        if (cy + t >= dstH) {
          t = jumpBelow(t, dstH - cy);
          continue;
        }
        if (cy + t + s <= 0) break;
      }
      first = false;
      draw(t, t + (s >> 1), s);
      t -= s;
    }
  } else {
    for (i64 t = std::min(r - 1, halfH - 1); t >= -r; --t) {
      if (t < -halfH || cy + t < 0) break;
      if (cy + t >= dstH) {
        t = dstH - cy;  // the next row is the lowest one inside
        continue;
      }
      draw(t, t, 1);
    }
  }
  DDEndBatch();
}

// ---- rotation ----

namespace {

bool Fits32(i64 v) { return v >= INT32_MIN && v <= INT32_MAX; }

// One run of a turned picture's pixels, all inside the picture and the
// source: source point (xs, ys) in 10-bit fixed point, stepping by (c1, s1)
// a pixel; picture column (xs >> 10) + cx, read at colBase + colStep × it
// (rows likewise). Sums wrap in 32 bits on the way; every pixel's own
// column and row lie inside the source, so its byte position is right.
struct RotateRun {
  const uint8_t* src = nullptr;
  int32_t pitch = 0;
  int32_t xs = 0, ys = 0, c1 = 0, s1 = 0, cx = 0, cy = 0;
  int32_t colBase = 0, colStep = 1, rowBase = 0, rowStep = 1;
  uint32_t keyMask = 0, keyValue = 0;
};

#if defined(__GNUC__) && defined(__x86_64__)
// Eight pixels to a register, read by one gather; 16-bit pixels are read
// from the aligned four bytes that hold them (never past the picture, whose
// rows are padded to four bytes) and the right half taken. Returns how
// many pixels it drew (a multiple of eight).
template <typename P, bool kKeyed>
__attribute__((target("avx2"))) int RotateRunWide(const RotateRun& r, int count, uint8_t* out) {
  const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i c1 = _mm256_set1_epi32(r.c1), s1 = _mm256_set1_epi32(r.s1);
  const __m256i c8 = _mm256_set1_epi32(r.c1 * 8), s8 = _mm256_set1_epi32(r.s1 * 8);
  __m256i xs = _mm256_add_epi32(_mm256_set1_epi32(r.xs), _mm256_mullo_epi32(lane, c1));
  __m256i ys = _mm256_add_epi32(_mm256_set1_epi32(r.ys), _mm256_mullo_epi32(lane, s1));
  const __m256i cx = _mm256_set1_epi32(r.cx), cy = _mm256_set1_epi32(r.cy);
  const __m256i colBase = _mm256_set1_epi32(r.colBase), rowBase = _mm256_set1_epi32(r.rowBase);
  const __m256i pitch = _mm256_set1_epi32(r.pitch);
  const __m256i km = _mm256_set1_epi32(static_cast<int>(r.keyMask)), kv = _mm256_set1_epi32(static_cast<int>(r.keyValue));
  const int* base = reinterpret_cast<const int*>(r.src);
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    __m256i col = _mm256_add_epi32(_mm256_srai_epi32(xs, 10), cx);
    __m256i line = _mm256_add_epi32(_mm256_srai_epi32(ys, 10), cy);
    col = r.colStep < 0 ? _mm256_sub_epi32(colBase, col) : _mm256_add_epi32(colBase, col);
    line = r.rowStep < 0 ? _mm256_sub_epi32(rowBase, line) : _mm256_add_epi32(rowBase, line);
    const __m256i rowAt = _mm256_mullo_epi32(line, pitch);
    __m256i p;
    if constexpr (sizeof(P) == 4) {
      p = _mm256_i32gather_epi32(base, _mm256_add_epi32(rowAt, _mm256_slli_epi32(col, 2)), 1);
    } else {
      const __m256i at = _mm256_add_epi32(rowAt, _mm256_add_epi32(col, col));
      const __m256i word = _mm256_i32gather_epi32(base, _mm256_andnot_si256(_mm256_set1_epi32(3), at), 1);
      const __m256i shift = _mm256_slli_epi32(_mm256_and_si256(at, _mm256_set1_epi32(2)), 3);
      p = _mm256_and_si256(_mm256_srlv_epi32(word, shift), _mm256_set1_epi32(0xFFFF));
    }
    uint8_t* o = out + static_cast<size_t>(i) * sizeof(P);
    if constexpr (sizeof(P) == 4) {
      if constexpr (kKeyed) {
        const __m256i hole = _mm256_cmpeq_epi32(_mm256_and_si256(p, km), kv);
        p = _mm256_blendv_epi8(p, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(o)), hole);
      }
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), p);
    } else {
      if constexpr (kKeyed) {
        const __m256i old = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(o)));
        const __m256i hole = _mm256_cmpeq_epi32(_mm256_and_si256(p, km), kv);
        p = _mm256_blendv_epi8(p, old, hole);
      }
      const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(p, p), 0x08);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(packed));
    }
    xs = _mm256_add_epi32(xs, c8), ys = _mm256_add_epi32(ys, s8);
  }
  return i;
}
const bool g_wideRotate = __builtin_cpu_supports("avx2");
#else
template <typename P, bool kKeyed>
int RotateRunWide(const RotateRun&, int, uint8_t*) {
  return 0;
}
const bool g_wideRotate = false;
#endif

}  // namespace

int DDBltRotate(DDSURFACEDATA* lpDst, int dx, int dy, int w, int h, int cx, int cy, int nAngle, DDSURFACEDATA* lpSrc,
                int sx, int sy, uint32_t dwFlags) {
  if (!lpDst || !lpSrc || w <= 0 || h <= 0) return 0;
  const double rad = nAngle * kRadiansPerDegreeShort;
  int sw = w, sh = h;
  if (lpDTCon) {
    DDMirrorSourceRect(lpSrc, &sx, &sy, &sw, &sh);
    DDSURFACEDATA* d = lpDst;
    DDSURFACEDATA* s = lpSrc;
    fx::ResolveDeviceSurfaces(&d, &s);
    if (fx::UseQuadPath(d, s)) {
      if (!s->lpDT->lpTexture || s->nTexWidth <= 0 || s->nTexHeight <= 0) return 0;
      const float sn = static_cast<float>(std::sin(rad)), cs = static_cast<float>(std::cos(rad));
      const float ox = static_cast<float>(i64{cx} - (w >> 1)), oy = static_cast<float>(i64{cy} - (h >> 1));
      const float tw = static_cast<float>(s->nTexWidth), th = static_cast<float>(s->nTexHeight);
      const uint32_t diffuse = lpDTCon->dwDrawColor;
      plat::QuadVertex v[4];
      const int corners[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
      for (int i = 0; i < 4; ++i) {
        const float px = static_cast<float>(corners[i][0] ? w : 0), py = static_cast<float>(corners[i][1] ? h : 0);
        const float rx = px - static_cast<float>(cx), ry = py - static_cast<float>(cy);
        v[i].x = rx * cs - ry * sn + ox + static_cast<float>(dx) - 0.5f;
        v[i].y = rx * sn + ry * cs + oy + static_cast<float>(dy) - 0.5f;
        v[i].z = 0.0f;
        v[i].rhw = 1.0f;
        v[i].diffuse = diffuse;
        v[i].u = static_cast<float>(i64{sx} + (corners[i][0] ? sw : 0)) / tw;
        v[i].v = static_cast<float>(i64{sy} + (corners[i][1] ? sh : 0)) / th;
      }
      // A turned picture reaching past ±2^24 pixels is beyond any texture
      // and the float positions' whole-pixel precision: nothing is drawn.
      for (const plat::QuadVertex& corner : v)
        if (!(std::fabs(corner.x) < 16777216.0f && std::fabs(corner.y) < 16777216.0f)) return 0;
      fx::QuadStage stage;
      stage.colorOp = lpDTCon->dwColorOp;
      stage.alphaOp = lpDTCon->dwAlphaOp;
      return fx::DrawQuad(d, s, v, stage) ? 1 : 0;
    }
  }
  // The processor maps every destination pixel back into the picture with
  // sine and cosine in 10-bit fixed point.
  const i64 s0 = static_cast<i64>(std::sin(rad) * 1024.0), c0 = static_cast<i64>(std::cos(rad) * 1024.0);
  const i64 s1 = static_cast<i64>(std::sin(-rad) * 1024.0), c1 = static_cast<i64>(std::cos(-rad) * 1024.0);
  i64 minX = INT64_MAX, maxX = INT64_MIN, minY = INT64_MAX, maxY = INT64_MIN;
  for (const i64 u : {-i64{cx}, i64{w} - cx - 1})
    for (const i64 v : {-i64{cy}, i64{h} - cy - 1}) {
      const i64 fxp = ((u * c0 - v * s0) >> 10) + cx, fyp = ((u * s0 + v * c0) >> 10) + cy;
      minX = std::min(minX, fxp);
      maxX = std::max(maxX, fxp);
      minY = std::min(minY, fyp);
      maxY = std::max(maxY, fyp);
    }
  // A mirrored device source (negative size) is read right to left from
  // its far edge, as the quad draws it.
  const i64 colBase = sw < 0 ? i64{sx} - 1 : sx, colStep = sw < 0 ? -1 : 1;
  const i64 rowBase = sh < 0 ? i64{sy} - 1 : sy, rowStep = sh < 0 ? -1 : 1;
  return fx::RunEffect(lpDst, lpSrc, dwFlags == 1, fx::KeyRule::ColourKey,
                       [&]<typename D, bool kKeyed>(const fx::EffectFrame& f) {
    using P = typename D::Pixel;
    // Picture columns (and rows) whose pixel lies inside the source.
    const i64 xLo = std::max<i64>(0, sw < 0 ? colBase - (f.src.width - 1) : -colBase);
    const i64 xHi = std::min<i64>(w, sw < 0 ? colBase + 1 : f.src.width - colBase);
    const i64 yLo = std::max<i64>(0, sh < 0 ? rowBase - (f.src.height - 1) : -rowBase);
    const i64 yHi = std::min<i64>(h, sh < 0 ? rowBase + 1 : f.src.height - rowBase);
    if (xLo >= xHi || yLo >= yHi) return;
    // The scan box cut to the destination.
    const i64 q0 = std::max(minX - 2, i64{cx} - dx), q1 = std::min(maxX + 2, i64{cx} - dx + f.dst.width);
    const i64 r0 = std::max(minY - 2, i64{cy} - dy), r1 = std::min(maxY + 2, i64{cy} - dy + f.dst.height);
    for (i64 row = r0; row < r1; ++row) {
      const i64 v = row - cy;
      uint8_t* out = f.dst.Row(static_cast<int>(dy + v));
      const i64 xs0 = (q0 - cx) * c1 - v * s1, ys0 = (q0 - cx) * s1 + v * c1;
      // The source point moves along a line: the columns where it lies in
      // the picture and the source are one run, found without a test per
      // pixel ((xs >> 10) + cx in [xLo, xHi) ⇔ xs in [(xLo − cx) × 1024,
      // (xHi − cx) × 1024)).
      i64 first = 0, last = q1 - q0;
      KeepWhere(xs0, c1, (xLo - cx) * 1024, (xHi - cx) * 1024, first, last);
      KeepWhere(ys0, s1, (yLo - cy) * 1024, (yHi - cy) * 1024, first, last);
      i64 xs = xs0 + first * c1, ys = ys0 + first * s1;
      if constexpr (!D::kIndexed) {
        // Eight at a time where every value of the run fits in 32 bits (a
        // picture turned onto itself reads pixels as the run writes them,
        // one at a time).
        const i64 xsEnd = xs + (last - first) * c1, ysEnd = ys + (last - first) * s1;
        if (g_wideRotate && last - first >= 8 && !f.flipBack && !f.sameSurface && Fits32(xs) && Fits32(xsEnd) && Fits32(ys) &&
            Fits32(ysEnd)) {
          RotateRun run;
          run.src = f.src.bits;
          run.pitch = f.src.pitch;
          run.xs = static_cast<int32_t>(xs), run.ys = static_cast<int32_t>(ys);
          run.c1 = static_cast<int32_t>(c1), run.s1 = static_cast<int32_t>(s1);
          run.cx = cx, run.cy = cy;
          run.colBase = static_cast<int32_t>(colBase), run.colStep = static_cast<int32_t>(colStep);
          run.rowBase = static_cast<int32_t>(rowBase), run.rowStep = static_cast<int32_t>(rowStep);
          run.keyMask = f.keyMask, run.keyValue = f.keyValue;
          const i64 done = RotateRunWide<P, kKeyed>(run, static_cast<int>(last - first),
                                                    out + static_cast<size_t>(dx + q0 + first - cx) * sizeof(P));
          first += done, xs += done * c1, ys += done * s1;
        }
      }
      for (i64 i = first; i < last; ++i, xs += c1, ys += s1) {
        const i64 col = colBase + colStep * ((xs >> 10) + cx), line = rowBase + rowStep * ((ys >> 10) + cy);
        const uint32_t p = fx::Plane::Load<P>(f.src.Row(static_cast<int>(line)), static_cast<int>(col));
        if constexpr (kKeyed) {
          if (f.Transparent(p)) continue;
        }
        f.template Put<D>(out, static_cast<int>(dx + q0 + i - cx), p);
      }
    }
  });
}

// ---- lens ----

namespace {

// For k in [0, n): the lens's quotients of the column offset k0 + k and of
// the row offset y over q = √rest[k]: vx[k] = vx[k] / q (vx arrives holding
// (k0 + k) × depth) and vy[k] = y × depth / q; not-a-number where q is 0
// (the point then reads its own offset). Correctly rounded roots and
// quotients, two or four at a time.
void LensQuotientsPlain(const double* rest, double* vx, double* vy, double yd, size_t n) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128d nan = _mm_set1_pd(NAN), ydv = _mm_set1_pd(yd);
  for (; i + 2 <= n; i += 2) {
    const __m128d q = _mm_sqrt_pd(_mm_loadu_pd(rest + i));
    const __m128d zero = _mm_cmpeq_pd(q, _mm_setzero_pd());
    const __m128d x = _mm_div_pd(_mm_loadu_pd(vx + i), q), y = _mm_div_pd(ydv, q);
    _mm_storeu_pd(vx + i, _mm_or_pd(_mm_and_pd(zero, nan), _mm_andnot_pd(zero, x)));
    _mm_storeu_pd(vy + i, _mm_or_pd(_mm_and_pd(zero, nan), _mm_andnot_pd(zero, y)));
  }
#endif
  for (; i < n; ++i) {
    const double q = std::sqrt(rest[i]);
    vx[i] = q != 0.0 ? vx[i] / q : NAN;
    vy[i] = q != 0.0 ? yd / q : NAN;
  }
}

#if defined(__GNUC__) && defined(__x86_64__)
#define PELMORA_FX_WIDE __attribute__((target("avx2")))
#define PELMORA_FX_INLINE inline __attribute__((always_inline))
__attribute__((target("avx2"))) void LensQuotientsWide(const double* rest, double* vx, double* vy, double yd,
                                                       size_t n) {
  size_t i = 0;
  const __m256d nan = _mm256_set1_pd(NAN), ydv = _mm256_set1_pd(yd);
  for (; i + 4 <= n; i += 4) {
    const __m256d q = _mm256_sqrt_pd(_mm256_loadu_pd(rest + i));
    const __m256d zero = _mm256_cmp_pd(q, _mm256_setzero_pd(), _CMP_EQ_OQ);
    const __m256d x = _mm256_div_pd(_mm256_loadu_pd(vx + i), q), y = _mm256_div_pd(ydv, q);
    _mm256_storeu_pd(vx + i, _mm256_blendv_pd(x, nan, zero));
    _mm256_storeu_pd(vy + i, _mm256_blendv_pd(y, nan, zero));
  }
  LensQuotientsPlain(rest + i, vx + i, vy + i, yd, n - i);
}
const bool g_wideLens = __builtin_cpu_supports("avx2");
#else
void LensQuotientsWide(const double* rest, double* vx, double* vy, double yd, size_t n) {
  LensQuotientsPlain(rest, vx, vy, yd, n);
}
const bool g_wideLens = false;
#define PELMORA_FX_WIDE
#define PELMORA_FX_INLINE inline
#endif

// Where a run of lens pixels reads: the source's pitch and pixel size in
// bytes, the lens centre on the source, and the source's size.
struct LensSource {
  i64 pitch = 0, bytes = 0, scx = 0, scy = 0, width = 0, height = 0;
};

struct LensSource;
size_t LensPlaceWide(const double* vx, const double* vy, size_t n, i64 lo, i64 y, const LensSource& s,
                     std::vector<int32_t> (&at)[4]);

// The source bytes a lens row pair reads: columns ±k and rows ±y share the
// root and, up to sign, the quotients (a division of a negated value is the
// negated division), so each |k| is worked out once. The source offset of a
// pixel is truncate(v + 0.5) of its signed quotient, or the pixel's own
// offset where the root is 0; `at` holds the byte position of that source
// pixel, or −1 where it lies outside the source (a surface holds less
// than 2^31 bytes).
struct LensOffsets {
  std::vector<double> rest, vx, vy;
  // Byte positions for (+k, +y), (−k, +y), (+k, −y), (−k, −y).
  std::vector<int32_t> at[4];
  i64 kLo = 0;

  void Work(i64 y, i64 lo, i64 hi, i64 depth, i64 R2, const LensSource& s) {
    kLo = lo;
    const size_t n = static_cast<size_t>(hi - lo + 1);
    rest.resize(n), vx.resize(n), vy.resize(n);
    for (std::vector<int32_t>& v : at) v.resize(n);
    const i64 yy = y * y;
    for (size_t i = 0; i < n; ++i) {
      const i64 k = lo + static_cast<i64>(i);
      rest[i] = static_cast<double>(R2 - (k * k + yy));
      vx[i] = static_cast<double>(k * depth);
    }
    (g_wideLens ? LensQuotientsWide : LensQuotientsPlain)(rest.data(), vx.data(), vy.data(),
                                                          static_cast<double>(y * depth), n);
    size_t i = g_wideLens ? LensPlaceWide(vx.data(), vy.data(), n, lo, y, s, at) : 0;
    auto place = [&s](i64 mx, i64 my) -> int32_t {
      const i64 px = s.scx + mx, py = s.scy + my;
      return px >= 0 && px < s.width && py >= 0 && py < s.height ? static_cast<int32_t>(py * s.pitch + px * s.bytes)
                                                                 : -1;
    };
    for (; i < n; ++i) {
      const i64 k = lo + static_cast<i64>(i);
      i64 right = k, left = -k, down = y, up = -y;
      if (vy[i] == vy[i]) {
        right = static_cast<i64>(vx[i] + 0.5), left = static_cast<i64>(-vx[i] + 0.5);
        down = static_cast<i64>(vy[i] + 0.5), up = static_cast<i64>(-vy[i] + 0.5);
      }
      at[0][i] = place(right, down), at[1][i] = place(left, down);
      at[2][i] = place(right, up), at[3][i] = place(left, up);
    }
  }
};

// LensOffsets::Work's placing, four offsets at a time in doubles (exact:
// whole numbers, and wherever one is too large for that it lies far
// outside the source either way); returns how many it placed, a multiple of
// four.
#if defined(__GNUC__) && defined(__x86_64__)
#define PELMORA_AVX2_INLINE inline __attribute__((target("avx2"), always_inline))
PELMORA_AVX2_INLINE __m256d TruncWide(__m256d v) { return _mm256_round_pd(v, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC); }

// Byte positions of the points (scx + mx, scy + my) of the source, or −1.
PELMORA_AVX2_INLINE __m128i PlaceWide(__m256d mx, __m256d my, __m256d scx, __m256d scy, __m256d w, __m256d h,
                                      __m256d pitch, __m256d bytes) {
  const __m256d zero = _mm256_setzero_pd();
  const __m256d px = _mm256_add_pd(scx, mx), py = _mm256_add_pd(scy, my);
  const __m256d in = _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(px, zero, _CMP_GE_OQ), _mm256_cmp_pd(px, w, _CMP_LT_OQ)),
                                   _mm256_and_pd(_mm256_cmp_pd(py, zero, _CMP_GE_OQ), _mm256_cmp_pd(py, h, _CMP_LT_OQ)));
  // Outside points become −1.0 before the conversion.
  const __m256d pos = _mm256_blendv_pd(_mm256_set1_pd(-1.0), _mm256_add_pd(_mm256_mul_pd(py, pitch), _mm256_mul_pd(px, bytes)), in);
  return _mm256_cvttpd_epi32(pos);
}

__attribute__((target("avx2"))) size_t LensPlaceWide(const double* vx, const double* vy, size_t n, i64 lo, i64 y,
                                                     const LensSource& s, std::vector<int32_t> (&at)[4]) {
  const __m256d half = _mm256_set1_pd(0.5), zero = _mm256_setzero_pd(), step = _mm256_set_pd(3, 2, 1, 0);
  const __m256d w = _mm256_set1_pd(static_cast<double>(s.width)), h = _mm256_set1_pd(static_cast<double>(s.height));
  const __m256d scx = _mm256_set1_pd(static_cast<double>(s.scx)), scy = _mm256_set1_pd(static_cast<double>(s.scy));
  const __m256d pitch = _mm256_set1_pd(static_cast<double>(s.pitch)), bytes = _mm256_set1_pd(static_cast<double>(s.bytes));
  const __m256d yd = _mm256_set1_pd(static_cast<double>(y)), nyd = _mm256_set1_pd(-static_cast<double>(y));
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m256d x = _mm256_loadu_pd(vx + i), v = _mm256_loadu_pd(vy + i);
    const __m256d nan = _mm256_cmp_pd(v, v, _CMP_UNORD_Q);
    const __m256d k = _mm256_add_pd(_mm256_set1_pd(static_cast<double>(lo + static_cast<i64>(i))), step);
    const __m256d nk = _mm256_sub_pd(zero, k);
    const __m256d right = _mm256_blendv_pd(TruncWide(_mm256_add_pd(x, half)), k, nan);
    const __m256d left = _mm256_blendv_pd(TruncWide(_mm256_add_pd(_mm256_sub_pd(zero, x), half)), nk, nan);
    const __m256d down = _mm256_blendv_pd(TruncWide(_mm256_add_pd(v, half)), yd, nan);
    const __m256d up = _mm256_blendv_pd(TruncWide(_mm256_add_pd(_mm256_sub_pd(zero, v), half)), nyd, nan);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at[0].data() + i), PlaceWide(right, down, scx, scy, w, h, pitch, bytes));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at[1].data() + i), PlaceWide(left, down, scx, scy, w, h, pitch, bytes));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at[2].data() + i), PlaceWide(right, up, scx, scy, w, h, pitch, bytes));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at[3].data() + i), PlaceWide(left, up, scx, scy, w, h, pitch, bytes));
  }
  return i;
}
#else
size_t LensPlaceWide(const double*, const double*, size_t, i64, i64, const LensSource&, std::vector<int32_t> (&)[4]) {
  return 0;
}
#endif

// What a run of lens pixels needs, copied into the run's own locals so
// that its stores (through byte pointers, which may point anywhere) do not
// make the compiler fetch them again for every pixel.
struct LensRunFrame {
  const uint8_t* src = nullptr;
  i64 cx = 0;
  uint32_t keyMask = 0, keyValue = 0;
  bool direct3d = false, flipBack = false, fill = false;
  // Destination and source are separate pictures: pixels may be read ahead
  // of the writes (a lens onto its own source reads each as it comes).
  bool apart = true;
  fx::AddColour add;
};

// Destination columns x = from..to of a row at `out`, reading the source
// byte at[sign × x − kLo]. Without branches: a pixel whose source point
// lies outside reads the source's first pixel instead and discards it, and
// a pixel not drawn gets back what it held (or 0 when filling).
template <typename D, bool kKeyed>
PELMORA_FX_INLINE void LensRunBody(const LensRunFrame& frame, uint8_t* out, i64 from, i64 to, const int32_t* at,
                                   i64 sign, i64 kLo) {
  using P = typename D::Pixel;
  const LensRunFrame r = frame;
  for (i64 x = from; x <= to; ++x) {
    const int32_t pos = at[sign * x - kLo];
    const bool inside = pos >= 0;
    P v;
    std::memcpy(&v, r.src + (inside ? pos : 0), sizeof v);
    uint32_t p = v;
    const bool drawn = inside && !(kKeyed && (p & r.keyMask) == r.keyValue);
    if (r.direct3d) p = fx::ApplyAdd<D>(p, r.add);
    if constexpr (D::kBits == 16) {
      if (r.flipBack) p = ((p & 0x7FE0u) << 1) | (p & 0x1Fu);  // 555 to 565: green widened by one bit
    }
    uint8_t* const target = out + static_cast<size_t>(r.cx + x) * sizeof(P);
    P old;
    std::memcpy(&old, target, sizeof old);
    const P kept = r.fill ? static_cast<P>(0) : old;
    const P put = drawn ? static_cast<P>(p) : kept;
    std::memcpy(target, &put, sizeof put);
  }
}

template <typename D, bool kKeyed>
void LensRunPlain(const LensRunFrame& frame, uint8_t* out, i64 from, i64 to, const int32_t* at, i64 sign, i64 kLo) {
  LensRunBody<D, kKeyed>(frame, out, from, to, at, sign, kLo);
}

#if defined(__GNUC__) && defined(__x86_64__)
// LensRunBody eight pixels a step: the source pixels read by one gather
// (16-bit ones from the aligned four bytes that hold them, never past the
// source, whose rows are padded to four bytes), then the same selects.
template <typename D, bool kKeyed>
__attribute__((target("avx2"))) void LensRunWide(const LensRunFrame& frame, uint8_t* out, i64 from, i64 to,
                                                 const int32_t* at, i64 sign, i64 kLo) {
  using P = typename D::Pixel;
  const LensRunFrame r = frame;
  const int* base = reinterpret_cast<const int*>(r.src);
  const __m256i minusOne = _mm256_set1_epi32(-1), reverse = _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0);
  const __m256i km = _mm256_set1_epi32(static_cast<int>(r.keyMask)), kv = _mm256_set1_epi32(static_cast<int>(r.keyValue));
  const bool adding = r.direct3d && r.add.on;
  const __m256i addR = _mm256_set1_epi32(static_cast<int>(r.add.r)), addG = _mm256_set1_epi32(static_cast<int>(r.add.g));
  const __m256i addB = _mm256_set1_epi32(static_cast<int>(r.add.b));
  i64 x = from;
  for (; x + 8 <= to + 1; x += 8) {
    // The positions of x .. x + 7 (read backwards left of the centre).
    __m256i pos;
    if (sign > 0) {
      pos = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + (x - kLo)));
    } else {
      pos = _mm256_permutevar8x32_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + (-(x + 7) - kLo))), reverse);
    }
    const __m256i inside = _mm256_cmpgt_epi32(pos, minusOne);
    const __m256i safe = _mm256_and_si256(pos, inside);
    __m256i p;
    if constexpr (sizeof(P) == 4) {
      p = _mm256_i32gather_epi32(base, safe, 1);
    } else {
      const __m256i word = _mm256_i32gather_epi32(base, _mm256_andnot_si256(_mm256_set1_epi32(3), safe), 1);
      p = _mm256_and_si256(_mm256_srlv_epi32(word, _mm256_slli_epi32(_mm256_and_si256(safe, _mm256_set1_epi32(2)), 3)),
                           _mm256_set1_epi32(0xFFFF));
    }
    __m256i drawn = inside;
    if constexpr (kKeyed) drawn = _mm256_andnot_si256(_mm256_cmpeq_epi32(_mm256_and_si256(p, km), kv), drawn);
    if (adding) {
      // Each channel with the state's part added, at most its top.
      auto channel = [&](int shift, uint32_t top, __m256i v) __attribute__((target("avx2"), always_inline)) {
        const __m256i c = _mm256_and_si256(_mm256_srli_epi32(p, shift), _mm256_set1_epi32(static_cast<int>(top)));
        return _mm256_slli_epi32(_mm256_min_epu32(_mm256_add_epi32(c, v), _mm256_set1_epi32(static_cast<int>(top))), shift);
      };
      const __m256i rgb = _mm256_set1_epi32(static_cast<int>(D::kRgbMask));
      p = _mm256_or_si256(_mm256_andnot_si256(rgb, p),
                          _mm256_or_si256(channel(D::kRShift, D::kRMax, addR),
                                          _mm256_or_si256(channel(D::kGShift, D::kGMax, addG), channel(D::kBShift, D::kBMax, addB))));
    }
    if constexpr (D::kBits == 16) {
      if (r.flipBack)
        p = _mm256_or_si256(_mm256_slli_epi32(_mm256_and_si256(p, _mm256_set1_epi32(0x7FE0)), 1),
                            _mm256_and_si256(p, _mm256_set1_epi32(0x1F)));  // 555 to 565: green widened by one bit
    }
    uint8_t* const target = out + static_cast<size_t>(r.cx + x) * sizeof(P);
    if constexpr (sizeof(P) == 4) {
      const __m256i old = r.fill ? _mm256_setzero_si256() : _mm256_loadu_si256(reinterpret_cast<const __m256i*>(target));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(target), _mm256_blendv_epi8(old, p, drawn));
    } else {
      const __m256i old = r.fill ? _mm256_setzero_si256()
                                 : _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(target)));
      const __m256i v = _mm256_blendv_epi8(old, p, drawn);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(target),
                       _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi32(v, v), 0x08)));
    }
  }
  if (x <= to) LensRunBody<D, kKeyed>(frame, out, x, to, at, sign, kLo);
}
#else
template <typename D, bool kKeyed>
void LensRunWide(const LensRunFrame& frame, uint8_t* out, i64 from, i64 to, const int32_t* at, i64 sign, i64 kLo) {
  LensRunBody<D, kKeyed>(frame, out, from, to, at, sign, kLo);
}
#endif

template <typename D, bool kKeyed>
void LensRun(const LensRunFrame& frame, uint8_t* out, i64 from, i64 to, const int32_t* at, i64 sign, i64 kLo) {
  if constexpr (D::kIndexed) LensRunPlain<D, kKeyed>(frame, out, from, to, at, sign, kLo);
  else (g_wideLens && frame.apart ? LensRunWide<D, kKeyed> : LensRunPlain<D, kKeyed>)(frame, out, from, to, at, sign, kLo);
}

}  // namespace

int DDBltLens(DDSURFACEDATA* lpDst, int cx, int cy, int nRadius, int nDepth, DDSURFACEDATA* lpSrc, int scx, int scy,
              uint32_t dwFlags, uint32_t bFill, const DDDRAWSTATE* lpState) {
  if (nDepth < 0 || nRadius < 0 || !lpDst || !lpSrc) return 0;
  const i64 depth = nDepth, radius = nRadius;
  const i64 bigR = RootTrunc(depth * depth + radius * radius);
  if (bigR <= depth) return 0;  // a flat lens
  const i64 R2 = bigR * bigR, r2 = radius * radius;
  // DirectDraw never shows key-coloured pixels through the lens.
  const bool keyed = lpDTCon ? dwFlags == 1 : true;
  return fx::RunEffect(lpDst, lpSrc, keyed, fx::KeyRule::Table,
                       [&]<typename D, bool kKeyed>(const fx::EffectFrame& f) {
    using P = typename D::Pixel;
    const fx::AddColour add = f.direct3d ? fx::MakeAddColour<D>(lpState) : fx::AddColour{};
    const bool fill = f.direct3d && bFill != 0 && D::kBits == 32;
    const i64 y0 = std::max(-radius, -i64{cy}), y1 = std::min(radius, i64{f.dst.height} - 1 - cy);
    const i64 x0 = std::max(-radius, -i64{cx}), x1 = std::min(radius, i64{f.dst.width} - 1 - cx);
    if (y0 > y1 || x0 > x1) return;
    thread_local LensOffsets o;
    LensRunFrame run0;
    run0.src = f.src.bits;
    run0.cx = cx;
    run0.keyMask = f.keyMask, run0.keyValue = f.keyValue;
    run0.direct3d = f.direct3d, run0.flipBack = f.flipBack, run0.fill = fill;
    run0.add = add;
    run0.apart = !f.sameSurface;
    const LensSource source{f.src.pitch, static_cast<i64>(sizeof(P)), scx, scy, f.src.width, f.src.height};
    // One destination row at offset y, its pixels inside the circle being
    // [a, b]; `lower` chooses the offsets of +|y| (else of −|y|).
    auto drawRow = [&](i64 y, i64 a, i64 b, bool lower) {
      uint8_t* out = f.dst.Row(static_cast<int>(cy + y));
      if (fill)
        for (i64 x = x0; x <= x1 && x < a; ++x) fx::Plane::Store<P>(out, static_cast<int>(cx + x), static_cast<P>(0));
      if (a <= b) {
        // Columns left of the centre read the offsets of −|x|.
        LensRun<D, kKeyed>(run0, out, a, std::min<i64>(b, -1), o.at[lower ? 1 : 3].data(), -1, o.kLo);
        LensRun<D, kKeyed>(run0, out, std::max<i64>(a, 0), b, o.at[lower ? 0 : 2].data(), 1, o.kLo);
      }
      if (fill)
        for (i64 x = std::max(b + 1, x0); x <= x1; ++x)
          fx::Plane::Store<P>(out, static_cast<int>(cx + x), static_cast<P>(0));
    };
    // The columns of row offset y inside the circle: x² + y² ≤ r² ⇔ |x| ≤
    // ⌊√(r² − y²)⌋; empty (a > b) when the row misses the circle.
    auto span = [&](i64 y, i64& a, i64& b) {
      const i64 room = r2 - y * y;
      a = x1 + 1, b = x1;
      if (room >= 0) {
        const i64 reach = RootTrunc(room);
        a = std::max(x0, -reach), b = std::min(x1, reach);
      }
    };
    auto work = [&](i64 ay, i64 a, i64 b) {
      const i64 kLo = (a <= 0 && b >= 0) ? 0 : std::min(a < 0 ? -a : a, b < 0 ? -b : b);
      const i64 kHi = std::max(a < 0 ? -a : a, b < 0 ? -b : b);
      o.Work(ay, kLo, kHi, depth, R2, source);
    };
    if (f.sameSurface) {
      // A lens drawn onto its own source reads pixels it may have written:
      // rows top to bottom and pixels left to right, each as it comes.
      for (i64 y = y0; y <= y1; ++y) {
        i64 a, b;
        span(y, a, b);
        if (a <= b) work(y < 0 ? -y : y, a, b);
        drawRow(y, a, b, y >= 0);
      }
      return;
    }
    // Apart: rows −y and +y are drawn from one working-out.
    const i64 top = std::max<i64>(0, std::max(-y1, y0));  // the smallest |y| with a row inside
    for (i64 ay = y0 <= 0 && y1 >= 0 ? 0 : top; ay <= std::max(-y0, y1); ++ay) {
      const bool upper = -ay >= y0 && -ay <= y1, lower = ay != 0 && ay >= y0 && ay <= y1;
      if (!upper && !lower) continue;
      i64 a, b;
      span(ay, a, b);
      if (a <= b) work(ay, a, b);
      if (upper) drawRow(-ay, a, b, false);
      if (lower) drawRow(ay, a, b, true);
    }
  });
}
