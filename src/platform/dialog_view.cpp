// The dialog engine: a dialog's controls and what they hold, what a press,
// a click or typed text does to them, the keys, and the modal run of a
// dialog (by a script, the window host, or its default button).
#include "platform/dialog_view.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/dialog_view_layout.h"
#include "platform/dialogs.h"
#include "platform/keys.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace plat {
using namespace dialog;

namespace {

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

namespace {

// The ids of a "click:" answer; false when one is not a whole number or
// not a control of the dialog.
bool ClickIds(const DialogView& view, const std::string& list, std::vector<int>& ids) {
  size_t start = 0;
  do {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    const std::string token = list.substr(start, end - start);
    char* stop = nullptr;
    const long id = std::strtol(token.c_str(), &stop, 10);
    if (token.empty() || *stop != '\0' || id < INT32_MIN || id > INT32_MAX || !view.HasItem(static_cast<int>(id)))
      return false;
    ids.push_back(static_cast<int>(id));
    start = end + 1;
  } while (start <= list.size());
  return true;
}

// Applies one scripted answer to a dialog. "click:1003,1004,1000" clicks
// those controls in order.
void ApplyScript(DialogView& view, const ScriptedAnswer& answer) {
  const std::string& word = answer.word;
  if (word == "ok") {
    view.PressDefault();
  } else if (word == "cancel") {
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
    std::vector<int> ids;
    ClickIds(view, word.substr(6), ids);
    for (size_t i = 0; i < ids.size() && !view.Finished(); ++i) view.Click(ids[i]);
  }
}

// Whether a script's answer is one this dialog takes, and (in `accepted`)
// the kinds of answer it takes: ok and cancel always (its default button,
// and Escape); "text:" while an edit box has the focus; "file:" where the
// dialog takes a file name (a file chooser, or an edit box to type it
// into); "click:" with ids of its own controls. Yes and no are a message
// box's, never a dialog's.
bool TakesAnswer(const DialogView& view, const ScriptedAnswer& answer, std::string& accepted) {
  const int focus = view.FocusId();
  const bool typing = view.KindOf(focus) == ControlKind::Edit && view.HasItem(focus) && view.Enabled(focus);
  const bool file = typing || view.TakesFileAnswer();
  accepted = "ok, cancel";
  if (typing) accepted += ", text:...";
  if (file) accepted += ", file:...";
  accepted += ", click:ID,...";
  const std::string& word = answer.word;
  if (word == "ok" || word == "cancel") return true;
  if (word == "text") return typing;
  if (word == "file") return file;
  std::vector<int> ids;
  return word.compare(0, 6, "click:") == 0 && ClickIds(view, word.substr(6), ids);
}

}  // namespace

int RunDialog(DialogView& view, const std::string& cp932LogText) {
  std::string how;
  const ScriptedAnswer answer = TakeScriptedAnswer();
  std::string accepted;
  if (answer.present && !TakesAnswer(view, answer, accepted)) {
    // Closed as Escape closes it: nothing of the answer is taken.
    view.Cancel();
    if (!view.Finished()) view.EndDialog(0);
    LogDialog(Utf8ToCp932(view.Utf8Title()), cp932LogText,
              "result " + std::to_string(view.Result()) + " (refused \"" + answer.entry + "\": the dialog takes " +
                  accepted + ")");
    RefuseScriptedAnswer("the dialog \"" + view.Utf8Title() + "\"", answer, accepted);
    return view.Result();
  }
  if (answer.present) {
    ApplyScript(view, answer);
    how = answer.word == "text" || answer.word == "file" ? answer.word + ":" + answer.value : answer.word;
    // An answer that leaves the dialog open (a file name the chooser
    // refuses, clicks that end nothing) must not hang the run: it ends as
    // cancelled.
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
      NoteAnsweredWithoutDisplay();
    } else {
      how = "shown";
    }
  }
  LogDialog(Utf8ToCp932(view.Utf8Title()), cp932LogText,
            "result " + std::to_string(view.Result()) + " (" + how + ")");
  return view.Result();
}

}  // namespace plat
