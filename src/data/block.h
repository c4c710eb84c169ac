// A block type as the editor defined it: graphic, options, appearance
// conditions and the item it holds. Block types stand in the block lists of
// the common palette and of each stage; a type may take groups of its
// settings from a base type of either palette.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/definition.h"

class cEdBlock : public cEdDefinition {
 public:
  static constexpr int kInheritGroups = 11;
  // The smallest body a block type can have in a file.
  static constexpr size_t kMinBodyBytes = 20;

  cEdBlock();
  PELMORA_RECORD_CLASS(cEdBlock)
  const cKind& Kind() const override;
  void DefineFields(int32_t version) override;
  // Base body, the two words, the inherit flags, the conditions; then the
  // graphic fix of files older than 219, inheritance and the reference check.
  bool Read(cDataReader& in) override;
  void WriteAsChecked(cDataWriter& out) const override;
  void DumpLists(cJsonWriter& json) override;

  // A base outside its palette list becomes none; a block without a graphic
  // has options seven and five off.
  void ValidateReferences() override;
  // Second pass: a held item outside its palette's item list becomes none.
  void ValidateItemReference();

  // Inheritance groups: 0 the name, 1 the conditions and their two bytes.
  uint16_t m_nGraphic = 0;        // group 2
  uint8_t m_nGraphicSource = 0;   // group 2: block, character, item, shot pictures, own bitmap
  uint16_t m_nGraphicWord = 0;    // group 2
  uint8_t m_nOption1 = 0;         // group 3
  uint8_t m_nOption2 = 0;         // group 4
  uint8_t m_nOption6 = 0;         // group 5
  uint16_t m_nOption6Value = 0;   // group 5
  uint8_t m_nOption7 = 0;         // group 6 (1 in a new type)
  int8_t m_nOption3 = 0;          // group 7 (-1 in a new type)
  uint8_t m_nOption4 = 0;         // group 8
  int32_t m_nOption4Value = 0;    // group 8
  int8_t m_nItemKind = 0;         // group 9: held item's palette, 0 none, 1 common, 2 stage
  uint16_t m_nItemIndex = 0;      // group 9
  uint8_t m_nOption5 = 0;         // group 10

  // Block collision (block_collision.cpp): the options by meaning.
  uint8_t DrawLayer() const { return m_nOption1; }
  uint8_t NoDraw() const { return m_nOption2; }
  uint8_t OverlayFlag() const { return m_nOption6; }  // 1: an overlay tile is drawn over the block
  int16_t OverlayTile() const { return static_cast<int16_t>(m_nOption6Value); }
  uint8_t Solidity() const { return m_nOption7; }     // 0 not solid, 1 solid, 2 deadly for the hero
  int8_t PassGroup() const { return m_nOption3; }     // -1 none, else 0..7
  uint8_t EffectKind() const { return m_nOption4; }   // 0..5, see BlockEffect
  int32_t EffectValue() const { return m_nOption4Value; }
  uint8_t SummonProtected() const { return m_nOption5; }
};
