// The colour effects: whole-surface fade and tint, colour change toward a
// palette colour and the half-transparent blit, each with its device quad
// and its processor loop (one template per depth and transparency flag, run
// through the shared effect frame).
#include "gfx/fx_colour.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "gfx/fx_frame.h"
#include "gfx/fx_span.h"
#include "platform/text.h"

namespace {

using fx::EffectFrame;
using fx::Plane;

// The quad of a source rectangle drawn onto a destination rectangle, with
// texture coordinates over the source's texture size.
void SourceQuad(plat::QuadVertex (&v)[4], const fx::SourceRect& r, DDSURFACEDATA* src, uint32_t diffuse) {
  const float tw = static_cast<float>(src->nTexWidth > 0 ? src->nTexWidth : 1);
  const float th = static_cast<float>(src->nTexHeight > 0 ? src->nTexHeight : 1);
  const float x0 = static_cast<float>(r.dx) - 0.5f, y0 = static_cast<float>(r.dy) - 0.5f;
  const float x1 = static_cast<float>(r.dx + r.w) - 0.5f, y1 = static_cast<float>(r.dy + r.h) - 0.5f;
  const float u0 = static_cast<float>(r.sx) / tw, v0 = static_cast<float>(r.sy) / th;
  const float u1 = static_cast<float>(r.sx + r.sw) / tw, v1 = static_cast<float>(r.sy + r.sh) / th;
  v[0] = {x0, y0, 0.0f, 1.0f, diffuse, u0, v0};
  v[1] = {x0, y1, 0.0f, 1.0f, diffuse, u0, v1};
  v[2] = {x1, y0, 0.0f, 1.0f, diffuse, u1, v0};
  v[3] = {x1, y1, 0.0f, 1.0f, diffuse, u1, v1};
}

// Cuts a device quad's one-to-one rectangles to both surfaces, with the
// same pixel choices as the processor loops (so that no texel outside the
// source is sampled); false when nothing is left.
bool ClipQuad(DDSURFACEDATA* dst, DDSURFACEDATA* src, fx::SourceRect& r) {
  int c0 = 0, c1 = 0, r0 = 0, r1 = 0;
  fx::ClipSpan(r.dx, r.w, dst->nWidth, c0, c1);
  fx::CutSpan(r.sx, r.sw < 0, src->nWidth, c0, c1);
  fx::ClipSpan(r.dy, r.h, dst->nHeight, r0, r1);
  fx::CutSpan(r.sy, r.sh < 0, src->nHeight, r0, r1);
  if (c0 >= c1 || r0 >= r1) return false;
  r.dx += c0;
  r.dy += r0;
  r.w = c1 - c0;
  r.h = r1 - r0;
  r.sx = r.sw < 0 ? r.sx - c0 : r.sx + c0;
  r.sy = r.sh < 0 ? r.sy - r0 : r.sy + r0;
  r.sw = r.sw < 0 ? -r.w : r.w;
  r.sh = r.sh < 0 ? -r.h : r.h;
  return true;
}

// Per-channel lookup of a colour operation: raw channel value (0..max) in,
// raw channel value out.
struct ChannelTables {
  std::array<uint8_t, 256> r{}, g{}, b{};
};

template <typename D>
uint32_t Recolour(uint32_t p, const ChannelTables& t) {
  const fx::Rgba c = fx::Unpack<D>(p);
  return fx::Pack<D>(fx::Rgba{t.r[c.r], t.g[c.g], t.b[c.b], 0});
}

// ---- colour change ----

// The 8-bit colour change: `level` lookups [p][palno] of the blend table for
// every start value p, by repeated squaring of the lookup.
std::array<uint8_t, 256> RepeatedBlend(const uint8_t* table, int palNum, int level) {
  std::array<uint8_t, 256> result, step;
  for (int p = 0; p < 256; ++p) {
    result[p] = static_cast<uint8_t>(p);
    step[p] = table[p * 256 + palNum];
  }
  for (unsigned n = static_cast<unsigned>(level); n != 0; n >>= 1) {
    if (n & 1)
      for (uint8_t& v : result) v = step[v];
    std::array<uint8_t, 256> twice;
    for (int p = 0; p < 256; ++p) twice[p] = step[step[p]];
    step = twice;
  }
  return result;
}

// DirectDraw: the channel on 0..255 halved toward the target `level` times
// and brought back. Halving toward a value settles within nine steps, so
// more steps change nothing.
std::array<uint8_t, 256> HalvingTable(uint32_t max, uint32_t target255, int level) {
  std::array<uint8_t, 256> t{};
  const int steps = std::min(level, 16);
  for (uint32_t c = 0; c <= max; ++c) {
    uint32_t v = fx::To255(c, max);
    for (int k = 0; k < steps; ++k) v = (v + target255) >> 1;
    t[c] = static_cast<uint8_t>(fx::From255(v, max));
  }
  return t;
}

// Direct3D: the draw state's addition, then one halving (level 1) or the
// 32-bit float mix with the picture's share f/255 (levels 2..4: f = 0x40,
// 0x20, 0x10; higher levels 0: the target colour).
std::array<uint8_t, 256> DeviceMixTable(uint32_t max, uint32_t add, uint32_t target, int level) {
  std::array<uint8_t, 256> t{};
  const uint32_t f = level == 2 ? 0x40u : level == 3 ? 0x20u : level == 4 ? 0x10u : 0u;
  const float share = static_cast<float>(f) * 0.003921569f;
  const float rest = static_cast<float>(target) * (1.0f - share);
  for (uint32_t c0 = 0; c0 <= max; ++c0) {
    const uint32_t c = std::min(c0 + add, max);
    uint32_t v;
    if (level == 1) v = (c + target) >> 1;
    else v = static_cast<uint32_t>(static_cast<float>(c * f) * 0.003921569f + rest);
    t[c0] = static_cast<uint8_t>(std::min(v, max));
  }
  return t;
}

template <typename D>
ChannelTables ColourChangeTables(const EffectFrame& f, const PALETTEENTRY& target, int level,
                                 const DDDRAWSTATE* state) {
  ChannelTables t;
  if (!f.direct3d) {
    // The table holds the display's ranges; a larger value counts as the top.
    auto target255 = [](uint32_t c, uint32_t max) { return fx::To255(std::min(c, max), max); };
    t.r = HalvingTable(D::kRMax, target255(target.peRed, D::kRMax), level);
    t.g = HalvingTable(D::kGMax, target255(target.peGreen, D::kGMax), level);
    t.b = HalvingTable(D::kBMax, target255(target.peBlue, D::kBMax), level);
    return t;
  }
  const fx::AddColour add = fx::MakeAddColour<D>(state);
  t.r = DeviceMixTable(D::kRMax, add.r, fx::From255(target.peRed, D::kRMax), level);
  t.g = DeviceMixTable(D::kGMax, add.g, fx::From255(target.peGreen, D::kGMax), level);
  t.b = DeviceMixTable(D::kBMax, add.b, fx::From255(target.peBlue, D::kBMax), level);
  return t;
}

template <typename D, bool kKeyed>
void ColourChangeLoop(const EffectFrame& f, const fx::SourceRect& r, const PALETTEENTRY* colours,
                      const uint8_t* blend, int palNum, int level, const DDDRAWSTATE* state) {
  using P = typename D::Pixel;
  const fx::RowColumnSpans spans(f, r);
  if (spans.Empty()) return;
  if constexpr (D::kIndexed) {
    const std::array<uint8_t, 256> map = RepeatedBlend(blend, palNum, level);
    spans.ForEach([&](uint8_t* out, const uint8_t* in, int count, int srcStep) {
      for (int k = 0; k < count; ++k, in += srcStep) {
        const P s = *in;
        if (kKeyed && f.Transparent(s)) continue;
        out[k] = map[s];
      }
    });
  } else {
    const ChannelTables t = ColourChangeTables<D>(f, colours[palNum], level, state);
    spans.ForEach([&](uint8_t* out, const uint8_t* in, int count, int srcStep) {
      for (int k = 0; k < count; ++k, in += srcStep) {
        const uint32_t s = Plane::Load<P>(in, 0);
        if (kKeyed && f.Transparent(s)) continue;
        f.PutComputed<D>(out, k, Recolour<D>(s, t));
      }
    });
  }
}

// ---- translucent ----

// Not under ThreadSanitizer: the loader runs the clones' chooser before the
// sanitizer's runtime is up, and the instrumented chooser crashes there.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#define PELMORA_FX_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define PELMORA_FX_CLONES
#endif

// The DirectDraw half-and-half mix of a row of 16-bit pixels onto another
// picture: each channel on 0..255, (source + destination) / 2, and back; a
// destination pixel of the colour key takes the source as it is, and with
// kKeyed a source pixel of the key leaves the destination. Without
// branches, in 16-bit steps, so that it vectorises.
template <typename D, bool kKeyed>
PELMORA_FX_CLONES void HalfMix16(const uint8_t* __restrict in, uint8_t* __restrict out, int count, uint16_t key) {
  auto mix = []<uint32_t kMax>(uint32_t a, uint32_t b) {
    return fx::From255Of<kMax>(static_cast<uint16_t>(fx::To255Of<kMax>(a) + fx::To255Of<kMax>(b)) >> 1);
  };
  for (int k = 0; k < count; ++k) {
    uint16_t s, d;
    std::memcpy(&s, in + static_cast<size_t>(k) * 2, 2);
    std::memcpy(&d, out + static_cast<size_t>(k) * 2, 2);
    const uint32_t r = mix.template operator()<D::kRMax>((s >> D::kRShift) & D::kRMax, (d >> D::kRShift) & D::kRMax);
    const uint32_t g = mix.template operator()<D::kGMax>((s >> D::kGShift) & D::kGMax, (d >> D::kGShift) & D::kGMax);
    const uint32_t b = mix.template operator()<D::kBMax>((s >> D::kBShift) & D::kBMax, (d >> D::kBShift) & D::kBMax);
    uint16_t p = static_cast<uint16_t>(r << D::kRShift | g << D::kGShift | b << D::kBShift);
    p = d == key ? s : p;
    if constexpr (kKeyed) p = s == key ? d : p;
    std::memcpy(out + static_cast<size_t>(k) * 2, &p, 2);
  }
}

template <typename D, bool kKeyed>
void TranslucentLoop(const EffectFrame& f, const fx::SourceRect& r, const uint8_t* blend) {
  using P = typename D::Pixel;
  const fx::RowColumnSpans spans(f, r);
  if (spans.Empty()) return;
  if constexpr (D::kIndexed) {
    spans.ForEach([&](uint8_t* out, const uint8_t* in, int count, int srcStep) {
      for (int k = 0; k < count; ++k, in += srcStep) {
        const uint8_t s = *in;
        if (kKeyed && s == 0) continue;  // palette number 0 is the empty colour here
        const uint8_t d = out[k];
        out[k] = d == 0 ? s : blend[d * 256 + s];
      }
    });
  } else if (!f.direct3d) {
    // Both colours on 0..255, half and half; a destination pixel of the
    // colour key (nothing drawn there yet) takes the source as it is.
    std::array<uint8_t, 256> tr{}, tg{}, tb{}, fr{}, fg{}, fb{};
    for (uint32_t c = 0; c < 256; ++c) {
      tr[c] = static_cast<uint8_t>(fx::To255(c & D::kRMax, D::kRMax));
      tg[c] = static_cast<uint8_t>(fx::To255(c & D::kGMax, D::kGMax));
      tb[c] = static_cast<uint8_t>(fx::To255(c & D::kBMax, D::kBMax));
      fr[c] = static_cast<uint8_t>(fx::From255(c, D::kRMax));
      fg[c] = static_cast<uint8_t>(fx::From255(c, D::kGMax));
      fb[c] = static_cast<uint8_t>(fx::From255(c, D::kBMax));
    }
    const uint32_t key = f.keyValue;
    spans.ForEach([&](uint8_t* out, const uint8_t* in, int count, int srcStep) {
      if constexpr (D::kBits == 16) {
        if (!f.sameSurface && srcStep == static_cast<int>(sizeof(P))) {
          HalfMix16<D, kKeyed>(in, out, count, static_cast<uint16_t>(key));
          return;
        }
      }
      for (int k = 0; k < count; ++k, in += srcStep) {
        const uint32_t s = Plane::Load<P>(in, 0);
        if (kKeyed && s == key) continue;
        const uint32_t d = Plane::Load<P>(out, k);
        if (d == key) {
          Plane::Store<P>(out, k, static_cast<P>(s));
          continue;
        }
        uint32_t p;
        if constexpr (D::kBits == 32) {
          p = ((s & 0xFEFEFEu) >> 1) + ((d & 0xFEFEFEu) >> 1) + (s & d & 0x010101u);  // per byte (s + d) >> 1
        } else {
          const fx::Rgba a = fx::Unpack<D>(s), b = fx::Unpack<D>(d);
          p = fx::Pack<D>(fx::Rgba{fr[(tr[a.r] + tr[b.r]) >> 1], fg[(tg[a.g] + tg[b.g]) >> 1],
                                   fb[(tb[a.b] + tb[b.b]) >> 1], 0});
        }
        Plane::Store<P>(out, k, static_cast<P>(p));
      }
    });
  } else if (D::kBits == 16 && f.flipBack) {
    // The full-screen back buffer holds R5G6B5: the 5-bit source green is
    // doubled to meet the destination's six bits.
    spans.ForEach([&](uint8_t* out, const uint8_t* in, int count, int srcStep) {
      for (int k = 0; k < count; ++k, in += srcStep) {
        const uint32_t s = Plane::Load<P>(in, 0);
        if (kKeyed && f.Transparent(s)) continue;
        const fx::Rgba a = fx::Unpack<fx::Depth16_555>(s);
        const fx::Rgba b = fx::Unpack<fx::Depth16_565>(Plane::Load<P>(out, k));
        const uint32_t p = fx::Pack<fx::Depth16_565>(
            fx::Rgba{(a.r + b.r) >> 1, (b.g + 2 * a.g) >> 1, (a.b + b.b) >> 1, 0});
        Plane::Store<P>(out, k, static_cast<P>(p));
      }
    });
  } else {
    spans.ForEach([&](uint8_t* out, const uint8_t* in, int count, int srcStep) {
      for (int k = 0; k < count; ++k, in += srcStep) {
        const uint32_t s = Plane::Load<P>(in, 0);
        if (kKeyed && f.Transparent(s)) continue;
        const uint32_t d = Plane::Load<P>(out, k);
        uint32_t p;
        if constexpr (D::kBits == 32) {
          p = ((s & 0xFEFEFEu) >> 1) + ((d & 0xFEFEFEu) >> 1) + (s & d & 0x010101u);
        } else {
          const fx::Rgba a = fx::Unpack<D>(s), b = fx::Unpack<D>(d);
          p = fx::Pack<D>(fx::Rgba{(a.r + b.r) >> 1, (a.g + b.g) >> 1, (a.b + b.b) >> 1, 0});
        }
        Plane::Store<P>(out, k, static_cast<P>(p | f.computedAlpha));
      }
    });
  }
}

// ---- tint ----

// A tint of a surface by itself that has no texture to draw from (the
// device's back buffer while no virtual back buffer stands in for it): the
// quad's arithmetic worked out on its pixels. Each channel t (widened to
// 0..255 as the device reads it) becomes t × colour modulated, laid over t
// with `alpha` of 255, and is narrowed to the nearest step again; a texel
// whose alpha bit is clear is transparent to the quad and stays as it is.
void TintInPlace(DDSURFACEDATA* sd, uint32_t alpha, uint8_t red, uint8_t green, uint8_t blue) {
  if (alpha == 0) return;
  cSurfaceLock lock(sd);
  if (!lock.Locked()) return;
  uint32_t f[8] = {16, 8, 0, 24, 255, 255, 255, 0};  // X8R8G8B8: no alpha
  if (lock.m_nBytesPerPixel == 2)
    std::memcpy(f, DDState.BackFormat, sizeof f);
  else if (lock.m_nBytesPerPixel != 4)
    return;
  const uint8_t colour[3] = {red, green, blue};
  std::array<uint32_t, 256> table[3];
  for (int c = 0; c < 3; ++c) {
    const uint32_t max = std::min<uint32_t>(f[PF_RMAX + c], 255);
    for (uint32_t v = 0; v <= max; ++v) {
      const uint32_t t = max ? v * 255 / max : 0;
      const uint32_t m = (t * colour[c] + 127) / 255;
      const uint32_t mixed = (m * alpha + t * (255 - alpha) + 127) / 255;
      table[c][v] = ((mixed * max + 127) / 255) << f[PF_RSHIFT + c];
    }
  }
  const uint32_t alphaMask = f[PF_AMAX] << f[PF_ASHIFT];
  const uint32_t rgbMask = (f[PF_RMAX] << f[PF_RSHIFT]) | (f[PF_GMAX] << f[PF_GSHIFT]) | (f[PF_BMAX] << f[PF_BSHIFT]);
  // A format without alpha is written opaque (the spare byte of X8R8G8B8 set).
  const uint32_t opaque = lock.m_nBytesPerPixel == 4 && alphaMask == 0 ? 0xFF000000u : 0u;
  const size_t bytes = static_cast<size_t>(lock.m_nBytesPerPixel);
  for (int y = 0; y < lock.Height(); ++y) {
    uint8_t* row = lock.Bits() + static_cast<size_t>(y) * lock.Pitch();
    for (int x = 0; x < lock.Width(); ++x) {
      uint32_t p = 0;
      std::memcpy(&p, row + x * bytes, bytes);
      if (alphaMask != 0 && (p & alphaMask) == 0) continue;
      const uint32_t out = (p & ~rgbMask) | opaque | table[0][(p >> f[PF_RSHIFT]) & f[PF_RMAX]] |
                           table[1][(p >> f[PF_GSHIFT]) & f[PF_GMAX]] | table[2][(p >> f[PF_BSHIFT]) & f[PF_BMAX]];
      std::memcpy(row + x * bytes, &out, bytes);
    }
  }
}

// The source rectangle of a colour blit: the destination's size, mirrored
// where the source surface draws a mirror (Direct3D).
fx::SourceRect BlitRect(DDSURFACEDATA* src, int dx, int dy, int w, int h, int sx, int sy) {
  fx::SourceRect r{dx, dy, w, h, sx, sy, w, h};
  if (lpDTCon) DDMirrorSourceRect(src, &r.sx, &r.sy, &r.sw, &r.sh);
  return r;
}

}  // namespace

