#include "app/headless_play.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/headless_run.h"
#include "app/winmain.h"
#include "base/logs.h"
#include "data/wave_header.h"
#include "data/key_config.h"
#include "platform/audio_device.h"
#include "platform/audio_mixer.h"
#include "platform/midi_stream_device.h"
#include "platform/safe_write.h"
#include "platform/window_host.h"
#include "play/world/stage_draw.h"
#include "scene/frame_trace.h"

namespace {

// Game frames come 60 a second: each brings this many sample frames of the mix.
constexpr int kMixFramesPerGameFrame = plat::kMixRate / 60;
static_assert(kMixFramesPerGameFrame * 60 == plat::kMixRate, "a whole number of sample frames a game frame");
// A WAV's sizes are 32 bits: the RIFF size counts 36 bytes of header before the data.
constexpr uint64_t kMaxWaveDataBytes = 0xFFFFFFFFull - 36;
constexpr uint64_t kCaptureBytesPerGameFrame = uint64_t{kMixFramesPerGameFrame} * plat::kMixChannels * 2;

// The mix a player hears, captured: after each frame is presented, the
// presenting thread pulls that frame's share of the global mixer (sound
// effects, the Ogg stream, the MIDI synthesiser) as 16-bit samples, the
// conversion the mixer makes. What the frame asked for is in it: sound and
// music requests are sent to the main thread, which has served them (a
// tune's player made, its buffers queued) before the game thread goes on to
// present. The MIDI stream device times its events by the samples pulled,
// so the tune moves on with the game's frames; after each pull the thread
// waits, however long that takes, for the MIDI player to have handled the
// device's callbacks (a buffer refilled, the song looped), as a player
// running beside a real device would have by the next frame. So a busy
// machine that is late to run a thread changes when the file is done, never
// what it holds. The samples go through the writer of platform/safe_write.h
// to a temporary file beside the target; Finish writes the sizes and puts it
// in place, Discard (or the destructor) removes it. A device or a pipe is
// written in place: its header, written first, holds the sizes of every
// frame asked for.
class SoundCapture {
 public:
  SoundCapture(std::string path, std::string shown) : path_(std::move(path)), shown_(std::move(shown)) {}
  ~SoundCapture() { Discard(); }
  SoundCapture(const SoundCapture&) = delete;
  SoundCapture& operator=(const SoundCapture&) = delete;

  // False (and `error`) when the file cannot be made or the run would be too
  // long for a WAV's sizes.
  bool Open(uint32_t gameFrames, std::string& error) {
    const uint64_t dataBytes = uint64_t{gameFrames} * kCaptureBytesPerGameFrame;
    if (dataBytes > kMaxWaveDataBytes) {
      error = "the sound file " + shown_ + " cannot be written: a WAV file holds at most " +
              std::to_string(kMaxWaveDataBytes / kCaptureBytesPerGameFrame) + " frames of the game";
      return false;
    }
    std::string why = file_.Open(path_);
    const std::string header = PcmWaveHeader(plat::kMixChannels, plat::kMixRate, static_cast<uint32_t>(dataBytes));
    if (why.empty() && !file_.Write(header.data(), header.size())) why = file_.Commit();
    if (!why.empty()) {
      error = Unwritable(why);
      Discard();
      return false;
    }
    return true;
  }

  // Presenting thread: one game frame of the mix (nothing once anything
  // failed); false when it could not be written.
  bool CaptureFrame() {
    if (failed_) return false;
    plat::GlobalMixer().RenderS16(samples_.data(), kMixFramesPerGameFrame);
    plat::WaitMidiCallbacksHandled();
    bytes_.clear();
    for (int16_t s : samples_) {
      const auto u = static_cast<uint16_t>(s);
      bytes_.push_back(static_cast<char>(u & 0xFF));
      bytes_.push_back(static_cast<char>(u >> 8));
    }
    if (!file_.Write(bytes_.data(), bytes_.size())) {
      failed_ = true;
      return false;
    }
    dataBytes_ += bytes_.size();
    return true;
  }

  // Completes the file under its name; false (and `error`, nothing left
  // behind) when it cannot be.
  bool Finish(std::string& error) {
    // The sizes, now that they are known (a device or a pipe keeps those
    // of its header, written first).
    if (!failed_ && !file_.InPlace()) {
      const std::string header =
          PcmWaveHeader(plat::kMixChannels, plat::kMixRate, static_cast<uint32_t>(dataBytes_));
      file_.Overwrite(0, header.data(), header.size());
    }
    const std::string why = file_.Commit();  // says why a write failed, and removes what was written
    if (!why.empty()) {
      error = Unwritable(why);
      return false;
    }
    return true;
  }

