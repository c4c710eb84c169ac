#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "../../gfx/surface_pixels.h"
#include "base/random.h"
#include "data/common_palette.h"
#include "data/database.h"
#include "data/database_records.h"
#include "gfx/surface_table.h"
#include "play/objects/character.h"
#include "play/objects/hero.h"
#include "play/objects/shot.h"
#include "play/objects/stage_character.h"
#include "play/world/stage_scene.h"
#include "play/world/system_switches.h"
#include "scene/play_record.h"
#include "scene/replay_recorder.h"
#include "scene/scene.h"
#include "support/stage_builder.h"

namespace {

// A shot record with the fields these tests use; the rest stay 0.
struct ShotRecipe {
  int32_t pattern = 0, direction = 3, objects = 1, extra = 0, gapOrStep = 0;
  int32_t speed = 30, range = 0, lifetime = 0, spread = 0, aimTarget = 0, angle = 0;
  cEdShot Make() const {
    cEdShot d;
    d.m_f1 = static_cast<uint8_t>(pattern);
    d.m_f2 = static_cast<uint8_t>(direction);
    d.m_f7 = static_cast<uint8_t>(aimTarget);
    d.m_f26 = 1;  // scale
    d.m_f38 = range != 0;
    d.m_f41 = lifetime != 0;
    d.SetObjectCount(objects);
    d.SetExtraCount(extra);
    d.SetPatternParam(0, gapOrStep);
    d.SetSpeed(speed);
    d.SetRange(range);
    d.SetLifetime(lifetime);
    d.SetRandomSpread(spread);
    d.SetBaseAngle(angle);
    return d;
  }
};

// A scene (for the shot list) and a stand-in view: the map is 3000 x 2000
// dots with ten blocks of margin; the view's origin is (320.5, 40).
class ShotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Stage.x = {320.5, 0, 0, 320, 2680, 320, 2680, 10, 3000};
    m_Stage.y = {40, 0, 0, 320, 1680, 320, 1680, 10, 2000};
    ScopedStageRunning::SetLevel(2, 0.0);
    m_Shooter.m_nId = 7;
    m_Shooter.m_nKind = 0;
    m_Shooter.m_nFacing = 1;
    m_Shooter.m_rcScreen = {100, 200, 131, 231};
    m_Shooter.m_nDrawWidth = m_Shooter.m_nDrawHeight = 32;
  }
  void TearDown() override {
    SaveData.m_nTrackPlaying = m_SavedTrack;
    SRand(1);
  }
  // The objects one run of the pattern places: position and velocity.
  std::vector<cVolley> Layout(const cEdShot& d, int32_t direction, double speed = 4.0, double angle = 0) {
    cVolley v;
    v.direction = direction;
    v.speed = speed;
    v.angle = angle;
    std::vector<cVolley> out;
    RunVolleyPattern(m_Shooter, d, v, [&](cVolley& at) { out.push_back(at); });
    return out;
  }

  int32_t m_SavedTrack = SaveData.m_nTrackPlaying;
  cStageScene m_Scene;
  ScopedStageRunning m_Stage;
  cCharacter m_Shooter;
};

TEST_F(ShotTest, SetUpPinsSpeedRangeAndLifetimeInSubSteps) {
  struct Row { int32_t level, speed, range, lifetime; double ownVX; int32_t rangeFrames, lifeFrames; };
  const Row rows[] = {
      {2, 30, 10, 0, 1.5, 96, 0},    // D = 144 dots at 1.5 a sub-step
      {1, 30, 10, 0, 3.0, 48, 0},
      {11, 300, 2, 0, 16.0, 1, 0},   // D = 16 is flown in one step at 16 dots
      {2, 30, 0, 10, 1.5, 0, 120},   // a second is 6 x 2 x 10 sub-steps
      {1, 30, 0, 10, 3.0, 0, 60},
  };
  for (const Row& r : rows) {
    ScopedStageRunning::SetLevel(r.level, 0.0);
    const cEdShot d = ShotRecipe{.speed = r.speed, .range = r.range, .lifetime = r.lifetime}.Make();
    cVolley v;
    v.x = 1000;
    v.y = 500;
    v.speed = r.speed * 0.1;
    v.vx = v.speed;
    v.range = r.range;
    v.lifetime = r.lifetime;
    cShot shot;
    shot.Setup(d, m_Shooter, v, kCmdShot, 1);
    EXPECT_EQ(shot.m_dOwnVX, r.ownVX) << r.level << " " << r.speed;
    EXPECT_EQ(shot.m_nRangeFrames, r.rangeFrames) << r.level << " " << r.speed;
    EXPECT_EQ(shot.m_nLifeFrames, r.lifeFrames) << r.level << " " << r.speed;
    if (r.lifetime != 0) {
      int calls = 0;
      while (shot.MoveByKind() == 0 && calls < 1000) ++calls;
      EXPECT_EQ(calls, r.lifeFrames) << "the shot ends on the call after its last sub-step";
    }
  }
}

