#include "platform/soft_device.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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

// Positive remainder.
int Wrap(int v, int n) {
  const int m = v % n;
  return m < 0 ? m + n : m;
}

// ---- the specialised road's pixel codecs ----
// Colours travel packed as 0xAARRGGBB. Each codec gives exactly what
// ReadArgb and WriteArgb give for its format.

enum class PixelKind { A8R8G8B8, X8R8G8B8, R5G6B5, A1R5G5B5, Other };

PixelKind KindOf(const PixelFormat& f) {
  if (f == FormatA8R8G8B8()) return PixelKind::A8R8G8B8;
  if (f == FormatX8R8G8B8()) return PixelKind::X8R8G8B8;
  if (f == FormatR5G6B5()) return PixelKind::R5G6B5;
  if (f == FormatA1R5G5B5()) return PixelKind::A1R5G5B5;
  return PixelKind::Other;
}

struct ChannelTables {
  uint8_t widen5[32], widen6[64];      // c × 255 / max, truncated
  uint8_t narrow5[256], narrow6[256];  // (v × max + 127) / 255
};

constexpr ChannelTables MakeChannelTables() {
  ChannelTables t{};
  for (uint32_t c = 0; c < 32; ++c) t.widen5[c] = static_cast<uint8_t>(c * 255 / 31);
  for (uint32_t c = 0; c < 64; ++c) t.widen6[c] = static_cast<uint8_t>(c * 255 / 63);
  for (uint32_t v = 0; v < 256; ++v) {
    t.narrow5[v] = static_cast<uint8_t>((v * 31 + 127) / 255);
    t.narrow6[v] = static_cast<uint8_t>((v * 63 + 127) / 255);
  }
  return t;
}
constexpr ChannelTables kChannels = MakeChannelTables();

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
    return 0xFF000000u | uint32_t{kChannels.widen5[(p >> 11) & 31]} << 16 |
           uint32_t{kChannels.widen6[(p >> 5) & 63]} << 8 | kChannels.widen5[p & 31];
  }
  static constexpr uint32_t Encode(uint32_t c) {
    return uint32_t{kChannels.narrow5[(c >> 16) & 0xFF]} << 11 | uint32_t{kChannels.narrow6[(c >> 8) & 0xFF]} << 5 |
           kChannels.narrow5[c & 0xFF];
  }
};

template <>
struct Codec<PixelKind::A1R5G5B5> {
  using Raw = uint16_t;
  static constexpr uint32_t Decode(uint32_t p) {
    return ((p & 0x8000u) ? 0xFF000000u : 0u) | uint32_t{kChannels.widen5[(p >> 10) & 31]} << 16 |
           uint32_t{kChannels.widen5[(p >> 5) & 31]} << 8 | kChannels.widen5[p & 31];
  }
  static constexpr uint32_t Encode(uint32_t c) {
    return ((c >> 24) >= 128 ? 0x8000u : 0u) | uint32_t{kChannels.narrow5[(c >> 16) & 0xFF]} << 10 |
           uint32_t{kChannels.narrow5[(c >> 8) & 0xFF]} << 5 | kChannels.narrow5[c & 0xFF];
  }
};

// The alpha a texel decodes to, without decoding its colour.
template <PixelKind K>
uint32_t AlphaOf(uint32_t p) {
  if constexpr (K == PixelKind::A8R8G8B8) return p >> 24;
  else if constexpr (K == PixelKind::A1R5G5B5) return (p & 0x8000u) ? 255u : 0u;
  else return 255u;
}

// Raw texel to raw target pixel with no operation between: Encode(Decode(p)).
// Between the 16-bit kinds each channel goes through one small table.
struct Convert16Tables {
  uint16_t red[32], green[64], blue[32];
};

