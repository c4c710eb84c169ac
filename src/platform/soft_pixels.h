// The software device's pixel arithmetic, shared by its drawing loops
// (soft_row_loops.cpp, soft_texel_loops.cpp) and the device itself
// (soft_device*.cpp): colours as 8-bit ARGB, the specialised road's pixel
// codecs, and the texture-stage operations. Internal to the device.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/raw_pixels.h"
#include "platform/soft_device.h"

namespace plat::soft {

struct Argb {
  uint32_t a, r, g, b;
};

inline Argb Split(uint32_t v) { return {v >> 24, (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF}; }
inline uint32_t Join(const Argb& c) { return (c.a << 24) | (c.r << 16) | (c.g << 8) | c.b; }

inline uint32_t Widen(uint32_t pixel, uint32_t mask) {
  const uint32_t max = MaskMax(mask);
  if (max == 0) return 0;
  return ((pixel & mask) >> MaskShift(mask)) * 255 / max;
}

inline uint32_t Narrow(uint32_t value, uint32_t mask) {
  const uint32_t max = MaskMax(mask);
  if (max == 0) return 0;
  return ((value * max + 127) / 255) << MaskShift(mask);
}

// A raw pixel of a device format as 8-bit ARGB (formats without alpha are opaque).
inline Argb ReadArgb(const PixelFormat& f, uint32_t pixel) {
  Argb c{255, Widen(pixel, f.redMask), Widen(pixel, f.greenMask), Widen(pixel, f.blueMask)};
  if (f.alphaMask == 0x8000) c.a = (pixel & 0x8000) ? 255 : 0;
  else if (f.alphaMask) c.a = Widen(pixel, f.alphaMask);
  return c;
}

inline uint32_t WriteArgb(const PixelFormat& f, const Argb& c) {
  uint32_t v = Narrow(c.r, f.redMask) | Narrow(c.g, f.greenMask) | Narrow(c.b, f.blueMask);
  if (f.alphaMask == 0x8000) v |= c.a >= 128 ? 0x8000u : 0u;
  else if (f.alphaMask) v |= Narrow(c.a, f.alphaMask);
  else if (f.bitsPerPixel == 32) v |= 0xFF000000u;  // X8R8G8B8 keeps its spare byte set
  return v;
}

inline uint32_t Mul(uint32_t a, uint32_t b) { return (a * b + 127) / 255; }

inline uint32_t Combine(uint32_t op, uint32_t a1, uint32_t a2, uint32_t diffuse, uint32_t factorAlpha) {
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

inline bool IsPowerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

// Positive remainder (no division for a value already in range).
inline int Wrap(int v, int n) {
  if (static_cast<unsigned>(v) < static_cast<unsigned>(n)) return v;
  const int m = v % n;
  return m < 0 ? m + n : m;
}

// ---- the specialised road's pixel codecs ----
// Colours travel packed as 0xAARRGGBB. Each codec gives exactly what
// ReadArgb and WriteArgb give for its format.

enum class PixelKind { A8R8G8B8, X8R8G8B8, R5G6B5, A1R5G5B5, Other };

// The formats compared field by field here (every quad asks twice).
inline PixelKind KindOf(const PixelFormat& f) {
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

// (x + 127) / 255 for x up to 255 × 255, by shifts.
inline uint32_t Div255(uint32_t x) {
  x += 128;
  return (x + (x >> 8)) >> 8;
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

}  // namespace plat::soft
