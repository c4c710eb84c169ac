// One frame of stage play (mode 2): input, the clock, then the stage's
// sub-steps, in each of which every object acts and is resolved against the
// block map, the screen edges and the other objects in one fixed order, and
// last the drawing. The order is the game's rule set: who moves first, who
// is tested against what, and which result ends the frame; replays depend
// on it, since flows draw random numbers in the order objects are visited.
//
// Lists are walked in place. An object removed during a walk is only marked;
// later walks skip it and it is unlinked and destroyed at the end of the
// sub-step (or of the frame), so no walk ever reaches a freed object and
// the visiting order is that of removal-at-once.
#include <algorithm>

#include "base/logs.h"
#include "base/program.h"
#include "data/labels.h"  // kTriggerAlways (flow runtime)
#include "data/system_data.h"
#include "flow/flow_state.h"
#include "platform/messages.h"
#include "play/objects/character.h"
#include "play/objects/character_look_ahead.h"
#include "play/objects/hero.h"
#include "play/objects/stage_character.h"
#include "play/objects/stage_item.h"
#include "play/world/stage_scene.h"
#include "play/world/system_switches.h"
#include "scene/input.h"
#include "scene/play_record.h"
#include "scene/replay_recorder.h"

// ---- the per-sub-step bookkeeping of a character ----

void cCharacter::CountDownInvincibility() {
  if (--m_nInvincibleTimer <= 0) m_nInvincibleTimer = 0;
  for (auto it = m_InvincibleList.begin(); it != m_InvincibleList.end();) {
    if (--it->timer <= 0)
      it = m_InvincibleList.erase(it);
    else
      ++it;
  }
}

void cCharacter::ClearContactFlags() { m_bContactLeft = m_bContactRight = m_bContactUp = m_bContactDown = 0; }

void cCharacter::ApplyGravity() {
  if (m_bFreeVertical == 0 && m_bRiding == 0 && m_bStanding == 0 && m_dKnockbackY >= 0) m_dSpeedY += StageGravity();
}

namespace {

bool IsSqueezed(const cCharacter& c) {
  return (c.m_bContactLeft && c.m_bContactRight) || (c.m_bContactUp && c.m_bContactDown);
}

// The words a walk reads to tell whether a character acts, of the
// character far ahead.
void PrefetchWalkFlags(const cCharacterLookAhead& ahead) {
  const cStageCharacter* far = ahead.Far();
  if (!far) return;
  PrefetchListNode(far);
  PrefetchLines(&far->m_bPresent, &far->m_RemovalMark, &far->m_bDying, &far->m_bActing, &far->m_byBlockCharacter);
}

// What clearing the frame flags reads: the character's words far ahead,
// then, a few places apart since each is found through the one before, its
// flow set and the flows' own words (the clearing counts there).
const cActorFlows* FlowsToClear(const cStageCharacter* c) {
  if (!c || c->m_bDying || !c->m_pFlows) return nullptr;
  return c->m_pFlows->ActorFlows();
}

void PrefetchForFlagClearing(const cCharacterLookAhead& ahead) {
  if (const cStageCharacter* far = ahead.Far()) {
    PrefetchListNode(far);
    PrefetchLines(&far->m_bDying, &far->m_pFlows, &far->m_bPinnedX);
  }
  if (const cStageCharacter* c = ahead.Near(9); c && !c->m_bDying && c->m_pFlows) PrefetchBytes(c->m_pFlows.get(), 16);
  if (const cActorFlows* flows = FlowsToClear(ahead.Near(6))) PrefetchBytes(flows, 96);
}

}  // namespace

int32_t SubStepsPerFrame() { return std::clamp(StageData.Int(kStageSubSteps), 1, kMaxSubSteps); }

// ---- removal ----

void cStageScene::RemoveCharacter(cStageCharacter& character) {
  if (character.m_RemovalMark.on) return;
  character.m_RemovalMark.on = true;
  ++m_nDoomed;
  ++m_nRemovalCount;
}

void cStageScene::RemoveItem(cStageItem& item) {
  if (item.m_RemovalMark.on) return;
  item.m_RemovalMark.on = true;
  ++m_nDoomed;
}

