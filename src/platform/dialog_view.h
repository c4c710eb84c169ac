// The dialog engine: a dialog built from a template in code (controls with
// ids, kinds and positions in dialog units), drawn by our own code with our
// fonts, driven by keys, typed text (with the input method's composition),
// and the mouse. Controls report what happens to the dialog's command
// handler as (id, notification) pairs; the handler ends the dialog with
// EndDialog. Texts are CP932 inside, as everywhere in the program.
//
// RunDialog runs one modally: the scripted answers (dialogs.h) answer it
// when a script is set, else the window host shows it (over the game window,
// or in a small window of its own before the game window is shown), else
// (no display) its default button answers. Every run writes a transcript
// line. Main thread (RunDialog hands itself to the main thread).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/window_host.h"

namespace plat {

enum class ControlKind { Static, Group, Radio, Check, Button, Edit, ScrollBar, Picture, List };

// Style bits of a control template.
enum : uint32_t {
  kDefaultButton = 1,  // Enter presses it
  kGroupStart = 2,     // first radio button of a group
  kMultiLine = 4,      // edit box: Enter starts a new line
  kVertical = 8,       // scroll bar
  kMultiSelect = 16,   // list: several entries may be marked (Ctrl and Shift with the mouse or keys, Space)
  kProgramMark = 32,   // picture: shows the program's mark (else it stays empty)
};

struct ControlTemplate {
  int id = 0;
  ControlKind kind = ControlKind::Static;
  std::string text;  // CP932
  int x = 0, y = 0, width = 0, height = 0;  // dialog units
  uint32_t style = 0;
};

struct DialogTemplate {
  std::string title;        // CP932
  bool caption = true;      // a title bar
  int width = 0, height = 0;  // dialog units
  std::vector<ControlTemplate> controls;
};

// Notifications a command handler receives.
enum : int {
  kClicked = 0,      // button, check box, radio button; list: an entry chosen (Enter, double click)
  kSelChange = 1,    // list: the selection moved; scroll bar: the position moved
  kEditKillFocus = 512,
  kEditChange = 1024,
};

// Limits of an edit box. The text never exceeds them: typed or pasted text
// that does not fit is cut at a character boundary, never inside a
// double-byte character.
struct EditLimits {
  int textBytes = 4096;   // bytes; with doubleByte, 2 * textBytes - 1
  int characters = 1024;  // 0: none; with doubleByte a double-byte character counts once
  int lines = 32;         // 0: none
  bool doubleByte = false;
  int MaxBytes() const { return doubleByte ? 2 * textBytes - 1 : textBytes; }
};

// Byte length of the CP932 character at text[i]: 2 for a lead byte followed
// by a trail byte, else 1.
size_t Cp932CharLength(const std::string& text, size_t i);
// Drops what no edit box keeps: a lead byte without its trail byte, control
// characters (a line break stays in a multi-line box as "\r\n").
std::string CleanEditText(const std::string& cp932, bool multiLine);
bool FitsEditLimits(const std::string& cp932, const EditLimits& limits);
// Shortens a text from its end, one whole character at a time, until it fits.
std::string CutToEditLimits(std::string cp932, const EditLimits& limits);

// Width in pixels of a CP932 line in the dialogs' font.
int MeasureDialogText(const std::string& cp932);
// A static text's line broken into lines no wider than `width` pixels
// where it can be: between double-byte characters and at spaces; closing
// marks stay with the character before them, and a bracketed phrase that
// does not fit where it opens starts the next line.
std::vector<std::string> WrapDialogText(const std::string& cp932, int width);

class DialogView final : public ModalView {
 public:
  explicit DialogView(const DialogTemplate& dialogTemplate);

