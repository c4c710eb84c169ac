// The demo's pictures of the stage's things: the blocks (the game's spring
// and lift among them), the character sheets, the items with the goal flag,
// the shots, the explosion, the sword, and the special bitmaps of the
// database (the UFO and the crystal block).
#include <cmath>

#include "demo_bitmaps.h"
#include "demo_media.h"

namespace tool::demo_bitmaps {

namespace {

// The game's own block pictures among the tiles (the block numbers its
// types name): the spring, whose coil glows round the neon colours, and
// the lift's plate.
using tool::demo::kLiftTile;
using tool::demo::kSpringTile;

void SpringTile(Canvas& c, int x, int y) {
  c.Rect(x, y + 26, 32, 6, Grey(6));
  c.Rect(x + 2, y + 2, 28, 5, Shade(RED, 9));
  c.Rect(x + 2, y + 2, 28, 1, Shade(RED, 13));
  for (int k = 0; k < 5; ++k)  // the coil, one colour of the cycle a turn
    c.Rect(x + 6 + (k % 2) * 2, y + 8 + k * 4, 18, 3, Cycling(NEON, k));
}

void LiftTile(Canvas& c, int x, int y) {
  c.Rect(x, y, 32, 32, Grey(9));
  c.Rect(x, y, 32, 3, Grey(13));
  c.Rect(x, y + 29, 32, 3, Grey(5));
  for (int k = 0; k < 4; ++k) c.Ellipse(x + 4 + k * 8, y + 16, 2, 2, Cycling(GOLD, k));  // running lights
}

}  // namespace

// Blocks: 15 a row, 32 × 32 each, 10 rows.
Canvas Blocks() {
  Canvas c(480, 320, KEY);
  for (int n = 1; n < 150; ++n) {  // block 0 is "no block"
    const int x = (n % 15) * 32, y = (n / 15) * 32;
    const Hue hue = static_cast<Hue>((n / 15 + 12) % 14);
    if (n == kSpringTile) {
      SpringTile(c, x, y);
      continue;
    }
    if (n == kLiftTile) {
      LiftTile(c, x, y);
      continue;
    }
    switch (n % 15) {
      case 1: case 2: case 3:  // ground: dirt with a grass top
        c.Rect(x, y, 32, 32, Shade(BROWN, 7));
        for (int i = 0; i < 24; ++i) c.Set(x + (i * 13 + n * 7) % 32, y + 8 + (i * 7) % 24, Shade(BROWN, 5));
        c.Rect(x, y, 32, 7, Shade(GREEN, 9));
        for (int i = 0; i < 32; i += 3) c.Set(x + i, y + 7, Shade(GREEN, 7));
        break;
      case 4: case 5:  // bricks
        c.Rect(x, y, 32, 32, Shade(hue, 5));
        for (int r = 0; r < 4; ++r) {
          c.Rect(x, y + r * 8 + 7, 32, 1, Shade(hue, 3));
          for (int k = 0; k < 2; ++k) c.Rect(x + ((r & 1) * 8 + k * 16) % 32, y + r * 8, 1, 7, Shade(hue, 3));
          c.Rect(x, y + r * 8, 32, 1, Shade(hue, 8));
        }
        break;
      case 6:  // stone
        c.Rect(x, y, 32, 32, Grey(8));
        c.Frame(x, y, 32, 32, Grey(4));
        c.Rect(x + 1, y + 1, 30, 1, Grey(11)), c.Rect(x + 1, y + 1, 1, 30, Grey(11));
        break;
      case 7:  // prize block
        c.Rect(x, y, 32, 32, Shade(YELLOW, 9));
        c.Frame(x, y, 32, 32, Shade(ORANGE, 5));
        c.Ellipse(x + 16, y + 16, 6, 6, Shade(ORANGE, 7));
        c.Ellipse(x + 16, y + 16, 3, 3, Shade(YELLOW, 13));
        break;
      case 8:  // ice
        c.Rect(x, y, 32, 32, Shade(CYAN, 12));
        for (int i = 4; i < 28; ++i) c.Set(x + i, y + 31 - i, Shade(CYAN, 15));
        c.Frame(x, y, 32, 32, Shade(SKY, 8));
        break;
      case 9:  // spikes
        for (int k = 0; k < 4; ++k)
          for (int j = 0; j < 16; ++j) c.Rect(x + k * 8 + 4 - j / 4, y + 16 + j, 1 + (j / 4) * 2, 1, Grey(10 - j / 6));
        c.Rect(x, y + 30, 32, 2, Grey(5));
        break;
      case 10:  // ladder
        c.Rect(x + 6, y, 3, 32, Shade(BROWN, 9)), c.Rect(x + 23, y, 3, 32, Shade(BROWN, 9));
        for (int r = 4; r < 32; r += 8) c.Rect(x + 6, y + r, 20, 2, Shade(BROWN, 11));
        break;
      case 11:  // water, its ripples running round the water colours
        c.VGradient(x, y, 32, 32, {Shade(SKY, 9), Shade(BLUE, 8), Shade(BLUE, 6)});
        for (int i = 0; i < 32; ++i) c.Set(x + i, y + 2 + int(std::sin(i / 5.0) * 2), Cycling(WATER, i / 8));
        break;
      case 12:  // cloud platform
        c.Ellipse(x + 10, y + 18, 10, 8, Grey(14)), c.Ellipse(x + 22, y + 16, 10, 10, Grey(14));
        c.Outline(x, y, 32, 32, Grey(9));
        break;
      case 13:  // crate
        c.Rect(x + 1, y + 1, 30, 30, Shade(BROWN, 10));
        c.Frame(x + 1, y + 1, 30, 30, Shade(BROWN, 5));
        for (int i = 2; i < 30; ++i) c.Set(x + i, y + i, Shade(BROWN, 6)), c.Set(x + 31 - i, y + i, Shade(BROWN, 6));
        break;
      default:  // coloured tiles with a bevel
        c.Rect(x, y, 32, 32, Shade(hue, 8));
        c.Rect(x, y, 32, 2, Shade(hue, 12)), c.Rect(x, y, 2, 32, Shade(hue, 12));
        c.Rect(x, y + 30, 32, 2, Shade(hue, 4)), c.Rect(x + 30, y, 2, 32, Shade(hue, 4));
        break;
    }
  }
  return c;
}

namespace {

// One creature in a 32 × 32 cell, frame f of its walk.
void Creature(Canvas& c, int x, int y, int kind, Hue hue, int f) {
  const int bob = (f % 4 == 1 || f % 4 == 3) ? 1 : 0;
  const int step = (f % 4 == 1) ? 2 : (f % 4 == 3) ? -2 : 0;
  switch (kind % 4) {
    case 0:  // a little hero: head, body, legs
      c.Rect(x + 11 + step, y + 26, 4, 5, Shade(BROWN, 4));
      c.Rect(x + 18 - step, y + 26, 4, 5, Shade(BROWN, 4));
      c.Rect(x + 10, y + 15 + bob, 13, 12, Shade(hue, 9));
      c.Ellipse(x + 16.5, y + 10 + bob, 7, 7, Shade(SKIN, 10));
      c.Rect(x + 9, y + 3 + bob, 15, 4, Shade(hue, 6));
      c.Rect(x + 18, y + 9 + bob, 2, 3, Grey(0));
      break;
    case 1:  // slime, squashed on its bob frames so that its outline keeps to its cell
      c.Ellipse(x + 16, y + 22 + bob, 13 + bob, 9 - bob, Shade(hue, 9));
      c.Ellipse(x + 12, y + 18 + bob, 3, 2, Shade(hue, 14));
      c.Rect(x + 18, y + 20 + bob, 2, 3, Grey(0)), c.Rect(x + 23, y + 20 + bob, 2, 3, Grey(0));
      break;
    case 2:  // bird
      c.Ellipse(x + 16, y + 16 + bob, 9, 7, Shade(hue, 9));
      c.Ellipse(x + 12, y + 12 - (f % 2) * 4 + bob, 7, 3, Shade(hue, 12));
      c.Rect(x + 24, y + 15 + bob, 5, 2, Shade(ORANGE, 10));
      c.Rect(x + 20, y + 13 + bob, 2, 2, Grey(0));
      break;
    default:  // ghost
      c.Ellipse(x + 16, y + 14 + bob, 10, 10, Grey(13));
      c.Rect(x + 6, y + 14 + bob, 21, 10, Grey(13));
      for (int i = 0; i < 4; ++i) c.Ellipse(x + 8.5 + i * 5 + (f % 2), y + 25 + bob, 2.5, 2.5, Grey(13));
      c.Rect(x + 18, y + 11 + bob, 2, 4, Shade(hue, 5)), c.Rect(x + 23, y + 11 + bob, 2, 4, Shade(hue, 5));
      break;
  }
}

// The castle's master: a ghost of the dark, deep indigo with burning eyes
// (drawn three times the size, it fills the middle of its hall, where the
// white menus of the stage show: they read over it).
void DarkGhost(Canvas& c, int x, int y, int f) {
  const int bob = (f % 4 == 1 || f % 4 == 3) ? 1 : 0;
  c.Ellipse(x + 16, y + 14 + bob, 10, 10, Shade(INDIGO, 3));
  c.Rect(x + 6, y + 14 + bob, 21, 10, Shade(INDIGO, 3));
  for (int i = 0; i < 4; ++i) c.Ellipse(x + 8.5 + i * 5 + (f % 2), y + 25 + bob, 2.5, 2.5, Shade(INDIGO, 3));
  c.Ellipse(x + 13, y + 9 + bob, 3, 2, Shade(INDIGO, 5));  // a gleam on its head
  c.Rect(x + 17, y + 11 + bob, 3, 4, Shade(RED, 10)), c.Rect(x + 23, y + 11 + bob, 3, 4, Shade(RED, 10));
}

// A wooden sign board on a post, every frame alike.
void SignBoard(Canvas& c, int x, int y) {
  c.Rect(x + 14, y + 16, 4, 16, Shade(BROWN, 6));
  c.Rect(x + 3, y + 4, 26, 15, Shade(BROWN, 10));
  c.Frame(x + 3, y + 4, 26, 15, Shade(BROWN, 4));
  for (int k = 0; k < 3; ++k) c.Rect(x + 7, y + 8 + k * 4, 18 - k * 5, 1, Shade(BROWN, 4));
}

}  // namespace

// Character sheets: 15 characters a row of 32-dot cells, 20 frames down.
// Graphic numbers count the cells of the first sheet from its left column:
// the demo's hero is graphic 1 (the little red hero), its slime 2, its
// shooter 3 (a ghost) and its bat 4 (a bird); the game's sign is 5 and its
// master 6 (a dark ghost).
Canvas Characters(int sheet) {
  Canvas c(480, 640, KEY);
  for (int n = 0; n < 15; ++n) {
    static constexpr int kDemoKinds[5] = {1, 0, 1, 3, 2};
    const bool demo = sheet == 1 && n < 5;
    const int kind = demo ? kDemoKinds[n] : (n + sheet) % 4;
    const Hue hue = static_cast<Hue>((n * 5 + sheet * 3) % 12);
    for (int f = 0; f < 20; ++f) {
      if (sheet == 1 && n == tool::demo::kSignGraphic)  // the game's sign
        SignBoard(c, n * 32, f * 32);
      else if (sheet == 1 && n == tool::demo::kMasterGraphic)  // the castle's master
        DarkGhost(c, n * 32, f * 32, f);
      else
        Creature(c, n * 32, f * 32, kind, sheet == 1 && n == 1 ? RED : hue, f);
    }
  }
  c.Outline(0, 0, 480, 640, Grey(1));
  return c;
}

void Item(Canvas& c, int x, int y, int n) {
  const Hue hue = static_cast<Hue>(n % 12);
  switch (n % 6) {
    case 0:  // coin
      c.Ellipse(x + 16, y + 16, 9, 11, Shade(YELLOW, 9));
      c.Ellipse(x + 16, y + 16, 5, 7, Shade(YELLOW, 12));
      break;
    case 1:  // heart
      c.Ellipse(x + 11, y + 13, 6, 6, Shade(hue, 9)), c.Ellipse(x + 21, y + 13, 6, 6, Shade(hue, 9));
      for (int j = 0; j < 11; ++j) c.Rect(x + 5 + j, y + 15 + j, 22 - 2 * j, 1, Shade(hue, 9));
      break;
    case 2:  // gem
      for (int j = 0; j < 18; ++j) {
        const int half = j < 6 ? 4 + j * 2 : 14 - (j - 6) * 14 / 12;
        c.Rect(x + 16 - half, y + 7 + j, half * 2, 1, Shade(hue, j < 6 ? 13 : 9));
      }
      break;
    case 3:  // star
      for (int j = 0; j < 24; ++j)
        for (int i = 0; i < 24; ++i) {
          const double dx = i - 11.5, dy = j - 12.5, a = std::atan2(dy, dx), r = std::hypot(dx, dy);
          if (r < 5 + 6 * std::pow(std::cos(2.5 * a + 0.3), 2)) c.Set(x + 4 + i, y + 4 + j, Shade(YELLOW, 11));
        }
      break;
    case 4:  // potion
      c.Ellipse(x + 16, y + 20, 8, 8, Shade(hue, 9));
      c.Rect(x + 13, y + 6, 6, 8, Grey(12));
      c.Rect(x + 12, y + 4, 8, 3, Shade(BROWN, 8));
      break;
    default:  // key
      c.Ellipse(x + 11, y + 16, 6, 6, Shade(YELLOW, 10));
      c.Ellipse(x + 11, y + 16, 2.5, 2.5, KEY);
      c.Rect(x + 16, y + 15, 12, 3, Shade(YELLOW, 10));
      c.Rect(x + 23, y + 18, 2, 4, Shade(YELLOW, 10)), c.Rect(x + 26, y + 18, 2, 3, Shade(YELLOW, 10));
      break;
  }
}

namespace {

// The game's goal flag (item graphic 24): a pole and a pennant glinting
// round the gold colours, waving between its two cells.
using tool::demo::kGoalFlagItem;
void GoalFlag(Canvas& c, int x, int y, int cell) {
  c.Rect(x + 8, y + 2, 3, 30, Grey(11));
  c.Ellipse(x + 9.5, y + 3, 3, 3, Cycling(GOLD, 3));
  for (int j = 0; j < 12; ++j) {
    const int wave = cell ? (j % 4 < 2 ? 1 : 0) : 0;
    c.Rect(x + 11, y + 5 + j + wave, 18 - j * 3 / 2, 1, Cycling(GOLD, j / 3));
  }
}

}  // namespace

// Items: 15 a row, each 32 wide and 64 high (two cells: still and glinting).
Canvas Items() {
  Canvas c(480, 128, KEY);
  for (int n = 0; n < 30; ++n) {
    const int x = (n % 15) * 32, y = (n / 15) * 64;
    if (n == kGoalFlagItem) {
      GoalFlag(c, x, y, 0);
      GoalFlag(c, x, y + 32, 1);
      continue;
    }
    Item(c, x, y, n);
    Item(c, x, y + 32, n);
    c.Set(x + 10, y + 32 + 9, Grey(14)), c.Set(x + 11, y + 32 + 10, Grey(14)), c.Set(x + 9, y + 32 + 10, Grey(14));
  }
  c.Outline(0, 0, 480, 128, Grey(1));
  return c;
}

// Small items: 16 × 16, 16 a row.
Canvas MiniItems() {
  Canvas big = Items();
  Canvas c(256, 32, KEY);
  for (int n = 0; n < 30; ++n)
    for (int j = 0; j < 16; ++j)
      for (int i = 0; i < 16; ++i) c.Set((n % 16) * 16 + i, (n / 16) * 16 + j, big.Get((n % 15) * 32 + i * 2, (n / 15) * 64 + j * 2));
  return c;
}

// Shots: 30 graphics of 16 × 16 down a column, two animation cells wide each.
Canvas Shots() {
  Canvas c(64, 480, KEY);
  for (int g = 0; g < 60; ++g) {
    const int x = (g / 30) * 32, y = (g % 30) * 16;
    const Hue hue = static_cast<Hue>(g % 12);
    for (int cell = 0; cell < 2; ++cell) {
      const int cx = x + cell * 16;
      if (g % 3 == 2) {  // arrow pointing right
        c.Rect(cx + 1, y + 7, 11, 2, Shade(BROWN, 9));
        for (int j = 0; j < 4; ++j) c.Rect(cx + 11 + j, y + 4 + j, 1, 8 - 2 * j, Grey(11));
        c.Rect(cx + 1, y + 5 + cell, 3, 1, Shade(hue, 11)), c.Rect(cx + 1, y + 10 - cell, 3, 1, Shade(hue, 11));
      } else {  // energy ball, pulsing
        c.Ellipse(cx + 8, y + 8, 6 - cell, 6 - cell, Shade(hue, 9));
        c.Ellipse(cx + 8, y + 8, 3, 3, Shade(hue, 14));
      }
    }
  }
  return c;
}

// ---- fxobj: the explosion effect: four 32 × 32 cells, a flash that grows
// into a fireball, bursts and leaves a puff of smoke.
Canvas Explosion() {
  Canvas c(128, 32, KEY);
  c.Ellipse(16, 16, 6, 6, Shade(YELLOW, 12)), c.Ellipse(16, 16, 3, 3, Grey(14));
  c.Ellipse(48, 16, 11, 11, Shade(ORANGE, 10)), c.Ellipse(48, 16, 7, 7, Shade(YELLOW, 12));
  c.Ellipse(48, 16, 3, 3, Grey(14));
  for (int k = 0; k < 8; ++k) {  // the burst's rays
    const double a = k * 3.14159265358979 / 4;
    for (int r = 8; r < 15; ++r) c.Rect(80 + int(std::cos(a) * r), 16 + int(std::sin(a) * r), 2, 2, Shade(RED, 10));
  }
  c.Ellipse(80, 16, 10, 10, Shade(RED, 9)), c.Ellipse(80, 16, 6, 6, Shade(ORANGE, 11));
  for (int k = 0; k < 5; ++k) c.Ellipse(104 + (k * 7) % 16, 9 + (k * 5) % 14, 5, 5, Grey(6 + k));
  c.Outline(0, 0, 128, 32, Grey(1));
  return c;
}
// ---- end fxobj ----

// The sword: three 32 × 16 cells of a blade thrust out to the left (the
// game mirrors it for a right-facing owner), longer in each cell.
Canvas Sword() {
  Canvas c(96, 16, KEY);
  for (int f = 0; f < 3; ++f) {
    const int x = f * 32, blade = 14 + f * 7;
    c.Rect(x + 26, 4, 4, 8, Shade(BROWN, 8));   // grip
    c.Rect(x + 24, 3, 2, 10, Shade(YELLOW, 10));   // guard
    c.Rect(x + 24 - blade, 6, blade, 4, Grey(13));  // blade
    c.Rect(x + 24 - blade, 7, blade, 1, Grey(15));
    c.Rect(x + 23 - blade, 7, 1, 2, Grey(13));      // point
  }
  return c;
}

// >>> gsrc: the special bitmaps ("専用bmp") of the database, laid out as the
// game reads a picture of cell scale 1: cells of 32 x 32 dots, 16 to a row,
// counted from the top-left (the game makes the mirrored copy itself).
// The UFO's four frames: a saucer whose lights run round and whose beam
// flickers.
Canvas UfoPicture() {
  Canvas c(512, 32, KEY);
  for (int f = 0; f < 4; ++f) {
    const int x = f * 32;
    const int bob = f % 2;
    c.Ellipse(x + 16, 10 + bob, 7, 6, Shade(CYAN, 13));  // the dome
    c.Ellipse(x + 14, 8 + bob, 2, 2, Grey(14));
    c.Ellipse(x + 16, 16 + bob, 15, 5, Grey(10));        // the saucer
    c.Rect(x + 2, 16 + bob, 28, 2, Grey(6));
    for (int k = 0; k < 4; ++k)  // lights: one of them lit in turn
      c.Ellipse(x + 7 + k * 6, 17 + bob, 1.6, 1.6, k == f ? Shade(YELLOW, 13) : Shade(RED, 7));
    for (int j = 0; j < 8; ++j)  // the beam under it
      if ((j + f) % 3 != 0) c.Rect(x + 13 - j / 2, 22 + bob + j, 6 + j, 1, Shade(LIME, 13));
    c.Outline(x, 0, 32, 32, Grey(1));
  }
  return c;
}

// A crystal block for the blocks drawn from a special bitmap: cell 0.
Canvas CrystalPicture() {
  Canvas c(512, 32, KEY);
  c.Rect(0, 0, 32, 32, Shade(PURPLE, 6));
  for (int j = 0; j < 16; ++j) {  // a diamond of facets
    c.Rect(16 - j, 1 + j, 2 * j, 1, Shade(PURPLE, 9 + (j < 8 ? 2 : 0)));
    c.Rect(16 - j, 30 - j, 2 * j, 1, Shade(PURPLE, 8));
  }
  for (int i = 4; i < 28; i += 6) c.Set(i, 4 + (i * 7) % 20, Grey(14));  // glints
  c.Frame(0, 0, 32, 32, Shade(INDIGO, 4));
  c.Rect(1, 1, 30, 1, Shade(PURPLE, 13)), c.Rect(1, 1, 1, 30, Shade(PURPLE, 13));
  return c;
}
// <<< gsrc

}  // namespace tool::demo_bitmaps
