#include "support/game_data.h"

#include "base/program.h"
#include "data/common_palette.h"
#include "data/database.h"
#include "data/effect_runs.h"
#include "data/record.h"
#include "data/stage_data.h"
#include "data/system_data.h"

struct ScopedGameData::Saved {
  cDatabase database = Database;
  cSystemData systemData = SystemData;
  cCommonPalette commonPalette = CommonPalette;
  cStageData stage = StageData;
  cStageData stageMaster = StageMasterData;
  AnimeTable animeRuns = AnimeRunTable, effectRuns = EffectRunTable;
  std::vector<cGraphicEffectRun> graphicRuns = GraphicEffectRuns, graphicRunsReversed = GraphicEffectRunsReversed;
  std::vector<cScreenEffectRun> screenRuns = ScreenEffectRuns, screenRunsReversed = ScreenEffectRunsReversed;
  int32_t stripCarriageReturns = bStripCarriageReturns;
  int32_t fileTooNew = bFileTooNew;
  int32_t editor = g_bEditor;
};

ScopedGameData::ScopedGameData() : saved_(std::make_unique<Saved>()) {
  Database = cDatabase();
  SystemData = cSystemData();
  CommonPalette = cCommonPalette();
  StageData = cStageData();
  StageMasterData = cStageData();
  bStripCarriageReturns = 0;
  bFileTooNew = 0;
  g_bEditor = 0;
}

ScopedGameData::~ScopedGameData() {
  Database = std::move(saved_->database);
  SystemData = std::move(saved_->systemData);
  CommonPalette = std::move(saved_->commonPalette);
  StageData = std::move(saved_->stage);
  StageMasterData = std::move(saved_->stageMaster);
  AnimeRunTable = std::move(saved_->animeRuns);
  EffectRunTable = std::move(saved_->effectRuns);
  GraphicEffectRuns = std::move(saved_->graphicRuns);
  GraphicEffectRunsReversed = std::move(saved_->graphicRunsReversed);
  ScreenEffectRuns = std::move(saved_->screenRuns);
  ScreenEffectRunsReversed = std::move(saved_->screenRunsReversed);
  bStripCarriageReturns = saved_->stripCarriageReturns;
  bFileTooNew = saved_->fileTooNew;
  g_bEditor = saved_->editor;
}
