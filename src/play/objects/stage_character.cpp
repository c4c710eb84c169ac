#include "play/objects/stage_character.h"

#include <algorithm>

#include "gfx/surface_table.h"

namespace {
inline constexpr int32_t kHintCycle = 96;
inline constexpr int32_t kHintFirstFrame = 64;
}  // namespace

cStageCharacter::cStageCharacter(const cStageCharacter& other) : cCharacter(other) { CopyOwn(other); }

cStageCharacter& cStageCharacter::operator=(const cStageCharacter& other) {
  if (this != &other) CopyFrom(other);
  return *this;
}

void cStageCharacter::CopyFrom(const cCharacter& other) {
  cCharacter::CopyFrom(other);
  if (auto* same = dynamic_cast<const cStageCharacter*>(&other)) CopyOwn(*same);
}

void cStageCharacter::CopyOwn(const cStageCharacter& other) {
  m_bInView = other.m_bInView;
  m_bActing = other.m_bActing;
  m_Item = other.m_Item;
  m_nHintCounter = other.m_nHintCounter;
  m_bIgnoreX = other.m_bIgnoreX;
  m_bIgnoreY = other.m_bIgnoreY;
  m_bHasActed = other.m_bHasActed;
}

void cStageCharacter::Setup(int32_t id, const cEdCharacter& definition, const cStageItem* item,
                            const int32_t setupWords[4], uint16_t instance, int32_t spare) {
  Init(&definition, setupWords, instance, spare);
  if (m_Definition.Scale() == 0) m_Definition.SetScaleField(1);
  const cEdCharacter& def = m_Definition;
  bool flying = def.FreeVertical() != 0;

  int32_t marginX = 0, marginY = 0, width = 32, height = 32;
  if (!def.WholeCell()) {
    width = StageSizeValue(flying ? kStageFlyCharWidth : kStageCharWidth);
    height = StageSizeValue(flying ? kStageFlyCharHeight : kStageCharHeight);
    marginX = (32 - width) >> 1;
    marginY = StageData.Int(flying ? kStageFlyCharBottom : kStageCharBottom) ? 32 - height : (32 - height) >> 1;
  }
  cStageObject::Setup(id, def.ControlKind(), def.Owner(), def.BlockFlags(), def.ObjectValue(), nullptr, 0, marginX,
                      marginY, width, height, 32, 32, def.InitialFacing(), def.FreeVertical(), instance,
                      &m_Definition);

  m_Hit1 = cHitRect{};
  m_Hit2 = cHitRect{};
  int32_t attackW = StageSizeValue(kStageCharHit1Width);
  int32_t attackH = StageSizeValue(kStageCharHit1Height);
  if (def.WholeCell()) {
    m_Hit2.width = m_Hit2.baseWidth = 32;
    m_Hit2.height = m_Hit2.baseHeight = 32;
  } else {
    switch (def.HitSizeMode()) {
      case 0:
        SetHitRect1(StageData.Int(flying ? kStageFlyCharHitBottom : kStageCharHitBottom),
                    StageSizeValue(flying ? kStageFlyCharHitWidth : kStageCharHitWidth),
                    StageSizeValue(flying ? kStageFlyCharHitHeight : kStageCharHitHeight));
        break;
      case 1:
        SetHitRect1(0, attackW, attackH);
        break;
      case 2:
        SetHitRect1(0, StageSizeValue(kStageCharHit2Width), StageSizeValue(kStageCharHit2Height));
        break;
      case 3:
        SetHitRect1(0, 32, 32);
        break;
      default:
        break;  // no body rectangle
    }
    m_Hit2.offsetX = m_Hit2.baseOffsetX = 16 - (attackW >> 1) - m_nMarginX;
    m_Hit2.offsetY = m_Hit2.baseOffsetY = 16 - (attackH >> 1) - m_nMarginY;
    m_Hit2.width = m_Hit2.baseWidth = attackW;
    m_Hit2.height = m_Hit2.baseHeight = attackH;
  }
  SetScale(ScaleFactor(), 1, 1);
  m_bActing = 0;
  m_nHintCounter = 0;
  if (item) {
    m_Item = *item;
  } else {
    m_Item = cStageItem{};
    m_Item.m_nItemNumber = 0;
    m_Item.m_bHeld = 0;
  }
  static constexpr int32_t kAxes[4][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
  int32_t axes = def.ActivationAxes();
  if (axes >= 0 && axes <= 3) {
    m_bIgnoreX = kAxes[axes][0];
    m_bIgnoreY = kAxes[axes][1];
  } else {
    m_bIgnoreX = m_bIgnoreY = 0;
  }
  m_bHasActed = 0;
  int32_t start = m_bFreeVertical ? 0 : 1;
  if (static_cast<size_t>(start) < m_AnimePlayer.Animes().size()) m_AnimePlayer.SetAnime(start, 1);
  else m_AnimePlayer.m_nAnime = start;
  SetFlows();
}

void cStageCharacter::SetStartPosition(int32_t column, int32_t row) {
  m_dX = (StageViewX().blockOffset + column) * 32.0 + m_nBaseMarginX + 0.5;
  m_dY = m_nBaseMarginY + (row + StageViewY().blockOffset) * 32.0;
  KeepCentreOnScale(ScaleFactor(), 1, 1);
  UpdateX();
  UpdateY();
}

void cStageCharacter::OnScaleChanged(int32_t factor) {
  if (!m_Definition.WholeCell()) {
    for (cHitRect* r : {&m_Hit1, &m_Hit2}) {
      r->offsetX = r->baseOffsetX * factor;
      r->offsetY = r->baseOffsetY * factor;
      r->width = r->baseWidth * factor;
      r->height = r->baseHeight * factor;
    }
  } else {
    for (cHitRect* r : {&m_Hit1, &m_Hit2}) {
      r->offsetX = r->offsetY = 0;
      r->width = m_nWidth;
      r->height = m_nHeight;
    }
  }
  UpdateX();
  UpdateY();
}

void cStageCharacter::OnMovedX() {
  m_Hit1.UpdateX(m_dX);
  m_Hit2.UpdateX(m_dX);
}

void cStageCharacter::OnMovedY() {
  m_Hit1.UpdateY(m_dY);
  m_Hit2.UpdateY(m_dY);
}

int cStageCharacter::CheckInView(std::vector<uint8_t>& flags) {
  if (!IsOnScreenAxes(m_bIgnoreX != 0, m_bIgnoreY != 0)) {
    m_bInView = 0;
    return 0;
  }
  m_bInView = 1;
  int32_t index = m_Definition.GroupFlagIndex();
  if (m_Definition.GroupFlag() && index >= 0 && static_cast<size_t>(index) < flags.size()) flags[index] = 1;
  return 1;
}

int cStageCharacter::UpdateActing(const std::vector<uint8_t>& flags) {
  int32_t index = m_Definition.GroupFlagIndex();
  bool woken = m_Definition.GroupFlag() && index >= 0 && static_cast<size_t>(index) < flags.size() && flags[index];
  bool acts = m_bInView || woken;
  if (!acts && !m_bFreeVertical) acts = m_bJump2 || (m_bHasActed && m_bAirborne);
  if (!acts) return 0;
  m_bHasActed = 1;
  if (m_Definition.KeepActive() == 1) m_bIgnoreX = m_bIgnoreY = 1;
  UpdateScreenRect();
  return 1;
}

void cStageCharacter::DrawItemHint(DDSURFACEDATA* target) {
  if (!m_Item.IsHeld() || !m_bOnScreen || m_Definition.Transparent() || m_Item.m_Definition.Transparent()) return;
  if (++m_nHintCounter >= kHintCycle) m_nHintCounter = 0;
  if (m_nHintCounter < kHintFirstFrame || !target) return;
  int32_t x = m_rcScreen.left + m_nDrawWidth / 2 - m_Item.m_nDrawWidth / 4;
  int32_t y = m_rcScreen.top - m_Item.m_nDrawHeight / 2;
  cGraphicSource::DrawSmall(target, x, y, m_Item.m_Definition.GraphicKind(), m_Item.m_Definition.GraphicNumber(), 0);
}

int DrawCharacter(cStageCharacter& character, DDSURFACEDATA* target, int32_t still) {
  if (character.m_bDying) return character.DrawDefeated(target, still);
  if (character.m_bOnScreen) {
    character.UpdateScreenRect();
    int32_t cell = character.StepAnimeRuns(still != 0);
    character.DrawBody(target, cell, still);
    character.DrawHpGauge(target);
    character.DrawSpGauge(target);
    character.DrawItemHint(target);
  } else {
    // Off the screen or absent it is not drawn; that is not the drawing
    // hiding it, which the word tells.
    character.m_bHiddenThisFrame = 0;
    character.StepHiddenEffect(still);
  }
  return 0;
}
