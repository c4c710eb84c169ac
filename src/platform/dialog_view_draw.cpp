// The dialog's drawing: its box and title bar and each kind of control, in
// our own colours and font, over the game's dimmed picture or in a window of
// its own.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/dialog_view.h"
#include "platform/dialog_view_layout.h"
#include "platform/font_raster.h"
#include "platform/text.h"

namespace plat {
using namespace dialog;

namespace {

constexpr uint32_t kFace = 0xFFF0F0F0;
constexpr uint32_t kBorder = 0xFF4A5563;
constexpr uint32_t kTitleBar = 0xFF2F5F98;
constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kText = 0xFF111111;
constexpr uint32_t kGreyText = 0xFF8A8A8A;
constexpr uint32_t kEdge = 0xFFA0A0A0;
constexpr uint32_t kFocusEdge = 0xFF0067C0;
constexpr uint32_t kButtonFace = 0xFFE3E3E3;
constexpr uint32_t kHoverFace = 0xFFE5F1FB;
constexpr uint32_t kSelection = 0xFF3399FF;
constexpr uint32_t kCompose = 0xFFFFF3C4;

void Fill(Frame& c, int x, int y, int w, int h, uint32_t colour) {
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = std::min(x + w, c.width), y1 = std::min(y + h, c.height);
  for (int py = y0; py < y1; ++py)
    for (int px = x0; px < x1; ++px) c.pixels[static_cast<size_t>(py) * c.width + px] = colour;
}

void Outline(Frame& c, const Rect& r, int thickness, uint32_t colour) {
  Fill(c, r.left, r.top, r.Width(), thickness, colour);
  Fill(c, r.left, r.bottom - thickness, r.Width(), thickness, colour);
  Fill(c, r.left, r.top, thickness, r.Height(), colour);
  Fill(c, r.right - thickness, r.top, thickness, r.Height(), colour);
}

// A CP932 text with its top-left corner at (x, y), clipped to `clip`.
void Text(Frame& c, const Rect& clip, int x, int y, const std::string& cp932, uint32_t colour) {
  FontFace* font = Font();
  if (!font) return;
  const int x0 = std::max(clip.left, 0), y0 = std::max(clip.top, 0);
  const int x1 = std::min(clip.right, c.width), y1 = std::min(clip.bottom, c.height);
  if (x0 >= x1 || y0 >= y1) return;
  font->DrawUtf8(c.pixels.data() + static_cast<size_t>(y0) * c.width + x0, x1 - x0, y1 - y0, c.width,
                 x - x0, y - y0, Cp932ToUtf8(cp932), colour);
}

// Lines of a text split at "\n" (a "\r" before it belongs to the break).
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (true) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

// A disc of diameter `size` with its bounding square's corner at (x, y),
// edges blended over what is there.
void Disc(Frame& c, int x, int y, int size, uint32_t colour) {
  const double r = size / 2.0, cx = x + r, cy = y + r;
  for (int py = std::max(y, 0); py < std::min(y + size, c.height); ++py) {
    for (int px = std::max(x, 0); px < std::min(x + size, c.width); ++px) {
      int hits = 0;
      for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx) {
          const double dx = px + (sx + 0.5) / 4 - cx, dy = py + (sy + 0.5) / 4 - cy;
          if (dx * dx + dy * dy <= r * r) ++hits;
        }
      if (hits == 0) continue;
      uint32_t& p = c.pixels[static_cast<size_t>(py) * c.width + px];
      auto mix = [&](int shift) {
        const uint32_t a = (colour >> shift) & 0xFF, b = (p >> shift) & 0xFF;
        return ((a * hits + b * (16 - hits) + 8) / 16) << shift;
      };
      p = 0xFF000000u | mix(16) | mix(8) | mix(0);
    }
  }
}

}  // namespace

