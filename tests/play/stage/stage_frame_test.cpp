// The whole stage frame as DrawFrame draws it, headless, in every display
// mode: a screen effect moves the full 640 x 480 picture through the two
// screen-sized work surfaces of the surface table (no band of the tile work
// surfaces' width left behind), and the layers come in their order (the
// pictures behind the objects under the blocks, the front pictures over the
// sight mask).
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "../../gfx/surface_pixels.h"
#include "data/database.h"
#include "data/effect_runs.h"
#include "gfx/surface_table.h"
#include "play/objects/hero.h"
#include "play/objects/picture.h"
#include "play/world/screen_effect.h"
#include "play/world/stage_draw.h"
#include "play/world/stage_scene.h"
#include "scene/play_record.h"
#include "scene/scene.h"
#include "support/game_data.h"
#include "support/stage_builder.h"

namespace {

struct Mode {
  const char* name;
  uint32_t d3d;
  int32_t bpp;
};
const Mode kModes[] = {{"DD8", 0, 8}, {"DD16", 0, 16}, {"DD32", 0, 32}, {"D3D16", 1, 16}, {"D3D32", 1, 32}};

constexpr int W = 640, H = 480;
constexpr uint32_t kUncovered = 16;  // palette of what no effect covers

// A stage scene on a display of one mode, with the surface-table entries
// that the frame draws from made as the table gives them, and the pixels
// the player is shown read back.
class Frame {
 public:
  // The stage: 20 x 15 blocks, a floor, the hero at its left and one block
  // at (5, 5), which lies at (160, 160) of the screen.
  explicit Frame(const Mode& m) : builder_(20, 15) {
    builder_.Floor(14, 0, 19).Hero(1, 13).Block(5, 5);
    session_ = std::make_unique<StageSession>(builder_, m.bpp, m.d3d);
    // Palette numbers 16..47 give 32 colours that stay apart in every depth
    // (a 16-bit DirectDraw palette holds channels already in the display's
    // ranges).
    const bool reduced = !m.d3d && m.bpp == 16;
    for (int i = 0; i < 256; ++i) {
      const uint8_t r = static_cast<uint8_t>((i & 31) << (reduced ? 0 : 3));
      DDState.DDPalette[i] =
          PALETTEENTRY{r, static_cast<uint8_t>(reduced ? 25 : 100), static_cast<uint8_t>(reduced ? 6 : 50), 0};
    }
    DDState.DDPalette[0] = PALETTEENTRY{0, 0, 0, 0};  // the transparent colour, as the display's key
  }
  ~Frame() {
    for (int id : made_) DDReleaseSurface(&GameSurfaces[id]);
  }
  bool Loaded() const { return session_->Loaded(); }
  cStageScene& Scene() { return session_->Scene(); }
  // Entry `id` of the surface table, empty, at the size its settings give
  // (or the size asked for a picture entry).
  DDSURFACEDATA* Make(int id, int w = 0, int h = 0) {
    const DDSURFACEINFO& info = GameSurfaceInfo[id];
    DDSURFACEDATA* sd = &GameSurfaces[id];
    EXPECT_TRUE(DDCreateSurface(sd, w ? w : info.nWidth, h ? h : info.nHeight, info.bColorKey, info.dwDDMemType,
                                info.dwD3DMemType, 0, 0))
        << id;
    made_.push_back(id);
    return sd;
  }
  // The screen as it would be presented (in Direct3D, the virtual back
  // buffer while it is on).
  std::vector<uint32_t> Shown() {
    if (lpDTCon && lpDTCon->bVirtualBackBuffer) DDCopyVirtualBackBuffer(DDBackBuffer(), DDVirBackBuffer());
    return SurfacePixels(DDBackBuffer(), 0, 0, W, H);
  }
  // The stored pixel of palette number n on the back buffer.
  uint32_t Colour(uint32_t n) {
    DDFillRect(DDBackBuffer(), 0, 0, 1, 1, n);
    return Pixel(DDBackBuffer(), 0, 0);
  }
 private:
  StageBuilder builder_;
  std::unique_ptr<StageSession> session_;
  std::vector<int> made_;
};

class StageFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = Database.m_ScrEffects;
    saved2_ = Database.m_ScrEffects2;
    runs_ = ScreenEffectRuns;
    runs2_ = ScreenEffectRunsReversed;
  }
  void TearDown() override {
    Database.m_ScrEffects = saved_;
    Database.m_ScrEffects2 = saved2_;
    ScreenEffectRuns = runs_;
    ScreenEffectRunsReversed = runs2_;
    PointEffectRunsIntoTheDatabase();  // the lists put back may stand elsewhere
  }
  // Screen effect 1 of both lists is `kind` with `p`; the runs are rebuilt.
  static void Define(int32_t kind, const std::array<int32_t, 5>& p) {
    Database.m_ScrEffects.assign(2, cScrEffectRecord());
    Database.m_ScrEffects[1].m_nKind = kind;
    for (int i = 0; i < 5; ++i) Database.m_ScrEffects[1].m_nParams[i] = p[static_cast<size_t>(i)];
    Database.m_ScrEffects2 = Database.m_ScrEffects;
    BuildScrEffectTable(ScreenEffectRuns, ScreenEffectRunsReversed);
  }
  cSafeVector<cScrEffectRecord> saved_, saved2_;
  std::vector<cScreenEffectRun> runs_, runs2_;
};

