// Triggers: an event raised on a character starts every flow of that event's
// kind that is idle and whose conditions and key sequences hold.
#include <cstdint>

#include "flow/conditions.h"
#include "data/labels.h"
#include "flow/flow_state.h"

namespace {

// The input record whose held direction a started flow remembers: a hero's
// own player, player 0 for every other character.
int32_t HeldDirectionAtStart(cFlowHost& host, cFlowActor* self) {
  const int32_t player = host.ObjectKind(self) == 0 ? host.PlayerNumber(self) : 0;
  const cInput* input = host.Input(player);
  return input ? FirstHeldDirection(*input) : 0;
}

}  // namespace

void cActorFlows::TriggerFlows(cFlowActor* self, int32_t kind, cFlowActor* other, int32_t group) {
  cFlowHost* host = FlowHost();
  if (!host || !self) return;
  // Most events have no flow on most characters: nothing to start.
  if (!HasTrigger(kind)) return;
  // A trigger raised while a flow runs (a hit or a defeat caused by an
  // executor) leaves that flow's slots as they were when it returns.
  cCurrentObjectsGuard guard;
  SetCurrentObjects({self, nullptr, nullptr});
  ++m_nDepth;
  const cFlowSwitches switches = host->Switches();
  const bool guardFirst = switches.triggerNoFrameGuard == 0 && switches.triggerGuardFirst != 0;
  const bool guardLater = switches.triggerNoFrameGuard == 0 && switches.triggerGuardFirst == 0;
  const bool guardBeforeConditions = guardLater && switches.triggerGuardBeforeConditions != 0;
  // Flows may be added or removed by what a start runs: the size is read
  // again on every pass, and a state removed meanwhile stays alive.
  for (size_t i = 0; i < m_Flows.size(); ++i) {
    // The kinds are kept beside the list (rebuilt whenever it changes), so
    // flows of other kinds are passed over without being visited.
    if (i < m_FlowTriggers.size() ? m_FlowTriggers[i] != kind : m_Flows[i]->Trigger() != kind) continue;
    cFlowState* flow = m_Flows[i].get();
    const cEdFlow& definition = flow->Definition();
    if (guardFirst) {
      if (flow->TriggeredThisFrame()) continue;
      flow->MarkTriggered();
    }
    if (flow->m_bRunning || flow->m_bPaused || flow->m_bHalted || flow->StartedThisFrame()) continue;
    if (kind == kTriggerAlways) {
      const uint8_t n = flow->Exclusive();
      if (n != 0 && (m_ExclusiveBusy[n] || m_ExclusiveStarted[n])) continue;
    }
    if (group >= 1 && definition.m_nGroup != group) continue;
    if (guardLater) {
      if (flow->TriggeredThisFrame()) continue;
      if (guardBeforeConditions) flow->MarkTriggered();
    }
    // The target slot byte is signed; a slot outside 0..3 takes no target.
    const int32_t slot = static_cast<int8_t>(definition.m_nTargetSlot);
    if (definition.m_nTargetOther && other && slot >= 0 && slot < 4) {
      cFlowActor* old = host->Target(self, slot);
      host->SetTarget(self, slot, other);
      if (!CheckFlowConditions(*flow, self) || !CheckFlowKeyConditions(*this, *flow)) {
        host->SetTarget(self, slot, old);
        continue;
      }
    } else if (!CheckFlowConditions(*flow, self) || !CheckFlowKeyConditions(*this, *flow)) {
      continue;
    }
    if (!guardBeforeConditions) flow->MarkTriggered();
    flow->m_nInputDirection = HeldDirectionAtStart(*host, self);
    flow->Start(self);
  }
  --m_nDepth;
}
