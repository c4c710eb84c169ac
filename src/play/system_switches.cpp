// Stage set-up's copy of the project switches (see system_switches.h).
#include "play/system_switches.h"

#include <algorithm>

#include "data/stage_data.h"
#include "data/system_data.h"
#include "play/character.h"
#include "play/commands.h"
#include "play/flow_host_impl.h"
#include "play/shot.h"
#include "play/stage_object.h"

cPictureSwitches g_PictureSwitches;

namespace {

int32_t On(const cSystemData& system, int field) { return system.Num(field) != 0 ? 1 : 0; }

// A size field of the stage held to 0..4096, as every size stage play reads.
int32_t Size(const cStageData& stage, int field) { return std::clamp(stage.Int(field), 0, 4096); }

}  // namespace

void ApplyProjectSwitches(const cSystemData& system, const cStageData& stage) {
  // The forced-scroll compensation is one switch for the speed that objects
  // take from the scroll, for aiming and for shot movement.
  g_MotionSwitches.scrollRelativeAim = On(system, kSysScrollCompensation);
  g_MotionSwitches.scaleAnchor = On(system, kSysScaleKeepsFooting);
  g_MotionSwitches.scaleAnchor2 = On(system, kSysScaleAndStatusOps);
  g_MotionSwitches.range = On(system, kSysPositionOverlap);
  g_MoveSwitches.angleFromVertical = On(system, kSysChargeAngleFromVertical);
  g_FlowSwitches.moveTimeKeepsSign = On(system, kSysMoveTimeKeepsSign);
  g_FlowSwitches.livesUnlimitedFalse = system.Num(kSysUnlimitedLivesZero) > 0 ? 1 : 0;
  // On an 8-bit screen whose palette colours cycle, the cycling stands in
  // for the blinking of hit areas and invincible characters.
  g_CharacterSwitches.steadyColour = On(system, kSysPaletteCycling);
  // Shot hit rectangles: the pair the hero's item-picture mode shares for
  // shots of player-controlled shooters, the pair of hit-size mode 2 for the
  // shots of every other shooter.
  g_CombatSwitches.shotHitWidth[0] = Size(stage, kStageHeroHitKind2Width);
  g_CombatSwitches.shotHitHeight[0] = Size(stage, kStageHeroHitKind2Height);
  g_CombatSwitches.shotHitWidth[1] = Size(stage, kStageCharHit2Width);
  g_CombatSwitches.shotHitHeight[1] = Size(stage, kStageCharHit2Height);
}
