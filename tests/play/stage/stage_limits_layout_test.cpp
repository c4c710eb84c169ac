// What the game lays out for play: the set-up check takes and refuses the
// limit cases as the game does; the largest stages it takes are laid out
// whole (the scroll records, the block map with a block in its far corner,
// the hero there, a few frames played), and so are a 3,000 x 3,000 stage
// and one of 100,000 placed items; the scroll range of any column numbers
// stays in 32 bits. The set-up's reckoning follows what the set-up builds,
// and the characters of one type share its flows' preparation.
#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <utility>

#include "data/inheritance.h"
#include "data/labels.h"
#include "flow/flow_state.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/hero.h"
#include "play/objects/stage_character.h"
#include "play/world/stage_limits.h"
#include "play/world/stage_scene.h"
#include "support/alloc_counter.h"
#include "support/stage_builder.h"
#include "support/stage_limit_cases.h"

namespace {

TEST(StageLimitsLayoutTest, TheSetUpCheckTakesAndRefusesTheLimitCases) {
  std::vector<StageLimitCase> cases = StageLimitCases();
  cases.push_back({"its defaults", [](cStageData& s) { s = cStageData(); }, "its width (0 blocks) is not 1 to 32768"});
  for (const StageLimitCase& c : cases) {
    SCOPED_TRACE(c.what);
    cStageData stage = StageWithinLimits();
    c.change(stage);
    const std::string why = StageSetUpProblem(stage);
    if (c.refusal)
      EXPECT_NE(why.find(c.refusal), std::string::npos) << why;
    else
      EXPECT_EQ(why, "");
  }
}

TEST(StageLimitsLayoutTest, TheLargestStagesLayOutWhole) {
  const std::pair<int32_t, int32_t> sizes[] = {{32768, 256}, {256, 32768}, {32768, 1}, {1, 32768}, {1, 1}, {3000, 3000}};
  for (const auto& [width, height] : sizes) {
    SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
    StageBuilder stage(width, height);
    stage.Hero(width - 1, height - 1).Block(width - 1, 0);
    StageSession session(stage);
    ASSERT_TRUE(session.Loaded());
    cStageScene& scene = session.Scene();
    EXPECT_EQ(std::pair(scene.m_ScrollX.m_nExtent, scene.m_ScrollY.m_nExtent), std::pair(width + 20, height + 20));
    EXPECT_EQ(std::pair(scene.m_ScrollX.m_nFullUpper, scene.m_ScrollY.m_nFullUpper),
              std::pair((width + 10) * 32, (height + 10) * 32));
    const cBlockMap& map = scene.BlockMap();
    ASSERT_EQ(std::pair(map.Columns(), map.Rows()), std::pair(width + 20, height + 20));
    EXPECT_TRUE(map.HasBlock(map.CellIndex(width - 1 + 10, 10)));
    ASSERT_TRUE(scene.HasHero());
    EXPECT_EQ(scene.Hero().m_nColumnLeft, width - 1 + 10);
    session.Frames(3);
    EXPECT_EQ(scene.m_nMode, kStageModePlay);
  }
}

TEST(StageLimitsLayoutTest, AStageOfAHundredThousandItemsPlays) {
  constexpr int32_t kItems = 100000, kColumns = 400;
  StageBuilder stage(kColumns, kItems / kColumns + 2);
  stage.Hero(0, kItems / kColumns + 1);
  for (int32_t i = 0; i < kItems; ++i) stage.Item(i % kColumns, i / kColumns);
  StageSession session(stage);
  ASSERT_TRUE(session.Loaded());
  EXPECT_EQ(session.Scene().m_ItemList.size(), static_cast<size_t>(kItems));
  session.Frames(2);
  EXPECT_EQ(session.Scene().m_nMode, kStageModePlay);
}

TEST(StageLimitsLayoutTest, TheScrollRangeOfAnyColumnsStaysInThirtyTwoBits) {
  cAutoScroll x;
  const struct {
    int32_t first, last, low, high;
  } cases[] = {
      {-32768, 32767, -32768 * 32 + 320, 32768 * 32 + 320},  // the ends a stage file may give
      {INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX},
      {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MAX},          // never ends before it starts
      {-5, -3, -5 * 32 + 320, -2 * 32 + 320},
  };
  for (const auto& c : cases) {
    x.SetRange(c.first, c.last, 1, 1);
    EXPECT_EQ(std::pair(x.rangeLow, x.rangeHigh), std::pair(c.low, c.high)) << c.first << " " << c.last;
  }
}

// A flow of `waits` waits, `moves` straight moves and one command with an
// anime, started only by a flow-control command.
cEdFlow FlowOf(int waits, int moves, uint8_t trigger = kTriggerOnlyByFlowControl) {
  cEdFlow flow;
  flow.m_nTrigger = trigger;
  for (int i = 0; i < waits; ++i) {
    cEdCmd wait;
    wait.m_nKind = kCmdWait;
    wait.m_nDuration = 10;
    flow.m_vCmds.push_back(wait);
  }
  for (int i = 0; i < moves; ++i) {
    cEdCmd move;
    move.m_nKind = kCmdMoveStraight;
    move.m_vParams.assign(static_cast<size_t>(CommandParameterWords(0, kCmdMoveStraight)), 0);
    cEdMove::Create(move.m_pMove);
    flow.m_vCmds.push_back(move);
  }
  cEdCmd anime;
  anime.m_nKind = kCmdPlayAnime;
  anime.m_nAnime = 1;
  flow.m_vCmds.push_back(anime);
  return flow;
}

// `count` computer characters (with `copies` copies each) holding `flows`,
// from (1, 1) on, 150 to a row. As the editor places a stage palette type:
// with `heirs` each takes the flows of a new type of the stage's palette
// (inherit group 36), as a stage file then holds them (once); else each
// holds a copy of its own.
void AddType(StageBuilder& stage, int count, const std::vector<cEdFlow>& flows, uint8_t copies = 0,
             bool heirs = false) {
  cEdCharacter type;
  type.m_nGraphic = 1;
  type.m_nControl = 1;
  type.m_nPlacedItem = -1;
  type.m_nParam7 = copies;
  type.m_vFlows = flows;
  cSafeVector<cEdCharacter>& palette = stage.Data().m_PaletteCharacters;
  if (heirs) {
    palette.resize(std::max<size_t>(palette.size(), 1));
    palette.push_back(type);
    type.m_nBaseKind = kPaletteStage;
    type.m_nBaseIndex = static_cast<uint16_t>(palette.size() - 1);
    type.m_vInherit[cEdCharacter::kFlowGroup] = 1;
  }
  const size_t first = stage.Data().m_PlacedCharacters.size();
  for (int i = 0; i < count; ++i) {
    cEdCharacter c = type;
    c.m_nWord1 = static_cast<uint16_t>(1 + (first + i) % 150);
    c.m_nWord2 = static_cast<uint16_t>(1 + (first + i) / 150);
    stage.Data().m_PlacedCharacters.push_back(c);
  }
}

// What the set-up check reckons and what SetStage builds (the most heap it
// holds at once, counted through operator new), for stages of each kind of
// object: the reckoning is never below it, and not far above.
TEST(StageLimitsLayoutTest, TheSetUpsReckoningFollowsWhatItBuilds) {
  if (!AllocationCountingAvailable()) GTEST_SKIP() << "the sanitizers own the allocator";
  struct Shape {
    const char* what;
    std::function<void(StageBuilder&)> fill;
  };
  const Shape shapes[] = {
      {"a block map of 1500 x 1500", [](StageBuilder& s) { s.Floor(1499, 0, 1499); }},
      {"20000 items", [](StageBuilder& s) { for (int i = 0; i < 20000; ++i) s.Item(i % 150, 2 + i / 150); }},
      {"2000 characters taking a type's 20 flows",
       [](StageBuilder& s) { AddType(s, 2000, std::vector<cEdFlow>(20, FlowOf(5, 2)), 0, true); }},
      {"300 characters of 20 flows each",
       [](StageBuilder& s) { AddType(s, 300, std::vector<cEdFlow>(20, FlowOf(5, 2))); }},
      {"200 characters of their own flows",
       [](StageBuilder& s) {
         for (int i = 0; i < 200; ++i) AddType(s, 1, std::vector<cEdFlow>(4, FlowOf(i % 7, i % 3)));
       }},
      {"40 characters of 100 copies with a loop of 3000 commands",
       [](StageBuilder& s) {
         cEdCmd loop;
         loop.m_nKind = kCmdLoop;
         loop.m_vParams = {1000, 3};
         cEdFlow flow = FlowOf(2, 0);
         flow.m_vCmds.insert(flow.m_vCmds.begin(), loop);
         AddType(s, 40, {flow}, 99, true);
       }},
  };
  StageFlowsInstalled running;
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.what);
    StageBuilder stage(1500, 1500);
    stage.Hero(0, 0);
    shape.fill(stage);
    StageSession session(stage);
    ASSERT_TRUE(session.Loaded());
    const cStageSetUpCost cost = EstimateStageSetUp(StageData, INT64_MAX);
    cStageScene fresh;
    g_lpStageScene = &fresh;
    StartCountingAllocations();
    fresh.SetStage(1, 1);
    const int64_t built = static_cast<int64_t>(StopCountingAllocations());
    g_lpStageScene = &session.Scene();
    EXPECT_EQ(cost.characters, static_cast<int64_t>(fresh.m_CharacterList.size() + 1));
    EXPECT_GE(cost.bytes, built);
    EXPECT_LE(cost.bytes, built + built / 5 + (1 << 20)) << "built " << built;
  }
}

