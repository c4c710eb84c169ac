#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "data/stage_data.h"
#include "play/objects/character.h"
#include "play/objects/stage_character.h"
#include "play/objects/stage_item.h"
#include "play/world/flow_hooks.h"
#include "support/project_switches.h"
#include "support/stage_builder.h"

namespace {

// Records the triggers raised on characters.
class TriggerRecorder : public cFlowHooks {
 public:
  void TriggerFlowsOfKind(cCharacter&, int32_t kind) override { kinds.push_back(kind); }
  std::vector<int32_t> kinds;
};

// A running stage without a scene: running values of a speed level, a big
// map with the stage area at its ten-block margins, and the stage's size
// settings. Everything touched is put back.
class CharacterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (cAxisView* v : {&m_ViewX, &m_ViewY}) {
      v->mapExtent = 64000;
      v->areaLow = v->rangeLow = 320;
      v->areaHigh = v->rangeHigh = 63680;
    }
    const int32_t sizes[][2] = {{kStageCharWidth, 20},      {kStageCharHeight, 28},   {kStageCharBottom, 1},
                                {kStageCharHitWidth, 12},   {kStageCharHitHeight, 24}, {kStageCharHitBottom, 1},
                                {kStageCharHit1Width, 30},  {kStageCharHit1Height, 30}, {kStageItemHitWidth, 28},
                                {kStageItemHitHeight, 28}};
    for (auto& s : sizes) StageData.Int(s[0]) = s[1];
    SetLevel(11, 1.0);
  }
  void TearDown() override {
    SetFlowHooks(nullptr);
    g_CharacterSwitches = cCharacterSwitches{};
  }
  static void SetLevel(int32_t level, double gravity) { ScopedStageRunning::SetLevel(level, gravity); }
  static cEdCharacter Definition(int32_t maxHp = 100) {
    cEdCharacter d;
    d.m_nParam40 = maxHp;   // maximum HP
    d.m_nParam41 = 10;      // maximum SP
    d.m_nParam36 = 1;       // scale
    d.m_nControl = 1;
    return d;
  }
  // A falling character placed at (x, y) in world dots.
  static std::unique_ptr<cStageCharacter> Placed(const cEdCharacter& d, double x, double y) {
    auto c = std::make_unique<cStageCharacter>();
    c->Setup(1, d, nullptr, nullptr, 0, 0);
    c->m_dX = x;
    c->m_dY = y;
    c->UpdateX();
    c->UpdateY();
    return c;
  }

  ScopedStageRunning m_Stage;
  cAxisView& m_ViewX = m_Stage.x;
  cAxisView& m_ViewY = m_Stage.y;
};

// With a gravity of 1 dot per sub-step the jump speeds come out whole, and a
// character rises by h x 16 dots: gravity is added before each move.
TEST_F(CharacterTest, JumpSpeedRisesTheHeightItNames) {
  struct Case {
    int32_t hbl;
    double speed;
    double rise;
    int32_t tenths;
  } cases[] = {{31, -32.0, 496.0, 6}, {33, -33.0, 528.0, 6}};
  for (const Case& k : cases) {
    auto c = Placed(Definition(), 4000, 30000);
    double speed = c->JumpSpeed(k.hbl);
    EXPECT_EQ(speed, k.speed) << k.hbl;
    EXPECT_EQ(cCharacter::JumpFrames(speed), k.tenths) << k.hbl;
    double top = c->m_dY;
    c->m_dSpeedY = speed;
    for (int i = 0; i < 200 && c->m_dSpeedY <= 0; ++i) {
      c->cStageObject::ApplyGravity();
      c->StepY();
      top = std::min(top, c->m_dY);
    }
    EXPECT_EQ(30000 - top, k.rise) << k.hbl;
  }
  SetLevel(1, 0.0);
  EXPECT_EQ(Placed(Definition(), 4000, 4000)->JumpSpeed(31), 0.0);  // no gravity, no jump
  EXPECT_EQ(cCharacter::JumpFrames(-5.0), 1);
}

