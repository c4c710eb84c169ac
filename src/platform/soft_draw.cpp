#include "platform/soft_draw.h"

#include <algorithm>
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif
#include <atomic>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "platform/large_pages.h"
#include "platform/raw_pixels.h"

namespace plat {
namespace {

std::atomic<int> g_extraPitch{0};
std::atomic<int> g_cursorCount{0};
DrawFaults g_faults;
std::atomic<bool> g_fastPaths{true};

// One row of `count` pixels of `value` (the value's low bytes).
template <typename T>
void FillRow(uint8_t* row, int count, uint32_t value) {
  const T v = static_cast<T>(value);
  for (int i = 0; i < count; ++i) StoreRaw<T>(row + static_cast<size_t>(i) * sizeof(T), v);
}

// A keyed copy of one row between two different images: the destination
// keeps its pixel where the source holds the key. Written as a select over
// every pixel so that the compiler can vectorise it; rewriting an unchanged
// destination pixel is invisible because the rows never overlap.
template <typename T>
void KeyedRow(uint8_t* dst, const uint8_t* src, int count, T key) {
  for (int i = 0; i < count; ++i) {
    const size_t at = static_cast<size_t>(i) * sizeof(T);
    const T sv = LoadRaw<T>(src + at);
    const T dv = LoadRaw<T>(dst + at);
    StoreRaw<T>(dst + at, sv == key ? dv : sv);
  }
}

// Keyed copies of a rectangle of rows: `rows` rows of `count` pixels from
// src (rows srcPitch bytes apart) onto dst (dstPitch apart); the rows of the
// two never overlap. One call covers a whole blit so that choosing the loop
// is paid once, not per row. The plain loop is the reference; the vector
// ones give the same bytes.
template <typename T>
void KeyedRectPlain(uint8_t* dst, ptrdiff_t dstPitch, const uint8_t* src, ptrdiff_t srcPitch, int count, int rows,
                    uint32_t key) {
  for (int r = 0; r < rows; ++r, dst += dstPitch, src += srcPitch) KeyedRow<T>(dst, src, count, static_cast<T>(key));
}

#if defined(__GNUC__) && defined(__x86_64__)
#define PELMORA_KEYED_X86 1
// AVX2: a select of 32 bytes a step over the target's pixels. A row's last
// pixels take one more full step that ends at the row's end and overlaps
// the step before: the keyed copy of a pixel done twice gives the same
// pixel. Rows narrower than a step take 16-byte steps the same way, and
// rows narrower than that the plain loop.
template <typename T>
__attribute__((target("avx2"))) inline __m256i KeyedEqual256(__m256i a, __m256i b) {
  if constexpr (sizeof(T) == 1) return _mm256_cmpeq_epi8(a, b);
  else if constexpr (sizeof(T) == 2) return _mm256_cmpeq_epi16(a, b);
  else return _mm256_cmpeq_epi32(a, b);
}
template <typename T>
__attribute__((target("avx2"))) inline __m128i KeyedEqual128(__m128i a, __m128i b) {
  if constexpr (sizeof(T) == 1) return _mm_cmpeq_epi8(a, b);
  else if constexpr (sizeof(T) == 2) return _mm_cmpeq_epi16(a, b);
  else return _mm_cmpeq_epi32(a, b);
}
template <typename T>
__attribute__((target("avx2"))) inline __m256i KeyedBroadcast256(uint32_t key) {
  if constexpr (sizeof(T) == 1) return _mm256_set1_epi8(static_cast<char>(key));
  else if constexpr (sizeof(T) == 2) return _mm256_set1_epi16(static_cast<short>(key));
  else return _mm256_set1_epi32(static_cast<int>(key));
}

template <typename T>
__attribute__((target("avx2"))) void KeyedRectWide(uint8_t* dst, ptrdiff_t dstPitch, const uint8_t* src,
                                                   ptrdiff_t srcPitch, int count, int rows, uint32_t key) {
  const __m256i k = KeyedBroadcast256<T>(key);
  const __m128i k128 = _mm256_castsi256_si128(k);
  const size_t bytes = static_cast<size_t>(count) * sizeof(T);
  for (int r = 0; r < rows; ++r, dst += dstPitch, src += srcPitch) {
    if (bytes >= 32) {
      auto step = [&](size_t at) __attribute__((target("avx2"), always_inline)) {
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + at));
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst + at));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + at), _mm256_blendv_epi8(s, d, KeyedEqual256<T>(s, k)));
      };
      size_t at = 0;
      for (; at + 32 <= bytes; at += 32) step(at);
      if (at < bytes) step(bytes - 32);
    } else if (bytes >= 16) {
      auto step = [&](size_t at) __attribute__((target("avx2"), always_inline)) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + at));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + at));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + at), _mm_blendv_epi8(s, d, KeyedEqual128<T>(s, k128)));
      };
      step(0);
      if (bytes > 16) step(bytes - 16);
    } else {
      KeyedRow<T>(dst, src, count, static_cast<T>(key));
    }
  }
}

