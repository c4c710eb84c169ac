// Screen effects: the slot's run ends where it must, each kind over a whole
// 640 x 480 frame moves the pixels it should in both back ends, and hostile
// parameters neither crash nor keep an effect alive forever.
#include "play/world/screen_effect.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>

#include "data/database.h"
#include "data/stage_data.h"
#include "gfx/surface_pixels.h"
#include "play/commands/commands.h"
#include "play/objects/stage_character.h"
#include "support/display.h"
#include "support/game_data.h"

namespace {

constexpr int W = 640, H = 480;  // the whole frame

struct Mode {
  const char* name;
  uint32_t d3d;
};
const Mode kModes[] = {{"DD32", 0}, {"D3D32", 1}};

class ScreenEffectTest : public ::testing::Test {
 public:
  void SetUp() override {
    saved_ = Database.m_ScrEffects;
    saved2_ = Database.m_ScrEffects2;
    runs_ = ScreenEffectRuns;
    runs2_ = ScreenEffectRunsReversed;
  }
  void TearDown() override {
    Release();
    Database.m_ScrEffects = saved_;
    Database.m_ScrEffects2 = saved2_;
    ScreenEffectRuns = runs_;
    ScreenEffectRunsReversed = runs2_;
    PointEffectRunsIntoTheDatabase();  // the lists put back may stand elsewhere
  }
  void Release() {
    for (const auto& sd : made_) DDReleaseSurface(sd.get());
    made_.clear();
    DDResetForTest();
  }
  bool Init(const Mode& m) {
    plat::DrawFaultInjection().desktopBitsOverride = 32;
    if (!DDInit(m.d3d, 0, 640, 480, 32, 0, 0, 1, 60, 0, nullptr, nullptr, 0)) return false;
    d3d_ = m.d3d;
    for (DDSURFACEDATA** sd : {&view_.back, &view_.work1, &view_.work2}) {
      made_.push_back(std::make_unique<DDSURFACEDATA>());
      EXPECT_TRUE(DDCreateSurface(made_.back().get(), W, H, 1, 1, DTMEMORYTYPE_SYSTEM, 0, 0));
      *sd = made_.back().get();
    }
    view_.width = W, view_.height = H, view_.heroX = W / 2, view_.heroY = H / 2;
    DDFillRect(view_.work2, 0, 0, 1, 1, 16);
    fill_ = Pixel(view_.work2, 0, 0);
    return true;
  }
  // A distinct opaque pixel for every position of the frame.
  uint32_t Orig(int x, int y) const { return (d3d_ ? 0xFF000000u : 0u) | static_cast<uint32_t>(0x10000 + y * W + x); }
  void PaintFrame() {
    cSurfaceLock lock(view_.back);
    ASSERT_TRUE(lock.Locked());
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const uint32_t v = Orig(x, y);
        std::memcpy(lock.Bits() + static_cast<size_t>(y) * lock.Pitch() + static_cast<size_t>(x) * 4, &v, 4);
      }
  }
  // Definition 1 of both lists is `kind` with `p`; the tables are rebuilt.
  void Define(int32_t kind, const std::array<int32_t, 5>& p) {
    Database.m_ScrEffects.assign(2, cScrEffectRecord());
    Database.m_ScrEffects[1].m_nKind = kind;
    for (int i = 0; i < 5; ++i) Database.m_ScrEffects[1].m_nParams[i] = p[static_cast<size_t>(i)];
    Database.m_ScrEffects2 = Database.m_ScrEffects;
    BuildScrEffectTable(ScreenEffectRuns, ScreenEffectRunsReversed);
  }
  int Changed() {
    int n = 0;
    const std::vector<uint32_t> px = SurfacePixels(view_.back, 0, 0, W, H);
    for (size_t i = 0; i < px.size(); ++i) n += px[i] != Orig(static_cast<int>(i % W), static_cast<int>(i / W));
    return n;
  }
  uint32_t At(int x, int y) { return Pixel(view_.back, x, y); }

  cScreenEffectView view_;
  uint32_t fill_ = 0;
  uint32_t d3d_ = 0;
  std::vector<std::unique_ptr<DDSURFACEDATA>> made_;
  cSafeVector<cScrEffectRecord> saved_, saved2_;
  std::vector<cScreenEffectRun> runs_, runs2_;
  DisplaySandbox sandbox_;
};

