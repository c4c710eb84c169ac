#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "data/labels.h"
#include "data/move_shot.h"
#include "data/stage_data.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/hero.h"
#include "play/objects/stage_character.h"
#include "play/world/flow_hooks.h"
#include "play/world/stage_scene.h"
#include "play/world/system_switches.h"
#include "scene/input.h"
#include "support/stage_builder.h"
#include "support/project_switches.h"

namespace {

// A hero on a stage without a scene (the view is the hero's own scratch
// view): the stage's size settings and the running values of a level.
class HeroTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (cAxisView* v : {&m_ViewX, &m_ViewY}) {
      v->mapExtent = 8000;
      v->areaLow = v->rangeLow = 0;
      v->areaHigh = v->rangeHigh = 2000;
    }
    const int32_t sizes[][2] = {
        {kStageHeroWidthA, 20},       {kStageHeroHeightA, 24},     {kStageHeroWidthB, 16},
        {kStageHeroHeightB, 16},      {kStageHeroBottomA, 1},      {kStageHeroBottomB, 0},
        {kStageHeroHit1WidthA, 16},   {kStageHeroHit1HeightA, 24}, {kStageHeroHit1BottomA, 1},
        {kStageHeroHit1WidthB, 16},   {kStageHeroHit1HeightB, 16}, {kStageHeroHit2Width, 12},
        {kStageHeroHit2Height, 8},    {kStageHeroHit3Width, 16},   {kStageHeroHit3Height, 16}};
    for (auto& s : sizes) StageData.Int(s[0]) = s[1];
    SetLevel(2, 0.4);
    m_Inputs.resize(1);
  }
  void TearDown() override {
    SetFlowHooks(nullptr);
    g_CharacterSwitches = cCharacterSwitches{};
  }
  static void SetLevel(int32_t level, double gravity) { ScopedStageRunning::SetLevel(level, gravity); }
  std::unique_ptr<cHero> MakeHero(double x, double y, int32_t moveMode = 0) {
    cEdCharacter d;
    d.m_nParam40 = 10;
    d.m_nParam36 = 0;  // scale 0 counts as 1
    d.m_nParam33 = static_cast<uint8_t>(moveMode);
    d.m_nGraphic = 1;
    d.m_nControl = 0;
    auto h = std::make_unique<cHero>();
    h->Setup(1, d, x, y, m_Inputs);
    return h;
  }

  ScopedStageRunning m_Stage;
  cAxisView& m_ViewX = m_Stage.x;
  cAxisView& m_ViewY = m_Stage.y;
  cSafeVector<cInput> m_Inputs;
};

TEST_F(HeroTest, TheViewKeepsTheHeroInTheMiddleWithinTheLimits) {
  struct Case {
    int32_t rangeHigh;
    double x;
    double view;
  } cases[] = {
      {2000, 1000, 690},  // 1000 - (320 - 20 / 2)
      {2000, 100, 0},     // held at the left limit
      {2000, 1900, 1360}, // held at the right limit
      {400, 300, 0},      // a stage narrower than the screen stays at its left end
  };
  for (const Case& k : cases) {
    m_ViewX.areaHigh = m_ViewX.rangeHigh = k.rangeHigh;
    auto h = MakeHero(k.x, 200);
    EXPECT_EQ(cHero::ViewX(), k.view) << k.x;
    EXPECT_EQ(h->ScaleFactor(), 1);
  }
  m_ViewX.areaHigh = m_ViewX.rangeHigh = 2000;
  auto h = MakeHero(1000.5, 300);
  h->UpdateScreenRect();
  EXPECT_EQ(h->m_rcScreen.left, TruncToInt(1000.5 - cHero::ViewX() - h->m_nMarginX));
  EXPECT_EQ(h->m_rcScreen.right, h->m_rcScreen.left + 31);
}

