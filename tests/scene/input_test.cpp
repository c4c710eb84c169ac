#include "scene/input.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/timers.h"
#include "platform/clock.h"
#include "platform/keys.h"
#include "platform/window_host.h"
#include "scene/scene.h"

namespace {

// A virtual pad's stick and buttons for one frame (both pads stay plugged
// in through a script).
struct Pad {
  int32_t x = 0, y = 0;
  uint32_t buttons = 0;
};
constexpr Pad kNoPad{};
constexpr Pad kLeftPad{-32768, 0, 0};

// One frame of a script: what is held, and what the poll must make of it.
struct Frame {
  std::vector<int> keys;
  Pad pad0, pad1;
  uint16_t direction;
  uint32_t number;
  uint16_t buttons;
};

class InputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetInputForTest();
    plat::ClearKeyStates();
    auto pads = std::make_unique<plat::VirtualJoysticks>();
    pads_ = pads.get();
    plat::SetJoysticks(std::move(pads));
    pads_->Plug(0);
    pads_->Plug(1);
    InputRecords[0].SetDefaultButtonMasks();
  }
  void TearDown() override {
    plat::SetJoysticks(nullptr);
    plat::ClearKeyStates();
    ResetInputForTest();
  }

  void Hold(const std::vector<int>& keys) {
    plat::ClearKeyStates();
    for (int k : keys) plat::SetKeyState(k, true);
  }
  void SetPad(int slot, const Pad& pad) { pads_->Set(slot, plat::JoystickState{pad.x, pad.y, pad.buttons, 0}); }
  void Run(const std::vector<Frame>& script) {
    cInput& in = InputRecords[0];
    for (size_t i = 0; i < script.size(); ++i) {
      const Frame& f = script[i];
      Hold(f.keys);
      SetPad(0, f.pad0);
      SetPad(1, f.pad1);
      UpdateInput(InputRecords);
      EXPECT_EQ(in.m_wDirection, f.direction) << "frame " << i;
      EXPECT_EQ(in.m_nDirection, f.number) << "frame " << i;
      EXPECT_EQ(in.m_wButtons, f.buttons) << "frame " << i;
    }
  }

  plat::VirtualJoysticks* pads_ = nullptr;
};

using plat::VK_DOWN, plat::VK_LEFT, plat::VK_RIGHT, plat::VK_UP;

TEST_F(InputTest, FixedKeysAndJoystickZero) {
  Run({
      {{}, kNoPad, kNoPad, 0, 5, 0},
      {{VK_LEFT}, kNoPad, kNoPad, kDirLeft, 4, 0},
      {{VK_LEFT, VK_RIGHT}, kNoPad, kNoPad, kDirLeft | kDirRight, 5, 0},  // both ways: neutral
      {{VK_UP, VK_RIGHT, 'X'}, kNoPad, kNoPad, kDirUp | kDirRight, 3, 2},
      {{VK_DOWN, VK_LEFT, 'Z', 'F'}, kNoPad, kNoPad, kDirDown | kDirLeft, 7, 0x81},
      {{'C', 'V', 'A', 'S', 'D'}, kNoPad, kNoPad, 0, 5, 0x7C},
      // The pad's direction outranks the arrows; without a pad button the
      // keyboard's buttons count.
      {{VK_RIGHT, 'Z'}, kLeftPad, kNoPad, kDirLeft, 4, 1},
      {{VK_UP}, {32767, 32767, 0}, kNoPad, kDirRight | kDirDown, 9, 0},
      // A pad button outranks every keyboard button; a centred pad leaves
      // the arrows their say.
      {{VK_UP, 'Z', 'X'}, {0, 0, 4}, kNoPad, kDirUp, 2, 4},
      {{}, {-23000, 23000, 0}, kNoPad, kDirLeft | kDirDown, 7, 0},  // past the thresholds
      {{}, {-21000, 21000, 0}, kNoPad, 0, 5, 0},                    // short of them
      {{VK_DOWN}, kNoPad, kNoPad, kDirDown, 8, 0},
  });
  EXPECT_EQ(cInput::GetDirectionNumber(kDirLeft | kDirRight), 4u);
  EXPECT_EQ(cInput::GetDirectionNumber(kDirUp | kDirDown | kDirRight), 3u);
  EXPECT_EQ(InputRecords[0].PollJoysticks(1, 60), 0);  // not configured: nothing polled
  // Joystick buttons reach game buttons through the masks.
  InputRecords[0].m_wJoyButtonMask = {0x30};
  Run({{{}, {0, 0, 0x20}, kNoPad, 0, 5, 1}, {{}, {0, 0, 0x01}, kNoPad, 0, 5, 0}});
}

