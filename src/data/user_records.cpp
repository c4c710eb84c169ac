#include "data/user_records.h"

#include "platform/text.h"

cWorldMap WorldMapData;
cOptionData OptionData;
cKeyLog KeyLogRecord;
cKeyLog KeyLogPlayback;
cRankingFile RankingFile;
cBootRecord BootRecord;

void cWorldGroup::DefineFields(int32_t) {
  ClearDeclarations();
  DeclareString(m_strName, "name");
}

cWorldMap::cWorldMap() { SetDefaults(); }

void cWorldMap::DefineFields(int32_t) {
  ClearDeclarations();
  for (int i = 0; i < 8; ++i) {
    static const char* const names[8] = {"n1", "n2", "n3", "n4", "n5", "n6", "n7", "n8"};
    Declare(m_nNum[i], names[i]);
  }
  DeclareString(m_strName, "name");
  DeclareString(m_strText, "text");
}

void cWorldMap::SetDefaults() {
  Clear();
  m_strName = plat::Sjis("ワールド");
  m_nNum[4] = 9;
  m_nNum[5] = 7;
  m_nNum[6] = 16;
  m_nNum[7] = 0;
  m_nGridWidth = 20;
  m_nGridHeight = 15;
  m_Groups.assign(1, cWorldGroup());
  m_Groups[0].m_strName = plat::Sjis("デフォルト");
}

cOptionData::cOptionData() {
  Clear();
  m_bMusic = 1;
  m_nSoundVolume = 7;
  m_strRankingName = "aaa";
}

void cOptionData::DefineFields(int32_t) {
  ClearDeclarations();
  Declare(m_nPalette, "palette");
  Declare(m_bMusic, "music");
  Declare(m_nSoundVolume, "soundVolume");
  Declare(m_nRankingMode, "rankingMode");
  DeclareString(m_strRankingName, "rankingName");
}

void cKeyLog::DefineFields(int32_t) {
  ClearDeclarations();
  Declare(m_nValue, "value");
}

void cRankingList::DefineFields(int32_t) {
  ClearDeclarations();
  Declare(m_bHigherFirst, "higherFirst");
}

cRankingFile::cRankingFile() {
  m_Lists.assign(5, cRankingList());
  const int32_t order[5] = {1, 1, 0, 1, 1};
  for (int i = 0; i < 5; ++i) m_Lists[i].m_bHigherFirst = order[i];
}

void cBootRecord::DefineFields(int32_t) {
  ClearDeclarations();
  Declare(m_nMode, "mode");
  Declare(m_bDontAsk, "dontAsk");
}