TEST_F(HeroTest, MoveModesChangeBodyAndAirState) {
  g_CharacterSwitches.initialFallValue = 7;
  auto h = MakeHero(1000, 1000);
  EXPECT_EQ(h->m_nWidth, 20);
  EXPECT_EQ(h->m_nMarginY, 8);  // bottom-aligned 24 high
  h->m_bAirborne = 0;
  h->m_nStateCounter = 0;
  h->SetMoveMode(1, 0, 1, 1);
  EXPECT_EQ(h->m_bFreeVertical, 1);
  EXPECT_EQ(h->m_nStateCounter, 2);
  EXPECT_EQ(h->m_bRestorePosition, 1);
  EXPECT_EQ(h->m_bPositionSaved, 1);
  EXPECT_EQ(h->m_bAirborne, 1);
  EXPECT_EQ(h->m_nFallCounter, 7);
  EXPECT_EQ(h->m_nHeight, 16);
  EXPECT_EQ(h->m_nMarginY, 8);  // centred 16 high
  h->m_dSpeedX = 3;
  h->SetMoveMode(0, 0, 0, 0);
  EXPECT_EQ(h->m_dSpeedX, 0.0);

  // Four hit areas, the largest first.
  ASSERT_EQ(h->m_HitAreas.size(), 4u);
  for (size_t i = 1; i < h->m_HitAreas.size(); ++i)
    EXPECT_GE(h->m_HitAreas[i - 1].width * h->m_HitAreas[i - 1].height,
              h->m_HitAreas[i].width * h->m_HitAreas[i].height);
}

// An item's command list stops at the first command that kills the hero.
TEST_F(HeroTest, ItemCommandsStopWhenTheHeroDies) {
  struct Killer : cFlowHooks {
    int RunItemCommand(cHero& hero, const cEdCmd&) override {
      ++runs;
      hero.m_nHp = 0;
      return 0;
    }
    int runs = 0;
  } killer;
  SetFlowHooks(&killer);
  auto h = MakeHero(1000, 1000);
  std::vector<cEdCmd> commands(3);
  EXPECT_EQ(h->RunItemCommands(commands), 2);
  EXPECT_EQ(killer.runs, 1);
  EXPECT_EQ(h->RunItemCommands({}), 2);  // still dead
}

// The jump whose height follows the key ("高さがキーで調節できる"), in
// stages of one, two and three sub-steps a frame: the hero stands on a floor,
// B1 starts its flow; let go after one frame, the rise goes on at 30 % of
// the speed the jump had when the key was let go (the gravity of the
// release frame added), so the hop is a fraction of the jump; held through
// the rise, the hero reaches the jump's full four half blocks (a height
// whose take-off speed stays under the top speed at every level).
TEST(HeroJumpStage, ALetGoKeyCutsTheRiseAndAHeldKeyRisesTheFullHeight) {
  class Flows {
   public:
    Flows() : host_(FlowHost()), hooks_(&FlowHooks()) { InstallStageFlows(); }
    ~Flows() {
      SetFlowHost(host_);
      SetFlowHooks(hooks_);
    }

   private:
    cFlowHost* host_;
    cFlowHooks* hooks_;
  } flows;
  constexpr double kGravity = 0.25;
  constexpr int kB1 = kDirectionPressRecords + 1;  // the key steps' place of button 1
  struct Case {
    int32_t level;     // sub-steps a frame
    int32_t heldFor;   // frames B1 is held
  };
  const Case cases[] = {{1, 1}, {1, 60}, {2, 1}, {2, 60}, {3, 1}, {3, 60}};
  double fullRise[4] = {0, 0, 0, 0};  // by level
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "level " << c.level << ", held " << c.heldFor);
    StageBuilder builder(20, 15);
    builder.SpeedLevel(c.level).Gravity(kGravity).Floor(10, 0, 19).Hero(3, 9);
    cEdCmd jump;
    jump.m_nKind = kCmdJump;
    jump.m_vParams = {1, 0, 4, 0, 0};  // height by the key, four half blocks
    cFlowKey b1;
    b1.m_vKeys.assign(kDirectionPressRecords + kButtonPressRecords, 0);
    b1.m_vKeys[kB1] = 1;
    b1.m_nByte2 = 1;  // any hold length
    cEdFlow flow;
    flow.m_nTrigger = kTriggerAlways;
    flow.m_vCmds = {jump};
    flow.m_vKeys = {b1};
    builder.Data().m_PlacedCharacters.back().m_vFlows = {flow};
    StageSession session(builder);
    ASSERT_TRUE(session.Loaded());
    ASSERT_EQ(SubStepsPerFrame(), c.level);
    cCharacter& hero = session.Scene().Hero();
    cInput& input = InputRecords.At(0);
    session.Frames(30);
    ASSERT_EQ(hero.m_dSpeedY, 0.0) << "standing before the jump";
    const double ground = hero.m_dY;
    const double n = c.level, perFrame = kGravity / n;  // gravity / n^2 in each of n sub-steps
    const double v0 = hero.JumpSpeed(4);

    double top = ground, pressFrameSpeed = 0;
    for (int frame = 1; frame <= 90; ++frame) {
      input.m_wButtons = frame <= c.heldFor ? 1 : 0;
      session.Frames(1);
      if (frame == 1) {
        pressFrameSpeed = hero.m_dSpeedY;
        EXPECT_NEAR(pressFrameSpeed, v0 + perFrame, 1e-9) << "taken off in the first sub-step";
      }
      if (frame == 2 && c.heldFor == 1) {
        EXPECT_NEAR(hero.m_dSpeedY, 0.3 * pressFrameSpeed + perFrame, 1e-9) << "cut on the release";
      }
      top = std::min(top, hero.m_dY);
    }
    input.m_wButtons = 0;
    EXPECT_EQ(std::trunc(hero.m_dY), std::trunc(ground)) << "landed again";
    const double rise = ground - top;
    if (c.heldFor > 1) {
      EXPECT_NEAR(rise, 4 * 16, 3.0);
      fullRise[c.level] = rise;
    } else {
      EXPECT_GT(rise, 0.0);
      // About the square of 30 %, plus the first frame's climb.
      EXPECT_LT(rise, 4 * 16 * 0.25);
    }
  }
  for (int level = 1; level <= 3; ++level) EXPECT_GT(fullRise[level], 0.0) << level;
}


