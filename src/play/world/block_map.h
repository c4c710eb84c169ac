// The block map of a running stage and the collision of stage objects with
// its blocks.
//
// A stage is a grid of 32 x 32-dot cells. The map keeps ten margin cells on
// every side of the stage's own blocks: (height + 20) rows of 1 << b cells,
// where b is the number of bits of (width + 19), so that a cell's index is
// (row << b) + column. A block placed at stage block (x, y) sits in column
// x + 10, row y + 10.
//
// A cell is small: the slot of its block type in the map's own type table
// (0 = empty), the conditions-held byte (a cache of the block's appearance
// conditions, cleared whenever the cell is written) and a spare byte. The
// type table holds one copy of every distinct block type placed on the
// map, so a large stage costs four bytes a cell, not a block record a cell.
//
// The collision operations resolve one object against the blocks one axis
// at a time. They return the play frame's result codes: 0 nothing happened,
// 2 the object is killed (the item reaction of a foot block may also give 1,
// the stage ends). Every probe clamps its coordinates to the map first, so
// no object position, however wild, reads outside the map.
#pragma once

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "base/safe_containers.h"
#include "data/block.h"

class cStageData;
class cStageObject;
class cCharacter;
class cHero;

inline constexpr int kBlockDots = 32;        // a cell is 32 x 32 dots
inline constexpr int kBlockShift = 5;        // dot coordinate >> 5 = cell
inline constexpr int kStageMarginBlocks = 10;  // map cells beside the stage on each side

// What a block does to an object that meets it (IsBlockSolid).
enum BlockSolidity : int8_t {
  kBlockNotSolid = 0,
  kBlockSolid = 1,
  kBlockDeadly = 2,  // kills the hero; stops computer-controlled characters
};

// The effect a block has on the hero standing on it.
enum BlockEffect : uint8_t {
  kBlockEffectNone = 0,
  kBlockEffectSpring = 1,         // X = jump height in half blocks
  kBlockEffectNoJump = 2,
  kBlockEffectSlippery = 3,       // X = percent of the speed kept
  kBlockEffectConveyorLeft = 4,   // X = speed
  kBlockEffectConveyorRight = 5,  // X = speed
};

// One cell of the map.
struct cBlockCell {
  uint16_t m_nType = 0;            // slot in the map's type table; 0 = empty
  uint8_t m_nConditionsHeld = 0;   // the appearance conditions were found to hold
  uint8_t m_nSpare = 0;
};

// Settings of the running stage that block collision reads. The stage
// set-up fills them: FromStage takes the stage's own values, the project's
// rules (play/world/system_switches.h) the rest; until then they hold a new
// project's values.
struct cBlockRules {
  int32_t subSteps = 1;          // sub-steps per frame (at least 1)
  double frameScale = 1.0;       // the stage's frame scale (never 0)
  int32_t airborneThreshold = 1;  // floorless sub-steps before an object counts as airborne
  bool keepKnockbackAtCeilings = false;
  bool landWhileRising = false;
  bool gravityStep = false;      // replaces sticking to the floor by a plain pull
  bool summonedBlocksSqueezePassThrough = false;  // read by block summoning
  bool summonOverConditional = false;  // summoning is refused by any protected cell, existing or not
  bool carrierAirborneOnly = false;
  int32_t contactBackOff = 0;

  // Takes the sub-step count and frame scale of a stage whose speed level
  // has been applied; values that could divide by zero become 1.
  void FromStage(const cStageData& stage);
};

// Calls block collision makes out of the map, installed by the stage scene.
// Each has a default that acts as a stage without that service would.
struct cBlockHooks {
  // Sound effect n of the sound list (spring: 10).
  std::function<void(int)> requestSound;
  // Runs the reaction of item definition (palette kind, index) on the hero:
  // 0, 1 (the stage ends) or 2 (the hero dies). Default: the item's
  // command list alone (cHero::RunItemCommands), without pop-up or sound.
  std::function<int(cHero&, int paletteKind, int index)> runItemReaction;
};

