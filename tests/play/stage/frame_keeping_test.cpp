// The waits that keep the stage drawn while the game stands still (message
// windows, game waits, the extra-life message): each kept frame latches the
// buttons and checks the replay save keys; the window's close ends a wait,
// by its end message at once or by itself 2000 ms after the quit flag.
#include <gtest/gtest.h>

#include <algorithm>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/keys.h"
#include "platform/messages.h"
#include "play/world/stage_scene.h"
#include "play/world/system_switches.h"
#include "scene/input.h"
#include "scene/replay_recorder.h"
#include "scene/scene.h"
#include "support/stage_builder.h"

namespace {

// What the pacer of a wait sees on each pass (it runs first in a pass, so it
// sees the input as the previous pass left it).
struct Pass {
  uint16_t buttons;
  int32_t keeping;
};
std::vector<Pass> g_Passes;
void (*g_OnPass)(int pass) = nullptr;

void RecordingPacer() {
  cStageScene* scene = CurrentStageScene();
  g_Passes.push_back({InputRecords.At(0).m_wButtons, scene ? scene->m_bKeepingFrames.load() : -1});
  if (g_OnPass) g_OnPass(static_cast<int>(g_Passes.size()));
}

// A stage session whose waits record their passes instead of sleeping.
struct WaitSession {
  WaitSession() {
    plat::SetKeyState('Z', false);
    g_Passes.clear();
    g_OnPass = nullptr;
    cStageScene::s_pWaitPacer = RecordingPacer;
  }
  ~WaitSession() {
    cStageScene::s_pWaitPacer = pacer;
    g_OnPass = nullptr;
    plat::SetKeyState('Z', false);
    plat::SetKeyState(plat::VK_F1, false);
  }
  cStageScene& Scene() { return session.Scene(); }
  // A timed wait of `frames` frames; the frames presented.
  int32_t TimedWait(int32_t frames) {
    Scene().SetWaitState(4, 0, frames, 0);
    return Scene().KeepFramesWhileWaiting();
  }
  // The window messages left in this thread's queue: WM_CLOSE and its word.
  std::vector<uint64_t> ClosesPosted() {
    std::vector<uint64_t> closes;
    plat::Message msg;
    while (plat::PeekMessage(msg, true))
      if (msg.message == plat::WM_CLOSE) closes.push_back(msg.wParam);
    return closes;
  }

  void (*pacer)() = cStageScene::s_pWaitPacer;
  StageBuilder builder = std::move(StageBuilder(20, 15).Floor(10, 0, 19).Hero(2, 9));
  StageSession session{builder};
};

}  // namespace

