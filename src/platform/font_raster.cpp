#include "platform/font_raster.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <unordered_map>

#include "platform/files.h"

namespace plat {
namespace {

// One FreeType library for the whole process. FreeType objects are not
// thread-safe, so every FreeType call (and every face's glyph cache) is made
// under this one mutex. The library is never released: faces may outlive any
// static destructor order.
std::mutex& FreeTypeMutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}

// Caller holds FreeTypeMutex(). Null when FreeType cannot start.
FT_Library FreeTypeLibrary() {
  static FT_Library library = [] {
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib) != 0) return static_cast<FT_Library>(nullptr);
    return lib;
  }();
  return library;
}

// FT_New_Face, for a regular file only: FreeType would wait for ever on a
// named pipe. Caller holds FreeTypeMutex().
FT_Error OpenFace(FT_Library lib, const std::string& fontFile, FT_Face* face) {
  if (!NotAFileReason(fontFile).empty()) return FT_Err_Cannot_Open_Resource;
  return FT_New_Face(lib, fontFile.c_str(), 0, face);
}

constexpr uint32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at s[i] and moves i past it. Malformed input
// gives U+FFFD and skips only the maximal ill-formed prefix, so the next
// valid character is never swallowed; never reads past the end.
uint32_t NextCodepoint(std::string_view s, size_t& i) {
  const uint8_t b0 = static_cast<uint8_t>(s[i++]);
  if (b0 < 0x80) return b0;
  int need = 0;
  uint32_t cp = 0;
  uint8_t lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 1; cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2; cp = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;  // no overlong forms
    if (b0 == 0xED) hi = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3; cp = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return kReplacement;
  }
  for (int k = 0; k < need; ++k) {
    if (i >= s.size()) return kReplacement;
    const uint8_t b = static_cast<uint8_t>(s[i]);
    if (b < lo || b > hi) return kReplacement;
    cp = (cp << 6) | (b & 0x3F);
    ++i;
    lo = 0x80;
    hi = 0xBF;
  }
  return cp;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Face names compare without case, spaces, and the full-width forms that
// Japanese names often use ("ＭＳ ゴシック" == "MS ゴシック" == "msゴシック").
std::string NormaliseFaceName(std::string_view utf8) {
  std::string out;
  size_t i = 0;
  while (i < utf8.size()) {
    uint32_t cp = NextCodepoint(utf8, i);
    if (cp >= 0xFF01 && cp <= 0xFF5E) cp -= 0xFEE0;  // full-width ASCII
    if (cp == ' ' || cp == 0x3000 || cp == '\t') continue;
    if (cp >= 'A' && cp <= 'Z') cp += 'a' - 'A';
    AppendUtf8(out, cp);
  }
  return out;
}

bool Contains(const std::string& haystack, std::string_view needle) {
  return haystack.find(needle) != std::string::npos;
}

// The installed family that stands in for a face the games ask for but Linux
// does not have (Windows' Japanese faces). Empty when we know no stand-in.
std::string StandInFamily(const std::string& normalised) {
  const bool mincho = Contains(normalised, "明朝") || Contains(normalised, "mincho");
  const bool gothic = Contains(normalised, "ゴシック") || Contains(normalised, "gothic") ||
                      Contains(normalised, "meiryo") || Contains(normalised, "メイリオ") ||
                      Contains(normalised, "osaka");
  // Proportional variants: "MS P明朝", "MS PGothic", "MS UI Gothic", Meiryo.
  const bool proportional = Contains(normalised, "msp") || Contains(normalised, "ui") ||
                            Contains(normalised, "meiryo") || Contains(normalised, "メイリオ") ||
                            Contains(normalised, "游");
  if (mincho) return proportional ? "IPAPMincho" : "IPAMincho";
  if (gothic || Contains(normalised, "游")) return proportional ? "IPAPGothic" : "IPAGothic";
  return {};
}

