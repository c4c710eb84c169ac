// pelmora-tool kinds of the project files: the ten database files, the common
// palette and stage files.
#include <filesystem>
#include <string>

#include "data/common_palette.h"
#include "data/database.h"
#include "data/stage_data.h"
#include "play/world/stage_limits.h"
#include "record_kinds.h"
#include "tool.h"

namespace tool {

// A database file as one record: its list (the file has no body of its own).
template <class T>
class cDatabaseFile : public cRecord {
 public:
  cDatabaseFile() = default;
  PELMORA_RECORD_CLASS(cDatabaseFile)
  void DefineFields(int32_t version) override { ClearDeclarations(); }
  void DumpLists(cJsonWriter& json) override { DumpRecordList(json, "elements", list); }
  cSafeVector<T> list;
};

namespace {

std::string Count(const char* name, size_t n) { return std::string(name) + " " + std::to_string(n); }

template <class T>
RecordKind DatabaseKind(const char* name, int fileIndex) {
  std::string file = DatabaseFileName(fileIndex);
  return RecordKind{
      .name = name,
      .matches = [file](const std::string& n) { return NameIs(n, file); },
      .make = [] { return std::unique_ptr<cRecord>(std::make_unique<cDatabaseFile<T>>()); },
      .load = [](cRecord& r,
                 const std::string& bytes) { return LoadDatabaseListFromBytes(static_cast<cDatabaseFile<T>&>(r).list, bytes); },
      .save = [](cRecord& r, cDataWriter& out) { WriteDatabaseList(static_cast<cDatabaseFile<T>&>(r).list, out); },
      .counts = [](cRecord& r) { return Count("elements", static_cast<cDatabaseFile<T>&>(r).list.size()); }};
}

RecordKindRegistrar animeSet(DatabaseKind<cAnimeSetRecord>("animeset", 0));
RecordKindRegistrar anime(DatabaseKind<cAnimeRecord>("anime", 1));
RecordKindRegistrar bmpCharaExc(DatabaseKind<cBmpCharaExcRecord>("bmpcharaexc", 2));
RecordKindRegistrar swordType(DatabaseKind<cSwordTypeRecord>("swordtype", 3));
RecordKindRegistrar effect(DatabaseKind<cEffectRecord>("effect", 4));
RecordKindRegistrar charaEffect(DatabaseKind<cCharaEffectRecord>("charaeffect", 5));
RecordKindRegistrar scrEffect(DatabaseKind<cScrEffectRecord>("screffect", 6));
RecordKindRegistrar picture(DatabaseKind<cPictureRecord>("picture", 7));
RecordKindRegistrar sound(DatabaseKind<cSoundRecord>("sound", 8));
RecordKindRegistrar bgm(DatabaseKind<cBgmRecord>("bgm", 9));

// Flows of a list of characters, commands of a list of items (shared lists
// counted once per type that holds them, as the game sees them).
template <class List>
size_t Flows(const List& characters) {
  size_t n = 0;
  for (const cEdCharacter& c : characters) n += c.m_vFlows.size();
  return n;
}
template <class List>
size_t Commands(const List& items) {
  size_t n = 0;
  for (const cEdItem& i : items) n += i.m_vCmds.size();
  return n;
}

std::string PaletteCounts(cSafeVector<cEdBlock>& blocks, cSafeVector<cEdCharacter>& characters,
                          cSafeVector<cEdItem>& items) {
  return Count("blocks", blocks.size()) + ", " + Count("characters", characters.size()) + " (" +
         Count("flows", Flows(characters)) + "), " + Count("items", items.size()) + " (" +
         Count("commands", Commands(items)) + ")";
}

RecordKindRegistrar commonPalette(RecordKind{
    .name = "commonpalette",
    .matches = [](const std::string& n) { return NameEndsWith(n, ".cplt4"); },
    .make = [] { return std::unique_ptr<cRecord>(std::make_unique<cCommonPalette>()); },
    .usesDatabase = true,
    .counts =
        [](cRecord& r) {
          auto& p = static_cast<cCommonPalette&>(r);
          return PaletteCounts(p.m_Blocks, p.m_Characters, p.m_Items);
        }});

RecordKindRegistrar stage(RecordKind{
    .name = "stage",
    .matches = [](const std::string& n) { return NameContains(n, ".stg4_"); },
    .make = [] { return std::unique_ptr<cRecord>(std::make_unique<cStageData>()); },
    .usesDatabase = true,
    .isStage = true,
    .counts =
        [](cRecord& r) {
          auto& s = static_cast<cStageData&>(r);
          return "palette: " + PaletteCounts(s.m_PaletteBlocks, s.m_PaletteCharacters, s.m_PaletteItems) +
                 "; placed: " + PaletteCounts(s.m_PlacedBlocks, s.m_PlacedCharacters, s.m_PlacedItems) + "; " +
                 Count("backgrounds", s.m_Backgrounds.size()) + ", " + Count("texts", s.m_Texts.size()) +
                 ", hero " + std::to_string(s.FindHeroIndex());
        },
    .playProblem = [](cRecord& r) { return StageSetUpProblem(static_cast<cStageData&>(r)); }});

}  // namespace
}  // namespace tool
