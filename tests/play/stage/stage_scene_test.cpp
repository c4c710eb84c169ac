// The stage scene: its set-up tables, its scroll records, and scenarios on
// built stages (a fall onto a floor, the time limit and the death hand-over,
// pausing, banners, the result, hostile stages).
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "gfx/dd.h"
#include "gfx/surface_pixels.h"
#include "platform/keys.h"
#include "play/objects/hero.h"
#include "play/objects/message_window.h"
#include "play/objects/stage_character.h"
#include "play/world/stage_scene.h"
#include "play/world/system_switches.h"
#include "scene/input.h"
#include "scene/play_record.h"
#include "support/stage_builder.h"

namespace {

using IntPair = std::pair<int32_t, int32_t>;

TEST(StageSceneTest, HitCheckStepsSpreadTheChecksOverTheSubSteps) {
  const struct {
    int32_t subSteps, checks;
    std::vector<int32_t> flags;
  } cases[] = {
      {4, 3, {1, 1, 1, 0}},     // ratio 1.333...: sub-steps 0, 1, 2
      {3, 2, {1, 1, 0}},        // ratio 1.5: 0 and 1
      {1, 1, {1}},
      {4, 0, {1, 1, 1, 1}},     // 0: every sub-step
      {4, 4, {1, 1, 1, 1}},
      {2, 5, {1, 1}},           // more checks than sub-steps
      {5, 2, {1, 0, 1, 0, 0}},  // ratio 2.5: 0 and trunc(2.5)
      {3, -2, {1, 1, 1}},       // a negative count would never end: every sub-step
      {0, 1, {1}},              // a stage without sub-steps runs one
      {3, 0x7fffffff, {1, 1, 1}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(cStageScene::BuildHitCheckSteps(c.subSteps, c.checks), c.flags) << c.subSteps << "/" << c.checks;
}

TEST(StageSceneTest, AutoScrollKeepsTheViewInItsRange) {
  cAutoScroll x;
  x.m_nFullUpper = (32 - 10) * 32;  // a stage 12 blocks wide
  const struct {
    int32_t first, last, limitFirst, limitLast, low, high;
  } ranges[] = {{3, 40, 1, 0, 3 * 32 + 320, 704}, {3, 1, 0, 1, 320, 320 + 2 * 32}, {3, 0, 1, 1, 416, 416}};
  for (const auto& r : ranges) {
    x.SetRange(r.first, r.last, r.limitFirst, r.limitLast);
    EXPECT_EQ(std::pair(x.rangeLow, x.rangeHigh), std::pair(r.low, r.high)) << r.first << "-" << r.last;
  }
  const struct {
    int32_t high;
    double position, clamped;
    int32_t atLimit;
  } cases[] = {{1600, 100, 320, 1}, {1600, 320, 320, 1}, {1600, 321, 321, 0}, {1600, 959, 959, 0},
               {1600, 960, 960, 1}, {1600, 5000, 960, 1}, {400, 390, 320, 1}};  // narrower than the view
  for (const auto& c : cases) {
    x.rangeLow = 320;
    x.rangeHigh = c.high;
    x.position = c.position;
    x.Clamp();
    EXPECT_EQ(std::pair(x.position, x.atLimit), std::pair(c.clamped, c.atLimit)) << c.position;
  }
  // Forced scroll: 15 tenths of a dot a frame over a frame scale of 2.
  x.rangeHigh = 1600;
  x.position = 400;
  x.Start(1, 15, 2.0);
  x.Step();
  EXPECT_DOUBLE_EQ(x.position, 400.75);
}

TEST(StageSceneTest, SetUpLaysOutTheMapFromTheStageSize) {
  StageBuilder stage(12, 15);
  stage.Hero(2, 3).Floor(10, 0, 11);
  StageSession session(stage);
  ASSERT_TRUE(session.Loaded());
  cStageScene& scene = session.Scene();
  EXPECT_EQ(scene.m_ScrollX.m_nExtent, 32);
  EXPECT_EQ(scene.m_ScrollX.m_nBitCount, 5);
  EXPECT_EQ(scene.BlockMap().Stride(), 32);
  EXPECT_TRUE(scene.BlockMap().HasBlock(((10 + 10) << 5) + 10));
  EXPECT_EQ(scene.m_StageVariables.size(), 1000u);
  EXPECT_EQ(scene.m_GroupWakeUp.size(), 60u);
  EXPECT_EQ(scene.m_nTimeLeft, 999);
  EXPECT_EQ(scene.m_bTimeLimitOff, 1);
  ASSERT_TRUE(scene.HasHero());
}

// On an 8-bit display a retry starts on the base colours again, whatever a
// fade or a screen colour left in the working and the shown palette.
TEST(StageSceneTest, SetUpPutsTheBaseColoursBackInEightBitMode) {
  StageBuilder stage;
  stage.Hero(2, 3).Floor(10, 0, 19);
  StageSession session(stage, 8);
  ASSERT_TRUE(session.Loaded());
  ASSERT_NE(DDState.lpDDPalette, nullptr);
  DDState.DDPalette[40] = {10, 20, 30, 0};
  DDState.DDPaletteWork[40] = {200, 200, 200, 0};
  DDState.lpDDPalette->SetEntries(40, 1, &DDState.DDPaletteWork[40]);
  session.Scene().SetStage(1, 0);
  const PALETTEENTRY* shown = &DDState.lpDDPalette->Entries()[40];
  for (const PALETTEENTRY* entry : {static_cast<const PALETTEENTRY*>(&DDState.DDPaletteWork[40]), shown}) {
    EXPECT_EQ(entry->peRed, 10);
    EXPECT_EQ(entry->peGreen, 20);
    EXPECT_EQ(entry->peBlue, 30);
  }
}


// Where the hero's feet are (its bottom dot) and whether it still moves down.
struct Fall {
  double bottom;
  double speedY;
};
Fall HeroFall(cStageScene& scene) { return {scene.Hero().m_dBottom, scene.Hero().m_dSpeedY}; }

// A hero placed at row 2 with the floor at row 5 has its feet 65 dots above
// the floor's top dot (a 24-dot body at the bottom of its cell, bottom at
// dot 415). From rest it gains the gravity per sub-step each sub-step, up to
// the maximum speed of 6 dots: at level 1 (g = 0.4, one sub-step a frame) it
// has come 0.2 k (k + 1) dots after k sub-steps while below the maximum, so
// 42 after 14, then 48, 54, 60, 66: its bottom enters the floor (481) in
// frame 18. At level 2 (g = 0.1, two sub-steps a frame) it has come
// 0.05 k (k + 1): 63 after 35 and 66.6 after 36 sub-steps, again in frame 18
// (bottom 481.6). Landing lifts it by the whole dots it sank into the floor
// plus one (y -= (trunc(bottom) & 31) + 1), so the fraction stays: it stands
// with its bottom at 479 and at 479.6.
TEST(StageSceneTest, HeroFallingFromRestLandsOnTheFloorInTheFrameTheFallGives) {
  const struct {
    int32_t level;
    double landed;
  } cases[] = {{1, 479.0}, {2, 479.6}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.level);
    StageBuilder stage(20, 15);
    stage.SpeedLevel(c.level).Hero(3, 2).Floor(5, 0, 19);
    StageSession session(stage);
    ASSERT_TRUE(session.Loaded());
    cStageScene& scene = session.Scene();
    ASSERT_EQ(scene.Hero().m_dBottom, 415.0);
    session.Frames(17);
    EXPECT_LT(HeroFall(scene).bottom, 479.0);
    EXPECT_GT(HeroFall(scene).speedY, 0.0);
    session.Frames(1);
    EXPECT_NEAR(HeroFall(scene).bottom, c.landed, 1e-9);
    session.Frames(30);
    EXPECT_NEAR(HeroFall(scene).bottom, c.landed, 1e-9);
    EXPECT_EQ(scene.m_nStepCount, 48 * c.level);
    EXPECT_EQ(scene.m_nMode, kStageModePlay);
  }
}

// Space pauses (sound 4, mode 3 with mode 2 saved) when pausing is allowed;
// the menu opens on "resume" and holds the stage still. Deciding it returns
// to play with the buttons latched, so the held decide button does not reach
// the play frame; cancel returns to the saved mode as well (game over
// pauses too). In test play the quit row closes the program.
TEST(StageSceneTest, SpacePausesAndTheMenuResumesCancelsOrQuits) {
  StageBuilder stage(20, 15);
  stage.Hero(3, 4).Floor(5, 0, 19);
  StageSession session(stage);
  ASSERT_TRUE(session.Loaded());
  cStageScene& scene = session.Scene();
  cInput& input = InputRecords.At(0);
  auto pressSpace = [&] {
    plat::SetKeyState(plat::VK_SPACE, true);
    session.Frames(1);
    plat::SetKeyState(plat::VK_SPACE, false);
  };
  session.System().SetNum(ProjectRuleRow(kRulePauseAllowed).field, 0);
  pressSpace();
  EXPECT_EQ(scene.m_nMode, kStageModePlay);
  session.System().SetNum(ProjectRuleRow(kRulePauseAllowed).field, 1);
  pressSpace();
  EXPECT_EQ(std::pair(scene.m_nMode, scene.m_nSavedMode), IntPair(kStageModePause, kStageModePlay));
  EXPECT_EQ(session.Sounds().back(), kSoundPause);
  const int32_t frames = scene.m_nFrameCounter;
  session.Frames(3);
  EXPECT_EQ(std::pair(scene.m_nMode, scene.m_nFrameCounter), IntPair(kStageModePause, frames));
  input.m_wButtons = 1;
  session.Frames(1);
  EXPECT_EQ(std::pair(scene.m_nMode, scene.m_bButtonLatch), IntPair(kStageModePlay, 1));
  input.m_wButtons = 1;
  session.Frames(1);
  EXPECT_EQ(std::pair(input.m_wButtons, scene.m_nFrameCounter), std::pair(uint16_t{0}, frames + 1));

  scene.m_nMode = kStageModeGameOver;
  input.m_wButtons = 0;
  pressSpace();
  ASSERT_EQ(scene.m_nMode, kStageModePause);
  session.Frames(1);  // every button let go: the menu takes the next press
  input.m_wButtons = 2;
  session.Frames(1);
  EXPECT_EQ(scene.m_nMode, kStageModeGameOver);
  EXPECT_EQ(session.Sounds().back(), kSoundCancel);

  SceneManager.m_bTestPlay = 1;
  scene.m_nMode = kStageModePause;
  scene.m_nSubState = 0;
  input.m_wButtons = 0;
  session.Frames(1);
  input.m_wDirection = kDirUp;  // from "resume" up to "quit"
  session.Frames(1);
  input.m_wDirection = 0;
  input.m_wButtons = 1;
  session.Frames(1);
  EXPECT_EQ(scene.m_nMode, kStageModeFadeOut);
  EXPECT_TRUE(session.CloseRequested());
}


// The fade-out of mode 7 at the manager's fade speed (30 degrees: four
// frames) works on the last picture: at 32 bits the screen is the picture
// times 256, 221, 127 and 0 of 256; at 8 bits the picture stays and the
// display palette goes to black. It ends on a black screen, not on palette
// entry 0 (the transparent colour, here magenta).
TEST(StageSceneTest, FadeOutDarkensTheLastPictureAndEndsBlack) {
  for (int32_t bpp : {32, 8}) {
    SCOPED_TRACE(bpp);
    StageBuilder stage(20, 15);
    stage.Hero(3, 4).Floor(5, 0, 19);
    StageSession session(stage, bpp);
    ASSERT_TRUE(session.Loaded());
    cStageScene& scene = session.Scene();
    DDState.DDPalette[0] = PALETTEENTRY{255, 0, 255, 0};
    DDState.DDPalette[7] = PALETTEENTRY{200, 100, 50, 0};
    SceneManager.m_nFadeSpeed = 30;
    SceneManager.m_nNext = kSceneTitle;
    DDFillSurface(DDBackBuffer(), 7);
    const uint32_t picture = bpp == 32 ? 0xC86432u : 7u;
    scene.m_nMode = kStageModeFadeOut;
    const int kShares[4] = {256, 221, 127, 0};
    for (int k = 0; k < 4; ++k) {
      session.Frames(1);
      const uint32_t pixel = Pixel(DDBackBuffer(), 320, 240) & (bpp == 32 ? 0xFFFFFFu : 0xFFu);
      if (k == 3) {
        EXPECT_EQ(scene.m_nMode, kStageModeNone);
        EXPECT_EQ(pixel, 0u) << "cleared to black";
      } else if (bpp == 32) {
        EXPECT_EQ(pixel, (200u * kShares[k] >> 8) << 16 | (100u * kShares[k] >> 8) << 8 | (50u * kShares[k] >> 8))
            << "share " << kShares[k];
      } else {
        EXPECT_EQ(pixel, picture);
      }
      if (bpp == 8) {
        EXPECT_EQ(DDState.lpDDPalette->Entries()[7].peRed, 200 * kShares[k] >> 8);
      }
    }
    EXPECT_EQ(SceneManager.m_nCurrent.load(), kSceneTitle);
  }
}

// When the hero's death display is over, a life is taken: with lives left
// the stage starts again (a retry from its banner) or, in story mode with
// the continue menu switched on, the continue menu opens; without lives the
// game is over.
TEST(StageSceneTest, HeroDeathHandsOverToRetryContinueOrGameOver) {
  const struct {
    int32_t lives;
    int32_t playMode;
    int32_t continueMenu;
    int32_t mode;
    int32_t livesAfter;
  } cases[] = {
      {3, kPlayFree, 1, kStageModeBanner, 2},
      {3, kPlayStory, 0, kStageModeBanner, 2},
      {3, kPlayStory, 1, kStageModeContinue, 2},
      {0, kPlayFree, 0, kStageModeGameOver, 0},
      {kUnlimitedLives, kPlayFree, 0, kStageModeBanner, kUnlimitedLives},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lives * 10 + c.playMode);
    StageBuilder stage(20, 15);
    stage.TimeLimit(1).Hero(3, 4).Floor(5, 0, 19);
    StageSession session(stage);
    ASSERT_TRUE(session.Loaded());
    cStageScene& scene = session.Scene();
    session.System().SetNum(ProjectRuleRow(kRuleContinueMenuInStory).field, c.continueMenu);
    SceneManager.m_nPlayMode = c.playMode;
    SaveData.m_nLives = c.lives;
    // One second of time runs out in play frame 60: the hero is killed
    // (sound 8) and the frame ends before its sub-steps.
    session.Frames(59);
    ASSERT_EQ(std::pair(scene.m_nTimeLeft, scene.Hero().m_bDying), std::pair(1, 0));
    const int32_t steps = scene.m_nStepCount;
    session.Frames(1);
    ASSERT_EQ(std::pair(scene.m_nTimeLeft, scene.Hero().m_bDying), std::pair(0, 1));
    EXPECT_EQ(scene.m_nStepCount, steps);
    EXPECT_EQ(session.Sounds().back(), kSoundHeroDeath);
    for (int i = 0; i < 600 && scene.m_nMode == kStageModePlay; ++i) session.Frames(1);
    EXPECT_EQ(scene.m_nMode, c.mode);
    EXPECT_EQ(SaveData.m_nLives, c.livesAfter);
    if (c.mode == kStageModeBanner) {
      // The retry built the stage again: a live hero and the full time.
      EXPECT_EQ(scene.Hero().m_bDying, 0);
      EXPECT_EQ(scene.m_nTimeLeft, 1);
    }
  }
}


// A clear adds the attempt's score to the stage points and gives a life
// (at most 99) for every multiple of the points per life the total passes,
// each with sound 15; unlimited lives stay as they are.
TEST(StageSceneTest, StageClearAwardsExtraLivesForEachMultiplePassed) {
  const struct {
    int32_t points, score, lives, livesAfter, extraSounds;
  } cases[] = {
      {1999, 1, 3, 4, 1},     {1999, 1001, 3, 5, 2}, {0, 999, 3, 3, 0},
      {1999, 1001, 99, 99, 2}, {1999, 1001, kUnlimitedLives, kUnlimitedLives, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.points + c.score);
    StageBuilder stage(20, 15);
    stage.Hero(3, 4).Floor(5, 0, 19);
    StageSession session(stage);
    ASSERT_TRUE(session.Loaded());
    session.System().SetNum(ProjectRuleRow(kRuleExtraLives).field, 1);
    session.System().SetNum(ProjectRuleRow(kRulePointsPerLife).field, 1000);
    SaveData.m_nStagePoints = c.points;
    SaveData.m_nScore = c.score;
    SaveData.m_nLives = c.lives;
    // Each life's picture is in the window list while its wait runs (the
    // pacer sees it on each wait's first frame) and gone afterwards.
    static int shown = 0, frames = 0;
    shown = frames = 0;
    auto* savedPacer = cStageScene::s_pWaitPacer;
    cStageScene::s_pWaitPacer = [] {
      for (const auto& w : CurrentStageScene()->m_MessageWindows)
        shown += frames % 31 == 0 && w->m_Settings.style == kMessageExtraLife;
      ++frames;
    };
    session.Scene().AwardStageClear();
    cStageScene::s_pWaitPacer = savedPacer;
    EXPECT_EQ(SaveData.m_nLives, c.livesAfter);
    EXPECT_EQ(SaveData.m_nStagePoints, c.points + c.score);
    EXPECT_EQ(std::count(session.Sounds().begin(), session.Sounds().end(), kSoundExtraLife), c.extraSounds);
    EXPECT_EQ(shown, c.extraSounds);
    EXPECT_TRUE(session.Scene().m_MessageWindows.empty());
  }
}

// A flow's end request clears the stage when the hero has acted: sound 14,
// the result screen, whose decide (from its second frame without a result
// banner) tallies: free play without a chain plays the same stage again.
TEST(StageSceneTest, EndRequestGoesThroughTheResultScreenToTheNextScene) {
  StageBuilder stage(20, 15);
  stage.TimeLimit(100).Hero(3, 4).Floor(5, 0, 19);
  StageSession session(stage);
  ASSERT_TRUE(session.Loaded());
  cStageScene& scene = session.Scene();
  SceneManager.m_nFadeSpeed = 30;
  session.Frames(2);
  scene.m_nEndRequest = kEndClear;
  session.Frames(1);
  EXPECT_EQ(scene.m_nMode, kStageModeResult);
  EXPECT_EQ(session.Sounds().back(), kSoundClear);
  EXPECT_EQ(SaveData.m_nTimeLeftSum, 100);

  cInput& input = InputRecords.At(0);
  input.m_wButtons = 1;
  session.Frames(1);  // the count starts: no decide yet
  EXPECT_EQ(scene.m_nMode, kStageModeResult);
  input.m_wButtons = 0;
  session.Frames(1);
  input.m_wButtons = 1;
  session.Frames(1);
  EXPECT_EQ(scene.m_nMode, kStageModeFadeOut);
  EXPECT_EQ(SceneManager.m_nNext.load(), kSceneStage);
  for (int i = 0; i < 10 && scene.m_nMode == kStageModeFadeOut; ++i) session.Frames(1);
  EXPECT_EQ(scene.m_nMode, kStageModeNone);
  EXPECT_EQ(SceneManager.m_nCurrent.load(), kSceneStage);
  EXPECT_EQ(SceneManager.m_nPrevious.load(), kSceneStage);
  EXPECT_EQ(SceneManager.m_nFrameRate.load(), 60u);
}


// The continue menu: row 0 retries the stage from its banner, row 1 goes
// back to the map; space does nothing there. Game over takes decide to the
// title.
TEST(StageSceneTest, ContinueMenuAndGameOverLeaveAsChosen) {
  const struct {
    int32_t mode;
    uint16_t direction;  // moves the cursor before deciding
    int32_t nextMode;
    int32_t nextScene;   // -1: not changed
  } cases[] = {
      {kStageModeContinue, 0, kStageModeBanner, -1},
      {kStageModeContinue, kDirDown, kStageModeFadeOut, kSceneWorldMap},
      {kStageModeGameOver, 0, kStageModeFadeOut, kSceneTitle},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode * 10 + c.direction);
    StageBuilder stage(20, 15);
    stage.Hero(3, 4).Floor(5, 0, 19);
    StageSession session(stage);
    ASSERT_TRUE(session.Loaded());
    cStageScene& scene = session.Scene();
    session.System().SetNum(ProjectRuleRow(kRulePauseAllowed).field, 1);
    SceneManager.m_nNext = kSceneStage;
    scene.m_nMode = c.mode;
    scene.m_nSubState = 0;
    cInput& input = InputRecords.At(0);
    plat::SetKeyState(plat::VK_SPACE, true);
    session.Frames(1);  // buttons let go; space held
    plat::SetKeyState(plat::VK_SPACE, false);
    if (c.mode == kStageModeContinue) {
      EXPECT_EQ(scene.m_nMode, kStageModeContinue);
    }
    if (c.mode == kStageModeGameOver) {
      EXPECT_EQ(scene.m_nMode, kStageModePause);  // game over has the pause key
      scene.m_nMode = c.mode;
    }
    input.m_wDirection = c.direction;
    session.Frames(1);
    input.m_wDirection = 0;
    input.m_wButtons = 1;
    session.Frames(1);
    EXPECT_EQ(scene.m_nMode, c.nextMode);
    EXPECT_EQ(SceneManager.m_nNext.load(), c.nextScene < 0 ? kSceneStage : c.nextScene);
    if (c.nextScene == kSceneWorldMap) {
      EXPECT_EQ(SaveData.m_bStepBack, 1);
    }
  }
}


