// The entry point's own failures before start-up, injected through the
// platform layer: a window host whose window cannot be made, and a running
// copy that cannot be closed. Each shows its message and ends the program
// with the exit code of a failed start, 1, having left no window
// registration and no instance lock behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

#include "app/headless_run.h"
#include "app/winmain.h"
#include "platform/instance.h"
#include "platform/messages.h"
#include "platform/window_host.h"
#include "support/forwarding_window_host.h"
#include "support/sandbox.h"

namespace {

namespace fs = std::filesystem;

// The headless host, except that the game window cannot be made.
class NoWindowHost final : public ForwardingWindowHost {
 public:
  bool Create(plat::WindowHandle, int, int, int, int) override { return false; }
};

class EntryFailureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(sandbox_ / "run");
    env_.Set("PELMORA_RUNTIME_DIR", sandbox_ / "run");
  }

  // The entry point on this thread, as the main thread, over `host`; then
  // what it leaves behind is put back as at the end of a headless run.
  static int RunEntry(std::unique_ptr<plat::WindowHost> host) {
    plat::SetWindowHost(std::move(host));
    const int code = WinMain("", plat::SW_SHOWNORMAL);
    plat::SetMainQueueWaker(nullptr);
    plat::ClearMainThread();
    plat::SetWindowHost(nullptr);
    ResetGameStateAfterRun();
    return code;
  }

  bool Registered() const { return fs::exists(sandbox_ / "run/Pelmora.window"); }

  Sandbox sandbox_{"ok"};
  ScopedEnv env_;
};

TEST_F(EntryFailureTest, AWindowThatCannotBeMadeEndsTheProgramAfterItsMessage) {
  EXPECT_EQ(RunEntry(std::make_unique<NoWindowHost>()), kExitStartFailed);
  EXPECT_NE(sandbox_.DialogLog().find("エラー\tウインドウが生成出来ません！\tok"), std::string::npos)
      << sandbox_.DialogLog();
  EXPECT_EQ(sandbox_.Report().rfind("App : ver 873\n", 0), 0u);
  EXPECT_FALSE(Registered());
  EXPECT_EQ(plat::AcquireInstanceLock("ゲーム"), plat::InstanceLockResult::First) << "the lock was let go";
  plat::ReleaseInstanceLock();
}

std::atomic<pid_t> g_asked{0};

// Ends and reaps a forked process however the test ends.
struct ForkedProcess {
  pid_t pid;
  ~ForkedProcess() {
    if (pid <= 0) return;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
};

// The stand-in for closing a running copy, for a test's length.
struct ScopedProcessTerminator {
  explicit ScopedProcessTerminator(plat::ProcessTerminator terminator) {
    plat::SetProcessTerminatorForTest(terminator);
  }
  ~ScopedProcessTerminator() { plat::SetProcessTerminatorForTest(nullptr); }
};

// The running copy: a process of its own that holds the lock and is
// registered as the owner of the game window; it waits to be killed.
pid_t StartRunningCopy(const Sandbox& sandbox) {
  const std::string lock = sandbox / "run/ゲーム.lock";
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) return -1;
  const pid_t running = fork();
  if (running == 0) {
    const int fd = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    const char held = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'L' : 'X';
    if (write(ready[1], &held, 1) != 1) _exit(1);
    for (;;) pause();
  }
  close(ready[1]);
  char held = 0;
  const bool told = read(ready[0], &held, 1) == 1;
  close(ready[0]);
  if (running > 0 && (!told || held != 'L')) {
    kill(running, SIGKILL);
    waitpid(running, nullptr, 0);
    return -1;
  }
  if (running > 0) sandbox.Write("run/Pelmora.window", std::to_string(running));
  return running;
}

// A second copy whose player asks to close the running one, which does not
// go: the second copy says so and ends, and the running one is left alone.
TEST_F(EntryFailureTest, ARunningCopyThatCannotBeClosedEndsTheSecondCopyAfterItsMessage) {
  const pid_t running = StartRunningCopy(sandbox_);
  ASSERT_GT(running, 0);
  ForkedProcess child{running};
  g_asked = 0;
  ScopedProcessTerminator cannotClose([](pid_t pid, uint32_t) {
    g_asked = pid;
    return plat::Termination::kNotReached;
  });
  sandbox_.Answer("yes;ok");

  EXPECT_EQ(RunEntry(std::make_unique<NoWindowHost>()), kExitStartFailed);
  EXPECT_EQ(g_asked.load(), running);
  const std::string log = sandbox_.DialogLog();
  EXPECT_NE(log.find("二重起動\t既に起動しています。"), std::string::npos) << log;
  EXPECT_NE(log.find("二重起動\tプログラムの終了に失敗しました。\tok"), std::string::npos) << log;
  EXPECT_EQ(sandbox_.Read("run/Pelmora.window"), std::to_string(running)) << "the running copy's registration stays";
  EXPECT_EQ(sandbox_.Report().find("App : ver"), std::string::npos) << "the running copy's log is left alone";
  int status = 0;
  EXPECT_EQ(waitpid(running, &status, WNOHANG), 0) << "the running copy still runs";
}

std::atomic<plat::Termination> g_ended{plat::Termination::kNotReached};

// A second copy that ended the running one writes how in its log, once it
// has one, after its start line: closed when asked, or killed when it did
// not close in its time. (Here the start then fails on its window.)
TEST_F(EntryFailureTest, ASecondCopyWritesHowItEndedTheRunningOne) {
  const struct {
    plat::Termination ended;
    const char* said;  // after "the running copy (process PID) "
  } rows[] = {
      {plat::Termination::kClosed, "closed when asked (SIGTERM)"},
      {plat::Termination::kKilled,
       "did not close within 500 ms of the request (SIGTERM) and was killed (SIGKILL): what it had not saved is "
       "lost"},
      {plat::Termination::kKillPending,
       "did not close within 500 ms of the request (SIGTERM) and was killed (SIGKILL) but had not ended a second "
       "later: what it had not saved is lost"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.said);
    const pid_t running = StartRunningCopy(sandbox_);
    ASSERT_GT(running, 0);
    ForkedProcess child{running};
    g_ended = row.ended;
    ScopedProcessTerminator ends([](pid_t, uint32_t) { return g_ended.load(); });
    sandbox_.Answer("yes;ok");
    EXPECT_EQ(RunEntry(std::make_unique<NoWindowHost>()), kExitStartFailed);
    const std::string report = sandbox_.Report();
    const std::string line =
        "\nSecond copy : the running copy (process " + std::to_string(running) + ") " + row.said + "\n";
    const size_t at = report.find(line);
    EXPECT_NE(at, std::string::npos) << report;
    EXPECT_EQ(report.find(line, at + 1), std::string::npos) << "written twice";
    EXPECT_EQ(report.rfind("App : ver 873\n", 0), 0u) << report;
  }
}

}  // namespace