TEST_F(InputTest, ConfiguredBindings) {
  KeyConfig.m_Bindings = {{
      {0, kJoyAxisXLow, 0},   // left: pad 0 pushed left
      {kKeyboardDevice, 'L', 0},
      {1, 0x0004, 0},         // up: pad 1's third button
      {5, 0x0001, 0},         // down: a pad the configuration does not read
      {kKeyboardDevice, 'Z', 0},
      {0, kJoyAxisXHigh, 0},  // button 2: pad 0 pushed right
      {0, 0x0003, 0},         // button 3: pad 0's first or second button
      {kKeyboardDevice, 'X', 0},  // button 4: past the count, never read
  }};
  KeyConfig.m_nCount = 7;
  KeyConfig.m_nJoystickCount = 2;
  KeyConfig.m_nMode = 1;
  const Pad pad1Up{0, 0, 4};
  Run({
      {{}, kNoPad, kNoPad, 0, 5, 0},
      {{'L'}, kLeftPad, kNoPad, kDirLeft | kDirRight, 5, 0},
      {{VK_LEFT, VK_DOWN, 'X'}, kNoPad, pad1Up, kDirUp, 2, 0},  // the fixed keys mean nothing now
      {{'Z'}, {32767, 0, 2}, kNoPad, 0, 5, 7},
      {{}, {0, 0, 1}, {0, 0, 0x8001}, 0, 5, 4},  // pad 1 has no down binding it answers
  });
  EXPECT_EQ(InputRecords[0].Poll(0, kPollJoystick | kPollKeyboard, 60), 0);
}

TEST_F(InputTest, AnAbsentJoystickIsTriedAgainAfter120Frames) {
  pads_->Unplug(0);
  pads_->Unplug(1);
  std::vector<int> tried;
  for (int frame = 0; frame < 250; ++frame) {
    if (frame == 50) {
      pads_->Plug(0);
      pads_->SetAxes(0, -32768, 0);
    }
    const uint64_t before = pads_->Reads(0);
    UpdateInput(InputRecords);
    if (pads_->Reads(0) != before) tried.push_back(frame);
    if (frame == 120) {
      EXPECT_EQ(InputRecords[0].m_wDirection, 0);  // still waiting
    }
  }
  ASSERT_GE(tried.size(), 3u);
  EXPECT_EQ(tried[0], 0);
  EXPECT_EQ(tried[1], 121);  // found now, and read every frame from here on
  EXPECT_EQ(tried[2], 122);
  EXPECT_EQ(InputRecords[0].m_wDirection, kDirLeft);

  // Configured: a missing second pad never holds back the first.
  KeyConfig.m_nMode = 1;
  KeyConfig.m_nJoystickCount = 2;
  for (int frame = 0; frame < 10; ++frame) UpdateInput(InputRecords);
  EXPECT_EQ(pads_->Reads(0), tried.size() + 10);
  EXPECT_EQ(pads_->Reads(1), 1u);
}

