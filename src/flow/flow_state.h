// The run state of event flows: one cFlowState per flow of a character, one
// cCmdState per command of a flow, and cActorFlows, everything a character
// keeps about its flows (the states in list order, the exclusive-number
// flags and the per-character flow counter).
//
// A flow is started by a trigger (triggers.cpp), stepped once per sub-step
// by its character's frame, and runs its commands one after another: a
// command holds the flow until it runs out, unless its run-together byte lets
// the next command start in the same sub-step. Loop commands are unrolled
// when the flows are built (PrepareFlowCommands).
//
// Storage is stable: flow states are held by unique_ptr and each holds its
// prepared definition (shared with the other characters of its type until
// an arrange changes one of its commands: then it takes a copy of its own),
// so the current-object slots and the command states' command pointers stay
// valid while flows are added, moved or removed. A state removed while it
// may still be on the call stack is retired, not freed, until the
// character's frame ends.
//
// Game thread only.
#pragma once

#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "data/flow.h"
#include "data/labels.h"  // FlowTrigger, CommandKind
#include "flow/flow_host.h"
#include "flow/status_ops.h"

class cActorFlows;

// Longest command list that loop unrolling may produce for one flow.
inline constexpr size_t kMaxExpandedCommands = 65536;
// Loop commands unrolled in one flow at most (later ones are dropped).
inline constexpr size_t kMaxLoopExpansions = 1024;
// Exclusive numbers index these flag lists by their unsigned byte.
inline constexpr size_t kExclusiveCount = 256;


// The loop as an item command, and the first kind that flows of trigger 21
// run together (the flow control and every kind after it).
inline constexpr int32_t kItemKindLoop = ItemKindOfFlowKind(kCmdLoop);
inline constexpr int32_t kFirstInstantKind = kCmdFlowControl;
static_assert(kItemKindLoop == 24);

// Per-kind working state that an executor keeps beside a command state
// (for example a jump under way). Copied with the character.
class cCmdWork {
 public:
  virtual ~cCmdWork() = default;
  virtual std::unique_ptr<cCmdWork> Clone() const = 0;
  // Called by cCmdState::Restart.
  virtual void Restart() {}
};

class cCmdState {
 public:
  cCmdState() = default;
  cCmdState(const cCmdState& other);
  cCmdState& operator=(const cCmdState& other);
  cCmdState(cCmdState&&) noexcept = default;
  cCmdState& operator=(cCmdState&&) noexcept = default;
  ~cCmdState() = default;

  // Prepares the command to run from its start and applies the current
  // flow's pending arrange entries to it (except for an arrange command),
  // through the current flow's CommandToChange: a command state of no flow
  // that is current has no definition of its own to change.
  void Restart();
  // Runs one sub-step through the host's executor; 1 when it has run out.
  int RunFrame();

  // In the flow state's definition, which other states may share: only
  // cFlowState::CommandToChange gives it to be changed.
  const cEdCmd* m_pCommand = nullptr;
  int32_t m_bFinished = 0;
  int32_t m_nDuration = 0;   // sub-steps the command lasts
  int32_t m_nRemaining = 0;  // sub-steps left; 0: not started

  // Executor work. Restart clears the period counter, m_bStarted and
  // m_nWork, and restarts m_pWork.
  double m_dSpeed = 0;       // dots per sub-step
  double m_dSpeed2 = 0;      // the movement's second speed
  int32_t m_nPeriod = 0;     // period counter of shots and summons
  int32_t m_bStarted = 0;
  std::array<int32_t, 4> m_nWork{};
  std::unique_ptr<cCmdWork> m_pWork;
};

// An anime that a command of the flow starts, at a frame of the flow.
struct cTimelineEntry {
  int32_t start = 0;       // compared with the flow's frame counter
  uint16_t anime = 0;
  uint16_t skip = 0;       // ticks
  uint16_t length = 0;     // ticks
  uint16_t hold = 0;       // ticks
  int32_t extend = 0;
};

// Flows made ready to run: each flow's commands with their loops unrolled
// (PrepareFlowCommands). One preparation of a type's flows serves the flow
// states of every character of the type; nothing changes it once made.
struct cPreparedFlows {
  std::vector<std::shared_ptr<cEdFlow>> definitions;
  // What the preparation had to say (a loop cut short), as (flow, text) in
  // order, said again each time states are built on it, as a preparation of
  // their own would have.
  std::vector<std::pair<size_t, std::string>> notes;
};
// Prepares each flow of `flows`; the notes are kept, not said.
cPreparedFlows PrepareFlows(const std::vector<cEdFlow>& flows);