// ---- whole-surface operations ----

void DDFade_UnPal(DDSURFACEDATA* lpDstSD, int nWeight, uint8_t bRed, uint8_t bGreen, uint8_t bBlue,
                  DDSURFACEDATA* lpSrcSD) {
  if (lpDTCon) {
    WriteECLog("%s", plat::Sjis("D3DではDDFade_UnPalは未対応").c_str());
    return;
  }
  const uint32_t w = static_cast<uint32_t>(std::clamp(nWeight, 0, 256));
  fx::RunEffect(lpDstSD, lpSrcSD, false, fx::KeyRule::Table, [&]<typename D, bool kKeyed>(const EffectFrame& f) {
    if constexpr (!D::kIndexed) {
      using P = typename D::Pixel;
      // Per channel: raw source value to raw result.
      auto table = [w](uint32_t max, uint32_t colour) {
        std::array<uint8_t, 256> t{};
        for (uint32_t c = 0; c <= max; ++c)
          t[c] = static_cast<uint8_t>(fx::From255((fx::To255(c, max) * w + colour * (256 - w)) >> 8, max));
        return t;
      };
      const ChannelTables t{table(D::kRMax, bRed), table(D::kGMax, bGreen), table(D::kBMax, bBlue)};
      const int width = std::min(f.dst.width, f.src.width), height = std::min(f.dst.height, f.src.height);
      for (int y = 0; y < height; ++y) {
        uint8_t* out = f.dst.Row(y);
        const uint8_t* in = f.src.Row(y);
        for (int x = 0; x < width; ++x) {
          const uint32_t s = Plane::Load<P>(in, x);
          uint32_t p = Recolour<D>(s, t);
          if constexpr (D::kAMax != 0) p |= s & (D::kAMax << D::kAShift);  // the unused top bits stay
          Plane::Store<P>(out, x, static_cast<P>(p));
        }
      }
    }
  });
}