// AVX-512: a masked store writes only the pixels that are not the key, so
// the target is not read at all; a row's last pixels take a shorter mask.
#define PELMORA_KEYED_512 __attribute__((target("avx512f,avx512bw")))
template <typename T>
PELMORA_KEYED_512 void KeyedRectMasked(uint8_t* dst, ptrdiff_t dstPitch, const uint8_t* src, ptrdiff_t srcPitch,
                                       int count, int rows, uint32_t key) {
  constexpr int kLanes = 64 / static_cast<int>(sizeof(T));
  for (int r = 0; r < rows; ++r, dst += dstPitch, src += srcPitch) {
    for (int i = 0; i < count; i += kLanes) {
      const int n = std::min(kLanes, count - i);
      const uint64_t in = n == 64 ? ~uint64_t{0} : (uint64_t{1} << n) - 1;
      const uint8_t* s = src + static_cast<size_t>(i) * sizeof(T);
      uint8_t* d = dst + static_cast<size_t>(i) * sizeof(T);
      if constexpr (sizeof(T) == 1) {
        const __m512i t = _mm512_maskz_loadu_epi8(in, s);
        _mm512_mask_storeu_epi8(d, _mm512_mask_cmpneq_epi8_mask(in, t, _mm512_set1_epi8(static_cast<char>(key))), t);
      } else if constexpr (sizeof(T) == 2) {
        const __mmask32 m = static_cast<__mmask32>(in);
        const __m512i t = _mm512_maskz_loadu_epi16(m, s);
        _mm512_mask_storeu_epi16(d, _mm512_mask_cmpneq_epi16_mask(m, t, _mm512_set1_epi16(static_cast<short>(key))), t);
      } else {
        const __mmask16 m = static_cast<__mmask16>(in);
        const __m512i t = _mm512_maskz_loadu_epi32(m, s);
        _mm512_mask_storeu_epi32(d, _mm512_mask_cmpneq_epi32_mask(m, t, _mm512_set1_epi32(static_cast<int>(key))), t);
      }
    }
  }
}

// Each level includes the ones below it (the device's AVX2 loops run at 2).
int ProcessorVectorLevel() {
  if (!__builtin_cpu_supports("avx2")) return 0;
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")) return 2;
  return 1;
}
#else
int ProcessorVectorLevel() { return 0; }
#endif

const int g_processorVectorLevel = ProcessorVectorLevel();

using KeyedRectFn = void (*)(uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int, int, uint32_t);

template <typename T>
KeyedRectFn PickKeyedRect() {
#if defined(PELMORA_KEYED_X86)
  switch (DrawVectorLevel()) {
    case 2: return KeyedRectMasked<T>;
    case 1: return KeyedRectWide<T>;
    default: break;
  }
#endif
  return KeyedRectPlain<T>;
}

// Keyed copy of `rows` rows for a pixel width in bytes; a key wider than the
// pixel matches nothing (the general road compares the widened pixel with it).
void KeyedRect(uint8_t* dst, ptrdiff_t dstPitch, const uint8_t* src, ptrdiff_t srcPitch, int count, int rows,
               int bytes, uint32_t key) {
  const uint32_t widest = bytes == 1 ? 0xFFu : bytes == 2 ? 0xFFFFu : 0xFFFFFFFFu;
  if (key > widest) {
    for (int r = 0; r < rows; ++r, dst += dstPitch, src += srcPitch)
      std::memcpy(dst, src, static_cast<size_t>(count) * bytes);
    return;
  }
  switch (bytes) {
    case 1: PickKeyedRect<uint8_t>()(dst, dstPitch, src, srcPitch, count, rows, key); break;
    case 2: PickKeyedRect<uint16_t>()(dst, dstPitch, src, srcPitch, count, rows, key); break;
    default: PickKeyedRect<uint32_t>()(dst, dstPitch, src, srcPitch, count, rows, key); break;
  }
}