// The preparations of the flow lists that characters take from their types,
// one for each list while it is kept (the stage scene keeps one for the
// running stage). Game thread only.
class cPreparedFlowCache {
 public:
  // The preparation of `list`, made the first time it is asked for. The
  // cache holds the list too, so that no other list takes its address while
  // the entry lives.
  std::shared_ptr<const cPreparedFlows> Of(const cSharedList<cEdFlow>& list);
  void Clear() { m_Entries.clear(); }
  size_t Size() const { return m_Entries.size(); }

 private:
  struct Entry {
    std::shared_ptr<std::vector<cEdFlow>> source;
    std::shared_ptr<const cPreparedFlows> prepared;
  };
  std::unordered_map<const std::vector<cEdFlow>*, Entry> m_Entries;
};

class cFlowState {
 public:
  cFlowState();
  // A copy of the run state; the definition is shared until either changes
  // a command.
  cFlowState(const cFlowState& other);
  cFlowState& operator=(const cFlowState&) = delete;
  ~cFlowState();

  // Starts the flow for `owner` (the character whose flow this is). A
  // trigger-21 flow runs its instant commands at once and stops.
  void Start(cFlowActor* owner);
  // One sub-step; 1 when the last command has finished (the caller stops).
  int Step();
  // Ends the flow: remaining frames 0, pending arranges dropped, its
  // exclusive number ended.
  void Stop();
  void Pause() { m_bPaused = 1; }
  void Resume() { m_bPaused = 0; }
  // Out of play until the flows are rebuilt (pending arranges kept).
  void Halt();

  const cEdFlow& Definition() const { return *m_pDefinition; }
  // Trigger kind and exclusive number of the definition, kept in the state
  // (read on every trigger and step; a definition's own copy never changes
  // them).
  int32_t Trigger() const { return m_nTriggerKind; }
  uint8_t Exclusive() const { return m_nExclusiveNumber; }
  // Points the state at a prepared definition (its own, or one shared with
  // other states, which none of them changes in place).
  void SetDefinition(std::shared_ptr<cEdFlow> definition);
  // Command `state` (one of m_Commands) of the definition, to be changed:
  // a definition that other states share is copied first, and the command
  // and key pointers are moved to the copy. Null for a state of another flow.
  cEdCmd* CommandToChange(const cCmdState& state);
  // True while another state (or a cache of prepared flows) holds the same
  // definition.
  bool SharesDefinition() const { return m_pDefinitionHolder.use_count() > 1; }
  bool IsActive() const { return m_bRunning && !m_bHalted; }
  bool TriggeredThisFrame() const;
  bool StartedThisFrame() const;
  // Sets the flag (and tells the owner that a flag is set).
  void MarkTriggered();
  void MarkStarted();

  // What every trigger and step reads comes first (two cache lines or so);
  // what only a start, a key test or a rebuild reads comes after.
  std::vector<cCmdState> m_Commands;
  std::vector<cTimelineEntry> m_Timeline;
  const cEdFlow* m_pDefinition = nullptr;  // m_pDefinitionHolder's
  cActorFlows* m_pOwner = nullptr;  // the flows this state belongs to
  uint8_t m_nTriggerKind = 0;      // m_pDefinition->m_nTrigger
  uint8_t m_nExclusiveNumber = 0;  // m_pDefinition->m_nExclusive
  int32_t m_bRunning = 0;
  int32_t m_bPaused = 0;
  int32_t m_bHalted = 0;
  int32_t m_nFurthest = 0;
  int32_t m_nFrameCounter = 0;
  // Triggered, started during the owner's frame: the owner's frame number
  // (cActorFlows::m_nFrameEpoch) when it was, so that a new frame clears the
  // flags of all its flows by counting on, not by visiting each.
  uint32_t m_nTriggeredStamp = 0;
  uint32_t m_nStartedStamp = 0;
  int32_t m_bMessageWait = 0;
  int32_t m_bAbort = 0;
  int32_t m_bRunningInstant = 0;    // inside the instant run of a trigger-21 start
  int32_t m_bRemovalRequest = 0;
  cArrangeList m_PendingArranges;
  int32_t m_nIndex = 0;
  int32_t m_nFlowId = 0;
  std::shared_ptr<cEdFlow> m_pDefinitionHolder;  // prepared (loops unrolled), perhaps shared
  int32_t m_bConditionsMetOnce = 0;
  std::vector<const cFlowKey*> m_Keys;
  int32_t m_bMatchedLastFrame = 0;
  int32_t m_bKeyConditionMet = 0;
  int32_t m_nInputDirection = 0;  // direction held when the flow started
};