// Which of the held bits a menu sees after the key repeat, frame by frame.
TEST_F(InputTest, MenuRepeatFiresOnTheFirstFrameThenAfterTheDelayEveryInterval) {
  cInput& in = InputRecords[0];
  in.SetRepeat(18, 6);
  std::vector<int> right, down;
  for (int frame = 0; frame < 40; ++frame) {
    in.m_wDirection = static_cast<uint16_t>(kDirRight | (frame >= 5 ? kDirDown : 0));
    in.UpdateRepeat();
    if (in.m_wDirection & kDirRight) right.push_back(frame);
    if (in.m_wDirection & kDirDown) down.push_back(frame);
  }
  EXPECT_EQ(right, (std::vector<int>{0, 18, 24, 30, 36}));
  EXPECT_EQ(down, (std::vector<int>{5, 23, 29, 35}));
  // Letting go and pressing again starts over.
  in.m_wDirection = 0;
  in.UpdateRepeat();
  in.m_wDirection = kDirRight;
  in.UpdateRepeat();
  EXPECT_EQ(in.m_wDirection, kDirRight);
  EXPECT_EQ(in.m_wRepeatShift & 0xFF, 0x02);
}

// Key events that all fall between two polls: a press let go again before
// the poll still counts for that poll (once), in both poll modes, and the
// menu latch passes it.
TEST_F(InputTest, ATapBetweenTwoPollsCountsOnce) {
  struct Event {
    int key;
    bool down;
  };
  struct Step {
    std::vector<Event> events;  // before the poll
    uint16_t direction, buttons;
  };
  const std::vector<Step> script = {
      {{{'Z', true}, {'Z', false}}, 0, 1},                          // a tap
      {{}, 0, 0},                                                   // counted once
      {{{VK_RIGHT, true}, {VK_RIGHT, false}, {'X', true}}, kDirRight, 2},
      {{{'X', false}}, 0, 0},                                       // a press seen held is not seen again
      {{{'Z', true}, {'Z', false}, {'Z', true}, {'Z', false}}, 0, 1},  // two taps: one frame
      {{}, 0, 0},
      {{{VK_UP, true}}, kDirUp, 0},
      {{{VK_UP, false}, {VK_UP, true}}, kDirUp, 0},                 // let go and pressed again: still held
      {{{VK_UP, false}}, 0, 0},
  };
  KeyConfig.m_Bindings = {{{kKeyboardDevice, VK_LEFT, 0}, {kKeyboardDevice, VK_RIGHT, 0},
                           {kKeyboardDevice, VK_UP, 0}, {kKeyboardDevice, VK_DOWN, 0},
                           {kKeyboardDevice, 'Z', 0}, {kKeyboardDevice, 'X', 0}}};
  KeyConfig.m_nCount = 6;
  KeyConfig.m_nJoystickCount = 0;
  for (uint32_t mode : {0u, 1u}) {
    SCOPED_TRACE(mode ? "configured keys" : "fixed keys");
    KeyConfig.m_nMode = mode;
    plat::ClearKeyStates();
    cInput& in = InputRecords[0];
    for (size_t i = 0; i < script.size(); ++i) {
      for (const Event& e : script[i].events) plat::SetKeyState(e.key, e.down);
      UpdateInput(InputRecords);
      EXPECT_EQ(in.m_wDirection, script[i].direction) << "poll " << i;
      EXPECT_EQ(in.m_wButtons, script[i].buttons) << "poll " << i;
    }
  }
  // In a menu: a tap passes the latch, and the latch is free again after it.
  KeyConfig.m_nMode = 0;
  cInput& in = InputRecords[0];
  in.m_bLatch = 0;
  for (int tap = 0; tap < 2; ++tap) {
    plat::SetKeyState('Z', true);
    plat::SetKeyState('Z', false);
    UpdateInput(InputRecords);
    in.LatchButtons(0);
    EXPECT_EQ(in.m_wButtons, 1) << "tap " << tap;
    UpdateInput(InputRecords);
    in.LatchButtons(0);
    EXPECT_EQ(in.m_wButtons, 0) << "tap " << tap;
  }
}

TEST_F(InputTest, LatchedButtonsActOncePerPress) {
  struct Case {
    uint16_t held, mask, seen;
  };
  const Case script[] = {
      {1, 0, 1}, {1, 0, 0}, {1, 0, 0},  // held: once
      {3, 0, 0}, {2, 0, 0},             // a second button while latched: nothing
      {0, 0, 0}, {2, 0, 2},             // all let go: free again
      {0, 0, 0}, {6, 0, 2},             // two at once: the first passes
      {0, 3, 0}, {5, 3, 5}, {5, 3, 4},  // buttons outside the mask are untouched
  };
  cInput& in = InputRecords[0];
  for (const Case& c : script) {
    in.m_wButtons = c.held;
    in.LatchButtons(c.mask);
    EXPECT_EQ(in.m_wButtons, c.seen) << "held " << c.held;
  }
}

