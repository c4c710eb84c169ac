// The label tables: for every enumerated field of the definition records the
// Japanese labels of its values, in value order. The index a record stores is
// the position in its table, so these contents and orders are part of the
// data format. Texts are CP932 bytes.
//
// Each table is built once, on first use, by a function-local static, so a
// table may be read from any thread and from the constructor of any global
// object (there is no order of global construction to get wrong). Nothing
// writes a table after it is built. The tables live until exit.
//
// A table is reached through a constant handle named as the table, e.g.
// `FlowTriggerLabels[3]`, `CommandKindTable[19].number`. Indexing is checked:
// a value outside the table gives the empty label (or a default-built entry),
// never a read past the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A value label list and its terminator rule. Most lists end with the empty
// label (the terminator; a list is read up to it); a few have none.
struct LabelList {
  std::vector<std::string> labels;  // CP932; the terminator included when present
  bool terminated = true;
};

// {label, number}. In the command-kind tables the number is the count of
// 32-bit parameter words of that kind.
struct LabelEntry {
  std::string text;
  int32_t number = 0;

  LabelEntry() = default;
  // A null text gives the empty label.
  LabelEntry(const char* text, int32_t number);
};

// A status field a status operation or status condition names: its value
// range, its operand range and three flags carried as data.
struct StatusFieldEntry {
  std::string text;
  int32_t valueMin = 0;
  int32_t valueMax = 0;
  int32_t operandMin = 0;
  int32_t operandMax = 0;
  int32_t flag1 = 0;
  int32_t flag2 = 0;  // 1 for HP and SP only
  int32_t flag3 = 0;

  StatusFieldEntry() = default;
  // A null text gives the empty label.
  StatusFieldEntry(const char* text, int32_t valueMin, int32_t valueMax, int32_t operandMin,
                   int32_t operandMax, int32_t flag1, int32_t flag2, int32_t flag3);
};

// A field the status operation 2 command sets: its range and the labels of its
// values (copied from a label list up to its terminator).
struct StatusOp2Entry {
  std::string text;
  int32_t minimum = 0;
  int32_t maximum = 0;
  std::vector<std::string> valueLabels;
  int32_t third = 0;

  StatusOp2Entry() = default;
  // Copies the labels of `list` from its first element up to, not including,
  // the first empty label, or to the end of the list when it has none.
  // A null text gives the empty label.
  StatusOp2Entry(const char* text, int32_t minimum, int32_t maximum, int32_t third,
                 const LabelList& list);
};

// One parameter an arrange entry may change: {label, minimum, maximum}.
struct OperableParameter {
  std::string text;
  int32_t minimum = 0;
  int32_t maximum = 0;
};

// ---------------------------------------------------------------------------
// Handles. Each is a constant (built at compile time, before any constructor
// runs) holding the function that builds its table on first use.

class LabelListRef {
 public:
  using Builder = const LabelList& (*)();
  constexpr explicit LabelListRef(Builder build) : build_(build) {}

  const LabelList& List() const { return build_(); }
  // The labels, the terminator included when the list has one.
  const std::vector<std::string>& Labels() const { return build_().labels; }
  // Number of values (labels before the terminator).
  size_t Count() const {
    const LabelList& l = build_();
    return l.terminated && !l.labels.empty() ? l.labels.size() - 1 : l.labels.size();
  }
  // Number of stored strings, the terminator included.
  size_t Size() const { return build_().labels.size(); }
  bool Has(int64_t value) const { return value >= 0 && static_cast<uint64_t>(value) < Count(); }
  // The label of `value`; the empty label for a value outside the list.
  const std::string& operator[](int64_t value) const;

 private:
  Builder build_;
};

template <class Entry>
class EntryTableRef {
 public:
  using Builder = const std::vector<Entry>& (*)();
  constexpr explicit EntryTableRef(Builder build) : build_(build) {}

