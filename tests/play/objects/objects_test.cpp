#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

#include "data/stage_data.h"
#include "flow/conditions.h"
#include "play/objects/stage_character.h"
#include "play/world/stage_object.h"
#include "play/world/stage_scene.h"
#include "support/stage_builder.h"

namespace {

// Installs a view and running values for one test and puts everything back.
// The map is 1640 x 1280 dots; stage area [320, 1320) x [320, 960); scroll
// range [400, 1000) x [400, 900); ten block rows above the stage.
class ObjectsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_ViewX = {0, 0, 0, 400, 1000, 320, 1320, 10, 1640};
    m_ViewY = {0, 0, 0, 400, 900, 320, 960, 10, 1280};
    SetLevel(1, 0.0);
  }
  void TearDown() override {
    g_MotionSwitches = cMotionSwitches{};
  }
  static void SetLevel(int32_t level, double gravity) { ScopedStageRunning::SetLevel(level, gravity); }
  // A body at (x, y) with its edges and cells in step.
  static cStageObject Body(double x, double y, int32_t w, int32_t h) {
    cStageObject o;
    o.Setup(1, 0, 0, 0, 0, nullptr, 0, 0, 0, w, h, w, h, 1, 0, 0, nullptr);
    o.m_dX = x;
    o.m_dY = y;
    o.ClampX(-1);
    o.ClampY(-1);
    return o;
  }

  ScopedStageRunning m_Stage;
  cAxisView& m_ViewX = m_Stage.x;
  cAxisView& m_ViewY = m_Stage.y;
};

TEST_F(ObjectsTest, RunningValuesAndUnits) {
  struct Row {
    int32_t level, n;
    double maxSpeed;
  };
  const Row rows[] = {{1, 1, 6.0}, {2, 2, 6.0}, {11, 1, 60.0}, {12, 2, 30.0}, {19, 9, 60.0 / 9}, {20, 20, 6.0}, {0, 1, 6.0}};
  for (const Row& r : rows) {
    SetLevel(r.level, 0.4);
    EXPECT_EQ((std::vector<double>{double(StageSubSteps()), StageFrameScale(), StageSpeedScale(), StageMaxSpeed(),
                                   StageGravity(), double(StageLandingConstant()), double(StageData.m_nSpeedStep)}),
              (std::vector<double>{double(r.n), double(r.n), double(r.n) * r.n, r.maxSpeed, 0.4 / (double(r.n) * r.n),
                                   8.0 * r.n, 6.0 * r.n}))
        << r.level;
    // Moves bound the stored speed to the maximum.
    cStageObject o = Body(500, 500, 32, 32);
    o.m_dSpeedX = 100;
    o.m_dSpeedY = -100;
    EXPECT_EQ(o.MoveX(2) + o.MoveY(2), 0);
    EXPECT_EQ((std::vector<double>{o.m_dSpeedX, o.m_dX, o.m_dY}), (std::vector<double>{r.maxSpeed, 500 + r.maxSpeed, 500 - r.maxSpeed}));
  }
  SetLevel(2, 0);
  EXPECT_EQ(HblToDots(-3), -48);
  EXPECT_EQ(ConvertSpeed(250), 0.625);
  EXPECT_EQ((std::vector<int32_t>{TruncToInt(-3.7), TruncToInt(NAN), TruncToInt(1e20), TruncToInt(-1e20), CellOf(-1.0),
                                  CellOf(-0.9), CellOf(32.0)}),
            (std::vector<int32_t>{-3, INT_MIN, INT_MAX, INT_MIN, -1, 0, 1}));
}

