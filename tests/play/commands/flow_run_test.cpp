// Flows running in a stage: the real host and hooks over a built stage.
#include <gtest/gtest.h>

#include "data/database.h"
#include "data/conditions.h"
#include "data/database_records.h"
#include "data/labels.h"
#include "flow/conditions.h"
#include "flow/flow_state.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/hero.h"
#include "play/world/stage_object.h"
#include "play/world/stage_scene.h"
#include "scene/play_record.h"
#include "support/flow_commands.h"
#include "support/game_data.h"
#include "support/stage_builder.h"

namespace {

// An actor that is no character: the slots hold it as it is.
struct FakeActorForSlots : cFlowActor {};

using flowcmd::Code;
using flowcmd::Flow;

TEST(FlowRun, StageStartFlowUnrollsItsLoopBeforeTheFirstFrame) {
  StageFlowsInstalled flows;
  StageBuilder builder;
  builder.Floor(10, 0, 19).Hero(3, 9);
  cEdCmd loop;
  loop.m_nKind = kCmdLoop;
  loop.m_vParams = {3, 2};
  builder.Data().m_PlacedCharacters.back().m_vFlows = {Flow(
      kTriggerBeforeStageStart, {loop, Code("C1 = C1 + 1"), Code("C2 = C2 + 10"), Code("C3 = C1 + C2")})};
  StageSession session(builder);
  ASSERT_TRUE(session.Loaded());
  const std::vector<int32_t>& c = SaveData.m_CommonVariables;
  EXPECT_EQ(c[1], 3);
  EXPECT_EQ(c[2], 30);
  EXPECT_EQ(c[3], 33);
  // Such a flow never runs for frames.
  session.Frames(3);
  EXPECT_EQ(c[3], 33);
  EXPECT_EQ(CurrentObjects(), cCurrentObjects{});
}

// An "always" flow that ends in the sub-step it starts is not started again
// in the same frame: one run per frame, whatever the sub-step count.
TEST(FlowRun, InstantAlwaysFlowsRunOncePerFrame) {
  StageFlowsInstalled flows;
  StageBuilder builder;
  builder.SpeedLevel(3).Floor(10, 0, 19).Hero(3, 9).Character(12, 9);
  builder.Data().m_PlacedCharacters[0].m_vFlows = {Flow(kTriggerAlways, {Code("S1 = S1 + 1")})};
  builder.Data().m_PlacedCharacters[1].m_vFlows = {Flow(kTriggerAlways, {Code("my.v1 = my.v1 + 2"), Code("S2 = my.v1")})};
  StageSession session(builder);
  ASSERT_TRUE(session.Loaded());
  ASSERT_GT(SubStepsPerFrame(), 1);
  session.Frames(5);
  const std::vector<int32_t>& s = session.Scene().m_StageVariables;
  EXPECT_EQ(s[1], 5);
  EXPECT_EQ(s[2], 10);
}

// An anime named by a command plays its lead-in (the frames before its held
// one) before the command starts, or as much of it as the flow before the
// command leaves room for.
TEST(FlowRun, TimelineStartsAnAnimesLeadInBeforeItsCommand) {
  ScopedGameData data;
  ScopedStageRunning running;
  StageFlowsInstalled flows;
  StageData.Int(kStageSubSteps) = 1;
  cAnimeRecord anime;
  anime.m_Frames.clear();
  for (int32_t hold : {0, 0, 1}) {
    cAnimeFrame frame;
    frame.m_nDuration = 1;
    frame.m_nHold = hold;
    anime.m_Frames.push_back(frame);
  }
  Database.m_Animes.assign(2, anime);  // lead-in: 2 tenths, 12 frames
  struct Row {
    int16_t firstTenths;
    int32_t start, skip, length;
  } rows[] = {{5, 18, 0, 12}, {1, 0, 6, 6}, {2, 0, 0, 12}};
  for (const Row& row : rows) {
    cEdCmd first, second;
    first.m_nKind = second.m_nKind = 1;
    first.m_nDuration = static_cast<uint16_t>(row.firstTenths);
    second.m_nDuration = 3;
    second.m_nAnime = 1;
    cCharacter character;
    cActorFlows& set = FlowsOfCharacter(character);
    set.SetFlows(&character, {Flow(kTriggerAlways, {first, second})}, 0, -1);
    ASSERT_EQ(set.At(0).m_Timeline.size(), 1u);
    const cTimelineEntry& e = set.At(0).m_Timeline[0];
    EXPECT_EQ(e.start, row.start) << row.firstTenths;
    EXPECT_EQ(e.skip, row.skip) << row.firstTenths;
    EXPECT_EQ(e.length, row.length) << row.firstTenths;
    EXPECT_EQ(e.hold, 18);
    EXPECT_EQ(e.extend, 1);
  }
}

// An item's flow change reaches the hero's own definition: flows added,
// put in a group's place or taken away leave the definition's flow list
// the same as the flows the hero runs (and that list is what the hero
// carries to the next stage). The hero's flows are groups 1, 2, 3; the
// change brings one flow of group 9.
TEST(FlowRun, AFlowChangeChangesTheDefinitionsFlowListAlike) {
  StageFlowsInstalled flows;
  struct Row {
    uint32_t mode;   // 0 add, 1 in place of a group, 2 take a group away
    uint32_t group;
    std::vector<int> groups;
  };
  const Row rows[] = {{0, 0, {1, 2, 3, 9}}, {1, 2, {1, 9, 3}}, {1, 5, {1, 2, 3, 9}}, {2, 2, {1, 3}}};
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "mode " << r.mode << ", group " << r.group);
    StageBuilder builder;
    builder.Floor(10, 0, 19).Hero(3, 9).Item(3, 9);
    std::vector<cEdFlow> own;
    for (uint8_t group : {1, 2, 3}) {
      own.push_back(Flow(kTriggerOnlyByFlowControl, {Code("S1 = S1 + 1")}));
      own.back().m_nGroup = group;
    }
    builder.Data().m_PlacedCharacters.back().m_vFlows = own;
    builder.Data().m_PlacedCharacters.back().m_nParam40 = 10;  // HP
    cEdCmd change;
    change.m_nFamily = 1;
    change.m_nKind = 1;  // "フローの変更"
    change.m_vParams = {r.mode, r.group};
    change.m_vFlows = {Flow(kTriggerOnlyByFlowControl, {Code("S2 = S2 + 1")})};
    change.m_vFlows.back().m_nGroup = 9;
    builder.Data().m_PlacedItems.back().m_nParam15 = 0;  // taken once
    builder.Data().m_PlacedItems.back().m_vCmds = std::vector<cEdCmd>{change};
    StageSession session(builder);
    ASSERT_TRUE(session.Loaded());
    session.Frames(10);  // the hero takes the item where it stands
    ASSERT_TRUE(session.Scene().m_ItemList.empty()) << "the item was taken";
    cHero& hero = session.Scene().Hero();
    std::vector<int> running, defined;
    cActorFlows& set = FlowsOfCharacter(hero);
    for (size_t i = 0; i < set.Count(); ++i) running.push_back(set.At(i).Definition().m_nGroup);
    for (const cEdFlow& f : hero.Definition().m_vFlows) defined.push_back(f.m_nGroup);
    EXPECT_EQ(running, r.groups);
    EXPECT_EQ(defined, r.groups);
  }
}

