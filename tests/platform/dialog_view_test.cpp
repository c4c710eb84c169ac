#include "platform/dialog_view.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/keys.h"
#include "platform/text.h"

namespace {

using plat::ControlKind;
using plat::EditLimits;

TEST(DialogViewTest, TextIsCutToTheLimitsAtCharacterBoundaries) {
  const std::string a = plat::Sjis("あ"), i = plat::Sjis("い"), u = plat::Sjis("う");
  std::string tenA, thirtyThreeLines;
  for (int k = 0; k < 10; ++k) tenA += a;
  for (int k = 0; k < 33; ++k) thirtyThreeLines += k == 0 ? "x" : "\r\nx";
  struct Row {
    const char* what;
    std::string in;
    EditLimits limits;
    bool multiLine;
    std::string out;
  };
  const Row rows[] = {
      {"bytes", "abcd", {3, 0, 0, false}, false, "abc"},
      {"a double-byte character is never split", a + i + u, {3, 0, 0, false}, false, a},
      {"mixed", "a" + a + i, {3, 0, 0, false}, false, "a" + a},
      {"double-byte flag: 2 * limit - 1 bytes", tenA, {10, 0, 0, true}, false, tenA.substr(0, 18)},
      {"double-byte flag: characters count once", tenA, {100, 4, 0, true}, false, a + a + a + a},
      {"without the flag characters are bytes", tenA, {100, 4, 0, false}, false, a + a},
      {"a 33rd line is refused", thirtyThreeLines, {4096, 0, 32, false}, true,
       thirtyThreeLines.substr(0, thirtyThreeLines.size() - 3)},  // 32 lines
      {"a lone lead byte is dropped", std::string("ab\x82"), {10, 0, 0, false}, false, "ab"},
      {"control characters are dropped", std::string("a\tb\x01" "c"), {10, 0, 0, false}, false, "abc"},
      {"a single-line box keeps no break", "a\r\nb", {10, 0, 0, false}, false, "ab"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string cut = plat::CutToEditLimits(plat::CleanEditText(row.in, row.multiLine), row.limits);
    EXPECT_EQ(cut, row.out);
    EXPECT_TRUE(plat::FitsEditLimits(cut, row.limits));
  }
}

// A dialog with every kind of control the game's dialogs use; the commands
// it reports are kept.
class DialogViewFixture : public testing::Test {
 protected:
  DialogViewFixture() : view_(Template()) {
    view_.SetCommandHandler([this](int id, int code) { commands_.push_back({id, code}); });
    view_.SetCloseHandler([this] { ++closes_; });
  }
  static plat::DialogTemplate Template() {
    plat::DialogTemplate t;
    t.title = "t";
    t.width = 200;
    t.height = 120;
    t.controls = {
        {1, ControlKind::Static, "label", 5, 5, 60, 10},
        {1002, ControlKind::Radio, "A", 5, 20, 40, 10, plat::kGroupStart},
        {1003, ControlKind::Radio, "B", 50, 20, 40, 10},
        {1004, ControlKind::Check, "C", 5, 35, 60, 10},
        {1010, ControlKind::Edit, "", 5, 50, 100, 14},
        {1000, ControlKind::Button, "OK", 5, 90, 50, 16, plat::kDefaultButton},
        {1001, ControlKind::Button, "Cancel", 60, 90, 50, 16},
    };
    return t;
  }
  void Key(int vk, bool shift = false) { view_.HandleKey(vk, false, shift); }
  bool Got(int id, int code) const {
    for (auto& c : commands_)
      if (c.first == id && c.second == code) return true;
    return false;
  }
  plat::DialogView view_;
  std::vector<std::pair<int, int>> commands_;
  int closes_ = 0;
};

TEST_F(DialogViewFixture, KeyboardMovesThroughTheControlsAndEnterPressesTheDefaultButton) {
  view_.SetCheck(1002, true);
  EXPECT_EQ(view_.FocusId(), 1002);  // the first control that takes the focus
  Key(plat::VK_DOWN);                // an arrow in a radio group checks the next button
  EXPECT_EQ(view_.FocusId(), 1003);
  EXPECT_TRUE(view_.Checked(1003));
  EXPECT_FALSE(view_.Checked(1002));
  Key(plat::VK_TAB);  // the group is one stop; the check box is next
  EXPECT_EQ(view_.FocusId(), 1004);
  Key(plat::VK_SPACE);
  EXPECT_TRUE(view_.Checked(1004));
  Key(plat::VK_TAB, true);  // back to the group's checked button
  EXPECT_EQ(view_.FocusId(), 1003);
  Key(plat::VK_TAB);
  Key(plat::VK_TAB);
  EXPECT_EQ(view_.FocusId(), 1010);
  view_.TypeText("ab");
  Key(plat::VK_LEFT);
  view_.TypeText("X");
  EXPECT_EQ(view_.ItemText(1010), "aXb");
  EXPECT_TRUE(Got(1010, plat::kEditChange));
  EXPECT_FALSE(Got(1000, plat::kClicked));
  Key(plat::VK_RETURN);  // in a single-line box Enter is the default button's
  EXPECT_TRUE(Got(1000, plat::kClicked));
  Key(plat::VK_ESCAPE);
  EXPECT_EQ(closes_, 1);
}

TEST_F(DialogViewFixture, KeysBelongToTheInputMethodWhileItComposes) {
  view_.SetFocus(1010);
  view_.HandleTextEditing("か");
  Key(plat::VK_RETURN);
  Key(plat::VK_ESCAPE);  // cancels the composition, not the dialog
  EXPECT_FALSE(Got(1000, plat::kClicked));
  EXPECT_EQ(closes_, 0);
  EXPECT_FALSE(view_.Composing());
  // The key pre-filter sees keys first and may take them.
  int seen = 0;
  view_.SetKeyFilter([&](int vk, bool) { return ++seen, vk == plat::VK_ESCAPE; });
  Key(plat::VK_ESCAPE);
  EXPECT_EQ(seen, 1);
  EXPECT_EQ(closes_, 0);
}

TEST_F(DialogViewFixture, InputMethodEventsTypeJapaneseAsCp932) {
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_EVENTS), 0) << SDL_GetError();
  view_.SetFocus(1010);
  auto deliver = [&](const SDL_Event& e) {
    ASSERT_EQ(SDL_PushEvent(const_cast<SDL_Event*>(&e)), 1) << SDL_GetError();
    SDL_Event got;
    bool fed = false;
    while (SDL_PollEvent(&got) == 1)
      if (got.type == e.type) fed = plat::FeedModalEvent(got, view_, 0) || fed;
    EXPECT_TRUE(fed);
  };
  SDL_Event editing{};
  editing.type = SDL_TEXTEDITING;
  std::strcpy(editing.edit.text, "か");
  deliver(editing);
  EXPECT_TRUE(view_.Composing());
  EXPECT_EQ(view_.ItemText(1010), "");
  SDL_Event input{};
  input.type = SDL_TEXTINPUT;
  std::strcpy(input.text.text, "カナ\xF0\x9F\x98\x80");  // the emoji has no CP932 form and is refused
  deliver(input);
  EXPECT_FALSE(view_.Composing());
  EXPECT_EQ(view_.ItemText(1010), "\x83\x4A\x83\x69");
  SDL_QuitSubSystem(SDL_INIT_EVENTS);
}

