#include "audio/bgm.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/audio_device.h"
#include "platform/modules.h"
#include "platform/ogg_encoder.h"
#include "support/audio_fixtures.h"
#include "support/sandbox.h"

namespace {

using namespace fixtures;

// A recording stand-in for the Ogg library's objects: every slot called, in order.
std::vector<std::string> g_calls;

class RecordingOgg final : public plat::OggPlayerObject {
 public:
  bool Load(const char* path) override {
    g_calls.push_back(std::string("0:") + path);
    return std::strstr(path, "bad") == nullptr;
  }
  void Play() override { g_calls.push_back("1"); }
  void Stop() override { g_calls.push_back("2"); }
  void PrepareLoad() override { g_calls.push_back("3"); }
  void SetLoopCount(uint32_t count) override { g_calls.push_back("4:" + std::to_string(count)); }
  void Pause() override { g_calls.push_back("5"); }
  void SetVolume(float volume) override { g_calls.push_back("6:" + std::to_string(static_cast<int>(volume * 100 + 0.5))); }
  bool IsPlaying() const override { return false; }
  double LengthSeconds() const override { return 0; }
  void Release() override {
    g_calls.push_back("9");
    delete this;
  }
};
plat::OggPlayerObject* CreateRecordingOgg() { return new RecordingOgg(); }

// A recording MIDI library.
std::vector<std::string> g_midiCalls;
void Log(const std::string& line) { g_midiCalls.push_back(line); }
std::string N(int v) { return std::to_string(v); }
int OpenDevice(int device, uintptr_t) { return Log("open " + N(device)), 0; }
void CloseDevice() { Log("close"); }
int AddList(const char* path, int option, int id) {
  return Log("add " + std::string(path) + " " + N(option) + " " + N(id)), 0;
}
void SetMasterVolume(int v) { Log("volume " + N(v)); }
int PlayList(int option, int id, int a, int b, int c) {
  return Log("play " + N(option) + " " + N(id) + " " + N(a + b + c)), 0;
}
int StopPlay(int fade) { return Log("stop " + N(fade)), 0; }
void PausePlay() { Log("pause"); }
void Status(void*, int size) { Log("status " + N(size)); }

class BGMTest : public ::testing::Test {
 protected:
  ScopedManualAudioPull pull_;  // made before SetUp, gone after TearDown
  void SetUp() override {
    g_calls.clear();
    g_midiCalls.clear();
  }
  void TearDown() override {
    player_.Release();
    plat::RegisterModule("Vox.dll", {{"CreateVox", reinterpret_cast<void*>(&plat::CreateOggPlayerObject)}});
    plat::UnregisterModule("GuruGuruSMF4.dll");
  }
  void UseRecordingOgg() {
    plat::RegisterModule("Vox.dll", {{"CreateVox", reinterpret_cast<void*>(&CreateRecordingOgg)}});
  }
  void UseRecordingMidiLibrary() {
    plat::RegisterModule("GuruGuruSMF4.dll",
                         {{"GGS4OpenDevice", reinterpret_cast<void*>(&OpenDevice)},
                          {"GGS4CloseDevice", reinterpret_cast<void*>(&CloseDevice)},
                          {"GGS4AddListFromFileA", reinterpret_cast<void*>(&AddList)},
                          {"GGS4SetMasterVolume", reinterpret_cast<void*>(&SetMasterVolume)},
                          {"GGS4Play", reinterpret_cast<void*>(&PlayList)},
                          {"GGS4Stop", reinterpret_cast<void*>(&StopPlay)},
                          {"GGS4Pause", reinterpret_cast<void*>(&PausePlay)},
                          {"GGS4GetPlayerStatus", reinterpret_cast<void*>(&Status)}});
  }
  int Init() { return player_.Init(1, tables_[0], tables_[1], kBGMTrackCount, 0); }
  Sandbox sandbox_{"ok;ok;ok"};
  BGMTRACK tables_[2][kBGMTrackCount] = {};
  cBGMPlayer player_;
};

TEST_F(BGMTest, TheKindOfATrackComesFromTheExactSpellingOfItsExtension) {
  ASSERT_EQ(Init(), 1);
  struct Case {
    const char* file;
    int result;
    uint32_t kind;
    const char* ogg;
    const char* midi;
  } cases[] = {
      {"bgm\\a.ogg", 1, BGM_KIND_OGG, "bgm\\a.ogg", ""},
      {"bgm\\a.OGG", 1, BGM_KIND_OGG, "bgm\\a.OGG", ""},
      {"bgm\\a.Ogg", 0, BGM_KIND_UNKNOWN, "bgm\\a.Ogg", "bgm\\a.Ogg"},
      {"bgm\\a.mid", 1, BGM_KIND_MIDI, "", "bgm\\a.mid"},
      {"bgm\\a.MID", 1, BGM_KIND_MIDI, "", "bgm\\a.mid"},
      {"bgm\\a.Mid", 0, BGM_KIND_UNKNOWN, "bgm\\a.Mid", "bgm\\a.Mid"},
      {"bgm\\a.midi", 0, BGM_KIND_UNKNOWN, "bgm\\a.midi", "bgm\\a.midi"},
  };
  for (const Case& c : cases) {
    tables_[0][1] = tables_[1][1] = BGMTRACK{};
    EXPECT_EQ(player_.AddTrack(1, c.file, 70), c.result) << c.file;
    EXPECT_EQ(player_.TrackKind(1), c.kind) << c.file;
    EXPECT_STREQ(tables_[0][1].szFileName, c.ogg) << c.file;
    EXPECT_STREQ(tables_[1][1].szFileName, c.midi) << c.file;
  }
  // No dot at all: both names emptied, both volumes 0, and playing it fails into silence.
  player_.AddTrack(2, "bgm\\a.ogg", 70);
  EXPECT_EQ(player_.AddTrack(2, "bgm\\title", 70), 0);
  EXPECT_STREQ(tables_[0][2].szFileName, "");
  EXPECT_EQ(std::pair(tables_[0][2].nVolume, tables_[1][2].nVolume), std::pair(0, 0));
  EXPECT_EQ(player_.Play(0, 2, 1, 0, 1), 0);
  EXPECT_EQ(std::pair(player_.CurrentTrack(), player_.SlotState(0)), std::pair(-1, uint32_t{BGM_SLOT_NONE}));
  // A track outside the table writes nothing and is reported.
  EXPECT_EQ(player_.AddTrack(5, "bgm\\x.ogg", 1), 0);
  EXPECT_NE(sandbox_.Report().find("err V[5] ( 5 , 4 )\n"), std::string::npos);
}

TEST_F(BGMTest, TheOggObjectIsCalledInItsSlotOrder) {
  UseRecordingOgg();
  ASSERT_EQ(Init(), 1);
  player_.AddTrack(0, "bgm\\a.ogg", 50);
  g_calls.clear();
  EXPECT_EQ(player_.Play(0, 0, 1, 0, 1), 1);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"3", "0:bgm\\a.ogg", "6:50", "4:2147483647", "1"}));
  EXPECT_EQ(player_.SlotState(0), BGM_SLOT_OGG);
  // The same track again without force does nothing; with force it plays again.
  g_calls.clear();
  EXPECT_EQ(player_.Play(0, 0, 1, 0, 0), 1);
  EXPECT_TRUE(g_calls.empty());
  // Volume 100 calls no volume operation; once-through passes 0.
  player_.AddTrack(1, "bgm\\b.OGG", 100);
  g_calls.clear();
  EXPECT_EQ(player_.Play(0, 1, 0, 0, 1), 1);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"2", "3", "0:bgm\\b.OGG", "4:0", "1"}));
  // A refused file: silence, and the current track forgotten so it can be asked for again.
  player_.AddTrack(3, "bgm\\bad.ogg", 100);
  g_calls.clear();
  EXPECT_EQ(player_.Play(0, 3, 0, 0, 0), 0);
  EXPECT_EQ(player_.CurrentTrack(), -1);
  EXPECT_EQ(player_.SlotState(0), BGM_SLOT_NONE);
  player_.Release();
  EXPECT_EQ(g_calls.back(), "9");
}

