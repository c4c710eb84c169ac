// The demo game's project database and common palette: the contents of a new
// project, written through the runtime's own writers.
#include <filesystem>

#include "data/common_palette.h"
#include "data/database.h"
#include "tool.h"

namespace tool {
namespace {

bool WriteDemoDatabase(const std::string& folder) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(folder) / "data" / "database";
  std::error_code ec;
  fs::create_directories(dir, ec);
  cDatabase db;
  const std::pair<const char*, std::string> files[] = {
      {"AnimeSet.dat", SaveDatabaseListToBytes(db.m_AnimeSets)},
      {"Anime.dat", SaveDatabaseListToBytes(db.m_Animes)},
      {"Bmp_CharaExc.dat", SaveDatabaseListToBytes(db.m_BmpCharaExcs)},
      {"SwordType.dat", SaveDatabaseListToBytes(db.m_SwordTypes)},
      {"Effect.dat", SaveDatabaseListToBytes(db.m_Effects)},
      {"CharaEffect.dat", SaveDatabaseListToBytes(db.m_CharaEffects)},
      {"ScrEffect.dat", SaveDatabaseListToBytes(db.m_ScrEffects)},
      {"Picture.dat", SaveDatabaseListToBytes(db.m_Pictures)},
      {"Sound.dat", SaveDatabaseListToBytes(db.m_Sounds)},
      {"Bgm.dat", SaveDatabaseListToBytes(db.m_Bgms)},
  };
  for (const auto& [name, bytes] : files) {
    if (!WriteWholeFile((dir / name).string(), bytes)) {
      std::fprintf(stderr, "cannot write %s\n", (dir / name).string().c_str());
      return false;
    }
  }
  cCommonPalette palette;
  const fs::path palettePath = fs::path(folder) / "data" / "CommonPalette.cplt4";
  if (!WriteWholeFile(palettePath.string(), palette.SaveToBytes())) {
    std::fprintf(stderr, "cannot write %s\n", palettePath.string().c_str());
    return false;
  }
  return true;
}

Registrar demoDatabase(DemoPart{10, "project database", WriteDemoDatabase});

}  // namespace
}  // namespace tool