TEST_F(ShotTest, PatternsLayOutTheirObjects) {
  // Shooter screen rectangle (100, 200)-(131, 231), view origin (320.5, 40),
  // box 16: half sizes 8, the shooter's half size 16.
  struct Row {
    const char* name;
    ShotRecipe recipe;
    int32_t direction;
    std::vector<std::pair<int32_t, int32_t>> positions;
  };
  const ShotRecipe straightA{.objects = 3, .gapOrStep = 1}, straightB{.pattern = 1, .objects = 3, .gapOrStep = 1},
      explosion{.pattern = 4, .objects = 4};
  // Aimed through the shooter's own centre line.
  const ShotRecipe lightning{.pattern = 3, .objects = 2, .gapOrStep = 1, .aimTarget = 2};
  const Row rows[] = {
      // Right: x = trunc(131 + 320.5 + 1); first y = 40 + 200 + 16 - 2 x 8 - 3 x 8, step 16 + 16.
      {"straight A right", straightA, 3, {{452, 216}, {452, 248}, {452, 280}}},
      // Left: x = trunc(100 + 320.5 + 1 - 16).
      {"straight A left", straightA, 2, {{405, 216}, {405, 248}, {405, 280}}},
      // Down: y = 40 + 231 + 1; first x = 320 + 100 + 16 - 16 - 24.
      {"straight A down", straightA, 7, {{396, 272}, {428, 272}, {460, 272}}},
      // B grows upward from the shooter's bottom: y = 40 + 231 - 16 + 1.
      {"straight B right", straightB, 3, {{452, 256}, {452, 224}, {452, 192}}},
      // All from the shooter's centre less half the box.
      {"explosion", explosion, 2, {{428, 248}, {428, 248}, {428, 248}, {428, 248}}},
      // Enters at the view's left edge on the shooter's centre line:
      // (trunc(320.5), 40 - 8 + 216), one box and gap further each.
      {"lightning right", lightning, 3, {{320, 248}, {352, 248}}},
  };
  for (const Row& r : rows) {
    const std::vector<cVolley> got = Layout(r.recipe.Make(), r.direction);
    std::vector<std::pair<int32_t, int32_t>> positions;
    for (const cVolley& v : got) positions.push_back({v.x, v.y});
    EXPECT_EQ(positions, r.positions) << r.name;
  }
}

TEST_F(ShotTest, AnglesAndFansFlyWhereTheirDegreesPoint) {
  // Angle 0 flies left, 90 up, 180 right, 270 down: the explosion of four
  // from direction left (base 0).
  const std::vector<cVolley> burst = Layout(ShotRecipe{.pattern = 4, .objects = 4}.Make(), 2, 4.0);
  ASSERT_EQ(burst.size(), 4u);
  const double expected[4][2] = {{-4, 0}, {0, -4}, {4, 0}, {0, 4}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(burst[i].vx, expected[i][0], 1e-9) << i;
    EXPECT_NEAR(burst[i].vy, expected[i][1], 1e-9) << i;
  }
  // The radian constant lies below pi/180: angle 90 keeps a tiny leftward
  // part, so such a shot faces left.
  EXPECT_LT(burst[1].vx, 0.0);

  // A fan of four at 30 degrees around right (180): 135, 165, 195, 225.
  const std::vector<cVolley> spread = Layout(ShotRecipe{.pattern = 2, .objects = 4, .gapOrStep = 30}.Make(), 3, 2.0);
  ASSERT_EQ(spread.size(), 4u);
  const double degrees[4] = {135, 165, 195, 225};
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(spread[i].vx, -std::cos(degrees[i] * M_PI / 180) * 2.0, 1e-9) << i;
    EXPECT_NEAR(spread[i].vy, -std::sin(degrees[i] * M_PI / 180) * 2.0, 1e-9) << i;
    // All start beside the shooter's right edge, centred on it.
    EXPECT_EQ(spread[i].x, 452);
    EXPECT_EQ(spread[i].y, 248);
  }

  // Surround: four around the shooter (aim target "self") at 2 half blocks,
  // each flying toward the centre; the offsets are int(cos a x r + 0.5),
  // so the left and upper ones truncate -31.5 to -31.
  const ShotRecipe ring{.pattern = 5, .objects = 4, .gapOrStep = 2, .aimTarget = 2};
  const std::vector<cVolley> around = Layout(ring.Make(), 2, 1.0);
  ASSERT_EQ(around.size(), 4u);
  const int32_t cx = 320 + 116 - 8, cy = 40 + 216 - 8;
  const int32_t offsets[4][2] = {{32, 0}, {0, 32}, {-31, 0}, {0, -31}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(around[i].x, cx + offsets[i][0]) << i;
    EXPECT_EQ(around[i].y, cy + offsets[i][1]) << i;
  }
}

// A volley with a spread draws a number for its first angle and one more
// after each shot (the last one's unused): n shots, n + 1 draws.
TEST_F(ShotTest, VolleysCountShotsAndDrawOneRandomNumberPerSpreadShotAndOneMore) {
  struct Row {
    int32_t extra, spread;
    size_t shots;
    int nextDraw;  // the first draw after the volley, seed 1
  };
  // Seed 1 draws 41, 18467, 6334, 26500, 19169, 15724, ...
  const Row rows[] = {{0, 0, 1, 41}, {3, 0, 4, 41}, {0, 10, 1, 6334}, {3, 10, 4, 15724}};
  for (const Row& r : rows) {
    ClearShots(m_Scene);
    SRand(1);
    FireShots(m_Scene, m_Shooter, ShotRecipe{.extra = r.extra, .spread = r.spread}.Make());
    EXPECT_EQ(m_Scene.m_ShotList.size(), r.shots) << r.extra << " " << r.spread;
    EXPECT_EQ(Rand(), r.nextDraw) << r.extra << " " << r.spread;
  }
  // A mirrored angle of 30 for a shooter facing right becomes 330; from
  // direction right (180) the shot flies at 150: up and to the right.
  ClearShots(m_Scene);
  cEdShot d = ShotRecipe{.angle = 30}.Make();
  d.m_f10 = 1;  // mirror the angle with the facing
  m_Shooter.m_nFacing = 1;
  FireShots(m_Scene, m_Shooter, d);
  ASSERT_EQ(m_Scene.m_ShotList.size(), 1u);
  const cShot& shot = *m_Scene.m_ShotList.front();
  EXPECT_GT(shot.m_dOwnVX, 0.0);
  EXPECT_LT(shot.m_dOwnVY, 0.0);
  EXPECT_NEAR(std::atan2(-shot.m_dOwnVY, -shot.m_dOwnVX) * 180 / M_PI, 150.0, 1e-9);
  ClearShots(m_Scene);
}

