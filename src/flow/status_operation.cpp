// The status operation of flow commands and the host side of arrange:
// what statuses, game values and variables a status operation reaches, with
// their bounds and side effects, over the flow host.
#include <algorithm>
#include <cstdint>
#include <string>

#include "base/errors.h"
#include "base/random.h"
#include "data/flow.h"
#include "flow/flow_host.h"
#include "flow/flow_state.h"
#include "flow/status_ops.h"

cArrangeOperandReader HostArrangeOperands(cFlowHost& host, cFlowActor* actor) {
  return [&host, actor](int32_t operandKind, int32_t number, int32_t& value) {
    switch (operandKind) {
      case 0:
        if (number < 1 || number >= kCommonVariableSlots) return false;
        value = host.CommonVariable(number);
        return true;
      case 1:
        if (number < 1 || number >= kStageVariableSlots) return false;
        value = host.StageVariable(number);
        return true;
      case 2:
        if (!actor || number < 0 || number >= kCharacterVariableSlots) return false;
        value = host.CharacterVariable(actor, number);
        return true;
      default: return false;
    }
  };
}

void ApplyPendingArranges(cEdCmd& command, cArrangeList& pending) {
  cFlowHost* host = FlowHost();
  if (!host || pending.empty()) return;
  ApplyArrangeList(command, &pending, HostArrangeOperands(*host, CurrentCharacter()));
}

// ---------------------------------------------------------------------------
// Status operation

namespace {

struct cBounds {
  int32_t minimum;
  int32_t maximum;
};

// Per status field: what a status operation holds the value to.
constexpr cBounds kStatusBounds[kStatusFieldCount] = {
    {kValueMin, kValueMax},  // character variable
    {0, 999999},             // HP (then applied as a change)
    {0, 999999},             // SP
    {0, 999999},             // maximum HP
    {0, 999999},             // maximum SP
    {0, 99},                 // character id
    {0, 7},                  // drawing layer
    {0, 119},                // emblem number
    {0, 40},                 // sight (half blocks)
    {kValueMin, kValueMax},  // body-contact power
    {-20, 20},               // body-contact impact
    {0, 999999},             // defence
    {0, 20},                 // impact resistance
    {0, 200},                // stopping ease
    {kValueMin, kValueMax},  // score when defeated
};
constexpr cBounds kGameBounds[kGameFieldCount] = {
    {0, 999},        // time
    {-480, 480},     // horizontal scroll speed
    {-480, 480},     // vertical scroll speed
    {0, 999999},     // score
    {0, 99},         // lives
};

// The object a subject word names for `self`: itself, or target slot
// 1..4; null for an empty slot or another subject.
cFlowActor* SubjectActor(cFlowHost& host, cFlowActor* self, int32_t subject) {
  if (subject == 0) return self;
  if (subject >= 1 && subject <= 4 && self) return host.Target(self, subject - 1);
  return nullptr;
}

bool VariableInRange(int32_t scope, int32_t number) {
  if (scope == 0) return number >= 0 && number < kCommonVariableSlots;
  if (scope == 1) return number >= 0 && number < kStageVariableSlots;
  return false;
}

int32_t ReadVariable(cFlowHost& host, int32_t scope, int32_t number) {
  return scope == 0 ? host.CommonVariable(number) : host.StageVariable(number);
}

// Reads the operand of a status operation; false ends the command with no
// change (an empty target slot, a field, scope or number outside its
// table).
bool ReadOperand(cFlowHost& host, cFlowActor* self, const cEdCmd& c, int32_t& operand) {
  auto word = [&c](size_t i) { return static_cast<int32_t>(c.Word(i)); };
  switch (word(kSoSource)) {
    case 0: operand = word(kSoConstant); return true;
    case 1: operand = RandomRange(word(kSoRandomA), word(kSoRandomB)); return true;
    case 2: {
      int32_t subject = word(kSoOperandSubject);
      int32_t field = word(kSoOperandField);
      if (subject == 5) {
        if (field < 0 || field >= kGameFieldCount) return false;
        operand = host.GameValue(field);
        return true;
      }
      cFlowActor* actor = SubjectActor(host, self, subject);
      if (!actor || field < 0 || field >= kStatusFieldCount) return false;
      int32_t number = word(kSoOperandNumber);
      if (field == kStatusVariable && (number < 0 || number >= kCharacterVariableSlots)) return false;
      operand = host.ReadStatus(actor, field, number);
      return true;
    }
    case 3: {
      int32_t scope = word(kSoOperandScope), number = word(kSoOperandNumber);
      if (!VariableInRange(scope, number)) return false;
      operand = ReadVariable(host, scope, number);
      return true;
    }
    default: return false;
  }
}

void ReportBadWord(cFlowHost& host, const char* what, int32_t value) {
  std::string text;
  FormatString(text, "status operation: %s %d is out of range", what, value);
  host.ShowDebugError(text);
}

void OperateOnVariable(cFlowHost& host, const cEdCmd& c, int32_t operand) {
  int32_t scope = static_cast<int32_t>(c.Word(kSoScope));
  int32_t number = static_cast<int32_t>(c.Word(kSoNumber));
  if (!VariableInRange(scope, number)) return ReportBadWord(host, "variable", number);
  int32_t value = ReadVariable(host, scope, number);
  if (c.Word(kSoPercentOfCurrent) & 0xff) operand = PercentOf(value, operand);
  ApplyOperation(value, operand, static_cast<int32_t>(c.Word(kSoOperation)), kValueMin, kValueMax);
  if (scope == 0) host.SetCommonVariable(number, value);
  else host.SetStageVariable(number, value);
}

void OperateOnGame(cFlowHost& host, const cEdCmd& c, int32_t operand) {
  int32_t field = static_cast<int32_t>(c.Word(kSoField));
  int32_t minimum = 0, maximum = 0;
  if (!GameFieldBounds(field, minimum, maximum)) return ReportBadWord(host, "game field", field);
  int32_t value = host.GameValue(field);
  // Unlimited lives stay unlimited: held to 0..99 they would become 99
  // lives that run out.
  if (field == kGameLives && value >= kUnlimitedLives) return;
  ApplyOperation(value, operand, static_cast<int32_t>(c.Word(kSoOperation)), minimum, maximum);
  host.SetGameValue(field, value);
  host.GameValueWritten(field);
}

void OperateOnStatus(cFlowHost& host, cFlowActor* self, const cEdCmd& c, int32_t operand) {
  cFlowActor* target = SubjectActor(host, self, static_cast<int32_t>(c.Word(kSoSubject)));
  if (!target) return;  // an empty target slot
  if (c.Word(kSoSkipInvincible) != 0 && host.IsInvincible(target)) return;
  int32_t field = static_cast<int32_t>(c.Word(kSoField));
  int32_t op = static_cast<int32_t>(c.Word(kSoOperation));
  int32_t minimum = 0, maximum = 0;
  if (!StatusFieldBounds(field, minimum, maximum)) return ReportBadWord(host, "status field", field);
  int32_t number = static_cast<int32_t>(c.Word(kSoNumber));
  if (field == kStatusVariable && (number < 0 || number >= kCharacterVariableSlots)) {
    return ReportBadWord(host, "character variable", number);
  }
  int32_t current = host.ReadStatus(target, field, number);
  if (field == kStatusHp || field == kStatusSp) {
    switch (c.Word(kSoHpSpMode)) {
      case 1: operand = PercentOf(host.ReadStatus(target, field == kStatusHp ? kStatusMaxHp : kStatusMaxSp, 0), operand); break;
      case 2: operand = PercentOf(current, operand); break;
      default: break;
    }
    int32_t changed = OperationResult(current, operand, op, minimum, maximum);
    // The change goes through the character's own HP and SP rules
    // (invincibility, its maximum, its gauge).
    const int64_t delta = int64_t{changed} - current;  // a file's HP may lie below 0
    host.ChangeHpSp(target, field, static_cast<int32_t>(std::clamp<int64_t>(delta, INT32_MIN, INT32_MAX)),
                    static_cast<int32_t>(c.Word(kSoGauge)));
    if (field == kStatusHp && target != self && host.ReadStatus(target, kStatusHp, 0) < 1) host.RequestLifeCheck();
    return;
  }
  if (c.Word(kSoPercentOfCurrent) & 0xff) operand = PercentOf(current, operand);
  ApplyOperation(current, operand, op, minimum, maximum);
  host.WriteStatus(target, field, number, current);
  host.StatusWritten(target, field);
}

}  // namespace

