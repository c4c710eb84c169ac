#include "platform/ogg_player.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/audio_device.h"
#include "platform/audio_mixer.h"
#include "platform/modules.h"
#include "platform/ogg_encoder.h"
#include "support/sandbox.h"

namespace {

// A 440 Hz tone at an amplitude of 12000, encoded.
std::string Tone(double seconds, long rate, int channels) {
  const long frames = std::lround(seconds * rate);
  std::vector<int16_t> pcm(static_cast<size_t>(frames) * channels);
  for (long i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
      pcm[static_cast<size_t>(i * channels + c)] = static_cast<int16_t>(12000 * std::sin(2 * M_PI * 440 * i / rate));
  return plat::EncodeOggVorbis(pcm.data(), frames, channels, rate);
}

class OggPlayerTest : public ::testing::Test {
 protected:
  ScopedManualAudioPull pull_;  // made before SetUp, gone after TearDown
  void SetUp() override {
    player_ = plat::CreateOggPlayerObject();
    ASSERT_NE(player_, nullptr);
  }
  void TearDown() override {
    if (player_) player_->Release();
  }
  // Writes the file and loads it.
  bool Load(const std::string& name, const std::string& bytes) { return player_->Load(folder_.Write(name, bytes).c_str()); }
  // Renders until the player stops (at most `limit` frames); frames rendered
  // up to the last non-silent one, and the RMS of the left channel.
  int64_t PlayThrough(int64_t limit, double* rms = nullptr) {
    std::vector<float> block(512);
    int64_t frames = 0, lastSound = 0;
    double sum = 0;
    while (frames < limit && player_->IsPlaying()) {
      plat::GlobalMixer().Render(block.data(), 256);
      for (int i = 0; i < 256; ++i) {
        if (std::fabs(block[2 * i]) > 1e-4f) lastSound = frames + i + 1;
        sum += block[2 * i] * block[2 * i];
      }
      frames += 256;
    }
    if (rms) *rms = std::sqrt(sum / std::max<int64_t>(frames, 1));
    return lastSound;
  }
  TempFolder folder_{"ogg"};
  plat::OggPlayerObject* player_ = nullptr;
};

TEST_F(OggPlayerTest, LoopCountsRepeatAtAnyRateAndVolumeScales) {
  const std::string path = folder_.Write("tone.ogg", Tone(0.5, 22050, 1));  // resampled to the mix
  ASSERT_TRUE(player_->Load(path.c_str()));
  player_->SetLoopCount(2);  // two more times
  player_->SetVolume(0.5f);
  player_->Play();
  double rms = 0;
  EXPECT_NEAR(PlayThrough(10 * 44100, &rms) / 44100.0, 1.5, 0.05);
  EXPECT_NEAR(rms, 0.5 * 12000 / 32768.0 / std::sqrt(2.0), 0.01);

  player_->PrepareLoad();  // the next track starts at full volume
  ASSERT_TRUE(player_->Load(path.c_str()));
  player_->SetLoopCount(plat::kOggLoopForever);
  player_->Play();
  EXPECT_GE(PlayThrough(3 * 44100, &rms), 3 * 44100);
  EXPECT_TRUE(player_->IsPlaying());
  EXPECT_NEAR(rms, 12000 / 32768.0 / std::sqrt(2.0), 0.02);
  player_->Stop();
  EXPECT_FALSE(player_->IsPlaying());
}

TEST_F(OggPlayerTest, DamagedAndForeignFilesFailOrEndCleanly) {
  std::string good = Tone(2.0, 22050, 1);
  ASSERT_GT(good.size(), 4000u);
  EXPECT_FALSE(Load("junk.ogg", "OggS not really"));
  EXPECT_FALSE(player_->Load((folder_ / "missing.ogg").c_str()));
  EXPECT_FALSE(player_->Load(""));
  EXPECT_LT(plat::OggLengthSeconds("RIFF...."), 0);

  // A page in the middle overwritten: the player skips the hole and ends.
  std::string broken = good;
  for (size_t i = broken.size() / 2; i < broken.size() / 2 + 200; ++i) broken[i] = static_cast<char>(i * 37);
  if (Load("broken.ogg", broken)) {
    player_->SetLoopCount(plat::kOggLoopForever);
    player_->Play();
    PlayThrough(44100);
  }
  // Cut short: plays what is there, then stops.
  player_->PrepareLoad();
  if (Load("cut.ogg", good.substr(0, good.size() / 2))) {
    player_->Play();
    EXPECT_LT(PlayThrough(10 * 44100) / 44100.0, 1.9);
    EXPECT_FALSE(player_->IsPlaying());
  }
}

TEST_F(OggPlayerTest, TheBuiltInModuleHandsOutPlayersAndCanBeSwitchedOff) {
  // Found whatever the folder and case of the name.
  plat::ModuleHandle vox = plat::LoadModule("C:\\Game\\VOX.DLL");
  ASSERT_NE(vox, nullptr);
  auto create = reinterpret_cast<plat::OggPlayerObject* (*)()>(plat::GetModuleEntry(vox, "CreateVox"));
  ASSERT_NE(create, nullptr);
  EXPECT_EQ(plat::GetModuleEntry(vox, "Nothing"), nullptr);
  create()->Release();
  EXPECT_EQ(plat::LoadModule("GuruGuruSMF4.dll"), nullptr);
}

}  // namespace
