#include "data/conditions.h"

// ---- cCond ----

cCond::cCond() = default;

void cCond::DefineFields(int32_t version) {
  ClearDeclarations();
  Declare(m_nKind, "kind");
  Declare(m_nConstant, "constant");
  if (version >= 110) {
    Declare(m_nRandomMin, "randomMin");
    Declare(m_nRandomMax, "randomMax");
    Declare(m_nSubject, "subject");
    Declare(m_nField, "field");
    Declare(m_nLeftKind, "leftKind");
    Declare(m_nVarScope, "varScope");
    Declare(m_nVarNumber, "varNumber");
    Declare(m_nRightSource, "rightSource");
    Declare(m_nRightSubject, "rightSubject");
    Declare(m_nRightField, "rightField");
    Declare(m_nRightVarKind, "rightVarKind");
    Declare(m_nRightVarNumber, "rightVarNumber");
  } else {
    // Two declarations of one word each.
    Declare(m_nDropped1, "dropped1");
    Declare(m_nDropped2, "dropped2");
  }
  Declare(m_nOperator, "operator");
  if (version >= 43) Declare(m_nPercent, "percent");
  Declare(m_nLastOption, "lastOption");
}

namespace {

// Status field numbers grew by one at a threshold: fields at or above it move up.
void ShiftField(int8_t& field, int threshold) {
  if (field >= threshold) field = static_cast<int8_t>(field + 1);
}

}  // namespace

bool cCond::Read(cDataReader& in) {
  if (!cRecord::Read(in)) return false;
  const int32_t v = nFileVersion;
  if (v >= kDataVersion) return true;
  // Kinds, subjects and fields renumbered by the editor over the years, in
  // the order the versions came.
  if (v < 160 && m_nKind >= 5) m_nKind = static_cast<int8_t>(m_nKind + 2);
  if (v < 161 && m_nKind == 6 && m_nField == 2) m_nOperator ^= 1;
  for (int step = 0; step < 2; ++step) {
    // Below 168 status fields from 10 moved up, below 203 those from 5.
    const int below = step == 0 ? 168 : 203;
    const int threshold = step == 0 ? 10 : 5;
    if (v < below && m_nKind == 4) {
      if (m_nLeftKind == 0 && m_nSubject != 2) ShiftField(m_nField, threshold);
      if (static_cast<int8_t>(m_nRightSource) == 2 && m_nRightSubject != 2) ShiftField(m_nRightField, threshold);
    }
  }
  if (v < 210 && m_nKind == 5 && m_nSubject != 2) ShiftField(m_nField, 6);
  if (v < 657 && m_nKind == 7) m_nSubject = 0;
  if (v < 745 && m_nKind == 7) m_nLeftKind = 0;
  if (v < 746 && m_nKind == 7) {
    m_nRightSource = 1;
    m_nRightSubject = 1;
  }
  // Below 767 the subjects were self, target, system; four target slots
  // came in between.
  if (v < 767 && (m_nKind == 4 || m_nKind == 5)) {
    if (m_nSubject >= 2) m_nSubject = static_cast<int8_t>(m_nSubject + 3);
    if (m_nRightSubject >= 2) m_nRightSubject = static_cast<int8_t>(m_nRightSubject + 3);
  }
  return true;
}

bool ReadConditionList(cDataReader& in, std::vector<cCond>& list) { return ReadRecordList(in, list); }

void WriteConditionList(cDataWriter& out, const std::vector<cCond>& list) { WriteCheckedList(out, list); }

void DumpConditionList(cJsonWriter& json, const char* key, const std::vector<cCond>& list) {
  json.Key(key);
  json.BeginArray();
  // A dump declares the current layout on each condition, nothing more.
  for (const cCond& c : list) const_cast<cCond&>(c).DumpJson(json);
  json.EndArray();
}

// ---- cCondList ----

cCondList::cCondList() = default;

void cCondList::DefineFields(int32_t version) {
  ClearDeclarations();
  Declare(m_nMode, "mode");
  Declare(m_nOption, "option");
}

bool cCondList::Read(cDataReader& in) {
  if (!cRecord::Read(in)) return false;
  if (nFileVersion >= 766) return ReadConditionList(in, m_vConds);
  return true;
}

void cCondList::Write(cDataWriter& out) {
  CutStrings();
  WriteAsChecked(out);
}

void cCondList::WriteAsChecked(cDataWriter& out) const {
  WriteBody(out);
  WriteConditionList(out, m_vConds);
}

void cCondList::DumpLists(cJsonWriter& json) { DumpConditionList(json, "conditions", m_vConds); }

void cCondList::Create(std::shared_ptr<cCondList>& holder) { holder = std::make_shared<cCondList>(); }
