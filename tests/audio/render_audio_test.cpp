// pelmora-tool render-audio: the runtime's players and mixer, pulled faster
// than real time, give output as long as the tempo map (or the Ogg file) says;
// what would come out as silence is refused.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/midi_stream_device.h"
#include "platform/ogg_encoder.h"
#include "support/audio_fixtures.h"
#include "support/sandbox.h"

namespace {

using namespace fixtures;

struct Rendered {
  int status = -1;
  std::string output;      // the tool's stdout and stderr
  double seconds = 0;      // length of the WAV written
  double firstHalfRms = 0, secondHalfRms = 0;
};

class RenderAudioTest : public ::testing::Test {
 protected:
  // `env`: changes to the child's environment, as `env` takes them.
  Rendered Run(const std::string& in, const std::string& extra = "", const std::string& env = "") {
    Rendered r;
    std::string out = dir_ + "/out.wav";
    std::filesystem::remove(out);
    std::string command =
        "env " + env + " " + std::string(PELMORA_TOOL) + " render-audio '" + in + "' '" + out + "' " + extra + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, pipe)) r.output.append(buf, n);
    int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream wav(out, std::ios::binary);
    std::stringstream ss;
    ss << wav.rdbuf();
    std::string bytes = ss.str();
    if (bytes.size() < 44 || bytes.compare(36, 4, "data") != 0) return r;
    size_t count = (bytes.size() - 44) / 2;
    const int16_t* s = reinterpret_cast<const int16_t*>(bytes.data() + 44);
    r.seconds = count / 2 / 44100.0;
    double a = 0, b = 0;
    for (size_t i = 0; i < count; ++i) (i < count / 2 ? a : b) += static_cast<double>(s[i]) * s[i];
    r.firstHalfRms = std::sqrt(a / std::max<size_t>(count / 2, 1)) / 32768;
    r.secondHalfRms = std::sqrt(b / std::max<size_t>(count - count / 2, 1)) / 32768;
    return r;
  }
  TempFolder folder_{"render"};
  const std::string dir_ = folder_.Path();
};

// A note every quarter note (division 480) on `channel`, with running status.
std::string NotesEvents(int channel, int beats) {
  std::string e = Vlq(0) + Bytes({0xC0 | channel, channel * 8}) + Vlq(0) + Bytes({0x90 | channel, 60 + channel, 100});
  for (int i = 1; i < beats; ++i) e += Vlq(460) + Bytes({60 + channel + (i - 1) % 5, 0}) + Vlq(20) + Bytes({60 + channel + i % 5, 100});
  e += Vlq(460) + Bytes({60 + channel + (beats - 1) % 5, 0});
  return e;
}
bool Synth() { return plat::MidiSynthReady(); }

TEST_F(RenderAudioTest, LoopingGoesOnForTheSecondsAsked) {
  if (!Synth()) GTEST_SKIP() << "no SoundFont installed";
  std::string song = Smf(0, 1, 480, Track(NotesEvents(0, 2) + Vlq(0) + EndOfTrack()));  // 1 s
  Rendered r = Run(folder_.Write("short.mid", song), "--seconds 4 --loop");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NEAR(r.seconds, 4.0, 0.001);
  EXPECT_GT(r.secondHalfRms, 0.3 * r.firstHalfRms);
  r = Run(dir_ + "/short.mid", "--seconds 4");  // once through, then silence
  EXPECT_LT(r.secondHalfRms, 0.05 * r.firstHalfRms);
}

TEST_F(RenderAudioTest, OggAndWaveLastAsLongAsTheirSamples) {
  std::vector<int16_t> pcm(static_cast<size_t>(2.5 * 32000) * 2);
  for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int16_t>(8000 * std::sin(i * 0.05));
  Rendered r =
      Run(folder_.Write("tone.ogg", plat::EncodeOggVorbis(pcm.data(), static_cast<long>(pcm.size() / 2), 2, 32000)));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NEAR(r.seconds, 2.5, 0.05);
  EXPECT_GT(r.secondHalfRms, 0.05);
  r = Run(folder_.Write("tone.wav", WavePcm16(1, 11025, std::vector<int16_t>(11025 * 3 / 2, 4000))));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NEAR(r.seconds, 1.5, 0.001);
}

TEST_F(RenderAudioTest, AFileItCannotPlayFailsWithTheReadersMessage) {
  Rendered r = Run(folder_.Write("two.mid", Smf(2, 1, 96, Track(EndOfTrack()))));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("Init 対応フォーマットが2でない"), std::string::npos) << r.output;
  r = Run(folder_.Write("adpcm.wav", Wave(RiffChunk("fmt ", FmtData(2, 1, 22050, 4, 18)) + RiffChunk("data", "abcd"))));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("PCM形式以外の形式です。"), std::string::npos) << r.output;
}