// ---- Jumps played over and over, from a floor and from a lift ----

constexpr double kJumpGravity = 0.25;
constexpr int32_t kJumpHeight = 4;  // half blocks

// A lift: a flying block character with a whole cell for its body, acting
// wherever it is, that goes up three blocks and down again at a dot a frame.
void AddLift(StageBuilder& b, int32_t x, int32_t y) {
  b.Character(x, y);
  cEdCharacter& lift = b.Data().m_PlacedCharacters.back();
  lift.m_nParam25 = 1;  // a block to the others
  lift.m_nParam33 = 1;  // flies
  lift.m_nParam6 = 1;   // its body is its whole cell
  lift.m_nParam53 = 3;  // acts wherever it is
  auto leg = [](uint8_t direction) {
    cEdCmd c;
    c.m_nKind = kCmdMoveStraight;
    cEdMove::Create(c.m_pMove);
    c.m_pMove->m_f2 = direction;  // 6 up, 7 down
    c.m_pMove->m_f26 = 1;         // by time and distance
    c.m_pMove->SetDistanceStart(96);
    c.m_nDuration = 16;
    return c;
  };
  cEdFlow flow;
  flow.m_nTrigger = kTriggerAlways;
  flow.m_vCmds = {leg(6), leg(7)};
  lift.m_vFlows = {flow};
}

// The hero's flow: B1 jumps four half blocks, as high as the key is held.
cEdFlow JumpOnB1() {
  cEdCmd jump;
  jump.m_nKind = kCmdJump;
  jump.m_vParams = {1, 0, kJumpHeight, 0, 0};
  cFlowKey b1;
  b1.m_vKeys.assign(kDirectionPressRecords + kButtonPressRecords, 0);
  b1.m_vKeys[kDirectionPressRecords + 1] = 1;
  b1.m_nByte2 = 1;  // any hold length
  cEdFlow flow;
  flow.m_nTrigger = kTriggerAlways;
  flow.m_vCmds = {jump};
  flow.m_vKeys = {b1};
  return flow;
}

