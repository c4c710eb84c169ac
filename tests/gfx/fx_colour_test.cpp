// The colour effects (fades, whole-surface fade and tint, colour change,
// translucent, blur, mosaic): known pixel values in each back end and depth.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "gfx/dd.h"
#include "gfx/fx_colour.h"
#include "gfx/palette_tools.h"
#include "platform/text.h"
#include "support/display.h"
#include "surface_pixels.h"

namespace {

struct Mode { const char* name; uint32_t d3d; int bpp; bool use555; };
constexpr Mode kDD8{"dd8", 0, 8, false}, kDD565{"dd565", 0, 16, false}, kDD555{"dd555", 0, 16, true},
    kDD32{"dd32", 0, 32, false}, kD3D16{"d3d16", 1, 16, false}, kD3D32{"d3d32", 1, 32, false};

std::ostream& operator<<(std::ostream& os, const Mode& m) { return os << m.name; }

class FxColourTest : public ::testing::Test {
 protected:
  void TearDown() override { Release(); }
  void Release() {
    for (auto& sd : surfaces_) DDReleaseSurface(sd.get());
    surfaces_.clear();
    DDResetForTest();
  }
  // Full screen (the 16-bit device back buffer is then R5G6B5).
  void Init(const Mode& m) {
    Release();
    plat::DrawFaultInjection().use555 = m.use555;
    plat::DrawFaultInjection().desktopBitsOverride = m.bpp;
    ASSERT_TRUE(DDInit(m.d3d, 0, 640, 480, m.bpp, 0, 0, 1, 60, 0, nullptr, nullptr, 0)) << m;
  }
  // A surface of raw pixels (row by row); device surfaces are render targets
  // unless `system`.
  DDSURFACEDATA* Make(int w, int h, const std::vector<uint32_t>& raw = {}, bool system = false) {
    surfaces_.push_back(std::make_unique<DDSURFACEDATA>());
    DDSURFACEDATA* sd = surfaces_.back().get();
    EXPECT_TRUE(DDCreateSurface(sd, w, h, 0, 1, system ? DTMEMORYTYPE_SYSTEM : DTMEMORYTYPE_VIDEO_RT, 0, 0));
    if (!raw.empty()) Put(sd, raw);
    return sd;
  }
  void Put(DDSURFACEDATA* sd, const std::vector<uint32_t>& raw) {
    cSurfaceLock lock(sd);
    ASSERT_TRUE(lock.Locked());
    const int bytes = lock.m_nBytesPerPixel;
    for (size_t k = 0; k < raw.size(); ++k) {
      const int x = static_cast<int>(k) % sd->nWidth, y = static_cast<int>(k) / sd->nWidth;
      std::memcpy(lock.Bits() + static_cast<size_t>(y) * lock.Pitch() + static_cast<size_t>(x) * bytes, &raw[k],
                  static_cast<size_t>(bytes));
    }
  }
  std::vector<uint32_t> All(DDSURFACEDATA* sd) { return SurfacePixels(sd, 0, 0, sd->nWidth, sd->nHeight); }
  // A raw opaque colour from channel values of the texture (or display) format.
  static uint32_t Raw(uint32_t r, uint32_t g, uint32_t b) {
    const uint32_t* f = DDState.TexFormat;
    uint32_t p = r << f[PF_RSHIFT] | g << f[PF_GSHIFT] | b << f[PF_BSHIFT];
    if (lpDTCon) p |= f[PF_AMAX] << f[PF_ASHIFT];
    return p;
  }
  static uint32_t Grey(uint32_t v) { return Raw(v, v, v); }
  static uint32_t Red(uint32_t p) { return (p >> DDState.TexFormat[PF_RSHIFT]) & DDState.TexFormat[PF_RMAX]; }

