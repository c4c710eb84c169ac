#include "platform/image_decode.h"

#include <SDL.h>
#include <SDL_image.h>
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "platform/files.h"
#include "support/bmp_writer.h"
#include "support/rle8_widths.h"
#include "support/sandbox.h"
#include "support/sdl_pixels.h"

namespace plat {
namespace {

using testbmp::Build;
using testbmp::Spec;

// Our decoding of `bytes`; fails the test when it is refused.
DecodedImage Decode(const std::vector<uint8_t>& bytes) {
  DecodedImage img;
  std::string error;
  EXPECT_TRUE(DecodeImage(bytes.data(), bytes.size(), img, error)) << error;
  return img;
}

// SDL2_image's reading of the same bytes, as 0xAARRGGBB; false when SDL
// refuses the file.
bool DecodeWithSdl(const std::vector<uint8_t>& bytes, int& w, int& h, std::vector<uint32_t>& argb) {
  return SdlPixels(IMG_Load_RW(SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size())), 1), w, h, argb);
}

// `tolerance`: SDL widens 5- and 6-bit channels by truncated multiplication
// (v * 255 / 31), we repeat the bits as the presenter does ((v << 3) | (v >> 2)),
// which can be one higher.
void ExpectSameAsSdl(const std::vector<uint8_t>& bytes, bool compareAlpha, int tolerance = 0) {
  const DecodedImage ours = Decode(bytes);
  int w = 0, h = 0;
  std::vector<uint32_t> theirs;
  ASSERT_TRUE(DecodeWithSdl(bytes, w, h, theirs)) << IMG_GetError();
  ASSERT_EQ(std::pair(ours.width, ours.height), std::pair(w, h));
  for (size_t i = 0; i < theirs.size(); ++i)
    for (int sh = 0; sh < (compareAlpha ? 32 : 24); sh += 8) {
      const int d = static_cast<int>((ours.argb[i] >> sh) & 0xFF) - static_cast<int>((theirs[i] >> sh) & 0xFF);
      ASSERT_TRUE(d >= 0 && d <= tolerance) << "pixel " << i % w << "," << i / w << " shift " << sh;
    }
}

// Deterministic picture values in 0..limit-1 (limit 0: any 32-bit value).
std::vector<uint32_t> Values(int w, int h, uint32_t limit, uint32_t seed = 7) {
  std::vector<uint32_t> v(static_cast<size_t>(w) * h);
  for (uint32_t& x : v) {
    seed = seed * 1103515245u + 12345u;
    const uint32_t r = seed ^ (seed >> 15) * 0x9E3779B1u;
    x = limit == 0 ? r : r % limit;
  }
  return v;
}

std::vector<uint32_t> Palette(size_t n) {
  std::vector<uint32_t> p(n);
  for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint32_t>((i * 37) & 0xFF) << 16 | static_cast<uint32_t>((i * 91 + 5) & 0xFF) << 8 | ((i * 13 + 200) & 0xFF);
  return p;
}

TEST(ImageDecode, IndexedBmpsMatchSdlAndKeepTheirTables) {
  struct Case { uint32_t header; uint16_t bpp; uint32_t tableSize; uint32_t clrUsed; bool topDown; };
  const Case cases[] = {
      {40, 1, 2, 0, false}, {40, 4, 16, 0, false}, {40, 4, 5, 5, false}, {40, 8, 256, 0, false},
      {40, 8, 100, 100, true}, {108, 8, 256, 0, false}, {124, 4, 16, 0, true}, {12, 8, 256, 0, false},
      {12, 1, 2, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "header " << c.header << " bpp " << c.bpp << " table " << c.tableSize);
    // 13 wide: rows need padding, 1/4-bit rows end mid-byte.
    const Spec s{c.header, 13, 7, c.topDown, c.bpp, 0, c.clrUsed, Palette(c.tableSize)};
    const auto idx = Values(s.width, s.height, c.tableSize);
    const auto file = Build(s, idx, 0);
    ExpectSameAsSdl(file, true);
    const DecodedImage img = Decode(file);
    EXPECT_EQ(img.fileBitsPerPixel, c.bpp);
    EXPECT_EQ(img.palette, s.palette);
    EXPECT_EQ(std::vector<uint32_t>(img.indices.begin(), img.indices.end()), idx);
  }
}

