// Stage files over arbitrary bytes: the read (with its upgrades of older
// versions and the normalisation) must fail cleanly or give a stage that
// writes and reads back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/stage_data.h"

namespace {

// Types that hold a base's flows or commands: written, each holds them once
// more (hundreds of megabytes from a small input). The hostile-file tests
// read such a resave at full size; here it would leave no time for others.
template <class List>
bool HoldsInherited(const List& types) {
  for (const auto& t : types) {
    if constexpr (requires { t.m_vFlows; }) {
      if (t.m_vFlows.IsShared()) return true;
    } else {
      if (t.m_vCmds.IsShared()) return true;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cStageData stage;
  if (stage.LoadFromBytes(std::string(reinterpret_cast<const char*>(data), size))) {
    if (HoldsInherited(stage.m_PaletteCharacters) || HoldsInherited(stage.m_PlacedCharacters) ||
        HoldsInherited(stage.m_PaletteItems) || HoldsInherited(stage.m_PlacedItems))
      return 0;
    std::string bytes = stage.SaveToBytes();
    cStageData again;
    if (!again.LoadFromBytes(bytes)) __builtin_trap();
  }
  return 0;
}
