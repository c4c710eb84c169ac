#include "play/commands/flow_host_impl.h"

#include <algorithm>
#include <cmath>

#include "base/errors.h"
#include "base/logs.h"
#include "base/safe_containers.h"
#include "data/system_data.h"
#include "play/commands/commands.h"
#include "play/objects/character.h"
#include "play/objects/hero.h"
#include "play/world/stage_object.h"
#include "play/world/stage_scene.h"
#include "play/world/system_switches.h"
#include "scene/input.h"
#include "scene/play_record.h"
#include "scene/replay_recorder.h"

cFlowSwitches g_FlowSwitches;

std::unique_ptr<cCharacterFlows> cCharacterFlowSet::Clone() const {
  return std::make_unique<cCharacterFlowSet>(flows);
}

cActorFlows* FindFlowsOfCharacter(cCharacter& character) {
  return character.m_pFlows ? character.m_pFlows->ActorFlows() : nullptr;
}

cActorFlows& FlowsOfCharacter(cCharacter& character) {
  if (cActorFlows* flows = FindFlowsOfCharacter(character)) return *flows;
  character.m_pFlows = std::make_unique<cCharacterFlowSet>();
  return static_cast<cCharacterFlowSet&>(*character.m_pFlows).flows;
}

namespace {

// A variable vector read through the checked access: a bad number is
// reported (and ends the game, as every bad index does) and element 0 used.
int32_t* VariableAt(std::vector<int32_t>& values, int32_t n) {
  if (n >= 0 && static_cast<size_t>(n) < values.size()) return &values[static_cast<size_t>(n)];
  ReportBadIndex('V', n, static_cast<int>(values.size()), 4);
  return values.empty() ? nullptr : &values[0];
}

int32_t ReadVariable(std::vector<int32_t>& values, int32_t n) {
  const int32_t* v = VariableAt(values, n);
  return v ? *v : 0;
}

void WriteVariable(std::vector<int32_t>& values, int32_t n, int32_t value) {
  if (int32_t* v = VariableAt(values, n)) *v = std::clamp(value, -999999, 999999);
}

std::vector<int32_t> g_NoStageVariables;

// A scroll speed as entered (tenths of a dot a frame) from its step.
int32_t ScrollSpeedOf(const cAutoScroll& scroll) {
  const double scale = StageFrameScale() != 0.0 ? StageFrameScale() : 1.0;
  const double speed = std::round(scroll.step * scale * 10.0);
  return static_cast<int32_t>(std::clamp(speed, -2147483648.0, 2147483647.0));
}

}  // namespace

// ---------------------------------------------------------------------------
// Current objects

cCurrentObjects cStageFlowHost::Current() const {
  if (cStageScene* scene = CurrentStageScene())
    return {scene->CurrentCharacter, scene->CurrentFlow, scene->CurrentCommand};
  return m_Detached;
}

void cStageFlowHost::SetCurrent(const cCurrentObjects& slots) {
  if (cStageScene* scene = CurrentStageScene()) {
    scene->CurrentCharacter = ActorCharacter(slots.character);
    scene->CurrentFlow = slots.flow;
    scene->CurrentCommand = slots.command;
    return;
  }
  m_Detached = slots;
}

void cStageFlowHost::SetCurrentCharacterSlot(cFlowActor* actor) {
  if (cStageScene* scene = CurrentStageScene())
    scene->CurrentCharacter = ActorCharacter(actor);
  else
    m_Detached.character = actor;
}

void cStageFlowHost::SetCurrentFlowSlot(cFlowState* flow) {
  if (cStageScene* scene = CurrentStageScene())
    scene->CurrentFlow = flow;
  else
    m_Detached.flow = flow;
}

void cStageFlowHost::SetCurrentCommandSlot(cCmdState* command) {
  if (cStageScene* scene = CurrentStageScene())
    scene->CurrentCommand = command;
  else
    m_Detached.command = command;
}

// ---------------------------------------------------------------------------
// Actors

cActorFlows* cStageFlowHost::FlowsOf(cFlowActor* actor) {
  return actor ? FindFlowsOfCharacter(*ActorCharacter(actor)) : nullptr;
}

