// The ten project database files over arbitrary bytes. The first byte picks
// the list (0..9 in loading order: AnimeSet, Anime, Bmp_CharaExc, SwordType,
// Effect, CharaEffect, ScrEffect, Picture, Sound, Bgm); the rest is the file.
// A read must fail cleanly, leaving the list as it was, or give a list that
// writes and reads back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/database.h"

namespace {

template <class T>
void Check(const std::string& file) {
  cSafeVector<T> list(1);
  if (!LoadDatabaseListFromBytes(list, file)) {
    if (list.size() != 1) __builtin_trap();  // a failed read changes nothing
    return;
  }
  const std::string bytes = SaveDatabaseListToBytes(list);
  cSafeVector<T> again;
  if (!LoadDatabaseListFromBytes(again, bytes)) __builtin_trap();
  if (SaveDatabaseListToBytes(again) != bytes) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string file(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 10) {
    case 0: Check<cAnimeSetRecord>(file); break;
    case 1: Check<cAnimeRecord>(file); break;
    case 2: Check<cBmpCharaExcRecord>(file); break;
    case 3: Check<cSwordTypeRecord>(file); break;
    case 4: Check<cEffectRecord>(file); break;
    case 5: Check<cCharaEffectRecord>(file); break;
    case 6: Check<cScrEffectRecord>(file); break;
    case 7: Check<cPictureRecord>(file); break;
    case 8: Check<cSoundRecord>(file); break;
    default: Check<cBgmRecord>(file); break;
  }
  return 0;
}
