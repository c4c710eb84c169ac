// Drives every pixel effect blit, and the palette and whole-screen colour
// operations, with parameters taken from the input over small surfaces in
// each back end and depth. The input: a display mode, the two surfaces'
// sizes, kinds and pictures, then a list of effect calls with their values.
//
// Effect values (angles, phases, frequencies, amplitudes, radii, depths,
// strip and block sizes, offsets, levels, palette ranges) take any 32-bit
// value (doubles any bit pattern); positions and sizes handed to the blits
// stay within ±4096, far outside the surfaces but inside what the ordinary
// blits' scaled clipping can work out in 32 bits.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "gfx/dd.h"
#include "gfx/fx_colour.h"
#include "gfx/fx_geom.h"
#include "gfx/palette_tools.h"
#include "platform/soft_draw.h"
#include "platform/window_host.h"

namespace {

struct Reader {
  const uint8_t* p;
  size_t n;
  uint8_t Byte() {
    if (n == 0) return 0;
    --n;
    return *p++;
  }
  uint32_t Word() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t{Byte()} << (8 * i);
    return v;
  }
  // Mostly small values, now and then far ones.
  int Pos() {
    const uint8_t k = Byte();
    if (k < 224) return static_cast<int8_t>(Byte());
    if (k < 248) return static_cast<int16_t>(Byte() | (Byte() << 8)) / 8;
    return std::clamp(static_cast<int>(Word()), -4096, 4096);
  }
  // Any 32-bit value, small ones most often.
  int Any() {
    const uint8_t k = Byte();
    if (k < 200) return static_cast<int8_t>(Byte());
    if (k < 240) return static_cast<int16_t>(Byte() | (Byte() << 8));
    return static_cast<int>(Word());
  }
  double Real() {
    if (Byte() < 220) return static_cast<int8_t>(Byte()) / 4.0;
    const uint64_t bits = uint64_t{Word()} | (uint64_t{Word()} << 32);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  }
};

struct Mode {
  uint32_t d3d;
  int bpp;
  bool use555;
  uint32_t windowed;
};
const Mode kModes[] = {{0, 8, false, 0}, {0, 16, false, 0}, {0, 16, true, 0}, {0, 32, false, 0},
                       {1, 16, false, 0}, {1, 16, false, 1}, {1, 32, false, 0}};

int g_mode = -1;

bool SetMode(int index) {
  if (index == g_mode) return true;
  if (g_mode >= 0) DDResetForTest();
  g_mode = -1;
  const Mode& m = kModes[index];
  plat::DrawFaultInjection().use555 = m.use555;
  plat::DrawFaultInjection().desktopBitsOverride = m.bpp;
  // A small display: the back buffer is a destination too.
  if (!DDInit(m.d3d, 0, 64, 48, m.bpp, 0, m.windowed, 1, 60, 0, nullptr, nullptr, 0)) return false;
  g_mode = index;
  return true;
}

