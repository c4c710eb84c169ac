#include "audio/sound.h"

#include <gtest/gtest.h>

#include "support/quit_requests.h"

#include <cmath>
#include <tuple>

#include "platform/audio_device.h"
#include "support/audio_fixtures.h"
#include "support/sandbox.h"

namespace {

using namespace fixtures;

WaveParseResult Parse(const std::string& bytes, WAVEDATA& wave) {
  return ParseWave(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), wave);
}

TEST(WaveReaderTest, FormatChunksOfSixteenAndEighteenBytesAreReadOthersRefused) {
  WAVEDATA wave;
  std::string data = RiffChunk("data", Pcm16({1, 2, 3}));
  EXPECT_EQ(Parse(Wave(RiffChunk("fmt ", FmtData(1, 1, 22050, 16, 16)) + data), wave), WaveParseResult::Ok);
  EXPECT_EQ(std::tuple(wave.format.samplesPerSec, wave.format.blockAlign, wave.samples.size()), std::tuple(22050u, 2u, 6u));
  EXPECT_EQ(Parse(Wave(RiffChunk("fmt ", FmtData(1, 2, 11025, 8, 18)) + data), wave), WaveParseResult::Ok);
  EXPECT_EQ(wave.format.channels, 2u);
  EXPECT_EQ(Parse(Wave(RiffChunk("fmt ", FmtData(0xFFFE, 1, 22050, 16, 40)) + data), wave),
            WaveParseResult::UnsupportedFormat);
  EXPECT_EQ(Parse(Wave(RiffChunk("fmt ", FmtData(2, 1, 22050, 4, 18)) + data), wave), WaveParseResult::NotPcm);
  EXPECT_EQ(Parse(Wave(data), wave), WaveParseResult::NoFormatChunk);
  EXPECT_EQ(Parse("RIFX" + std::string(40, 'a'), wave), WaveParseResult::NotRiffWave);
  EXPECT_EQ(Parse(RiffChunk("RIFF", "AVI " + data), wave), WaveParseResult::NotRiffWave);
  EXPECT_EQ(Parse("", wave), WaveParseResult::NotRiffWave);
}

TEST(WaveReaderTest, LyingAndMisplacedChunksAreBoundedByTheFile) {
  WAVEDATA wave;
  std::string fmt = RiffChunk("fmt ", FmtData(1, 1, 22050, 16));
  // "data" claims a megabyte but holds 6 bytes: cut to what is there.
  std::string lying = Wave(fmt + RiffChunk("data", Pcm16({5, 6, 7}), 1 << 20));
  EXPECT_EQ(Parse(lying, wave), WaveParseResult::Ok);
  EXPECT_EQ(wave.samples.size(), 6u);
  // The RIFF size lies too (0xFFFFFFFF).
  lying.replace(4, 4, std::string(4, '\xFF'));
  EXPECT_EQ(Parse(lying, wave), WaveParseResult::Ok);
  EXPECT_EQ(wave.samples.size(), 6u);
  // Empty data, data before fmt, fmt cut short by the file's end.
  EXPECT_EQ(Parse(Wave(fmt + RiffChunk("data", "")), wave), WaveParseResult::NoData);
  EXPECT_EQ(Parse(Wave(RiffChunk("data", Pcm16({1})) + fmt), wave), WaveParseResult::NoData);
  EXPECT_EQ(Parse(Wave(fmt).substr(0, 30), wave), WaveParseResult::UnsupportedFormat);
  // An odd-sized chunk between them is padded and stepped over.
  EXPECT_EQ(Parse(Wave(fmt + RiffChunk("LIST", "abc") + RiffChunk("data", Pcm16({9}))), wave), WaveParseResult::Ok);
  ASSERT_EQ(wave.samples.size(), 2u);
  EXPECT_EQ(wave.samples[0], 9);
  // A chunk size that runs past the file ends the search for "data".
  EXPECT_EQ(Parse(Wave(fmt + RiffChunk("junk", "xx", 0x7FFFFFF0) + RiffChunk("data", Pcm16({1}))), wave),
            WaveParseResult::NoData);
}

