// The screen colour over the finished frame in every display mode: Direct3D
// tints the picture with the colour (the picture modulated by it, laid over
// itself with 255 - level of opacity), DirectDraw lays the colour itself
// over the picture translucently at the level (16 and 32 bits) or blends
// the display palette toward it (8 bits). Each expected pixel is worked out
// here from those rules and the channel widths of the mode, from the pixel
// the frame held before the wash; and a stage played through the real game
// shows the same in its screenshots.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "../../gfx/surface_pixels.h"
#include "data/labels.h"
#include "gfx/dd.h"
#include "platform/soft_draw.h"
#include "platform/window_host.h"
#include "play/world/stage_draw.h"
#include "support/display.h"
#include "support/harness.h"
#include "support/stage_builder.h"

namespace {

struct WashMode {
  const char* name;
  uint32_t d3d;
  int bpp;
  uint32_t windowed = 0;  // a window on a desktop of the same depth
};

// One channel of a raw pixel: its value and its maximum in the format.
struct Channel {
  uint32_t shift, max;
  uint32_t Of(uint32_t p) const { return (p >> shift) & max; }
  uint32_t Wide(uint32_t p) const { return Of(p) * 255 / max; }         // to 0..255
  uint32_t Narrow(uint32_t v) const { return (v * max + 127) / 255; }    // back, to the nearest step
};

// The red, green and blue channels of the back buffer in the display mode
// (Direct3D's virtual back buffer is a texture: the texture format).
std::vector<Channel> BackChannels(const WashMode& m, bool virtualBack) {
  if (m.bpp == 32) return {{16, 255}, {8, 255}, {0, 255}};
  const uint32_t* f = m.d3d && !virtualBack ? DDState.BackFormat : DDState.TexFormat;
  return {{f[PF_RSHIFT], f[PF_RMAX]}, {f[PF_GSHIFT], f[PF_GMAX]}, {f[PF_BSHIFT], f[PF_BMAX]}};
}

// The level the screen colour takes for a strength at once (no fade time):
// 255 - strength x 2.55, truncated.
int32_t LevelOf(int32_t strength) { return static_cast<int32_t>(255 - strength * 2.55); }

// Direct3D: the picture's channel t modulated by the colour's channel c,
// (t x c + 127) / 255, laid over t with alpha a = 255 - level:
// (m x a + t x (255 - a) + 127) / 255.
uint32_t Tinted(uint32_t t, uint32_t c, int32_t level) {
  const uint32_t a = 255 - static_cast<uint32_t>(level);
  const uint32_t m = (t * c + 127) / 255;
  return (m * a + t * (255 - a) + 127) / 255;
}
// DirectDraw: the colour laid over the picture at the level:
// (t x level + c x (255 - level)) / 255.
uint32_t Washed(uint32_t t, uint32_t c, int32_t level) {
  return (t * static_cast<uint32_t>(level) + c * (255 - static_cast<uint32_t>(level))) / 255;
}

class ScreenWashTest : public ::testing::TestWithParam<WashMode> {
 protected:
  void SetUp() override {
    for (int i = 0; i < 256; ++i) DDState.DDPalette[i] = PALETTEENTRY{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), 0};
    for (int b = 0; b < 4; ++b) DDState.DDPalette[kBands[b]] = kBandColours[b];
    if (GetParam().windowed) plat::DrawFaultInjection().desktopBitsOverride = GetParam().bpp;  // the sandbox puts it back
    ASSERT_TRUE(
        DDInit(GetParam().d3d, 0, 640, 480, GetParam().bpp, 0, GetParam().windowed, 1, 60, 0, table_, info_, 1));
  }
  // The known picture: four bands of 160 dots, one palette colour each.
  static void Paint() {
    for (int b = 0; b < 4; ++b) DDFillRect(DDBackBuffer(), 160 * b, 0, 160, 480, kBands[b]);
  }
  static constexpr uint32_t kBands[4] = {20, 21, 22, 23};
  static constexpr PALETTEENTRY kBandColours[4] = {
      {200, 100, 50, 0}, {128, 128, 128, 0}, {255, 255, 255, 0}, {10, 20, 30, 0}};
  DisplaySandbox sandbox_;
  DDSURFACEDATA table_[1];
  DDSURFACEINFO info_[1];
};

