#include "data/key_config.h"

#include <algorithm>
#include <cstdio>

#include "platform/files.h"

cKeyConfig KeyConfig;

namespace {

constexpr size_t kCountOffset = 96;
constexpr size_t kJoystickCountOffset = 100;
constexpr size_t kModeOffset = 104;

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

int cKeyConfig::BindingCount() const { return static_cast<int>(std::min<uint32_t>(m_nCount, kKeyBindingCount)); }

int cKeyConfig::JoystickCount() const {
  return static_cast<int>(std::min<uint32_t>(m_nJoystickCount, kMaxConfiguredJoysticks));
}

std::array<uint8_t, kKeyConfigFileSize> cKeyConfig::ToBytes() const {
  std::array<uint8_t, kKeyConfigFileSize> bytes{};
  for (int i = 0; i < kKeyBindingCount; ++i) {
    uint8_t* p = bytes.data() + 8 * i;
    Put32(p, m_Bindings[i].m_nDevice);
    Put16(p + 4, m_Bindings[i].m_wCode);
    Put16(p + 6, m_Bindings[i].m_wReserved);
  }
  Put32(bytes.data() + kCountOffset, m_nCount);
  Put32(bytes.data() + kJoystickCountOffset, m_nJoystickCount);
  Put32(bytes.data() + kModeOffset, m_nMode);
  return bytes;
}

void cKeyConfig::LoadBytes(const uint8_t* bytes, size_t size) {
  std::array<uint8_t, kKeyConfigFileSize> image = ToBytes();
  if (bytes != nullptr) std::copy_n(bytes, std::min(size, image.size()), image.begin());
  for (int i = 0; i < kKeyBindingCount; ++i) {
    const uint8_t* p = image.data() + 8 * i;
    m_Bindings[i].m_nDevice = Get32(p);
    m_Bindings[i].m_wCode = Get16(p + 4);
    m_Bindings[i].m_wReserved = Get16(p + 6);
  }
  // A file may hold any numbers: more bindings than the table has would be
  // read past its end, and the joysticks are read into per-frame arrays.
  m_nCount = std::min<uint32_t>(Get32(image.data() + kCountOffset), kKeyBindingCount);
  m_nJoystickCount = std::min<uint32_t>(Get32(image.data() + kJoystickCountOffset), kMaxConfiguredJoysticks);
  m_nMode = Get32(image.data() + kModeOffset);
}

int LoadKeyConfig(const char* path, cKeyConfig& table) {
  FILE* file = plat::OpenFile(path != nullptr ? path : "", "rb");
  if (file == nullptr) return 0;
  uint8_t bytes[kKeyConfigFileSize];
  const size_t got = std::fread(bytes, 1, sizeof bytes, file);
  // A name that opens but cannot be read (a folder) is no configuration.
  const bool failed = got == 0 && std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return 0;
  table.LoadBytes(bytes, got);
  return 1;
}

void SetDefaultKeys(cKeyConfig& table) {
  // Virtual-key codes: the four arrows, then the letters.
  static constexpr uint16_t kCodes[kKeyBindingCount] = {37, 39, 38, 40, 'Z', 'X', 'C', 'V', 'A', 'S', 'D', 'F'};
  for (int i = 0; i < kKeyBindingCount; ++i) table.m_Bindings[i] = KeyBinding{kKeyboardDevice, kCodes[i], 0};
  table.m_nCount = kKeyBindingCount;
  table.m_nJoystickCount = 1;
  table.m_nMode = 0;
}
