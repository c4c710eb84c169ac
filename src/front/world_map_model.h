// The world map as the world-map scene walks it: a grid of chips, the chip
// types (passable or not, picture cell), and the nodes, each a cell with a
// list of worlds of which the first whose conditions hold is the one there.
// Filled once at start-up from the loaded map record; always consistent
// after Validate (sizes within bounds, the grid whole, the start and every
// node inside, chip numbers within the table), so walking it never reads
// outside.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/world_map.h"

class cSaveData;

struct cMapWorld {
  int32_t nKind = 0;             // 0 a world with a stage, 2 a wall, others a road
  int32_t nNumber = 0;           // progress flag of the world, its world number in play
  int32_t bAlwaysOpen = 0;       // enterable before it is cleared without the box
  int32_t bReenterable = 0;      // enterable again once cleared
  int32_t nIconRow = 0;          // row of its icon in the world-icon picture
  int32_t nFlag = 0;             // progress flag that must be set (0: none)
  int32_t nVariable = 0;         // common variable compared (0: none)
  int32_t nValue = 0;            // the value it is compared with
  int32_t nOperator = 0;         // comparison 0..7
  int32_t nRequiredPoints = 0;   // total points needed
  int32_t nStart[3] = {};        // stage numbers the stage starts with
  std::string strName;
  std::string strStageFile;
};

struct cMapNode {
  int32_t x = 0, y = 0;
  std::vector<cMapWorld> worlds;
};

struct cMapChip {
  int32_t bImpassable = 0;
  int32_t nPicture = 0;  // cell n of the chip picture: (n mod 5, n div 5) x 32
};

class cWorldMapModel {
 public:
  // Larger maps are taken for damaged data and become empty.
  static constexpr int32_t kMaxSide = 2048;
  static constexpr int64_t kMaxCells = int64_t{1} << 22;

  int32_t nWidth = 0, nHeight = 0;
  int32_t nStartX = 0, nStartY = 0;
  int32_t nBackColour = 16;
  int32_t bBackPicture = 0;
  std::string strBackPicture;
  std::vector<cMapChip> chips;
  std::vector<uint32_t> cells;  // row by row, width x height
  std::vector<cMapNode> nodes;

  // Sizes out of bounds make an empty map; the grid is sized to the map,
  // chips outside the table become 0, the start is moved inside and nodes
  // outside are dropped.
  void Validate();
  bool Inside(int32_t x, int32_t y) const { return x >= 0 && y >= 0 && x < nWidth && y < nHeight; }
  // Chip number of a cell; 0 outside.
  uint32_t ChipAt(int32_t x, int32_t y) const;
  // Whether the hero may stand on a cell without a world: inside the map
  // and of a chip type that is not impassable.
  bool Passable(int32_t x, int32_t y) const;
  const cMapNode* FindNodeAt(int32_t x, int32_t y) const;
};

extern cWorldMapModel WorldMapModel;

// The comparison of a world's variable condition: 0 equal, 1 not equal,
// 2 at least, 3 at most, 4 greater, 5 less, 6 divisible (|left| mod right
// is 0; a right side of 0 passes), 7 not divisible (a right side of 0
// fails); anything else fails.
bool CompareMapValue(int32_t left, int32_t right, int32_t op);
// The first world of the node whose flag, variable and points conditions
// the play record meets; null when none (or no node).
const cMapWorld* SelectMapWorld(const cMapNode* node, const cSaveData& record);
// The world is cleared (its progress flag set), or open (cleared or
// always open).
bool IsWorldCleared(const cMapWorld& world, const cSaveData& record);
bool IsWorldOpen(const cMapWorld& world, const cSaveData& record);

// The model of a loaded map record, validated. Words of a world beyond
// those the map file names: 1 its icon row, 3 always open, 4 enterable again
// once cleared, 10 the total points it needs, 11 to 13 the stage numbers
// its stage starts with.
cWorldMapModel MakeWorldMapModel(const cWorldMap& map);
// Start-up: the model of the loaded map, and the map facts the play record
// clamps to.
void LoadWorldMapModel();
// The play record's map bounds from the model (and the system data's world
// count).
void ApplyWorldMapBounds();
