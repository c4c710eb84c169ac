#include "platform/instance.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string_view>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

namespace plat {

namespace instance_detail {
std::string PrivateFolderUnder(const std::string& base);
Termination TerminateProcessByPolling(pid_t pid, uint32_t graceMs);
}  // namespace instance_detail

namespace {

using Clock = std::chrono::steady_clock;

// How long a process that got SIGKILL may take to disappear before we stop
// waiting for it (it can sit in uninterruptible I/O for a moment).
constexpr auto kKillWait = std::chrono::milliseconds(1000);
// A registration holds at most a pid and a newline; anything longer is not ours.
constexpr size_t kMaxRegistrationBytes = 32;

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

void CloseFd(int fd) {
  if (fd >= 0) ::close(fd);  // not retried on EINTR: on Linux the fd is gone either way
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// mkdir -p, mode 0700 for the folders it makes. Returns the first error
// other than "exists" (0 for none), the reason a folder could not be made;
// the caller's next open tells whether it matters (a parent we may not
// create, such as "/", can exist).
// A runtime folder removed for good (RemoveRuntimeFolderForGood) is not
// made again: guarded by g_removedFolderMutex, which making folders holds.
std::mutex g_removedFolderMutex;
std::string g_removedFolder;

int CreateFolders(const std::string& path) {
  std::lock_guard<std::mutex> removed(g_removedFolderMutex);
  if (!g_removedFolder.empty() && path == g_removedFolder) return ENOENT;
  int firstError = 0;
  for (size_t pos = 1; pos <= path.size(); ++pos)
    if ((pos == path.size() || path[pos] == '/') && ::mkdir(path.substr(0, pos).c_str(), 0700) != 0 &&
        errno != EEXIST && firstError == 0)
      firstError = errno;
  return firstError;
}

bool IsWritableDirectory(const char* path) {
  struct stat st {};
  return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode) && ::access(path, W_OK | X_OK) == 0;
}

// Names come from window classes and game titles (UTF-8, any length). Turn one
// into a single file-name component that stays inside the runtime folder and
// within NAME_MAX once a suffix such as ".window.<pid>.tmp" is added. Every
// process maps the same name to the same component.
std::string FileComponent(const std::string& name) {
  constexpr size_t kMaxKept = 200;
  std::string out;
  out.reserve(name.size() < kMaxKept ? name.size() : kMaxKept + 17);
  for (char c : name) out.push_back(c == '/' || c == '\0' ? '_' : c);
  if (out.size() <= kMaxKept) return out;

  uint64_t hash = 1469598103934665603ull;  // FNV-1a over the whole original name
  for (unsigned char c : name) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  size_t cut = kMaxKept - 20;
  while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;  // UTF-8 boundary
  out.resize(cut);
  static const char kHex[] = "0123456789abcdef";
  out.push_back('~');
  for (int shift = 60; shift >= 0; shift -= 4) out.push_back(kHex[(hash >> shift) & 0xF]);
  return out;
}

// The runtime folder, and what chose it: the variable that named it (null
// for the private folder under /tmp) and why it could not be made (an errno
// value, 0 when nothing failed).
struct RuntimeFolder {
  std::string path;
  const char* variable;
  int createError;
};

std::string RuntimeFile(const std::string& name, const char* suffix) {
  return RuntimeDirectory() + "/" + FileComponent(name) + suffix;
}

// Why the single-instance lock cannot be had in `folder`, for the player:
// the folder (and the variable that named it) and what is wrong there.
// `lockError` is the errno value of the open or flock of `lockPath` that
// failed.
std::string LockFailure(const RuntimeFolder& folder, const std::string& lockPath, bool opened, int lockError) {
  std::string where = folder.variable != nullptr ? std::string(folder.variable) + " names " + folder.path
                                                 : "The runtime folder " + folder.path;
  struct stat st {};
  if (::stat(folder.path.c_str(), &st) != 0) {
    int error = folder.createError != 0 ? folder.createError : errno;
    if (folder.createError == 0 && ::mkdir(folder.path.c_str(), 0700) != 0) error = errno;  // the cause, not ENOENT
    where += ", which cannot be made (" + std::string(std::strerror(error)) + ").";
  } else if (!S_ISDIR(st.st_mode)) {
    where += ", which is not a folder.";
  } else {
    where += std::string(", where the lock file ") + (opened ? "cannot be locked" : "cannot be made") + " (" +
             std::strerror(lockError) + "):\n" + lockPath;
  }
  std::string text = where +
                     "\nWithout the lock that lets one copy of the game run at a time, a second copy could run "
                     "beside this one: the game does not start.";
  if (folder.variable == nullptr || std::string_view(folder.variable) != "PELMORA_RUNTIME_DIR")
    text += "\nPELMORA_RUNTIME_DIR can name another folder.";
  return text;
}

// Strict: 1 to 10 decimal digits without sign, spaces or leading zero, an
// optional single trailing newline, a value that fits pid_t and is positive.
std::optional<pid_t> ParsePid(const char* text, size_t length) {
  if (length > 0 && text[length - 1] == '\n') --length;
  if (length == 0 || length > 10 || text[0] == '0') return std::nullopt;
  int64_t value = 0;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  if (value > INT_MAX) return std::nullopt;
  return static_cast<pid_t>(value);
}

struct Registration {
  pid_t pid;
  time_t writtenAt;  // the file's modification time, seconds since the epoch
};

// Nullopt when the file is missing, not a regular file, longer than
// kMaxRegistrationBytes or not a pid.
std::optional<Registration> ReadRegistration(const std::string& path) {
  // O_NONBLOCK so that a FIFO planted under the name cannot hang us.
  const int fd = OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    CloseFd(fd);
    return std::nullopt;
  }
  char buffer[kMaxRegistrationBytes + 1];
  size_t filled = 0;
  while (filled < sizeof buffer) {
    const ssize_t got = ::read(fd, buffer + filled, sizeof buffer - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      CloseFd(fd);
      return std::nullopt;
    }
    if (got == 0) break;
    filled += static_cast<size_t>(got);
  }
  CloseFd(fd);
  if (filled > kMaxRegistrationBytes) return std::nullopt;
  const std::optional<pid_t> pid = ParsePid(buffer, filled);
  if (!pid) return std::nullopt;
  return Registration{*pid, st.st_mtim.tv_sec};
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t put = ::write(fd, data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data += put;
    size -= static_cast<size_t>(put);
  }
  return true;
}

// The fields of /proc/<pid>/stat after the command name, starting with the
// state letter; empty when /proc cannot tell.
std::string ProcessStatFields(pid_t pid) {
  const std::string path = "/proc/" + std::to_string(pid) + "/stat";
  const int fd = OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  char buffer[1024];  // the line is a few hundred bytes at most
  ssize_t got;
  do {
    got = ::read(fd, buffer, sizeof buffer);
  } while (got < 0 && errno == EINTR);
  CloseFd(fd);
  if (got <= 0) return {};
  // "pid (comm) S ...": comm may itself hold ')' so take the last one.
  const std::string_view line(buffer, static_cast<size_t>(got));
  const size_t close = line.rfind(')');
  if (close == std::string_view::npos || close + 2 >= line.size()) return {};
  return std::string(line.substr(close + 2));
}

// Without pidfds a zombie still answers kill(pid, 0); /proc tells it apart.
bool IsZombie(pid_t pid) {
  const std::string fields = ProcessStatFields(pid);
  return !fields.empty() && (fields[0] == 'Z' || fields[0] == 'X');
}

// When `pid` started, in seconds since the epoch (to about a second); nullopt
// when /proc cannot tell.
std::optional<int64_t> ProcessStartTime(pid_t pid) {
  const std::string fields = ProcessStatFields(pid);
  size_t pos = 0;
  for (int i = 0; i < 19; ++i) {  // to field 22 of the line, the start in clock ticks after boot
    pos = fields.find(' ', pos);
    if (pos == std::string::npos) return std::nullopt;
    ++pos;
  }
  uint64_t ticks = 0;
  size_t digits = 0;
  for (; pos < fields.size() && fields[pos] >= '0' && fields[pos] <= '9' && digits < 19; ++pos, ++digits)
    ticks = ticks * 10 + static_cast<uint64_t>(fields[pos] - '0');
  const long perSecond = ::sysconf(_SC_CLK_TCK);
  timespec sinceBoot{}, now{};
  if (digits == 0 || perSecond <= 0 || ::clock_gettime(CLOCK_BOOTTIME, &sinceBoot) != 0 ||
      ::clock_gettime(CLOCK_REALTIME, &now) != 0)
    return std::nullopt;
  return static_cast<int64_t>(now.tv_sec - sinceBoot.tv_sec) +
         static_cast<int64_t>(ticks / static_cast<uint64_t>(perSecond));
}

bool IsAlive(pid_t pid) {
  if (::kill(pid, 0) != 0 && errno != EPERM) return false;
  return !IsZombie(pid);
}

bool WaitUntilGoneByPolling(pid_t pid, Clock::time_point deadline) {
  for (;;) {
    if (!IsAlive(pid)) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

#if defined(SYS_pidfd_open) && defined(SYS_pidfd_send_signal)
constexpr bool kHavePidfd = true;

int PidfdOpen(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0u)); }

int PidfdSignal(int pidfd, int signal) {
  return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0u));
}
#else
constexpr bool kHavePidfd = false;
int PidfdOpen(pid_t) {
  errno = ENOSYS;
  return -1;
}
int PidfdSignal(int, int) {
  errno = ENOSYS;
  return -1;
}
#endif

