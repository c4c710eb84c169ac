// The one door through which characters reach their event flows. The flow
// runtime (flow states, triggers, conditions, command executors) plugs in
// here by installing its own cFlowHooks; until it does, the default hooks
// make every character behave as a character without flows: nothing is
// started, nothing is stepped, and a condition list is taken as holding.
//
// Each character owns the runtime state of its flows as one cCharacterFlows
// object that the hooks build (SetFlows) and read; stage play only copies
// and destroys it. Game thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "data/conditions.h"

class cCharacter;
class cHero;
class cCmdState;
class cEdCmd;
class cActorFlows;

// The runtime state of one character's flows (its flow states, their
// command states and timelines), as the flow runtime keeps it.
class cCharacterFlows {
 public:
  virtual ~cCharacterFlows() = default;
  // A deep copy for a copied character.
  virtual std::unique_ptr<cCharacterFlows> Clone() const = 0;
  // Number of flow states (0 when the character has none).
  virtual size_t Count() const = 0;
  // The flow runtime's state, read on every trigger and step (a plain
  // pointer, set by the set that owns it).
  cActorFlows* ActorFlows() const { return actorFlows_; }

 protected:
  cActorFlows* actorFlows_ = nullptr;
};

class cFlowHooks {
 public:
  virtual ~cFlowHooks() = default;

  // Builds the flow states of `character` from its definition's flow list
  // (the set-up form of SetFlows: the whole list, rebuilt). Default: none.
  virtual void SetFlows(cCharacter& character);
  // Starts every idle flow of trigger `kind` whose conditions hold, with no
  // context and all groups. Default: nothing starts.
  virtual void TriggerFlowsOfKind(cCharacter& character, int32_t kind);
  // The pre-step of a character's frame (animation runs that the flows'
  // timelines start at this frame). Default: nothing.
  virtual void PreStep(cCharacter& character);
  // Steps the character's running flows once (Frame's flow loop): with
  // `deathMode` set only death flows step. Returns 1 when Frame must end at
  // once (the character was removed or ran out of HP in a flow other than
  // a death flow), else 0. Default: 0.
  virtual int StepFlows(cCharacter& character, int32_t deathMode);
  // After the flow loop: the character's requests to remove flows are
  // carried out. Default: nothing (no flow exists to remove).
  virtual void ApplyRemoveRequests(cCharacter& character);
  // Clears the per-frame flags of every flow state of the character.
  virtual void ClearFlowFrameFlags(cCharacter& character);
  // The hero's commands queued during the frame (flow changes of item
  // commands) are run, then dropped. Default: dropped unrun.
  virtual void RunPendingCommands(cHero& hero);
  // A condition list (mode 0: all must hold, 1: one must hold) evaluated
  // for `character` (null: no character). An empty list always holds
  // (callers test appearance and flow conditions only when there are
  // some). Default: the data layer has no condition evaluator yet, so a
  // non-empty list is taken as holding too.
  virtual bool CheckConditionList(const std::vector<cCond>& list, int32_t mode, cCharacter* character);
  // One item command run for the hero (the item-command table): 0 go on,
  // 1 the stage ends, 2 the hero died. Default: runs nothing, 0.
  virtual int RunItemCommand(cHero& hero, const cEdCmd& command);
  // A character was put on a screen point by a movement command: the
  // command's velocity stops. Default: nothing (no command state exists).
  virtual void StopCommand(cCmdState* state);
  // ---- Damage and hits (combat): triggers raised with their context ----
  // Starts the idle flows of trigger `kind` whose conditions hold, with
  // `context` as the other object of the event (may be null) and limited
  // to flow group `group` (0: all groups). Default: as TriggerFlowsOfKind.
  virtual void TriggerFlows(cCharacter& character, int32_t kind, cCharacter* context, int32_t group) {
    (void)context;
    (void)group;
    TriggerFlowsOfKind(character, kind);
  }
  // ---- end of damage and hits ----
};

// The hooks in use (the default ones until others are installed).
cFlowHooks& FlowHooks();
// Installs `hooks` (not owned; null puts the default hooks back).
void SetFlowHooks(cFlowHooks* hooks);