// Scaled copy of one row onto consecutive pixels: pixel i takes source
// column columns[i]; the unkeyed copy has no test in its loop.
template <typename T>
void ColumnRow(uint8_t* dst, const uint8_t* src, const int32_t* columns, size_t count, bool keyed, uint32_t key) {
  if (!keyed) {
    for (size_t i = 0; i < count; ++i)
      StoreRaw<T>(dst + i * sizeof(T), LoadRaw<T>(src + static_cast<size_t>(columns[i]) * sizeof(T)));
    return;
  }
  for (size_t i = 0; i < count; ++i) {
    const T v = LoadRaw<T>(src + static_cast<size_t>(columns[i]) * sizeof(T));
    if (v != key) StoreRaw<T>(dst + i * sizeof(T), v);
  }
}

// Scaled copy of one row through a column table of (destination x, source x) pairs.
template <typename T>
void MappedRow(uint8_t* dst, const uint8_t* src, const int32_t* pairs, size_t count, bool keyed, uint32_t key) {
  for (size_t i = 0; i < count; ++i) {
    const T v = LoadRaw<T>(src + static_cast<size_t>(pairs[2 * i + 1]) * sizeof(T));
    if (keyed && v == key) continue;
    StoreRaw<T>(dst + static_cast<size_t>(pairs[2 * i]) * sizeof(T), v);
  }
}

// A rectangle cut to 0..w × 0..h; false when nothing is left.
bool CutRect(Rect& r, int w, int h) {
  r.left = std::max(r.left, 0);
  r.top = std::max(r.top, 0);
  r.right = std::min(r.right, w);
  r.bottom = std::min(r.bottom, h);
  return r.left < r.right && r.top < r.bottom;
}

}  // namespace

std::atomic<int> detail::g_drawVectorLevel{g_processorVectorLevel};

PixelFormat FormatIndexed8() { return {8, 0, 0, 0, 0}; }
PixelFormat FormatR5G6B5() { return {16, 0xF800, 0x07E0, 0x001F, 0}; }
PixelFormat FormatX1R5G5B5() { return {16, 0x7C00, 0x03E0, 0x001F, 0}; }
PixelFormat FormatA1R5G5B5() { return {16, 0x7C00, 0x03E0, 0x001F, 0x8000}; }
PixelFormat FormatX8R8G8B8() { return {32, 0xFF0000, 0xFF00, 0xFF, 0}; }
PixelFormat FormatA8R8G8B8() { return {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u}; }

int MaskShift(uint32_t mask) { return mask == 0 ? 0 : std::countr_zero(mask); }

uint32_t MaskMax(uint32_t mask) { return mask >> MaskShift(mask); }

void PixelImage::SetExtraPitchForTest(int bytes) { g_extraPitch = std::max(0, bytes); }

bool PixelImage::Allocate(int width, int height, const PixelFormat& format, Use use) {
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return false;
  if (format.bitsPerPixel != 8 && format.bitsPerPixel != 16 && format.bitsPerPixel != 32) return false;
  width_ = width;
  height_ = height;
  format_ = format;
  bytesPerPixel_ = format.bitsPerPixel / 8;
  // Rows padded to 4 bytes, as the drawing code's pitch arithmetic expects, plus the test padding.
  pitch_ = ((width * bytesPerPixel_ + 3) & ~3) + ((g_extraPitch.load() + 3) & ~3);
  const size_t size = static_cast<size_t>(pitch_) * height;
  bytes_ = AllocateBytes(size, true, use);
  size_ = size;
  return true;
}

