// Flow commands on bare characters (no stage scene): the dispatch of both
// families, the period of repeating commands, and the movement commands'
// velocities, turns and timings.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "data/flow.h"
#include "data/labels.h"
#include "flow/fake_flow_host.h"
#include "flow/flow_state.h"
#include "play/commands/commands.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/hero.h"
#include "play/objects/stage_character.h"
#include "play/world/stage_scene.h"
#include "play/world/system_switches.h"
#include "support/stage_builder.h"

namespace {

class CommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (cAxisView* v : {&stage_.x, &stage_.y}) {
      v->mapExtent = 64000;
      v->areaLow = v->rangeLow = 320;
      v->areaHigh = v->rangeHigh = 63680;
    }
    ScopedStageRunning::SetLevel(11, 0.0);  // one sub-step a frame, no gravity
  }
  void TearDown() override {
    SetCurrentObjects({});
    SetFlowHost(nullptr);
    SetFlowHooks(nullptr);
  }
  // A character whose drawn centre stands at screen point (x, y).
  static std::unique_ptr<cStageCharacter> At(double x, double y, bool flies, int32_t facing = 0) {
    cEdCharacter d;
    d.m_nParam33 = flies ? 1 : 0;
    auto c = std::make_unique<cStageCharacter>();
    c->Setup(1, d, nullptr, nullptr, 0, 0);
    c->m_nFacing = facing;
    const int32_t ix = static_cast<int32_t>(x), iy = static_cast<int32_t>(y);
    c->m_rcScreen = {ix, iy, ix, iy};
    c->m_nDrawWidth = c->m_nDrawHeight = 0;
    return c;
  }
  static cEdCmd Command(int kind, std::vector<uint32_t> words = {}, uint8_t family = 0) {
    cEdCmd c = ::Cmd(static_cast<uint8_t>(kind), 0, false, std::move(words));
    c.m_nFamily = family;
    cEdMove::Create(c.m_pMove);
    return c;
  }
  // A prepared command state over `command` for `c` at `speed` dots a call.
  static cCmdState State(cCharacter& c, cEdCmd& command, double speed, int32_t duration = 100) {
    cCmdState s;
    s.m_pCommand = &command;
    s.m_nDuration = duration;
    PrepareCommandState(c, s);
    s.m_dSpeed = speed;
    s.m_nRemaining = s.m_nDuration;
    return s;
  }
  // One call; the velocity it gave.
  static std::pair<double, double> Call(cCharacter& c, cCmdState& s) {
    c.m_dSpeedX = c.m_dSpeedY = 0;
    ExecuteCommand(c, s);
    return {c.m_dSpeedX, c.m_dSpeedY};
  }

  ScopedStageRunning stage_;
};

// A repeating command acts on its first call and then every 6 x sub-steps
// calls: at 2 sub-steps a frame a 30-call facing command turns on calls 1,
// 13 and 25.
TEST_F(CommandsTest, RepeatingCommandsActEverySixFramesOfSubSteps) {
  const std::pair<int32_t, std::vector<int>> cases[] = {{12, {1, 13, 25}}, {11, {1, 7, 13, 19, 25}}};
  for (const auto& [level, calls] : cases) {
    ScopedStageRunning::SetLevel(level, 0.0);
    auto c = At(100, 100, false);
    c->Definition().m_nParam31 = 1;  // fixed facing: only the facing command turns it
    cEdCmd turn = Command(kCmdTurn, {1});
    cCmdState s = State(*c, turn, 0);
    std::vector<int> acted;
    for (int call = 1; call <= 30; ++call) {
      c->m_nFacing = 0;
      ExecuteCommand(*c, s);
      if (c->m_nFacing == 1) acted.push_back(call);
    }
    EXPECT_EQ(acted, calls) << "level " << level;
  }
}

