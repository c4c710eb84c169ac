// Joysticks and game controllers as the game reads them: devices sit in
// numbered slots, and a slot is read as one position of two axes and a set
// of buttons.
//
// Slots: a device plugged in takes the lowest free slot and keeps it until
// it is pulled out, so "joystick 0" stays the same pad while others come and
// go, and a pad plugged in again returns to the slot it left when that is
// the lowest free one.
//
// Threads: Update runs on the main thread (the SDL implementation is
// updated by the window host while it pumps events); Read, Count and Info
// may be called from any thread and see the readings of the last Update.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace plat {

inline constexpr int kJoystickSlots = 16;

// Hat directions (bits; diagonals combine two).
enum : uint8_t { kHatUp = 1, kHatRight = 2, kHatDown = 4, kHatLeft = 8 };

// The raw reading of one device.
struct JoystickState {
  int32_t axisX = 0;  // -32768 (left) .. 32767 (right)
  int32_t axisY = 0;  // -32768 (up) .. 32767 (down)
  uint32_t buttons = 0;  // bit i: button i + 1
  uint8_t hat = 0;       // kHat... bits; a controller's direction pad reads as a hat
};

// A slot as the game reads it.
struct JoystickPosition {
  uint32_t x = 32768;  // 0 full left .. 65535 full right; 32768 centred
  uint32_t y = 32768;  // 0 full up .. 65535 full down
  uint32_t buttons = 0;
};

// The stick moves the position; a hat (or direction pad) that is pressed
// overrides the stick on its own axis, to that axis's end, so pads whose
// cross is a hat steer the game as their stick does.
JoystickPosition PositionOf(const JoystickState& state);

struct JoystickInfo {
  std::string name;         // UTF-8, as the device reports it
  bool controller = false;  // read through a game-controller mapping
};

class JoystickDevices {
 public:
  virtual ~JoystickDevices() = default;
  // Main thread: notices devices plugged in or pulled out and takes a fresh
  // reading of every slot.
  virtual void Update() = 0;
  // False when the slot holds no device (or is out of range).
  virtual bool Read(int slot, JoystickPosition& out) const = 0;
  virtual bool Info(int slot, JoystickInfo& out) const = 0;
  virtual int Count() const = 0;  // devices in slots
};

// The devices the game reads: the SDL implementation, or none when
// PELMORA_HEADLESS=1, unless an implementation was installed.
JoystickDevices& GetJoysticks();
void SetJoysticks(std::unique_ptr<JoystickDevices> devices);
std::unique_ptr<JoystickDevices> MakeSdlJoysticks();

// Reads slot `slot` of the current devices (any thread).
bool ReadJoystick(int slot, JoystickPosition& out);

// Devices made by hand, for tests and scripted runs: slots are plugged,
// moved and pulled out directly, and readings take effect at once (no Update
// needed). Counts the reads of each slot, so a test can see when the game
// tries a slot.
class VirtualJoysticks final : public JoystickDevices {
 public:
  // Puts a device into `slot` (centred, nothing pressed); false when the
  // slot is taken or out of range.
  bool Plug(int slot, const std::string& name = "virtual joystick", bool controller = false);
  void Unplug(int slot);
  // The setters change a plugged slot only.
  void Set(int slot, const JoystickState& state);
  void SetAxes(int slot, int32_t x, int32_t y);
  void SetButton(int slot, int button, bool down);  // button 0..31
  void SetHat(int slot, uint8_t hat);
  uint64_t Reads(int slot) const;  // calls of Read for the slot, answered or not

  void Update() override {}
  bool Read(int slot, JoystickPosition& out) const override;
  bool Info(int slot, JoystickInfo& out) const override;
  int Count() const override;

 private:
  struct Slot {
    bool plugged = false;
    JoystickInfo info;
    JoystickState state;
  };
  mutable std::mutex mutex_;
  std::array<Slot, kJoystickSlots> slots_{};
  mutable std::array<uint64_t, kJoystickSlots> reads_{};
};

}  // namespace plat
