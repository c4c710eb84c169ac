#include "platform/audio_mixer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace plat {

namespace {

// Samples of a wave, converted once to signed 16 bits (8-bit PCM is unsigned
// with 128 as silence). Shared by a buffer and all its duplicates.
struct SampleData {
  WaveFormat format;
  std::vector<int16_t> samples;  // interleaved, `channels` per frame
  uint32_t frames = 0;
};

}  // namespace

double GainFromHundredthsDb(int32_t volume) {
  if (volume <= kVolumeMin) return 0.0;
  if (volume >= 0) return 1.0;
  return std::pow(10.0, volume / 2000.0);
}

struct SoundBuffer::Voice {
  std::shared_ptr<const SampleData> data;
  double position = 0.0;  // in source frames
  bool playing = false;
  bool looping = false;
  int32_t volume = 0;
  int32_t pan = 0;
  uint32_t frequency = 0;  // 0 = the wave's own
  float gainLeft = 1.0f;
  float gainRight = 1.0f;

  void UpdateGains() {
    double gain = GainFromHundredthsDb(volume);
    double left = gain, right = gain;
    if (pan < 0) right *= GainFromHundredthsDb(pan);
    if (pan > 0) left *= GainFromHundredthsDb(-pan);
    gainLeft = static_cast<float>(left);
    gainRight = static_cast<float>(right);
  }

  // Adds this voice into `out`; ends a one-shot voice at the wave's end.
  void Mix(float* out, int frames) {
    const SampleData& d = *data;
    const uint32_t count = d.frames;
    const int channels = d.format.channels;
    const double rate = frequency ? frequency : d.format.samplesPerSec;
    const double step = rate / kMixRate;
    const int16_t* s = d.samples.data();
    constexpr float kScale = 1.0f / 32768.0f;
    const float gl = gainLeft * kScale, gr = gainRight * kScale;
    double pos = position;
    for (int i = 0; i < frames; ++i) {
      if (pos >= count) {
        if (!looping) {
          playing = false;
          pos = 0.0;
          break;
        }
        pos = std::fmod(pos, static_cast<double>(count));
      }
      uint32_t i0 = static_cast<uint32_t>(pos);
      uint32_t i1 = i0 + 1;
      if (i1 >= count) i1 = looping ? 0 : i0;
      float frac = static_cast<float>(pos - i0);
      if (channels == 1) {
        float v = s[i0] + (s[i1] - s[i0]) * frac;
        out[2 * i] += v * gl;
        out[2 * i + 1] += v * gr;
      } else {
        float l = s[2 * i0] + (s[2 * i1] - s[2 * i0]) * frac;
        float r = s[2 * i0 + 1] + (s[2 * i1 + 1] - s[2 * i0 + 1]) * frac;
        out[2 * i] += l * gl;
        out[2 * i + 1] += r * gr;
      }
      pos += step;
    }
    position = pos;
  }
};

struct AudioMixer::Impl {
  mutable std::mutex mutex;
  std::vector<SoundBuffer::Voice*> voices;  // registered buffers (owned by their SoundBuffer)
  std::vector<AudioSource*> sources;
};

AudioMixer::AudioMixer() : impl_(std::make_unique<Impl>()) {}
AudioMixer::~AudioMixer() = default;

std::unique_lock<std::mutex> AudioMixer::Lock() const { return std::unique_lock<std::mutex>(impl_->mutex); }

void AudioMixer::Render(float* out, int frames) {
  if (frames <= 0) return;
  std::memset(out, 0, sizeof(float) * kMixChannels * static_cast<size_t>(frames));
  std::lock_guard<std::mutex> lock(impl_->mutex);
  for (SoundBuffer::Voice* v : impl_->voices)
    if (v->playing) v->Mix(out, frames);
  for (AudioSource* source : impl_->sources) source->MixInto(out, frames);
  for (int i = 0; i < frames * kMixChannels; ++i) out[i] = std::clamp(out[i], -1.0f, 1.0f);
}

void AudioMixer::RenderS16(int16_t* out, int frames) {
  std::vector<float> mix(static_cast<size_t>(std::max(frames, 0)) * kMixChannels);
  Render(mix.data(), frames);
  for (size_t i = 0; i < mix.size(); ++i) out[i] = static_cast<int16_t>(std::lrint(mix[i] * 32767.0f));
}

void AudioMixer::AddSource(AudioSource* source) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (std::find(impl_->sources.begin(), impl_->sources.end(), source) == impl_->sources.end())
    impl_->sources.push_back(source);
}

void AudioMixer::RemoveSource(AudioSource* source) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->sources.erase(std::remove(impl_->sources.begin(), impl_->sources.end(), source), impl_->sources.end());
}

int AudioMixer::PlayingVoices() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return static_cast<int>(std::count_if(impl_->voices.begin(), impl_->voices.end(),
                                        [](const SoundBuffer::Voice* v) { return v->playing; }));
}

AudioMixer& GlobalMixer() {
  static AudioMixer* mixer = new AudioMixer();  // never destroyed: the audio thread may outlive exit order
  return *mixer;
}

// ---------------------------------------------------------------------------

SoundBuffer::SoundBuffer(std::shared_ptr<Voice> voice, AudioMixer& mixer) : voice_(std::move(voice)), mixer_(&mixer) {
  std::lock_guard<std::mutex> lock(mixer_->impl_->mutex);
  mixer_->impl_->voices.push_back(voice_.get());
}

