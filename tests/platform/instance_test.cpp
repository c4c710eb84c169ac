// Single instance, window-owner registration, ending another copy, the editor
// notification and termination signals, against real processes, files and
// sockets in a fresh runtime folder per test.
#include "platform/instance.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/sandbox.h"

namespace plat::instance_detail {  // internal to instance.cpp
std::string PrivateFolderUnder(const std::string& base);
plat::Termination TerminateProcessByPolling(pid_t pid, uint32_t graceMs);
}  // namespace plat::instance_detail

namespace {

namespace fs = std::filesystem;
using plat::InstanceLockResult;

char Code(InstanceLockResult r) {
  return r == InstanceLockResult::First ? 'F' : r == InstanceLockResult::AlreadyRunning ? 'A' : 'X';
}

// A fork of this process: runs `before` (async-signal-safe calls and our own
// functions only), reports its one-byte result, waits for Release(), runs
// `after` and exits. Killed and reaped on destruction unless already reaped.
struct Child {
  pid_t pid = -1;
  int report = -1, release = -1;
  bool reaped = false;

  static std::unique_ptr<Child> Fork(const std::function<char()>& before,
                                     const std::function<void()>& after) {
    auto c = std::make_unique<Child>();
    int up[2], down[2];
    if (::pipe2(up, O_CLOEXEC) != 0 || ::pipe2(down, O_CLOEXEC) != 0) return c;
    if ((c->pid = ::fork()) == 0) {
      ::signal(SIGTERM, SIG_DFL);  // the signal test installs our handler in this process
      ::close(down[1]);
      const char result = before();
      char ignored;
      if (::write(up[1], &result, 1) == 1)
        while (::read(down[0], &ignored, 1) < 0 && errno == EINTR) continue;
      after();
      ::_exit(0);
    }
    ::close(up[1]), ::close(down[0]);
    c->report = up[0], c->release = down[1];
    return c;
  }
  ~Child() {
    if (pid > 0 && !reaped) ::kill(pid, SIGKILL), Wait();
    ::close(report), ::close(release);
  }
  char Report() const {
    char c = 0;
    return ::read(report, &c, 1) == 1 ? c : 0;
  }
  void Release() { ::close(release), release = -1; }
  int Wait(int flags = 0) {  // the wait status; -1 while it runs (WNOHANG)
    int status = 0;
    pid_t got;
    while ((got = ::waitpid(pid, &status, flags)) < 0 && errno == EINTR) continue;
    reaped = got == pid;
    return reaped ? status : -1;
  }
};
char Ready() { return 'r'; }
void Nothing() {}

class InstanceTest : public ::testing::Test {
 protected:
  void SetUp() override { env_.Set("PELMORA_RUNTIME_DIR", folder_.Path()); }
  void TearDown() override { plat::ReleaseInstanceLock(); }
  TempFolder folder_{"instance"};
  ScopedEnv env_;
  fs::path dir_ = folder_.Path();
};

TEST_F(InstanceTest, RuntimeDirectoryAndItsPrivateFallback) {
  env_.Set("PELMORA_RUNTIME_DIR", dir_.string() + "/a/b/");
  EXPECT_EQ(plat::RuntimeDirectory(), dir_.string() + "/a/b");
  EXPECT_TRUE(fs::is_directory(dir_ / "a" / "b"));

  const std::string leaf = "pelmora-" + std::to_string(::geteuid());
  auto expectPrivate = [](const std::string& path) {
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0) << path;
    EXPECT_TRUE(S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0) << path;
  };
  fs::create_directories(dir_ / "good"), fs::create_directories(dir_ / "link");
  EXPECT_EQ(plat::instance_detail::PrivateFolderUnder((dir_ / "good").string()), (dir_ / "good" / leaf).string());
  expectPrivate((dir_ / "good" / leaf).string());

