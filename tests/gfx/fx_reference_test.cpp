// The processor loops of the lens, blur, rotation, mosaic and translucent
// blits against plain renderings of their rules, pixel by pixel, over
// awkward sizes, positions, clips, keys, draw states, padded pitches and
// pictures drawn onto themselves, in every back end and depth. The loops
// work out offsets once per row pair, slide window sums, sum columns
// before blocks and skip pixels by ranges; the renderings do none of that.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "gfx/fx_colour.h"
#include "gfx/fx_geom.h"
#include "platform/soft_draw.h"
#include "support/display.h"

namespace {

using i64 = int64_t;

struct Mode {
  const char* name;
  uint32_t d3d;
  int bpp;
  bool use555;
  uint32_t windowed;
};
const Mode kModes[] = {{"DD8", 0, 8, false, 0},   {"DD565", 0, 16, false, 0}, {"DD555", 0, 16, true, 0},
                       {"DD32", 0, 32, false, 0}, {"D3D16", 1, 16, false, 0}, {"D3D16w", 1, 16, false, 1},
                       {"D3D32", 1, 32, false, 0}};

// A copy of a locked surface's rows.
struct Raw {
  int w = 0, h = 0, pitch = 0, bytes = 1;
  std::vector<uint8_t> data;
  bool Inside(i64 x, i64 y) const { return x >= 0 && x < w && y >= 0 && y < h; }
  uint32_t Get(i64 x, i64 y) const {
    uint32_t v = 0;
    std::memcpy(&v, data.data() + y * pitch + x * bytes, static_cast<size_t>(bytes));
    return v;
  }
  void Set(i64 x, i64 y, uint32_t v) { std::memcpy(data.data() + y * pitch + x * bytes, &v, static_cast<size_t>(bytes)); }
};

Raw Read(DDSURFACEDATA* sd) {
  Raw r;
  cSurfaceLock lock(sd);
  EXPECT_TRUE(lock.Locked());
  if (!lock.Locked()) return r;
  r.w = lock.Width(), r.h = lock.Height(), r.pitch = lock.Pitch(), r.bytes = lock.m_nBytesPerPixel;
  r.data.assign(lock.Bits(), lock.Bits() + static_cast<size_t>(r.pitch) * r.h);
  return r;
}

void Write(DDSURFACEDATA* sd, const Raw& r) {
  cSurfaceLock lock(sd);
  ASSERT_TRUE(lock.Locked());
  std::memcpy(lock.Bits(), r.data.data(), r.data.size());
}

struct Noise {
  uint32_t state;
  uint32_t Next() {
    state = state * 1664525u + 1013904223u;
    return state ^ (state >> 15);
  }
};

// The rules every processor-side effect shares, for the display set up.
struct Rules {
  bool d3d = false;
  int bpp = 32;
  uint32_t key = 0;
  uint32_t shift[4] = {}, max[4] = {};  // red, green, blue, alpha

