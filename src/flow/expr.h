// The code language of the "run code" command: one statement per command
// that reads and assigns numbers, for example
//
//   my.hp = my.hp + (C3 * 2)        C1 = rand(1, 6)        tg2.v4 = S10 % 7
//
// Words are separated by single spaces. A word is an operator (= + - * / %),
// a common or stage variable ("C<n>", "S<n>", counted from 0), a status of an
// object ("my", "tg"/"tg1".."tg4", "pl" before a dot, "my" when there is no
// dot: v1..v8 hp sp mhp msp cid z mark sight power imp def impd stop getsc),
// a game value (time scrlx scrly score life) or a number (the decimal number
// the word starts with, 0 when none). "*", "/" and "%" bind tighter than "+"
// and "-", which bind tighter than "="; all of them group from the left.
// Parentheses and calls of "rand(a, b)" are replaced by their value in the
// text before the statement is evaluated, so "C(2)" names C2.
//
// Every assignment keeps the target within its bounds; arithmetic saturates
// at the 32-bit range; a division by zero, a wrong assignment target, an
// unknown object, an unknown variable number or any malformed statement is
// an error: the statement stops where it is (nothing is assigned after an
// error, and an error inside parentheses assigns nothing at all).
//
// The language reaches the game only through cExprHost. Game thread only.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

// Objects a word can name before its dot.
enum class ExprObject : uint8_t {
  kMy,       // the running character
  kTarget1,  // "tg" and "tg1"
  kTarget2,
  kTarget3,
  kTarget4,
  kHero,     // "pl": the first hero
  kSystem,   // "sys": no object
};

// Status members of an object, in the language's order (v1..v8 are 0..7).
enum class ExprMember : uint8_t {
  kV1, kV2, kV3, kV4, kV5, kV6, kV7, kV8,
  kHp, kSp, kMaxHp, kMaxSp, kCharacterId, kLayer, kEmblem, kSight,
  kBodyPower, kBodyImpact, kDefence, kImpactResistance, kStoppingEase, kDefeatScore,
};
inline constexpr int kExprMemberCount = 22;

// Game values.
enum class ExprSystem : uint8_t { kTime, kScrollX, kScrollY, kScore, kLife };
inline constexpr int kExprSystemCount = 5;

// A member's name and bounds as assignments use them. The bounds of "hp"
// and "sp" reach up to the object's maximum HP or SP at the time of the
// assignment; the table holds 0..999999 for them. The bounds lie inside the
// width of the field the host stores the member in.
struct cExprMemberInfo {
  const char* name;
  int32_t minimum;
  int32_t maximum;
};
const cExprMemberInfo& ExprMemberInfo(ExprMember member);
const char* ExprObjectName(ExprObject object);
const char* ExprSystemName(ExprSystem which);

// A value of the game with the bounds an assignment to it is held to.
struct cExprCell {
  int32_t value = 0;
  int32_t minimum = 0;
  int32_t maximum = 0;
};

enum class ExprErrorKind : uint8_t {
  kNone,
  kNoClosingParenthesis,  // ")"が見つかりません！
  kBadArguments,          // 関数 %s の引数が不正です！
  kUnknownObject,         // オブジェクト "%s." が認識できません！
  kNoObject,              // an empty target slot or no hero: no message
  kObjectSetting,         // a member of "sys"
  kVariable,              // a variable word without a number, or a number outside
  kSystemUnavailable,     // a game value this host does not have
  kDivisionByZero,        // 0除算が行われました！(%s)
  kBadAssignTarget,       // 代入先が不正です！
  kOperator,              // an operator without both neighbours
  kTooLong,               // the text, nesting or number of groups is past its cap
};

struct cExprError {
  ExprErrorKind kind = ExprErrorKind::kNone;
  std::string text;        // the message (CP932); set for every kind
  bool shown = false;      // shown in an error box even with error display off
  bool silent = false;     // shown nowhere (kNoObject)
};

