// The graphics layer over both back ends: set-up and its failures, loading,
// colour keys, blits, fills, palette numbers, the sprite batch, present and
// the restores. Known answers come from the layer's formulas.
#include "gfx/dd.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "base/logs.h"
#include "data/settings.h"
#include "platform/window_host.h"
#include "support/bmp_writer.h"
#include "support/display.h"
#include "surface_pixels.h"

namespace {

struct Mode {
  const char* name;
  uint32_t d3d;
  int bpp;
  bool use555;
};

class GfxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 256; ++i)
      DDState.DDPalette[i] = PALETTEENTRY{uint8_t(i), uint8_t(255 - i), uint8_t(i * 3), 0};
    // Palette 1: C; the key picture's colour (255, 0, 255).
    DDState.DDPalette[1] = PALETTEENTRY{0, 255, 0, 0};
    DDState.DDPalette[2] = PALETTEENTRY{0, 0, 255, 0};
  }
  std::string Path(const char* name) const { return sandbox_ / name; }
  // A bottom-up BMP in the sandbox, 24-bit from 0xRRGGBB pixels or 8-bit
  // with a colour table; its path.
  std::string Bmp(const char* name, int w, int h, const std::vector<uint32_t>& px,
                  const std::vector<uint32_t>* table = nullptr) {
    return sandbox_.Write(name, testbmp::AsString(table ? testbmp::Indexed8(w, h, *table, px) : testbmp::Rgb24(w, h, px)));
  }
  std::string EC() const { return sandbox_.ErrorCheckLog(); }
  std::string Report() const { return sandbox_.Report(); }

  bool Init(const Mode& m, uint32_t windowed = 0) {
    plat::DrawFaultInjection().use555 = m.use555;
    plat::DrawFaultInjection().desktopBitsOverride = m.bpp;
    return DDInit(m.d3d, 0, 640, 480, m.bpp, 0, windowed, 1, 60, 0, table_, info_, 4);
  }
  DisplaySandbox sandbox_;
  DDSURFACEDATA table_[4];
  DDSURFACEINFO info_[4];
};

const Mode kModes[] = {{"DD8", 0, 8, false},   {"DD565", 0, 16, false}, {"DD555", 0, 16, true},
                       {"DD32", 0, 32, false}, {"D3D16", 1, 16, false}, {"D3D32", 1, 32, false}};

TEST_F(GfxTest, PaletteNumbersToDeviceColours) {
  struct {
    Mode mode;
    PALETTEENTRY entry;
    uint32_t want;
  } cases[] = {
      {kModes[1], {31, 63, 31, 0}, 0xFFFF}, {kModes[1], {16, 32, 16, 0}, 0x8410},
      {kModes[1], {40, 70, 40, 0}, 0x40C8},  // masked, not scaled
      {kModes[2], {16, 32, 16, 0}, 0x4010},  {kModes[3], {1, 2, 3, 0}, 0x010203},
      {kModes[0], {1, 2, 3, 0}, 7},          {kModes[5], {1, 2, 3, 0}, 0xFF010203},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(Init(c.mode)) << c.mode.name;
    DDState.DDPalette[7] = c.entry;
    EXPECT_EQ(PalNumToRGB(7), c.want) << c.mode.name;
    DDResetForTest();
  }
  ASSERT_TRUE(Init(kModes[5]));
  EXPECT_EQ(PalNumToRGB(0), 0u);  // transparent black in Direct3D
  EXPECT_EQ(PalNumToRGB(256), 0u);
  EXPECT_NE(EC().find("PalNumToRGB(DWORD dwPalNum) Err dwPalNum = 256\n"), std::string::npos);
}