// Flushing drops exactly the shots marked since the last flush, from the
// list and from their group, in any marking order and however often one is
// marked; the others keep their order.
TEST_F(ShotTest, FlushDropsTheMarkedShotsAndKeepsTheOrderOfTheRest) {
  struct Row { std::vector<size_t> marks; std::vector<size_t> kept; };
  const Row rows[] = {
      {{}, {0, 1, 2, 3, 4, 5}},
      {{4, 1, 4}, {0, 2, 3, 5}},
      {{5, 0}, {1, 2, 3, 4}},
      {{0, 1, 2, 3, 4, 5}, {}},
  };
  for (const Row& r : rows) {
    ClearShots(m_Scene);
    FireShots(m_Scene, m_Shooter, ShotRecipe{.extra = 5}.Make());
    ASSERT_EQ(m_Scene.m_ShotList.size(), 6u);
    std::vector<cShot*> fired;
    for (const auto& shot : m_Scene.m_ShotList) fired.push_back(shot.get());
    for (size_t i : r.marks) MarkShotForRemoval(m_Scene, *fired[i]);
    FlushShots(m_Scene);
    std::vector<cShot*> expected;
    for (size_t i : r.kept) expected.push_back(fired[i]);
    std::vector<cShot*> listed, grouped;
    for (const auto& shot : m_Scene.m_ShotList) listed.push_back(shot.get());
    for (const auto& group : m_Scene.m_ShotGroups) grouped.insert(grouped.end(), group.begin(), group.end());
    EXPECT_EQ(listed, expected) << r.marks.size();
    EXPECT_EQ(grouped, expected) << r.marks.size();
    // Nothing is left marked: a second flush changes nothing.
    FlushShots(m_Scene);
    EXPECT_EQ(m_Scene.m_ShotList.size(), r.kept.size());
  }
  ClearShots(m_Scene);
}

// The shots of the stage's shot order, holes left out, with their groups.
std::vector<std::pair<cShot*, int32_t>> OrderedShots(const cStageScene& scene) {
  std::vector<std::pair<cShot*, int32_t>> out;
  for (size_t k = 0; k < scene.m_ShotOrder.size(); ++k)
    if (scene.m_ShotOrder[k].shot) out.emplace_back(scene.m_ShotOrder[k].shot, scene.m_ShotOrder[k].group);
  return out;
}

// The shot order the walks read follows the list through volleys of three
// groups and rounds of removals, enough for its holes to be squeezed out
// several times: without holes it is the list, and the entries of one group
// are that group's list.
TEST_F(ShotTest, TheShotOrderFollowsTheListAndItsGroupsThroughRemovals) {
  ClearShots(m_Scene);
  // Marks every shot whose place in the list is a multiple of `every`,
  // counted from `start`.
  struct Round { int32_t group; int32_t extra; size_t every; size_t start; };
  const Round rounds[] = {
      {0, 39, 1, 100},  // nothing marked yet
      {3, 59, 3, 0},   {5, 19, 2, 1},  {3, 99, 5, 2},  {0, 0, 1, 0},   // the last marks all
      {5, 63, 7, 3},   {0, 127, 2, 0}, {3, 15, 1, 8},  {5, 200, 4, 1}, {0, 31, 1000, 0},
  };
  size_t compactions = 0;
  for (const Round& r : rounds) {
    ShotRecipe recipe{.extra = r.extra};
    cEdShot d = recipe.Make();
    d.SetFactionNumber(r.group);
    FireShots(m_Scene, m_Shooter, d);
    std::vector<cShot*> listed;
    for (const auto& shot : m_Scene.m_ShotList) listed.push_back(shot.get());
    for (size_t i = r.start; i < listed.size(); i += r.every) MarkShotForRemoval(m_Scene, *listed[i]);
    const size_t holesBefore = m_Scene.m_ShotOrder.Holes();
    FlushShots(m_Scene);
    if (m_Scene.m_ShotOrder.Holes() < holesBefore) ++compactions;
    EXPECT_EQ(m_Scene.m_ShotOrder.size() - m_Scene.m_ShotOrder.Holes(), m_Scene.m_ShotList.size());

    const auto ordered = OrderedShots(m_Scene);
    listed.clear();
    for (const auto& shot : m_Scene.m_ShotList) listed.push_back(shot.get());
    std::vector<cShot*> orderedShots;
    for (const auto& [shot, group] : ordered) {
      orderedShots.push_back(shot);
      EXPECT_EQ(group, shot->m_nGroup);
      EXPECT_EQ(m_Scene.m_ShotOrder.Find(shot->m_nOrderSerial)->shot, shot);
    }
    EXPECT_EQ(orderedShots, listed) << r.extra;
    for (int32_t g = 0; g < kGroupCount; ++g) {
      std::vector<cShot*> ofGroup;
      for (const auto& [shot, group] : ordered)
        if (group == g) ofGroup.push_back(shot);
      const auto& groupList = m_Scene.m_ShotGroups[static_cast<size_t>(g)];
      EXPECT_EQ(ofGroup, std::vector<cShot*>(groupList.begin(), groupList.end())) << g;
    }
  }
  EXPECT_GE(compactions, 2u);
  ClearShots(m_Scene);
  EXPECT_EQ(m_Scene.m_ShotOrder.size(), 0u);
}