// Everything a character keeps about its flows.
class cActorFlows {
 public:
  cActorFlows() = default;
  cActorFlows(const cActorFlows& other);
  cActorFlows& operator=(const cActorFlows&) = delete;

  size_t Count() const { return m_Flows.size(); }
  cFlowState& At(size_t i) { return *m_Flows[i]; }
  int32_t IndexOf(const cFlowState* flow) const;

  // Builds flow states for `flows` (each prepared first). add 0: the states
  // are rebuilt for the whole list; else the new flows are inserted before
  // flow `position`, or appended when it is -1 or outside the list.
  // keyMetAtStart: key sequences without the hold-match option count as
  // already entered, so a key held when the flow arrives does not fire it.
  void SetFlows(cFlowActor* actor, const std::vector<cEdFlow>& flows, int32_t add, int32_t position,
                int32_t keyMetAtStart = 0);
  // The same over flows prepared already; the states share their
  // definitions with `flows`.
  void SetFlows(cFlowActor* actor, const cPreparedFlows& flows, int32_t add, int32_t position,
                int32_t keyMetAtStart = 0);
  // Tells the host the flows' definitions after a change of the list.
  void NoteFlowListChanged(cFlowActor* actor) const;
  // Group 0: every flow stops and goes, with every anime run; returns 0.
  // Else the flows of that group stop and go; returns the index of the
  // first one removed, or -1.
  int32_t RemoveFlowGroup(cFlowActor* actor, int32_t group);
  // Stops flow i, ends its anime runs and removes it now (its state is
  // retired until the frame ends), then renumbers.
  void RemoveFlow(cFlowActor* actor, size_t i);
  void Renumber();

  // Starts the flows of trigger `kind` that may start (triggers.cpp).
  void TriggerFlows(cFlowActor* self, int32_t kind, cFlowActor* other, int32_t group);
  // The flow loop of the character's frame: 1 when the frame must end at
  // once (the character was removed, or its HP ran out outside a death
  // flow). Otherwise the removal requests and the ended exclusive numbers
  // are settled.
  int StepFlows(cFlowActor* self, int32_t deathMode);
  // Carries out the removal requests of flows deleted while they ran.
  void ApplyRemoveRequests(cFlowActor* actor);
  // Frees exclusive numbers whose flows ended this frame.
  void ReleaseEndedExclusives();
  // Clears the per-frame trigger flags.
  void ClearFrameFlags();
  // Asks the processor to bring in, ahead of use, one level of what the
  // next step of these flows reads: level 0 the list itself, 1 the flow
  // states, 2 the command states and timelines of the running flows (and
  // the definitions of idle every-sub-step flows), 3 the commands they run
  // (and those flows' condition records), 4 the running commands'
  // movement records. Each level reads only what the level before brought
  // in, so a walk over many characters calls them a few characters apart.
  // Changes nothing.
  void Prefetch(int level) const;

  // True when some flow of the list starts on trigger `kind`: most events
  // raised on a character start none of its flows, and this answers that
  // without visiting each flow's definition.
  bool HasTrigger(int32_t kind) const {
    if (kind < 0 || kind >= 256) return false;
    return (m_TriggerKinds[static_cast<size_t>(kind) >> 6] >> (kind & 63)) & 1;
  }
  // Recomputes m_TriggerKinds from the list (after flows are added or removed).
  void NoteTriggerKinds();

