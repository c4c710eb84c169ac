#include "front/front_scenes.h"

#include "front/dialog_requests.h"
#include "front/world_map_model.h"
#include "play/world/stage_scene.h"
#include "scene/play_record.h"
#include "scene/replay_recorder.h"

namespace {

// The ranking name of a clear comes from the text-entry dialog, which edits
// the stage's ranking name.
void AskStageRankingName(std::string& name) {
  g_strStageRankingName = name;
  AskTextEntry();
  name = g_strStageRankingName;
}

}  // namespace

void RegisterFrontScenes() {
  LoadWorldMapModel();
  InstallReplayFileOps();
  cStageScene::s_pAskRankingName = AskStageRankingName;
  // A scene put in place before start-up (a test's own) stays.
  const struct {
    int32_t id;
    cScene* (*create)();
  } scenes[] = {{kSceneTitle, CreateTitleScene},
                {kSceneWorldMap, CreateWorldMapScene},
                {kSceneWorldMapMenu, CreateWorldMapMenuScene},
                {kSceneWorldSelect, CreateWorldSelectScene},
                {kSceneOptions, CreateOptionsScene}};
  for (const auto& scene : scenes)
    if (!HasSceneFactory(scene.id)) RegisterSceneFactory(scene.id, scene.create);
}

void ResetFrontEndForTest() {
  WorldMapModel = cWorldMapModel();
  cSaveData::s_MapBounds = cWorldMapBounds();
  SaveData.Reset();
  SaveSlotList = cSaveSlotList();
  bRankingOn = 0;
  ResetWorldSelectMemory();
  ReplayRecorder.Reset();
  ReplayRecorder.m_AskSave = nullptr;
  g_ReplayFileOps = ReplayFileOps{};
  cStageScene::s_pAskRankingName = nullptr;
}