TEST_F(ScreenEffectTest, ValueRunEndsOnTheCallPastItsEnd) {
  cScreenEffectSlot slot;
  slot.nNumber = 1;
  slot.dValue = 640;
  for (int i = 1; i <= 60; ++i) ASSERT_EQ(slot.Step(640, 1280, 640.0 / 60), 0) << i;
  EXPECT_EQ(slot.Step(640, 1280, 640.0 / 60), 1);
  // Downward runs compare the truncated value with the lower bound.
  slot.dValue = 10;
  EXPECT_EQ(slot.Step(10, 9, 0.5), 0);  // 9.5 -> 9
  EXPECT_EQ(slot.Step(10, 9, 0.5), 0);  // 9
  EXPECT_EQ(slot.Step(10, 9, 0.5), 1);  // 8.5 -> 8
}

TEST_F(ScreenEffectTest, RunThereAndBackTurnsOnceThenEnds) {
  Define(kScrMosaic, {1, 2, 8, 0, 0});  // 6 frames from 2 to 8
  cScreenEffectSlot slot;
  slot.Start(1, 2, 0);
  int frames = 0;
  while (frames < 100 && !slot.Step(slot.pDef->m_nParams[1], slot.pDef->m_nParams[2], slot.dStep)) ++frames;
  EXPECT_EQ(slot.nDirection, 1);
  EXPECT_GT(frames, 10);
  EXPECT_LT(frames, 16);
  // A bad number is reported and leaves the slot idle.
  slot.Start(7, 0, 0);
  EXPECT_FALSE(slot.Running());
}

struct Case {
  const char* name;
  int32_t kind;
  std::array<int32_t, 5> p;
  int frames;  // frames run before looking
  // Checks on the frame after those frames; empty: only "something changed".
  std::function<void(ScreenEffectTest&, uint32_t fill)> check;
};

TEST_F(ScreenEffectTest, EachKindMovesThePixelsItShould) {
  int blinks = 0;
  const Case cases[] = {
      {"shift", kScrShift, {10, 5, 2, 5, 2}, 1, [](ScreenEffectTest& t, uint32_t f) {
         EXPECT_EQ(t.At(5, 2), t.Orig(0, 0));
         EXPECT_EQ(t.At(4, 10), f);
         EXPECT_EQ(t.At(10, 1), f);
       }},
      {"shake x", kScrShakeX, {1, 4, 1, 0, 0}, 2, [](ScreenEffectTest& t, uint32_t f) {
         EXPECT_EQ(t.At(2, 0), t.Orig(0, 0));
         EXPECT_EQ(t.At(0, 9), f);
       }},
      {"shake y", kScrShakeY, {1, 4, 1, 0, 0}, 2, [](ScreenEffectTest& t, uint32_t f) {
         EXPECT_EQ(t.At(0, 2), t.Orig(0, 0));
         EXPECT_EQ(t.At(9, 0), f);
       }},
      {"split x", kScrSplitX, {10, 3, 3, 2, 0}, 1, [](ScreenEffectTest& t, uint32_t) {
         EXPECT_EQ(t.At(3, 0), t.Orig(0, 0));
         EXPECT_EQ(t.At(0, H / 2), t.Orig(3, H / 2));
       }},
      {"split y", kScrSplitY, {10, 3, 3, 2, 0}, 1, [](ScreenEffectTest& t, uint32_t) {
         EXPECT_EQ(t.At(0, 3), t.Orig(0, 0));
         EXPECT_EQ(t.At(W / 2, 0), t.Orig(W / 2, 3));
       }},
      {"wave x", kScrWaveX, {10, 6, 6, 1, 1}, 2, nullptr},
      {"wave y", kScrWaveY, {10, 6, 6, 1, 1}, 2, nullptr},
      {"rotate", kScrRotate, {10, 180, 180, 0, 0}, 1, [](ScreenEffectTest& t, uint32_t) {
         EXPECT_EQ(t.At(10, 10), t.Orig(W - 10, H - 10));
       }},
      {"circle", kScrCircle, {10, 8, 8, 1, 0}, 1, [](ScreenEffectTest& t, uint32_t f) {
         EXPECT_EQ(t.At(W / 2, H / 2), t.Orig(W / 2, H / 2));
         EXPECT_EQ(t.At(0, 0), f);
       }},
      {"zoom out", kScrZoom, {10, W / 2, W / 2, 0, 0}, 1, [](ScreenEffectTest& t, uint32_t f) {
         EXPECT_EQ(t.At(0, 0), f);
         EXPECT_EQ(t.At(W / 4, H / 4), t.Orig(0, 0));
         EXPECT_EQ(t.At(W / 4 + 1, H / 4), t.Orig(2, 0));
       }},
      {"zoom in", kScrZoom, {10, W * 2, W * 2, 0, 0}, 1, [](ScreenEffectTest& t, uint32_t) {
         EXPECT_EQ(t.At(0, 0), t.Orig(W / 4, H / 4));
         EXPECT_EQ(t.At(2, 0), t.Orig(W / 4 + 1, H / 4));
       }},
      {"lens", kScrLens, {10, 40, 40, 0, 0}, 1, nullptr},
      {"mosaic", kScrMosaic, {10, 4, 4, 0, 0}, 1, [](ScreenEffectTest& t, uint32_t) {
         for (int y = 0; y < 4; ++y)
           for (int x = 0; x < 4; ++x) EXPECT_EQ(t.At(x, y), t.At(0, 0));
       }},
  };
  for (const Mode& m : kModes) {
    ASSERT_TRUE(Init(m)) << m.name;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(m.name) + " " + c.name);
      Define(c.kind, c.p);
      cScreenEffectSlot slot;
      slot.Start(1, 0, 0);
      for (int i = 0; i < c.frames; ++i) {
        PaintFrame();
        RunScreenEffect(slot, view_, false);
      }
      EXPECT_GT(Changed(), 0);
      if (c.check) c.check(*this, fill_);
    }
    // Zoom at exactly 1 is the whole screen unchanged.
    Define(kScrZoom, {10, W, W, 0, 0});
    cScreenEffectSlot slot;
    slot.Start(1, 0, 0);
    PaintFrame();
    RunScreenEffect(slot, view_, false);
    EXPECT_EQ(Changed(), 0) << m.name;
    // The blink lays the backgrounds over the frame while its toggle is off;
    // the toggle flips once the counter has reached the period.
    Define(kScrBlink, {10, 2, 0, 0, 0});
    view_.redrawBackgrounds = [&] { ++blinks; };
    slot.Start(1, 0, 0);
    for (int i = 0; i < 8; ++i) RunScreenEffect(slot, view_, false);
    EXPECT_EQ(blinks, 5) << m.name;  // frames 1-3 and 6-7
    blinks = 0;
    view_.redrawBackgrounds = nullptr;
    Release();
  }
}

