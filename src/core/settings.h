// The player's machine settings ("System.ini") as the program reads them.
// Until the file has been read they hold the defaults of the key table.
#pragma once

#include <cstdint>

struct GameSettingsRecord {
  int32_t nDirect3D = 2;         // 0 DirectDraw, 1 Direct3D, 2+ ask with the start dialog
  int32_t nWindowMode = 0;       // 0 full screen, 1 window, 2 window with sizing border
  int32_t nBpp = 0;              // 0 automatic, else 8, 16, 32
  int32_t nVSync = 2;            // 0 off, 1 on, 2+ automatic
  int32_t nD3DFontCache = 0;
  int32_t nDDFontCache = 1;
  int32_t nDDVideoStretch = 0;
  int32_t nShowFps = 1;          // 0 off, 2 small font, other values large font
  int32_t nEnglish = 0;
  int32_t nMidiDirectMusic = 1;
  char szFreeStage[260] = {};    // stage file to test-play, CP932
};

extern GameSettingsRecord GameSettings;