bool IsGenericFamily(const std::string& normalised) {
  return normalised == "sans-serif" || normalised == "sans" || normalised == "serif" ||
         normalised == "monospace" || normalised == "mono" || normalised == "system-ui";
}

// A file FreeType can open as a face. Caller must not hold FreeTypeMutex().
bool UsableFontFile(const std::string& path) {
  std::error_code ec;
  if (path.empty() || !std::filesystem::is_regular_file(path, ec) || ec) return false;
  std::lock_guard<std::mutex> lock(FreeTypeMutex());
  FT_Library lib = FreeTypeLibrary();
  if (!lib) return false;
  FT_Face face = nullptr;
  if (FT_New_Face(lib, path.c_str(), 0, &face) != 0) return false;
  FT_Done_Face(face);
  return true;
}

// Fontconfig is not thread-safe either; its calls go through this mutex.
std::mutex& FontconfigMutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}

struct FontMatch {
  std::string file;
  bool familyMatches = false;  // the match carries the asked name itself
};

// Caller holds the fontconfig mutex.
FontMatch MatchFamily(const std::string& utf8Family) {
  FontMatch result;
  if (!FcInit()) return result;
  FcPattern* pattern = FcPatternBuild(nullptr, FC_FAMILY, FcTypeString,
                                      reinterpret_cast<const FcChar8*>(utf8Family.c_str()),
                                      static_cast<char*>(nullptr));
  if (!pattern) return result;
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult fcResult = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &fcResult);
  FcPatternDestroy(pattern);
  if (!match) return result;
  FcChar8* file = nullptr;
  if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file)
    result.file = reinterpret_cast<const char*>(file);
  const std::string wanted = NormaliseFaceName(utf8Family);
  for (const char* property : {FC_FAMILY, FC_FULLNAME, FC_POSTSCRIPT_NAME}) {
    FcChar8* name = nullptr;
    for (int n = 0; FcPatternGetString(match, property, n, &name) == FcResultMatch; ++n) {
      if (name && NormaliseFaceName(reinterpret_cast<const char*>(name)) == wanted)
        result.familyMatches = true;
    }
  }
  FcPatternDestroy(match);
  return result;
}

std::string FindFontFileUncached(const std::string& utf8FaceName, std::mutex& fcMutex) {
  auto match = [&](const std::string& family) {
    std::lock_guard<std::mutex> lock(fcMutex);
    return MatchFamily(family);
  };
  const std::string normalised = NormaliseFaceName(utf8FaceName);
  FontMatch asked;
  if (!normalised.empty()) {
    asked = match(utf8FaceName);
    if ((asked.familyMatches || IsGenericFamily(normalised)) && UsableFontFile(asked.file))
      return asked.file;
    const std::string standIn = StandInFamily(normalised);
    if (!standIn.empty()) {
      FontMatch m = match(standIn);
      if (m.familyMatches && UsableFontFile(m.file)) return m.file;
    }
  }
  FontMatch gothic = match("IPAGothic");
  if (gothic.familyMatches && UsableFontFile(gothic.file)) return gothic.file;
  // No IPA fonts at all: whatever fontconfig offered is better than nothing.
  if (UsableFontFile(asked.file)) return asked.file;
  if (UsableFontFile(gothic.file)) return gothic.file;
  return {};
}

// Glyphs by code point, each made on first use. It is emptied when full, so
// a text of ever new characters cannot grow it without end.
template <class Glyph, size_t kCapacity>
class GlyphCache {
 public:
  template <class Make>
  const Glyph& Get(uint32_t codepoint, Make make) {
    auto it = map_.find(codepoint);
    if (it != map_.end()) return it->second;
    if (map_.size() >= kCapacity) map_.clear();
    return map_.emplace(codepoint, make()).first->second;
  }

 private:
  std::unordered_map<uint32_t, Glyph> map_;
};

