// Rules of the play frame met on built stages: the hero's input words as
// the frame takes them, the items' life countdown, the frame that ends
// where the hero survives a deadly side touch, and the flying hero held
// inside the scroll range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "data/labels.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/hero.h"
#include "play/objects/shot.h"
#include "play/objects/stage_character.h"
#include "play/objects/stage_item.h"
#include "play/world/stage_scene.h"
#include "scene/input.h"
#include "support/stage_builder.h"

namespace {

// Places in a key step's list: direction codes 1 (left) and 2 (right),
// buttons 1 and 2.
constexpr size_t kKeyLeft = 1, kKeyRight = 2;
constexpr size_t kKeyButton1 = kDirectionPressRecords + 1, kKeyButton2 = kDirectionPressRecords + 2;
// The input words: the left and right arrows, buttons 1 and 2.
constexpr uint16_t kLeftArrow = 1, kRightArrow = 2, kButtons1And2 = 3;

cEdCmd Command(uint8_t kind, std::vector<uint32_t> words = {}) {
  cEdCmd c;
  c.m_nKind = kind;
  c.m_vParams = std::move(words);
  return c;
}

cEdCmd Code(const char* text) {
  cEdCmd c = Command(kCmdRunCode);
  c.m_strText = text;
  c.m_nTogether = 1;
  return c;
}

cEdFlow Flow(uint8_t trigger, std::vector<cEdCmd> commands) {
  cEdFlow f;
  f.m_nTrigger = trigger;
  f.m_vCmds = std::move(commands);
  return f;
}

// An "always" flow that starts on every frame the input at `key` is held.
cEdFlow WhileHeld(size_t key, std::vector<cEdCmd> commands) {
  cFlowKey step;
  step.m_vKeys.assign(kDirectionPressRecords + kButtonPressRecords, 0);
  step.m_vKeys[key] = 1;
  step.m_nByte2 = 1;  // any hold length
  cEdFlow f = Flow(kTriggerAlways, std::move(commands));
  f.m_vKeys = {step};
  f.m_nKeyOption = 1;
  return f;
}

// A step to the right (direction choice 3) at `speed` hundredths of a dot.
cEdCmd WalkRight(uint16_t speed) {
  cEdCmd c = Command(kCmdMoveStraight);
  cEdMove::Create(c.m_pMove);
  c.m_pMove->m_f2 = 3;
  c.m_pMove->SetSpeedStart(speed);
  return c;
}

// One shot ahead of the shooter, in its group.
cEdCmd ShotAhead() {
  cEdCmd c = Command(kCmdShot);
  cEdShot::Create(c.m_pShot);
  c.m_pShot->m_f26 = 1;
  c.m_pShot->SetObjectCount(1);
  c.m_pShot->SetSpeed(40);
  c.m_pShot->SetPower(1);
  c.m_pShot->SetVanishOnHit(1);
  c.m_pShot->m_f25 = 1;
  return c;
}

// The hero walks while the right arrow is held, jumps on button 1 and
// fires on button 2; all three are held. With its buttons switched off
// (the flag is the caller's: set before each frame, as the hero's own
// frame clears it) the frame takes the button word away and leaves the
// arrows: it walks and neither jumps nor fires.
TEST(PlayFrame, WithTheButtonsOffTheArrowsStillWalkTheHero) {
  StageFlowsInstalled flows;
  for (const bool buttonsOff : {false, true}) {
    SCOPED_TRACE(buttonsOff ? "buttons off" : "buttons on");
    StageBuilder b(20, 15);
    b.Floor(10, 0, 19).Hero(3, 9);
    b.Data().m_PlacedCharacters[0].m_nParam40 = 10;
    b.Data().m_PlacedCharacters[0].m_vFlows = {WhileHeld(kKeyRight, {WalkRight(100)}),
                                               WhileHeld(kKeyButton1, {Command(kCmdJump, {0, 0, 3, 0, 0})}),
                                               WhileHeld(kKeyButton2, {ShotAhead()})};
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    s.Frames(10);  // landed
    cStageScene& scene = s.Scene();
    cHero& hero = scene.Hero();
    const double x = hero.m_dX, y = hero.m_dY;
    double highest = y;
    size_t shots = 0;
    cInput& input = InputRecords.At(0);
    for (int frame = 0; frame < 20; ++frame) {
      input.m_wDirection = kRightArrow;
      input.m_wButtons = kButtons1And2;
      hero.m_bButtonsOff = buttonsOff ? 1 : 0;
      s.Frames(1);
      highest = std::min(highest, hero.m_dY);
      shots = std::max(shots, scene.m_ShotList.size());
    }
    input.m_wDirection = input.m_wButtons = 0;
    EXPECT_GT(hero.m_dX, x + 10) << "walked right";
    EXPECT_EQ(highest < y - 8, !buttonsOff) << "jumped";
    EXPECT_EQ(shots > 0, !buttonsOff) << "fired";
    EXPECT_EQ(hero.m_bButtonsOff, 0) << "the hero's frame clears the flag";
  }
}

// An item whose life is N sub-steps is on the stage after N sub-steps and
// gone after N + 1, whatever the sub-steps a frame. Nothing in stage play
// gives an item a life of its own: the countdown is set as its caller would.
TEST(PlayFrame, AnItemLastsItsLifeOfSubStepsAndNoMore) {
  struct Row {
    int32_t level;  // sub-steps a frame
    int32_t life;
  };
  for (const Row& r : {Row{1, 3}, Row{2, 3}, Row{2, 4}, Row{3, 3}}) {
    SCOPED_TRACE(testing::Message() << "level " << r.level << ", life " << r.life);
    StageBuilder b(20, 15);
    b.SpeedLevel(r.level).Floor(10, 0, 19).Hero(3, 9).Item(12, 9);
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    ASSERT_EQ(SubStepsPerFrame(), r.level);
    cStageScene& scene = s.Scene();
    ASSERT_EQ(scene.m_ItemList.size(), 1u);
    scene.m_ItemList.front().m_nLifeCountdown = r.life;
    for (int32_t steps = r.level; steps <= r.life + r.level; steps += r.level) {
      s.Frames(1);
      EXPECT_EQ(scene.m_ItemList.size(), steps <= r.life ? 1u : 0u) << steps << " sub-steps";
    }
  }
}

// A block character moved against the hero's left pushes it into a deadly
// wall on its right (a side touch that kills): the hero survives while its
// state counter runs, which its own "always" flow keeps up by summoning a
// block over itself that may not squeeze it (the block is taken back, the
// counter stays). The survival ends the frame at once: the characters
// after the hero (one counts every frame it runs), the shots (one flies)
// and the later sub-steps do not run in that frame.
TEST(PlayFrame, AHeroThatSurvivesADeadlySideTouchEndsTheFrameAtOnce) {
  StageFlowsInstalled flows;
  for (const int32_t level : {1, 2}) {
    SCOPED_TRACE(testing::Message() << "level " << level);
    StageBuilder b(20, 15);
    b.SpeedLevel(level).Floor(10, 0, 19).Hero(4, 9).Block(5, 9, 2).Character(10, 5).Character(14, 9);
    auto& placed = b.Data().m_PlacedCharacters;
    placed[0].m_nParam40 = 10;
    placed[1].m_nParam25 = 1;  // the block character
    placed[1].m_nParam33 = 1;  // flies, through blocks: stays where it is put
    placed[2].m_vFlows = {Flow(kTriggerAlways, {Code("S1 = S1 + 1")})};
    cEdCmd summon = Command(kCmdSummonBlock);
    cEdShot::Create(summon.m_pShot);
    summon.m_pShot->m_f1 = 4;  // round the shooter's centre
    summon.m_pShot->m_f26 = 1;
    summon.m_pShot->SetObjectCount(1);
    summon.m_pShot->m_nSummonPalette = 1;
    summon.m_pShot->m_nSummonIndex = 1;
    summon.m_pShot->m_f64 = 1;  // never squeezes the hero
    placed[0].m_vFlows = {Flow(kTriggerAlways, {summon})};
    cEdBlock solid;
    solid.m_nGraphic = 7;
    solid.m_nOption7 = 1;
    b.Data().m_PaletteBlocks = {cEdBlock(), solid};
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    cStageScene& scene = s.Scene();
    cHero& hero = scene.Hero();
    s.Frames(3);
    ASSERT_GE(hero.m_nStateCounter, 1);
    const cBlockMap& map = scene.BlockMap();
    const int32_t heroCell = map.CellIndexAtDots(static_cast<int32_t>(hero.m_dX) + 8, static_cast<int32_t>(hero.m_dY) + 8);
    ASSERT_NE(map.Block(heroCell).m_nGraphic, 7) << "the summoned block was taken back";
    // A shot flying right from the left edge, far from everything.
    cEdCmd shot = ShotAhead();
    FireShots(scene, scene.m_CharacterList.back(), *shot.m_pShot);
    ASSERT_EQ(scene.m_ShotList.size(), 1u);
    const double shotX = scene.m_ShotList.front()->m_dX;
    const int32_t count = scene.m_StageVariables[1];
    cStageCharacter& pusher = scene.m_CharacterList.front();
    pusher.m_dX = hero.m_dX - 4.5;
    pusher.m_dY = hero.m_dY;
    pusher.UpdateX();
    pusher.UpdateY();
    const double x = hero.m_dX;
    s.Frames(1);
    EXPECT_GT(hero.m_dX, x) << "pushed into the wall";
    EXPECT_EQ(hero.m_bDying, 0);
    EXPECT_EQ(scene.m_StageVariables[1], count) << "the characters after the hero did not run";
    ASSERT_EQ(scene.m_ShotList.size(), 1u);
    EXPECT_EQ(scene.m_ShotList.front()->m_dX, shotX) << "the shots did not move";
    EXPECT_EQ(s.Files().ErrorCheckLog().find("Dead"), std::string::npos);
  }
}

// A flying hero is held inside the scroll range. On a stage narrower than
// the screen (the screen's edge lies beyond the range's end) it walks right
// a dot a frame from between two dots: it stands where it is while its
// right edge lies within the range's last dot, is put back flush with the
// end once its edge reaches past it, and never gets further; walking back
// left, it is held at the range's start.
TEST(PlayFrame, AFlyingHeroIsHeldInsideTheScrollRange) {
  StageFlowsInstalled flows;
  StageBuilder b(12, 15);
  b.Floor(14, 0, 11).Hero(8, 5);
  cEdCharacter& d = b.Data().m_PlacedCharacters[0];
  d.m_nParam40 = 10;
  d.m_nParam33 = 1;  // flies
  cEdCmd left = WalkRight(10);
  left.m_pMove->m_f2 = 2;
  d.m_vFlows = {WhileHeld(kKeyRight, {WalkRight(10)}), WhileHeld(kKeyLeft, {left})};
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cStageScene& scene = s.Scene();
  cHero& hero = scene.Hero();
  const double low = scene.m_ScrollX.rangeLow, high = scene.m_ScrollX.rangeHigh;
  ASSERT_LT(high - low, 640) << "the screen reaches past the range";
  ASSERT_EQ(hero.m_dX - std::trunc(hero.m_dX), 0.5) << "the hero stands between two dots";
  cInput& input = InputRecords.At(0);
  double furthest = hero.m_dRight;
  for (int frame = 0; frame < 200; ++frame) {
    input.m_wDirection = kRightArrow;
    s.Frames(1);
    furthest = std::max(furthest, hero.m_dRight);
  }
  EXPECT_EQ(furthest, high - 0.5) << "it stood in the range's last dot and never past it";
  EXPECT_EQ(hero.m_dX, high - hero.m_nWidth) << "put back flush with the end";
  double nearest = hero.m_dX;
  for (int frame = 0; frame < 500; ++frame) {
    input.m_wDirection = kLeftArrow;
    s.Frames(1);
    nearest = std::min(nearest, hero.m_dX);
  }
  input.m_wDirection = 0;
  EXPECT_EQ(nearest, low);
  EXPECT_EQ(hero.m_dX, low);
}

}  // namespace
