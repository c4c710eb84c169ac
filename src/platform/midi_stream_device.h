// A MIDI stream device in the manner of the multimedia system the games were
// made for, played by a FluidSynth synthesiser inside our mixer.
//
// The player queues buffers of stream events (each: u32 delta ticks, u32
// stream id, u32 event word, then for long events the bytes padded to 4).
// The device walks them in mix time: ticks become samples through the time
// division and the current tempo, so an event lands on its own sample.
// - Short messages (event type 0) go to the synthesiser; status bytes of 0xF0
//   and above never do (the end-of-track marker 0xFF would be a System Reset).
// - Long messages (MEVT_F_LONG) starting with 0xF0 go to the synthesiser as
//   system exclusive with the 0xF0 / 0xF7 framing stripped.
// - MEVT_TEMPO changes the tempo (0 is ignored: it would stop time).
// - An event with MEVT_F_CALLBACK posts MM_MOM_POSITIONCB (wParam: the
//   stream, lParam: the MidiHeader*) to the callback thread, with the
//   header's `offset` set to that event. When that event is the buffer's last,
//   the buffer is marked done (INQUEUE cleared, DONE set) BEFORE the post, so
//   the player can refill it from the callback.
// - A finished buffer is returned with MM_MOM_DONE.
// - Stop, reset, pause and close silence every note.
// While playing with no buffer queued the stream time stands still.
//
// Only one stream is open at a time (a second open gives MMSYSERR_ALLOCATED).
// The synthesiser loads the SoundFont named by PELMORA_SOUNDFONT, else
// /usr/share/sounds/sf2/default-GM.sf2, at the first open.
#pragma once

#include <cstdint>
#include <string>

#include "platform/messages.h"

namespace plat {

enum : uint32_t {
  MM_MOM_DONE = 0x3C9,
  MM_MOM_POSITIONCB = 0x3CA,
};

enum : uint32_t {
  MHDR_DONE = 0x1,
  MHDR_PREPARED = 0x2,
  MHDR_INQUEUE = 0x4,
};

enum : uint32_t {
  MEVT_F_SHORT = 0x00000000,
  MEVT_F_LONG = 0x80000000,
  MEVT_F_CALLBACK = 0x40000000,
  MEVT_SHORTMSG = 0x00,
  MEVT_TEMPO = 0x01,
  MEVT_NOP = 0x02,
  MEVT_LONGMSG = 0x80,
};

using MidiResult = uint32_t;
enum : MidiResult {
  MMSYSERR_NOERROR = 0,
  MMSYSERR_ERROR = 1,
  MMSYSERR_ALLOCATED = 4,
  MMSYSERR_INVALHANDLE = 5,
  MMSYSERR_NODRIVER = 6,
  MMSYSERR_NOMEM = 7,
  MMSYSERR_INVALPARAM = 11,
  MIDIERR_UNPREPARED = 64,
  MIDIERR_STILLPLAYING = 65,
};

// A buffer of stream events. `data`/`bufferLength` are the player's memory;
// the device reads `bytesRecorded` bytes of it.
struct MidiHeader {
  uint8_t* data = nullptr;
  uint32_t bufferLength = 0;
  uint32_t bytesRecorded = 0;
  uintptr_t user = 0;
  uint32_t flags = 0;   // MHDR_*
  uint32_t offset = 0;  // byte offset of the event that raised the last callback
};

class MidiStream;  // an open stream (owned by the device until closed)

// Opens the stream on the default device; callbacks go to `callbackThread`.
// The stream starts stopped, with tempo 500000 microseconds per quarter note
// and division 96.
MidiResult MidiStreamOpen(MidiStream** stream, ThreadId callbackThread);
// Ticks per quarter note (below 0x8000), or SMPTE (high bit set: -frames
// per second in the high byte, ticks per frame in the low one). 0 is refused.
MidiResult MidiStreamSetTimeDivision(MidiStream* stream, uint32_t division);
MidiResult MidiOutPrepareHeader(MidiStream* stream, MidiHeader* header);
MidiResult MidiOutUnprepareHeader(MidiStream* stream, MidiHeader* header);
MidiResult MidiStreamOut(MidiStream* stream, MidiHeader* header);
MidiResult MidiStreamRestart(MidiStream* stream);
MidiResult MidiStreamPause(MidiStream* stream);
// Stops, returns every queued buffer (DONE), rewinds the stream time.
MidiResult MidiStreamStop(MidiStream* stream);
// As stop, and resets every channel's controllers.
MidiResult MidiOutReset(MidiStream* stream);
MidiResult MidiStreamClose(MidiStream* stream);

// The text of a result, in the manner of the system's error texts.
std::string MidiErrorText(MidiResult result);

// Offline rendering: the callback thread tells the device when it has handled
// one MM_MOM_POSITIONCB, and a caller that pulls the mix faster than real
// time waits for that before the next block (so refills land in time).
void MidiStreamCallbackHandled(MidiStream* stream);
// Returns once every callback the open stream has posted was handled (or the
// stream closed): however long a busy machine keeps the player's thread
// from it, for a mix that went on without the player would not be the
// song's.
void WaitMidiCallbacksHandled();
// The same, giving up after `timeoutMs` of machine time: true when every
// posted callback was handled by then.
bool WaitMidiCallbacksHandled(uint32_t timeoutMs);
// Threads held in the wait without a deadline right now by a callback not
// yet handled (tests hold the player's thread until the pull that needs it
// waits for it, however long: a wait that gives up is not counted).
int MidiCallbackWaiters();

// Notes sounding in the synthesiser (tests: no note hangs after stop/pause).
int MidiSynthActiveVoices();
// Whether the SoundFont loaded (false: MIDI plays silent).
bool MidiSynthReady();
// Why MIDI plays silent (the SoundFont looked for, and why it did not load),
// UTF-8; empty when the SoundFont loaded. Waits for the synthesiser as the
// calls above do.
std::string MidiSoundFontFailure();

// Starts making the synthesiser (reading the SoundFont) on a thread of its
// own; the first stream opened, or any call above, waits for it. Calling it
// again does nothing. What the synthesiser plays is the same either way.
void PrepareMidiSynth();
// Returns once a synthesiser that `PrepareMidiSynth` started is made (at
// once when none was started), so that no loading is left running at exit.
void WaitForMidiSynthPrepared();

}  // namespace plat