  DisplaySandbox sandbox_;
  std::vector<std::unique_ptr<DDSURFACEDATA>> surfaces_;
};

// ---- palettes and fades ----

TEST_F(FxColourTest, EightBitFadeOutWeightsAtStepThirty) {
  Init(kDD8);
  PALETTEENTRY src[256], dst[256];
  for (PALETTEENTRY& e : src) e = PALETTEENTRY{200, 0, 50, 0};
  // Picture share 256, 221, 127 (sin 30° is just below one half), 0:
  // red (200 × w) >> 8 toward 0, green (255 × (256 − w)) >> 8 toward 255.
  const struct {
    uint8_t red, green;
    bool done;
  } kSteps[] = {{200, 0, false}, {172, 34, false}, {99, 128, false}, {0, 255, true}};
  for (const auto& step : kSteps) {
    EXPECT_EQ(DDFadePaletteOut(dst, 0, 255, 0, 255, 0, 30.0, src, 0), step.done);
    EXPECT_EQ(dst[7].peRed, step.red);
    EXPECT_EQ(dst[7].peGreen, step.green);
    EXPECT_EQ(dst[7].peFlags, PC_RESERVED);
    EXPECT_EQ(DDState.lpDDPalette->Entries()[255], dst[255]);  // set on the display
  }
  // The fade in mirrors it: 0, 127, 221, 256.
  const uint8_t kIn[] = {0, 99, 172, 200};
  for (int call = 0; call < 4; ++call) {
    EXPECT_EQ(DDFadePaletteIn(dst, 0, 255, 0, 0, 0, 30.0, src, 0), call == 3);
    EXPECT_EQ(dst[3].peRed, kIn[call]);
  }
  // Finish-now ends in one call with the end picture.
  EXPECT_TRUE(DDFadePaletteOut(dst, 0, 255, 9, 9, 9, 1.0, src, 1));
  EXPECT_EQ(dst[0].peRed, 9);
  // Ranges past 255 are cut; a reversed range leaves the palette alone.
  PALETTEENTRY out[256] = {};
  DDBlendPalette(out, 250, 400, 256, 0, 0, 0, src);
  DDBlendPalette(out, 20, 10, 256, 0, 0, 0, src);
  EXPECT_EQ(out[255].peRed, 200);
  EXPECT_EQ(out[249].peRed, 0);
  EXPECT_EQ(out[15].peRed, 0);
}

TEST_F(FxColourTest, ScreenFadesOfDeeperDisplays) {
  // Per mode: the back buffer's raw pixel after each call of a fade out to
  // white at step 45 (weights 256, 181, 0) from a picture of channel 10.
  const struct {
    Mode mode;
    uint32_t start, steps[3];
  } kCases[] = {
      {kDD32, 0x0A0A0A, {0x0A0A0A, 0x515151, 0xFFFFFF}},
      // 5/6-bit channels pass 0..255 and back: 10 → 82 → 9; 20 → 80 → 19.
      {kDD565, 10u << 11 | 20u << 5 | 10u, {9u << 11 | 19u << 5 | 9u, 16u << 11 | 32u << 5 | 16u, 0xFFFFu}},
      // The device darkens with a black quad whatever the colour: alpha 0, 75, 255.
      {kD3D32, 0xFF0A0A0A, {0x0A0A0A, 0x070707, 0x000000}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.mode.name);
    Init(c.mode);
    Put(DDBackBuffer(), std::vector<uint32_t>(640, c.start));
    for (int call = 0; call < 3; ++call) {
      EXPECT_EQ(DDFadePaletteOut(DDState.DDPaletteWork, 0, 255, 255, 255, 255, 45.0, DDState.DDPalette, 0), call == 2);
      EXPECT_EQ(Pixel(DDBackBuffer(), 5, 0) & (c.mode.bpp == 16 ? 0xFFFFu : 0xFFFFFFu), c.steps[call]) << call;
    }
  }
}

TEST_F(FxColourTest, FadeUnPalAndChangeColor) {
  Init(kDD32);
  DDSURFACEDATA* src = Make(2, 1, {0xC8C8C8, 0x102030});
  DDSURFACEDATA* dst = Make(3, 1, {1, 1, 1});
  // Whole-surface operations of the other back end only log.
  DDChangeColorAll(dst, 0, 0, 3, 1, 0, 255, 255, 255);
  EXPECT_NE(sandbox_.ErrorCheckLog().find("DDChangeColor(DDSURFACEDATA *lpDstSD,int x,int y,int nWidth"),
            std::string::npos);
  DDFade_UnPal(dst, 256, 0, 0, 0, src);
  EXPECT_EQ(All(dst), (std::vector<uint32_t>{0xC8C8C8, 0x102030, 1}));  // only where both surfaces are
  DDFade_UnPal(dst, 128, 100, 0, 255, src);
  EXPECT_EQ(All(dst)[0], 0x9664E3u);  // 200 with 100 half and half is 150, with 0 100, with 255 227
  DDFade_UnPal(dst, -5, 1, 2, 3, src);
  EXPECT_EQ(All(dst)[1], 0x010203u);

  Init(kD3D32);
  src = Make(2, 2, {0xFF804020, 0xFF000000, 0xFFFFFFFF, 0x00000000});
  dst = Make(2, 2, {0xFF0000FF, 0xFF0000FF, 0xFF0000FF, 0xFF0000FF});
  const std::vector<uint32_t> before = All(dst);
  DDChangeColor(dst, 0, 0, 2, 2, src, 255, 255, 255, 255);  // alpha 0: nothing shows
  EXPECT_EQ(All(dst), before);
  DDChangeColor(dst, 0, 0, 2, 2, src, 0, 255, 255, 255);  // white at full opacity: the source itself
  EXPECT_EQ(All(dst), (std::vector<uint32_t>{0xFF804020, 0xFF000000, 0xFFFFFFFF, 0xFF0000FF}));
  DDChangeColor(dst, 0, 0, 2, 2, src, 0, 0, 255, 0);  // green modulates: only green is left
  EXPECT_EQ(All(dst)[0], 0xFF004000u);
  DDFade_UnPal(dst, 0, 1, 2, 3, src);
  EXPECT_EQ(All(dst)[0], 0xFF004000u);
  EXPECT_NE(sandbox_.ErrorCheckLog().find("D3DではDDFade_UnPalは未対応"), std::string::npos);
}

TEST_F(FxColourTest, ColourTableFromThePictureGrid) {
  for (const Mode& m : {kDD565, kDD32, kD3D16, kD3D32}) {
    SCOPED_TRACE(m.name);
    Init(m);
    // Cell k of the 16 × 16 grid at rows 8..23: red k & 31, green k >> 3, blue 31 − red.
    std::vector<uint32_t> grid(16 * 24, Raw(0, 0, 0));
    for (uint32_t k = 0; k < 256; ++k) grid[(8 + k / 16) * 16 + k % 16] = Raw(k & 31, k >> 3, 31 - (k & 31));
    grid[(8 + 2) * 16 + 3] = 0;  // cell 35: transparent to the device
    DDSURFACEDATA* sd = Make(16, 24, grid, true);
    PALETTEENTRY table[256];
    for (PALETTEENTRY& e : table) e = PALETTEENTRY{1, 2, 3, 4};
    EXPECT_TRUE(DDSetPalette_UnPal(table, sd));
    // DirectDraw keeps the display's channel ranges; the 16-bit device widens to 0..255.
    auto c = [&](uint32_t v) { return static_cast<uint8_t>(m.d3d && m.bpp == 16 ? v * 255 / 31 : v); };
    const uint8_t fourth = m.d3d || m.bpp == 16 ? 4 : 0;
    EXPECT_EQ(table[17], (PALETTEENTRY{c(17), c(2), c(14), fourth}));
    EXPECT_EQ(table[255], (PALETTEENTRY{c(31), c(31), c(0), fourth}));
    EXPECT_EQ(table[35], m.d3d ? (PALETTEENTRY{1, 2, 3, 4}) : (PALETTEENTRY{0, 0, 0, fourth}));
    // A picture smaller than the grid gives only the entries it holds.
    for (PALETTEENTRY& e : table) e = PALETTEENTRY{1, 2, 3, 4};
    DDSetPalette_UnPal(table, Make(4, 10, std::vector<uint32_t>(40, Raw(5, 6, 7)), true));
    EXPECT_EQ(table[19], (PALETTEENTRY{c(5), c(6), c(7), fourth}));
    EXPECT_EQ(table[20], (PALETTEENTRY{1, 2, 3, 4}));
    EXPECT_EQ(table[32], (PALETTEENTRY{1, 2, 3, 4}));
  }
}

// ---- colour change and translucent ----

TEST_F(FxColourTest, ColourChangeHalvesTowardTheTarget) {
  // Channel 200 toward a target of 100: DirectDraw halves level times; the
  // device's processor path mixes by 0x40/0x20/0x10 from level 2 and
  // reaches the target at 5; its quad keeps 0x80/0x50 of the picture.
  const struct {
    Mode mode;
    bool quad;
    int level;
    uint32_t red;
  } kCases[] = {
      {kDD32, false, 1, 150},  {kDD32, false, 2, 125},   {kDD32, false, 5, 103},  {kD3D32, false, 1, 150},
      {kD3D32, false, 2, 125}, {kD3D32, false, 3, 112},  {kD3D32, false, 5, 100}, {kD3D32, true, 1, 150},
      {kD3D32, true, 2, 131},  {kD3D32, true, 5, 100},   {kD3D32, false, 9, 100}, {kD3D32, true, 9, 100},
      {kD3D32, false, 0, 7},   {kD3D32, true, 0, 7},
      // 5-bit: DirectDraw 25 → 205, toward 255 → 230 → 27; the device (25 + 31) >> 1.
      {kDD565, false, 1, 27},  {kDD555, false, 1, 27},  {kD3D16, false, 1, 28},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.mode << (c.quad ? " quad" : "") << " level " << c.level);
    Init(c.mode);
    PALETTEENTRY table[256] = {};
    const bool five = c.mode.bpp == 16;
    table[9] = five ? PALETTEENTRY{static_cast<uint8_t>(lpDTCon ? 255 : 31), 0, 0, 0} : PALETTEENTRY{100, 0, 0, 0};
    DDSURFACEDATA* src = Make(2, 1, {Raw(five ? 25 : 200, 0, 0), Raw(1, 2, 3)}, !c.quad);
    DDSURFACEDATA* dst = Make(2, 1, {Raw(7, 0, 0), Raw(7, 0, 0)});
    EXPECT_EQ(DDBltColorChange(dst, 0, 0, 1, 1, src, 0, 0, 0, table, nullptr, 9, c.level), 1);
    const uint32_t p = Pixel(dst, 0, 0);
    EXPECT_EQ(Red(p), c.red);
    if (c.mode.d3d && c.mode.bpp == 32) {
      EXPECT_EQ(p >> 24, 0xFFu);
    }
    EXPECT_EQ(Red(Pixel(dst, 1, 0)), 7u);  // outside the rectangle
  }
}

