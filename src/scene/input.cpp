#include "scene/input.h"

#include <algorithm>
#include <cstdint>

#include "platform/keys.h"

cSafeVector<cInput> InputRecords(1);

namespace {

// Axis thresholds on the 0..65535 scale: about a third of the way from
// either end.
constexpr uint32_t kAxisLowBelow = 10001;
constexpr uint32_t kAxisHighFrom = 55535;

// The fixed keys of buttons 1 to 8.
constexpr int kFixedButtonKeys[8] = {'Z', 'X', 'C', 'V', 'A', 'S', 'D', 'F'};

struct PressTest {
  uint16_t mask;
  int test;
};
constexpr PressTest kDirectionPressTests[kDirectionPressRecords] = {
    {0, kPressExact},
    {kDirLeft, kPressExact},
    {kDirRight, kPressExact},
    {kDirUp, kPressExact},
    {kDirDown, kPressExact},
    {kDirLeft | kDirUp, kPressExact},
    {kDirLeft | kDirDown, kPressExact},
    {kDirRight | kDirUp, kPressExact},
    {kDirRight | kDirDown, kPressExact},
    {kDirHorizontal | kDirVertical, kPressAny},
};

// The direction bits and number of one direction, in the order left, right,
// up, down (the order of the key configuration's first four bindings).
struct DirectionStep {
  uint16_t bit;
  int32_t number;
};
constexpr DirectionStep kDirectionSteps[4] = {{kDirLeft, -1}, {kDirRight, +1}, {kDirUp, -3}, {kDirDown, +3}};

void Grow(uint32_t& frames) {
  if (frames < kMaxHeldFrames) ++frames;
}

}  // namespace

void cInput::SetRepeat(uint32_t delay, uint32_t interval) {
  m_nRepeatDelay = delay;
  m_nRepeatInterval = interval;
}

void cInput::SetDefaultButtonMasks() {
  for (int i = 0; i < 8; ++i) m_wJoyButtonMask[i] = static_cast<uint16_t>(1u << i);
}

bool cInput::ReadJoystickWithRetry(uint32_t slot, int32_t retryDelay, plat::JoystickPosition& out) {
  if (slot >= static_cast<uint32_t>(kMaxConfiguredJoysticks)) return false;
  if (!m_bJoyPresent[slot] && m_nJoyRetry[slot] > 0) {
    --m_nJoyRetry[slot];
    return false;
  }
  if (plat::ReadJoystick(static_cast<int>(slot), out)) {
    m_bJoyPresent[slot] = 1;
    return true;
  }
  // Absent: tried again after twice the delay (the delay is in frames).
  m_bJoyPresent[slot] = 0;
  m_nJoyRetry[slot] = static_cast<int32_t>(std::clamp<int64_t>(int64_t{retryDelay} * 2, 0, INT32_MAX));
  return false;
}

int cInput::Poll(uint32_t joystickId, uint32_t deviceFlags, int32_t retryDelay) {
  if (KeyConfig.m_nMode != 0) return 0;
  // Nothing carries over from the last frame: a joystick that was not read
  // (or failed) holds nothing, and the keyboard is read afresh.
  m_wDirection = 0;
  m_nDirection = kDirectionNeutral;
  m_wButtons = 0;
  bool joystickButtons = false;
  plat::JoystickPosition joystick;
  if (ReadJoystickWithRetry(joystickId, retryDelay, joystick) && (deviceFlags & kPollJoystick)) {
    int32_t number = kDirectionNeutral;
    if (IsJoystickAxisPressed(joystick, kJoyAxisXLow)) {
      m_wDirection |= kDirLeft;
      number -= 1;
    } else if (IsJoystickAxisPressed(joystick, kJoyAxisXHigh)) {
      m_wDirection |= kDirRight;
      number += 1;
    }
    if (IsJoystickAxisPressed(joystick, kJoyAxisYLow)) {
      m_wDirection |= kDirUp;
      number -= 3;
    } else if (IsJoystickAxisPressed(joystick, kJoyAxisYHigh)) {
      m_wDirection |= kDirDown;
      number += 3;
    }
    m_nDirection = static_cast<uint32_t>(number);
    for (int i = 0; i < 8; ++i)
      if (joystick.buttons & m_wJoyButtonMask[i]) m_wButtons |= static_cast<uint16_t>(1u << i);
    joystickButtons = m_wButtons != 0;
  }
  if (!(deviceFlags & kPollKeyboard)) return 1;
  // A key tapped between two frames counts as held for this one.
  const plat::KeyPoll keys = plat::TakeKeyPoll();

  // A joystick direction or button outranks the keyboard's for this frame.
  if (m_nDirection == kDirectionNeutral) {
    int32_t number = kDirectionNeutral;
    m_wDirection = 0;
    const int arrows[4] = {plat::VK_LEFT, plat::VK_RIGHT, plat::VK_UP, plat::VK_DOWN};
    for (int i = 0; i < 4; ++i) {
      if (!keys.Down(arrows[i])) continue;
      m_wDirection |= kDirectionSteps[i].bit;
      number += kDirectionSteps[i].number;
    }
    m_nDirection = static_cast<uint32_t>(number);
  }
  if (!joystickButtons) {
    m_wButtons = 0;
    for (int i = 0; i < 8; ++i)
      if (keys.Down(kFixedButtonKeys[i])) m_wButtons |= static_cast<uint16_t>(1u << i);
  }
  return 1;
}