TEST_F(CharacterTest, HpChangesStartTheGauge) {
  auto c = Placed(Definition(100), 4000, 4000);
  c->m_nHp = 50;
  EXPECT_EQ(c->ChangeHp(-20, 0, 1), 0);
  EXPECT_EQ(c->m_nHp, 30);
  EXPECT_EQ(c->m_HpGauge.timer, 120);
  EXPECT_EQ(c->m_HpGauge.length, 15);
  EXPECT_EQ(c->m_HpGauge.change, -10.0);
  EXPECT_EQ(c->m_HpGauge.step, -10.0 * (1.0 / 60));
  // The change shrinks over the first 60 drawn frames and is gone after.
  for (int i = 0; i < 60; ++i) c->DrawHpGauge(nullptr);
  EXPECT_NEAR(c->m_HpGauge.change, 0.0, 1e-12);
  EXPECT_EQ(c->m_HpGauge.timer, 60);
  c->DrawHpGauge(nullptr);
  EXPECT_EQ(c->m_HpGauge.change, 0.0);

  EXPECT_EQ(c->ChangeHp(500, 0, 0), 0);
  EXPECT_EQ(c->m_nHp, 100);
  c->m_HpGauge = cGauge{};
  EXPECT_EQ(c->ChangeHp(-100, 0, 1), 1);  // exactly 0: out, and no gauge
  EXPECT_EQ(c->m_nHp, 0);
  EXPECT_EQ(c->m_HpGauge.timer, 0);

  cEdCharacter invincible = Definition(100);
  invincible.m_nParam35 = 1;
  auto i = Placed(invincible, 4000, 4000);
  EXPECT_EQ(i->ChangeHp(-5, 0, 1), 0);
  EXPECT_EQ(i->m_nHp, 100);
  EXPECT_EQ(i->ChangeHp(-5, 1, 1), 0);
  EXPECT_EQ(i->m_nHp, 95);

  cEdCharacter noSp = Definition(100);
  noSp.m_nParam41 = 0;
  auto s = Placed(noSp, 4000, 4000);
  EXPECT_EQ(s->ChangeSp(-3, 1), 1);
  EXPECT_EQ(s->m_SpGauge.timer, 0);
}

TEST_F(CharacterTest, KnockbackCarriesSixteenDotsAHalfBlockAndDecays) {
  auto c = Placed(Definition(), 4000, 4000);
  c->SetKnockback(1, 1.0, 0.0);
  EXPECT_EQ(c->m_dKnockbackX, 5.178908345800274);
  EXPECT_EQ(c->m_dKnockbackY, 0.0);
  EXPECT_EQ(c->m_bKnockedBack, 1);
  double x0 = c->m_dX;
  while (c->m_dKnockbackX != 0) {
    c->StepX();
    c->DecayKnockbackX();
  }
  EXPECT_NEAR(c->m_dX - x0, 16.07, 0.01);

  // Strengths are held to 20; resistance eats into them, and a strength it
  // eats whole leaves the velocity as it was.
  auto a = Placed(Definition(), 4000, 4000);
  auto b = Placed(Definition(), 4000, 4000);
  a->SetKnockback(-40, 1.0, 0.0);
  b->SetKnockback(-20, 1.0, 0.0);
  EXPECT_EQ(a->m_dKnockbackX, b->m_dKnockbackX);
  cEdCharacter resistant = Definition();
  resistant.m_nParam48 = 3;
  auto r = Placed(resistant, 4000, 4000);
  r->m_dKnockbackX = 2.5;
  r->SetKnockback(3, -1.0, 0.0);
  EXPECT_EQ(r->m_dKnockbackX, 2.5);
  EXPECT_EQ(r->m_bKnockedBack, 1);
}

TEST_F(CharacterTest, LandingAndCeilingSnapToTheCellAndRaiseTheirTriggers) {
  TriggerRecorder recorder;
  SetFlowHooks(&recorder);
  auto c = Placed(Definition(), 4000, 4000);  // bottom at 4031 (+4 margin)
  c->m_dY = 4010.5;
  c->m_dBottom = 4010.5 + c->m_nHeight - 1;
  c->m_dSpeedY = 3.5;
  c->Land();
  EXPECT_EQ(TruncToInt(c->m_dBottom) & 31, 31);
  EXPECT_EQ(c->m_dSpeedY, 0.0);
  EXPECT_EQ(c->m_bAirborne, 0);
  EXPECT_EQ(recorder.kinds, (std::vector<int32_t>{9, 13, 15}));

  recorder.kinds.clear();
  c->m_dY = 4001.25;
  c->m_dSpeedY = -4;
  c->m_dKnockbackY = -2;
  c->HitCeiling();
  EXPECT_EQ(TruncToInt(c->m_dY) & 31, 0);
  EXPECT_GT(c->m_dY, 4001.25);
  EXPECT_EQ(c->m_dSpeedY, 0.0);
  EXPECT_EQ(c->m_dKnockbackY, 0.0);
  EXPECT_EQ(c->m_bJump2, 1);
  EXPECT_EQ(recorder.kinds, (std::vector<int32_t>{9, 13, 14}));
}