TEST_F(BGMTest, WithoutTheOggLibraryInitFailsWithItsBoxAndRequestsDoNothing) {
  plat::SetModuleAvailable("Vox.dll", false);
  EXPECT_EQ(Init(), 0);
  plat::SetModuleAvailable("Vox.dll", true);
  EXPECT_FALSE(player_.Initialised());
  EXPECT_NE(sandbox_.DialogLog().find("エラー\toggの初期化に失敗！\tok"), std::string::npos);
  EXPECT_EQ(player_.AddTrack(0, "bgm\\a.ogg", 10), 1);
  EXPECT_EQ(player_.Play(0, 0, 1, 0, 1), 1);
  player_.Stop();
  EXPECT_STREQ(tables_[0][0].szFileName, "");
}

TEST_F(BGMTest, TheMidiLibraryWhenPresentGetsTheCallsArguments) {
  UseRecordingMidiLibrary();
  UseRecordingOgg();
  ASSERT_EQ(player_.Init(1, tables_[0], tables_[1], kBGMTrackCount, 1), 1);
  EXPECT_TRUE(player_.UsesMidiLibrary());
  EXPECT_EQ(g_midiCalls, (std::vector<std::string>{"open -1100"}));
  player_.AddTrack(4, "bgm\\Battle.MID", 50);
  g_midiCalls.clear();
  EXPECT_EQ(player_.Play(0, 4, 1, 0, 1), 1);
  EXPECT_EQ(g_midiCalls, (std::vector<std::string>{"status 20", "pause", "add bgm\\Battle.mid 0 0", "volume -64",
                                                   "play 1 0 0"}));
  EXPECT_EQ(MidiMasterVolume(100), 0);
  EXPECT_EQ(MidiMasterVolume(0), -127);
  cMidiDLL dll;
  EXPECT_EQ(dll.Play(0, "bgm\\x.midi", 0, 100), 0);
  player_.Release();
  EXPECT_EQ(g_midiCalls.back(), "close");
}

