// What a player feels of stage play: the time the game thread spends on one
// frame of a stage with 100, 1,000 and 10,000 active characters walking,
// jumping and colliding with blocks, stepped and drawn in each drawing mode
// (0 characters: the stage alone, what every frame costs besides them);
// and how many frames a second `pelmora-tool play` runs the demo stage
// headless; a frame of the demo stage with 8 message windows, 50 effect
// objects and 4 pictures up; and the time from start to the first frame of
// `pelmora-tool play` as a whole process.
//
// After the runs a table gives each goal of the stage frame beside what was
// measured: times per frame and how the cost grows with ten times the
// objects (the stage and combat frames run five times each, their runs
// shuffled among all the others; the table takes the median run).
//
// The stages are the demo project's play stage at speed level 1 with the
// characters added over its first screen (so all of them are active); the
// combat frames also run on a widened stage with the characters scattered
// over all of it. The characters are the demo's slime with its flows (a
// patrol, a step back at walls, a counter); besides, the benchmark keeps
// them all moving between frames: every character walks at one dot a
// sub-step, turns at a wall, and jumps whenever it stands on something
// (outside the measured time).
//
// The whole game runs (start-up, scene manager, frame step, present) on the
// virtual clock; a frame's cost is the processor time of the presenting
// thread from one presented frame to the next, which leaves out the waits
// for the clock but keeps the frame's conversion for the screen.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "app/headless_play.h"
#include "app/headless_run.h"
#include "data/common_palette.h"
#include "data/database.h"
#include "data/database.h"
#include "data/labels.h"
#include "data/stage_data.h"
#include "platform/audio_device.h"
#include "play/commands/commands.h"
#include "play/objects/character.h"
#include "play/objects/effect_object.h"
#include "play/objects/hero.h"
#include "play/objects/message_window.h"
#include "play/objects/picture.h"
#include "play/objects/shot.h"
#include "play/objects/stage_character.h"
#include "play/world/stage_scene.h"
#include "scene/frame_trace.h"
#include "scene/scene.h"
// >>> screen effects
#include <cstring>

#include "gfx/dd.h"
#include "platform/window_host.h"
#include "play/world/screen_effect.h"
// <<< screen effects

namespace {

namespace fs = std::filesystem;

// What each run measured (milliseconds per frame, or per start), by name,
// for the table of goals.
// Each measure's runs (the frame benchmarks run five times: on a shared
// machine a single run is often taken by a burst of another program's
// work, and a burst lasts seconds, so the runs of one measure are not made
// one after the other but shuffled among all the others'; the table below
// gives the median run).
std::map<std::string, std::vector<double>>& Measured() {
  static std::map<std::string, std::vector<double>> measured;
  return measured;
}

constexpr int kFrameRuns = 5;

double MedianOf(std::vector<double> runs) {
  std::sort(runs.begin(), runs.end());
  const size_t n = runs.size();
  return n % 2 ? runs[n / 2] : (runs[n / 2 - 1] + runs[n / 2]) / 2;
}

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
    Measured()["stage " + std::to_string(count) + (state.range(1) ? " d3d" : " dd")].push_back(total / kFrames);
    state.counters["active_characters"] = active.load();
    state.counters["in_the_air"] = airborne.load();
  }
}
BENCHMARK(BM_StageFrame)
    ->ArgNames({"characters", "direct3d"})
    ->ArgsProduct({{0, 100, 1000, 10000}, {0, 1}})
    ->Iterations(1)
    ->Repetitions(kFrameRuns)
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
    Measured()[std::string(hitsOnly ? "hits " : "combat ") + std::to_string(count) + "+" + std::to_string(shots) +
               (state.range(2) ? " spread" : " packed")]
        .push_back(total / kFrames);
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
  b->Iterations(1)->Repetitions(kFrameRuns)->UseManualTime()->Unit(benchmark::kMillisecond);
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

// ---- message windows, effect objects and pictures ----
// The demo stage (its own characters only) with 8 message windows, 50
// effect objects and 4 pictures on the screen, as a busy story scene has
// them: the windows are timed text windows over the screen's blocks, the
// effects the demo's explosion scattered over the view (topped up between
// frames as they finish), the pictures the title picture at a quarter size,
// two behind the objects and two in front.
cEdCmd PictureCommand(int32_t column, int32_t row, int32_t layer) {
  cEdCmd c;
  c.m_nKind = kCmdShowPicture;
  // picture 1 at a screen block, its offset, layer, zoom %, until the
  // stage ends, (time), no wait, fixed, no id
  c.m_vParams = {1, kPictureAtScreenBlock, static_cast<uint32_t>(column), static_cast<uint32_t>(row), 0, 0,
                 static_cast<uint32_t>(layer), 25, kPictureUntilStageEnd, 0, 0, 1, 0, 0, 0};
  return c;
}