  void Discard() { file_.Discard(); }

 private:
  std::string Unwritable(const std::string& why) const {
    return "the sound file " + shown_ + " cannot be written (" + why + ")";
  }

  const std::string path_;
  const std::string shown_;  // as the messages name it
  plat::SafeFile file_;
  bool failed_ = false;  // presenting thread during the run, the caller after it
  uint64_t dataBytes_ = 0;
  std::vector<int16_t> samples_ = std::vector<int16_t>(size_t{kMixFramesPerGameFrame} * plat::kMixChannels);
  std::string bytes_;
};

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
  static constexpr PlayKeySet kEsc = PlayKeySet{1} << kPlayEsc;

 public:
  PlayObserver(const HeadlessPlayOptions& options, HeadlessRun& run, plat::SafeFile* trace, SoundCapture* sound)
      : options_(options), run_(run), trace_(trace), sound_(sound), config_(ReadKeyConfiguration()) {}

  // Holds the keys the script gives `frame` (called before that frame polls).
  void ApplyKeys(uint32_t frame) {
    PlayKeySet wanted = frame <= options_.frames ? options_.script.KeysAt(frame) : 0;
    // ESC makes the game window close, from the window's thread: pressed
    // before its frame, the window could close before the game presents
    // that frame, as soon as that thread got to it. It is pressed once the
    // frame that holds it is presented (OnPresented), so the run always
    // ends with that frame.
    if ((wanted & ~held_ & kEsc) != 0 && lastFrame_.load() == 0) {
      lastFrame_.store(frame);
      wanted &= ~kEsc;
    }
    for (int k = 0; k < kPlayKeyCount; ++k) {
      const PlayKeySet bit = PlayKeySet{1} << k;
      if ((wanted & bit) == (held_ & bit)) continue;
      const int code = PlayKeyCode(k, config_);
      if (wanted & bit)
        run_.PressKey(code);
      else
        run_.ReleaseKey(code);
    }
    held_ = wanted;
  }

  void OnPresented() {
    const uint32_t frame = presented_.load() + 1;
    if (frame > options_.frames || Closing()) return;  // frames while the run closes are not part of it
    // A trace or a sound that cannot take its frame (a full disk, a pipe
    // whose reader has gone) ends the run: the failure is kept for the
    // commit, which names it.
    if (trace_) {
      const std::string line = FrameTraceJson(CaptureFrameTrace(frame)) + '\n';
      if (!trace_->Write(line.data(), line.size())) outputFailed_.store(true);
    }
    if (!options_.shotFolder.empty() && options_.every > 0 && frame % options_.every == 0) {
      const std::string why = WriteScreenshot(frame);
      if (!why.empty() && failedShot_.load() == 0) {
        failedShotWhy_ = why;
        failedShot_.store(frame);
      }
    }
    if (sound_ && !sound_->CaptureFrame()) outputFailed_.store(true);
    if (frame == lastFrame_.load()) {
      run_.PressKey(PlayKeyCode(kPlayEsc, config_));
      held_ |= kEsc;
    }
    ApplyKeys(frame + 1);
    presented_.store(frame);
  }

  uint32_t Presented() const { return presented_.load(); }
  // The trace or the sound could not take a frame: the run goes no further.
  bool OutputFailed() const { return outputFailed_.load(); }
  // The frame that held ESC was presented: the game is closing.
  bool Closing() const {
    const uint32_t last = lastFrame_.load();
    return last != 0 && presented_.load() >= last;
  }
  // The first frame whose screenshot could not be written (0: none), and why.
  uint32_t FailedShot() const { return failedShot_.load(); }
  const std::string& FailedShotWhy() const { return failedShotWhy_; }

 private:
  // Frame `frame`'s picture, written whole or not at all; why it could not
  // be (empty when it was).
  std::string WriteScreenshot(uint32_t frame) {
    plat::Frame picture;
    std::string png;
    if (!run_.LastFrame(picture)) return "no frame was presented";
    if (!plat::EncodeFramePng(picture, png)) return "the picture could not be made into a PNG";
    return plat::WriteFileSafely(ScreenshotPath(options_.shotFolder, frame), png);
  }

