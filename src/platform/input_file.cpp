#include "platform/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace plat {

InputFile::~InputFile() {
  if (fd_ >= 0) close(fd_);
}

std::string InputFile::Open(const std::string& name) {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  programPath_.clear();
  if (name.empty() || name.find('\0') != std::string::npos) return "no such file";
  // Without waiting: a pipe opened for reading would wait for a writer.
  int fd;
  do {
    fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return std::strerror(errno);
  struct stat opened;
  if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
    close(fd);
    return "not a regular file";
  }
  // The loaders open the file again through this path: it must lead to the
  // same file (no /proc mounted, or a system that hides it, would not).
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  struct stat reached;
  if (stat(path.c_str(), &reached) != 0 || reached.st_dev != opened.st_dev || reached.st_ino != opened.st_ino) {
    close(fd);
    return "the open file cannot be reached through /proc/self/fd";
  }
  fd_ = fd;
  programPath_ = path;
  return {};
}

}  // namespace plat
