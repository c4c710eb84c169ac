#include "data/world_map.h"

#include <gtest/gtest.h>

#include "platform/text.h"
#include "records_support.h"

namespace {

using records_test::Bytes;

// A map file written from the layout: the map record, chip types, grid,
// nodes (each with its worlds) and an empty second node list.
struct MapFile {
  int version = 873;
  int32_t width = 9, height = 7, pitch = 16, shift = 4, startX = 2, startY = 3;
  int chipTypes = 10;
  std::vector<uint32_t> grid = std::vector<uint32_t>(7 * 16, 1);
  // Node cells; each node holds one world of kind 0 with stage "data\stg4\abc-1.stg4".
  std::vector<std::pair<int32_t, int32_t>> nodes = {{1, 1}};

  std::string Build() const {
    Bytes b;
    b.u32(version).u32(8).u32(width).u32(height).u32(pitch).u32(shift).u32(startX).u32(startY).u32(16).u32(0);
    b.u32(2).str("map").str("");
    b.u32(chipTypes);
    for (int i = 0; i < chipTypes; ++i) b.u32(3).u32(0).u32(0).u32(i).u32(2).str("chip").str("");
    b.u32(grid.size());
    for (uint32_t c : grid) b.u32(c);
    b.u32(nodes.size());
    const int words = version >= 758 ? 14 : version >= 209 ? 11 : 10;
    for (auto [x, y] : nodes) {
      b.u32(2).u32(x).u32(y).u32(1).str("node").u32(1);
      b.u32(words);
      for (int w = 0; w < words; ++w) b.u32(w == 10 ? 77 : 0);
      b.u32(2).str("world").str("data\\stg4\\abc-1.stg4");
    }
    b.u32(0);
    return b.s();
  }
};

TEST(WorldMapTest, SetSizePitchAndKeptCells) {
  const struct {
    int32_t w, h, pitch, shift;
  } sizes[] = {{9, 7, 16, 4}, {16, 1, 16, 4}, {17, 1, 32, 5}, {1, 1, 1, 0}};
  for (const auto& s : sizes) {
    cWorldMap map;
    ASSERT_EQ(map.SetSize(s.w, s.h), 1);
    EXPECT_EQ(map.Pitch(), s.pitch) << s.w;
    EXPECT_EQ(map.PitchShift(), s.shift) << s.w;
    EXPECT_EQ(map.m_Grid.size(), static_cast<size_t>(s.pitch * s.h));
  }
  cWorldMap map;
  map.SetSize(9, 7);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 9; ++x) map.SetCell(x, y, 1 + x + 10 * y);
  map.SetSize(5, 5);
  EXPECT_EQ(map.CellAt(4, 4), 45u);
  EXPECT_EQ(map.CellAt(5, 0), 0u);  // outside
  map.SetSize(20, 8);
  EXPECT_EQ(map.CellAt(3, 2), 24u);
  EXPECT_EQ(map.CellAt(6, 2), 0u);  // was cut off by the shrink
  for (int32_t bad : {0, -1, -2147483647 - 1, 1 << 20}) EXPECT_EQ(map.SetSize(bad, bad == 1 << 20 ? bad : 3), 0);
  EXPECT_EQ(map.Width(), 20);
}

TEST(WorldMapTest, FileReadsAndWritesBackTheSameBytes) {
  cWorldMap fresh;  // a new map: 20 x 15, one node "デフォルト" holding one world
  EXPECT_EQ(fresh.Pitch(), 32);
  EXPECT_EQ(fresh.m_Groups.at(0).m_strName, plat::Sjis("デフォルト"));
  EXPECT_EQ(fresh.m_Groups[0].m_Worlds.at(0).m_nWord[12], 1);
  for (const std::string& file : {MapFile().Build(), fresh.SaveToBytes()}) {
    cWorldMap map, again;
    ASSERT_TRUE(map.LoadFromBytes(file));
    EXPECT_EQ(map.SaveToBytes(), file);
    ASSERT_TRUE(again.LoadFromBytes(map.SaveToBytes()));
    EXPECT_EQ(again.SaveToBytes(), file);
  }
}

