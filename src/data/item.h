// An item type as the editor defined it: graphic, options, appearance
// conditions and the item commands that run when the hero takes it. Item
// types stand in the item lists of the common palette and of each stage.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/definition.h"
#include "data/flow.h"

// Take modes of an item (ItemTakeModeLabels).
enum ItemTakeMode : int32_t {
  kItemTakenOnce = 0,      // taken once, then gone
  kItemTakenPerTouch = 1,  // taken again each time the hero touches it anew
  kItemCannotBeTaken = 2,
};

class cEdItem : public cEdDefinition {
 public:
  static constexpr int kInheritGroups = 13;
  static constexpr int kCommandGroup = 12;
  static constexpr size_t kMinBodyBytes = 24;

  cEdItem();
  PELMORA_RECORD_CLASS(cEdItem)
  const cKind& Kind() const override;
  void DefineFields(int32_t version) override;
  // Base body, the two words, flags, conditions, commands; then the graphic
  // fix of files older than 219, inheritance and the reference check.
  bool Read(cDataReader& in) override;
  void WriteAsChecked(cDataWriter& out) const override;
  void DumpLists(cJsonWriter& json) override;

  // Base reference, parameter 17 at least 1, the sound index, and every
  // command's database check.
  void ValidateReferences() override;
  // The same without the commands.
  void ValidateFields();
  // Second pass: every command's palette references.
  void ValidatePaletteReferences();

  // Inheritance groups: 0 the name, 1 the conditions and their two bytes.
  uint16_t m_nParam6 = 0;        // group 2
  uint16_t m_nParam7 = 0;        // group 3
  uint16_t m_nGraphic = 0;       // group 4
  uint8_t m_nGraphicSource = 0;  // group 4 (2 in a new type: item pictures)
  uint16_t m_nGraphicWord = 0;   // group 4
  uint8_t m_nParam11 = 0;        // group 5 (6 in a new type)
  uint8_t m_nParam12 = 0;        // group 6
  uint8_t m_nParam13 = 0;        // group 7
  uint16_t m_nParam14 = 0;       // group 7
  uint8_t m_nParam15 = 0;        // group 10 (1 in a new type)
  uint8_t m_nParam16 = 0;        // group 9
  uint8_t m_nParam17 = 0;        // group 8 (1 in a new type; at least 1)
  uint16_t m_nSound = 0;         // group 11: index into the database's Sound list
  // ---- Items in stage play (chars): the numbered fields by meaning ----
  int32_t GraphicNumber() const { return m_nGraphic; }      // picture on the item sheet
  int32_t GraphicSubNumber() const { return m_nGraphicWord; }
  int32_t GraphicKind() const { return m_nGraphicSource; }  // 2: item pictures
  int32_t PaletteField() const { return m_nParam11; }
  int32_t Hidden() const { return m_nParam12; }             // drawn not at all
  int32_t OverlayOption() const { return m_nParam13; }      // 1: a block tile is drawn over it
  int32_t OverlayTile() const { return m_nParam14; }
  int32_t TakeMode() const { return m_nParam15; }           // ItemTakeModeLabels
  int32_t Transparent() const { return m_nParam16; }
  int32_t Scale() const { return static_cast<int8_t>(m_nParam17); }  // 0 read as 1
  // Taking the item shows its picture in a pop-up rising over the hero.
  int32_t ReactionPopUp() const { return m_nParam6; }
  void SetScaleField(int32_t scale) { m_nParam17 = static_cast<uint8_t>(scale); }
  // ---- end of items in stage play ----

  // Group 12: item commands, shared with the types that inherit them.
  cSharedList<cEdCmd> m_vCmds;
};

// The item type at `index` of the common palette's item list (kind 1) or of
// the current stage's (kind 2); null for kind 0, any other kind, or an index
// past the list.
cEdItem* GetPaletteItem(int kind, int index);
