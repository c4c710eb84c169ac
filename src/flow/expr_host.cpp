// The code language over the running stage: the "run code" command's view of
// the current-object slots, the statuses, variables and game values the flow
// host gives, and its once-per-attempt error messages.
#include <string>

#include "data/save_slots.h"
#include "flow/expr.h"
#include "flow/flow_host.h"
#include "flow/status_ops.h"

void cFlowHost::StartGauge(cFlowActor*, int32_t, int32_t) {}
void cFlowHost::ShowError(const std::string& text) { ShowDebugError(text); }

bool cExprMessageLog::FirstTime(std::string_view statement, std::string_view message) {
  std::string key(statement);
  key += '\0';
  key += message;
  if (m_Seen.count(key)) return false;
  if (m_Seen.size() >= 4096) return false;
  m_Seen.insert(std::move(key));
  return true;
}

cExprMessageLog& StageExprMessages() {
  static cExprMessageLog log;
  return log;
}

namespace {

// Status fields of the flow host for the language's members 8..21 (hp ..
// getsc); v1..v8 are the character variables 0..7.
int32_t FieldOf(ExprMember member) { return static_cast<int>(member) - 7; }

constexpr int32_t kGameFieldOf[kExprSystemCount] = {kGameTime, kGameScrollX, kGameScrollY, kGameScore, kGameLives};

class cStageExprHost final : public cExprHost {
 public:
  explicit cStageExprHost(cFlowHost& host) : m_Host(host), m_Self(host.Current().character) {}

  cFlowActor* Actor(ExprObject object) {
    switch (object) {
      case ExprObject::kMy: return m_Self;
      case ExprObject::kTarget1:
      case ExprObject::kTarget2:
      case ExprObject::kTarget3:
      case ExprObject::kTarget4:
        return m_Self ? m_Host.Target(m_Self, static_cast<int32_t>(object) - static_cast<int32_t>(ExprObject::kTarget1))
                      : nullptr;
      case ExprObject::kHero: return m_Host.Hero();
      case ExprObject::kSystem: return nullptr;
    }
    return nullptr;
  }

  bool HasObject(ExprObject object) override { return Actor(object) != nullptr; }

  int32_t ReadMember(ExprObject object, ExprMember member) override {
    const int m = static_cast<int>(member);
    if (m < 8) return m_Host.CharacterVariable(Actor(object), m);
    return m_Host.ReadStatus(Actor(object), FieldOf(member), 0);
  }

  void WriteMember(ExprObject object, ExprMember member, int32_t value) override {
    cFlowActor* actor = Actor(object);
    const int m = static_cast<int>(member);
    if (m < 8) return m_Host.SetCharacterVariable(actor, m, value);
    const int32_t field = FieldOf(member);
    m_Host.WriteStatus(actor, field, 0, value);
    switch (member) {
      case ExprMember::kHp:
        if (actor != m_Self && value < 1) m_Host.RequestLifeCheck();
        break;
      case ExprMember::kMaxHp:
      case ExprMember::kMaxSp: {
        // The current value follows its new maximum into 1..maximum.
        const int32_t current = member == ExprMember::kMaxHp ? kStatusHp : kStatusSp;
        int32_t v = m_Host.ReadStatus(actor, current, 0);
        int32_t held = v;
        ClampValue(held, 1, value);
        if (held != v) m_Host.WriteStatus(actor, current, 0, held);
        break;
      }
      default:
        // Derived values (the stopping speed, a hero's sight mask) follow.
        m_Host.StatusWritten(actor, field);
        break;
    }
  }

  bool ReadVariable(char kind, int32_t index, int32_t& value) override {
    if (kind == 'C' && index >= 0 && index < kCommonVariableSlots) {
      value = m_Host.CommonVariable(index);
      return true;
    }
    if (kind == 'S' && index >= 0 && index < kStageVariableSlots) {
      value = m_Host.StageVariable(index);
      return true;
    }
    return false;
  }

  bool WriteVariable(char kind, int32_t index, int32_t value) override {
    int32_t unused = 0;
    if (!ReadVariable(kind, index, unused)) return false;
    if (kind == 'C') m_Host.SetCommonVariable(index, value);
    else m_Host.SetStageVariable(index, value);
    return true;
  }

  bool ReadSystem(ExprSystem which, cExprCell& cell) override {
    cell.value = m_Host.GameValue(kGameFieldOf[static_cast<int>(which)]);
    if (which == ExprSystem::kLife && cell.value >= kUnlimitedLives) {
      // Unlimited lives read as 100 (or as 0 where the project makes them
      // count as none) and may be assigned up to the unlimited value.
      cell.value = m_Host.Switches().livesUnlimitedFalse ? 0 : 100;
      cell.maximum = kUnlimitedLives;
    }
    return true;
  }

  void WriteSystem(ExprSystem which, int32_t value) override {
    const int32_t field = kGameFieldOf[static_cast<int>(which)];
    m_Host.SetGameValue(field, value);
    m_Host.GameValueWritten(field);
  }

  void StartGauges(int32_t hpChange, int32_t spChange) override {
    if (!m_Self) return;
    if (hpChange != 0) m_Host.StartGauge(m_Self, kStatusHp, hpChange);
    if (spChange != 0) m_Host.StartGauge(m_Self, kStatusSp, spChange);
  }

  void ReportError(std::string_view statement, const cExprError& error) override {
    if (error.silent || !StageExprMessages().FirstTime(statement, error.text)) return;
    if (error.shown) m_Host.ShowError(error.text);
    else m_Host.ShowDebugError(error.text);
  }

 private:
  cFlowHost& m_Host;
  cFlowActor* m_Self;
};

}  // namespace

int32_t RunCodeCommand(std::string_view text) {
  cFlowHost* host = FlowHost();
  if (!host) return 0;
  cStageExprHost stage(*host);
  return RunCode(text, stage).ok ? 1 : 0;
}
