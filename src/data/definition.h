// What block, character and item types have in common: their place on a
// stage (the two tail words), the base type they may take groups of settings
// from, the inherit flags that choose those groups, the name and the
// appearance conditions. Each kind describes its inheritance groups as a
// table of members (group, how to copy the member); taking the groups from a
// base type walks the table.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "data/conditions.h"
#include "data/inheritance.h"
#include "data/record.h"
#include "data/shared_list.h"

class cEdDefinition : public cRecord {
 public:
  // One member of an inheritance group: `copy` takes it from the base type.
  struct cInheritMember {
    uint8_t group;
    void (*copy)(cEdDefinition& type, const cEdDefinition& base);
  };
  // What tells the kinds apart for the work they share.
  struct cKind {
    size_t groups;                          // number of inherit flags
    std::span<const cInheritMember> table;  // in group order
    // The base type named by (kind, index) in that palette's list of this
    // kind (see FindBaseType: an index past the list turns the kind to 0).
    cEdDefinition* (*findBase)(int8_t& baseKind, uint16_t baseIndex);
    // The size of that palette's list of this kind.
    size_t (*paletteSize)(int paletteKind);
  };
  virtual const cKind& Kind() const = 0;

  // Copies the groups whose inherit flag is set from the base type (flags
  // past the kind's groups are kept but copy nothing).
  void ApplyInheritance();
  // The reference check that follows every read and precedes every write.
  virtual void ValidateReferences() = 0;
  // The reference check, then the body and the tail (WriteAsChecked).
  void Write(cDataWriter& out) override;

  // In a type placed on a stage: its map column and row (signed).
  uint16_t m_nWord1 = 0;
  uint16_t m_nWord2 = 0;
  int8_t m_nBaseKind = 0;  // 0 none, 1 common palette, 2 stage palette
  uint16_t m_nBaseIndex = 0;
  std::vector<uint8_t> m_vInherit;  // flag g set: group g comes from the base

  std::string m_strName;
  uint8_t m_nCondMode = 0;
  uint8_t m_nCondOption = 0;
  cSharedList<cCond> m_vConds;  // appearance conditions

  // The table rows of the members every kind has.
  static void CopyName(cEdDefinition& type, const cEdDefinition& base);
  static void ShareConditions(cEdDefinition& type, const cEdDefinition& base);

 protected:
  // The head of every kind's declarations: base kind and index, the name,
  // the two condition bytes.
  void DeclareHead();
  // The two tail words; then the flags and the conditions (`charged`: what
  // the conditions cost the load).
  bool ReadPosition(cDataReader& in);
  bool ReadFlagsAndConditions(cDataReader& in, size_t& charged);
  // Inheritance at the end of a read: conditions read from the file that
  // the base's replace give their charge back (the kinds do the same for
  // their flows and commands).
  void InheritAfterRead(cDataReader& in, size_t conditionsCharged);
  void WritePosition(cDataWriter& out) const;
  void WriteFlagsAndConditions(cDataWriter& out) const;
  void DumpHead(cJsonWriter& json);
  // A base outside its palette list becomes none.
  void ValidateBase();
};

// A member copied by the table: `Member` a pointer to a member of a kind.
template <class M>
struct cMemberOf;
template <class C, class V>
struct cMemberOf<V C::*> {
  using Class = C;
};
template <auto Member>
void CopyInheritedMember(cEdDefinition& type, const cEdDefinition& base) {
  using Class = typename cMemberOf<decltype(Member)>::Class;
  static_cast<Class&>(type).*Member = static_cast<const Class&>(base).*Member;
}

// A row of a kind's table: `Member` copied for group `group`.
template <auto Member>
constexpr cEdDefinition::cInheritMember InheritMember(uint8_t group) {
  return {group, &CopyInheritedMember<Member>};
}

// The base type in the palette list `List` of its kind.
template <class T, std::vector<T>* cPaletteLists::*List>
cEdDefinition* FindBaseDefinition(int8_t& baseKind, uint16_t baseIndex) {
  return FindBaseType(baseKind, baseIndex, List);
}
template <class T, std::vector<T>* cPaletteLists::*List>
size_t PaletteDefinitionCount(int paletteKind) {
  return PaletteListSize(paletteKind, List);
}

// Entry 0 of a palette list (common or stage) made a new type of its class:
// cleared, its inherit flags all 0, a new type's values; its lists
// (conditions, flows, commands) stay as read.
template <class T>
void ResetToNewType(T& type) {
  auto conditions = std::move(type.m_vConds);
  if constexpr (requires { type.m_vFlows; }) {
    auto flows = std::move(type.m_vFlows);
    type = T();
    type.m_vFlows = std::move(flows);
  } else if constexpr (requires { type.m_vCmds; }) {
    auto commands = std::move(type.m_vCmds);
    type = T();
    type.m_vCmds = std::move(commands);
  } else {
    type = T();
  }
  type.m_vInherit.assign(type.Kind().groups, 0);
  type.m_vConds = std::move(conditions);
}
