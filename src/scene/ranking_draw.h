// Drawing of rankings: a genre's list of twenty places, and the box of the
// current play's results. Both draw through a painter, so that the layout
// can be checked without a display; cFontRankingPainter paints with a game
// font and the system picture.
//
// Threads: game thread only (or a frame-keeping loop while the game thread
// waits for it).
#pragma once

#include <cstdint>
#include <string>

#include "data/rankings.h"

struct DDSURFACEDATA;
class cFont;

class cRankingPainter {
 public:
  virtual ~cRankingPainter() = default;
  // The font's frame box around (x, y, width, height).
  virtual void FrameBox(int32_t x, int32_t y, int32_t width, int32_t height) = 0;
  // A text (CP932); `plain` keeps letters as letters where the font would
  // draw picture letters (registered names are written as typed).
  virtual void Text(int32_t x, int32_t y, const std::string& text, bool plain) = 0;
  // Width of a text in dots as Text draws it.
  virtual int32_t TextWidth(const std::string& text) = 0;
  // The 16 × 16 place pointer with its top left at (x, y).
  virtual void Pointer(int32_t x, int32_t y) = 0;
};

// Paints onto a surface with a font; the pointer comes from the system
// picture at (16, 48), colour-keyed.
class cFontRankingPainter : public cRankingPainter {
 public:
  cFontRankingPainter(DDSURFACEDATA* surface, cFont& font, DDSURFACEDATA* systemPicture)
      : surface_(surface), font_(font), picture_(systemPicture) {}
  void FrameBox(int32_t x, int32_t y, int32_t width, int32_t height) override;
  void Text(int32_t x, int32_t y, const std::string& text, bool plain) override;
  int32_t TextWidth(const std::string& text) override;
  void Pointer(int32_t x, int32_t y) override;

 private:
  DDSURFACEDATA* surface_;
  cFont& font_;
  DDSURFACEDATA* picture_;
};

// What the ranking drawings read of the game's settings.
struct cRankingLook {
  bool english = false;       // "Ranking" in place of "ランキング"
  bool plainNames = false;    // names without picture letters
  int32_t genreCount = 1;     // genres the play mode ranks; the switch hint shows for more than one
};
// The settings of the running game: the English setting, the system data's
// picture-letter switch and the genres of play mode `playMode`.
cRankingLook CurrentRankingLook(int playMode);

inline constexpr int32_t kRankingBoxWidth = 270;
inline constexpr int32_t kRankingLineHeight = 16;

// The list's box: the box picture, 270 dots wide, with its corner at
// (x + 1, y + 1), as high as its lines (16 dots each: the heading, twenty
// places and the genre hint when it shows) and kRankingBoxRoomBelow more, so
// that the last line does not sit on the bottom frame line. The frame line
// runs round the outside of the picture: its inner row and column are the
// first of the heading's cell at (x, y).
inline constexpr int32_t kRankingBoxRoomBelow = 2;

// A genre's list at (x, y): the frame box (see kRankingBoxRoomBelow),
// the heading at (x, y) with the genre's label (system text genre + 5), one
// line a place (place number at x + 16, name at x + 64, scores
// right-aligned on the first place's digits, clear times as "mm:ss.hh" at
// x + 144), the genre switch hint (system text 25) centred on x + 136 when
// the play mode ranks more than one genre, and the pointer on the
// highlighted place (-1: none).
void DrawRankingScreen(const cRankingList& list, cRankingPainter& painter, int32_t x, int32_t y, int genre,
                       int highlighted, const cRankingLook& look);
// The list of `genre` of a ranking file.
void DrawRankingList(cRankingFile& file, cRankingPainter& painter, int32_t x, int32_t y, int genre, int highlighted,
                     const cRankingLook& look);

// The current play's results in a framed box at (x, y), one line a genre
// shown: its label and, a character cell right of the widest label, its
// value; the box is as wide as the lines with the frame margin
// (kFrameTextMargin) on either side. A genre shows when the stage's switch
// enables it and (unless `modeFlags` is null, as in the test play of a stage
// named at start-up) the play mode's flag too. `values` are stage points,
// time left, clear time (hundredths of a second), HP left and SP left.
// Nothing is drawn when no genre shows; true when the box was drawn.
bool DrawPlayRecordBox(cRankingPainter& painter, int32_t x, int32_t y, const uint32_t stageSwitches[5],
                       const uint8_t* modeFlags, const int32_t values[5]);