TEST_F(DialogViewFixture, MouseClicksPressButtonsAndToggleBoxes) {
  plat::Frame canvas;
  canvas.pixels.assign(static_cast<size_t>(canvas.width) * canvas.height, 0xFF000000u);
  view_.Render(canvas);
  // The dialog is centred: 350 x 202 pixels on 640 x 480 (caption 22).
  const int x0 = (640 - 350) / 2, y0 = (480 - 202) / 2 + 22;
  auto click = [&](int du_x, int du_y) {
    const int x = x0 + du_x * 7 / 4, y = y0 + du_y * 3 / 2;
    view_.HandleMouseDown(x, y, false);
    view_.HandleClick(x, y);
  };
  click(10, 40);  // the check box
  EXPECT_TRUE(view_.Checked(1004));
  click(60, 25);  // radio B
  EXPECT_TRUE(view_.Checked(1003));
  click(70, 95);  // Cancel
  EXPECT_TRUE(Got(1001, plat::kClicked));
  EXPECT_NE(canvas.pixels[static_cast<size_t>(y0) * 640 + x0 + 5], 0xFF000000u);  // something was drawn
}

// A list with more entries than it shows, and a list of several.
class DialogListTest : public testing::Test {
 protected:
  void Open(uint32_t style, int count) {
    plat::DialogTemplate t;
    t.title = "t";
    t.width = 200;
    t.height = 120;
    t.controls = {{5, ControlKind::List, "", 5, 5, 100, 60, style}, {1000, ControlKind::Button, "OK", 5, 90, 50, 16}};
    view_ = std::make_unique<plat::DialogView>(t);
    std::vector<std::string> items;
    for (int i = 0; i < count; ++i) items.push_back("entry " + std::to_string(i));
    view_->SetListItems(5, items);
    view_->SetCommandHandler([this](int id, int code) {
      if (id == 5 && code == plat::kSelChange) ++changes_;
    });
    canvas_.pixels.assign(static_cast<size_t>(canvas_.width) * canvas_.height, 0xFF000000u);
    view_->Render(canvas_);
    box_ = view_->ItemRect(5);
  }
  void Press(int x, int y, bool ctrl = false, bool shift = false) {
    view_->HandleMouseDown(x, y, false, ctrl, shift);
    view_->HandleClick(x, y);
  }
  // The middle of row `row` as shown now.
  int RowY(int row) const { return box_.top + 2 + (row - view_->ListTop(5)) * RowHeight() + RowHeight() / 2; }
  int RowHeight() const { return view_->ListRowPixels(); }
  std::vector<int> Marked() const { return view_->ListMarked(5); }

