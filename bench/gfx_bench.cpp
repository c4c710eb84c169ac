// What a player feels of the drawing layer: a full-screen keyed blit in the
// DirectDraw mode at 32 and 16 bits, side by side with SDL's blitter doing
// the same keyed copy (the ratio is printed as a counter), and a Direct3D
// frame of 2,000 keyed 32 × 32 sprites through the sprite batch plus the
// present (conversion to the frame and hand-off to the window host) at 32
// and 16 bits (goal: at most 1 ms a frame); the full-screen fill on the
// Direct3D back buffer, alone and as a fill batch; the windowed DirectDraw
// present at each depth. Times per frame are medians of per-frame samples,
// which a loaded machine stretches least.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "bench_goals.h"
#include "gfx/dd.h"
#include "platform/window_host.h"
#include "support/bmp_writer.h"

namespace {

// A picture with about a quarter of its dots transparent, in a pattern
// that defeats run-length shortcuts: 0 stands for the key.
uint32_t PatternColour(int x, int y) {
  if (((x * 7 + y * 13) & 3) == 0) return 0;
  return 0x203040u + static_cast<uint32_t>((x * 3) & 0xFF) * 0x10000u + static_cast<uint32_t>((y * 5) & 0xFF);
}

void FreshDisplay(uint32_t direct3D, int bpp) {
  plat::SetWindowHost(plat::MakeHeadlessWindowHost());
  plat::SetVerticalBlankWait(false);
  plat::DrawFaultInjection() = plat::DrawFaults{};
  plat::DeviceConfiguration() = plat::DeviceConfig{};
  DDResetForTest();
  // VSync on: the present never paces (and the emulated blank is off).
  DDInit(direct3D, 0, 640, 480, bpp, 1, 0, 1, 60, 0, nullptr, nullptr, 0);
}

// Our keyed blit of a 640 × 480 system-memory surface onto the back buffer,
// then SDL_BlitSurface of the same pixels with SDL's colour key.
void BM_KeyedBlitFullScreen(benchmark::State& state) {
  const int bpp = static_cast<int>(state.range(0));
  FreshDisplay(0, bpp);
  DDSURFACEDATA src;
  if (!DDCreateSurface(&src, 640, 480, 1, 1, 1, 0, 0)) {
    state.SkipWithError("surface");
    return;
  }
  // Fill through the lock with display pixels: the key where the pattern says.
  {
    cSurfaceLock lock(&src);
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x) {
        const uint32_t c = PatternColour(x, y);
        uint32_t raw = c == 0 ? DDState.dwColorKey : (bpp == 16 ? ((c >> 8) & 0xF800) | ((c >> 5) & 0x07E0) | ((c >> 3) & 0x1F) : c);
        if (raw == DDState.dwColorKey && c != 0) raw ^= 1;
        std::memcpy(lock.Bits() + y * lock.Pitch() + x * (bpp / 8), &raw, static_cast<size_t>(bpp / 8));
      }
  }
  const auto ours0 = std::chrono::steady_clock::now();
  for (auto _ : state) {
    DDBlt(DDBackBuffer(), 0, 0, 640, 480, &src, 0, 0, 1);
    benchmark::ClobberMemory();
  }
  const double oursMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - ours0).count() / state.iterations();

  // SDL: the same picture and key in the same format.
  const uint32_t format = bpp == 16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_XRGB8888;
  SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, 640, 480, bpp, format);
  SDL_Surface* d = SDL_CreateRGBSurfaceWithFormat(0, 640, 480, bpp, format);
  {
    cSurfaceLock lock(&src);
    for (int y = 0; y < 480; ++y)
      std::memcpy(static_cast<uint8_t*>(s->pixels) + y * s->pitch, lock.Bits() + y * lock.Pitch(), 640u * (bpp / 8));
  }
  SDL_SetColorKey(s, SDL_TRUE, DDState.dwColorKey);
  SDL_SetSurfaceBlendMode(s, SDL_BLENDMODE_NONE);
  const int rounds = static_cast<int>(std::max<int64_t>(state.iterations(), 10));
  const auto sdl0 = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) {
    SDL_BlitSurface(s, nullptr, d, nullptr);
    benchmark::ClobberMemory();
  }
  const double sdlMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - sdl0).count() / rounds;
  SDL_FreeSurface(s);
  SDL_FreeSurface(d);
  DDReleaseSurface(&src);
  DDResetForTest();
  state.counters["ours_ms"] = oursMs;
  state.counters["sdl_ms"] = sdlMs;
  state.counters["ours_over_sdl"] = sdlMs > 0 ? oursMs / sdlMs : 0;
}
BENCHMARK(BM_KeyedBlitFullScreen)->Arg(32)->Arg(16)->Unit(benchmark::kMillisecond);