struct CachedGlyph {
  GlyphBitmap bitmap;
  bool present = false;  // the face has a glyph of its own for the code point
};

class FreeTypeFace final : public FontFace {
 public:
  explicit FreeTypeFace(FT_Face face) : face_(face) {
    const FT_Size_Metrics& m = face_->size->metrics;
    ascent_ = static_cast<int>((m.ascender + 63) >> 6);
    descent_ = static_cast<int>((-m.descender + 63) >> 6);
    lineHeight_ = std::max(static_cast<int>((m.height + 32) >> 6), ascent_ + descent_);
  }
  ~FreeTypeFace() override {
    std::lock_guard<std::mutex> lock(FreeTypeMutex());
    FT_Done_Face(face_);
  }

  int Ascent() const override { return ascent_; }
  int Descent() const override { return descent_; }
  int LineHeight() const override { return lineHeight_; }

  bool RenderGlyph(uint32_t codepoint, GlyphBitmap& out) override {
    std::lock_guard<std::mutex> lock(FreeTypeMutex());
    const CachedGlyph& g = Glyph(codepoint);
    out = g.bitmap;
    return g.present;
  }

  int MeasureUtf8(std::string_view utf8) override {
    std::lock_guard<std::mutex> lock(FreeTypeMutex());
    int64_t width = 0;
    for (size_t i = 0; i < utf8.size();) width += Glyph(NextCodepoint(utf8, i)).bitmap.advance;
    return static_cast<int>(std::min<int64_t>(width, INT32_MAX));
  }

  void DrawUtf8(uint32_t* pixels, int width, int height, int stride, int x, int y,
                std::string_view utf8, uint32_t argb) override {
    if (!pixels || width <= 0 || height <= 0 || stride < width) return;
    std::lock_guard<std::mutex> lock(FreeTypeMutex());
    const int64_t baseline = static_cast<int64_t>(y) + ascent_;
    // Glyphs may reach a little left of their pen position; beyond this
    // margin past the right edge nothing more can become visible.
    const int64_t rightLimit = static_cast<int64_t>(width) + 4 * static_cast<int64_t>(lineHeight_) + 64;
    int64_t pen = x;
    for (size_t i = 0; i < utf8.size() && pen < rightLimit;) {
      const GlyphBitmap& g = Glyph(NextCodepoint(utf8, i)).bitmap;
      BlendGlyph(pixels, width, height, stride, pen + g.left, baseline - g.top, g, argb);
      pen += g.advance;
    }
  }

 private:
  // Caller holds FreeTypeMutex(). The reference stays valid until the next call.
  const CachedGlyph& Glyph(uint32_t codepoint) {
    return cache_.Get(codepoint, [&] {
      CachedGlyph g;
      if (codepoint < 0x20 || codepoint == 0x7F) {
        g.present = true;  // control characters take no room
      } else {
        const FT_UInt index = FT_Get_Char_Index(face_, codepoint);
        g.present = index != 0;
        LoadBitmap(index, g.bitmap);
      }
      return g;
    });
  }

