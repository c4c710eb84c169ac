// What a stage costs to set up: the time the stage scene's SetStage takes
// (the block map, the hero, every placed character with its flows, the
// items, the flows run before the start) and the most memory it holds at
// once while it does, for stages whose characters are many of one type.
//
// Two kinds of stage: one type of character holding F flows of C commands
// (waits), placed N times, its placed characters taking the type's flows as
// a stage file gives them (one list, shared); and a real game's: the demo
// project's play stage with N more of its slimes (flows with moves, jumps and
// turns), placed as the stage palette's slime type taking its flows, or
// each with a copy of its own (as the demo's own stage holds its few), read
// back from the stage file's bytes as the game reads them. Counters: "peak_MB", the most heap the set-up held at once
// (counted through operator new, from just before SetStage),
// "bytes_per_character", and "estimate_MB", what the set-up check reckons
// the set-up takes (EstimateStageSetUp) before anything is built.
//
// Besides, the time of the set-up check alone on stages past its budget
// (one type of 4,000 flows placed 2,000 times: the check refuses it
// instead of building 1.7 GB of flow states).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "data/common_palette.h"
#include "data/database.h"
#include "data/inheritance.h"
#include "data/labels.h"
#include "data/stage_data.h"
#include "gfx/dd.h"
#include "platform/messages.h"
#include "play/commands/flow_host_impl.h"
#include "play/world/stage_limits.h"
#include "play/world/stage_scene.h"
#include "scene/play_record.h"
#include "scene/scene.h"
#include "support/alloc_counter.h"
#include "support/headless_stage.h"

namespace {

namespace fs = std::filesystem;

// The hero at (1, 1) of a stage `width` x `height` blocks.
cStageData PlainStage(int32_t width, int32_t height) {
  cStageData stage;
  stage.Int(kStageWidth) = width;
  stage.Int(kStageHeight) = height;
  stage.ApplySpeedLevel(1);
  cEdCharacter hero;
  hero.m_nGraphic = 1;
  hero.m_nControl = 0;
  hero.m_nWord1 = 1;
  hero.m_nWord2 = 1;
  hero.m_nPlacedItem = -1;
  stage.m_PlacedCharacters.push_back(hero);
  return stage;
}

// `count` copies of `type` over a stage of `columns` usable columns from
// column 2, a row of them every `columns`.
void Place(cStageData& stage, const cEdCharacter& type, int64_t count, int32_t columns) {
  for (int64_t i = 0; i < count; ++i) {
    cEdCharacter c = type;
    c.m_nWord1 = static_cast<uint16_t>(2 + i % columns);
    c.m_nWord2 = static_cast<uint16_t>(2 + i / columns);
    c.m_nPlacedItem = -1;
    stage.m_PlacedCharacters.push_back(c);
  }
}

// Sets a stage scene up on `stage` as free play starts one; the time of
// SetStage is the iteration's, its heap peak the counters'.
void MeasureSetUp(benchmark::State& state, const cStageData& stage, int64_t characters) {
  StartHeadlessStageOnce();
  StageData = stage;
  StageMasterData.CopySettingsFrom(StageData);
  cStageScene::KeptHeroRecord = StageData.m_PlacedCharacters.At(StageData.FindHeroIndex());
  SaveData.Reset();
  SaveData.m_nLives = 3;
  SceneManager.m_nLastTitleAction = kTitleFreePlay;
  SceneManager.m_nPlayMode = kPlayFree;
  size_t peak = 0;
  size_t made = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto scene = std::make_unique<cStageScene>();
    g_lpStageScene = scene.get();
    StartCountingAllocations();
    state.ResumeTiming();
    scene->SetStage(1, 1);
    state.PauseTiming();
    peak = StopCountingAllocations();
    made = scene->m_CharacterList.size();
    g_lpStageScene = nullptr;
    scene.reset();
    plat::DropQueue();
    state.ResumeTiming();
  }
  if (!AllocationCountingAvailable()) return;
  state.counters["peak_MB"] = static_cast<double>(peak) / (1 << 20);
  state.counters["bytes_per_character"] = characters > 0 ? static_cast<double>(peak) / characters : 0;
  state.counters["characters_made"] = static_cast<double>(made);
  state.counters["estimate_MB"] = static_cast<double>(EstimateStageSetUp(stage, INT64_MAX).bytes) / (1 << 20);
}

constexpr int32_t kColumns = 200;

