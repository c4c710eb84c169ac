// The demo project's pictures, drawn by code: the palette bitmap, blocks,
// characters, items, shots, windows, title, world map and stage
// backgrounds, each as the game's surface table names it. Every picture is
// an 8-bit bitmap over one shared 256-colour palette whose entry 0 (the
// palette bitmap's top-left pixel) is the transparent colour, so the
// pictures look alike in every display mode and depth.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bmp_file_writer.h"
#include "demo_media.h"
#include "platform/font_raster.h"
#include "tool.h"

namespace {

// ---- the palette ----
// 0 transparent (magenta); 1..15 greys, black to white; 16..207 twelve hue
// ramps of 16 shades (shade 0 black, 10 the pure hue, 15 near white), the
// blocks that the options' screen palettes move about; 208..239 eight
// groups of four colours that turn round in 8-bit displays (the colour
// cycling: water ripples, fire flickers, gold glints ...); 240 the font
// frame colour, 241 the text colour; 242..249 eight browns and 250..255 six
// skin tones, ramps of their own kept out of both.
constexpr uint8_t KEY = 0;
constexpr uint8_t FRAME = 240, TEXT = 241;
enum Hue { RED, ORANGE, YELLOW, LIME, GREEN, TEAL, CYAN, SKY, BLUE, INDIGO, PURPLE, PINK, BROWN, SKIN };
constexpr int kRampHues = 12;                   // RED..PINK have full ramps
constexpr uint8_t kBrowns = 242, kSkins = 250;  // the short ramps
constexpr int kBrownShades = 8, kSkinShades = 6;
// The groups that cycle, four colours each from entry 208.
enum Cycle { WATER, FIRE, GOLD, RAINBOW, NEON, STARLIGHT, LEAVES, CRYSTAL };
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

uint8_t Grey(int level) { return static_cast<uint8_t>(1 + std::clamp(level, 0, 14)); }  // 0 black .. 14 white
// Shade 0 (black) .. 15 (near white) of a hue; the short ramps take the
// nearest of their shades.
uint8_t Shade(Hue hue, int shade) {
  shade = std::clamp(shade, 0, 15);
  if (hue == BROWN) return static_cast<uint8_t>(kBrowns + (shade * (kBrownShades - 1) + 7) / 15);
  if (hue == SKIN) return static_cast<uint8_t>(kSkins + (shade * (kSkinShades - 1) + 7) / 15);
  return static_cast<uint8_t>(16 + hue * 16 + shade);
}
// Colour k (0..3) of a cycling group.
uint8_t Cycling(Cycle group, int k) { return static_cast<uint8_t>(208 + group * 4 + (k & 3)); }

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
  for (int i = 0; i < 15; ++i) {
    const uint32_t v = static_cast<uint32_t>(i * 255 / 14);
    p[1 + i] = v << 16 | v << 8 | v;
  }
  for (int h = 0; h < kRampHues; ++h)
    for (int s = 0; s < 16; ++s) p[16 + h * 16 + s] = ramp(h, s);
  for (int g = 0; g < 8; ++g)
    for (int k = 0; k < 4; ++k) p[208 + g * 4 + k] = kCycleColours[g][k];
  p[FRAME] = 0x283060;
  p[TEXT] = 0xFFFFFF;
  for (int k = 0; k < kBrownShades; ++k) p[kBrowns + k] = ramp(BROWN, (k * 15 + 3) / (kBrownShades - 1));
  for (int k = 0; k < kSkinShades; ++k) p[kSkins + k] = ramp(SKIN, (k * 15 + 2) / (kSkinShades - 1));
  return p;
}

// ---- drawing on palette indices ----
struct Canvas {
  int w, h;
  std::vector<uint8_t> px;
  Canvas(int width, int height, uint8_t fill = KEY) : w(width), h(height), px(size_t(width) * height, fill) {}
  void Set(int x, int y, uint8_t c) {
    if (x >= 0 && y >= 0 && x < w && y < h) px[size_t(y) * w + x] = c;
  }
  uint8_t Get(int x, int y) const { return (x >= 0 && y >= 0 && x < w && y < h) ? px[size_t(y) * w + x] : KEY; }
  void Rect(int x, int y, int rw, int rh, uint8_t c) {
    for (int j = 0; j < rh; ++j)
      for (int i = 0; i < rw; ++i) Set(x + i, y + j, c);
  }
  void Frame(int x, int y, int rw, int rh, uint8_t c) {
    Rect(x, y, rw, 1, c), Rect(x, y + rh - 1, rw, 1, c), Rect(x, y, 1, rh, c), Rect(x + rw - 1, y, 1, rh, c);
  }
  void Ellipse(double cx, double cy, double rx, double ry, uint8_t c) {
    for (int y = int(cy - ry) - 1; y <= int(cy + ry) + 1; ++y)
      for (int x = int(cx - rx) - 1; x <= int(cx + rx) + 1; ++x) {
        const double dx = (x + 0.5 - cx) / rx, dy = (y + 0.5 - cy) / ry;
        if (dx * dx + dy * dy <= 1.0) Set(x, y, c);
      }
  }
  // A one-dot outline in `c` around every non-key pixel of the rectangle.
  void Outline(int x0, int y0, int rw, int rh, uint8_t c) {
    std::vector<uint8_t> copy = px;
    auto was = [&](int x, int y) {
      return x >= x0 && y >= y0 && x < x0 + rw && y < y0 + rh && x < w && y < h && copy[size_t(y) * w + x] != KEY;
    };
    for (int y = y0; y < y0 + rh; ++y)
      for (int x = x0; x < x0 + rw; ++x)
        if (!was(x, y) && (was(x - 1, y) || was(x + 1, y) || was(x, y - 1) || was(x, y + 1))) Set(x, y, c);
  }
  // Vertical gradient over a ramp of palette indices.
  void VGradient(int x, int y, int rw, int rh, const std::vector<uint8_t>& ramp) {
    for (int j = 0; j < rh; ++j) {
      // Ordered dither between neighbouring steps.
      const double t = double(j) / std::max(1, rh - 1) * (ramp.size() - 1);
      const int base = int(t);
      const double frac = t - base;
      for (int i = 0; i < rw; ++i) {
        static const double kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
        const bool up = frac > (kBayer[(y + j) & 3][(x + i) & 3] + 0.5) / 16 && base + 1 < int(ramp.size());
        Set(x + i, y + j, ramp[base + (up ? 1 : 0)]);
      }
    }
  }
  bool Save(const std::string& path, const std::vector<uint32_t>& palette) const {
    return tool::WriteBmp8(path, w, h, palette, px);
  }
};

