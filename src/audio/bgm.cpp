#include "audio/bgm.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/logs.h"
#include "platform/midi_stream_device.h"
#include "platform/text.h"

BGMTRACK g_OggTrackTable[kBGMTrackCount] = {{"bgm\\Title.ogg", 100}};
BGMTRACK g_MidiTrackTable[kBGMTrackCount] = {{"bgm\\Title.mid", 100}};

cBGMPlayer g_BGMPlayer;

namespace {

// A SoundFont that did not load leaves every MIDI tune silent. Said when a
// run plays its first MIDI tune, once in the run's report log and on
// standard error, not once a tune.
void ReportSilentMidiOnce() {
  static std::string reportedIn;  // the report log it was said in; main thread only
  static bool reported = false;
  if (reported && reportedIn == ReportLogPath()) return;
  const std::string failure = plat::MidiSoundFontFailure();
  if (failure.empty()) return;
  reported = true;
  reportedIn = ReportLogPath();
  WriteReportLog("music: %s; the MIDI tunes play silent", plat::Utf8ToCp932(failure).c_str());
  std::fprintf(stderr, "pelmora: music: %s; the MIDI tunes play silent\n", failure.c_str());
}

}  // namespace

int cBGMPlayer::Init(int slotCount, BGMTRACK* oggTable, BGMTRACK* midiTable, int trackCount, int directMusic) {
  m_bInitialised = 1;
  m_bMidiDLL = m_MidiDLL.Open(directMusic) ? 1 : 0;
  if (!m_bMidiDLL) {
    m_StreamPlayers.clear();
    // MIDI music plays through the stream player: its synthesiser reads the
    // SoundFont in the background from now on, so the first MIDI tune (the
    // title's, or the stage's) does not hold up the screen that asks for it.
    plat::PrepareMidiSynth();
  }
  if (!m_OggPlayer.Create()) {
    // Without the tables set up no request may touch them: stay uninitialised.
    if (m_bMidiDLL) ReleaseMidiDLL();
    m_bMidiDLL = 0;
    m_bInitialised = 0;
    return 0;
  }
  BuildTrackTable(slotCount);
  m_lpOggTracks = oggTable;
  m_lpMidiTracks = midiTable;
  m_nTrackCount = trackCount < 0 ? 0 : trackCount;
  m_TrackKinds.assign(static_cast<size_t>(m_nTrackCount), BGM_KIND_UNKNOWN);
  m_nCurrentTrack = -1;
  return 1;
}

int cBGMPlayer::BuildTrackTable(int slotCount) {
  if (!m_bInitialised) return 1;
  if (slotCount < 0) slotCount = 0;
  if (!m_bMidiDLL) {
    m_StreamPlayers.clear();
    m_StreamPlayers.resize(static_cast<size_t>(slotCount));
  }
  m_OggPlayer.AllocateSlots(slotCount);
  m_SlotStates.assign(static_cast<size_t>(slotCount), BGM_SLOT_NONE);
  return 1;
}

int cBGMPlayer::AddTrack(int track, const char* fileName, int volume) {
  if (!m_bInitialised) return 1;
  // A track outside the tables is reported by the checked access; nothing is written.
  uint32_t& kind = m_TrackKinds.At(track);
  if (track < 0 || track >= m_nTrackCount || !m_lpOggTracks || !m_lpMidiTracks) return 0;
  BGMTRACK& ogg = m_lpOggTracks[track];
  BGMTRACK& midi = m_lpMidiTracks[track];
  const char* name = fileName ? fileName : "";
  char extension[MAX_PATH];
  if (!GetExtension(extension, name)) {
    ogg.szFileName[0] = midi.szFileName[0] = '\0';
    ogg.nVolume = midi.nVolume = 0;
    kind = BGM_KIND_UNKNOWN;
    return 0;
  }
  if (std::strcmp(extension, "ogg") == 0 || std::strcmp(extension, "OGG") == 0) {
    std::snprintf(ogg.szFileName, MAX_PATH, "%s", name);
    ogg.nVolume = volume;
    kind = BGM_KIND_OGG;
    return 1;
  }
  if (std::strcmp(extension, "mid") == 0 || std::strcmp(extension, "MID") == 0) {
    // Played as ".mid": the path layer finds "X.MID" under that name.
    if (!ChangeExtension(midi.szFileName, name, "mid")) std::snprintf(midi.szFileName, MAX_PATH, "%s", name);
    midi.nVolume = volume;
    kind = BGM_KIND_MIDI;
    return 1;
  }
  std::snprintf(ogg.szFileName, MAX_PATH, "%s", name);
  std::snprintf(midi.szFileName, MAX_PATH, "%s", name);
  ogg.nVolume = midi.nVolume = volume;
  kind = BGM_KIND_UNKNOWN;
  return 0;
}

