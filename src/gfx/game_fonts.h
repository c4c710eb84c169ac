// The game's three fonts and their digit strips: made at start-up from the
// font settings of the surface table (completed from the system data and
// "System.ini"), drawn with by every screen, restored with the display, and
// released at shutdown. Also the frame-rate display of the frame step.
#pragma once

#include <cstdint>

#include "gfx/fonts.h"
#include "gfx/surface_table.h"

// The fonts: 0 the small one (Font10), 1 the middle one (Font16, message
// windows), 2 the large one. Never destroyed (shutdown releases them).
extern cFont* const GameFonts;

// What start-up completes the font settings with.
struct GameFontOptions {
  int64_t nFontIndex = 0;       // system data #6: entry of the font-name table
  uint32_t bDirect3D = 0;       // the display's mode, which picks the cache setting
  int32_t nD3DFontCache = 0;    // "D3D_FontCache": glyph mode of the fonts set to 2, Direct3D
  int32_t nDDFontCache = 1;     // "DD_FontCache": the same, DirectDraw
  int32_t nPictureLetters = 0;  // system data #5: picture letters in font 1
  int32_t nCentred = 0;         // system data #7: characters centred in their cells in font 1
};
// The options from the loaded system data, "System.ini" and the display.
GameFontOptions GameFontOptionsFromSettings();

// Start-up, after the display, the palette and key, and the first surfaces
// (1 and 50: the picture letters) exist:
// - every font setting gets the face named by the font index (its glyph mode
//   2 becomes the cache setting of the display's mode);
// - CreateFonts for the three fonts;
// - picture letters off in fonts 0 and 2, font 1's picture letters and
//   centring from the options;
// - CreateDigitSurfaces; error-check line "3".
// False when a font or a digit strip cannot be made (the reason is in the
// report log).
bool CreateGameFonts(const GameFontOptions& options);
// Shutdown, while the display still exists: the report lines "Font10 : %d"
// and "Font16 : %d" with the full-width characters each font added during
// the run (fonts with a full-width sheet only).
void WriteGameFontReport();
// Shutdown, before the display is released: each font, then each digit strip.
void ReleaseGameFonts();

// The frame step's restore after a lost DirectDraw display: each lost digit
// strip is restored and, in video memory, drawn again; in the Direct3D mode
// (the device restore calls it) each strip marked lost is drawn again.
// Never fails: a strip that cannot be drawn only shows nothing.
void RestoreDigitSurfaces();

// The frame-rate display: "FPS%2d(%2d)" with the frames of the last second
// and the average work time, in a framed box of font 1 at (495, 463), or
// with "ShowFps" 2 in font 0 at (549, 469); nothing with 0 or before the
// fonts exist.
void DrawFrameRateDisplay(int32_t nShowFps, uint32_t nFramesLastSecond, uint32_t nAverageWorkTime);
