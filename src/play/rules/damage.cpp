// Damage, invincibility, the hit triggers, defeat and the anime runs of a
// character: what the hit checks of a sub-step do to the characters they
// find touching or struck.
#include <algorithm>

#include "data/labels.h"
#include "play/objects/character.h"
#include "play/objects/effect_object.h"  // fxobj
#include "play/objects/hero.h"
#include "play/objects/shot.h"
#include "play/objects/stage_item.h"
#include "play/world/stage_scene.h"
#include "scene/play_record.h"

namespace {

inline constexpr int32_t kDamageMax = 999999;

int32_t SubSteps() { return std::max(1, StageSubSteps()); }

// A stage time in sub-steps, held far inside the integer range.
int32_t Steps(int field) {
  return static_cast<int32_t>(std::clamp<int64_t>(int64_t{StageData.Int(field)} * SubSteps(), 0, 100000000));
}

// Power that reaches the victim: above 0 it loses the defence and stays in
// 0..999999; 0 or less is passed on as it is.
int32_t PowerAgainst(int64_t power, const cCharacter& victim) {
  if (power <= 0) return static_cast<int32_t>(std::max<int64_t>(power, -kDamageMax));
  return static_cast<int32_t>(std::clamp<int64_t>(power - victim.Definition().Defence(), 0, kDamageMax));
}

}  // namespace

// The stage keeps two pairs of invincibility times, named after the hero and
// the enemies. A character of a non-zero kind (computer-controlled) takes the
// pair named after the hero, one of kind 0 (player-controlled, the hero) the
// pair named after the enemies.
void cCharacter::StartInvincibility() {
  m_nInvincibleTimer = Steps(m_nKind != 0 ? kStageHeroInvincibility : kStageEnemyInvincibility);
}

void cCharacter::StartInvincibilityFrom(int32_t attackerId) {
  StartInvincibility();
  m_InvincibleList.push_back({attackerId, Steps(m_nKind != 0 ? kStageHeroInvincibilityPer : kStageEnemyInvincibilityPer)});
}

bool cCharacter::IsInvincibleTo(int32_t attackerId) const {
  if (m_nInvincibleTimer > 0) return true;
  return std::any_of(m_InvincibleList.begin(), m_InvincibleList.end(),
                     [attackerId](const cInvincibleEntry& e) { return e.attackerId == attackerId; });
}

// ---- fxobj ----
namespace {
// An effect object of effect n on the overlap of two hit rectangles, added to
// the running stage's effect objects (nothing without a stage or for a number
// that names no effect).
void AddHitEffect(int32_t n, const cHitRect& a, const cHitRect& b, int32_t zoom) {
  cStageScene* scene = CurrentStageScene();
  if (!scene) return;
  auto effect = cEffectObject::AtHit(n, {a.left, a.top, a.right, a.bottom}, {b.left, b.top, b.right, b.bottom}, zoom);
  if (!effect) return;
  scene->m_Effects.push_back(effect);
}
}  // namespace
// ---- end fxobj ----

int cCharacter::TakeBodyHit(cCharacter& attacker) {
  const int32_t power = PowerAgainst(attacker.Definition().ContactPower(), *this);
  const int r = ChangeHp(-power, 0, 1);
  // ---- fxobj: the hit effect between the two bodies ----
  if (attacker.Definition().HitEffect() != 0)
    AddHitEffect(attacker.Definition().HitEffect(), m_Hit1, attacker.m_Hit1, attacker.Definition().m_nParam34);
  // ---- end fxobj ----
  KnockbackFromCharacter(attacker);
  return r;
}

int cCharacter::TakeAttackHit(cShot& attack) {
  const int32_t power = PowerAgainst(attack.m_Definition.Power(), *this);
  const int r = ChangeHp(-power, 0, 1);
  // ---- fxobj: the hit effect between the attack rectangle and the attack ----
  if (attack.m_Definition.m_nEffect != 0) AddHitEffect(attack.m_Definition.m_nEffect, m_Hit2, attack.m_Hit, 1);
  // ---- end fxobj ----
  KnockbackFromShot(attack);
  return r;
}

void cCharacter::KnockbackFromShot(const cShot& attack) {
  const int32_t strength = attack.m_Definition.Impact();
  if (attack.m_dOwnVX == 0 && attack.m_dOwnVY == 0)
    SetKnockback(strength, attack.FacingSign(), 0);
  else
    SetKnockback(strength, attack.m_dSpeedX, attack.m_dSpeedY);
}

