// "user_data\KeyConfig.dat" through its reader and both polls: a file of any
// length and content loads within the table's bounds, and polling through
// whatever it binds reads nothing past the table or the joystick readings.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "data/key_config.h"
#include "platform/joysticks.h"
#include "platform/keys.h"
#include "scene/input.h"

namespace {

// Two pads (slots 0 and 2, so slot 1 is missing) and a few keys held, so
// that bindings of every kind can be pressed.
void SetUpDevices() {
  auto pads = std::make_unique<plat::VirtualJoysticks>();
  pads->Plug(0);
  pads->Plug(2);
  pads->Set(0, plat::JoystickState{-32768, 32767, 0xFFFFFFFFu, 0});
  pads->Set(2, plat::JoystickState{32767, -32768, 0x5555u, plat::kHatUp});
  plat::SetJoysticks(std::move(pads));
  for (int key : {int{'Z'}, int{'A'}, int{plat::VK_LEFT}, int{plat::VK_DOWN}, 0xF3}) plat::SetKeyState(key, true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = (SetUpDevices(), true);
  (void)ready;

  cKeyConfig table;
  table.LoadBytes(data, size);
  if (table.m_nCount > kKeyBindingCount || table.m_nJoystickCount > kMaxConfiguredJoysticks) __builtin_trap();
  // The bindings are the file's bytes as they stand.
  const auto bytes = table.ToBytes();
  if (!std::equal(data, data + std::min<size_t>(size, 96), bytes.begin())) __builtin_trap();

  KeyConfig = table;
  cInput input;
  input.SetDefaultButtonMasks();
  for (int frame = 0; frame < 3; ++frame) {
    input.PollJoysticks(1, 60);
    input.Poll(0, kPollJoystick | kPollKeyboard, 60);
    if (input.m_nDirection < 1 || input.m_nDirection > 9 || input.m_wDirection > 15 || input.m_wButtons > 0xFF)
      __builtin_trap();
  }
  return 0;
}
