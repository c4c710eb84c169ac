// The project's rules by role: each role reads its stored number from a
// "System.dat" written by the independent writer (tests/data/
// write_system_dat.py) and reaches the switch its reader looks at; a new
// project gives every role the value the table states.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "data/stage_data.h"
#include "data/system_data.h"
#include "play/commands/commands.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/character.h"
#include "play/objects/shot.h"
#include "play/world/block_map.h"
#include "play/world/stage_object.h"
#include "play/world/stage_scene.h"
#include "play/world/system_switches.h"
#include "support/game_data.h"
#include "support/project_switches.h"
#include "support/stage_builder.h"

namespace {

// What the reader of each role looks at once stage set-up has copied the
// rules (the block map's rules are passed in); roles that the stage scene
// reads when it acts are read the way it reads them.
using Reader = std::function<int32_t(const cBlockRules&)>;
std::vector<Reader> Readers() {
  std::vector<Reader> r(kRuleCount);
  auto live = [](eProjectRule rule) { return [rule](const cBlockRules&) { return ProjectRule(rule); }; };
  for (eProjectRule rule :
       {kRuleExtraLives, kRulePointsPerLife, kRulePauseAllowed, kRuleHideStageWhilePaused, kRuleDeathDisplays,
        kRuleReplaysEnabled, kRuleContinueMenuInStory, kRuleRestoreVariablesStory, kRuleRestoreVariablesChallenge,
        kRuleRestoreVariablesFree, kRuleRestoreVariablesOther, kRuleRetryInStory, kRuleBackToMapInStory,
        kRuleRetryInChallenge, kRuleStartInactiveFlows, kRuleHeroRecord, kRuleVirtualBackBuffer})
    r[rule] = live(rule);
  r[kRuleUnlimitedLivesZero] = [](const cBlockRules&) { return g_FlowSwitches.livesUnlimitedFalse; };
  r[kRuleKeepStartPosition] = [](const cBlockRules&) { return cStageScene::s_bKeepStartPosition; };
  r[kRuleAirborneThreshold] = [](const cBlockRules& b) { return b.airborneThreshold; };
  r[kRuleLandWhileRising] = [](const cBlockRules& b) { return int32_t{b.landWhileRising}; };
  r[kRuleGravityStep] = [](const cBlockRules& b) { return int32_t{b.gravityStep}; };
  // Block contacts and the characters' ceiling read the same rule.
  r[kRuleKeepKnockbackAtCeilings] = [](const cBlockRules& b) {
    return int32_t{b.keepKnockbackAtCeilings} == g_CharacterSwitches.ceilingKeepsKnockback
               ? g_CharacterSwitches.ceilingKeepsKnockback
               : -1;
  };
  r[kRuleContactBackOff] = [](const cBlockRules& b) { return b.contactBackOff; };
  r[kRuleCarrierAirborneOnly] = [](const cBlockRules& b) { return int32_t{b.carrierAirborneOnly}; };
  r[kRuleSqueezePassThrough] = [](const cBlockRules& b) { return int32_t{b.summonedBlocksSqueezePassThrough}; };
  r[kRuleSummonOverConditional] = [](const cBlockRules& b) { return int32_t{b.summonOverConditional}; };
  r[kRuleSkipHarmlessShots] = [](const cBlockRules&) { return g_CombatSwitches.skipHarmlessShots; };
  r[kRuleImmediateBodyTriggers] = [](const cBlockRules&) { return g_CombatSwitches.immediateBodyTriggers; };
  r[kRuleOnScreenOnlyCollisions] = [](const cBlockRules&) { return g_CombatSwitches.onScreenOnlyCollisions; };
  r[kRuleShotGapOff] = [](const cBlockRules&) { return g_CombatSwitches.shotGapOff; };
  r[kRuleScrollRelativeAim] = [](const cBlockRules&) { return g_MotionSwitches.scrollRelativeAim; };
  r[kRuleScaleAnchor] = [](const cBlockRules&) { return g_MotionSwitches.scaleAnchor; };
  r[kRuleScaleAnchor2] = [](const cBlockRules&) { return g_MotionSwitches.scaleAnchor2; };
  r[kRuleOnScreenTargetsOnly] = [](const cBlockRules&) { return g_MotionSwitches.onScreenTargetsOnly; };
  r[kRuleLedge] = [](const cBlockRules&) { return g_MotionSwitches.ledge; };
  r[kRuleFreeJump] = [](const cBlockRules&) { return g_CharacterSwitches.freeJump; };
  r[kRuleSecondJumpTiming] = [](const cBlockRules&) { return g_CharacterSwitches.secondJumpTiming; };
  r[kRuleJumpTiming] = [](const cBlockRules&) { return g_CharacterSwitches.jumpTiming; };
  r[kRuleJumpScaling] = [](const cBlockRules&) { return g_CharacterSwitches.jumpScaling; };
  r[kRuleStageJumpValue] = [](const cBlockRules&) { return g_CharacterSwitches.stageJumpValue; };
  r[kRuleKnockbackCatchUp] = [](const cBlockRules&) { return g_CharacterSwitches.knockbackCatchUp; };
  r[kRuleKeepAirOnModeChange] = [](const cBlockRules&) { return g_CharacterSwitches.keepAirOnModeChange; };
  r[kRuleInitialFallValue] = [](const cBlockRules&) { return g_CharacterSwitches.initialFallValue; };
  r[kRulePaletteChange] = [](const cBlockRules&) { return g_CharacterSwitches.paletteChange; };
  r[kRuleSteadyColour] = [](const cBlockRules&) { return g_CharacterSwitches.steadyColour; };
  r[kRuleDefeatDisplayFrames] = [](const cBlockRules&) { return g_CharacterSwitches.defeatDisplayFrames; };
  r[kRuleVanishAtOnce] = [](const cBlockRules&) { return g_CharacterSwitches.vanishAtOnce; };
  r[kRulePicturesFollowObjects] = [](const cBlockRules&) { return g_DrawSwitches.picturesFollowObjects; };
  // The colour pairs take the table's operation (checked on pair 1 once a
  // stage was set up; the record alone before).
  r[kRuleColourPairs] = [](const cBlockRules&) {
    const auto& pairs = g_CharacterSwitches.colourPairs;
    if (pairs.size() > 1 && static_cast<int32_t>(pairs[1].dwColorOp) != g_DrawSwitches.colourPairOperation) return -1;
    return g_DrawSwitches.colourPairOperation;
  };
  r[kRuleLowColourEffects] = [](const cBlockRules&) { return g_DrawSwitches.lowColourEffects; };
  r[kRulePicturePosition] = [](const cBlockRules&) { return g_DrawSwitches.picturePosition; };
  // The flow runtime asks for its switches through the flow host.
  r[kRuleTriggerNoFrameGuard] = [](const cBlockRules&) { return g_FlowSwitches.triggerNoFrameGuard; };
  r[kRuleTriggerGuardFirst] = [](const cBlockRules&) { return g_FlowSwitches.triggerGuardFirst; };
  r[kRuleTriggerGuardBeforeConditions] = [](const cBlockRules&) {
    return g_FlowSwitches.triggerGuardBeforeConditions;
  };
  r[kRulePositionRefresh] = [](const cBlockRules&) { return g_FlowSwitches.singleScreenRectRefresh; };
  r[kRuleRange] = [](const cBlockRules&) { return g_MotionSwitches.range; };
  r[kRuleStrictKeySequence] = [](const cBlockRules&) { return g_FlowSwitches.strictKeySequence; };
  r[kRuleMoveTimeKeepsSign] = [](const cBlockRules&) { return g_FlowSwitches.moveTimeKeepsSign; };
  r[kRuleTurnInPointMode] = [](const cBlockRules&) { return g_MoveSwitches.turnInPointMode; };
  r[kRuleKeepIgnoredAxes] = [](const cBlockRules&) { return g_MoveSwitches.keepIgnoredAxes; };
  r[kRuleAngleFromVertical] = [](const cBlockRules&) { return g_MoveSwitches.angleFromVertical; };
  r[kRuleWarpAxis] = [](const cBlockRules&) { return g_CommandSwitches.warpAxis; };
  r[kRuleScreenWarp] = [](const cBlockRules&) { return g_CommandSwitches.screenWarp; };
  r[kRuleScaleNoCountdown] = [](const cBlockRules&) { return g_CommandSwitches.scaleNoCountdown; };
  return r;
}

// The switch records and the records ProjectRule reads, put back afterwards.
class ProjectRulesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/pelmora-rules-XXXXXX";
    dir_ = mkdtemp(pattern);
    const std::string cmd = "python3 " PELMORA_SOURCE_DIR "/tests/data/write_system_dat.py " + dir_;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(dir_); }
  void TearDown() override {
    SystemData = system_;
    StageData = stage_;
  }
  // Every number of this file is 1000 + k (the colour-key bytes hold k).
  cSystemData LoadVersion873() {
    cSystemData data;
    EXPECT_TRUE(data.LoadFromFile(dir_ + "/sys_873.dat"));
    return data;
  }
  static int32_t Expected(const cProjectRule& row, int32_t stored) {
    switch (row.read) {
      case eRuleRead::kOn: return stored != 0;
      case eRuleRead::kAbove0: return stored > 0;
      case eRuleRead::kValue: break;
    }
    return stored;
  }

  static std::string dir_;
  ScopedGameData data_;  // the loader checks music numbers against the database
  const cSystemData system_ = SystemData;
  const cStageData stage_ = StageData;
  ScopedProjectSwitches switches_;  // every switch record, put back after the test
};
std::string ProjectRulesTest::dir_;

}  // namespace

