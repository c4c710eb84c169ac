#include <gtest/gtest.h>

#include <functional>

#include "flow/flow_state.h"
#include "flow/fake_flow_host.h"

namespace {

constexpr uint8_t kCount = 37;  // the executor below adds 1 to common variable 1
constexpr uint8_t kWait = 1;    // does nothing

std::vector<int> Kinds(const std::vector<cEdCmd>& commands) {
  std::vector<int> kinds;
  for (const cEdCmd& c : commands) kinds.push_back(c.m_nKind);
  return kinds;
}

cEdCmd Loop(int32_t repeat, int32_t body) {
  return Cmd(kCmdLoop, 0, false, {static_cast<uint32_t>(repeat), static_cast<uint32_t>(body)});
}

TEST(FlowPreparation, LoopsUnrollInPlace) {
  constexpr int P = 1, Q = 2, R = 3, W = 4;
  struct Row {
    std::vector<cEdCmd> list;
    std::vector<int> expected;
  } rows[] = {
      {{Loop(3, 2), Cmd(P), Cmd(Q), Cmd(R)}, {P, Q, P, Q, P, Q, R}},
      {{Loop(3, 5), Cmd(P), Cmd(Q), Cmd(R)}, {P, Q, R, P, Q, R, P, Q, R}},  // body clamped to 3
      {{Loop(0, 2), Cmd(P), Cmd(Q), Cmd(R)}, {P, Q, R}},
      {{Loop(1, 2), Cmd(P), Cmd(Q), Cmd(R)}, {P, Q, R}},
      {{Loop(-4, 2), Cmd(P), Cmd(Q), Cmd(R)}, {P, Q, R}},
      {{Loop(2, 2), Loop(2, 1), Cmd(W)}, {W, W, W, W}},  // nested
      {{Cmd(P), Loop(2, 0), Cmd(Q)}, {P, Q}},
      // A count that would need billions of commands keeps the body once.
      {{Loop(2000000000, 1), Cmd(P), Loop(65536, 1), Cmd(Q)}, {P, Q}},
  };
  for (Row& row : rows) {
    PrepareFlowCommands(row.list);
    EXPECT_EQ(Kinds(row.list), row.expected);
  }
}

// One frame of play for `actor`: its per-frame flags cleared, then per
// sub-step the "always" flows started and every flow stepped.
void Frame(FakeFlowHost& host, FakeActor& actor) {
  actor.flows.ClearFrameFlags();
  for (int32_t s = 0; s < host.subSteps; ++s) {
    actor.flows.TriggerFlows(&actor, kTriggerAlways, nullptr, 0);
    actor.flows.StepFlows(&actor, 0);
  }
}

TEST(FlowRuntime, WaitThenCountRestartsAfterItsLastCommand) {
  // An "always" flow [wait 1.0 s, count]. The wait lasts 10 x 6 x s
  // sub-steps; it starts and takes its first sub-step in the sub-step the
  // flow starts, so it runs out at sub-step 60s of the cycle. The count
  // starts in the next sub-step (60s + 1) and ends the flow there; the flow
  // starts again in the sub-step after. One count per 60s + 1 sub-steps:
  // after f frames (f x s sub-steps) the count is floor(f s / (60 s + 1)).
  struct Row {
    int32_t subSteps, frames, expected;
  } rows[] = {{1, 60, 0}, {1, 61, 1}, {1, 600, 9}, {2, 60, 0}, {2, 61, 1}, {2, 600, 9}, {3, 610, 10}};
  for (const Row& row : rows) {
    FakeFlowHost host;
    host.subSteps = row.subSteps;
    host.onExecute = [&](FakeActor*, cCmdState& s) {
      if (s.m_pCommand->m_nKind == kCount) ++host.common[1];
    };
    FakeActor actor;
    actor.flows.SetFlows(&actor, {MakeFlow(kTriggerAlways, {Cmd(kWait, 10), Cmd(kCount)})}, 0, -1);
    for (int32_t f = 0; f < row.frames; ++f) Frame(host, actor);
    EXPECT_EQ(host.common[1], row.expected) << row.subSteps << " sub-steps, " << row.frames << " frames";
  }
}

TEST(FlowRuntime, RunTogetherCommandsShareASubStep) {
  struct Row {
    bool together;
    int32_t steps, expected;
  } rows[] = {{false, 1, 1}, {false, 3, 3}, {true, 1, 3}};
  for (const Row& row : rows) {
    FakeFlowHost host;
    host.onExecute = [&](FakeActor*, cCmdState&) { ++host.common[1]; };
    FakeActor actor;
    const cEdCmd c = Cmd(kCount, 0, row.together);
    actor.flows.SetFlows(&actor, {MakeFlow(kTriggerOnlyByFlowControl, {c, c, c})}, 0, -1);
    actor.flows.At(0).Start(&actor);
    for (int32_t i = 0; i < row.steps; ++i) actor.flows.StepFlows(&actor, 0);
    EXPECT_EQ(host.common[1], row.expected);
  }
}

// Step reports the end of a flow whose last command has run, also when it
// is stepped again before anyone stops it (the commands do not run again),
// and only then: the last command's own flag is consulted once the flow's
// run has reached it.
TEST(FlowRuntime, StepReportsTheEndOnceTheLastCommandHasRun) {
  FakeFlowHost host;
  host.onExecute = [&](FakeActor*, cCmdState&) { ++host.common[1]; };
  FakeActor actor;
  actor.flows.SetFlows(&actor, {MakeFlow(kTriggerOnlyByFlowControl, {Cmd(kCount), Cmd(kCount), Cmd(kCount)})}, 0, -1);
  cFlowState& flow = actor.flows.At(0);
  flow.Start(&actor);
  const int expected[] = {0, 0, 1, 1, 1};
  const int counts[] = {1, 2, 3, 3, 3};
  cCurrentObjectsGuard guard;
  for (int i = 0; i < 5; ++i) {
    SetCurrentObjects({&actor, &flow, nullptr});
    EXPECT_EQ(flow.Step(), expected[i]) << "step " << i;
    EXPECT_EQ(host.common[1], counts[i]) << "step " << i;
  }
}

TEST(FlowRuntime, NestedTriggerPutsTheRunningSlotsBack) {
  FakeFlowHost host;
  FakeActor runner, other;
  cCurrentObjects seenBefore, seenAfter;
  host.onExecute = [&](FakeActor* actor, cCmdState& s) {
    if (actor == &runner) {
      seenBefore = CurrentObjects();
      other.flows.TriggerFlows(&other, kTriggerDamaged, &runner, 0);  // e.g. a hit caused by this command
      seenAfter = CurrentObjects();
    } else {
      ++host.common[2];
    }
  };
  runner.flows.SetFlows(&runner, {MakeFlow(kTriggerAlways, {Cmd(kWait, 1)})}, 0, -1);
  other.flows.SetFlows(&other, {MakeFlow(kTriggerDamaged, {Cmd(kWait)})}, 0, -1);
  Frame(host, runner);
  other.flows.StepFlows(&other, 0);
  EXPECT_EQ(seenBefore.character, &runner);
  EXPECT_EQ(seenBefore.flow, &runner.flows.At(0));
  EXPECT_NE(seenBefore.command, nullptr);
  EXPECT_EQ(seenAfter, seenBefore);
  EXPECT_EQ(host.common[2], 1);
}

TEST(FlowRuntime, FlowChangeReplacesOneGroupInPlace) {
  FakeFlowHost host;
  FakeActor actor;
  actor.flows.SetFlows(&actor,
                       {MakeFlow(kTriggerAlways, {Cmd(kWait, 5)}, 1), MakeFlow(kTriggerAlways, {Cmd(kWait)}, 2),
                        MakeFlow(kTriggerDamaged, {Cmd(kWait)}, 2), MakeFlow(kTriggerAlways, {Cmd(kWait)}, 3)},
                       0, -1);
  Frame(host, actor);
  cFlowState* groupA = &actor.flows.At(0);
  ASSERT_TRUE(groupA->m_bRunning);
  cEdCmd change = Cmd(1, 0, false, {1, 2});
  change.m_nFamily = 1;
  change.m_vFlows = {MakeFlow(kTriggerDied, {Cmd(kWait)}, 4), MakeFlow(kTriggerDied, {Cmd(kWait)}, 4)};
  ExecuteChangeFlow(&actor, change, 1);
  std::vector<int> groups, serials;
  for (size_t i = 0; i < actor.flows.Count(); ++i) {
    groups.push_back(actor.flows.At(i).Definition().m_nGroup);
    serials.push_back(actor.flows.At(i).m_nFlowId);
  }
  EXPECT_EQ(groups, (std::vector<int>{1, 4, 4, 3}));
  // New flows take the next numbers of the character's one flow counter:
  // no number of a flow it had is given again (anime runs go by them).
  EXPECT_EQ(serials, (std::vector<int>{0, 4, 5, 3}));
  EXPECT_EQ(&actor.flows.At(0), groupA);
  EXPECT_TRUE(groupA->m_bRunning);
  EXPECT_EQ(actor.flows.At(1).m_nIndex, 1);
  // Group 0 replaces everything.
  change.m_vParams = {1, 0};
  ExecuteChangeFlow(&actor, change, 1);
  EXPECT_EQ(actor.flows.Count(), 2u);
}

TEST(FlowRuntime, StageStartFlowStartingItselfRunsOnce) {
  FakeFlowHost host;
  FakeActor actor;
  host.onExecute = [&](FakeActor* a, cCmdState&) {
    ++host.common[1];
    CurrentFlow()->Start(a);  // restart of the flow running its instant commands
  };
  actor.flows.SetFlows(&actor, {MakeFlow(kTriggerBeforeStageStart, {Cmd(kCount, 0, true), Cmd(kCount, 0, true)})},
                       0, -1);
  actor.flows.TriggerFlows(&actor, kTriggerBeforeStageStart, nullptr, 0);
  EXPECT_EQ(host.common[1], 2);
  EXPECT_FALSE(actor.flows.At(0).m_bRunning);
  EXPECT_EQ(CurrentObjects(), cCurrentObjects{});
}

TEST(FlowTriggers, AnExclusiveNumberLetsOneAlwaysFlowStart) {
  FakeFlowHost host;
  FakeActor actor;
  std::vector<int> ran;
  host.onExecute = [&](FakeActor*, cCmdState& s) { ran.push_back(s.m_pCommand->m_nKind); };
  actor.flows.SetFlows(&actor, {MakeFlow(kTriggerAlways, {Cmd(11, 1)}, 0, 7), MakeFlow(kTriggerAlways, {Cmd(12)}, 0, 7),
                                MakeFlow(kTriggerAlways, {Cmd(13)}, 0, 8)},
                       0, -1);
  // 11 lasts 6 sub-steps and holds number 7 meanwhile; once it has ended
  // and is held back, the other flow of number 7 starts.
  for (int f = 0; f < 6; ++f) Frame(host, actor);
  actor.flows.At(0).Pause();
  Frame(host, actor);
  EXPECT_EQ(ran, (std::vector<int>{11, 13, 11, 13, 11, 13, 11, 13, 11, 13, 11, 13, 12, 13}));
}

TEST(FlowTriggers, GroupAndRunningFlowsAreRespected) {
  FakeFlowHost host;
  FakeActor actor;
  actor.flows.SetFlows(&actor, {MakeFlow(kTriggerDamaged, {Cmd(kWait, 1)}, 3), MakeFlow(kTriggerDamaged, {Cmd(kWait, 1)}, 5)},
                       0, -1);
  actor.flows.TriggerFlows(&actor, kTriggerDamaged, nullptr, 3);
  EXPECT_TRUE(actor.flows.At(0).m_bRunning);
  EXPECT_FALSE(actor.flows.At(1).m_bRunning);
  actor.flows.TriggerFlows(&actor, kTriggerDamaged, nullptr, 0);
  EXPECT_TRUE(actor.flows.At(1).m_bRunning);
  actor.flows.At(0).m_nFrameCounter = 5;
  actor.flows.ClearFrameFlags();
  actor.flows.TriggerFlows(&actor, kTriggerDamaged, nullptr, 0);
  EXPECT_EQ(actor.flows.At(0).m_nFrameCounter, 5);  // not restarted
}

TEST(FlowTriggers, TargetingTheRaiserIsUndoneWhenConditionsFail) {
  FakeFlowHost host;
  FakeActor self, old, raiser;
  self.targets[1] = &old;
  cEdFlow flow = MakeFlow(kTriggerTouchedCharacter, {Cmd(kWait, 1)});
  flow.m_nTargetOther = 1;
  flow.m_nTargetSlot = 1;
  cCond c;
  c.m_nKind = 1;  // common variable 1 == 5
  c.m_nVarNumber = 1;
  c.m_nConstant = 5;
  flow.m_vConds = {c};
  self.flows.SetFlows(&self, {flow}, 0, -1);
  self.flows.TriggerFlows(&self, kTriggerTouchedCharacter, &raiser, 0);
  EXPECT_EQ(self.targets[1], &old);
  EXPECT_FALSE(self.flows.At(0).m_bRunning);
  host.common[1] = 5;
  self.flows.ClearFrameFlags();
  self.flows.TriggerFlows(&self, kTriggerTouchedCharacter, &raiser, 0);
  EXPECT_EQ(self.targets[1], &raiser);
  EXPECT_TRUE(self.flows.At(0).m_bRunning);
}

// Which flows a trigger starts follows the flow list through every change:
// flows added, one group replaced or removed, all removed, the list copied
// with its character; kinds outside the stored byte range start nothing.
TEST(FlowTriggers, TriggerKindsFollowTheFlowListThroughChanges) {
  FakeFlowHost host;
  FakeActor actor;
  actor.flows.SetFlows(&actor, {MakeFlow(kTriggerDamaged, {Cmd(kWait, 1)}, 1), MakeFlow(kTriggerBlockBelow, {Cmd(kWait, 1)}, 2)},
                       0, -1);
  auto running = [](cActorFlows& flows) {
    std::vector<int> on;
    for (size_t i = 0; i < flows.Count(); ++i) on.push_back(flows.At(i).m_bRunning);
    return on;
  };
  auto raise = [&](cActorFlows& flows, FakeActor& self, int32_t kind) {
    flows.ClearFrameFlags();
    flows.TriggerFlows(&self, kind, nullptr, 0);
  };
  cEdCmd change = Cmd(1, 0, false, {0, 0});
  change.m_nFamily = 1;
  struct Step {
    const char* what;
    std::function<void()> act;
    int32_t kind;
    std::vector<int> expected;
  } steps[] = {
      {"no flow of the kind", [] {}, kTriggerDied, {0, 0}},
      {"a kind beyond a byte", [] {}, 256 + kTriggerDamaged, {0, 0}},
      {"a negative kind", [] {}, -1, {0, 0}},
      {"flows added",
       [&] {
         change.m_vParams = {0, 0};
         change.m_vFlows = {MakeFlow(kTriggerDied, {Cmd(kWait, 1)}, 3)};
         ExecuteChangeFlow(&actor, change, 1);
       },
       kTriggerDied, {0, 0, 1}},
      {"a group replaced",
       [&] {
         change.m_vParams = {1, 1};
         change.m_vFlows = {MakeFlow(kTriggerHitByShot, {Cmd(kWait, 1)}, 4)};
         ExecuteChangeFlow(&actor, change, 1);
       },
       kTriggerHitByShot, {1, 0, 1}},
      {"the replaced kind is gone", [] {}, kTriggerDamaged, {1, 0, 1}},
      {"a group removed",
       [&] {
         change.m_vParams = {2, 2};
         ExecuteChangeFlow(&actor, change, 1);
       },
       kTriggerBlockBelow, {1, 1}},
  };
  for (Step& step : steps) {
    step.act();
    raise(actor.flows, actor, step.kind);
    EXPECT_EQ(running(actor.flows), step.expected) << step.what;
  }
  // A copied character's flow list keeps the trigger kinds of its flows, so
  // the copy starts the same flows as the character it was copied from.
  for (size_t i = 0; i < actor.flows.Count(); ++i) actor.flows.At(i).Stop();
  FakeActor copy;
  cActorFlows copied(actor.flows);
  raise(copied, copy, kTriggerDied);
  EXPECT_EQ(running(copied), (std::vector<int>{0, 1}));
  // Everything removed: no trigger reaches a flow.
  actor.flows.RemoveFlowGroup(&actor, 0);
  raise(actor.flows, actor, kTriggerHitByShot);
  EXPECT_EQ(actor.flows.Count(), 0u);
}

// A flow started in a frame is not started again in that frame, even once
// it has ended; the next frame (its flags cleared) starts it again. The
// flags travel with a copy of the list.
TEST(FlowTriggers, AFlowStartsOnceAFrameUntilTheFlagsAreCleared) {
  FakeFlowHost host;
  FakeActor actor;
  int starts = 0;
  host.onExecute = [&](FakeActor*, cCmdState&) { ++starts; };
  actor.flows.SetFlows(&actor, {MakeFlow(kTriggerDamaged, {Cmd(kCount)})}, 0, -1);
  struct Row {
    bool clearFirst;
    int expectedStarts;
  } rows[] = {{false, 1}, {false, 1}, {true, 2}, {false, 2}, {true, 3}};
  actor.flows.ClearFrameFlags();
  for (const Row& row : rows) {
    if (row.clearFirst) actor.flows.ClearFrameFlags();
    actor.flows.TriggerFlows(&actor, kTriggerDamaged, nullptr, 0);
    actor.flows.StepFlows(&actor, 0);  // the one-command flow ends here
    EXPECT_FALSE(actor.flows.At(0).m_bRunning);
    EXPECT_EQ(starts, row.expectedStarts);
  }
  cActorFlows copied(actor.flows);
  FakeActor copy;
  copied.TriggerFlows(&copy, kTriggerDamaged, nullptr, 0);
  EXPECT_FALSE(copied.At(0).m_bRunning);  // still flagged for this frame
  copied.ClearFrameFlags();
  copied.TriggerFlows(&copy, kTriggerDamaged, nullptr, 0);
  EXPECT_TRUE(copied.At(0).m_bRunning);
}

// A frame's clearing counts on instead of visiting each flow: when the
// count comes round, a flow flagged at its first value long ago must not
// read as flagged again.
TEST(FlowTriggers, TheFrameFlagsStayClearWhenTheirCountComesRound) {
  FakeFlowHost host;
  FakeActor actor;
  int starts = 0;
  host.onExecute = [&](FakeActor*, cCmdState&) { ++starts; };
  actor.flows.SetFlows(&actor, {MakeFlow(kTriggerDamaged, {Cmd(kCount)}), MakeFlow(kTriggerBlockBelow, {Cmd(kCount)})},
                       0, -1);
  const auto raise = [&](int32_t kind) {
    actor.flows.TriggerFlows(&actor, kind, nullptr, 0);
    actor.flows.StepFlows(&actor, 0);
  };
  raise(kTriggerBlockBelow);  // flagged at the first count
  EXPECT_EQ(starts, 1);
  actor.flows.m_nFrameEpoch = UINT32_MAX;  // four billion frames on
  raise(kTriggerDamaged);
  EXPECT_EQ(starts, 2);
  raise(kTriggerDamaged);  // once a frame
  EXPECT_EQ(starts, 2);
  actor.flows.ClearFrameFlags();  // the count comes round
  raise(kTriggerBlockBelow);
  raise(kTriggerDamaged);
  EXPECT_EQ(starts, 4);
  raise(kTriggerBlockBelow);
  EXPECT_EQ(starts, 4);
}

}  // namespace
