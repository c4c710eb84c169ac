#include "base/prefetch.h"
#include "data/labels.h"
#include "flow/flow_state.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <numeric>
#include <string>

namespace {

cFlowHost* g_pFlowHost = nullptr;

int32_t ClampToInt32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// A double held to the 32-bit range and truncated toward zero (NaN: 0).
int32_t TruncateToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

// A message command that waits for the player (not closing, shown in the
// waiting display mode): the flow's message-wait flag follows these.
bool IsWaitingMessage(const cEdCmd& command) {
  return command.m_nFamily == 0 && command.m_nKind == kCmdMessage && command.Word(15) == 0 &&
         command.Word(6) == 0;
}

bool IsLoopCommand(const cEdCmd& command) {
  return (command.m_nFamily == 0 && command.m_nKind == kCmdLoop) ||
         (command.m_nFamily == 1 && command.m_nKind == kItemKindLoop);
}

// Kind as the file stores it: a signed byte (a negative kind does nothing).
int32_t SignedKind(const cEdCmd& command) { return static_cast<int8_t>(command.m_nKind); }

}  // namespace

cFlowHost* FlowHost() { return g_pFlowHost; }
void SetFlowHost(cFlowHost* host) { g_pFlowHost = host; }

// ---------------------------------------------------------------------------
// Current-object slots

cCurrentObjects CurrentObjects() { return g_pFlowHost ? g_pFlowHost->Current() : cCurrentObjects{}; }
cFlowActor* CurrentCharacter() { return CurrentObjects().character; }
cFlowState* CurrentFlow() { return CurrentObjects().flow; }
cCmdState* CurrentCommand() { return CurrentObjects().command; }

void SetCurrentObjects(const cCurrentObjects& slots) {
  if (g_pFlowHost) g_pFlowHost->SetCurrent(slots);
}
void SetCurrentCharacter(cFlowActor* actor) {
  if (g_pFlowHost) g_pFlowHost->SetCurrentCharacterSlot(actor);
}
void SetCurrentFlow(cFlowState* flow) {
  if (g_pFlowHost) g_pFlowHost->SetCurrentFlowSlot(flow);
}
void SetCurrentCommand(cCmdState* command) {
  if (g_pFlowHost) g_pFlowHost->SetCurrentCommandSlot(command);
}

// ---------------------------------------------------------------------------
// cCmdState

cCmdState::cCmdState(const cCmdState& other) { *this = other; }

cCmdState& cCmdState::operator=(const cCmdState& other) {
  if (this == &other) return *this;
  m_pCommand = other.m_pCommand;
  m_bFinished = other.m_bFinished;
  m_nDuration = other.m_nDuration;
  m_nRemaining = other.m_nRemaining;
  m_dSpeed = other.m_dSpeed;
  m_dSpeed2 = other.m_dSpeed2;
  m_nPeriod = other.m_nPeriod;
  m_bStarted = other.m_bStarted;
  m_nWork = other.m_nWork;
  m_pWork = other.m_pWork ? other.m_pWork->Clone() : nullptr;
  return *this;
}

void cCmdState::Restart() {
  m_nRemaining = m_nDuration;
  m_bFinished = 0;
  m_nPeriod = 0;
  m_bStarted = 0;
  m_nWork.fill(0);
  if (m_pWork) m_pWork->Restart();
  if (!m_pCommand || ArrangeKindOf(*m_pCommand) == kCmdArrange) return;
  // The entries queued by arrange commands change this command, then go.
  if (cFlowState* flow = CurrentFlow(); flow && !flow->m_PendingArranges.empty()) {
    if (cEdCmd* command = flow->CommandToChange(*this)) ApplyPendingArranges(*command, flow->m_PendingArranges);
    flow->m_PendingArranges.clear();
  }
}

int cCmdState::RunFrame() {
  SetCurrentCommand(this);
  if (cFlowHost* host = FlowHost()) host->ExecuteCommand(CurrentCharacter(), *this);
  // A negative duration counts as one sub-step; never below INT32_MIN.
  if (m_nRemaining > 1) {
    --m_nRemaining;
    return 0;
  }
  m_nRemaining = 0;
  return 1;
}