  static Rules Now() {
    Rules r;
    r.d3d = lpDTCon != nullptr;
    r.bpp = DDState.nBpp;
    r.key = DDState.dwColorKey;
    for (int i = 0; i < 4; ++i) r.shift[i] = DDState.TexFormat[PF_RSHIFT + i], r.max[i] = DDState.TexFormat[PF_RMAX + i];
    return r;
  }
  // The transparency table: the colour key in DirectDraw, an alpha of 0 on the device.
  bool Transparent(uint32_t p) const {
    if (!d3d) return p == key;
    return bpp == 16 ? (p & 0xA000u) == 0 : (p >> 24) == 0;
  }
  uint32_t Channel(uint32_t p, int i) const { return bpp == 32 ? (p >> (16 - 8 * i)) & 0xFF : (p >> shift[i]) & max[i]; }
  uint32_t Pack(const uint32_t (&c)[3]) const {
    if (bpp == 32) return c[0] << 16 | c[1] << 8 | c[2];
    return c[0] << shift[0] | c[1] << shift[1] | c[2] << shift[2];
  }
  // The draw state's addition (device only), clamped to each channel's top.
  uint32_t Add(uint32_t p, const DDDRAWSTATE* st) const {
    if (!d3d || !st || st->dwColorOp != 7) return p;
    uint32_t c[3];
    for (int i = 0; i < 3; ++i) {
      const uint32_t top = bpp == 32 ? 255u : max[i];
      const uint32_t v = ((st->dwColor >> (16 - 8 * i)) & 0xFF) * top / 255;
      c[i] = std::min(Channel(p, i) + v, top);
    }
    const uint32_t rgb = bpp == 32 ? 0xFFFFFFu : (max[0] << shift[0] | max[1] << shift[1] | max[2] << shift[2]);
    return (p & ~rgb) | Pack(c);
  }
  // A 16-bit device pixel written onto the full-screen back buffer.
  static uint32_t ToBackBuffer(uint32_t p) { return ((p & 0x7FE0u) << 1) | (p & 0x1Fu); }
};

i64 IntRoot(i64 n) {
  i64 r = 0;
  while ((r + 1) * (r + 1) <= n) ++r;
  return r;
}

// ---- the renderings ----

void LensByRule(Raw& dst, const Raw& src, bool flipBack, const Rules& m, int cx, int cy, int radius, int depth,
                int scx, int scy, bool keyed, bool fill, const DDDRAWSTATE* st) {
  if (depth < 0 || radius < 0 || m.bpp == 24) return;
  const i64 R = IntRoot(i64{depth} * depth + i64{radius} * radius);
  if (R <= depth) return;
  for (i64 y = -radius; y <= radius; ++y)
    for (i64 x = -radius; x <= radius; ++x) {
      if (!dst.Inside(cx + x, cy + y)) continue;
      bool drawn = false;
      if (x * x + y * y <= i64{radius} * radius) {
        const double q = std::sqrt(static_cast<double>(R * R - (x * x + y * y)));
        i64 mx = x, my = y;
        if (q != 0) {
          mx = static_cast<i64>(static_cast<double>(x * depth) / q + 0.5);
          my = static_cast<i64>(static_cast<double>(y * depth) / q + 0.5);
        }
        if (src.Inside(scx + mx, scy + my)) {
          uint32_t p = src.Get(scx + mx, scy + my);
          const bool skip = m.d3d ? keyed && m.Transparent(p) : m.Transparent(p);
          if (!skip) {
            p = m.Add(p, st);
            if (flipBack) p = Rules::ToBackBuffer(p);
            dst.Set(cx + x, cy + y, p);
            drawn = true;
          }
        }
      }
      if (fill && m.d3d && m.bpp == 32 && !drawn) dst.Set(cx + x, cy + y, 0);
    }
}

void BlurByRule(Raw& dst, const Raw& src, bool flipBack, const Rules& m, int dx, int dy, int w, int h, int rx, int ry,
                int sx, int sy, bool keyed, const DDDRAWSTATE* st) {
  if (rx <= 0 || ry <= 0 || m.bpp == 8) return;
  for (i64 j = 0; j < h; ++j)
    for (i64 i = 0; i < w; ++i) {
      if (!dst.Inside(dx + i, dy + j)) continue;
      if (keyed && (!src.Inside(sx + i, sy + j) || m.Transparent(src.Get(sx + i, sy + j)))) continue;
      uint32_t sum[3] = {}, n = 0;
      for (i64 t = -ry; t < ry; ++t) {
        if (j + t < 0) continue;
        if (j + t >= h) break;
        for (i64 u = -rx; u < rx; ++u) {
          if (i + u < 0) continue;
          if (i + u >= w) break;
          if (!src.Inside(sx + i + u, sy + j + t)) continue;
          const uint32_t p = src.Get(sx + i + u, sy + j + t);
          if (keyed && m.Transparent(p)) continue;
          for (int c = 0; c < 3; ++c) sum[c] += m.Channel(p, c);
          ++n;
        }
      }
      if (n == 0) continue;
      const uint32_t mean[3] = {sum[0] / n, sum[1] / n, sum[2] / n};
      uint32_t p = m.Add(m.Pack(mean), st);
      if (m.d3d) {
        if (m.bpp == 32) p |= 0xFF000000u;
        else p = flipBack ? Rules::ToBackBuffer(p) : p | 0x8000u;
      }
      dst.Set(dx + i, dy + j, p);
    }
}

// A mirrored source (negative sw or sh, as the device's mirror cells give)
// is read right to left (bottom to top) from sx − 1 (sy − 1).
void RotateByRule(Raw& dst, const Raw& src, const Rules& m, int dx, int dy, int w, int h, int cx, int cy, int angle,
                  int sx, int sy, bool keyed, int sw = 1, int sh = 1) {
  const double rad = angle * 0.017453292519943278;
  const i64 s0 = static_cast<i64>(std::sin(rad) * 1024.0), c0 = static_cast<i64>(std::cos(rad) * 1024.0);
  const i64 s1 = static_cast<i64>(std::sin(-rad) * 1024.0), c1 = static_cast<i64>(std::cos(-rad) * 1024.0);
  i64 minX = INT64_MAX, maxX = INT64_MIN, minY = INT64_MAX, maxY = INT64_MIN;
  for (const i64 u : {-i64{cx}, i64{w} - cx - 1})
    for (const i64 v : {-i64{cy}, i64{h} - cy - 1}) {
      const i64 x = ((u * c0 - v * s0) >> 10) + cx, y = ((u * s0 + v * c0) >> 10) + cy;
      minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
    }
  const uint32_t key = m.d3d ? 0u : m.key;
  for (i64 r = minY - 2; r < maxY + 2; ++r) {
    const i64 v = r - cy;
    if (dy + v < 0 || dy + v >= dst.h) continue;
    for (i64 q = minX - 2; q < maxX + 2; ++q) {
      const i64 u = q - cx;
      if (dx + u < 0 || dx + u >= dst.w) continue;
      const i64 x = ((u * c1 - v * s1) >> 10) + cx, y = ((u * s1 + v * c1) >> 10) + cy;
      if (x < 0 || x >= w || y < 0 || y >= h) continue;
      const i64 col = sw < 0 ? sx - 1 - x : sx + x, line = sh < 0 ? sy - 1 - y : sy + y;
      if (!src.Inside(col, line)) continue;
      const uint32_t p = src.Get(col, line);
      if (keyed && p == key) continue;
      dst.Set(dx + u, dy + v, p);
    }
  }
}

void MosaicByRule(Raw& dst, const Raw& src, bool flipBack, const Rules& m, int dx, int dy, int w, int h, int size,
                  int sx, int sy, bool keyed, const DDDRAWSTATE* st) {
  if (size <= 0) return;
  auto to255 = [&](uint32_t c, int i) { return m.bpp == 32 ? c : c * 255 / m.max[i]; };
  auto from255 = [&](uint32_t v, int i) { return m.bpp == 32 ? v : v * m.max[i] / 255; };
  for (i64 by = 0; by < h; by += size)
    for (i64 bx = 0; bx < w; bx += size) {
      uint32_t colour;
      if (m.bpp == 8) {
        if (!src.Inside(sx + bx, sy + by)) continue;
        colour = src.Get(sx + bx, sy + by);
        if (keyed && m.Transparent(colour)) continue;
      } else {
        uint64_t sum[3] = {}, n = 0;
        for (i64 y = by; y < std::min<i64>(by + size, h); ++y)
          for (i64 x = bx; x < std::min<i64>(bx + size, w); ++x) {
            if (!src.Inside(sx + x, sy + y)) continue;
            const uint32_t p = src.Get(sx + x, sy + y);
            if (keyed && m.Transparent(p)) continue;
            for (int c = 0; c < 3; ++c) sum[c] += to255(m.Channel(p, c), c);
            ++n;
          }
        if (n == 0) continue;
        const uint32_t mean[3] = {from255(static_cast<uint32_t>(sum[0] / n), 0),
                                  from255(static_cast<uint32_t>(sum[1] / n), 1),
                                  from255(static_cast<uint32_t>(sum[2] / n), 2)};
        colour = m.Pack(mean);
        if (keyed && !m.d3d && colour == m.key) continue;
        colour = m.Add(colour, st);
        if (m.d3d) {
          if (m.bpp == 32) colour |= 0xFF000000u;
          else colour = flipBack ? Rules::ToBackBuffer(colour) : colour | 0x8000u;
        }
      }
      for (i64 y = by; y < std::min<i64>(by + size, h); ++y)
        for (i64 x = bx; x < std::min<i64>(bx + size, w); ++x)
          if (dst.Inside(dx + x, dy + y)) dst.Set(dx + x, dy + y, colour);
    }
}

void TranslucentByRule(Raw& dst, const Raw& src, bool flipBack, const Rules& m, int dx, int dy, int w, int h, int sx,
                       int sy, bool keyed, const uint8_t* blend) {
  for (i64 j = 0; j < h; ++j)
    for (i64 i = 0; i < w; ++i) {
      if (!dst.Inside(dx + i, dy + j) || !src.Inside(sx + i, sy + j)) continue;
      const uint32_t s = src.Get(sx + i, sy + j), d = dst.Get(dx + i, dy + j);
      uint32_t p;
      if (m.bpp == 8) {
        if (keyed && s == 0) continue;
        p = d == 0 ? s : blend[d * 256 + s];
      } else if (!m.d3d) {
        if (keyed && s == m.key) continue;
        if (d == m.key) {
          p = s;
        } else {
          uint32_t c[3];
          for (int k = 0; k < 3; ++k) {
            const uint32_t top = m.bpp == 32 ? 255u : m.max[k];
            c[k] = ((m.Channel(s, k) * 255 / top + m.Channel(d, k) * 255 / top) >> 1) * top / 255;
          }
          p = m.Pack(c);
        }
      } else {
        if (keyed && m.Transparent(s)) continue;
        if (m.bpp == 16 && flipBack) {
          const uint32_t c[3] = {(((s >> 10) & 31) + ((d >> 11) & 31)) >> 1, (((d >> 5) & 63) + 2 * ((s >> 5) & 31)) >> 1,
                                 ((s & 31) + (d & 31)) >> 1};
          p = c[0] << 11 | c[1] << 5 | c[2];
        } else {
          const uint32_t c[3] = {(m.Channel(s, 0) + m.Channel(d, 0)) >> 1, (m.Channel(s, 1) + m.Channel(d, 1)) >> 1,
                                 (m.Channel(s, 2) + m.Channel(d, 2)) >> 1};
          p = m.Pack(c) | (m.bpp == 32 ? 0xFF000000u : 0x8000u);
        }
      }
      dst.Set(dx + i, dy + j, p);
    }
}

class FxReferenceTest : public ::testing::Test {
 protected:
  bool Init(const Mode& m) {
    plat::DrawFaultInjection().use555 = m.use555;
    plat::DrawFaultInjection().desktopBitsOverride = m.bpp;
    if (!DDInit(m.d3d, 0, 640, 480, m.bpp, 0, m.windowed, 1, 60, 0, nullptr, nullptr, 0)) return false;
    // Rows padded past their pixels, so that no loop may take the pitch from the width.
    plat::PixelImage::SetExtraPitchForTest(12);
    return true;
  }
  // A surface of noise with about one pixel in four transparent (the key,
  // or on the device a cleared alpha). On the device it lives in system
  // memory, drawn by the processor, or (`target`) is a render target that
  // the lock reads and writes through its copy.
  DDSURFACEDATA* Make(int w, int h, Noise& noise, bool target = false) {
    made_.push_back(std::make_unique<DDSURFACEDATA>());
    DDSURFACEDATA* sd = made_.back().get();
    EXPECT_TRUE(DDCreateSurface(sd, w, h, 1, 1, target ? DTMEMORYTYPE_VIDEO_RT : DTMEMORYTYPE_SYSTEM, 0, 0));
    Scatter(sd, noise);
    return sd;
  }
  void Scatter(DDSURFACEDATA* sd, Noise& noise) {
    Raw r = Read(sd);
    const Rules m = Rules::Now();
    const uint32_t all = m.bpp == 8 ? 0xFFu : m.bpp == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    for (int y = 0; y < r.h; ++y)
      for (int x = 0; x < r.w; ++x) {
        uint32_t v = noise.Next() & all;
        if (noise.Next() % 4 == 0) v = m.d3d ? v & (m.bpp == 16 ? 0x5FFFu : 0x00FFFFFFu) : m.key;
        r.Set(x, y, v);
      }
    Write(sd, r);
  }
  void TearDown() override {
    for (const auto& sd : made_) DDReleaseSurface(sd.get());
    made_.clear();
    plat::PixelImage::SetExtraPitchForTest(0);
    DDResetForTest();
  }
  std::vector<std::unique_ptr<DDSURFACEDATA>> made_;
  DisplaySandbox sandbox_;
};

// Draws with the effect and with its rendering from the same start; the
// destination must come out byte for byte alike.
template <typename Effect, typename Rendering>
void ExpectAlike(DDSURFACEDATA* dst, DDSURFACEDATA* src, Effect effect, Rendering rendering) {
  const Raw start = Read(dst);
  Raw want = start;
  if (src == dst) {
    rendering(want, want);
  } else {
    const Raw from = Read(src);
    rendering(want, from);
  }
  effect();
  const Raw got = Read(dst);
  ASSERT_EQ(got.data.size(), want.data.size());
  for (int y = 0; y < want.h; ++y)
    for (int x = 0; x < want.w; ++x)
      ASSERT_EQ(got.Get(x, y), want.Get(x, y)) << "pixel " << x << "," << y;
  Write(dst, start);
}

TEST_F(FxReferenceTest, LensMatchesItsRuleEverywhere) {
  struct Case {
    int cx, cy, radius, depth, scx, scy;
  } cases[] = {
      {20, 15, 9, 4, 18, 14},   {0, 0, 12, 30, 3, 2},      {40, 22, 25, 0, 20, 11},  {-5, 10, 14, 7, 6, 9},
      {21, 12, 40, 100, 21, 12}, {33, 1, 3, 4, 1, 27},     {10, 30, 6, 2, -4, 40},   {20, 11, 1, 0, 5, 5},
      {17, 9, 200, 1, 17, 9},   {50, 50, 5, 5, 3, 3},      {12, 8, 0, 0, 4, 4},      {25, 11, 11, 1000000, 13, 13},
  };
  const DDDRAWSTATE add{0xFF40A0F0u, 7};
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    ASSERT_TRUE(Init(mode));
    Noise noise{static_cast<uint32_t>(mode.bpp * 3 + mode.d3d)};
    DDSURFACEDATA* src = Make(37, 29, noise);
    DDSURFACEDATA* dst = Make(41, 23, noise);
    DDSURFACEDATA* rt = mode.d3d ? Make(41, 23, noise, true) : dst;
    // The 16-bit full-screen back buffer takes its pixels in its own format.
    DDSURFACEDATA* back = mode.d3d && mode.bpp == 16 && !mode.windowed ? DDBackBuffer() : dst;
    const Rules rules = Rules::Now();
    int variant = 0;
    for (const Case& c : cases)
      for (DDSURFACEDATA* to : {dst, rt, back, src}) {
        const bool keyed = variant % 5 != 2, fill = variant % 3 == 1;
        const DDDRAWSTATE* st = variant % 7 >= 4 ? &add : nullptr;
        ++variant;
        SCOPED_TRACE(testing::Message() << "lens at " << c.cx << "," << c.cy << " radius " << c.radius << " depth "
                                        << c.depth << (to == src ? " onto its source" : "") << " keyed " << keyed
                                        << " fill " << fill << " variant " << variant);
        const bool flip = mode.d3d && DDIsFlipBackBuffer(to);
        ExpectAlike(
            to, src,
            [&] { DDBltLens(to, c.cx, c.cy, c.radius, c.depth, src, c.scx, c.scy, keyed ? 1 : 0, fill ? 1 : 0, st); },
            [&](Raw& d, const Raw& s) {
              LensByRule(d, s, flip, rules, c.cx, c.cy, c.radius, c.depth, c.scx, c.scy, keyed, fill, st);
            });
      }
    DDResetForTest();
  }
}

