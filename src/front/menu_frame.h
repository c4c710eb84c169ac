// The look the menu screens share: the plain backdrop, the frame box of a
// menu or of the whole screen, the heading, centred text, and the boxes of
// system-text rows (the yes/no boxes of the world map and its menu).
//
// One centring rule for all of them: a text is centred on x by its
// characters (a double-byte character counts once) at the font's width per
// character: left = x - characters x width / 2.
#pragma once

#include <cstdint>
#include <string>

#include "gfx/fonts.h"

// The screen filled with palette 16 (the menus' background).
void DrawMenuBackdrop();
// A menu's frame box: the box picture ("bmp\Window.bmp", from its top-left
// corner, its transparent colour left out) over x, y, width, height, and a
// frame of palette 240 one dot thick around it, just outside.
void DrawMenuFrameBox(int32_t x, int32_t y, int32_t width, int32_t height);
// The left edge of `text` centred on `centreX` at `dotsPerCharacter`.
int32_t CentredTextLeft(const std::string& text, int32_t centreX, int32_t dotsPerCharacter);
// A heading in the large game font (32 dots a character) centred on x 320.
void DrawMenuHeading(const std::string& text, int32_t y);
// A whole-screen menu panel: the backdrop, a frame box one dot inside the
// screen's edges (its frame on the edges) and the heading at y 32 (none
// when empty).
void DrawMenuPanel(const std::string& heading);

// Rows of the system texts first .. first + count - 1 drawn with the system
// data's menu labels (a place for the cursor before each) at (x, y), 16 dots
// a row, in a box of the middle game font as wide as the widest row and its
// cursor place and as high as the rows, with the frame margin
// (kFrameTextMargin) on the left and right and `marginY` dots above and
// below.
void DrawSystemTextBox(int32_t x, int32_t y, int first, int count, int32_t marginY = kFrameTextMargin);
