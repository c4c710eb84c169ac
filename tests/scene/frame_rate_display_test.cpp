// The frame step's frame-rate display: with "ShowFps" on, the presented frame
// carries "FPS%2d(%2d)" where the setting puts it, drawn by the game fonts.
#include <gtest/gtest.h>

#include "support/display.h"
#include "base/timers.h"
#include "data/settings.h"
#include "gfx/game_fonts.h"
#include "platform/clock.h"
#include "scene/scene.h"

namespace {

constexpr uint32_t kBack = 3;

class BackgroundScene : public cScene {
 public:
  int Run() override {
    DDFillRect(DDBackBuffer(), 0, 0, 640, 480, kBack);
    return 0;
  }
};

class FrameRateDisplayTest : public ::testing::TestWithParam<int32_t> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(DDInit(0, 0, 640, 480, 32, 0, 0, 1, 60, 0, nullptr, nullptr, 0));
    for (int i = 0; i < 256; ++i) DDState.DDPalette[i] = PALETTEENTRY{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    DDState.DDPalette[kBack] = PALETTEENTRY{20, 60, 100, 0};
    DDSetTransmit(0, 0, 0);
    SetPinnedFontFile("/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf");
    ASSERT_TRUE(CreateGameFonts(GameFontOptions{59, 0, 0, 1, 0, 0}));
    ResetSceneManagerForTest();
    ResetTimersForTest();
    plat::UseVirtualClock(true, 100);
    RegisterSceneFactory(kSceneTitle, [] { return new BackgroundScene; });
  }
  void TearDown() override {
    ResetSceneManagerForTest();
    plat::UseVirtualClock(false);
    GameSettings = GameSettingsRecord{};
    ReleaseGameFonts();
    ResetGameSurfaceTablesForTest();
    SetPinnedFontFile("");
  }
  DisplaySandbox sandbox_;
};

TEST_P(FrameRateDisplayTest, FrameShowsTheRateWhereTheSettingPutsIt) {
  GameSettings.nShowFps = GetParam();
  ASSERT_TRUE(SceneManager.Step());
  plat::Frame shown;
  ASSERT_TRUE(plat::GetWindowHost().LastFrame(shown));
  // The same frame made by hand: the background, then (first second, fewer
  // than sixteen frames) "FPS 0( 0)" in the font and place of the setting.
  DDFillRect(DDBackBuffer(), 0, 0, 640, 480, kBack);
  if (GetParam() == 2) GameFonts[0].DrawText(DDBackBuffer(), 549, 469, "FPS 0( 0)");
  else if (GetParam() != 0) GameFonts[1].DrawTextInBox(DDBackBuffer(), 495, 463, 0, 0, "FPS 0( 0)", 0);
  plat::Frame expected;
  plat::ImageToFrame(DDBackBuffer()->lpDDS->lpSurface->Image(), DDState.DDPalette, expected);
  EXPECT_EQ(shown.pixels, expected.pixels);
  // Something is drawn exactly when the display is on.
  const uint32_t background = shown.pixels[0];
  size_t drawn = 0;
  for (uint32_t p : shown.pixels) drawn += p != background;
  EXPECT_EQ(drawn > 0, GetParam() != 0);
}

INSTANTIATE_TEST_SUITE_P(ShowFps, FrameRateDisplayTest, ::testing::Values(0, 1, 2));

}  // namespace
