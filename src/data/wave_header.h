// The header of a PCM WAV file of 16-bit samples: what the tools and the
// sound capture of a scripted play write before the samples.
#pragma once

#include <cstdint>
#include <string>

// "RIFF" ... "data" and its size: 44 bytes for `channels` interleaved
// channels at `sampleRate` sample frames a second, `dataBytes` of samples
// to follow.
std::string PcmWaveHeader(uint16_t channels, uint32_t sampleRate, uint32_t dataBytes);