  std::unique_ptr<plat::DialogView> view_;
  plat::Frame canvas_;
  plat::Rect box_;
  int changes_ = 0;
};

TEST_F(DialogListTest, ALongListScrollsByItsBarTheWheelAndTheKeys) {
  Open(0, 20);
  // Rows shown: the box's height over a row's; the bar is the box's last
  // 16 pixels, its arrows 15 pixels high.
  const int barX = box_.right - 8;
  Press(barX, box_.bottom - 4);  // the down arrow: one entry
  EXPECT_EQ(view_->ListTop(5), 1);
  Press(barX, box_.top + 4);  // the up arrow
  EXPECT_EQ(view_->ListTop(5), 0);
  Press(barX, box_.bottom - 20);  // the track under the thumb: a page
  const int page = view_->ListTop(5);
  EXPECT_GE(page, 2);
  EXPECT_LT(page, 20);
  view_->HandleMouseWheel(box_.left + 10, box_.top + 10, -100);  // far down: the last page
  EXPECT_EQ(view_->ListTop(5), 20 - page);
  view_->HandleMouseWheel(box_.left + 10, box_.top + 10, 1);  // a notch up: three entries
  EXPECT_EQ(view_->ListTop(5), 17 - page);
  // The thumb dragged to the top of the track shows the first entries.
  view_->Render(canvas_);
  int thumbY = box_.top + 17;
  for (; thumbY < box_.bottom - 16; ++thumbY)
    if (canvas_.pixels[static_cast<size_t>(thumbY) * canvas_.width + barX] == 0xFFC2C2C2u) break;
  ASSERT_LT(thumbY, box_.bottom - 16) << "no thumb drawn";
  view_->HandleMouseDown(barX, thumbY + 1, false);
  view_->HandleMouseMove(barX, box_.top);
  view_->HandleClick(barX, box_.top);
  EXPECT_EQ(view_->ListTop(5), 0);
  EXPECT_EQ(changes_, 0);  // scrolling chooses nothing
  // Keys move the choice and keep it in view.
  view_->SetFocus(5);
  view_->HandleKey(plat::VK_END, false, false);
  EXPECT_EQ(view_->ListSelection(5), 19);
  EXPECT_EQ(view_->ListTop(5), 20 - page);
  view_->HandleKey(plat::VK_HOME, false, false);
  EXPECT_EQ(view_->ListTop(5), 0);
  EXPECT_EQ(changes_, 2);
  // A click on a row shown lower down picks that row.
  Press(box_.left + 20, RowY(2));
  EXPECT_EQ(view_->ListSelection(5), 2);
}

