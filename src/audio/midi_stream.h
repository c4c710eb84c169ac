// Standard MIDI files and the MIDI stream player.
//
// `cSmfData` reads a standard MIDI file of format 0 or 1 into one in-memory
// image of format 0: "MThd", 6, format 0, one track, the file's division;
// "MTrk" and the length; then every track's events merged in time order
// (equal times: lower track first), each with its own status byte, ending in
// one end-of-track event at the latest end of all tracks.
//
// `cMidiStream` plays such an image on the MIDI stream device: two buffers of
// 24000 bytes of stream events, refilled by a thread of its own whenever the
// device reaches the end of one; at the end of the song it stops and, when
// looping, starts again. The main thread creates, restarts, pauses and
// deletes players; deleting ends the thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/midi_stream_device.h"
#include "platform/threads.h"

// A variable-length quantity at `p` with `avail` bytes readable: the value,
// and in `used` the bytes it took (1..4), or 0 when it is cut short or runs
// past 4 bytes.
uint32_t ReadVarLength(const uint8_t* p, size_t avail, int* used);
// Writes `value` most significant group first (bit 7 set on all but the last
// byte): 1..4 bytes, or 0 (nothing written) for 0x10000000 and above.
int WriteVarLength(uint8_t* buffer, uint32_t value);

// Offsets in the image.
inline constexpr uint32_t kSmfImageFirstEvent = 22;

class cSmfData {
 public:
  cSmfData() = default;
  virtual ~cSmfData() = default;
  cSmfData(const cSmfData&) = delete;
  cSmfData& operator=(const cSmfData&) = delete;

  // Reads the file (program path) whole and builds the image; failures are
  // logged ("Midi %s Create ファイルが開けません" and the Parse lines).
  void ReadFile(const char* fileName);
  // Builds the image from the bytes of a file; false (and no image) after
  // the failure's log line.
  bool Parse(const uint8_t* bytes, size_t size);

  bool HasImage() const { return !m_Image.empty(); }
  const std::vector<uint8_t>& Image() const { return m_Image; }
  const std::string& FileName() const { return m_FileName; }
  // The song's length in seconds, from the tempo map.
  double Length() const { return m_dLength; }
  // The last log line this reader wrote (CP932; empty when none).
  const std::string& LastMessage() const { return m_LastMessage; }
  // How the file read last was cut short, if it was: the song holds what is
  // left of its tracks. A chunk may announce more bytes than the file has
  // left (the first such chunk), or the file may end before the track chunks
  // its header counts.
  struct cCut {
    bool insideChunk = false;
    uint32_t announced = 0, there = 0;  // of the chunk cut
    uint16_t tracksCounted = 0, tracksFound = 0;
    bool Any() const { return insideChunk || tracksFound < tracksCounted; }
  };
  const cCut& Cut() const { return m_Cut; }
  // The notes the song starts (note-ons of a velocity above 0).
  uint32_t NoteOns() const { return m_nNoteOns; }

 protected:
  void Log(const char* format, const std::string& detail = std::string());
  bool MergeTracks(const uint8_t* bytes, size_t size);

  std::vector<uint8_t> m_Image;  // empty when reading failed
  std::string m_FileName;
  double m_dLength = 0.0;
  std::string m_LastMessage;
  cCut m_Cut;
  uint32_t m_nNoteOns = 0;
};

// Converts image events from `position` into stream events in `header`'s
// block (zeroed first): short messages, system exclusive as long events,
// tempo changes, and the end of track as 0x40002FFF; other meta events are
// skipped and their delta times carried into the next event written. When
// an event does not fit, the last event written gets MEVT_F_CALLBACK and
// filling stops before it. An event larger than a whole buffer can never be
// sent: it is skipped (counted in `oversized`). Sets bytesRecorded, clears
// the flags; returns the image bytes consumed.
uint32_t FillStreamBuffer(const std::vector<uint8_t>& image, uint32_t position, plat::MidiHeader* header,
                          uint32_t* oversized = nullptr);

// Tests: a hook the player's thread runs when it starts (before it takes
// any message) and before it handles each position callback, so that a test
// can hold the thread there as a busy machine might. Null: none.
enum class MidiPlayerPoint { kStarted, kCallback };
using MidiPlayerHook = void (*)(MidiPlayerPoint point);
void SetMidiPlayerHookForTest(MidiPlayerHook hook);

class cMidiStream : public cSmfData {
 public:
  enum : uint32_t { kStopped = 0, kPlaying = 1, kPaused = 2 };
  static constexpr uint32_t kBufferCount = 2;
  static constexpr uint32_t kBufferSize = 24000;

  // Reads the file and, when an image was built, opens the stream.
  explicit cMidiStream(const char* fileName);
  ~cMidiStream() override;  // Close

  void Open();
  uint32_t FillBuffer(uint32_t position, plat::MidiHeader* header);
  void Queue();
  // Starts (or resumes) playing; `loop` non-zero starts again at the end.
  void Restart(uint32_t loop);
  // 0: stop, rewind and refill the first buffer; 1: pause (only while playing).
  void Pause(uint32_t pause);
  void Close();

  uint32_t State() const;
  uint32_t Position() const;
  bool ThreadRunning() const;
  plat::ThreadId ThreadId() const { return m_Thread.Id(); }

 private:
  static uint32_t ThreadProc(cMidiStream* player);
  void OnPositionCallback(plat::MidiHeader* header);
  void LogResult(const char* format, plat::MidiResult result);
  uint32_t EndPosition() const { return static_cast<uint32_t>(m_Image.size()); }

  // Shared by the main thread and the player thread.
  mutable std::recursive_mutex m_Mutex;
  int32_t m_nCurrentBuffer = 0;
  plat::MidiStream* m_hStream = nullptr;
  plat::MidiHeader m_Headers[kBufferCount];
  std::vector<uint8_t> m_Blocks[kBufferCount];
  uint32_t m_nPosition = kSmfImageFirstEvent;
  uint32_t m_nState = kStopped;
  uint32_t m_nLoop = 0;
  bool m_bClosed = false;
  plat::Thread m_Thread;
};
