// The music manager: one global player of music tracks, MIDI or Ogg by the
// file's extension. Five tracks (the four screen tracks and one for stage and
// event music) on one slot. Ogg plays through the Ogg player objects, MIDI
// through the MIDI library when it can be opened, otherwise through the
// stream player (cMidiStream). Main thread only (the game thread asks with
// WM_USER+6). Music volumes are percentages 0..100; the stream player
// plays at its own level.
#pragma once

#include <cstdint>
#include <memory>

#include "audio/midi_stream.h"
#include "audio/music_players.h"
#include "base/safe_containers.h"
#include "base/text_path.h"

struct BGMTRACK {
  char szFileName[MAX_PATH] = {};
  int32_t nVolume = 100;  // percent
};

inline constexpr int kBGMTrackCount = 5;
// The two track tables handed to Init; entry 0 starts as the title music.
extern BGMTRACK g_OggTrackTable[kBGMTrackCount];
extern BGMTRACK g_MidiTrackTable[kBGMTrackCount];

// Track kinds and slot states.
enum : uint32_t { BGM_KIND_UNKNOWN = 0, BGM_KIND_OGG = 1, BGM_KIND_MIDI = 2 };
enum : uint32_t { BGM_SLOT_NONE = 0, BGM_SLOT_OGG = 1, BGM_SLOT_MIDI = 2 };

// Error lines of bad slot indices carry a 32-bit pointer's size, the figure
// people compare log lines against.
template <>
struct LegacyElementSize<std::unique_ptr<cMidiStream>> {
  static constexpr int value = 4;
};

class cBGMPlayer {
 public:
  cBGMPlayer() = default;
  ~cBGMPlayer() { Release(); }
  cBGMPlayer(const cBGMPlayer&) = delete;
  cBGMPlayer& operator=(const cBGMPlayer&) = delete;

  // 1, or 0 when the Ogg player cannot be set up (after its error box); the
  // player then stays uninitialised, so every request does nothing.
  int Init(int slotCount, BGMTRACK* oggTable, BGMTRACK* midiTable, int trackCount, int directMusic);
  int BuildTrackTable(int slotCount);
  // 1 when the file's kind is known ("ogg"/"OGG" or "mid"/"MID"), else 0.
  int AddTrack(int track, const char* fileName, int volume);
  // 1 when playing (or nothing to do), 0 on failure (silence).
  int Play(int slot, int track, uint32_t loop, uint32_t pause, int force);
  void Stop();
  void Release();

  bool Initialised() const { return m_bInitialised != 0; }
  int CurrentTrack() const { return m_nCurrentTrack; }
  bool UsesMidiLibrary() const { return m_bMidiDLL != 0; }
  uint32_t TrackKind(int track) const;
  uint32_t SlotState(int slot) const;
  cOggPlayer& OggPlayer() { return m_OggPlayer; }
  cMidiStream* StreamPlayer(int slot) const;

 private:
  int TryOgg(int slot, int track, uint32_t loop);
  int TryMidi(int slot, int track, uint32_t loop);
  void StopMidi(uint32_t pause);

  uint32_t m_bInitialised = 0;
  cOggPlayer m_OggPlayer;
  BGMTRACK* m_lpOggTracks = nullptr;
  uint32_t m_bMidiDLL = 0;
  cMidiDLL m_MidiDLL;
  cSafeVector<std::unique_ptr<cMidiStream>> m_StreamPlayers;
  BGMTRACK* m_lpMidiTracks = nullptr;
  int32_t m_nTrackCount = 0;
  int32_t m_nCurrentTrack = -1;
  cSafeVector<uint32_t> m_TrackKinds;
  cSafeVector<uint32_t> m_SlotStates;
};

extern cBGMPlayer g_BGMPlayer;

// WM_USER+6, after the handler has looked the music up: registers the file
// as `track` and plays it on slot 0 with the loop flag, forced.
int BGMPlayTrackRequest(int track, const char* fileName, int volume, uint32_t loop);
// WM_USER+6 for a screen without music, or music number 0.
void BGMStopRequest();