void OpenOverlays(cStageScene& scene) {
  for (int i = 0; i < 8; ++i) {
    cMessageSettings m;
    m.style = kMessageText;
    m.text = "Window " + std::to_string(i + 1) + ": score #C1 and time";
    m.positionMode = 7;  // a block of the screen
    m.column = 1 + (i % 2) * 10;
    m.row = 1 + (i / 2) * 3;
    m.keepOnScreen = 1;
    m.displayMode = kMessageTimed;
    m.remainingFrames = 1 << 20;
    m.noOpening = 1;
    m.frame = i % 2;
    scene.AddMessageWindow(m);
  }
  if (scene.HasHero()) {
    const int32_t cells[4][3] = {{2, 9, 0}, {12, 9, 0}, {6, 11, 1}, {15, 2, 1}};
    for (const auto& cell : cells) ExecutePicture(scene.Hero(), PictureCommand(cell[0], cell[1], cell[2]));
  }
}

void TopUpEffects(cStageScene& scene, size_t& next) {
  // The demo's first effect with a picture and frames (its explosion).
  int32_t kExplosion = 0;
  for (int32_t n = 1; n < static_cast<int32_t>(Database.m_Effects.size()) && kExplosion == 0; ++n)
    if (!Database.m_Effects[n].m_Frames.empty() && !Database.m_Effects[n].m_strText2.empty()) kExplosion = n;
  while (scene.m_Effects.size() < 50) {
    const size_t i = next++;
    const double x = scene.m_ScrollX.position + 16 + static_cast<double>((i * 97) % 600);
    const double y = scene.m_ScrollY.position + 24 + static_cast<double>((i * 61) % 420);
    auto effect = cEffectObject::At(kExplosion, x, y, 32, 32, 0);
    if (!effect) break;
    scene.m_Effects.push_back(effect);
  }
}

