// The "System.ini" reader over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/settings.h"
#include "data/system_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static cSystemData defaults;
  GameSettingsRecord settings;
  ParseSystemIni(std::string(reinterpret_cast<const char*>(data), size), settings, defaults.m_Keys);
  if (settings.szFreeStage[sizeof settings.szFreeStage - 1] != '\0') __builtin_trap();
  return 0;
}
