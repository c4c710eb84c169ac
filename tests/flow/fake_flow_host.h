// A stage stand-in for flow tests: actors with flows, variables, targets and
// HP, and an executor that records the commands it runs. Installed for the
// life of the object; the previous host is put back afterwards.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "flow/flow_host.h"
#include "flow/flow_state.h"

struct FakeActor : cFlowActor {
  cActorFlows flows;
  int32_t hp = 10, maxHp = 10, facing = 1, kind = 1;
  std::array<FakeActor*, 4> targets{};
  std::vector<int32_t> vars = std::vector<int32_t>(9, 0);
  bool dying = false;
};

class FakeFlowHost : public cFlowHost {
 public:
  // Runs for every command step: (actor, command state).
  std::function<void(FakeActor*, cCmdState&)> onExecute;
  std::vector<int32_t> common = std::vector<int32_t>(16, 0);
  std::vector<int32_t> stage = std::vector<int32_t>(16, 0);
  std::vector<std::string> errors;
  cFlowSwitches switches;
  int32_t subSteps = 1;
  FakeActor* hero = nullptr;
  const cInput* input = nullptr;

  FakeFlowHost() : previous_(FlowHost()) { SetFlowHost(this); }
  ~FakeFlowHost() override { SetFlowHost(previous_); }

  static FakeActor* A(cFlowActor* a) { return static_cast<FakeActor*>(a); }

  cCurrentObjects Current() const override { return slots_; }
  void SetCurrent(const cCurrentObjects& s) override { slots_ = s; }
  cActorFlows* FlowsOf(cFlowActor* a) override { return a ? &A(a)->flows : nullptr; }
  cFlowActor* Hero() override { return hero; }
  cFlowActor* Target(cFlowActor* a, int32_t slot) override {
    return a && slot >= 0 && slot < 4 ? A(a)->targets[static_cast<size_t>(slot)] : nullptr;
  }
  void SetTarget(cFlowActor* a, int32_t slot, cFlowActor* other) override {
    if (a && slot >= 0 && slot < 4) A(a)->targets[static_cast<size_t>(slot)] = A(other);
  }
  int32_t ObjectKind(cFlowActor* a) override { return A(a)->kind; }
  int32_t PlayerNumber(cFlowActor*) override { return 0; }
  int32_t InstanceNumber(cFlowActor*) override { return 0; }
  bool IsRemoved(cFlowActor*) override { return false; }
  bool IsDying(cFlowActor* a) override { return A(a)->dying; }
  bool Facing(cFlowActor* a, int32_t& facing) override {
    facing = A(a)->facing;
    return true;
  }
  bool StandsOnBlock(cFlowActor*) override { return true; }
  bool IsOnScreen(cFlowActor*) override { return true; }
  int32_t ReadStatus(cFlowActor* a, int32_t field, int32_t n) override {
    if (field == kStatusVariable) return CharacterVariable(a, n);
    if (field == kStatusHp) return A(a)->hp;
    if (field == kStatusMaxHp) return A(a)->maxHp;
    return 0;
  }
  void WriteStatus(cFlowActor* a, int32_t field, int32_t, int32_t value) override {
    if (field == kStatusHp) A(a)->hp = value;
  }
  int32_t GameValue(int32_t) override { return 0; }
  void SetGameValue(int32_t, int32_t) override {}
  bool StatusValue2(cFlowActor*, int32_t, int32_t&) override { return false; }
  bool EvaluateDistanceCondition(cFlowActor*, const cCond&) override { return false; }
  int32_t CommonVariable(int32_t n) override { return common.at(static_cast<size_t>(n)); }
  void SetCommonVariable(int32_t n, int32_t v) override { common.at(static_cast<size_t>(n)) = v; }
  int32_t StageVariable(int32_t n) override { return stage.at(static_cast<size_t>(n)); }
  void SetStageVariable(int32_t n, int32_t v) override { stage.at(static_cast<size_t>(n)) = v; }
  int32_t CharacterVariable(cFlowActor* a, int32_t n) override { return A(a)->vars.at(static_cast<size_t>(n)); }
  void SetCharacterVariable(cFlowActor* a, int32_t n, int32_t v) override { A(a)->vars.at(static_cast<size_t>(n)) = v; }
  const cInput* Input(int32_t) override { return input; }
  void ExecuteCommand(cFlowActor* a, cCmdState& state) override {
    if (onExecute) onExecute(A(a), state);
  }
  void PrepareCommand(cFlowActor*, cCmdState&) override {}
  void BuildTimeline(cFlowActor*, cFlowState&) override {}
  void RemoveAnimeRuns(cFlowActor*, int32_t) override {}
  void QueueHeroCommand(const cEdCmd&) override {}
  int32_t SubStepsPerFrame() override { return subSteps; }
  double FrameScale() override { return 1.0; }
  const cFlowSwitches& Switches() override { return switches; }
  void RequestSoundEffect(int32_t) override {}
  void RequestSoundEffectById(int32_t) override {}
  void ShowDebugError(const std::string& text) override { errors.push_back(text); }

 private:
  cFlowHost* previous_;
  cCurrentObjects slots_;
};

// Commands and flows in a line.
inline cEdCmd Cmd(uint8_t kind, int16_t tenths = 0, bool together = false, std::vector<uint32_t> words = {}) {
  cEdCmd c;
  c.m_nKind = kind;
  c.m_nDuration = static_cast<uint16_t>(tenths);
  c.m_nTogether = together ? 1 : 0;
  c.m_vParams = std::move(words);
  return c;
}
inline cEdFlow MakeFlow(uint8_t trigger, std::vector<cEdCmd> commands, uint8_t group = 0, uint8_t exclusive = 0) {
  cEdFlow f;
  f.m_nTrigger = trigger;
  f.m_nGroup = group;
  f.m_nExclusive = exclusive;
  f.m_vCmds = std::move(commands);
  return f;
}
