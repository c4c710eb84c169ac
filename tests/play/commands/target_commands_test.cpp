// Target slots, object states, vanish and item get on stages built in code.
#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <vector>

#include "data/inheritance.h"
#include "data/item.h"
#include "data/labels.h"
#include "data/move_shot.h"
#include "flow/conditions.h"
#include "play/commands/commands.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/hero.h"
#include "play/objects/shot.h"
#include "play/objects/stage_character.h"
#include "play/world/stage_scene.h"
#include "support/stage_builder.h"

namespace {

cEdCmd Command(int kind, std::vector<uint32_t> words) {
  cEdCmd c;
  c.m_nKind = static_cast<uint8_t>(kind);
  c.m_vParams = std::move(words);
  c.m_vParams.resize(16, 0);
  return c;
}

// Hero (side 1) at column 2; characters of side 1 at columns 6 and 12, of
// side 2 at 9, in this list order.
StageBuilder Field() {
  StageBuilder b(20, 15);
  b.Floor(10, 0, 19).Hero(2, 9).Character(6, 9).Character(12, 9).Character(9, 9);
  auto& placed = b.Data().m_PlacedCharacters;
  for (size_t i = 1; i < placed.size(); ++i) placed[i].m_nParam40 = 10;
  placed[1].m_nParam50 = placed[2].m_nParam50 = 1;
  placed[3].m_nParam50 = 2;
  return b;
}

cCharacter& Nth(cStageScene& scene, size_t n) { return *std::next(scene.m_CharacterList.begin(), n); }

}  // namespace