// Decide pressed in the second pass and held: the button word holds it for
// that pass only (the latch takes a held button out of the word), so a
// decide held on cannot act again. The window's close handling sees the
// wait while it runs.
TEST(FrameKeeping, KeptFramesLatchTheButtons) {
  WaitSession w;
  ASSERT_TRUE(w.session.Loaded());
  g_OnPass = [](int pass) {
    if (pass == 2) plat::SetKeyState('Z', true);
  };
  EXPECT_EQ(w.TimedWait(5), 5);
  ASSERT_EQ(g_Passes.size(), 6u);  // five presented, the sixth ends the wait
  std::vector<uint16_t> decide;
  for (const Pass& p : g_Passes) {
    decide.push_back(p.buttons & 1);
    EXPECT_EQ(p.keeping, 1);
  }
  EXPECT_EQ(decide, (std::vector<uint16_t>{0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(w.Scene().m_bKeepingFrames.load(), 0);
}

// F1 during a timed wait saves the attempt (the decide sound, the save
// request to the main window); that frame is drawn but counts nothing down.
// A key still held asks once; with replays off it asks nothing.
TEST(FrameKeeping, AFrameThatSavesAReplayCountsNothingDown) {
  const struct { int32_t replays, asks, presented; } cases[] = {{1, 1, 6}, {0, 0, 5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.replays);
    WaitSession w;
    ASSERT_TRUE(w.session.Loaded());
    w.session.System().SetNum(ProjectRuleRow(kRuleReplaysEnabled).field, c.replays);
    static int asks;
    asks = 0;
    ReplayRecorder.Reset();
    cInput frame;
    frame.m_wDirection = 2;
    frame.m_wButtons = 0;
    ReplayRecorder.RecordFrame(frame);
    auto savedAsk = ReplayRecorder.m_AskSave;
    ReplayRecorder.m_AskSave = [](int32_t previous) {
      asks += previous == 0;
      return 1;
    };
    g_OnPass = [](int pass) {
      if (pass == 3) plat::SetKeyState(plat::VK_F1, true);
    };
    const size_t soundsBefore = w.session.Sounds().size();
    EXPECT_EQ(w.TimedWait(5), c.presented);
    ReplayRecorder.m_AskSave = savedAsk;
    ReplayRecorder.Reset();
    EXPECT_EQ(asks, c.asks);
    const std::vector<int32_t> sounds(w.session.Sounds().begin() + static_cast<long>(soundsBefore),
                                      w.session.Sounds().end());
    EXPECT_EQ(sounds, c.asks ? std::vector<int32_t>{kSoundDecide} : std::vector<int32_t>{});
  }
}

// The window's close during a wait: its end message (or the thread's
// WM_QUIT, which is left for the game thread's loop) ends the wait at the
// next pass, and the wait asks the window to close without asking the
// player again.
TEST(FrameKeeping, TheEndMessageEndsTheWaitAndTheWindowCloses) {
  for (uint32_t message : {kEndFrameKeeping, static_cast<uint32_t>(plat::WM_QUIT)}) {
    SCOPED_TRACE(message);
    WaitSession w;
    ASSERT_TRUE(w.session.Loaded());
    static uint32_t posted;
    posted = message;
    g_OnPass = [](int pass) {
      if (pass == 3) plat::PostMessage(0, posted, 7, 0);
    };
    EXPECT_EQ(w.TimedWait(100), 3);
    EXPECT_EQ(g_Passes.size(), 3u);
    bool quitLeft = false;
    std::vector<uint64_t> closes;
    plat::Message msg;
    while (plat::PeekMessage(msg, true)) {
      quitLeft |= msg.message == plat::WM_QUIT && msg.wParam == 7;
      if (msg.message == plat::WM_CLOSE) closes.push_back(msg.wParam);
    }
    EXPECT_EQ(quitLeft, message == plat::WM_QUIT);
    EXPECT_EQ(closes, std::vector<uint64_t>{plat::kCloseWithoutAsking});
  }
}

// The quit flag set during a wait: no frame is kept any more, and without
// an end message the wait ends by itself once 2000 ms of the platform
// clock have passed since it saw the flag. A wait that begins with the flag
// set ends at once.
TEST(FrameKeeping, WithTheQuitFlagTheWaitEndsItself2000MsLater) {
  WaitSession w;
  ASSERT_TRUE(w.session.Loaded());
  plat::UseVirtualClock(true, 5000);
  std::atomic<bool> done{false};
  std::thread clock([&done] {
    while (!done.load()) {
      if (plat::VirtualClockSleepers() > 0)
        plat::AdvanceVirtualClock(1);
      else
        std::this_thread::yield();
    }
  });
  static uint32_t flagged;
  g_OnPass = [](int pass) {
    if (pass != 4) return;
    CurrentStageScene()->m_nQuitRequest = 1;
    flagged = plat::TickCount();
  };
  const int32_t presented = w.TimedWait(100);
  const uint32_t ended = plat::TickCount();
  done = true;
  clock.join();
  plat::UseVirtualClock(false);
  EXPECT_EQ(presented, 4) << "the pass that saw the flag set still keeps its frame";
  EXPECT_EQ(g_Passes.size(), 4u);
  EXPECT_EQ(ended - flagged, cStageScene::kQuitGraceMs);
  EXPECT_EQ(w.ClosesPosted(), std::vector<uint64_t>{plat::kCloseWithoutAsking});

  EXPECT_EQ(w.TimedWait(100), 0);
  EXPECT_EQ(g_Passes.size(), 4u);
  w.Scene().m_nQuitRequest = 0;
}

namespace {
// An hour of frames at sixty a second: the longest a player might leave the
// game on a message, and then some.
constexpr int kPastAnHour = 60 * 60 * 60 + 50;
}  // namespace

// A wait for decide that nobody answers waits on, however long: a message
// (after its ten frames of delay) still waits past an hour of frames. It and
// a picture shown until decide end at the first fresh press of decide, with
// their sounds; the window's close (its end message, or WM_QUIT) ends them
// too, and the window is then asked to close.
TEST(FrameKeeping, AWaitForDecideWaitsUntilDecideOrTheClose) {
  const struct {
    int32_t kind;
    int pressAt;
    uint32_t postAt3;  // 0: decide pressed at pressAt; else this message posted at pass 3
    int32_t sound;
  } cases[] = {{1, kPastAnHour, 0, kSoundMessageDecide},
               {3, 20, 0, kSoundDecide},
               {1, 0, kEndFrameKeeping, 0},
               {3, 0, static_cast<uint32_t>(plat::WM_QUIT), 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind * 1000 + static_cast<int>(c.postAt3));
    WaitSession w;
    ScopedWaitWithoutDrawing undrawn;  // an hour of frames: only the wait's own work
    ASSERT_TRUE(w.session.Loaded());
    static int pressAt;
    static uint32_t postAt3;
    pressAt = c.pressAt;
    postAt3 = c.postAt3;
    g_OnPass = [](int pass) {
      if (pass == pressAt) plat::SetKeyState('Z', true);
      if (pass == 3 && postAt3 != 0) plat::PostMessage(0, postAt3, 0, 0);
      // A wait that missed its end fails the test instead of waiting on.
      if (pass == std::max(pressAt, 3) + 600) plat::PostMessage(0, kEndFrameKeeping, 0, 0);
    };
    const size_t soundsBefore = w.session.Sounds().size();
    w.Scene().SetWaitState(c.kind, 1, 0, 0);
    const int32_t presented = w.Scene().KeepFramesWhileWaiting();
    const std::vector<int32_t> sounds(w.session.Sounds().begin() + static_cast<long>(soundsBefore),
                                      w.session.Sounds().end());
    std::vector<uint64_t> closes;
    plat::Message msg;
    while (plat::PeekMessage(msg, true))
      if (msg.message == plat::WM_CLOSE) closes.push_back(msg.wParam);
    if (c.postAt3 == 0) {
      // The pass that sees the press ends the wait without a frame.
      EXPECT_EQ(presented, c.pressAt - 1);
      EXPECT_EQ(g_Passes.size(), static_cast<size_t>(c.pressAt));
      EXPECT_EQ(sounds, std::vector<int32_t>{c.sound});
      EXPECT_EQ(w.Scene().m_bButtonLatch, 1) << "the decide that ended it does not act in play";
      EXPECT_TRUE(closes.empty());
    } else {
      EXPECT_EQ(presented, 3);
      EXPECT_TRUE(sounds.empty());
      EXPECT_EQ(closes, std::vector<uint64_t>{plat::kCloseWithoutAsking});
    }
  }
}
