#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <new>

#include "platform/file_lock.h"
#include "platform/instance.h"
#include "platform/text.h"

namespace plat {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Names are UTF-8 here, so every byte below 0x80 is a real ASCII character and
// folding it cannot touch part of a multibyte character.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

bool HasDriveForm(std::string_view path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

// `folder` joined with `name` as the system sees it; "" is the working folder.
std::string JoinLinux(const std::string& folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  std::string out = folder;
  if (out.back() != '/') out.push_back('/');
  out.append(name);
  return out;
}

// The existing entry of `folder` that equals `name` ignoring ASCII case; when
// several do (a Linux folder may hold "Data" and "data"), the smallest in byte
// order, so that the choice does not depend on the directory's order.
bool FindIgnoringCase(const std::string& folder, std::string_view name, std::string* found) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return false;
  bool any = false;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view candidate(entry->d_name);
    if (candidate == "." || candidate == "..") continue;
    if (!EqualsIgnoringAsciiCase(candidate, name)) continue;
    if (!any || candidate < *found) {
      found->assign(candidate);
      any = true;
    }
  }
  closedir(dir);
  return any;
}

struct Component {
  std::string name;
  bool exists;  // false: a missing folder, so nothing below it can exist either
};

std::string ResolveUtf8(std::string_view path) {
  const bool absolute = IsSeparator(path[0]);
  const bool trailingSeparator = IsSeparator(path.back());

  std::vector<Component> stack;
  const std::string root = absolute ? "/" : "";
  std::string folder = root;
  auto rebuildFolder = [&] {
    folder = root;
    for (const Component& c : stack) folder = JoinLinux(folder, c.name);
  };

  size_t pos = 0;
  while (pos < path.size()) {
    size_t end = pos;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const std::string_view name = path.substr(pos, end - pos);
    pos = end + 1;
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      // Lexical, as Windows resolves "..": the folder that was named, not the
      // parent of whatever a symbolic link points to.
      if (!stack.empty() && stack.back().name != "..") {
        stack.pop_back();
        rebuildFolder();
      } else if (!absolute) {
        stack.push_back({"..", true});
        folder = JoinLinux(folder, "..");
      }
      continue;
    }

    const bool parentExists = stack.empty() || stack.back().exists;
    Component next{std::string(name), false};
    if (parentExists) {
      struct stat st;
      if (lstat(JoinLinux(folder, name).c_str(), &st) == 0) {
        next.exists = true;
      } else {
        std::string found;
        if (FindIgnoringCase(folder, name, &found)) {
          next.name = std::move(found);
          next.exists = true;
        }
      }
    }
    folder = JoinLinux(folder, next.name);
    stack.push_back(std::move(next));
  }

  if (folder.empty()) folder.push_back('.');
  if (trailingSeparator && folder.back() != '/') folder.push_back('/');
  return folder;
}

// The working folder as the system names it; empty when it cannot be told.
std::string WorkingFolder() {
  std::string buffer(256, '\0');
  // Bounded: a working folder longer than this is not one the game can use.
  constexpr size_t kLimit = 1 << 16;
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() >= kLimit) return {};
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(std::strlen(buffer.c_str()));
  return buffer;
}

bool StatPath(std::string_view programPath, struct stat* st) {
  const std::string resolved = ResolvePath(programPath);
  return !resolved.empty() && stat(resolved.c_str(), st) == 0;
}

// Whether stat's failure `error` means that nothing is there by the name.
bool NothingThere(int error) { return error == ENOENT || error == ENOTDIR || error == ENAMETOOLONG; }