std::unique_ptr<uint8_t[], PixelImage::FreeBytes> PixelImage::AllocateBytes(size_t size, bool zeroed, Use use) {
  if (kLargePagesForPictures && use == Use::Often && size >= LargePageHeap::kSmallestBlock) {
    if (uint8_t* block = LargePageHeap::Shared().Allocate(size)) return {block, FreeBytes{size}};
  }
  uint8_t* bytes = static_cast<uint8_t*>(zeroed ? std::calloc(size, 1) : std::malloc(size));
  if (bytes == nullptr) throw std::bad_alloc();  // as the vector it replaces
  return {bytes, FreeBytes{0}};
}

void PixelImage::FreeBytes::operator()(uint8_t* p) const {
  if (largePageBytes != 0) LargePageHeap::Shared().Free(p, largePageBytes);
  else std::free(p);
}

PixelImage::PixelImage(const PixelImage& other)
    : width_(other.width_), height_(other.height_), pitch_(other.pitch_), bytesPerPixel_(other.bytesPerPixel_),
      format_(other.format_) {
  if (other.size_ == 0) return;
  bytes_ = AllocateBytes(other.size_, false, Use::Often);
  std::memcpy(bytes_.get(), other.bytes_.get(), other.size_);
  size_ = other.size_;
}

PixelImage& PixelImage::operator=(const PixelImage& other) {
  if (this != &other) *this = PixelImage(other);
  return *this;
}

PixelImage::PixelImage(PixelImage&& other) noexcept { *this = std::move(other); }

PixelImage& PixelImage::operator=(PixelImage&& other) noexcept {
  if (this == &other) return *this;
  width_ = std::exchange(other.width_, 0);
  height_ = std::exchange(other.height_, 0);
  pitch_ = std::exchange(other.pitch_, 0);
  bytesPerPixel_ = std::exchange(other.bytesPerPixel_, 4);
  format_ = std::exchange(other.format_, PixelFormat{});
  bytes_ = std::move(other.bytes_);
  size_ = std::exchange(other.size_, 0);
  return *this;
}

uint32_t PixelImage::Get(int x, int y) const {
  const uint8_t* p = Row(y) + static_cast<size_t>(x) * bytesPerPixel_;
  switch (bytesPerPixel_) {
    case 1: return *p;
    case 2: { uint16_t v; std::memcpy(&v, p, 2); return v; }
    default: { uint32_t v; std::memcpy(&v, p, 4); return v; }
  }
}

void PixelImage::Set(int x, int y, uint32_t value) {
  uint8_t* p = Row(y) + static_cast<size_t>(x) * bytesPerPixel_;
  switch (bytesPerPixel_) {
    case 1: *p = static_cast<uint8_t>(value); break;
    case 2: { uint16_t v = static_cast<uint16_t>(value); std::memcpy(p, &v, 2); break; }
    default: std::memcpy(p, &value, 4); break;
  }
}

void PixelImage::Fill(const Rect& rect, uint32_t value) {
  Rect r = rect;
  if (!CutRect(r, width_, height_)) return;
  if (!g_fastPaths.load(std::memory_order_relaxed)) {
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) Set(x, y, value);
    return;
  }
  // The first row is filled pixel by pixel, the others copy it.
  const int count = r.right - r.left;
  const size_t bytes = static_cast<size_t>(count) * bytesPerPixel_;
  uint8_t* first = Row(r.top) + static_cast<size_t>(r.left) * bytesPerPixel_;
  switch (bytesPerPixel_) {
    case 1: std::memset(first, static_cast<int>(value & 0xFF), bytes); break;
    case 2: FillRow<uint16_t>(first, count, value); break;
    default: FillRow<uint32_t>(first, count, value); break;
  }
  for (int y = r.top + 1; y < r.bottom; ++y)
    std::memcpy(Row(y) + static_cast<size_t>(r.left) * bytesPerPixel_, first, bytes);
}

void PixelImage::Scribble(uint8_t byte) {
  if (size_ > 0) std::memset(bytes_.get(), byte, size_);
}

void SetDrawFastPaths(bool on) { g_fastPaths = on; }
void SetDrawVectorLimit(int level) {
  detail::g_drawVectorLevel = std::min(g_processorVectorLevel, std::clamp(level, 0, 2));
}
bool DrawFastPaths() { return g_fastPaths.load(); }

