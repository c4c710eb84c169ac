// The window position record.
#pragma once

#include <cstdint>

#include "data/record.h"

// Where the window was when the game last closed ("user_data\Window.dat").
class cWindowPosition : public cRecord {
 public:
  cWindowPosition() { Clear(); }
  PELMORA_RECORD_CLASS(cWindowPosition)
  void DefineFields(int32_t version) override;
  // The base read, then the corner kept on the desktop.
  bool Read(cDataReader& in) override;
  void Store(int32_t x, int32_t y, int32_t width, int32_t height, int32_t maximised);

  int32_t m_nX = 0, m_nY = 0;            // top-left corner on the screen
  int32_t m_nWidth = 0, m_nHeight = 0;   // client area
  int32_t m_bMaximised = 0;
};
extern cWindowPosition WindowPosition;
