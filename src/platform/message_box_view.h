// The look and behaviour of our message boxes, independent of any window
// system: layout, drawing into a frame, keyboard and mouse handling. The
// window host runs it in a modal loop (window_host.h RunMessageBox).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/window_host.h"

namespace plat {

class MessageBoxView {
 public:
  explicit MessageBoxView(const MessageBoxSpec& spec);

  // Size the box wants when it has a window of its own (title bar included).
  int PreferredWidth() const;
  int PreferredHeight() const;

  // Draws the box centred on `canvas` (whatever the canvas already shows is
  // dimmed behind it).
  void Render(Frame& canvas);

  // Keyboard: Left/Right/Tab move the focus, Enter/Space press the focused
  // button, Escape answers cancel/no (ok for a plain OK box), Y/N/O/C press
  // the matching button. Virtual-key codes (keys.h). Returns true when the
  // box has been answered.
  bool HandleKey(int virtualKey);
  // Mouse in canvas coordinates (the last Render's layout).
  void HandleMouseMove(int x, int y);
  bool HandleClick(int x, int y);

  bool Answered() const { return answer_ != 0; }
  int Answer() const { return answer_; }  // IDOK, IDYES ...
  int DefaultAnswer() const;              // the default button's result
  int CancelAnswer() const;               // what Escape or a close gives

  const std::vector<int>& Buttons() const { return buttons_; }  // results, left to right
  std::string ButtonText(size_t index) const;                   // UTF-8, the button's label
  int Focus() const { return focus_; }

 private:
  MessageBoxSpec spec_;
  std::vector<int> buttons_;
  int focus_ = 0;
  int hover_ = -1;
  int answer_ = 0;
  struct ButtonRect { int x, y, w, h; };
  std::vector<ButtonRect> buttonRects_;
};

}  // namespace plat