// The stage's background: sixteen stripes of 40 dots (palette 20..35)
// crossed by a line of palette 17 in every eighth column (x mod 8 = 3) and
// one of palette 18 in every sixteenth row (y mod 16 = 7); the work surfaces
// of stage play are made as the table gives them, the two tile work
// surfaces (256 x 960) among them.
void PaintStage(Frame& f) {
  DDSURFACEDATA* bg = f.Make(SURF_BACKGROUND_FIRST, W, H);
  for (int i = 0; i < 16; ++i) DDFillRect(bg, i * 40, 0, 40, H, 20 + i);
  for (int x = 3; x < W; x += 8) DDFillRect(bg, x, 0, 1, H, 17);
  for (int y = 7; y < H; y += 16) DDFillRect(bg, 0, y, W, 1, 18);
  for (int id = SURF_EMPTY_FIRST; id < SURF_EMPTY_FIRST + 4; ++id) f.Make(id);
  StageData.m_Backgrounds.assign(1, cStageBackground());
  StageData.m_Backgrounds[0].m_dScrollSpeedX = 0.0;  // shown, behind, fixed to the screen
  StageData.m_Backgrounds[0].m_dScrollSpeedY = 0.0;
}

TEST_F(StageFrameTest, ScreenEffectsMoveTheWholeFrameInEveryMode) {
  for (const Mode& m : kModes) {
    SCOPED_TRACE(m.name);
    Frame f(m);
    ASSERT_TRUE(f.Loaded());
    PaintStage(f);
    cStageScene& scene = f.Scene();
    const uint32_t fill = f.Colour(kUncovered);
    scene.DrawFrame(1, 0, 0, 0);
    const std::vector<uint32_t> still = f.Shown();
    auto at = [](const std::vector<uint32_t>& px, int x, int y) { return px[static_cast<size_t>(y) * W + x]; };
    ASSERT_NE(at(still, 3, 200), at(still, 4, 200));
    ASSERT_NE(at(still, 300, 200), at(still, 420, 200));

    // A shake of 5 dots, 15 shakes in a second: the first frame is drawn in
    // place, the second 5 dots to the right with a band of 5 at the left.
    Define(kScrShakeX, {10, 5, 15, 0, 0});
    scene.m_ScreenEffect.Start(1, 0, 0);
    scene.DrawFrame(1, 0, 0, 0);
    scene.DrawFrame(1, 0, 0, 0);
    if (m.d3d) {
      EXPECT_EQ(lpDTCon->bVirtualBackBuffer, 1u) << "the effect draws from the virtual back buffer";
    }
    std::vector<uint32_t> px = f.Shown();
    for (int y : {0, 7, 200, 479}) {
      for (int x = 0; x < 5; ++x) ASSERT_EQ(at(px, x, y), fill) << x << "," << y;
      for (int x = 5; x < W; ++x) ASSERT_EQ(at(px, x, y), at(still, x - 5, y)) << x << "," << y;
    }

    // A mosaic of 8-dot squares: every square one colour, over the whole
    // screen, and the lines inside the squares gone.
    Define(kScrMosaic, {10, 8, 8, 0, 0});
    scene.m_ScreenEffect.Start(1, 0, 0);
    scene.DrawFrame(1, 0, 0, 0);
    px = f.Shown();
    for (int y = 0; y < H; y += 24)
      for (int x = 0; x < W; x += 8) {
        const uint32_t square = at(px, x & ~7, y & ~7);
        ASSERT_NE(square, fill) << x << "," << y;
        for (int dx = 0; dx < 8; ++dx) ASSERT_EQ(at(px, x + dx, y), square) << x + dx << "," << y;
        ASSERT_NE(at(px, x + 3, y), at(still, x + 3, y)) << "the line at " << x + 3 << "," << y;
      }

    // The other transforming kinds: the left part keeps the picture's
    // stripes (no flat band) and the right part changes.
    struct Kind {
      const char* name;
      int32_t kind;
      std::array<int32_t, 5> p;
    };
    const Kind kinds[] = {{"shift", kScrShift, {10, 20, 10, 20, 10}}, {"shake y", kScrShakeY, {10, 5, 15, 0, 0}},
                          {"split x", kScrSplitX, {10, 12, 12, 15, 0}}, {"split y", kScrSplitY, {10, 12, 12, 20, 0}},
                          {"wave x", kScrWaveX, {10, 20, 20, 4, 8}},   {"wave y", kScrWaveY, {10, 20, 20, 4, 10}},
                          {"rotate", kScrRotate, {10, 180, 180, 0, 0}}, {"zoom", kScrZoom, {10, 1280, 1280, 0, 0}},
                          {"lens", kScrLens, {10, 200, 200, 0, 0}}};
    for (const Kind& k : kinds) {
      SCOPED_TRACE(k.name);
      Define(k.kind, k.p);
      scene.m_ScreenEffect.Start(1, 0, 0);
      scene.DrawFrame(1, 0, 0, 0);
      scene.DrawFrame(1, 0, 0, 0);
      px = f.Shown();
      std::set<uint32_t> left;
      int changed = 0;
      for (int y = 100; y < 400; ++y) {
        if (y % 10 == 0)
          for (int x = 0; x < 256; ++x) left.insert(at(px, x, y));
        for (int x = 256; x < W; ++x) changed += at(px, x, y) != at(still, x, y);
      }
      EXPECT_GE(left.size(), 4u);
      EXPECT_GT(changed, 0);
    }

    // At its end the effect lets go of the virtual back buffer and the frame
    // is the stage again.
    Define(kScrShakeX, {1, 5, 1, 0, 0});
    scene.m_ScreenEffect.Start(1, 0, 0);
    for (int i = 0; i < 20 && scene.m_ScreenEffect.Running(); ++i) scene.DrawFrame(1, 0, 0, 0);
    EXPECT_FALSE(scene.m_ScreenEffect.Running());
    if (m.d3d) {
      EXPECT_EQ(lpDTCon->bVirtualBackBuffer, 0u);
    }
    scene.DrawFrame(1, 0, 0, 0);
    EXPECT_EQ(f.Shown(), still);
  }
}

