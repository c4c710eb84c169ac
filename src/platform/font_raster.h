// Text rasterising with FreeType, faces found through fontconfig. Used by the
// platform's own dialogs and by the game's fonts. Japanese faces fall back to
// IPAGothic (fonts-ipafont-gothic) when the asked face is not installed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

// Path of the font file that best matches a face name (UTF-8), through
// fontconfig; the IPAGothic file when nothing matches; empty when there is
// no usable font at all.
std::string FindFontFile(const std::string& utf8FaceName);

struct GlyphBitmap {
  int width = 0, height = 0;  // of the coverage bitmap
  int left = 0;               // from the pen position to the bitmap's left edge
  int top = 0;                // from the baseline up to the bitmap's top edge
  int advance = 0;            // pen advance in pixels
  std::vector<uint8_t> coverage;  // width*height, 0..255
};

class FontFace {
 public:
  // pixelHeight is the em size in pixels. Null when the file cannot be opened.
  static std::unique_ptr<FontFace> Open(const std::string& fontFile, int pixelHeight);
  virtual ~FontFace() = default;

  virtual int Ascent() const = 0;      // pixels above the baseline
  virtual int Descent() const = 0;     // pixels below (positive)
  virtual int LineHeight() const = 0;  // baseline to baseline
  // False when the face has no glyph for the code point; `out` then holds
  // the face's missing-glyph box, which the text calls draw in its place.
  virtual bool RenderGlyph(uint32_t codepoint, GlyphBitmap& out) = 0;

  // Width in pixels of a UTF-8 text on one line.
  virtual int MeasureUtf8(std::string_view utf8) = 0;
  // Blends a UTF-8 text (one line) in `argb` colour onto 0xAARRGGBB pixels,
  // the pen starting at x with the line's top at y; clipped to the canvas.
  // `stride` is in pixels. The colour's alpha byte is ignored: the glyph
  // coverage is the opacity, and every pixel written becomes opaque.
  virtual void DrawUtf8(uint32_t* pixels, int width, int height, int stride, int x, int y,
                        std::string_view utf8, uint32_t argb) = 0;
};

}  // namespace plat
