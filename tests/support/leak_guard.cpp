// Fails a test that leaves process-wide state behind for the next one: the
// whole test binary runs as one process in any order (--gtest_shuffle), so
// the working folder, the environment, the virtual clock, the main-thread
// mark, the cursor count and the mix must be as the test found them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <string>

#include "platform/audio_mixer.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "platform/soft_draw.h"

extern char** environ;

namespace {

struct ProcessState {
  std::string folder;
  std::map<std::string, std::string> environment;
  bool virtualClock = false;
  plat::ThreadId mainThread = 0;
  int cursorCount = 0;
};

ProcessState Capture() {
  ProcessState s;
  char cwd[4096];
  s.folder = getcwd(cwd, sizeof cwd) ? cwd : "";
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const size_t eq = entry.find('=');
    s.environment[entry.substr(0, eq)] = eq == std::string::npos ? "" : entry.substr(eq + 1);
  }
  s.virtualClock = plat::VirtualClockActive();
  s.mainThread = plat::MainThreadId();
  s.cursorCount = plat::CursorDisplayCount();
  return s;
}

// Nothing may still sound: no voice plays and a block of the mix is silent.
bool MixIsSilent() {
  if (plat::GlobalMixer().PlayingVoices() != 0) return false;
  float block[2 * 256];
  plat::GlobalMixer().Render(block, 256);
  for (float v : block)
    if (v != 0.0f) return false;
  return true;
}

class LeakGuard : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo&) override { before_ = Capture(); }
  // Runs before the result printer's OnTestEnd (listeners end in reverse
  // order), so its failures count for the test that just ran.
  void OnTestEnd(const testing::TestInfo&) override {
    const ProcessState after = Capture();
    EXPECT_EQ(after.folder, before_.folder) << "the test leaves the working folder changed";
    for (const auto& [name, value] : after.environment) {
      auto it = before_.environment.find(name);
      if (it == before_.environment.end())
        ADD_FAILURE() << "the test leaves " << name << "=" << value << " in the environment";
      else if (it->second != value)
        ADD_FAILURE() << "the test leaves " << name << " changed to " << value;
    }
    for (const auto& [name, value] : before_.environment)
      if (after.environment.count(name) == 0) ADD_FAILURE() << "the test removes " << name;
    EXPECT_EQ(after.virtualClock, before_.virtualClock) << "the test leaves the virtual clock switched";
    EXPECT_EQ(after.mainThread, before_.mainThread) << "the test leaves another thread marked as the main one";
    EXPECT_EQ(after.cursorCount, before_.cursorCount) << "the test leaves the cursor count changed";
    EXPECT_TRUE(MixIsSilent()) << "the test leaves sound playing";
  }
  ProcessState before_;
};

const bool g_installed = [] {
  testing::UnitTest::GetInstance()->listeners().Append(new LeakGuard);
  return true;
}();

}  // namespace
