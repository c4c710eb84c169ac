// The palette effects: screen palettes with their blend tables, rotations
// and the colour cycle of the flashing tints.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "data/system_data.h"
#include "gfx/colour_cycle.h"
#include "gfx/dd.h"
#include "gfx/palette_tools.h"
#include "gfx/surface_table.h"
#include "scene/scene.h"
#include "support/display.h"
#include "support/game_data.h"

namespace {

// 8-bit DirectDraw mode in a demo project folder.
class ScreenPaletteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(std::system((std::string(PELMORA_TOOL) + " make-demo --force . > /dev/null").c_str()), 0);
    savedBpp_ = DDState.nBpp;
    DDState.nBpp = 8;
    ASSERT_TRUE(DDLoadPaletteFromFile(original_, GameSurfaceInfo[SURF_PALETTE].szFileName));
  }
  void TearDown() override { DDState.nBpp = savedBpp_; }
  void WriteTable(int number, uint8_t fill) {
    char name[32];
    std::snprintf(name, sizeof name, "bmp/hbt/hbt%02d.dat", number);
    sandbox_.Write(name, std::string(65536, static_cast<char>(fill)));
  }
  bool Same(const PALETTEENTRY& a, const PALETTEENTRY& b) {
    return a.peRed == b.peRed && a.peGreen == b.peGreen && a.peBlue == b.peBlue;
  }
  DisplaySandbox sandbox_;
  int32_t savedBpp_ = 0;
  PALETTEENTRY original_[256];
};

TEST_F(ScreenPaletteTest, VariantsRotateOrCopyTheColourBlocks) {
  WriteTable(0, 1);
  ASSERT_TRUE(LoadScreenPalette(0));
  EXPECT_EQ(g_BlendTable[12345], 1);
  for (int i = 0; i < 256; ++i) ASSERT_TRUE(Same(DDState.DDPalette[i], original_[i])) << i;

  WriteTable(5, 2);
  ASSERT_TRUE(LoadScreenPalette(5));
  EXPECT_EQ(g_BlendTable[0], 2);
  EXPECT_TRUE(Same(DDState.DDPalette[16], original_[16 + 80]));
  EXPECT_TRUE(Same(DDState.DDPalette[207], original_[16 + 79]));  // the first 80 went to the end
  EXPECT_TRUE(Same(DDState.DDPalette[15], original_[15]));
  EXPECT_TRUE(Same(DDState.DDPaletteWork[16], original_[96]));

  WriteTable(12, 3);
  ASSERT_TRUE(LoadScreenPalette(12));
  for (int first = 16; first < 208; first += 16)
    for (int k = 0; k < 16; ++k) ASSERT_TRUE(Same(DDState.DDPalette[first + k], original_[16 + k])) << first + k;
  EXPECT_TRUE(Same(DDState.DDPalette[208], original_[208]));
}

TEST_F(ScreenPaletteTest, MissingOrShortTablesFailAndOddNumbersFallBackToTheFirst) {
  WriteTable(0, 7);
  std::ofstream("bmp/hbt/hbt03.dat", std::ios::binary) << std::string(100, 'x');
  std::remove("bmp/hbt/hbt04.dat");  // the demo ships every variant's table
  EXPECT_FALSE(LoadScreenPalette(3));  // a short table is no table
  EXPECT_FALSE(LoadScreenPalette(4));  // none at all
  ASSERT_TRUE(LoadScreenPalette(40));  // a damaged option: palette 0
  EXPECT_EQ(g_BlendTable[65535], 7);
  EXPECT_NE(sandbox_.DialogLog().find("エラー\tbmp\\hbt\\hbt04.dat の読み込みに失敗！\tok"), std::string::npos)
      << sandbox_.DialogLog();
}

