#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "data/inheritance.h"
#include "data/item.h"
#include "data/stage_data.h"
#include "play/objects/hero.h"
#include "play/objects/stage_character.h"
#include "play/world/block_map.h"
#include "play/world/flow_hooks.h"
#include "play/world/stage_scene.h"
#include "support/quit_requests.h"
#include "support/stage_builder.h"

namespace {

// Records the triggers raised and answers appearance conditions as told.
class RecordingHooks : public cFlowHooks {
 public:
  void TriggerFlowsOfKind(cCharacter&, int32_t kind) override { triggers.push_back(kind); }
  std::vector<int32_t> triggers;
};

cEdBlock MakeBlock(int solidity, int passGroup = -1, int effect = 0, int value = 0) {
  cEdBlock b;
  b.m_nGraphic = 1;
  b.m_nOption7 = static_cast<uint8_t>(solidity);
  b.m_nOption3 = static_cast<int8_t>(passGroup);
  b.m_nOption4 = static_cast<uint8_t>(effect);
  b.m_nOption4Value = value;
  return b;
}

// A stage of 20 x 15 blocks: a map of 40 x 35 cells (rows of 64), with the
// running values of a speed level and a view covering the whole map.
class BlockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_ViewX = {.rangeHigh = 40 * 32, .areaLow = 320, .areaHigh = 30 * 32, .mapExtent = 40 * 32};
    m_ViewY = {.rangeHigh = 35 * 32, .areaLow = 320, .areaHigh = 25 * 32, .mapExtent = 35 * 32};
    SetFlowHooks(&m_Hooks);
    SetLevel(1);
    ASSERT_TRUE(m_Map.Resize(cBlockMap::WidthShiftFor(20), 40, 35));
  }
  void TearDown() override {
    SetFlowHooks(nullptr);
  }
  void SetLevel(int level) {
    ScopedStageRunning::SetLevel(level, 0.4);
    m_Map.Rules().FromStage(StageData);
  }
  // A 32 x 32 body at map dots (x, y).
  template <class T>
  static void Place(T& c, double x, double y, int kind = 0) {
    c.m_nWidth = c.m_nBaseWidth = c.m_nHeight = c.m_nBaseHeight = 32;
    c.m_nDrawWidth = c.m_nDrawHeight = 32;
    c.m_nKind = kind;
    c.m_nBlockFlags = -1;
    c.m_dX = x;
    c.m_dY = y;
    c.UpdateX();
    c.UpdateY();
    c.m_bAirborne = 1;
  }
  // A present block character of the scene's list at map dots (x, y), its
  // position saved as a sub-step's bookkeeping leaves it.
  static cStageCharacter& AddBlockCharacter(cStageScene& scene, double x, double y, int id) {
    cStageCharacter& k = scene.m_CharacterList.emplace_back();
    Place(k, x, y, 1);
    k.m_nId = id;
    k.m_byBlockCharacter = 1;
    k.m_bPresent = 1;
    k.SavePosition();
    return k;
  }
  // A floor of solid blocks along map row `row`.
  void Floor(int row, const cEdBlock& block = MakeBlock(1)) {
    for (int c = 0; c < 40; ++c) m_Map.Place(c, row, block);
  }

  ScopedStageRunning m_Stage;
  cAxisView& m_ViewX = m_Stage.x;
  cAxisView& m_ViewY = m_Stage.y;
  RecordingHooks m_Hooks;
  cBlockMap m_Map;
};