  // Something another user could have laid there is not used.
  fs::create_directories(dir_ / "open" / leaf);
  fs::permissions(dir_ / "open" / leaf, fs::perms::all);
  fs::create_directory_symlink(dir_ / "good" / leaf, dir_ / "link" / leaf);
  folder_.Write("file/" + leaf, "x");
  for (const char* base : {"open", "link", "file"}) {
    SCOPED_TRACE(base);
    const std::string chosen = plat::instance_detail::PrivateFolderUnder((dir_ / base).string());
    EXPECT_NE(chosen, (dir_ / base / leaf).string());
    expectPrivate(chosen);
    EXPECT_EQ(plat::instance_detail::PrivateFolderUnder((dir_ / base).string()), chosen);  // kept
  }
}

// PELMORA_RUNTIME_DIR when it names a folder (an empty one counts as
// unset), else XDG_RUNTIME_DIR when it is an absolute path to a folder this
// user can write, else the private folder under /tmp; an XDG_RUNTIME_DIR
// that is not there is passed over, not made.
TEST_F(InstanceTest, TheRuntimeFolderIsChosenByTheVariablesInTurn) {
  const std::string own = dir_ / "own", xdg = dir_ / "xdg", file = dir_ / "file";
  fs::create_directories(xdg);
  folder_.Write("file", "x");
  const std::string fallback = plat::instance_detail::PrivateFolderUnder("/tmp");
  const std::optional<std::string> unset;
  const struct {
    const char* name;
    std::optional<std::string> own, xdg;
    std::string chosen;
  } rows[] = {
      {"PELMORA_RUNTIME_DIR", own, xdg, own},
      {"an empty PELMORA_RUNTIME_DIR", std::string(), xdg, xdg},
      {"XDG_RUNTIME_DIR", unset, xdg, xdg},
      {"an XDG_RUNTIME_DIR that is not there", unset, dir_ / "missing", fallback},
      {"an empty XDG_RUNTIME_DIR", std::string(), std::string(), fallback},
      {"a relative XDG_RUNTIME_DIR", unset, std::string("xdg"), fallback},
      {"an XDG_RUNTIME_DIR that is a file", unset, file, fallback},
      {"neither", unset, unset, fallback},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    for (const auto& [variable, value] : {std::pair{"PELMORA_RUNTIME_DIR", row.own}, {"XDG_RUNTIME_DIR", row.xdg}}) {
      if (value)
        env_.Set(variable, *value);
      else
        env_.Unset(variable);
    }
    EXPECT_EQ(plat::RuntimeDirectory(), row.chosen);
  }
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
  EXPECT_TRUE(fs::is_regular_file(file));
}

TEST_F(InstanceTest, LockIsHeldAgainstOtherProcessesUntilReleased) {
  const std::string name = "ゲーム";
  {
    auto holder = Child::Fork([&] { return Code(plat::AcquireInstanceLock(name)); }, Nothing);
    ASSERT_EQ(holder->Report(), 'F');
    EXPECT_TRUE(fs::exists(dir_ / "ゲーム.lock"));
    EXPECT_EQ(plat::AcquireInstanceLock(name), InstanceLockResult::AlreadyRunning);
    holder->Release(), holder->Wait();
  }
  EXPECT_EQ(plat::AcquireInstanceLock(name), InstanceLockResult::First);
  EXPECT_EQ(plat::AcquireInstanceLock(name), InstanceLockResult::First);  // asking again keeps it

  // A fork shares our descriptor; once it drops that copy it is another copy
  // of the game.
  auto fromChild = [&] {
    return Child::Fork([&] { return plat::ReleaseInstanceLock(), Code(plat::AcquireInstanceLock(name)); }, Nothing)
        ->Report();
  };
  EXPECT_EQ(fromChild(), 'A');
  plat::ReleaseInstanceLock();
  EXPECT_EQ(fromChild(), 'F');
}