// A table is the file's first 65,536 bytes: a file with bytes after them
// gives its rows, as they stand, and plays (what follows is not read); one
// shorter than a table is no table, and the table loaded before stays.
TEST_F(ScreenPaletteTest, AFileLongerThanATableGivesItsFirstRows) {
  WriteTable(0, 7);
  ASSERT_TRUE(LoadScreenPalette(0));
  std::string rows(65536, '\0');
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<char>(i % 251);
  for (const size_t after : {size_t{1}, size_t{250000}}) {
    SCOPED_TRACE(after);
    sandbox_.Write("bmp/hbt/hbt02.dat", rows + std::string(after, '\x09'));
    ASSERT_TRUE(LoadScreenPalette(2));
    for (size_t i = 0; i < rows.size(); ++i) ASSERT_EQ(g_BlendTable[i], static_cast<uint8_t>(rows[i])) << i;
    ASSERT_TRUE(LoadScreenPalette(0));
  }
  EXPECT_EQ(sandbox_.DialogLog().find("エラー"), std::string::npos) << sandbox_.DialogLog();
  sandbox_.Write("bmp/hbt/hbt02.dat", rows.substr(0, 65535));
  EXPECT_FALSE(LoadScreenPalette(2));
  EXPECT_EQ(g_BlendTable[65535], 7);
  EXPECT_NE(sandbox_.DialogLog().find("エラー\tbmp\\hbt\\hbt02.dat の読み込みに失敗！\tok"), std::string::npos)
      << sandbox_.DialogLog();
}

// Without its palette picture a screen palette is not made, and the box
// says which picture it could not read.
TEST_F(ScreenPaletteTest, AMissingPalettePictureIsNamed) {
  WriteTable(0, 7);
  ASSERT_EQ(std::remove("bmp/plt/Palette.bmp"), 0);
  EXPECT_FALSE(LoadScreenPalette(0));
  EXPECT_NE(sandbox_.DialogLog().find("エラー\tDDLoadPaletteFromFile失敗：bmp\\plt\\Palette.bmp\tok"),
            std::string::npos)
      << sandbox_.DialogLog();
}

// The demo ships a blend table for each of the 24 screen palettes the
// options offer. The demo's palette: 1..15 a grey ramp (grey n = n x 255 / 14
// at entry n + 1), then blocks of 16 shades of a hue (shade 0 black, 10 the
// hue, shade s below 10 the hue x s / 10), which the variants move as blocks.
TEST_F(ScreenPaletteTest, TheDemoShipsATableForEveryScreenPalette) {
  for (int n = 0; n < 24; ++n) {
    SCOPED_TRACE(n);
    ASSERT_TRUE(LoadScreenPalette(n));
    const uint8_t* t = g_BlendTable;
    int wrong = 0;
    for (int a = 0; a < 256; ++a) {
      wrong += t[a * 256 + a] != a;  // a colour mixed with itself
      for (int b = 0; b < 256; ++b) {
        wrong += t[a * 256 + b] != t[b * 256 + a];
        wrong += a != 0 && b != 0 && t[a * 256 + b] == 0;  // never the transparent entry
      }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(t[1 * 256 + 15], 8) << "black and white give the middle grey";
    EXPECT_EQ(t[16 * 256 + 26], 21) << "shade 0 and shade 10 of a hue give its shade 5";
  }
}

TEST(RotatePaletteTest, BothDirectionsOverTheRange) {
  int32_t savedBpp = DDState.nBpp;
  DDState.nBpp = 32;
  PALETTEENTRY p[256] = {};
  for (int i = 0; i < 256; ++i) p[i].peRed = static_cast<uint8_t>(i);
  PALETTEENTRY up[256], down[256];
  DDRotatePalette(up, 0, 3, 1, 0, p);
  EXPECT_EQ((std::vector<int>{up[0].peRed, up[1].peRed, up[2].peRed, up[3].peRed}), (std::vector<int>{3, 0, 1, 2}));
  DDRotatePalette(down, 208, 211, 1, 1, p);
  EXPECT_EQ((std::vector<int>{down[208].peRed, down[209].peRed, down[210].peRed, down[211].peRed}),
            (std::vector<int>{209, 210, 211, 208}));
  EXPECT_EQ(down[212].peRed, 212);
  DDState.nBpp = savedBpp;
}

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