TEST(ImageDecode, DirectColourBmpsMatchSdl) {
  struct Case { uint32_t header; uint16_t bpp; uint32_t compression; uint32_t masks[4]; bool topDown; bool alpha; };
  const Case cases[] = {
      {40, 16, 0, {0, 0, 0, 0}, false, false},                                      // 555
      {40, 16, 3, {0xF800, 0x07E0, 0x001F, 0}, false, false},                       // 565
      {56, 16, 3, {0x7C00, 0x03E0, 0x001F, 0x8000}, true, true},                    // 1555 with alpha
      {40, 24, 0, {0, 0, 0, 0}, true, false},
      {12, 24, 0, {0, 0, 0, 0}, false, false},
      {40, 32, 3, {0x00FF0000, 0x0000FF00, 0x000000FF, 0}, false, false},
      {124, 32, 3, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}, false, true},
      {108, 32, 3, {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000}, true, true},  // RGBA order
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "header " << c.header << " bpp " << c.bpp << " comp " << c.compression);
    Spec s{c.header, 11, 6, c.topDown, c.bpp, c.compression};
    std::copy(c.masks, c.masks + 4, s.masks);
    auto v = Values(s.width, s.height, c.bpp == 16 ? 0x10000u : 0u);
    if (c.bpp == 32 && !c.alpha) for (auto& x : v) x &= 0x00FFFFFF;  // X byte 0: opaque
    ExpectSameAsSdl(Build(s, v, 0), c.alpha, c.bpp == 16 ? 1 : 0);
  }
}

TEST(ImageDecode, KnownChannelExpansions) {
  Spec s{40, 3, 1, false, 16, 3, 0, {}, {0xF800, 0x07E0, 0x001F, 0}};
  // 16/32/16 widened by repeating the bits.
  EXPECT_EQ(Decode(Build(s, {0xF81F, 0x8410, 0x0821}, 0)).argb,
            (std::vector<uint32_t>{0xFFFF00FFu, 0xFF848284u, 0xFF080408u}));
  s.compression = 0;  // plain 16 bits: 555
  EXPECT_EQ(Decode(Build(s, {0x7FFF, 0x4210, 0x0001}, 0)).argb,
            (std::vector<uint32_t>{0xFFFFFFFFu, 0xFF848484u, 0xFF000008u}));
}

// RLE codes: runs, absolute runs (odd lengths, padding), deltas, end of
// line, end of bitmap. Pictures 8x4, stored bottom row first.
std::vector<uint8_t> Rle8Codes() {
  return {
      3, 9, 0, 3, 1, 2, 3, 0, 2, 7, 0, 0,  // bottom row: 9 9 9 1 2 3 7 7
      0, 2, 2, 0,                          // delta right 2 in the next row
      4, 5, 0, 0,                          // . . 5 5 5 5 (rest skipped)
      0, 4, 10, 11, 12, 13, 4, 14, 0, 0,   // 10 11 12 13 14 14 14 14
      8, 15, 0, 1};                        // top row: eight 15s, end
}
std::vector<uint8_t> Rle4Codes() {
  return {
      5, 0x12, 0, 3, 0x34, 0x50, 0, 0,  // bottom row: 1 2 1 2 1 3 4 5
      0, 2, 0, 1,                       // delta up one row: a row skipped
      8, 0xAB, 0, 0,                    // A B A B A B A B
      0, 2, 4, 0,                       // delta right 4 in the top row
      0, 3, 0xCD, 0xE0, 0, 1};          // C D E, end
}

