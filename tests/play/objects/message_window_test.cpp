// Message windows: text expansion, placement, and the flow waiting on a window.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "../../gfx/surface_pixels.h"
#include "data/labels.h"
#include "gfx/game_fonts.h"
#include "platform/keys.h"
#include "platform/text.h"
#include "play/commands/commands.h"
#include "play/objects/hero.h"
#include "play/objects/message_window.h"
#include "play/world/stage_scene.h"
#include "scene/play_record.h"
#include "scene/scene.h"
#include "support/display.h"
#include "support/stage_builder.h"

namespace {

bool TestVariables(bool common, int32_t n, int32_t& value) {
  if (common && n == 5) value = 42;
  else if (common && n == 6) value = -7;
  else if (common && n == 12) value = 0;
  else if (!common && n == 3) value = 9;
  else return false;  // not there: the reference stays
  return true;
}

}  // namespace

TEST(MessageWindow, ExpandsVariableReferences) {
  const std::string pair = "\x82\xa0";
  const struct {
    std::string text, shown;
  } cases[] = {
      {"#C5", "42"},         {"#C5_4", "  42"},      {"#c5_z4", "0042"},     {"#C5_P", "+42"},
      {"#C6_3", "-  7"},     {"#C0", "#C0"},         {"#C1001", "#C1001"},   {"#C12", "0"},
      {"#C12_3", "  0"},     {"#C12_Z3", "000"},     {"#C5.3", "423"},       {"#S3_P2", "+ 9"},
      {"#C7", "#C7"},        {"#5", "#5"},           {"#C", "#C"},           {"#C99999999999", "#C99999999999"},
      {"a#C5b", "a42b"},     {"\x82#C5", "\x82#C5"}, {"x\x82", "x\x82"},     {"#C5_39", "       42"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ExpandMessageText(c.text, TestVariables), c.shown);
  }
  // Long texts are cut, never inside a two-byte character.
  EXPECT_EQ(ExpandMessageText(std::string(5000, '#') , TestVariables).size(), kMaxMessageTextBytes);
  std::string wide = "a";
  for (int i = 0; i < 3000; ++i) wide += pair;
  EXPECT_EQ(ExpandMessageText(wide, TestVariables).size(), kMaxMessageTextBytes - 1);
  EXPECT_EQ(BoundMessageText(wide).size(), kMaxMessageTextBytes - 1);
}

TEST(MessageWindow, PlacesItselfAndKeepsOnScreen) {
  const cMessageAnchor hero{200, 300, 32, 32, 4, 2};
  const cMessageView view{100.7, 40.2, 10, 10};
  const struct {
    int32_t mode, fix, keep, offsetX, offsetY, x, y;
  } cases[] = {
      {0, 1, 0, 0, 0, 270, 230},    {1, 0, 0, 0, 0, 162, 278},  {5, 0, 0, 0, 0, 162, 331},
      {6, 0, 0, 3, -1, 165, 303},   {7, 1, 0, 5, 0, 69, 96},    {8, 0, 0, 0, 0, 251, 311},
      {0, 1, 1, 330, 0, 540, 230},  {0, 1, 1, 269, 0, 540, 230}, {0, 1, 1, 268, 0, 538, 230},
      {0, 1, 1, -400, -300, 0, 20}, {0, 1, 1, 0, 239, 270, 460},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.mode << " " << c.offsetX << " " << c.offsetY);
    cMessageSettings s;
    s.style = kMessageInvisible;  // sized by hand below
    s.positionMode = c.mode;
    s.column = c.mode == 8 ? 1 : 2;
    s.row = c.mode == 8 ? 1 : 3;
    s.offsetX = c.offsetX;
    s.offsetY = c.offsetY;
    s.fixPosition = c.fix;
    s.keepOnScreen = c.keep;
    cMessageWindow w(s);
    w.m_nWidth = 100;
    w.m_nHeight = 20;
    int32_t x = 0, y = 0;
    w.Place(view, &hero, x, y);
    EXPECT_EQ(std::pair(x, y), std::pair(c.x, c.y));
  }
  // A screen window not fixed rides with the stage from where it opened.
  cMessageSettings s;
  s.style = kMessageInvisible;
  cMessageWindow pinned(s);
  pinned.m_nWidth = 100;
  pinned.m_nHeight = 20;
  int32_t x = 0, y = 0;
  pinned.Place(cMessageView{10.3, 0, 0, 0}, nullptr, x, y);
  EXPECT_EQ(std::pair(x, pinned.m_nTakenX), std::pair(270, 280));
  pinned.Place(cMessageView{20.3, 0, 0, 0}, nullptr, x, y);
  EXPECT_EQ(x, 260);
}

