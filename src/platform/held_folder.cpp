#include "platform/held_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <string_view>
#include <vector>

#include "platform/file_lock.h"

namespace plat {

namespace {

constexpr std::string_view kHeldSuffix = ".tmp";
constexpr std::string_view kMakingSuffix = ".new";
constexpr size_t kRandomDigits = 16;

std::string RandomDigits() {
  static std::mutex lock;
  static std::mt19937_64 random{std::random_device{}()};
  std::lock_guard<std::mutex> hold(lock);
  char digits[kRandomDigits + 1];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(random()));
  return digits;
}

std::string Join(const std::string& folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  std::string path = folder;
  if (path.back() != '/') path += '/';
  return path.append(name);
}

// Whether `name` is one that Make gives a folder for `stem` under its held name.
bool IsHeldName(std::string_view name, std::string_view stem) {
  if (name.size() != stem.size() + kRandomDigits + kHeldSuffix.size() || name.substr(0, stem.size()) != stem ||
      name.substr(name.size() - kHeldSuffix.size()) != kHeldSuffix)
    return false;
  for (char c : name.substr(stem.size(), kRandomDigits))
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

// Renames a folder to a name no entry has; -1 with errno (EEXIST when one
// has it).
int RenameToNewName(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL) return -1;
  // A file system that cannot promise it: the name is random and was free a
  // moment ago.
  struct stat st;
  if (lstat(to.c_str(), &st) == 0) {
    errno = EEXIST;
    return -1;
  }
  return std::rename(from.c_str(), to.c_str());
}

}  // namespace

void HeldFolder::Release() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  path_.clear();
}

std::string HeldFolder::Make(const std::string& parent, const std::string& stem, const std::string& lockName) {
  Release();
  int error = EEXIST;
  for (int attempt = 0; attempt < 8; ++attempt) {
    const std::string base = Join(parent, stem + RandomDigits());
    const std::string making = base + std::string(kMakingSuffix), held = base + std::string(kHeldSuffix);
    if (mkdir(making.c_str(), 0777) != 0) {
      error = errno;
      if (error == EEXIST) continue;
      break;
    }
    const std::string lockFile = Join(making, lockName);
    const int fd = open(lockFile.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    // No other run touches a ".new" folder: the lock is free. A file system
    // that keeps no flocks lets no sweep take one either, so none removes
    // the folder there.
    if (fd >= 0 && (TryLock(fd) == 0 || errno != EWOULDBLOCK) && RenameToNewName(making, held) == 0) {
      fd_ = fd;
      path_ = held;
      return {};
    }
    error = errno;
    if (fd >= 0) {
      unlink(lockFile.c_str());
      close(fd);
    }
    rmdir(making.c_str());
    if (error != EEXIST) break;
  }
  return std::strerror(error);
}

int RemoveUnheldFolders(const std::string& parent, const std::string& stem, const std::string& lockName) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(parent.empty() ? "." : parent.c_str())) {
    while (const dirent* entry = readdir(dir))
      if (IsHeldName(entry->d_name, stem)) names.emplace_back(entry->d_name);
    closedir(dir);
  }
  int removed = 0;
  for (const std::string& name : names) {
    const std::string folder = Join(parent, name);
    struct stat st;
    if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    const int fd = open(Join(folder, lockName).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0 && errno != ENOENT) continue;
    // Held while the folder goes: no run can take it meanwhile.
    const bool unheld = fd < 0 || (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && TryLock(fd) == 0);
    std::error_code ec;
    if (unheld && std::filesystem::remove_all(folder, ec) > 0 && !ec) ++removed;
    if (fd >= 0) close(fd);
  }
  return removed;
}

}  // namespace plat
