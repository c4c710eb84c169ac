#include "platform/soft_device.h"

#include <algorithm>
#include <atomic>
#include <bit>
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

namespace plat {
namespace {

DeviceConfig g_config;

struct Argb {
  uint32_t a, r, g, b;
};

Argb Split(uint32_t v) { return {v >> 24, (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF}; }
uint32_t Join(const Argb& c) { return (c.a << 24) | (c.r << 16) | (c.g << 8) | c.b; }

uint32_t Widen(uint32_t pixel, uint32_t mask) {
  const uint32_t max = MaskMax(mask);
  if (max == 0) return 0;
  return ((pixel & mask) >> MaskShift(mask)) * 255 / max;
}

uint32_t Narrow(uint32_t value, uint32_t mask) {
  const uint32_t max = MaskMax(mask);
  if (max == 0) return 0;
  return ((value * max + 127) / 255) << MaskShift(mask);
}

// A raw pixel of a device format as 8-bit ARGB (formats without alpha are opaque).
Argb ReadArgb(const PixelFormat& f, uint32_t pixel) {
  Argb c{255, Widen(pixel, f.redMask), Widen(pixel, f.greenMask), Widen(pixel, f.blueMask)};
  if (f.alphaMask == 0x8000) c.a = (pixel & 0x8000) ? 255 : 0;
  else if (f.alphaMask) c.a = Widen(pixel, f.alphaMask);
  return c;
}

uint32_t WriteArgb(const PixelFormat& f, const Argb& c) {
  uint32_t v = Narrow(c.r, f.redMask) | Narrow(c.g, f.greenMask) | Narrow(c.b, f.blueMask);
  if (f.alphaMask == 0x8000) v |= c.a >= 128 ? 0x8000u : 0u;
  else if (f.alphaMask) v |= Narrow(c.a, f.alphaMask);
  else if (f.bitsPerPixel == 32) v |= 0xFF000000u;  // X8R8G8B8 keeps its spare byte set
  return v;
}

uint32_t Mul(uint32_t a, uint32_t b) { return (a * b + 127) / 255; }

uint32_t Combine(uint32_t op, uint32_t a1, uint32_t a2, uint32_t diffuse, uint32_t factorAlpha) {
  switch (op) {
    case D3DTOP_DISABLE: return diffuse;
    case D3DTOP_SELECTARG1: return a1;
    case D3DTOP_SELECTARG2: return a2;
    case D3DTOP_MODULATE: return Mul(a1, a2);
    case D3DTOP_MODULATE2X: return std::min(255u, (a1 * a2 * 2 + 127) / 255);
    case D3DTOP_ADD: return std::min(255u, a1 + a2);
    case D3DTOP_SUBTRACT: return a1 > a2 ? a1 - a2 : 0;
    case D3DTOP_BLENDFACTORALPHA: return (a1 * factorAlpha + a2 * (255 - factorAlpha) + 127) / 255;
    default: return Mul(a1, a2);
  }
}

bool IsPowerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

// Positive remainder (no division for a value already in range).
int Wrap(int v, int n) {
  if (static_cast<unsigned>(v) < static_cast<unsigned>(n)) return v;
  const int m = v % n;
  return m < 0 ? m + n : m;
}

// ---- the specialised road's pixel codecs ----
// Colours travel packed as 0xAARRGGBB. Each codec gives exactly what
// ReadArgb and WriteArgb give for its format.

enum class PixelKind { A8R8G8B8, X8R8G8B8, R5G6B5, A1R5G5B5, Other };

// The formats compared field by field here (every quad asks twice).
PixelKind KindOf(const PixelFormat& f) {
  if (f.bitsPerPixel == 32 && f.redMask == 0xFF0000u && f.greenMask == 0xFF00u && f.blueMask == 0xFFu) {
    if (f.alphaMask == 0xFF000000u) return PixelKind::A8R8G8B8;
    if (f.alphaMask == 0) return PixelKind::X8R8G8B8;
  } else if (f.bitsPerPixel == 16 && f.blueMask == 0x1Fu) {
    if (f.redMask == 0xF800u && f.greenMask == 0x07E0u && f.alphaMask == 0) return PixelKind::R5G6B5;
    if (f.redMask == 0x7C00u && f.greenMask == 0x03E0u && f.alphaMask == 0x8000u) return PixelKind::A1R5G5B5;
  }
  return PixelKind::Other;
}

// Channel widening (c × 255 / max, truncated) and narrowing ((v × max +
// 127) / 255) by multiplication and shift instead of division or lookup, so
// that loops over many pixels vectorise; each is checked below against the
// division for every value it can meet.
constexpr uint32_t Widen5(uint32_t c) { return (c * 1053u) >> 7; }
constexpr uint32_t Widen6(uint32_t c) { return (c * 259u + 3u) >> 6; }
constexpr uint32_t Narrow5(uint32_t v) { return (v * 249u + 1014u) >> 11; }
constexpr uint32_t Narrow6(uint32_t v) { return (v * 253u + 505u) >> 10; }

constexpr bool ChannelArithmeticHolds() {
  for (uint32_t c = 0; c < 32; ++c)
    if (Widen5(c) != c * 255 / 31) return false;
  for (uint32_t c = 0; c < 64; ++c)
    if (Widen6(c) != c * 255 / 63) return false;
  for (uint32_t v = 0; v < 256; ++v)
    if (Narrow5(v) != (v * 31 + 127) / 255 || Narrow6(v) != (v * 63 + 127) / 255) return false;
  return true;
}
static_assert(ChannelArithmeticHolds());

template <PixelKind K>
struct Codec;

template <>
struct Codec<PixelKind::A8R8G8B8> {
  using Raw = uint32_t;
  static constexpr uint32_t Decode(uint32_t p) { return p; }
  static constexpr uint32_t Encode(uint32_t c) { return c; }
};

template <>
struct Codec<PixelKind::X8R8G8B8> {
  using Raw = uint32_t;
  static constexpr uint32_t Decode(uint32_t p) { return p | 0xFF000000u; }
  static constexpr uint32_t Encode(uint32_t c) { return c | 0xFF000000u; }
};

template <>
struct Codec<PixelKind::R5G6B5> {
  using Raw = uint16_t;
  static constexpr uint32_t Decode(uint32_t p) {
    return 0xFF000000u | Widen5((p >> 11) & 31) << 16 | Widen6((p >> 5) & 63) << 8 | Widen5(p & 31);
  }
  static constexpr uint32_t Encode(uint32_t c) {
    return Narrow5((c >> 16) & 0xFF) << 11 | Narrow6((c >> 8) & 0xFF) << 5 | Narrow5(c & 0xFF);
  }
};

template <>
struct Codec<PixelKind::A1R5G5B5> {
  using Raw = uint16_t;
  static constexpr uint32_t Decode(uint32_t p) {
    return (0u - ((p >> 15) & 1u)) << 24 | Widen5((p >> 10) & 31) << 16 | Widen5((p >> 5) & 31) << 8 |
           Widen5(p & 31);
  }
  // An alpha of 128 and up sets the alpha bit: that is bit 31 of the colour.
  static constexpr uint32_t Encode(uint32_t c) {
    return ((c >> 16) & 0x8000u) | Narrow5((c >> 16) & 0xFF) << 10 | Narrow5((c >> 8) & 0xFF) << 5 |
           Narrow5(c & 0xFF);
  }
};

// The alpha a texel decodes to, without decoding its colour.
template <PixelKind K>
constexpr uint32_t AlphaOf(uint32_t p) {
  if constexpr (K == PixelKind::A8R8G8B8) return p >> 24;
  else if constexpr (K == PixelKind::A1R5G5B5) return (0u - ((p >> 15) & 1u)) & 0xFFu;
  else return 255u;
}

// Raw texel to raw target pixel with no operation between: Encode(Decode(p)).
// Narrowing gives every widened value back, so between formats of the same
// channel widths the pixel stays (the alpha bit follows the alpha); 5-bit
// and 6-bit greens go through both steps.
template <PixelKind From, PixelKind To>
constexpr uint32_t ConvertRaw(uint32_t p) {
  if constexpr (From == PixelKind::A8R8G8B8 && To == PixelKind::A8R8G8B8) {
    return p;
  } else if constexpr (To == PixelKind::X8R8G8B8 &&
                       (From == PixelKind::A8R8G8B8 || From == PixelKind::X8R8G8B8)) {
    return p | 0xFF000000u;
  } else if constexpr (From == PixelKind::A1R5G5B5 && To == PixelKind::A1R5G5B5) {
    return p & 0xFFFFu;
  } else if constexpr (From == PixelKind::R5G6B5 && To == PixelKind::R5G6B5) {
    return p & 0xFFFFu;
  } else if constexpr (From == PixelKind::A1R5G5B5 && To == PixelKind::R5G6B5) {
    // In 16-bit steps (every product stays below 2^16) so that the vector
    // loop keeps sixteen pixels to a register.
    const uint16_t g = static_cast<uint16_t>((p >> 5) & 31u);
    const uint16_t wide = static_cast<uint16_t>(static_cast<uint16_t>(g * 1053u) >> 7);
    const uint16_t g6 = static_cast<uint16_t>(static_cast<uint16_t>(wide * 253u + 505u) >> 10);
    return static_cast<uint16_t>(((p & 0x7C00u) << 1) | (g6 << 5) | (p & 0x1Fu));
  } else if constexpr (From == PixelKind::R5G6B5 && To == PixelKind::A1R5G5B5) {
    return 0x8000u | (p >> 1 & 0x7C00u) | Narrow5(Widen6((p >> 5) & 63)) << 5 | (p & 0x1Fu);
  } else {
    return Codec<To>::Encode(Codec<From>::Decode(p));
  }
}

template <PixelKind From, PixelKind To>
constexpr bool ConversionHolds() {
  for (uint32_t p = 0; p < 65536; ++p)
    if (ConvertRaw<From, To>(p) != Codec<To>::Encode(Codec<From>::Decode(p))) return false;
  return true;
}
static_assert(ConversionHolds<PixelKind::A1R5G5B5, PixelKind::A1R5G5B5>());
static_assert(ConversionHolds<PixelKind::R5G6B5, PixelKind::R5G6B5>());
static_assert(ConversionHolds<PixelKind::A1R5G5B5, PixelKind::R5G6B5>());
static_assert(ConversionHolds<PixelKind::R5G6B5, PixelKind::A1R5G5B5>());

template <typename T>
T LoadRaw(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename T>
void StoreRaw(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

// SRCALPHA/INVSRCALPHA on all four channels, as ShadePixel mixes them.
inline uint32_t MixPacked(uint32_t s, uint32_t d, uint32_t sa) {
  const uint32_t da = 255 - sa;
  auto mix = [sa, da](uint32_t sv, uint32_t dv) { return (sv * sa + dv * da + 127) / 255; };
  return mix(s >> 24, d >> 24) << 24 | mix((s >> 16) & 0xFF, (d >> 16) & 0xFF) << 16 |
         mix((s >> 8) & 0xFF, (d >> 8) & 0xFF) << 8 | mix(s & 0xFF, d & 0xFF);
}

inline uint32_t ApplyTables(const uint8_t (*t)[256], uint32_t c) {
  return uint32_t{t[0][c >> 24]} << 24 | uint32_t{t[1][(c >> 16) & 0xFF]} << 16 |
         uint32_t{t[2][(c >> 8) & 0xFF]} << 8 | t[3][c & 0xFF];
}

#if defined(__GNUC__)
#define PELMORA_INLINE_BODY inline __attribute__((always_inline))
#else
#define PELMORA_INLINE_BODY inline
#endif

// Loops over many pixels are compiled twice, plainly and for processors
// with AVX2 (twice the lanes), and the wide one is chosen at run time,
// unless the tests hold the loops to a lower vector level.
#if defined(__GNUC__) && defined(__x86_64__)
#define PELMORA_WIDE __attribute__((target("avx2")))
#else
#define PELMORA_WIDE
#endif
inline bool WideLoops() { return DrawVectorLevel() >= 1; }

// Texels copied as they are onto a row: where a texel's alpha is 0 the
// target keeps its pixel, where it is 255 the texel lands, in one select
// per pixel that the compiler vectorises. A partly transparent texel (only
// A8R8G8B8 has them) leaves its pixel for a second pass that blends it;
// the pass runs only on rows that hold one.
template <PixelKind TexK, PixelKind OutK, bool kBlend>
PELMORA_INLINE_BODY bool SelectRowBody(const uint8_t* tex, int count, uint8_t* out) {
  using TexRaw = typename Codec<TexK>::Raw;
  using OutRaw = typename Codec<OutK>::Raw;
  uint32_t partial = 0;
  for (int i = 0; i < count; ++i) {
    const uint32_t raw = LoadRaw<TexRaw>(tex + static_cast<size_t>(i) * sizeof(TexRaw));
    uint8_t* p = out + static_cast<size_t>(i) * sizeof(OutRaw);
    const OutRaw converted = static_cast<OutRaw>(ConvertRaw<TexK, OutK>(raw));
    if constexpr (kBlend) {
      const uint32_t a = AlphaOf<TexK>(raw);
      if constexpr (TexK == PixelKind::A8R8G8B8) partial |= a - 1u < 254u;
      StoreRaw<OutRaw>(p, a != 255 ? LoadRaw<OutRaw>(p) : converted);
    } else {
      StoreRaw<OutRaw>(p, converted);
    }
  }
  return partial != 0;
}

// The same for texels and target known to lie apart (separate pictures):
// the compiler need not guard the vector loop against overlap.
template <PixelKind TexK, PixelKind OutK, bool kBlend>
PELMORA_INLINE_BODY bool SelectRowApart(const uint8_t* __restrict tex, int count, uint8_t* __restrict out) {
  return SelectRowBody<TexK, OutK, kBlend>(tex, count, out);
}

template <PixelKind TexK, PixelKind OutK, bool kBlend>
bool SelectRowPlain(const uint8_t* tex, int count, uint8_t* out) {
  return SelectRowBody<TexK, OutK, kBlend>(tex, count, out);
}

template <PixelKind TexK, PixelKind OutK, bool kBlend>
PELMORA_WIDE bool SelectRowWide(const uint8_t* tex, int count, uint8_t* out) {
  return SelectRowBody<TexK, OutK, kBlend>(tex, count, out);
}

// True when the row holds partly transparent texels still to be blended.
template <PixelKind TexK, PixelKind OutK, bool kBlend>
bool SelectRow(const uint8_t* tex, int count, uint8_t* out) {
  return WideLoops() ? SelectRowWide<TexK, OutK, kBlend>(tex, count, out)
                     : SelectRowPlain<TexK, OutK, kBlend>(tex, count, out);
}

// One texel shaded onto the target pixel at `p`: through the shade tables
// unless they are the identity, blended or written.
template <PixelKind TexK, PixelKind OutK, bool kIdentity, bool kBlend>
PELMORA_INLINE_BODY void ShadeTexel(uint32_t raw, uint8_t* p, const uint8_t (*tables)[256]) {
  using OutRaw = typename Codec<OutK>::Raw;
  if constexpr (kIdentity) {
    // The texel as it is: only a partly transparent one needs its colours.
    const uint32_t sa = AlphaOf<TexK>(raw);
    if (!kBlend || sa == 255) {
      StoreRaw<OutRaw>(p, static_cast<OutRaw>(ConvertRaw<TexK, OutK>(raw)));
      return;
    }
    if (sa == 0) return;
  }
  uint32_t c = Codec<TexK>::Decode(raw);
  if constexpr (!kIdentity) c = ApplyTables(tables, c);
  if constexpr (kBlend) {
    const uint32_t sa = c >> 24;
    if (sa == 0) return;
    if (sa != 255) c = MixPacked(c, Codec<OutK>::Decode(LoadRaw<OutRaw>(p)), sa);
  }
  StoreRaw<OutRaw>(p, static_cast<OutRaw>(Codec<OutK>::Encode(c)));
}

// Texels at `columns` (or, contiguous, from columns[0] on) of `texRow`
// shaded one by one into `out`.
template <PixelKind TexK, PixelKind OutK, bool kIdentity, bool kContiguous, bool kBlend>
void ShadeTexels(const uint8_t* texRow, const int32_t* columns, int count, uint8_t* out,
                 const uint8_t (*tables)[256]) {
  using TexRaw = typename Codec<TexK>::Raw;
  using OutRaw = typename Codec<OutK>::Raw;
  for (int i = 0; i < count; ++i) {
    const int32_t column = kContiguous ? columns[0] + i : columns[i];
    const uint32_t raw = LoadRaw<TexRaw>(texRow + static_cast<size_t>(column) * sizeof(TexRaw));
    ShadeTexel<TexK, OutK, kIdentity, kBlend>(raw, out + static_cast<size_t>(i) * sizeof(OutRaw), tables);
  }
}

// One pixel row of an aligned quad: texels at `columns` (or, contiguous,
// from columns[0] on) of `texRow`, shaded into `out` (the row's first pixel).
template <PixelKind TexK, PixelKind OutK, bool kIdentity, bool kContiguous, bool kBlend>
void ShadeRow(const uint8_t* texRow, const int32_t* columns, int count, uint8_t* out, const uint8_t (*tables)[256]) {
  using TexRaw = typename Codec<TexK>::Raw;
  if constexpr (kIdentity && kContiguous) {
    // The select pass leaves only partly transparent texels to the loop below.
    if (!SelectRow<TexK, OutK, kBlend>(texRow + static_cast<size_t>(columns[0]) * sizeof(TexRaw), count, out)) return;
  }
  ShadeTexels<TexK, OutK, kIdentity, kContiguous, kBlend>(texRow, columns, count, out, tables);
}

// Where the rows of texels a quad reads start: a table of one pointer a
// row, or (no table) `first` and each next row `pitch` bytes on (a pitch
// of 0: every row reads the same run).
struct TexelRows {
  const uint8_t* const* table;
  const uint8_t* first;
  ptrdiff_t pitch;
  const uint8_t* operator[](int r) const { return table ? table[r] : first + r * pitch; }
};

// Rows of texels as they are onto rows of a separate target picture: row r
// reads `count` texels from texRows[r] and writes them at out + r × outPitch.
// One call covers a whole quad, so the loop's set-up is paid once.
template <PixelKind TexK, PixelKind OutK, bool kBlend>
PELMORA_INLINE_BODY void SelectRectBody(const TexelRows& texRows, int rows, int count, uint8_t* out,
                                        ptrdiff_t outPitch, const uint8_t (*tables)[256]) {
  const size_t rowBytes = static_cast<size_t>(count) * sizeof(typename Codec<OutK>::Raw);
  for (int r = 0; r < rows; ++r, out += outPitch) {
    // The target rows lie far apart in memory: ask for the row two ahead
    // while this one is drawn.
#if defined(__GNUC__)
    if (r + 2 < rows) {
      const uint8_t* ahead = out + 2 * outPitch;
      __builtin_prefetch(ahead, 1);
      __builtin_prefetch(ahead + rowBytes - 1, 1);
    }
#endif
    if (!SelectRowApart<TexK, OutK, kBlend>(texRows[r], count, out)) continue;
    const int32_t first = 0;
    ShadeTexels<TexK, OutK, true, true, kBlend>(texRows[r], &first, count, out, tables);
  }
}

template <PixelKind TexK, PixelKind OutK, bool kBlend>
void SelectRectPlain(const TexelRows& texRows, int rows, int count, uint8_t* out, ptrdiff_t outPitch,
                     const uint8_t (*tables)[256]) {
  SelectRectBody<TexK, OutK, kBlend>(texRows, rows, count, out, outPitch, tables);
}

template <PixelKind TexK, PixelKind OutK, bool kBlend>
PELMORA_WIDE void SelectRectWide(const TexelRows& texRows, int rows, int count, uint8_t* out,
                                 ptrdiff_t outPitch, const uint8_t (*tables)[256]) {
  SelectRectBody<TexK, OutK, kBlend>(texRows, rows, count, out, outPitch, tables);
}

using SelectRectFn = void (*)(const TexelRows&, int, int, uint8_t*, ptrdiff_t, const uint8_t (*)[256]);

// A row's texels read backwards from `tex` (pixel i takes the texel i
// places left of it) shaded one by one into `out`, blended.
template <PixelKind TexK, PixelKind OutK>
void ShadeTexelsBackwards(const uint8_t* tex, int count, uint8_t* out, const uint8_t (*tables)[256]) {
  using TexRaw = typename Codec<TexK>::Raw;
  using OutRaw = typename Codec<OutK>::Raw;
  for (int i = 0; i < count; ++i)
    ShadeTexel<TexK, OutK, true, true>(LoadRaw<TexRaw>(tex - static_cast<ptrdiff_t>(i) * sizeof(TexRaw)),
                                       out + static_cast<size_t>(i) * sizeof(OutRaw), tables);
}

#if defined(__GNUC__) && defined(__x86_64__)
// The keyed select of the common sprite formats with AVX-512: a masked
// store writes only the texels that land, so the target's pixels are not
// read at all, and a row's last pixels take a shorter mask instead of a
// loop of their own. 32-bit texels (A8R8G8B8, or X8R8G8B8 always opaque)
// onto a 32-bit target, sixteen a step; A1R5G5B5 onto R5G6B5 or
// A1R5G5B5, thirty-two a step.
//
// kReversed: a picture drawn mirrored, read backwards where it lies. Pixel
// i of a row takes the texel i places left of the row's first texel
// (texRows[r]): each step loads the texels ending there (the mask turned
// round to match, so nothing left of the run is read) and turns them round
// in the register.
//
// kFill: the quad's pixels hold `fill` (a raw value of the target) before
// the draw, as if filled with it first: the pixels no texel lands on are
// written that value in the same pass.
template <PixelKind TexK, PixelKind OutK, bool kReversed, bool kFill = false>
__attribute__((target("avx512f,avx512bw,avx512vl"))) void SelectRectMaskedRoad(const TexelRows& texRows, int rows,
                                                                              int count, uint8_t* out,
                                                                              ptrdiff_t outPitch,
                                                                              const uint8_t (*tables)[256],
                                                                              uint32_t fill = 0) {
  const int whole = count & ~15;
  const __mmask16 tail = static_cast<__mmask16>((1u << (count & 15)) - 1u);
  // The lanes loaded backwards for the tail: its n texels end the vector.
  const __mmask16 tailBack = static_cast<__mmask16>(tail << (16 - (count & 15)));
  for (int r = 0; r < rows; ++r, out += outPitch) {
    const uint8_t* tex = texRows[r];
    // The texture's rows seldom follow each other in memory (its pitch is
    // wider than the quad), so the hardware's look-ahead starts afresh at
    // each: the next row's texels are asked for while this one is drawn.
    const uint8_t* ahead = texRows[r + 1 < rows ? r + 1 : r];
    bool partial = false;
    if constexpr (sizeof(typename Codec<TexK>::Raw) == 4) {
      const __m512i opaque = _mm512_set1_epi32(static_cast<int>(0xFF000000u));
      // Alpha 255 is a texel of 0xFF000000 or more; alpha 1..254 one whose
      // value less 0x01000000 stays below 0xFE000000 (both unsigned). The
      // partly transparent lanes are gathered in a mask, tested once a row.
      __mmask16 partialLanes = 0;
      auto step = [&](int i, __mmask16 in, __mmask16 back)
                      __attribute__((target("avx512f,avx512bw,avx512vl"), always_inline)) {
        __m512i t;
        if constexpr (kReversed) {
          const __m512i turn = _mm512_setr_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
          __builtin_prefetch(ahead - static_cast<ptrdiff_t>(i + 15) * 4, 0, 2);
          t = _mm512_permutexvar_epi32(turn, _mm512_maskz_loadu_epi32(back, tex - static_cast<ptrdiff_t>(i + 15) * 4));
        } else {
          __builtin_prefetch(ahead + static_cast<size_t>(i) * 4, 0, 2);
          t = _mm512_maskz_loadu_epi32(in, tex + static_cast<size_t>(i) * 4);
        }
        __mmask16 lands = in;
        if constexpr (TexK == PixelKind::A8R8G8B8) {
          lands = _mm512_mask_cmpge_epu32_mask(in, t, opaque);
          partialLanes |= _mm512_mask_cmplt_epu32_mask(in, _mm512_sub_epi32(t, _mm512_set1_epi32(0x01000000)),
                                                        _mm512_set1_epi32(static_cast<int>(0xFE000000u)));
        }
        // ConvertRaw: an X8R8G8B8 texel or target has its spare byte set.
        const __m512i v = OutK == PixelKind::X8R8G8B8 || TexK == PixelKind::X8R8G8B8 ? _mm512_or_si512(t, opaque) : t;
        if constexpr (kFill)
          _mm512_mask_storeu_epi32(out + static_cast<size_t>(i) * 4, in,
                                   _mm512_mask_blend_epi32(lands, _mm512_set1_epi32(static_cast<int>(fill)), v));
        else
          _mm512_mask_storeu_epi32(out + static_cast<size_t>(i) * 4, lands, v);
      };
      // Whole steps, then the row's last pixels under the tail mask (the
      // same for every row of the quad).
      int i = 0;
      for (; i < whole; i += 16) step(i, 0xFFFFu, 0xFFFFu);
      if (tail) step(i, tail, tailBack);
      partial = partialLanes != 0;
    } else {
      for (int i = 0; i < count; i += 32) {
        const __mmask32 in = count - i >= 32 ? 0xFFFFFFFFu : (1u << (count - i)) - 1u;
        __m512i t;
        if constexpr (kReversed) {
          const __mmask32 back = count - i >= 32 ? 0xFFFFFFFFu : in << (32 - (count - i));
          const __m512i turn = _mm512_set_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19,
                                                20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31);
          __builtin_prefetch(ahead - static_cast<ptrdiff_t>(i + 31) * 2, 0, 2);
          t = _mm512_permutexvar_epi16(turn, _mm512_maskz_loadu_epi16(back, tex - static_cast<ptrdiff_t>(i + 31) * 2));
        } else {
          __builtin_prefetch(ahead + static_cast<size_t>(i) * 2, 0, 2);
          t = _mm512_maskz_loadu_epi16(in, tex + static_cast<size_t>(i) * 2);
        }
        const __mmask32 lands = in & _mm512_movepi16_mask(t);  // the alpha bit
        __m512i v = t;
        if constexpr (OutK == PixelKind::R5G6B5) {
          // ConvertRaw's 16-bit steps: red up one bit, green through both
          // tables' arithmetic, blue kept.
          const __m512i g = _mm512_and_si512(_mm512_srli_epi16(t, 5), _mm512_set1_epi16(31));
          const __m512i wide = _mm512_srli_epi16(_mm512_mullo_epi16(g, _mm512_set1_epi16(1053)), 7);
          const __m512i g6 = _mm512_srli_epi16(_mm512_add_epi16(_mm512_mullo_epi16(wide, _mm512_set1_epi16(253)),
                                                                _mm512_set1_epi16(505)),
                                               10);
          v = _mm512_or_si512(_mm512_or_si512(_mm512_slli_epi16(_mm512_and_si512(t, _mm512_set1_epi16(0x7C00)), 1),
                                              _mm512_slli_epi16(g6, 5)),
                              _mm512_and_si512(t, _mm512_set1_epi16(0x1F)));
        }
        if constexpr (kFill)
          _mm512_mask_storeu_epi16(out + static_cast<size_t>(i) * 2, in,
                                   _mm512_mask_blend_epi16(lands, _mm512_set1_epi16(static_cast<short>(fill)), v));
        else
          _mm512_mask_storeu_epi16(out + static_cast<size_t>(i) * 2, lands, v);
      }
    }
    if (!partial) continue;
    if constexpr (kReversed) {
      ShadeTexelsBackwards<TexK, OutK>(tex, count, out, tables);
    } else {
      const int32_t first = 0;
      ShadeTexels<TexK, OutK, true, true, true>(tex, &first, count, out, tables);
    }
  }
}

template <PixelKind TexK, PixelKind OutK>
void SelectRectMasked(const TexelRows& texRows, int rows, int count, uint8_t* out, ptrdiff_t outPitch,
                      const uint8_t (*tables)[256]) {
  SelectRectMaskedRoad<TexK, OutK, false>(texRows, rows, count, out, outPitch, tables);
}

template <PixelKind TexK, PixelKind OutK>
void SelectRectMaskedBackwards(const TexelRows& texRows, int rows, int count, uint8_t* out, ptrdiff_t outPitch,
                               const uint8_t (*tables)[256]) {
  SelectRectMaskedRoad<TexK, OutK, true>(texRows, rows, count, out, outPitch, tables);
}

template <PixelKind TexK, PixelKind OutK>
void SelectRectMaskedOverFill(const TexelRows& texRows, int rows, int count, uint8_t* out, ptrdiff_t outPitch,
                              const uint8_t (*tables)[256], uint32_t fill) {
  SelectRectMaskedRoad<TexK, OutK, false, true>(texRows, rows, count, out, outPitch, tables, fill);
}
const bool g_maskedSelect = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                            __builtin_cpu_supports("avx512vl");
#else
template <PixelKind TexK, PixelKind OutK>
void SelectRectMasked(const TexelRows&, int, int, uint8_t*, ptrdiff_t, const uint8_t (*)[256]) {}
template <PixelKind TexK, PixelKind OutK>
void SelectRectMaskedBackwards(const TexelRows&, int, int, uint8_t*, ptrdiff_t, const uint8_t (*)[256]) {}
template <PixelKind TexK, PixelKind OutK>
void SelectRectMaskedOverFill(const TexelRows&, int, int, uint8_t*, ptrdiff_t, const uint8_t (*)[256], uint32_t) {}
const bool g_maskedSelect = false;
#endif

template <PixelKind TexK, PixelKind OutK>
SelectRectFn PickSelectRectFor(bool blend) {
  constexpr bool kMasked = ((TexK == PixelKind::A8R8G8B8 || TexK == PixelKind::X8R8G8B8) &&
                            (OutK == PixelKind::A8R8G8B8 || OutK == PixelKind::X8R8G8B8)) ||
                           (TexK == PixelKind::A1R5G5B5 && (OutK == PixelKind::R5G6B5 || OutK == PixelKind::A1R5G5B5));
  if constexpr (kMasked) {
    if (blend && g_maskedSelect && DrawVectorLevel() >= 2) return SelectRectMasked<TexK, OutK>;
  }
  if (WideLoops()) return blend ? SelectRectWide<TexK, OutK, true> : SelectRectWide<TexK, OutK, false>;
  return blend ? SelectRectPlain<TexK, OutK, true> : SelectRectPlain<TexK, OutK, false>;
}

template <PixelKind TexK>
SelectRectFn PickSelectRectTo(PixelKind out, bool blend) {
  switch (out) {
    case PixelKind::A8R8G8B8: return PickSelectRectFor<TexK, PixelKind::A8R8G8B8>(blend);
    case PixelKind::X8R8G8B8: return PickSelectRectFor<TexK, PixelKind::X8R8G8B8>(blend);
    case PixelKind::R5G6B5: return PickSelectRectFor<TexK, PixelKind::R5G6B5>(blend);
    case PixelKind::A1R5G5B5: return PickSelectRectFor<TexK, PixelKind::A1R5G5B5>(blend);
    default: return nullptr;
  }
}

SelectRectFn PickSelectRect(PixelKind tex, PixelKind out, bool blend) {
  switch (tex) {
    case PixelKind::A8R8G8B8: return PickSelectRectTo<PixelKind::A8R8G8B8>(out, blend);
    case PixelKind::X8R8G8B8: return PickSelectRectTo<PixelKind::X8R8G8B8>(out, blend);
    case PixelKind::R5G6B5: return PickSelectRectTo<PixelKind::R5G6B5>(out, blend);
    case PixelKind::A1R5G5B5: return PickSelectRectTo<PixelKind::A1R5G5B5>(out, blend);
    default: return nullptr;
  }
}

template <PixelKind K>
using KindConstant = std::integral_constant<PixelKind, K>;

// One of the AVX-512 masked whole-quad roads for a pair of formats (32-bit
// texels onto a 32-bit target, A1R5G5B5 onto R5G6B5 or A1R5G5B5), as
// pick(KindConstant<tex>, KindConstant<out>) gives it; null for other
// formats, without blend, or with vector loops held below AVX-512.
template <class Fn, class Pick>
Fn PickMaskedRoad(PixelKind tex, PixelKind out, bool blend, Pick pick) {
  if (!blend || !g_maskedSelect || DrawVectorLevel() < 2) return nullptr;
  auto onto32 = [&](auto texK) -> Fn {
    switch (out) {
      case PixelKind::A8R8G8B8: return pick(texK, KindConstant<PixelKind::A8R8G8B8>{});
      case PixelKind::X8R8G8B8: return pick(texK, KindConstant<PixelKind::X8R8G8B8>{});
      default: return nullptr;
    }
  };
  switch (tex) {
    case PixelKind::A8R8G8B8: return onto32(KindConstant<PixelKind::A8R8G8B8>{});
    case PixelKind::X8R8G8B8: return onto32(KindConstant<PixelKind::X8R8G8B8>{});
    case PixelKind::A1R5G5B5: {
      constexpr KindConstant<PixelKind::A1R5G5B5> a1;
      if (out == PixelKind::R5G6B5) return pick(a1, KindConstant<PixelKind::R5G6B5>{});
      if (out == PixelKind::A1R5G5B5) return pick(a1, KindConstant<PixelKind::A1R5G5B5>{});
      return nullptr;
    }
    default: return nullptr;
  }
}

// The whole-quad select of a picture drawn mirrored, reading its texels
// backwards where they lie (texRows[r]: each row's first pixel's texel);
// null where only the reversed copy of each row serves.
SelectRectFn PickSelectRectBackwards(PixelKind tex, PixelKind out, bool blend) {
  return PickMaskedRoad<SelectRectFn>(tex, out, blend, [](auto texK, auto outK) -> SelectRectFn {
    return SelectRectMaskedBackwards<decltype(texK)::value, decltype(outK)::value>;
  });
}

// The whole-quad select that also writes a fill value where no texel lands
// (a blended draw over a fill of the quad's rectangle, in one pass); null
// where the fill and the draw go apart.
using SelectRectOverFillFn = void (*)(const TexelRows&, int, int, uint8_t*, ptrdiff_t, const uint8_t (*)[256],
                                      uint32_t);
SelectRectOverFillFn PickSelectRectOverFill(PixelKind tex, PixelKind out, bool blend) {
  return PickMaskedRoad<SelectRectOverFillFn>(tex, out, blend, [](auto texK, auto outK) -> SelectRectOverFillFn {
    return SelectRectMaskedOverFill<decltype(texK)::value, decltype(outK)::value>;
  });
}

// A 32-bit texture under tables that keep the colour and make every alpha
// 255 (Device::shadeOpaqueColour_) draws as an opaque X8R8G8B8 texture with
// the identity and no blend: Encode(tables(Decode(p))) is
// Encode(p | 0xFF000000) either way, and an alpha of 255 blends to the
// source itself.
void TakeOpaqueColourRoad(bool opaqueColour, PixelKind& texKind, bool& identity, bool& blend) {
  if (!opaqueColour || (texKind != PixelKind::A8R8G8B8 && texKind != PixelKind::X8R8G8B8)) return;
  texKind = PixelKind::X8R8G8B8;
  identity = true;
  blend = false;
}

// One pixel run of a triangle: the texel of each pixel at its byte offset
// from the texture's first byte, shaded into `out` (the run's first pixel).
template <PixelKind TexK, PixelKind OutK, bool kIdentity, bool kBlend>
void GatherRow(const uint8_t* texBits, const uint32_t* offsets, int count, uint8_t* out, const uint8_t (*tables)[256]) {
  using TexRaw = typename Codec<TexK>::Raw;
  using OutRaw = typename Codec<OutK>::Raw;
  for (int i = 0; i < count; ++i)
    ShadeTexel<TexK, OutK, kIdentity, kBlend>(LoadRaw<TexRaw>(texBits + offsets[i]),
                                              out + static_cast<size_t>(i) * sizeof(OutRaw), tables);
}

using GatherRowFn = void (*)(const uint8_t*, const uint32_t*, int, uint8_t*, const uint8_t (*)[256]);

template <PixelKind TexK, PixelKind OutK>
GatherRowFn PickGather(bool identity, bool blend) {
  if (identity) return blend ? GatherRow<TexK, OutK, true, true> : GatherRow<TexK, OutK, true, false>;
  return blend ? GatherRow<TexK, OutK, false, true> : GatherRow<TexK, OutK, false, false>;
}

template <PixelKind TexK>
GatherRowFn PickGatherFor(PixelKind out, bool identity, bool blend) {
  switch (out) {
    case PixelKind::A8R8G8B8: return PickGather<TexK, PixelKind::A8R8G8B8>(identity, blend);
    case PixelKind::X8R8G8B8: return PickGather<TexK, PixelKind::X8R8G8B8>(identity, blend);
    case PixelKind::R5G6B5: return PickGather<TexK, PixelKind::R5G6B5>(identity, blend);
    case PixelKind::A1R5G5B5: return PickGather<TexK, PixelKind::A1R5G5B5>(identity, blend);
    default: return nullptr;
  }
}

GatherRowFn PickGatherRow(PixelKind tex, PixelKind out, bool identity, bool blend) {
  switch (tex) {
    case PixelKind::A8R8G8B8: return PickGatherFor<PixelKind::A8R8G8B8>(out, identity, blend);
    case PixelKind::X8R8G8B8: return PickGatherFor<PixelKind::X8R8G8B8>(out, identity, blend);
    case PixelKind::R5G6B5: return PickGatherFor<PixelKind::R5G6B5>(out, identity, blend);
    case PixelKind::A1R5G5B5: return PickGatherFor<PixelKind::A1R5G5B5>(out, identity, blend);
    default: return nullptr;
  }
}

// (x + 127) / 255 for x up to 255 × 255, by shifts.
inline uint32_t Div255(uint32_t x) {
  x += 128;
  return (x + (x >> 8)) >> 8;
}

// A row of texels whose stage results are affine in the texel (channel =
// Div255(texel × mul + add)), blended SRCALPHA/INVSRCALPHA onto a row:
// ShadeRow's pixels, computed without table lookups or branches so that the
// compiler vectorises the loop (16-bit colours widen and narrow by
// arithmetic, see Widen5).
// A pixel's four channels on 0..255 as 16-bit values and back, as Decode
// and Encode give them (checked below): the affine blend works on these so
// that its vector loop keeps sixteen channels to a register.
struct Channels16 {
  uint16_t a, r, g, b;
};

template <PixelKind K>
constexpr Channels16 SplitChannels(uint32_t p) {
  if constexpr (K == PixelKind::R5G6B5 || K == PixelKind::A1R5G5B5) {
    const bool six = K == PixelKind::R5G6B5;
    const uint16_t r5 = static_cast<uint16_t>((p >> (six ? 11 : 10)) & 31u);
    const uint16_t g = static_cast<uint16_t>((p >> 5) & (six ? 63u : 31u)), b5 = static_cast<uint16_t>(p & 31u);
    const uint16_t wr = static_cast<uint16_t>(static_cast<uint16_t>(r5 * 1053u) >> 7);
    const uint16_t wb = static_cast<uint16_t>(static_cast<uint16_t>(b5 * 1053u) >> 7);
    const uint16_t wg = six ? static_cast<uint16_t>(static_cast<uint16_t>(g * 259u + 3u) >> 6)
                            : static_cast<uint16_t>(static_cast<uint16_t>(g * 1053u) >> 7);
    const uint16_t a = six ? uint16_t{255} : static_cast<uint16_t>((0u - ((p >> 15) & 1u)) & 0xFFu);
    return {a, wr, wg, wb};
  } else {
    const uint32_t c = Codec<K>::Decode(p);
    return {static_cast<uint16_t>(c >> 24), static_cast<uint16_t>((c >> 16) & 0xFF), static_cast<uint16_t>((c >> 8) & 0xFF),
            static_cast<uint16_t>(c & 0xFF)};
  }
}

template <PixelKind K>
constexpr uint32_t JoinChannels(Channels16 c) {
  if constexpr (K == PixelKind::R5G6B5 || K == PixelKind::A1R5G5B5) {
    const bool six = K == PixelKind::R5G6B5;
    auto n5 = [](uint16_t v) { return static_cast<uint16_t>(static_cast<uint16_t>(v * 249u + 1014u) >> 11); };
    const uint16_t g = six ? static_cast<uint16_t>(static_cast<uint16_t>(c.g * 253u + 505u) >> 10) : n5(c.g);
    const uint16_t top = six ? uint16_t{0} : static_cast<uint16_t>((c.a & 0x80u) << 8);
    return static_cast<uint16_t>(top | n5(c.r) << (six ? 11 : 10) | g << 5 | n5(c.b));
  } else {
    return Codec<K>::Encode(uint32_t{c.a} << 24 | uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b);
  }
}

template <PixelKind K>
constexpr bool ChannelsHold() {
  if constexpr (sizeof(typename Codec<K>::Raw) == 2) {
    for (uint32_t p = 0; p < 65536; ++p) {
      const Channels16 c = SplitChannels<K>(p);
      if ((uint32_t{c.a} << 24 | uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b) != Codec<K>::Decode(p)) return false;
    }
  }
  for (uint32_t v = 0; v < 256; ++v) {
    const uint16_t x = static_cast<uint16_t>(v);
    if (JoinChannels<K>({x, 0, 0, 0}) != Codec<K>::Encode(v << 24) || JoinChannels<K>({0, x, 0, 0}) != Codec<K>::Encode(v << 16) ||
        JoinChannels<K>({0, 0, x, 0}) != Codec<K>::Encode(v << 8) || JoinChannels<K>({0, 0, 0, x}) != Codec<K>::Encode(v))
      return false;
  }
  return true;
}
static_assert(ChannelsHold<PixelKind::R5G6B5>() && ChannelsHold<PixelKind::A1R5G5B5>() &&
              ChannelsHold<PixelKind::A8R8G8B8>() && ChannelsHold<PixelKind::X8R8G8B8>());

// Div255 in 16 bits: x ≤ 255 × 255 keeps every step below 2^16.
inline uint16_t Div255Narrow(uint16_t x) {
  x = static_cast<uint16_t>(x + 128u);
  return static_cast<uint16_t>(static_cast<uint16_t>(x + (x >> 8)) >> 8);
}

template <PixelKind TexK, PixelKind OutK>
PELMORA_INLINE_BODY void AffineBlendBody(const uint8_t* tex, int count, uint8_t* out, const uint32_t* mul,
                                         const uint32_t* add) {
  using TexRaw = typename Codec<TexK>::Raw;
  using OutRaw = typename Codec<OutK>::Raw;
  // Every stage result is at most 255 × 255 before its division (mul and
  // add come from channel values), so the products fit 16 bits.
  const uint16_t ma = static_cast<uint16_t>(mul[0]), mr = static_cast<uint16_t>(mul[1]);
  const uint16_t mg = static_cast<uint16_t>(mul[2]), mb = static_cast<uint16_t>(mul[3]);
  const uint16_t aa = static_cast<uint16_t>(add[0]), ar = static_cast<uint16_t>(add[1]);
  const uint16_t ag = static_cast<uint16_t>(add[2]), ab = static_cast<uint16_t>(add[3]);
  for (int i = 0; i < count; ++i) {
    const Channels16 s = SplitChannels<TexK>(LoadRaw<TexRaw>(tex + static_cast<size_t>(i) * sizeof(TexRaw)));
    const uint32_t raw = LoadRaw<OutRaw>(out + static_cast<size_t>(i) * sizeof(OutRaw));
    const Channels16 d = SplitChannels<OutK>(raw);
    const uint16_t sa = Div255Narrow(static_cast<uint16_t>(s.a * ma + aa)), da = static_cast<uint16_t>(255 - sa);
    const uint16_t r = Div255Narrow(static_cast<uint16_t>(s.r * mr + ar));
    const uint16_t g = Div255Narrow(static_cast<uint16_t>(s.g * mg + ag));
    const uint16_t b = Div255Narrow(static_cast<uint16_t>(s.b * mb + ab));
    const Channels16 v{Div255Narrow(static_cast<uint16_t>(sa * sa + d.a * da)),
                       Div255Narrow(static_cast<uint16_t>(r * sa + d.r * da)),
                       Div255Narrow(static_cast<uint16_t>(g * sa + d.g * da)),
                       Div255Narrow(static_cast<uint16_t>(b * sa + d.b * da))};
    // Alpha 0 leaves the target's pixel as it was, spare bits and all.
    StoreRaw<OutRaw>(out + static_cast<size_t>(i) * sizeof(OutRaw),
                     static_cast<OutRaw>(sa == 0 ? raw : JoinChannels<OutK>(v)));
  }
}

template <PixelKind TexK, PixelKind OutK>
void AffineBlendRowPlain(const uint8_t* tex, int count, uint8_t* out, const uint32_t* mul, const uint32_t* add) {
  AffineBlendBody<TexK, OutK>(tex, count, out, mul, add);
}

template <PixelKind TexK, PixelKind OutK>
PELMORA_WIDE void AffineBlendRowWide(const uint8_t* tex, int count, uint8_t* out, const uint32_t* mul,
                                     const uint32_t* add) {
  AffineBlendBody<TexK, OutK>(tex, count, out, mul, add);
}

#if defined(__GNUC__) && defined(__x86_64__)
#define PELMORA_AVX2_INLINE inline __attribute__((target("avx2"), always_inline))
// Div255 of sixteen 16-bit lanes.
PELMORA_AVX2_INLINE __m256i Div255Lanes(__m256i x) {
  x = _mm256_add_epi16(x, _mm256_set1_epi16(128));
  return _mm256_srli_epi16(_mm256_add_epi16(x, _mm256_srli_epi16(x, 8)), 8);
}

// Four pixels' channels (one 128-bit half each: two pixels of bytes
// widened to 16-bit lanes, blue, green, red, alpha) through the stage and
// the blend.
PELMORA_AVX2_INLINE __m256i AffineBlendLanes(__m256i s, __m256i d, __m256i mul, __m256i add) {
  const __m256i t = Div255Lanes(_mm256_add_epi16(_mm256_mullo_epi16(s, mul), add));
  // Each pixel's alpha (lane 3 of its four) in all four of its lanes.
  const __m256i sa = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(t, 0xFF), 0xFF);
  const __m256i da = _mm256_sub_epi16(_mm256_set1_epi16(255), sa);
  return Div255Lanes(_mm256_add_epi16(_mm256_mullo_epi16(t, sa), _mm256_mullo_epi16(d, da)));
}

// AffineBlendBody for 32-bit texels onto a 32-bit target, written out:
// eight pixels a step, their bytes widened to 16-bit lanes. Returns how
// many pixels it did (a multiple of eight).
template <PixelKind TexK, PixelKind OutK>
__attribute__((target("avx2"))) int AffineBlend32Wide(const uint8_t* tex, int count, uint8_t* out, const uint32_t* mul,
                                                      const uint32_t* add) {
  const __m256i mulV = _mm256_setr_epi16(static_cast<short>(mul[3]), static_cast<short>(mul[2]),
                                         static_cast<short>(mul[1]), static_cast<short>(mul[0]),
                                         static_cast<short>(mul[3]), static_cast<short>(mul[2]),
                                         static_cast<short>(mul[1]), static_cast<short>(mul[0]),
                                         static_cast<short>(mul[3]), static_cast<short>(mul[2]),
                                         static_cast<short>(mul[1]), static_cast<short>(mul[0]),
                                         static_cast<short>(mul[3]), static_cast<short>(mul[2]),
                                         static_cast<short>(mul[1]), static_cast<short>(mul[0]));
  const __m256i addV = _mm256_setr_epi16(static_cast<short>(add[3]), static_cast<short>(add[2]),
                                         static_cast<short>(add[1]), static_cast<short>(add[0]),
                                         static_cast<short>(add[3]), static_cast<short>(add[2]),
                                         static_cast<short>(add[1]), static_cast<short>(add[0]),
                                         static_cast<short>(add[3]), static_cast<short>(add[2]),
                                         static_cast<short>(add[1]), static_cast<short>(add[0]),
                                         static_cast<short>(add[3]), static_cast<short>(add[2]),
                                         static_cast<short>(add[1]), static_cast<short>(add[0]));
  const __m256i alphaMul = _mm256_set1_epi32(static_cast<int>(mul[0])), alphaAdd = _mm256_set1_epi32(static_cast<int>(add[0]));
  const __m256i texAlpha = _mm256_set1_epi32(TexK == PixelKind::X8R8G8B8 ? static_cast<int>(0xFF000000u) : 0);
  const __m256i outAlpha = _mm256_set1_epi32(OutK == PixelKind::X8R8G8B8 ? static_cast<int>(0xFF000000u) : 0);
  const __m256i zero = _mm256_setzero_si256();
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i sRaw = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(tex + static_cast<size_t>(i) * 4)), texAlpha);
    __m256i* const at = reinterpret_cast<__m256i*>(out + static_cast<size_t>(i) * 4);
    const __m256i raw = _mm256_loadu_si256(at);
    const __m256i dRaw = _mm256_or_si256(raw, outAlpha);
    const __m256i lo = AffineBlendLanes(_mm256_unpacklo_epi8(sRaw, zero), _mm256_unpacklo_epi8(dRaw, zero), mulV, addV);
    const __m256i hi = AffineBlendLanes(_mm256_unpackhi_epi8(sRaw, zero), _mm256_unpackhi_epi8(dRaw, zero), mulV, addV);
    const __m256i v = _mm256_or_si256(_mm256_packus_epi16(lo, hi), outAlpha);
    // The stage's alpha of each pixel: 0 leaves the target's pixel as it was.
    const __m256i sa = Div255Lanes(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_srli_epi32(sRaw, 24), alphaMul), alphaAdd));
    const __m256i keep = _mm256_cmpeq_epi32(_mm256_and_si256(sa, _mm256_set1_epi32(0xFFFF)), zero);
    _mm256_storeu_si256(at, _mm256_blendv_epi8(v, raw, keep));
  }
  return i;
}
#endif

