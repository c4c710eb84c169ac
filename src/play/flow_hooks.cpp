#include "play/flow_hooks.h"

void cFlowHooks::SetFlows(cCharacter&) {}
void cFlowHooks::TriggerFlowsOfKind(cCharacter&, int32_t) {}
void cFlowHooks::PreStep(cCharacter&) {}
int cFlowHooks::StepFlows(cCharacter&, int32_t) { return 0; }
void cFlowHooks::ApplyRemoveRequests(cCharacter&) {}
void cFlowHooks::ClearFlowFrameFlags(cCharacter&) {}
void cFlowHooks::RunPendingCommands(cHero&) {}
bool cFlowHooks::CheckConditionList(const std::vector<cCond>&, int32_t, cCharacter*) { return true; }
int cFlowHooks::RunItemCommand(cHero&, const cEdCmd&) { return 0; }
void cFlowHooks::StopCommand(cCmdState*) {}

namespace {
cFlowHooks g_DefaultHooks;
cFlowHooks* g_pHooks = &g_DefaultHooks;
}  // namespace

cFlowHooks& FlowHooks() { return *g_pHooks; }
void SetFlowHooks(cFlowHooks* hooks) { g_pHooks = hooks ? hooks : &g_DefaultHooks; }