// A variable condition (kind 1 common, 2 stage) comparing variable
// `number` with `constant` under `op`.
cCond VariableCondition(int8_t kind, uint16_t number, uint8_t op, int32_t constant) {
  cCond c;
  c.m_nKind = kind;
  c.m_nVarNumber = number;
  c.m_nOperator = op;
  c.m_nConstant = constant;
  return c;
}

// An "always" flow counts while common variable 1 is 0; a second one sets
// it to 1 once the count has reached 3 (both are started, their conditions
// tested, before either runs: the count reaches 4 first). Without "only
// once" the first flow's condition is tested at every start and it starts
// no more; with it, the condition that held once is not tested again and
// the flow counts on.
TEST(FlowRun, OnlyOnceConditionsAreNotTestedAgainOthersAreTestedAtEveryStart) {
  StageFlowsInstalled flows;
  constexpr uint8_t kEqual = 0, kAtLeast = 2;
  struct Row {
    uint8_t onlyOnce;
    int32_t count;  // stage variable 1 after 10 frames
  };
  for (const Row& r : {Row{0, 4}, Row{1, 10}}) {
    SCOPED_TRACE(testing::Message() << "only once " << int(r.onlyOnce));
    StageBuilder builder;
    builder.Floor(10, 0, 19).Hero(3, 9).Character(12, 9);
    cEdFlow count = Flow(kTriggerAlways, {Code("S1 = S1 + 1")});
    count.m_vConds = {VariableCondition(kCondCommonVariable, 1, kEqual, 0)};
    count.m_nOnlyOnce = r.onlyOnce;
    cEdFlow stop = Flow(kTriggerAlways, {Code("C1 = 1")});
    stop.m_vConds = {VariableCondition(kCondStageVariable, 1, kAtLeast, 3)};
    builder.Data().m_PlacedCharacters[1].m_vFlows = {count, stop};
    StageSession session(builder);
    ASSERT_TRUE(session.Loaded());
    session.Frames(10);
    EXPECT_EQ(SaveData.m_CommonVariables[1], 1);
    EXPECT_EQ(session.Scene().m_StageVariables[1], r.count);
  }
}

// Setting one current-object slot keeps the other two, on the running
// stage (the scene holds them) and with no stage (the host holds them).
TEST(FlowRun, SettingOneCurrentSlotKeepsTheOthers) {
  StageFlowsInstalled flows;
  cFlowState flowA, flowB;
  cCmdState commandA, commandB;
  auto check = [&](const char* where, cFlowActor* actorA, cFlowActor* actorB) {
    SetCurrentObjects({actorA, &flowA, &commandA});
    SetCurrentFlow(&flowB);
    EXPECT_EQ(CurrentObjects(), (cCurrentObjects{actorA, &flowB, &commandA})) << where;
    SetCurrentCommand(&commandB);
    EXPECT_EQ(CurrentObjects(), (cCurrentObjects{actorA, &flowB, &commandB})) << where;
    SetCurrentCharacter(actorB);
    EXPECT_EQ(CurrentObjects(), (cCurrentObjects{actorB, &flowB, &commandB})) << where;
    SetCurrentCharacter(nullptr);
    SetCurrentFlow(nullptr);
    SetCurrentCommand(nullptr);
    EXPECT_EQ(CurrentObjects(), cCurrentObjects{}) << where;
  };
  {
    StageBuilder builder;
    builder.Floor(10, 0, 19).Hero(3, 9);
    StageSession session(builder);
    ASSERT_TRUE(session.Loaded());
    cCharacter& hero = session.Scene().Hero();
    check("on the stage", &hero, nullptr);
    SetCurrentFlow(&flowA);
    EXPECT_EQ(session.Scene().CurrentFlow, &flowA);
    SetCurrentFlow(nullptr);
  }
  ASSERT_EQ(CurrentStageScene(), nullptr);  // the session's scene has gone
  FakeActorForSlots a, b;
  check("with no stage", &a, &b);
}

}  // namespace
