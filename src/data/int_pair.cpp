#include "data/int_pair.h"

cIntPair::cIntPair() = default;

cIntPair::cIntPair(int32_t first, int32_t second) {
  m_nFirst = first;
  m_nSecond = second;
}

void cIntPair::DefineFields(int32_t version) {
  ClearDeclarations();
  Declare(m_nFirst, "first");
  Declare(m_nSecond, "second");
}