// A pidfd becomes readable once its process has ended (a zombie counts).
bool WaitUntilGone(int pidfd, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const int timeout = left <= 0 ? 0 : left > INT_MAX ? INT_MAX : static_cast<int>(left);
    pollfd pfd{pidfd, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, timeout);
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
    if (ready == 0 && timeout == 0) return false;
  }
}

std::mutex g_lockMutex;
int g_lockFd = -1;       // guarded by g_lockMutex; open for as long as we hold the lock
std::string g_lockPath;  // guarded by g_lockMutex

std::mutex g_privateFolderMutex;
std::map<std::string, std::string> g_privateFolders;  // base -> the folder made for it

// Written from signal handlers, so it must be lock-free.
std::atomic<bool> g_terminationRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

std::atomic<bool> g_stopSignalReceived{false};

extern "C" void OnTerminationSignal(int) {
  g_stopSignalReceived.store(true, std::memory_order_relaxed);
  g_terminationRequested.store(true, std::memory_order_relaxed);
}

std::atomic<bool> g_keyboardHandedBack{false};

std::atomic<ProcessTerminator> g_terminatorForTest{nullptr};
extern "C" void OnKeyboardHandedBack(int) { g_keyboardHandedBack.store(true, std::memory_order_relaxed); }

}  // namespace