TEST_F(GfxTest, ClipBltKnownAnswers) {
  ASSERT_TRUE(Init(kModes[3]));
  DDSURFACEDATA src;
  ASSERT_TRUE(DDCreateSurface(&src, 64, 64, 0, 1, 1, 0, 0));
  // Rectangles in and out: x, w, sx, sw (y 0, h 10, sy 0, sh 10), and the result.
  const struct { int in[4], result, out[4]; } cases[] = {
      {{-5, 20, 0, 20}, 1, {0, 15, 5, 15}},
      {{630, 20, 0, 10}, 1, {630, 10, 0, 5}},  // scaled, cut at the right edge keeps the scale
      {{7, 10, -5, 10}, 1, {7, 5, 0, 5}},      // source cut, destination kept
      {{-20, 20, 0, 20}, 0, {}},                // wholly left
  };
  for (const auto& c : cases) {
    int x = c.in[0], w = c.in[1], sx = c.in[2], sw = c.in[3], y = 0, h = 10, sy = 0, sh = 10;
    ASSERT_EQ(DDClipBlt(DDBackBuffer(), &x, &y, &w, &h, &src, &sx, &sy, &sw, &sh), c.result) << c.in[0];
    if (c.result) {
      EXPECT_EQ(std::vector<int>({x, w, sx, sw}), std::vector<int>(c.out, c.out + 4)) << c.in[0];
    }
  }
  DDReleaseSurface(&src);
}

// Key K = (255, 0, 255), colour C, destination filled with palette 2.
TEST_F(GfxTest, KeyedAndOpaqueBlitsInEveryModeAndDepth) {
  const uint32_t C = 0x00FF00, K = 0xFF00FF;
  // The top-left pixel is the key: the key is read from it.
  std::vector<uint32_t> px(16), indexed(16), table(256, 0);
  for (int i = 0; i < 16; ++i) indexed[i] = (i % 4 + i / 4) & 1, px[i] = indexed[i] ? C : K;
  table[0] = K, table[1] = C;
  for (const Mode& m : kModes) {
    SCOPED_TRACE(m.name);
    const std::string file = m.bpp == 8 ? Bmp("s8.bmp", 4, 4, indexed, &table) : Bmp("s24.bmp", 4, 4, px);
    ASSERT_TRUE(Init(m));
    if (m.bpp == 8) DDState.DDPalette[0] = PALETTEENTRY{255, 0, 255, 0};
    ASSERT_TRUE(DDSetupPaletteAndKey(file.c_str(), 0, 0, 0, 0));
    DDState.DDPalette[2] = PALETTEENTRY{0, 0, m.d3d ? uint8_t(255) : uint8_t(m.bpp == 16 ? 31 : 255), 0};
    DDSURFACEDATA sprite;
    ASSERT_EQ(DDCreateSurfaceFromFile(&sprite, file.c_str(), 1, m.bpp, 0, 0, 0, 0, 0, 0, 0), 0u);
    const uint32_t keyRaw = m.d3d ? 0 : DDState.dwColorKey;
    // The sprite's own pixels, raw, for the expectations.
    const uint32_t rawC = Pixel(&sprite, 1, 0), rawKey = Pixel(&sprite, 0, 0);
    if (!m.d3d) EXPECT_EQ(rawKey, keyRaw);
    else EXPECT_EQ(rawKey, 0u);  // key texels are transparent black
    for (uint32_t flags : {1u, 0u}) {
      DDFillRect(DDBackBuffer(), 0, 0, 640, 480, 2);
      const uint32_t rawD = Pixel(DDBackBuffer(), 100, 100);
      DDBlt(DDBackBuffer(), 10, 20, 4, 4, &sprite, 0, 0, flags);
      for (int i = 0; i < 16; ++i) {
        const int x = 10 + i % 4, y = 20 + i / 4;
        const bool key = px[i] == K;
        uint32_t want;
        if (!key) {
          want = rawC;
          if (m.d3d && m.bpp == 32) want = rawC | 0xFF000000u;
          if (m.d3d && m.bpp == 16) {
            // R5G6B5 back buffer through the device: 5-bit green widened
            // to 8 bits and narrowed to 6 with rounding.
            const uint32_t g8 = ((rawC >> 5) & 31) * 255 / 31;
            want = (((rawC >> 10) & 31) << 11) | (((g8 * 63 + 127) / 255) << 5) | (rawC & 31);
          }
        } else if (flags == 1) {
          want = rawD;
        } else if (!m.d3d) {
          want = keyRaw;  // an opaque copy carries the key
        } else {
          // Direct3D clears to the key, opaque, on the back buffer.
          want = m.bpp == 32 ? 0xFFFF00FFu : ((31u << 11) | (0u << 5) | 31u);
        }
        EXPECT_EQ(Pixel(DDBackBuffer(), x, y), want) << "pixel " << i << " flags " << flags;
      }
    }
    DDReleaseSurface(&sprite);
    DDResetForTest();
  }
}

