// The demo project's sounds, synthesised by code: sound effects under
// "wave\" (16-bit mono 22050 Hz WAVs) and its music under "bgm\": the title
// tune, written note by note, and a tune for the map, each stage and the
// ending, made from a chord progression and a melodic motif; each is a
// short looping piece written as a format-1 standard MIDI file.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "data/wave_header.h"
#include "demo_media.h"
#include "tool.h"

namespace {

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;

void Put16(std::string& s, uint16_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>(v >> 8));
}

// `samples` (full scale ±1.0) written `gainDb` decibels quieter.
std::string MonoWave(const std::vector<double>& samples, double gainDb) {
  const double gain = std::pow(10.0, gainDb / 20.0);
  std::string out = PcmWaveHeader(1, kRate, static_cast<uint32_t>(samples.size() * 2));
  for (double s : samples) {
    double c = std::fmax(-1.0, std::fmin(1.0, s * gain));
    Put16(out, static_cast<uint16_t>(static_cast<int16_t>(std::lrint(c * 32000))));
  }
  return out;
}

// A tiny deterministic noise source (the same bytes on every build).
struct Noise {
  uint32_t state = 0x12345678;
  double Next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<double>(state >> 8) / (1 << 23) - 1.0;
  }
};

// `seconds` of sound from f(t, progress 0..1), with a 2 ms fade at both ends.
std::vector<double> Render(double seconds, const std::function<double(double, double)>& f) {
  int n = static_cast<int>(seconds * kRate);
  std::vector<double> out(static_cast<size_t>(n));
  double fade = 0.002 * kRate;
  for (int i = 0; i < n; ++i) {
    double t = static_cast<double>(i) / kRate;
    double edge = std::fmin(1.0, std::fmin(i / fade, (n - 1 - i) / fade));
    out[static_cast<size_t>(i)] = f(t, static_cast<double>(i) / n) * edge;
  }
  return out;
}

double Square(double phase) { return std::fmod(phase, 1.0) < 0.5 ? 1.0 : -1.0; }

// A sweep's phase: integral of a linear frequency glide from f0 to f1 over d seconds.
double Glide(double t, double f0, double f1, double d) { return f0 * t + (f1 - f0) * t * t / (2 * d); }

// Square-wave notes one after another, `step` seconds each, the last one
// dying away.
std::vector<double> Arpeggio(double seconds, std::vector<double> notes, double step) {
  return Render(seconds, [notes, step](double t, double) {
    const size_t last = notes.size() - 1;
    const size_t i = std::min(last, static_cast<size_t>(t / step));
    const double env = i < last ? 1.0 : std::exp(-(t - step * static_cast<double>(i)) * 6);
    return 0.3 * Square(notes[i] * t) * env;
  });
}

