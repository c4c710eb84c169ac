// The player's input as the game sees it: once per frame the frame step polls
// the keyboard and the joysticks into the first input record; stage play
// keeps histories of it, and menus thin it out with key repeat and a button
// latch.
//
// Threads: the records are polled and read by the thread that makes frames
// (the game thread, or a waiting thread of stage play with its own copy of
// the records). The key states and joystick readings they come from are
// written by the main thread.
#pragma once

#include <array>
#include <cstdint>

#include "base/safe_containers.h"
#include "data/key_config.h"
#include "platform/joysticks.h"

// Direction bits.
enum : uint16_t { kDirLeft = 1, kDirRight = 2, kDirUp = 4, kDirDown = 8 };
inline constexpr uint16_t kDirHorizontal = kDirLeft | kDirRight;
inline constexpr uint16_t kDirVertical = kDirUp | kDirDown;
// Direction numbers on a 3x3 grid read row by row from the top (5 neutral).
inline constexpr uint32_t kDirectionNeutral = 5;

// Device flags of the fixed poll.
enum : uint32_t { kPollJoystick = 1, kPollKeyboard = 2 };
// How a press record tests its bits against its mask.
enum : int { kPressExact = 0, kPressAny = 1 };
// The rings of the key history.
enum : int { kHistoryDirections = 0, kHistoryButtons = 1 };

// Frame counts stop here instead of wrapping.
inline constexpr uint32_t kMaxHeldFrames = 0x7fffffff;

// One run of a press record: held or not, for how many frames.
struct PressRun {
  uint32_t m_bHeld = 0;
  uint32_t m_nFrames = 0;
};
// The last 32 runs of one direction or button, newest first.
inline constexpr int kPressRuns = 32;
using PressRecord = std::array<PressRun, kPressRuns>;

// One entry of a key-history ring: a state and how long it lasted.
struct KeyHistoryEntry {
  uint16_t m_wState = 0;
  uint32_t m_nFrames = 0;
};
inline constexpr int kHistoryLength = 32;

inline constexpr int kDirectionPressRecords = 10;
inline constexpr int kButtonPressRecords = 9;

class cInput {
 public:
  cInput() = default;

  void SetRepeat(uint32_t delay, uint32_t interval);
  // Joystick button i makes game button i (i = 0..7).
  void SetDefaultButtonMasks();

  // Fixed keys (arrows; Z, X, C, V, A, S, D, F) and joystick `joystickId`.
  // 0, polling nothing, when the key configuration's own mode is on; else 1.
  int Poll(uint32_t joystickId, uint32_t deviceFlags, int32_t retryDelay);
  // Through the key configuration's bindings. 0, polling nothing, when its
  // mode is off; else 1. A player count below 1 only reads the joysticks.
  int PollJoysticks(int32_t playerCount, int32_t retryDelay);

  static uint32_t GetDirectionNumber(uint16_t directionBits);

  void ClearKeys();     // no direction held (number 5)
  void ClearHistory();  // both history rings empty
  // Appends this frame's directions and buttons to the history rings.
  void RecordHistory();
  // The state of ring `ring` `framesBack` frames ago (0: now). Further back
  // than the ring remembers gives the oldest state it holds (0 before the
  // first record).
  uint16_t GetPastKeys(int ring, uint32_t framesBack) const;
  // Updates the ten direction and nine button press records.
  void UpdateDirectionPresses();
  void TrimHistory();  // every press record back to 32 empty runs
  // Menu key repeat: a held direction acts on its first frame, then once
  // the repeat delay has passed, every interval frames; in between its bits
  // are taken out of the direction bits. Horizontal and vertical count apart.
  void UpdateRepeat();
  // A held button acts once: the first masked button pressed passes, then
  // the masked buttons are taken out until all of them are let go. Mask 0
  // stands for all eight buttons.
  void LatchButtons(uint16_t mask);

  uint16_t m_wDirection = 0;    // kDir... bits
  uint16_t m_wButtons = 0;      // bit i: button i + 1 (button 1 decides, 2 cancels in menus)
  uint16_t m_wRepeatShift = 0;  // direction bits of the last four frames, newest in the low nibble
  std::array<std::array<KeyHistoryEntry, kHistoryLength>, 2> m_History{};
  std::array<uint32_t, 2> m_nHistoryPos{};  // newest entry of each ring
  // Direction records 0..9: none, left, right, up, down, left+up, left+down,
  // right+up, right+down (exact), any direction. Button records 0..8: none
  // (exact), buttons 1..8.
  std::array<PressRecord, kDirectionPressRecords> m_DirectionPresses{};
  std::array<PressRecord, kButtonPressRecords> m_ButtonPresses{};
  uint32_t m_nDirection = 0;  // direction number 1..9
  uint32_t m_nRepeatH = 0;    // frames the horizontal bits stayed unchanged
  uint32_t m_nRepeatV = 0;    // frames the vertical bits stayed unchanged
  uint32_t m_nRepeatDelay = 0;
  uint32_t m_nRepeatInterval = 0;
  uint32_t m_bLatch = 0;
  std::array<uint16_t, 8> m_wJoyButtonMask{};  // joystick buttons that make button i + 1
  // Per joystick the polls read: 1 after a successful read; and the frames
  // to wait before an absent one is tried again. Each joystick keeps its own,
  // so one that is missing never holds back another.
  std::array<uint32_t, kMaxConfiguredJoysticks> m_bJoyPresent{};
  std::array<int32_t, kMaxConfiguredJoysticks> m_nJoyRetry{};

 private:
  // Reads joystick `slot` unless it is absent and still waiting out its
  // retry countdown; false when it was not read or the read failed.
  bool ReadJoystickWithRetry(uint32_t slot, int32_t retryDelay, plat::JoystickPosition& out);
};

// One press record: held is (bits == mask) for the exact test, (bits & mask)
// != 0 for the any test. A change starts a new run; otherwise the newest run
// grows.
void UpdateDirectionPress(PressRecord& record, uint16_t bits, uint16_t mask, int test);

// 256: X < 10001; 512: X >= 55535; 1024: Y < 10001; 2048: Y >= 55535; any
// other code false.
bool IsJoystickAxisPressed(const plat::JoystickPosition& joystick, uint32_t code);
bool IsJoystickAxisCode(uint32_t code);

// The game's input records, one per player; built with one record.
extern cSafeVector<cInput> InputRecords;

// The frame step's poll: the first record, with the fixed keys and
// joystick 0 when the key configuration's mode is 0, else through the
// configuration.
void UpdateInput(cSafeVector<cInput>& inputs);

// Tests: one fresh input record and an empty key configuration.
void ResetInputForTest();