// Where no lock can be had, the lock says so (and takes nothing): the
// folder, the variable that chose it and the reason, and for a folder the
// player did not choose, the variable that chooses another.
TEST_F(InstanceTest, ALockThatCannotBeMadeSaysWhereAndWhy) {
  folder_.Write("file", "x");
  fs::create_directories(dir_ / "run" / "ゲーム.lock");
  fs::create_directories(dir_ / "xdg" / "ゲーム.lock");
  fs::create_directories(dir_ / "closed");
  fs::permissions(dir_ / "closed", fs::perms::owner_read | fs::perms::owner_exec);
  struct Row {
    const char* variable;
    std::string folder;
    std::string why;  // the first line of the message
    bool asUserOnly;  // root ignores permissions
  };
  const std::string file = dir_ / "file";
  const Row rows[] = {
      {"PELMORA_RUNTIME_DIR", file, "PELMORA_RUNTIME_DIR names " + file + ", which is not a folder.", false},
      {"PELMORA_RUNTIME_DIR", file + "/", "PELMORA_RUNTIME_DIR names " + file + ", which is not a folder.", false},
      {"PELMORA_RUNTIME_DIR", file + "/run",
       "PELMORA_RUNTIME_DIR names " + file + "/run, which cannot be made (Not a directory).", false},
      {"PELMORA_RUNTIME_DIR", dir_ / "run",
       "PELMORA_RUNTIME_DIR names " + (dir_ / "run").string() + ", where the lock file cannot be made (Is a directory):",
       false},
      {"PELMORA_RUNTIME_DIR", dir_ / "closed/run",
       "PELMORA_RUNTIME_DIR names " + (dir_ / "closed/run").string() + ", which cannot be made (Permission denied).",
       true},
      {"XDG_RUNTIME_DIR", dir_ / "xdg",
       "XDG_RUNTIME_DIR names " + (dir_ / "xdg").string() + ", where the lock file cannot be made (Is a directory):",
       false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.folder);
    if (row.asUserOnly && ::geteuid() == 0) continue;
    env_.Unset("PELMORA_RUNTIME_DIR").Set(row.variable, row.folder);
    std::string why = "untouched";
    EXPECT_EQ(plat::AcquireInstanceLock("ゲーム", &why), InstanceLockResult::Failed);
    EXPECT_EQ(why.substr(0, why.find('\n')), row.why) << why;
    EXPECT_NE(why.find("\nWithout the lock that lets one copy of the game run at a time, a second copy could run "
                       "beside this one: the game does not start."),
              std::string::npos)
        << why;
    const bool chosenByThePlayer = std::string(row.variable) == "PELMORA_RUNTIME_DIR";
    EXPECT_EQ(why.find("PELMORA_RUNTIME_DIR can name another folder.") != std::string::npos, !chosenByThePlayer)
        << why;
    if (row.why.back() == ':') {
      EXPECT_NE(why.find("\n" + row.folder + "/ゲーム.lock\n"), std::string::npos) << why;
    }
  }
  EXPECT_TRUE(fs::is_regular_file(file));
  fs::permissions(dir_ / "closed", fs::perms::owner_all);

  // A folder that can hold it: the lock, and no word.
  env_.Unset("XDG_RUNTIME_DIR").Set("PELMORA_RUNTIME_DIR", dir_ / "good");
  std::string why = "untouched";
  EXPECT_EQ(plat::AcquireInstanceLock("ゲーム", &why), InstanceLockResult::First);
  EXPECT_EQ(why, "untouched");
}

TEST_F(InstanceTest, NamesMapToDistinctFilesInsideTheFolder) {
  EXPECT_EQ(plat::AcquireInstanceLock("../escape/a"), InstanceLockResult::First);
  std::string longName;
  for (int i = 0; i < 150; ++i) longName += "ゲ";  // 450 bytes, more than a file name may hold
  EXPECT_EQ(plat::AcquireInstanceLock(longName + "x"), InstanceLockResult::First);
  EXPECT_EQ(plat::AcquireInstanceLock(longName + "y"), InstanceLockResult::First);
  ASSERT_TRUE(plat::RegisterWindowOwner(longName + "x"));
  auto count = [&] { return std::distance(fs::directory_iterator(dir_), fs::directory_iterator()); };
  EXPECT_EQ(count(), 4);
  plat::UnregisterWindowOwner(longName + "x");  // the same long name reaches the same file
  EXPECT_EQ(count(), 3);
}

