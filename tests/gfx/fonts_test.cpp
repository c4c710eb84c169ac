// The game's fonts in every mode, drawn with a pinned font file so that the
// dots are the same on every Debian 12 machine: glyph sheets and their edge
// codes, growth of the full-width sheet, the bracket offset, picture
// letters, blank characters, the restores, measuring and bounded formatting,
// and pixel hashes of whole texts.
#include "support/display.h"
#include "gfx/fonts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <list>
#include <string>
#include <vector>

#include "base/text_path.h"
#include "data/labels.h"
#include "gfx/game_fonts.h"
#include "platform/font_raster.h"
#include "platform/text.h"
#include "surface_pixels.h"

namespace {

const std::string kFontDir = "/usr/share/fonts/opentype/ipafont-gothic/";
const std::string kGothic = kFontDir + "ipag.ttf";    // the pinned file
const std::string kPGothic = kFontDir + "ipagp.ttf";  // proportional, for the brackets
constexpr uint32_t kInk = 241, kBack = 3;

struct Mode {
  const char* name;
  uint32_t d3d;
  int bpp;
  uint64_t hash;  // of the texts of PixelStableTexts
};

void PrintTo(const Mode& m, std::ostream* os) { *os << m.name; }

std::string S(const char* utf8) { return plat::Sjis(utf8); }

std::vector<uint32_t> Read(DDSURFACEDATA* sd, int x, int y, int w, int h) { return SurfacePixels(sd, x, y, w, h); }

// Dots that differ from `background`, as a string of '#' and '.'.
std::string Ink(DDSURFACEDATA* sd, int x, int y, int w, int h, uint32_t background) {
  std::string s;
  for (uint32_t v : Read(sd, x, y, w, h)) s += v == background ? '.' : '#';
  return s;
}

class FontTest : public ::testing::TestWithParam<Mode> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(kGothic)) << "fonts-ipafont-gothic is not installed";
    const Mode& m = GetParam();
    ASSERT_TRUE(DDInit(m.d3d, 0, 640, 480, m.bpp, 0, 0, 1, 60, 0, nullptr, nullptr, 0));
    for (int i = 0; i < 256; ++i) Colour(i, i, i, i);
    Colour(kInk, 255, 200, 40);
    Colour(kBack, 20, 60, 100);
    std::memcpy(DDState.DDPaletteWork, DDState.DDPalette, sizeof DDState.DDPalette);
    if (m.bpp != 8) DDSetTransmit(0, 0, 0);
    SetPinnedFontFile(kGothic);
  }
  void TearDown() override {
    for (cFont& f : fonts_) f.Release();
    ReleaseGameFonts();
    ResetGameSurfaceTablesForTest();
    SetPinnedFontFile("");
  }
  // A palette entry as the display keeps it (16-bit DirectDraw: reduced channels).
  void Colour(int i, int r, int g, int b) {
    const bool reduce = GetParam().bpp == 16 && !GetParam().d3d;
    DDState.DDPalette[i] = PALETTEENTRY{uint8_t(reduce ? r >> 3 : r), uint8_t(reduce ? g >> 2 : g),
                                        uint8_t(reduce ? b >> 3 : b), 0};
  }
  cFont& Make(int cell, uint32_t glyphMode, const char* utf8Face = "ＭＳ ゴシック", DDSURFACEDATA* letters = nullptr) {
    fonts_.emplace_back();
    EXPECT_TRUE(fonts_.back().Create(S(utf8Face).c_str(), 0, cell, cell, cell, kInk, nullptr, 1, 240, letters,
                                     glyphMode));
    return fonts_.back();
  }
  // The back buffer cleared to kBack; its raw background value.
  uint32_t Clear() {
    DDFillRect(DDBackBuffer(), 0, 0, 640, 480, kBack);
    return Read(DDBackBuffer(), 0, 0, 1, 1).at(0);
  }
  uint32_t Transparent(DDSURFACEDATA* sd) {
    return lpDTCon ? 0 : sd->lpDDS->lpSurface->ColorKey();
  }

  DisplaySandbox sandbox_;
  std::list<cFont> fonts_;
};

