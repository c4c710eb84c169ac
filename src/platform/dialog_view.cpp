#include "platform/dialog_view.h"

#include <algorithm>
#include <cstdlib>

#include "platform/dialogs.h"
#include "platform/font_raster.h"
#include "platform/keys.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace plat {
namespace {

// Dialog units to pixels: a dialog font of about 12 pixels is eight vertical
// units high; horizontally a little more than its average quarter width,
// since our font is wider than the narrow gothic the layouts were made for.
constexpr int kUnitXNum = 7, kUnitXDen = 4;
constexpr int kUnitYNum = 3, kUnitYDen = 2;
// 13 pixels: the installed gothic's own 12-pixel bitmaps have no underscore.
constexpr int kFontPx = 13;
constexpr int kTitleBarHeight = 22;

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

int PxX(int units) { return units * kUnitXNum / kUnitXDen; }
int PxY(int units) { return units * kUnitYNum / kUnitYDen; }

// Lives for the run, like the message boxes' font; null without fonts
// (dialogs then work, only without text).
FontFace* Font() {
  static FontFace* font = FontFace::Open(FindFontFile("IPAGothic"), kFontPx).release();
  return font;
}

int Measure(const std::string& cp932) {
  FontFace* font = Font();
  const std::string utf8 = Cp932ToUtf8(cp932);
  return font ? font->MeasureUtf8(utf8) : static_cast<int>(utf8.size()) * 6;
}

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

int TextHeight() {
  FontFace* font = Font();
  return font ? font->Ascent() + font->Descent() : kFontPx;
}

bool Inside(const Rect& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

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

// UTF-8 characters of a typed text, each converted to CP932 on its own so
// that one character without a CP932 form is refused alone.
std::vector<std::string> TypedCharacters(const std::string& utf8) {
  std::vector<std::string> out;
  for (size_t i = 0; i < utf8.size();) {
    const uint8_t b = static_cast<uint8_t>(utf8[i]);
    size_t len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 1;
    if (i + len > utf8.size()) len = utf8.size() - i;
    bool lossless = false;
    std::string cp = Utf8ToCp932(utf8.substr(i, len), &lossless);
    if (lossless && !cp.empty()) out.push_back(std::move(cp));
    i += len;
  }
  return out;
}

}  // namespace

size_t Cp932CharLength(const std::string& text, size_t i) {
  if (i + 1 < text.size() && IsCp932LeadByte(static_cast<uint8_t>(text[i])) &&
      IsCp932TrailByte(static_cast<uint8_t>(text[i + 1])))
    return 2;
  return 1;
}

std::string CleanEditText(const std::string& cp932, bool multiLine) {
  std::string out;
  for (size_t i = 0; i < cp932.size();) {
    const size_t len = Cp932CharLength(cp932, i);
    const uint8_t b = static_cast<uint8_t>(cp932[i]);
    if (len == 2) {
      out.append(cp932, i, 2);
    } else if (b == '\n') {
      if (multiLine) out += "\r\n";
    } else if (b >= 0x20 && b != 0x7F && !IsCp932LeadByte(b)) {
      out += static_cast<char>(b);
    }
    i += len;
  }
  return out;
}

bool FitsEditLimits(const std::string& text, const EditLimits& limits) {
  if (static_cast<int64_t>(text.size()) > limits.MaxBytes()) return false;
  if (limits.lines > 0 && std::count(text.begin(), text.end(), '\n') + 1 > limits.lines) return false;
  if (limits.characters > 0) {
    int64_t count = 0;
    for (size_t i = 0; i < text.size();) {
      const size_t len = limits.doubleByte ? Cp932CharLength(text, i) : 1;
      if (text[i] != '\n' || !limits.doubleByte) ++count;
      i += len;
    }
    if (count > limits.characters) return false;
  }
  return true;
}

std::string CutToEditLimits(std::string text, const EditLimits& limits) {
  // Character starts, so a cut never splits a double-byte character.
  std::vector<size_t> starts;
  for (size_t i = 0; i < text.size(); i += Cp932CharLength(text, i)) starts.push_back(i);
  while (!FitsEditLimits(text, limits) && !starts.empty()) {
    text.resize(starts.back());
    starts.pop_back();
    // "\r\n" goes as one break.
    if (!text.empty() && text.back() == '\r' && !starts.empty()) {
      text.pop_back();
      starts.pop_back();
    }
  }
  return text;
}

DialogView::DialogView(const DialogTemplate& t) : title_(t.title), caption_(t.caption) {
  width_ = PxX(t.width);
  height_ = PxY(t.height) + (caption_ ? kTitleBarHeight : 0);
  for (const ControlTemplate& ct : t.controls) {
    Control c;
    c.t = ct;
    controls_.push_back(std::move(c));
  }
  for (size_t i = 0; i < controls_.size(); ++i) {
    if (Focusable(controls_[i])) {
      focus_ = static_cast<int>(i);
      break;
    }
  }
}

int DialogView::Find(int id) const {
  for (size_t i = 0; i < controls_.size(); ++i)
    if (controls_[i].t.id == id) return static_cast<int>(i);
  return -1;
}
DialogView::Control* DialogView::Get(int id) {
  const int i = Find(id);
  return i < 0 ? nullptr : &controls_[i];
}
const DialogView::Control* DialogView::Get(int id) const {
  const int i = Find(id);
  return i < 0 ? nullptr : &controls_[i];
}

void DialogView::EndDialog(int result) {
  result_ = result;
  finished_ = true;
}

ControlKind DialogView::KindOf(int id) const {
  const Control* c = Get(id);
  return c ? c->t.kind : ControlKind::Static;
}

std::string DialogView::ItemText(int id) const {
  const Control* c = Get(id);
  return c ? c->t.text : std::string();
}

void DialogView::SetItemText(int id, const std::string& cp932) {
  Control* c = Get(id);
  if (!c) return;
  if (c->t.kind == ControlKind::Edit) {
    c->t.text = CutToEditLimits(CleanEditText(cp932, (c->t.style & kMultiLine) != 0), c->limits);
    c->caret = c->anchor = c->t.text.size();
  } else {
    c->t.text = cp932;
  }
}

bool DialogView::Checked(int id) const {
  const Control* c = Get(id);
  return c && c->checked;
}

void DialogView::SetCheck(int id, bool on) {
  if (Control* c = Get(id)) c->checked = on;
}

void DialogView::Enable(int id, bool on) {
  if (Control* c = Get(id)) c->enabled = on;
}

bool DialogView::Enabled(int id) const {
  const Control* c = Get(id);
  return c && c->enabled;
}

void DialogView::SetFocus(int id) {
  const int i = Find(id);
  if (i < 0 || !Focusable(controls_[i])) return;
  if (focus_ >= 0 && focus_ != i && controls_[focus_].t.kind == ControlKind::Edit)
    Notify(controls_[focus_].t.id, kEditKillFocus);
  focus_ = i;
}

int DialogView::FocusId() const { return focus_ >= 0 ? controls_[focus_].t.id : 0; }

void DialogView::SetEditLimits(int id, const EditLimits& limits) {
  Control* c = Get(id);
  if (!c) return;
  c->limits = limits;
  c->t.text = CutToEditLimits(c->t.text, limits);
  c->caret = std::min(c->caret, c->t.text.size());
  c->anchor = std::min(c->anchor, c->t.text.size());
}

void DialogView::SetSelection(int id, int start, int end) {
  Control* c = Get(id);
  if (!c) return;
  const size_t size = c->t.text.size();
  auto clampPos = [&](int v) {
    size_t p = v < 0 ? size : std::min<size_t>(static_cast<size_t>(v), size);
    // Never inside a double-byte character.
    size_t i = 0;
    while (i < p) {
      const size_t len = Cp932CharLength(c->t.text, i);
      if (i + len > p) break;
      i += len;
    }
    return i;
  };
  c->anchor = clampPos(start);
  c->caret = clampPos(end);
}

void DialogView::GetSelection(int id, int* start, int* end) const {
  const Control* c = Get(id);
  const size_t a = c ? std::min(c->anchor, c->caret) : 0, b = c ? std::max(c->anchor, c->caret) : 0;
  if (start) *start = static_cast<int>(a);
  if (end) *end = static_cast<int>(b);
}

void DialogView::SetListItems(int id, const std::vector<std::string>& items) {
  Control* c = Get(id);
  if (!c) return;
  c->items = items;
  c->selected = items.empty() ? -1 : 0;
  c->top = 0;
}

int DialogView::ListSelection(int id) const {
  const Control* c = Get(id);
  return c ? c->selected : -1;
}

void DialogView::SetListSelection(int id, int index) {
  Control* c = Get(id);
  if (!c) return;
  c->selected = index >= 0 && index < static_cast<int>(c->items.size()) ? index : -1;
  const int rows = ListVisibleRows(*c);
  if (c->selected >= 0) {
    if (c->selected < c->top) c->top = c->selected;
    if (c->selected >= c->top + rows) c->top = c->selected - rows + 1;
  }
}

void DialogView::SetScrollRange(int id, int minimum, int maximum, int page) {
  Control* c = Get(id);
  if (!c) return;
  c->minimum = minimum;
  c->maximum = std::max(minimum, maximum);
  c->page = std::max(1, page);
  c->position = std::clamp(c->position, c->minimum, c->maximum);
}

int DialogView::ScrollPosition(int id) const {
  const Control* c = Get(id);
  return c ? c->position : 0;
}

bool DialogView::Focusable(const Control& c) const {
  switch (c.t.kind) {
    case ControlKind::Button:
    case ControlKind::Check:
    case ControlKind::Radio:
    case ControlKind::Edit:
    case ControlKind::List:
    case ControlKind::ScrollBar:
      return c.enabled;
    default:
      return false;
  }
}

void DialogView::Notify(int id, int code) {
  if (onCommand_) onCommand_(id, code);
}

void DialogView::Activate(Control& c) {
  if (!c.enabled) return;
  switch (c.t.kind) {
    case ControlKind::Check:
      c.checked = !c.checked;
      break;
    case ControlKind::Radio: {
      // Auto radio buttons: the one pressed is checked, the rest of its
      // group cleared.
      const int i = static_cast<int>(&c - controls_.data());
      int first = i;
      while (first > 0 && !(controls_[first].t.style & kGroupStart) &&
             controls_[first - 1].t.kind == ControlKind::Radio)
        --first;
      for (int k = first; k < static_cast<int>(controls_.size()) && controls_[k].t.kind == ControlKind::Radio; ++k) {
        if (k > first && (controls_[k].t.style & kGroupStart)) break;
        controls_[k].checked = k == i;
      }
      break;
    }
    case ControlKind::Button:
    case ControlKind::List:
      break;
    default:
      return;
  }
  Notify(c.t.id, kClicked);
}

void DialogView::Click(int id) {
  Control* c = Get(id);
  if (!c || !c->enabled) return;
  if (Focusable(*c)) SetFocus(id);
  Activate(*c);
}

void DialogView::PressDefault() {
  if (focus_ >= 0 && controls_[focus_].t.kind == ControlKind::Button) {
    Activate(controls_[focus_]);
    return;
  }
  for (Control& c : controls_) {
    if (c.t.kind == ControlKind::Button && (c.t.style & kDefaultButton)) {
      Activate(c);
      return;
    }
  }
  // A dialog without a default button ends as confirmed.
  if (!finished_) EndDialog(1);
}

void DialogView::Cancel() {
  composition_.clear();
  if (onClose_)
    onClose_();
  else
    EndDialog(0);
}

void DialogView::AnswerFile(const std::string& utf8) {
  if (onFileAnswer_) {
    onFileAnswer_(utf8);
    return;
  }
  TypeText(utf8);
  PressDefault();
}

void DialogView::ReplaceSelection(Control& c, const std::string& cp932) {
  std::string& text = c.t.text;
  const size_t a = std::min(c.anchor, c.caret), b = std::max(c.anchor, c.caret);
  std::string result = text.substr(0, a);
  size_t caret = a;
  // Whole characters go in one by one while the text still fits: a text
  // too long for the box is cut at a character boundary.
  const std::string tail = text.substr(b);
  for (size_t i = 0; i < cp932.size();) {
    const size_t len = Cp932CharLength(cp932, i);
    std::string candidate = result + cp932.substr(i, len);
    if (!FitsEditLimits(candidate + tail, c.limits)) break;
    result = std::move(candidate);
    caret += len;
    i += len;
  }
  const std::string before = text;
  text = result + tail;
  c.caret = c.anchor = caret;
  if (text != before) Notify(c.t.id, kEditChange);
}

void DialogView::TypeText(const std::string& utf8) {
  composition_.clear();
  if (focus_ < 0 || controls_[focus_].t.kind != ControlKind::Edit || !controls_[focus_].enabled) return;
  Control& c = controls_[focus_];
  const bool multi = (c.t.style & kMultiLine) != 0;
  std::string cp932;
  for (const std::string& ch : TypedCharacters(utf8)) {
    if (ch == "\n" && !multi) break;  // a single-line box keeps the first line of a paste
    if (ch == "\r") continue;
    cp932 += ch;
  }
  ReplaceSelection(c, CleanEditText(cp932, multi));
}

void DialogView::EditKey(Control& c, int vk, bool ctrl, bool shift) {
  std::string& text = c.t.text;
  auto prevStart = [&](size_t pos) {
    size_t i = 0, last = 0;
    while (i < pos) {
      last = i;
      i += Cp932CharLength(text, i);
    }
    return last;
  };
  switch (vk) {
    case VK_LEFT:
      c.caret = c.caret > 0 ? prevStart(c.caret) : 0;
      if (!shift) c.anchor = c.caret;
      break;
    case VK_RIGHT:
      if (c.caret < text.size()) c.caret += Cp932CharLength(text, c.caret);
      if (!shift) c.anchor = c.caret;
      break;
    case VK_HOME:
      c.caret = 0;
      if (!shift) c.anchor = c.caret;
      break;
    case VK_END:
      c.caret = text.size();
      if (!shift) c.anchor = c.caret;
      break;
    case VK_BACK:
      if (c.anchor == c.caret && c.caret > 0) c.anchor = prevStart(c.caret);
      ReplaceSelection(c, "");
      break;
    case VK_DELETE:
      if (c.anchor == c.caret && c.caret < text.size()) c.caret += Cp932CharLength(text, c.caret);
      ReplaceSelection(c, "");
      break;
    case 'A':
      if (ctrl) {
        c.anchor = 0;
        c.caret = text.size();
      }
      break;
    default:
      break;
  }
}

void DialogView::ListKey(Control& c, int vk) {
  const int count = static_cast<int>(c.items.size());
  if (count == 0) return;
  int sel = c.selected < 0 ? 0 : c.selected;
  const int rows = std::max(1, ListVisibleRows(c));
  switch (vk) {
    case VK_UP: sel = std::max(0, sel - 1); break;
    case VK_DOWN: sel = std::min(count - 1, sel + 1); break;
    case VK_PRIOR: sel = std::max(0, sel - rows); break;
    case VK_NEXT: sel = std::min(count - 1, sel + rows); break;
    case VK_HOME: sel = 0; break;
    case VK_END: sel = count - 1; break;
    default: return;
  }
  if (sel != c.selected) {
    SetListSelection(c.t.id, sel);
    Notify(c.t.id, kSelChange);
  }
}

void DialogView::ScrollBy(Control& c, int delta) {
  const int pos = std::clamp(c.position + delta, c.minimum, c.maximum);
  if (pos == c.position) return;
  c.position = pos;
  Notify(c.t.id, kSelChange);
}

void DialogView::MoveFocus(int step) {
  const int n = static_cast<int>(controls_.size());
  if (n == 0) return;
  int i = focus_ < 0 ? (step > 0 ? -1 : 0) : focus_;
  for (int k = 0; k < n; ++k) {
    i = (i + step + n) % n;
    const Control& c = controls_[i];
    if (!Focusable(c)) continue;
    // One stop per radio group: its checked button (or its first).
    if (c.t.kind == ControlKind::Radio && !c.checked) {
      bool groupHasChecked = false;
      int first = i;
      while (first > 0 && !(controls_[first].t.style & kGroupStart) &&
             controls_[first - 1].t.kind == ControlKind::Radio)
        --first;
      for (int g = first; g < n && controls_[g].t.kind == ControlKind::Radio; ++g) {
        if (g > first && (controls_[g].t.style & kGroupStart)) break;
        groupHasChecked |= controls_[g].checked;
      }
      if (groupHasChecked || i != first) continue;
    }
    SetFocus(c.t.id);
    return;
  }
}

void DialogView::MoveInRadioGroup(int step) {
  if (focus_ < 0) return;
  const int n = static_cast<int>(controls_.size());
  int i = focus_ + step;
  if (i < 0 || i >= n || controls_[i].t.kind != ControlKind::Radio) return;
  if ((step > 0 && (controls_[i].t.style & kGroupStart)) || (step < 0 && (controls_[focus_].t.style & kGroupStart)))
    return;
  SetFocus(controls_[i].t.id);
  Activate(controls_[i]);
}

void DialogView::HandleKey(int vk, bool ctrl, bool shift) {
  if (finished_) return;
  const bool composing = Composing();
  if (keyFilter_ && keyFilter_(vk, composing)) return;
  // While the input method composes, the keys are its own.
  if (composing) {
    if (vk == VK_ESCAPE) composition_.clear();
    return;
  }
  Control* c = focus_ >= 0 ? &controls_[focus_] : nullptr;
  const ControlKind kind = c ? c->t.kind : ControlKind::Static;
  switch (vk) {
    case VK_TAB:
      MoveFocus(shift ? -1 : 1);
      return;
    case VK_ESCAPE:
      if (onEscape_)
        onEscape_();
      else
        Cancel();
      return;
    case VK_RETURN:
      if (kind == ControlKind::Edit && (c->t.style & kMultiLine)) {
        ReplaceSelection(*c, "\r\n");
      } else if (kind == ControlKind::List) {
        Activate(*c);
      } else {
        PressDefault();
      }
      return;
    case VK_SPACE:
      if (kind == ControlKind::Button || kind == ControlKind::Check || kind == ControlKind::Radio) Activate(*c);
      return;
    default:
      break;
  }
  if (kind == ControlKind::Edit) {
    EditKey(*c, vk, ctrl, shift);
    return;
  }
  if (kind == ControlKind::List) {
    ListKey(*c, vk);
    return;
  }
  if (kind == ControlKind::ScrollBar) {
    if (vk == VK_LEFT || vk == VK_UP) ScrollBy(*c, -1);
    if (vk == VK_RIGHT || vk == VK_DOWN) ScrollBy(*c, 1);
    if (vk == VK_PRIOR) ScrollBy(*c, -c->page);
    if (vk == VK_NEXT) ScrollBy(*c, c->page);
    return;
  }
  if (kind == ControlKind::Radio && (vk == VK_UP || vk == VK_LEFT || vk == VK_DOWN || vk == VK_RIGHT)) {
    MoveInRadioGroup(vk == VK_UP || vk == VK_LEFT ? -1 : 1);
    return;
  }
  if (vk == VK_UP || vk == VK_LEFT) MoveFocus(-1);
  if (vk == VK_DOWN || vk == VK_RIGHT) MoveFocus(1);
}

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

int DialogView::HitTest(int x, int y) const {
  for (size_t i = controls_.size(); i-- > 0;) {
    const Control& c = controls_[i];
    if (c.t.kind == ControlKind::Group || c.t.kind == ControlKind::Static || c.t.kind == ControlKind::Picture)
      continue;
    if (Inside(ControlRect(c), x, y)) return static_cast<int>(i);
  }
  return -1;
}

void DialogView::HandleMouseMove(int x, int y) { hover_ = HitTest(x, y); }

void DialogView::HandleMouseDown(int x, int y, bool doubleClick) {
  const int i = HitTest(x, y);
  pressed_ = i;
  if (i < 0 || !controls_[i].enabled) return;
  Control& c = controls_[i];
  if (Focusable(c)) SetFocus(c.t.id);
  const Rect r = ControlRect(c);
  if (c.t.kind == ControlKind::List) {
    const int row = c.top + (y - r.top - 2) / ListRowHeight();
    if (row >= 0 && row < static_cast<int>(c.items.size())) {
      if (row != c.selected) {
        SetListSelection(c.t.id, row);
        Notify(c.t.id, kSelChange);
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
  const int i = HitTest(x, y);
  const int pressed = pressed_;
  pressed_ = -1;
  // A click is a press and a release on the same control.
  if (i < 0 || i != pressed) return;
  Control& c = controls_[i];
  if (c.t.kind == ControlKind::Button || c.t.kind == ControlKind::Check || c.t.kind == ControlKind::Radio)
    Activate(c);
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
  if (pointerItem_ < 0) return false;
  const Control* c = pointerItem_ > 0 ? Get(pointerItem_) : nullptr;
  const Rect r = c ? ControlRect(*c) : BoxRect();
  *x = (r.left + r.right) / 2;
  *y = (r.top + r.bottom) / 2;
  return true;
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
        int y = r.top;
        for (const std::string& line : Lines(c.t.text)) {
          Text(canvas, label, r.left, y, line, ink);
          y += th + 2;
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
        Fill(canvas, r.left, y, s, s, kWhite);
        Outline(canvas, Rect{r.left, y, r.left + s, y + s}, 1, focused ? kFocusEdge : kEdge);
        if (c.checked) Fill(canvas, r.left + 3, y + 3, s - 6, s - 6, c.t.kind == ControlKind::Radio ? kSelection : kText);
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
      case ControlKind::List: {
        Fill(canvas, r.left, r.top, r.Width(), r.Height(), kWhite);
        Outline(canvas, r, 1, focused ? kFocusEdge : kEdge);
        const int rh = ListRowHeight();
        const int rows = ListVisibleRows(c);
        const Rect inner{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
        for (int k = 0; k < rows && c.top + k < static_cast<int>(c.items.size()); ++k) {
          const int idx = c.top + k;
          const int y = r.top + 2 + k * rh;
          const bool sel = idx == c.selected;
          if (sel) Fill(canvas, r.left + 2, y, r.Width() - 4, rh, focused ? kSelection : kButtonFace);
          Text(canvas, inner, r.left + 5, y + 2, c.items[idx], sel && focused ? kWhite : kText);
        }
        break;
      }
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

namespace {

// Applies one scripted answer to a dialog. "click:1003,1004,1000" clicks
// those controls in order.
void ApplyScript(DialogView& view, const ScriptedAnswer& answer) {
  const std::string& word = answer.word;
  if (word == "ok" || word == "yes") {
    view.PressDefault();
  } else if (word == "cancel" || word == "no") {
    view.Cancel();
  } else if (word == "text") {
    // The answer replaces the focused box's text, as typed.
    const int id = view.FocusId();
    if (view.KindOf(id) == ControlKind::Edit) view.SetSelection(id, 0, -1);
    view.TypeText(answer.value);
    view.PressDefault();
  } else if (word == "file") {
    view.AnswerFile(answer.value);
  } else if (word.compare(0, 6, "click:") == 0) {
    const std::string list = word.substr(6);
    size_t start = 0;
    while (start < list.size() && !view.Finished()) {
      size_t end = list.find(',', start);
      if (end == std::string::npos) end = list.size();
      view.Click(std::atoi(list.substr(start, end - start).c_str()));
      start = end + 1;
    }
  }
}

}  // namespace

int RunDialog(DialogView& view, const std::string& cp932LogText) {
  std::string how;
  const ScriptedAnswer answer = TakeScriptedAnswer();
  if (answer.present) {
    ApplyScript(view, answer);
    how = answer.word == "text" || answer.word == "file" ? answer.word + ":" + answer.value : answer.word;
    // A script that leaves the dialog open (a refused name, a button the
    // dialog lacks) must not hang the run: it ends as cancelled.
    if (!view.Finished()) {
      view.Cancel();
      if (!view.Finished()) view.EndDialog(0);
      how += " (left open, cancelled)";
    }
  } else {
    const bool shown = RunOnMainThread([&]() -> int64_t { return GetWindowHost().RunModalView(view) ? 1 : 0; }) != 0;
    if (!shown) {
      view.PressDefault();
      if (!view.Finished()) view.EndDialog(0);
      how = "default, no display";
    } else {
      how = "shown";
    }
  }
  LogDialog(Utf8ToCp932(view.Utf8Title()), cp932LogText,
            "result " + std::to_string(view.Result()) + " (" + how + ")");
  return view.Result();
}

}  // namespace plat
