// Loads a character type (which nests flows, commands, conditions, key
// conditions, movement, shot and condition-list objects) from the input bytes,
// the version word first, then writes it back; with both palettes and a small
// database present, so inheritance and the reference checks run too.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "data/block.h"
#include "data/character.h"
#include "data/inheritance.h"
#include "data/item.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::vector<cEdBlock> blocks(3);
  static std::vector<cEdCharacter> characters(3);
  static std::vector<cEdItem> items(3);
  static bool registered = [] {
    SetPaletteLists(kPaletteCommon, {&blocks, &characters, &items});
    return true;
  }();
  (void)registered;
  std::vector<cEdCharacter> stage(2);
  cPaletteScope scope(kPaletteStage, {nullptr, &stage, nullptr});
  cEdCharacter& c = stage[1];
  if (c.LoadFromBytes(std::string(reinterpret_cast<const char*>(data), size))) {
    c.ValidatePaletteReferences();
    std::string again = c.SaveToBytes();
    cEdCharacter back;
    back.LoadFromBytes(again);
  }
  return 0;
}