TEST(ImageDecode, RleBmpsMatchSdlAndKnownIndices) {
  Spec s{40, 8, 4, false, 8, 1, 0, Palette(256)};
  auto file = Build(s, Rle8Codes());
  ExpectSameAsSdl(file, true);
  const std::vector<uint8_t> expected = {15, 15, 15, 15, 15, 15, 15, 15, 10, 11, 12, 13, 14, 14, 14, 14,
                                         0,  0,  5,  5,  5,  5,  0,  0,  9,  9,  9,  1,  2,  3,  7,  7};
  EXPECT_EQ(Decode(file).indices, expected);

  s.bpp = 4;
  s.compression = 2;
  s.palette = Palette(16);
  file = Build(s, Rle4Codes());
  ExpectSameAsSdl(file, true);
  const std::vector<uint8_t> expected4 = {0, 0, 0, 0, 12, 13, 14, 0, 10, 11, 10, 11, 10, 11, 10, 11,
                                          0, 0, 0, 0, 0,  0,  0,  0, 1,  2,  1,  2,  1,  3,  4,  5};
  EXPECT_EQ(Decode(file).indices, expected4);
}

void ExpectRefused(const std::vector<uint8_t>& file, const char* why) {
  DecodedImage img;
  std::string error;
  EXPECT_FALSE(DecodeImage(file.data(), file.size(), img, error)) << why;
  EXPECT_FALSE(error.empty()) << why;
}

TEST(ImageDecode, HostileBmpsFailCleanly) {
  const Spec s{40, 9, 5, false, 8, 0, 0, Palette(256)};
  const auto good = Build(s, Values(9, 5, 256), 0);

  // Every truncation of a valid file that cuts into the pixels or headers.
  for (size_t n = 0; n + 3 < good.size(); ++n) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(n));
    DecodedImage img;
    std::string error;
    EXPECT_FALSE(DecodeImage(cut.data(), cut.size(), img, error)) << "prefix " << n;
  }

  auto patched = [&](size_t offset, uint32_t value) {
    auto f = good;
    for (int i = 0; i < 4; ++i) f[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    return f;
  };
  ExpectRefused(patched(10, 0xFFFFFFF0u), "pixel offset past the end");
  ExpectRefused(patched(10, 20), "pixel offset inside the header");
  ExpectRefused(patched(18, 100000), "width beyond the largest side");
  ExpectRefused(patched(22, 0x80000000u), "height INT_MIN");
  ExpectRefused(patched(22, 0), "zero height");
  ExpectRefused(patched(18, 16000), "width the data cannot hold");
  ExpectRefused(patched(14, 41), "unknown header size");
  ExpectRefused(patched(14, 0xFFFFFFFFu), "header size beyond the file");
  ExpectRefused(patched(30, 7), "unknown compression");
  ExpectRefused(patched(28, 7), "7 bits per pixel");
  // A colour count far beyond the depth is clamped, not trusted.
  EXPECT_EQ(Decode(patched(46, 0x7FFFFFFFu)).palette.size(), 256u);
  // Bit fields that are not contiguous, or on an 8-bit file.
  Spec b{40, 2, 2, false, 16, 3, 0, {}, {0xF00F, 0x07E0, 0x0010, 0}};
  ExpectRefused(Build(b, Values(2, 2, 0xFFFF), 0), "split mask");
  b.bpp = 8;
  ExpectRefused(Build(b, std::vector<uint8_t>(8, 0)), "bit fields on 8 bits");
}

