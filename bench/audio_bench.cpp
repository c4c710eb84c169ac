// The mix a busy scene asks for: 32 overlapping sound effects, an Ogg track
// and a MIDI tune, rendered on one core. "realtime_x" is seconds of audio
// made per second of work (the target is at least 50).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "audio/midi_stream.h"
#include "platform/audio_device.h"
#include "platform/audio_mixer.h"
#include "platform/midi_stream_device.h"
#include "platform/ogg_encoder.h"
#include "platform/ogg_player.h"
#include "support/audio_fixtures.h"

namespace {

using namespace fixtures;

std::string TempDir() {
  static std::string dir = [] {
    char pattern[] = "/tmp/pelmora-audio-bench-XXXXXX";
    return std::string(mkdtemp(pattern) ? pattern : "/tmp");
  }();
  return dir;
}

std::string WriteFile(const std::string& name, const std::string& bytes) {
  std::string path = TempDir() + "/" + name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

// Four voices of notes: a melody, chords, bass and drums, 8 bars at 120 bpm.
std::string Tune() {
  std::string tracks;
  const int q = 480;
  for (int ch = 0; ch < 4; ++ch) {
    int channel = ch == 3 ? 9 : ch;
    std::string e = Vlq(0) + Bytes({0xC0 | channel, ch * 24});
    int step = ch == 0 ? q / 2 : q;
    for (int t = 0; t < 32 * q; t += step) {
      int key = ch == 3 ? (t / q % 2 ? 38 : 36) : 48 + ch * 12 + (t / step * 5) % 12;
      e += Vlq(0) + Bytes({0x90 | channel, key, 90});
      if (ch == 1) e += Vlq(0) + Bytes({0x90 | channel, key + 4, 70}) + Vlq(0) + Bytes({0x90 | channel, key + 7, 70});
      e += Vlq(step - 10) + Bytes({0x80 | channel, key, 0});
      if (ch == 1) e += Vlq(0) + Bytes({0x80 | channel, key + 4, 0}) + Vlq(0) + Bytes({0x80 | channel, key + 7, 0});
      e += Vlq(10);
    }
    tracks += Track(e + Bytes({0xFF, 0x2F, 0x00}));
  }
  return Smf(1, 4, q, tracks);
}

struct Scene {
  std::unique_ptr<plat::SoundBuffer> base;
  std::vector<std::unique_ptr<plat::SoundBuffer>> effects;
  plat::OggPlayerObject* ogg = nullptr;
  std::unique_ptr<cMidiStream> midi;

  Scene(bool withEffects, bool withOgg, bool withMidi) {
    plat::SetManualAudioPull(true);
    if (withEffects) {
      std::vector<int16_t> wave(22050 * 2);
      for (size_t i = 0; i < wave.size(); ++i) wave[i] = static_cast<int16_t>(6000 * std::sin(i * 0.07) * (1.0 - i / 44100.0));
      std::string bytes = Pcm16(wave);
      plat::WaveFormat f{1, 1, 22050, 44100, 2, 16, 0};
      base = plat::SoundBuffer::Create(f, bytes.data(), bytes.size());
      for (int i = 0; i < 32; ++i) {
        effects.push_back(base->Duplicate());
        effects.back()->SetFrequency(11025 + i * 997);
        effects.back()->SetVolume(-i * 50);
        effects.back()->SetPan((i % 5 - 2) * 1000);
        effects.back()->SetCurrentPosition(static_cast<uint32_t>(i * 2000));
        effects.back()->Play(true);
      }
    }
    if (withOgg) {
      std::vector<int16_t> pcm(44100 * 2 * 10);
      for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int16_t>(8000 * std::sin(i * 0.031) + 3000 * std::sin(i * 0.4));
      std::string path = WriteFile("track.ogg", plat::EncodeOggVorbis(pcm.data(), 44100 * 10, 2, 44100));
      ogg = plat::CreateOggPlayerObject();
      ogg->PrepareLoad();
      ogg->Load(path.c_str());
      ogg->SetLoopCount(plat::kOggLoopForever);
      ogg->Play();
    }
    if (withMidi) {
      midi = std::make_unique<cMidiStream>(WriteFile("tune.mid", Tune()).c_str());
      midi->Restart(1);
    }
  }
  ~Scene() {
    midi.reset();
    if (ogg) ogg->Release();
  }
};

void RenderScene(benchmark::State& state, bool effects, bool ogg, bool midi) {
  Scene scene(effects, ogg, midi);
  std::vector<int16_t> block(1024 * 2);
  double seconds = 0;
  for (auto _ : state) {
    for (int i = 0; i < 43; ++i) {  // about one second of audio
      plat::GlobalMixer().RenderS16(block.data(), 1024);
      plat::WaitMidiCallbacksHandled(2000);
    }
    seconds += 43 * 1024.0 / plat::kMixRate;
    benchmark::DoNotOptimize(block.data());
  }
  state.counters["realtime_x"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
}

void BM_AudioFullScene(benchmark::State& state) { RenderScene(state, true, true, true); }
void BM_AudioEffectsOnly(benchmark::State& state) { RenderScene(state, true, false, false); }
void BM_AudioOggOnly(benchmark::State& state) { RenderScene(state, false, true, false); }
void BM_AudioMidiOnly(benchmark::State& state) { RenderScene(state, false, false, true); }

BENCHMARK(BM_AudioFullScene)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AudioEffectsOnly)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AudioOggOnly)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AudioMidiOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(TempDir());
  return 0;
}