int cInput::PollJoysticks(int32_t playerCount, int32_t retryDelay) {
  if (KeyConfig.m_nMode == 0) return 0;
  const int joysticks = KeyConfig.JoystickCount();
  std::array<plat::JoystickPosition, kMaxConfiguredJoysticks> positions{};
  std::array<bool, kMaxConfiguredJoysticks> read{};
  for (int j = 0; j < joysticks; ++j) read[j] = ReadJoystickWithRetry(static_cast<uint32_t>(j), retryDelay, positions[j]);
  // The table holds the bindings of one player.
  if (playerCount < 1) return 1;

  // A binding to a joystick the configuration does not read, or one that
  // was not read this frame, is not pressed. A key tapped between two
  // frames counts as held for this one.
  const plat::KeyPoll keys = plat::TakeKeyPoll();
  auto pressed = [&](const KeyBinding& b) {
    if (b.m_nDevice == kKeyboardDevice) return keys.Down(b.m_wCode);
    if (b.m_nDevice >= static_cast<uint32_t>(joysticks) || !read[b.m_nDevice]) return false;
    const plat::JoystickPosition& joystick = positions[b.m_nDevice];
    if (IsJoystickAxisCode(b.m_wCode)) return IsJoystickAxisPressed(joystick, b.m_wCode);
    return (joystick.buttons & b.m_wCode) != 0;
  };

  int32_t number = kDirectionNeutral;
  m_wDirection = 0;
  m_wButtons = 0;
  for (int i = 0; i < 4; ++i) {
    if (!pressed(KeyConfig.m_Bindings[i])) continue;
    m_wDirection |= kDirectionSteps[i].bit;
    number += kDirectionSteps[i].number;
  }
  m_nDirection = static_cast<uint32_t>(number);
  for (int i = kBindFirstButton; i < KeyConfig.BindingCount(); ++i)
    if (pressed(KeyConfig.m_Bindings[i])) m_wButtons |= static_cast<uint16_t>(1u << (i - kBindFirstButton));
  return 1;
}

uint32_t cInput::GetDirectionNumber(uint16_t bits) {
  uint32_t number = kDirectionNeutral;
  if (bits & kDirLeft) number -= 1;
  else if (bits & kDirRight) number += 1;
  if (bits & kDirUp) number -= 3;
  else if (bits & kDirDown) number += 3;
  return number;
}

void cInput::ClearKeys() {
  m_wDirection = 0;
  m_nDirection = kDirectionNeutral;
}

void cInput::ClearHistory() {
  m_History = {};
  m_nHistoryPos = {};
}

void cInput::RecordHistory() {
  const uint16_t states[2] = {m_wDirection, m_wButtons};
  for (int ring = 0; ring < 2; ++ring) {
    uint32_t& pos = m_nHistoryPos[ring];
    pos %= kHistoryLength;
    if (states[ring] != m_History[ring][pos].m_wState) {
      pos = (pos + 1) % kHistoryLength;
      m_History[ring][pos] = KeyHistoryEntry{states[ring], 1};
    } else {
      Grow(m_History[ring][pos].m_nFrames);
    }
  }
}