template <PixelKind From, PixelKind To>
constexpr Convert16Tables MakeConvert16() {
  Convert16Tables t{};
  const bool sixGreen = From == PixelKind::R5G6B5;
  for (uint32_t c = 0; c < 32; ++c) {
    const uint32_t redBits = sixGreen ? c << 11 : c << 10;
    t.red[c] = static_cast<uint16_t>(Codec<To>::Encode(Codec<From>::Decode(redBits | (sixGreen ? 0u : 0x8000u))) &
                                     (To == PixelKind::R5G6B5 ? 0xF800u : 0x7C00u));
    t.blue[c] = static_cast<uint16_t>(Codec<To>::Encode(Codec<From>::Decode(c)) & 0x1Fu);
  }
  for (uint32_t c = 0; c < (sixGreen ? 64u : 32u); ++c)
    t.green[c] = static_cast<uint16_t>(Codec<To>::Encode(Codec<From>::Decode(c << 5)) &
                                       (To == PixelKind::R5G6B5 ? 0x07E0u : 0x03E0u));
  return t;
}

template <PixelKind From, PixelKind To>
inline constexpr Convert16Tables kConvert16 = MakeConvert16<From, To>();

// The same for every A1R5G5B5 colour at once (the alpha bit left out).
template <PixelKind To>
struct Convert1555Table {
  uint16_t to[32768];
};

template <PixelKind To>
constexpr Convert1555Table<To> MakeConvert1555() {
  Convert1555Table<To> t{};
  const Convert16Tables& c = kConvert16<PixelKind::A1R5G5B5, To>;
  for (uint32_t p = 0; p < 32768; ++p) t.to[p] = static_cast<uint16_t>(c.red[p >> 10] | c.green[(p >> 5) & 31] | c.blue[p & 31]);
  return t;
}

template <PixelKind To>
inline constexpr Convert1555Table<To> kConvert1555 = MakeConvert1555<To>();

template <PixelKind From, PixelKind To>
uint32_t ConvertRaw(uint32_t p) {
  if constexpr (From == PixelKind::A1R5G5B5 && To == PixelKind::R5G6B5) {
    return kConvert1555<To>.to[p & 0x7FFF];
  } else if constexpr (From == PixelKind::A8R8G8B8 && To == PixelKind::A8R8G8B8) {
    return p;
  } else if constexpr (To == PixelKind::X8R8G8B8 &&
                       (From == PixelKind::A8R8G8B8 || From == PixelKind::X8R8G8B8)) {
    return p | 0xFF000000u;
  } else if constexpr (sizeof(typename Codec<From>::Raw) == 2 && sizeof(typename Codec<To>::Raw) == 2) {
    const Convert16Tables& t = kConvert16<From, To>;
    uint32_t v;
    if constexpr (From == PixelKind::R5G6B5) v = t.red[(p >> 11) & 31] | t.green[(p >> 5) & 63] | t.blue[p & 31];
    else v = t.red[(p >> 10) & 31] | t.green[(p >> 5) & 31] | t.blue[p & 31];
    // The target's alpha bit follows the decoded alpha (255 for R5G6B5).
    if constexpr (To == PixelKind::A1R5G5B5) v |= AlphaOf<From>(p) >= 128 ? 0x8000u : 0u;
    return v;
  } else {
    return Codec<To>::Encode(Codec<From>::Decode(p));
  }
}

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

// Texels copied as they are onto a row when every alpha among them is whole
// (0: the target keeps its pixel; 255: the texel lands): one select per
// pixel, which the compiler vectorises. False (nothing written) when a
// partly transparent texel needs the blend.
#if defined(__GNUC__)
#define PELMORA_INLINE_BODY inline __attribute__((always_inline))
#else
#define PELMORA_INLINE_BODY inline
#endif

