#include "scene/scene.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/window.h"
#include "base/program.h"
#include "base/timers.h"
#include "data/settings.h"
#include "gfx/game_fonts.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "support/display.h"
#include "support/sandbox.h"

namespace {

std::vector<std::string> g_events;

class RecordingScene : public cStageSceneBase {
 public:
  explicit RecordingScene(int id) : id_(id) { g_events.push_back("new " + std::to_string(id)); }
  ~RecordingScene() override { g_events.push_back("del " + std::to_string(id_)); }
  int Run() override {
    g_events.push_back("run " + std::to_string(id_));
    return 0;
  }

 private:
  int id_;
};

class SceneManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::SetWindowHost(plat::MakeHeadlessWindowHost());
    ResetSceneManagerForTest();
    ResetTimersForTest();
    g_events.clear();
    for (int id = 0; id < kSceneCount; ++id)
      RegisterSceneFactory(id, [id]() -> cScene* { return new RecordingScene(id); });
  }
  void TearDown() override {
    ResetSceneManagerForTest();
    ResetTimersForTest();
    plat::SetWindowHost(nullptr);
    plat::UseVirtualClock(false);
  }
};

// A switch deletes the others in its own order; deleting them all goes in slot order.
TEST_F(SceneManagerTest, SwitchAndDeleteAllDeleteInTheirOrdersAndSwitchCreatesOnlyAnEmptySlot) {
  auto fill = [] {
    SceneManager.m_lpScenes = {new RecordingScene(0), new RecordingScene(1), new RecordingScene(2),
                               new RecordingScene(3), new RecordingScene(5), new RecordingScene(4)};
    g_events.clear();
  };
  fill();
  SceneManager.DeleteAll();
  EXPECT_EQ(g_events, (std::vector<std::string>{"del 0", "del 1", "del 2", "del 3", "del 5", "del 4"}));
  fill();
  SceneManager.SwitchScene(kSceneOptions);
  EXPECT_EQ(g_events, (std::vector<std::string>{"del 0", "del 2", "del 1", "del 3", "del 4"}));
  g_events.clear();
  SceneManager.SwitchScene(kSceneOptions);  // already there: nothing happens
  EXPECT_TRUE(g_events.empty());
  SceneManager.SwitchScene(42);  // no such scene: everything goes, nothing comes
  EXPECT_EQ(g_events, (std::vector<std::string>{"del 5"}));
}

TEST_F(SceneManagerTest, StageSceneIsReachableWhileItExists) {
  SceneManager.SwitchScene(kSceneStage);
  ASSERT_NE(g_lpStageScene.load(), nullptr);
  EXPECT_EQ(g_lpStageScene.load(), SceneManager.Scene(kSceneStage));
  SceneManager.SwitchScene(kSceneTitle);
  EXPECT_EQ(g_lpStageScene.load(), nullptr);
}

TEST_F(SceneManagerTest, StepSwitchesBeforeRunningAndCountsTheFrame) {
  plat::UseVirtualClock(true, 100);
  SceneManager.m_nFrameRate = 0;  // no pacing
  SceneManager.SwitchScene(kSceneTitle);
  g_events.clear();
  SceneManager.m_nCurrent = kSceneOptions;
  ASSERT_TRUE(SceneManager.Step());
  EXPECT_EQ(g_events, (std::vector<std::string>{"del 0", "new 5", "run 5"}));
  EXPECT_EQ(g_nFrameCounter.load(), 1u);
}

TEST_F(SceneManagerTest, SceneMusicIsNotAskedAgainForALoopingTrackThatGoesOn) {
  static int requests;
  static std::vector<uint64_t> screens;
  requests = 0;
  screens.clear();
  plat::EnsureQueue();
  plat::WindowHandle window = plat::CreateWindowEntry([](plat::WindowHandle, uint32_t msg, uint64_t w, int64_t) {
    if (msg == WM_MUSIC_REQUEST) {
      ++requests;
      screens.push_back(w);
    }
    return int64_t{0};
  });
  g_hMainWnd = window;
  SceneManager.PlaySceneMusic(3, 1, 0);
  SceneManager.PlaySceneMusic(3, 1, 1);  // same looping track: goes on
  EXPECT_EQ(requests, 1);
  SceneManager.PlaySceneMusic(3, 0, 2);
  SceneManager.PlaySceneMusic(3, 0, 2);  // not looping: asked each time
  EXPECT_EQ(requests, 3);
  SceneManager.PlaySceneMusic(0, 1, 3);  // track 0 (silence) always asks
  SceneManager.PlaySceneMusic(0, 1, 3);
  EXPECT_EQ(requests, 5);
  EXPECT_EQ(screens, (std::vector<uint64_t>{0, 2, 2, 3, 3}));
  g_hMainWnd = 0;
  plat::DestroyWindowEntry(window);
}

TEST(WindowSizeMenuTest, EntriesThatFitTheWorkArea) {
  EXPECT_EQ(WindowSizeMenuFactors({0, 0, 1920, 1080}), (std::vector<int>{1, 2}));
  EXPECT_EQ(WindowSizeMenuFactors({0, 0, 3840, 2160}), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(WindowSizeMenuFactors({0, 0, 639, 1080}), (std::vector<int>{}));
  EXPECT_EQ(WindowSizeMenuLabel(1), "100% (640*480)");
  EXPECT_EQ(WindowSizeMenuLabel(5), "500% (3200*2400)");
}

TEST(WindowSizeMenuTest, ScaledWindowKeepsItsCentreAndStaysInsideTheWorkArea) {
  plat::Rect work{0, 0, 1920, 1080};
  WindowPlacement p = PlaceScaledWindow(2, {500, 900, 1140, 1380}, work);
  EXPECT_EQ(p.width, 1280);
  EXPECT_EQ(p.height, 960);
  EXPECT_EQ(p.x, 500 + 320 - 640);
  EXPECT_EQ(p.y, 1080 - 960);
  p = PlaceScaledWindow(2, {100, 50, 740, 530}, work);
  EXPECT_EQ(p.x, 0);
  EXPECT_EQ(p.y, 50);
  p = PlaceScaledWindow(2, {1500, 0, 2140, 480}, work);
  EXPECT_EQ(p.x, 1920 - 1280);
}

// The message trace: one line a message while the window's trace is on,
// named messages by name and the others by number, words split high/low.
TEST(WindowTraceTest, LinesOnlyWhileTracingInTheirShape) {
  Sandbox sandbox;
  cWindow window;
  window.m_strName = "Test";
  window.TraceMessage(plat::WM_SIZE, 0x00020001, -65536);
  window.m_bTrace = true;
  window.TraceMessage(plat::WM_SIZE, 0x00020001, -65536);
  window.TraceMessage(plat::WM_USER + 5, 7, 0x00030004);
  EXPECT_EQ(sandbox.ErrorCheckLog(),
            "Test | msg:WM_SIZE | wp:131073(2,1) | lp:-65536(65535,0)\n"
            "Test | msg:1029 | wp:7(0,7) | lp:196612(3,4)\n");
}

// The frame step's frame-rate display: with "ShowFps" on, the presented frame
// carries "FPS%2d(%2d)" where the setting puts it, drawn by the game fonts.
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