TEST_F(GfxTest, SixteenBitLoadingKeepsOpaquePixelsOffTheKey) {
  // R5G6B5, 8-bit key (255, 0, 255): (200, 100, 50) → 0xC306; the key → 0xF81F;
  // (255, 1, 255) packs to the key too and moves down one (blue at maximum).
  std::vector<uint32_t> px = {0xC86432, 0xFF00FF, 0xFF01FF, 0x000000};
  const std::string file = Bmp("k.bmp", 4, 1, px);
  ASSERT_TRUE(Init(kModes[1]));
  DDSetTransmit(255, 0, 255);
  EXPECT_EQ(DDState.dwColorKey, 0xF81Fu);
  EXPECT_NE(EC().find("※16bit色で　DDSetTransmit(BYTE cbRed,BYTE cbGreen,BYTE cbBlue)　は未対応！"),
            std::string::npos);
  lpDDCon->rgbTransmit8 = RGBTRIPLE{255, 0, 255};
  DDSURFACEDATA s;
  ASSERT_EQ(DDCreateSurfaceFromFile(&s, file.c_str(), 1, 16, 1, 1, 0, 0, 0, 0, 0), 0u);
  EXPECT_EQ(SurfacePixels(&s, 0, 0, 3, 1), (std::vector<uint32_t>{0xC306u, 0xF81Fu, 0xF81Eu}));
  DDReleaseSurface(&s);
}

TEST_F(GfxTest, QuadAndProcessorPathsDrawTheSamePixels) {
  // Direct3D 32-bit and 16-bit: the same sprite drawn through the device
  // (render-target destination) and on the processor (system-memory
  // destination), 1:1, doubled and mirrored.
  std::vector<uint32_t> px(8 * 4);
  for (int i = 0; i < 32; ++i) px[i] = (i % 3 == 0) ? 0xFF00FF : 0x102030u * (i + 1) % 0xFFFFFF;
  const std::string file = Bmp("x.bmp", 8, 4, px);
  for (const Mode& m : {kModes[4], kModes[5]}) {
    SCOPED_TRACE(m.name);
    ASSERT_TRUE(Init(m, 1));
    DDSetTransmit(255, 0, 255);
    if (m.bpp == 16) lpDTCon->rgbTransmit8 = RGBTRIPLE{255, 0, 255};
    DDSURFACEDATA sprite, rt, sys;
    ASSERT_EQ(DDCreateSurfaceFromFile(&sprite, file.c_str(), 1, m.bpp, 0, 0, 0, 0, 0, 0, 0), 0u);
    ASSERT_TRUE(DDCreateSurface(&rt, 32, 16, 1, 0, DTMEMORYTYPE_VIDEO_RT, 0, 0));
    ASSERT_TRUE(DDCreateSurface(&sys, 32, 16, 1, 1, DTMEMORYTYPE_SYSTEM, 0, 0));
    ASSERT_TRUE(rt.lpDT->bRenderTarget && !sys.lpDT->bRenderTarget);
    struct { int dw, dh, sx, sw, flags; } cases[] = {{8, 4, 0, 8, 1}, {16, 8, 0, 8, 1}, {8, 4, 8, -8, 0}, {4, 4, 2, 4, 0}};
    for (const auto& c : cases) {
      for (DDSURFACEDATA* d : {&rt, &sys}) {
        DDFillSurfaceColor(d, 0xFF000000u);
        DDBltStretch(d, 3, 2, c.dw, c.dh, &sprite, c.sx, 0, c.sw, 4, c.flags);
      }
      for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
          ASSERT_EQ(Pixel(&rt, x, y), Pixel(&sys, x, y)) << x << "," << y << " dw " << c.dw << " sw " << c.sw;
    }
    DDReleaseSurface(&sprite);
    DDReleaseSurface(&rt);
    DDReleaseSurface(&sys);
    DDResetForTest();
  }
}

