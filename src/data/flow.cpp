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

}  // namespace

void cEdCmd::Migrate(int32_t v) {
  cWords w(m_vParams);
  const bool item = IsItemCommand();
  // The kind as the stored number at each step, signed; `is(K)` asks
  // whether the command is flow kind K (item commands: item kind K - 15),
  // `flowIs(K)` the same for steps flow commands alone take.
  auto kind = [&] { return static_cast<int>(static_cast<int8_t>(m_nKind)); };
  auto is = [&](int flowKind) {
    if (!item) return kind() == flowKind;
    return flowKind - 15 >= 2 && kind() == flowKind - 15;  // item kinds 2..24 are flow kinds 17..39
  };
  auto flowIs = [&](int flowKind) { return !item && kind() == flowKind; };

  if (v < 145 && is(17)) w.Size(9);
  if (v < 166 && is(35)) {
    w.Size(2);
    w.Set(1, 1);
  }
  if (v < 168 && is(22)) ShiftStatusOperation(w, 9);
  if (v < 189 && is(21)) {
    w.Size(16);
    w.ShiftFrom(2);
    w.Set(2, 0);
  }
  if (v < 194 && is(31)) {
    w.Size(15);
    w.ShiftFrom(6);
    w.Set(6, 1);
  }
  if (v < 195 && (is(29) || is(30))) {
    w.Size(3);
    w.ShiftFrom(1);
    w.Set(1, 0);
  }
  if (v < 203 && (flowIs(14) || flowIs(15))) w.Size(0);
  if (v < 203 && flowIs(16)) w.Size(4);
  if (v < 203 && is(22)) ShiftStatusOperation(w, 4);
  if (v < 210 && is(23) && w[0] != 2 && w[1] > 5) w.Add(1, 1);
  if (v < 219 && is(25) && w[0] == 3) w.Set(1, std::min<int64_t>(int64_t{w[1]} + 1, 119));
  if (v < 220 && flowIs(11) && m_pShot) m_pShot->m_f20 = static_cast<uint16_t>(std::min(m_pShot->m_f20 + 1, 119));
  if (v < 514 && flowIs(5) && m_pMove) {
    m_pMove->m_f3 = 0;
    m_pMove->m_f4 = 0;
    m_pMove->m_f5 = 1;
  }
  if (v < 545 && is(19)) {
    w.Size(18);
    w.Set(10, 1);
  }
  if (v < 545 && is(31)) {
    w.Size(15);
    w.Set(11, 0);
  }
  if (v < 546 && is(19)) w.Set(10, (w[0] == 0 || w[0] == 7) ? 1 : 0);
  if (v < 547 && is(19)) {
    w.Size(18);
    w.Set(11, 0);
    w.Set(12, 0);
    w.Set(13, 0);
    w.Set(14, 1);
    w.Set(15, 0);
  }
  if (v < 547 && is(31)) {
    w.Size(15);
    w.Set(12, 0);
    w.Set(13, 0);
  }
  if (v < 556 && is(19)) {
    w.Size(18);
    w.Set(16, 1);
  }
  if (v < 722 && is(17) && w[0] > 1) w.Add(0, 1);
  if (v < 723 && is(19)) {
    w.Size(18);
    w.Set(17, 0);
  }
  if (v < 723 && is(31)) {
    w.Size(15);
    w.Set(14, 0);
  }
  if (v < 726 && is(37)) {
    w.Size(5);
    w.Set(0, 11);
  }
  if (v < 727 && is(37) && w[0] == 11) {
    int64_t value = w[1];
    for (int threshold : {1, 2, 3, 13, 14, 15, 16})
      if (value > threshold) ++value;
    w.Set(1, value);
  }
  if (v < 734) {
    // A kind was inserted at 24 (item commands: 9).
    if (kind() > (item ? 8 : 23)) m_nKind = static_cast<uint8_t>(m_nKind + 1);
    if (is(38) && w[0] > 23) w.Add(0, 1);
  }
  if (v < 747 && is(21)) {
    w.Size(16);
    w.Set(10, 0);
    w.Set(11, 1);
    w.Set(14, 0);
  }
  if (v < 760 && flowIs(16)) {
    w.Size(4);
    w.Set(3, 0);
  }
  if (v < 764 && flowIs(16)) {
    cCondList::Create(m_pCondList);
    m_pCondList->m_nMode = 0;
  }
  if (v < 767) {
    if (flowIs(9) && w[0] > 3) w.Add(0, 6);
    if (is(20) && m_pMove && m_pMove->m_f1 > 1) m_pMove->m_f1 = static_cast<uint8_t>(m_pMove->m_f1 + 3);
    if (is(21)) {
      w.Size(16);
      w.ShiftFrom(0);
      w.Set(0, 0);
    }
    if (is(22)) {
      if (w[0] == 0 && w[3] > 1) w.Add(3, 3);
      if (w[6] == 2 && w[12] > 1) w.Add(12, 3);
    }
    if (is(23) && w[0] > 1) w.Add(0, 3);
  }
  if (v < 820 && is(23)) w.Size(5);
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
    case 12:  // sword: its type, and its duration from the type's entries
      if (m_pShot) {
        if (m_pShot->m_f28 >= DatabaseCount(DatabaseList::SwordType)) m_pShot->m_f28 = 0;
        uint16_t sum = 0;
        for (int32_t value : SwordTypeEntryValues10(m_pShot->m_f28)) {
          sum = static_cast<uint16_t>(sum + static_cast<uint16_t>(value));
          if (static_cast<int16_t>(sum) >= 9999) sum = 9999;
        }
        m_nDuration = sum;
      }
      break;
    case 26:  // graphic change to a special character bitmap
      if (Word(0) == 4) resetWord(1, DatabaseList::BmpCharaExc, 1);
      break;
    case 27: resetWord(0, DatabaseList::AnimeSet, 0); break;
    case 28: resetWord(0, DatabaseList::Anime, 1); break;
    case 29: resetWord(0, DatabaseList::Effect, 1); break;
    case 30: resetWord(0, DatabaseList::CharaEffect, 1); break;
    case 31: resetWord(0, DatabaseList::ScrEffect, 1); break;
    case 32: resetWord(0, DatabaseList::Picture, 1); break;
    case 35: resetWord(0, DatabaseList::Sound, 1); break;
    case 36: resetWord(0, DatabaseList::Bgm, 1); break;
    default: break;
  }
  for (cEdFlow& f : m_vFlows) f.ValidateDatabaseIndices();
}

