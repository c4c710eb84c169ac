// The frame the window shows: a surface's pixels turned into the 640×480
// ARGB frame (only the rows that changed since the picture shown last),
// the drawing thread's presenter that hands frames to the window host, and
// the emulated vertical blank.
#include "platform/soft_draw.h"

#include <algorithm>
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif
#include <atomic>
#include <bitset>
#include <cstring>

#include "platform/clock.h"
#include "platform/raw_pixels.h"

namespace plat {
namespace {

std::atomic<bool> g_vblankWait{true};

}  // namespace

uint32_t PixelToArgb(const PixelFormat& f, uint32_t pixel, const PaletteEntry* palette) {
  if (f.bitsPerPixel == 8) {
    if (!palette) return 0xFF000000u;
    const PaletteEntry& e = palette[pixel & 0xFF];
    return 0xFF000000u | (uint32_t{e.peRed} << 16) | (uint32_t{e.peGreen} << 8) | e.peBlue;
  }
  auto widen = [pixel](uint32_t mask) -> uint32_t {
    const uint32_t max = MaskMax(mask);
    if (max == 0) return 0;
    const uint32_t c = (pixel & mask) >> MaskShift(mask);
    return (c * 255 + max / 2) / max;
  };
  return 0xFF000000u | (widen(f.redMask) << 16) | (widen(f.greenMask) << 8) | widen(f.blueMask);
}

namespace {

// The general conversion: pixel by pixel through PixelToArgb.
void ImageToFrameGeneral(const PixelImage& image, const PaletteEntry* palette, Frame& frame) {
  frame.pixels.assign(static_cast<size_t>(kScreenWidth) * kScreenHeight, 0xFF000000u);
  const int w = std::min(image.Width(), kScreenWidth);
  const int h = std::min(image.Height(), kScreenHeight);
  const PixelFormat& f = image.Format();
  for (int y = 0; y < h; ++y) {
    uint32_t* out = frame.pixels.data() + static_cast<size_t>(y) * kScreenWidth;
    if (f.bitsPerPixel == 32) {
      const uint8_t* row = image.Row(y);
      for (int x = 0; x < w; ++x) {
        uint32_t v;
        std::memcpy(&v, row + x * 4, 4);
        out[x] = 0xFF000000u | (v & 0x00FFFFFFu);
      }
    } else {
      for (int x = 0; x < w; ++x) out[x] = PixelToArgb(f, image.Get(x, y), palette);
    }
  }
}

// Widening table of one channel mask: entry c is PixelToArgb's c × 255 / max
// rounded, already shifted to its place in 0xAARRGGBB. False when the
// channel is too wide for a table.
bool ChannelTable(uint32_t mask, int place, std::vector<uint32_t>& table) {
  const uint32_t max = MaskMax(mask);
  if (max > 0xFFFF) return false;
  table.resize(static_cast<size_t>(max) + 1);
  for (uint32_t c = 0; c <= max; ++c) table[c] = max == 0 ? 0 : ((c * 255 + max / 2) / max) << place;
  return true;
}

// The rounded widening c × 255 / max + ½ of PixelToArgb for 5 and 6 bits,
// by multiplication and shift (checked against the division below), so
// that a row of 16-bit pixels converts in vector steps.
constexpr uint32_t WidenRounded5(uint32_t c) { return (c * 527u + 23u) >> 6; }
constexpr uint32_t WidenRounded6(uint32_t c) { return (c * 259u + 33u) >> 6; }
constexpr bool WideningHolds() {
  for (uint32_t c = 0; c < 32; ++c)
    if (WidenRounded5(c) != (c * 255 + 15) / 31) return false;
  for (uint32_t c = 0; c < 64; ++c)
    if (WidenRounded6(c) != (c * 255 + 31) / 63) return false;
  return true;
}
static_assert(WideningHolds());

// A row of R5G6B5 (six-bit green) or x1R5G5B5 pixels as frame colours.
void Row16ToFramePlain(const uint8_t* row, int count, bool sixBitGreen, uint32_t* out) {
  for (int x = 0; x < count; ++x) {
    const uint32_t p = LoadRaw<uint16_t>(row + static_cast<size_t>(x) * 2);
    out[x] = sixBitGreen ? 0xFF000000u | WidenRounded5(p >> 11) << 16 | WidenRounded6((p >> 5) & 63) << 8 |
                               WidenRounded5(p & 31)
                         : 0xFF000000u | WidenRounded5((p >> 10) & 31) << 16 | WidenRounded5((p >> 5) & 31) << 8 |
                               WidenRounded5(p & 31);
  }
}

#if defined(__GNUC__) && defined(__x86_64__)
// Sixteen pixels a step in 16-bit lanes (every product stays below 2^16):
// blue and green, and red with the opaque alpha, made into 16-bit halves
// and interleaved into the frame's 32-bit colours.
__attribute__((target("avx2"))) void Row16ToFrameWide(const uint8_t* row, int count, bool sixBitGreen, uint32_t* out) {
  const __m256i five = _mm256_set1_epi16(31), six = _mm256_set1_epi16(63);
  const __m256i m5 = _mm256_set1_epi16(527), a5 = _mm256_set1_epi16(23), m6 = _mm256_set1_epi16(259), a6 = _mm256_set1_epi16(33);
  const __m256i alpha = _mm256_set1_epi16(static_cast<short>(0xFF00));
  int x = 0;
  for (; x + 16 <= count; x += 16) {
    const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + static_cast<size_t>(x) * 2));
    const __m256i r = _mm256_and_si256(_mm256_srli_epi16(p, sixBitGreen ? 11 : 10), five);
    const __m256i g = _mm256_and_si256(_mm256_srli_epi16(p, 5), sixBitGreen ? six : five);
    const __m256i b = _mm256_and_si256(p, five);
    auto widen5 = [&](__m256i c) __attribute__((target("avx2"), always_inline)) {
      return _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(c, m5), a5), 6);
    };
    const __m256i gw = sixBitGreen ? _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(g, m6), a6), 6) : widen5(g);
    const __m256i bg = _mm256_or_si256(widen5(b), _mm256_slli_epi16(gw, 8));
    const __m256i ra = _mm256_or_si256(widen5(r), alpha);
    const __m256i lo = _mm256_unpacklo_epi16(bg, ra), hi = _mm256_unpackhi_epi16(bg, ra);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_permute2x128_si256(lo, hi, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x + 8), _mm256_permute2x128_si256(lo, hi, 0x31));
  }
  Row16ToFramePlain(row + static_cast<size_t>(x) * 2, count - x, sixBitGreen, out + x);
}
const bool g_wideFrame = __builtin_cpu_supports("avx2");
#else
void Row16ToFrameWide(const uint8_t* row, int count, bool sixBitGreen, uint32_t* out) {
  Row16ToFramePlain(row, count, sixBitGreen, out);
}
const bool g_wideFrame = false;
#endif

