#include <gtest/gtest.h>

#include <climits>

#include "flow/conditions.h"
#include "flow/fake_flow_host.h"
#include "scene/input.h"

namespace {

TEST(Conditions, CompareByOperator) {
  struct Row {
    int32_t left, right, op;
    bool expected;
  } rows[] = {
      {3, 3, 0, true},     {3, 4, 0, false},   {3, 4, 1, true},    {4, 4, 2, true},     {3, 4, 2, false},
      {4, 4, 3, true},     {5, 4, 3, false},   {5, 4, 4, true},    {4, 4, 4, false},    {-5, 3, 5, true},
      {9, 0, 6, true},     {9, 0, 7, false},   {-9, 3, 6, true},   {-9, 3, 7, false},   {10, 3, 7, true},
      {INT_MIN, -1, 6, true}, {INT_MIN, -1, 7, false}, {INT_MIN, 3, 7, true}, {1, 1, 8, false}, {1, 1, -1, false},
  };
  for (const Row& r : rows)
    EXPECT_EQ(CompareByOperator(r.left, r.right, r.op), r.expected) << r.left << " op " << r.op << " " << r.right;
}

cCond VariableCond(int8_t kind, uint16_t number, int32_t constant, uint8_t op) {
  cCond c;
  c.m_nKind = kind;
  c.m_nVarNumber = number;
  c.m_nConstant = constant;
  c.m_nOperator = op;
  return c;
}

TEST(Conditions, ListsAndKinds) {
  FakeFlowHost host;
  FakeActor self, target;
  host.common[2] = 5;
  host.stage[3] = -1;
  self.vars[1] = 8;
  self.hp = 4;
  self.maxHp = 7;
  const cCond common = VariableCond(kCondCommonVariable, 2, 5, 0);
  const cCond stage = VariableCond(kCondStageVariable, 3, 0, 5);
  const cCond own = VariableCond(kCondCharacterVariable, 1, 9, 0);
  EXPECT_TRUE(CheckConditionList({}, 0, &self));
  EXPECT_FALSE(CheckConditionList({}, 1, &self));
  EXPECT_TRUE(CheckConditionList({common, stage}, 0, &self));
  EXPECT_FALSE(CheckConditionList({common, own}, 0, &self));
  EXPECT_TRUE(CheckConditionList({own, common}, 1, &self));
  EXPECT_FALSE(CheckConditionList({common}, 2, &self));

  // HP >= 50 % of a maximum of 7: 3.5 rounds to 4.
  cCond hp;
  hp.m_nKind = kCondStatus;
  hp.m_nField = kStatusHp;
  hp.m_nConstant = 50;
  hp.m_nPercent = 1;
  hp.m_nOperator = 2;
  EXPECT_TRUE(EvaluateCondition(hp, &self));
  self.hp = 3;
  EXPECT_FALSE(EvaluateCondition(hp, &self));
  hp.m_nSubject = 2;  // an empty target slot
  EXPECT_FALSE(EvaluateCondition(hp, &self));

  // "Exists" on an empty slot is false, negated true; a dying target does
  // not exist.
  cCond exists;
  exists.m_nKind = kCondStatus3;
  exists.m_nField = 4;
  exists.m_nSubject = 1;
  EXPECT_FALSE(EvaluateCondition(exists, &self));
  exists.m_nOperator = 1;
  EXPECT_TRUE(EvaluateCondition(exists, &self));
  self.targets[0] = &target;
  EXPECT_FALSE(EvaluateCondition(exists, &self));
  target.dying = true;
  EXPECT_TRUE(EvaluateCondition(exists, &self));
  // Facing on an empty slot stays false even when negated.
  cCond facing = exists;
  facing.m_nField = 0;
  facing.m_nSubject = 3;
  EXPECT_FALSE(EvaluateCondition(facing, &self));
}

// A key step requiring direction code `code` held (1) or released (2).
cFlowKey Step(int code, uint8_t required, uint16_t minimum = 1, uint16_t maximum = 1000, bool relative = false) {
  cFlowKey k;
  k.m_vKeys.assign(19, 0);
  k.m_vKeys[static_cast<size_t>(code)] = required;
  k.m_nWord1 = minimum;
  k.m_nWord2 = maximum;
  k.m_nByte1 = relative ? 1 : 0;
  return k;
}

TEST(KeyConditions, SequencesMatchTheInputHistory) {
  struct Row {
    const char* name;
    std::vector<cFlowKey> keys;
    uint8_t window;
    int32_t facing;
    std::vector<PressRun> code2;  // runs of direction code 2, newest first
    std::vector<PressRun> code1;
    int expected;
  } rows[] = {
      {"held 10..20 for 15", {Step(2, 1, 10, 20)}, 0, 1, {{1, 15}}, {}, 1},
      {"held 10..20 for 9", {Step(2, 1, 10, 20)}, 0, 1, {{1, 9}}, {}, 0},
      {"held 10..20 for 21", {Step(2, 1, 10, 20)}, 0, 1, {{1, 21}}, {}, 0},
      {"relative 1 facing left reads 2", {Step(1, 1, 1, 5, true)}, 0, 0, {{1, 3}}, {}, 1},
      {"relative 1 facing right reads 1", {Step(1, 1, 1, 5, true)}, 0, 1, {{1, 3}}, {}, 0},
      // Tap then hold: released 4 frames, then held 6, newest first.
      {"release then press", {Step(2, 2, 1, 10), Step(2, 1, 1, 10)}, 0, 1, {{1, 6}, {0, 4}}, {}, 1},
      {"press, gap on code 1, press, window 0", {Step(1, 1, 1, 9), Step(2, 1, 1, 9)}, 0, 1, {{1, 3}, {0, 5}},
       {{0, 5}, {1, 2}, {0, 1}}, 0},
      {"press, gap on code 1, press, window 5", {Step(1, 1, 1, 9), Step(2, 1, 1, 9)}, 5, 1, {{1, 3}, {0, 5}},
       {{0, 5}, {1, 2}, {0, 1}}, 1},
      // Runs thousands of frames long (a key left alone): the cursor steps
      // back across them to the run before.
      {"press, then released for 5000", {Step(2, 1, 1, 10), Step(2, 2, 1, 10)}, 0, 1, {{0, 5000}, {1, 6}}, {}, 1},
      {"press too long, then released for 5000", {Step(2, 1, 1, 10), Step(2, 2, 1, 10)}, 0, 1,
       {{0, 5000}, {1, 12}}, {}, 0},
      {"press 1, released 4000, press 2 held 3, window 5", {Step(1, 1, 1, 9), Step(2, 1, 1, 9)}, 5, 1,
       {{1, 3}, {0, 4000}}, {{0, 4}, {1, 2}, {0, 4000}}, 1},
      {"press 1 too far back, window 5", {Step(1, 1, 1, 9), Step(2, 1, 1, 9)}, 5, 1, {{1, 3}, {0, 4000}},
       {{0, 4000}, {1, 2}}, 0},
  };
  for (const Row& row : rows) {
    FakeFlowHost host;
    cInput input;
    for (size_t i = 0; i < row.code2.size(); ++i) input.m_DirectionPresses[2][i] = row.code2[i];
    for (size_t i = 0; i < row.code1.size(); ++i) input.m_DirectionPresses[1][i] = row.code1[i];
    host.input = &input;
    FakeActor actor;
    actor.facing = row.facing;
    cEdFlow flow = MakeFlow(kTriggerDamaged, {Cmd(1)});
    flow.m_vKeys = row.keys;
    flow.m_nKeyTolerance = row.window;
    actor.flows.SetFlows(&actor, {flow}, 0, -1);
    cCurrentObjectsGuard guard;
    SetCurrentCharacter(&actor);
    EXPECT_EQ(CheckFlowKeyConditions(actor.flows, actor.flows.At(0)), row.expected) << row.name;
    // Without the hold-match option the same entry fires only once.
    if (row.expected == 1) {
      EXPECT_EQ(CheckFlowKeyConditions(actor.flows, actor.flows.At(0)), 0) << row.name;
    }
  }
}

TEST(KeyConditions, EmptyListAlwaysPasses) {
  FakeFlowHost host;
  FakeActor actor;
  actor.flows.SetFlows(&actor, {MakeFlow(kTriggerDamaged, {Cmd(1)})}, 0, -1);
  EXPECT_EQ(CheckFlowKeyConditions(actor.flows, actor.flows.At(0)), 1);
}

}  // namespace