// A WAV whose samples the mixer cannot play fails with the game's message
// and, after it, why: the channels, the rate, the sample size, the block
// align, samples short of one frame. Exit 1, no WAV written.
TEST_F(RenderAudioTest, AWaveTheMixerCannotPlayIsToldWhyAfterTheGamesMessage) {
  const auto fmt = [](uint16_t channels, uint32_t rate, uint16_t align, uint16_t bits) {
    std::string s;
    LE16(s, 1), LE16(s, channels), LE32(s, rate), LE32(s, rate * align), LE16(s, align), LE16(s, bits);
    return s;
  };
  const std::string samples(64, '\x10');
  struct Case {
    const char* name;
    std::string bytes;
    const char* why;
  };
  const Case cases[] = {
      {"none.wav", Wave(RiffChunk("fmt ", fmt(0, 22050, 2, 16)) + RiffChunk("data", samples)),
       "0 channels: a sound has 1 or 2"},
      {"many.wav", Wave(RiffChunk("fmt ", fmt(99, 22050, 198, 16)) + RiffChunk("data", samples)),
       "99 channels: a sound has 1 or 2"},
      {"still.wav", Wave(RiffChunk("fmt ", fmt(1, 0, 2, 16)) + RiffChunk("data", samples)),
       "a rate of 0 Hz: a sound plays at 100 to 200000 Hz"},
      {"seven.wav", Wave(RiffChunk("fmt ", fmt(1, 22050, 1, 7)) + RiffChunk("data", samples)),
       "7 bits a sample: a sound has 8 or 16"},
      {"unaligned.wav", Wave(RiffChunk("fmt ", fmt(2, 22050, 0, 16)) + RiffChunk("data", samples)),
       "a block align of 0 bytes: a frame of 2 channels of 16 bits is 4"},
      {"short.wav", Wave(RiffChunk("fmt ", fmt(2, 22050, 4, 16)) + RiffChunk("data", "ab")),
       "2 bytes of samples, less than one frame of 4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder_.Write(c.name, c.bytes);
    const Rendered r = Run(path);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("render-audio: " + path + "生成失敗！ (" + c.why + ")\n"), std::string::npos) << r.output;
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/out.wav"));
  }
}

// A file is played as the kind its name says (.mid, .wav, .ogg), as the
// game picks its player by the name; other names go by their first bytes.
// What would be written as silence is refused (exit 1, no WAV): a MIDI file
// cut short (the game's reader plays what is left of its tracks, here none
// of the notes), one that starts no note (a note-on of velocity 0 is a
// note-off), and any MIDI file without a SoundFont to play it.
TEST_F(RenderAudioTest, WhatWouldComeOutAsSilenceIsRefused) {
  const std::string conductor = Track(Vlq(0) + Tempo(500000) + Vlq(7680) + EndOfTrack());  // 8 s
  const std::string notes = Track(NotesEvents(0, 4) + Vlq(0) + EndOfTrack());
  const std::string song = Smf(1, 2, 480, conductor + notes);
  const std::string wave = WavePcm16(1, 11025, std::vector<int16_t>(1000, 4000));
  struct Case {
    const char* name;
    std::string bytes;
    const char* env;
    const char* told;
  };
  const Case cases[] = {
      {"cut.mid", song.substr(0, song.size() - 1), "", "a damaged MIDI file: the file ends inside a chunk"},
      {"cut2.mid", song.substr(0, 14 + conductor.size() + 10), "", "the file ends inside a chunk (36 bytes announced, 2 there)"},
      {"one.mid", song.substr(0, 14 + conductor.size()), "", "a damaged MIDI file: the file ends after 1 of its 2 tracks"},
      {"quiet.mid",
       Smf(0, 1, 480, Track(Vlq(0) + Bytes({0xC0, 5}) + Vlq(0) + Bytes({0x90, 60, 0}) + Vlq(480) + EndOfTrack())), "",
       "the MIDI file starts no note: it would be silence"},
      {"song.mid", song, "PELMORA_SOUNDFONT=/nonexistent.sf2",
       "the SoundFont /nonexistent.sf2 (named by PELMORA_SOUNDFONT) cannot be loaded: No such file or directory; "},
      {"wave.mid", wave, "", "wave.mid: not a standard MIDI file, as its name says"},
      {"song.wav", song, "", "song.wav: not a WAV file, as its name says"},
      {"wave.ogg", wave, "", "wave.ogg: not an Ogg file, as its name says"},
      {"wave.MID", wave, "", "wave.MID: not a standard MIDI file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Rendered r = Run(folder_.Write(c.name, c.bytes), "", c.env);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(c.told), std::string::npos) << r.output;
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/out.wav"));
  }
  // A name of no kind: the first bytes choose.
  Rendered r = Run(folder_.Write("tone.snd", wave));
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_GT(r.seconds, 0.0);
  if (!Synth()) GTEST_SKIP() << "no SoundFont installed";
  for (const char* name : {"whole.mid", "whole.snd"}) {
    SCOPED_TRACE(name);
    r = Run(folder_.Write(name, song));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NEAR(r.seconds, 8.0, 0.01);
    EXPECT_GT(r.firstHalfRms, 0.01);
  }
}

// The players read the file by its name as given, whatever its bytes, and
// the messages print a byte that is not UTF-8 text as \xNN.
TEST_F(RenderAudioTest, AFileNamedByAnyBytesIsPlayedAndNamedApart) {
  std::vector<int16_t> pcm(32000 * 2, 3000);
  struct Case {
    std::string name, bytes;
    bool needsSynth;
  } cases[] = {
      {"caf\xe9.wav", WavePcm16(1, 11025, std::vector<int16_t>(11025, 4000)), false},
      {"caf\xe9.ogg", plat::EncodeOggVorbis(pcm.data(), 32000, 2, 32000), false},
      {"caf\xe9.mid", Smf(0, 1, 480, Track(NotesEvents(0, 2) + Vlq(0) + EndOfTrack())), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.substr(4));
    if (c.needsSynth && !Synth()) continue;
    Rendered r = Run(folder_.Write(c.name, c.bytes));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NEAR(r.seconds, 1.0, 0.05);
  }
  Rendered r = Run(folder_.Write("bad\xe9.mid", Smf(2, 1, 96, Track(EndOfTrack()))));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("bad\\xe9.mid"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("/proc/"), std::string::npos) << r.output;
  r = Run(folder_.Write("bad\xe9.ogg", "OggS and nothing more"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("bad\\xe9.ogg: not a playable"), std::string::npos) << r.output;
}

}  // namespace