TEST_F(DialogListTest, AListOfSeveralMarksWithCtrlShiftAndSpace) {
  Open(plat::kMultiSelect, 8);
  EXPECT_EQ(Marked(), std::vector<int>({0}));
  Press(box_.left + 20, RowY(1));
  EXPECT_EQ(Marked(), std::vector<int>({1}));
  Press(box_.left + 20, RowY(3), true);  // Ctrl: one more
  EXPECT_EQ(Marked(), std::vector<int>({1, 3}));
  Press(box_.left + 20, RowY(1), true);  // Ctrl again: one less
  EXPECT_EQ(Marked(), std::vector<int>({3}));
  Press(box_.left + 20, RowY(0), true);
  Press(box_.left + 20, RowY(2), false, true);  // Shift: from the last one clicked, in place of the marks
  EXPECT_EQ(Marked(), std::vector<int>({0, 1, 2}));
  Press(box_.left + 20, RowY(0));
  auto key = [&](int vk, bool ctrl = false, bool shift = false) { view_->HandleKey(vk, ctrl, shift); };
  key(plat::VK_DOWN);  // an arrow alone: the next entry alone
  EXPECT_EQ(Marked(), std::vector<int>({1}));
  key(plat::VK_DOWN, false, true);
  key(plat::VK_DOWN, false, true);
  EXPECT_EQ(Marked(), std::vector<int>({1, 2, 3}));
  key(plat::VK_DOWN, true);  // Ctrl: the cursor moves, the marks stay
  key(plat::VK_DOWN, true);
  EXPECT_EQ(view_->ListSelection(5), 5);
  EXPECT_EQ(Marked(), std::vector<int>({1, 2, 3}));
  key(plat::VK_SPACE);
  EXPECT_EQ(Marked(), std::vector<int>({1, 2, 3, 5}));
  key(plat::VK_SPACE);
  EXPECT_EQ(Marked(), std::vector<int>({1, 2, 3}));
  key('A', true);
  EXPECT_EQ(Marked().size(), 8u);
  // A list of one choice takes no modifiers.
  Open(0, 8);
  Press(box_.left + 20, RowY(1));
  Press(box_.left + 20, RowY(3), true);
  view_->HandleKey(plat::VK_SPACE, false, false);
  EXPECT_EQ(Marked(), std::vector<int>({3}));
}

