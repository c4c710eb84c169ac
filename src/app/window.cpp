#include "app/window.h"

#include <algorithm>
#include <cstdio>

#include "base/logs.h"
#include "platform/text.h"

void cWindow::SetLayout(int clientWidth, int clientHeight) {
  plat::GetWindowHost().SetClientSize(clientWidth, clientHeight);
}

void cWindow::CentreOnDesktop() { plat::GetWindowHost().CentreOnDesktop(); }

void cWindow::SetText(const char* cp932Text) { plat::GetWindowHost().SetTitle(cp932Text ? cp932Text : ""); }

std::vector<int> WindowSizeMenuFactors(const plat::Rect& workArea) {
  std::vector<int> factors;
  for (int k = 1; k <= 5; ++k)
    if (workArea.right >= 640 * k && workArea.bottom >= 480 * k) factors.push_back(k);
  return factors;
}

std::string WindowSizeMenuLabel(int factor) {
  char text[64];
  std::snprintf(text, sizeof text, "%d%% (%d*%d)", factor * 100, 640 * factor, 480 * factor);
  return text;
}

int WindowSizeMenuMark(const std::vector<int>& factors, const plat::Rect& client) {
  const int scale = std::max(1, std::min(client.Width() / 640, client.Height() / 480));
  int mark = 0;
  for (size_t i = 0; i < factors.size(); ++i)
    if (factors[i] <= scale) mark = static_cast<int>(i);
  return mark;
}

WindowPlacement PlaceScaledWindow(int factor, const plat::Rect& client, const plat::Rect& workArea) {
  WindowPlacement p{};
  p.width = 640 * factor;
  p.height = 480 * factor;
  p.x = client.left + client.Width() / 2 - p.width / 2;
  p.y = client.top;
  if (p.x < 0)
    p.x = 0;
  else if (p.x + p.width >= workArea.right)
    p.x = workArea.right - p.width;
  if (p.y < 0)
    p.y = 0;
  else if (p.y + p.height >= workArea.bottom)
    p.y = workArea.bottom - p.height;
  return p;
}

void cWindow::TraceMessage(uint32_t message, uint64_t wParam, int64_t lParam) const {
  if (!m_bTrace) return;
  const uint32_t wp = static_cast<uint32_t>(wParam);
  const int32_t lp = static_cast<int32_t>(lParam);
  const uint32_t lpBits = static_cast<uint32_t>(lp);
  WriteECLog("%s | msg:%s | wp:%u(%u,%u) | lp:%d(%d,%d)", m_strName.c_str(), plat::GetMessageName(message).c_str(),
             wp, wp >> 16, wp & 0xFFFFu, lp, static_cast<int>(lpBits >> 16), static_cast<int>(lpBits & 0xFFFFu));
}
