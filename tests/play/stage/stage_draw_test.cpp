// The stage frame's own painters drawn headless in both back ends: the
// background layers (parallax, wrap, automatic scroll, fills), the HUD's
// layout and gauges, the sight mask, the screen colour and the bitmap sheets.
// Known answers are worked out by hand from the drawing rules.
#include "play/world/stage_draw.h"

#include <gtest/gtest.h>

#include <string>

#include "../../gfx/surface_pixels.h"
#include "data/database.h"
#include "support/bmp_writer.h"
#include "support/display.h"

namespace {

struct Mode {
  const char* name;
  uint32_t d3d;
};

class StageDrawTest : public ::testing::TestWithParam<Mode> {
 protected:
  void SetUp() override {
    for (int i = 0; i < 256; ++i) DDState.DDPalette[i] = PALETTEENTRY{uint8_t(i), uint8_t(i * 7), uint8_t(255 - i), 0};
    ASSERT_TRUE(DDInit(GetParam().d3d, 0, 640, 480, 32, 0, 1, 1, 60, 0, table_, info_, 1));
    DDSetTransmit(255, 0, 255);
  }
  void TearDown() override {
    for (DDSURFACEDATA* sd : made_) DDReleaseSurface(sd);
    SystemData = savedSystem_;
    Database = savedDatabase_;
  }
  // Palette number n as a 32-bit pixel shows it.
  static uint32_t Pal(int n) {
    const PALETTEENTRY& e = DDState.DDPalette[n];
    return (uint32_t(e.peRed) << 16) | (uint32_t(e.peGreen) << 8) | e.peBlue;
  }
  static uint32_t At(DDSURFACEDATA* sd, int x, int y) { return Pixel(sd, x, y) & 0xFFFFFF; }
  DDSURFACEDATA* Make(DDSURFACEDATA* sd, int w, int h) {
    EXPECT_TRUE(DDCreateSurface(sd, w, h, 1, 0, 0, 0, 0));
    made_.push_back(sd);
    return sd;
  }
  // A 64 x 64 background: columns 0..31 palette 1, 32..63 palette 2.
  DDSURFACEDATA* HalfAndHalf() {
    DDSURFACEDATA* bg = Make(&local_[0], 64, 64);
    DDFillRect(bg, 0, 0, 32, 64, 1);
    DDFillRect(bg, 32, 0, 32, 64, 2);
    return bg;
  }
  DisplaySandbox sandbox_;
  DDSURFACEDATA table_[1];
  DDSURFACEINFO info_[1];
  DDSURFACEDATA local_[2];  // the tests' own surfaces, released by TearDown
  const cSystemData savedSystem_ = SystemData;
  const cDatabase savedDatabase_ = Database;
  std::vector<DDSURFACEDATA*> made_;
};

TEST_P(StageDrawTest, BackgroundsTileWithParallaxWrapAutoScrollAndFill) {
  DDSURFACEDATA* surfaces[kBackgroundLayerCount] = {HalfAndHalf()};
  cSafeVector<cStageBackground> layers(2);  // the second has no picture
  layers[0].m_dScrollSpeedX = 0.5;
  layers[1].m_nLayer1 = 0;
  DDSURFACEDATA* back = DDBackBuffer();
  // Nothing shown: palette 16.
  layers[0].m_nLayer1 = 0;
  DrawBackgroundLayers(back, layers, kLayerBehind, cBackgroundView{}, surfaces);
  EXPECT_EQ(At(back, 639, 479), Pal(16));
  // Scroll 100 at factor 0.5: source offset 50, the second tile at x 14.
  // Stage offset 5 blocks at factor 1: -160 wraps to source column 32.
  struct {
    double factor, scroll;
    int32_t offset, x, pal;
  } const kCases[] = {{0.5, 100, 0, 0, 2}, {0.5, 100, 0, 13, 2}, {0.5, 100, 0, 14, 1},
                      {0.5, 100, 0, 46, 2}, {0.5, 100, 0, 639, 2}, {1.0, 0, 5, 0, 2}, {1.0, 0, 5, 32, 1}};
  layers[0].m_nLayer1 = 1;
  for (const auto& c : kCases) {
    layers[0].m_dScrollSpeedX = c.factor;
    DrawBackgroundLayers(back, layers, kLayerBehind, cBackgroundView{c.scroll, 0.0, c.offset, 0}, surfaces);
    EXPECT_EQ(At(back, c.x, 200), Pal(c.pal)) << c.scroll << " " << c.x;
  }
  // Automatic scroll moves by minus the factor and wraps into the picture;
  // the picture is then read from there.
  layers[0].m_bAutoScrollX = layers[0].m_bAutoScrollY = layers[1].m_bAutoScrollX = 1;
  layers[0].m_dScrollX = 10.0;
  layers[0].m_dScrollSpeedX = 3.0;
  layers[0].m_dScrollSpeedY = -30.0;
  const double kWant[4][2] = {{7, 30}, {4, 60}, {1, 26}, {62, 56}};
  for (const auto& w : kWant) {
    ScrollBackgroundLayers(layers, surfaces);
    EXPECT_EQ(std::pair(layers[0].m_dScrollX, layers[0].m_dScrollY), std::pair(w[0], w[1]));
  }
  EXPECT_EQ(layers[1].m_dScrollX, 0.0);
  DrawBackgroundLayers(back, layers, kLayerBehind, cBackgroundView{}, surfaces);
  EXPECT_EQ(std::pair(At(back, 0, 0), At(back, 2, 0)), std::pair(Pal(2), Pal(1)));
  // A fill covers the screen; front records stay out of the behind pass.
  layers[0] = cStageBackground();
  layers[0].m_nSource = 1;
  layers[0].m_nLayer2 = 9;
  layers[1].m_nLayer1 = 1;
  layers[1].m_nLayer3 = kLayerFront;
  DrawBackgroundLayers(back, layers, kLayerBehind, cBackgroundView{}, surfaces);
  EXPECT_EQ(At(back, 320, 240), Pal(9));
}

TEST_P(StageDrawTest, HudTakesItsStripAndItsIconsAndGaugesFromTheirOwnPictures) {
  SystemData.m_Hud.resize(kHudItemCount);
  for (auto& item : SystemData.m_Hud) item.m_bShown = 0;
  auto show = [](int i, const char* label, int digits) {
    SystemData.m_Hud[i].m_bShown = 1;
    SystemData.m_Hud[i].m_strLabel = label;
    SystemData.m_Hud[i].m_nDigits = digits;
  };
  show(kHudPoints, "S", 6);
  show(kHudLives, "L", 2);
  int32_t xs[kHudItemCount];
  LayOutHud(SystemData, xs);
  // Widths 112 and 48: spacing (638 - 160) / 3 = 159.
  EXPECT_EQ(std::vector<int32_t>(xs, xs + kHudItemCount), (std::vector<int32_t>{159, -1, -1, -1, 430}));
  for (auto [value, maximum, width] : {std::tuple{30, 100, 15}, {5, 0, 0}, {-5, 10, 0}, {200, 100, 50},
                                       {2147483647, 2147483647, 50}})
    EXPECT_EQ(GaugeBarWidth(value, maximum), width) << value << "/" << maximum;

  // The two pictures as a game ships them. The status picture: the 640 x 20
  // strip (palette 9) over a taller panel (palette 10). The icon picture:
  // its own marks above (palette 11), the HP icon at column 32 of the row at
  // y 32 (palette 6), the HP gauge's frame at (0, 128) (palette 5), its bar
  // at (0, 144) (palette 3) and its warning bar at (0, 160) (palette 4).
  DDSURFACEDATA* status = Make(&GameSurfaces[SURF_STATUS_WINDOW], 640, 96);
  DDFillSurface(status, 10);
  DDFillRect(status, 0, 0, 640, 20, 9);
  DDSURFACEDATA* icons = Make(&GameSurfaces[SURF_MARK], 256, 176);
  DDFillSurface(icons, 11);
  DDFillRect(icons, 0, 128, 50, 16, 5);
  DDFillRect(icons, 0, 144, 50, 16, 3);
  DDFillRect(icons, 0, 160, 50, 16, 4);
  DDFillRect(icons, 32, 32, 16, 16, 6);
  // One HP gauge with an icon: the icon at x 286, its frame and bar at x 302.
  for (auto& item : SystemData.m_Hud) item.m_bShown = 0;
  cThresholdEntry& hp = SystemData.m_Hud[kHudHP];
  hp.m_bShown = hp.m_bIcon = 1;
  hp.m_nLimit = 20;
  cHudValues v;
  v.hpMax = 100;
  for (auto [value, pal, end] : {std::tuple{30, 3, 15}, {20, 4, 10}, {0, 5, 0}}) {
    DDFillSurface(DDBackBuffer(), 7);
    v.hp = value;
    DrawHud(DDBackBuffer(), SystemData, v);
    for (auto [x, y] : {std::pair{0, 0}, {100, 10}, {639, 19}, {290, 1}})
      EXPECT_EQ(At(DDBackBuffer(), x, y), Pal(9)) << "the strip at " << x << "," << y;
    EXPECT_EQ(At(DDBackBuffer(), 320, 20), Pal(7)) << "nothing below the strip";
    EXPECT_EQ(At(DDBackBuffer(), 290, 8), Pal(6)) << "the icon";
    if (end > 0) {
      EXPECT_EQ(At(DDBackBuffer(), 302 + end - 1, 8), Pal(pal)) << value;
    }
    EXPECT_EQ(At(DDBackBuffer(), 302 + end, 8), Pal(5)) << value;
  }
}

TEST_P(StageDrawTest, SightMaskHoleIsSquareOrRoundAndBounded) {
  DDSURFACEDATA *mask = &local_[0], *work = &local_[1];
  made_ = {mask, work};
  const uint32_t hole = GetParam().d3d ? 0 : Pal(0);
  // Radius 10 in a 1300 x 980 mask: row 0 of the round hole spans 18 dots
  // (half chord 9); the square one 20 x 20.
  ASSERT_TRUE(BuildSightMask(mask, work, 10, 1, 0xFF000000u));
  EXPECT_EQ(std::pair(mask->nWidth, mask->nHeight), std::pair(1300, 980));
  for (auto [x, y, inside] : {std::tuple{641, 490, true}, {658, 490, true}, {640, 490, false}, {659, 490, false},
                              {650, 479, false}})
    EXPECT_EQ(At(mask, x, y), inside ? hole : Pal(16)) << x << "," << y;
  ASSERT_TRUE(BuildSightMask(mask, work, 10, 0, 0xFF000000u));
  for (auto [x, y, inside] : {std::tuple{640, 480, true}, {659, 499, true}, {660, 499, false}})
    EXPECT_EQ(At(mask, x, y), inside ? hole : Pal(16)) << x << "," << y;
  ASSERT_TRUE(BuildSightMask(mask, work, 1 << 30, 2, 0xFF000000u));
  EXPECT_EQ(std::pair(mask->nWidth, mask->nHeight), std::pair(2 * kMaxSightRadius + 1280, 2 * kMaxSightRadius + 960));
}

TEST_P(StageDrawTest, ScreenColourFadesInHoldsAndReturns) {
  cScreenColor sc;
  const int32_t start[8] = {255, 0, 0, 100, 0, 1, 0, 0};  // red, full strength, 6 frames
  const int32_t back[8] = {0, 0, 255, 50, 1, 1, 0, 0};    // return over 6 frames
  cScreenColor idle;
  idle.Start(back);
  EXPECT_EQ(idle.m_bActive, 0);  // nothing to return from
  sc.Start(start);
  for (int32_t want : {255, 212, 170, 127, 85, 42, 0, 0}) {
    DDFillSurface(DDBackBuffer(), 40);
    sc.Draw(DDBackBuffer(), false);
    EXPECT_EQ(sc.m_nLevel, want);
  }
  // Held at the full colour: DirectDraw lays red itself over the picture,
  // Direct3D tints the picture red (palette 40 keeps its red channel only).
  EXPECT_EQ(At(DDBackBuffer(), 10, 10), GetParam().d3d ? Pal(40) & 0xFF0000u : 0xFF0000u);
  // The return fades the same colour out again; its last frame ends it.
  sc.Start(back);
  for (int32_t want : {0, 42, 85, 127, 170, 255}) {
    EXPECT_EQ(sc.m_bActive, 1);
    sc.Draw(DDBackBuffer(), false);
    EXPECT_EQ(sc.m_nLevel, want);
  }
  EXPECT_EQ(sc.m_bActive, 0);
}

TEST_P(StageDrawTest, BitmapSheetsLoadEveryEntryAndLogTheMissingOnes) {
  // A 64 x 32 picture: the first cell red then blue, the second green.
  std::vector<uint32_t> px(64 * 32);
  for (int i = 0; i < 64 * 32; ++i) px[i] = i % 64 < 16 ? 0xC00000u : i % 64 < 32 ? 0x0000C0u : 0x00C000u;
  sandbox_.Write("bmp/eff.bmp", testbmp::AsString(testbmp::Rgb24(64, 32, px)));
  Database.m_Effects.resize(3);
  Database.m_Effects[1].m_strText2 = "bmp\\eff.bmp";
  Database.m_Effects[1].m_nValue2 = 32;
  Database.m_Effects[2].m_strText2 = "bmp\\none.bmp";
  cStageBitmaps sheets;
  EXPECT_EQ(LoadEffectBitmaps(sheets), 1);
  ASSERT_EQ(sheets.m_Effects.size(), 4u);  // two per entry, entries 1 and 2
  EXPECT_EQ(std::pair(sheets.m_Effects[0].nWidth, sheets.m_Effects[0].nHeight), std::pair(64, 32));
  EXPECT_EQ(sheets.m_Effects[1].lpShareSD, &sheets.m_Effects[0]);
  if (!GetParam().d3d) {  // the copy zoomed objects stretch from holds the picture as it is
    for (auto [x, rgb] : {std::pair{0, 0xC00000u}, {31, 0x0000C0u}, {32, 0x00C000u}})
      EXPECT_EQ(At(&sheets.m_Effects[1], x, 0), rgb) << x;
  }
  EXPECT_EQ(sheets.m_Effects[2].nWidth, 0);
  EXPECT_NE(sandbox_.ErrorCheckLog().find("none.bmp"), std::string::npos);
  // A special bitmap of the same picture (cells of 32 dots): its second and
  // fourth surfaces turn each cell around in place.
  Database.m_BmpCharaExcs.resize(2);
  Database.m_BmpCharaExcs[1].m_strText2 = "bmp\\eff.bmp";
  Database.m_BmpCharaExcs[1].m_nValue2 = 1;
  EXPECT_EQ(LoadCharacterBitmaps(sheets), 0);
  ASSERT_EQ(sheets.m_CharaExc.size(), 4u);
  if (!GetParam().d3d) {
    for (size_t k : {1u, 3u})
      for (auto [x, rgb] : {std::pair{0, 0x0000C0u}, {31, 0xC00000u}, {32, 0x00C000u}})
        EXPECT_EQ(At(&sheets.m_CharaExc[k], x, 0), rgb) << k << " " << x;
  }
  ReleaseStageBitmaps(sheets);
  EXPECT_EQ(sheets.m_Effects[0].lpDDS, nullptr);
  EXPECT_EQ(sheets.m_CharaExc[0].lpDDS, nullptr);
}

INSTANTIATE_TEST_SUITE_P(BothBackEnds, StageDrawTest, ::testing::Values(Mode{"DD32", 0}, Mode{"D3D32", 1}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
