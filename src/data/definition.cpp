#include "data/definition.h"

#include <algorithm>

void cEdDefinition::ApplyInheritance() {
  const cKind& kind = Kind();
  cEdDefinition* base = kind.findBase(m_nBaseKind, m_nBaseIndex);
  // A type naming itself has nothing to take.
  if (!base || base == this) return;
  const size_t groups = std::min(m_vInherit.size(), kind.groups);
  for (const cInheritMember& member : kind.table)
    if (member.group < groups && m_vInherit[member.group]) member.copy(*this, *base);
}

void cEdDefinition::Write(cDataWriter& out) {
  ValidateReferences();
  CutStrings();
  WriteAsChecked(out);
}

void cEdDefinition::CopyName(cEdDefinition& type, const cEdDefinition& base) {
  // Texts are copied, not shared: a long name taken by many types counts
  // against what the load may build (a load past it fails).
  if (base.m_strName.size() > 15 && !ChargeLoad(HeapBytes(base.m_strName.size() + 1))) return;
  type.m_strName = base.m_strName;
}

void cEdDefinition::ShareConditions(cEdDefinition& type, const cEdDefinition& base) {
  type.m_vConds = base.m_vConds;
  type.m_nCondMode = base.m_nCondMode;
  type.m_nCondOption = base.m_nCondOption;
}

void cEdDefinition::DeclareHead() {
  Declare(m_nBaseKind, "baseKind");
  Declare(m_nBaseIndex, "baseIndex");
  DeclareString(m_strName, "name");
  Declare(m_nCondMode, "condMode");
  Declare(m_nCondOption, "condOption");
}

bool cEdDefinition::ReadPosition(cDataReader& in) { return in.Read(&m_nWord1, 2) && in.Read(&m_nWord2, 2); }

bool cEdDefinition::ReadFlagsAndConditions(cDataReader& in, size_t& charged) {
  if (!ReadValueList(in, m_vInherit)) return false;
  const size_t before = in.Charged();
  std::vector<cCond> conditions;
  if (!ReadConditionList(in, conditions)) return false;
  charged = in.Charged() - before;
  m_vConds = std::move(conditions);
  return true;
}

void cEdDefinition::InheritAfterRead(cDataReader& in, size_t conditionsCharged) {
  const void* read = m_vConds.Holder().get();
  ApplyInheritance();
  if (m_vConds.Holder().get() != read) in.Credit(conditionsCharged);
}

void cEdDefinition::WritePosition(cDataWriter& out) const {
  out.Write(&m_nWord1, 2);
  out.Write(&m_nWord2, 2);
}

void cEdDefinition::WriteFlagsAndConditions(cDataWriter& out) const {
  WriteValueList(out, m_vInherit);
  WriteConditionList(out, m_vConds);
}

void cEdDefinition::DumpHead(cJsonWriter& json) {
  json.Key("word1");
  json.Int(static_cast<int16_t>(m_nWord1));
  json.Key("word2");
  json.Int(static_cast<int16_t>(m_nWord2));
}

void cEdDefinition::ValidateBase() {
  if ((m_nBaseKind == kPaletteCommon || m_nBaseKind == kPaletteStage) &&
      m_nBaseIndex >= Kind().paletteSize(m_nBaseKind)) {
    m_nBaseKind = 0;
    m_nBaseIndex = 0;
  }
}