// 2,000 keyed 32 × 32 sprites from one sheet in a sorted batch, then the
// present: the frame of a busy stage in Direct3D mode (goal: at most 1 ms).
void BM_Direct3DSpriteFrame(benchmark::State& state) {
  const int bpp = static_cast<int>(state.range(0));
  const std::string dir = std::filesystem::temp_directory_path() / ("pelmora_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::vector<uint32_t> px(256 * 256);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) px[y * 256 + x] = PatternColour(x, y) == 0 ? 0xFF00FF : PatternColour(x, y);
  const auto bytes = testbmp::Rgb24(256, 256, px);
  const std::string file = dir + "/sheet.bmp";
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

  FreshDisplay(1, bpp);
  DDSetTransmit(255, 0, 255);
  DDSURFACEDATA sheet;
  if (DDCreateSurfaceFromFile(&sheet, file.c_str(), 1, bpp, 0, 0, 0, 0, 0, 0, 0) != 0) {
    state.SkipWithError("sheet");
    return;
  }
  const uint64_t before = plat::GetWindowHost().FramesPresented();
  std::vector<double> samples;
  samples.reserve(1 << 16);
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    DDFillRect(DDBackBuffer(), 0, 0, 640, 480, 3);
    DDBeginBatch(1);
    for (int i = 0; i < 2000; ++i) {
      const int x = (i * 37) % 608, y = (i * 91) % 448, cell = i % 64;
      DDBlt(DDBackBuffer(), x, y, 32, 32, &sheet, (cell % 8) * 32, (cell / 8) * 32, 1);
    }
    DDEndBatch();
    DDPresent(60);
    samples.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  state.counters["frames_presented"] = static_cast<double>(plat::GetWindowHost().FramesPresented() - before);
  const double ms = bench_goals::Median(samples);
  state.counters["frame_ms"] = ms;
  bench_goals::Record("sprite frame/" + std::to_string(bpp), "ms", ms, 1.0);
  DDReleaseSurface(&sheet);
  DDResetForTest();
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_Direct3DSpriteFrame)->Arg(32)->Arg(16)->Unit(benchmark::kMillisecond);

// A full-screen DDFillRect on the Direct3D back buffer (a shaded quad of
// the palette colour over the whole render target; target: well under 1 ms).
void BM_Direct3DFillFullScreen(benchmark::State& state) {
  const int bpp = static_cast<int>(state.range(0));
  FreshDisplay(1, bpp);
  DDState.DDPalette[3] = PALETTEENTRY{40, 90, 200, 0};
  for (auto _ : state) {
    DDFillRect(DDBackBuffer(), 0, 0, 640, 480, 3);
    benchmark::ClobberMemory();
  }
  DDResetForTest();
}
BENCHMARK(BM_Direct3DFillFullScreen)->Arg(32)->Arg(16)->Unit(benchmark::kMillisecond);

// The same fills queued in a fill batch (the frames and the block grid):
// 1,200 cells of 16 × 16 in one run.
void BM_Direct3DFillBatch(benchmark::State& state) {
  const int bpp = static_cast<int>(state.range(0));
  FreshDisplay(1, bpp);
  DDState.DDPalette[3] = PALETTEENTRY{40, 90, 200, 0};
  for (auto _ : state) {
    DDBeginFillBatch();
    for (int y = 0; y < 480; y += 16)
      for (int x = 0; x < 640; x += 16) DDFillRect(DDBackBuffer(), x, y, 16, 16, 3);
    DDEndFillBatch();
    benchmark::ClobberMemory();
  }
  DDResetForTest();
}
BENCHMARK(BM_Direct3DFillBatch)->Arg(32)->Arg(16)->Unit(benchmark::kMillisecond);

// The DirectDraw present of a windowed frame: the back buffer copied onto
// the primary and the primary converted to the frame.
void BM_DirectDrawPresent(benchmark::State& state) {
  const int bpp = static_cast<int>(state.range(0));
  plat::SetWindowHost(plat::MakeHeadlessWindowHost());
  plat::SetVerticalBlankWait(false);
  plat::DrawFaultInjection() = plat::DrawFaults{};
  plat::DrawFaultInjection().desktopBitsOverride = bpp;  // a window takes the desktop's depth
  DDResetForTest();
  if (!DDInit(0, 0, 640, 480, bpp, 1, 1, 1, 60, 0, nullptr, nullptr, 0)) {
    state.SkipWithError("display");
    return;
  }
  // The late-frame flag skips the vertical-blank wait.
  for (auto _ : state) DDPresentDirectDraw(0, 1);
  DDResetForTest();
  plat::DrawFaultInjection() = plat::DrawFaults{};
}
BENCHMARK(BM_DirectDrawPresent)->Arg(32)->Arg(16)->Arg(8)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  bench_goals::Print();
  return 0;
}