TEST_P(FontTest, HalfSheetHoldsEverySingleByteInItsCell) {
  cFont& font = Make(16, 1);
  ASSERT_NE(font.m_lpFastFont_Half, nullptr);
  DDSURFACEDATA* sheet = &font.m_lpFastFont_Half->m_SD;
  const uint32_t clear = Transparent(sheet);
  std::vector<uint32_t> inks;
  for (uint32_t v : Read(sheet, 0, 0, 256, 256))
    if (v != clear && std::find(inks.begin(), inks.end(), v) == inks.end()) inks.push_back(v);
  EXPECT_EQ(inks.size(), 1u) << "one ink colour, no blended fringe";
  if (!lpDTCon) {
    EXPECT_EQ(inks.at(0), PalNumToRGB(kInk));
  }
  auto inked = [&](int b) { return Ink(sheet, (b % 16) * 16, (b / 16) * 16, 16, 16, clear).find('#') != std::string::npos; };
  for (int b = 0; b < 256; ++b) {
    const bool none = b < 0x21 || b == 0x7F || b == 0x80 || b == 0xA0 || b >= 0xFD || plat::IsCp932LeadByte(uint8_t(b));
    EXPECT_EQ(inked(b), !none) << "byte " << b;  // half-width katakana 0xA1..0xDF are inked
  }
  // "AB" in glyph mode is exactly those two cells.
  const uint32_t back = Clear();
  font.DrawText(DDBackBuffer(), 32, 8, "AB");
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(Ink(DDBackBuffer(), 32 + 16 * i, 8, 16, 16, back), Ink(sheet, (1 + i) * 16, 4 * 16, 16, 16, clear));
}

TEST_P(FontTest, FullSheetTakesTheFixedSetThenTheCharacterFirstDrawn) {
  cFont& font = Make(16, 1);
  cFont& plain = Make(16, 0);
  cFastFont* full = font.m_lpFastFont_FullAdd;
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(full->m_nColumns, 32);
  EXPECT_EQ(full->m_nRows, lpDTCon ? 32 : 30);
  EXPECT_EQ(full->m_Chars.size(), 258u);
  const std::string do_ = S("ド");
  EXPECT_EQ(full->Find(do_.c_str()), nullptr);
  EXPECT_EQ(full->Find(S("ト").c_str())->nSlot, 187);  // its first place of two
  const uint32_t back = Clear();
  font.DrawText(DDBackBuffer(), 0, 0, do_.c_str());
  ASSERT_EQ(full->m_Chars.size(), 259u);
  const FASTFONTCHAR* node = full->Find(do_.c_str());
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->nSlot, 258);
  EXPECT_EQ(font.AddedFullWidthCount(), 1);
  // The cell drawn equals the character drawn straight through the face.
  const std::string fromSheet = Ink(DDBackBuffer(), 0, 0, 16, 16, back);
  EXPECT_NE(fromSheet.find('#'), std::string::npos);
  Clear();
  plain.DrawText(DDBackBuffer(), 0, 0, do_.c_str());
  EXPECT_EQ(Ink(DDBackBuffer(), 0, 0, 16, 16, back), fromSheet);
}

