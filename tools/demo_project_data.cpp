// The demo project's database, common palette, stages and world map, written
// through the runtime's own writers: animations, effects, special bitmaps,
// pictures, the demo's sounds and music; the showcase's hero, enemies with
// flows of most command kinds, blocks and items in the common palette, and
// the showcase stage that scripted plays run ("data\stg4\demo.stg4_1"). The
// game's own types, stages and map come from demo_game.h.
#include <array>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <vector>

#include "data/common_palette.h"
#include "data/database.h"
#include "data/labels.h"
#include "data/stage_data.h"
#include "data/world_map.h"
#include "flow/flow_host.h"
#include "platform/text.h"
#include "demo_builders.h"
#include "demo_game.h"
#include "demo_media.h"
#include "demo_project.h"
#include "tool.h"

namespace tool {
namespace {

namespace fs = std::filesystem;
using namespace demo;
using demo::Command;  // the builder, not the tool's subcommand record

// Item command kinds of the flow kinds the demo's items use.
constexpr uint8_t kItemSoundEffect = ItemKindOfFlowKind(kCmdPlaySound);
constexpr uint8_t kItemStatusOperation = ItemKindOfFlowKind(kCmdStatus);

// ---- fxobj: database effect entries: 0 and 1 are a new database's empty
// entries, the explosion (four 32 x 32 cells of "bmp\Explosion.bmp") follows.
constexpr uint32_t kEffectExplosion = 2;
// ---- end fxobj ----

// >>> gsrc: graphic sources. Two special bitmaps ("専用bmp"): the UFO, a
// character drawn from picture 1 (cells 0..3 of its sheet, an animation set
// of its own), and the crystal, a block drawn from cell 0 of picture 2; and
// the hero's death display, a burst. The entries are found by their names,
// so that other entries may come before them.
constexpr const char* kUfoName = "UFO";
constexpr const char* kCrystalName = "クリスタル";
constexpr const char* kHeroDeathName = "破裂";

void AddGraphicSourceEntries(cDatabase& db) {
  db.m_BmpCharaExcs.resize(1);  // entry 0 stands for none
  for (const auto& [name, file] : {std::pair{kUfoName, "bmp\\Ufo.bmp"}, std::pair{kCrystalName, "bmp\\Crystal.bmp"}}) {
    cBmpCharaExcRecord picture;
    picture.m_strName = plat::Sjis(name);
    picture.m_strText2 = file;
    picture.m_nValue2 = 1;  // cell scale: 32-dot cells, 16 a row
    db.m_BmpCharaExcs.push_back(picture);
  }
  cAnimeSetRecord ufo;  // every animation runs the four frames round
  ufo.m_strName = plat::Sjis(kUfoName);
  for (cAnimeRecord& anime : ufo.m_Animes)
    anime.m_Frames = Animation("", {{0, 1, 0}, {1, 1, 0}, {2, 1, 0}, {3, 1, 0}}).m_Frames;
  db.m_AnimeSets.push_back(ufo);
  cCharaEffectRecord burst;
  burst.m_nKind = 1;  // burst: time, start and end distance
  burst.m_nParams[0] = 6;
  burst.m_nParams[1] = 0;
  burst.m_nParams[2] = 32;
  burst.m_strName = plat::Sjis(kHeroDeathName);
  db.m_CharaEffects.push_back(burst);
}
// <<< gsrc

void BuildDatabase(cDatabase& db) {
  db.SetDefaults();
  // Animation sets: the new project's one, then the hero's and the enemies'
  // (standing, walking, flying, flying on: cells of their sheet column).
  cAnimeSetRecord hero;
  hero.m_strName = plat::Sjis("主人公");
  hero.m_Animes[0] = Animation("立ち", {{0, 5, 0}, {1, 5, 0}});
  hero.m_Animes[1] = Animation("立ち移動", {{2, 1, 0}, {3, 1, 0}, {4, 1, 0}, {5, 1, 0}});
  hero.m_Animes[2] = Animation("飛行", {{6, 2, 0}});
  hero.m_Animes[3] = Animation("飛行移動", {{6, 1, 0}, {7, 1, 0}});
  cAnimeSetRecord enemy = hero;
  enemy.m_strName = plat::Sjis("敵");
  enemy.m_Animes[1] = Animation("立ち移動", {{2, 2, 0}, {3, 2, 0}});
  db.m_AnimeSets.push_back(hero);
  db.m_AnimeSets.push_back(enemy);
  db.m_Animes.push_back(Animation("爆発", {{8, 1, 0}, {9, 1, 0}, {10, 1, 1}, {11, 2, 1}}));
  db.m_Animes.push_back(Animation("ジャンプ", {{12, 3, 1}}));

  cSwordTypeRecord sword;
  sword.m_strName = plat::Sjis("ソード");
  sword.m_strText2 = "bmp\\Sword.bmp";
  sword.m_Entries.assign(3, cSwordTypeEntry());
  // Three frames of a blade held in front of the owner: width, height,
  // offset x (mirrored with the facing), offset y, the cell on the sword
  // sheet, a tenth of a second each.
  for (int i = 0; i < 3; ++i) {
    int32_t* v = sword.m_Entries[i].m_nValues;
    v[0] = 32;
    v[1] = 16;
    v[2] = 24;
    v[3] = 8;
    v[4] = 1;
    v[7] = i;
    v[9] = 1;
  }
  db.m_SwordTypes.push_back(sword);

  cEffectRecord explosion;
  explosion.m_strName = plat::Sjis("爆発");
  explosion.m_strText2 = "bmp\\Explosion.bmp";  // fxobj
  explosion.m_Frames = {cIntPair(0, 1), cIntPair(1, 1), cIntPair(2, 1), cIntPair(3, 2)};
  db.m_Effects.push_back(explosion);

  cCharaEffectRecord blink;
  blink.m_nKind = 6;  // blink: time, interval
  blink.m_nParams[0] = 10;
  blink.m_nParams[1] = 2;
  blink.m_strName = plat::Sjis("点滅");
  db.m_CharaEffects.push_back(blink);
  // >>> chara: graphic effect of the frog (a looping wave, started by its flow)
  cCharaEffectRecord wave;
  wave.m_nKind = 4;  // horizontal wave: time, start width, end width, waves, roughness
  wave.m_nParams[0] = 10;
  wave.m_nParams[1] = 0;
  wave.m_nParams[2] = 8;
  wave.m_nParams[3] = 2;
  wave.m_nParams[4] = 2;
  wave.m_strName = plat::Sjis("波（横）");
  db.m_CharaEffects.push_back(wave);
  // <<< chara
  AddGraphicSourceEntries(db);  // gsrc
  cScrEffectRecord shake;
  shake.m_nKind = 2;  // horizontal vibration: time, width, count
  shake.m_nParams[0] = 5;
  shake.m_nParams[1] = 4;
  shake.m_nParams[2] = 6;
  shake.m_strName = plat::Sjis("振動");
  db.m_ScrEffects.push_back(shake);
  // >>> screen effects: a lens over the hero and a mosaic that grows and
  // shrinks back (effects 3 and 4 after the shake, started by the frog).
  cScrEffectRecord lens;
  lens.m_nKind = 12;  // lens: time, strength from, strength to, offset x, offset y
  lens.m_nParams[0] = 20;
  lens.m_nParams[1] = 0;
  lens.m_nParams[2] = 60;
  lens.m_strName = plat::Sjis("レンズ");
  db.m_ScrEffects.push_back(lens);
  cScrEffectRecord mosaic;
  mosaic.m_nKind = 13;  // mosaic: time, block size from, block size to
  mosaic.m_nParams[0] = 10;
  mosaic.m_nParams[1] = 1;
  mosaic.m_nParams[2] = 16;
  mosaic.m_strName = plat::Sjis("モザイク");
  db.m_ScrEffects.push_back(mosaic);
  // <<< screen effects

  db.m_Pictures[1].m_strName = "bmp\\Title.bmp";
  // The runtime plays a sound entry's name as its file.
  db.m_Sounds.resize(1);
  for (const char* wav : kDatabaseSoundFiles) {
    cSoundRecord sound;
    sound.m_nNumber = static_cast<int32_t>(db.m_Sounds.size());
    sound.m_strName = wav;
    db.m_Sounds.push_back(sound);
  }
  db.m_Bgms.resize(1);
  for (const DemoTuneEntry& tune : kMusicFiles) {
    cBgmRecord music;
    music.m_nNumber = static_cast<int32_t>(db.m_Bgms.size());
    music.m_nValue2 = 100;  // volume, percent
    music.m_strName = tune.file;
    music.m_strText2 = plat::Sjis(tune.name);
    db.m_Bgms.push_back(music);
  }
  AddGameDatabaseEntries(db);
}

// ---- Flow commands: the demo's flows ----
// The jump animation of the database list (after the two a new project has
// and the explosion).
constexpr uint32_t kAnimeJump = 3;

// The hero moves only by its own flows, as a game made with the editor has
// it: RIGHT or LEFT held walks (a walk of one step, started again on every
// frame the key is held); B1 jumps: let go within seven frames it hops on the
// release, held for eight it leaps high. B2 fires a shot ahead, B3 swings
// the sword (with its jump animation), B4 warps thirteen and a half blocks
// forward.
std::vector<cEdFlow> HeroFlows() {
  constexpr uint8_t kRight = 3, kLeft = 2;  // direction choices
  cEdFlow right = Flow(kTriggerAlways, {Move(kCmdMoveStraight, kRight, 50)});
  right.m_vKeys = {KeyStep(kKeyRight, true)};
  right.m_nKeyOption = 1;  // starts on every frame the key is held
  cEdFlow left = Flow(kTriggerAlways, {Move(kCmdMoveStraight, kLeft, 50)});
  left.m_vKeys = {KeyStep(kKeyLeft, true)};
  left.m_nKeyOption = 1;
  cEdFlow hop = Flow(kTriggerAlways, {Jump(3)});
  hop.m_vKeys = {KeyStep(kKeyB1, true, 1, 7), KeyStep(kKeyB1, false)};
  cEdFlow leap = Flow(kTriggerAlways, {Jump(7)});
  leap.m_vKeys = {KeyStep(kKeyB1, true, 8, 8)};
  cEdCmd shotSound = Command(kCmdPlaySound, {kSndShot});
  cEdFlow shoot = Flow(kTriggerAlways, {Shot(1, 60, 10), shotSound, Lasting(Command(kCmdWait, {}), 3)});
  shoot.m_vKeys = {KeyStep(kKeyB2, true)};
  const cEdCmd sword = Sword(1);
  cEdFlow swing = Flow(kTriggerAlways, {Command(kCmdPlayAnime, {kAnimeJump}), sword});
  swing.m_vKeys = {KeyStep(kKeyB3, true)};
  cEdCmd warp = Command(kCmdWarp, {});
  cEdMove::Create(warp.m_pMove);
  warp.m_pMove->m_f1 = 0;                 // from where the hero is
  warp.m_pMove->m_f2 = 0;                 // forward
  warp.m_pMove->SetDistanceStart(27);     // half blocks
  cEdFlow jumpAhead = Flow(kTriggerAlways, {warp, Lasting(Command(kCmdWait, {}), 5)});
  jumpAhead.m_vKeys = {KeyStep(kKeyB4, true)};
  return {right, left, hop, leap, shoot, swing, jumpAhead};
}
// ---- end of the demo's flows ----

// >>> gsrc: the crystal block and the UFO in the common palette; the hero
// bursts when it dies.
void AddGraphicSourceObjects(cCommonPalette& palette) {
  const cDatabase& db = Database;
  cEdBlock crystal = Block(kCrystalName, static_cast<uint16_t>(IndexByName(db.m_BmpCharaExcs, kCrystalName)), 0);
  crystal.m_nGraphicSource = 4;  // a special bitmap; its cell 0
  palette.m_Blocks.push_back(crystal);
  // The UFO hovers where it is placed (it flies and has no flows) and shows
  // its flying animation; it deals no damage.
  cEdCharacter ufo = Character(kUfoName, static_cast<int16_t>(IndexByName(db.m_BmpCharaExcs, kUfoName)), 1,
                               static_cast<int16_t>(IndexByName(db.m_AnimeSets, kUfoName)));
  ufo.m_nGraphicSource = 4;
  ufo.m_nParam33 = 1;  // flies
  palette.m_Characters.push_back(ufo);
  for (cEdCharacter& c : palette.m_Characters)
    if (c.m_strName == plat::Sjis("主人公")) c.m_nCharaEffectB = static_cast<int16_t>(IndexByName(db.m_CharaEffects, kHeroDeathName));
}

// Places two crystals and the UFO high up in the view of a stage's start.
void PlaceGraphicSourceObjects(const cCommonPalette& common, cStageData& s) {
  const std::string crystalName = plat::Sjis(kCrystalName), ufoName = plat::Sjis(kUfoName);
  for (size_t i = 0; i < common.m_Blocks.size(); ++i) {
    if (common.m_Blocks[i].m_strName != crystalName) continue;
    for (uint16_t column : {2, 3}) {
      cEdBlock b = common.m_Blocks[i];
      b.m_nBaseKind = 1;
      b.m_nBaseIndex = static_cast<uint16_t>(i);
      b.m_nWord1 = column;
      b.m_nWord2 = 3;
      s.m_PlacedBlocks.push_back(b);
    }
  }
  for (size_t i = 0; i < common.m_Characters.size(); ++i) {
    if (common.m_Characters[i].m_strName != ufoName) continue;
    cEdCharacter c = common.m_Characters[i];
    c.m_nBaseKind = 1;
    c.m_nBaseIndex = static_cast<uint16_t>(i);
    c.m_nWord1 = 7;
    c.m_nWord2 = 3;
    c.m_nPlacedItem = -1;
    s.m_PlacedCharacters.push_back(c);
  }
}
// <<< gsrc

// The common palette: ground and bricks, a hero, four enemies with flows
// of several command kinds, coins and a heart.
void BuildCommonPalette(cCommonPalette& palette) {
  palette.m_Blocks = {cEdBlock(), Block("地面", 1, 1), Block("レンガ", 4, 1), Block("コインブロック", 7, 1, 1, 1)};

  cEdCharacter hero = Character("主人公", 1, 0, 1);
  hero.m_vFlows = HeroFlows();

  // The slime patrols its floor, turning back at ledges (the walk does that)
  // and at walls (a step back when a block stops it on a side), and counts
  // the half seconds it has walked: the stage's S0 and its own v1.
  cEdCharacter walker = Character("スライム", 2, 1, 2);
  cEdCmd halfSecond = Command(kCmdWait, {});
  halfSecond.m_nDuration = 5;  // tenths of a second
  cEdCmd patrol = Move(kCmdMoveGroundTurn, 0, 10);
  patrol.m_nDuration = 10;  // a second, then the flow starts it again
  constexpr uint8_t kBack = 1;  // direction choice: away from the facing
  walker.m_vFlows = {Flow(kTriggerAlways, {patrol}), Flow(kTriggerBlockLeftOrRight, {Move(kCmdMoveStraight, kBack, 10)}),
                     Flow(kTriggerAlways, {halfSecond, Code("S0 = S0 + 1"), Code("my.v1 = my.v1 + 2")})};

  // The shooter turns to the hero and fires at it once a second while the
  // hero is near. Hit by a shot it calls its fired shots back, takes the
  // hero's animation set and summons a slime; two hits defeat it.
  cEdCharacter shooter = Character("砲台", 3, 1, 2);
  shooter.m_nParam40 = 2;
  shooter.m_nParam49 = 100;  // score when defeated
  cEdCmd fire = Shot(1, 30, 20);
  fire.m_pShot->m_nEffect = kEffectExplosion;  // fxobj: explosion effect on a hit
  fire.m_pShot->m_nItemPalette = 1;    // drops a common coin
  fire.m_pShot->m_nItemIndex = 1;
  shooter.m_nParam31 = 1;  // fixed facing: only the turn command turns it
  shooter.m_vFlows = {Flow(kTriggerAlways, {Command(kCmdTurn, {2}), fire, Command(kCmdPlaySound, {kSndShot}),
                                            Lasting(Command(kCmdWait, {}), 9)}),
                      Flow(kTriggerHitByShot, {Command(kCmdVanish, {3, 0, 1}), Command(kCmdChangeAnimeSet, {1}),
                                               Summon(kCmdSummonCharacter, 2)})};
  cCond near;
  near.m_nKind = 7;  // distance to the hero
  near.m_nConstant = 200;
  near.m_nOperator = 3;
  shooter.m_vFlows[0].m_vConds = {near};

  // The bat flies after the hero (target 1, set by its chase flow), aiming
  // where the hero was a quarter of a second before. Hit by a shot or the
  // sword it leaves a coin and a prize block behind, turns see-through and
  // changes its look, explodes, and stops chasing for a second (its chase is
  // flow group 1, paused and resumed). Three hits defeat it.
  cEdCharacter bat = Character("コウモリ", 4, 1, 2);
  bat.m_nParam33 = 1;  // flies
  bat.m_nParam40 = 3;
  bat.m_nParam49 = 50;
  cEdCmd homing = Move(kCmdMoveHoming, 0, 12);
  homing.m_pMove->SetDistanceStart(15);  // aims anew every 15 sub-step pairs
  constexpr uint32_t kChase = 1;
  cEdFlow chase = Flow(kTriggerAlways, {Command(kCmdSetTarget, {0, 0}), homing});
  chase.m_nGroup = kChase;
  bat.m_vFlows = {chase,
                  Flow(kTriggerHitByShot, {Summon(kCmdSummonItem, 1), Summon(kCmdSummonBlock, 3),
                                           Command(kCmdStatus2, {0, 1, 1}),
                                           Command(kCmdChangeGraphic, {0, 2, 0}),
                                           // ---- fxobj: the explosion at full size and a small picture for a second ----
                                           Command(kCmdPlayEffect, {kEffectExplosion, 1, 0, 0, 0, 0, 100, 0}),
                                           Command(kCmdShowPicture, {1, 0, 0, 0, 0, static_cast<uint32_t>(-160), 1, 25, 2, 10, 0, 1, 1, 1, 0}),
                                           // ---- end fxobj ----
                                           Command(kCmdPlaySound, {kSndExplosion}),
                                           Command(kCmdPlayScreenEffect, {2, 0, 0}),  // the shake
                                           Command(kCmdFlowControl, {2, 2, kChase, 0}),
                                           Lasting(Command(kCmdWait, {}), 10),
                                           Command(kCmdFlowControl, {3, 2, kChase, 0})})};
  bat.m_nCharaEffectA = 2;  // starts blinking (entries 0 and 1 of the list are plain)

  // The frog sways to and fro on its spot (a circle seen from the side) and
  // jumps when the player enters DOWN, then UP within ten frames; every jump
  // counts in the common variable C1.
  cEdCharacter frog = Character("カエル", 2, 1, 2);
  cEdCmd circle = Move(kCmdMoveCircle, 0, 40);
  circle.m_nDuration = 20;                // two seconds a turn
  circle.m_pMove->SetDistanceStart(2);    // radius: a block
  circle.m_pMove->m_f27 = 360;            // end angle: one whole turn
  cEdFlow jump = Flow(kTriggerAlways, {Jump(4), Code("C1 = C1 + 1"), Command(kCmdGetItem, {0, 1})});
  jump.m_vKeys = {KeyStep(kKeyDown, true, 1, 30), KeyStep(kKeyUp, true)};
  jump.m_nKeyTolerance = 10;
  frog.m_vFlows = {Flow(kTriggerAlways, {circle}), jump};
  // >>> screen effects: a shot that hits the frog shakes the screen, bends
  // it through a lens while tinting it orange and back, then pixelates it
  // there and back.
  frog.m_vFlows.push_back(Flow(kTriggerHitByShot, {Command(kCmdPlayScreenEffect, {2, 0, 0}),
                                                   Lasting(Command(kCmdWait, {}), 5),
                                                   Command(kCmdPlayScreenEffect, {3, 0, 0}),
                                                   Command(kCmdScreenColour, {255, 128, 0, 40, 1, 10, 0, 0}),
                                                   Lasting(Command(kCmdWait, {}), 20),
                                                   Command(kCmdPlayScreenEffect, {4, 2, 0})}));
  // <<< screen effects
  // >>> chara: each turn of the frog starts its wave (entry 3: the list opens
  // with two plain entries, then the blink) there and back, looping
  frog.m_vFlows[0].m_vCmds.insert(frog.m_vFlows[0].m_vCmds.begin(), Command(kCmdPlayCharaEffect, {3, 2, 1}));
  // <<< chara
  palette.m_Characters = {cEdCharacter(), hero, walker, shooter, bat, frog};

  cEdItem coin;
  coin.m_strName = plat::Sjis("コイン");
  coin.m_nGraphic = 6;
  coin.m_nSound = kSndCoin;
  coin.m_vCmds = {Command(kItemSoundEffect, {kSndCoin}, 1)};
  coin.m_nParam15 = 0;  // take mode: taken once, then gone
  // ---- item reaction: taking a coin shows it small, rising over the hero ----
  coin.m_nParam6 = 1;
  // ---- end of item reaction ----
  cEdItem heart;
  heart.m_strName = plat::Sjis("ハート");
  heart.m_nGraphic = 1;  // a heart on the item sheet
  heart.m_nSound = kSndPowerUp;
  heart.m_nParam15 = 0;  // taken once
  heart.m_nParam6 = 1;   // its pop-up rises over the hero, as a coin's
  // A status operation on the taker: its HP + 1; the character's own rules
  // hold it to its maximum.
  heart.m_vCmds = {Command(kItemStatusOperation, StatusAddWords(kSubjectSelf, kStatusHp, 1), 1)};
  // The goal: taken, the game holds still for half a second and the stage
  // is cleared.
  cEdItem goal;
  goal.m_strName = plat::Sjis("ゴール");
  goal.m_nGraphic = 9;  // a star
  goal.m_nSound = kSndClear;
  goal.m_nParam15 = 0;  // taken once
  goal.m_vCmds = {Command(ItemKindOfFlowKind(kCmdGameWait), {5}, 1),
                  Command(ItemKindOfFlowKind(kCmdStageClear), {0}, 1)};
  // ---- message windows: a framed message at the screen centre, with the
  // count of C1, kept on screen; the game waits for a key. ----
  cEdCmd goalMessage = Command(ItemKindOfFlowKind(kCmdMessage),
                               {0, 0, 0, 0, 0, 1, 0, 0, 1, 1, 1, 0, 0, 0, 1, 0, 0, 0}, 1);
  goalMessage.m_strText = "GOAL!  C1 = #C1\nPress Z";
  goal.m_vCmds = {goalMessage, Command(ItemKindOfFlowKind(kCmdGameWait), {5}, 1),
                  Command(ItemKindOfFlowKind(kCmdStageClear), {0}, 1)};
  // ---- end of message windows ----
  palette.m_Items = {cEdItem(), coin, heart, goal};
  AddGraphicSourceObjects(palette);  // gsrc
  AddGameTypes(palette);
}

// The stage `pelmora-tool play` and the benchmarks run: one screen and a
// half of ground (40 x 15 blocks) with a brick wall at each end, a staircase
// up and down, a gap down to the bottom edge, a ledge of prize blocks over
// the gap, coins and a heart, a slime, a frog, a shooter and a bat about,
// and the hero placed high in the air so that it falls and lands at the
// start; the goal star at the far end clears the stage, and the gap is a
// pit that ends the attempt. Two background layers: the sky drifting by
// itself, and hills in front of it that scroll at half the view's speed.
cStageData BuildPlayStage(const cCommonPalette& common) {
  constexpr int kWidth = 40, kHeight = 15;
  cStageData s;
  s.m_strName = plat::Sjis("テスト草原");
  s.Int(kStageWidth) = kWidth;
  s.Int(kStageHeight) = kHeight;
  s.Int(kStageMusic) = 1;
  s.Int(kStageMusicKeep) = 1;  // the tune loops
  s.Int(kStageTimeLimitOn) = 1;
  s.Int(kStageTimeLimit) = 300;
  s.Int(kStageSpeedLevel) = 2;  // two sub-steps a frame
  SetInvincibilityTimes(s, 30);  // half a second
  cEdBlock brick = FromCommon<cEdBlock>(2, cEdBlock::kInheritGroups, 0, 0);
  brick.m_vInherit[2] = 0;
  brick.m_nGraphic = 5;
  s.m_PaletteBlocks = {cEdBlock(), brick};
  s.m_PaletteCharacters = {cEdCharacter(), FromCommon<cEdCharacter>(2, cEdCharacter::kInheritGroups, 0, 0)};
  s.m_PaletteItems = {cEdItem(), FromCommon<cEdItem>(1, cEdItem::kInheritGroups, 0, 0)};

  auto block = [&](uint16_t commonIndex, int column, int row) {
    cEdBlock b = common.m_Blocks[commonIndex];
    b.m_nBaseKind = 1;
    b.m_nBaseIndex = commonIndex;
    b.m_nWord1 = static_cast<uint16_t>(column);
    b.m_nWord2 = static_cast<uint16_t>(row);
    s.m_PlacedBlocks.push_back(b);
  };
  constexpr uint16_t kGround = 1, kBrick = 2, kPrize = 3;
  for (int x = 0; x < kWidth; ++x) {
    if (x >= 17 && x <= 19) continue;  // the gap
    block(kGround, x, 14);
    block(kGround, x, 13);
  }
  for (int y = 3; y <= 12; ++y) {  // the walls at both ends
    block(kBrick, 0, y);
    block(kBrick, kWidth - 1, y);
  }
  // The staircase: up three steps, a top of two, down three.
  const int heights[] = {1, 2, 3, 3, 2, 1};
  for (int k = 0; k < 6; ++k)
    for (int h = 0; h < heights[k]; ++h) block(kBrick, 9 + k, 12 - h);
  for (int x = 16; x <= 20; ++x) block(kPrize, x, 8);  // the ledge over the gap
  for (int y = 10; y <= 12; ++y) block(kBrick, 30, y);  // a low wall to get over

  auto character = [&](uint16_t commonIndex, int column, int row) {
    cEdCharacter c = common.m_Characters[commonIndex];
    c.m_nBaseKind = 1;
    c.m_nBaseIndex = commonIndex;
    c.m_nWord1 = static_cast<uint16_t>(column);
    c.m_nWord2 = static_cast<uint16_t>(row);
    c.m_nPlacedItem = -1;
    s.m_PlacedCharacters.push_back(c);
  };
  character(1, 4, 5);    // the hero, seven blocks above the ground
  character(2, 7, 12);   // a slime before the stairs
  character(4, 13, 4);   // a bat high over the stairs
  character(3, 34, 12);  // the shooter behind the low wall
  character(5, 2, 12);   // the frog by the left wall
  cEdCharacter local = s.m_PaletteCharacters[1];
  local.m_nBaseKind = 2;
  local.m_nBaseIndex = 1;
  local.m_vInherit.assign(cEdCharacter::kInheritGroups, 0);
  local.m_nWord1 = 26;
  local.m_nWord2 = 12;
  local.m_nPlacedItem = -1;
  s.m_PlacedCharacters.push_back(local);

  auto item = [&](uint16_t commonIndex, int column, int row) {
    cEdItem i = common.m_Items[commonIndex];
    i.m_nBaseKind = 1;
    i.m_nBaseIndex = commonIndex;
    i.m_nWord1 = static_cast<uint16_t>(column);
    i.m_nWord2 = static_cast<uint16_t>(row);
    s.m_PlacedItems.push_back(i);
  };
  for (int k = 0; k < 6; ++k) item(1, 9 + k, 11 - heights[k]);  // a coin over each step
  for (int x = 16; x <= 20; x += 2) item(1, x, 7);               // coins on the ledge
  item(2, 36, 12);                                                // the heart at the far end
  item(3, 37, 12);                                                // the goal

  s.m_Backgrounds.assign(2, cStageBackground());
  cStageBackground& sky = s.m_Backgrounds[0];
  sky.m_nSource = 0;
  sky.m_strFile = "bmp\\StageSky.bmp";
  sky.m_bAutoScrollX = 1;
  sky.m_dScrollSpeedX = 0.25;  // dots a frame
  sky.m_dScrollSpeedY = 0;
  cStageBackground& hills = s.m_Backgrounds[1];
  hills.m_nSource = 0;
  hills.m_strFile = "bmp\\StageHills.bmp";
  hills.m_dScrollSpeedX = 0.5;  // half the view's scroll
  hills.m_dScrollSpeedY = 0;
  PlaceGraphicSourceObjects(common, s);  // gsrc
  s.m_Texts.clear();
  return s;
}

bool WriteFile(const fs::path& path, const std::string& bytes) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  if (!WriteWholeFile(path.string(), bytes)) {
    std::fprintf(stderr, "project data: cannot write %s (%s)\n", path.string().c_str(), LastWriteFailure().c_str());
    return false;
  }
  return true;
}

bool WriteDemoProjectData(const std::string& folder, const DemoOptions& /*options*/) {
  const fs::path data = fs::path(folder) / "data";
  // Everything below checks its references against the demo's own lists:
  // build them in the runtime's globals for the duration of the writing.
  const cDatabase savedDatabase = Database;
  const cCommonPalette savedPalette = CommonPalette;
  BuildDatabase(Database);
  cDatabase& db = Database;
  const std::pair<const char*, std::string> files[] = {
      {"AnimeSet.dat", SaveDatabaseListToBytes(db.m_AnimeSets)},
      {"Anime.dat", SaveDatabaseListToBytes(db.m_Animes)},
      {"Bmp_CharaExc.dat", SaveDatabaseListToBytes(db.m_BmpCharaExcs)},
      {"SwordType.dat", SaveDatabaseListToBytes(db.m_SwordTypes)},
      {"Effect.dat", SaveDatabaseListToBytes(db.m_Effects)},
      {"CharaEffect.dat", SaveDatabaseListToBytes(db.m_CharaEffects)},
      {"ScrEffect.dat", SaveDatabaseListToBytes(db.m_ScrEffects)},
      {"Picture.dat", SaveDatabaseListToBytes(db.m_Pictures)},
      {"Sound.dat", SaveDatabaseListToBytes(db.m_Sounds)},
      {"Bgm.dat", SaveDatabaseListToBytes(db.m_Bgms)},
  };
  bool ok = true;
  for (const auto& [name, bytes] : files) ok = ok && WriteFile(data / "database" / name, bytes);

  BuildCommonPalette(CommonPalette);
  ok = ok && WriteFile(data / "CommonPalette.cplt4", CommonPalette.SaveToBytes());
  // Stage types name common bases (kind 1): the game resolves them against
  // this palette when it reads the stages.
  // A type that inherits holds its base's settings once read, and a stage
  // is stored with them: each built stage is read back once, so that its file
  // is what the runtime and pelmora-tool resave store for it.
  auto writeStage = [&](const std::string& name, const cStageData& stage) {
    cStageData built = stage, stored;
    ok = ok && stored.LoadStageBytes(built.SaveStageBytes()) &&
         WriteFile(data / "stg4" / name, stored.SaveStageBytes());
  };
  writeStage("demo.stg4_1", BuildPlayStage(CommonPalette));
  for (const GameStageFile& game : BuildGameStages(CommonPalette)) writeStage(game.file, game.stage);
  cWorldMap worldMap = BuildGameWorldMap();
  ok = ok && WriteFile(data / "WorldMap.dat", worldMap.SaveToBytes());
  Database = savedDatabase;
  CommonPalette = savedPalette;
  return ok;
}

Registrar demoDatabase(DemoPart{10, "project data", WriteDemoProjectData});

}  // namespace

void demo::BuildDemoDatabase(cDatabase& db) { BuildDatabase(db); }

}  // namespace tool
