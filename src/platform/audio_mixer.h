// The software mixer every sound of the game goes through: static sound
// buffers (the sound effects), and streaming sources (the Ogg player, the MIDI
// synthesiser). The mix is 44100 Hz stereo float; the audio device pulls it
// from its own thread, while tests and tools pull it directly (RenderS16) with
// no device at all, which makes the output deterministic.
//
// Thread safety: every call here may come from any thread (the main thread
// plays requested effects, the game thread the menu cursor sound). One mutex
// per mixer guards the voices and the source list; a source's MixInto runs
// with that mutex held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace plat {

inline constexpr int kMixRate = 44100;  // frames per second of the mix
inline constexpr int kMixChannels = 2;  // interleaved left, right

// A streaming producer of sound (Ogg player, MIDI synthesiser).
class AudioSource {
 public:
  virtual ~AudioSource() = default;
  // Adds `frames` stereo frames (interleaved, full scale ±1.0) to `out`.
  // Called with the mixer's lock held, on whichever thread pulls the mix.
  virtual void MixInto(float* out, int frames) = 0;
};

// A wave's format as stored in a WAV file's "fmt " chunk (little-endian
// fields of 16 or 18 bytes).
struct WaveFormat {
  uint16_t formatTag = 0;  // 1 = PCM
  uint16_t channels = 0;
  uint32_t samplesPerSec = 0;
  uint32_t avgBytesPerSec = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
  uint16_t cbSize = 0;
};
inline constexpr uint16_t kWaveFormatPcm = 1;

// Volumes are in hundredths of a decibel: 0 is the wave's own level, -10000
// silence; the gain is 10^(volume / 2000). Pans run from -10000 (left only)
// to 10000 (right only): the other side is attenuated by that many
// hundredths of a decibel.
inline constexpr int32_t kVolumeMin = -10000;
inline constexpr int32_t kVolumeMax = 0;
inline constexpr uint32_t kFrequencyMin = 100;     // Hz
inline constexpr uint32_t kFrequencyMax = 200000;  // Hz
double GainFromHundredthsDb(int32_t volume);

class AudioMixer {
 public:
  AudioMixer();
  ~AudioMixer();
  AudioMixer(const AudioMixer&) = delete;
  AudioMixer& operator=(const AudioMixer&) = delete;

  // Writes `frames` frames of the mix (overwrites `out`), clamped to ±1.0.
  void Render(float* out, int frames);
  // The same as signed 16-bit samples.
  void RenderS16(int16_t* out, int frames);

  // Sources stay registered until removed; RemoveSource returns only when the
  // source is no longer being mixed, so its owner may then free it.
  void AddSource(AudioSource* source);
  void RemoveSource(AudioSource* source);

  // Sound buffers currently playing (tests and the benchmark).
  int PlayingVoices() const;

  // The lock sources share for their control calls.
  std::unique_lock<std::mutex> Lock() const;

  struct Impl;

 private:
  friend class SoundBuffer;
  std::unique_ptr<Impl> impl_;
};

// The mixer the audio device plays (and that tools pull directly).
AudioMixer& GlobalMixer();

// Why a wave of `format` with `size` bytes of samples cannot be played as a
// sound buffer (the rules of SoundBuffer::Create, in words: "2 bits a
// sample: ..."); empty when it can.
std::string WaveFormatProblem(const WaveFormat& format, size_t size);

// A static sound buffer: the whole wave in memory, played once or looping.
// Duplicates share the samples but keep their own position, volume, pan,
// frequency and playing state, so one sound can overlap itself.
class SoundBuffer {
 public:
  // Null when the format cannot be played: not PCM, not 1 or 2 channels, not
  // 8 (unsigned) or 16 (signed) bits, a rate outside 100..200000 Hz, a block
  // align that does not match, or fewer bytes than one frame. A partial last
  // frame is dropped.
  static std::unique_ptr<SoundBuffer> Create(const WaveFormat& format, const void* bytes, size_t size,
                                             AudioMixer& mixer = GlobalMixer());
  ~SoundBuffer();
  SoundBuffer(const SoundBuffer&) = delete;
  SoundBuffer& operator=(const SoundBuffer&) = delete;

  std::unique_ptr<SoundBuffer> Duplicate() const;

  // Starts from the current position (looping: wraps to the start at the end).
  void Play(bool looping);
  // Stops; the position stays where it was.
  void Stop();
  bool IsPlaying() const;
  // Byte offsets into the wave, as the file stores it (rounded down to a frame).
  void SetCurrentPosition(uint32_t byteOffset);
  uint32_t GetCurrentPosition() const;

  // Clamped to -10000..0.
  void SetVolume(int32_t volume);
  int32_t GetVolume() const;
  // Clamped to -10000..10000.
  void SetPan(int32_t pan);
  int32_t GetPan() const;
  // 0 restores the wave's own rate; others are clamped to 100..200000 Hz.
  void SetFrequency(uint32_t hz);
  uint32_t GetFrequency() const;

  const WaveFormat& Format() const;
  uint32_t SizeBytes() const;  // whole frames only

  struct Voice;

 private:
  SoundBuffer(std::shared_ptr<Voice> voice, AudioMixer& mixer);
  std::shared_ptr<Voice> voice_;
  AudioMixer* mixer_;
};

}  // namespace plat