cFlowActor* cStageFlowHost::Hero() { return FirstHero(); }

cFlowActor* cStageFlowHost::Target(cFlowActor* actor, int32_t slot) {
  cCharacter* c = ActorCharacter(actor);
  return c ? c->TargetInSlot(slot) : nullptr;
}

void cStageFlowHost::SetTarget(cFlowActor* actor, int32_t slot, cFlowActor* other) {
  cCharacter* c = ActorCharacter(actor);
  if (!c || slot < 0 || slot >= kTargetSlotCount) return;
  if (c->m_Targets.size() < kTargetSlotCount) c->m_Targets.resize(kTargetSlotCount, nullptr);
  cCharacter* target = ActorCharacter(other);
  if (target == c) target = nullptr;
  cCharacter*& word = c->m_Targets[static_cast<size_t>(slot)];
  if (word == target) return;
  // The old target no longer names this holder; the new one does, so that
  // its going clears the slot.
  if (word) {
    auto& list = word->m_TargetedBy;
    list.erase(std::remove(list.begin(), list.end(), cTargetedBy{c, slot}), list.end());
  }
  word = target;
  if (target) {
    auto& list = target->m_TargetedBy;
    if (std::find(list.begin(), list.end(), cTargetedBy{c, slot}) == list.end()) list.push_back({c, slot});
  }
}

int32_t cStageFlowHost::ObjectKind(cFlowActor* actor) {
  cCharacter* c = ActorCharacter(actor);
  return c ? c->m_nKind : -1;
}

int32_t cStageFlowHost::PlayerNumber(cFlowActor* actor) {
  cCharacter* c = ActorCharacter(actor);
  return c ? c->Definition().PlayerNumber() : 0;
}

int32_t cStageFlowHost::InstanceNumber(cFlowActor* actor) {
  cCharacter* c = ActorCharacter(actor);
  return c ? c->m_wInstance : 0;
}

bool cStageFlowHost::IsRemoved(cFlowActor* actor) {
  cCharacter* c = ActorCharacter(actor);
  return !c || c->m_bRemoved != 0;
}

bool cStageFlowHost::IsDying(cFlowActor* actor) {
  cCharacter* c = ActorCharacter(actor);
  return !c || c->m_bDying != 0;
}

bool cStageFlowHost::Facing(cFlowActor* actor, int32_t& facing) {
  cCharacter* c = ActorCharacter(actor);
  if (!c) return false;
  facing = c->m_nFacing;
  return true;
}

bool cStageFlowHost::StandsOnBlock(cFlowActor* actor) {
  cCharacter* c = ActorCharacter(actor);
  if (!c || c->m_bFreeVertical != 0) return false;
  return c->m_nCarriedById != 0 || (c->m_bAirborne == 0 && c->m_bJump1 == 0);
}

bool cStageFlowHost::IsOnScreen(cFlowActor* actor) {
  cCharacter* c = ActorCharacter(actor);
  if (!c) return false;
  // The hero is tested now; other characters by the flag the frame keeps.
  return c->m_nKind == 0 ? c->IsOnScreen() : c->m_bOnScreen != 0;
}

// ---------------------------------------------------------------------------
// Statuses

// Where each status field lives: the character's own HP and SP, its
// variables, and the bytes and words of its definition copy. The character
// id is the definition's group byte, the emblem its 16-bit object value.
int32_t cStageFlowHost::ReadStatus(cFlowActor* actor, int32_t field, int32_t number) {
  cCharacter* c = ActorCharacter(actor);
  if (!c) return 0;
  const cEdCharacter& d = c->Definition();
  switch (field) {
    case kStatusVariable: return CharacterVariable(actor, number);
    case kStatusHp: return c->m_nHp;
    case kStatusSp: return c->m_nSp;
    case kStatusMaxHp: return d.MaxHp();
    case kStatusMaxSp: return d.MaxSp();
    case kStatusCharacterId: return d.GroupByte();
    case kStatusLayer: return d.DrawLayer();
    case kStatusEmblem: return d.ObjectValue();
    case kStatusSight: return d.Sight();
    case kStatusBodyPower: return d.ContactPower();
    case kStatusBodyImpact: return d.KnockbackStrength();
    case kStatusDefence: return d.Defence();
    case kStatusImpactResistance: return d.KnockbackResistance();
    case kStatusStoppingEase:
      // Reading it brings the derived stopping speed up to date.
      c->m_dDeceleration = ConvertSpeed(static_cast<int16_t>(d.DecelerationSpeed()));
      return d.DecelerationSpeed();
    case kStatusScore: return d.DefeatScore();
    default: return 0;
  }
}

