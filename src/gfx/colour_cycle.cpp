#include "gfx/colour_cycle.h"

#include <cstdio>
#include <cstring>

#include "base/errors.h"
#include "base/logs.h"
#include "data/system_data.h"
#include "gfx/dd.h"
#include "gfx/palette_tools.h"
#include "gfx/surface_table.h"
#include "platform/text.h"

FlashTint g_FlashTints[10];

namespace {

constexpr uint32_t kTopAdd = 7;        // texture-stage "add"
constexpr uint32_t kTopSubtract = 10;  // texture-stage "subtract"

struct ColourLevel {
  int32_t value = 0;
  int32_t downward = 0;
};
ColourLevel g_levels[9];
int32_t g_tintPhase = 0;         // 0..3: the ninth tint's colour
int32_t g_paletteCycleCount = 0;  // calls since the last 8-bit rotation

// A level moved by the cycle step (System.dat #37, any 32-bit word) as
// 32-bit words add and subtract: a sum past the word's range wraps, and the
// level goes on from where the wrap leaves it.
int32_t AddWrapping(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
int32_t SubtractWrapping(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// Moves a level one step; true when a downward swing reached the bottom
// (one whole cycle).
bool StepLevel(ColourLevel& level, int32_t step) {
  if (!level.downward) {
    int32_t next = AddWrapping(level.value, step);
    if (next >= 255)
      level.downward = 1;  // stays at its previous value this time
    else
      level.value = next;
    return false;
  }
  int32_t next = SubtractWrapping(level.value, step);
  if (next <= 0) {
    level.downward = 0;
    return true;
  }
  level.value = next;
  return false;
}

uint32_t Argb(int32_t r, int32_t g, int32_t b) {
  return 0xFF000000u | (static_cast<uint32_t>(r & 0xFF) << 16) | (static_cast<uint32_t>(g & 0xFF) << 8) |
         static_cast<uint32_t>(b & 0xFF);
}

}  // namespace

void StepColourCycle() {
  if (lpDTCon) {
    int32_t l[9];
    for (int i = 0; i < 9; ++i) l[i] = g_levels[i].value;  // the tints use the values before this step
    g_FlashTints[1] = {Argb(l[0], l[0], l[0]), kTopAdd};
    g_FlashTints[2] = {Argb(l[1], l[1], l[1]), kTopSubtract};
    g_FlashTints[3] = {Argb(l[2], 0, 0), kTopAdd};
    g_FlashTints[4] = {Argb(0, l[3], 0), kTopAdd};
    g_FlashTints[5] = {Argb(0, 0, l[4]), kTopAdd};
    g_FlashTints[6] = {Argb(l[5], l[5], 0), kTopAdd};
    g_FlashTints[7] = {Argb(l[6], 0, l[6] / 4), kTopAdd};
    g_FlashTints[8] = {Argb(l[7] / 4, 0, l[7]), kTopAdd};
    static constexpr int kPhase[4][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}};
    const int* p = kPhase[g_tintPhase];
    g_FlashTints[9] = {Argb(p[0] * l[8], p[1] * l[8], p[2] * l[8]), kTopAdd};
    const int32_t step = SystemData.Num(kSysColourCycleStep);
    for (int i = 0; i < 9; ++i) {
      bool cycled = StepLevel(g_levels[i], step);
      if (i == 8 && cycled) g_tintPhase = (g_tintPhase + 1) % 4;
    }
    return;
  }
  if (!SystemData.Num(kSysPaletteCycling) || DDState.nBpp != 8) return;
  if (++g_paletteCycleCount < 6) return;
  g_paletteCycleCount = 0;
  PALETTEENTRY* palette = DDState.DDPaletteWork;
  for (int first = 208; first < 240; first += 4) {
    PALETTEENTRY head = palette[first];  // the group's first entry moves to its last place
    for (int i = first; i < first + 3; ++i) palette[i] = palette[i + 1];
    palette[first + 3] = head;
  }
  if (DDState.lpDDPalette) DDState.lpDDPalette->SetEntries(208, 32, palette + 208);
}

void ResetColourCycleForTest() {
  for (ColourLevel& level : g_levels) level = ColourLevel{};
  for (FlashTint& tint : g_FlashTints) tint = FlashTint{};
  g_tintPhase = 0;
  g_paletteCycleCount = 0;
}

// ---- screen palettes of 8-bit mode ----

void MakeScreenPaletteVariant(PALETTEENTRY* palette, int32_t number) {
  if (!palette || number <= 0 || number > 23) return;
  constexpr int kFirst = 16, kCount = 192;  // entries 16..207: twelve blocks of 16
  PALETTEENTRY loaded[kCount];
  std::memcpy(loaded, palette + kFirst, sizeof loaded);
  for (int i = 0; i < kCount; ++i) {
    // Variants below 12 rotate the range toward the lower entries by 16 x
    // number places; the others repeat block number - 12 in every block.
    const int from = number < 12 ? (i + 16 * number) % kCount : 16 * (number - 12) + i % 16;
    palette[kFirst + i] = loaded[from];
  }
}

bool LoadScreenPalette(int32_t number) {
  if (lpDTCon || DDState.nBpp != 8) return true;
  // The options store 0..23; anything else (a damaged option record) is the
  // first palette rather than a read past the palette's end.
  if (number < 0 || number > 23) number = 0;
  char name[64];
  std::snprintf(name, sizeof name, "bmp\\hbt\\hbt%02d.dat", number);
  if (!DDLoadBlendTable(g_BlendTable, name)) {
    ShowError(plat::Sjis("%s の読み込みに失敗！").c_str(), name);
    return false;
  }
  PALETTEENTRY* palette = DDState.DDPalette;
  if (!DDLoadPaletteFromFile(palette, GameSurfaceInfo[SURF_PALETTE].szFileName)) {
    ShowError(plat::Sjis("DDLoadPaletteFromFile失敗：%s").c_str(), GameSurfaceInfo[SURF_PALETTE].szFileName);
    return false;
  }
  MakeScreenPaletteVariant(palette, number);
  std::memcpy(DDState.DDPaletteWork, palette, sizeof DDState.DDPaletteWork);
  // 255 entries, as it always set: entry 255 comes unchanged from the same picture.
  if (DDState.lpDDPalette) DDState.lpDDPalette->SetEntries(0, 255, DDState.DDPaletteWork);
  return true;
}