TEST_F(BGMTest, StreamPlayerPlaysAMidiTrackFoundWhateverItsCase) {
  if (!plat::MidiSynthReady()) GTEST_SKIP() << "no SoundFont installed";
  ASSERT_EQ(Init(), 1);
  EXPECT_FALSE(player_.UsesMidiLibrary());
  std::string song = Smf(0, 1, 96, Track(Vlq(0) + Bytes({0x90, 60, 100}) + Vlq(960) + Bytes({0x80, 60, 0}) +
                                         Vlq(0) + EndOfTrack()));
  sandbox_.Write("Title.MID", song);
  player_.AddTrack(0, (sandbox_ / "Title.MID").c_str(), 100);
  ASSERT_EQ(player_.Play(0, 0, 1, 0, 1), 1);
  EXPECT_EQ(player_.SlotState(0), BGM_SLOT_MIDI);
  cMidiStream* stream = player_.StreamPlayer(0);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->State(), cMidiStream::kPlaying);
  plat::ThreadId thread = stream->ThreadId();
  // An Ogg track replaces it: the MIDI player is stopped.
  std::vector<int16_t> pcm(22050, 1000);
  sandbox_.Write("a.ogg", plat::EncodeOggVorbis(pcm.data(), 22050, 1, 22050));
  player_.AddTrack(1, (sandbox_ / "a.ogg").c_str(), 100);
  ASSERT_EQ(player_.Play(0, 1, 0, 0, 1), 1);
  EXPECT_EQ(player_.SlotState(0), BGM_SLOT_OGG);
  EXPECT_EQ(stream->State(), cMidiStream::kStopped);
  // Back to MIDI: the old player (and its thread) is gone before the new one starts.
  ASSERT_EQ(player_.Play(0, 0, 0, 0, 1), 1);
  EXPECT_FALSE(plat::PostThreadMessage(thread, plat::WM_APP, 0, 0));
  player_.Stop();
  EXPECT_EQ(player_.CurrentTrack(), 0);  // survives a stop
}

}  // namespace
