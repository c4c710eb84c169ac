#include "platform/dialog_view.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

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

// Characters that never start a line (closing punctuation, the long vowel
// mark, small kana), in CP932.
bool NoLineStart(const std::string& cp932Char) {
  static const char* const kChars[] = {"。", "、", "，", "．", "・", "：", "；", "？", "！", "ー", "」", "』", "）",
                                       "】", "〕", "〉", "》", "〜", "ぁ", "ぃ", "ぅ", "ぇ", "ぉ", "っ", "ゃ", "ゅ",
                                       "ょ", "ァ", "ィ", "ゥ", "ェ", "ォ", "ッ", "ャ", "ュ", "ョ"};
  if (cp932Char.size() == 1) return std::string(".,;:!?)]}").find(cp932Char[0]) != std::string::npos;
  for (const char* c : kChars)
    if (cp932Char == Sjis(c)) return true;
  return false;
}

// Where in `line` a bracket opens that the line does not close (npos when
// none): a short bracketed phrase is kept together on the next line.
size_t OpenBracket(const std::string& line) {
  static const char* const kOpen[] = {"（", "「", "『", "【", "〔"};
  static const char* const kClose[] = {"）", "」", "』", "】", "〕"};
  size_t open = std::string::npos;
  for (size_t i = 0; i < line.size(); i += Cp932CharLength(line, i)) {
    const std::string ch = line.substr(i, Cp932CharLength(line, i));
    if (ch == "(" || ch == "[") open = i;
    if (ch == ")" || ch == "]") open = std::string::npos;
    for (const char* o : kOpen)
      if (ch == Sjis(o)) open = i;
    for (const char* c : kClose)
      if (ch == Sjis(c)) open = std::string::npos;
  }
  return open;
}

// Cuts the last line, when it is wider than `width`, into lines that are
// not (a single-byte word longer than a line; never inside a character).
void CutOverlong(std::vector<std::string>& lines, int width) {
  while (Measure(lines.back()) > width) {
    std::string& over = lines.back();
    std::vector<size_t> starts;
    for (size_t i = 0; i < over.size(); i += Cp932CharLength(over, i)) starts.push_back(i);
    if (starts.size() < 2) return;
    size_t keep = 1;  // at least one character stays
    while (keep + 1 < starts.size() && Measure(over.substr(0, starts[keep + 1])) <= width) ++keep;
    std::string rest = over.substr(starts[keep]);
    over.resize(starts[keep]);
    lines.push_back(std::move(rest));
  }
}

