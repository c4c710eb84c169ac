#include "data/common_palette.h"

#include "data/inheritance.h"
#include "data/stage_data.h"

cCommonPalette CommonPalette;

namespace {

template <class T>
void PadToTwo(cSafeVector<T>& list) {
  while (list.size() < 2) list.emplace_back();
}

cPaletteLists ListsOf(cCommonPalette& p) { return {&p.m_Blocks, &p.m_Characters, &p.m_Items}; }

}  // namespace

cCommonPalette::cCommonPalette() {
  Clear();
  m_Blocks.assign(1, cEdBlock());
  m_Characters.assign(1, cEdCharacter());
  m_Items.assign(1, cEdItem());
}

bool cCommonPalette::Read(cDataReader& in) {
  // Lists that types share (inherited flows and commands) are checked once.
  cSharedCheckScope shared;
  if (!cRecord::Read(in)) return false;
  {
    // Bases of kind 1 resolve against the lists being read.
    cPaletteScope scope(kPaletteCommon, ListsOf(*this));
    if (!ReadPaletteList(in, m_Blocks) || !ReadPaletteList(in, m_Characters) || !ReadPaletteList(in, m_Items))
      return false;
  }
  if (!m_Blocks.empty()) ResetToNewType(m_Blocks.At(0));
  if (!m_Characters.empty()) ResetToNewType(m_Characters.At(0));
  if (!m_Items.empty()) ResetToNewType(m_Items.At(0));
  // Common types keep what they took from their bases and inherit no more.
  for (cEdBlock& b : m_Blocks) std::fill(b.m_vInherit.begin(), b.m_vInherit.end(), 0);
  for (cEdCharacter& c : m_Characters) std::fill(c.m_vInherit.begin(), c.m_vInherit.end(), 0);
  for (cEdItem& i : m_Items) std::fill(i.m_vInherit.begin(), i.m_vInherit.end(), 0);
  Normalize();
  return true;
}

void cCommonPalette::Normalize() {
  cSharedCheckScope shared;
  PadToTwo(m_Blocks);
  PadToTwo(m_Characters);
  PadToTwo(m_Items);
  cPaletteScope scope(kPaletteCommon, ListsOf(*this));
  for (cEdBlock& b : m_Blocks) {
    b.ValidateReferences();
    b.ValidateItemReference();
  }
  for (cEdCharacter& c : m_Characters) {
    c.ValidateReferences();
    c.ValidatePaletteReferences();
  }
  for (cEdItem& i : m_Items) {
    i.ValidateReferences();
    i.ValidatePaletteReferences();
  }
}

void cCommonPalette::Write(cDataWriter& out) {
  cSharedCheckScope shared;
  Normalize();
  cPaletteScope scope(kPaletteCommon, ListsOf(*this));
  cRecord::Write(out);
  WriteRecordList(out, m_Blocks);
  WriteRecordList(out, m_Characters);
  WriteRecordList(out, m_Items);
}

void cCommonPalette::DumpLists(cJsonWriter& json) {
  DumpRecordList(json, "blocks", m_Blocks);
  DumpRecordList(json, "characters", m_Characters);
  DumpRecordList(json, "items", m_Items);
}

void RegisterProjectPalettes() {
  SetPaletteLists(kPaletteCommon, ListsOf(CommonPalette));
  SetPaletteLists(kPaletteStage, {&StageData.m_PaletteBlocks, &StageData.m_PaletteCharacters, &StageData.m_PaletteItems});
}

namespace {
// Only addresses are registered, so this may run before either global is built.
const bool palettesRegistered = (RegisterProjectPalettes(), true);
}  // namespace