// The message command holds the flow: until decide (after the 10-frame
// delay unless continued), or for its time; the window is up meanwhile and
// gone afterwards.
TEST(MessageWindow, TheCommandWaitsForDecideOrItsTime) {
  const struct {
    int32_t display, tenths, continued, pressAt, paced, sound;
  } cases[] = {
      {kMessageUntilDecide, 0, 0, 20, 20, 1},
      {kMessageUntilDecide, 0, 1, 5, 5, 0},
      {kMessageTimed, 1, 0, 0, 7, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.display * 10 + c.continued);
    StageBuilder b(20, 15);
    b.Floor(10, 0, 19).Hero(4, 9);
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    static int paced, pressAt;
    static size_t windowsSeen;
    paced = 0;
    pressAt = c.pressAt;
    windowsSeen = 0;
    auto* savedPacer = cStageScene::s_pWaitPacer;
    cStageScene::s_pWaitPacer = [] {
      if (++paced == pressAt) plat::SetKeyState('Z', true);
      if (cStageScene* scene = CurrentStageScene()) windowsSeen = std::max(windowsSeen, scene->m_MessageWindows.size());
    };
    cEdCmd command;
    command.m_nKind = kCmdMessage;
    command.m_strText = "HP #C5";
    command.m_vParams = std::vector<uint32_t>(18, 0);
    command.m_vParams[6] = static_cast<uint32_t>(c.display);
    command.m_vParams[7] = static_cast<uint32_t>(c.tenths);
    command.m_vParams[8] = 1;
    const size_t soundsBefore = s.Sounds().size();
    ExecuteMessage(s.Scene().Hero(), command, c.continued);
    cStageScene::s_pWaitPacer = savedPacer;
    plat::SetKeyState('Z', false);
    EXPECT_EQ(paced, c.paced);
    EXPECT_EQ(windowsSeen, 1u);
    EXPECT_TRUE(s.Scene().m_MessageWindows.empty());
    const auto& sounds = s.Sounds();
    EXPECT_EQ(std::count(sounds.begin() + static_cast<long>(soundsBefore), sounds.end(), kSoundMessage), c.sound);
  }
}

// A timed window of 30 frames is drawn on 30 frames and finished by the
// 31st counting update (still frames count only with keep-counting); a
// window whose character is gone finishes; refresh follows a variable.
TEST(MessageWindow, UpdateFinishesAndRefreshes) {
  StageBuilder b(20, 15);
  b.Floor(10, 0, 19).Hero(4, 9);
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  const struct {
    int32_t keepCounting, still, updates;
  } timed[] = {{0, 0, 31}, {1, 1, 31}, {0, 1, -1}};
  for (const auto& c : timed) {
    cMessageSettings settings;
    settings.style = kMessageInvisible;
    settings.displayMode = kMessageTimed;
    settings.remainingFrames = 30;
    settings.keepCounting = c.keepCounting;
    cMessageWindow w(settings);
    int32_t updates = -1;
    for (int32_t i = 1; i <= 40 && updates < 0; ++i)
      if (w.Update(nullptr, c.still)) updates = i;
    EXPECT_EQ(updates, c.updates) << c.keepCounting << c.still;
  }
  cMessageSettings follow;
  follow.positionMode = 1;
  follow.followedId = s.Scene().Hero().m_nId;
  follow.keepOnScreen = 1;
  cMessageWindow following(follow);
  EXPECT_FALSE(following.Update(nullptr, 0));
  EXPECT_GE(following.m_nDrawnY, 20);
  // A pop-up over the hero rises a dot every 4 frames.
  cMessageSettings popUp = follow;
  popUp.style = kMessageIcon;
  popUp.fixPosition = popUp.keepCounting = 1;
  popUp.displayMode = kMessageTimed;
  popUp.remainingFrames = kMessagePopUpFrames;
  cMessageWindow icon(popUp);
  std::vector<int32_t> rise;
  for (int32_t i = 1; i <= 30; ++i) {
    icon.Update(nullptr, 1);
    if (i == 1 || i == 4 || i == 8 || i == 30) rise.push_back(icon.m_nDrawnY);
  }
  EXPECT_EQ(rise, (std::vector<int32_t>{rise[0], rise[0] - 1, rise[0] - 2, rise[0] - 7}));
  follow.followedId = -12345;
  cMessageWindow orphan(follow);
  EXPECT_TRUE(orphan.Update(nullptr, 0));

  std::vector<int32_t>& common = SaveData.m_CommonVariables;
  const std::vector<int32_t> saved = common;
  common.assign(1001, 0);
  common[5] = 7;
  cMessageSettings counter;
  counter.text = "#C5";
  counter.expand = counter.refresh = counter.refreshInterval = 1;
  cMessageWindow refreshed(counter);
  EXPECT_EQ(refreshed.m_strShown, "7");
  common[5] = 1234;
  refreshed.Update(nullptr, 0);
  EXPECT_EQ(refreshed.m_strShown, "1234");
  common = saved;
}