class cBlockMap {
 public:
  cBlockMap();

  // ---- layout ----
  // The bit count of a row for a stage `widthBlocks` wide: the number of
  // bits of (width + 19).
  static int WidthShiftFor(int widthBlocks);
  // The cells of the map of a stage of those sides ((height + 20) rows of
  // 1 << WidthShiftFor(width)); -1 for a side below 1.
  static int64_t CellsFor(int widthBlocks, int heightBlocks);
  // Cells are found by int indexes: a map holds no more than these.
  static constexpr int64_t kMaxCells = INT32_MAX;
  // Sizes the map to `rows` rows of 1 << shift cells, of which the first
  // `columns` are inside the map (the rest of a row pads it to a power of
  // two), and empties every cell and the type table. Bad sizes give an
  // empty map (false).
  bool Resize(int shift, int columns, int rows);
  // Sizes the map for the stage (width + 20 columns, height + 20 rows) and
  // places the stage's placed blocks; blocks outside the stage are skipped.
  // False when the stage's size is unusable (the map is then empty).
  bool Build(const cStageData& stage);
  void Release();

  bool IsEmpty() const { return m_Cells.empty(); }
  // Counts the map's rebuilds (Resize, Build, Release): a new stage set-up.
  uint32_t BuildCount() const { return m_nBuildCount; }
  int WidthShift() const { return m_nShift; }
  int Stride() const { return m_nShift >= 0 ? (1 << m_nShift) : 0; }
  int Columns() const { return m_nColumns; }
  int Rows() const { return m_nRows; }
  int WidthDots() const { return m_nColumns * kBlockDots; }
  int HeightDots() const { return m_nRows * kBlockDots; }
  size_t CellCount() const { return m_Cells.size(); }
  size_t TypeCount() const { return m_Types.size(); }

  // ---- placing (map columns and rows, margins included) ----
  // Writes a copy of the block type into the cell (a type without a graphic
  // empties it); false outside the map. The conditions-held byte is cleared.
  bool Place(int column, int row, const cEdBlock& block);
  // The same at stage block (x, y): column x + 10, row y + 10.
  bool PlaceStageBlock(int x, int y, const cEdBlock& block);
  bool Erase(int column, int row);

