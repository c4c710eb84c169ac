#include "front/world_map_model.h"

#include <algorithm>
#include <cstdlib>

#include "data/system_data.h"
#include "data/user_records.h"
#include "scene/play_record.h"

cWorldMapModel WorldMapModel;

void cWorldMapModel::Validate() {
  if (nWidth <= 0 || nHeight <= 0 || nWidth > kMaxSide || nHeight > kMaxSide ||
      int64_t{nWidth} * nHeight > kMaxCells) {
    nWidth = nHeight = 0;
  }
  cells.resize(static_cast<size_t>(nWidth) * static_cast<size_t>(nHeight), 0);
  for (uint32_t& cell : cells)
    if (cell >= chips.size()) cell = 0;
  nStartX = nWidth > 0 ? std::clamp(nStartX, 0, nWidth - 1) : 0;
  nStartY = nHeight > 0 ? std::clamp(nStartY, 0, nHeight - 1) : 0;
  std::erase_if(nodes, [this](const cMapNode& node) { return !Inside(node.x, node.y); });
}

uint32_t cWorldMapModel::ChipAt(int32_t x, int32_t y) const {
  if (!Inside(x, y)) return 0;
  const size_t index = static_cast<size_t>(y) * static_cast<size_t>(nWidth) + static_cast<size_t>(x);
  return index < cells.size() ? cells[index] : 0;
}

bool cWorldMapModel::Passable(int32_t x, int32_t y) const {
  if (!Inside(x, y)) return false;
  const uint32_t chip = ChipAt(x, y);
  return chip < chips.size() && chips[chip].bImpassable == 0;
}

const cMapNode* cWorldMapModel::FindNodeAt(int32_t x, int32_t y) const {
  for (const cMapNode& node : nodes)
    if (node.x == x && node.y == y) return &node;
  return nullptr;
}

bool CompareMapValue(int32_t left, int32_t right, int32_t op) {
  const int64_t l = left, r = right;
  switch (op) {
    case 0: return l == r;
    case 1: return l != r;
    case 2: return l >= r;
    case 3: return l <= r;
    case 4: return l > r;
    case 5: return l < r;
    case 6: return r == 0 || std::llabs(l) % std::llabs(r) == 0;
    case 7: return r != 0 && std::llabs(l) % std::llabs(r) != 0;
    default: return false;
  }
}

const cMapWorld* SelectMapWorld(const cMapNode* node, const cSaveData& record) {
  if (!node) return nullptr;
  for (const cMapWorld& world : node->worlds) {
    if (world.nFlag > 0 && record.GetProgressFlag(world.nFlag) == 0) continue;
    if (world.nVariable != 0 &&
        !CompareMapValue(record.GetCommonVariable(world.nVariable), world.nValue, world.nOperator))
      continue;
    if (record.m_nTotalPoints < world.nRequiredPoints) continue;
    return &world;
  }
  return nullptr;
}

bool IsWorldCleared(const cMapWorld& world, const cSaveData& record) { return record.IsWorldCleared(world.nNumber); }

bool IsWorldOpen(const cMapWorld& world, const cSaveData& record) {
  return world.bAlwaysOpen != 0 || IsWorldCleared(world, record);
}

void LoadWorldMapModel() {
  cWorldMapModel model;
  // The map record's sizes, start and background; the grid, chip types and
  // nodes come with the map file's lists.
  model.nWidth = WorldMapData.m_nGridWidth > 0 ? WorldMapData.m_nGridWidth : WorldMapData.m_nNum[0];
  model.nHeight = WorldMapData.m_nGridHeight > 0 ? WorldMapData.m_nGridHeight : WorldMapData.m_nNum[1];
  model.nStartX = WorldMapData.m_nNum[4];
  model.nStartY = WorldMapData.m_nNum[5];
  model.nBackColour = WorldMapData.m_nNum[6];
  model.bBackPicture = WorldMapData.m_nNum[7];
  model.strBackPicture = WorldMapData.m_strText;
  model.Validate();
  WorldMapModel = std::move(model);
  ApplyWorldMapBounds();
}

void ApplyWorldMapBounds() {
  cWorldMapBounds& bounds = cSaveData::s_MapBounds;
  bounds.nWidth = WorldMapModel.nWidth;
  bounds.nHeight = WorldMapModel.nHeight;
  bounds.nStartX = WorldMapModel.nStartX;
  bounds.nStartY = WorldMapModel.nStartY;
  bounds.nGroupCount = std::max(SystemData.Num(kSysWorldCount), 0);
}