// A row of palette numbers through the colour table.
void Row8ToFramePlain(const uint8_t* row, int count, const uint32_t* colours, uint32_t* out) {
  for (int x = 0; x < count; ++x) out[x] = colours[row[x]];
}

#if defined(__GNUC__) && defined(__x86_64__)
// Eight lookups a step by one gather from the table.
__attribute__((target("avx2"))) void Row8ToFrameWide(const uint8_t* row, int count, const uint32_t* colours,
                                                     uint32_t* out) {
  const int* table = reinterpret_cast<const int*>(colours);
  int x = 0;
  for (; x + 8 <= count; x += 8) {
    const __m256i index = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + x)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_i32gather_epi32(table, index, 4));
  }
  Row8ToFramePlain(row + x, count - x, colours, out + x);
}
#else
void Row8ToFrameWide(const uint8_t* row, int count, const uint32_t* colours, uint32_t* out) {
  Row8ToFramePlain(row, count, colours, out);
}
#endif

// A row of 32-bit pixels against the shown frame's row: true when, made
// opaque, it differs from `seen`; then (only then) `out` gets the converted
// row. `out` may be `seen` itself (the comparison is over before it is
// written). An unchanged row costs reading both and writing nothing.
void Row32ConvertPlain(const uint8_t* row, int count, uint32_t* out) {
  for (int x = 0; x < count; ++x) out[x] = 0xFF000000u | LoadRaw<uint32_t>(row + static_cast<size_t>(x) * 4);
}

bool Row32ComparedPlain(const uint8_t* row, int count, const uint32_t* seen, uint32_t* out) {
  for (int x = 0; x < count; ++x)
    if ((0xFF000000u | LoadRaw<uint32_t>(row + static_cast<size_t>(x) * 4)) != seen[x]) {
      Row32ConvertPlain(row, count, out);
      return true;
    }
  return false;
}

