#include <gtest/gtest.h>

#include <vector>

#include "../../gfx/surface_pixels.h"
#include "base/random.h"
#include "data/database.h"
#include "data/labels.h"
#include "data/system_data.h"
#include "gfx/dd.h"
#include "play/commands/commands.h"
#include "play/objects/effect_object.h"
#include "play/objects/hero.h"
#include "play/objects/picture.h"
#include "play/objects/stage_character.h"
#include "play/world/screen_effect.h"
#include "play/world/stage_scene.h"
#include "play/world/system_switches.h"
#include "support/game_data.h"
#include "support/stage_builder.h"

namespace {

// A slot stepped until it reports the end: the call that ended it.
int CallsToEnd(cScreenEffectSlot& slot, int32_t start, int32_t end, double step) {
  for (int call = 1; call <= 100000; ++call)
    if (slot.Step(start, end, step)) return call;
  return -1;
}

TEST(ScreenEffectSlot, EndsOnThePinnedCall) {
  struct Case {
    int32_t timeOnly, time, start, end;
    double value, step;
    int call;
  } cases[] = {
      {1, 1, 0, 0, 0, 1.0 / 6.0, 7},       {1, 5, 0, 0, 0, 1.0 / 6.0, 31},
      {1, 10, 0, 0, 0, 1.0 / 6.0, 61},     {1, 100, 0, 0, 0, 1.0 / 6.0, 600},
      {0, 0, 640, 1280, 640, 640.0 / 60, 61},  // the truncated value passes 1280
      {0, 0, 1280, 640, 1280, 640.0 / 60, 60},  // going down it drops just below 640
  };
  for (const Case& c : cases) {
    cScreenEffectSlot slot;
    slot.bTimeOnly = c.timeOnly;
    slot.nTime = c.time;
    slot.dStep = c.step;
    slot.dValue = c.value;
    EXPECT_EQ(CallsToEnd(slot, c.start, c.end, c.step), c.call) << c.time << " " << c.start;
  }
}

TEST(EffectObject, PlacedOnTheOverlapWithTwoDrawsXThenY) {
  struct Case {
    cEffectBox a, b;
    double x, y;  // before the scatter
  } cases[] = {
      {{0, 0, 31, 31}, {16, 16, 47, 47}, 8, 8},
      {{0, 0, 10, 10}, {20, 20, 30, 30}, -16, -16},  // apart: about the stage origin
      {{-40, -40, -9, -9}, {-20, -20, 0, 0}, -30, -30},
  };
  for (const Case& c : cases) {
    double x = 0, y = 0;
    EffectOverlapCorner(c.a, c.b, 32, 32, &x, &y);
    EXPECT_EQ(std::pair(x, y), std::pair(c.x, c.y));
  }

  ScopedGameData data;
  Database.m_Effects.assign(3, cEffectRecord());
  for (cEffectRecord& e : Database.m_Effects) e.m_Frames.push_back(cIntPair(0, 1));
  Database.m_Effects[2].m_nValue4 = 1;  // zoomable
  PrepareDatabaseTables();
  struct Zoom {
    int32_t n, zoom, width, zoomed, spread;
  } zooms[] = {{1, 3, 32, 0, 4}, {2, 3, 96, 1, 12}, {2, 1, 32, 0, 4}, {2, -2, 32, 0, 8}, {2, 0, 32, 0, 0}};
  for (const Zoom& z : zooms) {
    SRand(1);
    const int32_t dx = RandomRange(-z.spread, z.spread), dy = RandomRange(-z.spread, z.spread);
    SRand(1);
    auto e = cEffectObject::AtHit(z.n, {0, 0, 31, 31}, {16, 16, 47, 47}, z.zoom);
    ASSERT_TRUE(e);
    EXPECT_EQ(std::pair(e->m_nWidth, e->m_bZoomed), std::pair(z.width, z.zoomed));
    EXPECT_EQ(e->m_dX, 8 + 16 - z.width / 2 + dx);
    EXPECT_EQ(e->m_dY, 8 + 16 - z.width / 2 + dy);
  }
  SRand(1);
  EXPECT_FALSE(cEffectObject::AtHit(7, {}, {}, 1));
  EXPECT_FALSE(cEffectObject::At(0, 0, 0, 32, 32, 0));
}

TEST(EffectObject, FinishesWhenItsAnimationEndsAndHoldsOnStillFrames) {
  ScopedGameData data;
  Database.m_Effects.assign(3, cEffectRecord());
  for (cEffectRecord& e : Database.m_Effects) e.m_Frames.clear();
  Database.m_Effects[1].m_Frames.push_back(cIntPair(0, 1));
  PrepareDatabaseTables();
  const int duration = EffectRunTable[1][0].nDuration;
  auto e = cEffectObject::At(1, 0, 0, 32, 32, 0);
  ASSERT_TRUE(e);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(e->Frame(nullptr, nullptr, 0, 0, 1), 0);  // still: held
  int frames = 1;
  while (!e->Frame(nullptr, nullptr, 0, 0, 0) && frames < 1000) ++frames;
  EXPECT_EQ(frames, duration);
  auto empty = cEffectObject::At(2, 0, 0, 32, 32, 0);  // no frames: gone at once
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->Frame(nullptr, nullptr, 0, 0, 0), 1);
  // Restarted, a finished object plays its whole animation again, at its
  // new place and size; a number that names no effect leaves it as it is.
  ASSERT_TRUE(e->Restart(1, 40, 50, 64, 32, 0));
  EXPECT_EQ((std::vector<double>{e->m_dX, e->m_dY, double(e->m_nWidth), double(e->m_nHeight), double(e->m_bZoomed)}),
            (std::vector<double>{40, 50, 64, 32, 1}));
  frames = 1;
  while (!e->Frame(nullptr, nullptr, 0, 0, 0) && frames < 1000) ++frames;
  EXPECT_EQ(frames, duration);
  EXPECT_FALSE(e->Restart(9, 0, 0, 32, 32, 0));
  EXPECT_EQ(e->m_dX, 40);
}