void cStageScene::FlushRemovals() {
  if (m_nDoomed == 0) return;
  bool anyCharacter = false;
  for (cStageCharacter& character : m_CharacterList) {
    if (!character.m_RemovalMark.on) continue;
    anyCharacter = true;
    character.ClearTargetLinks();
    if (CurrentCharacter == &character) CurrentCharacter = nullptr;
  }
  if (anyCharacter) {
    for (auto& group : m_CharacterGroups)
      group.remove_if([](const cCharacter* c) { return c->m_RemovalMark.on; });
    m_CharacterList.remove_if([](const cStageCharacter& c) { return c.m_RemovalMark.on; });
    ++m_nCharacterFlushes;
  }
  m_ItemList.remove_if([](const cStageItem& item) { return item.m_RemovalMark.on; });
  m_nDoomed = 0;
  ++m_nRemovalCount;
}

// ---- the list order ----

cStageScene::cCharacterListShape cStageScene::CharacterListShape() const {
  if (m_CharacterList.empty()) return {};
  return {m_CharacterList.size(), &m_CharacterList.front(), &m_CharacterList.back()};
}

const std::vector<cStageCharacter*>& cStageScene::CharacterOrder() {
  const cCharacterOrderKey key{CharacterListShape(), m_nCharacterFlushes};
  if (!(key == m_CharacterOrderKey)) {
    m_CharacterOrder.clear();
    m_bCharactersActivateAlone = true;
    for (cStageCharacter& c : m_CharacterList) {
      m_CharacterOrder.push_back(&c);
      if (!c.Definition().m_vConds.Get().empty() || c.Definition().GroupFlag() != 0) m_bCharactersActivateAlone = false;
    }
    m_CharacterOrderKey = key;
  }
  return m_CharacterOrder;
}

bool cStageScene::CharactersActivateAlone() {
  CharacterOrder();
  return m_bCharactersActivateAlone;
}

// ---- the frame ----

cHero& cStageScene::Hero() { return m_HeroList.front(); }

bool cStageScene::IsHeroDying() { return !HasHero() || Hero().m_bDying != 0; }

int32_t cStageScene::IsHitCheckStep(int32_t step) const {
  // The flags are kept per sub-step from 0; the step index counts from 1.
  const int32_t i = step - 1;
  if (i < 0 || i >= static_cast<int32_t>(m_HitCheckSteps.size())) return 0;
  return m_HitCheckSteps[static_cast<size_t>(i)];
}

void cStageScene::EnterResult() {
  EndStage();
  m_nMode = kStageModeResult;
}

void cStageScene::KillHero(const char* logLine) {
  if (logLine) WriteECLog("%s", logLine);
  RequestSoundEffect(kSoundHeroDeath);
  if (DefeatHero() == 1) EnterResult();
}

int cStageScene::RunPlay() {
  if (m_nQuitRequest) {
    // The player has answered the quit question already.
    plat::PostMessage(g_hMainWnd.load(), plat::WM_CLOSE, plat::kCloseWithoutAsking, 0);
    return 0;
  }
  if (CheckPauseKey()) {
    m_nSubState = 0;
    m_nMode = kStageModePause;
    return 0;
  }
  if (CheckReplaySaveKeys()) return 0;  // replays
  ++m_nFrameCounter;

  // Input: what the hero may not use this frame is taken out, and buttons
  // stay cleared after a menu choice until every button has been let go.
  // Replay playback takes the words from the key log instead (they carry
  // both already); the end of the log starts the replay again.
  cInput& input = InputRecords.At(0);
  const bool playback = SceneManager.m_nLastTitleAction == kTitleReplay;
  if (playback && !ReplayRecorder.FeedFrame(input)) {
    SaveData.RestoreVariables(true, true);
    SetStage(1, 1);
    m_nMode = kStageModeBanner;
    return 0;
  }
  if (HasHero() && !playback) {
    if (Hero().m_bInputOff) input.m_wDirection = 0;
    if (Hero().m_bButtonsOff) input.m_wButtons = 0;
  }
  if (input.m_wButtons == 0)
    m_bButtonLatch = 0;
  else if (m_bButtonLatch && !playback)
    input.m_wButtons = 0;
  input.RecordHistory();
  input.UpdateDirectionPresses();
  // Replays: the words as the stage used them.
  if (!playback && ProjectRule(kRuleReplaysEnabled) != 0) ReplayRecorder.RecordFrame(input);

  CountClearTime();
  if (CountDownTime(-1) == 1 && !IsHeroDying()) {
    KillHero(nullptr);
    return 0;
  }

  // Each character's own flags: the hero's now, the stage characters' in
  // the first sub-step's bookkeeping walk (the activation pass before it
  // neither reads nor sets them: no flow starts or runs there).
  if (HasHero()) Hero().ClearFlowFrameFlags();
  m_bFrameFlagsPending = true;
  if (HasHero()) Hero().m_bPinnedX = Hero().m_bPinnedY = 0;

  const int32_t subSteps = SubStepsPerFrame();
  for (int32_t i = 1; i <= subSteps; ++i) {
    const bool goOn = RunSubStep(i);
    FlushRemovals();
    if (!goOn) return 0;
  }
  DrawFrame(1, 0, 1, 1);
  FlushRemovals();
  return 0;
}

