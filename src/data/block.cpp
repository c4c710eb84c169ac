#include "data/block.h"

#include <algorithm>

#include "data/inheritance.h"
#include "data/item.h"

cEdBlock::cEdBlock() {
  Clear();
  m_nOption7 = 1;
  m_nOption3 = -1;
  m_nGraphic = 0;
  m_vInherit.assign(kInheritGroups, 0);
}

void cEdBlock::DefineFields(int32_t version) {
  ClearDeclarations();
  Declare(m_nBaseKind, "baseKind");
  Declare(m_nBaseIndex, "baseIndex");
  DeclareString(m_strName, "name");
  Declare(m_nCondMode, "condMode");
  Declare(m_nCondOption, "condOption");
  Declare(m_nGraphic, "graphic");
  Declare(m_nGraphicSource, "graphicSource");
  Declare(m_nGraphicWord, "graphicWord");
  Declare(m_nOption1, "option1");
  Declare(m_nOption2, "option2");
  Declare(m_nOption6, "option6");
  Declare(m_nOption6Value, "option6Value");
  Declare(m_nOption7, "option7");
  Declare(m_nOption3, "option3");
  Declare(m_nOption4, "option4");
  Declare(m_nOption4Value, "option4Value");
  Declare(m_nItemKind, "itemKind");
  Declare(m_nItemIndex, "itemIndex");
  Declare(m_nOption5, "option5");
}

bool cEdBlock::Read(cDataReader& in) {
  if (!cRecord::Read(in)) return false;
  if (!in.Read(&m_nWord1, 2) || !in.Read(&m_nWord2, 2)) return false;
  if (!ReadInheritFlags(in, m_vInherit)) return false;
  if (!ReadConditionList(in, m_vConds)) return false;
  // Shot pictures gained a first entry at 219.
  if (nFileVersion < 219 && m_nGraphicSource == 3) m_nGraphic = static_cast<uint16_t>(std::min(m_nGraphic + 1, 119));
  ApplyInheritance();
  ValidateReferences();
  return true;
}

void cEdBlock::Write(cDataWriter& out) {
  ValidateReferences();
  cRecord::Write(out);
  out.Write(&m_nWord1, 2);
  out.Write(&m_nWord2, 2);
  WriteInheritFlags(out, m_vInherit);
  WriteConditionList(out, m_vConds);
}

void cEdBlock::DumpLists(cJsonWriter& json) {
  json.Key("word1");
  json.Int(static_cast<int16_t>(m_nWord1));
  json.Key("word2");
  json.Int(static_cast<int16_t>(m_nWord2));
  DumpInheritFlags(json, m_vInherit);
  DumpConditionList(json, "conditions", m_vConds);
}

void cEdBlock::ApplyInheritance() {
  cEdBlock* base = FindBaseType(m_nBaseKind, m_nBaseIndex, &cPaletteLists::blocks);
  // A type naming itself has nothing to take.
  if (!base || base == this) return;
  const size_t groups = std::min<size_t>(m_vInherit.size(), kInheritGroups);
  for (size_t g = 0; g < groups; ++g) {
    if (!m_vInherit[g]) continue;
    switch (g) {
      case 0: m_strName = base->m_strName; break;
      case 1:
        m_vConds = base->m_vConds;
        m_nCondMode = base->m_nCondMode;
        m_nCondOption = base->m_nCondOption;
        break;
      case 2:
        m_nGraphic = base->m_nGraphic;
        m_nGraphicSource = base->m_nGraphicSource;
        m_nGraphicWord = base->m_nGraphicWord;
        break;
      case 3: m_nOption1 = base->m_nOption1; break;
      case 4: m_nOption2 = base->m_nOption2; break;
      case 5:
        m_nOption6 = base->m_nOption6;
        m_nOption6Value = base->m_nOption6Value;
        break;
      case 6: m_nOption7 = base->m_nOption7; break;
      case 7: m_nOption3 = base->m_nOption3; break;
      case 8:
        m_nOption4 = base->m_nOption4;
        m_nOption4Value = base->m_nOption4Value;
        break;
      case 9:
        m_nItemKind = base->m_nItemKind;
        m_nItemIndex = base->m_nItemIndex;
        break;
      case 10: m_nOption5 = base->m_nOption5; break;
    }
  }
}

void cEdBlock::ValidateReferences() {
  if ((m_nBaseKind == kPaletteCommon || m_nBaseKind == kPaletteStage) &&
      m_nBaseIndex >= PaletteListSize(m_nBaseKind, &cPaletteLists::blocks)) {
    m_nBaseKind = 0;
    m_nBaseIndex = 0;
  }
  for (cCond& c : m_vConds) c.ValidateReferences();
  // A block with no graphic has no use for these two options.
  if (m_nGraphic == 0) {
    m_nOption7 = 0;
    m_nOption5 = 0;
  }
}

void cEdBlock::ValidateItemReference() {
  if ((m_nItemKind == kPaletteCommon || m_nItemKind == kPaletteStage) &&
      m_nItemIndex >= PaletteListSize(m_nItemKind, &cPaletteLists::items)) {
    m_nItemKind = 0;
    m_nItemIndex = 0;
  }
}
