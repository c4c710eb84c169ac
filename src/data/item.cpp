#include "data/item.h"

#include <algorithm>

#include "data/inheritance.h"

cEdItem::cEdItem() {
  Clear();
  m_vInherit.assign(kInheritGroups, 0);
  m_nGraphic = 0;
  m_nGraphicSource = 2;
  m_nParam11 = 6;
  m_nParam15 = 1;
  m_nParam17 = 1;
}

void cEdItem::DefineFields(int32_t version) {
  ClearDeclarations();
  Declare(m_nBaseKind, "baseKind");
  Declare(m_nBaseIndex, "baseIndex");
  DeclareString(m_strName, "name");
  Declare(m_nCondMode, "condMode");
  Declare(m_nCondOption, "condOption");
  Declare(m_nParam6, "p6");
  Declare(m_nParam7, "p7");
  Declare(m_nGraphic, "graphic");
  Declare(m_nGraphicSource, "graphicSource");
  Declare(m_nGraphicWord, "graphicWord");
  Declare(m_nParam11, "p11");
  Declare(m_nParam12, "p12");
  Declare(m_nParam13, "p13");
  Declare(m_nParam14, "p14");
  Declare(m_nParam15, "p15");
  Declare(m_nParam16, "p16");
  Declare(m_nParam17, "p17");
  Declare(m_nSound, "sound");
}

bool cEdItem::Read(cDataReader& in) {
  if (!cRecord::Read(in)) return false;
  if (!in.Read(&m_nWord1, 2) || !in.Read(&m_nWord2, 2)) return false;
  if (!ReadInheritFlags(in, m_vInherit)) return false;
  if (!ReadConditionList(in, m_vConds)) return false;
  if (!ReadCommandList(in, m_vCmds)) return false;
  if (nFileVersion < 219 && m_nGraphicSource == 3) m_nGraphic = static_cast<uint16_t>(std::min(m_nGraphic + 1, 119));
  ApplyInheritance();
  ValidateReferences();
  return true;
}

void cEdItem::Write(cDataWriter& out) {
  ValidateReferences();
  cRecord::Write(out);
  out.Write(&m_nWord1, 2);
  out.Write(&m_nWord2, 2);
  WriteInheritFlags(out, m_vInherit);
  WriteConditionList(out, m_vConds);
  WriteCommandList(out, m_vCmds);
}

void cEdItem::DumpLists(cJsonWriter& json) {
  json.Key("word1");
  json.Int(static_cast<int16_t>(m_nWord1));
  json.Key("word2");
  json.Int(static_cast<int16_t>(m_nWord2));
  DumpInheritFlags(json, m_vInherit);
  DumpConditionList(json, "conditions", m_vConds);
  DumpRecordList(json, "commands", m_vCmds);
}

void cEdItem::ApplyInheritance() {
  cEdItem* base = FindBaseType(m_nBaseKind, m_nBaseIndex, &cPaletteLists::items);
  if (!base || base == this) return;
  const cEdItem& b = *base;
  const size_t groups = std::min<size_t>(m_vInherit.size(), kInheritGroups);
  for (size_t g = 0; g < groups; ++g) {
    if (!m_vInherit[g]) continue;
    switch (g) {
      case 0: m_strName = b.m_strName; break;
      case 1:
        m_vConds = b.m_vConds;
        m_nCondMode = b.m_nCondMode;
        m_nCondOption = b.m_nCondOption;
        break;
      case 2: m_nParam6 = b.m_nParam6; break;
      case 3: m_nParam7 = b.m_nParam7; break;
      case 4:
        m_nGraphic = b.m_nGraphic;
        m_nGraphicSource = b.m_nGraphicSource;
        m_nGraphicWord = b.m_nGraphicWord;
        break;
      case 5: m_nParam11 = b.m_nParam11; break;
      case 6: m_nParam12 = b.m_nParam12; break;
      case 7:
        m_nParam13 = b.m_nParam13;
        m_nParam14 = b.m_nParam14;
        break;
      case 8: m_nParam17 = b.m_nParam17; break;
      case 9: m_nParam16 = b.m_nParam16; break;
      case 10: m_nParam15 = b.m_nParam15; break;
      case 11: m_nSound = b.m_nSound; break;
      case 12: m_vCmds = b.m_vCmds; break;
    }
  }
}

void cEdItem::ValidateReferences() {
  if ((m_nBaseKind == kPaletteCommon || m_nBaseKind == kPaletteStage) &&
      m_nBaseIndex >= PaletteListSize(m_nBaseKind, &cPaletteLists::items)) {
    m_nBaseKind = 0;
    m_nBaseIndex = 0;
  }
  if (m_nParam17 < 1) m_nParam17 = 1;
  if (m_nSound >= DatabaseCount(DatabaseList::Sound)) m_nSound = 0;
  for (cCond& c : m_vConds) c.ValidateReferences();
  for (cEdCmd& c : m_vCmds) c.ValidateDatabaseIndices();
}

void cEdItem::ValidatePaletteReferences() {
  for (cEdCmd& c : m_vCmds) c.ValidatePaletteReferences();
}

cEdItem* GetPaletteItem(int kind, int index) {
  if (kind != kPaletteCommon && kind != kPaletteStage) return nullptr;
  std::vector<cEdItem>* items = PaletteLists(kind).items;
  if (!items || index < 0 || static_cast<size_t>(index) >= items->size()) return nullptr;
  return &(*items)[static_cast<size_t>(index)];
}
