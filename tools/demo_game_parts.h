// What the files of the demo's game share (demo_game.h is what the rest of
// the tool sees): the names its stages and types know each other by, the
// values the game chooses, the builders of its types, and the stage
// sketches with the builder that turns one into a stage.
//
//   demo_game.cpp         the database entries, the types in palette order,
//                         the stage files
//   demo_game_types.cpp   the heroes, the lifts, the enemies and the sign
//   demo_game_sketch.cpp  a stage drawn as a text sketch, built
//   demo_game_world1.cpp  world 1's stages: the meadow and the tower
//   demo_game_world2.cpp  world 2's stages: the sky and the wind road
//   demo_game_castle.cpp  the castle: its master, its hall, and the ending
//   demo_game_map.cpp     the world map
#pragma once

#include <cstdint>
#include <vector>

#include "data/character.h"
#include "data/flow.h"
#include "data/item.h"
#include "data/stage_data.h"
#include "demo_media.h"

class cCommonPalette;

namespace tool::demo::game {

// ---- the game's types, by name ----
inline constexpr const char* kHeroName = "勇者";
inline constexpr const char* kSkyHeroName = "空の勇者";
inline constexpr const char* kWindHeroName = "風の勇者";
inline constexpr const char* kGoldName = "金貨";
inline constexpr const char* kGoalName = "ゴールの旗";
inline constexpr const char* kSignName = "看板";
inline constexpr const char* kEndingName = "エンディング";
inline constexpr const char* kEndingLightName = "終わりの光";
inline constexpr const char* kEndingGiverName = "エンディングの合図";

// ---- values the game chooses ----
// After a hit the hero is safe from every attacker for a second and a
// half, and blinks meanwhile: hidden and shown by turns, four frames each.
inline constexpr int32_t kHeroSafetyFrames = 90;
inline constexpr int32_t kSafetyBlinkFrames = 4;
inline constexpr const char* kSafetyBlinkName = "無敵の点滅";
// Every enemy of the game bursts in the explosion of the effect list when
// it is beaten.
inline constexpr uint32_t kEffectExplosion = 2;
// The signs show their texts in one window, named by this ID: the text of
// the sign the hero came to last, which the castle's clear closes.
inline constexpr uint32_t kSignTextWindow = 1;
// The ending's world on the map: at the end of the road east of the
// castle, where the castle's clear puts the hero.
inline constexpr int32_t kEndingColumn = 17, kEndingRow = 7;

// ---- the game's types (demo_game_types.cpp) ----
// The hero walks three dots a frame (a movement speed of 60 at the stages'
// pace), the wind road's a little slower.
inline constexpr uint16_t kHeroWalk = 60;
cEdCharacter GameHero(const cCommonPalette& palette, uint16_t walk = kHeroWalk);
cEdCharacter WindHero(const cCommonPalette& palette);
cEdCharacter SkyHero(const cCommonPalette& palette);
// A lift: a block character going to and fro.
cEdCharacter Platform(const char* name, uint8_t there, uint8_t back, uint16_t distance, uint16_t tenths,
                      uint16_t pauseThere, uint16_t pauseBack);
// An enemy that hurts the hero by touch and bursts when beaten.
cEdCharacter Enemy(const char* name, int16_t graphic, int32_t hp, int32_t score);
cEdCharacter Blob();
cEdCharacter Turret();
cEdCharacter Bat();
cEdCharacter SkyUfo(const cCommonPalette& palette);
cEdCharacter Bird();
cEdCharacter Sign();
// The command that closes the signs' text window.
cEdCmd CloseSignText();
// Puts a character of the game on its drawing layer, and its shots and
// sword with it.
void PutOnItsLayer(cEdCharacter& c);

// ---- the castle's types and the ending (demo_game_castle.cpp) ----
cEdItem Ending();
cEdCharacter EndingLight();
cEdCharacter EndingGiver(const cCommonPalette& palette);
cEdCharacter Master(const cCommonPalette& palette);

// ---- stage sketches (demo_game_sketch.cpp) ----
// What a stage shows behind its blocks.
enum class Backdrop {
  kHills,   // the sky drifting by, hills in front scrolling at half speed
  kSky,     // the sky alone
  kCastle,  // the castle's hall
};

struct StageSketch {
  const char* name;
  DemoMusic music;
  Backdrop backdrop;
  std::vector<const char*> rows;  // top to bottom, one character a block
  std::vector<const char*> signs;  // the texts of its signs ('i'), in row order
  int32_t signsRaised = 0;         // dots above the screen's centre its signs' texts show
  int32_t signsShifted = 0;        // dots right of the screen's centre they show
};

// The stage of a sketch at the game's pace (two sub-steps a frame), with a
// five-minute limit, its banners, and the sky and hills behind it.
cStageData BuildSketchedStage(const cCommonPalette& common, const StageSketch& sketch);

// ---- the stages ----
StageSketch Meadow();    // 1-1 (demo_game_world1.cpp)
StageSketch Tower();     // 1-2
StageSketch SkyChase();  // 2-1 (demo_game_world2.cpp)
StageSketch WindRoad();  // 2-2
StageSketch MastersHall();  // 3-1 (demo_game_castle.cpp)
cStageData BuildEndingStage(const cCommonPalette& common);

}  // namespace tool::demo::game