TEST(BlockMapLayout, WidthShiftAndPlacement) {
  for (auto [width, shift] : std::vector<std::pair<int, int>>{{12, 5}, {13, 6}, {1, 5}, {44, 6}, {45, 7}, {0, -1}})
    EXPECT_EQ(cBlockMap::WidthShiftFor(width), shift) << width;

  cStageData stage;
  stage.Int(kStageWidth) = 12;
  stage.Int(kStageHeight) = 4;
  for (auto [x, y] : std::vector<std::pair<int, int>>{{0, 0}, {11, 3}, {-1, 0}, {12, 0}, {0, 4}}) {
    cEdBlock b = MakeBlock(1);
    b.m_nWord1 = static_cast<uint16_t>(x);
    b.m_nWord2 = static_cast<uint16_t>(y);
    stage.m_PlacedBlocks.push_back(b);
  }
  cBlockMap map;
  ASSERT_TRUE(map.Build(stage));
  EXPECT_EQ((std::array<int, 3>{map.Stride(), map.Rows(), map.Columns()}), (std::array<int, 3>{32, 24, 32}));
  EXPECT_TRUE(map.HasBlock((10 << 5) + 10));
  EXPECT_TRUE(map.HasBlock((13 << 5) + 21));
  int placed = 0;
  for (int i = 0; i < static_cast<int>(map.CellCount()); ++i) placed += map.HasBlock(i);
  EXPECT_EQ(placed, 2);  // the three outside the stage are left out
  EXPECT_EQ(map.TypeCount(), 2u);  // equal blocks share one type

  stage.Int(kStageWidth) = 0;
  EXPECT_FALSE(map.Build(stage));
  EXPECT_TRUE(map.IsEmpty());
}

// Solidity values beyond deadly count as solid, a matching pass group lets
// through.
TEST_F(BlockTest, SolidityAndPassGroup) {
  for (auto [solidity, passGroup, flags, expected] :
       std::vector<std::array<int, 4>>{{0, -1, -1, 0}, {2, 3, 3, 0}, {1, 3, 4, 1}, {7, -1, 0, 1}}) {
    m_Map.Place(5, 5, MakeBlock(solidity, passGroup));
    EXPECT_EQ(m_Map.IsBlockSolid(m_Map.CellIndex(5, 5), flags), expected) << solidity << " " << passGroup;
  }
  EXPECT_EQ(m_Map.IsBlockSolid(m_Map.CellIndex(6, 5), 0), 0);  // empty
}

// On a running stage a block's appearance conditions, evaluated by the
// stage's flows for the hero, decide whether it stops objects: passable
// while they fail, solid once they hold; with the once-true byte the first
// success is kept after the conditions fail again.
TEST(BlockConditions, AppearanceConditionsDecideSolidityOnTheRunningStage) {
  StageFlowsInstalled flows;  // as start-up installs them
  for (int onceTrue : {0, 1}) {
    StageBuilder b(20, 15);
    b.Floor(10, 0, 19).Hero(2, 9).Block(8, 5);
    cEdBlock& guarded = b.Data().m_PlacedBlocks.back();
    cCond wanted;  // stage variable 1 == 5
    wanted.m_nKind = 2;
    wanted.m_nVarNumber = 1;
    wanted.m_nConstant = 5;
    guarded.m_vConds = {wanted};
    guarded.m_nCondOption = static_cast<uint8_t>(onceTrue);
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    cStageScene& scene = s.Scene();
    const int cell = scene.BlockMap().CellIndex(8 + kStageMarginBlocks, 5 + kStageMarginBlocks);
    std::vector<int> solid;
    for (int32_t value : {0, 5, 0}) {
      scene.m_StageVariables[1] = value;
      solid.push_back(scene.BlockMap().IsBlockSolid(cell, 0));
    }
    EXPECT_EQ(solid, (std::vector<int>{0, 1, onceTrue})) << onceTrue;
  }
}

