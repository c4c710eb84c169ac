#include "data/character.h"

#include <algorithm>

namespace {

constexpr cEdDefinition::cInheritMember kGroups[] = {
    {0, &cEdDefinition::CopyName},
    InheritMember<&cEdCharacter::m_nControl>(1),
    InheritMember<&cEdCharacter::m_nParam28>(1),
    InheritMember<&cEdCharacter::m_nParam29>(2),
    InheritMember<&cEdCharacter::m_nParam30>(3),
    {4, &cEdDefinition::ShareConditions},
    InheritMember<&cEdCharacter::m_nParam6>(5),
    InheritMember<&cEdCharacter::m_nParam7>(6),
    InheritMember<&cEdCharacter::m_nStepStartX>(7),
    InheritMember<&cEdCharacter::m_nStepX>(7),
    InheritMember<&cEdCharacter::m_nMirrorX>(7),
    InheritMember<&cEdCharacter::m_nStepStartY>(8),
    InheritMember<&cEdCharacter::m_nStepY>(8),
    InheritMember<&cEdCharacter::m_nMirrorY>(8),
    InheritMember<&cEdCharacter::m_nGraphic>(9),
    InheritMember<&cEdCharacter::m_nGraphicSource>(9),
    InheritMember<&cEdCharacter::m_nParam16>(9),
    InheritMember<&cEdCharacter::m_nAnimeSet>(10),
    InheritMember<&cEdCharacter::m_nParam18>(11),
    InheritMember<&cEdCharacter::m_nParam19>(12),
    InheritMember<&cEdCharacter::m_nCharaEffectA>(13),
    InheritMember<&cEdCharacter::m_nParam21>(13),
    InheritMember<&cEdCharacter::m_nParam22>(13),
    InheritMember<&cEdCharacter::m_nCharaEffectB>(14),
    InheritMember<&cEdCharacter::m_nParam24>(14),
    InheritMember<&cEdCharacter::m_nParam25>(15),
    InheritMember<&cEdCharacter::m_nParam26>(15),
    InheritMember<&cEdCharacter::m_nParam32>(16),
    InheritMember<&cEdCharacter::m_nParam31>(17),
    InheritMember<&cEdCharacter::m_nParam33>(18),
    InheritMember<&cEdCharacter::m_nParam34>(18),
    InheritMember<&cEdCharacter::m_nParam35>(19),
    InheritMember<&cEdCharacter::m_nParam36>(20),
    InheritMember<&cEdCharacter::m_nParam37>(21),
    InheritMember<&cEdCharacter::m_nParam38>(22),
    InheritMember<&cEdCharacter::m_nParam39>(22),
    InheritMember<&cEdCharacter::m_nParam40>(23),
    InheritMember<&cEdCharacter::m_nParam41>(24),
    InheritMember<&cEdCharacter::m_nParam43>(25),
    InheritMember<&cEdCharacter::m_nParam44>(26),
    InheritMember<&cEdCharacter::m_nParam45>(27),
    InheritMember<&cEdCharacter::m_nEffect>(28),
    InheritMember<&cEdCharacter::m_nParam47>(29),
    InheritMember<&cEdCharacter::m_nParam48>(30),
    InheritMember<&cEdCharacter::m_nParam42>(31),
    InheritMember<&cEdCharacter::m_nParam53>(32),
    InheritMember<&cEdCharacter::m_nParam54>(32),
    InheritMember<&cEdCharacter::m_nParam51>(33),
    InheritMember<&cEdCharacter::m_nParam52>(33),
    InheritMember<&cEdCharacter::m_nParam49>(34),
    InheritMember<&cEdCharacter::m_nParam50>(35),
    {cEdCharacter::kFlowGroup, &cEdCharacter::InheritFlows},
};

const cEdDefinition::cKind kCharacterKind{cEdCharacter::kInheritGroups, kGroups,
                                          &FindBaseDefinition<cEdCharacter, &cPaletteLists::characters>,
                                          &PaletteDefinitionCount<cEdCharacter, &cPaletteLists::characters>};

}  // namespace

const cEdDefinition::cKind& cEdCharacter::Kind() const { return kCharacterKind; }