// Text through the runtime's font rasteriser: coverage of half or more sets
// the dot (no blending on palette pictures).
class TextPen {
 public:
  TextPen(int pixelHeight) {
    const std::string file = plat::FindFontFile("IPAGothic");
    if (!file.empty()) face_ = plat::FontFace::Open(file, pixelHeight);
  }
  // Draws `utf8` with its top-left at (x, y); returns the width drawn.
  int Draw(Canvas& c, int x, int y, const std::string& utf8, uint8_t colour) {
    if (!face_) return 0;
    int pen = x;
    const int baseline = y + face_->Ascent();
    for (size_t i = 0; i < utf8.size();) {
      uint32_t cp = static_cast<uint8_t>(utf8[i]);
      int extra = cp >= 0xF0 ? 3 : cp >= 0xE0 ? 2 : cp >= 0xC0 ? 1 : 0;
      if (extra) cp &= 0x3F >> extra;
      for (int k = 1; k <= extra && i + k < utf8.size(); ++k) cp = cp << 6 | (static_cast<uint8_t>(utf8[i + k]) & 0x3F);
      i += 1 + extra;
      plat::GlyphBitmap g;
      face_->RenderGlyph(cp, g);
      for (int gy = 0; gy < g.height; ++gy)
        for (int gx = 0; gx < g.width; ++gx)
          if (g.coverage[size_t(gy) * g.width + gx] >= 128) c.Set(pen + g.left + gx, baseline - g.top + gy, colour);
      pen += g.advance;
    }
    return pen - x;
  }
  int Measure(const std::string& utf8) { return face_ ? face_->MeasureUtf8(utf8) : 0; }

 private:
  std::unique_ptr<plat::FontFace> face_;
};

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

// The game's own block pictures among the tiles (the block numbers its
// types name): the spring, whose coil glows round the neon colours, and
// the lift's plate.
using tool::demo::kLiftTile;
using tool::demo::kSpringTile;

void SpringTile(Canvas& c, int x, int y) {
  c.Rect(x, y + 26, 32, 6, Grey(6));
  c.Rect(x + 2, y + 2, 28, 5, Shade(RED, 9));
  c.Rect(x + 2, y + 2, 28, 1, Shade(RED, 13));
  for (int k = 0; k < 5; ++k)  // the coil, one colour of the cycle a turn
    c.Rect(x + 6 + (k % 2) * 2, y + 8 + k * 4, 18, 3, Cycling(NEON, k));
}

void LiftTile(Canvas& c, int x, int y) {
  c.Rect(x, y, 32, 32, Grey(9));
  c.Rect(x, y, 32, 3, Grey(13));
  c.Rect(x, y + 29, 32, 3, Grey(5));
  for (int k = 0; k < 4; ++k) c.Ellipse(x + 4 + k * 8, y + 16, 2, 2, Cycling(GOLD, k));  // running lights
}

// Blocks: 15 a row, 32 × 32 each, 10 rows.
Canvas Blocks() {
  Canvas c(480, 320, KEY);
  for (int n = 1; n < 150; ++n) {  // block 0 is "no block"
    const int x = (n % 15) * 32, y = (n / 15) * 32;
    const Hue hue = static_cast<Hue>((n / 15 + 12) % 14);
    if (n == kSpringTile) {
      SpringTile(c, x, y);
      continue;
    }
    if (n == kLiftTile) {
      LiftTile(c, x, y);
      continue;
    }
    switch (n % 15) {
      case 1: case 2: case 3:  // ground: dirt with a grass top
        c.Rect(x, y, 32, 32, Shade(BROWN, 7));
        for (int i = 0; i < 24; ++i) c.Set(x + (i * 13 + n * 7) % 32, y + 8 + (i * 7) % 24, Shade(BROWN, 5));
        c.Rect(x, y, 32, 7, Shade(GREEN, 9));
        for (int i = 0; i < 32; i += 3) c.Set(x + i, y + 7, Shade(GREEN, 7));
        break;
      case 4: case 5:  // bricks
        c.Rect(x, y, 32, 32, Shade(hue, 5));
        for (int r = 0; r < 4; ++r) {
          c.Rect(x, y + r * 8 + 7, 32, 1, Shade(hue, 3));
          for (int k = 0; k < 2; ++k) c.Rect(x + ((r & 1) * 8 + k * 16) % 32, y + r * 8, 1, 7, Shade(hue, 3));
          c.Rect(x, y + r * 8, 32, 1, Shade(hue, 8));
        }
        break;
      case 6:  // stone
        c.Rect(x, y, 32, 32, Grey(8));
        c.Frame(x, y, 32, 32, Grey(4));
        c.Rect(x + 1, y + 1, 30, 1, Grey(11)), c.Rect(x + 1, y + 1, 1, 30, Grey(11));
        break;
      case 7:  // prize block
        c.Rect(x, y, 32, 32, Shade(YELLOW, 9));
        c.Frame(x, y, 32, 32, Shade(ORANGE, 5));
        c.Ellipse(x + 16, y + 16, 6, 6, Shade(ORANGE, 7));
        c.Ellipse(x + 16, y + 16, 3, 3, Shade(YELLOW, 13));
        break;
      case 8:  // ice
        c.Rect(x, y, 32, 32, Shade(CYAN, 12));
        for (int i = 4; i < 28; ++i) c.Set(x + i, y + 31 - i, Shade(CYAN, 15));
        c.Frame(x, y, 32, 32, Shade(SKY, 8));
        break;
      case 9:  // spikes
        for (int k = 0; k < 4; ++k)
          for (int j = 0; j < 16; ++j) c.Rect(x + k * 8 + 4 - j / 4, y + 16 + j, 1 + (j / 4) * 2, 1, Grey(10 - j / 6));
        c.Rect(x, y + 30, 32, 2, Grey(5));
        break;
      case 10:  // ladder
        c.Rect(x + 6, y, 3, 32, Shade(BROWN, 9)), c.Rect(x + 23, y, 3, 32, Shade(BROWN, 9));
        for (int r = 4; r < 32; r += 8) c.Rect(x + 6, y + r, 20, 2, Shade(BROWN, 11));
        break;
      case 11:  // water, its ripples running round the water colours
        c.VGradient(x, y, 32, 32, {Shade(SKY, 9), Shade(BLUE, 8), Shade(BLUE, 6)});
        for (int i = 0; i < 32; ++i) c.Set(x + i, y + 2 + int(std::sin(i / 5.0) * 2), Cycling(WATER, i / 8));
        break;
      case 12:  // cloud platform
        c.Ellipse(x + 10, y + 18, 10, 8, Grey(14)), c.Ellipse(x + 22, y + 16, 10, 10, Grey(14));
        c.Outline(x, y, 32, 32, Grey(9));
        break;
      case 13:  // crate
        c.Rect(x + 1, y + 1, 30, 30, Shade(BROWN, 10));
        c.Frame(x + 1, y + 1, 30, 30, Shade(BROWN, 5));
        for (int i = 2; i < 30; ++i) c.Set(x + i, y + i, Shade(BROWN, 6)), c.Set(x + 31 - i, y + i, Shade(BROWN, 6));
        break;
      default:  // coloured tiles with a bevel
        c.Rect(x, y, 32, 32, Shade(hue, 8));
        c.Rect(x, y, 32, 2, Shade(hue, 12)), c.Rect(x, y, 2, 32, Shade(hue, 12));
        c.Rect(x, y + 30, 32, 2, Shade(hue, 4)), c.Rect(x + 30, y, 2, 32, Shade(hue, 4));
        break;
    }
  }
  return c;
}