#if defined(__GNUC__) && defined(__x86_64__)
// Eight pixels a step; the last step ends at the row's end, overlapping the
// one before (rows of fewer than eight take the plain loop).
__attribute__((target("avx2"))) bool Row32ComparedWide(const uint8_t* row, int count, const uint32_t* seen,
                                                       uint32_t* out) {
  if (count < 8) return Row32ComparedPlain(row, count, seen, out);
  const __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  auto load = [&](int x) __attribute__((target("avx2"), always_inline)) {
    return _mm256_or_si256(alpha, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + static_cast<size_t>(x) * 4)));
  };
  auto differs = [&](int x) __attribute__((target("avx2"), always_inline)) {
    const __m256i d = _mm256_xor_si256(load(x), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(seen + x)));
    return !_mm256_testz_si256(d, d);
  };
  bool any = false;
  int x = 0;
  for (; x + 8 <= count && !any; x += 8) any = differs(x);
  if (!any && x < count) any = differs(count - 8);
  if (!any) return false;
  for (x = 0; x + 8 <= count; x += 8) _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), load(x));
  if (x < count) _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + count - 8), load(count - 8));
  return true;
}

// Sixteen pixels a step; a row's last pixels take a shorter mask.
__attribute__((target("avx512f"))) bool Row32ComparedMasked(const uint8_t* row, int count, const uint32_t* seen,
                                                            uint32_t* out) {
  const __m512i alpha = _mm512_set1_epi32(static_cast<int>(0xFF000000u));
  auto mask = [count](int x) { return static_cast<__mmask16>(count - x >= 16 ? 0xFFFFu : (1u << (count - x)) - 1u); };
  auto load = [&](int x) __attribute__((target("avx512f"), always_inline)) {
    return _mm512_or_si512(alpha, _mm512_maskz_loadu_epi32(mask(x), row + static_cast<size_t>(x) * 4));
  };
  bool any = false;
  for (int x = 0; x < count && !any; x += 16)
    any = _mm512_mask_cmpneq_epi32_mask(mask(x), load(x), _mm512_maskz_loadu_epi32(mask(x), seen + x)) != 0;
  if (!any) return false;
  for (int x = 0; x < count; x += 16) _mm512_mask_storeu_epi32(out + x, mask(x), load(x));
  return true;
}
#endif

bool Row32Compared(const uint8_t* row, int count, const uint32_t* seen, uint32_t* out) {
#if defined(__GNUC__) && defined(__x86_64__)
  switch (DrawVectorLevel()) {
    case 2: return Row32ComparedMasked(row, count, seen, out);
    case 1: return Row32ComparedWide(row, count, seen, out);
    default: break;
  }
#endif
  return Row32ComparedPlain(row, count, seen, out);
}

void Row8ToFrame(const uint8_t* row, int count, const uint32_t* colours, uint32_t* out) {
  (g_wideFrame ? Row8ToFrameWide : Row8ToFramePlain)(row, count, colours, out);
}

void Row16ToFrame(const uint8_t* row, int count, bool sixBitGreen, uint32_t* out) {
  (g_wideFrame ? Row16ToFrameWide : Row16ToFramePlain)(row, count, sixBitGreen, out);
}

}  // namespace