std::vector<std::pair<std::string, std::vector<double>>> SoundEffects() {
  std::vector<std::pair<std::string, std::vector<double>>> list;
  list.emplace_back("cursor", Render(0.05, [](double t, double p) { return 0.35 * Square(1200 * t) * (1 - p); }));
  list.emplace_back("decide", Render(0.16, [](double t, double p) {
                      double f = t < 0.06 ? 880 : 1320;
                      return 0.35 * Square(f * t) * (1 - p * 0.8);
                    }));
  list.emplace_back("cancel", Render(0.16, [](double t, double p) {
                      double f = t < 0.07 ? 660 : 440;
                      return 0.35 * Square(f * t) * (1 - p * 0.8);
                    }));
  list.emplace_back("jump", Render(0.18, [](double t, double p) {
                      return 0.5 * std::sin(2 * kPi * Glide(t, 300, 900, 0.18)) * (1 - p);
                    }));
  Noise shotNoise;
  list.emplace_back("shot", Render(0.12, [&](double t, double p) {
                      return (0.3 * Square(Glide(t, 1500, 300, 0.12)) + 0.15 * shotNoise.Next()) * (1 - p);
                    }));
  list.emplace_back("coin", Render(0.3, [](double t, double p) {
                      double f = t < 0.06 ? 988 : 1319;
                      double env = t < 0.06 ? 1.0 : std::exp(-(t - 0.06) * 9);
                      return 0.3 * Square(f * t) * env;
                    }));
  Noise hurtNoise;
  list.emplace_back("damage", Render(0.25, [&](double t, double p) {
                      return (0.3 * Square(Glide(t, 220, 90, 0.25)) + 0.2 * hurtNoise.Next()) * (1 - p);
                    }));
  Noise boomNoise;
  double low = 0.0;
  list.emplace_back("explosion", Render(0.7, [&](double, double p) {
                      low += (boomNoise.Next() - low) * (0.25 * (1 - p) + 0.03);  // darker as it fades
                      return 0.9 * low * std::pow(1 - p, 2);
                    }));
  list.emplace_back("clear", Arpeggio(0.6, {523.25, 659.25, 783.99, 1046.5}, 0.1));
  list.emplace_back("buzzer", Render(0.25, [](double t, double p) { return 0.3 * Square(110 * t) * (1 - p * 0.5); }));
  list.emplace_back("pause", Arpeggio(0.2, {880, 660}, 0.08));
  list.emplace_back("saved", Arpeggio(0.45, {659.25, 783.99, 987.77, 1318.5}, 0.08));
  list.emplace_back("page", Render(0.08, [](double t, double p) { return 0.3 * Square(Glide(t, 600, 1200, 0.08)) * (1 - p); }));
  list.emplace_back("miss", Render(0.9, [](double t, double p) {
                      return 0.35 * Square(Glide(t, 700, 120, 0.9)) * (1 - p) * (std::fmod(t, 0.12) < 0.08 ? 1 : 0.3);
                    }));
  list.emplace_back("pop", Render(0.12, [](double t, double p) { return 0.45 * std::sin(2 * kPi * Glide(t, 900, 200, 0.12)) * (1 - p); }));
  list.emplace_back("spring", Render(0.35, [](double t, double p) {
                      return 0.4 * std::sin(2 * kPi * (Glide(t, 200, 700, 0.35) + 3 * std::sin(2 * kPi * 18 * t))) * (1 - p);
                    }));
  list.emplace_back("message", Arpeggio(0.15, {1174.66, 1567.98}, 0.05));
  list.emplace_back("warning", Render(0.2, [](double t, double p) { return 0.3 * Square(1760 * t) * (p < 0.5 ? 1 : 0); }));
  list.emplace_back("oneup", Arpeggio(0.6, {659.25, 783.99, 1318.5, 1046.5, 1174.66, 1567.98}, 0.08));
  list.emplace_back("ranking", Arpeggio(0.8, {783.99, 987.77, 1174.66, 1567.98}, 0.12));
  Noise swordNoise;
  list.emplace_back("sword", Render(0.15, [&](double, double p) { return 0.35 * swordNoise.Next() * std::sin(kPi * p); }));
  Noise roarNoise;
  list.emplace_back("roar", Render(0.8, [&](double t, double p) {
                      return (0.35 * Square(Glide(t, 90, 60, 0.8)) + 0.25 * roarNoise.Next()) * std::sin(kPi * p);
                    }));
  list.emplace_back("powerup", Render(0.4, [](double t, double p) {
                      return 0.3 * Square(Glide(t, 400, 1600, 0.4) + 0.5 * std::fmod(t * 30, 1.0)) * (1 - p * 0.5);
                    }));
  list.emplace_back("warp", Render(0.3, [](double t, double p) { return 0.35 * std::sin(2 * kPi * Glide(t, 1600, 200, 0.3)) * (1 - p); }));
  return list;
}

