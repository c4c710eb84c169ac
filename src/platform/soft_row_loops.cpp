// The device's loops over rows of pixels: keyed selects, shaded runs,
// gathers, affine blends and solid fills, each compiled for every pair of
// texture and target formats, plainly and for AVX2 (and AVX-512 where it
// pays); the Pick functions hand the device the loop for a draw.
#include <cstddef>
#include <type_traits>
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

#include "platform/soft_loops.h"

namespace plat::soft {
namespace {
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
          // All sixteen lanes through the masked form: GCC 12's plain
          // _mm512_permutexvar_epi32 starts from an undefined vector it then warns of.
          t = _mm512_maskz_permutexvar_epi32(0xFFFF, turn,
                                             _mm512_maskz_loadu_epi32(back, tex - static_cast<ptrdiff_t>(i + 15) * 4));
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

}  // namespace

SelectRectFn PickSelectRect(PixelKind tex, PixelKind out, bool blend) {
  switch (tex) {
    case PixelKind::A8R8G8B8: return PickSelectRectTo<PixelKind::A8R8G8B8>(out, blend);
    case PixelKind::X8R8G8B8: return PickSelectRectTo<PixelKind::X8R8G8B8>(out, blend);
    case PixelKind::R5G6B5: return PickSelectRectTo<PixelKind::R5G6B5>(out, blend);
    case PixelKind::A1R5G5B5: return PickSelectRectTo<PixelKind::A1R5G5B5>(out, blend);
    default: return nullptr;
  }
}

namespace {

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

}  // namespace

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
SelectRectOverFillFn PickSelectRectOverFill(PixelKind tex, PixelKind out, bool blend) {
  return PickMaskedRoad<SelectRectOverFillFn>(tex, out, blend, [](auto texK, auto outK) -> SelectRectOverFillFn {
    return SelectRectMaskedOverFill<decltype(texK)::value, decltype(outK)::value>;
  });
}

namespace {

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

}  // namespace

GatherRowFn PickGatherRow(PixelKind tex, PixelKind out, bool identity, bool blend) {
  switch (tex) {
    case PixelKind::A8R8G8B8: return PickGatherFor<PixelKind::A8R8G8B8>(out, identity, blend);
    case PixelKind::X8R8G8B8: return PickGatherFor<PixelKind::X8R8G8B8>(out, identity, blend);
    case PixelKind::R5G6B5: return PickGatherFor<PixelKind::R5G6B5>(out, identity, blend);
    case PixelKind::A1R5G5B5: return PickGatherFor<PixelKind::A1R5G5B5>(out, identity, blend);
    default: return nullptr;
  }
}

namespace {

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

}  // namespace

AffineRowFn PickAffineRow(PixelKind tex, PixelKind out) {
  switch (tex) {
    case PixelKind::A8R8G8B8: return PickAffineRowFor<PixelKind::A8R8G8B8>(out);
    case PixelKind::X8R8G8B8: return PickAffineRowFor<PixelKind::X8R8G8B8>(out);
    case PixelKind::R5G6B5: return PickAffineRowFor<PixelKind::R5G6B5>(out);
    case PixelKind::A1R5G5B5: return PickAffineRowFor<PixelKind::A1R5G5B5>(out);
    default: return nullptr;
  }
}

namespace {

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

}  // namespace

ShadeRowFn PickShadeRow(PixelKind tex, PixelKind out, bool identity, bool contiguous, bool blend) {
  switch (tex) {
    case PixelKind::A8R8G8B8: return PickRowFor<PixelKind::A8R8G8B8>(out, identity, contiguous, blend);
    case PixelKind::X8R8G8B8: return PickRowFor<PixelKind::X8R8G8B8>(out, identity, contiguous, blend);
    case PixelKind::R5G6B5: return PickRowFor<PixelKind::R5G6B5>(out, identity, contiguous, blend);
    case PixelKind::A1R5G5B5: return PickRowFor<PixelKind::A1R5G5B5>(out, identity, contiguous, blend);
    default: return nullptr;
  }
}

namespace {

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

}  // namespace

bool SolidRectFor(PixelKind out, PixelImage& target, int x0, int x1, int y0, int y1, uint32_t c, bool blend) {
  switch (out) {
    case PixelKind::A8R8G8B8: SolidRect<PixelKind::A8R8G8B8>(target, x0, x1, y0, y1, c, blend); return true;
    case PixelKind::X8R8G8B8: SolidRect<PixelKind::X8R8G8B8>(target, x0, x1, y0, y1, c, blend); return true;
    case PixelKind::R5G6B5: SolidRect<PixelKind::R5G6B5>(target, x0, x1, y0, y1, c, blend); return true;
    case PixelKind::A1R5G5B5: SolidRect<PixelKind::A1R5G5B5>(target, x0, x1, y0, y1, c, blend); return true;
    default: return false;
  }
}

}  // namespace plat::soft