int ShowCursor(bool show) { return show ? ++g_cursorCount : --g_cursorCount; }
int CursorDisplayCount() { return g_cursorCount.load(); }

DrawFaults& DrawFaultInjection() { return g_faults; }

// ---- palette ----

uint32_t DrawPalette::SetEntries(int first, int count, const PaletteEntry* entries) {
  if (first < 0 || count < 0 || first + count > 256 || (count > 0 && !entries)) return DDERR_INVALIDPARAMS;
  std::copy(entries, entries + count, entries_ + first);
  return DD_OK;
}

uint32_t DrawPalette::GetEntries(int first, int count, PaletteEntry* entries) const {
  if (first < 0 || count < 0 || first + count > 256 || (count > 0 && !entries)) return DDERR_INVALIDPARAMS;
  std::copy(entries_ + first, entries_ + first + count, entries);
  return DD_OK;
}

uint32_t DrawPalette::Release() {
  DirectDrawObject* owner = owner_;
  delete this;
  return owner ? owner->DropReference() : 0;
}

// ---- surfaces ----

uint32_t DrawSurface::Lock(uint8_t*& bits, int& pitch) {
  bits = nullptr;
  pitch = 0;
  if (lost_) return DDERR_SURFACELOST;
  if (g_faults.lock) return DDERR_GENERIC;
  if (locked_) return DDERR_SURFACEBUSY;
  locked_ = true;
  bits = image_.Bits();
  pitch = image_.Pitch();
  return DD_OK;
}

uint32_t DrawSurface::Unlock() {
  if (!locked_) return DDERR_GENERIC;
  locked_ = false;
  return DD_OK;
}

uint32_t DrawSurface::Restore() {
  if (!lost_) return DD_OK;
  lost_ = false;
  image_.Scribble(0xCD);
  return DD_OK;
}

uint32_t DrawSurface::SetColorKey(uint32_t value) {
  hasKey_ = true;
  key_ = value;
  return DD_OK;
}

uint32_t DrawSurface::BltFast(int x, int y, DrawSurface* src, const Rect& srcRect, uint32_t flags) {
  if (!src) return DDERR_INVALIDPARAMS;
  if (lost_ || src->lost_) return DDERR_SURFACELOST;
  if (locked_ || src->locked_) return DDERR_SURFACEBUSY;
  if (src->image_.BytesPerPixel() != image_.BytesPerPixel()) return DDERR_INVALIDPARAMS;
  Rect s = srcRect;
  // The real blitter refuses rectangles that leave a surface; the callers
  // clip first, so cutting here only guards against mistakes.
  if (!CutRect(s, src->Width(), src->Height())) return DD_OK;
  x += s.left - srcRect.left;
  y += s.top - srcRect.top;
  int w = s.Width(), h = s.Height();
  if (x < 0) { s.left -= x; w += x; x = 0; }
  if (y < 0) { s.top -= y; h += y; y = 0; }
  w = std::min(w, Width() - x);
  h = std::min(h, Height() - y);
  if (w <= 0 || h <= 0) return DD_OK;
  const bool keyed = (flags & DDBLTFAST_SRCCOLORKEY) && src->hasKey_;
  const int bpp = image_.BytesPerPixel();
  if (keyed && src != this && g_fastPaths.load(std::memory_order_relaxed)) {
    KeyedRect(image_.Row(y) + static_cast<size_t>(x) * bpp, image_.Pitch(),
              src->image_.Row(s.top) + static_cast<size_t>(s.left) * bpp, src->image_.Pitch(), w, h, bpp, src->key_);
    return DD_OK;
  }
  for (int r = 0; r < h; ++r) {
    if (!keyed && src != this) {
      std::memcpy(image_.Row(y + r) + static_cast<size_t>(x) * bpp,
                  src->image_.Row(s.top + r) + static_cast<size_t>(s.left) * bpp, static_cast<size_t>(w) * bpp);
      continue;
    }
    if (!keyed) {
      std::memmove(image_.Row(y + r) + static_cast<size_t>(x) * bpp,
                   src->image_.Row(s.top + r) + static_cast<size_t>(s.left) * bpp, static_cast<size_t>(w) * bpp);
      continue;
    }
    for (int c = 0; c < w; ++c) {
      const uint32_t v = src->image_.Get(s.left + c, s.top + r);
      if (v != src->key_) image_.Set(x + c, y + r, v);
    }
  }
  return DD_OK;
}