TEST_F(InstanceTest, RegistrationNamesAnotherLiveProcess) {
  const fs::path file = dir_ / "GameWindow.window";
  auto owner = Child::Fork([] { return plat::RegisterWindowOwner("GameWindow") ? 'R' : 'X'; },
                           [] { plat::UnregisterWindowOwner("GameWindow"); });
  ASSERT_EQ(owner->Report(), 'R');
  EXPECT_EQ(folder_.Read("GameWindow.window"), std::to_string(owner->pid));
  EXPECT_EQ(plat::FindRegisteredWindowOwner("GameWindow"), owner->pid);
  plat::UnregisterWindowOwner("GameWindow");  // not ours: stays
  EXPECT_EQ(plat::FindRegisteredWindowOwner("GameWindow"), owner->pid);
  owner->Release(), owner->Wait();
  EXPECT_FALSE(fs::exists(file));

  // Our own registration is never "another running copy".
  ASSERT_TRUE(plat::RegisterWindowOwner("GameWindow"));
  EXPECT_EQ(folder_.Read("GameWindow.window"), std::to_string(::getpid()));
  EXPECT_EQ(plat::FindRegisteredWindowOwner("GameWindow"), std::nullopt);
  plat::UnregisterWindowOwner("GameWindow");
  EXPECT_FALSE(fs::exists(file));

  // A copy that crashed leaves its file behind; it must not count.
  auto crashed = Child::Fork([] { return plat::RegisterWindowOwner("GameWindow") ? 'R' : 'X'; }, Nothing);
  ASSERT_EQ(crashed->Report(), 'R');
  crashed->Release(), crashed->Wait();
  EXPECT_TRUE(fs::exists(file));
  EXPECT_EQ(plat::FindRegisteredWindowOwner("GameWindow"), std::nullopt);

  // ... and when its pid now names a process started after the file was
  // written, that is someone else.
  auto unrelated = Child::Fork(Ready, Nothing);
  ASSERT_EQ(unrelated->Report(), 'r');
  folder_.Write("GameWindow.window", std::to_string(unrelated->pid));
  EXPECT_EQ(plat::FindRegisteredWindowOwner("GameWindow"), unrelated->pid);
  fs::last_write_time(file, fs::last_write_time(file) - std::chrono::minutes(5));
  EXPECT_EQ(plat::FindRegisteredWindowOwner("GameWindow"), std::nullopt);
}

TEST_F(InstanceTest, RegistrationFileIsReadStrictly) {
  const fs::path file = dir_ / "W.window";
  const std::string live = std::to_string(::getppid());  // alive and not us
  for (const std::string& ok : {live, live + "\n"})
    EXPECT_EQ((folder_.Write("W.window", ok), plat::FindRegisteredWindowOwner("W")), ::getppid());
  for (const std::string& bad :
       {std::string(), std::string("\n"), "x" + live, live + "a", "-" + live, "+" + live, " " + live,
        live + " ", "0" + live, std::string("0"), live + "\n\n", std::string("2147483648"),
        std::string(33, '1'), live + std::string(1 << 20, ' ')}) {
    SCOPED_TRACE(testing::PrintToString(bad.substr(0, 40)));
    folder_.Write("W.window", bad);
    EXPECT_EQ(plat::FindRegisteredWindowOwner("W"), std::nullopt);
  }
  fs::remove(file);
  fs::create_directory(file);
  EXPECT_EQ(plat::FindRegisteredWindowOwner("W"), std::nullopt);
  fs::remove(file);
  ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);  // must not wait for a writer
  EXPECT_EQ(plat::FindRegisteredWindowOwner("W"), std::nullopt);
}

