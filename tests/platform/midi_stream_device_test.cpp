#include "platform/midi_stream_device.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <vector>

#include "platform/audio_device.h"
#include "platform/audio_mixer.h"
#include "platform/messages.h"
#include "support/sandbox.h"

namespace {

constexpr int kBlock = 512;

// Stream events: delta, stream id 0, event word (and long data).
struct Events {
  std::vector<uint8_t> bytes;
  void Put(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
  }
  Events& Short(uint32_t delta, uint32_t word) { return Put(delta), Put(0), Put(word), *this; }
  // `claimed`: the length the event word gives, when it is not the data's.
  Events& Long(uint32_t delta, std::vector<uint8_t> data, uint32_t claimed = 0) {
    Put(delta), Put(0), Put(plat::MEVT_F_LONG | (claimed ? claimed : static_cast<uint32_t>(data.size())));
    while (data.size() % 4) data.push_back(0);
    bytes.insert(bytes.end(), data.begin(), data.end());
    return *this;
  }
};

class MidiStreamDeviceTest : public ::testing::Test {
 protected:
  ScopedManualAudioPull pull_;  // made before SetUp, gone after TearDown
  void SetUp() override {
    plat::EnsureQueue();  // empty: the tests read back everything the stream posts
    for (plat::Message m; plat::PeekMessage(m);) continue;
    ASSERT_EQ(plat::MidiStreamOpen(&stream_, plat::CurrentThreadId()), plat::MMSYSERR_NOERROR);
    ASSERT_EQ(plat::MidiStreamSetTimeDivision(stream_, 480), plat::MMSYSERR_NOERROR);
    if (!plat::MidiSynthReady()) GTEST_SKIP() << "no SoundFont installed";
  }
  void TearDown() override {
    if (stream_) plat::MidiStreamClose(stream_);
    for (plat::Message m; plat::PeekMessage(m);) continue;
  }
  // Buffers live in the fixture: the stream may still hold them until
  // TearDown closes it. Prepared and queued unless `queue` is false.
  plat::MidiHeader& Queue(const Events& events, bool queue = true) {
    Events& e = events_.emplace_back(events);
    plat::MidiHeader& h = headers_.emplace_back();
    h.data = e.bytes.data();
    h.bufferLength = h.bytesRecorded = static_cast<uint32_t>(e.bytes.size());
    if (queue) {
      EXPECT_EQ(plat::MidiOutPrepareHeader(stream_, &h), plat::MMSYSERR_NOERROR);
    }
    if (queue) {
      EXPECT_EQ(plat::MidiStreamOut(stream_, &h), plat::MMSYSERR_NOERROR);
    }
    return h;
  }
  // Renders `frames` in blocks; the first frame whose level passes a
  // threshold (from `from` on), or -1. A note starts far above it; the
  // reverb's last whisper of an earlier song (about -60 dB) stays below.
  int64_t Onset(int64_t frames, int64_t from = 0) {
    std::vector<float> block(kBlock * 2);
    int64_t onset = -1;
    for (int64_t done = 0; done < frames; done += kBlock) {
      plat::GlobalMixer().Render(block.data(), kBlock);
      for (int i = 0; i < kBlock && onset < 0; ++i)
        if (done + i >= from && std::fabs(block[2 * i]) > 1e-2f) onset = done + i;
    }
    return onset;
  }
  plat::MidiStream* stream_ = nullptr;
  std::deque<Events> events_;
  std::deque<plat::MidiHeader> headers_;
};

TEST_F(MidiStreamDeviceTest, EventsLandOnTheirDueSampleThroughDivisionAndTempo) {
  Events e;
  e.Short(0, 0x00C0)          // program 0 on channel 0
      .Short(960, 0x7F3C90)   // two quarter notes later (1.0 s at 120 bpm): note on
      .Short(0, plat::MEVT_TEMPO << 24 | 250000)  // twice as fast from here
      .Short(960, 0x003C80)   // 0.5 s later: note off
      .Short(0, 0x7F4090)     // and another note
      .Short(480, 0x004080);
  plat::MidiHeader& h = Queue(e);
  EXPECT_EQ(Onset(44100), -1);  // nothing before the stream starts
  ASSERT_EQ(plat::MidiStreamRestart(stream_), plat::MMSYSERR_NOERROR);
  EXPECT_NEAR(static_cast<double>(Onset(2 * 44100)), 44100.0, kBlock);
  EXPECT_EQ(h.flags & plat::MHDR_INQUEUE, 0u);
  EXPECT_TRUE(h.flags & plat::MHDR_DONE);
}

TEST_F(MidiStreamDeviceTest, CallbackEventsPostPositionAndTheLastReturnsTheBufferFirst) {
  Events e;
  e.Short(0, 0x00C0).Short(10, plat::MEVT_F_CALLBACK | 0x003C80).Short(10, plat::MEVT_F_CALLBACK | 0x002FFF);
  plat::MidiHeader& h = Queue(e);
  plat::MidiStreamRestart(stream_);
  Onset(4096);
  std::vector<plat::Message> got;
  std::vector<uint32_t> kinds;
  for (plat::Message m; plat::PeekMessage(m);) got.push_back(m), kinds.push_back(m.message);
  ASSERT_EQ(kinds, (std::vector<uint32_t>{plat::MM_MOM_POSITIONCB, plat::MM_MOM_POSITIONCB, plat::MM_MOM_DONE}));
  EXPECT_EQ(reinterpret_cast<plat::MidiHeader*>(got[1].lParam), &h);
  EXPECT_EQ(h.offset, 24u);  // the last event raised the last callback
  EXPECT_EQ(h.flags & (plat::MHDR_INQUEUE | plat::MHDR_DONE), plat::MHDR_DONE);
  // The end-of-track word (status 0xFF) never reached the synthesiser as a reset: it is
  // still the stream it was; a handled callback is counted.
  plat::MidiStreamCallbackHandled(stream_);
  plat::MidiStreamCallbackHandled(stream_);
  EXPECT_TRUE(plat::WaitMidiCallbacksHandled(10));
}

TEST_F(MidiStreamDeviceTest, SystemBytesAndLongMessagesDoNotStopSoundingNotes) {
  Events e;
  e.Short(0, 0x00C0).Short(0, 0x7F3C90).Short(10, 0x0000FF).Short(0, 0x0000FC);
  e.Long(0, {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7});  // framed
  e.Long(0, {0xF7, 0x01});                                                          // an escape: ignored
  e.Short(4000, 0x003C80);
  Queue(e);
  plat::MidiStreamRestart(stream_);
  Onset(4096);
  EXPECT_GT(plat::MidiSynthActiveVoices(), 0);  // a System Reset would have silenced it
}

TEST_F(MidiStreamDeviceTest, MisuseIsRefusedWithTheSystemsResults) {
  plat::MidiStream* second = nullptr;
  EXPECT_EQ(plat::MidiStreamOpen(&second, plat::CurrentThreadId()), plat::MMSYSERR_ALLOCATED);
  EXPECT_EQ(plat::MidiStreamSetTimeDivision(stream_, 0), plat::MMSYSERR_INVALPARAM);
  plat::MidiHeader& h = Queue(Events().Short(100000, 0x7F3C90), false);
  EXPECT_EQ(plat::MidiStreamOut(stream_, &h), plat::MIDIERR_UNPREPARED);
  ASSERT_EQ(plat::MidiOutPrepareHeader(stream_, &h), plat::MMSYSERR_NOERROR);
  ASSERT_EQ(plat::MidiStreamOut(stream_, &h), plat::MMSYSERR_NOERROR);
  EXPECT_EQ(plat::MidiStreamOut(stream_, &h), plat::MIDIERR_STILLPLAYING);
  EXPECT_EQ(plat::MidiOutUnprepareHeader(stream_, &h), plat::MIDIERR_STILLPLAYING);
  EXPECT_EQ(plat::MidiOutReset(stream_), plat::MMSYSERR_NOERROR);
  EXPECT_EQ(plat::MidiOutUnprepareHeader(stream_, &h), plat::MMSYSERR_NOERROR);
  // A long event claiming more bytes than the buffer holds ends the buffer.
  plat::MidiHeader& hb = Queue(Events().Long(0, {}, 5000));
  plat::MidiStreamRestart(stream_);
  Onset(1024);
  EXPECT_TRUE(hb.flags & plat::MHDR_DONE);
  EXPECT_EQ(plat::MidiStreamClose(stream_), plat::MMSYSERR_NOERROR);
  EXPECT_EQ(plat::MidiStreamRestart(stream_), plat::MMSYSERR_INVALHANDLE);
  stream_ = nullptr;
  EXPECT_NE(plat::MidiErrorText(plat::MMSYSERR_ALLOCATED), plat::MidiErrorText(plat::MMSYSERR_NOERROR));
}

}  // namespace