template <PixelKind TexK, PixelKind OutK, bool kBlend>
PELMORA_INLINE_BODY bool SelectRowBody(const uint8_t* tex, int count, uint8_t* out) {
  using TexRaw = typename Codec<TexK>::Raw;
  using OutRaw = typename Codec<OutK>::Raw;
  if constexpr (kBlend && TexK == PixelKind::A8R8G8B8) {
    uint32_t partial = 0;
    for (int i = 0; i < count; ++i)
      partial |= (LoadRaw<TexRaw>(tex + static_cast<size_t>(i) * sizeof(TexRaw)) >> 24) - 1u < 254u;
    if (partial) return false;
  }
  for (int i = 0; i < count; ++i) {
    const uint32_t raw = LoadRaw<TexRaw>(tex + static_cast<size_t>(i) * sizeof(TexRaw));
    uint8_t* p = out + static_cast<size_t>(i) * sizeof(OutRaw);
    const OutRaw converted = static_cast<OutRaw>(ConvertRaw<TexK, OutK>(raw));
    if constexpr (kBlend) StoreRaw<OutRaw>(p, AlphaOf<TexK>(raw) == 0 ? LoadRaw<OutRaw>(p) : converted);
    else StoreRaw<OutRaw>(p, converted);
  }
  return true;
}

template <PixelKind TexK, PixelKind OutK, bool kBlend>
bool SelectRowPlain(const uint8_t* tex, int count, uint8_t* out) {
  return SelectRowBody<TexK, OutK, kBlend>(tex, count, out);
}

// The same loop compiled for processors with AVX2 (eight pixels a step),
// chosen at run time.
#if defined(__GNUC__) && defined(__x86_64__)
template <PixelKind TexK, PixelKind OutK, bool kBlend>
__attribute__((target("avx2"))) bool SelectRowWide(const uint8_t* tex, int count, uint8_t* out) {
  return SelectRowBody<TexK, OutK, kBlend>(tex, count, out);
}
const bool g_wideSelect = __builtin_cpu_supports("avx2");
#else
template <PixelKind TexK, PixelKind OutK, bool kBlend>
bool SelectRowWide(const uint8_t* tex, int count, uint8_t* out) {
  return SelectRowBody<TexK, OutK, kBlend>(tex, count, out);
}
const bool g_wideSelect = false;
#endif

template <PixelKind TexK, PixelKind OutK, bool kBlend>
bool SelectRow(const uint8_t* tex, int count, uint8_t* out) {
  // 16-bit texels convert through tables; gathering them eight at a time is
  // slower than the plain loop.
  if constexpr (sizeof(typename Codec<TexK>::Raw) == 2) return SelectRowPlain<TexK, OutK, kBlend>(tex, count, out);
  return g_wideSelect ? SelectRowWide<TexK, OutK, kBlend>(tex, count, out)
                      : SelectRowPlain<TexK, OutK, kBlend>(tex, count, out);
}

