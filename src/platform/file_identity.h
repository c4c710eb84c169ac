// Whether paths name one file, whatever names they use: a link, a second
// hard link, "/dev/stdout" and the file the standard output is. For the
// tools, which must not write two outputs into one file.
#pragma once

#include <string>

namespace plat {

// Both paths name one existing file (a pipe or a device included); false
// when either is not there.
bool SameExistingFile(const std::string& a, const std::string& b);
// `path` names the file this process's standard output is (a pipe, a
// terminal, a file it was sent to).
bool IsStandardOutput(const std::string& path);

}  // namespace plat