// Falling from rest onto a floor at map row 15 (dot 480) with the bottom at
// 469.25: gravity 0.4 / n² a sub-step. Level 1 falls 8.4 dots in 6
// sub-steps and 11.2 in 7 (bottom 480.45: frame 7, then 1 dot up); level 2
// falls 10.5 in 14 sub-steps (479.75, still above) and 12 in 15 (481.25:
// frame 8, then 2 dots up).
TEST_F(BlockTest, FallingHeroLandsOnTheFrameTheFallGives) {
  struct Row {
    int level, frame;
    double bottom;
  } rows[] = {{1, 7, 479.45}, {2, 8, 479.25}};
  for (const Row& r : rows) {
    SetLevel(r.level);
    Floor(15);
    cStageCharacter hero;
    Place(hero, 200, 438.25);
    int landedFrame = 0;
    for (int frame = 1; frame <= 20 && !landedFrame; ++frame) {
      for (int step = 0; step < StageData.Int(kStageSubSteps) && !landedFrame; ++step) {
        hero.ClearContactFlags();
        hero.ApplyGravity();
        hero.StepY();
        ASSERT_EQ(m_Map.MoveY(hero), 0);
        if (hero.m_bContactDown) landedFrame = frame;
      }
    }
    EXPECT_EQ(landedFrame, r.frame) << "level " << r.level;
    EXPECT_NEAR(hero.m_dBottom, r.bottom, 1e-9);
    EXPECT_EQ(hero.m_dSpeedY, 0.0);
    EXPECT_EQ(hero.m_nFootBlock, m_Map.CellIndex(6, 15));  // under 216, the sample nearest the middle
    EXPECT_EQ(hero.m_nLandingBlock, hero.m_nFootBlock);
    EXPECT_EQ(hero.m_nFallCounter, 0);
    ASSERT_GE(m_Hooks.triggers.size(), 3u);
    EXPECT_EQ(std::vector<int32_t>(m_Hooks.triggers.end() - 3, m_Hooks.triggers.end()),
              (std::vector<int32_t>{9, 13, 15}));
  }
}

// One move against a map with a floor (row 15, dot 480), a wall (column
// 20, dots 640..671), a ceiling block (5, 10: dots 160..191 x 320..351) and
// a floor block (8, 12: dots 256..287 x 384..415), all of the row's
// solidity and pass group. The body (32 x 32, or 64 wide) has already
// taken its own step to (x, y); contacts: 1 left, 2 right, 4 up, 8 down.
TEST_F(BlockTest, MovesAgainstBlocks) {
  struct Row {
    const char* what;
    int solidity, passGroup, kind, axisMode, flags, width;
    double x, y, vx, vy;
    bool landWhileRising;
    int result;
    double endX, endY;
    int contacts;
  } rows[] = {
      {"lands on a floor", 1, -1, 0, 0, -1, 32, 200, 450, 0, 1, false, 0, 200, 448, 8},
      {"deadly floor kills the hero", 2, -1, 0, 0, -1, 32, 200, 450, 0, 1, false, 2, 200, 450, 0},
      {"deadly floor holds a computer character", 2, -1, 1, 0, -1, 32, 200, 450, 0, 1, false, 0, 200, 448, 8},
      {"own pass group falls through", 1, 3, 0, 0, 3, 32, 200, 450, 0, 1, false, 0, 200, 450, 0},
      {"flying through blocks", 1, -1, 0, 1, -1, 32, 200, 450, 0, 1, false, 0, 200, 450, 0},
      {"flying, colliding", 1, -1, 0, 2, -1, 32, 200, 450, 0, 1, false, 0, 200, 448, 8},
      {"flying, dying on blocks", 1, -1, 0, 3, -1, 32, 200, 450, 0, 1, false, 2, 200, 450, 0},
      {"wall on the right", 1, -1, 1, 0, -1, 32, 620, 400, 20, 0, false, 0, 608, 400, 2},
      {"wall on the left", 1, -1, 1, 0, -1, 32, 670, 400, -30, 0, false, 0, 672, 400, 1},
      {"short of the wall", 1, -1, 1, 0, -1, 32, 607.5, 400, 7.5, 0, false, 0, 607.5, 400, 0},
      {"ceiling", 1, -1, 0, 0, -1, 32, 160, 345.5, 0, -3, false, 0, 160, 352.5, 4},
      {"rising feet pass a floor", 1, -1, 0, 0, -1, 32, 256, 370, 0, -2, false, 0, 256, 370, 0},
      {"rising feet land when allowed", 1, -1, 0, 0, -1, 32, 256, 370, 0, -2, true, 0, 256, 352, 8},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const cEdBlock block = MakeBlock(r.solidity, r.passGroup);
    Floor(15, block);
    for (int row = 0; row < 15; ++row) m_Map.Place(20, row, block);
    m_Map.Place(5, 10, block);
    m_Map.Place(8, 12, block);
    m_Map.Rules().landWhileRising = r.landWhileRising;
    cStageCharacter c;
    Place(c, r.x, r.y, r.kind);
    c.SetAxisMode(r.axisMode);
    c.m_nBlockFlags = r.flags;
    c.m_nWidth = r.width;
    c.UpdateX();
    c.m_dSpeedX = r.vx;
    c.m_dSpeedY = r.vy;
    EXPECT_EQ(r.vx != 0 ? m_Map.MoveX(c) : m_Map.MoveY(c), r.result);
    EXPECT_DOUBLE_EQ(c.m_dX, r.endX);
    EXPECT_DOUBLE_EQ(c.m_dY, r.endY);
    EXPECT_EQ(c.m_bContactLeft + 2 * c.m_bContactRight + 4 * c.m_bContactUp + 8 * c.m_bContactDown, r.contacts);
  }
}

