// A stop signal ends the run by that signal, whatever its threads were
// doing: a run that comes to its end because the stop threw its files away
// (a write refused) does not end first with a failure of its own.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "platform/safe_write.h"
#include "platform/stop_signals.h"
#include "support/sandbox.h"

namespace {

std::atomic<int> childStep{0};

// In a child process of its own (the signal thread ends a whole process):
// the run's write is refused once the stop is under way, the run comes to
// its end and would exit 0. The stop waits until the run has come past
// FinishUnlessStopped, if it can.
[[noreturn]] void RunStoppedWhileWriting(const std::string& path) {
  plat::HoldStopSignals();
  plat::EndOnStopSignals([](const char*) {
    for (int i = 0; i < 60000 && childStep.load() < 1; ++i) usleep(1000);
    for (int i = 0; i < 300 && childStep.load() < 2; ++i) usleep(1000);
    return std::string();
  });
  ::kill(::getpid(), SIGTERM);
  plat::SafeFile file;
  for (int i = 0; i < 60000 && file.Open(path).empty(); ++i) {
    file.Discard();
    usleep(1000);
  }
  childStep = 1;
  plat::FinishUnlessStopped();
  childStep = 2;
  ::_exit(0);
}

TEST(StopSignalsTest, ARunEndingOnAWriteTheStopRefusedEndsByTheSignal) {
  TempFolder folder("stop");
  const std::string path = folder.Path() + "/out.wav";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) RunStoppedWhileWriting(path);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM)
      << (WIFEXITED(status) ? "exited " + std::to_string(WEXITSTATUS(status)) : "ended otherwise");
}

}  // namespace