template <PixelKind TexK, PixelKind OutK>
void AffineBlendRow(const uint8_t* tex, int count, uint8_t* out, const uint32_t* mul, const uint32_t* add) {
#if defined(__GNUC__) && defined(__x86_64__)
  constexpr bool k32 = (TexK == PixelKind::A8R8G8B8 || TexK == PixelKind::X8R8G8B8) &&
                       (OutK == PixelKind::A8R8G8B8 || OutK == PixelKind::X8R8G8B8);
  if constexpr (k32) {
    if (WideLoops()) {
      const int done = AffineBlend32Wide<TexK, OutK>(tex, count, out, mul, add);
      tex += static_cast<size_t>(done) * 4, out += static_cast<size_t>(done) * 4, count -= done;
    }
  }
#endif
  if (WideLoops()) AffineBlendRowWide<TexK, OutK>(tex, count, out, mul, add);
  else AffineBlendRowPlain<TexK, OutK>(tex, count, out, mul, add);
}

using AffineRowFn = void (*)(const uint8_t*, int, uint8_t*, const uint32_t*, const uint32_t*);

template <PixelKind TexK>
AffineRowFn PickAffineRowFor(PixelKind out) {
  switch (out) {
    case PixelKind::A8R8G8B8: return AffineBlendRow<TexK, PixelKind::A8R8G8B8>;
    case PixelKind::X8R8G8B8: return AffineBlendRow<TexK, PixelKind::X8R8G8B8>;
    case PixelKind::R5G6B5: return AffineBlendRow<TexK, PixelKind::R5G6B5>;
    case PixelKind::A1R5G5B5: return AffineBlendRow<TexK, PixelKind::A1R5G5B5>;
    default: return nullptr;
  }
}