TEST_F(FxReferenceTest, BlurMatchesItsRuleEverywhere) {
  struct Case {
    int dx, dy, w, h, rx, ry, sx, sy;
  } cases[] = {
      {2, 3, 30, 17, 1, 1, 0, 0},    {0, 0, 37, 29, 4, 4, 0, 0},   {-6, -4, 25, 20, 2, 3, 5, 2},
      {30, 18, 20, 12, 3, 1, 10, 9}, {5, 2, 33, 21, 7, 2, -3, -2}, {1, 1, 12, 9, 40, 40, 30, 25},
      {4, 4, 1, 1, 1, 1, 3, 3},      {0, 5, 41, 3, 2, 5, 0, 20},   {7, 0, 3, 23, 1, 6, 34, 0},
      {3, 2, 20, 15, 70, 70, 1, 1},  // a window of more than 4,096 pixels
  };
  const DDDRAWSTATE add{0xFF30C0FFu, 7};
  for (const Mode& mode : kModes) {
    if (mode.bpp == 8) continue;  // no blur of palette numbers
    SCOPED_TRACE(mode.name);
    ASSERT_TRUE(Init(mode));
    Noise noise{static_cast<uint32_t>(mode.bpp * 5 + mode.d3d + mode.use555)};
    DDSURFACEDATA* src = Make(37, 29, noise);
    DDSURFACEDATA* dst = Make(41, 23, noise);
    DDSURFACEDATA* rt = mode.d3d ? Make(41, 23, noise, true) : dst;
    DDSURFACEDATA* back = mode.d3d && mode.bpp == 16 && !mode.windowed ? DDBackBuffer() : dst;
    const Rules rules = Rules::Now();
    int variant = 0;
    for (const Case& c : cases)
      for (DDSURFACEDATA* to : {dst, rt, back, src}) {
        const bool keyed = variant % 5 != 1;
        const DDDRAWSTATE* st = variant % 3 == 1 ? &add : nullptr;
        ++variant;
        SCOPED_TRACE(testing::Message() << "blur at " << c.dx << "," << c.dy << " " << c.w << "x" << c.h << " radii "
                                        << c.rx << "," << c.ry << (to == src ? " onto its source" : "") << " keyed "
                                        << keyed << " variant " << variant);
        const bool flip = mode.d3d && DDIsFlipBackBuffer(to);
        ExpectAlike(
            to, src, [&] { DDBltBlur(to, c.dx, c.dy, c.w, c.h, c.rx, c.ry, src, c.sx, c.sy, keyed ? 1 : 0, st); },
            [&](Raw& d, const Raw& s) {
              BlurByRule(d, s, flip, rules, c.dx, c.dy, c.w, c.h, c.rx, c.ry, c.sx, c.sy, keyed, st);
            });
      }
    DDResetForTest();
  }
}