// Every row names a number the record stores (system numbers 1..80 apart
// from the colour-key bytes and the dropped #33, stage settings 1..98), and
// a new project, as its defaults build it, gives each role the table's
// new-project value, which the switch records also start with.
TEST_F(ProjectRulesTest, ANewProjectGivesEveryRoleItsNewProjectValue) {
  const cSystemData system;
  const cStageData stage;
  for (int i = 0; i < kRuleCount; ++i) {
    const cProjectRule& row = ProjectRuleRow(static_cast<eProjectRule>(i));
    SCOPED_TRACE(row.role);
    EXPECT_EQ(row.rule, i);
    switch (row.record) {
      case eRuleRecord::kSystem:
        EXPECT_TRUE(row.field >= 1 && row.field <= 80 && row.field != 33 && (row.field < 29 || row.field > 31));
        break;
      case eRuleRecord::kStage: EXPECT_TRUE(row.field >= 1 && row.field <= kStageFieldCount); break;
      case eRuleRecord::kNone: EXPECT_EQ(row.field, 0); break;
    }
    EXPECT_EQ(ProjectRuleValue(row.rule, system, stage), row.newProject);
  }
  // The records as the program starts them hold the same values.
  const std::vector<Reader> readers = Readers();
  const cBlockRules fresh;
  SystemData = system;
  StageData = stage;
  g_MotionSwitches = cMotionSwitches{};
  g_MoveSwitches = cMoveSwitches{};
  g_FlowSwitches = cFlowSwitches{};
  g_CombatSwitches = cCombatSwitches{};
  g_CharacterSwitches = cCharacterSwitches{};
  g_CommandSwitches = cCommandSwitches{};
  g_DrawSwitches = cDrawSwitches{};
  cStageScene::s_bKeepStartPosition = 0;  // as the program defines it
  for (int i = 0; i < kRuleCount; ++i) {
    const cProjectRule& row = ProjectRuleRow(static_cast<eProjectRule>(i));
    ASSERT_TRUE(readers[i]) << row.role;
    EXPECT_EQ(readers[i](fresh), row.newProject) << row.role;
  }
}