AffineRowFn PickAffineRow(PixelKind tex, PixelKind out) {
  switch (tex) {
    case PixelKind::A8R8G8B8: return PickAffineRowFor<PixelKind::A8R8G8B8>(out);
    case PixelKind::X8R8G8B8: return PickAffineRowFor<PixelKind::X8R8G8B8>(out);
    case PixelKind::R5G6B5: return PickAffineRowFor<PixelKind::R5G6B5>(out);
    case PixelKind::A1R5G5B5: return PickAffineRowFor<PixelKind::A1R5G5B5>(out);
    default: return nullptr;
  }
}

using ShadeRowFn = void (*)(const uint8_t*, const int32_t*, int, uint8_t*, const uint8_t (*)[256]);

template <PixelKind TexK, PixelKind OutK>
ShadeRowFn PickRow(bool identity, bool contiguous, bool blend) {
  const int which = (identity ? 4 : 0) | (contiguous ? 2 : 0) | (blend ? 1 : 0);
  switch (which) {
    case 0: return ShadeRow<TexK, OutK, false, false, false>;
    case 1: return ShadeRow<TexK, OutK, false, false, true>;
    case 2: return ShadeRow<TexK, OutK, false, true, false>;
    case 3: return ShadeRow<TexK, OutK, false, true, true>;
    case 4: return ShadeRow<TexK, OutK, true, false, false>;
    case 5: return ShadeRow<TexK, OutK, true, false, true>;
    case 6: return ShadeRow<TexK, OutK, true, true, false>;
    default: return ShadeRow<TexK, OutK, true, true, true>;
  }
}

template <PixelKind TexK>
ShadeRowFn PickRowFor(PixelKind out, bool identity, bool contiguous, bool blend) {
  switch (out) {
    case PixelKind::A8R8G8B8: return PickRow<TexK, PixelKind::A8R8G8B8>(identity, contiguous, blend);
    case PixelKind::X8R8G8B8: return PickRow<TexK, PixelKind::X8R8G8B8>(identity, contiguous, blend);
    case PixelKind::R5G6B5: return PickRow<TexK, PixelKind::R5G6B5>(identity, contiguous, blend);
    case PixelKind::A1R5G5B5: return PickRow<TexK, PixelKind::A1R5G5B5>(identity, contiguous, blend);
    default: return nullptr;
  }
}

ShadeRowFn PickShadeRow(PixelKind tex, PixelKind out, bool identity, bool contiguous, bool blend) {
  switch (tex) {
    case PixelKind::A8R8G8B8: return PickRowFor<PixelKind::A8R8G8B8>(out, identity, contiguous, blend);
    case PixelKind::X8R8G8B8: return PickRowFor<PixelKind::X8R8G8B8>(out, identity, contiguous, blend);
    case PixelKind::R5G6B5: return PickRowFor<PixelKind::R5G6B5>(out, identity, contiguous, blend);
    case PixelKind::A1R5G5B5: return PickRowFor<PixelKind::A1R5G5B5>(out, identity, contiguous, blend);
    default: return nullptr;
  }
}

