#include "data/flow.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <type_traits>

#include "base/program.h"
#include "data/block.h"
#include "data/character.h"
#include "data/inheritance.h"
#include "data/item.h"
#include "data/labels.h"
#include "data/system_data.h"

bool KeepTestPlayFlows() { return bFromEditor.load() != 0 || SystemData.Num(kSysKeepTestFlows) != 0; }

void EraseTestPlayFlows(std::vector<cEdFlow>& flows) {
  if (KeepTestPlayFlows()) return;
  std::erase_if(flows, [](const cEdFlow& f) { return f.m_nTestPlay != 0; });
}

bool ReadFlowList(cDataReader& in, std::vector<cEdFlow>& list) { return ReadRecordList(in, list); }
void WriteFlowList(cDataWriter& out, const std::vector<cEdFlow>& list) { WriteCheckedList(out, list); }
bool ReadCommandList(cDataReader& in, std::vector<cEdCmd>& list) { return ReadRecordList(in, list); }
void WriteCommandList(cDataWriter& out, const std::vector<cEdCmd>& list) { WriteCheckedList(out, list); }

// ---- cFlowKey ----

cFlowKey::cFlowKey() { m_vKeys.assign(19, 0); }

cFlowKey::cFlowKey(cForReading) {}

void cFlowKey::DefineFields(int32_t version) {
  ClearDeclarations();
  Declare(m_nMode, "mode");
  Declare(m_nWord1, "word1");
  Declare(m_nWord2, "word2");
  Declare(m_nByte1, "byte1");
  Declare(m_nByte2, "byte2");
}

bool cFlowKey::Read(cDataReader& in) { return cRecord::Read(in) && ReadValueList(in, m_vKeys); }

void cFlowKey::Write(cDataWriter& out) {
  CutStrings();
  WriteAsChecked(out);
}

void cFlowKey::WriteAsChecked(cDataWriter& out) const {
  WriteBody(out);
  WriteValueList(out, m_vKeys);
}

void cFlowKey::DumpLists(cJsonWriter& json) {
  json.Key("keys");
  json.BeginArray();
  for (uint8_t k : m_vKeys) json.UInt(k);
  json.EndArray();
}

// ---- cEdCmd ----

cEdCmd::cEdCmd() { m_nOption = 1; }

cEdCmd::~cEdCmd() = default;

cEdCmd::cEdCmd(const cEdCmd& other) : cRecord(other) { CopyContents(other); }

cEdCmd& cEdCmd::operator=(const cEdCmd& other) {
  // A command copied onto itself must not release the objects it copies.
  if (&other != this) CopyContents(other);
  return *this;
}

cEdCmd::cEdCmd(cEdCmd&& other) noexcept
    : cRecord(),
      m_nFamily(other.m_nFamily),
      m_nKind(other.m_nKind),
      m_strText(std::move(other.m_strText)),
      m_nDuration(other.m_nDuration),
      m_nWord(other.m_nWord),
      m_nTogether(other.m_nTogether),
      m_nSound(other.m_nSound),
      m_nOption(other.m_nOption),
      m_nAnime(other.m_nAnime),
      m_vParams(std::move(other.m_vParams)),
      m_pMove(std::move(other.m_pMove)),
      m_pShot(std::move(other.m_pShot)),
      m_pCondList(std::move(other.m_pCondList)),
      m_vFlows(std::move(other.m_vFlows)) {}

cEdCmd& cEdCmd::operator=(cEdCmd&& other) noexcept {
  if (&other == this) return *this;
  m_nFamily = other.m_nFamily;
  m_nKind = other.m_nKind;
  m_strText = std::move(other.m_strText);
  m_nDuration = other.m_nDuration;
  m_nWord = other.m_nWord;
  m_nTogether = other.m_nTogether;
  m_nSound = other.m_nSound;
  m_nOption = other.m_nOption;
  m_nAnime = other.m_nAnime;
  m_vParams = std::move(other.m_vParams);
  m_pMove = std::move(other.m_pMove);
  m_pShot = std::move(other.m_pShot);
  m_pCondList = std::move(other.m_pCondList);
  m_vFlows = std::move(other.m_vFlows);
  return *this;
}