TEST_P(FontTest, FullSheetGeometryAndAFullSheet) {
  struct Case {
    int cell, columns, rows;
  };
  const std::vector<Case> table = lpDTCon ? std::vector<Case>{{24, 32, 32}, {32, 32, 32}, {64, 16, 16}}
                                          : std::vector<Case>{{24, 26, 20}, {32, 20, 15}, {64, 10, 7}};
  for (const Case& c : table) {
    cFont& font = Make(c.cell, 1);
    ASSERT_NE(font.m_lpFastFont_FullAdd, nullptr);
    EXPECT_EQ(font.m_lpFastFont_FullAdd->m_nColumns, c.columns) << c.cell;
    EXPECT_EQ(font.m_lpFastFont_FullAdd->m_nRows, c.rows) << c.cell;
    EXPECT_EQ(font.m_lpFastFont_FullAdd->m_Chars.size(), std::min<size_t>(258, c.columns * c.rows));
  }
  // 64-dot cells: the sheet is full before the fixed set ends, and a further
  // character is drawn through the face, the same dots as without sheets.
  cFont& full = fonts_.back();
  cFont& plain = Make(64, 0);
  const std::string kanji = S("漢");
  const uint32_t back = Clear();
  full.DrawText(DDBackBuffer(), 0, 0, kanji.c_str());
  EXPECT_EQ(full.m_lpFastFont_FullAdd->Find(kanji.c_str()), nullptr);
  const std::string drawn = Ink(DDBackBuffer(), 0, 0, 64, 64, back);
  EXPECT_NE(drawn.find('#'), std::string::npos);
  Clear();
  plain.DrawText(DDBackBuffer(), 0, 0, kanji.c_str());
  EXPECT_EQ(Ink(DDBackBuffer(), 0, 0, 64, 64, back), drawn);
}

TEST_P(FontTest, BracketsOfThePGothicFaceSitAQuarterCellRight) {
  SetPinnedFontFile(kPGothic);  // both names drawn with the same file
  for (uint32_t glyphMode : {0u, 1u}) {
    cFont& p = Make(16, glyphMode, "ＭＳ Ｐゴシック");
    cFont& g = Make(16, glyphMode, "ＭＳ ゴシック");
    for (const std::string& text : {std::string("(A)"), S("（Ａ）")}) {
      const int n = static_cast<int>(text.size()) / 3;  // bytes a character
      const uint32_t back = Clear();
      p.DrawText(DDBackBuffer(), 0, 0, text.c_str());
      // The same characters one by one in the other face, brackets 4 dots right.
      for (int cell = 0; cell < 3; ++cell)
        g.DrawText(DDBackBuffer(), 100 + cell * 16 + (cell == 1 ? 0 : 4), 0, text.substr(cell * n, n).c_str());
      EXPECT_EQ(Ink(DDBackBuffer(), 0, 0, 56, 16, back), Ink(DDBackBuffer(), 100, 0, 56, 16, back))
          << "glyph mode " << glyphMode;
    }
  }
}

// The pen: in a laid-out font every character, two bytes or one (kana,
// full-width and ASCII letters, half-width katakana, both spaces), takes one
// cell of the character width, whichever face draws it; a text is its
// characters drawn one by one a cell apart and measures characters x width.
// A font without a character width moves the pen by each character's own
// advance, so a text split anywhere draws the same when the second part
// starts where the first measures.
TEST_P(FontTest, EveryCharacterTakesOneCellOfTheCharacterWidth) {
  struct Case {
    const char* text;
    int cells;
  };
  const Case kCases[] = {{"つづきから", 5}, {"タイトルへ", 5}, {"GOAL!", 5},   {"ＧＯＡＬ！", 5},
                         {"ｱｲｳｴｵ", 5},     {"A　B C", 5},     {"1ド2", 3}};
  for (const auto& [face, file] : {std::pair{"ＭＳ ゴシック", kGothic}, std::pair{"ＭＳ Ｐゴシック", kPGothic}}) {
    SetPinnedFontFile(file);
    for (uint32_t glyphMode : {0u, 1u}) {
      cFont& font = Make(16, glyphMode, face);
      for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(face) + " " + c.text + " glyph mode " + std::to_string(glyphMode));
        const std::string text = S(c.text);
        EXPECT_EQ(font.MeasureText(text.c_str()), (TEXTSIZE{16 * c.cells, 16}));
        const uint32_t back = Clear();
        font.DrawText(DDBackBuffer(), 0, 0, text.c_str());
        int cell = 0;
        for (const char* p = text.c_str(); *p; ++cell) {
          const int n = IsDoubleByteChar(p) ? 2 : 1;
          font.DrawText(DDBackBuffer(), 16 * cell, 40, std::string(p, n).c_str());
          p += n;
        }
        EXPECT_EQ(cell, c.cells);
        const std::string whole = Ink(DDBackBuffer(), 0, 0, 16 * c.cells + 8, 16, back);
        EXPECT_NE(whole.find('#'), std::string::npos);
        EXPECT_EQ(whole, Ink(DDBackBuffer(), 0, 40, 16 * c.cells + 8, 16, back));
      }
    }
  }
  SetPinnedFontFile(kPGothic);
  fonts_.emplace_back();
  cFont& proportional = fonts_.back();
  ASSERT_TRUE(proportional.Create(S("ＭＳ Ｐゴシック").c_str(), 0, 16, 0, 16, kInk, nullptr, 1, 240, nullptr, 0));
  const std::string head = S("タイト"), tail = S("ルへGOAL!");
  const int headWidth = proportional.MeasureTextGDI(head.c_str()).cx;
  EXPECT_LT(headWidth, 3 * 16) << "narrow kana are narrower than a cell";
  EXPECT_EQ(proportional.MeasureTextGDI((head + tail).c_str()).cx,
            headWidth + proportional.MeasureTextGDI(tail.c_str()).cx);
  const uint32_t back = Clear();
  proportional.DrawText(DDBackBuffer(), 0, 0, (head + tail).c_str());
  proportional.DrawText(DDBackBuffer(), 0, 40, head.c_str());
  proportional.DrawText(DDBackBuffer(), headWidth, 40, tail.c_str());
  EXPECT_EQ(Ink(DDBackBuffer(), 0, 0, 160, 16, back), Ink(DDBackBuffer(), 0, 40, 160, 16, back));
}