void cEdCharacter::InheritFlows(cEdDefinition& type, const cEdDefinition& base) {
  auto& to = static_cast<cEdCharacter&>(type);
  const auto& from = static_cast<const cEdCharacter&>(base);
  if (from.m_vFlows.empty()) {
    // A base without flows leaves one blank flow. The reference check that
    // follows every read erases it again: a flow is blank by its group,
    // trigger, flag and lists, whatever its key tolerance.
    cEdFlow blank;
    blank.m_nKeyTolerance = 3;
    to.m_vFlows = std::vector<cEdFlow>{blank};
  } else {
    to.m_vFlows = from.m_vFlows;
  }
}

cEdCharacter::cEdCharacter() {
  m_nPlacedItem = 0;
  m_vInherit.assign(kInheritGroups, 0);
  m_nGraphic = 0;
  m_nGraphicSource = 1;
  m_nParam18 = 3;
  m_nParam22 = 1;
  m_nControl = 1;
  m_nParam29 = 1;
  m_nParam32 = 1;
  m_nParam36 = 1;
  m_nParam40 = 10;
  m_nParam42 = 10;
  m_nParam47 = 0;
  m_nParam50 = 1;
}

void cEdCharacter::DefineFields(int32_t version) {
  ClearDeclarations();
  DeclareHead();
  Declare(m_nParam6, "p6");
  Declare(m_nParam7, "p7");
  Declare(m_nStepStartX, "stepStartX");
  Declare(m_nStepX, "stepX");
  Declare(m_nStepStartY, "stepStartY");
  Declare(m_nStepY, "stepY");
  Declare(m_nMirrorX, "mirrorX");
  Declare(m_nMirrorY, "mirrorY");
  Declare(m_nGraphic, "graphic");
  Declare(m_nGraphicSource, "graphicSource");
  Declare(m_nParam16, "p16");
  Declare(m_nAnimeSet, "animeSet");
  Declare(m_nParam18, "p18");
  Declare(m_nParam19, "p19");
  Declare(m_nCharaEffectA, "charaEffectA");
  if (version >= 196) Declare(m_nParam21, "p21");
  Declare(m_nParam22, "p22");
  Declare(m_nCharaEffectB, "charaEffectB");
  if (version >= 196) Declare(m_nParam24, "p24");
  Declare(m_nParam25, "p25");
  Declare(m_nParam26, "p26");
  Declare(m_nControl, "control");
  Declare(m_nParam28, "p28");
  Declare(m_nParam29, "p29");
  Declare(m_nParam30, "p30");
  Declare(m_nParam31, "p31");
  Declare(m_nParam32, "p32");
  Declare(m_nParam33, "p33");
  if (version >= 285) Declare(m_nParam34, "p34");
  Declare(m_nParam35, "p35");
  Declare(m_nParam36, "p36");
  if (version >= 210) Declare(m_nParam37, "p37");
  Declare(m_nParam38, "p38");
  Declare(m_nParam39, "p39");
  Declare(m_nParam40, "p40");
  Declare(m_nParam41, "p41");
  Declare(m_nParam42, "p42");
  if (version >= 201) Declare(m_nParam43, "p43");
  Declare(m_nParam44, "p44");
  Declare(m_nParam45, "p45");
  Declare(m_nEffect, "effect");
  if (version >= 168) Declare(m_nParam47, "p47");
  Declare(m_nParam48, "p48");
  Declare(m_nParam49, "p49");
  Declare(m_nParam50, "p50");
  Declare(m_nParam51, "p51");
  Declare(m_nParam52, "p52");
  Declare(m_nParam53, "p53");
  Declare(m_nParam54, "p54");
}

namespace {

// A group inserted at k: the flags made 37 long, flags k..35 one place up,
// and the new group inherited (older types took those settings from the base
// along with their neighbours).
void InsertFlag(std::vector<uint8_t>& flags, size_t k) {
  flags.resize(cEdCharacter::kInheritGroups, 0);
  for (size_t j = cEdCharacter::kInheritGroups - 1; j > k; --j) flags[j] = flags[j - 1];
  flags[k] = 1;
}

}  // namespace