void cEdCmd::CopyContents(const cEdCmd& other) {
  m_nFamily = other.m_nFamily;
  m_nKind = other.m_nKind;
  m_strText = other.m_strText;
  m_nDuration = other.m_nDuration;
  m_nWord = other.m_nWord;
  m_nTogether = other.m_nTogether;
  m_nSound = other.m_nSound;
  m_nOption = other.m_nOption;
  m_nAnime = other.m_nAnime;
  m_vParams = other.m_vParams;
  // Each copy gets objects of its own.
  m_pMove = other.m_pMove ? std::make_shared<cEdMove>(*other.m_pMove) : nullptr;
  m_pShot = other.m_pShot ? std::make_shared<cEdShot>(*other.m_pShot) : nullptr;
  m_pCondList = other.m_pCondList ? std::make_shared<cCondList>(*other.m_pCondList) : nullptr;
  m_vFlows = other.m_vFlows;
}

void cEdCmd::DefineFields(int32_t version) {
  ClearDeclarations();
  Declare(m_nFamily, "family");
  Declare(m_nKind, "kind");
  DeclareString(m_strText, "text");
  Declare(m_nDuration, "duration");
  Declare(m_nWord, "word");
  Declare(m_nTogether, "together");
  Declare(m_nSound, "sound");
  Declare(m_nOption, "option");
  Declare(m_nAnime, "anime");
}

namespace {

// Reads a presence word and, when it is set, a new default object's body.
template <class T>
bool ReadObject(cDataReader& in, std::shared_ptr<T>& holder) {
  holder.reset();
  uint32_t present = 0;
  if (!in.ReadU32(present)) return false;
  if (!present) return true;
  if (!in.Charge(HeapBytes(sizeof(T) + 16))) return false;  // the object and its count block
  T::Create(holder);
  return holder->Read(in);
}

template <class T>
void WriteObject(cDataWriter& out, const std::shared_ptr<T>& holder) {
  out.WriteU32(holder ? 1 : 0);
  if (holder) holder->WriteAsChecked(out);
}

}  // namespace

bool cEdCmd::Read(cDataReader& in) {
  const int32_t v = nFileVersion;
  if (!cRecord::Read(in)) return false;
  if (!ReadObject(in, m_pMove) || !ReadObject(in, m_pShot)) return false;
  if (v >= 764) {
    if (!ReadObject(in, m_pCondList)) return false;
  } else {
    m_pCondList.reset();
  }
  if (!ReadFlowList(in, m_vFlows)) return false;
  if (!ReadValueList(in, m_vParams)) return false;
  if (v < kDataVersion) Migrate(v);
  EraseTestPlayFlows(m_vFlows);
  CheckOwnDatabaseIndices();
  return true;
}

void cEdCmd::Write(cDataWriter& out) {
  ValidateDatabaseIndices();
  CutStrings();
  WriteAsChecked(out);
}

void cEdCmd::WriteAsChecked(cDataWriter& out) const {
  WriteBody(out);
  WriteObject(out, m_pMove);
  WriteObject(out, m_pShot);
  WriteObject(out, m_pCondList);
  WriteFlowList(out, m_vFlows);
  WriteValueList(out, m_vParams);
}

void cEdCmd::DumpLists(cJsonWriter& json) {
  json.Key("params");
  json.BeginArray();
  for (uint32_t w : m_vParams) json.UInt(w);
  json.EndArray();
  if (m_pMove) {
    json.Key("move");
    m_pMove->DumpJson(json);
  }
  if (m_pShot) {
    json.Key("shot");
    m_pShot->DumpJson(json);
  }
  if (m_pCondList) {
    json.Key("condList");
    m_pCondList->DumpJson(json);
  }
  DumpRecordList(json, "flows", m_vFlows);
}