// Springs, conveyors and slippery floors under the hero.
TEST_F(BlockTest, FootBlockEffects) {
  struct Row {
    int level, effect, value;
    double vx0, vx;
  } rows[] = {{1, kBlockEffectConveyorRight, 10, 0, 1.0},
              {2, kBlockEffectConveyorRight, 10, 0, 0.5},
              {1, kBlockEffectConveyorLeft, 10, 0.25, -0.75},
              {1, kBlockEffectSlippery, 50, 2.0, 1.0}};
  for (const Row& r : rows) {
    SetLevel(r.level);
    m_Map.Place(6, 15, MakeBlock(1, -1, r.effect, r.value));
    cHero hero;
    hero.m_nFootBlock = m_Map.CellIndex(6, 15);
    hero.m_dSpeedX = r.vx0;
    EXPECT_EQ(m_Map.ApplyFootBlock(hero), 0);
    EXPECT_DOUBLE_EQ(hero.m_dSpeedX, r.vx) << r.level << " " << r.effect;
    EXPECT_EQ(hero.m_nSpecialFloorCountdown, r.level - 1);
  }
  std::vector<int> sounds;
  m_Map.Hooks().requestSound = [&](int n) { sounds.push_back(n); };
  m_Map.Place(6, 15, MakeBlock(1, -1, kBlockEffectSpring, 6));
  cHero hero;
  hero.m_nFootBlock = m_Map.CellIndex(6, 15);
  hero.m_bJumpForbidden = 1;
  EXPECT_EQ(m_Map.ApplyFootBlock(hero), 0);
  EXPECT_EQ(sounds, std::vector<int>{10});
  EXPECT_LT(hero.m_dSpeedY, 0.0);
  EXPECT_EQ(hero.m_dSpeedY, hero.JumpSpeed(6));
  EXPECT_EQ(hero.m_bJumpForbidden, 0);
}

// A foot block's item is taken once and not again while the cool-down
// (60 frames of sub-steps) runs; being airborne ends the cool-down; a
// reaction that ends the stage is passed on.
TEST_F(BlockTest, FootBlockItemAndCoolDown) {
  std::vector<cEdItem> items(2);
  cPaletteScope scope(kPaletteStage, {nullptr, nullptr, &items});
  cEdBlock block = MakeBlock(1);
  block.m_nItemKind = kPaletteStage;
  block.m_nItemIndex = 1;
  m_Map.Place(6, 15, block);
  int taken = 0, result = 0;
  m_Map.Hooks().runItemReaction = [&](cHero&, int kind, int index) {
    taken += kind * 10 + index;
    return result;
  };
  cHero hero;
  hero.m_nFootBlock = hero.m_nLandingBlock = hero.m_nPrevLandingBlock = m_Map.CellIndex(6, 15);
  for (int airborne : {0, 0, 1, 0}) {
    hero.m_bAirborne = airborne;
    EXPECT_EQ(m_Map.TakeFootBlockItem(hero), 0);
  }
  EXPECT_EQ(taken, 2 * 21);
  EXPECT_EQ(hero.m_nItemCooldown, 59);
  result = 1;
  hero.m_nItemCooldown = 0;
  EXPECT_EQ(m_Map.TakeFootBlockItem(hero), 1);
}

