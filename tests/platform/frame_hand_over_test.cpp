#include "platform/frame_hand_over.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/messages.h"
#include "platform/threads.h"

namespace plat {
namespace {

class FrameHandOverTest : public ::testing::Test {
 protected:
  void TearDown() override { HoldFramesAtHandOver(false); }
};

// Until the presenting thread stands held at a hand-over after more than
// `after` frames (or `ended`); the frames it has handed over by then.
uint64_t WaitUntilHeld(const std::atomic<bool>& ended, int64_t after = -1) {
  for (;;) {
    const uint64_t handed = FramesHandedOver();
    if (ended.load() || (static_cast<int64_t>(handed) > after && HeldAtHandOver(handed))) return handed;
    std::this_thread::yield();
  }
}

// A presenting thread stops before its first frame and after as many frames
// as it was let go for, each time with its frame's writes visible (the
// frame number is a plain variable: a sanitizer sees the hand-over order
// it); let go for all frames it runs on, and holding switched off lets it
// go for good.
TEST_F(FrameHandOverTest, AHeldThreadStopsAfterTheFramesItWasLetGoFor) {
  HoldFramesAtHandOver(true);
  EXPECT_TRUE(HoldingFramesAtHandOver());
  int drawn = 0;  // the presenting thread's frame
  std::atomic<int> last{10};
  std::atomic<bool> ended{false};
  std::thread presenter([&] {
    FrameHandOver(false);
    for (int frame = 1; frame <= last.load(); ++frame) {
      drawn = frame;
      FrameHandOver(true);
    }
    ended = true;
  });
  EXPECT_EQ(WaitUntilHeld(ended), 0u);
  EXPECT_EQ(drawn, 0);
  const struct {
    uint64_t frames, handed;
  } steps[] = {{1, 1}, {2, 3}, {1, 4}, {3, 7}};
  for (const auto& step : steps) {
    const uint64_t before = FramesHandedOver();
    EXPECT_EQ(LetFramesGo(step.frames), step.handed);
    EXPECT_EQ(WaitUntilHeld(ended, static_cast<int64_t>(before)), step.handed);
    EXPECT_EQ(drawn, static_cast<int>(step.handed));
    EXPECT_FALSE(ended.load());
  }
  // Let go for every frame: it runs to its end unheld.
  last = 9;
  LetFramesGo(kAllFrames);
  presenter.join();
  EXPECT_EQ(drawn, 9);
  EXPECT_EQ(FramesHandedOver(), 9u);

  // Holding off: a stop standing there is let go, and later hand-overs
  // neither stop nor count.
  HoldFramesAtHandOver(true);
  ended = false;
  std::thread held([&] {
    FrameHandOver(true);
    ended = true;
  });
  EXPECT_EQ(WaitUntilHeld(ended), 1u);
  HoldFramesAtHandOver(false);
  held.join();
  EXPECT_FALSE(HoldingFramesAtHandOver());
  FrameHandOver(true);
  EXPECT_EQ(FramesHandedOver(), 1u);
}

// A held thread answers a message sent to it and stands again; a WM_QUIT
// in its queue lets it go (it must get to its end), and so does a request
// to terminate it (it unwinds).
TEST_F(FrameHandOverTest, AHeldThreadAnswersSentMessagesAndGoesOnToItsEnd) {
  HoldFramesAtHandOver(true);
  std::atomic<WindowHandle> window{0};
  std::atomic<bool> ended{false}, returned{false};
  Thread quitting;
  ASSERT_TRUE(quitting.Start(
      [&]() -> uint32_t {
        window = CreateWindowEntry([](WindowHandle, uint32_t, uint64_t w, int64_t) { return static_cast<int64_t>(w + 1); });
        FrameHandOver(true);
        DestroyWindowEntry(window.load());
        returned = true;
        return 0;
      },
      true));
  EXPECT_EQ(WaitUntilHeld(ended), 1u);
  EXPECT_EQ(SendMessage(window.load(), WM_USER, 41, 0), 42);
  EXPECT_EQ(WaitUntilHeld(ended), 1u);  // standing there again
  EXPECT_FALSE(returned.load());
  ASSERT_TRUE(PostThreadMessage(quitting.Id(), WM_QUIT, 0, 0));
  ASSERT_TRUE(quitting.Join(0x7FFFFFFF));
  EXPECT_TRUE(returned.load());
  EXPECT_EQ(FramesHandedOver(), 1u);

  returned = false;
  Thread terminated;
  ASSERT_TRUE(terminated.Start([&]() -> uint32_t { return FrameHandOver(true), returned = true, 1; }));
  EXPECT_EQ(WaitUntilHeld(ended), 2u);
  terminated.RequestTerminate();
  ASSERT_TRUE(terminated.Join(0x7FFFFFFF));
  EXPECT_FALSE(returned.load());
  EXPECT_FALSE(HeldAtHandOver(2));
}

}  // namespace
}  // namespace plat