// Holes: a dropped serial is found no more, others are found wherever they
// stand; the holes go only once they are many, and the order stays.
TEST(ShotOrder, DropsFindsAndSqueezesOutHolesInOrder) {
  struct Row { size_t count; size_t every; bool squeezed; };
  const Row rows[] = {{10, 2, false}, {200, 4, false}, {200, 3, true}, {128, 2, true}, {600, 1, true}, {64, 1, true}};
  for (const Row& r : rows) {
    cShotOrder order;
    std::vector<cShot*> fake(r.count);
    std::vector<uint64_t> serials;
    for (size_t i = 0; i < r.count; ++i) {
      fake[i] = reinterpret_cast<cShot*>(0x1000 + 64 * i);
      serials.push_back(order.Push(fake[i]));
    }
    std::vector<cShot*> kept;
    for (size_t i = 0; i < r.count; ++i) {
      if (i % r.every == 0) order.Drop(serials[i]);
      else kept.push_back(fake[i]);
    }
    order.Drop(serials[0]);  // a second drop changes nothing
    for (size_t i = 0; i < r.count; ++i)
      EXPECT_EQ(order.Find(serials[i]) != nullptr, i % r.every != 0) << r.count << " " << i;
    order.Compact();
    EXPECT_EQ(order.Holes() == 0, r.squeezed) << r.count << " " << r.every;
    EXPECT_EQ(order.size(), kept.size() + order.Holes());
    std::vector<cShot*> walked;
    for (size_t k = 0; k < order.size(); ++k)
      if (order[k].shot) walked.push_back(order[k].shot);
    EXPECT_EQ(walked, kept) << r.count << " " << r.every;
    for (size_t i = 1; i < r.count; i += r.every + 1)
      if (i % r.every != 0) {
        EXPECT_EQ(order.Find(serials[i])->shot, fake[i]);
      }
  }
}

// A stage whose hero fires to the left: the shot leaves the map and goes.
TEST(ShotStage, AShotLeavingTheStageIsRemovedAndOthersStay) {
  StageBuilder b(20, 15);
  b.Floor(10, 0, 19).Hero(3, 9);
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cStageScene& scene = s.Scene();
  FireShots(scene, scene.Hero(), ShotRecipe{.direction = 2, .speed = 60}.Make());  // to the left
  ASSERT_EQ(scene.m_ShotList.size(), 1u);
  const std::weak_ptr<cShot> shot = scene.m_ShotList.front();
  s.Frames(200);
  EXPECT_TRUE(shot.expired());
  EXPECT_TRUE(scene.m_ShotList.empty());
  for (const auto& group : scene.m_ShotGroups) EXPECT_TRUE(group.empty());
}

// A shot's hit rectangle has the stage's shot hit size (one pair for the
// shots of player-controlled shooters, one for the others) and is centred
// in the shot's 16-dot cell: its offset across from the width, its offset
// down from the height, also where the two differ.
TEST(ShotStage, AShotsHitRectangleIsCentredByItsWidthAndItsHeight) {
  struct Row {
    bool heroFires;
    int32_t width, height;
  };
  const Row rows[] = {{true, 12, 4}, {true, 3, 15}, {false, 4, 10}, {false, 14, 5}};
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << (r.heroFires ? "the hero's" : "a character's") << " " << r.width << " x "
                                    << r.height);
    StageBuilder b(20, 15);
    b.Floor(10, 0, 19).Hero(2, 9).Character(12, 9);
    cStageData& data = b.Data();
    // The other pair is made square, so that a rectangle taken from it shows.
    data.Int(kStageHeroHitKind2Width) = r.heroFires ? r.width : 16;
    data.Int(kStageHeroHitKind2Height) = r.heroFires ? r.height : 16;
    data.Int(kStageCharHit2Width) = r.heroFires ? 16 : r.width;
    data.Int(kStageCharHit2Height) = r.heroFires ? 16 : r.height;
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    cStageScene& scene = s.Scene();
    cCharacter& shooter = r.heroFires ? static_cast<cCharacter&>(scene.Hero()) : scene.m_CharacterList.front();
    FireShots(scene, shooter, ShotRecipe{.speed = 0}.Make());
    ASSERT_EQ(scene.m_ShotList.size(), 1u);
    const cShot& shot = *scene.m_ShotList.front();
    const double x = std::trunc(shot.m_dX), y = std::trunc(shot.m_dY);
    EXPECT_EQ((std::vector<double>{shot.m_Hit.left - x, shot.m_Hit.top - y, shot.m_Hit.right - x, shot.m_Hit.bottom - y}),
              (std::vector<double>{8.0 - r.width / 2, 8.0 - r.height / 2, 8.0 - r.width / 2 + r.width - 1,
                                   8.0 - r.height / 2 + r.height - 1}));
  }
}