namespace {

// The parameter words as the migrations see them: signed 32-bit values; a
// word the command does not have reads 0 and takes no writes.
class cWords {
 public:
  explicit cWords(std::vector<uint32_t>& w) : w_(w) {}
  int32_t operator[](size_t i) const { return i < w_.size() ? static_cast<int32_t>(w_[i]) : 0; }
  void Set(size_t i, int64_t value) {
    if (i < w_.size()) w_[i] = static_cast<uint32_t>(value);
  }
  void Add(size_t i, int64_t delta) { Set(i, (*this)[i] + delta); }
  void Size(size_t n) { w_.resize(n, 0); }
  // Words i .. n-2 move one place up (the last word is dropped).
  void ShiftFrom(size_t i) {
    for (size_t j = w_.size(); j-- > i + 1;) w_[j] = w_[j - 1];
  }

 private:
  std::vector<uint32_t>& w_;
};

// Status operation commands renumbered their status fields twice (168, 203).
void ShiftStatusOperation(cWords& w, int above) {
  if (w[0] == 0 && w[3] != 2 && w[4] > above) w.Add(4, 1);
  if (w[6] == 2 && w[12] != 2 && w[13] > above) w.Add(13, 1);
}

// Version 734 brought the vanish command in at 24: every kind from there on
// moved up one. The number a kind was stored under before that.
constexpr int Before734(CommandKind kind) { return kind > kCmdVanish ? kind - 1 : kind; }

// One migration row: files older than `before` apply `step` to a command of
// `kind` as stored at that version (flow numbering; an item command takes
// the row under its item kind, kind - 15, unless the row is for flow
// commands only). The rows run in table order, which is the order of the
// versions.
enum class Family : uint8_t { kBoth, kFlowOnly };
constexpr int kAnyKind = -1;

struct CommandMigration {
  int32_t before;
  int kind;
  Family family;
  void (*step)(cEdCmd& cmd, cWords& w);
};

// Sets the words 11.. of a message command in turn (from 547 on).
void SetWords(cWords& w, size_t first, std::initializer_list<int32_t> values) {
  for (int32_t v : values) w.Set(first++, v);
}

constexpr CommandMigration kCommandMigrations[] = {
    {145, kCmdStageClear, Family::kBoth, [](cEdCmd&, cWords& w) { w.Size(9); }},
    {166, Before734(kCmdPlayBgm), Family::kBoth,
     [](cEdCmd&, cWords& w) {
       w.Size(2);
       w.Set(1, 1);
     }},
    {168, kCmdStatus, Family::kBoth, [](cEdCmd&, cWords& w) { ShiftStatusOperation(w, 9); }},
    {189, kCmdSetTarget, Family::kBoth,
     [](cEdCmd&, cWords& w) {
       w.Size(16);
       w.ShiftFrom(2);
       w.Set(2, 0);
     }},
    {194, Before734(kCmdShowPicture), Family::kBoth,
     [](cEdCmd&, cWords& w) {
       w.Size(15);
       w.ShiftFrom(6);
       w.Set(6, 1);
     }},
    {195, Before734(kCmdPlayCharaEffect), Family::kBoth,
     [](cEdCmd&, cWords& w) {
       w.Size(3);
       w.ShiftFrom(1);
       w.Set(1, 0);
     }},
    {195, Before734(kCmdPlayScreenEffect), Family::kBoth,
     [](cEdCmd&, cWords& w) {
       w.Size(3);
       w.ShiftFrom(1);
       w.Set(1, 0);
     }},
    {203, kCmdSummonCharacter, Family::kFlowOnly, [](cEdCmd&, cWords& w) { w.Size(0); }},
    {203, kCmdSummonItem, Family::kFlowOnly, [](cEdCmd&, cWords& w) { w.Size(0); }},
    {203, kCmdFlowControl, Family::kFlowOnly, [](cEdCmd&, cWords& w) { w.Size(4); }},
    {203, kCmdStatus, Family::kBoth, [](cEdCmd&, cWords& w) { ShiftStatusOperation(w, 4); }},
    {210, kCmdStatus2, Family::kBoth,
     [](cEdCmd&, cWords& w) {
       if (w[0] != 2 && w[1] > 5) w.Add(1, 1);
     }},
    {219, Before734(kCmdChangeGraphic), Family::kBoth,
     [](cEdCmd&, cWords& w) {
       if (w[0] == 3) w.Set(1, std::min<int64_t>(int64_t{w[1]} + 1, 119));
     }},
    {220, kCmdShot, Family::kFlowOnly,
     [](cEdCmd& c, cWords&) {
       if (c.m_pShot) c.m_pShot->m_nGraphic = static_cast<uint16_t>(std::min(c.m_pShot->m_nGraphic + 1, 119));
     }},
    {514, kCmdMoveCharge, Family::kFlowOnly,
     [](cEdCmd& c, cWords&) {
       if (!c.m_pMove) return;
       c.m_pMove->m_f3 = 0;
       c.m_pMove->m_f4 = 0;
       c.m_pMove->m_f5 = 1;
     }},
    {545, kCmdMessage, Family::kBoth,
     [](cEdCmd&, cWords& w) {
       w.Size(18);
       w.Set(10, 1);
     }},
    {545, Before734(kCmdShowPicture), Family::kBoth,
     [](cEdCmd&, cWords& w) {
       w.Size(15);
       w.Set(11, 0);
     }},
    {546, kCmdMessage, Family::kBoth, [](cEdCmd&, cWords& w) { w.Set(10, (w[0] == 0 || w[0] == 7) ? 1 : 0); }},
    {547, kCmdMessage, Family::kBoth,
     [](cEdCmd&, cWords& w) {
       w.Size(18);
       SetWords(w, 11, {0, 0, 0, 1, 0});
     }},
    {547, Before734(kCmdShowPicture), Family::kBoth,
     [](cEdCmd&, cWords& w) {
       w.Size(15);
       SetWords(w, 12, {0, 0});
     }},
    {556, kCmdMessage, Family::kBoth,
     [](cEdCmd&, cWords& w) {
       w.Size(18);
       w.Set(16, 1);
     }},
    {722, kCmdStageClear, Family::kBoth,
     [](cEdCmd&, cWords& w) {
       if (w[0] > 1) w.Add(0, 1);
     }},
    {723, kCmdMessage, Family::kBoth,
     [](cEdCmd&, cWords& w) {
       w.Size(18);
       w.Set(17, 0);
     }},
    {723, Before734(kCmdShowPicture), Family::kBoth,
     [](cEdCmd&, cWords& w) {
       w.Size(15);
       w.Set(14, 0);
     }},
    {726, Before734(kCmdArrange), Family::kBoth,
     [](cEdCmd&, cWords& w) {
       w.Size(5);
       w.Set(0, 11);
     }},
    {727, Before734(kCmdArrange), Family::kBoth,
     [](cEdCmd&, cWords& w) {
       if (w[0] != 11) return;
       int64_t value = w[1];
       for (int threshold : {1, 2, 3, 13, 14, 15, 16})
         if (value > threshold) ++value;
       w.Set(1, value);
     }},
    {734, kAnyKind, Family::kBoth,
     [](cEdCmd& c, cWords&) {
       const int first = c.IsItemCommand() ? ItemKindOfFlowKind(kCmdVanish) : kCmdVanish;
       if (static_cast<int8_t>(c.m_nKind) >= first) c.m_nKind = static_cast<uint8_t>(c.m_nKind + 1);
     }},
    // An arrange entry names the command kind it changes in word 0.
    {734, kCmdArrange, Family::kBoth,
     [](cEdCmd&, cWords& w) {
       if (w[0] >= kCmdVanish) w.Add(0, 1);
     }},
    {747, kCmdSetTarget, Family::kBoth,
     [](cEdCmd&, cWords& w) {
       w.Size(16);
       w.Set(10, 0);
       w.Set(11, 1);
       w.Set(14, 0);
     }},
    {760, kCmdFlowControl, Family::kFlowOnly,
     [](cEdCmd&, cWords& w) {
       w.Size(4);
       w.Set(3, 0);
     }},
    {764, kCmdFlowControl, Family::kFlowOnly,
     [](cEdCmd& c, cWords&) {
       cCondList::Create(c.m_pCondList);
       c.m_pCondList->m_nMode = 0;
     }},
    // 767 brought the four target slots in.
    {767, kCmdTurn, Family::kFlowOnly,
     [](cEdCmd&, cWords& w) {
       if (w[0] > 3) w.Add(0, 6);
     }},
    {767, kCmdWarp, Family::kBoth,
     [](cEdCmd& c, cWords&) {
       if (c.m_pMove && c.m_pMove->m_f1 > 1) c.m_pMove->m_f1 = static_cast<uint8_t>(c.m_pMove->m_f1 + 3);
     }},
    {767, kCmdSetTarget, Family::kBoth,
     [](cEdCmd&, cWords& w) {
       w.Size(16);
       w.ShiftFrom(0);
       w.Set(0, 0);
     }},
    {767, kCmdStatus, Family::kBoth,
     [](cEdCmd&, cWords& w) {
       if (w[0] == 0 && w[3] > 1) w.Add(3, 3);
       if (w[6] == 2 && w[12] > 1) w.Add(12, 3);
     }},
    {767, kCmdStatus2, Family::kBoth,
     [](cEdCmd&, cWords& w) {
       if (w[0] > 1) w.Add(0, 3);
     }},
    {820, kCmdStatus2, Family::kBoth, [](cEdCmd&, cWords& w) { w.Size(5); }},
};

// The command is of `row`'s kind as its family stores it (the kind a signed
// byte).
bool RowMatches(const CommandMigration& row, const cEdCmd& cmd) {
  if (row.kind == kAnyKind) return true;
  const int kind = static_cast<int8_t>(cmd.m_nKind);
  if (!cmd.IsItemCommand()) return kind == row.kind;
  if (row.family == Family::kFlowOnly) return false;
  const int itemKind = row.kind - 15;  // item kinds 2..24 are flow kinds 17..39
  return itemKind > kItemCmdChangeFlow && kind == itemKind;
}

}  // namespace

