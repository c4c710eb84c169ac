// The game's fonts: every text of the game (menus, messages, numbers, the
// frame-rate display) is drawn with a cFont. A font draws characters with a
// face of its own (FreeType, monochrome) and, in glyph mode, keeps two glyph
// sheets (cFastFont) so that text is drawn by blits: a half-width sheet with
// all single-byte codes, and a full-width sheet filled with a fixed set of
// common characters that grows as other characters are drawn. A font may
// also own a box picture with a frame (message windows) and a strip of 26
// pictures that stand for the letters a..z in its texts.
//
// Texts are CP932. A lead byte with no valid trail byte, and a code that
// names no character, are drawn blank (the pen still advances).
//
// Threads: fonts are made and released on the main thread at start-up and
// shutdown, drawn with on the game thread, and restored by whichever thread
// restores the display (the game thread waits meanwhile). Nothing locks.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/logs.h"
#include "gfx/dd.h"

namespace plat {
class CellFace;
}

struct FONTSETTING;

// A size in dots.
struct TEXTSIZE {
  int32_t cx = 0, cy = 0;
  bool operator==(const TEXTSIZE&) const = default;
};

// One character of the full-width sheet, in order of adding.
struct FASTFONTCHAR {
  char szChar[4] = {};  // the two bytes and a terminating zero
  int32_t nSlot = 0;
  int32_t nCellX = 0, nCellY = 0;  // in dots on the sheet
};

// A glyph sheet: a keyed surface of columns × rows cells.
class cFastFont {
 public:
  enum : uint32_t { kHalf = 0, kFull = 1 };
  // Makes the sheet surface (empty, keyed); Created() tells whether it was made.
  cFastFont(uint32_t dwKind, int nGlyphW, int nGlyphH, int nColumns, int nRows);
  ~cFastFont();  // releases the sheet surface
  cFastFont(const cFastFont&) = delete;
  cFastFont& operator=(const cFastFont&) = delete;

  bool Created() const { return m_SD.lpDDS != nullptr || m_SD.lpDT != nullptr; }
  // Gives the two-byte character `ch` the next free cell: 1, or 0 when the
  // sheet is full. Draws nothing; the caller renders the character there.
  int AddChar(const char* ch);
  // The cell of byte `b` (column b mod columns, row b div columns).
  int DrawHalfChar(DDSURFACEDATA* lpDst, int x, int y, uint8_t b, uint32_t dwFlags);
  // The cell of two-byte character `ch`: the blit's result, or -1 when the
  // character was never added.
  int DrawFullChar(DDSURFACEDATA* lpDst, int x, int y, const char* ch, uint32_t dwFlags);
  // The node of `ch`, or null.
  const FASTFONTCHAR* Find(const char* ch) const;

  uint32_t m_dwKind;
  int32_t m_nGlyphW, m_nGlyphH, m_nColumns, m_nRows, m_nCells;
  DDSURFACEDATA m_SD;
  std::vector<FASTFONTCHAR> m_Chars;
  int32_t m_nNextSlot = 0;

 private:
  std::unordered_map<uint16_t, int32_t> m_Index;  // two-byte code → node
};

class cFont : public cDeviceFontHooks {
 public:
  cFont();
  ~cFont() override;  // Release()
  cFont(const cFont&) = delete;
  cFont& operator=(const cFont&) = delete;

  // Makes the font from its settings (the two surface indices already turned
  // into surfaces; either may be null). False when no face could be opened or
  // a surface the font needs could not be made; the latter also ends the
  // game (WM_CLOSE), as the text of every screen depends on it. Missing cell
  // sizes in glyph mode leave the font without sheets (logged).
  bool Create(const char* szFace, int32_t nGdiWidth, int32_t nHeight, int32_t nCharWidth, int32_t nLineHeight,
              int32_t nDefaultColor, DDSURFACEDATA* lpBoxSD, int32_t nFrameSize, int32_t nFrameColor,
              DDSURFACEDATA* lpLetterSD, uint32_t dwGlyphMode);
  // Releases the face, both sheets and the work surface; safe on a font that
  // was never made or already released.
  void Release();
  bool Created() const { return m_lpFace != nullptr; }

  // Draws `text` at (x, y); `plain` non-zero leaves the letters a..z as
  // letters even when the font has picture letters. The result of the last
  // blit (0 when the Direct3D scene cannot be opened).
  int DrawText(DDSURFACEDATA* lpDst, int x, int y, const char* text, uint32_t plain = 0);
  // Formats into 256 bytes (a longer result is cut before the character that
  // does not fit), then DrawText with picture letters.
  int DrawTextF(DDSURFACEDATA* lpDst, int x, int y, const char* format, ...) PELMORA_PRINTF(5, 6);
  // Glyph layout: the most characters on a line (a two-byte character counts
  // once) × character width, lines × line height.
  TEXTSIZE MeasureText(const char* text) const;
  // Proportional: the widest line's face advances, lines × line height (an
  // empty line counts).
  TEXTSIZE MeasureTextGDI(const char* text);
  // The box picture at (x, y), width × height, with the frame outside it;
  // x or y 10000 centres on the box picture's width or height.
  void DrawFrameBox(DDSURFACEDATA* lpDst, int x, int y, int nWidth, int nHeight);
  // A frame box around `text`; a width or height of 0 measures the text
  // (width + margin). The text goes at (x + margin, y).
  int DrawTextInBox(DDSURFACEDATA* lpDst, int x, int y, int nWidth, int nHeight, const char* text, int nMargin);
  // Formats into 1024 bytes (cut as DrawTextF), then DrawTextInBox with margin 0.
  int DrawTextBoxF(DDSURFACEDATA* lpDst, int x, int y, int nWidth, int nHeight, const char* format, ...)
      PELMORA_PRINTF(7, 8);

