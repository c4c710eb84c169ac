// Conditions of flows and of the flow-operation command: comparisons of a
// variable, a status or a game value with a constant, a random number,
// another status or a variable; the character states (facing, standing, on
// screen, existing); distances; and the key sequences a flow may require.
//
// Operators 0..7: ==, !=, >=, <=, >, <, divisible, not divisible. A right
// side of 0 decides the last two (divisible true, not divisible false), so
// nothing is ever divided by zero; the arithmetic is done in 64 bits so that
// no value a file can hold overflows.
#pragma once

#include <cstdint>
#include <vector>

#include "data/conditions.h"
#include "flow/flow_host.h"

class cFlowState;
class cActorFlows;
class cFlowKey;
class cInput;

// Condition kinds.
enum CondKind : int32_t {
  kCondCommonVariable = 1,
  kCondStageVariable = 2,
  kCondCharacterVariable = 3,
  kCondStatus = 4,
  kCondStatus2 = 5,
  kCondStatus3 = 6,
  kCondDistance = 7,
};

bool CompareByOperator(int32_t left, int32_t right, int32_t op);
bool CompareByOperator16(int16_t left, int16_t right, int32_t op);

// Mode 0: all must hold (an empty list holds); mode 1: one must hold (an
// empty list fails); other modes fail. Stops at the first deciding one.
bool CheckConditionList(const std::vector<cCond>& list, int32_t mode, cFlowActor* character);
// A flow's own conditions, with its only-once option.
bool CheckFlowConditions(cFlowState& flow, cFlowActor* character);
bool EvaluateCondition(const cCond& condition, cFlowActor* character);
bool EvaluateStatusCondition(const cCond& condition, cFlowActor* character);
bool EvaluateStatusCondition2(cFlowActor* character, const cCond& condition);
bool EvaluateStatusCondition3(cFlowActor* character, const cCond& condition);

// --- key conditions (key_conditions.cpp) ---
// 1 when the flow may start as far as its key steps go.
int CheckFlowKeyConditions(cActorFlows& flows, cFlowState& flow);
// The first of the ten direction records whose newest run is held, else 0.
int32_t FirstHeldDirection(const cInput& input);
// Whether `step` holds on the newest run of each tested record (no facing
// mirroring, no hold times): for the hero's variable jump.
bool KeyStepHeldNow(const cInput& input, const cFlowKey& step);