// Breaks a CP932 line into lines no wider than `width`: between two
// double-byte characters, or at spaces between words of single-byte
// characters (a word wider than the line is cut where it must be). A
// character that may not start a line stays with the one before it, and a
// bracketed phrase that does not fit where it starts begins the next line.
std::vector<std::string> WrapLine(const std::string& text, int width) {
  struct Unit {
    std::string text;
    bool space;
  };
  std::vector<Unit> units;
  for (size_t i = 0; i < text.size();) {
    const size_t len = Cp932CharLength(text, i);
    const bool space = len == 1 && text[i] == ' ';
    const bool wordChar = len == 1 && !space;
    // Single-byte characters between spaces are one word, punctuation
    // included ("System.ini").
    if (wordChar && !units.empty() && !units.back().space && Cp932CharLength(units.back().text, 0) == 1)
      units.back().text += text[i];
    else
      units.push_back({text.substr(i, len), space});
    i += len;
  }
  std::vector<std::string> lines(1);
  for (const Unit& u : units) {
    std::string& line = lines.back();
    if (line.empty() && u.space && lines.size() > 1) continue;  // no space at a wrapped line's start
    if (line.empty() || Measure(line + u.text) <= width) {
      line += u.text;
      CutOverlong(lines, width);
      continue;
    }
    if (u.space) {
      lines.emplace_back();
      continue;
    }
    // The character before a closing mark goes down with it; so does an
    // open bracketed phrase.
    std::string carried;
    const size_t open = OpenBracket(line);
    if (open != std::string::npos && open > 0 && Measure(line.substr(open) + u.text) <= width) {
      carried = line.substr(open);
      line.resize(open);
    } else if (NoLineStart(u.text.substr(0, Cp932CharLength(u.text, 0)))) {
      size_t last = 0;
      for (size_t i = 0; i < line.size(); i += Cp932CharLength(line, i)) last = i;
      if (last > 0) {
        carried = line.substr(last);
        line.resize(last);
      }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    lines.push_back(carried + u.text);
    CutOverlong(lines, width);
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

int MeasureDialogText(const std::string& cp932) { return Measure(cp932); }
std::vector<std::string> WrapDialogText(const std::string& cp932, int width) { return WrapLine(cp932, width); }

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
  c->marked.assign(items.size(), false);
  c->top = 0;
  c->selected = c->rangeStart = -1;
  if (!items.empty()) SetListSelection(id, 0);
}

int DialogView::ListSelection(int id) const {
  const Control* c = Get(id);
  return c ? c->selected : -1;
}

void DialogView::SetListSelection(int id, int index) {
  Control* c = Get(id);
  if (!c) return;
  c->selected = index >= 0 && index < static_cast<int>(c->items.size()) ? index : -1;
  c->rangeStart = c->selected;
  if (c->t.style & kMultiSelect) {
    c->marked.assign(c->items.size(), false);
    if (c->selected >= 0) c->marked[c->selected] = true;
  }
  const int rows = ListVisibleRows(*c);
  if (c->selected >= 0) {
    if (c->selected < c->top) c->top = c->selected;
    if (c->selected >= c->top + rows) c->top = c->selected - rows + 1;
  }
}

std::vector<int> DialogView::ListMarked(int id) const {
  std::vector<int> out;
  const Control* c = Get(id);
  if (!c) return out;
  if (!(c->t.style & kMultiSelect)) {
    if (c->selected >= 0) out.push_back(c->selected);
    return out;
  }
  for (size_t i = 0; i < c->marked.size(); ++i)
    if (c->marked[i]) out.push_back(static_cast<int>(i));
  return out;
}

void DialogView::SetListMarked(int id, int index, bool marked) {
  Control* c = Get(id);
  if (!c || !(c->t.style & kMultiSelect) || index < 0 || index >= static_cast<int>(c->marked.size())) return;
  c->marked[index] = marked;
}

int DialogView::ListTop(int id) const {
  const Control* c = Get(id);
  return c ? c->top : 0;
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

void DialogView::MoveListCursor(Control& c, int row, bool ctrl, bool shift) {
  const int count = static_cast<int>(c.items.size());
  if (count == 0) return;
  row = std::clamp(row, 0, count - 1);
  const int before = c.selected;
  const std::vector<bool> marksBefore = c.marked;
  if (!(c.t.style & kMultiSelect)) {
    c.selected = row;
  } else if (shift) {
    if (c.rangeStart < 0) c.rangeStart = c.selected >= 0 ? c.selected : row;
    if (!ctrl) c.marked.assign(c.items.size(), false);
    for (int i = std::min(c.rangeStart, row); i <= std::max(c.rangeStart, row); ++i) c.marked[i] = true;
    c.selected = row;
  } else if (ctrl) {
    c.selected = row;  // the marks stay as they are
  } else {
    c.marked.assign(c.items.size(), false);
    c.marked[row] = true;
    c.selected = c.rangeStart = row;
  }
  const int rows = ListVisibleRows(c);
  if (c.selected < c.top) c.top = c.selected;
  if (c.selected >= c.top + rows) c.top = c.selected - rows + 1;
  if (c.selected != before || c.marked != marksBefore) Notify(c.t.id, kSelChange);
}

void DialogView::ListKey(Control& c, int vk, bool ctrl, bool shift) {
  const int count = static_cast<int>(c.items.size());
  if (count == 0) return;
  const bool several = (c.t.style & kMultiSelect) != 0;
  if (several && (vk == VK_SPACE || (vk == 'A' && ctrl))) {
    // Space marks or unmarks the cursor's entry; Ctrl+A marks them all.
    if (c.selected < 0) c.selected = 0;
    if (vk == VK_SPACE) {
      c.marked[c.selected] = !c.marked[c.selected];
      c.rangeStart = c.selected;
    } else {
      c.marked.assign(c.items.size(), true);
    }
    Notify(c.t.id, kSelChange);
    return;
  }
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
  MoveListCursor(c, sel, several && ctrl, several && shift);
}

void DialogView::ScrollListTo(Control& c, int top) {
  const int most = std::max(0, static_cast<int>(c.items.size()) - ListVisibleRows(c));
  c.top = std::clamp(top, 0, most);
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
      if (kind == ControlKind::List) ListKey(*c, vk, ctrl, shift);
      return;
    default:
      break;
  }
  if (kind == ControlKind::Edit) {
    EditKey(*c, vk, ctrl, shift);
    return;
  }
  if (kind == ControlKind::List) {
    ListKey(*c, vk, ctrl, shift);
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

namespace {
constexpr int kScrollBarWidth = 15;  // also the arrows' height
}  // namespace

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
  // the dialog's edge); lines that would reach it start higher, into the
  // free room above the text, down from the nearest control above it in its
  // columns (or the group's caption).
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
        std::vector<std::pair<std::string, int>> lines;  // text, the step to the next line
        int height = 0;
        for (const std::string& paragraph : Lines(c.t.text)) {
          const std::vector<std::string> wrapped =
              Measure(paragraph) <= room ? std::vector<std::string>{paragraph} : WrapLine(paragraph, std::max(1, r.Width()));
          for (size_t k = 0; k < wrapped.size(); ++k) {
            lines.emplace_back(wrapped[k], k + 1 < wrapped.size() ? th : th + 2);  // wrapped lines sit closer
            height += lines.back().second;
          }
        }
        if (!lines.empty()) height -= 2;  // no gap after the last line
        int y = StaticTop(c, height);
        const Rect clip{r.left, std::min(y, r.top), box.right - 2, box.bottom - 2};
        for (const auto& [line, step] : lines) {
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