bool ImageToFrame(const PixelImage& image, const PaletteEntry* palette, Frame& frame, ShownFrame* shownFrame) {
  const size_t pixels = static_cast<size_t>(kScreenWidth) * kScreenHeight;
  const uint32_t* shown = shownFrame != nullptr ? shownFrame->pixels : nullptr;
  // The frame's rows that hold the shown picture already: all of them when
  // the frame is the shown one, else those unchanged since the picture the
  // frame holds (none when that is not known).
  const bool inPlace = shown != nullptr && frame.pixels.size() == pixels && frame.pixels.data() == shown;
  const uint64_t held = shown == nullptr || frame.pixels.size() != pixels ? 0 : inPlace ? UINT64_MAX : shownFrame->held;
  auto holdsShownRow = [&](int y) { return held != 0 && shownFrame->rowChanged[y] <= held; };
  frame.width = kScreenWidth;
  frame.height = kScreenHeight;
  const PixelFormat& f = image.Format();
  // 16-bit colours go through one table of every value, kept per thread
  // for the format it was made for.
  thread_local PixelFormat tableFormat{0, 0, 0, 0, 0};
  thread_local std::vector<uint32_t> colours16;
  // The two 16-bit layouts of the displays and textures convert by
  // arithmetic instead (any alpha bit is left out either way).
  const bool rgb565 = f.bitsPerPixel == 16 && f.redMask == 0xF800 && f.greenMask == 0x07E0 && f.blueMask == 0x1F;
  const bool rgb555 = f.bitsPerPixel == 16 && f.redMask == 0x7C00 && f.greenMask == 0x03E0 && f.blueMask == 0x1F;
  if (f.bitsPerPixel == 16 && !rgb565 && !rgb555 && !(tableFormat == f)) {
    std::vector<uint32_t> red, green, blue;
    if (ChannelTable(f.redMask, 16, red) && ChannelTable(f.greenMask, 8, green) && ChannelTable(f.blueMask, 0, blue)) {
      const int rs = MaskShift(f.redMask), gs = MaskShift(f.greenMask), bs = MaskShift(f.blueMask);
      colours16.resize(65536);
      for (uint32_t p = 0; p < 65536; ++p)
        colours16[p] = 0xFF000000u | red[(p & f.redMask) >> rs] | green[(p & f.greenMask) >> gs] |
                       blue[(p & f.blueMask) >> bs];
      tableFormat = f;
    } else {
      tableFormat = PixelFormat{0, 0, 0, 0, 0};
    }
  }
  const bool tables = f.bitsPerPixel != 16 || rgb565 || rgb555 || tableFormat == f;
  if (!DrawFastPaths() || !tables) {
    if (shown == nullptr) {
      ImageToFrameGeneral(image, palette, frame);
      return true;
    }
    Frame converted;
    ImageToFrameGeneral(image, palette, converted);
    bool differs = false;
    for (int y = 0; y < kScreenHeight; ++y) {
      const size_t at = static_cast<size_t>(y) * kScreenWidth;
      if (!std::equal(converted.pixels.begin() + at, converted.pixels.begin() + at + kScreenWidth, shown + at)) {
        shownFrame->rowChanged[y] = shownFrame->next;
        differs = true;
      }
    }
    frame.pixels = std::move(converted.pixels);
    return differs;
  }
  // Row by row through a row buffer that stays in the first-level cache; a
  // frame row is written only where it differs (a still picture costs reads
  // only). What the image does not cover is black.
  //
  // Against the picture shown: each row is compared with the shown one; a
  // row that differs is written (and noted as changed), a row that does not
  // is copied from the shown frame only where the frame does not hold it
  // already. A picture equal to the shown one writes nothing into a frame
  // that holds it.
  bool changed = frame.pixels.size() != pixels;
  frame.pixels.resize(pixels);
  bool differs = false;
  const int w = std::min(image.Width(), kScreenWidth);
  const int h = std::min(image.Height(), kScreenHeight);
  uint32_t colours[256];
  if (f.bitsPerPixel == 8)
    for (uint32_t i = 0; i < 256; ++i) colours[i] = PixelToArgb(f, i, palette);
  const uint32_t* to16 = colours16.data();
  uint32_t line[kScreenWidth];
  std::fill(line + w, line + kScreenWidth, 0xFF000000u);
  for (int y = 0; y < kScreenHeight; ++y) {
    const FrameChanges* const known = shownFrame != nullptr ? shownFrame->mayDiffer : nullptr;
    if (shown != nullptr && y < h && known != nullptr && !known->rows[static_cast<size_t>(y)]) {
      // A row known to hold the shown picture's pixels still.
      if (!holdsShownRow(y)) std::memcpy(frame.pixels.data() + static_cast<size_t>(y) * kScreenWidth,
                                         shown + static_cast<size_t>(y) * kScreenWidth, sizeof line);
      continue;
    }
    if (shown != nullptr && y < h && f.bitsPerPixel == 32) {
      // A 32-bit row is compared as it is converted, without the row
      // buffer; the frame's columns right of the image are black.
      // Where known, only the columns that may differ are compared.
      const uint32_t* seen = shown + static_cast<size_t>(y) * kScreenWidth;
      uint32_t* out = frame.pixels.data() + static_cast<size_t>(y) * kScreenWidth;
      int from = 0, to = w;
      if (known != nullptr) {
        const FrameChanges::Columns& c = known->columns[static_cast<size_t>(y)];
        from = std::clamp<int>(c.left, 0, w);
        to = std::clamp<int>(c.right, from, w);
      }
      const bool rowDiffers = Row32Compared(image.Row(y) + static_cast<size_t>(from) * 4, to - from, seen + from, out + from);
      const bool restDiffers = std::any_of(seen + w, seen + kScreenWidth, [](uint32_t p) { return p != 0xFF000000u; });
      if (rowDiffers || restDiffers) {
        if (!rowDiffers) {
          Row32ConvertPlain(image.Row(y), w, out);
        } else if ((from > 0 || to < w) && !holdsShownRow(y)) {
          Row32ConvertPlain(image.Row(y), from, out);
          Row32ConvertPlain(image.Row(y) + static_cast<size_t>(to) * 4, w - to, out + to);
        }
        std::fill(out + w, out + kScreenWidth, 0xFF000000u);
        shownFrame->rowChanged[y] = shownFrame->next;
        differs = true;
      } else if (!holdsShownRow(y)) {
        std::memcpy(out, seen, sizeof line);
      }
      continue;
    }
    if (y < h) {
      const uint8_t* row = image.Row(y);
      switch (f.bitsPerPixel) {
        case 32:
          for (int x = 0; x < w; ++x) line[x] = 0xFF000000u | LoadRaw<uint32_t>(row + x * 4);
          break;
        case 16:
          if (rgb565 || rgb555) Row16ToFrame(row, w, rgb565, line);
          else
            for (int x = 0; x < w; ++x) line[x] = to16[LoadRaw<uint16_t>(row + x * 2)];
          break;
        default:
          Row8ToFrame(row, w, colours, line);
          break;
      }
    } else if (y == h) {
      std::fill(line, line + w, 0xFF000000u);
    }
    uint32_t* out = frame.pixels.data() + static_cast<size_t>(y) * kScreenWidth;
    if (shown != nullptr) {
      const uint32_t* seen = shown + static_cast<size_t>(y) * kScreenWidth;
      if (std::memcmp(seen, line, sizeof line) != 0) {
        std::memcpy(out, line, sizeof line);
        shownFrame->rowChanged[y] = shownFrame->next;
        differs = true;
      } else if (!holdsShownRow(y)) {
        std::memcpy(out, seen, sizeof line);
      }
      continue;
    }
    if (std::memcmp(out, line, sizeof line) != 0) {
      std::memcpy(out, line, sizeof line);
      changed = true;
    }
  }
  return shown != nullptr ? differs : changed;
}