// Kind bytes outside the tables (negative ones among them) and families
// other than 0 and 1 do nothing; the runtime still counts their duration.
TEST_F(CommandsTest, UnknownKindsAndFamiliesDoNothingAndWaitTheirDuration) {
  InstallStageFlows();
  const std::pair<int, uint8_t> cases[] = {{-1, 0}, {40, 0}, {200, 0}, {kCmdMoveStraight, 2}, {kCmdMoveStraight, 255}};
  for (const auto& [kind, family] : cases) {
    auto c = At(100, 100, true);
    cEdCmd command = Command(kind, {1, 2, 3}, family);
    command.m_pMove->m_f2 = 3;  // a straight move to the right, were it run
    cCmdState s = State(*c, command, 2, 5);
    SetCurrentCharacter(c.get());
    s.Restart();
    int calls = 1;
    while (s.RunFrame() == 0) ++calls;
    EXPECT_EQ(calls, 5) << kind;
    EXPECT_EQ(c->m_dSpeedX, 0) << kind;
    EXPECT_EQ(c->m_nFacing, 0) << kind;
    EXPECT_EQ(ExecuteItemCommand(*c, command), 0);
  }
  auto c = At(0, 0, false);
  for (int kind : {-1, 25, 200}) EXPECT_EQ(ExecuteItemCommand(*c, Command(kind, {}, 1)), 0) << kind;
}

// Straight moves by direction choice and angle: the velocity of one call and
// the facing it leaves (speed 2; a ground character moves along x only).
TEST_F(CommandsTest, StraightMovesGoTheirDirectionAndTurnTheCharacter) {
  const double d = std::sqrt(2.0);
  struct Case { int choice; int angle; int facing; bool flies; double vx, vy; int facingAfter; } cases[] = {
      {0, 0, 0, true, -2, 0, 0},   {0, 0, 1, true, 2, 0, 1},   {1, 0, 0, true, 2, 0, 1},
      {4, 0, 0, true, 0, -2, 0},   {4, 0, 1, true, 0, 2, 1},   {8, 0, 1, true, -d, -d, 0},
      {11, 0, 0, true, d, d, 1},   {7, 0, 0, false, 0, 0, 0},  {2, 90, 1, true, 0, -2, 0},
      {3, 45, 0, true, d, d, 1},   {9, 0, 1, false, -d, 0, 0},
  };
  for (const Case& k : cases) {
    auto c = At(100, 100, k.flies, k.facing);
    cEdCmd move = Command(kCmdMoveStraight);
    move.m_pMove->m_f2 = static_cast<uint8_t>(k.choice);
    move.m_pMove->SetAngleStart(k.angle);
    move.m_pMove->m_f16 = 0;  // the angle is not mirrored by the facing
    cCmdState s = State(*c, move, 2);
    const auto [vx, vy] = Call(*c, s);
    EXPECT_NEAR(vx, k.vx, 1e-9) << k.choice << "/" << k.angle;
    EXPECT_NEAR(vy, k.vy, 1e-9) << k.choice << "/" << k.angle;
    EXPECT_EQ(c->m_nFacing, k.facingAfter) << k.choice << "/" << k.angle;
  }
}

// Toward a point: stop-on-arrival makes a 100-dot way at 4 dots a call last
// 25 calls whatever the duration; a point already reached gives no motion.
TEST_F(CommandsTest, MovesTowardAPointLastTheCallsTheWayTakes) {
  for (int dots : {100, 0}) {
    auto c = At(100, 100, true, 1);
    cEdCmd move = Command(kCmdMoveStraight);
    move.m_pMove->m_f1 = 1;                // toward a point
    move.m_pMove->m_f12 = 1;               // offset from where it stands
    move.m_pMove->m_f13 = 0;               // not mirrored by the facing
    move.m_pMove->SetTargetDotX(dots);
    cCmdState s = State(*c, move, 4, 600);
    const auto [vx, vy] = Call(*c, s);
    EXPECT_EQ(vx, dots == 0 ? 0.0 : 4.0);
    EXPECT_EQ(vy, 0.0);
    EXPECT_EQ(s.m_nRemaining, dots == 0 ? 600 : 25);
    EXPECT_EQ(c->m_nFacing, 1);
  }
}

// Kinds that have nothing to act on stand still: a ground-turn move of a
// flying character, a charge or homing move with an empty target slot, and
// a facing command with an empty slot (which keeps its counter at 0 so that
// it tries again).
TEST_F(CommandsTest, MovesWithoutTheirSubjectStandStill) {
  ScopedStageRunning::SetLevel(12, 0.0);
  for (int kind : {kCmdMoveGroundTurn, kCmdMoveCharge, kCmdMoveHoming, kCmdTurn}) {
    auto c = At(100, 100, true);
    c->Definition().m_nParam31 = 1;
    cEdCmd command = Command(kind, {2});
    cCmdState s = State(*c, command, 3);
    for (int call = 0; call < 20; ++call) EXPECT_EQ(Call(*c, s), std::make_pair(0.0, 0.0)) << kind;
    EXPECT_EQ(c->m_nFacing, 0) << kind;
    if (kind == kCmdTurn) {
      EXPECT_EQ(s.m_nPeriod, 0);
    }
  }
}

