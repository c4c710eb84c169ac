// Swords: a cShot that a sword command holds beside its owner for the
// frames of a sword type. Each frame of the type gives the sword's size,
// where it stands against the owner (beside it on its facing side, on the
// other side, above or below), offsets that may mirror with the facing, and
// how long the frame lasts. The sword follows its owner every sub-step and
// ends with the type's last frame or when its owner is gone. Game thread
// only.
#pragma once

#include <cstdint>

#include "play/objects/shot.h"

// One frame of a sword type, read from an entry of the database's sword
// types (values 1..10 of the entry).
struct cSwordFrame {
  int32_t width = 0, height = 0;    // dots at scale 1
  int32_t offsetX = 0, offsetY = 0; // dots at scale 1
  int32_t mirrorX = 0, mirrorY = 0; // the offset turns with the owner's facing
  int32_t placement = 0;            // 0 front, 1 back, 2 above, 3 below
  int32_t graphic = 0;              // cell on the sword sheet
  int32_t duration = 1;             // tenths of a second
};

// Frame `frame` of sword type `type`; false when the type or the frame does
// not exist.
bool GetSwordFrame(int32_t type, int32_t frame, cSwordFrame& out);
// Number of frames of sword type `type` (0 when it does not exist).
int32_t SwordFrameCount(int32_t type);
