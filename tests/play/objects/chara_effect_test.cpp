// Graphic effects of characters: the frame on which a run ends (repeated
// double addition), the run modes, the blink toggle, still frames, clamps of
// damaged parameters, the effect command, and the blink drawn in pixels.
#include "play/objects/chara_effect.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "../../gfx/surface_pixels.h"
#include "data/database.h"
#include "data/flow.h"
#include "data/labels.h"
#include "gfx/fx_colour.h"
#include "gfx/palette_tools.h"
#include "platform/text.h"
#include "play/commands/commands.h"
#include "play/objects/stage_character.h"
#include "support/display.h"
#include "support/game_data.h"
#include "support/stage_builder.h"

namespace {

struct Def {
  int32_t kind;
  int32_t p[5];
};

class CharaEffectTest : public ::testing::Test {
 protected:
  // Definitions 1.. in order; definition 0 is the plain entry.
  void Define(const std::vector<Def>& defs) {
    Database.m_CharaEffects.resize(defs.size() + 1);
    for (size_t i = 0; i < defs.size(); ++i) {
      Database.m_CharaEffects[i + 1].m_nKind = defs[i].kind;
      std::copy(defs[i].p, defs[i].p + 5, Database.m_CharaEffects[i + 1].m_nParams);
    }
    PrepareDatabaseTables();
  }
  // The call of Step that first reports the end (0: none within `limit`).
  static int EndingCall(cGraphicEffectSlot& s, int limit) {
    for (int call = 1; call <= limit; ++call) if (s.Step()) return call;
    return 0;
  }
  ScopedGameData data_;
};

TEST_F(CharaEffectTest, RunsEndOnTheCallTheirDoubleAdditionPassesTheEnd) {
  struct Case {
    Def def;
    int32_t mode, loop;
    int ending;  // 0: never within the limit
  } cases[] = {
      {{1, {5, 0, 32}}, kEffectForward, 0, 31},          // value 31.999999999999996 after 30 calls
      {{1, {5, 0, 32}}, kEffectReversed, 0, 31},         // 32 down to 0
      {{13, {1, 1, 1, 16}}, kEffectForward, 0, 7},       // start = end: its time only
      {{13, {5, 1, 1, 16}}, kEffectForward, 0, 31},
      {{13, {10, 1, 1, 16}}, kEffectForward, 0, 61},
      {{13, {100, 1, 1, 16}}, kEffectForward, 0, 600},   // elapsed passes 100 on the 600th call
      {{1, {5, 0, 32}}, kEffectThereAndBack, 0, 62},     // forward, then back
      {{1, {5, 0, 32}}, kEffectThereAndBack, 1, 0},      // swings for ever
      {{1, {5, 0, 32}}, kEffectForward, 1, 0},
      {{1, {0, 0, 32}}, kEffectForward, 0, 7},           // no time: one tenth
      {{13, {0, 1, 1, 16}}, kEffectForward, 0, 1},
      {{1, {9999, 0, 999}}, kEffectForward, 0, 59995},
      {{6, {10, 2}}, kEffectForward, 0, 61},             // blink: its time
  };
  for (const Case& c : cases) {
    Define({c.def});
    cGraphicEffectSlot s;
    s.Start(1, c.mode, c.loop);
    EXPECT_EQ(EndingCall(s, 70000), c.ending) << c.def.kind << " " << c.def.p[0] << " mode " << c.mode;
  }
}

TEST_F(CharaEffectTest, BlinkShowsByTheToggleAndStillFramesHoldEverything) {
  Define({{6, {100, 2}}, {14, {100, 0}}, {4, {100, 0, 32, 2, 2}}});
  // Interval 2, and 0 from a damaged file (then a flip every frame after the first).
  const std::vector<int> expected[] = {{0, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1}, {0, 0, 1, 0, 1}};
  cGraphicEffectSlot s;
  for (int n : {1, 2}) {
    s.Start(n, kEffectForward, 0);
    std::vector<int> shown;
    for (size_t frame = 0; frame < expected[n - 1].size(); ++frame, DrawGraphicEffect(s, nullptr, {}, false, false))
      shown.push_back(s.nToggle);
    EXPECT_EQ(shown, expected[n - 1]) << n;
  }
  for (int n : {1, 2, 3}) {
    s.Start(n, kEffectForward, 0);
    DrawGraphicEffect(s, nullptr, cEffectDraw{}, false, false);
    const cGraphicEffectSlot before = s;
    for (int i = 0; i < 100; ++i) EXPECT_EQ(DrawGraphicEffect(s, nullptr, cEffectDraw{}, true, false), 0);
    EXPECT_EQ(std::tuple(s.dValue, s.dElapsed, s.nCounter, s.nToggle, s.nFrame),
              std::tuple(before.dValue, before.dElapsed, before.nCounter, before.nToggle, before.nFrame))
        << n;
  }
}

TEST_F(CharaEffectTest, DamagedSizesAreClampedAndBadNumbersDrawPlainly) {
  struct Case {
    int32_t kind, param, value, used;
  } cases[] = {
      {2, 4, 0, 2},     {3, 4, -5, 2},    {2, 4, 1000, 16},  {4, 5, 0, 1},  {5, 5, 99, 4}, {10, 4, 0, 1},
      {6, 2, 0, 1},     {14, 2, 1 << 30, 9999}, {1, 2, 0, 0},  {1, 3, -7, -7}, {12, 4, -16, -16},
  };
  for (const Case& c : cases) EXPECT_EQ(ClampEffectParam(c.kind, c.param, c.value), c.used) << c.kind << " " << c.param;

  Define({{1, {5, 0, 32}}});
  cGraphicEffectSlot s;
  Database.m_CharaEffects.resize(3);  // entry 2: a plain entry
  PrepareDatabaseTables();
  for (int32_t n : {-1, 0, 2, 3, 70000}) {
    s.Start(1, kEffectForward, 0);
    s.Start(n, kEffectForward, 0);
    EXPECT_FALSE(s.Running()) << n;
    EXPECT_EQ(DrawGraphicEffect(s, nullptr, cEffectDraw{}, false, false), 0);
  }
}

TEST_F(CharaEffectTest, TheCommandStartsTheCharactersSlot) {
  ScopedStageRunning stage;
  Define({{1, {5, 0, 32}}, {11, {5, 32, 64}}});
  auto c = std::make_unique<cStageCharacter>();
  c->Setup(1, cEdCharacter{}, nullptr, nullptr, 0, 0);
  cEdCmd command;
  command.m_nKind = kCmdPlayCharaEffect;
  command.m_vParams = {2, 1, 1};
  EXPECT_EQ(ExecuteCharaEffect(*c, command), 0);
  EXPECT_EQ(std::tuple(c->m_Effect.nNumber, c->m_Effect.nMode, c->m_Effect.bLoop, c->m_Effect.dValue),
            std::tuple(2, 1, 1, 64.0));
}

// The blink in pixels, in both back ends: hidden on the first frame, drawn
// on the fourth.
TEST_F(CharaEffectTest, BlinkDrawsTheCellOnlyWhileShown) {
  DisplaySandbox sandbox;
  Define({{6, {100, 2}}});
  for (uint32_t d3d : {0u, 1u}) {
    ASSERT_TRUE(DDInit(d3d, 0, 640, 480, 32, 0, 0, 1, 60, 0, nullptr, nullptr, 0));
    DDState.dwColorKey = 0;
    DDSURFACEDATA sheet, dst;
    ASSERT_TRUE(DDCreateSurface(&sheet, 32, 32, 1, 1, DTMEMORYTYPE_SYSTEM, 0, 0));
    ASSERT_TRUE(DDCreateSurface(&dst, 64, 64, 1, 1, DTMEMORYTYPE_SYSTEM, 0, 0));
    const uint32_t ink = d3d ? 0xFF00FF00u : 0x0000FF00u;
    DDFillRectColor(&sheet, 0, 0, 32, 32, ink);
    cEffectDraw draw{.sheet = &sheet, .x = 16, .y = 16};
    cGraphicEffectSlot s;
    s.Start(1, kEffectForward, 0);
    std::vector<bool> drawn;
    for (int frame = 1; frame <= 4; ++frame) {
      DDFillSurfaceColor(&dst, 0);
      DrawGraphicEffect(s, &dst, draw, false, true);
      drawn.push_back((Pixel(&dst, 20, 20) & 0xFFFFFF) == (ink & 0xFFFFFF));
    }
    EXPECT_EQ(drawn, (std::vector<bool>{false, false, false, true})) << d3d;
    EXPECT_EQ(Pixel(&dst, 4, 4) & 0xFFFFFF, 0u);
    for (DDSURFACEDATA* sd : {&sheet, &dst}) DDReleaseSurface(sd);
    DDResetForTest();
  }
}

// Palette numbers cannot be averaged: in an 8-bit display the blur effect
// draws its cell as a colour change toward palette colour 31 at the blur's
// level, the same pixels as that blit; deeper displays blur.
TEST_F(CharaEffectTest, BlurInAn8BitDisplayIsAColourChangeTowardColour31) {
  DisplaySandbox sandbox;
  Define({{16, {100, 2, 2}}});
  std::vector<uint8_t> kept(g_BlendTable, g_BlendTable + kBlendTableBytes);
  for (int a = 0; a < 256; ++a)
    for (int b = 0; b < 256; ++b) g_BlendTable[a * 256 + b] = static_cast<uint8_t>((a + b) / 2);
  ASSERT_TRUE(DDInit(0, 0, 640, 480, 8, 0, 0, 1, 60, 0, nullptr, nullptr, 0));
  DDState.dwColorKey = 0;
  DDSURFACEDATA sheet, dst, expected;
  ASSERT_TRUE(DDCreateSurface(&sheet, 32, 32, 1, 1, DTMEMORYTYPE_SYSTEM, 0, 0));
  ASSERT_TRUE(DDCreateSurface(&dst, 64, 64, 1, 1, DTMEMORYTYPE_SYSTEM, 0, 0));
  ASSERT_TRUE(DDCreateSurface(&expected, 64, 64, 1, 1, DTMEMORYTYPE_SYSTEM, 0, 0));
  DDFillRectColor(&sheet, 0, 0, 32, 32, 200);
  for (DDSURFACEDATA* sd : {&dst, &expected}) DDFillSurfaceColor(sd, 0);
  cGraphicEffectSlot s;
  s.Start(1, kEffectForward, 0);
  DrawGraphicEffect(s, &dst, cEffectDraw{.sheet = &sheet, .x = 16, .y = 16}, false, true);
  DDBltColorChange(&expected, 16, 16, 32, 32, &sheet, 0, 0, 0, DDState.DDPalette, g_BlendTable, 31, 2);
  EXPECT_EQ(Pixel(&dst, 20, 20), 73u);  // 200, then two halvings toward 31
  for (int y = 0; y < 64; y += 5)
    for (int x = 0; x < 64; x += 5) ASSERT_EQ(Pixel(&dst, x, y), Pixel(&expected, x, y)) << x << "," << y;
  for (DDSURFACEDATA* sd : {&sheet, &dst, &expected}) DDReleaseSurface(sd);
  DDResetForTest();
  std::copy(kept.begin(), kept.end(), g_BlendTable);
}

}  // namespace
