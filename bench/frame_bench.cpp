// What a player feels of the frame loop: the achieved frame rate and its
// jitter, the frame rate and processor time of the whole game standing on an
// idle scene, the cost of one request the game thread sends to the main
// thread (every sound effect is such a request), and the whole way of a frame
// to the screen in each drawing mode.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

#include "base/timers.h"
#include "gfx/dd.h"
#include "platform/messages.h"
#include "platform/soft_draw.h"
#include "platform/window_host.h"
#include "scene/scene.h"
#include "support/harness.h"

namespace {

void BM_FramePacing(benchmark::State& state) {
  const int frames = static_cast<int>(state.range(0));
  SceneManager.m_nFrameRate = 60;
  for (auto _ : state) {
    ResetTimersForTest();
    std::vector<double> stamps;
    stamps.reserve(frames + 1);
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i <= frames; ++i) {
      WaitFrameTime();
      stamps.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    double seconds = (stamps.back() - stamps.front()) / 1000.0;
    double mean = (stamps.back() - stamps.front()) / frames;
    double var = 0;
    for (int i = 1; i <= frames; ++i) {
      double d = stamps[i] - stamps[i - 1] - mean;
      var += d * d;
    }
    state.counters["fps"] = frames / seconds;
    state.counters["jitter_ms"] = std::sqrt(var / frames);
    state.SetIterationTime(seconds);
  }
}
BENCHMARK(BM_FramePacing)->Arg(300)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class IdleScene : public cScene {
 public:
  int Run() override { return 0; }
};

// The real entry point in real time on the demo project (headless), its title
// replaced by a scene that does nothing: frames per second and the share of
// one core the whole process spends.
void BM_IdleGame(benchmark::State& state) {
  for (auto _ : state) {
    GameHarness::Options options;
    options.virtualClock = false;
    GameHarness game(options);
    RegisterSceneFactory(kSceneTitle, [] { return new IdleScene(); });
    if (!game.Start()) {
      state.SkipWithError("the game did not start");
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto t0 = std::chrono::steady_clock::now();
    const uint32_t f0 = game.FrameCounter();
    const double cpu0 = CpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(state.range(0)));
    const uint32_t f1 = game.FrameCounter();
    const double cpu1 = CpuSeconds();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.counters["fps"] = (f1 - f0) / seconds;
    state.counters["cpu_percent"] = 100.0 * (cpu1 - cpu0) / seconds;
    state.SetIterationTime(seconds);
    game.Close();
  }
}
BENCHMARK(BM_IdleGame)->Arg(10)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// A main thread that serves sent messages, as the game window's thread does.
class MainThreadStandIn {
 public:
  MainThreadStandIn() {
    thread_ = std::thread([this] {
      plat::EnsureQueue();
      window_ = plat::CreateWindowEntry([](plat::WindowHandle, uint32_t, uint64_t w, int64_t) {
        return static_cast<int64_t>(w + 1);
      });
      ready_ = true;
      plat::Message msg;
      while (plat::GetMessage(msg)) plat::DispatchMessage(msg);
      plat::DestroyWindowEntry(window_);
    });
    while (!ready_) std::this_thread::yield();
  }
  ~MainThreadStandIn() {
    plat::PostThreadMessage(plat::WindowOwner(window_), plat::WM_QUIT, 0, 0);
    thread_.join();
  }
  plat::WindowHandle window() const { return window_; }

 private:
  std::thread thread_;
  std::atomic<bool> ready_{false};
  plat::WindowHandle window_ = 0;
};

void BM_SendRoundTrip(benchmark::State& state) {
  MainThreadStandIn main;
  uint64_t n = 0;
  for (auto _ : state) {
    int64_t r = plat::SendMessage(main.window(), plat::WM_USER + 5, n, 0);
    if (r != static_cast<int64_t>(n + 1)) state.SkipWithError("wrong reply");
    ++n;
  }
}
BENCHMARK(BM_SendRoundTrip)->Unit(benchmark::kMicrosecond);

// The whole present path of one frame: the game thread's present (the
// conversion of the back buffer into the frame and its hand-over) and the
// main thread's part (the upload into the texture and the render), one
// after the other on this thread, through the SDL window host (SDL's dummy
// video driver unless SDL_VIDEODRIVER names another). Arguments: Direct3D
// (1) or windowed DirectDraw (0); bits per pixel; whether every frame
// differs from the one before (1: a small corner changes) or the picture
// stands still (0). No pacing: the emulated blank is off and the DirectDraw
// present runs as a late frame.
void BM_PresentPath(benchmark::State& state) {
  const uint32_t direct3D = static_cast<uint32_t>(state.range(0));
  const int bpp = static_cast<int>(state.range(1));
  const bool moving = state.range(2) != 0;
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  plat::SetMainThread();
  plat::EnsureQueue();
  plat::SetWindowHost(plat::MakeSdlWindowHost());
  plat::WindowHost& host = plat::GetWindowHost();
  const plat::WindowHandle window =
      plat::CreateWindowEntry([](plat::WindowHandle, uint32_t, uint64_t, int64_t) { return int64_t{0}; });
  plat::SetVerticalBlankWait(false);
  plat::DrawFaultInjection() = plat::DrawFaults{};
  plat::DrawFaultInjection().desktopBitsOverride = bpp;  // a DirectDraw window takes the desktop's depth
  DDResetForTest();
  if (!host.Create(window, 0, 0, 640, 480) ||
      !DDInit(direct3D, window, 640, 480, bpp, 1, 1, 1, 60, 0, nullptr, nullptr, 0)) {
    state.SkipWithError("display");
  } else {
    host.Show(plat::SW_SHOW);
    DDFillRectColor(DDBackBuffer(), 0, 0, 640, 480, 0xFF204080u);
    uint32_t corner = 0;
    for (auto _ : state) {
      if (moving) DDFillRectColor(DDBackBuffer(), 0, 0, 8, 8, 0xFF000000u | (++corner * 0x010305u));
      if (direct3D)
        DDPresent(60);
      else
        DDPresentDirectDraw(0, 1);
      host.PumpEvents(0);
    }
    state.counters["frames_presented"] = static_cast<double>(host.FramesPresented());
  }
  // Messages the host posted to the window (activation) are dropped with it.
  plat::Message msg;
  while (plat::PeekMessage(msg)) {
  }
  DDResetForTest();
  plat::DrawFaultInjection() = plat::DrawFaults{};
  host.Destroy();
  plat::DestroyWindowEntry(window);
  plat::SetVerticalBlankWait(true);
}
BENCHMARK(BM_PresentPath)
    ->ArgNames({"d3d", "bpp", "moving"})
    ->ArgsProduct({{1, 0}, {32, 16}, {1, 0}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
