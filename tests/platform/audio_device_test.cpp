#include "platform/audio_device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/audio_mixer.h"
#include "support/sandbox.h"

namespace {

// Counts the frames the mix was pulled for, by whoever pulled it.
class PullCounter final : public plat::AudioSource {
 public:
  void MixInto(float*, int frames) override { frames_ += frames; }
  long Frames() const { return frames_.load(); }

 private:
  std::atomic<long> frames_{0};
};

// Polls for up to 20 s of machine time (a busy machine is slow, never wrong).
template <typename Done>
bool Within20s(Done done) {
  for (int i = 0; i < 2000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return done();
}

// A test that pulls the mix itself reads all of it: a device a test before
// it left open (the dummy driver pulls in real time) would take blocks out
// of the middle of the song it renders.
TEST(AudioDeviceTest, AnOpenDeviceStopsPullingWhileAnotherPullsTheMix) {
  const bool pulled = plat::ManualAudioPull();
  plat::CloseAudioDevice();
  plat::SetManualAudioPull(false);
  ScopedEnv env;
  env.Set("SDL_AUDIODRIVER", "dummy");
  PullCounter counter;
  plat::GlobalMixer().AddSource(&counter);
  ASSERT_TRUE(plat::OpenAudioDevice().open);
  EXPECT_TRUE(Within20s([&] { return counter.Frames() > 0; })) << "the dummy device never pulled the mix";
  {
    ScopedManualAudioPull pull;
    const long before = counter.Frames();
    std::this_thread::sleep_for(std::chrono::milliseconds(250));  // about ten of the device's blocks
    EXPECT_EQ(counter.Frames(), before) << "the device went on pulling";
    std::vector<float> block(2 * 64);
    plat::GlobalMixer().Render(block.data(), 64);
    EXPECT_EQ(counter.Frames(), before + 64);
  }
  const long paused = counter.Frames();
  EXPECT_TRUE(Within20s([&] { return counter.Frames() > paused; })) << "the device did not play on";
  plat::GlobalMixer().RemoveSource(&counter);
  plat::CloseAudioDevice();
  plat::SetManualAudioPull(pulled);
}

}  // namespace
