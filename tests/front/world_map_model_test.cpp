// The world map as the scene walks it: conditions of worlds, what the hero
// may step on, and maps whose sizes or contents are out of bounds.
#include <gtest/gtest.h>

#include "data/world_map.h"
#include "front/world_map_model.h"
#include "scene/play_record.h"

namespace {

TEST(WorldMapModelTest, ComparisonsOfWorldConditions) {
  struct Row {
    int32_t left, right, op;
    bool expected;
  };
  const Row rows[] = {
      {3, 3, 0, true},   {3, 4, 0, false}, {3, 4, 1, true},   {4, 4, 2, true},  {3, 4, 2, false},
      {4, 4, 3, true},   {5, 4, 3, false}, {5, 4, 4, true},   {4, 4, 4, false}, {3, 4, 5, true},
      {-9, 3, 6, true},  {7, 3, 6, false}, {7, 0, 6, true},   {7, 3, 7, true},  {9, 3, 7, false},
      {7, 0, 7, false},  {1, 1, 8, false}, {1, 1, -1, false}, {-2147483647 - 1, -1, 6, true},
  };
  for (const Row& row : rows)
    EXPECT_EQ(CompareMapValue(row.left, row.right, row.op), row.expected)
        << row.left << " op " << row.op << " " << row.right;
}

TEST(WorldMapModelTest, TheFirstWorldWhoseConditionsHoldIsTheOneThere) {
  cMapNode node;
  cMapWorld flagged, variable, points, fallback;
  flagged.nFlag = 4;
  flagged.nNumber = 1;
  variable.nVariable = 5;
  variable.nValue = 3;
  variable.nOperator = 2;
  variable.nNumber = 2;
  points.nRequiredPoints = 100;
  points.nNumber = 3;
  fallback.nKind = 2;
  node.worlds = {flagged, variable, points, fallback};

  struct Row {
    int32_t flag4, variable5, total;
    int expected;  // index in the node, -1 none
  };
  const Row rows[] = {{1, 0, 0, 0}, {0, 3, 0, 1}, {0, 2, 100, 2}, {0, 2, 99, 3}};
  for (const Row& row : rows) {
    cSaveData record;
    record.SetProgressFlag(4, row.flag4);
    record.SetCommonVariable(5, row.variable5);
    record.m_nTotalPoints = row.total;
    const cMapWorld* world = SelectMapWorld(&node, record);
    ASSERT_NE(world, nullptr);
    EXPECT_EQ(world - node.worlds.data(), row.expected);
  }
  node.worlds.pop_back();
  EXPECT_EQ(SelectMapWorld(&node, cSaveData()), nullptr);
  EXPECT_EQ(SelectMapWorld(nullptr, cSaveData()), nullptr);
}

TEST(WorldMapModelTest, BadSizesMakeAnEmptyMapAndEverythingOutsideIsDropped) {
  struct Row {
    int32_t width, height;
    int32_t expectedWidth, expectedHeight;
  };
  const Row rows[] = {{0, 5, 0, 0}, {5, 0, 0, 0}, {-3, 5, 0, 0}, {100000, 100000, 0, 0}, {2048, 4096, 0, 0},
                      {6, 4, 6, 4}};
  for (const Row& row : rows) {
    cWorldMapModel map;
    map.nWidth = row.width;
    map.nHeight = row.height;
    map.nStartX = 40;
    map.nStartY = -2;
    map.chips = {{0, 0}, {1, 1}};
    map.cells.assign(3, 9);  // short, and chips outside the table
    map.nodes = {{2, 1, {}}, {6, 0, {}}, {-1, 0, {}}};
    map.Validate();
    EXPECT_EQ(map.nWidth, row.expectedWidth);
    EXPECT_EQ(map.nHeight, row.expectedHeight);
    EXPECT_EQ(map.cells.size(), static_cast<size_t>(row.expectedWidth * row.expectedHeight));
    for (uint32_t cell : map.cells) EXPECT_EQ(cell, 0u);
    EXPECT_EQ(map.nStartX, row.expectedWidth ? row.expectedWidth - 1 : 0);
    EXPECT_EQ(map.nStartY, 0);
    EXPECT_EQ(map.nodes.size(), row.expectedWidth ? 1u : 0u);
    // Walking an empty or damaged map never reads outside it.
    EXPECT_FALSE(map.Passable(-1, 0));
    EXPECT_FALSE(map.Passable(map.nWidth, 0));
    EXPECT_EQ(map.FindNodeAt(6, 0), nullptr);
  }
}

TEST(WorldMapModelTest, TakesChipsCellsAndWorldsFromTheMapFile) {
  cWorldMap file;
  file.SetSize(4, 3);
  file.m_ChipTypes[3].m_bImpassable = 1;
  file.m_ChipTypes[3].m_nPicture = 8;
  file.SetCell(2, 1, 3);
  cWorld world;
  for (int i = 0; i < cWorld::kWordCount; ++i) world.m_nWord[i] = 100 + i;
  world.m_strStageFile = "data\\stg4\\a-1.stg4";
  file.m_Groups.assign(1, cWorldGroup());
  file.m_Groups[0].m_nX = 3;
  file.m_Groups[0].m_nY = 2;
  file.m_Groups[0].m_Worlds = {world};

  const cWorldMapModel map = MakeWorldMapModel(file);
  EXPECT_EQ(map.ChipAt(2, 1), 3u);
  EXPECT_FALSE(map.Passable(2, 1));
  EXPECT_TRUE(map.Passable(1, 1));
  ASSERT_NE(map.FindNodeAt(3, 2), nullptr);
  const cMapWorld& w = map.FindNodeAt(3, 2)->worlds.at(0);
  const int32_t got[] = {w.nKind,     w.nIconRow, w.nNumber, w.bAlwaysOpen, w.bReenterable, w.nFlag,
                         w.nVariable, w.nValue,   w.nOperator, w.nRequiredPoints, w.nStart[0], w.nStart[1],
                         w.nStart[2]};
  const int32_t words[] = {0, 1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13};
  for (size_t i = 0; i < std::size(words); ++i) EXPECT_EQ(got[i], 100 + words[i]) << "word " << words[i];
  EXPECT_EQ(w.strStageFile, "data\\stg4\\a-1.stg4");
}

}  // namespace