// How loud each sound effect is written: decibels added to the shape drawn
// above (whose amplitudes keep the sounds' balance among themselves). The
// game mixes every sound and its tune at the levels its files hold, so this
// is the demo's headroom. The most meet in the master's hall: each hit on
// the master sounds the damage twice (the system's sound for a hurt
// character, then the hall's own) over the hero's shots, the master's shots
// and roars and the hall's tune, and the sum must stay below full scale
// there, with room left for the sound option's top step (1.5 dB above its
// default). The menus' sounds, heard over a tune alone, are cut the least;
// the stages' sounds, more often heard together, more; the tune stays
// clearly heard under them.
struct EffectLevel {
  const char* name;
  double db;
};
constexpr EffectLevel kEffectLevels[] = {
    // the menus, the messages, the end of a stage
    {"cursor", -6}, {"decide", -6}, {"cancel", -6}, {"buzzer", -6}, {"pause", -6}, {"saved", -6}, {"page", -6},
    {"message", -6}, {"warning", -6}, {"ranking", -6}, {"oneup", -6}, {"clear", -6}, {"miss", -6},
    // the stages
    {"coin", -7}, {"spring", -7}, {"sword", -7}, {"powerup", -7}, {"warp", -7},
    {"jump", -8}, {"pop", -8}, {"roar", -8}, {"explosion", -8},
    {"shot", -9},     // the most frequent
    {"damage", -10},  // sounded twice for each hit on the master
};

// The level of sound `name`; false when the table has none.
bool EffectLevelOf(const std::string& name, double& db) {
  for (const EffectLevel& level : kEffectLevels)
    if (name == level.name) {
      db = level.db;
      return true;
    }
  return false;
}

// --- the title tune -----------------------------------------------------

struct Note {
  int tick, length, key, velocity;
};

void PutVlq(std::string& s, uint32_t v) {
  uint8_t groups[4];
  int n = 0;
  do {
    groups[n++] = v & 0x7F;
    v >>= 7;
  } while (v && n < 4);
  for (int i = n - 1; i >= 0; --i) s.push_back(static_cast<char>(groups[i] | (i ? 0x80 : 0)));
}

