// Every pixel effect of the drawing layer over a full 640 × 480 frame, in
// the DirectDraw mode and in the Direct3D mode (a render-target destination
// and a render-target source, as the screen effects of stage play draw), at
// 32 and at 16 bits: each effect's time per frame (goal: at most 0.5 ms),
// and for the stretch, rotation and translucent blits at 32 bits the time
// pixman takes for its nearest composite of the same kind beside ours
// (nearest-neighbour scale, rotation by a transform, OVER with a constant
// alpha), printed as the ratio ours / pixman (goal: at most 1).
//
// Each iteration times one frame of ours and then one of pixman's, and the
// figures are the medians of those samples: on a loaded machine both meet
// the same load, and the stretched samples do not pull the figures.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#if PELMORA_HAVE_PIXMAN
#include <pixman.h>
#endif

#include "bench_goals.h"
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

// A colour of 8-bit channels (0: the transparent colour) as a raw pixel of
// the display's format: a texel of the device (transparent texels are 0) or
// a DirectDraw pixel (transparent pixels hold the colour key).
uint32_t RawPixel(uint32_t direct3D, int bpp, uint32_t c) {
  if (c == 0) return direct3D ? 0u : DDState.dwColorKey;
  if (bpp == 32) return direct3D ? 0xFF000000u | c : c;
  const uint32_t* f = DDState.TexFormat;
  uint32_t raw = (((c >> 16) & 0xFF) * f[PF_RMAX] / 255) << f[PF_RSHIFT] |
                 (((c >> 8) & 0xFF) * f[PF_GMAX] / 255) << f[PF_GSHIFT] | ((c & 0xFF) * f[PF_BMAX] / 255) << f[PF_BSHIFT];
  if (direct3D) raw |= f[PF_AMAX] << f[PF_ASHIFT];
  if (!direct3D && raw == DDState.dwColorKey) raw ^= 1;  // an opaque dot never reads as the key
  return raw;
}

// A fresh full-screen display in the mode and depth, and the two surfaces
// filled through the lock.
void Prepare(uint32_t direct3D, int bpp, Frame& f) {
  plat::SetWindowHost(plat::MakeHeadlessWindowHost());
  plat::SetVerticalBlankWait(false);
  plat::DrawFaultInjection() = plat::DrawFaults{};
  plat::DeviceConfiguration() = plat::DeviceConfig{};
  DDResetForTest();
  if (!DDInit(direct3D, 0, kW, kH, bpp, 1, 0, 1, 60, 0, nullptr, nullptr, 0)) return;
  for (int k = 0; k < 256; ++k)
    DDState.DDPalette[k] = PALETTEENTRY{static_cast<uint8_t>(k), static_cast<uint8_t>(255 - k),
                                        static_cast<uint8_t>(k * 3), 0};
  if (!DDCreateSurface(&f.src, kW, kH, 1, 1, DTMEMORYTYPE_VIDEO_RT, 0, 0) ||
      !DDCreateSurface(&f.dst, kW, kH, 0, 1, DTMEMORYTYPE_VIDEO_RT, 0, 0))
    return;
  const size_t bytes = static_cast<size_t>(bpp / 8);
  for (DDSURFACEDATA* sd : {&f.src, &f.dst}) {
    cSurfaceLock lock(sd);
    if (!lock.Locked()) return;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const uint32_t c = sd == &f.src ? PatternColour(x, y) : 0x405060u + static_cast<uint32_t>(x ^ y);
        const uint32_t raw = RawPixel(direct3D, bpp, c);
        std::memcpy(lock.Bits() + static_cast<size_t>(y) * lock.Pitch() + static_cast<size_t>(x) * bytes, &raw, bytes);
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
// 32-bit pictures.
class PixmanPeer {
 public:
  explicit PixmanPeer(int peer) : src_(static_cast<size_t>(kW) * kH), dst_(src_.size()) {
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const uint32_t c = PatternColour(x, y);
        src_[static_cast<size_t>(y) * kW + x] = c ? 0xFF000000u | c : 0u;
        dst_[static_cast<size_t>(y) * kW + x] = 0xFF405060u + static_cast<uint32_t>(x ^ y);
      }
    s_ = pixman_image_create_bits(PIXMAN_a8r8g8b8, kW, kH, src_.data(), kW * 4);
    d_ = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, dst_.data(), kW * 4);
    pixman_transform_t t;
    if (peer == 1) {
      pixman_transform_init_scale(&t, pixman_double_to_fixed(0.5), pixman_double_to_fixed(0.5));
      pixman_image_set_transform(s_, &t);
    } else if (peer == 2) {
      pixman_f_transform_t ft;
      pixman_f_transform_init_identity(&ft);
      pixman_f_transform_translate(&ft, nullptr, -kW / 2.0, -kH / 2.0);
      const double a = 30.0 * 3.141592653589793 / 180.0;
      pixman_f_transform_rotate(&ft, nullptr, std::cos(a), std::sin(a));
      pixman_f_transform_translate(&ft, nullptr, kW / 2.0, kH / 2.0);
      pixman_transform_from_pixman_f_transform(&t, &ft);
      pixman_image_set_transform(s_, &t);
    } else {
      const pixman_color_t half{0, 0, 0, 0x8080};
      mask_ = pixman_image_create_solid_fill(&half);
      op_ = PIXMAN_OP_OVER;
    }
    pixman_image_set_filter(s_, PIXMAN_FILTER_NEAREST, nullptr, 0);
  }
  ~PixmanPeer() {
    if (mask_) pixman_image_unref(mask_);
    pixman_image_unref(s_);
    pixman_image_unref(d_);
  }
  PixmanPeer(const PixmanPeer&) = delete;
  PixmanPeer& operator=(const PixmanPeer&) = delete;
  void Draw() { pixman_image_composite32(op_, s_, mask_, d_, 0, 0, 0, 0, 0, 0, kW, kH); }

 private:
  std::vector<uint32_t> src_, dst_;
  pixman_image_t *s_ = nullptr, *d_ = nullptr, *mask_ = nullptr;
  pixman_op_t op_ = PIXMAN_OP_SRC;
};
#endif