namespace instance_detail {

// "<base>/pelmora-<uid>", made 0700. A folder there that is not ours, is a
// symbolic link or can be written by others may be a trap laid by another
// user; then this process uses a fresh folder of its own (so a second copy
// will not see our lock, which beats trusting the trap).
std::string PrivateFolderUnder(const std::string& base) {
  const uid_t uid = ::geteuid();
  const std::string path = base + "/pelmora-" + std::to_string(uid);
  if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid &&
        (st.st_mode & (S_IWGRP | S_IWOTH)) == 0)
      return path;
  }

  std::lock_guard<std::mutex> guard(g_privateFolderMutex);
  auto found = g_privateFolders.find(base);
  if (found != g_privateFolders.end()) return found->second;
  std::string pattern = path + "-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return path;  // nothing better; the callers' opens will fail
  g_privateFolders.emplace(base, pattern);
  return pattern;
}

Termination TerminateProcessByPolling(pid_t pid, uint32_t graceMs) {
  if (pid <= 0 || pid == ::getpid()) return Termination::kNotReached;
  if (::kill(pid, SIGTERM) != 0) return Termination::kNotReached;  // ESRCH: gone; EPERM: not ours
  if (WaitUntilGoneByPolling(pid, Clock::now() + std::chrono::milliseconds(graceMs))) return Termination::kClosed;
  if (::kill(pid, SIGKILL) != 0) return Termination::kClosed;  // ended in between
  return WaitUntilGoneByPolling(pid, Clock::now() + kKillWait) ? Termination::kKilled : Termination::kKillPending;
}

}  // namespace instance_detail

namespace {

RuntimeFolder ChooseRuntimeFolder() {
  if (const char* own = std::getenv("PELMORA_RUNTIME_DIR"); own != nullptr && own[0] != '\0') {
    std::string path = WithoutTrailingSlashes(own);
    const int error = CreateFolders(path);
    return {std::move(path), "PELMORA_RUNTIME_DIR", error};
  }
  if (const char* xdg = std::getenv("XDG_RUNTIME_DIR");
      xdg != nullptr && xdg[0] == '/' && IsWritableDirectory(xdg))
    return {WithoutTrailingSlashes(xdg), "XDG_RUNTIME_DIR", 0};
  return {instance_detail::PrivateFolderUnder("/tmp"), nullptr, 0};
}

}  // namespace