// ---------------------------------------------------------------------------
// cFlowState

cFlowState::cFlowState() = default;
cFlowState::~cFlowState() = default;

cFlowState::cFlowState(const cFlowState& other)
    : m_Commands(other.m_Commands),
      m_Timeline(other.m_Timeline),
      m_pDefinition(other.m_pDefinition),
      m_pOwner(other.m_pOwner),
      m_nTriggerKind(other.m_nTriggerKind),
      m_nExclusiveNumber(other.m_nExclusiveNumber),
      m_bRunning(other.m_bRunning),
      m_bPaused(other.m_bPaused),
      m_bHalted(other.m_bHalted),
      m_nFurthest(other.m_nFurthest),
      m_nFrameCounter(other.m_nFrameCounter),
      m_nTriggeredStamp(other.m_nTriggeredStamp),
      m_nStartedStamp(other.m_nStartedStamp),
      m_bMessageWait(other.m_bMessageWait),
      m_bAbort(other.m_bAbort),
      m_bRemovalRequest(other.m_bRemovalRequest),
      m_PendingArranges(other.m_PendingArranges),
      m_nIndex(other.m_nIndex),
      m_nFlowId(other.m_nFlowId),
      m_pDefinitionHolder(other.m_pDefinitionHolder),
      m_bConditionsMetOnce(other.m_bConditionsMetOnce),
      m_Keys(other.m_Keys),
      m_bMatchedLastFrame(other.m_bMatchedLastFrame),
      m_bKeyConditionMet(other.m_bKeyConditionMet),
      m_nInputDirection(other.m_nInputDirection) {}

void cFlowState::SetDefinition(std::shared_ptr<cEdFlow> definition) {
  m_pDefinitionHolder = std::move(definition);
  m_pDefinition = m_pDefinitionHolder.get();
  m_nTriggerKind = m_pDefinition ? m_pDefinition->m_nTrigger : 0;
  m_nExclusiveNumber = m_pDefinition ? m_pDefinition->m_nExclusive : 0;
}

cEdCmd* cFlowState::CommandToChange(const cCmdState& state) {
  const std::less<const cCmdState*> before;
  if (m_Commands.empty() || before(&state, m_Commands.data()) || !before(&state, m_Commands.data() + m_Commands.size()))
    return nullptr;
  const size_t k = static_cast<size_t>(&state - m_Commands.data());
  if (!m_pDefinitionHolder || k >= m_pDefinitionHolder->m_vCmds.size()) return nullptr;
  if (SharesDefinition()) {
    // The others go on seeing the definition as it was; this state's
    // commands and keys move to its own copy (command i is record i).
    auto own = std::make_shared<cEdFlow>(*m_pDefinitionHolder);
    for (size_t i = 0; i < m_Commands.size() && i < own->m_vCmds.size(); ++i) m_Commands[i].m_pCommand = &own->m_vCmds[i];
    m_Keys.clear();
    for (const cFlowKey& key : own->m_vKeys) m_Keys.push_back(&key);
    m_pDefinitionHolder = std::move(own);
    m_pDefinition = m_pDefinitionHolder.get();
  }
  return &m_pDefinitionHolder->m_vCmds[k];
}

void cFlowState::Start(cFlowActor* owner) {
  // A flow that restarts itself from its own instant commands is left as
  // it is: the run under way goes on and stops it (no endless recursion).
  if (m_bRunningInstant) return;
  m_bRunning = 1;
  m_nFurthest = 0;
  m_nFrameCounter = 0;
  m_bMessageWait = 0;
  for (cCmdState& command : m_Commands) command.m_bFinished = 0;
  MarkStarted();
  // The exclusive flags are the owner's, whoever asked for the start.
  if (Trigger() == kTriggerAlways && Exclusive() != 0 && m_pOwner) {
    m_pOwner->m_ExclusiveBusy[Exclusive()] = 1;
    m_pOwner->m_ExclusiveStarted[Exclusive()] = 1;
    m_pOwner->m_bExclusiveStartedSummary = 1;
  }
  if (m_Commands.empty() || Trigger() != kTriggerBeforeStageStart) return;
  m_bRunningInstant = 1;
  {
    cCurrentObjectsGuard guard;
    SetCurrentObjects({owner, this, nullptr});
    m_bAbort = 0;
    for (m_nFurthest = 0; m_nFurthest >= 0 && m_nFurthest < static_cast<int32_t>(m_Commands.size());
         ++m_nFurthest) {
      cCmdState& command = m_Commands[static_cast<size_t>(m_nFurthest)];
      if (!command.m_pCommand || SignedKind(*command.m_pCommand) < kFirstInstantKind ||
          command.m_pCommand->m_nTogether != 1)
        continue;
      command.Restart();
      if (!command.RunFrame()) {
        if (cFlowHost* host = FlowHost()) host->ShowDebugError("使用時間0なので、ここにくることはあり得ないはず！");
      }
      if (m_bAbort) break;
      command.m_bFinished = 1;
    }
  }
  m_bRunningInstant = 0;
  Stop();
}

