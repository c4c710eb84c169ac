#include "data/flow.h"

#include <algorithm>
#include <initializer_list>

#include "base/program.h"
#include "data/block.h"
#include "data/character.h"
#include "data/inheritance.h"
#include "data/item.h"
#include "data/labels.h"
#include "data/system_data.h"

bool KeepTestPlayFlows() { return g_bEditor.load() != 0 || SystemData.Num(kSysKeepTestFlows) != 0; }

void EraseTestPlayFlows(std::vector<cEdFlow>& flows) {
  if (KeepTestPlayFlows()) return;
  std::erase_if(flows, [](const cEdFlow& f) { return f.m_nTestPlay != 0; });
}

bool ReadFlowList(cDataReader& in, std::vector<cEdFlow>& list) { return cEdFlow::ReadList(in, list); }
void WriteFlowList(cDataWriter& out, std::vector<cEdFlow>& list) {
  out.WriteU32(static_cast<uint32_t>(list.size()));
  for (cEdFlow& f : list) f.Write(out);
}
bool ReadCommandList(cDataReader& in, std::vector<cEdCmd>& list) { return cEdCmd::ReadList(in, list); }
void WriteCommandList(cDataWriter& out, std::vector<cEdCmd>& list) {
  out.WriteU32(static_cast<uint32_t>(list.size()));
  for (cEdCmd& c : list) c.Write(out);
}

// ---- cFlowKey ----

cFlowKey::cFlowKey() {
  Clear();
  m_vKeys.assign(19, 0);
}

void cFlowKey::DefineFields(int32_t version) {
  ClearDeclarations();
  Declare(m_nMode, "mode");
  Declare(m_nWord1, "word1");
  Declare(m_nWord2, "word2");
  Declare(m_nByte1, "byte1");
  Declare(m_nByte2, "byte2");
}

bool cFlowKey::Read(cDataReader& in) {
  if (!cRecord::Read(in)) return false;
  uint32_t n = 0;
  if (!in.ReadCount(n, 1)) return false;
  m_vKeys.assign(n, 0);
  return n == 0 || in.Read(m_vKeys.data(), n);
}

void cFlowKey::Write(cDataWriter& out) {
  cRecord::Write(out);
  out.WriteU32(static_cast<uint32_t>(m_vKeys.size()));
  if (!m_vKeys.empty()) out.Write(m_vKeys.data(), m_vKeys.size());
}

void cFlowKey::DumpLists(cJsonWriter& json) {
  json.Key("keys");
  json.BeginArray();
  for (uint8_t k : m_vKeys) json.UInt(k);
  json.EndArray();
}

// ---- cEdCmd ----

cEdCmd::cEdCmd() {
  Clear();
  m_nOption = 1;
}

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
  T::Create(holder);
  return holder->Read(in);
}

template <class T>
void WriteObject(cDataWriter& out, const std::shared_ptr<T>& holder) {
  out.WriteU32(holder ? 1 : 0);
  if (holder) holder->Write(out);
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
  uint32_t n = 0;
  if (!in.ReadCount(n, 4)) return false;
  m_vParams.assign(n, 0);
  if (n && !in.Read(m_vParams.data(), static_cast<size_t>(n) * 4)) return false;
  if (v < kDataVersion) Migrate(v);
  EraseTestPlayFlows(m_vFlows);
  ValidateDatabaseIndices();
  return true;
}

