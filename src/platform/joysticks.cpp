#include "platform/joysticks.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/window_host.h"

namespace plat {
namespace {

std::mutex g_devicesMutex;
std::unique_ptr<JoystickDevices> g_devices;  // guarded by g_devicesMutex

bool ValidSlot(int slot) { return slot >= 0 && slot < kJoystickSlots; }

uint32_t AxisToPosition(int32_t value) {
  if (value < -32768) value = -32768;
  if (value > 32767) value = 32767;
  return static_cast<uint32_t>(value + 32768);
}

// A game controller's buttons in the order the game numbers them: the face
// buttons first (the game's first two buttons decide and cancel), then the
// shoulders, select and start, the stick clicks and the guide button; the
// triggers come last, as buttons 12 and 13.
constexpr SDL_GameControllerButton kControllerButtons[] = {
    SDL_CONTROLLER_BUTTON_A,          SDL_CONTROLLER_BUTTON_B,         SDL_CONTROLLER_BUTTON_X,
    SDL_CONTROLLER_BUTTON_Y,          SDL_CONTROLLER_BUTTON_LEFTSHOULDER, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
    SDL_CONTROLLER_BUTTON_BACK,       SDL_CONTROLLER_BUTTON_START,     SDL_CONTROLLER_BUTTON_LEFTSTICK,
    SDL_CONTROLLER_BUTTON_RIGHTSTICK, SDL_CONTROLLER_BUTTON_GUIDE,
};
constexpr int kTriggerButtonFirst = 11;
// A trigger counts as pressed past half its travel.
constexpr int16_t kTriggerPressed = 16384;

struct SdlDevice {
  SDL_Joystick* joystick = nullptr;          // owned through `controller` when that is set
  SDL_GameController* controller = nullptr;
  SDL_JoystickID id = -1;
  JoystickInfo info;
};

JoystickState ReadController(SDL_GameController* c) {
  JoystickState s;
  s.axisX = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTX);
  s.axisY = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTY);
  for (size_t i = 0; i < sizeof kControllerButtons / sizeof kControllerButtons[0]; ++i)
    if (SDL_GameControllerGetButton(c, kControllerButtons[i])) s.buttons |= 1u << i;
  if (SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERLEFT) >= kTriggerPressed)
    s.buttons |= 1u << kTriggerButtonFirst;
  if (SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERRIGHT) >= kTriggerPressed)
    s.buttons |= 1u << (kTriggerButtonFirst + 1);
  if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_UP)) s.hat |= kHatUp;
  if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_RIGHT)) s.hat |= kHatRight;
  if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_DOWN)) s.hat |= kHatDown;
  if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_LEFT)) s.hat |= kHatLeft;
  return s;
}

JoystickState ReadJoystickDevice(SDL_Joystick* j) {
  JoystickState s;
  const int axes = SDL_JoystickNumAxes(j);
  if (axes > 0) s.axisX = SDL_JoystickGetAxis(j, 0);
  if (axes > 1) s.axisY = SDL_JoystickGetAxis(j, 1);
  const int buttons = SDL_JoystickNumButtons(j);
  for (int i = 0; i < buttons && i < 32; ++i)
    if (SDL_JoystickGetButton(j, i)) s.buttons |= 1u << i;
  if (SDL_JoystickNumHats(j) > 0) {
    const Uint8 hat = SDL_JoystickGetHat(j, 0);
    if (hat & SDL_HAT_UP) s.hat |= kHatUp;
    if (hat & SDL_HAT_RIGHT) s.hat |= kHatRight;
    if (hat & SDL_HAT_DOWN) s.hat |= kHatDown;
    if (hat & SDL_HAT_LEFT) s.hat |= kHatLeft;
  }
  return s;
}

class SdlJoysticks final : public JoystickDevices {
 public:
  ~SdlJoysticks() override {
    for (SdlDevice& d : devices_) Close(d);
    if (ready_) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
  }

