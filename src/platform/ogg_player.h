// The Ogg Vorbis player object (what the music library's "CreateVox" hands
// out). Its virtual operations sit in a fixed slot order that callers rely on:
//   0 Load(path)  1 Play  2 Stop  3 PrepareLoad (before every load)
//   4 SetLoopCount (0x7fffffff endless, 0 once, n: n more times)
//   5 Pause  6 SetVolume (0.0 .. 1.0)  7 IsPlaying  8 LengthSeconds  9 Release
// The whole file is read into memory (through the path layer) and decoded
// there with libvorbisfile, a little ahead of the mix, on the mixing thread.
// Objects are created by CreateOggPlayerObject and end with Release.
#pragma once

#include <cstdint>
#include <string>

namespace plat {

inline constexpr uint32_t kOggLoopForever = 0x7fffffff;

class OggPlayerObject {
 public:
  virtual bool Load(const char* path) = 0;           // 0: true when the file decodes
  virtual void Play() = 0;                           // 1: from the start after a load, else resumes
  virtual void Stop() = 0;                           // 2: stops and rewinds
  virtual void PrepareLoad() = 0;                    // 3: stops, forgets the file, volume back to 1.0
  virtual void SetLoopCount(uint32_t count) = 0;     // 4
  virtual void Pause() = 0;                          // 5
  virtual void SetVolume(float volume) = 0;          // 6: clamped to 0..1
  virtual bool IsPlaying() const = 0;                // 7
  virtual double LengthSeconds() const = 0;          // 8: of the loaded file, 0 without one
  virtual void Release() = 0;                        // 9: the object is gone afterwards

 protected:
  OggPlayerObject() = default;
  ~OggPlayerObject() = default;  // through Release only
};

// A new player object, mixing into GlobalMixer() (null when out of memory).
OggPlayerObject* CreateOggPlayerObject();

// Reading without playing (tools, tests): the length in seconds of Ogg
// Vorbis bytes, or a negative value when they do not decode.
double OggLengthSeconds(const std::string& bytes);

}  // namespace plat
