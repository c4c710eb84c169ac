// World 3, the castle, and the ending: the master of the castle, the light
// it leaves that clears the castle, the master's hall; the ending's item,
// the unseen character that gives it, and the ending's stage.
#include "data/common_palette.h"
#include "data/database.h"
#include "flow/flow_host.h"
#include "demo_builders.h"
#include "demo_game_parts.h"

namespace tool::demo::game {
namespace {

constexpr uint32_t kEndPicture = 2;   // "bmp\TheEnd.bmp" in the picture list
constexpr uint32_t kShakeEffect = 2;  // the showcase's screen shake

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

}  // namespace

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

// What the master leaves when it is beaten: an unseen light that clears
// the hall of the master's bats and shots, lets the burst play out for a
// second and a half, waits for the hero to stand on the floor or a ledge
// (a hero still in the air would stay there, under the result's box, when
// the game holds still), then clears the hall again of every shot (the
// hero's too) and of anything of the master's still there, closes the
// sign's text (a hero by the sign, or just come from it, has it showing),
// and clears the castle: the world is cleared, and its result screen (the
// master's thousand points and the lives they bring) and its ranking hold
// the game still, with nothing flying or written over them. The clear puts
// the hero on the ending's world on the map: the map saves the game there
// (the castle cleared, the lives won) and, the ending's world never
// entered, starts it at once.
//
// Two flows: the first takes the hero as its target, clears, waits and
// then sets the light's first variable; the second starts once that
// variable is set and its target stands on something.
cEdCharacter EndingLight() {
  cEdCharacter light = Unseen(kEndingLightName);
  constexpr uint32_t kCharacters = 0, kShots = 1, kEverywhere = 1;
  constexpr uint32_t kEnemies = static_cast<uint32_t>(kEnemyGroup), kHeroes = static_cast<uint32_t>(kHeroGroup);
  constexpr uint32_t kTargetSlot = 0, kFirstHero = 0;
  const std::vector<cEdCmd> clear = {Command(kCmdVanish, {kCharacters, kEnemies, kEverywhere}),
                                     Command(kCmdVanish, {kShots, kEnemies, kEverywhere})};
  std::vector<cEdCmd> round = {Command(kCmdSetTarget, {kTargetSlot, kFirstHero})};
  round.insert(round.end(), clear.begin(), clear.end());
  round.push_back(Wait(15));
  round.push_back(Code("my.v1 = 1"));
  round.push_back(Wait(100));
  // The last clearing and the clear run together, in one step: nothing
  // is fired, and no sign shows its text again, between them (the game
  // holds still from the clear on).
  std::vector<cEdCmd> last = clear;
  last.push_back(Command(kCmdVanish, {kShots, kHeroes, kEverywhere}));
  last.insert(last.begin(), CloseSignText());
  for (cEdCmd& c : last) c.m_nTogether = 1;
  constexpr uint32_t kWorldClear = 3, kMoveOnMap = 1;
  last.push_back(Command(kCmdStageClear, {kWorldClear, 0, kMoveOnMap, static_cast<uint32_t>(kEndingColumn),
                                          static_cast<uint32_t>(kEndingRow), 0, 0, 0, 0}));
  last.push_back(Wait(100));
  cEdFlow end = Flow(kTriggerAlways, last);
  cCond waited;  // the light's first variable (v1) is 1
  waited.m_nKind = 3;
  waited.m_nVarNumber = 0;
  waited.m_nConstant = 1;
  waited.m_nOperator = 0;  // equal
  cCond standing;  // its first target (the hero) stands on a block or rides something
  standing.m_nKind = 6;
  standing.m_nSubject = 1;
  standing.m_nField = 2;
  standing.m_nOperator = 0;  // as it says, not negated
  end.m_vConds = {waited, standing};
  light.m_vFlows = {Flow(kTriggerAlways, round), end};
  return light;
}

// The ending's stage gives the hero the ending half a second into play.
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
namespace {

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

}  // namespace

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

}  // namespace tool::demo::game
