// The boxes the runtime sizes to their text keep the frame margin between
// the text (and a cursor on its rows) and the frame's left and right sides;
// the one-line and question boxes keep it above and below the text too.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "data/system_data.h"
#include "front/menu_frame.h"
#include "front/menu_scene.h"
#include "gfx/game_fonts.h"
#include "platform/text.h"
#include "scene/ranking_draw.h"
#include "support/display.h"

namespace {

constexpr uint32_t kInk = 241, kBack = 3, kFrame = 240;

TEST(FrameMarginTest, TextKeepsTheMarginFromTheFramesSides) {
  DisplaySandbox display;
  ASSERT_TRUE(DDInit(0, 0, 640, 480, 8, 0, 0, 1, 60, 0, nullptr, nullptr, 0));
  // The system texts, the pinned font file and the message font put back.
  struct Restore {
    cSafeVector<std::string> texts = SystemData.m_Texts;
    ~Restore() {
      GameFonts[1].Release();
      SetPinnedFontFile("");
      SystemData.m_Texts = texts;
    }
  } restore;
  SystemData.m_Texts.clear();
  for (const char* t : {"", "", "", "", "", "スコア", "残り時間", "クリア時間", "残りＨＰ", "残りＳＰ",
                        "ステージに挑む", "やっぱりやめる"})
    SystemData.m_Texts.push_back(plat::Sjis(t));
  // The message font, its frame one dot of palette 240 and no box picture.
  SetPinnedFontFile("/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf");
  ASSERT_TRUE(
      GameFonts[1].Create(plat::Sjis("ＭＳ ゴシック").c_str(), 0, 16, 16, 16, kInk, nullptr, 1, kFrame, nullptr, 1));

  const struct {
    const char* what;
    bool aboveAndBelow;  // the margin above and below as well
    std::function<void()> draw;
  } boxes[] = {
      {"a question, the cursor on its first row", true,
       [] {
         const int32_t x = SystemData.GetMenuLeft(304, 10, 2, true);
         DrawSystemTextBox(x, 260, 10, 2);
         DDFillRect(DDBackBuffer(), x, 260, 16, 16, kInk);  // the cursor's place, filled
       }},
      {"a question, the cursor on its last row", true,
       [] {
         const int32_t x = SystemData.GetMenuLeft(304, 10, 2, true);
         DrawSystemTextBox(x, 260, 10, 2);
         DDFillRect(DDBackBuffer(), x, 276, 16, 16, kInk);
       }},
      {"a world's name", true, [] { DrawCentredTextBox(304, 184, plat::Sjis("■はじまりの草原■")); }},
      {"a box of a given width", true,
       [] { DrawCentredTextBox(320, 260, plat::Sjis("■■■"), 4 * 16); }},
      {"the play record, every genre", false,
       [] {
         const uint32_t on[5] = {1, 1, 1, 1, 1};
         const int32_t values[5] = {9999999, 999, 599999, 1000, 1000};
         cFontRankingPainter painter(DDBackBuffer(), GameFonts[1], nullptr);
         DrawPlayRecordBox(painter, 336, 224, on, nullptr, values);
       }},
  };
  for (const auto& box : boxes) {
    SCOPED_TRACE(box.what);
    DDFillRect(DDBackBuffer(), 0, 0, 640, 480, kBack);
    box.draw();
    // The outermost columns and rows of the frame and of everything else
    // drawn.
    int frameLeft = 640, frameRight = -1, inkLeft = 640, inkRight = -1;
    int frameTop = 480, frameBottom = -1, inkTop = 480, inkBottom = -1;
    {
      cSurfaceLock lock(DDBackBuffer(), true);
      ASSERT_TRUE(lock.Locked());
      for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
          const uint8_t p = lock.Bits()[static_cast<size_t>(y) * lock.Pitch() + x];
          if (p == kBack) continue;
          int& left = p == kFrame ? frameLeft : inkLeft;
          int& right = p == kFrame ? frameRight : inkRight;
          left = std::min(left, x);
          right = std::max(right, x);
          int& top = p == kFrame ? frameTop : inkTop;
          int& bottom = p == kFrame ? frameBottom : inkBottom;
          top = std::min(top, y);
          bottom = std::max(bottom, y);
        }
    }
    ASSERT_LT(frameLeft, frameRight) << "a frame is drawn";
    ASSERT_LE(inkLeft, inkRight) << "a text is drawn";
    EXPECT_GE(inkLeft, frameLeft + 1 + kFrameTextMargin);
    EXPECT_LE(inkRight, frameRight - 1 - kFrameTextMargin);
    if (!box.aboveAndBelow) continue;
    EXPECT_GE(inkTop, frameTop + 1 + kFrameTextMargin);
    EXPECT_LE(inkBottom, frameBottom - 1 - kFrameTextMargin);
  }
}

}  // namespace
