// The name-entry dialog as the player sees it, drawn headless by the
// dialog engine: its label "登録名(3文字まで)" takes two lines where it
// stands (left of the name box), and the lines stand apart from each other
// and from the OK button below them.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "front/text_entry_dialog.h"
#include "platform/dialog_view.h"
#include "platform/window_host.h"
#include "support/forwarding_window_host.h"
#include "support/sandbox.h"

namespace {

// A headless host that shows each dialog to `look` and closes it.
class LookingHost : public ForwardingWindowHost {
 public:
  explicit LookingHost(std::function<void(plat::DialogView&)> look) : look_(std::move(look)) {}
  bool RunModalView(plat::ModalView& modal) override {
    if (auto* view = dynamic_cast<plat::DialogView*>(&modal)) look_(*view);
    modal.HandleClose();
    return true;
  }

 private:
  std::function<void(plat::DialogView&)> look_;
};

TEST(NameEntryLayoutTest, TheLabelsTwoLinesStandApart) {
  Sandbox sandbox;  // no script: the dialog comes up on the host
  plat::Frame frame;
  plat::Rect label, name, ok;
  plat::SetWindowHost(std::make_unique<LookingHost>([&](plat::DialogView& v) {
    frame.pixels.assign(static_cast<size_t>(frame.width) * frame.height, 0xFF000000u);
    v.Render(frame);
    label = v.ItemRect(cTextEntryDialog::kIdLabel);
    name = v.ItemRect(cTextEntryDialog::kIdName);
    ok = v.ItemRect(kIdOk);
  }));
  std::string typed = "AB";
  cTextEntryDialog dialog(&typed);
  dialog.RunModal();
  ASSERT_LT(label.left, label.right) << "the dialog was drawn";
  auto at = [&](int x, int y) { return frame.pixels[static_cast<size_t>(y) * frame.width + x]; };
  // The dialog's face, left of the label (the icon's place draws nothing).
  const uint32_t face = at(label.left - 4, label.top);
  ASSERT_NE(face, 0xFF000000u);
  // The dialog's top edge, up from the label.
  int top = label.top;
  while (top > 0 && at(label.left - 4, top - 1) == face) --top;
  // The rows with ink between the label's left edge and the name box, from
  // the dialog's top to the button's, in bands of touching rows.
  struct Band {
    int top, bottom;
  };
  std::vector<Band> bands;
  for (int y = top; y < ok.top; ++y) {
    bool inked = false;
    for (int x = label.left; x < name.left && !inked; ++x) inked = at(x, y) != face;
    if (!inked) continue;
    if (!bands.empty() && bands.back().bottom == y - 1)
      bands.back().bottom = y;
    else
      bands.push_back({y, y});
  }
  ASSERT_EQ(bands.size(), 2u) << "the label's two lines";
  EXPECT_GE(bands[1].top - bands[0].bottom - 1, 4) << "blank rows between the lines, " << bands[0].bottom
                                                    << " to " << bands[1].top;
  EXPECT_GE(ok.top - bands[1].bottom - 1, 3) << "blank rows above the button, " << bands[1].bottom << " to "
                                             << ok.top;
  // Both lines stand beside the name box, not above it.
  EXPECT_GE(bands[0].top, name.top - 4);
  EXPECT_LE(bands[0].bottom, name.bottom);
}

}  // namespace