void cEdCmd::Migrate(int32_t v) {
  cWords w(m_vParams);
  for (const CommandMigration& row : kCommandMigrations)
    if (v < row.before && RowMatches(row, *this)) row.step(*this, w);
}

namespace {

// A check over a command as a template over how its changes are taken:
// applied, or only noted (the command may then be const, and the check stops
// at the first change: everything after it would see values the change had
// not made yet).
template <bool kApply>
class cChanges {
 public:
  template <class Field, class Value>
  void Set(Field& field, Value value) {
    const auto v = static_cast<std::remove_cv_t<Field>>(value);
    if (field == v) return;
    changed_ = true;
    if constexpr (kApply) field = v;
  }
  template <class Words>
  void Size(Words& words, size_t n) {
    if (words.size() == n) return;
    changed_ = true;
    if constexpr (kApply) words.resize(n, 0);
  }
  // Looking only: the answer is known.
  bool Stop() const { return !kApply && changed_; }
  bool Changed() const { return changed_; }

 private:
  bool changed_ = false;
};

// The parameter words of a kind (CommandParameterWords), looked up for every
// command of every check: a table by family and stored kind.
size_t ParameterWords(uint8_t family, uint8_t kind) {
  static const auto table = [] {
    std::array<std::array<uint8_t, 256>, 2> t{};
    for (int k = 0; k < 256; ++k) {
      t[0][static_cast<size_t>(k)] = static_cast<uint8_t>(CommandParameterWords(0, k));
      t[1][static_cast<size_t>(k)] = static_cast<uint8_t>(CommandParameterWords(1, k));
    }
    return t;
  }();
  return table[family != 0][kind];
}

// `nested`: the commands of the nested flows too (a command just read has
// had its nested commands checked by their own reads).
template <class Cmd, class Changes>
void DatabaseChecks(Cmd& c, Changes& k, bool nested = true) {
  if (IndexOutside16(c.m_nAnime, DatabaseCount(DatabaseList::Anime))) k.Set(c.m_nAnime, 0);
  if (IndexOutside16(c.m_nSound, DatabaseCount(DatabaseList::Sound))) k.Set(c.m_nSound, 0);
  // A kind outside its table has no parameter words.
  k.Size(c.m_vParams, ParameterWords(c.m_nFamily, c.m_nKind));
  if (k.Stop()) return;
  const int kind = c.IsItemCommand() ? FlowKindOfItemKind(c.m_nKind) : c.m_nKind;
  auto resetWord = [&](size_t i, DatabaseList list, uint32_t to) {
    if (i < c.m_vParams.size() && c.m_vParams[i] >= DatabaseCount(list)) k.Set(c.m_vParams[i], to);
  };
  switch (kind) {
    case kCmdSword:  // its type, and its duration from the type's entries
      if (c.m_pShot) {
        cEdShot& shot = *c.m_pShot;
        if (shot.m_nType >= DatabaseCount(DatabaseList::SwordType)) k.Set(shot.m_nType, 0);
        if (k.Stop()) return;
        uint16_t sum = 0;
        for (int32_t value : SwordTypeEntryValues10(shot.m_nType)) {
          sum = static_cast<uint16_t>(sum + static_cast<uint16_t>(value));
          if (static_cast<int16_t>(sum) >= 9999) sum = 9999;
        }
        k.Set(c.m_nDuration, sum);
      }
      break;
    case kCmdChangeGraphic:  // source 4: a special character bitmap
      if (c.Word(0) == 4) resetWord(1, DatabaseList::BmpCharaExc, 1);
      break;
    case kCmdChangeAnimeSet: resetWord(0, DatabaseList::AnimeSet, 0); break;
    case kCmdPlayAnime: resetWord(0, DatabaseList::Anime, 1); break;
    case kCmdPlayEffect: resetWord(0, DatabaseList::Effect, 1); break;
    case kCmdPlayCharaEffect: resetWord(0, DatabaseList::CharaEffect, 1); break;
    case kCmdPlayScreenEffect: resetWord(0, DatabaseList::ScrEffect, 1); break;
    case kCmdShowPicture: resetWord(0, DatabaseList::Picture, 1); break;
    case kCmdPlaySound: resetWord(0, DatabaseList::Sound, 1); break;
    case kCmdPlayBgm: resetWord(0, DatabaseList::Bgm, 1); break;
    default: break;
  }
  // The shot object's own check (its write runs it too).
  if (c.m_pShot) {
    cEdShot& shot = *c.m_pShot;
    if (shot.m_f26 < 1) k.Set(shot.m_f26, 1);
    if (shot.m_nEffect >= DatabaseCount(DatabaseList::Effect)) k.Set(shot.m_nEffect, 0);
  }
  if (!nested) return;
  for (auto& f : c.m_vFlows)
    for (auto& nested : f.m_vCmds) {
      if (k.Stop()) return;
      DatabaseChecks(nested, k);
    }
}

// The palette lists a reference may point into, in the order of the summon
// commands (block, character, item).
enum PaletteList : int { kBlockList = 0, kCharacterList = 1, kItemList = 2 };

size_t PaletteSize(int paletteKind, int list) {
  const cPaletteLists& p = PaletteLists(paletteKind);
  switch (list) {
    case kBlockList: return p.blocks ? p.blocks->size() : 0;
    case kCharacterList: return p.characters ? p.characters->size() : 0;
    default: return p.items ? p.items->size() : 0;
  }
}

// Summons and the item-get command name the palette 0 common, 1 stage.
constexpr int PaletteKindOfChoice(int choice) { return choice + kPaletteCommon; }

template <class Cmd, class Changes>
void PaletteChecks(Cmd& c, Changes& k) {
  const bool item = c.IsItemCommand();
  const int itemGet = item ? ItemKindOfFlowKind(kCmdGetItem) : kCmdGetItem;
  if (!item && (c.m_nKind == kCmdShot || c.m_nKind == kCmdSword) && c.m_pShot) {
    // The item a shot or sword drops.
    cEdShot& shot = *c.m_pShot;
    const int palette = shot.m_nItemPalette;
    if ((palette == kPaletteCommon || palette == kPaletteStage) &&
        IndexOutside16(static_cast<uint16_t>(shot.m_nItemIndex), PaletteSize(palette, kItemList))) {
      k.Set(shot.m_nItemPalette, 0);
      k.Set(shot.m_nItemIndex, 0);
    }
  } else if (!item && c.m_nKind >= kCmdSummonBlock && c.m_nKind <= kCmdSummonItem && c.m_pShot) {
    // What is summoned (block, character or item) follows the kind.
    cEdShot& shot = *c.m_pShot;
    const int choice = shot.m_nSummonPalette;
    if ((choice == 0 || choice == 1) &&
        IndexOutside16(static_cast<uint16_t>(shot.m_nSummonIndex),
                       PaletteSize(PaletteKindOfChoice(choice), c.m_nKind - kCmdSummonBlock)))
      k.Set(shot.m_nSummonIndex, 1);
  } else if (c.m_nKind == itemGet) {
    const uint32_t choice = c.Word(0);
    if ((choice == 0 || choice == 1) && c.m_vParams.size() > 1 &&
        c.m_vParams[1] >= PaletteSize(PaletteKindOfChoice(static_cast<int>(choice)), kItemList))
      k.Set(c.m_vParams[1], 1);
  }
  for (auto& f : c.m_vFlows)
    for (auto& nested : f.m_vCmds) {
      if (k.Stop()) return;
      PaletteChecks(nested, k);
    }
}

template <class Check>
bool AnyCommandChanges(const std::vector<cEdCmd>& commands, Check check) {
  for (const cEdCmd& c : commands) {
    cChanges<false> k;
    check(c, k);
    if (k.Changed()) return true;
  }
  return false;
}

}  // namespace