TEST_F(FxReferenceTest, RotationMatchesItsRuleEverywhere) {
  struct Case {
    int dx, dy, w, h, cx, cy, angle, sx, sy;
  } cases[] = {
      {20, 11, 16, 12, 8, 6, 30, 0, 0},    {20, 11, 37, 29, 18, 14, 45, 0, 0},  {0, 0, 20, 14, 10, 7, 90, 5, 5},
      {40, 22, 30, 20, 15, 10, 137, 3, 2}, {-3, 5, 25, 25, 0, 0, 200, 0, 0},    {10, 10, 9, 31, 4, 15, 271, 20, -3},
      {15, 12, 50, 50, 25, 25, 359, -6, -6}, {30, 3, 7, 5, 3, 2, 1, 30, 24},   {20, 11, 37, 29, 40, -8, 315, 0, 0},
      {8, 16, 11, 7, 5, 3, -75, 12, 9},    {20, 11, 37, 29, 18, 14, 720 + 33, 0, 0},
  };
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    ASSERT_TRUE(Init(mode));
    Noise noise{static_cast<uint32_t>(mode.bpp * 7 + mode.d3d + mode.use555)};
    DDSURFACEDATA* src = Make(37, 29, noise);
    DDSURFACEDATA* dst = Make(41, 23, noise);
    const Rules rules = Rules::Now();
    int variant = 0;
    for (const Case& c : cases)
      for (DDSURFACEDATA* to : {dst, src}) {
        const bool keyed = variant++ % 3 != 1;
        SCOPED_TRACE(testing::Message() << "rotation by " << c.angle << " of " << c.w << "x" << c.h << " at " << c.dx
                                        << "," << c.dy << (to == src ? " onto its source" : "") << " keyed " << keyed);
        ExpectAlike(
            to, src, [&] { DDBltRotate(to, c.dx, c.dy, c.w, c.h, c.cx, c.cy, c.angle, src, c.sx, c.sy, keyed ? 1 : 0); },
            [&](Raw& d, const Raw& s) {
              RotateByRule(d, s, rules, c.dx, c.dy, c.w, c.h, c.cx, c.cy, c.angle, c.sx, c.sy, keyed);
            });
      }
    if (mode.d3d) {
      // Mirror cells of the device: a whole cell and a part of one, read
      // mirrored (the processor draws them flipped, as the quad does).
      DDSURFACEDATA mirror;
      mirror.lpShareSD = src;
      mirror.nMirrorCellW = 16, mirror.nMirrorCellH = 12;
      const Case mirrored[] = {{20, 11, 16, 12, 8, 6, 30, 0, 0}, {12, 9, 10, 8, 5, 4, 60, 19, 13},
                               {25, 12, 16, 7, 8, 3, 200, 16, 12}};
      for (const Case& c : mirrored)
        for (bool keyed : {false, true}) {
          SCOPED_TRACE(testing::Message() << "mirrored rotation by " << c.angle << " from " << c.sx << "," << c.sy);
          int sx = c.sx, sy = c.sy, sw = c.w, sh = c.h;
          DDMirrorSourceRect(&mirror, &sx, &sy, &sw, &sh);
          ASSERT_LT(sw, 0);
          ExpectAlike(
              dst, src,
              [&] { DDBltRotate(dst, c.dx, c.dy, c.w, c.h, c.cx, c.cy, c.angle, &mirror, c.sx, c.sy, keyed ? 1 : 0); },
              [&](Raw& d, const Raw& s) {
                RotateByRule(d, s, rules, c.dx, c.dy, c.w, c.h, c.cx, c.cy, c.angle, sx, sy, keyed, sw, sh);
              });
        }
    }
    DDResetForTest();
  }
}

