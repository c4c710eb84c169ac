// The pixel-moving effects (rotation, lens, strips, the processor stretch)
// against worked known answers in every back end and depth, and the device
// quad against the processor where both must give the same pixels.
#include "gfx/fx_geom.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "support/display.h"
#include "surface_pixels.h"

namespace {

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

class FxGeomTest : public ::testing::Test {
 protected:
  bool Init(const Mode& m) {
    plat::DrawFaultInjection().use555 = m.use555;
    plat::DrawFaultInjection().desktopBitsOverride = m.bpp;
    mode_ = m;
    if (!DDInit(m.d3d, 0, 640, 480, m.bpp, 0, m.windowed, 1, 60, 0, nullptr, nullptr, 0)) return false;
    DDState.dwColorKey = 0;
    return true;
  }
  // A distinct opaque raw pixel for each i in 1..254; 0 is the key (and
  // transparent texel) of every mode.
  uint32_t Val(uint32_t i) const {
    if (!mode_.d3d) return i;
    return mode_.bpp == 16 ? 0x8000u | i : 0xFF000000u | i;
  }
  uint32_t Index(uint32_t raw) const { return raw & 0xFFu; }
  // A keyed surface; on the device in system memory (drawn by the
  // processor), a render target or a video texture (drawn as quads).
  // The fixture owns every surface it makes, so TearDown never reaches a
  // surface whose scope has ended (an assertion may leave a loop early).
  DDSURFACEDATA& Make(int w, int h, uint32_t kind = DTMEMORYTYPE_SYSTEM) {
    made_.push_back(std::make_unique<DDSURFACEDATA>());
    DDSURFACEDATA& sd = *made_.back();
    EXPECT_TRUE(DDCreateSurface(&sd, w, h, 1, 1, kind, 0, 0));
    return sd;
  }
  void Put(DDSURFACEDATA* sd, int w, int h, const std::function<uint32_t(int, int)>& raw) {
    cSurfaceLock lock(sd);
    ASSERT_TRUE(lock.Locked());
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const uint32_t v = raw(x, y);
        std::memcpy(lock.Bits() + static_cast<size_t>(y) * lock.Pitch() + static_cast<size_t>(x) * lock.m_nBytesPerPixel,
                    &v, lock.m_nBytesPerPixel);
      }
  }
  void TearDown() override {
    for (const auto& sd : made_) DDReleaseSurface(sd.get());
    made_.clear();
    DDResetForTest();
  }
  Mode mode_{};
  std::vector<std::unique_ptr<DDSURFACEDATA>> made_;
  DisplaySandbox sandbox_;
};

// ---- rotation ----

TEST_F(FxGeomTest, RotationByNinetyAndZeroDegreesInEveryMode) {
  for (const Mode& m : kModes) {
    SCOPED_TRACE(m.name);
    ASSERT_TRUE(Init(m));
    DDSURFACEDATA& src = Make(4, 2);
    DDSURFACEDATA& dst = Make(12, 12);
    // Picture 4 × 2 of values 1..8 row by row; its first pixel the key. The
    // second is raw 2: on the device a texel with alpha 0 that is not the
    // key value 0, which the rotation copies.
    Put(&src, 4, 2, [&](int x, int y) { return x + y == 0 ? 0u : x + y == 1 && y == 0 ? 2u : Val(y * 4 + x + 1); });
    for (const int angle : {90, 0}) {
      Put(&dst, 12, 12, [&](int, int) { return Val(200); });
      EXPECT_EQ(DDBltRotate(&dst, 5, 5, 4, 2, 0, 0, angle, &src, 0, 0, 1), 1);
      // Destination pixel → picture value (0: the key, skipped).
      const std::map<std::pair<int, int>, uint32_t> want =
          angle == 90 ? std::map<std::pair<int, int>, uint32_t>{{{5, 6}, 2}, {{5, 7}, 3}, {{5, 8}, 4}, {{4, 5}, 5},
                                                                {{4, 6}, 6}, {{4, 7}, 7}, {{4, 8}, 8}}
                      : std::map<std::pair<int, int>, uint32_t>{{{6, 5}, 2}, {{7, 5}, 3}, {{8, 5}, 4}, {{5, 6}, 5},
                                                                {{6, 6}, 6}, {{7, 6}, 7}, {{8, 6}, 8}};
      const std::vector<uint32_t> px = SurfacePixels(&dst, 0, 0, 12, 12);
      for (int i = 0; i < 144; ++i) {
        const auto it = want.find({i % 12, i / 12});
        EXPECT_EQ(Index(px[i]), it == want.end() ? 200u : it->second) << angle << " at " << i % 12 << "," << i / 12;
      }
      EXPECT_EQ(angle == 90 ? px[6 * 12 + 5] : px[5 * 12 + 6], 2u);
    }
    TearDown();
  }
}