namespace {

size_t PaletteSize(int paletteKind, int listKind) {
  const cPaletteLists& p = PaletteLists(paletteKind);
  switch (listKind) {
    case 0: return p.blocks ? p.blocks->size() : 0;
    case 1: return p.characters ? p.characters->size() : 0;
    default: return p.items ? p.items->size() : 0;
  }
}

}  // namespace

void cEdCmd::ValidatePaletteReferences() {
  const int itemGet = IsItemCommand() ? 10 : 25;
  if (!IsItemCommand() && (m_nKind == 11 || m_nKind == 12) && m_pShot) {
    // The item a shot or sword drops.
    if ((m_pShot->m_f53 == 1 || m_pShot->m_f53 == 2) &&
        IndexOutside16(static_cast<uint16_t>(m_pShot->m_f54), PaletteSize(m_pShot->m_f53, 2))) {
      m_pShot->m_f53 = 0;
      m_pShot->m_f54 = 0;
    }
  } else if (!IsItemCommand() && m_nKind >= 13 && m_nKind <= 15 && m_pShot) {
    // Summons: palette 0 common, 1 stage; block, character or item by kind.
    if ((m_pShot->m_f58 == 0 || m_pShot->m_f58 == 1) &&
        IndexOutside16(static_cast<uint16_t>(m_pShot->m_f59), PaletteSize(m_pShot->m_f58 + 1, m_nKind - 13)))
      m_pShot->m_f59 = 1;
  } else if (m_nKind == itemGet) {
    const uint32_t palette = Word(0);
    if ((palette == 0 || palette == 1) && m_vParams.size() > 1 &&
        m_vParams[1] >= PaletteSize(static_cast<int>(palette) + 1, 2))
      m_vParams[1] = 1;
  }
  for (cEdFlow& f : m_vFlows) f.ValidatePaletteReferences();
}

// ---- cEdFlow ----

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
    // Triggers inserted over the years; the stored value is a signed byte.
    auto t = [&] { return static_cast<int>(static_cast<int8_t>(m_nTrigger)); };
    if (v <= 131 && t() >= 11) m_nTrigger = static_cast<uint8_t>(m_nTrigger + 1);
    if (v < 163 && t() != 0) m_nExclusive = 0;
    if (v < 164 && t() >= 5) m_nTrigger = static_cast<uint8_t>(m_nTrigger + 2);
    if (v < 762 && t() >= 18) m_nTrigger = static_cast<uint8_t>(m_nTrigger + 3);
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