void FramePresenter::Present(const PixelImage& image, const PaletteEntry* palette, WindowHost& host,
                             const FrameChanges* mayDiffer) {
  const uint32_t* shown = host.LastPresentedPixels();
  if (shown == nullptr || shown != shownPixels_) {
    // A frame shown that this presenter did not hand over (the first, or
    // another presenter's): nothing is known of the buffers' rows, nor how
    // the image stands to what is shown.
    Forget();
    mayDiffer = nullptr;
  }
  if (shown == nullptr) {
    const bool changed = ImageToFrame(image, palette, frame_);
    host.Present(frame_, changed);
    return;
  }
  if (picture_ == 0) {
    picture_ = 1;  // the shown one; its rows changed "at" it
    rowChanged_.fill(1);
    Remember(shown, 1);
    shownPixels_ = shown;
  }
  ShownFrame view{shown, rowChanged_.data(), HeldBy(frame_.pixels.data()), picture_ + 1, mayDiffer};
  const bool differs = ImageToFrame(image, palette, frame_, &view);
  const uint32_t* buffer = frame_.pixels.data();
  int firstRow = kScreenHeight, lastRow = -1;  // the rows that differ from the shown picture
  FrameRows changedRows;
  if (differs) {
    ++picture_;
    Remember(buffer, picture_);
    shownPixels_ = buffer;
    for (int y = 0; y < kScreenHeight; ++y)
      if (rowChanged_[static_cast<size_t>(y)] == picture_) {
        firstRow = std::min(firstRow, y);
        lastRow = y;
        changedRows.set(static_cast<size_t>(y));
      }
  } else {
    Remember(buffer, picture_);  // every row of it now holds the shown picture
  }
  host.PresentCompared(frame_, differs, firstRow, lastRow, &changedRows);
  // A host that did not take a differing frame (it refused it) shows
  // something else: start again from what it shows next time.
  if (differs && frame_.pixels.data() == buffer) Forget();
}

void FramePresenter::Forget() {
  picture_ = 0;
  shownPixels_ = nullptr;
  held_.clear();
}

uint64_t FramePresenter::HeldBy(const uint32_t* buffer) const {
  for (const auto& [pixels, picture] : held_)
    if (pixels == buffer) return picture;
  return 0;
}

void FramePresenter::Remember(const uint32_t* buffer, uint64_t picture) {
  for (auto& entry : held_)
    if (entry.first == buffer) {
      entry.second = picture;
      return;
    }
  // Buffers go round among the host's few; one that has not come back for
  // long is forgotten first.
  if (held_.size() >= kRememberedBuffers) held_.erase(held_.begin());
  held_.emplace_back(buffer, picture);
}

void WaitVerticalBlank() {
  if (!g_vblankWait.load()) return;
  const uint64_t now = TickCount64();
  const uint64_t index = now * 60 / 1000;
  const uint64_t next = ((index + 1) * 1000 + 59) / 60;  // first whole ms at or after the boundary
  if (next > now) Sleep(static_cast<uint32_t>(next - now));
}

void SetVerticalBlankWait(bool on) { g_vblankWait = on; }

}  // namespace plat
