// Closing the game while the game thread is busy with the workers or the
// window: the real close handler and frame step, on the headless harness.
// The game thread's part runs in a test scene's frame; the threads are lined
// up by the waits they are in (cThread::Waiters), not by time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <system_error>
#include <thread>

#include "base/program.h"
#include "base/thread.h"
#include "data/stage_load.h"
#include "platform/threads.h"
#include "platform/messages.h"
#include "support/harness.h"

namespace {

struct UnwindMarker {
  std::atomic<bool>& flag;
  ~UnwindMarker() { flag = true; }
};

void RegisterTitle(std::function<void(TestScene&)> onRun) {
  RegisterSceneFactory(kSceneTitle, [onRun] { return new TestScene(onRun); });
}

// Lets the other threads run while one waits for them to line up.
void Pause() { std::this_thread::sleep_for(std::chrono::microseconds(100)); }

bool ReportsAThreadLeftRunning(const GameHarness& game) {
  return game.ReadFile("Report_Game.txt").find("left running") != std::string::npos;
}

// A stage being read: it looks at no queue and reaches no safe point, so it
// ends by itself only, once both the game thread and the window's close wait
// for it (or the test gives up on it).
struct Loading {
  std::atomic<bool> returned{false};
  std::atomic<bool> giveUp{false};
};

uint32_t ReadUntilBothWait(void* argument) {
  auto& loading = *static_cast<Loading*>(argument);
  while (thStageLoad.Waiters() < 2 && !loading.giveUp.load()) Pause();
  loading.returned = !loading.giveUp.load();
  return 0;
}

// The game thread ends the stage-loading thread once the stage is read, as
// the window's close does: the two wait for it at once, it is joined once
// and both go on.
TEST(CloseTest, ClosingWhileTheGameThreadEndsTheStageLoaderEndsItOnce) {
  Loading loading;
  std::atomic<bool> exited{false}, threw{false};
  GameHarness game;
  RegisterTitle([&](TestScene& scene) {
    if (scene.runs != 2 || !thStageLoad.Create(ReadUntilBothWait, &loading)) return;
    try {
      thStageLoad.Exit();
    } catch (const std::system_error&) {
      threw = true;
    }
    exited = true;
  });
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(game.Run().AdvanceUntil([] { return thStageLoad.Waiters() >= 1; }));
  EXPECT_EQ(game.Close(), 0);
  EXPECT_TRUE(loading.returned.load());  // both waited for it
  EXPECT_TRUE(exited.load());
  EXPECT_FALSE(threw.load());
  EXPECT_FALSE(thStageLoad.Running());
  EXPECT_FALSE(thGame.Running());
  EXPECT_FALSE(ReportsAThreadLeftRunning(game)) << game.ReadFile("Report_Game.txt");
  loading.giveUp = true;
  thStageLoad.Exit();  // only after a failure: nothing is left for the next test
}

// The game thread sends the window a request while the window's close waits
// for the game thread to end: the request is never served, and the game
// thread is unwound at the close's termination stage instead of being left
// waiting (or running) behind.
TEST(CloseTest, AGameThreadWaitingOnTheClosingWindowIsUnwound) {
  std::atomic<bool> entered{false}, sending{false}, answered{false}, unwound{false};
  GameHarness game;
  RegisterTitle([&](TestScene& scene) {
    if (scene.runs != 2) return;
    UnwindMarker marker{unwound};
    entered = true;
    while (thGame.Waiters() < 1) Pause();  // the close waits for this thread
    sending = true;
    plat::SendMessage(g_hMainWnd.load(), plat::WM_NULL, 0, 0);
    answered = true;
  });
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(game.Run().AdvanceUntil([&] { return entered.load(); }));
  EXPECT_EQ(game.Close(), 0);
  EXPECT_TRUE(sending.load());
  EXPECT_FALSE(answered.load());
  EXPECT_TRUE(unwound.load());
  EXPECT_FALSE(thGame.Running());
  EXPECT_FALSE(ReportsAThreadLeftRunning(game)) << game.ReadFile("Report_Game.txt");
}

// A stage read that reaches its safe points and never ends by itself: the
// close's termination stage unwinds it.
std::atomic<bool> g_readHeld{false};
std::atomic<bool> g_readGiveUp{false};
void HoldTheRead() {
  g_readHeld = true;
  while (!g_readGiveUp.load()) {
    plat::SafePoint();
    Pause();
  }
}

// The window's close cuts a stage read short (the game thread was starting a
// stage, as the map or a test play's restart does): the game ends as the
// player asked, with status 0, and no box or log line blames the stage file.
TEST(CloseTest, AStageReadTheCloseCutsShortIsNoFault) {
  g_readHeld = false;
  g_readGiveUp = false;
  std::atomic<bool> returned{false};
  std::atomic<int> started{-1};
  GameHarness game;
  RegisterTitle([&](TestScene& scene) {
    if (scene.runs != 2) return;
    started = StartStage("data\\stg4\\held.stg4", 0, nullptr, nullptr);
    if (started.load() == 0) RequestQuit();  // as the game's callers do when a stage does not start
    returned = true;
  });
  SetStageReadHookForTest(HoldTheRead);
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(game.Run().AdvanceUntil([] { return g_readHeld.load(); }));
  EXPECT_EQ(game.Close(), 0);
  SetStageReadHookForTest(nullptr);
  g_readGiveUp = true;
  thStageLoad.Exit();  // only after a failure: nothing is left for the next test
  EXPECT_EQ(started.load(), 0);
  EXPECT_TRUE(returned.load());
  const std::string log = game.ReadFile("Report_Game.txt");
  EXPECT_EQ(log.find("held.stg4"), std::string::npos) << log;
  EXPECT_FALSE(thGame.Running());
}

// The game thread is busy outside its safe points when the window closes (a
// long frame on a saturated machine) until the close has polled it this many
// times, well past the termination stage. Static state only: a frame left running past a
// close that went on would outlive its scene.
constexpr int kBusyPolls = 3000;
std::atomic<bool> g_busyEntered{false};
std::atomic<bool> g_busyReleased{false};
std::atomic<bool> g_busyLeft{false};
std::atomic<bool> g_windowWentFirst{false};

void ReleaseTheBusyFrame(cThread& slot, int polls) {
  if (&slot == &thGame && polls >= kBusyPolls) g_busyReleased = true;
}

void BusyFrame(TestScene& scene) {
  if (scene.runs != 2) return;
  g_busyEntered = true;
  while (!g_busyReleased.load() && g_hMainWnd.load() != 0) continue;  // no safe point in here
  if (g_hMainWnd.load() != 0) {
    g_busyLeft = true;
    return;  // the game thread takes its quit
  }
  // The close destroyed the window (and goes on to free the scenes) while
  // this frame ran: leave at once, before anything freed is touched.
  g_windowWentFirst = true;
  g_busyLeft = true;
  throw plat::ThreadTerminated{};
}

// The close frees the window, the scenes and the surfaces once it has ended
// the game thread: a game thread kept from its safe points, however long,
// is waited for, never left running behind the close.
TEST(CloseTest, AGameThreadBusyPastEveryWaitEndsBeforeTheWindowGoes) {
  g_busyEntered = false;
  g_busyReleased = false;
  g_busyLeft = false;
  g_windowWentFirst = false;
  GameHarness game;
  RegisterTitle(BusyFrame);
  SetThreadExitPollHookForTest(ReleaseTheBusyFrame);
  // A saturated machine may take longer for these polls than the bound
  // after which the process ends without a thread that never stops.
  const uint32_t bound = SetThreadExitGiveUpForTest(UINT32_MAX);
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(game.Run().AdvanceUntil([] { return g_busyEntered.load(); }));
  EXPECT_EQ(game.Close(), 0);
  SetThreadExitGiveUpForTest(bound);
  SetThreadExitPollHookForTest(nullptr);
  // A frame left running behind the close sees the window gone; a hang
  // guard only.
  for (int i = 0; i < 600000 && !g_busyLeft.load(); ++i) Pause();
  g_busyReleased = true;
  EXPECT_TRUE(g_busyLeft.load());
  EXPECT_FALSE(g_windowWentFirst.load()) << "the window went while the game thread ran";
  EXPECT_FALSE(thGame.Running());
}

// The window's thread held up (saving the window's place on a slow disk)
// while the game runs on, frame after frame, on the virtual clock, and
// every frame asks the window to close, as stage play does once the close
// was asked: the window's queue fills. Once free, the window's thread closes
// the game and still leaves its loop: the quit that ends it is taken
// however full its queue is. The queue's bound is lowered so that a few
// frames fill it.
TEST(CloseTest, AWindowWhoseQueueFilledWithClosesStillEnds) {
  constexpr size_t kBound = 32;
  std::atomic<bool> asking{false}, holding{false}, release{false};
  GameHarness game;
  RegisterTitle([&](TestScene&) {
    if (asking.load()) plat::PostMessage(g_hMainWnd.load(), plat::WM_CLOSE, plat::kCloseWithoutAsking, 0);
  });
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(game.StepFrames(2));
  std::thread holder([&] {
    plat::RunOnMainThread([&]() -> int64_t {
      holding = true;
      while (!release.load()) Pause();
      return 0;
    });
  });
  while (!holding.load()) Pause();
  const size_t bound = plat::SetPostedMessageBoundForTest(kBound);
  asking = true;
  const bool stepped = game.StepFrames(2 * kBound);
  release = true;
  holder.join();
  const int closed = game.Close();
  plat::SetPostedMessageBoundForTest(bound);
  EXPECT_TRUE(stepped);
  EXPECT_EQ(closed, 0) << "the window's thread did not leave its loop";
  EXPECT_FALSE(thGame.Running());
}

}  // namespace