class SoundTest : public ::testing::Test {
 protected:
  ScopedManualAudioPull pull_;  // made before SetUp, gone after TearDown
  void SetUp() override {
    plat::EnsureQueue();
    window_ = plat::CreateWindowEntry([](plat::WindowHandle, uint32_t, uint64_t, int64_t) -> int64_t { return 0; });
    ASSERT_TRUE(DS_Init(window_, 22050, 8, 1));
  }
  void TearDown() override {
    DSRelease();
    g_SoundList.clear();
    g_SoundDescs.clear();
    plat::DestroyWindowEntry(window_);
    plat::Message m;
    while (plat::PeekMessage(m)) {
    }
  }
  std::vector<float> Render(int frames) {
    std::vector<float> out(static_cast<size_t>(frames) * 2);
    plat::GlobalMixer().Render(out.data(), frames);
    return out;
  }
  Sandbox sandbox_;
  plat::WindowHandle window_ = 0;
  QuitRequests quits_;
};

TEST_F(SoundTest, RefusedFilesLogTheReadersMessagesWithTheFileName) {
  auto write = [&](const char* name, const std::string& fmt, const std::string& data) {
    return sandbox_.Write(name, Wave(RiffChunk("fmt ", fmt) + RiffChunk("data", data)));
  };
  std::string adpcm = write("adpcm.wav", FmtData(2, 1, 22050, 4, 18), "abcd");
  std::string empty = write("empty.wav", FmtData(1, 1, 22050, 16), "");
  std::string odd = write("odd.wav", FmtData(1, 3, 22050, 8), "abc");
  cSound a, b, c;
  EXPECT_FALSE(a.Create(adpcm.c_str(), 1, 0));
  EXPECT_FALSE(b.Create(empty.c_str(), 1, 0));
  EXPECT_FALSE(c.Create(odd.c_str(), 1, 0));
  EXPECT_FALSE(a.Created());
  a.Play(0);  // a sound without buffers plays nothing
  std::string report = sandbox_.Report();
  EXPECT_NE(report.find(adpcm + " の読み込みに失敗しました…\nPCM形式以外の形式です。\n本ソフトではPCM形式のみ再生できます。\n"),
            std::string::npos);
  EXPECT_NE(report.find(adpcm + " の読み込みに失敗しました！\n"), std::string::npos);
  // The empty "data" chunk: only the loader's line.
  EXPECT_NE(report.find(empty + " の読み込みに失敗しました！\n"), std::string::npos);
  EXPECT_EQ(report.find(empty + " の読み込みに失敗しました…"), std::string::npos);
  // A format the buffers cannot take: the creation line in the error-check log.
  EXPECT_NE(sandbox_.ErrorCheckLog().find(odd + "生成失敗！\n"), std::string::npos);
}

TEST_F(SoundTest, BuffersPlayInTurnSoOneSoundOverlapsItself) {
  std::vector<int16_t> samples(2205, 8192);  // 0.1 s at 22050 Hz, a quarter of full scale
  std::string path = sandbox_.Write("hit.wav", WavePcm16(1, 22050, samples));
  cSound sound;
  ASSERT_TRUE(sound.Create(path.c_str(), 3, 0));
  EXPECT_EQ(sound.Count(), 3);
  sound.Play(0);
  auto out = Render(1000);
  EXPECT_FLOAT_EQ(out[2 * 999], 0.25f);
  sound.Play(0);  // the second buffer joins the first
  out = Render(1000);
  EXPECT_FLOAT_EQ(out[0], 0.5f);
  sound.Play(0);
  sound.Play(0);  // the fourth play restarts the first buffer from the start
  EXPECT_EQ(sound.Next(), 1);
  EXPECT_TRUE(sound.Buffer(0)->IsPlaying());
  EXPECT_EQ(sound.Buffer(0)->GetCurrentPosition(), 0u);
  out = Render(5000);
  EXPECT_FLOAT_EQ(out[0], 0.75f);             // three voices
  EXPECT_FLOAT_EQ(out[2 * 4409], 0.5f);      // the third and the restarted first last their full 0.1 s
  EXPECT_FLOAT_EQ(out[2 * 4410], 0.0f);
  EXPECT_EQ(plat::GlobalMixer().PlayingVoices(), 0);
}

