// The WAV reader and the sound buffers it feeds, on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/sound.h"
#include "platform/audio_mixer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WAVEDATA wave;
  if (ParseWave(data, size, wave) != WaveParseResult::Ok) return 0;
  if (wave.samples.size() > size) __builtin_trap();  // never more than the input holds
  static plat::AudioMixer mixer;
  auto buffer = plat::SoundBuffer::Create(wave.format, wave.samples.data(), wave.samples.size(), mixer);
  if (!buffer) return 0;
  auto twin = buffer->Duplicate();
  buffer->SetFrequency(static_cast<uint32_t>(size * 977));
  buffer->Play(true);
  twin->SetCurrentPosition(static_cast<uint32_t>(size * 13));
  twin->Play(false);
  std::vector<float> out(2 * 512);
  mixer.Render(out.data(), 512);
  return 0;
}