int cFlowState::Step() {
  SetCurrentFlow(this);
  m_bAbort = 0;
  const int32_t count = static_cast<int32_t>(m_Commands.size());
  if (m_nFurthest >= 0) {
    for (int32_t i = 0; i <= m_nFurthest && i < count; ++i) {
      cCmdState& command = m_Commands[static_cast<size_t>(i)];
      if (command.m_bFinished) continue;
      const bool together = command.m_pCommand && command.m_pCommand->m_nTogether == 1;
      const bool waiting = command.m_pCommand && IsWaitingMessage(*command.m_pCommand);
      if (command.m_nRemaining == 0) {
        command.Restart();
        if (!waiting && !together) m_bMessageWait = 0;
      }
      if (together) {
        if (command.RunFrame()) {
          command.m_bFinished = 1;
          if (i == count - 1) return 1;
        }
        if (i == m_nFurthest) ++m_nFurthest;  // the next command starts this sub-step
        if (m_bAbort) return 0;
        continue;
      }
      if (!command.RunFrame()) {
        if (m_bAbort) return 0;
        continue;
      }
      command.m_bFinished = 1;
      if (waiting) m_bMessageWait = 1;
      if (i == count - 1) return 1;
      ++m_nFurthest;
      break;
    }
  }
  // Only a command up to the furthest one started can have finished, so the
  // last command's own line is read only once the walk has reached it.
  if (count > 0 && m_nFurthest >= count - 1 && m_Commands.back().m_bFinished) return 1;
  if (m_nFrameCounter < std::numeric_limits<int32_t>::max()) ++m_nFrameCounter;
  return 0;
}

void cFlowState::Stop() {
  if (!m_bRunning) return;
  m_bRunning = 0;
  m_PendingArranges.clear();
  for (cCmdState& command : m_Commands) command.m_nRemaining = 0;
  if (Exclusive() != 0 && m_pOwner) {
    m_pOwner->m_ExclusiveEnded[Exclusive()] = 1;
    m_pOwner->m_bExclusiveEndedSummary = 1;
  }
}

void cFlowState::Halt() {
  m_bHalted = 1;
  if (!m_bRunning) return;
  for (cCmdState& command : m_Commands) command.m_nRemaining = 0;
  if (Exclusive() != 0 && m_pOwner) {
    m_pOwner->m_ExclusiveEnded[Exclusive()] = 1;
    m_pOwner->m_bExclusiveEndedSummary = 1;
  }
}

// ---------------------------------------------------------------------------
// cActorFlows

cActorFlows::cActorFlows(const cActorFlows& other)
    : m_FlowTriggers(other.m_FlowTriggers),
      m_TriggerKinds(other.m_TriggerKinds),
      m_bFrameFlagsSet(other.m_bFrameFlagsSet),
      m_nFrameEpoch(other.m_nFrameEpoch),
      m_bExclusiveEndedSummary(other.m_bExclusiveEndedSummary),
      m_bExclusiveStartedSummary(other.m_bExclusiveStartedSummary),
      m_nFlowCounter(other.m_nFlowCounter),
      m_bRemoveRequest(other.m_bRemoveRequest),
      m_ExclusiveBusy(other.m_ExclusiveBusy),
      m_ExclusiveEnded(other.m_ExclusiveEnded),
      m_ExclusiveStarted(other.m_ExclusiveStarted) {
  m_Flows.reserve(other.m_Flows.size());
  for (const auto& flow : other.m_Flows) {
    m_Flows.push_back(std::make_unique<cFlowState>(*flow));
    m_Flows.back()->m_pOwner = this;
  }
}

