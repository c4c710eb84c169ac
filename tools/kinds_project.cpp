// pelmora-tool kinds of the project files: the ten database files, the common
// palette and stage files.
#include <filesystem>

#include "data/common_palette.h"
#include "data/database.h"
#include "data/stage_data.h"
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

template <class T>
RecordKind DatabaseKind(const char* name, const char* fileName) {
  std::string file = fileName;
  return RecordKind{
      name, [file](const std::string& n) { return NameIs(n, file); },
      [] { return std::unique_ptr<cRecord>(std::make_unique<cDatabaseFile<T>>()); },
      [](cRecord& r, const std::string& bytes) {
        return LoadDatabaseListFromBytes(static_cast<cDatabaseFile<T>&>(r).list, bytes);
      },
      [](cRecord& r) { return SaveDatabaseListToBytes(static_cast<cDatabaseFile<T>&>(r).list); }};
}

RecordKindRegistrar animeSet(DatabaseKind<cAnimeSetRecord>("animeset", "AnimeSet.dat"));
RecordKindRegistrar anime(DatabaseKind<cAnimeRecord>("anime", "Anime.dat"));
RecordKindRegistrar bmpCharaExc(DatabaseKind<cBmpCharaExcRecord>("bmpcharaexc", "Bmp_CharaExc.dat"));
RecordKindRegistrar swordType(DatabaseKind<cSwordTypeRecord>("swordtype", "SwordType.dat"));
RecordKindRegistrar effect(DatabaseKind<cEffectRecord>("effect", "Effect.dat"));
RecordKindRegistrar charaEffect(DatabaseKind<cCharaEffectRecord>("charaeffect", "CharaEffect.dat"));
RecordKindRegistrar scrEffect(DatabaseKind<cScrEffectRecord>("screffect", "ScrEffect.dat"));
RecordKindRegistrar picture(DatabaseKind<cPictureRecord>("picture", "Picture.dat"));
RecordKindRegistrar sound(DatabaseKind<cSoundRecord>("sound", "Sound.dat"));
RecordKindRegistrar bgm(DatabaseKind<cBgmRecord>("bgm", "Bgm.dat"));

RecordKindRegistrar commonPalette({"commonpalette", [](const std::string& n) { return NameEndsWith(n, ".cplt4"); },
                                   [] { return std::unique_ptr<cRecord>(std::make_unique<cCommonPalette>()); },
                                   {}, {}, ProjectData::Database});
RecordKindRegistrar stage({"stage", [](const std::string& n) { return NameContains(n, ".stg4_"); },
                           [] { return std::unique_ptr<cRecord>(std::make_unique<cStageData>()); },
                           {}, {}, ProjectData::DatabaseAndCommonPalette});

}  // namespace
}  // namespace tool
