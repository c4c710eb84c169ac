// Whether paths name one file, whatever names they use: a link, a second
// hard link, "/dev/stdout" and the file the standard output is. For the
// tools, which must not write an output over another output or over a file
// they read.
#pragma once

#include <cstdint>
#include <string>

namespace plat {

// An existing file as the system knows it, whatever name reached it.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t links = 0;  // its hard links (names in folders)
  bool regular = false;
  bool folder = false;
  bool operator==(const FileIdentity& other) const { return device == other.device && inode == other.inode; }
};
// What `path` names, links followed; false when it is not there (or cannot
// be reached).
bool IdentifyFile(const std::string& path, FileIdentity& identity);

// `path` names the file this process's standard output is (a pipe, a
// terminal, a file it was sent to).
bool IsStandardOutput(const std::string& path);

}  // namespace plat