// One creature in a 32 × 32 cell, frame f of its walk.
void Creature(Canvas& c, int x, int y, int kind, Hue hue, int f) {
  const int bob = (f % 4 == 1 || f % 4 == 3) ? 1 : 0;
  const int step = (f % 4 == 1) ? 2 : (f % 4 == 3) ? -2 : 0;
  switch (kind % 4) {
    case 0:  // a little hero: head, body, legs
      c.Rect(x + 11 + step, y + 26, 4, 5, Shade(BROWN, 4));
      c.Rect(x + 18 - step, y + 26, 4, 5, Shade(BROWN, 4));
      c.Rect(x + 10, y + 15 + bob, 13, 12, Shade(hue, 9));
      c.Ellipse(x + 16.5, y + 10 + bob, 7, 7, Shade(SKIN, 10));
      c.Rect(x + 9, y + 3 + bob, 15, 4, Shade(hue, 6));
      c.Rect(x + 18, y + 9 + bob, 2, 3, Grey(0));
      break;
    case 1:  // slime, squashed on its bob frames so that its outline keeps to its cell
      c.Ellipse(x + 16, y + 22 + bob, 13 + bob, 9 - bob, Shade(hue, 9));
      c.Ellipse(x + 12, y + 18 + bob, 3, 2, Shade(hue, 14));
      c.Rect(x + 18, y + 20 + bob, 2, 3, Grey(0)), c.Rect(x + 23, y + 20 + bob, 2, 3, Grey(0));
      break;
    case 2:  // bird
      c.Ellipse(x + 16, y + 16 + bob, 9, 7, Shade(hue, 9));
      c.Ellipse(x + 12, y + 12 - (f % 2) * 4 + bob, 7, 3, Shade(hue, 12));
      c.Rect(x + 24, y + 15 + bob, 5, 2, Shade(ORANGE, 10));
      c.Rect(x + 20, y + 13 + bob, 2, 2, Grey(0));
      break;
    default:  // ghost
      c.Ellipse(x + 16, y + 14 + bob, 10, 10, Grey(13));
      c.Rect(x + 6, y + 14 + bob, 21, 10, Grey(13));
      for (int i = 0; i < 4; ++i) c.Ellipse(x + 8.5 + i * 5 + (f % 2), y + 25 + bob, 2.5, 2.5, Grey(13));
      c.Rect(x + 18, y + 11 + bob, 2, 4, Shade(hue, 5)), c.Rect(x + 23, y + 11 + bob, 2, 4, Shade(hue, 5));
      break;
  }
}

// A wooden sign board on a post, every frame alike.
void SignBoard(Canvas& c, int x, int y) {
  c.Rect(x + 14, y + 16, 4, 16, Shade(BROWN, 6));
  c.Rect(x + 3, y + 4, 26, 15, Shade(BROWN, 10));
  c.Frame(x + 3, y + 4, 26, 15, Shade(BROWN, 4));
  for (int k = 0; k < 3; ++k) c.Rect(x + 7, y + 8 + k * 4, 18 - k * 5, 1, Shade(BROWN, 4));
}

// Character sheets: 15 characters a row of 32-dot cells, 20 frames down.
// Graphic numbers count the cells of the first sheet from its left column:
// the demo's hero is graphic 1 (the little red hero), its slime 2, its
// shooter 3 (a ghost) and its bat 4 (a bird).
Canvas Characters(int sheet) {
  Canvas c(480, 640, KEY);
  for (int n = 0; n < 15; ++n) {
    static constexpr int kDemoKinds[5] = {1, 0, 1, 3, 2};
    const bool demo = sheet == 1 && n < 5;
    const int kind = demo ? kDemoKinds[n] : (n + sheet) % 4;
    const Hue hue = static_cast<Hue>((n * 5 + sheet * 3) % 12);
    for (int f = 0; f < 20; ++f) {
      if (sheet == 1 && n == tool::demo::kSignGraphic)  // the game's sign
        SignBoard(c, n * 32, f * 32);
      else
        Creature(c, n * 32, f * 32, kind, sheet == 1 && n == 1 ? RED : hue, f);
    }
  }
  c.Outline(0, 0, 480, 640, Grey(1));
  return c;
}

