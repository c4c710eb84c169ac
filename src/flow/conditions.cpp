#include "flow/conditions.h"

#include <cstdlib>

#include "base/random.h"
#include "data/save_slots.h"
#include "flow/flow_state.h"
#include "flow/status_ops.h"

namespace {

// How a status condition reads a field: the width it compares at and the
// range a percentage is clamped to. Narrow fields (8 and 16 bits) compare both
// sides as signed values of their width: every such field's values fit the
// signed width, so they read the same as stored, and a negative constant
// reads as written ("character id >= -1" holds); a constant beyond the width
// wraps as a stored value would (8 bits: 200 reads as -56).
struct cFieldShape {
  int32_t bits;
  int32_t low, high;
};

constexpr cFieldShape kStatusShapes[kStatusFieldCount] = {
    {32, kValueMin, kValueMax},  // 0 character variable
    {32, 0, kValueMax},          // 1 HP
    {32, 0, kValueMax},          // 2 SP
    {32, 0, kValueMax},          // 3 maximum HP
    {32, 0, kValueMax},          // 4 maximum SP
    {8, 0, 99},                  // 5 character id
    {8, 0, 7},                   // 6 drawing layer
    {16, 0, 119},                // 7 emblem
    {8, 0, 40},                  // 8 sight
    {32, 0, kValueMax},          // 9 body-contact power
    {8, -20, 20},                // 10 body-contact impact
    {32, 0, kValueMax},          // 11 defence
    {8, 0, 20},                  // 12 impact resistance
    {16, 0, 200},                // 13 stopping ease
    {32, 0, kValueMax},          // 14 score when defeated
};

// Percent ranges of the game fields (time, scroll x, scroll y, score, lives).
constexpr int32_t kGameLow[kGameFieldCount] = {0, -480, -480, 0, 0};
constexpr int32_t kGameHigh[kGameFieldCount] = {999, 480, 480, kValueMax, 99};

// A value as a signed field of `bits` bits reads it.
int32_t Narrow(int32_t value, int32_t bits) {
  if (bits == 8) return static_cast<int8_t>(value);
  if (bits == 16) return static_cast<int16_t>(value);
  return value;
}

int32_t Clamped(int32_t value, int32_t low, int32_t high) {
  ClampValue(value, low, high);
  return value;
}

// The object a subject byte names: 0 the character, 1..4 its target slots.
cFlowActor* SubjectActor(cFlowHost& host, cFlowActor* character, int32_t subject) {
  if (subject == 0) return character;
  if (subject >= 1 && subject <= 4 && character) return host.Target(character, subject - 1);
  return nullptr;
}

// Lives compare as 100 while unlimited, unless the project makes such a
// condition false.
bool ReadGameValue(cFlowHost& host, int32_t field, int32_t& value) {
  if (field < 0 || field >= kGameFieldCount) return false;
  value = field == kGameTime && !host.HasTimeLimit() ? 0 : host.GameValue(field);
  if (field == kGameLives && value >= kUnlimitedLives) {
    if (host.Switches().livesUnlimitedFalse) return false;
    value = 100;
  }
  return true;
}

// The right side of a status condition; false when it names nothing.
bool RightValue(cFlowHost& host, const cCond& c, cFlowActor* character, int32_t& value) {
  switch (c.m_nRightSource) {
    case 0:
      value = c.m_nConstant;
      return true;
    case 1:
      value = RandomRange(c.m_nRandomMin, c.m_nRandomMax);
      return true;
    case 2: {
      if (c.m_nRightSubject == 5) return ReadGameValue(host, c.m_nRightField, value);
      cFlowActor* object = SubjectActor(host, character, c.m_nRightSubject);
      if (!object) return false;
      const int32_t field = c.m_nRightField;
      if (field < 0 || field >= kStatusFieldCount) return false;
      if (field == kStatusSight && host.ObjectKind(object) != 0) return false;
      value = host.ReadStatus(object, field, static_cast<int16_t>(c.m_nRightVarNumber));
      return true;
    }
    case 3:
      if (c.m_nRightVarKind == 0) {
        value = host.CommonVariable(static_cast<int16_t>(c.m_nRightVarNumber));
        return true;
      }
      if (c.m_nRightVarKind == 1) {
        value = host.StageVariable(static_cast<int16_t>(c.m_nRightVarNumber));
        return true;
      }
      return false;
    default:
      return false;
  }
}

}  // namespace

bool CompareByOperator(int32_t left, int32_t right, int32_t op) {
  // 64 bits: |INT32_MIN| and INT32_MIN % -1 stay defined.
  const int64_t l = left, r = right;
  switch (op) {
    case 0: return l == r;
    case 1: return l != r;
    case 2: return l >= r;
    case 3: return l <= r;
    case 4: return l > r;
    case 5: return l < r;
    case 6: return r == 0 || std::llabs(l) % r == 0;
    case 7: return r != 0 && std::llabs(l) % r != 0;
    default: return false;
  }
}

bool CompareByOperator16(int16_t left, int16_t right, int32_t op) { return CompareByOperator(left, right, op); }