void DialogView::DrawList(Frame& canvas, const Control& c, bool focused) const {
  const Rect r = ControlRect(c);
  Fill(canvas, r.left, r.top, r.Width(), r.Height(), kWhite);
  Outline(canvas, r, 1, focused ? kFocusEdge : kEdge);
  const bool bar = ListHasScrollBar(c);
  const int textRight = bar ? ListScrollBar(c).left : r.right - 1;
  const int rh = ListRowHeight();
  const int rows = ListVisibleRows(c);
  const bool several = (c.t.style & kMultiSelect) != 0;
  const Rect inner{r.left + 1, r.top + 1, textRight, r.bottom - 1};
  for (int k = 0; k < rows && c.top + k < static_cast<int>(c.items.size()); ++k) {
    const int idx = c.top + k;
    const int y = r.top + 2 + k * rh;
    const bool marked = several ? c.marked[idx] : idx == c.selected;
    if (marked) Fill(canvas, r.left + 2, y, textRight - r.left - 3, rh, focused ? kSelection : kButtonFace);
    // The cursor of a list of several: a dotted outline on its entry.
    if (several && focused && idx == c.selected) {
      for (int px = r.left + 2; px < textRight - 1; px += 2) {
        Fill(canvas, px, y, 1, 1, kText);
        Fill(canvas, px, y + rh - 1, 1, 1, kText);
      }
      for (int py = y; py < y + rh; py += 2) {
        Fill(canvas, r.left + 2, py, 1, 1, kText);
        Fill(canvas, textRight - 2, py, 1, 1, kText);
      }
    }
    Text(canvas, inner, r.left + 5, y + 2, c.items[idx], marked && focused ? kWhite : kText);
  }
  if (!bar) return;
  const Rect b = ListScrollBar(c);
  Fill(canvas, b.left, b.top, b.Width(), b.Height(), 0xFFE8E8E8);
  Fill(canvas, b.left, b.top, 1, b.Height(), kEdge);
  const Rect thumb = ListThumb(c);
  Fill(canvas, thumb.left + 2, thumb.top + 1, thumb.Width() - 3, thumb.Height() - 2, 0xFFC2C2C2);
  // The two arrows: small triangles in their squares.
  for (int arrow = 0; arrow < 2; ++arrow) {
    const int top = arrow == 0 ? b.top : b.bottom - kScrollBarWidth;
    Fill(canvas, b.left + 1, top, b.Width() - 1, kScrollBarWidth, kButtonFace);
    const int cx = b.left + (b.Width() + 1) / 2, cy = top + kScrollBarWidth / 2;
    for (int row = 0; row < 4; ++row) {
      const int y = arrow == 0 ? cy - 2 + row : cy + 1 - row;
      Fill(canvas, cx - row, y, 2 * row + 1, 1, kText);
    }
  }
}