TEST_F(ObjectsTest, ClampEdgeCodes) {
  struct Row {
    bool onY;
    int mode;
    double pos;
    int32_t size;
    int code;
    double after;
  };
  const Row rows[] = {
      {false, 2, -5, 32, 3, 0},     {false, 2, 0, 32, 2, 0},       {false, 2, 1620, 32, 3, 1608},
      {false, 2, 350, 32, 1, 350},  {false, 2, 969, 32, 1, 969},   {false, 2, 968, 32, 0, 968},
      {false, 2, 1300, 32, 2, 1300}, {false, 1, 100, 32, 0, 320},  {false, 1, 1310, 32, 0, 1288},
      {false, 1, 350, 32, 1, 350},  {false, 0, 990, 32, 0, 968},   {false, 7, -50, 32, 0, -50},
      {true, 2, -5, 32, 3, 0},      {true, 2, 1270, 32, 6, 1248},  {true, 2, 100, 32, 2, 100},
      {true, 2, 950, 32, 5, 950},   {true, 2, 350, 32, 1, 350},    {true, 2, 880, 32, 4, 880},
      {true, 2, 500, 32, 0, 500},   {true, 1, 880, 32, 1, 880},    {true, 1, 950, 32, 0, 928},
      {true, 0, 100, 32, 0, 400},
      // A body as tall as the rows above the stage is not held at the ends.
      {true, 2, -5, 320, 0, -5},    {true, 2, 1000, 320, 0, 1000}, {true, 2, -5, 319, 3, 0},
  };
  for (const Row& r : rows) {
    cStageObject o = r.onY ? Body(500, r.pos, 32, r.size) : Body(r.pos, 500, r.size, 32);
    EXPECT_EQ(r.onY ? o.ClampY(r.mode) : o.ClampX(r.mode), r.code) << r.onY << r.mode << " " << r.pos;
    const double p = r.onY ? o.m_dY : o.m_dX, far = r.onY ? o.m_dBottom : o.m_dRight;
    EXPECT_EQ(p, r.after) << r.onY << r.mode << " " << r.pos;
    EXPECT_EQ(far, r.after + r.size - 1);
    EXPECT_EQ(r.onY ? o.m_nRowBottom : o.m_nColumnRight, CellOf(r.after + r.size - 1));
  }
}

TEST_F(ObjectsTest, SetupAxisModesCopiesAndScale) {
  const int32_t modes[][3] = {{0, 0, 1}, {1, 1, 0}, {2, 1, 1}, {3, 1, 2}};
  for (const auto& m : modes) {
    cStageObject o;
    o.SetAxisMode(m[0]);
    o.SetAxisMode(4);
    EXPECT_EQ((std::vector<int32_t>{o.m_bFreeVertical, o.m_byAxisMode2}), (std::vector<int32_t>{m[1], m[2]})) << m[0];
  }
  cStageObject o;
  o.m_dX = 77.5;
  o.m_bOnScreen = 1;
  // The item animation is uninterruptible; Setup starts the given one anyway.
  o.m_AnimePlayer.SetAnimeSet(kItemAnimeSet);
  o.Setup(9, -1, 2, 5, 44, kShotAnimeSet, 1, 3, 4, 20, 30, 32, 40, 0, 2, 7, nullptr);
  EXPECT_EQ((std::vector<int32_t>{o.m_nLifeCountdown, o.m_AnimePlayer.m_nAnime, o.m_nMarginX, o.m_nBaseMarginY, o.m_nWidth,
                                  o.m_nBaseHeight, o.m_nDrawWidth, o.m_nBaseDrawHeight, o.m_bOnScreen, o.FacingSign()}),
            (std::vector<int32_t>{0x7fffffff, 1, 3, 4, 20, 30, 32, 40, 0, -1}));
  EXPECT_EQ(o.m_dX, 77.5);
  // A copy shares the animations until it is given others.
  cStageObject copy(o);
  EXPECT_EQ(&copy.m_AnimePlayer.Animes(), &o.m_AnimePlayer.Animes());
  copy.m_AnimePlayer.SetAnimeSet(kItemAnimeSet);
  EXPECT_EQ(copy.m_AnimePlayer.Animes().size(), 1u);
  EXPECT_EQ(o.m_AnimePlayer.Animes().size(), 2u);

  // A scale change keeps the body's centre: (20 >> 1) x 2 to the left.
  cStageObject b = Body(500, 500, 20, 30);
  b.SetScale(1, 1, 0);
  b.SetScale(3, 1, 0);
  EXPECT_EQ((std::vector<double>{double(b.m_nWidth), double(b.m_nDrawHeight), b.m_dX, b.m_dRight}),
            (std::vector<double>{60, 90, 480, 539}));
}