  void Update() override {
    if (!Ready()) return;
    SDL_GameControllerUpdate();  // updates every joystick and looks for new ones
    for (SdlDevice& d : devices_)
      if (d.joystick != nullptr && !SDL_JoystickGetAttached(d.joystick)) Close(d);
    const int count = SDL_NumJoysticks();
    for (int index = 0; index < count; ++index) OpenIfNew(index);

    std::array<Reading, kJoystickSlots> readings{};
    for (int slot = 0; slot < kJoystickSlots; ++slot) {
      const SdlDevice& d = devices_[slot];
      if (d.joystick == nullptr) continue;
      readings[slot].plugged = true;
      readings[slot].info = d.info;
      readings[slot].state = d.controller != nullptr ? ReadController(d.controller) : ReadJoystickDevice(d.joystick);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    readings_ = std::move(readings);
  }

  bool Read(int slot, JoystickPosition& out) const override {
    if (!ValidSlot(slot)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!readings_[slot].plugged) return false;
    out = PositionOf(readings_[slot].state);
    return true;
  }

  bool Info(int slot, JoystickInfo& out) const override {
    if (!ValidSlot(slot)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!readings_[slot].plugged) return false;
    out = readings_[slot].info;
    return true;
  }

  int Count() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const Reading& r : readings_) n += r.plugged ? 1 : 0;
    return n;
  }

 private:
  struct Reading {
    bool plugged = false;
    JoystickInfo info;
    JoystickState state;
  };

  // Starts SDL's joystick and controller support on first use; a failure is
  // told once and not retried.
  bool Ready() {
    if (ready_) return true;
    if (failed_) return false;
    // Termination signals belong to the instance layer (SDL would otherwise
    // install its own when this brings up its event queue).
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Pads are read whether or not the window has the focus, as the game
    // reads its keys; the game itself stops making frames while inactive.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
      std::fprintf(stderr, "pelmora: no joystick support: %s\n", SDL_GetError());
      failed_ = true;
      return false;
    }
    // The readings are taken from the devices each update; their events
    // would only fill the queue.
    SDL_JoystickEventState(SDL_IGNORE);
    SDL_GameControllerEventState(SDL_IGNORE);
    ready_ = true;
    return true;
  }

  void OpenIfNew(int index) {
    const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(index);
    if (id < 0) return;
    int free = -1;
    for (int slot = kJoystickSlots - 1; slot >= 0; --slot) {
      if (devices_[slot].joystick != nullptr && devices_[slot].id == id) return;
      if (devices_[slot].joystick == nullptr) free = slot;
    }
    if (free < 0) return;  // every slot taken: the device waits for one
    SdlDevice& d = devices_[free];
    if (SDL_IsGameController(index)) {
      d.controller = SDL_GameControllerOpen(index);
      if (d.controller != nullptr) d.joystick = SDL_GameControllerGetJoystick(d.controller);
    }
    if (d.joystick == nullptr) {
      d.controller = nullptr;
      d.joystick = SDL_JoystickOpen(index);
    }
    if (d.joystick == nullptr) return;
    d.id = id;
    const char* name = d.controller != nullptr ? SDL_GameControllerName(d.controller) : SDL_JoystickName(d.joystick);
    d.info.name = name != nullptr ? name : "";
    d.info.controller = d.controller != nullptr;
  }

  static void Close(SdlDevice& d) {
    if (d.controller != nullptr) {
      SDL_GameControllerClose(d.controller);
    } else if (d.joystick != nullptr) {
      SDL_JoystickClose(d.joystick);
    }
    d = SdlDevice{};
  }

  bool ready_ = false, failed_ = false;       // main thread
  std::array<SdlDevice, kJoystickSlots> devices_{};  // main thread
  mutable std::mutex mutex_;
  std::array<Reading, kJoystickSlots> readings_{};  // guarded by mutex_
};

}  // namespace

JoystickPosition PositionOf(const JoystickState& state) {
  JoystickPosition p;
  p.x = AxisToPosition(state.axisX);
  p.y = AxisToPosition(state.axisY);
  if (state.hat & kHatLeft) p.x = 0;
  else if (state.hat & kHatRight) p.x = 65535;
  if (state.hat & kHatUp) p.y = 0;
  else if (state.hat & kHatDown) p.y = 65535;
  p.buttons = state.buttons;
  return p;
}

JoystickDevices& GetJoysticks() {
  std::lock_guard<std::mutex> lock(g_devicesMutex);
  if (!g_devices) {
    if (HeadlessRequested()) {
      g_devices = std::make_unique<VirtualJoysticks>();
    } else {
      g_devices = MakeSdlJoysticks();
    }
  }
  return *g_devices;
}

void SetJoysticks(std::unique_ptr<JoystickDevices> devices) {
  std::unique_ptr<JoystickDevices> old;  // destroyed outside the lock (it may touch SDL)
  std::lock_guard<std::mutex> lock(g_devicesMutex);
  old = std::move(g_devices);
  g_devices = std::move(devices);
}

std::unique_ptr<JoystickDevices> MakeSdlJoysticks() { return std::make_unique<SdlJoysticks>(); }

bool ReadJoystick(int slot, JoystickPosition& out) { return GetJoysticks().Read(slot, out); }

bool VirtualJoysticks::Plug(int slot, const std::string& name, bool controller) {
  if (!ValidSlot(slot)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  if (slots_[slot].plugged) return false;
  slots_[slot] = Slot{true, JoystickInfo{name, controller}, JoystickState{}};
  return true;
}

void VirtualJoysticks::Unplug(int slot) {
  if (!ValidSlot(slot)) return;
  std::lock_guard<std::mutex> lock(mutex_);
  slots_[slot] = Slot{};
}

void VirtualJoysticks::Set(int slot, const JoystickState& state) {
  if (!ValidSlot(slot)) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (slots_[slot].plugged) slots_[slot].state = state;
}

void VirtualJoysticks::SetAxes(int slot, int32_t x, int32_t y) {
  if (!ValidSlot(slot)) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!slots_[slot].plugged) return;
  slots_[slot].state.axisX = x;
  slots_[slot].state.axisY = y;
}

void VirtualJoysticks::SetButton(int slot, int button, bool down) {
  if (!ValidSlot(slot) || button < 0 || button >= 32) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!slots_[slot].plugged) return;
  uint32_t& buttons = slots_[slot].state.buttons;
  buttons = down ? (buttons | (1u << button)) : (buttons & ~(1u << button));
}

void VirtualJoysticks::SetHat(int slot, uint8_t hat) {
  if (!ValidSlot(slot)) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (slots_[slot].plugged) slots_[slot].state.hat = hat;
}

uint64_t VirtualJoysticks::Reads(int slot) const {
  if (!ValidSlot(slot)) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  return reads_[slot];
}

bool VirtualJoysticks::Read(int slot, JoystickPosition& out) const {
  if (!ValidSlot(slot)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  ++reads_[slot];
  if (!slots_[slot].plugged) return false;
  out = PositionOf(slots_[slot].state);
  return true;
}

bool VirtualJoysticks::Info(int slot, JoystickInfo& out) const {
  if (!ValidSlot(slot)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!slots_[slot].plugged) return false;
  out = slots_[slot].info;
  return true;
}

int VirtualJoysticks::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  int n = 0;
  for (const Slot& s : slots_) n += s.plugged ? 1 : 0;
  return n;
}

}  // namespace plat