void cStageFlowHost::WriteStatus(cFlowActor* actor, int32_t field, int32_t number, int32_t value) {
  cCharacter* c = ActorCharacter(actor);
  if (!c) return;
  cEdCharacter& d = c->Definition();
  switch (field) {
    case kStatusVariable: SetCharacterVariable(actor, number, value); break;
    case kStatusHp: c->m_nHp = value; break;
    case kStatusSp: c->m_nSp = value; break;
    case kStatusMaxHp: d.m_nParam40 = value; break;
    case kStatusMaxSp: d.m_nParam41 = value; break;
    case kStatusCharacterId: d.m_nParam50 = static_cast<uint8_t>(value); break;
    case kStatusLayer: d.m_nParam18 = static_cast<uint8_t>(value); break;
    case kStatusEmblem: d.m_nParam16 = static_cast<uint16_t>(value); break;
    case kStatusSight:
      d.m_nParam39 = static_cast<uint8_t>(value);
      c->m_nSight = HblToDots(static_cast<int8_t>(d.Sight()));
      break;
    case kStatusBodyPower: d.m_nParam44 = value; break;
    case kStatusBodyImpact: d.m_nParam45 = static_cast<uint8_t>(value); break;
    case kStatusDefence: d.m_nParam47 = value; break;
    case kStatusImpactResistance: d.m_nParam48 = static_cast<uint8_t>(value); break;
    case kStatusStoppingEase:
      d.m_nParam42 = static_cast<int16_t>(value);
      c->m_dDeceleration = ConvertSpeed(d.m_nParam42);
      break;
    case kStatusScore: d.m_nParam49 = value; break;
    default: break;
  }
}

int32_t cStageFlowHost::GameValue(int32_t field) {
  cStageScene* scene = CurrentStageScene();
  switch (field) {
    case kGameTime: return scene ? scene->m_nTimeLeft : 0;
    case kGameScrollX: return scene ? ScrollSpeedOf(scene->m_ScrollX) : 0;
    case kGameScrollY: return scene ? ScrollSpeedOf(scene->m_ScrollY) : 0;
    case kGameScore: return SaveData.m_nScore;
    case kGameLives: return SaveData.m_nLives;
    default: return 0;
  }
}

bool cStageFlowHost::HasTimeLimit() {
  cStageScene* scene = CurrentStageScene();
  return scene && !scene->m_bTimeLimitOff;
}

void cStageFlowHost::SetGameValue(int32_t field, int32_t value) {
  cStageScene* scene = CurrentStageScene();
  const double scale = StageFrameScale() != 0.0 ? StageFrameScale() : 1.0;
  switch (field) {
    case kGameTime:
      if (scene) scene->m_nTimeLeft = value;
      break;
    case kGameScrollX:
      if (scene) scene->m_ScrollX.step = value * 0.1 / scale;
      break;
    case kGameScrollY:
      if (scene) scene->m_ScrollY.step = value * 0.1 / scale;
      break;
    case kGameScore: SaveData.m_nScore = value; break;
    case kGameLives: SaveData.m_nLives = value; break;
    default: break;
  }
}

// Status condition 2 reads bytes of the definition copy: 1 transparent,
// 2 fixed facing, 3 flying, 4 invincibility, 5 scale, 6 follows the scroll.
// The stage's two values are its two forced-scroll switches.
bool cStageFlowHost::StatusValue2(cFlowActor* actor, int32_t field, int32_t& value) {
  if (!actor) {
    cStageScene* scene = CurrentStageScene();
    if (!scene || field < 0 || field > 1) return false;
    value = field == 0 ? scene->m_ScrollX.m_bActive : scene->m_ScrollY.m_bActive;
    return true;
  }
  const cEdCharacter& d = ActorCharacter(actor)->Definition();
  switch (field) {
    case 1: value = d.Transparent(); return true;
    case 2: value = d.FixedFacing(); return true;
    case 3: value = d.FreeVertical(); return true;
    case 4: value = d.Invincibility(); return true;
    case 5: value = d.Scale(); return true;
    case 6: value = d.FollowsScroll(); return true;
    default: return false;
  }
}

