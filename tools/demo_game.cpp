// The demo's game: three worlds of stages drawn as text sketches, the types
// they place (added to the common palette after the showcase's own) and
// the world map that leads from one world to the next.
//
// A stage is a sketch: one line of text a row of blocks, one character a
// block; the key below says which common palette type each character
// places. Whatever a sketch cannot say (moving platforms' paths, the
// stage's music and backgrounds, its scroll) the stage's builder adds.
#include "demo_game.h"

#include <algorithm>
#include <cstdio>

#include "data/common_palette.h"
#include "data/database.h"
#include "data/rankings.h"
#include "flow/flow_host.h"
#include "demo_builders.h"
#include "demo_media.h"

namespace tool::demo {
namespace {

// ---- the game's types ----
constexpr const char* kHeroName = "勇者";
constexpr const char* kGoldName = "金貨";
constexpr const char* kGoalName = "ゴールの旗";

// ---- values the game chooses ----
// After a hit the hero is safe from every attacker for a second and a
// half, and blinks meanwhile: hidden and shown by turns, four frames each.
constexpr int32_t kHeroSafetyFrames = 90;
constexpr int32_t kSafetyBlinkFrames = 4;
constexpr const char* kSafetyBlinkName = "無敵の点滅";
// The game's stages (as every new stage does) draw their things in layers
// by their "Z": the signs in the first, behind the hero, and everything
// else that moves in the second.
constexpr uint8_t kSignLayer = 0, kPlayLayer = 1;

// A hero's death darkens the stage, at once and then over half a second to
// two fifths of its light (black laid over it at 60%): the continue menu and
// game over that follow are white text and pictures drawn over the still
// stage, and over the dimmed stage they read wherever the hero fell (on the
// pale sky, on the trees, over the white master). The next attempt's set-up
// clears the colour.
cEdFlow DeathDims() {
  constexpr uint32_t kStrength = 60, kTenths = 5;
  return Flow(kTriggerDied, {Command(kCmdScreenColour, {0, 0, 0, kStrength, 0, kTenths, 0, 0})});
}

// A hit leaves the hero safe for a while (its stages' invincibility time),
// and it blinks all that while (the graphic effect kSafetyBlinkName, as
// long as the safety): time to walk out of the touch of what hit it.
cEdFlow SafetyBlinks() {
  const uint32_t blink = static_cast<uint32_t>(IndexByName(Database.m_CharaEffects, kSafetyBlinkName));
  return Flow(kTriggerDamaged, {Command(kCmdPlayCharaEffect, {blink, 0, 0})});
}

// The hero of the game's stages (the showcase's hero with flows of its
// own): RIGHT and LEFT walk at the movement speed `walk` (at the stages'
// pace, 60 is three dots a frame), B1 jumps up to four blocks high (as high
// as the key is held: a tap only hops), B2 fires a shot ahead, B3 swings
// the sword; a hit makes it blink while it is safe, its death dims the
// stage.
constexpr uint16_t kHeroWalk = 60;  // three dots a frame
cEdCharacter GameHero(const cCommonPalette& palette, uint16_t walk = kHeroWalk) {
  cEdCharacter hero = palette.m_Characters[static_cast<size_t>(IndexByName(palette.m_Characters, "主人公"))];
  hero.m_strName = plat::Sjis(kHeroName);
  cEdCmd jump = Jump(8);
  jump.m_vParams[0] = 1;  // "高さがキーで調節できる": the rise lasts while B1 is held
  cEdCmd shoot = Shot(1, 200, 10);
  shoot.m_nSound = kSndShot;
  cEdCmd sword = Command(kCmdSword, {});
  cEdShot::Create(sword.m_pShot);
  sword.m_pShot->m_nType = 1;  // the demo's sword type
  sword.m_pShot->SetPower(2);
  sword.m_pShot->m_f25 = 1;  // in its owner's group
  sword.m_nDuration = 3;
  sword.m_nSound = kSndSword;
  // An arrow held with UP or DOWN walks as well.
  hero.m_vFlows = {WhileHeld(kKeyRight, {Move(kCmdMoveStraight, kDirRight, walk)}),
                   WhileHeld(kKeyRightUp, {Move(kCmdMoveStraight, kDirRight, walk)}),
                   WhileHeld(kKeyRightDown, {Move(kCmdMoveStraight, kDirRight, walk)}),
                   WhileHeld(kKeyLeft, {Move(kCmdMoveStraight, kDirLeft, walk)}),
                   WhileHeld(kKeyLeftUp, {Move(kCmdMoveStraight, kDirLeft, walk)}),
                   WhileHeld(kKeyLeftDown, {Move(kCmdMoveStraight, kDirLeft, walk)}),
                   OnPress(kKeyB1, {jump}),
                   OnPress(kKeyB2, {shoot, Wait(1)}),
                   OnPress(kKeyB3, {sword, Wait(2)}),
                   SafetyBlinks(),
                   DeathDims()};
  return hero;
}

// The hero of the wind road: the game's hero walking two dots and a tenth
// a frame, a little faster than the road's screen scrolls.
constexpr const char* kWindHeroName = "風の勇者";
constexpr uint16_t kWindWalk = 42;  // two dots and a tenth a frame
cEdCharacter WindHero(const cCommonPalette& palette) {
  cEdCharacter hero = GameHero(palette, kWindWalk);
  hero.m_strName = plat::Sjis(kWindHeroName);
  return hero;
}

// The hero of the sky: it flies where the arrows send it, carried along by
// the screen's scroll, and fires with B2; a hit makes it blink while it is
// safe, its death dims the stage.
cEdCharacter SkyHero(const cCommonPalette& palette) {
  cEdCharacter hero = GameHero(palette);
  hero.m_strName = plat::Sjis("空の勇者");
  hero.m_nParam33 = 1;  // flies
  hero.m_nParam37 = 1;  // moves with the scroll
  hero.m_nParam31 = 1;  // always faces ahead (right): its moves do not turn it
  hero.m_nParam26 = 1;
  constexpr uint16_t kFly = 50;
  cEdCmd shoot = Shot(1, 250, 10);
  shoot.m_nSound = kSndShot;
  shoot.m_pShot->m_f55 = 1;  // it puts out the shots it meets
  struct Way {
    size_t keys;
    uint8_t direction;
  };
  constexpr Way kWays[] = {{kKeyRight, kDirRight},      {kKeyLeft, kDirLeft},          {kKeyUp, kDirUp},
                           {kKeyDown, kDirDown},        {kKeyRightUp, kDirRightUp},    {kKeyRightDown, kDirRightDown},
                           {kKeyLeftUp, kDirLeftUp},    {kKeyLeftDown, kDirLeftDown}};
  hero.m_vFlows.clear();
  std::vector<cEdFlow> flows;
  for (const Way& way : kWays) flows.push_back(WhileHeld(way.keys, {Move(kCmdMoveStraight, way.direction, kFly)}));
  flows.push_back(WhileHeld(kKeyB2, {shoot, Wait(1)}));
  flows.push_back(SafetyBlinks());
  flows.push_back(DeathDims());
  hero.m_vFlows = flows;
  return hero;
}

// A moving platform: a block character drawn from the block picture that
// flies `distance` dots one way and back, `tenths` tenths of a second each
// way, and waits `pauseThere` tenths at the far end of its way and
// `pauseBack` tenths where it began.
cEdCharacter Platform(const char* name, uint8_t there, uint8_t back, uint16_t distance, uint16_t tenths,
                      uint16_t pauseThere, uint16_t pauseBack) {
  cEdCharacter lift = Character(name, kLiftTile, 1, 0);
  lift.m_nGraphicSource = 0;  // a block's picture
  lift.m_nParam25 = 1;        // a block to the others
  lift.m_nParam33 = 1;        // flies
  lift.m_nParam35 = 1;        // nothing hurts it
  lift.m_nParam6 = 1;         // its body is its whole cell, as a block's
  lift.m_nParam53 = 3;        // acts from the stage's start, wherever it is: lifts side by side keep together
  auto leg = [&](uint8_t direction) {
    cEdCmd c = Move(kCmdMoveStraight, direction, 0);
    c.m_pMove->m_f26 = 1;  // by time and distance (in dots)
    c.m_pMove->SetDistanceStart(distance);
    c.m_nDuration = tenths;
    return c;
  };
  std::vector<cEdCmd> round = {leg(there)};
  if (pauseThere != 0) round.push_back(Wait(pauseThere));
  round.push_back(leg(back));
  if (pauseBack != 0) round.push_back(Wait(pauseBack));
  lift.m_vFlows = {Flow(kTriggerAlways, round)};
  return lift;
}

// ---- the game's enemies ----
// Every enemy of the game hurts the hero by touch (one point, and a push
// away); beaten, it bursts in the explosion effect with its sound.
constexpr uint32_t kEffectExplosion = 2;  // the explosion of the effect list

cEdCharacter Enemy(const char* name, int16_t graphic, int32_t hp, int32_t score) {
  cEdCharacter c = Character(name, graphic, 1, 2);
  c.m_nParam40 = hp;
  c.m_nParam49 = score;
  c.m_nParam44 = 1;  // touch damage
  c.m_nParam45 = 6;  // and push
  // A defeat steps the death flow once: both commands run in that step.
  cEdCmd burst = Command(kCmdPlayEffect, {kEffectExplosion, 1, 0, 0, 0, 0, 100, 0});
  burst.m_nTogether = 1;
  c.m_vFlows = {Flow(kTriggerDied, {burst, Command(kCmdPlaySound, {kSndExplosion})})};
  return c;
}

// The blob walks its floor and turns back at ledges and walls.
cEdCharacter Blob() {
  cEdCharacter blob = Enemy("ぷよ", 2, 1, 10);
  cEdCmd patrol = Move(kCmdMoveGroundTurn, 0, 10);
  patrol.m_nDuration = 10;
  blob.m_vFlows.push_back(Flow(kTriggerAlways, {patrol}));
  blob.m_vFlows.push_back(Flow(kTriggerBlockLeftOrRight, {Move(kCmdMoveStraight, kDirBack, 10)}));
  return blob;
}

// The ghost turret turns to the hero and fires at it every two seconds and a
// half while the hero is within ten blocks.
cEdCharacter Turret() {
  cEdCharacter turret = Enemy("おばけ砲台", 3, 3, 50);
  turret.m_nParam31 = 1;  // fixed facing: only the turn command turns it
  cEdCmd fire = Shot(2, 40, 40);
  fire.m_nSound = kSndShot;
  // The turn and the shot take the first tenth of a round; the wait the
  // rest of its two seconds and a half.
  cEdFlow aim = Flow(kTriggerAlways, {Command(kCmdTurn, {2}), fire, Wait(24)});
  aim.m_vConds = {HeroWithin(320)};
  turret.m_vFlows.push_back(aim);
  return turret;
}

// The bat flies after the hero, a little behind where it was.
cEdCharacter Bat() {
  cEdCharacter bat = Enemy("やみコウモリ", 4, 1, 30);
  bat.m_nParam33 = 1;  // flies
  cEdCmd homing = Move(kCmdMoveHoming, 0, 10);
  homing.m_pMove->SetDistanceStart(20);
  bat.m_vFlows.push_back(Flow(kTriggerAlways, {Command(kCmdSetTarget, {0, 0}), homing}));
  return bat;
}

// The UFO of the sky: drifts left on a wave and, every two seconds, fires
// at where the hero is.
cEdCharacter SkyUfo(const cCommonPalette& palette) {
  const cEdCharacter& showcase = palette.m_Characters[static_cast<size_t>(IndexByName(palette.m_Characters, "UFO"))];
  cEdCharacter ufo = Enemy("UFO兵", showcase.m_nGraphic, 2, 50);
  ufo.m_nGraphicSource = showcase.m_nGraphicSource;
  ufo.m_nAnimeSet = showcase.m_nAnimeSet;
  ufo.m_nParam33 = 1;  // flies
  cEdCmd drift = Move(kCmdMoveStraight, kDirLeft, 15);
  drift.m_nDuration = 10;
  cEdCmd wave = Move(kCmdMoveCircle, 0, 30);
  wave.m_nDuration = 20;
  wave.m_pMove->SetDistanceStart(2);  // radius: a block
  wave.m_pMove->m_f27 = 360;          // a whole turn
  cEdCmd fire = Shot(2, 40, 40);
  fire.m_pShot->m_f7 = 1;   // aimed at the hero
  fire.m_pShot->m_f24 = 1;
  fire.m_pShot->m_f31 = 1;  // carried along by the scroll, as the hero is
  fire.m_pShot->m_f60 = 1;  // the hero's shots put it out
  fire.m_nSound = kSndShot;
  ufo.m_vFlows.push_back(Flow(kTriggerAlways, {drift}));
  ufo.m_vFlows.push_back(Flow(kTriggerAlways, {wave}));
  ufo.m_vFlows.push_back(Flow(kTriggerAlways, {Wait(20), fire}));
  return ufo;
}

// The bird flies straight left, fast.
cEdCharacter Bird() {
  cEdCharacter bird = Enemy("鳥", 4, 1, 20);
  bird.m_nParam33 = 1;
  cEdCmd fly = Move(kCmdMoveStraight, kDirLeft, 40);
  fly.m_nDuration = 10;
  bird.m_vFlows.push_back(Flow(kTriggerAlways, {fly}));
  return bird;
}

// ---- the last world's master and the ending ----
constexpr const char* kEndingName = "エンディング";
constexpr uint32_t kEndPicture = 2;   // "bmp\TheEnd.bmp" in the picture list
constexpr uint32_t kShakeEffect = 2;  // the showcase's screen shake
// The ending's world on the map: at the end of the road east of the
// castle, where the castle's clear puts the hero.
constexpr int32_t kEndingColumn = 17, kEndingRow = 7;

// The ending, given to the hero in the ending's stage (its tune, the
// ending's, plays from the stage's start and loops on to the title): a
// white flash, the ending picture until decide, then the stage is cleared
// and, the ending's world having no result to show, the game goes back to
// its title. The picture says so: "Z でタイトルへ".
cEdItem Ending() {
  cEdItem ending = Item(kEndingName, 9, 0,
                        {ItemCommand(kCmdScreenColour, {255, 255, 255, 80, 1, 10, 0, 0}),
                         ItemCommand(kCmdGameWait, {10}),
                         ItemCommand(kCmdShowPicture, {kEndPicture, 0, 0, 0, 0, 0, 1, 100, 0, 0, 1, 1, 0, 0, 0}),
                         ItemCommand(kCmdStageClear, {3})});
  ending.m_nParam12 = 1;  // never drawn: it is only given
  return ending;
}

// An unseen character that acts wherever it stands, on the hero's side.
cEdCharacter Unseen(const char* name) {
  cEdCharacter c = Character(name, 1, 1, 0);
  c.m_nParam19 = 1;  // unseen
  c.m_nParam33 = 1;  // flies: nothing holds it
  c.m_nParam35 = 1;  // nothing hurts it
  c.m_nParam50 = kHeroGroup;
  c.m_nParam53 = 3;  // acts wherever it is
  return c;
}

// What the master leaves when it is beaten: an unseen light that clears
// the hall of the master's bats and shots, lets the burst play out for a
// second and a half and then clears the hall again of every shot (the
// hero's too) and of anything of the master's still there, and clears the
// castle: the world is cleared, and its result screen (the master's
// thousand points and the lives they bring) holds the game still, with
// nothing flying over it. The clear puts the hero on the ending's world
// on the map: the map saves the game there (the castle cleared, the
// lives won) and, the ending's world never entered, starts it at once.
constexpr const char* kEndingLightName = "終わりの光";
cEdCharacter EndingLight() {
  cEdCharacter light = Unseen(kEndingLightName);
  constexpr uint32_t kCharacters = 0, kShots = 1, kEverywhere = 1;
  constexpr uint32_t kEnemies = static_cast<uint32_t>(kEnemyGroup), kHeroes = static_cast<uint32_t>(kHeroGroup);
  // The last clearing and the clear run together, in one step: nothing
  // is fired between them.
  std::vector<cEdCmd> clear = {Command(kCmdVanish, {kCharacters, kEnemies, kEverywhere}),
                               Command(kCmdVanish, {kShots, kEnemies, kEverywhere})};
  std::vector<cEdCmd> round = clear;
  round.push_back(Wait(15));
  clear.push_back(Command(kCmdVanish, {kShots, kHeroes, kEverywhere}));
  for (cEdCmd& c : clear) c.m_nTogether = 1;
  round.insert(round.end(), clear.begin(), clear.end());
  constexpr uint32_t kWorldClear = 3, kMoveOnMap = 1;
  round.push_back(Command(kCmdStageClear, {kWorldClear, 0, kMoveOnMap, static_cast<uint32_t>(kEndingColumn),
                                           static_cast<uint32_t>(kEndingRow), 0, 0, 0, 0}));
  round.push_back(Wait(100));
  light.m_vFlows = {Flow(kTriggerAlways, round)};
  return light;
}

// The ending's stage gives the hero the ending half a second into play.
constexpr const char* kEndingGiverName = "エンディングの合図";
cEdCharacter EndingGiver(const cCommonPalette& palette) {
  cEdCharacter giver = Unseen(kEndingGiverName);
  giver.m_vFlows = {Flow(kTriggerAlways, {Wait(5),
                                          Command(kCmdGetItem, {0, static_cast<uint32_t>(IndexByName(palette.m_Items, kEndingName))}),
                                          Wait(100)})};
  return giver;
}

// The master of the castle: a ghost three times the size that hovers in
// the middle of its hall, between the two ledges and at their height, and
// calls a bat every six seconds; it blinks when hit. Every two seconds and
// a half it sways out to one side and back (a block to the right, then a
// block and a half to the left: its body stays most of a block clear of a
// hero at either ledge's end), stops in the middle, roars, and as the roar
// ends (the screen shaking with it) fires three slow shots from the top of
// its head at where the hero is. The roar is the warning the hall's sign
// teaches, and the shots fly three dots a frame from the middle of the
// hall: wherever the hero stands, more than half a second passes from a
// volley to its reaching him. Thirty hits beat it. Beaten, it bursts and
// shakes the screen, and leaves the light that brings the ending.
cEdCharacter Master(const cCommonPalette& palette) {
  cEdCharacter master = Enemy("魔王", kMasterGraphic, 30, 1000);
  master.m_nParam33 = 1;  // flies
  master.m_nParam36 = 3;  // three times the size
  master.m_nParam45 = 10;
  constexpr uint16_t kSwayTenths = 7;  // each way of a sway
  auto sway = [](uint8_t direction, uint16_t dots) {
    cEdCmd c = Move(kCmdMoveStraight, direction, 0);
    c.m_pMove->m_f26 = 1;  // by time and distance (in dots)
    c.m_pMove->SetDistanceStart(dots);
    c.m_nDuration = kSwayTenths;
    return c;
  };
  cEdCmd spread = Shot(2, 30, 40);
  spread.m_pShot->m_f2 = kDirUp;  // from the top of its head, whichever way it faces
  spread.m_pShot->m_f7 = 1;       // aimed at the hero
  spread.m_pShot->m_f24 = 1;
  spread.m_pShot->SetExtraCount(2);
  spread.m_pShot->SetAngleStep(20);
  spread.m_pShot->SetBaseAngle(-20);
  spread.m_nSound = kSndShot;
  cEdCmd roar = Command(kCmdPlaySound, {kSndBossRoar});
  roar.m_nTogether = 1;  // the hall shakes as it roars
  const cEdCmd shake = Command(kCmdPlayScreenEffect, {kShakeEffect, 0, 0});
  struct Side {
    uint8_t out, back;
    uint16_t dots;
  };
  std::vector<cEdCmd> round;
  for (const Side& side : {Side{kDirRight, kDirLeft, 32}, Side{kDirLeft, kDirRight, 48}}) {
    // Out and back (2.1 s with the turn), the roar, the volley as it ends
    // (0.6 s later) and a moment's rest: two seconds and a half.
    const std::vector<cEdCmd> half = {sway(side.out, side.dots), Wait(2), sway(side.back, side.dots), roar, shake,
                                      Wait(6), spread, Wait(2)};
    round.insert(round.end(), half.begin(), half.end());
  }
  cEdCmd bat = Summon(kCmdSummonCharacter, static_cast<int16_t>(IndexByName(palette.m_Characters, "やみコウモリ")));
  const uint32_t blink = static_cast<uint32_t>(IndexByName(Database.m_CharaEffects, "点滅"));
  master.m_vFlows = {Flow(kTriggerAlways, round),
                     Flow(kTriggerAlways, {Wait(60), bat}),
                     Flow(kTriggerHitByShot, {Command(kCmdPlayCharaEffect, {blink, 0, 0}),
                                              Command(kCmdPlaySound, {kSndDamage})})};
  // A defeat steps its death flow once: all of it runs in that step.
  std::vector<cEdCmd> death = {Command(kCmdPlayEffect, {kEffectExplosion, 1, 0, 0, 0, 0, 300, 0}),
                               Command(kCmdPlaySound, {kSndExplosion}),
                               Command(kCmdPlayScreenEffect, {kShakeEffect, 0, 0}),
                               Summon(kCmdSummonCharacter,
                                      static_cast<int16_t>(IndexByName(palette.m_Characters, kEndingLightName)))};
  for (size_t i = 0; i + 1 < death.size(); ++i) death[i].m_nTogether = 1;
  master.m_vFlows.push_back(Flow(kTriggerDied, death));
  return master;
}

constexpr const char* kSignName = "看板";

// Puts a character of the game on its drawing layer, and its shots and
// sword with it: a sign behind the hero, anything else on the hero's layer
// (drawn after the hero, as the stages drew their things before they drew
// in layers).
void PutOnItsLayer(cEdCharacter& c) {
  const uint8_t layer = c.m_strName == plat::Sjis(kSignName) ? kSignLayer : kPlayLayer;
  c.m_nParam18 = layer;  // "Z座標"
  std::vector<cEdFlow> flows = c.m_vFlows.Get();
  for (cEdFlow& flow : flows)
    for (cEdCmd& command : flow.m_vCmds)
      if ((command.m_nKind == kCmdShot || command.m_nKind == kCmdSword) && command.m_nFamily == 0 && command.m_pShot) {
        // A record of the character's own: commands copied from another
        // type may share one.
        command.m_pShot = std::make_shared<cEdShot>(*command.m_pShot);
        command.m_pShot->SetDrawLayer(layer);
      }
  c.m_vFlows = flows;
}

// A sign: while the hero is near it shows its text at the screen's centre.
cEdCharacter Sign() {
  cEdCharacter sign = Character(kSignName, kSignGraphic, 1, 0);
  sign.m_nParam35 = 1;  // nothing hurts it
  sign.m_nParam50 = kHeroGroup;
  cEdFlow show = Flow(kTriggerAlways, {Message("", 30), Wait(30)});
  show.m_vConds = {HeroWithin(64)};
  sign.m_vFlows = {show};
  return sign;
}

}  // namespace

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

namespace {

// ---- stage sketches ----
enum class SketchKind { kBlock, kCharacter, kItem };
struct SketchKey {
  char symbol;
  SketchKind kind;
  const char* name;  // the common palette type it places
};
constexpr SketchKey kSketchKeys[] = {
    // blocks
    {'#', SketchKind::kBlock, "地面"},
    {'B', SketchKind::kBlock, "レンガ"},
    {'?', SketchKind::kBlock, "金貨ブロック"},
    {'C', SketchKind::kBlock, "水晶の床"},
    {'^', SketchKind::kBlock, "トゲ"},
    {'=', SketchKind::kBlock, "雲"},
    {'S', SketchKind::kBlock, "バネ"},
    // characters
    {'@', SketchKind::kCharacter, kHeroName},
    {'A', SketchKind::kCharacter, "空の勇者"},
    {'w', SketchKind::kCharacter, kWindHeroName},
    {'s', SketchKind::kCharacter, "ぷよ"},
    {'g', SketchKind::kCharacter, "おばけ砲台"},
    {'b', SketchKind::kCharacter, "やみコウモリ"},
    {'u', SketchKind::kCharacter, "UFO"},
    {'|', SketchKind::kCharacter, "上下リフト"},
    {'-', SketchKind::kCharacter, "左右リフト"},
    {'i', SketchKind::kCharacter, kSignName},
    {'U', SketchKind::kCharacter, "UFO兵"},
    {'v', SketchKind::kCharacter, "鳥"},
    {'M', SketchKind::kCharacter, "魔王"},
    {'e', SketchKind::kCharacter, kEndingGiverName},
    // items
    {'o', SketchKind::kItem, kGoldName},
    {'h', SketchKind::kItem, "ハート"},
    {'*', SketchKind::kItem, kGoalName},
};

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
};

// A placed sign shows the sketch's text number `n`.
void SetSignText(cEdCharacter& sign, const StageSketch& sketch, size_t n) {
  if (n >= sketch.signs.size()) {
    std::fprintf(stderr, "stage %s: no text for sign %zu\n", sketch.name, n);
    return;
  }
  // Each line between two spaces, and an empty line above and below: the
  // window is as big as its text and sets the text at its top-left corner,
  // so the spaces and the empty lines keep the words a character's room
  // off the frame all round (a tall character such as 剣 fills its cell to
  // the top).
  std::string text = "\n ";
  for (const char* c = sketch.signs[n]; *c; ++c) text += *c == '\n' ? std::string(" \n ") : std::string(1, *c);
  text += " \n";
  std::vector<cEdFlow> flows = sign.m_vFlows.Get();
  cEdCmd& message = flows.at(0).m_vCmds.at(0);
  message.m_strText = plat::Sjis(text.c_str());
  constexpr size_t kMessageOffsetY = 4;  // the window's offset down from its place
  message.m_vParams.at(kMessageOffsetY) = static_cast<uint32_t>(-sketch.signsRaised);
  sign.m_vFlows = flows;
}

// The stage of a sketch at the game's pace (two sub-steps a frame), with a
// five-minute limit, its banners, and the sky and hills behind it.
cStageData BuildSketchedStage(const cCommonPalette& common, const StageSketch& sketch) {
  cStageData s;
  s.m_strName = plat::Sjis(sketch.name);
  size_t width = 0;
  for (const char* row : sketch.rows) width = std::max(width, std::char_traits<char>::length(row));
  s.Int(kStageWidth) = static_cast<int32_t>(width);
  s.Int(kStageHeight) = static_cast<int32_t>(sketch.rows.size());
  s.Int(kStageMusic) = static_cast<int32_t>(sketch.music);
  s.Int(kStageMusicKeep) = 1;  // the tune loops
  s.Int(kStageTimeLimitOn) = 1;
  s.Int(kStageTimeLimit) = 300;
  s.Int(kStageSpeedLevel) = 2;
  s.Int(kStageBannerOn) = 1;
  SetInvincibilityTimes(s, kHeroSafetyFrames);
  // Its result lists (and its ranking keeps) the score, the time left, the
  // clear time and the HP left: the game's heroes have no special points.
  if (size_t{kRankingGenreSpLeft} < s.m_RankingSwitches.size()) s.m_RankingSwitches[kRankingGenreSpLeft] = 0;
  // Signs are numbered along the rows, not the columns: put one a row.
  size_t signs = 0;
  for (size_t row = 0; row < sketch.rows.size(); ++row) {
    const char* line = sketch.rows[row];
    for (size_t column = 0; line[column] != '\0'; ++column) {
      if (line[column] == ' ') continue;
      const auto key = std::find_if(std::begin(kSketchKeys), std::end(kSketchKeys),
                                    [&](const SketchKey& k) { return k.symbol == line[column]; });
      if (key == std::end(kSketchKeys)) {
        std::fprintf(stderr, "stage %s: no type for '%c'\n", sketch.name, line[column]);
        continue;
      }
      const int c = static_cast<int>(column), r = static_cast<int>(row);
      switch (key->kind) {
        case SketchKind::kBlock:
          PlaceBlock(s, common, static_cast<size_t>(IndexByName(common.m_Blocks, key->name)), c, r);
          break;
        case SketchKind::kCharacter:
          PlaceCharacter(s, common, static_cast<size_t>(IndexByName(common.m_Characters, key->name)), c, r);
          if (key->symbol == 'i') SetSignText(s.m_PlacedCharacters.back(), sketch, signs++);
          break;
        case SketchKind::kItem:
          PlaceItem(s, common, static_cast<size_t>(IndexByName(common.m_Items, key->name)), c, r);
          break;
      }
    }
  }
  s.m_Backgrounds.clear();
  auto layer = [&](const char* utf8, double speedX, bool drifts) {
    cStageBackground b;
    b.m_nSource = 0;  // loaded from its file
    b.m_strFile = plat::Sjis(utf8);
    b.m_bAutoScrollX = drifts ? 1 : 0;
    b.m_dScrollSpeedX = speedX;  // dots a frame when it drifts, else a share of the view's scroll
    b.m_dScrollSpeedY = 0;
    s.m_Backgrounds.push_back(b);
  };
  switch (sketch.backdrop) {
    case Backdrop::kHills:
      layer("bmp\\StageSky.bmp", 0.25, true);
      layer("bmp\\StageHills.bmp", 0.5, false);
      break;
    case Backdrop::kSky:
      layer("bmp\\StageSky.bmp", 0.5, true);
      break;
    case Backdrop::kCastle:
      layer("背景その7.bmp", 0.25, false);
      break;
  }
  s.m_Texts.clear();
  return s;
}

// ---- World 1: the meadow ----
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
// lift at the ledge's very height). The tower's top keeps out of the
// columns of the timer's digits (x 272 to 367 on the screen, columns 8 to
// 11): a step of two bricks left of them, up from the crystal, and a jump
// across to the top ledge right of them, whose right end holds the flag.
// From the turret's ledge up the digits stand on open sky, and the
// head-up display never hides the flag; so do they on the first screen,
// whose lowest crystal steps keep left of them. (The crystal floor under
// the second shaft and the turret's ledge span the tower's middle: they
// pass under the digits as the view climbs between.)
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
              "B            s     B",
              "BBBB    ---BBBBBB  B",
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
          {"リフトが下りてきたら\nジャンプで乗って上へ！"}};
}

