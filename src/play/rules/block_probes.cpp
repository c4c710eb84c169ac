// The block map's block tests and probes: whether a cell stops an object
// (its block's appearance conditions, checked against the hero, and pass
// group), and the cells found along an object's edges, at corners and
// under its feet.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "play/objects/character.h"
#include "play/objects/hero.h"
#include "play/world/block_map.h"
#include "play/world/flow_hooks.h"
#include "play/world/stage_object.h"

bool cBlockMap::CheckBlockConditions(int index) {
  const cEdBlock& block = Block(index);
  if (block.m_vConds.empty()) return true;
  cBlockCell& cell = Cell(index);
  if (block.m_nCondOption != 0 && cell.m_nConditionsHeld != 0) return true;
  // The appearance conditions, with the hero as their subject.
  const bool holds = FlowHooks().CheckConditionList(block.m_vConds.Get(), block.m_nCondMode, m_pHero);
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
