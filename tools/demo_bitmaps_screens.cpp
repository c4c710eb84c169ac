// The demo's pictures of the screens: the window panels, the banners'
// words, the title and its menu's strips, the stage backgrounds and layers,
// the head-up display's marks, the system picture and the ending.
#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>

#include "demo_bitmaps.h"

namespace tool::demo_bitmaps {

// A framed panel of the window pictures.
void Panel(Canvas& c, int x, int y, int w, int h, Hue hue) {
  c.VGradient(x, y, w, h, {Shade(hue, 6), Shade(hue, 4), Shade(hue, 3)});
  c.Frame(x, y, w, h, Shade(hue, 12));
  c.Frame(x + 1, y + 1, w - 2, h - 2, Shade(hue, 8));
}

namespace {

// A word of the banners in `pen`, its top-left at (x, y), lit from above
// (near white at its top, its hue's full colour at its foot) and ringed by
// two dots of dark (its hue's darkest, then black) inside the rectangle
// (rx, ry, rw, rh), so that it reads over a pale sky as well as over a dark
// hall.
void BannerWord(Canvas& c, TextPen& pen, int x, int y, const std::string& word, Hue hue, int rx, int ry, int rw,
                int rh) {
  Canvas letters(c.w, c.h, KEY);
  pen.Draw(letters, x, y, word, TEXT);
  int top = c.h, bottom = -1;
  for (int j = ry; j < ry + rh; ++j)
    for (int i = rx; i < rx + rw; ++i)
      if (letters.Get(i, j) != KEY) top = std::min(top, j), bottom = std::max(bottom, j);
  for (int j = top; j <= bottom; ++j)
    for (int i = rx; i < rx + rw; ++i)
      if (letters.Get(i, j) != KEY) c.Set(i, j, Shade(hue, 14 - 4 * (j - top) / std::max(1, bottom - top)));
  c.Outline(rx, ry, rw, rh, Shade(hue, 3));
  c.Outline(rx, ry, rw, rh, Grey(0));
}

}  // namespace

// The words of the stage's banners and strips, each centred in its 32-dot
// high strip: "STAGE" (128 wide, at 0, 0; right-aligned, as the stage number
// follows it on the screen) and "START" (80 wide, at 160, 0) at a stage's start, "REPLAY"
// (0, 32) before a replay, "CLEAR!" (0, 64) on the result screen and
// "GAME OVER" (144 wide, 0, 96); then the digits 0 to 9 of the stage number,
// 32 x 32 each, along the row at y 128.
Canvas Words(TextPen& pen, TextPen& digits) {
  Canvas c(320, 160, KEY);
  struct Strip {
    int x, y, w;
    const char* word;
    Hue hue;
  };
  const Strip strips[] = {{0, 0, 128, "STAGE", YELLOW},    {160, 0, 80, "START", ORANGE}, {0, 32, 128, "REPLAY", PINK},
                          {0, 64, 128, "CLEAR!", YELLOW},    {0, 96, 144, "GAME OVER", RED}};
  for (const Strip& s : strips) {
    // "STAGE" ends at its strip's right edge, next to the number.
    const int w = pen.Measure(s.word), free = std::max(0, s.w - w);
    BannerWord(c, pen, s.x + (s.y == 0 && s.x == 0 ? free - 4 : free / 2), s.y + 3, s.word, s.hue, s.x, s.y, s.w, 32);
  }
  for (int d = 0; d < 10; ++d) {
    const std::string digit(1, static_cast<char>('0' + d));
    BannerWord(c, digits, d * 32 + (32 - digits.Measure(digit)) / 2, 128, digit, YELLOW, d * 32, 128, 32, 32);
  }
  return c;
}

namespace {

// The title's menu takes the screen's middle from y 240 down (x 176..432
// in both its forms: the text form's frame from x 193, the picture form's
// strips 224 wide from x 208 with the cursor's column before them); the
// keys stand on either side of it, in Japanese on the left and in English
// on the right, below the save slots' list (x 160..480, y 160..320 with its
// frame line round it, which the runtime draws over the title for a new
// game and for continue): their panels take y 324..475.
constexpr int kKeyHelpTop = 324, kKeyHelpPitch = 20;
constexpr const char* kKeyHelpJapanese[] = {"矢印  歩く・選ぶ", "Z  ジャンプ・決定", "X  ショット・戻る",
                                            "C  剣", "スペース  一時停止", "F1  リプレイ保存", "Esc  終了"};
constexpr const char* kKeyHelpEnglish[] = {"Arrows  walk, choose", "Z  jump, decide", "X  shoot, back",
                                           "C  sword", "Space  pause", "F1  save a replay", "Esc  quit"};

}  // namespace

void Panel(Canvas& c, int x, int y, int w, int h, Hue hue);

Canvas Title(TextPen& big, TextPen& pen) {
  Canvas c(640, 480, 0);
  c.VGradient(0, 0, 640, 340, {Shade(INDIGO, 5), Shade(BLUE, 8), Shade(SKY, 10), Shade(SKY, 13), Shade(ORANGE, 13)});
  c.Ellipse(560, 200, 30, 30, Shade(YELLOW, 13));
  for (int x = 0; x < 640; ++x) {
    const int far = 300 + int(std::sin(x / 70.0) * 25 + std::sin(x / 23.0) * 6);
    const int near = 360 + int(std::sin(x / 110.0 + 1) * 30);
    for (int y = far; y < 480; ++y) c.Set(x, y, Shade(TEAL, 5));
    for (int y = near; y < 480; ++y) c.Set(x, y, Shade(GREEN, 7 - (y - near) / 40));
  }
  const std::string title = "PELMORA";
  const int tw = big.Measure(title);
  Canvas text(640, 480, KEY);
  big.Draw(text, (640 - tw) / 2, 110, title, Shade(YELLOW, 12));
  text.Outline(0, 0, 640, 480, Shade(RED, 5));
  text.Outline(0, 0, 640, 480, Grey(0));
  for (size_t i = 0; i < text.px.size(); ++i)
    if (text.px[i] != KEY) c.px[i] = text.px[i];
  auto keys = [&](int x, int w, const char* const* lines, size_t count) {
    Panel(c, x, kKeyHelpTop, w, 12 + static_cast<int>(count) * kKeyHelpPitch, INDIGO);
    for (size_t i = 0; i < count; ++i)
      pen.Draw(c, x + 10, kKeyHelpTop + 8 + static_cast<int>(i) * kKeyHelpPitch, lines[i], TEXT);
  };
  keys(6, 162, kKeyHelpJapanese, std::size(kKeyHelpJapanese));
  keys(440, 194, kKeyHelpEnglish, std::size(kKeyHelpEnglish));
  return c;
}

Canvas Background(int n) {
  Canvas c(640, 480, 0);
  switch ((n - 1) % 8) {
    case 0:  // blue sky with clouds
      c.VGradient(0, 0, 640, 480, {Shade(SKY, 8), Shade(SKY, 11), Shade(SKY, 13)});
      for (int k = 0; k < 7; ++k) {
        const int x = (k * 173) % 640, y = 40 + (k * 97) % 200;
        c.Ellipse(x, y, 34, 14, Grey(14)), c.Ellipse(x + 24, y - 8, 24, 14, Grey(14));
      }
      break;
    case 1:  // cave
      c.VGradient(0, 0, 640, 480, {Grey(1), Shade(BROWN, 3), Shade(BROWN, 4)});
      for (int k = 0; k < 20; ++k) {
        const int x = (k * 67) % 640;
        for (int j = 0; j < 40 + (k * 13) % 50; ++j) c.Rect(x - (40 - j) / 5, j, 2 * ((40 - j) / 5) + 1, 1, Shade(BROWN, 5));
      }
      break;
    case 2:  // sunset
      c.VGradient(0, 0, 640, 480, {Shade(PURPLE, 5), Shade(RED, 8), Shade(ORANGE, 11), Shade(YELLOW, 13)});
      c.Ellipse(320, 380, 70, 70, Shade(YELLOW, 14));
      break;
    case 3:  // night with stars
      c.VGradient(0, 0, 640, 480, {Grey(0), Shade(INDIGO, 3), Shade(BLUE, 4)});
      for (int k = 0; k < 160; ++k) c.Set((k * 211) % 640, (k * 137) % 400, Grey(10 + k % 5));
      c.Ellipse(520, 90, 26, 26, Shade(YELLOW, 14));
      break;
    case 4:  // forest
      c.VGradient(0, 0, 640, 480, {Shade(LIME, 12), Shade(GREEN, 10)});
      for (int k = 0; k < 12; ++k) {
        const int x = k * 56 + 20;
        c.Rect(x - 4, 250, 9, 230, Shade(BROWN, 5));
        c.Ellipse(x, 230, 36, 60, Shade(GREEN, 5 + k % 3));
      }
      break;
    case 5:  // under water
      c.VGradient(0, 0, 640, 480, {Shade(CYAN, 10), Shade(TEAL, 7), Shade(BLUE, 4)});
      for (int k = 0; k < 40; ++k) c.Ellipse((k * 149) % 640, (k * 89) % 480, 2 + k % 4, 2 + k % 4, Shade(CYAN, 14));
      break;
    case 6:  // castle hall
      c.Rect(0, 0, 640, 480, Grey(4));
      for (int y = 0; y < 480; y += 16)
        for (int x = (y / 16 % 2) * 16; x < 640; x += 32) c.Frame(x, y, 32, 16, Grey(3));
      for (int k = 0; k < 5; ++k) c.Rect(k * 140 + 40, 60, 24, 420, Shade(RED, 4));
      for (int k = 0; k < 4; ++k) {  // torches between the banners, their flames flickering
        const int x = k * 140 + 110;
        c.Rect(x - 3, 200, 6, 20, Shade(BROWN, 4));
        for (int j = 0; j < 4; ++j) c.Ellipse(x, 192 - j * 4, 6 - j, 7 - j, Cycling(FIRE, j + k));
      }
      break;
    default:  // snow
      c.VGradient(0, 0, 640, 480, {Grey(10), Shade(SKY, 13), Grey(14)});
      for (int k = 0; k < 120; ++k) c.Ellipse((k * 181) % 640, (k * 113) % 480, 1.5, 1.5, Grey(14));
      break;
  }
  return c;
}

namespace {

// The hero's face, 16 x 16 with its top-left at (x, y): the lives.
void HeroFace(Canvas& c, int x, int y) {
  c.Ellipse(x + 8, y + 8, 6, 6, Shade(SKIN, 10));
  c.Rect(x + 2, y + 2, 12, 3, Shade(RED, 9));  // the cap
  c.Rect(x + 9, y + 7, 2, 2, Grey(0));
}

// A silver cup on a wooden foot, 16 x 16 with its top-left at (x, y).
void Trophy(Canvas& c, int x, int y) {
  static constexpr int kBowl[][2] = {{3, 12}, {3, 12}, {3, 12}, {4, 11}, {4, 11}, {5, 10}, {6, 9}};  // rows 2..8
  for (int j = 0; j < 7; ++j) c.Rect(x + kBowl[j][0], y + 2 + j, kBowl[j][1] - kBowl[j][0] + 1, 1, Grey(11));
  c.Rect(x + 3, y + 2, 10, 1, Grey(14));  // the rim
  c.Rect(x + 5, y + 3, 1, 4, Grey(14));   // a gleam
  for (int k = 0; k < 2; ++k) {           // the handles
    const int hx = k == 0 ? x + 1 : x + 13;
    c.Rect(hx, y + 3, 2, 1, Grey(9)), c.Rect(hx + (k == 0 ? 0 : 1), y + 4, 1, 2, Grey(9));
    c.Rect(hx + (k == 0 ? 1 : 0), y + 6, 1, 1, Grey(9));
  }
  c.Rect(x + 7, y + 9, 2, 2, Grey(8));  // the stem
  c.Rect(x + 5, y + 11, 6, 1, Grey(10));
  c.Rect(x + 4, y + 12, 8, 2, Shade(BROWN, 6));  // the foot
}

}  // namespace

// The head-up display's marks in the icon picture (Mark.bmp), below its
// cursor marks: 16 × 16 icons in the row at y 32 (stage points, score, HP,
// SP, lives), the 50 × 16 gauge frames at y 128 (HP at x 0, SP at x 64) and
// their bars at y 144 (plenty) and y 160 (running low).
void HudMarks(Canvas& c) {
  // A red pennant on a pole for the stage points: the points of the world's
  // cleared stages, which grow at each clear (a gold mark there was read as
  // the count of the gold taken, which goes to the score).
  c.Rect(3, 33, 2, 14, Grey(12));
  for (int j = 0; j < 4; ++j) c.Rect(5, 34 + j, 3 + 2 * j, 1, Shade(RED, 10)), c.Rect(5, 41 - j, 3 + 2 * j, 1, Shade(RED, 10));
  Trophy(c, 16, 32);  // a silver cup for the score: the gold coins add to it, and so does each enemy beaten
  c.Ellipse(37, 38, 3.5, 3.5, Shade(RED, 10)), c.Ellipse(43, 38, 3.5, 3.5, Shade(RED, 10));  // a heart for HP
  for (int j = 0; j < 7; ++j) c.Rect(34 + j, 40 + j, 12 - 2 * j, 1, Shade(RED, 10));
  for (int j = 0; j < 7; ++j)  // a crystal for SP
    c.Rect(56 - j, 34 + j, 1 + 2 * j, 1, Shade(SKY, 11)), c.Rect(56 - j, 46 - j, 1 + 2 * j, 1, Shade(SKY, 11));
  HeroFace(c, 64, 32);  // the hero's face for the lives
  c.Outline(0, 32, 80, 16, Grey(1));
  for (int k = 0; k < 2; ++k) {
    const int x = k * 64;
    c.Rect(x, 128, 50, 16, Grey(2));
    c.Frame(x, 128, 50, 16, Grey(12));
    c.Rect(x + 2, 146, 46, 12, k == 0 ? Shade(GREEN, 10) : Shade(SKY, 10));
    c.Rect(x + 2, 146, 46, 3, k == 0 ? Shade(GREEN, 13) : Shade(SKY, 13));
    c.Rect(x + 2, 162, 46, 12, Shade(RED, 10));
    c.Rect(x + 2, 162, 46, 3, Shade(RED, 13));
  }
}

namespace {

// The time digits 0 to 9, 32 × 32 each, along the row at y 160.
void TimeDigits(Canvas& c, TextPen& pen) {
  for (int d = 0; d < 10; ++d) {
    const std::string digit(1, static_cast<char>('0' + d));
    pen.Draw(c, d * 32 + (32 - pen.Measure(digit)) / 2, 160, digit, Shade(YELLOW, 12));
  }
  c.Outline(0, 160, 320, 32, Grey(1));
}

// A triangle pointing right, its flat side at x, `half` dots above and
// below the row cy.
void RightTriangle(Canvas& c, int x, int cy, int half, uint8_t colour) {
  for (int j = -half; j < half; ++j) c.Rect(x, cy + j, half - (j < 0 ? -j - 1 : j), 1, colour);
}

// An arrow pointing right in a 16 x 16 cell at (x, y): a shaft and its
// head, four dots in from the cell's left side (its outline three): the
// game draws these pointers at the left edge of a box (the slot chosen,
// the ranking's new entry), where a box's frame line may run just left of
// the cell or down its first column.
void RightArrow(Canvas& c, int x, int y, Hue hue) {
  c.Rect(x + 4, y + 6, 5, 4, Shade(hue, 11));
  RightTriangle(c, x + 9, y + 8, 5, Shade(hue, 11));
  c.Rect(x + 4, y + 6, 5, 1, Shade(hue, 14));
}

}  // namespace

// The system picture (Accessory.bmp), cell by cell as the game reads it:
//   (0, 0)     32 x 32  the menu cursor of the title and the world-map menu
//   (64, 0)    16 x 16  the small cursor: options, save slots, the pause menu
//   (80, 0)    16 x 16  the pointer at the row being edited or the slot chosen
//   (96, 0)    32 x 32  the clear sign of a world in the world select
//   (0, 48)    16 x 16  the life icon: the map's lives box, the extra-life pop-up
//   (16, 48)   16 x 16  the pointer at the new entry of a ranking
//   (0..127, 64..127)   the hero on the world map, two steps a facing
//   (0, 160)   32 x 32  the time digits 0 to 9 along the row
//   (0, 208), (64, 208) the HP and SP gauges over characters, 50 wide, five
//                       rows of 2 dots: frame, bar, low bar, loss, gain
// The picture is more than 208 high, so that the gauges are read from their
// thin rows at y 208 and not from the rows at y 128 (which would cross the
// digits).
Canvas SystemPicture(TextPen& digits) {
  Canvas c(320, 224, KEY);
  // The cursors: the greys' white (a picture's, not the text's), shaded
  // below.
  RightTriangle(c, 7, 16, 9, Grey(14));
  RightTriangle(c, 7 + 1, 16 + 4, 5, Grey(12));
  RightTriangle(c, 64 + 4, 8, 6, Grey(14));
  RightTriangle(c, 64 + 4 + 1, 8 + 3, 3, Grey(12));
  RightArrow(c, 80, 0, YELLOW);
  RightArrow(c, 16, 48, ORANGE);
  Item(c, 96, 0, 3);  // the star of a cleared world
  HeroFace(c, 0, 48);
  // Outlined cell by cell, so that no outline reaches into the next cell.
  static constexpr int kCells[][4] = {{0, 0, 32, 32}, {64, 0, 16, 16}, {80, 0, 16, 16},
                                      {96, 0, 32, 32}, {0, 48, 16, 16}, {16, 48, 16, 16}};
  for (const auto& cell : kCells) c.Outline(cell[0], cell[1], cell[2], cell[3], Grey(1));
  // The world map's walker, two steps a facing: down (0, 64), up (64, 64),
  // left (64, 96), right (0, 96); the eyes show where he faces.
  const int cells[4][2] = {{0, 64}, {64, 64}, {64, 96}, {0, 96}};
  const int eyes[4][2] = {{-4, 2}, {0, -4}, {-6, 0}, {2, 0}};
  for (int facing = 0; facing < 4; ++facing)
    for (int step = 0; step < 2; ++step) {
      const int x = cells[facing][0] + step * 32, y = cells[facing][1];
      c.Ellipse(x + 16, y + 20, 8, 9, Shade(RED, 9));
      c.Ellipse(x + 16, y + 9, 6, 6, Shade(YELLOW, 13));
      c.Rect(x + 10 + step * 8, y + 28, 4, 4, Grey(3));
      if (facing != 1) c.Rect(x + 16 + eyes[facing][0], y + 8 + eyes[facing][1], 2, 2, Grey(0));
      if (facing == 0) c.Rect(x + 18, y + 10, 2, 2, Grey(0));
    }
  TimeDigits(c, digits);
  for (int k = 0; k < 2; ++k) {
    const int x = k * 64;
    c.Rect(x, 208, 50, 2, Grey(2));                                          // the empty gauge
    c.Rect(x, 210, 50, 2, k == 0 ? Shade(GREEN, 11) : Shade(SKY, 11));       // its bar
    c.Rect(x, 212, 50, 2, Shade(RED, 11));                                   // the bar running low
    c.Rect(x, 214, 50, 2, Shade(YELLOW, 13));                                // what was just lost
    c.Rect(x, 216, 50, 2, Grey(14));                                         // what was just gained
  }
  return c;
}

// The play stage's far layer: a sky with clouds, tiled as the stage scrolls,
// over two ranges of far blue mountains along its bottom. The near range
// stands above the screen's last 36 rows everywhere: the line of white text
// the result screen writes there (at y 456) reads over a dark blue, not
// over the pale sky. The sky is a deep blue down to y 360 and pales only
// below it, and its clouds stay between y 61 and 264: the timer's digits
// (y 24..55) stand on clear sky, and the pause menu, white text drawn over
// the stage's background alone from y 272 down to 336, reads over a mid
// blue.
Canvas StageSky() {
  Canvas c(640, 480, 0);
  c.VGradient(0, 0, 640, 480, {Shade(SKY, 6), Shade(SKY, 7), Shade(SKY, 8), Shade(SKY, 8), Shade(SKY, 11)});
  for (int k = 0; k < 9; ++k) {
    const int y = 80 + (k * 83) % 180;
    for (int x = (k * 151 + 40) % 640 - 640; x < 700; x += 640)  // drawn once more a picture's width over, so the tiles join
      c.Ellipse(x, y, 30, 11, Grey(14)), c.Ellipse(x + 20, y - 7, 20, 12, Grey(14)), c.Ellipse(x - 18, y + 2, 16, 8, Grey(13));
  }
  for (int x = 0; x < 640; ++x) {
    const double t = x * 2 * 3.14159265358979 / 640;  // the picture tiles: whole waves only
    const int far = 410 + int(std::sin(t * 3 + 1) * 12 + std::sin(t * 7) * 5);     // 393..427
    const int near = 434 + int(std::sin(t * 2 + 4) * 6 + std::sin(t * 9 + 2) * 3);  // 425..443
    for (int y = far; y < near; ++y) c.Set(x, y, Shade(SKY, 7));
    for (int y = near; y < 480; ++y) c.Set(x, y, Shade(BLUE, 6));
  }
  return c;
}

// The play stage's near layer: green hills over a transparent sky.
Canvas StageHills() {
  Canvas c(640, 480, KEY);
  for (int x = 0; x < 640; ++x) {
    const double t = x * 2 * 3.14159265358979 / 640;  // the picture tiles: whole waves only
    const int far = 250 + int(std::sin(t * 2) * 30 + std::sin(t * 5 + 1) * 10);
    const int near = 320 + int(std::sin(t * 3 + 2) * 28);
    for (int y = far; y < 480; ++y) c.Set(x, y, Shade(TEAL, 6 + (y - far) / 60));
    for (int y = near; y < 480; ++y) c.Set(x, y, Shade(GREEN, 8 - std::min(5, (y - near) / 30)));
  }
  for (int k = 0; k < 14; ++k) {  // a few trees on the near hills
    const int x = k * 46 + 11;
    const double t = x * 2 * 3.14159265358979 / 640;
    const int top = 320 + int(std::sin(t * 3 + 2) * 28);
    c.Rect(x - 2, top - 14, 4, 16, Shade(BROWN, 5));
    c.Ellipse(x, top - 20, 9, 12, Shade(GREEN, 5));
  }
  return c;
}

// The picture form of the title menu: a strip 224 wide and 32 high for
// each of the seven title commands, in their order (the menu cuts the strip
// of command k at y 32 k): its label and, small, the same in English.
Canvas GameModes(TextPen& label, TextPen& english) {
  constexpr const char* kCommands[7][2] = {{"はじめから", "NEW GAME"}, {"つづきから", "CONTINUE"},
                                           {"チャレンジ", "CHALLENGE"}, {"フリー", "FREE PLAY"},
                                           {"リプレイ", "REPLAY"},     {"オプション", "OPTIONS"},
                                           {"しゅうりょう", "QUIT"}};
  Canvas c(224, 7 * 32, KEY);
  for (int k = 0; k < 7; ++k) {
    Panel(c, 0, k * 32 + 1, 224, 30, static_cast<Hue>(k % 2 ? BLUE : INDIGO));
    label.Draw(c, 10, k * 32 + 3, kCommands[k][0], TEXT);
    english.Draw(c, 218 - english.Measure(kCommands[k][1]), k * 32 + 17, kCommands[k][1], Shade(YELLOW, 13));
  }
  return c;
}

// The ending picture (picture 2 of the database): "THE END" in the
// rainbow's cycling colours over a night sky whose stars twinkle, and the
// thanks.
Canvas TheEnd(TextPen& big, TextPen& pen) {
  Canvas c(420, 260, KEY);
  Panel(c, 0, 0, 420, 260, INDIGO);
  for (int k = 0; k < 40; ++k) c.Set(8 + (k * 97) % 404, 8 + (k * 53) % 120, Cycling(STARLIGHT, k));
  const std::string end = "THE END";
  Canvas letters(420, 260, KEY);
  big.Draw(letters, (420 - big.Measure(end)) / 2, 40, end, TEXT);
  for (int y = 0; y < 260; ++y)  // each row of the letters a colour of the rainbow
    for (int x = 0; x < 420; ++x)
      if (letters.Get(x, y) != KEY) c.Set(x, y, Cycling(RAINBOW, y / 12));
  const char* lines[] = {"魔王はたおれ、空に平和がもどった。", "Thank you for playing!", "Z でタイトルへ"};
  for (int i = 0; i < 3; ++i) pen.Draw(c, (420 - pen.Measure(lines[i])) / 2, 150 + i * 30, lines[i], TEXT);
  return c;
}

}  // namespace tool::demo_bitmaps
