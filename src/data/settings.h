// The player's machine settings ("System.ini") as the program reads them.
// The keys and their defaults come from the system data's key table; a key
// fills the field of its position in that table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class cOptionKey;
template <class T>
class cSafeVector;

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

// The defaults of the key table into the settings (entries 0..7, 9, 10 as
// numbers, 8 as the text).
void SetDefaultSettings(GameSettingsRecord& settings, cSafeVector<cOptionKey>& keyTable);
// Reads "System.ini" over the settings: 1 when the file was read to a proper
// end (a line "Exit", or a NUL byte), 0 when it cannot be opened or ends in
// the middle of a key.
int32_t ReadSystemIni(const std::string& fileName, GameSettingsRecord& settings, cSafeVector<cOptionKey>& keyTable);
// The same over the file's bytes.
int32_t ParseSystemIni(const std::string& text, GameSettingsRecord& settings, cSafeVector<cOptionKey>& keyTable);
// A "System.ini" holding the key table's defaults: one "KEY=VALUE" line per
// entry in table order, then "Exit" (what the reader needs to read a file to
// its end), lines ended by LF: a CR would stay at the end of a text value.
std::string DefaultSystemIniText(cSafeVector<cOptionKey>& keyTable);
// Writes that file at `fileName` when there is none (written whole or not at
// all); false when a file is there already or it cannot be written (the
// report log then says why).
bool WriteDefaultSystemIni(const std::string& fileName, cSafeVector<cOptionKey>& keyTable);
