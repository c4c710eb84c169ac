// The frame every pixel effect blit shares: the choice between a device quad
// and the processor, the pair of locks, the pixel formats of each colour
// depth, the transparency tests and the 16-bit write rule of the full-screen
// back buffer, and the one dispatcher that turns the run-time depth and
// transparency flag into a compiled loop.
//
// An effect writes its pixel loop once, as a template over a depth type and
// a transparency flag, and hands it to RunEffect:
//
//   return fx::RunEffect(dst, src, flags == 1, fx::KeyRule::Table,
//       [&]<typename D, bool kKeyed>(const fx::EffectFrame& f) { ... });
//
// RunEffect locks the destination and then the source (a surface that is
// both is locked once), picks one of Depth8, Depth16_565, Depth16_555 and
// Depth32 from the display, instantiates the loop for that depth and flag,
// and unlocks the source before the destination. The loop reads and writes
// through the frame's planes; every read must lie inside `f.src`, every
// write inside `f.dst` (Plane::Inside, or row and column ranges worked out
// once with ClipSpan).
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>

#include "gfx/dd.h"

namespace fx {

// ---- pixel formats per depth ----

// Palette numbers: no channels.
struct Depth8 {
  using Pixel = uint8_t;
  static constexpr int kBits = 8;
  static constexpr bool kIndexed = true;
  static constexpr uint32_t kAll = 0xFFu;
};

// A packed RGB format with compile-time shifts and maxima (alpha maximum 0:
// no alpha bits).
template <typename P, int RS, int GS, int BS, int AS, uint32_t RM, uint32_t GM, uint32_t BM, uint32_t AM>
struct DepthRgb {
  using Pixel = P;
  static constexpr int kBits = static_cast<int>(sizeof(P)) * 8;
  static constexpr bool kIndexed = false;
  static constexpr uint32_t kAll = sizeof(P) == 2 ? 0xFFFFu : 0xFFFFFFFFu;
  static constexpr int kRShift = RS, kGShift = GS, kBShift = BS, kAShift = AS;
  static constexpr uint32_t kRMax = RM, kGMax = GM, kBMax = BM, kAMax = AM;
  static constexpr uint32_t kRgbMask = (RM << RS) | (GM << GS) | (BM << BS);
};
// 16-bit DirectDraw display formats, and (555 with its alpha bit) the 16-bit
// texture format of the device.
using Depth16_565 = DepthRgb<uint16_t, 11, 5, 0, 0, 31, 63, 31, 0>;
using Depth16_555 = DepthRgb<uint16_t, 10, 5, 0, 15, 31, 31, 31, 1>;
// 32-bit: blue in byte 0, green byte 1, red byte 2, alpha byte 3.
using Depth32 = DepthRgb<uint32_t, 16, 8, 0, 24, 255, 255, 255, 255>;

struct Rgba {
  uint32_t r = 0, g = 0, b = 0, a = 0;
};

template <typename D>
inline Rgba Unpack(uint32_t p) {
  return Rgba{(p >> D::kRShift) & D::kRMax, (p >> D::kGShift) & D::kGMax, (p >> D::kBShift) & D::kBMax,
              D::kAMax ? (p >> D::kAShift) & D::kAMax : 0u};
}
template <typename D>
inline uint32_t Pack(const Rgba& c) {
  uint32_t p = (c.r << D::kRShift) | (c.g << D::kGShift) | (c.b << D::kBShift);
  if constexpr (D::kAMax != 0) p |= c.a << D::kAShift;
  return p;
}
// Channel range changes of the averaging effects: c × 255 / max and
// v × max / 255, both truncating.
inline uint32_t To255(uint32_t c, uint32_t max) { return max ? c * 255u / max : 0u; }
inline uint32_t From255(uint32_t v, uint32_t max) { return v * max / 255u; }

// The same for the channel widths of the pixel formats by multiplication
// and shift, so that loops over many pixels vectorise (for 5 and 6 bits the
// products stay below 2^16); checked below against the divisions.
template <uint32_t kMax>
constexpr uint32_t To255Of(uint32_t c) {
  static_assert(kMax == 1 || kMax == 31 || kMax == 63 || kMax == 255);
  if constexpr (kMax == 31) return (c * 1053u) >> 7;
  else if constexpr (kMax == 63) return (c * 259u + 3u) >> 6;
  else return c * (255u / kMax);
}
template <uint32_t kMax>
constexpr uint32_t From255Of(uint32_t v) {
  static_assert(kMax == 1 || kMax == 31 || kMax == 63 || kMax == 255);
  if constexpr (kMax == 31) return (v * 249u) >> 11;
  else if constexpr (kMax == 63) return (v * 253u) >> 10;
  else if constexpr (kMax == 1) return (v + 1u) >> 8;
  else return v;
}
template <uint32_t kMax>
constexpr bool RangeArithmeticHolds() {
  for (uint32_t c = 0; c <= kMax; ++c)
    if (To255Of<kMax>(c) != c * 255u / kMax) return false;
  for (uint32_t v = 0; v < 256; ++v)
    if (From255Of<kMax>(v) != v * kMax / 255u) return false;
  return true;
}
static_assert(RangeArithmeticHolds<1>() && RangeArithmeticHolds<31>() && RangeArithmeticHolds<63>() &&
              RangeArithmeticHolds<255>());

// ---- the locked surfaces ----

// One locked surface: row 0, the pitch in bytes and the size.
struct Plane {
  uint8_t* bits = nullptr;
  int pitch = 0;
  int width = 0, height = 0;

