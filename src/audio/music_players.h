// The two music libraries of the music manager, behind thin wrappers:
// `cOggPlayer` over the Ogg library ("Vox.dll": one "CreateVox" object per
// slot) and `cMidiDLL` over the MIDI library ("GuruGuruSMF4.dll"). Both are
// found at run time through the module registry (platform/modules.h); the
// Ogg player is built in, the MIDI library is not (MIDI then plays through
// the stream player). Main thread only.
#pragma once

#include <cstdint>

#include "platform/modules.h"
#include "platform/ogg_player.h"

class cOggPlayer {
 public:
  cOggPlayer() = default;
  ~cOggPlayer() { Release(); }
  cOggPlayer(const cOggPlayer&) = delete;
  cOggPlayer& operator=(const cOggPlayer&) = delete;

  // 1, or 0 after the error box "oggの初期化に失敗！".
  int Create();
  // One player object per slot; 1, or 0 after the out-of-memory box.
  int AllocateSlots(int count);
  // Plays `path` on `slot`; volume in percent (below 100 sets the object's
  // volume). 1 when playing.
  int Load(int slot, const char* path, int loop, int volume);
  void Stop();
  void Release();

  int PlayingSlot() const { return m_nPlayingSlot; }
  int SlotCount() const { return m_nSlotCount; }
  plat::OggPlayerObject* Slot(int slot) const;

 private:
  void ReleaseSlots();

  plat::OggPlayerObject** m_lpSlots = nullptr;
  int32_t m_nSlotCount = 0;
  int32_t m_nPlayingSlot = -1;
  plat::ModuleHandle m_hLibrary = nullptr;
  plat::OggPlayerObject* (*m_lpCreate)() = nullptr;
};

// The MIDI library's entry points the runtime calls, with the arguments it
// passes (a module registered under "GuruGuruSMF4.dll" provides them).
namespace ggs4 {
using OpenDevice = int (*)(int device, uintptr_t window);
using CloseDevice = void (*)();
using AddListFromFileA = int (*)(const char* path, int option, int listId);
using SetMasterVolume = void (*)(int volume);  // -127 .. 0
using Play = int (*)(int option, int listId, int a, int b, int c);
using Stop = int (*)(int fadeOut);
using Pause = void (*)();
using GetPlayerStatus = void (*)(void* status, int size);
}  // namespace ggs4

// 0 when the library is loaded (or was already), 1 when it cannot be.
int LoadMidiDLL();
// "GGS4CloseDevice", then the library is let go.
void ReleaseMidiDLL();

class cMidiDLL {
 public:
  // 1 when the device is open.
  int Open(int directMusic);
  // 1 when playing; volume in percent.
  int Play(uint32_t listId, const char* path, int loop, int volume);
  // 0 stops, 1 pauses.
  void Stop(int pause);
};

// "GGS4SetMasterVolume"'s value for a volume in percent:
// -127 - trunc(percent × -1.27) (100 → 0, 50 → -64, 0 → -127).
int MidiMasterVolume(int percent);
