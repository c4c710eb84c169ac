// The key-state table by virtual-key code (the key numbers the games' key
// configurations store), filled by the window host from keyboard events and
// read by any thread.
#pragma once

#include <cstdint>

namespace plat {

// A few virtual-key codes the program names; the full table lives in keys.cpp.
enum : int {
  // The mouse buttons have codes of their own; the window host keeps their
  // levels in the same table.
  VK_LBUTTON = 0x01, VK_RBUTTON = 0x02, VK_MBUTTON = 0x04, VK_XBUTTON1 = 0x05, VK_XBUTTON2 = 0x06,
  VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11,
  VK_MENU = 0x12, VK_PAUSE = 0x13, VK_ESCAPE = 0x1B, VK_SPACE = 0x20,
  VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24,
  VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28,
  VK_INSERT = 0x2D, VK_DELETE = 0x2E, VK_APPS = 0x5D,  // the menu key
  VK_F1 = 0x70, VK_F2 = 0x71, VK_F3 = 0x72, VK_F4 = 0x73, VK_F5 = 0x74, VK_F6 = 0x75,
  VK_F7 = 0x76, VK_F8 = 0x77, VK_F9 = 0x78, VK_F10 = 0x79, VK_F11 = 0x7A, VK_F12 = 0x7B,
  VK_LSHIFT = 0xA0, VK_RSHIFT = 0xA1, VK_LCONTROL = 0xA2, VK_RCONTROL = 0xA3,
  VK_LMENU = 0xA4, VK_RMENU = 0xA5,
};

// Virtual-key code for an SDL scancode (SDL_Scancode value); 0 when none.
int VirtualKeyFromScancode(int sdlScancode);
// SDL scancode for a virtual-key code; 0 (SDL_SCANCODE_UNKNOWN) when none.
int ScancodeFromVirtualKey(int virtualKey);

// Records a key press or release. Left/right Shift, Ctrl and Alt also set
// the generic code (VK_SHIFT ...) while either side is down, and a key known
// by several codes (the hankaku/zenkaku key reports one or another with the
// input mode) sets them all.
void SetKeyState(int virtualKey, bool down);
bool IsKeyDown(int virtualKey);
// The asynchronous key query games poll: bit 15 set while the key is down,
// bit 0 set when it was pressed since the previous query.
int16_t GetAsyncKeyState(int virtualKey);
void ClearKeyStates();

// The keyboard as a once-a-frame poll sees it. TakeKeyPoll takes every key
// that is down now or went down since the previous TakeKeyPoll, so a press
// and release that both fall between two polls still counts (once). One
// poller at a time (the thread making frames).
class KeyPoll {
 public:
  bool Down(int virtualKey) const {
    return virtualKey > 0 && virtualKey < 256 && (bits_[static_cast<unsigned>(virtualKey) / 64] >>
                                                  (static_cast<unsigned>(virtualKey) % 64) & 1u) != 0;
  }
  void Set(int virtualKey) {
    if (virtualKey > 0 && virtualKey < 256)
      bits_[static_cast<unsigned>(virtualKey) / 64] |= uint64_t{1} << (static_cast<unsigned>(virtualKey) % 64);
  }

 private:
  uint64_t bits_[4] = {};
};
KeyPoll TakeKeyPoll();

}  // namespace plat
