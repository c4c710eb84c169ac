// What a player feels of the frame loop: the achieved frame rate and its
// jitter, and the cost of one request the game thread sends to the main
// thread (every sound effect is such a request).
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "base/timers.h"
#include "platform/messages.h"
#include "scene/scene.h"

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

}  // namespace

BENCHMARK_MAIN();