int DDChangeColor(DDSURFACEDATA* lpDstSD, int, int, int, int, DDSURFACEDATA* lpSrcSD, int nAlpha, uint8_t bRed,
                  uint8_t bGreen, uint8_t bBlue) {
  if (!lpDTCon) {
    WriteECLog("%s", plat::Sjis("DDrawでは DDChangeColor(DDSURFACEDATA *lpDstSD,int x,int y,int nWidth,int nHeight,"
                                "int nAlpha,BYTE bRed,BYTE bGreen,BYTE bBlue) は未対応")
                         .c_str());
    return 1;
  }
  fx::ResolveDeviceSurfaces(&lpDstSD, &lpSrcSD);
  if (!lpDstSD || !lpSrcSD) return 1;
  const uint32_t alpha = static_cast<uint32_t>(255 - std::clamp(nAlpha, 0, 255));
  if (lpSrcSD == lpDstSD && (!lpSrcSD->lpDT || !lpSrcSD->lpDT->lpTexture)) {
    TintInPlace(lpDstSD, alpha, bRed, bGreen, bBlue);
    return 1;
  }
  const uint32_t diffuse = alpha << 24 | static_cast<uint32_t>(bRed) << 16 | static_cast<uint32_t>(bGreen) << 8 | bBlue;
  const fx::SourceRect whole{0, 0, lpDstSD->nWidth, lpDstSD->nHeight, 0, 0, lpDstSD->nWidth, lpDstSD->nHeight};
  plat::QuadVertex v[4];
  SourceQuad(v, whole, lpSrcSD, diffuse);
  fx::DrawQuad(lpDstSD, lpSrcSD, v, fx::QuadStage{});
  return 1;
}

