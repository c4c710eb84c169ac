// "data\WorldMap.dat": the world map the player walks between stages.
//
// The map is a grid of chip numbers (each naming one of the chip types), and
// nodes: named cells that hold a list of worlds, each a stage file with the
// conditions under which the node leads to it.
//
// File form after the version word: the map's record (eight words: width,
// height, pitch, pitch shift, start x, start y, background colour,
// background-picture flag; then the name and the background picture's
// name), then four counted lists: the chip types, the grid (u32 chip
// numbers, row-major with the pitch), the nodes, and a second node list of
// the same form. Each node is its record (x, y, name) followed by its
// counted worlds.
//
// The grid is addressed as (y << shift) + x. A file whose size, pitch, shift
// and cell count do not agree gets a grid rebuilt from its width and height
// (the cells it holds copied where they fit) when that grid is not much
// larger than the cells the file holds; a file whose width or height is not
// positive, or whose sizes ask for far more cells than it holds, does not
// load.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/record.h"

// One kind of map chip: the picture cell it shows and whether the hero may
// walk onto it.
class cWorldMapChipType : public cRecord {
 public:
  cWorldMapChipType() { Clear(); }
  PELMORA_RECORD_CLASS(cWorldMapChipType)
  void DefineFields(int32_t version) override;

  int32_t m_nWord = 0;
  // The hero may not step onto a cell of this chip unless a node is there.
  int32_t m_bImpassable = 0;
  // Cell n of the chip picture, at (n mod 5 × 32, n div 5 × 32).
  int32_t m_nPicture = 0;
  std::string m_strName;
  std::string m_strText;
};

// World kinds (word 0).
enum : int32_t { kWorldKindStage = 0, kWorldKindRoad = 1, kWorldKindWall = 2 };

// One world of a node: a stage file and the conditions that open it.
class cWorld : public cRecord {
 public:
  static constexpr int kWordCount = 14;
  // A new world: the current layout cleared, word 12 set.
  cWorld();
  PELMORA_RECORD_CLASS(cWorld)
  void DefineFields(int32_t version) override;
  // Files older than 209 lack word 10: it becomes 0.
  bool Read(cDataReader& in) override;

  int32_t Kind() const { return m_nWord[0]; }
  int32_t Number() const { return m_nWord[2]; }
  int32_t FlagNumber() const { return m_nWord[6]; }      // 0: no flag condition
  int32_t VariableNumber() const { return m_nWord[7]; }  // 0: no variable condition
  int32_t CompareValue() const { return m_nWord[8]; }
  int32_t Comparison() const { return m_nWord[9]; }

  int32_t m_nWord[kWordCount] = {};
  std::string m_strName;
  std::string m_strStageFile;
};

// A node: a cell of the grid and the worlds it leads to (the first whose
// conditions hold is the one entered).
class cWorldGroup : public cRecord {
 public:
  static constexpr size_t kMinBodyBytes = 8 + 4;  // the record and the world count
  // A new node holds one new world.
  cWorldGroup();
  explicit cWorldGroup(cForReading) { Clear(); }
  PELMORA_RECORD_CLASS(cWorldGroup)
  void DefineFields(int32_t version) override;
  bool Read(cDataReader& in) override;
  void Write(cDataWriter& out) override;
  void DumpLists(cJsonWriter& json) override;

  int32_t m_nX = 0;
  int32_t m_nY = 0;
  std::string m_strName;
  std::vector<cWorld> m_Worlds;
};

class cWorldMap : public cRecord {
 public:
  // Chip types a map has (older files are brought to this many).
  static constexpr int kChipTypeCount = 10;
  // The largest grid a map may have, in cells (height × pitch).
  static constexpr int64_t kMaxGridCells = int64_t{1} << 22;

  cWorldMap();
  PELMORA_RECORD_CLASS(cWorldMap)
  void DefineFields(int32_t version) override;
  // The record, then the lists; migrations and ValidateWorldMap follow.
  bool Read(cDataReader& in) override;
  // ValidateWorldMap, then the same form as Read.
  void Write(cDataWriter& out) override;
  void DumpLists(cJsonWriter& json) override;
  // A map's lists are all replaced by a read.
  std::unique_ptr<cRecord> CloneForReading() const override;

  // A new map: name "ワールド", start (9, 7), colour 16, no picture, a
  // 20 × 15 grid of chip 0, ten default chip types and one node "デフォルト".
  void SetDefaults();

  // Resizes the grid, keeping the cells inside both sizes. 1 on success; 0
  // for a width or height below 1 (nothing changes) or a grid larger than
  // kMaxGridCells.
  int SetSize(int32_t width, int32_t height);
  // Start inside the map, chip numbers within the chip types, nodes of the
  // first list on the map.
  void ValidateWorldMap();

  // The first node of the first list at (x, y), or null.
  cWorldGroup* FindNodeAt(int32_t x, int32_t y);
  // Whether a stage world (kind 0) of the first list has a stage file whose
  // base form (the file title cut at its last "-1", that "-" becoming ".";
  // else the title and ".") equals `name`; with `mode` 0 its word 11 must be
  // 0, else word 11 set and words 12 and 13 equal to `a` and `b`.
  int HasWorldForStage(const std::string& name, int32_t mode, int32_t a, int32_t b) const;

  // The chip number of a cell; 0 outside the map.
  uint32_t CellAt(int32_t x, int32_t y) const;
  void SetCell(int32_t x, int32_t y, uint32_t chip);

  int32_t& Width() { return m_nNum[0]; }
  int32_t& Height() { return m_nNum[1]; }
  int32_t& Pitch() { return m_nNum[2]; }
  int32_t& PitchShift() { return m_nNum[3]; }
  int32_t& StartX() { return m_nNum[4]; }
  int32_t& StartY() { return m_nNum[5]; }
  int32_t& BackgroundColour() { return m_nNum[6]; }
  int32_t& BackgroundPicture() { return m_nNum[7]; }
  int32_t Width() const { return m_nNum[0]; }
  int32_t Height() const { return m_nNum[1]; }
  int32_t PitchShift() const { return m_nNum[3]; }

  // Width, height, pitch, pitch shift, start x, start y, background colour,
  // background-picture flag.
  int32_t m_nNum[8] = {};
  std::string m_strName;
  std::string m_strText;  // the background picture's file name
  std::vector<cWorldMapChipType> m_ChipTypes;
  std::vector<uint32_t> m_Grid;  // height × pitch chip numbers
  std::vector<cWorldGroup> m_Groups;
  std::vector<cWorldGroup> m_Groups2;

 private:
  // The grid agrees with width, height, pitch and shift; false when the
  // sizes cannot make a grid at all.
  bool RepairGrid();
  // The grid index of a cell; SIZE_MAX outside the map or the grid.
  size_t CellIndex(int32_t x, int32_t y) const;
  void MigrateChipTypes();
};

// The stage file's base form as HasWorldForStage compares it.
std::string WorldStageBaseName(const std::string& stageFile);

// The map of the running game (loaded once at start-up).
extern cWorldMap WorldMapData;
