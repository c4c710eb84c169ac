// Stage play as the flow language sees it: the cFlowHost over the current
// stage scene, its characters and its hero. Flow actors are cCharacter
// objects (the hero included); the current-object slots are the stage
// scene's CurrentCharacter / CurrentFlow / CurrentCommand (kept here while no
// stage scene exists, as in tests that run flows on bare characters).
// Game thread only.
#pragma once

#include <list>
#include <string>

#include "flow/flow_host.h"
#include "flow/flow_state.h"
#include "play/objects/character.h"
#include "play/world/flow_hooks.h"

// A character's flows as the flow hooks keep them.
class cCharacterFlowSet : public cCharacterFlows {
 public:
  cCharacterFlowSet() { actorFlows_ = &flows; }
  explicit cCharacterFlowSet(const cActorFlows& from) : flows(from) { actorFlows_ = &flows; }
  cCharacterFlowSet(const cCharacterFlowSet&) = delete;
  cCharacterFlowSet& operator=(const cCharacterFlowSet&) = delete;
  std::unique_ptr<cCharacterFlows> Clone() const override;
  size_t Count() const override { return flows.Count(); }
  cActorFlows flows;
};

// The runtime state of `character`'s flows, created when missing.
cActorFlows& FlowsOfCharacter(cCharacter& character);
// The same, null when the character has none.
cActorFlows* FindFlowsOfCharacter(cCharacter& character);

// The one-axis relations 0..5 of a distance condition: the axis `self`
// judges on (x, or y when vertical) and how far its range reaches before
// and after it: from its edges on both sides (centred, relations 0 and 3),
// or from its centre on one side chosen by its facing. False for the circle
// (6) and unknown relations.
struct cDistanceReach {
  bool vertical = false;
  bool centred = false;
  int32_t low = 0, high = 0;
};
bool DistanceRelationReach(const cCharacter& self, int32_t relation, int32_t distance, cDistanceReach& out);

// The character behind a flow actor (every actor is one).
inline cCharacter* ActorCharacter(cFlowActor* actor) { return static_cast<cCharacter*>(actor); }

class cStageFlowHost : public cFlowHost {
 public:
  cCurrentObjects Current() const override;
  void SetCurrent(const cCurrentObjects& slots) override;
  void SetCurrentCharacterSlot(cFlowActor* actor) override;
  void SetCurrentFlowSlot(cFlowState* flow) override;
  void SetCurrentCommandSlot(cCmdState* command) override;

  cActorFlows* FlowsOf(cFlowActor* actor) override;
  cFlowActor* Hero() override;
  cFlowActor* Target(cFlowActor* actor, int32_t slot) override;
  void SetTarget(cFlowActor* actor, int32_t slot, cFlowActor* other) override;
  int32_t ObjectKind(cFlowActor* actor) override;
  int32_t PlayerNumber(cFlowActor* actor) override;
  int32_t InstanceNumber(cFlowActor* actor) override;
  bool IsRemoved(cFlowActor* actor) override;
  bool IsDying(cFlowActor* actor) override;
  bool Facing(cFlowActor* actor, int32_t& facing) override;
  bool StandsOnBlock(cFlowActor* actor) override;
  bool IsOnScreen(cFlowActor* actor) override;

  int32_t ReadStatus(cFlowActor* actor, int32_t field, int32_t number) override;
  void WriteStatus(cFlowActor* actor, int32_t field, int32_t number, int32_t value) override;
  int32_t GameValue(int32_t field) override;
  bool HasTimeLimit() override;
  void SetGameValue(int32_t field, int32_t value) override;
  bool StatusValue2(cFlowActor* actor, int32_t field, int32_t& value) override;
  bool EvaluateDistanceCondition(cFlowActor* actor, const cCond& condition) override;

  int32_t CommonVariable(int32_t n) override;
  void SetCommonVariable(int32_t n, int32_t value) override;
  int32_t StageVariable(int32_t n) override;
  void SetStageVariable(int32_t n, int32_t value) override;
  int32_t CharacterVariable(cFlowActor* actor, int32_t n) override;
  void SetCharacterVariable(cFlowActor* actor, int32_t n, int32_t value) override;

  const cInput* Input(int32_t player) override;

  void ExecuteCommand(cFlowActor* actor, cCmdState& state) override;
  void PrepareCommand(cFlowActor* actor, cCmdState& state) override;
  void BuildTimeline(cFlowActor* actor, cFlowState& flow) override;
  void RemoveAnimeRuns(cFlowActor* actor, int32_t flowId) override;
  void FlowListChanged(cFlowActor* actor, const std::vector<const cEdFlow*>& flows) override;
  void QueueHeroCommand(const cEdCmd& command) override;
  int32_t SubStepsPerFrame() override;
  double FrameScale() override;
  const cFlowSwitches& Switches() override;

  void RequestSoundEffect(int32_t n) override;
  void RequestSoundEffectById(int32_t id) override;
  void ShowDebugError(const std::string& text) override;

  // Expression language: gauges and always-shown errors.
  void StartGauge(cFlowActor* actor, int32_t field, int32_t delta) override;
  void ShowError(const std::string& text) override;

  // ---- others add their overrides below, each block marked with its topic ----

  // ---- Status operations (status_commands.cpp) ----
  void ChangeHpSp(cFlowActor* actor, int32_t field, int32_t delta, int32_t gauge) override;
  bool IsInvincible(cFlowActor* actor) override;
  void RequestLifeCheck() override;
  void StatusWritten(cFlowActor* actor, int32_t field) override;
  void GameValueWritten(int32_t field) override;
  cArrangeList* HeroArranges() override;
  // ---- end of status operations ----

 private:
  cCurrentObjects m_Detached;  // the slots while no stage scene exists
};

// The switches the running stage's flows follow (stage set-up fills them).
extern cFlowSwitches g_FlowSwitches;

// The host and the hooks of the running game: installed once at start-up
// (both stay installed; tests install their own and put these back with
// InstallStageFlows or remove them with SetFlowHost/SetFlowHooks(nullptr)).
void InstallStageFlows();
cStageFlowHost& StageFlowHost();

// The anime timeline of a freshly built flow state (which anime each command
// starts, and at which frame of the flow).
void BuildAnimeTimeline(cCharacter& character, cFlowState& flow);
// The pre-step of a character's frame: the timeline entries due now start
// their anime runs.
void StartTimelineAnimes(cCharacter& character);