uint32_t DrawSurface::Blt(const Rect* dstRect, DrawSurface* src, const Rect* srcRect, uint32_t flags,
                          uint32_t fillValue) {
  if (lost_) return DDERR_SURFACELOST;
  if (locked_) return DDERR_SURFACEBUSY;
  Rect d = dstRect ? *dstRect : Rect{0, 0, Width(), Height()};
  if (flags & DDBLT_COLORFILL) {
    image_.Fill(d, fillValue);
    return DD_OK;
  }
  if (!src) return DDERR_INVALIDPARAMS;
  if (src->lost_) return DDERR_SURFACELOST;
  if (src->locked_ && src != this) return DDERR_SURFACEBUSY;
  if (src->image_.BytesPerPixel() != image_.BytesPerPixel()) return DDERR_INVALIDPARAMS;
  const Rect s = srcRect ? *srcRect : Rect{0, 0, src->Width(), src->Height()};
  const int dw = d.Width(), dh = d.Height(), sw = s.Width(), sh = s.Height();
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return DD_OK;
  const float rx = static_cast<float>(sw) / static_cast<float>(dw);
  const float ry = static_cast<float>(sh) / static_cast<float>(dh);
  const bool keyed = (flags & DDBLT_KEYSRC) && src->hasKey_;
  // A copy onto itself reads from a snapshot so overlapping rows stay right.
  PixelImage snapshot;
  const PixelImage* from = &src->image_;
  if (src == this) {
    snapshot = image_;
    from = &snapshot;
  }
  if (g_fastPaths.load(std::memory_order_relaxed)) {
    BltMapped(d, *from, s, rx, ry, keyed, src->key_);
    return DD_OK;
  }
  for (int r = 0; r < dh; ++r) {
    const int ty = d.top + r;
    if (ty < 0 || ty >= Height()) continue;
    const int sy = s.top + static_cast<int>(static_cast<float>(r) * ry);
    if (sy < 0 || sy >= from->Height() || sy >= s.bottom) continue;
    for (int c = 0; c < dw; ++c) {
      const int tx = d.left + c;
      if (tx < 0 || tx >= Width()) continue;
      const int sx = s.left + static_cast<int>(static_cast<float>(c) * rx);
      if (sx < 0 || sx >= from->Width() || sx >= s.right) continue;
      const uint32_t v = from->Get(sx, sy);
      if (keyed && v == src->key_) continue;
      image_.Set(tx, ty, v);
    }
  }
  return DD_OK;
}