  const std::vector<Entry>& Entries() const { return build_(); }
  size_t Count() const { return build_().size(); }
  bool Has(int64_t value) const {
    return value >= 0 && static_cast<uint64_t>(value) < build_().size();
  }
  // The entry of `value`; a default-built entry (empty label, zero numbers)
  // for a value outside the table.
  const Entry& operator[](int64_t value) const {
    static const Entry kNone{};
    const std::vector<Entry>& t = build_();
    return Has(value) ? t[static_cast<size_t>(value)] : kNone;
  }

 private:
  Builder build_;
};

// The builders behind the handles; call the handles instead.
namespace labels_build {
#define PELMORA_LABEL_LIST(name) const LabelList& name();
#include "data/label_names.inc"
#undef PELMORA_LABEL_LIST
const std::vector<LabelEntry>& CommandKindTable();
const std::vector<LabelEntry>& ItemCommandKindTable();
const std::vector<StatusFieldEntry>& CharacterStatusTable();
const std::vector<StatusFieldEntry>& SystemStatusTable();
const std::vector<StatusOp2Entry>& StatusOperation2Table();
}  // namespace labels_build

#define PELMORA_LABEL_LIST(name) inline constexpr LabelListRef name{&labels_build::name};
#include "data/label_names.inc"
#undef PELMORA_LABEL_LIST

// ---------------------------------------------------------------------------
// Command kinds.

inline constexpr int kCommandKindCount = 40;      // flow commands (family 0)
inline constexpr int kItemCommandKindCount = 25;  // item commands (family non-zero)

// The kinds of flow commands (family 0) as the data files number them: the
// rows of `CommandKindTable`, in this order.
enum CommandKind : int {
  kCmdNone = 0,
  kCmdWait = 1,
  kCmdMoveStraight = 2,
  kCmdMoveGroundTurn = 3,     // walks on the ground, turning back at edges and walls
  kCmdMoveCircle = 4,
  kCmdMoveCharge = 5,
  kCmdMoveHoming = 6,
  kCmdMoveAvoidScreenEdge = 7,
  kCmdStopMoving = 8,
  kCmdTurn = 9,
  kCmdJump = 10,
  kCmdShot = 11,
  kCmdSword = 12,
  kCmdSummonBlock = 13,
  kCmdSummonCharacter = 14,
  kCmdSummonItem = 15,
  kCmdFlowControl = 16,       // starts, ends, pauses or removes flows
  kCmdStageClear = 17,
  kCmdGameWait = 18,
  kCmdMessage = 19,
  kCmdWarp = 20,
  kCmdSetTarget = 21,
  kCmdStatus = 22,
  kCmdStatus2 = 23,
  kCmdVanish = 24,
  kCmdGetItem = 25,
  kCmdChangeGraphic = 26,
  kCmdChangeAnimeSet = 27,
  kCmdPlayAnime = 28,
  kCmdPlayEffect = 29,
  kCmdPlayCharaEffect = 30,
  kCmdPlayScreenEffect = 31,
  kCmdShowPicture = 32,
  kCmdScreenColour = 33,
  kCmdChangeBackground = 34,
  kCmdPlaySound = 35,
  kCmdPlayBgm = 36,
  kCmdRunCode = 37,
  kCmdArrange = 38,
  kCmdLoop = 39,
};

// The item-command kinds of their own; item kinds 2..24 are the flow kinds
// from the stage clear on (`FlowKindOfItemKind`, `ItemKindOfFlowKind`).
enum ItemCommandKind : int {
  kItemCmdNone = 0,
  kItemCmdChangeFlow = 1,
};

// The kinds of flow commands with their parameter-word counts (40, no terminator).
inline constexpr EntryTableRef<LabelEntry> CommandKindTable{&labels_build::CommandKindTable};
// The kinds of item commands: 0 empty, 1 "フローの変更", 2..24 = flow kinds 17..39.
inline constexpr EntryTableRef<LabelEntry> ItemCommandKindTable{
    &labels_build::ItemCommandKindTable};