void cEdCmd::Write(cDataWriter& out) {
  ValidateDatabaseIndices();
  cRecord::Write(out);
  WriteObject(out, m_pMove);
  WriteObject(out, m_pShot);
  WriteObject(out, m_pCondList);
  WriteFlowList(out, m_vFlows);
  out.WriteU32(static_cast<uint32_t>(m_vParams.size()));
  if (!m_vParams.empty()) out.Write(m_vParams.data(), m_vParams.size() * 4);
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

void cEdCmd::ValidateDatabaseIndices() {
  if (IndexOutside16(m_nAnime, DatabaseCount(DatabaseList::Anime))) m_nAnime = 0;
  if (IndexOutside16(m_nSound, DatabaseCount(DatabaseList::Sound))) m_nSound = 0;
  // A kind outside its table has no parameter words.
  m_vParams.resize(static_cast<size_t>(CommandParameterWords(m_nFamily, m_nKind)), 0);
  const int kind = IsItemCommand() ? FlowKindOfItemKind(m_nKind) : m_nKind;
  auto resetWord = [&](size_t i, DatabaseList list, uint32_t to) {
    if (i < m_vParams.size() && m_vParams[i] >= DatabaseCount(list)) m_vParams[i] = to;
  };
  switch (kind) {
    case kCmdSword:  // its type, and its duration from the type's entries
      if (m_pShot) {
        if (m_pShot->m_nType >= DatabaseCount(DatabaseList::SwordType)) m_pShot->m_nType = 0;
        uint16_t sum = 0;
        for (int32_t value : SwordTypeEntryValues10(m_pShot->m_nType)) {
          sum = static_cast<uint16_t>(sum + static_cast<uint16_t>(value));
          if (static_cast<int16_t>(sum) >= 9999) sum = 9999;
        }
        m_nDuration = sum;
      }
      break;
    case kCmdChangeGraphic:  // source 4: a special character bitmap
      if (Word(0) == 4) resetWord(1, DatabaseList::BmpCharaExc, 1);
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
  for (cEdFlow& f : m_vFlows) f.ValidateDatabaseIndices();
}

namespace {

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

}  // namespace

void cEdCmd::ValidatePaletteReferences() {
  const int itemGet = IsItemCommand() ? ItemKindOfFlowKind(kCmdGetItem) : kCmdGetItem;
  if (!IsItemCommand() && (m_nKind == kCmdShot || m_nKind == kCmdSword) && m_pShot) {
    // The item a shot or sword drops.
    const int palette = m_pShot->m_nItemPalette;
    if ((palette == kPaletteCommon || palette == kPaletteStage) &&
        IndexOutside16(static_cast<uint16_t>(m_pShot->m_nItemIndex), PaletteSize(palette, kItemList))) {
      m_pShot->m_nItemPalette = 0;
      m_pShot->m_nItemIndex = 0;
    }
  } else if (!IsItemCommand() && m_nKind >= kCmdSummonBlock && m_nKind <= kCmdSummonItem && m_pShot) {
    // What is summoned (block, character or item) follows the kind.
    const int choice = m_pShot->m_nSummonPalette;
    if ((choice == 0 || choice == 1) &&
        IndexOutside16(static_cast<uint16_t>(m_pShot->m_nSummonIndex),
                       PaletteSize(PaletteKindOfChoice(choice), m_nKind - kCmdSummonBlock)))
      m_pShot->m_nSummonIndex = 1;
  } else if (m_nKind == itemGet) {
    const uint32_t choice = Word(0);
    if ((choice == 0 || choice == 1) && m_vParams.size() > 1 &&
        m_vParams[1] >= PaletteSize(PaletteKindOfChoice(static_cast<int>(choice)), kItemList))
      m_vParams[1] = 1;
  }
  for (cEdFlow& f : m_vFlows) f.ValidatePaletteReferences();
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

cEdFlow::cEdFlow() { Clear(); }

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
  // The running program never keeps a flow's name.
  m_strName.clear();
  ValidateDatabaseIndices();
  return true;
}

void cEdFlow::Write(cDataWriter& out) {
  ValidateDatabaseIndices();
  cRecord::Write(out);
  WriteConditionList(out, m_vConds);
  WriteRecordList(out, m_vKeys);
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

bool cEdFlow::IsEmpty() const {
  return m_nGroup == 0 && m_nTrigger == 0 && m_nExclusive == 0 && m_vConds.empty() && m_vKeys.empty() &&
         m_vCmds.empty();
}
