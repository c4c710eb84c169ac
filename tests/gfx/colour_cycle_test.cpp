#include <gtest/gtest.h>

#include "data/system_data.h"
#include "gfx/colour_cycle.h"
#include "gfx/dd.h"
#include "scene/scene.h"
#include "support/display.h"
#include "support/game_data.h"

namespace {

uint32_t Grey(uint32_t v) { return 0xFF000000u | v << 16 | v << 8 | v; }

TEST(ColourCycleTest, TintsSwingWithTheCycleStepAndTheNinthChangesColourEachCycle) {
  ScopedGameData data;
  ResetColourCycleForTest();
  DTCONTEXT context;
  DTCONTEXT* saved = lpDTCon;
  lpDTCon = &context;  // Direct3D mode
  ASSERT_EQ(SystemData.Num(kSysColourCycleStep), 16);
  StepColourCycle();
  EXPECT_EQ(g_FlashTints[1].colour, Grey(0));  // built from the value before the step
  EXPECT_EQ(g_FlashTints[1].op, 7u);
  EXPECT_EQ(g_FlashTints[2].op, 10u);
  for (int call = 2; call <= 16; ++call) StepColourCycle();
  EXPECT_EQ(g_FlashTints[1].colour, Grey(240));  // 256 would pass 255: the level turns at 240
  StepColourCycle();
  EXPECT_EQ(g_FlashTints[1].colour, Grey(240));  // the turn kept the value
  StepColourCycle();
  EXPECT_EQ(g_FlashTints[1].colour, Grey(224));
  EXPECT_EQ(g_FlashTints[3].colour, 0xFF000000u | 224u << 16);
  EXPECT_EQ(g_FlashTints[7].colour, 0xFF000000u | 224u << 16 | 56u);
  for (int call = 19; call <= 31; ++call) StepColourCycle();
  EXPECT_EQ(g_FlashTints[9].colour, 0xFF000000u | 16u << 16);  // still red: the cycle ends in this call
  StepColourCycle();
  EXPECT_EQ(g_FlashTints[9].colour, 0xFF000000u | 16u << 8);  // one whole cycle: green
  EXPECT_EQ(g_FlashTints[1].colour, Grey(16));
  lpDTCon = saved;
}

TEST(ColourCycleTest, EightBitPaletteRotatesItsGroupsEverySixthFrame) {
  ScopedGameData data;
  DisplaySandbox display;
  ResetColourCycleForTest();
  ASSERT_EQ(lpDTCon, nullptr);
  int32_t savedBpp = DDState.nBpp;
  SystemData.SetNum(kSysPaletteCycling, 1);
  DDState.nBpp = 8;
  for (int i = 0; i < 256; ++i) DDState.DDPaletteWork[i].peRed = static_cast<uint8_t>(i);
  for (int call = 1; call <= 5; ++call) StepColourCycle();
  EXPECT_EQ(DDState.DDPaletteWork[208].peRed, 208);
  StepColourCycle();
  for (int first = 208; first < 240; first += 4) {
    EXPECT_EQ(DDState.DDPaletteWork[first].peRed, first + 1);
    EXPECT_EQ(DDState.DDPaletteWork[first + 3].peRed, first);
  }
  EXPECT_EQ(DDState.DDPaletteWork[207].peRed, 207);
  EXPECT_EQ(DDState.DDPaletteWork[240].peRed, 240);
  SystemData.SetNum(kSysPaletteCycling, 0);
  for (int call = 1; call <= 6; ++call) StepColourCycle();
  EXPECT_EQ(DDState.DDPaletteWork[208].peRed, 209);  // cycling off: nothing moves
  DDState.nBpp = savedBpp;
}

}  // namespace