TEST_P(FontTest, PictureLettersReplaceTheLettersAToZ) {
  DDSURFACEDATA strip;
  ASSERT_TRUE(DDCreateSurface(&strip, 26 * 16, 16, 1, 1, DTMEMORYTYPE_VIDEO_RT, 0, 0));
  DDFillRect(&strip, 0, 0, 26 * 16, 16, 0);
  for (int i = 0; i < 26; ++i) DDFillRect(&strip, i * 16 + 2, 2, 12, 12, 10 + i);
  cFont& font = Make(16, 1, "ＭＳ ゴシック", &strip);
  uint32_t back = Clear();
  font.DrawText(DDBackBuffer(), 0, 0, "abc");
  const std::vector<uint32_t> lettered = Read(DDBackBuffer(), 0, 0, 48, 16);
  Clear();
  for (int i = 0; i < 3; ++i) DDBlt(DDBackBuffer(), i * 16, 0, 16, 16, &strip, i * 16, 0, 1);
  EXPECT_EQ(lettered, Read(DDBackBuffer(), 0, 0, 48, 16)) << "the strip's pictures and no glyph";
  back = Clear();
  font.DrawText(DDBackBuffer(), 0, 0, "abc", 1);
  const std::string plain = Ink(DDBackBuffer(), 0, 0, 48, 16, back);
  Clear();
  Make(16, 1).DrawText(DDBackBuffer(), 0, 0, "abc");
  EXPECT_EQ(plain, Ink(DDBackBuffer(), 0, 0, 48, 16, back)) << "plain: letters as letters";
  for (cFont& f : fonts_) f.Release();
  DDReleaseSurface(&strip);
}

TEST_P(FontTest, LoneLeadBytesAndCodesOfNoCharacterAreBlank) {
  for (uint32_t glyphMode : {0u, 1u}) {
    cFont& font = Make(16, glyphMode);
    const uint32_t back = Clear();
    // A lone lead byte at the end, and 0x85 0x40, a pair that names nothing.
    font.DrawText(DDBackBuffer(), 0, 0, "AB\x81");
    font.DrawText(DDBackBuffer(), 0, 20, "A\x85\x40" "B");
    EXPECT_EQ(Ink(DDBackBuffer(), 32, 0, 16, 16, back), std::string(256, '.'));
    EXPECT_EQ(Ink(DDBackBuffer(), 16, 20, 16, 16, back), std::string(256, '.'));
    EXPECT_EQ(Ink(DDBackBuffer(), 32, 20, 16, 16, back), Ink(DDBackBuffer(), 16, 0, 16, 16, back)) << "B moved on";
    if (glyphMode) {
      EXPECT_EQ(font.m_lpFastFont_FullAdd->m_Chars.size(), 258u) << "no cell spent on it";
    }
  }
}

