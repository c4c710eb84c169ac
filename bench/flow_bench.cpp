// Event flows at the rate a stage runs them. Target: a typical code
// statement of about 40 words evaluated in under 2 µs.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "flow/expr.h"

// Flow stepping (exec)
#include <list>

#include "data/labels.h"
#include "data/stage_data.h"
#include "flow/conditions.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/stage_character.h"

namespace {

// Statuses and variables held in plain arrays, as cheap to reach as the
// stage's own.
class cBenchHost final : public cExprHost {
 public:
  bool HasObject(ExprObject) override { return true; }
  int32_t ReadMember(ExprObject object, ExprMember member) override {
    return m_Members[static_cast<int>(object)][static_cast<int>(member)];
  }
  void WriteMember(ExprObject object, ExprMember member, int32_t value) override {
    m_Members[static_cast<int>(object)][static_cast<int>(member)] = value;
  }
  bool ReadVariable(char kind, int32_t index, int32_t& value) override {
    if (index < 0 || index >= 1000) return false;
    value = (kind == 'C' ? m_Common : m_Stage)[index];
    return true;
  }
  bool WriteVariable(char kind, int32_t index, int32_t value) override {
    if (index < 0 || index >= 1000) return false;
    (kind == 'C' ? m_Common : m_Stage)[index] = value;
    return true;
  }
  bool ReadSystem(ExprSystem which, cExprCell& cell) override {
    cell.value = m_System[static_cast<int>(which)];
    return true;
  }
  void WriteSystem(ExprSystem which, int32_t value) override { m_System[static_cast<int>(which)] = value; }

  int32_t m_Members[7][kExprMemberCount] = {};
  int32_t m_Common[1000] = {};
  int32_t m_Stage[1000] = {};
  int32_t m_System[kExprSystemCount] = {};
};

void BM_ExpressionStatement(benchmark::State& state) {
  // 40 words: statuses of three objects, both kinds of variable, a game
  // value, every operator and one group in parentheses.
  const std::string code =
      "my.v1 = my.v2 * 3 + C1 - S2 / 2 + tg.hp % 7 - (my.v3 * my.v4) + C5 - C6 * 2 + S7 - my.sp / 3 + "
      "pl.v1 - score + my.mhp * 2";
  cBenchHost host;
  for (int i = 0; i < kExprMemberCount; ++i) host.m_Members[0][i] = host.m_Members[1][i] = host.m_Members[5][i] = i + 1;
  for (int i = 0; i < 10; ++i) host.m_Common[i] = host.m_Stage[i] = 3 * i + 1;
  for (auto _ : state) {
    cExprResult result = RunCode(code, host);
    benchmark::DoNotOptimize(result.value);
  }
}
BENCHMARK(BM_ExpressionStatement)->Unit(benchmark::kMicrosecond);

// ---- Flow stepping (exec) ----
// One frame of 1,000 characters, each running an always-flow guarded by a
// condition on its own variable: a straight move and a code statement in
// the same sub-step. Target: under 1 ms a frame. The characters stand
// alone (no stage scene), so the frame is the flows' cost only.
void BM_ThousandCharactersStepTheirFlows(benchmark::State& state) {
  StageData.ApplySpeedLevel(1);
  InstallStageFlows();
  cEdCmd move;
  move.m_nKind = kCmdMoveStraight;
  move.m_nTogether = 1;  // the code runs in the same sub-step
  cEdMove::Create(move.m_pMove);
  move.m_pMove->m_f2 = 3;  // to the right
  cEdCmd code;
  code.m_nKind = kCmdRunCode;
  code.m_strText = "my.v1 = my.v1 + 1";
  cCond below;
  below.m_nKind = kCondCharacterVariable;
  below.m_nOperator = 5;  // v1 < 999999
  below.m_nConstant = 999999;
  cEdFlow flow;
  flow.m_vConds = {below};
  flow.m_vCmds = {move, code};
  cEdCharacter definition;
  definition.m_vFlows = {flow};
  std::list<cStageCharacter> characters;
  for (int i = 0; i < 1000; ++i) {
    cStageCharacter& c = characters.emplace_back();
    c.Setup(i + 1, definition, nullptr, nullptr, static_cast<uint16_t>(i), 0);
    c.SetFlows();
  }
  for (auto _ : state) {
    for (cStageCharacter& c : characters) {
      c.TriggerFlowsOfKind(kTriggerAlways);
      c.Frame(0);
      c.m_dSpeedX = 0;
      c.ClearFlowFrameFlags();  // the frame's end, as the play frame does it
    }
  }
  // Frames the first character's code counted: the flows really ran.
  state.counters["counted"] = characters.front().m_Status[0];
  SetFlowHost(nullptr);
  SetFlowHooks(nullptr);
}
BENCHMARK(BM_ThousandCharactersStepTheirFlows)->Unit(benchmark::kMillisecond);
// ---- end of flow stepping ----

}  // namespace

BENCHMARK_MAIN();