bool cEdCharacter::Read(cDataReader& in) {
  size_t conditionsCharged = 0;
  if (!cRecord::Read(in) || !ReadPosition(in) || !in.ReadI32(m_nPlacedItem) ||
      !ReadFlagsAndConditions(in, conditionsCharged))
    return false;
  const size_t before = in.Charged();
  std::vector<cEdFlow> flows;
  if (!ReadFlowList(in, flows)) return false;
  const size_t flowsCharged = in.Charged() - before;
  EraseTestPlayFlows(flows);
  m_vFlows = std::move(flows);
  const void* read = m_vFlows.Holder().get();
  const int32_t v = nFileVersion;
  if (v < kDataVersion) {
    if (v < 168) {
      m_nParam47 = 0;
      InsertFlag(m_vInherit, 27);
    }
    if (v < 196) {
      m_nParam21 = 0;
      m_nParam24 = 0;
    }
    if (v < 201) {
      m_nParam43 = 0;
      InsertFlag(m_vInherit, 24);
    }
    if (v < 206 && static_cast<int8_t>(m_nParam43) >= 2) m_nParam43 = static_cast<uint8_t>(m_nParam43 + 1);
    if (v < 210) {
      m_nParam37 = 0;
      InsertFlag(m_vInherit, 21);
    }
    if (v < 219 && m_nGraphicSource == 3) m_nGraphic = static_cast<int16_t>(std::min(m_nGraphic + 1, 119));
    if (v < 285) m_nParam34 = 1;
  }
  InheritAfterRead(in, conditionsCharged);
  // The flows read give their charge back when the base's replace them.
  if (m_vFlows.Holder().get() != read) in.Credit(flowsCharged);
  // The reference check. Flows read just now had their database checks as
  // they were read; flows taken from a base (shared with it) have theirs.
  ValidateFields();
  if (m_vFlows.IsShared())
    CheckFlowDatabaseIndices(m_vFlows);
  else
    EraseBlankFlows(m_vFlows);
  return true;
}

void cEdCharacter::WriteAsChecked(cDataWriter& out) const {
  WriteBody(out);
  WritePosition(out);
  out.WriteI32(m_nPlacedItem);
  WriteFlagsAndConditions(out);
  WriteFlowList(out, m_vFlows);
}

void cEdCharacter::DumpLists(cJsonWriter& json) {
  DumpHead(json);
  json.Key("placedItem");
  json.Int(m_nPlacedItem);
  DumpInheritFlags(json, m_vInherit);
  DumpConditionList(json, "conditions", m_vConds);
  DumpRecordList(json, "flows", m_vFlows.Get());
}

void cEdCharacter::ValidateReferences() {
  ValidateFields();
  // The flows' database checks, then the blank flows erased.
  CheckFlowDatabaseIndices(m_vFlows);
}

void cEdCharacter::ValidateFields() {
  ValidateBase();
  auto outside = [](int16_t index, DatabaseList list) {
    return IndexOutside16(static_cast<uint16_t>(index), DatabaseCount(list));
  };
  if (m_nGraphicSource == 4 && outside(m_nGraphic, DatabaseList::BmpCharaExc)) m_nGraphic = 1;
  if (m_nParam36 < 1) m_nParam36 = 1;
  if (outside(m_nAnimeSet, DatabaseList::AnimeSet)) m_nAnimeSet = 0;
  if (outside(m_nCharaEffectA, DatabaseList::CharaEffect)) m_nCharaEffectA = 0;
  if (outside(m_nCharaEffectB, DatabaseList::CharaEffect)) m_nCharaEffectB = 0;
  if (m_nEffect >= DatabaseCount(DatabaseList::Effect)) m_nEffect = 0;
  // A player character has no use for these two.
  if (m_nControl == 0) {
    m_nParam35 = 0;
    m_nParam7 = 0;
  }
}

void cEdCharacter::ValidatePaletteReferences() { CheckFlowPaletteReferences(m_vFlows); }

double cEdCharacter::GetStepOffsetX(int n, int direction) const {
  // 64-bit: a large n must not overflow.
  double offset = static_cast<double>(int64_t{m_nStepX} * n + m_nStepStartX);
  return (direction == 1 && m_nMirrorX) ? -offset : offset;
}

double cEdCharacter::GetStepOffsetY(int n, int direction) const {
  double offset = static_cast<double>(int64_t{m_nStepY} * n + m_nStepStartY);
  return (direction == 1 && m_nMirrorY) ? -offset : offset;
}