// ---- World 2: above the clouds ----
// 2-1: the hero flies with the screen, shooting UFOs and birds, to the star
// at the end of the sky. Its first stretch is open sky where only birds fly
// by, above and below the hero's row: a hero who holds still there is not
// hit (the first UFO fires eleven seconds in), and one who tries the
// arrows and the shot has room to learn them.
StageSketch SkyChase() {
  return {"UFOの空",
          kMusicSky,
          Backdrop::kSky,
          {
              "                                                                               =======                                                                 ",
              "                                                                               =======                                                                 ",
              "                                                                               =======                                                                 ",
              "                                     v                           v         U   o                               U                                       ",
              "                            v                U                                       o               U                         v                       ",
              "                                                                                           o                             v                             ",
              "                                                          v                            v         o                                                     ",
              "   A                                               U     v               U         v           v   h   o   U       U      v     v                *     ",
              "                                                          v                                v                 o                                         ",
              "                                                             o                                                     o       v                           ",
              "                              v                U                   o                                   U                 o       v                     ",
              "                                       v                           v     o U                                   U               o                       ",
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
// is read; a hero who does nothing is pushed along it by the screen's edge
// for more than eleven seconds before the first wall stops it. Then one
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
          {"画面は勝手に進む！\n左はしにはさまれるな"}};
}

// ---- World 3: the castle ----
// 3-1: the master of the castle in its hall. The hero comes in on the
// floor, under the master, beside a sign that names its warning and how
// to fight it; its text shows high in the hall, clear of the master and
// its shots, and below the timer's digits (which end at y 56: the box, four
// lines high with its empty ones, stands from y 63). Hearts wait over the
// inner ends of the two ledges from which
// the hero's shots reach it.
StageSketch MastersHall() {
  return {"魔王の間",
          kMusicCastle,
          Backdrop::kCastle,
          {
              "BBBBBBBBBBBBBBBBBBBB",
              "B                  B",
              "B                  B",
              "B                  B",
              "B                  B",
              "B                  B",
              "B                  B",
              "B                  B",
              "B                  B",
              "B    h   M    h    B",
              "B BBBB        BBBB B",
              "B                  B",
              "B         @ i      B",
              "B##################B",
              "B##################B",
          },
          {"魔王がほえたら 弾が来る！\nジャンプでよけて 段の上からXで攻撃"},
          144};
}

// ---- the ending ----
// The ending's world holds one stage: the meadow at peace, the hero on it,
// and the ending given half a second into play. Its tune is the ending's.
StageSketch TheEnding() {
  return {"エンディング",
          kMusicEnding,
          Backdrop::kHills,
          {
              "                    ",
              "                    ",
              "                    ",
              "                    ",
              "                    ",
              "                    ",
              "                    ",
              "                    ",
              "                    ",
              "                    ",
              "                    ",
              "                    ",
              "         @        e ",
              "####################",
              "####################",
          },
          {}};
}

// The ending's stage as the ending has it: no banner, no time limit, no
// ranking, and a result screen that passes by itself at once (the ending
// picture was the game's last word).
cStageData BuildEndingStage(const cCommonPalette& common) {
  cStageData s = BuildSketchedStage(common, TheEnding());
  s.Int(kStageBannerOn) = 0;
  s.Int(kStageSecondBannerOn) = 0;
  s.Int(kStageTimeLimitOn) = 0;
  s.Int(kStageAutomaticResult) = 1;
  s.Int(kStageResultBannerOn) = 0;
  s.m_RankingSwitches.assign(s.m_RankingSwitches.size(), 0);
  return s;
}

}  // namespace

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

