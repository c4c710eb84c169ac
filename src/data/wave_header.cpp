#include "data/wave_header.h"

namespace {

void PutLE(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

std::string PcmWaveHeader(uint16_t channels, uint32_t sampleRate, uint32_t dataBytes) {
  constexpr uint16_t kBytesPerSample = 2;
  std::string h = "RIFF";
  PutLE(h, 36 + dataBytes, 4);
  h += "WAVEfmt ";
  PutLE(h, 16, 4);  // the format chunk's size
  PutLE(h, 1, 2);   // PCM
  PutLE(h, channels, 2);
  PutLE(h, sampleRate, 4);
  PutLE(h, sampleRate * channels * kBytesPerSample, 4);  // bytes a second
  PutLE(h, channels * kBytesPerSample, 2);               // bytes a sample frame
  PutLE(h, kBytesPerSample * 8, 2);                      // bits a sample
  h += "data";
  PutLE(h, dataBytes, 4);
  return h;
}