void cStageScene::BookKeep(cStageCharacter& character, bool countLife, bool clearFrameFlags) {
  if (clearFrameFlags) {
    if (!character.m_bDying) character.ClearFlowFrameFlags();
    character.m_bPinnedX = character.m_bPinnedY = 0;
  }
  if (countLife && !IsDoomed(character) && !character.m_bDying && character.m_nLifeCountdown != kNoLifeCountdown &&
      --character.m_nLifeCountdown < 0)
    RemoveCharacter(character);
  character.CountDownInvincibility();
  character.ClearContactFlags();
  character.SavePosition();
}

bool cStageScene::RunSubStep(int32_t i) {
  m_nStepIndex = i;
  ++m_nStepCount;
  // Life countdowns (while the hero lives) and the per-sub-step bookkeeping
  // touch only the character itself: one walk does both, and in a frame's
  // first sub-step it also clears the frame's flow flags and pins. Deciding
  // whether a character acts reads only the character itself too, so when
  // the items' presence reads nothing of the characters (no item has
  // appearance conditions), that walk does the bookkeeping as well, each
  // character's right after its decision: the items' presence, which comes
  // between the two in the sub-step, then follows the walk.
  const bool clearFrameFlags = m_bFrameFlagsPending;
  m_bFrameFlagsPending = false;
  size_t liveBlockCharacters = 0;
  const auto countBlock = [&](const cStageCharacter& c) {
    if (c.m_byBlockCharacter && !IsDoomed(c)) ++liveBlockCharacters;
  };
  bool countLife = false;
  if (ItemsTestNoConditions()) {
    // Nor do the characters' own tests read each other when none has
    // appearance conditions or wakes a group: each character's presence and
    // screen tests then join the walk too, ahead of its decision.
    const bool alone = CharactersActivateAlone();
    if (alone)
      StartActivation();
    else
      ActivateCharacters();
    countLife = !IsHeroDying();
    cCharacterLookAhead ahead(m_CharacterList, CharacterOrder());
    for (cStageCharacter& character : m_CharacterList) {
      ahead.Next();
      if (alone) PrefetchForActivating(ahead);
      PrefetchForActing(ahead);
      if (clearFrameFlags) PrefetchForFlagClearing(ahead);
      if (alone) ActivateCharacter(character);
      DecideActing(character);
      BookKeep(character, countLife, clearFrameFlags);
      countBlock(character);
    }
    ActivateItems();
  } else {
    ActivateObjects();
    countLife = !IsHeroDying();
    cCharacterLookAhead ahead(m_CharacterList, CharacterOrder());
    for (cStageCharacter& character : m_CharacterList) {
      ahead.Next();
      if (clearFrameFlags) PrefetchForFlagClearing(ahead);
      if (const cStageCharacter* far = ahead.Far()) {
        PrefetchListNode(far);
        PrefetchLines(&far->m_dX, &far->m_bDying, &far->m_InvincibleList);
      }
      BookKeep(character, countLife, clearFrameFlags);
      countBlock(character);
    }
  }
  m_nLiveBlockCharacters = liveBlockCharacters;
  m_nBlockCountStep = m_nStepCount;
  m_BlockCountShape = CharacterListShape();
  if (countLife)
    for (cStageItem& item : m_ItemList) {
      if (IsDoomed(item) || item.m_nLifeCountdown == kNoLifeCountdown) continue;
      if (--item.m_nLifeCountdown < 0) RemoveItem(item);
    }
  if (HasHero()) {
    cHero& hero = Hero();
    hero.CountDownInvincibility();
    hero.ClearContactFlags();
    hero.SavePosition();
    hero.RememberFacing();
    hero.RememberContactState();
  }

  m_ScrollX.Step();
  m_ScrollY.Step();

  if (!IsHeroDying() && !RunBlockCharacters()) return false;
  if (!IsHeroDying() && !RunHero()) return false;
  if (!IsHeroDying() && !RunOrdinaryCharacters()) return false;
  if (!RunShots(i)) return false;
  if (i == 1 && !IsHeroDying()) SweepOutsideRemovalAreas();

  if (!IsHeroDying()) {
    const int r = m_BlockMap.TakeFootBlockItem(Hero());
    if (r == kCheckStageEnd) {
      EnterResult();
      return false;
    }
    if (r == kCheckKilled) {
      KillHero(nullptr);
      return false;
    }
    // Hits and contacts (combat): only in the sub-steps flagged for hit
    // checks; the items the hero touches in every sub-step.
    if (IsHitCheckStep(i)) {
      const int hits = CheckHits();
      if (hits == kCheckStageEnd) {
        EnterResult();
        return false;
      }
      if (hits == kCheckKilled) {
        KillHero(nullptr);
        return false;
      }
    }
    if (!IsHeroDying()) {
      const int items = TakeItems(Hero());
      if (items == kCheckStageEnd) {
        EnterResult();
        return false;
      }
      if (items == kCheckKilled) {
        KillHero(nullptr);
        return false;
      }
    }
  }
  return true;
}