// Runs and deltas past the row's end are cut there; codes past the last row
// end the picture. Pictures 4 wide and 2 high, bottom row first in the codes.
TEST(ImageDecode, RleCutsAtTheRowsEnd) {
  struct Case {
    const char* what;
    bool four;
    std::vector<uint8_t> codes;
    std::vector<uint8_t> indices;  // rows from the top
  };
  const Case cases[] = {
      {"run longer than the row", false, {9, 1, 0, 0, 2, 3, 0, 1}, {3, 3, 0, 0, 1, 1, 1, 1}},
      {"runs adding up past the row", false, {3, 1, 3, 2, 0, 0, 0, 1}, {0, 0, 0, 0, 1, 1, 1, 2}},
      {"absolute run past the row", false, {0, 5, 1, 2, 3, 4, 5, 0, 0, 0, 0, 3, 6, 7, 8, 0, 0, 1},
       {6, 7, 8, 0, 1, 2, 3, 4}},
      {"RLE4 run past the row", true, {7, 0x12, 0, 0, 1, 0x30, 0, 1}, {3, 0, 0, 0, 1, 2, 1, 2}},
      {"RLE4 absolute past the row", true, {0, 6, 0x12, 0x34, 0x56, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 1, 2, 3, 4}},
      {"delta past the right edge", false, {2, 5, 0, 2, 9, 0, 3, 6, 0, 0, 1, 7, 0, 1}, {7, 0, 0, 0, 5, 5, 0, 0}},
      {"delta past the top", false, {1, 5, 0, 2, 0, 4, 1, 6, 0, 1}, {0, 0, 0, 0, 5, 0, 0, 0}},
      {"lines past the top, no end mark", false, {4, 1, 0, 0, 4, 2, 0, 0, 4, 3, 0, 0, 4, 4}, {2, 2, 2, 2, 1, 1, 1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Spec s{40, 4, 2, false, uint16_t(c.four ? 4 : 8), c.four ? 2u : 1u, 0, Palette(c.four ? 16 : 256)};
    EXPECT_EQ(Decode(Build(s, c.codes)).indices, c.indices);
  }
}

TEST(ImageDecode, HostileRleFailsCleanly) {
  Spec s{40, 8, 4, false, 8, 1, 0, Palette(256)};
  ExpectRefused(Build(s, std::vector<uint8_t>{0, 6, 1, 2}), "absolute run cut short");
  ExpectRefused(Build(s, std::vector<uint8_t>{2, 1, 0}), "codes cut short");
  ExpectRefused(Build(s, std::vector<uint8_t>{0, 2, 1}), "delta cut short");
  ExpectRefused(Build(s, std::vector<uint8_t>{8, 1, 0, 0}), "rows missing");
  // A picture of 16384 x 16384 from four bytes: refused before allocating.
  s.width = 16384;
  s.height = 16384;
  ExpectRefused(Build(s, std::vector<uint8_t>{0, 0, 0, 1}), "huge RLE picture from nothing");
  s.topDown = true;
  s.width = 4, s.height = 4;
  ExpectRefused(Build(s, std::vector<uint8_t>{0, 1}), "top-down RLE");
}

// ImageMagick's RLE8 bitmaps at widths 1 to 40: its runs go on through each
// row's padding. Each shows the seed's first columns, as SDL2_image reads it too.
TEST(ImageDecode, ImageMagickRle8AtEveryWidth) {
  int seedW = 0, seedH = 0;
  const auto seed = testbmp::Rle8Seed(seedW, seedH);
  ASSERT_EQ(seed.size(), 40u * 23u);
  const auto files = testbmp::ImageMagickRle8Files();
  ASSERT_EQ(files.size(), 40u);
  for (size_t n = 0; n < files.size(); ++n) {
    const auto& f = files[n];
    SCOPED_TRACE(testing::Message() << "width " << f.width);
    ASSERT_EQ(f.width, static_cast<int>(n + 1));
    std::vector<uint32_t> want;
    for (int y = 0; y < seedH; ++y)
      for (int x = 0; x < f.width; ++x) want.push_back(0xFF000000u | seed[static_cast<size_t>(y) * seedW + x]);
    const DecodedImage img = Decode(f.bytes);
    ASSERT_EQ(img.width, f.width);
    ASSERT_EQ(img.argb, want);
    ExpectSameAsSdl(f.bytes, true);
  }
}

// A paletted PNG as SDL2_image writes one; `claimedW`/`claimedH` patch the
// header's size (our checks run before any decoding, so its CRC is moot).
std::vector<uint8_t> PalettePng(int w, int h, const std::vector<uint32_t>& pal, const std::vector<uint8_t>& idx,
                                uint32_t claimedW = 0, uint32_t claimedH = 0) {
  SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, w, h, 8, SDL_PIXELFORMAT_INDEX8);
  for (size_t i = 0; i < pal.size(); ++i)
    s->format->palette->colors[i] = SDL_Color{uint8_t(pal[i] >> 16), uint8_t(pal[i] >> 8), uint8_t(pal[i]), 255};
  s->format->palette->ncolors = static_cast<int>(pal.size());
  for (int y = 0; y < h; ++y) std::memcpy(static_cast<uint8_t*>(s->pixels) + y * s->pitch, &idx[size_t(y) * w], size_t(w));
  std::vector<uint8_t> png(4096);
  SDL_RWops* rw = SDL_RWFromMem(png.data(), static_cast<int>(png.size()));
  IMG_SavePNG_RW(s, rw, 0);
  png.resize(static_cast<size_t>(SDL_RWtell(rw)));
  SDL_RWclose(rw);
  SDL_FreeSurface(s);
  for (int i = 0; i < 4; ++i) {
    if (claimedW) png[16 + i] = uint8_t(claimedW >> (24 - 8 * i));
    if (claimedH) png[20 + i] = uint8_t(claimedH >> (24 - 8 * i));
  }
  return png;
}

TEST(ImageDecode, PalettedPngKeepsPaletteAndIndices) {
  const std::vector<uint32_t> pal = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x123456};
  const std::vector<uint8_t> idx = {0, 1, 2, 3, 4, 4, 3, 2, 1, 0, 1, 1};
  const auto png = PalettePng(4, 3, pal, idx);
  const DecodedImage img = Decode(png);
  EXPECT_EQ(std::tuple(img.width, img.height, img.fileBitsPerPixel), std::tuple(4, 3, 8));
  EXPECT_EQ(img.palette, pal);
  EXPECT_EQ(img.indices, idx);
  EXPECT_EQ(img.argb[4], 0xFF123456u);

  ExpectRefused(PalettePng(4, 3, pal, idx, 16384, 16384), "PNG claiming a huge size");
  ExpectRefused(PalettePng(4, 3, pal, idx, 20000, 3), "PNG wider than the largest side");
  auto cut = png;
  cut.resize(cut.size() - 30);
  ExpectRefused(cut, "PNG cut inside its data");
}

