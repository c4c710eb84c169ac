#include "play/objects/picture.h"

#include <algorithm>
#include <cmath>

#include "gfx/dd.h"

namespace {
constexpr uint32_t kPictureColourKey = 1;
constexpr int32_t kMaxPictureSize = 16384;
}  // namespace

int32_t ZoomPictureSize(int32_t size, int32_t percent) {
  const double v = std::round(static_cast<double>(size) * percent / 100.0);
  return static_cast<int32_t>(std::clamp(v, 0.0, static_cast<double>(kMaxPictureSize)));
}

void cPicture::Set(uint16_t number, int32_t mode, int32_t x, int32_t y, int32_t offsetX, int32_t offsetY,
                   int32_t width, int32_t height, int32_t fixPosition, int32_t layer, int32_t zoom, int32_t display,
                   int32_t remaining, int32_t keepCounting, int32_t objectId, int32_t idFlag, int32_t pictureId) {
  m_nNumber = number;
  m_nMode = std::clamp(mode, 0, 4);
  m_nX = x;
  m_nY = y;
  m_nOffsetX = offsetX;
  m_nOffsetY = offsetY;
  m_nSourceWidth = std::clamp(width, 0, kMaxPictureSize);
  m_nSourceHeight = std::clamp(height, 0, kMaxPictureSize);
  m_nWidth = ZoomPictureSize(m_nSourceWidth, zoom);
  m_nHeight = ZoomPictureSize(m_nSourceHeight, zoom);
  m_bZoomed = zoom != 100 ? 1 : 0;
  m_bFixPosition = fixPosition;
  m_nLayer = layer;
  m_nDisplay = display;
  m_nRemaining = remaining;
  m_bKeepCounting = keepCounting;
  m_nObjectId = objectId;
  m_bIdFlag = idFlag;
  m_nPictureId = pictureId;
  m_bTaken = 0;
  m_bStageTaken = 0;
}

void cPicture::TakeStagePosition(const cPictureView& view) {
  DrawPosition(view, &m_nStageX, &m_nStageY);
  m_bStageTaken = 1;
}

void cPicture::DrawPosition(const cPictureView& view, int32_t* x, int32_t* y) {
  if (view.objectFound) {
    m_dCentreX = view.objectCentreX;
    m_dCentreY = view.objectCentreY;
  }
  *x = static_cast<int32_t>(std::trunc(m_dCentreX - m_nWidth / 2)) + m_nOffsetX;
  *y = static_cast<int32_t>(std::trunc(m_dCentreY - m_nHeight / 2)) + m_nOffsetY;
}

bool cPicture::Place(int32_t still, const cPictureView& view, int32_t* outX, int32_t* outY) {
  if (m_nDisplay == kPictureForTime) {
    if (m_bKeepCounting || !still) --m_nRemaining;
    if (m_nRemaining < 0) return false;
  }
  const int32_t sx = static_cast<int32_t>(std::trunc(view.scrollX));
  const int32_t sy = static_cast<int32_t>(std::trunc(view.scrollY));
  int32_t x = 0, y = 0;
  switch (m_nMode) {
    case kPictureAtCentre:
      x = m_nOffsetX - m_nWidth / 2 + 320;
      y = m_nOffsetY - m_nHeight / 2 + 240;
      break;
    case kPictureOnCharacter:
    case kPictureOnHero:
      if (view.follow) {
        DrawPosition(view, &x, &y);
        x -= sx;
        y -= sy;
      } else {
        if (!m_bStageTaken) TakeStagePosition(view);
        x = m_nStageX - sx;
        y = m_nStageY - sy;
      }
      break;
    case kPictureAtScreenBlock:
      x = m_nX * 32 + m_nOffsetX;
      y = m_nY * 32 + m_nOffsetY;
      break;
    default:
      x = static_cast<int32_t>(std::trunc((view.columnOffset + m_nX) * 32.0 + m_nOffsetX - view.scrollX));
      y = static_cast<int32_t>(std::trunc((view.rowOffset + m_nY) * 32.0 + m_nOffsetY - view.scrollY));
      break;
  }
  // Screen-placed pictures stay on their spot of the stage unless fixed to
  // the screen; the others stay on the screen where they first appeared
  // when fixed.
  const bool screenPlaced = m_nMode == kPictureAtCentre || m_nMode == kPictureAtScreenBlock;
  if (screenPlaced && !m_bFixPosition) {
    if (!m_bTaken) {
      m_nTakenX = static_cast<int32_t>(std::trunc(view.scrollX + 0.5 + x));
      m_nTakenY = static_cast<int32_t>(std::trunc(view.scrollY + 0.5 + y));
      m_bTaken = 1;
    }
    x = static_cast<int32_t>(std::trunc(m_nTakenX - (view.scrollX - 0.5)));
    y = static_cast<int32_t>(std::trunc(m_nTakenY - (view.scrollY - 0.5)));
  } else if (!screenPlaced && m_bFixPosition) {
    if (!m_bTaken) {
      m_nTakenX = x;
      m_nTakenY = y;
      m_bTaken = 1;
    }
    x = m_nTakenX;
    y = m_nTakenY;
  }
  *outX = x;
  *outY = y;
  return true;
}

int cPicture::Frame(DDSURFACEDATA* dst, DDSURFACEDATA* surface, int32_t still, const cPictureView& view) {
  int32_t x = 0, y = 0;
  m_bShown = 0;
  if (!Place(still, view, &x, &y)) return 1;
  m_nDrawnX = x;
  m_nDrawnY = y;
  if (!dst || !surface || m_nWidth <= 0 || m_nHeight <= 0) return 0;
  m_bShown = 1;
  if (m_bZoomed)
    DDBltStretch(dst, x, y, m_nWidth, m_nHeight, surface, 0, 0, m_nSourceWidth, m_nSourceHeight, kPictureColourKey);
  else
    DDBlt(dst, x, y, m_nWidth, m_nHeight, surface, 0, 0, kPictureColourKey);
  return 0;
}