int32_t cActorFlows::IndexOf(const cFlowState* flow) const {
  for (size_t i = 0; i < m_Flows.size(); ++i)
    if (m_Flows[i].get() == flow) return static_cast<int32_t>(i);
  return -1;
}

void cActorFlows::SetFlows(cFlowActor* actor, const std::vector<cEdFlow>& flows, int32_t add, int32_t position,
                           int32_t keyMetAtStart) {
  SetFlows(actor, PrepareFlows(flows), add, position, keyMetAtStart);
}

void cActorFlows::SetFlows(cFlowActor* actor, const cPreparedFlows& flows, int32_t add, int32_t position,
                           int32_t keyMetAtStart) {
  cFlowHost* host = FlowHost();
  const int64_t subSteps = host ? std::max(1, host->SubStepsPerFrame()) : 1;
  const int64_t clone = host && actor ? host->InstanceNumber(actor) : 0;
  std::vector<std::unique_ptr<cFlowState>> built;
  built.reserve(flows.definitions.size());
  auto note = flows.notes.begin();
  for (size_t i = 0; i < flows.definitions.size(); ++i) {
    for (; note != flows.notes.end() && note->first == i; ++note)
      if (host) host->ShowDebugError(note->second);
    auto state = std::make_unique<cFlowState>();
    state->SetDefinition(flows.definitions[i]);
    state->m_pOwner = this;
    state->m_nFlowId = m_nFlowCounter;
    if (m_nFlowCounter < std::numeric_limits<int32_t>::max()) ++m_nFlowCounter;
    for (const cFlowKey& key : state->m_pDefinition->m_vKeys) state->m_Keys.push_back(&key);
    // Without the hold-match option a key sequence fires on the sub-step it
    // is first entered; flows added during play start as if it had been,
    // so that a key already held does not fire them at once.
    state->m_bKeyConditionMet = (keyMetAtStart && state->m_pDefinition->m_nKeyOption == 0) ? 1 : 0;
    state->m_Commands.resize(state->m_pDefinition->m_vCmds.size());
    for (size_t k = 0; k < state->m_Commands.size(); ++k) {
      cCmdState& command = state->m_Commands[k];
      const cEdCmd& record = state->m_pDefinition->m_vCmds[k];
      command.m_pCommand = &record;
      // Durations are entered in tenths of a second: x 6 frames x sub-steps.
      const int64_t tenths = int64_t{static_cast<int16_t>(record.m_nWord)} * clone +
                             static_cast<int16_t>(record.m_nDuration);
      command.m_nDuration = ClampToInt32(tenths * 6 * subSteps);
      if (host) host->PrepareCommand(actor, command);
    }
    if (host) host->BuildTimeline(actor, *state);
    built.push_back(std::move(state));
  }
  if (add == 0) {
    for (auto& old : m_Flows) {
      old->m_bAbort = 1;
      m_Retired.push_back(std::move(old));
    }
    m_Flows = std::move(built);
  } else {
    size_t at = m_Flows.size();
    if (position >= 0 && static_cast<size_t>(position) < m_Flows.size()) at = static_cast<size_t>(position);
    m_Flows.insert(m_Flows.begin() + static_cast<std::ptrdiff_t>(at), std::make_move_iterator(built.begin()),
                   std::make_move_iterator(built.end()));
  }
  Renumber();
  // Added flows join the character's definition too, in the same place.
  if (add != 0) NoteFlowListChanged(actor);
}

void cActorFlows::NoteFlowListChanged(cFlowActor* actor) const {
  cFlowHost* host = FlowHost();
  if (!host || !actor) return;
  std::vector<const cEdFlow*> definitions;
  definitions.reserve(m_Flows.size());
  for (const auto& flow : m_Flows) definitions.push_back(&flow->Definition());
  host->FlowListChanged(actor, definitions);
}

void cActorFlows::Renumber() {
  for (size_t i = 0; i < m_Flows.size(); ++i) m_Flows[i]->m_nIndex = static_cast<int32_t>(i);
  NoteTriggerKinds();
}