TEST_F(ScreenEffectTest, HostileParametersEndAndStayInside) {
  const std::array<int32_t, 5> hostile[] = {
      {0, 0, 0, 0, 0}, {-100, -9999, 99999, -7, -3}, {0, INT_MAX, INT_MIN, INT_MAX, INT_MIN}, {-1, INT_MIN, INT_MAX, 0, 1}};
  ASSERT_TRUE(Init(kModes[0]));
  for (int32_t kind = 0; kind < kScrKindCount; ++kind)
    for (const auto& p : hostile) {
      SCOPED_TRACE(std::to_string(kind) + " " + std::to_string(p[1]));
      Define(kind, p);
      cScreenEffectSlot slot;
      slot.Start(1, 0, 0);
      PaintFrame();
      RunScreenEffect(slot, view_, true);  // a still frame draws without advancing
      int frames = 0;
      while (slot.Running() && frames < 50) {
        RunScreenEffect(slot, view_, false);
        ++frames;
      }
      // A time of zero or less counts as one tenth of a second.
      EXPECT_FALSE(slot.Running() && kind != kScrNone);
    }
}

TEST(BackgroundCommandTest, ShowsHidesOrTogglesOnlyNumbersInTheList) {
  const cSafeVector<cStageBackground> saved = StageData.m_Backgrounds;
  struct Row {
    uint32_t number, action;
    int32_t first, second;  // shown flags after the command, from shown / hidden
  };
  const Row rows[] = {{0, 1, 1, 0}, {3, 1, 1, 0}, {1, 1, 0, 0}, {2, 0, 1, 1}, {1, 2, 0, 0}, {2, 2, 1, 1}, {1, 9, 1, 0}};
  cStageCharacter character;
  for (const Row& r : rows) {
    StageData.m_Backgrounds.assign(2, cStageBackground());
    StageData.m_Backgrounds[0].m_nLayer1 = 1;
    StageData.m_Backgrounds[1].m_nLayer1 = 0;
    cEdCmd command;
    command.m_vParams = {r.number, r.action};
    ExecuteBackgroundChange(character, command);
    EXPECT_EQ(StageData.m_Backgrounds[0].m_nLayer1, r.first) << r.number << " " << r.action;
    EXPECT_EQ(StageData.m_Backgrounds[1].m_nLayer1, r.second) << r.number << " " << r.action;
  }
  StageData.m_Backgrounds = saved;
}

}  // namespace