// One type of character with `flows` flows of `commands` waits each, placed
// `characters` times, its placed characters sharing the type's list.
cStageData OneTypeWithManyFlows(int64_t characters, int64_t flows, int64_t commands) {
  cStageData stage = PlainStage(kColumns + 4, static_cast<int32_t>(characters / kColumns + 4));
  cEdCharacter type;
  type.m_nGraphic = 1;
  type.m_nControl = 1;
  std::vector<cEdFlow> list;
  for (int64_t f = 0; f < flows; ++f) {
    cEdFlow flow;
    flow.m_nTrigger = kTriggerOnlyByFlowControl;  // stays idle: the set-up alone is measured
    for (int64_t k = 0; k < commands; ++k) {
      cEdCmd wait;
      wait.m_nKind = kCmdWait;
      wait.m_nDuration = 10;
      flow.m_vCmds.push_back(wait);
    }
    list.push_back(flow);
  }
  type.m_vFlows = std::move(list);
  Place(stage, type, characters, kColumns);
  return stage;
}

// Args: placed characters N, flows F of the type, commands C in each flow.
void BM_SetUpOneTypeWithManyFlows(benchmark::State& state) {
  const int64_t characters = state.range(0);
  MeasureSetUp(state, OneTypeWithManyFlows(characters, state.range(1), state.range(2)), characters);
}
BENCHMARK(BM_SetUpOneTypeWithManyFlows)
    ->Args({2000, 40, 10})
    ->Args({2000, 400, 0})
    ->Args({2000, 400, 4})
    ->Args({200, 4000, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// Args as above; a stage past the budget: the check's time, and its answer.
void BM_SetUpCheckRefuses(benchmark::State& state) {
  const cStageData stage = OneTypeWithManyFlows(state.range(0), state.range(1), state.range(2));
  std::string why;
  for (auto _ : state) why = StageSetUpProblem(stage);
  if (why.empty()) state.SkipWithError("the check took the stage");
  state.SetLabel(why.substr(0, 60));
  state.counters["estimate_MB"] = static_cast<double>(EstimateStageSetUp(stage, INT64_MAX).bytes) / (1 << 20);
}
BENCHMARK(BM_SetUpCheckRefuses)->Args({2000, 4000, 0})->Args({2000, 400, 40})->Unit(benchmark::kMillisecond);

// The demo project, written by pelmora-tool into a folder of its own; its
// database and common palette loaded, its play stage read.
struct DemoGame {
  DemoGame() {
    std::random_device entropy;
    root = fs::temp_directory_path() / ("pelmora-setup-bench-" + std::to_string(entropy()));
    const std::string command = std::string(PELMORA_TOOL) + " make-demo '" + root.string() + "' > /dev/null";
    if (std::system(command.c_str()) != 0) return;
    const fs::path previous = fs::current_path();
    fs::current_path(root);
    ok = LoadDatabase() && CommonPalette.LoadFromFile("data\\CommonPalette.cplt4") == 1 &&
         stage.LoadFromFile("data\\stg4\\demo.stg4_1") == 1;
    fs::current_path(previous);
  }
  ~DemoGame() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  fs::path root;
  cStageData stage;
  bool ok = false;
};

// Args: slimes added to the demo's play stage; 1: they take the flows of
// the slime type of the stage's palette, 0: each holds a copy of its own.
void BM_SetUpDemoSlimes(benchmark::State& state) {
  static DemoGame demo;
  if (!demo.ok) {
    state.SkipWithError("the demo project could not be made or read");
    return;
  }
  cStageData stage = demo.stage;
  const cEdCharacter* slime = nullptr;
  for (const cEdCharacter& c : stage.m_PlacedCharacters)
    if (c.m_nControl != 0) {
      slime = &c;
      break;
    }
  if (!slime) {
    state.SkipWithError("the demo stage has no slime");
    return;
  }
  cEdCharacter type = *slime;
  if (state.range(1)) {
    stage.m_PaletteCharacters.push_back(type);
    type.m_nBaseKind = kPaletteStage;
    type.m_nBaseIndex = static_cast<uint16_t>(stage.m_PaletteCharacters.size() - 1);
    type.m_vInherit[cEdCharacter::kFlowGroup] = 1;
  }
  // Rows 2..9 over a stage widened to hold them all, as a long stage has them.
  constexpr int32_t kRows = 8;
  const int64_t count = state.range(0);
  stage.Int(kStageWidth) = std::max<int32_t>(stage.Int(kStageWidth), static_cast<int32_t>(count / kRows + 4));
  for (int64_t i = 0; i < count; ++i) {
    cEdCharacter c = type;
    c.m_nWord1 = static_cast<uint16_t>(2 + i / kRows);
    c.m_nWord2 = static_cast<uint16_t>(2 + i % kRows);
    stage.m_PlacedCharacters.push_back(c);
  }
  cStageData read;
  if (!read.LoadStageBytes(stage.SaveStageBytes())) {
    state.SkipWithError("the stage does not read back");
    return;
  }
  MeasureSetUp(state, read, count);
}
BENCHMARK(BM_SetUpDemoSlimes)
    ->ArgsProduct({{100, 2000, 20000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
