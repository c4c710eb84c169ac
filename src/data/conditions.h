// Conditions: a comparison of a variable, a status value or a distance with a
// constant, a random number, another status value or another variable. They
// stand in lists (a flow's start conditions, appearance conditions of blocks,
// characters and items) and in the condition-list object of the flow
// operation command. Evaluating them is the event flows' business; here they
// are stored, renumbered from older files and copied.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "data/record.h"

class cCond : public cRecord {
 public:
  cCond();
  PELMORA_RECORD_CLASS(cCond)
  void DefineFields(int32_t version) override;
  // The base body, then the renumbering of files older than 873.
  bool Read(cDataReader& in) override;
  // Conditions name nothing that can go out of range: nothing to check.
  void ValidateReferences() {}

  // 0 none, 1 common variable, 2 stage variable, 3 character variable,
  // 4..6 status conditions 1..3, 7 distance (ConditionKindLabels).
  int8_t m_nKind = 0;
  uint8_t m_nLeftKind = 0;   // what the left side names
  uint8_t m_nVarScope = 0;   // common or stage variable
  int8_t m_nSubject = 0;     // 0 self, 1..4 targets 1..4, 5 system
  int8_t m_nField = 0;       // status field or variable of the subject
  uint16_t m_nVarNumber = 0;
  uint8_t m_nRightSource = 0;  // 0 constant, 1 random, 2 status value, 3 variable
  int32_t m_nConstant = 0;
  int32_t m_nRandomMin = 0;
  int32_t m_nRandomMax = 0;
  int8_t m_nRightSubject = 0;
  int8_t m_nRightField = 0;
  uint8_t m_nRightVarKind = 0;
  uint16_t m_nRightVarNumber = 0;
  uint8_t m_nOperator = 0;  // ComparisonLabels
  uint8_t m_nPercent = 0;   // the right side is a percentage of the maximum
  uint8_t m_nLastOption = 0;

  // A distance condition (kind 7) keeps its numbers in the common fields:
  // the subject names the other object (0 the first hero, 1..4 a target
  // slot), the field the relation (DistanceAxisLabels 0..6), the variable
  // number the distance in half blocks, the constant the extra dots, and an
  // operator of 1 turns "within" into "outside" (DistanceRangeLabels).
  int32_t DistanceTarget() const { return m_nSubject; }
  int32_t DistanceRelation() const { return m_nField; }
  int32_t DistanceHalfBlocks() const { return static_cast<int16_t>(m_nVarNumber); }
  int32_t DistanceDots() const { return m_nConstant; }
  bool DistanceOutside() const { return m_nOperator == 1; }
  // The distance in dots: half blocks x 16 + dots (held to +-10^9).
  int32_t Distance() const {
    const int64_t d = int64_t{DistanceHalfBlocks()} * 16 + DistanceDots();
    return static_cast<int32_t>(d < -1000000000 ? -1000000000 : d > 1000000000 ? 1000000000 : d);
  }
  // Its range shown on the screen, in the fields the other kinds use for
  // their left and right sides. The display came with data version 745
  // (older distance conditions have their left kind cleared: not shown),
  // the two show-while bytes with 746 (older ones have both set, so that a
  // display made before keeps showing always): display mode = left kind
  // (DebugShowLabels: 0 not shown, 1 shown, 2 only in the editor's test
  // play), colour 0..7 = variable scope, shown while the character is
  // absent = right source, shown while it is not drawn = right subject.
  uint8_t DisplayMode() const { return m_nLeftKind; }
  uint8_t DisplayColour() const { return m_nVarScope; }
  bool ShownWhileAbsent() const { return m_nRightSource != 0; }
  bool ShownWhileHidden() const { return m_nRightSubject != 0; }

 private:
  // Two 16-bit words that files older than 110 carry; read and dropped.
  int16_t m_nDropped1 = 0;
  int16_t m_nDropped2 = 0;
};
// A counted list of conditions (new elements cleared) and its writer
// (conditions have no checks to run before writing).
bool ReadConditionList(cDataReader& in, std::vector<cCond>& list);
void WriteConditionList(cDataWriter& out, const std::vector<cCond>& list);
void DumpConditionList(cJsonWriter& json, const char* key, const std::vector<cCond>& list);

// The condition-list object of a command: how the conditions combine and the
// conditions themselves. Held by a command through a shared_ptr.
class cCondList : public cRecord {
 public:
  cCondList();
  PELMORA_RECORD_CLASS(cCondList)
  void DefineFields(int32_t version) override;
  // From version 766 the conditions follow the base body; older files have
  // none and leave the list as it was.
  bool Read(cDataReader& in) override;
  void Write(cDataWriter& out) override;
  void WriteAsChecked(cDataWriter& out) const override;
  void DumpLists(cJsonWriter& json) override;
  static constexpr size_t kMinBodyBytes = 8;

  // A new object (declared for 873, cleared, no conditions) in `holder`,
  // releasing what it held.
  static void Create(std::shared_ptr<cCondList>& holder);

  uint8_t m_nMode = 0;    // 0 all conditions true, 1 one or more (ConditionModeLabels)
  uint8_t m_nOption = 0;  // used: the flow operation is gated by the list only while it is set
  std::vector<cCond> m_vConds;
};