TEST_F(FxGeomTest, RotationByFortyFiveDegreesInEveryMode) {
  // An 8 × 8 picture (pixel y × 8 + x shown as the letter of that number in
  // this alphabet) turned about (4, 4) drawn at (8, 8); '.' untouched.
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const char* const want[16] = {
      "................", "................", "................", "........A.......",
      ".......IJB......", "......YRJKD.....", ".....ghZSLME....", "....wphibUMNG...",
      "...4xxqjkcVOOH..", "....5yzskleWP...", ".....700tmmf....", "......812un.....",
      ".......+23......", "......../.......", "................", "................"};
  for (const Mode& m : kModes) {
    SCOPED_TRACE(m.name);
    ASSERT_TRUE(Init(m));
    DDSURFACEDATA& src = Make(8, 8);
    DDSURFACEDATA& dst = Make(16, 16);
    Put(&src, 8, 8, [&](int x, int y) { return Val(y * 8 + x + 1); });
    Put(&dst, 16, 16, [&](int, int) { return Val(200); });
    EXPECT_EQ(DDBltRotate(&dst, 8, 8, 8, 8, 4, 4, 45, &src, 0, 0, 0), 1);
    const std::vector<uint32_t> px = SurfacePixels(&dst, 0, 0, 16, 16);
    for (int i = 0; i < 256; ++i) {
      const char c = want[i / 16][i % 16];
      EXPECT_EQ(Index(px[i]), c == '.' ? 200u : alphabet.find(c) + 1) << i % 16 << "," << i / 16;
    }
    TearDown();
  }
}

TEST_F(FxGeomTest, RotationQuadAndProcessorPlaceThePictureAlike) {
  for (const Mode& m : {kModes[4], kModes[6]}) {
    SCOPED_TRACE(m.name);
    ASSERT_TRUE(Init(m));
    DDSURFACEDATA& video = Make(8, 6, DTMEMORYTYPE_VIDEO_NORT);
    DDSURFACEDATA& system = Make(8, 6);
    DDSURFACEDATA& viaQuad = Make(24, 24, DTMEMORYTYPE_VIDEO_RT);
    DDSURFACEDATA& viaCpu = Make(24, 24, DTMEMORYTYPE_VIDEO_RT);
    for (DDSURFACEDATA* s : {&video, &system}) Put(s, 8, 6, [&](int x, int y) { return Val(y * 8 + x + 1); });
    for (const int angle : {0, 90, 180, 270}) {
      for (DDSURFACEDATA* d : {&viaQuad, &viaCpu}) Put(d, 24, 24, [&](int, int) { return Val(200); });
      DDBltRotate(&viaQuad, 12, 12, 8, 6, 4, 3, angle, &video, 0, 0, 1);
      DDBltRotate(&viaCpu, 12, 12, 8, 6, 4, 3, angle, &system, 0, 0, 1);
      const std::vector<uint32_t> quad = SurfacePixels(&viaQuad, 0, 0, 24, 24), cpu = SurfacePixels(&viaCpu, 0, 0, 24, 24);
      if (angle == 0) {
        EXPECT_EQ(quad, cpu);
      }
      // Turned, the quad samples at pixel centres: the same sense and
      // centre, each corner of the picture within a pixel.
      for (const uint32_t corner : {1u, 8u, 41u, 48u}) {
        const auto q = std::find(quad.begin(), quad.end(), Val(corner)) - quad.begin();
        const auto c = std::find(cpu.begin(), cpu.end(), Val(corner)) - cpu.begin();
        ASSERT_TRUE(q < 576 && c < 576) << angle << " corner " << corner;
        EXPECT_LE(std::max(std::abs(q % 24 - c % 24), std::abs(q / 24 - c / 24)), 1) << angle << " corner " << corner;
      }
    }
    TearDown();
  }
}

// ---- lens ----