bool CheckConditionList(const std::vector<cCond>& list, int32_t mode, cFlowActor* character) {
  if (mode == 0) {
    for (const cCond& c : list)
      if (!EvaluateCondition(c, character)) return false;
    return true;
  }
  if (mode == 1) {
    for (const cCond& c : list)
      if (EvaluateCondition(c, character)) return true;
    return false;
  }
  return false;
}

bool CheckFlowConditions(cFlowState& flow, cFlowActor* character) {
  const cEdFlow& definition = flow.Definition();
  if (definition.m_vConds.empty()) return true;
  if (definition.m_nOnlyOnce && flow.m_bConditionsMetOnce) return true;
  if (!CheckConditionList(definition.m_vConds, definition.m_nCondMode, character)) return false;
  flow.m_bConditionsMetOnce = 1;
  return true;
}

bool EvaluateCondition(const cCond& c, cFlowActor* character) {
  cFlowHost* host = FlowHost();
  if (!host) return false;
  const int32_t number = static_cast<int16_t>(c.m_nVarNumber);
  switch (c.m_nKind) {
    case kCondCommonVariable:
      return CompareByOperator(host->CommonVariable(number), c.m_nConstant, c.m_nOperator);
    case kCondStageVariable:
      return CompareByOperator(host->StageVariable(number), c.m_nConstant, c.m_nOperator);
    case kCondCharacterVariable:
      if (!character) return false;
      return CompareByOperator(host->CharacterVariable(character, number), c.m_nConstant, c.m_nOperator);
    case kCondStatus:
      return EvaluateStatusCondition(c, character);
    case kCondStatus2:
      return EvaluateStatusCondition2(character, c);
    case kCondStatus3:
      return EvaluateStatusCondition3(character, c);
    case kCondDistance:
      return character && host->EvaluateDistanceCondition(character, c);
    default:
      return false;
  }
}

bool EvaluateStatusCondition(const cCond& c, cFlowActor* character) {
  cFlowHost* host = FlowHost();
  if (!host) return false;
  int32_t right = 0;
  if (!RightValue(*host, c, character, right)) return false;
  const bool percent = c.m_nPercent != 0;
  const int32_t op = c.m_nOperator;

  if (c.m_nLeftKind == 1) {
    const int32_t number = static_cast<int16_t>(c.m_nVarNumber);
    const int32_t left = c.m_nVarScope == 0 ? host->CommonVariable(number) : host->StageVariable(number);
    // A percentage of a variable is a percentage of nothing: 0.
    if (percent) right = 0;
    return CompareByOperator(left, right, op);
  }
  if (c.m_nLeftKind != 0) return false;

  if (c.m_nSubject == 5) {
    const int32_t field = c.m_nField;
    int32_t left = 0;
    if (!ReadGameValue(*host, field, left)) return false;
    if (percent) right = Clamped(0, kGameLow[field], kGameHigh[field]);
    return CompareByOperator(left, right, op);
  }

  cFlowActor* object = SubjectActor(*host, character, c.m_nSubject);
  if (!object) return false;
  const int32_t field = c.m_nField;
  if (field < 0) return false;
  if (field >= kStatusFieldCount) return true;
  const cFieldShape& shape = kStatusShapes[field];
  const int32_t left = host->ReadStatus(object, field, static_cast<int16_t>(c.m_nVarNumber));
  if (percent) {
    if (field == kStatusHp || field == kStatusSp) {
      const int32_t maximum = host->ReadStatus(object, field == kStatusHp ? kStatusMaxHp : kStatusMaxSp, 0);
      right = Clamped(PercentOf(maximum, right), 0, kValueMax);
    } else {
      right = Clamped(0, shape.low, shape.high);
    }
  }
  return CompareByOperator(Narrow(left, shape.bits), Narrow(right, shape.bits), op);
}

bool EvaluateStatusCondition2(cFlowActor* character, const cCond& c) {
  cFlowHost* host = FlowHost();
  if (!host) return false;
  cFlowActor* object = nullptr;
  if (c.m_nSubject != 5) {
    object = SubjectActor(*host, character, c.m_nSubject);
    if (!object) return false;
  }
  int32_t value = 0;
  if (!host->StatusValue2(object, c.m_nField, value)) return false;
  return CompareByOperator16(static_cast<int16_t>(value), static_cast<int16_t>(c.m_nVarNumber), c.m_nOperator);
}

bool EvaluateStatusCondition3(cFlowActor* character, const cCond& c) {
  cFlowHost* host = FlowHost();
  if (!host) return false;
  const bool negate = c.m_nOperator == 1;
  const int32_t state = c.m_nField;
  if (state == 4) {
    // Exists: the character itself always; a target while it is not dying.
    bool exists = true;
    if (c.m_nSubject != 0) {
      cFlowActor* object = SubjectActor(*host, character, c.m_nSubject);
      exists = object && !host->IsDying(object);
    }
    return exists != negate;
  }
  if (state < 0 || state > 3) return false;
  cFlowActor* object = SubjectActor(*host, character, c.m_nSubject);
  if (!object) return false;  // not negated
  bool holds = false;
  switch (state) {
    case 0:
    case 1: {
      int32_t facing = 0;
      if (!host->Facing(object, facing)) return false;
      holds = facing == state;
      break;
    }
    case 2:
      holds = host->StandsOnBlock(object);
      break;
    default:
      holds = host->IsOnScreen(object);
      break;
  }
  return holds != negate;
}