class TerminateTest : public ::testing::TestWithParam<plat::Termination (*)(pid_t, uint32_t)> {};

TEST_P(TerminateTest, OrderlyCloseThenKillAfterTheGrace) {
  // One that obeys the orderly close ends by it, long before its grace.
  // One that ignores it, or is stopped (the request waits until it runs
  // again), is killed after the grace, and has ended by the time the call
  // returns. Each is told apart in what the call answers.
  using plat::Termination;
  const struct {
    char (*before)();
    bool stopped;
    uint32_t grace;
    int flags, signal;
    Termination ended;
  } cases[] = {
      {Ready, false, 0x7FFFFFFF, 0, SIGTERM, Termination::kClosed},
      {[] { return ::signal(SIGTERM, SIG_IGN), 'r'; }, false, 300, WNOHANG, SIGKILL, Termination::kKilled},
      {Ready, true, 300, WNOHANG, SIGKILL, Termination::kKilled},
  };
  for (const auto& c : cases) {
    auto child = Child::Fork(c.before, Nothing);
    ASSERT_EQ(child->Report(), 'r');
    if (c.stopped) {
      ASSERT_EQ(::kill(child->pid, SIGSTOP), 0);
      int status = 0;
      ASSERT_EQ(::waitpid(child->pid, &status, WUNTRACED), child->pid);
      ASSERT_TRUE(WIFSTOPPED(status)) << status;
    }
    EXPECT_EQ(GetParam()(child->pid, c.grace), c.ended);
    const int status = child->Wait(c.flags);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << status;
  }

  auto gone = Child::Fork(Ready, Nothing);
  gone->Release(), gone->Wait();
  EXPECT_EQ(GetParam()(gone->pid, 300), Termination::kNotReached);
}

// 0: through a pidfd, 1: by polling.
INSTANTIATE_TEST_SUITE_P(PidfdAndPolling, TerminateTest,
                         ::testing::Values(plat::TerminateProcessOrderly, plat::instance_detail::TerminateProcessByPolling));

// A datagram socket bound in `folder`, through the folder's descriptor as the
// sender does when the path is too long for sun_path.
struct Listener {
  int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  int folder;
  bool bound;
  Listener(const fs::path& in, const char* name) : folder(::open(in.c_str(), O_PATH | O_CLOEXEC)) {
    sockaddr_un address{AF_UNIX, {}};
    const std::string path = "/proc/self/fd/" + std::to_string(folder) + "/" + name;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~Listener() { ::close(fd), ::close(folder); }
  std::vector<unsigned char> Receive() {
    std::vector<unsigned char> buffer(1 << 17);
    buffer.resize(std::max<ssize_t>(0, ::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT)));
    return buffer;
  }
};

