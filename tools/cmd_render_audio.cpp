// pelmora-tool render-audio IN OUT.wav [--seconds N] [--loop]
// Plays a WAV, MIDI or Ogg file through the runtime's own readers, players
// and mixer, pulling the mix directly (faster than real time), and writes it
// as a 16-bit stereo 44100 Hz WAV: once through, as long as the file lasts,
// or exactly N seconds with --seconds (--loop keeps the file looping).
// A file named .wav, .mid or .ogg is played as that kind, as the game picks
// its player by the name; others by what their first bytes say. What would
// come out as silence is refused (exit 1, nothing written): a MIDI file cut
// short (the game's reader would play what is left of its tracks, or
// nothing), one without a note, or a MIDI file with no SoundFont to play it.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "audio/midi_stream.h"
#include "audio/sound.h"
#include "base/errors.h"
#include "data/wave_header.h"
#include "platform/audio_device.h"
#include "platform/audio_mixer.h"
#include "platform/input_file.h"
#include "platform/midi_stream_device.h"
#include "platform/ogg_player.h"
#include "platform/text.h"
#include "output_clash.h"
#include "stop_signals.h"
#include "tool.h"

namespace {

constexpr int kBlockFrames = 256;                  // frames pulled between player reactions
constexpr int64_t kMaxFrames = int64_t{30} * 60 * plat::kMixRate;  // 30 minutes

std::string WaveFileBytes(const std::vector<int16_t>& samples) {
  std::string out = PcmWaveHeader(plat::kMixChannels, plat::kMixRate, static_cast<uint32_t>(samples.size() * 2));
  for (int16_t s : samples) {
    const auto u = static_cast<uint16_t>(s);
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  return out;
}

// Pulls blocks until `done` says so (checked between blocks) or `limit` frames.
template <class Done>
void Pull(std::vector<int16_t>& out, int64_t limit, Done done) {
  std::vector<int16_t> block(kBlockFrames * 2);
  int64_t frames = 0;
  while (frames < limit) {
    int n = static_cast<int>(std::min<int64_t>(kBlockFrames, limit - frames));
    plat::GlobalMixer().RenderS16(block.data(), n);
    out.insert(out.end(), block.begin(), block.begin() + 2 * n);
    frames += n;
    // The MIDI player refills before the next block, however long a busy
    // machine makes it take: the output must not depend on the load.
    plat::WaitMidiCallbacksHandled();
    if (done()) break;
  }
}

// The kind a file name says, from its extension ("wav", "mid", "ogg"); empty
// for another or none.
std::string KindOfName(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.find('/', dot) != std::string::npos) return {};
  std::string extension = name.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == "wav" || extension == "mid" || extension == "ogg") return extension;
  return {};
}

// The kind the first bytes say.
std::string KindOfBytes(const std::string& bytes) {
  if (bytes.compare(0, 4, "RIFF") == 0) return "wav";
  if (bytes.compare(0, 4, "MThd") == 0) return "mid";
  if (bytes.compare(0, 4, "OggS") == 0) return "ogg";
  return {};
}

// How the reader found a MIDI file cut short; empty when whole. (The game's
// reader ends a track at its chunk's last whole event, so a cut file plays
// what is left of it, to the latest end of the tracks still there.)
std::string MidiDamage(const cSmfData::cCut& cut) {
  char text[160] = "";
  if (cut.insideChunk)
    std::snprintf(text, sizeof text, "the file ends inside a chunk (%u bytes announced, %u there)", cut.announced,
                  cut.there);
  else if (cut.tracksFound < cut.tracksCounted)
    std::snprintf(text, sizeof text, "the file ends after %u of its %u tracks", unsigned{cut.tracksFound},
                  unsigned{cut.tracksCounted});
  return text;
}

// A player's message about the file it read through `programPath`, naming
// the file as the user gave it instead.
std::string NamedAs(std::string message, const std::string& programPath, const std::string& shown) {
  if (programPath.empty()) return message;
  for (size_t at = message.find(programPath); at != std::string::npos; at = message.find(programPath, at + shown.size()))
    message.replace(at, programPath.size(), shown);
  return message;
}

int Fail(const std::string& cp932Message) {
  std::fprintf(stderr, "render-audio: %s\n", plat::Cp932ToUtf8(cp932Message).c_str());
  return 1;
}

constexpr const char* kUsage =
    "usage: pelmora-tool render-audio IN OUT.wav [--seconds N] [--loop]   (--loop needs --seconds)\n";

