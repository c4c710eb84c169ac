#include "data/database_records.h"

#include "data/effect_params.h"
#include "platform/text.h"

namespace {

// Numbers stored by files of versions 151 and 152 are not trusted.
constexpr int32_t kNumbersTrustedFrom = 153;

}  // namespace

// ---- animations ----

void cAnimeFrame::DefineFields(int32_t version) {
  ClearDeclarations();
  Declare(m_nCell, "cell");
  Declare(m_nDuration, "duration");
  Declare(m_nHold, "hold");
}

cAnimeRecord::cAnimeRecord() : cAnimeRecord(kForReading) { m_Frames.assign(1, cAnimeFrame()); }

cAnimeRecord::cAnimeRecord(cForReading) {
  Clear();
  m_nValue2 = 1;
}

void cAnimeRecord::DefineFields(int32_t version) {
  ClearDeclarations();
  if (version >= 55) {
    Declare(m_nValue1, "value1");
    Declare(m_nValue2, "value2");
    Declare(m_nValue3, "value3");
  }
  DeclareString(m_strName, "name");
}

bool cAnimeRecord::Read(cDataReader& in) { return cRecord::Read(in) && ReadRecordList(in, m_Frames); }

void cAnimeRecord::Write(cDataWriter& out) {
  cRecord::Write(out);
  WriteRecordList(out, m_Frames);
}

void cAnimeRecord::DumpLists(cJsonWriter& json) { DumpRecordList(json, "frames", m_Frames); }

cAnimeSetRecord::cAnimeSetRecord() : cAnimeSetRecord(kForReading) {
  static const char* const kNames[4] = {"立ち", "立ち移動", "飛行", "飛行移動"};
  m_Animes.assign(4, cAnimeRecord());
  for (int i = 0; i < 4; ++i) m_Animes[i].m_strName = plat::Sjis(kNames[i]);
}

cAnimeSetRecord::cAnimeSetRecord(cForReading) {
  Clear();
  m_nValue1 = 4;
  m_nValue2 = 8;
}

void cAnimeSetRecord::DefineFields(int32_t version) {
  ClearDeclarations();
  Declare(m_nValue1, "value1");
  Declare(m_nValue2, "value2");
  if (version >= 119) Declare(m_nValue3, "value3");
  DeclareString(m_strName, "name");
}

bool cAnimeSetRecord::Read(cDataReader& in) {
  if (!cRecord::Read(in) || !ReadRecordList(in, m_Animes)) return false;
  // Older sets always had these four animations.
  if (nFileVersion < 119) m_Animes.resize(4);
  if (nFileVersion < 128) {
    m_Animes.resize(4);
    m_Animes[2].m_strName = plat::Sjis("飛行");
    m_Animes[3].m_strName = plat::Sjis("飛行移動");
  }
  return true;
}

void cAnimeSetRecord::Write(cDataWriter& out) {
  cRecord::Write(out);
  WriteRecordList(out, m_Animes);
}

void cAnimeSetRecord::DumpLists(cJsonWriter& json) { DumpRecordList(json, "animes", m_Animes); }

// ---- special character bitmaps ----

void cBmpCharaExcRecord::DefineFields(int32_t version) {
  ClearDeclarations();
  if (version >= 152) Declare(m_nNumber, "number");
  if (version >= 172) {
    Declare(m_nValue2, "value2");
    Declare(m_nValue3, "value3");
  }
  DeclareString(m_strName, "name");
  DeclareString(m_strText2, "text2");
}

bool cBmpCharaExcRecord::Read(cDataReader& in) {
  if (!cRecord::Read(in)) return false;
  if (nFileVersion < kNumbersTrustedFrom) m_nNumber = 0;
  return true;
}

// ---- sword types ----

void cSwordTypeEntry::DefineFields(int32_t version) {
  // One declaration per value: 10 (8 before 138).
  ClearDeclarations();
  static const char* const kNames[10] = {"value1", "value2", "value3", "value4", "value5",
                                         "value6", "value7", "value8", "value9", "value10"};
  for (int i = 0; i < 10; ++i) {
    if ((i == 2 || i == 3) && version < 138) continue;
    Declare(m_nValues[i], kNames[i]);
  }
}

cSwordTypeRecord::cSwordTypeRecord() : cSwordTypeRecord(kForReading) {
  m_Entries.assign(1, cSwordTypeEntry());
  m_Entries[0].m_nValues[9] = 1;
}

cSwordTypeRecord::cSwordTypeRecord(cForReading) { Clear(); }

void cSwordTypeRecord::DefineFields(int32_t version) {
  ClearDeclarations();
  if (version >= 151) Declare(m_nNumber, "number");
  DeclareString(m_strName, "name");
  DeclareString(m_strText2, "text2");
  DeclareString(m_strText3, "text3");
}

