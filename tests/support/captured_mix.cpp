#include "support/captured_mix.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "support/test_files.h"

namespace {

uint32_t LE(const std::string& bytes, size_t at, int size) {
  uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

}  // namespace

CapturedMix ReadCapturedMix(const std::string& path) {
  CapturedMix mix;
  const std::string bytes = Slurp(path);
  if (bytes.size() < 44) return mix;
  mix.read = true;
  mix.chunkIds = bytes.substr(0, 4) + bytes.substr(8, 8) + bytes.substr(36, 4);
  mix.riffSize = LE(bytes, 4, 4);
  mix.fmtSize = LE(bytes, 16, 4);
  mix.format = static_cast<uint16_t>(LE(bytes, 20, 2));
  mix.channels = static_cast<uint16_t>(LE(bytes, 22, 2));
  mix.rate = LE(bytes, 24, 4);
  mix.byteRate = LE(bytes, 28, 4);
  mix.blockAlign = static_cast<uint16_t>(LE(bytes, 32, 2));
  mix.bits = static_cast<uint16_t>(LE(bytes, 34, 2));
  mix.dataSize = LE(bytes, 40, 4);
  mix.samples.resize((bytes.size() - 44) / 2);
  for (size_t i = 0; i < mix.samples.size(); ++i) mix.samples[i] = static_cast<int16_t>(LE(bytes, 44 + 2 * i, 2));
  return mix;
}

size_t ClippedSamples(const CapturedMix& mix) {
  return static_cast<size_t>(
      std::count_if(mix.samples.begin(), mix.samples.end(), [](int16_t s) { return s >= 32767 || s <= -32767; }));
}

int PeakSample(const CapturedMix& mix) {
  int peak = 0;
  for (int16_t s : mix.samples) peak = std::max(peak, std::abs(static_cast<int>(s)));
  return peak;
}

double MixRms(const CapturedMix& mix, uint32_t first, uint32_t last, const CapturedMix* less) {
  const size_t perFrame = size_t{kMixFramesPerGameFrame} * 2;
  const size_t begin = (first - 1) * perFrame, end = last * perFrame;
  if (first < 1 || last < first || end > mix.samples.size() || (less && end > less->samples.size())) return 0.0;
  double sum = 0.0;
  for (size_t i = begin; i < end; ++i) {
    const double s = static_cast<double>(mix.samples[i]) - (less ? less->samples[i] : 0);
    sum += s * s;
  }
  return std::sqrt(sum / static_cast<double>(end - begin));
}
