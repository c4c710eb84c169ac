// The arithmetic of status and variable writes, and the arrange entries.
#include "flow/status_ops.h"

#include <algorithm>
#include <limits>

#include "base/errors.h"
#include "data/flow.h"
#include "data/labels.h"
#include "data/move_shot.h"

namespace {

constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

int32_t Saturate32(int64_t v) { return static_cast<int32_t>(std::clamp(v, kInt32Min, kInt32Max)); }

// The exact percentage of a 64-bit product, rounded half away from zero:
// p / 100 with the remainder deciding the rounding. The same result as
// value x percent x 0.01 in double precision followed by rounding, without
// its loss of precision on large products.
int64_t PercentOfProduct(int64_t product) {
  int64_t q = product / 100;
  int64_t r = product % 100;
  if (r >= 50) ++q;
  if (r <= -50) --q;
  return q;
}

// The operation in 64 bits; the caller clamps. Products of two 32-bit
// values fit, so a multiply that leaves the range saturates at the bound it
// runs into; INT_MIN / -1 is just 2^31.
int64_t Operate(int64_t value, int64_t operand, int32_t op) {
  switch (op) {
    case kOpSet: return operand;
    case kOpAdd: return value + operand;
    case kOpSubtract: return value - operand;
    case kOpMultiply: return value * operand;
    case kOpDivide: return operand == 0 ? value : value / operand;
    case kOpRemainder: return operand == 0 ? value : value % operand;
    case kOpPercent: return PercentOfProduct(value * operand);
    default: return value;
  }
}

int32_t Clamped(int64_t v, int32_t minimum, int32_t maximum) {
  // A reversed pair of bounds (never in the tables) keeps the lower one.
  if (maximum < minimum) maximum = minimum;
  return static_cast<int32_t>(std::clamp<int64_t>(v, minimum, maximum));
}

}  // namespace

void ClampValue(int32_t& value, int32_t minimum, int32_t maximum) { value = Clamped(value, minimum, maximum); }

int32_t PercentOf(int32_t value, int32_t percent) {
  return Saturate32(PercentOfProduct(static_cast<int64_t>(value) * percent));
}

int32_t OperationResult(int32_t value, int32_t operand, int32_t op, int32_t minimum, int32_t maximum) {
  return Clamped(Operate(value, operand, op), minimum, maximum);
}

void ApplyOperation(int32_t& value, int32_t operand, int32_t op, int32_t minimum, int32_t maximum) {
  value = OperationResult(value, operand, op, minimum, maximum);
}


// ---------------------------------------------------------------------------
// Arrange

