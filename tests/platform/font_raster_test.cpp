#include "platform/font_raster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/sandbox.h"

namespace {

// "日本語テキスト" and single characters, as UTF-8.
const std::string kJapanese = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x83\x86\xE3\x82\xAD\xE3\x82\xB9\xE3\x83\x88";
const std::string kReplacement = "\xEF\xBF\xBD";    // U+FFFD
const std::string kBlackSquare = "\xE2\x96\xA0";    // ■

bool IsFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

std::unique_ptr<plat::FontFace> Gothic(int px) {
  return plat::FontFace::Open(plat::FindFontFile("IPAGothic"), px);
}

TEST(FindFontFile, ResolvesInstalledAndStandInFaces) {
  const std::string gothic = plat::FindFontFile("IPAGothic");
  ASSERT_TRUE(IsFile(gothic)) << gothic;
  const std::string mincho = plat::FindFontFile("IPAMincho");
  ASSERT_TRUE(IsFile(mincho)) << mincho;
  EXPECT_NE(gothic, mincho);
  // Faces that do not exist here fall back to IPAGothic rather than to
  // whatever Latin font fontconfig would pick; Windows' Japanese faces, in
  // the spellings games store (full-width letters and spaces included), map
  // to the matching IPA face; case and spacing of a name do not matter.
  const struct { const char* name; const std::string& file; } cases[] = {
      {"No Such Face 93817", gothic}, {"", gothic}, {"MS Gothic", gothic}, {"MS Mincho", mincho},
      {"ipa gothic", gothic},
      {"\xEF\xBC\xAD\xEF\xBC\xB3 \xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF", gothic},  // ＭＳ ゴシック
      {"\xEF\xBC\xAD\xEF\xBC\xB3\xE3\x80\x80\xE6\x98\x8E\xE6\x9C\x9D", mincho},                 // ＭＳ　明朝
  };
  for (const auto& c : cases) EXPECT_EQ(plat::FindFontFile(c.name), c.file) << c.name;
}

TEST(FontFace, OpenRejectsWhatIsNotAFont) {
  EXPECT_EQ(plat::FontFace::Open("/nonexistent/font.ttf", 16), nullptr);
  EXPECT_EQ(plat::FontFace::Open("", 16), nullptr);
  EXPECT_TRUE(Gothic(0) == nullptr && Gothic(-12) == nullptr);

  TempFolder dir("font");
  const std::string junk = dir.Write("junk.ttf", std::string("\x00\x01\x00\x00 only its first four bytes look like a font", 47));
  EXPECT_EQ(plat::FontFace::Open(junk, 16), nullptr);
}

TEST(FontFace, IpaGothicMetricsAndAdvances) {
  auto font = Gothic(16);
  ASSERT_NE(font, nullptr);
  EXPECT_TRUE(font->Ascent() > 8 && font->Descent() >= 1);
  EXPECT_LE(font->Ascent() + font->Descent(), font->LineHeight());
  EXPECT_LE(font->LineHeight(), 24);

  // IPAGothic is fixed-pitch: full-width characters take one em, Latin half.
  plat::GlyphBitmap glyph;
  ASSERT_TRUE(font->RenderGlyph(0x3042, glyph));  // あ
  EXPECT_EQ(glyph.advance, 16);
  EXPECT_TRUE(glyph.width > 8 && glyph.height > 8);
  ASSERT_EQ(glyph.coverage.size(), static_cast<size_t>(glyph.width * glyph.height));
  EXPECT_GT(glyph.coverage.size() - std::count(glyph.coverage.begin(), glyph.coverage.end(), 0), 20u);

  ASSERT_TRUE(font->RenderGlyph('A', glyph));
  EXPECT_EQ(glyph.advance, 8);
  ASSERT_TRUE(font->RenderGlyph(' ', glyph));
  EXPECT_TRUE(glyph.advance == 8 && glyph.coverage.empty());

  // A private-use code point the face does not have.
  EXPECT_FALSE(font->RenderGlyph(0x10FFFD, glyph));

  EXPECT_EQ(font->MeasureUtf8(kJapanese), 7 * 16);
  EXPECT_EQ(font->MeasureUtf8("ABC def") + font->MeasureUtf8(""), 7 * 8);
}

// A canvas with guard pixels all around the drawable area, to catch writes
// outside it.
struct GuardedCanvas {
  static constexpr int kGuard = 8;
  static constexpr uint32_t kGuardValue = 0x12345678;
  int width, height, stride;
  std::vector<uint32_t> buffer;

  GuardedCanvas(int w, int h, uint32_t fill) : width(w), height(h), stride(w + 2 * kGuard) {
    buffer.assign(static_cast<size_t>(stride) * (h + 2 * kGuard), kGuardValue);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) At(x, y) = fill;
  }
  uint32_t& At(int x, int y) { return buffer[static_cast<size_t>(y + kGuard) * stride + x + kGuard]; }
  uint32_t* Origin() { return &At(0, 0); }
  bool GuardsIntact() const {
    for (int y = 0; y < height + 2 * kGuard; ++y)
      for (int x = 0; x < stride; ++x) {
        const bool inside = x >= kGuard && x < kGuard + width && y >= kGuard && y < kGuard + height;
        if (!inside && buffer[static_cast<size_t>(y) * stride + x] != kGuardValue) return false;
      }
    return true;
  }
};

