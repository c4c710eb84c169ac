// The sound card: one SDL audio device that plays GlobalMixer(). Opened by
// the main thread (DS_Init). Where no sound card works the device falls back
// to SDL's "dummy" driver, which consumes the mix in real time and plays
// nothing, so the game still runs.
#pragma once

#include <string>

namespace plat {

struct AudioDeviceStatus {
  bool open = false;          // a device (real or dummy) pulls the mix
  bool fellBack = false;      // the real drivers failed; the dummy driver runs
  std::string driver;         // SDL's driver name ("pulseaudio", "alsa", "dummy", "disk" ...)
  std::string asked;          // the driver SDL_AUDIODRIVER names; empty: SDL tried its own list
  std::string failure;        // why the real drivers failed (for the log)
};

// Opens the device once; later calls return the same status. With manual
// pull on (tests, tools), no device is opened and the status says "pull".
// A driver that cannot play, also one SDL_AUDIODRIVER names, falls back to
// "dummy"; the driver the environment names is asked for again at the next
// open.
AudioDeviceStatus OpenAudioDevice();
void CloseAudioDevice();
bool AudioDeviceOpen();

// While on, OpenAudioDevice opens nothing: the caller pulls the mix itself
// with GlobalMixer().Render*, and a device already open is paused (it plays
// on when manual pull is turned off). Also set by PELMORA_AUDIO=pull.
void SetManualAudioPull(bool on);
bool ManualAudioPull();

}  // namespace plat