void cEdCmd::ValidateDatabaseIndices() {
  cChanges<true> k;
  DatabaseChecks(*this, k);
}

void cEdCmd::ValidatePaletteReferences() {
  cChanges<true> k;
  PaletteChecks(*this, k);
}

void cEdCmd::CheckOwnDatabaseIndices() {
  // The nested flows' commands had theirs as they were read, and nothing
  // since has changed them.
  cChanges<true> k;
  DatabaseChecks(*this, k, false);
}

bool cEdCmd::DatabaseChecksChange() const {
  cChanges<false> k;
  DatabaseChecks(*this, k);
  return k.Changed();
}

bool cEdCmd::PaletteChecksChange() const {
  cChanges<false> k;
  PaletteChecks(*this, k);
  return k.Changed();
}

void CheckFlowDatabaseIndices(cSharedList<cEdFlow>& flows) {
  CheckSharedList(
      flows, cSharedCheckScope::kDatabase,
      [](const std::vector<cEdFlow>& list) {
        for (const cEdFlow& f : list)
          if (f.IsEmpty() || f.DatabaseChecksChange()) return true;
        return false;
      },
      [](std::vector<cEdFlow>& list) {
        for (cEdFlow& f : list) f.ValidateDatabaseIndices();
        std::erase_if(list, [](const cEdFlow& f) { return f.IsEmpty(); });
      });
}

