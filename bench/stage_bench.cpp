// What a player feels of stage play: the time the game thread spends on one
// frame of a stage with 100, 1,000 and 10,000 active characters walking,
// jumping and colliding with blocks, stepped and drawn in each drawing mode
// (0 characters: the stage alone, what every frame costs besides them);
// and how many frames a second `pelmora-tool play` runs the demo stage
// headless.
//
// The stages are the demo project's play stage at speed level 1 with the
// characters added over its first screen (so all of them are active). They have no flows of
// their own yet, so the benchmark gives them their walk and their jumps
// between frames: every character walks at one dot a sub-step, turns at a
// wall, and jumps whenever it stands on something.
//
// The whole game runs (start-up, scene manager, frame step, present) on the
// virtual clock; a frame's cost is the processor time of the presenting
// thread from one presented frame to the next, which leaves out the waits
// for the clock but keeps the frame's conversion for the screen.
#include <benchmark/benchmark.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "app/headless_play.h"
#include "app/headless_run.h"
#include "data/common_palette.h"
#include "data/database.h"
#include "data/stage_data.h"
#include "platform/audio_device.h"
#include "play/character.h"
#include "play/stage_character.h"
#include "play/stage_scene.h"
#include "scene/frame_trace.h"
#include "scene/scene.h"

namespace {

namespace fs = std::filesystem;

// The demo project, made once for the whole run in a folder of its own,
// which is the working folder while the benchmarks run.
class DemoProject {
 public:
  DemoProject() {
    std::random_device entropy;
    root_ = fs::temp_directory_path() / ("pelmora-stage-bench-" + std::to_string(entropy()));
    fs::create_directories(root_ / "run");
    ::setenv("PELMORA_RUNTIME_DIR", (root_ / "run").c_str(), 1);
    const std::string command = std::string(PELMORA_TOOL) + " make-demo '" + (root_ / "project").string() + "' > /dev/null";
    ok_ = std::system(command.c_str()) == 0;
    previous_ = fs::current_path();
    if (ok_) fs::current_path(root_ / "project");
  }
  ~DemoProject() {
    std::error_code ec;
    fs::current_path(previous_, ec);
    fs::remove_all(root_, ec);
  }
  bool Ok() const { return ok_; }

  // "data\stg4\bench_N.stg4_1": the play stage with `count` more characters
  // (slimes) spread over its first screen, written once.
  std::string StageWith(int count) {
    const std::string name = "bench_" + std::to_string(count) + ".stg4_1";
    if (!fs::exists(fs::path("data/stg4") / name)) {
      LoadDatabase();
      CommonPalette.LoadFromFile("data\\CommonPalette.cplt4");
      cStageData stage;
      if (stage.LoadFromFile("data\\stg4\\demo.stg4_1") != 1) return "";
      cEdCharacter slime;
      for (const cEdCharacter& c : stage.m_PlacedCharacters)
        if (c.m_nControl != 0) {
          slime = c;
          break;
        }
      stage.ApplySpeedLevel(1);  // one sub-step a frame
      for (int i = 0; i < count; ++i) {
        cEdCharacter c = slime;
        c.m_nWord1 = static_cast<uint16_t>(1 + i % 15);      // columns 1..15: between the left wall and the gap
        c.m_nWord2 = static_cast<uint16_t>(2 + (i / 15) % 8);  // rows 2..9: above the ground and the stairs
        stage.m_PlacedCharacters.push_back(c);
      }
      std::ofstream out(fs::path("data/stg4") / name, std::ios::binary);
      const std::string bytes = stage.SaveStageBytes();
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      Database = cDatabase();
      CommonPalette = cCommonPalette();
    }
    return "data\\stg4\\" + name;
  }

  // System.ini for drawing mode `direct3D` (0 DirectDraw, 1 Direct3D).
  void UseDrawingMode(int direct3D) {
    std::ofstream ini("System.ini", std::ios::binary | std::ios::trunc);
    ini << "Direct3D=" << direct3D << "\r\nWindowMode=1\r\nBpp=0\r\nVSync=1\r\nShowFps=0\r\nExit\r\n";
  }

