#include "audio/midi_stream.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "base/errors.h"
#include "base/logs.h"
#include "base/thread.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

constexpr size_t kMaxMidiFileBytes = 64u << 20;
constexpr uint32_t kMaxDelta = 0x0FFFFFFF;  // the largest delta a variable-length quantity holds
constexpr uint32_t kEndOfTrackEvent = 0x40002FFF;

uint32_t BE32(const uint8_t* p) { return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }
uint16_t BE16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint32_t LE32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
void PutLE32(uint8_t* p, uint32_t v) {
  p[0] = v & 0xFF;
  p[1] = (v >> 8) & 0xFF;
  p[2] = (v >> 16) & 0xFF;
  p[3] = v >> 24;
}
void PutBE32(uint8_t* p, uint32_t v) {
  p[0] = v >> 24;
  p[1] = (v >> 16) & 0xFF;
  p[2] = (v >> 8) & 0xFF;
  p[3] = v & 0xFF;
}

// One event of a source track, pointing into the file's bytes.
struct SmfEvent {
  uint64_t time = 0;
  uint8_t status = 0;
  uint8_t metaType = 0;
  uint32_t payload = 0;  // offset of the data bytes in the file
  uint32_t length = 0;   // data bytes
};

// Reads one track chunk's events; returns its end time (its end-of-track
// event, or the last whole event when the chunk ends without one or holds
// bytes that cannot be read).
uint64_t ReadTrack(const uint8_t* bytes, size_t pos, size_t end, std::vector<SmfEvent>& out) {
  uint64_t time = 0, endTime = 0;
  uint8_t running = 0;  // the last channel status (meta and sysex events do not replace it)
  while (pos < end) {
    int used = 0;
    uint32_t delta = ReadVarLength(bytes + pos, end - pos, &used);
    if (used == 0) break;
    pos += used;
    if (pos >= end) break;
    uint64_t t = time + delta;
    uint8_t status = bytes[pos];
    if (status >= 0x80) {
      ++pos;
    } else {
      if (running == 0) break;  // data bytes with no status to run on
      status = running;
    }
    SmfEvent e;
    e.time = t;
    e.status = status;
    if (status == 0xFF) {
      if (pos >= end) break;
      e.metaType = bytes[pos++];
      uint32_t len = ReadVarLength(bytes + pos, end - pos, &used);
      if (used == 0) break;
      pos += used;
      if (len > end - pos) break;
      if (e.metaType == 0x2F) {
        endTime = t;
        return endTime;
      }
      e.payload = static_cast<uint32_t>(pos);
      e.length = len;
      pos += len;
    } else if (status == 0xF0 || status == 0xF7) {
      uint32_t len = ReadVarLength(bytes + pos, end - pos, &used);
      if (used == 0) break;
      pos += used;
      if (len > end - pos) break;
      e.payload = static_cast<uint32_t>(pos);
      e.length = len;
      pos += len;
    } else if (status > 0xF0) {
      break;  // system common and real-time bytes have no place in a file
    } else {
      running = status;
      uint32_t n = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
      if (end - pos < n) break;
      e.payload = static_cast<uint32_t>(pos);
      e.length = n;
      pos += n;
    }
    time = t;
    endTime = t;
    out.push_back(e);
  }
  return endTime;
}

std::string ErrorText(plat::MidiResult result) { return plat::MidiErrorText(result); }

std::atomic<MidiPlayerHook> g_playerHook{nullptr};

void RunPlayerHook(MidiPlayerPoint point) {
  if (MidiPlayerHook hook = g_playerHook.load()) hook(point);
}

}  // namespace

void SetMidiPlayerHookForTest(MidiPlayerHook hook) { g_playerHook.store(hook); }

// ---------------------------------------------------------------------------

uint32_t ReadVarLength(const uint8_t* p, size_t avail, int* used) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    if (static_cast<size_t>(i) >= avail) break;
    value = (value << 7) | (p[i] & 0x7F);
    if (!(p[i] & 0x80)) {
      *used = i + 1;
      return value;
    }
  }
  *used = 0;
  return 0;
}

int WriteVarLength(uint8_t* buffer, uint32_t value) {
  if (value >= 0x10000000) return 0;
  uint8_t groups[4];
  int n = 0;
  do {
    groups[n++] = value & 0x7F;
    value >>= 7;
  } while (value);
  for (int i = 0; i < n; ++i) buffer[i] = static_cast<uint8_t>(groups[n - 1 - i] | (i + 1 < n ? 0x80 : 0));
  return n;
}