// A shot beside the block at stage block (5, 5) (map cell 15, 15), its left
// edge one cell before it: a wide shot samples every 32 dots and its last
// dot, a narrow one its corners.
TEST(ShotStage, BlockTestsSampleCornersOrEvery32Dots) {
  StageBuilder b(20, 15);
  b.Block(5, 5).Hero(1, 1);
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  struct Row {
    int32_t column, row, width, height, hit;  // the shot's top-left map cell and size
  } rows[] = {
      {14, 15, 16, 16, 0}, {14, 15, 32, 16, 0}, {14, 15, 33, 16, 1}, {14, 15, 64, 16, 1},
      // A middle sample (64) and the one before the last dot (96) of a long shot.
      {13, 15, 100, 16, 1}, {12, 15, 64, 16, 0}, {12, 15, 97, 16, 1},
      // Rows are sampled the same way: 32 dots down reaches the block, the last dot of 32 does not.
      {15, 14, 33, 33, 1}, {15, 14, 33, 32, 0},
  };
  for (const Row& row : rows) {
    cShot shot;
    shot.m_nWidth = row.width;
    shot.m_nHeight = row.height;
    shot.m_dX = row.column * 32;
    shot.m_dY = row.row * 32;
    shot.ClampX();
    shot.ClampY(-1);
    EXPECT_EQ(shot.HitsBlock(), row.hit) << row.column << "," << row.row << " " << row.width << "x" << row.height;
  }
}

// Aiming turns the shot once, at the frame its distance is flown; homing
// steers from its start to its end distance. Speed 1 dot a sub-step (aim,
// 2 half blocks: frame 32) and 2 dots (homing 4 to 6 half blocks: frames 32
// to 48).
TEST(ShotStage, AimingAndHomingActAtTheirDistances) {
  StageBuilder b(20, 15);
  b.Floor(10, 0, 19).Hero(2, 9).Character(12, 5);
  b.Data().m_PlacedCharacters[1].m_nParam40 = 10;
  b.Data().m_PlacedCharacters[1].m_nParam33 = 1;  // flies
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cStageScene& scene = s.Scene();
  cStageCharacter& shooter = scene.m_CharacterList.front();
  struct Row {
    int32_t kind, p0, p1, speed;
    int32_t firstTurn, done;  // calls of MoveByKind
  };
  const Row rows[] = {{1, 2, 0, 10, 33, 33}, {4, 4, 6, 20, 33, 49}};
  for (const Row& r : rows) {
    ClearShots(scene);
    cEdShot d = ShotRecipe{.direction = 2, .speed = r.speed}.Make();  // to the left
    d.m_nType = static_cast<uint8_t>(r.kind);
    d.SetMoveParam(0, r.p0);
    d.SetMoveParam(1, r.p1);
    FireShots(scene, shooter, d);
    ASSERT_EQ(scene.m_ShotList.size(), 1u);
    cShot& shot = *scene.m_ShotList.front();
    const double vx0 = shot.m_dOwnVX, vy0 = shot.m_dOwnVY;
    int turned = 0, done = 0;
    for (int call = 1; call <= 60 && !done; ++call) {
      shot.MoveByKind();
      if (!turned && (shot.m_dOwnVX != vx0 || shot.m_dOwnVY != vy0)) {
        turned = call;
        EXPECT_NEAR(std::hypot(shot.m_dOwnVX, shot.m_dOwnVY), r.speed * 0.1, 1e-12) << r.kind;
      }
      if (shot.m_bDone) done = call;
    }
    EXPECT_EQ(turned, r.firstTurn) << r.kind;
    EXPECT_EQ(done, r.done) << r.kind;
  }
  ClearShots(scene);
}

// A sword of one frame lasting a tenth of a second stands beside its owner,
// follows it, and ends after 6 x 2 + 1 ticks at two sub-steps a frame.
TEST(ShotStage, ASwordFollowsItsOwnerForItsTicks) {
  cSafeVector<cSwordTypeRecord> saved = Database.m_SwordTypes;
  Database.m_SwordTypes.clear();
  Database.m_SwordTypes.push_back(cSwordTypeRecord());
  cSwordTypeEntry& frame = Database.m_SwordTypes[0].m_Entries[0];
  frame.m_nValues[0] = 20;  // width
  frame.m_nValues[1] = 10;  // height
  frame.m_nValues[9] = 1;   // a tenth of a second
  {
    StageBuilder b(20, 15);
    b.SpeedLevel(2).Floor(10, 0, 19).Hero(4, 9);
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    cStageScene& scene = s.Scene();
    cHero& hero = scene.Hero();
    hero.m_nFacing = 1;
    cEdShot d;
    d.m_f26 = 1;
    FireSword(scene, hero, d);
    ASSERT_EQ(scene.m_ShotList.size(), 1u);
    cShot& sword = *scene.m_ShotList.front();
    const double viewX = std::trunc(StageViewX().position);
    EXPECT_EQ(sword.m_dX, hero.m_rcScreen.right + viewX + 1);
    EXPECT_EQ(sword.m_nWidth, 20);
    int ticks = 1;
    hero.m_dX += 10;
    hero.UpdateScreenRect();
    while (sword.MoveByKind() == 0 && ticks < 100) {
      ++ticks;
      EXPECT_EQ(sword.m_dX, hero.m_rcScreen.right + viewX + 1);
    }
    EXPECT_EQ(ticks, 6 * 2 + 1);
    ClearShots(scene);
  }
  Database.m_SwordTypes = saved;
}

