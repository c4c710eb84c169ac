#include "platform/safe_write.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <set>

namespace plat {

namespace {

namespace fs = std::filesystem;

// A name for a temporary file beside `target`, not the name of any other
// file made at the same time (a random part: several runs may write into
// one folder at once).
fs::path TemporarySibling(const fs::path& target) {
  thread_local std::mt19937_64 random{std::random_device{}()};
  char part[24];
  std::snprintf(part, sizeof part, "%016llx", static_cast<unsigned long long>(random()));
  std::string name = ".";
  name.append(target.filename().string()).append(".~").append(part).append(".tmp");
  return target.has_parent_path() ? target.parent_path() / name : fs::path(name);
}

std::string ErrorText(int error) { return error != 0 ? std::strerror(error) : "a write failed"; }

// Turns `path` into the path of what it names at the end of its links (a
// link's target read from the folder that holds the link); false for a
// chain of links longer than the system follows (a loop).
bool FollowLinks(fs::path& path) {
  constexpr int kMostLinks = 40;  // as the system's own path lookup
  std::error_code ec;
  for (int hops = 0; fs::is_symlink(fs::symlink_status(path, ec)); ++hops) {
    if (hops == kMostLinks) return false;
    const fs::path to = fs::read_symlink(path, ec);
    if (ec) return true;  // not readable as a link: written as named
    path = to.is_absolute() ? to : path.parent_path() / to;
  }
  return true;
}

// The temporary files of this process's SafeFiles that are neither in place
// nor removed yet, for AbandonUnfinishedFiles. A file is made, renamed and
// removed under the lock, so that none is made or put in place once they
// are abandoned. Never destroyed: a stop may come while statics go.
struct Unfinished {
  std::mutex mutex;
  std::set<std::string> temporaries;
  bool abandoned = false;
};
Unfinished& UnfinishedFiles() {
  static Unfinished* unfinished = new Unfinished;
  return *unfinished;
}

// Why a file cannot be made or put in place once the files are abandoned.
constexpr int kAbandoned = ECANCELED;

}  // namespace

std::string SafeFile::Open(const std::string& path) {
  Discard();
  target_.clear();
  inPlace_ = replaces_ = failed_ = false;
  permissions_ = 0;
  error_ = 0;
  std::error_code ec;
  fs::path target(path);
  if (target.filename().empty()) return "not a file name";
  // A link is followed: the file it names is replaced (made, when the link
  // names a file not there yet), the link stays. What the system reaches
  // through the name is asked first, so that a link it resolves itself
  // ("/dev/stdout" to "/proc/self/fd/1" to "pipe:[N]") names what it reaches.
  fs::file_status status = fs::status(target, ec);
  if (fs::is_regular_file(status)) {
    if (fs::path real = fs::canonical(target, ec); !ec) target = real;
  } else if (!fs::exists(status)) {
    if (!FollowLinks(target)) return std::strerror(ELOOP);
    status = fs::status(target, ec);
  }
  const bool exists = fs::exists(status);
  if (exists && fs::is_directory(status)) return "it is a folder";
  target_ = target.string();
  if (exists && !fs::is_regular_file(status)) {
    // A device or a pipe is never replaced: it takes the bytes as they come.
    errno = 0;
    file_ = std::fopen(target_.c_str(), "wb");
    if (!file_) return ErrorText(errno);
    inPlace_ = true;
    return {};
  }
  replaces_ = exists;
  permissions_ = static_cast<unsigned>(status.permissions()) & static_cast<unsigned>(fs::perms::mask);
  Unfinished& unfinished = UnfinishedFiles();
  std::lock_guard<std::mutex> lock(unfinished.mutex);
  if (unfinished.abandoned) return ErrorText(kAbandoned);
  for (int attempt = 0; attempt < 8 && !file_; ++attempt) {
    const fs::path temporary = TemporarySibling(target);
    errno = 0;
    file_ = std::fopen(temporary.c_str(), "wbx");  // made anew, never an existing file
    if (file_) {
      temporary_ = temporary.string();
      unfinished.temporaries.insert(temporary_);
    } else if (errno != EEXIST) {
      return ErrorText(errno);
    }
  }
  if (!file_) return "no temporary file could be made beside it";
  return {};
}

bool SafeFile::Write(const void* data, size_t size) {
  if (failed_ || !file_) return false;
  errno = 0;
  if (std::fwrite(data, 1, size, file_) != size) Fail(errno);
  return !failed_;
}

bool SafeFile::Overwrite(uint64_t offset, const void* data, size_t size) {
  if (failed_ || !file_) return false;
  errno = 0;
  if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) {
    Fail(errno);
    return false;
  }
  if (!Write(data, size)) return false;
  errno = 0;
  if (fseeko(file_, 0, SEEK_END) != 0) Fail(errno);
  return !failed_;
}

void SafeFile::Fail(int error) {
  if (failed_) return;
  failed_ = true;
  error_ = error;
}

std::string SafeFile::Reason() const { return ErrorText(error_); }

std::string SafeFile::Commit() {
  if (!file_) return failed_ ? Reason() : "the file is not open";
  errno = 0;
  if (std::fflush(file_) != 0 || std::ferror(file_)) Fail(errno);
  errno = 0;
  const int closed = std::fclose(file_);
  file_ = nullptr;
  if (closed != 0) Fail(errno);
  if (!temporary_.empty()) {
    Unfinished& unfinished = UnfinishedFiles();
    std::lock_guard<std::mutex> lock(unfinished.mutex);
    std::error_code ec;
    if (unfinished.abandoned) Fail(kAbandoned);
    if (!failed_) {
      // As the file it replaces was (its owner may run it, or keep it private).
      if (replaces_) fs::permissions(temporary_, static_cast<fs::perms>(permissions_), ec);
      ec.clear();
      fs::rename(temporary_, target_, ec);
      if (ec) Fail(ec.value());
    }
    if (failed_) fs::remove(temporary_, ec);
    unfinished.temporaries.erase(temporary_);
    temporary_.clear();
  }
  return failed_ ? Reason() : std::string();
}

void SafeFile::Discard() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  if (!temporary_.empty()) {
    Unfinished& unfinished = UnfinishedFiles();
    std::lock_guard<std::mutex> lock(unfinished.mutex);
    std::error_code ec;
    fs::remove(temporary_, ec);
    unfinished.temporaries.erase(temporary_);
    temporary_.clear();
  }
}

void AbandonUnfinishedFiles() {
  Unfinished& unfinished = UnfinishedFiles();
  std::lock_guard<std::mutex> lock(unfinished.mutex);
  unfinished.abandoned = true;
  std::error_code ec;
  for (const std::string& temporary : unfinished.temporaries) fs::remove(temporary, ec);
  unfinished.temporaries.clear();
}

std::string WriteFileSafely(const std::string& path, const std::function<bool(std::FILE*)>& fill) {
  SafeFile file;
  const std::string why = file.Open(path);
  if (!why.empty()) return why;
  errno = 0;
  if (!fill(file.Stream())) file.Fail(errno);
  return file.Commit();
}

std::string WriteFileSafely(const std::string& path, const std::string& bytes) {
  return WriteFileSafely(path, [&bytes](std::FILE* stream) {
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
  });
}

}  // namespace plat
