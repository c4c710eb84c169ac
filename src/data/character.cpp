#include "data/character.h"

#include <algorithm>

#include "data/inheritance.h"

cEdCharacter::cEdCharacter() {
  m_nPlacedItem = 0;
  Clear();
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
  Declare(m_nBaseKind, "baseKind");
  Declare(m_nBaseIndex, "baseIndex");
  DeclareString(m_strName, "name");
  Declare(m_nCondMode, "condMode");
  Declare(m_nCondOption, "condOption");
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
  if (!cRecord::Read(in)) return false;
  if (!in.Read(&m_nWord1, 2) || !in.Read(&m_nWord2, 2) || !in.ReadI32(m_nPlacedItem)) return false;
  if (!ReadInheritFlags(in, m_vInherit)) return false;
  if (!ReadConditionList(in, m_vConds)) return false;
  if (!ReadFlowList(in, m_vFlows)) return false;
  EraseTestPlayFlows(m_vFlows);
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
  ApplyInheritance();
  ValidateReferences();
  return true;
}

void cEdCharacter::Write(cDataWriter& out) {
  ValidateReferences();
  cRecord::Write(out);
  out.Write(&m_nWord1, 2);
  out.Write(&m_nWord2, 2);
  out.WriteI32(m_nPlacedItem);
  WriteInheritFlags(out, m_vInherit);
  WriteConditionList(out, m_vConds);
  WriteFlowList(out, m_vFlows);
}

void cEdCharacter::DumpLists(cJsonWriter& json) {
  json.Key("word1");
  json.Int(static_cast<int16_t>(m_nWord1));
  json.Key("word2");
  json.Int(static_cast<int16_t>(m_nWord2));
  json.Key("placedItem");
  json.Int(m_nPlacedItem);
  DumpInheritFlags(json, m_vInherit);
  DumpConditionList(json, "conditions", m_vConds);
  DumpRecordList(json, "flows", m_vFlows);
}

void cEdCharacter::ApplyInheritance() {
  cEdCharacter* base = FindBaseType(m_nBaseKind, m_nBaseIndex, &cPaletteLists::characters);
  if (!base || base == this) return;
  const cEdCharacter& b = *base;
  const size_t groups = std::min<size_t>(m_vInherit.size(), kInheritGroups);
  for (size_t g = 0; g < groups; ++g) {
    if (!m_vInherit[g]) continue;
    switch (g) {
      case 0: m_strName = b.m_strName; break;
      case 1:
        m_nControl = b.m_nControl;
        m_nParam28 = b.m_nParam28;
        break;
      case 2: m_nParam29 = b.m_nParam29; break;
      case 3: m_nParam30 = b.m_nParam30; break;
      case 4:
        m_vConds = b.m_vConds;
        m_nCondMode = b.m_nCondMode;
        m_nCondOption = b.m_nCondOption;
        break;
      case 5: m_nParam6 = b.m_nParam6; break;
      case 6: m_nParam7 = b.m_nParam7; break;
      case 7:
        m_nStepStartX = b.m_nStepStartX;
        m_nStepX = b.m_nStepX;
        m_nMirrorX = b.m_nMirrorX;
        break;
      case 8:
        m_nStepStartY = b.m_nStepStartY;
        m_nStepY = b.m_nStepY;
        m_nMirrorY = b.m_nMirrorY;
        break;
      case 9:
        m_nGraphic = b.m_nGraphic;
        m_nGraphicSource = b.m_nGraphicSource;
        m_nParam16 = b.m_nParam16;
        break;
      case 10: m_nAnimeSet = b.m_nAnimeSet; break;
      case 11: m_nParam18 = b.m_nParam18; break;
      case 12: m_nParam19 = b.m_nParam19; break;
      case 13:
        m_nCharaEffectA = b.m_nCharaEffectA;
        m_nParam21 = b.m_nParam21;
        m_nParam22 = b.m_nParam22;
        break;
      case 14:
        m_nCharaEffectB = b.m_nCharaEffectB;
        m_nParam24 = b.m_nParam24;
        break;
      case 15:
        m_nParam25 = b.m_nParam25;
        m_nParam26 = b.m_nParam26;
        break;
      case 16: m_nParam32 = b.m_nParam32; break;
      case 17: m_nParam31 = b.m_nParam31; break;
      case 18:
        m_nParam33 = b.m_nParam33;
        m_nParam34 = b.m_nParam34;
        break;
      case 19: m_nParam35 = b.m_nParam35; break;
      case 20: m_nParam36 = b.m_nParam36; break;
      case 21: m_nParam37 = b.m_nParam37; break;
      case 22:
        m_nParam38 = b.m_nParam38;
        m_nParam39 = b.m_nParam39;
        break;
      case 23: m_nParam40 = b.m_nParam40; break;
      case 24: m_nParam41 = b.m_nParam41; break;
      case 25: m_nParam43 = b.m_nParam43; break;
      case 26: m_nParam44 = b.m_nParam44; break;
      case 27: m_nParam45 = b.m_nParam45; break;
      case 28: m_nEffect = b.m_nEffect; break;
      case 29: m_nParam47 = b.m_nParam47; break;
      case 30: m_nParam48 = b.m_nParam48; break;
      case 31: m_nParam42 = b.m_nParam42; break;
      case 32:
        m_nParam53 = b.m_nParam53;
        m_nParam54 = b.m_nParam54;
        break;
      case 33:
        m_nParam51 = b.m_nParam51;
        m_nParam52 = b.m_nParam52;
        break;
      case 34: m_nParam49 = b.m_nParam49; break;
      case 35: m_nParam50 = b.m_nParam50; break;
      case kFlowGroup:
        if (b.m_vFlows.empty()) {
          // A base without flows leaves one blank flow. The reference check
          // that follows every read erases it again: a flow is blank by its
          // group, trigger, flag and lists, whatever its key tolerance.
          m_vFlows.assign(1, cEdFlow());
          m_vFlows[0].m_nKeyTolerance = 3;
        } else {
          m_vFlows = b.m_vFlows;
        }
        break;
    }
  }
}

void cEdCharacter::ValidateReferences() {
  if ((m_nBaseKind == kPaletteCommon || m_nBaseKind == kPaletteStage) &&
      m_nBaseIndex >= PaletteListSize(m_nBaseKind, &cPaletteLists::characters)) {
    m_nBaseKind = 0;
    m_nBaseIndex = 0;
  }
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
  for (cCond& c : m_vConds) c.ValidateReferences();
  for (cEdFlow& f : m_vFlows) f.ValidateDatabaseIndices();
  std::erase_if(m_vFlows, [](const cEdFlow& f) { return f.IsEmpty(); });
}

void cEdCharacter::ValidatePaletteReferences() {
  for (cEdFlow& f : m_vFlows) f.ValidatePaletteReferences();
}

double cEdCharacter::GetStepOffsetX(int n, int direction) const {
  // 64-bit: a large n must not overflow.
  double offset = static_cast<double>(int64_t{m_nStepX} * n + m_nStepStartX);
  return (direction == 1 && m_nMirrorX) ? -offset : offset;
}

double cEdCharacter::GetStepOffsetY(int n, int direction) const {
  double offset = static_cast<double>(int64_t{m_nStepY} * n + m_nStepStartY);
  return (direction == 1 && m_nMirrorY) ? -offset : offset;
}