// ---- the world map ----
// A meadow ringed by water with a road east through the three worlds. The
// second opens once the first is cleared (a closed gate stands in its place
// until then), the third once the second is; clearing the third opens the
// ending's world at the road's end, whose stage ends the game: its tally
// goes back to the title. The second and third worlds each
// stand in the one pass of a ridge of mountains that runs from the water in
// the north to the water in the south, so that a closed gate cannot be
// walked round over the grass.
namespace {

enum MapChip : uint32_t { kGrass = 0, kWater = 1, kMountain = 2, kForest = 3, kRoad = 4, kBridge = 5 };
// The map drawn as text, one character a cell: '~' water, '^' mountains,
// 'T' forest, '=' road, 'H' bridge, anything else grass.
constexpr const char* kMapRows[] = {
    "~~~~~~~~~~~~~~~~~~~~",
    "~TT   ^^^^  ~ ^ TT ~",
    "~T   ^^^^^  ~ ^^ T ~",
    "~   ^^^^^^^ ~ ^^^  ~",
    "~ T     ^^  ~ ^^^^ ~",
    "~  ^  ^^^^^^~ ^^^^ ~",
    "~     TT ^  ~ ^    ~",
    "~ ==========H====  ~",
    "~     TT ^  ~ ^ T  ~",
    "~ TT     ^  ~ ^TTT ~",
    "~TTT   ^^^  ~ ^    ~",
    "~ T   ^^^^  ~~^  T ~",
    "~        ^ ~~~^ TT ~",
    "~  TT    ^~~~ ^    ~",
    "~~~~~~~~~~~~~~~~~~~~",
};

uint32_t ChipOf(char c) {
  switch (c) {
    case '~': return kWater;
    case '^': return kMountain;
    case 'T': return kForest;
    case '=': return kRoad;
    case 'H': return kBridge;
    default: return kGrass;
  }
}

// What happens when a world's last stage is cleared (word 5 of a world):
// back to the map, or, after the ending, back to the title.
constexpr int32_t kAfterClearToMap = 0, kAfterClearToTitle = 2;

struct MapWorld {
  int32_t column, row;
  int32_t number;       // its progress flag, and the world number in play
  int32_t openedBy;     // the world whose clear opens it (0: open from the start)
  bool gate;            // a closed gate stands in its place until then
  int32_t iconRow;      // its row in the world icons
  int32_t afterClear;
  const char* name;
  const char* stage;    // its first stage
};
// The castle's clear comes back to the map, which saves the game by itself
// (the castle cleared, the lives won) and puts the hero on the ending's
// world: shown only once the castle is cleared, and never entered before,
// it starts at once. The ending's world goes back to the title. No gate
// stands in its place before: the castle, in the road's one pass, keeps
// the hero west of it until then.
constexpr MapWorld kWorlds[] = {
    {5, 7, 1, 0, false, 0, kAfterClearToMap, "はじまりの草原", "data\\stg4\\c01-1.stg4_001"},
    {9, 7, 2, 1, true, 1, kAfterClearToMap, "雲の上", "data\\stg4\\c02-1.stg4_001"},
    {14, 7, 3, 2, true, 2, kAfterClearToMap, "魔王の城", "data\\stg4\\c03-1.stg4_001"},
    {kEndingColumn, kEndingRow, 4, 3, false, 3, kAfterClearToTitle, "エンディング", "data\\stg4\\c04-1.stg4_001"},
};
constexpr int32_t kGateIconRow = 7;
constexpr int32_t kSeaColour = 152;  // the palette entry of the water chip's blue

}  // namespace

