// What the flow language needs of the running stage. The flow runtime,
// triggers, conditions, status operations and the expression language reach
// the stage only through the one cFlowHost that stage play installs; they
// never see a character, a hero or the stage scene, only cFlowActor handles
// that the host hands out and interprets.
//
// Game thread only. With no host installed (SetFlowHost(nullptr)) nothing
// that needs the stage may run: the flow runtime then treats every actor as
// having no flows.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "data/save_slots.h"  // kUnlimitedLives

class cFlowState;
class cCmdState;
class cActorFlows;
class cCond;
class cEdCmd;
class cEdFlow;
class cInput;
struct cArrangeEntry;  // status_ops.h

// An object that runs flows (a character, the hero). Stage play derives its
// characters from it; the flow language only passes the handle back to the
// host. No virtual functions: a handle is never deleted through this type.
class cFlowActor {
 protected:
  cFlowActor() = default;
  cFlowActor(const cFlowActor&) = default;
  cFlowActor& operator=(const cFlowActor&) = default;
  ~cFlowActor() = default;
};

// The three current-object slots: the character being triggered or run, the
// flow state being stepped and the command state being run. Executors,
// conditions, arrange and the expression language read them instead of
// taking arguments. The stage scene holds them; see flow_state.h for the
// accessors and the guard that saves and restores them.
struct cCurrentObjects {
  cFlowActor* character = nullptr;
  cFlowState* flow = nullptr;
  cCmdState* command = nullptr;
  bool operator==(const cCurrentObjects&) const = default;
};

// Status fields of a character, as conditions, status operations and the
// expression language number them.
enum StatusField : int32_t {
  kStatusVariable = 0,        // character variable [number]
  kStatusHp = 1,
  kStatusSp = 2,
  kStatusMaxHp = 3,
  kStatusMaxSp = 4,
  kStatusCharacterId = 5,     // 8-bit
  kStatusLayer = 6,           // drawing layer, 8-bit
  kStatusEmblem = 7,          // 16-bit
  kStatusSight = 8,           // half-blocks, 8-bit
  kStatusBodyPower = 9,
  kStatusBodyImpact = 10,     // 8-bit, signed
  kStatusDefence = 11,
  kStatusImpactResistance = 12,  // 8-bit
  kStatusStoppingEase = 13,   // 16-bit
  kStatusScore = 14,          // score when defeated
  kStatusFieldCount = 15,
};

// Values of the running game (subject 5 of conditions and status operations).
enum GameField : int32_t {
  kGameTime = 0,      // time left, 0 without a time limit
  kGameScrollX = 1,   // auto-scroll speeds
  kGameScrollY = 2,
  kGameScore = 3,
  kGameLives = 4,     // kUnlimitedLives (data/save_slots.h): unlimited
  kGameFieldCount = 5,
};

// Compatibility switches that older projects turn on; a new project has all
// of them 0. Stage set-up copies them from the system data.
struct cFlowSwitches {
  int32_t triggerNoFrameGuard = 0;        // no once-per-frame trigger guard
  int32_t triggerGuardFirst = 0;          // the guard is taken as soon as the kind matches
  int32_t triggerGuardBeforeConditions = 0;  // the guard is taken before the conditions
  int32_t moveTimeKeepsSign = 0;          // a move time derived from distance / speed keeps its sign
  int32_t strictKeySequence = 0;          // key steps: no second look one frame later
  int32_t livesUnlimitedFalse = 0;        // unlimited lives make a lives condition false (else: 100)
  int32_t singleScreenRectRefresh = 0;    // distance conditions refresh only the judge's screen rectangle
};

class cFlowHost {
 public:
  virtual ~cFlowHost() = default;

  // --- current-object slots ---
  virtual cCurrentObjects Current() const = 0;
  virtual void SetCurrent(const cCurrentObjects& slots) = 0;
  // One slot changed, the others kept (every step of a flow and every run
  // of a command sets one; a host may store it directly).
  virtual void SetCurrentCharacterSlot(cFlowActor* actor) {
    cCurrentObjects slots = Current();
    slots.character = actor;
    SetCurrent(slots);
  }
  virtual void SetCurrentFlowSlot(cFlowState* flow) {
    cCurrentObjects slots = Current();
    slots.flow = flow;
    SetCurrent(slots);
  }
  virtual void SetCurrentCommandSlot(cCmdState* command) {
    cCurrentObjects slots = Current();
    slots.command = command;
    SetCurrent(slots);
  }

  // --- actors ---
  // The runtime state of an actor's flows; null when it has none.
  virtual cActorFlows* FlowsOf(cFlowActor* actor) = 0;
  // The first hero, null when none.
  virtual cFlowActor* Hero() = 0;
  // The object in target slot 0..3 (null: empty or a bad slot).
  virtual cFlowActor* Target(cFlowActor* actor, int32_t slot) = 0;
  // Puts `other` (may be null) into target slot 0..3, keeping the links of
  // both sides right; a bad slot does nothing.
  virtual void SetTarget(cFlowActor* actor, int32_t slot, cFlowActor* other) = 0;
  virtual int32_t ObjectKind(cFlowActor* actor) = 0;     // 0 hero
  virtual int32_t PlayerNumber(cFlowActor* actor) = 0;   // input record of a hero
  virtual int32_t InstanceNumber(cFlowActor* actor) = 0; // n of start + step x n
  virtual bool IsRemoved(cFlowActor* actor) = 0;
  virtual bool IsDying(cFlowActor* actor) = 0;           // in its death sequence
  // Where the actor faces: 0 left, 1 right (false when it is gone).
  virtual bool Facing(cFlowActor* actor, int32_t& facing) = 0;
  // Standing on a block or a block character (status condition 3, state 2).
  virtual bool StandsOnBlock(cFlowActor* actor) = 0;
  virtual bool IsOnScreen(cFlowActor* actor) = 0;