int RenderAudio(const std::vector<std::string>& args) {
  tool::EndOnStopSignals("render-audio");
  std::string in, out;
  double seconds = -1.0;
  bool loop = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--seconds" && i + 1 < args.size()) {
      // From one sample of the mix (a shorter time would round to none) to
      // the longest output.
      static_assert(kMaxFrames / plat::kMixRate == 1800 && plat::kMixRate == 44100, "the range's text below");
      constexpr tool::NumberRange kSeconds{1.0 / plat::kMixRate, static_cast<double>(kMaxFrames / plat::kMixRate),
                                           false, "seconds from 1/44100 (one sample) to 1800"};
      if (!tool::ReadNumber("render-audio", "--seconds", args[++i], kSeconds, seconds)) return 2;
    } else if (args[i] == "--loop") {
      loop = true;
    } else if (in.empty()) {
      in = args[i];
    } else if (out.empty()) {
      out = args[i];
    } else {
      in.clear();
      break;
    }
  }
  if (in.empty() || out.empty() || (loop && seconds <= 0)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (const std::string clash = tool::OutputClash({{"IN", in}}, {{"OUT", out}}); !clash.empty()) {
    std::fprintf(stderr, "render-audio: %s\n%s", clash.c_str(), kUsage);
    return 2;
  }
  plat::SetManualAudioPull(true);
  // IN as the messages print it (a name that is not UTF-8 reads as \xNN).
  const std::string path = plat::Utf8ToCp932(tool::Shown(in));
  // Only a regular file is opened: a pipe would keep the run waiting for ever.
  std::string bytes;
  if (!tool::ReadWholeFile(in, bytes, 512u << 20))
    return Fail("cannot read " + path + " (" + tool::LastReadFailure() + ")");
  // The MIDI and Ogg players read the file themselves, through its program
  // path: open it by its name as given, whatever its bytes.
  plat::InputFile input;
  if (const std::string problem = tool::OpenInput(input, in); !problem.empty())
    return Fail("cannot read " + path + " (" + problem + ")");
  const std::string& programPath = input.ProgramPath();
  const int64_t fixed = seconds > 0 ? std::llround(seconds * plat::kMixRate) : -1;
  std::vector<int16_t> mix;

  const std::string named = KindOfName(in), held = KindOfBytes(bytes);
  const char* kindName = named == "wav" ? "a WAV" : named == "mid" ? "a standard MIDI" : "an Ogg";
  if (!named.empty() && held != named) return Fail(path + ": not " + kindName + " file, as its name says");
  if (held == "wav") {
    WAVEDATA wave;
    WaveParseResult result = ParseWave(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), wave);
    if (result != WaveParseResult::Ok) {
      std::string line;
      const char* message = WaveParseMessage(result);
      FormatString(line, message ? message : plat::Sjis("%s の読み込みに失敗しました！").c_str(), path.c_str());
      return Fail(line);
    }
    auto buffer = plat::SoundBuffer::Create(wave.format, wave.samples.data(), wave.samples.size());
    if (!buffer) {
      // The game's message, then why the mixer cannot play the samples.
      std::string line;
      FormatString(line, plat::Sjis("%s生成失敗！").c_str(), path.c_str());
      return Fail(line + " (" + plat::WaveFormatProblem(wave.format, wave.samples.size()) + ")");
    }
    buffer->Play(loop);
    int64_t frames = static_cast<int64_t>(buffer->SizeBytes() / wave.format.blockAlign);
    int64_t length = static_cast<int64_t>(std::ceil(frames * static_cast<double>(plat::kMixRate) / wave.format.samplesPerSec));
    Pull(mix, fixed > 0 ? fixed : std::min(length, kMaxFrames), [] { return false; });
  } else if (held == "mid") {
    cMidiStream player(programPath.c_str());
    if (!player.HasImage()) return Fail(NamedAs(player.LastMessage(), programPath, path));
    if (player.Cut().Any()) return Fail(path + ": a damaged MIDI file: " + MidiDamage(player.Cut()));
    if (player.NoteOns() == 0) return Fail(path + ": the MIDI file starts no note: it would be silence");
    if (!plat::MidiSynthReady()) {
      // The SoundFont named as the system gives it (not through CP932).
      std::fprintf(stderr, "render-audio: %s; %s would be silence\n", plat::MidiSoundFontFailure().c_str(),
                   tool::Shown(in).c_str());
      return 1;
    }
    player.Restart(loop ? 1 : 0);
    Pull(mix, fixed > 0 ? fixed : kMaxFrames, [&] { return fixed < 0 && player.State() == cMidiStream::kStopped; });
    player.Close();
  } else if (held == "ogg") {
    plat::OggPlayerObject* player = plat::CreateOggPlayerObject();
    if (!player) return Fail("out of memory");
    player->PrepareLoad();
    if (!player->Load(programPath.c_str())) {
      player->Release();
      return Fail(path + ": not a playable Ogg Vorbis file");
    }
    player->SetLoopCount(loop ? plat::kOggLoopForever : 0);
    player->Play();
    Pull(mix, fixed > 0 ? fixed : kMaxFrames, [&] { return fixed < 0 && !player->IsPlaying(); });
    player->Release();
  } else {
    return Fail(path + ": neither a WAV, a standard MIDI nor an Ogg file");
  }
  if (!tool::WriteOutputFile("render-audio", out, WaveFileBytes(mix))) return 1;
  std::printf("%s: %.3f s\n", tool::Shown(out).c_str(), static_cast<double>(mix.size() / 2) / plat::kMixRate);
  return 0;
}

tool::Registrar renderAudio(tool::Command{
    "render-audio", "render-audio IN OUT.wav [--seconds N] [--loop]  plays a WAV/MIDI/Ogg file into a WAV", RenderAudio});

}  // namespace