// A run of pixels with a colour of alpha sa blended over them: MixPacked
// by 16-bit arithmetic (each channel k + d × (255 − sa), k = c × sa, at most
// 255 × 255), which the compiler vectorises for the 16-bit targets.
template <PixelKind OutK>
PELMORA_INLINE_BODY void SolidBlendBody(uint8_t* out, int count, Channels16 k, uint16_t da) {
  using OutRaw = typename Codec<OutK>::Raw;
  for (int i = 0; i < count; ++i) {
    uint8_t* const p = out + static_cast<size_t>(i) * sizeof(OutRaw);
    const Channels16 d = SplitChannels<OutK>(LoadRaw<OutRaw>(p));
    const Channels16 v{Div255Narrow(static_cast<uint16_t>(k.a + d.a * da)),
                       Div255Narrow(static_cast<uint16_t>(k.r + d.r * da)),
                       Div255Narrow(static_cast<uint16_t>(k.g + d.g * da)),
                       Div255Narrow(static_cast<uint16_t>(k.b + d.b * da))};
    StoreRaw<OutRaw>(p, static_cast<OutRaw>(JoinChannels<OutK>(v)));
  }
}

template <PixelKind OutK>
void SolidBlendPlain(uint8_t* out, int count, Channels16 k, uint16_t da) {
  SolidBlendBody<OutK>(out, count, k, da);
}

template <PixelKind OutK>
PELMORA_WIDE void SolidBlendWide(uint8_t* out, int count, Channels16 k, uint16_t da) {
  SolidBlendBody<OutK>(out, count, k, da);
}

#if defined(__GNUC__) && defined(__x86_64__)
// The same for a 32-bit target written out with AVX2: eight pixels a step,
// their bytes widened to 16-bit lanes. Returns how many pixels it did (a
// multiple of eight).
template <PixelKind OutK>
__attribute__((target("avx2"))) int SolidBlend32Wide(uint8_t* out, int count, Channels16 k, uint16_t da) {
  const short kb = static_cast<short>(k.b), kg = static_cast<short>(k.g), kr = static_cast<short>(k.r),
              ka = static_cast<short>(k.a);
  const __m256i kV = _mm256_setr_epi16(kb, kg, kr, ka, kb, kg, kr, ka, kb, kg, kr, ka, kb, kg, kr, ka);
  const __m256i daV = _mm256_set1_epi16(static_cast<short>(da));
  // An X8R8G8B8 pixel reads as opaque and is written with its spare byte set.
  const __m256i outAlpha = _mm256_set1_epi32(OutK == PixelKind::X8R8G8B8 ? static_cast<int>(0xFF000000u) : 0);
  const __m256i zero = _mm256_setzero_si256();
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    __m256i* const at = reinterpret_cast<__m256i*>(out + static_cast<size_t>(i) * 4);
    const __m256i d = _mm256_or_si256(_mm256_loadu_si256(at), outAlpha);
    const __m256i lo = Div255Lanes(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(d, zero), daV), kV));
    const __m256i hi = Div255Lanes(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(d, zero), daV), kV));
    _mm256_storeu_si256(at, _mm256_or_si256(_mm256_packus_epi16(lo, hi), outAlpha));
  }
  return i;
}
#endif

// Blends colour c (alpha 1..254) over a run of `count` pixels: the vector
// loop the processor and the draw limit allow, the plain loop else.
template <PixelKind OutK>
void SolidBlendRow(uint8_t* out, int count, uint32_t c) {
  const uint16_t sa = static_cast<uint16_t>(c >> 24), da = static_cast<uint16_t>(255 - sa);
  const Channels16 k{static_cast<uint16_t>(sa * sa), static_cast<uint16_t>(((c >> 16) & 0xFF) * sa),
                     static_cast<uint16_t>(((c >> 8) & 0xFF) * sa), static_cast<uint16_t>((c & 0xFF) * sa)};
  if (DrawVectorLevel() == 0) {
    SolidBlendPlain<OutK>(out, count, k, da);
    return;
  }
#if defined(__GNUC__) && defined(__x86_64__)
  if constexpr (sizeof(typename Codec<OutK>::Raw) == 4) {
    const int done = SolidBlend32Wide<OutK>(out, count, k, da);
    out += static_cast<size_t>(done) * 4, count -= done;
  }
#endif
  SolidBlendWide<OutK>(out, count, k, da);
}

// Rows x0..x1 × y0..y1 (inclusive) of one shaded colour.
template <PixelKind OutK>
void SolidRect(PixelImage& target, int x0, int x1, int y0, int y1, uint32_t c, bool blend) {
  using OutRaw = typename Codec<OutK>::Raw;
  const uint32_t sa = c >> 24;
  if (blend && sa == 0) return;
  if (!blend || sa == 255) {
    target.Fill(Rect{x0, y0, x1 + 1, y1 + 1}, Codec<OutK>::Encode(c));
    return;
  }
  for (int y = y0; y <= y1; ++y)
    SolidBlendRow<OutK>(target.Row(y) + static_cast<size_t>(x0) * sizeof(OutRaw), x1 - x0 + 1, c);
}

bool SolidRectFor(PixelKind out, PixelImage& target, int x0, int x1, int y0, int y1, uint32_t c, bool blend) {
  switch (out) {
    case PixelKind::A8R8G8B8: SolidRect<PixelKind::A8R8G8B8>(target, x0, x1, y0, y1, c, blend); return true;
    case PixelKind::X8R8G8B8: SolidRect<PixelKind::X8R8G8B8>(target, x0, x1, y0, y1, c, blend); return true;
    case PixelKind::R5G6B5: SolidRect<PixelKind::R5G6B5>(target, x0, x1, y0, y1, c, blend); return true;
    case PixelKind::A1R5G5B5: SolidRect<PixelKind::A1R5G5B5>(target, x0, x1, y0, y1, c, blend); return true;
    default: return false;
  }
}

// A vertex edge on a pixel boundary: n − 0.5 for a whole n, small enough
// that every edge function of the rasteriser is exact in double.
// v − floor(v) == 0.5 with |v| below 2^20, by integer arithmetic (no
// library call for floor on baseline x86-64): there the difference is
// exact, so it holds exactly when twice v is an odd whole number.
bool OnPixelEdge(float v) {
  if (!(std::fabs(v) < 1048576.0f)) return false;
  const float twice = v * 2.0f;
  const int32_t whole = static_cast<int32_t>(twice);
  return static_cast<float>(whole) == twice && (whole & 1) != 0;
}

// floor(v) and "v is whole" for |v| below 2^31, by truncation (the callers
// check the range first; the sign of a zero result does not matter to them).
double FloorSmall(double v) {
  const double t = static_cast<double>(static_cast<int64_t>(v));
  return t > v ? t - 1.0 : t;
}
bool WholeSmall(double v) { return static_cast<double>(static_cast<int64_t>(v)) == v; }

// out[i] = the texel at column columns[i] of `row` (4 or 2 bytes each).
void GatherTexelsPlain(const uint8_t* row, const int32_t* columns, int count, size_t bytes, uint8_t* out) {
  if (bytes == 4) {
    for (int i = 0; i < count; ++i)
      StoreRaw<uint32_t>(out + static_cast<size_t>(i) * 4, LoadRaw<uint32_t>(row + static_cast<size_t>(columns[i]) * 4));
  } else {
    for (int i = 0; i < count; ++i)
      StoreRaw<uint16_t>(out + static_cast<size_t>(i) * 2, LoadRaw<uint16_t>(row + static_cast<size_t>(columns[i]) * 2));
  }
}

#if defined(__GNUC__) && defined(__x86_64__)
// Eight 16-bit texels at byte offsets `at` from `base`, each read from the
// aligned four bytes that hold it (rows start on four bytes and are padded
// to four), stored one after another at `out`.
PELMORA_WIDE inline void StoreGatheredWords(const int* base, __m256i at, uint8_t* out) {
  const __m256i word = _mm256_i32gather_epi32(base, _mm256_andnot_si256(_mm256_set1_epi32(3), at), 1);
  const __m256i v = _mm256_and_si256(_mm256_srlv_epi32(word, _mm256_slli_epi32(_mm256_and_si256(at, _mm256_set1_epi32(2)), 3)),
                                     _mm256_set1_epi32(0xFFFF));
  const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(v, v), 0x08);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
}

// The same eight at a time by one gather; 16-bit texels come from the
// aligned four bytes that hold them (rows start on four bytes and are padded
// to four), the right half taken.
PELMORA_WIDE void GatherTexelsWide(const uint8_t* row, const int32_t* columns, int count, size_t bytes, uint8_t* out) {
  const int* base = reinterpret_cast<const int*>(row);
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(columns + i));
    if (bytes == 4) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + static_cast<size_t>(i) * 4), _mm256_i32gather_epi32(base, c, 4));
    } else {
      StoreGatheredWords(base, _mm256_add_epi32(c, c), out + static_cast<size_t>(i) * 2);
    }
  }
  GatherTexelsPlain(row, columns + i, count - i, bytes, out + static_cast<size_t>(i) * bytes);
}
#else
void GatherTexelsWide(const uint8_t* row, const int32_t* columns, int count, size_t bytes, uint8_t* out) {
  GatherTexelsPlain(row, columns, count, bytes, out);
}
#endif

void GatherTexels(const uint8_t* row, const int32_t* columns, int count, size_t bytes, uint8_t* out) {
  (WideLoops() ? GatherTexelsWide : GatherTexelsPlain)(row, columns, count, bytes, out);
}

// out[i] = the texel at column start − i of `row` (4 or 2 bytes each): the
// columns of a picture drawn mirrored, none left of column 0.
void ReverseTexelsPlain(const uint8_t* row, int32_t start, int count, size_t bytes, uint8_t* out) {
  if (bytes == 4) {
    for (int i = 0; i < count; ++i)
      StoreRaw<uint32_t>(out + static_cast<size_t>(i) * 4, LoadRaw<uint32_t>(row + static_cast<size_t>(start - i) * 4));
  } else {
    for (int i = 0; i < count; ++i)
      StoreRaw<uint16_t>(out + static_cast<size_t>(i) * 2, LoadRaw<uint16_t>(row + static_cast<size_t>(start - i) * 2));
  }
}

#if defined(__GNUC__) && defined(__x86_64__)
// AVX2: 32 bytes read below `start` and turned round a step (eight 32-bit
// or sixteen 16-bit texels); the last few texels take the plain loop.
PELMORA_WIDE void ReverseTexelsWide(const uint8_t* row, int32_t start, int count, size_t bytes, uint8_t* out) {
  const int lanes = static_cast<int>(32 / bytes);
  const __m256i turn32 = _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0);
  const __m256i turn16 = _mm256_setr_epi8(14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1, 14, 15, 12, 13, 10, 11,
                                          8, 9, 6, 7, 4, 5, 2, 3, 0, 1);
  int i = 0;
  for (; i + lanes <= count; i += lanes) {
    const __m256i v =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + static_cast<size_t>(start - i - lanes + 1) * bytes));
    const __m256i turned = bytes == 4 ? _mm256_permutevar8x32_epi32(v, turn32)
                                      : _mm256_permute4x64_epi64(_mm256_shuffle_epi8(v, turn16), 0x4E);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + static_cast<size_t>(i) * bytes), turned);
  }
  ReverseTexelsPlain(row, start - i, count - i, bytes, out + static_cast<size_t>(i) * bytes);
}

// AVX-512: 64 bytes a step (sixteen 32-bit or thirty-two 16-bit texels).
__attribute__((target("avx512f,avx512bw"))) void ReverseTexelsWidest(const uint8_t* row, int32_t start, int count,
                                                                     size_t bytes, uint8_t* out) {
  const int lanes = static_cast<int>(64 / bytes);
  const __m512i turn32 = _mm512_setr_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  const __m512i turn16 = _mm512_set_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
                                          22, 23, 24, 25, 26, 27, 28, 29, 30, 31);
  int i = 0;
  for (; i + lanes <= count; i += lanes) {
    const __m512i v = _mm512_loadu_si512(row + static_cast<size_t>(start - i - lanes + 1) * bytes);
    const __m512i turned = bytes == 4 ? _mm512_permutexvar_epi32(turn32, v) : _mm512_permutexvar_epi16(turn16, v);
    _mm512_storeu_si512(out + static_cast<size_t>(i) * bytes, turned);
  }
  ReverseTexelsWide(row, start - i, count - i, bytes, out + static_cast<size_t>(i) * bytes);
}
#endif

void ReverseTexels(const uint8_t* row, int32_t start, int count, size_t bytes, uint8_t* out) {
#if defined(__GNUC__) && defined(__x86_64__)
  switch (DrawVectorLevel()) {
    case 2: ReverseTexelsWidest(row, start, count, bytes, out); return;
    case 1: ReverseTexelsWide(row, start, count, bytes, out); return;
    default: break;
  }
#endif
  ReverseTexelsPlain(row, start, count, bytes, out);
}

// out[i] = the texel at byte offset offsets[i] from `bits` (the texture's
// first byte, on four bytes; 4 or 2 bytes a texel).
void GatherTexelsAtPlain(const uint8_t* bits, const uint32_t* offsets, int count, size_t bytes, uint8_t* out) {
  if (bytes == 4) {
    for (int i = 0; i < count; ++i) StoreRaw<uint32_t>(out + static_cast<size_t>(i) * 4, LoadRaw<uint32_t>(bits + offsets[i]));
  } else {
    for (int i = 0; i < count; ++i) StoreRaw<uint16_t>(out + static_cast<size_t>(i) * 2, LoadRaw<uint16_t>(bits + offsets[i]));
  }
}

#if defined(__GNUC__) && defined(__x86_64__)
PELMORA_WIDE void GatherTexelsAtWide(const uint8_t* bits, const uint32_t* offsets, int count, size_t bytes,
                                     uint8_t* out) {
  const int* base = reinterpret_cast<const int*>(bits);
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i at = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(offsets + i));
    if (bytes == 4) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + static_cast<size_t>(i) * 4), _mm256_i32gather_epi32(base, at, 1));
    } else {
      StoreGatheredWords(base, at, out + static_cast<size_t>(i) * 2);
    }
  }
  GatherTexelsAtPlain(bits, offsets + i, count - i, bytes, out + static_cast<size_t>(i) * bytes);
}
#else
void GatherTexelsAtWide(const uint8_t* bits, const uint32_t* offsets, int count, size_t bytes, uint8_t* out) {
  GatherTexelsAtPlain(bits, offsets, count, bytes, out);
}
#endif

void GatherTexelsAt(const uint8_t* bits, const uint32_t* offsets, int count, size_t bytes, uint8_t* out) {
  (WideLoops() ? GatherTexelsAtWide : GatherTexelsAtPlain)(bits, offsets, count, bytes, out);
}

// The texel index ShadePixel picks for texture coordinate `t` (already
// multiplied by the texture size). False when t lies so close to the
// snapping threshold that the rasteriser's own rounding could decide
// either way; the caller then leaves the quad to the general road.
bool TexelIndex(double t, int size, int32_t& index) {
  const double r = std::nearbyint(t);
  const double off = std::fabs(t - r);
  if (std::fabs(off - 1e-4) < 1e-7) return false;
  if (off < 1e-4) t = r;
  index = Wrap(static_cast<int>(std::floor(t)), size);
  return true;
}

// The texel byte offsets of a run of pixels whose 24.40 fixed-point texel
// coordinates (snap already added) start at fu, fv and change by du, dv a
// pixel. A texel is decided when both fractions lie in [lo, hi] and both
// whole parts inside the texture; `undecided` marks the others, and the
// result says whether there were any. No branches, so the compiler
// vectorises the loop.
struct StepRun {
  int64_t fu, fv, du, dv;
  int64_t lo, hi;  // the decided range of fractions
  int64_t width, height;
  uint32_t pitch, bytes;
};

PELMORA_INLINE_BODY bool StepOffsetsBody(const StepRun& r, int count, uint32_t* offsets, uint8_t* undecided) {
  constexpr int64_t kMask = (int64_t{1} << 40) - 1;
  int64_t fu = r.fu, fv = r.fv;
  const int64_t du = r.du, dv = r.dv, lo = r.lo, hi = r.hi, w = r.width, h = r.height;
  const uint32_t pitch = r.pitch, bytes = r.bytes;
  uint32_t any = 0;
  for (int k = 0; k < count; ++k) {
    const int64_t su = fu & kMask, sv = fv & kMask;
    const int64_t iu = fu >> 40, iv = fv >> 40;
    const uint32_t bad = static_cast<uint32_t>((su < lo) | (su > hi) | (sv < lo) | (sv > hi) | (iu < 0) | (iu >= w) |
                                               (iv < 0) | (iv >= h));
    offsets[k] = static_cast<uint32_t>(iv) * pitch + static_cast<uint32_t>(iu) * bytes;
    undecided[k] = static_cast<uint8_t>(bad);
    any |= bad;
    fu += du, fv += dv;
  }
  return any != 0;
}

bool StepOffsetsPlain(const StepRun& r, int count, uint32_t* offsets, uint8_t* undecided) {
  return StepOffsetsBody(r, count, offsets, undecided);
}

PELMORA_WIDE bool StepOffsetsWide(const StepRun& r, int count, uint32_t* offsets, uint8_t* undecided) {
  return StepOffsetsBody(r, count, offsets, undecided);
}

#if defined(__GNUC__) && defined(__x86_64__)
// With AVX-512 the 64-bit shifts, comparisons and products of the stepping
// are single instructions.
#define PELMORA_AVX512 "avx2,bmi,bmi2,fma,avx512f,avx512bw,avx512cd,avx512dq,avx512vl"
__attribute__((target(PELMORA_AVX512))) bool StepOffsetsWidest(const StepRun& r, int count, uint32_t* offsets,
                                                               uint8_t* undecided) {
  return StepOffsetsBody(r, count, offsets, undecided);
}
const bool g_widestStep = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                          __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("fma") &&
                          __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                          __builtin_cpu_supports("avx512cd") && __builtin_cpu_supports("avx512dq") &&
                          __builtin_cpu_supports("avx512vl");
#else
const bool g_widestStep = false;
bool StepOffsetsWidest(const StepRun& r, int count, uint32_t* offsets, uint8_t* undecided) {
  return StepOffsetsBody(r, count, offsets, undecided);
}
#endif