void DialogView::Render(Frame& canvas) {
  if (canvas.width <= 0 || canvas.height <= 0 ||
      canvas.pixels.size() < static_cast<size_t>(canvas.width) * canvas.height)
    return;
  const bool own = canvas.width == width_ && canvas.height == height_;
  if (!own) {
    // Over the game's picture: dimmed behind the dialog.
    for (uint32_t& p : canvas.pixels) p = 0xFF000000u | ((p >> 1) & 0x7F7F7F);
  }
  originX_ = std::max(0, (canvas.width - width_) / 2);
  originY_ = std::max(0, (canvas.height - height_) / 2);
  const Rect box = BoxRect();
  Fill(canvas, box.left, box.top, width_, height_, kFace);
  if (caption_) {
    Fill(canvas, box.left, box.top, width_, kTitleBarHeight, kTitleBar);
    Text(canvas, Rect{box.left + 1, box.top, box.right - 1, box.top + kTitleBarHeight}, box.left + 8,
         box.top + (kTitleBarHeight - TextHeight()) / 2, title_, kWhite);
  }
  const int th = TextHeight();
  for (size_t i = 0; i < controls_.size(); ++i) {
    const Control& c = controls_[i];
    const Rect r = ControlRect(c);
    const bool focused = static_cast<int>(i) == focus_;
    const uint32_t ink = c.enabled ? kText : kGreyText;
    // Labels may run past their control's right edge up to the dialog's.
    const Rect label{r.left, r.top, box.right - 2, r.bottom};
    switch (c.t.kind) {
      case ControlKind::Static: {
        // A line may run past the control's right edge into free room (up
        // to the next control on its right, the edge of a group around it
        // or the dialog's); one longer than that wraps at the control's
        // width, and the lines may run below the control's own height.
        const int room = StaticRoom(c) - r.left;
        std::vector<std::string> lines;
        for (const std::string& paragraph : Lines(c.t.text)) {
          const std::vector<std::string> wrapped =
              Measure(paragraph) <= room ? std::vector<std::string>{paragraph} : WrapLine(paragraph, std::max(1, r.Width()));
          lines.insert(lines.end(), wrapped.begin(), wrapped.end());
        }
        const int step = LineStep();
        const int height = lines.empty() ? 0 : static_cast<int>(lines.size() - 1) * step + th;
        int y = StaticTop(c, height);
        const Rect clip{r.left, std::min(y, r.top), box.right - 2, box.bottom - 2};
        for (const std::string& line : lines) {
          Text(canvas, clip, r.left, y, line, ink);
          y += step;
        }
        break;
      }
      case ControlKind::Group: {
        const int mid = r.top + th / 2;
        Outline(canvas, Rect{r.left, mid, r.right, r.bottom}, 1, kEdge);
        const int w = Measure(c.t.text);
        Fill(canvas, r.left + 6, r.top, w + 4, th, kFace);
        Text(canvas, label, r.left + 8, r.top, c.t.text, ink);
        break;
      }
      case ControlKind::Picture: {
        if (!(c.t.style & kProgramMark)) break;  // a picture the dialog does not fill
        // The program's mark: a small framed square in the title colour.
        const int side = std::min({r.Width(), r.Height(), 16});
        Fill(canvas, r.left, r.top, side, side, kTitleBar);
        Outline(canvas, Rect{r.left, r.top, r.left + side, r.top + side}, 1, kBorder);
        Fill(canvas, r.left + side / 4, r.top + side / 4, side / 2, side / 2, kWhite);
        break;
      }
      case ControlKind::Check:
      case ControlKind::Radio: {
        const int s = std::min(th, r.Height());
        const int y = r.top + (r.Height() - s) / 2;
        if (c.t.kind == ControlKind::Radio) {
          // A round button with a dot, told apart from the square check box.
          Disc(canvas, r.left, y, s, focused ? kFocusEdge : kEdge);
          Disc(canvas, r.left + 1, y + 1, s - 2, kWhite);
          if (c.checked) Disc(canvas, r.left + s / 2 - s / 4, y + s / 2 - s / 4, 2 * (s / 4), kSelection);
        } else {
          Fill(canvas, r.left, y, s, s, kWhite);
          Outline(canvas, Rect{r.left, y, r.left + s, y + s}, 1, focused ? kFocusEdge : kEdge);
          if (c.checked) {
            // A tick.
            for (int k = 0; k < s - 6; ++k) {
              const int px = r.left + 3 + k;
              const int py = k < (s - 6) / 3 ? y + s / 2 - 1 + k : y + s / 2 - 1 + (s - 6) / 3 - (k - (s - 6) / 3);
              Fill(canvas, px, py, 1, 2, kText);
            }
          }
        }
        Text(canvas, label, r.left + s + 4, r.top + (r.Height() - th) / 2, c.t.text, ink);
        if (focused) Fill(canvas, r.left + s + 4, r.bottom - 1, Measure(c.t.text), 1, kFocusEdge);
        break;
      }
      case ControlKind::Button: {
        Fill(canvas, r.left, r.top, r.Width(), r.Height(), static_cast<int>(i) == hover_ ? kHoverFace : kButtonFace);
        const bool isDefault = (c.t.style & kDefaultButton) != 0;
        Outline(canvas, r, focused || isDefault ? 2 : 1, focused ? kFocusEdge : kEdge);
        Text(canvas, r, r.left + (r.Width() - Measure(c.t.text)) / 2, r.top + (r.Height() - th) / 2, c.t.text, ink);
        break;
      }
      case ControlKind::Edit: {
        Fill(canvas, r.left, r.top, r.Width(), r.Height(), kWhite);
        Outline(canvas, r, 1, focused ? kFocusEdge : kEdge);
        const Rect inner{r.left + 2, r.top + 1, r.right - 2, r.bottom - 1};
        const size_t a = std::min(c.anchor, c.caret), b = std::max(c.anchor, c.caret);
        const int caretX = Measure(c.t.text.substr(0, c.caret));
        // Keeps the caret in view in a narrow box.
        const int shift = std::max(0, caretX + 8 - (r.Width() - 6));
        const int x0 = r.left + 4 - shift, y0 = r.top + (r.Height() - th) / 2;
        if (focused && a != b)
          Fill(canvas, x0 + Measure(c.t.text.substr(0, a)), y0,
               Measure(c.t.text.substr(a, b - a)), th, kSelection);
        Text(canvas, inner, x0, y0, c.t.text, ink);
        if (focused) {
          int cx = x0 + caretX;
          if (!composition_.empty()) {
            const std::string comp = Utf8ToCp932(composition_);
            const int w = Measure(comp);
            Fill(canvas, cx, y0, w, th, kCompose);
            Text(canvas, inner, cx, y0, comp, kText);
            Fill(canvas, cx, y0 + th, w, 1, kText);
            cx += w;
          }
          Fill(canvas, cx, y0, 1, th, kText);
        }
        break;
      }
      case ControlKind::List:
        DrawList(canvas, c, focused);
        break;
      case ControlKind::ScrollBar: {
        Fill(canvas, r.left, r.top, r.Width(), r.Height(), kButtonFace);
        Outline(canvas, r, 1, focused ? kFocusEdge : kEdge);
        const int span = c.maximum - c.minimum;
        const bool vertical = (c.t.style & kVertical) != 0;
        const int length = vertical ? r.Height() : r.Width();
        const int thumb = std::max(8, span > 0 ? length * c.page / (span + c.page) : length);
        const int at = span > 0 ? (length - thumb) * (c.position - c.minimum) / span : 0;
        if (vertical)
          Fill(canvas, r.left + 2, r.top + at, r.Width() - 4, thumb, kEdge);
        else
          Fill(canvas, r.left + at, r.top + 2, thumb, r.Height() - 4, kEdge);
        break;
      }
    }
  }
  Outline(canvas, box, 1, kBorder);
}

}  // namespace plat
