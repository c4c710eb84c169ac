#include "front/front_scenes.h"

#include "front/world_map_model.h"

void RegisterFrontScenes() {
  LoadWorldMapModel();
  RegisterSceneFactory(kSceneTitle, CreateTitleScene);
  RegisterSceneFactory(kSceneWorldMap, CreateWorldMapScene);
  RegisterSceneFactory(kSceneWorldMapMenu, CreateWorldMapMenuScene);
  RegisterSceneFactory(kSceneWorldSelect, CreateWorldSelectScene);
  RegisterSceneFactory(kSceneOptions, CreateOptionsScene);
}