void EraseBlankFlows(cSharedList<cEdFlow>& flows) {
  CheckSharedList(
      flows, cSharedCheckScope::kBlankFlows,
      [](const std::vector<cEdFlow>& list) {
        return std::any_of(list.begin(), list.end(), [](const cEdFlow& f) { return f.IsEmpty(); });
      },
      [](std::vector<cEdFlow>& list) { std::erase_if(list, [](const cEdFlow& f) { return f.IsEmpty(); }); });
}

void CheckFlowPaletteReferences(cSharedList<cEdFlow>& flows) {
  CheckSharedList(
      flows, cSharedCheckScope::kPalette,
      [](const std::vector<cEdFlow>& list) {
        for (const cEdFlow& f : list)
          if (f.PaletteChecksChange()) return true;
        return false;
      },
      [](std::vector<cEdFlow>& list) {
        for (cEdFlow& f : list) f.ValidatePaletteReferences();
      });
}

namespace {

// A check of a command list that types may share: `check` runs over each
// command (only looking, or applying, by the changes given).
template <class Check>
void CheckCommands(cSharedList<cEdCmd>& commands, cSharedCheckScope::Check id, Check check) {
  CheckSharedList(
      commands, id, [&](const std::vector<cEdCmd>& list) { return AnyCommandChanges(list, check); },
      [&](std::vector<cEdCmd>& list) {
        for (cEdCmd& c : list) {
          cChanges<true> k;
          check(c, k);
        }
      });
}

}  // namespace