TEST_P(FontTest, RestoresDrawSheetsAndDigitStripsAgain) {
  GameFontOptions options;
  options.nFontIndex = 59;
  options.bDirect3D = GetParam().d3d;
  options.nD3DFontCache = 1;
  ASSERT_TRUE(CreateGameFonts(options));
  auto snapshot = [] {
    std::vector<std::vector<uint32_t>> all;
    for (int i = 0; i < kGameFontCount; ++i) {
      for (cFastFont* s : {GameFonts[i].m_lpFastFont_Half, GameFonts[i].m_lpFastFont_FullAdd})
        if (s) all.push_back(Read(&s->m_SD, 0, 0, s->m_SD.nWidth, s->m_SD.nHeight));
      all.push_back(Read(&DigitSurfaces[i], 0, 0, DigitSurfaces[i].nWidth, DigitSurfaces[i].nHeight));
    }
    return all;
  };
  const auto before = snapshot();
  ASSERT_EQ(before.size(), 7u);  // font 2 has no sheets
  // A digit strip is "0123456789" drawn with its font.
  DDSURFACEDATA fresh;
  ASSERT_TRUE(DDCreateSurface(&fresh, 100, 10, 1, 0, 0, 0, 0));
  DrawDigitStrip(&fresh, &GameFonts[0]);
  EXPECT_EQ(Read(&fresh, 0, 0, 100, 10), before[2]);
  DDReleaseSurface(&fresh);
  if (lpDTCon) {
    DDState.lpDevice->SimulateDeviceLoss();
    ASSERT_TRUE(DDRestoreSurface());
  } else {
    DDState.lpDD->SimulateSurfaceLoss();
    ASSERT_TRUE(DDRestore());
    RestoreDigitSurfaces();
  }
  EXPECT_EQ(snapshot(), before);
}

// Whole texts in the three game fonts, on the back buffer and (through the
// work surface) on a system-memory surface, hashed as the screen shows them.
TEST_P(FontTest, PixelStableTexts) {
  ASSERT_TRUE(CreateGameFonts(GameFontOptions{59, GetParam().d3d, 0, 1, 0, 0}));
  const std::string text = S("ＦＰＳ漢字テスト、あいうえお。ｱｲｳ Aa1(ド)\n二行目：ＯＫ！ 0123");
  const uint32_t background = Clear();
  DDSURFACEDATA system;
  ASSERT_TRUE(DDCreateSurface(&system, 640, 100, 1, 1, DTMEMORYTYPE_SYSTEM, 0, 0));
  DDFillRect(&system, 0, 0, 640, 100, kBack);
  const uint32_t systemBackground = Read(&system, 0, 0, 1, 1).at(0);
  for (int i = 0; i < kGameFontCount; ++i) GameFonts[i].DrawText(DDBackBuffer(), 4, 4 + 70 * i, text.c_str());
  GameFonts[1].DrawText(&system, 4, 4, text.c_str());
  EXPECT_EQ(Ink(&system, 0, 0, 640, 40, systemBackground), Ink(DDBackBuffer(), 0, 70, 640, 40, background))
      << "work surface road";
  const plat::PixelFormat format = lpDTCon ? plat::D3DFormatPixels(lpDTCon->dwBackBufferFormat)
                                           : DDBackBuffer()->lpDDS->lpSurface->Format();
  uint64_t hash = 1469598103934665603ull, inkHash = hash;
  for (uint32_t v : Read(DDBackBuffer(), 0, 0, 640, 210)) {
    hash = (hash ^ plat::PixelToArgb(format, v, DDState.DDPalette)) * 1099511628211ull;
    inkHash = (inkHash ^ (v != background)) * 1099511628211ull;
  }
  EXPECT_EQ(inkHash, 13681298452128321223ull) << "the same dots in every mode: " << inkHash;
  EXPECT_EQ(hash, GetParam().hash) << hash;
  DDReleaseSurface(&system);
}

