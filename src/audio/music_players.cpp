#include "audio/music_players.h"

#include <cmath>
#include <cstring>
#include <new>

#include "base/errors.h"
#include "base/text_path.h"
#include "platform/text.h"

// ---------------------------------------------------------------------------
// cOggPlayer

int cOggPlayer::Create() {
  m_hLibrary = plat::LoadModule("Vox.dll");
  m_lpCreate = reinterpret_cast<plat::OggPlayerObject* (*)()>(plat::GetModuleEntry(m_hLibrary, "CreateVox"));
  if (!m_lpCreate) {
    ShowErrorText(plat::Sjis("oggの初期化に失敗！").c_str());
    if (m_hLibrary) plat::FreeModule(m_hLibrary);
    m_hLibrary = nullptr;
    return 0;
  }
  return 1;
}

void cOggPlayer::ReleaseSlots() {
  // The objects of an old slot array are released too (they would leak).
  if (m_lpSlots) {
    for (int i = 0; i < m_nSlotCount; ++i)
      if (m_lpSlots[i]) m_lpSlots[i]->Release();
    delete[] m_lpSlots;
  }
  m_lpSlots = nullptr;
  m_nSlotCount = 0;
  m_nPlayingSlot = -1;
}

int cOggPlayer::AllocateSlots(int count) {
  ReleaseSlots();
  if (count < 0 || !m_lpCreate) count = 0;
  m_lpSlots = new (std::nothrow) plat::OggPlayerObject*[static_cast<size_t>(count) + 1]();
  if (!m_lpSlots) {
    ShowOutOfMemory();
    return 0;
  }
  m_nSlotCount = count;
  for (int i = 0; i < count; ++i) {
    m_lpSlots[i] = m_lpCreate();
    if (!m_lpSlots[i]) {
      ShowOutOfMemory();
      return 0;
    }
  }
  return 1;
}

plat::OggPlayerObject* cOggPlayer::Slot(int slot) const {
  if (!m_lpSlots || slot < 0 || slot >= m_nSlotCount) return nullptr;
  return m_lpSlots[slot];
}

int cOggPlayer::Load(int slot, const char* path, int loop, int volume) {
  if (!path || !*path) return 0;
  Stop();
  plat::OggPlayerObject* object = Slot(slot);
  if (!object) return 0;
  object->PrepareLoad();
  if (object->Load(path)) {
    if (volume < 100) object->SetVolume(static_cast<float>(volume * 0.01));
    object->SetLoopCount(loop ? plat::kOggLoopForever : 0);
    object->Play();
    m_nPlayingSlot = slot;
    return 1;
  }
  m_nPlayingSlot = -1;
  return 0;
}

void cOggPlayer::Stop() {
  if (plat::OggPlayerObject* object = Slot(m_nPlayingSlot)) object->Stop();
  m_nPlayingSlot = -1;
}

void cOggPlayer::Release() {
  ReleaseSlots();
  if (m_hLibrary) plat::FreeModule(m_hLibrary);
  m_hLibrary = nullptr;
  m_lpCreate = nullptr;
}

// ---------------------------------------------------------------------------
// The MIDI library

namespace {

const char* const kMidiEntryNames[] = {
    "GGS4OpenDevice",      "GGS4CloseDevice",      "GGS4AddDlsW",           "GGS4AddDlsA",
    "GGS4Play",            "GGS4Stop",             "GGS4Pause",             "GGS4Restart",
    "GGS4SetMasterTempo",  "GGS4SetMasterVolume",  "GGS4SetMasterPitch",    "GGS4GetPlayerStatus",
    "GGS4AddListFromFileW", "GGS4AddListFromFileA", "GGS4AddListFromMemory", "GGS4DeleteListItem",
    "GGS4ClearList",       "GGS4EnumList",         "GGS4GetSmfInformation"};
constexpr int kMidiEntryCount = sizeof kMidiEntryNames / sizeof kMidiEntryNames[0];

// The result an absent entry point gives.
constexpr int kMissingEntryResult = 15;

plat::ModuleHandle g_hMidiLibrary = nullptr;
void* g_MidiEntries[kMidiEntryCount] = {};

template <class F>
F Entry(const char* name) {
  for (int i = 0; i < kMidiEntryCount; ++i)
    if (std::strcmp(kMidiEntryNames[i], name) == 0) return reinterpret_cast<F>(g_MidiEntries[i]);
  return nullptr;
}

}  // namespace

int LoadMidiDLL() {
  if (g_hMidiLibrary) return 0;
  // Looked for beside the program only; the registry knows no folders.
  plat::ModuleHandle module = plat::LoadModule("GuruGuruSMF4.dll");
  if (!module) return 1;
  g_hMidiLibrary = module;
  for (int i = 0; i < kMidiEntryCount; ++i) g_MidiEntries[i] = plat::GetModuleEntry(module, kMidiEntryNames[i]);
  return 0;
}

void ReleaseMidiDLL() {
  if (!g_hMidiLibrary) return;
  if (auto close = Entry<ggs4::CloseDevice>("GGS4CloseDevice")) close();
  plat::FreeModule(g_hMidiLibrary);
  g_hMidiLibrary = nullptr;
  for (void*& entry : g_MidiEntries) entry = nullptr;
}

int MidiMasterVolume(int percent) { return -127 - static_cast<int>(std::trunc(percent * -1.27)); }

int cMidiDLL::Open(int directMusic) {
  if (LoadMidiDLL() != 0) return 0;
  auto open = Entry<ggs4::OpenDevice>("GGS4OpenDevice");
  int result = open ? open(directMusic ? -1100 : -1, 0) : kMissingEntryResult;
  return result == 0 ? 1 : 0;
}

int cMidiDLL::Play(uint32_t listId, const char* path, int loop, int volume) {
  Stop(1);
  char extension[MAX_PATH];
  if (!path || !GetExtension(extension, path) || std::strcmp(extension, "mid") != 0) return 0;
  auto add = Entry<ggs4::AddListFromFileA>("GGS4AddListFromFileA");
  int result = add ? add(path, 0, static_cast<int>(listId)) : kMissingEntryResult;
  if (result != 0) return 0;
  if (auto setVolume = Entry<ggs4::SetMasterVolume>("GGS4SetMasterVolume")) setVolume(MidiMasterVolume(volume));
  if (auto play = Entry<ggs4::Play>("GGS4Play")) play(loop ? 1 : 0, static_cast<int>(listId), 0, 0, 0);
  return 1;
}

void cMidiDLL::Stop(int pause) {
  uint8_t status[20] = {};
  if (auto getStatus = Entry<ggs4::GetPlayerStatus>("GGS4GetPlayerStatus")) getStatus(status, 20);
  if (pause == 0) {
    if (auto stop = Entry<ggs4::Stop>("GGS4Stop")) stop(0);
  } else if (auto doPause = Entry<ggs4::Pause>("GGS4Pause")) {
    doPause();
  }
}