// Each start banner stays 80 frames (79 drawn, the play begins on the 80th
// count); a stage without banners plays from the banner mode's first frame.
TEST(StageSceneTest, StartBannersLastTheirFramesThenPlayBegins) {
  const struct {
    bool first, second;
    int32_t framesToPlay;
  } cases[] = {{false, false, 1}, {true, false, 80}, {false, true, 80}, {true, true, 159}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first * 2 + c.second);
    StageBuilder stage(20, 15);
    stage.Banners(c.first, c.second).Hero(3, 4).Floor(5, 0, 19);
    StageSession session(stage);
    ASSERT_TRUE(session.Loaded());
    cStageScene& scene = session.Scene();
    scene.m_nMode = kStageModeBanner;
    int32_t frames = 0;
    while (scene.m_nMode == kStageModeBanner && frames < 1000) {
      session.Frames(1);
      ++frames;
    }
    EXPECT_EQ(frames, c.framesToPlay);
    EXPECT_EQ(scene.m_nMode, kStageModePlay);
  }
}


// Hostile stages keep running: a speed level that gives no sub-steps or
// millions of them, objects placed outside the stage, hundreds of
// characters in one cell, the hero inside a solid block.
TEST(StageSceneTest, HostileStagesKeepRunning) {
  const struct {
    int32_t level;
    int32_t crowd;
    int32_t stepsPerFrame;
  } cases[] = {{0, 0, 1}, {0x7fffffff, 0, kMaxSubSteps}, {1, 400, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.level);
    StageBuilder stage(20, 15);
    stage.SpeedLevel(c.level).Hero(3, 4).Block(3, 4).Floor(5, 0, 19);
    stage.Character(-5, -5).Character(500, 3).Block(100, 100).Block(-3, 2).Item(40, -7);
    for (int32_t i = 0; i < c.crowd; ++i) stage.Character(8, 4);
    StageSession session(stage);
    ASSERT_TRUE(session.Loaded());
    cStageScene& scene = session.Scene();
    session.Frames(5);
    EXPECT_EQ(scene.m_nStepCount, 5 * c.stepsPerFrame);
    EXPECT_TRUE(scene.m_nMode == kStageModePlay || scene.m_nMode == kStageModeBanner);
  }
}