TEST_F(FxReferenceTest, MosaicMatchesItsRuleEverywhere) {
  struct Case {
    int dx, dy, w, h, size, sx, sy;
  } cases[] = {
      {0, 0, 37, 29, 4, 0, 0},   {2, 3, 30, 17, 5, 1, 2},  {-6, -4, 25, 20, 3, 5, 2},  {30, 18, 20, 12, 8, 10, 9},
      {5, 2, 33, 21, 1, -3, -2}, {1, 1, 12, 9, 40, 30, 25}, {4, 4, 10, 6, 7, 3, 3},    {0, 5, 41, 3, 2, 0, 20},
  };
  const DDDRAWSTATE add{0xFF30C0FFu, 7};
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    ASSERT_TRUE(Init(mode));
    Noise noise{static_cast<uint32_t>(mode.bpp * 11 + mode.d3d + mode.use555)};
    DDSURFACEDATA* src = Make(37, 29, noise);
    DDSURFACEDATA* dst = Make(41, 23, noise);
    DDSURFACEDATA* back = mode.d3d && mode.bpp == 16 && !mode.windowed ? DDBackBuffer() : dst;
    const Rules rules = Rules::Now();
    int variant = 0;
    for (const Case& c : cases)
      for (DDSURFACEDATA* to : {dst, back, src}) {
        const bool keyed = variant % 5 != 1;
        const DDDRAWSTATE* st = variant % 2 == 1 ? &add : nullptr;
        ++variant;
        SCOPED_TRACE(testing::Message() << "mosaic at " << c.dx << "," << c.dy << " " << c.w << "x" << c.h << " size "
                                        << c.size << (to == src ? " onto its source" : "") << " keyed " << keyed);
        const bool flip = mode.d3d && DDIsFlipBackBuffer(to);
        ExpectAlike(
            to, src, [&] { DDBltMosaic(to, c.dx, c.dy, c.w, c.h, c.size, src, c.sx, c.sy, keyed ? 1 : 0, st); },
            [&](Raw& d, const Raw& s) {
              MosaicByRule(d, s, flip, rules, c.dx, c.dy, c.w, c.h, c.size, c.sx, c.sy, keyed, st);
            });
      }
    DDResetForTest();
  }
}