TEST_F(InputTest, HistoryAndPressRecords) {
  cInput& in = InputRecords[0];
  const uint16_t states[] = {kDirLeft, kDirLeft, kDirLeft, 0, 0, kDirLeft | kDirUp};
  for (uint16_t s : states) {
    in.m_wDirection = s;
    in.m_wButtons = static_cast<uint16_t>(s ? 1 : 0);
    in.RecordHistory();
    in.UpdateDirectionPresses();
  }
  const uint16_t past[] = {kDirLeft | kDirUp, 0, 0, kDirLeft, kDirLeft, kDirLeft, 0, 0};
  for (uint32_t back = 0; back < 8; ++back) EXPECT_EQ(in.GetPastKeys(kHistoryDirections, back), past[back]) << back;
  EXPECT_EQ(in.GetPastKeys(kHistoryButtons, 3), 1);
  EXPECT_EQ(in.GetPastKeys(kHistoryDirections, 0xFFFFFFFF), 0);  // before the first record
  // Left alone, exactly: held 3, free 3 (left+up is not left alone).
  const PressRecord& left = in.m_DirectionPresses[1];
  EXPECT_EQ(std::vector<uint32_t>({left[0].m_bHeld, left[0].m_nFrames, left[1].m_bHeld, left[1].m_nFrames}),
            std::vector<uint32_t>({0, 3, 1, 3}));
  EXPECT_EQ(in.m_DirectionPresses[5][0].m_nFrames, 1u);  // left+up
  EXPECT_EQ(in.m_DirectionPresses[9][0].m_bHeld, 1u);    // any direction
  EXPECT_EQ(in.m_ButtonPresses[0][0].m_bHeld, 0u);       // "no button" ended with the press

  // Counts stop at 0x7fffffff; runs stay 32, newest first.
  in.m_History[0][in.m_nHistoryPos[0]].m_nFrames = kMaxHeldFrames - 1;
  in.RecordHistory();
  in.RecordHistory();
  EXPECT_EQ(in.m_History[0][in.m_nHistoryPos[0]].m_nFrames, kMaxHeldFrames);
  PressRecord r{};
  for (int i = 0; i < 40; ++i) UpdateDirectionPress(r, static_cast<uint16_t>(i & 1), 1, kPressExact);
  EXPECT_EQ(r[0].m_bHeld, 1u);
  EXPECT_EQ(r[31].m_bHeld, 0u);
  EXPECT_EQ(r[31].m_nFrames, 1u);  // the first runs were dropped
  in.TrimHistory();
  in.ClearHistory();
  EXPECT_EQ(in.m_DirectionPresses[1][1].m_nFrames, 0u);
  EXPECT_EQ(in.GetPastKeys(kHistoryDirections, 0), 0);
}

class ReadingScene : public cScene {
 public:
  int Run() override {
    seen.push_back(InputRecords[0].m_wDirection);
    return 0;
  }
  static inline std::vector<uint16_t> seen;
};

TEST_F(InputTest, TheFrameStepPollsBeforeTheSceneRuns) {
  plat::SetWindowHost(plat::MakeHeadlessWindowHost());
  ResetSceneManagerForTest();
  ResetTimersForTest();
  plat::UseVirtualClock(true, 100);
  ReadingScene::seen.clear();
  RegisterSceneFactory(kSceneTitle, [] { return new ReadingScene(); });
  Hold({VK_UP});
  ASSERT_TRUE(SceneManager.Step());
  Hold({});
  ASSERT_TRUE(SceneManager.Step());
  EXPECT_EQ(ReadingScene::seen, (std::vector<uint16_t>{kDirUp, 0}));
  plat::UseVirtualClock(false);
  ResetSceneManagerForTest();
}

}  // namespace