// ---- the kept text surface, in both back ends ----
namespace {

struct SurfaceMode {
  const char* name;
  uint32_t d3d;
};
void PrintTo(const SurfaceMode& m, std::ostream* os) { *os << m.name; }

constexpr uint32_t kInk = 241, kUnder = 5;

// A 32-bit display whose palette colour 0 (dark blue) is not the colour key
// (magenta), with the message font made from the pinned font file.
class MessageSurfaceTest : public ::testing::TestWithParam<SurfaceMode> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(MessageSurfaces.empty());
    for (int i = 0; i < 256; ++i) DDState.DDPalette[i] = PALETTEENTRY{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    DDState.DDPalette[0] = PALETTEENTRY{20, 60, 100, 0};
    DDState.DDPalette[kInk] = PALETTEENTRY{255, 200, 40, 0};
    ASSERT_TRUE(DDInit(GetParam().d3d, 0, 640, 480, 32, 0, 1, 1, 60, 0, nullptr, nullptr, 0));
    DDSetTransmit(255, 0, 255);
    SetPinnedFontFile("/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf");
    ASSERT_TRUE(GameFonts[1].Create(plat::Sjis("ＭＳ ゴシック").c_str(), 0, 16, 8, 16, kInk, nullptr, 1, 240, nullptr,
                                    1));
  }
  void TearDown() override {
    GameFonts[1].Release();
    SetPinnedFontFile("");
  }
  static uint32_t Rgb(DDSURFACEDATA* sd, int x, int y) { return Pixel(sd, x, y) & 0xFFFFFF; }
  static uint32_t Pal(uint32_t n) {
    const PALETTEENTRY& e = DDState.DDPalette[n];
    return (uint32_t(e.peRed) << 16) | (uint32_t(e.peGreen) << 8) | e.peBlue;
  }
  // Where a window shows no text: palette colour 0 under DirectDraw; under
  // Direct3D colour 0 is the clear colour, so the screen shows through.
  static uint32_t Backing() { return GetParam().d3d ? Pal(kUnder) : Pal(0); }
  static cMessageSettings Text(const char* text) {
    cMessageSettings s;
    s.text = text;
    s.displayMode = kMessageTimed;  // no opening
    return s;
  }
  DisplaySandbox sandbox_;
};

TEST_P(MessageSurfaceTest, TheTextIsDrawnOnceIntoAKeptSurfaceOfColourZero) {
  DDSURFACEDATA* back = DDBackBuffer();
  DDFillSurface(back, kUnder);
  auto window = std::make_unique<cMessageWindow>(Text("AB"));
  ASSERT_NE(window->m_lpSurface, nullptr);
  EXPECT_EQ(std::pair(window->m_nWidth, window->m_nHeight), std::pair(18, 18));
  EXPECT_EQ(std::pair(window->m_lpSurface->nWidth, window->m_lpSurface->nHeight), std::pair(18, 18));
  EXPECT_EQ(&MessageSurfaces.front(), window->m_lpSurface);
  EXPECT_EQ(MessageSurfaceInfos.size(), MessageSurfaces.size());

  window->Draw(back, 100, 50);
  int ink = 0, backing = 0, other = 0;
  for (int y = 50; y < 68; ++y)
    for (int x = 100; x < 118; ++x) {
      const uint32_t c = Rgb(back, x, y);
      (c == Pal(kInk) ? ink : c == Backing() ? backing : other) += 1;
    }
  EXPECT_GT(ink, 20);
  EXPECT_GT(backing, 200);
  EXPECT_EQ(other, 0);
  // The one-dot border around the text is backing; nothing outside the window.
  EXPECT_EQ(std::tuple(Rgb(back, 100, 50), Rgb(back, 117, 67), Rgb(back, 99, 50), Rgb(back, 118, 67)),
            std::tuple(Backing(), Backing(), Pal(kUnder), Pal(kUnder)));

  // Every frame copies the kept surface; the text is drawn into it again
  // only when it lost its contents.
  DDFillRect(window->m_lpSurface, 0, 0, 1, 1, 9);
  DDFillSurface(back, kUnder);
  window->Draw(back, 100, 50);
  EXPECT_EQ(Rgb(back, 100, 50), Pal(9));
  window->m_lpSurface->bLost = 1;
  DDFillSurface(back, kUnder);
  window->Draw(back, 100, 50);
  EXPECT_EQ(Rgb(back, 100, 50), Backing());
  EXPECT_EQ(window->m_lpSurface->bLost, 0u);
}