void cSmfData::Log(const char* format, const std::string& detail) {
  std::string line;
  if (detail.empty()) FormatString(line, format, m_FileName.c_str());
  else FormatString(line, format, m_FileName.c_str(), detail.c_str());
  m_LastMessage = line;
  WriteReportAndECLog("%s", line.c_str());
}

void cSmfData::ReadFile(const char* fileName) {
  m_FileName = fileName ? fileName : "";
  m_Image.clear();
  m_dLength = 0.0;
  FILE* f = plat::OpenFile(m_FileName, "rb");
  std::vector<uint8_t> bytes;
  bool ok = f != nullptr;
  if (ok) {
    ok = std::fseek(f, 0, SEEK_END) == 0;
    long size = ok ? std::ftell(f) : -1;
    ok = ok && size >= 0 && static_cast<size_t>(size) <= kMaxMidiFileBytes && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
      bytes.resize(static_cast<size_t>(size));
      ok = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
    }
    std::fclose(f);
  }
  if (!ok) {
    Log(plat::Sjis("Midi %s Create ファイルが開けません").c_str());
    return;
  }
  Parse(bytes.data(), bytes.size());
}

bool cSmfData::Parse(const uint8_t* bytes, size_t size) {
  m_Image.clear();
  m_dLength = 0.0;
  m_Cut = cCut{};
  m_nNoteOns = 0;
  if (size < 4 || std::memcmp(bytes, "MThd", 4) != 0) {
    Log(plat::Sjis("Midi %s Init 標準MIDIでない(4)").c_str());
    return false;
  }
  if (size < 14 || BE32(bytes + 4) != 6) {
    Log(plat::Sjis("Midi %s Init 標準MIDIでない(6)").c_str());
    return false;
  }
  uint16_t format = BE16(bytes + 8);
  if (format == 2) {
    Log(plat::Sjis("Midi %s Init 対応フォーマットが2でない").c_str());
    return false;
  }
  if (format > 2) {
    Log(plat::Sjis("Midi %s Init 対応フォーマットが0または1でない").c_str());
    return false;
  }
  if (size < 18 || std::memcmp(bytes + 14, "MTrk", 4) != 0) {
    Log(plat::Sjis("Midi %s Init 標準MIDIでない(4)").c_str());
    return false;
  }
  return MergeTracks(bytes, size);
}

bool cSmfData::MergeTracks(const uint8_t* bytes, size_t size) {
  const uint16_t trackCount = BE16(bytes + 10);
  const uint16_t division = BE16(bytes + 12);
  // Tracks are found by their chunk lengths (cut to the file); chunks of
  // other kinds are skipped. A track ends at its end-of-track event or its
  // chunk's end, whichever comes first.
  std::vector<SmfEvent> events;
  uint64_t lastEnd = 0;
  size_t pos = 14;
  m_Cut = cCut{};
  m_Cut.tracksCounted = trackCount;
  int track = 0;
  while (track < trackCount && pos + 8 <= size) {
    uint32_t length = BE32(bytes + pos + 4);
    size_t data = pos + 8;
    if (length > size - data && !m_Cut.insideChunk) {
      m_Cut.insideChunk = true;
      m_Cut.announced = length;
      m_Cut.there = static_cast<uint32_t>(size - data);
    }
    size_t end = data + std::min<size_t>(length, size - data);
    if (std::memcmp(bytes + pos, "MTrk", 4) == 0) {
      lastEnd = std::max(lastEnd, ReadTrack(bytes, data, end, events));
      ++track;
    }
    pos = end;
  }
  m_Cut.tracksFound = static_cast<uint16_t>(track);
  m_nNoteOns = static_cast<uint32_t>(std::count_if(events.begin(), events.end(), [&](const SmfEvent& e) {
    return (e.status & 0xF0) == 0x90 && e.length == 2 && bytes[e.payload + 1] != 0;
  }));
  // Merge: by time; equal times keep track order, then file order.
  std::stable_sort(events.begin(), events.end(), [](const SmfEvent& a, const SmfEvent& b) { return a.time < b.time; });

  // Length from the tempo map (tempo 0 is ignored, as the device ignores it).
  uint32_t tempo = 500000;
  uint64_t lastTick = 0;
  double seconds = 0.0;
  auto span = [&](uint64_t ticks) -> double {
    if (division & 0x8000) {
      int fps = -static_cast<int8_t>(division >> 8);
      double perSecond = (fps == 29 ? 29.97 : fps) * (division & 0xFF);
      return perSecond > 0 ? ticks / perSecond : 0.0;
    }
    return division ? static_cast<double>(ticks) * tempo * 1e-6 / division : 0.0;
  };
  for (const SmfEvent& e : events) {
    if (e.status == 0xFF && e.metaType == 0x51 && e.length == 3) {
      seconds += span(e.time - lastTick);
      lastTick = e.time;
      uint32_t t = (bytes[e.payload] << 16) | (bytes[e.payload + 1] << 8) | bytes[e.payload + 2];
      if (t) tempo = t;
    }
  }
  seconds += span(lastEnd - lastTick);

  // The image.
  std::vector<uint8_t> image(kSmfImageFirstEvent);
  std::memcpy(image.data(), "MThd\0\0\0\x06\0\0\0\x01", 12);
  image[12] = static_cast<uint8_t>(division >> 8);
  image[13] = static_cast<uint8_t>(division & 0xFF);
  std::memcpy(image.data() + 14, "MTrk", 4);
  uint64_t previous = 0;
  uint8_t vlq[4];
  auto putDelta = [&](uint64_t time) {
    uint64_t delta = std::min<uint64_t>(time - previous, kMaxDelta);
    previous = time;
    int n = WriteVarLength(vlq, static_cast<uint32_t>(delta));
    image.insert(image.end(), vlq, vlq + n);
  };
  for (const SmfEvent& e : events) {
    putDelta(e.time);
    image.push_back(e.status);
    if (e.status == 0xFF) image.push_back(e.metaType);
    if (e.status == 0xFF || e.status == 0xF0 || e.status == 0xF7) {
      int n = WriteVarLength(vlq, std::min<uint32_t>(e.length, kMaxDelta));
      image.insert(image.end(), vlq, vlq + n);
    }
    image.insert(image.end(), bytes + e.payload, bytes + e.payload + e.length);
  }
  putDelta(std::max(lastEnd, previous));
  const uint8_t eot[3] = {0xFF, 0x2F, 0x00};
  image.insert(image.end(), eot, eot + 3);
  PutBE32(image.data() + 18, static_cast<uint32_t>(image.size() - kSmfImageFirstEvent));
  m_Image = std::move(image);
  m_dLength = seconds;
  return true;
}

