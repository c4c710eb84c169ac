#include "platform/file_identity.h"

#include <sys/stat.h>
#include <unistd.h>

namespace plat {

bool SameExistingFile(const std::string& a, const std::string& b) {
  struct stat first {}, second {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

bool IsStandardOutput(const std::string& path) {
  struct stat named {}, output {};
  return ::stat(path.c_str(), &named) == 0 && ::fstat(STDOUT_FILENO, &output) == 0 &&
         named.st_dev == output.st_dev && named.st_ino == output.st_ino;
}

}  // namespace plat
