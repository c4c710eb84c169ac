// The project's compatibility switches as stage play reads them: stage
// set-up copies the system data's switches, and the stage's own shot hit
// sizes, into the switch records of movement, moves, flows and shots.
#pragma once

class cSystemData;
class cStageData;

// Copies every switch whose field is known; the other members of the switch
// records keep what they hold (a new project's values, or a test's).
void ApplyProjectSwitches(const cSystemData& system, const cStageData& stage);