// A picture of the picture command, `w` x `h` of palette `pal`, its
// top-left at (x, y) of the screen, behind the objects (layer 0) or in front.
void ShowPicture(cStageScene& scene, int32_t layer, int x, int y, int w, int h, uint32_t pal) {
  auto shown = std::make_shared<cShownPicture>();
  ASSERT_TRUE(DDCreateSurface(&shown->surface, w, h, 1, 0, 0, 0, 0));
  DDFillSurface(&shown->surface, pal);
  shown->loaded = true;
  // Centred on the screen with offsets, held until the stage ends, placed
  // again every frame.
  shown->picture.Set(1, kPictureAtCentre, 0, 0, x + w / 2 - 320, y + h / 2 - 240, w, h, 1, layer, 100,
                     kPictureUntilStageEnd, 0, 0, 0, 0, 0);
  scene.m_Pictures.push_back(shown);
}

TEST_F(StageFrameTest, PicturesLieBehindTheBlocksOrInFrontOfTheSightMask) {
  for (const Mode& m : {kModes[2], kModes[4]}) {
    SCOPED_TRACE(m.name);
    Frame f(m);
    ASSERT_TRUE(f.Loaded());
    cStageScene& scene = f.Scene();
    DDFillSurface(f.Make(SURF_BACKGROUND_FIRST, W, H), 20);
    StageData.m_Backgrounds.assign(1, cStageBackground());
    StageData.m_Backgrounds[0].m_dScrollSpeedX = StageData.m_Backgrounds[0].m_dScrollSpeedY = 0.0;
    DDFillSurface(f.Make(SURF_BLOCK, 480, 320), 21);  // every block of palette 21
    DDFillSurface(f.Make(SURF_BLOCK_SYSTEM, 480, 320), 21);
    scene.m_ScrollX.position = scene.m_ScrollY.position = 320.0;  // the stage's top-left corner
    ShowPicture(scene, 0, 144, 144, 96, 96, 22);  // behind, around the block's cell
    ShowPicture(scene, 1, 400, 100, 64, 64, 23);  // in front, far from the hero
    const uint32_t background = f.Colour(20), block = f.Colour(21), behind = f.Colour(22), front = f.Colour(23),
                   dark = f.Colour(16);
    auto frame = [&] {
      scene.DrawFrame(1, 0, 0, 0);
      return f.Shown();
    };
    auto at = [](const std::vector<uint32_t>& px, int x, int y) { return px[static_cast<size_t>(y) * W + x]; };
    std::vector<uint32_t> px = frame();
    EXPECT_EQ(at(px, 170, 170), block) << "the block over the picture behind the objects";
    EXPECT_EQ(at(px, 150, 150), behind);
    EXPECT_EQ(at(px, 420, 120), front);
    EXPECT_EQ(at(px, 600, 50), background);
    // A sight of one block around the hero (the square shape): the darkness
    // covers the block and the picture behind, not the one in front.
    cHero& hero = scene.Hero();
    hero.Definition().m_nParam38 = 3;
    hero.m_nSight = 32;
    scene.BuildHeroSightMask();
    px = frame();
    EXPECT_EQ(at(px, 420, 120), front) << "the front picture over the sight mask";
    EXPECT_EQ(at(px, 150, 150), dark);
    EXPECT_EQ(at(px, 170, 170), dark);
    EXPECT_EQ(at(px, 48, 420), background) << "the hero's sight";
  }
}

