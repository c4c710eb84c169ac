// Reading files back in tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

// The whole file as bytes ("" when it cannot be read).
inline std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every entry under `folder`, as paths relative to it.
inline std::set<std::string> Entries(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    names.insert(std::filesystem::relative(entry.path(), folder).string());
  return names;
}