// What a statement may read and change. Values handed to the write
// functions are already within their bounds.
class cExprHost {
 public:
  virtual ~cExprHost() = default;
  // Whether `object` (not kSystem) names a character now: the running
  // character, a target slot holding one, the first hero. A word of an
  // absent object ends the statement with an error that shows no message.
  virtual bool HasObject(ExprObject object) = 0;
  virtual int32_t ReadMember(ExprObject object, ExprMember member) = 0;
  // Stores the value and applies what follows from it: HP of another
  // object than the running character below 1 asks the stage for a life
  // check; a new maximum HP or SP brings HP or SP into 1..maximum; a
  // hero's sight rebuilds its sight mask.
  virtual void WriteMember(ExprObject object, ExprMember member, int32_t value) = 0;
  // Common ('C') or stage ('S') variable `index`; false (nothing read or
  // written) when there is no such variable.
  virtual bool ReadVariable(char kind, int32_t index, int32_t& value) = 0;
  virtual bool WriteVariable(char kind, int32_t index, int32_t value) = 0;
  // A game value: `cell` arrives holding the language's bounds for it, the
  // host fills the value and may widen the bounds (unlimited lives). False
  // when the game value is not available here.
  virtual bool ReadSystem(ExprSystem which, cExprCell& cell) = 0;
  // Stores it; a new scroll speed restarts the auto-scroller on its axis.
  virtual void WriteSystem(ExprSystem which, int32_t value) = 0;
  // A value from min(a, b) to max(a, b), from the game's generator.
  virtual int32_t Random(int32_t a, int32_t b);
  // After a statement ran without an error: the running character's HP or
  // SP changed by that much (a change of 0 starts no gauge).
  virtual void StartGauges(int32_t hpChange, int32_t spChange) {}
  // An error of `statement` (see cExprError). Default: nothing.
  virtual void ReportError(std::string_view statement, const cExprError& error) {}
};

struct cExprResult {
  bool ok = true;          // false after an error (then `error` tells which)
  int32_t value = 0;       // the statement's value (0 for an empty one)
  cExprError error;
};

// Caps that keep hostile texts cheap: longer texts, deeper nesting of
// parentheses or more groups in one statement are errors.
inline constexpr size_t kExprMaxTextBytes = 5119;
inline constexpr int kExprMaxDepth = 256;
inline constexpr int kExprMaxGroups = 256;

// Runs one statement (the text ends at its first NUL byte). On success, the
// running character's HP and SP changes start their gauges; on error, the
// host's ReportError is called once with the error.
cExprResult RunCode(std::string_view text, cExprHost& host);

// What a word names, for callers that set or print values by the language's
// names ("C3", "S0", "my.v1", "tg2.hp", "score"). False for a word that is
// not a variable, member or game value.
struct cExprName {
  enum Kind : uint8_t { kVariable, kMember, kSystem } kind = kVariable;
  char variable = 'C';
  int32_t index = 0;
  ExprObject object = ExprObject::kMy;
  ExprMember member = ExprMember::kV1;
  ExprSystem system = ExprSystem::kTime;
};
bool ParseExprName(std::string_view word, cExprName& name);
std::string FormatExprName(const cExprName& name);

// The error messages of a stage attempt: each statement's message is logged
// and shown the first time only, so that a failing statement in a flow that
// runs every sub-step does not stop the game with a box each time.
class cExprMessageLog {
 public:
  // True the first time `statement` gives `message` since the last Clear
  // (after 4096 different ones, false: a hostile stage cannot grow it).
  bool FirstTime(std::string_view statement, std::string_view message);
  void Clear() { m_Seen.clear(); }
  size_t Count() const { return m_Seen.size(); }

 private:
  std::set<std::string, std::less<>> m_Seen;
};
// The log the stage's statements report to; cleared when an attempt starts.
cExprMessageLog& StageExprMessages();

// Runs `text` as the "run code" command of the running character (the
// current-object slot) over the installed flow host. Errors go to the host's
// error display and log, each once per attempt (StageExprMessages()); a
// message that needs error display on is still logged when it is off. 1
// when the statement ran, 0 after an error or with no host installed.
int32_t RunCodeCommand(std::string_view text);