int DDChangeColorAll(DDSURFACEDATA* lpDstSD, int x, int y, int nWidth, int nHeight, int nAlpha, uint8_t bRed,
                     uint8_t bGreen, uint8_t bBlue) {
  return DDChangeColor(lpDstSD, x, y, nWidth, nHeight, lpDstSD, nAlpha, bRed, bGreen, bBlue);
}

// ---- colour change and translucent blits ----

int DDBltColorChange(DDSURFACEDATA* lpDstSD, int dx, int dy, int w, int h, DDSURFACEDATA* lpSrcSD, int sx, int sy,
                     uint32_t dwFlags, const PALETTEENTRY* lpColorTable, const uint8_t* lpBlendTable, int nPalNum,
                     int nLevel, const DDDRAWSTATE* lpState) {
  if (nLevel <= 0) return 1;
  if (!lpDstSD || !lpSrcSD || w <= 0 || h <= 0 || nPalNum < 0 || nPalNum > 255) return 0;
  fx::SourceRect r = BlitRect(lpSrcSD, dx, dy, w, h, sx, sy);
  if (lpDTCon) {
    fx::ResolveDeviceSurfaces(&lpDstSD, &lpSrcSD);
    if (fx::UseQuadPath(lpDstSD, lpSrcSD)) {
      if (!lpColorTable || !ClipQuad(lpDstSD, lpSrcSD, r)) return 0;
      // The picture keeps factor/255 of itself, the rest is the colour.
      static constexpr uint32_t kFactors[5] = {0, 0x80, 0x50, 0x30, 0x10};
      const uint32_t factor = nLevel <= 4 ? kFactors[nLevel] : 0;
      const PALETTEENTRY& c = lpColorTable[nPalNum];
      fx::QuadStage stage;
      stage.colorOp = plat::D3DTOP_BLENDFACTORALPHA;
      stage.colorArg1 = plat::D3DTA_TEXTURE;
      stage.colorArg2 = plat::D3DTA_TFACTOR;
      stage.alphaOp = plat::D3DTOP_SELECTARG1;
      stage.alphaArg1 = plat::D3DTA_TEXTURE;
      stage.setFactor = true;
      stage.factor = factor << 24 | static_cast<uint32_t>(c.peRed) << 16 | static_cast<uint32_t>(c.peGreen) << 8 |
                     c.peBlue;
      plat::QuadVertex v[4];
      SourceQuad(v, r, lpSrcSD, lpDTCon->dwDrawColor);
      return fx::DrawQuad(lpDstSD, lpSrcSD, v, stage) ? 1 : 0;
    }
  }
  const bool indexed = fx::EffectDepthCode() == 8;
  if ((indexed && !lpBlendTable) || (!indexed && !lpColorTable)) return 0;
  return fx::RunEffect(lpDstSD, lpSrcSD, dwFlags == 1, fx::KeyRule::Table,
                       [&]<typename D, bool kKeyed>(const EffectFrame& f) {
                         ColourChangeLoop<D, kKeyed>(f, r, lpColorTable, lpBlendTable, nPalNum, nLevel, lpState);
                       });
}

