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
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

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
  const double k = nFrequency * 0.017453292519943295;
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

int DDBltRotate(DDSURFACEDATA* lpDst, int dx, int dy, int w, int h, int cx, int cy, int nAngle, DDSURFACEDATA* lpSrc,
                int sx, int sy, uint32_t dwFlags) {
  if (!lpDst || !lpSrc || w <= 0 || h <= 0) return 0;
  const double rad = nAngle * fx::kDegToRad;
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
    // Columns x and −x of a row share the root and, up to its sign, the
    // quotient x·depth / q (a division of a negated value is the negated
    // division): each row works out the roots and quotients for |x| first,
    // in a loop without branches that the compiler vectorises, then reads.
    thread_local std::vector<double> rest, vxs, vys;
    for (i64 y = y0; y <= y1; ++y) {
      uint8_t* out = f.dst.Row(static_cast<int>(cy + y));
      // The row's pixels inside the circle: x² + y² ≤ r² ⇔ |x| ≤ ⌊√(r² − y²)⌋.
      const i64 room = r2 - y * y;
      i64 a = x1 + 1, b = x1;
      if (room >= 0) {
        const i64 reach = RootTrunc(room);
        a = std::max(x0, -reach), b = std::min(x1, reach);
      }
      // Pixels are written left to right, as a lens drawn onto its own
      // source must be.
      if (fill)
        for (i64 x = x0; x <= x1 && x < a; ++x) fx::Plane::Store<P>(out, static_cast<int>(cx + x), static_cast<P>(0));
      auto fillRight = [&] {
        if (fill)
          for (i64 x = std::max(b + 1, x0); x <= x1; ++x)
            fx::Plane::Store<P>(out, static_cast<int>(cx + x), static_cast<P>(0));
      };
      if (a > b) {
        fillRight();
        continue;
      }
      const i64 kLo = (a <= 0 && b >= 0) ? 0 : std::min(a < 0 ? -a : a, b < 0 ? -b : b);
      const i64 kHi = std::max(a < 0 ? -a : a, b < 0 ? -b : b);
      const size_t n = static_cast<size_t>(kHi - kLo + 1);
      rest.resize(n), vxs.resize(n), vys.resize(n);
      const i64 yy = y * y;
      for (size_t i = 0; i < n; ++i) {
        const i64 k = kLo + static_cast<i64>(i);
        rest[i] = static_cast<double>(R2 - (k * k + yy));
        vxs[i] = static_cast<double>(k * depth);
      }
      {
        const double yd = static_cast<double>(y * depth);
        double* const VX = vxs.data();
        double* const VY = vys.data();
        const double* const Q = rest.data();
        size_t i = 0;
#if defined(__SSE2__)
        // Two at a time (the library root keeps the loop scalar): the same
        // correctly rounded roots and quotients.
        const __m128d nan = _mm_set1_pd(NAN), ydv = _mm_set1_pd(yd);
        for (; i + 2 <= n; i += 2) {
          const __m128d q = _mm_sqrt_pd(_mm_loadu_pd(Q + i));
          const __m128d zero = _mm_cmpeq_pd(q, _mm_setzero_pd());
          const __m128d vx = _mm_div_pd(_mm_loadu_pd(VX + i), q), vy = _mm_div_pd(ydv, q);
          _mm_storeu_pd(VX + i, _mm_or_pd(_mm_and_pd(zero, nan), _mm_andnot_pd(zero, vx)));
          _mm_storeu_pd(VY + i, _mm_or_pd(_mm_and_pd(zero, nan), _mm_andnot_pd(zero, vy)));
        }
#endif
        for (; i < n; ++i) {
          const double q = std::sqrt(Q[i]);
          // q = 0 is kept as not-a-number: the point reads its own offset.
          VX[i] = q != 0.0 ? VX[i] / q : NAN;
          VY[i] = q != 0.0 ? yd / q : NAN;
        }
      }
      for (i64 x = a; x <= b; ++x) {
        const int tx = static_cast<int>(cx + x);
        const size_t i = static_cast<size_t>((x < 0 ? -x : x) - kLo);
        const double vx = x < 0 ? -vxs[i] : vxs[i], vy = vys[i];
        i64 mx = x, my = y;
        if (vy == vy) {
          mx = static_cast<i64>(vx + 0.5);
          my = static_cast<i64>(vy + 0.5);
        }
        const i64 px = scx + mx, py = scy + my;
        bool drawn = false;
        if (px >= 0 && px < f.src.width && py >= 0 && py < f.src.height) {
          uint32_t p = fx::Plane::Load<P>(f.src.Row(static_cast<int>(py)), static_cast<int>(px));
          if (!(kKeyed && f.Transparent(p))) {
            if (f.direct3d) p = fx::ApplyAdd<D>(p, add);
            f.template Put<D>(out, tx, p);
            drawn = true;
          }
        }
        if (fill && !drawn) fx::Plane::Store<P>(out, tx, static_cast<P>(0));
      }
      fillRight();
    }
  });
}
