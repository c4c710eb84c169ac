// What the definition records resolve against: the two palettes (kind 1 the
// common palette, kind 2 the palette of the current stage) for base types and
// references between types, and the project database's list sizes for the
// database checks. The owners of those objects register them here; the
// records never include the palette, stage or database classes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "data/record.h"

class cEdBlock;
class cEdCharacter;
class cEdItem;

// The three lists of a palette. A null list counts as empty.
struct cPaletteLists {
  std::vector<cEdBlock>* blocks = nullptr;
  std::vector<cEdCharacter>* characters = nullptr;
  std::vector<cEdItem>* items = nullptr;
};

inline constexpr int kPaletteCommon = 1;
inline constexpr int kPaletteStage = 2;

// The process-wide palettes: the global common palette and the working
// stage register their lists once (at construction or start-up).
void SetPaletteLists(int kind, const cPaletteLists& lists);
// The palette of `kind` (1 common, 2 stage) on this thread: a cPaletteScope
// in force, else the registered one; empty lists for other kinds.
const cPaletteLists& PaletteLists(int kind);

// While a palette file or a stage is read, its types resolve bases against
// the lists being read (entries read so far; later ones still defaults), not
// the registered ones: the reader holds a scope for the read. Per thread, so
// a stage read on the loader thread does not disturb the game thread.
class cPaletteScope {
 public:
  cPaletteScope(int kind, const cPaletteLists& lists);
  ~cPaletteScope();
  cPaletteScope(const cPaletteScope&) = delete;
  cPaletteScope& operator=(const cPaletteScope&) = delete;

 private:
  int kind_;
  const cPaletteLists* previous_;
  cPaletteLists lists_;
};

// Reads a palette list in place: u32 count, the vector resized to it with
// new default types, then each element read in turn, so that a type whose
// base comes later in the same list sees that entry's defaults. The old
// types are released first.
template <class T>
bool ReadPaletteList(cDataReader& in, std::vector<T>& list) {
  uint32_t count = 0;
  if (!in.ReadListCount(count, MinBodyBytes<T>(), sizeof(T))) return false;
  // Each new type holds its inherit flags.
  if (count && !in.Charge(count * HeapBytes(T::kInheritGroups))) return false;
  if (++in.depth > cDataReader::kMaxDepth) return in.Fail();
  std::vector<T>().swap(list);
  list.resize(count);
  bool ok = true;
  for (T& element : list)
    if (!(ok = element.Read(in))) break;
  --in.depth;
  return ok;
}

// An index stored in 16 bits, read as signed and compared unsigned against a
// list size (so that 0x8000..0xFFFF are always outside).
inline bool IndexOutside16(uint16_t index, size_t size) {
  return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(index))) >= size;
}

// ---- the project database, as the checks see it ----

enum class DatabaseList : int {
  AnimeSet,
  Anime,
  BmpCharaExc,
  SwordType,
  Effect,
  CharaEffect,
  ScrEffect,
  Picture,
  Sound,
  Bgm,
};
// How many entries the list has now (0 before the database is loaded).
size_t DatabaseCount(DatabaseList list);
// Value 10 of each entry of sword type `type`, in list order; empty when
// there is no such type.
std::vector<int32_t> SwordTypeEntryValues10(size_t type);

// The base type named by (kind, index) in the palette list that `list`
// selects: null for none (kind 0 or index 0), for a kind other than 1 and 2,
// and for an index past the list, which also turns the base kind to 0 (the
// index stays).
template <class T>
T* FindBaseType(int8_t& baseKind, uint16_t baseIndex, std::vector<T>* cPaletteLists::*list) {
  if (baseIndex == 0 || baseKind == 0) return nullptr;
  if (baseKind != kPaletteCommon && baseKind != kPaletteStage) return nullptr;
  std::vector<T>* types = PaletteLists(baseKind).*list;
  if (!types || IndexOutside16(baseIndex, types->size())) {
    baseKind = 0;
    return nullptr;
  }
  return &(*types)[baseIndex];
}

// The size of a palette's list (0 for a palette or list not there).
template <class T>
size_t PaletteListSize(int kind, std::vector<T>* cPaletteLists::*list) {
  std::vector<T>* types = PaletteLists(kind).*list;
  return types ? types->size() : 0;
}

void DumpInheritFlags(cJsonWriter& json, const std::vector<uint8_t>& flags);
