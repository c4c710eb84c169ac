// Ogg Vorbis encoding of PCM held in memory (libvorbisenc): tests, the
// benchmark and tools make Ogg files with known lengths from it.
#pragma once

#include <cstdint>
#include <string>

namespace plat {

// `frames` frames of interleaved 16-bit samples; quality -0.1 .. 1.0.
// Empty when the encoder refuses the parameters.
std::string EncodeOggVorbis(const int16_t* samples, long frames, int channels, long rate, float quality = 0.3f);

}  // namespace plat
