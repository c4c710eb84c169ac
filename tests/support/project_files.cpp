#include "support/project_files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "data/common_palette.h"
#include "data/database.h"

void WriteMinimalProject(const std::string& folder, const std::string& iniLines) {
  // The demo project is the smallest complete one: data, pictures, sounds.
  std::string command = std::string(PELMORA_TOOL) + " make-demo --force '" + folder + "'";
  if (std::system(command.c_str()) != 0) std::abort();
  std::ofstream(std::filesystem::path(folder) / "System.ini", std::ios::binary | std::ios::trunc)
      << iniLines << "Exit\n";
}

void WriteDatabaseFiles(const std::string& folder, cDatabase& db) {
  auto write = [&](int i, auto& list) {
    const std::string path = folder + "/data/database/" + DatabaseFileName(i);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << SaveDatabaseListToBytes(list);
  };
  write(0, db.m_AnimeSets);
  write(1, db.m_Animes);
  write(2, db.m_BmpCharaExcs);
  write(3, db.m_SwordTypes);
  write(4, db.m_Effects);
  write(5, db.m_CharaEffects);
  write(6, db.m_ScrEffects);
  write(7, db.m_Pictures);
  write(8, db.m_Sounds);
  write(9, db.m_Bgms);
}

void WriteDefaultProject(const std::string& folder) {
  cDatabase defaults;
  WriteDatabaseFiles(folder, defaults);
  std::ofstream(folder + "/data/CommonPalette.cplt4", std::ios::binary) << cCommonPalette().SaveToBytes();
}
