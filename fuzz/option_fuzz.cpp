// "user_data\Option.dat" through its reader: a file of any length and
// content loads with every value in its range, or leaves the defaults.
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/user_records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cOptionData options;
  options.LoadFromBytes(std::string(reinterpret_cast<const char*>(data), size));
  if (options.m_nPalette < 0 || options.m_nPalette > 23 || (options.m_bMusic != 0 && options.m_bMusic != 1) ||
      options.m_nSoundVolume < 0 || options.m_nSoundVolume > 10 || options.m_nRankingMode < 0 ||
      options.m_nRankingMode > 3)
    __builtin_trap();
  return 0;
}
