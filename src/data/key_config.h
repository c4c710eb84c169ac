// The key configuration, "user_data\KeyConfig.dat": twelve bindings of the
// game's directions and buttons to keyboard keys or joystick axes and
// buttons, and whether the game polls through them at all. The program only
// reads the file (the project's own configuration tool writes it).
//
// The file is exactly 108 bytes, little-endian:
//   0   12 x 8  bindings: u32 device, u16 code, u16 reserved (not read)
//   96  4       u32 count of bindings in use (entries 4 .. count-1 are buttons)
//   100 4       u32 how many joysticks the configured poll reads
//   104 4       u32 mode: 0 fixed keys and joystick 0, non-zero the bindings
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Binding order: the four directions, then buttons 1 to 8.
enum : int { kBindLeft = 0, kBindRight = 1, kBindUp = 2, kBindDown = 3, kBindFirstButton = 4, kKeyBindingCount = 12 };

// Device number of the keyboard; a smaller number is that joystick (0-based).
inline constexpr uint32_t kKeyboardDevice = 8;
// Joysticks the configured poll reads at most: a binding's device number
// below 8 names a joystick, so more could never be bound.
inline constexpr int kMaxConfiguredJoysticks = 8;

inline constexpr size_t kKeyConfigFileSize = 108;

// Joystick binding codes that name an axis end; any other code is a mask
// over the joystick's buttons.
enum : uint16_t { kJoyAxisXLow = 256, kJoyAxisXHigh = 512, kJoyAxisYLow = 1024, kJoyAxisYHigh = 2048 };

struct KeyBinding {
  uint32_t m_nDevice = 0;  // kKeyboardDevice, or a joystick number
  uint16_t m_wCode = 0;    // keyboard: a virtual-key code; joystick: axis code or button mask
  uint16_t m_wReserved = 0;
};

class cKeyConfig {
 public:
  std::array<KeyBinding, kKeyBindingCount> m_Bindings{};
  uint32_t m_nCount = 0;          // bindings in use; never above 12 once loaded
  uint32_t m_nJoystickCount = 0;  // joysticks to read; never above 8 once loaded
  uint32_t m_nMode = 0;           // 0 fixed keys, non-zero these bindings

  // The counts as the polls use them, within the table's bounds whatever
  // was stored into the fields.
  int BindingCount() const;
  int JoystickCount() const;

  // The table as the file stores it.
  std::array<uint8_t, kKeyConfigFileSize> ToBytes() const;
  // Lays `size` bytes of a file over the start of the table's stored form
  // (bytes past 108 are ignored, a shorter file leaves the rest as it was)
  // and clamps the counts.
  void LoadBytes(const uint8_t* bytes, size_t size);
};

// The game's key configuration (zeros until start-up loads it).
extern cKeyConfig KeyConfig;

// Reads the file at `path` (program path) over the start of `table`. 1, or 0
// when the file cannot be opened or read (the table is then untouched).
int LoadKeyConfig(const char* path, cKeyConfig& table);
// Arrows for the directions and Z, X, C, V, A, S, D, F for buttons 1 to 8,
// all on the keyboard; count 12, one joystick, fixed-key mode.
void SetDefaultKeys(cKeyConfig& table);
