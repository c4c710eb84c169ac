// World 2 of the demo's game, above the clouds: its two stages as text
// sketches (see demo_game_sketch.cpp for the key).
#include "demo_game_parts.h"

namespace tool::demo::game {

// 2-1: the hero flies with the screen, shooting UFOs and birds, to the star
// at the end of the sky. Its first stretch is open sky where only birds fly
// by, above and below the hero's row: a hero who holds still there is not
// hit (the first UFO fires eleven seconds in), and one who tries the
// arrows and the shot has room to learn them. Its two banks of cloud keep
// out of the top two rows, where the timer's digits stand (y 24 to 55),
// and the star stands low in the last screen, under the rows of the
// result's box (y 223 to 288), so that the hero who takes it is clear of
// the box.
StageSketch SkyChase() {
  return {"UFOの空",
          kMusicSky,
          Backdrop::kSky,
          {
              "                                                                                                                                                       ",
              "                                                                                                                                                       ",
              "                                                                               =======                                                                 ",
              "                                     v                           v         U   =======                         U                                       ",
              "                            v                U                                 o     o               U                         v                       ",
              "                                                                                           o                             v                             ",
              "                                                          v                            v         o                                                     ",
              "   A                                               U     v               U         v           v   h   o   U       U      v     v                      ",
              "                                                          v                                v                 o                                         ",
              "                                                             o                                                     o       v                           ",
              "                              v                U                   o                                   U                 o       v                     ",
              "                                       v                           v     o U                                   U               o                 *     ",
              "                                                                                       =======                                                         ",
              "                                                                                       =======                                                         ",
              "                                                                                       =======                                                         ",
          },
          {}};
}

// 2-2: the road east runs with the wind: the screen scrolls by itself, two
// dots a frame, and the hero must keep ahead of its left edge over walls,
// spikes and pits. The wind's hero walks a little faster than the screen
// (two dots and a tenth a frame), so that one who holds the arrow on moves
// ahead on the screen only slowly (from a third of the way across to about
// two thirds by the road's end), with much of the screen still ahead of
// it, and slowly makes up what a wall or a late jump cost it. Its jumps
// carry it more than three blocks; no pit is wider than two, no spikes
// wider than one, and each thing on the road stands seven blocks or more
// from the one before. The first forty blocks are a safe opening: flat
// road, gold in the air and coin blocks to try the jump on, while the sign
// is read (its text high on the screen, over the sky); a hero who does
// nothing is pushed along it by the screen's edge for more than eleven
// seconds before the first wall stops it. Then one
// thing at a time: a low wall, a pit, a higher wall, spikes, a pit, a
// ledge over the road (a blob and gold on it), a wall, a bat, a pit, a
// spring in the road that throws the hero up onto a high road of gold (a
// blob on the road below it), a pit, a wall with a heart over it and
// spikes. The flag stands in a brick hut at the road's end whose door is on
// its far side: the hero goes over the roof, drops down beyond it and
// walks back in. A hero who runs ahead of the screen can only go as far as
// its right edge, so by the time it has come round to the flag, the hut
// and the flag are well inside the screen (a flag out in the open at the
// road's end would be taken at the screen's edge, half out of sight, with
// the hero pressed against it on the result screen).
StageSketch WindRoad() {
  return {"風の道",
          kMusicWind,
          Backdrop::kHills,
          {
              "                                                                                                                                                                ",
              "                                                                                                                                                                ",
              "                                                                                                                                                                ",
              "                                                                                                                                                                ",
              "                                                                                                                                                                ",
              "                                                                                                                                                                ",
              "                                                                                                 b                                                              ",
              "                                                                                                                o o o                                           ",
              "                                                                                                              BBBBBBBB               h                          ",
              "                                                                                    o s  o                                                                      ",
              "              o o o     ???     o o o                                               BBBBBB                                                                      ",
              "                                                             B                               B                                       B                BBBBBB    ",
              "      w  i                                  B                B       ^                       B                 s                     B       ^        B*        ",
              "####################################################  #########################  ####################  #####S###############  ##################################",
              "####################################################  #########################  ####################  #####################  ##################################",
          },
          {"画面は勝手に進む！\n左はしにはさまれるな"},
          144};
}

}  // namespace tool::demo::game
