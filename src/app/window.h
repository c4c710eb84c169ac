// The window helpers the game window needs: an exact client size and centring.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/messages.h"
#include "platform/window_host.h"

class cWindow {
 public:
  virtual ~cWindow() = default;

  // Sizes the window so that its client area is exactly that size (the
  // frame is the window system's).
  void SetLayout(int clientWidth, int clientHeight);
  void CentreOnDesktop();
  void SetText(const char* cp932Text);

  // With m_bTrace on, each message the window handles is written to the
  // error-check log: "NAME | msg:WM_SIZE | wp:W(HI,LO) | lp:L(HI,LO)".
  void TraceMessage(uint32_t message, uint64_t wParam, int64_t lParam) const;

  plat::WindowHandle m_hWnd = 0;
  bool m_bTrace = false;
  std::string m_strName;  // the window's name in the trace
};

// The entries "100% (640*480)" ... "500% (3200*2400)" that fit a work area,
// as scale factors in menu order (1 first).
std::vector<int> WindowSizeMenuFactors(const plat::Rect& workArea);
std::string WindowSizeMenuLabel(int factor);
// The entry of `factors` (in menu order) that the window-size dialog marks
// for a window whose client area is `client`: the whole scale its picture is
// drawn at (the largest that fits the client area, at least 1), or the
// largest entry below that scale when the list stops short of it.
int WindowSizeMenuMark(const std::vector<int>& factors, const plat::Rect& client);
// Where a window goes when its client area becomes 640k × 480k: the
// horizontal centre kept, the top kept, then pushed inside the work area.
struct WindowPlacement {
  int x, y, width, height;
};
WindowPlacement PlaceScaledWindow(int factor, const plat::Rect& clientOnScreen, const plat::Rect& workArea);