void DrawSurface::BltMapped(const Rect& d, const PixelImage& from, const Rect& s, float rx, float ry, bool keyed,
                            uint32_t key) {
  // The column mapping is the same for every row: worked out once as
  // (destination x, source x) pairs with the general road's float rule and
  // its cuts, then every row walks the pairs.
  thread_local std::vector<int32_t> pairs;
  pairs.clear();
  const int dw = d.Width(), dh = d.Height();
  thread_local std::vector<int32_t> columns;
  columns.clear();
  bool straight = true;  // source x = destination x + a constant
  bool run = true;       // the destination columns follow one another
  for (int c = 0; c < dw; ++c) {
    const int tx = d.left + c;
    if (tx < 0 || tx >= Width()) continue;
    const int sx = s.left + static_cast<int>(static_cast<float>(c) * rx);
    if (sx < 0 || sx >= from.Width() || sx >= s.right) continue;
    if (!pairs.empty() && tx != pairs[pairs.size() - 2] + 1) run = false;
    if (!pairs.empty() && (tx != pairs[pairs.size() - 2] + 1 || sx != pairs.back() + 1)) straight = false;
    pairs.push_back(tx);
    pairs.push_back(sx);
    columns.push_back(sx);
  }
  if (pairs.empty()) return;
  const size_t count = pairs.size() / 2;
  const int bpp = image_.BytesPerPixel();
  // An unkeyed row that reads the same source row as the row just drawn
  // above it (an enlargement) is that row again, unless the source is
  // this surface and the drawing may have changed it.
  const bool copyRepeats = !keyed && &from != &image_;
  int lastTy = -2, lastSy = -1;
  for (int r = 0; r < dh; ++r) {
    const int ty = d.top + r;
    if (ty < 0 || ty >= Height()) continue;
    const int sy = s.top + static_cast<int>(static_cast<float>(r) * ry);
    if (sy < 0 || sy >= from.Height() || sy >= s.bottom) continue;
    uint8_t* out = image_.Row(ty);
    const uint8_t* in = from.Row(sy);
    if (copyRepeats && sy == lastSy && ty == lastTy + 1) {
      // The written columns run from the first pair's to the last pair's.
      const size_t first = static_cast<size_t>(pairs[0]) * bpp;
      const size_t end = (static_cast<size_t>(pairs[pairs.size() - 2]) + 1) * bpp;
      if (straight || end - first == count * bpp) {
        std::memcpy(out + first, image_.Row(lastTy) + first, end - first);
        lastTy = ty;
        continue;
      }
    }
    lastTy = ty, lastSy = sy;
    if (straight) {
      uint8_t* o = out + static_cast<size_t>(pairs[0]) * bpp;
      const uint8_t* i = in + static_cast<size_t>(pairs[1]) * bpp;
      if (keyed) KeyedRect(o, 0, i, 0, static_cast<int>(count), 1, bpp, key);
      else std::memcpy(o, i, count * bpp);
      continue;
    }
    if (run) {
      uint8_t* o = out + static_cast<size_t>(pairs[0]) * bpp;
      switch (bpp) {
        case 1: ColumnRow<uint8_t>(o, in, columns.data(), count, keyed, key); break;
        case 2: ColumnRow<uint16_t>(o, in, columns.data(), count, keyed, key); break;
        default: ColumnRow<uint32_t>(o, in, columns.data(), count, keyed, key); break;
      }
      continue;
    }
    switch (bpp) {
      case 1: MappedRow<uint8_t>(out, in, pairs.data(), count, keyed, key); break;
      case 2: MappedRow<uint16_t>(out, in, pairs.data(), count, keyed, key); break;
      default: MappedRow<uint32_t>(out, in, pairs.data(), count, keyed, key); break;
    }
  }
}

uint32_t DrawSurface::Flip(bool waitForVerticalBlank) {
  if (!primary_ || !backBuffer_) return DDERR_INVALIDPARAMS;
  if (lost_ || backBuffer_->lost_) return DDERR_SURFACELOST;
  if (waitForVerticalBlank) WaitVerticalBlank();
  std::swap(image_, backBuffer_->image_);
  return DD_OK;
}

uint32_t DrawSurface::GetAttachedBackBuffer(DrawSurface** out) {
  if (!out || !backBuffer_) return DDERR_GENERIC;
  *out = backBuffer_;
  return DD_OK;
}

uint32_t DrawSurface::SetPalette(DrawPalette* palette) {
  palette_ = palette;
  return DD_OK;
}

uint32_t DrawSurface::Release() {
  DirectDrawObject* owner = owner_;
  if (owner) owner->Forget(this);
  // A flip chain is one object: releasing the primary releases its back
  // buffer; the attached back buffer alone is not a reference of its own.
  if (frontOf_) {
    frontOf_->backBuffer_ = nullptr;
    delete this;
    return owner ? owner->references_ : 0;
  }
  if (backBuffer_) {
    if (owner) owner->Forget(backBuffer_);
    delete backBuffer_;
  }
  delete this;
  return owner ? owner->DropReference() : 0;
}

// ---- the DirectDraw object ----

DirectDrawObject* DirectDrawObject::Create(uint32_t& result) {
  if (g_faults.create) {
    result = DDERR_GENERIC;
    return nullptr;
  }
  result = DD_OK;
  return new DirectDrawObject();
}

uint32_t DirectDrawObject::SetCooperativeLevel(uint32_t) { return g_faults.cooperativeLevel ? DDERR_GENERIC : DD_OK; }