void CheckCommandDatabaseIndices(cSharedList<cEdCmd>& commands) {
  CheckCommands(commands, cSharedCheckScope::kDatabase, [](auto& c, auto& k) { DatabaseChecks(c, k); });
}

void CheckCommandPaletteReferences(cSharedList<cEdCmd>& commands) {
  CheckCommands(commands, cSharedCheckScope::kPalette, [](auto& c, auto& k) { PaletteChecks(c, k); });
}

// ---- cEdFlow ----

namespace {

// Triggers inserted over the years, in the order of the versions: files
// older than `before` move every trigger from `at` (numbered as at that
// version) up by `count`.
struct TriggerInsertion {
  int32_t before;
  int at;
  int count;
};

constexpr TriggerInsertion kTriggerInsertions[] = {
    {132, 11, 1},  // today's kTriggerBlockAboveOrBelow
    {164, kTriggerTouchedBlockCharacter, 2},
    {762, kTriggerAttackDamaged, 3},
};

}  // namespace

cEdFlow::cEdFlow() = default;

void cEdFlow::DefineFields(int32_t version) {
  ClearDeclarations();
  if (version >= 676) DeclareString(m_strName, "name");
  Declare(m_nGroup, "group");
  Declare(m_nExclusive, "exclusive");
  Declare(m_nTestPlay, "testPlay");
  Declare(m_nCondMode, "condMode");
  Declare(m_nOnlyOnce, "onlyOnce");
  Declare(m_nTrigger, "trigger");
  if (version >= 762) Declare(m_nTargetOther, "targetOther");
  if (version >= 767) Declare(m_nTargetSlot, "targetSlot");
  Declare(m_nKeyTolerance, "keyTolerance");
  Declare(m_nKeyOption, "keyOption");
}

