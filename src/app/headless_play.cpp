#include "app/headless_play.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/headless_run.h"
#include "data/key_config.h"
#include "platform/audio_device.h"
#include "platform/window_host.h"
#include "play/world/stage_draw.h"
#include "scene/frame_trace.h"

namespace {

// The key configuration the game is about to load, read the same way (a
// missing or unreadable file gives the default keys), so that the script's
// keys are known before the first frame polls them.
cKeyConfig ReadKeyConfiguration() {
  cKeyConfig config;
  if (!LoadKeyConfig("user_data\\KeyConfig.dat", config)) SetDefaultKeys(config);
  return config;
}

// The presenting thread's side of a scripted play: trace line, screenshot
// and the next frame's keys, once per presented frame.
class PlayObserver {
 public:
  PlayObserver(const HeadlessPlayOptions& options, HeadlessRun& run, std::ofstream* trace)
      : options_(options), run_(run), trace_(trace), config_(ReadKeyConfiguration()) {}

  // Holds the keys the script gives `frame` (called before that frame polls).
  void ApplyKeys(uint32_t frame) {
    const PlayKeySet wanted = frame <= options_.frames ? options_.script.KeysAt(frame) : 0;
    for (int k = 0; k < kPlayKeyCount; ++k) {
      const PlayKeySet bit = PlayKeySet{1} << k;
      if ((wanted & bit) == (held_ & bit)) continue;
      const int code = PlayKeyCode(k, config_);
      if (wanted & bit)
        run_.PressKey(code);
      else
        run_.ReleaseKey(code);
    }
    // ESC makes the game window close: how many frames the game still
    // makes while it closes depends on how fast the window's thread gets
    // to it, so the run ends with the frame that holds ESC.
    if ((wanted & ~held_ & (PlayKeySet{1} << kPlayEsc)) != 0 && lastFrame_.load() == 0) lastFrame_.store(frame);
    held_ = wanted;
  }

  void OnPresented() {
    const uint32_t frame = presented_.load() + 1;
    if (frame > options_.frames || Closing()) return;  // frames while the run closes are not part of it
    if (trace_) {
      *trace_ << FrameTraceJson(CaptureFrameTrace(frame)) << '\n';
      if (!*trace_) failed_.store(true);
    }
    if (!options_.shotFolder.empty() && options_.every > 0 && frame % options_.every == 0) {
      plat::Frame picture;
      const std::string path = (std::filesystem::path(options_.shotFolder) / ScreenshotName(frame)).string();
      if (!run_.LastFrame(picture) || !plat::SaveFramePng(picture, path)) failed_.store(true);
    }
    ApplyKeys(frame + 1);
    presented_.store(frame);
  }

  uint32_t Presented() const { return presented_.load(); }
  // The frame that held ESC was presented: the game is closing.
  bool Closing() const {
    const uint32_t last = lastFrame_.load();
    return last != 0 && presented_.load() >= last;
  }
  bool Failed() const { return failed_.load(); }

 private:
  const HeadlessPlayOptions& options_;
  HeadlessRun& run_;
  std::ofstream* trace_;
  const cKeyConfig config_;
  PlayKeySet held_ = 0;  // presenting thread (and the caller before the first frame)
  std::atomic<uint32_t> presented_{0};
  std::atomic<uint32_t> lastFrame_{0};  // the frame in which ESC went down (0: none)
  std::atomic<bool> failed_{false};
};

class ScopedAudioPull {
 public:
  ScopedAudioPull() : previous_(plat::ManualAudioPull()) { plat::SetManualAudioPull(true); }
  ~ScopedAudioPull() { plat::SetManualAudioPull(previous_); }

 private:
  bool previous_;
};

}  // namespace

std::string ScreenshotName(uint32_t frame) {
  char name[32];
  std::snprintf(name, sizeof name, "frame-%06u.png", frame);
  return name;
}

HeadlessPlayResult RunHeadlessPlay(const HeadlessPlayOptions& options) {
  HeadlessPlayResult result;
  std::ofstream trace;
  if (!options.tracePath.empty()) {
    trace.open(options.tracePath, std::ios::binary | std::ios::trunc);
    if (!trace) {
      result.exitCode = 1;
      result.error = "cannot write the trace " + options.tracePath;
      return result;
    }
  }
  if (!options.shotFolder.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(options.shotFolder, ec);
    if (ec) {
      result.exitCode = 1;
      result.error = "cannot make the screenshot folder " + options.shotFolder + ": " + ec.message();
      return result;
    }
  }

  ScopedAudioPull pull;
  // The observer is unhooked before it goes, once the entry point has
  // returned (Close and WaitForExit wait for it, and the game thread ends
  // before the entry point does), so no frame can reach it afterwards.
  HeadlessRun run(HeadlessRun::Options{true, options.commandLine, options.showCommand});
  PlayObserver observer(options, run, options.tracePath.empty() ? nullptr : &trace);
  // Stage play fills its part of each trace line (installing twice is harmless).
  InstallStageTraceFiller();
  observer.ApplyKeys(1);
  SetFramePresentedObserver([&observer] { observer.OnPresented(); });

  if (!run.Start()) {
    result.exitCode = 1;
    result.error = "the game did not start (see Report_Game.txt in the project folder)";
    run.WaitForExit();
    SetFramePresentedObserver(nullptr);
    return result;
  }
  const bool finished =
      run.AdvanceUntil([&] { return run.Returned() || observer.Closing() || observer.Presented() >= options.frames; });
  result.framesPlayed = observer.Presented();
  result.gameEnded = (run.Returned() || observer.Closing()) && result.framesPlayed < options.frames;
  if (!finished) {
    result.exitCode = 1;
    result.error = "the game hung after frame " + std::to_string(result.framesPlayed);
  }
  const int closed = run.Close();
  if (closed < 0 && result.exitCode == 0) {
    result.exitCode = 1;
    result.error = "the game did not close";
  } else if (closed != 0 && result.exitCode == 0) {
    result.exitCode = 1;
    result.error = "a fault ended the game (see Report_Game.txt in the project folder)";
  }
  SetFramePresentedObserver(nullptr);
  observer.ApplyKeys(options.frames + 1);  // lets go of every key
  if (trace.is_open()) trace.flush();
  if (observer.Failed() || (trace.is_open() && !trace)) {
    result.exitCode = 1;
    if (result.error.empty()) result.error = "a trace line or screenshot could not be written";
  }
  return result;
}
