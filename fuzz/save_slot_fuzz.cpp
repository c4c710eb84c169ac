// Loads a play record (a save slot, the challenge progress file) from the
// input bytes, the version word first; a record that loads is written back,
// and what it writes loads again to the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "scene/play_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cSaveData record;
  if (record.LoadFromBytes(std::string(reinterpret_cast<const char*>(data), size))) {
    const std::string again = record.SaveToBytes();
    cSaveData back;
    if (!back.LoadFromBytes(again) || back.SaveToBytes() != again) __builtin_trap();
  }
  return 0;
}
