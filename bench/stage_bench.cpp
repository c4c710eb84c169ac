// What a player feels of stage play: the time the game thread spends on one
// frame of a stage with 100, 1,000 and 10,000 active characters walking,
// jumping and colliding with blocks, stepped and drawn in each drawing mode
// (0 characters: the stage alone, what every frame costs besides them);
// and how many frames a second `pelmora-tool play` runs the demo stage
// headless.
//
// The stages are the demo project's play stage at speed level 1 with the
// characters added over its first screen (so all of them are active); the
// combat frames also run on a widened stage with the characters scattered
// over all of it. They have no flows of
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
#include <iterator>
#include <random>
#include <string>

#include "app/headless_play.h"
#include "app/headless_run.h"
#include "data/common_palette.h"
#include "data/database.h"
#include "data/stage_data.h"
#include "platform/audio_device.h"
#include "play/character.h"
#include "play/shot.h"
#include "play/stage_character.h"
#include "play/stage_scene.h"
#include "scene/frame_trace.h"
#include "scene/scene.h"
// >>> screen effects
#include <cstring>

#include "gfx/dd.h"
#include "platform/window_host.h"
#include "play/screen_effect.h"
// <<< screen effects

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
  // (slimes) packed over its first screen, written once. With `spread` the
  // stage is widened to one screen (20 columns) for every 40 characters and
  // they are scattered over all of it, the way a long stage has them; only
  // those near the view are on screen ("bench_spread_N.stg4_1").
  std::string StageWith(int count, bool spread = false) {
    const std::string name = std::string(spread ? "bench_spread_" : "bench_") + std::to_string(count) + ".stg4_1";
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
      constexpr int kDemoWidth = 40;
      const int width = spread ? std::max(kDemoWidth, (count / 40 + 1) * 20) : kDemoWidth;
      if (spread) Widen(stage, kDemoWidth, width);
      for (int i = 0; i < count; ++i) {
        cEdCharacter c = slime;
        if (spread) {
          // Columns 1..width-2 in a scattered order, skipping the gap (17..19).
          int column = 1 + static_cast<int>((static_cast<int64_t>(i) * 7919) % (width - 2));
          if (column >= 17 && column <= 19) column += 3;
          c.m_nWord1 = static_cast<uint16_t>(column);
          c.m_nWord2 = static_cast<uint16_t>(2 + (i * 3) % 8);
        } else {
          c.m_nWord1 = static_cast<uint16_t>(1 + i % 15);      // columns 1..15: between the left wall and the gap
          c.m_nWord2 = static_cast<uint16_t>(2 + (i / 15) % 8);  // rows 2..9: above the ground and the stairs
        }
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
  // The stage `from` columns wide made `to` wide: the ground runs on, the
  // right wall moves to the new end.
  static void Widen(cStageData& stage, int from, int to) {
    cEdBlock ground, wall;
    cSafeVector<cEdBlock> kept;
    for (const cEdBlock& b : stage.m_PlacedBlocks) {
      if (b.m_nWord1 == 0 && b.m_nWord2 == 14) ground = b;
      if (b.m_nWord1 == 0 && b.m_nWord2 == 3) wall = b;
      if (b.m_nWord1 == from - 1 && b.m_nWord2 <= 12) continue;  // the old right wall
      kept.push_back(b);
    }
    for (int x = from; x < to; ++x)
      for (int y = 13; y <= 14; ++y) {
        cEdBlock g = ground;
        g.m_nWord1 = static_cast<uint16_t>(x);
        g.m_nWord2 = static_cast<uint16_t>(y);
        kept.push_back(g);
      }
    for (int y = 3; y <= 12; ++y) {
      cEdBlock w = wall;
      w.m_nWord1 = static_cast<uint16_t>(to - 1);
      w.m_nWord2 = static_cast<uint16_t>(y);
      kept.push_back(w);
    }
    stage.m_PlacedBlocks = kept;
    stage.Int(kStageWidth) = to;
    // Nothing is removed for being far from the view: the counts asked for
    // stay in play (characters present, shots living out their lifetimes).
    for (int area : {kRemovalCharacters, kRemovalPlayerShots, kRemovalOtherShots})
      for (int32_t& v : stage.m_Params[area].m_nValues) v = 0;
  }

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

// ---- Shots and hits (combat) ----
// The same stages with shots in flight: between frames the characters fire
// until `shots` shots fly (bursts of eight, two dots a frame, two seconds
// long, of a group the characters are not in), so every frame moves them,
// tests them against the blocks and resolves their hits on the characters
// (harmless hits: only the hit trigger is raised), then draws them.
cEdShot BenchBurst() {
  cEdShot d;
  d.m_f1 = 4;   // explosion
  d.m_f2 = 2;   // left
  d.m_f26 = 1;  // scale
  d.m_f27 = 1;  // group 1
  d.m_f41 = 1;  // lifetime on
  d.SetObjectCount(8);
  d.SetSpeed(20);
  d.SetLifetime(20);
  return d;
}

void FireUntil(size_t shots, size_t& next) {
  cStageScene* scene = CurrentStageScene();
  if (!scene || scene->m_nMode != kStageModePlay || scene->m_CharacterList.empty()) return;
  static const cEdShot burst = BenchBurst();
  while (scene->m_ShotList.size() + 8 <= shots) {
    auto it = scene->m_CharacterList.begin();
    std::advance(it, static_cast<long>(next++ % scene->m_CharacterList.size()));
    FireShots(*scene, *it, burst);
  }
}

// Args: characters, shots, spread (0: every character packed over the
// first screen, the worst case; 1: scattered over a stage one screen wide
// for every 40 of them, so the shots fly near their owners all over it).
// With `hitsOnly`, what is measured is one more run of the sub-step's hit
// checks made between frames on the frame's objects, alone: how the checks
// themselves grow with the objects, apart from stepping and drawing them.
void RunCombatFrames(benchmark::State& state, bool hitsOnly) {
  DemoProject& project = Project();
  if (!project.Ok()) {
    state.SkipWithError("make-demo failed");
    return;
  }
  const int count = static_cast<int>(state.range(0));
  const size_t shots = static_cast<size_t>(state.range(1));
  const std::string stage = project.StageWith(count, state.range(2) != 0);
  if (stage.empty()) {
    state.SkipWithError("the bench stage could not be made");
    return;
  }
  project.UseDrawingMode(0);
  const cCombatSwitches savedSwitches = g_CombatSwitches;
  g_CombatSwitches.skipHarmlessShots = 1;
  constexpr int kFrames = 120;
  for (auto _ : state) {
    const bool pulled = plat::ManualAudioPull();
    plat::SetManualAudioPull(true);
    HeadlessRun run(HeadlessRun::Options{true, stage});
    std::atomic<int> measured{0};
    std::atomic<size_t> flying{0};
    std::atomic<int> present{0};
    size_t next = 0;
    double total = 0, last = -1;
    SetFramePresentedObserver([&] {
      const double now = ThreadCpuMs();
      cStageScene* scene = CurrentStageScene();
      const bool playing = scene && scene->m_nMode == kStageModePlay;
      if (playing && last >= 0 && measured.load() < kFrames) {
        if (hitsOnly) {
          const double start = ThreadCpuMs();
          scene->CheckHits();
          total += ThreadCpuMs() - start;
        } else {
          total += now - last;
        }
        measured.fetch_add(1);
        flying.store(scene->m_ShotList.size());
        int n = 0;
        for (cStageCharacter& c : scene->m_CharacterList) n += c.m_bPresent ? 1 : 0;
        present.store(n);
      }
      DriveCharacters();
      FireUntil(shots, next);
      last = playing ? ThreadCpuMs() : -1;  // neither the drive nor the firing is the frame's work
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
    state.counters[hitsOnly ? "ms_per_check" : "ms_per_frame"] = total / kFrames;
    state.counters["shots_flying"] = static_cast<double>(flying.load());
    state.counters["characters_present"] = present.load();
  }
  g_CombatSwitches = savedSwitches;
}
void BM_CombatFrame(benchmark::State& state) { RunCombatFrames(state, false); }
void BM_HitChecks(benchmark::State& state) { RunCombatFrames(state, true); }
void CombatArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"characters", "shots", "spread"});
  for (const int spread : {1, 0})
    for (const int scale : {1, 10})
      for (const int shots : {0, 2000 * scale}) b->Args({1000 * scale, shots, spread});
  b->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_CombatFrame)->Apply(CombatArgs);
BENCHMARK(BM_HitChecks)->Apply(CombatArgs);
// ---- end of shots and hits ----

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

// >>> screen effects
// One screen effect over a full 640 x 480 frame (copy to the work surface,
// clear, transformed copy back), in each drawing mode, on its own display.
void BM_ScreenEffect(benchmark::State& state) {
  static const struct {
    const char* name;
    int32_t kind;
    std::array<int32_t, 5> p;
  } kEffects[] = {
      {"shift", kScrShift, {100, 0, 0, 40, 20}},       {"shake", kScrShakeX, {100, 8, 20, 0, 0}},
      {"split", kScrSplitX, {100, 20, 20, 8, 0}},      {"wave", kScrWaveX, {100, 12, 12, 2, 2}},
      {"rotate", kScrRotate, {100, 30, 30, 0, 0}},     {"circle", kScrCircle, {100, 200, 200, 2, 0}},
      {"zoom out", kScrZoom, {100, 400, 400, 0, 0}},   {"zoom in", kScrZoom, {100, 900, 900, 0, 0}},
      {"lens", kScrLens, {100, 60, 60, 0, 0}},         {"mosaic", kScrMosaic, {100, 8, 8, 0, 0}},
  };
  const auto& effect = kEffects[state.range(0)];
  const uint32_t direct3D = static_cast<uint32_t>(state.range(1));
  state.SetLabel(effect.name);
  plat::SetWindowHost(plat::MakeHeadlessWindowHost());
  plat::SetVerticalBlankWait(false);
  DDResetForTest();
  DDSURFACEDATA back, work1, work2;
  if (!DDInit(direct3D, 0, 640, 480, 32, 1, 0, 1, 60, 0, nullptr, nullptr, 0) ||
      !DDCreateSurface(&back, 640, 480, 0, 1, DTMEMORYTYPE_VIDEO_RT, 0, 0) ||
      !DDCreateSurface(&work1, 640, 480, 0, 1, DTMEMORYTYPE_VIDEO_RT, 0, 0) ||
      !DDCreateSurface(&work2, 640, 480, 0, 1, DTMEMORYTYPE_VIDEO_RT, 0, 0)) {
    state.SkipWithError("no display");
    DDResetForTest();
    return;
  }
  cScrEffectRecord def;
  def.m_nKind = effect.kind;
  for (int i = 0; i < 5; ++i) def.m_nParams[i] = effect.p[static_cast<size_t>(i)];
  cScreenEffectView view;
  view.back = &back, view.work1 = &work1, view.work2 = &work2;
  cScreenEffectSlot slot;
  slot.nNumber = 1;
  for (auto _ : state) {
    {
      cSurfaceLock lock(&back);  // a fresh picture each frame
      if (lock.Locked())
        for (int y = 0; y < 480; ++y)
          for (int x = 0; x < 640; ++x) {
            const uint32_t raw = 0xFF203040u + static_cast<uint32_t>((x * 3) & 0xFF) * 0x10000u + ((y * 5) & 0xFF);
            std::memcpy(lock.Bits() + static_cast<size_t>(y) * lock.Pitch() + static_cast<size_t>(x) * 4, &raw, 4);
          }
    }
    const auto t0 = std::chrono::steady_clock::now();
    // Drawn as a still frame: the value stays where the definition starts it.
    slot.dValue = effect.p[1];
    RunScreenEffectHandler(slot, def, view, true);
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  DDReleaseSurface(&back);
  DDReleaseSurface(&work1);
  DDReleaseSurface(&work2);
  DDResetForTest();
}
BENCHMARK(BM_ScreenEffect)
    ->ArgNames({"effect", "direct3d"})
    ->ArgsProduct({{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
// <<< screen effects

}  // namespace

BENCHMARK_MAIN();
