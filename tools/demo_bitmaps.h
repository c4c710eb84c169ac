// The demo's pictures as their files (demo_bitmaps*.cpp) share them: the
// entries of the one palette every picture is drawn over, the canvas of
// palette indices they are drawn on, the pen that writes text on it, and the
// pictures one file draws for another. Internal to the demo's pictures.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bmp_file_writer.h"
#include "platform/font_raster.h"

namespace tool::demo_bitmaps {

// ---- the palette ----
// 0 transparent (magenta); 1..15 greys, black to white; 16..207 twelve hue
// ramps of 16 shades (shade 0 black, 10 the pure hue, 15 near white), the
// blocks that the options' screen palettes move about; 208..239 eight
// groups of four colours that turn round in 8-bit displays (the colour
// cycling: water ripples, fire flickers, gold glints ...); 240 the font
// frame colour, 241 the text colour (a white of its own: the greys end a
// shade below it); 242..249 eight browns and 250..255 six
// skin tones, ramps of their own kept out of both.
constexpr uint8_t KEY = 0;
constexpr uint8_t FRAME = 240, TEXT = 241;
enum Hue { RED, ORANGE, YELLOW, LIME, GREEN, TEAL, CYAN, SKY, BLUE, INDIGO, PURPLE, PINK, BROWN, SKIN };
constexpr int kRampHues = 12;                   // RED..PINK have full ramps
constexpr uint8_t kBrowns = 242, kSkins = 250;  // the short ramps
constexpr int kBrownShades = 8, kSkinShades = 6;
// The groups that cycle, four colours each from entry 208.
enum Cycle { WATER, FIRE, GOLD, RAINBOW, NEON, STARLIGHT, LEAVES, CRYSTAL };

inline uint8_t Grey(int level) { return static_cast<uint8_t>(1 + std::clamp(level, 0, 14)); }  // 0 black .. 14 (near) white
// Shade 0 (black) .. 15 (near white) of a hue; the short ramps take the
// nearest of their shades.
inline uint8_t Shade(Hue hue, int shade) {
  shade = std::clamp(shade, 0, 15);
  if (hue == BROWN) return static_cast<uint8_t>(kBrowns + (shade * (kBrownShades - 1) + 7) / 15);
  if (hue == SKIN) return static_cast<uint8_t>(kSkins + (shade * (kSkinShades - 1) + 7) / 15);
  return static_cast<uint8_t>(16 + hue * 16 + shade);
}
// Colour k (0..3) of a cycling group.
inline uint8_t Cycling(Cycle group, int k) { return static_cast<uint8_t>(208 + group * 4 + (k & 3)); }

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

// Drawn in demo_bitmaps_sprites.cpp.
Canvas Blocks();
Canvas Characters(int sheet);
void Item(Canvas& c, int x, int y, int n);
Canvas Items();
Canvas MiniItems();
Canvas Shots();
Canvas Explosion();
Canvas Sword();
Canvas UfoPicture();
Canvas CrystalPicture();

// Drawn in demo_bitmaps_screens.cpp.
void Panel(Canvas& c, int x, int y, int w, int h, Hue hue);
Canvas Words(TextPen& pen, TextPen& digits);
Canvas Title(TextPen& big, TextPen& pen);
Canvas Background(int n);
void HudMarks(Canvas& c);
Canvas SystemPicture(TextPen& digits);
Canvas StageSky();
Canvas StageHills();
Canvas GameModes(TextPen& label, TextPen& english);
Canvas TheEnd(TextPen& big, TextPen& pen);

}  // namespace tool::demo_bitmaps