// A homing move aims anew every period at where the target stood a period
// before (every call at period 0). The target stands right of the mover for
// 5 calls, then below it.
TEST_F(CommandsTest, HomingFollowsTheTargetOnePeriodBehind) {
  // Period, and the first call whose velocity points down.
  for (const auto& [period, firstCallDown] : {std::pair{0, 6}, std::pair{10, 21}}) {
    auto c = At(0, 0, true);
    auto target = At(100, 0, true);
    c->m_Targets[0] = target.get();
    cEdCmd homing = Command(kCmdMoveHoming);
    homing.m_pMove->SetDistanceStart(period);
    cCmdState s = State(*c, homing, 2);
    int down = 0;
    for (int call = 1; call <= 30 && down == 0; ++call) {
      if (call == 6) target->m_rcScreen = {0, 100, 0, 100};
      const auto [vx, vy] = Call(*c, s);
      if (vy > 0) down = call;
      else EXPECT_GT(vx, 0) << period << " call " << call;
    }
    EXPECT_EQ(down, firstCallDown) << period;
    c->m_Targets[0] = nullptr;  // the slot was filled by hand, without the links the mover would undo
  }
}

// A circle of two half blocks' radius run for one whole turn comes back to
// where it started, within a dot.
TEST_F(CommandsTest, ACircleOfOneTurnEndsWhereItStarted) {
  auto c = At(0, 0, true);
  cEdCmd circle = Command(kCmdMoveCircle);
  circle.m_pMove->SetDistanceStart(2);  // radius in half blocks
  circle.m_pMove->m_f27 = 360;          // end angle
  cCmdState s = State(*c, circle, 0, 120);
  PrepareCommandState(*c, s);
  double x = 0, y = 0, farthest = 0;
  for (int call = 0; call < 120; ++call) {
    const auto [vx, vy] = Call(*c, s);
    x += vx;
    y += vy;
    farthest = std::max(farthest, std::hypot(x, y));
  }
  EXPECT_NEAR(x, 0, 1.0);
  EXPECT_NEAR(y, 0, 1.0);
  EXPECT_NEAR(farthest, 64, 1.0);  // the diameter
}

// In acceleration mode a move pushes the character's accumulated speed by
// v / 60 a call (one sub-step a frame) up to the command's limit; a push
// against it is scaled by the acceleration factor.
TEST_F(CommandsTest, AccelerationModePushesUpToTheLimit) {
  auto c = At(100, 100, true);
  cEdCmd move = Command(kCmdMoveStraight);
  move.m_pMove->m_f2 = 3;       // right
  move.m_pMove->m_f21 = 1;      // acceleration mode
  move.m_pMove->m_f30 = 20;     // limit: 2 dots a call
  move.m_pMove->m_f31 = 3.0;    // pushes against the motion count three times
  cCmdState s = State(*c, move, 6);
  std::vector<double> after;
  for (int call = 1; call <= 50; ++call) {
    ExecuteCommand(*c, s);
    if (call == 10 || call == 50) after.push_back(c->m_dAccelX);
  }
  EXPECT_NEAR(after[0], 1.0, 1e-9);
  EXPECT_EQ(after[1], 2.0);
  EXPECT_EQ(c->m_dSpeedX, 0.0) << "the speed itself is left to the character's steps";
  c->m_dAccelX = -1.0;
  ExecuteCommand(*c, s);
  EXPECT_NEAR(c->m_dAccelX, -0.7, 1e-9);
}