TEST_F(FxColourTest, EightBitBlendTableOrder) {
  Init(kDD8);
  // Not symmetric, so the order of the two operands shows.
  std::vector<uint8_t> table(65536);
  for (int a = 0; a < 256; ++a)
    for (int b = 0; b < 256; ++b) table[a * 256 + b] = static_cast<uint8_t>(a + 2 * b);
  DDState.dwColorKey = 5;
  DDSURFACEDATA* src = Make(4, 1, {10, 5, 0, 6});
  DDSURFACEDATA* dst = Make(4, 1, {3, 3, 3, 0});
  DDBltColorChange(dst, 0, 0, 4, 1, src, 0, 0, 1, DDState.DDPalette, table.data(), 1, 3);
  EXPECT_EQ(All(dst), (std::vector<uint32_t>{16, 3, 6, 12}));  // 10 → 12 → 14 → 16; the key 5 is skipped
  Put(dst, {3, 3, 3, 0});
  DDBltTranslucent(dst, 0, 0, 4, 1, src, 0, 0, 1, table.data(), 0);
  // [d][s]: 3 + 2 × 10; palette number 0 is skipped; over 0 the source as it is.
  EXPECT_EQ(All(dst), (std::vector<uint32_t>{23, 13, 3, 6}));
  EXPECT_EQ(DDBltTranslucent(dst, 0, 0, 4, 1, src, 0, 0, 0, nullptr, 0), 0);  // no table: nothing
  EXPECT_EQ(All(dst), (std::vector<uint32_t>{23, 13, 3, 6}));
}