TEST(Picture, ZoomRoundsHalfAwayFromZero) {
  const int32_t cases[][3] = {{33, 150, 50}, {100, 150, 150}, {60, 150, 90}, {1, 50, 1},
                              {3, 50, 2},    {100, 100, 100}, {-5, 100, 0}, {100000, 1000, 16384}};
  for (const auto& c : cases) EXPECT_EQ(ZoomPictureSize(c[0], c[1]), c[2]) << c[0] << " " << c[1];
  cPicture p;
  p.Set(1, 0, 0, 0, 0, 0, 100, 60, 0, 0, 150, 1, 0, 0, 0, 0, 0);
  EXPECT_EQ(std::tuple(p.m_nWidth, p.m_nHeight, p.m_bZoomed), std::tuple(150, 90, 1));
  p.Set(1, 0, 0, 0, 0, 0, 100, 60, 0, 0, 100, 1, 0, 0, 0, 0, 0);
  EXPECT_EQ(std::tuple(p.m_nWidth, p.m_nHeight, p.m_bZoomed), std::tuple(100, 60, 0));
}

TEST(Picture, PositionsByModeWithPinning) {
  struct Case {
    int32_t mode, fix;
    double scrollX, scrollX2;  // first frame, second frame
    int32_t x1, x2;
  } cases[] = {
      {kPictureAtCentre, 1, 100.7, 300.2, 10 - 50 + 320, 10 - 50 + 320},
      {kPictureAtCentre, 0, 100.7, 300.2, 280, 81},  // pinned: taken 381
      {kPictureAtScreenBlock, 0, 0, 32, 2 * 32 + 10, 2 * 32 + 10 - 32},
      {kPictureAtScreenBlock, 1, 0, 32, 74, 74},
      {kPictureAtStageBlock, 0, 40.5, 70.5, 129, 99},  // 5 x 32 + 10 - 40.5 truncates
      {kPictureAtStageBlock, 1, 40.5, 70.5, 129, 129},
      {kPictureOnHero, 0, 50.9, 60.9, 200 - 50 + 10 - 50, 200 - 50 + 10 - 60},
      {kPictureOnHero, 1, 50.9, 60.9, 110, 110},
  };
  for (const Case& c : cases) {
    cPicture p;
    p.Set(1, c.mode, 2, 1, 10, 0, 100, 60, c.fix, 0, 100, kPictureUntilStageEnd, 0, 0, 0, 0, 0);
    cPictureView view;
    view.columnOffset = 3;
    view.objectFound = true;
    view.objectCentreX = 200.4;
    int32_t x = 0, y = 0;
    view.scrollX = c.scrollX;
    ASSERT_TRUE(p.Place(0, view, &x, &y));
    EXPECT_EQ(x, c.x1) << c.mode << " " << c.fix;
    view.scrollX = c.scrollX2;
    view.objectFound = false;  // gone: the last centre is kept
    ASSERT_TRUE(p.Place(0, view, &x, &y));
    EXPECT_EQ(x, c.x2) << c.mode << " " << c.fix;
  }
}