TEST_F(InstanceTest, EditorNotificationArrivesByteExact) {
  fs::path deep = dir_;  // long enough to need the detour through the descriptor
  while (deep.string().size() < 120) deep /= "long-folder-name";
  for (const fs::path& folder : {dir_, deep}) {
    env_.Set("PELMORA_RUNTIME_DIR", folder.string());
    ASSERT_EQ(plat::RuntimeDirectory(), folder.string());
    Listener editor(folder, "エディタ.sock");
    ASSERT_TRUE(editor.bound);

    const unsigned char payload[] = {'s', 't', 'g', 0, 0xFF, 0x80};
    ASSERT_TRUE(plat::SendEditorNotification("エディタ", 0x0102030405060708, 0xA1B2C3D4, payload, 6));
    EXPECT_EQ(editor.Receive(), std::vector<unsigned char>({8, 7, 6, 5, 4, 3, 2, 1, 0xD4, 0xC3, 0xB2, 0xA1, 6, 0, 0,
                                                            0, 's', 't', 'g', 0, 0xFF, 0x80}));
    ASSERT_TRUE(plat::SendEditorNotification("エディタ", 0, 7, nullptr, 0));
    EXPECT_EQ(editor.Receive(), std::vector<unsigned char>({0, 0, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(plat::SendEditorNotification("エディタ", 0, 0, nullptr, 4));  // bytes missing
    EXPECT_TRUE(editor.Receive().empty());
  }
}

TEST_F(InstanceTest, EditorNotificationWithoutListenerFailsAtOnce) {
  EXPECT_FALSE(plat::SendEditorNotification("Nobody", 1, 2, "x", 1));
  { ASSERT_TRUE(Listener(dir_, "Gone.sock").bound); }
  ASSERT_TRUE(fs::exists(dir_ / "Gone.sock"));  // the file outlives its socket
  EXPECT_FALSE(plat::SendEditorNotification("Gone", 1, 2, "x", 1));

  // An editor that does not read: its queue fills and later sends are
  // dropped (a send that waited for room would hang here).
  Listener busy(dir_, "Busy.sock");
  const std::vector<char> chunk(4000, 'z');
  int dropped = 0;
  for (int i = 0; i < 200; ++i) dropped += !plat::SendEditorNotification("Busy", i, 0, chunk.data(), 4000);
  EXPECT_GT(dropped, 0);
}

TEST(TerminationSignals, SignalsBecomeARequestTakenOnce) {
  plat::InstallTerminationHandlers();
  plat::TakeTerminationRequest();
  for (int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    EXPECT_FALSE(plat::TerminationRequested());
    ASSERT_EQ(::raise(signal), 0);  // and the process lives on
    EXPECT_TRUE(plat::TerminationRequested());  // looking does not take it
    EXPECT_TRUE(plat::TakeTerminationRequest());
    EXPECT_FALSE(plat::TerminationRequested());
    EXPECT_FALSE(plat::TakeTerminationRequest());
  }
  plat::RaiseTerminationRequest();
  EXPECT_TRUE(plat::TakeTerminationRequest());

  int fds[2];  // a write nobody reads fails with EPIPE instead of ending us
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  ::close(fds[0]);
  EXPECT_EQ(::write(fds[1], "x", 1), -1);
  EXPECT_EQ(errno, EPIPE);
  ::close(fds[1]);
}

}  // namespace

namespace {

// The keyboard handed back to a running copy: a request its handler takes
// once; a process that does not listen (the signal is ignored by default)
// lives on; we never hand it to ourselves, and a process that has gone is
// not reached.
TEST(KeyboardHandBack, ARequestTakenOnceThatHarmsNoProcessThatDoesNotListen) {
  plat::InstallTerminationHandlers();
  plat::TakeKeyboardHandedBack();
  ASSERT_EQ(::raise(SIGURG), 0);
  EXPECT_TRUE(plat::TakeKeyboardHandedBack());
  EXPECT_FALSE(plat::TakeKeyboardHandedBack());
  EXPECT_FALSE(plat::HandKeyboardBack(::getpid()));
  EXPECT_FALSE(plat::TakeKeyboardHandedBack());

  struct Row {
    const char* what;
    char (*before)();
    int exitCode;  // 7: the request was taken, 0: nothing was listening
  };
  const Row rows[] = {
      {"a copy that listens", [] { return plat::InstallTerminationHandlers(), plat::TakeKeyboardHandedBack(), 'r'; }, 7},
      {"a process that does not", [] { return ::signal(SIGURG, SIG_DFL), 'r'; }, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    auto child = Child::Fork(row.before, [] {
      if (plat::TakeKeyboardHandedBack()) ::_exit(7);
    });
    ASSERT_EQ(child->Report(), 'r');
    EXPECT_TRUE(plat::HandKeyboardBack(child->pid));
    child->Release();
    const int status = child->Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == row.exitCode) << status;
    EXPECT_FALSE(plat::HandKeyboardBack(child->pid));  // gone
  }
}

}  // namespace