void cActorFlows::NoteTriggerKinds() {
  m_TriggerKinds.fill(0);
  m_FlowTriggers.resize(m_Flows.size());
  for (size_t i = 0; i < m_Flows.size(); ++i) {
    const uint8_t kind = static_cast<uint8_t>(m_Flows[i]->Trigger());
    m_FlowTriggers[i] = kind;
    m_TriggerKinds[kind >> 6] |= uint64_t{1} << (kind & 63);
  }
}

void cActorFlows::RemoveFlow(cFlowActor* actor, size_t i) {
  if (i >= m_Flows.size()) return;
  cFlowState& flow = *m_Flows[i];
  flow.Stop();
  flow.m_bAbort = 1;
  if (cFlowHost* host = FlowHost(); host && actor) host->RemoveAnimeRuns(actor, flow.m_nFlowId);
  // The state may be the one running now: it stays alive until the frame ends.
  m_Retired.push_back(std::move(m_Flows[i]));
  m_Flows.erase(m_Flows.begin() + static_cast<std::ptrdiff_t>(i));
  Renumber();
  NoteFlowListChanged(actor);  // its definition goes with it
}

int32_t cActorFlows::RemoveFlowGroup(cFlowActor* actor, int32_t group) {
  if (group == 0) {
    while (!m_Flows.empty()) {
      cFlowState& flow = *m_Flows.back();
      flow.Stop();
      flow.m_bAbort = 1;
      m_Retired.push_back(std::move(m_Flows.back()));
      m_Flows.pop_back();
    }
    NoteTriggerKinds();
    if (cFlowHost* host = FlowHost(); host && actor) host->RemoveAnimeRuns(actor, -1);
    NoteFlowListChanged(actor);
    return 0;
  }
  int32_t first = -1;
  for (size_t i = 0; i < m_Flows.size();) {
    if (m_Flows[i]->Definition().m_nGroup == group) {
      if (first < 0) first = static_cast<int32_t>(i);
      RemoveFlow(actor, i);
    } else {
      ++i;
    }
  }
  return first;
}

int cActorFlows::StepFlows(cFlowActor* self, int32_t deathMode) {
  cFlowHost* host = FlowHost();
  // The character's frame has made it current already; a trigger raised
  // by one of its commands puts it back before returning.
  SetCurrentCharacter(self);
  ++m_nDepth;
  for (size_t i = 0; i < m_Flows.size(); ++i) {
    cFlowState* flow = m_Flows[i].get();
    if (!flow->m_bRunning) continue;
    if (flow->m_Commands.empty()) {
      flow->Stop();
    } else if (!flow->m_bPaused && !flow->m_bHalted && (deathMode == 0 || flow->Trigger() == kTriggerDied)) {
      if (flow->Step() == 1) flow->Stop();
    }
    // A flow that removed its character, or took its last HP outside a
    // death flow, ends the character's frame at once.
    if (host && self &&
        (host->IsRemoved(self) ||
         (deathMode == 0 && flow->Trigger() != kTriggerDied && host->ReadStatus(self, kStatusHp, 0) < 1))) {
      --m_nDepth;
      return 1;
    }
  }
  --m_nDepth;
  if (m_bRemoveRequest) ApplyRemoveRequests(self);
  ReleaseEndedExclusives();
  if (m_nDepth == 0) m_Retired.clear();
  return 0;
}

void cActorFlows::ApplyRemoveRequests(cFlowActor* actor) {
  for (size_t i = 0; i < m_Flows.size();) {
    if (m_Flows[i]->m_bRemovalRequest)
      RemoveFlow(actor, i);
    else
      ++i;
  }
  m_bRemoveRequest = 0;
}

void cActorFlows::ReleaseEndedExclusives() {
  if (!m_bExclusiveEndedSummary) return;
  for (size_t n = 0; n < kExclusiveCount; ++n) {
    if (m_ExclusiveEnded[n]) {
      m_ExclusiveEnded[n] = 0;
      m_ExclusiveBusy[n] = 0;
    }
  }
  m_bExclusiveEndedSummary = 0;
}