TEST_F(FxColourTest, TranslucentMixesHalfAndHalf) {
  for (const Mode& m : {kDD32, kDD565, kDD555, kD3D32, kD3D16}) {
    SCOPED_TRACE(m.name);
    Init(m);
    const bool five = m.bpp == 16;
    DDState.dwColorKey = Raw(0, 0, 1);
    DDSURFACEDATA* src = Make(3, 1, {Raw(five ? 20 : 200, 0, 0), Raw(five ? 20 : 200, 0, 0), Raw(0, 0, 1)}, true);
    DDSURFACEDATA* dst = Make(3, 1, {Raw(five ? 10 : 100, 0, 0), Raw(0, 0, 1), Raw(3, 0, 0)});
    DDBltTranslucentHalf(dst, 0, 0, 3, 1, src, 0, 0, 1, nullptr);
    // 16-bit DirectDraw goes through 0..255: 20 → 164, 10 → 82, mean 123 → 14.
    EXPECT_EQ(Red(Pixel(dst, 0, 0)), m.d3d ? (five ? 15u : 150u) : (five ? 14u : 150u));
    // Over the key DirectDraw copies the source; the device has no such test.
    EXPECT_EQ(Red(Pixel(dst, 1, 0)), m.d3d ? (five ? 10u : 100u) : (five ? 20u : 200u));
    if (!m.d3d) {
      EXPECT_EQ(Red(Pixel(dst, 2, 0)), 3u);  // a keyed source pixel is skipped
    }
  }
  // The full-screen 16-bit back buffer is R5G6B5: the source's 5-bit green
  // counts twice against the destination's six bits.
  Init(kD3D16);
  DDSURFACEDATA* src = Make(1, 1, {0x8000u | 31u << 10 | 31u << 5}, true);
  Put(DDBackBuffer(), {1u << 11 | 10u << 5});
  DDBltTranslucent(DDBackBuffer(), 0, 0, 1, 1, src, 0, 0, 0, nullptr, 0);
  EXPECT_EQ(Pixel(DDBackBuffer(), 0, 0), 16u << 11 | 36u << 5);
  // Level 255 draws nothing visible.
  Init(kD3D32);
  DDSURFACEDATA* white = Make(1, 1, {0xFFFFFFFF});
  DDSURFACEDATA* black = Make(1, 1, {0xFF000000});
  DDBltTranslucent(black, 0, 0, 1, 1, white, 0, 0, 0, nullptr, 255);
  EXPECT_EQ(Pixel(black, 0, 0), 0xFF000000u);
}