void Item(Canvas& c, int x, int y, int n) {
  const Hue hue = static_cast<Hue>(n % 12);
  switch (n % 6) {
    case 0:  // coin
      c.Ellipse(x + 16, y + 16, 9, 11, Shade(YELLOW, 9));
      c.Ellipse(x + 16, y + 16, 5, 7, Shade(YELLOW, 12));
      break;
    case 1:  // heart
      c.Ellipse(x + 11, y + 13, 6, 6, Shade(hue, 9)), c.Ellipse(x + 21, y + 13, 6, 6, Shade(hue, 9));
      for (int j = 0; j < 11; ++j) c.Rect(x + 5 + j, y + 15 + j, 22 - 2 * j, 1, Shade(hue, 9));
      break;
    case 2:  // gem
      for (int j = 0; j < 18; ++j) {
        const int half = j < 6 ? 4 + j * 2 : 14 - (j - 6) * 14 / 12;
        c.Rect(x + 16 - half, y + 7 + j, half * 2, 1, Shade(hue, j < 6 ? 13 : 9));
      }
      break;
    case 3:  // star
      for (int j = 0; j < 24; ++j)
        for (int i = 0; i < 24; ++i) {
          const double dx = i - 11.5, dy = j - 12.5, a = std::atan2(dy, dx), r = std::hypot(dx, dy);
          if (r < 5 + 6 * std::pow(std::cos(2.5 * a + 0.3), 2)) c.Set(x + 4 + i, y + 4 + j, Shade(YELLOW, 11));
        }
      break;
    case 4:  // potion
      c.Ellipse(x + 16, y + 20, 8, 8, Shade(hue, 9));
      c.Rect(x + 13, y + 6, 6, 8, Grey(12));
      c.Rect(x + 12, y + 4, 8, 3, Shade(BROWN, 8));
      break;
    default:  // key
      c.Ellipse(x + 11, y + 16, 6, 6, Shade(YELLOW, 10));
      c.Ellipse(x + 11, y + 16, 2.5, 2.5, KEY);
      c.Rect(x + 16, y + 15, 12, 3, Shade(YELLOW, 10));
      c.Rect(x + 23, y + 18, 2, 4, Shade(YELLOW, 10)), c.Rect(x + 26, y + 18, 2, 3, Shade(YELLOW, 10));
      break;
  }
}

// The game's goal flag (item graphic 24): a pole and a pennant glinting
// round the gold colours, waving between its two cells.
using tool::demo::kGoalFlagItem;
void GoalFlag(Canvas& c, int x, int y, int cell) {
  c.Rect(x + 8, y + 2, 3, 30, Grey(11));
  c.Ellipse(x + 9.5, y + 3, 3, 3, Cycling(GOLD, 3));
  for (int j = 0; j < 12; ++j) {
    const int wave = cell ? (j % 4 < 2 ? 1 : 0) : 0;
    c.Rect(x + 11, y + 5 + j + wave, 18 - j * 3 / 2, 1, Cycling(GOLD, j / 3));
  }
}

// Items: 15 a row, each 32 wide and 64 high (two cells: still and glinting).
Canvas Items() {
  Canvas c(480, 128, KEY);
  for (int n = 0; n < 30; ++n) {
    const int x = (n % 15) * 32, y = (n / 15) * 64;
    if (n == kGoalFlagItem) {
      GoalFlag(c, x, y, 0);
      GoalFlag(c, x, y + 32, 1);
      continue;
    }
    Item(c, x, y, n);
    Item(c, x, y + 32, n);
    c.Set(x + 10, y + 32 + 9, Grey(14)), c.Set(x + 11, y + 32 + 10, Grey(14)), c.Set(x + 9, y + 32 + 10, Grey(14));
  }
  c.Outline(0, 0, 480, 128, Grey(1));
  return c;
}

// Small items: 16 × 16, 16 a row.
Canvas MiniItems() {
  Canvas big = Items();
  Canvas c(256, 32, KEY);
  for (int n = 0; n < 30; ++n)
    for (int j = 0; j < 16; ++j)
      for (int i = 0; i < 16; ++i) c.Set((n % 16) * 16 + i, (n / 16) * 16 + j, big.Get((n % 15) * 32 + i * 2, (n / 15) * 64 + j * 2));
  return c;
}

// Shots: 30 graphics of 16 × 16 down a column, two animation cells wide each.
Canvas Shots() {
  Canvas c(64, 480, KEY);
  for (int g = 0; g < 60; ++g) {
    const int x = (g / 30) * 32, y = (g % 30) * 16;
    const Hue hue = static_cast<Hue>(g % 12);
    for (int cell = 0; cell < 2; ++cell) {
      const int cx = x + cell * 16;
      if (g % 3 == 2) {  // arrow pointing right
        c.Rect(cx + 1, y + 7, 11, 2, Shade(BROWN, 9));
        for (int j = 0; j < 4; ++j) c.Rect(cx + 11 + j, y + 4 + j, 1, 8 - 2 * j, Grey(11));
        c.Rect(cx + 1, y + 5 + cell, 3, 1, Shade(hue, 11)), c.Rect(cx + 1, y + 10 - cell, 3, 1, Shade(hue, 11));
      } else {  // energy ball, pulsing
        c.Ellipse(cx + 8, y + 8, 6 - cell, 6 - cell, Shade(hue, 9));
        c.Ellipse(cx + 8, y + 8, 3, 3, Shade(hue, 14));
      }
    }
  }
  return c;
}

// ---- fxobj: the explosion effect: four 32 × 32 cells, a flash that grows
// into a fireball, bursts and leaves a puff of smoke.
Canvas Explosion() {
  Canvas c(128, 32, KEY);
  c.Ellipse(16, 16, 6, 6, Shade(YELLOW, 12)), c.Ellipse(16, 16, 3, 3, Grey(14));
  c.Ellipse(48, 16, 11, 11, Shade(ORANGE, 10)), c.Ellipse(48, 16, 7, 7, Shade(YELLOW, 12));
  c.Ellipse(48, 16, 3, 3, Grey(14));
  for (int k = 0; k < 8; ++k) {  // the burst's rays
    const double a = k * 3.14159265358979 / 4;
    for (int r = 8; r < 15; ++r) c.Rect(80 + int(std::cos(a) * r), 16 + int(std::sin(a) * r), 2, 2, Shade(RED, 10));
  }
  c.Ellipse(80, 16, 10, 10, Shade(RED, 9)), c.Ellipse(80, 16, 6, 6, Shade(ORANGE, 11));
  for (int k = 0; k < 5; ++k) c.Ellipse(104 + (k * 7) % 16, 9 + (k * 5) % 14, 5, 5, Grey(6 + k));
  c.Outline(0, 0, 128, 32, Grey(1));
  return c;
}
// ---- end fxobj ----

// The sword: three 32 × 16 cells of a blade thrust out to the left (the
// game mirrors it for a right-facing owner), longer in each cell.
Canvas Sword() {
  Canvas c(96, 16, KEY);
  for (int f = 0; f < 3; ++f) {
    const int x = f * 32, blade = 14 + f * 7;
    c.Rect(x + 26, 4, 4, 8, Shade(BROWN, 8));   // grip
    c.Rect(x + 24, 3, 2, 10, Shade(YELLOW, 10));   // guard
    c.Rect(x + 24 - blade, 6, blade, 4, Grey(13));  // blade
    c.Rect(x + 24 - blade, 7, blade, 1, Grey(15));
    c.Rect(x + 23 - blade, 7, 1, 2, Grey(13));      // point
  }
  return c;
}