// A lost display takes the surface's contents; the restore flags it, and
// the next frame draws the text into it again.
TEST_P(MessageSurfaceTest, ALostSurfaceGetsItsTextAgain) {
  DDSURFACEDATA* back = DDBackBuffer();
  cMessageWindow window(Text("AB"));
  DDFillSurface(back, kUnder);
  window.Draw(back, 10, 10);
  const std::vector<uint32_t> before = SurfacePixels(back, 10, 10, 18, 18);
  if (GetParam().d3d) {
    DDState.lpDevice->SimulateDeviceLoss();
    ASSERT_TRUE(DDRestoreSurface());
  } else {
    DDState.lpDD->SimulateSurfaceLoss();
    ASSERT_TRUE(RestoreLostSurfaces());
  }
  ASSERT_EQ(window.m_lpSurface->bLost, 1u);
  DDFillSurface(back, kUnder);
  window.Draw(back, 10, 10);
  EXPECT_EQ(window.m_lpSurface->bLost, 0u);
  EXPECT_EQ(SurfacePixels(back, 10, 10, 18, 18), before);
}

TEST_P(MessageSurfaceTest, ReSettingKeepsOrReplacesTheSurfaceInItsPlace) {
  auto first = std::make_unique<cMessageWindow>(Text("AB"));
  auto second = std::make_unique<cMessageWindow>(Text("CD"));
  ASSERT_EQ(MessageSurfaces.size(), 2u);
  DDSURFACEDATA* kept = first->m_lpSurface;
  first->Set(Text("EF"), 1);
  EXPECT_EQ(first->m_lpSurface, kept) << "same size, kept";
  first->Set(Text("EFGH"), 1);
  ASSERT_EQ(MessageSurfaces.size(), 2u);
  EXPECT_EQ(&MessageSurfaces.front(), first->m_lpSurface) << "a new size takes the old place";
  EXPECT_EQ(first->m_lpSurface->nWidth, 34);
  EXPECT_EQ(MessageSurfaceInfos.front().nWidth, 34) << "its settings record took the old place with it";
  EXPECT_EQ(&MessageSurfaces.back(), second->m_lpSurface);
  // Other styles keep no surface; the last windows take theirs along.
  cMessageSettings icon = Text("");
  icon.style = kMessageIcon;
  second->Set(icon);
  EXPECT_EQ(second->m_lpSurface, nullptr);
  EXPECT_EQ(MessageSurfaces.size(), 1u);
  first.reset();
  EXPECT_TRUE(MessageSurfaces.empty());
  EXPECT_TRUE(MessageSurfaceInfos.empty());
}

// On the running stage: a refresh that changes the number of digits makes a
// new surface of the new size in the old one's place; a timed window gives
// its surface back when its time is over.
TEST(MessageWindow, RefreshRemakesTheSurfaceInPlaceAndTheEndGivesItBack) {
  StageBuilder b(20, 15);
  b.Floor(10, 0, 19).Hero(4, 9);
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  SetPinnedFontFile("/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf");
  ASSERT_TRUE(GameFonts[1].Create(plat::Sjis("ＭＳ ゴシック").c_str(), 0, 16, 8, 16, kInk, nullptr, 1, 240, nullptr, 1));
  std::vector<int32_t>& common = SaveData.m_CommonVariables;
  const std::vector<int32_t> saved = common;
  common.assign(1001, 0);
  common[5] = 7;
  cMessageSettings counter;
  counter.text = "#C5";
  counter.expand = counter.refresh = counter.refreshInterval = 1;
  counter.displayMode = kMessageUntilStageEnd;
  auto refreshed = std::make_unique<cMessageWindow>(counter);
  cMessageSettings brief;
  brief.text = "X";
  brief.displayMode = kMessageTimed;
  brief.remainingFrames = 1;
  auto timed = std::make_unique<cMessageWindow>(brief);
  ASSERT_EQ(MessageSurfaces.size(), 2u);
  EXPECT_EQ(refreshed->m_lpSurface->nWidth, 10);
  common[5] = 1234;
  EXPECT_FALSE(refreshed->Update(DDBackBuffer(), 0));
  EXPECT_EQ(refreshed->m_lpSurface->nWidth, 34);
  EXPECT_EQ(&MessageSurfaces.front(), refreshed->m_lpSurface);
  EXPECT_EQ(MessageSurfaces.size(), 2u);
  EXPECT_FALSE(timed->Update(DDBackBuffer(), 0)) << "its one frame";
  EXPECT_TRUE(timed->Update(DDBackBuffer(), 0));
  EXPECT_EQ(timed->m_lpSurface, nullptr);
  EXPECT_EQ(MessageSurfaces.size(), 1u);
  refreshed.reset();
  EXPECT_TRUE(MessageSurfaces.empty());
  common = saved;
  GameFonts[1].Release();
  SetPinnedFontFile("");
}

INSTANTIATE_TEST_SUITE_P(Modes, MessageSurfaceTest,
                         ::testing::Values(SurfaceMode{"DirectDraw", 0}, SurfaceMode{"Direct3D", 1}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
