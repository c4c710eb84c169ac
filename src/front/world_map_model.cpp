#include "front/world_map_model.h"

#include <algorithm>
#include <cstdlib>

#include "data/system_data.h"
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

cWorldMapModel MakeWorldMapModel(const cWorldMap& map) {
  cWorldMapModel model;
  model.nWidth = map.Width();
  model.nHeight = map.Height();
  model.nStartX = map.m_nNum[4];
  model.nStartY = map.m_nNum[5];
  model.nBackColour = map.m_nNum[6];
  model.bBackPicture = map.m_nNum[7];
  model.strBackPicture = map.m_strText;
  for (const cWorldMapChipType& type : map.m_ChipTypes) model.chips.push_back({type.m_bImpassable, type.m_nPicture});
  if (model.nWidth > 0 && model.nHeight > 0 && int64_t{model.nWidth} * model.nHeight <= cWorldMapModel::kMaxCells) {
    model.cells.resize(static_cast<size_t>(model.nWidth) * static_cast<size_t>(model.nHeight));
    for (int32_t y = 0; y < model.nHeight; ++y)
      for (int32_t x = 0; x < model.nWidth; ++x)
        model.cells[static_cast<size_t>(y) * static_cast<size_t>(model.nWidth) + static_cast<size_t>(x)] =
            map.CellAt(x, y);
  }
  for (const cWorldGroup& group : map.m_Groups) {
    cMapNode node;
    node.x = group.m_nX;
    node.y = group.m_nY;
    for (const cWorld& w : group.m_Worlds) {
      cMapWorld world;
      world.nKind = w.Kind();
      world.nNumber = w.Number();
      world.nIconRow = w.m_nWord[1];
      world.bAlwaysOpen = w.m_nWord[3];
      world.bReenterable = w.m_nWord[4];
      world.nFlag = w.FlagNumber();
      world.nVariable = w.VariableNumber();
      world.nValue = w.CompareValue();
      world.nOperator = w.Comparison();
      world.nRequiredPoints = w.m_nWord[10];
      for (int i = 0; i < 3; ++i) world.nStart[i] = w.m_nWord[11 + i];
      world.strName = w.m_strName;
      world.strStageFile = w.m_strStageFile;
      node.worlds.push_back(std::move(world));
    }
    model.nodes.push_back(std::move(node));
  }
  model.Validate();
  return model;
}

void LoadWorldMapModel() {
  WorldMapModel = MakeWorldMapModel(WorldMapData);
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