uint16_t cInput::GetPastKeys(int ring, uint32_t framesBack) const {
  if (ring != kHistoryDirections && ring != kHistoryButtons) return 0;
  uint32_t index = m_nHistoryPos[ring] % kHistoryLength;
  uint64_t remainder = uint64_t{framesBack} + 1;
  // At most to the oldest entry: going round once more would come back to
  // the newest and answer with the present.
  for (int step = 0; step < kHistoryLength - 1; ++step) {
    const KeyHistoryEntry& entry = m_History[ring][index];
    if (remainder <= entry.m_nFrames) break;
    remainder -= entry.m_nFrames;
    index = (index + kHistoryLength - 1) % kHistoryLength;
  }
  return m_History[ring][index].m_wState;
}

void UpdateDirectionPress(PressRecord& record, uint16_t bits, uint16_t mask, int test) {
  const uint32_t held = (test == kPressExact ? bits == mask : (bits & mask) != 0) ? 1 : 0;
  if (held != record[0].m_bHeld) {
    std::copy_backward(record.begin(), record.end() - 1, record.end());
    record[0] = PressRun{held, 1};
  } else {
    Grow(record[0].m_nFrames);
  }
}

void cInput::UpdateDirectionPresses() {
  for (int i = 0; i < kDirectionPressRecords; ++i)
    UpdateDirectionPress(m_DirectionPresses[i], m_wDirection, kDirectionPressTests[i].mask, kDirectionPressTests[i].test);
  UpdateDirectionPress(m_ButtonPresses[0], m_wButtons, 0, kPressExact);
  for (int i = 1; i < kButtonPressRecords; ++i)
    UpdateDirectionPress(m_ButtonPresses[i], m_wButtons, static_cast<uint16_t>(1u << (i - 1)), kPressAny);
}

void cInput::TrimHistory() {
  m_DirectionPresses = {};
  m_ButtonPresses = {};
}

void cInput::UpdateRepeat() {
  const uint16_t previous = m_wRepeatShift & 0xF;
  m_wRepeatShift = static_cast<uint16_t>((m_wRepeatShift << 4) | (m_wDirection & 0xF));
  auto step = [&](uint16_t axis, uint32_t& counter) {
    if ((m_wDirection & axis) != (previous & axis)) {
      counter = 0;
      return;
    }
    Grow(counter);
    // An interval of 0 repeats every frame once the delay has passed.
    const bool repeats =
        counter >= m_nRepeatDelay && (m_nRepeatInterval == 0 || counter % m_nRepeatInterval == 0);
    if (!repeats) m_wDirection = static_cast<uint16_t>(m_wDirection & ~axis);
  };
  step(kDirHorizontal, m_nRepeatH);
  step(kDirVertical, m_nRepeatV);
}

void cInput::LatchButtons(uint16_t mask) {
  if (mask == 0) mask = 0xFF;
  const uint16_t held = m_wButtons & mask;
  if (!m_bLatch) {
    if (held == 0) return;
    m_bLatch = 1;
    const uint16_t first = static_cast<uint16_t>(held & (~held + 1));  // lowest button held
    m_wButtons = static_cast<uint16_t>((m_wButtons & ~mask) | first);
    return;
  }
  m_wButtons = static_cast<uint16_t>(m_wButtons & ~mask);
  if (held == 0) m_bLatch = 0;
}

bool IsJoystickAxisCode(uint32_t code) {
  return code == kJoyAxisXLow || code == kJoyAxisXHigh || code == kJoyAxisYLow || code == kJoyAxisYHigh;
}

bool IsJoystickAxisPressed(const plat::JoystickPosition& joystick, uint32_t code) {
  switch (code) {
    case kJoyAxisXLow: return joystick.x < kAxisLowBelow;
    case kJoyAxisXHigh: return joystick.x >= kAxisHighFrom;
    case kJoyAxisYLow: return joystick.y < kAxisLowBelow;
    case kJoyAxisYHigh: return joystick.y >= kAxisHighFrom;
    default: return false;
  }
}

void UpdateInput(cSafeVector<cInput>& inputs) {
  if (inputs.empty()) return;
  constexpr int32_t kRetryDelay = 60;
  if (KeyConfig.m_nMode == 0) {
    inputs[0].Poll(0, kPollJoystick | kPollKeyboard, kRetryDelay);
  } else {
    inputs[0].PollJoysticks(1, kRetryDelay);
  }
}

void ResetInputForTest() {
  InputRecords = cSafeVector<cInput>(1);
  KeyConfig = cKeyConfig{};
}