// Links never outlive the characters they name: whichever side goes first,
// no slot or back link of the other points at it.
TEST_F(CharacterTest, TargetLinksAreUndoneByWhicheverSideGoes) {
  auto hero = Placed(Definition(), 4000, 4000);
  auto parent = Placed(Definition(), 4000, 4000);
  auto child = Placed(Definition(), 4000, 4000);
  child->LinkInitialTargets(hero.get(), parent.get());
  ASSERT_EQ(child->m_Targets[0], hero.get());
  ASSERT_EQ(hero->m_TargetedBy.size(), 1u);
  {
    cStageCharacter copy(*child);  // registered on its own
    EXPECT_EQ(hero->m_TargetedBy.size(), 2u);
    EXPECT_EQ(parent->m_TargetedBy.size(), 2u);
  }
  EXPECT_EQ(hero->m_TargetedBy.size(), 1u);
  hero.reset();
  EXPECT_EQ(child->m_Targets[0], nullptr);
  child.reset();
  EXPECT_TRUE(parent->m_TargetedBy.empty());

  // A character that does not own its links leaves the others' slots alone.
  auto target = Placed(Definition(), 4000, 4000);
  auto holder = Placed(Definition(), 4000, 4000);
  auto borrowed = std::make_unique<cStageCharacter>(*holder);
  holder->LinkInitialTargets(target.get(), nullptr);
  borrowed->m_pLinkOwner = holder.get();
  borrowed->m_Targets[0] = target.get();
  borrowed.reset();
  EXPECT_EQ(target->m_TargetedBy.size(), 1u);
}

TEST_F(CharacterTest, StageCharacterBodyAndRectanglesComeFromTheStage) {
  SetLevel(1, 0.4);
  cEdCharacter d = Definition();
  d.m_nParam36 = 0;  // a scale of 0 is scale 1
  auto c = Placed(d, 4000, 4000);
  EXPECT_EQ(c->m_nMarginX, 6);
  EXPECT_EQ(c->m_nMarginY, 4);
  EXPECT_EQ(c->m_nWidth, 20);
  EXPECT_EQ(c->ScaleFactor(), 1);
  EXPECT_EQ(c->m_Hit1.offsetX, 16 - 6 - 6);
  EXPECT_EQ(c->m_Hit1.offsetY, 32 - 4 - 24);
  EXPECT_EQ(c->m_Hit2.offsetX, 16 - 15 - 6);
  EXPECT_EQ(c->m_Hit2.width, 30);
  EXPECT_EQ(c->m_AnimePlayer.m_nAnime, 1);  // falling characters start with anime 1

  m_ViewX.blockOffset = m_ViewY.blockOffset = 0;
  c->SetStartPosition(0, 0);
  EXPECT_EQ(c->m_dX, 6.5);
  EXPECT_EQ(c->m_dY, 4.0);

  struct Case {
    int32_t scale, hit1, hit2;
  } cases[] = {{1, 0, 32}, {2, 64, 64}};
  for (const Case& k : cases) {
    cEdCharacter whole = Definition();
    whole.m_nParam6 = 1;  // whole cell
    whole.m_nParam36 = static_cast<int8_t>(k.scale);
    auto w = Placed(whole, 4000, 4000);
    EXPECT_EQ(w->m_Hit1.width, k.hit1) << k.scale;
    EXPECT_EQ(w->m_Hit1.height, k.hit1) << k.scale;
    EXPECT_EQ(w->m_Hit2.width, k.hit2) << k.scale;
    EXPECT_EQ(w->m_Hit2.height, k.hit2) << k.scale;
  }
}

