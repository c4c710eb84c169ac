// What a player's runs keep between runs of the program: the options and
// the start-dialog choice; and, through the headers below, the world map,
// rankings and replay key logs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/rankings.h"
#include "data/record.h"
#include "data/replay_file.h"
#include "data/world_map.h"

// "user_data\Option.dat": the player's options. A file holding a value out
// of its range gets that value's default (a volume of 50 would index past
// the volume table, a palette of 99 name a palette that does not exist).
class cOptionData : public cRecord {
 public:
  cOptionData();
  PELMORA_RECORD_CLASS(cOptionData)
  void DefineFields(int32_t version) override;
  bool Read(cDataReader& in) override;
  // Values out of range to their defaults.
  void Validate();
  int32_t m_nPalette = 0;       // 0..23
  int32_t m_bMusic = 1;         // music on
  int32_t m_nSoundVolume = 7;   // 0..10
  int32_t m_nRankingMode = 0;   // 0..3
  std::string m_strRankingName;
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

// Writes the options to their file (temporary file and rename, folders made
// as needed); false when it could not be written (the values stay in memory).
bool SaveOptionFile(cOptionData& options, const std::string& path);

extern cOptionData OptionData;
extern cBootRecord BootRecord;
