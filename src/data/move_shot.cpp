#include "data/move_shot.h"

#include "data/inheritance.h"

// ---- cEdMove ----

cEdMove::cEdMove() {
  m_f5 = 1;
  m_f6 = 1;
  m_f7 = 1;
  m_f13 = 1;
  m_f16 = 1;
  m_f17 = 0;
  m_f18 = 1;
  m_f22 = 10;
  m_f31 = 1.0;
  m_f33 = 0;
}

void cEdMove::DefineFields(int32_t version) {
  ClearDeclarations();
  Declare(m_f1, "f1");
  Declare(m_f2, "f2");
  Declare(m_f3, "f3");
  Declare(m_f4, "f4");
  if (version >= 158) Declare(m_f5, "f5");
  Declare(m_f6, "f6");
  Declare(m_f7, "f7");
  // Fields 8 to 11: one declaration each, as every numbered field.
  Declare(m_f8, "f8");
  Declare(m_f9, "f9");
  Declare(m_f10, "f10");
  Declare(m_f11, "f11");
  Declare(m_f12, "f12");
  Declare(m_f13, "f13");
  Declare(m_f14, "f14");
  Declare(m_f15, "f15");
  Declare(m_f16, "f16");
  Declare(m_f17, "f17");
  Declare(m_f18, "f18");
  Declare(m_f19, "f19");
  if (version >= 162) Declare(m_f20, "f20");
  Declare(m_f21, "f21");
  Declare(m_f22, "f22");
  Declare(m_f23, "f23");
  Declare(m_f24, "f24");
  Declare(m_f25, "f25");
  if (version >= 159) Declare(m_f26, "f26");
  Declare(m_f27, "f27");
  Declare(m_f28, "f28");
  Declare(m_f29, "f29");
  Declare(m_f30, "f30");
  Declare(m_f31, "f31");
  if (version >= 162) Declare(m_f32, "f32");
  if (version >= 767) Declare(m_f33, "f33");
}

bool cEdMove::Read(cDataReader& in) {
  if (!cRecord::Read(in)) return false;
  const int32_t v = nFileVersion;
  if (v >= kDataVersion) return true;
  if (v < 158) m_f5 = 0;
  if (v < 159) m_f26 = 0;
  if (v < 162) {
    m_f20 = 0;
    m_f32 = 0;
  }
  if (v < 830 && m_f32 == 1) m_f32 = 2;
  return true;
}

void cEdMove::Create(std::shared_ptr<cEdMove>& holder) { holder = std::make_shared<cEdMove>(); }

// ---- cEdShot ----

cEdShot::cEdShot() {
  m_f7 = 0;
  m_f10 = 1;
  m_f18 = 1;
  m_f19 = 0;
  m_f23 = 1;
  m_f26 = 1;
  m_f30 = 0;
}

void cEdShot::DefineFields(int32_t version) {
  ClearDeclarations();
  Declare(m_f1, "f1");
  Declare(m_f2, "f2");
  Declare(m_f3, "f3");
  if (version >= 671) Declare(m_f4, "f4");
  Declare(m_f5, "f5");
  Declare(m_f6, "f6");
  if (version >= 767) Declare(m_f7, "f7");
  Declare(m_f8, "f8");
  Declare(m_f9, "f9");
  if (version >= 158) Declare(m_f10, "f10");
  Declare(m_f11, "f11");
  Declare(m_f12, "f12");
  Declare(m_f13, "f13");
  Declare(m_f14, "f14");
  Declare(m_f15, "f15");
  Declare(m_f16, "f16");
  Declare(m_f17, "f17");
  Declare(m_f18, "f18");
  Declare(m_f19, "f19");
  Declare(m_nGraphic, "graphic");
  Declare(m_f21, "f21");
  Declare(m_f22, "f22");
  Declare(m_f23, "f23");
  Declare(m_f24, "f24");
  Declare(m_f25, "f25");
  Declare(m_f26, "f26");
  Declare(m_f27, "f27");
  Declare(m_nType, "type");
  Declare(m_f29, "f29");
  if (version >= 767) Declare(m_f30, "f30");
  if (version >= 211) Declare(m_f31, "f31");
  Declare(m_f32, "f32");
  Declare(m_f33, "f33");
  if (version >= 213) {
    Declare(m_f34, "f34");
    Declare(m_f35, "f35");
    Declare(m_f36, "f36");
  }
  Declare(m_f37, "f37");
  Declare(m_f38, "f38");
  Declare(m_f39, "f39");
  Declare(m_f40, "f40");
  Declare(m_f41, "f41");
  Declare(m_f42, "f42");
  Declare(m_f43, "f43");
  Declare(m_f44, "f44");
  Declare(m_f45, "f45");
  if (version >= 636) Declare(m_f46, "f46");
  Declare(m_f47, "f47");
  Declare(m_f48, "f48");
  Declare(m_f49, "f49");
  Declare(m_f50, "f50");
  Declare(m_f51, "f51");
  Declare(m_nEffect, "effect");
  Declare(m_nItemPalette, "itemKind");
  Declare(m_nItemIndex, "itemIndex");
  Declare(m_f55, "f55");
  Declare(m_f56, "f56");
  if (version >= 197) Declare(m_f57, "f57");
  Declare(m_nSummonPalette, "summonPalette");
  Declare(m_nSummonIndex, "summonIndex");
  Declare(m_f60, "f60");
  Declare(m_f61, "f61");
  Declare(m_f62, "f62");
  if (version >= 762) {
    Declare(m_f63, "f63");
    Declare(m_f64, "f64");
  }
}

bool cEdShot::Read(cDataReader& in) {
  if (!cRecord::Read(in)) return false;
  const int32_t v = nFileVersion;
  if (v < kDataVersion) {
    if (v < 158) m_f10 = 0;
    if (v < 197) m_f57 = m_f56;
    if (v < 212) m_f31 = (m_nType >= 4 && m_nType <= 7) ? 1 : 0;
    if (v < 213) {
      m_f34 = 0;
      m_f35 = 0;
      m_f36 = 0;
    }
    if (v < 636) m_f46 = m_f45;
    if (v < 671) m_f4 = 0;
  }
  ValidateReferences();
  return true;
}

void cEdShot::Write(cDataWriter& out) {
  ValidateReferences();
  cRecord::Write(out);
}

void cEdShot::ValidateReferences() {
  if (m_f26 < 1) m_f26 = 1;
  if (m_nEffect >= DatabaseCount(DatabaseList::Effect)) m_nEffect = 0;
}

void cEdShot::Create(std::shared_ptr<cEdShot>& holder) { holder = std::make_shared<cEdShot>(); }