TEST_F(CharacterTest, ActivationFollowsTheAxesAndTheAirborneRule) {
  std::vector<uint8_t> flags(60, 0);
  cEdCharacter everywhere = Definition();
  everywhere.m_nParam53 = 3;
  auto e = Placed(everywhere, 30000, 30000);  // far off screen
  EXPECT_EQ(e->CheckInView(flags), 1);

  auto f = Placed(Definition(), 30000, 30000);
  EXPECT_EQ(f->CheckInView(flags), 0);
  EXPECT_EQ(f->UpdateActing(flags), 0);
  f->m_bHasActed = 1;
  f->m_bAirborne = 1;
  EXPECT_EQ(f->UpdateActing(flags), 1);  // keeps acting off screen in the air
  f->m_bAirborne = 0;
  EXPECT_EQ(f->UpdateActing(flags), 0);

  cEdCharacter woken = Definition();
  woken.m_nParam51 = 1;
  woken.m_nParam52 = 7;
  auto w = Placed(woken, 30000, 30000);
  flags[7] = 1;
  EXPECT_EQ(w->UpdateActing(flags), 1);
}

TEST_F(CharacterTest, ItemsStandOnTheirBlockAndCopyTheirDefinition) {
  m_ViewX.blockOffset = m_ViewY.blockOffset = 0;
  cEdItem d;
  d.m_nParam17 = 0;  // scale 0 is scale 1
  cStageItem item;
  item.Setup(5, d, 0);
  item.SetBlockPosition(0, 0, 1);
  EXPECT_EQ(item.m_dX, 2.5);  // margin 16 - 28 / 2
  EXPECT_EQ(item.m_dY, 2.0);
  EXPECT_EQ(item.ScaleFactor(), 1);
  item.m_Definition.m_nParam12 = 1;
  EXPECT_EQ(d.m_nParam12, 0);
  cStageItem copy(item);
  EXPECT_EQ(copy.m_pDefinition, &copy.m_Definition);
}

}  // namespace

#include "data/labels.h"
#include "play/world/stage_scene.h"
#include "play/world/system_switches.h"

namespace {

// The same rise in a running stage: the play frame adds the gravity before
// each move, so a character given the speed for 31 half blocks tops out
// 496 dots above where it stood. At level 12 (two sub-steps a frame, the
// same gravity of 1 a sub-step) the speed limit of 30 holds the stored speed
// at -30 from the first move on: 30 + 29 + ... + 1 = 465 dots.
TEST(CharacterStageTest, AJumpInTheRunningStageRisesItsHeight) {
  const struct {
    int32_t level;
    double gravity;  // 1 dot per sub-step at both levels
    double rise;
  } cases[] = {{11, 1.0, 496.0}, {12, 4.0, 465.0}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.level);
    StageBuilder stage(20, 40);
    stage.SpeedLevel(k.level).Gravity(k.gravity).Hero(3, 30).Character(10, 30).Floor(31, 0, 19);
    StageSession session(stage);
    ASSERT_TRUE(session.Loaded());
    cStageScene& scene = session.Scene();
    ASSERT_EQ(scene.m_CharacterList.size(), 1u);
    cStageCharacter& c = scene.m_CharacterList.front();
    session.Frames(20);
    ASSERT_EQ(c.m_dSpeedY, 0.0);
    const double ground = c.m_dY;
    const double speed = c.JumpSpeed(31);
    ASSERT_EQ(speed, -32.0);
    c.m_dSpeedY = speed;
    c.m_bJump2 = 1;
    double top = ground;
    for (int i = 0; i < 40 && c.m_dSpeedY <= 0; ++i) {
      session.Frames(1);
      top = std::min(top, c.m_dY);
    }
    EXPECT_EQ(ground - top, k.rise);
  }
}