  using CommandHandler = std::function<void(int id, int notification)>;
  // Escape, the close box and a script's "cancel" call the close handler;
  // without one they end the dialog with 0.
  void SetCommandHandler(CommandHandler handler) { onCommand_ = std::move(handler); }
  void SetCloseHandler(std::function<void()> handler) { onClose_ = std::move(handler); }
  // Escape (outside a composition) calls this one instead when set.
  void SetEscapeHandler(std::function<void()> handler) { onEscape_ = std::move(handler); }
  // Sees every key before the dialog does (with whether the input method is
  // composing); true swallows the key.
  void SetKeyFilter(std::function<bool(int vk, bool composing)> filter) { keyFilter_ = std::move(filter); }
  // A scripted "file:" answer (the file choosers take it as the chosen name).
  void SetFileAnswerHandler(std::function<void(const std::string& utf8)> handler) {
    onFileAnswer_ = std::move(handler);
  }
  bool TakesFileAnswer() const { return static_cast<bool>(onFileAnswer_); }

  void EndDialog(int result);
  bool Finished() const override { return finished_; }
  int Result() const { return result_; }

  // Controls, by id; calls for an id the dialog lacks do nothing and give
  // empty values.
  bool HasItem(int id) const { return Find(id) >= 0; }
  ControlKind KindOf(int id) const;
  std::string ItemText(int id) const;  // CP932
  // An edit box gets the text cut to its limits (no change notification).
  void SetItemText(int id, const std::string& cp932);
  bool Checked(int id) const;
  void SetCheck(int id, bool on);
  void Enable(int id, bool on);
  bool Enabled(int id) const;
  void SetFocus(int id);
  int FocusId() const;
  void SetEditLimits(int id, const EditLimits& limits);
  void SetSelection(int id, int start, int end);  // bytes; end -1: to the end
  void GetSelection(int id, int* start, int* end) const;
  void SetListItems(int id, const std::vector<std::string>& cp932Items);
  // The entry with the list's cursor; in a single-choice list the chosen one.
  int ListSelection(int id) const;  // -1: none
  // Puts the cursor on `index` (and, in a list of several, marks it alone).
  void SetListSelection(int id, int index);
  // The marked entries in order (a single-choice list: its choice).
  std::vector<int> ListMarked(int id) const;
  void SetListMarked(int id, int index, bool marked);
  int ListTop(int id) const;  // the first entry in view
  void SetScrollRange(int id, int minimum, int maximum, int page);
  int ScrollPosition(int id) const;

  // Acting as the player does, also for scripts: a click on a control (a
  // push button, check box, radio button), the default button, typed text
  // into the focused edit box.
  void Click(int id);
  void PressDefault();
  void Cancel();
  void TypeText(const std::string& utf8);
  void AnswerFile(const std::string& utf8);
  bool Composing() const { return !composition_.empty(); }
  const std::string& Composition() const { return composition_; }  // UTF-8

  // ModalView.
  std::string Utf8Title() const override;
  int PreferredWidth() const override;
  int PreferredHeight() const override;
  void Render(Frame& canvas) override;
  void HandleKey(int vk, bool ctrl, bool shift) override;
  void HandleTextInput(const std::string& utf8) override { TypeText(utf8); }
  void HandleTextEditing(const std::string& utf8) override { composition_ = utf8; }
  void HandleMouseMove(int x, int y) override;
  void HandleMouseDown(int x, int y, bool doubleClick, bool ctrl = false, bool shift = false) override;
  void HandleClick(int x, int y) override;
  void HandleMouseWheel(int x, int y, int steps) override;
  void HandleClose() override { Cancel(); }
  bool WantsTextInput(Rect* caret) const override;
  bool PointerStart(int* x, int* y) const override;
  bool PreferredPosition(int* x, int* y) const override;
  // The pointer starts over this control (0: the dialog's middle, -1: left alone).
  void SetPointerItem(int id) { pointerItem_ = id; }
  // The pointer starts at this point of the dialog (from its top-left corner).
  void SetPointerOffset(int x, int y) {
    pointerItem_ = kPointerAtOffset;
    pointerX_ = x;
    pointerY_ = y;
  }
  // In a window of its own the dialog's top-left corner goes here (screen
  // pixels); without it the dialog is centred.
  void SetPlacement(int x, int y) {
    placed_ = true;
    placeX_ = x;
    placeY_ = y;
  }
  // Layout, for callers that point at controls (tests, scripts): where a
  // control is drawn in the last Render's canvas.
  Rect ItemRect(int id) const;
  int ListRowPixels() const { return ListRowHeight(); }  // a list row's height

