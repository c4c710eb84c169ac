// Pictures shown on the stage by the picture command: a whole bitmap of the
// Picture list, placed on the screen centre, on a character, on the hero, at
// screen or at stage block coordinates, on the back or the front layer, for
// a time, until the advance key or until the stage ends. Game thread only.
#pragma once

#include <cstdint>

#include "gfx/dd.h"

enum : int32_t {
  kPictureAtCentre = 0,
  kPictureOnCharacter = 1,
  kPictureOnHero = 2,
  kPictureAtScreenBlock = 3,
  kPictureAtStageBlock = 4,
};
enum : int32_t { kPictureUntilKey = 0, kPictureUntilStageEnd = 1, kPictureForTime = 2 };

// What a picture needs of the running stage to place itself.
struct cPictureView {
  double scrollX = 0, scrollY = 0;
  int32_t columnOffset = 0, rowOffset = 0;  // block where the stage area begins
  bool follow = true;                       // pictures on objects follow them (the project switch)
  bool objectFound = false;                 // the followed object still exists
  double objectCentreX = 0, objectCentreY = 0;
};

// percent of size, rounded half away from zero (33 at 150 gives 50).
int32_t ZoomPictureSize(int32_t size, int32_t percent);

class cPicture {
 public:
  void Set(uint16_t number, int32_t mode, int32_t x, int32_t y, int32_t offsetX, int32_t offsetY, int32_t width,
           int32_t height, int32_t fixPosition, int32_t layer, int32_t zoom, int32_t display, int32_t remaining,
           int32_t keepCounting, int32_t objectId, int32_t idFlag, int32_t pictureId);
  // Counts the display time and works out the screen position. false when
  // the picture is finished (and is not to be drawn).
  bool Place(int32_t still, const cPictureView& view, int32_t* x, int32_t* y);
  // Place, then draw `surface` (nothing when null). 1 when finished.
  // Notes where it stood and whether it was drawn (m_nDrawnX, m_nDrawnY,
  // m_bShown).
  int Frame(DDSURFACEDATA* dst, DDSURFACEDATA* surface, int32_t still, const cPictureView& view);
  // Top-left on the stage for an object-centred picture; the last centre
  // seen is used once the object is gone (the stage origin before any).
  void DrawPosition(const cPictureView& view, int32_t* x, int32_t* y);
  // The stage position an object-centred picture keeps while it does not
  // follow its object, taken now from the object (or its last centre).
  void TakeStagePosition(const cPictureView& view);

  uint16_t m_nNumber = 0;
  int32_t m_nMode = 0;
  int32_t m_nX = 0, m_nY = 0;  // position or block column and row
  int32_t m_nOffsetX = 0, m_nOffsetY = 0;
  int32_t m_nWidth = 0, m_nHeight = 0;  // drawn size
  int32_t m_nSourceWidth = 0, m_nSourceHeight = 0;
  int32_t m_bZoomed = 0;
  int32_t m_nLayer = 0;  // 0 behind the objects, else in front
  int32_t m_nDisplay = 0;
  int32_t m_nObjectId = 0;
  int32_t m_nRemaining = 0;
  int32_t m_bKeepCounting = 0;
  int32_t m_bFixPosition = 0;
  int32_t m_bTaken = 0;
  int32_t m_nTakenX = 0, m_nTakenY = 0;
  int32_t m_bIdFlag = 0, m_nPictureId = 0;
  double m_dCentreX = 0, m_dCentreY = 0;  // last centre of the followed object
  int32_t m_nStageX = 0, m_nStageY = 0;   // stage position taken when not following
  int32_t m_bStageTaken = 0;              // m_nStageX/Y hold it (else the first drawing takes it)
  // The last frame's screen position and whether it drew the picture (the
  // trace and tests read them).
  int32_t m_nDrawnX = 0, m_nDrawnY = 0;
  int32_t m_bShown = 0;
};

// A shown picture with the surface of its bitmap (released with it).
struct cShownPicture {
  cShownPicture() { DDInitSurfaceData(&surface); }
  ~cShownPicture() { DDReleaseSurface(&surface); }
  cShownPicture(const cShownPicture&) = delete;
  cShownPicture& operator=(const cShownPicture&) = delete;

  cPicture picture;
  DDSURFACEDATA surface;
  bool loaded = false;  // the bitmap loaded; otherwise nothing is drawn
};
