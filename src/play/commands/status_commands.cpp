// Stage play's side of the status operation and of arrange: the executors
// of both command families, and what the stage adds when a status operation
// changes a character or a game value (HP and SP through the character's
// own rules, derived speeds and sight, forced scroll, the life check).
#include <algorithm>

#include "data/flow.h"
#include "flow/flow_host.h"
#include "flow/flow_state.h"
#include "flow/status_ops.h"
#include "play/commands/commands.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/character.h"
#include "play/objects/hero.h"
#include "play/world/stage_scene.h"

int32_t ExecuteStatusOperation(cCharacter& character, const cEdCmd& command) {
  if (cFlowHost* host = FlowHost()) RunStatusOperation(*host, &character, command);
  return 0;
}

// A flow command queues on the flow that runs it (nothing when none runs);
// an item command on the first hero, whether or not a flow runs.
int32_t ExecuteArrange(cCharacter& /*character*/, const cEdCmd& command) {
  cArrangeEntry entry = MakeArrangeEntry(command);
  if (command.IsItemCommand()) {
    cFlowHost* host = FlowHost();
    if (cArrangeList* list = host ? host->HeroArranges() : nullptr) list->push_back(entry);
  } else if (cFlowState* flow = CurrentFlow()) {
    flow->m_PendingArranges.push_back(entry);
  }
  return 0;
}

void cHero::ApplyOwnArranges(cEdCmd& command) {
  cFlowHost* host = FlowHost();
  if (!host || m_PendingArranges.empty()) return;
  ApplyArrangeList(command, &m_PendingArranges, HostArrangeOperands(*host, this));
}

// ---------------------------------------------------------------------------
// The stage's side of the host's status entries.

namespace {

cCharacter* AsCharacter(cFlowActor* actor) { return ActorCharacter(actor); }

}  // namespace

void cStageFlowHost::ChangeHpSp(cFlowActor* actor, int32_t field, int32_t delta, int32_t gauge) {
  cCharacter* character = AsCharacter(actor);
  if (!character) return;
  if (field == kStatusHp) character->ChangeHp(delta, 0, gauge);
  else if (field == kStatusSp) character->ChangeSp(delta, gauge);
}

// Invincible by its kind (the definition's choice) or for the time after a
// hit.
bool cStageFlowHost::IsInvincible(cFlowActor* actor) {
  cCharacter* character = AsCharacter(actor);
  return character && (character->Definition().Invincibility() != 0 || character->IsInvincible());
}

void cStageFlowHost::RequestLifeCheck() {
  if (cStageScene* scene = CurrentStageScene()) scene->m_bLifeCheck = 1;
}

// The host's own write keeps the sight in dots and the stopping speed up to
// date; the hero's sight mask is the stage's.
void cStageFlowHost::StatusWritten(cFlowActor* actor, int32_t field) {
  cStageScene* scene = CurrentStageScene();
  if (field != kStatusSight || !scene || !scene->HasHero()) return;
  if (static_cast<cCharacter*>(&scene->Hero()) == AsCharacter(actor)) scene->BuildHeroSightMask();
}

void cStageFlowHost::GameValueWritten(int32_t field) {
  cStageScene* scene = CurrentStageScene();
  if (!scene || (field != kGameScrollX && field != kGameScrollY)) return;
  const double frameScale = StageData.Dbl(kStageFrameScale);
  if (field == kGameScrollX) scene->m_ScrollX.Start(StageData.Int(kStageForcedScrollXOn), GameValue(field), frameScale);
  else scene->m_ScrollY.Start(StageData.Int(kStageForcedScrollYOn), GameValue(field), frameScale);
}

cArrangeList* cStageFlowHost::HeroArranges() {
  cStageScene* scene = CurrentStageScene();
  return scene && scene->HasHero() ? &scene->Hero().m_PendingArranges : nullptr;
}
