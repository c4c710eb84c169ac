// The project's compatibility switches as stage play reads them: stage
// set-up copies the system data's switches, and the stage's own shot hit
// sizes, into the switch records of movement, moves, flows and shots.
#pragma once

#include <cstdint>

class cSystemData;
class cStageData;

// Copies every switch whose field is known; the other members of the switch
// records keep what they hold (a new project's values, or a test's).
void ApplyProjectSwitches(const cSystemData& system, const cStageData& stage);

// Project switches of the pictures. Their places in the system data are not
// pinned down yet; these are a new project's values.
struct cPictureSwitches {
  // A picture shown on a character or on the hero follows it while it moves;
  // off, it stays on the spot of the stage where it was shown.
  int32_t followObjects = 1;
};
extern cPictureSwitches g_PictureSwitches;