TEST_F(FxGeomTest, LensReadsTheWorkedSourceOffsets) {
  // Radius 3, depth 4: destination offset → source offset.
  const struct { int x, y, sx, sy; } lens[] = {{0, 0, 0, 0},  {1, 0, 1, 0},   {2, 0, 2, 0},   {3, 0, 3, 0},
                                               {2, 2, 2, 2},  {-3, 0, -2, 0}, {-2, -2, -1, -1}, {0, -3, 0, -2}};
  for (const Mode& m : kModes) {
    SCOPED_TRACE(m.name);
    ASSERT_TRUE(Init(m));
    DDSURFACEDATA& src = Make(15, 15);
    DDSURFACEDATA& dst = Make(16, 16);
    Put(&src, 15, 15, [&](int x, int y) { return Val(y * 15 + x + 1); });
    auto offsetAt = [&](int x, int y) {
      const int i = static_cast<int>(Index(Pixel(&dst, 8 + x, 8 + y))) - 1;
      return std::pair{i % 15 - 7, i / 15 - 7};
    };
    for (const uint32_t fill : {0u, 1u}) {
      Put(&dst, 16, 16, [&](int, int) { return Val(250); });
      EXPECT_EQ(DDBltLens(&dst, 8, 8, 3, 4, &src, 7, 7, 1, fill), 1);
      for (const auto& c : lens) EXPECT_EQ(offsetAt(c.x, c.y), std::pair(c.sx, c.sy)) << c.x << "," << c.y;
      // Outside the circle: untouched, or cleared by the device's 32-bit fill.
      EXPECT_EQ(Pixel(&dst, 11, 11), fill && m.d3d && m.bpp == 32 ? 0u : Val(250));
    }
    // Depth 0: a flat disc of the centre pixel but for the four rim points.
    EXPECT_EQ(DDBltLens(&dst, 8, 8, 3, 0, &src, 7, 7, 1, 0), 1);
    EXPECT_EQ(offsetAt(-2, 1), std::pair(0, 0));
    EXPECT_EQ(offsetAt(0, 3), std::pair(0, 3));
    // A flat lens and bad sizes draw nothing.
    for (const auto& [radius, depth] : {std::pair{0, 0}, std::pair{-1, 2}, std::pair{3, -1}})
      EXPECT_EQ(DDBltLens(&dst, 8, 8, radius, depth, &src, 7, 7, 1, 0), 0);
    TearDown();
  }
}

TEST_F(FxGeomTest, LensAddsTheDrawStateOnTheDeviceOnly) {
  // Red 10 plus the state's full red: 31 (clamped) at 16 bits.
  const DDDRAWSTATE add{0x00FF0000u, plat::D3DTOP_ADD};
  for (const Mode& m : {kModes[1], kModes[5]}) {
    ASSERT_TRUE(Init(m));
    DDSURFACEDATA& src = Make(4, 4);
    DDSURFACEDATA& dst = Make(4, 4);
    const uint32_t red10 = (m.d3d ? 0x8000u : 0u) | (10u << (m.d3d ? 10 : 11)) | 3u;
    Put(&src, 4, 4, [&](int, int) { return red10; });
    DDBltLens(&dst, 1, 1, 1, 0, &src, 1, 1, 1, 0, &add);
    EXPECT_EQ(Pixel(&dst, 1, 1), m.d3d ? 0x8000u | (31u << 10) | 3u : red10) << m.name;
    TearDown();
  }
}

// ---- stretch ----

TEST_F(FxGeomTest, ProcessorStretchSamplingAndBackBufferWrites) {
  const struct { int sw, dw; std::vector<uint32_t> reads; } cases[] = {
      {7, 10, {0, 0, 1, 2, 2, 3, 4, 4, 5, 6}}, {3, 2, {0, 1}}, {2, 4, {0, 0, 1, 1}}, {-4, 4, {3, 2, 1, 0}}};
  for (const Mode& m : {kModes[4], kModes[6]}) {
    SCOPED_TRACE(m.name);
    ASSERT_TRUE(Init(m));
    DDSURFACEDATA& src = Make(8, 1);
    DDSURFACEDATA& dst = Make(12, 1, DTMEMORYTYPE_VIDEO_RT);
    Put(&src, 8, 1, [&](int x, int) { return Val(x + 1); });
    for (const auto& c : cases) {
      Put(&dst, 12, 1, [&](int, int) { return Val(200); });
      DDBltStretch(&dst, 0, 0, c.dw, 1, &src, c.sw < 0 ? 4 : 0, 0, c.sw, 1, 0);
      const std::vector<uint32_t> px = SurfacePixels(&dst, 0, 0, c.dw, 1);
      for (size_t i = 0; i < px.size(); ++i) EXPECT_EQ(Index(px[i]), c.reads[i] + 1) << c.sw << "->" << c.dw;
    }
    TearDown();
  }
  // Full screen, 16 bits: texels land in the R5G6B5 back buffer; 0x2000 is
  // opaque, 0x0000 transparent.
  ASSERT_TRUE(Init(kModes[4]));
  DDSURFACEDATA& src = Make(4, 1);
  const uint32_t texels[4] = {0xFFFF, 0xFC00, 0x2000, 0x0000};
  Put(&src, 4, 1, [&](int x, int) { return texels[x]; });
  Put(DDBackBuffer(), 4, 1, [&](int, int) { return 0x1234u; });
  DDBlt(DDBackBuffer(), 0, 0, 4, 1, &src, 0, 0, 1);
  EXPECT_EQ(SurfacePixels(DDBackBuffer(), 0, 0, 4, 1), (std::vector<uint32_t>{0xFFDF, 0xF800, 0x4000, 0x1234}));
}

