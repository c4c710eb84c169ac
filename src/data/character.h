// A character type (the hero or any other character) as the editor defined
// it: graphics, movement and collision options, appearance conditions and its
// event flows. Character types stand in the character lists of the common
// palette and of each stage; stage play builds running characters from
// copies. What the numbered parameters do in play is stage play's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/definition.h"
#include "data/flow.h"

class cEdCharacter : public cEdDefinition {
 public:
  static constexpr int kInheritGroups = 37;
  static constexpr int kFlowGroup = 36;
  static constexpr size_t kMinBodyBytes = 28;

  cEdCharacter();
  PELMORA_RECORD_CLASS(cEdCharacter)
  const cKind& Kind() const override;
  void DefineFields(int32_t version) override;
  // Base body, the tail words, flags, conditions, flows; then test-play
  // flows removed, the migrations of older files, inheritance and the
  // reference check.
  bool Read(cDataReader& in) override;
  void WriteAsChecked(cDataWriter& out) const override;
  void DumpLists(cJsonWriter& json) override;

  // Base reference, database indices, parameter 36 at least 1, options a
  // player character does not have, the flows' database checks; blank flows
  // are removed.
  void ValidateReferences() override;
  // Second pass: the palette references of every flow's commands.
  void ValidatePaletteReferences();

  // The reference check of the type's own fields (base, database indices,
  // parameters), without its flows.
  void ValidateFields();

  // Offset of step n in dots: step × n + start, negated for direction 1 when
  // the mirror is set.
  double GetStepOffsetX(int n, int direction) const;
  double GetStepOffsetY(int n, int direction) const;

  // In a placed character: -1, or the index of the placed item it is given.
  int32_t m_nPlacedItem = 0;

  // The declared fields after the head in file order; the group that copies
  // each follows (the name is group 0, the conditions and their two bytes
  // group 4).
  uint8_t m_nParam6 = 0;      // g5
  uint8_t m_nParam7 = 0;      // g6; 0 for a player character
  int16_t m_nStepStartX = 0;  // g7
  int16_t m_nStepX = 0;       // g7
  int16_t m_nStepStartY = 0;  // g8
  int16_t m_nStepY = 0;       // g8
  uint8_t m_nMirrorX = 0;     // g7
  uint8_t m_nMirrorY = 0;     // g8
  int16_t m_nGraphic = 0;     // g9; a placed character with 0 is never the hero
  uint8_t m_nGraphicSource = 0;  // g9: 0 block, 1 character, 2 item, 3 shot pictures, 4 Bmp_CharaExc (1 new)
  uint16_t m_nParam16 = 0;    // g9
  int16_t m_nAnimeSet = 0;    // g10: index into the AnimeSet list
  uint8_t m_nParam18 = 0;     // g11 (3 new)
  uint8_t m_nParam19 = 0;     // g12
  int16_t m_nCharaEffectA = 0;  // g13: index into the CharaEffect list
  uint8_t m_nParam21 = 0;     // g13, from 196
  uint8_t m_nParam22 = 0;     // g13 (1 new)
  int16_t m_nCharaEffectB = 0;  // g14: index into the CharaEffect list
  uint8_t m_nParam24 = 0;     // g14, from 196
  uint8_t m_nParam25 = 0;     // g15
  uint16_t m_nParam26 = 0;    // g15
  uint8_t m_nControl = 0;     // g1: 0 player, 1 computer (1 new)
  uint8_t m_nParam28 = 0;     // g1
  uint8_t m_nParam29 = 0;     // g2 (1 new)
  uint8_t m_nParam30 = 0;     // g3
  uint8_t m_nParam31 = 0;     // g17
  uint8_t m_nParam32 = 0;     // g16 (1 new)
  uint8_t m_nParam33 = 0;     // g18
  uint8_t m_nParam34 = 0;     // g18, from 285
  uint8_t m_nParam35 = 0;     // g19; 0 for a player character
  int8_t m_nParam36 = 0;      // g20 (1 new; at least 1)
  uint8_t m_nParam37 = 0;     // g21, from 210
  uint8_t m_nParam38 = 0;     // g22
  uint8_t m_nParam39 = 0;     // g22
  int32_t m_nParam40 = 0;     // g23 (10 new)
  int32_t m_nParam41 = 0;     // g24
  int16_t m_nParam42 = 0;     // g31 (10 new)
  uint8_t m_nParam43 = 0;     // g25, from 201
  int32_t m_nParam44 = 0;     // g26
  uint8_t m_nParam45 = 0;     // g27
  uint16_t m_nEffect = 0;     // g28: index into the Effect list
  int32_t m_nParam47 = 0;     // g29, from 168
  uint8_t m_nParam48 = 0;     // g30
  int32_t m_nParam49 = 0;     // g34
  uint8_t m_nParam50 = 0;     // g35 (1 new)
  uint8_t m_nParam51 = 0;     // g33
  int16_t m_nParam52 = 0;     // g33
  uint8_t m_nParam53 = 0;     // g32
  uint8_t m_nParam54 = 0;     // g32

  // g36: the event flows, shared with the types that inherit them.
  cSharedList<cEdFlow> m_vFlows;

  // The flow group's row: the base's flows, or one blank flow when it has none.
  static void InheritFlows(cEdDefinition& type, const cEdDefinition& base);
};
