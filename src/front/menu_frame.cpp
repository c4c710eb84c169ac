#include "front/menu_frame.h"

#include <algorithm>

#include "base/text_path.h"
#include "data/system_data.h"
#include "gfx/dd.h"
#include "gfx/dd_frame.h"
#include "gfx/game_fonts.h"
#include "gfx/surface_table.h"

namespace {

constexpr uint32_t kBackdropPalette = 16;
constexpr uint32_t kFramePalette = 240;
constexpr int32_t kScreenCentre = 320;

// The system font of the menus (16 dots a character) as the system data's
// menu labels draw into it.
class cMenuTextTarget : public cTextTarget {
 public:
  explicit cMenuTextTarget(cFont& font) : font_(font) {}
  void DrawSystemText(int32_t x, int32_t y, const std::string& text) override {
    font_.DrawText(DDBackBuffer(), x, y, text.c_str());
  }

 private:
  cFont& font_;
};

}  // namespace

void DrawMenuBackdrop() { DDFillSurface(DDBackBuffer(), kBackdropPalette); }

void DrawMenuFrameBox(int32_t x, int32_t y, int32_t width, int32_t height) {
  DDDrawFrameBox(DDBackBuffer(), x, y, width, height, &GameSurfaces[SURF_WINDOW], 1, kFramePalette);
}

int32_t CentredTextLeft(const std::string& text, int32_t centreX, int32_t dotsPerCharacter) {
  return centreX - CountCharacters(text.c_str()) * dotsPerCharacter / 2;
}

void DrawMenuHeading(const std::string& text, int32_t y) {
  cFont& font = GameFonts[2];
  if (font.Created()) font.DrawText(DDBackBuffer(), CentredTextLeft(text, kScreenCentre, 32), y, text.c_str());
}

void DrawMenuPanel(const std::string& heading) {
  DrawMenuBackdrop();
  DrawMenuFrameBox(1, 1, 638, 478);
  if (!heading.empty()) DrawMenuHeading(heading, 32);
}

void DrawSystemTextBox(int32_t x, int32_t y, int first, int count, int32_t marginY) {
  cFont& font = GameFonts[1];
  if (!font.Created() || count <= 0) return;
  int32_t widest = 0;
  for (int n = first; n < first + count; ++n) {
    const std::string text =
        n >= 0 && n < static_cast<int>(SystemData.m_Texts.size()) ? SystemData.m_Texts.At(n) : std::string();
    widest = std::max(widest, CountCharacters(text.c_str()));
  }
  // The rows keep their places (the cursor moves over them there); the box
  // reaches the margins further out.
  font.DrawFrameBox(DDBackBuffer(), x - kFrameTextMargin, y - marginY, (widest + 1) * 16 + 2 * kFrameTextMargin,
                    count * 16 + 2 * marginY);
  cMenuTextTarget target(font);
  SystemData.DrawMenuLabels(x, y, first, count, true, target);
}
