// The demo project's sounds, synthesised by code: sound effects under
// "wave\" (16-bit mono 22050 Hz WAVs) and the title tune "bgm\Title.mid",
// a short looping piece written as a format-1 standard MIDI file.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tool.h"

namespace {

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;

void Put16(std::string& s, uint16_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>(v >> 8));
}
void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::string MonoWave(const std::vector<double>& samples) {
  std::string out = "RIFF";
  Put32(out, static_cast<uint32_t>(36 + samples.size() * 2));
  out += "WAVEfmt ";
  Put32(out, 16);
  Put16(out, 1);
  Put16(out, 1);
  Put32(out, kRate);
  Put32(out, kRate * 2);
  Put16(out, 2);
  Put16(out, 16);
  out += "data";
  Put32(out, static_cast<uint32_t>(samples.size() * 2));
  for (double s : samples) {
    double c = std::fmax(-1.0, std::fmin(1.0, s));
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
  list.emplace_back("clear", Render(0.6, [](double t, double) {
                      static const double kNotes[4] = {523.25, 659.25, 783.99, 1046.5};
                      int i = std::min(3, static_cast<int>(t / 0.1));
                      double local = t - 0.1 * i;
                      double env = i < 3 ? 1.0 : std::exp(-local * 6);
                      return 0.3 * Square(kNotes[i] * t) * env;
                    }));
  return list;
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

bool BuildSounds(const std::string& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder + "/wave", ec);
  std::filesystem::create_directories(folder + "/bgm", ec);
  for (const auto& [name, samples] : SoundEffects()) {
    if (!tool::WriteWholeFile(folder + "/wave/" + name + ".wav", MonoWave(samples))) {
      std::fprintf(stderr, "demo sounds: cannot write wave/%s.wav\n", name.c_str());
      return false;
    }
  }
  if (!tool::WriteWholeFile(folder + "/bgm/Title.mid", TitleTune())) {
    std::fprintf(stderr, "demo sounds: cannot write bgm/Title.mid\n");
    return false;
  }
  return true;
}

tool::Registrar demoSounds(tool::DemoPart{30, "sounds", BuildSounds});

}  // namespace