// What a character's Frame reporting it gone or dead leads to; false ends
// the frame.
bool cStageScene::HandleFrameOut(cStageCharacter& character) {
  const int r = HandleCharacterKilled(character);
  if (ProjectRule(kRuleDeathDisplays) == 0) {
    RemoveCharacter(character);
    return r == kCheckGoOn;
  }
  // The character stays for its death display (DrawCharacter removes it
  // when the display is over), unless the stage ended with it.
  if (r == kCheckStageEnd) {
    RemoveCharacter(character);
    return false;
  }
  RequestSoundEffect(kSoundEnemyDeath);
  return r != kCheckKilled;
}

// A character killed by its moves: false ends the frame.
bool cStageScene::HandleMoveKill(cStageCharacter& character) {
  RequestSoundEffect(kSoundEnemyDeath);
  const int r = HandleCharacterKilled(character);
  if (r == kCheckStageEnd) {
    RemoveCharacter(character);
    return false;
  }
  return r != kCheckKilled;
}

bool cStageScene::RunBlockCharacters() {
  // No block character was left when the bookkeeping walk just before
  // ended (nothing between adds or changes one): the walk would pass every
  // character over.
  if (m_nBlockCountStep == m_nStepCount && m_nLiveBlockCharacters == 0) return true;
  cCharacterLookAhead ahead(m_CharacterList, CharacterOrder());
  for (cStageCharacter& c : m_CharacterList) {
    ahead.Next();
    PrefetchWalkFlags(ahead);
    if (IsDoomed(c) || !c.m_byBlockCharacter || c.m_bDying || !c.m_bPresent || !c.m_bActing) continue;
    c.TriggerFlowsOfKind(kTriggerAlways);
    if (c.Frame(0) != 0) {
      if (!HandleFrameOut(c)) return false;
      continue;
    }
    if (m_bLifeCheck && CheckLifePoints() != 0) return false;
    // All five run even when an early one already killed or moved it out.
    const int stepX = c.StepX();
    const int moveX = m_BlockMap.MoveX(c);
    c.ApplyGravity();
    const int stepY = c.StepY();
    const int moveY = m_BlockMap.MoveY(c);
    const bool killed = moveX == kCheckKilled || stepY == kStepKilled || moveY == kCheckKilled;
    const bool leaves = stepX == kStepLeave || stepY == kStepLeaveY;
    if (killed) {
      if (!HandleMoveKill(c)) return false;
    } else if (leaves) {
      RemoveCharacter(c);
    } else {
      c.DecayKnockbackX();
      c.DecayKnockbackY();
    }
  }
  return true;
}

