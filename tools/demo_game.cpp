// The demo's game: three worlds of stages drawn as text sketches, the types
// they place (added to the common palette after the showcase's own) and
// the world map that leads from one world to the next. This file adds the
// game's database entries and types and lists its stage files; the files
// named in demo_game_parts.h build the rest.
#include "demo_game.h"

#include "data/common_palette.h"
#include "data/database.h"
#include "flow/flow_host.h"
#include "demo_builders.h"
#include "demo_game_parts.h"

namespace tool::demo {

using namespace game;

// The ending's picture: entry 2 of the picture list (after the two a new
// database has); the hero's blinking after a hit, after the showcase's
// graphic effects.
void AddGameDatabaseEntries(cDatabase& db) {
  cPictureRecord theEnd;
  theEnd.m_nNumber = static_cast<int32_t>(db.m_Pictures.size());
  theEnd.m_strName = "bmp\\TheEnd.bmp";
  db.m_Pictures.push_back(theEnd);
  // The hero's blinking after a hit: as long as its safety lasts (the
  // effect counts tenths of a second).
  cCharaEffectRecord safety;
  safety.m_nKind = 6;  // blink: time, interval in frames
  safety.m_nParams[0] = kHeroSafetyFrames / 6;
  safety.m_nParams[1] = kSafetyBlinkFrames;
  safety.m_strName = plat::Sjis(kSafetyBlinkName);
  db.m_CharaEffects.push_back(safety);
}

void AddGameTypes(cCommonPalette& palette) {
  const size_t firstCharacter = palette.m_Characters.size();
  palette.m_Blocks.push_back(Block("トゲ", 9, 2));  // deadly to the hero
  palette.m_Blocks.push_back(Block("雲", 12, 1));   // a cloud to stand on, or to fly round
  cEdBlock spring = Block("バネ", kSpringTile, 1);
  spring.m_nOption4 = 1;        // a spring: standing on it throws the hero up
  spring.m_nOption4Value = 24;  // a jump of 24 half blocks: the stage's top speed holds it to five and a half blocks
  palette.m_Blocks.push_back(spring);
  // The crystal floor: the showcase's crystal (a picture of its own, cell 0
  // of the special bitmap "クリスタル"), solid.
  cEdBlock crystal = palette.m_Blocks[static_cast<size_t>(IndexByName(palette.m_Blocks, "クリスタル"))];
  crystal.m_strName = plat::Sjis("水晶の床");
  crystal.m_nOption7 = 1;
  palette.m_Blocks.push_back(crystal);
  palette.m_Characters.push_back(GameHero(palette));
  palette.m_Characters.push_back(SkyHero(palette));
  // The lift up and down runs three blocks each way, a dot a frame (a
  // second and six tenths a way), from where it is placed up and back.
  // Placed a block over a floor, it comes down no lower than that: the
  // hero walks under it, or stands beside it, unharmed; at the top it is
  // flush with the ledge three blocks up, never above it, and waits there
  // half a second for the hero to step or jump off.
  palette.m_Characters.push_back(Platform("上下リフト", kDirUp, kDirDown, 96, 16, 5, 0));
  // The lift to and fro runs four blocks each way in two seconds, from
  // where it is placed to the left and back, and waits half a second at
  // each end, so that a rider walking off it is on the ledge before it
  // turns: three of them side by side shuttle across a gap of seven blocks.
  palette.m_Characters.push_back(Platform("左右リフト", kDirLeft, kDirRight, 128, 20, 5, 5));
  palette.m_Characters.push_back(Blob());
  palette.m_Characters.push_back(Turret());
  palette.m_Characters.push_back(Bat());
  palette.m_Characters.push_back(Sign());
  palette.m_Characters.push_back(SkyUfo(palette));
  palette.m_Characters.push_back(Bird());
  // Gold: ten points and its sound, shown rising over the hero; the gold
  // block gives one each time the hero lands on it.
  cEdItem gold = Item(kGoldName, 6, kSndCoin, {AddToGame(kGameScore, 10, true)});
  gold.m_nParam6 = 1;
  palette.m_Items.push_back(gold);
  palette.m_Blocks.push_back(Block("金貨ブロック", 7, 1, 1, static_cast<uint16_t>(palette.m_Items.size() - 1)));
  // The goal: the game holds still for half a second, then the stage is
  // cleared and the next stage of the world follows (the world is cleared
  // after its last).
  palette.m_Items.push_back(
      Item(kGoalName, kGoalFlagItem, kSndClear, {ItemCommand(kCmdGameWait, {5}), ItemCommand(kCmdStageClear, {0})}));
  palette.m_Items.push_back(Ending());
  palette.m_Characters.push_back(EndingLight());
  palette.m_Characters.push_back(EndingGiver(palette));  // after the ending it gives
  palette.m_Characters.push_back(Master(palette));       // after the light it leaves
  palette.m_Characters.push_back(WindHero(palette));
  for (size_t i = firstCharacter; i < palette.m_Characters.size(); ++i) PutOnItsLayer(palette.m_Characters[i]);
}

std::vector<GameStageFile> BuildGameStages(const cCommonPalette& common) {
  cStageData sky = BuildSketchedStage(common, SkyChase());
  sky.Int(kStageForcedScrollXOn) = 1;
  sky.Int(kStageForcedScrollXSpeed) = 15;
  cStageData wind = BuildSketchedStage(common, WindRoad());
  wind.Int(kStageForcedScrollXOn) = 1;
  wind.Int(kStageForcedScrollXSpeed) = 20;
  return {{"c01-1.stg4_001", BuildSketchedStage(common, Meadow())},
          {"c01-2.stg4_001", BuildSketchedStage(common, Tower())},
          {"c02-1.stg4_001", sky},
          {"c02-2.stg4_001", wind},
          {"c03-1.stg4_001", BuildSketchedStage(common, MastersHall())},
          {"c04-1.stg4_001", BuildEndingStage(common)}};
}

}  // namespace tool::demo