  const HeadlessPlayOptions& options_;
  HeadlessRun& run_;
  plat::SafeFile* trace_;  // null: no trace is written
  SoundCapture* sound_;  // null: the mix is not captured
  const cKeyConfig config_;
  PlayKeySet held_ = 0;  // presenting thread (and the caller before the first frame)
  std::atomic<uint32_t> presented_{0};
  std::atomic<uint32_t> lastFrame_{0};  // the frame in which ESC went down (0: none)
  std::atomic<uint32_t> failedShot_{0};
  std::atomic<bool> outputFailed_{false};
  std::string failedShotWhy_;  // written once, before failedShot_ is set
};

std::string Named(const HeadlessPlayOptions& options, const std::string& path) {
  return options.nameShown ? options.nameShown(path) : path;
}

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

std::string ScreenshotPath(const std::string& folder, uint32_t frame) {
  return (std::filesystem::path(folder) / ScreenshotName(frame)).string();
}

HeadlessPlayResult RunHeadlessPlay(const HeadlessPlayOptions& options) {
  HeadlessPlayResult result;
  // The trace is written whole or not at all, as the capture is: a trace
  // that could not take every line is removed, and one that stood at its
  // path stays as it was.
  // The screenshot folder first: the other outputs may be written into it.
  if (!options.shotFolder.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(options.shotFolder, ec);
    if (ec) {
      result.exitCode = 1;
      result.error = "cannot make the screenshot folder " + Named(options, options.shotFolder) + ": " + ec.message();
      return result;
    }
  }
  plat::SafeFile trace;
  if (!options.tracePath.empty()) {
    const std::string why = trace.Open(options.tracePath);
    if (!why.empty()) {
      result.exitCode = 1;
      result.error = "the trace " + Named(options, options.tracePath) + " cannot be written (" + why + ")";
      return result;
    }
  }

  std::unique_ptr<SoundCapture> sound;
  if (!options.soundPath.empty()) {
    sound = std::make_unique<SoundCapture>(options.soundPath, Named(options, options.soundPath));
    if (!sound->Open(options.frames, result.error)) {
      result.exitCode = 1;
      return result;
    }
  }

  ScopedAudioPull pull;
  // The observer is unhooked before it goes, once the entry point has
  // returned (Close and WaitForExit wait for it, and the game thread ends
  // before the entry point does), so no frame can reach it afterwards.
  HeadlessRun run(HeadlessRun::Options{true, options.commandLine, options.showCommand});
  PlayObserver observer(options, run, options.tracePath.empty() ? nullptr : &trace, sound.get());
  // Stage play fills its part of each trace line (installing twice is harmless).
  InstallStageTraceFiller();
  observer.ApplyKeys(1);
  SetFramePresentedObserver([&observer] { observer.OnPresented(); });

  if (!run.Start()) {
    result.exitCode = 1;
    run.WaitForExit();
    SetFramePresentedObserver(nullptr);
    result.startReasons = StartFailureReasons();
    // The log holds more (what start-up did before it failed), where it
    // could be made.
    result.error = ReportLogPath().empty() ? "the game did not start"
                                           : "the game did not start (see Report_Game.txt in the project folder)";
    return result;
  }
  const bool finished =
      run.AdvanceUntil([&] {
        return run.Returned() || observer.Closing() || observer.OutputFailed() ||
               observer.Presented() >= options.frames;
      });
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
  // The trace of a run that failed stays: it shows how far the game came.
  if (!options.tracePath.empty()) {
    const std::string why = trace.Commit();
    if (!why.empty()) {
      result.exitCode = 1;
      if (result.error.empty())
        result.error = "the trace " + Named(options, options.tracePath) + " cannot be written (" + why + ")";
    }
  }
  if (const uint32_t shot = observer.FailedShot(); shot != 0) {
    result.exitCode = 1;
    if (result.error.empty())
      result.error = "the screenshot " + Named(options, ScreenshotPath(options.shotFolder, shot)) +
                     " cannot be written (" + observer.FailedShotWhy() + ")";
  }
  if (sound) {
    std::string error;
    if (result.exitCode != 0) {
      sound->Discard();  // a failed run leaves no capture
    } else if (!sound->Finish(error)) {
      result.exitCode = 1;
      result.error = error;
    }
  }
  return result;
}
