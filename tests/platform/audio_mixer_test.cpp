#include "platform/audio_mixer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

plat::WaveFormat Format(uint16_t channels, uint32_t rate, uint16_t bits) {
  plat::WaveFormat f;
  f.formatTag = plat::kWaveFormatPcm;
  f.channels = channels;
  f.samplesPerSec = rate;
  f.bitsPerSample = bits;
  f.blockAlign = static_cast<uint16_t>(channels * bits / 8);
  f.avgBytesPerSec = f.blockAlign * rate;
  return f;
}

// `frames` 16-bit frames of one value per channel.
std::vector<uint8_t> Constant16(std::vector<int16_t> values, size_t frames) {
  std::vector<uint8_t> b;
  for (size_t i = 0; i < frames; ++i)
    for (int16_t v : values) b.push_back(static_cast<uint8_t>(v & 0xFF)), b.push_back(static_cast<uint8_t>(v >> 8));
  return b;
}

std::unique_ptr<plat::SoundBuffer> Make(const plat::WaveFormat& f, const std::vector<uint8_t>& data,
                                        plat::AudioMixer& mixer) {
  return plat::SoundBuffer::Create(f, data.data(), data.size(), mixer);
}

std::vector<float> Render(plat::AudioMixer& mixer, int frames) {
  std::vector<float> out(static_cast<size_t>(frames) * 2);
  mixer.Render(out.data(), frames);
  return out;
}

TEST(AudioMixerTest, VolumesInHundredthsOfADecibelGiveKnownGains) {
  EXPECT_EQ(plat::GainFromHundredthsDb(-10000), 0.0);  // silence, not 10^-5
  EXPECT_NEAR(plat::GainFromHundredthsDb(-150), 0.841395, 1e-6);

  plat::AudioMixer mixer;
  auto buffer = Make(Format(1, 44100, 16), Constant16({16384}, 1000), mixer);
  ASSERT_TRUE(buffer);
  buffer->SetVolume(-600);
  buffer->SetPan(-2000);  // right side 20 dB down
  buffer->Play(false);
  auto out = Render(mixer, 10);
  EXPECT_NEAR(out[0], 0.5 * 0.501187, 1e-5);  // -6 dB
  EXPECT_NEAR(out[1], 0.5 * 0.501187 * 0.1, 1e-5);
  buffer->SetVolume(-20000);  // clamped
  EXPECT_EQ(buffer->GetVolume(), -10000);
  EXPECT_EQ(Render(mixer, 10)[0], 0.0f);
}

TEST(AudioMixerTest, EightBitIsUnsignedAndStereoKeepsItsSides) {
  plat::AudioMixer mixer;
  auto a = Make(Format(1, 44100, 8), std::vector<uint8_t>(100, 192), mixer);  // 64 above the midpoint: half scale
  ASSERT_TRUE(a);
  a->Play(false);
  auto out = Render(mixer, 4);
  EXPECT_FLOAT_EQ(out[0], 0.5f);
  EXPECT_FLOAT_EQ(out[1], 0.5f);
  a->Stop();
  auto b = Make(Format(2, 44100, 16), Constant16({8192, -16384}, 50), mixer);
  ASSERT_TRUE(b);
  b->Play(false);
  out = Render(mixer, 4);
  EXPECT_FLOAT_EQ(out[2], 0.25f);
  EXPECT_FLOAT_EQ(out[3], -0.5f);
}

TEST(AudioMixerTest, RatesAreResampledAndOneShotsEnd) {
  plat::AudioMixer mixer;
  auto buffer = Make(Format(1, 22050, 16), Constant16({10000}, 1000), mixer);
  ASSERT_TRUE(buffer);
  buffer->Play(false);
  auto out = Render(mixer, 2100);
  EXPECT_NE(out[2 * 1990], 0.0f);  // 1000 frames at 22050 Hz last 2000 frames of the mix
  EXPECT_EQ(out[2 * 2001], 0.0f);
  EXPECT_TRUE(!buffer->IsPlaying() && mixer.PlayingVoices() == 0);
  // At twice the rate it lasts half as long.
  buffer->SetFrequency(44100);
  buffer->SetCurrentPosition(0);
  buffer->Play(false);
  out = Render(mixer, 1100);
  EXPECT_NE(out[2 * 990], 0.0f);
  EXPECT_EQ(out[2 * 1001], 0.0f);
  buffer->SetFrequency(0);  // back to the file's own rate
  EXPECT_EQ(buffer->GetFrequency(), 22050u);
}

TEST(AudioMixerTest, FormatsTheMixerCannotPlayAreRefused) {
  auto data = Constant16({1}, 16);
  plat::WaveFormat adpcm = Format(1, 22050, 16), misaligned = adpcm;
  adpcm.formatTag = 2;
  misaligned.blockAlign = 4;
  // Not PCM, three channels, 24 bits, no rate, a "fmt " under 16 bytes, a
  // block size that is not the frame's.
  for (const plat::WaveFormat& f :
       {adpcm, Format(3, 22050, 16), Format(1, 22050, 24), Format(1, 0, 16), plat::WaveFormat{}, misaligned})
    EXPECT_FALSE(plat::SoundBuffer::Create(f, data.data(), data.size())) << f.channels << " " << f.bitsPerSample;
  EXPECT_FALSE(plat::SoundBuffer::Create(Format(2, 22050, 16), data.data(), 3));  // under one frame
  auto odd = plat::SoundBuffer::Create(Format(2, 22050, 16), data.data(), 7);     // a partial frame is dropped
  ASSERT_TRUE(odd);
  EXPECT_EQ(odd->SizeBytes(), 4u);
}

TEST(AudioMixerTest, PlaysFromSeveralThreadsWhileTheMixRuns) {
  plat::AudioMixer mixer;
  auto base = Make(Format(1, 11025, 16), Constant16({100}, 64), mixer);
  ASSERT_TRUE(base);
  std::atomic<bool> stop{false};
  std::thread renderer([&] {
    std::vector<float> out(512);
    while (!stop) mixer.Render(out.data(), 256);
  });
  std::vector<std::thread> players;
  for (int t = 0; t < 3; ++t)
    players.emplace_back([&] {
      for (int i = 0; i < 300; ++i) {
        auto dup = base->Duplicate();
        dup->Play(i % 2 == 0);
        dup->SetVolume(-i);
        base->Play(false);
      }
    });
  for (auto& p : players) p.join();
  stop = true;
  renderer.join();
  EXPECT_LE(mixer.PlayingVoices(), 1);  // the duplicates are gone with their owners
}

}  // namespace