TEST(DialogViewTest, StaticTextsWrapWithinTheirWidth) {
  const std::string hint = plat::Sjis("詳細な設定は環境設定ファイル「System.ini」で行って下さい。");
  const int width = plat::MeasureDialogText(hint) * 2 / 3;
  const std::vector<std::string> lines = plat::WrapDialogText(hint, width);
  ASSERT_EQ(lines.size(), 2u);
  std::string joined;
  for (const std::string& line : lines) {
    EXPECT_LE(plat::MeasureDialogText(line), width) << plat::Cp932ToUtf8(line);
    joined += line;
  }
  EXPECT_EQ(joined, hint);
  struct Row {
    const char* what;
    const char* text;   // UTF-8
    const char* fitting;  // the width is this text's
    std::vector<std::string> lines;
  };
  const Row rows[] = {
      {"fits", "登録名", "登録名", {"登録名"}},
      {"a bracketed phrase goes down whole", "登録名(3文字まで)", "登録名(3文字ま", {"登録名", "(3文字まで)"}},
      {"a closing mark takes the character before it", "あいうえ。", "あいうえ", {"あいう", "え。"}},
      {"words break at spaces", "Do not ask again", "Do not ask", {"Do not ask", "again"}},
      {"punctuation stays in its word", "at \"System.ini\".", "at \"System.ini", {"at", "\"System.ini\"."}},
      {"a word wider than the line is cut", "abcdefgh", "abcd", {"abcd", "efgh"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::vector<std::string> got;
    for (const std::string& line : plat::WrapDialogText(plat::Utf8ToCp932(row.text),
                                                        plat::MeasureDialogText(plat::Utf8ToCp932(row.fitting))))
      got.push_back(plat::Cp932ToUtf8(line));
    EXPECT_EQ(got, row.lines);
  }
}

// A picture control shows the program's mark only when asked to: an empty
// one (the name-entry dialog's) leaves its place, where its label runs, alone.
TEST(DialogViewTest, APictureIsEmptyUnlessItShowsTheMark) {
  for (uint32_t style : {0u, uint32_t{plat::kProgramMark}}) {
    plat::DialogTemplate t;
    t.width = 100;
    t.height = 60;
    t.caption = false;
    t.controls = {{1075, ControlKind::Picture, "", 7, 7, 20, 21, style}};
    plat::DialogView view(t);
    plat::Frame canvas;
    canvas.pixels.assign(static_cast<size_t>(canvas.width) * canvas.height, 0xFF000000u);
    view.Render(canvas);
    const plat::Rect r = view.ItemRect(1075);
    const plat::Rect box{(640 - 175) / 2, (480 - 90) / 2, 0, 0};
    const uint32_t face = canvas.pixels[static_cast<size_t>(box.top + 2) * canvas.width + box.left + 2];
    int differing = 0;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) differing += canvas.pixels[static_cast<size_t>(y) * canvas.width + x] != face;
    if (style)
      EXPECT_GT(differing, 0);
    else
      EXPECT_EQ(differing, 0);
  }
}

// A text that wraps inside a group box keeps its lines inside the box: in
// the start dialog's layout the hint's second line ends clear of the box's
// bottom edge (starting higher than the text's own top when it must), and
// both lines are drawn. A text that fits stays where it was placed.
TEST(DialogViewTest, AWrappedTextStaysInsideItsGroupBox) {
  struct Row {
    const char* what;
    const char* text;  // UTF-8
    bool wraps;
  };
  const Row rows[] = {
      {"the hint", "詳細な設定は環境設定ファイル「System.ini」で行って下さい。", true},
      {"a short text", "System.ini", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    plat::DialogTemplate t;
    t.width = 222;
    t.height = 171;
    t.controls = {{1006, ControlKind::Group, plat::Sjis("描画モード"), 15, 15, 190, 55},
                  {1002, ControlKind::Radio, "Direct3D", 20, 30, 42, 10, plat::kGroupStart},
                  {1003, ControlKind::Radio, "DirectDraw", 80, 30, 45, 10},
                  {1005, ControlKind::Static, plat::Utf8ToCp932(row.text), 20, 50, 177, 12}};
    plat::DialogView view(t);
    plat::Frame canvas;
    canvas.pixels.assign(static_cast<size_t>(canvas.width) * canvas.height, 0xFF000000u);
    view.Render(canvas);
    const plat::Rect group = view.ItemRect(1006), text = view.ItemRect(1005), radio = view.ItemRect(1003);
    auto at = [&](int x, int y) { return canvas.pixels[static_cast<size_t>(y) * canvas.width + x]; };
    const uint32_t face = at(group.left - 4, group.bottom + 4);
    const uint32_t edge = at(group.left, group.bottom - 1);
    ASSERT_NE(face, edge);
    // The rows with ink in the text's columns, between the radio buttons and
    // the box's bottom edge.
    std::vector<int> inked;
    for (int y = radio.bottom; y < group.bottom - 1; ++y)
      for (int x = text.left; x < group.right - 1; ++x)
        if (at(x, y) != face) {
          inked.push_back(y);
          break;
        }
    ASSERT_FALSE(inked.empty());
    EXPECT_LE(inked.back(), group.bottom - 4) << "the last line reaches the box's edge";
    for (int x = text.left; x < group.right - 1; ++x) EXPECT_EQ(at(x, group.bottom - 1), edge) << x;
    const int lines = 1 + static_cast<int>(std::count_if(inked.begin() + 1, inked.end(), [&](const int& y) {
                        return y != (&y)[-1] + 1;  // a gap between two bands of ink
                      }));
    EXPECT_EQ(lines >= 2, row.wraps) << lines;
    if (!row.wraps) {
      EXPECT_GE(inked.front(), text.top);
    }
  }
}

}  // namespace