namespace {

// One operable parameter held in a command's movement or shot record.
struct cRecordParameter {
  int32_t (*get)(const cEdCmd&);
  void (*set)(cEdCmd&, int32_t);
  // 0: the table's maximum; 1: the formation's bound for pattern parameter
  // `which`; 2: the movement type's bound for movement parameter `which`.
  int32_t boundSource = 0;
  int32_t which = 0;
};

#define PELMORA_MOVE(getter, setter)                                              \
  cRecordParameter {                                                              \
    [](const cEdCmd& c) { return c.m_pMove->getter(); },                          \
    [](cEdCmd& c, int32_t v) { c.m_pMove->setter(v); }, 0, 0                      \
  }
#define PELMORA_SHOT(getter, setter)                                              \
  cRecordParameter {                                                              \
    [](const cEdCmd& c) { return c.m_pShot->getter(); },                          \
    [](cEdCmd& c, int32_t v) { c.m_pShot->setter(v); }, 0, 0                      \
  }
#define PELMORA_SHOT_PATTERN(i)                                                   \
  cRecordParameter {                                                              \
    [](const cEdCmd& c) { return c.m_pShot->PatternParam(i); },                   \
    [](cEdCmd& c, int32_t v) { c.m_pShot->SetPatternParam(i, v); }, 1, i          \
  }
#define PELMORA_SHOT_MOVE(i)                                                      \
  cRecordParameter {                                                              \
    [](const cEdCmd& c) { return c.m_pShot->MoveParam(i); },                      \
    [](cEdCmd& c, int32_t v) { c.m_pShot->SetMoveParam(i, v); }, 2, i             \
  }

// The record fields behind the operable parameters of the kinds that keep
// them in a record, in the order of the kinds' operable lists. The homing
// move's "badness" and the warp's distance are the movement record's
// distance pair.
const std::vector<cRecordParameter>& RecordParameters(int32_t kind) {
  static const std::vector<cRecordParameter> kNone;
  static const std::vector<cRecordParameter> straight = {
      PELMORA_MOVE(TargetBlockX, SetTargetBlockX), PELMORA_MOVE(TargetDotX, SetTargetDotX),
      PELMORA_MOVE(TargetBlockY, SetTargetBlockY), PELMORA_MOVE(TargetDotY, SetTargetDotY),
      PELMORA_MOVE(AngleStart, SetAngleStart),     PELMORA_MOVE(AngleStep, SetAngleStep),
  };
  static const std::vector<cRecordParameter> homing = {
      PELMORA_MOVE(DistanceStart, SetDistanceStart), PELMORA_MOVE(DistanceStep, SetDistanceStep),
      PELMORA_MOVE(TargetBlockX, SetTargetBlockX),   PELMORA_MOVE(TargetDotX, SetTargetDotX),
      PELMORA_MOVE(TargetBlockY, SetTargetBlockY),   PELMORA_MOVE(TargetDotY, SetTargetDotY),
  };
  static const std::vector<cRecordParameter> warp = {
      PELMORA_MOVE(DistanceStart, SetDistanceStart), PELMORA_MOVE(DistanceStep, SetDistanceStep),
      PELMORA_MOVE(TargetBlockX, SetTargetBlockX),   PELMORA_MOVE(TargetDotX, SetTargetDotX),
      PELMORA_MOVE(TargetBlockY, SetTargetBlockY),   PELMORA_MOVE(TargetDotY, SetTargetDotY),
  };
  static const std::vector<cRecordParameter> shot = {
      PELMORA_SHOT(Graphic, SetGraphic),
      PELMORA_SHOT(DrawLayer, SetDrawLayer),
      PELMORA_SHOT_PATTERN(0),
      PELMORA_SHOT_PATTERN(1),
      PELMORA_SHOT_PATTERN(2),
      PELMORA_SHOT(ObjectCount, SetObjectCount),
      PELMORA_SHOT(ExtraCount, SetExtraCount),
      PELMORA_SHOT(BaseAngle, SetBaseAngle),
      PELMORA_SHOT(AngleStep, SetAngleStep),
      PELMORA_SHOT(RandomSpread, SetRandomSpread),
      PELMORA_SHOT(StartX, SetStartX),
      PELMORA_SHOT(StepX, SetStepX),
      PELMORA_SHOT(StartY, SetStartY),
      PELMORA_SHOT(StepY, SetStepY),
      PELMORA_SHOT(FactionNumber, SetFactionNumber),
      PELMORA_SHOT_MOVE(0),
      PELMORA_SHOT_MOVE(1),
      PELMORA_SHOT_MOVE(2),
      PELMORA_SHOT(Speed, SetSpeed),
      PELMORA_SHOT(SpeedStep, SetSpeedStep),
      PELMORA_SHOT(Acceleration, SetAcceleration),
      PELMORA_SHOT(AccelerationStep, SetAccelerationStep),
      PELMORA_SHOT(Range, SetRange),
      PELMORA_SHOT(RangeStep, SetRangeStep),
      PELMORA_SHOT(Lifetime, SetLifetime),
      PELMORA_SHOT(LifetimeStep, SetLifetimeStep),
      PELMORA_SHOT(VanishOnHit, SetVanishOnHit),
      PELMORA_SHOT(Power, SetPower),
      PELMORA_SHOT(Impact, SetImpact),
  };
  static const std::vector<cRecordParameter> sword = {
      PELMORA_SHOT(FactionNumber, SetFactionNumber),
      PELMORA_SHOT(DrawLayer, SetDrawLayer),
      PELMORA_SHOT(Power, SetPower),
      PELMORA_SHOT(Impact, SetImpact),
  };
  static const std::vector<cRecordParameter> summonBlock = {
      PELMORA_SHOT_PATTERN(0),           PELMORA_SHOT_PATTERN(1),
      PELMORA_SHOT_PATTERN(2),           PELMORA_SHOT(ObjectCount, SetObjectCount),
      PELMORA_SHOT(StartX, SetStartX),   PELMORA_SHOT(StartY, SetStartY),
      PELMORA_SHOT(Lifetime, SetLifetime),
  };
  static const std::vector<cRecordParameter> summonCharacter = {
      PELMORA_SHOT(FactionNumber, SetFactionNumber),
      PELMORA_SHOT_PATTERN(0),           PELMORA_SHOT_PATTERN(1),
      PELMORA_SHOT_PATTERN(2),           PELMORA_SHOT(ObjectCount, SetObjectCount),
      PELMORA_SHOT(StartX, SetStartX),   PELMORA_SHOT(StartY, SetStartY),
      PELMORA_SHOT(Lifetime, SetLifetime),
  };
  static const std::vector<cRecordParameter> summonItem = {
      PELMORA_SHOT_PATTERN(0),           PELMORA_SHOT_PATTERN(1),
      PELMORA_SHOT_PATTERN(2),           PELMORA_SHOT(ObjectCount, SetObjectCount),
      PELMORA_SHOT(StartX, SetStartX),   PELMORA_SHOT(StartY, SetStartY),
  };
  switch (kind) {
    case kCmdMoveStraight:
    case kCmdMoveCharge: return straight;
    case kCmdMoveHoming: return homing;
    case kCmdWarp: return warp;
    case kCmdShot: return shot;
    case kCmdSword: return sword;
    case kCmdSummonBlock: return summonBlock;
    case kCmdSummonCharacter: return summonCharacter;
    case kCmdSummonItem: return summonItem;
    default: return kNone;
  }
}

#undef PELMORA_MOVE
#undef PELMORA_SHOT
#undef PELMORA_SHOT_PATTERN
#undef PELMORA_SHOT_MOVE

bool UsesMoveRecord(int32_t kind) {
  return kind == kCmdMoveStraight || kind == kCmdMoveCharge || kind == kCmdMoveHoming || kind == kCmdWarp;
}

// The largest values of the three parameters of each firing pattern and of
// each shot movement type, as their editors bound them. A parameter a
// pattern or type does not have is held at 0.
constexpr int32_t kPatternBounds[][3] = {
    {40, 0, 0},   // straight A: gap (hbl)
    {40, 0, 0},   // straight B: gap (hbl)
    {180, 0, 0},  // spread: angle
    {40, 50, 40}, // lightning: gap, rows, row gap
    {0, 0, 0},    // explosion
    {40, 0, 0},   // surround: distance (hbl)
};
constexpr int32_t kMoveTypeBounds[][3] = {
    {0, 0, 0},      // straight
    {40, 0, 0},     // aim at the hero: turn point (hbl)
    {40, 7, 0},     // aim at the nearest: turn point, side
    {40, 0, 0},     // aim at the target
    {40, 999, 0},   // home on the hero: start, end (hbl)
    {40, 999, 7},   // home on the nearest: start, end, side
    {40, 999, 0},   // home on the target
    {40, 999, 7},   // home on the nearest, changing targets
    {100, 100, 359},// wave: height, speed, start angle
    {40, 0, 0},     // fall: turn point
};

// The kind's entry in flow numbering, the item family's kinds + 15.
int32_t FlowKindOf(const cEdCmd& command) {
  int32_t kind = command.m_nKind;
  if (!command.IsItemCommand()) return kind >= 0 && kind < kCommandKindCount ? kind : -1;
  return FlowKindOfItemKind(kind);
}

bool ParameterWordOf(int32_t kind, int32_t n, size_t& word) {
  int w = OperableParameterWord(kind, n);
  if (w < 0) return false;
  word = static_cast<size_t>(w);
  return true;
}

}  // namespace

