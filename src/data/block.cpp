#include "data/block.h"

#include <algorithm>

#include "data/item.h"

namespace {

constexpr cEdDefinition::cInheritMember kGroups[] = {
    {0, &cEdDefinition::CopyName},
    {1, &cEdDefinition::ShareConditions},
    InheritMember<&cEdBlock::m_nGraphic>(2),
    InheritMember<&cEdBlock::m_nGraphicSource>(2),
    InheritMember<&cEdBlock::m_nGraphicWord>(2),
    InheritMember<&cEdBlock::m_nOption1>(3),
    InheritMember<&cEdBlock::m_nOption2>(4),
    InheritMember<&cEdBlock::m_nOption6>(5),
    InheritMember<&cEdBlock::m_nOption6Value>(5),
    InheritMember<&cEdBlock::m_nOption7>(6),
    InheritMember<&cEdBlock::m_nOption3>(7),
    InheritMember<&cEdBlock::m_nOption4>(8),
    InheritMember<&cEdBlock::m_nOption4Value>(8),
    InheritMember<&cEdBlock::m_nItemKind>(9),
    InheritMember<&cEdBlock::m_nItemIndex>(9),
    InheritMember<&cEdBlock::m_nOption5>(10),
};

const cEdDefinition::cKind kBlockKind{cEdBlock::kInheritGroups, kGroups,
                                      &FindBaseDefinition<cEdBlock, &cPaletteLists::blocks>,
                                      &PaletteDefinitionCount<cEdBlock, &cPaletteLists::blocks>};

}  // namespace

cEdBlock::cEdBlock() {
  m_nOption7 = 1;
  m_nOption3 = -1;
  m_nGraphic = 0;
  m_vInherit.assign(kInheritGroups, 0);
}

const cEdDefinition::cKind& cEdBlock::Kind() const { return kBlockKind; }

void cEdBlock::DefineFields(int32_t version) {
  ClearDeclarations();
  DeclareHead();
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
  size_t conditionsCharged = 0;
  if (!cRecord::Read(in) || !ReadPosition(in) || !ReadFlagsAndConditions(in, conditionsCharged)) return false;
  // Shot pictures gained a first entry at 219.
  if (nFileVersion < 219 && m_nGraphicSource == 3) m_nGraphic = static_cast<uint16_t>(std::min(m_nGraphic + 1, 119));
  InheritAfterRead(in, conditionsCharged);
  ValidateReferences();
  return true;
}

void cEdBlock::WriteAsChecked(cDataWriter& out) const {
  WriteBody(out);
  WritePosition(out);
  WriteFlagsAndConditions(out);
}

void cEdBlock::DumpLists(cJsonWriter& json) {
  DumpHead(json);
  DumpInheritFlags(json, m_vInherit);
  DumpConditionList(json, "conditions", m_vConds);
}

void cEdBlock::ValidateReferences() {
  ValidateBase();
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
