// Stage files over arbitrary bytes: the read (with its upgrades of older
// versions and the normalisation) must fail cleanly or give a stage that
// writes and reads back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/stage_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cStageData stage;
  if (stage.LoadFromBytes(std::string(reinterpret_cast<const char*>(data), size))) {
    std::string bytes = stage.SaveToBytes();
    cStageData again;
    if (!again.LoadFromBytes(bytes)) __builtin_trap();
  }
  return 0;
}