cArrangeEntry MakeArrangeEntry(const cEdCmd& command) {
  cArrangeEntry entry;
  for (size_t i = 0; i < entry.words.size(); ++i) entry.words[i] = static_cast<int32_t>(command.Word(i));
  return entry;
}

int32_t ArrangeKindOf(const cEdCmd& command) { return FlowKindOf(command); }

bool GetOperableParameter(const cEdCmd& command, int32_t n, int32_t& value) {
  int32_t kind = FlowKindOf(command);
  if (n < 0 || kind < 0 || static_cast<size_t>(n) >= OperableParameters(kind).size()) return false;
  size_t word = 0;
  if (ParameterWordOf(kind, n, word)) {
    if (word >= command.m_vParams.size()) return false;
    value = static_cast<int32_t>(command.m_vParams[word]);
    return true;
  }
  const std::vector<cRecordParameter>& params = RecordParameters(kind);
  if (static_cast<size_t>(n) >= params.size()) return false;
  if (UsesMoveRecord(kind) ? !command.m_pMove : !command.m_pShot) return false;
  value = params[static_cast<size_t>(n)].get(command);
  return true;
}

bool SetOperableParameter(cEdCmd& command, int32_t n, int32_t value) {
  int32_t kind = FlowKindOf(command);
  if (n < 0 || kind < 0 || static_cast<size_t>(n) >= OperableParameters(kind).size()) return false;
  size_t word = 0;
  if (ParameterWordOf(kind, n, word)) {
    if (word >= command.m_vParams.size()) return false;
    command.m_vParams[word] = static_cast<uint32_t>(value);
    return true;
  }
  const std::vector<cRecordParameter>& params = RecordParameters(kind);
  if (static_cast<size_t>(n) >= params.size()) return false;
  if (UsesMoveRecord(kind) ? !command.m_pMove : !command.m_pShot) return false;
  params[static_cast<size_t>(n)].set(command, value);
  return true;
}