void cActorFlows::ClearFrameFlags() {
  if (m_bFrameFlagsSet) {
    // Every flag set so far holds the frame number before this one.
    if (++m_nFrameEpoch == 0) {
      // Counted round: the stamps start again from nothing set.
      for (auto& flow : m_Flows) flow->m_nTriggeredStamp = flow->m_nStartedStamp = 0;
      for (auto& flow : m_Retired) flow->m_nTriggeredStamp = flow->m_nStartedStamp = 0;
      m_nFrameEpoch = 1;
    }
    m_bFrameFlagsSet = 0;
  }
  if (m_bExclusiveStartedSummary) {
    m_ExclusiveStarted.fill(0);
    m_bExclusiveStartedSummary = 0;
  }
}

namespace {
// A flow of the every-sub-step trigger that is not running: each step
// tests whether it starts.
bool IsIdleAlwaysFlow(const cFlowState& flow) {
  return flow.m_nTriggerKind == kTriggerAlways && !flow.m_bRunning && !flow.m_bPaused && !flow.m_bHalted;
}
}  // namespace

void cActorFlows::Prefetch(int level) const {
  switch (level) {
    case 0:
      if (!m_Flows.empty()) PrefetchLine(m_Flows.data());
      if (!m_FlowTriggers.empty()) PrefetchLine(m_FlowTriggers.data());
      PrefetchLine(&m_Retired);
      break;
    case 1:
      // The part of a state that triggers and steps read (it ends where the
      // members read only by starts and rebuilds begin).
      for (const auto& flow : m_Flows)
        PrefetchBytes(flow.get(), static_cast<size_t>(reinterpret_cast<const char*>(&flow->m_nIndex) -
                                                      reinterpret_cast<const char*>(flow.get())));
      break;
    case 2:
      for (const auto& flow : m_Flows) {
        if (IsIdleAlwaysFlow(*flow)) {
          // An idle flow of the every-sub-step trigger has its conditions
          // tested each sub-step: its definition first.
          if (flow->m_pDefinition) PrefetchBytes(flow->m_pDefinition, sizeof(cEdFlow));
          continue;
        }
        if (!flow->m_bRunning || flow->m_Commands.empty()) continue;
        const size_t furthest = std::min(static_cast<size_t>(std::max(flow->m_nFurthest, 0)), flow->m_Commands.size() - 1);
        PrefetchLine(flow->m_Commands.data());
        PrefetchBytes(&flow->m_Commands[furthest], sizeof(cCmdState));
        if (!flow->m_Timeline.empty()) PrefetchLine(flow->m_Timeline.data());
      }
      break;
    case 3:
      for (const auto& flow : m_Flows) {
        if (IsIdleAlwaysFlow(*flow)) {
          // ... then its condition records.
          if (const cEdFlow* definition = flow->m_pDefinition; definition && !definition->m_vConds.empty())
            PrefetchBytes(definition->m_vConds.data(),
                          std::min<size_t>(definition->m_vConds.size() * sizeof(cCond), 128));
          continue;
        }
        if (!flow->m_bRunning || flow->m_Commands.empty()) continue;
        const size_t furthest = std::min(static_cast<size_t>(std::max(flow->m_nFurthest, 0)), flow->m_Commands.size() - 1);
        const cCmdState& state = flow->m_Commands[furthest];
        if (const cEdCmd* command = state.m_pCommand) PrefetchBytes(command, sizeof(cEdCmd));
        // The executor's own working record (a move's, for example).
        if (state.m_pWork) PrefetchLine(state.m_pWork.get());
      }
      break;
    case 4:
      // The movement record of a running move command (read through the
      // command brought in at level 3).
      for (const auto& flow : m_Flows) {
        if (!flow->m_bRunning || flow->m_Commands.empty()) continue;
        const size_t furthest = std::min(static_cast<size_t>(std::max(flow->m_nFurthest, 0)), flow->m_Commands.size() - 1);
        if (const cEdCmd* command = flow->m_Commands[furthest].m_pCommand; command && command->m_pMove)
          PrefetchBytes(command->m_pMove.get(), 128);
      }
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------
// Preparation

namespace {

// One pass of the unrolling over `order` (indices into `commands`): the
// first loop command gives way to its body, repeated as often as it says.
// No loop stands before position `from` (the passes before left none); the
// pass leaves it at the place it worked. 0 when no loop is left.
int ExpandFirstLoopOf(const std::vector<cEdCmd>& commands, std::vector<uint32_t>& order, size_t& from,
                      std::vector<std::string>& notes) {
  const auto found = std::find_if(order.begin() + static_cast<std::ptrdiff_t>(from), order.end(),
                                  [&](uint32_t i) { return IsLoopCommand(commands[i]); });
  if (found == order.end()) return 0;
  const size_t index = static_cast<size_t>(found - order.begin());
  const cEdCmd& loop = commands[*found];
  const int64_t repeat = static_cast<int32_t>(loop.Word(0));
  // A loop command without its body word takes the repeat word for it.
  int64_t length = static_cast<int32_t>(loop.m_vParams.size() > 1 ? loop.Word(1) : loop.Word(0));
  const int64_t after = static_cast<int64_t>(order.size() - index - 1);
  if (length > after) length = after;
  from = index;
  if (length > 0 && repeat > 1) {
    // 64-bit size, capped: a huge repeat count (or loops nested deeply)
    // stops growing the list instead of exhausting memory.
    const int64_t total = static_cast<int64_t>(order.size()) + (repeat - 1) * length;
    if (total > static_cast<int64_t>(kMaxExpandedCommands)) {
      notes.push_back("loop expands a flow beyond " + std::to_string(kMaxExpandedCommands) +
                      " commands; the loop body is kept once");
    } else {
      const auto body = order.begin() + static_cast<std::ptrdiff_t>(index) + 1;
      std::vector<uint32_t> expanded;
      expanded.reserve(static_cast<size_t>(total - 1));
      expanded.insert(expanded.end(), order.begin(), found);
      for (int64_t r = 0; r < repeat; ++r) expanded.insert(expanded.end(), body, body + length);
      expanded.insert(expanded.end(), body + length, order.end());
      order = std::move(expanded);
      return 1;
    }
  }
  order.erase(found);
  return 1;
}

// True when `order` is every one of `n` commands where it stands.
bool KeepsOrder(const std::vector<uint32_t>& order, size_t n) {
  if (order.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (order[i] != i) return false;
  return true;
}

// `commands` made of the commands at `order`, in that order.
void TakeOrder(std::vector<cEdCmd>& commands, const std::vector<uint32_t>& order) {
  std::vector<cEdCmd> ordered;
  ordered.reserve(order.size());
  for (uint32_t i : order) ordered.push_back(commands[i]);
  commands = std::move(ordered);
}

void SayNotes(const std::vector<std::string>& notes) {
  if (cFlowHost* host = FlowHost())
    for (const std::string& note : notes) host->ShowDebugError(note);
}

}  // namespace

int ExpandFirstLoop(std::vector<cEdCmd>& commands) {
  std::vector<uint32_t> order(commands.size());
  std::iota(order.begin(), order.end(), 0u);
  std::vector<std::string> notes;
  size_t from = 0;
  const int expanded = ExpandFirstLoopOf(commands, order, from, notes);
  if (expanded) TakeOrder(commands, order);
  SayNotes(notes);
  return expanded;
}

std::vector<uint32_t> UnrolledCommandOrder(const std::vector<cEdCmd>& commands, std::vector<std::string>& notes) {
  std::vector<uint32_t> order(commands.size());
  std::iota(order.begin(), order.end(), 0u);
  // Every pass removes one loop command and the cap in ExpandFirstLoopOf
  // keeps the list bounded; the passes are bounded too, since each one
  // moves the whole list: loops left after that many are dropped unrolled.
  size_t from = 0;
  for (size_t pass = 0; pass < kMaxLoopExpansions; ++pass)
    if (ExpandFirstLoopOf(commands, order, from, notes) == 0) return order;
  const auto loops = std::remove_if(order.begin(), order.end(), [&](uint32_t i) { return IsLoopCommand(commands[i]); });
  if (loops == order.end()) return order;
  order.erase(loops, order.end());
  notes.push_back("a flow holds more than " + std::to_string(kMaxLoopExpansions) + " loops; the rest are not repeated");
  return order;
}

void PrepareFlowCommands(std::vector<cEdCmd>& commands) {
  std::vector<std::string> notes;
  const std::vector<uint32_t> order = UnrolledCommandOrder(commands, notes);
  if (!KeepsOrder(order, commands.size())) TakeOrder(commands, order);
  SayNotes(notes);
}

// ---------------------------------------------------------------------------
// Prepared flows

cPreparedFlows PrepareFlows(const std::vector<cEdFlow>& flows) {
  cPreparedFlows prepared;
  prepared.definitions.reserve(flows.size());
  std::vector<std::string> notes;
  for (const cEdFlow& source : flows) {
    notes.clear();
    const std::vector<uint32_t> order = UnrolledCommandOrder(source.m_vCmds, notes);
    for (std::string& note : notes) prepared.notes.emplace_back(prepared.definitions.size(), std::move(note));
    auto& definition = prepared.definitions.emplace_back(std::make_shared<cEdFlow>(source));
    if (!KeepsOrder(order, source.m_vCmds.size())) TakeOrder(definition->m_vCmds, order);
  }
  return prepared;
}

std::shared_ptr<const cPreparedFlows> cPreparedFlowCache::Of(const cSharedList<cEdFlow>& list) {
  const std::shared_ptr<std::vector<cEdFlow>>& source = list.Holder();
  if (!source) {
    static const auto kNone = std::make_shared<const cPreparedFlows>();
    return kNone;
  }
  Entry& entry = m_Entries[source.get()];
  if (!entry.prepared) {
    entry.source = source;
    entry.prepared = std::make_shared<const cPreparedFlows>(PrepareFlows(*source));
  }
  return entry.prepared;
}

void ResolveMoveDistance(cCmdState& state, const cEdCmd& command, int32_t clone) {
  if (!command.m_pMove) return;
  const cEdMove& move = *command.m_pMove;
  int64_t distance = move.DistanceStart();
  if (move.DistanceStep() != 0) distance += int64_t{move.DistanceStep()} * clone;
  if (!move.DistanceInDots()) distance *= 16;
  switch (move.TimingChoice()) {
    case 1:
      // Speed from distance and time; a command of no duration covers the
      // distance in its one sub-step.
      state.m_dSpeed = static_cast<double>(distance) / static_cast<double>(std::max(state.m_nDuration, 1));
      break;
    case 2: {
      // Time from distance and speed; without a speed the time stays.
      if (state.m_dSpeed == 0 || std::isnan(state.m_dSpeed)) break;
      int32_t duration = TruncateToInt32(static_cast<double>(distance) / state.m_dSpeed);
      cFlowHost* host = FlowHost();
      const bool keepSign = host && host->Switches().moveTimeKeepsSign != 0;
      if (!keepSign && duration < 0) duration = duration == std::numeric_limits<int32_t>::min()
                                                    ? std::numeric_limits<int32_t>::max()
                                                    : -duration;
      state.m_nDuration = duration;
      break;
    }
    default:
      break;
  }
}

// ---------------------------------------------------------------------------
// Flow change

void ExecuteChangeFlow(cFlowActor* character, const cEdCmd& command, int32_t immediate) {
  cFlowHost* host = FlowHost();
  if (!host || !character) return;
  if (immediate == 0 && CurrentCharacter() == host->Hero() && CurrentCharacter() != nullptr) {
    host->QueueHeroCommand(command);
    return;
  }
  cActorFlows* flows = host->FlowsOf(character);
  if (!flows) return;
  switch (static_cast<int32_t>(command.Word(0))) {
    case 0:
      flows->SetFlows(character, command.m_vFlows, 1, -1, 1);
      break;
    case 1: {
      const int32_t place = flows->RemoveFlowGroup(character, static_cast<int32_t>(command.Word(1) & 0xff));
      flows->SetFlows(character, command.m_vFlows, 1, place, 1);
      break;
    }
    case 2:
      flows->RemoveFlowGroup(character, static_cast<int32_t>(command.Word(1) & 0xff));
      break;
    default:
      break;
  }
}

void cFlowHost::FlowListChanged(cFlowActor*, const std::vector<const cEdFlow*>&) {}
