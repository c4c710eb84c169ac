// The software DirectDraw stand-in: blitter rules, surface loss, and its
// specialised loops (blits, fills, the frame conversion against the frame
// shown last) against the general road.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/soft_draw.h"
#include "soft_draw_fixture.h"

namespace plat {
namespace {

TEST_F(DrawFixture, KeyedAndOpaqueBltFastOverAPaddedPitch) {
  PixelImage::SetExtraPitchForTest(12);  // pitch != width × bytes
  DrawSurface *src, *dst;
  DirectDrawObject* dd = Open(16, 4, 4, MemoryPlace::Video, 6, 6, &src, &dst);
  EXPECT_GT(src->Image().Pitch(), 4 * 2);
  const uint32_t K = 0xF81F, C = 0x07E0, D = 0x1234;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src->Image().Set(x, y, ((x + y) & 1) ? K : C);
  src->SetColorKey(K);
  for (uint32_t flags : {0u, DDBLTFAST_SRCCOLORKEY}) {
    dst->Image().Fill(Rect{0, 0, 6, 6}, D);
    // Hangs off the right edge: the blitter cuts it.
    ASSERT_EQ(dst->BltFast(3, 1, src, Rect{0, 0, 4, 4}, flags | DDBLTFAST_WAIT), DD_OK);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 6; ++x) {
        uint32_t want = D;
        if (x >= 3 && y >= 1 && y < 5) {
          const uint32_t s = ((x - 3 + y - 1) & 1) ? K : C;
          want = (flags && s == K) ? D : s;
        }
        EXPECT_EQ(dst->Image().Get(x, y), want) << x << "," << y << " flags " << flags;
      }
  }
  src->Release(), dst->Release();
  EXPECT_EQ(dd->Release(), 0u);
}

TEST_F(DrawFixture, StretchReadsTruncatedFloatColumnsAndLossNeedsRestore) {
  DrawSurface *src, *dst;
  DirectDrawObject* dd = Open(8, 7, 1, MemoryPlace::Video, 10, 1, &src, &dst);
  for (int x = 0; x < 7; ++x) src->Image().Set(x, 0, static_cast<uint32_t>(x));
  const Rect d{0, 0, 10, 1}, s{0, 0, 7, 1};
  ASSERT_EQ(dst->Blt(&d, src, &s, DDBLT_WAIT), DD_OK);
  const uint32_t want[10] = {0, 0, 1, 2, 2, 3, 4, 4, 5, 6};
  for (int x = 0; x < 10; ++x) EXPECT_EQ(dst->Image().Get(x, 0), want[x]) << x;

  dd->SimulateSurfaceLoss();
  EXPECT_EQ(src->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(dst->IsLost(), DD_OK);  // system memory is never lost
  EXPECT_EQ(dst->Blt(&d, src, &s, DDBLT_WAIT), DDERR_SURFACELOST);
  uint8_t* bits;
  int pitch;
  EXPECT_EQ(src->Lock(bits, pitch), DDERR_SURFACELOST);
  EXPECT_EQ(src->Restore(), DD_OK);
  EXPECT_EQ(src->Image().Get(0, 0), 0xCDu);
  src->Release();
  EXPECT_EQ(dd->Release(), 1u);  // the surface still alive keeps it alive
  dst->Release();                // and its release finally frees it
}

// ---- the specialised loops against the general road ----

TEST_F(DrawFixture, BlitterLoopsMatchTheGeneralRoad) {
  PixelImage::SetExtraPitchForTest(12);
  for (auto [bits, use555] : {std::pair{8, false}, {16, false}, {16, true}, {32, false}}) {
    SCOPED_TRACE(testing::Message() << bits << " bits" << (use555 ? " 555" : ""));
    DrawFaultInjection().use555 = use555;
    DrawSurface *src, *dst;
    DirectDrawObject* dd = Open(bits, 10, 8, MemoryPlace::System, 24, 16, &src, &dst);
    Noise noise{static_cast<uint32_t>(bits)};
    const uint32_t mask = bits == 8 ? 0xFFu : bits == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    const uint32_t key = noise.Next() & mask;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 10; ++x) src->Image().Set(x, y, (noise.Next() % 3 == 0) ? key : noise.Next() & mask);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 24; ++x) dst->Image().Set(x, y, noise.Next() & mask);

    // The key as set and one wider than the pixel (which matches nothing).
    for (uint32_t setKey : {key, mask == 0xFFFFFFFFu ? key : mask + 1 + key}) {
      src->SetColorKey(setKey);
      struct { int x, y; Rect from; } fastCases[] = {
          {3, 2, {0, 0, 10, 8}},   {-5, -3, {0, 0, 10, 8}}, {20, 14, {0, 0, 10, 8}},
          {4, 4, {2, 1, 9, 7}},    {6, 1, {-2, -2, 5, 5}},  {-40, 0, {0, 0, 10, 8}},
      };
      for (const auto& c : fastCases)
        for (uint32_t flags : {0u, DDBLTFAST_SRCCOLORKEY}) {
          SCOPED_TRACE(testing::Message() << "BltFast " << c.x << "," << c.y << " flags " << flags << " key " << setKey);
          auto [fast, general] = BothRoads(dst->Image(), [&] { dst->BltFast(c.x, c.y, src, c.from, flags); });
          EXPECT_EQ(fast, general);
        }
      struct { Rect to, from; bool self; } scaledCases[] = {
          {{0, 0, 24, 16}, {0, 0, 10, 8}, false},  {{5, 3, 12, 9}, {0, 0, 10, 8}, false},
          {{-4, -3, 30, 20}, {1, 1, 7, 6}, false}, {{2, 2, 12, 10}, {0, 0, 10, 8}, false},
          {{1, 1, 22, 3}, {0, 2, 10, 4}, false},   {{3, 1, 19, 15}, {0, 0, 13, 11}, true},
          {{0, 0, 7, 5}, {4, 2, 20, 14}, true},
      };
      for (const auto& c : scaledCases)
        for (uint32_t flags : {0u, DDBLT_KEYSRC}) {
          SCOPED_TRACE(testing::Message() << "Blt to " << c.to.left << "," << c.to.top << " self " << c.self
                                          << " flags " << flags << " key " << setKey);
          if (c.self) dst->SetColorKey(setKey);
          DrawSurface* from = c.self ? dst : src;
          auto [fast, general] = BothRoads(dst->Image(), [&] { dst->Blt(&c.to, from, &c.from, flags | DDBLT_WAIT); });
          EXPECT_EQ(fast, general);
        }
    }
    src->Release(), dst->Release();
    EXPECT_EQ(dd->Release(), 0u);
  }
}