std::string RuntimeDirectory() { return ChooseRuntimeFolder().path; }

void RemoveRuntimeFolderForGood(const std::string& path) {
  std::lock_guard<std::mutex> removed(g_removedFolderMutex);
  g_removedFolder = WithoutTrailingSlashes(path);
  std::error_code ec;
  std::filesystem::remove_all(g_removedFolder, ec);
}

InstanceLockResult AcquireInstanceLock(const std::string& utf8Name, std::string* why) {
  const RuntimeFolder folder = ChooseRuntimeFolder();
  const std::string path = folder.path + "/" + FileComponent(utf8Name) + ".lock";
  std::lock_guard<std::mutex> guard(g_lockMutex);
  if (g_lockFd >= 0) {
    // Asking again for the lock we hold keeps it: reopening would leave a
    // moment in which another copy could take it.
    if (g_lockPath == path) return InstanceLockResult::First;
    CloseFd(g_lockFd);
    g_lockFd = -1;
    g_lockPath.clear();
  }

  // A lock file we may not write (or one on a read-only file system) can
  // still be locked once it exists.
  int fd = OpenRetrying(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  const int openError = errno;
  if (fd < 0 && (openError == EACCES || openError == EROFS))
    fd = OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    if (why != nullptr) *why = LockFailure(folder, path, false, openError);
    return InstanceLockResult::Failed;
  }

  int locked;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    const int lockError = errno;
    CloseFd(fd);
    if (lockError == EWOULDBLOCK) return InstanceLockResult::AlreadyRunning;
    if (why != nullptr) *why = LockFailure(folder, path, true, lockError);
    return InstanceLockResult::Failed;
  }
  // The file stays behind when we end: removing a lock file races with a
  // copy that has just opened it.
  g_lockFd = fd;
  g_lockPath = path;
  return InstanceLockResult::First;
}

void ReleaseInstanceLock() {
  std::lock_guard<std::mutex> guard(g_lockMutex);
  CloseFd(g_lockFd);
  g_lockFd = -1;
  g_lockPath.clear();
}