// What a movement command's preparation works out of its record (one
// sub-step a frame): the timing choice turns the distance pair (half
// blocks) into the speed (1: distance over time) or the time (2: distance
// over speed) for a straight and for a homing move alike; the second speed
// (acceleration mode's bound) is taken only with that mode on.
TEST_F(CommandsTest, PreparationWorksOutSpeedTimeAndSecondSpeed) {
  struct Row {
    int kind;
    uint8_t timing, accelerate;
    int32_t distance, duration, speedTenths;
    double speed, speed2;
    int32_t durationAfter;
  };
  const Row rows[] = {
      {kCmdMoveStraight, 1, 0, 10, 80, 0, 2.0, 0.0, 80}, {kCmdMoveHoming, 1, 0, 10, 80, 0, 2.0, 0.0, 80},
      {kCmdMoveHoming, 2, 0, 10, 80, 40, 4.0, 0.0, 40},  {kCmdMoveHoming, 0, 0, 10, 80, 30, 3.0, 0.0, 80},
      {kCmdMoveStraight, 0, 1, 0, 80, 30, 3.0, 2.0, 80}, {kCmdMoveStraight, 0, 0, 0, 80, 30, 3.0, 0.0, 80},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "kind " << r.kind << ", timing " << int(r.timing) << ", acceleration "
                                    << int(r.accelerate));
    auto c = At(0, 0, true);
    cEdCmd command = Command(r.kind);
    command.m_pMove->m_f26 = r.timing;
    command.m_pMove->m_f21 = r.accelerate;
    command.m_pMove->m_f30 = 20;  // second speed: 2 dots a call
    command.m_pMove->SetDistanceStart(r.distance);
    command.m_pMove->m_f5 = 0;  // in half blocks
    command.m_pMove->SetSpeedStart(r.speedTenths);
    cCmdState s;
    s.m_pCommand = &command;
    s.m_nDuration = r.duration;
    PrepareCommandState(*c, s);
    EXPECT_DOUBLE_EQ(s.m_dSpeed, r.speed);
    EXPECT_DOUBLE_EQ(s.m_dSpeed2, r.speed2);
    EXPECT_EQ(s.m_nDuration, r.durationAfter);
  }
}

// Movement records at the ends of their fields (and a character at the last
// clone number) never give a speed that is not a number, whatever the kind.
TEST_F(CommandsTest, HostileMoveRecordsKeepSpeedsFinite) {
  for (uint16_t extreme : {uint16_t{0x7fff}, uint16_t{0x8000}, uint16_t{0xffff}}) {
    for (int kind = kCmdMoveStraight; kind <= kCmdJump; ++kind) {
      auto c = At(100, 100, true);
      auto target = At(300, 50, true);
      c->m_wInstance = 0xffff;
      c->Definition().m_nParam31 = 1;
      cEdCmd command = Command(kind, std::vector<uint32_t>(5, 0xffffffffu));
      cEdMove& m = *command.m_pMove;
      for (uint16_t* f : {&m.m_f3, &m.m_f4, &m.m_f8, &m.m_f9, &m.m_f10, &m.m_f11, &m.m_f22, &m.m_f23, &m.m_f24,
                          &m.m_f25, &m.m_f27, &m.m_f28, &m.m_f30})
        *f = extreme;
      for (uint8_t* f : {&m.m_f1, &m.m_f2, &m.m_f12, &m.m_f26, &m.m_f29, &m.m_f32})
        *f = static_cast<uint8_t>(extreme);
      m.m_f21 = extreme & 1;  // acceleration mode for two of the three
      m.m_f33 = 0;
      c->m_Targets[0] = target.get();
      cCmdState s = State(*c, command, 0);
      s.m_dSpeed = s.m_dSpeed * 1e6;
      for (int call = 0; call < 30; ++call) {
        const auto [vx, vy] = Call(*c, s);
        ASSERT_TRUE(std::isfinite(vx) && std::isfinite(vy)) << kind << " " << extreme;
        ASSERT_TRUE(std::isfinite(c->m_dAccelX) && std::isfinite(c->m_dAccelY)) << kind << " " << extreme;
      }
      c->m_Targets[0] = nullptr;
    }
  }
}

// The item table's stop codes: a list runs command by command and ends at
// the first non-zero code, which the stage clear gives.
TEST_F(CommandsTest, AnItemListStopsAtTheStageClear) {
  InstallStageFlows();
  cHero hero;
  hero.m_nHp = 1;
  cEdCmd clear = Command(ItemKindOfFlowKind(kCmdStageClear), std::vector<uint32_t>(9, 0), 1);
  cEdCmd count = Command(ItemKindOfFlowKind(kCmdRunCode), {}, 1);
  count.m_strText = "my.v1 = my.v1 + 7";
  EXPECT_EQ(hero.RunItemCommands({count}), 0);
  EXPECT_EQ(hero.RunItemCommands({clear, count}), 1);
  EXPECT_EQ(hero.RunItemCommands({count}), 0);
  EXPECT_EQ(hero.m_Status[0], 14) << "the code after the clear did not run";
}