TEST_F(ObjectsTest, ScreenRectangleAndCentre) {
  struct Row {
    int32_t freeVertical, follows;
    double step;
    int32_t atLimit, left, top;
  };
  // x 10.5, y 30.9, margins 2 and 3, scroll (12.7, 20.6). A falling body
  // gives trunc(10.5 - 2 - 12) = -3, not the floor -4.
  const Row rows[] = {{0, 0, 0, 0, -3, 7},   {0, 1, 1.5, 0, -3, 7}, {1, 0, 0, 0, -4, 7},
                      {1, 1, 1.5, 1, -4, 7}, {1, 1, 1.5, 0, -4, 8}, {1, 0, 1.5, 0, -3, 8}};
  for (const Row& r : rows) {
    m_ViewX = {12.7, r.atLimit, r.step};
    m_ViewY = {20.6, r.atLimit, r.step};
    cStageObject o = Body(10.5, 30.9, 16, 16);
    o.m_nMarginX = 2;
    o.m_nMarginY = 3;
    o.m_nDrawWidth = 24;
    o.m_nDrawHeight = 20;
    o.m_bFreeVertical = r.freeVertical;
    o.m_bFollowsScroll = r.follows;
    o.UpdateScreenRect();
    EXPECT_EQ((std::vector<int32_t>{o.m_rcScreen.left, o.m_rcScreen.top, o.m_rcScreen.right, o.m_rcScreen.bottom}),
              (std::vector<int32_t>{r.left, r.top, r.left + 23, r.top + 19}))
        << r.freeVertical << r.follows << r.step << r.atLimit;
  }
}

TEST_F(ObjectsTest, ScreenStageAndLiveRange) {
  m_ViewX.position = m_ViewY.position = 400;
  const cLiveRange none;
  const cLiveRange twoBlocks = {1, 1, 1, 1, 2, 2, 2, 2};
  struct Row {
    double x, y;
    bool onScreen, insideArea, outsideNoLimits, outsideTwoBlocks;
  };
  // Right edge x + 31; the two-block removal area starts at 400 - 64 on the
  // left and 1040 + 64 on the right (the same on y with 880 + 64).
  const Row rows[] = {
      {369, 500, true, true, false, false},   {368, 500, false, true, false, false}, {1039.5, 500, true, true, false, false},
      {300, 500, false, false, false, true},  {305, 500, false, false, false, true}, {306, 500, false, false, false, false},
      {1104, 500, false, true, false, true},  {1103, 500, false, true, false, false}, {500, 944, false, false, false, true},
      {500, 305, false, false, false, true},  {500, 306, false, false, false, false},
      // The map's first and last dots count as outside; 0.5 does not.
      {0, 500, false, false, true, true},     {0.5, 500, false, false, false, true}, {1608, 500, false, false, true, true},
      {500, 1247, false, false, false, true},
  };
  for (const Row& r : rows) {
    cStageObject o = Body(r.x, r.y, 32, 32);
    EXPECT_EQ((std::vector<bool>{o.IsOnScreen(), o.IsInsideStage(false), o.IsOutsideLiveRange(none),
                                 o.IsOutsideLiveRange(twoBlocks)}),
              (std::vector<bool>{r.onScreen, r.insideArea, r.outsideNoLimits, r.outsideTwoBlocks}))
        << r.x << " " << r.y;
    o.m_bOnScreen = 1;
    EXPECT_FALSE(o.IsOutsideLiveRange(twoBlocks));
  }
  // Edges touching overlap.
  cStageObject o = Body(2000, 500, 32, 32);
  EXPECT_EQ((std::vector<bool>{o.OverlapsRect(2031, 531, 3000, 3000), o.OverlapsRect(2032, 500, 3000, 3000),
                               o.IsOnScreenAxes(false, true), o.IsOnScreenAxes(true, false)}),
            (std::vector<bool>{true, false, false, true}));
}