  bool Inside(int x, int y) const {
    return static_cast<unsigned>(x) < static_cast<unsigned>(width) &&
           static_cast<unsigned>(y) < static_cast<unsigned>(height);
  }
  uint8_t* Row(int y) const { return bits + static_cast<size_t>(y) * static_cast<size_t>(pitch); }
  // Pixel access by column of a row (rows need not be aligned).
  template <typename P>
  static P Load(const uint8_t* row, int x) {
    P v;
    std::memcpy(&v, row + static_cast<size_t>(x) * sizeof(P), sizeof(P));
    return v;
  }
  template <typename P>
  static void Store(uint8_t* row, int x, P v) {
    std::memcpy(row + static_cast<size_t>(x) * sizeof(P), &v, sizeof(P));
  }
  template <typename P>
  P Get(int x, int y) const {
    return Load<P>(Row(y), x);
  }
};

// Which source pixels count as transparent.
enum class KeyRule {
  // DirectDraw: equal to the colour key; device: 16-bit (p & 0xA000) == 0,
  // 32-bit alpha byte 0.
  Table,
  // Equal to the colour key value in both back ends (the device's value is 0,
  // the value of transparent texels).
  ColourKey,
};

// What a pixel loop needs besides its own parameters.
struct EffectFrame {
  Plane dst, src;
  int bits = 0;              // 8, 16 or 32
  bool direct3d = false;
  bool sameSurface = false;  // dst and src are one surface (one lock)
  // 16-bit device destination that is the full-screen back buffer: pixels
  // in the texture format are rebuilt as R5G6B5 when written.
  bool flipBack = false;
  // A source pixel p is transparent when (p & keyMask) == keyValue.
  uint32_t keyMask = 0, keyValue = 0;
  // OR-ed into colours an effect computes (device: the alpha bit of the
  // 16-bit texture format, alpha 0xFF at 32 bits; DirectDraw: nothing).
  uint32_t computedAlpha = 0;

  bool Transparent(uint32_t p) const { return (p & keyMask) == keyValue; }