int DDBltTranslucent(DDSURFACEDATA* lpDstSD, int dx, int dy, int w, int h, DDSURFACEDATA* lpSrcSD, int sx, int sy,
                     uint32_t dwFlags, const uint8_t* lpBlendTable, int nLevel) {
  if (!lpDstSD || !lpSrcSD || w <= 0 || h <= 0) return 0;
  fx::SourceRect r = BlitRect(lpSrcSD, dx, dy, w, h, sx, sy);
  if (lpDTCon) {
    fx::ResolveDeviceSurfaces(&lpDstSD, &lpSrcSD);
    if (fx::UseQuadPath(lpDstSD, lpSrcSD)) {
      if (!ClipQuad(lpDstSD, lpSrcSD, r)) return 0;
      const uint32_t alpha = static_cast<uint32_t>(255 - std::clamp(nLevel, 0, 255));
      plat::QuadVertex v[4];
      SourceQuad(v, r, lpSrcSD, alpha << 24 | 0xFFFFFFu);
      const bool drawn = fx::DrawQuad(lpDstSD, lpSrcSD, v, fx::QuadStage{});
      DDState.lpDevice->SetAlphaStage(plat::D3DTOP_SELECTARG1, plat::D3DTA_TEXTURE, plat::D3DTA_DIFFUSE);
      return drawn ? 1 : 0;
    }
  }
  if (fx::EffectDepthCode() == 8 && !lpBlendTable) return 0;
  return fx::RunEffect(lpDstSD, lpSrcSD, dwFlags == 1, fx::KeyRule::Table,
                       [&]<typename D, bool kKeyed>(const EffectFrame& f) {
                         TranslucentLoop<D, kKeyed>(f, r, lpBlendTable);
                       });
}

int DDBltTranslucentHalf(DDSURFACEDATA* lpDstSD, int dx, int dy, int w, int h, DDSURFACEDATA* lpSrcSD, int sx, int sy,
                         uint32_t dwFlags, const uint8_t* lpBlendTable) {
  return DDBltTranslucent(lpDstSD, dx, dy, w, h, lpSrcSD, sx, sy, dwFlags, lpBlendTable, 128);
}