// ---- blur and mosaic ----

TEST_F(FxColourTest, BlurAveragesTheWindowAboveAndLeft) {
  const std::vector<uint32_t> kApart{0, 0, 1, 1, 2, 3, 4, 5, 6};
  const std::vector<uint32_t> kInPlace{0, 0, 1, 1, 1, 1, 3, 3, 3};  // reads what it wrote
  for (const Mode& m : {kDD32, kDD565, kDD555, kD3D32, kD3D16}) {
    SCOPED_TRACE(m.name);
    Init(m);
    std::vector<uint32_t> grey;
    for (uint32_t v = 0; v < 9; ++v) grey.push_back(Grey(v));
    DDSURFACEDATA* src = Make(3, 3, grey, true);
    DDSURFACEDATA* dst = Make(5, 5);
    const uint32_t corner = Pixel(dst, 0, 0);
    EXPECT_EQ(DDBltBlur(dst, 1, 1, 3, 3, 1, 1, src, 0, 0, 0), 1);
    EXPECT_EQ(DDBltBlur(src, 0, 0, 3, 3, 1, 1, src, 0, 0, 0), 1);
    const std::vector<uint32_t> apart = SurfacePixels(dst, 1, 1, 3, 3), inPlace = All(src);
    for (size_t k = 0; k < 9; ++k) {
      EXPECT_EQ(apart[k], Grey(kApart[k])) << k;
      EXPECT_EQ(inPlace[k], Grey(kInPlace[k])) << k;
    }
    EXPECT_EQ(Pixel(dst, 0, 0), corner);
  }
  // Transparent pixels neither count nor get drawn; wide windows stay inside
  // the rectangle and the source.
  Init(kD3D32);
  DDSURFACEDATA* src = Make(2, 2, {0xFF000064, 0x00FFFFFF, 0xFF0000C8, 0xFF000000});
  DDSURFACEDATA* dst = Make(2, 2, {7, 7, 7, 7});
  DDBltBlur(dst, 0, 0, 2, 2, 1, 1, src, 0, 0, 1);
  EXPECT_EQ(All(dst), (std::vector<uint32_t>{0xFF000064, 7, 0xFF000096, 0xFF000064}));
  DDBltBlur(dst, 0, 0, 2, 2, 50, 50, src, 0, 0, 1);
  EXPECT_EQ(All(dst), (std::vector<uint32_t>{0xFF000064, 7, 0xFF000064, 0xFF000064}));
  // A window of more than 4,096 pixels: left half 0, right half 200; at
  // column 0 the window holds 35 + 5 columns, at 34 all 70, at 69 6 + 35.
  Init(kDD32);
  std::vector<uint32_t> halves(70 * 70);
  for (size_t k = 0; k < halves.size(); ++k) halves[k] = k % 70 < 35 ? 0 : Grey(200);
  src = Make(70, 70, halves);
  dst = Make(70, 70);
  DDBltBlur(dst, 0, 0, 70, 70, 40, 40, src, 0, 0, 0);
  EXPECT_EQ(SurfacePixels(dst, 0, 9, 70, 1)[0], Grey(25));
  EXPECT_EQ(SurfacePixels(dst, 0, 9, 70, 1)[34], Grey(100));
  EXPECT_EQ(SurfacePixels(dst, 0, 9, 70, 1)[69], Grey(170));
  Init(kDD8);
  DDSURFACEDATA* idx = Make(2, 2, {1, 2, 3, 4});
  EXPECT_EQ(DDBltBlur(idx, 0, 0, 2, 2, 1, 1, idx, 0, 0, 0), 0);  // no blur of palette numbers
}

