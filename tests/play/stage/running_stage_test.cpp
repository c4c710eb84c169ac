// The running stage's objects and clock on stages built in code: copies of
// a repeated character, appearance conditions with their once-true cache,
// the time limit and the clear time, block summons, and a whole frame
// drawn headless.
#include <gtest/gtest.h>

#include <vector>

#include "../../gfx/surface_pixels.h"
#include "base/timers.h"
#include "play/objects/hero.h"
#include "play/objects/stage_character.h"
#include "play/world/block_map.h"
#include "play/world/flow_hooks.h"
#include "play/world/stage_draw.h"
#include "play/world/stage_scene.h"
#include "support/stage_builder.h"

namespace {

// Condition lists hold exactly while `holds` says so.
class SwitchedConditions : public cFlowHooks {
 public:
  SwitchedConditions() { SetFlowHooks(this); }
  ~SwitchedConditions() override { SetFlowHooks(nullptr); }
  bool CheckConditionList(const std::vector<cCond>&, int32_t, cCharacter*) override { return holds; }
  bool holds = true;
};

// A stage 20 x 15 with a floor and the hero on it.
StageBuilder Stage() {
  StageBuilder b(20, 15);
  b.Floor(14, 0, 19).Hero(1, 13);
  return b;
}

std::vector<int32_t> Present(cStageScene& scene) {
  std::vector<int32_t> p;
  for (const cStageCharacter& c : scene.m_CharacterList) p.push_back(c.m_bPresent);
  return p;
}

TEST(RunningStage, RepeatedCharacterMakesStepOffsetCopiesInsideTheStage) {
  StageBuilder b = Stage();
  b.Character(3, 13).Character(18, 13);
  for (cEdCharacter& c : b.Data().m_PlacedCharacters) {
    if (c.ControlKind() != 1) continue;
    c.m_nParam7 = 2;  // two more copies, a block apart
    c.m_nStepX = 32;
  }
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  std::vector<double> xs;
  std::vector<int32_t> ids;
  for (const cStageCharacter& c : s.Scene().m_CharacterList) {
    xs.push_back(c.m_dX - s.Scene().m_CharacterList.front().m_dX);
    ids.push_back(c.m_nId - s.Scene().m_CharacterList.front().m_nId);
  }
  // Columns 3, 4, 5 and 18, 19; the copy at column 20 lies outside and
  // takes no id.
  EXPECT_EQ(xs, (std::vector<double>{0, 32, 64, 15 * 32, 16 * 32}));
  EXPECT_EQ(ids, (std::vector<int32_t>{0, 1, 2, 3, 4}));
}

TEST(RunningStage, AppearanceConditionsAndTheOnceTrueCache) {
  SwitchedConditions hooks;
  StageBuilder b = Stage();
  b.Character(3, 13).Character(6, 13);
  int k = 0;
  for (cEdCharacter& c : b.Data().m_PlacedCharacters) {
    if (c.ControlKind() != 1) continue;
    c.m_vConds = {cCond()};
    c.m_nCondOption = k++ == 0 ? 1 : 0;  // the first keeps a list that held once
  }
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cStageScene& scene = s.Scene();
  scene.ActivateObjects();
  EXPECT_EQ(Present(scene), (std::vector<int32_t>{1, 1}));
  hooks.holds = false;
  scene.ActivateObjects();
  EXPECT_EQ(Present(scene), (std::vector<int32_t>{1, 0}));
  EXPECT_EQ(std::pair(scene.m_CharacterList.back().m_bOnScreen, scene.m_CharacterList.back().m_bActing),
            std::pair(0, 0));
}

TEST(RunningStage, TimeLimitAndClearTimeCountPlayFrames) {
  StageBuilder b = Stage();
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cStageScene& scene = s.Scene();
  CountCalls(0, 0);
  scene.m_bTimeLimitOff = 0;
  scene.m_nTimeLeft = 2;
  std::vector<int> endings;  // the time runs out once, on call 120
  for (int call = 1; call <= 200; ++call)
    if (scene.CountDownTime(-1) == 1) endings.push_back(call);
  EXPECT_EQ(endings, (std::vector<int>{120}));
  scene.m_nTimeLeft = 998;  // bonus time stops at 999
  for (int call = 0; call < 120; ++call) scene.CountDownTime(+5);
  EXPECT_EQ(scene.m_nTimeLeft, 999);
  scene.m_bTimeLimitOff = 1;  // without a limit nothing counts
  scene.m_nTimeLeft = 1;
  for (int call = 0; call < 120; ++call) EXPECT_EQ(scene.CountDownTime(-1), 0);
  EXPECT_EQ(scene.m_nTimeLeft, 1);
  CountCalls(0, 0);

  // Hundredths from frames: 6000 frames are 100 s; the count stops at
  // 599999 (359999 frames give 599998).
  scene.m_nFramesPlayed = scene.m_nClearTime = 0;
  for (int i = 0; i < 6000; ++i) scene.CountClearTime();
  EXPECT_EQ(scene.m_nClearTime, 10000);
  scene.m_nFramesPlayed = 359998;
  for (int32_t want : {599998, 599999, 599999}) {
    scene.CountClearTime();
    EXPECT_EQ(scene.m_nClearTime, want);
  }
  EXPECT_EQ(scene.m_nFramesPlayed, 360000);
}

TEST(RunningStage, BlockSummonsPlaceEraseToggleAndSpareTheHero) {
  StageBuilder b = Stage();
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cStageScene& scene = s.Scene();
  cBlockMap& map = scene.BlockMap();
  cEdBlock solid;
  solid.m_nGraphic = 1;
  solid.m_nOption7 = kBlockSolid;
  auto at = [](int block) { return (block + kStageMarginBlocks) * 32.0 + 16; };
  auto has = [&](double x, double y) { return map.HasBlock(map.CellIndexAtDots(int(x), int(y))); };
  auto summon = [&](double x, double y, int mode, int keepHero = 0) {
    cStageScene::cBlockSummon run;
    run.mode = mode;
    run.keepHero = keepHero;
    scene.SummonBlock(x, y, solid, run);
  };
  // Toggling the same cell twice in one run changes it once; a new run
  // toggles it back.
  cStageScene::cBlockSummon toggle;
  toggle.mode = 2;
  scene.SummonBlock(at(6), at(5), solid, toggle);
  scene.SummonBlock(at(6), at(5), solid, toggle);
  EXPECT_TRUE(has(at(6), at(5)));
  summon(at(6), at(5), 2);
  EXPECT_FALSE(has(at(6), at(5)));
  // Over the hero: taken back with do-not-squeeze-the-hero, kept without;
  // the hero counts as squeezed either way.
  cHero& hero = scene.Hero();
  const double hx = hero.m_dX + 2, hy = hero.m_dY + 2;
  for (int keep : {1, 0}) {
    hero.m_nStateCounter = 0;
    summon(hx, hy, 0, keep);
    EXPECT_EQ(has(hx, hy), keep == 0);
    EXPECT_EQ(hero.m_nStateCounter, 2);
  }
  // Dots outside the map change nothing (and never wrap into another row).
  const size_t types = map.TypeCount();
  for (auto [x, y] : {std::pair{-1.0, at(2)}, {map.WidthDots() + 1.0, at(2)}, {1e12, at(2)}, {at(2), -5.0}})
    summon(x, y, 0);
  EXPECT_FALSE(has(at(0), at(2)));
  EXPECT_EQ(map.TypeCount(), types);
}

// The whole frame of a small stage: background behind, a block over it,
// the time digits on top, at the pixels the scroll puts them.
TEST(RunningStage, DrawFrameLayersBackgroundBlocksAndDigits) {
  StageBuilder b = Stage();
  b.Block(1, 1);
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cStageScene& scene = s.Scene();
  DDSURFACEDATA* bg = &GameSurfaces[SURF_BACKGROUND_FIRST];
  DDSURFACEDATA* strip = &GameSurfaces[kSystemPictureSurface];
  DDSURFACEDATA* blocks = &GameSurfaces[SURF_BLOCK];
  for (DDSURFACEDATA* sd : {bg, strip, blocks, &GameSurfaces[SURF_BLOCK_SYSTEM]})
    ASSERT_TRUE(DDCreateSurface(sd, 320, 192, 1, 0, 0, 0, 0));
  DDFillRect(bg, 0, 0, 32, 192, 1);
  DDFillRect(bg, 32, 0, 288, 192, 2);
  for (int d = 0; d < 10; ++d) DDFillRect(strip, d * 32, 160, 32, 32, 20 + d);
  DDFillSurface(blocks, 5);
  DDFillSurface(&GameSurfaces[SURF_BLOCK_SYSTEM], 5);
  StageData.m_Backgrounds.assign(1, cStageBackground());
  StageData.m_Backgrounds[0].m_dScrollSpeedX = 1.0;  // shown, behind, no automatic scroll
  scene.m_ScrollX.position = 330.0;                  // 10 dots into the stage
  scene.m_ScrollY.position = 320.0;
  scene.m_bTimeLimitOff = 0;
  scene.m_nTimeLeft = 5;
  scene.DrawFrame(0, 1, 0, 0);
  DDSURFACEDATA* back = DDBackBuffer();
  // Background columns 15 and 50 of the 320-dot picture; the block at x
  // 22..53, y 32..63; digit 5 at the right of its three-digit field.
  for (auto [x, y, src, sx, sy] : {std::tuple{5, 100, bg, 15, 0}, {40, 100, bg, 50, 0}, {30, 40, blocks, 0, 0},
                                   {53, 63, blocks, 0, 0}, {54, 40, bg, 64, 0}, {340, 30, strip, 160, 160},
                                   {280, 30, bg, 290, 30}})
    EXPECT_EQ(Pixel(back, x, y), Pixel(src, sx, sy)) << x << "," << y;
  for (DDSURFACEDATA* sd : {bg, strip, blocks, &GameSurfaces[SURF_BLOCK_SYSTEM]}) DDReleaseSurface(sd);
}

}  // namespace
