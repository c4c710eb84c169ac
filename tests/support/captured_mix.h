// The WAV files `pelmora-tool play --sound` writes, read back by tests: the
// header's fields as they stand in the file, the samples, and the levels
// tests look at.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// 44100 / 60: what the tool promises for each frame of the game.
inline constexpr uint32_t kMixFramesPerGameFrame = 735;

struct CapturedMix {
  bool read = false;     // the file held a whole 44-byte header
  std::string chunkIds;  // the four chunk and form ids in file order ("RIFFWAVEfmt data")
  uint32_t riffSize = 0, fmtSize = 0;
  uint16_t format = 0, channels = 0;
  uint32_t rate = 0, byteRate = 0;
  uint16_t blockAlign = 0, bits = 0;
  uint32_t dataSize = 0;
  std::vector<int16_t> samples;  // every byte after the header, interleaved left, right
};

CapturedMix ReadCapturedMix(const std::string& path);

// Samples at full scale (32767 or -32767 and below): where the mixer clamped.
size_t ClippedSamples(const CapturedMix& mix);
// The largest magnitude of a sample.
int PeakSample(const CapturedMix& mix);
// The RMS level of game frames `first` to `last` (counted from 1) of `mix`,
// or of `mix` less `less` sample by sample (0 when the frames are not there).
double MixRms(const CapturedMix& mix, uint32_t first, uint32_t last, const CapturedMix* less = nullptr);