TEST_F(BlockTest, ForcedScrollScreenEdges) {
  m_ViewX.position = 100;
  cStageCharacter c;
  Place(c, 50, 400);
  EXPECT_EQ(m_Map.KeepInsideScreenX(c, false, 100), 0);
  EXPECT_EQ(c.m_dX, 50);  // no forced scroll, not flying: untouched
  EXPECT_EQ(m_Map.KeepInsideScreenX(c, true, 100), 0);
  EXPECT_EQ(c.m_dX, 100);
  EXPECT_EQ(c.m_bContactLeft, 1);
  Place(c, 730, 400);
  EXPECT_EQ(m_Map.KeepInsideScreenX(c, true, 100), 0);
  EXPECT_EQ(c.m_dX, 100 + 640 - 32 - 1);
  EXPECT_EQ(c.m_bContactRight, 1);
  Place(c, 200, 470);  // below the screen's bottom
  EXPECT_EQ(m_Map.KeepInsideScreenY(c, true, 0), 2);
  EXPECT_EQ(c.m_dY, 480 - 32 - 1);
}

// A character lands on a block character, rides it as it moves, and a body
// caught between two block characters is squeezed.
TEST_F(BlockTest, BlockCharactersCarryAndSqueeze) {
  cStageScene scene;
  SetStageView(&m_ViewX, &m_ViewY);
  cStageCharacter& carrier = AddBlockCharacter(scene, 300, 500, 7);
  cStageCharacter rider;
  Place(rider, 310, 466, 1);
  rider.m_nId = 1;
  rider.SavePosition();  // above the carrier at the start of the sub-step
  rider.m_dY += 4;       // then fell 2 dots into it
  rider.UpdateY();
  EXPECT_EQ(scene.ResolveCharacterContacts(rider), 0);
  EXPECT_EQ(rider.m_bRiding, 1);
  EXPECT_EQ(rider.m_dY, 500 - 32);
  EXPECT_EQ(rider.m_nCarriedById, 7);

  carrier.m_dX += 3;
  carrier.m_dY -= 2;
  rider.m_dSpeedX = 1;
  EXPECT_EQ(scene.CarryRider(rider), 0);
  EXPECT_DOUBLE_EQ(rider.m_dSpeedX, 4);
  EXPECT_DOUBLE_EQ(rider.m_dSpeedY, -2);

  AddBlockCharacter(scene, 100, 300, 8);
  AddBlockCharacter(scene, 160, 300, 9);
  cStageCharacter body;
  Place(body, 128, 300, 1);
  body.m_nWidth = 34;  // 128..161: into both
  body.UpdateX();
  body.SavePosition();
  EXPECT_EQ(scene.ResolveCharacterContacts(body), 2);
  EXPECT_EQ(body.m_bContactLeft + body.m_bContactRight, 2);
  EXPECT_EQ(body.m_dX, 128);

  // A flyer touched on its left: pushed flush when the block character
  // moves into it, left alone (contact dropped) when it moves away.
  cStageCharacter& pusher = AddBlockCharacter(scene, 500, 100, 10);
  for (double pusherSpeed : {2.0, -2.0}) {
    pusher.m_dSpeedX = pusherSpeed;
    cStageCharacter flyer;
    Place(flyer, 530, 100, 1);  // 530..561, into the pusher's 500..531
    flyer.SetAxisMode(2);
    flyer.SavePosition();
    EXPECT_EQ(scene.ResolveCharacterContacts(flyer), 0);
    EXPECT_EQ(flyer.m_bContactLeft, pusherSpeed > 0 ? 1 : 0);
    EXPECT_EQ(flyer.m_dX, pusherSpeed > 0 ? 532 : 530);
  }
}

