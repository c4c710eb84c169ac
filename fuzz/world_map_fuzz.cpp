// "data\WorldMap.dat" through its reader: a file of any length and content
// loads or fails cleanly; a map that loads has a grid that agrees with its
// size, is written back, and what it writes loads again to the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/world_map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cWorldMap map;
  if (map.LoadFromBytes(std::string(reinterpret_cast<const char*>(data), size))) {
    if (map.m_Grid.size() != static_cast<size_t>(map.Height()) * static_cast<size_t>(map.Pitch())) __builtin_trap();
    for (int32_t y = 0; y < map.Height(); ++y)
      for (int32_t x = 0; x < map.Width(); ++x) (void)map.CellAt(x, y);
    const std::string again = map.SaveToBytes();
    cWorldMap back;
    if (!back.LoadFromBytes(again) || back.SaveToBytes() != again) __builtin_trap();
  }
  return 0;
}