// A sword hits with its whole frame, facing either way: an enemy under the
// tip of the blade and one under its hilt are both struck. (A 16-dot shot's
// hit square in the corner of the sword's frame would reach only the hilt
// when the owner faces right and only the tip when it faces left.)
TEST(ShotStage, ASwordHitsWithItsWholeBladeFacingEitherWay) {
  cSafeVector<cSwordTypeRecord> saved = Database.m_SwordTypes;
  Database.m_SwordTypes.clear();
  Database.m_SwordTypes.push_back(cSwordTypeRecord());
  cSwordTypeEntry& frame = Database.m_SwordTypes[0].m_Entries[0];
  frame.m_nValues[0] = 64;  // width: a long blade
  frame.m_nValues[1] = 16;  // height
  frame.m_nValues[9] = 1;   // a tenth of a second
  struct Row {
    int32_t facing;
    bool atTip;
  };
  for (const Row r : {Row{1, true}, Row{1, false}, Row{0, true}, Row{0, false}}) {
    SCOPED_TRACE(testing::Message() << "facing " << r.facing << (r.atTip ? ", at the tip" : ", at the hilt"));
    StageBuilder b(20, 15);
    b.Floor(10, 0, 19).Hero(9, 9).Character(15, 9);
    b.Data().m_PlacedCharacters[0].m_nParam40 = 10;
    b.Data().m_PlacedCharacters[1].m_nParam40 = 10;
    b.Data().m_PlacedCharacters[1].m_nParam50 = 2;  // another group than the hero's
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    s.Frames(10);  // both stand on the floor
    cStageScene& scene = s.Scene();
    cHero& hero = scene.Hero();
    hero.m_nFacing = r.facing;
    hero.UpdateScreenRect();
    cEdShot d;
    d.m_f26 = 1;
    d.SetPower(1);
    FireSword(scene, hero, d);
    ASSERT_EQ(scene.m_ShotList.size(), 1u);
    const cShot& sword = *scene.m_ShotList.front();
    ASSERT_EQ(sword.m_nWidth, 64);
    // The enemy's attack rectangle begins 4 dots inside the chosen end.
    const bool rightEnd = (r.facing == 1) == r.atTip;
    cStageCharacter& enemy = scene.m_CharacterList.front();
    const double width = enemy.m_Hit2.right - enemy.m_Hit2.left + 1;
    const double left = rightEnd ? sword.m_dRight - 4 : sword.m_dX + 4 - width;
    enemy.m_dX += left - enemy.m_Hit2.left;
    enemy.UpdateX();
    EXPECT_EQ(scene.CheckHits(), 0);
    EXPECT_EQ(enemy.m_nHp, 9);
    ClearShots(scene);
  }
  Database.m_SwordTypes = saved;
}

// Under a forced scroll of two dots a frame, a shot that stands still of
// its own is carried by the scroll by the hero's rule: without
// scroll-relative aiming when it moves with the scroll; with it when it
// flies free, and never once it falls (movement kind 9, "落下").
TEST(ShotStage, TheForcedScrollCarriesShotsByTheHerosRule) {
  struct Row {
    int32_t scrollRelative;
    uint8_t movesWithScroll;
    uint8_t moveKind;  // 0 straight (free), 9 falling
    bool carried;
  };
  const Row rows[] = {{0, 1, 9, true}, {0, 0, 9, false}, {1, 1, 9, false}, {1, 0, 9, false},
                      {0, 1, 0, true}, {0, 0, 0, false}, {1, 0, 0, true},  {1, 1, 0, true}};
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "scroll-relative " << r.scrollRelative << ", moves with the scroll "
                                    << int(r.movesWithScroll) << ", movement kind " << int(r.moveKind));
    StageBuilder b(80, 15);
    b.Floor(10, 0, 79).Hero(3, 9);
    b.Data().m_PlacedCharacters[0].m_nParam40 = 10;
    b.Data().Int(kStageForcedScrollXOn) = 1;
    b.Data().Int(kStageForcedScrollXSpeed) = 20;  // tenths of a dot a frame
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    s.System().SetNum(ProjectRuleRow(kRuleScrollRelativeAim).field, r.scrollRelative);
    s.Scene().SetStage(0, 1);  // the stage starts again under the project's rule
    cStageScene& scene = s.Scene();
    s.Frames(2);
    ASSERT_EQ(StageViewX().step, 2.0);
    cEdShot d = ShotRecipe{.speed = 0}.Make();
    d.m_nType = r.moveKind;
    d.m_f31 = r.movesWithScroll;
    d.m_f30 = 1;  // through blocks: it stays while it falls
    FireShots(scene, scene.Hero(), d);
    ASSERT_EQ(scene.m_ShotList.size(), 1u);
    s.Frames(2);  // a falling shot starts its fall in its first frame
    ASSERT_EQ(scene.m_ShotList.size(), 1u);
    const cShot& shot = *scene.m_ShotList.front();
    EXPECT_EQ(shot.m_bFreeVertical, r.moveKind == 9 ? 0 : 1);
    EXPECT_EQ(shot.m_dSpeedX, r.carried ? 2.0 : 0.0);
    ClearShots(scene);
  }
}