  void LoadBitmap(FT_UInt index, GlyphBitmap& out) {
    if (FT_Load_Glyph(face_, index, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) != 0) return;
    const FT_GlyphSlot slot = face_->glyph;
    out.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    const FT_Bitmap& bm = slot->bitmap;
    const bool gray = bm.pixel_mode == FT_PIXEL_MODE_GRAY;
    const bool mono = bm.pixel_mode == FT_PIXEL_MODE_MONO;
    if ((!gray && !mono) || bm.width == 0 || bm.rows == 0 || !bm.buffer) return;
    if (bm.width > 4096 || bm.rows > 4096) return;
    out.width = static_cast<int>(bm.width);
    out.height = static_cast<int>(bm.rows);
    out.left = slot->bitmap_left;
    out.top = slot->bitmap_top;
    out.coverage.assign(static_cast<size_t>(out.width) * out.height, 0);
    // A negative pitch means the rows are stored bottom-up from `buffer`.
    const unsigned char* row0 = bm.buffer;
    if (bm.pitch < 0) row0 -= static_cast<ptrdiff_t>(bm.pitch) * (out.height - 1);
    const int maxGray = bm.num_grays > 1 ? bm.num_grays - 1 : 255;
    for (int r = 0; r < out.height; ++r) {
      const unsigned char* src = row0 + static_cast<ptrdiff_t>(bm.pitch) * r;
      uint8_t* dst = &out.coverage[static_cast<size_t>(r) * out.width];
      for (int c = 0; c < out.width; ++c) {
        if (mono) {
          dst[c] = (src[c >> 3] & (0x80 >> (c & 7))) ? 255 : 0;
        } else {
          dst[c] = static_cast<uint8_t>(std::min(255, src[c] * 255 / maxGray));
        }
      }
    }
  }

  static void BlendGlyph(uint32_t* pixels, int width, int height, int stride, int64_t gx,
                         int64_t gy, const GlyphBitmap& g, uint32_t argb) {
    const int64_t x0 = std::max<int64_t>(gx, 0), x1 = std::min<int64_t>(gx + g.width, width);
    const int64_t y0 = std::max<int64_t>(gy, 0), y1 = std::min<int64_t>(gy + g.height, height);
    if (x0 >= x1 || y0 >= y1) return;
    const uint32_t sr = (argb >> 16) & 0xFF, sg = (argb >> 8) & 0xFF, sb = argb & 0xFF;
    for (int64_t py = y0; py < y1; ++py) {
      const uint8_t* cov = &g.coverage[static_cast<size_t>((py - gy) * g.width + (x0 - gx))];
      uint32_t* dst = pixels + py * stride + x0;
      for (int64_t px = x0; px < x1; ++px, ++cov, ++dst) {
        const uint32_t a = *cov;
        if (a == 0) continue;
        const uint32_t d = *dst;
        const uint32_t inv = 255 - a;
        const uint32_t r = (sr * a + ((d >> 16) & 0xFF) * inv + 127) / 255;
        const uint32_t gg = (sg * a + ((d >> 8) & 0xFF) * inv + 127) / 255;
        const uint32_t b = (sb * a + (d & 0xFF) * inv + 127) / 255;
        *dst = 0xFF000000u | (r << 16) | (gg << 8) | b;
      }
    }
  }

  FT_Face face_;
  int ascent_ = 0, descent_ = 0, lineHeight_ = 0;
  GlyphCache<CachedGlyph, 4096> cache_;
};

}  // namespace

std::string FindFontFile(const std::string& utf8FaceName) {
  // Matching walks the font list (milliseconds); the answer cannot change
  // during a run, so keep it.
  static std::mutex* cacheMutex = new std::mutex;
  static auto* cache = new std::map<std::string, std::string>;
  {
    std::lock_guard<std::mutex> lock(*cacheMutex);
    auto it = cache->find(utf8FaceName);
    if (it != cache->end()) return it->second;
  }
  std::string file = FindFontFileUncached(utf8FaceName, FontconfigMutex());
  std::lock_guard<std::mutex> lock(*cacheMutex);
  if (cache->size() < 256) (*cache)[utf8FaceName] = file;
  return file;
}

std::string FindInstalledFamily(const std::string& utf8Family) {
  static std::mutex* cacheMutex = new std::mutex;
  static auto* cache = new std::map<std::string, std::string>;
  {
    std::lock_guard<std::mutex> lock(*cacheMutex);
    auto it = cache->find(utf8Family);
    if (it != cache->end()) return it->second;
  }
  std::string file;
  if (!NormaliseFaceName(utf8Family).empty()) {
    FontMatch m;
    {
      std::lock_guard<std::mutex> lock(FontconfigMutex());
      m = MatchFamily(utf8Family);
    }
    if (m.familyMatches && UsableFontFile(m.file)) file = m.file;
  }
  std::lock_guard<std::mutex> lock(*cacheMutex);
  if (cache->size() < 256) (*cache)[utf8Family] = file;
  return file;
}