// A character whose flow jumps again and again (four half blocks, a sound
// at each start) under a ceiling: a block or a block character (that flies
// and stands still) one or two blocks over its head. Each jump is cut off
// by the ceiling, which sets its second-jump word, and its landing clears
// that word again, so that under each of the project's jump rules (none,
// the free jump, the second jump timing, which test that word) it jumps
// again after every landing and never starts a jump in the air.
TEST(CharacterStageTest, AJumpCutOffByACeilingStartsAgainAfterEachLandingUnderEveryJumpRule) {
  enum Rule { kNoRule, kFreeJump, kSecondJumpTiming };
  enum Ceiling { kBlock, kBlockCharacter };
  constexpr int32_t kMargin = 10;  // the stage's first cell in the block map
  constexpr int32_t kRow = 13, kFloorRow = 14;
  struct Case {
    Rule rule;
    Ceiling ceiling;
    int32_t over;  // blocks between the character's row and the ceiling's
  };
  // A character that bumps a block under the free jump rule keeps the
  // command's waiting word, which only a waiting command clears: it never
  // jumps again, and is left out.
  const Case cases[] = {
      {kNoRule, kBlock, 2},           {kSecondJumpTiming, kBlock, 2},           {kNoRule, kBlockCharacter, 2},
      {kFreeJump, kBlockCharacter, 2}, {kSecondJumpTiming, kBlockCharacter, 2}, {kNoRule, kBlockCharacter, 1},
      {kFreeJump, kBlockCharacter, 1}, {kSecondJumpTiming, kBlockCharacter, 1},
  };
  ScopedProjectSwitches keep;  // the stages below set the project's rules
  StageFlowsInstalled flows;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "rule " << c.rule << ", ceiling " << c.ceiling << " " << c.over
                                    << " blocks up");
    StageBuilder stage(20, 15);
    stage.SpeedLevel(2).Gravity(0.25).Floor(kFloorRow, 0, 19).Hero(1, kRow);
    const int32_t ceilingRow = kRow - c.over;
    if (c.ceiling == kBlock) {
      stage.Block(10, ceilingRow);
    } else {
      stage.Character(10, ceilingRow);
      cEdCharacter& k = stage.Data().m_PlacedCharacters.back();
      k.m_nParam25 = 1;  // a block to the others
      k.m_nParam33 = 1;  // flies
      k.m_nParam6 = 1;   // its body is its whole cell
      k.m_nParam53 = 3;  // acts wherever it is
    }
    stage.Character(10, kRow);
    cEdCharacter& jumper = stage.Data().m_PlacedCharacters.back();
    cEdCmd jump;
    jump.m_nKind = kCmdJump;
    jump.m_vParams = {0, 0, 4, 0, 0};
    jump.m_nSound = 1;  // heard as sound 1 + 16
    cEdFlow flow;
    flow.m_nTrigger = kTriggerAlways;
    flow.m_vCmds = {jump};
    jumper.m_vFlows = {flow};
    jumper.m_nParam53 = 3;
    StageSession session(stage);
    ASSERT_TRUE(session.Loaded());
    session.System().SetNum(ProjectRuleRow(kRuleFreeJump).field, c.rule == kFreeJump);
    session.System().SetNum(ProjectRuleRow(kRuleSecondJumpTiming).field, c.rule == kSecondJumpTiming);
    session.Scene().SetStage(0, 1);  // the stage starts again under the project's rules
    const cStageCharacter& character = session.Scene().m_CharacterList.back();

    const int32_t feet = (kRow + kMargin + 1) * 32 - 1;  // its bottom standing on the floor
    const double under = (ceilingRow + kMargin + 1) * 32.0;  // the first dot under the ceiling
    int32_t jumps = 0, bumps = 0;
    bool stood = false, bumped = false;
    size_t heard = 0;
    for (int frame = 0; frame < 150; ++frame) {
      session.Frames(1);
      int32_t started = 0;
      for (; heard < session.Sounds().size(); ++heard) started += session.Sounds()[heard] == 1 + 16;
      if (started != 0) {
        EXPECT_EQ(started, 1) << "frame " << frame;
        EXPECT_TRUE(stood) << "started a jump in the air, frame " << frame;
        ++jumps;
        bumped = false;
      }
      if (!bumped && character.m_dY < under + 1) {
        EXPECT_GT(character.m_dY, under - 1) << "went into the ceiling, frame " << frame;
        bumped = true;
        ++bumps;
      }
      // On the floor, or coming down onto it in the frame's next sub-step.
      stood = character.m_dBottom > feet - 8 && character.m_dSpeedY >= 0;
    }
    EXPECT_GE(jumps, 4);
    EXPECT_GE(bumps, jumps - 1) << "each jump met the ceiling";
  }
}