TEST(Picture, TimedDisplayCountsDownOnCountingFrames) {
  struct Case {
    int32_t remaining, keepCounting, still;
    int shownFrames;
  } cases[] = {{0, 0, 0, 0}, {3, 0, 0, 3}, {3, 1, 1, 3}, {3, 0, 1, 1000}};
  for (const Case& c : cases) {
    cPicture p;
    p.Set(1, 0, 0, 0, 0, 0, 10, 10, 1, 0, 100, kPictureForTime, c.remaining, c.keepCounting, 0, 0, 0);
    int shown = 0, x = 0, y = 0;
    while (shown < 1000 && p.Place(c.still, cPictureView(), &x, &y)) ++shown;
    EXPECT_EQ(shown, c.shownFrames) << c.remaining;
  }
}

}  // namespace

namespace {

cEdCmd Words(int kind, std::vector<uint32_t> words) {
  cEdCmd c;
  c.m_nKind = static_cast<uint8_t>(kind);
  c.m_vParams = std::move(words);
  return c;
}

// Picture command words: number, centre, no wait, ID flag and ID.
cEdCmd PictureCommand(uint32_t n, uint32_t idFlag, uint32_t id) {
  return Words(kCmdShowPicture, {n, 0, 0, 0, 0, 0, 0, 100, 1, 0, 0, 0, idFlag, id, 0});
}

TEST(EffectAndPictureCommands, PlaceEffectsAndShowReplaceAndErasePictures) {
  ScopedGameData data;
  StageBuilder b(20, 15);
  b.Floor(10, 0, 19).Hero(5, 9).Character(8, 9);
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cStageScene& scene = s.Scene();
  cCharacter& c = scene.m_CharacterList.front();

  Database.m_Effects.assign(2, cEffectRecord());
  Database.m_Effects[1].m_nValue2 = Database.m_Effects[1].m_nValue3 = 32;
  PrepareDatabaseTables();
  ExecuteEffect(c, Words(kCmdPlayEffect, {1, 0, 0, 0, 4, 0, 150, 0}));
  ASSERT_EQ(scene.m_Effects.size(), 1u);
  const cEffectObject& e = *scene.m_Effects.front();
  EXPECT_EQ(std::pair(e.m_nWidth, e.m_bZoomed), std::pair(48, 1));
  EXPECT_EQ(e.m_dX, scene.m_ScrollX.position + 320 - 24 + 4);
  ExecuteEffect(c, Words(kCmdPlayEffect, {0, 0, 0, 0, 0, 0, 100, 0}));
  EXPECT_TRUE(scene.m_Effects.empty());

  // Each step: the command, then the IDs of the shown pictures (0: no ID).
  struct Step {
    uint32_t n, idFlag, id;
    std::vector<int32_t> shown;
  } steps[] = {
      {1, 1, 3, {3}},       {1, 1, 3, {3}},       // the same ID replaces
      {1, 0, 3, {3, 0}},    {1, 1, 5, {3, 0, 5}}, // no ID always adds
      {0, 1, 3, {0, 5}},    {0, 1, 9, {0, 5}},    // erase one by ID; none found
      {0, 0, 0, {}},                              // erase all
  };
  for (const Step& st : steps) {
    ExecutePicture(c, PictureCommand(st.n, st.idFlag, st.id));
    std::vector<int32_t> ids;
    for (const auto& p : scene.m_Pictures) ids.push_back(p->picture.m_bIdFlag ? p->picture.m_nPictureId : 0);
    EXPECT_EQ(ids, st.shown) << st.n << " " << st.idFlag << " " << st.id;
  }
  s.Frames(2);  // a missing bitmap draws nothing and the stage runs on
}

// The hero alone on a floor, with the drawing switches put back afterwards.
struct HeroOnStage {
  ScopedGameData data;
  StageBuilder builder = std::move(StageBuilder(20, 15).Floor(10, 0, 19).Hero(5, 9));
  StageSession session{builder};
  const cDrawSwitches saved = g_DrawSwitches;
  ~HeroOnStage() { g_DrawSwitches = saved; }
};

// A picture shown on the hero follows it while the project's switch is on;
// off, it stays on the spot of the stage where it was shown.
TEST(EffectAndPictureCommands, PicturesFollowTheHeroOnlyWhileTheSwitchIsOn) {
  HeroOnStage stage;
  ASSERT_TRUE(stage.session.Loaded());
  cStageScene& scene = stage.session.Scene();
  cCharacter& c = scene.Hero();
  for (int32_t follow : {1, 0}) {
    g_DrawSwitches.picturesFollowObjects = follow;
    // Picture 1 (no bitmap: no size) on the hero, 6 dots right and 10
    // up of its centre, until the stage ends.
    ExecutePicture(c, Words(kCmdShowPicture, {1, kPictureOnHero, 0, 0, 6, static_cast<uint32_t>(-10), 0, 100,
                                              kPictureUntilStageEnd, 0, 0, 0, 0, 0, 0}));
    ASSERT_EQ(scene.m_Pictures.size(), 1u);
    const cPicture& p = scene.m_Pictures.front()->picture;
    const int32_t sx = static_cast<int32_t>(scene.m_ScrollX.position);
    const int32_t sy = static_cast<int32_t>(scene.m_ScrollY.position);
    const int32_t x = static_cast<int32_t>(c.m_dX + c.m_nWidth / 2.0) + 6 - sx;
    const int32_t y = static_cast<int32_t>(c.m_dY + c.m_nHeight / 2.0) - 10 - sy;
    scene.DrawPictures(nullptr, 0, 0);
    EXPECT_EQ(std::pair(p.m_nDrawnX, p.m_nDrawnY), std::pair(x, y)) << follow;
    c.m_dX += 64;
    c.m_dY -= 32;
    scene.DrawPictures(nullptr, 0, 0);
    EXPECT_EQ(std::pair(p.m_nDrawnX, p.m_nDrawnY), follow ? std::pair(x + 64, y - 32) : std::pair(x, y));
    EXPECT_EQ(p.m_bShown, 0) << "nothing drawn without a bitmap";
    c.m_dX -= 64;
    c.m_dY += 32;
    ExecutePicture(c, PictureCommand(0, 0, 0));
  }
}

// With pictures that do not follow their objects, a picture on the hero
// keeps the place the hero gave it: at the command, or, when the project
// leaves the place to the drawing, at the picture's first drawing.
TEST(EffectAndPictureCommands, APictureOnTheHeroTakesItsPlaceAtTheCommandOrAtItsFirstDrawing) {
  HeroOnStage stage;
  ASSERT_TRUE(stage.session.Loaded());
  cStageScene& scene = stage.session.Scene();
  cCharacter& c = scene.Hero();
  g_DrawSwitches.picturesFollowObjects = 0;
  for (int32_t atDrawing : {0, 1}) {
    SCOPED_TRACE(atDrawing);
    g_DrawSwitches.picturePosition = atDrawing;
    ExecutePicture(c, Words(kCmdShowPicture, {1, kPictureOnHero, 0, 0, 0, 0, 0, 100, kPictureUntilStageEnd, 0, 0, 0,
                                              0, 0, 0}));
    ASSERT_EQ(scene.m_Pictures.size(), 1u);
    const cPicture& p = scene.m_Pictures.front()->picture;
    const int32_t sx = static_cast<int32_t>(scene.m_ScrollX.position);
    const int32_t sy = static_cast<int32_t>(scene.m_ScrollY.position);
    const int32_t x = static_cast<int32_t>(c.m_dX + c.m_nWidth / 2.0) - sx;
    const int32_t y = static_cast<int32_t>(c.m_dY + c.m_nHeight / 2.0) - sy;
    c.m_dX += 64;  // the hero moves before the picture is first drawn
    scene.DrawPictures(nullptr, 0, 0);
    const int32_t taken = atDrawing ? x + 64 : x;
    EXPECT_EQ(std::pair(p.m_nDrawnX, p.m_nDrawnY), std::pair(taken, y));
    c.m_dX += 32;  // and later on: the picture stays
    scene.DrawPictures(nullptr, 0, 0);
    EXPECT_EQ(std::pair(p.m_nDrawnX, p.m_nDrawnY), std::pair(taken, y));
    c.m_dX -= 96;
    ExecutePicture(c, PictureCommand(0, 0, 0));
  }
}

// A zoomed effect object is stretched from its effect's second surface,
// the copy kept for zoomed drawing, unless DirectDraw draws with the
// project's low-colour option (system number #9 read for it): then from the
// picture itself. An effect at its cell size is drawn from the picture. The
// two surfaces are painted apart here to tell them from each other.
TEST(EffectObject, ZoomedObjectsStretchTheZoomCopyUnlessLowColourDirectDraw) {
  ScopedGameData data;
  Database.m_Effects.assign(2, cEffectRecord());
  Database.m_Effects[1].m_nValue2 = Database.m_Effects[1].m_nValue3 = 32;
  Database.m_Effects[1].m_Frames.push_back(cIntPair(0, 10));
  PrepareDatabaseTables();
  const cDrawSwitches saved = g_DrawSwitches;
  const cSystemData savedSystem = SystemData;
  const struct {
    uint32_t d3d;
    int32_t lowColour, width;
    bool fromCopy;
  } cases[] = {{0, 0, 32, false}, {0, 0, 64, true}, {0, 1, 64, false},
               {1, 0, 32, false}, {1, 0, 64, true}, {1, 1, 64, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.d3d) + " " + std::to_string(c.lowColour) + " " + std::to_string(c.width));
    StageBuilder b(20, 15);
    b.Floor(10, 0, 19).Hero(5, 9);
    SystemData.SetNum(9, c.lowColour);
    StageSession s(b, 32, c.d3d);
    ASSERT_TRUE(s.Loaded());
    cStageScene& scene = s.Scene();
    cSafeVector<DDSURFACEDATA>& sheets = scene.m_Layers.m_Bitmaps.m_Effects;
    DDReleaseSurfaces(sheets);
    sheets.resize(2);
    for (size_t k = 0; k < 2; ++k) {
      ASSERT_TRUE(DDCreateSurface(&sheets[k], 32, 32, 1, 0, 0, 0, 0));
      DDFillRect(&sheets[k], 0, 0, 32, 32, 40 + static_cast<uint32_t>(k));
    }
    const double x = scene.m_ScrollX.position + 100, y = scene.m_ScrollY.position + 100;
    scene.m_Effects.push_back(cEffectObject::At(1, x, y, c.width, c.width, 0));
    DDFillRect(DDBackBuffer(), 0, 0, 640, 480, 0);
    scene.DrawEffectObjects(DDBackBuffer(), 1);
    EXPECT_EQ(Pixel(DDBackBuffer(), 110, 110) & 0xFFFFFF, PalNumToRGB(c.fromCopy ? 41 : 40) & 0xFFFFFF);
    DDReleaseSurfaces(sheets);
  }
  SystemData = savedSystem;
  g_DrawSwitches = saved;
}

}  // namespace