// One pixel row of an aligned quad: texels at `columns` (or, contiguous,
// from columns[0] on) of `texRow`, through the shade tables unless they are
// the identity, blended or written into `out` (the row's first pixel).
template <PixelKind TexK, PixelKind OutK, bool kIdentity, bool kContiguous, bool kBlend>
void ShadeRow(const uint8_t* texRow, const int32_t* columns, int count, uint8_t* out, const uint8_t (*tables)[256]) {
  using TexRaw = typename Codec<TexK>::Raw;
  using OutRaw = typename Codec<OutK>::Raw;
  if constexpr (kIdentity && kContiguous) {
    if (SelectRow<TexK, OutK, kBlend>(texRow + static_cast<size_t>(columns[0]) * sizeof(TexRaw), count, out)) return;
  }
  for (int i = 0; i < count; ++i) {
    const int32_t column = kContiguous ? columns[0] + i : columns[i];
    const uint32_t raw = LoadRaw<TexRaw>(texRow + static_cast<size_t>(column) * sizeof(TexRaw));
    uint8_t* p = out + static_cast<size_t>(i) * sizeof(OutRaw);
    if constexpr (kIdentity) {
      // The texel as it is: only a partly transparent one needs its colours.
      const uint32_t sa = AlphaOf<TexK>(raw);
      if (!kBlend || sa == 255) {
        StoreRaw<OutRaw>(p, static_cast<OutRaw>(ConvertRaw<TexK, OutK>(raw)));
        continue;
      }
      if (sa == 0) continue;
    }
    uint32_t c = Codec<TexK>::Decode(raw);
    if constexpr (!kIdentity) c = ApplyTables(tables, c);
    if constexpr (kBlend) {
      const uint32_t sa = c >> 24;
      if (sa == 0) continue;
      if (sa != 255) c = MixPacked(c, Codec<OutK>::Decode(LoadRaw<OutRaw>(p)), sa);
    }
    StoreRaw<OutRaw>(p, static_cast<OutRaw>(Codec<OutK>::Encode(c)));
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
  for (int y = y0; y <= y1; ++y) {
    uint8_t* p = target.Row(y) + static_cast<size_t>(x0) * sizeof(OutRaw);
    for (int x = x0; x <= x1; ++x, p += sizeof(OutRaw))
      StoreRaw<OutRaw>(p, static_cast<OutRaw>(Codec<OutK>::Encode(MixPacked(c, Codec<OutK>::Decode(LoadRaw<OutRaw>(p)), sa))));
  }
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
bool OnPixelEdge(float v) { return std::fabs(v) < 1048576.0f && v - std::floor(v) == 0.5f; }

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

uint32_t DeviceSurface::LockRect(uint8_t*& bits, int& pitch) {
  bits = nullptr;
  pitch = 0;
  // Render targets in the default pool cannot be read by the processor; the
  // layer goes through a system-memory copy (the back buffer is lockable).
  if (!lockable_ || locked_) return D3DERR_INVALIDCALL;
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
  if (!surface->image_.Allocate(width, height, D3DFormatPixels(format))) {
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
  PixelImage& image = renderTarget_->image_;
  if (!rects) {
    image.Fill(Rect{0, 0, image.Width(), image.Height()}, raw);
    return D3D_OK;
  }
  for (int i = 0; i < count; ++i) image.Fill(rects[i], raw);
  return D3D_OK;
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
    // Point sampling: texel floor(u × width), wrapped. A coordinate within a
    // hair of a texel edge is snapped to it so that float vertex data give
    // the texel the exact arithmetic would.
    double tu = u * tex.Width(), tv = v * tex.Height();
    const double ru = std::nearbyint(tu), rv = std::nearbyint(tv);
    if (std::fabs(tu - ru) < 1e-4) tu = ru;
    if (std::fabs(tv - rv) < 1e-4) tv = rv;
    const int ix = Wrap(static_cast<int>(std::floor(tu)), tex.Width());
    const int iy = Wrap(static_cast<int>(std::floor(tv)), tex.Height());
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
  const QuadVertex* v[3] = {&a0, &b0, &c0};
  auto edge = [](const QuadVertex& p, const QuadVertex& q, double x, double y) {
    return (static_cast<double>(q.x) - p.x) * (y - p.y) - (static_cast<double>(q.y) - p.y) * (x - p.x);
  };
  double area = edge(*v[0], *v[1], v[2]->x, v[2]->y);
  if (area == 0) return;
  if (area < 0) {
    std::swap(v[1], v[2]);
    area = -area;
  }
  // Top-left rule with y pointing down: an edge whose interior lies on its
  // positive side is a left edge when it runs upwards, a top edge when it
  // is horizontal and runs to the right.
  auto topLeft = [](const QuadVertex& p, const QuadVertex& q) {
    const double dy = static_cast<double>(q.y) - p.y, dx = static_cast<double>(q.x) - p.x;
    return dy < 0 || (dy == 0 && dx > 0);
  };
  const bool tl0 = topLeft(*v[1], *v[2]), tl1 = topLeft(*v[2], *v[0]), tl2 = topLeft(*v[0], *v[1]);
  const PixelImage& target = renderTarget_->image_;
  const double minX = std::min({v[0]->x, v[1]->x, v[2]->x}), maxX = std::max({v[0]->x, v[1]->x, v[2]->x});
  const double minY = std::min({v[0]->y, v[1]->y, v[2]->y}), maxY = std::max({v[0]->y, v[1]->y, v[2]->y});
  const int x0 = std::max(0, static_cast<int>(std::ceil(minX))), x1 = std::min(target.Width() - 1, static_cast<int>(std::floor(maxX)));
  const int y0 = std::max(0, static_cast<int>(std::ceil(minY))), y1 = std::min(target.Height() - 1, static_cast<int>(std::floor(maxY)));
  const bool flat = v[0]->diffuse == v[1]->diffuse && v[1]->diffuse == v[2]->diffuse;
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      const double w0 = edge(*v[1], *v[2], x, y), w1 = edge(*v[2], *v[0], x, y), w2 = edge(*v[0], *v[1], x, y);
      if (w0 < 0 || w1 < 0 || w2 < 0) continue;
      if ((w0 == 0 && !tl0) || (w1 == 0 && !tl1) || (w2 == 0 && !tl2)) continue;
      const double b0 = w0 / area, b1 = w1 / area, b2 = w2 / area;
      const double u = b0 * v[0]->u + b1 * v[1]->u + b2 * v[2]->u;
      const double vv = b0 * v[0]->v + b1 * v[1]->v + b2 * v[2]->v;
      uint32_t diffuse = v[0]->diffuse;
      if (!flat) {
        const Argb c0 = Split(v[0]->diffuse), c1 = Split(v[1]->diffuse), c2 = Split(v[2]->diffuse);
        auto lerp = [&](uint32_t p, uint32_t q, uint32_t r) {
          return static_cast<uint32_t>(std::clamp(std::lround(b0 * p + b1 * q + b2 * r), 0L, 255L));
        };
        diffuse = Join({lerp(c0.a, c1.a, c2.a), lerp(c0.r, c1.r, c2.r), lerp(c0.g, c1.g, c2.g), lerp(c0.b, c1.b, c2.b)});
      }
      ShadePixel(x, y, diffuse, u, vv);
    }
  }
}

void Device::DrawStrip(const QuadVertex* v, int count) {
  if (count == 4 && DrawFastPaths() && DrawAlignedQuad(v)) return;
  for (int i = 0; i + 2 < count; ++i) DrawTriangle(v[i], v[i + 1], v[i + 2]);
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
  DrawStrip(v, static_cast<int>(n));
  return D3D_OK;
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
  DrawStrip(v, static_cast<int>(n));
  return D3D_OK;
}

void Device::UpdateShadeTables(uint32_t diffuse) {
  const uint32_t state[8] = {colorOp_, colorArg1_, colorArg2_, alphaOp_, alphaArg1_, alphaArg2_, diffuse, textureFactor_};
  if (shadeValid_ && std::equal(state, state + 8, shadeState_)) return;
  std::copy(state, state + 8, shadeState_);
  shadeValid_ = true;
  const Argb dif = Split(diffuse), tf = Split(textureFactor_);
  // The same choice of argument as ShadePixel, one channel at a time.
  auto pick = [](uint32_t which, uint32_t texel, uint32_t d, uint32_t f) {
    return which == D3DTA_TEXTURE ? texel : which == D3DTA_TFACTOR ? f : d;
  };
  const uint32_t difs[4] = {dif.a, dif.r, dif.g, dif.b}, tfs[4] = {tf.a, tf.r, tf.g, tf.b};
  shadeIdentity_ = true;
  shadeConstant_ = true;
  for (int ch = 0; ch < 4; ++ch) {
    const uint32_t op = ch == 0 ? alphaOp_ : colorOp_;
    const uint32_t a1 = ch == 0 ? alphaArg1_ : colorArg1_, a2 = ch == 0 ? alphaArg2_ : colorArg2_;
    for (uint32_t t = 0; t < 256; ++t) {
      const uint32_t v = Combine(op, pick(a1, t, difs[ch], tfs[ch]), pick(a2, t, difs[ch], tfs[ch]), difs[ch], tf.a);
      shadeTables_[ch][t] = static_cast<uint8_t>(v);
      if (v != t) shadeIdentity_ = false;
      if (v != shadeTables_[ch][0]) shadeConstant_ = false;
    }
  }
}

bool Device::DrawAlignedQuad(const QuadVertex* q) {
  const QuadVertex &a = q[0], &b = q[1], &c = q[2], &d = q[3];
  // The strip's triangles share the edge b–c: for a rectangle that is a
  // diagonal, and a and d are the other two corners.
  if (a.diffuse != b.diffuse || b.diffuse != c.diffuse || c.diffuse != d.diffuse) return false;
  if (!(b.x != c.x && b.y != c.y)) return false;
  auto at = [](const QuadVertex& p, float x, float y) { return p.x == x && p.y == y; };
  if (!((at(a, b.x, c.y) && at(d, c.x, b.y)) || (at(a, c.x, b.y) && at(d, b.x, c.y)))) return false;
  if (!OnPixelEdge(b.x) || !OnPixelEdge(c.x) || !OnPixelEdge(b.y) || !OnPixelEdge(c.y)) return false;
  // u may change only across, v only down: equal at corners of one column / row.
  const QuadVertex* corners[4] = {&a, &b, &c, &d};
  for (int i = 0; i < 4; ++i)
    for (int j = i + 1; j < 4; ++j) {
      if (corners[i]->x == corners[j]->x && !(corners[i]->u == corners[j]->u)) return false;
      if (corners[i]->y == corners[j]->y && !(corners[i]->v == corners[j]->v)) return false;
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
    else if (src == D3DBLEND_ZERO && dst == D3DBLEND_ONE) return true;  // nothing reaches the target
  }
  // Pixel centres strictly inside the rectangle; each belongs to exactly one
  // of the two triangles under the top-left rule, so the union is the box.
  const int x0 = std::max(0, static_cast<int>(left.x + 0.5f));
  const int x1 = std::min(target.Width() - 1, static_cast<int>(right.x - 0.5f));
  const int y0 = std::max(0, static_cast<int>(top.y + 0.5f));
  const int y1 = std::min(target.Height() - 1, static_cast<int>(bottom.y - 0.5f));
  UpdateShadeTables(a.diffuse);
  if (x0 > x1 || y0 > y1) return true;
  if (!texture_ || shadeConstant_) {
    // No texture reads as opaque black; constant tables ignore the texel.
    const uint32_t colour = ApplyTables(shadeTables_, 0xFF000000u);
    return SolidRectFor(outKind, target, x0, x1, y0, y1, colour, blend);
  }
  const PixelImage& tex = texture_->level_.image_;
  const PixelKind texKind = KindOf(tex.Format());
  if (texKind == PixelKind::Other) return false;
  const double tw = tex.Width(), th = tex.Height();
  // Coordinates this small keep the rasteriser's rounding far below the
  // threshold window TexelIndex leaves out.
  if (!(std::max(std::fabs(left.u), std::fabs(right.u)) * tw < 1048576.0) ||
      !(std::max(std::fabs(top.v), std::fabs(bottom.v)) * th < 1048576.0))
    return false;
  const double xl = left.x, xr = right.x, ul = left.u, ur = right.u;
  const double yt = top.y, yb = bottom.y, vt = top.v, vb = bottom.v;
  texelColumns_.resize(static_cast<size_t>(x1 - x0) + 1);
  texelRows_.resize(static_cast<size_t>(y1 - y0) + 1);
  // One texel per pixel, starting on a texel edge (the copy of a picture):
  // pixel k's coordinate is exactly edge + k + 0.5, half-way between texel
  // edges, so it reads texel edge + k (wrapped) — what TexelIndex would
  // give, without working it out for each column.
  auto unitSteps = [](double from, double to, double lo, double hi, double size) {
    return (to - from) * size == hi - lo && std::floor(from * size) == from * size;
  };
  const bool unitColumns = unitSteps(ul, ur, xl, xr, tw), unitRows = unitSteps(vt, vb, yt, yb, th);
  const int count = x1 - x0 + 1;
  bool contiguous = true;
  int32_t nextColumn = unitColumns ? Wrap(static_cast<int>(ul * tw) + static_cast<int>(x0 - (xl + 0.5)), tex.Width()) : 0;
  int32_t nextRow = unitRows ? Wrap(static_cast<int>(vt * th) + static_cast<int>(y0 - (yt + 0.5)), tex.Height()) : 0;
  // A run of unit steps that does not wrap needs only its first column.
  const bool plainRun = unitColumns && nextColumn + count <= tex.Width();
  if (plainRun) texelColumns_[0] = nextColumn;
  for (int x = x0; x <= x1 && !plainRun; ++x) {
    int32_t& column = texelColumns_[x - x0];
    if (unitColumns) {
      column = nextColumn;
      if (++nextColumn == tex.Width()) nextColumn = 0;
    } else {
      const double u = ul + (x - xl) / (xr - xl) * (ur - ul);
      if (!TexelIndex(u * tw, tex.Width(), column)) return false;
    }
    if (x > x0 && column != texelColumns_[x - x0 - 1] + 1) contiguous = false;
  }
  for (int y = y0; y <= y1; ++y) {
    int32_t& row = texelRows_[y - y0];
    if (unitRows) {
      row = nextRow;
      if (++nextRow == tex.Height()) nextRow = 0;
    } else {
      const double v = vt + (y - yt) / (yb - yt) * (vb - vt);
      if (!TexelIndex(v * th, tex.Height(), row)) return false;
    }
  }
  const ShadeRowFn row = PickShadeRow(texKind, outKind, shadeIdentity_, contiguous, blend);
  if (!row) return false;
  const size_t outBytes = static_cast<size_t>(target.BytesPerPixel());
  for (int y = y0; y <= y1; ++y)
    row(tex.Row(texelRows_[y - y0]), texelColumns_.data(), count, target.Row(y) + x0 * outBytes, shadeTables_);
  return true;
}

uint32_t Device::GetRenderTargetData(DeviceSurface* rt, DeviceSurface* copy) {
  if (!rt || !copy || !rt->image_.SameSize(copy->image_) || rt->format_ != copy->format_) return D3DERR_INVALIDCALL;
  for (int y = 0; y < rt->Height(); ++y)
    std::memcpy(copy->image_.Row(y), rt->image_.Row(y), static_cast<size_t>(rt->Width()) * rt->image_.BytesPerPixel());
  return D3D_OK;
}

uint32_t Device::UpdateSurface(DeviceSurface* copy, DeviceSurface* target) {
  if (!copy || !target || !copy->image_.SameSize(target->image_) || copy->format_ != target->format_)
    return D3DERR_INVALIDCALL;
  for (int y = 0; y < copy->Height(); ++y)
    std::memcpy(target->image_.Row(y), copy->image_.Row(y),
                static_cast<size_t>(copy->Width()) * copy->image_.BytesPerPixel());
  return D3D_OK;
}

uint32_t Device::Present() {
  if (lost_) return D3DERR_DEVICELOST;
  if (!backBuffer_) return D3DERR_INVALIDCALL;
  if (params_.presentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE) WaitVerticalBlank();
  const bool changed = ImageToFrame(backBuffer_->image_, nullptr, frame_);
  GetWindowHost().Present(frame_, changed);
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
  lost_ = true;
  lostChecks_ = g_config.notResetAfterLoss;
  if (backBuffer_) backBuffer_->image_.Scribble(0xCD);
  // Default-pool pictures are garbage now; the layer must re-create them.
  for (DeviceTexture* t : defaultTextures_) t->level_.image_.Scribble(0xCD);
}

uint32_t Device::Release() {
  if (backBuffer_) {
    backBuffer_->refs_ = 1;
    backBuffer_->Release();
  }
  const int left = liveObjects_;
  delete this;
  return static_cast<uint32_t>(left);
}

}  // namespace plat