// The keyed copy's vector loops (AVX2, AVX-512 where the processor has
// them) against the general road, pixel for pixel: widths around every
// step size of each pixel width, blits cut at either side, a key wider than
// the pixel (matches nothing), runs of keyed and unkeyed pixels.
TEST_F(DrawFixture, KeyedBlitsOfEveryVectorLevelMatchTheGeneralRoad) {
  PixelImage::SetExtraPitchForTest(12);
  for (int bits : {8, 16, 32}) {
    DrawSurface *src, *dst;
    DirectDrawObject* dd = Open(bits, 140, 5, MemoryPlace::System, 150, 9, &src, &dst);
    Noise noise{static_cast<uint32_t>(bits) * 31};
    const uint32_t mask = bits == 8 ? 0xFFu : bits == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    const uint32_t key = noise.Next() & mask;
    // Runs of 0..9 keyed or unkeyed pixels, so that masks start and end anywhere.
    for (int y = 0; y < 5; ++y) {
      bool keyed = (y & 1) != 0;
      for (int x = 0; x < 140;) {
        for (int n = static_cast<int>(noise.Next() % 10); n > 0 && x < 140; --n, ++x) {
          uint32_t v = noise.Next() & mask;
          if (v == key) v ^= 1;
          src->Image().Set(x, y, keyed ? key : v);
        }
        keyed = !keyed;
      }
    }
    noise.Fill(dst->Image());
    struct { int width, x, y; } cases[] = {
        {1, 0, 0},    {3, 7, 2},    {4, 1, 1},    {7, 3, 3},      {8, 0, 4},     {9, 5, 0},
        {15, 2, 2},   {16, 9, 1},   {17, 0, 0},   {31, 4, 3},     {32, 1, 5},    {33, 6, 0},
        {63, 0, 2},   {64, 11, 1},  {65, 3, 4},   {100, 20, 0},   {129, 2, 2},   {140, 0, 1},
        {33, -5, 1},  {64, -63, 0}, {20, 137, 3}, {65, 120, -2},  {140, 13, 6},  {17, 149, 0},
    };
    for (uint32_t setKey : {key, mask == 0xFFFFFFFFu ? key : mask + 1 + key}) {
      src->SetColorKey(setKey);
      for (const auto& c : cases) {
        const Rect from{1, 0, 1 + std::min(c.width, 139), 5};
        const std::vector<uint8_t> start = Bytes(dst->Image());
        SetDrawFastPaths(false);
        dst->BltFast(c.x, c.y, src, from, DDBLTFAST_SRCCOLORKEY);
        SetDrawFastPaths(true);
        const std::vector<uint8_t> general = Bytes(dst->Image());
        for (int level = 0; level <= 2; ++level) {
          SetDrawVectorLimit(level);
          if (DrawVectorLevel() != level) break;  // the processor lacks it
          SCOPED_TRACE(testing::Message() << bits << " bits, level " << level << ", " << c.width << " wide at " << c.x
                                          << "," << c.y << " key " << setKey);
          PutBytes(dst->Image(), start);
          dst->BltFast(c.x, c.y, src, from, DDBLTFAST_SRCCOLORKEY);
          EXPECT_EQ(Bytes(dst->Image()), general);
        }
        SetDrawVectorLimit(2);
        PutBytes(dst->Image(), start);
      }
    }
    src->Release(), dst->Release();
    EXPECT_EQ(dd->Release(), 0u);
  }
}

