#include "play/objects/stage_item.h"

#include <algorithm>

#include "flow/flow_state.h"
#include "gfx/surface_table.h"
#include "play/objects/character.h"

namespace {
inline constexpr uint32_t kColourKey = 1;
inline constexpr int32_t kTilesPerColumn = 15;
}  // namespace

cStageItem::cStageItem(const cStageItem& other) : cStageObject(other) { CopyItemFrom(other); }

cStageItem& cStageItem::operator=(const cStageItem& other) {
  if (this != &other) {
    CopyBaseFrom(other);
    CopyItemFrom(other);
  }
  return *this;
}

void cStageItem::CopyItemFrom(const cStageItem& other) {
  m_Definition = other.m_Definition;
  if (other.m_pDefinition == &other.m_Definition) m_pDefinition = &m_Definition;
  m_bKeepScale = other.m_bKeepScale;
  m_bScaleKept = other.m_bScaleKept;
  m_nItemNumber = other.m_nItemNumber;
  m_bHeld = other.m_bHeld;
}

void cStageItem::Setup(int32_t id, const cEdItem& definition, int32_t keepScale) {
  m_Definition = definition;
  if (m_Definition.Scale() == 0) m_Definition.SetScaleField(1);
  int32_t width = StageSizeValue(kStageItemHitWidth);
  int32_t height = StageSizeValue(kStageItemHitHeight);
  // The item never falls: axis mode 1 (free vertical).
  cStageObject::Setup(id, 0, 0, 0, m_Definition.GraphicNumber(), kItemAnimeSet, 0, 16 - width / 2,
                      16 - height / 2, width, height, 32, 32, 0, 1, 0, &m_Definition);
  m_bFollowsScroll = 0;
  m_bKeepScale = keepScale;
  m_bScaleKept = 0;
  if (!keepScale) SetScale(ScaleFactor(), 1, 1);
  else m_bScaleKept = 1;
  m_nItemNumber = id != 0 ? id : 1;
  m_bHeld = 1;
  // The item's commands run as a flow's do: loops unrolled first. A list
  // without loops stays shared with the definition it came from.
  const std::vector<cEdCmd>& commands = m_Definition.m_vCmds.Get();
  const auto isLoop = [](const cEdCmd& c) { return c.m_nFamily == 1 && c.m_nKind == kItemKindLoop; };
  if (std::any_of(commands.begin(), commands.end(), isLoop))
    PrepareFlowCommands(m_Definition.m_vCmds.Mutable());
}

void cStageItem::SetBlockPosition(int32_t bx, int32_t by, int32_t flag) {
  m_dX = (bx + StageViewX().blockOffset) * 32.0 + m_nBaseMarginX + 0.5;
  m_dY = (by + StageViewY().blockOffset) * 32.0 + m_nBaseMarginY;
  KeepCentreOnScale(ScaleFactor(), 1, flag);
  ClampX(2);
  ClampY(2);
}

void cStageItem::AdjustForScale(int32_t newScale, int32_t oldScale, int32_t flag) {
  (void)flag;
  if (newScale == oldScale) return;
  m_dY -= double(m_nBaseHeight + m_nBaseMarginY) * (newScale - oldScale);
  ClampY(2);
}

void cStageItem::Draw(DDSURFACEDATA* target, int32_t hold) {
  if (m_Definition.Hidden()) return;
  int32_t cell = hold ? m_AnimePlayer.GetCell() : m_AnimePlayer.Step();
  if (!target || cell < 0) return;
  int32_t scale = ScaleFactor();
  // The item's picture: graphic `number` of its graphic source at the
  // sub-number, the animation cell further down (two cells an item on the
  // item sheet).
  cGraphicSource source;
  source.Lookup(2, m_Definition.GraphicKind(), m_Definition.GraphicNumber(), m_Definition.GraphicSubNumber(), this,
                cell);
  if (DDSURFACEDATA* src = source.Surface()) {
    // A special bitmap drawn for this scale, or a plain sheet at scale 1, is
    // copied as it is; anything else is stretched from its cell.
    const bool scalable = source.sheets == kSheetsSpecialBitmaps;
    if (scalable ? source.cellScale == scale : scale <= 1)
      DDBlt(target, m_rcScreen.left, m_rcScreen.top, m_nDrawWidth, m_nDrawHeight, src, source.x, source.y, kColourKey);
    else
      DDBltStretch(target, m_rcScreen.left, m_rcScreen.top, m_nDrawWidth, m_nDrawHeight, src, source.x, source.y,
                   source.CellSize(), source.CellSize(), kColourKey);
  }
  if (m_Definition.OverlayOption() == 1) {
    // The block sheet holds 15 tiles a column; a tile outside it draws
    // nothing.
    int32_t t = m_Definition.OverlayTile();
    DDSURFACEDATA* tiles = &GameSurfaces[SURF_BLOCK];
    int32_t sx = (t / kTilesPerColumn) * 32;
    int32_t sy = (t % kTilesPerColumn) * 32;
    if (t < 0 || sx + 32 > tiles->nWidth || sy + 32 > tiles->nHeight) return;
    if (scale < 2)
      DDBlt(target, m_rcScreen.left, m_rcScreen.top, 32, 32, tiles, sx, sy, kColourKey);
    else
      DDBltStretch(target, m_rcScreen.left, m_rcScreen.top, m_nDrawWidth, m_nDrawHeight, tiles, sx, sy, 32, 32,
                   kColourKey);
  }
}
