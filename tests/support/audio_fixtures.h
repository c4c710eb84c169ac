// Byte builders for sound test fixtures, written from the file formats
// (RIFF/WAVE chunks, standard MIDI file chunks and events), independent of
// the runtime's readers and of the demo writers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace fixtures {

inline void LE16(std::string& s, uint32_t v) { s += {char(v), char(v >> 8)}; }
inline void LE32(std::string& s, uint32_t v) { s += {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
inline void BE16(std::string& s, uint32_t v) { s += {char(v >> 8), char(v)}; }
inline void BE32(std::string& s, uint32_t v) { s += {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

// A chunk: id, little-endian size (or `declared` when given), data, pad byte.
inline std::string RiffChunk(const std::string& id, const std::string& data, int64_t declared = -1) {
  std::string s = id;
  LE32(s, declared >= 0 ? static_cast<uint32_t>(declared) : static_cast<uint32_t>(data.size()));
  s += data;
  if (data.size() & 1) s.push_back('\0');
  return s;
}

// The "fmt " fields; `size` 16 leaves out cbSize, 18 keeps it, more pads zeros.
inline std::string FmtData(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, size_t size = 16) {
  std::string s;
  const uint16_t align = static_cast<uint16_t>(channels * (bits / 8));
  LE16(s, tag), LE16(s, channels), LE32(s, rate), LE32(s, rate * align), LE16(s, align), LE16(s, bits);
  s.resize(std::max(s.size(), size), '\0');
  return s;
}

inline std::string Wave(const std::string& chunks) { return RiffChunk("RIFF", "WAVE" + chunks); }

inline std::string Pcm16(const std::vector<int16_t>& samples) {
  std::string s;
  for (int16_t v : samples) LE16(s, static_cast<uint16_t>(v));
  return s;
}

inline std::string WavePcm16(uint16_t channels, uint32_t rate, const std::vector<int16_t>& samples) {
  return Wave(RiffChunk("fmt ", FmtData(1, channels, rate, 16)) + RiffChunk("data", Pcm16(samples)));
}

// --- standard MIDI files -------------------------------------------------

inline std::string Vlq(uint32_t v) {
  std::string s;
  uint8_t groups[5];
  int n = 0;
  do {
    groups[n++] = v & 0x7F;
    v >>= 7;
  } while (v);
  for (int i = n - 1; i >= 0; --i) s.push_back(static_cast<char>(groups[i] | (i ? 0x80 : 0)));
  return s;
}

inline std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

inline std::string Tempo(uint32_t micros) {
  return Bytes({0xFF, 0x51, 0x03, static_cast<int>(micros >> 16), static_cast<int>((micros >> 8) & 0xFF),
                static_cast<int>(micros & 0xFF)});
}
inline std::string EndOfTrack() { return Bytes({0xFF, 0x2F, 0x00}); }

inline std::string Track(const std::string& events, int64_t declared = -1) {
  std::string s = "MTrk";
  BE32(s, declared >= 0 ? static_cast<uint32_t>(declared) : static_cast<uint32_t>(events.size()));
  return s + events;
}

inline std::string Smf(uint16_t format, uint16_t tracks, uint16_t division, const std::string& trackChunks) {
  std::string s = "MThd";
  BE32(s, 6), BE16(s, format), BE16(s, tracks), BE16(s, division);
  return s + trackChunks;
}

// --- SoundFont 2 files ---------------------------------------------------

// A RIFF "sfbk" form of three lists with the types given, each holding
// `body` (a SoundFont 2 holds INFO, sdta and pdta in this order). With empty
// bodies it is laid out as a SoundFont but holds none: FluidSynth refuses it.
inline std::string SoundFontForm(const std::string& body = "", const char* first = "INFO",
                                 const char* second = "sdta", const char* third = "pdta") {
  std::string lists;
  for (const char* type : {first, second, third}) lists += RiffChunk("LIST", type + body);
  return RiffChunk("RIFF", "sfbk" + lists);
}

}  // namespace fixtures
