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

// Every entry under `folder`, as paths relative to it. The names are cut
// lexically, never looked up again: a program may be writing into the folder
// while a test watches it, and a temporary file it renames away between the
// listing and a lookup is simply a name seen once.
inline std::set<std::string> Entries(const std::string& folder) {
  std::set<std::string> names;
  const std::filesystem::path base(folder);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    names.insert(entry.path().lexically_relative(base).string());
  return names;
}
