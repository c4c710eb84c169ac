// The lock that marks a file (or the folder it stands in) as one a process
// is still working on: an exclusive flock, which the system lets go when the
// process ends, however it ends, and which another open of the file does not
// share, in this process or another. Platform layer only.
#pragma once

#include <sys/file.h>

#include <cerrno>

namespace plat {

// Takes the lock on the open file `fd` without waiting: 0, or -1 with errno
// (EWOULDBLOCK: another holds it).
inline int TryLock(int fd) {
  int result;
  do {
    result = flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  return result;
}

}  // namespace plat