 private:
  fs::path root_, previous_;
  bool ok_ = false;
};

DemoProject& Project() {
  static DemoProject project;
  return project;
}

double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Between frames, on the game thread: every character walks and jumps.
void DriveCharacters() {
  cStageScene* scene = CurrentStageScene();
  if (!scene || scene->m_nMode != kStageModePlay) return;
  for (cStageCharacter& c : scene->m_CharacterList) {
    if (c.m_bContactLeft) c.m_nFacing = 1;
    if (c.m_bContactRight) c.m_nFacing = 0;
    c.m_dSpeedX = c.m_nFacing ? 1.0 : -1.0;
    if (c.m_bContactDown) c.m_dSpeedY = -4.0;
  }
}

// Args: characters, drawing mode (0 DirectDraw, 1 Direct3D).
void BM_StageFrame(benchmark::State& state) {
  DemoProject& project = Project();
  if (!project.Ok()) {
    state.SkipWithError("make-demo failed");
    return;
  }
  const int count = static_cast<int>(state.range(0));
  const std::string stage = project.StageWith(count);
  if (stage.empty()) {
    state.SkipWithError("the bench stage could not be made");
    return;
  }
  project.UseDrawingMode(static_cast<int>(state.range(1)));
  constexpr int kFrames = 120;
  for (auto _ : state) {
    const bool pulled = plat::ManualAudioPull();
    plat::SetManualAudioPull(true);
    HeadlessRun run(HeadlessRun::Options{true, stage});
    std::atomic<int> measured{0};
    std::atomic<int> active{0};
    std::atomic<int> airborne{0};  // active characters in the air at the last frame: the jumps happen
    double total = 0, last = -1;
    SetFramePresentedObserver([&] {
      const double now = ThreadCpuMs();
      cStageScene* scene = CurrentStageScene();
      const bool playing = scene && scene->m_nMode == kStageModePlay;
      if (playing && last >= 0 && measured.load() < kFrames) {
        total += now - last;
        measured.fetch_add(1);
        int n = 0, up = 0;
        for (cStageCharacter& c : scene->m_CharacterList) {
          n += c.m_bPresent ? 1 : 0;
          up += c.m_bPresent && !c.m_bContactDown ? 1 : 0;
        }
        active.store(n);
        airborne.store(up);
      }
      DriveCharacters();
      last = playing ? ThreadCpuMs() : -1;  // the drive itself is not the frame's work
    });
    if (!run.Start()) {
      state.SkipWithError("the game did not start");
      break;
    }
    if (!run.AdvanceUntil([&] { return run.Returned() || measured.load() >= kFrames; }) || measured.load() < kFrames) {
      state.SkipWithError("the stage did not play its frames");
      break;
    }
    run.Close();
    SetFramePresentedObserver(nullptr);
    plat::SetManualAudioPull(pulled);
    state.SetIterationTime(total / 1e3);
    state.counters["ms_per_frame"] = total / kFrames;
    state.counters["active_characters"] = active.load();
    state.counters["in_the_air"] = airborne.load();
  }
}
BENCHMARK(BM_StageFrame)
    ->ArgNames({"characters", "direct3d"})
    ->ArgsProduct({{0, 100, 1000, 10000}, {0, 1}})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// `pelmora-tool play` on the demo stage: headless frames per second of real time.
void BM_HeadlessPlay(benchmark::State& state) {
  DemoProject& project = Project();
  if (!project.Ok()) {
    state.SkipWithError("make-demo failed");
    return;
  }
  project.UseDrawingMode(1);
  for (auto _ : state) {
    HeadlessPlayOptions options;
    options.commandLine = "data\\stg4\\demo.stg4_1";
    options.frames = static_cast<uint32_t>(state.range(0));
    const auto t0 = std::chrono::steady_clock::now();
    const HeadlessPlayResult result = RunHeadlessPlay(options);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (result.exitCode != 0 || result.framesPlayed != options.frames) {
      state.SkipWithError(("the play failed: " + result.error).c_str());
      break;
    }
    state.SetIterationTime(seconds);
    state.counters["frames_per_second"] = result.framesPlayed / seconds;
  }
}
BENCHMARK(BM_HeadlessPlay)->Arg(600)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