// A framed panel of the window pictures.
void Panel(Canvas& c, int x, int y, int w, int h, Hue hue) {
  c.VGradient(x, y, w, h, {Shade(hue, 6), Shade(hue, 4), Shade(hue, 3)});
  c.Frame(x, y, w, h, Shade(hue, 12));
  c.Frame(x + 1, y + 1, w - 2, h - 2, Shade(hue, 8));
}

// A word of the banners in `pen`, its top-left at (x, y), lit from above
// (near white at its top, its hue's full colour at its foot) and ringed by
// two dots of dark (its hue's darkest, then black) inside the rectangle
// (rx, ry, rw, rh), so that it reads over a pale sky as well as over a dark
// hall.
void BannerWord(Canvas& c, TextPen& pen, int x, int y, const std::string& word, Hue hue, int rx, int ry, int rw,
                int rh) {
  Canvas letters(c.w, c.h, KEY);
  pen.Draw(letters, x, y, word, TEXT);
  int top = c.h, bottom = -1;
  for (int j = ry; j < ry + rh; ++j)
    for (int i = rx; i < rx + rw; ++i)
      if (letters.Get(i, j) != KEY) top = std::min(top, j), bottom = std::max(bottom, j);
  for (int j = top; j <= bottom; ++j)
    for (int i = rx; i < rx + rw; ++i)
      if (letters.Get(i, j) != KEY) c.Set(i, j, Shade(hue, 14 - 4 * (j - top) / std::max(1, bottom - top)));
  c.Outline(rx, ry, rw, rh, Shade(hue, 3));
  c.Outline(rx, ry, rw, rh, Grey(0));
}

// The words of the stage's banners and strips, each centred in its 32-dot
// high strip: "STAGE" (128 wide, at 0, 0; right-aligned, as the stage number
// follows it on the screen) and "START" (80 wide, at 160, 0) at a stage's start, "REPLAY"
// (0, 32) before a replay, "CLEAR!" (0, 64) on the result screen and
// "GAME OVER" (144 wide, 0, 96); then the digits 0 to 9 of the stage number,
// 32 x 32 each, along the row at y 128.
Canvas Words(TextPen& pen, TextPen& digits) {
  Canvas c(320, 160, KEY);
  struct Strip {
    int x, y, w;
    const char* word;
    Hue hue;
  };
  const Strip strips[] = {{0, 0, 128, "STAGE", YELLOW},    {160, 0, 80, "START", ORANGE}, {0, 32, 128, "REPLAY", PINK},
                          {0, 64, 128, "CLEAR!", YELLOW},    {0, 96, 144, "GAME OVER", RED}};
  for (const Strip& s : strips) {
    // "STAGE" ends at its strip's right edge, next to the number.
    const int w = pen.Measure(s.word), free = std::max(0, s.w - w);
    BannerWord(c, pen, s.x + (s.y == 0 && s.x == 0 ? free - 4 : free / 2), s.y + 3, s.word, s.hue, s.x, s.y, s.w, 32);
  }
  for (int d = 0; d < 10; ++d) {
    const std::string digit(1, static_cast<char>('0' + d));
    BannerWord(c, digits, d * 32 + (32 - digits.Measure(digit)) / 2, 128, digit, YELLOW, d * 32, 128, 32, 32);
  }
  return c;
}

// The title's menu takes the screen's middle from y 240 down (x 176..432
// in both its forms: the text form's frame from x 193, the picture form's
// strips 224 wide from x 208 with the cursor's column before them); the
// keys stand on either side of it, in Japanese on the left and in English
// on the right.
constexpr const char* kKeyHelpJapanese[] = {"矢印  歩く・選ぶ", "Z  ジャンプ・決定", "X  ショット・戻る",
                                            "C  剣", "スペース  一時停止", "F1  リプレイ保存", "Esc  終了"};
constexpr const char* kKeyHelpEnglish[] = {"Arrows  walk, choose", "Z  jump, decide", "X  shoot, back",
                                           "C  sword", "Space  pause", "F1  save a replay", "Esc  quit"};

void Panel(Canvas& c, int x, int y, int w, int h, Hue hue);

Canvas Title(TextPen& big, TextPen& pen) {
  Canvas c(640, 480, 0);
  c.VGradient(0, 0, 640, 340, {Shade(INDIGO, 5), Shade(BLUE, 8), Shade(SKY, 10), Shade(SKY, 13), Shade(ORANGE, 13)});
  c.Ellipse(560, 200, 30, 30, Shade(YELLOW, 13));
  for (int x = 0; x < 640; ++x) {
    const int far = 300 + int(std::sin(x / 70.0) * 25 + std::sin(x / 23.0) * 6);
    const int near = 360 + int(std::sin(x / 110.0 + 1) * 30);
    for (int y = far; y < 480; ++y) c.Set(x, y, Shade(TEAL, 5));
    for (int y = near; y < 480; ++y) c.Set(x, y, Shade(GREEN, 7 - (y - near) / 40));
  }
  const std::string title = "PELMORA";
  const int tw = big.Measure(title);
  Canvas text(640, 480, KEY);
  big.Draw(text, (640 - tw) / 2, 110, title, Shade(YELLOW, 12));
  text.Outline(0, 0, 640, 480, Shade(RED, 5));
  text.Outline(0, 0, 640, 480, Grey(0));
  for (size_t i = 0; i < text.px.size(); ++i)
    if (text.px[i] != KEY) c.px[i] = text.px[i];
  auto keys = [&](int x, int w, const char* const* lines, size_t count) {
    Panel(c, x, 252, w, 20 + static_cast<int>(count) * 26, INDIGO);
    for (size_t i = 0; i < count; ++i) pen.Draw(c, x + 10, 262 + static_cast<int>(i) * 26, lines[i], TEXT);
  };
  keys(6, 162, kKeyHelpJapanese, std::size(kKeyHelpJapanese));
  keys(440, 194, kKeyHelpEnglish, std::size(kKeyHelpEnglish));
  return c;
}

