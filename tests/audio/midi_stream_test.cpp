#include "audio/midi_stream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "base/logs.h"
#include "platform/audio_device.h"
#include "platform/audio_mixer.h"
#include "platform/text.h"
#include "support/audio_fixtures.h"
#include "support/sandbox.h"

namespace {

using namespace fixtures;

// Waits for the player's thread end only on a hang (the mix is pulled in
// its own time, not the machine's).
constexpr uint32_t kHangMs = 60000;

bool ParseInto(cSmfData& smf, const std::string& bytes) {
  return smf.Parse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// A stream buffer header over `block`.
plat::MidiHeader Header(std::vector<uint8_t>& block) {
  plat::MidiHeader h;
  h.data = block.data();
  h.bufferLength = static_cast<uint32_t>(block.size());
  return h;
}

uint32_t Word(const plat::MidiHeader& h, size_t event, int field) {
  const uint8_t* p = h.data + event * 12 + field * 4;
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

TEST(MidiVarLengthTest, KnownVectorsBothWays) {
  const std::pair<uint32_t, std::vector<uint8_t>> cases[] = {
      {0x00, {0x00}},       {0x7F, {0x7F}},       {0x80, {0x81, 0x00}}, {0x3FFF, {0xFF, 0x7F}},
      {0x4000, {0x81, 0x80, 0x00}}, {0x200000, {0x81, 0x80, 0x80, 0x00}}, {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
  };
  for (const auto& [value, bytes] : cases) {
    uint8_t buf[4] = {};
    ASSERT_EQ(WriteVarLength(buf, value), static_cast<int>(bytes.size())) << value;
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + bytes.size()), bytes) << value;
    int used = 0;
    EXPECT_EQ(ReadVarLength(bytes.data(), bytes.size(), &used), value);
    EXPECT_EQ(used, static_cast<int>(bytes.size()));
  }
  uint8_t buf[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  EXPECT_EQ(WriteVarLength(buf, 0x10000000), 0);
  EXPECT_EQ(buf[0], 0xAA);
  const uint8_t cut[] = {0x81, 0x80};
  const uint8_t five[] = {0x81, 0x80, 0x80, 0x80, 0x00};
  int used = 7;
  ReadVarLength(cut, 2, &used);
  EXPECT_EQ(used, 0);
  ReadVarLength(five, 5, &used);
  EXPECT_EQ(used, 0);
}

// Format 1, division 96: a conductor track (tempo, a text event, a tempo
// change) ending at tick 192, and a note track with running status ending at 288.
std::string TwoTrackSong() {
  std::string conductor = Vlq(0) + Tempo(500000) + Vlq(96) + Bytes({0xFF, 0x01, 0x03, 'a', 'b', 'c'}) + Vlq(96) +
                          Tempo(250000) + Vlq(0) + EndOfTrack();
  std::string notes = Vlq(0) + Bytes({0xC0, 0x05}) + Vlq(0) + Bytes({0x90, 0x3C, 0x64}) + Vlq(96) +
                      Bytes({0x3C, 0x00}) + Vlq(0) + Bytes({0x40, 0x64}) + Vlq(192) + Bytes({0x80, 0x40, 0x00}) +
                      Vlq(0) + EndOfTrack();
  return Smf(1, 2, 96, Track(conductor) + Track(notes));
}

TEST(SmfReaderTest, MergesTracksIntoOneExplicitStatusImageWithItsLength) {
  cSmfData smf;
  ASSERT_TRUE(ParseInto(smf, TwoTrackSong()));
  const std::vector<uint8_t> expected = {
      'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k', 0, 0, 0, 44,
      0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,   // tick 0: track 1 first
      0x00, 0xC0, 0x05,                           //         then track 2 in file order
      0x00, 0x90, 0x3C, 0x64,
      0x60, 0xFF, 0x01, 0x03, 'a', 'b', 'c',      // tick 96
      0x00, 0x90, 0x3C, 0x00,                     // running status made explicit
      0x00, 0x90, 0x40, 0x64,
      0x60, 0xFF, 0x51, 0x03, 0x03, 0xD0, 0x90,   // tick 192
      0x60, 0x80, 0x40, 0x00,                     // tick 288
      0x00, 0xFF, 0x2F, 0x00,                     // one end at the latest track end
  };
  EXPECT_EQ(smf.Image(), expected);
  EXPECT_NEAR(smf.Length(), 1.25, 1e-12);  // 192 ticks at 0.5 s per beat, 96 at 0.25
}

TEST(SmfReaderTest, HeaderFailuresLogTheirLines) {
  ResetLogsForTest();
  struct Case {
    std::string bytes, line;
  } cases[] = {
      {"RIFF0000", "Midi t.mid Init 標準MIDIでない(4)"},
      {Smf(0, 1, 96, "").replace(7, 1, "\x07"), "Midi t.mid Init 標準MIDIでない(6)"},
      {Smf(2, 1, 96, Track(EndOfTrack())), "Midi t.mid Init 対応フォーマットが2でない"},
      {Smf(3, 1, 96, Track(EndOfTrack())), "Midi t.mid Init 対応フォーマットが0または1でない"},
      {Smf(0, 1, 96, "MTrx" + std::string(8, '\0')), "Midi t.mid Init 標準MIDIでない(4)"},
  };
  // The file name travels through the log line.
  struct NamedSmf : cSmfData {
    NamedSmf() { m_FileName = "t.mid"; }
  };
  for (const Case& c : cases) {
    NamedSmf smf;
    EXPECT_FALSE(ParseInto(smf, c.bytes));
    EXPECT_FALSE(smf.HasImage());
    EXPECT_EQ(plat::Cp932ToUtf8(smf.LastMessage()), c.line);
  }
}

std::string OtherChunk() {
  std::string s = "XFIH";
  BE32(s, 4);
  return s + "junk";
}

TEST(SmfReaderTest, HostileTracksEndCleanlyWithinTheFile) {
  cSmfData smf;
  // A track length far beyond the file, with no end-of-track event.
  std::string noEnd = Smf(0, 1, 96, Track(Vlq(0) + Bytes({0x90, 60, 100}) + Vlq(48) + Bytes({0x80, 60}), 0x7FFFFFFF));
  ASSERT_TRUE(ParseInto(smf, noEnd));
  EXPECT_NEAR(smf.Length(), 0.0, 1e-12);  // the cut note-off is not an event; the end is the note-on
  // Running status with no status yet: the track ends there.
  ASSERT_TRUE(ParseInto(smf, Smf(0, 1, 96, Track(Vlq(10) + Bytes({0x3C, 0x40}) + Vlq(0) + EndOfTrack()))));
  EXPECT_EQ(smf.Image().size(), 26u);  // only the end of track
  // A meta length and a sysex length beyond the chunk, a truncated delta.
  ASSERT_TRUE(ParseInto(smf, Smf(0, 1, 96, Track(Vlq(0) + Bytes({0xFF, 0x01, 0x7F, 'x'})))));
  ASSERT_TRUE(ParseInto(smf, Smf(0, 1, 96, Track(Vlq(0) + Bytes({0xF0, 0x8F, 0xFF, 0xFF, 0x7F, 1})))));
  ASSERT_TRUE(ParseInto(smf, Smf(0, 1, 96, Track(Bytes({0x81, 0x80})))));
  // Tempo 0 is ignored; a missing second track and a chunk of another kind are skipped.
  std::string song = Smf(1, 3, 96,
                         Track(Vlq(0) + Tempo(0) + Vlq(96) + Tempo(1000000) + Vlq(96) + EndOfTrack()) +
                             OtherChunk() + Track(Vlq(0) + Bytes({0x90, 60, 100}) + Vlq(0) + EndOfTrack()));
  ASSERT_TRUE(ParseInto(smf, song));
  EXPECT_NEAR(smf.Length(), 0.5 + 1.0, 1e-12);
  // Division 0 gives no length rather than a division by zero.
  ASSERT_TRUE(ParseInto(smf, Smf(0, 1, 0, Track(Vlq(960) + EndOfTrack()))));
  EXPECT_EQ(smf.Length(), 0.0);
}

TEST(SmfStreamTest, FillsStreamEventsCarryingSkippedDeltas) {
  cSmfData smf;
  ASSERT_TRUE(ParseInto(smf, TwoTrackSong()));
  std::vector<uint8_t> block(24000, 0xEE);
  plat::MidiHeader h = Header(block);
  h.flags = plat::MHDR_DONE | plat::MHDR_PREPARED;
  EXPECT_EQ(FillStreamBuffer(smf.Image(), kSmfImageFirstEvent, &h), 44u);
  ASSERT_EQ(h.bytesRecorded, 8u * 12);
  EXPECT_EQ(h.flags, 0u);
  const uint32_t expected[8][2] = {{0, 0x0107A120}, {0, 0x000005C0}, {0, 0x00643C90}, {0x60, 0x00003C90},
                                   {0, 0x00644090}, {0x60, 0x0103D090}, {0x60, 0x00004080}, {0, 0x40002FFF}};
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(Word(h, i, 0), expected[i][0]) << i;
    EXPECT_EQ(Word(h, i, 1), 0u);
    EXPECT_EQ(Word(h, i, 2), expected[i][1]) << i;
  }
  EXPECT_EQ(block[96], 0);  // the block was zeroed
}

TEST(SmfStreamTest, AFullBufferEndsWithACallbackAndLongSysexIsSkipped) {
  // 2500 notes one tick apart, a text event after the 2000th, a sysex far
  // larger than a buffer, one more note, the end.
  std::string events = Vlq(0) + Bytes({0x90, 60, 1});
  for (int i = 1; i < 2500; ++i) {
    if (i == 2000) events += Vlq(5) + Bytes({0xFF, 0x01, 0x01, 'x'});
    events += Vlq(1) + Bytes({60, static_cast<int>(i & 0x7F)});
  }
  events += Vlq(0) + Bytes({0xF0}) + Vlq(30000) + std::string(29999, '\x01') + Bytes({0xF7});
  events += Vlq(7) + Bytes({0x80, 60, 0}) + Vlq(0) + EndOfTrack();
  cSmfData smf;
  ASSERT_TRUE(ParseInto(smf, Smf(0, 1, 96, Track(events))));
  std::vector<uint8_t> block(24000), block2(24000);
  plat::MidiHeader h = Header(block), h2 = Header(block2);
  uint32_t oversized = 0;
  uint32_t consumed = FillStreamBuffer(smf.Image(), kSmfImageFirstEvent, &h, &oversized);
  EXPECT_EQ(std::pair(h.bytesRecorded, consumed), std::pair(24000u, 4u + 1999 * 4));  // the events written, not the text after them
  EXPECT_EQ(Word(h, 1999, 2), plat::MEVT_F_CALLBACK | 0x004F3C90);  // velocity 1999 & 0x7F
  EXPECT_EQ(Word(h, 1998, 2) & plat::MEVT_F_CALLBACK, 0u);
  uint32_t more = FillStreamBuffer(smf.Image(), kSmfImageFirstEvent + consumed, &h2, &oversized);
  EXPECT_EQ(Word(h2, 0, 0), 6u);  // the text event's 5 ticks carried into the next note
  // 500 notes, the note-off, the end; the sysex skipped.
  EXPECT_EQ(std::tuple(h2.bytesRecorded, oversized, Word(h2, 500, 0), Word(h2, 501, 2)),
            std::tuple(502u * 12, 1u, 7u, 0x40002FFFu));
  EXPECT_EQ(kSmfImageFirstEvent + consumed + more, smf.Image().size());
}

// --- the player over the stream device ------------------------------------

class MidiPlayerTest : public ::testing::Test {
 protected:
  ScopedManualAudioPull pull_;  // made before SetUp, gone after TearDown
  void SetUp() override {
    if (!plat::MidiSynthReady()) GTEST_SKIP() << "no SoundFont installed";
  }
  // Renders `frames` in blocks of 256, letting the player react between
  // blocks; appends the left channel's RMS of each block.
  void Render(int64_t frames, std::vector<double>& rms) {
    std::vector<float> block(512);
    for (int64_t done = 0; done < frames; done += 256) {
      plat::GlobalMixer().Render(block.data(), 256);
      double sum = 0;
      for (int i = 0; i < 256; ++i) sum += block[2 * i] * block[2 * i];
      rms.push_back(std::sqrt(sum / 256));
      plat::WaitMidiCallbacksHandled(kHangMs);
    }
  }
  TempFolder folder_{"midi"};
  const std::string dir_ = folder_.Path();
};

TEST_F(MidiPlayerTest, LoopsFromTheFirstEventAfterTheLastTrackEnds) {
  // A 0.1 s note, the song ending at 1.0 s (division 96, 120 bpm).
  std::string song = Smf(0, 1, 96, Track(Vlq(0) + Bytes({0xC0, 0}) + Vlq(0) + Bytes({0x90, 72, 120}) + Vlq(10) +
                                         Bytes({0x80, 72, 0}) + Vlq(182) + EndOfTrack()));
  cMidiStream player(folder_.Write("loop.mid", song).c_str());
  ASSERT_TRUE(player.HasImage());
  EXPECT_NEAR(player.Length(), 1.0, 1e-9);
  player.Restart(1);
  std::vector<double> rms;
  Render(3 * 44100, rms);
  // Attacks: a block much louder than the one before it.
  std::vector<double> attacks;
  for (size_t i = 1; i < rms.size(); ++i)
    if (rms[i] > 0.01 && rms[i] > 4 * rms[i - 1]) attacks.push_back(i * 256.0 / 44100);
  if (rms[0] > 0.01) attacks.insert(attacks.begin(), 0.0);
  ASSERT_GE(attacks.size(), 3u);
  EXPECT_NEAR(attacks[0], 0.0, 0.01);
  EXPECT_NEAR(attacks[1], 1.0, 0.015);  // one block for the player's reaction
  EXPECT_NEAR(attacks[2], 2.0, 0.03);
  EXPECT_EQ(player.State(), cMidiStream::kPlaying);
}

TEST_F(MidiPlayerTest, StoppingAndPausingLeaveNoNoteAndClosingEndsTheThread) {
  // A held note with the sustain pedal down, far longer than the test.
  std::string song = Smf(0, 1, 96, Track(Vlq(0) + Bytes({0xC0, 0}) + Vlq(0) + Bytes({0xB0, 64, 127}) + Vlq(0) +
                                         Bytes({0x90, 60, 100}) + Vlq(96 * 40) +
                                         Bytes({0x80, 60, 0}) + Vlq(0) + EndOfTrack()));
  auto player = std::make_unique<cMidiStream>(folder_.Write("held.mid", song).c_str());
  ASSERT_TRUE(player->HasImage());
  ASSERT_TRUE(player->ThreadRunning());
  plat::ThreadId thread = player->ThreadId();
  std::vector<double> rms;
  player->Restart(0);
  Render(22050, rms);
  EXPECT_GT(rms.back(), 0.001);
  player->Pause(1);
  EXPECT_EQ(player->State(), cMidiStream::kPaused);
  rms.clear();
  Render(2 * 44100, rms);
  EXPECT_EQ(plat::MidiSynthActiveVoices(), 0);
  EXPECT_LT(rms.back(), 1e-4);
  player->Restart(0);  // resumes where it paused (the held note is not struck again)
  EXPECT_EQ(player->State(), cMidiStream::kPlaying);
  player->Pause(0);
  EXPECT_EQ(player->State(), cMidiStream::kStopped);
  EXPECT_EQ(player->Position(), player->Image().size());  // rewound and refilled: the whole song fits one buffer
  player.reset();
  EXPECT_FALSE(plat::PostThreadMessage(thread, plat::WM_APP, 0, 0));  // the thread and its queue are gone
  rms.clear();
  Render(2 * 44100, rms);
  EXPECT_EQ(plat::MidiSynthActiveVoices(), 0);
}

TEST_F(MidiPlayerTest, AMissingFileIsLogged) {
  ResetLogsForTest();
  cMidiStream player((dir_ + "/none.mid").c_str());
  EXPECT_FALSE(player.HasImage());
  EXPECT_FALSE(player.ThreadRunning());
  EXPECT_EQ(plat::Cp932ToUtf8(player.LastMessage()), "Midi " + dir_ + "/none.mid Create ファイルが開けません");
}

}  // namespace