bool StepOffsets(const StepRun& r, int count, uint32_t* offsets, uint8_t* undecided) {
  if (g_widestStep && DrawVectorLevel() >= 2) return StepOffsetsWidest(r, count, offsets, undecided);
  return WideLoops() ? StepOffsetsWide(r, count, offsets, undecided) : StepOffsetsPlain(r, count, offsets, undecided);
}

// ---- triangle set-up and sampling, shared by the general rasteriser and
// the stepped road so that both work out every value identically ----

inline double EdgeValue(const QuadVertex& p, const QuadVertex& q, double x, double y) {
  return (static_cast<double>(q.x) - p.x) * (y - p.y) - (static_cast<double>(q.y) - p.y) * (x - p.x);
}

// A triangle wound so that its edge functions are positive inside; edge i
// runs from v[i + 1] to v[i + 2]. topLeft[i]: pixels exactly on edge i
// belong to the triangle.
struct TriangleSetup {
  const QuadVertex* v[3];
  double area;
  bool topLeft[3];
  int x0, x1, y0, y1;  // the pixel box to scan (inclusive), cut to the target
};

// False for a triangle without area (nothing is drawn).
bool SetUpTriangle(const QuadVertex& a, const QuadVertex& b, const QuadVertex& c, int width, int height,
                   TriangleSetup& t) {
  t.v[0] = &a, t.v[1] = &b, t.v[2] = &c;
  t.area = EdgeValue(a, b, c.x, c.y);
  if (t.area == 0) return false;
  if (t.area < 0) {
    std::swap(t.v[1], t.v[2]);
    t.area = -t.area;
  }
  // Top-left rule with y pointing down: an edge whose interior lies on its
  // positive side is a left edge when it runs upwards, a top edge when it
  // is horizontal and runs to the right.
  auto topLeft = [](const QuadVertex& p, const QuadVertex& q) {
    const double dy = static_cast<double>(q.y) - p.y, dx = static_cast<double>(q.x) - p.x;
    return dy < 0 || (dy == 0 && dx > 0);
  };
  for (int i = 0; i < 3; ++i) t.topLeft[i] = topLeft(*t.v[(i + 1) % 3], *t.v[(i + 2) % 3]);
  const QuadVertex* const* v = t.v;
  const double minX = std::min({v[0]->x, v[1]->x, v[2]->x}), maxX = std::max({v[0]->x, v[1]->x, v[2]->x});
  const double minY = std::min({v[0]->y, v[1]->y, v[2]->y}), maxY = std::max({v[0]->y, v[1]->y, v[2]->y});
  t.x0 = std::max(0, static_cast<int>(std::ceil(minX)));
  t.x1 = std::min(width - 1, static_cast<int>(std::floor(maxX)));
  t.y0 = std::max(0, static_cast<int>(std::ceil(minY)));
  t.y1 = std::min(height - 1, static_cast<int>(std::floor(maxY)));
  return true;
}

inline double EdgeAt(const TriangleSetup& t, int i, double x, double y) {
  return EdgeValue(*t.v[(i + 1) % 3], *t.v[(i + 2) % 3], x, y);
}

// Whether the pixel centre with edge value w lies on the triangle's side of edge i.
inline bool InsideEdge(const TriangleSetup& t, int i, double w) { return w > 0 || (w == 0 && t.topLeft[i]); }

// The barycentric weights of pixel (x, y).
inline void WeightsAt(const TriangleSetup& t, int x, int y, double (&b)[3]) {
  const double w0 = EdgeAt(t, 0, x, y), w1 = EdgeAt(t, 1, x, y), w2 = EdgeAt(t, 2, x, y);
  b[0] = w0 / t.area, b[1] = w1 / t.area, b[2] = w2 / t.area;
}

inline void TexCoordsFrom(const TriangleSetup& t, const double (&b)[3], double& u, double& v) {
  u = b[0] * t.v[0]->u + b[1] * t.v[1]->u + b[2] * t.v[2]->u;
  v = b[0] * t.v[0]->v + b[1] * t.v[1]->v + b[2] * t.v[2]->v;
}

// Point sampling: texel floor(t) of coordinate t (already multiplied by the
// texture size), wrapped. A coordinate within a hair of a texel edge is
// snapped to it so that float vertex data give the texel the exact
// arithmetic would.
inline int SampleTexel(double t, int size) {
  const double r = std::nearbyint(t);
  if (std::fabs(t - r) < 1e-4) t = r;
  return Wrap(static_cast<int>(std::floor(t)), size);
}


}  // namespace

DeviceConfig& DeviceConfiguration() { return g_config; }

PixelFormat D3DFormatPixels(uint32_t format) {
  switch (format) {
    case D3DFMT_A8R8G8B8: return FormatA8R8G8B8();
    case D3DFMT_X8R8G8B8: return FormatX8R8G8B8();
    case D3DFMT_R5G6B5: return FormatR5G6B5();
    case D3DFMT_A1R5G5B5: return FormatA1R5G5B5();
    default: return PixelFormat{0, 0, 0, 0, 0};
  }
}

// ---- surfaces, textures, buffers ----

namespace {

uint64_t NextSurfaceVersion() {
  static std::atomic<uint64_t> next{0};
  return next.fetch_add(1, std::memory_order_relaxed) + 1;
}

}  // namespace

DeviceSurface::DeviceSurface() : version_(NextSurfaceVersion()) {}

void DeviceSurface::Touch() {
  version_ = NextSurfaceVersion();
  // The processor may write anywhere in the back buffer (the frame is then
  // drawn as it comes), or change a texture that kept draws read.
  if (device_ && (backBuffer_ || keptReads_ > 0)) device_->FlushKept();
}

const PixelImage& DeviceSurface::Image() const {
  if (backBuffer_ && device_ && !device_->kept_.empty()) device_->FlushKept();
  return image_;
}

uint32_t DeviceSurface::LockRect(uint8_t*& bits, int& pitch) {
  bits = nullptr;
  pitch = 0;
  // Render targets in the default pool cannot be read by the processor; the
  // layer goes through a system-memory copy (the back buffer is lockable).
  if (!lockable_ || locked_) return D3DERR_INVALIDCALL;
  Touch();
  locked_ = true;
  bits = image_.Bits();
  pitch = image_.Pitch();
  return D3D_OK;
}