// The number of 32-bit parameter words of a command: family 0 reads
// `CommandKindTable`, any other family `ItemCommandKindTable`. A kind outside
// its family's table has no parameter words (0).
int CommandParameterWords(int family, int kind);

// The flow-command kind that item-command kind `itemKind` runs (itemKind + 15
// for 2..24); -1 for item kinds 0 and 1 and for kinds outside the table.
int FlowKindOfItemKind(int itemKind);
// The item-command kind of flow kind `flowKind` (flowKind - 15 for the stage
// clear and after); -1 for the kinds item commands do not have.
constexpr int ItemKindOfFlowKind(int flowKind) {
  return flowKind >= kCmdStageClear && flowKind < kCommandKindCount ? flowKind - 15 : -1;
}

// ---------------------------------------------------------------------------
// Flow triggers: what starts a flow, as the data files number them (the
// labels of `FlowTriggerLabels`, in this order).

enum FlowTrigger : int {
  kTriggerAlways = 0,
  kTriggerDamaged = 1,
  kTriggerKnockedBack = 2,
  kTriggerDied = 3,
  kTriggerTouchedCharacter = 4,
  kTriggerTouchedBlockCharacter = 5,
  kTriggerOnBlockCharacter = 6,
  kTriggerHitByShot = 7,
  kTriggerTouchedItem = 8,
  kTriggerTouchedBlock = 9,
  kTriggerBlockLeftOrRight = 10,
  kTriggerBlockLeft = 11,
  kTriggerBlockRight = 12,
  kTriggerBlockAboveOrBelow = 13,
  kTriggerBlockAbove = 14,
  kTriggerBlockBelow = 15,
  kTriggerRiddenByHero = 16,
  kTriggerRiddenByCharacter = 17,
  kTriggerAttackDamaged = 18,   // this character's attack did damage
  kTriggerAttackKnockedBack = 19,
  kTriggerAttackHit = 20,
  kTriggerBeforeStageStart = 21,
  kTriggerOnlyByFlowControl = 22,  // started only by a flow-control command
  kFlowTriggerCount = 23,
};

// ---------------------------------------------------------------------------
// Status tables.

// The 15 character status fields (no terminator).
inline constexpr EntryTableRef<StatusFieldEntry> CharacterStatusTable{
    &labels_build::CharacterStatusTable};
// The 5 system status fields (no terminator).
inline constexpr EntryTableRef<StatusFieldEntry> SystemStatusTable{
    &labels_build::SystemStatusTable};
// The 7 fields of the status operation 2 command (no terminator).
inline constexpr EntryTableRef<StatusOp2Entry> StatusOperation2Table{
    &labels_build::StatusOperation2Table};

// ---------------------------------------------------------------------------
// Fonts.

inline constexpr int kFontNameCount = 122;
// The font an out-of-range font index of the system data falls back to:
// "ＭＳ Ｐゴシック", the face a Japanese game most likely meant.
inline constexpr int kFallbackFontIndex = 60;
// The face name (CP932) of font index `index`; the fallback face for an index
// outside 0..121.
const std::string& FontFaceName(int64_t index);

// ---------------------------------------------------------------------------
// Operable parameters of the arrange command.

// Builds the operable-parameter table. Optional: every reader builds it on
// first use too; start-up calls it so the work is done before play.
void BuildOperableParameterTable();
// The parameters an arrange entry may change in a flow command of `kind`
// (0..39), in parameter-number order; empty for other kinds and for kinds
// without operable parameters.
const std::vector<OperableParameter>& OperableParameters(int kind);
// The parameter word that operable parameter `n` of `kind` reads and writes,
// for the kinds whose operable parameters live in the parameter words (stage
// clear, message, set target, status, vanish, change graphic, play effect,
// show picture, screen colour, change background); -1 for the others (their
// parameters live in the command's movement or shot record) and for n outside
// the kind's list.
int OperableParameterWord(int kind, int n);