TEST_F(GfxTest, UnkeyedRunsOfAKeyedPictureFillEveryRectangleBeforeDrawing) {
  // A keyed 4x1 picture (key, opaque, key, opaque) drawn unkeyed twice in
  // one batch run, in both Direct3D depths: rectangles that overlap are all
  // filled with the key colour before either is drawn, so the second one's
  // transparent texels keep the first one's opaque ones; rectangles apart
  // come out as two single draws.
  const std::string file = Bmp("k4.bmp", 4, 1, {0xFF00FF, 0x204060, 0xFF00FF, 0x204060});
  for (const Mode& m : {kModes[4], kModes[5]}) {
    SCOPED_TRACE(m.name);
    ASSERT_TRUE(Init(m, 1));
    DDSetTransmit(255, 0, 255);
    if (m.bpp == 16) lpDTCon->rgbTransmit8 = RGBTRIPLE{255, 0, 255};
    DDSURFACEDATA sprite, dst;
    ASSERT_EQ(DDCreateSurfaceFromFile(&sprite, file.c_str(), 1, m.bpp, 0, 0, 0, 0, 0, 0, 0), 0u);
    ASSERT_TRUE(DDCreateSurface(&dst, 16, 2, 0, 0, DTMEMORYTYPE_VIDEO_RT, 0, 0));
    auto row = [&](std::initializer_list<int> xs, bool batch) {
      DDFillSurfaceColor(&dst, 0xFF000000u);
      if (batch) DDBeginBatch(0);
      for (int x : xs) DDBlt(&dst, x, 0, 4, 1, &sprite, 0, 0, 0);
      if (batch) DDEndBatch();
      std::vector<uint32_t> got;
      for (int x = 0; x < 9; ++x) got.push_back(Pixel(&dst, x, 0));
      return got;
    };
    const std::vector<uint32_t> apart = row({0, 4}, true);
    const uint32_t key = apart[0], opaque = apart[1];
    ASSERT_NE(key, opaque);
    EXPECT_EQ(apart, (std::vector<uint32_t>{key, opaque, key, opaque, key, opaque, key, opaque, Pixel(&dst, 8, 1)}));
    EXPECT_EQ(row({0, 4}, false), apart);
    EXPECT_EQ(row({0, 1}, true), (std::vector<uint32_t>{key, opaque, opaque, opaque, opaque, apart[8], apart[8],
                                                         apart[8], apart[8]}));
    // One by one, the second fill covers the first draw.
    EXPECT_EQ(row({0, 1}, false), (std::vector<uint32_t>{key, key, opaque, key, opaque, apart[8], apart[8],
                                                          apart[8], apart[8]}));
    DDReleaseSurface(&sprite);
    DDReleaseSurface(&dst);
    DDResetForTest();
  }
}