// Writes all of `size` bytes, retrying short writes and interruptions: 0,
// or the errno value of the write that failed (EIO for one that took none).
int WriteAll(int fd, const char* bytes, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace

std::string ResolvePath(std::string_view programPath) {
  if (programPath.empty()) return {};
  bool lossless = false;
  const std::string utf8 = Cp932ToUtf8(programPath, &lossless);
  // A name that does not decode would reach some other file; one with a NUL
  // would be cut short by the system calls.
  if (!lossless || utf8.find('\0') != std::string::npos) return {};
  // No drives on this system; "C:\..." cannot name anything here.
  if (HasDriveForm(utf8)) return {};
  return ResolveUtf8(utf8);
}

bool IsAbsolutePath(std::string_view programPath) {
  if (programPath.empty()) return false;
  if (IsSeparator(programPath[0])) return true;
  return HasDriveForm(programPath) && programPath.size() >= 3 && IsSeparator(programPath[2]);
}

namespace {

// open(2)'s flags for a C library mode ("rb", "wt", "rt+", "a", "wbx" ...);
// -1 for a mode fopen refuses. glibc ignores the 't' of Windows text modes;
// there is no newline translation here, so "rt" reads CR LF as it is stored.
int OpenFlagsOfMode(const char* mode) {
  int flags;
  switch (mode[0]) {
    case 'r': flags = 0; break;
    case 'w': flags = O_CREAT | O_TRUNC; break;
    case 'a': flags = O_CREAT | O_APPEND; break;
    default: return -1;
  }
  const bool update = std::strchr(mode + 1, '+') != nullptr;
  flags |= update ? O_RDWR : mode[0] == 'r' ? O_RDONLY : O_WRONLY;
  if (mode[0] == 'w' && std::strchr(mode + 1, 'x') != nullptr) flags |= O_EXCL;
  return flags;
}

// OpenLocalFile's errno for a name that is not a regular file.
int NotAFileErrno(mode_t kind) { return S_ISDIR(kind) ? EISDIR : ENXIO; }

}  // namespace

FILE* OpenLocalFile(const std::string& path, const char* mode) {
  const int flags = mode == nullptr ? -1 : OpenFlagsOfMode(mode);
  if (flags < 0 || path.empty()) {
    errno = flags < 0 ? EINVAL : ENOENT;
    return nullptr;
  }
  // Refused before it is opened where it can be: opening a device may do
  // something of its own, and a named pipe keeps a blocking open waiting for
  // its other end.
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    errno = NotAFileErrno(st.st_mode);
    return nullptr;
  }
  // Non-blocking, for what may have taken the name since.
  const int fd = open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  int error = 0;
  if (fstat(fd, &st) != 0) {
    error = errno;
  } else if (!S_ISREG(st.st_mode)) {
    error = NotAFileErrno(st.st_mode);
  } else {
    const int status = fcntl(fd, F_GETFL);
    if (status < 0 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) error = errno;
  }
  FILE* file = error == 0 ? fdopen(fd, mode) : nullptr;
  if (file == nullptr) {
    if (error == 0) error = errno;
    close(fd);
    errno = error;
  }
  return file;
}