namespace {

// One row's run of ink dots of a glyph, from the pen position and the
// baseline: dots x0 .. x1 - 1 of row y (negative rows are above the baseline).
struct InkSpan {
  int16_t y, x0, x1;
};

struct CellGlyph {
  int advance = 0;
  bool present = false;
  std::vector<InkSpan> spans;
};

template <typename T>
void FillSpan(uint8_t* row, int x0, int x1, uint32_t value) {
  const T v = static_cast<T>(value);
  for (int x = x0; x < x1; ++x) std::memcpy(row + static_cast<size_t>(x) * sizeof(T), &v, sizeof(T));
}

class FreeTypeCellFace final : public CellFace {
 public:
  FreeTypeCellFace(FT_Face face, std::string file, int cellHeight, int ascent)
      : face_(face), file_(std::move(file)), cellHeight_(cellHeight), ascent_(ascent) {}
  ~FreeTypeCellFace() override {
    std::lock_guard<std::mutex> lock(FreeTypeMutex());
    FT_Done_Face(face_);
  }

  int CellHeight() const override { return cellHeight_; }
  int Ascent() const override { return ascent_; }
  const std::string& File() const override { return file_; }

  int Advance(uint32_t codepoint) override {
    std::lock_guard<std::mutex> lock(FreeTypeMutex());
    return Glyph(codepoint).advance;
  }

  bool HasGlyph(uint32_t codepoint) override {
    std::lock_guard<std::mutex> lock(FreeTypeMutex());
    return Glyph(codepoint).present;
  }

  void Draw(const GlyphCanvas& c, int x, int y, uint32_t codepoint, uint32_t value) override {
    if (!c.bits || c.clipLeft >= c.clipRight || c.clipTop >= c.clipBottom) return;
    std::lock_guard<std::mutex> lock(FreeTypeMutex());
    const CellGlyph& g = Glyph(codepoint);
    const int64_t baseline = static_cast<int64_t>(y) + ascent_;
    for (const InkSpan& s : g.spans) {
      const int64_t row = baseline + s.y;
      if (row < c.clipTop || row >= c.clipBottom) continue;
      const int x0 = static_cast<int>(std::max<int64_t>(static_cast<int64_t>(x) + s.x0, c.clipLeft));
      const int x1 = static_cast<int>(std::min<int64_t>(static_cast<int64_t>(x) + s.x1, c.clipRight));
      if (x0 >= x1) continue;
      uint8_t* line = c.bits + static_cast<size_t>(row) * static_cast<size_t>(c.pitch);
      switch (c.bytesPerPixel) {
        case 1: std::memset(line + x0, static_cast<int>(value & 0xFF), static_cast<size_t>(x1 - x0)); break;
        case 2: FillSpan<uint16_t>(line, x0, x1, value); break;
        default: FillSpan<uint32_t>(line, x0, x1, value); break;
      }
    }
  }

  void InkRows(uint32_t codepoint, int& top, int& bottom) override {
    std::lock_guard<std::mutex> lock(FreeTypeMutex());
    const CellGlyph& g = Glyph(codepoint);
    top = INT_MAX, bottom = INT_MIN;
    for (const InkSpan& s : g.spans) {
      top = std::min(top, ascent_ + s.y);
      bottom = std::max(bottom, ascent_ + s.y);
    }
    if (g.spans.empty()) top = 0, bottom = -1;
  }