TEST_F(GfxTest, SortedBatchGroupsTexturesAndRegisteredOnesComeLast) {
  ASSERT_TRUE(Init(kModes[5], 1));
  // Texture A holds two pictures (x 0 and x 2); every 1-pixel draw leaves
  // its texel's colour at (0, 0) of the destination.
  DDSURFACEDATA a1, b, dst;
  ASSERT_TRUE(DDCreateSurface(&a1, 4, 1, 0, 0, DTMEMORYTYPE_VIDEO_RT, 0, 0));
  ASSERT_TRUE(DDCreateSurface(&b, 4, 4, 0, 0, DTMEMORYTYPE_VIDEO_RT, 0, 0));
  ASSERT_TRUE(DDCreateSurface(&dst, 8, 8, 0, 0, DTMEMORYTYPE_VIDEO_RT, 0, 0));
  DDFillRectColor(&a1, 0, 0, 2, 1, 0xFFAA0000u);
  DDFillRectColor(&a1, 2, 0, 2, 1, 0xFFAA0001u);
  DDFillRectColor(&b, 0, 0, 4, 4, 0xFF0000BBu);
  auto draw3 = [&](uint8_t sort, bool batch) {
    DDFillSurfaceColor(&dst, 0xFF000000u);
    if (batch) DDBeginBatch(sort);
    DDBlt(&dst, 0, 0, 1, 1, &a1, 0, 0, 0);  // A first
    DDBlt(&dst, 0, 0, 1, 1, &b, 0, 0, 0);
    DDBlt(&dst, 0, 0, 1, 1, &a1, 2, 0, 0);  // A again, last in queue order
    if (batch) DDEndBatch();
    return Pixel(&dst, 0, 0);
  };
  EXPECT_EQ(draw3(0, false), 0xFFAA0001u);
  EXPECT_EQ(draw3(0, true), 0xFFAA0001u);
  EXPECT_EQ(draw3(1, true), 0xFF0000BBu);  // A, A, then B
  // A registered texture goes after every unregistered one.
  DDFillSurfaceColor(&dst, 0xFF000000u);
  DDBeginBatch(1);
  DDBatchAddTexture(&a1);
  DDBlt(&dst, 0, 0, 1, 1, &a1, 0, 0, 0);
  DDBlt(&dst, 0, 0, 1, 1, &b, 0, 0, 0);
  DDEndBatch();
  EXPECT_EQ(Pixel(&dst, 0, 0), 0xFFAA0000u);
  // The 101st begin is ignored and so is its end.
  for (int i = 0; i < 101; ++i) DDBeginBatch(0);
  EXPECT_EQ(DDBatchDepth(), 100);
  DDEndBatch();
  EXPECT_EQ(DDBatchDepth(), 100);
  for (int i = 0; i < 101; ++i) DDEndBatch();  // the last with nothing open: nothing happens
  EXPECT_EQ(DDBatchDepth(), 0);
  for (DDSURFACEDATA* s : {&a1, &b, &dst}) DDReleaseSurface(s);
}

TEST_F(GfxTest, DebugTextNumbersAndCircles) {
  ASSERT_TRUE(Init(kModes[3]));
  // A 16 × 16 glyph strip of 2 × 2 glyphs, each cell its own colour.
  DDSURFACEDATA strip, dst;
  ASSERT_TRUE(DDCreateSurface(&strip, 32, 32, 0, 1, 1, 0, 0));
  ASSERT_TRUE(DDCreateSurface(&dst, 64, 32, 0, 1, 1, 0, 0));
  for (int row = 0; row < 16; ++row)
    for (int col = 0; col < 16; ++col) DDFillRectColor(&strip, col * 2, row * 2, 2, 2, 0x010000u * row + col + 1);
  DDDrawDebugText(&dst, 0, 0, 2, 2, &strip, "A\xB1\xC5");
  EXPECT_EQ(Pixel(&dst, 0, 0), 0x040000u + 2);  // 'A' 0x41: row 4, column 1
  EXPECT_EQ(Pixel(&dst, 2, 0), 0x010000u + 2);  // 0xB1: row 1, column 1
  EXPECT_EQ(Pixel(&dst, 4, 0), 0x080000u + 6);  // 0xC5: row 8, column 5
  // Digits: 7 in a field of 3 lands two digit widths to the right.
  DDFillSurfaceColor(&dst, 0);
  DDDrawNumber(&dst, 10, 10, 2, 2, &strip, 0, 0, 0, 7, 3, 0);
  EXPECT_EQ(Pixel(&dst, 14, 10), 8u);  // cell 7 of row 0
  EXPECT_EQ(Pixel(&dst, 10, 10), 0u);
  DDFillSurfaceColor(&dst, 0);
  DDDrawCircle(&dst, 5, 5, 3, 1);
  int count = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 64; ++x) count += Pixel(&dst, x, y) != 0;
  EXPECT_EQ(count, 16);
  DDReleaseSurface(&strip);
  DDReleaseSurface(&dst);
}

