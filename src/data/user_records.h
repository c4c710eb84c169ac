// Records of the world map and of what a player's runs keep: options, key
// logs of replays, rankings, the start-dialog choice. Their fields are
// declared here; the lists that follow some of them are read and written by
// the front end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/record.h"

// A named group of worlds of the world map.
class cWorldGroup : public cRecord {
 public:
  cWorldGroup() { Clear(); }
  PELMORA_RECORD_CLASS(cWorldGroup)
  void DefineFields(int32_t version) override;
  std::string m_strName;
};

// "data\WorldMap.dat": the world map's declared numbers and texts.
class cWorldMap : public cRecord {
 public:
  cWorldMap();
  PELMORA_RECORD_CLASS(cWorldMap)
  void DefineFields(int32_t version) override;
  void SetDefaults();

  int32_t m_nNum[8] = {};  // two blocks of four numbers
  std::string m_strName;
  std::string m_strText;
  // Grid size in cells (the grid itself belongs to the front end).
  int32_t m_nGridWidth = 0;
  int32_t m_nGridHeight = 0;
  std::vector<cWorldGroup> m_Groups;  // at least one
};

// "user_data\Option.dat".
class cOptionData : public cRecord {
 public:
  cOptionData();
  PELMORA_RECORD_CLASS(cOptionData)
  void DefineFields(int32_t version) override;
  int32_t m_nPalette = 0;       // 0..23
  int32_t m_bMusic = 1;         // music on
  int32_t m_nSoundVolume = 7;   // 0..10
  int32_t m_nRankingMode = 0;   // 0..3
  std::string m_strRankingName;
};

// A replay's key log: one declared number (its streams belong to the front end).
class cKeyLog : public cRecord {
 public:
  cKeyLog() { Clear(); }
  PELMORA_RECORD_CLASS(cKeyLog)
  void DefineFields(int32_t version) override;
  int32_t m_nValue = 0;
};

// One ranking list: its order flag (1: higher values first).
class cRankingList : public cRecord {
 public:
  cRankingList() { Clear(); }
  PELMORA_RECORD_CLASS(cRankingList)
  void DefineFields(int32_t version) override;
  int32_t m_bHigherFirst = 1;
};

// A ranking file: five lists (score, time left, clear time, HP left, SP left).
class cRankingFile : public cRecord {
 public:
  cRankingFile();
  PELMORA_RECORD_CLASS(cRankingFile)
  std::vector<cRankingList> m_Lists;
};

// "user_data\Boot.dat": the start dialog's choice.
class cBootRecord : public cRecord {
 public:
  cBootRecord() {
    Clear();
    m_nMode = 1;
  }
  PELMORA_RECORD_CLASS(cBootRecord)
  void DefineFields(int32_t version) override;
  int32_t m_nMode = 1;       // 1 Direct3D (a new installation's choice), 0 DirectDraw
  int32_t m_bDontAsk = 0;    // do not show the start dialog again
};

extern cWorldMap WorldMapData;
extern cOptionData OptionData;
extern cKeyLog KeyLogRecord;
extern cKeyLog KeyLogPlayback;
extern cRankingFile RankingFile;
extern cBootRecord BootRecord;
