// Two signed 32-bit integers: the element of counted lists inside other
// records (effect frames, lists the save data keeps). What the two numbers
// mean is the holding record's business.
#pragma once

#include <cstdint>
#include <vector>

#include "data/record.h"

class cIntPair : public cRecord {
 public:
  cIntPair();
  cIntPair(int32_t first, int32_t second);
  PELMORA_RECORD_CLASS(cIntPair)
  void DefineFields(int32_t version) override;

  int32_t m_nFirst = 0;
  int32_t m_nSecond = 0;

  // A list element as a list reader adds it: (0, 1).
  static cIntPair NewListElement() { return cIntPair(0, 1); }
  // A counted list of pairs; new elements start as (0, 1) before their read.
  static bool ReadList(cDataReader& in, std::vector<cIntPair>& list) {
    return ReadRecordList(in, list, [] { return NewListElement(); });
  }
  static void WriteList(cDataWriter& out, std::vector<cIntPair>& list) { WriteRecordList(out, list); }
};