uint32_t DirectDrawObject::SetDisplayMode(int width, int height, int bits, int refreshRate) {
  if (g_faults.displayMode || (g_faults.refusedRefreshRate >= 0 && refreshRate == g_faults.refusedRefreshRate))
    return DDERR_UNSUPPORTED;
  if (width <= 0 || height <= 0 || (bits != 8 && bits != 16 && bits != 32)) return DDERR_INVALIDPARAMS;
  displayWidth_ = width;
  displayHeight_ = height;
  displayBits_ = bits;
  return DD_OK;
}

uint32_t DirectDrawObject::RestoreDisplayMode() { return DD_OK; }

void DirectDrawObject::UseWindowedDisplay(int width, int height, int bits) {
  displayWidth_ = width;
  displayHeight_ = height;
  displayBits_ = bits;
}

PixelFormat DirectDrawObject::DisplayFormat() const {
  switch (displayBits_) {
    case 8: return FormatIndexed8();
    case 16: return g_faults.use555 ? FormatX1R5G5B5() : FormatR5G6B5();
    default: return FormatX8R8G8B8();
  }
}

uint32_t DirectDrawObject::CreatePrimary(int backBuffers, DrawSurface** out) {
  *out = nullptr;
  if (g_faults.primary) return DDERR_GENERIC;
  auto* primary = new DrawSurface(this);
  if (!primary->image_.Allocate(displayWidth_, displayHeight_, DisplayFormat())) {
    delete primary;
    return DDERR_INVALIDPARAMS;
  }
  primary->primary_ = true;
  if (backBuffers > 0 && !g_faults.attach) {
    auto* back = new DrawSurface(this);
    back->image_.Allocate(displayWidth_, displayHeight_, DisplayFormat());
    back->frontOf_ = primary;
    primary->backBuffer_ = back;
    surfaces_.push_back(back);
  }
  surfaces_.push_back(primary);
  ++references_;
  *out = primary;
  return DD_OK;
}

uint32_t DirectDrawObject::CreateSurface(int width, int height, MemoryPlace place, DrawSurface** out) {
  *out = nullptr;
  if (place == MemoryPlace::Video && g_faults.videoSurface) return DDERR_OUTOFVIDEOMEMORY;
  if (place == MemoryPlace::System && g_faults.systemSurface) return DDERR_GENERIC;
  auto* surface = new DrawSurface(this);
  if (!surface->image_.Allocate(width, height, DisplayFormat())) {
    delete surface;
    return DDERR_INVALIDPARAMS;
  }
  surface->place_ = place;
  surfaces_.push_back(surface);
  ++references_;
  *out = surface;
  return DD_OK;
}

uint32_t DirectDrawObject::CreatePalette(const PaletteEntry* entries, DrawPalette** out) {
  *out = nullptr;
  if (g_faults.palette) return DDERR_GENERIC;
  auto* palette = new DrawPalette(this);
  if (entries) std::copy(entries, entries + 256, palette->entries_);
  ++references_;
  *out = palette;
  return DD_OK;
}

uint32_t DirectDrawObject::CreateClipper() {
  if (g_faults.clipper) return DDERR_GENERIC;
  ++references_;
  return DD_OK;
}

uint32_t DirectDrawObject::ReleaseClipper() { return DropReference(); }
uint32_t DirectDrawObject::SetClipperWindow() { return g_faults.clipperWindow ? DDERR_GENERIC : DD_OK; }
uint32_t DirectDrawObject::SetClipper() { return g_faults.setClipper ? DDERR_GENERIC : DD_OK; }

void DirectDrawObject::SimulateSurfaceLoss() {
  // Video memory is gone; system-memory surfaces are never lost.
  for (DrawSurface* s : surfaces_) {
    if (s->place_ != MemoryPlace::Video) continue;
    s->lost_ = true;
    s->image_.Scribble(0xCD);
  }
}

void DirectDrawObject::Forget(DrawSurface* surface) {
  surfaces_.erase(std::remove(surfaces_.begin(), surfaces_.end(), surface), surfaces_.end());
}

uint32_t DirectDrawObject::Release() {
  // Surfaces still alive keep the object alive; the last of them to be
  // released frees it.
  return DropReference();
}

uint32_t DirectDrawObject::DropReference() {
  const uint32_t left = references_ > 0 ? --references_ : 0;
  if (left == 0) delete this;
  return left;
}

}  // namespace plat