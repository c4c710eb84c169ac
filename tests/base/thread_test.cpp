#include "base/thread.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>

#include "audio/midi_stream.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "support/audio_fixtures.h"
#include "support/sandbox.h"

namespace {

std::atomic<int> g_loops{0};
std::atomic<bool> g_unwound{false};

struct UnwindMarker {
  ~UnwindMarker() { g_unwound = true; }
};

// A worker that never looks at its queue: only the staged exit's last stage
// (termination at a safe point) can end it.
uint32_t DeafWorker(void*) {
  UnwindMarker marker;
  for (;;) {
    ++g_loops;
    plat::Sleep(1);
  }
}

// A worker that leaves on WM_QUIT, as the game's threads do.
uint32_t ListeningWorker(void*) {
  UnwindMarker marker;
  for (;;) {
    plat::Message msg;
    while (plat::PeekMessage(msg, true))
      if (msg.message == plat::WM_QUIT) return 1;
    ++g_loops;
    plat::Sleep(1);
  }
}

class ThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_loops = 0;
    g_unwound = false;
  }
  static void WaitForLoops(int n) {
    while (g_loops < n) plat::Sleep(1);
  }
};

TEST_F(ThreadTest, ExitEndsListeningDeafAndTwiceSuspendedWorkers) {
  struct Case {
    const char* name;
    ThreadProc proc;
    int suspensions;
  };
  for (const Case& c : {Case{"listening", ListeningWorker, 0}, Case{"deaf", DeafWorker, 0},
                        Case{"suspended twice", ListeningWorker, 2}}) {
    SCOPED_TRACE(c.name);
    SetUp();
    cThread t;
    ASSERT_TRUE(t.Create(c.proc, nullptr));
    WaitForLoops(3);
    for (int i = 0; i < c.suspensions; ++i) ASSERT_TRUE(t.Suspend());
    t.Exit();
    EXPECT_TRUE(g_unwound);  // its stack was unwound, not abandoned
    EXPECT_FALSE(t.Running());
    EXPECT_EQ(t.ThreadId(), 0u);
  }
}

// A worker that returns at once.
uint32_t ShortWorker(void*) { return 7; }

// A slot is finished when no thread runs in it: one that never held a
// thread, one whose thread was ended, and one whose thread has returned by
// itself (still held until it is joined). Those who wait on a worker (the
// hand-shake that posts to the game thread's queue until it takes the
// message, the stage read that pumps messages until the loader is done)
// stop waiting on such a slot instead of waiting for ever.
TEST_F(ThreadTest, ASlotWithoutARunningThreadIsFinished) {
  cThread never;
  EXPECT_TRUE(never.Finished()) << "a new slot";
  EXPECT_FALSE(never.Running());

  cThread ended;
  ASSERT_TRUE(ended.Create(ListeningWorker, nullptr));
  WaitForLoops(3);
  EXPECT_FALSE(ended.Finished()) << "its thread runs";
  ended.Exit();
  EXPECT_TRUE(ended.Finished()) << "after Exit";
  EXPECT_FALSE(ended.Running());

  cThread returned;
  ASSERT_TRUE(returned.Create(ShortWorker, nullptr));
  while (!returned.Finished()) plat::Sleep(1);
  EXPECT_TRUE(returned.Running()) << "held until it is joined";
  returned.Wait();
  EXPECT_TRUE(returned.Finished()) << "after Wait";
  EXPECT_FALSE(returned.Running());
}

// A worker busy outside every safe point (a stage being read, a long frame
// on a saturated machine) until the Exit that ends it has polled this many
// times: well past the termination stage and past any wait after which a
// close might give up on it.
constexpr int kHeldPolls = 3000;
std::atomic<bool> g_released{false};
std::atomic<int> g_pollsSeen{0};

void ReleaseAfterHeldPolls(cThread&, int polls) {
  g_pollsSeen = polls;
  if (polls >= kHeldPolls) g_released = true;
}

uint32_t BusyUntilReleased(void*) {
  UnwindMarker marker;
  while (!g_released.load()) continue;  // no safe point in here
  for (;;) plat::Sleep(1);              // the first safe point unwinds it
}

