// The dialog's layout in canvas pixels (its box, each control, a list's
// rows and scroll bar, the room of a static text) and what the mouse does
// over it; where the pointer and a dialog of its own start.
#include <algorithm>
#include <string>

#include "platform/dialog_view.h"
#include "platform/dialog_view_layout.h"
#include "platform/text.h"

namespace plat {
using namespace dialog;

namespace {

bool Inside(const Rect& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

}  // namespace

std::string DialogView::Utf8Title() const { return Cp932ToUtf8(title_); }
int DialogView::PreferredWidth() const { return width_; }
int DialogView::PreferredHeight() const { return height_; }

Rect DialogView::BoxRect() const { return Rect{originX_, originY_, originX_ + width_, originY_ + height_}; }

Rect DialogView::ControlRect(const Control& c) const {
  const int top = originY_ + (caption_ ? kTitleBarHeight : 0);
  const int x = originX_ + PxX(c.t.x), y = top + PxY(c.t.y);
  return Rect{x, y, x + PxX(c.t.width), y + PxY(c.t.height)};
}

int DialogView::ListRowHeight() const { return TextHeight() + 4; }
int DialogView::ListVisibleRows(const Control& c) const {
  return std::max(1, (PxY(c.t.height) - 4) / ListRowHeight());
}

bool DialogView::ListHasScrollBar(const Control& c) const {
  return static_cast<int>(c.items.size()) > ListVisibleRows(c);
}

Rect DialogView::ListScrollBar(const Control& c) const {
  const Rect r = ControlRect(c);
  return Rect{r.right - 1 - kScrollBarWidth, r.top + 1, r.right - 1, r.bottom - 1};
}

Rect DialogView::ListThumb(const Control& c) const {
  const Rect bar = ListScrollBar(c);
  const int trackTop = bar.top + kScrollBarWidth, trackLength = std::max(0, bar.Height() - 2 * kScrollBarWidth);
  const int count = static_cast<int>(c.items.size()), rows = ListVisibleRows(c);
  const int thumb = std::min(trackLength, std::max(10, count > 0 ? trackLength * rows / count : trackLength));
  const int most = std::max(1, count - rows);
  const int at = trackTop + (trackLength - thumb) * std::clamp(c.top, 0, most) / most;
  return Rect{bar.left, at, bar.right, at + thumb};
}

int DialogView::StaticRoom(const Control& c) const {
  const Rect r = ControlRect(c);
  int right = BoxRect().right - 6;
  for (const Control& other : controls_) {
    if (&other == &c) continue;
    if (other.t.kind == ControlKind::Picture && !(other.t.style & kProgramMark)) continue;  // draws nothing
    const Rect o = ControlRect(other);
    if (other.t.kind == ControlKind::Group) {
      if (o.left <= r.left && o.right >= r.right && o.top <= r.top && o.bottom >= r.bottom)
        right = std::min(right, o.right - 6);
      continue;
    }
    const bool sameRows = o.top < r.bottom && o.bottom > r.top;
    if (sameRows && o.left > r.left) right = std::min(right, o.left - 4);
  }
  return std::max(right, r.right);
}

int DialogView::StaticTop(const Control& c, int height) const {
  const Rect r = ControlRect(c);
  // The lines end above the inside edge of a group box around the text (or
  // the dialog's edge) and a line's gap above a control below it in its
  // columns; lines that would reach either start higher, into the free room
  // above the text, down from the nearest control above it in its columns
  // (or the group's caption).
  int bottom = BoxRect().bottom - 2;
  int top = BoxRect().top + (caption_ ? kTitleBarHeight : 0) + 2;
  for (const Control& other : controls_) {
    if (&other == &c) continue;
    if (other.t.kind == ControlKind::Picture && !(other.t.style & kProgramMark)) continue;  // draws nothing
    const Rect o = ControlRect(other);
    if (other.t.kind == ControlKind::Group) {
      if (o.left <= r.left && o.right >= r.right && o.top <= r.top && o.bottom >= r.bottom) {
        bottom = std::min(bottom, o.bottom - 4);
        top = std::max(top, o.top + TextHeight());
      }
      continue;
    }
    const bool sameColumns = o.left < r.right && o.right > r.left;
    if (sameColumns && o.bottom <= r.top) top = std::max(top, o.bottom + 2);
    if (sameColumns && o.top > r.top) bottom = std::min(bottom, o.top - kLineGap);
  }
  const int overflow = r.top + height - bottom;
  return overflow > 0 ? std::max(r.top - overflow, std::min(top, r.top)) : r.top;
}

Rect DialogView::ItemRect(int id) const {
  const Control* c = Get(id);
  return c ? ControlRect(*c) : Rect{};
}

int DialogView::HitTest(int x, int y) const {
  for (size_t i = controls_.size(); i-- > 0;) {
    const Control& c = controls_[i];
    if (c.t.kind == ControlKind::Group || c.t.kind == ControlKind::Static || c.t.kind == ControlKind::Picture)
      continue;
    if (Inside(ControlRect(c), x, y)) return static_cast<int>(i);
  }
  return -1;
}

void DialogView::HandleMouseMove(int x, int y) {
  hover_ = HitTest(x, y);
  if (dragList_ < 0 || dragList_ >= static_cast<int>(controls_.size())) return;
  // The thumb follows the pointer; the entries in view follow the thumb.
  Control& c = controls_[dragList_];
  const Rect bar = ListScrollBar(c), thumb = ListThumb(c);
  const int trackLength = bar.Height() - 2 * kScrollBarWidth - thumb.Height();
  const int most = std::max(0, static_cast<int>(c.items.size()) - ListVisibleRows(c));
  if (trackLength <= 0 || most == 0) return;
  const int along = y - dragOffset_ - (bar.top + kScrollBarWidth);
  ScrollListTo(c, (along * most + trackLength / 2) / trackLength);
}

void DialogView::HandleMouseDown(int x, int y, bool doubleClick, bool ctrl, bool shift) {
  const int i = HitTest(x, y);
  pressed_ = i;
  dragList_ = -1;
  if (i < 0 || !controls_[i].enabled) return;
  Control& c = controls_[i];
  if (Focusable(c)) SetFocus(c.t.id);
  const Rect r = ControlRect(c);
  if (c.t.kind == ControlKind::List) {
    const int rows = ListVisibleRows(c);
    if (ListHasScrollBar(c) && Inside(ListScrollBar(c), x, y)) {
      // The arrows step one entry, the track a page, the thumb is dragged.
      const Rect bar = ListScrollBar(c), thumb = ListThumb(c);
      if (y < bar.top + kScrollBarWidth) {
        ScrollListTo(c, c.top - 1);
      } else if (y >= bar.bottom - kScrollBarWidth) {
        ScrollListTo(c, c.top + 1);
      } else if (y < thumb.top) {
        ScrollListTo(c, c.top - rows);
      } else if (y >= thumb.bottom) {
        ScrollListTo(c, c.top + rows);
      } else {
        dragList_ = i;
        dragOffset_ = y - thumb.top;
      }
      return;
    }
    const int row = c.top + (y - r.top - 2) / ListRowHeight();
    if (row >= 0 && row < static_cast<int>(c.items.size()) && row < c.top + rows) {
      // Ctrl+click marks or unmarks one entry of a list of several, Shift+
      // click marks the range from the last entry clicked.
      if ((c.t.style & kMultiSelect) && ctrl && !shift) {
        c.marked[row] = !c.marked[row];
        c.selected = c.rangeStart = row;
        Notify(c.t.id, kSelChange);
      } else {
        MoveListCursor(c, row, false, shift && (c.t.style & kMultiSelect));
      }
      if (doubleClick) Activate(c);
    }
  } else if (c.t.kind == ControlKind::Edit) {
    // The caret goes to the character boundary nearest the click.
    size_t pos = 0;
    for (size_t i2 = 0; i2 < c.t.text.size();) {
      const size_t len = Cp932CharLength(c.t.text, i2);
      if (r.left + 4 + Measure(c.t.text.substr(0, i2 + len)) > x + 3) break;
      i2 += len;
      pos = i2;
    }
    c.caret = c.anchor = pos;
  } else if (c.t.kind == ControlKind::ScrollBar) {
    const bool vertical = (c.t.style & kVertical) != 0;
    const bool before = vertical ? y < (r.top + r.bottom) / 2 : x < (r.left + r.right) / 2;
    ScrollBy(c, before ? -1 : 1);
  }
}

void DialogView::HandleClick(int x, int y) {
  dragList_ = -1;
  const int i = HitTest(x, y);
  const int pressed = pressed_;
  pressed_ = -1;
  // A click is a press and a release on the same control.
  if (i < 0 || i != pressed) return;
  Control& c = controls_[i];
  if (c.t.kind == ControlKind::Button || c.t.kind == ControlKind::Check || c.t.kind == ControlKind::Radio)
    Activate(c);
}

void DialogView::HandleMouseWheel(int x, int y, int steps) {
  // The list under the pointer scrolls, else the one with the focus.
  int i = HitTest(x, y);
  if (i < 0 || controls_[i].t.kind != ControlKind::List) i = focus_;
  if (i < 0 || controls_[i].t.kind != ControlKind::List) return;
  Control& c = controls_[i];
  ScrollListTo(c, c.top - 3 * steps);
}

bool DialogView::WantsTextInput(Rect* caret) const {
  if (focus_ < 0 || controls_[focus_].t.kind != ControlKind::Edit || !controls_[focus_].enabled) return false;
  if (caret) {
    const Control& c = controls_[focus_];
    const Rect r = ControlRect(c);
    const int x = r.left + 4 + Measure(c.t.text.substr(0, c.caret));
    *caret = Rect{x, r.top, x + 2, r.bottom};
  }
  return true;
}

bool DialogView::PointerStart(int* x, int* y) const {
  if (pointerItem_ == kPointerAtOffset) {
    *x = originX_ + pointerX_;
    *y = originY_ + pointerY_;
    return true;
  }
  if (pointerItem_ < 0) return false;
  const Control* c = pointerItem_ > 0 ? Get(pointerItem_) : nullptr;
  const Rect r = c ? ControlRect(*c) : BoxRect();
  *x = (r.left + r.right) / 2;
  *y = (r.top + r.bottom) / 2;
  return true;
}

bool DialogView::PreferredPosition(int* x, int* y) const {
  if (!placed_) return false;
  *x = placeX_;
  *y = placeY_;
  return true;
}

}  // namespace plat