// One stored number at a time, read from the file: the roles placed on it,
// and only they, change, each at its reader; the roles without a stored
// number keep their new-project values.
TEST_F(ProjectRulesTest, EachStoredNumberReachesTheReadersOfItsRoles) {
  const cSystemData file = LoadVersion873();
  const std::vector<Reader> readers = Readers();
  std::set<std::pair<eRuleRecord, int>> places;
  for (int i = 0; i < kRuleCount; ++i) {
    const cProjectRule& row = ProjectRuleRow(static_cast<eProjectRule>(i));
    if (row.record != eRuleRecord::kNone) places.insert({row.record, row.field});
  }
  for (const auto& [record, field] : places) {
    SCOPED_TRACE((record == eRuleRecord::kSystem ? "system #" : "stage #") + std::to_string(field));
    cSystemData system;
    cStageData stage;
    for (int k = 1; k <= 80; ++k) system.SetNum(k, 0);
    for (int k = 1; k <= kStageFieldCount; ++k)
      if (!IsStageDoubleField(k)) stage.Int(k) = 0;
    int32_t stored = 0;
    if (record == eRuleRecord::kSystem) {
      stored = file.Num(field);
      ASSERT_EQ(stored, 1000 + field);
      system.SetNum(field, stored);
    } else {
      stored = 1000 + field;
      stage.Int(field) = stored;
    }
    SystemData = system;
    StageData = stage;
    cBlockRules rules;
    ApplyProjectSwitches(system, stage, rules);
    for (int i = 0; i < kRuleCount; ++i) {
      const cProjectRule& row = ProjectRuleRow(static_cast<eProjectRule>(i));
      const bool here = row.record == record && row.field == field;
      const int32_t want = here ? Expected(row, stored) : row.record == eRuleRecord::kNone ? row.newProject : 0;
      EXPECT_EQ(readers[i](rules), want) << row.role;
    }
  }
}

// The whole file at once: every system role reads its number through the
// record reader (a switch is on, a value is the number itself).
TEST_F(ProjectRulesTest, AFileWithEveryNumberSetTurnsEverySystemRoleOn) {
  const cSystemData file = LoadVersion873();
  const cStageData stage;
  for (int i = 0; i < kRuleCount; ++i) {
    const cProjectRule& row = ProjectRuleRow(static_cast<eProjectRule>(i));
    if (row.record != eRuleRecord::kSystem) continue;
    EXPECT_EQ(ProjectRuleValue(row.rule, file, stage), Expected(row, 1000 + row.field)) << row.role;
  }
}

// The stage's own request for the virtual back buffer reaches the scene
// when the stage is set up.
TEST(ProjectRules, TheStagesVirtualBackBufferRequestReachesTheScene) {
  for (int32_t request : {0, 1}) {
    StageBuilder b(20, 15);
    b.Floor(10, 0, 19).Hero(2, 9);
    b.Data().Int(ProjectRuleRow(kRuleVirtualBackBuffer).field) = request;
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    EXPECT_EQ(s.Scene().m_wVirtualBackBuffer, request);
  }
}