// ---------------------------------------------------------------------------

uint32_t FillStreamBuffer(const std::vector<uint8_t>& image, uint32_t position, plat::MidiHeader* header,
                          uint32_t* oversized) {
  std::memset(header->data, 0, header->bufferLength);
  const uint8_t* img = image.data();
  const size_t end = image.size();
  const uint32_t capacity = header->bufferLength;
  uint32_t out = 0;
  int64_t lastWritten = -1;       // offset in the block of the last event written
  size_t pos = position;
  size_t afterLastWritten = pos;  // where to resume when the block is full
  uint64_t carry = 0;             // delta of skipped events, owed to the next one written
  bool full = false;
  while (pos < end) {
    int used = 0;
    uint32_t delta = ReadVarLength(img + pos, end - pos, &used);
    if (used == 0) break;
    size_t p = pos + used;
    if (p >= end) break;
    uint8_t status = img[p];
    uint64_t total = carry + delta;
    uint32_t word = 0, size = 12;
    const uint8_t* longData = nullptr;
    uint32_t longLength = 0;
    size_t eventEnd = 0;
    bool skip = false, endOfTrack = false;
    if (status == 0xFF) {
      if (p + 2 > end) break;
      uint8_t type = img[p + 1];
      uint32_t len = ReadVarLength(img + p + 2, end - p - 2, &used);
      if (used == 0 || len > end - p - 2 - used) break;
      size_t data = p + 2 + used;
      eventEnd = data + len;
      if (type == 0x2F) {
        word = kEndOfTrackEvent;
        endOfTrack = true;
      } else if (type == 0x51 && len == 3) {
        word = (static_cast<uint32_t>(plat::MEVT_TEMPO) << 24) | (img[data] << 16) | (img[data + 1] << 8) | img[data + 2];
      } else {
        skip = true;
      }
    } else if (status == 0xF0 || status == 0xF7) {
      uint32_t len = ReadVarLength(img + p + 1, end - p - 1, &used);
      if (used == 0 || len > end - p - 1 - used || len > 0xFFFFFE) break;
      longData = img + p + 1 + used;
      longLength = len + 1;  // the status byte travels with the data
      eventEnd = p + 1 + used + len;
      word = plat::MEVT_F_LONG | longLength;
      size = 12 + ((longLength + 3) & ~3u);
      if (size > capacity) {  // can never be sent: skip it rather than stall the song
        skip = true;
        if (oversized) ++*oversized;
      }
    } else if (status >= 0x80) {
      uint32_t n = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
      if (status >= 0xF0 || p + 1 + n > end) break;
      word = status | (img[p + 1] << 8) | (n == 2 ? img[p + 2] << 16 : 0);
      eventEnd = p + 1 + n;
    } else {
      break;  // the image always carries status bytes
    }
    if (skip) {
      carry = total;
      pos = eventEnd;
      continue;
    }
    if (out + size > capacity) {
      // Stop before this event; skipped events since the last one written
      // are read again next time, so their deltas are not lost.
      if (lastWritten >= 0) header->data[lastWritten + 11] |= plat::MEVT_F_CALLBACK >> 24;
      pos = afterLastWritten;
      full = true;
      break;
    }
    uint8_t* e = header->data + out;
    PutLE32(e, static_cast<uint32_t>(std::min<uint64_t>(total, UINT32_MAX)));
    PutLE32(e + 4, 0);
    PutLE32(e + 8, word);
    if (longData) {
      e[12] = status;
      std::memcpy(e + 13, longData, longLength - 1);
    }
    lastWritten = out;
    out += size;
    carry = 0;
    pos = eventEnd;
    afterLastWritten = pos;
    if (endOfTrack) break;
  }
  (void)full;
  header->bytesRecorded = out;
  header->flags = 0;
  return static_cast<uint32_t>(pos - position);
}

