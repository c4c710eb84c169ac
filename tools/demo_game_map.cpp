// The demo game's world map: a meadow ringed by water with a road east
// through the three worlds. The second opens once the first is cleared (a
// closed gate stands in its place until then), the third once the second
// is; clearing the third opens the ending's world at the road's end, whose
// stage ends the game: its tally goes back to the title. The second and
// third worlds each stand in the one pass of a ridge of mountains that runs
// from the water in the north to the water in the south, so that a closed
// gate cannot be walked round over the grass.
#include "data/world_map.h"
#include "platform/text.h"
#include "demo_game.h"
#include "demo_game_parts.h"

namespace tool::demo {
namespace {

using game::kEndingColumn;
using game::kEndingRow;

enum MapChip : uint32_t { kGrass = 0, kWater = 1, kMountain = 2, kForest = 3, kRoad = 4, kBridge = 5 };
// The map drawn as text, one character a cell: '~' water, '^' mountains,
// 'T' forest, '=' road, 'H' bridge, anything else grass.
constexpr const char* kMapRows[] = {
    "~~~~~~~~~~~~~~~~~~~~",
    "~TT   ^^^^  ~ ^ TT ~",
    "~T   ^^^^^  ~ ^^ T ~",
    "~   ^^^^^^^ ~ ^^^  ~",
    "~ T     ^^  ~ ^^^^ ~",
    "~  ^  ^^^^^^~ ^^^^ ~",
    "~     TT ^  ~ ^    ~",
    "~ ==========H====  ~",
    "~     TT ^  ~ ^ T  ~",
    "~ TT     ^  ~ ^TTT ~",
    "~TTT   ^^^  ~ ^    ~",
    "~ T   ^^^^  ~~^  T ~",
    "~        ^ ~~~^ TT ~",
    "~  TT    ^~~~ ^    ~",
    "~~~~~~~~~~~~~~~~~~~~",
};

uint32_t ChipOf(char c) {
  switch (c) {
    case '~': return kWater;
    case '^': return kMountain;
    case 'T': return kForest;
    case '=': return kRoad;
    case 'H': return kBridge;
    default: return kGrass;
  }
}

// What happens when a world's last stage is cleared (word 5 of a world):
// back to the map, or, after the ending, back to the title.
constexpr int32_t kAfterClearToMap = 0, kAfterClearToTitle = 2;

struct MapWorld {
  int32_t column, row;
  int32_t number;       // its progress flag, and the world number in play
  int32_t openedBy;     // the world whose clear opens it (0: open from the start)
  bool gate;            // a closed gate stands in its place until then
  int32_t iconRow;      // its row in the world icons
  int32_t afterClear;
  const char* name;
  const char* stage;    // its first stage
};
// The castle's clear comes back to the map, which saves the game by itself
// (the castle cleared, the lives won) and puts the hero on the ending's
// world: shown only once the castle is cleared, and never entered before,
// it starts at once. The ending's world goes back to the title. No gate
// stands in its place before: the castle, in the road's one pass, keeps
// the hero west of it until then.
constexpr MapWorld kWorlds[] = {
    {5, 7, 1, 0, false, 0, kAfterClearToMap, "はじまりの草原", "data\\stg4\\c01-1.stg4_001"},
    {9, 7, 2, 1, true, 1, kAfterClearToMap, "雲の上", "data\\stg4\\c02-1.stg4_001"},
    {14, 7, 3, 2, true, 2, kAfterClearToMap, "魔王の城", "data\\stg4\\c03-1.stg4_001"},
    {kEndingColumn, kEndingRow, 4, 3, false, 3, kAfterClearToTitle, "エンディング", "data\\stg4\\c04-1.stg4_001"},
};
constexpr int32_t kGateIconRow = 7;
constexpr int32_t kSeaColour = 152;  // the palette entry of the water chip's blue

}  // namespace

cWorldMap BuildGameWorldMap() {
  cWorldMap map;
  map.SetSize(20, 15);
  map.StartX() = 3;
  map.StartY() = 7;
  // The map's picture lies under the map; beyond the map's edge (the view
  // keeps the hero at its centre) the screen is the map's background colour,
  // the sea's blue.
  map.BackgroundPicture() = 1;
  map.BackgroundColour() = kSeaColour;
  map.m_strText = "bmp\\WorldBack.bmp";
  for (int i = 0; i < cWorldMap::kChipTypeCount; ++i) {
    map.m_ChipTypes[static_cast<size_t>(i)].m_nPicture = i;
    map.m_ChipTypes[static_cast<size_t>(i)].m_bImpassable = (i == kWater || i == kMountain) ? 1 : 0;
  }
  for (int32_t y = 0; y < 15; ++y)
    for (int32_t x = 0; x < 20; ++x) map.SetCell(x, y, ChipOf(kMapRows[y][x]));
  map.m_Groups.clear();
  for (const MapWorld& w : kWorlds) {
    cWorld world;
    world.m_nWord[0] = kWorldKindStage;
    world.m_nWord[1] = w.iconRow;
    world.m_nWord[2] = w.number;
    world.m_nWord[4] = 1;  // enterable again once cleared
    world.m_nWord[5] = w.afterClear;
    world.m_nWord[6] = w.openedBy;
    world.m_strName = plat::Sjis(w.name);
    world.m_strStageFile = w.stage;
    cWorldGroup node;
    node.m_nX = w.column;
    node.m_nY = w.row;
    node.m_Worlds = {world};
    if (w.gate) {  // the gate, while the world is closed
      cWorld gate;
      gate.m_nWord[0] = kWorldKindWall;
      gate.m_nWord[1] = kGateIconRow;
      node.m_Worlds.push_back(gate);
    }
    map.m_Groups.push_back(node);
  }
  return map;
}

}  // namespace tool::demo
