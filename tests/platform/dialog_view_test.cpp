#include "platform/dialog_view.h"

#include <SDL.h>
#include <gtest/gtest.h>

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

}  // namespace
