// Every pixel effect of the drawing layer over a full 640 × 480 frame at 32
// bits, in the DirectDraw mode and in the Direct3D mode (a render-target
// destination and a texture source, as the effect kinds of stage play draw):
// each effect's time per frame (target: under 1 ms), and for the stretch,
// rotation and translucent blits the time pixman takes for its nearest
// composite beside ours (nearest-neighbour scale, rotation by a transform,
// OVER with a constant alpha), printed as the ratio ours / pixman.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#if PELMORA_HAVE_PIXMAN
#include <pixman.h>
#endif

#include "gfx/dd.h"
#include "gfx/fx_colour.h"
#include "gfx/fx_geom.h"
#include "gfx/palette_tools.h"
#include "platform/window_host.h"

namespace {

constexpr int kW = 640, kH = 480;

// A picture with about one dot in eight transparent, in a pattern that
// defeats run-length shortcuts; 0 stands for the transparent colour.
uint32_t PatternColour(int x, int y) {
  if (((x * 7 + y * 13) & 7) == 0) return 0;
  return 0x203040u + static_cast<uint32_t>((x * 3) & 0xFF) * 0x10000u + static_cast<uint32_t>((y * 5) & 0xFF);
}

struct Frame {
  DDSURFACEDATA src, dst;
  bool ok = false;
};

// A fresh display in the mode, and the two surfaces filled through the lock.
void Prepare(uint32_t direct3D, Frame& f) {
  plat::SetWindowHost(plat::MakeHeadlessWindowHost());
  plat::SetVerticalBlankWait(false);
  plat::DrawFaultInjection() = plat::DrawFaults{};
  plat::DeviceConfiguration() = plat::DeviceConfig{};
  DDResetForTest();
  if (!DDInit(direct3D, 0, kW, kH, 32, 1, 0, 1, 60, 0, nullptr, nullptr, 0)) return;
  for (int k = 0; k < 256; ++k)
    DDState.DDPalette[k] = PALETTEENTRY{static_cast<uint8_t>(k), static_cast<uint8_t>(255 - k),
                                        static_cast<uint8_t>(k * 3), 0};
  if (!DDCreateSurface(&f.src, kW, kH, 1, 1, DTMEMORYTYPE_VIDEO_RT, 0, 0) ||
      !DDCreateSurface(&f.dst, kW, kH, 0, 1, DTMEMORYTYPE_VIDEO_RT, 0, 0))
    return;
  for (DDSURFACEDATA* sd : {&f.src, &f.dst}) {
    cSurfaceLock lock(sd);
    if (!lock.Locked()) return;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const uint32_t c = sd == &f.src ? PatternColour(x, y) : 0x405060u + static_cast<uint32_t>(x ^ y);
        uint32_t raw = direct3D ? (c ? 0xFF000000u | c : 0u) : (c ? c : DDState.dwColorKey);
        std::memcpy(lock.Bits() + static_cast<size_t>(y) * lock.Pitch() + static_cast<size_t>(x) * 4, &raw, 4);
      }
  }
  f.ok = true;
}

void Finish(Frame& f) {
  DDReleaseSurface(&f.src);
  DDReleaseSurface(&f.dst);
  DDResetForTest();
}

struct Effect {
  const char* name;
  std::function<void(Frame&)> draw;
  int peer = 0;  // 1 stretch, 2 rotation, 3 translucent
};

const std::vector<Effect>& Effects() {
  static const std::vector<Effect> effects = {
      {"stretch", [](Frame& f) { DDBltStretch(&f.dst, 0, 0, kW, kH, &f.src, 0, 0, kW / 2, kH / 2, 0); }, 1},
      {"wave", [](Frame& f) { DDBltWave(&f.dst, 0, 0, kW, kH, 4, 8.0, 10, 2, &f.src, 0, 0, 1, 0); }},
      {"split", [](Frame& f) { DDBltSplit(&f.dst, 0, 0, kW, kH, 8, 12, &f.src, 0, 0, 1, 0); }},
      {"burst", [](Frame& f) { DDBltBurst(&f.dst, 0, 0, kW, kH, &f.src, 0, 0, 16, 1); }},
      {"rotate-depth",
       [](Frame& f) { DDBltRotateDepth(&f.dst, 0, 0, kW, kH, &f.src, 0, 0, &f.src, 0, 0, kW, kH, 1, 40, 0); }},
      {"circle", [](Frame& f) { DDBltCircle(&f.dst, kW / 2, kH / 2, kW / 2, kH / 2, 200, 1, &f.src, kW / 2, kH / 2, 1); }},
      {"rotate", [](Frame& f) { DDBltRotate(&f.dst, kW / 2, kH / 2, kW, kH, kW / 2, kH / 2, 30, &f.src, 0, 0, 0); }, 2},
      {"lens", [](Frame& f) { DDBltLens(&f.dst, kW / 2, kH / 2, 200, 100, &f.src, kW / 2, kH / 2, 1, 0); }},
      {"blur", [](Frame& f) { DDBltBlur(&f.dst, 0, 0, kW, kH, 4, 4, &f.src, 0, 0, 1); }},
      {"mosaic", [](Frame& f) { DDBltMosaic(&f.dst, 0, 0, kW, kH, 8, &f.src, 0, 0, 1); }},
      {"colour-change",
       [](Frame& f) { DDBltColorChange(&f.dst, 0, 0, kW, kH, &f.src, 0, 0, 1, DDState.DDPalette, g_BlendTable, 40, 2); }},
      {"translucent", [](Frame& f) { DDBltTranslucent(&f.dst, 0, 0, kW, kH, &f.src, 0, 0, 0, g_BlendTable, 128); }, 3},
      {"fade", [](Frame& f) {
         if (!lpDTCon) DDFade_UnPal(&f.dst, 181, 255, 255, 255, &f.src);
       }},
      {"tint", [](Frame& f) {
         if (lpDTCon) DDChangeColor(&f.dst, 0, 0, kW, kH, &f.src, 80, 255, 128, 64);
       }},
  };
  return effects;
}

