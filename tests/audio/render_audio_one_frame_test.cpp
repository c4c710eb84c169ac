// pelmora-tool render-audio, run as a process, of the shortest sound the
// mixer plays: a WAV of exactly one sample frame (one sample of each
// channel), in 8 and 16 bits, mono and stereo. It is a sound, not a file
// short of one: the output lasts that frame at the mixer's rate and holds
// its sample, in both channels of a mono sound.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "app/tool_run.h"
#include "support/audio_fixtures.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

using namespace fixtures;

constexpr int kMixRate = 44100;

struct Case {
  const char* name;
  uint16_t channels, bits;
  uint32_t rate;
  std::string frame;         // the one frame's bytes
  int16_t left, right;       // its samples as the mixer's 16-bit values
};

TEST(RenderAudioOneFrameTest, AWaveOfExactlyOneFrameIsPlayed) {
  TempFolder folder("oneframe");
  std::string sixteen, stereo16;
  LE16(sixteen, static_cast<uint16_t>(12000));
  LE16(stereo16, static_cast<uint16_t>(12000)), LE16(stereo16, static_cast<uint16_t>(-8000));
  const Case cases[] = {
      {"mono 16", 1, 16, 44100, sixteen, 12000, 12000},
      {"stereo 16", 2, 16, 44100, stereo16, 12000, -8000},
      // 8-bit samples are unsigned around 128: 200 is +72, 60 is -68 (x 256).
      {"mono 8", 1, 8, 44100, std::string(1, '\xC8'), 72 * 256, 72 * 256},
      {"stereo 8 at half the rate", 2, 8, 22050, std::string{'\xC8', '\x3C'}, 72 * 256, -68 * 256},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.frame.size(), c.channels * c.bits / 8u);
    const std::string in =
        folder.Write("one.wav", Wave(RiffChunk("fmt ", FmtData(1, c.channels, c.rate, c.bits)) + RiffChunk("data", c.frame)));
    const std::string out = folder / "out.wav";
    const ToolRunResult ran = RunToolIn(folder, {"render-audio", in, out});
    ASSERT_EQ(ran.status, 0) << ran.err;
    const std::string wav = Slurp(out);
    ASSERT_GE(wav.size(), 44u);
    ASSERT_EQ(wav.compare(36, 4, "data"), 0);
    // One frame at the sound's rate lasts kMixRate / rate frames of the mix,
    // each a stereo pair.
    const size_t frames = (wav.size() - 44) / 4;
    EXPECT_EQ(frames, static_cast<size_t>(std::ceil(double(kMixRate) / c.rate)));
    for (size_t f = 0; f < frames; ++f) {
      const auto sample = [&](size_t i) {
        return static_cast<int16_t>(static_cast<uint8_t>(wav[44 + 2 * i]) | static_cast<uint8_t>(wav[45 + 2 * i]) << 8);
      };
      EXPECT_NEAR(sample(2 * f), c.left, 1) << f;
      EXPECT_NEAR(sample(2 * f + 1), c.right, 1) << f;
    }
    std::remove(out.c_str());
  }
}

}  // namespace