TEST(ImageDecode, TrueColourPngThroughSdlImage) {
  SDL_Surface* src = SDL_CreateRGBSurfaceWithFormat(0, 16, 8, 32, SDL_PIXELFORMAT_ARGB8888);
  ASSERT_NE(src, nullptr);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x)
      static_cast<uint32_t*>(src->pixels)[y * src->pitch / 4 + x] = 0xFF000000u | (x * 16) << 16 | (y * 32) << 8 | 0x40;
  std::vector<uint8_t> bytes(1 << 16);
  SDL_RWops* rw = SDL_RWFromMem(bytes.data(), static_cast<int>(bytes.size()));
  ASSERT_EQ(IMG_SavePNG_RW(src, rw, 0), 0) << IMG_GetError();
  bytes.resize(static_cast<size_t>(SDL_RWtell(rw)));
  SDL_RWclose(rw);
  const DecodedImage img = Decode(bytes);
  EXPECT_TRUE(img.width == 16 && img.height == 8 && img.palette.empty());
  EXPECT_TRUE(std::equal(img.argb.begin(), img.argb.end(), static_cast<uint32_t*>(src->pixels)));
  SDL_FreeSurface(src);
}

TEST(ImageDecode, FilesThroughThePathLayer) {
  TempFolder dir("img");
  const auto file = testbmp::Rgb24(33, 17, Values(33, 17, 0x1000000));
  dir.Write("Bmp/Pic.BMP", std::string(file.begin(), file.end()));
  dir.Write("Bmp/cut.bmp", std::string(file.begin(), file.begin() + 200));  // pixels missing
  const std::string folder = dir.Path() + "\\bmp\\";  // Windows spelling, other case
  int w = 0, h = 0;
  EXPECT_TRUE(ReadImageSize(folder + "pic.bmp", w, h));
  EXPECT_EQ(w * 100 + h, 3317);
  DecodedImage img;
  std::string error;
  EXPECT_TRUE(LoadImageFile(folder + "pic.bmp", img, error)) << error;
  EXPECT_EQ(img.argb.size(), 33u * 17u);
  EXPECT_FALSE(LoadImageFile(folder + "none.bmp", img, error));
  EXPECT_FALSE(ReadImageSize(folder + "none.bmp", w, h));
  EXPECT_FALSE(ReadImageSize(folder + "cut.bmp", w, h));
}