// The hero stands on a floor, or falls onto a lift that goes up and down
// (airborne from the fall, as after a jump), and jumps eight times in a
// row, each time from where he landed after the jump before: B1 tapped for
// one frame gives a hop (the rise cut to 30 % on the release), held for
// longer than the rise the full four half blocks, and held exactly as long
// as the jump's hold limit the full jump too (the limit outlasts the rise,
// so the release is no tap and leaves the next tap a hop). From the lift
// the take-off waits for the frame's last sub-step and, with the project's
// jump timing rule, is 2 % stronger; from the floor it is taken at once.
// Coming down on a lift is no landing: the rise of the jump before stays
// over, which a rider may jump with but which no release cuts, so on the
// lift only the first tap (after the fall that brought him there) hops and
// every later tap rises as high as a held jump. After each jump the hero is
// back on what he jumped from: riding the same lift, or standing on the
// floor where he stood.
TEST(HeroJumpStage, AHeroJumpsAgainAndAgainFromAFloorAndFromALiftHeLandsBackOn) {
  enum Press { kTap, kHold, kHoldLimit };
  struct Case {
    bool lift;
    int32_t level;       // sub-steps a frame
    int32_t jumpTiming;  // the project's jump timing rule
  };
  const Case cases[] = {{false, 1, 0}, {false, 2, 0}, {false, 3, 0}, {false, 2, 1},
                        {true, 1, 0},  {true, 2, 0},  {true, 3, 0},  {true, 2, 1}};
  const Press presses[] = {kTap, kTap, kHold, kTap, kHoldLimit, kTap, kHold, kHold};
  ScopedProjectSwitches keep;  // the stages below set the project's rules
  StageFlowsInstalled flows;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.lift ? "lift" : "floor") << ", level " << c.level << ", jump timing "
                                    << c.jumpTiming);
    StageBuilder b(20, 15);
    b.SpeedLevel(c.level).Gravity(kJumpGravity).Floor(14, 0, 19);
    if (c.lift) {
      AddLift(b, 7, 11);
      b.Hero(7, 6);
    } else {
      b.Hero(7, 13);
    }
    b.Data().m_PlacedCharacters.back().m_vFlows = {JumpOnB1()};
    StageSession session(b);
    ASSERT_TRUE(session.Loaded());
    session.System().SetNum(ProjectRuleRow(kRuleJumpTiming).field, c.jumpTiming);
    session.Scene().SetStage(0, 1);  // the stage starts again under the project's rule
    cStageScene& scene = session.Scene();
    const cHero& hero = scene.Hero();
    const int32_t liftId = c.lift ? scene.m_CharacterList.front().m_nId : -1;
    cInput& input = InputRecords.At(0);
    input.m_wButtons = 0;
    auto standing = [&] {
      return c.lift ? hero.m_bRiding != 0 && hero.m_nCarriedById == liftId
                    : hero.m_bContactDown != 0 && hero.m_dSpeedY == 0;
    };
    for (int i = 0; i < 120 && !standing(); ++i) session.Frames(1);
    ASSERT_TRUE(standing()) << "never came to stand";
    const double ground = hero.m_dY;

    const double g = kJumpGravity / (c.level * c.level);  // a sub-step's gravity
    const double v0 = hero.JumpSpeed(kJumpHeight);
    const double strength = c.lift && c.jumpTiming ? 1.0199999809265137 : 1.0;
    // Gravity added after the take-off in its frame: from a lift the jump
    // is taken in the last sub-step, from the floor in the first.
    const int32_t stepsAfterTakeOff = c.lift ? 1 : c.level;
    const int32_t limitFrames = cCharacter::JumpFrames(v0) * 6;  // the hold limit in frames
    int32_t n = 0;
    for (Press press : presses) {
      SCOPED_TRACE(testing::Message() << "press " << ++n);
      session.Frames(5);
      ASSERT_TRUE(standing());
      const int32_t held = press == kTap ? 1 : press == kHoldLimit ? limitFrames : 60;
      const double from = hero.m_dY;
      double top = from, takeOffSpeed = 0;
      bool landed = false, back = false;
      for (int frame = 1; frame <= 200 && !back; ++frame) {
        input.m_wButtons = frame <= held ? 1 : 0;
        session.Frames(1);
        if (frame == 1) takeOffSpeed = hero.m_dSpeedY;
        landed = landed || (frame > 1 && standing());
        if (!landed) top = std::min(top, hero.m_dY);  // the lift carries him on afterwards
        // The jump command lasts as long as its hold limit, whatever the
        // key does; the next press waits for its end.
        back = frame > std::max(held, limitFrames) && standing();
      }
      input.m_wButtons = 0;
      ASSERT_TRUE(back) << "did not come down on what he jumped from";
      EXPECT_NEAR(takeOffSpeed, v0 * strength + g * stepsAfterTakeOff, 1e-9) << "took off";
      const double rise = from - top;
      if (press == kTap && (!c.lift || n == 1)) {
        EXPECT_GT(rise, 1.0);
        EXPECT_LT(rise, kJumpHeight * 16 * 0.25) << "a hop";
      } else {
        EXPECT_NEAR(rise, kJumpHeight * 16 * strength * strength, 4.0) << "the full jump";
      }
      if (!c.lift) {
        EXPECT_EQ(std::trunc(hero.m_dY), std::trunc(ground));
      }
    }
  }
}

}  // namespace
