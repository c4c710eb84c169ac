// Loading what a player waits for: a large stage (20,000 placed objects and
// 2,000 definitions with flows, built in memory through the runtime's writer)
// read from its bytes with every upgrade check, normalisation and reference
// check, and the demo project's whole database (the ten files that
// pelmora-tool make-demo writes, read from disk as start-up reads them).
// Targets: the stage under 15 ms, the database under 5 ms.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "data/common_palette.h"
#include "data/database.h"
#include "data/stage_data.h"
#include "platform/dialogs.h"
#include "platform/files.h"

namespace {

cEdCmd Command(uint8_t kind, std::vector<uint32_t> words) {
  cEdCmd c;
  c.m_nKind = kind;
  c.m_vParams = std::move(words);
  return c;
}

// Flows as an editor makes them: a move with its object, a shot, a wait, a
// status operation and a loop, started under a condition.
std::vector<cEdFlow> SomeFlows(uint32_t seed) {
  cEdFlow f;
  f.m_nTrigger = static_cast<uint8_t>(seed % 20);
  f.m_vConds.resize(1);
  f.m_vConds[0].m_nKind = 1;
  f.m_vConds[0].m_nConstant = static_cast<int32_t>(seed);
  cEdCmd move = Command(2, {});
  cEdMove::Create(move.m_pMove);
  cEdCmd shot = Command(11, {});
  cEdShot::Create(shot.m_pShot);
  f.m_vCmds = {move, shot, Command(1, {}), Command(22, std::vector<uint32_t>(18, seed % 7)), Command(39, {0, 3})};
  cEdFlow g = f;
  g.m_nTrigger = 5;
  return {f, g};
}

std::string LargeStageBytes() {
  cStageData s;
  s.Int(kStageWidth) = 1000;
  s.Int(kStageHeight) = 200;
  // 2,000 definitions: 1,200 characters with flows, 400 blocks, 400 items.
  s.m_PaletteCharacters.resize(1200);
  for (uint32_t i = 1; i < 1200; ++i) {
    cEdCharacter& c = s.m_PaletteCharacters[i];
    c.m_nGraphic = static_cast<int16_t>(1 + i % 40);
    c.m_vFlows = SomeFlows(i);
    if (i > 1 && i % 3 == 0) {  // some take their settings from an earlier entry
      c.m_nBaseKind = 2;
      c.m_nBaseIndex = static_cast<uint16_t>(i / 2);
      c.m_vInherit.assign(cEdCharacter::kInheritGroups, 1);
    }
  }
  s.m_PaletteBlocks.resize(400);
  for (uint32_t i = 1; i < 400; ++i) s.m_PaletteBlocks[i].m_nGraphic = static_cast<uint16_t>(i);
  s.m_PaletteItems.resize(400);
  for (uint32_t i = 1; i < 400; ++i) {
    s.m_PaletteItems[i].m_nGraphic = static_cast<uint16_t>(i % 30);
    s.m_PaletteItems[i].m_vCmds = {Command(20, {1}), Command(7, std::vector<uint32_t>(18, 1))};
  }
  // 20,000 placed objects: blocks, characters (with their flows) and items.
  s.m_PlacedBlocks.resize(16000);
  for (uint32_t i = 0; i < 16000; ++i) {
    cEdBlock& b = s.m_PlacedBlocks[i];
    b = s.m_PaletteBlocks[1 + i % 399];
    b.m_nBaseKind = 2;
    b.m_nBaseIndex = static_cast<uint16_t>(1 + i % 399);
    b.m_nWord1 = static_cast<uint16_t>(i % 1000);
    b.m_nWord2 = static_cast<uint16_t>(i / 1000);
  }
  s.m_PlacedCharacters.resize(3000);
  for (uint32_t i = 0; i < 3000; ++i) {
    cEdCharacter& c = s.m_PlacedCharacters[i];
    c = s.m_PaletteCharacters[1 + i % 1199];
    c.m_nControl = i == 0 ? 0 : 1;
    c.m_nPlacedItem = -1;
    c.m_nWord1 = static_cast<uint16_t>(i % 1000);
    c.m_nWord2 = static_cast<uint16_t>(100 + i / 1000);
  }
  s.m_PlacedItems.resize(1000);
  for (uint32_t i = 0; i < 1000; ++i) s.m_PlacedItems[i] = s.m_PaletteItems[1 + i % 399];
  return s.SaveStageBytes();
}

void BM_LoadLargeStage(benchmark::State& state) {
  const std::string bytes = LargeStageBytes();
  for (auto _ : state) {
    cStageData stage;
    if (!stage.LoadStageBytes(bytes)) state.SkipWithError("the stage did not load");
    benchmark::DoNotOptimize(stage.m_PlacedBlocks.data());
  }
  state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_LoadLargeStage)->Unit(benchmark::kMillisecond);

// The demo project, written by the pelmora-tool beside this program.
std::string DemoFolder() {
  static const std::string folder = [] {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    const fs::path tool = self.parent_path() / "pelmora-tool";
    const fs::path dir = fs::temp_directory_path() / "pelmora-data-bench-demo";
    fs::remove_all(dir, ec);
    const std::string command = '\'' + tool.string() + "' make-demo '" + dir.string() + "' > /dev/null";
    return std::system(command.c_str()) == 0 ? dir.string() : std::string();
  }();
  return folder;
}

void BM_LoadDemoDatabase(benchmark::State& state) {
  const std::string folder = DemoFolder();
  const std::string previous = plat::GetCurrentDirectory();
  if (folder.empty() || !plat::SetCurrentDirectory(folder)) {
    state.SkipWithError("no demo project (pelmora-tool make-demo failed)");
    return;
  }
  setenv("PELMORA_DIALOG_ANSWERS", "ok", 1);  // a failure must not wait for a click
  plat::ResetDialogScript();
  for (auto _ : state) {
    if (!LoadDatabase()) state.SkipWithError("the demo database did not load");
  }
  plat::SetCurrentDirectory(previous);
}
BENCHMARK(BM_LoadDemoDatabase)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