bool StatusFieldBounds(int32_t field, int32_t& minimum, int32_t& maximum) {
  if (field < 0 || field >= kStatusFieldCount) return false;
  minimum = kStatusBounds[field].minimum;
  maximum = kStatusBounds[field].maximum;
  return true;
}

bool GameFieldBounds(int32_t field, int32_t& minimum, int32_t& maximum) {
  if (field < 0 || field >= kGameFieldCount) return false;
  minimum = kGameBounds[field].minimum;
  maximum = kGameBounds[field].maximum;
  return true;
}

void RunStatusOperation(cFlowHost& host, cFlowActor* self, const cEdCmd& command) {
  int32_t operand = 0;
  if (!ReadOperand(host, self, command, operand)) return;
  switch (command.Word(kSoTargetClass)) {
    case 0:
      if (command.Word(kSoSubject) == 5) OperateOnGame(host, command, operand);
      else OperateOnStatus(host, self, command, operand);
      break;
    case 1: OperateOnVariable(host, command, operand); break;
    default: break;
  }
}

// ---------------------------------------------------------------------------
// The host's status entries for a host without characters' own rules.

void cFlowHost::ChangeHpSp(cFlowActor* actor, int32_t field, int32_t delta, int32_t /*gauge*/) {
  int64_t value = int64_t{ReadStatus(actor, field, 0)} + delta;
  WriteStatus(actor, field, 0, static_cast<int32_t>(std::clamp<int64_t>(value, 0, 999999)));
}
bool cFlowHost::IsInvincible(cFlowActor*) { return false; }
void cFlowHost::RequestLifeCheck() {}
void cFlowHost::StatusWritten(cFlowActor*, int32_t) {}
void cFlowHost::GameValueWritten(int32_t) {}
cArrangeList* cFlowHost::HeroArranges() { return nullptr; }