bool RegisterWindowOwner(const std::string& windowClass) {
  const std::string path = RuntimeFile(windowClass, ".window");
  const std::string pid = std::to_string(::getpid());
  const std::string temp = path + "." + pid + ".tmp";
  ::unlink(temp.c_str());  // left by an earlier process that had our pid and crashed
  const int fd = OpenRetrying(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, pid.data(), pid.size());
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

void UnregisterWindowOwner(const std::string& windowClass) {
  const std::string path = RuntimeFile(windowClass, ".window");
  const std::optional<Registration> owner = ReadRegistration(path);
  if (owner && owner->pid == ::getpid()) ::unlink(path.c_str());
}

std::optional<pid_t> FindRegisteredWindowOwner(const std::string& windowClass) {
  const std::optional<Registration> owner = ReadRegistration(RuntimeFile(windowClass, ".window"));
  if (!owner || owner->pid == ::getpid()) return std::nullopt;
  if (!IsAlive(owner->pid)) return std::nullopt;  // stale: that process ended
  // A copy that crashed leaves its file; its pid may since belong to an
  // unrelated process, which started after the file was written. The slack
  // covers the start time's rounding to whole seconds.
  constexpr int64_t kSlackSeconds = 2;
  const std::optional<int64_t> started = ProcessStartTime(owner->pid);
  if (started && *started > static_cast<int64_t>(owner->writtenAt) + kSlackSeconds) return std::nullopt;
  return owner->pid;
}

void SetProcessTerminatorForTest(ProcessTerminator terminator) { g_terminatorForTest.store(terminator); }

Termination TerminateProcessOrderly(pid_t pid, uint32_t graceMs) {
  if (ProcessTerminator standIn = g_terminatorForTest.load()) return standIn(pid, graceMs);
  // pid 0 and negative pids name process groups, and we never end ourselves.
  if (pid <= 0 || pid == ::getpid()) return Termination::kNotReached;

  // A pidfd pins the process, so a pid reused while we wait is never signalled.
  const int pidfd = kHavePidfd ? PidfdOpen(pid) : -1;
  if (pidfd < 0) {
    if (errno == ESRCH) return Termination::kNotReached;
    return instance_detail::TerminateProcessByPolling(pid, graceMs);  // old kernel or filtered syscall
  }
  if (PidfdSignal(pidfd, SIGTERM) != 0) {
    const int error = errno;
    CloseFd(pidfd);
    if (error == ENOSYS) return instance_detail::TerminateProcessByPolling(pid, graceMs);
    return Termination::kNotReached;  // EPERM: not ours; ESRCH: ended on its own just now
  }
  Termination result = Termination::kClosed;
  if (!WaitUntilGone(pidfd, Clock::now() + std::chrono::milliseconds(graceMs)) &&
      PidfdSignal(pidfd, SIGKILL) == 0)  // a failed SIGKILL: it ended in between
    result = WaitUntilGone(pidfd, Clock::now() + kKillWait) ? Termination::kKilled : Termination::kKillPending;
  CloseFd(pidfd);
  return result;
}

bool SendEditorNotification(const std::string& editorClass, uint64_t wParam, uint32_t dwData,
                            const void* data, uint32_t size) {
  if (size > 0 && data == nullptr) return false;
  const std::string directory = RuntimeDirectory();
  const std::string name = FileComponent(editorClass) + ".sock";

  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  int directoryFd = -1;
  std::string path = directory + "/" + name;
  if (path.size() >= sizeof address.sun_path) {
    // Too long for sun_path: reach the folder through a descriptor instead.
    directoryFd = OpenRetrying(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (directoryFd < 0) return false;
    path = "/proc/self/fd/" + std::to_string(directoryFd) + "/" + name;
    if (path.size() >= sizeof address.sun_path) {
      CloseFd(directoryFd);
      return false;
    }
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

  unsigned char header[16];
  for (int i = 0; i < 8; ++i) header[i] = static_cast<unsigned char>(wParam >> (8 * i));
  for (int i = 0; i < 4; ++i) header[8 + i] = static_cast<unsigned char>(dwData >> (8 * i));
  for (int i = 0; i < 4; ++i) header[12 + i] = static_cast<unsigned char>(size >> (8 * i));
  iovec parts[2] = {{header, sizeof header}, {const_cast<void*>(data), size}};

  msghdr message{};
  message.msg_name = &address;
  message.msg_namelen = static_cast<socklen_t>(sizeof address);
  message.msg_iov = parts;
  message.msg_iovlen = size > 0 ? 2 : 1;

  const int sock = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  bool sent = false;
  if (sock >= 0) {
    ssize_t result;
    do {
      // Never wait for a full receiver: a notification is dropped instead.
      result = ::sendmsg(sock, &message, MSG_DONTWAIT | MSG_NOSIGNAL);
    } while (result < 0 && errno == EINTR);
    sent = result == static_cast<ssize_t>(sizeof header + size);
    CloseFd(sock);
  }
  CloseFd(directoryFd);
  return sent;
}

void InstallTerminationHandlers() {
  g_stopSignalReceived.store(false, std::memory_order_relaxed);
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
  struct sigaction keyboard {};
  keyboard.sa_handler = OnKeyboardHandedBack;
  sigemptyset(&keyboard.sa_mask);
  keyboard.sa_flags = SA_RESTART;
  ::sigaction(SIGURG, &keyboard, nullptr);

  // A write to a closed pipe or socket must fail with EPIPE, not end the game.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, nullptr);
}

bool HandKeyboardBack(pid_t pid) {
  if (pid <= 0 || pid == ::getpid()) return false;
  return ::kill(pid, SIGURG) == 0;
}

bool TakeKeyboardHandedBack() { return g_keyboardHandedBack.exchange(false, std::memory_order_relaxed); }

bool TerminationRequested() { return g_terminationRequested.load(std::memory_order_relaxed); }

bool StopSignalReceived() { return g_stopSignalReceived.load(std::memory_order_relaxed); }

bool TakeTerminationRequest() { return g_terminationRequested.exchange(false, std::memory_order_relaxed); }

void RaiseTerminationRequest() { g_terminationRequested.store(true, std::memory_order_relaxed); }

}  // namespace plat