// A character summon places a copy beside the shooter by the pattern; a
// definition that is not computer-controlled, or an index past the palette,
// summons nothing.
TEST(ShotStage, SummonsAppearWhereThePatternPlacesThem) {
  StageBuilder b(20, 15);
  b.Floor(10, 0, 19).Hero(4, 9);
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cStageScene& scene = s.Scene();
  cHero& hero = scene.Hero();
  hero.m_nFacing = 1;
  RegisterProjectPalettes();
  auto& palette = StageData.m_PaletteCharacters;
  const size_t savedSize = palette.size();
  cEdCharacter summoned;
  summoned.m_nControl = 1;
  summoned.m_nParam40 = 5;
  summoned.m_nParam33 = 1;  // flies
  palette.push_back(summoned);
  cEdCharacter player = summoned;
  player.m_nControl = 0;
  palette.push_back(player);
  const int32_t first = static_cast<int32_t>(savedSize);
  const std::pair<int32_t, size_t> rows[] = {{first, 1}, {first + 1, 0}, {9999, 0}};  // index, added
  for (const auto& [index, added] : rows) {
    const size_t before = scene.m_CharacterList.size();
    cEdShot d;
    d.m_f2 = 0;  // in front
    d.m_f26 = 1;
    d.SetObjectCount(1);
    d.m_nSummonPalette = 1;
    d.m_nSummonIndex = static_cast<int16_t>(index);
    SummonCharacters(scene, hero, d);
    ASSERT_EQ(scene.m_CharacterList.size(), before + added) << index;
    if (added == 0) continue;
    const cStageCharacter& c = scene.m_CharacterList.back();
    // Its 32-dot box stands right of the hero's drawn box, level with it.
    EXPECT_EQ(c.m_dX - c.m_nMarginX, std::trunc(hero.m_rcScreen.right + StageViewX().position + 1));
    EXPECT_EQ(c.m_dY - c.m_nMarginY, std::trunc(StageViewY().position) + hero.m_rcScreen.top);
    EXPECT_EQ(c.m_pParent, &hero);
    EXPECT_EQ(c.m_nFacing, 1);
  }
  palette.resize(savedSize);
}

// Records no stage file should hold still fly safely: unknown patterns and
// movement kinds, a wave of speed 0, huge counts, speeds and ranges, and a
// volley far larger than the cap.
TEST(ShotStage, HostileRecordsFlyWithinBounds) {
  StageBuilder b(20, 15);
  b.Floor(10, 0, 19).Hero(4, 9);
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cStageScene& scene = s.Scene();
  struct Row { int32_t pattern, objects, extra, kind, p0, p1, speed, range, lifetime, scale; };
  const Row rows[] = {
      {9, 5, 0, 0, 0, 0, 30, 0, 0, 1},            // unknown pattern: nothing
      {4, 127, 127, 0, 0, 0, 30, 0, 0, 1},        // 128 x 127 objects: cut to the cap
      {4, 8, 0, 200, 5, 5, 30, 0, 0, 1},          // unknown movement kind: straight
      {4, 8, 0, 8, 4, 0, 30, 0, 0, 1},            // wave of speed 0
      {4, 8, 0, 5, 0, 999, -32768, 127, 32767, 127},  // homing, wild speed, range and size
      {5, 0, 0, 3, 40, 0, 0, 1, 1, 0},            // surround without objects
  };
  for (const Row& r : rows) {
    ClearShots(scene);
    cEdShot d = ShotRecipe{.pattern = r.pattern, .objects = r.objects, .extra = r.extra, .speed = r.speed,
                           .range = r.range, .lifetime = r.lifetime}.Make();
    d.m_nType = static_cast<uint8_t>(r.kind);
    d.m_f26 = static_cast<uint8_t>(r.scale);
    d.SetMoveParam(0, r.p0);
    d.SetMoveParam(1, r.p1);
    FireShots(scene, scene.Hero(), d);
    EXPECT_LE(scene.m_ShotList.size(), static_cast<size_t>(kMaxVolleyObjects)) << r.pattern;
    s.Frames(3);
    for (const auto& shot : scene.m_ShotList) {
      EXPECT_TRUE(std::isfinite(shot->m_dX) && std::isfinite(shot->m_dY)) << r.pattern << " " << r.kind;
    }
  }
  ClearShots(scene);
}

}  // namespace

