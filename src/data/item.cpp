#include "data/item.h"

#include <algorithm>

namespace {

constexpr cEdDefinition::cInheritMember kGroups[] = {
    {0, &cEdDefinition::CopyName},
    {1, &cEdDefinition::ShareConditions},
    InheritMember<&cEdItem::m_nParam6>(2),
    InheritMember<&cEdItem::m_nParam7>(3),
    InheritMember<&cEdItem::m_nGraphic>(4),
    InheritMember<&cEdItem::m_nGraphicSource>(4),
    InheritMember<&cEdItem::m_nGraphicWord>(4),
    InheritMember<&cEdItem::m_nParam11>(5),
    InheritMember<&cEdItem::m_nParam12>(6),
    InheritMember<&cEdItem::m_nParam13>(7),
    InheritMember<&cEdItem::m_nParam14>(7),
    InheritMember<&cEdItem::m_nParam17>(8),
    InheritMember<&cEdItem::m_nParam16>(9),
    InheritMember<&cEdItem::m_nParam15>(10),
    InheritMember<&cEdItem::m_nSound>(11),
    InheritMember<&cEdItem::m_vCmds>(cEdItem::kCommandGroup),  // shared, not copied
};

const cEdDefinition::cKind kItemKind{cEdItem::kInheritGroups, kGroups,
                                     &FindBaseDefinition<cEdItem, &cPaletteLists::items>,
                                     &PaletteDefinitionCount<cEdItem, &cPaletteLists::items>};

}  // namespace

cEdItem::cEdItem() {
  m_vInherit.assign(kInheritGroups, 0);
  m_nGraphic = 0;
  m_nGraphicSource = 2;
  m_nParam11 = 6;
  m_nParam15 = 1;
  m_nParam17 = 1;
}

const cEdDefinition::cKind& cEdItem::Kind() const { return kItemKind; }

void cEdItem::DefineFields(int32_t version) {
  ClearDeclarations();
  DeclareHead();
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
  size_t conditionsCharged = 0;
  if (!cRecord::Read(in) || !ReadPosition(in) || !ReadFlagsAndConditions(in, conditionsCharged)) return false;
  const size_t before = in.Charged();
  std::vector<cEdCmd> commands;
  if (!ReadCommandList(in, commands)) return false;
  const size_t commandsCharged = in.Charged() - before;
  m_vCmds = std::move(commands);
  const void* read = m_vCmds.Holder().get();
  if (nFileVersion < 219 && m_nGraphicSource == 3) m_nGraphic = static_cast<uint16_t>(std::min(m_nGraphic + 1, 119));
  InheritAfterRead(in, conditionsCharged);
  if (m_vCmds.Holder().get() != read) in.Credit(commandsCharged);
  // The reference check. Commands read just now had their database checks
  // as they were read; commands taken from a base (shared with it) have
  // theirs.
  ValidateFields();
  if (m_vCmds.IsShared()) CheckCommandDatabaseIndices(m_vCmds);
  return true;
}

void cEdItem::WriteAsChecked(cDataWriter& out) const {
  WriteBody(out);
  WritePosition(out);
  WriteFlagsAndConditions(out);
  WriteCommandList(out, m_vCmds);
}

void cEdItem::DumpLists(cJsonWriter& json) {
  DumpHead(json);
  DumpInheritFlags(json, m_vInherit);
  DumpConditionList(json, "conditions", m_vConds);
  DumpRecordList(json, "commands", m_vCmds.Get());
}

void cEdItem::ValidateReferences() {
  ValidateFields();
  CheckCommandDatabaseIndices(m_vCmds);
}

void cEdItem::ValidateFields() {
  ValidateBase();
  if (m_nParam17 < 1) m_nParam17 = 1;
  if (m_nSound >= DatabaseCount(DatabaseList::Sound)) m_nSound = 0;
}

void cEdItem::ValidatePaletteReferences() { CheckCommandPaletteReferences(m_vCmds); }

cEdItem* GetPaletteItem(int kind, int index) {
  if (kind != kPaletteCommon && kind != kPaletteStage) return nullptr;
  std::vector<cEdItem>* items = PaletteLists(kind).items;
  if (!items || index < 0 || static_cast<size_t>(index) >= items->size()) return nullptr;
  return &(*items)[static_cast<size_t>(index)];
}