TEST_F(FxColourTest, MosaicBlocksTakeTheirMean) {
  for (const Mode& m : {kDD32, kD3D32}) {
    SCOPED_TRACE(m.name);
    Init(m);
    std::vector<uint32_t> ramp;
    for (uint32_t y = 0; y < 10; ++y)
      for (uint32_t x = 0; x < 10; ++x) ramp.push_back(Grey(10 * y + x));
    DDSURFACEDATA* src = Make(10, 10, ramp, true);
    DDSURFACEDATA* dst = Make(10, 10);
    EXPECT_EQ(DDBltMosaic(dst, 0, 0, 10, 10, 4, src, 0, 0, 0), 1);
    // Blocks of widths 4, 4, 2: means 16.5, 23.5 (2 × 4 pixels) and 93.
    EXPECT_EQ(Pixel(dst, 3, 3), Grey(16));
    EXPECT_EQ(Pixel(dst, 9, 0), Grey(23));
    EXPECT_EQ(Pixel(dst, 8, 9), Grey(93));
    DDBltMosaic(dst, 0, 0, 10, 10, 1, src, 0, 0, 0);
    EXPECT_EQ(All(dst), All(src));  // size 1 copies at 32 bits
  }
  // 16-bit: the 0..255 round trip darkens (1 → 8 → 0, 16 → 131 → 15).
  for (const Mode& m : {kDD565, kDD555, kD3D16}) {
    SCOPED_TRACE(m.name);
    Init(m);
    const uint32_t top = DDState.TexFormat[PF_GMAX];
    DDSURFACEDATA* src = Make(3, 1, {Raw(1, 0, 0), Raw(16, 0, 0), Raw(31, top, 31)}, true);
    DDSURFACEDATA* dst = Make(3, 1);
    DDBltMosaic(dst, 0, 0, 3, 1, 1, src, 0, 0, 0);
    EXPECT_EQ(All(dst), (std::vector<uint32_t>{Raw(0, 0, 0), Raw(15, 0, 0), Raw(31, top, 31)}));
  }
  // 8-bit: exactly the top-left pixel of each block; a keyed one is not drawn.
  Init(kDD8);
  DDState.dwColorKey = 9;
  DDSURFACEDATA* src = Make(4, 2, {1, 2, 9, 4, 5, 6, 7, 8});
  DDSURFACEDATA* dst = Make(4, 2);
  DDBltMosaic(dst, 0, 0, 4, 2, 2, src, 0, 0, 1);
  EXPECT_EQ(All(dst), (std::vector<uint32_t>{1, 1, 0, 0, 1, 1, 0, 0}));
}

