// The colour cycle and the screen palettes of 8-bit mode.
#pragma once

#include <cstdint>

namespace plat {
struct PaletteEntry;  // PALETTEENTRY of gfx/dd.h
}

// The colour cycle, advanced once a frame by stage play. In Direct3D mode
// nine levels swing between 0 and 255 by the system data's cycle step and
// make the flashing tints 1..9 (colour 0xAARRGGBB and the texture-stage
// operation a character with that tint number is drawn with); with an 8-bit
// display and palette cycling on, every sixth call rotates the eight 4-entry
// groups 208..239 of the display palette by one place.
struct FlashTint {
  uint32_t colour = 0;
  uint32_t op = 0;
};
extern FlashTint g_FlashTints[10];  // entries 1..9
void StepColourCycle();
// Turns the palette as loaded into screen palette variant `number` (0..23;
// 0 and numbers outside that range leave it as loaded): 1..11 rotate the
// entries 16..207 by 16 x number places toward the lower entries (entry
// 16 + 16 x number comes to 16); 12..23 copy the 16 entries of block
// number - 11 (entries 16 x (number - 11) ..) over each of the twelve blocks
// of 16..207. The demo builder makes its blend tables from the same variants.
void MakeScreenPaletteVariant(plat::PaletteEntry* palette, int32_t number);
// 8-bit DirectDraw mode: palette variant `number` (0..23; others are 0) with
// its blend table "bmp\hbt\hbtNN.dat". True at once in every other mode;
// false after an error box naming the file that could not be read.
bool LoadScreenPalette(int32_t number);
void ResetColourCycleForTest();