TEST_F(FxGeomTest, StretchQuadAgreesWithProcessor) {
  // 1:1, integer up-scales and a mirrored 1:1 copy: source x, width, then
  // destination width.
  const int cases[][3] = {{1, 5, 5}, {0, 4, 8}, {2, 3, 9}, {6, -5, 5}};
  for (const Mode& m : {kModes[4], kModes[5], kModes[6]}) {
    SCOPED_TRACE(m.name);
    ASSERT_TRUE(Init(m));
    DDSURFACEDATA& video = Make(8, 4, DTMEMORYTYPE_VIDEO_NORT);
    DDSURFACEDATA& system = Make(8, 4);
    DDSURFACEDATA& viaQuad = Make(20, 10, DTMEMORYTYPE_VIDEO_RT);
    DDSURFACEDATA& viaCpu = Make(20, 10, DTMEMORYTYPE_VIDEO_RT);
    for (DDSURFACEDATA* s : {&video, &system}) Put(s, 8, 4, [&](int x, int y) { return Val(y * 8 + x + 1); });
    for (const auto& c : cases) {
      for (DDSURFACEDATA* d : {&viaQuad, &viaCpu}) Put(d, 20, 10, [&](int, int) { return Val(200); });
      DDBltStretch(&viaQuad, 3, 1, c[2], 4, &video, c[0], 0, c[1], 4, 1);
      DDBltStretch(&viaCpu, 3, 1, c[2], 4, &system, c[0], 0, c[1], 4, 1);
      EXPECT_EQ(SurfacePixels(&viaQuad, 0, 0, 20, 10), SurfacePixels(&viaCpu, 0, 0, 20, 10)) << c[0] << "," << c[1];
    }
    TearDown();
  }
}

// ---- strips ----

