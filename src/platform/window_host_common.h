// Small rules both window hosts share (not part of the platform interface).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/keys.h"
#include "platform/window_host.h"

namespace plat::host_detail {

// Frames larger than this are refused (no screen needs them, and a bad size
// must not turn into a huge allocation).
inline constexpr int kMaxFrameSide = 16384;

inline bool FrameIsValid(const Frame& frame) {
  return frame.width > 0 && frame.height > 0 && frame.width <= kMaxFrameSide &&
         frame.height <= kMaxFrameSide &&
         frame.pixels.size() == static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height);
}

// Window positions and sizes come from saved settings; these bounds keep
// the arithmetic on them (borders, right and bottom edges) far from overflow.
inline int ClampCoordinate(int v) { return v < -(1 << 20) ? -(1 << 20) : (v > (1 << 20) ? (1 << 20) : v); }
inline int ClampSize(int v) { return v < 1 ? 1 : (v > kMaxFrameSide ? kMaxFrameSide : v); }

// The client size a window the player resizes keeps: the largest whole
// multiple of the 640x480 picture that fits in what the window manager gave
// (at least the picture itself), so that every pixel of the game is drawn
// the same number of times.
struct WholeScaleSize {
  int width, height;
};
inline WholeScaleSize WholeScaleFit(int width, int height) {
  int factor = std::min(width / kScreenWidth, height / kScreenHeight);
  if (factor < 1) factor = 1;
  return WholeScaleSize{kScreenWidth * factor, kScreenHeight * factor};
}

// Key messages name Shift, Ctrl and Alt by their generic codes, which is
// what the window handler compares; the key-state table keeps the sides apart.
inline int KeyMessageCode(int virtualKey) {
  switch (virtualKey) {
    case VK_LSHIFT: case VK_RSHIFT: return VK_SHIFT;
    case VK_LCONTROL: case VK_RCONTROL: return VK_CONTROL;
    case VK_LMENU: case VK_RMENU: return VK_MENU;
    default: return virtualKey;
  }
}

// lParam of WM_KEYDOWN/WM_KEYUP: repeat count 1 in bits 0-15, bit 30 when
// the key was already down (a repeat, or any release), bit 31 on release.
inline int64_t KeyMessageLParam(bool down, bool repeat) {
  int64_t lParam = 1;
  if (!down || repeat) lParam |= int64_t{1} << 30;
  if (!down) lParam |= int64_t{1} << 31;
  return lParam;
}

// (high << 16) | low with each half as 16 bits, the packing of position and
// size parameters.
inline int64_t PackPair(int low, int high) {
  return static_cast<int64_t>((static_cast<uint32_t>(high & 0xFFFF) << 16) |
                              static_cast<uint32_t>(low & 0xFFFF));
}

}  // namespace plat::host_detail
