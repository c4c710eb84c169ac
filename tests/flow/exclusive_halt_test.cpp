// Exclusive numbers in a running stage: a flow stopped for good ("永久停止")
// gives its exclusive number back as a flow that ends does, so the next
// "always" flow of that number starts from the following frame.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/labels.h"
#include "play/world/stage_scene.h"
#include "support/flow_commands.h"
#include "support/stage_builder.h"

namespace {

using flowcmd::Code;
using flowcmd::Wait;

// "フローの操作": stop for good (5) the flow that runs it (scope 0), of the
// character itself.
cEdCmd HaltThisFlow() {
  cEdCmd c;
  c.m_nKind = kCmdFlowControl;
  c.m_vParams = {5, 0, 0, 0};
  return c;
}

cEdFlow Always(uint8_t exclusive, std::vector<cEdCmd> commands) {
  return flowcmd::Flow(kTriggerAlways, std::move(commands), exclusive);
}

// The hero runs two "always" flows of exclusive number 1. The first in the
// list starts with the stage (S1 counts its starts), waits two tenths of a
// second, notes the frame it stops itself for good in S3, and would then
// wait ten seconds more. The second counts its frames in S2: it is kept
// out while the first runs, also in the very frame the first is stopped,
// and runs from the next frame on, every frame; the stopped flow never
// starts again.
TEST(ExclusiveFlows, AFlowStoppedForGoodLetsTheNextFlowOfItsNumberStartTheFrameAfter) {
  StageFlowsInstalled flows;
  StageBuilder builder;
  builder.Floor(10, 0, 19).Hero(3, 9);
  builder.Data().m_PlacedCharacters.back().m_vFlows = {
      Always(1, {Code("S1 = S1 + 1"), Wait(2), Code("S3 = 1"), HaltThisFlow(), Wait(100)}),
      Always(1, {Code("S2 = S2 + 1")}),
  };
  StageSession session(builder);
  ASSERT_TRUE(session.Loaded());
  ASSERT_EQ(SubStepsPerFrame(), 1) << "one flow step a frame";
  const std::vector<int32_t>& s = session.Scene().m_StageVariables;

  int frames = 0;
  while (s[3] == 0 && frames < 60) {
    session.Frames(1);
    ++frames;
    ASSERT_EQ(s[2], 0) << "the second flow started at frame " << frames << ", while the first held the number";
  }
  ASSERT_EQ(s[3], 1) << "the first flow never stopped itself";
  EXPECT_GE(frames, 12) << "two tenths of a second pass first";

  session.Frames(1);
  EXPECT_EQ(s[2], 1) << "the frame after the stop, the second flow starts";
  session.Frames(3);
  EXPECT_EQ(s[2], 4) << "and runs every frame";
  EXPECT_EQ(s[1], 1) << "a flow stopped for good does not start again";
}

}  // namespace
