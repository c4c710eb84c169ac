// World 1 of the demo's game, the meadow: its two stages as text sketches
// (see demo_game_sketch.cpp for the key).
#include "demo_game_parts.h"

namespace tool::demo::game {

// 1-1: a walk east that teaches as it goes. The first screen is safe: a
// sign tells how to walk and jump, coin blocks and a low wall try the jump,
// and a narrow pit keeps every enemy away from it (they turn back at
// ledges). Past the pit a second sign tells how to shoot and cut before the
// first blob comes; then the others, one at a time: a second blob under a
// ledge, a third sign at the coin blocks (stand on one for its gold) with a
// heart on the pillar beyond, a ghost turret, a bat, and the flag on top of
// the last hill. The signs' texts show high on the screen, over the
// sky, clear of the blocks, the gold and the hero's jumps. The first
// screen's coin blocks and gold hang over the hero's start, left of the
// screen's middle, where the pause menu's rows stand on the hills.
StageSketch Meadow() {
  return {"はじまりの草原",
          kMusicMeadow,
          Backdrop::kHills,
          {
              "                                                                                                                         ",
              "                                                                                                                         ",
              "                                                                                                                         ",
              "                                                                                                                         ",
              "                                                                                                                         ",
              "                                                                                                                         ",
              "                                                                                                                *        ",
              "                                                    o o                  o o o  h                              BBB       ",
              "   o o o                                                                        B                             BBBBB      ",
              "                 o                                BBBBBBBB                      B                            BBBBBBB     ",
              "   ?????               o                                       o       ???????? B             o             BBBBBBBBB    ",
              "                                              B                                 B                          BBBBBBBBBBB   ",
              "  @ i            B         i              s   B         s           i           B       g             b   BBBBBBBBBBBBB  ",
              "######################  ######################################   ############################   #########################",
              "######################  ######################################   ############################   #########################",
          },
          {"←→で歩く\nZでジャンプ", "Xでショット Cで剣\nてきをたおそう", "コインブロックに乗ると\n金貨でスコアが10ふえる"},
          144};
}

// 1-2: a climb up the tower: lifts, a spring and crystal steps to the
// flag at the top. Each lift up and down hangs a block over the floor
// beside or under it (the sign says to wait for it there and jump on), so
// that it never comes down on a hero who walks under it or stands by. At
// the top of its way it is flush with the ledge beside it, and waits there
// half a second; under the ledge's end a wall of bricks hangs down beside
// the shaft as low as the lift comes, so that no ledge has an underside
// beside a shaft: a hero standing out over the lift's edge is held off by
// the wall's side as the lift rises, never caught between the lift and a
// ledge above it. The first lift is boarded from the floor on its left, the
// second from the crystal floor on its right (the crystal runs on under the
// wall and the shaft, with gold under the shaft); at the stop the hero
// jumps or walks off onto the ledge. The first lift's shaft stands under
// the bricks of the ledge above, a column clear of the gap that the lifts
// to and fro cross: a jump off it bumps on the bricks and comes down on
// its ledge, where one from under the gap would rise as high as the lifts
// to and fro and could land on the ledge above, or be caught between one
// of them coming back and that ledge's end. The spring waits a block
// down past the end of the first lift's ledge: the hero walking on drops
// onto it (a spring level with the ledge can stop a hero who walks off a
// lift at the ledge's very height). The lifts to and fro land on the left
// on a ledge that reaches under the first crystal step's left edge: a hero
// who walks along it toward the step, to climb it, comes under the step
// before he can walk off the ledge. The tower's top keeps out of the
// columns of the timer's digits (x 272 to 367 on the screen, columns 8 to
// 11): a step of two bricks left of them, up from the crystal, and a jump
// across to the top ledge right of them, whose right end holds the flag
// in the sixth row from the top (y 160 to 191 on the top screen): the hero
// who takes it stands above the result's box (y 223 down).
// From the turret's ledge up the digits stand on open sky, and the
// head-up display never hides the flag; so do they on the first screen,
// whose lowest crystal steps keep left of them. (The crystal floor under
// the second shaft and the turret's ledge span the tower's middle: they
// pass under the digits as the view climbs between.) The sign's text shows
// on one line high on the first screen, over the sky: under the lowest
// crystal steps and over the row of the lifts to and fro, left of the
// first lift's shaft and of the ledge above it, where the blob walks, so
// that it hides neither the blob nor the hero waiting for the lift and
// riding it.
StageSketch Tower() {
  return {"空への塔",
          kMusicTower,
          Backdrop::kSky,
          {
              "B                  B",
              "B                  B",
              "B                  B",
              "B                  B",
              "B                  B",
              "B             *    B",
              "B     BB    BBB    B",
              "B                  B",
              "B                  B",
              "B CCC              B",
              "B                  B",
              "B      g           B",
              "B     BBBBBBBBB    B",
              "B             B    B",
              "B             B    B",
              "B             B||| B",
              "B           h  ooo B",
              "B         CCCCCCCCCB",
              "B                  B",
              "B     CCC          B",
              "B           b      B",
              "B o                B",
              "BCCC               B",
              "B                  B",
              "B                  B",
              "B    CCC           B",
              "B                  B",
              "B               s  B",
              "BBBBB    ---BBBBB  B",
              "B                  B",
              "B                  B",
              "B              o o B",
              "B              BBB B",
              "B              B  SB",
              "B              B   B",
              "B           |||B   B",
              "B @ i              B",
              "B##################B",
              "B##################B",
          },
          {"リフトが下りたらジャンプで乗ろう"},
          147,
          -128};
}

}  // namespace tool::demo::game