// Whoever ends a worker goes on to free what the worker uses (the window's
// close frees the scenes and surfaces the game thread draws with): Exit
// returns only once the worker has ended, however long it is kept from its
// next safe point (below the bound after which the process ends without
// it, lifted here: a saturated machine may take seconds for these polls).
TEST_F(ThreadTest, ExitWaitsForAWorkerBusyOutsideItsSafePointsHoweverLongItTakes) {
  g_released = false;
  g_pollsSeen = 0;
  cThread t;
  ASSERT_TRUE(t.Create(BusyUntilReleased, nullptr));
  SetThreadExitPollHookForTest(ReleaseAfterHeldPolls);
  const uint32_t bound = SetThreadExitGiveUpForTest(UINT32_MAX);
  t.Exit();
  SetThreadExitGiveUpForTest(bound);
  SetThreadExitPollHookForTest(nullptr);
  const bool endedFirst = g_unwound.load();
  g_released = true;  // a worker left running ends all the same
  EXPECT_TRUE(endedFirst) << "Exit returned after " << g_pollsSeen.load() << " polls, its worker still running";
  EXPECT_GE(g_pollsSeen.load(), kHeldPolls);
  EXPECT_FALSE(t.Running());
}

// Polls that find the worker at work between its safe points do not count
// towards its unwinding: a game thread still finishing the frame in which a
// fault closed the window (on a machine too busy to give it the processor)
// gets to its message loop and takes the quit there, as it does on an idle
// machine. One that waits, or passes its safe points, without looking at
// its queue is unwound.
std::atomic<bool> g_returned{false};

uint32_t SafePointsWithoutListening(void*) {
  UnwindMarker marker;
  for (;;) {
    ++g_loops;
    plat::SafePoint();  // a stage read's file calls, say
  }
}

void ReleaseAfterTerminationStage(cThread&, int polls) {
  if (polls >= 2 * 200) g_released = true;
}

uint32_t BusyThenListening(void* argument) {
  while (!g_released.load()) continue;  // its frame: no safe point in here
  const uint32_t code = ListeningWorker(argument);
  g_returned = true;
  return code;
}

TEST_F(ThreadTest, AWorkerIsUnwoundOnlyForPollsThatFoundItWaitingOrAtItsSafePoints) {
  for (ThreadProc proc : {BusyThenListening, DeafWorker, SafePointsWithoutListening}) {
    const bool busy = proc == BusyThenListening;
    SCOPED_TRACE(busy ? "at work, then listening" : proc == DeafWorker ? "waiting" : "passing its safe points");
    SetUp();
    g_released = false;
    g_returned = false;
    cThread t;
    ASSERT_TRUE(t.Create(proc, nullptr));
    if (!busy) WaitForLoops(3);
    SetThreadExitPollHookForTest(ReleaseAfterTerminationStage);
    t.Exit();
    SetThreadExitPollHookForTest(nullptr);
    g_released = true;
    EXPECT_EQ(g_returned.load(), busy) << "a worker at work takes its quit; a deaf one is unwound";
    EXPECT_TRUE(g_unwound.load());
    EXPECT_FALSE(t.Running());
  }
}

// A worker that never comes to a safe point (a read on a hung file system,
// a library call that never returns): after the bound the process ends with
// its status, the report log and the standard error naming the thread, and
// nothing of the caller's runs on. In a child process, with the bound made
// short: the process is the child's.
std::atomic<bool> g_forever{true};

uint32_t NeverAtASafePoint(void*) {
  while (g_forever.load()) continue;
  return 0;
}