// A block character removed in this sub-step (marked, still in the list
// until the sub-step's end) neither holds up a rider nor carries one, nor
// takes a place.
TEST_F(BlockTest, ABlockCharacterRemovedNowNoLongerBlocksOrCarries) {
  cStageScene scene;
  SetStageView(&m_ViewX, &m_ViewY);
  for (const bool removed : {false, true}) {
    scene.m_CharacterList.clear();
    cStageCharacter& carrier = AddBlockCharacter(scene, 300, 500, 7);
    cStageCharacter rider;
    Place(rider, 310, 466, 1);
    rider.m_nId = 1;
    rider.SavePosition();
    rider.m_dY += 4;  // 2 dots into the carrier
    rider.UpdateY();
    EXPECT_EQ(scene.ResolveCharacterContacts(rider), 0);  // gathers the block characters
    EXPECT_EQ(rider.m_bRiding, 1);
    if (removed) scene.RemoveCharacter(carrier);
    rider.m_dY = 470;
    rider.UpdateY();
    rider.m_bRiding = 0;
    rider.SavePosition();
    rider.m_dY = 470 + 4;
    rider.UpdateY();
    EXPECT_EQ(scene.ResolveCharacterContacts(rider), 0);
    EXPECT_EQ(rider.m_bRiding, removed ? 0 : 1) << removed;
    EXPECT_EQ(rider.m_dY, removed ? 474 : 500 - 32) << removed;
    carrier.m_dX += 3;
    rider.m_nCarriedById = 7;
    rider.m_dCarrierX = 300;
    rider.m_dSpeedX = 0;
    scene.CarryRider(rider);
    EXPECT_EQ(rider.m_dSpeedX, removed ? 0.0 : 3.0) << removed;
    cStageCharacter inside;
    Place(inside, 305, 500, 1);
    EXPECT_EQ(scene.IsPlaceBlocked(inside), removed ? 0 : 1) << removed;
    scene.FlushRemovals();
  }
  SetStageView(nullptr, nullptr);
}

// A sub-step whose bookkeeping walk counted no block character gathers
// none without walking the list again; one that joins the list later in the
// sub-step (a summon) blocks at once.
TEST_F(BlockTest, ABlockCharacterJoiningAfterTheCountBlocksAtOnce) {
  cStageScene scene;
  SetStageView(&m_ViewX, &m_ViewY);
  Place(scene.m_CharacterList.emplace_back(), 100, 100, 1);  // an ordinary character
  scene.m_nBlockCountStep = scene.m_nStepCount;  // as the walk leaves it
  scene.m_nLiveBlockCharacters = 0;
  scene.m_BlockCountShape = scene.CharacterListShape();
  cStageCharacter inside;
  Place(inside, 305, 500, 1);
  EXPECT_EQ(scene.IsPlaceBlocked(inside), 0);
  AddBlockCharacter(scene, 300, 500, 7);  // after the count
  EXPECT_EQ(scene.IsPlaceBlocked(inside), 1);
  SetStageView(nullptr, nullptr);
}

// Wild positions, sizes and speeds, and an empty map: every probe stays
// inside the map and no bad index is ever reported.
TEST_F(BlockTest, HostileObjectsNeverLeaveTheMap) {
  QuitRequests quits;
  Floor(15, MakeBlock(2));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double values[] = {-1e300, -1, 0, 1e9, 1e300, nan};
  for (cBlockMap* map : {&m_Map, static_cast<cBlockMap*>(nullptr)}) {
    cBlockMap empty;
    cBlockMap& m = map ? *map : empty;
    for (double x : values)
      for (double y : values) {
        cHero c;
        c.m_dX = c.m_dSpeedX = x;
        c.m_dRight = -x;
        c.m_dY = c.m_dBottom = c.m_dSpeedY = y;
        c.m_nWidth = 0;
        c.m_nBaseWidth = -5;
        c.m_Definition.SetScaleField(-3);
        c.m_nFootBlock = 123456789;
        for (int r : {m.MoveX(c), m.MoveY(c), m.TouchX(c), m.TouchY(c), m.ApplyFootBlock(c), m.TakeFootBlockItem(c)})
          EXPECT_TRUE(r == 0 || r == 2);
        m.StickToFloor(c);
        m.IsPlaceBlocked(c);
        EXPECT_GE(m.FindFootBlock(c), map ? 0 : -1);
      }
  }
  EXPECT_EQ(quits.Take(), 0);
}

}  // namespace