 private:
  // Caller holds FreeTypeMutex(). The reference stays valid until the next call.
  const CellGlyph& Glyph(uint32_t codepoint) {
    return cache_.Get(codepoint, [&] {
      CellGlyph g;
      const bool control = codepoint < 0x20 || codepoint == 0x7F || (codepoint >= 0x80 && codepoint < 0xA0);
      const FT_UInt index = control ? 0 : FT_Get_Char_Index(face_, codepoint);
      g.present = index != 0;
      Load(index, g);
      return g;
    });
  }

  void Load(FT_UInt index, CellGlyph& g) {
    if (FT_Load_Glyph(face_, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) return;
    const FT_GlyphSlot slot = face_->glyph;
    g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    if (!g.present) return;  // the missing-glyph box keeps its width but draws nothing
    const FT_Bitmap& bm = slot->bitmap;
    const bool mono = bm.pixel_mode == FT_PIXEL_MODE_MONO;
    if ((!mono && bm.pixel_mode != FT_PIXEL_MODE_GRAY) || !bm.buffer || bm.width > 4096 || bm.rows > 4096) return;
    const unsigned char* row0 = bm.buffer;
    if (bm.pitch < 0) row0 -= static_cast<ptrdiff_t>(bm.pitch) * (static_cast<int>(bm.rows) - 1);
    const int half = bm.num_grays > 1 ? bm.num_grays / 2 : 128;
    for (int r = 0; r < static_cast<int>(bm.rows); ++r) {
      const unsigned char* src = row0 + static_cast<ptrdiff_t>(bm.pitch) * r;
      auto ink = [&](int col) {
        return mono ? (src[col >> 3] & (0x80 >> (col & 7))) != 0 : src[col] >= half;
      };
      for (int col = 0; col < static_cast<int>(bm.width);) {
        if (!ink(col)) {
          ++col;
          continue;
        }
        int end = col + 1;
        while (end < static_cast<int>(bm.width) && ink(end)) ++end;
        g.spans.push_back(InkSpan{static_cast<int16_t>(r - slot->bitmap_top),
                                  static_cast<int16_t>(slot->bitmap_left + col),
                                  static_cast<int16_t>(slot->bitmap_left + end)});
        col = end;
      }
    }
  }

  FT_Face face_;
  std::string file_;
  int cellHeight_, ascent_;
  GlyphCache<CellGlyph, 8192> cache_;
};

}  // namespace

std::string FontFileProblem(const std::string& fontFile) {
  std::lock_guard<std::mutex> lock(FreeTypeMutex());
  FT_Library lib = FreeTypeLibrary();
  if (!lib) return "FreeType cannot be started";
  FT_Face face = nullptr;
  const FT_Error error = OpenFace(lib, fontFile, &face);
  switch (error) {
    case FT_Err_Ok: break;
    case FT_Err_Unknown_File_Format: return "not a font file FreeType can read";
    case FT_Err_Cannot_Open_Resource: return "it cannot be opened";
    case FT_Err_Out_Of_Memory: return "memory ran out while it was read";
    default: {
      char text[64];
      std::snprintf(text, sizeof text, "a damaged font file (FreeType error 0x%02X)", static_cast<unsigned>(error));
      return text;
    }
  }
  const bool drawable = FT_IS_SCALABLE(face) || face->num_fixed_sizes > 0;
  FT_Done_Face(face);
  return drawable ? std::string() : "a font without outlines or bitmap sizes to draw with";
}

std::unique_ptr<CellFace> CellFace::Open(const std::string& fontFile, int cellHeight, int averageWidth) {
  if (fontFile.empty() || cellHeight < 1 || cellHeight > 1024 || averageWidth < 0 || averageWidth > 1024)
    return nullptr;
  std::lock_guard<std::mutex> lock(FreeTypeMutex());
  FT_Library lib = FreeTypeLibrary();
  if (!lib) return nullptr;
  FT_Face face = nullptr;
  if (OpenFace(lib, fontFile, &face) != 0) return nullptr;
  if (!face->charmap) FT_Select_Charmap(face, FT_ENCODING_UNICODE);
  if (!face->charmap && face->num_charmaps > 0) FT_Set_Charmap(face, face->charmaps[0]);
  int ascent = 0;
  bool sized = false;
  if (FT_IS_SCALABLE(face)) {
    // The cell height is ascent plus descent, the way a face's height is
    // asked for when the text is laid out in cells.
    FT_Size_RequestRec request{FT_SIZE_REQUEST_TYPE_CELL, 0, static_cast<FT_Long>(cellHeight) << 6, 0, 0};
    sized = FT_Request_Size(face, &request) == 0;
    const long span = static_cast<long>(face->ascender) - face->descender;
    ascent = span > 0 ? static_cast<int>((static_cast<long>(face->ascender) * cellHeight * 2 + span) / (2 * span))
                      : static_cast<int>(face->size->metrics.ascender >> 6);
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (sized && averageWidth > 0 && os2 && os2->xAvgCharWidth > 0) {
      const double natural = FT_MulFix(os2->xAvgCharWidth, face->size->metrics.x_scale) / 64.0;
      if (natural > 0) {
        FT_Matrix m{static_cast<FT_Fixed>(averageWidth / natural * 65536.0 + 0.5), 0, 0, 0x10000};
        FT_Set_Transform(face, &m, nullptr);
      }
    }
  } else if (face->num_fixed_sizes > 0) {
    int best = 0;
    for (int i = 1; i < face->num_fixed_sizes; ++i) {
      if (std::abs(face->available_sizes[i].height - cellHeight) <
          std::abs(face->available_sizes[best].height - cellHeight))
        best = i;
    }
    sized = FT_Select_Size(face, best) == 0;
    ascent = static_cast<int>(face->size->metrics.ascender >> 6);
  }
  if (!sized) {
    FT_Done_Face(face);
    return nullptr;
  }
  return std::make_unique<FreeTypeCellFace>(face, fontFile, cellHeight, std::clamp(ascent, 0, cellHeight));
}

std::unique_ptr<FontFace> FontFace::Open(const std::string& fontFile, int pixelHeight) {
  if (fontFile.empty() || pixelHeight < 1 || pixelHeight > 1024) return nullptr;
  std::lock_guard<std::mutex> lock(FreeTypeMutex());
  FT_Library lib = FreeTypeLibrary();
  if (!lib) return nullptr;
  FT_Face face = nullptr;
  if (OpenFace(lib, fontFile, &face) != 0) return nullptr;
  if (!face->charmap) FT_Select_Charmap(face, FT_ENCODING_UNICODE);
  if (!face->charmap && face->num_charmaps > 0) FT_Set_Charmap(face, face->charmaps[0]);
  bool sized = false;
  if (FT_IS_SCALABLE(face)) {
    sized = FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelHeight)) == 0;
  } else if (face->num_fixed_sizes > 0) {
    // Bitmap-only font: the strike nearest to the asked size.
    int best = 0;
    for (int i = 1; i < face->num_fixed_sizes; ++i) {
      if (std::abs(face->available_sizes[i].height - pixelHeight) <
          std::abs(face->available_sizes[best].height - pixelHeight))
        best = i;
    }
    sized = FT_Select_Size(face, best) == 0;
  }
  if (!sized) {
    FT_Done_Face(face);
    return nullptr;
  }
  return std::make_unique<FreeTypeFace>(face);
}

}  // namespace plat

#if defined(__SANITIZE_ADDRESS__)
#define PELMORA_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PELMORA_LEAK_CHECKED 1
#endif
#endif
#ifdef PELMORA_LEAK_CHECKED
// Fontconfig 2.14 loses a few hundred bytes while parsing its configuration
// files (unreachable, so no FcFini could return them); libdbus keeps a
// buffer SDL's X11 video driver makes it allocate. Neither is ours to fix,
// and they would fail every sanitizer run that touches a font or a display.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}
#endif