// A ground-turn walker on a platform three blocks wide walks to one edge,
// turns, walks to the other and back: it never leaves the platform and its
// x goes up and down.
TEST(GroundTurn, AWalkerTurnsAtBothEdgesOfItsPlatform) {
  StageBuilder builder;
  builder.Floor(12, 0, 19).Hero(1, 11).Floor(8, 9, 11).Character(10, 7);
  cEdCmd walk = Cmd(kCmdMoveGroundTurn, 600);  // a minute
  cEdMove::Create(walk.m_pMove);
  walk.m_pMove->SetSpeedStart(20);
  builder.Data().m_PlacedCharacters.back().m_vFlows = {MakeFlow(0, {walk})};
  const cFlowHost* host = FlowHost();
  cFlowHooks* hooks = &FlowHooks();
  InstallStageFlows();
  {
    StageSession session(builder);
    ASSERT_TRUE(session.Loaded());
    const cStageCharacter& c = session.Scene().m_CharacterList.front();
    session.Frames(20);  // lands on the platform
    const double bottom = c.m_dY;
    int turns = 0;
    double previous = c.m_dX, direction = 0;
    for (int frame = 0; frame < 300; ++frame) {
      session.Frames(1);
      EXPECT_EQ(std::trunc(c.m_dY), std::trunc(bottom)) << "frame " << frame;
      const double step = c.m_dX - previous;
      if (step != 0 && direction != 0 && (step > 0) != (direction > 0)) ++turns;
      if (step != 0) direction = step;
      previous = c.m_dX;
      // The platform covers map dots 608..703; a foot may step a sub-step
      // over an edge before the walker turns.
      EXPECT_GT(c.m_dX, 600.0) << "frame " << frame;
      EXPECT_LT(c.m_dRight, 712.0) << "frame " << frame;
    }
    EXPECT_GE(turns, 4);
  }
  SetFlowHost(const_cast<cFlowHost*>(host));
  SetFlowHooks(hooks);
}

// Ground-turn walkers facing either way, walking forwards or backwards (a
// negative speed), on a platform three blocks wide: each turns at both of
// its edges and never leaves the platform. Under the fixed-turn rule of
// older projects a forward walker still turns back, a backward one walks
// off the first edge it meets.
TEST(GroundTurn, WalkersOfBothFacingsAndBothSpeedSignsStayOnTheirPlatform) {
  struct Row {
    int32_t facing;
    int32_t speed;  // tenths of a dot a frame
    int32_t fixedTurn;
    bool staysOn;
  };
  const Row rows[] = {{0, 20, 0, true},  {1, 20, 0, true},  {0, -20, 0, true}, {1, -20, 0, true},
                      {0, 20, 1, true},  {1, 20, 1, true},  {0, -20, 1, false}, {1, -20, 1, false}};
  const cFlowHost* host = FlowHost();
  cFlowHooks* hooks = &FlowHooks();
  InstallStageFlows();
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "facing " << r.facing << ", speed " << r.speed << ", fixed turn " << r.fixedTurn);
    StageBuilder builder;
    builder.Floor(12, 0, 19).Hero(1, 11).Floor(8, 9, 11).Character(10, 7);
    cEdCmd walk = Cmd(kCmdMoveGroundTurn, 600);  // a minute
    cEdMove::Create(walk.m_pMove);
    walk.m_pMove->SetSpeedStart(r.speed);
    cEdCharacter& walker = builder.Data().m_PlacedCharacters.back();
    walker.SetInitialFacing(r.facing);
    walker.m_vFlows = {MakeFlow(0, {walk})};
    StageSession session(builder);
    ASSERT_TRUE(session.Loaded());
    session.System().SetNum(ProjectRuleRow(kRuleLedge).field, r.fixedTurn);
    session.Scene().SetStage(0, 1);  // the stage starts again under the project's rule
    const cStageCharacter& c = session.Scene().m_CharacterList.front();
    session.Frames(20);  // lands on the platform
    const double platformTop = c.m_dY;
    int turns = 0;
    bool left = false;
    double previous = c.m_dX, direction = 0;
    for (int frame = 0; frame < 300 && !left; ++frame) {
      session.Frames(1);
      const double step = c.m_dX - previous;
      if (step != 0 && direction != 0 && (step > 0) != (direction > 0)) ++turns;
      if (step != 0) direction = step;
      previous = c.m_dX;
      // The platform covers map dots 608..703; a foot may step a sub-step
      // over an edge before the walker turns.
      left = c.m_dY > platformTop + 16 || c.m_dX < 590 || c.m_dRight > 722;
    }
    EXPECT_EQ(!left, r.staysOn);
    if (r.staysOn) {
      EXPECT_GE(turns, 4);
    }
  }
  SetFlowHost(const_cast<cFlowHost*>(host));
  SetFlowHooks(hooks);
}