// The characters that take a type's flows hold their preparation once; a
// character of flows of its own has its own.
TEST(StageLimitsLayoutTest, TheCharactersOfATypeShareItsPreparedFlows) {
  StageFlowsInstalled running;
  StageBuilder stage(160, 20);
  stage.Hero(0, 0);
  AddType(stage, 3, std::vector<cEdFlow>(5, FlowOf(1, 1)), 0, true);
  AddType(stage, 2, std::vector<cEdFlow>(2, FlowOf(2, 0)), 0, true);
  AddType(stage, 1, std::vector<cEdFlow>(3, FlowOf(2, 0)));
  StageSession session(stage);
  ASSERT_TRUE(session.Loaded());
  cStageScene& scene = session.Scene();
  std::set<const cEdFlow*> definitions;
  size_t states = 0;
  for (cStageCharacter& c : scene.m_CharacterList) {
    cActorFlows* flows = FindFlowsOfCharacter(c);
    ASSERT_NE(flows, nullptr);
    for (size_t i = 0; i < flows->Count(); ++i, ++states) definitions.insert(&flows->At(i).Definition());
  }
  EXPECT_EQ(states, 3u * 5 + 2u * 2 + 3u);
  EXPECT_EQ(definitions.size(), 5u + 2u + 3u);
  EXPECT_EQ(scene.m_PreparedFlows.Size(), 3u);
}

}  // namespace
