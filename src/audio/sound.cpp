#include "audio/sound.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "base/logs.h"
#include "base/program.h"
#include "base/timers.h"
#include "platform/audio_device.h"
#include "platform/files.h"
#include "platform/text.h"

cSafeVector<cSound> g_SoundList;
std::vector<DSSOUNDDESC> g_SoundDescs;

namespace {

// Module state: whether a device is open, the format asked for, and the
// list DSCreateSoundList last made (DSRelease releases it).
bool g_bDevice = false;
plat::WaveFormat g_PrimaryFormat;
cSafeVector<cSound>* g_lpSoundList = nullptr;
std::recursive_mutex g_SoundMutex;

constexpr size_t kMaxWaveFileBytes = 512u << 20;

uint32_t U32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// A chunk found inside [begin, end): its data offset and its size, the size
// cut to the bytes present.
struct Chunk {
  size_t data = 0;
  size_t size = 0;
  uint32_t declared = 0;
};

// Walks the chunks from `pos` to `end` looking for `id` (the way the
// multimedia file functions descend with "find chunk").
bool FindChunk(const uint8_t* bytes, size_t pos, size_t end, const char* id, Chunk& out) {
  while (pos < end && end - pos >= 8) {
    uint32_t size = U32(bytes + pos + 4);
    size_t data = pos + 8;
    size_t avail = end - data;
    if (std::memcmp(bytes + pos, id, 4) == 0) {
      out.data = data;
      out.declared = size;
      out.size = std::min<size_t>(size, avail);
      return true;
    }
    if (size > avail) return false;
    size_t next = data + size + (size & 1);  // chunks are padded to even sizes
    if (next > end) return false;
    pos = next;
  }
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------
// RIFF reading

WaveParseResult ParseWave(const uint8_t* bytes, size_t size, WAVEDATA& wave) {
  wave = WAVEDATA{};
  // The RIFF chunk of form "WAVE" among the file's top-level chunks.
  size_t pos = 0, riffData = 0, riffEnd = 0;
  bool found = false;
  while (pos < size && size - pos >= 12) {
    uint32_t chunkSize = U32(bytes + pos + 4);
    if (std::memcmp(bytes + pos, "RIFF", 4) == 0 && std::memcmp(bytes + pos + 8, "WAVE", 4) == 0) {
      riffData = pos + 12;
      riffEnd = pos + 8 + std::min<size_t>(chunkSize, size - pos - 8);
      found = true;
      break;
    }
    if (chunkSize > size - pos - 8) break;
    pos += 8 + chunkSize + (chunkSize & 1);
  }
  if (!found || riffEnd < riffData) return WaveParseResult::NotRiffWave;

  Chunk fmt;
  if (!FindChunk(bytes, riffData, riffEnd, "fmt ", fmt)) return WaveParseResult::NoFormatChunk;
  // At most 18 bytes, and all of them present.
  if (fmt.declared >= 19 || fmt.size < fmt.declared) return WaveParseResult::UnsupportedFormat;
  uint8_t raw[18] = {};
  std::memcpy(raw, bytes + fmt.data, fmt.size);
  wave.format.formatTag = U16(raw);
  wave.format.channels = U16(raw + 2);
  wave.format.samplesPerSec = U32(raw + 4);
  wave.format.avgBytesPerSec = U32(raw + 8);
  wave.format.blockAlign = U16(raw + 12);
  wave.format.bitsPerSample = U16(raw + 14);
  wave.format.cbSize = U16(raw + 16);
  if (wave.format.formatTag != plat::kWaveFormatPcm) return WaveParseResult::NotPcm;

  // "data" is looked for after the "fmt " chunk, as ascending and descending again would.
  size_t afterFmt = fmt.data + fmt.declared + (fmt.declared & 1);
  Chunk data;
  if (afterFmt > riffEnd || !FindChunk(bytes, afterFmt, riffEnd, "data", data)) return WaveParseResult::NoData;
  if (data.size == 0) return WaveParseResult::NoData;
  wave.samples.assign(bytes + data.data, bytes + data.data + data.size);
  return WaveParseResult::Ok;
}

const char* WaveParseMessage(WaveParseResult result) {
  switch (result) {
    case WaveParseResult::NotRiffWave:
      return plat::Sjis("%s の読み込みに失敗しました…\n不正なファイルです。").c_str();
    case WaveParseResult::UnsupportedFormat:
      return plat::Sjis(
                 "%s の読み込みに失敗しました…\n対応していない形式か、不正なwavファイルです。\n"
                 "本ソフトではPCM形式のみ再生できます。")
          .c_str();
    case WaveParseResult::NotPcm:
      return plat::Sjis("%s の読み込みに失敗しました…\nPCM形式以外の形式です。\n本ソフトではPCM形式のみ再生できます。")
          .c_str();
    default:
      return nullptr;
  }
}

bool DSLoadWave(const char* fileName, WAVEDATA& wave) {
  wave = WAVEDATA{};
  FILE* f = plat::OpenFile(fileName, "rb");
  if (!f) return false;
  std::vector<uint8_t> bytes;
  bool ok = std::fseek(f, 0, SEEK_END) == 0;
  long size = ok ? std::ftell(f) : -1;
  ok = ok && size >= 0 && static_cast<size_t>(size) <= kMaxWaveFileBytes && std::fseek(f, 0, SEEK_SET) == 0;
  if (ok) {
    bytes.resize(static_cast<size_t>(size));
    ok = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
  }
  std::fclose(f);
  if (!ok) return false;
  WaveParseResult result = ParseWave(bytes.data(), bytes.size(), wave);
  if (result == WaveParseResult::Ok) return true;
  if (const char* message = WaveParseMessage(result)) WriteReportAndECLog(message, fileName);
  return false;
}

// ---------------------------------------------------------------------------
// Device

bool DS_Init(plat::WindowHandle window, uint32_t samplesPerSec, uint32_t bitsPerSample, uint32_t channels) {
  std::lock_guard<std::recursive_mutex> lock(g_SoundMutex);
  plat::AudioDeviceStatus status = plat::OpenAudioDevice();
  if (!status.open) {
    WriteECLog("DIRECTSOUNDCREATE_ERR!");
    WriteReportLog("sound: no audio device could be opened (%s)", status.failure.c_str());
    return false;
  }
  // One line: the driver that could not play and why, and that the game
  // goes on without sound.
  if (status.fellBack) {
    const std::string failed =
        status.asked.empty() ? "no audio driver can" : "the \"" + status.asked + "\" audio driver cannot";
    WriteReportLog("sound: %s play (%s); the game runs silent on the \"%s\" driver", failed.c_str(),
                   status.failure.c_str(), status.driver.c_str());
  }
  // The format asked for; the mixer converts every wave to its own.
  g_PrimaryFormat = plat::WaveFormat{};
  g_PrimaryFormat.formatTag = plat::kWaveFormatPcm;
  g_PrimaryFormat.channels = static_cast<uint16_t>(channels);
  g_PrimaryFormat.samplesPerSec = samplesPerSec;
  g_PrimaryFormat.bitsPerSample = static_cast<uint16_t>(bitsPerSample);
  g_PrimaryFormat.blockAlign = static_cast<uint16_t>(bitsPerSample / 8 * channels);
  g_PrimaryFormat.avgBytesPerSec = g_PrimaryFormat.blockAlign * samplesPerSec;
  g_lpSoundList = nullptr;
  g_bDevice = true;
  return true;
}

int DSCreateSoundList(cSafeVector<cSound>* list, std::vector<DSSOUNDDESC>* descs, int volume) {
  std::lock_guard<std::recursive_mutex> lock(g_SoundMutex);
  g_lpSoundList = list;
  if (!list || !descs) return 1;
  if (list->size() < descs->size()) list->resize(descs->size());
  for (size_t i = 0; i < descs->size(); ++i) {
    cSound& sound = (*list)[i];
    if (sound.Created()) continue;
    const DSSOUNDDESC& desc = (*descs)[i];
    sound.Create(desc.szFileName, desc.nBuffers, volume != 0 ? volume : desc.nVolume);
  }
  return 1;
}

void DSRelease() {
  std::lock_guard<std::recursive_mutex> lock(g_SoundMutex);
  if (g_lpSoundList)
    for (cSound& sound : *g_lpSoundList) sound.Release();
  g_lpSoundList = nullptr;
  if (g_bDevice) plat::CloseAudioDevice();
  g_bDevice = false;
}

int DSVolumeFromOption(int option) {
  static constexpr int kTable[11] = {-10000, -3000, -2000, -1300, -800, -500, -300, -150, -80, -30, 0};
  return kTable[std::clamp(option, 0, 10)];
}

int DSLoadSoundEffects(const std::vector<std::string>& fileNames, int volumeOption) {
  std::lock_guard<std::recursive_mutex> lock(g_SoundMutex);
  for (cSound& sound : g_SoundList) sound.Release();  // a fresh list
  g_SoundDescs.assign(fileNames.size(), DSSOUNDDESC{});
  g_SoundList.resize(fileNames.size());
  for (size_t i = 0; i < fileNames.size(); ++i)
    std::snprintf(g_SoundDescs[i].szFileName, MAX_PATH, "%s", fileNames[i].c_str());
  WriteECLog("DSCreate");
  return DSCreateSoundList(&g_SoundList, &g_SoundDescs, DSVolumeFromOption(volumeOption));
}

int64_t DSPlayRequest(int64_t number) {
  std::lock_guard<std::recursive_mutex> lock(g_SoundMutex);
  int n = static_cast<int>(std::clamp<int64_t>(number, INT32_MIN, INT32_MAX));
  // A bad number is logged (with the record size 284) and plays sound 0; an
  // empty list hands back a blank sound that plays nothing.
  g_SoundList.At(n).Play(0);
  return 0;
}

// ---------------------------------------------------------------------------
// cSound

plat::SoundBuffer* cSound::Buffer(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= m_Buffers.size()) return nullptr;
  return m_Buffers[index].get();
}

bool cSound::Load(int slot, const char* fileName) {
  std::lock_guard<std::recursive_mutex> lock(g_SoundMutex);
  if (slot < 0 || static_cast<size_t>(slot) >= m_Buffers.size()) return false;
  WAVEDATA wave;
  if (!DSLoadWave(fileName, wave)) {
    WriteReportAndECLog(plat::Sjis("%s の読み込みに失敗しました！").c_str(), fileName);
    return false;
  }
  // Waves the mixer cannot play (fewer than 16 bytes of format, odd bit
  // depths, no samples) fail here as a buffer that cannot be made.
  auto buffer = plat::SoundBuffer::Create(wave.format, wave.samples.data(), wave.samples.size());
  if (!buffer) {
    WriteECLog(plat::Sjis("%s生成失敗！").c_str(), fileName);
    return false;
  }
  m_Buffers[slot] = std::move(buffer);
  return true;
}

bool cSound::Create(const char* fileName, int count, int volume) {
  std::lock_guard<std::recursive_mutex> lock(g_SoundMutex);
  if (!g_bDevice) return true;
  ResetStopwatchWhen(1);
  Release();
  // A descriptor asking for no buffers still gets the first one.
  if (count < 1) count = 1;
  m_Buffers.resize(static_cast<size_t>(count));
  if (!Load(0, fileName)) {
    m_Buffers.clear();
    return false;
  }
  for (int i = 1; i < count; ++i) {
    m_Buffers[i] = m_Buffers[0]->Duplicate();
    if (!m_Buffers[i]) {
      WriteECLog(plat::Sjis("%sのメモリ共用バッファの生成失敗！").c_str(), fileName);
      return false;
    }
  }
  m_nCount = count;
  m_nNext = 0;
  std::snprintf(m_szName, sizeof m_szName, "%s", fileName);
  if (volume != 0)
    for (int i = 0; i < count; ++i) SetVolume(i, volume, 0);
  return true;
}

void cSound::Play(uint32_t flags) {
  std::lock_guard<std::recursive_mutex> lock(g_SoundMutex);
  if (m_nCount <= 0 || m_Buffers.empty()) return;
  if (m_nNext < 0 || m_nNext >= m_nCount) m_nNext = 0;
  if (plat::SoundBuffer* buffer = m_Buffers[m_nNext].get()) {
    buffer->Stop();
    buffer->SetCurrentPosition(0);
    buffer->Play((flags & DSBPLAY_LOOPING) != 0);
  }
  if (++m_nNext >= m_nCount) m_nNext = 0;
}

int cSound::SetVolume(int buffer, int volume, int relative) {
  std::lock_guard<std::recursive_mutex> lock(g_SoundMutex);
  plat::SoundBuffer* b = Buffer(buffer);
  if (!b) return 0;
  int64_t value = volume;
  if (relative == 1) value += b->GetVolume();
  int set = static_cast<int>(std::clamp<int64_t>(value, plat::kVolumeMin, plat::kVolumeMax));
  b->SetVolume(set);
  return set;
}

int cSound::GetVolume(int buffer) const {
  std::lock_guard<std::recursive_mutex> lock(g_SoundMutex);
  plat::SoundBuffer* b = Buffer(buffer);
  return b ? b->GetVolume() : 0;
}

void cSound::Release() {
  std::lock_guard<std::recursive_mutex> lock(g_SoundMutex);
  // Duplicates first, then the buffer holding the wave.
  for (size_t i = m_Buffers.size(); i > 1; --i) m_Buffers[i - 1].reset();
  m_Buffers.clear();
  m_nCount = 0;
  m_nNext = 0;
}