bool DistanceRelationReach(const cCharacter& self, int32_t relation, int32_t distance, cDistanceReach& out) {
  const bool facingRight = self.m_nFacing != 0;
  out = cDistanceReach{};
  switch (relation) {
    case 0:
    case 3:
      // Both sides, from the judge's edges.
      out.vertical = relation == 3;
      out.centred = true;
      out.low = out.high = distance;
      return true;
    case 1:
    case 2: {
      // In front (1) or behind (2): one side from the judge's centre.
      const bool right = (relation == 1) == facingRight;
      out.low = right ? 0 : distance;
      out.high = right ? distance : 0;
      return true;
    }
    case 4:
    case 5: {
      // Kind 4: above while facing left, below while facing right; kind 5
      // the reverse.
      const bool below = (relation == 4) == facingRight;
      out.vertical = true;
      out.low = below ? 0 : distance;
      out.high = below ? distance : 0;
      return true;
    }
    default:
      return false;
  }
}

// A distance condition (the numbers by the record's accessors): the relation
// of this character to the other object, the first hero or a target slot.
bool cStageFlowHost::EvaluateDistanceCondition(cFlowActor* actor, const cCond& condition) {
  cCharacter* self = ActorCharacter(actor);
  if (!self) return false;
  cCharacter* other = nullptr;
  const int32_t target = condition.DistanceTarget();
  if (target == 0) {
    other = FirstHero();
  } else if (target >= 1 && target <= 4) {
    other = ActorCharacter(Target(actor, target - 1));
  }
  if (!other) return false;
  const int32_t d = condition.Distance();
  self->UpdateScreenRect();
  // Replays of data version 781 and older were recorded with one refresh.
  const int32_t replay = ReplayPlaybackVersion();
  if (!Switches().singleScreenRectRefresh && !(replay != 0 && replay <= 781)) other->UpdateScreenRect();
  bool result = false;
  const cScreenRect& me = self->m_rcScreen;
  const cScreenRect& it = other->m_rcScreen;
  cDistanceReach reach;
  if (DistanceRelationReach(*self, condition.DistanceRelation(), d, reach)) {
    if (reach.vertical)
      result = self->OverlapsOnAxis(me.top, self->m_nDrawHeight, it.top, it.bottom, other->m_nMarginY, reach.low,
                                    reach.high, reach.centred, true, other);
    else
      result = self->OverlapsOnAxis(me.left, self->m_nDrawWidth, it.left, it.right, other->m_nMarginX, reach.low,
                                    reach.high, reach.centred, false, other);
  } else if (condition.DistanceRelation() == 6) {
    const double dx = (self->m_dX + self->m_nWidth / 2.0) - (other->m_dX + other->m_nWidth / 2.0);
    const double dy = (self->m_dY + self->m_nHeight / 2.0) - (other->m_dY + other->m_nHeight / 2.0);
    result = std::sqrt(dx * dx + dy * dy) <= d;
  } else {
    return false;
  }
  return condition.DistanceOutside() ? !result : result;
}

// ---------------------------------------------------------------------------
// Variables

int32_t cStageFlowHost::CommonVariable(int32_t n) { return ReadVariable(SaveData.m_CommonVariables, n); }
void cStageFlowHost::SetCommonVariable(int32_t n, int32_t value) {
  WriteVariable(SaveData.m_CommonVariables, n, value);
}

int32_t cStageFlowHost::StageVariable(int32_t n) {
  cStageScene* scene = CurrentStageScene();
  return ReadVariable(scene ? scene->m_StageVariables : g_NoStageVariables, n);
}
void cStageFlowHost::SetStageVariable(int32_t n, int32_t value) {
  cStageScene* scene = CurrentStageScene();
  WriteVariable(scene ? scene->m_StageVariables : g_NoStageVariables, n, value);
}