TEST_F(GfxTest, DirectDrawSetUpFailuresLogTheirStep) {
  struct {
    bool plat::DrawFaults::*fault;
    const char* name;
    const char* line;
    uint32_t windowed;
  } cases[] = {
      {&plat::DrawFaults::create, "CREATEEX_ERR", "DirectDrawCreateEx Err", 0},
      {&plat::DrawFaults::displayMode, "SETDISPLAYMODE_ERR", "SetDisplayMode Err", 0},
      {&plat::DrawFaults::attach, "GETATTACHEDSURFACE_ERR", "GetAttachedSurface Err", 0},
      {&plat::DrawFaults::palette, "CREATEPALETTE_ERR", "CreatePalette Err", 0},
      {&plat::DrawFaults::clipper, "CLIPPER_ERR", "CreateClipper Err", 1},
      {&plat::DrawFaults::setClipper, "SETCLIPPER_ERR", "SetClipper Err", 1},
  };
  for (const auto& c : cases) {
    ResetLogsForTest();
    OpenReportLog(Path("Report_Game.txt").c_str());
    std::filesystem::remove(Path("EC_Game.txt"));
    SetECLog(1, Path("EC_Game.txt").c_str());
    plat::DrawFaultInjection() = plat::DrawFaults{};
    plat::DrawFaultInjection().*c.fault = true;
    plat::DrawFaultInjection().desktopBitsOverride = 32;
    EXPECT_FALSE(DDInit(0, 0, 640, 480, 32, 0, c.windowed, 1, 60, 0, table_, info_, 4)) << c.name;
    EXPECT_NE(EC().find(std::string(c.name) + "\n"), std::string::npos) << c.name;
    EXPECT_NE(Report().find(std::string(c.line) + "\n"), std::string::npos) << c.name;
    EXPECT_EQ(Report().find(std::string(c.name)), std::string::npos) << "the code name is error-check only";
    DDResetForTest();
  }
  // A refused refresh rate is retried with rate 0.
  plat::DrawFaultInjection() = plat::DrawFaults{};
  plat::DrawFaultInjection().refusedRefreshRate = 60;
  EXPECT_TRUE(DDInit(0, 0, 640, 480, 16, 1, 0, 1, 60, 1, table_, info_, 4));
  DDRelease();
  // Every object was released: no leak box.
  EXPECT_EQ(sandbox_.DialogLog().find("解放漏れ"), std::string::npos);
}

TEST_F(GfxTest, Direct3DFailureFallsBackToDirectDraw) {
  GameSettingsRecord s;
  std::tie(s.nDirect3D, s.nWindowMode, s.nBpp, s.nVSync) = std::tuple(1, 1, 0, 2);
  DDDISPLAYCHOICE choice;
  ASSERT_TRUE(DDDecideDisplay(s, 0, 0, 0, 32, choice));
  EXPECT_EQ(choice.nBpp, 32);
  EXPECT_EQ(s.nVSync, 1);
  for (int failure = 0; failure < 2; ++failure) {
    plat::DeviceConfiguration() = plat::DeviceConfig{};
    if (failure == 0) plat::DeviceConfiguration().driverVersion = 8;
    if (failure == 1) plat::DeviceConfiguration().failHardwareDevice = plat::DeviceConfiguration().failSoftwareDevice = true;
    s.nDirect3D = 1;
    ASSERT_TRUE(DDInitWithFallback(s, 0, choice, table_, info_, 4, plat::SW_SHOWNORMAL));
    EXPECT_EQ(s.nDirect3D, 0);
    EXPECT_EQ(lpDTCon, nullptr);
    EXPECT_NE(lpDDCon, nullptr);
    DDResetForTest();
  }
  EXPECT_NE(EC().find("CreateDevice Err\n"), std::string::npos);
  // Depth 24 fails Direct3D set-up outright.
  EXPECT_FALSE(DDInit(1, 0, 640, 480, 24, 0, 1, 1, 60, 0, table_, info_, 4));
  // A window whose depth differs from the desktop's is refused with its text.
  s = GameSettingsRecord{};
  std::tie(s.nDirect3D, s.nWindowMode, s.nBpp) = std::tuple(0, 1, 16);
  EXPECT_FALSE(DDDecideDisplay(s, 0, 0, 0, 32, choice));
}

