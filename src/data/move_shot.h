// The parameter objects of movement, shot, sword and summon commands: their
// many settings stored as records instead of parameter words. A command holds
// each through a shared_ptr; a file carries the object only when the command
// has one. Fields are named by their place in the file (m_fN is field N)
// until code here uses one and knows what it means; those carry names, with
// their field number in the comment. What the fields do in play belongs to
// stage play and the flow executors.
#pragma once

#include <cstdint>
#include <memory>

#include "data/record.h"

class cEdMove : public cRecord {
 public:
  cEdMove();
  PELMORA_RECORD_CLASS(cEdMove)
  void DefineFields(int32_t version) override;
  // The base body, then the defaults of fields older files lack.
  bool Read(cDataReader& in) override;

  // A new object (declared for 873, cleared, its defaults) in `holder`,
  // releasing what it held.
  static void Create(std::shared_ptr<cEdMove>& holder);

  uint8_t m_f1 = 0;  // a choice that gained three entries at version 767
  uint8_t m_f2 = 0;
  uint16_t m_f3 = 0, m_f4 = 0;
  uint8_t m_f5 = 0, m_f6 = 0, m_f7 = 0;
  uint16_t m_f8 = 0, m_f9 = 0, m_f10 = 0, m_f11 = 0;
  uint8_t m_f12 = 0, m_f13 = 0, m_f14 = 0, m_f15 = 0, m_f16 = 0, m_f17 = 0, m_f18 = 0, m_f19 = 0, m_f20 = 0,
          m_f21 = 0;
  uint16_t m_f22 = 0, m_f23 = 0, m_f24 = 0, m_f25 = 0;
  uint8_t m_f26 = 0;
  uint16_t m_f27 = 0, m_f28 = 0;
  uint8_t m_f29 = 0;
  uint16_t m_f30 = 0;
  double m_f31 = 0;
  uint8_t m_f32 = 0, m_f33 = 0;
};

class cEdShot : public cRecord {
 public:
  cEdShot();
  PELMORA_RECORD_CLASS(cEdShot)
  void DefineFields(int32_t version) override;
  // The base body, the defaults of fields older files lack, then the check.
  bool Read(cDataReader& in) override;
  // The check, then the base body.
  void Write(cDataWriter& out) override;
  // Field 26 at least 1; an effect (field 52) outside the database's Effect
  // list becomes 0.
  void ValidateReferences();

  static void Create(std::shared_ptr<cEdShot>& holder);

  uint8_t m_f1 = 0, m_f2 = 0;
  uint16_t m_f3 = 0;
  uint8_t m_f4 = 0, m_f5 = 0, m_f6 = 0, m_f7 = 0;
  uint16_t m_f8 = 0, m_f9 = 0;
  uint8_t m_f10 = 0;
  uint16_t m_f11 = 0;
  uint8_t m_f12 = 0, m_f13 = 0;
  uint16_t m_f14 = 0, m_f15 = 0, m_f16 = 0, m_f17 = 0;
  uint8_t m_f18 = 0, m_f19 = 0;
  uint16_t m_nGraphic = 0;  // field 20: graphic number
  uint8_t m_f21 = 0, m_f22 = 0, m_f23 = 0, m_f24 = 0, m_f25 = 0, m_f26 = 0, m_f27 = 0;
  uint8_t m_nType = 0;  // field 28; for a sword command the index into the SwordType list
  uint16_t m_f29 = 0;
  uint8_t m_f30 = 0, m_f31 = 0;
  uint16_t m_f32 = 0, m_f33 = 0;
  uint8_t m_f34 = 0;
  uint16_t m_f35 = 0, m_f36 = 0, m_f37 = 0;
  uint8_t m_f38 = 0;
  uint16_t m_f39 = 0;
  uint8_t m_f40 = 0, m_f41 = 0;
  uint16_t m_f42 = 0, m_f43 = 0;
  uint8_t m_f44 = 0, m_f45 = 0, m_f46 = 0, m_f47 = 0, m_f48 = 0;
  int32_t m_f49 = 0;
  uint16_t m_f50 = 0;
  uint8_t m_f51 = 0;
  uint16_t m_nEffect = 0;         // field 52: index into the database's Effect list
  int8_t m_nItemPalette = 0;      // field 53, item dropped or held: 0 none, 1 common, 2 stage palette
  int16_t m_nItemIndex = 0;       // field 54: that item's index in its palette's item list
  uint8_t m_f55 = 0, m_f56 = 0, m_f57 = 0;
  int8_t m_nSummonPalette = 0;    // field 58: 0 common palette, 1 stage palette
  int16_t m_nSummonIndex = 0;     // field 59: summoned block, character or item in that palette
  uint8_t m_f60 = 0, m_f61 = 0, m_f62 = 0, m_f63 = 0, m_f64 = 0;
};
