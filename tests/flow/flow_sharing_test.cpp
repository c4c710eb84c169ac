// The characters of one type share the preparation of its flows, and an
// arrange that changes a command of one character's flow changes that
// character's alone: what each sees is what a copy of its own would hold.
// And the unrolled command order that set-up counts is the list that
// preparation makes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/labels.h"
#include "flow/fake_flow_host.h"
#include "flow/flow_state.h"
#include "flow/status_ops.h"

namespace {

constexpr int32_t kShotPower = 27;  // the shot's operable parameter of its power

// [arrange: the next shot's power := 42, with the next command] [shot of
// power 2], started only by a flow-control command, with one key condition.
cEdFlow ArrangingFlow() {
  cEdCmd arrange = Cmd(kCmdArrange, 0, true, {kCmdShot, kShotPower, kOpSet, 9, 42});
  cEdCmd shot = Cmd(kCmdShot);
  shot.m_vParams.assign(static_cast<size_t>(CommandParameterWords(0, kCmdShot)), 0);
  cEdMove::Create(shot.m_pMove);
  cEdShot::Create(shot.m_pShot);
  shot.m_pShot->m_f49 = 2;
  cEdFlow flow = MakeFlow(kTriggerOnlyByFlowControl, {arrange, shot});
  flow.m_vKeys.emplace_back();
  return flow;
}

int32_t PowerOf(const cEdCmd& shot) {
  int32_t power = -1;
  EXPECT_TRUE(GetOperableParameter(shot, kShotPower, power));
  return power;
}
int32_t PowerOf(cActorFlows& flows) { return PowerOf(*flows.At(0).m_Commands[1].m_pCommand); }
int32_t PowerOf(FakeActor& actor) { return PowerOf(actor.flows); }

// The arrange queues its entry on the running flow, as the stage's executor
// does; the shot starts with it in the same sub-step.
void RunOnce(FakeActor& actor) {
  actor.flows.At(0).Start(&actor);
  actor.flows.StepFlows(&actor, 0);
}

TEST(FlowSharing, ATypesCharactersShareItsFlowsUntilAnArrangeChangesOnesCommand) {
  FakeFlowHost host;
  host.onExecute = [](FakeActor*, cCmdState& s) {
    if (s.m_pCommand->m_nKind == kCmdArrange) CurrentFlow()->m_PendingArranges.push_back(MakeArrangeEntry(*s.m_pCommand));
  };
  cPreparedFlowCache cache;
  const cSharedList<cEdFlow> type = std::vector<cEdFlow>{ArrangingFlow()};
  FakeActor a, b;
  a.flows.SetFlows(&a, *cache.Of(type), 0, -1);
  b.flows.SetFlows(&b, *cache.Of(type), 0, -1);
  EXPECT_EQ(cache.Size(), 1u);
  EXPECT_EQ(&a.flows.At(0).Definition(), &b.flows.At(0).Definition());
  EXPECT_EQ(&a.flows.At(0).Definition(), cache.Of(type)->definitions.at(0).get());

  RunOnce(a);
  EXPECT_EQ(PowerOf(a), 42);
  EXPECT_EQ(PowerOf(b), 2) << "the other character of the type";
  EXPECT_EQ(PowerOf(cache.Of(type)->definitions.at(0)->m_vCmds[1]), 2) << "the type's preparation";
  cFlowState& own = a.flows.At(0);
  EXPECT_FALSE(own.SharesDefinition());
  EXPECT_EQ(own.m_Commands[0].m_pCommand, &own.Definition().m_vCmds[0]);
  ASSERT_EQ(own.m_Keys.size(), 1u);
  EXPECT_EQ(own.m_Keys[0], &own.Definition().m_vKeys[0]) << "the keys follow the commands to the copy";

  // A definition of its own is changed in place.
  const cEdFlow* before = &own.Definition();
  RunOnce(a);
  EXPECT_EQ(&a.flows.At(0).Definition(), before);

  // A character of the type set up later sees the type's flows as prepared;
  // a copy of the changed character sees its change, and changes apart.
  FakeActor c;
  c.flows.SetFlows(&c, *cache.Of(type), 0, -1);
  EXPECT_EQ(PowerOf(c), 2);
  cActorFlows copy(a.flows);
  EXPECT_EQ(PowerOf(copy), 42);
  EXPECT_TRUE(a.flows.At(0).SharesDefinition());
  copy.At(0).CommandToChange(copy.At(0).m_Commands[1])->m_pShot->m_f49 = 7;
  EXPECT_EQ(PowerOf(copy), 7);
  EXPECT_EQ(PowerOf(a), 42);
  EXPECT_EQ(copy.At(0).CommandToChange(a.flows.At(0).m_Commands[1]), nullptr) << "a command of another flow";
}

// The list that preparation unrolls and the order that set-up counts, with
// what both have to say about loops they cannot unroll.
TEST(FlowSharing, TheUnrolledOrderIsTheListPreparationMakes) {
  constexpr uint8_t P = 1, Q = 2, W = 4;
  const auto loop = [](int32_t repeat, int32_t body) {
    return Cmd(kCmdLoop, 0, false, {static_cast<uint32_t>(repeat), static_cast<uint32_t>(body)});
  };
  struct Row {
    std::vector<cEdCmd> list;
    std::vector<uint32_t> order;
    size_t notes;
  } rows[] = {
      {{Cmd(P), Cmd(Q)}, {0, 1}, 0},
      {{loop(3, 2), Cmd(P), Cmd(Q), Cmd(W)}, {1, 2, 1, 2, 1, 2, 3}, 0},
      {{loop(2, 2), loop(2, 1), Cmd(W)}, {2, 2, 2, 2}, 0},  // the inner loop, copied, unrolls in each copy
      {{Cmd(P), loop(2, 2), loop(3, 1), Cmd(W), Cmd(Q)}, {0, 3, 3, 3, 3, 3, 3, 4}, 0},
      {{loop(2000000000, 1), Cmd(P), loop(65536, 1), Cmd(Q)}, {1, 3}, 2},
  };
  for (const Row& row : rows) {
    FakeFlowHost host;
    std::vector<std::string> notes;
    EXPECT_EQ(UnrolledCommandOrder(row.list, notes), row.order);
    EXPECT_EQ(notes.size(), row.notes);
    std::vector<cEdCmd> prepared = row.list;
    PrepareFlowCommands(prepared);
    ASSERT_EQ(prepared.size(), row.order.size());
    for (size_t i = 0; i < prepared.size(); ++i) EXPECT_EQ(prepared[i].m_nKind, row.list[row.order[i]].m_nKind);
    EXPECT_EQ(host.errors, notes);
    // A preparation keeps its notes, and a state built on it says them.
    const cPreparedFlows flows = PrepareFlows({MakeFlow(kTriggerAlways, {Cmd(P)}), MakeFlow(kTriggerAlways, row.list)});
    std::vector<std::string> kept;
    for (const auto& [flow, text] : flows.notes) {
      EXPECT_EQ(flow, 1u) << "the second flow's";
      kept.push_back(text);
    }
    EXPECT_EQ(kept, notes);
    EXPECT_EQ(flows.definitions.at(1)->m_vCmds.size(), row.order.size());
    host.errors.clear();
    FakeActor actor;
    actor.flows.SetFlows(&actor, flows, 0, -1);
    EXPECT_EQ(host.errors, notes);
  }
}

}  // namespace
