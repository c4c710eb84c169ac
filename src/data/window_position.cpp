#include "data/window_position.h"

#include <algorithm>

#include "platform/window_host.h"

cWindowPosition WindowPosition;

void cWindowPosition::DefineFields(int32_t) {
  ClearDeclarations();
  Declare(m_nX, "x");
  Declare(m_nY, "y");
  Declare(m_nWidth, "width");
  Declare(m_nHeight, "height");
  Declare(m_bMaximised, "maximised");
}

bool cWindowPosition::Read(cDataReader& in) {
  if (!cRecord::Read(in)) return false;
  plat::Rect work = plat::GetWindowHost().Desktop().workArea;
  m_nX = std::clamp(m_nX, 0, std::max(0, work.right));
  m_nY = std::clamp(m_nY, 0, std::max(0, work.bottom));
  return true;
}

void cWindowPosition::Store(int32_t x, int32_t y, int32_t width, int32_t height, int32_t maximised) {
  m_nX = x;
  m_nY = y;
  m_nWidth = width;
  m_nHeight = height;
  m_bMaximised = maximised;
}