// Character variables v1..v8 are numbers 0..7 of the character's status
// words.
int32_t cStageFlowHost::CharacterVariable(cFlowActor* actor, int32_t n) {
  cCharacter* c = ActorCharacter(actor);
  return c ? ReadVariable(c->m_Status, n) : 0;
}
void cStageFlowHost::SetCharacterVariable(cFlowActor* actor, int32_t n, int32_t value) {
  if (cCharacter* c = ActorCharacter(actor)) WriteVariable(c->m_Status, n, value);
}

// ---------------------------------------------------------------------------
// Input

const cInput* cStageFlowHost::Input(int32_t player) {
  if (InputRecords.empty()) return nullptr;
  if (player < 0 || static_cast<size_t>(player) >= InputRecords.size()) player = 0;
  return &InputRecords[static_cast<size_t>(player)];
}

// ---------------------------------------------------------------------------
// Commands

void cStageFlowHost::ExecuteCommand(cFlowActor* actor, cCmdState& state) {
  if (cCharacter* c = ActorCharacter(actor)) ::ExecuteCommand(*c, state);
}

void cStageFlowHost::PrepareCommand(cFlowActor* actor, cCmdState& state) {
  if (cCharacter* c = ActorCharacter(actor)) PrepareCommandState(*c, state);
}

void cStageFlowHost::BuildTimeline(cFlowActor* actor, cFlowState& flow) {
  if (cCharacter* c = ActorCharacter(actor)) BuildAnimeTimeline(*c, flow);
}

void cStageFlowHost::FlowListChanged(cFlowActor* actor, const std::vector<const cEdFlow*>& flows) {
  cCharacter* c = ActorCharacter(actor);
  if (c == nullptr) return;
  std::vector<cEdFlow> list;
  list.reserve(flows.size());
  for (const cEdFlow* flow : flows) list.push_back(*flow);
  c->Definition().m_vFlows = std::move(list);
  c->m_nShowsRanges = -1;
}

void cStageFlowHost::RemoveAnimeRuns(cFlowActor* actor, int32_t flowId) {
  cCharacter* c = ActorCharacter(actor);
  if (!c) return;
  if (flowId < 0)
    c->m_AnimeRuns.clear();
  else
    c->RemoveAnimeRuns(flowId);
}

void cStageFlowHost::QueueHeroCommand(const cEdCmd& command) {
  if (cStageScene* scene = CurrentStageScene(); scene && scene->HasHero())
    scene->Hero().m_PendingCommands.push_back(command);
}

int32_t cStageFlowHost::SubStepsPerFrame() { return ::SubStepsPerFrame(); }

double cStageFlowHost::FrameScale() { return StageFrameScaleOrOne(); }

// The trigger and position-condition switches come from the system data as
// it is now; the others keep what stage set-up or a test put there.
const cFlowSwitches& cStageFlowHost::Switches() {
  g_FlowSwitches.triggerNoFrameGuard = ProjectRule(kRuleTriggerNoFrameGuard);
  g_FlowSwitches.triggerGuardFirst = ProjectRule(kRuleTriggerGuardFirst);
  g_FlowSwitches.triggerGuardBeforeConditions = ProjectRule(kRuleTriggerGuardBeforeConditions);
  g_FlowSwitches.singleScreenRectRefresh = ProjectRule(kRulePositionRefresh);
  return g_FlowSwitches;
}

// ---------------------------------------------------------------------------
// Sound and reports

void cStageFlowHost::RequestSoundEffect(int32_t n) { ::RequestSoundEffect(n); }
void cStageFlowHost::RequestSoundEffectById(int32_t id) { ::RequestSoundEffectById(id); }
void cStageFlowHost::ShowDebugError(const std::string& text) { ::ShowDebugError("%s", text.c_str()); }

void cStageFlowHost::StartGauge(cFlowActor* actor, int32_t field, int32_t delta) {
  cCharacter* c = ActorCharacter(actor);
  if (!c) return;
  if (field == kStatusHp) c->StartHpGauge(delta);
  else if (field == kStatusSp) c->StartSpGauge(delta);
}

void cStageFlowHost::ShowError(const std::string& text) { WriteReportAndShowError("%s", text.c_str()); }
