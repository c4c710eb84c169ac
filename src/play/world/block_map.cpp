// The block map: layout, placing and lookups. Its block tests and probes,
// which read the characters they test, are with the rules
// (rules/block_probes.cpp); its collision with objects too
// (rules/block_collision.cpp).
#include "play/world/block_map.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "base/logs.h"
#include "data/stage_data.h"

namespace {

// Number of bits needed to write v (0 for 0).
int BitCount(uint32_t v) {
  int n = 0;
  while (v != 0) {
    ++n;
    v >>= 1;
  }
  return n;
}

}  // namespace

void cBlockRules::FromStage(const cStageData& stage) {
  subSteps = std::max<int32_t>(1, stage.Int(kStageSubSteps));
  frameScale = stage.Dbl(kStageFrameScale);
  // A stage whose speed level was never applied has no frame scale; it
  // runs as one sub-step a frame rather than dividing by zero.
  if (!(frameScale > 0.0)) frameScale = 1.0;
}

cBlockMap::cBlockMap() {
  m_Types.push_back(std::make_unique<cEdBlock>());
  m_Types[0]->m_nOption7 = 0;  // the empty block stops nothing
}

int cBlockMap::WidthShiftFor(int widthBlocks) {
  if (widthBlocks < 1) return -1;
  return BitCount(static_cast<uint32_t>(widthBlocks) + 19u);
}

int64_t cBlockMap::CellsFor(int widthBlocks, int heightBlocks) {
  if (widthBlocks < 1 || heightBlocks < 1) return -1;
  return (int64_t{heightBlocks} + 2 * kStageMarginBlocks) << WidthShiftFor(widthBlocks);
}

bool cBlockMap::Resize(int shift, int columns, int rows) {
  Release();
  if (shift < 0 || shift > 24 || columns < 1 || rows < 1 || columns > (1 << shift)) return false;
  // The stage set-up has held the map to its memory (stage_limits.h); the
  // indexes hold it here.
  const int64_t cells = static_cast<int64_t>(rows) << shift;
  if (cells > kMaxCells) return false;
  m_nShift = shift;
  m_nColumns = columns;
  m_nRows = rows;
  m_Cells.assign(static_cast<size_t>(cells), cBlockCell{});
  return true;
}

bool cBlockMap::Build(const cStageData& stage) {
  const int width = stage.Int(kStageWidth);
  const int height = stage.Int(kStageHeight);
  if (width < 1 || height < 1 || width > kStageMaxSide || height > kStageMaxSide ||
      !Resize(WidthShiftFor(width), width + 2 * kStageMarginBlocks, height + 2 * kStageMarginBlocks)) {
    WriteECLog("block map: unusable stage size %d x %d", width, height);
    Release();
    return false;
  }
  for (const cEdBlock& block : stage.m_PlacedBlocks) {
    // The tail words are signed map coordinates of the editor's grid. A
    // block outside the stage would land in the margin or, past the row's
    // end, in the next row: it is left out.
    const int x = static_cast<int16_t>(block.m_nWord1);
    const int y = static_cast<int16_t>(block.m_nWord2);
    if (x < 0 || y < 0 || x >= width || y >= height) {
      WriteECLog("block map: block at (%d, %d) outside the stage skipped", x, y);
      continue;
    }
    PlaceStageBlock(x, y, block);
  }
  return true;
}

void cBlockMap::Release() {
  ++m_nBuildCount;
  m_Cells.clear();
  m_Cells.shrink_to_fit();
  m_nShift = -1;
  m_nColumns = 0;
  m_nRows = 0;
  m_Types.resize(1);
  m_TypeIndex.clear();
}

int cBlockMap::AddType(const cEdBlock& block) {
  if (block.m_nGraphic == 0) return 0;  // no graphic: an empty cell
  // Two cells share a type when every field that play reads is equal; the
  // conditions compare by list (types copied from one palette entry share
  // their condition list).
  const std::vector<cCond>& conds = block.m_vConds.Get();
  std::vector<int64_t> key = {
      block.m_nGraphic,     block.m_nGraphicSource, block.m_nGraphicWord, block.m_nOption1,
      block.m_nOption2,     block.m_nOption6,       block.m_nOption6Value, block.m_nOption7,
      block.m_nOption3,     block.m_nOption4,       block.m_nOption4Value, block.m_nItemKind,
      block.m_nItemIndex,   block.m_nOption5,       block.m_nCondMode,     block.m_nCondOption,
      conds.empty() ? 0 : static_cast<int64_t>(reinterpret_cast<intptr_t>(block.m_vConds.Holder().get()))};
  auto found = m_TypeIndex.find(key);
  if (found != m_TypeIndex.end()) return found->second;
  if (m_Types.size() > 0xffff) {
    WriteECLog("block map: more than 65535 block types; block left out");
    return 0;
  }
  auto type = std::make_unique<cEdBlock>();
  *type = block;
  m_Types.push_back(std::move(type));
  const int index = static_cast<int>(m_Types.size() - 1);
  m_TypeIndex.emplace(std::move(key), index);
  return index;
}

bool cBlockMap::Place(int column, int row, const cEdBlock& block) {
  const int index = CellIndex(column, row);
  if (index < 0) return false;
  cBlockCell& cell = m_Cells[static_cast<size_t>(index)];
  cell = cBlockCell{};
  cell.m_nType = static_cast<uint16_t>(AddType(block));
  return true;
}

bool cBlockMap::PlaceStageBlock(int x, int y, const cEdBlock& block) {
  return Place(x + kStageMarginBlocks, y + kStageMarginBlocks, block);
}

bool cBlockMap::Erase(int column, int row) {
  const int index = CellIndex(column, row);
  if (index < 0) return false;
  m_Cells[static_cast<size_t>(index)] = cBlockCell{};
  return true;
}

int cBlockMap::CellIndexAtDots(int x, int y) const { return IndexOfDots(x, y); }
