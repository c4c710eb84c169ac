// The record reader through its largest record: the system data with its
// fifteen lists and every version gate.
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/system_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cSystemData record;
  if (record.LoadFromBytes(std::string(reinterpret_cast<const char*>(data), size))) {
    // What loads must write back and load again.
    std::string again = record.SaveToBytes();
    cSystemData copy;
    if (!copy.LoadFromBytes(again) || copy.SaveToBytes() != again) __builtin_trap();
  }
  return 0;
}
