// Numbers that flows change: the arithmetic every status and variable write
// goes through, the status operation of flow commands, and the arrange
// queue that changes one parameter of a later command.
//
// All arithmetic here is done in 64 bits (or exactly on integers where a
// percentage is taken) and clamped to the target's bounds before it is
// stored, so no operand an author enters can overflow, trap on a division
// or wrap a narrow field: the result is always the bound the value ran into.
// Game thread only.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <vector>

class cEdCmd;
class cFlowActor;
class cFlowHost;

// The range every variable (common, stage, character) is held to.
inline constexpr int32_t kValueMin = -999999;
inline constexpr int32_t kValueMax = 999999;

// Operations shared by the status operation and arrange.
enum OperationKind : int32_t {
  kOpSet = 0,
  kOpAdd = 1,
  kOpSubtract = 2,
  kOpMultiply = 3,  // saturates at the bounds
  kOpDivide = 4,    // a divisor of 0 leaves the value as it is
  kOpRemainder = 5, // likewise
  kOpPercent = 6,   // value x operand %, rounded half away from zero
};

// Clamps in place.
void ClampValue(int32_t& value, int32_t minimum, int32_t maximum);
// `value` x `percent` / 100, rounded half away from zero (exact: no
// intermediate rounding or wrap), saturated to the 32-bit range.
int32_t PercentOf(int32_t value, int32_t percent);
// Operation `op` (OperationKind; any other value changes nothing) of
// `operand` on `value`, then the clamp to [minimum, maximum].
// Narrow fields (bytes and 16-bit words of a character) go through it with
// bounds inside their width, so the stored value is the clamped result,
// never a wrapped one.
void ApplyOperation(int32_t& value, int32_t operand, int32_t op, int32_t minimum, int32_t maximum);
// The result of ApplyOperation as a value (for callers holding a copy).
int32_t OperationResult(int32_t value, int32_t operand, int32_t op, int32_t minimum, int32_t maximum);

// ---- Arrange ----

// One queued parameter change, the five words of an arrange command:
// the command kind it aims at (flow numbering; item kinds count as kind +
// 15), the parameter number within that kind's operable list, the
// operation, the operand kind (0 common variable, 1 stage variable, 2
// character variable, other: constant) and the value (the constant, or the
// variable number).
struct cArrangeEntry {
  std::array<int32_t, 5> words{};
  int32_t Kind() const { return words[0]; }
  int32_t Parameter() const { return words[1]; }
  int32_t Operation() const { return words[2]; }
  int32_t OperandKind() const { return words[3]; }
  int32_t Value() const { return words[4]; }
  bool operator==(const cArrangeEntry&) const = default;
};
// Pending entries in order of arrival (a flow's, or the hero's for item
// commands). Entries are values: a list can be copied with its owner.
using cArrangeList = std::list<cArrangeEntry>;

// The entry an arrange command queues: its first five parameter words.
cArrangeEntry MakeArrangeEntry(const cEdCmd& command);

// Kind number of a command as arrange entries name it: the flow kind, or
// the item kind + 15 for item commands; -1 for item kinds 0 and 1 (they
// have no flow twin) and for kinds outside both tables.
int32_t ArrangeKindOf(const cEdCmd& command);

// The operable parameters of each kind (labels and bounds) are the data
// layer's table (data/labels.h: OperableParameters, OperableParameterWord);
// these read and write them in a command.

// Parameter `n` of `command` as the operable list of its kind names it;
// false (and `value` untouched) when the kind has no such parameter or the
// command lacks the record or word that holds it.
bool GetOperableParameter(const cEdCmd& command, int32_t n, int32_t& value);
// Writes it (the caller has clamped the value to the bounds).
bool SetOperableParameter(cEdCmd& command, int32_t n, int32_t value);
// The bounds of parameter `n` of `command`: the table's, with the maximum
// of formation- and movement-type-specific parameters taken from the
// command's shot record. False for a parameter the kind does not have.
bool OperableBounds(const cEdCmd& command, int32_t n, int32_t& minimum, int32_t& maximum);

// Reads the operand variable of an arrange entry: operand kind 0 common,
// 1 stage, 2 character variable `number`. False when the number lies
// outside its vector: the entry then changes nothing.
using cArrangeOperandReader = std::function<bool(int32_t operandKind, int32_t number, int32_t& value)>;
// Applies `entry` to `command` when the entry aims at its kind: the
// parameter read, changed by the entry's operation and operand within its
// bounds, written back. An operand variable outside its vector, a parameter
// number the kind does not have, or an entry for another kind change
// nothing. True when the parameter was written.
bool ApplyArrangeEntry(cEdCmd& command, const cArrangeEntry& entry, const cArrangeOperandReader& operands);
// Every entry of `entries` in order (nothing for a null list); the list is
// left as it is (the caller empties it).
void ApplyArrangeList(cEdCmd& command, const cArrangeList* entries, const cArrangeOperandReader& operands);
// The operand variables of `actor` read through `host`: common numbers
// 1..1000, stage numbers 1..999, character variables 0..7.
cArrangeOperandReader HostArrangeOperands(cFlowHost& host, cFlowActor* actor);
// What a command start does with its flow's pending entries: each applied
// to `command` for the current character, in order, through the installed
// host. The list is left as it is (the caller empties it).
void ApplyPendingArranges(cEdCmd& command, cArrangeList& pending);

// ---- Status operation ----

// Numbers of the variable vectors as the status operation checks them.
inline constexpr int32_t kCommonVariableSlots = 1001;  // 0..1000 (the game uses 1..1000)
inline constexpr int32_t kStageVariableSlots = 1000;   // 0..999
inline constexpr int32_t kCharacterVariableSlots = 8;  // v1..v8 as 0..7

// Words of a status operation command.
enum StatusOperationWord : size_t {
  kSoTargetClass = 0,    // 0 a status, 1 a variable
  kSoScope = 1,          // variable scope: 0 common, 1 stage
  kSoNumber = 2,         // variable number (character variable for field 0)
  kSoSubject = 3,        // 0 self, 1..4 target slot, 5 the game
  kSoField = 4,
  kSoOperation = 5,
  kSoSource = 6,         // operand: 0 constant, 1 random, 2 status, 3 variable
  kSoConstant = 7,
  kSoRandomA = 8,
  kSoRandomB = 9,
  kSoOperandScope = 10,
  kSoOperandNumber = 11,
  kSoOperandSubject = 12,
  kSoOperandField = 13,
  kSoPercentOfCurrent = 14,  // low byte
  kSoHpSpMode = 15,          // 0 plain, 1 % of the maximum, 2 % of the current value
  kSoGauge = 16,
  kSoSkipInvincible = 17,
  kStatusOperationWords = 18,
};

// The bounds a status operation holds a character status field or a game
// field to; false for a field outside the tables.
bool StatusFieldBounds(int32_t field, int32_t& minimum, int32_t& maximum);
bool GameFieldBounds(int32_t field, int32_t& minimum, int32_t& maximum);

// Carries out a status operation command (its 18 words) for `self`, the
// character running it, through `host`. A missing target (an empty target
// slot), a field or scope outside the tables or a variable number outside
// its vector changes nothing.
void RunStatusOperation(cFlowHost& host, cFlowActor* self, const cEdCmd& command);