TEST_F(DrawFixture, FillsAndFrameConversionMatchTheGeneralRoad) {
  PixelImage::SetExtraPitchForTest(8);
  const PixelFormat formats[] = {FormatIndexed8(), FormatR5G6B5(), FormatX1R5G5B5(), FormatA1R5G5B5(),
                                 FormatX8R8G8B8(), FormatA8R8G8B8()};
  Noise noise{7};
  PaletteEntry palette[256];
  for (PaletteEntry& e : palette)
    e = PaletteEntry{uint8_t(noise.Next()), uint8_t(noise.Next()), uint8_t(noise.Next()), uint8_t(noise.Next())};
  for (const PixelFormat& f : formats) {
    SCOPED_TRACE(testing::Message() << f.bitsPerPixel << " bits, red mask " << f.redMask);
    PixelImage image;
    ASSERT_TRUE(image.Allocate(30, 20, f));
    noise.Fill(image);
    const Rect rects[] = {{-3, -3, 5, 5}, {2, 1, 29, 19}, {20, 10, 40, 40}, {0, 0, 30, 20}, {5, 5, 5, 9}, {31, 0, 40, 5}};
    for (const Rect& r : rects) {
      const uint32_t value = noise.Next();  // wider than the pixel: its low bytes count
      auto [fast, general] = BothRoads(image, [&] { image.Fill(r, value); });
      EXPECT_EQ(fast, general) << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    }
    // Frames from pictures smaller and larger than the screen; the frame
    // first holds garbage so that the parts left black are checked too.
    for (auto [w, h] : {std::pair{30, 20}, std::pair{700, 500}, std::pair{641, 3}}) {
      PixelImage picture;
      ASSERT_TRUE(picture.Allocate(w, h, f));
      noise.Fill(picture);
      for (const PaletteEntry* pal : {static_cast<const PaletteEntry*>(palette), static_cast<const PaletteEntry*>(nullptr)}) {
        Frame fast, general;
        auto convertGenerally = [&] { SetDrawFastPaths(false), ImageToFrame(picture, pal, general), SetDrawFastPaths(true); };
        fast.pixels.assign(static_cast<size_t>(kScreenWidth) * kScreenHeight, 0x12345678u);
        EXPECT_TRUE(ImageToFrame(picture, pal, fast));
        convertGenerally();
        EXPECT_TRUE(fast.pixels == general.pixels) << w << " x " << h;
        EXPECT_EQ(fast.width, kScreenWidth);
        // The same picture again leaves the frame as it is and says so (the
        // screen then skips it); one dot changed on the last row shown is
        // seen, unless it looks the same (8 bits without a palette).
        EXPECT_FALSE(ImageToFrame(picture, pal, fast));
        const Frame before = fast;
        const int x = std::min(w, kScreenWidth) - 1, y = std::min(h, kScreenHeight) - 1;
        picture.Set(x, y, picture.Get(x, y) ^ 1);
        convertGenerally();
        EXPECT_EQ(ImageToFrame(picture, pal, fast), general.pixels != before.pixels);
        EXPECT_TRUE(fast.pixels == general.pixels) << w << " x " << h << " after one dot";
      }
    }
  }
}