  // --- statuses (fields of StatusField; field 0 reads variable [number]) ---
  virtual int32_t ReadStatus(cFlowActor* actor, int32_t field, int32_t number) = 0;
  virtual void WriteStatus(cFlowActor* actor, int32_t field, int32_t number, int32_t value) = 0;
  virtual int32_t GameValue(int32_t field) = 0;
  // The stage counts its time down (conditions read a time of 0 without a
  // limit; GameValue gives the stored value either way).
  virtual bool HasTimeLimit() { return true; }
  virtual void SetGameValue(int32_t field, int32_t value) = 0;
  // Status condition 2: a definition byte of a character (fields 1..6) or a
  // stage value (actor null, fields 0..1); false when there is none.
  virtual bool StatusValue2(cFlowActor* actor, int32_t field, int32_t& value) = 0;
  // Distance condition (kind 7) of `actor`.
  virtual bool EvaluateDistanceCondition(cFlowActor* actor, const cCond& condition) = 0;

  // --- variables (a bad number is reported and element 0 used) ---
  virtual int32_t CommonVariable(int32_t n) = 0;
  virtual void SetCommonVariable(int32_t n, int32_t value) = 0;
  virtual int32_t StageVariable(int32_t n) = 0;
  virtual void SetStageVariable(int32_t n, int32_t value) = 0;
  virtual int32_t CharacterVariable(cFlowActor* actor, int32_t n) = 0;
  virtual void SetCharacterVariable(cFlowActor* actor, int32_t n, int32_t value) = 0;

  // --- input ---
  // Input record of player `player` (0 when out of range); null when none.
  virtual const cInput* Input(int32_t player) = 0;

  // --- commands ---
  // Runs the executor of the command's kind for `actor`.
  virtual void ExecuteCommand(cFlowActor* actor, cCmdState& state) = 0;
  // The per-kind preparation of a freshly built command state (movement
  // distances, circles, homing, jumps).
  virtual void PrepareCommand(cFlowActor* actor, cCmdState& state) = 0;
  // A freshly built flow state: its anime timeline.
  virtual void BuildTimeline(cFlowActor* actor, cFlowState& flow) = 0;
  // The anime runs that flow `flowId` started (-1: every run) end.
  virtual void RemoveAnimeRuns(cFlowActor* actor, int32_t flowId) = 0;
  // A flow change asked for while the hero runs: kept for the hero's frame.
  virtual void QueueHeroCommand(const cEdCmd& command) = 0;
  virtual int32_t SubStepsPerFrame() = 0;   // 1..
  virtual double FrameScale() = 0;          // speed scale of the stage (> 0)
  virtual const cFlowSwitches& Switches() = 0;

  // --- sound and reports ---
  virtual void RequestSoundEffect(int32_t n) = 0;        // sound list entry
  virtual void RequestSoundEffectById(int32_t id) = 0;   // database sound id (0 none)
  // An error shown only when error display is on; always logged.
  virtual void ShowDebugError(const std::string& text) = 0;

  // ---- others add their entries below, each block marked with its topic ----

  // ---- Status operations (status_ops.cpp) ----
  // Stage play overrides these (src/play/commands/status_commands.cpp); the defaults
  // serve a host without characters' own rules (the expression tool, tests).
  // HP (field 1) or SP (2) of `actor` changed by `delta` the way the
  // character changes them itself: invincibility, its maximum, its gauge
  // (`gauge` non-zero starts the gauge). Default: the sum, held in
  // 0..999999, written with WriteStatus.
  virtual void ChangeHpSp(cFlowActor* actor, int32_t field, int32_t delta, int32_t gauge);
  // The actor takes no damage now (its invincibility kind, or its timer
  // after a hit). Default: false.
  virtual bool IsInvincible(cFlowActor* actor);
  // HP of an actor other than the running one ran out: the stage checks
  // lives before the next object acts. Default: nothing to check.
  virtual void RequestLifeCheck();
  // A status operation wrote `field` of `actor`: values derived from it
  // (the stopping speed, the hero's sight mask) follow. Default: none.
  virtual void StatusWritten(cFlowActor* actor, int32_t field);
  // A status operation wrote game field `field`: a scroll speed restarts
  // its axis' forced scroll with the new speed. Default: none.
  virtual void GameValueWritten(int32_t field);
  // The first hero's own list of pending arrange entries (item commands);
  // null when there is no hero.
  virtual std::list<cArrangeEntry>* HeroArranges();
  // ---- end of status operations ----

  // ---- Expression language (expr.cpp) ----
  // A code statement changed the HP (field 1) or SP (2) of `actor` by
  // `delta` (stored directly): its gauge shows the change. Default: none.
  virtual void StartGauge(cFlowActor* actor, int32_t field, int32_t delta);
  // An error shown in an error box whether or not error display is on;
  // always logged. Default: as ShowDebugError.
  virtual void ShowError(const std::string& text);
  // ---- end of expression language ----

  // ---- Flow list (flow_state.cpp) ----
  // The flows of `actor` were added to, inserted into or taken out of while
  // it plays: `flows` are the definitions of its flows now, in order. Stage
  // play makes them the flow list of the character's own definition, which
  // is what the hero carries to the next stage. Default: nothing.
  virtual void FlowListChanged(cFlowActor* actor, const std::vector<const cEdFlow*>& flows);
  // ---- end of flow list ----
};

// The host in use (null when none is installed).
cFlowHost* FlowHost();
// Installs `host` (not owned; null removes it).
void SetFlowHost(cFlowHost* host);