Canvas Background(int n) {
  Canvas c(640, 480, 0);
  switch ((n - 1) % 8) {
    case 0:  // blue sky with clouds
      c.VGradient(0, 0, 640, 480, {Shade(SKY, 8), Shade(SKY, 11), Shade(SKY, 13)});
      for (int k = 0; k < 7; ++k) {
        const int x = (k * 173) % 640, y = 40 + (k * 97) % 200;
        c.Ellipse(x, y, 34, 14, Grey(14)), c.Ellipse(x + 24, y - 8, 24, 14, Grey(14));
      }
      break;
    case 1:  // cave
      c.VGradient(0, 0, 640, 480, {Grey(1), Shade(BROWN, 3), Shade(BROWN, 4)});
      for (int k = 0; k < 20; ++k) {
        const int x = (k * 67) % 640;
        for (int j = 0; j < 40 + (k * 13) % 50; ++j) c.Rect(x - (40 - j) / 5, j, 2 * ((40 - j) / 5) + 1, 1, Shade(BROWN, 5));
      }
      break;
    case 2:  // sunset
      c.VGradient(0, 0, 640, 480, {Shade(PURPLE, 5), Shade(RED, 8), Shade(ORANGE, 11), Shade(YELLOW, 13)});
      c.Ellipse(320, 380, 70, 70, Shade(YELLOW, 14));
      break;
    case 3:  // night with stars
      c.VGradient(0, 0, 640, 480, {Grey(0), Shade(INDIGO, 3), Shade(BLUE, 4)});
      for (int k = 0; k < 160; ++k) c.Set((k * 211) % 640, (k * 137) % 400, Grey(10 + k % 5));
      c.Ellipse(520, 90, 26, 26, Shade(YELLOW, 14));
      break;
    case 4:  // forest
      c.VGradient(0, 0, 640, 480, {Shade(LIME, 12), Shade(GREEN, 10)});
      for (int k = 0; k < 12; ++k) {
        const int x = k * 56 + 20;
        c.Rect(x - 4, 250, 9, 230, Shade(BROWN, 5));
        c.Ellipse(x, 230, 36, 60, Shade(GREEN, 5 + k % 3));
      }
      break;
    case 5:  // under water
      c.VGradient(0, 0, 640, 480, {Shade(CYAN, 10), Shade(TEAL, 7), Shade(BLUE, 4)});
      for (int k = 0; k < 40; ++k) c.Ellipse((k * 149) % 640, (k * 89) % 480, 2 + k % 4, 2 + k % 4, Shade(CYAN, 14));
      break;
    case 6:  // castle hall
      c.Rect(0, 0, 640, 480, Grey(4));
      for (int y = 0; y < 480; y += 16)
        for (int x = (y / 16 % 2) * 16; x < 640; x += 32) c.Frame(x, y, 32, 16, Grey(3));
      for (int k = 0; k < 5; ++k) c.Rect(k * 140 + 40, 60, 24, 420, Shade(RED, 4));
      for (int k = 0; k < 4; ++k) {  // torches between the banners, their flames flickering
        const int x = k * 140 + 110;
        c.Rect(x - 3, 200, 6, 20, Shade(BROWN, 4));
        for (int j = 0; j < 4; ++j) c.Ellipse(x, 192 - j * 4, 6 - j, 7 - j, Cycling(FIRE, j + k));
      }
      break;
    default:  // snow
      c.VGradient(0, 0, 640, 480, {Grey(10), Shade(SKY, 13), Grey(14)});
      for (int k = 0; k < 120; ++k) c.Ellipse((k * 181) % 640, (k * 113) % 480, 1.5, 1.5, Grey(14));
      break;
  }
  return c;
}

// The hero's face, 16 x 16 with its top-left at (x, y): the lives.
void HeroFace(Canvas& c, int x, int y) {
  c.Ellipse(x + 8, y + 8, 6, 6, Shade(SKIN, 10));
  c.Rect(x + 2, y + 2, 12, 3, Shade(RED, 9));  // the cap
  c.Rect(x + 9, y + 7, 2, 2, Grey(0));
}

// A silver cup on a wooden foot, 16 x 16 with its top-left at (x, y).
void Trophy(Canvas& c, int x, int y) {
  static constexpr int kBowl[][2] = {{3, 12}, {3, 12}, {3, 12}, {4, 11}, {4, 11}, {5, 10}, {6, 9}};  // rows 2..8
  for (int j = 0; j < 7; ++j) c.Rect(x + kBowl[j][0], y + 2 + j, kBowl[j][1] - kBowl[j][0] + 1, 1, Grey(11));
  c.Rect(x + 3, y + 2, 10, 1, Grey(14));  // the rim
  c.Rect(x + 5, y + 3, 1, 4, Grey(14));   // a gleam
  for (int k = 0; k < 2; ++k) {           // the handles
    const int hx = k == 0 ? x + 1 : x + 13;
    c.Rect(hx, y + 3, 2, 1, Grey(9)), c.Rect(hx + (k == 0 ? 0 : 1), y + 4, 1, 2, Grey(9));
    c.Rect(hx + (k == 0 ? 1 : 0), y + 6, 1, 1, Grey(9));
  }
  c.Rect(x + 7, y + 9, 2, 2, Grey(8));  // the stem
  c.Rect(x + 5, y + 11, 6, 1, Grey(10));
  c.Rect(x + 4, y + 12, 8, 2, Shade(BROWN, 6));  // the foot
}

// The head-up display's marks in the icon picture (Mark.bmp), below its
// cursor marks: 16 × 16 icons in the row at y 32 (stage points, score, HP,
// SP, lives), the 50 × 16 gauge frames at y 128 (HP at x 0, SP at x 64) and
// their bars at y 144 (plenty) and y 160 (running low).
void HudMarks(Canvas& c) {
  for (int j = 0; j < 6; ++j) c.Rect(8 - j, 34 + j, 1 + 2 * j, 1, Shade(YELLOW, 12));  // a star for the stage points
  for (int j = 0; j < 5; ++j) c.Rect(2 + j, 40 + j, 13 - 2 * j, 1, Shade(YELLOW, 12));
  Trophy(c, 16, 32);  // a silver cup for the score: the gold coins add to it, and so does each enemy beaten
  c.Ellipse(37, 38, 3.5, 3.5, Shade(RED, 10)), c.Ellipse(43, 38, 3.5, 3.5, Shade(RED, 10));  // a heart for HP
  for (int j = 0; j < 7; ++j) c.Rect(34 + j, 40 + j, 12 - 2 * j, 1, Shade(RED, 10));
  for (int j = 0; j < 7; ++j)  // a crystal for SP
    c.Rect(56 - j, 34 + j, 1 + 2 * j, 1, Shade(SKY, 11)), c.Rect(56 - j, 46 - j, 1 + 2 * j, 1, Shade(SKY, 11));
  HeroFace(c, 64, 32);  // the hero's face for the lives
  c.Outline(0, 32, 80, 16, Grey(1));
  for (int k = 0; k < 2; ++k) {
    const int x = k * 64;
    c.Rect(x, 128, 50, 16, Grey(2));
    c.Frame(x, 128, 50, 16, Grey(12));
    c.Rect(x + 2, 146, 46, 12, k == 0 ? Shade(GREEN, 10) : Shade(SKY, 10));
    c.Rect(x + 2, 146, 46, 3, k == 0 ? Shade(GREEN, 13) : Shade(SKY, 13));
    c.Rect(x + 2, 162, 46, 12, Shade(RED, 10));
    c.Rect(x + 2, 162, 46, 3, Shade(RED, 13));
  }
}

