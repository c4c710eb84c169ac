// The project's rules by role (see world/system_switches.h).
#include "play/world/system_switches.h"

#include <algorithm>
#include <array>

#include "data/stage_data.h"
#include "data/system_data.h"
#include "gfx/dd.h"
#include "play/commands/commands.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/character.h"
#include "play/objects/shot.h"
#include "play/world/block_map.h"
#include "play/world/stage_object.h"
#include "play/world/stage_scene.h"

cDrawSwitches g_DrawSwitches;

namespace {

using enum eRuleRecord;
using enum eRuleRead;

// Every rule of stage play and the flows that the project decides, and
// where the project stores it. System numbers carry their first data
// version; where a place was chosen among several numbers of the same
// reader, the note above its row names the others. A new project's numbers
// are 0 unless the defaults give one.
constexpr std::array<cProjectRule, kRuleCount> kRules = {{
    // ---- pause, results and lives ----
    {kRuleExtraLives, "extra lives by total score", kSystem, 1, 0, kOn},
    {kRulePointsPerLife, "total score for one extra life", kSystem, 2, 100, kValue},
    {kRulePauseAllowed, "pausing with the space key", kSystem, 3, 0, kOn},
    {kRuleHideStageWhilePaused, "the pause shows only the background", kSystem, 4, 1, kOn},
    // v855 "graphic-effect drawing switch (stage frame and effect drawing)": a
    // defeated character stays in the frame for its death effect.
    {kRuleDeathDisplays, "death displays (defeated characters kept)", kSystem, 9, 0, kOn},
    {kRuleReplaysEnabled, "replays enabled", kSystem, 10, 1, kOn},
    // "read by the hero's death sequence": the lost life opens the continue menu.
    {kRuleContinueMenuInStory, "continue menu in story", kSystem, 14, 1, kOn},
    {kRuleRestoreVariablesStory, "restore variables at a restart, story", kSystem, 20, 1, kOn},
    {kRuleRestoreVariablesChallenge, "restore variables at a restart, challenge", kSystem, 24, 1, kOn},
    {kRuleRestoreVariablesFree, "restore variables at a restart, free play", kSystem, 26, 1, kOn},
    {kRuleRestoreVariablesOther, "restore variables at a restart, other modes", kSystem, 27, 0, kOn},
    // Pause-menu entry switches #21, #25 (v224) and #39 (v757): the two of
    // v224 gate the story rows, the later one the challenge row.
    {kRuleRetryInStory, "retry in story", kSystem, 21, 1, kOn},
    {kRuleBackToMapInStory, "back to the map in story", kSystem, 25, 1, kOn},
    {kRuleRetryInChallenge, "retry in challenge", kSystem, 39, 1, kOn},
    {kRuleUnlimitedLivesZero, "unlimited lives read as 0", kSystem, 66, 0, kAbove0},
    // ---- stage set-up ----
    // The two "stage set-up switches" #47 (v697) and #68 (v827).
    {kRuleStartInactiveFlows, "start flows of inactive characters", kSystem, 47, 0, kOn},
    {kRuleHeroRecord, "the stage keeps its own hero record", kSystem, 68, 0, kOn},
    // v768 "character creation and summoning switch" (#43 "character step
    // switch", v669, the other candidate).
    {kRuleKeepStartPosition, "keep start position", kSystem, 56, 0, kOn},
    // Stage fields 85 and 86 are "read by stage set-up"; 85 is left to the view.
    {kRuleVirtualBackBuffer, "virtual back buffer", kStage, 86, 0, kValue},
    // ---- block map and contacts ----
    {kRuleAirborneThreshold, "airborne threshold (sub-steps without floor)", kNone, 0, 1, kValue},
    // v805 "block contact switch of the characters' block checks": on, it
    // skips the one comparison of the moving character's own speed with a
    // constant that decides a block contact, the not-rising test of landing.
    {kRuleLandWhileRising, "land while rising", kSystem, 62, 0, kOn},
    // Block contact switches: #44 (v677, vertical; no reader known), #61
    // (v793, block collision), #63 (v808), #64 (v818), #72 (v839); #42
    // (v637) block summoning.
    {kRuleGravityStep, "gravity step", kSystem, 61, 0, kOn},
    {kRuleKeepKnockbackAtCeilings, "keep knock-back at ceilings (ceiling)", kSystem, 63, 0, kOn},
    {kRuleContactBackOff, "contact back-off", kSystem, 64, 0, kOn},
    {kRuleCarrierAirborneOnly, "carrier airborne only", kSystem, 72, 0, kOn},
    {kRuleSqueezePassThrough, "summoned blocks squeeze pass-through", kSystem, 42, 0, kOn},
    {kRuleSummonOverConditional, "summon over conditional blocks", kSystem, 42, 0, kOn},
    // ---- hits and shots ----
    // Hit resolution switches #54, #55 (v763); character collision #71 (v837).
    {kRuleSkipHarmlessShots, "skip harmless shots", kSystem, 54, 0, kOn},
    {kRuleImmediateBodyTriggers, "immediate body triggers", kSystem, 55, 0, kOn},
    {kRuleOnScreenOnlyCollisions, "on-screen-only collisions", kSystem, 71, 0, kOn},
    // v555 "shot position switch": the lightning line's gap.
    {kRuleShotGapOff, "shot gap off", kSystem, 41, 0, kOn},
    // ---- movement, characters and the hero ----
    {kRuleScrollRelativeAim, "scroll-relative aiming", kSystem, 32, 0, kOn},
    {kRuleScaleAnchor, "scale anchor", kSystem, 34, 0, kOn},
    // v831 "character scale and status-operation switch": read by the scale
    // change of characters and by the status command's scale change.
    {kRuleScaleAnchor2, "scale anchor 2", kSystem, 69, 0, kOn},
    {kRuleOnScreenTargetsOnly, "on-screen targets only (stage)", kNone, 0, 0, kValue},
    // Character movement switches #57 (v773) and #60 (v783); the same rule
    // is the movement command's fixed turn.
    {kRuleLedge, "ledge (fixed turn)", kSystem, 57, 0, kOn},
    // Jump switches #52 (v749) and #75 (v845); hero switches #65 (v818) and
    // #74 (v845); character switches #73 (v841) and #76 (v845).
    {kRuleFreeJump, "free jump", kSystem, 52, 0, kOn},
    {kRuleSecondJumpTiming, "second jump timing", kSystem, 75, 0, kOn},
    {kRuleJumpTiming, "jump timing (the hero)", kSystem, 74, 0, kOn},
    {kRuleJumpScaling, "jump scaling", kSystem, 76, 0, kOn},
    {kRuleStageJumpValue, "jump-scaling value (stage)", kNone, 0, 0, kValue},
    {kRuleKnockbackCatchUp, "knock-back", kSystem, 73, 0, kOn},
    {kRuleKeepAirOnModeChange, "keep air state on mode change", kSystem, 65, 0, kOn},
    {kRuleInitialFallValue, "initial fall value", kNone, 0, 0, kValue},
    // ---- drawing ----
    // v287 "character graphic numbers": the graphic of an invincible character.
    {kRulePaletteChange, "palette change (colour pairs)", kSystem, 36, 0, kOn},
    // "palette colour cycling in 8-bit mode; also read by stage drawing".
    {kRuleSteadyColour, "steady colour", kSystem, 38, 0, kOn},
    // 60 frames unless the stage's settings say otherwise; none of them does.
    {kRuleDefeatDisplayFrames, "defeat display time (frames)", kNone, 0, 60, kValue},
    // v833 "graphic-effect switch", on for files 817..832 only.
    {kRuleVanishAtOnce, "vanish at once", kSystem, 70, 0, kOn},
    // v845 "stage object switch", off for files older than 656.
    {kRulePicturesFollowObjects, "pictures follow objects", kSystem, 77, 0, kOn},
    // No stored table: the pair of colour index k is palette colour k with
    // this colour operation (7, added to the picture), for k = 1..255.
    {kRuleColourPairs, "colour pairs (palette colour of the index, operation)", kNone, 0, 7, kValue},
    // v855 "graphic-effect drawing switch (stage frame and effect drawing)",
    // read by effect drawing as well as by the stage frame.
    {kRuleLowColourEffects, "low-colour option of effect-object drawing", kSystem, 9, 0, kOn},
    // No number of the picture command's reader fits: a new project's value.
    {kRulePicturePosition, "picture position (taken when drawn)", kNone, 0, 0, kValue},
    // ---- flows and commands ----
    {kRuleTriggerNoFrameGuard, "TriggerNoFrameGuard", kSystem, 40, 0, kOn},
    {kRuleTriggerGuardFirst, "TriggerGuardFirst", kSystem, 51, 0, kOn},
    {kRuleTriggerGuardBeforeConditions, "TriggerGuardBeforeConditions", kSystem, 78, 0, kOn},
    // v782: replays of stage files of 781 and older refresh alike.
    {kRulePositionRefresh, "position-condition legacy refresh", kSystem, 59, 0, kOn},
    {kRuleRange, "range (position-condition overlap)", kSystem, 50, 0, kOn},
    {kRuleStrictKeySequence, "strict key sequence", kNone, 0, 0, kValue},
    // v695 "movement distance switch of movement commands".
    {kRuleMoveTimeKeepsSign, "MoveTimeKeepsSign", kSystem, 45, 0, kOn},
    {kRuleTurnInPointMode, "turn in point mode", kNone, 0, 0, kValue},
    {kRuleKeepIgnoredAxes, "keep ignored axes", kSystem, 60, 0, kOn},
    // v728 "charge-movement command switch".
    {kRuleAngleFromVertical, "angle from vertical", kSystem, 49, 0, kOn},
    // Warp command switches #48 (v721) and #67 (v822).
    {kRuleWarpAxis, "warp axis", kSystem, 48, 0, kOn},
    {kRuleScreenWarp, "screen warp", kSystem, 67, 0, kOn},
    {kRuleScaleNoCountdown, "scale (no state countdown)", kSystem, 69, 0, kOn},
}};

constexpr bool RowsInOrder() {
  for (size_t i = 0; i < kRules.size(); ++i)
    if (kRules[i].rule != static_cast<eProjectRule>(i)) return false;
  return true;
}
static_assert(RowsInOrder(), "one row per rule, in the order of eProjectRule");

int32_t Read(eRuleRead read, int32_t stored) {
  switch (read) {
    case kOn: return stored != 0 ? 1 : 0;
    case kAbove0: return stored > 0 ? 1 : 0;
    case kValue: break;
  }
  return stored;
}

// The colour pairs of the palette change: index k draws with palette
// colour k of the display (opaque) and `operation`; index 0 is none.
std::vector<DDDRAWSTATE> ColourPairTable(int32_t operation) {
  std::vector<DDDRAWSTATE> pairs(256);
  for (uint32_t k = 1; k < pairs.size(); ++k) {
    const PALETTEENTRY& e = DDState.DDPalette[k];
    pairs[k].dwColor = 0xFF000000u | uint32_t{e.peRed} << 16 | uint32_t{e.peGreen} << 8 | e.peBlue;
    pairs[k].dwColorOp = static_cast<uint32_t>(operation);
  }
  return pairs;
}

// A size field of the stage held to 0..4096, as every size stage play reads.
int32_t Size(const cStageData& stage, int field) { return std::clamp(stage.Int(field), 0, 4096); }

}  // namespace