// The facing command's choices 10 and 11 turn a character of fixed facing
// toward or away from the side of the last block it ran into: here a
// straight move sends it into the wall on its left or right (or, upward on
// the ground, nowhere), then the facing command runs. A character that has
// met no block keeps its facing, whichever it was.
TEST(FacingCommand, TowardOrAwayFromTheLastBlockMetAndUnchangedBeforeAny) {
  struct Row {
    int32_t facing;
    uint8_t move;     // direction choice of the move: 2 left, 3 right, 6 up (no move on the ground)
    uint32_t choice;  // 10 toward, 11 away from
    int32_t after;
  };
  const Row rows[] = {{0, 6, 10, 0}, {1, 6, 10, 1}, {0, 6, 11, 0}, {1, 6, 11, 1},
                      {1, 2, 10, 0}, {0, 2, 11, 1}, {0, 3, 10, 1}, {1, 3, 11, 0}};
  const cFlowHost* host = FlowHost();
  cFlowHooks* hooks = &FlowHooks();
  InstallStageFlows();
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "facing " << r.facing << ", move " << int(r.move) << ", choice " << r.choice);
    StageBuilder builder;
    builder.Floor(10, 0, 19).Block(5, 9).Block(14, 9).Hero(1, 9).Character(9, 9);
    cEdCmd move = Cmd(kCmdMoveStraight, 20);
    cEdMove::Create(move.m_pMove);
    move.m_pMove->m_f2 = r.move;
    move.m_pMove->SetSpeedStart(40);  // four dots a frame: the wall is at most four blocks away
    cEdCharacter& c = builder.Data().m_PlacedCharacters.back();
    c.SetInitialFacing(r.facing);
    c.m_nParam31 = 1;  // fixed facing: only the facing command turns it
    c.m_vFlows = {MakeFlow(0, {move, Cmd(kCmdTurn, 1, false, {r.choice})})};
    StageSession session(builder);
    ASSERT_TRUE(session.Loaded());
    session.Frames(150);  // the move, the turn and the move again
    EXPECT_EQ(session.Scene().m_CharacterList.front().m_nFacing, r.after);
  }
  SetFlowHost(const_cast<cFlowHost*>(host));
  SetFlowHooks(hooks);
}

// The sound-effect command of a character that does not act this sub-step
// is silent when the command plays only while its character acts.
TEST(CommandSound, OnlyWhileActiveSilencesAnIdleCharacter) {
  StageBuilder builder;
  builder.Floor(10, 0, 19).Hero(3, 9).Character(6, 9);
  StageSession session(builder);
  ASSERT_TRUE(session.Loaded());
  cStageCharacter& c = session.Scene().m_CharacterList.front();
  struct Case { int32_t acting; uint8_t onlyWhileActive; bool heard; };
  const Case cases[] = {{1, 1, true}, {0, 1, false}, {0, 0, true}};
  for (const Case& k : cases) {
    c.m_bActing = k.acting;
    cEdCmd sound = Cmd(kCmdPlaySound, 0, false, {5});
    sound.m_nOption = k.onlyWhileActive;
    const size_t before = session.Sounds().size();
    ExecuteSoundEffect(c, sound);
    ASSERT_EQ(session.Sounds().size(), before + (k.heard ? 1 : 0));
    if (k.heard) {
      EXPECT_EQ(session.Sounds().back(), 5 + 16);  // database sounds follow the 16 system ones
    }
  }
}

}  // namespace