uint32_t DeviceSurface::UnlockRect() {
  if (!locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  return D3D_OK;
}

uint32_t DeviceSurface::Release() {
  if (texture_) return texture_->Release();
  if (refs_ == 0) return 0;
  const uint32_t left = --refs_;
  if (left == 0) {
    if (device_) {
      if (pool_ == D3DPOOL_DEFAULT && !backBuffer_) --device_->defaultObjects_;
      --device_->liveObjects_;
      if (device_->renderTarget_ == this) device_->renderTarget_ = nullptr;
      if (device_->backBuffer_ == this) device_->backBuffer_ = nullptr;
    }
    delete this;
  }
  return left;
}

uint32_t DeviceTexture::GetSurfaceLevel(int level, DeviceSurface** out) {
  if (level != 0 || !out) return D3DERR_INVALIDCALL;
  ++refs_;
  *out = &level_;
  return D3D_OK;
}

uint32_t DeviceTexture::Release() {
  const uint32_t left = --refs_;
  if (left == 0) {
    if (device_) {
      if (level_.keptReads_ > 0) device_->FlushKept();  // the kept draws read it: drawn while it lives
      if (level_.pool_ == D3DPOOL_DEFAULT) {
        --device_->defaultObjects_;
        auto& list = device_->defaultTextures_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
      }
      --device_->liveObjects_;
      if (device_->renderTarget_ == &level_) device_->renderTarget_ = device_->backBuffer_;
      if (device_->texture_ == this) device_->texture_ = nullptr;
    }
    delete this;
  }
  return left;
}

uint32_t DeviceBuffer::Lock(uint8_t*& bytes) {
  if (g_config.failVertexLock) {
    bytes = nullptr;
    return D3DERR_INVALIDCALL;
  }
  bytes = bytes_.data();
  return D3D_OK;
}

uint32_t DeviceBuffer::Unlock() { return D3D_OK; }

uint32_t DeviceBuffer::Release() {
  if (device_) {
    --device_->liveObjects_;
    if (device_->stream_ == this) device_->stream_ = nullptr;
    if (device_->indices_ == this) device_->indices_ = nullptr;
  }
  delete this;
  return 0;
}

// ---- the Direct3D object ----

Direct3D* Direct3D::Create() { return g_config.available ? new Direct3D() : nullptr; }

uint32_t Direct3D::GetDeviceCaps(DeviceCaps& caps) const {
  if (g_config.failCaps) return D3DERR_INVALIDCALL;
  caps = g_config.caps;
  return D3D_OK;
}

uint32_t Direct3D::CreateDevice(const PresentParameters& params, bool hardware, Device** out) {
  *out = nullptr;
  if (hardware ? g_config.failHardwareDevice : g_config.failSoftwareDevice) return D3DERR_NOTAVAILABLE;
  auto* device = new Device();
  device->caps_ = g_config.caps;
  device->params_ = params;
  if (!device->MakeBackBuffer()) {
    delete device;
    return D3DERR_INVALIDCALL;
  }
  *out = device;
  return D3D_OK;
}

uint32_t Direct3D::Release() {
  delete this;
  return 0;
}

// ---- the device ----

bool Device::MakeBackBuffer() {
  const int w = params_.backBufferWidth ? static_cast<int>(params_.backBufferWidth) : kScreenWidth;
  const int h = params_.backBufferHeight ? static_cast<int>(params_.backBufferHeight) : kScreenHeight;
  auto* surface = new DeviceSurface();
  if (!surface->image_.Allocate(w, h, D3DFormatPixels(params_.backBufferFormat))) {
    delete surface;
    return false;
  }
  surface->device_ = this;
  surface->format_ = params_.backBufferFormat;
  surface->pool_ = D3DPOOL_DEFAULT;
  surface->renderTarget_ = true;
  surface->backBuffer_ = true;
  ++liveObjects_;
  backBuffer_ = surface;
  renderTarget_ = surface;
  return true;
}

uint32_t Device::CreateTexture(int width, int height, uint32_t usage, uint32_t format, uint32_t pool,
                               DeviceTexture** out) {
  *out = nullptr;
  if (width <= 0 || height <= 0 || width > caps_.maxTextureWidth || height > caps_.maxTextureHeight)
    return D3DERR_INVALIDCALL;
  if ((caps_.textureCaps & D3DPTEXTURECAPS_POW2) && (!IsPowerOfTwo(width) || !IsPowerOfTwo(height)))
    return D3DERR_INVALIDCALL;
  if ((caps_.textureCaps & D3DPTEXTURECAPS_SQUAREONLY) && width != height) return D3DERR_INVALIDCALL;
  if ((usage & D3DUSAGE_RENDERTARGET) && pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
  if (pool == D3DPOOL_DEFAULT && g_config.outOfVideoMemory) return D3DERR_OUTOFVIDEOMEMORY;
  if (pool == D3DPOOL_MANAGED && g_config.failManagedTexture) return E_OUTOFMEMORY;
  if (pool == D3DPOOL_SYSTEMMEM && g_config.failSystemTexture) return E_OUTOFMEMORY;
  if (lost_ && pool == D3DPOOL_DEFAULT) return D3DERR_DEVICELOST;
  auto* texture = new DeviceTexture();
  if (!texture->level_.image_.Allocate(width, height, D3DFormatPixels(format))) {
    delete texture;
    return D3DERR_INVALIDCALL;
  }
  texture->device_ = this;
  texture->usage_ = usage;
  texture->level_.texture_ = texture;
  texture->level_.device_ = this;
  texture->level_.format_ = format;
  texture->level_.pool_ = pool;
  texture->level_.renderTarget_ = (usage & D3DUSAGE_RENDERTARGET) != 0;
  texture->level_.lockable_ = !texture->level_.renderTarget_;
  if (pool == D3DPOOL_DEFAULT) {
    ++defaultObjects_;
    defaultTextures_.push_back(texture);
  }
  ++liveObjects_;
  *out = texture;
  return D3D_OK;
}

uint32_t Device::CreateOffscreenPlainSurface(int width, int height, uint32_t format, uint32_t pool,
                                             DeviceSurface** out) {
  *out = nullptr;
  if (pool == D3DPOOL_SYSTEMMEM && g_config.failSystemTexture) return E_OUTOFMEMORY;
  auto* surface = new DeviceSurface();
  // Kept beside a texture for locking: most are never touched.
  if (!surface->image_.Allocate(width, height, D3DFormatPixels(format), PixelImage::Use::Seldom)) {
    delete surface;
    return D3DERR_INVALIDCALL;
  }
  surface->device_ = this;
  surface->format_ = format;
  surface->pool_ = pool;
  if (pool == D3DPOOL_DEFAULT) ++defaultObjects_;
  ++liveObjects_;
  *out = surface;
  return D3D_OK;
}

uint32_t Device::CreateVertexBuffer(size_t bytes, DeviceBuffer** out) {
  *out = nullptr;
  if (g_config.failVertexBuffers > 0) {
    --g_config.failVertexBuffers;
    return E_OUTOFMEMORY;
  }
  auto* buffer = new DeviceBuffer();
  buffer->device_ = this;
  buffer->bytes_.assign(bytes, 0);
  ++liveObjects_;
  *out = buffer;
  return D3D_OK;
}

uint32_t Device::CreateIndexBuffer(size_t bytes, DeviceBuffer** out) {
  auto* buffer = new DeviceBuffer();
  buffer->device_ = this;
  buffer->bytes_.assign(bytes, 0);
  ++liveObjects_;
  *out = buffer;
  return D3D_OK;
}

uint32_t Device::GetBackBuffer(DeviceSurface** out) {
  *out = nullptr;
  if (!backBuffer_) return D3DERR_INVALIDCALL;
  backBuffer_->AddRef();
  *out = backBuffer_;
  return D3D_OK;
}

uint32_t Device::SetRenderTarget(DeviceSurface* surface) {
  if (!surface || !surface->renderTarget_) return D3DERR_INVALIDCALL;
  renderTarget_ = surface;
  return D3D_OK;
}

uint32_t Device::BeginScene() {
  if (inScene_ || g_config.failBeginScene) return D3DERR_INVALIDCALL;
  inScene_ = true;
  return D3D_OK;
}

uint32_t Device::EndScene() {
  if (!inScene_) return D3DERR_INVALIDCALL;
  inScene_ = false;
  return D3D_OK;
}

uint32_t Device::Clear(const Rect* rects, int count, uint32_t argb) {
  if (!renderTarget_) return D3DERR_INVALIDCALL;
  return ClearRaw(rects, count, WriteArgb(renderTarget_->image_.Format(), Split(argb)));
}

uint32_t Device::ClearRaw(const Rect* rects, int count, uint32_t raw) {
  if (!renderTarget_) return D3DERR_INVALIDCALL;
  const PixelImage& image = renderTarget_->image_;
  const Rect whole{0, 0, image.Width(), image.Height()};
  const bool keep = KeepsDraw();
  for (int i = 0; i < (rects ? count : 1); ++i) {
    const Rect& r = rects ? rects[i] : whole;
    if (keep) Keep(KeptKind::Clear, nullptr, 0, r, raw);
    else ClearNow(r, raw);
  }
  return D3D_OK;
}

void Device::ClearNow(const Rect& rect, uint32_t raw) {
  Rect r = rect;
  r.left = std::max(r.left, clipLeft_);
  r.top = std::max(r.top, clipTop_);
  r.right = std::min(r.right, clipRight_ + 1);
  r.bottom = std::min(r.bottom, clipBottom_ + 1);
  if (r.left < r.right && r.top < r.bottom) renderTarget_->image_.Fill(r, raw);
}

void Device::SetRenderState(uint32_t state, uint32_t value) {
  if (state < 256) renderStates_[state] = value;
}

uint32_t Device::GetRenderState(uint32_t state) const { return state < 256 ? renderStates_[state] : 0; }

void Device::SetColorStage(uint32_t op, uint32_t arg1, uint32_t arg2) {
  colorOp_ = op;
  colorArg1_ = arg1;
  colorArg2_ = arg2;
}

void Device::SetAlphaStage(uint32_t op, uint32_t arg1, uint32_t arg2) {
  alphaOp_ = op;
  alphaArg1_ = arg1;
  alphaArg2_ = arg2;
}

void Device::ShadePixel(int x, int y, uint32_t diffuse, double u, double v) {
  PixelImage& target = renderTarget_->image_;
  Argb texel{255, 0, 0, 0};
  if (texture_) {
    const PixelImage& tex = texture_->level_.image_;
    const int ix = SampleTexel(u * tex.Width(), tex.Width());
    const int iy = SampleTexel(v * tex.Height(), tex.Height());
    texel = ReadArgb(tex.Format(), tex.Get(ix, iy));
  }
  const Argb dif = Split(diffuse);
  const Argb tf = Split(textureFactor_);
  auto arg = [&](uint32_t which, int channel) -> uint32_t {
    const Argb& c = which == D3DTA_TEXTURE ? texel : which == D3DTA_TFACTOR ? tf : dif;
    switch (channel) {
      case 0: return c.a;
      case 1: return c.r;
      case 2: return c.g;
      default: return c.b;
    }
  };
  Argb out;
  out.r = Combine(colorOp_, arg(colorArg1_, 1), arg(colorArg2_, 1), dif.r, tf.a);
  out.g = Combine(colorOp_, arg(colorArg1_, 2), arg(colorArg2_, 2), dif.g, tf.a);
  out.b = Combine(colorOp_, arg(colorArg1_, 3), arg(colorArg2_, 3), dif.b, tf.a);
  out.a = Combine(alphaOp_, arg(alphaArg1_, 0), arg(alphaArg2_, 0), dif.a, tf.a);

  const PixelFormat& f = target.Format();
  if (renderStates_[D3DRS_ALPHABLENDENABLE]) {
    const uint32_t src = renderStates_[D3DRS_SRCBLEND], dst = renderStates_[D3DRS_DESTBLEND];
    if (src == D3DBLEND_SRCALPHA && dst == D3DBLEND_INVSRCALPHA) {
      if (out.a == 0) return;  // nothing of the source shows
      if (out.a < 255) {
        const Argb d = ReadArgb(f, target.Get(x, y));
        const uint32_t sa = out.a;
        auto mix = [sa](uint32_t s, uint32_t dv) { return (s * sa + dv * (255 - sa) + 127) / 255; };
        out = Argb{mix(out.a, d.a), mix(out.r, d.r), mix(out.g, d.g), mix(out.b, d.b)};
      }
    } else if (src == D3DBLEND_ZERO && dst == D3DBLEND_ONE) {
      return;
    }
  }
  target.Set(x, y, WriteArgb(f, out));
}

void Device::DrawTriangle(const QuadVertex& a0, const QuadVertex& b0, const QuadVertex& c0) {
  const PixelImage& target = renderTarget_->image_;
  TriangleSetup t;
  if (!SetUpTriangle(a0, b0, c0, target.Width(), target.Height(), t)) return;
  const QuadVertex* const* v = t.v;
  const bool flat = v[0]->diffuse == v[1]->diffuse && v[1]->diffuse == v[2]->diffuse;
  for (int y = std::max(t.y0, clipTop_); y <= std::min(t.y1, clipBottom_); ++y) {
    for (int x = std::max(t.x0, clipLeft_); x <= std::min(t.x1, clipRight_); ++x) {
      const double w0 = EdgeAt(t, 0, x, y), w1 = EdgeAt(t, 1, x, y), w2 = EdgeAt(t, 2, x, y);
      if (w0 < 0 || w1 < 0 || w2 < 0) continue;
      if ((w0 == 0 && !t.topLeft[0]) || (w1 == 0 && !t.topLeft[1]) || (w2 == 0 && !t.topLeft[2])) continue;
      double b[3];
      WeightsAt(t, x, y, b);
      double u, vv;
      TexCoordsFrom(t, b, u, vv);
      uint32_t diffuse = v[0]->diffuse;
      if (!flat) {
        const Argb c0 = Split(v[0]->diffuse), c1 = Split(v[1]->diffuse), c2 = Split(v[2]->diffuse);
        auto lerp = [&](uint32_t p, uint32_t q, uint32_t r) {
          return static_cast<uint32_t>(std::clamp(std::lround(b[0] * p + b[1] * q + b[2] * r), 0L, 255L));
        };
        diffuse = Join({lerp(c0.a, c1.a, c2.a), lerp(c0.r, c1.r, c2.r), lerp(c0.g, c1.g, c2.g), lerp(c0.b, c1.b, c2.b)});
      }
      ShadePixel(x, y, diffuse, u, vv);
    }
  }
}

bool Device::DrawSteppedTriangle(const QuadVertex& a0, const QuadVertex& b0, const QuadVertex& c0) {
  if (!texture_ || a0.diffuse != b0.diffuse || b0.diffuse != c0.diffuse) return false;
  PixelImage& target = renderTarget_->image_;
  const PixelImage& tex = texture_->level_.image_;
  const PixelKind outKind = KindOf(target.Format());
  PixelKind texKind = KindOf(tex.Format());
  if (outKind == PixelKind::Other || texKind == PixelKind::Other) return false;
  const int texW = tex.Width(), texH = tex.Height();
  if (texW <= 0 || texH <= 0 || static_cast<double>(tex.Pitch()) * texH >= 4294967296.0) return false;
  const double tw = texW, th = texH;
  // Positions and texel coordinates small enough for the error bound below
  // (this also turns away infinities and NaNs).
  double reach = 0, uMax = 0, vMax = 0;
  for (const QuadVertex* p : {&a0, &b0, &c0}) {
    if (!(std::fabs(p->x) < 4194304.0f && std::fabs(p->y) < 4194304.0f)) return false;
    if (!(std::fabs(p->u) * tw < 1048576.0 && std::fabs(p->v) * th < 1048576.0)) return false;
    reach = std::max({reach, std::fabs(static_cast<double>(p->x)), std::fabs(static_cast<double>(p->y))});
    uMax = std::max(uMax, std::fabs(p->u) * tw);
    vMax = std::max(vMax, std::fabs(p->v) * th);
  }
  bool blend = false;
  if (renderStates_[D3DRS_ALPHABLENDENABLE]) {
    const uint32_t src = renderStates_[D3DRS_SRCBLEND], dst = renderStates_[D3DRS_DESTBLEND];
    if (src == D3DBLEND_SRCALPHA && dst == D3DBLEND_INVSRCALPHA) blend = true;
    else if (src == D3DBLEND_ZERO && dst == D3DBLEND_ONE) return true;  // nothing reaches the target
  }
  TriangleSetup t;
  if (!SetUpTriangle(a0, b0, c0, target.Width(), target.Height(), t)) return true;
  if (t.x0 > t.x1 || t.y0 > t.y1) return true;
  UpdateShadeTables(a0.diffuse);
  bool identity = shadeIdentity_;
  TakeOpaqueColourRoad(shadeOpaqueColour_, texKind, identity, blend);
  const GatherRowFn shade = PickGatherRow(texKind, outKind, identity, blend);
  const SelectRectFn rect = identity && &tex != &target ? PickSelectRect(texKind, outKind, blend) : nullptr;
  if (rect) gathered_.resize(static_cast<size_t>(t.x1 - t.x0 + 1) * tex.BytesPerPixel());
  if (!shade) return false;

  // The texel coordinates change by a fixed step per pixel to the right.
  // Each run starts from the rasteriser's own value at its first pixel and
  // steps in 24.40 fixed point. The stepped value stays within `slack` of
  // the rasteriser's (bounded from its rounding: edge values good to
  // reach² × 2^-46, weights to that over the area plus 2^-51, and the
  // stepping's rounding); where floor(t + 1e-4), the texel the rasteriser's
  // snap gives, is not decided by more than that, the pixel's coordinates
  // are worked out exactly as the rasteriser does.
  const QuadVertex* const* v = t.v;
  double du = 0, dv = 0, stepSize = 0;
  for (int i = 0; i < 3; ++i) {
    const double dw = -(static_cast<double>(v[(i + 2) % 3]->y) - v[(i + 1) % 3]->y);  // d(edge i)/dx
    du += dw * v[i]->u;
    dv += dw * v[i]->v;
    stepSize += std::fabs(dw) * std::max(std::fabs(v[i]->u) * tw, std::fabs(v[i]->v) * th);
  }
  du = du / t.area * tw;
  dv = dv / t.area * th;
  if (!(std::fabs(du) < 1048576.0 && std::fabs(dv) < 1048576.0)) return false;
  reach += std::max(t.x1, t.y1) + 2.0;
  const double tMax = std::max(uMax, vMax);
  const double weightError = reach * reach * 0x1p-46 / t.area + 0x1p-51;
  const double startError = tMax * (6 * weightError + 0x1p-50);
  const double stepError = 0x1p-41 + stepSize / t.area * 0x1p-49;
  const double slack = 2 * startError + 0x1p-40 + (t.x1 - t.x0 + 1.0) * stepError;
  if (!(slack < 0x1p-24)) return false;
  constexpr int kFrac = 40;
  constexpr double kOne = 0x1p40;
  const int64_t window = static_cast<int64_t>(slack * kOne * 2) + 2;
  const int64_t fracMask = (int64_t{1} << kFrac) - 1;
  const int64_t snap = std::llround(1e-4 * kOne);
  const int64_t uStep = std::llround(du * kOne), vStep = std::llround(dv * kOne);
  const uint8_t* texBits = tex.Row(0);
  const uint32_t texPitch = static_cast<uint32_t>(tex.Pitch()), texBytes = static_cast<uint32_t>(tex.BytesPerPixel());
  const size_t outBytes = static_cast<size_t>(target.BytesPerPixel());
  texelOffsets_.resize(static_cast<size_t>(t.x1 - t.x0) + 1);
  texelUndecided_.resize(texelOffsets_.size());
  for (int y = std::max(t.y0, clipTop_); y <= std::min(t.y1, clipBottom_); ++y) {
    // The run of covered pixels: every edge value is monotonic along the
    // row, so each edge keeps one side of some column; the column is found
    // from the line's crossing and settled by the rasteriser's own test.
    int lo = t.x0, hi = t.x1;
    for (int i = 0; i < 3 && lo <= hi; ++i) {
      const QuadVertex &p = *v[(i + 1) % 3], &q = *v[(i + 2) % 3];
      const double dy = static_cast<double>(q.y) - p.y;
      auto in = [&](int x) { return InsideEdge(t, i, EdgeAt(t, i, x, y)); };
      if (dy == 0) {
        if (!in(lo)) hi = lo - 1;
        continue;
      }
      const double cross = p.x + (static_cast<double>(q.x) - p.x) * (y - p.y) / dy;
      if (dy < 0) {  // inside to the right of the crossing
        int x = static_cast<int>(std::clamp(std::ceil(cross), lo + 0.0, hi + 1.0));
        while (x > lo && in(x - 1)) --x;
        while (x <= hi && !in(x)) ++x;
        lo = x;
      } else {  // inside to the left
        int x = static_cast<int>(std::clamp(std::floor(cross), lo - 1.0, hi + 0.0));
        while (x < hi && in(x + 1)) ++x;
        while (x >= lo && !in(x)) --x;
        hi = x;
      }
    }
    // Each pixel's texel is the rasteriser's own wherever the run starts.
    lo = std::max(lo, clipLeft_);
    hi = std::min(hi, clipRight_);
    if (lo > hi) continue;
    double b[3], u, vv;
    WeightsAt(t, lo, y, b);
    TexCoordsFrom(t, b, u, vv);
    const StepRun run{std::llround(u * tw * kOne) + snap, std::llround(vv * th * kOne) + snap, uStep, vStep,
                      window, fracMask - window, texW, texH, texPitch, texBytes};
    uint32_t* const offsets = texelOffsets_.data();
    uint8_t* const undecided = texelUndecided_.data();
    if (StepOffsets(run, hi - lo + 1, offsets, undecided)) {
      for (int x = lo; x <= hi; ++x) {
        if (!undecided[x - lo]) continue;
        const int64_t fu = run.fu + (x - lo) * uStep, fv = run.fv + (x - lo) * vStep;
        int ix, iy;
        if ((fu & fracMask) >= window && (fu & fracMask) <= fracMask - window && (fv & fracMask) >= window &&
            (fv & fracMask) <= fracMask - window) {
          // Decided, only outside the texture: wrapped.
          ix = Wrap(static_cast<int>(fu >> kFrac), texW), iy = Wrap(static_cast<int>(fv >> kFrac), texH);
        } else {
          // Too near the snapping threshold: the rasteriser's own way.
          WeightsAt(t, x, y, b);
          TexCoordsFrom(t, b, u, vv);
          ix = SampleTexel(u * tw, texW), iy = SampleTexel(vv * th, texH);
        }
        offsets[x - lo] = static_cast<uint32_t>(iy) * texPitch + static_cast<uint32_t>(ix) * texBytes;
      }
    }
    uint8_t* const out = target.Row(y) + static_cast<size_t>(lo) * outBytes;
    if (rect) {
      // Texels as they are onto a separate picture: gathered into a run,
      // then drawn by the select loop.
      GatherTexelsAt(texBits, offsets, hi - lo + 1, texBytes, gathered_.data());
      const uint8_t* const run = gathered_.data();
      rect(TexelRows{nullptr, run, 0}, 1, hi - lo + 1, out, 0, shadeTables_);
    } else {
      shade(texBits, offsets, hi - lo + 1, out, shadeTables_);
    }
  }
  return true;
}

void Device::DrawStrip(const QuadVertex* v, int count) {
  if (count == 4 && DrawFastPaths() && DrawAlignedQuad(v)) return;
  for (int i = 0; i + 2 < count; ++i)
    if (!DrawFastPaths() || !DrawSteppedTriangle(v[i], v[i + 1], v[i + 2])) DrawTriangle(v[i], v[i + 1], v[i + 2]);
}

namespace {

// The vertices of one strip, copied out of the stream: on the stack for the
// quads the drawing code sends, on the heap for longer strips.
struct StripVertices {
  explicit StripVertices(size_t n) : data(small) {
    if (n > 8) {
      large.resize(n);
      data = large.data();
    }
  }
  StripVertices(const StripVertices&) = delete;
  QuadVertex small[8];
  std::vector<QuadVertex> large;
  QuadVertex* data;
};

}  // namespace

uint32_t Device::DrawPrimitiveStrip(int startVertex, int primitiveCount) {
  if (!renderTarget_ || !stream_ || startVertex < 0 || primitiveCount <= 0) return D3DERR_INVALIDCALL;
  const size_t count = stream_->Size() / kQuadVertexBytes;
  if (static_cast<size_t>(startVertex) + primitiveCount + 2 > count) return D3DERR_INVALIDCALL;
  // The vertices are copied out (a strip of a quad on the stack).
  const size_t n = static_cast<size_t>(primitiveCount) + 2;
  StripVertices strip(n);
  QuadVertex* v = strip.data;
  std::memcpy(v, stream_->Data() + static_cast<size_t>(startVertex) * kQuadVertexBytes, n * kQuadVertexBytes);
  if (KeepsDraw()) Keep(KeptKind::Strip, v, static_cast<int>(n), Rect{}, 0);
  else DrawStrip(v, static_cast<int>(n));
  return D3D_OK;
}

uint32_t Device::DrawPrimitiveStripOverFill(int startVertex, int primitiveCount, const Rect& fill, uint32_t raw) {
  if (!renderTarget_) return D3DERR_INVALIDCALL;
  if (primitiveCount == 2 && stream_ && startVertex >= 0 && DrawFastPaths() &&
      static_cast<size_t>(startVertex) + 4 <= stream_->Size() / kQuadVertexBytes) {
    QuadVertex v[4];
    std::memcpy(v, stream_->Data() + static_cast<size_t>(startVertex) * kQuadVertexBytes, sizeof v);
    if (KeepsDraw()) {
      Keep(KeptKind::StripOverFill, v, 4, fill, raw);
      return D3D_OK;
    }
    const FillUnder under{fill, raw};
    if (DrawAlignedQuad(v, &under)) return D3D_OK;
  }
  ClearRaw(&fill, 1, raw);
  return DrawPrimitiveStrip(startVertex, primitiveCount);
}

uint32_t Device::DrawIndexedPrimitiveStrip(int baseVertex, int startIndex, int primitiveCount) {
  if (!renderTarget_ || !stream_ || !indices_ || startIndex < 0 || primitiveCount <= 0) return D3DERR_INVALIDCALL;
  const size_t indexCount = indices_->Size() / 2, vertexCount = stream_->Size() / kQuadVertexBytes;
  if (static_cast<size_t>(startIndex) + primitiveCount + 2 > indexCount) return D3DERR_INVALIDCALL;
  const size_t n = static_cast<size_t>(primitiveCount) + 2;
  StripVertices strip(n);
  QuadVertex* v = strip.data;
  for (size_t i = 0; i < n; ++i) {
    uint16_t index;
    std::memcpy(&index, indices_->Data() + (startIndex + i) * 2, 2);
    const size_t at = static_cast<size_t>(baseVertex) + index;
    if (at >= vertexCount) return D3DERR_INVALIDCALL;
    std::memcpy(&v[i], stream_->Data() + at * kQuadVertexBytes, kQuadVertexBytes);
  }
  if (KeepsDraw()) Keep(KeptKind::Strip, v, static_cast<int>(n), Rect{}, 0);
  else DrawStrip(v, static_cast<int>(n));
  return D3D_OK;
}

// ---- the back buffer's kept frame ----

namespace {
// A frame keeps no more than this many draws: in one of more (thousands of
// sprites), keeping them costs more than it spares; the rest of it and the
// next frames (Device::keepPause_) are drawn as they come.
constexpr size_t kMostKeptDraws = 4096;
constexpr int kPausedFrames = 60;
}  // namespace

void Device::StopKeepingIfFull() {
  if (kept_.size() < kMostKeptDraws) return;
  FlushKept();
  keepPause_ = kPausedFrames;
}

bool Device::KeepsDraw() {
  if (!renderTarget_) return false;
  StopKeepingIfFull();
  if (renderTarget_ != backBuffer_) {
    renderTarget_->Touch();  // drawn into now, after the kept draws that read it
    return false;
  }
  // A texture held locked may still change under a kept draw: drawn now.
  const bool lockedTexture = texture_ && texture_->level_.locked_;
  if (DrawFastPaths() && !frameAsItCame_ && keepPause_ == 0 && !lockedTexture) return true;
  FlushKept();  // this draw and the rest of the frame as they come
  return false;
}

void Device::Keep(KeptKind kind, const QuadVertex* v, int count, const Rect& rect, uint32_t raw) {
  const int width = backBuffer_->image_.Width(), height = backBuffer_->image_.Height();
  KeptDraw d{};
  d.kind = kind;
  d.blend = renderStates_[D3DRS_ALPHABLENDENABLE];
  d.srcBlend = renderStates_[D3DRS_SRCBLEND];
  d.destBlend = renderStates_[D3DRS_DESTBLEND];
  d.colorOp = colorOp_, d.colorArg1 = colorArg1_, d.colorArg2 = colorArg2_;
  d.alphaOp = alphaOp_, d.alphaArg1 = alphaArg1_, d.alphaArg2 = alphaArg2_;
  d.textureFactor = textureFactor_;
  d.rect = rect;
  d.raw = raw;
  d.firstVertex = static_cast<uint32_t>(keptVertices_.size());
  d.vertexCount = static_cast<uint32_t>(count);
  keptVertices_.insert(keptVertices_.end(), v, v + count);
  if (kind != KeptKind::Clear && texture_) {
    d.texture = texture_;
    d.textureVersion = texture_->level_.version_;
    ++texture_->level_.keptReads_;
  }
  // The pixels it may reach: those of its rectangle, and those whose
  // centres (whole positions) lie within its vertices' outermost positions,
  // as the triangles' bounds are worked out; all of them when a position is
  // not a number.
  const bool strip = kind == KeptKind::Strip;
  int left = strip ? width : rect.left, right = strip ? -1 : rect.right - 1;
  int top = strip ? height : rect.top, bottom = strip ? -1 : rect.bottom - 1;
  for (int i = 0; i < count; ++i) {
    if (!(std::fabs(v[i].x) < 1e6f && std::fabs(v[i].y) < 1e6f)) {
      left = top = 0, right = width - 1, bottom = height - 1;
      break;
    }
    left = std::min(left, static_cast<int>(std::ceil(v[i].x)));
    right = std::max(right, static_cast<int>(std::floor(v[i].x)));
    top = std::min(top, static_cast<int>(std::ceil(v[i].y)));
    bottom = std::max(bottom, static_cast<int>(std::floor(v[i].y)));
  }
  d.left = std::max(left, 0);
  d.right = std::min(right, width - 1);
  d.top = std::max(top, 0);
  d.bottom = std::min(bottom, height - 1);
  kept_.push_back(d);
}

bool Device::KeepProcessorDraw(const DeviceSurface* target, const Rect& reach, const void* key, size_t size,
                               ProcessorDrawFn draw) {
  StopKeepingIfFull();
  if (!target || target != backBuffer_ || !DrawFastPaths() || frameAsItCame_ || keepPause_ > 0) return false;
  KeptDraw d{};
  d.kind = KeptKind::Processor;
  d.left = std::max(reach.left, 0);
  d.top = std::max(reach.top, 0);
  d.right = std::min(reach.right, backBuffer_->image_.Width()) - 1;
  d.bottom = std::min(reach.bottom, backBuffer_->image_.Height()) - 1;
  d.processorDraw = draw;
  d.firstVertex = static_cast<uint32_t>(keptVertices_.size());
  d.firstKeyByte = static_cast<uint32_t>(keptKeys_.size());
  d.keySize = static_cast<uint32_t>(size);
  const auto* bytes = static_cast<const uint8_t*>(key);
  keptKeys_.insert(keptKeys_.end(), bytes, bytes + size);
  kept_.push_back(d);
  return true;
}

void Device::DrawKept(const KeptDraw& d, const QuadVertex* v) {
  if (d.kind == KeptKind::Processor) {
    const Rect clip{std::max(d.left, clipLeft_), std::max(d.top, clipTop_), std::min(d.right, clipRight_) + 1,
                    std::min(d.bottom, clipBottom_) + 1};
    if (clip.left < clip.right && clip.top < clip.bottom)
      d.processorDraw(keptKeys_.data() + d.firstKeyByte, d.keySize, backBuffer_->image_, clip);
    return;
  }
  renderStates_[D3DRS_ALPHABLENDENABLE] = d.blend;
  renderStates_[D3DRS_SRCBLEND] = d.srcBlend;
  renderStates_[D3DRS_DESTBLEND] = d.destBlend;
  colorOp_ = d.colorOp, colorArg1_ = d.colorArg1, colorArg2_ = d.colorArg2;
  alphaOp_ = d.alphaOp, alphaArg1_ = d.alphaArg1, alphaArg2_ = d.alphaArg2;
  textureFactor_ = d.textureFactor;
  texture_ = d.texture;
  switch (d.kind) {
    case KeptKind::Clear: ClearNow(d.rect, d.raw); break;
    case KeptKind::Processor: break;
    case KeptKind::Strip: DrawStrip(v, static_cast<int>(d.vertexCount)); break;
    case KeptKind::StripOverFill: {
      const FillUnder under{d.rect, d.raw};
      if (DrawFastPaths() && DrawAlignedQuad(v, &under)) break;
      ClearNow(d.rect, d.raw);
      DrawStrip(v, 4);
      break;
    }
  }
}

// Draws the kept draws that reach the rectangle, only there, with the live
// state put back after.
void Device::DrawKeptRect(int left, int top, int right, int bottom) {
  const uint32_t states[3] = {renderStates_[D3DRS_ALPHABLENDENABLE], renderStates_[D3DRS_SRCBLEND],
                              renderStates_[D3DRS_DESTBLEND]};
  const uint32_t stages[7] = {colorOp_, colorArg1_, colorArg2_, alphaOp_, alphaArg1_, alphaArg2_, textureFactor_};
  DeviceTexture* const texture = texture_;
  DeviceSurface* const target = renderTarget_;
  renderTarget_ = backBuffer_;
  clipLeft_ = left, clipTop_ = top, clipRight_ = right, clipBottom_ = bottom;
  for (const KeptDraw& d : kept_)
    if (d.top <= bottom && d.bottom >= top && d.left <= right && d.right >= left)
      DrawKept(d, keptVertices_.data() + d.firstVertex);
  clipLeft_ = clipTop_ = 0, clipRight_ = clipBottom_ = 1 << 30;
  renderStates_[D3DRS_ALPHABLENDENABLE] = states[0];
  renderStates_[D3DRS_SRCBLEND] = states[1];
  renderStates_[D3DRS_DESTBLEND] = states[2];
  colorOp_ = stages[0], colorArg1_ = stages[1], colorArg2_ = stages[2];
  alphaOp_ = stages[3], alphaArg1_ = stages[4], alphaArg2_ = stages[5];
  textureFactor_ = stages[6];
  texture_ = texture;
  renderTarget_ = target;
}

void Device::ForgetKept() {
  for (const KeptDraw& d : kept_)
    if (d.texture) --d.texture->level_.keptReads_;
  kept_.clear();
  keptVertices_.clear();
  keptKeys_.clear();
}

void Device::FlushKept() {
  frameAsItCame_ = true;
  if (kept_.empty() || !backBuffer_) {
    ForgetKept();
    return;
  }
  DrawKeptRect(0, 0, backBuffer_->image_.Width() - 1, backBuffer_->image_.Height() - 1);
  ForgetKept();
}

uint32_t Device::TileMask(int left, int right) const {
  if (left > right) return 0;
  const int first = left / tileWidth_, last = right / tileWidth_;
  const uint32_t upTo = last >= kTilesInRow - 1 ? ~0u : (1u << (last + 1)) - 1;
  return upTo & ~((1u << first) - 1);
}

void Device::FinishFrame(FrameChanges& mayDiffer) {
  const PixelImage& image = backBuffer_->image_;
  const int height = image.Height(), width = image.Width();
  tileWidth_ = std::max(1, (width + kTilesInRow - 1) / kTilesInRow);
  const uint32_t wholeRow = TileMask(0, width - 1);
  std::vector<uint32_t>& dirty = dirty_;
  dirty.assign(static_cast<size_t>(height), wholeRow);
  const bool compare = !frameAsItCame_ && lastKeptValid_ && lastDirty_.size() == dirty.size();
  if (compare) {
    std::fill(dirty.begin(), dirty.end(), 0u);
    auto mark = [&](std::vector<uint32_t>& rows, const KeptDraw& d) {
      const uint32_t tiles = TileMask(d.left, d.right);
      if (tiles == 0 || d.top > d.bottom) return;
      uint32_t* const from = rows.data() + d.top;
      const size_t count = static_cast<size_t>(d.bottom - d.top) + 1;
      for (size_t i = 0; i < count; ++i) from[i] |= tiles;
    };
    auto same = [&](size_t i, size_t j) {
      const KeptDraw &a = kept_[i], &b = lastKept_[j];
      auto sameBytes = [](const void* x, const void* y, size_t n) { return n == 0 || std::memcmp(x, y, n) == 0; };
      return a.SameAs(b) &&
             sameBytes(keptVertices_.data() + a.firstVertex, lastKeptVertices_.data() + b.firstVertex,
                       a.vertexCount * sizeof(QuadVertex)) &&
             sameBytes(keptKeys_.data() + a.firstKeyByte, lastKeptKeys_.data() + b.firstKeyByte, a.keySize);
    };
    // Draws that differ mark their tiles in both frames. Lists of one
    // length are compared draw by draw; else past their common start and end.
    size_t first = 0, endNew = kept_.size(), endOld = lastKept_.size();
    if (kept_.size() == lastKept_.size()) {
      for (size_t i = 0; i < kept_.size(); ++i)
        if (!same(i, i)) mark(dirty, kept_[i]), mark(dirty, lastKept_[i]);
      endNew = endOld = 0;
    } else {
      while (first < endNew && first < endOld && same(first, first)) ++first;
      while (endNew > first && endOld > first && same(endNew - 1, endOld - 1)) --endNew, --endOld;
    }
    for (size_t i = first; i < endNew; ++i) mark(dirty, kept_[i]);
    for (size_t j = first; j < endOld; ++j) mark(dirty, lastKept_[j]);
    // The tiles the frame before changed may change again where this frame
    // draws, unless its clears and fills cover them wholly (those leave the
    // same pixels whatever was there). Tiles no draw reaches stay as they are.
    std::vector<uint32_t>& touched = touched_;
    touched.assign(static_cast<size_t>(height), 0u);
    std::vector<Rect>& fills = fills_;
    fills.clear();
    for (const KeptDraw& d : kept_) {
      mark(touched, d);
      if ((d.kind == KeptKind::Clear || d.kind == KeptKind::StripOverFill) && d.rect.left < d.rect.right)
        fills.push_back(d.rect);
    }
    std::vector<std::pair<int, int>>& covers = covers_;  // a row's spans of clears and fills
    for (int y = 0; y < height; ++y) {
      const uint32_t open = lastDirty_[y] & touched[y] & ~dirty[y];
      if (open == 0) continue;
      covers.clear();
      for (const Rect& r : fills)
        if (r.top <= y && y < r.bottom) covers.emplace_back(r.left, r.right);
      std::sort(covers.begin(), covers.end());
      // The tiles wholly inside a run of spans without a gap (the last
      // tile ends at the row's end).
      uint32_t covered = 0;
      for (size_t i = 0; i < covers.size();) {
        const int from = std::max(covers[i].first, 0);
        int to = covers[i].second;
        for (++i; i < covers.size() && covers[i].first <= to; ++i) to = std::max(to, covers[i].second);
        const int firstTile = (from + tileWidth_ - 1) / tileWidth_;
        const int endTile = to >= width ? kTilesInRow : to / tileWidth_;
        if (firstTile < endTile) covered |= TileMask(firstTile * tileWidth_, endTile * tileWidth_ - 1);
      }
      dirty[y] |= open & ~covered;
    }
  }
  // Each band of rows that may change is drawn once, in the runs of tiles
  // any of its rows has, with every draw that reaches them. A tile drawn
  // that its row did not need gets the pixels it holds (drawing the frame
  // over the frame before's pixels gives them there).
  int rowsDrawn = 0, pixelsDrawn = 0;
  for (int y = 0; y < height;) {
    if (dirty[y] == 0) {
      ++y;
      continue;
    }
    int end = y;
    uint32_t tiles = dirty[y];
    while (end + 1 < height && dirty[end + 1] != 0) tiles |= dirty[++end];
    for (uint32_t rest = tiles; rest != 0;) {
      const int from = std::countr_zero(rest);
      const int run = std::countr_one(rest >> from);
      const int left = from * tileWidth_, right = std::min(width, (from + run) * tileWidth_) - 1;
      if (!frameAsItCame_) DrawKeptRect(left, y, right, end);
      pixelsDrawn += (right - left + 1) * (end - y + 1);
      rest = run + from >= kTilesInRow ? 0 : rest & ~((1u << (from + run)) - 1);
    }
    rowsDrawn += end - y + 1;
    y = end + 1;
  }
  rowsDrawnAtLastPresent_ = frameAsItCame_ ? -1 : rowsDrawn;
  pixelsDrawnAtLastPresent_ = frameAsItCame_ ? -1 : pixelsDrawn;
  constexpr int kWholeFramesBeforePause = 3;
  if (keepPause_ > 0) {
    --keepPause_;
  } else if (!compare) {
    wholeFramesInARow_ = 0;  // nothing to compare with: it had to draw everything
  } else {
    wholeFramesInARow_ = pixelsDrawn == width * height ? wholeFramesInARow_ + 1 : 0;
    if (wholeFramesInARow_ >= kWholeFramesBeforePause) {
      wholeFramesInARow_ = 0;
      keepPause_ = kPausedFrames;
    }
  }
  mayDiffer.rows.reset();
  for (int y = 0; y < std::min(height, kScreenHeight); ++y) {
    const uint32_t tiles = dirty[y];
    if (tiles == 0) continue;
    mayDiffer.rows.set(static_cast<size_t>(y));
    mayDiffer.columns[static_cast<size_t>(y)] = FrameChanges::Columns{
        static_cast<int16_t>(std::min(std::countr_zero(tiles) * tileWidth_, kScreenWidth)),
        static_cast<int16_t>(std::min((kTilesInRow - std::countl_zero(tiles)) * tileWidth_, kScreenWidth))};
  }
  lastKeptValid_ = !frameAsItCame_;
  std::swap(lastDirty_, dirty_);
  // The kept draws become the frame before's (their texture reads end now).
  for (const KeptDraw& d : kept_)
    if (d.texture) --d.texture->level_.keptReads_;
  std::swap(kept_, lastKept_);
  std::swap(keptVertices_, lastKeptVertices_);
  std::swap(keptKeys_, lastKeptKeys_);
  kept_.clear();
  keptVertices_.clear();
  keptKeys_.clear();
  frameAsItCame_ = false;
}

bool Device::KeptDraw::SameAs(const KeptDraw& b) const {
  const KeptDraw& a = *this;
  return a.kind == b.kind && a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom &&
         a.blend == b.blend &&
         a.srcBlend == b.srcBlend && a.destBlend == b.destBlend && a.colorOp == b.colorOp &&
         a.colorArg1 == b.colorArg1 && a.colorArg2 == b.colorArg2 && a.alphaOp == b.alphaOp &&
         a.alphaArg1 == b.alphaArg1 && a.alphaArg2 == b.alphaArg2 && a.textureFactor == b.textureFactor &&
         a.texture == b.texture && a.textureVersion == b.textureVersion && a.rect.left == b.rect.left &&
         a.rect.top == b.rect.top && a.rect.right == b.rect.right && a.rect.bottom == b.rect.bottom &&
         a.raw == b.raw && a.vertexCount == b.vertexCount && a.processorDraw == b.processorDraw &&
         a.keySize == b.keySize;
}

void Device::UpdateShadeTables(uint32_t diffuse) {
  const uint32_t state[8] = {colorOp_, colorArg1_, colorArg2_, alphaOp_, alphaArg1_, alphaArg2_, diffuse, textureFactor_};
  if (shadeValid_ && std::equal(state, state + 8, shadeState_)) return;
  std::copy(state, state + 8, shadeState_);
  shadeValid_ = true;
  for (int i = 0; i < shadeSetCount_; ++i) {
    const ShadeSet& set = shadeSets_[i];
    if (!std::equal(state, state + 8, set.state)) continue;
    std::memcpy(shadeTables_, set.tables, sizeof shadeTables_);
    std::copy(set.mul, set.mul + 4, shadeMul_);
    std::copy(set.add, set.add + 4, shadeAdd_);
    shadeIdentity_ = set.identity, shadeConstant_ = set.constant, shadeAffine_ = set.affine;
    shadeOpaqueColour_ = set.opaqueColour;
    return;
  }
  MakeShadeTables();
  ShadeSet& set = shadeSets_[shadeSetNext_];
  shadeSetNext_ = (shadeSetNext_ + 1) % kShadeSets;
  shadeSetCount_ = std::min(shadeSetCount_ + 1, kShadeSets);
  std::copy(state, state + 8, set.state);
  std::memcpy(set.tables, shadeTables_, sizeof set.tables);
  std::copy(shadeMul_, shadeMul_ + 4, set.mul);
  std::copy(shadeAdd_, shadeAdd_ + 4, set.add);
  set.identity = shadeIdentity_, set.constant = shadeConstant_, set.affine = shadeAffine_;
  set.opaqueColour = shadeOpaqueColour_;
}

void Device::MakeShadeTables() {
  const uint32_t diffuse = shadeState_[6];
  const Argb dif = Split(diffuse), tf = Split(textureFactor_);
  // The same choice of argument as ShadePixel, one channel at a time.
  auto pick = [](uint32_t which, uint32_t texel, uint32_t d, uint32_t f) {
    return which == D3DTA_TEXTURE ? texel : which == D3DTA_TFACTOR ? f : d;
  };
  const uint32_t difs[4] = {dif.a, dif.r, dif.g, dif.b}, tfs[4] = {tf.a, tf.r, tf.g, tf.b};
  shadeIdentity_ = true;
  shadeConstant_ = true;
  shadeAffine_ = true;
  for (int ch = 0; ch < 4; ++ch) {
    const uint32_t op = ch == 0 ? alphaOp_ : colorOp_;
    const uint32_t a1 = ch == 0 ? alphaArg1_ : colorArg1_, a2 = ch == 0 ? alphaArg2_ : colorArg2_;
    bool constant = true;
    for (uint32_t t = 0; t < 256; ++t) {
      const uint32_t v = Combine(op, pick(a1, t, difs[ch], tfs[ch]), pick(a2, t, difs[ch], tfs[ch]), difs[ch], tf.a);
      shadeTables_[ch][t] = static_cast<uint8_t>(v);
      if (v != t) shadeIdentity_ = false;
      if (v != shadeTables_[ch][0]) constant = false;
    }
    if (!constant) shadeConstant_ = false;
    // The operations whose result is affine in the texel, as mul and add.
    const bool t1 = a1 == D3DTA_TEXTURE, t2 = a2 == D3DTA_TEXTURE;
    const uint32_t x1 = pick(a1, 0, difs[ch], tfs[ch]), x2 = pick(a2, 0, difs[ch], tfs[ch]);
    uint32_t mul = 0, add = 0;
    if (constant) {
      add = 255u * shadeTables_[ch][0];
    } else if ((op == D3DTOP_SELECTARG1 && t1) || (op == D3DTOP_SELECTARG2 && t2)) {
      mul = 255;
    } else if (op == D3DTOP_MODULATE && t1 != t2) {
      mul = t1 ? x2 : x1;
    } else if (op == D3DTOP_BLENDFACTORALPHA && t1 != t2) {
      mul = t1 ? tf.a : 255 - tf.a;
      add = t1 ? x2 * (255 - tf.a) : x1 * tf.a;
    } else {
      shadeAffine_ = false;
    }
    shadeMul_[ch] = mul;
    shadeAdd_[ch] = add;
    for (uint32_t t = 0; t < 256 && shadeAffine_; ++t)
      if (Div255(t * mul + add) != shadeTables_[ch][t]) shadeAffine_ = false;
  }
  shadeOpaqueColour_ = true;
  for (uint32_t t = 0; t < 256; ++t)
    if (shadeTables_[0][t] != 255 || shadeTables_[1][t] != t || shadeTables_[2][t] != t || shadeTables_[3][t] != t)
      shadeOpaqueColour_ = false;
}


bool Device::DrawAlignedQuad(const QuadVertex* q, const FillUnder* under) {
  const QuadVertex &a = q[0], &b = q[1], &c = q[2], &d = q[3];
  // The strip's triangles share the edge b–c: for a rectangle that is a
  // diagonal, and a and d are the other two corners.
  if (a.diffuse != b.diffuse || b.diffuse != c.diffuse || c.diffuse != d.diffuse) return false;
  if (!(b.x != c.x && b.y != c.y)) return false;
  auto at = [](const QuadVertex& p, float x, float y) { return p.x == x && p.y == y; };
  if (!((at(a, b.x, c.y) && at(d, c.x, b.y)) || (at(a, c.x, b.y) && at(d, b.x, c.y)))) return false;
  if (!OnPixelEdge(b.x) || !OnPixelEdge(c.x) || !OnPixelEdge(b.y) || !OnPixelEdge(c.y)) return false;
  // u may change only across, v only down: equal at corners of one column
  // / row. With b and c apart in both x and y, the corners sharing a column
  // are a–b and c–d when a lies in b's column, else a–c and b–d; the other
  // pairs of each share a row.
  if (a.x == b.x) {
    if (!(a.u == b.u && c.u == d.u && a.v == c.v && b.v == d.v)) return false;
  } else if (!(a.u == c.u && b.u == d.u && a.v == b.v && c.v == d.v)) {
    return false;
  }
  const QuadVertex& left = b.x < c.x ? b : c;
  const QuadVertex& right = b.x < c.x ? c : b;
  const QuadVertex& top = b.y < c.y ? b : c;
  const QuadVertex& bottom = b.y < c.y ? c : b;

  PixelImage& target = renderTarget_->image_;
  const PixelKind outKind = KindOf(target.Format());
  if (outKind == PixelKind::Other) return false;
  bool blend = false;
  if (renderStates_[D3DRS_ALPHABLENDENABLE]) {
    const uint32_t src = renderStates_[D3DRS_SRCBLEND], dst = renderStates_[D3DRS_DESTBLEND];
    if (src == D3DBLEND_SRCALPHA && dst == D3DBLEND_INVSRCALPHA) blend = true;
    else if (src == D3DBLEND_ZERO && dst == D3DBLEND_ONE) return !under;  // nothing reaches the target
  }
  // Pixel centres strictly inside the rectangle; each belongs to exactly one
  // of the two triangles under the top-left rule, so the union is the box.
  const int x0 = std::max({0, clipLeft_, static_cast<int>(left.x + 0.5f)});
  const int x1 = std::min({target.Width() - 1, clipRight_, static_cast<int>(right.x - 0.5f)});
  const int y0 = std::max({0, clipTop_, static_cast<int>(top.y + 0.5f)});
  const int y1 = std::min({target.Height() - 1, clipBottom_, static_cast<int>(bottom.y - 0.5f)});
  UpdateShadeTables(a.diffuse);
  if (x0 > x1 || y0 > y1) return !under;
  if (under) {
    // The fill goes with the draw only where it covers the quad's pixels
    // exactly.
    const Rect& f = under->rect;
    if (std::max({f.left, 0, clipLeft_}) != x0 || std::min({f.right, target.Width(), clipRight_ + 1}) != x1 + 1 ||
        std::max({f.top, 0, clipTop_}) != y0 || std::min({f.bottom, target.Height(), clipBottom_ + 1}) != y1 + 1)
      return false;
  }
  if (!texture_ || shadeConstant_) {
    if (under) return false;
    // No texture reads as opaque black; constant tables ignore the texel.
    const uint32_t colour = ApplyTables(shadeTables_, 0xFF000000u);
    return SolidRectFor(outKind, target, x0, x1, y0, y1, colour, blend);
  }
  const PixelImage& tex = texture_->level_.image_;
  PixelKind texKind = KindOf(tex.Format());
  if (texKind == PixelKind::Other) return false;
  bool identity = shadeIdentity_;
  TakeOpaqueColourRoad(shadeOpaqueColour_, texKind, identity, blend);
  const double tw = tex.Width(), th = tex.Height();
  // Coordinates this small keep the rasteriser's rounding far below the
  // threshold window TexelIndex leaves out.
  if (!(std::max(std::fabs(left.u), std::fabs(right.u)) * tw < 1048576.0) ||
      !(std::max(std::fabs(top.v), std::fabs(bottom.v)) * th < 1048576.0))
    return false;
  const double xl = left.x, xr = right.x, ul = left.u, ur = right.u;
  const double yt = top.y, yb = bottom.y, vt = top.v, vb = bottom.v;
  // The column and row lists only grow: every road reads the first `count`
  // columns and rows alone.
  if (texelColumns_.size() < static_cast<size_t>(x1 - x0) + 1) texelColumns_.resize(static_cast<size_t>(x1 - x0) + 1);
  if (texelRows_.size() < static_cast<size_t>(y1 - y0) + 1) texelRows_.resize(static_cast<size_t>(y1 - y0) + 1);
  // One texel per pixel, starting on a texel edge (the copy of a picture):
  // pixel k's coordinate is exactly edge + k + 0.5, half-way between texel
  // edges, so it reads texel edge + k (wrapped) — what TexelIndex would
  // give, without working it out for each column.
  auto unitSteps = [](double from, double to, double lo, double hi, double size) {
    // from × size lies below 2^20 (checked above).
    return (to - from) * size == hi - lo && WholeSmall(from * size);
  };
  bool unitColumns = unitSteps(ul, ur, xl, xr, tw), unitRows = unitSteps(vt, vb, yt, yb, th);
  const int count = x1 - x0 + 1;
  bool contiguous = true;
  int32_t nextColumn = unitColumns ? Wrap(static_cast<int>(ul * tw) + static_cast<int>(x0 - (xl + 0.5)), tex.Width()) : 0;
  int32_t nextRow = unitRows ? Wrap(static_cast<int>(vt * th) + static_cast<int>(y0 - (yt + 0.5)), tex.Height()) : 0;
  // One texel per pixel up to float rounding (a picture whose texture
  // coordinates are inexact in float): over the whole run the coordinate
  // drifts from first + k by at most `drift`; with the first one's snapped
  // fraction further than that (and a margin far above the rounding of
  // each pixel's own coordinate) from a whole number, pixel k reads texel
  // first + k, as working out each pixel would give.
  // The same for steps of −1 (`dir`), a picture drawn mirrored: pixel k
  // reads texel first − k.
  // The answer depends on lo, hi and p0 only through p0 − lo and hi − lo,
  // so a memo of those and the rest gives back exactly what working it out
  // again would.
  auto nearUnit = [this](int use, double lo, double hi, double from, double to, double size, int p0, int n,
                         int32_t& start, double dir = 1.0) {
    const double offset = p0 - lo, extent = hi - lo;
    NearUnitMemo& memo = nearUnitMemo_[use];
    if (memo.n == n && memo.offset == offset && memo.extent == extent && memo.from == from && memo.to == to &&
        memo.size == size && memo.dir == dir) {
      if (memo.unit) start = memo.start;
      return memo.unit;
    }
    memo = NearUnitMemo{offset, extent, from, to, size, dir, n, false, 0};
    const double first = (from + offset / extent * (to - from)) * size;
    const double step = (to - from) * size / extent;
    if (!(std::fabs(first) < 1048576.0)) return false;
    const double snapped = first + 1e-4, whole = FloorSmall(snapped), frac = snapped - whole;
    const double drift = std::fabs(step - dir) * n, margin = drift + 1e-5;
    if (!(drift < 0.01 && frac > margin && frac < 1.0 - margin)) return false;
    start = Wrap(static_cast<int>(whole), static_cast<int>(size));
    memo.unit = true;
    memo.start = start;
    return true;
  };
  if (!unitColumns) unitColumns = nearUnit(0, xl, xr, ul, ur, tw, x0, count, nextColumn);
  const bool mirroredColumns = !unitColumns && ur < ul && nearUnit(1, xl, xr, ul, ur, tw, x0, count, nextColumn, -1.0);
  if (!unitRows) unitRows = nearUnit(2, yt, yb, vt, vb, th, y0, y1 - y0 + 1, nextRow);
  // A run of unit steps that does not wrap needs only its first column.
  const bool plainRun = unitColumns && nextColumn + count <= tex.Width();
  // Mirrored unit steps that do not wrap: pixel k reads texel mirrorStart − k.
  const int32_t mirrorStart = nextColumn;
  const bool mirroredRun = mirroredColumns && mirrorStart - (count - 1) >= 0;
  // A mirrored picture whose rows follow each other, texels as they are onto
  // a separate picture: read backwards where it lies, the whole quad in one
  // call, without lists of its columns and rows.
  if (!under && mirroredRun && count > 1 && identity && &tex != &target && unitRows &&
      nextRow + (y1 - y0 + 1) <= tex.Height())
    if (const SelectRectFn backwards = PickSelectRectBackwards(texKind, outKind, blend)) {
      const size_t texBytes = static_cast<size_t>(tex.BytesPerPixel());
      const uint8_t* first = tex.Row(nextRow) + static_cast<size_t>(mirrorStart) * texBytes;
      backwards(TexelRows{nullptr, first, tex.Pitch()}, y1 - y0 + 1, count,
                target.Row(y0) + x0 * static_cast<size_t>(target.BytesPerPixel()), target.Pitch(), shadeTables_);
      return true;
    }
  if (plainRun) texelColumns_[0] = nextColumn;
  for (int x = x0; x <= x1 && !plainRun; ++x) {
    int32_t& column = texelColumns_[x - x0];
    if (unitColumns) {
      column = nextColumn;
      if (++nextColumn == tex.Width()) nextColumn = 0;
    } else if (mirroredColumns) {
      column = nextColumn;
      if (--nextColumn < 0) nextColumn = tex.Width() - 1;
    } else {
      const double u = ul + (x - xl) / (xr - xl) * (ur - ul);
      if (!TexelIndex(u * tw, tex.Width(), column)) return false;
    }
    if (x > x0 && column != texelColumns_[x - x0 - 1] + 1) contiguous = false;
  }
  // Unit steps that do not wrap: the rows follow each other.
  const bool plainRows = unitRows && nextRow + (y1 - y0 + 1) <= tex.Height();
  // Those rows are written out only for the roads that look them up one by
  // one; the whole-quad select needs only the first.
  const int32_t firstRow = nextRow;
  auto listPlainRows = [&] {
    if (plainRows)
      for (int r = 0; r <= y1 - y0; ++r) texelRows_[r] = firstRow + r;
  };
  for (int y = y0; y <= y1 && !plainRows; ++y) {
    int32_t& row = texelRows_[y - y0];
    if (unitRows) {
      row = nextRow;
      if (++nextRow == tex.Height()) nextRow = 0;
    } else {
      const double v = vt + (y - yt) / (yb - yt) * (vb - vt);
      if (!TexelIndex(v * th, tex.Height(), row)) return false;
    }
  }
  if (under) {
    // Fill and draw as one: only through the whole-quad select.
    const SelectRectOverFillFn overFill =
        identity && contiguous && &tex != &target ? PickSelectRectOverFill(texKind, outKind, blend) : nullptr;
    if (!overFill) return false;
    const size_t texBytes = static_cast<size_t>(tex.BytesPerPixel());
    const int rows = y1 - y0 + 1;
    uint8_t* const out = target.Row(y0) + x0 * static_cast<size_t>(target.BytesPerPixel());
    if (plainRows) {
      const uint8_t* first = tex.Row(firstRow) + static_cast<size_t>(texelColumns_[0]) * texBytes;
      overFill(TexelRows{nullptr, first, tex.Pitch()}, rows, count, out, target.Pitch(), shadeTables_, under->raw);
      return true;
    }
    texelRowStarts_.resize(static_cast<size_t>(rows));
    for (int r = 0; r < rows; ++r)
      texelRowStarts_[r] = tex.Row(texelRows_[r]) + static_cast<size_t>(texelColumns_[0]) * texBytes;
    overFill(TexelRows{texelRowStarts_.data(), nullptr, 0}, rows, count, out, target.Pitch(), shadeTables_,
             under->raw);
    return true;
  }
  if (blend && contiguous && shadeAffine_ && !identity) {
    if (const AffineRowFn affine = PickAffineRow(texKind, outKind)) {
      listPlainRows();
      const size_t outBytes = static_cast<size_t>(target.BytesPerPixel());
      for (int y = y0; y <= y1; ++y)
        affine(tex.Row(texelRows_[y - y0]) + static_cast<size_t>(texelColumns_[0]) * tex.BytesPerPixel(), count,
               target.Row(y) + x0 * outBytes, shadeMul_, shadeAdd_);
      return true;
    }
  }
  const size_t outBytes = static_cast<size_t>(target.BytesPerPixel());
  const SelectRectFn rect = identity && &tex != &target ? PickSelectRect(texKind, outKind, blend) : nullptr;
  if (rect) {
    // Texels as they are onto a separate picture: the whole quad in one call.
    const size_t texBytes = static_cast<size_t>(tex.BytesPerPixel());
    const int rows = y1 - y0 + 1;
    uint8_t* const out = target.Row(y0) + x0 * outBytes;
    if (contiguous) {
      if (plainRows) {
        const uint8_t* first = tex.Row(firstRow) + static_cast<size_t>(texelColumns_[0]) * texBytes;
        rect(TexelRows{nullptr, first, tex.Pitch()}, rows, count, out, target.Pitch(), shadeTables_);
        return true;
      }
      texelRowStarts_.resize(static_cast<size_t>(rows));
      for (int r = 0; r < rows; ++r)
        texelRowStarts_[r] = tex.Row(texelRows_[r]) + static_cast<size_t>(texelColumns_[0]) * texBytes;
      rect(TexelRows{texelRowStarts_.data(), nullptr, 0}, rows, count, out, target.Pitch(), shadeTables_);
      return true;
    }
    // Scattered columns (an enlargement, a mirrored picture): each texel row's texels gathered
    // once into a run, drawn onto every pixel row that reads that texel row.
    listPlainRows();
    gathered_.resize(static_cast<size_t>(count) * texBytes);
    const TexelRows run{nullptr, gathered_.data(), 0};
    for (int r = 0; r < rows;) {
      int end = r + 1;
      while (end < rows && texelRows_[end] == texelRows_[r]) ++end;
      if (mirroredRun) ReverseTexels(tex.Row(texelRows_[r]), mirrorStart, count, texBytes, gathered_.data());
      else GatherTexels(tex.Row(texelRows_[r]), texelColumns_.data(), count, texBytes, gathered_.data());
      rect(run, end - r, count, out + static_cast<ptrdiff_t>(r) * target.Pitch(), target.Pitch(), shadeTables_);
      r = end;
    }
    return true;
  }
  const ShadeRowFn row = PickShadeRow(texKind, outKind, identity, contiguous, blend);
  if (!row) return false;
  listPlainRows();
  for (int y = y0; y <= y1; ++y)
    row(tex.Row(texelRows_[y - y0]), texelColumns_.data(), count, target.Row(y) + x0 * outBytes, shadeTables_);
  return true;
}

uint32_t Device::GetRenderTargetData(DeviceSurface* rt, DeviceSurface* copy) {
  if (!rt || !copy || !rt->image_.SameSize(copy->image_) || rt->format_ != copy->format_) return D3DERR_INVALIDCALL;
  const PixelImage& from = std::as_const(*rt).Image();  // the back buffer with every draw made so far
  copy->Touch();
  for (int y = 0; y < rt->Height(); ++y)
    std::memcpy(copy->image_.Row(y), from.Row(y), static_cast<size_t>(rt->Width()) * from.BytesPerPixel());
  return D3D_OK;
}

uint32_t Device::UpdateSurface(DeviceSurface* copy, DeviceSurface* target) {
  if (!copy || !target || !copy->image_.SameSize(target->image_) || copy->format_ != target->format_)
    return D3DERR_INVALIDCALL;
  target->Touch();
  for (int y = 0; y < copy->Height(); ++y)
    std::memcpy(target->image_.Row(y), copy->image_.Row(y),
                static_cast<size_t>(copy->Width()) * copy->image_.BytesPerPixel());
  return D3D_OK;
}

uint32_t Device::Present() {
  if (lost_) {
    // Drawn as they came onto the lost back buffer; nothing to compare with.
    FlushKept();
    frameAsItCame_ = false;
    return D3DERR_DEVICELOST;
  }
  if (!backBuffer_) return D3DERR_INVALIDCALL;
  FinishFrame(mayDiffer_);
  if (params_.presentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE) WaitVerticalBlank();
  presenter_.Present(backBuffer_->image_, nullptr, &mayDiffer_);
  return D3D_OK;
}

uint32_t Device::TestCooperativeLevel() {
  if (!lost_) return D3D_OK;
  if (lostChecks_ > 0) {
    --lostChecks_;
    return D3DERR_DEVICELOST;
  }
  return D3DERR_DEVICENOTRESET;
}

uint32_t Device::Reset(const PresentParameters& params) {
  // Every default-pool object and every reference to the back buffer must
  // be gone first: the drawing code releases and re-makes them around a reset.
  if (defaultObjects_ > 0 || (backBuffer_ && backBuffer_->refs_ > 1)) return D3DERR_INVALIDCALL;
  ForgetKept();
  lastKeptValid_ = false;
  if (backBuffer_) {
    backBuffer_->refs_ = 1;
    backBuffer_->Release();
  }
  params_ = params;
  if (!MakeBackBuffer()) return D3DERR_INVALIDCALL;
  lost_ = false;
  inScene_ = false;
  texture_ = nullptr;
  return D3D_OK;
}

void Device::SimulateDeviceLoss() {
  FlushKept();
  lastKeptValid_ = false;
  lost_ = true;
  lostChecks_ = g_config.notResetAfterLoss;
  if (backBuffer_) backBuffer_->image_.Scribble(0xCD);
  // Default-pool pictures are garbage now; the layer must re-create them.
  for (DeviceTexture* t : defaultTextures_) t->level_.image_.Scribble(0xCD);
}

uint32_t Device::Release() {
  ForgetKept();
  if (backBuffer_) {
    backBuffer_->refs_ = 1;
    backBuffer_->Release();
  }
  const int left = liveObjects_;
  delete this;
  return static_cast<uint32_t>(left);
}

}  // namespace plat