void PutBE32(std::string& s, uint32_t v) {
  for (int i = 3; i >= 0; --i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::string TrackChunk(const std::string& events) {
  std::string out = "MTrk";
  PutBE32(out, static_cast<uint32_t>(events.size()));
  return out + events;
}

// One channel's notes as a track (note on / note off pairs in time order).
std::string NoteTrack(int channel, int program, int volume, const std::vector<Note>& notes, int endTick) {
  struct Ev {
    int tick, order, status, a, b;
  };
  std::vector<Ev> evs;
  for (const Note& n : notes) {
    evs.push_back({n.tick, 1, 0x90 | channel, n.key, n.velocity});
    evs.push_back({n.tick + n.length, 0, 0x80 | channel, n.key, 0});
  }
  std::stable_sort(evs.begin(), evs.end(), [](const Ev& x, const Ev& y) {
    return x.tick != y.tick ? x.tick < y.tick : x.order < y.order;
  });
  std::string t;
  t += '\0';
  t += static_cast<char>(0xB0 | channel);
  t += static_cast<char>(7);
  t += static_cast<char>(volume);
  if (channel != 9) {
    t += '\0';
    t += static_cast<char>(0xC0 | channel);
    t += static_cast<char>(program);
  }
  int last = 0;
  for (const Ev& e : evs) {
    PutVlq(t, static_cast<uint32_t>(e.tick - last));
    last = e.tick;
    t += static_cast<char>(e.status);
    t += static_cast<char>(e.a);
    t += static_cast<char>(e.b);
  }
  PutVlq(t, static_cast<uint32_t>(endTick - last));
  t += "\xFF\x2F";
  t += '\0';
  return TrackChunk(t);
}

std::string TitleTune() {
  const int q = 480;        // ticks per quarter note
  const int bar = 4 * q;
  const int bars = 8;
  const int end = bars * bar;
  // I - vi - IV - V, twice, in C major.
  const int roots[8] = {48, 45, 41, 43, 48, 45, 41, 43};
  const int thirds[8] = {4, 3, 4, 4, 4, 3, 4, 4};
  std::vector<Note> melody, chords, bass, drums;
  // The melody, as (bar, beat in eighths, length in eighths, key).
  const int tune[][4] = {
      {0, 0, 2, 76}, {0, 2, 2, 79}, {0, 4, 3, 84}, {0, 7, 1, 83},
      {1, 0, 2, 81}, {1, 2, 2, 79}, {1, 4, 4, 76},
      {2, 0, 2, 77}, {2, 2, 2, 81}, {2, 4, 3, 84}, {2, 7, 1, 81},
      {3, 0, 3, 79}, {3, 3, 1, 77}, {3, 4, 4, 74},
      {4, 0, 2, 76}, {4, 2, 2, 79}, {4, 4, 3, 84}, {4, 7, 1, 86},
      {5, 0, 2, 88}, {5, 2, 2, 86}, {5, 4, 4, 84},
      {6, 0, 2, 81}, {6, 2, 2, 84}, {6, 4, 2, 83}, {6, 6, 2, 81},
      {7, 0, 4, 79}, {7, 4, 2, 74}, {7, 6, 2, 71},
  };
  for (const auto& n : tune) melody.push_back({n[0] * bar + n[1] * q / 2, n[2] * q / 2 - 20, n[3], 100});
  for (int b = 0; b < bars; ++b) {
    int root = roots[b];
    for (int beat = 0; beat < 4; beat += 2) {
      int t = b * bar + beat * q;
      chords.push_back({t, 2 * q - 30, root + 12, 60});
      chords.push_back({t, 2 * q - 30, root + 12 + thirds[b], 60});
      chords.push_back({t, 2 * q - 30, root + 19, 60});
    }
    for (int beat = 0; beat < 4; ++beat) {
      int key = beat % 2 ? root + 7 : root;
      bass.push_back({b * bar + beat * q, q - 40, key - 12, 90});
      drums.push_back({b * bar + beat * q, 60, beat % 2 ? 38 : 36, beat % 2 ? 80 : 100});
      drums.push_back({b * bar + beat * q + q / 2, 60, 42, 55});
      drums.push_back({b * bar + beat * q, 60, 42, 65});
    }
  }
  std::string conductor;
  conductor += '\0';
  conductor += "\xFF\x03";
  conductor += static_cast<char>(5);
  conductor += "Title";
  conductor += '\0';
  conductor += "\xFF\x51\x03";
  conductor += static_cast<char>(0x07);  // 500000 µs per quarter: 120 beats per minute
  conductor += static_cast<char>(0xA1);
  conductor += static_cast<char>(0x20);
  conductor += '\0';
  conductor += "\xFF\x58\x04\x04\x02\x18\x08";
  PutVlq(conductor, static_cast<uint32_t>(end));
  conductor += "\xFF\x2F";
  conductor += '\0';

  std::string file = "MThd";
  PutBE32(file, 6);
  file += '\0';
  file += '\x01';  // format 1
  file += '\0';
  file += '\x05';  // five tracks
  file += static_cast<char>(q >> 8);
  file += static_cast<char>(q & 0xFF);
  file += TrackChunk(conductor);
  file += NoteTrack(0, 73, 100, melody, end);  // flute
  file += NoteTrack(1, 4, 70, chords, end);    // electric piano
  file += NoteTrack(2, 33, 100, bass, end);    // finger bass
  file += NoteTrack(9, 0, 80, drums, end);
  return file;
}

// ---- the other tunes ------------------------------------------------------

// A tune made from eight bars of chords and a motif: each bar plays the
// motif over its chord, one eighth note a step, each step a chord tone
// (0 the root, 1 the third, 2 the fifth, 3 the octave ...; -1 a rest); odd
// bars play it a tone higher in the chord. Pads hold the chords, the bass
// walks root and fifth, and the drums keep one of three patterns.
struct TuneSpec {
  const char* file;  // under "bgm\"
  int bpm;
  int roots[8];      // each bar's chord root (a MIDI key of the bass octave)
  bool minor[8];
  int lead, pad, bass;  // General MIDI programs
  int motif[8];
  int leadOctave;  // semitones from the root to the melody
  int drums;       // 0 none, 1 steady, 2 driving, 3 heavy
};

constexpr TuneSpec kTunes[] = {
    {"Map.mid", 100, {48, 43, 45, 41, 48, 43, 41, 43}, {0, 0, 1, 0, 0, 0, 0, 0}, 71, 48, 32,
     {0, -1, 1, 2, 3, -1, 2, 1}, 24, 1},
    {"Meadow.mid", 140, {41, 48, 50, 46, 41, 48, 46, 48}, {0, 0, 1, 0, 0, 0, 0, 0}, 80, 5, 38,
     {0, 1, 2, 3, 2, 1, 2, -1}, 24, 1},
    {"Tower.mid", 120, {45, 41, 43, 40, 45, 41, 43, 44}, {1, 0, 0, 1, 1, 0, 0, 0}, 11, 48, 33,
     {3, 2, 1, 2, 0, 2, 1, 2}, 24, 1},
    {"Sky.mid", 150, {50, 45, 47, 43, 50, 45, 43, 45}, {0, 0, 1, 0, 0, 0, 0, 0}, 81, 89, 38,
     {0, 2, 3, 2, 4, 3, 2, 1}, 24, 2},
    {"Wind.mid", 160, {40, 48, 50, 47, 40, 48, 50, 47}, {1, 0, 0, 0, 1, 0, 0, 0}, 30, 48, 34,
     {0, 0, 2, 0, 3, 2, 1, 2}, 24, 2},
    {"Castle.mid", 170, {48, 44, 46, 43, 48, 44, 46, 43}, {1, 0, 0, 0, 1, 0, 0, 0}, 19, 48, 34,
     {0, 1, 0, 2, 0, 3, 2, 1}, 24, 3},
    {"Ending.mid", 90, {48, 45, 41, 43, 48, 45, 41, 43}, {0, 1, 0, 0, 0, 1, 0, 0}, 73, 48, 32,
     {2, -1, 1, 0, 1, 2, 3, -1}, 24, 0},
};

std::string Conductor(const char* name, int bpm, int end) {
  std::string c;
  c += '\0';
  c += "\xFF\x03";
  c += static_cast<char>(std::strlen(name));
  c += name;
  c += '\0';
  c += "\xFF\x51\x03";
  const uint32_t micros = 60000000u / static_cast<uint32_t>(bpm);  // per quarter note
  c += static_cast<char>(micros >> 16 & 0xFF);
  c += static_cast<char>(micros >> 8 & 0xFF);
  c += static_cast<char>(micros & 0xFF);
  c += '\0';
  c += "\xFF\x58\x04\x04\x02\x18\x08";
  PutVlq(c, static_cast<uint32_t>(end));
  c += "\xFF\x2F";
  c += '\0';
  return TrackChunk(c);
}

std::string MidiFile(const std::string& conductor, const std::vector<std::string>& tracks, int ticksPerQuarter) {
  std::string file = "MThd";
  PutBE32(file, 6);
  file += '\0';
  file += '\x01';  // format 1
  file += '\0';
  file += static_cast<char>(1 + tracks.size());
  file += static_cast<char>(ticksPerQuarter >> 8);
  file += static_cast<char>(ticksPerQuarter & 0xFF);
  file += conductor;
  for (const std::string& track : tracks) file += track;
  return file;
}

std::string MakeTune(const TuneSpec& spec) {
  const int q = 480, bar = 4 * q, end = 8 * bar;
  std::vector<Note> melody, chords, bass, drums;
  for (int b = 0; b < 8; ++b) {
    const int root = spec.roots[b];
    const int tones[3] = {0, spec.minor[b] ? 3 : 4, 7};
    auto tone = [&](int step) { return tones[step % 3] + 12 * (step / 3); };
    for (int i = 0; i < 8; ++i) {
      if (spec.motif[i] < 0) continue;
      const int step = spec.motif[i] + (b % 2);
      melody.push_back({b * bar + i * q / 2, q / 2 - 20, root + spec.leadOctave + tone(step), 96});
    }
    for (int t = 0; t < 3; ++t) chords.push_back({b * bar, bar - 40, root + 12 + tones[t], 55});
    for (int beat = 0; beat < 4; ++beat) {
      bass.push_back({b * bar + beat * q, q - 40, root - 12 + (beat % 2 ? 7 : 0), 90});
      const int t = b * bar + beat * q;
      switch (spec.drums) {
        case 1:
          drums.push_back({t, 60, beat % 2 ? 38 : 36, 80});
          drums.push_back({t + q / 2, 60, 42, 50});
          break;
        case 2:
          drums.push_back({t, 60, beat % 2 ? 38 : 36, 100});
          drums.push_back({t, 60, 42, 60});
          drums.push_back({t + q / 2, 60, 42, 60});
          if (beat == 3) drums.push_back({t + q / 2, 60, 36, 80});
          break;
        case 3:
          drums.push_back({t, 60, 36, 110});
          drums.push_back({t + q / 2, 60, 36, 90});
          if (beat % 2) drums.push_back({t, 60, 38, 110});
          drums.push_back({t, 60, 51, 70});
          break;
        default:
          break;
      }
    }
  }
  std::vector<std::string> tracks = {NoteTrack(0, spec.lead, 100, melody, end), NoteTrack(1, spec.pad, 60, chords, end),
                                     NoteTrack(2, spec.bass, 95, bass, end)};
  if (spec.drums != 0) tracks.push_back(NoteTrack(9, 0, 80, drums, end));
  return MidiFile(Conductor(spec.file, spec.bpm, end), tracks, q);
}

// The stem of a "wave\NAME.wav" entry.
std::string WaveStem(const char* entry) {
  std::string s = entry;
  s = s.substr(s.find('\\') + 1);
  return s.substr(0, s.rfind('.'));
}

bool BuildSounds(const std::string& folder, const tool::DemoOptions& /*options*/) {
  std::error_code ec;
  std::filesystem::create_directories(folder + "/wave", ec);
  std::filesystem::create_directories(folder + "/bgm", ec);
  std::set<std::string> written;
  for (const auto& [name, samples] : SoundEffects()) {
    double db = 0;
    if (!EffectLevelOf(name, db)) {
      std::fprintf(stderr, "demo sounds: no level for wave/%s.wav\n", name.c_str());
      return false;
    }
    if (!tool::WriteWholeFile(folder + "/wave/" + name + ".wav", MonoWave(samples, db))) {
      std::fprintf(stderr, "demo sounds: cannot write wave/%s.wav (%s)\n", name.c_str(),
                   tool::LastWriteFailure().c_str());
      return false;
    }
    written.insert(name);
  }
  // Every sound the project's lists name is one of these.
  for (const char* entry : tool::demo::kSystemSoundFiles)
    if (!written.count(WaveStem(entry))) {
      std::fprintf(stderr, "demo sounds: no sound made for %s\n", entry);
      return false;
    }
  for (const char* entry : tool::demo::kDatabaseSoundFiles)
    if (!written.count(WaveStem(entry))) {
      std::fprintf(stderr, "demo sounds: no sound made for %s\n", entry);
      return false;
    }
  std::vector<std::pair<std::string, std::string>> tunes = {{"Title.mid", TitleTune()}};
  for (const TuneSpec& spec : kTunes) tunes.emplace_back(spec.file, MakeTune(spec));
  for (const auto& [name, bytes] : tunes)
    if (!tool::WriteWholeFile(folder + "/bgm/" + name, bytes)) {
      std::fprintf(stderr, "demo sounds: cannot write bgm/%s (%s)\n", name.c_str(), tool::LastWriteFailure().c_str());
      return false;
    }
  return true;
}

tool::Registrar demoSounds(tool::DemoPart{30, "sounds", BuildSounds});

}  // namespace