cWorldMap BuildGameWorldMap() {
  cWorldMap map;
  map.SetSize(20, 15);
  map.StartX() = 3;
  map.StartY() = 7;
  // The map's picture lies under the map; beyond the map's edge (the view
  // keeps the hero at its centre) the screen is the map's background colour,
  // the sea's blue.
  map.BackgroundPicture() = 1;
  map.BackgroundColour() = kSeaColour;
  map.m_strText = "bmp\\WorldBack.bmp";
  for (int i = 0; i < cWorldMap::kChipTypeCount; ++i) {
    map.m_ChipTypes[static_cast<size_t>(i)].m_nPicture = i;
    map.m_ChipTypes[static_cast<size_t>(i)].m_bImpassable = (i == kWater || i == kMountain) ? 1 : 0;
  }
  for (int32_t y = 0; y < 15; ++y)
    for (int32_t x = 0; x < 20; ++x) map.SetCell(x, y, ChipOf(kMapRows[y][x]));
  map.m_Groups.clear();
  for (const MapWorld& w : kWorlds) {
    cWorld world;
    world.m_nWord[0] = kWorldKindStage;
    world.m_nWord[1] = w.iconRow;
    world.m_nWord[2] = w.number;
    world.m_nWord[4] = 1;  // enterable again once cleared
    world.m_nWord[5] = w.afterClear;
    world.m_nWord[6] = w.openedBy;
    world.m_strName = plat::Sjis(w.name);
    world.m_strStageFile = w.stage;
    cWorldGroup node;
    node.m_nX = w.column;
    node.m_nY = w.row;
    node.m_Worlds = {world};
    if (w.gate) {  // the gate, while the world is closed
      cWorld gate;
      gate.m_nWord[0] = kWorldKindWall;
      gate.m_nWord[1] = kGateIconRow;
      node.m_Worlds.push_back(gate);
    }
    map.m_Groups.push_back(node);
  }
  return map;
}

}  // namespace tool::demo
