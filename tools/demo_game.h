// The demo's game: its worlds and stages, the types and database entries
// they add to the demo project, and the world map that leads to them.
#pragma once

#include <string>
#include <vector>

#include "data/stage_data.h"
#include "data/world_map.h"

class cCommonPalette;
class cDatabase;

namespace tool::demo {

// The game's database entries (music, pictures, animations, effects),
// appended to the lists the showcase stage uses.
void AddGameDatabaseEntries(cDatabase& db);
// The game's block, character and item types, appended to the common
// palette after the showcase's.
void AddGameTypes(cCommonPalette& palette);

// A stage file of the game: its name under "data\stg4\" and the stage.
struct GameStageFile {
  std::string file;
  cStageData stage;
};
// Every stage of the game's worlds, built against the common palette.
std::vector<GameStageFile> BuildGameStages(const cCommonPalette& common);
// The world map that leads to them.
cWorldMap BuildGameWorldMap();

}  // namespace tool::demo