TEST_F(ThreadTest, AWorkerThatNeverComesToASafePointEndsTheProcessAfterTheBound) {
  EXPECT_EQ(kThreadExitGiveUpMs, 10000u) << "the README's bound";
  // A slot's thread, and one of the platform's that its owner waits for
  // (the MIDI player's, here held in the player's own test hook): each is
  // waited for as long, and no longer.
  const struct {
    const char* name;
    const char* thread;  // as the line names it
    void (*end)(const Sandbox& box);
  } ways[] = {
      {"a slot's Exit", "the stuck thread",
       [](const Sandbox&) {
         cThread stuck("the stuck thread");
         if (!stuck.Create(NeverAtASafePoint, nullptr)) _exit(91);
         stuck.Exit();
       }},
      {"a told platform thread", "the stuck thread",
       [](const Sandbox&) {
         plat::Thread stuck;
         if (!stuck.Start([] { return NeverAtASafePoint(nullptr); })) _exit(91);
         stuck.RequestTerminate();
         AwaitToldThread(stuck, "the stuck thread");
       }},
      {"a MIDI player closed", "the MIDI player's thread",
       [](const Sandbox& box) {
         using namespace fixtures;
         const std::string song =
             box.Write("song.mid", Smf(0, 1, 96, Track(Vlq(0) + Bytes({0x90, 60, 100}) + Vlq(96) + EndOfTrack())));
         SetMidiPlayerHookForTest([](MidiPlayerPoint) { NeverAtASafePoint(nullptr); });
         cMidiStream player(song.c_str());
         if (!player.ThreadRunning()) _exit(91);
         player.Close();
       }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    Sandbox box;
    const std::string errors = box / "errors.txt";
    const pid_t child = fork();
    if (child == 0) {
      const int fd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (fd < 0 || dup2(fd, 2) < 0) _exit(90);
      SetThreadExitGiveUpForTest(20);
      way.end(box);
      _exit(92);  // not reached: the wait ends the process
    }
    // A hang guard only: without the bound the child would wait for ever.
    int status = -1;
    bool ended = false;
    for (int i = 0; i < 60000 && !(ended = waitpid(child, &status, WNOHANG) == child); ++i) plat::Sleep(1);
    if (!ended) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
    }
    ASSERT_TRUE(ended) << "the process went on waiting for a thread that never ends";
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), kExitThreadDidNotEnd);
    const std::string line = std::string(way.thread) + " did not end within 20 ms of being told to";
    EXPECT_NE(box.Report().find(line), std::string::npos) << box.Report();
    EXPECT_NE(box.Read("errors.txt").find("pelmora: " + line), std::string::npos) << box.Read("errors.txt");
  }
}

// Never destroyed: a worker that fails to end itself spins on in its Exit.
cThread& SelfEndingSlot() {
  static cThread* slot = new cThread;
  return *slot;
}

uint32_t EndsItsOwnSlot(void*) {
  UnwindMarker marker;
  SelfEndingSlot().Exit();
  return 5;  // not reached: the termination stage unwinds it
}

// A worker cannot wait for itself: ending its own slot unwinds it at the
// termination stage, as the other stages cannot end it.
TEST_F(ThreadTest, AWorkerEndingItsOwnSlotIsUnwound) {
  cThread& slot = SelfEndingSlot();
  ASSERT_TRUE(slot.Create(EndsItsOwnSlot, nullptr));
  // A hang guard only: the worker is not waited on for its time.
  for (int i = 0; i < 60000 && !slot.Finished(); ++i) plat::Sleep(1);
  ASSERT_TRUE(slot.Finished()) << "the worker still spins in its own Exit";
  EXPECT_TRUE(g_unwound.load());
  slot.Wait();
  EXPECT_FALSE(slot.Running());
}

TEST_F(ThreadTest, SuspendingTheWorkersStopsAndResumingRestartsThem) {
  ASSERT_TRUE(thGame.Create(ListeningWorker, nullptr));
  WaitForLoops(3);
  SuspendWorkerThreads();  // the idle workers are no threads: nothing happens to them
  EXPECT_EQ(thGame.SuspendCount(), 1);
  ResumeWorkerThreads();
  EXPECT_EQ(thGame.SuspendCount(), 0);
  const int resumed = g_loops;
  WaitForLoops(resumed + 5);
  thGame.Exit();
  EXPECT_TRUE(thPause.Suspend());  // no thread: true
  EXPECT_TRUE(thPause.Resume());
}

}  // namespace
