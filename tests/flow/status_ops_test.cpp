// Status and variable arithmetic, arrange entries on commands, and the
// status operation and arrange commands on a running stage.
#include "flow/status_ops.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <memory>
#include <tuple>

#include "data/flow.h"
#include "data/labels.h"
#include "data/move_shot.h"
#include "flow/fake_flow_host.h"
#include "flow/flow_host.h"
#include "flow/flow_state.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/hero.h"
#include "play/objects/stage_character.h"
#include "play/world/stage_scene.h"
#include "support/stage_builder.h"

namespace {

struct OperationRow { int32_t value, operand, op, minimum, maximum, expected; };

TEST(StatusOps, OperationsSaturateRoundAndSkipZeroDivisors) {
  const OperationRow rows[] = {
      {500000, 5, kOpMultiply, kValueMin, kValueMax, 999999},
      {-500000, 5, kOpMultiply, kValueMin, kValueMax, -999999},
      {999999, 4295, kOpMultiply, kValueMin, kValueMax, 999999},  // wraps positive in 32 bits
      {999999, INT_MAX, kOpAdd, kValueMin, kValueMax, 999999},    // no wrap to the minimum
      {0, INT_MIN, kOpSubtract, INT_MIN, INT_MAX, INT_MAX},
      {INT_MIN, -1, kOpDivide, INT_MIN, INT_MAX, INT_MAX},
      {INT_MIN, -1, kOpRemainder, INT_MIN, INT_MAX, 0},
      {77, 0, kOpDivide, kValueMin, kValueMax, 77},
      {-7, 2, kOpDivide, kValueMin, kValueMax, -3},               // truncates toward zero
      {7, 50, kOpPercent, kValueMin, kValueMax, 4},
      {-7, 50, kOpPercent, kValueMin, kValueMax, -4},
      {INT_MAX, INT_MAX, kOpPercent, kValueMin, kValueMax, 999999},
      {5, 123, kOpSet, 0, 99, 99},
      {5, 1, 7, 0, 99, 5},      // unknown operation
      {500, 1, -1, 0, 99, 99},  // ... still clamped
  };
  for (const OperationRow& r : rows) {
    int32_t v = r.value;
    ApplyOperation(v, r.operand, r.op, r.minimum, r.maximum);
    EXPECT_EQ(v, r.expected) << r.value << " op " << r.op << " " << r.operand;
  }
}

TEST(StatusOps, APercentOfTheLowestValueSaturates) { EXPECT_EQ(PercentOf(INT_MIN, INT_MAX), INT_MIN); }

// A command of `kind` (flow family unless `item`) with its word count and,
// for the record kinds, a default record.
cEdCmd MakeCommand(int kind, bool item = false) {
  cEdCmd c;
  c.m_nFamily = item ? 1 : 0;
  c.m_nKind = static_cast<uint8_t>(kind);
  c.m_vParams.assign(static_cast<size_t>(CommandParameterWords(c.m_nFamily, kind)), 0);
  cEdMove::Create(c.m_pMove);
  cEdShot::Create(c.m_pShot);
  return c;
}

cArrangeEntry Entry(int32_t kind, int32_t parameter, int32_t op, int32_t operandKind, int32_t value) {
  return cArrangeEntry{{kind, parameter, op, operandKind, value}};
}

struct ArrangeRow {
  const char* what;
  int kind;
  bool item;
  cArrangeEntry entry;
  bool applied;
  int32_t parameter;  // read back
  int32_t expected;
};

TEST(StatusOps, ArrangeEntriesChangeTheNamedParameterWithinItsBounds) {
  // Common variable 5 = 7, stage variable 2 = -30, character variable 0 = 3.
  std::map<std::pair<int32_t, int32_t>, int32_t> vars = {{{0, 5}, 7}, {{1, 2}, -30}, {{2, 0}, 3}};
  cArrangeOperandReader reader = [&vars](int32_t kind, int32_t number, int32_t& value) {
    auto it = vars.find({kind, number});
    if (it == vars.end()) return false;
    value = it->second;
    return true;
  };
  const ArrangeRow rows[] = {
      {"shot power", kCmdShot, false, Entry(kCmdShot, 27, kOpAdd, 0, 5), true, 27, 9},
      {"shot speed from a stage variable", kCmdShot, false, Entry(kCmdShot, 18, kOpSet, 1, 2), true, 18, -30},
      {"divide by 0 leaves it", kCmdShot, false, Entry(kCmdShot, 27, kOpDivide, 9, 0), true, 27, 2},
      {"straight move target x", kCmdMoveStraight, false, Entry(kCmdMoveStraight, 0, kOpSet, 2, 0), true, 0, 3},
      {"item message (item kind 4)", 4, true, Entry(kCmdMessage, 0, kOpSet, 9, 1000), true, 0, 999},
      {"aimed at another kind", kCmdMoveStraight, false, Entry(kCmdShot, 0, kOpSet, 9, 5), false, 0, 0},
      {"parameter the kind lacks", kCmdSword, false, Entry(kCmdSword, 4, kOpSet, 9, 5), false, 0, 0},
      {"common variable 0 is not an operand", kCmdShot, false, Entry(kCmdShot, 27, kOpSet, 0, 0), false, 27, 2},
      {"kind without parameters", kCmdWait, false, Entry(kCmdWait, 0, kOpSet, 9, 5), false, 0, 0},
  };
  for (const ArrangeRow& r : rows) {
    cEdCmd c = MakeCommand(r.kind, r.item);
    c.m_pShot->m_f49 = 2;  // power
    EXPECT_EQ(ApplyArrangeEntry(c, r.entry, reader), r.applied) << r.what;
    int32_t value = -1;
    if (r.kind != kCmdWait) {
      ASSERT_TRUE(GetOperableParameter(c, r.parameter, value)) << r.what;
      EXPECT_EQ(value, r.expected) << r.what;
    }
  }
}

// Every operable parameter of every kind holds both ends of its range: the
// field behind it is wide enough and read back with its sign.
TEST(StatusOps, EveryOperableParameterHoldsItsBounds) {
  for (int kind = 0; kind < kCommandKindCount; ++kind) {
    const std::vector<OperableParameter>& list = OperableParameters(kind);
    for (int32_t n = 0; n < static_cast<int32_t>(list.size()); ++n) {
      cEdCmd c = MakeCommand(kind);
      c.m_pShot->m_f1 = 3;       // the lightning pattern: three parameters
      c.m_pShot->m_nType = 8;    // the wave: three parameters
      int32_t minimum = 0, maximum = 0, value = 0;
      ASSERT_TRUE(OperableBounds(c, n, minimum, maximum)) << kind << "/" << n;
      for (int32_t extreme : {INT_MAX, INT_MIN}) {
        ASSERT_TRUE(ApplyArrangeEntry(c, Entry(kind, n, kOpSet, 9, extreme), nullptr)) << kind << "/" << n;
        ASSERT_TRUE(GetOperableParameter(c, n, value));
        EXPECT_EQ(value, extreme == INT_MAX ? maximum : minimum) << kind << "/" << n;
      }
    }
  }
}

// A status operation: words by number, the rest 0.
cEdCmd StatusCommand(std::map<size_t, uint32_t> words) {
  cEdCmd c = MakeCommand(kCmdStatus);
  for (auto [i, w] : words) c.m_vParams[i] = w;
  return c;
}

// A host with game values, invincibility and a life-check count.
struct StatusHost : FakeFlowHost {
  std::array<int32_t, kGameFieldCount> game{};
  bool invincible = false;
  int lifeChecks = 0;
  int32_t GameValue(int32_t f) override { return game.at(static_cast<size_t>(f)); }
  void SetGameValue(int32_t f, int32_t v) override { game.at(static_cast<size_t>(f)) = v; }
  bool IsInvincible(cFlowActor*) override { return invincible; }
  void RequestLifeCheck() override { ++lifeChecks; }
};

struct RuleRow {
  const char* what;
  std::map<size_t, uint32_t> words;
  bool invincible;
  int32_t selfHp, targetHp, lives, score, common3;  // after; 10/10/5/10/7 before
  int lifeChecks;
};

TEST(StatusOps, StatusOperationRulesOfTargetsAndGameValues) {
  const uint32_t unlimited = static_cast<uint32_t>(kUnlimitedLives);
  const RuleRow rows[] = {
      {"own HP := 50 % of itself", {{kSoField, 1}, {kSoConstant, 50}, {kSoHpSpMode, 2}}, false, 5, 10, 5, 10, 7, 0},
      {"own HP := 0: no check", {{kSoField, 1}}, false, 0, 10, 5, 10, 7, 0},
      {"target HP := 0: checked", {{kSoSubject, 1}, {kSoField, 1}}, false, 10, 0, 5, 10, 7, 1},
      {"invincible target skipped", {{kSoSubject, 1}, {kSoField, 1}, {kSoSkipInvincible, 1}}, true, 10, 10, 5, 10, 7, 0},
      {"empty slot", {{kSoSubject, 2}, {kSoField, 1}}, false, 10, 10, 5, 10, 7, 0},
      {"lives held to 99", {{kSoSubject, 5}, {kSoField, 4}, {kSoOperation, 1}, {kSoConstant, 200}}, false, 10, 10, 99, 10, 7, 0},
      {"score held to 0", {{kSoSubject, 5}, {kSoField, 3}, {kSoOperation, 2}, {kSoConstant, 20}}, false, 10, 10, 5, 0, 7, 0},
      {"common 3 += 50 % of itself", {{kSoTargetClass, 1}, {kSoNumber, 3}, {kSoOperation, 1}, {kSoConstant, 50},
       {kSoPercentOfCurrent, 0x101}}, false, 10, 10, 5, 10, 11, 0},
      {"common 1001", {{kSoTargetClass, 1}, {kSoNumber, 1001}, {kSoConstant, 1}}, false, 10, 10, 5, 10, 7, 0},
  };
  for (const RuleRow& r : rows) {
    StatusHost host;
    FakeActor self, target;
    self.targets[0] = &target;
    host.invincible = r.invincible;
    host.game = {0, 0, 0, 10, 5};
    host.common[3] = 7;
    RunStatusOperation(host, &self, StatusCommand(r.words));
    EXPECT_EQ(std::make_tuple(self.hp, target.hp, host.game[kGameLives], host.game[kGameScore], host.common[3],
                              host.lifeChecks),
              std::make_tuple(r.selfHp, r.targetHp, r.lives, r.score, r.common3, r.lifeChecks))
        << r.what;
  }
  StatusHost host;
  FakeActor self;
  host.game[kGameLives] = kUnlimitedLives;  // unlimited lives stay unlimited
  RunStatusOperation(host, &self, StatusCommand({{kSoSubject, 5}, {kSoField, 4}, {kSoOperation, 2}, {kSoConstant, unlimited}}));
  EXPECT_EQ(host.game[kGameLives], kUnlimitedLives);
}

// ---- On a running stage ----

// The stage's own flow host and hooks for the life of a test.
class StatusOnStage : public ::testing::Test {
 protected:
  void SetUp() override { InstallStageFlows(); }
  void TearDown() override {
    SetCurrentObjects({});
    SetFlowHost(nullptr);
    SetFlowHooks(nullptr);
  }
  static cEdCmd ArrangeCommand(uint32_t kind, uint32_t parameter, uint32_t op, uint32_t operandKind, uint32_t value) {
    cEdCmd c = MakeCommand(kCmdArrange);
    c.m_vParams = {kind, parameter, op, operandKind, value};
    return c;
  }
  // A flow started every sub-step (trigger 0) running `commands`.
  static cEdFlow Flow(std::vector<cEdCmd> commands) { return MakeFlow(0, std::move(commands)); }
  // A stage with the hero at (2, 10) and one character at (6, 10) on a
  // floor; the character has maximum HP 7 and `flows`.
  static StageBuilder Stage(std::vector<cEdFlow> flows) {
    StageBuilder b;
    b.Floor(11, 0, 19).Hero(2, 10).Character(6, 10);
    cEdCharacter& c = b.Data().m_PlacedCharacters.back();
    c.m_nParam40 = 7;
    c.m_vFlows = std::move(flows);
    return b;
  }
  static cStageCharacter& FirstCharacter(cStageScene& scene) { return scene.m_CharacterList.front(); }
};

// One status operation per flow, each on another object or value.
TEST_F(StatusOnStage, StatusOperationsReachTheirObjectsWithinTheirBounds) {
  StageBuilder b = Stage({
      // Own HP := 50 % of the maximum 7 (4), through the character's HP change.
      Flow({StatusCommand({{kSoField, kStatusHp}, {kSoConstant, 50}, {kSoHpSpMode, 1}})}),
      // Target slot 1 (the hero): defence := 12.
      Flow({StatusCommand({{kSoSubject, 1}, {kSoField, kStatusDefence}, {kSoConstant, 12}})}),
      // Own drawing layer := 9, held to 7.
      Flow({StatusCommand({{kSoField, kStatusLayer}, {kSoConstant, 9}})}),
      // Stage variable 3 := 2000000, held to 999999.
      Flow({StatusCommand({{kSoTargetClass, 1}, {kSoScope, 1}, {kSoNumber, 3}, {kSoConstant, 2000000}})}),
      // Stage variable 4 := own character variable 2 (set to -8 below) x 150 %.
      Flow({StatusCommand({{kSoTargetClass, 1}, {kSoScope, 1}, {kSoNumber, 4}, {kSoOperation, kOpSet},
                           {kSoSource, 2}, {kSoOperandField, kStatusVariable}, {kSoOperandNumber, 2}}),
            StatusCommand({{kSoTargetClass, 1}, {kSoScope, 1}, {kSoNumber, 4}, {kSoOperation, kOpPercent},
                           {kSoConstant, 150}})}),
  });
  StageSession session(b);
  ASSERT_TRUE(session.Loaded());
  cStageScene& scene = session.Scene();
  cStageCharacter& c = FirstCharacter(scene);
  StageFlowHost().SetCharacterVariable(&c, 2, -8);
  session.Frames(2);  // the two-command flow has just finished
  EXPECT_EQ(c.m_nHp, 4);
  EXPECT_EQ(scene.Hero().Definition().Defence(), 12);
  EXPECT_EQ(c.Definition().DrawLayer(), 7);
  EXPECT_EQ(scene.m_StageVariables[3], 999999);
  EXPECT_EQ(scene.m_StageVariables[4], -12);
}

// Two arranges set the random bounds of the status operation after them,
// which then draws 40; in the second flow the arranges come last, the flow
// stops before a command takes them, and its status operation keeps
// drawing from 0..0.
TEST_F(StatusOnStage, ArrangesChangeTheNextCommandAndGoWithTheFlowsStop) {
  const std::map<size_t, uint32_t> draw1 = {{kSoTargetClass, 1}, {kSoScope, 1}, {kSoNumber, 1}, {kSoSource, 1}};
  const std::map<size_t, uint32_t> draw2 = {{kSoTargetClass, 1}, {kSoScope, 1}, {kSoNumber, 2}, {kSoSource, 1}};
  StageBuilder b = Stage({
      Flow({ArrangeCommand(kCmdStatus, 0, kOpSet, 9, 40), ArrangeCommand(kCmdStatus, 1, kOpSet, 9, 40),
            StatusCommand(draw1)}),
      Flow({StatusCommand(draw2), ArrangeCommand(kCmdStatus, 0, kOpSet, 9, 40),
            ArrangeCommand(kCmdStatus, 1, kOpSet, 9, 40)}),
  });
  StageSession session(b);
  ASSERT_TRUE(session.Loaded());
  cStageScene& scene = session.Scene();
  session.Frames(8);
  EXPECT_EQ(scene.m_StageVariables[1], 40);
  EXPECT_EQ(scene.m_StageVariables[2], 0);
  // The change stays in the character's copy of the command.
  cActorFlows* flows = FindFlowsOfCharacter(FirstCharacter(scene));
  ASSERT_NE(flows, nullptr);
  ASSERT_EQ(flows->Count(), 2u);
  const cEdCmd& changed = flows->At(0).Definition().m_vCmds[2];
  EXPECT_EQ(changed.Word(kSoRandomA), 40u);
  EXPECT_EQ(changed.Word(kSoRandomB), 40u);
}

// Item commands queue on the hero whether or not a flow runs, and the next
// item command that is not an arrange takes the entries.
TEST_F(StatusOnStage, ItemArrangesGoToTheHerosNextItemCommand) {
  StageBuilder b = Stage({});
  StageSession session(b);
  ASSERT_TRUE(session.Loaded());
  cStageScene& scene = session.Scene();
  auto item = [](cEdCmd c) {
    c.m_nFamily = 1;
    c.m_nKind = static_cast<uint8_t>(c.m_nKind - 15);
    return c;
  };
  cEdCmd draw = StatusCommand({{kSoTargetClass, 1}, {kSoScope, 1}, {kSoNumber, 6}, {kSoSource, 1}});
  std::vector<cEdCmd> commands = {item(ArrangeCommand(kCmdStatus, 0, kOpSet, 9, 40)),
                                  item(ArrangeCommand(kCmdStatus, 1, kOpAdd, 9, 40)), item(draw), item(draw)};
  SetCurrentObjects({});
  EXPECT_EQ(scene.Hero().RunItemCommands(commands), 0);
  EXPECT_EQ(scene.m_StageVariables[6], 0);  // the second draw ran without them
  commands.pop_back();
  scene.Hero().RunItemCommands(commands);
  EXPECT_EQ(scene.m_StageVariables[6], 40);
  EXPECT_TRUE(scene.Hero().m_PendingArranges.empty());
}

}  // namespace