void Scribble(DDSURFACEDATA* sd, uint32_t seed) {
  cSurfaceLock lock(sd);
  if (!lock.Locked()) return;
  for (int y = 0; y < lock.Height(); ++y)
    for (int x = 0; x < lock.Pitch(); ++x) {
      seed = seed * 1664525u + 1013904223u;
      // Plenty of all-zero pixels: the key of every mode and the device's
      // transparent texel.
      lock.Bits()[static_cast<size_t>(y) * lock.Pitch() + x] = (seed >> 29) < 2 ? 0 : static_cast<uint8_t>(seed >> 21);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  plat::SetWindowHost(plat::MakeHeadlessWindowHost());
  plat::SetVerticalBlankWait(false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size};
  if (!SetMode(in.Byte() % 7)) return 0;
  DDState.dwColorKey = in.Byte() < 128 ? 0 : in.Word() & (DDState.nBpp == 8 ? 0xFF : DDState.nBpp == 16 ? 0xFFFF : ~0u);

  // Two surfaces (or one used as both), each 1..24 on a side; on the device
  // a render target, a video texture or system memory. Now and then the
  // back buffer is the destination.
  const uint32_t kinds[3] = {DTMEMORYTYPE_VIDEO_RT, DTMEMORYTYPE_SYSTEM, DTMEMORYTYPE_VIDEO_NORT};
  DDSURFACEDATA a, b;
  const uint8_t shape = in.Byte();
  if (!DDCreateSurface(&a, in.Byte() % 24 + 1, in.Byte() % 24 + 1, shape & 1, (shape >> 1) & 1,
                       kinds[in.Byte() % 3], 0, 0) ||
      !DDCreateSurface(&b, in.Byte() % 24 + 1, in.Byte() % 24 + 1, (shape >> 2) & 1, (shape >> 3) & 1,
                       kinds[in.Byte() % 3], 0, 0)) {
    DDReleaseSurface(&a);
    DDReleaseSurface(&b);
    return 0;
  }
  Scribble(&a, in.Word());
  Scribble(&b, in.Word());
  if (shape & 0x10) DDSetVirtualBackBuffer(1);
  DDSURFACEDATA* dst = (shape & 0xE0) == 0xE0 ? DDBackBuffer() : &a;
  DDSURFACEDATA* src = (shape & 0xE0) == 0xC0 ? dst : &b;

  static uint8_t table[65536];
  for (size_t i = 0; i < sizeof table; ++i) table[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
  PALETTEENTRY colours[256];
  for (int i = 0; i < 256; ++i) colours[i] = PALETTEENTRY{uint8_t(i * 3), uint8_t(255 - i), uint8_t(i * 7), 0};
  const DDDRAWSTATE states[2] = {{0x80FF4020u, plat::D3DTOP_ADD}, {0xFFFFFFFFu, plat::D3DTOP_MODULATE}};

  for (int call = 0; call < 8 && in.n > 0; ++call) {
    const uint8_t op = in.Byte();
    const uint32_t flags = op & 0x80 ? 1 : (op & 0x40 ? 2 : 0);
    const DDDRAWSTATE* state = op & 0x20 ? &states[op & 1] : nullptr;
    switch (op % 19) {
      case 0: {
        const int dx = in.Pos(), dy = in.Pos(), dw = in.Pos(), dh = in.Pos(), sx = in.Pos(), sy = in.Pos();
        DDBltStretch(dst, dx, dy, dw, dh, src, sx, sy, in.Pos(), in.Pos(), flags);
        break;
      }
      case 1: {
        const int x = in.Pos(), y = in.Pos(), w = in.Pos(), h = in.Pos(), freq = in.Any();
        const double amplitude = in.Real();
        const int phase = in.Any(), strip = in.Any(), sx = in.Pos(), sy = in.Pos();
        DDBltWave(dst, x, y, w, h, freq, amplitude, phase, strip, src, sx, sy, flags, op & 2);
        break;
      }
      case 2: {
        const int x = in.Pos(), y = in.Pos(), w = in.Pos(), h = in.Pos(), strip = in.Any(), offset = in.Any();
        DDBltSplit(dst, x, y, w, h, strip, offset, src, in.Pos(), in.Pos(), flags, op & 2);
        break;
      }
      case 3: {
        const int x = in.Pos(), y = in.Pos(), w = in.Pos(), h = in.Pos(), sx = in.Pos(), sy = in.Pos();
        DDBltBurst(dst, x, y, w, h, src, sx, sy, in.Any(), flags);
        break;
      }
      case 4: {
        const int x = in.Pos(), y = in.Pos(), w = in.Pos(), h = in.Pos(), fx = in.Pos(), fy = in.Pos();
        const int bx = in.Pos(), by = in.Pos(), sw = in.Pos(), sh = in.Pos(), phase = in.Any();
        DDBltRotateDepth(dst, x, y, w, h, src, fx, fy, dst, bx, by, sw, sh, flags, phase, in.Byte() % 3);
        break;
      }
      case 5: {
        const int cx = in.Pos(), cy = in.Pos(), hw = in.Any(), hh = in.Any(), radius = in.Any();
        const int strip = in.Any(), scx = in.Pos();
        DDBltCircle(dst, cx, cy, hw, hh, radius, strip, src, scx, in.Pos(), flags);
        break;
      }
      case 6: {
        const int dx = in.Pos(), dy = in.Pos(), w = in.Any(), h = in.Any(), cx = in.Any(), cy = in.Any();
        const int angle = in.Any(), sx = in.Pos();
        DDBltRotate(dst, dx, dy, w, h, cx, cy, angle, src, sx, in.Pos(), flags);
        break;
      }
      case 7: {
        const int cx = in.Any(), cy = in.Any(), radius = in.Any(), depth = in.Any(), scx = in.Any();
        DDBltLens(dst, cx, cy, radius, depth, src, scx, in.Any(), flags, op & 2, state);
        break;
      }
      case 8: {
        const int dx = in.Pos(), dy = in.Pos(), w = in.Pos(), h = in.Pos(), rx = in.Any(), ry = in.Any();
        DDBltBlur(dst, dx, dy, w, h, rx, ry, src, in.Pos(), in.Pos(), flags, state);
        break;
      }
      case 9: {
        const int dx = in.Pos(), dy = in.Pos(), w = in.Pos(), h = in.Pos(), block = in.Any();
        DDBltMosaic(dst, dx, dy, w, h, block, src, in.Pos(), in.Pos(), flags, state);
        break;
      }
      case 10: {
        const int dx = in.Pos(), dy = in.Pos(), w = in.Pos(), h = in.Pos(), sx = in.Pos(), sy = in.Pos();
        const int palnum = in.Any(), level = in.Any();
        DDBltColorChange(dst, dx, dy, w, h, src, sx, sy, flags, colours, op & 2 ? table : nullptr, palnum, level,
                         state);
        break;
      }
      case 11: {
        const int dx = in.Pos(), dy = in.Pos(), w = in.Pos(), h = in.Pos(), sx = in.Pos(), sy = in.Pos();
        DDBltTranslucent(dst, dx, dy, w, h, src, sx, sy, flags, op & 2 ? table : nullptr, in.Any());
        break;
      }
      case 12: {
        const int dx = in.Pos(), dy = in.Pos(), w = in.Pos(), h = in.Pos(), sx = in.Pos(), sy = in.Pos();
        DDBltTranslucentHalf(dst, dx, dy, w, h, src, sx, sy, flags, op & 2 ? table : nullptr);
        break;
      }
      case 13: {
        const int weight = in.Any();
        DDFade_UnPal(dst, weight, in.Byte(), in.Byte(), in.Byte(), src);
        break;
      }
      case 14: {
        const int x = in.Pos(), y = in.Pos(), w = in.Pos(), h = in.Pos(), alpha = in.Any();
        if (op & 2) DDChangeColor(dst, x, y, w, h, src, alpha, in.Byte(), in.Byte(), in.Byte());
        else DDChangeColorAll(dst, x, y, w, h, alpha, in.Byte(), in.Byte(), in.Byte());
        break;
      }
      case 15: {
        PALETTEENTRY out[256];
        const int first = in.Any(), last = in.Any(), places = in.Any();
        DDRotatePalette(out, first, last, places, in.Any(), colours);
        break;
      }
      case 16: {
        PALETTEENTRY out[256] = {};
        const int first = in.Any(), last = in.Any(), weight = in.Any();
        DDBlendPalette(out, first, last, weight, in.Byte(), in.Byte(), in.Byte(), colours);
        break;
      }
      case 17: {
        PALETTEENTRY out[256] = {};
        const int first = in.Any(), last = in.Any();
        const double step = in.Real();
        if (op & 2) DDFadePaletteOut(out, first, last, in.Byte(), in.Byte(), in.Byte(), step, colours, op & 4);
        else DDFadePaletteIn(out, first, last, in.Byte(), in.Byte(), in.Byte(), step, colours, op & 4);
        break;
      }
      default: {
        PALETTEENTRY out[256] = {};
        DDSetPalette_UnPal(out, src);
        break;
      }
    }
  }
  DDSetVirtualBackBuffer(0);
  DDReleaseSurface(&a);
  DDReleaseSurface(&b);
  return 0;
}