bool cSwordTypeRecord::Read(cDataReader& in) {
  if (!cRecord::Read(in) || !ReadRecordList(in, m_Entries)) return false;
  if (nFileVersion < kNumbersTrustedFrom) m_nNumber = 0;
  return true;
}

void cSwordTypeRecord::Write(cDataWriter& out) {
  cRecord::Write(out);
  WriteRecordList(out, m_Entries);
}

void cSwordTypeRecord::DumpLists(cJsonWriter& json) { DumpRecordList(json, "entries", m_Entries); }

// ---- effects ----

cEffectRecord::cEffectRecord() : cEffectRecord(kForReading) { m_Frames.assign(1, cIntPair(0, 1)); }

cEffectRecord::cEffectRecord(cForReading) {
  Clear();
  m_nValue2 = 32;
  m_nValue3 = 32;
}

void cEffectRecord::DefineFields(int32_t version) {
  ClearDeclarations();
  if (version >= 151) Declare(m_nNumber, "number");
  Declare(m_nValue2, "value2");
  Declare(m_nValue3, "value3");
  Declare(m_nValue4, "value4");
  DeclareString(m_strName, "name");
  DeclareString(m_strText2, "text2");
}

bool cEffectRecord::Read(cDataReader& in) {
  if (!cRecord::Read(in) || !cIntPair::ReadList(in, m_Frames)) return false;
  if (nFileVersion < kNumbersTrustedFrom) m_nNumber = 0;
  return true;
}

void cEffectRecord::Write(cDataWriter& out) {
  cRecord::Write(out);
  cIntPair::WriteList(out, m_Frames);
}

void cEffectRecord::DumpLists(cJsonWriter& json) { DumpRecordList(json, "frames", m_Frames); }

// ---- graphic and screen effects ----

void cCharaEffectRecord::DefineFields(int32_t version) {
  ClearDeclarations();
  Declare(m_nKind, "kind");
  Declare(m_nParams, "params");
  DeclareString(m_strName, "name");
}

bool cCharaEffectRecord::Read(cDataReader& in) {
  if (!cRecord::Read(in)) return false;
  // Files before 511 had no wave roughness (kinds 4, 5: parameter 5) and no
  // circle roughness (kind 10: parameter 4).
  if (nFileVersion < 511) {
    if (m_nKind == 4 || m_nKind == 5) m_nParams[4] = CharaEffectParamTable(m_nKind, 5).defaultValue;
    if (m_nKind == 10) m_nParams[3] = CharaEffectParamTable(m_nKind, 4).defaultValue;
  }
  return true;
}

void cScrEffectRecord::DefineFields(int32_t version) {
  ClearDeclarations();
  Declare(m_nKind, "kind");
  Declare(m_nParams, "params");
  DeclareString(m_strName, "name");
}

bool cScrEffectRecord::Read(cDataReader& in) {
  if (!cRecord::Read(in)) return false;
  if (nFileVersion < 511) {
    if (m_nKind == 6 || m_nKind == 7) m_nParams[4] = ScrEffectParamTable(m_nKind, 5).defaultValue;
    if (m_nKind == 10) m_nParams[3] = ScrEffectParamTable(m_nKind, 4).defaultValue;
  }
  return true;
}

// ---- pictures, sounds, music ----

void cPictureRecord::DefineFields(int32_t version) {
  ClearDeclarations();
  if (version >= 151) Declare(m_nNumber, "number");
  DeclareString(m_strName, "name");
  DeclareString(m_strText2, "text2");
}

bool cPictureRecord::Read(cDataReader& in) {
  if (!cRecord::Read(in)) return false;
  if (nFileVersion < kNumbersTrustedFrom) m_nNumber = 0;
  return true;
}

void cSoundRecord::DefineFields(int32_t version) {
  ClearDeclarations();
  if (version >= 151) Declare(m_nNumber, "number");
  DeclareString(m_strName, "name");
  DeclareString(m_strText2, "text2");
}

bool cSoundRecord::Read(cDataReader& in) {
  if (!cRecord::Read(in)) return false;
  if (nFileVersion < kNumbersTrustedFrom) m_nNumber = 0;
  return true;
}

void cBgmRecord::DefineFields(int32_t version) {
  ClearDeclarations();
  if (version >= 151) Declare(m_nNumber, "number");
  if (version >= 814) Declare(m_nValue2, "value2");
  DeclareString(m_strName, "name");
  DeclareString(m_strText2, "text2");
}

bool cBgmRecord::Read(cDataReader& in) {
  if (!cRecord::Read(in)) return false;
  if (nFileVersion < kNumbersTrustedFrom) m_nNumber = 0;
  return true;
}
