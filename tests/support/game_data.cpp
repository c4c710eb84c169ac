#include "support/game_data.h"

#include "base/program.h"
#include "data/common_palette.h"
#include "data/database.h"
#include "data/effect_runs.h"
#include "data/record.h"
#include "data/stage_data.h"
#include "data/system_data.h"

#include <functional>

// Each global is copied aside (and set afresh where given); the copies go back
// in reverse order.
struct ScopedGameData::Saved {
  std::vector<std::function<void()>> restore;
  template <class T>
  void Keep(T& global) {
    restore.push_back([&global, old = T(global)] { global = old; });
  }
  template <class T>
  void Keep(T& global, T fresh) {
    Keep(global);
    global = std::move(fresh);
  }
};

namespace {

template <class Run, class List>
void PointRuns(std::vector<Run>& runs, List& list) {
  for (Run& run : runs)
    run.pDef = run.nNumber >= 0 && static_cast<size_t>(run.nNumber) < list.size() ? &list[run.nNumber] : nullptr;
}

}  // namespace

void PointEffectRunsIntoTheDatabase() {
  PointRuns(GraphicEffectRuns, Database.m_CharaEffects);
  PointRuns(GraphicEffectRunsReversed, Database.m_CharaEffects2);
  PointRuns(ScreenEffectRuns, Database.m_ScrEffects);
  PointRuns(ScreenEffectRunsReversed, Database.m_ScrEffects2);
}

ScopedGameData::ScopedGameData() : saved_(std::make_unique<Saved>()) {
  Saved& s = *saved_;
  // Undone last, once the database is back.
  s.restore.push_back(PointEffectRunsIntoTheDatabase);
  s.Keep(Database, cDatabase()), s.Keep(SystemData, cSystemData()), s.Keep(CommonPalette, cCommonPalette());
  s.Keep(StageData, cStageData()), s.Keep(StageMasterData, cStageData());
  s.Keep(AnimeRunTable), s.Keep(EffectRunTable);
  s.Keep(GraphicEffectRuns, {}), s.Keep(GraphicEffectRunsReversed, {});
  s.Keep(ScreenEffectRuns, {}), s.Keep(ScreenEffectRunsReversed, {});
  s.Keep(bStripCarriageReturns, 0), s.Keep(bFileTooNew, 0);
  const int32_t editor = bFromEditor;
  s.restore.push_back([editor] { bFromEditor = editor; });
  bFromEditor = 0;
}

ScopedGameData::~ScopedGameData() {
  for (auto it = saved_->restore.rbegin(); it != saved_->restore.rend(); ++it) (*it)();
}