  // What every trigger and step reads comes first (a few cache lines for
  // all of it); the flag lists by exclusive number, read only when a
  // summary says so, come last.
  std::vector<std::unique_ptr<cFlowState>> m_Flows;
  std::vector<uint8_t> m_FlowTriggers;       // the trigger kind of each flow of m_Flows, in list order
  std::array<uint64_t, 4> m_TriggerKinds{};  // one bit per trigger kind held by a flow of m_Flows
  int32_t m_bFrameFlagsSet = 0;  // some flow's per-frame trigger flag is set (ClearFrameFlags has work)
  uint32_t m_nFrameEpoch = 1;     // counts the clearings of the flows' per-frame flags
  int32_t m_bExclusiveEndedSummary = 0;
  int32_t m_bExclusiveStartedSummary = 0;  // some m_ExclusiveStarted entry is set
  int32_t m_nFlowCounter = 0;
  int32_t m_bRemoveRequest = 0;  // a flow waits for removal
  int32_t m_nDepth = 0;  // triggers and steps under way (retired states are freed at 0)
  // States taken out while they might still run; freed when the frame ends.
  std::vector<std::unique_ptr<cFlowState>> m_Retired;
  // The character's trigger flags, by exclusive number: busy while a
  // trigger-0 flow of that number runs; ended when such a flow stops or
  // halts (the summary asks the end of the character's flow step to release
  // both, ReleaseEndedExclusives); started in this frame (ClearFrameFlags).
  // They live and die with the flow set, which a character's set-up makes anew.
  std::array<uint8_t, kExclusiveCount> m_ExclusiveBusy{};
  std::array<uint8_t, kExclusiveCount> m_ExclusiveEnded{};
  std::array<uint8_t, kExclusiveCount> m_ExclusiveStarted{};
};

// A flow without an owner keeps its flags for good (no frame clears them).
inline uint32_t FrameEpochOf(const cActorFlows* owner) { return owner ? owner->m_nFrameEpoch : 1u; }
inline bool cFlowState::TriggeredThisFrame() const { return m_nTriggeredStamp == FrameEpochOf(m_pOwner); }
inline bool cFlowState::StartedThisFrame() const { return m_nStartedStamp == FrameEpochOf(m_pOwner); }
inline void cFlowState::MarkTriggered() {
  m_nTriggeredStamp = FrameEpochOf(m_pOwner);
  if (m_pOwner) m_pOwner->m_bFrameFlagsSet = 1;
}
inline void cFlowState::MarkStarted() {
  m_nStartedStamp = FrameEpochOf(m_pOwner);
  if (m_pOwner) m_pOwner->m_bFrameFlagsSet = 1;
}

// --- current-object slots (held by the host; empty when none is installed) ---
cCurrentObjects CurrentObjects();
cFlowActor* CurrentCharacter();
cFlowState* CurrentFlow();
cCmdState* CurrentCommand();
void SetCurrentObjects(const cCurrentObjects& slots);
void SetCurrentCharacter(cFlowActor* actor);
void SetCurrentFlow(cFlowState* flow);
void SetCurrentCommand(cCmdState* command);

// Saves the three slots and puts them back when it goes, so that a trigger
// raised while a flow runs leaves the running flow's slots as they were.
class cCurrentObjectsGuard {
 public:
  cCurrentObjectsGuard() : m_Saved(CurrentObjects()) {}
  ~cCurrentObjectsGuard() { SetCurrentObjects(m_Saved); }
  cCurrentObjectsGuard(const cCurrentObjectsGuard&) = delete;
  cCurrentObjectsGuard& operator=(const cCurrentObjectsGuard&) = delete;

 private:
  cCurrentObjects m_Saved;
};

// Unrolls every loop command of `commands` (ExpandFirstLoop until none is
// left or the list reaches kMaxExpandedCommands); what it had to say about
// loops it could not unroll goes to the host's ShowDebugError.
void PrepareFlowCommands(std::vector<cEdCmd>& commands);
// Unrolls the first loop command; 0 when the list holds none.
int ExpandFirstLoop(std::vector<cEdCmd>& commands);
// The unrolled list as the indices of `commands` it is made of, in order
// (what PrepareFlowCommands makes, without copying a command); the notes
// it would say are added to `notes`. Its length is what a flow state of
// these commands holds command states for.
std::vector<uint32_t> UnrolledCommandOrder(const std::vector<cEdCmd>& commands, std::vector<std::string>& notes);
// Time, speed and distance of a movement command: with timing mode 1 the
// speed follows from distance and duration, with mode 2 the duration from
// distance and speed.
void ResolveMoveDistance(cCmdState& state, const cEdCmd& command, int32_t clone);
// Item command "change flows": add, replace or delete a group of flows of
// `character`. Asked for while the hero runs and not immediate, the command
// is queued for the hero's frame.
void ExecuteChangeFlow(cFlowActor* character, const cEdCmd& command, int32_t immediate);