// The time digits 0 to 9, 32 × 32 each, along the row at y 160.
void TimeDigits(Canvas& c, TextPen& pen) {
  for (int d = 0; d < 10; ++d) {
    const std::string digit(1, static_cast<char>('0' + d));
    pen.Draw(c, d * 32 + (32 - pen.Measure(digit)) / 2, 160, digit, Shade(YELLOW, 12));
  }
  c.Outline(0, 160, 320, 32, Grey(1));
}

// A triangle pointing right, its flat side at x, `half` dots above and
// below the row cy.
void RightTriangle(Canvas& c, int x, int cy, int half, uint8_t colour) {
  for (int j = -half; j < half; ++j) c.Rect(x, cy + j, half - (j < 0 ? -j - 1 : j), 1, colour);
}

// An arrow pointing right in a 16 x 16 cell at (x, y): a shaft and its head.
void RightArrow(Canvas& c, int x, int y, Hue hue) {
  c.Rect(x + 2, y + 6, 6, 4, Shade(hue, 11));
  RightTriangle(c, x + 8, y + 8, 6, Shade(hue, 11));
  c.Rect(x + 2, y + 6, 6, 1, Shade(hue, 14));
}

// The system picture (Accessory.bmp), cell by cell as the game reads it:
//   (0, 0)     32 x 32  the menu cursor of the title and the world-map menu
//   (64, 0)    16 x 16  the small cursor: options, save slots, the pause menu
//   (80, 0)    16 x 16  the pointer at the row being edited or the slot chosen
//   (96, 0)    32 x 32  the clear sign of a world in the world select
//   (0, 48)    16 x 16  the life icon: the map's lives box, the extra-life pop-up
//   (16, 48)   16 x 16  the pointer at the new entry of a ranking
//   (0..127, 64..127)   the hero on the world map, two steps a facing
//   (0, 160)   32 x 32  the time digits 0 to 9 along the row
//   (0, 208), (64, 208) the HP and SP gauges over characters, 50 wide, five
//                       rows of 2 dots: frame, bar, low bar, loss, gain
// The picture is more than 208 high, so that the gauges are read from their
// thin rows at y 208 and not from the rows at y 128 (which would cross the
// digits).
Canvas SystemPicture(TextPen& digits) {
  Canvas c(320, 224, KEY);
  RightTriangle(c, 7, 16, 9, TEXT);  // the cursors: white, shaded below
  RightTriangle(c, 7 + 1, 16 + 4, 5, Grey(12));
  RightTriangle(c, 64 + 4, 8, 6, TEXT);
  RightTriangle(c, 64 + 4 + 1, 8 + 3, 3, Grey(12));
  RightArrow(c, 80, 0, YELLOW);
  RightArrow(c, 16, 48, ORANGE);
  Item(c, 96, 0, 3);  // the star of a cleared world
  HeroFace(c, 0, 48);
  // Outlined cell by cell, so that no outline reaches into the next cell.
  static constexpr int kCells[][4] = {{0, 0, 32, 32}, {64, 0, 16, 16}, {80, 0, 16, 16},
                                      {96, 0, 32, 32}, {0, 48, 16, 16}, {16, 48, 16, 16}};
  for (const auto& cell : kCells) c.Outline(cell[0], cell[1], cell[2], cell[3], Grey(1));
  // The world map's walker, two steps a facing: down (0, 64), up (64, 64),
  // left (64, 96), right (0, 96); the eyes show where he faces.
  const int cells[4][2] = {{0, 64}, {64, 64}, {64, 96}, {0, 96}};
  const int eyes[4][2] = {{-4, 2}, {0, -4}, {-6, 0}, {2, 0}};
  for (int facing = 0; facing < 4; ++facing)
    for (int step = 0; step < 2; ++step) {
      const int x = cells[facing][0] + step * 32, y = cells[facing][1];
      c.Ellipse(x + 16, y + 20, 8, 9, Shade(RED, 9));
      c.Ellipse(x + 16, y + 9, 6, 6, Shade(YELLOW, 13));
      c.Rect(x + 10 + step * 8, y + 28, 4, 4, Grey(3));
      if (facing != 1) c.Rect(x + 16 + eyes[facing][0], y + 8 + eyes[facing][1], 2, 2, Grey(0));
      if (facing == 0) c.Rect(x + 18, y + 10, 2, 2, Grey(0));
    }
  TimeDigits(c, digits);
  for (int k = 0; k < 2; ++k) {
    const int x = k * 64;
    c.Rect(x, 208, 50, 2, Grey(2));                                          // the empty gauge
    c.Rect(x, 210, 50, 2, k == 0 ? Shade(GREEN, 11) : Shade(SKY, 11));       // its bar
    c.Rect(x, 212, 50, 2, Shade(RED, 11));                                   // the bar running low
    c.Rect(x, 214, 50, 2, Shade(YELLOW, 13));                                // what was just lost
    c.Rect(x, 216, 50, 2, Grey(14));                                         // what was just gained
  }
  return c;
}

// The play stage's far layer: a sky with clouds, tiled as the stage scrolls.
Canvas StageSky() {
  Canvas c(640, 480, 0);
  c.VGradient(0, 0, 640, 480, {Shade(SKY, 9), Shade(SKY, 11), Shade(SKY, 13), Shade(CYAN, 14)});
  for (int k = 0; k < 9; ++k) {
    const int y = 30 + (k * 83) % 220;
    for (int x = (k * 151 + 40) % 640 - 640; x < 700; x += 640)  // drawn once more a picture's width over, so the tiles join
      c.Ellipse(x, y, 30, 11, Grey(14)), c.Ellipse(x + 20, y - 7, 20, 12, Grey(14)), c.Ellipse(x - 18, y + 2, 16, 8, Grey(13));
  }
  return c;
}