TEST_F(FxReferenceTest, TranslucentMatchesItsRuleEverywhere) {
  struct Case {
    int dx, dy, w, h, sx, sy;
  } cases[] = {
      {0, 0, 37, 29, 0, 0}, {2, 3, 30, 17, 1, 2}, {-6, -4, 25, 20, 5, 2}, {30, 18, 20, 12, 10, 9},
      {5, 2, 33, 21, -3, -2}, {1, 1, 12, 9, 30, 25}, {4, 4, 1, 1, 3, 3},  {0, 5, 41, 3, 0, 20},
  };
  std::vector<uint8_t> blend(65536);
  Noise tableNoise{5};
  for (uint8_t& b : blend) b = static_cast<uint8_t>(tableNoise.Next());
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    ASSERT_TRUE(Init(mode));
    Noise noise{static_cast<uint32_t>(mode.bpp * 13 + mode.d3d + mode.use555)};
    DDSURFACEDATA* src = Make(37, 29, noise);
    DDSURFACEDATA* dst = Make(41, 23, noise);
    DDSURFACEDATA* back = mode.d3d && mode.bpp == 16 && !mode.windowed ? DDBackBuffer() : dst;
    const Rules rules = Rules::Now();
    int variant = 0;
    for (const Case& c : cases)
      for (DDSURFACEDATA* to : {dst, back, src}) {
        const bool keyed = variant++ % 5 != 1;
        SCOPED_TRACE(testing::Message() << "translucent at " << c.dx << "," << c.dy << " " << c.w << "x" << c.h
                                        << (to == src ? " onto its source" : "") << " keyed " << keyed);
        const bool flip = mode.d3d && DDIsFlipBackBuffer(to);
        ExpectAlike(
            to, src,
            [&] { DDBltTranslucent(to, c.dx, c.dy, c.w, c.h, src, c.sx, c.sy, keyed ? 1 : 0, blend.data(), 128); },
            [&](Raw& d, const Raw& s) {
              TranslucentByRule(d, s, flip, rules, c.dx, c.dy, c.w, c.h, c.sx, c.sy, keyed, blend.data());
            });
      }
    DDResetForTest();
  }
}

}  // namespace
