#include "platform/midi_stream_device.h"

#include <dlfcn.h>
#include <fluidsynth.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/audio_mixer.h"
#include "platform/sound_font_file.h"

namespace plat {

namespace {

constexpr uint32_t kDefaultTempo = 500000;  // microseconds per quarter note
constexpr uint32_t kDefaultDivision = 96;
// Seconds of synthesiser output after the last sounding voice (reverb tail)
// before an idle synthesiser stops being rendered.
constexpr int kIdleTailFrames = 3 * kMixRate;

uint32_t ReadU32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

}  // namespace

struct MidiStreamState {
  ThreadId callbackThread = 0;
  std::deque<MidiHeader*> queue;
  uint32_t cursor = 0;  // offset of the next event in queue.front()
  bool playing = false;
  uint32_t tempo = kDefaultTempo;
  uint32_t division = kDefaultDivision;
  double dueTime = 0.0;        // due sample of the next event, in stream time
  int64_t streamSamples = 0;   // stream time: advances while events wait
  bool deltaLoaded = false;    // the next event's delta is in dueTime
  int pendingCallbacks = 0;    // guarded by g_callbackMutex

  double SamplesPerTick() const {
    if (division & 0x8000) {
      int fps = -static_cast<int8_t>(division >> 8);
      int ticksPerFrame = division & 0xFF;
      double perSecond = (fps == 29 ? 29.97 : fps) * ticksPerFrame;
      return perSecond > 0 ? kMixRate / perSecond : 0.0;
    }
    return static_cast<double>(tempo) * 1e-6 * kMixRate / division;
  }
};

class MidiStream : public MidiStreamState {};

namespace {

// The open stream's count of posted callbacks not yet handled, and the
// threads waiting for it to reach 0 without a deadline. The stream is the
// synthesiser's open one, noted here too (under this mutex) so that a wait
// needs no other lock.
std::mutex g_callbackMutex;
std::condition_variable g_callbackCv;
MidiStream* g_callbackStream = nullptr;  // guarded by g_callbackMutex
int g_callbackWaiters = 0;               // guarded by g_callbackMutex

void SilentLog(int, const char*, void*) {}

// The synthesiser with the SoundFont read into it: all that takes time before
// the first note can sound.
struct SynthParts {
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
  int fontId = -1;
  std::string fontFailure;  // why no SoundFont loaded, naming the file looked for; empty when one did
};

// The log line of a SoundFont that did not load, naming the file and why.
std::string SoundFontFailure(const std::string& path, bool named, const std::string& why) {
  return "the SoundFont " + path + (named ? " (named by PELMORA_SOUNDFONT)" : "") + " cannot be loaded: " + why;
}

// FluidSynth's loading of `path`, with glib's default log handler silenced
// meanwhile: a file that its SoundFont 2 loader refuses goes on to its DLS
// loader (libinstpatch), whose assertions glib would print on the standard
// error, though the failure is ours to report. glib is reached through the
// symbol FluidSynth brought in; without it nothing is silenced.
int LoadSoundFontQuietly(fluid_synth_t* synth, const std::string& path) {
  using LogHandler = void (*)(const char* domain, int level, const char* message, void* data);
  using SetDefaultHandler = LogHandler (*)(LogHandler handler, void* data);
  auto setDefault = reinterpret_cast<SetDefaultHandler>(dlsym(RTLD_DEFAULT, "g_log_set_default_handler"));
  LogHandler previous = nullptr;
  if (setDefault) previous = setDefault([](const char*, int, const char*, void*) {}, nullptr);
  const int id = fluid_synth_sfload(synth, path.c_str(), 1);
  if (setDefault) setDefault(previous, nullptr);
  return id;
}

SynthParts MakeSynthParts() {
  SynthParts parts;
  for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level) fluid_set_log_function(level, SilentLog, nullptr);
  parts.settings = new_fluid_settings();
  if (!parts.settings) {
    parts.fontFailure = "the MIDI synthesiser (FluidSynth) cannot be made";
    return parts;
  }
  fluid_settings_setnum(parts.settings, "synth.sample-rate", kMixRate);
  fluid_settings_setint(parts.settings, "synth.threadsafe-api", 0);  // our mutex serialises every call
  fluid_settings_setint(parts.settings, "synth.chorus.active", 0);
  fluid_settings_setint(parts.settings, "synth.polyphony", 128);
  fluid_settings_setnum(parts.settings, "synth.gain", 0.8);
  parts.synth = new_fluid_synth(parts.settings);
  if (!parts.synth) {
    parts.fontFailure = "the MIDI synthesiser (FluidSynth) cannot be made";
    return parts;
  }
  // FluidSynth reads the SoundFont's samples with a team of OpenMP threads,
  // one for each processor. Starting them, and their spinning once the read
  // is done, costs many times what reading a few megabytes costs on one
  // thread (on a busy machine 80 to 300 ms against 15 ms), so this thread
  // reads alone. The setting is this thread's own; OpenMP is there only when
  // FluidSynth was built with it.
  using SetThreadCount = void (*)(int);
  if (auto setThreads = reinterpret_cast<SetThreadCount>(dlsym(RTLD_DEFAULT, "omp_set_num_threads"))) setThreads(1);
  const char* env = std::getenv("PELMORA_SOUNDFONT");
  const bool named = env && *env;
  std::string path = named ? env : "/usr/share/sounds/sf2/default-GM.sf2";
  if (const std::string problem = SoundFontFileProblem(path); !problem.empty()) {
    parts.fontFailure = SoundFontFailure(path, named, problem);
    return parts;
  }
  parts.fontId = LoadSoundFontQuietly(parts.synth, path);
  if (parts.fontId < 0) parts.fontFailure = SoundFontFailure(path, named, "not a SoundFont FluidSynth can read");
  return parts;
}

// The synthesiser is made once. `PrepareMidiSynth` makes it on a thread of
// its own, so that reading the SoundFont overlaps the rest of start-up and the
// loading of the first stage; the first use takes it then, waiting for the
// thread when it has not finished. Without a prepare the first use makes it.
struct SynthLoad {
  std::mutex m;
  std::condition_variable cv;
  bool started = false;
  bool done = false;
  SynthParts parts;
};

SynthLoad& Load() {
  static SynthLoad* load = new SynthLoad;  // deliberately leaked, like the synthesiser
  return *load;
}

void StartSynthLoad() {
  SynthLoad& load = Load();
  std::lock_guard<std::mutex> lock(load.m);
  if (load.started) return;
  // A thread that cannot start (no memory for its stack) leaves the making
  // to the first use.
  try {
    std::thread([] {
      SynthParts parts = MakeSynthParts();
      SynthLoad& load = Load();
      std::lock_guard<std::mutex> lock(load.m);
      load.parts = parts;
      load.done = true;
      load.cv.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return;
  }
  load.started = true;
}

// The parts, once made: made here when nothing started them.
SynthParts TakeSynthParts() {
  SynthLoad& load = Load();
  std::unique_lock<std::mutex> lock(load.m);
  if (!load.started) {
    load.started = true;
    lock.unlock();
    SynthParts parts = MakeSynthParts();
    lock.lock();
    load.parts = parts;
    load.done = true;
    load.cv.notify_all();
  }
  load.cv.wait(lock, [&] { return load.done; });
  return load.parts;
}

// The synthesiser and the one open stream; a source of the global mixer.
class MidiSynth final : public AudioSource {
 public:
  static MidiSynth& Get() {
    static MidiSynth* synth = new MidiSynth(TakeSynthParts());  // lives for the process (the mixer keeps a pointer)
    return *synth;
  }

  std::mutex mutex;  // taken inside the mixer's lock, never around it
  MidiStream* open = nullptr;

  bool Ready() const { return synth_ != nullptr && fontId_ >= 0; }

  void MixInto(float* out, int frames) override {
    std::lock_guard<std::mutex> lock(mutex);
    int done = 0;
    while (done < frames) {
      int n = frames - done;
      MidiStream* s = open;
      bool waiting = false;
      if (s && s->playing) {
        while (s->playing && !s->queue.empty()) {
          if (!s->deltaLoaded && !LoadDelta(*s)) continue;
          int64_t due = std::llround(s->dueTime);
          if (due > s->streamSamples) {
            n = static_cast<int>(std::min<int64_t>(n, due - s->streamSamples));
            waiting = true;
            break;
          }
          ExecuteEvent(*s);
        }
      }
      RenderSynth(out + 2 * done, n);
      if (waiting) s->streamSamples += n;
      done += n;
    }
  }

  void SilenceAll() {
    if (!synth_) return;
    for (int ch = 0; ch < 16; ++ch) {
      fluid_synth_cc(synth_, ch, 64, 0);  // sustain pedal up, or held notes would hang
      fluid_synth_all_notes_off(synth_, ch);
    }
  }

  void ResetControllers() {
    if (!synth_) return;
    for (int ch = 0; ch < 16; ++ch) fluid_synth_cc(synth_, ch, 121, 0);
  }

  // Silences at once and brings programs, controllers and effects back to
  // their defaults, so the next song starts as on a fresh synthesiser.
  void ResetForNextSong() {
    if (synth_) {
      fluid_synth_system_reset(synth_);
      // The reset only releases the notes: they would ring on, under the
      // next song, for as long as their release lasts. This ends them; the
      // synthesiser carries that out in the blocks it renders next, so short
      // blocks are rendered here and thrown away until no voice is left. With
      // no voice left the idle synthesiser is not rendered again until a note
      // sounds.
      fluid_synth_all_sounds_off(synth_, -1);
      float discard[2 * 64];
      for (int block = 0; block < 64 && fluid_synth_get_active_voice_count(synth_) > 0; ++block)
        fluid_synth_write_float(synth_, 64, discard, 0, 2, discard, 1, 2);
      // What those blocks fed into the reverb and chorus is cleared too.
      fluid_synth_system_reset(synth_);
    }
    idleFrames_ = kIdleTailFrames;
  }

  int ActiveVoices() const { return synth_ ? fluid_synth_get_active_voice_count(synth_) : 0; }

  // Returns every queued buffer as done.
  void ReturnBuffers(MidiStream& s) {
    for (MidiHeader* h : s.queue) {
      h->flags = (h->flags & ~MHDR_INQUEUE) | MHDR_DONE;
      PostThreadMessage(s.callbackThread, MM_MOM_DONE, reinterpret_cast<uintptr_t>(&s), reinterpret_cast<intptr_t>(h));
    }
    s.queue.clear();
    s.cursor = 0;
    s.deltaLoaded = false;
    s.dueTime = 0.0;
    s.streamSamples = 0;
  }

 private:
  explicit MidiSynth(const SynthParts& parts) : settings_(parts.settings), synth_(parts.synth), fontId_(parts.fontId) {
    if (!synth_) return;
    scratch_.resize(2 * 1024);
    GlobalMixer().AddSource(this);
  }

  // Reads the delta of the next event into the due time; false when the
  // front buffer has no whole event left (it is then finished).
  bool LoadDelta(MidiStream& s) {
    MidiHeader* h = s.queue.front();
    if (s.cursor + 12 > h->bytesRecorded) {
      FinishFront(s);
      return false;
    }
    uint32_t delta = ReadU32(h->data + s.cursor);
    s.dueTime += delta * s.SamplesPerTick();
    s.deltaLoaded = true;
    return true;
  }

  // The front buffer is done: returned before any callback that follows.
  void FinishFront(MidiStream& s) {
    MidiHeader* h = s.queue.front();
    s.queue.pop_front();
    s.cursor = 0;
    s.deltaLoaded = false;
    h->flags = (h->flags & ~MHDR_INQUEUE) | MHDR_DONE;
    PostThreadMessage(s.callbackThread, MM_MOM_DONE, reinterpret_cast<uintptr_t>(&s), reinterpret_cast<intptr_t>(h));
  }

  void ExecuteEvent(MidiStream& s) {
    MidiHeader* h = s.queue.front();
    const uint8_t* p = h->data + s.cursor;
    uint32_t event = ReadU32(p + 8);
    uint32_t size = 12;
    if (event & MEVT_F_LONG) {
      uint32_t length = event & 0xFFFFFF;
      size += (length + 3) & ~3u;
      if (static_cast<uint64_t>(s.cursor) + size > h->bytesRecorded) {  // a long event running past the data
        FinishFront(s);
        return;
      }
      if (((event >> 24) & 0x3F) == 0) SendLong(p + 12, length);
    } else {
      uint32_t type = (event >> 24) & 0x3F;
      if (type == MEVT_SHORTMSG) SendShort(event & 0xFFFFFF);
      else if (type == MEVT_TEMPO && (event & 0xFFFFFF) != 0) s.tempo = event & 0xFFFFFF;
    }
    uint32_t eventOffset = s.cursor;
    s.cursor += size;
    s.deltaLoaded = false;
    if (event & MEVT_F_CALLBACK) {
      h->offset = eventOffset;
      bool last = s.cursor + 12 > h->bytesRecorded;
      MidiHeader* returned = nullptr;
      if (last) {  // done before the callback: the player refills this buffer from it
        s.queue.pop_front();
        s.cursor = 0;
        h->flags = (h->flags & ~MHDR_INQUEUE) | MHDR_DONE;
        returned = h;
      }
      {
        std::lock_guard<std::mutex> lock(g_callbackMutex);
        if (PostThreadMessage(s.callbackThread, MM_MOM_POSITIONCB, reinterpret_cast<uintptr_t>(&s),
                              reinterpret_cast<intptr_t>(h)))
          ++s.pendingCallbacks;
      }
      if (returned)
        PostThreadMessage(s.callbackThread, MM_MOM_DONE, reinterpret_cast<uintptr_t>(&s),
                          reinterpret_cast<intptr_t>(returned));
    } else if (s.cursor + 12 > h->bytesRecorded) {
      FinishFront(s);
    }
  }

  void SendShort(uint32_t message) {
    if (!synth_) return;
    uint8_t status = message & 0xFF;
    if (status < 0x80 || status >= 0xF0) return;  // no running status here; system messages never reach the synth
    int ch = status & 0x0F;
    int d1 = (message >> 8) & 0x7F, d2 = (message >> 16) & 0x7F;
    switch (status & 0xF0) {
      case 0x80: fluid_synth_noteoff(synth_, ch, d1); break;
      case 0x90:
        if (d2 == 0) fluid_synth_noteoff(synth_, ch, d1);
        else fluid_synth_noteon(synth_, ch, d1, d2);
        break;
      case 0xA0: fluid_synth_key_pressure(synth_, ch, d1, d2); break;
      case 0xB0: fluid_synth_cc(synth_, ch, d1, d2); break;
      case 0xC0: fluid_synth_program_change(synth_, ch, d1); break;
      case 0xD0: fluid_synth_channel_pressure(synth_, ch, d1); break;
      case 0xE0: fluid_synth_pitch_bend(synth_, ch, d1 | (d2 << 7)); break;
    }
    idleFrames_ = 0;
  }

  void SendLong(const uint8_t* data, uint32_t length) {
    if (!synth_ || length < 2 || data[0] != 0xF0) return;  // only whole system exclusive messages
    const uint8_t* body = data + 1;
    uint32_t n = length - 1;
    if (n > 0 && body[n - 1] == 0xF7) --n;
    if (n == 0) return;
    fluid_synth_sysex(synth_, reinterpret_cast<const char*>(body), static_cast<int>(n), nullptr, nullptr, nullptr, 0);
  }

  void RenderSynth(float* out, int frames) {
    if (!synth_ || frames <= 0) return;
    if (fluid_synth_get_active_voice_count(synth_) > 0) idleFrames_ = 0;
    else if (idleFrames_ >= kIdleTailFrames) return;
    idleFrames_ += frames;
    while (frames > 0) {
      int n = std::min(frames, static_cast<int>(scratch_.size() / 2));
      fluid_synth_write_float(synth_, n, scratch_.data(), 0, 2, scratch_.data(), 1, 2);
      for (int i = 0; i < 2 * n; ++i) out[i] += scratch_[i];
      out += 2 * n;
      frames -= n;
    }
  }

  // The synthesiser reads its settings for as long as it lives (the
  // process's life): they are held with it, never freed before it.
  [[maybe_unused]] fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* synth_ = nullptr;
  int fontId_ = -1;
  int idleFrames_ = kIdleTailFrames;
  std::vector<float> scratch_;
};

}  // namespace

MidiResult MidiStreamOpen(MidiStream** stream, ThreadId callbackThread) {
  if (!stream) return MMSYSERR_INVALPARAM;
  *stream = nullptr;
  MidiSynth& synth = MidiSynth::Get();
  std::lock_guard<std::mutex> lock(synth.mutex);
  if (synth.open) return MMSYSERR_ALLOCATED;
  auto* s = new MidiStream();
  s->callbackThread = callbackThread;
  synth.open = s;
  {
    std::lock_guard<std::mutex> callbackLock(g_callbackMutex);
    g_callbackStream = s;
  }
  *stream = s;
  return MMSYSERR_NOERROR;
}

MidiResult MidiStreamSetTimeDivision(MidiStream* stream, uint32_t division) {
  MidiSynth& synth = MidiSynth::Get();
  std::lock_guard<std::mutex> lock(synth.mutex);
  if (!stream || stream != synth.open) return MMSYSERR_INVALHANDLE;
  if ((division & 0xFFFF) == 0 || division > 0xFFFF || ((division & 0x8000) && (division & 0xFF) == 0))
    return MMSYSERR_INVALPARAM;
  stream->division = division;
  return MMSYSERR_NOERROR;
}

MidiResult MidiOutPrepareHeader(MidiStream* stream, MidiHeader* header) {
  MidiSynth& synth = MidiSynth::Get();
  std::lock_guard<std::mutex> lock(synth.mutex);
  if (!stream || stream != synth.open) return MMSYSERR_INVALHANDLE;
  if (!header || !header->data || header->bufferLength == 0) return MMSYSERR_INVALPARAM;
  header->flags |= MHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MidiResult MidiOutUnprepareHeader(MidiStream* stream, MidiHeader* header) {
  MidiSynth& synth = MidiSynth::Get();
  std::lock_guard<std::mutex> lock(synth.mutex);
  if (!stream || stream != synth.open) return MMSYSERR_INVALHANDLE;
  if (!header) return MMSYSERR_INVALPARAM;
  if (header->flags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  header->flags &= ~MHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MidiResult MidiStreamOut(MidiStream* stream, MidiHeader* header) {
  MidiSynth& synth = MidiSynth::Get();
  std::lock_guard<std::mutex> lock(synth.mutex);
  if (!stream || stream != synth.open) return MMSYSERR_INVALHANDLE;
  if (!header || header->bytesRecorded > header->bufferLength) return MMSYSERR_INVALPARAM;
  if (!(header->flags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
  if (header->flags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  header->flags = (header->flags | MHDR_INQUEUE) & ~MHDR_DONE;
  stream->queue.push_back(header);
  return MMSYSERR_NOERROR;
}

MidiResult MidiStreamRestart(MidiStream* stream) {
  MidiSynth& synth = MidiSynth::Get();
  std::lock_guard<std::mutex> lock(synth.mutex);
  if (!stream || stream != synth.open) return MMSYSERR_INVALHANDLE;
  stream->playing = true;
  return MMSYSERR_NOERROR;
}

MidiResult MidiStreamPause(MidiStream* stream) {
  MidiSynth& synth = MidiSynth::Get();
  std::lock_guard<std::mutex> lock(synth.mutex);
  if (!stream || stream != synth.open) return MMSYSERR_INVALHANDLE;
  stream->playing = false;
  synth.SilenceAll();  // a paused song must not leave notes sounding
  return MMSYSERR_NOERROR;
}

MidiResult MidiStreamStop(MidiStream* stream) {
  MidiSynth& synth = MidiSynth::Get();
  std::lock_guard<std::mutex> lock(synth.mutex);
  if (!stream || stream != synth.open) return MMSYSERR_INVALHANDLE;
  stream->playing = false;
  synth.ReturnBuffers(*stream);
  synth.SilenceAll();
  return MMSYSERR_NOERROR;
}

MidiResult MidiOutReset(MidiStream* stream) {
  MidiSynth& synth = MidiSynth::Get();
  std::lock_guard<std::mutex> lock(synth.mutex);
  if (!stream || stream != synth.open) return MMSYSERR_INVALHANDLE;
  stream->playing = false;
  synth.ReturnBuffers(*stream);
  synth.SilenceAll();
  synth.ResetControllers();
  return MMSYSERR_NOERROR;
}

MidiResult MidiStreamClose(MidiStream* stream) {
  MidiSynth& synth = MidiSynth::Get();
  {
    std::lock_guard<std::mutex> lock(synth.mutex);
    if (!stream || stream != synth.open) return MMSYSERR_INVALHANDLE;
    stream->playing = false;
    synth.ReturnBuffers(*stream);
    synth.ResetForNextSong();
    synth.open = nullptr;
  }
  {
    // Its callbacks will never be handled now: nobody waits for them.
    std::lock_guard<std::mutex> lock(g_callbackMutex);
    stream->pendingCallbacks = 0;
    if (g_callbackStream == stream) g_callbackStream = nullptr;
  }
  g_callbackCv.notify_all();
  delete stream;
  return MMSYSERR_NOERROR;
}

std::string MidiErrorText(MidiResult result) {
  switch (result) {
    case MMSYSERR_NOERROR: return "The specified command was carried out.";
    case MMSYSERR_ERROR: return "Undefined external error.";
    case MMSYSERR_ALLOCATED: return "The specified device is already in use.";
    case MMSYSERR_INVALHANDLE: return "The specified device handle is invalid.";
    case MMSYSERR_NODRIVER: return "There is no driver installed on your system.";
    case MMSYSERR_NOMEM: return "There is not enough memory available for this task.";
    case MMSYSERR_INVALPARAM: return "An invalid parameter was passed to a system function.";
    case MIDIERR_UNPREPARED: return "The header has not been prepared.";
    case MIDIERR_STILLPLAYING: return "The buffer is still in the queue.";
    default: return "Unknown error " + std::to_string(result) + ".";
  }
}

void MidiStreamCallbackHandled(MidiStream* stream) {
  MidiSynth& synth = MidiSynth::Get();
  {
    std::lock_guard<std::mutex> synthLock(synth.mutex);
    if (!stream || stream != synth.open) return;
    std::lock_guard<std::mutex> lock(g_callbackMutex);
    if (stream->pendingCallbacks > 0) --stream->pendingCallbacks;
  }
  g_callbackCv.notify_all();
}

namespace {

bool CallbacksHandled() { return g_callbackStream == nullptr || g_callbackStream->pendingCallbacks == 0; }

}  // namespace

void WaitMidiCallbacksHandled() {
  std::unique_lock<std::mutex> lock(g_callbackMutex);
  if (CallbacksHandled()) return;
  ++g_callbackWaiters;
  g_callbackCv.wait(lock, CallbacksHandled);
  --g_callbackWaiters;
}

bool WaitMidiCallbacksHandled(uint32_t timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock<std::mutex> lock(g_callbackMutex);
  return g_callbackCv.wait_until(lock, deadline, CallbacksHandled);
}

int MidiCallbackWaiters() {
  std::lock_guard<std::mutex> lock(g_callbackMutex);
  return g_callbackWaiters;
}

int MidiSynthActiveVoices() {
  MidiSynth& synth = MidiSynth::Get();
  std::lock_guard<std::mutex> lock(synth.mutex);
  return synth.ActiveVoices();
}

void PrepareMidiSynth() { StartSynthLoad(); }

void WaitForMidiSynthPrepared() {
  SynthLoad& load = Load();
  std::unique_lock<std::mutex> lock(load.m);
  load.cv.wait(lock, [&] { return !load.started || load.done; });
}

std::string MidiSoundFontFailure() { return TakeSynthParts().fontFailure; }

bool MidiSynthReady() {
  MidiSynth& synth = MidiSynth::Get();
  std::lock_guard<std::mutex> lock(synth.mutex);
  return synth.Ready();
}

}  // namespace plat
