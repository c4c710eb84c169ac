#include "app/headless_run.h"

#include <chrono>
#include <thread>

#include "app/winmain.h"
#include "base/logs.h"
#include "base/program.h"
#include "base/timers.h"
#include "data/settings.h"
#include "front/front_scenes.h"
#include "gfx/dd.h"
#include "gfx/surface_table.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/frame_hand_over.h"
#include "platform/image_decode.h"
#include "platform/keys.h"
#include "platform/messages.h"
#include "scene/frame_trace.h"
#include "scene/scene.h"

namespace {

// Only a hang ends a wait: the game's own time is the virtual clock, so how
// long the machine takes to get there does not matter. A hang is this long
// without a frame presented (a long scripted play that keeps presenting is
// never one, however slow the build or busy the machine).
constexpr auto kHang = std::chrono::seconds(60);
// The virtual clock starts here, not at 0, so that tick arithmetic that
// subtracts a start time never sees the first tick as "before".
constexpr uint64_t kVirtualStartMs = 1000;

// Waiting for the game to get somewhere: until a thread sleeps on the
// virtual clock, a frame is presented or the entry point returns (each wakes
// the wait), at most this long, so that a condition nothing announces is
// still looked at often. Blocking keeps a processor free for the game.
constexpr uint32_t kProgressWaitUs = 500;

void WaitForProgress() {
  if (plat::VirtualClockActive())
    plat::WaitForVirtualClockWork(kProgressWaitUs);
  else
    std::this_thread::sleep_for(std::chrono::microseconds(kProgressWaitUs));
}

}  // namespace

void ResetGameStateAfterRun() {
  plat::ForgetDecodedAhead();
  g_bStartupComplete = 0;
  g_bActive = 0;
  bFromEditor = 0;
  g_hMainWnd = 0;
  SetQuitHandler(nullptr);  // the entry point's handler would post to no window, into the caller's queue
  GameSettings = GameSettingsRecord{};
  plat::SetEnglishDialogs(false);
  ResetSceneManagerForTest();
  ResetTimersForTest();
  ResetLogsForTest();
  DDResetForTest();
  // A run writes into the game's surface and font tables (picture names,
  // the fonts' glyph mode as the drawing mode decides it): the next run
  // starts from the tables as the program is built with.
  ResetGameSurfaceTablesForTest();
  ResetFrameTraceForTest();
  ResetFrontEndForTest();
}

HeadlessRun::HeadlessRun(Options options) : options_(std::move(options)) {
  ResetGameStateAfterRun();
  plat::ClearKeyStates();
  auto host = plat::MakeHeadlessWindowHost();
  host_ = host.get();
  plat::SetWindowHost(std::move(host));
  plat::SetVerticalBlankWait(true);  // the frame step is paced by it
  plat::UseVirtualClock(options_.virtualClock, kVirtualStartMs);
  // On the virtual clock the game stops between frames until it is let go.
  plat::HoldFramesAtHandOver(options_.virtualClock);
}

HeadlessRun::~HeadlessRun() {
  // A run let go while its game still runs (a test that stopped early) is
  // closed first; a close that ended the game has joined its thread.
  if (mainThread_.joinable() && !returned_.load()) Close();
  plat::HoldFramesAtHandOver(false);  // a game thread left behind is never held
  if (mainThread_.joinable()) {
    if (returned_.load())
      mainThread_.join();
    else
      mainThread_.detach();  // hung: the caller has reported it already
  }
  plat::UseVirtualClock(false);
  plat::ClearMainThread();
  plat::SetWindowHost(nullptr);
  plat::ClearKeyStates();
  ResetGameStateAfterRun();
}

bool HeadlessRun::AdvanceUntil(const std::function<bool()>& done) {
  plat::LetFramesGo(plat::kAllFrames);
  return Drive(done);
}

bool HeadlessRun::Drive(const std::function<bool()>& done) {
  auto deadline = std::chrono::steady_clock::now() + kHang;
  uint64_t presented = FramesPresented();
  while (!done()) {
    if (FramesPresented() != presented) {
      presented = FramesPresented();
      deadline = std::chrono::steady_clock::now() + kHang;
    }
    if (std::chrono::steady_clock::now() > deadline) return false;
    // Time moves only while every thread on the virtual clock waits for it:
    // the sleepers an advance wakes are no longer counted, so the next
    // advance comes once they have done their work and slept again.
    if (plat::VirtualClockActive() && plat::VirtualClockSleepers() > 0)
      plat::AdvanceVirtualClock(1);
    else
      WaitForProgress();
  }
  return true;
}

bool HeadlessRun::Start() {
  mainThread_ = std::thread([this] {
    exitCode_.store(WinMain(options_.commandLine.c_str(), options_.showCommand));
    returned_.store(true);
    plat::WakeVirtualClockDriver();
  });
  // The game thread, once it runs, stops before its first frame.
  Drive([this] { return returned_.load() || (g_bStartupComplete.load() && g_bActive.load()); });
  return !returned_.load() && g_bStartupComplete.load() && g_bActive.load();
}

bool HeadlessRun::Running() const { return mainThread_.joinable() && !returned_.load(); }

bool HeadlessRun::StepFrames(uint32_t frames) {
  if (!plat::HoldingFramesAtHandOver()) {
    // Real time: a frame counts once it has been presented.
    const uint64_t target = FramesPresented() + frames;
    return Drive([&] { return returned_.load() || FramesPresented() >= target; }) && !returned_.load();
  }
  // Until the game thread stands at the hand-over after the last of them.
  const uint64_t stop = plat::LetFramesGo(frames);
  return Drive([&] { return returned_.load() || plat::HeldAtHandOver(stop); }) && !returned_.load();
}

void HeadlessRun::PressKey(int virtualKey) { host_->InjectKey(virtualKey, true); }
void HeadlessRun::ReleaseKey(int virtualKey) { host_->InjectKey(virtualKey, false); }

uint64_t HeadlessRun::FramesPresented() const { return host_->FramesPresented(); }
bool HeadlessRun::LastFrame(plat::Frame& out) const { return host_->LastFrame(out); }

int HeadlessRun::WaitForExit() {
  if (!mainThread_.joinable()) return exitCode_.load();
  if (!AdvanceUntil([this] { return returned_.load(); })) return -1;
  mainThread_.join();
  return exitCode_.load();
}

int HeadlessRun::Close() {
  if (Running()) host_->InjectMessage(plat::WM_CLOSE, plat::kCloseWithoutAsking, 0);
  return WaitForExit();
}