TEST_F(ObjectsTest, AimVectorWithAndWithoutScroll) {
  double vx = 9, vy = 9;
  int32_t dir = -1;
  EXPECT_EQ(AimVector(vx, vy, dir, nullptr, 10, 20, 13, 24, 5, false, false, true), 1);
  EXPECT_EQ((std::vector<double>{vx, vy, double(dir)}), (std::vector<double>{3, 4, 2}));
  EXPECT_EQ(AimVector(vx, vy, dir, nullptr, 10, 20, 10, 20, 5, false, false, false), 0);
  EXPECT_EQ((std::vector<double>{vx, vy, double(dir)}), (std::vector<double>{0, 0, 0}));
  // Flee: each axis at |speed| / sqrt(2) away from the target.
  AimVector(vx, vy, dir, nullptr, 2, 2, 5, 0, -4, false, false, true);
  EXPECT_EQ((std::vector<double>{vx, vy}), (std::vector<double>{-(4 / std::sqrt(2.0)), 4 / std::sqrt(2.0)}));

  // A forced scroll of 1 dot a step on x: a mover that does not follow it
  // takes the step off; a follower's velocity keeps the speed's length and,
  // less the scroll step, points at the target.
  m_ViewX.step = 1;
  cStageObject mover = Body(0, 0, 32, 32);
  AimVector(vx, vy, dir, &mover, 0, 0, 3, 4, 5, false, false, false);
  EXPECT_EQ((std::vector<double>{vx, vy}), (std::vector<double>{2, 4}));
  mover.m_bFollowsScroll = 1;
  AimVector(vx, vy, dir, &mover, 0, 0, 3, 4, 5, false, false, false);
  EXPECT_NEAR(vx * vx + vy * vy, 25, 1e-12);
  EXPECT_NEAR((vx - 1) * 4, 3 * vy, 1e-12);
  // No distance: the solve stops, the direction is left as it was.
  dir = 7;
  EXPECT_EQ(AimVector(vx, vy, dir, &mover, 5, 5, 5, 5, 5, false, false, true), 0);
  EXPECT_EQ(dir, 7);
}

TEST_F(ObjectsTest, JudgeRanges) {
  struct Row {
    bool centred;
    int32_t lengthLow, lengthHigh, low, high;
  };
  const Row rows[] = {{true, 0, 0, 100, 132},  {true, 0, 16, 116, 148},  {true, 16, 0, 84, 116},  {true, 16, 16, 84, 148},
                      {false, 0, 0, 116, 116}, {false, 0, 16, 116, 148}, {false, 16, 0, 84, 116}, {false, 16, 16, 84, 148}};
  for (const Row& r : rows) {
    int32_t low = 0, high = 0;
    ComputeJudgeRange(low, high, 100, 32, r.lengthLow, r.lengthHigh, r.centred);
    EXPECT_EQ((std::vector<int32_t>{low, high}), (std::vector<int32_t>{r.low, r.high})) << r.centred << r.lengthLow << r.lengthHigh;
  }
  // Judge [100, 132] against [40, 100] with a margin of 4: only the height
  // test's plain rule, for a target whose body fills its drawn height, and
  // only with the range switch off.
  cStageObject judge = Body(0, 0, 32, 32), target = Body(0, 0, 32, 32);
  target.m_nDrawHeight = 32;
  EXPECT_FALSE(judge.OverlapsOnAxis(100, 32, 40, 100, 4, 0, 0, true, false, &target));
  EXPECT_TRUE(judge.OverlapsOnAxis(100, 32, 40, 100, 4, 0, 0, true, true, &target));
  target.m_nDrawHeight = 64;
  EXPECT_FALSE(judge.OverlapsOnAxis(100, 32, 40, 100, 4, 0, 0, true, true, &target));
  target.m_nDrawHeight = 32;
  g_MotionSwitches.range = 1;
  EXPECT_FALSE(judge.OverlapsOnAxis(100, 32, 40, 100, 4, 0, 0, true, true, &target));
}