#if PELMORA_HAVE_PIXMAN
// pixman's nearest composite of the same kind over the same 640 × 480
// 32-bit pictures: milliseconds per frame.
double PixmanMs(int peer, int rounds) {
  std::vector<uint32_t> src(static_cast<size_t>(kW) * kH), dst(src.size());
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const uint32_t c = PatternColour(x, y);
      src[static_cast<size_t>(y) * kW + x] = c ? 0xFF000000u | c : 0u;
      dst[static_cast<size_t>(y) * kW + x] = 0xFF405060u + static_cast<uint32_t>(x ^ y);
    }
  pixman_image_t* s = pixman_image_create_bits(PIXMAN_a8r8g8b8, kW, kH, src.data(), kW * 4);
  pixman_image_t* d = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, dst.data(), kW * 4);
  pixman_image_t* mask = nullptr;
  pixman_op_t op = PIXMAN_OP_SRC;
  pixman_transform_t t;
  if (peer == 1) {
    pixman_transform_init_scale(&t, pixman_double_to_fixed(0.5), pixman_double_to_fixed(0.5));
    pixman_image_set_transform(s, &t);
  } else if (peer == 2) {
    pixman_f_transform_t ft;
    pixman_f_transform_init_identity(&ft);
    pixman_f_transform_translate(&ft, nullptr, -kW / 2.0, -kH / 2.0);
    const double a = 30.0 * 3.141592653589793 / 180.0;
    pixman_f_transform_rotate(&ft, nullptr, std::cos(a), std::sin(a));
    pixman_f_transform_translate(&ft, nullptr, kW / 2.0, kH / 2.0);
    pixman_transform_from_pixman_f_transform(&t, &ft);
    pixman_image_set_transform(s, &t);
  } else {
    const pixman_color_t half{0, 0, 0, 0x8080};
    mask = pixman_image_create_solid_fill(&half);
    op = PIXMAN_OP_OVER;
  }
  pixman_image_set_filter(s, PIXMAN_FILTER_NEAREST, nullptr, 0);
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) {
    pixman_image_composite32(op, s, mask, d, 0, 0, 0, 0, 0, 0, kW, kH);
    benchmark::ClobberMemory();
  }
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count() / rounds;
  if (mask) pixman_image_unref(mask);
  pixman_image_unref(s);
  pixman_image_unref(d);
  return ms;
}
#endif

void RunEffect(benchmark::State& state, const Effect* effect, uint32_t direct3D) {
  Frame f;
  Prepare(direct3D, f);
  if (!f.ok) {
    state.SkipWithError("display");
    Finish(f);
    return;
  }
  const auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state) {
    effect->draw(f);
    benchmark::ClobberMemory();
  }
  const double oursMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count() / state.iterations();
  Finish(f);
  state.counters["ours_ms"] = oursMs;
#if PELMORA_HAVE_PIXMAN
  if (effect->peer != 0) {
    const double pixmanMs = PixmanMs(effect->peer, static_cast<int>(std::max<int64_t>(state.iterations(), 10)));
    state.counters["pixman_ms"] = pixmanMs;
    state.counters["ours_over_pixman"] = pixmanMs > 0 ? oursMs / pixmanMs : 0;
  }
#endif
}

}  // namespace

int main(int argc, char** argv) {
  for (const Effect& e : Effects())
    for (uint32_t direct3D : {0u, 1u}) {
      const std::string name = std::string("effect/") + e.name + (direct3D ? "/d3d32" : "/dd32");
      benchmark::RegisterBenchmark(name.c_str(), RunEffect, &e, direct3D)->Unit(benchmark::kMillisecond);
    }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
