#include "data/user_records.h"

#include "data/save_slots.h"

cOptionData OptionData;
cBootRecord BootRecord;

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

namespace {

// Option values and their defaults.
constexpr int32_t kPaletteCount = 24;
constexpr int32_t kVolumeLevels = 11;
constexpr int32_t kDefaultVolume = 7;
constexpr int32_t kRankingModes = 4;

}  // namespace

bool cOptionData::Read(cDataReader& in) {
  if (!cRecord::Read(in)) return false;
  Validate();
  return true;
}

void cOptionData::Validate() {
  if (m_nPalette < 0 || m_nPalette >= kPaletteCount) m_nPalette = 0;
  if (m_bMusic != 0 && m_bMusic != 1) m_bMusic = 1;
  if (m_nSoundVolume < 0 || m_nSoundVolume >= kVolumeLevels) m_nSoundVolume = kDefaultVolume;
  if (m_nRankingMode < 0 || m_nRankingMode >= kRankingModes) m_nRankingMode = 0;
}

bool SaveOptionFile(cOptionData& options, const std::string& path) {
  options.Validate();
  return WriteUserFileAtomically(path, options.SaveToBytes());
}

void cBootRecord::DefineFields(int32_t) {
  ClearDeclarations();
  Declare(m_nMode, "mode");
  Declare(m_bDontAsk, "dontAsk");
}
