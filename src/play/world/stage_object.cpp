#include "play/world/stage_object.h"

void cStageObject::CopyBaseFrom(const cStageObject& other) {
  if (&other != this) cStageObject::operator=(other);
}

void cStageObject::Setup(int32_t id, int32_t kind, int32_t owner, int32_t blockFlags, int32_t value,
                         const cAnimeFrameEntry* const* animeSet, int32_t startAnime,
                         int32_t marginX, int32_t marginY, int32_t baseWidth, int32_t baseHeight,
                         int32_t drawWidth, int32_t drawHeight, int32_t facing, int32_t axisMode,
                         uint16_t instance, const void* definition) {
  m_nId = id;
  m_nKind = kind;
  m_nOwner = owner;
  m_nBlockFlags = blockFlags;
  m_nSetupValue = value;
  m_nLifeCountdown = kUnlimitedLife;
  if (animeSet) {
    m_AnimePlayer.SetAnimeSet(animeSet);
    m_AnimePlayer.SetAnime(startAnime, 1);
  }
  m_nMarginX = m_nBaseMarginX = marginX;
  m_nMarginY = m_nBaseMarginY = marginY;
  m_nDrawWidth = m_nBaseDrawWidth = drawWidth;
  m_nDrawHeight = m_nBaseDrawHeight = drawHeight;
  m_nWidth = m_nBaseWidth = baseWidth;
  m_nHeight = m_nBaseHeight = baseHeight;
  m_dSpeedX = m_dSpeedY = 0;
  m_dAccelX = m_dAccelY = 0;
  m_nFacing = facing;
  m_wInstance = instance;
  m_pDefinition = definition;
  m_bPresent = 0;
  m_bOnScreen = 0;
  m_byAppearLatch = 0;
  SetAxisMode(axisMode);
}

void cStageObject::SetAxisMode(int32_t mode) {
  static constexpr struct {
    int32_t freeVertical;
    uint8_t axisMode2;
  } kModes[] = {{0, 1}, {1, 0}, {1, 1}, {1, 2}};
  if (mode < 0 || mode > 3) return;
  m_bFreeVertical = kModes[mode].freeVertical;
  m_byAxisMode2 = kModes[mode].axisMode2;
}

void cHitRect::UpdateX(double x) {
  left = static_cast<double>(static_cast<int64_t>(TruncToInt(x)) + offsetX);
  right = left + width - 1;
}

void cHitRect::UpdateY(double y) {
  top = static_cast<double>(static_cast<int64_t>(TruncToInt(y)) + offsetY);
  bottom = top + height - 1;
}