size_t GroupEntries(cStageScene& scene) {
  size_t n = 0;
  for (const auto& group : scene.m_CharacterGroups) n += group.size();
  return n;
}

// Characters leave the stage by their removal area (swept on the first
// sub-step of a frame, never while on screen) and by their life countdown
// (gone when it falls below 0); a removed character leaves its group index
// with it.
TEST(StageSceneTest, CharactersLeaveByRemovalAreaAndLifeCountdown) {
  StageBuilder stage(60, 15);
  stage.Hero(3, 4).Floor(5, 0, 59).Character(10, 4).Character(14, 4).Character(45, 4);
  // Ordinary characters: removed two blocks beyond the right screen edge.
  stage.Data().m_Params[kRemovalCharacters].m_nValues[1] = 1;
  stage.Data().m_Params[kRemovalCharacters].m_nValues[5] = 2;
  StageSession session(stage);
  ASSERT_TRUE(session.Loaded());
  cStageScene& scene = session.Scene();
  ASSERT_EQ(scene.m_CharacterList.size(), 3u);
  EXPECT_EQ(GroupEntries(scene), 4u);  // the hero and the three characters
  EXPECT_EQ(scene.m_bRemoveCharacters, 1);

  session.Frames(1);  // the one at column 45 is far beyond the screen
  ASSERT_EQ(scene.m_CharacterList.size(), 2u);
  EXPECT_EQ(GroupEntries(scene), 3u);

  scene.m_CharacterList.back().m_nLifeCountdown = 2;  // 2, 1, 0, then below 0
  session.Frames(2);
  EXPECT_EQ(scene.m_CharacterList.size(), 2u);
  session.Frames(1);
  EXPECT_EQ(scene.m_CharacterList.size(), 1u);
  EXPECT_EQ(GroupEntries(scene), 2u);
  session.Frames(10);
  EXPECT_EQ(scene.m_CharacterList.size(), 1u);  // on screen: never swept
}

}  // namespace