// Args: drawing mode (0 DirectDraw, 1 Direct3D).
void BM_StageFrameWindowsEffectsPictures(benchmark::State& state) {
  DemoProject& project = Project();
  if (!project.Ok()) {
    state.SkipWithError("make-demo failed");
    return;
  }
  const std::string stage = project.StageWith(0);
  project.UseDrawingMode(static_cast<int>(state.range(0)));
  constexpr int kFrames = 120;
  for (auto _ : state) {
    const bool pulled = plat::ManualAudioPull();
    plat::SetManualAudioPull(true);
    HeadlessRun run(HeadlessRun::Options{true, stage});
    std::atomic<int> measured{0};
    bool opened = false;
    size_t next = 0;
    int windows = 0, effects = 0, pictures = 0;
    double total = 0, last = -1;
    SetFramePresentedObserver([&] {
      const double now = ThreadCpuMs();
      cStageScene* scene = CurrentStageScene();
      const bool playing = scene && scene->m_nMode == kStageModePlay;
      if (playing && last >= 0 && measured.load() < kFrames) {
        total += now - last;
        measured.fetch_add(1);
        windows = static_cast<int>(scene->m_MessageWindows.size());
        pictures = static_cast<int>(scene->m_Pictures.size());
      }
      if (playing && !opened) {
        OpenOverlays(*scene);
        opened = true;
      }
      if (playing) {
        TopUpEffects(*scene, next);
        effects = static_cast<int>(scene->m_Effects.size());  // drawn in the next frame
      }
      last = playing && opened ? ThreadCpuMs() : -1;
    });
    if (!run.Start()) {
      state.SkipWithError("the game did not start");
      break;
    }
    if (!run.AdvanceUntil([&] { return run.Returned() || measured.load() >= kFrames; }) || measured.load() < kFrames) {
      state.SkipWithError("the stage did not play its frames");
      break;
    }
    // PELMORA_BENCH_SHOTS=DIR keeps the last frame to look at.
    if (const char* shots = std::getenv("PELMORA_BENCH_SHOTS")) {
      plat::Frame picture;
      if (run.LastFrame(picture))
        plat::SaveFramePng(picture, (fs::path(shots) / (std::string("overlays_") +
                                                         (state.range(0) ? "d3d" : "dd") + ".png")).string());
    }
    run.Close();
    SetFramePresentedObserver(nullptr);
    plat::SetManualAudioPull(pulled);
    state.SetIterationTime(total / 1e3);
    state.counters["ms_per_frame"] = total / kFrames;
    state.counters["windows"] = windows;
    state.counters["effects"] = effects;
    state.counters["pictures"] = pictures;
    Measured()[std::string("overlays") + (state.range(0) ? " d3d" : " dd")].push_back(total / kFrames);
  }
}
BENCHMARK(BM_StageFrameWindowsEffectsPictures)
    ->ArgNames({"direct3d"})
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// ---- start-up ----
// `pelmora-tool play DEMO 'data\stg4\demo.stg4_1' --frames 1` as a whole
// process, from its start to its end after the first frame: the median of
// 9 starts (wall time: what a player waits).
void BM_StartUpToFirstFrame(benchmark::State& state) {
  DemoProject& project = Project();
  if (!project.Ok()) {
    state.SkipWithError("make-demo failed");
    return;
  }
  project.UseDrawingMode(static_cast<int>(state.range(0)));
  const std::string command = "SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy " + std::string(PELMORA_TOOL) +
                              " play '" + fs::current_path().string() + "' 'data\\stg4\\demo.stg4_1' --frames 1 > /dev/null 2>&1";
  for (auto _ : state) {
    std::vector<double> times;
    for (int i = 0; i < 9; ++i) {
      const auto t0 = std::chrono::steady_clock::now();
      if (std::system(command.c_str()) != 0) {
        state.SkipWithError("the play failed");
        return;
      }
      times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    state.SetIterationTime(median / 1e3);
    state.counters["median_ms"] = median;
    Measured()[std::string("start-up") + (state.range(0) ? " d3d" : " dd")].push_back(median);
  }
}
BENCHMARK(BM_StartUpToFirstFrame)
    ->ArgNames({"direct3d"})
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

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

// The goals of the stage frame beside what this run measured; rows whose
// runs were filtered out are left out.
void PrintGoals() {
  const auto& m = Measured();
  auto has = [&](const std::string& k) { return m.count(k) != 0; };
  struct Row {
    std::string measure;
    double value;
    std::string unit;
    double goal;
  };
  std::vector<Row> rows;
  auto time = [&](const std::string& measure, const std::string& key, double goal) {
    if (has(key)) rows.push_back({measure, MedianOf(m.at(key)), " ms", goal});
  };
  auto ratio = [&](const std::string& measure, const std::string& big, const std::string& small, double goal) {
    if (has(big) && has(small) && MedianOf(m.at(small)) > 0)
      rows.push_back({measure, MedianOf(m.at(big)) / MedianOf(m.at(small)), "x", goal});
  };
  time("stage frame, 1,000 characters, DirectDraw", "stage 1000 dd", 1.0);
  time("stage frame, 1,000 characters, Direct3D", "stage 1000 d3d", 1.0);
  ratio("10,000 characters against 1,000, DirectDraw", "stage 10000 dd", "stage 1000 dd", 11.0);
  ratio("10,000 characters against 1,000, Direct3D", "stage 10000 d3d", "stage 1000 d3d", 11.0);
  time("combat, 1,000 characters + 2,000 shots, spread", "combat 1000+2000 spread", 0.5);
  time("combat, 1,000 characters + 2,000 shots, packed", "combat 1000+2000 packed", 2.0);
  ratio("combat, 10,000 packed against 1,000, no shots", "combat 10000+0 packed", "combat 1000+0 packed", 11.0);
  time("8 windows, 50 effects, 4 pictures, DirectDraw", "overlays dd", 1.0);
  time("8 windows, 50 effects, 4 pictures, Direct3D", "overlays d3d", 1.0);
  time("start-up to the first frame (median), DirectDraw", "start-up dd", 100.0);
  time("start-up to the first frame (median), Direct3D", "start-up d3d", 100.0);
  if (rows.empty()) return;
  std::printf("\n%-52s %12s %12s  %s\n", "goal of the stage frame", "measured", "goal", "");
  for (const Row& r : rows)
    std::printf("%-52s %10.3f%-2s %9s%.3g%-2s  %s\n", r.measure.c_str(), r.value, r.unit.c_str(),
                r.unit == "x" ? "<= " : "< ", r.goal, r.unit.c_str(),
                (r.unit == "x" ? r.value <= r.goal : r.value < r.goal) ? "met" : "NOT MET");
  std::printf("(times are processor time of the game thread per frame, the median of the runs of each measure,\n"
              " made in a shuffled order; a loaded machine inflates them)\n");
}

}  // namespace

int main(int argc, char** argv) {
  // The runs of all the benchmarks in a shuffled order, unless asked
  // otherwise.
  std::vector<char*> args(argv, argv + argc);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  if (std::none_of(args.begin(), args.end(), [](const char* a) {
        return std::string(a).starts_with("--benchmark_enable_random_interleaving");
      }))
    args.insert(args.begin() + 1, interleave.data());
  argc = static_cast<int>(args.size());
  args.push_back(nullptr);
  argv = args.data();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintGoals();
  return 0;
}
