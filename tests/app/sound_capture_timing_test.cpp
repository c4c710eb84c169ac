// The mix `pelmora-tool play --sound` captures is the game's, however late a
// busy machine lets the MIDI player's thread run. The run plays in this
// process with that thread held, when it starts and at every callback, until
// the pull of the mix that needs it waits for it with no deadline: as late as
// it can be without the capture going on past it, and later than any
// deadline a wait could give up at (a pull that gave up would go on without
// the player, and the tune would drop out). The title's tune still starts in
// the first frame, and each round of it in the frame after the one its last
// round ended in.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/headless_play.h"
#include "audio/midi_stream.h"
#include "platform/audio_mixer.h"
#include "platform/midi_stream_device.h"
#include "platform/soft_draw.h"
#include "platform/threads.h"
#include "support/audio_fixtures.h"
#include "support/captured_mix.h"
#include "support/project_files.h"
#include "support/sandbox.h"

namespace {

using namespace fixtures;

constexpr uint32_t kFrames = 100;

// A tune shorter than the run, looping as the demo's title music does: a
// 0.16 s note, the song ending at 0.36 s (16078 samples, inside the 22nd
// frame's). The end asks the player to start the song again, which it has
// done by the next frame: each round begins 22 frames after the one before.
std::string ShortLoopingTune() {
  return Smf(0, 1, 96,
             Track(Vlq(0) + Tempo(500000) + Vlq(0) + Bytes({0xC0, 0}) + Vlq(0) + Bytes({0x90, 67, 110}) + Vlq(30) +
                   Bytes({0x80, 67, 0}) + Vlq(40) + EndOfTrack()));
}

// The player's thread waits here until a pull of the mix waits for it
// without a deadline (or it is told to end, when the player closes).
void HoldUntilAPullWaits(MidiPlayerPoint) {
  while (plat::MidiCallbackWaiters() == 0) {
    plat::SafePoint();
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
}

class ScopedPlayerHook {
 public:
  explicit ScopedPlayerHook(MidiPlayerHook hook) { SetMidiPlayerHookForTest(hook); }
  ~ScopedPlayerHook() { SetMidiPlayerHookForTest(nullptr); }
  ScopedPlayerHook(const ScopedPlayerHook&) = delete;
  ScopedPlayerHook& operator=(const ScopedPlayerHook&) = delete;
};

// The frames (from 1) in which a round of the tune begins: the first, and
// each one at least four times as loud as the frame before it.
std::vector<uint32_t> RoundStarts(const CapturedMix& mix, uint32_t frames) {
  std::vector<uint32_t> starts;
  for (uint32_t f = 1; f <= frames; ++f) {
    const double level = MixRms(mix, f, f);
    if (level > 100.0 && (f == 1 || level > 4 * MixRms(mix, f - 1, f - 1))) starts.push_back(f);
  }
  return starts;
}

TEST(SoundCaptureTimingTest, APlayerThreadHeldUntilThePullWaitsForItStillStartsEachRoundOnTime) {
  if (!plat::MidiSynthReady()) GTEST_SKIP() << "no SoundFont installed";
  const int cursorCount = plat::CursorDisplayCount();
  TempFolder folder{"capture"};
  WriteMinimalProject(folder.Path());
  folder.Write("bgm/Title.mid", ShortLoopingTune());
  folder.Write("run/.keep", "");
  ScopedWorkingFolder working(folder.Path());
  ScopedEnv env;
  env.Set("PELMORA_RUNTIME_DIR", folder / "run").Unset("PELMORA_DIALOG_ANSWERS");

  HeadlessPlayOptions options;
  options.frames = kFrames;
  options.soundPath = folder / "held.wav";
  HeadlessPlayResult result;
  {
    ScopedPlayerHook hold(HoldUntilAPullWaits);
    result = RunHeadlessPlay(options);
  }
  RestoreCursorCount(cursorCount);
  ASSERT_EQ(result.exitCode, 0) << result.error;
  const CapturedMix held = ReadCapturedMix(folder / "held.wav");
  ASSERT_EQ(held.samples.size(), size_t{kFrames} * kMixFramesPerGameFrame * plat::kMixChannels);
  // The title asks for its tune in its first frame.
  EXPECT_EQ(RoundStarts(held, kFrames), (std::vector<uint32_t>{1, 23, 45, 67, 89}));
}

}  // namespace
