// Stage files over arbitrary bytes: the read (with its upgrades of older
// versions and the normalisation) must fail cleanly or give a stage that
// writes and reads back. A stage the game would play (its set-up check
// passes) is then laid out as the game lays it out when it starts: the
// scroll records, the block map, the hero, the characters and items, and
// the flows that run before the start.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/program.h"
#include "data/stage_data.h"
#include "gfx/dd.h"
#include "platform/messages.h"
#include "play/commands/flow_host_impl.h"
#include "play/world/stage_limits.h"
#include "play/world/stage_scene.h"
#include "scene/play_record.h"
#include "scene/scene.h"
#include "support/headless_stage.h"

namespace {

// The set-ups laid out here build no more than this: the sanitizers' own
// memory comes on top, and the fuzzer's limit is a couple of gigabytes. The
// set-up check's estimate of a stage above it is still made (and the check
// itself runs on every stage read).
constexpr int64_t kLaidOutBytes = kStageSetUpBudget / 8;

// Types that hold a base's flows or commands: written, each holds them once
// more (hundreds of megabytes from a small input). The hostile-file tests
// read such a resave at full size; here it would leave no time for others.
template <class List>
bool HoldsInherited(const List& types) {
  for (const auto& t : types) {
    if constexpr (requires { t.m_vFlows; }) {
      if (t.m_vFlows.IsShared()) return true;
    } else {
      if (t.m_vCmds.IsShared()) return true;
    }
  }
  return false;
}

// The stage in StageData, started as a stage chosen to play is: the master
// copy and the hero record kept, a new scene set up on it.
void LayOut() {
  const int32_t heroIndex = StageData.FindHeroIndex();
  if (heroIndex < 0) return;  // the loader refuses it
  StartHeadlessStageOnce();
  StageMasterData.CopySettingsFrom(StageData);
  cStageScene::KeptHeroRecord = StageData.m_PlacedCharacters.At(heroIndex);
  SaveData.Reset();
  SaveData.m_nLives = 3;
  SceneManager.m_nLastTitleAction = kTitleFreePlay;
  SceneManager.m_nPlayMode = kPlayFree;
  auto scene = std::make_unique<cStageScene>();
  g_lpStageScene = scene.get();
  scene->SetStage(1, 1);
  g_lpStageScene = nullptr;
  scene.reset();
  // What the set-up posted (a close on a fault) goes with this input.
  plat::DropQueue();
}

}  // namespace

// An undefined operation (an overflow in the layout) ends the run with the
// input kept, as an access out of bounds does, rather than a line in the log.
extern "C" const char* __ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  cStageData stage;
  if (!stage.LoadFromBytes(input)) return 0;
  const bool playable = StageSetUpProblem(stage).empty();
  if (!(HoldsInherited(stage.m_PaletteCharacters) || HoldsInherited(stage.m_PlacedCharacters) ||
        HoldsInherited(stage.m_PaletteItems) || HoldsInherited(stage.m_PlacedItems))) {
    std::string bytes = stage.SaveToBytes();
    cStageData again;
    if (!again.LoadFromBytes(bytes)) __builtin_trap();
  }
  if (playable && EstimateStageSetUp(stage, kLaidOutBytes).bytes <= kLaidOutBytes && StageData.LoadFromBytes(input))
    LayOut();
  return 0;
}