TEST_F(SoundTest, TheVolumeOptionTableAndRelativeChanges) {
  std::vector<int16_t> samples(4410, 16384);
  std::string path = sandbox_.Write("a.wav", WavePcm16(1, 44100, samples));
  ASSERT_EQ(DSLoadSoundEffects({path, path}, 5), 1);
  EXPECT_NE(sandbox_.ErrorCheckLog().find("DSCreate\n"), std::string::npos);
  EXPECT_EQ(g_SoundList.At(1).GetVolume(0), -500);
  g_SoundList.At(0).Play(0);
  auto out = Render(10);
  EXPECT_NEAR(out[0], 0.5 * std::pow(10.0, -500 / 2000.0), 1e-5);
  EXPECT_EQ(g_SoundList.At(0).SetVolume(0, -9999, 1), -10000);
  EXPECT_EQ(g_SoundList.At(0).SetVolume(0, 20000, 1), 0);
  EXPECT_EQ(g_SoundList.At(0).SetVolume(7, -700, 1), 0);  // no such buffer

  // Option 10 passes 0 (the descriptors' own volume, nothing set); option 0 is silence.
  for (int option : {10, 0}) {
    DSRelease();
    ASSERT_TRUE(DS_Init(window_, 22050, 8, 1));
    g_SoundList.clear();
    ASSERT_EQ(DSLoadSoundEffects({path}, option), 1);
    g_SoundList.At(0).Play(0);
    EXPECT_EQ(g_SoundList.At(0).GetVolume(0), option ? 0 : -10000);
    EXPECT_NEAR(Render(10)[0], option ? 0.5 : 0.0, 1e-6);
  }
}

TEST_F(SoundTest, ABadRequestNumberIsLoggedClosesTheGameAndPlaysSoundZero) {
  std::string path = sandbox_.Write("a.wav", WavePcm16(1, 22050, std::vector<int16_t>(100, 1000)));
  ASSERT_EQ(DSLoadSoundEffects({path, path}, 10), 1);
  EXPECT_EQ(DSPlayRequest(2), 0);
  EXPECT_NE(sandbox_.Report().find("err V[2] ( 2 , 284 )\n"), std::string::npos);
  EXPECT_NE(sandbox_.ErrorCheckLog().find("err V[2] ( 2 , 284 )\n"), std::string::npos);
  EXPECT_EQ(quits_.Take(), 1);
  EXPECT_TRUE(g_SoundList.At(0).Buffer(0)->IsPlaying());
  EXPECT_FALSE(g_SoundList.At(1).Buffer(0)->IsPlaying());
  DSPlayRequest(1);
  EXPECT_TRUE(g_SoundList.At(1).Buffer(0)->IsPlaying());
  // A missing file keeps its place: sound numbers do not shift.
  ASSERT_EQ(DSLoadSoundEffects({sandbox_ / "none.wav", path}, 10), 1);
  EXPECT_FALSE(g_SoundList.At(0).Created());
  EXPECT_TRUE(g_SoundList.At(1).Created());
  // An empty list plays nothing (and still reports the number).
  DSRelease();
  g_SoundList.clear();
  EXPECT_EQ(DSPlayRequest(-1), 0);
  EXPECT_NE(sandbox_.Report().find("err V[-1] ( 0 , 284 )\n"), std::string::npos);
  EXPECT_EQ(plat::GlobalMixer().PlayingVoices(), 0);
}

}  // namespace