TEST(WorldMapTest, ChecksAfterLoading) {
  MapFile f;
  f.startX = 20;
  f.grid[(2 << 4) + 3] = 12;            // no chip type 12
  f.nodes = {{9, 0}, {8, 6}, {-1, 2}};  // x = width and x < 0 are off the map
  cWorldMap map;
  ASSERT_TRUE(map.LoadFromBytes(f.Build()));
  EXPECT_EQ(map.StartX(), 8);
  EXPECT_EQ(map.StartY(), 3);
  EXPECT_EQ(map.CellAt(3, 2), 0u);
  EXPECT_EQ(map.CellAt(4, 2), 1u);
  ASSERT_EQ(map.m_Groups.size(), 1u);
  EXPECT_EQ(map.FindNodeAt(8, 6), &map.m_Groups[0]);
  EXPECT_EQ(map.FindNodeAt(9, 0), nullptr);
}

TEST(WorldMapTest, OlderVersions) {
  MapFile old;
  old.version = 811;
  old.chipTypes = 3;
  cWorldMap map;
  ASSERT_TRUE(map.LoadFromBytes(old.Build()));
  ASSERT_EQ(map.m_ChipTypes.size(), 10u);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(map.m_ChipTypes[i].m_bImpassable, i < 5 ? 1 : 0) << i;
    EXPECT_EQ(map.m_ChipTypes[i].m_nPicture, i);
    EXPECT_EQ(map.m_ChipTypes[i].m_strName, plat::Sjis(i < 5 ? "移動不可" : "移動可"));
  }
  // Before 209 a world has no word 10; before 758 no words 11..13.
  for (int version : {208, 757}) {
    MapFile f;
    f.version = version;
    ASSERT_TRUE(map.LoadFromBytes(f.Build())) << version;
    const cWorld& w = map.m_Groups[0].m_Worlds[0];
    EXPECT_EQ(w.m_nWord[10], version < 209 ? 0 : 77) << version;
    EXPECT_EQ(w.m_nWord[12], 1) << version;  // a new world's value
  }
}

TEST(WorldMapTest, DisagreeingOrHostileSizes) {
  // Pitch, shift and cell count that do not agree with the width: the grid
  // is rebuilt and the cells kept where the file's pitch put them.
  MapFile wrongShift;
  wrongShift.pitch = 32;
  wrongShift.shift = 5;
  wrongShift.grid.assign(7 * 32, 1);
  wrongShift.grid[(6 << 5) + 8] = 2;
  MapFile shortGrid;
  shortGrid.grid.resize(3);
  MapFile hugeShift;
  hugeShift.shift = 60;
  hugeShift.pitch = 0;
  for (const MapFile* f : {&wrongShift, &shortGrid, &hugeShift}) {
    cWorldMap map;
    ASSERT_TRUE(map.LoadFromBytes(f->Build()));
    EXPECT_EQ(map.Pitch(), 16);
    EXPECT_EQ(map.m_Grid.size(), 16u * 7);
    if (f == &wrongShift) {
      EXPECT_EQ(map.CellAt(8, 6), 2u);
    }
  }
  // Sizes that make no map, counts beyond the file: the load fails and the
  // map is as it was.
  MapFile zero, negative, huge;
  zero.width = 0;
  negative.height = -5;
  huge.width = huge.height = 1 << 30;
  std::string lying = MapFile().Build();
  lying.replace(4 + 4 + 32 + 4 + 8 + 4, 4, "\xFF\xFF\xFF\x7F");  // the chip-type count
  for (const std::string& bad : {zero.Build(), negative.Build(), huge.Build(), lying, MapFile().Build().substr(0, 200)}) {
    cWorldMap map;
    EXPECT_FALSE(map.LoadFromBytes(bad));
    EXPECT_EQ(map.Width(), 20);
  }
}

TEST(WorldMapTest, HasWorldForStageMatchesTheBaseName) {
  cWorldMap map;
  cWorld& w = map.m_Groups[0].m_Worlds[0];
  w.m_strStageFile = "data\\stg4\\abc-1.stg4";
  EXPECT_EQ(map.HasWorldForStage("abc.", 0, 0, 0), 1);
  EXPECT_EQ(map.HasWorldForStage("abc-1.", 0, 0, 0), 0);
  w.m_nWord[11] = 1;
  w.m_nWord[13] = 4;
  EXPECT_EQ(map.HasWorldForStage("abc.", 1, 1, 4), 1);
  EXPECT_EQ(map.HasWorldForStage("abc.", 1, 1, 5), 0);
  EXPECT_EQ(WorldStageBaseName("data\\stg4\\abc-2.stg4"), "abc-2.");
}

}  // namespace