std::string NotAFileReason(const std::string& path) {
  struct stat st;
  if (path.empty() || stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return {};
  if (S_ISDIR(st.st_mode)) return "not a file: it is a folder";
  if (S_ISFIFO(st.st_mode)) return "not a file: it is a named pipe";
  if (S_ISSOCK(st.st_mode)) return "not a file: it is a socket";
  return "not a file: it is a device";
}

namespace {

// The mode's way of writing when it only writes ("w", "a", with "b", "t",
// "x" after it); false for a mode that reads.
bool WritingOnly(const char* mode, WriteOpen* how) {
  if (mode == nullptr || (mode[0] != 'w' && mode[0] != 'a')) return false;
  bool exclusive = false;
  for (const char* c = mode + 1; *c != '\0'; ++c) {
    if (*c == 'x') exclusive = true;
    else if (*c != 'b' && *c != 't') return false;
  }
  *how = mode[0] == 'a' ? WriteOpen::kAppend : exclusive ? WriteOpen::kCreateNew : WriteOpen::kReplace;
  return true;
}

using SteadyClock = std::chrono::steady_clock;

// Writes all of `size` bytes to `fd`, a pipe or a device opened without
// blocking: where it takes nothing at once, waits for room in slices short
// enough to see a stop signal, for at most kStalledWriteMs since the last
// byte it took. The bytes written; `*error` the errno value that ended it
// (0 when all were written).
size_t WriteWaitingForRoom(int fd, const char* bytes, size_t size, int* error) {
  constexpr int kSliceMs = 50;
  *error = 0;
  size_t done = 0;
  SteadyClock::time_point deadline = SteadyClock::now() + std::chrono::milliseconds(kStalledWriteMs);
  while (done < size) {
    const ssize_t n = write(fd, bytes + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      deadline = SteadyClock::now() + std::chrono::milliseconds(kStalledWriteMs);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || errno != EAGAIN) {
      *error = n == 0 ? EIO : errno;
      break;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
    if (left <= 0 || StopSignalReceived()) {
      *error = EAGAIN;
      break;
    }
    pollfd room{fd, POLLOUT, 0};
    (void)poll(&room, 1, static_cast<int>(std::min<long long>(left, kSliceMs)));
  }
  return done;
}

// The stream of a pipe or a device: its writes go through
// WriteWaitingForRoom. After one failed, the others fail at once (a stalled
// reader is not waited for again when the stream is flushed and closed).
struct PipeStream {
  int fd;
  int error = 0;
};

ssize_t WriteStreamToPipe(void* cookie, const char* bytes, size_t size) {
  PipeStream& stream = *static_cast<PipeStream*>(cookie);
  size_t done = 0;
  if (stream.error == 0) done = WriteWaitingForRoom(stream.fd, bytes, size, &stream.error);
  if (stream.error != 0) errno = stream.error;
  return static_cast<ssize_t>(done);  // short: the stream's error is set
}

int CloseStreamToPipe(void* cookie) {
  PipeStream* stream = static_cast<PipeStream*>(cookie);
  const int result = close(stream->fd);
  delete stream;
  return result;
}

// Whether a file of this kind may be written by OpenForWriting; errno's
// value for one that may not.
int WritableKindError(mode_t kind) {
  if (S_ISREG(kind) || S_ISCHR(kind) || S_ISFIFO(kind)) return 0;
  return S_ISDIR(kind) ? EISDIR : ENXIO;
}

// OpenForWriting's descriptor: a regular file's blocks as usual; a pipe's or
// a device's stays non-blocking. -1 with errno on failure.
int OpenDescriptorForWriting(const std::string& path, WriteOpen how) {
  if (path.empty()) {
    errno = ENOENT;
    return -1;
  }
  struct stat st;
  if (stat(path.c_str(), &st) == 0) {
    if (const int error = WritableKindError(st.st_mode); error != 0) {
      errno = error;
      return -1;
    }
  }
  int flags = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  switch (how) {
    case WriteOpen::kReplace: flags |= O_CREAT | O_TRUNC; break;
    case WriteOpen::kAppend: flags |= O_CREAT | O_APPEND; break;
    case WriteOpen::kAppendExisting: flags |= O_APPEND; break;
    case WriteOpen::kCreateNew: flags |= O_CREAT | O_EXCL; break;
  }
  const int fd = open(path.c_str(), flags, 0666);
  if (fd < 0) return -1;
  int error = 0;
  if (fstat(fd, &st) != 0) {
    error = errno;
  } else if ((error = WritableKindError(st.st_mode)) == 0 && S_ISREG(st.st_mode)) {
    const int status = fcntl(fd, F_GETFL);
    if (status < 0 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) error = errno;
  }
  if (error != 0) {
    close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

}  // namespace

FILE* OpenForWriting(const std::string& path, WriteOpen how) {
  const int fd = OpenDescriptorForWriting(path, how);
  if (fd < 0) return nullptr;
  struct stat st;
  FILE* file = nullptr;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    file = fdopen(fd, how == WriteOpen::kReplace || how == WriteOpen::kCreateNew ? "wb" : "ab");
  } else {
    const cookie_io_functions_t pipe{nullptr, WriteStreamToPipe, nullptr, CloseStreamToPipe};
    PipeStream* stream = new (std::nothrow) PipeStream{fd};
    file = stream != nullptr ? fopencookie(stream, "wb", pipe) : nullptr;
    if (file == nullptr) {
      delete stream;
      errno = ENOMEM;
    }
  }
  if (file == nullptr) {
    const int error = errno;
    close(fd);
    errno = error;
  }
  return file;
}

std::string WriteFailureText(const std::string& path, int error) {
  struct stat st;
  const bool pipe = stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
  if (error == ENXIO && pipe) return "a named pipe that nobody reads";
  if (error == EAGAIN) return "nothing was read from it for " + std::to_string(kStalledWriteMs / 1000) + " seconds";
  return error != 0 ? std::strerror(error) : "a write failed";
}

std::string WorkingFolderFile(const std::string& name) {
  const std::string folder = WorkingFolder();
  return folder.empty() ? std::string() : JoinLinux(folder, name);
}

FILE* OpenFile(std::string_view programPath, const char* mode) {
  const std::string resolved = ResolvePath(programPath);
  if (resolved.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  WriteOpen how;
  if (WritingOnly(mode, &how)) return OpenForWriting(resolved, how);
  return OpenLocalFile(resolved, mode);
}

bool FileExists(std::string_view programPath) {
  const std::string resolved = ResolvePath(programPath);
  struct stat st;
  return !resolved.empty() && (stat(resolved.c_str(), &st) == 0 || !NothingThere(errno));
}

bool IsDirectory(std::string_view programPath) {
  struct stat st;
  return StatPath(programPath, &st) && S_ISDIR(st.st_mode);
}

bool CreateDirectory(std::string_view programPath) {
  const std::string resolved = ResolvePath(programPath);
  return !resolved.empty() && mkdir(resolved.c_str(), 0777) == 0;
}

bool RemoveFile(std::string_view programPath) {
  const std::string resolved = ResolvePath(programPath);
  return !resolved.empty() && unlink(resolved.c_str()) == 0;
}

bool RenameFile(std::string_view from, std::string_view to) {
  const std::string resolvedFrom = ResolvePath(from);
  const std::string resolvedTo = ResolvePath(to);
  if (resolvedFrom.empty() || resolvedTo.empty()) return false;
  return std::rename(resolvedFrom.c_str(), resolvedTo.c_str()) == 0;
}

std::string GetCurrentDirectory() {
  const std::string buffer = WorkingFolder();
  if (buffer.empty()) return {};
  bool lossless = false;
  std::string cp932 = Utf8ToCp932(buffer, &lossless);
  // A folder name that CP932 cannot hold exactly (also "¥", which CP932 would
  // turn into a separator) cannot be given back as a program path.
  if (!lossless || Cp932ToUtf8(cp932) != buffer) return {};
  return cp932;
}

bool SetCurrentDirectory(std::string_view programPath) {
  const std::string resolved = ResolvePath(programPath);
  return !resolved.empty() && chdir(resolved.c_str()) == 0;
}

std::vector<std::string> ListDirectory(std::string_view programPath) {
  std::vector<std::string> names;
  const std::string resolved = ResolvePath(programPath);
  if (resolved.empty()) return names;
  DIR* dir = opendir(resolved.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name(entry->d_name);
    if (name == "." || name == "..") continue;
    bool lossless = false;
    std::string cp932 = Utf8ToCp932(name, &lossless);
    // Names that do not survive the round trip could not be opened again
    // through this layer, so they are left out.
    if (!lossless || Cp932ToUtf8(cp932) != name) continue;
    names.push_back(std::move(cp932));
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

namespace {

constexpr std::string_view kTempPrefix = ".~pelmora.";
constexpr std::string_view kTempSuffix = ".tmp";

std::atomic<AtomicWriteSeam> g_seamForTest{nullptr};

void AtSeam(AtomicWriteStep step, const std::string& path) {
  if (AtomicWriteSeam seam = g_seamForTest.load()) seam(step, path);
}

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whether `name` is one of WriteFileAtomically's temporary files
// (".~pelmora.PID.N.tmp"), whichever process made it.
bool IsTempFileName(std::string_view name) {
  if (name.size() <= kTempPrefix.size() + kTempSuffix.size() || name.substr(0, kTempPrefix.size()) != kTempPrefix ||
      name.substr(name.size() - kTempSuffix.size()) != kTempSuffix)
    return false;
  const std::string_view middle =
      name.substr(kTempPrefix.size(), name.size() - kTempPrefix.size() - kTempSuffix.size());
  const size_t dot = middle.find('.');
  return dot != std::string_view::npos && dot <= 9 && AllDigits(middle.substr(0, dot)) &&
         AllDigits(middle.substr(dot + 1));
}

// Whether `name` (in the folder `dirFd`) still names the file open as `fd`.
bool NamesOpenFile(int dirFd, const char* name, int fd) {
  struct stat byName, byFd;
  return fstatat(dirFd, name, &byName, AT_SYMLINK_NOFOLLOW) == 0 && fstat(fd, &byFd) == 0 &&
         byName.st_dev == byFd.st_dev && byName.st_ino == byFd.st_ino;
}

// Removes from `folder` the temporary files that no write holds any more:
// those of saves killed before their rename. A writer holds a lock on its
// temporary file (a flock, which another open of the file does not share,
// in this process or another) from just after creating it until it has
// renamed or removed it, so a file whose lock can be taken is a leftover,
// whatever process id its name carries (that of another PID namespace, or
// one given to another program since). The lock is held while the file is
// removed, and only when the name still names the file that was locked: its
// writer may have renamed it over its target since it was opened here, and
// a new write may have taken the name. Every other name stays, and so does
// anything that is not a plain file, or that cannot be opened or locked
// (a file system without flock keeps its leftovers).
void RemoveStaleTempFiles(const std::string& folder) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return;
  const int dirFd = dirfd(dir);
  while (const dirent* entry = readdir(dir)) {
    if (!IsTempFileName(entry->d_name)) continue;
    struct stat st;
    if (fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    const int fd = openat(dirFd, entry->d_name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) continue;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
      AtSeam(AtomicWriteStep::kSweepOpened, folder + entry->d_name);
      if (TryLock(fd) == 0 && NamesOpenFile(dirFd, entry->d_name, fd)) (void)unlinkat(dirFd, entry->d_name, 0);
    }
    close(fd);  // and with it the lock
  }
  closedir(dir);
}

// Creates a new temporary file in `folder` and locks it; -1 on failure, with
// `error` the errno value of the open that failed (0 when every name tried
// was taken). Between its creation and the lock a sweep could take the file
// for a leftover: then the name no longer names it (or the sweep holds it,
// about to remove it), and another name is tried.
int CreateLockedTempFile(const std::string& folder, std::string* temp, int* error) {
  *error = 0;
  // Unique among threads (counter) and processes (pid); O_EXCL guards
  // against a leftover of an earlier run and a name another PID namespace
  // uses at the same time.
  static std::atomic<uint32_t> counter{0};
  for (int attempt = 0; attempt < 16; ++attempt) {
    *temp = folder + std::string(kTempPrefix) + std::to_string(getpid()) + "." +
            std::to_string(counter.fetch_add(1)) + std::string(kTempSuffix);
    const int fd = OpenDescriptorForWriting(*temp, WriteOpen::kCreateNew);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      *error = errno;
      return -1;
    }
    AtSeam(AtomicWriteStep::kCreated, *temp);
    if (TryLock(fd) == 0) {
      if (NamesOpenFile(AT_FDCWD, temp->c_str(), fd)) return fd;
    } else if (errno != EWOULDBLOCK) {
      // A file system that keeps no flocks: no sweep can take a lock on it
      // either, so none removes a file there.
      return fd;
    }
    close(fd);
  }
  return -1;
}

}  // namespace

void SetAtomicWriteSeamForTest(AtomicWriteSeam seam) { g_seamForTest.store(seam); }

namespace {

// Fills `why` (when given) and answers false, for the failures of a write.
bool WriteFailed(std::string* why, const char* reason) {
  if (why != nullptr) *why = reason;
  return false;
}
bool WriteFailed(std::string* why, int error) { return WriteFailed(why, std::strerror(error)); }

}  // namespace

bool WriteFileAtomically(std::string_view programPath, const void* bytes, size_t size, std::string* why) {
  if (bytes == nullptr && size > 0) return WriteFailed(why, "no bytes were given to write");
  const std::string target = ResolvePath(programPath);
  if (target.empty()) return WriteFailed(why, "the name cannot be given to the file system");
  if (target.back() == '/') return WriteFailed(why, EISDIR);

  struct stat targetStat;
  const bool targetExists = stat(target.c_str(), &targetStat) == 0;
  if (targetExists && S_ISDIR(targetStat.st_mode)) return WriteFailed(why, EISDIR);
  if (targetExists && !S_ISREG(targetStat.st_mode)) return WriteFailed(why, "it is not a regular file");

  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  RemoveStaleTempFiles(folder);

  std::string temp;
  int error = 0;
  const int fd = CreateLockedTempFile(folder, &temp, &error);
  if (fd < 0) return error != 0 ? WriteFailed(why, error) : WriteFailed(why, "no temporary name beside it was free");

  // The lock stays held (the descriptor open) until the file has been
  // renamed or removed, so no sweep takes it before.
  error = WriteAll(fd, static_cast<const char*>(bytes), size);
  // Keep the permissions the file had; best effort.
  if (error == 0 && targetExists) (void)fchmod(fd, targetStat.st_mode & 07777);
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (error == 0) AtSeam(AtomicWriteStep::kWritten, temp);
  if (error == 0 && std::rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) unlink(temp.c_str());
  // fsync has reported any write error; what close could add comes after
  // the data is on disk.
  close(fd);
  if (error != 0) return WriteFailed(why, error);
  // Make the rename itself durable; a failure here does not undo the write.
  const int dirFd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    (void)fsync(dirFd);
    close(dirFd);
  }
  return true;
}

bool CopyDirectoryAtomically(std::string_view from, std::string_view to) {
  namespace fs = std::filesystem;
  const std::string source = ResolvePath(from);
  std::string target = ResolvePath(to);
  while (target.size() > 1 && target.back() == '/') target.pop_back();
  std::error_code ec;
  if (source.empty() || target.empty() || !fs::is_directory(source, ec) || fs::exists(target, ec)) return false;
  static std::atomic<uint32_t> counter{0};
  const std::string temp =
      target + ".~pelmora." + std::to_string(getpid()) + "." + std::to_string(counter.fetch_add(1)) + ".partial";
  fs::copy(source, temp, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
  if (!ec) fs::rename(temp, target, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove_all(temp, ignored);  // only our own partial copy
    return false;
  }
  return true;
}

}  // namespace plat