SoundBuffer::~SoundBuffer() {
  std::lock_guard<std::mutex> lock(mixer_->impl_->mutex);
  auto& v = mixer_->impl_->voices;
  v.erase(std::remove(v.begin(), v.end(), voice_.get()), v.end());
}

std::string WaveFormatProblem(const WaveFormat& format, size_t size) {
  const auto text = [](const char* pattern, auto... values) {
    char line[160];
    std::snprintf(line, sizeof line, pattern, values...);
    return std::string(line);
  };
  if (format.formatTag != kWaveFormatPcm)
    return text("format tag %u: only PCM samples (tag 1) are played", unsigned{format.formatTag});
  if (format.channels != 1 && format.channels != 2)
    return text("%u channels: a sound has 1 or 2", unsigned{format.channels});
  if (format.bitsPerSample != 8 && format.bitsPerSample != 16)
    return text("%u bits a sample: a sound has 8 or 16", unsigned{format.bitsPerSample});
  if (format.samplesPerSec < kFrequencyMin || format.samplesPerSec > kFrequencyMax)
    return text("a rate of %u Hz: a sound plays at %u to %u Hz", unsigned{format.samplesPerSec},
                unsigned{kFrequencyMin}, unsigned{kFrequencyMax});
  const uint32_t frameBytes = format.channels * (format.bitsPerSample / 8u);
  if (format.blockAlign != frameBytes)
    return text("a block align of %u bytes: a frame of %u channel%s of %u bits is %u", unsigned{format.blockAlign},
                unsigned{format.channels}, format.channels == 1 ? "" : "s", unsigned{format.bitsPerSample},
                unsigned{frameBytes});
  if (size < frameBytes) return text("%zu bytes of samples, less than one frame of %u", size, unsigned{frameBytes});
  return {};
}

std::unique_ptr<SoundBuffer> SoundBuffer::Create(const WaveFormat& format, const void* bytes, size_t size,
                                                 AudioMixer& mixer) {
  if (!bytes || !WaveFormatProblem(format, size).empty()) return nullptr;
  const uint32_t frameBytes = format.channels * (format.bitsPerSample / 8u);
  auto data = std::make_shared<SampleData>();
  data->format = format;
  data->frames = static_cast<uint32_t>(std::min<size_t>(size / frameBytes, UINT32_MAX / frameBytes));
  const size_t count = static_cast<size_t>(data->frames) * format.channels;
  data->samples.resize(count);
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  if (format.bitsPerSample == 8) {
    for (size_t i = 0; i < count; ++i) data->samples[i] = static_cast<int16_t>((p[i] - 128) * 256);
  } else {
    for (size_t i = 0; i < count; ++i)
      data->samples[i] = static_cast<int16_t>(static_cast<uint16_t>(p[2 * i] | (p[2 * i + 1] << 8)));
  }
  auto voice = std::make_shared<Voice>();
  voice->data = std::move(data);
  return std::unique_ptr<SoundBuffer>(new SoundBuffer(std::move(voice), mixer));
}

std::unique_ptr<SoundBuffer> SoundBuffer::Duplicate() const {
  auto voice = std::make_shared<Voice>();
  {
    auto lock = mixer_->Lock();
    voice->data = voice_->data;
    voice->volume = voice_->volume;
    voice->pan = voice_->pan;
    voice->frequency = voice_->frequency;
    voice->UpdateGains();
  }
  return std::unique_ptr<SoundBuffer>(new SoundBuffer(std::move(voice), *mixer_));
}

void SoundBuffer::Play(bool looping) {
  auto lock = mixer_->Lock();
  voice_->looping = looping;
  voice_->playing = true;
}

void SoundBuffer::Stop() {
  auto lock = mixer_->Lock();
  voice_->playing = false;
}

bool SoundBuffer::IsPlaying() const {
  auto lock = mixer_->Lock();
  return voice_->playing;
}

void SoundBuffer::SetCurrentPosition(uint32_t byteOffset) {
  auto lock = mixer_->Lock();
  uint32_t frame = byteOffset / voice_->data->format.blockAlign;
  voice_->position = std::min(frame, voice_->data->frames);
}

uint32_t SoundBuffer::GetCurrentPosition() const {
  auto lock = mixer_->Lock();
  return static_cast<uint32_t>(voice_->position) * voice_->data->format.blockAlign;
}

void SoundBuffer::SetVolume(int32_t volume) {
  auto lock = mixer_->Lock();
  voice_->volume = std::clamp(volume, kVolumeMin, kVolumeMax);
  voice_->UpdateGains();
}

int32_t SoundBuffer::GetVolume() const {
  auto lock = mixer_->Lock();
  return voice_->volume;
}

void SoundBuffer::SetPan(int32_t pan) {
  auto lock = mixer_->Lock();
  voice_->pan = std::clamp(pan, -10000, 10000);
  voice_->UpdateGains();
}

int32_t SoundBuffer::GetPan() const {
  auto lock = mixer_->Lock();
  return voice_->pan;
}

void SoundBuffer::SetFrequency(uint32_t hz) {
  auto lock = mixer_->Lock();
  voice_->frequency = hz == 0 ? 0 : std::clamp(hz, kFrequencyMin, kFrequencyMax);
}

uint32_t SoundBuffer::GetFrequency() const {
  auto lock = mixer_->Lock();
  return voice_->frequency ? voice_->frequency : voice_->data->format.samplesPerSec;
}

const WaveFormat& SoundBuffer::Format() const { return voice_->data->format; }
uint32_t SoundBuffer::SizeBytes() const { return voice_->data->frames * voice_->data->format.blockAlign; }

}  // namespace plat