  // The restores: DirectDraw restores a lost work surface and sheet surfaces
  // and redraws both sheets; Direct3D redraws the sheets whose surfaces the
  // device restore marked lost.
  bool Restore() override;
  uint32_t OnLostDevice() override { return 0; }  // nothing of ours lives in the device's own pool

  // Full-width characters added to the full sheet since it was made (the
  // shutdown report).
  int AddedFullWidthCount() const;

  uint32_t m_dwSerial = 0;
  std::unique_ptr<plat::CellFace> m_lpFace;  // the face every character is rendered with
  uint64_t m_nFaceSerial = 0;                // new with each face made
  void ForgetFace();                         // lets the face go
  std::string m_strFace;                     // CP932, as the settings name it
  int32_t m_nGdiWidth = 0, m_nHeight = 0, m_nCharWidth = 0, m_nLineHeight = 0;
  int32_t m_nDefaultColor = 0;  // palette number
  // Direct3D: 0xFF000000 | red << 16 | green << 8 | blue; DirectDraw: the
  // colour as blue << 16 | green << 8 | red (16-bit channels widened to 8 bits).
  uint32_t m_dwColor = 0;
  uint32_t m_dwTextPixel = 0;  // DirectDraw: the raw pixel text is written with
  uint32_t m_bCentre = 0;      // characters centred in their cells, no bracket offset
  DDSURFACEDATA m_WorkSD;      // the back buffer's size; text is composed here when it cannot go straight on
  DDSURFACEDATA* m_lpBoxSD = nullptr;
  int32_t m_nFrameSize = 0, m_nFrameColor = 0;
  DDSURFACEDATA* m_lpLetterSD = nullptr;
  uint32_t m_bPicLetters = 0;
  uint32_t m_dwGlyphMode = 0;
  cFastFont* m_lpFastFont_Half = nullptr;     // owned; null without glyph mode
  cFastFont* m_lpFastFont_FullAdd = nullptr;  // owned
  int32_t m_nFixedCount = 0;                  // characters of the fixed set the full sheet took

 private:
  struct Pen;
  void FreeSheets();
  bool MakeSheets();
  void BuildHalfSheet();
  void BuildFullSheet(bool restoring);
  // One character through the face, as TextOutClipped places it: centred in
  // its cell, or single bytes at (x + cw / 8, y + lh / 16 - 1) and two-byte
  // characters at (x, y); nothing is written outside `clip` (null: the surface).
  void TextOutClipped(DDSURFACEDATA* lpTarget, int x, int y, const char* ch, int count,
                      const plat::Rect* clip = nullptr);
  // The layout at the core of DrawText: characters the face renders go onto
  // `lpText` at (tx, ty), sheet cells onto `lpGlyphs` at (gx, gy) (null: no
  // sheets). Runs inside a sorted sprite batch.
  void Layout(DDSURFACEDATA* lpText, int tx, int ty, DDSURFACEDATA* lpGlyphs, int gx, int gy, const char* text,
              bool pictureLetters);
  void DrawPictureLetters(DDSURFACEDATA* lpDst, int x, int y, const char* text);
  int BracketOffset(const char* ch, int count) const;
  bool PictureLettersOn(uint32_t plain) const;
  TEXTSIZE Measure(const char* text);
};

// The room, in dots, between a text and the sides of a frame box that the
// runtime sizes to the text (the menus' questions and notices, the world's
// name and points on the map, the result's play record): the box is this
// much wider than the text on the left and on the right, and the one-line
// and question boxes as much higher above and below it. Boxes whose size or
// text places the game's layout fixes keep them.
inline constexpr int kFrameTextMargin = 8;

// Builds each font from its settings; false when one cannot be made.
bool CreateFonts(cFont* lpFonts, const FONTSETTING* lpSettings, int nCount);
// For every font an empty surface ten character widths wide and one line
// high (memory types and key from its settings record) with "0123456789"
// drawn into it. False when one cannot be made.
bool CreateDigitSurfaces(DDSURFACEDATA* lpDigits, const DDSURFACEINFO* lpInfo, int nCount, cFont* lpFonts,
                         const FONTSETTING* lpSettings);
// Clears a digit strip and draws "0123456789" into it at (0, 0).
void DrawDigitStrip(DDSURFACEDATA* lpStrip, cFont* lpFont);
// Bytes before the first newline or the end.
int GetLineLength(const char* text);

// printf into `buffer` of `size` bytes; a result that does not fit is cut
// before the character that does not fit whole, never inside a two-byte
// character. The length written.
int FormatTextBounded(char* buffer, size_t size, const char* format, va_list args);

// The installed font file a face name (CP932) is drawn with: the face-name
// table's stand-in for the name (an installed family of that name for a name
// the table does not know), else the table's default. `fellBack` says the
// name named nothing installed. Empty when no font at all can be found.
std::string ResolveFontFace(const char* szFaceCp932, bool* fellBack);
// Tests and the text tool: every face is drawn with this font file (empty:
// faces resolve through the table again).
void SetPinnedFontFile(const std::string& file);
