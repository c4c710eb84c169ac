// The front end's scenes: the title (0), the world map (1), the world-map
// menu (2), the world select (3) and the options (4 is stage play's, 5 the
// options), registered with the scene manager at start-up, and the game
// state they set up for stage play.
#pragma once

#include <cstdint>
#include <string>

#include "data/save_slots.h"
#include "front/menu_scene.h"

// Start-up: the world map model from the loaded map, and the five scene
// constructors.
void RegisterFrontScenes();

// Back to the state before start-up: no map, no bounds, a fresh play
// record and slot list, the world select's remembered row, no replay
// attempts or replay requests (tests, and the end of a headless run).
void ResetFrontEndForTest();

// A new story game: the play record reset, the map position at the map's
// start, and the story's lives.
void ResetGameProgress();

// One stage played on its own: free play of a file chosen at the title, or
// the test play of a stage named at start-up (`testPlay`). The play record
// is reset, the stage loaded (`numbered`: its newest numbered version),
// world and stage are 1, the lives free play's start lives (unlimited in a
// test play) and the play record's stage the path, made relative. 0 when
// the stage cannot be loaded (the loader has said why).
int BeginSingleStagePlay(const std::string& path, int32_t numbered, bool testPlay);

// The save slots as the title and the world-map menu list them.
extern cSaveSlotList SaveSlotList;

// The scenes, for what tests read of them between frames.
class cWorldMapScene;
cScene* CreateTitleScene();
cScene* CreateWorldMapScene();
cScene* CreateWorldMapMenuScene();
cScene* CreateWorldSelectScene();
cScene* CreateOptionsScene();

// The world select's cursor row and page kept between its visits: back to
// the first world.
void ResetWorldSelectMemory();

// Where the hero stands on the world map scene (column, row, facing 0 down,
// 1 up, 2 left, 3 right); false when no world map scene exists.
bool WorldMapHeroPosition(int32_t& column, int32_t& row, int32_t& facing);
