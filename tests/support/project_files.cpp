#include "support/project_files.h"

#include <filesystem>
#include <fstream>

#include "data/system_data.h"

void WriteMinimalProject(const std::string& folder, const std::string& iniLines) {
  namespace fs = std::filesystem;
  fs::create_directories(fs::path(folder) / "data" / "database");
  cSystemData defaults;
  std::string bytes = defaults.SaveToBytes();
  std::ofstream(fs::path(folder) / "data" / "System.dat", std::ios::binary).write(bytes.data(), bytes.size());
  std::ofstream(fs::path(folder) / "System.ini", std::ios::binary) << iniLines << "Exit\n";
}
