#include "platform/audio_device.h"

#include <SDL.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/audio_mixer.h"

namespace plat {

namespace {

std::mutex g_deviceMutex;
SDL_AudioDeviceID g_device = 0;
AudioDeviceStatus g_status;
std::atomic<int> g_manualPull{-1};  // -1: not decided yet (read the environment)

void SDLCALL AudioCallback(void*, Uint8* stream, int len) {
  GlobalMixer().Render(reinterpret_cast<float*>(stream), len / static_cast<int>(sizeof(float) * kMixChannels));
}

// Initialises SDL's audio with the current driver choice and opens the
// device; 0 and `error` on failure.
SDL_AudioDeviceID TryOpen(std::string& error) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    error = SDL_GetError();
    return 0;
  }
  SDL_AudioSpec want{};
  want.freq = kMixRate;
  want.format = AUDIO_F32SYS;
  want.channels = kMixChannels;
  want.samples = 1024;
  want.callback = AudioCallback;
  SDL_AudioSpec have{};
  // No allowed changes: SDL converts our 44100 Hz float stereo to the card's format.
  SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (id == 0) {
    error = SDL_GetError();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
  return id;
}

}  // namespace

void SetManualAudioPull(bool on) {
  std::lock_guard<std::mutex> lock(g_deviceMutex);
  g_manualPull = on ? 1 : 0;
  // A device opened before stops pulling for as long as the caller pulls:
  // two pullers would each take a part of every song and sound. Pausing
  // waits for a callback under way, so none runs once this returns.
  if (g_device != 0) SDL_PauseAudioDevice(g_device, on ? 1 : 0);
}

bool ManualAudioPull() {
  int v = g_manualPull.load();
  if (v < 0) {
    const char* env = std::getenv("PELMORA_AUDIO");
    v = env && std::strcmp(env, "pull") == 0 ? 1 : 0;
    g_manualPull = v;
  }
  return v == 1;
}

AudioDeviceStatus OpenAudioDevice() {
  std::lock_guard<std::mutex> lock(g_deviceMutex);
  if (g_status.open) return g_status;
  if (ManualAudioPull()) {
    g_status = AudioDeviceStatus{true, false, "pull", "", ""};
    return g_status;
  }
  AudioDeviceStatus status;
  if (const char* asked = SDL_GetHint(SDL_HINT_AUDIODRIVER)) status.asked = asked;
  std::string error;
  SDL_AudioDeviceID id = TryOpen(error);
  if (id == 0) {
    status.failure = error;
    status.fellBack = true;
    // SDL takes a driver that SDL_AUDIODRIVER names over any hint of normal
    // priority, so only an override reaches the dummy driver past it. The
    // override lasts for this one open: the hint goes back to what the
    // environment says, and a later open (a test, a device opened again)
    // asks for that driver first.
    SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
    std::string dummyError;
    id = TryOpen(dummyError);
    SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    if (id == 0) {
      status.failure += "; dummy: " + dummyError;
      g_status = status;
      return status;
    }
  }
  const char* driver = SDL_GetCurrentAudioDriver();
  status.driver = driver ? driver : "";
  status.open = true;
  g_device = id;
  g_status = status;
  SDL_PauseAudioDevice(id, 0);
  return status;
}

void CloseAudioDevice() {
  std::lock_guard<std::mutex> lock(g_deviceMutex);
  if (g_device != 0) {
    SDL_CloseAudioDevice(g_device);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    g_device = 0;
  }
  g_status = AudioDeviceStatus{};
}

bool AudioDeviceOpen() {
  std::lock_guard<std::mutex> lock(g_deviceMutex);
  return g_status.open;
}

}  // namespace plat