// Converting against the frame shown last: the answer is whether the
// picture differs from the shown one, the rows that differ are noted as
// changed in the new picture, and the frame ends up holding the picture,
// its rows written only where it does not hold them already (rows it holds
// by what it is told are left alone, so garbage there shows that they were
// not written), on both roads.
TEST_F(DrawFixture, FrameConversionAgainstTheShownFrame) {
  Noise noise{11};
  PaletteEntry palette[256];
  for (PaletteEntry& e : palette) e = PaletteEntry{uint8_t(noise.Next()), uint8_t(noise.Next()), uint8_t(noise.Next()), 0};
  constexpr uint32_t kGarbage = 0xDEADBEEFu;
  for (const PixelFormat& f : {FormatIndexed8(), FormatR5G6B5(), FormatX8R8G8B8()}) {
    PixelImage picture;
    ASSERT_TRUE(picture.Allocate(kScreenWidth, kScreenHeight - 10, f));
    noise.Fill(picture);
    Frame shown;
    ASSERT_TRUE(ImageToFrame(picture, palette, shown));
    struct Case {
      const char* name;
      int changedRow;  // -1: the picture stays the shown one
      uint64_t held;   // what the frame holds: 0 unknown, 7 the shown picture (rows changed at 7 or before)
      int staleRow;    // a row changed after the picture the frame holds (-1: none)
      bool inPlace;    // the frame is the shown frame's own buffer
      bool fast;
    };
    const Case cases[] = {
        {"same, unknown buffer", -1, 0, -1, false, true},   {"row 200, unknown buffer", 200, 0, -1, false, true},
        {"same, held buffer", -1, 7, -1, false, true},      {"row 0, held buffer", 0, 7, -1, false, true},
        {"last row, held buffer", kScreenHeight - 11, 7, -1, false, true},
        {"same, row 50 stale", -1, 7, 50, false, true},     {"row 200, row 50 stale", 200, 7, 50, false, true},
        {"same, in place", -1, 0, -1, true, true},          {"row 200, in place", 200, 0, -1, true, true},
        {"same, general road", -1, 0, -1, false, false},    {"row 200, general road", 200, 0, -1, false, false}};
    // The vector levels of the row comparison, and a change early, at a
    // step's edge and at the row's last pixel.
    for (int level = 0; level <= DrawVectorLevelLimit(); ++level)
    for (int changedColumn : {5, 16, kScreenWidth - 1})
    for (const Case& c : cases) {
      SetDrawVectorLimit(level);
      SCOPED_TRACE(testing::Message() << f.bitsPerPixel << " bits, " << c.name << ", level " << level << ", column "
                                      << changedColumn);
      PixelImage changed = picture;
      if (c.changedRow >= 0)
        changed.Set(changedColumn, c.changedRow, changed.Get(changedColumn, c.changedRow) ^ 0x3);
      Frame expected;
      ImageToFrame(changed, palette, expected);
      std::array<uint64_t, kScreenHeight> rowChanged;
      rowChanged.fill(3);
      if (c.staleRow >= 0) rowChanged[static_cast<size_t>(c.staleRow)] = 8;
      Frame own = shown;  // a copy: `shown` itself stays the reference
      Frame other;
      other.pixels.assign(static_cast<size_t>(kScreenWidth) * kScreenHeight, kGarbage);
      Frame& frame = c.inPlace ? own : other;
      ShownFrame view{c.inPlace ? own.pixels.data() : shown.pixels.data(), rowChanged.data(), c.held, 9};
      SetDrawFastPaths(c.fast);
      const bool differs = ImageToFrame(changed, palette, frame, &view);
      SetDrawFastPaths(true);
      SetDrawVectorLimit(2);
      EXPECT_EQ(differs, c.changedRow >= 0);
      for (int y = 0; y < kScreenHeight; ++y) {
        const uint64_t want = y == c.changedRow ? 9 : y == c.staleRow ? 8 : 3;
        ASSERT_EQ(rowChanged[static_cast<size_t>(y)], want) << "row " << y;
        const bool trusted = c.fast && !c.inPlace && c.held != 0 && y != c.changedRow && y != c.staleRow;
        const uint32_t* row = frame.pixels.data() + static_cast<size_t>(y) * kScreenWidth;
        const uint32_t* wantRow = expected.pixels.data() + static_cast<size_t>(y) * kScreenWidth;
        if (trusted)
          ASSERT_EQ(row[0], kGarbage) << "row " << y << " was written though the frame held it";
        else
          ASSERT_TRUE(std::equal(row, row + kScreenWidth, wantRow)) << "row " << y;
      }
    }
  }
}

