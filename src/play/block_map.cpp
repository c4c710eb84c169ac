// The block map: layout, placing, lookups, block tests and probes.
#include "play/block_map.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "base/logs.h"
#include "data/stage_data.h"
#include "play/character.h"
#include "play/flow_hooks.h"
#include "play/hero.h"
#include "play/stage_object.h"

namespace {

// The largest map we build: 2^25 cells (128 MB of cells) is far beyond
// what the editor's stages reach; a larger request is a broken stage.
constexpr int64_t kMaxCells = int64_t{1} << 25;

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

bool cBlockMap::Resize(int shift, int columns, int rows) {
  Release();
  if (shift < 0 || shift > 24 || columns < 1 || rows < 1 || columns > (1 << shift)) return false;
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
  if (width < 1 || height < 1 || width > (1 << 20) || height > (1 << 20) ||
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

void cBlockMap::Clear() {
  for (cBlockCell& cell : m_Cells) cell = cBlockCell{};
  m_Types.resize(1);
  m_TypeIndex.clear();
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



bool cBlockMap::CheckBlockConditions(int index) {
  const cEdBlock& block = Block(index);
  if (block.m_vConds.empty()) return true;
  cBlockCell& cell = Cell(index);
  if (block.m_nCondOption != 0 && cell.m_nConditionsHeld != 0) return true;
  bool holds;
  if (m_Hooks.checkConditions)
    holds = m_Hooks.checkConditions(block);
  else
    holds = FlowHooks().CheckConditionList(block.m_vConds.Get(), block.m_nCondMode, m_pHero);
  if (holds) cell.m_nConditionsHeld = 1;
  return holds;
}

int8_t cBlockMap::SolidityOfBlock(int index, int blockFlags) {
  const cEdBlock& block = Block(index);
  if (!block.m_vConds.empty() && !CheckBlockConditions(index)) return kBlockNotSolid;
  // The pass group "none" is stored as -1; it names no group, so no object
  // passes through a block for having "none" in its own flags.
  if (block.PassGroup() >= 0 && block.PassGroup() == blockFlags) return kBlockNotSolid;
  const uint8_t solidity = block.Solidity();
  return solidity <= kBlockDeadly ? static_cast<int8_t>(solidity) : static_cast<int8_t>(kBlockSolid);
}

namespace {
// Samples along an edge: the scale byte plus one (a bad negative scale
// samples once).
int EdgeSamples(int scale) { return std::clamp(scale, 0, 127) + 1; }
}  // namespace

int cBlockMap::FindBlockOnEdge(const cCharacter& object, int x1, int y1, int x2, int y2) {
  if (m_Cells.empty()) return -1;
  x1 = ClampX(x1);
  x2 = ClampX(x2);
  y1 = ClampY(y1);
  y2 = ClampY(y2);
  const int scale = object.ScaleFactor();
  const int n = EdgeSamples(scale);
  if (x1 == x2) {
    int best = -1;
    int8_t bestValue = -1;
    int y = y1;
    for (int i = 0; i < n; ++i) {
      const int index = IndexOfDots(x1, y);
      const int8_t value = IsBlockSolid(index, object.m_nBlockFlags);
      if (value > bestValue) {
        best = index;
        bestValue = value;
      }
      y = ClampY(y + object.m_nBaseHeight - 1);
    }
    return best;
  }
  if (y1 == y2) {
    const int middle = (x1 + x2) >> 1;
    int best = IndexOfDots(x1, y1);
    int8_t bestValue = 0;
    int bestDistance = INT_MAX;
    int x = x1;
    for (int i = 0; i < n; ++i) {
      const int index = IndexOfDots(x, y1);
      const int8_t value = IsBlockSolid(index, object.m_nBlockFlags);
      const int distance = std::abs(x - middle);
      if (value > bestValue || (value == bestValue && distance < bestDistance)) {
        best = index;
        bestValue = value;
        bestDistance = distance;
      }
      x = ClampX(x + object.m_nBaseWidth - 1);
    }
    return best;
  }
  return 0;
}

int cBlockMap::FindBlockAtCorners(int column1, int row1, int column2, int row2, int blockFlags) {
  if (m_Cells.empty()) return -1;
  const int c1 = std::clamp(column1, 0, m_nColumns - 1), c2 = std::clamp(column2, 0, m_nColumns - 1);
  const int r1 = std::clamp(row1, 0, m_nRows - 1), r2 = std::clamp(row2, 0, m_nRows - 1);
  const int corners[4] = {(r1 << m_nShift) + c1, (r1 << m_nShift) + c2, (r2 << m_nShift) + c1,
                          (r2 << m_nShift) + c2};
  int best = corners[0];
  int8_t bestValue = -1;
  for (int index : corners) {
    const int8_t value = IsBlockSolid(index, blockFlags);
    if (value > bestValue) {
      best = index;
      bestValue = value;
    }
  }
  return best;
}

bool cBlockMap::HitsBlockAtCorners(int column1, int row1, int column2, int row2, int blockFlags) {
  if (m_Cells.empty()) return false;
  const int c1 = std::clamp(column1, 0, m_nColumns - 1), c2 = std::clamp(column2, 0, m_nColumns - 1);
  const int r1 = std::clamp(row1, 0, m_nRows - 1), r2 = std::clamp(row2, 0, m_nRows - 1);
  const int corners[4] = {(r1 << m_nShift) + c1, (r1 << m_nShift) + c2, (r2 << m_nShift) + c1,
                          (r2 << m_nShift) + c2};
  for (int index : corners)
    if (IsBlockSolid(index, blockFlags) != kBlockNotSolid) return true;
  return false;
}

int cBlockMap::FindFootBlock(const cCharacter& object) {
  if (m_Cells.empty()) return -1;
  const int scale = std::clamp(object.ScaleFactor(), 0, 127);
  // Samples spread evenly from the left edge to the right edge: one more
  // than the scale for an even scale, two more for an odd one, so that a
  // sample always falls on the middle of the body.
  const int count = (scale % 2 == 0) ? scale + 1 : scale + 2;
  const int left = TruncToInt(object.m_dX);
  const int right = TruncToInt(object.m_dRight);
  const int row = ClampY(TruncToInt(object.m_dBottom));
  // A body of one sample (scale 0) cannot be spread: the one sample is at
  // the left edge.
  const int spacing = count > 1 ? object.m_nWidth / (count - 1) : 0;
  const int64_t middle = (static_cast<int64_t>(left) + right) >> 1;
  int best = IndexOfDots(left, row);
  int8_t bestValue = -1;
  int64_t bestDistance = INT64_MAX;
  int64_t x = left;
  for (int i = 0; i < count; ++i) {
    // The last sample sits on the right edge itself: the spacing is the
    // width divided down, so the steps alone fall short of it or past it.
    const int sampleX = ClampX(static_cast<int>(i == count - 1 && count > 1 ? right : std::min<int64_t>(x, right)));
    const int index = IndexOfDots(sampleX, row);
    const int8_t value = IsBlockSolid(index, object.m_nBlockFlags);
    const int64_t distance = std::abs(sampleX - middle);
    if (value > bestValue || (value == bestValue && distance < bestDistance)) {
      best = index;
      bestValue = value;
      bestDistance = distance;
    }
    x += spacing;
  }
  return best;
}