TEST_F(FxColourTest, BadInputDrawsNothing) {
  std::vector<uint8_t> table(65536, 1);
  uint8_t* const t = table.data();
  PALETTEENTRY colours[256] = {};
  using S = DDSURFACEDATA*;
  using Call = std::function<int(S, S)>;
  const Call kCalls[] = {
      [&](S d, S s) { return DDBltBlur(d, 0, 0, 0, 4, 1, 1, s, 0, 0, 0); },
      [&](S d, S s) { return DDBltBlur(d, 0, 0, 4, 4, -2, 1, s, 0, 0, 0); },
      [&](S d, S s) { return DDBltBlur(d, 0, 0, 4, 4, 1, 1, s, 9, -20, 0); },
      [&](S d, S s) { return DDBltMosaic(d, 0, 0, 4, 4, 0, s, 0, 0, 0); },
      [&](S d, S s) { return DDBltMosaic(d, 0, 0, 4, 4, -3, s, 0, 0, 0); },
      [&](S d, S s) { return DDBltMosaic(d, 5, 0, 0x7FFFFFFF, 4, 1, s, 0, 0, 0); },
      [&](S d, S s) { return DDBltMosaic(d, 0, 0, 4, 4, 2, s, -100, 50, 1); },
      [&](S d, S s) { return DDBltColorChange(d, 0, 0, 4, -1, s, 0, 0, 0, colours, t, 3, 2); },
      [&](S d, S s) { return DDBltColorChange(d, 0, 0, 4, 4, s, 0, 0, 0, colours, t, 300, 2); },
      [&](S d, S s) { return DDBltColorChange(d, -4, 0, 4, 4, s, 0x7FFFFFF0, 0, 0, colours, t, 3, 0x7FFFFFFF); },
      [&](S d, S s) { return DDBltTranslucent(d, 0x7FFFFFF0, 0x7FFFFFF0, 0x7FFFFFFF, 0x7FFFFFFF, s, 0, 0, 0, t, 9); },
  };
  for (const Mode& m : {kDD8, kDD565, kDD32, kD3D16, kD3D32}) {
    SCOPED_TRACE(m.name);
    Init(m);
    DDSURFACEDATA* src = Make(4, 4, std::vector<uint32_t>(16, 0x12));
    DDSURFACEDATA* dst = Make(4, 4, std::vector<uint32_t>(16, 0x34));
    const std::vector<uint32_t> before = All(dst);
    for (size_t k = 0; k < std::size(kCalls); ++k) {
      kCalls[k](dst, src);
      EXPECT_EQ(All(dst), before) << "call " << k;
    }
  }
}

}  // namespace