void cCharacter::TriggerFlows(int32_t kind, cCharacter* context, int32_t group) {
  FlowHooks().TriggerFlows(*this, kind, context, group);
}

void cCharacter::RaiseBodyHitTriggers(cCharacter& attacker) {
  const cEdCharacter& d = attacker.Definition();
  auto raise = [&](int32_t victimKind, int32_t ownerKind) {
    if (attacker.m_pParent && attacker.m_bReportToParent) {
      cCharacter* parent = attacker.m_pParent;
      TriggerFlows(victimKind, parent, 0);
      // The victim's flows may have cleared the link.
      if (attacker.m_pParent == parent) parent->TriggerFlows(ownerKind, this, attacker.m_byParentFlowGroup);
    } else {
      TriggerFlows(victimKind, &attacker, 0);
    }
  };
  if (d.ContactPower() != 0) raise(kTriggerDamaged, kTriggerAttackDamaged);
  if (d.KnockbackStrength() != 0) raise(kTriggerKnockedBack, kTriggerAttackKnockedBack);
}

void cCharacter::RaiseAttackHitTriggers(cShot& attack) {
  const cEdShot& d = attack.m_Definition;
  auto raise = [&](int32_t victimKind, int32_t ownerKind) {
    TriggerFlows(victimKind, attack.m_pOwner, 0);
    if (attack.m_pOwner && d.ReportToOwner()) attack.m_pOwner->TriggerFlows(ownerKind, this, attack.m_nFlowGroup);
  };
  if (d.Power() != 0) raise(kTriggerDamaged, kTriggerAttackDamaged);
  if (d.Impact() != 0) raise(kTriggerKnockedBack, kTriggerAttackKnockedBack);
}

int cCharacter::Defeat() {
  TriggerFlowsOfKind(kTriggerDied);
  {
    // The death flows step once. A defeat can come from inside another
    // character's flows (a command that kills): their current-object slots
    // are put back afterwards.
    cStageScene* scene = CurrentStageScene();
    cCharacter* character = scene ? scene->CurrentCharacter : nullptr;
    cFlowState* flow = scene ? scene->CurrentFlow : nullptr;
    cCmdState* command = scene ? scene->CurrentCommand : nullptr;
    Frame(1);
    if (scene && character != this) {
      scene->CurrentCharacter = character;
      scene->CurrentFlow = flow;
      scene->CurrentCommand = command;
    }
  }
  SaveData.m_nScore =
      static_cast<int32_t>(std::clamp<int64_t>(int64_t{SaveData.m_nScore} + Definition().DefeatScore(), 0, kDamageMax));
  cStageScene* scene = CurrentStageScene();
  int itemResult = 0;
  cStageItem* item = GetOwnItem();
  if (scene && item && scene->HasHero())
    itemResult = scene->RunReactionRecord(&item->m_Definition, scene->Hero(), item->IsHeld() ? 1 : 0);
  if ((scene == nullptr || scene->m_nEndRequest != kEndClear) && itemResult != 1) {
    ClearTargetLinks();
    m_bDying = 1;
    m_nDefeatCounter = 0;
    if (Definition().DeathEffect() != 0)
      m_Effect.Start(Definition().DeathEffect(), Definition().DeathEffectSource(), 0);
    else
      m_Effect.bLoop = 0;  // a looping effect would hold the defeat display for ever
    return 0;
  }
  return 1;
}

void cCharacter::RemoveAnimeRuns(int32_t flow) {
  m_AnimeRuns.remove_if([flow](const cAnimeRun& run) { return run.flow == flow; });
}

void cCharacter::HoldAnimeRuns(int32_t flow) {
  for (auto it = m_AnimeRuns.begin(); it != m_AnimeRuns.end();) {
    if (it->flow != flow) {
      ++it;
      continue;
    }
    if (int64_t{it->remaining} + it->extra - 1 < 0) {
      it = m_AnimeRuns.erase(it);
    } else {
      it->held = 1;
      ++it;
    }
  }
}

void cCharacter::ReleaseAnimeRuns(int32_t flow) {
  for (cAnimeRun& run : m_AnimeRuns)
    if (run.flow == flow) run.held = 0;
}
