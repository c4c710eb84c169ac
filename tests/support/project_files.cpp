#include "support/project_files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

void WriteMinimalProject(const std::string& folder, const std::string& iniLines) {
  // The demo project is the smallest complete one: data, pictures, sounds.
  std::string command = std::string(PELMORA_TOOL) + " make-demo --force '" + folder + "'";
  if (std::system(command.c_str()) != 0) std::abort();
  std::ofstream(std::filesystem::path(folder) / "System.ini", std::ios::binary | std::ios::trunc)
      << iniLines << "Exit\n";
}