// A red, a white and a black colour, at full strength and at 60 %, over the
// four bands: every band's pixels become what the mode's rule makes of them.
TEST_P(ScreenWashTest, RedWhiteAndBlackWashesOverAKnownPicture) {
  const WashMode& mode = GetParam();
  const struct {
    const char* what;
    uint8_t r, g, b;
  } colours[] = {{"red", 255, 0, 0}, {"white", 255, 255, 255}, {"black", 0, 0, 0}};
  // Direct3D draws the tint as a textured quad while the frame stands in
  // the virtual back buffer, and works it out on the pixels of the device's
  // back buffer otherwise: both give the same picture.
  const std::vector<uint32_t> roads = mode.d3d ? std::vector<uint32_t>{0, 1} : std::vector<uint32_t>{0};
  for (uint32_t virtualBack : roads) {
    DDSetVirtualBackBuffer(virtualBack);
    for (const auto& colour : colours) {
      for (int32_t strength : {100, 60}) {
        SCOPED_TRACE(std::string(colour.what) + " at " + std::to_string(strength) +
                     (virtualBack ? ", virtual back buffer" : ""));
        Paint();
        std::vector<uint32_t> before;
        for (int b = 0; b < 4; ++b) before.push_back(Pixel(DDBackBuffer(), 160 * b + 80, 240));
        cScreenColor wash;
        const int32_t words[8] = {colour.r, colour.g, colour.b, strength, 0, 0, 0, 0};
        wash.Start(words);
        wash.Draw(DDBackBuffer(), true);
        const int32_t level = LevelOf(strength);
        ASSERT_EQ(wash.m_nLevel, level);
        const uint32_t rgb[3] = {colour.r, colour.g, colour.b};
        if (mode.bpp == 8) {
          // The picture keeps its palette numbers; the palette shown blends
          // each colour toward the wash by the level (in 256ths).
          const PALETTEENTRY* shown = DDState.lpDDPalette->Entries();
          for (int b = 0; b < 4; ++b) {
            EXPECT_EQ(Pixel(DDBackBuffer(), 160 * b + 80, 240) & 0xFF, kBands[b]);
            const PALETTEENTRY& e = shown[kBands[b]];
            const uint32_t src[3] = {kBandColours[b].peRed, kBandColours[b].peGreen, kBandColours[b].peBlue};
            const uint32_t got[3] = {e.peRed, e.peGreen, e.peBlue};
            for (int c = 0; c < 3; ++c)
              EXPECT_EQ(got[c], (src[c] * level + rgb[c] * (256 - level)) >> 8) << "band " << b << " channel " << c;
          }
          continue;
        }
        const std::vector<Channel> channels = BackChannels(mode, virtualBack != 0);
        for (int b = 0; b < 4; ++b) {
          const uint32_t p = Pixel(DDBackBuffer(), 160 * b + 80, 240);
          for (int c = 0; c < 3; ++c) {
            const Channel& ch = channels[static_cast<size_t>(c)];
            const uint32_t t = ch.Wide(before[static_cast<size_t>(b)]);
            const uint32_t want = ch.Narrow(mode.d3d ? Tinted(t, rgb[c], level) : Washed(t, rgb[c], level));
            EXPECT_EQ(ch.Of(p), want) << "band " << b << " channel " << c;
          }
        }
      }
    }
  }
  DDSetVirtualBackBuffer(0);
  if (mode.bpp == 32) {
    // The two rules told apart on the grey band at full strength: red keeps
    // the grey's red under Direct3D and is pure red under DirectDraw; white
    // leaves the picture as it is under Direct3D and whitens it under
    // DirectDraw.
    for (auto [r, g, b, d3dWant, ddWant] : {std::tuple{255, 0, 0, 0x800000u, 0xFF0000u},
                                           std::tuple{255, 255, 255, 0x808080u, 0xFFFFFFu}}) {
      Paint();
      cScreenColor wash;
      const int32_t words[8] = {r, g, b, 100, 0, 0, 0, 0};
      wash.Start(words);
      wash.Draw(DDBackBuffer(), true);
      EXPECT_EQ(Pixel(DDBackBuffer(), 240, 100) & 0xFFFFFF, mode.d3d ? d3dWant : ddWant);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryMode, ScreenWashTest,
                         ::testing::Values(WashMode{"DD8", 0, 8}, WashMode{"DD16", 0, 16}, WashMode{"DD32", 0, 32},
                                           WashMode{"D3D16", 1, 16}, WashMode{"D3D16Window", 1, 16, 1},
                                           WashMode{"D3D32", 1, 32}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- through the game ----

// A stage whose hero, from its first frame on, keeps a red screen colour at
// 60 % (the colour command of an "always" flow), or the same stage without
// it; its screenshot after a second of play.
plat::Frame StageScreenshot(const char* ini, bool washed) {
  StageBuilder builder(20, 15);
  builder.Floor(10, 0, 19).Floor(6, 8, 11).Hero(2, 9).Character(14, 9);
  if (washed) {
    cEdCmd colour;
    colour.m_nKind = kCmdScreenColour;
    colour.m_vParams = {255, 0, 0, 60, 0, 0, 0, 0};
    cEdFlow flow;
    flow.m_nTrigger = kTriggerAlways;
    flow.m_vCmds = {colour};
    builder.Data().m_PlacedCharacters.front().m_vFlows = {flow};
  }
  GameHarness::Options options;
  options.iniLines = ini;
  options.commandLine = "data\\stg4\\wash.stg4";
  GameHarness game(options);
  std::ofstream(game.PathOf("data/stg4/wash.stg4"), std::ios::binary) << builder.Bytes();
  plat::Frame frame;
  EXPECT_TRUE(game.Start());
  EXPECT_TRUE(game.StepFrames(60));
  EXPECT_TRUE(game.LastFrame(frame));
  EXPECT_EQ(game.Close(), 0);
  return frame;
}

// Every pixel of the washed screenshot is its pixel without the wash put
// through the mode's rule: Direct3D's tint (DDChangeColorAll), DirectDraw's
// translucent colour.
TEST(ScreenWashGame, AStageUnderARedScreenColourMatchesTheRulePixelForPixel) {
  const int32_t level = LevelOf(60);
  for (auto [ini, d3d] : {std::pair{"Direct3D=1\nWindowMode=0\nBpp=32\nShowFps=0\n", true},
                          std::pair{"Direct3D=0\nWindowMode=0\nBpp=32\nShowFps=0\n", false}}) {
    SCOPED_TRACE(d3d ? "Direct3D" : "DirectDraw");
    const plat::Frame plain = StageScreenshot(ini, false);
    const plat::Frame washed = StageScreenshot(ini, true);
    ASSERT_EQ(plain.pixels.size(), 640u * 480u);
    ASSERT_EQ(washed.pixels.size(), plain.pixels.size());
    size_t wrong = 0, coloured = 0, changed = 0;
    for (size_t i = 0; i < plain.pixels.size(); ++i) {
      const uint32_t p = plain.pixels[i];
      const uint32_t rgb[3] = {255, 0, 0};
      uint32_t want = 0;
      for (int c = 0; c < 3; ++c) {
        const uint32_t t = (p >> (16 - 8 * c)) & 0xFF;
        want |= (d3d ? Tinted(t, rgb[c], level) : Washed(t, rgb[c], level)) << (16 - 8 * c);
      }
      wrong += (washed.pixels[i] & 0xFFFFFF) != want;
      coloured += (p & 0xFFFF) != 0;  // green or blue to take away
      changed += (washed.pixels[i] & 0xFFFFFF) != (p & 0xFFFFFF);
    }
    EXPECT_EQ(wrong, 0u);
    // The blocks, the hero, the character and the head-up display.
    EXPECT_GT(coloured, 20000u) << "the stage shows a picture";
    EXPECT_GT(changed, 20000u) << "the wash changed it";
  }
}

}  // namespace
