#include "data/settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/system_data.h"
#include "platform/files.h"

GameSettingsRecord GameSettings;

namespace {

// The settings field of key-table entry i (8, the stage text, has none).
int32_t* NumberField(GameSettingsRecord& s, int entry) {
  switch (entry) {
    case 0: return &s.nDirect3D;
    case 1: return &s.nWindowMode;
    case 2: return &s.nBpp;
    case 3: return &s.nVSync;
    case 4: return &s.nD3DFontCache;
    case 5: return &s.nDDFontCache;
    case 6: return &s.nDDVideoStretch;
    case 7: return &s.nShowFps;
    case 9: return &s.nEnglish;
    case 10: return &s.nMidiDirectMusic;
    default: return nullptr;
  }
}

constexpr int kFreeStageEntry = 8;
constexpr int kMaxItems = 10000;
// Keys and values are held to 2047 bytes; the rest of a longer one is read
// and dropped, so it cannot spill into the next key.
constexpr size_t kMaxItemBytes = 2047;

}  // namespace

void SetDefaultSettings(GameSettingsRecord& settings, cSafeVector<cOptionKey>& keyTable) {
  for (int entry = 0; entry <= 10; ++entry) {
    cOptionKey& key = keyTable.At(entry);
    if (entry == kFreeStageEntry) {
      std::snprintf(settings.szFreeStage, sizeof settings.szFreeStage, "%s", key.m_strDefault.c_str());
    } else {
      *NumberField(settings, entry) = key.m_nDefault;
    }
  }
}

int32_t ParseSystemIni(const std::string& text, GameSettingsRecord& settings, cSafeVector<cOptionKey>& keyTable) {
  size_t pos = 0;
  auto next = [&]() -> int { return pos < text.size() ? static_cast<unsigned char>(text[pos++]) : EOF; };
  for (int item = 0; item < kMaxItems; ++item) {
    std::string key;
    bool hasValue = false;
    for (;;) {
      int c = next();
      if (c == EOF) return 0;  // the file ended inside a key
      if (c == '=') {
        hasValue = true;
        break;
      }
      if (c == '\r' || c == ' ' || c == '\t') continue;
      if (c == '\n') break;
      if (c == '\0') return 1;
      if (key.size() < kMaxItemBytes) key.push_back(static_cast<char>(c));
    }
    if (!hasValue) {
      if (key == "Exit") return 1;
      continue;
    }
    std::string value;
    bool endOfText = false;
    for (;;) {
      int c = next();
      if (c == EOF) break;
      if (c == ' ' || c == '\t' || c == '/' || c == '\n') break;
      if (c == '\0') {
        endOfText = true;
        break;
      }
      if (value.size() < kMaxItemBytes) value.push_back(static_cast<char>(c));
    }
    for (int entry = 0; entry < static_cast<int>(keyTable.size()); ++entry) {
      if (keyTable[entry].m_strKey != key) continue;
      if (entry == kFreeStageEntry) {
        if (value.size() >= 2 && value.size() <= 259)
          std::snprintf(settings.szFreeStage, sizeof settings.szFreeStage, "%s", value.c_str());
      } else if (int32_t* field = NumberField(settings, entry)) {
        *field = std::atoi(value.c_str());
      }
      break;
    }
    // A NUL inside a value ends the text as one inside a key does.
    if (endOfText) return 1;
  }
  return 1;
}

int32_t ReadSystemIni(const std::string& fileName, GameSettingsRecord& settings, cSafeVector<cOptionKey>& keyTable) {
  FILE* f = plat::OpenFile(fileName, "rb");
  if (!f) return 0;
  // Ten thousand items of at most two 2 KB buffers each: nothing readable is larger.
  constexpr size_t kMaxFileBytes = 64u << 20;
  std::string text;
  char buffer[16384];
  size_t n;
  bool ok = true;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
    if (text.size() + n > kMaxFileBytes) {
      ok = false;
      break;
    }
    text.append(buffer, n);
  }
  if (std::ferror(f)) ok = false;
  std::fclose(f);
  return ok ? ParseSystemIni(text, settings, keyTable) : 0;
}

std::string DefaultSystemIniText(cSafeVector<cOptionKey>& keyTable) {
  std::string text;
  for (int entry = 0; entry < static_cast<int>(keyTable.size()); ++entry) {
    const cOptionKey& key = keyTable[entry];
    // A key the reader could not match again (empty, or holding what ends a
    // key) is left out.
    if (key.m_strKey.empty() || key.m_strKey.find_first_of("= \t\r\n/", 0) != std::string::npos ||
        key.m_strKey.find('\0') != std::string::npos || key.m_strKey == "Exit")
      continue;
    const bool isText = entry == kFreeStageEntry || (entry > 10 && key.m_nKind == 1);
    std::string value = isText ? key.m_strDefault : std::to_string(key.m_nDefault);
    // A value ends at a blank, "/" or a line end: a default holding one is
    // not written.
    if (value.find_first_of(" \t\n/", 0) != std::string::npos || value.find('\0') != std::string::npos) value.clear();
    text += key.m_strKey + "=" + value + "\n";
  }
  return text + "Exit\n";
}

bool WriteDefaultSystemIni(const std::string& fileName, cSafeVector<cOptionKey>& keyTable) {
  if (plat::FileExists(fileName)) return false;
  const std::string text = DefaultSystemIniText(keyTable);
  return WriteFileOrReportWhy(fileName, text);
}