const cProjectRule& ProjectRuleRow(eProjectRule rule) {
  return kRules[static_cast<size_t>(std::clamp<int>(rule, 0, kRuleCount - 1))];
}

int32_t ProjectRuleValue(eProjectRule rule, const cSystemData& system, const cStageData& stage) {
  const cProjectRule& row = ProjectRuleRow(rule);
  switch (row.record) {
    case kSystem: return Read(row.read, system.Num(row.field));
    case kStage: return Read(row.read, stage.Int(row.field));
    case kNone: break;
  }
  return row.newProject;
}

int32_t ProjectRule(eProjectRule rule) { return ProjectRuleValue(rule, SystemData, StageData); }

void ApplyProjectSwitches(const cSystemData& system, const cStageData& stage, cBlockRules& blockRules) {
  auto rule = [&](eProjectRule r) { return ProjectRuleValue(r, system, stage); };

  blockRules.airborneThreshold = rule(kRuleAirborneThreshold);
  blockRules.landWhileRising = rule(kRuleLandWhileRising) != 0;
  blockRules.gravityStep = rule(kRuleGravityStep) != 0;
  blockRules.keepKnockbackAtCeilings = rule(kRuleKeepKnockbackAtCeilings) != 0;
  blockRules.contactBackOff = rule(kRuleContactBackOff);
  blockRules.carrierAirborneOnly = rule(kRuleCarrierAirborneOnly) != 0;
  blockRules.summonedBlocksSqueezePassThrough = rule(kRuleSqueezePassThrough) != 0;
  blockRules.summonOverConditional = rule(kRuleSummonOverConditional) != 0;

  g_CombatSwitches.skipHarmlessShots = rule(kRuleSkipHarmlessShots);
  g_CombatSwitches.immediateBodyTriggers = rule(kRuleImmediateBodyTriggers);
  g_CombatSwitches.onScreenOnlyCollisions = rule(kRuleOnScreenOnlyCollisions);
  g_CombatSwitches.shotGapOff = rule(kRuleShotGapOff);
  // Shot hit rectangles: the pair the hero's item-picture mode shares for
  // shots of player-controlled shooters, the pair of hit-size mode 2 for the
  // shots of every other shooter.
  g_CombatSwitches.shotHitWidth[0] = Size(stage, kStageHeroHitKind2Width);
  g_CombatSwitches.shotHitHeight[0] = Size(stage, kStageHeroHitKind2Height);
  g_CombatSwitches.shotHitWidth[1] = Size(stage, kStageCharHit2Width);
  g_CombatSwitches.shotHitHeight[1] = Size(stage, kStageCharHit2Height);

  g_MotionSwitches.scrollRelativeAim = rule(kRuleScrollRelativeAim);
  g_MotionSwitches.scaleAnchor = rule(kRuleScaleAnchor);
  g_MotionSwitches.scaleAnchor2 = rule(kRuleScaleAnchor2);
  g_MotionSwitches.onScreenTargetsOnly = rule(kRuleOnScreenTargetsOnly);
  g_MotionSwitches.ledge = rule(kRuleLedge);
  g_MotionSwitches.range = rule(kRuleRange);

  g_CharacterSwitches.freeJump = rule(kRuleFreeJump);
  g_CharacterSwitches.secondJumpTiming = rule(kRuleSecondJumpTiming);
  g_CharacterSwitches.jumpTiming = rule(kRuleJumpTiming);
  g_CharacterSwitches.jumpScaling = rule(kRuleJumpScaling);
  g_CharacterSwitches.stageJumpValue = rule(kRuleStageJumpValue);
  g_CharacterSwitches.ceilingKeepsKnockback = rule(kRuleKeepKnockbackAtCeilings);
  g_CharacterSwitches.knockbackCatchUp = rule(kRuleKnockbackCatchUp);
  g_CharacterSwitches.keepAirOnModeChange = rule(kRuleKeepAirOnModeChange);
  g_CharacterSwitches.initialFallValue = rule(kRuleInitialFallValue);
  g_CharacterSwitches.paletteChange = rule(kRulePaletteChange);
  g_CharacterSwitches.steadyColour = rule(kRuleSteadyColour);
  g_CharacterSwitches.defeatDisplayFrames = rule(kRuleDefeatDisplayFrames);
  g_CharacterSwitches.vanishAtOnce = rule(kRuleVanishAtOnce);
  g_DrawSwitches.picturesFollowObjects = rule(kRulePicturesFollowObjects);
  g_DrawSwitches.colourPairOperation = rule(kRuleColourPairs);
  g_DrawSwitches.lowColourEffects = rule(kRuleLowColourEffects);
  g_DrawSwitches.picturePosition = rule(kRulePicturePosition);
  g_CharacterSwitches.colourPairs = ColourPairTable(g_DrawSwitches.colourPairOperation);

  g_FlowSwitches.triggerNoFrameGuard = rule(kRuleTriggerNoFrameGuard);
  g_FlowSwitches.triggerGuardFirst = rule(kRuleTriggerGuardFirst);
  g_FlowSwitches.triggerGuardBeforeConditions = rule(kRuleTriggerGuardBeforeConditions);
  g_FlowSwitches.singleScreenRectRefresh = rule(kRulePositionRefresh);
  g_FlowSwitches.strictKeySequence = rule(kRuleStrictKeySequence);
  g_FlowSwitches.moveTimeKeepsSign = rule(kRuleMoveTimeKeepsSign);
  g_FlowSwitches.livesUnlimitedFalse = rule(kRuleUnlimitedLivesZero);

  g_MoveSwitches.turnInPointMode = rule(kRuleTurnInPointMode);
  g_MoveSwitches.keepIgnoredAxes = rule(kRuleKeepIgnoredAxes);
  g_MoveSwitches.angleFromVertical = rule(kRuleAngleFromVertical);

  g_CommandSwitches.warpAxis = rule(kRuleWarpAxis);
  g_CommandSwitches.screenWarp = rule(kRuleScreenWarp);
  g_CommandSwitches.scaleNoCountdown = rule(kRuleScaleNoCountdown);

  cStageScene::s_bKeepStartPosition = rule(kRuleKeepStartPosition);
}
