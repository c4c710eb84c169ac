// The demo project's pictures, drawn by code: the palette bitmap, blocks,
// characters, items, shots, windows, title, world map and stage
// backgrounds, each as the game's surface table names it. Every picture is
// an 8-bit bitmap over one shared 256-colour palette whose entry 0 (the
// palette bitmap's top-left pixel) is the transparent colour, so the
// pictures look alike in every display mode and depth. This file makes the
// palette, the palette and debug-text pictures and the small ones, and
// writes them all; demo_bitmaps_sprites.cpp draws the stage's things and
// demo_bitmaps_screens.cpp the screens.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "demo_bitmaps.h"
#include "tool.h"

namespace tool::demo_bitmaps {
namespace {

// The colours of the groups that cycle, four each from entry 208.
constexpr uint32_t kCycleColours[8][4] = {
    {0x1848B0, 0x2868D8, 0x4890F0, 0x80C0FF},  // water
    {0xB82010, 0xE85010, 0xF89020, 0xFFD040},  // fire
    {0xB08018, 0xD8A828, 0xF8D850, 0xFFF8C0},  // gold
    {0xF04040, 0xF0D030, 0x40C050, 0x4080F0},  // rainbow
    {0xF040E0, 0x8040F0, 0x40E0F0, 0x40F080},  // neon
    {0xFFFFFF, 0xC8D0F0, 0x8088C0, 0xC8D0F0},  // starlight
    {0x40A040, 0x50B848, 0x60C850, 0x50B848},  // leaves
    {0x9040C0, 0xB060E0, 0xD090F8, 0xB060E0},  // crystal
};

std::vector<uint32_t> MakePalette() {
  static const uint32_t kHues[14] = {0xE03030, 0xF08020, 0xF0D030, 0x90D030, 0x30A040, 0x20A090, 0x30C0D0,
                                     0x50A0F0, 0x3050D0, 0x5040A0, 0x9040C0, 0xF070B0, 0x8A5A30, 0xF0C8A0};
  // Shade s of hue h: from black up to the hue at 10, then toward white.
  auto ramp = [&](int h, int s) {
    const int r = kHues[h] >> 16 & 255, g = kHues[h] >> 8 & 255, b = kHues[h] & 255;
    int cr, cg, cb;
    if (s <= 10) {
      cr = r * s / 10, cg = g * s / 10, cb = b * s / 10;
    } else {
      const int t = s - 10;  // 1..5
      cr = r + (255 - r) * t / 6, cg = g + (255 - g) * t / 6, cb = b + (255 - b) * t / 6;
    }
    return static_cast<uint32_t>(cr) << 16 | static_cast<uint32_t>(cg) << 8 | static_cast<uint32_t>(cb);
  };
  std::vector<uint32_t> p(256, 0);
  p[0] = 0xFF00FF;
  // The greys, black to a white a shade off the text's (palette 241), so
  // that text can be told from white paint (clouds, the master) dot by dot.
  for (int i = 0; i < 15; ++i) {
    const uint32_t v = static_cast<uint32_t>(std::min(i * 255 / 14, 254));
    p[1 + i] = v << 16 | v << 8 | v;
  }
  for (int h = 0; h < kRampHues; ++h)
    for (int s = 0; s < 16; ++s) p[16 + h * 16 + s] = ramp(h, s);
  for (int g = 0; g < 8; ++g)
    for (int k = 0; k < 4; ++k) p[208 + g * 4 + k] = kCycleColours[g][k];
  // The frame line round every box: a blue darker than the box picture's,
  // its edge rather than a line (the box picture draws no line of its
  // own). Texts stand at a box's very edges (a menu's labels at its top):
  // they read there as text at the edge of a dark panel, not as text run
  // into a line.
  p[FRAME] = 0x0C1848;
  p[TEXT] = 0xFFFFFF;
  for (int k = 0; k < kBrownShades; ++k) p[kBrowns + k] = ramp(BROWN, (k * 15 + 3) / (kBrownShades - 1));
  for (int k = 0; k < kSkinShades; ++k) p[kSkins + k] = ramp(SKIN, (k * 15 + 2) / (kSkinShades - 1));
  return p;
}

// ---- the pictures ----

// 16 × 24: the colour table is the palette; rows 8..23 hold the 16 × 16 grid
// of palette numbers; the top-left pixel is the transparent colour.
Canvas PalettePicture() {
  Canvas c(16, 24, KEY);
  for (int r = 0; r < 16; ++r)
    for (int col = 0; col < 16; ++col) c.Set(col, 8 + r, static_cast<uint8_t>(16 * r + col));
  return c;
}

// The debug glyph strip: 16 glyphs of 8 × 16 a row; byte b at row b >> 4,
// the half-width katakana moved to rows 0, 1, 8, 9 as the debug text reads them.
Canvas DebugGlyphs() {
  Canvas c(128, 256, KEY);
  TextPen pen(14);
  for (int b = 0x20; b < 0x100; ++b) {
    if (b == 0x7F || (b >= 0x80 && b < 0xA6) || b >= 0xDE) continue;
    int row = b >> 4;
    if (b >= 0xA6 && b <= 0xBF) row = (b >> 4) - 10;
    if (b >= 0xC0 && b <= 0xDD) row = (b >> 4) - 4;
    std::string utf8;
    if (b < 0x80) {
      utf8 = std::string(1, static_cast<char>(b));
    } else {  // CP932 0xA1.. are the half-width katakana U+FF61..
      const uint32_t cp = 0xFF61 + (b - 0xA1);
      utf8 = {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
              static_cast<char>(0x80 | (cp & 0x3F))};
    }
    pen.Draw(c, (b & 15) * 8, row * 16 + 1, utf8, TEXT);
  }
  c.Outline(0, 0, 128, 256, Grey(1));
  return c;
}

bool BuildBitmaps(const std::string& folder, const tool::DemoOptions& /*options*/) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(fs::path(folder) / "bmp" / "plt", ec);
  if (ec) {
    std::fprintf(stderr, "bitmaps: cannot create %s/bmp/plt (%s)\n", folder.c_str(), ec.message().c_str());
    return false;
  }
  const std::vector<uint32_t> palette = MakePalette();
  TextPen glyphs(16), big(96), small(24), digits(30), tiny(13), mid(20), small48(48);
  struct Picture {
    std::string name;
    Canvas canvas;
  };
  std::vector<Picture> pictures;
  pictures.push_back({"bmp/plt/Palette.bmp", PalettePicture()});
  pictures.push_back({"bmp/Debug.bmp", DebugGlyphs()});
  pictures.push_back({"bmp/Block.bmp", Blocks()});
  // Eight sheets, as many as the surface table loads (the game draws from
  // the first; the others are there for authors to draw on).
  for (int n = 1; n <= 8; ++n) pictures.push_back({"bmp/Character" + std::to_string(n) + ".bmp", Characters(n)});
  pictures.push_back({"bmp/Shot.bmp", Shots()});
  pictures.push_back({"bmp/Sword.bmp", Sword()});
  pictures.push_back({"bmp/Explosion.bmp", Explosion()});  // fxobj
  pictures.push_back({"bmp/Item.bmp", Items()});
  pictures.push_back({"bmp/Item_Mini.bmp", MiniItems()});
  {
    Canvas marks(256, 176, KEY);  // cursor arrows, a pointing hand, exclamation and question marks
    for (int k = 0; k < 4; ++k)
      for (int j = 0; j < 12; ++j) marks.Rect(k * 32 + 10, 10 + j, 12 - j, 1, Shade(static_cast<Hue>(k * 3), 11));
    glyphs.Draw(marks, 136, 4, "!", Shade(RED, 10)), glyphs.Draw(marks, 168, 4, "?", Shade(SKY, 10));
    marks.Outline(0, 0, 256, 32, Grey(1));
    HudMarks(marks);
    pictures.push_back({"bmp/Mark.bmp", std::move(marks)});
  }
  {
    // The box picture: a deep blue that darkens downward, with no lines of
    // its own (the frame line the game draws just outside the box edges it).
    Canvas window(640, 480, KEY);
    window.VGradient(0, 0, 640, 480, {Shade(BLUE, 6), Shade(BLUE, 4), Shade(BLUE, 3)});
    pictures.push_back({"bmp/Window.bmp", std::move(window)});
    Canvas status(640, 20, KEY);  // the HUD's strip across the top of the screen
    Panel(status, 0, 0, 640, 20, INDIGO);
    pictures.push_back({"bmp/StatusWindow.bmp", std::move(status)});
  }
  pictures.push_back({"bmp/Title.bmp", Title(big, glyphs)});
  pictures.push_back({"bmp/GameMode.bmp", GameModes(small, tiny)});
  pictures.push_back({"bmp/Accessory.bmp", SystemPicture(digits)});
  {
    Canvas symbols(416, 16, KEY);  // the picture letters a..z
    for (int k = 0; k < 26; ++k) {
      const Hue hue = static_cast<Hue>(k % 12);
      if (k % 3 == 0) symbols.Ellipse(k * 16 + 8, 8, 6, 6, Shade(hue, 10));
      else if (k % 3 == 1) symbols.Rect(k * 16 + 3, 3, 10, 10, Shade(hue, 10));
      else for (int j = 0; j < 10; ++j) symbols.Rect(k * 16 + 8 - j / 2, 3 + j, 1 + j, 1, Shade(hue, 10));
    }
    symbols.Outline(0, 0, 416, 16, Grey(1));
    pictures.push_back({"bmp/Symbol.bmp", std::move(symbols)});
  }
  pictures.push_back({"bmp/Word.bmp", Words(small, digits)});
  {
    Canvas chips(160, 64, KEY);  // ten world-map chips, five a row
    const uint8_t fills[10] = {Shade(GREEN, 9), Shade(BLUE, 8), Shade(BROWN, 7), Shade(GREEN, 5), Shade(YELLOW, 13),
                               Shade(BROWN, 11), Shade(BROWN, 9), Grey(14), Shade(RED, 7), Grey(9)};
    for (int n = 0; n < 10; ++n) {
      const int x = (n % 5) * 32, y = (n / 5) * 32;
      chips.Rect(x, y, 32, 32, fills[n]);
      if (n == 2) for (int j = 0; j < 20; ++j) chips.Rect(x + 16 - j / 2, y + 6 + j, j + 1, 1, Grey(8 + (j < 6 ? 6 : 0)));
      if (n == 3) for (int k = 0; k < 3; ++k) chips.Ellipse(x + 8 + k * 8, y + 14 + (k % 2) * 6, 6, 8, Shade(GREEN, 7));
      if (n == 9) chips.Rect(x + 8, y + 12, 16, 14, Shade(RED, 6)), chips.Rect(x + 14, y + 18, 4, 8, Grey(2));
      if (n == 1)  // water: its ripples run round the water colours
        for (int k = 0; k < 4; ++k)
          for (int i = 0; i < 10; ++i) chips.Set(x + 2 + (k * 9 + i) % 30, y + 5 + k * 7 + (i / 3) % 2, Cycling(WATER, k + i / 3));
      if (n == 5) {  // a bridge: planks over the water
        chips.Rect(x, y, 32, 32, Shade(BLUE, 8));
        for (int k = 0; k < 4; ++k) chips.Rect(x + 1 + k * 8, y + 4, 6, 24, Shade(BROWN, 10));
        chips.Rect(x, y + 4, 32, 2, Shade(BROWN, 5)), chips.Rect(x, y + 26, 32, 2, Shade(BROWN, 5));
      }
    }
    pictures.push_back({"bmp/WorldMapChip.bmp", std::move(chips)});
  }
  {
    Canvas events(64, 256, KEY);  // world icons: not cleared (x 0), cleared (x 32)
    for (int row = 0; row < 8; ++row)
      for (int cleared = 0; cleared < 2; ++cleared) {
        const int x = cleared * 32, y = row * 32;
        if (row == 2) {  // the master's castle: dark towers, its windows lit by the fire
          events.Rect(x + 4, y + 8, 24, 22, cleared ? Shade(GREEN, 6) : Grey(3));
          for (int k = 0; k < 3; ++k) events.Rect(x + 4 + k * 10, y + 2, 4, 8, events.Get(x + 5, y + 9));
          events.Rect(x + 13, y + 20, 6, 10, Grey(1));
          for (int k = 0; k < 2; ++k) events.Rect(x + 8 + k * 12, y + 13, 3, 4, Cycling(FIRE, k));
          events.Outline(x, y, 32, 32, Grey(1));
          continue;
        }
        if (row == 3) {  // the ending: a golden crown, glinting
          events.Rect(x + 6, y + 14, 20, 12, Shade(YELLOW, 9));
          for (int k = 0; k < 3; ++k) events.Rect(x + 6 + k * 8, y + 6, 4, 8, Shade(YELLOW, 9));
          for (int k = 0; k < 3; ++k) events.Rect(x + 7 + k * 8, y + 4, 2, 2, Cycling(GOLD, k));
          events.Rect(x + 6, y + 22, 20, 2, Shade(ORANGE, 6));
          events.Rect(x + 14, y + 17, 4, 4, cleared ? Shade(GREEN, 9) : Shade(RED, 9));
          events.Outline(x, y, 32, 32, Grey(1));
          continue;
        }
        if (row == 7) {  // a closed gate: bars between two posts
          events.Rect(x + 3, y + 6, 5, 24, Grey(7)), events.Rect(x + 24, y + 6, 5, 24, Grey(7));
          for (int k = 0; k < 4; ++k) events.Rect(x + 9 + k * 4, y + 8, 2, 22, Grey(11));
          events.Rect(x + 8, y + 12, 16, 2, Grey(11)), events.Rect(x + 8, y + 24, 16, 2, Grey(11));
          events.Outline(x, y, 32, 32, Grey(1));
          continue;
        }
        events.Rect(x + 6, y + 10, 20, 18, cleared ? Shade(GREEN, 8) : Shade(static_cast<Hue>(row % 12), 8));
        events.Rect(x + 12, y + 18, 8, 10, Grey(2));
        for (int k = 0; k < 3; ++k) events.Rect(x + 6 + k * 8, y + 6, 4, 4, events.Get(x + 7, y + 11));
        events.Rect(x + 15, y + 1, 1, 6, Grey(10)), events.Rect(x + 16, y + 1, 6, 3, cleared ? Shade(YELLOW, 11) : Shade(RED, 9));
        events.Outline(x, y, 32, 32, Grey(1));
      }
    pictures.push_back({"bmp/WorldEvent.bmp", std::move(events)});
  }
  {
    Canvas back(640, 480, 0);
    back.VGradient(0, 0, 640, 480, {Shade(BLUE, 5), Shade(BLUE, 7), Shade(SKY, 8)});
    for (int k = 0; k < 60; ++k) back.Rect((k * 97) % 620, (k * 53) % 470, 8 + k % 12, 1, Shade(SKY, 11));
    pictures.push_back({"bmp/WorldBack.bmp", std::move(back)});
  }
  pictures.push_back({"bmp/StageSky.bmp", StageSky()});
  // >>> gsrc: the special bitmaps
  pictures.push_back({"bmp/Ufo.bmp", UfoPicture()});
  pictures.push_back({"bmp/Crystal.bmp", CrystalPicture()});
  // <<< gsrc
  pictures.push_back({"bmp/StageHills.bmp", StageHills()});
  pictures.push_back({"bmp/TheEnd.bmp", TheEnd(small48, mid)});
  // The stage backgrounds under the names the table gives them.
  for (int n = 1; n <= 8; ++n) pictures.push_back({"背景その" + std::to_string(n) + ".bmp", Background(n)});

  for (const Picture& p : pictures) {
    const std::string path = (fs::path(folder) / p.name).string();
    if (!p.canvas.Save(path, palette)) {
      std::fprintf(stderr, "bitmaps: cannot write %s (%s)\n", path.c_str(), tool::LastWriteFailure().c_str());
      return false;
    }
  }
  return true;
}

tool::Registrar demoBitmaps(tool::DemoPart{20, "bitmaps", BuildBitmaps});

}  // namespace
}  // namespace tool::demo_bitmaps