// 32-bit pictures of awkward widths against a shown frame, converted at
// every vector level and by the general road: the same frame, the same
// answer and the same rows marked changed, whether the picture equals the
// shown one, differs at one column, or the shown frame holds something
// right of a narrower picture; and the same when told in which columns of
// its rows the picture may differ.
TEST_F(DrawFixture, ThirtyTwoBitRowsComparedAtEveryVectorLevel) {
  Noise noise{23};
  for (int width : {1, 7, 8, 9, 15, 16, 17, 31, 33, 100, kScreenWidth - 1, kScreenWidth}) {
    PixelImage picture;
    ASSERT_TRUE(picture.Allocate(width, 3, FormatX8R8G8B8()));
    noise.Fill(picture);
    Frame same, wider;
    ImageToFrame(picture, nullptr, same);
    PixelImage full;
    ASSERT_TRUE(full.Allocate(kScreenWidth, 3, FormatX8R8G8B8()));
    noise.Fill(full);
    ImageToFrame(full, nullptr, wider);
    struct Case {
      const Frame* shown;
      int changedColumn;  // -1: none
    };
    const Case cases[] = {{&same, -1}, {&same, 0}, {&same, width / 2}, {&same, width - 1}, {&wider, -1}};
    for (const Case& c : cases)
      for (int level = -1; level <= DrawVectorLevelLimit(); ++level)  // -1: the general road
      for (bool columns : {false, true}) {
        // Told where the picture may differ: every row of it, in a few
        // columns around the change (a third of the row elsewhere).
        if (columns && c.shown != &same) continue;
        SCOPED_TRACE(testing::Message() << width << " wide, shown " << (c.shown == &same ? "same" : "wider")
                                        << ", column " << c.changedColumn << ", level " << level
                                        << (columns ? ", columns told" : ""));
        FrameChanges known{};
        for (int y = 0; y < 3; ++y) {
          known.rows.set(static_cast<size_t>(y));
          const int at = y == 1 && c.changedColumn >= 0 ? c.changedColumn : width / 3;
          known.columns[static_cast<size_t>(y)] = {static_cast<int16_t>(std::max(at - 3, 0)),
                                                   static_cast<int16_t>(std::min(at + 4, width))};
        }
        PixelImage changed = picture;
        if (c.changedColumn >= 0) changed.Set(c.changedColumn, 1, changed.Get(c.changedColumn, 1) ^ 0x10);
        Frame expected;
        ImageToFrame(changed, nullptr, expected);
        std::array<uint64_t, kScreenHeight> rowChanged;
        rowChanged.fill(3);
        Frame frame;
        frame.pixels.assign(static_cast<size_t>(kScreenWidth) * kScreenHeight, 0xDEADBEEFu);
        ShownFrame view{c.shown->pixels.data(), rowChanged.data(), 0, 9, columns ? &known : nullptr};
        SetDrawFastPaths(level >= 0);
        SetDrawVectorLimit(std::max(level, 0));
        const bool differs = ImageToFrame(changed, nullptr, frame, &view);
        SetDrawFastPaths(true);
        SetDrawVectorLimit(2);
        EXPECT_EQ(differs, c.changedColumn >= 0 || c.shown == &wider);
        EXPECT_EQ(frame.pixels, expected.pixels);
        for (int y = 0; y < kScreenHeight; ++y) {
          const bool rowDiffers = (c.shown == &wider && y < 3) || (c.changedColumn >= 0 && y == 1);
          ASSERT_EQ(rowChanged[static_cast<size_t>(y)], rowDiffers ? 9u : 3u) << "row " << y;
        }
      }
  }
}

}  // namespace
}  // namespace plat