bool cStageScene::RunHero() {
  cHero& hero = Hero();
  hero.TriggerFlowsOfKind(kTriggerAlways);
  if (hero.Frame(0) != 0) {
    KillHero(nullptr);
    return false;
  }
  if (m_nEndRequest == kEndClear) {
    EnterResult();
    return false;
  }
  if (m_nEndRequest == kEndKillHero) {
    KillHero(nullptr);
    return false;
  }
  if (m_bLifeCheck && CheckLifePoints() != 0) return false;
  const int foot = m_BlockMap.ApplyFootBlock(hero);
  if (foot == kCheckStageEnd) {
    EnterResult();
    return false;
  }
  if (foot == kCheckKilled) {
    KillHero(nullptr);
    return false;
  }
  if (hero.m_bRiding) CarryRider(hero);

  const bool forcedX = m_ScrollX.m_bActive != 0;
  const bool forcedY = m_ScrollY.m_bActive != 0;
  hero.StepX();
  m_BlockMap.KeepInsideScreenX(hero, forcedX, m_ScrollX.position);
  if (m_BlockMap.MoveX(hero) == kCheckKilled) {
    KillHero("Dead 1");
    return false;
  }
  m_BlockMap.KeepInsideScreenX(hero, forcedX, m_ScrollX.position);
  hero.ApplyGravity();
  if (hero.StepY() == kStepKilled) {
    KillHero("Dead 2");
    return false;
  }
  if (m_BlockMap.KeepInsideScreenY(hero, forcedY, m_ScrollY.position) == kCheckKilled) {
    KillHero("Dead 3");
    return false;
  }
  if (m_BlockMap.MoveY(hero) == kCheckKilled) {
    KillHero("Dead 4");
    return false;
  }
  if (m_BlockMap.KeepInsideScreenY(hero, forcedY, m_ScrollY.position) == kCheckKilled) {
    KillHero("Dead 5");
    return false;
  }
  if (IsSqueezed(hero) && hero.SurviveSqueeze() == 0) {
    hero.RestorePosition();
    KillHero("Dead SP");
    return false;
  }
  if (ResolveCharacterContacts(hero) == kCheckKilled && !hero.m_bDying && hero.SurviveSqueeze() == 0) {
    KillHero("Dead 6");
    return false;
  }
  if ((hero.m_bContactLeft || hero.m_bContactRight) && m_BlockMap.TouchX(hero) == kCheckKilled && !hero.m_bDying) {
    if (hero.SurviveSqueeze() == 0) {
      KillHero("Dead 7");
      return false;
    }
    // Surviving a deadly side touch ends the frame at once: the rest of the
    // sub-step and the drawing are skipped.
    return false;
  }
  if ((hero.m_bContactUp || hero.m_bContactDown) && m_BlockMap.TouchY(hero) == kCheckKilled && !hero.m_bDying &&
      hero.SurviveSqueeze() == 0) {
    KillHero("Dead 8");
    return false;
  }
  if (IsSqueezed(hero) && hero.SurviveSqueeze() == 0) {
    hero.RestorePosition();
    KillHero("Dead 9");
    return false;
  }
  hero.DecayKnockbackX();
  hero.DecayKnockbackY();
  return true;
}

