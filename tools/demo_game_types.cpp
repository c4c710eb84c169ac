// The demo game's own types: its heroes (the walking one, the wind road's,
// the sky's), its lifts, its enemies and its sign. The castle's master and
// the ending's types are the castle's (demo_game_castle.cpp).
#include <memory>

#include "data/common_palette.h"
#include "data/database.h"
#include "flow/flow_host.h"
#include "demo_builders.h"
#include "demo_game_parts.h"

namespace tool::demo::game {
namespace {

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

}  // namespace

// The hero of the game's stages (the showcase's hero with flows of its
// own): RIGHT and LEFT walk at the movement speed `walk` (at the stages'
// pace, 60 is three dots a frame), B1 jumps up to four blocks high (as high
// as the key is held: a tap only hops), B2 fires a shot ahead, B3 swings
// the sword; a hit makes it blink while it is safe, its death dims the
// stage.
cEdCharacter GameHero(const cCommonPalette& palette, uint16_t walk) {
  cEdCharacter hero = palette.m_Characters[static_cast<size_t>(IndexByName(palette.m_Characters, "主人公"))];
  hero.m_strName = plat::Sjis(kHeroName);
  cEdCmd jump = Jump(8);
  jump.m_vParams[0] = 1;  // "高さがキーで調節できる": the rise lasts while B1 is held
  cEdCmd shoot = Shot(1, 200, 10);
  shoot.m_nSound = kSndShot;
  cEdCmd sword = Sword(2);
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
  hero.m_strName = plat::Sjis(kSkyHeroName);
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

// Words of the message command that name its window: by ID (12), the ID
// (13), and a close of the window of that ID (15).
constexpr size_t kMessageById = 12, kMessageId = 13, kMessageClose = 15;

// A sign: while the hero is near it shows its text at the screen's centre
// (the stage moves it up and aside), in the signs' one window: a sign's
// text takes the place of the one before it.
cEdCharacter Sign() {
  cEdCharacter sign = Character(kSignName, kSignGraphic, 1, 0);
  sign.m_nParam35 = 1;  // nothing hurts it
  sign.m_nParam50 = kHeroGroup;
  cEdCmd text = Message("", 30);
  text.m_vParams.at(kMessageById) = 1;
  text.m_vParams.at(kMessageId) = kSignTextWindow;
  cEdFlow show = Flow(kTriggerAlways, {text, Wait(30)});
  show.m_vConds = {HeroWithin(64)};
  sign.m_vFlows = {show};
  return sign;
}

cEdCmd CloseSignText() {
  std::vector<uint32_t> words(18, 0);
  words[kMessageById] = 1;
  words[kMessageId] = kSignTextWindow;
  words[kMessageClose] = 1;
  return Command(kCmdMessage, std::move(words));
}

}  // namespace tool::demo::game