// A character with two jump flows that always run, stepped one after the
// other in each frame: the first jumps 2 half blocks, the second 6. When
// the second flow's jump first runs, the first jump has just begun to rise
// in the same step: its jumping word is set, its second-jump word (which
// ceilings and block characters pressing from above set) is not, and it
// has not yet left its floor. Under the second jump timing, and under the
// free jump, the second jump tests the second-jump word and starts over the
// first: the character rises 6 half blocks. Without either it tests the
// jumping word and waits: the character rises the first jump's 2.
TEST(CharacterStageTest, ASecondJumpFlowStartingAsTheFirstJumpRisesFollowsTheProjectsJumpRule) {
  enum Rule { kNoRule, kFreeJump, kSecondJumpTiming };
  const struct {
    Rule rule;
    int32_t rise;  // half blocks
  } cases[] = {{kNoRule, 2}, {kSecondJumpTiming, 6}, {kFreeJump, 6}};
  ScopedProjectSwitches keep;  // the stages below set the project's rules
  StageFlowsInstalled flows;
  auto jumpFlow = [](uint32_t halfBlocks) {
    cEdCmd jump;
    jump.m_nKind = kCmdJump;
    jump.m_vParams = {0, 0, halfBlocks, 0, 0};
    cEdFlow flow;
    flow.m_nTrigger = kTriggerAlways;
    flow.m_vCmds = {jump};
    return flow;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "rule " << c.rule);
    StageBuilder stage(20, 15);
    stage.SpeedLevel(2).Gravity(0.25).Floor(14, 0, 19).Hero(1, 13).Character(10, 13);
    cEdCharacter& jumper = stage.Data().m_PlacedCharacters.back();
    jumper.m_vFlows = {jumpFlow(2), jumpFlow(6)};
    StageSession session(stage);
    ASSERT_TRUE(session.Loaded());
    session.System().SetNum(ProjectRuleRow(kRuleFreeJump).field, c.rule == kFreeJump);
    session.System().SetNum(ProjectRuleRow(kRuleSecondJumpTiming).field, c.rule == kSecondJumpTiming);
    session.Scene().SetStage(0, 1);  // the stage starts again under the project's rules
    const cStageCharacter& character = session.Scene().m_CharacterList.back();

    // Standing on the floor, then the first jump's rise to its top.
    double ground = character.m_dY;
    int frame = 0;
    for (; frame < 20 && character.m_dSpeedY > -1; ++frame) {
      ground = character.m_dY;
      session.Frames(1);
    }
    ASSERT_LE(character.m_dSpeedY, -1) << "a jump began";
    double top = character.m_dY;
    for (; frame < 120 && character.m_dSpeedY < 0; ++frame) {
      session.Frames(1);
      top = std::min(top, character.m_dY);
    }
    EXPECT_NEAR(ground - top, 16.0 * c.rise, 1.0);
  }
}

}  // namespace

#include "../../gfx/surface_pixels.h"
#include "gfx/surface_table.h"
#include "play/objects/hero.h"
#include "support/display.h"