constexpr double kGoalMs = 0.5;     // each effect over a full frame
constexpr double kGoalRatio = 1.0;  // ours / pixman

double MsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

void RunEffect(benchmark::State& state, const Effect* effect, uint32_t direct3D, int bpp, std::string name) {
  Frame f;
  Prepare(direct3D, bpp, f);
  if (!f.ok) {
    state.SkipWithError("display");
    Finish(f);
    return;
  }
#if PELMORA_HAVE_PIXMAN
  std::optional<PixmanPeer> peer;
  if (effect->peer != 0 && bpp == 32) peer.emplace(effect->peer);
#endif
  std::vector<double> ours, theirs;
  ours.reserve(1 << 16), theirs.reserve(1 << 16);
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    effect->draw(f);
    benchmark::ClobberMemory();
    ours.push_back(MsSince(t0));
#if PELMORA_HAVE_PIXMAN
    if (peer) {
      t0 = std::chrono::steady_clock::now();
      peer->Draw();
      benchmark::ClobberMemory();
      theirs.push_back(MsSince(t0));
    }
#endif
  }
  Finish(f);
  const double oursMs = bench_goals::Median(ours);
  state.counters["ours_ms"] = oursMs;
  // An effect the mode does not have (a fade on the device, a tint in
  // DirectDraw) draws nothing and has no goal.
  if (oursMs > 0.001) bench_goals::Record(name, "ms", oursMs, kGoalMs);
  if (!theirs.empty()) {
    const double pixmanMs = bench_goals::Median(theirs);
    state.counters["pixman_ms"] = pixmanMs;
    state.counters["ours_over_pixman"] = pixmanMs > 0 ? oursMs / pixmanMs : 0;
    bench_goals::Record(name, "/ pixman", pixmanMs > 0 ? oursMs / pixmanMs : 0, kGoalRatio);
  }
}

}  // namespace

int main(int argc, char** argv) {
  struct Mode {
    const char* name;
    uint32_t direct3D;
    int bpp;
  };
  static const Mode modes[] = {{"dd32", 0, 32}, {"d3d32", 1, 32}, {"dd16", 0, 16}, {"d3d16", 1, 16}};
  for (const Effect& e : Effects())
    for (const Mode& m : modes) {
      const std::string name = std::string("effect/") + e.name + "/" + m.name;
      benchmark::RegisterBenchmark(name.c_str(), RunEffect, &e, m.direct3D, m.bpp, name)
          ->Unit(benchmark::kMillisecond);
    }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  bench_goals::Print();
  return 0;
}