bool OperableBounds(const cEdCmd& command, int32_t n, int32_t& minimum, int32_t& maximum) {
  int32_t kind = FlowKindOf(command);
  const std::vector<OperableParameter>& list = OperableParameters(kind);
  if (n < 0 || static_cast<size_t>(n) >= list.size()) return false;
  minimum = list[static_cast<size_t>(n)].minimum;
  maximum = list[static_cast<size_t>(n)].maximum;
  const std::vector<cRecordParameter>& params = RecordParameters(kind);
  if (static_cast<size_t>(n) < params.size() && command.m_pShot) {
    const cRecordParameter& p = params[static_cast<size_t>(n)];
    // An unknown pattern or movement type has no parameters: bound 0.
    if (p.boundSource == 1) {
      int32_t pattern = command.m_pShot->Pattern();
      maximum = pattern >= 0 && pattern < static_cast<int32_t>(std::size(kPatternBounds))
                    ? kPatternBounds[pattern][p.which] : 0;
    } else if (p.boundSource == 2) {
      int32_t type = command.m_pShot->MoveKind();
      maximum = type >= 0 && type < static_cast<int32_t>(std::size(kMoveTypeBounds))
                    ? kMoveTypeBounds[type][p.which] : 0;
    }
  }
  return true;
}

bool ApplyArrangeEntry(cEdCmd& command, const cArrangeEntry& entry, const cArrangeOperandReader& operands) {
  int32_t kind = FlowKindOf(command);
  if (kind < 0 || entry.Kind() != kind || OperableParameters(kind).empty()) return false;
  int32_t current = 0, minimum = 0, maximum = 0;
  if (!GetOperableParameter(command, entry.Parameter(), current) ||
      !OperableBounds(command, entry.Parameter(), minimum, maximum)) {
    // A parameter number the kind does not have: the entry is dropped
    // instead of touching a parameter it does not name.
    ShowDebugError("arrange: parameter %d of kind %d cannot be changed", entry.Parameter(), kind);
    return false;
  }
  int32_t operand = entry.Value();
  int32_t operandKind = entry.OperandKind();
  if (operandKind >= 0 && operandKind <= 2) {
    if (!operands || !operands(operandKind, entry.Value(), operand)) return false;
  }
  ApplyOperation(current, operand, entry.Operation(), minimum, maximum);
  return SetOperableParameter(command, entry.Parameter(), current);
}

void ApplyArrangeList(cEdCmd& command, const cArrangeList* entries, const cArrangeOperandReader& operands) {
  if (!entries) return;
  for (const cArrangeEntry& entry : *entries) ApplyArrangeEntry(command, entry, operands);
}

