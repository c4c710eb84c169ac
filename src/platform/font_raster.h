// Text rasterising with FreeType, faces found through fontconfig. FontFace
// serves the platform's own dialogs (anti-aliased, UTF-8); CellFace serves
// the game's fonts (monochrome, sized by the character cell). Japanese faces
// fall back to IPAGothic (fonts-ipafont-gothic) when the asked face is not
// installed.
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

// The font file of an installed family whose name (family, full name or
// PostScript name, compared without case, spaces or full-width forms) is
// `utf8Family` itself; empty when no installed font carries that name.
// fontconfig's substitutes (another family standing in) do not count.
std::string FindInstalledFamily(const std::string& utf8Family);

// Why FreeType cannot draw with a font file: "not a font file FreeType
// can read", "a damaged font file" ...; empty when it opens as a face with
// outlines or bitmap sizes to draw with.
std::string FontFileProblem(const std::string& fontFile);

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

// Pixels a CellFace draws into: rows of `pitch` bytes of 1, 2 or 4-byte
// pixels. Nothing outside `clip` (already inside the pixel rows) is written.
struct GlyphCanvas {
  uint8_t* bits = nullptr;
  int pitch = 0;
  int bytesPerPixel = 4;
  int clipLeft = 0, clipTop = 0, clipRight = 0, clipBottom = 0;
};

// A face for game text, sized the way the game's fonts ask for it: the cell
// height (ascent plus descent) in dots and an average character width (0:
// the face's own proportions). Glyphs are monochrome: a pixel is ink or left
// alone, so text on keyed surfaces and 8-bit palettes has no blended fringe,
// and the same text gives the same dots at every colour depth.
// Code point 0 stands for a character that does not exist: it takes the
// width of the face's missing-glyph box and draws nothing; so does a code
// point the face has no glyph for, and every control character.
// Any thread, one call at a time per face (calls are serialised inside).
class CellFace {
 public:
  // Null when the file cannot be opened as a scalable or bitmap face, or the
  // sizes are outside 1..1024.
  static std::unique_ptr<CellFace> Open(const std::string& fontFile, int cellHeight, int averageWidth);
  virtual ~CellFace() = default;

  virtual int CellHeight() const = 0;
  virtual int Ascent() const = 0;  // from the cell's top to the baseline
  virtual const std::string& File() const = 0;
  // Pen advance in dots.
  virtual int Advance(uint32_t codepoint) = 0;
  virtual bool HasGlyph(uint32_t codepoint) = 0;
  // Writes `value` (a raw pixel of the canvas's size) into every ink dot of
  // the glyph, the pen at x and the cell's top at y.
  virtual void Draw(const GlyphCanvas& canvas, int x, int y, uint32_t codepoint, uint32_t value) = 0;
  // The rows, from the cell's top, Draw may write for the glyph (top past
  // bottom: none).
  virtual void InkRows(uint32_t codepoint, int& top, int& bottom) = 0;
};

}  // namespace plat
