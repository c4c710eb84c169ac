// The project's rules as stage play and the flows read them, by role.
//
// Most rules of stage play are numbers of the system data ("System.dat")
// that keep the behaviour of games made with older editors: each came with
// a data version, older files get it on, and a new project has it off. One
// table (rules/system_switches.cpp) says for every role which stored number it
// reads, its value in a new project, and whether the place comes from what
// the data's own description of the number says or was chosen among the
// numbers of the same reader and version; correcting a place is one line of
// that table. Roles with no stored number keep their new-project value.
//
// Two ways in: the switch records of movement, characters, moves, shots,
// flows, commands and the block map are filled from the table by
// ApplyProjectSwitches when a stage is set up; the rules of the stage
// scene itself (pause menu, retries, replays ...) are read through
// ProjectRule when they act.
#pragma once

#include <cstdint>

class cSystemData;
class cStageData;
struct cBlockRules;

enum eProjectRule : int {
  // pause, results and lives
  kRuleExtraLives,
  kRulePointsPerLife,
  kRulePauseAllowed,
  kRuleHideStageWhilePaused,
  kRuleDeathDisplays,
  kRuleReplaysEnabled,
  kRuleContinueMenuInStory,
  kRuleRestoreVariablesStory,
  kRuleRestoreVariablesChallenge,
  kRuleRestoreVariablesFree,
  kRuleRestoreVariablesOther,
  kRuleRetryInStory,
  kRuleBackToMapInStory,
  kRuleRetryInChallenge,
  kRuleUnlimitedLivesZero,
  // stage set-up
  kRuleStartInactiveFlows,
  kRuleHeroRecord,
  kRuleKeepStartPosition,
  kRuleVirtualBackBuffer,
  // block map and contacts
  kRuleAirborneThreshold,
  kRuleLandWhileRising,
  kRuleGravityStep,
  kRuleKeepKnockbackAtCeilings,
  kRuleContactBackOff,
  kRuleCarrierAirborneOnly,
  kRuleSqueezePassThrough,
  kRuleSummonOverConditional,
  // hits and shots
  kRuleSkipHarmlessShots,
  kRuleImmediateBodyTriggers,
  kRuleOnScreenOnlyCollisions,
  kRuleShotGapOff,
  // movement, characters and the hero
  kRuleScrollRelativeAim,
  kRuleScaleAnchor,
  kRuleScaleAnchor2,
  kRuleOnScreenTargetsOnly,
  kRuleLedge,
  kRuleFreeJump,
  kRuleSecondJumpTiming,
  kRuleJumpTiming,
  kRuleJumpScaling,
  kRuleStageJumpValue,
  kRuleKnockbackCatchUp,
  kRuleKeepAirOnModeChange,
  kRuleInitialFallValue,
  // drawing
  kRulePaletteChange,
  kRuleSteadyColour,
  kRuleDefeatDisplayFrames,
  kRuleVanishAtOnce,
  kRulePicturesFollowObjects,
  kRuleColourPairs,
  kRuleLowColourEffects,
  kRulePicturePosition,
  // flows and commands
  kRuleTriggerNoFrameGuard,
  kRuleTriggerGuardFirst,
  kRuleTriggerGuardBeforeConditions,
  kRulePositionRefresh,
  kRuleRange,
  kRuleStrictKeySequence,
  kRuleMoveTimeKeepsSign,
  kRuleTurnInPointMode,
  kRuleKeepIgnoredAxes,
  kRuleAngleFromVertical,
  kRuleWarpAxis,
  kRuleScreenWarp,
  kRuleScaleNoCountdown,
  kRuleCount
};

// Where a role's value is stored.
enum class eRuleRecord : uint8_t {
  kSystem,  // a number #1..#80 of the system data
  kStage,   // a numeric setting (field 1..98) of the stage
  kNone,    // nowhere: the new-project value holds
};
// How the stored number becomes the rule's value.
enum class eRuleRead : uint8_t {
  kOn,      // non-zero: 1
  kAbove0,  // above 0: 1
  kValue,   // the number itself
};

struct cProjectRule {
  eProjectRule rule;
  const char* role;
  eRuleRecord record;
  int field;           // # of the record (0 with kNone)
  int32_t newProject;  // the value in a new project (and without a stored field)
  eRuleRead read;
};

// The table's row of a rule.
const cProjectRule& ProjectRuleRow(eProjectRule rule);
// The value of a rule in these records.
int32_t ProjectRuleValue(eProjectRule rule, const cSystemData& system, const cStageData& stage);
// The value of a rule in the running game's system data and working stage.
int32_t ProjectRule(eProjectRule rule);

// Rules of the drawing of pictures and effect objects, and the colour
// operation of the colour pairs (the drawing reads them).
struct cDrawSwitches {
  int32_t picturesFollowObjects = 0;  // pictures placed on an object follow it
  // The colour operation of the colour pairs of invincible characters
  // (D3DTOP_ADD: the pair's colour is added to the picture).
  int32_t colourPairOperation = 7;
  int32_t lowColourEffects = 0;  // DirectDraw: zoomed effect objects stretch the effect's own picture
  // The picture command leaves the position of a picture on an object to
  // its drawing (the position the object gives then is not taken at once).
  int32_t picturePosition = 0;
};
extern cDrawSwitches g_DrawSwitches;

// Stage set-up's copy of the rules into the switch records of movement,
// characters, moves, shots, flows, commands and drawing, and into the block
// map's rules; also the stage's shot hit sizes.
void ApplyProjectSwitches(const cSystemData& system, const cStageData& stage, cBlockRules& blockRules);