  // Writes a pixel held in the source format to the destination.
  template <typename D>
  void Put(uint8_t* row, int x, uint32_t p) const {
    if constexpr (D::kBits == 16) {
      if (flipBack) p = ((p & 0x7FE0u) << 1) | (p & 0x1Fu);  // 555 to 565: green widened by one bit
    }
    Plane::Store<typename D::Pixel>(row, x, static_cast<typename D::Pixel>(p));
  }
  // Writes a colour the effect computed (gets the computed-colour alpha).
  template <typename D>
  void PutComputed(uint8_t* row, int x, uint32_t p) const {
    Put<D>(row, x, p | computedAlpha);
  }
};

// Cuts the index range [0, n) so that start + i stays inside [0, limit):
// first and last (exclusive) indexes; empty when first >= last.
inline void ClipSpan(int start, int n, int limit, int& first, int& last) {
  const long long lo = -static_cast<long long>(start), hi = static_cast<long long>(limit) - start;
  first = static_cast<int>(lo > 0 ? lo : 0);
  const long long end = hi < n ? hi : n;
  last = static_cast<int>(end > first ? end : first);
}

// The draw state's colour operation 7 (add): each channel gets the state's
// channel added (16-bit: scaled to the channel range first) and is clamped.
struct AddColour {
  bool on = false;
  uint32_t r = 0, g = 0, b = 0;
};
template <typename D>
inline AddColour MakeAddColour(const DDDRAWSTATE* state) {
  AddColour a;
  if constexpr (!D::kIndexed) {
    if (!state || state->dwColorOp != plat::D3DTOP_ADD) return a;
    a.on = true;
    a.r = From255((state->dwColor >> 16) & 0xFF, D::kRMax);
    a.g = From255((state->dwColor >> 8) & 0xFF, D::kGMax);
    a.b = From255(state->dwColor & 0xFF, D::kBMax);
  }
  return a;
}
template <typename D>
inline uint32_t ApplyAdd(uint32_t p, const AddColour& a) {
  if constexpr (D::kIndexed) {
    return p;
  } else {
    if (!a.on) return p;
    auto add = [](uint32_t c, uint32_t v, uint32_t max) { return c + v > max ? max : c + v; };
    const uint32_t r = add((p >> D::kRShift) & D::kRMax, a.r, D::kRMax);
    const uint32_t g = add((p >> D::kGShift) & D::kGMax, a.g, D::kGMax);
    const uint32_t b = add((p >> D::kBShift) & D::kBMax, a.b, D::kBMax);
    return (p & ~D::kRgbMask) | (r << D::kRShift) | (g << D::kGShift) | (b << D::kBShift);
  }
}

// Both surfaces locked for one effect: destination first, then the source;
// the source is unlocked first. Failures are logged by the surface lock.
class cEffectLocks {
 public:
  cEffectLocks(DDSURFACEDATA* dst, DDSURFACEDATA* src, KeyRule rule);
  ~cEffectLocks() { Unlock(); }
  cEffectLocks(const cEffectLocks&) = delete;
  cEffectLocks& operator=(const cEffectLocks&) = delete;
  bool Locked() const { return locked_; }
  void Unlock();
  EffectFrame frame;

 private:
  std::optional<cSurfaceLock> dst_, src_;
  bool locked_ = false;
};

// The display's colour depth as one of the four depth types: 0 none (24 bits
// or nothing set up), else 8, 16 (565), 15 (555 layouts) or 32.
int EffectDepthCode();

// Locks, builds the frame and runs `body.template operator()<D, kKeyed>(frame)`
// for the display's depth. 0 when the depth has no loop or a lock failed,
// else 1.
template <typename Body>
int RunEffect(DDSURFACEDATA* dst, DDSURFACEDATA* src, bool keyed, KeyRule rule, Body&& body) {
  const int code = EffectDepthCode();
  if (code == 0) return 0;
  cEffectLocks locks(dst, src, rule);
  if (!locks.Locked()) return 0;
  const EffectFrame& f = locks.frame;
  auto run = [&]<typename D>() {
    if (keyed) body.template operator()<D, true>(f);
    else body.template operator()<D, false>(f);
  };
  switch (code) {
    case 8: run.template operator()<Depth8>(); break;
    case 16: run.template operator()<Depth16_565>(); break;
    case 15: run.template operator()<Depth16_555>(); break;
    default: run.template operator()<Depth32>(); break;
  }
  locks.Unlock();
  return 1;
}

// ---- the device quad ----

// Both surface pointers as the device draws them: mirror substitution, then
// the virtual back buffer redirection.
void ResolveDeviceSurfaces(DDSURFACEDATA** dst, DDSURFACEDATA** src);
// Direct3D and the destination a render target and the source (null for an
// untextured quad) not in system memory: the effect draws as a device quad.
// Takes surfaces already resolved.
bool UseQuadPath(DDSURFACEDATA* dst, DDSURFACEDATA* src);

// Texture stage 0 of one quad.
struct QuadStage {
  uint32_t colorOp = plat::D3DTOP_MODULATE, colorArg1 = plat::D3DTA_TEXTURE, colorArg2 = plat::D3DTA_DIFFUSE;
  uint32_t alphaOp = plat::D3DTOP_MODULATE, alphaArg1 = plat::D3DTA_TEXTURE, alphaArg2 = plat::D3DTA_DIFFUSE;
  bool setFactor = false;
  uint32_t factor = 0;
};
// Draws one triangle strip of four vertices onto `dst` with `src`'s texture
// (or none): the vertices go through the source's (else the destination's)
// 112-byte vertex buffer, the scene is opened, the target set, the stage
// set, and the current render target put back. False when nothing was drawn.
bool DrawQuad(DDSURFACEDATA* dst, DDSURFACEDATA* src, const plat::QuadVertex (&v)[4], const QuadStage& stage);

}  // namespace fx