namespace {

// The walk of the ordinary characters brings the characters ahead into the
// caches level by level while it works on the current one: with thousands
// of characters their objects and flows no longer stay cached from one
// frame to the next, and each level's address is read from the level
// before. Far ahead: the words that tell whether it acts (PrefetchWalkFlags);
// 7: the rest of the object; 6: its flow set; 5..1: the flow levels
// (cActorFlows::Prefetch). A character that looks idle (the walk will very
// likely pass it over) is left alone. Changes nothing.
constexpr int kObjectDistance = 7;

void PrefetchForOrdinaryWalk(const cCharacterLookAhead& ahead) {
  PrefetchWalkFlags(ahead);
  for (int distance = kObjectDistance; distance >= 1; --distance) {
    const cStageCharacter* c = ahead.Near(distance);
    if (!c) continue;
    if (c->m_byBlockCharacter || c->m_bDying || !c->m_bPresent || !c->m_bActing || c->m_RemovalMark.on) continue;
    if (distance == kObjectDistance) {
      // The object up to its carried item, of which only the held word.
      PrefetchBytes(c, static_cast<size_t>(reinterpret_cast<const char*>(&c->m_Item) -
                                           reinterpret_cast<const char*>(c)));
      PrefetchLine(&c->m_Item.m_bHeld);
      continue;
    }
    const cCharacterFlows* set = c->m_pFlows.get();
    if (!set) continue;
    if (distance == kObjectDistance - 1) {
      PrefetchBytes(set, 128);
      continue;
    }
    if (const cActorFlows* flows = set->ActorFlows()) flows->Prefetch(kObjectDistance - 2 - distance);
  }
}

}  // namespace

bool cStageScene::RunOrdinaryCharacters() {
  cCharacterLookAhead ahead(m_CharacterList, CharacterOrder());
  for (cStageCharacter& c : m_CharacterList) {
    ahead.Next();
    PrefetchForOrdinaryWalk(ahead);
    if (IsDoomed(c) || c.m_byBlockCharacter || c.m_bDying || !c.m_bPresent || !c.m_bActing) continue;
    c.TriggerFlowsOfKind(kTriggerAlways);
    if (c.Frame(0) != 0) {
      if (c.m_bRemoved) {
        RemoveCharacter(c);
        continue;
      }
      if (!HandleFrameOut(c)) return false;
      continue;
    }
    if (m_bLifeCheck && CheckLifePoints() != 0) return false;
    if (c.m_bRiding) CarryRider(c);
    const int stepX = c.StepX();
    const int moveX = m_BlockMap.MoveX(c);
    c.ApplyGravity();
    const int stepY = c.StepY();
    const int moveY = m_BlockMap.MoveY(c);
    const int contacts = ResolveCharacterContacts(c);
    m_BlockMap.TouchX(c);
    m_BlockMap.TouchY(c);
    const bool killed =
        moveX == kCheckKilled || stepY == kStepKilled || moveY == kCheckKilled || contacts == kCheckKilled;
    const bool leaves = stepX == kStepLeave || stepY == kStepLeaveY;
    if (IsSqueezed(c) || killed) {
      if (!HandleMoveKill(c)) return false;
    } else if (leaves) {
      RemoveCharacter(c);
    } else {
      c.DecayKnockbackX();
      c.DecayKnockbackY();
    }
  }
  return true;
}

bool cStageScene::RunShots(int32_t i) {
  // Shots move even while the hero is dying (combat: objects/shot.cpp).
  MoveShots(i);
  return true;
}

void cStageScene::SweepOutsideRemovalAreas() {
  const cLiveRange characters = LiveRangeOf(StageData.m_Params[kRemovalCharacters]);
  const cLiveRange blocks = LiveRangeOf(StageData.m_Params[kRemovalBlockCharacters]);
  // Ordinary and block characters have areas of their own; a walk marks
  // both kinds (marking changes nothing the other kind's test reads).
  if (m_bRemoveCharacters || m_bRemoveBlockCharacters) {
    cCharacterLookAhead ahead(m_CharacterList, CharacterOrder());
    for (cStageCharacter& c : m_CharacterList) {
      ahead.Next();
      if (const cStageCharacter* far = ahead.Far()) {
        PrefetchWalkFlags(ahead);
        PrefetchLines(&far->m_bOnScreen, &far->m_dX, &far->m_dBottom);
      }
      if (IsDoomed(c) || c.m_bDying || !c.m_bPresent) continue;
      if (c.m_byBlockCharacter ? m_bRemoveBlockCharacters && c.IsOutsideLiveRange(blocks)
                               : m_bRemoveCharacters && c.IsOutsideLiveRange(characters))
        RemoveCharacter(c);
    }
  }
  if (m_bRemoveItems) {
    const cLiveRange items = LiveRangeOf(StageData.m_Params[kRemovalItems]);
    for (cStageItem& item : m_ItemList)
      if (!IsDoomed(item) && item.m_bPresent && item.IsOutsideLiveRange(items)) RemoveItem(item);
  }
}
