#include "platform/message_box_view.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "platform/keys.h"

namespace {

using plat::IDCANCEL;
using plat::IDNO;
using plat::IDOK;
using plat::IDYES;

plat::MessageBoxSpec Spec(uint32_t type, std::string text = "Continue?", std::string title = "Title") {
  return plat::MessageBoxSpec{std::move(title), std::move(text), type};
}

plat::Frame Canvas(int w, int h, uint32_t fill) {
  plat::Frame f;
  f.width = w, f.height = h;
  f.pixels.assign(static_cast<size_t>(w) * h, fill);
  return f;
}

uint32_t Dimmed(uint32_t p) { return 0xFF000000u | ((p >> 1) & 0x7F7F7F); }

struct Box {
  int left, top, right, bottom;  // right/bottom exclusive
  void Grow(int x, int y) {
    left = std::min(left, x), top = std::min(top, y), right = std::max(right, x + 1), bottom = std::max(bottom, y + 1);
  }
};

// The rectangle the box covers: every pixel that is not the dimmed
// background.
Box FindBox(const plat::Frame& f, uint32_t background) {
  Box b{f.width, f.height, -1, -1};
  for (int y = 0; y < f.height; ++y)
    for (int x = 0; x < f.width; ++x)
      if (f.pixels[static_cast<size_t>(y) * f.width + x] != Dimmed(background)) b.Grow(x, y);
  return b;
}

TEST(MessageBoxView, ButtonsDefaultsAndCancelAnswerPerType) {
  const struct {
    uint32_t type;
    std::vector<int> buttons;
    int focus, defaultAnswer, cancelAnswer;
  } cases[] = {
      {plat::MB_OK, {IDOK}, 0, IDOK, IDOK},
      {plat::MB_OK | plat::MB_DEFBUTTON2, {IDOK}, 0, IDOK, IDOK},  // no second button
      {plat::MB_OKCANCEL, {IDOK, IDCANCEL}, 0, IDOK, IDCANCEL},
      {plat::MB_OKCANCEL | plat::MB_DEFBUTTON2, {IDOK, IDCANCEL}, 1, IDCANCEL, IDCANCEL},
      {plat::MB_YESNO | plat::MB_ICONQUESTION, {IDYES, IDNO}, 0, IDYES, IDNO},
      {plat::MB_YESNO | plat::MB_DEFBUTTON2, {IDYES, IDNO}, 1, IDNO, IDNO},
      {plat::MB_YESNOCANCEL | plat::MB_ICONWARNING, {IDYES, IDNO, IDCANCEL}, 0, IDYES, IDCANCEL},
      {plat::MB_YESNOCANCEL | plat::MB_DEFBUTTON2, {IDYES, IDNO, IDCANCEL}, 1, IDNO, IDCANCEL},
  };
  for (const auto& c : cases) {
    plat::MessageBoxView view(Spec(c.type));
    SCOPED_TRACE(c.type);
    EXPECT_EQ(view.Buttons(), c.buttons);
    EXPECT_EQ(view.Focus(), c.focus);
    EXPECT_EQ(view.DefaultAnswer(), c.defaultAnswer);
    EXPECT_EQ(view.CancelAnswer(), c.cancelAnswer);
    EXPECT_FALSE(view.Answered());

    // Enter and Space press the default button; Escape gives the cancel answer.
    for (auto [key, answer] : {std::pair{plat::VK_RETURN, c.defaultAnswer}, {plat::VK_SPACE, c.defaultAnswer},
                               {plat::VK_ESCAPE, c.cancelAnswer}}) {
      plat::MessageBoxView v(Spec(c.type));
      EXPECT_TRUE(v.HandleKey(key));
      EXPECT_EQ(v.Answer(), answer) << key;
    }
  }
}

// The standard buttons speak the game's language: Japanese unless the game
// is set to English.
TEST(MessageBoxView, ButtonsReadInTheGamesLanguage) {
  const struct {
    uint32_t type;
    bool english;
    std::vector<std::string> labels;
  } cases[] = {
      {plat::MB_YESNO, false, {"はい", "いいえ"}},
      {plat::MB_YESNO, true, {"Yes", "No"}},
      {plat::MB_OKCANCEL, false, {"OK", "キャンセル"}},
      {plat::MB_YESNOCANCEL, true, {"Yes", "No", "Cancel"}},
      {plat::MB_OK, false, {"OK"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.english ? "English" : "Japanese");
    plat::MessageBoxSpec spec = Spec(c.type);
    spec.english = c.english;
    plat::MessageBoxView view(spec);
    std::vector<std::string> labels;
    for (size_t i = 0; i < view.Buttons().size(); ++i) labels.push_back(view.ButtonText(i));
    EXPECT_EQ(labels, c.labels);
  }
}

TEST(MessageBoxView, KeyboardFocusWrapsAndLettersPressOnlyOfferedButtons) {
  plat::MessageBoxView view(Spec(plat::MB_YESNOCANCEL));
  for (auto [key, focus] : {std::pair{plat::VK_RIGHT, 1}, {plat::VK_TAB, 2}, {plat::VK_RIGHT, 0}, {plat::VK_LEFT, 2}}) {
    EXPECT_FALSE(view.HandleKey(key));
    EXPECT_EQ(view.Focus(), focus) << key;
  }
  EXPECT_FALSE(view.HandleKey('O'));   // no OK button here
  EXPECT_FALSE(view.HandleKey('A'));   // not a key the box knows
  EXPECT_FALSE(view.Answered());
  EXPECT_TRUE(view.HandleKey(plat::VK_RETURN));
  EXPECT_EQ(view.Answer(), IDCANCEL);
  // An answered box ignores further keys.
  EXPECT_TRUE(view.HandleKey('Y'));
  EXPECT_EQ(view.Answer(), IDCANCEL);

  const struct { uint32_t type; int key; int answer; } letters[] = {
      {plat::MB_YESNO, 'Y', IDYES},       {plat::MB_YESNO, 'N', IDNO},
      {plat::MB_YESNO, 'C', 0},           {plat::MB_YESNO, 'O', 0},
      {plat::MB_OK, 'O', IDOK},           {plat::MB_OK, 'Y', 0},
      {plat::MB_OKCANCEL, 'C', IDCANCEL}, {plat::MB_OKCANCEL, 'N', 0},
      {plat::MB_YESNOCANCEL, 'C', IDCANCEL},
  };
  for (const auto& l : letters) {
    plat::MessageBoxView v(Spec(l.type));
    EXPECT_EQ(v.HandleKey(l.key), l.answer != 0) << l.type << " " << static_cast<char>(l.key);
    EXPECT_EQ(v.Answer(), l.answer);
  }
}

// Clicks every second pixel of the canvas on copies of a rendered view and
// collects, per answer, the rectangle of points that gave it.
std::map<int, Box> ClickRegions(const plat::MessageBoxView& rendered, int w, int h) {
  std::map<int, Box> regions;
  for (int y = 0; y < h; y += 2)
    for (int x = 0; x < w; x += 2) {
      plat::MessageBoxView v = rendered;
      if (!v.HandleClick(x, y)) continue;
      regions.try_emplace(v.Answer(), Box{x, y, x + 1, y + 1}).first->second.Grow(x, y);
    }
  return regions;
}

TEST(MessageBoxView, MouseAnswersTheButtonsOfTheLastRender) {
  const uint32_t background = 0xFF4080C0;
  plat::MessageBoxView view(Spec(plat::MB_YESNOCANCEL, "Save the game before quitting?"));
  EXPECT_FALSE(plat::MessageBoxView(view).HandleClick(320, 240));  // no layout before a Render

  plat::Frame canvas = Canvas(640, 480, background);
  view.Render(canvas);
  const Box box = FindBox(canvas, background);
  // Centred, at the size the box asks for.
  EXPECT_EQ(std::pair(box.right - box.left, box.bottom - box.top), std::pair(view.PreferredWidth(), view.PreferredHeight()));
  EXPECT_NEAR(box.left, 640 - box.right, 1);
  EXPECT_NEAR(box.top, 480 - box.bottom, 1);

  const std::map<int, Box> regions = ClickRegions(view, 640, 480);
  ASSERT_EQ(regions.size(), 3u);
  const Box yes = regions.at(IDYES), no = regions.at(IDNO), cancel = regions.at(IDCANCEL);
  // Left to right in the order of Buttons(), on one row at the bottom of the
  // box, right-aligned, each wide enough to hit.
  EXPECT_TRUE(yes.right < no.left && no.right < cancel.left && yes.top == cancel.top);
  EXPECT_TRUE(yes.right - yes.left >= 40 && yes.bottom - yes.top >= 16);
  EXPECT_TRUE(yes.top > (box.top + box.bottom) / 2 && cancel.bottom <= box.bottom);
  EXPECT_TRUE(cancel.right > box.right - 30 && yes.left >= box.left);

  // A click between the buttons or outside the box answers nothing.
  plat::MessageBoxView missed = view;
  EXPECT_FALSE(missed.HandleClick((yes.right + no.left) / 2, (yes.top + yes.bottom) / 2));
  EXPECT_FALSE(missed.HandleClick(5, 5));
  EXPECT_TRUE(missed.HandleClick(no.left, no.top));
  EXPECT_EQ(std::pair(missed.Answer(), missed.Focus()), std::pair(int{IDNO}, 1));
}

TEST(MessageBoxView, LongTextWrapsInsideTheBox) {
  const uint32_t background = 0xFF00C000;
  std::string japanese, oneWord = "data\\" + std::string(150, 'x') + ".stg";  // a path longer than a line
  // "ステージの読み込みに失敗しました。" repeated, with no spaces at all.
  for (int i = 0; i < 8; ++i)
    japanese += "\xE3\x82\xB9\xE3\x83\x86\xE3\x83\xBC\xE3\x82\xB8\xE3\x81\xAE\xE8\xAA\xAD\xE3\x81\xBF"
                "\xE8\xBE\xBC\xE3\x81\xBF\xE3\x81\xAB\xE5\xA4\xB1\xE6\x95\x97\xE3\x81\x97\xE3\x81\xBE"
                "\xE3\x81\x97\xE3\x81\x9F\xE3\x80\x82";
  const int oneLine = plat::MessageBoxView(Spec(plat::MB_OK, "Short.")).PreferredHeight();
  for (const std::string& text : {japanese, oneWord}) {
    plat::MessageBoxView view(Spec(plat::MB_OK, text));
    EXPECT_LE(view.PreferredWidth(), 560);
    EXPECT_GE(view.PreferredHeight(), oneLine + 2 * 14);  // at least three lines

    plat::Frame canvas = Canvas(640, 480, background);
    view.Render(canvas);
    const Box box = FindBox(canvas, background);
    ASSERT_GT(box.right, box.left);
    // The text's ink: dark pixels between the title bar and the buttons.
    std::vector<bool> inkRow(480, false);
    int inkRight = -1;
    for (int y = box.top + 30; y < box.bottom - 50; ++y)
      for (int x = box.left + 2; x < box.right - 2; ++x) {  // inside the border
        const uint32_t p = canvas.pixels[static_cast<size_t>(y) * 640 + x];
        if (((p >> 8) & 0xFF) < 0x60) {
          inkRow[y] = true;
          inkRight = std::max(inkRight, x);
        }
      }
    int lines = 0;
    for (int y = 1; y < 480; ++y) lines += inkRow[y] && !inkRow[y - 1];
    EXPECT_GE(lines, 3);
    // Wrapped before the right margin, not cut off by it.
    EXPECT_GT(inkRight, box.left + (box.right - box.left) / 2);
    EXPECT_LE(inkRight, box.right - 12);
  }
}

TEST(MessageBoxView, RendersOnAnyCanvasWithoutWritingOutside) {
  plat::MessageBoxView view(
      Spec(plat::MB_YESNO | plat::MB_ICONERROR, "Line one\nLine two\r\n\n\tLine four", "A title"));
  // A canvas of exactly the preferred size (the box's own window) is all box.
  const uint32_t magenta = 0xFFFF00FF;
  plat::Frame own = Canvas(view.PreferredWidth(), view.PreferredHeight(), magenta);
  view.Render(own);
  for (uint32_t p : own.pixels) ASSERT_NE(p, Dimmed(magenta));

  // Canvases smaller than the box, and broken ones: drawn clipped or not at
  // all, never outside the pixel vector (AddressSanitizer watches).
  for (auto [w, h] : {std::pair{100, 60}, {1, 1}, {640, 40}, {30, 480}}) {
    plat::Frame small = Canvas(w, h, magenta);
    view.Render(small);
    EXPECT_EQ(small.pixels.size(), static_cast<size_t>(w) * h);
  }
  plat::Frame broken = Canvas(10, 10, magenta);
  broken.width = 640;  // claims more pixels than it has
  view.Render(broken);
  EXPECT_EQ(broken.pixels, Canvas(10, 10, magenta).pixels);
  plat::Frame empty;
  empty.pixels.clear();
  view.Render(empty);
}

}  // namespace