// The colour's own alpha does not matter: coverage is the opacity, and
// blending towards black keeps the colour's proportions.
TEST(FontFace, DrawBlendsByCoverageWithinTheMeasuredExtent) {
  auto font = Gothic(16);
  ASSERT_NE(font, nullptr);
  GuardedCanvas canvas(200, 40, 0);
  const int x = 10, y = 5;
  const std::string text = kBlackSquare + kJapanese;
  font->DrawUtf8(canvas.Origin(), canvas.width, canvas.height, canvas.stride, x, y, text, 0x00FF8040);
  int minX = 1 << 20, maxX = -1, minY = 1 << 20, maxY = -1, full = 0;
  for (int py = 0; py < canvas.height; ++py)
    for (int px = 0; px < canvas.width; ++px) {
      const uint32_t p = canvas.At(px, py), r = (p >> 16) & 0xFF;
      if (p == 0) continue;
      EXPECT_EQ(p >> 24, 0xFFu);
      full += p == 0xFFFF8040;
      EXPECT_NEAR(static_cast<int>((p >> 8) & 0xFF), static_cast<int>(r * 0x80 / 0xFF), 1);
      EXPECT_NEAR(static_cast<int>(p & 0xFF), static_cast<int>(r * 0x40 / 0xFF), 1);
      minX = std::min(minX, px), maxX = std::max(maxX, px), minY = std::min(minY, py), maxY = std::max(maxY, py);
    }
  const int measured = font->MeasureUtf8(text);
  EXPECT_GT(full, 50);  // the solid square's inside
  EXPECT_TRUE(minX >= x && minX <= x + 3) << minX;
  EXPECT_TRUE(maxX < x + measured && maxX >= x + measured - 4) << maxX;
  EXPECT_TRUE(minY >= y && maxY < y + font->LineHeight() && maxY - minY >= 10) << minY << " " << maxY;
  EXPECT_TRUE(canvas.GuardsIntact());
}

TEST(FontFace, DrawIsClippedAtEveryEdge) {
  auto font = Gothic(20);
  ASSERT_NE(font, nullptr);
  const std::string text = kJapanese + "ABCgjy" + kBlackSquare;
  const int w = font->MeasureUtf8(text);
  const struct { int x, y; } positions[] = {
      {-w / 2, 0}, {30, -12}, {30, 30}, {60, 5}, {-w + 3, -10}, {-100000, 5}, {5, 100000},
      {2147483000, 0}, {-2147483000, -2147483000}, {0, 2147483000}};
  for (const auto& pos : positions) {
    GuardedCanvas canvas(80, 40, 0xFF203040);
    font->DrawUtf8(canvas.Origin(), canvas.width, canvas.height, canvas.stride, pos.x, pos.y, text,
                   0xFFFFFFFF);
    EXPECT_TRUE(canvas.GuardsIntact()) << pos.x << "," << pos.y;
  }
  // Partly visible positions do draw their visible part.
  GuardedCanvas canvas(80, 40, 0xFF000000);
  font->DrawUtf8(canvas.Origin(), canvas.width, canvas.height, canvas.stride, -w / 2, 30, text, 0xFFFFFFFF);
  int inked = 0;
  for (int y = 0; y < canvas.height; ++y)
    for (int x = 0; x < canvas.width; ++x) inked += canvas.At(x, y) != 0xFF000000;
  EXPECT_GT(inked, 20);

  // Degenerate canvases are left alone.
  font->DrawUtf8(nullptr, 10, 10, 10, 0, 0, text, 0xFFFFFFFF);
  font->DrawUtf8(canvas.Origin(), 0, 10, 10, 0, 0, text, 0xFFFFFFFF);
  font->DrawUtf8(canvas.Origin(), 90, 10, 80, 0, 0, text, 0xFFFFFFFF);  // stride < width
  EXPECT_TRUE(canvas.GuardsIntact());
}

TEST(FontFace, MalformedUtf8IsReplacedWithoutSwallowingValidText) {
  auto font = Gothic(16);
  ASSERT_NE(font, nullptr);
  const int a = font->MeasureUtf8("A");
  const int bad = font->MeasureUtf8(kReplacement);
  ASSERT_GT(bad, 0);
  // Each case: bytes, and how many replacement characters they stand for.
  const struct { std::string bytes; int replacements; } cases[] = {
      {"\xFF", 1},             // never a UTF-8 byte
      {"\x80\x80", 2},         // stray continuation bytes
      {"\xC0\xAF", 2},         // overlong lead, then a stray continuation
      {"\xE3\x81", 1},         // truncated three-byte sequence
      {"\xED\xA0\x80", 3},     // a surrogate: the lead's range excludes A0
      {"\xF4\x90\x80\x80", 4}, // above U+10FFFF
      {"\xF0\x9F", 1},         // truncated four-byte sequence
  };
  for (const auto& c : cases) {
    EXPECT_EQ(font->MeasureUtf8(c.bytes + "A"), c.replacements * bad + a) << testing::PrintToString(c.bytes);
    // The bad sequence at the very end of the buffer: an exact-size heap
    // copy, so any read past the end is caught under AddressSanitizer.
    std::unique_ptr<char[]> exact(new char[c.bytes.size()]);
    std::copy(c.bytes.begin(), c.bytes.end(), exact.get());
    const std::string_view view(exact.get(), c.bytes.size());
    EXPECT_EQ(font->MeasureUtf8(view), c.replacements * bad);
    GuardedCanvas canvas(60, 20, 0xFF000000);
    font->DrawUtf8(canvas.Origin(), canvas.width, canvas.height, canvas.stride, 0, 0, view, 0xFFFFFFFF);
    EXPECT_TRUE(canvas.GuardsIntact());
  }
  // Control characters take no room.
  EXPECT_EQ(font->MeasureUtf8(std::string("A\tB\r\nC\0D", 8)), 4 * a);
}

}  // namespace
