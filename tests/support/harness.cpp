#include "support/harness.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/winmain.h"
#include "base/logs.h"
#include "base/program.h"
#include "base/timers.h"
#include "data/settings.h"
#include "gfx/dd.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/messages.h"
#include "support/project_files.h"

namespace {

using Clock = std::chrono::steady_clock;

template <class Pred>
bool WaitUntil(Pred pred, uint32_t timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

// Time moves only while every thread on the virtual clock waits for it: the
// sleepers an advance wakes are no longer counted, so the next advance comes
// once they have done their work and slept again.
void AdvanceOneMillisecond() { plat::AdvanceVirtualClock(1); }

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

GameHarness::GameHarness(Options options) : options_(std::move(options)) {
  char cwd[4096];
  previousFolder_ = getcwd(cwd, sizeof cwd) ? cwd : "/";
  char pattern[] = "/tmp/pelmora-harness-XXXXXX";
  folder_ = mkdtemp(pattern);
  chdir(folder_.c_str());
  std::filesystem::create_directory(folder_ + "/run");
  if (options_.writeProject) WriteMinimalProject(folder_, options_.iniLines);
  setenv("PELMORA_RUNTIME_DIR", (folder_ + "/run").c_str(), 1);
  setenv("PELMORA_DIALOG_LOG", (folder_ + "/dialogs.log").c_str(), 1);
  // Sound is mixed but no device is opened: tests pull the mix themselves.
  setenv("PELMORA_AUDIO", "pull", 1);
  if (options_.dialogAnswers.empty())
    unsetenv("PELMORA_DIALOG_ANSWERS");
  else
    setenv("PELMORA_DIALOG_ANSWERS", options_.dialogAnswers.c_str(), 1);
  plat::ResetDialogScript();
  // A fresh game: the globals a previous run in this process left behind.
  g_bStartupComplete = 0;
  g_bActive = 0;
  g_bEditor = 0;
  g_hMainWnd = 0;
  GameSettings = GameSettingsRecord{};
  ResetSceneManagerForTest();
  ResetTimersForTest();
  ResetLogsForTest();
  auto host = plat::MakeHeadlessWindowHost();
  host_ = host.get();
  plat::SetWindowHost(std::move(host));
  plat::UseVirtualClock(options_.virtualClock, 1000);
}

GameHarness::~GameHarness() {
  if (mainThread_.joinable()) {
    if (!returned_.load()) Close();
    if (mainThread_.joinable()) {
      if (returned_.load())
        mainThread_.join();
      else
        mainThread_.detach();
    }
  }
  plat::UseVirtualClock(false);
  chdir(previousFolder_.c_str());
  std::error_code ec;
  std::filesystem::remove_all(folder_, ec);
}

std::string GameHarness::PathOf(const std::string& relative) const { return folder_ + "/" + relative; }

std::string GameHarness::ReadFile(const std::string& relative) const {
  std::ifstream in(PathOf(relative), std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool GameHarness::Start() {
  mainThread_ = std::thread([this] {
    exitCode_.store(WinMain(options_.commandLine.c_str(), options_.showCommand));
    returned_.store(true);
  });
  return WaitUntil([this] { return returned_.load() || (g_bStartupComplete.load() && g_bActive.load()); }, 5000) &&
         !returned_.load();
}

bool GameHarness::Running() const { return mainThread_.joinable() && !returned_.load(); }

uint32_t GameHarness::FrameCounter() const { return g_nFrameCounter.load(); }

bool GameHarness::StepFrames(uint32_t frames) {
  // A frame counts once it has been presented.
  uint64_t target = FramesPresented() + frames;
  auto deadline = Clock::now() + std::chrono::seconds(5);
  while (FramesPresented() < target) {
    if (Clock::now() > deadline || returned_.load()) return false;
    if (plat::VirtualClockSleepers() > 0)
      AdvanceOneMillisecond();
    else
      std::this_thread::yield();
  }
  return true;
}

void GameHarness::PressKey(int virtualKey) { host_->InjectKey(virtualKey, true); }
void GameHarness::ReleaseKey(int virtualKey) { host_->InjectKey(virtualKey, false); }
void GameHarness::Post(uint32_t message, uint64_t wParam, int64_t lParam) {
  host_->InjectMessage(message, wParam, lParam);
}

uint64_t GameHarness::FramesPresented() const { return host_->FramesPresented(); }
bool GameHarness::LastFrame(plat::Frame& out) const { return host_->LastFrame(out); }

int GameHarness::WaitForExit(uint32_t timeoutMs) {
  if (!mainThread_.joinable()) return exitCode_.load();
  // Threads asleep on the virtual clock are kept moving while the game ends.
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!returned_.load()) {
    if (Clock::now() > deadline) return -1;
    if (plat::VirtualClockActive() && plat::VirtualClockSleepers() > 0)
      AdvanceOneMillisecond();
    else
      std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  mainThread_.join();
  return exitCode_.load();
}

int GameHarness::Close(uint32_t timeoutMs) {
  plat::UseVirtualClock(false);
  if (Running()) host_->InjectMessage(plat::WM_CLOSE, plat::kCloseWithoutAsking, 0);
  return WaitForExit(timeoutMs);
}