 private:
  struct Control {
    ControlTemplate t;
    bool checked = false;
    bool enabled = true;
    EditLimits limits;
    size_t caret = 0, anchor = 0;  // edit selection, bytes
    std::vector<std::string> items;
    int selected = -1, top = 0;    // list: the cursor's entry, the first in view
    std::vector<bool> marked;      // list of several: the marked entries
    int rangeStart = -1;           // list of several: where a Shift range starts
    int minimum = 0, maximum = 0, page = 1, position = 0;  // scroll bar
  };
  int Find(int id) const;
  Control* Get(int id);
  const Control* Get(int id) const;
  bool Focusable(const Control& c) const;
  void MoveFocus(int step);
  void MoveInRadioGroup(int step);
  void Activate(Control& c);
  void Notify(int id, int code);
  void EditKey(Control& c, int vk, bool ctrl, bool shift);
  void ReplaceSelection(Control& c, const std::string& cp932);
  void ListKey(Control& c, int vk, bool ctrl, bool shift);
  // Moves a list's cursor to `row` as a click or key does: alone, adding to
  // the marks (Ctrl: the marks stay, Space toggles), or marking the range
  // from the anchor (Shift).
  void MoveListCursor(Control& c, int row, bool ctrl, bool shift);
  void ScrollListTo(Control& c, int top);
  bool ListHasScrollBar(const Control& c) const;
  Rect ListScrollBar(const Control& c) const;  // the bar with its two arrows
  Rect ListThumb(const Control& c) const;
  void DrawList(Frame& canvas, const Control& c, bool focused) const;
  // How far right a static text may run (canvas pixels).
  int StaticRoom(const Control& c) const;
  // Where a static text whose lines are `height` pixels high starts (canvas
  // pixels): its own top, or higher when the lines would otherwise reach
  // the edge of the group around it or a control below it.
  int StaticTop(const Control& c, int height) const;
  void ScrollBy(Control& c, int delta);
  // Layout in canvas pixels (set by Render; before that, at the origin).
  Rect BoxRect() const;
  Rect ControlRect(const Control& c) const;
  int HitTest(int x, int y) const;
  int ListRowHeight() const;
  int ListVisibleRows(const Control& c) const;

  std::string title_;
  bool caption_ = true;
  int width_ = 0, height_ = 0;  // pixels
  std::vector<Control> controls_;
  int focus_ = -1;
  int hover_ = -1;
  int pressed_ = -1;
  int originX_ = 0, originY_ = 0;
  enum : int { kPointerAtOffset = -2 };
  int pointerItem_ = -1;
  int pointerX_ = 0, pointerY_ = 0;
  bool placed_ = false;
  int placeX_ = 0, placeY_ = 0;
  // A list's scroll-bar thumb held with the mouse: the list, and where in
  // the thumb it was taken.
  int dragList_ = -1;
  int dragOffset_ = 0;
  std::string composition_;
  bool finished_ = false;
  int result_ = 0;
  CommandHandler onCommand_;
  std::function<void()> onClose_;
  std::function<void()> onEscape_;
  std::function<bool(int, bool)> keyFilter_;
  std::function<void(const std::string&)> onFileAnswer_;
};

// Runs the dialog modally (see the top of this file) and returns its result.
// `logText` is the transcript's text field.
int RunDialog(DialogView& view, const std::string& cp932LogText = "");

}  // namespace plat