INSTANTIATE_TEST_SUITE_P(Modes, FontTest,
                         ::testing::Values(Mode{"dd8", 0, 8, 7020212061751123667ull},
                                           Mode{"dd16", 0, 16, 9300374875627517795ull},
                                           Mode{"dd32", 0, 32, 7020212061751123667ull},
                                           Mode{"d3d16", 1, 16, 3925995154407370803ull},
                                           Mode{"d3d32", 1, 32, 7020212061751123667ull}),
                         [](const ::testing::TestParamInfo<Mode>& info) { return std::string(info.param.name); });

TEST(FontFaceTest, EveryTableFaceHasAStandInAndOthersFallBack) {
  for (int i = 0; i < kFontNameCount; ++i) {
    bool fellBack = true;
    EXPECT_FALSE(ResolveFontFace(FontFaceName(i).c_str(), &fellBack).empty());
    EXPECT_FALSE(fellBack) << plat::Cp932ToUtf8(FontFaceName(i));
  }
  bool fellBack = false;
  EXPECT_EQ(ResolveFontFace(S("ＭＳ Ｐゴシック").c_str(), &fellBack), plat::FindInstalledFamily("IPAPGothic"));
  EXPECT_EQ(ResolveFontFace("No Such Face 4711", &fellBack), plat::FindInstalledFamily("IPAGothic"));
  EXPECT_TRUE(fellBack);
}

TEST(FontTextTest, MeasuringAndBoundedFormatting) {
  DisplaySandbox sandbox;
  ASSERT_TRUE(DDInit(0, 0, 640, 480, 32, 0, 0, 1, 60, 0, nullptr, nullptr, 0));
  {
    cFont font;  // a face nothing installed carries: the table's default, and a report line
    ASSERT_TRUE(font.Create("Nowhere", 0, 16, 10, 12, 241, nullptr, 1, 240, nullptr, 0));
    EXPECT_NE(sandbox.Report().find("Nowhere"), std::string::npos);
    EXPECT_EQ(font.MeasureText(S("ＡＢＣ\nab").c_str()), (TEXTSIZE{30, 24}));
    EXPECT_EQ(font.MeasureTextGDI("A\n\nB").cy, 36) << "an empty line counts";
    EXPECT_EQ(font.MeasureTextGDI("AA").cx, 2 * font.MeasureTextGDI("A").cx);
    // A result longer than the 256-byte buffer is cut, never overrun.
    const std::string longText(300, 'x');
    font.DrawTextF(DDBackBuffer(), 0, 0, "%s", longText.c_str());
    font.DrawTextBoxF(DDBackBuffer(), 0, 0, 0, 0, "%s%s%s%s", longText.c_str(), longText.c_str(), longText.c_str(),
                      longText.c_str());
  }
  struct Case {
    size_t size;
    std::string in, out;
  };
  const std::string a = S("あ");  // two bytes
  for (const Case& c : {Case{8, "ABCDEFGHIJ", "ABCDEFG"}, Case{8, a + a + a + a, a + a + a},
                        Case{8, "A" + a + a + a + a, "A" + a + a + a}, Case{5, "AB" + a, "AB" + a},
                        Case{4, "AB" + a, "AB"}, Case{1, "A", ""}}) {
    std::vector<char> buffer(c.size);
    auto format = [&](const char* f, ...) {
      va_list args;
      va_start(args, f);
      const int n = FormatTextBounded(buffer.data(), buffer.size(), f, args);
      va_end(args);
      return n;
    };
    EXPECT_EQ(format("%s", c.in.c_str()), static_cast<int>(c.out.size()));
    EXPECT_EQ(std::string(buffer.data()), c.out);
  }
}

}  // namespace