// The words of the start banners, the result and the game-over strip and
// the digits of the stage number are read from the word picture in the
// layout of its strips; the cursor picture (which holds other things at
// the same places) is not drawn from.
TEST_F(StageFrameTest, BannersAndStripsComeFromTheWordPicture) {
  for (const Mode& m : {kModes[2], kModes[4]}) {
    SCOPED_TRACE(m.name);
    Frame f(m);
    ASSERT_TRUE(f.Loaded());
    cStageScene& scene = f.Scene();
    DDSURFACEDATA* words = f.Make(SURF_WORD, 320, 160);
    DDFillRect(words, 0, 0, 128, 32, 24);    // the stage strip
    DDFillRect(words, 160, 0, 80, 32, 25);   // the second start banner
    DDFillRect(words, 0, 32, 128, 32, 26);   // the replay strip
    DDFillRect(words, 0, 64, 128, 32, 27);   // the clear strip
    DDFillRect(words, 0, 96, 144, 32, 28);   // the game-over strip
    for (int d = 0; d < 10; ++d) DDFillRect(words, d * 32, 128, 32, 32, 36 + d);
    DDFillSurface(f.Make(SURF_ACCESSORY, 320, 192), 30);
    StageData.m_Backgrounds.assign(1, cStageBackground());
    StageData.m_Backgrounds[0].m_nSource = 1;  // a fill of palette 20
    StageData.m_Backgrounds[0].m_nLayer2 = 20;
    StageData.Int(kStageBannerOn) = StageData.Int(kStageSecondBannerOn) = 1;
    StageData.Int(kStageResultBannerOn) = StageData.Int(kStageGameOverStripOn) = 1;
    SaveData.m_nStage = 3;
    auto shown = [&](int x, int y) {
      const std::vector<uint32_t> px = f.Shown();
      return px[static_cast<size_t>(y) * W + x];
    };
    auto run = [&](int32_t mode, int frames) {
      scene.m_nMode = mode;
      scene.m_nSubState = 0;
      for (int i = 0; i < frames; ++i) scene.Run();
    };
    // The stage strip at (256, 224) and the stage's number right of it; 80
    // frames later the second banner at (280, 224).
    run(kStageModeBanner, 1);
    EXPECT_EQ(shown(300, 240), f.Colour(24));
    EXPECT_EQ(shown(400, 240), f.Colour(39));
    run(kStageModeBanner, 80);
    EXPECT_EQ(shown(300, 240), f.Colour(25));
    EXPECT_EQ(shown(260, 240), f.Colour(20));
    // A replay's banner.
    scene.m_nBannerCounter = 0;
    SceneManager.m_nLastTitleAction = kTitleReplay;
    run(kStageModeBanner, 1);
    EXPECT_EQ(shown(300, 240), f.Colour(26));
    SceneManager.m_nLastTitleAction = kTitleFreePlay;
    // Game over: the strip at (248, 224).
    run(kStageModeGameOver, 1);
    EXPECT_EQ(shown(380, 240), f.Colour(28));
    // The result: the clear strip at (256, 192), whole once it has slid in.
    run(kStageModeResult, 30);
    EXPECT_EQ(shown(300, 200), f.Colour(27));
    EXPECT_EQ(shown(383, 223), f.Colour(27));
  }
}

}  // namespace