TEST(TargetCommands, SetTargetChoosesAndKeepsOrEmptiesTheSlot) {
  StageBuilder b = Field();
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cStageScene& scene = s.Scene();
  cHero& hero = scene.Hero();
  cCharacter* col6 = &Nth(scene, 0);
  cCharacter* col12 = &Nth(scene, 1);
  cCharacter* side2 = &Nth(scene, 2);
  col6->Definition().m_nParam35 = 1;  // invincibility 1
  struct Case {
    std::vector<uint32_t> words;  // slot, what, side, all sides, range, not self, not invincible 1 ...
    cCharacter* before;
    cCharacter* after;
  };
  const std::vector<Case> cases = {
      {{1, 2, 1, 0, 1, 1}, nullptr, col6},                // nearest of side 1 but itself
      {{1, 2, 1, 0, 1}, nullptr, &hero},                  // the hero is of side 1 too
      {{1, 2, 1, 1, 1, 1}, nullptr, col6},                // all sides
      {{1, 3, 2, 0, 1}, nullptr, side2},                  // first of side 2
      {{1, 3, 1, 0, 1, 1, 1}, nullptr, col12},            // filters: invincible 1 passed over
      {{1, 2, 5, 0, 1}, col6, nullptr},                   // none found: emptied
      {{1, 2, 5, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, col6, col6},  // none found: kept
      {{2, 8, 0, 0, 0}, nullptr, col6},                   // copy of slot 1
      {{1, 1, 0, 0, 0}, nullptr, &hero},                  // itself
  };
  for (const Case& c : cases) {
    SetTargetSlot(hero, static_cast<int32_t>(c.words[0]), c.before, 1);
    ExecuteSetTarget(hero, Command(kCmdSetTarget, c.words));
    EXPECT_EQ(hero.m_Targets[c.words[0]], c.after) << c.words[1] << "/" << c.words[2];
  }
}

// In a running stage a character's "always" flow sets its target slot 1 and
// then charges at what it holds. Two characters of side 3 stand to its
// left and above right; the one on the left, though nearer, is absent (its
// appearance condition fails). The nearest search takes present characters
// only; the first search takes the first of the side in list order, present
// or not. The charge then goes for the one found: a flying charger on both
// axes, a walking one along x, a flying one that ignores x along y alone.
TEST(TargetCommands, AFlowSetsItsTargetAndChargesAtItOnARunningStage) {
  StageFlowsInstalled flows;
  enum Found { kAbsentLeft, kPresentAboveRight };
  const struct {
    const char* what;
    uint32_t search;  // word 1: 2 the nearest, 3 the first
    bool flies, ignoreX;
    Found found;
  } cases[] = {
      {"nearest, flying", 2, true, false, kPresentAboveRight},
      {"first, flying", 3, true, false, kAbsentLeft},
      {"nearest, walking", 2, false, false, kPresentAboveRight},
      {"nearest, flying, up and down only", 2, true, true, kPresentAboveRight},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StageBuilder b(20, 15);
    b.Floor(10, 0, 19).Hero(2, 9).Character(10, c.flies ? 5 : 9).Character(8, 5).Character(15, 2);
    auto& placed = b.Data().m_PlacedCharacters;
    for (size_t k = 1; k < placed.size(); ++k) placed[k].m_nParam40 = 10;
    cEdCharacter& charger = placed[1];
    charger.m_nParam33 = c.flies ? 1 : 0;
    cEdCmd setTarget = Command(kCmdSetTarget, {0, c.search, 3, 0, 1});
    cEdCmd charge = Command(kCmdMoveCharge, {});
    cEdMove::Create(charge.m_pMove);
    charge.m_pMove->SetSpeedStart(20);  // 2 dots a frame
    charge.m_pMove->m_f15 = c.ignoreX ? 1 : 0;
    charge.m_nDuration = 10;  // a second
    cEdFlow flow;
    flow.m_nTrigger = kTriggerAlways;
    flow.m_vCmds = {setTarget, charge};
    charger.m_vFlows = {flow};
    cCond absent;
    absent.m_nKind = kCondCommonVariable;
    absent.m_nConstant = 1;  // common variable 0 is 0 on a fresh stage
    for (size_t k : {size_t{2}, size_t{3}}) {
      placed[k].m_nParam50 = 3;
      placed[k].m_nParam33 = 1;  // they hover where they are placed
    }
    placed[2].m_vConds = {absent};
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    cStageScene& scene = s.Scene();
    cCharacter& mover = Nth(scene, 0);
    cCharacter* expected = &Nth(scene, c.found == kAbsentLeft ? 1 : 2);
    const double x0 = mover.m_dX, y0 = mover.m_dY;
    s.Frames(20);
    ASSERT_EQ(Nth(scene, 1).m_bPresent, 0);
    EXPECT_EQ(mover.m_Targets[0], expected);
    const double dx = mover.m_dX - x0, dy = mover.m_dY - y0;
    if (c.ignoreX) {
      EXPECT_EQ(dx, 0);
    } else if (c.found == kAbsentLeft) {
      EXPECT_LT(dx, -16);
    } else {
      EXPECT_GT(dx, 16);
    }
    // The walker keeps to the floor (it settles onto it as the stage starts).
    if (!c.flies) EXPECT_LT(std::abs(dy), 1);
    else if (c.found == kPresentAboveRight) EXPECT_LT(dy, -8);
    else EXPECT_EQ(dy, 0);
  }
}

// A walking character charges at, or homes in on, the character its flow
// just put in its target slot 1, which hovers well above it and to its
// right: it walks along x alone at the command's whole speed (2 dots a
// frame), not at the share of it that a slanted aim would leave to x.
TEST(TargetCommands, AWalkerAimingAtATargetAboveItWalksAtTheCommandsWholeSpeed) {
  StageFlowsInstalled flows;
  for (const uint8_t kind : {uint8_t{kCmdMoveCharge}, uint8_t{kCmdMoveHoming}}) {
    SCOPED_TRACE(kind == kCmdMoveCharge ? "charge" : "homing");
    StageBuilder b(20, 15);
    b.Floor(10, 0, 19).Hero(2, 9).Character(6, 9).Character(16, 4);
    auto& placed = b.Data().m_PlacedCharacters;
    for (size_t k = 1; k < placed.size(); ++k) placed[k].m_nParam40 = 10;
    placed[2].m_nParam50 = 3;
    placed[2].m_nParam33 = 1;  // it hovers where it is placed
    cEdCmd move = Command(kind, {});
    cEdMove::Create(move.m_pMove);
    move.m_pMove->SetSpeedStart(20);  // 2 dots a frame
    move.m_nDuration = 20;            // two seconds
    cEdFlow flow;
    flow.m_nTrigger = kTriggerAlways;
    flow.m_vCmds = {Command(kCmdSetTarget, {0, 2, 3, 0, 1}), move};
    placed[1].m_vFlows = {flow};
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    cStageScene& scene = s.Scene();
    cCharacter& walker = Nth(scene, 0);
    s.Frames(5);
    ASSERT_EQ(walker.m_Targets[0], &Nth(scene, 1));
    const double x0 = walker.m_dX, y0 = walker.m_dY;
    s.Frames(20);
    EXPECT_DOUBLE_EQ(walker.m_dX - x0, 40.0);
    EXPECT_LT(std::abs(walker.m_dY - y0), 1) << "it keeps to the floor";
  }
}

// A character's "always" flow sets its target slot 1 from the side it
// belongs to itself (side 3, where a second character stands four columns
// away): it is the nearest to its own centre and the first of the side in
// list order. With "not itself" (word 5) both searches take the other
// character; without it, the character itself.
TEST(TargetCommands, NotItselfLeavesTheSearchingCharacterOutOfItsOwnSide) {
  StageFlowsInstalled flows;
  const struct {
    const char* what;
    uint32_t search;  // word 1: 2 the nearest, 3 the first
    uint32_t notItself;
    bool other;
  } cases[] = {
      {"nearest", 2, 0, false},
      {"nearest, not itself", 2, 1, true},
      {"first", 3, 0, false},
      {"first, not itself", 3, 1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StageBuilder b(20, 15);
    b.Floor(10, 0, 19).Hero(2, 9).Character(8, 9).Character(12, 9);
    auto& placed = b.Data().m_PlacedCharacters;
    for (size_t k = 1; k < placed.size(); ++k) {
      placed[k].m_nParam40 = 10;
      placed[k].m_nParam50 = 3;
    }
    cEdFlow flow;
    flow.m_nTrigger = kTriggerAlways;
    flow.m_vCmds = {Command(kCmdSetTarget, {0, c.search, 3, 0, 1, c.notItself})};
    placed[1].m_vFlows = {flow};
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    cStageScene& scene = s.Scene();
    cCharacter& searcher = Nth(scene, 0);
    s.Frames(2);
    EXPECT_EQ(searcher.m_Targets[0], c.other ? &Nth(scene, 1) : &searcher);
  }
}

// A slot never outlives the object in it (ASan watches the freed character);
// vanish states, the hero's vanish killing it.
TEST(TargetCommands, ObjectStatesAndSlotsOfTargetsThatGo) {
  StageBuilder b = Field();
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cStageScene& scene = s.Scene();
  cCharacter& a = Nth(scene, 0);
  cCharacter& victim = Nth(scene, 1);
  ExecuteStatusOperation2(a, Command(kCmdStatus2, {0, 5, 2, 0, 0}));  // scale 2
  EXPECT_EQ(a.m_nWidth, a.m_nBaseWidth * 2);
  ExecuteStatusOperation2(a, Command(kCmdStatus2, {0, 4, 2, 0, 0}));
  EXPECT_EQ(a.Definition().Invincibility(), 2);
  SetTargetSlot(scene.Hero(), 2, &victim, 1);
  SetTargetSlot(a, 3, &victim, 1);
  SetTargetSlot(a, 0, &scene.Hero(), 1);
  ExecuteStatusOperation2(a, Command(kCmdStatus2, {4, 0, 0, 0, 0}));
  EXPECT_EQ(victim.m_bRemoved, 1);
  EXPECT_EQ(scene.m_bLifeCheck, 1);
  s.Frames(2);
  EXPECT_EQ(scene.Hero().m_Targets[2], nullptr);
  EXPECT_EQ(a.m_Targets[3], nullptr);
  ExecuteStatusOperation2(a, Command(kCmdStatus2, {1, 0, 0, 0, 0}));
  EXPECT_EQ(scene.Hero().m_nHp, 0);
  EXPECT_EQ(scene.Hero().m_bRemoved, 0);
}

// Vanish of the summoned line removes grandchildren and their shots; shots
// are only flagged and go when the stage walks its shots.
TEST(TargetCommands, VanishRemovesDescendantsAndFlagsShots) {
  StageBuilder b = Field();
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cStageScene& scene = s.Scene();
  cCharacter& parent = Nth(scene, 0);
  cCharacter& child = Nth(scene, 1);
  cCharacter& grandchild = Nth(scene, 2);
  child.LinkInitialTargets(&scene.Hero(), &parent);
  grandchild.LinkInitialTargets(&scene.Hero(), &child);
  cEdShot still;
  still.m_f26 = 1;
  still.SetObjectCount(1);
  FireShots(scene, grandchild, still);
  FireShots(scene, parent, still);
  ASSERT_EQ(scene.m_ShotList.size(), 2u);
  cShot* grandchildShot = scene.m_ShotList.front().get();
  cShot* parentShot = scene.m_ShotList.back().get();
  ExecuteVanish(parent, Command(kCmdVanish, {5, 0, 1}));
  EXPECT_EQ((std::vector<int32_t>{child.m_bRemoved, grandchild.m_bRemoved, parent.m_bRemoved,
                                  grandchildShot->m_bRemove, parentShot->m_bRemove}),
            (std::vector<int32_t>{1, 1, 0, 1, 0}));
  ExecuteVanish(parent, Command(kCmdVanish, {3, 0, 1}));
  EXPECT_EQ(parentShot->m_bRemove, 1);
  EXPECT_EQ(scene.m_ShotList.size(), 2u);
  s.Frames(1);
  EXPECT_TRUE(scene.m_ShotList.empty());
}

// An item whose commands get the item itself stops after a bounded depth; an
// item with a stage clear ends the stage.
TEST(TargetCommands, ItemGetRunsTheItemsCommandsOnTheHero) {
  cFlowHost* host = FlowHost();
  cFlowHooks* hooks = &FlowHooks();
  InstallStageFlows();
  StageBuilder b = Field();
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cStageScene& scene = s.Scene();
  const cPaletteLists saved = PaletteLists(kPaletteCommon);
  std::vector<cEdItem> items(2);
  auto itemCommand = [](int kind, std::vector<uint32_t> words) {
    cEdCmd c = Command(ItemKindOfFlowKind(kind), std::move(words));
    c.m_nFamily = 1;
    return c;
  };
  items[0].m_vCmds = std::vector<cEdCmd>{itemCommand(kCmdGetItem, {0, 0})};
  items[1].m_vCmds = std::vector<cEdCmd>{itemCommand(kCmdStageClear, {3})};
  cPaletteLists lists = saved;
  lists.items = &items;
  SetPaletteLists(kPaletteCommon, lists);
  const std::vector<std::pair<uint32_t, int32_t>> cases = {{0, kEndNone}, {7, kEndNone}, {1, kEndClear}};
  for (const auto& [number, request] : cases) {
    ExecuteItemGet(scene.Hero(), Command(kCmdGetItem, {0, number}));
    EXPECT_EQ(scene.m_nEndRequest, request) << number;
  }
  SetPaletteLists(kPaletteCommon, saved);
  SetFlowHost(host);
  SetFlowHooks(hooks);
}