TEST_F(GfxTest, DeviceRestoreReloadsFilesAndMarksEmptySurfaces) {
  const std::string file = Bmp("r.bmp", 4, 4, std::vector<uint32_t>(16, 0x336699));
  ASSERT_TRUE(Init(kModes[5], 1));
  DDSURFACEDATA fromFile, empty, sys;
  ASSERT_EQ(DDCreateSurfaceFromFile(&fromFile, file.c_str(), 0, 32, 0, 0, 0, 0, 0, 0, 0), 0u);
  ASSERT_TRUE(DDCreateSurface(&empty, 4, 4, 1, 0, DTMEMORYTYPE_VIDEO_RT, 0, 0));
  ASSERT_TRUE(DDCreateSurface(&sys, 4, 4, 0, 1, DTMEMORYTYPE_SYSTEM, 0, 0));
  DDFillRectColor(&sys, 0, 0, 4, 4, 0xFF010203u);
  DDFillRectColor(&empty, 0, 0, 4, 4, 0xFF0A0B0Cu);
  EXPECT_TRUE(DDRestoreSurface());  // nothing lost: nothing to do
  DDState.lpDevice->SimulateDeviceLoss();
  EXPECT_FALSE(DDPresent(60));
  ASSERT_TRUE(DDRestoreSurface());
  EXPECT_EQ(Pixel(&fromFile, 1, 1), 0xFF336699u);
  EXPECT_EQ(std::pair(fromFile.bLost, empty.bLost), std::pair(0u, 1u));
  EXPECT_EQ(Pixel(&empty, 1, 1), lpDTCon->dwTransmitARGB);
  EXPECT_EQ(Pixel(&sys, 1, 1), 0xFF010203u);
  EXPECT_TRUE(DDPresent(60));
  for (DDSURFACEDATA* s : {&fromFile, &empty, &sys}) DDReleaseSurface(s);
}

TEST_F(GfxTest, SurfaceLossInDirectDrawIsRestoredFromFiles) {
  const std::string file = Bmp("r.bmp", 4, 4, std::vector<uint32_t>(16, 0x336699));
  std::snprintf(info_[1].szFileName, 260, "%s", file.c_str());
  std::snprintf(info_[2].szFileName, 260, "E");
  info_[2].nWidth = info_[2].nHeight = 8;
  std::snprintf(info_[3].szFileName, 260, "%s", Path("missing.bmp").c_str());
  info_[3].bOptional = 1;
  ASSERT_TRUE(Init(kModes[3]));
  const int list[] = {1, 2, 3};
  ASSERT_TRUE(DDLoadSurfaces(table_, list, 3));
  EXPECT_EQ(table_[3].lpDDS, nullptr);  // optional and missing: left empty
  DDBlt(DDBackBuffer(), 0, 0, 4, 4, &table_[3], 0, 0, 0);  // and skipped when drawn
  DDState.lpDD->SimulateSurfaceLoss();
  ASSERT_TRUE(DDPrimaryLost());
  EXPECT_FALSE(DDPresentDirectDraw(0, 0));
  ASSERT_TRUE(DDRestore());
  EXPECT_EQ(Pixel(&table_[1], 2, 2), 0x336699u);
  EXPECT_EQ(std::pair(table_[1].bLost, table_[2].bLost), std::pair(0u, 1u));
  DDFillRect(DDBackBuffer(), 0, 0, 640, 480, 1);
  ASSERT_TRUE(DDPresentDirectDraw(0, 0));
  plat::Frame frame;
  ASSERT_TRUE(plat::GetWindowHost().LastFrame(frame));
  EXPECT_EQ(frame.pixels[1000], 0xFF00FF00u);
  // A required missing picture stops the load with its box.
  info_[3].bOptional = 0;
  EXPECT_FALSE(DDLoadSurfaces(table_, list + 2, 1));
  EXPECT_NE(sandbox_.DialogLog().find("missing.bmp"), std::string::npos);
}