bool cEdFlow::Read(cDataReader& in) {
  if (!cRecord::Read(in)) return false;
  if (!ReadConditionList(in, m_vConds)) return false;
  if (!ReadRecordList(in, m_vKeys)) return false;
  if (!ReadCommandList(in, m_vCmds)) return false;
  const int32_t v = nFileVersion;
  if (v < kDataVersion) {
    // Files before 163 keep an exclusive-group flag only on flows that
    // always run (no renumbering below changes whether a trigger is 0).
    if (v < 163 && m_nTrigger != kTriggerAlways) m_nExclusive = 0;
    for (const TriggerInsertion& row : kTriggerInsertions) {
      // The stored value is a signed byte.
      if (v < row.before && static_cast<int8_t>(m_nTrigger) >= row.at)
        m_nTrigger = static_cast<uint8_t>(m_nTrigger + row.count);
    }
  }
  // The running program never keeps a flow's name. The flow's database
  // check has nothing left to change: each command had it at the end of its
  // own read.
  m_strName.clear();
  return true;
}

void cEdFlow::Write(cDataWriter& out) {
  ValidateDatabaseIndices();
  CutStrings();
  WriteAsChecked(out);
}

void cEdFlow::WriteAsChecked(cDataWriter& out) const {
  WriteBody(out);
  WriteConditionList(out, m_vConds);
  WriteCheckedList(out, m_vKeys);
  WriteCommandList(out, m_vCmds);
}

void cEdFlow::DumpLists(cJsonWriter& json) {
  DumpConditionList(json, "conditions", m_vConds);
  DumpRecordList(json, "keys", m_vKeys);
  DumpRecordList(json, "commands", m_vCmds);
}

void cEdFlow::ValidateDatabaseIndices() {
  for (cEdCmd& c : m_vCmds) c.ValidateDatabaseIndices();
}

void cEdFlow::ValidatePaletteReferences() {
  for (cEdCmd& c : m_vCmds) c.ValidatePaletteReferences();
}

bool cEdFlow::DatabaseChecksChange() const {
  return AnyCommandChanges(m_vCmds, [](const cEdCmd& c, cChanges<false>& k) { DatabaseChecks(c, k); });
}

bool cEdFlow::PaletteChecksChange() const {
  return AnyCommandChanges(m_vCmds, [](const cEdCmd& c, cChanges<false>& k) { PaletteChecks(c, k); });
}

bool cEdFlow::IsEmpty() const {
  return m_nGroup == 0 && m_nTrigger == 0 && m_nExclusive == 0 && m_vConds.empty() && m_vKeys.empty() &&
         m_vCmds.empty();
}