// The play stage's near layer: green hills over a transparent sky.
Canvas StageHills() {
  Canvas c(640, 480, KEY);
  for (int x = 0; x < 640; ++x) {
    const double t = x * 2 * 3.14159265358979 / 640;  // the picture tiles: whole waves only
    const int far = 250 + int(std::sin(t * 2) * 30 + std::sin(t * 5 + 1) * 10);
    const int near = 320 + int(std::sin(t * 3 + 2) * 28);
    for (int y = far; y < 480; ++y) c.Set(x, y, Shade(TEAL, 6 + (y - far) / 60));
    for (int y = near; y < 480; ++y) c.Set(x, y, Shade(GREEN, 8 - std::min(5, (y - near) / 30)));
  }
  for (int k = 0; k < 14; ++k) {  // a few trees on the near hills
    const int x = k * 46 + 11;
    const double t = x * 2 * 3.14159265358979 / 640;
    const int top = 320 + int(std::sin(t * 3 + 2) * 28);
    c.Rect(x - 2, top - 14, 4, 16, Shade(BROWN, 5));
    c.Ellipse(x, top - 20, 9, 12, Shade(GREEN, 5));
  }
  return c;
}

// >>> gsrc: the special bitmaps ("専用bmp") of the database, laid out as the
// game reads a picture of cell scale 1: cells of 32 x 32 dots, 16 to a row,
// counted from the top-left (the game makes the mirrored copy itself).
// The UFO's four frames: a saucer whose lights run round and whose beam
// flickers.
Canvas UfoPicture() {
  Canvas c(512, 32, KEY);
  for (int f = 0; f < 4; ++f) {
    const int x = f * 32;
    const int bob = f % 2;
    c.Ellipse(x + 16, 10 + bob, 7, 6, Shade(CYAN, 13));  // the dome
    c.Ellipse(x + 14, 8 + bob, 2, 2, Grey(14));
    c.Ellipse(x + 16, 16 + bob, 15, 5, Grey(10));        // the saucer
    c.Rect(x + 2, 16 + bob, 28, 2, Grey(6));
    for (int k = 0; k < 4; ++k)  // lights: one of them lit in turn
      c.Ellipse(x + 7 + k * 6, 17 + bob, 1.6, 1.6, k == f ? Shade(YELLOW, 13) : Shade(RED, 7));
    for (int j = 0; j < 8; ++j)  // the beam under it
      if ((j + f) % 3 != 0) c.Rect(x + 13 - j / 2, 22 + bob + j, 6 + j, 1, Shade(LIME, 13));
    c.Outline(x, 0, 32, 32, Grey(1));
  }
  return c;
}

// A crystal block for the blocks drawn from a special bitmap: cell 0.
Canvas CrystalPicture() {
  Canvas c(512, 32, KEY);
  c.Rect(0, 0, 32, 32, Shade(PURPLE, 6));
  for (int j = 0; j < 16; ++j) {  // a diamond of facets
    c.Rect(16 - j, 1 + j, 2 * j, 1, Shade(PURPLE, 9 + (j < 8 ? 2 : 0)));
    c.Rect(16 - j, 30 - j, 2 * j, 1, Shade(PURPLE, 8));
  }
  for (int i = 4; i < 28; i += 6) c.Set(i, 4 + (i * 7) % 20, Grey(14));  // glints
  c.Frame(0, 0, 32, 32, Shade(INDIGO, 4));
  c.Rect(1, 1, 30, 1, Shade(PURPLE, 13)), c.Rect(1, 1, 1, 30, Shade(PURPLE, 13));
  return c;
}
// <<< gsrc

// The picture form of the title menu: a strip 224 wide and 32 high for
// each of the seven title commands, in their order (the menu cuts the strip
// of command k at y 32 k): its label and, small, the same in English.
Canvas GameModes(TextPen& label, TextPen& english) {
  constexpr const char* kCommands[7][2] = {{"はじめから", "NEW GAME"}, {"つづきから", "CONTINUE"},
                                           {"チャレンジ", "CHALLENGE"}, {"フリー", "FREE PLAY"},
                                           {"リプレイ", "REPLAY"},     {"オプション", "OPTIONS"},
                                           {"しゅうりょう", "QUIT"}};
  Canvas c(224, 7 * 32, KEY);
  for (int k = 0; k < 7; ++k) {
    Panel(c, 0, k * 32 + 1, 224, 30, static_cast<Hue>(k % 2 ? BLUE : INDIGO));
    label.Draw(c, 10, k * 32 + 3, kCommands[k][0], TEXT);
    english.Draw(c, 218 - english.Measure(kCommands[k][1]), k * 32 + 17, kCommands[k][1], Shade(YELLOW, 13));
  }
  return c;
}

// The ending picture (picture 2 of the database): "THE END" in the
// rainbow's cycling colours over a night sky whose stars twinkle, and the
// thanks.
Canvas TheEnd(TextPen& big, TextPen& pen) {
  Canvas c(420, 260, KEY);
  Panel(c, 0, 0, 420, 260, INDIGO);
  for (int k = 0; k < 40; ++k) c.Set(8 + (k * 97) % 404, 8 + (k * 53) % 120, Cycling(STARLIGHT, k));
  const std::string end = "THE END";
  Canvas letters(420, 260, KEY);
  big.Draw(letters, (420 - big.Measure(end)) / 2, 40, end, TEXT);
  for (int y = 0; y < 260; ++y)  // each row of the letters a colour of the rainbow
    for (int x = 0; x < 420; ++x)
      if (letters.Get(x, y) != KEY) c.Set(x, y, Cycling(RAINBOW, y / 12));
  const char* lines[] = {"魔王はたおれ、空に平和がもどった。", "Thank you for playing!", "Z でタイトルへ"};
  for (int i = 0; i < 3; ++i) pen.Draw(c, (420 - pen.Measure(lines[i])) / 2, 150 + i * 30, lines[i], TEXT);
  return c;
}

bool BuildBitmaps(const std::string& folder, const tool::DemoOptions& /*options*/) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(fs::path(folder) / "bmp" / "plt", ec);
  if (ec) {
    std::fprintf(stderr, "bitmaps: cannot create %s/bmp/plt\n", folder.c_str());
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
    Canvas window(640, 480, KEY);
    Panel(window, 0, 0, 640, 480, BLUE);
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
      std::fprintf(stderr, "bitmaps: cannot write %s\n", path.c_str());
      return false;
    }
  }
  return true;
}

tool::Registrar demoBitmaps(tool::DemoPart{20, "bitmaps", BuildBitmaps});

}  // namespace