int cBGMPlayer::TryOgg(int slot, int track, uint32_t loop) {
  if (track < 0 || track >= m_nTrackCount) return 0;
  const BGMTRACK& t = m_lpOggTracks[track];
  return m_OggPlayer.Load(slot, t.szFileName, loop ? 1 : 0, t.nVolume);
}

int cBGMPlayer::TryMidi(int slot, int track, uint32_t loop) {
  if (track < 0 || track >= m_nTrackCount) return 0;
  const BGMTRACK& t = m_lpMidiTracks[track];
  if (m_bMidiDLL) return m_MidiDLL.Play(static_cast<uint32_t>(slot), t.szFileName, loop ? 1 : 0, t.nVolume);
  // The stream player: every player paused, then deleted (which ends its thread).
  for (auto& player : m_StreamPlayers)
    if (player) player->Pause(1);
  for (auto& player : m_StreamPlayers) player.reset();
  char extension[MAX_PATH];
  if (!GetExtension(extension, t.szFileName) || std::strcmp(extension, "mid") != 0) return 0;
  std::unique_ptr<cMidiStream>& holder = m_StreamPlayers.At(slot);
  holder = std::make_unique<cMidiStream>(t.szFileName);
  if (!holder->HasImage()) {
    holder.reset();
    return 0;
  }
  holder->Restart(loop);
  ReportSilentMidiOnce();
  return 1;
}

void cBGMPlayer::StopMidi(uint32_t pause) {
  if (m_bMidiDLL) {
    m_MidiDLL.Stop(static_cast<int>(pause));
    return;
  }
  for (auto& player : m_StreamPlayers)
    if (player) player->Pause(pause ? 1 : 0);
}

int cBGMPlayer::Play(int slot, int track, uint32_t loop, uint32_t pause, int force) {
  if (!m_bInitialised) return 1;
  if (track == m_nCurrentTrack && !force) return 1;
  m_nCurrentTrack = track;
  uint32_t kind = m_TrackKinds.At(track);
  uint32_t& state = m_SlotStates.At(slot);
  if (kind == BGM_KIND_UNKNOWN || kind == BGM_KIND_OGG) {
    if (TryOgg(slot, track, loop)) {
      state = BGM_SLOT_OGG;
      StopMidi(kind == BGM_KIND_UNKNOWN ? pause : 0);
      return 1;
    }
  }
  if (kind == BGM_KIND_UNKNOWN || kind == BGM_KIND_MIDI) {
    if (TryMidi(slot, track, loop)) {
      state = BGM_SLOT_MIDI;
      m_OggPlayer.Stop();
      return 1;
    }
  }
  state = BGM_SLOT_NONE;
  m_nCurrentTrack = -1;
  m_OggPlayer.Stop();
  StopMidi(0);
  return 0;
}

void cBGMPlayer::Stop() {
  if (!m_bInitialised) return;
  StopMidi(0);
  m_OggPlayer.Stop();
}

void cBGMPlayer::Release() {
  if (!m_bInitialised) return;
  plat::WaitForMidiSynthPrepared();  // no SoundFont still being read while the program ends
  m_OggPlayer.Release();
  if (m_bMidiDLL) {
    ReleaseMidiDLL();
    m_bMidiDLL = 0;
  } else {
    m_StreamPlayers.clear();
  }
  m_bInitialised = 0;
}

uint32_t cBGMPlayer::TrackKind(int track) const {
  return track >= 0 && static_cast<size_t>(track) < m_TrackKinds.size() ? m_TrackKinds[track] : 0;
}

uint32_t cBGMPlayer::SlotState(int slot) const {
  return slot >= 0 && static_cast<size_t>(slot) < m_SlotStates.size() ? m_SlotStates[slot] : 0;
}

cMidiStream* cBGMPlayer::StreamPlayer(int slot) const {
  return slot >= 0 && static_cast<size_t>(slot) < m_StreamPlayers.size() ? m_StreamPlayers[slot].get() : nullptr;
}

int BGMPlayTrackRequest(int track, const char* fileName, int volume, uint32_t loop) {
  g_BGMPlayer.AddTrack(track, fileName, volume);
  return g_BGMPlayer.Play(0, track, loop, 0, 1);
}

void BGMStopRequest() { g_BGMPlayer.Stop(); }