TEST_F(FxGeomTest, StripEffectsPlaceTheirPieces) {
  for (const Mode& m : {kModes[0], kModes[3], kModes[6]}) {
    SCOPED_TRACE(m.name);
    ASSERT_TRUE(Init(m));
    DDSURFACEDATA& src = Make(40, 40, DTMEMORYTYPE_VIDEO_NORT);
    DDSURFACEDATA& back = Make(40, 40, DTMEMORYTYPE_VIDEO_NORT);
    DDSURFACEDATA& dst = Make(40, 40, DTMEMORYTYPE_VIDEO_RT);
    Put(&src, 40, 40, [&](int x, int y) { return Val(y % 2 * 40 + x + 1); });  // column x, row parity
    Put(&back, 40, 40, [&](int, int) { return Val(150); });
    auto clear = [&] { Put(&dst, 40, 40, [&](int, int) { return Val(200); }); };
    auto at = [&](int x, int y) { return Index(Pixel(&dst, x, y)); };
    // Wave, columns 1 wide: offsets 10, 0, −10, 0.
    clear();
    DDBltWave(&dst, 10, 15, 4, 4, 1, 10.0, 0, 1, &src, 0, 0, 0, 1);
    const int top[4] = {25, 15, 5, 15};
    for (int c = 0; c < 4; ++c) EXPECT_EQ(at(10 + c, top[c]), uint32_t(c + 1)) << "wave column " << c;
    // Split, w 10 in strips of 4 moved by 3: 0–3 down, 4–7 up, 8–9 not drawn.
    clear();
    DDBltSplit(&dst, 0, 10, 10, 2, 4, 3, &src, 0, 0, 0, 1);
    for (int c = 0; c < 10; ++c) EXPECT_EQ(at(c, c < 4 ? 13 : 7), c < 8 ? uint32_t(c + 1) : 200u) << "split " << c;
    // Burst, offset 2: the bottom-right quarter moves 2 right and 2 down.
    clear();
    DDBltBurst(&dst, 0, 0, 8, 8, &src, 0, 0, 2, 0);
    EXPECT_EQ(at(6, 6), 5u);  // from (4, 4)
    EXPECT_EQ(at(0, 0), 3u);  // from (2, 2): the top-left quarter moved out by 2
    // Burst apart by 0 and a wave of amplitude 0: the picture unmoved.
    for (int effect = 0; effect < 2; ++effect) {
      clear();
      if (effect == 0) DDBltBurst(&dst, 3, 2, 8, 6, &src, 0, 0, 0, 0);
      else DDBltWave(&dst, 3, 2, 8, 6, 7, 0.0, 30, 3, &src, 0, 0, 0, 0);
      for (int i = 0; i < 10 * 8; ++i)
        EXPECT_EQ(at(2 + i % 10, 1 + i / 10), (i % 10 == 0 || i % 10 == 9 || i / 10 == 0 || i / 10 == 7)
                                                  ? 200u
                                                  : uint32_t((i / 10 - 1) % 2 * 40 + i % 10 - 1 + 1))
            << "effect " << effect << " at " << i % 10 << "," << i / 10;
    }
    // Rotation in depth, axis 0, w 10: phase → side shown and inset.
    const struct { int phase; bool back; int inset; } turn[] = {
        {0, false, 0}, {4, false, 4}, {5, true, 4}, {9, true, 0}, {12, true, 2}, {17, false, 2}};
    for (const auto& t : turn) {
      clear();
      DDBltRotateDepth(&dst, 0, 0, 10, 2, &src, 0, 0, &back, 0, 0, 10, 2, 0, t.phase, 0);
      for (int c = 0; c < 12; ++c) {
        const bool inside = c >= t.inset && c < 10 - t.inset;
        EXPECT_EQ(at(c, 0) == 200u, !inside) << "phase " << t.phase << " column " << c;
        if (inside) {
          EXPECT_EQ(at(c, 0) == 150u, t.back) << "phase " << t.phase;
        }
      }
    }
    // Circle, radius 10 in rows: widths of rows t = 9 down to −10.
    const int widths[20] = {8, 12, 14, 16, 16, 18, 18, 18, 18, 18, 18, 18, 18, 18, 16, 16, 14, 12, 8, 0};
    clear();
    DDBltCircle(&dst, 20, 20, 20, 20, 10, 1, &src, 20, 20, 0);
    for (int i = 0; i < 20; ++i) {
      int drawn = 0;
      for (int x = 0; x < 40; ++x) drawn += at(x, 29 - i) != 200u;
      EXPECT_EQ(drawn, widths[i]) << "circle row " << 9 - i;
    }
    TearDown();
  }
}

TEST_F(FxGeomTest, DirectDraw565And555AgreeAfterConversion) {
  std::vector<uint32_t> rgb[2];
  for (int k = 0; k < 2; ++k) {
    const Mode& m = kModes[1 + k];
    ASSERT_TRUE(Init(m));
    DDSURFACEDATA& src = Make(16, 16);
    DDSURFACEDATA& dst = Make(24, 24);
    const int gs = k == 0 ? 6 : 5;  // green's place one bit wider in 565
    auto pack = [&](uint32_t r, uint32_t g, uint32_t b) { return (r << (gs + 5)) | ((k == 0 ? g << 1 : g) << 5) | b; };
    Put(&src, 16, 16, [&](int x, int y) { return pack(x + 1, y + 1, (x * y) & 31); });
    Put(&dst, 24, 24, [&](int, int) { return pack(30, 0, 30); });
    DDBltRotate(&dst, 12, 12, 16, 16, 8, 8, 33, &src, 0, 0, 1);
    DDBltLens(&dst, 6, 6, 5, 3, &src, 8, 8, 1, 0);
    for (const uint32_t p : SurfacePixels(&dst, 0, 0, 24, 24))
      rgb[k].push_back(((p >> (gs + 5)) << 10) | (((p >> 5) >> (k == 0 ? 1 : 0) & 31) << 5) | (p & 31));
    TearDown();
  }
  EXPECT_EQ(rgb[0], rgb[1]);
}

}  // namespace