  // ---- lookups ----
  // The index of (column, row), or -1 outside the map.
  int CellIndex(int column, int row) const {
    if (column < 0 || row < 0 || column >= m_nColumns || row >= m_nRows) return -1;
    return (row << m_nShift) + column;
  }
  // The index of the cell under a dot position, clamped to the map first
  // (-1 only for an empty map).
  int CellIndexAtDots(int x, int y) const;
  // Checked access: a bad index is reported and cell 0 is used.
  cBlockCell& Cell(int index) { return m_Cells.At(index); }
  const cBlockCell& Cell(int index) const { return m_Cells.At(index); }
  // The block type in a cell; the empty type for an empty cell or a bad index.
  const cEdBlock& Block(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= m_Cells.size()) return *m_Types[0];
    return *m_Types[m_Cells[static_cast<size_t>(index)].m_nType];
  }
  bool HasBlock(int index) const {
    return index >= 0 && static_cast<size_t>(index) < m_Cells.size() &&
           m_Cells[static_cast<size_t>(index)].m_nType != 0;
  }

  // ---- block tests ----
  // 0, 1 or 2: not solid when the appearance conditions fail or the pass
  // group equals `blockFlags`, else the block's solidity.
  int8_t IsBlockSolid(int index, int blockFlags) {
    return HasBlock(index) ? SolidityOfBlock(index, blockFlags) : static_cast<int8_t>(kBlockNotSolid);
  }
  bool CheckBlockConditions(int index);

  // ---- probes (return cell indices; -1 only on an empty map) ----
  int FindBlockOnEdge(const cCharacter& object, int x1, int y1, int x2, int y2);
  int FindBlockAtCorners(int column1, int row1, int column2, int row2, int blockFlags);
  int FindFootBlock(const cCharacter& object);
  // Whether one of the four corner cells stops an object with these flags
  // (cells beyond the map are taken at its nearest edge).
  bool HitsBlockAtCorners(int column1, int row1, int column2, int row2, int blockFlags);

  // ---- collision of one object, called by the play frame ----
  int CheckLeftSide(cCharacter& object);
  int CheckRightSide(cCharacter& object);
  int CheckTopSide(cCharacter& object);
  int CheckBottomSide(cCharacter& object);
  // After the object's own step on that axis: both sides, leading side first.
  int MoveX(cCharacter& object);
  int MoveY(cCharacter& object);
  // Both sides in a fixed order (right then left; bottom then top).
  int TouchX(cCharacter& object);
  int TouchY(cCharacter& object);
  // Keeps the object inside the screen while a forced scroll runs on that
  // axis (or the object is free-vertical). `scroll` is the screen's left
  // (top) in dots. Y gives 2 when it pushed a falling object at the bottom.
  int KeepInsideScreenX(cCharacter& object, bool forcedScroll, double scroll);
  int KeepInsideScreenY(cCharacter& object, bool forcedScroll, double scroll);
  // Pulls a walking object down onto a floor just below it.
  void StickToFloor(cCharacter& object);
  // Effects of the block under the hero: 0, 1 or 2.
  int ApplyFootBlock(cHero& hero);
  // Gives the hero the item of the block it stands on: 0, 1 or 2.
  int TakeFootBlockItem(cHero& hero);
  // Whether a stopping block takes the object's place (block range of its
  // stored columns and rows); `overlapsCharacter`, when given, adds the test
  // against live characters.
  bool IsPlaceBlocked(const cCharacter& object,
                      const std::function<bool(const cCharacter&)>& overlapsCharacter = {});

  // ---- context ----
  cBlockRules& Rules() { return m_Rules; }
  const cBlockRules& Rules() const { return m_Rules; }
  cBlockHooks& Hooks() { return m_Hooks; }
  // The first hero: the subject of appearance conditions, made airborne
  // when a player-controlled object falls. May be null (conditions are then
  // not met).
  void SetHero(cHero* hero) { m_pHero = hero; }
  cHero* Hero() const { return m_pHero; }

 private:
  int AddType(const cEdBlock& block);
  int ClampX(int x) const { return x < 0 ? 0 : x >= WidthDots() ? std::max(0, WidthDots() - 1) : x; }
  int ClampY(int y) const { return y < 0 ? 0 : y >= HeightDots() ? std::max(0, HeightDots() - 1) : y; }
  // Clamped to the map; -1 for an empty map.
  int IndexOfDots(int x, int y) const {
    if (m_Cells.empty()) return -1;
    return ((ClampY(y) >> kBlockShift) << m_nShift) + (ClampX(x) >> kBlockShift);
  }
  // IsBlockSolid of a cell that holds a block.
  int8_t SolidityOfBlock(int index, int blockFlags);
  // The stop/deadly rule shared by every side: 0 nothing, 1 stop, 2 kill.
  int SideVerdict(const cCharacter& object, int8_t solidity) const;
  int LandOn(cCharacter& object, int8_t solidity);

  uint32_t m_nBuildCount = 0;
  int m_nShift = -1;
  int m_nColumns = 0;
  int m_nRows = 0;
  cSafeVector<cBlockCell> m_Cells;
  // Type 0 is the empty block. Types are shared by every cell that holds an
  // equal block; the key finds them.
  std::vector<std::unique_ptr<cEdBlock>> m_Types;
  std::map<std::vector<int64_t>, int> m_TypeIndex;
  cBlockRules m_Rules;
  cBlockHooks m_Hooks;
  cHero* m_pHero = nullptr;
};
