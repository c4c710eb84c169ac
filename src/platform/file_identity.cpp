#include "platform/file_identity.h"

#include <sys/stat.h>
#include <unistd.h>

namespace plat {

bool IdentifyFile(const std::string& path, FileIdentity& identity) {
  struct stat named {};
  if (::stat(path.c_str(), &named) != 0) return false;
  identity.device = named.st_dev;
  identity.inode = named.st_ino;
  identity.links = named.st_nlink;
  identity.regular = S_ISREG(named.st_mode);
  identity.folder = S_ISDIR(named.st_mode);
  return true;
}

bool IsStandardOutput(const std::string& path) {
  struct stat named {}, output {};
  return ::stat(path.c_str(), &named) == 0 && ::fstat(STDOUT_FILENO, &output) == 0 &&
         named.st_dev == output.st_dev && named.st_ino == output.st_ino;
}

}  // namespace plat