TEST(CharacterSearch, ScopesFiltersAndStatus) {
  std::list<cStageCharacter> characters;
  std::list<cCharacter*> side;
  const cCharacterLists list{&side};
  auto add = [&](int32_t id, int32_t cx, int32_t cy, int32_t onScreen, uint8_t invincible, int32_t status) {
    cStageCharacter& c = characters.emplace_back();
    side.push_back(&c);
    c.m_nId = id;
    c.m_bPresent = 1;
    c.m_bOnScreen = onScreen;
    c.m_nDrawWidth = c.m_nDrawHeight = 10;
    c.m_rcScreen.left = cx - 5;
    c.m_rcScreen.top = cy - 5;
    c.m_Definition.m_nParam35 = invincible;
    c.m_Status.assign(9, status);
    return &c;
  };
  auto id = [](const cCharacter* c) { return c ? c->m_nId : -1; };
  add(1, 10, 10, 0, 0, 1);
  cStageCharacter* third = add(3, 200, 0, 1, 2, 12);
  add(4, 0, 200, 1, 1, -6);  // as near as 3: the earlier one wins
  const cCharacterFilter all;
  EXPECT_EQ((std::vector<int32_t>{id(FindNearestObject(0, 0, list, 1, all)), id(FindNearestObject(0, 0, list, 0, all)),
                                  id(FindNearestObject(0, 0, list, 2, all)), id(FindNearestCharacter(*third, list))}),
            (std::vector<int32_t>{1, 3, 3, 4}));
  cCharacterFilter f;
  f.statusFilter = true;
  f.statusIndex = 4;
  f.value = 3;
  f.op = 6;  // |status| divisible by 3
  EXPECT_EQ(id(FindNearestObject(0, 0, list, 1, f)), 3);
  f.excludeInvincible2 = true;
  EXPECT_EQ(id(FindNearestObject(0, 0, list, 0, f)), 4);
  f.statusIndex = 9;  // a word the characters do not have
  EXPECT_EQ(id(FindFirstObject(list, f)), -1);
  // Dying characters are never found; absent ones only by the first search.
  third->m_bDying = 1;
  characters.back().m_bPresent = 0;
  EXPECT_EQ((std::vector<int32_t>{id(FindNearestObject(0, 0, list, 0, all)), id(FindNearestObject(0, 0, list, 2, all)),
                                  id(FindFirstObject(list, cCharacterFilter{.excludeIdFilter = true, .id = 1}))}),
            (std::vector<int32_t>{1, -1, 4}));
  const int32_t ops[][4] = {{5, 4, 4, 1}, {4, 4, 5, 0}, {7, 0, 6, 1}, {7, 0, 7, 0}, {-7, 3, 7, 1}, {3, 3, 8, 0}};
  for (const auto& o : ops) EXPECT_EQ(CompareByOperator(o[0], o[1], o[2]), o[3] != 0) << o[0] << " " << o[2];
  // A character a vanish flagged this sub-step is gone for the searches.
  characters.front().m_bRemoved = 1;
  EXPECT_EQ(id(FindFirstObject(list, all)), 4);
  EXPECT_EQ(id(FindNearestObject(0, 0, list, 1, all)), -1);
}

// On a running stage the ground turn-around reads the stage's block map,
// whose cell (column, row) holds stage block (column - 10, row - 10): the
// floor covers dots x 384..511, y 480..511.
TEST(StageGeometry, GroundTurnAtLedges) {
  StageBuilder builder(20, 15);
  builder.Floor(5, 2, 5).Hero(15, 9).Floor(10, 14, 16);
  StageSession session(builder);
  ASSERT_TRUE(session.Loaded());
  // A walker on the floor at 2 dots a step: {x, facing, ledge switch, direction}.
  // Flow commands: at a positive speed the turn is away from the edge
  // whichever way the walker faces (the sign of the speed decides, not of
  // the velocity).
  const int32_t ledges[][4] = {{400, 1, 0, 0}, {490, 1, 0, 1}, {490, 0, 0, 1}, {490, 0, 1, 1},
                               {370, 0, 0, 2}, {370, 1, 0, 2}, {370, 0, 1, 2}, {300, 1, 0, 0}};
  for (const auto& l : ledges) {
    g_MotionSwitches.ledge = l[2];
    cStageCharacter c;
    c.m_nWidth = c.m_nHeight = 32;
    c.m_dX = l[0];
    c.m_dY = 448;
    c.m_nFacing = l[1];
    c.ClampX(-1);
    c.ClampY(-1);
    double vx = 0;
    int32_t direction = -1;
    GroundTurnVelocity(c, 2, vx, direction);
    EXPECT_EQ((std::vector<double>{vx, double(direction)}), (std::vector<double>{l[1] ? 2.0 : -2.0, double(l[3])}))
        << l[0] << " " << l[1] << " " << l[2];
  }
  g_MotionSwitches = cMotionSwitches{};
}

}  // namespace
