// The SoundFont file looked at before FluidSynth opens it: the library
// waits for ever on a named pipe, and what it cannot read it reports through
// its own lines on the standard error (its second loader's assertions), not
// to us. What passes is a regular, readable file of a bounded size laid out
// as FluidSynth reads a SoundFont 2: a RIFF "sfbk" form exactly as long as
// the file, holding its INFO, sdta and pdta lists in that order.
#pragma once

#include <cstdint>
#include <string>

namespace plat {

// Largest SoundFont taken, in bytes; its samples are read into memory.
inline constexpr uint64_t kMaxSoundFontBytes = uint64_t{2} << 30;

// Why the file at `path` (a Linux path) is no SoundFont to hand to
// FluidSynth, in words for the log ("not a file: it is a named pipe", "the
// file is empty", the system's reason it cannot be opened ...); empty when
// it is laid out as one.
std::string SoundFontFileProblem(const std::string& path);

}  // namespace plat
