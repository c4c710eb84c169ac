// The dialog engine's measures as its files (dialog_view*.cpp, dialog_text.cpp)
// share them: dialog units in pixels, the title bar's and scroll bars' sizes,
// and the dialogs' font with the width and wrapping of a text in it.
// Internal to the dialog engine.
#pragma once

#include <string>
#include <vector>

namespace plat {
class FontFace;
}  // namespace plat

namespace plat::dialog {

// Dialog units to pixels: a dialog font of about 12 pixels is eight vertical
// units high; horizontally a little more than its average quarter width,
// since our font is wider than the narrow gothic the layouts were made for.
inline constexpr int kUnitXNum = 7, kUnitXDen = 4;
inline constexpr int kUnitYNum = 3, kUnitYDen = 2;
inline constexpr int kTitleBarHeight = 22;
inline constexpr int kScrollBarWidth = 15;  // also the arrows' height

inline int PxX(int units) { return units * kUnitXNum / kUnitXDen; }
inline int PxY(int units) { return units * kUnitYNum / kUnitYDen; }

// Blank pixels between two lines of a static text (a label's wrapped
// lines too), and between its last line and a control below it.
inline constexpr int kLineGap = 4;

// The dialogs' font and texts in it (dialog_text.cpp).
FontFace* Font();
int Measure(const std::string& cp932);
int TextHeight();
// From one line of a static text to the next: the font's line height and
// the gap.
int LineStep();
std::vector<std::string> WrapLine(const std::string& text, int width);

}  // namespace plat::dialog
