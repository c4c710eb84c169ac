#include "support/harness.h"

#include <chrono>

#include "app/winmain.h"
#include "base/logs.h"
#include "base/program.h"
#include "base/timers.h"
#include "data/settings.h"
#include "gfx/dd.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "platform/soft_draw.h"
#include "support/project_files.h"

namespace {

// Only a hang ends a wait: the game's own time is the virtual clock, so how
// long the machine takes to get there does not matter.
constexpr auto kHang = std::chrono::seconds(60);

template <class Done>
bool WaitUntil(Done done) {
  const auto deadline = std::chrono::steady_clock::now() + kHang;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    // Time moves only while every thread on the virtual clock waits for it:
    // the sleepers an advance wakes are no longer counted, so the next
    // advance comes once they have done their work and slept again.
    if (plat::VirtualClockActive() && plat::VirtualClockSleepers() > 0)
      plat::AdvanceVirtualClock(1);
    else
      std::this_thread::yield();
  }
  return true;
}

// The globals a game run leaves behind.
void ResetGameState() {
  g_bStartupComplete = 0;
  g_bActive = 0;
  g_bEditor = 0;
  g_hMainWnd = 0;
  SetQuitHandler(nullptr);  // the entry point's handler would post to no window, into the caller's queue
  GameSettings = GameSettingsRecord{};
  ResetSceneManagerForTest();
  ResetTimersForTest();
  ResetLogsForTest();
  DDResetForTest();
}

}  // namespace

uint32_t TestScenePaletteNumber(uint32_t run) { return 16 + run % 192; }

uint32_t TestSceneColour(uint32_t run) {
  const auto& entry = DDState.DDPalette[TestScenePaletteNumber(run)];
  return 0xFF000000u | (uint32_t{entry.peRed} << 16) | (uint32_t{entry.peGreen} << 8) | entry.peBlue;
}

int TestScene::Run() {
  ++runs;
  DDFillRect(DDBackBuffer(), 0, 0, 640, 480, TestScenePaletteNumber(runs));
  if (onRun_) onRun_(*this);
  return 0;
}

GameHarness::GameHarness() : GameHarness(Options{}) {}

GameHarness::GameHarness(Options options)
    : options_(std::move(options)), folder_("harness"), working_(folder_.Path()),
      cursorCount_(plat::CursorDisplayCount()) {
  if (options_.writeProject) WriteMinimalProject(folder_.Path(), options_.iniLines);
  folder_.Write("run/.keep", "");
  env_.Set("PELMORA_RUNTIME_DIR", folder_ / "run");
  env_.Set("PELMORA_DIALOG_LOG", folder_ / "dialogs.log");
  if (options_.dialogAnswers.empty())
    env_.Unset("PELMORA_DIALOG_ANSWERS");
  else
    env_.Set("PELMORA_DIALOG_ANSWERS", options_.dialogAnswers);
  ResetGameState();
  auto host = plat::MakeHeadlessWindowHost();
  host_ = host.get();
  plat::SetWindowHost(std::move(host));
  plat::SetVerticalBlankWait(true);  // the frame step is paced by it
  plat::UseVirtualClock(options_.virtualClock, 1000);
}

GameHarness::~GameHarness() {
  if (mainThread_.joinable()) {
    if (!returned_.load()) Close();
    if (returned_.load())
      mainThread_.join();
    else
      mainThread_.detach();  // hung: the test has failed already
  }
  plat::UseVirtualClock(false);
  plat::ClearMainThread();
  plat::SetWindowHost(nullptr);
  ResetGameState();
  RestoreCursorCount(cursorCount_);
}

bool GameHarness::Start() {
  mainThread_ = std::thread([this] {
    exitCode_.store(WinMain(options_.commandLine.c_str(), 1));
    returned_.store(true);
  });
  WaitUntil([this] { return returned_.load() || (g_bStartupComplete.load() && g_bActive.load()); });
  return !returned_.load() && g_bStartupComplete.load() && g_bActive.load();
}

bool GameHarness::Running() const { return mainThread_.joinable() && !returned_.load(); }

uint32_t GameHarness::FrameCounter() const { return g_nFrameCounter.load(); }

bool GameHarness::StepFrames(uint32_t frames) {
  // A frame counts once it has been presented.
  const uint64_t target = FramesPresented() + frames;
  return WaitUntil([&] { return returned_.load() || FramesPresented() >= target; }) && !returned_.load();
}

void GameHarness::PressKey(int virtualKey) { host_->InjectKey(virtualKey, true); }
void GameHarness::ReleaseKey(int virtualKey) { host_->InjectKey(virtualKey, false); }

uint64_t GameHarness::FramesPresented() const { return host_->FramesPresented(); }
bool GameHarness::LastFrame(plat::Frame& out) const { return host_->LastFrame(out); }

int GameHarness::WaitForExit() {
  if (!mainThread_.joinable()) return exitCode_.load();
  if (!WaitUntil([this] { return returned_.load(); })) return -1;
  mainThread_.join();
  return exitCode_.load();
}

int GameHarness::Close() {
  if (Running()) host_->InjectMessage(plat::WM_CLOSE, plat::kCloseWithoutAsking, 0);
  return WaitForExit();
}
