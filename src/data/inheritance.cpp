#include "data/inheritance.h"

#include "data/database.h"

namespace {

cPaletteLists g_registered[2];
// The scopes in force on this thread (innermost), per palette kind.
thread_local const cPaletteLists* t_scoped[2] = {nullptr, nullptr};

}  // namespace

void SetPaletteLists(int kind, const cPaletteLists& lists) {
  if (kind == kPaletteCommon || kind == kPaletteStage) g_registered[kind - 1] = lists;
}

const cPaletteLists& PaletteLists(int kind) {
  static const cPaletteLists none;
  if (kind != kPaletteCommon && kind != kPaletteStage) return none;
  const cPaletteLists* scoped = t_scoped[kind - 1];
  return scoped ? *scoped : g_registered[kind - 1];
}

cPaletteScope::cPaletteScope(int kind, const cPaletteLists& lists) : kind_(kind), previous_(nullptr), lists_(lists) {
  if (kind_ != kPaletteCommon && kind_ != kPaletteStage) return;
  previous_ = t_scoped[kind_ - 1];
  t_scoped[kind_ - 1] = &lists_;
}

cPaletteScope::~cPaletteScope() {
  if (kind_ == kPaletteCommon || kind_ == kPaletteStage) t_scoped[kind_ - 1] = previous_;
}

size_t DatabaseCount(DatabaseList list) {
  switch (list) {
    case DatabaseList::AnimeSet: return Database.m_AnimeSets.size();
    case DatabaseList::Anime: return Database.m_Animes.size();
    case DatabaseList::BmpCharaExc: return Database.m_BmpCharaExcs.size();
    case DatabaseList::SwordType: return Database.m_SwordTypes.size();
    case DatabaseList::Effect: return Database.m_Effects.size();
    case DatabaseList::CharaEffect: return Database.m_CharaEffects.size();
    case DatabaseList::ScrEffect: return Database.m_ScrEffects.size();
    case DatabaseList::Picture: return Database.m_Pictures.size();
    case DatabaseList::Sound: return Database.m_Sounds.size();
    case DatabaseList::Bgm: return Database.m_Bgms.size();
  }
  return 0;
}

std::vector<int32_t> SwordTypeEntryValues10(size_t type) {
  std::vector<int32_t> values;
  if (type >= Database.m_SwordTypes.size()) return values;
  for (const cSwordTypeEntry& e : Database.m_SwordTypes[type].m_Entries) values.push_back(e.m_nValues[9]);
  return values;
}

void DumpInheritFlags(cJsonWriter& json, const std::vector<uint8_t>& flags) {
  json.Key("inherit");
  json.BeginArray();
  for (uint8_t f : flags) json.UInt(f);
  json.EndArray();
}
