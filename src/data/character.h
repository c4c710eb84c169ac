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

  // ---- Characters in stage play (chars): the numbered fields by meaning ----
  // The editor's option lists and the carried-over hero parts name these
  // fields only by role; this is the reading stage play uses, in one place.
  int32_t GraphicKind() const { return m_nGraphicSource; }      // 15: 0 block .. 4 own bitmap
  int32_t GraphicNumber() const { return m_nGraphic; }          // 14
  int32_t ObjectValue() const { return m_nParam16; }            // 16: kept in the running object
  int32_t BasicAnimeSet() const { return m_nAnimeSet; }         // 17: index into AnimeSet.dat
  void SetBasicAnimeSetField(int32_t set) { m_nAnimeSet = static_cast<int16_t>(set); }
  int32_t DrawLayer() const { return m_nParam18; }              // 18: "Z座標" 0..8
  int32_t Transparent() const { return m_nParam19; }            // 19: "透明"
  int32_t StartEffect() const { return static_cast<uint16_t>(m_nCharaEffectA); }  // 20
  int32_t StartEffectSource() const { return static_cast<int8_t>(m_nParam21); }   // 21
  int32_t StartEffectOption() const { return m_nParam22; }      // 22
  int32_t DeathEffect() const { return static_cast<uint16_t>(m_nCharaEffectB); }  // 23
  int32_t DeathEffectSource() const { return static_cast<int8_t>(m_nParam24); }   // 24
  int32_t IsBlockCharacter() const { return m_nParam25; }       // 25: solid for other objects
  int32_t InitialFacing() const { return m_nParam26 != 0 ? 1 : 0; }  // 26: 0 left, 1 right
  void SetInitialFacing(int32_t facing) { m_nParam26 = facing != 0 ? 1 : 0; }
  int32_t ControlKind() const { return static_cast<int8_t>(m_nControl); }  // 27: 0 player, 1 computer
  int32_t PlayerNumber() const { return m_nParam28; }           // 28: input record of a player
  int32_t Owner() const { return static_cast<int8_t>(m_nParam29); }  // 29
  // 30: the pass group, read like a block's ("なし", "0".."7": -1 none,
  // else 0..7); blocks of the same group let the character through.
  int32_t BlockFlags() const { return static_cast<int32_t>(m_nParam30) - 1; }
  int32_t WholeCell() const { return m_nParam6; }               // 6: body is the whole 32-dot cell
  int32_t RepeatCount() const { return m_nParam7; }             // 7: placed copies beyond the first (steps 8..13)
  int32_t GroupByte() const { return m_nParam50; }              // 50: the character's group
  int32_t FixedFacing() const { return static_cast<int8_t>(m_nParam31); }  // 31: "向き固定"
  int32_t PaletteColour() const { return m_nParam32; }          // 32: colour-pair index
  int32_t FreeVertical() const { return m_nParam33; }           // 33: "飛行" 0..3, also the axis mode
  int32_t Invincibility() const { return m_nParam35; }          // 35: "無敵" 0, 1, 2
  int32_t Scale() const { return static_cast<int8_t>(m_nParam36); }  // 36: "巨大化", 0 read as 1
  void SetScaleField(int32_t scale) { m_nParam36 = static_cast<int8_t>(scale); }
  int32_t FollowsScroll() const { return m_nParam37; }          // 37: "オートスクロールとシンクロ"
  int32_t SightMode() const { return m_nParam38; }              // 38: shape of the sight mask
  int32_t Sight() const { return static_cast<int8_t>(m_nParam39); }  // 39: "視界範囲(hbl)"
  int32_t MaxHp() const { return m_nParam40; }                  // 40: "最大HP"
  int32_t MaxSp() const { return m_nParam41; }                  // 41: "最大SP"
  int32_t DecelerationSpeed() const { return m_nParam42; }      // 42: "止まりやすさ", hundredths
  int32_t HitSizeMode() const { return m_nParam43; }            // 43: 0..3
  int32_t ContactPower() const { return m_nParam44; }           // 44: "体当たりの威力"
  int32_t KnockbackStrength() const { return static_cast<int8_t>(m_nParam45); }  // 45: "体当たりの衝撃"
  int32_t HitEffect() const { return m_nEffect; }               // 46: index into Effect.dat
  int32_t Defence() const { return m_nParam47; }                // 47: "防御力"
  int32_t KnockbackResistance() const { return static_cast<int8_t>(m_nParam48); }  // 48: "衝撃耐性"
  int32_t DefeatScore() const { return m_nParam49; }            // 49: "倒したら獲得するスコア"
  int32_t GroupFlag() const { return m_nParam51; }              // 51: wakes a group flag
  int32_t GroupFlagIndex() const { return m_nParam52; }         // 52: which flag
  int32_t ActivationAxes() const { return m_nParam53; }         // 53: 0 both, 1 x only, 2 y only, 3 none
  int32_t KeepActive() const { return m_nParam54; }             // 54: 1 keeps acting once woken
  // ---- end of characters in stage play ----

  // g36: the event flows, shared with the types that inherit them.
  cSharedList<cEdFlow> m_vFlows;

  // The flow group's row: the base's flows, or one blank flow when it has none.
  static void InheritFlows(cEdDefinition& type, const cEdDefinition& base);
};
