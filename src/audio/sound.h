// Sound effects: WAV files played from static sound buffers, one `cSound` per
// sound number. A sound has one or more buffers (duplicates sharing the first
// one's samples) that plays use in turn, so an effect can overlap itself.
//
// Threads: the main thread plays requested sounds (WM_USER+5) and the game
// thread plays the menu cursor sound, so every call here takes the module's
// lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/safe_containers.h"
#include "base/text_path.h"
#include "platform/audio_mixer.h"
#include "platform/messages.h"

inline constexpr uint32_t DSBPLAY_LOOPING = 1;

// What the sound list is built from: one per sound number.
struct DSSOUNDDESC {
  char szFileName[MAX_PATH] = {};  // the WAV file (program path)
  int32_t nBuffers = 1;            // buffers to make (below 1 counts as 1)
  int32_t nVolume = 0;             // hundredths of a decibel; 0 leaves the buffers at full volume
};

class cSound {
 public:
  cSound() = default;
  cSound(cSound&&) noexcept = default;
  cSound& operator=(cSound&&) noexcept = default;

  // Loads the wave and makes `count` buffers; a non-zero volume is set on
  // every buffer. True (and nothing made) without a sound device.
  bool Create(const char* fileName, int count, int volume);
  // Reads the WAV file and creates buffer `slot` from it.
  bool Load(int slot, const char* fileName);
  // Plays on the next buffer in turn (restarting it from the start).
  void Play(uint32_t flags);
  // Sets (relative = 1: adds to) the volume of one buffer, clamped to
  // -10000..0; returns the volume set, or 0 without that buffer.
  int SetVolume(int buffer, int volume, int relative);
  int GetVolume(int buffer) const;
  void Release();

  bool Created() const { return !m_Buffers.empty() && m_Buffers[0] != nullptr; }
  int Count() const { return m_nCount; }
  int Next() const { return m_nNext; }
  const char* Name() const { return m_szName; }
  // The buffers (tests): null entries for slots not made.
  plat::SoundBuffer* Buffer(int index) const;

 private:
  char m_szName[MAX_PATH] = {};
  std::vector<std::unique_ptr<plat::SoundBuffer>> m_Buffers;
  int32_t m_nCount = 0;
  int32_t m_nNext = 0;
};

// The error lines of a bad sound number carry the record's stored size, the
// figure people compare log lines against.
template <>
struct LegacyElementSize<cSound> {
  static constexpr int value = 284;
};

// A WAV file's wave as read by DSLoadWave.
struct WAVEDATA {
  plat::WaveFormat format;
  std::vector<uint8_t> samples;
};

// Why a RIFF parse failed; each failure has its own log line (or none).
enum class WaveParseResult {
  Ok,
  NotRiffWave,      // no RIFF chunk of form "WAVE": "…不正なファイルです。"
  NoFormatChunk,    // no "fmt " chunk: no message
  UnsupportedFormat,  // "fmt " of 19 bytes or more, or cut short: "…対応していない形式か…"
  NotPcm,           // format tag other than 1: "…PCM形式以外の形式です。…"
  NoData,           // no "data" chunk after "fmt ", or an empty one: no message
};

// Parses a WAV file held in memory. Chunk sizes are trusted only as far as
// the bytes go: a "data" chunk longer than the file is cut to what is there.
WaveParseResult ParseWave(const uint8_t* bytes, size_t size, WAVEDATA& wave);
// The log line (CP932 format with one %s for the file name) of a result, or
// null for results that log nothing.
const char* WaveParseMessage(WaveParseResult result);

// Reads and parses a WAV file; the parse's messages go to both logs.
bool DSLoadWave(const char* fileName, WAVEDATA& wave);

// Opens the sound device (falling back to a silent one when no sound card
// works; the fallback is logged). The format is the one the game asks for
// (22050 Hz, 8 bits, mono); the mix itself always runs at 44100 Hz stereo.
// The device is the process's: the window is not needed.
bool DS_Init(plat::WindowHandle window, uint32_t samplesPerSec, uint32_t bitsPerSample, uint32_t channels);
// Makes every sound of `list` that has no buffers yet from its descriptor
// (the list is first grown to the descriptors' count); volume 0 keeps each
// descriptor's own volume. Returns 1.
int DSCreateSoundList(cSafeVector<cSound>* list, std::vector<DSSOUNDDESC>* descs, int volume);
// Releases every sound of the list and closes the device.
void DSRelease();

// The sound-effect volume option (0..10) as hundredths of a decibel:
// -10000, -3000, -2000, -1300, -800, -500, -300, -150, -80, -30, 0.
int DSVolumeFromOption(int option);

// The game's sound list and its descriptors.
extern cSafeVector<cSound> g_SoundList;
extern std::vector<DSSOUNDDESC> g_SoundDescs;

// Start-up's part, from file names in sound-number order (sounds already in
// g_SoundList are released first): the descriptors
// get one buffer and volume 0 each; writes "DSCreate" to the error-check log
// and builds the list with the option's volume. Call after DS_Init.
int DSLoadSoundEffects(const std::vector<std::string>& fileNames, int volumeOption);

// WM_USER+5: plays sound `number` of g_SoundList. A bad number writes
// "err V[%d] ( %d , %d )" (number, count, 284) to both logs, posts WM_CLOSE
// and plays sound 0 (nothing when the list is empty). Returns 0.
int64_t DSPlayRequest(int64_t number);