// Pictures decoded ahead come out of LoadImageFile exactly as a plain read
// gives them, once each, and only while the file is the one that was read.
TEST(ImageDecode, PicturesDecodedAheadAreTheFilesAsTheyAreWhenTaken) {
  TempFolder dir("ahead");
  std::vector<uint32_t> palette(256);
  for (uint32_t i = 0; i < 256; ++i) palette[i] = i * 0x010203u;
  const auto indexed = testbmp::Indexed8(40, 30, palette, Values(40, 30, 256));
  const auto rgb = testbmp::Rgb24(21, 9, Values(21, 9, 0x1000000, 3));
  const auto rewritten = testbmp::Rgb24(22, 9, Values(22, 9, 0x1000000, 5));  // another size: another stamp
  dir.Write("a.bmp", std::string(indexed.begin(), indexed.end()));
  dir.Write("b.bmp", std::string(rgb.begin(), rgb.end()));
  dir.Write("c.bmp", std::string(rgb.begin(), rgb.end()));
  const std::string a = dir.Path() + "\\A.bmp", b = dir.Path() + "\\b.bmp", c = dir.Path() + "\\c.bmp";
  const std::string missing = dir.Path() + "\\none.bmp";
  auto expectSame = [](const DecodedImage& got, const DecodedImage& want) {
    EXPECT_EQ(std::tie(got.width, got.height, got.fileBitsPerPixel), std::tie(want.width, want.height, want.fileBitsPerPixel));
    EXPECT_EQ(got.argb, want.argb);
    EXPECT_EQ(got.indices, want.indices);
    EXPECT_EQ(got.palette, want.palette);
  };

  DecodeAhead({a, b, missing, c});
  dir.Write("b.bmp", std::string(rewritten.begin(), rewritten.end()));
  DecodedImage img;
  std::string error;
  for (int pass = 0; pass < 2; ++pass) {  // the second pass reads the files again
    ASSERT_TRUE(LoadImageFile(a, img, error)) << error;
    expectSame(img, Decode(indexed));
    ASSERT_TRUE(LoadImageFile(b, img, error)) << error;
    expectSame(img, Decode(rewritten));
    EXPECT_FALSE(LoadImageFile(missing, img, error));
    EXPECT_EQ(error, "cannot open file");
  }
  // Forgotten pictures (c was never taken) are read from the file.
  ForgetDecodedAhead();
  dir.Write("c.bmp", std::string(indexed.begin(), indexed.end()));
  ASSERT_TRUE(LoadImageFile(c, img, error)) << error;
  expectSame(img, Decode(indexed));
  // Asked for again after a forget, and forgotten while still queued.
  DecodeAhead({c, a, b});
  ForgetDecodedAhead();
  ASSERT_TRUE(LoadImageFile(c, img, error)) << error;
  expectSame(img, Decode(indexed));
}

}  // namespace
}  // namespace plat