namespace {

// Drawing onto a 32-bit DirectDraw back buffer.
class CharacterDrawTest : public CharacterTest {
 protected:
  void SetUp() override {
    CharacterTest::SetUp();
    for (int i = 0; i < 256; ++i) DDState.DDPalette[i] = PALETTEENTRY{uint8_t(i), uint8_t(i * 7), uint8_t(255 - i), 0};
    ASSERT_TRUE(DDInit(0, 0, 640, 480, 32, 0, 1, 1, 60, 0, table_, info_, 1));
    DDSetTransmit(255, 0, 255);
  }
  void TearDown() override {
    for (DDSURFACEDATA* sd : made_) DDReleaseSurface(sd);
    CharacterTest::TearDown();
  }
  static uint32_t Pal(int n) {
    const PALETTEENTRY& e = DDState.DDPalette[n];
    return (uint32_t(e.peRed) << 16) | (uint32_t(e.peGreen) << 8) | e.peBlue;
  }
  static uint32_t At(int x, int y) { return Pixel(DDBackBuffer(), x, y) & 0xFFFFFF; }
  DDSURFACEDATA* Make(DDSURFACEDATA* sd, int w, int h) {
    EXPECT_TRUE(DDCreateSurface(sd, w, h, 1, 0, 0, 0, 0));
    made_.push_back(sd);
    return sd;
  }
  DisplaySandbox sandbox_;
  DDSURFACEDATA table_[1];
  DDSURFACEINFO info_[1];
  std::vector<DDSURFACEDATA*> made_;
};

// The carried item's icon shows on drawn frames 64..95 of every 96, half
// an item's width left of the character's centre and half its height above.
TEST_F(CharacterDrawTest, ItemHintShowsInTheLastThirdOfItsCycle) {
  DDFillSurface(Make(&GameSurfaces[SURF_ITEM_MINI], 240, 16), 5);
  auto c = Placed(Definition(), 4000, 4000);
  cEdItem itemDef;
  c->m_Item.Setup(2, itemDef, 0);
  c->m_bOnScreen = 1;
  c->m_rcScreen = cScreenRect{100, 200, 131, 231};
  std::vector<int> shown;
  for (int frame = 1; frame <= 200; ++frame) {
    DDFillSurface(DDBackBuffer(), 3);
    c->DrawItemHint(DDBackBuffer());
    if (At(100 + 16 - 8, 200 - 16) == Pal(5)) shown.push_back(frame);
  }
  ASSERT_EQ(shown.size(), 64u);
  EXPECT_EQ(shown.front(), 64);
  EXPECT_EQ(shown[31], 95);
  EXPECT_EQ(shown[32], 160);
  EXPECT_EQ(shown.back(), 191);
}

// A filled hit area steps through four shades, eight drawn frames each.
TEST_F(CharacterDrawTest, HitAreasBlinkThroughFourShades) {
  cHero hero;
  hero.m_nWidth = hero.m_nHeight = 10;
  hero.m_rcScreen = cScreenRect{50, 60, 81, 91};
  hero.m_HitAreas.assign(1, cHitArea{0, 1, 216});
  std::vector<uint32_t> colours;
  for (int i = 0; i < 33; ++i) {
    DDFillSurface(DDBackBuffer(), 3);
    hero.DrawHitAreas(DDBackBuffer());
    colours.push_back(At(55, 65));
    EXPECT_EQ(At(61, 71), Pal(3));  // 10 x 10 from (50, 60)
  }
  EXPECT_EQ(colours[0], Pal(216));
  EXPECT_EQ(colours[7], Pal(216));
  EXPECT_EQ(colours[8], Pal(217));
  EXPECT_EQ(colours[31], Pal(219));
  EXPECT_EQ(colours[32], Pal(216));
}

}  // namespace

namespace {

// A crowd in one cell with absurd scales and animation sets, then with
// absurd size settings (whose bodies do not fit the stage and are not
// placed): the stage keeps running either way.
TEST(CharacterStageTest, ACrowdWithAbsurdSettingsKeepsTheStageRunning) {
  for (bool absurdSizes : {false, true}) {
    SCOPED_TRACE(absurdSizes);
    StageBuilder stage(20, 15);
    stage.Hero(3, 10).Floor(12, 0, 19);
    for (int i = 0; i < 1000; ++i) stage.Character(8, 5);
    cStageData& data = stage.Data();
    if (absurdSizes)
      for (int k : {kStageCharWidth, kStageCharHeight, kStageCharHitWidth, kStageCharHit1Height})
        data.Int(k) = k % 2 ? INT32_MAX : INT32_MIN;
    for (size_t i = 0; i < data.m_PlacedCharacters.size(); ++i) {
      cEdCharacter& c = data.m_PlacedCharacters[i];
      if (c.m_nControl == 0) continue;
      c.m_nParam36 = static_cast<int8_t>(i % 3 == 0 ? 4 : -5);  // scale
      c.m_nAnimeSet = 30000;                                    // not in the database
    }
    StageSession session(stage);
    ASSERT_TRUE(session.Loaded());
    EXPECT_EQ(session.Scene().m_CharacterList.size(), absurdSizes ? 0u : 1000u);
    session.Frames(30);
    EXPECT_EQ(session.Scene().m_nMode, kStageModePlay);
    EXPECT_FALSE(session.CloseRequested());
  }
}

}  // namespace
