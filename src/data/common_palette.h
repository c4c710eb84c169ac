// The common palette ("data\CommonPalette.cplt4"): the block, character and
// item types every stage may use or take settings from. Loaded once at
// start-up, never written by the game.
//
// File: the version word, an empty base body (u32 0, u32 0), then the block,
// character and item lists (u32 count and each type's body).
#pragma once

#include <cstdint>
#include <string>

#include "data/block.h"
#include "data/character.h"
#include "data/item.h"
#include "data/record.h"

class cCommonPalette : public cRecord {
 public:
  // One default type in each list (the reserved entry 0).
  cCommonPalette();
  PELMORA_RECORD_CLASS(cCommonPalette)
  void DefineFields(int32_t version) override { ClearDeclarations(); }
  // The three lists (types resolve their bases against them as they come);
  // entry 0 of each reset to a new type, every inherit flag cleared (common
  // types do not inherit once loaded), then Normalize.
  bool Read(cDataReader& in) override;
  // Normalize, the empty base body, the three lists.
  void Write(cDataWriter& out) override;
  void DumpLists(cJsonWriter& json) override;

  // At least two types in each list, then the second reference pass over
  // every type.
  void Normalize();

  cSafeVector<cEdBlock> m_Blocks;
  cSafeVector<cEdCharacter> m_Characters;
  cSafeVector<cEdItem> m_Items;
};

extern cCommonPalette CommonPalette;

// Makes the common palette (kind 1) and the working stage's palette (kind 2)
// the palettes that definition records resolve against. Idempotent; done
// once before the program starts.
void RegisterProjectPalettes();