TEST_F(GfxTest, VirtualBackBufferCatchesDrawsAndPresentCopiesIt) {
  ASSERT_TRUE(Init(kModes[5], 1));
  DDSetTransmit(255, 0, 255);
  DDState.DDPalette[9] = PALETTEENTRY{10, 20, 30, 0};
  DDFillRect(DDBackBuffer(), 0, 0, 640, 480, 1);
  DDSetVirtualBackBuffer(1);
  DDFillRect(DDBackBuffer(), 10, 10, 4, 4, 9);
  EXPECT_EQ(Pixel(DDVirBackBuffer(), 11, 11), 0xFF0A141Eu);
  DDSetVirtualBackBuffer(0);
  EXPECT_EQ(Pixel(DDBackBuffer(), 11, 11), 0xFF0A141Eu);
  ASSERT_TRUE(DDPresent(60));
  plat::Frame frame;
  ASSERT_TRUE(plat::GetWindowHost().LastFrame(frame));
  EXPECT_EQ(frame.pixels[11 * 640 + 11], 0xFF0A141Eu);
}

// A record that held a surface (kind, file, sizes, mirror cells, a shared
// texture, the lost flag) is all zero again, ready for its next surface.
TEST_F(GfxTest, InitSurfaceDataEmptiesAReleasedRecord) {
  const std::string file = Bmp("i.bmp", 8, 4, std::vector<uint32_t>(32, 0x336699));
  ASSERT_TRUE(Init(kModes[5], 1));
  DDSURFACEDATA sd;
  ASSERT_EQ(DDCreateSurfaceFromFile(&sd, file.c_str(), 1, 32, 0, 0, 0, 0, 4, 0, 0), 0u);
  DDReleaseSurface(&sd);
  sd.lpShareSD = &sd;
  sd.bLost = 1;
  sd.dwMemoryType = 1;
  ASSERT_NE(std::string(sd.szFileName), "");
  ASSERT_EQ(std::pair(sd.nWidth, sd.nMirrorCellW), std::pair(8, 4));
  DDInitSurfaceData(&sd);
  EXPECT_EQ(std::tuple(sd.lpDT, sd.lpDDS, sd.lpShareSD, sd.nWidth, sd.nHeight, sd.nTexWidth, sd.nTexHeight,
                       sd.dwMemoryType, sd.nMirrorCellW, sd.nMirrorCellH, sd.bLost),
            std::tuple(nullptr, nullptr, nullptr, 0, 0, 0, 0, 0u, 0, 0, 0u));
  EXPECT_EQ(std::string(std::begin(sd.szKind), std::end(sd.szKind)), std::string(sizeof sd.szKind, '\0'));
  EXPECT_EQ(std::string(std::begin(sd.szFileName), std::end(sd.szFileName)), std::string(sizeof sd.szFileName, '\0'));
  DDInitSurfaceData(nullptr);  // no record: nothing happens
}

TEST_F(GfxTest, TextureSizesRoundForTheDevice) {
  const std::string file = Bmp("big.bmp", 100, 60, std::vector<uint32_t>(100 * 60, 0x123456));
  for (uint32_t caps : {plat::D3DPTEXTURECAPS_POW2, plat::D3DPTEXTURECAPS_POW2 | plat::D3DPTEXTURECAPS_SQUAREONLY}) {
    plat::DeviceConfiguration().caps.textureCaps = caps;
    ASSERT_TRUE(Init(kModes[5], 1));
    DDSURFACEDATA s;
    ASSERT_EQ(DDCreateSurfaceFromFile(&s, file.c_str(), 0, 32, 0, 0, 0, 0, 0, 0, 0), 0u);
    EXPECT_EQ(std::vector<int>({s.nWidth, s.nHeight, s.nTexWidth}), std::vector<int>({100, 60, 128}));
    EXPECT_EQ(s.nTexHeight, (caps & plat::D3DPTEXTURECAPS_SQUAREONLY) ? 128 : 64);
    EXPECT_EQ(Pixel(&s, 110, 10), 0u);  // outside the picture: transparent black
    DDReleaseSurface(&s);
    DDResetForTest();
  }
}

}  // namespace