// ---------------------------------------------------------------------------

cMidiStream::cMidiStream(const char* fileName) {
  ReadFile(fileName);
  if (HasImage()) Open();
}

cMidiStream::~cMidiStream() { Close(); }

void cMidiStream::LogResult(const char* format, plat::MidiResult result) { Log(format, ErrorText(result)); }

void cMidiStream::Open() {
  std::lock_guard<std::recursive_mutex> lock(m_Mutex);
  m_nCurrentBuffer = 0;
  for (uint32_t i = 0; i < kBufferCount; ++i) {
    m_Blocks[i].assign(kBufferSize, 0);
    m_Headers[i] = plat::MidiHeader{};
    m_Headers[i].data = m_Blocks[i].data();
    m_Headers[i].bufferLength = kBufferSize;
    m_Headers[i].user = i;
  }
  // The thread has its queue before it runs: the device posts the song's
  // callbacks to it from the first pull of the mix on, however late a busy
  // machine first lets the thread run (the callbacks wait in the queue).
  if (!m_Thread.Start([this]() { return ThreadProc(this); }, true)) {
    Log("Midi %s Thread %s", "the player thread could not be started");
    return;
  }
  plat::MidiResult r = plat::MidiStreamOpen(&m_hStream, m_Thread.Id());
  if (r != plat::MMSYSERR_NOERROR) {
    LogResult("Midi %s Open %s", r);
    m_hStream = nullptr;
    return;
  }
  r = plat::MidiStreamSetTimeDivision(m_hStream, BE16(m_Image.data() + 12));
  if (r != plat::MMSYSERR_NOERROR) LogResult("Midi %s Property %s", r);
  m_nPosition = kSmfImageFirstEvent;
  m_nState = kStopped;
  Queue();
}

uint32_t cMidiStream::FillBuffer(uint32_t position, plat::MidiHeader* header) {
  uint32_t oversized = 0;
  uint32_t consumed = FillStreamBuffer(m_Image, position, header, &oversized);
  if (oversized) Log("Midi %s Fill %s", "a system exclusive message larger than a stream buffer was skipped");
  return consumed;
}

void cMidiStream::Queue() {
  std::lock_guard<std::recursive_mutex> lock(m_Mutex);
  if (!m_hStream || m_nPosition >= EndPosition()) return;
  plat::MidiHeader* header = &m_Headers[m_nCurrentBuffer];
  if (header->flags & plat::MHDR_INQUEUE) return;
  m_nPosition += FillBuffer(m_nPosition, header);
  plat::MidiResult r = plat::MidiOutPrepareHeader(m_hStream, header);
  if (r != plat::MMSYSERR_NOERROR) LogResult("Midi %s Prepare %s", r);
  r = plat::MidiStreamOut(m_hStream, header);
  if (r != plat::MMSYSERR_NOERROR) LogResult("Midi %s Out %s", r);
  m_nCurrentBuffer = (m_nCurrentBuffer + 1) % kBufferCount;
}