namespace {

// Which character a shot aiming at the nearest of group 2 takes: from a
// shooter at column 17, one of group 2 on screen at column 5 (far) and one
// off screen at column 24 (near). The shot starts flying up; the sign of its
// x velocity after aiming tells the target.
TEST(ShotStage, TheNearestCharacterIsLookedForOnScreenFirst) {
  struct Row { bool onScreenOne; int32_t targetsOnScreenOnly; int sign; };
  const Row rows[] = {{true, 0, -1}, {false, 0, 1}, {false, 1, 0}, {true, 1, -1}};
  const int32_t savedSwitch = g_MotionSwitches.onScreenTargetsOnly;
  for (const Row& r : rows) {
    StageBuilder b(40, 15);
    b.Floor(10, 0, 39).Hero(2, 9).Character(17, 9).Character(5, 9).Character(24, 9);
    auto& placed = b.Data().m_PlacedCharacters;
    placed[1].m_nParam50 = 3;
    placed[2].m_nParam50 = placed[3].m_nParam50 = 2;
    for (size_t i = 1; i < placed.size(); ++i) placed[i].m_nParam40 = 10;
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    s.Frames(1);
    cStageScene& scene = s.Scene();
    auto it = scene.m_CharacterList.begin();
    cStageCharacter& shooter = *it++;
    cStageCharacter& onScreen = *it++;
    cStageCharacter& offScreen = *it;
    ASSERT_EQ(onScreen.m_bOnScreen, 1);
    ASSERT_EQ(offScreen.m_bOnScreen, 0);
    if (!r.onScreenOne) onScreen.m_bPresent = 0;
    g_MotionSwitches.onScreenTargetsOnly = r.targetsOnScreenOnly;
    cEdShot d = ShotRecipe{.direction = 6, .speed = 10}.Make();  // up
    d.m_nType = 2;                                                // aim at the nearest of a group
    d.SetMoveParam(1, 2);                                         // group 2
    FireShots(scene, shooter, d);
    ASSERT_EQ(scene.m_ShotList.size(), 1u);
    cShot& shot = *scene.m_ShotList.front();
    shot.MoveByKind();
    EXPECT_EQ((shot.m_dOwnVX > 0) - (shot.m_dOwnVX < 0), r.sign) << r.onScreenOne << " " << r.targetsOnScreenOnly;
    ClearShots(scene);
  }
  g_MotionSwitches.onScreenTargetsOnly = savedSwitch;
}

// Choice 9 of the facing conversion: code 0 with the flag, the facing
// without; a replay being played back reads it as its data version did.
TEST(ShotDirections, TheFacingConversionFollowsAReplaysDataVersion) {
  struct Row { bool playback; int32_t version, flag, choice, facing, code; };
  const Row rows[] = {
      {false, 873, 1, 9, 1, 0},         {false, 873, 0, 9, 1, kCodeRight}, {false, 700, 0, 9, 0, kCodeLeft},
      {false, 873, 1, 0, 0, kCodeLeft}, {false, 873, 0, 3, 0, kCodeUp},    {true, 777, 0, 9, 1, 0},
      {true, 778, 1, 9, 1, kCodeRight}, {true, 779, 1, 9, 0, kCodeLeft},   {true, 780, 1, 9, 1, 0},
      {true, 780, 0, 9, 1, kCodeRight}, {true, 700, 1, 0, 1, kCodeRight},  {true, 778, 0, 5, 1, kCodeUpLeft},
  };
  const int32_t savedAction = SceneManager.m_nLastTitleAction;
  const int32_t savedVersion = KeyLogRecord.m_nFileVersion;
  for (const Row& r : rows) {
    SceneManager.m_nLastTitleAction = r.playback ? kTitleReplay : kTitleFreePlay;
    KeyLogRecord.m_nFileVersion = r.version;
    EXPECT_EQ(ConvertFacingToDirection(r.choice, r.flag, r.facing), r.code)
        << r.playback << " " << r.version << " flag " << r.flag << " choice " << r.choice;
  }
  SceneManager.m_nLastTitleAction = savedAction;
  KeyLogRecord.m_nFileVersion = savedVersion;
}

// A shot of the stage-palette choice is drawn from the colour variant of
// the shot sheet, when there is one.
TEST(ShotStage, TheStagePaletteChoiceDrawsFromTheColourVariantSheet) {
  struct Row { int32_t palette; bool variant; int source; };
  const Row rows[] = {{0, true, SURF_SHOT}, {1, true, SURF_SHOT_SYSTEM}, {1, false, SURF_SHOT}};
  for (const Row& r : rows) {
    StageBuilder b(20, 15);
    b.Floor(10, 0, 19).Hero(4, 9);
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    ASSERT_TRUE(DDCreateSurface(&GameSurfaces[SURF_SHOT], 64, 64, 1, 0, 0, 0, 0));
    DDFillSurfaceColor(&GameSurfaces[SURF_SHOT], 0xFF2040);
    if (r.variant) {
      ASSERT_TRUE(DDCreateSurface(&GameSurfaces[SURF_SHOT_SYSTEM], 64, 64, 1, 0, 0, 0, 0));
      DDFillSurfaceColor(&GameSurfaces[SURF_SHOT_SYSTEM], 0x40FF20);
    }
    cEdShot d = ShotRecipe{}.Make();
    d.m_f47 = static_cast<uint8_t>(r.palette);
    FireShots(s.Scene(), s.Scene().Hero(), d);
    ASSERT_EQ(s.Scene().m_ShotList.size(), 1u);
    cShot& shot = *s.Scene().m_ShotList.front();
    shot.m_nFacing = 0;
    DDFillSurfaceColor(DDBackBuffer(), 0x2040FF);
    shot.Draw(DDBackBuffer(), 1);
    EXPECT_EQ(Pixel(DDBackBuffer(), shot.m_rcScreen.left + 1, shot.m_rcScreen.top + 1) & 0xFFFFFF,
              r.source == SURF_SHOT ? 0xFF2040u : 0x40FF20u)
        << r.palette << " " << r.variant;
    DDReleaseSurface(&GameSurfaces[SURF_SHOT]);
    DDReleaseSurface(&GameSurfaces[SURF_SHOT_SYSTEM]);
  }
}

}  // namespace