void cMidiStream::Restart(uint32_t loop) {
  std::lock_guard<std::recursive_mutex> lock(m_Mutex);
  if (!HasImage()) return;
  m_nLoop = loop;
  if (m_nState == kPlaying) return;
  plat::MidiResult r = plat::MidiStreamRestart(m_hStream);
  if (r != plat::MMSYSERR_NOERROR) LogResult("Midi %s Restart %s", r);
  bool wasStopped = m_nState == kStopped;
  m_nState = kPlaying;
  if (wasStopped && m_nPosition < EndPosition()) Queue();
}

void cMidiStream::Pause(uint32_t pause) {
  std::lock_guard<std::recursive_mutex> lock(m_Mutex);
  if (pause == 0) {
    plat::MidiResult r = plat::MidiStreamStop(m_hStream);
    if (r != plat::MMSYSERR_NOERROR && m_hStream) LogResult("Midi %s Stop %s", r);
    m_nState = kStopped;
    m_nPosition = kSmfImageFirstEvent;
    Queue();
  } else if (m_nState == kPlaying) {
    plat::MidiResult r = plat::MidiStreamPause(m_hStream);
    if (r != plat::MMSYSERR_NOERROR && m_hStream) LogResult("Midi %s Pause %s", r);
    m_nState = kPaused;
  }
}

uint32_t cMidiStream::ThreadProc(cMidiStream* player) {
  RunPlayerHook(MidiPlayerPoint::kStarted);
  plat::Message msg;
  while (plat::GetMessage(msg)) {
    if (msg.message != plat::MM_MOM_POSITIONCB) continue;
    RunPlayerHook(MidiPlayerPoint::kCallback);
    auto* stream = reinterpret_cast<plat::MidiStream*>(static_cast<uintptr_t>(msg.wParam));
    player->OnPositionCallback(reinterpret_cast<plat::MidiHeader*>(static_cast<intptr_t>(msg.lParam)));
    plat::MidiStreamCallbackHandled(stream);
  }
  return 0;
}

void cMidiStream::OnPositionCallback(plat::MidiHeader* header) {
  std::lock_guard<std::recursive_mutex> lock(m_Mutex);
  // Only our own headers, and only while playing: a callback that raced a
  // stop from the main thread is stale.
  if (header != &m_Headers[0] && header != &m_Headers[1]) return;
  if (m_bClosed || m_nState != kPlaying || header->offset + 12 > header->bufferLength) return;
  uint32_t event = LE32(header->data + header->offset + 8);
  if ((event & 0xFFFFFF) != 0x002FFF) {
    // The device reached the end of a full buffer: refill it.
    if (m_nPosition < EndPosition()) Queue();
  } else {
    Pause(0);
    if (m_nLoop) Restart(1);
  }
}

void cMidiStream::Close() {
  {
    std::lock_guard<std::recursive_mutex> lock(m_Mutex);
    if (m_bClosed) return;
    m_bClosed = true;
    if (m_hStream) {
      plat::MidiResult r = plat::MidiOutReset(m_hStream);
      if (r != plat::MMSYSERR_NOERROR) LogResult("Midi %s Reset %s", r);
    }
  }
  // The thread must no longer run before the player goes away: it runs this
  // player's code. One that a busy machine has not let come round to its
  // WM_QUIT is told to end at its next message call, and waited for, as
  // long as the game's own threads are.
  if (m_Thread.Started()) {
    plat::PostThreadMessage(m_Thread.Id(), plat::WM_QUIT, 0, 0);
    if (!m_Thread.Join(2000)) {
      m_Thread.RequestTerminate();
      AwaitToldThread(m_Thread, "the MIDI player's thread");
    }
  }
  std::lock_guard<std::recursive_mutex> lock(m_Mutex);
  if (m_hStream) {
    for (plat::MidiHeader& header : m_Headers) {
      plat::MidiResult r = plat::MidiOutUnprepareHeader(m_hStream, &header);
      if (r != plat::MMSYSERR_NOERROR) LogResult("Midi %s Unprepare %s", r);
    }
    plat::MidiResult r = plat::MidiStreamClose(m_hStream);
    if (r != plat::MMSYSERR_NOERROR) LogResult("Midi %s Close %s", r);
    m_hStream = nullptr;
  }
  for (auto& block : m_Blocks) std::vector<uint8_t>().swap(block);
  m_Image.clear();
  m_nState = kStopped;
}

uint32_t cMidiStream::State() const {
  std::lock_guard<std::recursive_mutex> lock(m_Mutex);
  return m_nState;
}

uint32_t cMidiStream::Position() const {
  std::lock_guard<std::recursive_mutex> lock(m_Mutex);
  return m_nPosition;
}

bool cMidiStream::ThreadRunning() const { return m_Thread.Started() && !m_Thread.Finished(); }
